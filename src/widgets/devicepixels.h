#pragma once
// Pictures drawn one picture pixel per device pixel. On a screen scaled by
// the desktop (1.25, 1.5, 2...) a logical pixel covers several device
// pixels; a picture shown at its natural size must not be enlarged with
// them, and must start on a whole device pixel so it is not resampled.
#include <QImage>
#include <QPointF>
#include <QRect>
#include <QSize>

class QPainter;
class QWidget;

namespace lumenta {

// Device pixels per logical pixel where `widget` is shown (1 without one).
qreal deviceRatio(const QWidget* widget);

// The logical size that holds `pixels` device pixels (rounded up, so the
// whole picture fits).
QSize logicalSize(const QSize& pixels, qreal ratio);
// The device pixels of a logical size (rounded to the nearest).
QSize deviceSize(const QSize& logical, qreal ratio);

// Switches a painter to device pixels for as long as it lives: one unit is
// one device pixel, and the origin is the device pixel nearest to the
// painter's current logical origin. What is drawn through it is neither
// scaled nor shifted by a fraction of a pixel.
class DevicePixelPainter {
public:
    explicit DevicePixelPainter(QPainter& painter);
    ~DevicePixelPainter();
    DevicePixelPainter(const DevicePixelPainter&) = delete;
    DevicePixelPainter& operator=(const DevicePixelPainter&) = delete;

    // Device pixels per logical unit of the painter before the switch.
    qreal ratio() const { return m_ratio; }
    // A logical point of the painter before the switch, in device pixels
    // from the origin (rounded to the nearest pixel).
    QPoint map(const QPointF& logical) const;
    // A logical rectangle in device pixels, holding every device pixel the
    // rectangle touches.
    QRect mapRect(const QRectF& logical) const;
    // Draws source (the whole image when null) with its top-left at a
    // device position, one image pixel per device pixel.
    void drawImage(const QPoint& at, const QImage& image, const QRect& source = QRect());

private:
    QPainter& m_painter;
    qreal m_ratio = 1;
    bool m_switched = false;
    QPointF m_origin; // device position of the logical origin, unrounded
};

// Draws image one image pixel per device pixel with its top-left at the
// device pixel nearest to logical point `at` (source: a part of the image,
// the whole when null).
void drawImageAtDevicePixels(QPainter& painter, const QPointF& at, const QImage& image,
                             const QRect& source = QRect());

} // namespace lumenta
