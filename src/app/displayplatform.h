#pragma once
// The windowing system the program runs on: Wayland natively where the
// session offers it, X11 otherwise or when Wayland cannot be reached.
#include <QByteArray>

namespace lumenta {

// The platform list to hand to Qt from the environment: empty to leave Qt's
// own choice (the user named a platform, or there is no Wayland), else
// Wayland first with X11 behind it.
QByteArray preferredPlatforms(const QByteArray& qpaPlatform, const QByteArray& waylandDisplay,
                              const QByteArray& sessionType);

// Applies that choice to this process's environment; call before the
// application object is made.
void choosePlatform();

// Whether the program places its top-level windows itself. Not on Wayland:
// there the compositor places every window, and the program leaves it to
// it without a word.
bool programPlacesWindows();

// Whether a window the program shows is activated for it. Not on Wayland:
// the compositor may leave a new window inactive (no keyboard, or another
// program in use), so a window that starts its work on activation starts
// it on being shown there.
bool shownWindowsGetActivated();

} // namespace lumenta
