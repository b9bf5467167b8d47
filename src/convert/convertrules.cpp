#include "convert/convertrules.h"

#include <QFile>
#include <QtGlobal>

#include <sys/stat.h>

namespace lumenta {

QString destinationFor(const QString& source, const QString& extension) {
    const qsizetype slash = source.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = source.lastIndexOf(QLatin1Char('.'));
    // The dot must lie in the file name and not start it.
    if (dot > slash + 1)
        return source.left(dot) + extension;
    return source + extension;
}

bool isSameFile(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty())
        return false;
    struct stat sa {};
    struct stat sb {};
    if (::stat(QFile::encodeName(a).constData(), &sa) != 0 ||
        ::stat(QFile::encodeName(b).constData(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int clampCompression(int setting) {
    return qBound(kMinCompression, setting, kMaxCompression);
}

int jpegQualityFor(int setting) {
    const int s = qBound(0, setting, kMaxCompression);
    if (s <= kDefaultCompression)
        return 100 - (15 * s + kDefaultCompression / 2) / kDefaultCompression;
    return 150 - s;
}

} // namespace lumenta
