#include "media/cdaudiodevice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtEndian>

#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

namespace lumenta::media {

namespace {

constexpr int kChunkSectors = 25; // a third of a second per read
constexpr size_t kRingFrames = size_t(kSampleRate) * 4;

void quietCdio() {
    static std::once_flag once;
    std::call_once(once, [] { cdio_log_set_handler([](cdio_log_level_t, const char*) {}); });
}

} // namespace

QString cueDataFile(const QByteArray& cue) {
    static const QRegularExpression fileLine(
        QStringLiteral(R"re(^\s*FILE\s+(?:"([^"]*)"|(\S+))(?:\s+\S+)?\s*$)re"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption);
    const QString text = QString::fromUtf8(cue).remove(QLatin1Char('\r'));
    const QRegularExpressionMatch m = fileLine.match(text);
    if (!m.hasMatch())
        return QString();
    return m.captured(1).isEmpty() ? m.captured(2) : m.captured(1);
}

QString defaultCdSource() {
    return qEnvironmentVariable("LUMENTA_CD_DEVICE");
}

CdAudioDevice::CdAudioDevice()
    : ring_(kRingFrames), chunk_(size_t(kChunkSectors) * kFramesPerSector * kChannels) {}

CdAudioDevice::~CdAudioDevice() {
    close();
}

bool CdAudioDevice::openImage(const QString& cuePath, QString* error) {
    QFile file(cuePath);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = tr("Image de disque introuvable : %1").arg(cuePath);
        return false;
    }
    const QFileInfo cue(cuePath);
    const QString data = cueDataFile(file.readAll());
    // libcdio reads the data from <name>.bin beside the sheet, whatever the
    // sheet says; when that is not the named file, both are presented to it
    // under matching names in a private folder.
    const QString expected =
        cue.absolutePath() + QLatin1Char('/') + cue.completeBaseName() + QLatin1String(".bin");
    QString openPath = cue.absoluteFilePath();
    if (!data.isEmpty()) {
        const QString named =
            QFileInfo(data).isAbsolute() ? data : cue.absoluteDir().filePath(data);
        const bool namedExists = QFileInfo(named).isFile();
        const bool expectedExists = QFileInfo(expected).isFile();
        if (!namedExists && !expectedExists) {
            *error = tr("Fichier de données du disque introuvable : %1").arg(data);
            return false;
        }
        const bool same =
            expectedExists && (!namedExists || QFileInfo(expected).canonicalFilePath() ==
                                                   QFileInfo(named).canonicalFilePath());
        if (!same || cue.suffix() != QLatin1String("cue")) {
            alias_ = std::make_unique<QTemporaryDir>();
            const QString dir = alias_->path();
            if (!alias_->isValid() || !QFile::copy(cuePath, dir + QLatin1String("/disc.cue")) ||
                !QFile::link(QFileInfo(namedExists ? named : expected).canonicalFilePath(),
                             dir + QLatin1String("/disc.bin"))) {
                alias_.reset();
                *error = tr("Image de disque illisible : %1").arg(cue.fileName());
                return false;
            }
            openPath = dir + QLatin1String("/disc.cue");
        }
    }
    cdio_ = cdio_open_cue(QFile::encodeName(openPath).constData());
    if (!cdio_) {
        alias_.reset();
        *error = tr("Image de disque illisible : %1").arg(cue.fileName());
        return false;
    }
    image_ = true;
    return true;
}

bool CdAudioDevice::openMedium(const QString& name, QString* error) {
    quietCdio();
    const QString source = name.isEmpty() ? defaultCdSource() : name;
    image_ = false;
    if (source.endsWith(QLatin1String(".cue"), Qt::CaseInsensitive)) {
        if (!openImage(source, error))
            return false;
    } else if (!source.isEmpty() && QFileInfo(source).isFile()) {
        cdio_ = cdio_open(QFile::encodeName(source).constData(), DRIVER_UNKNOWN);
        image_ = cdio_ != nullptr;
    } else {
        cdio_ = cdio_open(source.isEmpty() ? nullptr : QFile::encodeName(source).constData(),
                          DRIVER_DEVICE);
    }
    if (!cdio_) {
        if (error->isEmpty())
            *error = source.isEmpty() ? tr("Aucun lecteur de CD.")
                                      : tr("Lecteur ou image de CD introuvable : %1").arg(source);
        return false;
    }

    const track_t first = cdio_get_first_track_num(cdio_);
    const track_t count = cdio_get_num_tracks(cdio_);
    // A drive still spinning up may report no valid count: no disc yet.
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) {
        closeMedium();
        *error = tr("Aucun disque dans le lecteur.");
        return false;
    }
    DiscToc toc;
    toc.leadoutLsn = cdio_get_track_lsn(cdio_, CDIO_CDROM_LEADOUT_TRACK);
    for (int t = first; t < first + count; ++t) {
        TocTrack track;
        track.lsn = cdio_get_track_lsn(cdio_, track_t(t));
        track.audio = cdio_get_track_format(cdio_, track_t(t)) == TRACK_FORMAT_AUDIO;
        const lsn_t pregap = cdio_get_track_pregap_lsn(cdio_, track_t(t));
        track.pregapLsn = pregap == CDIO_INVALID_LSN ? -1 : pregap;
        toc.tracks.push_back(track);
    }
    if (!image_) {
        // A drive knows where the last session starts; when it does not
        // say, a data track after audio is taken to open the data session
        // of an enhanced CD, the only layout that puts it there.
        lsn_t session = CDIO_INVALID_LSN;
        if (cdio_get_last_session(cdio_, &session) == DRIVER_OP_SUCCESS)
            toc.lastSessionLsn = session > 0 ? session : -1;
        else
            for (size_t i = 1; i < toc.tracks.size() && toc.lastSessionLsn < 0; ++i)
                if (toc.tracks[i - 1].audio && !toc.tracks[i].audio)
                    toc.lastSessionLsn = toc.tracks[i].lsn;
    }
    std::optional<DiscLayout> layout = discLayout(toc);
    if (!layout) {
        closeMedium();
        *error = tr("Le disque ne contient aucune piste audio.");
        return false;
    }
    tracks_ = std::move(layout->tracks);
    endFrame_ = layout->endFrame;
    return true;
}

void CdAudioDevice::closeMedium() {
    stopReader();
    if (cdio_)
        cdio_destroy(cdio_);
    cdio_ = nullptr;
    alias_.reset();
    image_ = false;
}

bool CdAudioDevice::ejectMedium(QString*) {
    stopReader();
    // On an image there is no tray: ejecting lets the image go. (libcdio's
    // eject on an image would also free it, and the close after it crash.)
    if (image_ || !cdio_)
        return true;
    // The tray takes a second or two to open; the drive's handle is handed
    // to a thread that ejects and frees it, so nothing waits for it.
    CdIo_t* drive = std::exchange(cdio_, nullptr);
    std::thread([drive]() mutable {
        if (cdio_eject_media(&drive) != DRIVER_OP_SUCCESS && drive)
            cdio_destroy(drive);
    }).detach();
    return true;
}

void CdAudioDevice::seekMedium(qint64 frame) {
    stopReader();
    ring_.clear();
    // An image reads at file speed: its first second is in the ring before
    // play can start, so playback never opens on a gap.
    if (image_) {
        const qint64 ahead = frame + kSampleRate;
        while (frame < std::min(ahead, endFrame_))
            frame = readChunk(frame);
    }
    startReader(frame);
}

int CdAudioDevice::renderMedium(int16_t* out, int frames) {
    return int(ring_.read(out, size_t(frames)));
}

void CdAudioDevice::startReader(qint64 frame) {
    stopReader_.store(false);
    reader_ = std::thread([this, frame] { readerLoop(frame); });
}

void CdAudioDevice::stopReader() {
    if (!reader_.joinable())
        return;
    stopReader_.store(true);
    reader_.join();
}

bool CdAudioDevice::isAudioSector(qint64 lsn, qint64* runEnd) const {
    const qint64 frame = lsn * kFramesPerSector;
    for (const TrackInfo& t : tracks_) {
        if (frame >= t.startFrame && frame < t.startFrame + t.frames) {
            *runEnd = (t.startFrame + t.frames) / kFramesPerSector;
            return t.audio;
        }
    }
    *runEnd = lsn + 1;
    return false;
}

void CdAudioDevice::readerLoop(qint64 frame) {
    while (!stopReader_.load() && frame < endFrame_) {
        if (ring_.space() < size_t(kChunkSectors) * kFramesPerSector)
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        else
            frame = readChunk(frame);
    }
}

qint64 CdAudioDevice::readChunk(qint64 frame) {
    const qint64 endLsn = endFrame_ / kFramesPerSector;
    const qint64 lsn = frame / kFramesPerSector;
    const size_t skip = size_t(frame % kFramesPerSector);
    qint64 runEnd = 0;
    const bool audio = isAudioSector(lsn, &runEnd);
    const int n = int(std::min<qint64>({kChunkSectors, endLsn - lsn, runEnd - lsn}));
    const size_t samples = size_t(n) * kFramesPerSector * kChannels;
    int16_t* buf = chunk_.data();
    const bool ok =
        audio && cdio_read_audio_sectors(cdio_, buf, lsn_t(lsn), unsigned(n)) == DRIVER_OP_SUCCESS;
    if (!ok)
        std::fill_n(buf, samples, int16_t(0)); // unreadable or data: silence
#if Q_BYTE_ORDER == Q_BIG_ENDIAN
    else
        for (size_t i = 0; i < samples; ++i)
            buf[i] = int16_t(qFromLittleEndian<quint16>(quint16(buf[i])));
#endif
    ring_.write(buf + skip * kChannels, size_t(n) * kFramesPerSector - skip);
    return (lsn + n) * kFramesPerSector;
}

} // namespace lumenta::media
