#include "picture/pictureloader.h"

#include "picture/colourchunks.h"
#include "picture/colourtransform.h"
#include "picture/helperdecode.h"
#include "picture/jpegdecoder.h"
#include "picture/metafile.h"
#include "picture/orientation.h"
#include "picture/partdecoders.h"
#include "picture/picturebuffer.h"
#include "picture/pictureformats.h"
#include "picture/tgareader.h"

#include <QColorSpace>
#include <QFile>
#include <QImageReader>

#include <mutex>

namespace lumenta {

namespace {

// Icons with more entries than this are looked at only this far.
constexpr int kMaxIconEntries = 64;
// Metafiles larger than this are not read.
constexpr qint64 kMaxMetafileBytes = 256 * 1024 * 1024;

Picture failed(const QString& why) {
    Picture p;
    p.error = why;
    return p;
}

bool isCancelled(LoadProgress* progress) {
    return progress && progress->isCancelled();
}

bool mayAllocate(LoadProgress* progress, QSize size, int bitsPerPixel) {
    return !progress ||
           progress->mayAllocate(qint64(size.width()) * size.height() * qMax(bitsPerPixel, 8) / 8);
}

// What `need` asks for, cut or reduced from a picture at its natural size.
QImage applySpec(const QImage& natural, const PictureNeed& need, QRect* region) {
    *region = regionFor(natural.size(), need);
    if (region->isEmpty())
        return QImage();
    const QImage part = *region == natural.rect() ? natural : natural.copy(*region);
    if (need.kind != PictureNeed::Kind::Full) {
        const QSize target = reducedSize(region->size(), need);
        return target == part.size() ? part : scaledSmooth(part, target);
    }
    return part;
}

// A metafile's picture, or nothing when the file is no metafile.
bool loadMetafile(QFile& file, const PictureNeed& need, LoadProgress* progress, Picture& pic) {
    file.seek(0);
    const MetafileKind kind = detectMetafile(file.peek(64));
    if (kind == MetafileKind::None)
        return false;
    if (file.size() > kMaxMetafileBytes) {
        pic.error = QStringLiteral("metafile too large");
        return true;
    }
    const QByteArray bytes = file.readAll();
    const QSize natural = metafileRenderSize(metafileNaturalSize(bytes, kind));
    if (!natural.isValid()) {
        pic.error = QStringLiteral("the metafile header gives no usable size");
        return true;
    }
    // A reduced picture is rendered reduced; a part is cut from the whole.
    const bool reduced = need.kind != PictureNeed::Kind::Full;
    const QSize renderSize = reduced ? reducedSize(natural, need) : natural;
    if (!mayAllocate(progress, renderSize, 32)) {
        pic.error = QStringLiteral("cancelled");
        return true;
    }
    QString error;
    QImage img = renderMetafile(bytes, kind, &error, 15000, renderSize,
                                [progress] { return isCancelled(progress); });
    if (img.isNull()) {
        pic.error = error.isEmpty() ? QStringLiteral("metafile cannot be rendered") : error;
        return true;
    }
    pic.kind = kind == MetafileKind::Wmf ? Picture::Kind::Wmf : Picture::Kind::Emf;
    pic.naturalSize = natural;
    if (reduced) {
        pic.region = QRect(QPoint(), natural);
        pic.image = std::move(img);
    } else {
        pic.image = applySpec(img, need, &pic.region);
    }
    // Drawings are in sRGB.
    pic.image = convertColours(std::move(pic.image), ColourSpace(), need.colours);
    pic.colours = need.colours;
    pic.metafileData = bytes;
    return true;
}

// The largest (then the deepest) of the first images of an icon.
QImage largestIconImage(QImageReader& reader) {
    QImage best;
    const int count = qMin(reader.imageCount(), kMaxIconEntries);
    for (int i = 0; i < qMax(count, 1); ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        QImage img = reader.read();
        if (img.isNull())
            continue;
        const qint64 area = qint64(img.width()) * img.height();
        const qint64 bestArea = qint64(best.width()) * best.height();
        if (best.isNull() || area > bestArea || (area == bestArea && img.depth() > best.depth()))
            best = img;
    }
    return best;
}

// The colours a picture read by Qt declares: from the file's own chunks
// and tags for the formats whose declarations Qt reads only in part, else
// the profile Qt found.
ColourSpace declaredColours(QIODevice* device, const QByteArray& format, const QImage& image) {
    if (format == "png" || format == "webp" || format == "tiff" || format == "tif") {
        return declaredColourSpace([device](qint64 offset, qint64 size) {
            return device->seek(offset) ? device->read(size) : QByteArray();
        });
    }
    const QColorSpace qt = image.colorSpace();
    return qt.isValid() ? ColourSpace::fromIcc(qt.iccProfile()) : ColourSpace();
}

// pic's picture converted from the file's colours to the ones wanted.
void convertPicture(Picture& pic, QIODevice* device, const QByteArray& format,
                    const PictureNeed& need) {
    const ColourSpace declared = declaredColours(device, format, pic.image);
    pic.image = convertColours(std::move(pic.image), declared, need.colours);
    pic.colours = need.colours;
}

// A picture through Qt's readers; format empty: from the content. A
// picture too large to be decoded whole in a format read by parts gives a
// null picture and *byParts the format's name.
Picture readRaster(QIODevice* device, const QByteArray& format, const PictureNeed& need,
                   LoadProgress* progress, const LoadLimits& limits,
                   QByteArray* byParts = nullptr) {
    // PNG and WebP keep EXIF of their own, which their readers ignore.
    const int exifTurn = containerExifOrientation(device);
    device->seek(0);
    QImageReader reader(device, format);
    reader.setAutoTransform(true);
    if (format.isEmpty())
        reader.setDecideFormatFromContent(true);
    if (!reader.canRead())
        return failed(reader.errorString());
    const QByteArray fmt = reader.format();
    if (fmt == "tga") // TGA is read by readTga() only
        return failed(QStringLiteral("not a TGA picture"));
    const bool vector = fmt == "svg" || fmt == "svgz";
    const int extraTurn =
        reader.transformation() == QImageIOHandler::TransformationNone && !vector ? exifTurn : 1;
    QImage natural;
    if (fmt == "ico" || fmt == "cur") {
        natural = largestIconImage(reader);
    } else {
        const QSize stored = reader.size();
        const bool turned = (reader.transformation() & QImageIOHandler::TransformationRotate90) ||
                            swapsAxes(extraTurn);
        // Drawings are rendered at their own size, capped as metafiles are.
        const QSize upright =
            vector ? metafileRenderSize(stored) : (turned ? stored.transposed() : stored);
        const QImage::Format pixels = reader.imageFormat();
        const bool known = pixels > QImage::Format_Invalid && pixels < QImage::NImageFormats;
        const int depth = known ? QImage::toPixelFormat(pixels).bitsPerPixel() : 32;
        if (stored.isValid() && !limits.fitsWhole(upright, depth)) {
            if (byParts && readByParts(fmt))
                *byParts = fmt;
            return failed(QStringLiteral("picture exceeds the allocation limit"));
        }
        const bool reduced = need.kind != PictureNeed::Kind::Full;
        if (reduced && stored.isValid() && reader.supportsOption(QImageIOHandler::ScaledSize)) {
            // The reader decodes reduced itself.
            const QSize target = reducedSize(upright, need);
            if (!mayAllocate(progress, target, depth))
                return failed(QStringLiteral("cancelled"));
            reader.setScaledSize(turned && !vector ? target.transposed() : target);
            Picture pic;
            pic.image = orientedImage(reader.read(), extraTurn);
            if (pic.image.isNull())
                return failed(reader.errorString());
            pic.kind = Picture::Kind::Raster;
            pic.naturalSize = upright;
            pic.region = QRect(QPoint(), upright);
            convertPicture(pic, device, fmt, need);
            return pic;
        }
        if (stored.isValid() && !mayAllocate(progress, upright, depth))
            return failed(QStringLiteral("cancelled"));
        if (vector && upright != stored)
            reader.setScaledSize(upright);
        // A large bitmap is read into a buffer of our own (far fewer page
        // faults), which the BMP reader fills when it has the right size
        // and format. Only large ones: those buffers start zero-filled.
        const bool bitmap = fmt == "bmp" || fmt == "dib";
        if (bitmap && known && !turned &&
            qint64(stored.width()) * stored.height() * depth / 8 >= kMappedPictureBytes)
            natural = newPictureBuffer(stored, pixels);
        if (!reader.read(&natural))
            natural = QImage();
        natural = orientedImage(natural, extraTurn);
    }
    if (natural.isNull())
        return failed(reader.errorString());
    if (isCancelled(progress))
        return failed(QStringLiteral("cancelled"));
    Picture pic;
    pic.kind = Picture::Kind::Raster;
    pic.naturalSize = natural.size();
    pic.image = applySpec(natural, need, &pic.region);
    natural = QImage(); // pic.image may be it: converted in place
    if (pic.image.isNull())
        return failed(QStringLiteral("the part asked for is outside the picture"));
    convertPicture(pic, device, fmt, need);
    return pic;
}

// A picture too large to be decoded whole, read by parts.
Picture loadByParts(PartSource source, const QByteArray& format, const PictureNeed& need,
                    LoadProgress* progress, QSize tileSize) {
    if (!source.decoder)
        return failed(source.error);
    if (source.stored.width() > kMaxTiledSide || source.stored.height() > kMaxTiledSide)
        return failed(QStringLiteral("picture exceeds the largest size read by parts"));
    auto tiled =
        std::make_shared<TiledPicture>(QString::fromLatin1(format), source.stored,
                                       source.orientation, tileSize, std::move(source.decoder));
    tiled->setColours(source.colours, need.colours);
    const QSize natural = tiled->naturalSize();
    Picture pic;
    pic.kind = Picture::Kind::Raster;
    pic.colours = need.colours;
    pic.naturalSize = natural;
    pic.region = QRect(QPoint(), natural);
    if (need.kind == PictureNeed::Kind::Full && need.region.isEmpty()) {
        pic.tiled = std::move(tiled);
        return pic;
    }
    const bool part = need.kind == PictureNeed::Kind::Full;
    if (part)
        pic.region = regionFor(natural, need);
    if (pic.region.isEmpty())
        return failed(QStringLiteral("the part asked for is outside the picture"));
    const QSize size = part ? pic.region.size() : reducedSize(natural, need);
    if (!fitsAllocationLimit(size, 32))
        return failed(QStringLiteral("the part asked for exceeds the allocation limit"));
    if (!mayAllocate(progress, size, 32))
        return failed(QStringLiteral("cancelled"));
    QString error;
    if (part) {
        tiled->decode(
            {pic.region}, [&pic](int, const QImage& image) { pic.image = image; }, progress,
            &error);
    } else {
        pic.image =
            tiled->decodeReduced(size, need.kind == PictureNeed::Kind::Thumbnail, progress, &error);
    }
    if (pic.image.isNull())
        return failed(error.isEmpty() ? QStringLiteral("the picture cannot be decoded") : error);
    return pic;
}

PartSource openParts(const QByteArray& format, const QString& path) {
    PartSource source = format == "png"
                            ? openPngParts(path)
                            : openVipsParts(path, format == "tiff" ? "tiffload" : "webpload");
    QFile file(path);
    if (source.decoder && file.open(QIODevice::ReadOnly)) {
        source.colours = declaredColourSpace([&file](qint64 offset, qint64 size) {
            return file.seek(offset) ? file.read(size) : QByteArray();
        });
    }
    return source;
}

// A TGA picture through the reader of our own.
Picture readTgaPicture(QIODevice* device, const PictureNeed& need, LoadProgress* progress) {
    QString error;
    QImage natural = readTga(device, &error, progress);
    if (natural.isNull())
        return failed(error);
    Picture pic;
    pic.kind = Picture::Kind::Raster;
    pic.naturalSize = natural.size();
    pic.image = applySpec(natural, need, &pic.region);
    natural = QImage();
    if (pic.image.isNull())
        return failed(QStringLiteral("the part asked for is outside the picture"));
    // TGA says nothing of its colours: sRGB.
    pic.image = convertColours(std::move(pic.image), ColourSpace(), need.colours);
    pic.colours = need.colours;
    return pic;
}

} // namespace

bool readByParts(const QByteArray& format) {
    return format == "jpeg" || format == "png" || format == "tiff" || format == "webp" ||
           format == "heif" || format == "jxl";
}

bool sizeReadable(const QByteArray& format, QSize natural) {
    if (natural.isEmpty())
        return false;
    if (readByParts(format))
        return natural.width() <= kMaxTiledSide && natural.height() <= kMaxTiledSide;
    return fitsAllocationLimit(natural, 32);
}

bool LoadLimits::fitsWhole(QSize natural, int bitsPerPixel) const {
    if (natural.isEmpty())
        return false;
    return qint64(natural.width()) * natural.height() * qMax(bitsPerPixel, 8) / 8 <= wholeBytes;
}

Picture derivePicture(const Picture& whole, const PictureNeed& need) {
    if (whole.isTiled()) {
        Picture pic;
        pic.error = QStringLiteral("a tiled picture is read by parts");
        return pic;
    }
    Picture pic = whole;
    pic.image = applySpec(whole.image, need, &pic.region);
    if (pic.image.isNull()) {
        pic.kind = Picture::Kind::None;
        pic.metafileData.clear();
        pic.error = QStringLiteral("the part asked for is outside the picture");
    } else if (whole.colours != need.colours) {
        pic.image = convertColours(std::move(pic.image), whole.colours, need.colours);
        pic.colours = need.colours;
    }
    return pic;
}

bool fitsAllocationLimit(QSize natural, int bitsPerPixel) {
    if (natural.isEmpty())
        return false;
    // Pixels against the limit in bits: sides of up to INT_MAX times a
    // depth would not fit in 64 bits.
    const qint64 pixels = qint64(natural.width()) * natural.height();
    const qint64 limitBits = qint64(kPictureAllocationLimitMB) * 1024 * 1024 * 8;
    return pixels <= (limitBits + 7) / qMax(bitsPerPixel, 8);
}

QSize fittedSize(QSize natural, QSize box) {
    if (natural.isEmpty() || box.isEmpty())
        return natural;
    if (natural.width() <= box.width() && natural.height() <= box.height())
        return natural;
    const QSize s = natural.scaled(box, Qt::KeepAspectRatio);
    return QSize(qMax(1, s.width()), qMax(1, s.height()));
}

QSize coveringSize(QSize natural, QSize box) {
    if (natural.isEmpty() || box.isEmpty())
        return natural;
    const qint64 w = natural.width(), h = natural.height();
    const qint64 bw = box.width(), bh = box.height();
    // The width decides when box is relatively wider than the picture.
    const bool byWidth = bw * h >= bh * w;
    if (byWidth ? bw >= w : bh >= h)
        return natural;
    if (byWidth)
        return QSize(int(bw), int(qMin(h, (h * bw + w - 1) / w)));
    return QSize(int(qMin(w, (w * bh + h - 1) / h)), int(bh));
}

QSize reducedSize(QSize natural, const PictureNeed& need) {
    switch (need.kind) {
    case PictureNeed::Kind::Full:
        return natural;
    case PictureNeed::Kind::Covering:
        return coveringSize(natural, need.box);
    case PictureNeed::Kind::Fitted:
    case PictureNeed::Kind::Thumbnail:
        break;
    }
    return fittedSize(natural, need.box);
}

QRect regionFor(QSize natural, const PictureNeed& need) {
    const QRect whole(QPoint(), natural);
    if (need.region.isEmpty())
        return whole;
    QRect r = need.region;
    if (need.centreRegion)
        r.moveTopLeft(
            QPoint((natural.width() - r.width()) / 2, (natural.height() - r.height()) / 2));
    return r & whole;
}

namespace {

// A part of a picture, reduced: a tiled picture reduces it as it reads it,
// another is read whole, cut and reduced.
Picture loadReducedPart(const QString& path, const PictureNeed& need, LoadProgress* progress,
                        const LoadLimits& limits) {
    PictureNeed whole;
    whole.colours = need.colours;
    Picture pic = loadPicture(path, whole, progress, limits);
    if (pic.isNull())
        return pic;
    if (!pic.isTiled())
        return derivePicture(pic, need);
    const std::shared_ptr<const TiledPicture> tiled = std::move(pic.tiled);
    pic.region = regionFor(pic.naturalSize, need);
    if (pic.region.isEmpty())
        return failed(QStringLiteral("the part asked for is outside the picture"));
    const QSize size = reducedSize(pic.region.size(), need);
    if (!fitsAllocationLimit(size, 32))
        return failed(QStringLiteral("the part asked for exceeds the allocation limit"));
    if (!mayAllocate(progress, size, 32))
        return failed(QStringLiteral("cancelled"));
    QString error;
    pic.image = tiled->decodeReduced(pic.region, size, progress, &error);
    if (pic.image.isNull())
        return failed(error.isEmpty() ? QStringLiteral("the picture cannot be decoded") : error);
    return pic;
}

} // namespace

Picture loadPicture(const QString& path, const PictureNeed& need, LoadProgress* progress,
                    const LoadLimits& limits) {
    if (need.kind != PictureNeed::Kind::Full && !need.region.isEmpty())
        return loadReducedPart(path, need, progress, limits);
    static std::once_flag limitSet;
    std::call_once(limitSet, [] { QImageReader::setAllocationLimit(kPictureAllocationLimitMB); });
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failed(file.errorString());
    if (file.size() == 0)
        return failed(QStringLiteral("empty file"));
    Picture pic;
    if (loadMetafile(file, need, progress, pic))
        return pic;
    // HEIF, AVIF and JPEG XL: decoded out of process.
    if (detectHelperFormat(file.peek(64)) != HelperFormat::None)
        return decodeInHelper(path, need, progress);
    if (looksLikeJpeg(file.peek(3))) {
        JpegOutcome jpeg = decodeJpeg(path, need, progress, limits);
        if (jpeg.byParts)
            return loadByParts(openJpegParts(path), "jpeg", need, progress, limits.tileSize);
        if (!jpeg.unreadable)
            return std::move(jpeg.picture);
    }
    // TGA has no signature: told by its header with its footer, its name
    // or no other reader claiming it.
    if (detectTga(&file, path))
        return readTgaPicture(&file, need, progress);
    QByteArray byParts;
    pic = readRaster(&file, QByteArray(), need, progress, limits, &byParts);
    if (!byParts.isEmpty())
        return loadByParts(openParts(byParts, path), byParts, need, progress, limits.tileSize);
    if (pic.isNull() && pic.error != QLatin1String("cancelled")) {
        // A device-independent bitmap without its file header.
        Picture dib = readRaster(&file, "dib", need, progress, limits);
        if (!dib.isNull())
            return dib;
        if (pic.error.isEmpty())
            pic.error = QStringLiteral("unsupported picture");
    }
    return pic;
}

} // namespace lumenta
