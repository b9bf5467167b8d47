// JPEG read by parts. Each pass opens the file afresh, so passes run on
// several workers at once. As in the whole decoder, everything with a
// destructor lives in the Pass, which the caller owns, so that a longjmp
// out of libjpeg skips no destructor.
#include "picture/colourchunks.h"
#include "picture/jpegcommon.h"
#include "picture/partdecoders.h"
#include "picture/streamreducer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace lumenta {

namespace {

using namespace jpeg;

// Rows decoded per batch.
constexpr int kStripRows = 16;
// Pixels decoded around the parts, so that their edge pixels are upsampled
// from their true neighbours, as in a whole decode (two chroma blocks).
constexpr int kCropMargin = 16;
// libjpeg's own memory in a pass (a baseline file needs a few rows).
constexpr long kPassMemory = 256L << 20;
// Huffman coding spends at least two bits on each 8 x 8 block of each
// colour: a file with fewer bytes than this many pixels each is short.
constexpr qint64 kMaxPixelsPerByte = 1024;

struct Pass {
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    ProgressManager prog{};
    bool created = false;
    std::FILE* file = nullptr;
    FileSource source{};
    std::vector<JOCTET> input = std::vector<JOCTET>(kSourceBufferBytes);
    std::vector<JSAMPLE> strip;
    std::vector<QImage> images;             // the parts being filled
    std::vector<std::pair<int, int>> spans; // rows to decode: [first, end)
    std::unique_ptr<StreamReducer> reducer;
    QImage reduced;

    ~Pass() {
        if (created)
            jpeg_destroy_decompress(&cinfo);
        if (file)
            std::fclose(file);
    }
};

// Reads the header and chooses the output colours: every picture comes as
// 32-bit pixels (greys expanded by libjpeg, CMYK converted by ours).
// Returns whether the rows come as CMYK.
bool startHeader(Pass& p) {
    jpeg_decompress_struct& c = p.cinfo;
    jpeg_create_decompress(&c);
    p.created = true;
    c.progress = &p.prog.pub;
    c.mem->max_memory_to_use = kPassMemory;
    attachFileSource(c, p.source, p.file, p.input.data(), p.input.size());
    jpeg_save_markers(&c, JPEG_APP0 + 1, 0xffff);
    jpeg_save_markers(&c, JPEG_APP0 + 2, 0xffff);
    jpeg_read_header(&c, TRUE);
    if (jpeg_has_multiple_scans(&c))
        leave(reinterpret_cast<j_common_ptr>(&c),
              "a progressive JPEG this large cannot be decoded by parts");
    const bool cmyk = c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK;
    c.out_color_space = cmyk ? JCS_CMYK : kRgb32Space;
    return cmyk;
}

// Reads `n` rows into the strip (rowPixels 32-bit pixels each).
void readRows(Pass& p, int n, int rowPixels) {
    JSAMPROW rows[kStripRows];
    for (int i = 0; i < n; ++i)
        rows[i] = p.strip.data() + size_t(i) * rowPixels * 4;
    int got = 0;
    while (got < n) {
        const JDIMENSION k = jpeg_read_scanlines(&p.cinfo, rows + got, JDIMENSION(n - got));
        if (k == 0)
            leave(reinterpret_cast<j_common_ptr>(&p.cinfo), "the decoder stalled");
        got += int(k);
    }
}

void skipTo(Pass& p, int row) {
    while (int(p.cinfo.output_scanline) < row) {
        const JDIMENSION k =
            jpeg_skip_scanlines(&p.cinfo, JDIMENSION(row - int(p.cinfo.output_scanline)));
        if (k == 0)
            leave(reinterpret_cast<j_common_ptr>(&p.cinfo), "the decoder stalled");
    }
}

// Where the decoded rows of a strip become pixels: the one point of the
// decoder where rows are produced (colour conversions go here).
void finishStrip(uchar* strip, int rows, int rowPixels, bool cmyk) {
    if (!cmyk)
        return;
    for (int i = 0; i < rows; ++i)
        cmykToRgb32(strip + size_t(i) * rowPixels * 4, rowPixels);
}

bool runParts(Pass& p, const QList<QRect>& parts, const PartDecoder::PartReady& ready) {
    jpeg_decompress_struct& c = p.cinfo;
    if (setjmp(p.err.jump))
        return false;
    const bool cmyk = startHeader(p);
    const QRect picture(0, 0, int(c.image_width), int(c.image_height));
    QRect around;
    for (const QRect& part : parts)
        around |= part;
    around = around.adjusted(-kCropMargin, 0, kCropMargin, 0) & picture;
    jpeg_start_decompress(&c);
    JDIMENSION cropX = JDIMENSION(around.x()), cropW = JDIMENSION(around.width());
    if (around.width() < picture.width())
        jpeg_crop_scanline(&c, &cropX, &cropW);
    const int rowPixels = int(c.output_width);
    p.strip.resize(size_t(rowPixels) * 4 * kStripRows);
    p.images.assign(size_t(parts.size()), QImage());

    // The rows to decode: those of the parts and a margin above each, in
    // spans that do not overlap (the rows between them are skipped).
    for (const QRect& part : parts) {
        const std::pair<int, int> span(std::max(0, part.top() - kCropMargin), part.bottom() + 1);
        const auto at = std::lower_bound(p.spans.begin(), p.spans.end(), span);
        p.spans.insert(at, span);
    }
    size_t kept = 0;
    for (size_t i = 1; i < p.spans.size(); ++i) {
        if (p.spans[i].first <= p.spans[kept].second)
            p.spans[kept].second = std::max(p.spans[kept].second, p.spans[i].second);
        else
            p.spans[++kept] = p.spans[i];
    }
    p.spans.resize(std::min(p.spans.size(), kept + 1));
    for (const auto& [first, end] : p.spans) {
        skipTo(p, first);
        while (int(c.output_scanline) < end) {
            const int y0 = int(c.output_scanline);
            const int n = std::min(kStripRows, end - y0);
            readRows(p, n, rowPixels);
            finishStrip(p.strip.data(), n, rowPixels, cmyk);
            for (int i = 0; i < parts.size(); ++i) {
                const QRect& part = parts[i];
                const int from = std::max(part.top(), y0), to = std::min(part.bottom(), y0 + n - 1);
                if (from > to)
                    continue;
                QImage& image = p.images[size_t(i)];
                if (image.isNull()) {
                    image = QImage(part.size(), QImage::Format_RGB32);
                    if (image.isNull())
                        leave(reinterpret_cast<j_common_ptr>(&c), "out of memory");
                }
                const int dx = part.x() - int(cropX);
                for (int y = from; y <= to; ++y)
                    std::memcpy(image.scanLine(y - part.top()),
                                p.strip.data() + (size_t(y - y0) * rowPixels + dx) * 4,
                                size_t(part.width()) * 4);
                if (to == part.bottom()) {
                    ready(i, image);
                    image = QImage();
                }
            }
            leaveIfCancelled(&c);
        }
    }
    jpeg_abort_decompress(&c);
    return true;
}

bool runReduced(Pass& p, QSize size, bool fast) {
    jpeg_decompress_struct& c = p.cinfo;
    if (setjmp(p.err.jump))
        return false;
    const bool cmyk = startHeader(p);
    // The smallest DCT scale whose whole pixels still cover the size (the
    // last row and column libjpeg gives may be partly padding).
    const auto scaled = [&c](int m) {
        return QSize(int(qint64(c.image_width) * m / 8), int(qint64(c.image_height) * m / 8));
    };
    int m = 1;
    while (m < 8 && !(scaled(m).width() >= size.width() && scaled(m).height() >= size.height()))
        ++m;
    c.scale_num = JDIMENSION(m);
    c.scale_denom = 8;
    if (fast) {
        c.dct_method = JDCT_IFAST;
        c.do_fancy_upsampling = FALSE;
    }
    jpeg_start_decompress(&c);
    const QSize valid = scaled(m).boundedTo(QSize(int(c.output_width), int(c.output_height)));
    p.reducer = std::make_unique<StreamReducer>(valid, size, false);
    if (!p.reducer->isValid())
        leave(reinterpret_cast<j_common_ptr>(&c), "out of memory");
    const int rowPixels = int(c.output_width);
    p.strip.resize(size_t(rowPixels) * 4 * kStripRows);
    while (p.reducer->rowsLeft() > 0) {
        const int n =
            std::min({kStripRows, p.reducer->rowsLeft(), int(c.output_height - c.output_scanline)});
        if (n <= 0)
            break;
        readRows(p, n, rowPixels);
        finishStrip(p.strip.data(), n, rowPixels, cmyk);
        p.reducer->addRows(reinterpret_cast<const quint32*>(p.strip.data()), rowPixels, n);
        if (p.prog.progress)
            p.prog.progress->giveWay();
        leaveIfCancelled(&c);
    }
    jpeg_abort_decompress(&c);
    p.reduced = p.reducer->result();
    return !p.reduced.isNull();
}

QString passError(const Pass& p) {
    return p.prog.cancelled ? QStringLiteral("cancelled") : QString::fromLatin1(p.err.message);
}

class JpegParts : public PartDecoder {
public:
    explicit JpegParts(QString path) : m_path(std::move(path)) {}

    bool decodeParts(const QList<QRect>& parts, const PartReady& ready, LoadProgress* progress,
                     QString* error) const override {
        if (parts.isEmpty())
            return true;
        Pass p;
        if (!open(p, progress, error))
            return false;
        if (!runParts(p, parts, ready)) {
            *error = passError(p);
            return false;
        }
        return true;
    }

    QImage decodeReduced(QSize size, bool fast, LoadProgress* progress,
                         QString* error) const override {
        Pass p;
        if (!open(p, progress, error))
            return QImage();
        if (!runReduced(p, size, fast)) {
            *error = p.reduced.isNull() && p.err.message[0] ? passError(p)
                                                            : QStringLiteral("out of memory");
            return QImage();
        }
        return p.reduced;
    }

private:
    bool open(Pass& p, LoadProgress* progress, QString* error) const {
        prepare(p.cinfo, p.err, p.prog, progress);
        p.file = openForJpeg(m_path);
        if (!p.file)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return p.file != nullptr;
    }

    QString m_path;
};

// The colours of a colour JPEG whose header is read: its embedded profile,
// or Adobe RGB where a camera's EXIF says so. Greys and CMYK go by their
// plain conversion to RGB. Between libjpeg calls: nothing leaves by longjmp.
ColourSpace declaredColours(jpeg_decompress_struct& c) {
    if (c.jpeg_color_space != JCS_YCbCr && c.jpeg_color_space != JCS_RGB)
        return ColourSpace();
    JOCTET* data = nullptr;
    unsigned int length = 0;
    if (jpeg_read_icc_profile(&c, &data, &length) && data) {
        const QByteArray icc(reinterpret_cast<const char*>(data), qsizetype(length));
        std::free(data);
        return ColourSpace::fromIcc(icc);
    }
    for (jpeg_saved_marker_ptr m = c.marker_list; m; m = m->next) {
        if (m->marker == JPEG_APP0 + 1 &&
            exifSaysAdobeRgb(QByteArrayView(m->data, qsizetype(m->data_length))))
            return adobeRgbColours();
    }
    return ColourSpace();
}

bool readHeader(Pass& p, PartSource& out) {
    if (setjmp(p.err.jump))
        return false;
    startHeader(p);
    out.stored = QSize(int(p.cinfo.image_width), int(p.cinfo.image_height));
    out.orientation = savedOrientation(p.cinfo);
    return true;
}

} // namespace

PartSource openJpegParts(const QString& path) {
    PartSource out;
    Pass p;
    prepare(p.cinfo, p.err, p.prog, nullptr);
    p.file = openForJpeg(path);
    if (!p.file) {
        out.error = QString::fromLocal8Bit(std::strerror(errno));
        return out;
    }
    if (!readHeader(p, out)) {
        out.error = QString::fromLatin1(p.err.message);
        return out;
    }
    out.colours = declaredColours(p.cinfo);
    std::fseek(p.file, 0, SEEK_END);
    if (std::ftell(p.file) < qint64(out.stored.width()) * out.stored.height() / kMaxPixelsPerByte) {
        out.error = QStringLiteral("the file is too short for the size its header gives");
        return out;
    }
    out.decoder = std::make_unique<JpegParts>(path);
    return out;
}

} // namespace lumenta
