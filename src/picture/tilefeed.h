#pragma once
// What one view of a tiled picture holds: the tiles of the part in view and
// of a margin around it, asked for as the view moves (those in view first)
// and let go when they are far from it, and the picture's overview, drawn
// enlarged wherever a tile has not come yet. For the GUI thread: painting
// draws only what is here and never waits.
#include "picture/pictureservice.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QRect>

class QPainter;

namespace lumenta {

class TileFeed : public QObject {
    Q_OBJECT
public:
    explicit TileFeed(PictureService& service, QObject* parent = nullptr, quint64 slot = 0);
    ~TileFeed() override;

    // The picture of `path` to show (a Full result with Picture::tiled), or
    // nothing (a null picture). Tiles and overview of another picture go.
    void setPicture(const QString& path, const Picture& picture);
    const Picture& picture() const { return m_picture; }
    const QString& path() const { return m_path; }
    bool isNull() const { return !m_picture.isTiled(); }
    QSize naturalSize() const { return m_picture.naturalSize; }

    // A reduced picture of the whole, drawn where tiles are missing.
    void setOverview(const QImage& overview);
    const QImage& overview() const { return m_overview; }

    // The part of the picture in view (natural pixels): its tiles are asked
    // for, then those of a margin around it; tiles far from it go.
    void setViewport(const QRect& natural);
    QRect viewport() const { return m_viewport; }

    // Whether every tile touching `natural` is here (or cannot be decoded).
    bool covers(const QRect& natural) const;
    // Draws the part `source` of the picture (natural pixels) into `target`
    // (the same size, or scaled).
    void paint(QPainter& painter, const QRectF& target, const QRect& source) const;
    // The natural-size pixels of a part, from the tiles where they are here
    // and from the enlarged overview elsewhere.
    QImage pixels(const QRect& natural) const;

    int heldTiles() const { return int(m_tiles.size()); }
    qint64 heldBytes() const;

    // The margin asked for around the view: this share of the view's size
    // on each side, at least one tile.
    static constexpr double kMargin = 0.5;
    // Tiles further than this many margins from the view are let go.
    static constexpr int kKeepMargins = 2;

Q_SIGNALS:
    // Tiles arrived that cover `natural` (natural pixels).
    void tilesArrived(const QRect& natural);

private:
    void tileArrived(QPoint cell, const QImage& tile);
    QRect withMargin(const QRect& view, int margins) const;

    PictureService& m_service;
    quint64 m_slot;
    QString m_path;
    Picture m_picture;
    QImage m_overview;
    QRect m_viewport;
    QRect m_asked;                 // cells asked for last
    QHash<QPoint, QImage> m_tiles; // null: cannot be decoded
};

} // namespace lumenta
