#include "picture/pngrows.h"

#include <QtEndian>

#include <cstdlib>
#include <cstring>

#include <zlib.h>

namespace lumenta {

namespace {

constexpr uchar kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr quint32 kMaxChunk = 0x7fffffff;

bool validDepth(int colour, int depth) {
    switch (colour) {
    case 0:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6:
        return depth == 8 || depth == 16;
    default:
        return false;
    }
}

int channelsOf(int colour) {
    switch (colour) {
    case 2:
        return 3;
    case 4:
        return 2;
    case 6:
        return 4;
    default:
        return 1;
    }
}

// 16-bit samples to 8 bits, rounded as Qt rounds them.
inline uint eight(uint v16) {
    return (v16 - (v16 >> 8) + 0x80) >> 8;
}

inline quint32 opaque(uint r, uint g, uint b) {
    return 0xff000000u | (r << 16) | (g << 8) | b;
}

inline quint32 withAlpha(uint r, uint g, uint b, uint a) {
    return qPremultiply(qRgba(int(r), int(g), int(b), int(a)));
}

inline uint be16(const uchar* p) {
    return uint(p[0]) << 8 | p[1];
}

bool fail(QString* error, const char* why) {
    *error = QString::fromLatin1(why);
    return false;
}

} // namespace

bool readPngHeader(QIODevice& file, PngHeader* h, QString* error) {
    uchar sig[8];
    if (file.read(reinterpret_cast<char*>(sig), 8) != 8 || std::memcmp(sig, kSignature, 8) != 0)
        return fail(error, "not a PNG file");
    bool sawHeader = false;
    QByteArray trns;
    for (;;) {
        const qint64 at = file.pos();
        uchar head[8];
        if (file.read(reinterpret_cast<char*>(head), 8) != 8)
            break; // no IEND: the data read so far decides
        const quint32 length = qFromBigEndian<quint32>(head);
        if (length > kMaxChunk)
            return fail(error, "damaged chunk");
        const QByteArray type(reinterpret_cast<const char*>(head + 4), 4);
        if (!sawHeader && type != "IHDR")
            return fail(error, "no header chunk");
        if (type == "IDAT" || type == "IEND") {
            // What matters to the pixels comes before the compressed data,
            // which may be split into thousands of chunks: not walked.
            h->firstIdat = type == "IDAT" ? at : 0;
            h->idatBytes = file.size() - at;
            break;
        }
        const bool needed = type == "IHDR" || type == "PLTE" || type == "tRNS";
        if (!needed) {
            if (!file.seek(at + 12 + length))
                break;
            continue;
        }
        if (length > 1024)
            return fail(error, "damaged chunk");
        const QByteArray data = file.read(length + 4);
        if (data.size() != qsizetype(length) + 4)
            return fail(error, "the file ends inside a chunk");
        quint32 crc = crc32(0, head + 4, 4);
        crc = crc32(crc, reinterpret_cast<const Bytef*>(data.constData()), length);
        if (crc != qFromBigEndian<quint32>(data.constData() + length))
            return fail(error, "damaged chunk");
        const auto* d = reinterpret_cast<const uchar*>(data.constData());
        if (type == "IHDR") {
            if (sawHeader || length != 13)
                return fail(error, "damaged header chunk");
            sawHeader = true;
            h->width = qFromBigEndian<quint32>(d);
            h->height = qFromBigEndian<quint32>(d + 4);
            h->depth = d[8];
            h->colour = d[9];
            if (h->width == 0 || h->height == 0 || h->width > kMaxChunk || h->height > kMaxChunk ||
                !validDepth(h->colour, h->depth) || d[10] != 0 || d[11] != 0 || d[12] > 1)
                return fail(error, "unsupported PNG header");
            h->interlaced = d[12] == 1;
        } else if (type == "PLTE") {
            if (length % 3 != 0 || length / 3 > 256)
                return fail(error, "damaged palette");
            h->paletteSize = int(length / 3);
            for (int i = 0; i < h->paletteSize; ++i)
                h->palette[i] = opaque(d[3 * i], d[3 * i + 1], d[3 * i + 2]);
        } else {
            trns = data.left(length);
        }
    }
    if (!sawHeader)
        return fail(error, "no header chunk");
    if (h->firstIdat == 0)
        return fail(error, "no compressed rows");
    if (h->colour == 3 && h->paletteSize == 0)
        return fail(error, "no palette");
    h->channels = channelsOf(h->colour);
    h->filterBytes = std::max(1, h->channels * h->depth / 8);
    h->rowBytes = (qsizetype(h->width) * h->channels * h->depth + 7) / 8;
    h->alpha = h->colour == 4 || h->colour == 6;
    const auto* t = reinterpret_cast<const uchar*>(trns.constData());
    if (!trns.isEmpty()) {
        if (h->colour == 3) {
            h->alpha = true;
            for (int i = 0; i < std::min<int>(int(trns.size()), h->paletteSize); ++i)
                h->palette[i] = (h->palette[i] & 0x00ffffff) | (quint32(t[i]) << 24);
        } else if (h->colour == 0 && trns.size() >= 2) {
            h->alpha = h->hasKey = true;
            h->key[0] = quint16(be16(t));
        } else if (h->colour == 2 && trns.size() >= 6) {
            h->alpha = h->hasKey = true;
            for (int i = 0; i < 3; ++i)
                h->key[i] = quint16(be16(t + 2 * i));
        }
    }
    if (h->alpha && h->colour == 3) {
        for (int i = 0; i < 256; ++i)
            h->palette[i] = qPremultiply(h->palette[i]);
    }
    // Indices past the palette show black.
    for (int i = h->paletteSize; i < 256; ++i)
        h->palette[i] = 0xff000000u;
    return true;
}

bool unfilterRow(int filter, uchar* row, const uchar* above, qsizetype bytes, int bpp) {
    switch (filter) {
    case 0:
        return true;
    case 1:
        for (qsizetype i = bpp; i < bytes; ++i)
            row[i] = uchar(row[i] + row[i - bpp]);
        return true;
    case 2:
        for (qsizetype i = 0; i < bytes; ++i)
            row[i] = uchar(row[i] + above[i]);
        return true;
    case 3:
        for (qsizetype i = 0; i < bpp && i < bytes; ++i)
            row[i] = uchar(row[i] + (above[i] >> 1));
        for (qsizetype i = bpp; i < bytes; ++i)
            row[i] = uchar(row[i] + ((row[i - bpp] + above[i]) >> 1));
        return true;
    case 4:
        for (qsizetype i = 0; i < bpp && i < bytes; ++i)
            row[i] = uchar(row[i] + above[i]);
        for (qsizetype i = bpp; i < bytes; ++i) {
            const int a = row[i - bpp], b = above[i], c = above[i - bpp];
            const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
            const int pred = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            row[i] = uchar(row[i] + pred);
        }
        return true;
    default:
        return false;
    }
}

void pngPixels(const PngHeader& h, const uchar* row, int x0, int count, quint32* out) {
    const int end = x0 + count;
    switch (h.colour) {
    case 0:
        if (h.depth == 16) {
            for (int x = x0; x < end; ++x) {
                const uint s = be16(row + 2 * x), v = eight(s);
                *out++ = h.hasKey && s == h.key[0] ? 0u : opaque(v, v, v);
            }
        } else if (h.depth == 8) {
            for (int x = x0; x < end; ++x) {
                const uint v = row[x];
                *out++ = h.hasKey && v == h.key[0] ? 0u : opaque(v, v, v);
            }
        } else {
            const int d = h.depth, max = (1 << d) - 1, perByte = 8 / d;
            for (int x = x0; x < end; ++x) {
                const uint s = (row[x / perByte] >> (8 - d - (x % perByte) * d)) & uint(max);
                const uint v = s * 255 / uint(max);
                *out++ = h.hasKey && s == h.key[0] ? 0u : opaque(v, v, v);
            }
        }
        break;
    case 3: {
        const int d = h.depth, perByte = 8 / d, mask = (1 << d) - 1;
        for (int x = x0; x < end; ++x) {
            const uint i =
                d == 8 ? row[x] : (row[x / perByte] >> (8 - d - (x % perByte) * d)) & uint(mask);
            *out++ = h.palette[i];
        }
        break;
    }
    case 2:
        if (h.depth == 8) {
            const uchar* p = row + 3 * x0;
            for (int x = x0; x < end; ++x, p += 3) {
                const bool clear =
                    h.hasKey && p[0] == h.key[0] && p[1] == h.key[1] && p[2] == h.key[2];
                *out++ = clear ? 0u : opaque(p[0], p[1], p[2]);
            }
        } else {
            const uchar* p = row + 6 * x0;
            for (int x = x0; x < end; ++x, p += 6) {
                const uint r = be16(p), g = be16(p + 2), b = be16(p + 4);
                const bool clear = h.hasKey && r == h.key[0] && g == h.key[1] && b == h.key[2];
                *out++ = clear ? 0u : opaque(eight(r), eight(g), eight(b));
            }
        }
        break;
    case 4:
        for (int x = x0; x < end; ++x) {
            if (h.depth == 8) {
                const uchar* p = row + 2 * x;
                *out++ = withAlpha(p[0], p[0], p[0], p[1]);
            } else {
                const uchar* p = row + 4 * x;
                const uint v = eight(be16(p));
                *out++ = withAlpha(v, v, v, eight(be16(p + 2)));
            }
        }
        break;
    case 6:
        if (h.depth == 8) {
            const uchar* p = row + 4 * x0;
            for (int x = x0; x < end; ++x, p += 4)
                *out++ = withAlpha(p[0], p[1], p[2], p[3]);
        } else {
            const uchar* p = row + 8 * x0;
            for (int x = x0; x < end; ++x, p += 8)
                *out++ = withAlpha(eight(be16(p)), eight(be16(p + 2)), eight(be16(p + 4)),
                                   eight(be16(p + 6)));
        }
        break;
    default:
        break;
    }
}

std::vector<Adam7Pass> adam7Passes(const PngHeader& h) {
    // Each pass: first column, first row, column step, row step.
    static const int grid[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                   {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    std::vector<Adam7Pass> passes;
    for (const auto& s : grid) {
        const int columns = int((qint64(h.width) - s[0] + s[2] - 1) / s[2]);
        const int rows = int((qint64(h.height) - s[1] + s[3] - 1) / s[3]);
        if (columns <= 0 || rows <= 0)
            continue;
        passes.push_back({s[0], s[1], s[2], s[3], columns, rows,
                          (qsizetype(columns) * h.channels * h.depth + 7) / 8});
    }
    return passes;
}

} // namespace lumenta
