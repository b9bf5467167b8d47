#pragma once
// The multimedia device control: a row of media buttons (previous, next,
// play, pause, back, step, stop, record, eject) driving one media device,
// "WaveAudio" (WAV files), "Sequencer" (MIDI files) or "CDAudio" (audio
// discs), with settings, commands sent by name, readable values and
// notifications for the window that owns it.
//
// Notify and Wait apply to the next command sent by name, then fall back
// to off: a command sent with Notify on reports done(1) once it has
// completed ("Play": when playback reaches the end). Playback that runs to
// the end always reports done(1), whoever started it, so an owner can
// rewind or loop on it. Commands complete before they return, so Wait
// holds nothing up: "Play" returns as soon as playback runs.
//
// Opening a drive can take seconds while the disc spins up: openInBackground()
// reads the medium on a worker thread and reports with opened().
#include "media/mediadevice.h"

#include <QString>
#include <QWidget>

#include <memory>

class QTimer;
class QToolButton;

namespace lumenta {

class MMControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(bool Notify READ notify WRITE setNotify)
    Q_PROPERTY(bool Wait READ wait WRITE setWait)
    Q_PROPERTY(bool Shareable READ shareable WRITE setShareable)
    Q_PROPERTY(QString DeviceType READ deviceType WRITE setDeviceType)
    Q_PROPERTY(QString FileName READ fileName WRITE setFileName)
    Q_PROPERTY(int TimeFormat READ timeFormat WRITE setTimeFormat)
    Q_PROPERTY(int UpdateInterval READ updateInterval WRITE setUpdateInterval)
    Q_PROPERTY(qint64 To READ to WRITE setTo)
    Q_PROPERTY(int Track READ track WRITE setTrack)
    Q_PROPERTY(int Tracks READ tracks)
    Q_PROPERTY(qint64 Length READ length)
    Q_PROPERTY(qint64 Position READ position)
    Q_PROPERTY(qint64 TrackLength READ trackLength)
    Q_PROPERTY(qint64 TrackPosition READ trackPosition)
    Q_PROPERTY(qint64 Start READ start)
    Q_PROPERTY(QString Command READ lastCommand WRITE setCommand)

public:
    enum class Mode { NotOpen, Stopped, Playing, Paused };
    Q_ENUM(Mode)
    enum class Button { Prev, Next, Play, Pause, Back, Step, Stop, Record, Eject };
    Q_ENUM(Button)

    // Notify code of a successful completion.
    static constexpr int NotifySuccessful = 1;
    // The only time format: milliseconds.
    static constexpr int TimeFormatMilliseconds = 0;

    explicit MMControl(QWidget* parent = nullptr);
    ~MMControl() override;

    // Settings.
    bool notify() const { return notify_; }
    void setNotify(bool on) { notify_ = on; }
    bool wait() const { return wait_; }
    void setWait(bool on) { wait_ = on; }
    bool shareable() const { return shareable_; }
    void setShareable(bool on) { shareable_ = on; }
    QString deviceType() const { return deviceType_; }
    void setDeviceType(const QString& type) { deviceType_ = type; }
    QString fileName() const { return fileName_; }
    void setFileName(const QString& name) { fileName_ = name; }
    int timeFormat() const { return timeFormat_; }
    bool setTimeFormat(int format);
    int updateInterval() const { return updateInterval_; }
    void setUpdateInterval(int ms);
    qint64 to() const { return to_; }
    void setTo(qint64 position) { to_ = position; }
    // Moves to the start of a track (1 = first); playing continues there.
    bool setTrack(int track);

    // Sends a command by name, in any letter case: "Open", "Close", "Play",
    // "Pause", "Stop", "Prev", "Next", "Seek", "Eject" ("Back", "Step" and
    // "Record" are refused: no device here supports them). On failure the
    // reason is in error and lastError().
    bool sendCommand(const QString& name, QString* error = nullptr);
    bool command(const QString& name) { return sendCommand(name); }
    // "Open" with the medium read off the GUI thread; opened() follows.
    // False (and lastError()) when it cannot even start. Another "Open",
    // "Close" or "Eject" meanwhile drops the pending one, unreported.
    bool openInBackground();
    bool isOpening() const { return openSerial_ == pendingOpen_; }
    bool setCommand(const QString& name) { return sendCommand(name); }
    QString lastCommand() const { return lastCommand_; }
    // Why the last command, setting or read failed; empty after a success.
    QString lastError() const { return lastError_; }

    // Values in the time format; each fails (ok false, lastError set) while
    // no device is open.
    int tracks(bool* ok = nullptr) const;
    int track(bool* ok = nullptr) const; // the track holding the position
    qint64 length(bool* ok = nullptr) const;
    qint64 position(bool* ok = nullptr) const;
    qint64 trackLength(bool* ok = nullptr) const;   // of the current track
    qint64 trackPosition(bool* ok = nullptr) const; // start of the current track
    qint64 start(bool* ok = nullptr) const;         // start of the medium
    // All of the values above from one reading of the position.
    media::MediaSnapshot snapshot(bool* ok = nullptr) const;

    Mode mode() const;
    QToolButton* button(Button which) const;

Q_SIGNALS:
    // A command sent with Notify on has completed, or playback reached the
    // end; 1 means success.
    void done(int notifyCode);
    // Every UpdateInterval ms while the interval is not 0.
    void statusUpdate();
    // The device was opened, closed, started, paused or stopped.
    void modeChanged();
    // An openInBackground() has ended; on failure lastError() says why.
    void opened(bool ok);
    // The user pressed a button; sent before the button's command runs.
    void prevClicked();
    void nextClicked();
    void playClicked();
    void pauseClicked();
    void backClicked();
    void stepClicked();
    void stopClicked();
    void recordClicked();
    void ejectClicked();

private:
    bool run(const QString& command, QString* error);
    bool openDevice(QString* error);
    std::unique_ptr<media::MediaDevice> newDevice(QString* error) const;
    bool moveTo(qint64 ms, QString* error); // seek that keeps playing
    bool prev(QString* error);
    bool next(QString* error);
    bool requireOpen(bool* ok) const;
    void buttonPressed(Button which);
    void poll();
    void sync(); // buttons and modeChanged after anything that may change the mode

    std::unique_ptr<media::MediaDevice> device_;
    QToolButton* buttons_[9] = {};
    QTimer* pollTimer_;
    QTimer* statusTimer_;
    Mode lastMode_ = Mode::NotOpen;
    int openSerial_ = 0;   // counts the opens started and the ones dropped
    int pendingOpen_ = -1; // the serial of the background open running

    bool notify_ = false;
    bool wait_ = false;
    bool shareable_ = false;
    QString deviceType_;
    QString fileName_;
    int timeFormat_ = TimeFormatMilliseconds;
    int updateInterval_ = 0;
    qint64 to_ = 0;
    QString lastCommand_;
    mutable QString lastError_;
};

} // namespace lumenta
