#pragma once
// A picture placed on a screen area by one of the size rules, and drawn
// there with smooth filtering. The area and the placement count device
// pixels: at its natural size the picture is one picture pixel per device
// pixel, whatever the screen's scale. Large reductions are scaled once per size and
// kept, so repainting costs a plain copy. Used by the full-screen window and
// by anything else that shows one picture on a plain background.
#include "fullscreen/fit.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <optional>

class QPainter;
class QPalette;

namespace lumenta {

class FittedPicture {
public:
    // The picture at its natural size (converted to a format that draws
    // fast when needed). A null image clears it.
    void setImage(const QImage& image);
    const QImage& image() const { return m_image; }
    bool isNull() const { return m_image.isNull(); }
    void clear();

    // Places the picture in an area of the given size (device pixels). False (and nothing
    // placed) when there is no picture or a side of it is zero.
    bool fit(FitRule rule, const QSizeF& area);
    const std::optional<FitRect>& placement() const { return m_place; }
    // The placement in whole device pixels, as it is drawn.
    QRect drawnRect() const;

    // Draws the placed picture at the painter's device pixels, from its
    // origin (a picture larger than the area is cut by the painter's
    // clipping). Nothing when it is not placed.
    void paint(QPainter& painter);

    // The reduced copy for the current placement, made now rather than at the
    // first paint. Does nothing when no reduced copy is needed.
    void prepare();

    // Converts a decoded picture to the format the painter draws fastest;
    // safe to call from a worker thread.
    static QImage forDrawing(QImage image);

    // Below this scale factor (on either side) the picture is reduced once
    // with area filtering instead of being filtered at every paint.
    static constexpr double kPrescaleBelow = 0.5;

private:
    bool needsPrescale() const;

    QImage m_image;
    std::optional<FitRect> m_place;
    QImage m_scaled; // m_image reduced to m_scaledSize
    QSize m_scaledSize;
};

// Background codes of the display settings (FullScreenBackColor,
// SlideBackColor): 1 black, 2 white, 3 the button-face colour, 4 blue, 5 red,
// 6 green. Any other code stands for 1.
int16_t normalizedBackColor(int16_t code);
QColor backColorForCode(int16_t code, const QPalette& palette);

} // namespace lumenta
