// libjpeg may longjmp out of any of its calls: the JPEG encoding runs in a
// function with only trivially destructible locals, everything else lives
// in a session the caller owns.
#include "convert/rasterwriters.h"

#include <QColorSpace>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>

namespace lumenta {

namespace {

// Pieces handed to the writer are about this large.
constexpr qsizetype kPieceBytes = 1 << 20;

void setError(QString* error, const QString& why) {
    if (error)
        *error = why;
}

void put16(uchar* at, quint32 v) {
    at[0] = uchar(v);
    at[1] = uchar(v >> 8);
}

void put32(uchar* at, quint32 v) {
    put16(at, v & 0xffff);
    put16(at + 2, v >> 16);
}

// Whether every colour of an indexed picture is a grey.
bool greyTable(const QImage& image) {
    const QList<QRgb> table = image.colorTable();
    for (QRgb c : table)
        if (qRed(c) != qGreen(c) || qGreen(c) != qBlue(c))
            return false;
    return !table.isEmpty();
}

// ---- JPEG ----

struct JpegSession {
    jpeg_compress_struct cinfo{};
    struct Errors {
        jpeg_error_mgr pub;
        std::jmp_buf jump;
        char message[JMSG_LENGTH_MAX];
    } err{};
    struct Destination {
        jpeg_destination_mgr pub;
        JpegSession* session;
    } dest{};
    const ByteWriter* write = nullptr;
    std::vector<JOCTET> buffer = std::vector<JOCTET>(size_t(kPieceBytes));
    bool created = false;
    bool refused = false; // the writer did not take a piece

    ~JpegSession() {
        if (created)
            jpeg_destroy_compress(&cinfo);
    }
};

void silent(j_common_ptr) {}

[[noreturn]] void errorExit(j_common_ptr c) {
    auto* err = reinterpret_cast<JpegSession::Errors*>(c->err);
    (*c->err->format_message)(c, err->message);
    std::longjmp(err->jump, 1);
}

JpegSession& sessionOf(j_compress_ptr c) {
    return *reinterpret_cast<JpegSession::Destination*>(c->dest)->session;
}

void initDestination(j_compress_ptr c) {
    JpegSession& s = sessionOf(c);
    c->dest->next_output_byte = s.buffer.data();
    c->dest->free_in_buffer = s.buffer.size();
}

// Hands `size` bytes of the buffer to the writer; leaves libjpeg if it
// refuses them.
void handOver(j_compress_ptr c, size_t size) {
    JpegSession& s = sessionOf(c);
    if (size > 0 && !(*s.write)(reinterpret_cast<const char*>(s.buffer.data()), qint64(size))) {
        s.refused = true;
        std::snprintf(s.err.message, sizeof s.err.message, "the file refused the data");
        std::longjmp(s.err.jump, 1);
    }
}

boolean emptyBuffer(j_compress_ptr c) {
    handOver(c, sessionOf(c).buffer.size());
    initDestination(c);
    return TRUE;
}

void termDestination(j_compress_ptr c) {
    handOver(c, sessionOf(c).buffer.size() - c->dest->free_in_buffer);
}

// The encoding proper; `image` is Format_RGB32 or Format_Grayscale8.
bool encode(JpegSession& s, const QImage& image, int quality, const QByteArray& icc) {
    jpeg_compress_struct& c = s.cinfo;
    if (setjmp(s.err.jump))
        return false;
    jpeg_create_compress(&c);
    s.created = true;
    s.dest.session = &s;
    s.dest.pub.init_destination = initDestination;
    s.dest.pub.empty_output_buffer = emptyBuffer;
    s.dest.pub.term_destination = termDestination;
    c.dest = &s.dest.pub;
    c.image_width = JDIMENSION(image.width());
    c.image_height = JDIMENSION(image.height());
    const bool grey = image.format() == QImage::Format_Grayscale8;
    c.input_components = grey ? 1 : 4;
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    c.in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGRX;
#else
    c.in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_XRGB;
#endif
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    c.optimize_coding = TRUE;
    if (image.dotsPerMeterX() > 0 && image.dotsPerMeterY() > 0) {
        c.density_unit = 1; // dots per inch
        c.X_density = UINT16(qBound(1, qRound(image.dotsPerMeterX() * 0.0254), 65535));
        c.Y_density = UINT16(qBound(1, qRound(image.dotsPerMeterY() * 0.0254), 65535));
    }
    jpeg_start_compress(&c, TRUE);
    if (!icc.isEmpty())
        jpeg_write_icc_profile(&c, reinterpret_cast<const JOCTET*>(icc.constData()),
                               unsigned(icc.size()));
    JSAMPROW rows[16];
    while (c.next_scanline < c.image_height) {
        const JDIMENSION first = c.next_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(16, c.image_height - first);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = const_cast<JSAMPROW>(image.constScanLine(int(first + i)));
        jpeg_write_scanlines(&c, rows, count);
    }
    jpeg_finish_compress(&c);
    return true;
}

} // namespace

bool writeBmp(const QImage& image, const ByteWriter& write, QString* error) {
    const bool indexed = image.format() == QImage::Format_Indexed8 && image.colorCount() > 0;
    const QImage pixels =
        indexed || image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32
            ? image
            : image.convertToFormat(QImage::Format_RGB32);
    if (pixels.isNull()) {
        setError(error, QStringLiteral("no picture"));
        return false;
    }
    const int w = pixels.width();
    const int h = pixels.height();
    const quint64 rowBytes = (quint64(w) * (indexed ? 8 : 24) + 31) / 32 * 4;
    const quint64 tableBytes = indexed ? quint64(pixels.colorCount()) * 4 : 0;
    const quint64 offset = 14 + 40 + tableBytes;
    const quint64 fileBytes = offset + rowBytes * quint64(h);
    if (fileBytes > 0xffffffffu) {
        setError(error, QStringLiteral("picture too large for a bitmap"));
        return false;
    }
    QByteArray piece(qMax<qsizetype>(kPieceBytes, qsizetype(offset + rowBytes)), '\0');
    auto* head = reinterpret_cast<uchar*>(piece.data());
    head[0] = 'B';
    head[1] = 'M';
    put32(head + 2, quint32(fileBytes));
    put32(head + 10, quint32(offset));
    uchar* info = head + 14;
    put32(info, 40);
    put32(info + 4, quint32(w));
    put32(info + 8, quint32(h)); // positive: rows from the bottom up
    put16(info + 12, 1);
    put16(info + 14, indexed ? 8 : 24);
    put32(info + 16, 0); // BI_RGB
    put32(info + 20, quint32(rowBytes * quint64(h)));
    put32(info + 24, quint32(qMax(0, pixels.dotsPerMeterX())));
    put32(info + 28, quint32(qMax(0, pixels.dotsPerMeterY())));
    put32(info + 32, indexed ? quint32(pixels.colorCount()) : 0);
    put32(info + 36, 0);
    uchar* table = info + 40;
    for (int i = 0; indexed && i < pixels.colorCount(); ++i) {
        const QRgb c = pixels.color(i);
        const uchar entry[4] = {uchar(qBlue(c)), uchar(qGreen(c)), uchar(qRed(c)), 0};
        memcpy(table + 4 * i, entry, 4);
    }
    qsizetype used = qsizetype(offset);
    for (int y = h - 1; y >= 0; --y) {
        if (used + qsizetype(rowBytes) > piece.size()) {
            if (!write(piece.constData(), used)) {
                setError(error, QStringLiteral("the file refused the data"));
                return false;
            }
            used = 0;
        }
        auto* out = reinterpret_cast<uchar*>(piece.data()) + used;
        if (indexed) {
            memcpy(out, pixels.constScanLine(y), size_t(w));
        } else {
            const auto* in = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
            for (int x = 0; x < w; ++x, out += 3) {
                out[0] = uchar(qBlue(in[x]));
                out[1] = uchar(qGreen(in[x]));
                out[2] = uchar(qRed(in[x]));
            }
        }
        const size_t filled = size_t(w) * (indexed ? 1 : 3);
        memset(reinterpret_cast<uchar*>(piece.data()) + used + filled, 0,
               size_t(rowBytes) - filled); // padding
        used += qsizetype(rowBytes);
    }
    if (!write(piece.constData(), used)) {
        setError(error, QStringLiteral("the file refused the data"));
        return false;
    }
    return true;
}

bool writeJpeg(const QImage& image, int quality, const ByteWriter& write, QString* error) {
    if (image.isNull()) {
        setError(error, QStringLiteral("no picture"));
        return false;
    }
    QImage pixels = image;
    const bool grey = image.format() == QImage::Format_Grayscale8 ||
                      (image.colorCount() > 0 && greyTable(image)); // indexed or 1-bit
    if (grey && pixels.format() != QImage::Format_Grayscale8)
        pixels = pixels.convertToFormat(QImage::Format_Grayscale8);
    else if (!grey && pixels.format() != QImage::Format_RGB32 &&
             pixels.format() != QImage::Format_ARGB32)
        pixels = pixels.convertToFormat(QImage::Format_RGB32);
    const QByteArray icc =
        image.colorSpace().isValid() ? image.colorSpace().iccProfile() : QByteArray();
    JpegSession s;
    s.write = &write;
    s.cinfo.err = jpeg_std_error(&s.err.pub);
    s.err.pub.error_exit = errorExit;
    s.err.pub.output_message = silent;
    if (!encode(s, pixels, qBound(0, quality, 100), icc)) {
        setError(error, QString::fromLatin1(s.err.message));
        return false;
    }
    return true;
}

} // namespace lumenta
