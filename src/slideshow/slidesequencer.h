#pragma once
// The automatic show's timing: which picture comes when, the pause after
// each one, the pause state and the stop. The window only displays: it
// shows what showPath() names and reports with pictureShown() once the
// picture is on the screen (or could not be loaded); the pause starts then.
//
// One pass goes through the entries in order. An empty entry keeps the
// picture on the screen and moves on without a pause. After each entry,
// while the show is paused, it waits for resume() or stop(). At the end of a
// pass the show starts again when it loops, or ends. A pass that showed no
// picture at all ends the show (NoPictures) instead of running on empty.
//
// Everything runs on timers of the owner's thread: nothing blocks, and
// pauses are measured on a monotonic clock.
#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>

namespace lumenta {

class SlideSequencer : public QObject {
    Q_OBJECT
public:
    enum class Outcome { Completed, Stopped, NoPictures };
    Q_ENUM(Outcome)
    enum class Phase { Idle, Showing, Pausing, Waiting, Ended };
    Q_ENUM(Phase)

    explicit SlideSequencer(QObject* parent = nullptr);

    // The entries of one pass in show order (empty ones allowed), whether
    // passes repeat, and the pause after each picture.
    void setEntries(const QStringList& entries);
    void setLoop(bool loop) { m_loop = loop; }
    void setPauseMs(int ms) { m_pauseMs = qMax(0, ms); }

    // Starts the first pass (once).
    void start();
    // The picture named by the last showPath() is on the screen (ok), or
    // could not be shown (the pause still takes place).
    void pictureShown(bool ok);
    // Pause state: a pause lets the running wait end, then holds the show.
    void setPaused(bool paused);
    void togglePause() { setPaused(!m_paused); }
    bool isPaused() const { return m_paused; }
    // Ends the show at once; finished(Stopped) follows.
    void stop();

    Phase phase() const { return m_phase; }
    // The picture that will be asked for after the current one (wrapping
    // round when the show loops), or empty when none will.
    QString upcoming() const;
    // Position in the pass of the entry shown last.
    int index() const { return m_index; }

Q_SIGNALS:
    void showPath(const QString& path);
    void finished(lumenta::SlideSequencer::Outcome outcome);

private:
    void advance();
    void pauseOver();
    void finish(Outcome outcome);

    QStringList m_entries;
    bool m_loop = false;
    int m_pauseMs = 0;
    bool m_paused = false;
    Phase m_phase = Phase::Idle;
    int m_index = -1;      // entry being shown or just shown
    int m_shownInPass = 0; // pictures shown since the pass began
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_deadline = 0; // m_clock time at which the pause ends
};

} // namespace lumenta
