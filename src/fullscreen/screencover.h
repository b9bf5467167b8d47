#pragma once
// Windows that cover a whole screen (the full-screen picture, the
// slideshow) take the screen's area themselves: without a window manager (a
// bare X server, a kiosk session) nobody acts on a full-screen request and
// the window would keep its small default size.
class QScreen;
class QWidget;

namespace lumenta {

// The screen a window opened by `opener` belongs on: the opener's, or the
// primary screen when there is no opener.
QScreen* screenForOpener(const QWidget* opener);

// Gives `window` the whole area of that screen and asks for full screen.
// Call before the window is shown.
void coverScreen(QWidget* window, const QWidget* opener);

} // namespace lumenta
