#include "browser/viewgeometry.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace lumenta::view {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("frmPicViewer", text);
}

QString pair(int a, int b) {
    return QString::number(a) + QLatin1Char('/') + QString::number(b);
}

} // namespace

int scrollRange(int shown, int viewport) {
    return std::max(0, shown - viewport);
}

Fit fitInto(QSize own, QSize viewport) {
    if (own.width() <= viewport.width() && own.height() <= viewport.height())
        return {Fit::AlreadyFits, 0, own};
    double w = own.width(), h = own.height();
    int p = 0;
    while (w > viewport.width() || h > viewport.height()) {
        ++p;
        w = own.width() * (100.0 - p) / 100.0;
        h = own.height() * (100.0 - p) / 100.0;
        if (w < kMinSide || h < kMinSide)
            return {Fit::Refused, p, QSize()};
    }
    return {Fit::Shrunk, p, QSize(int(std::lround(w)), int(std::lround(h)))};
}

QString fitRefusedText() {
    return tr("Proportion L/H de cette image,") + QLatin1Char('\n') + tr("impossible");
}

QStringList resizeEntries() {
    QStringList out = {QStringLiteral("-75"), QStringLiteral("-50"), QStringLiteral("-25")};
    for (int p = 0; p <= 800; p += 50)
        out << QLatin1Char('+') + QString::number(p);
    return out;
}

Resize resizeBy(int percent, QSize own, QSize current, QSize screen) {
    if (own.width() <= 0 || own.height() <= 0)
        return {};
    if (percent == 0)
        return {Resize::Restore, QString(), own};
    const int sw = screen.width(), sh = screen.height();
    const int cw = current.width(), ch = current.height();
    const auto refuse = [](const QString& text) { return Resize{Resize::Refused, text, QSize()}; };
    if (percent > 0) {
        if (own.width() > sw || own.height() > sh)
            return refuse(tr("La taille d'origine de l'image L/H ne peut excéder (") +
                          pair(sw, sh) + tr(" pixels)"));
        if (cw >= sw || ch >= sh) {
            if (!(own.width() >= sw && own.height() >= sh))
                return refuse(tr("L'image L/H dépasse la taille maxi autorisée (") + pair(sw, sh) +
                              tr(" pixels)"));
            if (cw >= own.width() || ch >= own.height())
                return refuse(tr("L'image L/H dépasse la taille maxi (") + pair(sw, sh) +
                              tr(" pixels)"));
        }
    } else {
        if (own.width() <= kMinSide || own.height() <= kMinSide)
            return refuse(
                tr("La taille origine de l'image L/H atteint la taille maxi autorisée (") +
                pair(kMinSide, kMinSide) + tr(" pixels)"));
        if (cw <= kMinSide || ch <= kMinSide)
            return refuse(tr("L'image H/L est à la taille minimum (") + pair(kMinSide, kMinSide) +
                          tr(" pixels)"));
    }
    // Both sides scale by the square root of the change of area.
    const double s = std::sqrt((100.0 + percent) / 100.0);
    const double w = s * own.width(), h = s * own.height();
    if (percent > 0 && (w >= sw || h >= sh))
        return refuse(tr("Dépasse la taille maxi autorisée ") + pair(sw, sh) + tr(" pixels"));
    if (percent < 0 && (w <= kMinSide || h <= kMinSide))
        return refuse(tr("Will fall below min allowed ") + pair(kMinSide, kMinSide) +
                      tr(" pixels"));
    return {Resize::Apply, QString(), QSize(int(std::lround(w)), int(std::lround(h)))};
}

QStringList magnifyEntries(const QLocale& locale) {
    QStringList out;
    for (int tenths = 15; tenths <= 25; ++tenths)
        out << locale.toString(tenths / 10.0, 'g', 3);
    return out;
}

double magnifyFactor(const QString& text, const QLocale& locale) {
    bool ok = false;
    const double f = locale.toDouble(text, &ok);
    return ok && f > 0 ? f : 1.0;
}

GlassBox moveGlass(const GlassBox& box, double dx, double dy, QSizeF shown, double factor) {
    const double w = box.x2 - box.x1, h = box.y2 - box.y1;
    // The glass may pass the right and bottom edges by its size / factor.
    const double maxLeft = std::max(0.0, shown.width() + w / factor - w);
    const double maxTop = std::max(0.0, shown.height() + h / factor - h);
    const double x1 = std::clamp(box.x1 + dx, 0.0, maxLeft);
    const double y1 = std::clamp(box.y1 + dy, 0.0, maxTop);
    return {x1, x1 + w, y1, y1 + h};
}

GlassBlit glassBlit(const GlassBox& box, double factor, QSizeF shown, QSizeF own) {
    const QRectF under(box.x1, box.y1, (box.x2 - box.x1) / factor, (box.y2 - box.y1) / factor);
    const QRectF seen = under.intersected(QRectF(QPointF(0, 0), shown));
    if (seen.isEmpty() || shown.isEmpty())
        return {};
    const double sx = own.width() / shown.width(), sy = own.height() / shown.height();
    return {QRectF(seen.x() * sx, seen.y() * sy, seen.width() * sx, seen.height() * sy),
            QRectF((seen.x() - box.x1) * factor, (seen.y() - box.y1) * factor,
                   seen.width() * factor, seen.height() * factor)};
}

Qt::CursorShape glassCursor(bool on, const GlassBox& box, double x, double y) {
    if (on && box.x1 < x && x < box.x2 && box.y1 < y && y < box.y2)
        return Qt::SizeAllCursor;
    return Qt::ArrowCursor;
}

} // namespace lumenta::view
