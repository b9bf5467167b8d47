#include "browser/panelgeometry.h"

#include "browser/pathsection.h"

#include <QCoreApplication>
#include <algorithm>

namespace lumenta::panel {

int lotCount(int count) {
    return count <= 0 ? 0 : (count - 1) / kLotSize + 1;
}

int lotFirst(int lot) {
    return (std::max(lot, 1) - 1) * kLotSize;
}

int lotPicCount(int count, int lot) {
    return std::clamp(count - lotFirst(lot), 0, kLotSize);
}

Place placeOf(int position) {
    Place p;
    const int pos = std::max(position, 0);
    p.lot = pos / kLotSize + 1;
    const int cell0 = pos % kLotSize;
    p.cell = cell0 + 1;
    p.row = cell0 / kColumns + 1;
    p.col = cell0 % kColumns + 1;
    p.page = cell0 / (kColumns * kRowsPerPage);
    return p;
}

QPoint cellOrigin(int row, int col) {
    return {kThumbSide / 2 + kCellWidth * (col - 1), kThumbSide / 2 + kCellHeight * (row - 1)};
}

QPoint captionOrigin(int row, int col) {
    return cellOrigin(row, col) + QPoint(-7, 34);
}

FrameBox frameBox(int row, int col) {
    const QPoint o = cellOrigin(row, col);
    return {o.x() - 11, o.x() + 43, o.y() - 2, o.y() + 54};
}

CellHit FindCell(double x, double y, int lotPicCount, double width, double height) {
    const double cw = width / kColumns, ch = height / kRows;
    CellHit hit{kColumns + 1, kRows + 1, 0};
    for (int c = 1; c <= kColumns; ++c) {
        if (c * cw > x) {
            hit.col = c;
            break;
        }
    }
    for (int r = 1; r <= kRows; ++r) {
        if (r * ch > y) {
            hit.row = r;
            break;
        }
    }
    hit.cell = (hit.row - 1) * kColumns + hit.col;
    // Beyond the grid, or on an empty cell: nothing is selected.
    if (x < 0 || y < 0 || hit.col > kColumns || hit.row > kRows || hit.cell > lotPicCount)
        hit.cell = 0;
    return hit;
}

int enabledPages(int lotPicCount) {
    if (lotPicCount <= 0)
        return 0;
    return std::min((lotPicCount - 1) / (kColumns * kRowsPerPage) + 1, kPages);
}

int pageScroll(int page, int scrollMax) {
    if (page <= 0)
        return 0;
    return std::min(scrollMax / 3 * page, scrollMax);
}

int progressPercent(int i, int n) {
    if (n <= 1)
        return 0;
    return int(100LL * i / (n - 1));
}

QString captionFor(const QString& path) {
    return PathSection(path, PathBaseName).value_or(QString()).left(kCaptionChars);
}

QString lotLabelText(int lotPicCount) {
    return QCoreApplication::translate("frmPicViewer", "Images dans le lot : ") +
           QString::number(lotPicCount) + QCoreApplication::translate("frmPicViewer", "  (max ") +
           QString::number(kLotSize) + QCoreApplication::translate("frmPicViewer", " par lot)");
}

QString totalLabelText(int picCount, int lots) {
    const QString total =
        QCoreApplication::translate("frmPicViewer", "Total images: ") + QString::number(picCount);
    if (lots == 1)
        return total + QCoreApplication::translate("frmPicViewer", ",  contenues dans un 1 lot");
    return total + QCoreApplication::translate("frmPicViewer", ",  contenues dans") +
           QString::number(lots) + QCoreApplication::translate("frmPicViewer", " lots.");
}

} // namespace lumenta::panel
