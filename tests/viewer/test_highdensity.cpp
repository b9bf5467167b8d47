// The windows on a screen scaled by 1.5 (between whole device pixels, the
// hardest case): a picture at its natural size is drawn one picture pixel
// per device pixel wherever it is shown, and fitting counts device pixels.
#include "browser/frmpicviewer.h"
#include "browser/largepictureview.h"
#include "browser/panelgeometry.h"
#include "browser/thumbnailsurface.h"
#include "dialogs/commondialog.h"
#include "fullscreen/frmplecr.h"
#include "slideshow/ecrdiapo.h"
#include "slideshow/slideshowhost.h"
#include "support/listutil.h"
#include "support/testutil.h"
#include "support/viewerfixture.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace lumenta;

// Set before the application starts (static initialisation runs before main).
static const bool kScaled = qputenv("QT_SCALE_FACTOR", "1.5");

namespace {

constexpr qreal kRatio = 1.5;

// A picture whose neighbouring pixels all differ, with a marked corner so
// that a copy shifted by a pixel does not match.
QImage checkerboard(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, (x + y) % 2 ? 0xff000000 : 0xffffffff);
    img.setPixel(0, 0, 0xffff0000);
    return img;
}

// Whether `pattern` appears unchanged, pixel for pixel, somewhere in `shot`.
bool showsOneToOne(const QImage& shot, const QImage& pattern) {
    const QImage s = shot.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y + pattern.height() <= s.height(); ++y)
        for (int x = 0; x + pattern.width() <= s.width(); ++x)
            if (s.pixel(x, y) == pattern.pixel(0, 0) &&
                s.copy(x, y, pattern.width(), pattern.height()) == pattern)
                return true;
    return false;
}

QImage grabbed(QWidget* w) {
    const QPixmap pm = w->grab();
    EXPECT_EQ(pm.devicePixelRatio(), kRatio);
    return pm.toImage();
}

class HighDensity : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        ASSERT_TRUE(kScaled);
        ASSERT_TRUE(QDir().mkpath(browse));
        path = QDir(browse).filePath(QStringLiteral("damier.bmp"));
        ASSERT_TRUE(picture.save(path));
    }
    const QImage picture = checkerboard(61, 41);
    QString path;
};

} // namespace

TEST_F(HighDensity, MainWindowShowsThePictureOnePixelPerDevicePixel) {
    start();
    ASSERT_EQ(w->devicePixelRatioF(), kRatio);
    click(QStringLiteral("damier.bmp"));
    ASSERT_TRUE(w->Open->isVisible());
    // 61 x 41 device pixels take 41 x 28 logical ones (rounded up).
    EXPECT_EQ(w->Open->size(), QSize(41, 28));
    EXPECT_TRUE(showsOneToOne(grabbed(w.get()), picture));
    // (Drawn from between two device pixels:
    // DevicePixels.APictureStaysOnePixelPerDevicePixelAtEveryScale.)
}

TEST_F(HighDensity, FullScreenNaturalSizeAndLargestFitInDevicePixels) {
    ctx.state.FullScreenFilePath = path;
    for (int mode : {1, 2}) {
        SCOPED_TRACE(mode);
        ctx.state.settings.FullScreenSizeMode = int16_t(mode);
        FrmPlEcr full(ctx, nullptr);
        QSignalSpy done(&full, &FrmPlEcr::activationDone);
        full.show();
        full.activateWindow();
        ASSERT_TRUE(done.wait(5000));
        const QSize screen = full.size() * kRatio;
        const QRect drawn = full.picture().drawnRect(); // device pixels
        if (mode == 1) {
            EXPECT_EQ(drawn.size(), picture.size());
            EXPECT_TRUE(showsOneToOne(grabbed(&full), picture));
        } else {
            // As large as the screen's device pixels allow, not its logical ones.
            EXPECT_TRUE(drawn.width() == screen.width() || drawn.height() == screen.height())
                << drawn.width() << "x" << drawn.height();
        }
        const QPointF offCentre = QRectF(drawn).center() - QRectF(QPoint(0, 0), screen).center();
        EXPECT_LE(offCentre.manhattanLength(), 1.0);
    }
}

TEST_F(HighDensity, BrowserOwnSizeEnlargedViewAndGlass) {
    qputenv("XDG_CACHE_HOME", QFile::encodeName(appDir.filePath(QStringLiteral("cache"))));
    // Stripes two pixels wide: its 48-pixel thumbnail (32 pixels at 1.5)
    // keeps them, one device pixel each, only when made at the screen's
    // device pixels.
    QImage stripes(96, 96, QImage::Format_RGB32);
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 96; ++x)
            stripes.setPixel(x, y, (x / 2) % 2 ? 0xffffffff : 0xff000000);
    ASSERT_TRUE(stripes.save(QDir(browse).filePath(QStringLiteral("rayures.bmp"))));
    FrmPicViewer b(ctx, browse);
    b.show();
    ASSERT_TRUE(testutil::waitUntil([&] { return b.isIdle(); }, 20000));
    ASSERT_TRUE(testutil::clickName(b.FilList, QStringLiteral("damier.bmp")));
    ASSERT_TRUE(testutil::waitUntil([&] { return b.isIdle() && !b.ShownPicPath.isEmpty(); }));
    EXPECT_EQ(b.picViewX->size(), QSize(41, 28));
    // The second cell of the lot: black and white device pixels in turn,
    // none grey.
    const QImage& canvas = b.picListX->canvas();
    ASSERT_EQ(canvas.size(), QSize(408, 1512));
    const QPoint cell = panel::cellOrigin(1, 2) * kRatio;
    int wrong = 0;
    for (int x = 0; x < 48; ++x) {
        const int level = qGray(canvas.pixel(cell.x() + x, cell.y() + 24));
        wrong += x % 2 ? level < 240 : level > 16;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_TRUE(showsOneToOne(grabbed(b.picViewZ), picture));

    b.cmdViewLarge->click();
    ASSERT_TRUE(b.largeViewShown());
    EXPECT_TRUE(showsOneToOne(grabbed(b.picViewLarge), picture));
    EXPECT_EQ(b.picViewLarge->shownSize(), QSizeF(61 / kRatio, 41 / kRatio));
    // The glass is made at the screen's device pixels.
    b.cmdMagnifyGlass->click();
    const QImage& glass = b.picViewLarge->glass();
    EXPECT_EQ(glass.size(), QSize(225, 225));
    EXPECT_EQ(glass.devicePixelRatio(), kRatio);
}

TEST_F(HighDensity, SlideshowNaturalSizeRule) {
    FileList files;
    files.setPath(browse);
    ASSERT_TRUE(testutil::waitListed(&files));
    CommonDialog cmdialog{dialogs};
    SlideshowHost host;
    host.files = &files;
    host.dialog = &cmdialog;
    ctx.state.settings.SlideSizeMode = 1;
    ctx.state.settings.SlideShowFileName = 0;
    ctx.state.settings.SlidePauseSeconds = 60;
    EcrDiapo show(ctx, host);
    QSignalSpy displayed(&show, &EcrDiapo::pictureDisplayed);
    show.show();
    show.activateWindow();
    ASSERT_TRUE(testutil::waitUntil([&] { return !displayed.isEmpty(); }));
    ASSERT_TRUE(show.isPictureShown());
    EXPECT_TRUE(showsOneToOne(grabbed(&show), picture));
    QTest::keyClick(&show, Qt::Key_Escape);
}
