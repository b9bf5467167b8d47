#include "media/wavedevice.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lumenta::media {

namespace {

constexpr qint64 kWindowFrames = 4096;

quint32 le32(const char* p) {
    return quint32(uchar(p[0])) | quint32(uchar(p[1])) << 8 | quint32(uchar(p[2])) << 16 |
           quint32(uchar(p[3])) << 24;
}

quint16 le16(const char* p) {
    return quint16(uchar(p[0]) | uchar(p[1]) << 8);
}

} // namespace

QString checkWaveLayout(const QByteArray& head, qint64 fileSize) {
    if (head.size() < 12 || !head.startsWith("RIFF") || head.mid(8, 4) != "WAVE")
        return QString();
    qint64 offset = 12;
    qint64 blockAlign = 4;
    while (offset + 8 <= head.size()) {
        const char* chunk = head.constData() + offset;
        const quint32 size = le32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0 && offset + 8 + 14 <= head.size())
            blockAlign = std::max<qint64>(1, le16(chunk + 8 + 12));
        if (std::memcmp(chunk, "data", 4) == 0) {
            if (size == 0 || size == 0x7FFFFFFFu || size == 0xFFFFFFFFu)
                return QString();
            const qint64 present = fileSize - (offset + 8);
            if (qint64(size) - present >= blockAlign)
                return QCoreApplication::translate(
                           "MediaDevice",
                           "Fichier WAV tronqué : %1 octets de son annoncés, %2 présents.")
                    .arg(size)
                    .arg(std::max<qint64>(present, 0));
            return QString();
        }
        offset += 8 + qint64(size) + (size & 1);
    }
    return QString();
}

WaveAudioDevice::~WaveAudioDevice() {
    close();
}

bool WaveAudioDevice::openMedium(const QString& name, QString* error) {
    QFile probe(name);
    if (!probe.open(QIODevice::ReadOnly)) {
        *error = tr("Impossible de lire le fichier %1.").arg(QFileInfo(name).fileName());
        return false;
    }
    const QString layout = checkWaveLayout(probe.read(64 * 1024), probe.size());
    probe.close();
    if (!layout.isEmpty()) {
        *error = layout;
        return false;
    }

    SF_INFO info{};
    SNDFILE* f = sf_open(QFile::encodeName(name).constData(), SFM_READ, &info);
    if (!f) {
        *error = tr("Fichier WAV illisible : %1").arg(QString::fromUtf8(sf_strerror(nullptr)));
        return false;
    }
    if (info.frames <= 0 || info.channels <= 0 || info.samplerate <= 0) {
        sf_close(f);
        *error = tr("Le fichier WAV ne contient aucun son.");
        return false;
    }
    file_ = f;
    rate_ = info.samplerate;
    channels_ = info.channels;
    frames_ = info.frames;
    buf_.assign(size_t(kWindowFrames) * channels_, 0.0f);
    bufStart_ = 0;
    bufCount_ = 0;
    exhausted_ = false;
    outFrame_ = 0;

    endFrame_ = (frames_ * kSampleRate + rate_ - 1) / rate_;
    tracks_.push_back(TrackInfo{0, endFrame_, true});
    return true;
}

void WaveAudioDevice::closeMedium() {
    if (file_)
        sf_close(file_);
    file_ = nullptr;
    buf_.clear();
}

void WaveAudioDevice::seekMedium(qint64 frame) {
    outFrame_ = frame;
    const qint64 index = std::min(frame * rate_ / kSampleRate, frames_);
    bufCount_ = 0;
    exhausted_ = false;
    if (sf_seek(file_, index, SEEK_SET) >= 0) {
        bufStart_ = index;
        return;
    }
    // A format without seeking: read up to the place from the beginning.
    sf_seek(file_, 0, SEEK_SET);
    bufStart_ = 0;
    while (bufStart_ < index) {
        const sf_count_t n =
            sf_readf_float(file_, buf_.data(), std::min<qint64>(kWindowFrames, index - bufStart_));
        if (n <= 0) {
            exhausted_ = true;
            break;
        }
        bufStart_ += n;
    }
}

bool WaveAudioDevice::ensureSource(qint64 index) {
    while (index >= bufStart_ + bufCount_) {
        if (exhausted_)
            return false;
        // Keep only what is still needed (the frame before index, for the
        // interpolation), then read on.
        const qint64 keepFrom = std::clamp<qint64>(index - 1, bufStart_, bufStart_ + bufCount_);
        const qint64 drop = keepFrom - bufStart_;
        if (drop > 0) {
            std::memmove(buf_.data(), buf_.data() + drop * channels_,
                         size_t(bufCount_ - drop) * channels_ * sizeof(float));
            bufStart_ += drop;
            bufCount_ -= drop;
        }
        const sf_count_t n =
            sf_readf_float(file_, buf_.data() + bufCount_ * channels_, kWindowFrames - bufCount_);
        if (n <= 0) {
            exhausted_ = true;
            return false;
        }
        bufCount_ += n;
    }
    return index >= bufStart_;
}

int WaveAudioDevice::renderMedium(int16_t* out, int frames) {
    auto sample = [](float v) {
        return int16_t(std::clamp(std::lrint(v * 32767.0f), -32768L, 32767L));
    };
    for (int i = 0; i < frames; ++i, ++outFrame_) {
        // Source position of this output frame: index + fraction.
        const qint64 scaled = outFrame_ * rate_;
        const qint64 index = scaled / kSampleRate;
        const float frac = float(scaled % kSampleRate) / float(kSampleRate);
        float left = 0.0f;
        float right = 0.0f;
        if (index < frames_ && ensureSource(index)) {
            // Reading the next frame may shift the window, but keeps index.
            const bool next = frac > 0.0f && index + 1 < frames_ && ensureSource(index + 1);
            const float* a = buf_.data() + (index - bufStart_) * channels_;
            const float* b = next ? a + channels_ : a;
            const int rc = channels_ > 1 ? 1 : 0;
            left = a[0] + (b[0] - a[0]) * frac;
            right = a[rc] + (b[rc] - a[rc]) * frac;
        }
        out[2 * i] = sample(left);
        out[2 * i + 1] = sample(right);
    }
    return frames;
}

} // namespace lumenta::media
