#pragma once
// Writes small WMF files record by record for the metafile tests. Coordinates
// are logical units; the window is set up as MM_ANISOTROPIC over the given
// extent, so with a placeable header of the same box at 96 units per inch
// one unit is one pixel.
#include <QByteArray>
#include <QList>
#include <QRect>
#include <QRgb>
#include <QtEndian>

namespace testutil {

class WmfBuilder {
public:
    WmfBuilder(int width, int height) : width_(width), height_(height) {
        record(0x020B, {0, 0});                          // SETWINDOWORG y, x
        record(0x020C, {qint16(height), qint16(width)}); // SETWINDOWEXT y, x
        record(0x0103, {8});                             // SETMAPMODE MM_ANISOTROPIC
        record(0x0102, {1});                             // SETBKMODE TRANSPARENT
    }

    void record(quint16 function, const QList<qint16>& params, const QByteArray& tail = {}) {
        QByteArray payload;
        for (qint16 p : params)
            payload += le16(quint16(p));
        payload += tail;
        if (payload.size() % 2)
            payload += '\0';
        raw(function, payload);
    }

    void raw(quint16 function, const QByteArray& payload) {
        const quint32 words = 3 + quint32(payload.size() / 2);
        QByteArray rec = le32(words) + le16(function) + payload;
        body_ += rec;
        maxWords_ = qMax(maxWords_, words);
    }

    // Objects: each create takes the lowest free slot, as GDI does.
    void pen(int style, int width, QRgb color) {
        record(0x02FA, {qint16(style), qint16(width), 0}, colorRef(color));
    }
    void brush(int style, QRgb color, int hatch = 0) {
        record(0x02FC, {qint16(style)}, colorRef(color) + le16(quint16(hatch)));
    }
    void font(int height, int escapement, int weight, const QByteArray& face) {
        QByteArray tail;
        for (qint16 v :
             {qint16(-height), qint16(0), qint16(escapement), qint16(escapement), qint16(weight)})
            tail += le16(quint16(v));
        tail += QByteArray(8, '\0'); // italic .. pitch and family
        tail += face + '\0';
        raw(0x02FB, tail.size() % 2 ? tail + '\0' : tail);
    }
    void select(int slot) { record(0x012D, {qint16(slot)}); }
    void textColor(QRgb color) { record(0x0209, {}, colorRef(color)); }
    void textAlign(int align) { record(0x012E, {qint16(align)}); }

    void rectangle(const QRect& r) {
        record(0x041B,
               {qint16(r.bottom() + 1), qint16(r.right() + 1), qint16(r.top()), qint16(r.left())});
    }
    void ellipse(const QRect& r) {
        record(0x0418,
               {qint16(r.bottom() + 1), qint16(r.right() + 1), qint16(r.top()), qint16(r.left())});
    }
    // Pie (0x081A) or chord (0x0830) in the box, counterclockwise from the
    // radial through `from` to the radial through `to`.
    void arcShape(quint16 function, const QRect& r, QPoint from, QPoint to) {
        record(function,
               {qint16(to.y()), qint16(to.x()), qint16(from.y()), qint16(from.x()),
                qint16(r.bottom() + 1), qint16(r.right() + 1), qint16(r.top()), qint16(r.left())});
    }
    void polyPolygon(const QList<QList<QPoint>>& rings) {
        QByteArray tail = le16(quint16(rings.size()));
        for (const auto& ring : rings)
            tail += le16(quint16(ring.size()));
        for (const auto& ring : rings)
            for (QPoint p : ring)
                tail += le16(quint16(p.x())) + le16(quint16(p.y()));
        raw(0x0538, tail);
    }
    void textOut(QPoint at, const QByteArray& text) {
        QByteArray tail = le16(quint16(text.size())) + text;
        if (tail.size() % 2)
            tail += '\0';
        tail += le16(quint16(at.y())) + le16(quint16(at.x()));
        raw(0x0521, tail);
    }

    // A placeable file over the whole window at `inch` units per inch, or a
    // plain one.
    QByteArray build(bool placeable = true, int inch = 96) const {
        const QByteArray records = body_ + le32(3) + le16(0);
        const quint32 words = 9 + quint32(records.size() / 2);
        QByteArray header = le16(1) + le16(9) + le16(0x0300) + le32(words) + le16(16) +
                            le32(qMax<quint32>(maxWords_, 3)) + le16(0);
        QByteArray out = header + records;
        if (!placeable)
            return out;
        QByteArray p = le32(0x9AC6CDD7) + le16(0) + le16(0) + le16(0) + le16(quint16(width_)) +
                       le16(quint16(height_)) + le16(quint16(inch)) + le32(0);
        quint16 sum = 0;
        for (int i = 0; i < 20; i += 2)
            sum ^= qFromLittleEndian<quint16>(p.constData() + i);
        return p + le16(sum) + out;
    }

    static QByteArray le16(quint16 v) {
        QByteArray b(2, '\0');
        qToLittleEndian(v, b.data());
        return b;
    }
    static QByteArray le32(quint32 v) {
        QByteArray b(4, '\0');
        qToLittleEndian(v, b.data());
        return b;
    }
    static QByteArray colorRef(QRgb c) {
        return QByteArray() + char(qRed(c)) + char(qGreen(c)) + char(qBlue(c)) + '\0';
    }

private:
    int width_, height_;
    QByteArray body_;
    quint32 maxWords_ = 0;
};

} // namespace testutil
