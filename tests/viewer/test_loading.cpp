// The main window while pictures load, and pictures too large to be decoded
// whole shown from tiles.
#include "fileutil/frmcopy.h"
#include "picture/pictureservice.h"
#include "picture/tilefeed.h"
#include "printing/impimg.h"
#include "printing/printtestutil.h"
#include "support/testutil.h"
#include "support/viewerfixture.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace lumenta;
using Kind = ScriptedDialogs::Asked::Kind;

namespace {

const QSize kSmall(40, 30);
const QSize kLarge(3000, 2000);

// Two pictures of different sizes: a.bmp shown first, b.bmp then loading.
void makePictures(const QString& folder) {
    for (const auto& [name, size] : {std::pair{"a.bmp", kSmall}, std::pair{"b.bmp", kLarge}}) {
        QImage img(size, QImage::Format_RGB32);
        img.fill(size == kSmall ? Qt::red : Qt::blue);
        ASSERT_TRUE(img.save(QDir(folder).filePath(QLatin1String(name))));
    }
}

// Calls act() on the modal window of type W once it is up.
template <class W> void whenModal(std::function<void(W*)> act, int triesLeft = 500) {
    QTimer::singleShot(10, [act = std::move(act), triesLeft] {
        if (auto* m = qobject_cast<W*>(QApplication::activeModalWidget()))
            act(m);
        else if (triesLeft > 0)
            whenModal<W>(act, triesLeft - 1);
        else
            ADD_FAILURE() << W::staticMetaObject.className() << " did not open";
    });
}

} // namespace

TEST_F(ViewerTest, SaveCopyAndPrintDuringALoadActOnThePictureBeingLoaded) {
    // The print window asks a print server that is not there.
    QTemporaryDir cups;
    ASSERT_TRUE(printtest::isolate(cups.filePath(QStringLiteral("no-server.sock"))));
    makePictures(browse);
    start();
    const QString target = appDir.filePath(QStringLiteral("saved.bmp"));
    const QString b = QDir(browse).filePath(QStringLiteral("b.bmp"));
    enum { Save, Copy, Print };
    for (int command : {Save, Copy, Print}) {
        SCOPED_TRACE(command);
        click(QStringLiteral("a.bmp"));
        QGuiApplication::clipboard()->clear();
        click(QStringLiteral("b.bmp"), false);
        ASSERT_TRUE(w->isLoadingPicture());
        QString printedPath;
        QSize printedSize;
        switch (command) {
        case Save:
            dialogs.fileAnswers.push_back({true, target, 1});
            w->Mnu_EnregSous->trigger();
            break;
        case Copy:
            QTest::mouseDClick(w->Image1, Qt::LeftButton);
            break;
        case Print:
            whenModal<ImpIMG>([&](ImpIMG* imp) {
                printedPath = imp->Label1->text();
                printedSize = imp->PicImage->image().size();
                imp->close();
            });
            w->Mnu_Imprimer->trigger();
            break;
        }
        ASSERT_TRUE(waitForPicture());
        ASSERT_TRUE(testutil::waitUntil([&] { return w->picture().size() == kLarge; }));
        switch (command) {
        case Save: {
            ASSERT_TRUE(testutil::waitUntil([&] { return dialogs.count(Kind::File) == 1; }));
            EXPECT_EQ(QFileInfo(dialogs.asked.last().file.fileName).fileName(),
                      QStringLiteral("b.BMP"));
            EXPECT_EQ(QImageReader(target).size(), kLarge);
            break;
        }
        case Copy:
            ASSERT_TRUE(testutil::waitUntil(
                [] { return QGuiApplication::clipboard()->mimeData()->hasImage(); }));
            EXPECT_EQ(QGuiApplication::clipboard()->image().size(), kLarge);
            break;
        case Print:
            ASSERT_TRUE(testutil::waitUntil([&] { return !printedPath.isEmpty(); }));
            EXPECT_TRUE(printedPath.contains(b, Qt::CaseInsensitive)) << printedPath.toStdString();
            EXPECT_EQ(printedSize, kLarge);
            break;
        }
    }
    // A command put off for a load that is given up runs for no other picture.
    dialogs.asked.clear();
    click(QStringLiteral("a.bmp"));
    click(QStringLiteral("b.bmp"), false);
    w->Mnu_EnregSous->trigger();
    w->Command7->click(); // erase: the load is dropped
    testutil::waitUntil([] { return false; }, 200);
    EXPECT_EQ(dialogs.count(Kind::File), 0);
    EXPECT_TRUE(dialogs.asked.isEmpty());
}

TEST_F(ViewerTest, TheFileUtilityTakesThePictureAwayBeforeItOpens) {
    makePictures(browse);
    start();
    click(QStringLiteral("a.bmp"));
    ctx.state.settings.SelectionListValid = 1;
    bool hiddenWhileOpen = false;
    whenModal<FrmCopy>([&](FrmCopy* utility) {
        hiddenWhileOpen = w->Open->isHidden() && w->Image1->isHidden() && w->PicFond->isHidden();
        utility->btcCancel->click();
    });
    w->Command8->click();
    // Taken away as an erase takes it (EraseHidesThePictureAndCopyFollows checks each control).
    EXPECT_TRUE(hiddenWhileOpen);
    EXPECT_TRUE(w->Open->isHidden() && w->Command7->isHidden() && !w->Command6->isHidden());
    EXPECT_FALSE(w->Mnu_EnregSous->isEnabled() || w->Mnu_Diapo->isEnabled());
    w->Mnu_Fichier_Open();
    EXPECT_FALSE(w->Mnu_Imprimer->isEnabled());
}

TEST_F(ViewerTest, TheNextPictureIsDecodedAheadAndANewFolderOrFilterStartsAfresh) {
    const QString other = appDir.filePath(QStringLiteral("autre"));
    QDir().mkpath(other);
    for (const char* name : {"p1.jpg", "p2.jpg", "p3.jpg"}) {
        addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"), QLatin1String(name));
        QFile::copy(testutil::fixture(QStringLiteral("pictures/samples/jpeg/progressive.jpg")),
                    QDir(other).filePath(QLatin1String(name)));
    }
    start();
    QSignalSpy results(&ctx.pictures(), &PictureService::finished);
    auto idle = [&] { return testutil::waitUntil([&] { return ctx.pictures().isIdle(); }); };
    enum { Folder, Filter };
    for (int change : {Folder, Filter}) {
        SCOPED_TRACE(change);
        // Upwards through the list: p3, then p2.
        click(QStringLiteral("p3.jpg"));
        ASSERT_TRUE(idle());
        QTest::keyClick(w->File1, Qt::Key_Up);
        ASSERT_TRUE(waitForPicture());
        ASSERT_TRUE(idle());
        if (change == Folder)
            w->Dir1->setPath(other);
        else
            w->Combo1->setEditText(QStringLiteral("*.jpg;*.gif"));
        ASSERT_TRUE(idle());
        ctx.pictures().clearCache();
        // The first picture of the new list, then Down twice: p2 was decoded
        // while p1 was shown, p3 while p2 was.
        click(QStringLiteral("p1.jpg"));
        for (const char* next : {"/p2.jpg", "/p3.jpg"}) {
            ASSERT_TRUE(idle());
            QTest::keyClick(w->File1, Qt::Key_Down);
            ASSERT_TRUE(waitForPicture());
            EXPECT_TRUE(ctx.state.CurrentFilePath.endsWith(QLatin1String(next)));
            EXPECT_TRUE(qvariant_cast<PictureResult>(results.last().at(0)).fromCache) << next;
        }
        w->Dir1->setPath(browse);
        w->Combo1->setEditText(QStringLiteral("*.jpg"));
    }
}

TEST_F(ViewerTest, ALoadThatFailsAfterItsFirstRowsPutsTheWindowBackAsItWas) {
    addFixture(QStringLiteral("pictures/samples/jpeg/large_4000x3000.jpg"),
               QStringLiteral("big.jpg"));
    makePictures(browse);
    start();
    w->Combo1->setEditText(QStringLiteral("*.*"));
    for (bool erased : {false, true}) {
        SCOPED_TRACE(erased);
        click(QStringLiteral("a.bmp"));
        if (erased)
            w->Command7->click();
        const int hMax = w->HScroll1->maximum(), vMax = w->VScroll1->maximum();
        const qint64 before = w->Open->image().cacheKey();
        // The decoding fails as soon as its first rows are on screen, before
        // the real end (however fast) can come.
        bool failedMidway = false;
        QMetaObject::Connection midway =
            QObject::connect(&ctx.pictures(), &PictureService::rowsReady, w.get(),
                             [&](PictureTicket ticket, const QImage&, int) {
                                 if (failedMidway || w->Open->image().width() != 4000)
                                     return;
                                 failedMidway = true;
                                 EXPECT_TRUE(w->isLoadingPicture());
                                 PictureResult failed;
                                 failed.ticket = ticket;
                                 failed.request = PictureRequest::full(
                                     QDir(browse).filePath(QStringLiteral("big.jpg")));
                                 failed.picture.error = QStringLiteral("damaged");
                                 Q_EMIT ctx.pictures().finished(failed);
                             });
        click(QStringLiteral("big.jpg"), false);
        ASSERT_TRUE(testutil::waitUntil([&] { return failedMidway; }));
        QObject::disconnect(midway);
        EXPECT_FALSE(w->isLoadingPicture());
        EXPECT_EQ(dialogs.lastText(), QStringLiteral("Format d'image non supporté !"));
        EXPECT_EQ(w->Open->image().cacheKey(), before);
        EXPECT_EQ(w->Open->size(), kSmall);
        EXPECT_EQ(w->Open->isHidden(), erased);
        EXPECT_EQ(w->PicFond->isHidden(), erased);
        EXPECT_EQ(w->HScroll1->maximum(), hMax);
        EXPECT_EQ(w->VScroll1->maximum(), vMax);
        ASSERT_TRUE(testutil::waitUntil([&] { return ctx.pictures().isIdle(); }));
        ctx.pictures().clearCache();
    }
}

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

} // namespace

// The window binds to tiled pictures: painted from tiles, scroll bars over the
// natural size, no copy to the clipboard, printed at that size.
TEST_F(ViewerTest, ATiledPictureIsPaintedFromTilesNotCopiedButPrintedAtItsSize) {
    const QSize natural(3000, 2200);
    ctx.pictures().setLoadLimits(LoadLimits{0, QSize(64, 32)});
    const QImage picture = pattern(natural);
    ASSERT_TRUE(picture.save(QDir(browse).filePath(QStringLiteral("big.png"))));
    start();
    w->Combo1->setEditText(QStringLiteral("*.*"));
    w->resize(800, 600);
    click(QStringLiteral("big.png"));
    ASSERT_TRUE(w->Open->isTiled() && w->picture().isTiled());
    EXPECT_EQ(w->Open->size(), natural);
    // The far side: the last column and row at the viewport's edge, the tiles
    // there drawn.
    w->HScroll1->setValue(w->HScroll1->maximum());
    w->VScroll1->setValue(w->VScroll1->maximum());
    const QSize view = w->PicFond->size();
    EXPECT_EQ(w->Open->mapTo(w->PicFond, QPoint(natural.width() - 1, natural.height() - 1)),
              QPoint(view.width() - 1, view.height() - 1));
    ASSERT_TRUE(testutil::waitUntil(
        [this] { return w->Open->feed()->covers(w->Open->visibleNatural()); }, 15000));
    EXPECT_EQ(w->PicFond->grab().toImage().convertToFormat(QImage::Format_RGB32),
              picture.copy(QRect(
                  QPoint(natural.width() - view.width(), natural.height() - view.height()), view)));
    // The preview shows the overview, which stays small.
    ASSERT_TRUE(testutil::waitUntil([this] { return !w->Image1->image().isNull(); }, 15000));
    EXPECT_LE(w->Image1->image().width(), kOverviewBox.width());

    QApplication::clipboard()->setText(QStringLiteral("avant"));
    w->Image1_DblClick();
    EXPECT_EQ(
        dialogs.lastText(),
        QStringLiteral("Cette image est trop grande pour être copiée dans le presse papier !"));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("avant"));
    bool tiled = false;
    QSize laidOut;
    whenModal<ImpIMG>([&](ImpIMG* imp) {
        tiled = imp->PicImage->isTiled();
        laidOut = imp->PicImage->size();
        imp->close();
    });
    w->Command10->click();
    EXPECT_TRUE(tiled);
    EXPECT_EQ(laidOut, natural);
}
