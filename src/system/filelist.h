#pragma once
// Listing folders and files as the browsing lists show them.
#include <QString>
#include <QStringList>

namespace lumenta {

// The masks of a pattern ("*.bmp;*.gif"), or an empty list when the pattern
// is invalid: an empty mask, or one holding '/', '\', '<', '>', '|', '"' or a
// control character.
QStringList patternMasks(const QString& pattern);
bool isValidPattern(const QString& pattern);

// True when name matches one of the masks ('*' and '?' wildcards, case
// insensitive).
bool matchesMasks(const QString& name, const QStringList& masks);

// The first of patterns whose masks match name, or "*.*" when none does.
QString firstMatchingPattern(const QString& name, const QStringList& patterns);

// Natural, case-insensitive comparison: "pic2" < "pic10" < "Pic11"; letters
// in the locale's order (accents next to their letter).
int naturalCompare(const QString& a, const QString& b);

// Sorts names in natural, case-insensitive order (names that compare equal,
// such as "a01" and "a1", by their code units). As fast for 100,000 names
// as for a few: the locale is asked once per distinct letter.
void naturalSort(QStringList& names);

// The folder and its ancestors, from the root down: "/home/anne" gives
// "/", "/home", "/home/anne".
QStringList folderChain(const QString& folder);

} // namespace lumenta
