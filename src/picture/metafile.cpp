// Recognising WMF and EMF files and reading their natural size from the
// headers. Every read is bounds-checked: these bytes come from any file.
#include "picture/metafile.h"

#include <QtEndian>
#include <cmath>

namespace lumenta {

namespace {

constexpr quint32 kPlaceableMagic = 0x9AC6CDD7;
constexpr quint32 kEmfSignature = 0x464D4520; // " EMF"
constexpr int kPlaceableHeaderSize = 22;
constexpr int kWmfHeaderSize = 18;
constexpr quint16 kMetaSetWindowExt = 0x020C;
constexpr double kScreenDpi = 96.0;
constexpr double kHundredthsMmPerInch = 2540.0;

bool has(const QByteArray& b, qsizetype offset, qsizetype count) {
    return offset >= 0 && count >= 0 && offset <= b.size() - count;
}

quint16 u16(const QByteArray& b, qsizetype offset) {
    return qFromLittleEndian<quint16>(b.constData() + offset);
}

qint16 s16(const QByteArray& b, qsizetype offset) {
    return qFromLittleEndian<qint16>(b.constData() + offset);
}

quint32 u32(const QByteArray& b, qsizetype offset) {
    return qFromLittleEndian<quint32>(b.constData() + offset);
}

qint32 s32(const QByteArray& b, qsizetype offset) {
    return qFromLittleEndian<qint32>(b.constData() + offset);
}

bool isPlainWmfHeader(const QByteArray& b, qsizetype offset) {
    if (!has(b, offset, 6))
        return false;
    const quint16 type = u16(b, offset);
    const quint16 headerWords = u16(b, offset + 2);
    const quint16 version = u16(b, offset + 4);
    return (type == 1 || type == 2) && headerWords == 9 && (version == 0x0300 || version == 0x0100);
}

// A length in some unit turned into pixels; 0 when the length is not usable.
int toPixels(double length, double unitsPerInch) {
    if (!(length > 0) || !(unitsPerInch > 0))
        return 0;
    const double px = std::round(length * kScreenDpi / unitsPerInch);
    if (px > kMetafileMaxNaturalSide)
        return 0;
    return qMax(1, int(px));
}

QSize sizeOrInvalid(int w, int h) {
    return (w > 0 && h > 0) ? QSize(w, h) : QSize();
}

QSize placeableWmfSize(const QByteArray& b) {
    if (!has(b, 0, kPlaceableHeaderSize))
        return {};
    const int left = s16(b, 6), top = s16(b, 8), right = s16(b, 10), bottom = s16(b, 12);
    const quint16 unitsPerInch = u16(b, 14);
    if (unitsPerInch == 0)
        return {};
    return sizeOrInvalid(toPixels(right - left, unitsPerInch),
                         toPixels(bottom - top, unitsPerInch));
}

// A plain WMF has no physical size: its first window extent counts as
// pixels. A negative extent only flips an axis.
QSize plainWmfSize(const QByteArray& b) {
    if (!isPlainWmfHeader(b, 0) || !has(b, 0, kWmfHeaderSize))
        return {};
    qsizetype pos = qsizetype(u16(b, 2)) * 2;
    while (has(b, pos, 6)) {
        const quint32 words = u32(b, pos);
        const quint16 function = u16(b, pos + 4);
        if (words < 3 || function == 0)
            break;
        if (function == kMetaSetWindowExt) {
            if (words < 5 || !has(b, pos + 6, 4))
                return {};
            const int height = std::abs(int(s16(b, pos + 6)));
            const int width = std::abs(int(s16(b, pos + 8)));
            return sizeOrInvalid(toPixels(width, kScreenDpi), toPixels(height, kScreenDpi));
        }
        if (qsizetype(words) * 2 > b.size() - pos)
            break;
        pos += qsizetype(words) * 2;
    }
    return {};
}

QSize emfSize(const QByteArray& b) {
    if (!has(b, 0, 40))
        return {};
    const qint64 left = s32(b, 24), top = s32(b, 28), right = s32(b, 32), bottom = s32(b, 36);
    return sizeOrInvalid(toPixels(double(right - left), kHundredthsMmPerInch),
                         toPixels(double(bottom - top), kHundredthsMmPerInch));
}

} // namespace

MetafileKind detectMetafile(const QByteArray& head) {
    if (has(head, 0, 4) && u32(head, 0) == kPlaceableMagic)
        return MetafileKind::Wmf;
    if (has(head, 0, 44) && u32(head, 0) == 1 && u32(head, 40) == kEmfSignature)
        return MetafileKind::Emf;
    if (isPlainWmfHeader(head, 0))
        return MetafileKind::Wmf;
    return MetafileKind::None;
}

QSize metafileNaturalSize(const QByteArray& bytes, MetafileKind kind) {
    switch (kind) {
    case MetafileKind::Wmf:
        if (has(bytes, 0, 4) && u32(bytes, 0) == kPlaceableMagic)
            return placeableWmfSize(bytes);
        return plainWmfSize(bytes);
    case MetafileKind::Emf:
        return emfSize(bytes);
    case MetafileKind::None:
        break;
    }
    return {};
}

QSize metafileRenderSize(const QSize& natural) {
    if (!natural.isValid() || natural.isEmpty())
        return {};
    const int longest = qMax(natural.width(), natural.height());
    if (longest <= kMetafileMaxSide)
        return natural;
    const double scale = double(kMetafileMaxSide) / longest;
    return QSize(qBound(1, int(std::lround(natural.width() * scale)), kMetafileMaxSide),
                 qBound(1, int(std::lround(natural.height() * scale)), kMetafileMaxSide));
}

} // namespace lumenta
