#pragma once
// One print job: a picture drawn at a place and size in millimetres measured
// from the corner of the paper as it is turned.
#include <QRectF>

class QImage;
class QPrinter;

namespace lumenta {

// Prints `picture` into `mm` (left, top, width, height in millimetres) as
// one job on `printer`. False when the job could not be made or the print
// system refused it; a job left unfinished is cancelled. Safe to run on a
// worker thread as long as nothing else uses the printer meanwhile.
bool printPicture(QPrinter& printer, const QImage& picture, const QRectF& mm);

} // namespace lumenta
