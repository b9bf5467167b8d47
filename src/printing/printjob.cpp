#include "printing/printjob.h"

#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include <cups/cups.h>

namespace lumenta {

QPageSize proposedPaper(const QPrinter& printer, const QPageSize& before) {
    if (printer.outputFormat() != QPrinter::NativeFormat || printer.printerName().isEmpty())
        return before;
    const QPrinterInfo queue(printer);
    const QPageSize paper = queue.isNull() ? QPageSize() : queue.defaultPageSize();
    return paper.isValid() ? paper : before;
}

QPageSize jobPaper(const QPageSize& laidOut, const QPageSize& proposed, const QPageSize& chosen) {
    if (!chosen.isValid() || chosen.isEquivalentTo(proposed))
        return laidOut;
    return chosen;
}

bool printPicture(QPrinter& printer, const QImage& picture, const QRectF& mm) {
    // Coordinates from the paper's corner, not from the printable area.
    printer.setFullPage(true);
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const double dotsPerMM = printer.resolution() / 25.4;
    painter.scale(dotsPerMM, dotsPerMM);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (mm.width() > 0 && mm.height() > 0)
        painter.drawImage(mm, picture);
    if (printer.printerState() == QPrinter::Error) {
        printer.abort();
        painter.end();
        return false;
    }
    if (!painter.end())
        return false;
    // Qt hands the document to CUPS in end() and ignores the answer; a
    // queue that refuses the job leaves its error here, on this thread.
    if (printer.outputFormat() == QPrinter::NativeFormat &&
        cupsLastError() > IPP_STATUS_OK_EVENTS_COMPLETE)
        return false;
    return printer.printerState() != QPrinter::Error;
}

} // namespace lumenta
