#pragma once
// "CDAudio": an audio disc through libcdio, read digitally into the shared
// output. The disc is the one in the default drive, or what the device is
// opened on: a drive's device file or a disc image (X.cue with its data
// file). With no name given, the environment variable LUMENTA_CD_DEVICE
// may name either.
//
// Only audio tracks play: a disc whose first track is data starts at its
// first audio track, and the data session of an enhanced CD is left out.
// Track numbers stay those of the disc.
//
// A reader thread pulls sectors ahead of the audio thread into a ring, so
// a slow drive never stalls the output. Ejecting a drive's tray runs on a
// thread of its own.
#include "media/disclayout.h"
#include "media/framering.h"
#include "media/mediadevice.h"

#include <QByteArray>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

class QTemporaryDir;
typedef struct _CdIo CdIo_t;

namespace lumenta::media {

// The data file named by the first FILE line of a cue sheet, empty if none.
QString cueDataFile(const QByteArray& cue);

// What an "Open" without a name reaches: LUMENTA_CD_DEVICE, else empty
// (the default drive).
QString defaultCdSource();

class CdAudioDevice final : public MediaDevice {
public:
    CdAudioDevice();
    ~CdAudioDevice() override;

    QString typeName() const override { return QStringLiteral("CDAudio"); }
    bool canEject() const override { return true; }
    bool isImage() const { return image_; }

protected:
    bool openMedium(const QString& name, QString* error) override;
    void closeMedium() override;
    void seekMedium(qint64 frame) override;
    int renderMedium(int16_t* out, int frames) override;
    bool ejectMedium(QString* error) override;

private:
    bool openImage(const QString& cuePath, QString* error);
    void startReader(qint64 frame);
    void stopReader();
    void readerLoop(qint64 frame);
    // Reads from frame to the end of its chunk into the ring; returns where
    // the next read starts. One thread at a time.
    qint64 readChunk(qint64 frame);
    bool isAudioSector(qint64 lsn, qint64* runEnd) const;

    CdIo_t* cdio_ = nullptr;
    bool image_ = false;
    std::unique_ptr<QTemporaryDir> alias_; // when the cue's data file needs another name
    FrameRing ring_;
    std::vector<int16_t> chunk_;
    std::thread reader_;
    std::atomic<bool> stopReader_{false};
};

} // namespace lumenta::media
