#include "convert/picturewriters.h"

#include "convert/convertrules.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageWriter>

#include <gif_lib.h>

#include <vector>

namespace lumenta {

namespace {

void setError(QString* error, const QString& why) {
    if (error)
        *error = why;
}

// The same pixels without the text keys a reader attached (a writer would
// store them as comments). Shares the pixels of `image`, which must outlive it.
QImage withoutText(const QImage& image) {
    QImage out(image.constBits(), image.width(), image.height(), image.bytesPerLine(),
               image.format());
    out.setColorTable(image.colorTable());
    out.setDotsPerMeterX(image.dotsPerMeterX());
    out.setDotsPerMeterY(image.dotsPerMeterY());
    out.setColorSpace(image.colorSpace());
    return out;
}

int writeToDevice(GifFileType* gif, const GifByteType* data, int length) {
    auto* device = static_cast<QIODevice*>(gif->UserData);
    return int(device->write(reinterpret_cast<const char*>(data), length));
}

bool writeWithQt(const QImage& image, QIODevice& device, const QByteArray& format, int quality,
                 QString* error) {
    QImageWriter writer(&device, format);
    writer.setFormat(format);
    if (quality >= 0) {
        writer.setQuality(quality);
        writer.setOptimizedWrite(true);
        writer.setProgressiveScanWrite(false);
    }
    if (!writer.write(withoutText(image))) {
        setError(error, writer.errorString());
        return false;
    }
    return true;
}

} // namespace

bool writeGif(const IndexedPicture& picture, QIODevice& device, QString* error) {
    const QImage& img = picture.image;
    if (img.format() != QImage::Format_Indexed8 || img.colorCount() == 0 ||
        img.colorCount() > 256) {
        setError(error, QStringLiteral("no palette to write"));
        return false;
    }
    int bits = 1;
    while ((1 << bits) < img.colorCount())
        ++bits;
    std::vector<GifColorType> colours(size_t(1) << bits, GifColorType{0, 0, 0});
    for (int i = 0; i < img.colorCount(); ++i) {
        const QRgb c = img.color(i);
        colours[size_t(i)] =
            GifColorType{GifByteType(qRed(c)), GifByteType(qGreen(c)), GifByteType(qBlue(c))};
    }
    ColorMapObject* map = GifMakeMapObject(1 << bits, colours.data());
    if (!map) {
        setError(error, QStringLiteral("out of memory"));
        return false;
    }
    int code = 0;
    GifFileType* gif = EGifOpen(&device, writeToDevice, &code);
    if (!gif) {
        GifFreeMapObject(map);
        setError(error, QString::fromLatin1(GifErrorString(code)));
        return false;
    }
    EGifSetGifVersion(gif, true);
    bool ok = EGifPutScreenDesc(gif, img.width(), img.height(), 8, 0, map) == GIF_OK;
    GifFreeMapObject(map); // giflib keeps a copy
    if (ok && picture.transparent >= 0) {
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
        gcb.UserInputFlag = false;
        gcb.DelayTime = 0;
        gcb.TransparentColor = picture.transparent;
        GifByteType extension[4];
        const size_t length = EGifGCBToExtension(&gcb, extension);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension) == GIF_OK;
    }
    ok = ok && EGifPutImageDesc(gif, 0, 0, img.width(), img.height(), false, nullptr) == GIF_OK;
    // giflib masks the pixels of the line it is given: hand it a copy.
    std::vector<GifPixelType> line(size_t(img.width()));
    for (int y = 0; ok && y < img.height(); ++y) {
        memcpy(line.data(), img.constScanLine(y), line.size());
        ok = EGifPutLine(gif, line.data(), img.width()) == GIF_OK;
    }
    if (!ok)
        setError(error, QString::fromLatin1(GifErrorString(gif->Error)));
    if (EGifCloseFile(gif, &code) != GIF_OK && ok) {
        ok = false;
        setError(error, QString::fromLatin1(GifErrorString(code)));
    }
    return ok;
}

QByteArray encodeConverted(const QImage& image, ConvertTarget target, int compression,
                           QString* error, const QList<QRgb>& sourceTable) {
    if (image.isNull()) {
        setError(error, QStringLiteral("no picture"));
        return {};
    }
    if (image.width() > kMaxConvertSide || image.height() > kMaxConvertSide) {
        setError(error, QStringLiteral("picture too large"));
        return {};
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    bool ok = false;
    switch (target) {
    case ConvertTarget::Bmp: {
        QImage flat = onWhite(image);
        std::optional<IndexedPicture> exact = indexedWith(flat, sourceTable, -1);
        if (!exact)
            exact = exactPalette(flat);
        if (exact)
            flat = exact->image;
        ok = writeWithQt(flat, buffer, "bmp", -1, error);
        break;
    }
    case ConvertTarget::Jpeg:
        ok = writeWithQt(onWhite(image), buffer, "jpeg", jpegQualityFor(compression), error);
        break;
    case ConvertTarget::Gif: {
        const IndexedPicture indexed = reducedPalette(image);
        if (indexed.image.isNull()) {
            setError(error, QStringLiteral("palette reduction failed"));
            return {};
        }
        ok = writeGif(indexed, buffer, error);
        break;
    }
    }
    if (!ok || bytes.isEmpty()) {
        if (ok)
            setError(error, QStringLiteral("nothing written"));
        return {};
    }
    return bytes;
}

} // namespace lumenta
