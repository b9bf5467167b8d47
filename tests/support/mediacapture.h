#pragma once
// Test helpers for sound: the audio output is routed to SDL's "disk"
// driver (a raw 16-bit stereo file, written faster than real time), and
// what reached it is read back and measured.
#include "media/audiooutput.h"
#include "support/testutil.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace mediatest {

inline QString diskFile() {
    return QDir::temp().filePath(QStringLiteral("lumenta-audio-%1.raw").arg(getpid()));
}

// Call from a static initializer, before any audio starts.
inline bool routeAudioToDisk() {
    qputenv("SDL_AUDIODRIVER", "disk");
    qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(diskFile()));
    qputenv("SDL_DISKAUDIODELAY", "1");
    std::atexit([] { QFile::remove(diskFile()); });
    return true;
}

constexpr int kRate = 44100;

// Keeps the audio thread out of the mixer while it lives: what is started
// under it cannot run out before the test has looked (the disk output plays
// many times faster than real time, so a stalled test thread misses it).
class HeldOutput {
public:
    HeldOutput() : out_(lumenta::media::AudioOutput::acquire()) { out_->lock(); }
    ~HeldOutput() { out_->unlock(); }
    HeldOutput(const HeldOutput&) = delete;
    HeldOutput& operator=(const HeldOutput&) = delete;

private:
    std::shared_ptr<lumenta::media::AudioOutput> out_;
};

// The three-track disc image (cue sheet and data file) copied into dir;
// returns the cue sheet's path.
inline QString copyDisc(const QTemporaryDir& dir) {
    testutil::copyFixture(dir, "media/disc.bin");
    return testutil::copyFixture(dir, "media/disc.cue");
}

struct Capture {
    std::vector<int16_t> left;
    std::vector<int16_t> right;
    size_t size() const { return left.size(); }
};

// What the output wrote. Read it once the output is closed (every device
// closed), so the file is complete.
inline Capture readCapture() {
    QFile f(diskFile());
    Capture c;
    if (!f.open(QIODevice::ReadOnly))
        return c;
    const QByteArray bytes = f.readAll();
    const auto* s = reinterpret_cast<const int16_t*>(bytes.constData());
    const size_t frames = size_t(bytes.size()) / 4;
    c.left.resize(frames);
    c.right.resize(frames);
    for (size_t i = 0; i < frames; ++i) {
        c.left[i] = s[2 * i];
        c.right[i] = s[2 * i + 1];
    }
    return c;
}

// First and one-past-last frame louder than threshold; first == size when silent.
inline size_t firstSound(const std::vector<int16_t>& x, int threshold = 200) {
    for (size_t i = 0; i < x.size(); ++i)
        if (std::abs(int(x[i])) > threshold)
            return i;
    return x.size();
}
inline size_t endOfSound(const std::vector<int16_t>& x, int threshold = 200) {
    for (size_t i = x.size(); i > 0; --i)
        if (std::abs(int(x[i - 1])) > threshold)
            return i;
    return 0;
}

// Frames as milliseconds of output.
inline double ms(size_t frames) {
    return double(frames) * 1000 / kRate;
}

inline double rms(const std::vector<int16_t>& x, size_t from, size_t count) {
    double sum = 0;
    const size_t end = std::min(x.size(), from + count);
    for (size_t i = from; i < end; ++i)
        sum += double(x[i]) * x[i];
    return end > from ? std::sqrt(sum / double(end - from)) : 0.0;
}

// Frequency of a pure tone from its zero crossings.
inline double toneFrequency(const std::vector<int16_t>& x, size_t from, size_t count) {
    const size_t end = std::min(x.size(), from + count);
    int crossings = 0;
    for (size_t i = from + 1; i < end; ++i)
        if ((x[i - 1] < 0) != (x[i] < 0))
            ++crossings;
    return end > from ? crossings / 2.0 / (double(end - from) / kRate) : 0.0;
}

// Power of one frequency over a Hann-windowed stretch (Goertzel).
inline double powerAt(const std::vector<int16_t>& x, size_t from, size_t count, double freq) {
    const double w = 2 * M_PI * freq / kRate;
    const double k = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (size_t i = 0; i < count && from + i < x.size(); ++i) {
        const double hann = 0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(count - 1));
        const double s = x[from + i] * hann + k * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return (s1 * s1 + s2 * s2 - k * s1 * s2) / double(count * count);
}

// Millisecond after `from` where a note of `freq` first reaches a third of
// its loudest, scanning 50 ms windows in 5 ms steps; -1 if never.
inline double onsetMs(const std::vector<int16_t>& x, size_t from, double freq) {
    const size_t win = kRate / 20;
    const size_t hop = kRate / 200;
    std::vector<double> p;
    for (size_t at = from; at + win < x.size(); at += hop)
        p.push_back(powerAt(x, at, win, freq));
    double peak = 0;
    for (double v : p)
        peak = std::max(peak, v);
    for (size_t i = 0; i < p.size(); ++i)
        if (p[i] >= peak / 3)
            return (double(i * hop) + win / 2.0) * 1000.0 / kRate;
    return -1;
}

} // namespace mediatest
