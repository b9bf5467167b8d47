#include "browser/embeddedthumbnail.h"

#include "picture/orientation.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <cstdlib>
#include <cstring>

namespace lumenta {

namespace {

// Larger thumbnails are not what cameras store; such a claim is not decoded.
constexpr int kMaxThumbnailSide = 1024;
// A photo's segments before its picture data: EXIF blocks are at most 64 KB.
constexpr int kMaxSegments = 64;
// Black bands: pixels no brighter than this in any channel.
constexpr int kBandLevel = 40;

struct Tiff {
    const uchar* data;
    qsizetype size;
    bool bigEndian;

    bool has(qint64 offset, qint64 count) const {
        return offset >= 0 && count >= 0 && offset <= qint64(size) - count;
    }
    quint32 u16(qsizetype o) const {
        return bigEndian ? quint32(data[o] << 8 | data[o + 1])
                         : quint32(data[o + 1] << 8 | data[o]);
    }
    quint32 u32(qsizetype o) const {
        return bigEndian ? u16(o) << 16 | u16(o + 2) : u16(o + 2) << 16 | u16(o);
    }
    // The value of an entry of type SHORT or LONG holding one number.
    std::optional<quint32> number(qsizetype entry) const {
        const quint32 type = u16(entry + 2);
        if (u32(entry + 4) != 1)
            return std::nullopt;
        if (type == 3)
            return u16(entry + 8);
        if (type == 4)
            return u32(entry + 8);
        return std::nullopt;
    }
};

// The bytes of the IFD1 thumbnail in an APP1 payload ("Exif\0\0", TIFF).
QByteArray ifd1Thumbnail(const QByteArray& app1) {
    if (app1.size() < 6 + 8 || std::memcmp(app1.constData(), "Exif\0\0", 6) != 0)
        return {};
    const auto* data = reinterpret_cast<const uchar*>(app1.constData()) + 6;
    Tiff t{data, app1.size() - 6, data[0] == 'M'};
    if (!(data[0] == 'M' && data[1] == 'M') && !(data[0] == 'I' && data[1] == 'I'))
        return {};
    if (t.u16(2) != 42)
        return {};
    const qint64 ifd0 = t.u32(4);
    if (!t.has(ifd0, 2))
        return {};
    const qint64 next = ifd0 + 2 + qint64(t.u16(ifd0)) * 12;
    if (!t.has(next, 4))
        return {};
    const qint64 ifd1 = t.u32(next);
    if (ifd1 == 0 || ifd1 == ifd0 || !t.has(ifd1, 2))
        return {};
    const int count = int(t.u16(ifd1));
    std::optional<quint32> offset, length;
    for (int i = 0; i < count; ++i) {
        const qint64 entry = ifd1 + 2 + qint64(i) * 12;
        if (!t.has(entry, 12))
            return {};
        switch (t.u16(entry)) {
        case 0x0201: // JPEGInterchangeFormat
            offset = t.number(entry);
            break;
        case 0x0202: // JPEGInterchangeFormatLength
            length = t.number(entry);
            break;
        default:
            break;
        }
    }
    if (!offset || !length || !t.has(*offset, *length) || *length < 4)
        return {};
    return QByteArray(reinterpret_cast<const char*>(data + *offset), qsizetype(*length));
}

bool isFrameMarker(uchar m) {
    return m >= 0xc0 && m <= 0xcf && m != 0xc4 && m != 0xc8 && m != 0xcc;
}

// The EXIF block and the stored size of the photo, from its segments.
struct Head {
    QByteArray exif;
    QSize stored;
};

// Reads segments until the frame header: read(count) gives the next bytes,
// skip(count) passes them.
template <typename Read, typename Skip> Head readHead(Read read, Skip skip) {
    Head head;
    const QByteArray soi = read(2);
    if (soi.size() != 2 || uchar(soi[0]) != 0xff || uchar(soi[1]) != 0xd8)
        return head;
    for (int i = 0; i < kMaxSegments; ++i) {
        QByteArray marker = read(2);
        while (marker.size() == 2 && uchar(marker[1]) == 0xff) // fill bytes
            marker = marker.mid(1) + read(1);
        if (marker.size() != 2 || uchar(marker[0]) != 0xff)
            return head;
        const uchar m = uchar(marker[1]);
        if (m == 0xda || m == 0xd9)
            return head;
        const QByteArray len = read(2);
        if (len.size() != 2)
            return head;
        const int length = uchar(len[0]) << 8 | uchar(len[1]);
        if (length < 2)
            return head;
        if ((m == 0xe1 && head.exif.isEmpty()) || isFrameMarker(m)) {
            const QByteArray body = read(length - 2);
            if (body.size() != length - 2)
                return head;
            if (isFrameMarker(m)) {
                if (body.size() >= 5)
                    head.stored = QSize(uchar(body[3]) << 8 | uchar(body[4]),
                                        uchar(body[1]) << 8 | uchar(body[2]));
                return head;
            }
            if (body.startsWith(QByteArray("Exif\0\0", 6)))
                head.exif = body;
        } else if (!skip(length - 2)) {
            return head;
        }
    }
    return head;
}

// Whether every pixel of rect is dark (a band a camera put there).
bool dark(const QImage& img, const QRect& rect) {
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QRgb p = line[x];
            if (qRed(p) > kBandLevel || qGreen(p) > kBandLevel || qBlue(p) > kBandLevel)
                return false;
        }
    }
    return true;
}

// Whether two sizes agree but for a camera's rounding.
bool alike(QSize a, QSize b) {
    return std::abs(a.width() - b.width()) <= 2 && std::abs(a.height() - b.height()) <= 2;
}

// The part of the thumbnail that shows the photo: the whole of it when its
// proportions are the photo's, what lies between black bands when they make
// up the difference; null otherwise.
QImage photoPart(const QImage& thumb, QSize stored) {
    const QSize shown = stored.scaled(thumb.size(), Qt::KeepAspectRatio);
    if (alike(shown, thumb.size()))
        return thumb;
    const QImage rgb = thumb.convertToFormat(QImage::Format_RGB32);
    const int w = thumb.width(), h = thumb.height();
    // Dark lines on the edges, no more of them than the bands can hold.
    const int maxRows = (h - shown.height()) / 2 + 2, maxColumns = (w - shown.width()) / 2 + 2;
    int top = 0, bottom = 0, left = 0, right = 0;
    while (top < maxRows && dark(rgb, QRect(0, top, w, 1)))
        ++top;
    while (bottom < maxRows && dark(rgb, QRect(0, h - 1 - bottom, w, 1)))
        ++bottom;
    while (left < maxColumns && dark(rgb, QRect(left, 0, 1, h)))
        ++left;
    while (right < maxColumns && dark(rgb, QRect(w - 1 - right, 0, 1, h)))
        ++right;
    const QRect content(left, top, w - left - right, h - top - bottom);
    if (content.isEmpty() || !alike(content.size(), shown) ||
        !alike(stored.scaled(content.size(), Qt::KeepAspectRatio), content.size()))
        return QImage();
    return thumb.copy(content);
}

std::optional<EmbeddedThumbnail> fromHead(const Head& head, int minSide) {
    if (head.exif.isEmpty() || head.stored.isEmpty())
        return std::nullopt;
    QByteArray bytes = ifd1Thumbnail(head.exif);
    if (bytes.isEmpty())
        return std::nullopt;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (!size.isValid() || std::max(size.width(), size.height()) < minSide ||
        std::max(size.width(), size.height()) > kMaxThumbnailSide)
        return std::nullopt;
    const QImage thumb = reader.read();
    if (thumb.isNull())
        return std::nullopt;
    const QImage part = photoPart(thumb, head.stored);
    if (part.isNull() || std::max(part.width(), part.height()) < minSide)
        return std::nullopt;
    const int orientation =
        exifOrientation(reinterpret_cast<const uchar*>(head.exif.constData()), head.exif.size());
    EmbeddedThumbnail out{orientedImage(part, orientation), orientedSize(head.stored, orientation)};
    if (out.image.isNull())
        return std::nullopt;
    return out;
}

} // namespace

std::optional<EmbeddedThumbnail> jpegEmbeddedThumbnail(const QByteArray& head, int minSide) {
    qsizetype at = 0;
    auto read = [&](qsizetype count) {
        const QByteArray part = head.mid(at, count);
        at += part.size();
        return part;
    };
    auto skip = [&](qsizetype count) {
        at += count;
        return at <= head.size();
    };
    return fromHead(readHead(read, skip), minSide);
}

std::optional<EmbeddedThumbnail> jpegEmbeddedThumbnail(const QString& path, int minSide) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    auto read = [&](qsizetype count) { return file.read(count); };
    auto skip = [&](qsizetype count) { return file.seek(file.pos() + count); };
    return fromHead(readHead(read, skip), minSide);
}

} // namespace lumenta
