#include "picture/colourchunks.h"

#include <QtEndian>

#include <zlib.h>

namespace lumenta {

namespace {

constexpr int kMaxChunks = 100000;
constexpr int kMaxTiffEntries = 4096;

quint32 be32(const QByteArray& b, qsizetype at) {
    return qFromBigEndian<quint32>(b.constData() + at);
}

ColourSpace pngColours(const ReadAt& read) {
    ColourSpace cicp, iccp;
    bool srgb = false;
    quint32 gamma = 0;
    QByteArray chrm;
    qint64 at = 8;
    for (int i = 0; i < kMaxChunks; ++i) {
        const QByteArray head = read(at, 8);
        if (head.size() < 8)
            break;
        const quint32 length = be32(head, 0);
        const QByteArray type = head.mid(4, 4);
        if (length > 0x7fffffffu || type == "IDAT" || type == "IEND")
            break;
        const auto body = [&] { return read(at + 8, length); };
        if (type == "cICP" && length == 4 && cicp.isSrgb()) {
            const QByteArray b = body();
            // Only full-range RGB (matrix 0) describes a PNG's pixels.
            if (b.size() == 4 && b[2] == 0 && b[3] == 1)
                cicp = ColourSpace::fromCicp(uchar(b[0]), uchar(b[1]));
        } else if (type == "iCCP" && iccp.isSrgb() && length <= kMaxIccBytes) {
            // A name of 1 to 79 bytes, its terminating zero, the compression
            // method (0: zlib), the compressed profile.
            const QByteArray b = body();
            const qsizetype zero = b.indexOf('\0');
            if (zero >= 1 && zero <= 79 && b.size() > zero + 2 && b[zero + 1] == 0)
                iccp = ColourSpace::fromIcc(
                    inflateZlib(QByteArrayView(b).sliced(zero + 2), kMaxIccBytes));
        } else if (type == "sRGB") {
            srgb = true;
        } else if (type == "gAMA" && length == 4 && !gamma) {
            const QByteArray b = body();
            if (b.size() == 4)
                gamma = be32(b, 0);
        } else if (type == "cHRM" && length == 32 && chrm.isEmpty()) {
            chrm = body();
        }
        at += 12 + qint64(length);
    }
    if (!cicp.isSrgb())
        return cicp;
    if (!iccp.isSrgb())
        return iccp;
    if (srgb || (!gamma && chrm.size() != 32))
        return ColourSpace();
    CodedColours c;
    if (gamma) {
        // gAMA holds the encoding exponent times 100000.
        c.transfer = CodedColours::Transfer::Gamma;
        c.gamma = 100000.0 / gamma;
    }
    if (chrm.size() == 32) {
        double* const xy[] = {&c.white[0], &c.white[1], &c.red[0],  &c.red[1],
                              &c.green[0], &c.green[1], &c.blue[0], &c.blue[1]};
        for (int k = 0; k < 8; ++k)
            *xy[k] = be32(chrm, k * 4) / 100000.0;
    }
    return ColourSpace::fromCoded(c);
}

ColourSpace webpColours(const ReadAt& read) {
    qint64 at = 12;
    for (int i = 0; i < kMaxChunks; ++i) {
        const QByteArray head = read(at, 8);
        if (head.size() < 8)
            break;
        const quint32 length = qFromLittleEndian<quint32>(head.constData() + 4);
        const QByteArray type = head.left(4);
        if (type == "ICCP")
            return length <= kMaxIccBytes ? ColourSpace::fromIcc(read(at + 8, length))
                                          : ColourSpace();
        // The profile comes before the picture's data.
        if (type == "VP8 " || type == "VP8L" || type == "ANIM" || type == "ALPH")
            break;
        at += 8 + qint64(length) + (length & 1);
    }
    return ColourSpace();
}

ColourSpace tiffColours(const ReadAt& read, bool little) {
    const auto u16 = [little](const QByteArray& b, qsizetype at) {
        return little ? qFromLittleEndian<quint16>(b.constData() + at)
                      : qFromBigEndian<quint16>(b.constData() + at);
    };
    const auto u32 = [little](const QByteArray& b, qsizetype at) {
        return little ? qFromLittleEndian<quint32>(b.constData() + at)
                      : qFromBigEndian<quint32>(b.constData() + at);
    };
    const QByteArray header = read(4, 4);
    if (header.size() < 4)
        return ColourSpace();
    const qint64 ifd = u32(header, 0);
    const QByteArray countBytes = read(ifd, 2);
    if (countBytes.size() < 2)
        return ColourSpace();
    const int count = qMin<int>(u16(countBytes, 0), kMaxTiffEntries);
    const QByteArray entries = read(ifd + 2, qint64(count) * 12);
    constexpr quint16 kIccTag = 34675;
    for (int k = 0; k + 1 <= entries.size() / 12; ++k) {
        const qsizetype e = qsizetype(k) * 12;
        const quint16 type = u16(entries, e + 2);
        // UNDEFINED or BYTE values, stored elsewhere unless they fit in
        // the entry's four bytes.
        if (u16(entries, e) != kIccTag || (type != 7 && type != 1))
            continue;
        const quint32 size = u32(entries, e + 4);
        if (size == 0 || size > quint32(kMaxIccBytes))
            return ColourSpace();
        const QByteArray profile =
            size <= 4 ? entries.mid(e + 8, size) : read(u32(entries, e + 8), size);
        return profile.size() == qsizetype(size) ? ColourSpace::fromIcc(profile) : ColourSpace();
    }
    return ColourSpace();
}

} // namespace

QByteArray jpegIccProfile(const QList<QByteArray>& app2Payloads) {
    static const QByteArray kTag("ICC_PROFILE\0", 12);
    QList<QByteArray> pieces;
    int count = 0;
    for (const QByteArray& p : app2Payloads) {
        if (p.size() < 14 || !p.startsWith(kTag))
            continue;
        const int seq = uchar(p[12]), n = uchar(p[13]);
        if (n == 0 || seq == 0 || seq > n || (count && n != count))
            return QByteArray();
        if (!count) {
            count = n;
            pieces.resize(n);
        }
        if (!pieces[seq - 1].isNull())
            return QByteArray();
        pieces[seq - 1] = p.mid(14);
        if (pieces[seq - 1].isNull())
            pieces[seq - 1] = QByteArray("");
    }
    QByteArray profile;
    for (const QByteArray& piece : pieces) {
        if (piece.isNull() || profile.size() + piece.size() > kMaxIccBytes)
            return QByteArray();
        profile += piece;
    }
    return profile;
}

bool exifSaysAdobeRgb(QByteArrayView app1) {
    if (app1.size() < 14 || !app1.startsWith(QByteArrayView("Exif\0\0", 6)))
        return false;
    const QByteArrayView tiff = app1.sliced(6);
    const bool little = tiff.startsWith("II");
    if (!little && !tiff.startsWith("MM"))
        return false;
    const auto has = [&](qint64 at, qint64 n) {
        return at >= 0 && n >= 0 && at <= tiff.size() - n;
    };
    const auto u16 = [&](qint64 at) {
        return little ? qFromLittleEndian<quint16>(tiff.data() + at)
                      : qFromBigEndian<quint16>(tiff.data() + at);
    };
    const auto u32 = [&](qint64 at) {
        return little ? qFromLittleEndian<quint32>(tiff.data() + at)
                      : qFromBigEndian<quint32>(tiff.data() + at);
    };
    // The entry of `tag` in the directory at `ifd`; -1 when there is none.
    const auto find = [&](qint64 ifd, quint16 tag) -> qint64 {
        if (!has(ifd, 2))
            return -1;
        const int count = qMin<int>(u16(ifd), kMaxTiffEntries);
        for (int i = 0; i < count; ++i) {
            const qint64 e = ifd + 2 + qint64(i) * 12;
            if (!has(e, 12))
                return -1;
            if (u16(e) == tag)
                return e;
        }
        return -1;
    };
    if (!has(4, 4))
        return false;
    const qint64 exifEntry = find(u32(4), 0x8769); // Exif IFD
    if (exifEntry < 0)
        return false;
    const qint64 exifIfd = u32(exifEntry + 8);
    const qint64 colourSpace = find(exifIfd, 0xa001);
    const qint64 interopEntry = find(exifIfd, 0xa005);
    if (colourSpace < 0 || u16(colourSpace + 8) != 0xffff || interopEntry < 0)
        return false;
    const qint64 index = find(u32(interopEntry + 8), 0x0001); // InteroperabilityIndex
    return index >= 0 && u32(index + 4) >= 3 && tiff.sliced(index + 8, 3) == "R03";
}

ColourSpace adobeRgbColours() {
    CodedColours c;
    c.red[0] = 0.64, c.red[1] = 0.33, c.green[0] = 0.21, c.green[1] = 0.71;
    c.blue[0] = 0.15, c.blue[1] = 0.06;
    c.transfer = CodedColours::Transfer::Gamma;
    c.gamma = 563.0 / 256;
    return ColourSpace::fromCoded(c);
}

QByteArray inflateZlib(QByteArrayView data, qsizetype maxBytes) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return QByteArray();
    QByteArray out;
    char buffer[16384];
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = uInt(qMin<qsizetype>(data.size(), 0x7fffffff));
    int status = Z_OK;
    while (status == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        status = inflate(&z, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END)
            break;
        out.append(buffer, qsizetype(sizeof buffer - z.avail_out));
        if (out.size() > maxBytes || (status == Z_OK && z.avail_in == 0 && z.avail_out != 0))
            break;
    }
    inflateEnd(&z);
    return status == Z_STREAM_END && out.size() <= maxBytes ? out : QByteArray();
}

ColourSpace declaredColourSpace(const ReadAt& read) {
    const QByteArray head = read(0, 12);
    if (head.startsWith("\x89PNG\r\n\x1a\n"))
        return pngColours(read);
    if (head.size() >= 12 && head.startsWith("RIFF") && head.mid(8, 4) == "WEBP")
        return webpColours(read);
    if (head.startsWith(QByteArray("II*\0", 4)))
        return tiffColours(read, true);
    if (head.startsWith(QByteArray("MM\0*", 4)))
        return tiffColours(read, false);
    return ColourSpace();
}

ColourSpace declaredColourSpace(const QByteArray& file) {
    return declaredColourSpace([&file](qint64 offset, qint64 size) {
        if (offset < 0 || size < 0 || offset >= file.size())
            return QByteArray();
        return file.mid(qsizetype(offset), qsizetype(qMin<qint64>(size, file.size() - offset)));
    });
}

} // namespace lumenta
