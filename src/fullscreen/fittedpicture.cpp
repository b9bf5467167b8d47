#include "fullscreen/fittedpicture.h"

#include "widgets/devicepixels.h"

#include <QPainter>
#include <QPalette>
#include <cmath>

namespace lumenta {

QImage FittedPicture::forDrawing(QImage image) {
    if (image.isNull())
        return image;
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return image;
    default:
        return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                             : QImage::Format_RGB32);
    }
}

void FittedPicture::setImage(const QImage& image) {
    m_image = forDrawing(image);
    m_place.reset();
    m_scaled = QImage();
    m_scaledSize = QSize();
}

void FittedPicture::clear() {
    setImage(QImage());
}

bool FittedPicture::fit(FitRule rule, const QSizeF& area) {
    m_place.reset();
    if (m_image.isNull())
        return false;
    m_place = fitAndCentre(rule, m_image.width(), m_image.height(), area.width(), area.height());
    return m_place.has_value();
}

QRect FittedPicture::drawnRect() const {
    if (!m_place)
        return QRect();
    const FitRect& r = *m_place;
    return QRect(int(std::lround(r.left)), int(std::lround(r.top)), int(std::lround(r.width)),
                 int(std::lround(r.height)));
}

bool FittedPicture::needsPrescale() const {
    if (!m_place || m_image.isNull())
        return false;
    return m_place->width < m_image.width() * kPrescaleBelow ||
           m_place->height < m_image.height() * kPrescaleBelow;
}

void FittedPicture::prepare() {
    if (!needsPrescale())
        return;
    const QSize target = drawnRect().size();
    if (target.isEmpty() || target == m_scaledSize)
        return;
    m_scaled = m_image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    m_scaledSize = target;
}

void FittedPicture::paint(QPainter& painter) {
    if (!m_place || m_image.isNull())
        return;
    DevicePixelPainter device(painter);
    const QRect rect = drawnRect();
    if (rect.isEmpty())
        return;
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    if (needsPrescale()) {
        prepare();
        device.drawImage(rect.topLeft(), m_scaled);
    } else if (rect.size() == m_image.size()) {
        device.drawImage(rect.topLeft(), m_image);
    } else {
        painter.drawImage(rect, m_image);
    }
    painter.restore();
}

int16_t normalizedBackColor(int16_t code) {
    return code >= 1 && code <= 6 ? code : int16_t(1);
}

QColor backColorForCode(int16_t code, const QPalette& palette) {
    switch (normalizedBackColor(code)) {
    case 2:
        return QColor(255, 255, 255);
    case 3:
        return palette.color(QPalette::Active, QPalette::Button);
    case 4:
        return QColor(0, 0, 255);
    case 5:
        return QColor(255, 0, 0);
    case 6:
        return QColor(0, 255, 0);
    default:
        return QColor(0, 0, 0);
    }
}

} // namespace lumenta
