#include "fullscreen/fit.h"

#include <cmath>

namespace lumenta {

namespace {

// The picture control keeps its size and place as single-precision numbers.
double stored(double v) {
    return static_cast<double>(static_cast<float>(v));
}

bool usableSide(double v) {
    return std::isfinite(v) && v > 0;
}

// Ratio and width factor are taken once from the natural size; every step
// below keeps using them even after w and h have changed.
struct FitWork {
    double w, h, sw, sh, r, k;
};

std::optional<FitWork> start(double w0, double h0, double sw, double sh) {
    if (!usableSide(w0) || !usableSide(h0))
        return std::nullopt;
    return FitWork{w0, h0, sw, sh, w0 / h0, sw / w0};
}

void reduce(FitWork& f) {
    if (f.w > f.sw && f.h > f.sh) {
        f.w = f.sw;
        f.h = f.h * f.k;
    }
    if (f.w > f.sw) {
        f.w = f.sw;
        f.h = f.h * f.k;
    }
    if (f.h > f.sh) {
        f.h = f.sh;
        f.w = f.w * (f.h * f.r / f.w);
    }
}

FitSize finish(const FitWork& f) {
    return FitSize{stored(f.w), stored(f.h)};
}

} // namespace

std::optional<FitSize> CalculImage(double w0, double h0, double sw, double sh) {
    std::optional<FitWork> f = start(w0, h0, sw, sh);
    if (!f)
        return std::nullopt;
    reduce(*f);
    return finish(*f);
}

std::optional<FitSize> CalculImage2(double w0, double h0, double sw, double sh) {
    std::optional<FitWork> f = start(w0, h0, sw, sh);
    if (!f)
        return std::nullopt;
    if (f->w < f->sw && f->h < f->sh) {
        f->w = f->sw;
        f->h = f->h * f->k;
    }
    reduce(*f);
    return finish(*f);
}

FitPos CentreIMG(double w, double h, double sw, double sh) {
    return FitPos{stored(sw / 2 - w / 2), stored(sh / 2 - h / 2)};
}

FitRule fitRuleForMode(int16_t sizeMode) {
    return sizeMode == 2 ? FitRule::Largest : FitRule::NaturalOrSmaller;
}

std::optional<FitRect> fitAndCentre(FitRule rule, double w0, double h0, double sw, double sh) {
    const std::optional<FitSize> size =
        rule == FitRule::Largest ? CalculImage2(w0, h0, sw, sh) : CalculImage(w0, h0, sw, sh);
    if (!size)
        return std::nullopt;
    const FitPos pos = CentreIMG(size->width, size->height, sw, sh);
    return FitRect{pos.left, pos.top, size->width, size->height};
}

} // namespace lumenta
