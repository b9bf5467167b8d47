#include "system/filelist.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

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

namespace {

// One matcher per mask; "*.*" and "*" match every name, also names without
// a dot.
struct MaskMatcher {
    explicit MaskMatcher(const QStringList& masks) {
        for (const QString& m : masks) {
            if (m == QLatin1String("*.*") || m == QLatin1String("*"))
                all = true;
            else
                res.append(QRegularExpression(QRegularExpression::wildcardToRegularExpression(m),
                                              QRegularExpression::CaseInsensitiveOption));
        }
    }
    bool operator()(const QString& name) const {
        if (all)
            return true;
        return std::any_of(res.cbegin(), res.cend(),
                           [&](const QRegularExpression& re) { return re.match(name).hasMatch(); });
    }
    bool all = false;
    QList<QRegularExpression> res;
};

} // namespace

bool matchesMasks(const QString& name, const QStringList& masks) {
    return MaskMatcher(masks)(name);
}

int naturalCompare(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            // Compare the whole numbers: without leading zeros, the longer is
            // the larger; then digit by digit.
            qsizetype ie = i, je = j;
            while (ie < a.size() && a[ie].isDigit())
                ++ie;
            while (je < b.size() && b[je].isDigit())
                ++je;
            qsizetype is = i, js = j;
            while (is + 1 < ie && a[is] == QLatin1Char('0'))
                ++is;
            while (js + 1 < je && b[js] == QLatin1Char('0'))
                ++js;
            if (ie - is != je - js)
                return ie - is < je - js ? -1 : 1;
            const int c =
                QStringView(a).sliced(is, ie - is).compare(QStringView(b).sliced(js, je - js));
            if (c != 0)
                return c;
            i = ie;
            j = je;
            continue;
        }
        const QChar ca = a[i].toCaseFolded(), cb = b[j].toCaseFolded();
        if (ca != cb) {
            // Letters in the locale's order (accents next to their letter).
            const int c = QString::localeAwareCompare(QString(ca), QString(cb));
            if (c != 0)
                return c;
            return ca < cb ? -1 : 1;
        }
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

void naturalSort(QStringList& names) {
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = naturalCompare(a, b);
        return c != 0 ? c < 0 : a < b;
    });
}

QString firstMatchingPattern(const QString& name, const QStringList& patterns) {
    for (const QString& p : patterns) {
        if (matchesMasks(name, patternMasks(p)))
            return p;
    }
    return QStringLiteral("*.*");
}

QStringList listFiles(const QString& folder, const QString& pattern) {
    const QStringList masks = patternMasks(pattern);
    if (masks.isEmpty())
        return {};
    const MaskMatcher matches(masks);
    QDir dir(folder);
    QStringList out;
    const QFileInfoList entries =
        dir.entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& fi : entries) {
        const QString name = fi.fileName();
        if (name.startsWith(QLatin1Char('.')) || !fi.isFile())
            continue;
        if (matches(name))
            out << name;
    }
    naturalSort(out);
    return out;
}

QStringList listSubfolders(const QString& folder) {
    QStringList out = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
    out.erase(std::remove_if(out.begin(), out.end(),
                             [](const QString& n) { return n.startsWith(QLatin1Char('.')); }),
              out.end());
    naturalSort(out);
    return out;
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
