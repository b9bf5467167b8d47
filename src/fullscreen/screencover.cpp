#include "fullscreen/screencover.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace lumenta {

QScreen* screenForOpener(const QWidget* opener) {
    const QWidget* top = opener ? opener->window() : nullptr;
    QScreen* screen = top ? top->screen() : nullptr;
    return screen ? screen : QGuiApplication::primaryScreen();
}

void coverScreen(QWidget* window, const QWidget* opener) {
    if (QScreen* screen = screenForOpener(opener))
        window->setGeometry(screen->geometry());
    window->setWindowState(Qt::WindowFullScreen);
}

} // namespace lumenta
