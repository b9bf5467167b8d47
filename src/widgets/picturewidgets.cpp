#include "widgets/picturewidgets.h"

#include "picture/colourtransform.h"
#include "picture/pictureloader.h"
#include "picture/tilefeed.h"
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
    // Other programs take a picture without a profile as sRGB.
    data->setImageData(toSrgb(shown, source.colours));
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
    if (m_feed)
        setFeed(nullptr);
    // Painted straight from the image: a large photo is not copied into a
    // second buffer.
    m_image = image;
    m_rows = rows < 0 ? image.height() : qMin(rows, image.height());
    fitToImage();
    update();
}

void PictureBox::setFeed(TileFeed* feed, double scale) {
    disconnect(m_arrivals);
    m_feed = feed;
    m_scale = scale > 0 ? scale : 1.0;
    m_image = QImage();
    m_rows = 0;
    if (feed) {
        m_arrivals = connect(feed, &TileFeed::tilesArrived, this, [this](const QRect& natural) {
            const double s = boxScale();
            update(
                QRectF(natural.x() * s, natural.y() * s, natural.width() * s, natural.height() * s)
                    .toAlignedRect());
        });
        fitToImage();
        updateViewport();
    }
    update();
}

bool PictureBox::isTiled() const {
    return m_feed && !m_feed->isNull();
}

double PictureBox::boxScale() const {
    return m_scale / deviceRatio(this);
}

QRect PictureBox::visibleNatural() const {
    if (!parentWidget())
        return {};
    const QRect visible = rect() & QRect(-pos(), parentWidget()->size());
    if (visible.isEmpty())
        return {};
    const double s = boxScale();
    return QRectF(visible.x() / s, visible.y() / s, visible.width() / s, visible.height() / s)
        .toAlignedRect();
}

void PictureBox::updateViewport() {
    if (isTiled() && isVisible())
        m_feed->setViewport(visibleNatural());
}

void PictureBox::moveEvent(QMoveEvent* e) {
    QWidget::moveEvent(e);
    updateViewport();
}

void PictureBox::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    updateViewport();
}

void PictureBox::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    updateViewport();
}

void PictureBox::fitToImage() {
    // One picture pixel per device pixel: on a scaled screen the box is
    // smaller, in logical pixels, than the picture.
    if (isTiled()) {
        const QSize natural = m_feed->naturalSize();
        const QSize pixels(qMax(1, qRound(natural.width() * m_scale)),
                           qMax(1, qRound(natural.height() * m_scale)));
        resize(logicalSize(pixels, deviceRatio(this)));
    } else if (!m_image.isNull()) {
        resize(logicalSize(m_image.size(), deviceRatio(this)));
    }
}

bool PictureBox::event(QEvent* e) {
    if (e->type() == QEvent::ShowToParent || e->type() == QEvent::HideToParent)
        Q_EMIT shownChanged(e->type() == QEvent::ShowToParent);
    // A window moved to a screen of another scale.
    if (e->type() == QEvent::ScreenChangeInternal && (!m_image.isNull() || isTiled())) {
        const QSize before = size();
        fitToImage();
        if (size() != before)
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
    if (isTiled()) {
        QPainter p(this);
        const double s = boxScale();
        const QRect natural = QRectF(e->rect().x() / s, e->rect().y() / s, e->rect().width() / s,
                                     e->rect().height() / s)
                                  .toAlignedRect() &
                              QRect(QPoint(), m_feed->naturalSize());
        const QRectF target(natural.x() * s, natural.y() * s, natural.width() * s,
                            natural.height() * s);
        m_feed->paint(p, target, natural);
        return;
    }
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
