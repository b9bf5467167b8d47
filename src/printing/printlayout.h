#pragma once
// The arithmetic of the print layout, without any widget: printed sizes in
// millimetres from a picture's size in twips, scales, proportional heights,
// margins that centre the picture on an A4 sheet, the characters the size and
// margin boxes accept, and how their numbers are written and read back.
#include <QLocale>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <optional>

namespace lumenta::printlayout {

// The sheet the layout is computed for: A4, in millimetres.
inline constexpr double kSheetWidthMM = 210;
inline constexpr double kSheetHeightMM = 297;
// The small view of the picture is never wider than this.
inline constexpr double kThumbnailMaxWidthTwips = 3855;

enum class Orientation { Portrait = 1, Landscape = 2 };

// To the nearest whole number, halves to the even neighbour (158.5 gives
// 158, 159.5 gives 160).
double roundHalfEven(double v);

// 1440 twips to the inch.
double twipsToMM(double twips);

// A length in twips as whole millimetres: the twips rounded to a whole
// number, converted, and rounded again (halves to even).
double wholeMM(double twips);

struct SizeMM {
    double width = 0;
    double height = 0;
};

// The printed size at scale 1:k of a picture of widthTwips x heightTwips:
// the whole millimetres divided by k, keeping the fraction (79.5).
SizeMM scaledSize(double widthTwips, double heightTwips, int k);

// The height that keeps the proportions of a width1 x height1 picture for a
// typed width: floor(width x height1 / width1). None when width1 is 0.
std::optional<double> proportionalHeight(double width, double width1, double height1);

// The width of the small view for its height and the picture's width/height
// ratio, at most kThumbnailMaxWidthTwips. None when the ratio is unknown (0).
std::optional<double> thumbnailWidth(double heightTwips, double aspect);

// Margins that centre a picture on the sheet (upright size in millimetres,
// A4 unless said) turned by the orientation. A margin is none when the
// picture's dimension equals the sheet's (the box is left empty, and an
// empty box prints as 0). Negative when the picture is larger than the
// sheet.
struct Margins {
    std::optional<double> top;
    std::optional<double> left;
};
Margins centredMargins(Orientation orientation, double widthMM, double heightMM,
                       double sheetWidthMM = kSheetWidthMM, double sheetHeightMM = kSheetHeightMM);

// Which box a typed character goes to.
enum class Box { Size, Margin };

// Digits, "." and the locale's decimal separator everywhere; "-" in the
// margin boxes only.
bool acceptsChar(Box box, QChar c, const QLocale& locale);

// "79.5", "159", "-12.25": no leading blank, a point as decimal separator,
// no exponent, at most 10 decimals.
QString formatPlain(double v);

// The same in the locale's number form ("98,5" in French), without group
// separators.
QString formatLocal(double v, const QLocale& locale);

// The number a box's text starts with: blanks skipped, an optional sign,
// digits with one decimal separator ("." or the locale's). Reading stops
// at the first other character; an empty text is 0.
double readNumber(const QString& text, const QLocale& locale);

// The pixels a picture of `natural` size is printed from at `mm` on a
// printer of `dpi`: as many as the printer puts there, never more than the
// picture has nor more than kPrintPixels, the proportions kept.
constexpr qint64 kPrintPixels = qint64(48) << 20;
QSize printPixels(QSize natural, QSizeF mm, double dpi);

} // namespace lumenta::printlayout
