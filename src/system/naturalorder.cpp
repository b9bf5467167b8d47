// Natural, case-insensitive order of file names: numbers by their value,
// letters in the locale's order, a number against a letter as its digit 0
// would be (whatever its first digit: the locale may rank letters such as
// superscripts among the digits, and an order that went by the digit would
// not be one: 3 < 10 as numbers, 10 < ² and ² < 3 as letters).
//
// naturalCompare() states the order one pair at a time. Sorting a folder of
// 100,000 names that way asks the locale about single letters millions of
// times; naturalSort() asks it once per distinct letter instead: the letters
// of the names are ranked first (by the very comparison naturalCompare
// makes), then each name becomes a key of ranks and numbers which compares
// as plain bytes. Both give the same order.
#include "system/filelist.h"

#include <QString>

#include <algorithm>
#include <cstring>
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
// letter (for a digit, the rank of 0) shifted left once and, in the low
// bit, whether it is a digit.
class LetterTable {
public:
    explicit LetterTable(const QStringList& names) : m_entry(0x10000, 0) {
        std::vector<bool> seen(0x10000, false);
        std::vector<char16_t> folded{u'0'};
        for (const QString& name : names) {
            for (const QChar c : name) {
                if (seen[c.unicode()])
                    continue;
                seen[c.unicode()] = true;
                if (!c.isDigit()) // every digit ranks as 0
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
        m_digitMark = rank[u'0'];
        for (quint32 u = 0; u < 0x10000; ++u) {
            if (!seen[u])
                continue;
            const QChar c{char16_t(u)};
            m_entry[u] =
                c.isDigit() ? m_digitMark << 1 | 1u : rank[c.toCaseFolded().unicode()] << 1;
        }
    }

    bool digit(char16_t u) const { return m_entry[u] & 1; }

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

    // The name as a key whose plain order (16-bit symbols, big-endian so
    // that memcmp compares them) is the natural order: a letter is its
    // rank; a number is the digits' mark, its length without leading zeros,
    // then its digits. False when a number is too long to say so.
    bool appendKey(const QString& name, std::vector<uchar>& out) const {
        const char16_t* p = reinterpret_cast<const char16_t*>(name.utf16());
        const qsizetype n = name.size();
        auto put = [&out](quint32 symbol) {
            out.push_back(uchar(symbol >> 8));
            out.push_back(uchar(symbol));
        };
        for (qsizetype i = 0; i < n;) {
            if (!digit(p[i])) {
                put(m_entry[p[i++]] >> 1);
                continue;
            }
            qsizetype end = i;
            while (end < n && digit(p[end]))
                ++end;
            while (i + 1 < end && p[i] == u'0')
                ++i;
            if (end - i > 0xffff)
                return false;
            put(m_digitMark);
            put(quint32(end - i));
            for (; i < end; ++i)
                put(p[i]);
        }
        return true;
    }

private:
    std::vector<quint32> m_entry;
    quint32 m_digitMark = 0;
};

// Names sorted by their keys, ties (names the natural order calls equal)
// by their code units; false when a number is too long for its key.
bool sortByKeys(QStringList& names, const LetterTable& table) {
    struct Entry {
        quint64 head; // the first four symbols
        quint32 at, length;
        qsizetype index;
    };
    std::vector<uchar> keys;
    std::vector<Entry> entries;
    entries.reserve(size_t(names.size()));
    for (qsizetype i = 0; i < names.size(); ++i) {
        const size_t at = keys.size();
        if (!table.appendKey(names[i], keys) || keys.size() > 0xffffffffu)
            return false;
        quint64 head = 0;
        for (size_t b = 0; b < 8; ++b)
            head = head << 8 | (at + b < keys.size() ? keys[at + b] : 0);
        entries.push_back({head, quint32(at), quint32(keys.size() - at), i});
    }
    const uchar* base = keys.data();
    // A strict order (equal names aside, which are alike): any sort will do.
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        if (a.head != b.head)
            return a.head < b.head;
        const int c = std::memcmp(base + a.at, base + b.at, std::min(a.length, b.length));
        if (c != 0)
            return c < 0;
        if (a.length != b.length)
            return a.length < b.length;
        return names[a.index] < names[b.index];
    });
    QStringList sorted;
    sorted.reserve(names.size());
    for (const Entry& e : entries)
        sorted << std::move(names[e.index]);
    names.swap(sorted);
    return true;
}

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
        // A number against a letter: as its digit 0.
        const QChar ca = a[i].isDigit() ? QChar(u'0') : a[i].toCaseFolded();
        const QChar cb = b[j].isDigit() ? QChar(u'0') : b[j].toCaseFolded();
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
    if (sortByKeys(names, table))
        return;
    std::stable_sort(names.begin(), names.end(), [&table](const QString& a, const QString& b) {
        const int c = table.compare(a, b);
        return c != 0 ? c < 0 : a < b;
    });
}

} // namespace lumenta
