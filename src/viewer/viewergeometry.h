#pragma once
// Scroll-bar limits, picture size in millimetres and the window layout of
// the main window, computed in twips without any widget.
#include <optional>

namespace lumenta {

struct ScrollResult {
    int vMax = 0, vLargeStep = 0;
    int hMax = 0, hLargeStep = 0;
    double widthMM = 0, heightMM = 0;
    std::optional<float> aspect; // none when the height is 0 mm
};

// The scroll bars for a picture of picW x picH twips in a viewport of
// viewW x viewH twips: each maximum is the size difference (saturated at
// INT_MAX), its large step a fifth of it. Millimetres are rounded halves to
// even.
ScrollResult calculScroll(double viewW, double viewH, double picW, double picH);

// Rounds to the nearest integer, halves to the even one (2.5 gives 2).
double roundHalfEven(double v);

// Places of the controls that move on resize (twips).
struct MainLayout {
    double picFondLeft = 3000, picFondWidth = 5055, picFondHeight = 5535;
    double vScrollLeft = 8160, vScrollTop = 0, vScrollWidth = 255, vScrollHeight = 5535;
    double hScrollLeft = 3000, hScrollTop = 5520, hScrollWidth = 4695, hScrollHeight = 255;
    double frameTop = 4200, frameHeight = 2535;
    double dirHeight = 1890;
    double fileHeight = 675;
};

// Applies the resize steps for a window of outer size W x H twips to the
// current layout. A step that would give a negative width or height is
// skipped and leaves its value; the other steps still run.
MainLayout layoutForSize(MainLayout current, double W, double H);

} // namespace lumenta
