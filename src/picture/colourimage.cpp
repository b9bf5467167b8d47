// Whole pictures converted: the layout chosen from the QImage format, then
// the transform run over strips of rows on several threads.
#include "picture/colourtransform.h"

#include "picture/picturebuffer.h"

#include <QColorSpace>

namespace lumenta {

namespace {

struct Layout {
    ColourPixels pixels;
    QImage::Format format; // what the picture is made before converting
};

Layout layoutFor(QImage::Format f) {
    using P = ColourPixels;
    switch (f) {
    case QImage::Format_RGB32:
        return {P::Rgb32, f};
    case QImage::Format_ARGB32:
        return {P::Argb32, f};
    case QImage::Format_ARGB32_Premultiplied:
        return {P::Argb32Premultiplied, f};
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
        return {P::Rgba64, f};
    case QImage::Format_RGBA64_Premultiplied:
        return {P::Rgba64Premultiplied, f};
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16:
        // A grey profile reads the grey, any other the three equal values.
        return {P::GreyInRgb32, QImage::Format_RGB32};
    default:
        break;
    }
    const QPixelFormat pf = QImage::toPixelFormat(f);
    const bool alpha = pf.alphaUsage() == QPixelFormat::UsesAlpha;
    const bool premultiplied = pf.premultiplied() == QPixelFormat::Premultiplied;
    // Deeper than 8 bits a channel: kept at 16.
    const bool deep = pf.bitsPerPixel() > 32 || pf.redSize() > 8;
    if (deep)
        return alpha ? Layout{premultiplied ? P::Rgba64Premultiplied : P::Rgba64,
                              premultiplied ? QImage::Format_RGBA64_Premultiplied
                                            : QImage::Format_RGBA64}
                     : Layout{P::Rgba64, QImage::Format_RGBX64};
    if (alpha)
        return premultiplied ? Layout{P::Argb32Premultiplied, QImage::Format_ARGB32_Premultiplied}
                             : Layout{P::Argb32, QImage::Format_ARGB32};
    return {P::Rgb32, QImage::Format_RGB32};
}

} // namespace

QImage convertColours(QImage image, const ColourSpace& source, const ColourSpace& target) {
    if (image.isNull())
        return image;
    const QImage::Format f = image.format();
    if (f == QImage::Format_Indexed8 || f == QImage::Format_Mono || f == QImage::Format_MonoLSB) {
        // The palette holds every colour the picture has.
        const auto t = ColourTransform::find(source, target, ColourPixels::Argb32);
        if (!t)
            return image;
        QList<QRgb> table = image.colorTable();
        t->apply(reinterpret_cast<uchar*>(table.data()), int(table.size()), 1,
                 table.size() * qsizetype(sizeof(QRgb)));
        image.setColorTable(table);
        image.setColorSpace(QColorSpace());
        return image;
    }
    const Layout layout = layoutFor(f);
    const auto t = ColourTransform::find(source, target, layout.pixels);
    if (!t)
        return image;
    if (image.format() != layout.format)
        image.convertTo(layout.format);
    uchar* const bits = image.bits();
    if (!bits)
        return QImage();
    // The pixels are no longer in the colours the file's reader said.
    image.setColorSpace(QColorSpace());
    const qsizetype stride = image.bytesPerLine();
    const int width = image.width();
    forStrips(image.height(), width,
              [&](int first, int rows) { t->apply(bits + first * stride, width, rows, stride); });
    return image;
}

QImage convertedCopy(const QImage& image, const ColourSpace& source, const ColourSpace& target) {
    if (image.isNull())
        return image;
    const Layout layout = layoutFor(image.format());
    if (layout.format != image.format() || image.format() == QImage::Format_Indexed8)
        return convertColours(image, source, target); // converted to a copy anyway
    const auto t = ColourTransform::find(source, target, layout.pixels);
    if (!t)
        return convertColours(image, source, target); // only the QColorSpace goes
    QImage out = newPictureBuffer(image.size(), image.format());
    if (out.isNull())
        return QImage();
    const uchar* const in = image.constBits();
    uchar* const bits = out.bits();
    const qsizetype inStride = image.bytesPerLine(), outStride = out.bytesPerLine();
    const int width = image.width();
    forStrips(image.height(), width, [&](int first, int rows) {
        t->apply(in + first * inStride, inStride, bits + first * outStride, outStride, width, rows);
    });
    return out;
}

QImage toSrgb(const QImage& image, const ColourSpace& from) {
    return convertColours(image, from, ColourSpace());
}

} // namespace lumenta
