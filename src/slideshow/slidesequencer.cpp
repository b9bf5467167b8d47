#include "slideshow/slidesequencer.h"

namespace lumenta {

SlideSequencer::SlideSequencer(QObject* parent) : QObject(parent) {
    // A coarse timer may fire up to 5 % late; the deadline is checked again
    // on the monotonic clock in any case.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &SlideSequencer::pauseOver);
    m_clock.start();
}

void SlideSequencer::setEntries(const QStringList& entries) {
    m_entries = entries;
}

void SlideSequencer::start() {
    if (m_phase != Phase::Idle)
        return;
    m_index = -1;
    m_shownInPass = 0;
    advance();
}

void SlideSequencer::advance() {
    // Moves to the next entry; empty entries are passed over here, each
    // followed by the pause-state check, without waiting.
    while (m_phase != Phase::Ended) {
        ++m_index;
        if (m_index >= m_entries.size()) {
            if (m_shownInPass == 0) {
                finish(Outcome::NoPictures);
                return;
            }
            if (!m_loop) {
                finish(Outcome::Completed);
                return;
            }
            m_index = 0;
            m_shownInPass = 0;
        }
        const QString path = m_entries.at(m_index);
        if (!path.isEmpty()) {
            m_phase = Phase::Showing;
            Q_EMIT showPath(path);
            return;
        }
        if (m_paused) {
            m_phase = Phase::Waiting;
            return;
        }
    }
}

void SlideSequencer::pictureShown(bool ok) {
    if (m_phase != Phase::Showing)
        return;
    if (ok)
        ++m_shownInPass;
    m_phase = Phase::Pausing;
    m_deadline = m_clock.elapsed() + m_pauseMs;
    m_timer.start(m_pauseMs);
}

void SlideSequencer::pauseOver() {
    if (m_phase != Phase::Pausing)
        return;
    const qint64 left = m_deadline - m_clock.elapsed();
    if (left > 0) {
        m_timer.start(int(left));
        return;
    }
    if (m_paused) {
        m_phase = Phase::Waiting;
        return;
    }
    advance();
}

void SlideSequencer::setPaused(bool paused) {
    m_paused = paused;
    if (!paused && m_phase == Phase::Waiting)
        advance();
}

void SlideSequencer::stop() {
    if (m_phase == Phase::Ended)
        return;
    finish(Outcome::Stopped);
}

void SlideSequencer::finish(Outcome outcome) {
    m_timer.stop();
    m_phase = Phase::Ended;
    Q_EMIT finished(outcome);
}

QString SlideSequencer::upcoming() const {
    if (m_phase == Phase::Ended)
        return QString();
    const int n = int(m_entries.size());
    for (int step = 1; step <= n; ++step) {
        const int i = m_index + step;
        if (i >= n && !m_loop)
            return QString();
        const QString& p = m_entries.at(i % n);
        if (!p.isEmpty())
            return p;
    }
    return QString();
}

} // namespace lumenta
