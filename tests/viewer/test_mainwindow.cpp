#include "picture/pictureservice.h"
#include "support/listutil.h"
#include "support/testutil.h"
#include "support/viewerfixture.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
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
    EXPECT_EQ(w->Dir1->path(), appDir.path());
    EXPECT_EQ(w->File1->path(), appDir.path());
    EXPECT_EQ(w->Combo1->currentText(), QStringLiteral("*.bmp;*.gif;*.jpg"));
    EXPECT_EQ(w->Label5->text(), QStringLiteral(" 2 Fichiers"));
    // Nothing shown: the picture commands are off.
    for (QWidget* c : {static_cast<QWidget*>(w->Command2), static_cast<QWidget*>(w->Command6),
                       static_cast<QWidget*>(w->Command7), static_cast<QWidget*>(w->Command4),
                       static_cast<QWidget*>(w->MMControl1)})
        EXPECT_FALSE(shown(c)) << c->objectName().toStdString();
    for (QAction* a : {w->Mnu_Pleinecran, w->Mnu_EffaceImage, w->Mnu_Diapo, w->Mnu_EnregSous})
        EXPECT_FALSE(a->isEnabled()) << a->objectName().toStdString();
    EXPECT_FALSE(w->Command5->isEnabled() || w->Mnu_Coller->isVisible());
    EXPECT_FALSE(QFileInfo::exists(settingsFile()));
}

TEST_F(ViewerTest, KeptSearchFolderIsRestoredWholeOrFallsBack) {
    for (const QString& kept :
         {appDir.filePath(QStringLiteral("vacances, 2024")), QStringLiteral("/no/such/folder")}) {
        keepSearchFolder(kept);
        if (!kept.startsWith(QStringLiteral("/no/")))
            addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"));
        start();
        EXPECT_EQ(w->Dir1->path(), QFileInfo::exists(kept) ? kept : appDir.path());
        EXPECT_TRUE(dialogs.asked.isEmpty());
    }
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
    ASSERT_TRUE(testutil::waitListed(w->File1));
    EXPECT_EQ(w->File1->count(), 2);

    // A pattern being typed filters as soon as it is valid...
    QLineEdit* edit = w->Combo1->lineEdit();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("*.jpg"));
    ASSERT_TRUE(testutil::waitListed(w->File1));
    EXPECT_EQ(w->File1->count(), 1);
    // ...and a malformed one is refused when it is confirmed.
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("*.jpg|x"));
    EXPECT_TRUE(dialogs.asked.isEmpty());
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(dialogs.lastText(), QStringLiteral("Filtre incorrect !"));
    EXPECT_EQ(dialogs.lastMessage()->icon, MsgIcon::Stop);
    EXPECT_EQ(w->File1->pattern(), QStringLiteral("*.*"));
    ASSERT_TRUE(testutil::waitListed(w->File1));
    EXPECT_EQ(w->File1->count(), 3);
}

TEST_F(ViewerTest, PictureClickShowsItAndSetsTheCommands) {
    keepSearchFolder(appDir.filePath(QStringLiteral("my.photos")));
    const QString path = addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"),
                                    QStringLiteral("chat.jpg"));
    start();
    click(QStringLiteral("chat.jpg"));
    EXPECT_EQ(ctx.state.CurrentFilePath, path);
    EXPECT_EQ(ctx.state.FullScreenFilePath, path);
    EXPECT_EQ(ctx.state.CurrentFileExt, QStringLiteral("JPG"));
    EXPECT_TRUE(w->windowTitle().contains(path.toUpper()));
    const QImage img = w->picture().image;
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(w->Open->size(), img.size());
    for (QWidget* c : {static_cast<QWidget*>(w->Open), w->PicFond, static_cast<QWidget*>(w->Image1),
                       static_cast<QWidget*>(w->Command2), static_cast<QWidget*>(w->Command7),
                       static_cast<QWidget*>(w->Command10), static_cast<QWidget*>(w->Command6)})
        EXPECT_TRUE(shown(c)) << c->objectName().toStdString();
    // The list editor's button follows whether that window can be opened.
    EXPECT_EQ(w->Command5->isEnabled(), w->windows().available(SecondaryWindow::SelectionList));
    EXPECT_TRUE(w->Mnu_Pleinecran->isEnabled() && w->Mnu_EnregSous->isEnabled());
    EXPECT_TRUE(dialogs.asked.isEmpty());

    // The folder changes: the picture is hidden, the menus disabled, and
    // the slideshow button shows only with a validated list.
    ctx.state.settings.SelectionListValid = 1;
    w->Dir1->setPath(appDir.path());
    EXPECT_FALSE(shown(w->Open) || shown(w->Image1) || shown(w->Command2));
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
        ASSERT_TRUE(testutil::waitListed(w->File1));
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
}

TEST_F(ViewerTest, StartingOnAFileInABigFolderAsksForThePictureBeforeTheFolderIsListed) {
    // On a memory file system where there is one.
    const QTemporaryDir big((QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm")
                                 : QDir::tempPath()) +
                            QStringLiteral("/lumenta-XXXXXX"));
    const QByteArray base = QFile::encodeName(big.path()) + "/IMG_";
    for (int i = 0; i < 20000; ++i) {
        FILE* f = std::fopen((base + QByteArray::number(i) + ".jpg").constData(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    const QString photo = big.filePath(QStringLiteral("IMG_20000.jpg"));
    const QString next = big.filePath(QStringLiteral("IMG_20001.jpg"));
    for (const QString& p : {photo, next})
        ASSERT_TRUE(QFile::copy(testutil::sample(QStringLiteral("jpeg/baseline.jpg")), p));
    start();
    QSignalSpy clicks(w->File1, &FileList::fileClicked);
    QSignalSpy results(&ctx.pictures(), &PictureService::finished);

    w->openFromCommandLine(photo);
    // The picture is asked for while the folder is still being listed: no
    // line yet, no count, the busy pointer.
    EXPECT_TRUE(w->isLoadingPicture());
    EXPECT_TRUE(w->File1->isListing());
    EXPECT_EQ(ctx.state.CurrentFilePath, photo);
    EXPECT_EQ(w->File1->listCount(), 0);
    EXPECT_TRUE(w->Label5->text().isEmpty());
    EXPECT_EQ(w->cursor().shape(), Qt::BusyCursor);

    // Its line is selected when it comes, without opening it again.
    ASSERT_TRUE(testutil::waitListed(w->File1) && testutil::waitListed(w->Dir1));
    ASSERT_TRUE(waitForPicture());
    EXPECT_EQ(w->File1->fileName(), QStringLiteral("IMG_20000.jpg"));
    EXPECT_EQ(w->File1->currentRow(), 20000);
    EXPECT_EQ(w->Label5->text(), QStringLiteral(" 20002 Fichiers"));
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_NE(w->cursor().shape(), Qt::BusyCursor);
    EXPECT_FALSE(w->picture().isNull());
    EXPECT_TRUE(dialogs.asked.isEmpty());

    // Its line come, the next picture is decoded ahead, as after a click.
    ASSERT_TRUE(testutil::waitUntil([&] { return ctx.pictures().isIdle(); }));
    w->File1->setFocus();
    QTest::keyClick(w->File1, Qt::Key_Down);
    ASSERT_TRUE(waitForPicture());
    EXPECT_EQ(ctx.state.CurrentFilePath, next);
    EXPECT_TRUE(qvariant_cast<PictureResult>(results.last().at(0)).fromCache);
}

TEST_F(ViewerTest, FilesThatCannotBeShown) {
    addFixture(QStringLiteral("pictures/samples/gif/static.gif"), QStringLiteral("a.gif"));
    addFixture(QStringLiteral("pictures/samples/broken/text_renamed.jpg"), QStringLiteral("b.jpg"));
    const QString gone = addFixture(QStringLiteral("pictures/samples/gif/static.gif"));
    testutil::writeFile(appDir, QStringLiteral("notes.txt"), "hello");
    testutil::writeFile(appDir, QStringLiteral("README"), "hello");
    start();
    w->Combo1->setEditText(QStringLiteral("*.*"));
    ASSERT_TRUE(testutil::waitListed(w->File1));
    // A file removed behind the list's back: the click ends without effect.
    QFile::remove(gone);
    const QString title = w->windowTitle();
    click(QStringLiteral("static.gif"));
    EXPECT_EQ(w->windowTitle(), title);
    EXPECT_TRUE(ctx.state.CurrentFilePath.isEmpty());
    EXPECT_TRUE(dialogs.asked.isEmpty());

    // An unreadable picture is said and keeps the previous one.
    click(QStringLiteral("a.gif"));
    const QImage before = w->picture().image;
    ASSERT_FALSE(before.isNull());
    click(QStringLiteral("b.jpg"));
    EXPECT_EQ(dialogs.messageTexts(), QStringList{QStringLiteral("Format d'image non supporté !")});
    EXPECT_EQ(w->picture().image, before);
    EXPECT_EQ(ctx.state.FullScreenFilePath, QDir(browse).filePath(QStringLiteral("b.jpg")));

    // Other files are refused silently and hide the picture.
    click(QStringLiteral("notes.txt"));
    EXPECT_FALSE(shown(w->Open) || shown(w->PicFond) || w->Command2->isEnabled());
    EXPECT_FALSE(w->Mnu_EnregSous->isEnabled() || w->Mnu_ListeSelect->isEnabled());
    click(QStringLiteral("README"));
    EXPECT_EQ(ctx.state.CurrentFileExt, QString());
    EXPECT_EQ(dialogs.asked.size(), 1);
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
    keepSearchFolder(appDir.filePath(QStringLiteral("dessins animés")));
    const QString anim = QDir(browse).filePath(QStringLiteral("it's \"fun\".fli"));
    testutil::writeFile(appDir, QDir(appDir.path()).relativeFilePath(anim), "not an animation");
    start();
    w->Combo1->setEditText(QStringLiteral("*.fli"));
    click(QFileInfo(anim).fileName());
    EXPECT_EQ(dialogs.lastText(), QStringLiteral("Fichier AAWIN.EXE non trouvé"));

    // A player that records what it was given.
    const QString record = appDir.filePath(QStringLiteral("args.txt"));
    testutil::writeScript(appDir, QStringLiteral("aawin"),
                          "printf '%s\\n' \"$#\" \"$1\" > '" + record.toUtf8() + "'");
    click(QFileInfo(anim).fileName());
    EXPECT_EQ(dialogs.asked.size(), 1);
    ASSERT_TRUE(testutil::waitUntil([&] { return QFileInfo(record).size() > 0; }, 5000));
    QTest::qWait(100);
    EXPECT_EQ(QString::fromUtf8(testutil::readFile(record)),
              QStringLiteral("1\n") + anim + QStringLiteral("\n"));
}

TEST_F(ViewerTest, CopyPutsABitmapAndAWindowsMetafileItsBytesOnTheClipboard) {
    const QString wmf = addFixture(QStringLiteral("pictures/samples/meta/gdi_records.wmf"));
    addFixture(QStringLiteral("pictures/samples/meta/gdi_records.emf"));
    start();
    // Nothing shown yet: the copy is refused with a warning.
    w->Image1_DblClick();
    EXPECT_EQ(dialogs.lastText(),
              QStringLiteral("Cette image ne peut pas être copiée dans le presse papier !"));
    w->Combo1->setEditText(QStringLiteral("*.wmf;*.emf"));
    for (const char* name : {"gdi_records.wmf", "gdi_records.emf"}) {
        click(QLatin1String(name));
        ASSERT_FALSE(w->Open->isHidden()) << name;
        QTest::mouseDClick(w->Image1, Qt::LeftButton);
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(qvariant_cast<QImage>(data->imageData()).size(), w->picture().image.size());
        // An EMF goes as a bitmap only.
        EXPECT_EQ(data->data(QStringLiteral("image/x-wmf")),
                  w->picture().kind == Picture::Kind::Wmf ? testutil::readFile(wmf) : QByteArray());
    }
}

TEST_F(ViewerTest, DisplayMenuChecksAndSavesOnlyOnChoice) {
    start();
    // Proportional, maximal, black, red.
    const auto checks = [&] {
        w->Mnu_Affichage_Open();
        return QList<bool>{w->Mnu_AffichProp->isChecked(), w->Mnu_AffichMaxi->isChecked(),
                           w->Mnu_CoulNoir->isChecked(), w->Mnu_CoulRouge->isChecked()};
    };
    EXPECT_EQ(checks(), QList<bool>({true, false, true, false}));
    EXPECT_FALSE(QFileInfo::exists(settingsFile()));
    w->Mnu_CoulRouge->trigger();
    w->Mnu_AffichMaxi->trigger();
    EXPECT_TRUE(testutil::readFile(settingsFile()).startsWith(" 2  5 \r\n"));
    EXPECT_EQ(checks(), QList<bool>({false, true, false, true}));
}

TEST_F(ViewerTest, DriveNotReadyRetryThenCancel) {
    start();
    const QString before = w->Drive1->drive();
    const QString gone = appDir.filePath(QStringLiteral("usb"));
    w->Drive1->addDrive(Drive{gone, QStringLiteral("CLE")});
    dialogs.messageAnswers = {MsgResult::Retry, MsgResult::Cancel};
    w->Drive1->setCurrentIndex(w->Drive1->findData(gone));
    ASSERT_EQ(dialogs.count(ScriptedDialogs::Asked::Kind::Message), 2);
    EXPECT_EQ(dialogs.lastText(), QStringLiteral("Lecteur non disponible ou non prêt !"));
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
