#include "support/exifbuilder.h"

#include <QBuffer>
#include <QImageWriter>

namespace testutil {

QByteArray jpegBytes(const QImage& image, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(quality);
    writer.write(image);
    return bytes;
}

QByteArray withExifThumbnail(const QByteArray& jpeg, const QByteArray& thumbnail, int orientation,
                             bool bigEndian) {
    QByteArray tiff;
    auto u16 = [&](quint32 v) {
        if (bigEndian)
            tiff.append(char(v >> 8)).append(char(v));
        else
            tiff.append(char(v)).append(char(v >> 8));
    };
    auto u32 = [&](quint32 v) {
        if (bigEndian) {
            u16(v >> 16);
            u16(v & 0xffff);
        } else {
            u16(v & 0xffff);
            u16(v >> 16);
        }
    };
    auto entry = [&](quint32 tag, quint32 type, quint32 value) {
        u16(tag);
        u16(type);
        u32(1);
        if (type == 3) {
            u16(value);
            u16(0);
        } else {
            u32(value);
        }
    };
    tiff += bigEndian ? "MM" : "II";
    u16(42);
    u32(8);
    // IFD0 at 8: the orientation; IFD1 right after it.
    const quint32 ifd1 = 8 + 2 + 12 + 4;
    u16(1);
    entry(0x0112, 3, quint32(orientation));
    u32(ifd1);
    // IFD1: old-style JPEG compression, where the thumbnail lies.
    const quint32 data = ifd1 + 2 + 3 * 12 + 4;
    u16(3);
    entry(0x0103, 3, 6);
    entry(0x0201, 4, data);
    entry(0x0202, 4, quint32(thumbnail.size()));
    u32(0);
    tiff += thumbnail;

    const QByteArray app1 = QByteArray("Exif\0\0", 6) + tiff;
    const int length = int(app1.size()) + 2;
    QByteArray segment("\xff\xe1", 2);
    segment.append(char(length >> 8)).append(char(length & 0xff)).append(app1);
    return jpeg.left(2) + segment + jpeg.mid(2);
}

} // namespace testutil
