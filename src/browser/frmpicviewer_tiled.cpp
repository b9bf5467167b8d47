// Pictures too large to be decoded whole in the viewing area: shown from
// tiles at their own size, or scaled for the reductions of the resize
// list; fitted into the viewport (and reduced to a few thousand pixels)
// from a reduced picture the picture service makes; the magnifying glass
// reads the tiles under it. Nothing here holds the whole picture.
#include "browser/frmpicviewer.h"
#include "browser/largepictureview.h"
#include "picture/pictureservice.h"
#include "picture/tilefeed.h"
#include "widgets/picturewidgets.h"

#include <QPainter>
#include <QScrollBar>

namespace lumenta {

namespace {

// The service slots of the viewing area's requests beside the picture's.
constexpr quint64 kOverviewSlot = 1;
constexpr quint64 kReducedSlot = 2;

} // namespace

void FrmPicViewer::showTiled(const QString& path, const Picture& picture) {
    if (!m_viewFeed) {
        m_viewFeed = new TileFeed(m_ctx.pictures(), this);
        m_glassFeed = new TileFeed(m_ctx.pictures(), this);
        connect(m_glassFeed, &TileFeed::tilesArrived, this, [this] {
            if (MagnifierOn && largeViewShown()) {
                FillGlass();
                PlaceGlass();
            }
        });
    }
    m_tiled = picture;
    m_viewFeed->setPicture(path, picture);
    m_glassFeed->setPicture(path, picture);
    const quint64 generation = m_viewGeneration;
    m_overviewTicket = m_ctx.pictures().request(
        this, overviewRequest(path, kOverviewSlot), [this, generation](const PictureResult& r) {
            m_overviewTicket = 0;
            if (generation != m_viewGeneration || !r.ok() || !shownTiled())
                return;
            m_viewFeed->setOverview(r.picture.image);
            m_glassFeed->setOverview(r.picture.image);
            picViewX->update();
            picViewLarge->update();
        });
    setShownTiled(1.0);
}

void FrmPicViewer::setShownTiled(double scale) {
    HsbView->setValue(0);
    VsbView->setValue(0);
    m_ctx.pictures().cancel(m_reducedTicket);
    m_reducedTicket = 0;
    picViewX->setFeed(m_viewFeed, scale);
    picViewX->move(0, 0);
    const QSize shown = picViewX->size();
    HsbView->setRange(0, view::scrollRange(shown.width(), picViewZ->width()));
    VsbView->setRange(0, view::scrollRange(shown.height(), picViewZ->height()));
    HsbView->setPageStep(picViewZ->width());
    VsbView->setPageStep(picViewZ->height());
}

void FrmPicViewer::showTiledAt(QSize size, int resizeIndex) {
    if (size == ownSize()) {
        setShownTiled(1.0);
        ResizeIndex = resizeIndex;
        return;
    }
    if (size.width() > kOverviewBox.width() || size.height() > kOverviewBox.height()) {
        // Still large: the tiles, drawn reduced.
        setShownTiled(double(size.width()) / PicWidth);
        ResizeIndex = resizeIndex;
        return;
    }
    const quint64 generation = m_viewGeneration;
    setCursor(Qt::BusyCursor);
    m_reducedTicket =
        m_ctx.pictures().request(this, PictureRequest::fitted(ShownPicPath, size, kReducedSlot),
                                 [this, generation, size, resizeIndex](const PictureResult& r) {
                                     m_reducedTicket = 0;
                                     updateBusyCursor();
                                     if (generation != m_viewGeneration || !r.ok())
                                         return;
                                     QImage image = r.picture.image;
                                     if (image.size() != size)
                                         image = scaledSmooth(image, size);
                                     setShownPicture(image);
                                     ResizeIndex = resizeIndex;
                                 });
}

void FrmPicViewer::dropTiled() {
    m_ctx.pictures().cancel(m_overviewTicket);
    m_ctx.pictures().cancel(m_reducedTicket);
    m_overviewTicket = m_reducedTicket = 0;
    m_tiled = Picture();
    if (m_viewFeed) {
        m_viewFeed->setPicture(QString(), Picture());
        m_glassFeed->setPicture(QString(), Picture());
    }
}

QImage FrmPicViewer::glassSource(const QRectF& source) {
    // The tiles under the glass are asked for; until they come, the
    // overview stands in.
    const QRect natural = source.toAlignedRect() & QRect(QPoint(), ownSize());
    m_glassFeed->setViewport(natural);
    QImage out(natural.size(), QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter p(&out);
    m_glassFeed->paint(p, QRectF(QPointF(0, 0), QSizeF(natural.size())), natural);
    return out;
}

} // namespace lumenta
