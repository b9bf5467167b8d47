#include "convert/convertrules.h"

#include <QtGlobal>

namespace lumenta {

QString destinationFor(const QString& source, const QString& extension) {
    const qsizetype slash = source.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = source.lastIndexOf(QLatin1Char('.'));
    // The dot must lie in the file name and not start it.
    if (dot > slash + 1)
        return source.left(dot) + extension;
    return source + extension;
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
