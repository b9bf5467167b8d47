// The main window as a user drives it, while pictures load and with pictures
// too large to be decoded whole shown from tiles; the rules of its layout and
// dispatch; what assistive technologies see of every window it opens.
#include "about/frmabout.h"
#include "browser/frmpicviewer.h"
#include "cdplayer/cdplayer.h"
#include "convert/frmconvertimg.h"
#include "fileutil/frmcopy.h"
#include "fileutil/vbcopym.h"
#include "fullscreen/frmplecr.h"
#include "picture/picturesaver.h"
#include "picture/pictureservice.h"
#include "picture/tilefeed.h"
#include "printing/impimg.h"
#include "printing/printtestutil.h"
#include "scanner/scandialogs.h"
#include "scanner/scanner.h"
#include "slideshow/diapo.h"
#include "slideshow/ecrdiapo.h"
#include "slideshow/frmliste.h"
#include "slideshow/slideshowhost.h"
#include "support/listutil.h"
#include "support/mediacapture.h"
#include "support/testutil.h"
#include "support/viewerfixture.h"
#include "viewer/dispatch.h"
#include "viewer/viewergeometry.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <climits>
#include <memory>

using namespace lumenta;
using Kind = ScriptedDialogs::Asked::Kind;

namespace {
const bool audioToDisk = mediatest::routeAudioToDisk();

bool shown(const QWidget* w) {
    return !w->isHidden();
}

// The picture and every control and menu command that acts on it, all on or all off.
void expectPictureControls(const Lumenta& w, bool on) {
    for (QWidget* c : {static_cast<QWidget*>(w.Open), w.PicFond, static_cast<QWidget*>(w.Image1),
                       static_cast<QWidget*>(w.Command2), static_cast<QWidget*>(w.Command7),
                       static_cast<QWidget*>(w.Command10)})
        EXPECT_EQ(shown(c), on) << c->objectName().toStdString();
    for (QAction* a : {w.Mnu_Pleinecran, w.Mnu_EffaceImage, w.Mnu_EnregSous})
        EXPECT_EQ(a->isEnabled(), on) << a->objectName().toStdString();
}

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

QImage pattern(QSize size) {
    QImage img(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb(x & 0xff, y & 0xff, ((x / 9) ^ (y / 7)) * 16 & 0xff);
    }
    return img;
}

bool actionable(QAccessible::Role role) {
    using A = QAccessible;
    static constexpr QAccessible::Role kRoles[] = {
        A::PushButton, A::CheckBox,   A::RadioButton,    A::ComboBox, A::EditableText,
        A::SpinBox,    A::Slider,     A::List,           A::Tree,     A::Table,
        A::PageTab,    A::ButtonMenu, A::ButtonDropDown, A::Link,     A::MenuItem};
    return std::find(std::begin(kRoles), std::end(kRoles), role) != std::end(kRoles);
}

QString describe(QAccessibleInterface* iface) {
    QObject* o = iface->object();
    QString s = QString::number(int(iface->role()), 16);
    for (; o; o = o->parent()) {
        s += QStringLiteral(" < ") + QString::fromLatin1(o->metaObject()->className());
        if (!o->objectName().isEmpty())
            s += QLatin1Char(' ') + o->objectName();
    }
    return s;
}

// Controls of the tree under iface that a user can act on and that have
// no name (shown ones only).
void unnamedControls(QAccessibleInterface* iface, QStringList& out, int depth = 0) {
    if (!iface || depth > 40)
        return;
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface* child = iface->child(i);
        if (!child || child->state().invisible)
            continue;
        // A caption, a label that names it, or a tooltip.
        if (actionable(child->role()) && child->text(QAccessible::Name).trimmed().isEmpty() &&
            child->text(QAccessible::Description).trimmed().isEmpty())
            out << describe(child);
        // Items of lists are named by their text, the edit line of a combo
        // box by the box: the list or the box is the control. (Scroll bars
        // are told apart by their orientation.)
        const QAccessible::Role r = child->role();
        if (r != QAccessible::List && r != QAccessible::Tree && r != QAccessible::Table &&
            r != QAccessible::ComboBox)
            unnamedControls(child, out, depth + 1);
    }
}

void expectAccessibleWindow(QWidget* window) {
    SCOPED_TRACE(window->metaObject()->className());
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(window);
    ASSERT_NE(iface, nullptr);
    EXPECT_TRUE(iface->role() == QAccessible::Window || iface->role() == QAccessible::Dialog)
        << "role " << int(iface->role());
    EXPECT_FALSE(iface->text(QAccessible::Name).isEmpty()) << "no window title";
    QStringList unnamed;
    unnamedControls(iface, unnamed);
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(QLatin1Char('\n')).toStdString();
    window->hide();
}

} // namespace

TEST_F(ViewerTest, FirstStartPlacesTheListsOnTheProgramFolderThenFiltersChosenAndTyped) {
    addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"));
    addFixture(QStringLiteral("pictures/samples/gif/static.gif"));
    addFixture(QStringLiteral("media/tone_s16.wav"));
    addFixture(QStringLiteral("media/tone_u8.wav"), QStringLiteral("TONE2.WAV"));
    start();
    EXPECT_EQ(w->Dir1->path(), appDir.path());
    EXPECT_EQ(w->File1->path(), appDir.path());
    EXPECT_EQ(w->Combo1->currentText(), QStringLiteral("*.bmp;*.gif;*.jpg"));
    EXPECT_EQ(w->Label5->text(), QStringLiteral(" 2 Fichiers"));
    // Nothing shown: the picture commands are off.
    expectPictureControls(*w, false);
    EXPECT_FALSE(shown(w->Command6) || shown(w->Command4) || shown(w->MMControl1));
    EXPECT_FALSE(w->Mnu_Diapo->isEnabled());
    EXPECT_FALSE(w->Command5->isEnabled() || w->Mnu_Coller->isVisible());
    EXPECT_FALSE(QFileInfo::exists(settingsFile()));
    // Every other window's command is available.
    w->Mnu_Fichier_Open();
    Q_EMIT w->Mnu_Affichage->aboutToShow();
    for (QAction* a : {w->Mnu_AfficheVignette, w->Mnu_CDPlay, w->Mnu_Utilitaire, w->Mnu_ConvertIMG})
        EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
    for (QWidget* c : {w->Command3, w->Command8, w->Command9, w->Command11})
        EXPECT_TRUE(c->isEnabled()) << c->objectName().toStdString();

    // A filter chosen from the list.
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
    EXPECT_EQ(w->File1->count(), 4);
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
    expectPictureControls(*w, true);
    EXPECT_TRUE(shown(w->Command6));
    // The list editor's button follows whether that window can be opened.
    EXPECT_EQ(w->Command5->isEnabled(), w->windows().available(SecondaryWindow::SelectionList));
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

TEST_F(ViewerTest, AnimationPlayerGetsThePathWhole) {
    keepSearchFolder(appDir.filePath(QStringLiteral("dessins animés")));
    const QString anim = QDir(browse).filePath(QStringLiteral("it's \"fun\".fli"));
    testutil::writeFile(appDir, QDir(appDir.path()).relativeFilePath(anim), "not an animation");
    start();
    w->Combo1->setEditText(QStringLiteral("*.fli"));
    click(QFileInfo(anim).fileName());
    EXPECT_EQ(dialogs.lastText(), QStringLiteral("Fichier AAWIN.EXE non trouvé"));

    // A player that records what it was given, the record appearing whole.
    const QString record = appDir.filePath(QStringLiteral("args.txt"));
    const QByteArray part = "'" + record.toUtf8() + ".part'";
    testutil::writeScript(appDir, QStringLiteral("aawin"),
                          "printf '%s\\n' \"$#\" \"$1\" >" + part + " && mv " + part + " '" +
                              record.toUtf8() + "'");
    click(QFileInfo(anim).fileName());
    EXPECT_EQ(dialogs.asked.size(), 1);
    ASSERT_TRUE(testutil::waitUntil([&] { return QFileInfo::exists(record); }));
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

TEST_F(ViewerTest, EraseHidesThePictureAndCopyFollows) {
    addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"));
    start();
    click(QStringLiteral("baseline.jpg"));
    w->Mnu_Edition_Open();
    EXPECT_TRUE(w->Mnu_Copie->isEnabled());

    ctx.state.settings.SelectionListValid = 1;
    w->Command7->click();
    expectPictureControls(*w, false);
    EXPECT_FALSE(shown(w->VScroll1) || shown(w->HScroll1) || w->Mnu_Diapo->isEnabled());
    EXPECT_TRUE(shown(w->Command6));
    EXPECT_TRUE(w->File1->hasFocus());
    // Ctrl+C follows the same rule, before the menu is opened again.
    QGuiApplication::clipboard()->setText(QStringLiteral("avant"));
    QTest::keyClick(w.get(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("avant"));
    EXPECT_FALSE(QGuiApplication::clipboard()->mimeData()->hasImage());
    w->Mnu_Edition_Open();
    EXPECT_FALSE(w->Mnu_Copie->isEnabled());
    // The picture stays loaded in the hidden controls.
    EXPECT_FALSE(w->Open->image().isNull());

    ctx.state.settings.SelectionListValid = 0;
    click(QStringLiteral("baseline.jpg"));
    w->Mnu_EffaceImage->trigger();
    EXPECT_TRUE(w->Command6->isHidden());
    click(QStringLiteral("baseline.jpg"));
    QTest::keyClick(w.get(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QGuiApplication::clipboard()->mimeData()->hasImage());
    w->Mnu_Edition_Open();
    EXPECT_TRUE(w->Mnu_Copie->isEnabled());
}

TEST(SaveAsBitmap, ProposedNames) {
    const std::pair<const char*, const char*> names[] = {
        {"/images/chat.jpg", "/images/chat.BMP"},
        {"/images/photo.jpeg", "/images/photo.BMP"},
        {"/my.photos/scan", "/my.photos/scan.BMP"},
        {"/a/.hidden", "/a/.hidden.BMP"},
        {"", ""}};
    for (const auto& [name, proposed] : names)
        EXPECT_EQ(bitmapNameFor(QString::fromUtf8(name)), QString::fromUtf8(proposed)) << name;
}

TEST_F(ViewerTest, SaveAsBitmapWritesTheDisplayedPicture) {
    addFixture(QStringLiteral("pictures/samples/jpeg/progressive_copy.jpeg"),
               QStringLiteral("photo.jpeg"));
    start();
    w->Mnu_EnregSous->trigger(); // nothing shown: nothing asked
    EXPECT_TRUE(dialogs.asked.isEmpty());
    w->Combo1->setEditText(QStringLiteral("*.jpeg"));
    click(QStringLiteral("photo.jpeg"));
    // Cancel: nothing written, nothing said. (The name proposed: SaveAsBitmap.ProposedNames,
    // and the save during a load: SaveCopyAndPrintDuringALoadActOnThePictureBeingLoaded.)
    w->Mnu_EnregSous->trigger();
    ASSERT_EQ(dialogs.count(Kind::File), 1);
    EXPECT_EQ(dialogs.asked.last().file.mode, FileDialogRequest::Mode::Save);
    EXPECT_FALSE(QFileInfo::exists(QDir(browse).filePath(QStringLiteral("photo.BMP"))));
    EXPECT_EQ(dialogs.count(Kind::Message), 0);

    // Accepted: a real BMP of the displayed picture.
    const QString target = appDir.filePath(QStringLiteral("copie.bmp"));
    dialogs.fileAnswers.push_back({true, target, 1});
    w->Mnu_EnregSous->trigger();
    QImageReader reader(target);
    EXPECT_EQ(reader.format(), QByteArray("bmp"));
    const QImage shown = w->picture().image;
    EXPECT_EQ(reader.read().convertToFormat(shown.format()), shown);
    EXPECT_EQ(ctx.state.CurrentFilePath, target);

    // Saving over it asks first; "Non" leaves the file alone.
    const QByteArray before = testutil::readFile(target);
    dialogs.fileAnswers.push_back({true, target, 1});
    dialogs.messageAnswers.push_back(MsgResult::No);
    w->Mnu_EnregSous->trigger();
    EXPECT_EQ(dialogs.count(Kind::Message), 1);
    EXPECT_EQ(testutil::readFile(target), before);
}

TEST_F(ViewerTest, PrinterSetupReportsOnlyRealFailures) {
    start();
    dialogs.printerAnswers = {PrinterDialogResult::Cancelled, PrinterDialogResult::Failed};
    w->Mnu_ConfIMP->trigger();
    EXPECT_EQ(dialogs.count(Kind::Message), 0);
    ASSERT_EQ(dialogs.count(Kind::Printer), 1);
    EXPECT_EQ(dialogs.asked.last().printer, PrinterDialogKind::Setup);
    w->Mnu_ConfIMP->trigger();
    EXPECT_EQ(dialogs.lastText(), QStringLiteral("Erreur imprimante !"));
}

TEST_F(ViewerTest, AboutWindowLooksForTheSystemTool) {
    start();
    FrmAbout about(ctx, w.get());
    EXPECT_FALSE(about.lblVersion->text().contains(QStringLiteral(" .")));
    // No tool on the path.
    const QByteArray path = qgetenv("PATH");
    QTemporaryDir bin;
    qputenv("PATH", bin.path().toUtf8());
    about.cmdSysInfo->click();
    EXPECT_EQ(dialogs.lastText(), QStringLiteral("Information Systeme introuvable !"));
    // The second tool of the list is there: it is started.
    const QString record = bin.filePath(QStringLiteral("started"));
    testutil::writeScript(bin, QStringLiteral("hardinfo"), ": > '" + record.toUtf8() + "'");
    about.StartSysInfo();
    qputenv("PATH", path);
    EXPECT_EQ(dialogs.count(Kind::Message), 1);
    ASSERT_TRUE(testutil::waitUntil([&] { return QFileInfo::exists(record); }, 5000));
}

TEST(CalculScroll, BarsMillimetresAndAspect) {
    // 1000 twips taller than the viewport; smaller: still the absolute difference.
    ScrollResult r = calculScroll(5000, 4000, 3000, 5000);
    EXPECT_EQ(std::tuple(r.vMax, r.vLargeStep, r.hMax, r.hLargeStep),
              std::tuple(1000, 200, 2000, 400));
    // Fractional differences round halves to even.
    r = calculScroll(1000.5, 1001.5, 0, 0);
    EXPECT_EQ(std::pair(r.hMax, r.vMax), std::pair(1000, 1002));
    // A 6000 x 4000 photo (90000 x 60000 twips) in a 5000-twip viewport.
    r = calculScroll(5000, 5000, 90000, 60000);
    EXPECT_EQ(std::tuple(r.hMax, r.hLargeStep, r.vMax), std::tuple(85000, 17000, 55000));
    // Beyond what a scroll bar holds: saturated, never wrapped.
    EXPECT_EQ(calculScroll(0, 0, 1e12, 0).hMax, INT_MAX);

    r = calculScroll(5000, 5000, 2880, 1440);
    EXPECT_EQ(std::pair(r.widthMM, r.heightMM), std::pair(51.0, 25.0)); // 50.8, 25.4
    ASSERT_TRUE(r.aspect.has_value());
    EXPECT_FLOAT_EQ(*r.aspect, 2.04f);
    // 1.5 mm and 2.5 mm round to the even neighbour.
    r = calculScroll(0, 0, 1.5 * 1440 / 25.4, 2.5 * 1440 / 25.4);
    EXPECT_EQ(std::pair(r.widthMM, r.heightMM), std::pair(2.0, 2.0));
    // No height: no ratio (the caller keeps the old one).
    EXPECT_FALSE(calculScroll(0, 0, 1440, 0).aspect.has_value());
}

TEST(MainLayout, NegativeSizesAreSkippedOthersRun) {
    MainLayout before;
    before.picFondWidth = 4321;
    before.hScrollWidth = 4000;
    // Narrow: the viewport width would be negative.
    // The scroll bar takes the kept viewport width.
    const MainLayout l = layoutForSize(before, 3000, 9000);
    EXPECT_EQ(std::tuple(l.picFondWidth, l.hScrollWidth, l.vScrollLeft, l.picFondHeight),
              std::tuple(4321, 4321, 3000 - 255 - 100, 9000 - 255 - 800));
    // Low: heights are skipped, tops still move.
    const MainLayout low = layoutForSize(MainLayout{}, 12000, 1000);
    EXPECT_EQ(std::tuple(low.picFondHeight, low.hScrollTop, low.vScrollHeight, low.fileHeight,
                         low.frameTop),
              std::tuple(5535, 5535, 5535, 675, 1000 - 2535 - 750));
}

TEST(Dispatch, GroupsByUpperCaseExtensionAndTexts) {
    using G = DispatchGroup;
    const std::pair<G, const char*> groups[] = {
        {G::AssociatedMedia, "AVI RMD MPEG"},
        {G::Animation, "FLC"},
        {G::Sound, "WAV MID"},
        {G::Other, "TXT MIDI jpg png heic PN TIFFX SVG.GZ JXR"},
        {G::Picture, "WMF BMP GIF JPG ICO CUR EMF RLE DIB JPE JPEG JIF PNG WEBP TIF TIFF TGA SVG "
                     "SVGZ HEIC HEIF AVIF JXL"}};
    for (const auto& [group, exts] : groups)
        for (const QString& e : QString::fromLatin1(exts).split(QLatin1Char(' ')))
            EXPECT_EQ(dispatchGroupFor(e), group) << e.toStdString();
    EXPECT_EQ(dispatchGroupFor(QString()), G::Other);
    EXPECT_EQ(fileCaption(QStringLiteral("/images/chat.jpg"), 48213),
              QStringLiteral("Visionneuse d'image : /IMAGES/CHAT.JPG  48213 Octets"));
}

TEST_F(ViewerTest, SoundsPlayRewindAndADamagedOneIsReported) {
    ASSERT_TRUE(audioToDisk);
    addFixture(QStringLiteral("media/tone_s16.wav"));
    addFixture(QStringLiteral("media/scale_tempo_change.mid"));
    addFixture(QStringLiteral("media/bad_garbage_header.wav"));
    start();
    w->Combo1->setEditText(QStringLiteral("*.wav;*.mid"));
    MMControl* const mm = w->MMControl1;
    // The sound controls stand in for the file list and its buttons.
    const auto soundShown = [&] {
        return !shown(w->File1) && !shown(w->Command1) && !shown(w->Open) && shown(w->Command4) &&
               shown(mm);
    };
    const auto listShown = [&] {
        return shown(w->File1) && shown(w->Command1) && !shown(w->Command4) && !shown(mm);
    };
    click(QStringLiteral("tone_s16.wav"));
    EXPECT_TRUE(soundShown());
    EXPECT_EQ(mm->deviceType(), QStringLiteral("WaveAudio"));
    // Played to the end, the window rewinds it.
    QSignalSpy done(mm, &MMControl::done);
    mm->button(MMControl::Button::Play)->click();
    ASSERT_TRUE(testutil::waitUntil([&] { return done.count() >= 1; }, 10000));
    EXPECT_TRUE(testutil::waitUntil([&] { return mm->position() == 0; }, 2000));
    EXPECT_EQ(mm->mode(), MMControl::Mode::Stopped);
    w->Command4->click();
    EXPECT_EQ(mm->mode(), MMControl::Mode::NotOpen);
    EXPECT_TRUE(listShown());
    EXPECT_TRUE(w->File1->hasFocus());

    // MIDI after a wave: the sequencer.
    click(QStringLiteral("scale_tempo_change.mid"));
    EXPECT_EQ(mm->deviceType(), QStringLiteral("Sequencer"));
    EXPECT_EQ(mm->mode(), MMControl::Mode::Stopped);
    EXPECT_TRUE(dialogs.asked.isEmpty());
    w->Command4->click();

    // A damaged one: said, the sound state kept with the device closed;
    // closing the closed device only restores the controls.
    click(QStringLiteral("bad_garbage_header.wav"));
    EXPECT_EQ(dialogs.lastText(), QStringLiteral("Le fichier n'a pas pu être chargé."));
    EXPECT_TRUE(soundShown());
    EXPECT_EQ(mm->mode(), MMControl::Mode::NotOpen);
    w->Command4->click();
    EXPECT_TRUE(listShown());
    EXPECT_EQ(dialogs.asked.size(), 1);
}

class FocusTest : public ViewerTest {
protected:
    void SetUp() override {
        ViewerTest::SetUp();
        ASSERT_TRUE(audioToDisk);
        // The first file of the folder is a sound: opening it by mistake
        // hides the list.
        addFixture(QStringLiteral("media/tone_s16.wav"), QStringLiteral("a.wav"));
        addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"), QStringLiteral("b.jpg"));
        addFixture(QStringLiteral("pictures/samples/gif/static.gif"), QStringLiteral("c.gif"));
        start();
        w->Combo1->setEditText(QStringLiteral("*.*"));
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }

    // The list as after a refresh (no current line), the focus elsewhere.
    void leaveTheList() {
        w->Combo1->setFocus();
        w->File1->refresh();
    }

    // The focus comes back with the window's activation (which the
    // offscreen platform does not give back by itself after a modal window).
    bool hasFocusSoon() {
        w->activateWindow();
        const bool has = testutil::waitUntil([this] { return w->File1->hasFocus(); }, 3000);
        QTest::qWait(20);
        return has;
    }

    bool listStillShown() const {
        return !w->File1->isHidden() && w->MMControl1->isHidden() &&
               w->MMControl1->mode() == MMControl::Mode::NotOpen;
    }
};

TEST_F(FocusTest, TakingTheFocusNeverOpensAFile) {
    QWidget other;
    const auto modal = [](QToolButton* button) {
        return [button] {
            testutil::whenModal<QWidget>([](QWidget* m) { // closed once it is up
                if (auto* fs = qobject_cast<FrmPlEcr*>(m))
                    testutil::waitUntil([fs] { return fs->isPictureShown(); }, 5000);
                m->close();
            });
            button->click();
        };
    };
    const struct {
        const char* how;
        bool pictureFirst; // a picture shown, then the list refilled
        std::function<void()> act;
    } paths[] = {
        {"Tab into the list", false, [&] { QTest::keyClick(w->Combo1->lineEdit(), Qt::Key_Tab); }},
        {"focus from code", false, [&] { w->File1->setFocus(); }},
        {"about window", false, modal(w->Command3)},
        {"window activated again", false,
         [&] {
             other.show();
             other.activateWindow();
             ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
             w->File1->setFocus(); // given back on activation
         }},
        {"full screen", true, modal(w->Command2)},
        {"erase", true, [&] { w->Command7->click(); }},
    };
    for (const auto& p : paths) {
        SCOPED_TRACE(p.how);
        if (p.pictureFirst)
            click(QStringLiteral("b.jpg"));
        const QString shown = ctx.state.CurrentFilePath;
        leaveTheList();
        QSignalSpy clicks(w->File1, &FileList::fileClicked);
        p.act();
        EXPECT_TRUE(hasFocusSoon());
        EXPECT_EQ(clicks.count(), 0);
        EXPECT_EQ(ctx.state.CurrentFilePath, shown);
        EXPECT_TRUE(listStillShown());
    }
    EXPECT_TRUE(w->Open->isHidden()); // erased, not replaced
    EXPECT_TRUE(dialogs.asked.isEmpty());
}

TEST_F(FocusTest, KeysAndClicksOpenWhatTheyReachCodeDoesNot) {
    for (const char* name : {"d.gif", "e.jpg", "f.gif", "g.jpg"})
        addFixture(QStringLiteral("pictures/samples/gif/static.gif"), QLatin1String(name));
    w->Combo1->setEditText(QStringLiteral("*.gif;*.jpg"));
    click(QStringLiteral("c.gif"));
    QSignalSpy clicks(w->File1, &FileList::fileClicked);
    const struct {
        Qt::Key key;
        const char* reaches; // empty: the line the key lands on, whatever it is
    } keys[] = {
        {Qt::Key_Down, "d.gif"}, {Qt::Key_Up, "c.gif"},     {Qt::Key_End, "g.jpg"},
        {Qt::Key_Home, "b.jpg"}, {Qt::Key_PageDown, ""},    {Qt::Key_PageUp, "b.jpg"},
        {Qt::Key_F, "f.gif"},    {Qt::Key_Return, "f.gif"},
    };
    for (const auto& k : keys) {
        SCOPED_TRACE(int(k.key));
        const int before = int(clicks.count());
        QTest::keyClick(w->File1, k.key);
        ASSERT_EQ(clicks.count(), before + 1);
        const QString current = w->File1->nameAt(w->File1->currentRow());
        const QString expected = *k.reaches ? QLatin1String(k.reaches) : current;
        EXPECT_EQ(current, expected);
        EXPECT_EQ(ctx.state.CurrentFilePath, QDir(browse).filePath(expected));
        QTest::qWait(QApplication::keyboardInputInterval() + 10); // separate searches
    }
    // Selecting from code and refreshing open nothing.
    const int before = int(clicks.count());
    w->File1->setCurrentRow(3);
    w->File1->refresh();
    w->File1->setCurrentRow(0);
    EXPECT_EQ(clicks.count(), before);
    // A click on the line that is already current opens it again.
    click(QStringLiteral("b.jpg"));
    EXPECT_EQ(clicks.count(), before + 1);
}

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
            testutil::whenModal<ImpIMG>([&](ImpIMG* imp) {
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
            // Empty (no data at all) until the put-off copy has run.
            ASSERT_TRUE(testutil::waitUntil([] {
                const QMimeData* data = QGuiApplication::clipboard()->mimeData();
                return data && data->hasImage();
            }));
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
    testutil::whenModal<FrmCopy>([&](FrmCopy* utility) {
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
    testutil::whenModal<ImpIMG>([&](ImpIMG* imp) {
        tiled = imp->PicImage->isTiled();
        laidOut = imp->PicImage->size();
        imp->close();
    });
    w->Command10->click();
    EXPECT_TRUE(tiled);
    EXPECT_EQ(laidOut, natural);
}

TEST_F(ViewerTest, EveryWindowIsAFrameOrADialogWithNamedControls) {
    // The print window asks a print server that is not there.
    QTemporaryDir cups;
    ASSERT_TRUE(printtest::isolate(cups.filePath(QStringLiteral("no-server.sock"))));
    addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"));
    start();
    click(QStringLiteral("baseline.jpg"));
    expectAccessibleWindow(w.get());
    w->show();

    const SlideshowHost host{w.get(), w->File1, &w->CMDialog1, w->MMControl1, [] {}};
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    ScannerSession session;
    const DeviceCapabilities caps{{},   {QStringLiteral("Color"), QStringLiteral("Gray")},
                                  {},   {},
                                  50,   600,
                                  {},   0,
                                  true, QRectF(0, 0, 215, 297)};
    const std::unique_ptr<QWidget> windows[] = {
        std::make_unique<FrmAbout>(ctx, w.get()),
        std::make_unique<FrmPicViewer>(ctx, browse, w.get()),
        std::make_unique<FrmConvertIMG>(ctx, w.get()),
        std::make_unique<FrmPlEcr>(ctx, w.get()),
        std::make_unique<EcrDiapo>(ctx, host, w.get()),
        std::make_unique<FrmListe>(ctx, host, w.get()),
        std::make_unique<Diapo>(ctx, host, w.get()),
        std::make_unique<CDPlayer>(ctx, w.get()),
        std::make_unique<ImpIMG>(ctx, printer, w.get()),
        std::make_unique<Scanner>(ctx, session, w.get()),
        std::make_unique<SourceDialog>(w.get()),
        std::make_unique<ScanSettingsDialog>(caps, ScanSettings(), false, w.get()),
        std::make_unique<VbCopyM>(ctx.state, w.get()),
        std::make_unique<FrmCopy>(ctx, browse, w.get())};
    for (const auto& window : windows)
        expectAccessibleWindow(window.get());
}
