// The slideshow windows as a user drives them: the settings window, the
// selection-list editor, the slideshow screen, the music, and the main
// window's commands that open them.
#include "app/appcontext.h"
#include "dialogs/commondialog.h"
#include "picture/pictureservice.h"
#include "slideshow/diapo.h"
#include "slideshow/ecrdiapo.h"
#include "slideshow/frmliste.h"
#include "slideshow/slidemusic.h"
#include "support/listutil.h"
#include "support/mediacapture.h"
#include "support/scripteddialogs.h"
#include "support/testutil.h"
#include "support/viewerfixture.h"
#include "widgets/browsewidgets.h"
#include "widgets/mmcontrol.h"
#include "widgets/picturewidgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace lumenta;

static const bool kAudioToDisk = mediatest::routeAudioToDisk();

namespace {

class Slideshow : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ctx.dialogs = &dialogs;
        ctx.pictureService = std::make_shared<PictureService>();
        ctx.state.AppFolder = dir.path();
        ctx.state.settingsPathOverride = dir.filePath("Affich.cfg");
        photos = dir.filePath("Photos.2007");
        QDir().mkpath(photos);
        files.setPath(photos);
        host.files = &files;
        host.dialog = &cmdialog;
        host.showSlideshowButton = [this] { ++buttonShown; };
    }

    // The main window's list, listed again (off the GUI thread).
    void relist() {
        files.refresh();
        EXPECT_TRUE(testutil::waitListed(&files));
    }
    QString addPicture(const QString& name, QSize size = QSize(300, 150)) {
        QImage img(size, QImage::Format_RGB32);
        img.fill(Qt::darkCyan);
        const QString path = QDir(photos).filePath(name);
        EXPECT_TRUE(img.save(path, name.endsWith(".bmp") ? "BMP" : "JPG"));
        relist();
        return path;
    }
    QString addFile(const QString& name, const QByteArray& bytes) {
        const QString path = QDir(photos).filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        relist();
        return path;
    }
    QList<QByteArray> settingsLines() const {
        return testutil::readFile(ctx.state.settingsPath()).split('\n');
    }

    // Opens the show window and waits for its first picture (or its end).
    std::unique_ptr<EcrDiapo> openShow() {
        auto w = std::make_unique<EcrDiapo>(ctx, host);
        QSignalSpy displayed(w.get(), &EcrDiapo::pictureDisplayed);
        w->show();
        w->activateWindow();
        EXPECT_TRUE(testutil::waitUntil([&] { return w->isStarted(); }));
        EXPECT_TRUE(testutil::waitUntil([&] { return !displayed.isEmpty() || !w->isVisible(); }));
        return w;
    }

    QTemporaryDir dir;
    AppContext ctx;
    ScriptedDialogs dialogs;
    FileList files;
    CommonDialog cmdialog{dialogs};
    SlideshowHost host;
    QString photos;
    int buttonShown = 0;
};

} // namespace

TEST_F(Slideshow, SettingsWindowNormalisesWhatItLoadsAndSavesIt) {
    testutil::writeFile(dir, "Affich.cfg", "0 0\r\n0 7 0 0 0 5 5\r\n0\r\n/x\r\n");
    ctx.state.loadSettingsAtStartup();
    addPicture("a.jpg");
    Diapo d(ctx, host);
    EXPECT_TRUE(d.Option5->isChecked());
    EXPECT_EQ(d.Label5->text(), Diapo::helpText(3));
    EXPECT_TRUE(d.Option7->isChecked());
    EXPECT_TRUE(d.Option3->isChecked());
    EXPECT_TRUE(d.Option15->isChecked());
    EXPECT_EQ(d.Label2->text(), QStringLiteral("5"));
    EXPECT_EQ(d.HScroll1->value(), 5);
    EXPECT_TRUE(d.Check1->isChecked());
    EXPECT_FALSE(d.Check3->isChecked());
    EXPECT_EQ(d.Label3->text(),
              QStringLiteral("Quitter le diaporama :  DoubleClic ou touche <Echap>\n"
                             "   Pause : Clic ou touche <Barre d'espace>"));
    EXPECT_EQ(settingsLines().value(1), QByteArray(" 0  3  1  1  5  1  0 \r"));

    // Manual hides what only the automatic show uses, and back.
    QWidget* const automaticOnly[] = {d.Frame2,   d.Frame5, d.Check3, d.Label1,
                                      d.HScroll1, d.Label2, d.Label4, d.Label3};
    d.Option16->click();
    for (QWidget* w : automaticOnly)
        EXPECT_TRUE(w->isHidden()) << w->objectName().toStdString();
    EXPECT_TRUE(settingsLines().value(1).startsWith(" 1 "));
    d.Option15->click();
    for (QWidget* w : automaticOnly)
        EXPECT_FALSE(w->isHidden()) << w->objectName().toStdString();

    // Natural size never shows the caption: the box goes, its value stays.
    d.Option1->click();
    EXPECT_TRUE(d.Check1->isHidden());
    EXPECT_EQ(ctx.state.settings.SlideShowFileName, 1);
    EXPECT_EQ(d.Label5->text(), Diapo::helpText(1));

    // The pause is kept in memory by Cancel and saved by the next rewrite.
    d.HScroll1->setValue(12);
    EXPECT_EQ(d.Label2->text(), QStringLiteral("12"));
    d.Command2->click();
    EXPECT_EQ(ctx.state.settings.SlidePauseSeconds, 12);
    EXPECT_TRUE(settingsLines().value(1).contains(" 5 "));
}

TEST_F(Slideshow, SourceFollowsTheFolderAndTheValidList) {
    ctx.state.settings.SelectionListValid = 1;
    {
        Diapo d(ctx, host); // empty folder
        EXPECT_FALSE(d.Option13->isEnabled());
        EXPECT_FALSE(d.Option13->isChecked());
        EXPECT_TRUE(d.Option14->isEnabled() && d.Option14->isChecked());
        EXPECT_EQ(ctx.state.settings.SlideSource, 1);
    }
    // Nothing at all to show: only the warning, no window.
    ctx.state.settings.SelectionListValid = 0;
    Diapo::run(ctx, host);
    EXPECT_EQ(dialogs.messageTexts(),
              QStringList({QStringLiteral("Aucune image sélectionné pour le diaporama !")}));
    EXPECT_EQ(dialogs.lastMessage()->title, QStringLiteral("Avertissement"));
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_NE(w->objectName(), QStringLiteral("Diapo"));
}

TEST_F(Slideshow, MusicChoiceCancelledKeepsTheFile) {
    addPicture("a.jpg");
    ctx.state.settings.SlideMusicOn = 1;
    ctx.state.settings.SlideMusicFile = QStringLiteral("/m/fond.wav");
    Diapo d(ctx, host);
    EXPECT_FALSE(d.Command3->isHidden());
    d.Command3_Click(); // no answer: cancelled
    EXPECT_EQ(d.Label6->text(), QStringLiteral("/m/fond.wav"));
    EXPECT_EQ(ctx.state.settings.SlideMusicFile, QStringLiteral("/m/fond.wav"));
    const FileDialogRequest& asked = dialogs.asked.last().file;
    EXPECT_EQ(asked.title, QStringLiteral("Ouvrir"));
    EXPECT_EQ(asked.filter, QStringLiteral("*.WAV|*.wav|*.MID|*.mid"));
    dialogs.fileAnswers.push_back({true, QStringLiteral("/m/autre.mid"), 2});
    d.Command3_Click();
    EXPECT_EQ(d.Label6->text(), QStringLiteral("/m/autre.mid"));
    d.Check2->click();
    EXPECT_TRUE(d.Command3->isHidden() && d.Label6->isHidden());
    EXPECT_EQ(ctx.state.settings.SlideMusicOn, 0);
}

TEST_F(Slideshow, ListEditorAddsSavesOpensAndReportsAFailedSave) {
    const QString a = addPicture("a.jpg");
    const QString b = addPicture("b.bmp");
    addFile("notes.txt", "texte");
    FrmListe w(ctx, host);
    w.Command3_Click();
    w.Command3_Click(); // everything again
    EXPECT_EQ(w.listItems(), QStringList({a, b, a, b}));
    EXPECT_EQ(ctx.state.SelectionLastIndex, 3);
    EXPECT_EQ(ctx.state.settings.SelectionListValid, 1);
    w.Mnu_Fichier_Open();
    EXPECT_TRUE(w.Mnu_EnregListe->isEnabled() && w.Mnu_Valide->isEnabled());

    const QString list = dir.filePath("choix.VSI");
    dialogs.fileAnswers.push_back({true, list, 1});
    w.Mnu_EnregListe_Click();
    EXPECT_EQ(testutil::readFile(list),
              (a + "\r\n" + b + "\r\n" + a + "\r\n" + b + "\r\n").toUtf8());

    w.Command4_Click();
    EXPECT_EQ(ctx.state.SelectionLastIndex, -1);
    EXPECT_EQ(ctx.state.settings.SelectionListValid, 0);
    w.Mnu_Fichier_Open();
    EXPECT_FALSE(w.Mnu_EnregListe->isEnabled() || w.Mnu_Valide->isEnabled());

    // Opening fills the box without validating; a file that cannot be read
    // changes nothing; an empty one empties the list.
    dialogs.fileAnswers.push_back({true, list, 1});
    w.Mnu_OuvreListe_Click();
    EXPECT_EQ(w.listItems().size(), 4);
    EXPECT_EQ(ctx.state.settings.SelectionListValid, 0);
    dialogs.fileAnswers.push_back({true, dir.filePath("absent.vsi"), 1});
    w.Mnu_OuvreListe_Click();
    EXPECT_EQ(w.listItems().size(), 4);
    EXPECT_EQ(ctx.state.SelectionLastIndex, 3);
    dialogs.fileAnswers.push_back({true, testutil::writeFile(dir, "vide.vsi", ""), 1});
    w.Mnu_OuvreListe_Click();
    EXPECT_TRUE(w.listItems().isEmpty());
    EXPECT_EQ(ctx.state.SelectionLastIndex, -1);
    EXPECT_TRUE(dialogs.messageTexts().isEmpty());

    // A save the disk refuses (here: a file size limit) says so and leaves
    // the old file whole.
    for (int i = 0; i < 20; ++i)
        w.Command3_Click();
    const QByteArray before = testutil::readFile(list);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64;
    setrlimit(RLIMIT_FSIZE, &small);
    dialogs.fileAnswers.push_back({true, list, 1});
    dialogs.messageAnswers.push_back(MsgResult::Yes); // replace it
    w.Mnu_EnregListe_Click();
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(dialogs.lastMessage()->text, QStringLiteral("Impossible d'enregistrer la liste !"));
    EXPECT_EQ(dialogs.lastMessage()->title, QStringLiteral("Erreur"));
    EXPECT_EQ(dialogs.lastMessage()->icon, MsgIcon::Stop);
    EXPECT_EQ(testutil::readFile(list), before);

    w.Command5->click();
    EXPECT_EQ(buttonShown, 1); // closing with a valid list shows Command6
}

TEST_F(Slideshow, ListEditorPreviewKeepsTheRatio) {
    addPicture("wide.jpg", QSize(400, 100));
    addFile("notes.txt", "texte");
    FrmListe w(ctx, host);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QSignalSpy done(&w, &FrmListe::previewDone);
    w.File1_Click("wide.jpg");
    ASSERT_TRUE(done.wait(5000));
    EXPECT_TRUE(w.Command1->isEnabled());
    EXPECT_EQ(w.Image1->size(), QSize(600, 150));
    w.File1_Click("notes.txt");
    ASSERT_TRUE(done.wait(5000));
    EXPECT_FALSE(done.last().at(1).toBool());
    EXPECT_FALSE(w.Command1->isEnabled());
    EXPECT_TRUE(w.previewPath().endsWith("wide.jpg"));
    w.File1_DblClick(); // not a picture: nothing added
    EXPECT_TRUE(w.listItems().isEmpty());
}

TEST_F(Slideshow, ShowPausesOnClickAndEveryStopPathCloses) {
    addPicture("a.jpg");
    addPicture("b.jpg");
    ctx.state.settings.SlidePauseSeconds = 60;
    ctx.state.settings.SlideSizeMode = 3;
    ctx.state.settings.SlideShowFileName = 1;
    const std::function<void(EcrDiapo&)> stops[] = {
        [](EcrDiapo& w) { QTest::keyClick(&w, Qt::Key_Escape); },
        [](EcrDiapo& w) { QTest::keyClick(&w, Qt::Key_Return); },
        [](EcrDiapo& w) { QTest::mouseDClick(&w, Qt::LeftButton); },
        [](EcrDiapo& w) { w.close(); },
    };
    for (const auto& stop : stops) {
        auto w = openShow();
        ASSERT_TRUE(w->isPictureShown());
        EXPECT_EQ(w->shownPath(), QDir(photos).filePath("a.jpg"));
        const QSize screen = w->size();
        EXPECT_EQ(w->pictureRect(),
                  QRect(screen.width() / 2 - 150, screen.height() / 2 - 75, 300, 150));
        EXPECT_TRUE(w->Label1->isVisible());
        EXPECT_TRUE(w->Label1->text().endsWith(" Octets"));
        EXPECT_TRUE(w->Frame1->isHidden());
        QTest::mouseClick(w.get(), Qt::LeftButton, {}, QPoint(5, 5));
        EXPECT_EQ(ctx.state.SlidePauseState, -1);
        EXPECT_TRUE(w->sequencer().isPaused());
        QTest::keyClick(w.get(), Qt::Key_Space);
        EXPECT_FALSE(w->sequencer().isPaused());
        stop(*w);
        EXPECT_FALSE(w->isVisible());
        EXPECT_EQ(ctx.state.SlideStopRequested, 1);
        EXPECT_EQ(w->sequencer().phase(), SlideSequencer::Phase::Ended);
        ctx.state.SlideStopRequested = 0;
    }
    // Closed while its first picture is still being read: nothing comes
    // after.
    testutil::copyFixture(dir, "pictures/samples/jpeg/large_4000x3000.jpg",
                          "Photos.2007/0_large.jpg");
    relist();
    EcrDiapo w(ctx, host);
    QSignalSpy displayed(&w, &EcrDiapo::pictureDisplayed);
    w.show();
    w.activateWindow();
    ASSERT_TRUE(testutil::waitUntil([&] { return w.isStarted(); }));
    w.close();
    QTest::qWait(500);
    EXPECT_TRUE(displayed.isEmpty());
    EXPECT_FALSE(w.isPictureShown());
}

TEST_F(Slideshow, ManualShowKeepsItsNeighbourButtons) {
    ctx.state.settings.SlideShowType = 1;
    ctx.state.settings.SlideSizeMode = 1;
    ctx.state.settings.SlideShowFileName = 1;
    addPicture("a.jpg");
    {
        auto w = openShow(); // one picture: no neighbour
        EXPECT_FALSE(w->Command2->isEnabled() || w->Command3->isEnabled());
        EXPECT_TRUE(w->Label1->isHidden()); // natural size: no caption
        w->Command5->click();
        EXPECT_FALSE(w->isVisible());
    }
    addPicture("b.jpg");
    addPicture("c.jpg");
    auto w = openShow();
    EXPECT_FALSE(w->Frame1->isHidden());
    EXPECT_FALSE(w->Command2->isEnabled());
    EXPECT_TRUE(w->Command3->isEnabled());
    QSignalSpy displayed(w.get(), &EcrDiapo::pictureDisplayed);
    const struct {
        QToolButton* button;
        int index;
        bool previous, next;
    } steps[] = {{w->Command4, 2, true, false},
                 {w->Command2, 1, true, true},
                 {w->Command2, 0, false, true},
                 {w->Command3, 1, true, true}};
    for (const auto& s : steps) {
        s.button->click();
        EXPECT_EQ(w->showIndex(), s.index);
        EXPECT_EQ(w->HScroll1->value(), s.index);
        EXPECT_EQ(w->Command2->isEnabled(), s.previous);
        EXPECT_EQ(w->Command3->isEnabled(), s.next);
        EXPECT_EQ(ctx.state.FullScreenFilePath, host.fullPath(s.index));
        ASSERT_TRUE(testutil::waitUntil([&] { return w->shownPath() == host.fullPath(s.index); }));
    }
    QTest::keyClick(w.get(), Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(Slideshow, NothingToShowSaysSoAndCloses) {
    // A manual show whose first entry is a sound; automatic shows of a list
    // holding only empty entries, and of a list made elsewhere, none of
    // whose files exists here: the message comes before any picture is
    // tried (and so before any pause).
    addFile("a.wav", testutil::readFile(testutil::fixture("media/tone_s16.wav")));
    addPicture("b.jpg");
    ctx.state.settings.SlidePauseSeconds = 1;
    const QStringList elsewhere = {QDir(photos).filePath("gone.jpg"), "",
                                   QStringLiteral("C:\\Photos\\a.jpg"), "/nowhere/b.jpg"};
    const struct {
        int16_t type;
        QStringList list;
    } cases[] = {{1, {"", ""}}, {0, {"", ""}}, {0, elsewhere}};
    for (const auto& c : cases) {
        ctx.state.settings.SlideShowType = c.type;
        ctx.state.settings.SlideSource = 1;
        ctx.state.SelectionList = c.list;
        ctx.state.SelectionLastIndex = int(c.list.size()) - 1;
        dialogs.asked.clear();
        EcrDiapo w(ctx, host);
        QSignalSpy displayed(&w, &EcrDiapo::pictureDisplayed);
        w.show();
        w.activateWindow();
        EXPECT_TRUE(testutil::waitUntil([&] { return w.isStarted() && !w.isVisible(); }, 20000));
        EXPECT_EQ(dialogs.messageTexts(),
                  QStringList({QStringLiteral("Pas d'images pour le diaporama !")}));
        EXPECT_EQ(displayed.size(), 0);
    }
}

TEST_F(Slideshow, ShowCoversItsScreenWithoutAWindowManager) {
    // Nobody honours the full-screen request without a window manager: the
    // geometry the window is shown with is all it gets.
    addPicture("a.jpg");
    QWidget opener;
    EcrDiapo w(ctx, host, &opener);
    QRect atShow;
    struct ShowSpy : QObject {
        QRect* seen = nullptr;
        bool eventFilter(QObject* o, QEvent* e) override {
            if (e->type() == QEvent::Show)
                *seen = static_cast<QWidget*>(o)->geometry();
            return false;
        }
    } spy;
    spy.seen = &atShow;
    w.installEventFilter(&spy);
    w.show();
    EXPECT_EQ(atShow, opener.screen()->geometry());
    EXPECT_EQ(w.geometry(), opener.screen()->geometry());
    w.close();
}

TEST_F(Slideshow, StretchedPictureKeepsItsDetail) {
    // A panorama 12 times wider than high, stretched over the screen: its
    // stripes of 10 rows stay crisp, each screen row has a picture row of
    // its own behind it rather than a few rows enlarged many times.
    QImage panorama(12000, 1000, QImage::Format_RGB32);
    for (int y = 0; y < panorama.height(); ++y)
        std::fill_n(reinterpret_cast<QRgb*>(panorama.scanLine(y)), panorama.width(),
                    (y / 10) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    ASSERT_TRUE(panorama.save(QDir(photos).filePath("panorama.png")));
    relist();
    ctx.state.settings.SlideSizeMode = 2;
    ctx.state.settings.SlideShowFileName = 0;
    ctx.state.settings.SlidePauseSeconds = 60;
    // Held whole, then read by parts as a picture too large to be held is.
    for (const LoadLimits& limits : {LoadLimits{}, LoadLimits{0, QSize(64, 32)}}) {
        SCOPED_TRACE(limits.wholeBytes);
        ctx.pictures().clearCache();
        ctx.pictures().setLoadLimits(limits);
        auto w = openShow();
        ASSERT_TRUE(w->isPictureShown());
        ASSERT_EQ(w->pictureRect(), w->rect());
        const QImage shown = w->grab().toImage().convertToFormat(QImage::Format_Grayscale8);
        int blurred = 0;
        for (int y = 0; y < shown.height(); ++y) {
            const int v = shown.pixelColor(shown.width() / 2, y).red();
            blurred += v > 48 && v < 208;
        }
        EXPECT_LT(blurred, shown.height() / 4) << blurred << " of " << shown.height() << " rows";
        QTest::keyClick(w.get(), Qt::Key_Escape);
    }
}

TEST(SlideMusicTest, LoopsFromTheStartAndKnowsItsDevices) {
    QTemporaryDir dir;
    const QString wav = testutil::copyFixture(dir, "media/tone_s16.wav", "fond.WAV");
    const QString mid = testutil::copyFixture(dir, "media/scale_tempo_change.mid", "fond.MID");
    const QString mp3 = testutil::copyFixture(dir, "media/tone_s16.wav", "fond.MP3");
    {
        MMControl mm;
        SlideMusic music(&mm);
        QSignalSpy done(&mm, &MMControl::done);
        ASSERT_TRUE(music.play(wav));
        EXPECT_EQ(mm.deviceType(), QStringLiteral("WaveAudio"));
        // The one-second tone ends and starts again, over and over.
        ASSERT_TRUE(testutil::waitUntil([&] { return done.size() >= 4; }, 20000));
        EXPECT_EQ(mm.mode(), MMControl::Mode::Playing);
        EXPECT_FALSE(mm.wait());
        music.stop();
        EXPECT_EQ(mm.mode(), MMControl::Mode::NotOpen);
        // The output is closed: what reached it is complete.
        const mediatest::Capture c = mediatest::readCapture();
        const size_t from = mediatest::firstSound(c.left);
        ASSERT_LT(from, c.size());
        EXPECT_GT(mediatest::ms(mediatest::endOfSound(c.left) - from), 2500);

        EXPECT_FALSE(music.play(mp3)); // no device for it: silence, no message
        EXPECT_EQ(mm.deviceType(), QString());
        ASSERT_TRUE(music.play(mid));
        EXPECT_EQ(mm.deviceType(), QStringLiteral("Sequencer"));
        music.stop();
    }
}

TEST_F(ViewerTest, SlideshowCommandsOpenTheirWindows) {
    addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"));
    start();
    click(QStringLiteral("baseline.jpg"));
    ASSERT_TRUE(w->Command5->isEnabled());
    // The editor: add everything and validate.
    QTimer::singleShot(0, [] {
        auto* editor = qobject_cast<FrmListe*>(QApplication::activeModalWidget());
        ASSERT_NE(editor, nullptr);
        editor->Command3->click();
        editor->Command5->click();
    });
    w->Command5->click();
    EXPECT_EQ(ctx.state.settings.SelectionListValid, 1);
    EXPECT_FALSE(w->Command6->isHidden());
    // The settings window opens, and is cancelled.
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* settings = qobject_cast<Diapo*>(QApplication::activeModalWidget());
        seen = settings != nullptr;
        if (settings)
            settings->Command2->click();
    });
    w->Command6->click();
    EXPECT_TRUE(seen);
    EXPECT_TRUE(w->Mnu_Diapo->isEnabled());
}
