#include "system/filelist.h"

#include "system/namematcher.h"

#include <QDir>

namespace lumenta {

QStringList patternMasks(const QString& pattern) {
    const QStringList masks = pattern.split(QLatin1Char(';'));
    QStringList out;
    for (const QString& raw : masks) {
        const QString m = raw.trimmed();
        if (m.isEmpty())
            return {};
        for (QChar c : m) {
            if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char('<') ||
                c == QLatin1Char('>') || c == QLatin1Char('|') || c == QLatin1Char('"') ||
                c.category() == QChar::Other_Control)
                return {};
        }
        out << m;
    }
    return out;
}

bool isValidPattern(const QString& pattern) {
    return !patternMasks(pattern).isEmpty();
}

bool matchesMasks(const QString& name, const QStringList& masks) {
    return NameMatcher(masks).matches(name);
}

QString firstMatchingPattern(const QString& name, const QStringList& patterns) {
    for (const QString& p : patterns) {
        if (matchesMasks(name, patternMasks(p)))
            return p;
    }
    return QStringLiteral("*.*");
}

QStringList folderChain(const QString& folder) {
    QString clean = QDir::cleanPath(QDir(folder).absolutePath());
    QStringList chain;
    while (true) {
        chain.prepend(clean);
        if (clean == QLatin1String("/"))
            break;
        const qsizetype slash = clean.lastIndexOf(QLatin1Char('/'));
        clean = slash <= 0 ? QStringLiteral("/") : clean.left(slash);
    }
    return chain;
}

} // namespace lumenta
