#include "media/mediadevice.h"

#include "media/cdaudiodevice.h"
#include "media/sequencerdevice.h"
#include "media/wavedevice.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>

namespace lumenta::media {

QString MediaDevice::tr(const char* text) {
    return QCoreApplication::translate("MediaDevice", text);
}

MediaDevice::~MediaDevice() {
    // Subclasses close their medium in their own destructor; this only
    // detaches from the output should one forget.
    if (output_)
        output_->removeSource(this);
}

bool MediaDevice::open(const QString& name, QString* error) {
    return prepare(name, error) && activate(error);
}

bool MediaDevice::prepare(const QString& name, QString* error) {
    close();
    QString why;
    tracks_.clear();
    endFrame_ = 0;
    if (!openMedium(name, &why)) {
        tracks_.clear();
        endFrame_ = 0;
        if (error)
            *error = why;
        return false;
    }
    prepared_ = true;
    return true;
}

bool MediaDevice::activate(QString* error) {
    if (open_)
        return true;
    if (!prepared_) {
        if (error)
            *error = tr("Le périphérique n'est pas ouvert.");
        return false;
    }
    // The output only once the medium is known to be good.
    QString why;
    output_ = AudioOutput::acquire(&why);
    if (!output_) {
        release();
        if (error)
            *error = why;
        return false;
    }
    pos_.store(startFrame());
    seekMedium(pos_.load());
    completions_.store(0);
    paused_ = false;
    prepared_ = false;
    open_ = true;
    output_->addSource(this);
    return true;
}

void MediaDevice::close() {
    if (prepared_) {
        release();
        return;
    }
    if (!open_)
        return;
    output_->removeSource(this);
    playing_.store(false);
    release();
}

void MediaDevice::release() {
    closeMedium();
    prepared_ = false;
    open_ = false;
    paused_ = false;
    tracks_.clear();
    endFrame_ = 0;
    pos_.store(0);
    completions_.store(0);
    output_.reset();
}

qint64 MediaDevice::startFrame() const {
    for (const TrackInfo& t : tracks_)
        if (t.audio)
            return t.startFrame;
    return 0;
}

PlayState MediaDevice::state() const {
    if (!open_)
        return PlayState::Closed;
    if (playing_.load(std::memory_order_acquire))
        return PlayState::Playing;
    return paused_ ? PlayState::Paused : PlayState::Stopped;
}

bool MediaDevice::requireOpen(QString* error) const {
    if (open_)
        return true;
    if (error)
        *error = tr("Le périphérique n'est pas ouvert.");
    return false;
}

void MediaDevice::halt() {
    // Under the lock the mixer is outside render(); once released, render()
    // sees playing_ false and leaves the medium alone.
    output_->lock();
    playing_.store(false, std::memory_order_release);
    completions_.store(0);
    output_->unlock();
}

bool MediaDevice::play(QString* error) {
    if (!requireOpen(error))
        return false;
    if (playing_.load())
        return true;
    const qint64 start = startFrame();
    if (endFrame_ <= start) {
        if (error)
            *error = tr("Le support est vide.");
        return false;
    }
    if (pos_.load() >= endFrame_) {
        seekMedium(start);
        pos_.store(start);
    }
    output_->lock();
    completions_.store(0);
    playing_.store(true, std::memory_order_release);
    output_->unlock();
    paused_ = false;
    return true;
}

bool MediaDevice::pause(QString* error) {
    if (!requireOpen(error))
        return false;
    if (playing_.load()) {
        halt();
        paused_ = true;
    }
    return true;
}

bool MediaDevice::stop(QString* error) {
    if (!requireOpen(error))
        return false;
    halt();
    paused_ = false;
    return true;
}

bool MediaDevice::seek(qint64 ms, QString* error) {
    if (!requireOpen(error))
        return false;
    if (ms < startMs() || ms > lengthMs()) {
        if (error)
            *error = tr("Position hors du support : %1 ms.").arg(ms);
        return false;
    }
    halt();
    paused_ = false;
    const qint64 frame = std::clamp(msToFrames(ms), startFrame(), endFrame_);
    seekMedium(frame);
    pos_.store(frame, std::memory_order_release);
    return true;
}

qint64 MediaDevice::positionMs() const {
    return framesToMs(pos_.load(std::memory_order_acquire));
}
qint64 MediaDevice::lengthMs() const {
    return framesToMs(endFrame_);
}
qint64 MediaDevice::startMs() const {
    return framesToMs(startFrame());
}

int MediaDevice::trackAt(qint64 ms) const {
    // Compared in milliseconds, so a position never reads as lying before
    // the start of its own track. A data track that starts where the
    // playable span ends (right after the last audio track, without a
    // gap) holds no position of it: the end belongs to the audio before.
    const qint64 end = lengthMs();
    int found = tracks_.empty() ? 0 : 1;
    for (int i = 1; i < int(tracks_.size()); ++i) {
        const qint64 start = framesToMs(tracks_[i].startFrame);
        if (start <= ms && (tracks_[i].audio || start < end))
            found = i + 1;
    }
    return found;
}

qint64 MediaDevice::trackStartMs(int track) const {
    if (track < 1 || track > trackCount())
        return 0;
    return framesToMs(tracks_[track - 1].startFrame);
}

qint64 MediaDevice::trackLengthMs(int track) const {
    if (track < 1 || track > trackCount())
        return 0;
    return framesToMs(tracks_[track - 1].frames);
}

bool MediaDevice::isAudioTrack(int track) const {
    return track >= 1 && track <= trackCount() && tracks_[size_t(track) - 1].audio;
}

MediaSnapshot MediaDevice::snapshot() const {
    MediaSnapshot s;
    s.tracks = trackCount();
    s.startMs = startMs();
    s.lengthMs = lengthMs();
    s.positionMs = positionMs();
    s.track = trackAt(s.positionMs);
    s.trackStartMs = trackStartMs(s.track);
    s.trackLengthMs = trackLengthMs(s.track);
    return s;
}

bool MediaDevice::eject(QString* error) {
    if (!requireOpen(error))
        return false;
    if (!canEject()) {
        if (error)
            *error = tr("Ce périphérique ne peut pas éjecter.");
        return false;
    }
    output_->removeSource(this);
    playing_.store(false);
    QString why;
    const bool ok = ejectMedium(&why);
    // Whether or not the tray moved, the medium is let go.
    release();
    if (!ok && error)
        *error = why;
    return ok;
}

bool MediaDevice::ejectMedium(QString* error) {
    if (error)
        *error = tr("Ce périphérique ne peut pas éjecter.");
    return false;
}

bool MediaDevice::takeCompletion() {
    return completions_.exchange(0) > 0;
}

int MediaDevice::render(int16_t* out, int frames) {
    if (!playing_.load(std::memory_order_acquire))
        return 0;
    const qint64 pos = pos_.load(std::memory_order_relaxed);
    const int want = int(std::clamp<qint64>(endFrame_ - pos, 0, frames));
    const int got = want > 0 ? std::clamp(renderMedium(out, want), 0, want) : 0;
    pos_.store(pos + got, std::memory_order_release);
    if (pos + got >= endFrame_) {
        playing_.store(false, std::memory_order_release);
        completions_.fetch_add(1, std::memory_order_acq_rel);
    }
    return got;
}

std::unique_ptr<MediaDevice> createMediaDevice(const QString& type) {
    if (type.compare(QLatin1String("WaveAudio"), Qt::CaseInsensitive) == 0)
        return std::make_unique<WaveAudioDevice>();
    if (type.compare(QLatin1String("Sequencer"), Qt::CaseInsensitive) == 0)
        return std::make_unique<SequencerDevice>();
    if (type.compare(QLatin1String("CDAudio"), Qt::CaseInsensitive) == 0)
        return std::make_unique<CdAudioDevice>();
    return nullptr;
}

QString deviceTypeForFile(const QString& fileName) {
    const QString ext = QFileInfo(fileName).suffix().toLower();
    if (ext == QLatin1String("wav"))
        return QStringLiteral("WaveAudio");
    if (ext == QLatin1String("mid") || ext == QLatin1String("midi") || ext == QLatin1String("rmi"))
        return QStringLiteral("Sequencer");
    if (ext == QLatin1String("cue"))
        return QStringLiteral("CDAudio");
    return QString();
}

} // namespace lumenta::media
