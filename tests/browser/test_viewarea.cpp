// The viewing area: fitting, resizing, the magnifier, the enlarged view; and
// a picture too large to be decoded whole (small forced tiles) shown from tiles.
#include "browser/largepictureview.h"
#include "browser/viewgeometry.h"
#include "browserwindow.h"
#include "picture/tilefeed.h"

using namespace lumenta;
using namespace lumenta::view;

TEST(ViewGeometry, FitShrinksByWholePercentsOrRefuses) {
    const Fit wide = fitInto({1000, 500}, {400, 400});
    EXPECT_EQ(std::tuple(wide.kind, wide.percent, wide.size),
              std::tuple(Fit::Shrunk, 60, QSize(400, 200)));
    EXPECT_EQ(fitInto({5000, 20}, {400, 400}).kind, Fit::Refused);
    EXPECT_EQ(fitInto({400, 300}, {400, 400}).kind, Fit::AlreadyFits);
}

TEST(ViewGeometry, ResizeByAreaAndItsRefusalsInOrder) {
    const struct {
        int percent;
        QSize own, current;
        Resize::Kind kind;
        QSize size;
        const char* message = "";
    } cases[] = {
        {300, {400, 300}, {400, 300}, Resize::Apply, {800, 600}},
        {-75, {400, 300}, {800, 600}, Resize::Apply, {200, 150}},
        {0, {400, 300}, {200, 150}, Resize::Restore, {400, 300}},
        {50, {0, 0}, {0, 0}, Resize::Nothing, {}},
        {50, QSize(2000, 100), QSize(400, 20), Resize::Refused, QSize(),
         "La taille d'origine de l'image L/H ne peut excéder (1920/1080 pixels)"},
        {50, QSize(1920, 600), QSize(1920, 600), Resize::Refused, QSize(),
         "L'image L/H dépasse la taille maxi autorisée (1920/1080 pixels)"},
        {50, QSize(1920, 1080), QSize(1920, 1080), Resize::Refused, QSize(),
         "L'image L/H dépasse la taille maxi (1920/1080 pixels)"},
        {800, QSize(800, 600), QSize(800, 600), Resize::Refused, QSize(),
         "Dépasse la taille maxi autorisée 1920/1080 pixels"},
        {-25, QSize(16, 400), QSize(16, 400), Resize::Refused, QSize(),
         "La taille origine de l'image L/H atteint la taille maxi autorisée (16/16 pixels)"},
        {-25, QSize(100, 100), QSize(16, 16), Resize::Refused, QSize(),
         "L'image H/L est à la taille minimum (16/16 pixels)"},
        {-75, {20, 20}, {20, 20}, Resize::Refused, {}, "Will fall below min allowed 16/16 pixels"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.percent);
        const Resize r = resizeBy(c.percent, c.own, c.current, QSize(1920, 1080));
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

class ViewAreaTest : public BrowserWindowTest {
protected:
    void SetUp() override {
        BrowserWindowTest::SetUp();
        savePicture(QStringLiteral("big.bmp"), {1000, 500}, Qt::darkGreen);
        savePicture(QStringLiteral("tiny.bmp"), {20, 20}, Qt::red);
        testutil::writeFile(photos, QStringLiteral("bad.bmp"), "not a picture");
        open();
    }
    QSize shown() const { return w->picViewX->image().size(); }
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
    EXPECT_EQ(dialogs.lastText(), QStringLiteral("Will fall below min allowed 16/16 pixels"));
    EXPECT_EQ(w->cboResize->currentText(), QStringLiteral("+100"));

    clickFile(QStringLiteral("bad.bmp"));
    EXPECT_EQ(dialogs.lastText(), QStringLiteral("Pas de fichier image/Image non valide"));
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

namespace {

const QSize kNatural(4400, 700);

QImage pattern(QSize size) {
    QImage img(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] =
                qRgb((x / 16) * 8 & 0xff, (y / 16) * 8 & 0xff, ((x / 32) ^ (y / 32)) * 40 & 0xff);
    }
    return img;
}

class TiledViewTest : public BrowserWindowTest {
protected:
    void SetUp() override {
        BrowserWindowTest::SetUp();
        ctx.pictures().setLoadLimits(LoadLimits{0, QSize(64, 32)});
        picture = pattern(kNatural);
        ASSERT_TRUE(picture.save(path(QStringLiteral("big.png"))));
        open();
        choosePattern(QStringLiteral("*.*"));
        clickFile(QStringLiteral("big.png"));
    }
    // What the viewport shows once the tiles in view have come.
    QImage viewport() {
        EXPECT_TRUE(testutil::waitUntil(
            [&] { return w->picViewX->feed()->covers(w->picViewX->visibleNatural()); }, 20000));
        return w->picViewZ->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    QImage picture;
};

} // namespace

TEST_F(TiledViewTest, OwnSizeFromTilesFittedFromAReducedPictureAndReducedAsScaledTiles) {
    ASSERT_TRUE(w->picViewX->isTiled());
    EXPECT_EQ(w->lblPicSizeW->text(), QStringLiteral("L=4400"));
    EXPECT_EQ(w->lblPicSizeH->text(), QStringLiteral("H=700"));
    EXPECT_EQ(w->picViewX->size(), kNatural);
    EXPECT_FALSE(w->piccmdFitInContainer->isHidden());
    const QSize port = w->picViewZ->size();
    w->HsbView->setValue(w->HsbView->maximum());
    w->VsbView->setValue(w->VsbView->maximum());
    EXPECT_EQ(viewport(), picture.copy(QRect(QPoint(kNatural.width() - port.width(),
                                                    kNatural.height() - port.height()),
                                             port)));
    // Fitted: a reduced picture, made by the service.
    w->cmdFitIn->click();
    const view::Fit fit = view::fitInto(kNatural, port);
    ASSERT_TRUE(testutil::waitUntil([&] { return w->picViewX->image().size() == fit.size; }));
    EXPECT_FALSE(w->picViewX->isTiled());
    // -75 %: half the sides, still larger than a reduced picture is made:
    // the tiles, drawn at half size.
    chooseResize(QStringLiteral("-75"));
    ASSERT_TRUE(w->picViewX->isTiled());
    EXPECT_EQ(w->picViewX->size(), kNatural / 2);
    EXPECT_EQ(w->ResizeIndex, w->cboResize->findText(QStringLiteral("-75")));
    const QImage half = viewport();
    const QImage expected = picture.copy(QRect(QPoint(), port * 2))
                                .scaled(port, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_LT(qAbs(qRed(half.pixel(100, 50)) - qRed(expected.pixel(100, 50))), 12);
    chooseResize(QStringLiteral("+0"));
    EXPECT_EQ(w->picViewX->size(), kNatural);
    // Enlarging is refused: the own size exceeds the screen.
    chooseResize(QStringLiteral("+100"));
    EXPECT_TRUE(dialogs.lastText().startsWith(QStringLiteral("La taille d'origine")));
}

TEST_F(TiledViewTest, TheGlassMagnifiesTheTilesUnderItAndSavingAsShownIsRefused) {
    w->cmdViewLarge->click();
    ASSERT_TRUE(w->largeViewShown());
    EXPECT_EQ(w->picViewLarge->shownSize(), kNatural);
    w->cmdMagnifyGlass->click();
    ASSERT_TRUE(w->MagnifierOn);
    // Magnified by 2 from the top-left corner: the glass's pixel (75, 75)
    // shows the picture's (37, 37) once its tile has come.
    const QColor expected = picture.pixelColor(37, 37);
    EXPECT_TRUE(
        testutil::waitUntil([&] { return w->glassImage().pixelColor(75, 75) == expected; }, 20000));
    w->cmdViewLargeExit->click();
    EXPECT_FALSE(w->largeViewShown());
    w->PopPicviewSaveFile_Click();
    EXPECT_EQ(dialogs.lastText(),
              QStringLiteral("Cette image est trop grande pour être enregistrée telle qu'elle est "
                             "affichée !"));
    EXPECT_EQ(dialogs.count(ScriptedDialogs::Asked::Kind::File), 0);
}
