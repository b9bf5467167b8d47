#include "viewer/viewergeometry.h"

#include <cfenv>
#include <climits>
#include <cmath>

namespace lumenta {

double roundHalfEven(double v) {
    const int old = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(v);
    std::fesetround(old);
    return r;
}

namespace {

// One scroll bar: its maximum is |view - picture|.
void bar(double view, double pic, int& max, int& large) {
    const double d = std::fabs(roundHalfEven(view - pic));
    max = d < double(INT_MAX) ? static_cast<int>(d) : INT_MAX;
    large = max / 5;
}

} // namespace

ScrollResult calculScroll(double viewW, double viewH, double picW, double picH) {
    ScrollResult r;
    bar(viewH, picH, r.vMax, r.vLargeStep);
    bar(viewW, picW, r.hMax, r.hLargeStep);
    r.widthMM = roundHalfEven(picW * 25.4 / 1440.0);
    r.heightMM = roundHalfEven(picH * 25.4 / 1440.0);
    if (r.heightMM != 0)
        r.aspect = static_cast<float>(r.widthMM / r.heightMM);
    return r;
}

MainLayout layoutForSize(MainLayout l, double W, double H) {
    auto setSize = [](double& field, double v) {
        if (v >= 0)
            field = v;
    };
    setSize(l.picFondWidth, W - l.vScrollWidth - 3100);
    setSize(l.picFondHeight, H - l.hScrollHeight - 800);
    l.vScrollLeft = W - l.vScrollWidth - 100;
    l.vScrollTop = 0;
    l.hScrollLeft = l.picFondLeft;
    l.hScrollTop = l.picFondHeight;
    setSize(l.hScrollWidth, l.picFondWidth);
    setSize(l.vScrollHeight, H - 800 - l.hScrollHeight);
    l.frameTop = H - l.frameHeight - 750;
    setSize(l.fileHeight, H - l.dirHeight - l.frameHeight - 2140);
    return l;
}

} // namespace lumenta
