#include "widgets/picturewidgets.h"

#include "picture/pictureloader.h"
#include "widgets/devicepixels.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace lumenta {

bool putPictureOnClipboard(const QImage& shown, const Picture& source, const QString& upperExt) {
    QClipboard* clip = QApplication::clipboard();
    if (!clip || shown.isNull())
        return false;
    clip->clear();
    auto* data = new QMimeData;
    if (upperExt == QLatin1String("WMF") && source.kind == Picture::Kind::Wmf &&
        !source.metafileData.isEmpty())
        data->setData(QStringLiteral("image/x-wmf"), source.metafileData);
    data->setImageData(shown);
    clip->setMimeData(data);
    // A system may refuse the clipboard (a Wayland compositor that gives
    // the program no seat): then nothing would be there to paste.
    const QMimeData* held = clip->mimeData();
    return held && held->hasImage();
}

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void PictureBox::setImage(const QImage& image, int rows) {
    // Painted straight from the image: a large photo is not copied into a
    // second buffer.
    m_image = image;
    m_rows = rows < 0 ? image.height() : qMin(rows, image.height());
    fitToImage();
    update();
}

void PictureBox::fitToImage() {
    // One picture pixel per device pixel: on a scaled screen the box is
    // smaller, in logical pixels, than the picture.
    if (!m_image.isNull())
        resize(logicalSize(m_image.size(), deviceRatio(this)));
}

bool PictureBox::event(QEvent* e) {
    if (e->type() == QEvent::ShowToParent || e->type() == QEvent::HideToParent)
        Q_EMIT shownChanged(e->type() == QEvent::ShowToParent);
    // A window moved to a screen of another scale.
    if (e->type() == QEvent::ScreenChangeInternal && !m_image.isNull() &&
        size() != logicalSize(m_image.size(), deviceRatio(this))) {
        fitToImage();
        Q_EMIT sizeChangedWithScreen();
    }
    return QWidget::event(e);
}

void PictureBox::setRowsReady(int rows) {
    rows = qMin(rows, m_image.height());
    if (rows <= m_rows)
        return;
    const qreal ratio = deviceRatio(this);
    update(QRectF(0, m_rows / ratio, width(), (rows - m_rows) / ratio).toAlignedRect());
    m_rows = rows;
}

void PictureBox::paintEvent(QPaintEvent* e) {
    if (m_image.isNull())
        return;
    QPainter p(this);
    DevicePixelPainter device(p);
    // Only the exposed part of the ready rows is copied.
    const QRect r = device.mapRect(e->rect()) & QRect(0, 0, m_image.width(), m_rows);
    if (!r.isEmpty())
        device.drawImage(r.topLeft(), m_image, r);
}

void PictureBox::mousePressEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton || e->button() == Qt::RightButton)
        Q_EMIT clicked();
    QWidget::mousePressEvent(e);
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent* e) {
    Q_EMIT doubleClicked();
    QWidget::mouseDoubleClickEvent(e);
}

StretchImage::StretchImage(QWidget* parent) : QWidget(parent) {}

void StretchImage::setImage(const QImage& image) {
    m_image = image;
    m_scaled = QPixmap();
    update();
}

const QPixmap& StretchImage::scaled() {
    // Stretched to the device pixels it covers, so a scaled screen does not
    // enlarge it once more.
    const QSize target = deviceSize(size(), deviceRatio(this));
    if (!m_image.isNull() && (m_scaled.isNull() || m_scaled.size() != target) &&
        !target.isEmpty()) {
        m_scaled = QPixmap::fromImage(scaledSmooth(m_image, target));
    }
    return m_scaled;
}

void StretchImage::paintEvent(QPaintEvent*) {
    const QPixmap& pm = scaled();
    if (pm.isNull())
        return;
    QPainter p(this);
    drawImageAtDevicePixels(p, QPointF(0, 0), pm.toImage());
}

void StretchImage::mouseDoubleClickEvent(QMouseEvent* e) {
    Q_EMIT doubleClicked();
    QWidget::mouseDoubleClickEvent(e);
}

} // namespace lumenta
