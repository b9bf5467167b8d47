#include "app/module1.h"

#include "app/displayplatform.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace lumenta {

bool FileExists(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo fi(path);
    return fi.exists() && fi.isFile() && !fi.isHidden();
}

QString AddBackslash(const QString& path) {
    if (path.endsWith(QLatin1Char('/')))
        return path;
    return path + QLatin1Char('/');
}

void CentreForm(QWidget* window) {
    if (!window || !programPlacesWindows())
        return;
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QRect frame = window->frameGeometry();
    const double left = area.x() + area.width() / 2.0 - frame.width() / 2.0;
    const double top = area.y() + area.height() / 2.0 - frame.height() / 2.0;
    window->move(static_cast<int>(left), static_cast<int>(top));
}

QString extensionOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return QString();
    return name.mid(dot + 1).toUpper();
}

QString printForm(long long n) {
    if (n >= 0)
        return QLatin1Char(' ') + QString::number(n);
    return QString::number(n);
}

} // namespace lumenta
