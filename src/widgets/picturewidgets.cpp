#include "widgets/picturewidgets.h"

#include "picture/pictureloader.h"
#include "picture/tilefeed.h"

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
    return true;
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
    if (!image.isNull())
        resize(image.size());
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
            update(QRectF(natural.x() * m_scale, natural.y() * m_scale, natural.width() * m_scale,
                          natural.height() * m_scale)
                       .toAlignedRect());
        });
        const QSize natural = feed->naturalSize();
        resize(QSize(qMax(1, qRound(natural.width() * m_scale)),
                     qMax(1, qRound(natural.height() * m_scale))));
        updateViewport();
    }
    update();
}

bool PictureBox::isTiled() const {
    return m_feed && !m_feed->isNull();
}

QRect PictureBox::visibleNatural() const {
    if (!parentWidget())
        return {};
    const QRect visible = rect() & QRect(-pos(), parentWidget()->size());
    if (visible.isEmpty())
        return {};
    return QRectF(visible.x() / m_scale, visible.y() / m_scale, visible.width() / m_scale,
                  visible.height() / m_scale)
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

bool PictureBox::event(QEvent* e) {
    if (e->type() == QEvent::ShowToParent || e->type() == QEvent::HideToParent)
        Q_EMIT shownChanged(e->type() == QEvent::ShowToParent);
    return QWidget::event(e);
}

void PictureBox::setRowsReady(int rows) {
    rows = qMin(rows, m_image.height());
    if (rows <= m_rows)
        return;
    update(QRect(0, m_rows, m_image.width(), rows - m_rows));
    m_rows = rows;
}

void PictureBox::paintEvent(QPaintEvent* e) {
    if (isTiled()) {
        QPainter p(this);
        const QRect natural = QRectF(e->rect().x() / m_scale, e->rect().y() / m_scale,
                                     e->rect().width() / m_scale, e->rect().height() / m_scale)
                                  .toAlignedRect() &
                              QRect(QPoint(), m_feed->naturalSize());
        const QRectF target(natural.x() * m_scale, natural.y() * m_scale, natural.width() * m_scale,
                            natural.height() * m_scale);
        m_feed->paint(p, target, natural);
        return;
    }
    if (m_image.isNull())
        return;
    QPainter p(this);
    const QRect r = e->rect() & QRect(0, 0, m_image.width(), m_rows);
    if (!r.isEmpty())
        p.drawImage(r, std::as_const(m_image), r);
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
    if (!m_image.isNull() && (m_scaled.isNull() || m_scaled.size() != size()) &&
        !size().isEmpty()) {
        m_scaled = QPixmap::fromImage(scaledSmooth(m_image, size()));
    }
    return m_scaled;
}

void StretchImage::paintEvent(QPaintEvent*) {
    const QPixmap& pm = scaled();
    if (pm.isNull())
        return;
    QPainter p(this);
    p.drawPixmap(0, 0, pm);
}

void StretchImage::mouseDoubleClickEvent(QMouseEvent* e) {
    Q_EMIT doubleClicked();
    QWidget::mouseDoubleClickEvent(e);
}

} // namespace lumenta
