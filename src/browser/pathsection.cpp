#include "browser/pathsection.h"

namespace lumenta {

namespace {

QString driveOf(const QString& path, const QStringList& roots) {
    if (!path.startsWith(QLatin1Char('/')))
        return QString();
    QString best;
    for (const QString& root : roots) {
        const bool holds =
            root == QLatin1String("/") || path == root ||
            path.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
        if (holds && root.size() > best.size())
            best = root;
    }
    return best;
}

} // namespace

std::optional<QString> PathSection(const QString& inPath, int inReturnType,
                                   const QStringList& driveRoots) {
    if (inReturnType < PathDrive || inReturnType > PathExtension)
        return std::nullopt;
    if (inReturnType == PathDrive)
        return driveOf(inPath, driveRoots);

    QString folder, name, extension;
    qsizetype end = inPath.size(); // the text still to scan is [0, end)
    qsizetype nameEnd = -1;        // end of the last component, trailing "/" left out
    bool stopped = false;
    for (qsizetype i = inPath.size() - 1; i >= 0; --i) {
        const QChar c = inPath.at(i);
        if (c == QLatin1Char('/')) {
            if (i == inPath.size() - 1 && i > 0) {
                end = i; // a trailing separator is passed over
                continue;
            }
            name = inPath.mid(i + 1, end - i - 1);
            folder = inPath.left(i + 1);
            nameEnd = nameEnd < 0 ? end : nameEnd;
            stopped = true;
            break;
        }
        if (nameEnd < 0)
            nameEnd = end;
        if (c == QLatin1Char('.')) {
            if (i + 1 < end)
                extension = inPath.mid(i, end - i);
            end = i;
        }
    }
    if (!stopped) {
        name = inPath.left(end);
        if (nameEnd < 0)
            nameEnd = end;
    }

    switch (inReturnType) {
    case PathFolder:
        return folder;
    case PathFileName:
        return inPath.mid(folder.size(), nameEnd - folder.size());
    case PathBaseName:
        return name;
    default:
        return extension;
    }
}

} // namespace lumenta
