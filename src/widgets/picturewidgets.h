#pragma once
// Widgets that show a picture: at its natural size, or stretched.
#include <QImage>
#include <QPixmap>
#include <QWidget>

namespace lumenta {

// Shows a picture at its natural size and takes that size.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);
    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }
    // The picture as displayed, for saving or copying.
    QImage displayedImage() const { return m_image; }

Q_SIGNALS:
    void clicked();
    void doubleClicked();
    // The box was shown or hidden itself (not through its parent).
    void shownChanged(bool shown);

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    QImage m_image;
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
