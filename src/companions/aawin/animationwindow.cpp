#include "animationwindow.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QPainter>
#include <algorithm>
#include <climits>

namespace lumenta::aawin {

namespace {
// Animations that ask for more than 200 frames a second are shown at 200.
constexpr double kShortestFrameMs = 5.0;
// Further behind than this (machine suspended, window stalled), the clock
// starts again from the frame on screen instead of racing to catch up.
constexpr qint64 kMaxLagMs = 1000;
} // namespace

AnimationWindow::AnimationWindow(std::unique_ptr<FlicDecoder> decoder, QImage first,
                                 QWidget* parent)
    : QMainWindow(parent), decoder_(std::move(decoder)), frame_(std::move(first)) {
    setWindowTitle(QFileInfo(decoder_->path()).fileName());
    setAttribute(Qt::WA_OpaquePaintEvent);
    frameMs_ = qMax(decoder_->frameDurationMs(), kShortestFrameMs);
    resize(frame_.size().expandedTo(QSize(1, 1)));
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &AnimationWindow::showNextFrame);
}

void AnimationWindow::play() {
    clock_.start();
    loopStartMs_ = 0;
    shown_ = 0;
    scheduleNextFrame();
}

qint64 AnimationWindow::startOf(int index) const {
    return FlicDecoder::frameStartMs(index, frameMs_);
}

void AnimationWindow::scheduleNextFrame() {
    const qint64 due = loopStartMs_ + startOf(shown_ + 1);
    timer_.start(int(std::clamp<qint64>(due - clock_.elapsed(), 0, INT_MAX)));
}

void AnimationWindow::showNextFrame() {
    QImage next;
    if (decoder_->readFrame(next)) {
        ++shown_;
    } else {
        const int framesInPass = shown_ + 1;
        if (framesInPass <= 1)
            return; // a single picture: nothing to animate
        if (!decoder_->rewind() || !decoder_->readFrame(next))
            return; // the file went away: the last frame stays
        loopStartMs_ += startOf(framesInPass);
        shown_ = 0;
    }
    const qint64 now = clock_.elapsed();
    if (now - (loopStartMs_ + startOf(shown_)) > kMaxLagMs)
        loopStartMs_ = now - startOf(shown_);
    frame_ = std::move(next);
    update();
    scheduleNextFrame();
}

void AnimationWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (frame_.isNull())
        return;
    // Natural size, centred; scaled down (same proportions) when the
    // window was made smaller than the animation.
    QSize target = frame_.size();
    if (target.width() > width() || target.height() > height())
        target.scale(size(), Qt::KeepAspectRatio);
    QRect r(QPoint(0, 0), target);
    r.moveCenter(rect().center());
    p.drawImage(r, frame_);
}

void AnimationWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

} // namespace lumenta::aawin
