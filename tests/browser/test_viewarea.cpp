// The viewing area: fitting, resizing, the magnifier's numbers, and the
// window's view buttons and enlarged view driven as a user does.
#include "browser/frmpicviewer.h"
#include "browser/largepictureview.h"
#include "browser/viewgeometry.h"
#include "picture/pictureservice.h"
#include "support/listutil.h"
#include "support/scripteddialogs.h"
#include "support/testutil.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace lumenta;
using namespace lumenta::view;

TEST(ViewGeometry, FitShrinksByWholePercentsOrRefuses) {
    const Fit wide = fitInto({1000, 500}, {400, 400});
    EXPECT_EQ(wide.kind, Fit::Shrunk);
    EXPECT_EQ(wide.percent, 60);
    EXPECT_EQ(wide.size, QSize(400, 200));
    EXPECT_EQ(fitInto({5000, 20}, {400, 400}).kind, Fit::Refused);
    EXPECT_EQ(fitInto({400, 300}, {400, 400}).kind, Fit::AlreadyFits);
}

TEST(ViewGeometry, ResizeByAreaAndItsRefusalsInOrder) {
    const QSize screen(1920, 1080);
    struct Case {
        int percent;
        QSize own, current;
        Resize::Kind kind;
        QSize size;
        const char* message;
    } cases[] = {
        {300, {400, 300}, {400, 300}, Resize::Apply, {800, 600}, ""},
        {-75, {400, 300}, {800, 600}, Resize::Apply, {200, 150}, ""},
        {0, {400, 300}, {200, 150}, Resize::Restore, {400, 300}, ""},
        {50, {0, 0}, {0, 0}, Resize::Nothing, {}, ""},
        {50,
         {2000, 100},
         {400, 20},
         Resize::Refused,
         {},
         "La taille d'origine de l'image L/H ne peut excéder (1920/1080 pixels)"},
        {50,
         {1920, 600},
         {1920, 600},
         Resize::Refused,
         {},
         "L'image L/H dépasse la taille maxi autorisée (1920/1080 pixels)"},
        {50,
         {1920, 1080},
         {1920, 1080},
         Resize::Refused,
         {},
         "L'image L/H dépasse la taille maxi (1920/1080 pixels)"},
        {800,
         {800, 600},
         {800, 600},
         Resize::Refused,
         {},
         "Dépasse la taille maxi autorisée 1920/1080 pixels"},
        {-25,
         {16, 400},
         {16, 400},
         Resize::Refused,
         {},
         "La taille origine de l'image L/H atteint la taille maxi autorisée (16/16 pixels)"},
        {-25,
         {100, 100},
         {16, 16},
         Resize::Refused,
         {},
         "L'image H/L est à la taille minimum (16/16 pixels)"},
        {-75, {20, 20}, {20, 20}, Resize::Refused, {}, "Will fall below min allowed 16/16 pixels"},
    };
    for (const Case& c : cases) {
        const Resize r = resizeBy(c.percent, c.own, c.current, screen);
        SCOPED_TRACE(c.percent);
        EXPECT_EQ(r.kind, c.kind);
        EXPECT_EQ(r.size, c.size);
        EXPECT_EQ(r.message, QString::fromUtf8(c.message));
    }
}

TEST(ViewGeometry, MagnifyFactorReadInTheLocaleItIsWrittenIn) {
    for (const QLocale& locale : {QLocale(QLocale::French), QLocale::c()}) {
        const QStringList entries = magnifyEntries(locale);
        ASSERT_EQ(entries.size(), 11);
        EXPECT_EQ(entries.at(kDefaultMagnifyEntry), QStringLiteral("2"));
        EXPECT_DOUBLE_EQ(magnifyFactor(entries.first(), locale), 1.5);
        EXPECT_DOUBLE_EQ(magnifyFactor(entries.last(), locale), 2.5);
    }
    EXPECT_EQ(magnifyEntries(QLocale(QLocale::French)).first(), QStringLiteral("1,5"));
}

TEST(ViewGeometry, GlassStopsAtTheEdgesAndShowsOnlyThePicture) {
    const QSizeF shown(400, 300), own(800, 600);
    GlassBox box = moveGlass(GlassBox{}, -50, -50, shown, 2);
    EXPECT_EQ(box, (GlassBox{0, 150, 0, 150}));
    box = moveGlass(box, 1000, 1000, shown, 2);
    EXPECT_EQ(box, (GlassBox{325, 475, 225, 375})); // 150 / 2 past the edges

    GlassBlit blit = glassBlit(GlassBox{}, 2, shown, own);
    EXPECT_EQ(blit.source, QRectF(0, 0, 150, 150));
    EXPECT_EQ(blit.target, QRectF(0, 0, 150, 150));
    blit = glassBlit(GlassBox{350, 500, 0, 150}, 1.5, shown, own);
    EXPECT_EQ(blit.source, QRectF(700, 0, 100, 200));
    EXPECT_EQ(blit.target, QRectF(0, 0, 75, 150));

    EXPECT_EQ(glassCursor(true, box, 400, 300), Qt::SizeAllCursor);
    EXPECT_EQ(glassCursor(true, box, 325, 300), Qt::ArrowCursor);
    EXPECT_EQ(glassCursor(false, box, 400, 300), Qt::ArrowCursor);
}

namespace {

class ViewAreaTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(photos.isValid() && cache.isValid());
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
        ctx.dialogs = &dialogs;
        ctx.pictureService = std::make_shared<PictureService>();
        QImage big(1000, 500, QImage::Format_RGB32);
        big.fill(Qt::darkGreen);
        ASSERT_TRUE(big.save(photos.filePath(QStringLiteral("big.bmp"))));
        QImage tiny(20, 20, QImage::Format_RGB32);
        tiny.fill(Qt::red);
        ASSERT_TRUE(tiny.save(photos.filePath(QStringLiteral("tiny.bmp"))));
        testutil::writeFile(photos, QStringLiteral("bad.bmp"), "not a picture");
        w = std::make_unique<FrmPicViewer>(ctx, photos.path());
        w->show();
        waitIdle();
    }
    void waitIdle() {
        ASSERT_TRUE(testutil::waitUntil([&] { return w->isIdle(); }, 20000));
    }
    void clickFile(const QString& name) {
        ASSERT_TRUE(testutil::clickName(w->FilList, name));
        waitIdle();
    }
    void chooseResize(const QString& entry) {
        const int i = w->cboResize->findText(entry);
        w->cboResize->setCurrentIndex(i);
        Q_EMIT w->cboResize->activated(i);
    }
    QSize shown() const { return w->picViewX->image().size(); }

    QTemporaryDir photos, cache;
    AppContext ctx;
    ScriptedDialogs dialogs;
    std::unique_ptr<FrmPicViewer> w;
};

} // namespace

TEST_F(ViewAreaTest, FitResizeRestoreAndAFailedLoad) {
    clickFile(QStringLiteral("big.bmp"));
    EXPECT_EQ(w->lblPicSizeW->text(), QStringLiteral("L=1000"));
    EXPECT_EQ(w->lblPicSizeH->text(), QStringLiteral("H=500"));
    EXPECT_FALSE(w->piccmdFitInContainer->isHidden());
    EXPECT_EQ(w->HsbView->maximum(), 1000 - w->picViewZ->width());
    w->HsbView->setValue(w->HsbView->maximum());
    EXPECT_EQ(w->picViewX->geometry().right(), w->picViewZ->width() - 1);

    w->cmdFitIn->click();
    EXPECT_EQ(shown(), QSize(420, 210));
    EXPECT_EQ(w->HsbView->maximum(), 0);
    chooseResize(QStringLiteral("-75"));
    EXPECT_EQ(shown(), QSize(500, 250)); // from the own size, not the fitted one
    EXPECT_EQ(w->HsbView->maximum(), 80);
    chooseResize(QStringLiteral("+0"));
    EXPECT_EQ(shown(), QSize(1000, 500));
    EXPECT_EQ(w->picViewX->image(), w->picCopy->image());

    clickFile(QStringLiteral("tiny.bmp"));
    EXPECT_TRUE(w->piccmdFitInContainer->isHidden());
    chooseResize(QStringLiteral("+100"));
    EXPECT_EQ(w->ResizeIndex, w->cboResize->findText(QStringLiteral("+100")));
    chooseResize(QStringLiteral("-75"));
    ASSERT_NE(dialogs.lastMessage(), nullptr);
    EXPECT_EQ(dialogs.lastMessage()->text,
              QStringLiteral("Will fall below min allowed 16/16 pixels"));
    EXPECT_EQ(w->cboResize->currentText(), QStringLiteral("+100"));

    clickFile(QStringLiteral("bad.bmp"));
    EXPECT_EQ(dialogs.lastMessage()->text, QStringLiteral("Pas de fichier image/Image non valide"));
    EXPECT_TRUE(w->ShownPicPath.isEmpty());
    EXPECT_TRUE(w->lblPicSizeW->text().isEmpty());
    EXPECT_TRUE(w->cboResize->isHidden());
    const qsizetype asked = dialogs.asked.size();
    chooseResize(QStringLiteral("+100"));
    EXPECT_EQ(dialogs.asked.size(), asked);
}

TEST_F(ViewAreaTest, EnlargedViewAndTheMagnifyingGlass) {
    const QRect before = w->geometry();
    clickFile(QStringLiteral("big.bmp"));
    w->cmdFitIn->click();
    w->cmdViewLarge->click();
    ASSERT_TRUE(w->largeViewShown());
    EXPECT_TRUE(w->picViewZ->isHidden());
    EXPECT_EQ(w->picViewLarge->picture().size(), QSize(420, 210));

    w->cmdMagnifyGlass->click();
    EXPECT_TRUE(w->MagnifierOn);
    EXPECT_FALSE(w->cboMagnify->isEnabled());
    // Magnified by 2 from the own-size copy: its left 150 x 150 pixels.
    EXPECT_EQ(w->glassImage().pixelColor(75, 75), QColor(Qt::darkGreen));

    QTest::mousePress(w->picViewLarge, Qt::LeftButton, {}, QPoint(20, 20));
    w->picViewLarge_MouseMove(QPointF(5, 20));
    EXPECT_EQ(w->GlassBox.x1, 0);
    EXPECT_EQ(w->picViewLarge->cursor().shape(), Qt::SizeAllCursor);
    w->picViewLarge_MouseMove(QPointF(2000, 20));
    EXPECT_EQ(w->GlassBox.x2, 420 + 75);
    w->picViewLarge_MouseUp();
    w->picViewLarge_MouseMove(QPointF(2, 2));
    EXPECT_EQ(w->picViewLarge->cursor().shape(), Qt::ArrowCursor);

    w->cmdMagnifyGlass->click();
    EXPECT_FALSE(w->MagnifierOn);
    EXPECT_TRUE(w->glassImage().isNull());
    w->picViewLarge_MouseMove(QPointF(450, 20));
    EXPECT_EQ(w->picViewLarge->cursor().shape(), Qt::ArrowCursor);

    QTest::keyClick(w.get(), Qt::Key_Escape); // leaves the enlarged view, not the window
    EXPECT_FALSE(w->largeViewShown());
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(w->isMaximized());
    EXPECT_EQ(w->geometry(), before);
}
