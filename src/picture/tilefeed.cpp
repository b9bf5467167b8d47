#include "picture/tilefeed.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace lumenta {

TileFeed::TileFeed(PictureService& service, QObject* parent, quint64 slot)
    : QObject(parent), m_service(service), m_slot(slot) {}

TileFeed::~TileFeed() {
    m_service.cancelTiles(this, m_slot);
}

void TileFeed::setPicture(const QString& path, const Picture& picture) {
    if (picture.isTiled() && picture.tiled == m_picture.tiled && path == m_path)
        return;
    m_service.cancelTiles(this, m_slot);
    m_path = path;
    m_picture = picture.isTiled() ? picture : Picture();
    m_overview = QImage();
    m_tiles.clear();
    m_asked = QRect();
    m_viewport = QRect();
}

void TileFeed::setOverview(const QImage& overview) {
    m_overview = overview;
}

qint64 TileFeed::heldBytes() const {
    qint64 bytes = 0;
    for (const QImage& tile : m_tiles)
        bytes += tile.sizeInBytes();
    return bytes;
}

QRect TileFeed::withMargin(const QRect& view, int margins) const {
    const QSize tile = m_picture.tiled->tileSize();
    const int dx = margins * std::max(tile.width(), int(view.width() * kMargin));
    const int dy = margins * std::max(tile.height(), int(view.height() * kMargin));
    return view.adjusted(-dx, -dy, dx, dy) & QRect(QPoint(), m_picture.naturalSize);
}

void TileFeed::setViewport(const QRect& natural) {
    if (isNull())
        return;
    const TiledPicture& t = *m_picture.tiled;
    m_viewport = natural & QRect(QPoint(), m_picture.naturalSize);
    if (m_viewport.isEmpty())
        return;
    // Tiles far from the view go.
    const QRect keep = t.cellsCovering(withMargin(m_viewport, kKeepMargins));
    for (auto it = m_tiles.begin(); it != m_tiles.end();) {
        if (keep.contains(it.key()))
            ++it;
        else
            it = m_tiles.erase(it);
    }
    const QRect inView = t.cellsCovering(m_viewport);
    const QRect around = t.cellsCovering(withMargin(m_viewport, 1));
    if (around == m_asked)
        return;
    m_asked = around;
    // In view first, from the view's centre out; then the margin likewise.
    const QPointF centre = QRectF(inView).center();
    QList<QPoint> visible, margin;
    for (int y = around.top(); y <= around.bottom(); ++y) {
        for (int x = around.left(); x <= around.right(); ++x) {
            const QPoint cell(x, y);
            if (m_tiles.contains(cell))
                continue;
            (inView.contains(cell) ? visible : margin).append(cell);
        }
    }
    const auto byDistance = [centre](QPoint a, QPoint b) {
        return std::hypot(a.x() - centre.x(), a.y() - centre.y()) <
               std::hypot(b.x() - centre.x(), b.y() - centre.y());
    };
    std::sort(visible.begin(), visible.end(), byDistance);
    std::sort(margin.begin(), margin.end(), byDistance);
    const int urgent = int(visible.size());
    m_service.requestTiles(
        this, m_path, m_picture, visible + margin, urgent,
        [this, tiled = m_picture.tiled](QPoint cell, const QImage& tile) {
            if (tiled == m_picture.tiled)
                tileArrived(cell, tile);
        },
        m_slot);
}

void TileFeed::tileArrived(QPoint cell, const QImage& tile) {
    const TiledPicture& t = *m_picture.tiled;
    // Only what is still near the view is kept.
    if (!t.cellsCovering(withMargin(m_viewport, kKeepMargins)).contains(cell))
        return;
    m_tiles.insert(cell, tile);
    Q_EMIT tilesArrived(t.tileRect(cell));
}

bool TileFeed::covers(const QRect& natural) const {
    if (isNull())
        return false;
    const QRect cells = m_picture.tiled->cellsCovering(natural);
    for (int y = cells.top(); y <= cells.bottom(); ++y) {
        for (int x = cells.left(); x <= cells.right(); ++x) {
            if (!m_tiles.contains(QPoint(x, y)))
                return false;
        }
    }
    return true;
}

void TileFeed::paint(QPainter& painter, const QRectF& target, const QRect& source) const {
    if (isNull() || source.isEmpty())
        return;
    const TiledPicture& t = *m_picture.tiled;
    const double sx = target.width() / source.width(), sy = target.height() / source.height();
    const auto map = [&](const QRectF& r) {
        return QRectF(target.x() + (r.x() - source.x()) * sx,
                      target.y() + (r.y() - source.y()) * sy, r.width() * sx, r.height() * sy);
    };
    const bool scaled = sx != 1.0 || sy != 1.0;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    if (!covers(source) && !m_overview.isNull()) {
        // The overview, enlarged, under the tiles that are here.
        const double ox = double(m_overview.width()) / m_picture.naturalSize.width();
        const double oy = double(m_overview.height()) / m_picture.naturalSize.height();
        const QRectF from(source.x() * ox, source.y() * oy, source.width() * ox,
                          source.height() * oy);
        painter.drawImage(target, m_overview, from);
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, scaled);
    const QRect cells = t.cellsCovering(source);
    for (int y = cells.top(); y <= cells.bottom(); ++y) {
        for (int x = cells.left(); x <= cells.right(); ++x) {
            const QImage tile = m_tiles.value(QPoint(x, y));
            if (tile.isNull())
                continue;
            const QRect rect = t.tileRect(QPoint(x, y));
            const QRect part = rect & source;
            if (scaled)
                painter.drawImage(map(part), tile, QRectF(part.translated(-rect.topLeft())));
            else
                painter.drawImage(map(part).topLeft(), tile, part.translated(-rect.topLeft()));
        }
    }
    painter.restore();
}

QImage TileFeed::pixels(const QRect& natural) const {
    QImage out(natural.size(), QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return out;
    out.fill(Qt::transparent);
    QPainter p(&out);
    paint(p, QRectF(QPointF(0, 0), QSizeF(natural.size())), natural);
    return out;
}

} // namespace lumenta
