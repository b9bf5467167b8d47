#pragma once
// Where a picture goes on a screen: the two size rules of the full-screen
// display and the centring. Sizes are unit-free (twips or pixels) as long as
// the picture and the area use the same unit. The slideshow uses these too.
#include <cstdint>
#include <optional>

namespace lumenta {

struct FitSize {
    double width = 0;
    double height = 0;
    bool operator==(const FitSize&) const = default;
};

struct FitPos {
    double left = 0;
    double top = 0;
    bool operator==(const FitPos&) const = default;
};

struct FitRect {
    double left = 0;
    double top = 0;
    double width = 0;
    double height = 0;
    bool operator==(const FitRect&) const = default;
};

// "Proportionnelle - Echelle 1:1": the natural size (w0, h0), reduced
// proportionally only when it does not fit the area (sw, sh). std::nullopt
// when a side of the picture is zero (or not a positive number).
std::optional<FitSize> CalculImage(double w0, double h0, double sw, double sh);

// "Maxi et proportionnelle": a picture smaller than the area on both sides
// is first enlarged to the area's width, then reduced as CalculImage does.
std::optional<FitSize> CalculImage2(double w0, double h0, double sw, double sh);

// Left and top that centre a picture of size (w, h) in the area; negative
// when the picture is larger, so that it is cut equally on both sides.
FitPos CentreIMG(double w, double h, double sw, double sh);

// The size rule of a FullScreenSizeMode / SlideSizeMode value: 2 is
// CalculImage2, anything else (1, or 0 before the first choice) CalculImage.
enum class FitRule { NaturalOrSmaller, Largest };
FitRule fitRuleForMode(int16_t sizeMode);

// The rule's size, then the centring.
std::optional<FitRect> fitAndCentre(FitRule rule, double w0, double h0, double sw, double sh);

} // namespace lumenta
