#pragma once
// The viewing area of the browser as numbers: fitting a picture into the
// viewport, resizing it by area, the scroll ranges, the magnifier's
// factors and the glass dragged over the enlarged picture.
#include <QLocale>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <qnamespace.h>

namespace lumenta::view {

constexpr int kMinSide = 16;     // smallest side a picture is shrunk to
constexpr int kGlassSide = 150;  // the magnifying glass, in pixels
constexpr int kOwnSizeEntry = 3; // the "+0" entry of the resize list

// How far a scroll bar moves content of size shown in a viewport.
int scrollRange(int shown, int viewport);

// Fitting own into viewport: shrunk by 1 % of its own size per step until
// both sides fit. Three outcomes: it already fits (its own size is kept),
// it fits at percent reduction (size), or a side falls below 16 pixels
// first (refused).
struct Fit {
    enum Kind { AlreadyFits, Shrunk, Refused } kind = AlreadyFits;
    int percent = 0;
    QSize size;
};
Fit fitInto(QSize own, QSize viewport);
// "Proportion L/H de cette image,\nimpossible".
QString fitRefusedText();

// The resize list: "-75", "-50", "-25", then "+0" to "+800" in 50s.
QStringList resizeEntries();

// A resize by percent of the area of the own size. Restore: back to the
// own size; Refused: message says why; Apply: the new size.
struct Resize {
    enum Kind { Nothing, Restore, Refused, Apply } kind = Nothing;
    QString message;
    QSize size;
};
// own: the picture's own size (empty: no picture); current: as shown.
Resize resizeBy(int percent, QSize own, QSize current, QSize screen);

// The magnifier's factors 1.5 to 2.5 written in locale, and the factor an
// entry names, read back in the same locale (1 when unreadable).
QStringList magnifyEntries(const QLocale& locale);
constexpr int kDefaultMagnifyEntry = 5; // the factor 2
double magnifyFactor(const QString& text, const QLocale& locale);

// The glass over the enlarged picture: a box in the picture's
// coordinates, left x1, right x2, top y1, bottom y2.
struct GlassBox {
    double x1 = 0, x2 = kGlassSide, y1 = 0, y2 = kGlassSide;
    bool contains(double x, double y) const { return x1 <= x && x <= x2 && y1 <= y && y <= y2; }
    bool operator==(const GlassBox&) const = default;
};
// The box moved by (dx, dy) on a picture of size shown magnified by
// factor: it stops at the left and top edges, and at the right and
// bottom ones once it passes them by the glass size / factor.
GlassBox moveGlass(const GlassBox& box, double dx, double dy, QSizeF shown, double factor);
// What the glass shows: the part of the own-size picture under the box
// (source, in own-size coordinates) and where it goes in the glass
// (target); the glass beyond the picture's edges stays empty.
struct GlassBlit {
    QRectF source, target;
};
GlassBlit glassBlit(const GlassBox& box, double factor, QSizeF shown, QSizeF own);
// The pointer over the enlarged picture: the move pointer inside the
// glass while it is on, else the default one.
Qt::CursorShape glassCursor(bool on, const GlassBox& box, double x, double y);

} // namespace lumenta::view
