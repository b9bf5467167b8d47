#pragma once
// "WaveAudio": WAV files read through libsndfile as float, converted to
// the output's 44.1 kHz stereo (linear interpolation when the rate
// differs). The file is streamed, not loaded whole.
#include "media/mediadevice.h"

#include <QByteArray>

#include <vector>

typedef struct sf_private_tag SNDFILE;

namespace lumenta::media {

// Checks the RIFF chunk layout of a WAV file: a data chunk that claims more
// bytes than the file holds means a truncated file. The sizes streaming
// writers leave as placeholders (0, 0x7FFFFFFF, 0xFFFFFFFF) pass. Returns
// an error text, empty when the layout is sound or not RIFF at all.
QString checkWaveLayout(const QByteArray& head, qint64 fileSize);

class WaveAudioDevice final : public MediaDevice {
public:
    WaveAudioDevice() = default;
    ~WaveAudioDevice() override;

    QString typeName() const override { return QStringLiteral("WaveAudio"); }

    // The file's own format, for information.
    int sourceRate() const { return rate_; }
    int sourceChannels() const { return channels_; }
    qint64 sourceFrames() const { return frames_; }

protected:
    bool openMedium(const QString& name, QString* error) override;
    void closeMedium() override;
    void seekMedium(qint64 frame) override;
    int renderMedium(int16_t* out, int frames) override;

private:
    bool ensureSource(qint64 index); // makes source frame `index` available

    SNDFILE* file_ = nullptr;
    int rate_ = 0;
    int channels_ = 0;
    qint64 frames_ = 0;
    qint64 outFrame_ = 0; // next output frame to produce
    // A window of decoded source frames [bufStart_, bufStart_ + bufCount_);
    // the file's read position is always at its end.
    std::vector<float> buf_;
    qint64 bufStart_ = 0;
    qint64 bufCount_ = 0;
    bool exhausted_ = false;
};

} // namespace lumenta::media
