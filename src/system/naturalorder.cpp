// Natural, case-insensitive order of file names: numbers by their value,
// letters in the locale's order.
//
// naturalCompare() states the order one pair at a time. Sorting a folder of
// 100,000 names that way asks the locale about single letters millions of
// times; naturalSort() asks it once per distinct letter instead: the letters
// of the names are ranked first (by the very comparison naturalCompare
// makes), then the names are compared through that table. Both give the
// same order.
#include "system/filelist.h"

#include <QString>

#include <algorithm>
#include <vector>

namespace lumenta {

namespace {

// The order of two case-folded letters that differ, as naturalCompare
// decides it: the locale's order, then the code.
bool letterBefore(char16_t a, char16_t b) {
    const int c = QString::localeAwareCompare(QString(QChar(a)), QString(QChar(b)));
    return c != 0 ? c < 0 : a < b;
}

// For each UTF-16 code unit met in the names: the rank of its case-folded
// letter (shifted left once) and, in the low bit, whether it is a digit.
class LetterTable {
public:
    explicit LetterTable(const QStringList& names) : m_entry(0x10000, 0) {
        std::vector<bool> seen(0x10000, false);
        std::vector<char16_t> folded;
        for (const QString& name : names) {
            for (const QChar c : name) {
                if (seen[c.unicode()])
                    continue;
                seen[c.unicode()] = true;
                folded.push_back(c.toCaseFolded().unicode());
            }
        }
        std::sort(folded.begin(), folded.end());
        folded.erase(std::unique(folded.begin(), folded.end()), folded.end());
        // A merge sort: whatever the locale answers, it stays in bounds.
        std::stable_sort(folded.begin(), folded.end(), letterBefore);
        std::vector<quint32> rank(0x10000, 0);
        for (size_t i = 0; i < folded.size(); ++i)
            rank[folded[i]] = quint32(i);
        for (quint32 u = 0; u < 0x10000; ++u) {
            if (!seen[u])
                continue;
            const QChar c{char16_t(u)};
            m_entry[u] = rank[c.toCaseFolded().unicode()] << 1 | (c.isDigit() ? 1u : 0u);
        }
    }

    bool digit(char16_t u) const { return m_entry[u] & 1; }
    quint32 rank(char16_t u) const { return m_entry[u] >> 1; }

    // naturalCompare through the table.
    int compare(const QString& a, const QString& b) const {
        const char16_t* pa = reinterpret_cast<const char16_t*>(a.utf16());
        const char16_t* pb = reinterpret_cast<const char16_t*>(b.utf16());
        const qsizetype na = a.size(), nb = b.size();
        qsizetype i = 0, j = 0;
        while (i < na && j < nb) {
            const quint32 ea = m_entry[pa[i]], eb = m_entry[pb[j]];
            if (ea & eb & 1) {
                qsizetype ie = i, je = j;
                while (ie < na && digit(pa[ie]))
                    ++ie;
                while (je < nb && digit(pb[je]))
                    ++je;
                qsizetype is = i, js = j;
                while (is + 1 < ie && pa[is] == u'0')
                    ++is;
                while (js + 1 < je && pb[js] == u'0')
                    ++js;
                if (ie - is != je - js)
                    return ie - is < je - js ? -1 : 1;
                for (; is < ie; ++is, ++js) {
                    if (pa[is] != pb[js])
                        return pa[is] < pb[js] ? -1 : 1;
                }
                i = ie;
                j = je;
                continue;
            }
            if ((ea >> 1) != (eb >> 1))
                return (ea >> 1) < (eb >> 1) ? -1 : 1;
            ++i;
            ++j;
        }
        if (i < na)
            return 1;
        if (j < nb)
            return -1;
        return 0;
    }

private:
    std::vector<quint32> m_entry;
};

} // namespace

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
        if (ca != cb)
            return letterBefore(ca.unicode(), cb.unicode()) ? -1 : 1;
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
    if (names.size() < 2)
        return;
    const LetterTable table(names);
    std::stable_sort(names.begin(), names.end(), [&table](const QString& a, const QString& b) {
        const int c = table.compare(a, b);
        return c != 0 ? c < 0 : a < b;
    });
}

} // namespace lumenta
