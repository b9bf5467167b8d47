#include "media/disclayout.h"

#include <algorithm>

namespace lumenta::media {

std::optional<DiscLayout> discLayout(const DiscToc& toc) {
    DiscLayout layout;
    const int n = int(toc.tracks.size());
    int lastAudio = -1;
    for (int i = 0; i < n; ++i) {
        const TocTrack& t = toc.tracks[size_t(i)];
        const qint64 start = std::max<qint64>(t.lsn, 0);
        qint64 end = std::max(i + 1 < n ? toc.tracks[size_t(i) + 1].lsn : toc.leadoutLsn, start);
        if (t.audio && i + 1 < n && !toc.tracks[size_t(i) + 1].audio) {
            const TocTrack& data = toc.tracks[size_t(i) + 1];
            qint64 gap = end;
            if (toc.lastSessionLsn > start && data.lsn >= toc.lastSessionLsn)
                gap = toc.lastSessionLsn - kSessionGapSectors;
            else if (data.pregapLsn >= 0)
                gap = data.pregapLsn;
            // A gap that would leave the track nothing is not believed.
            if (gap > start)
                end = std::min(end, gap);
        }
        layout.tracks.push_back(
            TrackInfo{start * kFramesPerSector, (end - start) * kFramesPerSector, t.audio});
        if (t.audio)
            lastAudio = i;
    }
    if (lastAudio < 0)
        return std::nullopt;
    const TrackInfo& last = layout.tracks[size_t(lastAudio)];
    layout.endFrame = last.startFrame + last.frames;
    return layout;
}

} // namespace lumenta::media
