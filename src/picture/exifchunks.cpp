// EXIF orientation of PNG (eXIf chunk) and WebP (EXIF chunk) files, whose
// Qt readers do not apply it.
#include "picture/orientation.h"

#include <QIODevice>
#include <QtEndian>

#include <zlib.h>

namespace lumenta {

namespace {

constexpr qint64 kMaxExifBytes = 1 << 20;
constexpr int kMaxChunks = 100000;

// The end of a PNG file looked at for chunks after its compressed data.
constexpr qint64 kPngTailBytes = 1 << 20;

// Orientation of a chunk's TIFF block (with or without "Exif\0\0").
int orientationOf(QByteArray block) {
    if (!block.startsWith(QByteArray("Exif\0\0", 6)))
        block.prepend(QByteArray("Exif\0\0", 6));
    return exifOrientation(reinterpret_cast<const uchar*>(block.constData()), block.size());
}

// An eXIf chunk after a PNG's compressed data: found in the file's end,
// where such chunks are, without walking the thousands of IDAT chunks of a
// large picture. Its CRC must match.
int pngTailOrientation(QIODevice* device) {
    const qint64 from = qMax<qint64>(8, device->size() - kPngTailBytes);
    if (!device->seek(from))
        return 1;
    const QByteArray tail = device->read(kPngTailBytes);
    for (qsizetype at = tail.lastIndexOf("eXIf"); at >= 4; at = tail.lastIndexOf("eXIf", at - 1)) {
        const quint32 length = qFromBigEndian<quint32>(tail.constData() + at - 4);
        if (length > kMaxExifBytes || at + 4 + qsizetype(length) + 4 > tail.size())
            continue;
        const auto* p = reinterpret_cast<const uchar*>(tail.constData() + at);
        if (crc32(0, p, length + 4) != qFromBigEndian<quint32>(p + 4 + length))
            continue;
        return orientationOf(tail.mid(at + 4, length));
    }
    return 1;
}

} // namespace

int containerExifOrientation(QIODevice* device) {
    if (!device || !device->seek(0))
        return 1;
    const QByteArray head = device->read(12);
    const bool png = head.startsWith("\x89PNG\r\n\x1a\n");
    const bool webp = head.startsWith("RIFF") && head.mid(8, 4) == "WEBP";
    if (!png && !webp)
        return 1;
    qint64 at = png ? 8 : 12;
    for (int i = 0; i < kMaxChunks && device->seek(at); ++i) {
        const QByteArray chunk = device->read(8);
        if (chunk.size() < 8)
            return 1;
        const auto* p = reinterpret_cast<const uchar*>(chunk.constData());
        // PNG: length then type, big-endian; WebP: type then length,
        // little-endian, data padded to an even size.
        const qint64 length = png ? qFromBigEndian<quint32>(p) : qFromLittleEndian<quint32>(p + 4);
        const QByteArray type = png ? chunk.mid(4, 4) : chunk.left(4);
        if ((png && type == "eXIf") || (webp && type == "EXIF"))
            return length <= kMaxExifBytes ? orientationOf(device->read(length)) : 1;
        if (png && type == "IEND")
            return 1;
        if (png && type == "IDAT")
            return pngTailOrientation(device);
        at += 8 + length + (png ? 4 : (length & 1));
    }
    return 1;
}

} // namespace lumenta
