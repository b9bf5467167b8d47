#include "browser/thumbnailsurface.h"

#include "widgets/devicepixels.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace lumenta {

ThumbnailSurface::ThumbnailSurface(QWidget* parent) : QWidget(parent) {
    // The canvas has the device pixels of the screen: thumbnails and
    // captions drawn on it stay sharp on a scaled one.
    const qreal ratio = deviceRatio(this);
    m_canvas = QImage(deviceSize(QSize(panel::kSurfaceWidth, panel::kSurfaceHeight), ratio),
                      QImage::Format_RGB32);
    m_canvas.setDevicePixelRatio(ratio);
    setFixedSize(panel::kSurfaceWidth, panel::kSurfaceHeight);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    clear();
}

void ThumbnailSurface::clear() {
    m_canvas.fill(palette().color(QPalette::Base));
    m_frameShown = false;
    update();
}

void ThumbnailSurface::drawCell(int row, int col, const QImage& thumbnail, const QString& caption) {
    const QPoint at = panel::cellOrigin(row, col);
    const QRect square(at, QSize(panel::kThumbSide, panel::kThumbSide));
    QPainter p(&m_canvas);
    if (thumbnail.isNull()) {
        p.fillRect(square, Qt::black);
    } else {
        p.drawImage(square, thumbnail);
        QFont f = font();
        f.setPixelSize(10);
        p.setFont(f);
        p.setPen(palette().color(QPalette::Text));
        const QPoint c = panel::captionOrigin(row, col);
        p.drawText(QRect(c, QSize(panel::kCellWidth - 6, 14)), Qt::AlignLeft | Qt::AlignTop,
                   caption);
    }
    p.end();
    update(square.united(QRect(panel::captionOrigin(row, col), QSize(panel::kCellWidth, 16))));
}

void ThumbnailSurface::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    {
        DevicePixelPainter device(p);
        const QRect r = device.mapRect(e->rect()) & m_canvas.rect();
        device.drawImage(r.topLeft(), m_canvas, r);
    }
    if (m_frameShown) {
        // A dotted outline that inverts what lies under it.
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        QPen pen(Qt::white, 1, Qt::DotLine);
        p.setPen(pen);
        p.drawRect(QRect(QPoint(m_frame.x1, m_frame.y1), QPoint(m_frame.x2, m_frame.y2)));
    }
}

void ThumbnailSurface::mousePressEvent(QMouseEvent* e) {
    setFocus(Qt::MouseFocusReason);
    Q_EMIT pressed(e->position(), e->button());
}

void ThumbnailSurface::wheelEvent(QWheelEvent* e) {
    Q_EMIT wheelTurned(e->angleDelta().y());
    e->accept();
}

} // namespace lumenta
