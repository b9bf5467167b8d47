// The browser window driven as a user drives it: folders, patterns, lots,
// clicks on the panel and in the file list, modes, drives, full screen.
#include "browser/thumbnailsurface.h"
#include "browserwindow.h"
#include "fullscreen/frmplecr.h"
#include "support/viewerfixture.h"

#include <QApplication>
#include <QGroupBox>
#include <QRadioButton>
#include <QTimer>

using namespace lumenta;

namespace {

class BrowserTest : public BrowserWindowTest {
protected:
    // Pictures pic1.bmp ... picN.bmp.
    void addPictures(int n) {
        for (int i = 1; i <= n; ++i)
            savePicture(QStringLiteral("pic%1.bmp").arg(i));
    }
    void clickCell(int row, int col) {
        const QPoint at = panel::cellOrigin(row, col) + QPoint(10, 10);
        QTest::mouseClick(w->picListX, Qt::LeftButton, {}, at);
        waitIdle();
    }
    void openFolder(const QString& folder) {
        w->DirList->setPath(folder);
        waitIdle();
    }
    int lots() const { return w->cboPicListLot->count(); }
};

} // namespace

TEST_F(BrowserTest, LotsCellsPagesAndTheFileList) {
    addPictures(49);
    testutil::writeFile(photos, QStringLiteral("notes.txt"), "x");
    open();
    EXPECT_EQ(w->lblFilesCount->text(), QStringLiteral("Fichiers : 49"));
    EXPECT_EQ(lots(), 2);
    EXPECT_EQ(w->cboPicListLot->itemText(1), QStringLiteral("2"));
    EXPECT_EQ(w->lblPicsOnPanel->text(),
              QStringLiteral("Images dans le lot : 48  (max 48 par lot)"));
    EXPECT_EQ(w->lblPicsCount->text(), QStringLiteral("Total images: 49,  contenues dans2 lots."));
    for (int cell : {1, 48}) {
        EXPECT_TRUE(w->cellDrawn(cell));
        EXPECT_EQ(w->cellThumbnail(cell).size(), QSize(32, 32));
    }
    EXPECT_TRUE(QFile::exists(cache.filePath(QStringLiteral("thumbnails/normal"))));

    // A thumbnail click selects its file and frames the cell.
    clickCell(2, 2);
    EXPECT_EQ(w->SelCell, 6);
    EXPECT_EQ(w->FilList->fileName(), QStringLiteral("pic6.bmp"));
    EXPECT_EQ(w->ShownPicPath, path(QStringLiteral("pic6.bmp")));
    EXPECT_TRUE(w->FrameShown());
    EXPECT_EQ(w->picListX->frame(), panel::frameBox(2, 2));

    // A file chosen in the list: its page, then its lot.
    clickFile(QStringLiteral("pic30.bmp"));
    EXPECT_EQ(w->currentLot(), 1);
    EXPECT_EQ(w->VsbPicList->value(), 504);
    EXPECT_EQ(w->picListX->frame(), panel::frameBox(8, 2));
    clickFile(QStringLiteral("pic49.bmp"));
    EXPECT_EQ(w->currentLot(), 2);
    EXPECT_EQ(w->LotPicCount, 1);
    EXPECT_EQ(w->VsbPicList->value(), 0);
    EXPECT_TRUE(w->cmdPanelRef[0]->isEnabled());
    EXPECT_FALSE(w->cmdPanelRef[1]->isEnabled());
    EXPECT_EQ(w->picListX->frame(), panel::frameBox(1, 1));

    // An empty cell selects nothing.
    clickCell(1, 2);
    EXPECT_EQ(w->SelCell, 0);
    EXPECT_EQ(w->FilList->fileName(), QStringLiteral("pic49.bmp"));

    // Page buttons and the lot list.
    w->cboPicListLot->setCurrentIndex(0);
    w->cboPicListLot_Click();
    waitIdle();
    EXPECT_EQ(w->LotPicCount, 48);
    w->cmdPanelRef[3]->click();
    EXPECT_EQ(w->VsbPicList->value(), 756);
    EXPECT_EQ(w->picListX->y(), -756);
    EXPECT_TRUE(dialogs.asked.isEmpty());
}

TEST_F(BrowserTest, AllFilesTestsEachFileAndMapsCellsByPath) {
    addPictures(2);
    testutil::writeFile(photos, QStringLiteral("pic1b.txt"), "hello");
    testutil::copyFixture(photos, QStringLiteral("pictures/samples/broken/text_renamed.bmp"),
                          QStringLiteral("pic1c.bmp"));
    open();
    choosePattern(QStringLiteral("*.*"));
    EXPECT_EQ(w->lblFilesCount->text(), QStringLiteral("Fichiers : 4"));
    ASSERT_EQ(w->PicCount, 2);
    EXPECT_EQ(w->PicTable.at(1).listIndex, 3);
    EXPECT_TRUE(w->picProgressContainer->isHidden());

    clickCell(1, 2);
    EXPECT_EQ(w->FilList->fileName(), QStringLiteral("pic2.bmp"));

    clickFile(QStringLiteral("pic1b.txt"));
    EXPECT_EQ(dialogs.lastText(), QStringLiteral("Pas de fichier image/Image non valide !"));

    // The folder changed on disk: a cell still shows its own file.
    QFile::remove(path(QStringLiteral("pic1b.txt")));
    w->FilList->setListing(photos.path(), QStringLiteral("*.*"),
                           {"pic1.bmp", "pic1c.bmp", "pic2.bmp"});
    clickCell(1, 2);
    EXPECT_EQ(w->FilList->fileName(), QStringLiteral("pic2.bmp"));

    // A broken picture under its own pattern is listed and drawn black.
    choosePattern(QStringLiteral("*.bmp"));
    ASSERT_EQ(w->PicCount, 3);
    EXPECT_TRUE(w->cellDrawn(2));
    EXPECT_TRUE(w->cellThumbnail(2).isNull());
}

TEST_F(BrowserTest, EmptyFoldersModesAndAutomaticThumbnails) {
    QDir(photos.path()).mkdir(QStringLiteral("empty"));
    testutil::writeFile(photos, QStringLiteral("texts/a.txt"), "x");
    addPictures(3);
    open(path("empty"));
    for (const QString& folder : {path("empty"), path("texts")}) {
        openFolder(folder);
        EXPECT_EQ(w->lblFilesCount->text(), QStringLiteral("Fichiers : 0"));
        EXPECT_EQ(lots(), 0);
        EXPECT_TRUE(w->lblPicsCount->text().isEmpty());
    }

    openFolder(photos.path());
    EXPECT_EQ(w->PicCount, 3);
    EXPECT_EQ(w->lblImagesPanelDir->text(), photos.path());

    // Search mode empties the panel and the view; back, it is rebuilt.
    clickFile(QStringLiteral("pic1.bmp"));
    w->optMode[1]->click();
    waitIdle();
    EXPECT_TRUE(w->fraImagesPanel->isHidden());
    EXPECT_FALSE(w->fraSearch->isHidden());
    EXPECT_EQ(w->PicCount, 0);
    EXPECT_TRUE(w->ShownPicPath.isEmpty());
    w->optMode[0]->click();
    waitIdle();
    EXPECT_EQ(w->PicCount, 3);

    // Automatic thumbnails off: the panel empties, a folder change leaves it
    // empty, the rebuild button fills it.
    w->cmdAutoImagesOn->click();
    EXPECT_FALSE(w->cmdAutoImagesOff->isHidden());
    EXPECT_TRUE(w->cmdListImages->isEnabled());
    EXPECT_EQ(lots(), 0);
    w->optMode[1]->click();
    w->optMode[0]->click();
    waitIdle();
    EXPECT_EQ(w->PicCount, 0);
    clickFile(QStringLiteral("pic2.bmp")); // no lot listed: shown all the same
    EXPECT_EQ(w->ShownPicPath, path(QStringLiteral("pic2.bmp")));
    EXPECT_EQ(w->PicWidth, 24);
    w->cmdListImages->click();
    waitIdle();
    EXPECT_EQ(w->PicCount, 3);
    w->DirList->setPath(path(QStringLiteral("empty")));
    openFolder(photos.path());
    EXPECT_EQ(w->PicCount, 0);
    w->cmdAutoImagesOff->click();
    waitIdle();
    EXPECT_EQ(w->PicCount, 3);
    EXPECT_FALSE(w->cmdListImages->isEnabled());
}

TEST_F(BrowserTest, LeavingTheFolderListOpensTheHighlightedFolder) {
    for (const char* sub : {"a", "b"})
        QDir(photos.path()).mkdir(QLatin1String(sub));
    open();
    QApplication::setActiveWindow(w.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    auto highlight = [&](const QString& folder) {
        w->DirList->setFocus();
        ASSERT_TRUE(w->DirList->hasFocus());
        while (w->DirList->highlightedPath() != folder && w->DirList->currentRow() > 0)
            QTest::keyClick(w->DirList, Qt::Key_Up);
        while (w->DirList->highlightedPath() != folder &&
               w->DirList->currentRow() < w->DirList->count() - 1)
            QTest::keyClick(w->DirList, Qt::Key_Down);
        ASSERT_EQ(w->DirList->highlightedPath(), folder);
    };
    const QString a = path(QStringLiteral("a")), b = path(QStringLiteral("b"));

    // The window losing activation and a focus change made by the program
    // open nothing.
    highlight(a);
    QWidget elsewhere;
    elsewhere.show();
    QApplication::setActiveWindow(&elsewhere);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    elsewhere.close();
    QApplication::setActiveWindow(w.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    w->cboPattern->setFocus();
    EXPECT_EQ(w->DirList->path(), photos.path());

    // Tab opens the highlighted folder.
    highlight(a);
    QTest::keyClick(w->DirList, Qt::Key_Tab);
    EXPECT_FALSE(w->DirList->hasFocus());
    EXPECT_EQ(w->DirList->path(), a);
    waitIdle();

    // So does a click elsewhere in the window.
    highlight(photos.path());
    QTest::mouseClick(w->FilList->viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(w->DirList->path(), photos.path());
    waitIdle();
    highlight(b);
    QTest::keyClick(w->DirList, Qt::Key_Backtab);
    EXPECT_EQ(w->DirList->path(), b);
    EXPECT_TRUE(dialogs.asked.isEmpty());
}

TEST_F(BrowserTest, FolderChosenDuringASearchAndADriveThatIsNotReady) {
    addPictures(2);
    testutil::copyFixture(photos, QStringLiteral("pictures/samples/gif/static.gif"));
    QDir(photos.path()).mkdir(QStringLiteral("sub"));
    open();
    const QList<PicRow> table = w->PicTable;

    w->lblSearchInProgress->show();
    w->cboSearchPattern->setCurrentText(QStringLiteral("*.gif"));
    w->DirList->setPath(path(QStringLiteral("sub")));
    openFolder(photos.path());
    EXPECT_EQ(w->FilList->pattern(), QStringLiteral("*.gif"));
    EXPECT_EQ(w->lblFilesCount->text(), QStringLiteral("Fichiers : 1"));
    EXPECT_EQ(w->PicTable, table);
    w->lblSearchInProgress->hide();

    w->drvList->addDrive(Drive{QStringLiteral("/no/such/volume"), QStringLiteral("X")});
    w->drvList->setCurrentIndex(w->drvList->findData(QStringLiteral("/no/such/volume")));
    EXPECT_EQ(dialogs.lastText(),
              QStringLiteral("DrvList_Change\n68     Périphérique non disponible"));
    EXPECT_NE(w->drvList->drive(), QStringLiteral("/no/such/volume"));
    EXPECT_EQ(w->DirList->path(), photos.path());
}

TEST_F(BrowserTest, FullScreenOfTheChosenFile) {
    addPictures(1);
    open();
    w->Command4->click(); // nothing chosen yet
    EXPECT_EQ(dialogs.lastText(), QStringLiteral("Format d'image non supporté"));

    clickFile(QStringLiteral("pic1.bmp"));
    bool shown = false;
    testutil::whenModal<FrmPlEcr>([&](FrmPlEcr* fs) {
        shown = testutil::waitUntil([&] { return fs->isPictureShown(); }, 5000);
        fs->close();
    });
    // Tied to the window: never fires in a later test.
    QTimer::singleShot(8000, w.get(), [] {
        if (QWidget* m = QApplication::activeModalWidget())
            m->close();
    });
    QTest::mouseDClick(w->picViewX, Qt::LeftButton);
    EXPECT_TRUE(shown);
    EXPECT_EQ(ctx.state.FullScreenFilePath, path(QStringLiteral("pic1.bmp")));
}

TEST_F(BrowserTest, FortyThousandFilesAndClosingWhileBuilding) {
    // On a memory file system where there is one: faster to fill.
    const QTemporaryDir many(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/lumenta-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/lumenta-XXXXXX"));
    const QByteArray base = QFile::encodeName(many.path()) + '/';
    for (int i = 0; i < 40000; ++i)
        std::fclose(std::fopen((base + "f" + QByteArray::number(i) + ".bmp").constData(), "w"));
    open(many.path());
    EXPECT_EQ(w->PicCount, 40000);
    EXPECT_EQ(lots(), 834);
    EXPECT_TRUE(w->cellThumbnail(1).isNull()); // empty files: black squares
    clickFile(QStringLiteral("f39999.bmp"));
    EXPECT_EQ(w->currentLot(), 834);
    EXPECT_EQ(w->SelCell, 16);

    // Every file tested: the window closes at once all the same.
    w->cboPattern->setCurrentText(QStringLiteral("*.*"));
    w->cboPattern_Click(QStringLiteral("*.*"));
    // Listed again first, on a thread that gives way to any other work.
    ASSERT_TRUE(testutil::waitUntil([&] { return !w->picProgressContainer->isHidden(); }, 20000));
    w->close();
    w.reset();
}

TEST_F(ViewerTest, ThePictureBrowserOpensOnTheMainWindowsFolder) {
    start();
    ASSERT_TRUE(w->Mnu_AfficheVignette->isEnabled());
    w->Command9->click();
    FrmPicViewer* browser = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* b = qobject_cast<FrmPicViewer*>(top); b && b->isVisible())
            browser = b;
    }
    ASSERT_NE(browser, nullptr);
    EXPECT_EQ(browser->DirList->path(), w->Dir1->path());
    EXPECT_TRUE(browser->isModal());
    QPointer<FrmPicViewer> watch(browser);
    browser->Command1->click();
    EXPECT_TRUE(testutil::waitUntil([&] { return watch.isNull(); }));
}
