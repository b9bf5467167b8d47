// Audio disc images: a cue sheet (the input) beside its data file, opened as
// the CD player opens them, and the disc layout made from a table of
// contents (the same bytes read as one, as a drive could report it).
#include "fuzzsupport.h"

#include "media/cdaudiodevice.h"
#include "media/disclayout.h"

#include <QFile>

#include <limits>

using namespace lumenta;
using namespace lumenta::media;

namespace {

// Sectors of the data file beside the sheet: a little over 10 s of sound.
constexpr qint64 kDataSectors = 800;

DiscToc tocFrom(fuzz::InputReader& in) {
    DiscToc toc;
    const int tracks = in.takeInRange<int>(0, 99);
    for (int i = 0; i < tracks && in.left() > 0; ++i) {
        TocTrack t;
        t.lsn = in.take<qint32>(); // libcdio's lsn_t
        t.audio = in.takeBool();
        t.pregapLsn = in.takeBool() ? -1 : in.take<qint32>();
        toc.tracks.push_back(t);
    }
    toc.leadoutLsn = in.take<qint32>();
    toc.lastSessionLsn = in.takeBool() ? -1 : in.take<qint32>();
    return toc;
}

void checkLayout(const DiscToc& toc) {
    const std::optional<DiscLayout> layout = discLayout(toc);
    bool anyAudio = false;
    for (const TocTrack& t : toc.tracks)
        anyAudio = anyAudio || t.audio;
    LUMENTA_FUZZ_CHECK(layout.has_value() == anyAudio);
    if (!layout)
        return;
    LUMENTA_FUZZ_CHECK(layout->tracks.size() == toc.tracks.size());
    for (size_t i = 0; i < layout->tracks.size(); ++i) {
        const TrackInfo& t = layout->tracks[i];
        LUMENTA_FUZZ_CHECK(t.startFrame >= 0 && t.frames >= 0);
        LUMENTA_FUZZ_CHECK(t.audio == toc.tracks[i].audio);
    }
    LUMENTA_FUZZ_CHECK(layout->endFrame >= 0);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::startCoreApplication();
    // The data file libcdio reads beside the sheet (it only ever looks at
    // disc.bin, whatever the sheet names).
    QFile bin(fuzz::scratchFolder() + QStringLiteral("/disc.bin"));
    if (!bin.open(QIODevice::WriteOnly) || !bin.resize(kDataSectors * 2352))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    fuzz::InputReader in(data, size);
    checkLayout(tocFrom(in));

    const QString cue = fuzz::writeScratchFile(QStringLiteral("disc.cue"), bytes);
    cueDataFile(bytes);
    CdAudioDevice cd;
    QString error;
    if (cd.prepare(cue, &error)) {
        LUMENTA_FUZZ_CHECK(cd.trackCount() >= 1);
        for (int t = 1; t <= cd.trackCount(); ++t) {
            LUMENTA_FUZZ_CHECK(cd.trackStartMs(t) >= 0 && cd.trackLengthMs(t) >= 0);
            cd.isAudioTrack(t);
        }
        LUMENTA_FUZZ_CHECK(cd.startMs() >= 0);
        cd.lengthMs();
        cd.close();
    } else {
        LUMENTA_FUZZ_CHECK(!error.isEmpty());
    }
    return 0;
}
