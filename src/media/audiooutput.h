#pragma once
// The program's one sound output: 44.1 kHz, 16-bit stereo through SDL,
// shared by every open media device. Devices hand it an AudioSource; the
// output mixes all sources on SDL's audio thread.
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

namespace lumenta::media {

constexpr int kSampleRate = 44100;
constexpr int kChannels = 2;

// Frames (one sample per channel) and milliseconds at the output rate.
inline qint64 framesToMs(qint64 frames) {
    return (frames * 1000 + kSampleRate / 2) / kSampleRate;
}
inline qint64 msToFrames(qint64 ms) {
    return ms * kSampleRate / 1000;
}

// Something that produces sound. render() runs on the audio thread and must
// not touch Qt objects, take slow locks or allocate.
class AudioSource {
public:
    virtual ~AudioSource() = default;
    // Writes up to `frames` interleaved stereo frames into out and returns
    // how many it wrote; the output treats the rest as silence.
    virtual int render(int16_t* out, int frames) = 0;
};

class AudioOutput {
public:
    // The shared output, opened on first use and closed when the last
    // holder lets go. When no sound device opens, SDL's "dummy" driver
    // stands in, so playback still runs in real time. Null only if even
    // that fails (error set).
    static std::shared_ptr<AudioOutput> acquire(QString* error = nullptr);

    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // After removeSource() returns, the source's render() is not running
    // and is never called again.
    void addSource(AudioSource* source);
    void removeSource(AudioSource* source);

    // Holds the audio thread out of the mixer: between lock() and unlock()
    // no render() runs. Keep the section short.
    void lock();
    void unlock();

    // The SDL driver in use ("alsa", "pulseaudio", "disk", "dummy", ...).
    QString driverName() const { return driver_; }

private:
    AudioOutput() = default;
    bool start(QString* error);
    static void callback(void* self, uint8_t* stream, int len);
    void mix(int16_t* out, int frames);

    uint32_t device_ = 0;
    bool initedSubsystem_ = false; // SDL_InitSubSystem, else SDL_AudioInit
    QString driver_;
    std::vector<AudioSource*> sources_; // changed only under lock()
    std::vector<int16_t> scratch_;
    std::vector<int32_t> accum_;
};

// Keeps the sound libraries' own messages off the terminal (SDL, ALSA).
void quietAudioLibraries();

} // namespace lumenta::media
