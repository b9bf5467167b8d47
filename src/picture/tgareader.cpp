#include "picture/tgareader.h"

#include "picture/picturebuffer.h"
#include "picture/pictureloader.h"

#include <QIODevice>
#include <QImageReader>

#include <cstring>
#include <vector>

namespace lumenta {

namespace {

constexpr int kHeaderBytes = 18;
constexpr int kFooterBytes = 26;
constexpr int kExtensionBytes = 495;
// The rows decoded between two looks at the caller's cancel button.
constexpr int kRowsBetweenChecks = 64;

int bytesFor(int bits) {
    return (bits + 7) / 8;
}

quint16 le16(const uchar* p) {
    return quint16(p[0] | (p[1] << 8));
}

quint32 le32(const uchar* p) {
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

// Reads the device through a buffer of its own: run-length packets come a
// byte or a pixel at a time.
class Input {
public:
    explicit Input(QIODevice* device) : m_device(device), m_buffer(256 * 1024) {}

    bool read(uchar* out, qint64 n) {
        while (n > 0) {
            if (m_pos == m_end && !fill())
                return false;
            const qint64 step = qMin(n, m_end - m_pos);
            std::memcpy(out, m_buffer.data() + m_pos, size_t(step));
            m_pos += step;
            out += step;
            n -= step;
        }
        return true;
    }

    int byte() {
        if (m_pos == m_end && !fill())
            return -1;
        return m_buffer[size_t(m_pos++)];
    }

private:
    bool fill() {
        m_pos = 0;
        m_end = qMax<qint64>(
            0, m_device->read(reinterpret_cast<char*>(m_buffer.data()), qint64(m_buffer.size())));
        return m_end > 0;
    }

    QIODevice* m_device;
    std::vector<uchar> m_buffer;
    qint64 m_pos = 0, m_end = 0;
};

quint8 expand5(int v) {
    return quint8((v << 3) | (v >> 2));
}

// One stored pixel or colour map entry of `bits` bits (15, 16, 24, 32).
QRgb colourOf(const uchar* p, int bits, bool alpha) {
    switch (bits) {
    case 15:
    case 16: {
        const quint16 v = le16(p);
        const int a = alpha && bits == 16 ? ((v & 0x8000) ? 255 : 0) : 255;
        return qRgba(expand5((v >> 10) & 31), expand5((v >> 5) & 31), expand5(v & 31), a);
    }
    case 24:
        return qRgb(p[2], p[1], p[0]);
    default:
        return qRgba(p[2], p[1], p[0], alpha ? p[3] : 255);
    }
}

// One stored row (`width` pixels in file order) into a picture's line.
void convertRow(const TgaHeader& h, const uchar* raw, const std::vector<QRgb>& palette,
                QRgb* line) {
    const int width = h.size.width();
    const bool alpha = h.alpha();
    const int step = h.rightToLeft ? -1 : 1;
    QRgb* out = h.rightToLeft ? line + width - 1 : line;
    if (h.colourMapped()) {
        const size_t last = palette.size() - 1;
        for (int x = 0; x < width; ++x, out += step) {
            const size_t index = h.pixelBits == 8 ? raw[x] : le16(raw + 2 * x);
            *out = palette[qMin(index, last)];
        }
    } else if (h.grey()) {
        const int bytes = bytesFor(h.pixelBits);
        for (int x = 0; x < width; ++x, out += step, raw += bytes)
            *out = qRgba(raw[0], raw[0], raw[0], alpha && bytes == 2 ? raw[1] : 255);
    } else {
        const int bytes = bytesFor(h.pixelBits);
        for (int x = 0; x < width; ++x, out += step, raw += bytes)
            *out = colourOf(raw, h.pixelBits, alpha);
    }
}

// The colour map as a table every index can look up: entries outside the
// map are opaque black.
bool readPalette(const TgaHeader& h, Input& in, std::vector<QRgb>* palette) {
    const int entryBytes = bytesFor(h.mapEntryBits);
    std::vector<uchar> map(size_t(h.mapLength) * size_t(entryBytes));
    if (h.colourMapType == 1 && !in.read(map.data(), qint64(map.size())))
        return false;
    if (!h.colourMapped())
        return true;
    palette->assign(h.pixelBits == 8 ? 256 : 65536, qRgb(0, 0, 0));
    const bool alpha = h.alpha();
    for (int i = 0; i < h.mapLength && h.mapFirst + i < int(palette->size()); ++i)
        (*palette)[size_t(h.mapFirst + i)] =
            colourOf(map.data() + size_t(i) * size_t(entryBytes), h.mapEntryBits, alpha);
    return true;
}

// A run-length encoded stream, expanded a row at a time. Packets may go on
// from one row to the next, never past the last pixel.
class RunDecoder {
public:
    RunDecoder(Input& in, int pixelBytes, qint64 pixels)
        : m_in(in), m_bytes(pixelBytes), m_left(pixels) {}

    // False with *error set when the data ends or a packet overruns.
    bool row(uchar* out, int width, QString* error) {
        for (int x = 0; x < width;) {
            if (m_count == 0) {
                const int c = m_in.byte();
                if (c < 0)
                    return truncated(error);
                m_repeat = c & 0x80;
                m_count = (c & 0x7f) + 1;
                if (m_count > m_left) {
                    *error = QStringLiteral("a run goes past the end of the TGA picture");
                    return false;
                }
                if (m_repeat && !m_in.read(m_pixel, m_bytes))
                    return truncated(error);
            }
            const int n = qMin(m_count, width - x);
            uchar* at = out + qsizetype(x) * m_bytes;
            if (!m_repeat) {
                if (!m_in.read(at, qint64(n) * m_bytes))
                    return truncated(error);
            } else {
                for (int i = 0; i < n; ++i, at += m_bytes)
                    std::memcpy(at, m_pixel, size_t(m_bytes));
            }
            x += n;
            m_count -= n;
            m_left -= n;
        }
        return true;
    }

private:
    static bool truncated(QString* error) {
        *error = QStringLiteral("the TGA file is truncated");
        return false;
    }

    Input& m_in;
    int m_bytes;
    qint64 m_left; // pixels of the picture not yet expanded
    int m_count = 0;
    bool m_repeat = false;
    uchar m_pixel[4] = {};
};

QImage failed(QString* error, const QString& why) {
    *error = why;
    return QImage();
}

} // namespace

bool TgaHeader::alpha() const {
    if (attributesType >= 0 && attributesType <= 2)
        return false; // the extension area says the attribute bits are no alpha
    const int bits = colourMapped() ? mapEntryBits : pixelBits;
    return (bits == 16 || bits == 32) && (attributeBits > 0 || attributesType >= 3);
}

qint64 TgaHeader::dataOffset() const {
    return kHeaderBytes + idLength + qint64(mapLength) * bytesFor(mapEntryBits) * colourMapType;
}

std::optional<TgaHeader> readTgaHeader(QIODevice* device) {
    uchar b[kHeaderBytes];
    if (!device->seek(0) || device->read(reinterpret_cast<char*>(b), kHeaderBytes) != kHeaderBytes)
        return std::nullopt;
    TgaHeader h;
    h.idLength = b[0];
    h.colourMapType = b[1];
    h.imageType = b[2];
    h.mapFirst = le16(b + 3);
    h.mapLength = le16(b + 5);
    h.mapEntryBits = b[7];
    h.size = QSize(le16(b + 12), le16(b + 14));
    h.pixelBits = b[16];
    h.attributeBits = b[17] & 0x0f;
    h.rightToLeft = b[17] & 0x10;
    h.topToBottom = b[17] & 0x20;
    const int base = h.imageType & ~8; // 1 colour-mapped, 2 true colour, 3 grey
    if (h.colourMapType > 1 || base < 1 || base > 3 || (b[17] & 0xc0) || h.size.isEmpty())
        return std::nullopt;
    if (h.colourMapType == 0) {
        h.mapFirst = h.mapLength = h.mapEntryBits = 0;
    } else if (h.mapEntryBits != 15 && h.mapEntryBits != 16 && h.mapEntryBits != 24 &&
               h.mapEntryBits != 32) {
        return std::nullopt;
    }
    const int bits = h.pixelBits;
    const bool pixelsOk = base == 2 ? (bits == 15 || bits == 16 || bits == 24 || bits == 32)
                                    : (bits == 8 || bits == 16);
    if (!pixelsOk || (base == 1 && (h.colourMapType != 1 || h.mapLength == 0)))
        return std::nullopt;

    // The 2.0 footer, and the extension area it points to.
    const qint64 length = device->size();
    qint64 end = length;
    uchar foot[kFooterBytes];
    if (length >= kHeaderBytes + kFooterBytes && device->seek(length - kFooterBytes) &&
        device->read(reinterpret_cast<char*>(foot), kFooterBytes) == kFooterBytes &&
        std::memcmp(foot + 8, "TRUEVISION-XFILE.\0", 18) == 0) {
        h.footer = true;
        end = length - kFooterBytes;
        const qint64 extension = le32(foot);
        uchar size[2];
        char type = 0;
        if (extension >= kHeaderBytes && extension + kExtensionBytes <= end &&
            device->seek(extension) && device->read(reinterpret_cast<char*>(size), 2) == 2 &&
            le16(size) >= kExtensionBytes && device->seek(extension + kExtensionBytes - 1) &&
            device->getChar(&type))
            h.attributesType = uchar(type);
    }
    // Enough bytes for the pixels: all of them, or one packet per 128.
    const qint64 pixels = qint64(h.size.width()) * h.size.height();
    const int pixelBytes = bytesFor(bits);
    const qint64 least = h.rle() ? (pixels + 127) / 128 * (1 + pixelBytes) : pixels * pixelBytes;
    if (h.dataOffset() + least > end)
        return std::nullopt;
    return h;
}

std::optional<TgaHeader> detectTga(QIODevice* device, const QString& fileName) {
    std::optional<TgaHeader> header = readTgaHeader(device);
    if (!header || header->footer || fileName.endsWith(QLatin1String(".tga"), Qt::CaseInsensitive))
        return header;
    device->seek(0);
    const QByteArray claimed = QImageReader::imageFormat(device);
    device->seek(0);
    if (claimed.isEmpty() || claimed == "ico" || claimed == "cur" || claimed == "tga")
        return header;
    return std::nullopt;
}

QImage readTga(QIODevice* device, QString* error, LoadProgress* progress) {
    const std::optional<TgaHeader> header = readTgaHeader(device);
    if (!header)
        return failed(error, QStringLiteral("not a TGA picture"));
    const TgaHeader& h = *header;
    if (!fitsAllocationLimit(h.size, 32))
        return failed(error, QStringLiteral("picture exceeds the allocation limit"));
    const qint64 bytes = qint64(h.size.width()) * h.size.height() * 4;
    if (progress && !progress->mayAllocate(bytes))
        return failed(error, QStringLiteral("cancelled"));
    if (!device->seek(kHeaderBytes + h.idLength))
        return failed(error, QStringLiteral("the TGA file is truncated"));
    Input in(device);
    std::vector<QRgb> palette;
    if (!readPalette(h, in, &palette))
        return failed(error, QStringLiteral("the TGA file is truncated"));

    const bool alpha = h.alpha();
    const QImage::Format format = !alpha                  ? QImage::Format_RGB32
                                  : h.attributesType == 4 ? QImage::Format_ARGB32_Premultiplied
                                                          : QImage::Format_ARGB32;
    QImage image = newPictureBuffer(h.size, format);
    if (image.isNull())
        return failed(error, QStringLiteral("no memory for the picture"));
    const int width = h.size.width(), height = h.size.height();
    const int pixelBytes = bytesFor(h.pixelBits);
    std::vector<uchar> raw(size_t(width) * size_t(pixelBytes));
    RunDecoder runs(in, pixelBytes, qint64(width) * height);
    QRgb alphaSeen = 0;
    for (int row = 0; row < height; ++row) {
        if (row % kRowsBetweenChecks == 0 && progress && progress->isCancelled())
            return failed(error, QStringLiteral("cancelled"));
        if (h.rle()) {
            if (!runs.row(raw.data(), width, error))
                return QImage();
        } else if (!in.read(raw.data(), qint64(raw.size()))) {
            return failed(error, QStringLiteral("the TGA file is truncated"));
        }
        auto* line =
            reinterpret_cast<QRgb*>(image.scanLine(h.topToBottom ? row : height - 1 - row));
        convertRow(h, raw.data(), palette, line);
        if (alpha)
            for (int x = 0; x < width; ++x)
                alphaSeen |= line[x];
    }
    // Attribute bits that are all clear, with nothing saying they are
    // alpha, were no alpha: the picture is opaque.
    if (alpha && qAlpha(alphaSeen) == 0 && h.attributesType < 3) {
        for (int y = 0; y < height; ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < width; ++x)
                line[x] |= 0xff000000u;
        }
        image.reinterpretAsFormat(QImage::Format_RGB32);
    }
    return image;
}

} // namespace lumenta
