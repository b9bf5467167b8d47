#include "printing/printlayout.h"

#include <algorithm>
#include <cfenv>
#include <cmath>

namespace lumenta::printlayout {

double roundHalfEven(double v) {
    const int old = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(v);
    std::fesetround(old);
    return r;
}

double twipsToMM(double twips) {
    return twips * 25.4 / 1440.0;
}

double wholeMM(double twips) {
    return roundHalfEven(twipsToMM(roundHalfEven(twips)));
}

SizeMM scaledSize(double widthTwips, double heightTwips, int k) {
    if (k < 1)
        k = 1;
    return {wholeMM(widthTwips) / k, wholeMM(heightTwips) / k};
}

std::optional<double> proportionalHeight(double width, double width1, double height1) {
    if (width1 == 0)
        return std::nullopt;
    return std::floor(width * height1 / width1);
}

std::optional<double> thumbnailWidth(double heightTwips, double aspect) {
    if (!(aspect > 0))
        return std::nullopt;
    return std::min(heightTwips * aspect, kThumbnailMaxWidthTwips);
}

Margins centredMargins(Orientation orientation, double widthMM, double heightMM,
                       double sheetWidthMM, double sheetHeightMM) {
    const bool landscape = orientation == Orientation::Landscape;
    const double sheetW = landscape ? sheetHeightMM : sheetWidthMM;
    const double sheetH = landscape ? sheetWidthMM : sheetHeightMM;
    Margins m;
    if (heightMM != sheetH)
        m.top = (sheetH - heightMM) / 2;
    if (widthMM != sheetW)
        m.left = (sheetW - widthMM) / 2;
    return m;
}

bool acceptsChar(Box box, QChar c, const QLocale& locale) {
    if (c.isDigit() && c.unicode() < 128)
        return true;
    if (c == QLatin1Char('.') || QString(c) == locale.decimalPoint())
        return true;
    return box == Box::Margin && c == QLatin1Char('-');
}

QString formatPlain(double v) {
    if (v == 0 || !std::isfinite(v))
        return QStringLiteral("0");
    QString s = QString::number(v, 'f', 10);
    while (s.endsWith(QLatin1Char('0')))
        s.chop(1);
    if (s.endsWith(QLatin1Char('.')))
        s.chop(1);
    return s == QLatin1String("-0") ? QStringLiteral("0") : s;
}

QString formatLocal(double v, const QLocale& locale) {
    QString s = formatPlain(v);
    s.replace(QLatin1Char('.'), locale.decimalPoint());
    return s;
}

double readNumber(const QString& text, const QLocale& locale) {
    const QString point = locale.decimalPoint();
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i).isSpace())
        ++i;
    QString number;
    if (i < n && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+')))
        number += text.at(i++);
    bool decimals = false;
    for (; i < n; ++i) {
        const QChar c = text.at(i);
        if (c.isDigit() && c.unicode() < 128) {
            number += c;
        } else if (!decimals && (c == QLatin1Char('.') || QString(c) == point)) {
            decimals = true;
            number += QLatin1Char('.');
        } else {
            break;
        }
    }
    bool ok = false;
    const double v = number.toDouble(&ok);
    return ok ? v : 0;
}

QSize printPixels(QSize natural, QSizeF mm, double dpi) {
    if (natural.isEmpty() || mm.isEmpty() || dpi <= 0)
        return {};
    // The printed size in dots, at most the picture's own size in either
    // direction, the picture's proportions kept.
    double scale = std::min({mm.width() * dpi / 25.4 / natural.width(),
                             mm.height() * dpi / 25.4 / natural.height(), 1.0});
    const double pixels = double(natural.width()) * natural.height() * scale * scale;
    if (pixels > double(kPrintPixels))
        scale *= std::sqrt(double(kPrintPixels) / pixels);
    return QSize(std::max(1, int(natural.width() * scale)),
                 std::max(1, int(natural.height() * scale)));
}

} // namespace lumenta::printlayout
