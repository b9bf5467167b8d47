#pragma once
// A media device of the multimedia control: one medium (a sound file, a
// MIDI file, an audio disc) opened, played into the shared audio output,
// paused, stopped and positioned. Positions and lengths are counted in
// output frames (44.1 kHz) and reported in milliseconds.
//
// All public methods belong to the GUI thread, except prepare(), which may
// run on a worker thread while nothing else uses the device. The audio
// thread only calls render(); what it changes (position, end reached) is
// kept in atomics.
#include "media/audiooutput.h"

#include <QString>

#include <atomic>
#include <memory>
#include <vector>

namespace lumenta::media {

enum class PlayState { Closed, Stopped, Playing, Paused };

struct TrackInfo {
    qint64 startFrame = 0;
    qint64 frames = 0;
    bool audio = true;
};

// Everything a display needs, read from one reading of the position, so
// the track and its start always belong to that position.
struct MediaSnapshot {
    int tracks = 0;
    qint64 startMs = 0;  // start of the medium (its first audio track)
    qint64 lengthMs = 0; // end of the medium
    qint64 positionMs = 0;
    int track = 0; // the track holding the position
    qint64 trackStartMs = 0;
    qint64 trackLengthMs = 0;
};

class MediaDevice : private AudioSource {
public:
    MediaDevice() = default;
    ~MediaDevice() override;
    MediaDevice(const MediaDevice&) = delete;
    MediaDevice& operator=(const MediaDevice&) = delete;

    // "WaveAudio", "Sequencer" or "CDAudio".
    virtual QString typeName() const = 0;

    // Opens a medium (closing the one open before). On failure the device
    // stays closed and error says why.
    bool open(const QString& name, QString* error = nullptr);
    // open() in two steps: prepare() reads the medium (it may block, a drive
    // spinning up) and touches nothing outside the device, so it may run on
    // a worker thread; activate() then attaches it to the output on the GUI
    // thread. A prepared device that is never activated is released by
    // close() or its destructor.
    bool prepare(const QString& name, QString* error = nullptr);
    bool activate(QString* error = nullptr);
    void close();
    bool isOpen() const { return open_; }
    PlayState state() const;

    // Plays from the position to the end of the medium; at the end it
    // starts again from the beginning.
    bool play(QString* error = nullptr);
    bool pause(QString* error = nullptr);
    bool stop(QString* error = nullptr);
    // Moves to ms (start .. length) and stops playback there.
    bool seek(qint64 ms, QString* error = nullptr);

    qint64 positionMs() const;
    qint64 lengthMs() const;
    qint64 startMs() const; // the first audio track's start
    qint64 positionFrames() const { return pos_.load(std::memory_order_acquire); }

    // Tracks are numbered from 1; files have one.
    int trackCount() const { return int(tracks_.size()); }
    int trackAt(qint64 ms) const; // the track holding a position, 0 if none
    qint64 trackStartMs(int track) const;
    qint64 trackLengthMs(int track) const;
    bool isAudioTrack(int track) const;
    MediaSnapshot snapshot() const;

    virtual bool canEject() const { return false; }
    // Ejects the medium; the device is closed afterwards.
    bool eject(QString* error = nullptr);

    // True once for each time playback ran to the end of the medium.
    bool takeCompletion();

protected:
    // Opens the medium: fills tracks_ and endFrame_ (the source is not yet
    // attached to the output).
    virtual bool openMedium(const QString& name, QString* error) = 0;
    virtual void closeMedium() = 0;
    // Positions the medium; called on the GUI thread while render() is idle.
    virtual void seekMedium(qint64 frame) = 0;
    // Audio thread: produces up to `frames` frames from the medium's position.
    virtual int renderMedium(int16_t* out, int frames) = 0;
    virtual bool ejectMedium(QString* error);

    static QString tr(const char* text);

    std::vector<TrackInfo> tracks_;
    qint64 endFrame_ = 0;

private:
    // Closes the medium and forgets everything about it.
    void release();
    qint64 startFrame() const;
    int render(int16_t* out, int frames) override;
    void halt(); // stops the audio thread playing this device
    bool requireOpen(QString* error) const;

    std::shared_ptr<AudioOutput> output_;
    std::atomic<qint64> pos_{0};
    std::atomic<bool> playing_{false};
    std::atomic<int> completions_{0};
    bool paused_ = false;
    bool prepared_ = false; // the medium is read, not yet attached
    bool open_ = false;
};

// The device for a type name (any letter case), or null for an unknown one.
std::unique_ptr<MediaDevice> createMediaDevice(const QString& type);

// The type name matching a file's extension (".wav", ".mid", ".cue", ...),
// empty when none does.
QString deviceTypeForFile(const QString& fileName);

} // namespace lumenta::media
