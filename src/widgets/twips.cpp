#include "widgets/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace lumenta::twips {

namespace {
double g_dpiOverride = 0;

double dpi() {
    if (g_dpiOverride > 0)
        return g_dpiOverride;
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        const double d = s->logicalDotsPerInchX();
        if (d > 0)
            return d;
    }
    return 96.0;
}
} // namespace

double perPixel() {
    return 1440.0 / dpi();
}

void setDpiOverride(double d) {
    g_dpiOverride = d;
}

int toPx(double t) {
    return static_cast<int>(std::lround(t / perPixel()));
}

double fromPx(double px) {
    return px * perPixel();
}

QRect rectToPx(double left, double top, double width, double height) {
    return QRect(toPx(left), toPx(top), toPx(width), toPx(height));
}

} // namespace lumenta::twips
