#include "convert/picturewriters.h"

#include "convert/convertrules.h"
#include "convert/rasterwriters.h"

#include <gif_lib.h>

#include <vector>

namespace lumenta {

namespace {

void setError(QString* error, const QString& why) {
    if (error)
        *error = why;
}

// giflib hands its output over in blocks of a few hundred bytes: they are
// gathered into larger pieces for the writer.
class GatheringWriter {
public:
    explicit GatheringWriter(const ByteWriter& write) : m_write(write) { m_data.reserve(kSize); }
    bool append(const char* data, qint64 size) {
        if (m_refused)
            return false;
        if (m_data.size() + size > kSize && !flush())
            return false;
        if (size >= kSize)
            return keep(m_write(data, size));
        m_data.append(data, size);
        return true;
    }
    bool flush() {
        if (m_refused)
            return false;
        const bool ok = m_data.isEmpty() || m_write(m_data.constData(), m_data.size());
        m_data.resize(0);
        return keep(ok);
    }
    bool refused() const { return m_refused; }

private:
    static constexpr qsizetype kSize = 1 << 20;
    bool keep(bool ok) {
        m_refused = m_refused || !ok;
        return ok;
    }
    const ByteWriter& m_write;
    QByteArray m_data;
    bool m_refused = false;
};

int writeToGatherer(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<GatheringWriter*>(gif->UserData);
    return out->append(reinterpret_cast<const char*>(data), length) ? length : 0;
}

} // namespace

bool writeGif(const IndexedPicture& picture, const ByteWriter& write, QString* error) {
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
    GatheringWriter out(write);
    GifFileType* gif = EGifOpen(&out, writeToGatherer, &code);
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
    if (ok && !out.flush())
        ok = false;
    if (out.refused())
        setError(error, QStringLiteral("the file refused the data"));
    return ok;
}

bool encodeConverted(const QImage& image, ConvertTarget target, int compression,
                     const ByteWriter& write, QString* error, const QList<QRgb>& sourceTable) {
    if (image.isNull()) {
        setError(error, QStringLiteral("no picture"));
        return false;
    }
    if (image.width() > kMaxConvertSide || image.height() > kMaxConvertSide) {
        setError(error, QStringLiteral("picture too large"));
        return false;
    }
    switch (target) {
    case ConvertTarget::Bmp: {
        const QImage flat = onWhite(image);
        std::optional<IndexedPicture> exact = indexedWith(flat, sourceTable, -1);
        if (!exact)
            exact = exactPalette(flat);
        return writeBmp(exact ? exact->image : flat, write, error);
    }
    case ConvertTarget::Jpeg:
        return writeJpeg(onWhite(image), jpegQualityFor(compression), write, error);
    case ConvertTarget::Gif: {
        const IndexedPicture indexed = reducedPalette(image);
        if (indexed.image.isNull()) {
            setError(error, QStringLiteral("palette reduction failed"));
            return false;
        }
        return writeGif(indexed, write, error);
    }
    }
    return false;
}

} // namespace lumenta
