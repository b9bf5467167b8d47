#include "cdplayer/cddisplay.h"

#include "app/module1.h"

#include <algorithm>

namespace lumenta {

QString cdTimeText(qint64 ms) {
    const qint64 seconds = std::max<qint64>(ms, 0) / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

CdTexts cdTexts(const media::MediaSnapshot& s) {
    CdTexts t;
    t.tracks = printForm(s.tracks);
    t.track = printForm(s.track);
    t.discLength = cdTimeText(s.lengthMs - s.startMs);
    t.discElapsed = cdTimeText(s.positionMs - s.startMs);
    t.discLeft = cdTimeText(s.lengthMs - s.positionMs);
    const qint64 inTrack = s.positionMs - s.trackStartMs;
    t.trackLength = cdTimeText(s.trackLengthMs);
    t.trackElapsed = cdTimeText(inTrack);
    t.trackLeft = cdTimeText(s.trackLengthMs - inTrack);
    return t;
}

QPoint placeBeside(const QRect& mainFrame, const QSize& own, const QRect& screen) {
    constexpr int kGap = 8;
    int x = mainFrame.right() + 1 + kGap;
    if (x + own.width() - 1 > screen.right()) {
        x = mainFrame.left() - kGap - own.width();
        if (x < screen.left())
            x = screen.right() + 1 - own.width();
    }
    x = std::max(x, screen.left());
    const int y =
        std::max(std::min(mainFrame.top(), screen.bottom() + 1 - own.height()), screen.top());
    return {x, y};
}

} // namespace lumenta
