#pragma once
// Reads FLI and FLC animations frame by frame (FFmpeg's demuxer and
// decoder), giving each frame as a 32-bit QImage and the animation's frame
// rate from its header: 1/70 s ticks for FLI, milliseconds for FLC.
#include <QImage>
#include <QSize>
#include <QString>
#include <memory>

namespace lumenta {

class FlicDecoder {
public:
    FlicDecoder();
    ~FlicDecoder();
    FlicDecoder(const FlicDecoder&) = delete;
    FlicDecoder& operator=(const FlicDecoder&) = delete;

    // Opens an animation and makes the first frame the next one read.
    // False when the file is missing, unreadable or not a FLIC animation;
    // error() tells why.
    bool open(const QString& path);
    void close();
    bool isOpen() const;

    // Starts again at the first frame (the file is opened anew).
    bool rewind();

    // Decodes the next frame. False at the end of the animation and when a
    // frame cannot be decoded (error() is set in that case only).
    bool readFrame(QImage& frame);

    QString path() const;
    QString error() const;
    QSize frameSize() const;
    // Frames the animation holds: the header's count, without the closing
    // "ring" frame that leads back to the first one; lowered when the file
    // ends early. 0 when unknown.
    int frameCount() const;
    // Frames decoded since open() or rewind().
    int framesRead() const;
    // How long each frame stays on screen, in milliseconds (not rounded).
    double frameDurationMs() const;

    // Moment, in whole milliseconds from the start of the animation, at
    // which frame `index` appears. Frame i stays on screen for
    // frameStartMs(i + 1) - frameStartMs(i), so the rounding never drifts.
    static qint64 frameStartMs(int index, double frameDurationMs);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// What decodeFlicFrames() found.
struct FlicSummary {
    QSize size;
    int frames = 0;
    double frameDurationMs = 0;
};

// Decodes every frame of an animation once, handing each to `sink` (which
// returns false to stop). False when the file cannot be opened or no frame
// decodes; `error` then says why.
template <typename Sink>
bool decodeFlicFrames(const QString& path, Sink&& sink, FlicSummary& summary, QString& error) {
    FlicDecoder decoder;
    if (!decoder.open(path)) {
        error = decoder.error();
        return false;
    }
    summary.size = decoder.frameSize();
    summary.frameDurationMs = decoder.frameDurationMs();
    QImage frame;
    while (decoder.readFrame(frame)) {
        ++summary.frames;
        if (!sink(summary.frames - 1, frame))
            break;
    }
    if (summary.frames == 0) {
        error = decoder.error();
        return false;
    }
    return true;
}

} // namespace lumenta
