#include "fullscreen/fit.h"
#include "fullscreen/fittedpicture.h"

#include <QImage>
#include <QPainter>
#include <cmath>
#include <gtest/gtest.h>

using namespace lumenta;

TEST(FitGeometry, TableInATwelveByNineThousandWindowErrorsAndModes) {
    const struct {
        double w0, h0;
        FitRect natural; // CalculImage then CentreIMG
        FitRect largest; // CalculImage2 then CentreIMG
    } cases[] = {
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
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w0 << " x " << c.h0);
        EXPECT_EQ(fitAndCentre(FitRule::NaturalOrSmaller, c.w0, c.h0, 12000, 9000), c.natural);
        EXPECT_EQ(fitAndCentre(FitRule::Largest, c.w0, c.h0, 12000, 9000), c.largest);
    }
    // A picture larger than the area is cut equally on both sides.
    EXPECT_EQ(CentreIMG(14000, 10000, 12000, 9000), (FitPos{-1000, -500}));
    // A side that is zero or no positive number is an error.
    const double bad[][2] = {{0, 100}, {100, 0}, {-5, 100}, {100, std::nan("")}};
    for (const auto& s : bad) {
        EXPECT_FALSE(CalculImage(s[0], s[1], 12000, 9000));
        EXPECT_FALSE(CalculImage2(s[0], s[1], 12000, 9000));
        EXPECT_FALSE(fitAndCentre(FitRule::Largest, s[0], s[1], 12000, 9000));
    }
    // An empty area is no error: the picture just shrinks to nothing.
    EXPECT_EQ(CalculImage(100, 50, 0, 0).value_or(FitSize{1, 1}).width, 0);
    for (int16_t m : {0, 1, 2, 3, -1})
        EXPECT_EQ(fitRuleForMode(m), m == 2 ? FitRule::Largest : FitRule::NaturalOrSmaller) << m;
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

TEST(FittedPicture, DrawsInPlaceWhetherReducedOnceOrFilteredAtPaint) {
    const struct {
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
    auto draw = [](FittedPicture& pic) {
        QImage out(400, 400, QImage::Format_RGB32);
        out.fill(Qt::green);
        QPainter p(&out);
        pic.paint(p);
        return out;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.natural.width() << "x" << c.natural.height());
        // Left half red, right half blue: place and orientation both show. An
        // indexed picture is converted for drawing.
        QImage img(c.natural, QImage::Format_RGB32);
        img.fill(Qt::red);
        QPainter(&img).fillRect(img.width() / 2, 0, img.width(), img.height(), Qt::blue);
        FittedPicture pic;
        pic.setImage(img.convertToFormat(QImage::Format_Indexed8));
        EXPECT_EQ(pic.image().format(), QImage::Format_RGB32);
        ASSERT_TRUE(pic.fit(c.rule, QSizeF(400, 400)));
        const QRect r = pic.drawnRect();
        EXPECT_EQ(r, c.expected);
        const QImage out = draw(pic);
        for (int y : {r.top(), r.center().y(), r.bottom()}) {
            EXPECT_EQ(out.pixelColor(r.left() + 2, y), QColor(Qt::red));
            EXPECT_EQ(out.pixelColor(r.right() - 2, y), QColor(Qt::blue));
        }
        // Nothing is drawn beside it.
        const QPoint mid = r.center();
        for (QPoint p : {QPoint(mid.x(), r.top() - 1), QPoint(mid.x(), r.bottom() + 1),
                         QPoint(r.left() - 1, mid.y()), QPoint(r.right() + 1, mid.y())})
            if (out.rect().contains(p))
                EXPECT_EQ(out.pixelColor(p), QColor(Qt::green)) << p.x() << "," << p.y();
        // A second paint draws the same (the reduced copy is kept).
        EXPECT_EQ(draw(pic), out);
    }
}
