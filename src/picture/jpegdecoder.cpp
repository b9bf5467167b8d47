// The decoding runs between setjmp() and libjpeg's error exit. Everything
// with a destructor lives in the Session, which the caller owns, so that a
// longjmp out of libjpeg skips no destructor.
#include "picture/jpegdecoder.h"

#include "picture/colourchunks.h"
#include "picture/colourtransform.h"
#include "picture/jpegcommon.h"
#include "picture/orientation.h"
#include "picture/picturebuffer.h"
#include "picture/strippipeline.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace lumenta {

namespace {

using namespace jpeg;

// Rows decoded per batch when they go through a strip buffer.
constexpr int kStripRows = 32;
// Pictures from this size on place their strips on a second thread.
constexpr qint64 kPipelineFromPixels = 2'000'000;
constexpr int kPipelineStrips = 4;
// Pixels decoded around a part of the picture (two chroma blocks).
constexpr int kCropMargin = 16;

struct Session {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    ProgressManager prog{};
    bool created = false;
    bool started = false; // past jpeg_start_decompress
    FILE* file = nullptr;
    std::vector<JSAMPLE> strip;
    StripPipeline::Place place; // puts a decoded strip into the picture
    QImage image;
    // Declared after image: destroyed (its thread stopped) before it.
    std::unique_ptr<StripPipeline> pipeline;
    QSize natural;
    QRect region;
    QRect valid; // reduced: the whole pixels of the decoded picture
    const PictureNeed* need = nullptr;
    LoadProgress* progress = nullptr;
    // The picture's colours to the ones wanted; after the plain CMYK
    // conversion, sRGB to the ones wanted.
    std::shared_ptr<const ColourTransform> colours;
    std::shared_ptr<const ColourTransform> afterCmyk;
    const LoadLimits* limits = nullptr;
    bool byParts = false; // too large to be decoded whole

    ~Session() {
        // Its thread may still be converting with the transforms below.
        pipeline.reset();
        if (created)
            jpeg_destroy_decompress(&cinfo);
        if (file)
            std::fclose(file);
    }
};

// The stored picture's pixels a DCT scale of m eighths covers in whole
// output pixels (libjpeg rounds up: the last row and column may be partly
// padding).
QSize wholeScaledPixels(const jpeg_decompress_struct& c, int m) {
    return QSize(int(qint64(c.image_width) * m / 8), int(qint64(c.image_height) * m / 8));
}

// The smallest DCT scale (in eighths) whose whole pixels cover `wanted`.
int chooseScale(jpeg_decompress_struct& c, QSize wanted) {
    int m = 1;
    while (m < 8 && !(wholeScaledPixels(c, m).width() >= wanted.width() &&
                      wholeScaledPixels(c, m).height() >= wanted.height()))
        ++m;
    c.scale_num = JDIMENSION(m);
    c.scale_denom = 8;
    return m;
}

// The transforms the picture's colours need, from its embedded profile
// (APP2 markers) to the colours asked for. Called between libjpeg calls:
// nothing here leaves by longjmp.
void chooseColours(Session& s, bool grey, bool cmyk) {
    jpeg_decompress_struct& c = s.cinfo;
    JOCTET* data = nullptr;
    unsigned int length = 0;
    ColourSpace source;
    if (jpeg_read_icc_profile(&c, &data, &length) && data) {
        source = ColourSpace::fromIcc(
            QByteArray(reinterpret_cast<const char*>(data), qsizetype(length)));
        std::free(data);
    } else if (!grey && !cmyk) {
        // A camera set to Adobe RGB says so in its EXIF block only.
        for (jpeg_saved_marker_ptr m = c.marker_list; m; m = m->next) {
            if (m->marker == JPEG_APP0 + 1 &&
                exifSaysAdobeRgb(QByteArrayView(m->data, qsizetype(m->data_length)))) {
                source = adobeRgbColours();
                break;
            }
        }
    }
    const ColourSpace& target = s.need->colours;
    if (cmyk) {
        s.colours = ColourTransform::find(
            source, target, c.saw_Adobe_marker ? ColourPixels::InvertedCmyk : ColourPixels::Cmyk);
        if (!s.colours)
            s.afterCmyk = ColourTransform::find(ColourSpace(), target, ColourPixels::Rgb32);
        return;
    }
    s.colours = ColourTransform::find(source, target,
                                      grey ? ColourPixels::GreyInRgb32 : ColourPixels::Rgb32);
}

// The decoding proper. Only trivially destructible locals: libjpeg may
// longjmp out of any of its calls.
bool run(Session& s) {
    jpeg_decompress_struct& c = s.cinfo;
    if (setjmp(s.err.jump))
        return false;
    jpeg_create_decompress(&c);
    s.created = true;
    // libjpeg's own memory is held to the limit a picture has: a progressive
    // file keeps every coefficient of the picture, up to 8 bytes a pixel,
    // set aside and cleared as soon as its header is read.
    c.mem->max_memory_to_use = long(kPictureAllocationLimitMB) * 1024 * 1024;
    c.progress = &s.prog.pub;
    jpeg_stdio_src(&c, s.file);
    jpeg_save_markers(&c, JPEG_APP0 + 1, 0xffff);
    jpeg_save_markers(&c, JPEG_APP0 + 2, 0xffff);
    jpeg_read_header(&c, TRUE);

    const int orientation = savedOrientation(c);
    const QSize stored(int(c.image_width), int(c.image_height));
    s.natural = orientedSize(stored, orientation);

    const bool cmykFile = c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK;
    chooseColours(s, c.jpeg_color_space == JCS_GRAYSCALE, cmykFile);
    QImage::Format format = QImage::Format_RGB32;
    switch (c.jpeg_color_space) {
    case JCS_GRAYSCALE:
        // Grey with a profile of its own becomes colour on the display.
        c.out_color_space = s.colours ? kRgb32Space : JCS_GRAYSCALE;
        format = s.colours ? QImage::Format_RGB32 : QImage::Format_Grayscale8;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        c.out_color_space = JCS_CMYK;
        break;
    default:
        c.out_color_space = kRgb32Space;
        break;
    }
    const int depth = format == QImage::Format_RGB32 ? 32 : 8;
    if (!s.limits->fitsWhole(s.natural, depth)) {
        s.byParts = true;
        leave(reinterpret_cast<j_common_ptr>(&c), "picture exceeds the allocation limit");
    }

    const PictureNeed& need = *s.need;
    const bool reduced = need.kind != PictureNeed::Kind::Full;
    QRect part;    // Full: the stored pixels to decode
    int scale = 8; // reduced: in eighths
    if (reduced) {
        scale = chooseScale(c, orientedSize(reducedSize(s.natural, need), orientation));
        if (need.kind == PictureNeed::Kind::Thumbnail) {
            c.dct_method = JDCT_IFAST;
            c.do_fancy_upsampling = FALSE;
        }
        s.region = QRect(QPoint(), s.natural);
    } else {
        s.region = regionFor(s.natural, need);
        if (s.region.isEmpty())
            leave(reinterpret_cast<j_common_ptr>(&c), "the part asked for is outside the picture");
        part = storedRect(s.region, stored, orientation);
    }

    jpeg_start_decompress(&c);
    s.started = true;
    int xOffset = 0;  // of the wanted columns within a decoded row
    int leadRows = 0; // decoded rows above the wanted ones, dropped
    QSize decoded(int(c.output_width), int(c.output_height)); // stored orientation
    if (!reduced && part != QRect(QPoint(), stored)) {
        // Decode a margin around the part, so that its edge pixels are
        // upsampled from their true neighbours, as in a whole decode.
        const QRect around = part.adjusted(-kCropMargin, -kCropMargin, kCropMargin, kCropMargin) &
                             QRect(QPoint(), stored);
        JDIMENSION x = JDIMENSION(around.x()), w = JDIMENSION(around.width());
        jpeg_crop_scanline(&c, &x, &w);
        xOffset = part.x() - int(x);
        leadRows = part.y() - around.y();
        if (around.y() > 0)
            jpeg_skip_scanlines(&c, JDIMENSION(around.y()));
        decoded = part.size();
    }
    const QSize upright = orientedSize(decoded, orientation);
    if (reduced) {
        s.valid = uprightRect(QRect(QPoint(), wholeScaledPixels(c, scale)), decoded, orientation);
    }
    const int bpp = c.out_color_space == JCS_GRAYSCALE ? 1 : 4;
    const qint64 bytes = qint64(upright.width()) * upright.height() * bpp;
    if (s.progress && !s.progress->mayAllocate(bytes)) {
        s.prog.cancelled = true;
        leave(reinterpret_cast<j_common_ptr>(&c), "cancelled");
    }
    s.image = newPictureBuffer(upright, format);
    if (s.image.isNull())
        leave(reinterpret_cast<j_common_ptr>(&c), "out of memory");
    uchar* const bits = s.image.bits();
    const qsizetype bpl = s.image.bytesPerLine();
    const int rowPixels = int(c.output_width);

    // Rows go straight into the picture when it needs no turning, no
    // cropping and no colour work; otherwise through a strip buffer.
    const bool cmyk = c.out_color_space == JCS_CMYK;
    const ColourTransform* colours = s.colours.get();
    const ColourTransform* afterCmyk = s.afterCmyk.get();
    const bool straight = orientation == 1 && xOffset == 0 && decoded.width() == rowPixels;
    const bool direct = straight && !cmyk;
    // Rows decoded into the picture have their colours converted there.
    const bool inPlace = direct && colours;
    const bool announce =
        !reduced && s.progress && decoded == stored && (orientation == 1 || orientation == 2);
    // Turning or converting strips: on a second thread for large pictures,
    // which then announces the rows it has placed.
    const bool pipelined =
        (!direct || inPlace) && qint64(decoded.width()) * decoded.height() >= kPipelineFromPixels;
    if (announce)
        s.progress->rowsStarted(s.image);
    const size_t stripBytes = size_t(rowPixels) * bpp * kStripRows;
    // Rows above the part are dropped through the strip buffer, even when
    // the part's own rows go straight into the picture.
    if (!direct || leadRows > 0)
        s.strip.resize(stripBytes);
    // Captures values only: it may outlive this function's frame when
    // libjpeg leaves by longjmp (the transforms are kept by the session).
    LoadProgress* const progress = announce && pipelined ? s.progress : nullptr;
    s.place = [=](uchar* strip, int y0, int n) {
        if (inPlace) {
            // Announced by the pipeline: strips may be done out of order.
            colours->apply(strip, rowPixels, n, bpl);
            return;
        }
        const qsizetype stripBpl = qsizetype(rowPixels) * bpp;
        if (cmyk && !colours) {
            for (int i = 0; i < n; ++i)
                cmykToRgb32(strip + i * stripBpl, rowPixels);
        }
        if (colours && straight) {
            // Converted straight into the picture.
            colours->apply(strip, stripBpl, bits + y0 * bpl, bpl, rowPixels, n);
        } else {
            if (colours || afterCmyk)
                (colours ? colours : afterCmyk)->apply(strip, rowPixels, n, stripBpl);
            if (bpp == 4)
                placeStoredRows(reinterpret_cast<const quint32*>(strip) + xOffset, rowPixels, y0, n,
                                decoded, orientation, reinterpret_cast<quint32*>(bits), bpl / 4);
            else
                placeStoredRows(strip + xOffset, rowPixels, y0, n, decoded, orientation, bits, bpl);
        }
        if (progress)
            progress->rowsDecoded(y0 + n);
    };
    if (pipelined && inPlace) {
        StripPipeline::Announce told;
        if (progress)
            told = [progress](int rows) { progress->rowsDecoded(rows); };
        s.pipeline = std::make_unique<StripPipeline>(s.place, told);
    } else if (pipelined) {
        s.pipeline = std::make_unique<StripPipeline>(kPipelineStrips, stripBytes, s.place);
    }

    JSAMPROW rows[kStripRows];
    while (leadRows > 0) {
        for (int i = 0; i < kStripRows; ++i)
            rows[i] = s.strip.data() + size_t(i) * rowPixels * bpp;
        const JDIMENSION n = jpeg_read_scanlines(&c, rows, JDIMENSION(qMin(leadRows, kStripRows)));
        if (n == 0)
            leave(reinterpret_cast<j_common_ptr>(&c), "the decoder stalled");
        leadRows -= int(n);
    }
    int done = 0;
    while (done < decoded.height()) {
        const int want = qMin(kStripRows, decoded.height() - done);
        uchar* strip = direct       ? bits + qsizetype(done) * bpl
                       : s.pipeline ? s.pipeline->acquire()
                                    : s.strip.data();
        for (int i = 0; i < want; ++i)
            rows[i] =
                direct ? bits + qsizetype(done + i) * bpl : strip + size_t(i) * rowPixels * bpp;
        int got = 0;
        while (got < want) {
            const JDIMENSION n = jpeg_read_scanlines(&c, rows + got, JDIMENSION(want - got));
            if (n == 0)
                leave(reinterpret_cast<j_common_ptr>(&c), "the decoder stalled");
            got += int(n);
        }
        if (s.pipeline)
            s.pipeline->submit(strip, done, got);
        else if (!direct || inPlace)
            s.place(strip, done, got);
        done += got;
        if (announce && !s.pipeline)
            s.progress->rowsDecoded(done);
        if (s.progress && s.progress->isCancelled()) {
            s.prog.cancelled = true;
            leave(reinterpret_cast<j_common_ptr>(&c), "cancelled");
        }
    }
    if (s.pipeline)
        s.pipeline->finish();
    return true;
}

} // namespace

bool looksLikeJpeg(const QByteArray& head) {
    return head.size() >= 3 && uchar(head[0]) == 0xff && uchar(head[1]) == 0xd8 &&
           uchar(head[2]) == 0xff;
}

JpegOutcome decodeJpeg(const QString& path, const PictureNeed& need, LoadProgress* progress,
                       const LoadLimits& limits) {
    JpegOutcome out;
    Session s;
    s.need = &need;
    s.progress = progress;
    s.limits = &limits;
    prepare(s.cinfo, s.err, s.prog, progress);
    s.file = openForJpeg(path);
    if (!s.file) {
        out.picture.error = QString::fromLocal8Bit(std::strerror(errno));
        return out;
    }
    if (!run(s)) {
        out.picture.error =
            s.prog.cancelled ? QStringLiteral("cancelled") : QString::fromLatin1(s.err.message);
        out.unreadable = !s.started && !s.prog.cancelled && s.natural.isEmpty();
        out.byParts = s.byParts;
        return out;
    }
    QImage image = std::move(s.image);
    if (need.kind != PictureNeed::Kind::Full) {
        // Without the partly padded last row and column, then to the size.
        if (s.valid != image.rect())
            image = image.copy(s.valid);
        const QSize target = reducedSize(s.natural, need);
        if (image.size() != target)
            image = scaledSmooth(image, target);
    }
    out.picture.kind = Picture::Kind::Raster;
    out.picture.image = std::move(image);
    out.picture.naturalSize = s.natural;
    out.picture.region = s.region;
    out.picture.colours = need.colours;
    return out;
}

} // namespace lumenta
