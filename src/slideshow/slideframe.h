#pragma once
// How a picture lies on the slideshow screen under each size rule, and the
// screen-sized copy of it that is drawn. Sizes are in device pixels.
//   1 natural size, centred (a larger picture is cut on every side)
//   2 stretched over the whole screen
//   3 natural size, reduced proportionally when larger than the screen
//   4 enlarged or reduced proportionally to the largest size that fits
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QRectF>
#include <QSize>

#include <optional>

namespace lumenta {

// Where the whole picture goes (it may reach past the screen's edges);
// std::nullopt for an empty picture. An unknown rule counts as 3.
std::optional<QRectF> slidePlacement(int rule, QSize natural, QSize screen);

// What to decode for a rule: only the screen-sized centre at natural size
// (rule 1), the picture reduced only as far as it still covers `box` on both
// axes (rule 2: stretched, every screen pixel has a picture pixel behind
// it), or reduced to fit `box` (never enlarged).
struct SlideDecode {
    bool centre = false;
    bool cover = false;
    QSize box;
};
SlideDecode slideDecodeFor(int rule, QSize screen);

// A picture ready to draw: its visible part at its final size.
struct SlideFrame {
    QImage image;
    QPoint topLeft;
    bool isNull() const { return image.isNull(); }
    QRect rect() const { return QRect(topLeft, image.size()); }
};

// The visible part of a picture on the screen. `image` shows the part
// `region` of the picture (natural size `natural`), possibly reduced; an
// empty region means the whole picture. A null frame when nothing shows.
SlideFrame prepareFrame(const QImage& image, QSize natural, QRect region, int rule, QSize screen);

} // namespace lumenta
