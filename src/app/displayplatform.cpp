#include "app/displayplatform.h"

#include <QGuiApplication>

namespace lumenta {

QByteArray preferredPlatforms(const QByteArray& qpaPlatform, const QByteArray& waylandDisplay,
                              const QByteArray& sessionType) {
    if (!qpaPlatform.isEmpty())
        return QByteArray();
    // Qt itself goes to X11 in some Wayland sessions (through the desktop's
    // X server), where a scaled output enlarges every window and so blurs
    // pictures shown at their natural size.
    if (!waylandDisplay.isEmpty() || sessionType == "wayland")
        return QByteArrayLiteral("wayland;xcb");
    return QByteArray();
}

void choosePlatform() {
    const QByteArray list = preferredPlatforms(
        qgetenv("QT_QPA_PLATFORM"), qgetenv("WAYLAND_DISPLAY"), qgetenv("XDG_SESSION_TYPE"));
    if (!list.isEmpty())
        qputenv("QT_QPA_PLATFORM", list);
}

namespace {
bool onWayland() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}
} // namespace

bool programPlacesWindows() {
    return !onWayland();
}

bool shownWindowsGetActivated() {
    return !onWayland();
}

} // namespace lumenta
