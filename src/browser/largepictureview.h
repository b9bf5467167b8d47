#pragma once
// The picture of the enlarged view, with the magnifying glass drawn over
// it: the glass content at the glass box and an inverted outline. The
// widget takes the picture's size (one picture pixel per device pixel); the
// window moves it inside its viewport. The glass content comes at the
// screen's device pixels too.
#include "browser/viewgeometry.h"

#include <QImage>
#include <QWidget>

namespace lumenta {

class LargePictureView : public QWidget {
    Q_OBJECT
public:
    explicit LargePictureView(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    const QImage& picture() const { return m_picture; }
    // The picture's size in logical pixels, as mouse positions and the
    // glass box count.
    QSizeF shownSize() const;
    // The glass content drawn at box; a null glass removes it.
    void setGlass(const QImage& glass, const view::GlassBox& box);
    const QImage& glass() const { return m_glass; }

Q_SIGNALS:
    void pressed(QPointF at, Qt::MouseButton button);
    void moved(QPointF at);
    void released();

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    QImage m_picture;
    QImage m_glass;
    view::GlassBox m_box;
};

} // namespace lumenta
