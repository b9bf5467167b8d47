#include "widgets/devicepixels.h"

#include <QPainter>
#include <QTransform>
#include <QWidget>
#include <cmath>

namespace lumenta {

namespace {
// The device pixel a device coordinate falls in, halves going up (the same
// way for every point, so distances between points are kept).
double snap(double v) {
    return std::floor(v + 0.5);
}
} // namespace

qreal deviceRatio(const QWidget* widget) {
    const qreal r = widget ? widget->devicePixelRatioF() : 1.0;
    return r > 0 ? r : 1.0;
}

QSize logicalSize(const QSize& pixels, qreal ratio) {
    if (ratio <= 0)
        ratio = 1;
    // A hair below a whole number is that number: 1.25 x 0.8 is not quite 1.
    const auto side = [ratio](int px) { return int(std::ceil(px / ratio - 1e-9)); };
    return QSize(side(pixels.width()), side(pixels.height()));
}

QSize deviceSize(const QSize& logical, qreal ratio) {
    return QSize(int(std::lround(logical.width() * ratio)),
                 int(std::lround(logical.height() * ratio)));
}

DevicePixelPainter::DevicePixelPainter(QPainter& painter) : m_painter(painter) {
    const QTransform device = painter.deviceTransform();
    // Rotated or mirrored painting has no device pixel grid to keep to:
    // such a painter is left as it is.
    if (device.type() > QTransform::TxScale || device.m11() <= 0 || device.m22() <= 0) {
        m_origin = QPointF(0, 0);
        return;
    }
    m_ratio = device.m11();
    m_origin = QPointF(device.dx(), device.dy());
    const QPointF origin(snap(m_origin.x()), snap(m_origin.y()));
    // The world transform that, followed by what the painter applies beyond
    // it (its window, redirection and screen scale), gives a plain
    // translation to the rounded origin.
    painter.save();
    painter.setWorldTransform(QTransform::fromTranslate(origin.x(), origin.y()) *
                              device.inverted() * painter.worldTransform());
    m_switched = true;
}

DevicePixelPainter::~DevicePixelPainter() {
    if (m_switched)
        m_painter.restore();
}

QPoint DevicePixelPainter::map(const QPointF& logical) const {
    const QPointF d = logical * m_ratio + m_origin;
    return QPoint(int(snap(d.x()) - snap(m_origin.x())), int(snap(d.y()) - snap(m_origin.y())));
}

QRect DevicePixelPainter::mapRect(const QRectF& logical) const {
    const QPointF shift(snap(m_origin.x()), snap(m_origin.y()));
    const QRectF d(logical.topLeft() * m_ratio + m_origin - shift, logical.size() * m_ratio);
    return d.toAlignedRect();
}

void DevicePixelPainter::drawImage(const QPoint& at, const QImage& image, const QRect& source) {
    const QRect src = (source.isNull() ? image.rect() : source) & image.rect();
    if (src.isEmpty())
        return;
    // Target and source of one size: a plain copy whatever the image's own
    // device pixel ratio says.
    m_painter.drawImage(QRect(at, src.size()), image, src);
}

void drawImageAtDevicePixels(QPainter& painter, const QPointF& at, const QImage& image,
                             const QRect& source) {
    DevicePixelPainter device(painter);
    device.drawImage(device.map(at), image, source);
}

} // namespace lumenta
