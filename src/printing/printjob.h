#pragma once
// One print job: a picture drawn at a place and size in millimetres measured
// from the corner of the paper as it is turned.
#include <QPageSize>
#include <QRectF>

class QImage;
class QPrinter;

namespace lumenta {

// The paper the printer dialog proposes for the printer it was left on:
// Qt's dialog starts from a queue's own default paper, whatever the printer
// object held; a printer writing to a file keeps `before`, the paper it held
// when the dialog opened.
QPageSize proposedPaper(const QPrinter& printer, const QPageSize& before);

// The paper a job goes on: the one the layout was made for (`laidOut`),
// unless the dialog ended on another paper than the one it proposed, which
// the user then picked.
QPageSize jobPaper(const QPageSize& laidOut, const QPageSize& proposed, const QPageSize& chosen);

// Prints `picture` into `mm` (left, top, width, height in millimetres) as
// one job on `printer`. False when the job could not be made or the print
// system refused it; a job left unfinished is cancelled. Safe to run on a
// worker thread as long as nothing else uses the printer meanwhile.
bool printPicture(QPrinter& printer, const QImage& picture, const QRectF& mm);

} // namespace lumenta
