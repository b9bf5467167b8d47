#pragma once
// The program's title and version (from the project's version).
#include <QString>

namespace lumenta {

inline QString applicationTitle() {
    return QStringLiteral("Lumenta");
}

inline int versionMajor() {
    return LUMENTA_VERSION_MAJOR;
}
inline int versionMinor() {
    return LUMENTA_VERSION_MINOR;
}
inline int versionRevision() {
    return LUMENTA_VERSION_PATCH;
}

// "major.minor.revision", no blanks.
inline QString versionText() {
    return QStringLiteral("%1.%2.%3")
        .arg(versionMajor())
        .arg(versionMinor())
        .arg(versionRevision());
}

} // namespace lumenta
