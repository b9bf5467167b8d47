#pragma once
// What the CD player shows, computed without a window: times as minutes
// and seconds, the texts of its labels for one reading of the disc, and
// where the window goes beside the main window.
#include "media/mediadevice.h"

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

namespace lumenta {

// Minutes and seconds, seconds truncated: 61500 ms reads 1:01, 75 minutes
// 75:00. A negative time reads 0:00.
QString cdTimeText(qint64 ms);

struct CdTexts {
    QString tracks; // number of tracks, in print form (" 3")
    QString track;  // the current track, same form
    QString discLength, discElapsed, discLeft;
    QString trackLength, trackElapsed, trackLeft;
};

// The labels' texts for one reading. Disc times count from the first audio
// track, so a disc that opens with a data track starts at 0:00.
CdTexts cdTexts(const media::MediaSnapshot& s);

// The top-left corner for a window of frame size `own` beside the main
// window's frame: to its right when that fits on the screen, else to its
// left, else against the screen's right edge; top edges aligned, kept on
// the screen.
QPoint placeBeside(const QRect& mainFrame, const QSize& own, const QRect& screen);

} // namespace lumenta
