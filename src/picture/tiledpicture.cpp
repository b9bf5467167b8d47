#include "picture/tiledpicture.h"

#include "picture/orientation.h"

#include <algorithm>

namespace lumenta {

TiledPicture::TiledPicture(QString format, QSize stored, int orientation, QSize tileSize,
                           std::unique_ptr<PartDecoder> decoder)
    : m_format(std::move(format)), m_stored(stored), m_orientation(orientation),
      m_natural(orientedSize(stored, orientation)),
      m_tile(QSize(std::max(1, tileSize.width()), std::max(1, tileSize.height()))),
      m_decoder(std::move(decoder)) {}

QSize TiledPicture::gridSize() const {
    return QSize((m_natural.width() + m_tile.width() - 1) / m_tile.width(),
                 (m_natural.height() + m_tile.height() - 1) / m_tile.height());
}

QRect TiledPicture::tileRect(QPoint cell) const {
    const QRect r(QPoint(cell.x() * m_tile.width(), cell.y() * m_tile.height()), m_tile);
    return r & QRect(QPoint(), m_natural);
}

QRect TiledPicture::cellsCovering(const QRect& natural) const {
    const QRect r = natural & QRect(QPoint(), m_natural);
    if (r.isEmpty())
        return {};
    const int x0 = r.left() / m_tile.width(), y0 = r.top() / m_tile.height();
    const int x1 = r.right() / m_tile.width(), y1 = r.bottom() / m_tile.height();
    return QRect(QPoint(x0, y0), QPoint(x1, y1));
}

bool TiledPicture::decode(const QList<QRect>& parts, const PartReady& ready, LoadProgress* progress,
                          QString* error) const {
    QList<QRect> stored;
    stored.reserve(parts.size());
    for (const QRect& part : parts)
        stored.append(storedRect(part & QRect(QPoint(), m_natural), m_stored, m_orientation));
    const int orientation = m_orientation;
    return m_decoder->decodeParts(
        stored,
        [&ready, orientation](int index, const QImage& part) {
            ready(index, orientedImage(part, orientation));
        },
        progress, error);
}

QImage TiledPicture::decodeReduced(QSize size, bool fast, LoadProgress* progress,
                                   QString* error) const {
    const QSize stored = orientedSize(size.boundedTo(m_natural), m_orientation);
    return orientedImage(m_decoder->decodeReduced(stored, fast, progress, error), m_orientation);
}

} // namespace lumenta
