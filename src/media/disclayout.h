#pragma once
// From a disc's table of contents to the tracks a player plays: track
// numbers stay the disc's own, data tracks are kept but marked, and the
// playable span runs from the first to the end of the last audio track.
#include "media/mediadevice.h"

#include <optional>
#include <vector>

namespace lumenta::media {

constexpr int kFramesPerSector = 588; // 2352 bytes of 16-bit stereo
// Lead-out of the first session, lead-in and pregap of the next: what lies
// between the audio and the data session of an enhanced CD.
constexpr qint64 kSessionGapSectors = 11400;

struct TocTrack {
    qint64 lsn = 0; // start (index 1)
    bool audio = true;
    qint64 pregapLsn = -1; // start of its pregap (index 0), -1 when unknown
};

struct DiscToc {
    std::vector<TocTrack> tracks;
    qint64 leadoutLsn = 0;
    // First sector of the last session, -1 when unknown or single-session.
    qint64 lastSessionLsn = -1;
};

struct DiscLayout {
    std::vector<TrackInfo> tracks; // in frames
    qint64 endFrame = 0;           // end of the last audio track
};

// Nothing when the disc holds no audio track. An audio track followed by
// a data track ends where the data's gap begins: 11,400 sectors before the
// data session when the data track opens a later session, else at the data
// track's pregap when it is known.
std::optional<DiscLayout> discLayout(const DiscToc& toc);

} // namespace lumenta::media
