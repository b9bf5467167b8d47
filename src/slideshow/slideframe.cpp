#include "slideshow/slideframe.h"

#include "fullscreen/fit.h"
#include "fullscreen/fittedpicture.h"
#include "picture/pictureloader.h"

#include <cmath>

namespace lumenta {

std::optional<QRectF> slidePlacement(int rule, QSize natural, QSize screen) {
    if (natural.isEmpty() || screen.isEmpty())
        return std::nullopt;
    const double w0 = natural.width(), h0 = natural.height();
    const double sw = screen.width(), sh = screen.height();
    if (rule == 2)
        return QRectF(0, 0, sw, sh);
    if (rule == 1) {
        // Whole pixels, so that the picture is copied, never resampled. A
        // picture larger than the screen loses (size - screen) / 2 columns
        // (rows) on the left (top), rounded towards zero, as the picture
        // service's centred part does; a smaller one is as far from the edge.
        const int left = (screen.width() - natural.width()) / 2;
        const int top = (screen.height() - natural.height()) / 2;
        return QRectF(left, top, w0, h0);
    }
    const std::optional<FitSize> s =
        rule == 4 ? CalculImage2(w0, h0, sw, sh) : CalculImage(w0, h0, sw, sh);
    if (!s)
        return std::nullopt;
    const FitPos p = CentreIMG(s->width, s->height, sw, sh);
    return QRectF(p.left, p.top, s->width, s->height);
}

SlideDecode slideDecodeFor(int rule, QSize screen) {
    if (rule == 1)
        return SlideDecode{true, false, screen};
    if (rule == 2)
        return SlideDecode{false, true, screen};
    return SlideDecode{false, false, screen};
}

namespace {

QRect pixelRect(const QRectF& r) {
    const int left = int(std::lround(r.left()));
    const int top = int(std::lround(r.top()));
    return QRect(left, top, int(std::lround(r.right())) - left, int(std::lround(r.bottom())) - top);
}

} // namespace

SlideFrame prepareFrame(const QImage& image, QSize natural, QRect region, int rule, QSize screen) {
    if (image.isNull())
        return {};
    if (region.isEmpty())
        region = QRect(QPoint(0, 0), natural);
    const std::optional<QRectF> place = slidePlacement(rule, natural, screen);
    if (!place)
        return {};
    const double sx = place->width() / natural.width();
    const double sy = place->height() / natural.height();
    // Where the image goes, whole, and the part of that on the screen.
    const QRect target =
        pixelRect(QRectF(place->left() + region.x() * sx, place->top() + region.y() * sy,
                         region.width() * sx, region.height() * sy));
    const QRect visible = target & QRect(QPoint(0, 0), screen);
    if (target.isEmpty() || visible.isEmpty())
        return {};
    const double fx = double(image.width()) / target.width();
    const double fy = double(image.height()) / target.height();
    const QRect source =
        pixelRect(QRectF((visible.left() - target.left()) * fx, (visible.top() - target.top()) * fy,
                         visible.width() * fx, visible.height() * fy)) &
        image.rect();
    if (source.isEmpty())
        return {};

    QImage part = source == image.rect() ? image : image.copy(source);
    if (part.size() != visible.size())
        part = scaledSmooth(part, visible.size());
    return SlideFrame{FittedPicture::forDrawing(part), visible.topLeft()};
}

} // namespace lumenta
