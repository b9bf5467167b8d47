// Pictures too large to be decoded whole in the main window (small forced
// tiles): the part in view painted from tiles, scroll bars reaching the far
// side, the overview in the preview, the clipboard refused, the print window
// laying it out from tiles, and a header
// claiming 65,535 x 65,535 pixels in a short file refused cleanly.
#include "picture/pictureservice.h"
#include "picture/tilefeed.h"
#include "printing/impimg.h"
#include "support/testutil.h"
#include "support/viewerfixture.h"
#include "widgets/picturewidgets.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QMimeData>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>
#include <QtEndian>

#include <zlib.h>

using namespace lumenta;

namespace {

QImage pattern(QSize size) {
    QImage img(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb(x & 0xff, y & 0xff, ((x / 9) ^ (y / 7)) * 16 & 0xff);
    }
    return img;
}

class TiledViewerTest : public ViewerTest {
protected:
    const QSize natural{3000, 2200};
    QImage picture;

    void SetUp() override {
        ViewerTest::SetUp();
        ctx.pictures().setLoadLimits(LoadLimits{0, QSize(64, 32)});
        picture = pattern(natural);
        ASSERT_TRUE(picture.save(QDir(browse).filePath(QStringLiteral("big.png"))));
    }

    // What the viewport shows, once every tile in view has come.
    QImage viewport() {
        EXPECT_TRUE(testutil::waitUntil(
            [this] { return w->Open->feed()->covers(w->Open->visibleNatural()); }, 15000));
        return w->PicFond->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
};

} // namespace

TEST_F(TiledViewerTest, ThePartInViewIsPaintedFromTilesAndTheScrollBarsReachTheFarSide) {
    start();
    w->Combo1->setEditText(QStringLiteral("*.*"));
    w->resize(800, 600);
    click(QStringLiteral("big.png"));
    ASSERT_TRUE(w->Open->isTiled());
    EXPECT_EQ(w->Open->size(), natural);
    EXPECT_TRUE(w->picture().isTiled());
    const QSize view = w->PicFond->size();
    EXPECT_EQ(viewport(), picture.copy(QRect(QPoint(0, 0), view)));
    // The far side: the last column and row at the viewport's edge, and the
    // tiles there drawn.
    w->HScroll1->setValue(w->HScroll1->maximum());
    w->VScroll1->setValue(w->VScroll1->maximum());
    const QPoint last =
        w->Open->mapTo(w->PicFond, QPoint(natural.width() - 1, natural.height() - 1));
    EXPECT_EQ(last, QPoint(view.width() - 1, view.height() - 1));
    EXPECT_EQ(viewport(),
              picture.copy(QRect(
                  QPoint(natural.width() - view.width(), natural.height() - view.height()), view)));
    // The preview shows the overview, which stays small.
    ASSERT_TRUE(testutil::waitUntil([this] { return !w->Image1->image().isNull(); }, 15000));
    EXPECT_LE(w->Image1->image().width(), kOverviewBox.width());
    // Tiles far from the view are let go.
    EXPECT_LT(w->Open->feed()->heldBytes(), qint64(natural.width()) * natural.height() * 4 / 2);
}

TEST_F(TiledViewerTest, CopyingATiledPictureSaysItIsTooLargeForTheClipboard) {
    start();
    w->Combo1->setEditText(QStringLiteral("*.*"));
    click(QStringLiteral("big.png"));
    ASSERT_TRUE(w->Open->isTiled());
    auto* before = new QMimeData;
    before->setText(QStringLiteral("avant"));
    QApplication::clipboard()->setMimeData(before);
    w->Image1_DblClick();
    ASSERT_NE(dialogs.lastMessage(), nullptr);
    EXPECT_EQ(
        dialogs.lastMessage()->text,
        QStringLiteral("Cette image est trop grande pour être copiée dans le presse papier !"));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("avant"));
}

TEST_F(TiledViewerTest, ThePrintWindowLaysTheTiledPictureOutAtItsSize) {
    start();
    w->Combo1->setEditText(QStringLiteral("*.*"));
    click(QStringLiteral("big.png"));
    ASSERT_TRUE(w->Open->isTiled());
    bool tiled = false;
    QSize laidOut;
    QTimer::singleShot(0, [&] {
        if (auto* imp = qobject_cast<ImpIMG*>(QApplication::activeModalWidget())) {
            tiled = imp->PicImage->isTiled();
            laidOut = imp->PicImage->size();
            imp->close();
        }
    });
    QTimer::singleShot(5000, [] {
        if (QWidget* m = QApplication::activeModalWidget())
            m->close();
    });
    w->Command10->click();
    EXPECT_TRUE(tiled);
    EXPECT_EQ(laidOut, natural);
}

TEST_F(ViewerTest, AHeaderClaimingMoreThanTheFileHoldsIsRefusedCleanly) {
    // A PNG whose header says 65,535 x 65,535, followed by two rows.
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    pattern(QSize(300, 2)).save(&png, "png");
    QByteArray forged = png.data();
    qToBigEndian<quint32>(65535, forged.data() + 16);
    qToBigEndian<quint32>(65535, forged.data() + 20);
    const quint32 crc = crc32(0, reinterpret_cast<const Bytef*>(forged.constData() + 12), 17);
    qToBigEndian<quint32>(crc, forged.data() + 29);
    QDir().mkpath(browse);
    QFile f(QDir(browse).filePath(QStringLiteral("forged.png")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(forged);
    f.close();
    start();
    w->Combo1->setEditText(QStringLiteral("*.*"));
    click(QStringLiteral("forged.png"));
    ASSERT_NE(dialogs.lastMessage(), nullptr);
    EXPECT_EQ(dialogs.lastMessage()->text, QStringLiteral("Format d'image non supporté !"));
    EXPECT_TRUE(w->Open->isHidden());
}
