#include "widgets/picturewidgets.h"

#include "picture/pictureloader.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace lumenta {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void PictureBox::setImage(const QImage& image) {
    // Painted straight from the image: a large photo is not copied into a
    // second buffer.
    m_image = image;
    if (!image.isNull())
        resize(image.size());
    update();
}

bool PictureBox::event(QEvent* e) {
    if (e->type() == QEvent::ShowToParent || e->type() == QEvent::HideToParent)
        Q_EMIT shownChanged(e->type() == QEvent::ShowToParent);
    return QWidget::event(e);
}

void PictureBox::paintEvent(QPaintEvent* e) {
    if (m_image.isNull())
        return;
    QPainter p(this);
    const QRect r = e->rect() & m_image.rect();
    p.drawImage(r, m_image, r);
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
