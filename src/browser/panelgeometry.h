#pragma once
// The thumbnail panel as numbers: lots of 48 pictures, a grid of 4 columns
// by 12 rows on a 272 x 1008 pixel surface, pages of 3 rows, the selection
// frame, and the texts that go with them. Positions are 0-based places in
// the table of listed pictures; lots, rows, columns and cells count from 1.
#include <QPoint>
#include <QRect>
#include <QString>

namespace lumenta::panel {

constexpr int kLotSize = 48;
constexpr int kColumns = 4;
constexpr int kRows = 12;
constexpr int kRowsPerPage = 3;
constexpr int kPages = kRows / kRowsPerPage;
constexpr int kThumbSide = 32;
constexpr int kCellWidth = 64;
constexpr int kCellHeight = 84;
constexpr int kSurfaceWidth = kThumbSide / 2 + 4 * kCellWidth;   // 272
constexpr int kSurfaceHeight = kRows * kCellHeight;              // 1008
constexpr int kPageHeight = kRowsPerPage * kCellHeight;          // 252
constexpr int kScrollMax = kSurfaceHeight * 2 / 3 + kCellHeight; // 756
constexpr int kCaptionChars = 8;

// Number of lots for count pictures: 0 for none, then one per 48 begun.
int lotCount(int count);
// First position of lot (1-based).
int lotFirst(int lot);
// Pictures on the panel for lot: count - first, at most 48, at least 0.
int lotPicCount(int count, int lot);

// Where position lies.
struct Place {
    int lot = 0;  // 1-based
    int cell = 0; // 1..48
    int row = 0;  // 1..12
    int col = 0;  // 1..4
    int page = 0; // 0..3
};
Place placeOf(int position);

// Top-left corner of the thumbnail of row r, column c.
QPoint cellOrigin(int row, int col);
// Top-left corner of its caption.
QPoint captionOrigin(int row, int col);

// Corners of the selection frame of a cell.
struct FrameBox {
    int x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    bool operator==(const FrameBox&) const = default;
};
FrameBox frameBox(int row, int col);

// The cell under a point of the surface (of size width x height): the
// column and row whose right and bottom edges lie beyond the point, so a
// point on a boundary belongs to the cell right of or below it; column 5
// and row 13 beyond the grid. cell is 0 when it holds no picture of the lot.
struct CellHit {
    int col = 0, row = 0, cell = 0;
    bool operator==(const CellHit&) const = default;
};
CellHit FindCell(double x, double y, int lotPicCount, double width = kSurfaceWidth,
                 double height = kSurfaceHeight);

// How many page buttons a lot of lotPicCount pictures enables (buttons
// 0..n-1); 0 for an empty lot.
int enabledPages(int lotPicCount);
// Scroll position of page p for a scroll bar reaching scrollMax.
int pageScroll(int page, int scrollMax = kScrollMax);

// Percentage of the table built after file index i of n (0 when n is 1).
int progressPercent(int i, int n);

// Caption under a thumbnail: the name before its first dot, 8 characters
// at most.
QString captionFor(const QString& path);

// "Images dans le lot : N  (max 48 par lot)".
QString lotLabelText(int lotPicCount);
// "Total images: N,  contenues dans un 1 lot" or "... dans<L> lots.".
QString totalLabelText(int picCount, int lots);

} // namespace lumenta::panel
