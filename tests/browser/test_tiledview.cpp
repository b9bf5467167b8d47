// A picture too large to be decoded whole in the browser's viewing area
// (small forced tiles): shown at its own size from tiles, fitted from a
// reduced picture, reduced by the resize list as scaled tiles, enlarged with
// the magnifying glass reading the tiles, and refused for saving as shown.
#include "browser/frmpicviewer.h"
#include "browser/largepictureview.h"
#include "browser/viewgeometry.h"
#include "picture/pictureservice.h"
#include "picture/tilefeed.h"
#include "support/scripteddialogs.h"
#include "support/testutil.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QComboBox>
#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace lumenta;

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

class TiledViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(photos.isValid() && cache.isValid());
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
        ctx.dialogs = &dialogs;
        ctx.pictureService = std::make_shared<PictureService>();
        ctx.pictures().setLoadLimits(LoadLimits{0, QSize(64, 32)});
        picture = pattern(kNatural);
        ASSERT_TRUE(picture.save(photos.filePath(QStringLiteral("big.png"))));
        w = std::make_unique<FrmPicViewer>(ctx, photos.path());
        w->show();
        ASSERT_TRUE(testutil::waitUntil([&] { return w->isIdle(); }, 20000));
        w->cboPattern->setCurrentText(QStringLiteral("*.*"));
        w->cboPattern_Click(QStringLiteral("*.*"));
        ASSERT_TRUE(testutil::waitUntil([&] { return w->isIdle(); }, 20000));
        const int row = w->FilList->rowOf(QStringLiteral("big.png"));
        ASSERT_GE(row, 0);
        QTest::mouseClick(w->FilList->viewport(), Qt::LeftButton, {},
                          w->FilList->visualRect(w->FilList->model()->index(row, 0)).center());
        ASSERT_TRUE(testutil::waitUntil([&] { return w->isIdle(); }, 20000));
    }
    void chooseResize(const QString& entry) {
        const int i = w->cboResize->findText(entry);
        w->cboResize->setCurrentIndex(i);
        Q_EMIT w->cboResize->activated(i);
    }
    // What the viewport shows once the tiles in view have come.
    QImage viewport() {
        EXPECT_TRUE(testutil::waitUntil(
            [&] { return w->picViewX->feed()->covers(w->picViewX->visibleNatural()); }, 20000));
        return w->picViewZ->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    QTemporaryDir photos, cache;
    AppContext ctx;
    ScriptedDialogs dialogs;
    std::unique_ptr<FrmPicViewer> w;
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
    ASSERT_NE(dialogs.lastMessage(), nullptr);
    EXPECT_TRUE(dialogs.lastMessage()->text.startsWith(QStringLiteral("La taille d'origine")));
}

TEST_F(TiledViewTest, TheGlassMagnifiesTheTilesUnderIt) {
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
}

TEST_F(TiledViewTest, SavingThePictureAsShownSaysItIsTooLarge) {
    w->PopPicviewSaveFile_Click();
    ASSERT_NE(dialogs.lastMessage(), nullptr);
    EXPECT_EQ(dialogs.lastMessage()->text,
              QStringLiteral("Cette image est trop grande pour être enregistrée telle qu'elle est "
                             "affichée !"));
    EXPECT_EQ(dialogs.count(ScriptedDialogs::Asked::Kind::File), 0);
}
