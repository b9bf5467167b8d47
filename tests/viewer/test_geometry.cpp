#include "viewer/dispatch.h"
#include "viewer/viewergeometry.h"

#include <climits>
#include <gtest/gtest.h>

using namespace lumenta;

TEST(CalculScroll, BarsFollowTheSizeDifference) {
    // 1000 twips taller than the viewport.
    ScrollResult r = calculScroll(5000, 4000, 3000, 5000);
    EXPECT_EQ(r.vMax, 1000);
    EXPECT_EQ(r.vLargeStep, 200);
    // Smaller than the viewport: still the absolute difference.
    EXPECT_EQ(r.hMax, 2000);
    EXPECT_EQ(r.hLargeStep, 400);
    // Fractional differences round halves to even.
    r = calculScroll(1000.5, 1001.5, 0, 0);
    EXPECT_EQ(r.hMax, 1000);
    EXPECT_EQ(r.vMax, 1002);
}

TEST(CalculScroll, LargePicturesGetTheWholeDifference) {
    // A 6000 x 4000 photo (90000 x 60000 twips) in a 5000-twip viewport.
    const ScrollResult r = calculScroll(5000, 5000, 90000, 60000);
    EXPECT_EQ(r.hMax, 85000);
    EXPECT_EQ(r.hLargeStep, 17000);
    EXPECT_EQ(r.vMax, 55000);
    // Beyond what a scroll bar holds: saturated, never wrapped.
    EXPECT_EQ(calculScroll(0, 0, 1e12, 0).hMax, INT_MAX);
}

TEST(CalculScroll, MillimetresAndAspect) {
    const ScrollResult r = calculScroll(5000, 5000, 2880, 1440);
    EXPECT_EQ(r.widthMM, 51);  // 50.8
    EXPECT_EQ(r.heightMM, 25); // 25.4
    ASSERT_TRUE(r.aspect.has_value());
    EXPECT_FLOAT_EQ(*r.aspect, 2.04f);
    // 1.5 mm and 2.5 mm round to the even neighbour.
    EXPECT_EQ(calculScroll(0, 0, 1.5 * 1440 / 25.4, 2.5 * 1440 / 25.4).widthMM, 2);
    EXPECT_EQ(calculScroll(0, 0, 1.5 * 1440 / 25.4, 2.5 * 1440 / 25.4).heightMM, 2);
    // No height: no ratio (the caller keeps the old one).
    EXPECT_FALSE(calculScroll(0, 0, 1440, 0).aspect.has_value());
}

TEST(MainLayout, NegativeSizesAreSkippedOthersRun) {
    MainLayout before;
    before.picFondWidth = 4321;
    before.hScrollWidth = 4000;
    // Narrow: the viewport width would be negative.
    const MainLayout l = layoutForSize(before, 3000, 9000);
    EXPECT_EQ(l.picFondWidth, 4321);
    EXPECT_EQ(l.hScrollWidth, 4321); // takes the kept viewport width
    EXPECT_EQ(l.vScrollLeft, 3000 - 255 - 100);
    EXPECT_EQ(l.picFondHeight, 9000 - 255 - 800);
    // Low: heights are skipped, tops still move.
    const MainLayout low = layoutForSize(MainLayout{}, 12000, 1000);
    EXPECT_EQ(low.picFondHeight, 5535);
    EXPECT_EQ(low.hScrollTop, 5535);
    EXPECT_EQ(low.vScrollHeight, 5535);
    EXPECT_EQ(low.fileHeight, 675);
    EXPECT_EQ(low.frameTop, 1000 - 2535 - 750);
}

TEST(Dispatch, GroupsByUpperCaseExtension) {
    const std::pair<const char*, DispatchGroup> cases[] = {{"AVI", DispatchGroup::AssociatedMedia},
                                                           {"RMD", DispatchGroup::AssociatedMedia},
                                                           {"MPEG", DispatchGroup::AssociatedMedia},
                                                           {"FLC", DispatchGroup::Animation},
                                                           {"WAV", DispatchGroup::Sound},
                                                           {"MID", DispatchGroup::Sound},
                                                           {"TXT", DispatchGroup::Other},
                                                           {"", DispatchGroup::Other},
                                                           {"MIDI", DispatchGroup::Other}};
    for (const auto& [ext, group] : cases)
        EXPECT_EQ(dispatchGroupFor(QLatin1String(ext)), group) << ext;
    for (const char* e :
         {"WMF", "BMP",  "GIF", "JPG",  "ICO", "CUR", "EMF",  "RLE",  "DIB",  "JPE",  "JPEG", "JIF",
          "PNG", "WEBP", "TIF", "TIFF", "TGA", "SVG", "SVGZ", "HEIC", "HEIF", "AVIF", "JXL"})
        EXPECT_EQ(dispatchGroupFor(QLatin1String(e)), DispatchGroup::Picture) << e;
    for (const char* e : {"jpg", "png", "heic", "PN", "TIFFX", "SVG.GZ", "JXR"})
        EXPECT_EQ(dispatchGroupFor(QLatin1String(e)), DispatchGroup::Other) << e;
}

TEST(Dispatch, CaptionAndCountTexts) {
    EXPECT_EQ(fileCaption(QStringLiteral("/images/chat.jpg"), 48213),
              QStringLiteral("Visionneuse d'image : /IMAGES/CHAT.JPG  48213 Octets"));
    EXPECT_EQ(fileCaption(QStringLiteral("/vide"), 0),
              QStringLiteral("Visionneuse d'image : /VIDE  0 Octets"));
    EXPECT_EQ(fileCountText(12), QStringLiteral(" 12 Fichiers"));
    EXPECT_EQ(fileCountText(0), QStringLiteral(" 0 Fichiers"));
}
