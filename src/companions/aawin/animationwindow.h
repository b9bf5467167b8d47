#pragma once
// The player's window: shows the frames of an animation one after the
// other at the animation's own pace, starting again after the last one.
// Escape or the close box ends it.
#include "flicdecoder.h"

#include <QElapsedTimer>
#include <QImage>
#include <QMainWindow>
#include <QTimer>
#include <memory>

namespace lumenta::aawin {

// A main window, so that assistive technologies see a frame.
class AnimationWindow : public QMainWindow {
    Q_OBJECT
public:
    // `decoder` is open and `first` is the frame it has just read.
    AnimationWindow(std::unique_ptr<FlicDecoder> decoder, QImage first, QWidget* parent = nullptr);

    // Starts the clock; the first frame is on screen from now.
    void play();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showNextFrame();
    void scheduleNextFrame();
    qint64 startOf(int index) const;

    std::unique_ptr<FlicDecoder> decoder_;
    QImage frame_;
    QTimer timer_;
    QElapsedTimer clock_;
    double frameMs_ = 0;
    qint64 loopStartMs_ = 0; // on clock_, when the current pass's first frame was due
    int shown_ = 0;          // index of the frame on screen within the pass
};

} // namespace lumenta::aawin
