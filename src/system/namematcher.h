#pragma once
// Matching file names against the masks of a file list pattern ("*.jpg",
// "*.*", "a?c*.gif"): '*' and '?' wildcards and [sets], case insensitive;
// "*.*" and "*" match every name, also names without a dot. Names come as
// the bytes readdir gives: the common "*.ext" masks are decided on those
// bytes, other masks on the decoded name.
#include <QByteArrayView>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace lumenta {

class NameMatcher {
public:
    explicit NameMatcher(const QStringList& masks);

    bool isEmpty() const { return !m_all && m_masks.isEmpty(); }
    bool matches(const QString& name) const;
    // name: the UTF-8 bytes of the name.
    bool matches(QByteArrayView name) const;

private:
    struct Mask {
        QByteArray suffix; // lower-case ASCII tail of a "*tail" mask, or empty
        QRegularExpression re;
    };
    bool m_all = false;
    QList<Mask> m_masks;
};

// The name as text; false when its bytes are not valid UTF-8 (such a name
// could not be written back to the same bytes).
bool decodeFileName(QByteArrayView bytes, QString& name);

} // namespace lumenta
