#include "browser/largepictureview.h"

#include "picture/tilefeed.h"
#include "widgets/devicepixels.h"

#include <QMouseEvent>
#include <QPainter>

namespace lumenta {

LargePictureView::LargePictureView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LargePictureView::setPicture(const QImage& picture) {
    setFeed(nullptr, 1.0);
    m_picture = picture;
    resize(logicalSize(picture.size(), deviceRatio(this)));
    update();
}

void LargePictureView::setFeed(TileFeed* feed, double scale) {
    disconnect(m_arrivals);
    m_feed = feed && !feed->isNull() ? feed : nullptr;
    m_scale = scale > 0 ? scale : 1.0;
    if (m_feed) {
        m_picture = QImage();
        m_arrivals = connect(m_feed, &TileFeed::tilesArrived, this, [this](const QRect& r) {
            const double s = logicalScale();
            update(QRectF(r.x() * s, r.y() * s, r.width() * s, r.height() * s).toAlignedRect());
        });
        resize(logicalSize(shownPixels(), deviceRatio(this)));
        updateViewport();
    }
    update();
}

QSize LargePictureView::shownPixels() const {
    if (!m_feed)
        return m_picture.size();
    const QSize natural = m_feed->naturalSize();
    return QSize(qMax(1, qRound(natural.width() * m_scale)),
                 qMax(1, qRound(natural.height() * m_scale)));
}

QSizeF LargePictureView::shownSize() const {
    return QSizeF(shownPixels()) / deviceRatio(this);
}

double LargePictureView::logicalScale() const {
    return m_scale / deviceRatio(this);
}

void LargePictureView::updateViewport() {
    if (!m_feed || !parentWidget() || !isVisible())
        return;
    const QRect visible =
        QRectF(QPointF(), shownSize()).toAlignedRect() & QRect(-pos(), parentWidget()->size());
    const double s = logicalScale();
    if (!visible.isEmpty())
        m_feed->setViewport(
            QRectF(visible.x() / s, visible.y() / s, visible.width() / s, visible.height() / s)
                .toAlignedRect());
}

void LargePictureView::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    updateViewport();
}

void LargePictureView::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    updateViewport();
}

void LargePictureView::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    updateViewport();
}

void LargePictureView::setGlass(const QImage& glass, const view::GlassBox& box) {
    // Only the old and the new places of the glass are repainted.
    const auto area = [](const view::GlassBox& b) {
        return QRectF(b.x1, b.y1, b.x2 - b.x1, b.y2 - b.y1).toAlignedRect().adjusted(-1, -1, 2, 2);
    };
    if (!m_glass.isNull())
        update(area(m_box));
    m_glass = glass;
    m_box = box;
    if (!m_glass.isNull())
        update(area(m_box));
}

void LargePictureView::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    p.fillRect(e->rect(), palette().dark());
    if (m_feed) {
        const double s = logicalScale();
        const QRect part = e->rect() & QRectF(QPointF(), shownSize()).toAlignedRect();
        const QRect natural =
            QRectF(part.x() / s, part.y() / s, part.width() / s, part.height() / s)
                .toAlignedRect() &
            QRect(QPoint(), m_feed->naturalSize());
        m_feed->paint(
            p, QRectF(natural.x() * s, natural.y() * s, natural.width() * s, natural.height() * s),
            natural);
    } else {
        drawImageAtDevicePixels(p, QPointF(0, 0), m_picture);
    }
    if (m_glass.isNull())
        return;
    const QRectF box(m_box.x1, m_box.y1, m_box.x2 - m_box.x1, m_box.y2 - m_box.y1);
    p.fillRect(box, palette().dark());
    drawImageAtDevicePixels(p, box.topLeft(), m_glass);
    // The outline inverts what lies under it, so it shows on any picture.
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(box.adjusted(0, 0, -1, -1));
}

void LargePictureView::mousePressEvent(QMouseEvent* e) {
    Q_EMIT pressed(e->position(), e->button());
}

void LargePictureView::mouseMoveEvent(QMouseEvent* e) {
    Q_EMIT moved(e->position());
}

void LargePictureView::mouseReleaseEvent(QMouseEvent*) {
    Q_EMIT released();
}

} // namespace lumenta
