#include "picture/orientation.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace lumenta {

namespace {

constexpr quint16 kOrientationTag = 0x0112;
constexpr quint16 kShortType = 3;

struct Tiff {
    const uchar* data;
    qsizetype size;
    bool bigEndian;

    bool has(qsizetype offset, qsizetype count) const {
        return offset >= 0 && count >= 0 && offset <= size - count;
    }
    quint16 u16(qsizetype o) const {
        return bigEndian ? quint16(data[o] << 8 | data[o + 1])
                         : quint16(data[o + 1] << 8 | data[o]);
    }
    quint32 u32(qsizetype o) const {
        return bigEndian ? quint32(u16(o)) << 16 | u16(o + 2) : quint32(u16(o + 2)) << 16 | u16(o);
    }
};

} // namespace

int exifOrientation(const uchar* data, qsizetype size) {
    static const char kExif[] = {'E', 'x', 'i', 'f', 0, 0};
    if (!data || size < 6 + 8 || std::memcmp(data, kExif, 6) != 0)
        return 1;
    Tiff t{data + 6, size - 6, false};
    if (t.data[0] == 'M' && t.data[1] == 'M')
        t.bigEndian = true;
    else if (!(t.data[0] == 'I' && t.data[1] == 'I'))
        return 1;
    if (t.u16(2) != 42)
        return 1;
    const qsizetype ifd = t.u32(4);
    if (!t.has(ifd, 2))
        return 1;
    const int count = t.u16(ifd);
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = ifd + 2 + qsizetype(i) * 12;
        if (!t.has(entry, 12))
            return 1;
        if (t.u16(entry) != kOrientationTag)
            continue;
        if (t.u16(entry + 2) != kShortType || t.u32(entry + 4) < 1)
            return 1;
        const int value = t.u16(entry + 8);
        return value >= 1 && value <= 8 ? value : 1;
    }
    return 1;
}

QSize orientedSize(QSize stored, int orientation) {
    return swapsAxes(orientation) ? stored.transposed() : stored;
}

QRect storedRect(const QRect& upright, QSize stored, int orientation) {
    const int W = stored.width(), H = stored.height();
    // Where an upright pixel comes from in the stored picture.
    auto source = [&](int dx, int dy) -> QPoint {
        switch (orientation) {
        case 2:
            return {W - 1 - dx, dy};
        case 3:
            return {W - 1 - dx, H - 1 - dy};
        case 4:
            return {dx, H - 1 - dy};
        case 5:
            return {dy, dx};
        case 6:
            return {dy, H - 1 - dx};
        case 7:
            return {W - 1 - dy, H - 1 - dx};
        case 8:
            return {W - 1 - dy, dx};
        default:
            return {dx, dy};
        }
    };
    if (upright.isEmpty())
        return {};
    const QPoint a = source(upright.left(), upright.top());
    const QPoint b = source(upright.right(), upright.bottom());
    return QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                 QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
}

QRect uprightRect(const QRect& stored, QSize storedSize, int orientation) {
    // The stored picture is the upright one seen through the reverse turn.
    const int reverse = orientation == 6 ? 8 : orientation == 8 ? 6 : orientation;
    return storedRect(stored, orientedSize(storedSize, orientation), reverse);
}

#ifdef __SSE2__
// 32-bit pixels of a turned picture, four by four: four stored rows of four
// pixels are transposed in registers and written as four upright rows of
// four pixels. Aligned writes bypass the cache (the picture is far larger
// than it), which spares reading every line before it is overwritten. The
// blocks of one stored column group go down the strip before the next
// group, so that each upright row receives its pixels of the strip in one
// run: writes that bypass the cache are only cheap by whole lines.
// Returns how many stored rows (a multiple of 4) and columns it placed.
QSize placeTurnedBlocks(const quint32* src, qsizetype srcStride, int y0, int rows, QSize stored,
                        int orientation, quint32* dst, qsizetype dstStride) {
    const int W = stored.width(), H = stored.height();
    const bool mirrorRows = orientation == 7 || orientation == 8;
    const bool mirrorCols = orientation == 6 || orientation == 7;
    const int rows4 = rows & ~3, cols4 = W & ~3;
    auto put = [](quint32* p, __m128i v) {
        if ((reinterpret_cast<std::uintptr_t>(p) & 15) == 0)
            _mm_stream_si128(reinterpret_cast<__m128i*>(p), v);
        else
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
    };
    for (int x = 0; x < cols4; x += 4) {
        quint32* out[4];
        for (int j = 0; j < 4; ++j)
            out[j] = dst + qsizetype(mirrorRows ? W - 1 - (x + j) : x + j) * dstStride;
        for (int r = 0; r < rows4; r += 4) {
            const quint32* s0 = src + r * srcStride + x;
            const int col = mirrorCols ? H - 4 - (y0 + r) : y0 + r;
            const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s0));
            const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s0 + srcStride));
            const __m128i a2 =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(s0 + 2 * srcStride));
            const __m128i a3 =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(s0 + 3 * srcStride));
            const __m128i t0 = _mm_unpacklo_epi32(a0, a1), t1 = _mm_unpacklo_epi32(a2, a3);
            const __m128i t2 = _mm_unpackhi_epi32(a0, a1), t3 = _mm_unpackhi_epi32(a2, a3);
            __m128i c[4] = {_mm_unpacklo_epi64(t0, t1), _mm_unpackhi_epi64(t0, t1),
                            _mm_unpacklo_epi64(t2, t3), _mm_unpackhi_epi64(t2, t3)};
            for (int j = 0; j < 4; ++j) {
                if (mirrorCols)
                    c[j] = _mm_shuffle_epi32(c[j], _MM_SHUFFLE(0, 1, 2, 3));
                put(out[j] + col, c[j]);
            }
        }
    }
    _mm_sfence();
    return QSize(cols4, rows4);
}
#endif

template <typename Pixel>
void placeStoredRows(const Pixel* src, qsizetype srcStride, int y0, int rows, QSize stored,
                     int orientation, Pixel* dst, qsizetype dstStride) {
    const int W = stored.width(), H = stored.height();
    switch (orientation) {
    case 1:
    case 4:
        for (int r = 0; r < rows; ++r) {
            const int y = y0 + r;
            std::memcpy(dst + qsizetype(orientation == 1 ? y : H - 1 - y) * dstStride,
                        src + r * srcStride, size_t(W) * sizeof(Pixel));
        }
        break;
    case 2:
    case 3:
        for (int r = 0; r < rows; ++r) {
            const int y = y0 + r;
            const Pixel* s = src + r * srcStride;
            Pixel* d = dst + qsizetype(orientation == 2 ? y : H - 1 - y) * dstStride;
            std::reverse_copy(s, s + W, d);
        }
        break;
    default: {
        // The stored rows become columns: each stored column x lands on one
        // upright row, as `rows` neighbouring pixels, so the writes stay
        // together even though the picture turns.
        const bool mirrorRows = orientation == 7 || orientation == 8; // upright row W-1-x
        const bool mirrorCols = orientation == 6 || orientation == 7; // upright column H-1-y
        QSize done(0, 0); // stored columns and rows already placed
#ifdef __SSE2__
        if constexpr (sizeof(Pixel) == 4)
            done =
                placeTurnedBlocks(reinterpret_cast<const quint32*>(src), srcStride, y0, rows,
                                  stored, orientation, reinterpret_cast<quint32*>(dst), dstStride);
#endif
        // What is left: whole columns beyond the blocks, and the last rows
        // of every column.
        for (int x = 0; x < W; ++x) {
            Pixel* d = dst + qsizetype(mirrorRows ? W - 1 - x : x) * dstStride;
            const Pixel* s = src + x;
            const int first = x < done.width() ? done.height() : 0;
            if (mirrorCols) {
                d += H - 1 - y0;
                for (int r = first; r < rows; ++r)
                    d[-r] = s[r * srcStride];
            } else {
                d += y0;
                for (int r = first; r < rows; ++r)
                    d[r] = s[r * srcStride];
            }
        }
        break;
    }
    }
}

QImage orientedImage(const QImage& picture, int orientation) {
    if (orientation < 2 || orientation > 8 || picture.isNull())
        return picture;
    QImage stored = picture;
    if (stored.depth() != 32)
        stored.convertTo(stored.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                  : QImage::Format_RGB32);
    QImage out(orientedSize(stored.size(), orientation), stored.format());
    if (out.isNull())
        return out;
    placeStoredRows(reinterpret_cast<const quint32*>(stored.constBits()), stored.bytesPerLine() / 4,
                    0, stored.height(), stored.size(), orientation,
                    reinterpret_cast<quint32*>(out.bits()), out.bytesPerLine() / 4);
    return out;
}

template void placeStoredRows<quint32>(const quint32*, qsizetype, int, int, QSize, int, quint32*,
                                       qsizetype);
template void placeStoredRows<quint8>(const quint8*, qsizetype, int, int, QSize, int, quint8*,
                                      qsizetype);

} // namespace lumenta
