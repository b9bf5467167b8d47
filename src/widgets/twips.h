#pragma once
// Control places and sizes are given in twips (1/1440 inch), converted through the screen's
// logical DPI: 15 twips a pixel at 96 DPI.
#include <QRect>

namespace lumenta::twips {

// Twips per pixel of the primary screen (15 at 96 DPI).
double perPixel();

// Overrides the DPI (tests); 0 goes back to the screen's.
void setDpiOverride(double dpi);

int toPx(double twips);
double fromPx(double px);
QRect rectToPx(double left, double top, double width, double height);

} // namespace lumenta::twips
