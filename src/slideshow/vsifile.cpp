#include "slideshow/vsifile.h"

#include "app/textcodec.h"

#include <QFile>
#include <QSaveFile>

#include <sys/stat.h>

namespace lumenta {

QStringList parseVsi(const QByteArray& bytes) {
    const QString text = decodeText(bytes);
    QStringList entries;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        entries << text.mid(start, i - start);
        if (c == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < n)
        entries << text.mid(start);
    return entries;
}

QByteArray formatVsi(const QStringList& entries) {
    QByteArray out;
    for (const QString& e : entries)
        out += e.toUtf8() + "\r\n";
    return out;
}

std::optional<QStringList> readVsiFile(const QString& path) {
    // Only plain files: a pipe or a device could block or never end.
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0 ||
        !S_ISREG(st.st_mode) || st.st_size > kVsiMaxBytes)
        return std::nullopt;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = f.read(kVsiMaxBytes + 1);
    if (bytes.size() > kVsiMaxBytes || f.error() != QFile::NoError)
        return std::nullopt;
    return parseVsi(bytes);
}

bool writeVsiFile(const QString& path, const QStringList& entries) {
    if (path.isEmpty())
        return false;
    // Whatever stands at path is replaced by a new plain file: never a
    // device node or a pipe (as root the folder /dev takes the temporary
    // file, and /dev/full would become a plain file).
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return false;
    QSaveFile f(path);
    // A folder that refuses new files may still hold a file its owner may
    // write: that file is then written in place.
    f.setDirectWriteFallback(true);
    // Unbuffered, so that a short write (disk full, size limit) shows in
    // write()'s count: a buffered one is lost and commit() still succeeds.
    if (!f.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray bytes = formatVsi(entries);
    if (f.write(bytes) != bytes.size()) {
        f.cancelWriting();
        return false;
    }
    return f.commit();
}

} // namespace lumenta
