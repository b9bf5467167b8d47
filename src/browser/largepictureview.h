#pragma once
// The picture of the enlarged view, with the magnifying glass drawn over
// it: the glass content at the glass box and an inverted outline. The
// widget takes the picture's size (one picture pixel per device pixel); the
// window moves it inside its viewport. The glass content comes at the
// screen's device pixels too. A tiled picture is drawn from a TileFeed,
// scaled, and the feed is told which part of it is in view.
#include "browser/viewgeometry.h"

#include <QImage>
#include <QWidget>

namespace lumenta {

class TileFeed;

class LargePictureView : public QWidget {
    Q_OBJECT
public:
    explicit LargePictureView(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);
    const QImage& picture() const { return m_picture; }
    // A tiled picture at `scale` times its natural size in device pixels
    // (null: none).
    void setFeed(TileFeed* feed, double scale);
    // The size of the picture as drawn, in device pixels.
    QSize shownPixels() const;
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
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void updateViewport();
    // Logical pixels per natural pixel of a tiled picture.
    double logicalScale() const;

    QImage m_picture;
    TileFeed* m_feed = nullptr;
    double m_scale = 1.0;
    QMetaObject::Connection m_arrivals;
    QImage m_glass;
    view::GlassBox m_box;
};

} // namespace lumenta
