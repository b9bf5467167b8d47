// EXIF orientation of PNG (eXIf chunk) and WebP (EXIF chunk) files, whose
// Qt readers do not apply it.
#include "picture/orientation.h"

#include <QIODevice>
#include <QtEndian>

namespace lumenta {

namespace {

constexpr qint64 kMaxExifBytes = 1 << 20;
constexpr int kMaxChunks = 100000;

// Orientation of a chunk's TIFF block (with or without "Exif\0\0").
int orientationOf(QByteArray block) {
    if (!block.startsWith(QByteArray("Exif\0\0", 6)))
        block.prepend(QByteArray("Exif\0\0", 6));
    return exifOrientation(reinterpret_cast<const uchar*>(block.constData()), block.size());
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
        at += 8 + length + (png ? 4 : (length & 1));
    }
    return 1;
}

} // namespace lumenta
