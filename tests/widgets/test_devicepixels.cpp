// Pictures drawn one picture pixel per device pixel on surfaces of every
// common desktop scale, from logical positions that fall between device
// pixels.
#include "widgets/devicepixels.h"

#include <QPainter>
#include <gtest/gtest.h>

using namespace lumenta;

namespace {

// A picture whose neighbouring pixels all differ: any scaling, filtering or
// half-pixel shift shows.
QImage checkerboard(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, (x + y) % 2 ? 0xff000000 : 0xffffffff);
    return img;
}

// Where `pattern` lies 1:1 in `surface`, checked pixel by pixel.
bool copiedAt(const QImage& surface, const QImage& pattern, QPoint at) {
    for (int y = 0; y < pattern.height(); ++y)
        for (int x = 0; x < pattern.width(); ++x)
            if (surface.pixel(at.x() + x, at.y() + y) != pattern.pixel(x, y))
                return false;
    return true;
}

} // namespace

TEST(DevicePixels, APictureStaysOnePixelPerDevicePixelAtEveryScale) {
    const struct {
        qreal ratio;
        QPointF translate; // the painter's logical origin (a widget's place)
        QPointF at;        // where the picture is drawn, logical
        QPoint expected;   // its top-left, device pixels
    } cases[] = {
        {1.0, {0, 0}, {0, 0}, {0, 0}},       {1.0, {3, 5}, {2, 1}, {5, 6}},
        {1.25, {0, 0}, {4, 4}, {5, 5}},      {1.25, {3, 0}, {0, 1}, {4, 1}},
        {1.25, {1, 1}, {1, 1}, {3, 3}},      {1.5, {1, 1}, {0, 0}, {2, 2}},
        {1.5, {7, 3}, {0.5, 0.5}, {11, 5}},  {2.0, {0, 0}, {0, 0}, {0, 0}},
        {2.0, {5, 2}, {1.25, 0.5}, {13, 5}}, {1.75, {2, 2}, {0, 0}, {4, 4}},
    };
    const QImage pattern = checkerboard(33, 17);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "ratio " << c.ratio << " at " << c.at.x());
        QImage surface(120, 80, QImage::Format_RGB32);
        surface.fill(Qt::red);
        surface.setDevicePixelRatio(c.ratio);
        {
            QPainter p(&surface);
            p.translate(c.translate);
            const QTransform before = p.deviceTransform();
            drawImageAtDevicePixels(p, c.at, pattern);
            // The painter is left as it was.
            EXPECT_EQ(p.deviceTransform(), before);
        }
        EXPECT_TRUE(copiedAt(surface, pattern, c.expected));
        // Nothing spilled beyond the picture's own pixels.
        EXPECT_EQ(surface.pixel(c.expected + QPoint(pattern.width(), 0)), qRgb(255, 0, 0));
        EXPECT_EQ(surface.pixel(c.expected + QPoint(0, pattern.height())), qRgb(255, 0, 0));
    }
}

TEST(DevicePixels, APartOfAPictureAndAPictureWithARatioOfItsOwn) {
    QImage pattern = checkerboard(40, 40);
    QImage surface(100, 100, QImage::Format_RGB32);
    surface.fill(Qt::red);
    surface.setDevicePixelRatio(2);
    pattern.setDevicePixelRatio(2); // ignored: the copy is 1:1
    {
        QPainter p(&surface);
        drawImageAtDevicePixels(p, QPointF(10, 10), pattern, QRect(5, 6, 10, 10));
    }
    EXPECT_TRUE(copiedAt(surface, pattern.copy(5, 6, 10, 10), QPoint(20, 20)));
    EXPECT_EQ(surface.pixel(30, 20), qRgb(255, 0, 0));
}

TEST(DevicePixels, LogicalAndDeviceSizes) {
    const struct {
        QSize pixels;
        qreal ratio;
        QSize logical;
    } cases[] = {
        {{100, 50}, 1.0, {100, 50}}, {{100, 50}, 2.0, {50, 25}},     {{101, 51}, 2.0, {51, 26}},
        {{100, 50}, 1.25, {80, 40}}, {{101, 3}, 1.25, {81, 3}},      {{300, 1}, 1.5, {200, 1}},
        {{0, 0}, 1.5, {0, 0}},       {{640, 480}, 1.75, {366, 275}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pixels.width() << " at " << c.ratio);
        const QSize logical = logicalSize(c.pixels, c.ratio);
        EXPECT_EQ(logical, c.logical);
        // The logical size holds the whole picture.
        const QSize back = deviceSize(logical, c.ratio);
        EXPECT_GE(back.width(), c.pixels.width());
        EXPECT_GE(back.height(), c.pixels.height());
    }
    EXPECT_EQ(deviceSize(QSize(1024, 768), 1.25), QSize(1280, 960));
}

TEST(DevicePixels, ARotatedPainterIsLeftAlone) {
    QImage surface(60, 60, QImage::Format_RGB32);
    surface.fill(Qt::red);
    QPainter p(&surface);
    p.translate(30, 30);
    p.rotate(90);
    const QTransform before = p.deviceTransform();
    {
        DevicePixelPainter device(p);
        EXPECT_EQ(device.ratio(), 1.0);
    }
    EXPECT_EQ(p.deviceTransform(), before);
}
