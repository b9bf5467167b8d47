#include "fullscreen/fit.h"
#include "fullscreen/fittedpicture.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

using namespace lumenta;

namespace {

constexpr double kSw = 12000;
constexpr double kSh = 9000;

struct FitCase {
    double w0, h0;
    FitRect natural; // CalculImage then CentreIMG
    FitRect largest; // CalculImage2 then CentreIMG
};

} // namespace

TEST(FitGeometry, TableInATwelveByNineThousandWindow) {
    const FitCase cases[] = {
        // Smaller on both sides: kept, or enlarged to the width.
        {6000, 3000, {3000, 3000, 6000, 3000}, {0, 1500, 12000, 6000}},
        // Too wide only: reduced on the width.
        {24000, 6000, {0, 3000, 12000, 3000}, {0, 3000, 12000, 3000}},
        // Too large both ways: by the width first, then by the height.
        {16000, 16000, {1500, 0, 9000, 9000}, {1500, 0, 9000, 9000}},
        // Too high only.
        {6000, 12000, {3750, 0, 4500, 9000}, {3750, 0, 4500, 9000}},
        // A side equal to the window's is neither enlarged nor reduced.
        {12000, 4000, {0, 2500, 12000, 4000}, {0, 2500, 12000, 4000}},
        {3000, 9000, {4500, 0, 3000, 9000}, {4500, 0, 3000, 9000}},
        // Enlarged to the width, and the height then fits.
        {4000, 2000, {4000, 3500, 4000, 2000}, {0, 1500, 12000, 6000}},
        // Enlarged to the width, then too high: reduced by the height.
        {1000, 900, {5500, 4050, 1000, 900}, {1000, 0, 10000, 9000}},
    };
    for (const FitCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w0 << " x " << c.h0);
        const auto n = fitAndCentre(FitRule::NaturalOrSmaller, c.w0, c.h0, kSw, kSh);
        const auto l = fitAndCentre(FitRule::Largest, c.w0, c.h0, kSw, kSh);
        ASSERT_TRUE(n && l);
        EXPECT_EQ(*n, c.natural);
        EXPECT_EQ(*l, c.largest);
        // The plain routines agree with the combined one.
        EXPECT_EQ(CalculImage(c.w0, c.h0, kSw, kSh), (FitSize{c.natural.width, c.natural.height}));
        EXPECT_EQ(CalculImage2(c.w0, c.h0, kSw, kSh), (FitSize{c.largest.width, c.largest.height}));
    }
}

TEST(FitGeometry, ZeroOrInvalidSidesAreErrors) {
    const double bad[][2] = {{0, 100}, {100, 0}, {0, 0}, {-5, 100}, {100, std::nan("")}};
    for (const auto& s : bad) {
        EXPECT_FALSE(CalculImage(s[0], s[1], kSw, kSh));
        EXPECT_FALSE(CalculImage2(s[0], s[1], kSw, kSh));
        EXPECT_FALSE(fitAndCentre(FitRule::Largest, s[0], s[1], kSw, kSh));
    }
    // An empty area is no error: the picture just shrinks to nothing.
    const auto r = CalculImage(100, 50, 0, 0);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->width, 0);
}

TEST(FitGeometry, KeepsRatioAndStaysInsideOverAGrid) {
    const double areas[][2] = {{1920, 1080}, {1080, 1920}, {800, 600}, {1366, 768}};
    const double sides[] = {1, 3, 97, 640, 799, 800, 801, 1080, 1919, 1920, 4000, 24000};
    for (const auto& a : areas) {
        for (double w0 : sides) {
            for (double h0 : sides) {
                SCOPED_TRACE(testing::Message()
                             << w0 << "x" << h0 << " in " << a[0] << "x" << a[1]);
                const auto n = CalculImage(w0, h0, a[0], a[1]);
                const auto l = CalculImage2(w0, h0, a[0], a[1]);
                ASSERT_TRUE(n && l);
                for (const FitSize& s : {*n, *l}) {
                    EXPECT_LE(s.width, a[0] * (1 + 1e-6));
                    EXPECT_LE(s.height, a[1] * (1 + 1e-6));
                    EXPECT_NEAR(s.width / s.height, w0 / h0, 1e-5 * (w0 / h0));
                }
                // Rule 1 never enlarges; rule 2 never gives less than rule 1.
                EXPECT_LE(n->width, w0);
                EXPECT_GE(l->width, n->width);
                if (w0 < a[0] && h0 < a[1]) {
                    EXPECT_EQ(n->width, w0);
                    // Enlarged until a side meets the area's.
                    EXPECT_TRUE(std::abs(l->width - a[0]) < 1e-3 ||
                                std::abs(l->height - a[1]) < 1e-3);
                }
            }
        }
    }
}

TEST(FitGeometry, CentringCutsLargePicturesEquallyAndModesMapToRules) {
    EXPECT_EQ(CentreIMG(14000, 10000, kSw, kSh), (FitPos{-1000, -500}));
    EXPECT_EQ(CentreIMG(12000, 9000, kSw, kSh), (FitPos{0, 0}));
    EXPECT_EQ(fitRuleForMode(2), FitRule::Largest);
    for (int16_t m : {int16_t(0), int16_t(1), int16_t(3), int16_t(-1)})
        EXPECT_EQ(fitRuleForMode(m), FitRule::NaturalOrSmaller);
}

namespace {

// Left half red, right half blue, so both the place and the orientation
// of the drawn picture can be checked.
QImage halves(int w, int h, QImage::Format format = QImage::Format_RGB32) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::red);
    QPainter p(&img);
    p.fillRect(w / 2, 0, w - w / 2, h, Qt::blue);
    p.end();
    return img.convertToFormat(format);
}

QImage drawOn(FittedPicture& pic, QSize area) {
    QImage out(area, QImage::Format_RGB32);
    out.fill(Qt::green);
    QPainter p(&out);
    pic.paint(p);
    return out;
}

} // namespace

TEST(FittedPicture, DrawsInPlaceWhetherReducedOnceOrFilteredAtPaint) {
    struct Case {
        QSize natural;
        FitRule rule;
        QRect expected;
    } cases[] = {
        {{100, 50}, FitRule::NaturalOrSmaller, {150, 175, 100, 50}}, // copied as is
        {{100, 50}, FitRule::Largest, {0, 100, 400, 200}},           // enlarged
        {{600, 300}, FitRule::NaturalOrSmaller, {0, 100, 400, 200}}, // reduced by 1.5
        {{4000, 2000}, FitRule::Largest, {0, 100, 400, 200}},        // reduced once, by 10
        {{1000, 4000}, FitRule::NaturalOrSmaller, {150, 0, 100, 400}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.natural.width() << "x" << c.natural.height());
        // An indexed picture is converted for drawing.
        FittedPicture pic;
        pic.setImage(halves(c.natural.width(), c.natural.height(), QImage::Format_Indexed8));
        EXPECT_EQ(pic.image().format(), QImage::Format_RGB32);
        ASSERT_TRUE(pic.fit(c.rule, QSizeF(400, 400)));
        EXPECT_EQ(pic.drawnRect(), c.expected);
        const QImage out = drawOn(pic, QSize(400, 400));
        const QRect r = c.expected;
        EXPECT_EQ(out.pixelColor(r.left() + 2, r.center().y()), QColor(Qt::red));
        EXPECT_EQ(out.pixelColor(r.right() - 2, r.center().y()), QColor(Qt::blue));
        EXPECT_EQ(out.pixelColor(r.left() + 2, r.top()), QColor(Qt::red));
        EXPECT_EQ(out.pixelColor(r.right() - 2, r.bottom()), QColor(Qt::blue));
        if (r.top() > 0) {
            EXPECT_EQ(out.pixelColor(r.center().x(), r.top() - 1), QColor(Qt::green));
            EXPECT_EQ(out.pixelColor(r.center().x(), r.bottom() + 1), QColor(Qt::green));
        }
        if (r.left() > 0) {
            EXPECT_EQ(out.pixelColor(r.left() - 1, r.center().y()), QColor(Qt::green));
            EXPECT_EQ(out.pixelColor(r.right() + 1, r.center().y()), QColor(Qt::green));
        }
        // A second paint draws the same (the reduced copy is kept).
        EXPECT_EQ(drawOn(pic, QSize(400, 400)), out);
    }
}
