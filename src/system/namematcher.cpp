#include "system/namematcher.h"

#include <QStringDecoder>

namespace lumenta {

namespace {

bool isAscii(QByteArrayView bytes) {
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// The lower-case tail of a mask made of '*' and literal ASCII characters,
// or an empty array for any other mask.
QByteArray literalSuffix(const QString& mask) {
    if (mask.size() < 2 || mask[0] != QLatin1Char('*'))
        return {};
    QByteArray tail;
    for (qsizetype i = 1; i < mask.size(); ++i) {
        const QChar c = mask[i];
        if (c.unicode() >= 0x80 || c == QLatin1Char('*') || c == QLatin1Char('?') ||
            c == QLatin1Char('[') || c == QLatin1Char(']'))
            return {};
        tail += lowerAscii(char(c.unicode()));
    }
    return tail;
}

} // namespace

NameMatcher::NameMatcher(const QStringList& masks) {
    for (const QString& m : masks) {
        if (m == QLatin1String("*.*") || m == QLatin1String("*")) {
            m_all = true;
            continue;
        }
        m_masks.append({literalSuffix(m),
                        QRegularExpression(QRegularExpression::wildcardToRegularExpression(m),
                                           QRegularExpression::CaseInsensitiveOption)});
    }
}

bool NameMatcher::matches(const QString& name) const {
    if (m_all)
        return true;
    for (const Mask& m : m_masks) {
        if (m.re.match(name).hasMatch())
            return true;
    }
    return false;
}

bool NameMatcher::matches(QByteArrayView name) const {
    if (m_all)
        return true;
    QString decoded;
    bool haveDecoded = false;
    for (const Mask& m : m_masks) {
        if (!m.suffix.isEmpty()) {
            if (name.size() < m.suffix.size())
                continue; // fewer bytes, so fewer characters, than the tail
            const QByteArrayView tail = name.last(m.suffix.size());
            // An ASCII tail is decided here; a tail with other characters
            // goes to the full case folding below.
            if (isAscii(tail)) {
                bool same = true;
                for (qsizetype i = 0; same && i < tail.size(); ++i)
                    same = lowerAscii(tail[i]) == m.suffix[i];
                if (same)
                    return true;
                continue;
            }
        }
        if (!haveDecoded) {
            haveDecoded = true;
            if (!decodeFileName(name, decoded))
                return false;
        }
        if (m.re.match(decoded).hasMatch())
            return true;
    }
    return false;
}

bool decodeFileName(QByteArrayView bytes, QString& name) {
    if (isAscii(bytes)) {
        name = QString::fromLatin1(bytes);
        return true;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    name = utf8(bytes);
    return !utf8.hasError();
}

} // namespace lumenta
