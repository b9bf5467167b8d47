#pragma once
// Widgets that show a picture: at its natural size, or stretched.
#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace lumenta {

struct Picture;
class TileFeed;

// Puts a shown picture on the clipboard: the bitmap (from the source's
// colours to sRGB), and for a Windows
// metafile file also its own records (image/x-wmf), so a drawing program
// pastes the drawing rather than its pixels. False when there is no
// clipboard, nothing is shown, or the system did not take the picture.
bool putPictureOnClipboard(const QImage& shown, const Picture& source, const QString& upperExt);

// Shows a picture at its natural size, one picture pixel per device pixel,
// and takes that size. A picture still
// being decoded shows its first rows only: the others are being written by
// another thread, so they are neither read nor painted until they are ready.
// A tiled picture is shown from a TileFeed, at its natural size or scaled:
// the box tells the feed which part of it is in view (inside the parent)
// as it moves, and paints what the feed holds.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);
    // rows: how many rows of image are ready (-1: all of them). Leaves a
    // feed shown before.
    void setImage(const QImage& image, int rows = -1);
    // Shows the feed's picture at `scale` times its natural size, in
    // device pixels (the box takes that size); null shows nothing.
    void setFeed(TileFeed* feed, double scale = 1.0);
    TileFeed* feed() const { return m_feed; }
    double scale() const { return m_scale; }
    bool isTiled() const;
    // The part of the picture in view, in natural pixels.
    QRect visibleNatural() const;
    // More rows of the picture are ready.
    void setRowsReady(int rows);
    int rowsReady() const { return m_rows; }
    bool isComplete() const { return m_rows >= m_image.height(); }
    const QImage& image() const { return m_image; }
    // The picture as displayed, for saving or copying; null while it is
    // not complete, and for a tiled picture (never held whole).
    QImage displayedImage() const { return isComplete() && !m_feed ? m_image : QImage(); }

Q_SIGNALS:
    void clicked();
    void doubleClicked();
    // The box was shown or hidden itself (not through its parent).
    void shownChanged(bool shown);
    // The window went to a screen of another scale: the box took the
    // picture's size on it.
    void sizeChangedWithScreen();

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void updateViewport();
    void fitToImage();
    // Logical pixels per natural pixel of a tiled picture: scale() natural
    // pixels per device pixel.
    double boxScale() const;

    QImage m_image;
    int m_rows = 0;
    TileFeed* m_feed = nullptr;
    double m_scale = 1.0;
    QMetaObject::Connection m_arrivals;
};

// Stretches its picture to its own size with smooth filtering. The scaled
// copy is made once per picture and size, not at every paint.
class StretchImage : public QWidget {
    Q_OBJECT
public:
    explicit StretchImage(QWidget* parent = nullptr);
    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }
    const QPixmap& scaled(); // the stretched copy for the current size

Q_SIGNALS:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    QImage m_image;
    QPixmap m_scaled;
};

} // namespace lumenta
