#pragma once
// The drawing surface of a lot (picListX): 272 x 1008 pixels that keep what
// is drawn on them, with the dotted selection frame drawn over them.
#include "browser/panelgeometry.h"

#include <QImage>
#include <QWidget>

namespace lumenta {

class ThumbnailSurface : public QWidget {
    Q_OBJECT
public:
    explicit ThumbnailSurface(QWidget* parent = nullptr);

    // Empties the surface (and removes the frame).
    void clear();
    // Draws a thumbnail with its caption at row r, column c; a null
    // thumbnail is a black square without caption.
    void drawCell(int row, int col, const QImage& thumbnail, const QString& caption);
    void setFrame(const panel::FrameBox& box) { m_frame = box, m_frameShown = true, update(); }
    void removeFrame() { m_frameShown = false, update(); }
    bool frameShown() const { return m_frameShown; }
    const panel::FrameBox& frame() const { return m_frame; }
    const QImage& canvas() const { return m_canvas; }

Q_SIGNALS:
    void pressed(QPointF at, Qt::MouseButton button);
    void wheelTurned(int angleDelta);

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

private:
    QImage m_canvas;
    panel::FrameBox m_frame;
    bool m_frameShown = false;
};

} // namespace lumenta
