#include "picture/tiledpicture.h"

#include "picture/colourtransform.h"
#include "picture/orientation.h"
#include "picture/pictureloader.h"
#include "picture/streamreducer.h"

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
        [this, &ready, orientation](int index, const QImage& part) {
            ready(index, convertColours(orientedImage(part, orientation), m_source, m_target));
        },
        progress, error);
}

QImage TiledPicture::decodeReduced(QSize size, bool fast, LoadProgress* progress,
                                   QString* error) const {
    const QSize stored = orientedSize(size.boundedTo(m_natural), m_orientation);
    return convertColours(
        orientedImage(m_decoder->decodeReduced(stored, fast, progress, error), m_orientation),
        m_source, m_target);
}

namespace {

// A load that also stops when the reader of the bands says so.
class Stoppable : public LoadProgress {
public:
    explicit Stoppable(LoadProgress* outer) : m_outer(outer) {}
    bool isCancelled() const override { return m_stopped || (m_outer && m_outer->isCancelled()); }
    void giveWay() override {
        if (m_outer)
            m_outer->giveWay();
    }
    void stop() { m_stopped = true; }
    bool stopped() const { return m_stopped; }

private:
    LoadProgress* m_outer;
    bool m_stopped = false;
};

} // namespace

bool TiledPicture::readBands(const QRect& region, int bandRows, const BandReady& band,
                             LoadProgress* progress, QString* error, qint64 maxBytes) const {
    const QRect part = region & QRect(QPoint(), m_natural);
    if (part.isEmpty() || bandRows < 1)
        return false;
    QList<QRect> bands;
    for (int y = part.top(); y <= part.bottom(); y += bandRows)
        bands.append(QRect(part.x(), y, part.width(), std::min(bandRows, part.bottom() - y + 1)));
    Stoppable stoppable(progress);
    const auto give = [&](const QRect& r, const QImage& image) {
        if (!stoppable.stopped() && !band(r.y(), image))
            stoppable.stop();
    };
    if (!swapsAxes(m_orientation)) {
        const bool ok = decode(
            bands, [&](int i, const QImage& image) { give(bands[i], image); }, &stoppable, error);
        if (stoppable.stopped())
            error->clear();
        return ok && !stoppable.stopped();
    }
    // Turned: each band is a strip of stored columns, complete only at the
    // end of a pass; as many as fit the memory per pass.
    const qint64 perBand = qint64(part.width()) * bandRows * 4;
    const int perPass = int(std::max<qint64>(1, maxBytes / std::max<qint64>(1, perBand)));
    for (qsizetype first = 0; first < bands.size(); first += perPass) {
        const QList<QRect> group = bands.mid(first, perPass);
        std::vector<QImage> got(size_t(group.size()));
        if (!decode(
                group, [&](int i, const QImage& image) { got[size_t(i)] = image; }, &stoppable,
                error))
            return false;
        for (qsizetype i = 0; i < group.size(); ++i) {
            give(group[i], got[size_t(i)]);
            got[size_t(i)] = QImage();
        }
        if (stoppable.stopped()) {
            error->clear();
            return false;
        }
    }
    return true;
}

QImage TiledPicture::decodeReduced(const QRect& region, QSize size, LoadProgress* progress,
                                   QString* error) const {
    const QRect part = region & QRect(QPoint(), m_natural);
    StreamReducer reducer(part.size(), size, true);
    if (!reducer.isValid()) {
        *error = QStringLiteral("out of memory");
        return QImage();
    }
    // Bands of whole blocks: they may come in any order.
    const int k = reducer.factor();
    const int rows = k * ((63 + k) / k);
    const bool ok = readBands(
        part, rows,
        [&](int y, const QImage& band) {
            // RGB32 pixels are opaque premultiplied ones.
            const bool direct = band.format() == QImage::Format_ARGB32_Premultiplied ||
                                band.format() == QImage::Format_RGB32;
            const QImage pixels =
                direct ? band : band.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            reducer.addRowsAt(y - part.y(), reinterpret_cast<const quint32*>(pixels.constBits()),
                              pixels.bytesPerLine() / 4, pixels.height());
            return true;
        },
        progress, error);
    return ok ? convertColours(reducer.result(), m_source, m_target) : QImage();
}

} // namespace lumenta
