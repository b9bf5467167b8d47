#include "wmfprepare.h"

#include <QList>
#include <QtEndian>

namespace lumenta {

namespace {

constexpr quint32 kPlaceableMagic = 0x9AC6CDD7;
constexpr int kPlaceableHeaderSize = 22;
constexpr int kHeaderSize = 18;
constexpr quint16 kMetaPolyPolygon = 0x0538;
constexpr quint16 kMetaSetMapMode = 0x0103;
constexpr quint16 kMetaSetWindowExt = 0x020C;
constexpr quint16 kMmIsotropic = 7, kMmAnisotropic = 8;

quint16 u16(const QByteArray& b, qsizetype offset) {
    return qFromLittleEndian<quint16>(b.constData() + offset);
}

quint32 u32(const QByteArray& b, qsizetype offset) {
    return qFromLittleEndian<quint32>(b.constData() + offset);
}

void putU16(QByteArray& b, qsizetype offset, quint16 value) {
    qToLittleEndian<quint16>(value, b.data() + offset);
}

void putU32(QByteArray& b, qsizetype offset, quint32 value) {
    qToLittleEndian<quint32>(value, b.data() + offset);
}

// The record without its polygons of fewer than three points (empty when
// none is left); the record itself when it is fine or malformed.
QByteArray withoutDegeneratePolygons(const QByteArray& rec, int* dropped) {
    if (rec.size() < 8)
        return rec;
    const int count = u16(rec, 6);
    const qsizetype countsAt = 8, pointsAt = countsAt + qsizetype(count) * 2;
    if (pointsAt > rec.size())
        return rec;
    QList<int> sizes;
    qint64 points = 0;
    bool degenerate = false;
    for (int i = 0; i < count; ++i) {
        sizes.append(u16(rec, countsAt + i * 2));
        points += sizes.last();
        degenerate = degenerate || sizes.last() < 3;
    }
    if (!degenerate || pointsAt + points * 4 > rec.size())
        return rec;
    QByteArray kept, keptCounts;
    int keptCount = 0;
    qsizetype at = pointsAt;
    for (int size : sizes) {
        if (size >= 3) {
            QByteArray c(2, '\0');
            putU16(c, 0, quint16(size));
            keptCounts += c;
            kept += rec.mid(at, qsizetype(size) * 4);
            ++keptCount;
        } else {
            ++*dropped;
        }
        at += qsizetype(size) * 4;
    }
    if (keptCount == 0)
        return {};
    QByteArray out(8, '\0');
    putU16(out, 4, kMetaPolyPolygon);
    putU16(out, 6, quint16(keptCount));
    out += keptCounts + kept;
    putU32(out, 0, quint32(out.size() / 2));
    return out;
}

} // namespace

PreparedWmf prepareWmfForLibwmf(const QByteArray& wmf) {
    PreparedWmf out;
    out.data = wmf;
    qsizetype start = 0;
    if (wmf.size() >= 4 && u32(wmf, 0) == kPlaceableMagic)
        start = kPlaceableHeaderSize;
    if (wmf.size() < start + kHeaderSize)
        return out;
    const qsizetype headerBytes = qsizetype(u16(wmf, start + 2)) * 2;
    if (headerBytes < kHeaderSize || start + headerBytes > wmf.size())
        return out;

    QByteArray result = wmf.left(start + headerBytes);
    quint32 largest = 0;
    QByteArray windowExt; // the last META_SETWINDOWEXT record
    qsizetype pos = start + headerBytes;
    while (pos + 6 <= wmf.size()) {
        const quint32 words = u32(wmf, pos);
        if (words < 3 || qint64(words) * 2 > wmf.size() - pos)
            break;
        QByteArray rec = wmf.mid(pos, qsizetype(words) * 2);
        pos += rec.size();
        const quint16 function = u16(rec, 4);
        if (function == kMetaPolyPolygon)
            rec = withoutDegeneratePolygons(rec, &out.polygonsDropped);
        largest = qMax(largest, quint32(rec.size() / 2));
        result += rec;
        if (function == 0)
            break; // the end-of-file record
        if (function == kMetaSetWindowExt && rec.size() >= 10)
            windowExt = rec;
        if (function == kMetaSetMapMode && rec.size() >= 8 && !windowExt.isEmpty()) {
            const quint16 mode = u16(rec, 6);
            if (mode == kMmIsotropic || mode == kMmAnisotropic) {
                result += windowExt;
                ++out.extentsRepeated;
            }
        }
    }
    if (out.polygonsDropped == 0 && out.extentsRepeated == 0)
        return out;
    result += wmf.mid(pos);
    putU32(result, start + 6, quint32((result.size() - start) / 2));
    putU32(result, start + 12, largest);
    out.data = result;
    return out;
}

} // namespace lumenta
