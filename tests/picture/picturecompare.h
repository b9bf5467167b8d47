#pragma once
// Pixel comparisons and turned JPEG files for the picture tests.
#include "support/testutil.h"

#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>

namespace picturetest {

// The sum of the differences of red, green and blue.
inline int rgbDistance(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
           std::abs(qBlue(a) - qBlue(b));
}

// Largest difference of a channel (premultiplied) between two pictures; 256
// when their sizes differ.
inline int worstDiff(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (x.size() != y.size())
        return 256;
    int worst = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col)
            for (int shift : {0, 8, 16, 24})
                worst = std::max(
                    worst, std::abs(int((p[col] >> shift) & 0xff) - int((q[col] >> shift) & 0xff)));
    }
    return worst;
}

// Mean difference of a channel (alpha too) once both are reduced to 24 x 24:
// for pictures reduced by different filters.
inline double meanDiff(const QImage& a, const QImage& b) {
    const auto small = [](const QImage& i) {
        return i.convertToFormat(QImage::Format_ARGB32_Premultiplied)
            .scaled(24, 24, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    };
    const QImage x = small(a), y = small(b);
    double sum = 0;
    for (int row = 0; row < 24; ++row)
        for (int col = 0; col < 24; ++col)
            sum += rgbDistance(x.pixel(col, row), y.pixel(col, row)) +
                   std::abs(qAlpha(x.pixel(col, row)) - qAlpha(y.pixel(col, row)));
    return sum / (24 * 24 * 4);
}

// The JPEG orientation sample (203 x 133) with its tag set to value.
inline QString jpegTurned(const QTemporaryDir& dir, int value) {
    QByteArray bytes = testutil::sampleBytes("jpeg/exif_orientation6.jpg");
    const qsizetype at = bytes.indexOf(QByteArray::fromHex("0112000300000001"));
    if (at > 0)
        bytes[at + 9] = char(value);
    return testutil::writeFile(dir, QStringLiteral("o%1.jpg").arg(value), bytes);
}

} // namespace picturetest
