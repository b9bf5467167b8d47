#include "browser/largepictureview.h"

#include "widgets/devicepixels.h"

#include <QMouseEvent>
#include <QPainter>

namespace lumenta {

LargePictureView::LargePictureView(QWidget* parent) : QWidget(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LargePictureView::setPicture(const QImage& picture) {
    m_picture = picture;
    resize(logicalSize(picture.size(), deviceRatio(this)));
    update();
}

QSizeF LargePictureView::shownSize() const {
    return QSizeF(m_picture.size()) / deviceRatio(this);
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
    drawImageAtDevicePixels(p, QPointF(0, 0), m_picture);
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
