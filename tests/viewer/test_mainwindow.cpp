#include "picture/pictureservice.h"
#include "support/testutil.h"
#include "support/viewerfixture.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace lumenta;

namespace {
bool shown(const QWidget* w) {
    return !w->isHidden();
}
} // namespace

TEST_F(ViewerTest, FirstStartPlacesTheListsOnTheProgramFolder) {
    addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"));
    addFixture(QStringLiteral("pictures/samples/gif/static.gif"));
    addFixture(QStringLiteral("media/tone_s16.wav"));
    start();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Visionneuse d'images"));
    EXPECT_EQ(w->Dir1->path(), appDir.path());
    EXPECT_EQ(w->File1->path(), appDir.path());
    EXPECT_EQ(w->Combo1->currentText(), QStringLiteral("*.bmp;*.gif;*.jpg"));
    EXPECT_EQ(w->Label5->text(), QStringLiteral(" 2 Fichiers"));
    ASSERT_EQ(w->Combo1->count(), 27);
    EXPECT_EQ(w->Combo1->itemText(0), QStringLiteral("*.ico"));
    EXPECT_EQ(w->Combo1->itemText(9), QStringLiteral("*.bmp;*.gif;*.jpg"));
    EXPECT_EQ(w->Combo1->itemText(21), QStringLiteral("*.rm;*.ra;*.ram;*.rmm;*.rmd"));
    EXPECT_EQ(w->Combo1->itemText(26), QStringLiteral("*.dib"));
    EXPECT_EQ(w->File1->toolTip(),
              QStringLiteral("Cliquez sur le nom d'un fichier pour l'exécuter"));
    EXPECT_EQ(w->Open->toolTip(),
              QStringLiteral("Clic droit pour afficher l'image en plein écran"));
    EXPECT_EQ(w->Command9->toolTip(), QStringLiteral("Utilitaire de sélection par vignettes"));
    // Start states of the picture buttons.
    EXPECT_FALSE(shown(w->Command2));
    EXPECT_FALSE(w->Command2->isEnabled());
    EXPECT_FALSE(shown(w->Command6));
    EXPECT_FALSE(shown(w->Command7));
    EXPECT_FALSE(w->Command5->isEnabled());
    EXPECT_FALSE(shown(w->MMControl1));
    EXPECT_FALSE(shown(w->Command4));
    EXPECT_FALSE(w->Mnu_Pleinecran->isEnabled());
    EXPECT_FALSE(w->Mnu_EffaceImage->isEnabled());
    EXPECT_FALSE(w->Mnu_Diapo->isEnabled());
    // Controls sit at their places in twips (15 twips a pixel at 96 DPI).
    EXPECT_EQ(w->Dir1->geometry(), QRect(8, 56, 185, 126));
    EXPECT_EQ(w->Command1->geometry(), QRect(144, 112, 33, 33));
    EXPECT_FALSE(QFileInfo::exists(settingsFile()));
}

TEST_F(ViewerTest, KeptSearchFolderIsRestoredWholeWithItsComma) {
    browse = appDir.filePath(QStringLiteral("vacances, 2024"));
    addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"));
    testutil::writeFile(appDir, QStringLiteral("Affich.cfg"),
                        (QStringLiteral(" 1  2 \r\n 0  0  1  1  0  0  1 \r\n 1 \r\n") + browse +
                         QStringLiteral("\r\n"))
                            .toUtf8());
    start();
    EXPECT_EQ(w->Dir1->path(), browse);
    EXPECT_EQ(w->File1->count(), 1);
    EXPECT_EQ(ctx.state.settings.FullScreenBackColor, 2);
}

TEST_F(ViewerTest, MissingSearchFolderFallsBackToTheProgramFolder) {
    testutil::writeFile(appDir, QStringLiteral("Affich.cfg"),
                        " 1  2 \r\n 0  0  1  1  0  0  1 \r\n 1 \r\n/no/such/folder\r\n");
    start();
    EXPECT_EQ(w->Dir1->path(), appDir.path());
    EXPECT_TRUE(dialogs.asked.isEmpty());
}

TEST_F(ViewerTest, FilterChoiceAndMalformedPattern) {
    addFixture(QStringLiteral("media/tone_s16.wav"));
    addFixture(QStringLiteral("media/tone_u8.wav"), QStringLiteral("TONE2.WAV"));
    addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"));
    start();
    const int wav = w->Combo1->findText(QStringLiteral("*.wav"));
    ASSERT_GE(wav, 0);
    w->Combo1->setCurrentIndex(wav);
    Q_EMIT w->Combo1->activated(wav);
    EXPECT_EQ(w->File1->count(), 2);
    EXPECT_EQ(w->Label5->text(), QStringLiteral(" 2 Fichiers"));

    // A pattern being typed filters as soon as it is valid...
    w->Combo1->lineEdit()->setFocus();
    w->Combo1->lineEdit()->selectAll();
    QTest::keyClicks(w->Combo1->lineEdit(), QStringLiteral("*.jpg"));
    EXPECT_EQ(w->File1->count(), 1);
    // ...and a malformed one is refused when it is confirmed.
    w->Combo1->lineEdit()->selectAll();
    QTest::keyClicks(w->Combo1->lineEdit(), QStringLiteral("*.jpg|x"));
    EXPECT_TRUE(dialogs.asked.isEmpty());
    QTest::keyClick(w->Combo1->lineEdit(), Qt::Key_Return);
    ASSERT_NE(dialogs.lastMessage(), nullptr);
    EXPECT_EQ(dialogs.lastMessage()->text, QStringLiteral("Filtre incorrect !"));
    EXPECT_EQ(dialogs.lastMessage()->title, QStringLiteral("Erreur"));
    EXPECT_EQ(dialogs.lastMessage()->icon, MsgIcon::Stop);
    EXPECT_EQ(w->Combo1->currentText(), QStringLiteral("*.*"));
    EXPECT_EQ(w->File1->pattern(), QStringLiteral("*.*"));
    EXPECT_EQ(w->File1->count(), 3);
}

TEST_F(ViewerTest, PictureClickShowsItAndSetsTheCommands) {
    browse = appDir.filePath(QStringLiteral("my.photos"));
    QDir().mkpath(browse);
    testutil::writeFile(appDir, QStringLiteral("Affich.cfg"),
                        (QStringLiteral(" 0  0 \r\n 0  0  1  1  0  0  1 \r\n 1 \r\n") + browse +
                         QStringLiteral("\r\n"))
                            .toUtf8());
    const QString path = addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"),
                                    QStringLiteral("chat.jpg"));
    start();
    click(QStringLiteral("chat.jpg"));
    EXPECT_EQ(ctx.state.CurrentFilePath, path);
    EXPECT_EQ(ctx.state.CurrentFileExt, QStringLiteral("JPG"));
    EXPECT_EQ(ctx.state.FullScreenFilePath, path);
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Visionneuse d'image : ") + path.toUpper() +
                                    QStringLiteral("  ") + QString::number(QFileInfo(path).size()) +
                                    QStringLiteral(" Octets"));
    const QImage img = w->picture().image;
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(w->Open->size(), img.size());
    for (QWidget* c : {static_cast<QWidget*>(w->Open), w->PicFond, static_cast<QWidget*>(w->Image1),
                       static_cast<QWidget*>(w->Command2), static_cast<QWidget*>(w->Command7),
                       static_cast<QWidget*>(w->Command10), static_cast<QWidget*>(w->Command6)})
        EXPECT_TRUE(shown(c)) << c->objectName().toStdString();
    EXPECT_TRUE(w->Command2->isEnabled());
    // The list editor's button follows whether that window can be opened.
    EXPECT_EQ(w->Command5->isEnabled(), w->windows().available(SecondaryWindow::SelectionList));
    EXPECT_TRUE(w->Mnu_Pleinecran->isEnabled());
    EXPECT_TRUE(w->Mnu_EnregSous->isEnabled());
    EXPECT_DOUBLE_EQ(ctx.state.PictureWidthMM, std::nearbyint(img.width() * 15 * 25.4 / 1440));
    EXPECT_TRUE(dialogs.asked.isEmpty());

    // The folder changes: the picture is hidden, the menus disabled, and
    // the slideshow button shows only with a validated list.
    ctx.state.settings.SelectionListValid = 1;
    w->Dir1->setPath(appDir.path());
    EXPECT_FALSE(shown(w->Open));
    EXPECT_FALSE(shown(w->Image1));
    EXPECT_FALSE(shown(w->Command2));
    EXPECT_FALSE(w->Mnu_EnregSous->isEnabled());
    EXPECT_TRUE(shown(w->Command6));
    ctx.state.settings.SelectionListValid = 0;
    w->Dir1->setPath(browse);
    EXPECT_FALSE(shown(w->Command6));
}

TEST_F(ViewerTest, StartingOnAFileSelectsItUnderTheFirstFilterThatListsIt) {
    const QString album = appDir.filePath(QStringLiteral("album été"));
    QDir().mkpath(album);
    const QString gif = testutil::fixture(QStringLiteral("pictures/samples/gif/static.gif"));
    const struct {
        const char* name;
        const char* filter; // the first entry of the list that lists it
    } files[] = {{"chat.gif", "*.gif"}, {"photo.JPEG", "*.*"}, {"sans point", "*.*"}};
    start();
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const QString path = QDir(album).filePath(QLatin1String(f.name));
        QFile::copy(gif, path);
        w->openFromCommandLine(path);
        EXPECT_TRUE(waitForPicture());
        EXPECT_EQ(w->Dir1->path(), album);
        EXPECT_EQ(w->Combo1->currentText(), QLatin1String(f.filter));
        EXPECT_EQ(w->File1->fileName(), QLatin1String(f.name));
        EXPECT_EQ(ctx.state.CurrentFilePath, path);
    }
    // "sans point" has no extension: refused silently, as a click would.
    EXPECT_TRUE(dialogs.asked.isEmpty());
    EXPECT_TRUE(w->Open->isHidden());
    EXPECT_FALSE(QFileInfo::exists(settingsFile()));
}

TEST_F(ViewerTest, ScrollBarsReachTheFarSideOfALargePhoto) {
    QImage photo(6000, 4000, QImage::Format_RGB32);
    photo.fill(Qt::darkGreen);
    ASSERT_TRUE(photo.save(QDir(browse).filePath(QStringLiteral("big.jpg")), "JPEG", 30));
    start();
    w->resize(800, 600);
    click(QStringLiteral("big.jpg"));
    ASSERT_EQ(w->Open->size(), QSize(6000, 4000));
    w->HScroll1->setValue(w->HScroll1->maximum());
    w->VScroll1->setValue(w->VScroll1->maximum());
    // The last column and row of the picture sit at the viewport's edge.
    const QPoint last = w->Open->mapTo(w->PicFond, QPoint(5999, 3999));
    EXPECT_EQ(last, QPoint(w->PicFond->width() - 1, w->PicFond->height() - 1));
    EXPECT_EQ(w->HScroll1->pageStep(), w->HScroll1->maximum() / 5);
    w->HScroll1->setValue(1500);
    EXPECT_EQ(w->Open->x(), -100);
}

TEST_F(ViewerTest, UnreadablePictureKeepsThePreviousOne) {
    addFixture(QStringLiteral("pictures/samples/gif/static.gif"), QStringLiteral("a.gif"));
    addFixture(QStringLiteral("pictures/samples/broken/text_renamed.jpg"), QStringLiteral("b.jpg"));
    start();
    click(QStringLiteral("a.gif"));
    const QImage before = w->picture().image;
    ASSERT_FALSE(before.isNull());
    click(QStringLiteral("b.jpg"));
    ASSERT_NE(dialogs.lastMessage(), nullptr);
    EXPECT_EQ(dialogs.lastMessage()->text, QStringLiteral("Format d'image non supporté !"));
    EXPECT_EQ(dialogs.lastMessage()->icon, MsgIcon::Exclamation);
    EXPECT_EQ(w->picture().image, before);
    EXPECT_EQ(ctx.state.FullScreenFilePath, QDir(browse).filePath(QStringLiteral("b.jpg")));
}

TEST_F(ViewerTest, OtherFilesAreRefusedSilently) {
    testutil::writeFile(appDir, QStringLiteral("notes.txt"), "hello");
    testutil::writeFile(appDir, QStringLiteral("README"), "hello");
    addFixture(QStringLiteral("pictures/samples/gif/static.gif"));
    start();
    w->Combo1->setEditText(QStringLiteral("*.*"));
    click(QStringLiteral("static.gif"));
    click(QStringLiteral("notes.txt"));
    EXPECT_FALSE(shown(w->Open));
    EXPECT_FALSE(shown(w->PicFond));
    EXPECT_FALSE(w->Command2->isEnabled());
    EXPECT_FALSE(w->Command5->isEnabled());
    EXPECT_FALSE(w->Mnu_EnregSous->isEnabled());
    EXPECT_FALSE(w->Mnu_ListeSelect->isEnabled());
    click(QStringLiteral("README"));
    EXPECT_EQ(ctx.state.CurrentFileExt, QString());
    EXPECT_TRUE(dialogs.asked.isEmpty());
}

TEST_F(ViewerTest, VanishedFileEndsTheClickWithoutEffect) {
    const QString p = addFixture(QStringLiteral("pictures/samples/gif/static.gif"));
    start();
    QFile::remove(p);
    const QString title = w->windowTitle();
    click(QStringLiteral("static.gif"));
    EXPECT_EQ(w->windowTitle(), title);
    EXPECT_TRUE(ctx.state.CurrentFilePath.isEmpty());
    EXPECT_TRUE(dialogs.asked.isEmpty());
}

TEST_F(ViewerTest, ArrowKeysStepThroughTheList) {
    addFixture(QStringLiteral("pictures/samples/gif/static.gif"), QStringLiteral("a1.gif"));
    addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"), QStringLiteral("a2.jpg"));
    start();
    click(QStringLiteral("a1.gif"));
    QTest::keyClick(w->File1, Qt::Key_Down);
    ASSERT_TRUE(waitForPicture());
    EXPECT_TRUE(ctx.state.CurrentFilePath.endsWith(QStringLiteral("/a2.jpg")));
    EXPECT_EQ(
        w->picture().image.size(),
        QImage(testutil::fixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"))).size());
}

TEST_F(ViewerTest, PicturesLoadWhileTheWindowRespondsAndTheLatestClickWins) {
    addFixture(QStringLiteral("pictures/samples/gif/static.gif"), QStringLiteral("a.gif"));
    addFixture(QStringLiteral("pictures/samples/jpeg/large_4000x3000.jpg"),
               QStringLiteral("b.jpg"));
    addFixture(QStringLiteral("pictures/samples/bmp/bmp24.bmp"), QStringLiteral("c.bmp"));
    start();
    w->Combo1->setEditText(QStringLiteral("*.*"));
    click(QStringLiteral("a.gif"));
    const QImage first = w->picture().image;
    ASSERT_FALSE(first.isNull());
    // The click returns at once; the previous picture stays meanwhile.
    click(QStringLiteral("b.jpg"), false);
    EXPECT_TRUE(w->isLoadingPicture());
    EXPECT_EQ(w->Open->image().cacheKey(), first.cacheKey());
    EXPECT_TRUE(shown(w->Open));
    // A second click while it loads wins.
    click(QStringLiteral("c.bmp"));
    ASSERT_TRUE(testutil::waitUntil([&] { return ctx.pictures().isIdle(); }));
    const QSize bmp =
        QImage(testutil::fixture(QStringLiteral("pictures/samples/bmp/bmp24.bmp"))).size();
    EXPECT_EQ(w->picture().size(), bmp);
    EXPECT_EQ(w->Open->image().cacheKey(), w->picture().image.cacheKey());
    EXPECT_TRUE(w->Open->isComplete());
    EXPECT_TRUE(dialogs.asked.isEmpty());

    // Leaving the folder drops the load under way; so does closing.
    click(QStringLiteral("b.jpg"), false);
    w->Dir1->setPath(QDir::tempPath());
    EXPECT_FALSE(w->isLoadingPicture());
    EXPECT_TRUE(testutil::waitUntil([&] { return ctx.pictures().isIdle(); }));
    EXPECT_EQ(w->picture().size(), bmp);
    w->Dir1->setPath(browse);
    click(QStringLiteral("b.jpg"), false);
    w.reset();
    EXPECT_TRUE(testutil::waitUntil([&] { return ctx.pictures().isIdle(); }));
}

TEST_F(ViewerTest, NextPictureInTheDirectionOfTravelIsDecodedAhead) {
    for (const char* name : {"p1.jpg", "p2.jpg", "p3.jpg"})
        addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"), QLatin1String(name));
    start();
    QSignalSpy results(&ctx.pictures(), &PictureService::finished);
    auto idle = [&] { return testutil::waitUntil([&] { return ctx.pictures().isIdle(); }); };
    auto lastFromMemory = [&] {
        return qvariant_cast<PictureResult>(results.last().at(0)).fromCache;
    };
    // p2 is decoded while p1 is shown, p3 while p2 is.
    click(QStringLiteral("p1.jpg"));
    for (int step = 0; step < 2; ++step) {
        ASSERT_TRUE(idle());
        QTest::keyClick(w->File1, Qt::Key_Down);
        ASSERT_TRUE(waitForPicture());
        EXPECT_TRUE(lastFromMemory()) << step;
    }
    EXPECT_TRUE(ctx.state.CurrentFilePath.endsWith(QStringLiteral("/p3.jpg")));
}

TEST_F(ViewerTest, AnimationPlayerGetsThePathWhole) {
    browse = appDir.filePath(QStringLiteral("dessins animés"));
    const QString anim = QDir(browse).filePath(QStringLiteral("it's \"fun\".fli"));
    QDir().mkpath(browse);
    QFile f(anim);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not really an animation");
    f.close();
    testutil::writeFile(appDir, QStringLiteral("Affich.cfg"),
                        (QStringLiteral(" 0  0 \r\n 0  0  1  1  0  0  1 \r\n 1 \r\n") + browse +
                         QStringLiteral("\r\n"))
                            .toUtf8());
    start();
    w->Combo1->setEditText(QStringLiteral("*.fli"));
    click(QFileInfo(anim).fileName());
    ASSERT_NE(dialogs.lastMessage(), nullptr);
    EXPECT_EQ(dialogs.lastMessage()->text, QStringLiteral("Fichier AAWIN.EXE non trouvé"));
    EXPECT_EQ(dialogs.lastMessage()->icon, MsgIcon::Stop);

    // A player that records what it was given.
    const QString record = appDir.filePath(QStringLiteral("args.txt"));
    const QString player =
        testutil::writeFile(appDir, QStringLiteral("aawin"),
                            (QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$#\" \"$1\" > '") +
                             record + QStringLiteral("'\n"))
                                .toUtf8());
    QFile::setPermissions(player, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const int before = int(dialogs.asked.size());
    click(QFileInfo(anim).fileName());
    EXPECT_EQ(dialogs.asked.size(), before);
    ASSERT_TRUE(testutil::waitUntil([&] { return QFileInfo(record).size() > 0; }, 5000));
    QTest::qWait(100);
    EXPECT_EQ(QString::fromUtf8(testutil::readFile(record)),
              QStringLiteral("1\n") + anim + QStringLiteral("\n"));
}

TEST_F(ViewerTest, CopyPutsABitmapOnTheClipboard) {
    addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"));
    start();
    // Nothing shown yet: the copy is refused with a warning.
    w->Image1_DblClick();
    ASSERT_NE(dialogs.lastMessage(), nullptr);
    EXPECT_EQ(dialogs.lastMessage()->text,
              QStringLiteral("Cette image ne peut pas être copiée dans le presse papier !"));
    EXPECT_EQ(dialogs.lastMessage()->title, QStringLiteral("Avertissement"));
    click(QStringLiteral("baseline.jpg"));
    QTest::mouseDClick(w->Image1, Qt::LeftButton);
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_TRUE(data->hasImage());
    EXPECT_FALSE(data->hasFormat(QStringLiteral("image/x-wmf")));
    EXPECT_EQ(qvariant_cast<QImage>(data->imageData()).size(), w->picture().image.size());
}

TEST_F(ViewerTest, CopyOfAMetafilePutsItsBytesBesideABitmap) {
    const QString wmf = addFixture(QStringLiteral("pictures/samples/meta/gdi_records.wmf"));
    addFixture(QStringLiteral("pictures/samples/meta/gdi_records.emf"));
    start();
    w->Combo1->setEditText(QStringLiteral("*.wmf;*.emf"));
    click(QStringLiteral("gdi_records.wmf"));
    ASSERT_EQ(w->picture().kind, Picture::Kind::Wmf);
    EXPECT_FALSE(w->Open->isHidden());
    w->Mnu_Copie->trigger();
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->data(QStringLiteral("image/x-wmf")), testutil::readFile(wmf));
    EXPECT_TRUE(data->hasImage());
    // An EMF is copied as a bitmap.
    click(QStringLiteral("gdi_records.emf"));
    ASSERT_EQ(w->picture().kind, Picture::Kind::Emf);
    w->Mnu_Copie->trigger();
    data = QGuiApplication::clipboard()->mimeData();
    EXPECT_FALSE(data->hasFormat(QStringLiteral("image/x-wmf")));
    EXPECT_TRUE(data->hasImage());
}

TEST_F(ViewerTest, DisplayMenuChecksAndSavesOnlyOnChoice) {
    start();
    w->Mnu_Affichage_Open();
    EXPECT_TRUE(w->Mnu_AffichProp->isChecked());
    EXPECT_FALSE(w->Mnu_AffichMaxi->isChecked());
    EXPECT_TRUE(w->Mnu_CoulNoir->isChecked());
    EXPECT_FALSE(w->Mnu_CoulRouge->isChecked());
    EXPECT_EQ(ctx.state.settings.FullScreenBackColor, 1);
    EXPECT_EQ(ctx.state.settings.FullScreenSizeMode, 0);
    EXPECT_FALSE(QFileInfo::exists(settingsFile()));

    w->Mnu_CoulRouge->trigger();
    w->Mnu_AffichMaxi->trigger();
    EXPECT_TRUE(testutil::readFile(settingsFile()).startsWith(" 2  5 \r\n"));
    w->Mnu_Affichage_Open();
    EXPECT_TRUE(w->Mnu_CoulRouge->isChecked());
    EXPECT_FALSE(w->Mnu_CoulNoir->isChecked());
    EXPECT_TRUE(w->Mnu_AffichMaxi->isChecked());
    EXPECT_FALSE(w->Mnu_AffichProp->isChecked());
    // The menu tree of the display settings.
    EXPECT_EQ(w->Mnu_Parametres->title(), QStringLiteral("&Paramétrage"));
    EXPECT_EQ(w->Mnu_Parametres->actions(),
              QList<QAction*>({w->Mnu_TailleEcr->menuAction(), w->Mnu_CoulFond->menuAction()}));
    EXPECT_EQ(w->Mnu_CoulFond->actions().size(), 6);
}

TEST_F(ViewerTest, DriveNotReadyRetryThenCancel) {
    start();
    const QString before = w->Drive1->drive();
    const QString gone = appDir.filePath(QStringLiteral("usb"));
    w->Drive1->addDrive(Drive{gone, QStringLiteral("CLE")});
    dialogs.messageAnswers = {MsgResult::Retry, MsgResult::Cancel};
    w->Drive1->setCurrentIndex(w->Drive1->findData(gone));
    ASSERT_EQ(dialogs.count(ScriptedDialogs::Asked::Kind::Message), 2);
    EXPECT_EQ(dialogs.lastMessage()->text, QStringLiteral("Lecteur non disponible ou non prêt !"));
    EXPECT_EQ(dialogs.lastMessage()->buttons, MsgButtons::RetryCancel);
    EXPECT_EQ(dialogs.lastMessage()->icon, MsgIcon::Question);
    EXPECT_EQ(w->Drive1->drive(), before);
    EXPECT_EQ(w->Dir1->path(), appDir.path());

    // The medium arrives while the question is up: Retry succeeds.
    w->Drive1->addDrive(Drive{gone, QString()});
    dialogs.messageAnswers = {MsgResult::Retry};
    QDir().mkpath(gone);
    w->Drive1->setCurrentIndex(w->Drive1->findData(gone));
    EXPECT_EQ(w->Dir1->path(), gone);
    EXPECT_EQ(ctx.state.LastValidDrive, gone);
}

TEST_F(ViewerTest, ResizeLaysOutTheViewportAndSkipsNegativeSizes) {
    start();
    w->applyLayout(12000, 9000);
    EXPECT_EQ(w->PicFond->width(), (12000 - 255 - 3100) / 15);
    EXPECT_EQ(w->Frame1->y(), (9000 - 2535 - 750) / 15);
    const int width = w->PicFond->width();
    w->applyLayout(3000, 8000);
    EXPECT_EQ(w->PicFond->width(), width);
    EXPECT_EQ(w->PicFond->height(), (8000 - 255 - 800) / 15);
    EXPECT_EQ(w->VScroll1->x(), (3000 - 255 - 100) / 15);
}
