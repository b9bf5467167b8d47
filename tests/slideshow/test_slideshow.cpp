// The slideshow's rules without windows (list files, selection, settings,
// placement, sequencer), then its windows as a user drives them.
#include "app/appcontext.h"
#include "app/appstate.h"
#include "dialogs/commondialog.h"
#include "picture/pictureloader.h"
#include "picture/pictureservice.h"
#include "slideshow/diapo.h"
#include "slideshow/ecrdiapo.h"
#include "slideshow/frmliste.h"
#include "slideshow/selection.h"
#include "slideshow/slideframe.h"
#include "slideshow/slidemusic.h"
#include "slideshow/slidesequencer.h"
#include "slideshow/slideshowrules.h"
#include "slideshow/vsifile.h"
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
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace lumenta;
using Outcome = SlideSequencer::Outcome;

static const bool kAudioToDisk = mediatest::routeAudioToDisk();

TEST(VsiFile, LineEndsEncodingsAndEmptyLines) {
    const struct {
        QByteArray bytes;
        QStringList entries;
    } cases[] = {
        {"", {}},
        {"/a.jpg\r\n", {"/a.jpg"}},
        {"/a.jpg\r\n/b.jpg", {"/a.jpg", "/b.jpg"}},
        {"/a.jpg\r/b.jpg\r", {"/a.jpg", "/b.jpg"}},
        {"/a.jpg\n/b.jpg\n", {"/a.jpg", "/b.jpg"}},
        {"/a.jpg\r\n\r\n/b.jpg\r\n", {"/a.jpg", "", "/b.jpg"}},
        {"\r\n", {""}},
        {"C:\\Photos\\\xe9t\xe9.jpg\r\n", {QStringLiteral("C:\\Photos\\été.jpg")}},
        {"/photos/\xc3\xa9t\xc3\xa9.jpg\r\n", {QStringLiteral("/photos/été.jpg")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.toStdString());
        EXPECT_EQ(parseVsi(c.bytes), c.entries);
    }
}

TEST(VsiFile, LongListsRoundTripInUtf8WithCrLf) {
    QTemporaryDir dir;
    QStringList entries;
    for (int i = 0; i < 40000; ++i)
        entries << QStringLiteral("/photos/été %1.jpg").arg(i);
    entries[7] = QString(); // an empty entry survives too
    const QString path = dir.filePath("long.vsi");
    ASSERT_TRUE(writeVsiFile(path, entries));
    const QByteArray bytes = testutil::readFile(path);
    EXPECT_TRUE(bytes.startsWith("/photos/\xc3\xa9t\xc3\xa9 0.jpg\r\n"));
    EXPECT_TRUE(bytes.endsWith("39999.jpg\r\n"));
    EXPECT_EQ(readVsiFile(path), entries);
}

TEST(VsiFile, SavedInPlaceWhereTheFolderRefusesNewFilesNeverOverAPipe) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QStringList entries = {"/a.jpg", "/b.jpg"};
    // A pipe (or a device) is refused and stays what it was.
    const QString fifo = dir.filePath("list.vsi");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0666), 0);
    EXPECT_FALSE(writeVsiFile(fifo, entries));
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_FALSE(writeVsiFile(dir.path(), entries)); // nor a folder

    // A folder its user may not add to, holding a longer list file they may
    // write: replaced in place, nothing of it left (saved as nobody, not root).
    const QString kept = testutil::writeFile(dir, QStringLiteral("shut/kept.vsi"),
                                             "/an/older/and/much/longer/list.jpg\r\n/x.jpg\r\n");
    ASSERT_FALSE(kept.isEmpty());
    const QString shut = dir.filePath("shut");
    ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
    ::chmod(QFile::encodeName(shut).constData(), 0555);
    ::chmod(QFile::encodeName(kept).constData(), 0666);
    const bool root = ::geteuid() == 0;
    ASSERT_TRUE(!root || ::seteuid(65534) == 0);
    const bool keptSaved = writeVsiFile(kept, entries);
    const bool newSaved = writeVsiFile(shut + QStringLiteral("/new.vsi"), entries);
    ASSERT_TRUE(!root || ::seteuid(0) == 0);
    ::chmod(QFile::encodeName(shut).constData(), 0755);
    EXPECT_TRUE(keptSaved);
    EXPECT_EQ(testutil::readFile(kept), formatVsi(entries));
    EXPECT_FALSE(newSaved);
    EXPECT_EQ(QDir(shut).entryList(QDir::Files | QDir::Hidden), QStringList{"kept.vsi"});
}

TEST(Selection, ValidationOpeningAndFailuresKeepTheList) {
    QTemporaryDir dir;
    AppState st;
    EXPECT_EQ(st.SelectionLastIndex, -1);
    EXPECT_TRUE(selectionEntries(st).isEmpty());

    validateSelection({"/p/a.jpg"}, st);
    EXPECT_EQ(st.SelectionLastIndex, 0);
    EXPECT_EQ(st.settings.SelectionListValid, 1);
    const QString one = dir.filePath("one.vsi");
    ASSERT_TRUE(writeVsiFile(one, selectionEntries(st)));
    EXPECT_EQ(testutil::readFile(one), QByteArray("/p/a.jpg\r\n"));

    // An empty validation: invalid; the entries stay but no longer count.
    validateSelection({}, st);
    EXPECT_EQ(st.settings.SelectionListValid, 0);
    EXPECT_EQ(st.SelectionList, QStringList({"/p/a.jpg"}));
    EXPECT_TRUE(selectionEntries(st).isEmpty());

    ASSERT_TRUE(openSelectionFile(one, st));
    EXPECT_EQ(selectionEntries(st), QStringList({"/p/a.jpg"}));
    EXPECT_EQ(st.settings.SelectionListValid, 0); // opening does not validate

    // Missing, a folder, and a file past the size bound: nothing changes.
    const QString huge = testutil::writeFile(dir, "huge.vsi", "");
    ASSERT_TRUE(QFile::resize(huge, kVsiMaxBytes + 1));
    for (const QString& bad : {dir.filePath("missing.vsi"), dir.path(), huge}) {
        SCOPED_TRACE(bad.toStdString());
        EXPECT_FALSE(openSelectionFile(bad, st));
        EXPECT_EQ(selectionEntries(st), QStringList({"/p/a.jpg"}));
    }

    const QString empty = testutil::writeFile(dir, "empty.vsi", "");
    st.settings.SelectionListValid = 1;
    ASSERT_TRUE(openSelectionFile(empty, st));
    EXPECT_EQ(st.SelectionLastIndex, -1);
    EXPECT_EQ(st.settings.SelectionListValid, 1);
}

TEST(Selection, PicturesOfAFolderAndListableNames) {
    EXPECT_EQ(picturePaths("/data/Photos.2007", {"a.jpg", "B.BMP", "notes.txt", "README", "c.jpeg",
                                                 "d.heic", "e.png.txt"}),
              QStringList({"/data/Photos.2007/a.jpg", "/data/Photos.2007/B.BMP",
                           "/data/Photos.2007/c.jpeg", "/data/Photos.2007/d.heic"}));
    EXPECT_TRUE(isListablePath(QStringLiteral("/photos/été.jpg")));
    EXPECT_FALSE(isListablePath(QStringLiteral("/photos/a\nb.jpg")));
    EXPECT_FALSE(isListablePath(QStringLiteral("/photos/a\rb.jpg")));
    EXPECT_FALSE(isListablePath(QFile::decodeName("/photos/\xe9t\xe9.jpg")));
}

TEST(SlideshowRules, StoredValuesAreNormalised) {
    Settings s;
    const auto all = [&s] {
        return std::tie(s.SlideShowType, s.SlideSizeMode, s.SlideOrder, s.SlideBackColor,
                        s.SlidePauseSeconds, s.SlideShowFileName, s.SlideLoop);
    };
    all() = std::tuple(3, 7, 0, 0, 0, 5, 5);
    normaliseSlideSettings(s);
    EXPECT_EQ(all(), std::tuple(0, 3, 1, 1, 5, 1, 0));
    for (const auto& [stored, shown] :
         std::initializer_list<std::pair<int, int>>{{-4, 5}, {1, 1}, {60, 60}, {61, 60}}) {
        s.SlidePauseSeconds = int16_t(stored);
        normaliseSlideSettings(s);
        EXPECT_EQ(s.SlidePauseSeconds, shown) << stored;
    }
}

TEST(SlideshowRules, SourceOfThePictures) {
    const struct {
        int files;
        int16_t valid, source;
        SourceChoice expected;
    } cases[] = {
        {0, 1, 0, {1, false, true}}, // empty folder, valid list: the list
        {0, 0, 1, {0, false, false}}, {3, 0, 1, {0, true, false}}, // no valid list: the folder
        {3, 1, 1, {1, true, true}},   {3, 1, 0, {0, true, true}},  {3, 1, 7, {0, true, true}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(slideSourceChoice(c.files, c.valid, c.source), c.expected)
            << c.files << ' ' << c.valid << ' ' << c.source;
}

TEST(SlideshowRules, CaptionOrderMusicAndManualPosition) {
    EXPECT_EQ(slideCaption("C:\\A.JPG", 1234), QStringLiteral(" C:\\A.JPG   1234 Octets"));
    EXPECT_EQ(slideCaption("/home/anne/été.jpg", 0),
              QStringLiteral(" /HOME/ANNE/ÉTÉ.JPG   0 Octets"));
    EXPECT_EQ(showOrder(2, {"a", "b", "c"}), QStringList({"c", "b", "a"}));
    EXPECT_EQ(showOrder(1, {"a", "", "c"}), QStringList({"a", "", "c"}));

    for (const auto& [file, device] : {std::pair{"/m/fond.wav", "WaveAudio"},
                                       {"/m/FOND.MID", "Sequencer"},
                                       {"/m/fond.MP3", ""},
                                       {"/m/fond.midi", ""}})
        EXPECT_EQ(musicDeviceType(file), QLatin1String(device)) << file;

    const struct {
        int wanted, count;
        ManualPosition expected;
    } moves[] = {
        {0, 1, {0, false, false}}, // one picture: no neighbour at all
        {1, 1, {0, false, false}}, {0, 3, {0, false, true}}, {1, 3, {1, true, true}},
        {2, 3, {2, true, false}},  {9, 3, {2, true, false}}, {-1, 3, {0, false, true}},
    };
    for (const auto& m : moves)
        EXPECT_EQ(manualPosition(m.wanted, m.count), m.expected) << m.wanted << '/' << m.count;
}

TEST(SlideFrame, PlacementByRule) {
    const QSize screen(1200, 900);
    const struct {
        int rule;
        QSize picture;
        QRectF expected;
    } cases[] = {
        {1, {600, 300}, {300, 300, 600, 300}},       {2, {600, 300}, {0, 0, 1200, 900}},
        {3, {600, 300}, {300, 300, 600, 300}},       {4, {600, 300}, {0, 150, 1200, 600}},
        {3, {1600, 1600}, {150, 0, 900, 900}},       {4, {1600, 1600}, {150, 0, 900, 900}},
        {1, {2400, 1800}, {-600, -450, 2400, 1800}}, {9, {600, 300}, {300, 300, 600, 300}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(slidePlacement(c.rule, c.picture, screen), c.expected) << c.rule;
    EXPECT_FALSE(slidePlacement(3, QSize(0, 10), screen));
}

TEST(SlideFrame, NaturalSizeIsAPixelForPixelCopyWhateverTheParity) {
    // Pictures a pixel narrower, wider, shorter or taller than the screen,
    // held whole or read as the show reads them (only the screen-sized
    // centre), come out as an exact copy of their centre, centred within half
    // a pixel.
    QTemporaryDir dir;
    const QSize screen(1920, 1080);
    const QSize sizes[] = {{1919, 1079}, {1921, 1081}, {1919, 1081}, {1921, 1079},
                           {1920, 1080}, {3843, 2163}, {301, 151}};
    for (const QSize size : sizes) {
        SCOPED_TRACE(QStringLiteral("%1x%2").arg(size.width()).arg(size.height()).toStdString());
        QImage src(size, QImage::Format_RGB32);
        for (int y = 0; y < size.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(src.scanLine(y));
            for (int x = 0; x < size.width(); ++x)
                row[x] = qRgb((x * 31 + y * 17) & 255, (x * x + 3 * y) & 255, (x ^ y) & 255);
        }
        const QString path = dir.filePath(QStringLiteral("p.bmp"));
        ASSERT_TRUE(src.save(path));
        PictureNeed need;
        need.region = QRect(QPoint(), screen);
        need.centreRegion = true;
        const Picture pic = loadPicture(path, need);
        ASSERT_FALSE(pic.isNull());
        const SlideFrame frames[] = {
            prepareFrame(pic.image, pic.naturalSize, pic.region, 1, screen),
            prepareFrame(src, size, QRect(), 1, screen)};
        for (const SlideFrame& f : frames) {
            const QSize shown = size.boundedTo(screen);
            ASSERT_EQ(f.image.size(), shown);
            const QImage frame = f.image.convertToFormat(QImage::Format_RGB32);
            bool copied = false;
            const double cutX = (size.width() - shown.width()) / 2.0;
            const double cutY = (size.height() - shown.height()) / 2.0;
            for (const int x : {int(std::floor(cutX)), int(std::ceil(cutX))}) {
                for (const int y : {int(std::floor(cutY)), int(std::ceil(cutY))}) {
                    if (frame != src.copy(QRect(QPoint(x, y), shown)))
                        continue;
                    copied = true;
                    // Where the picture's corner lands on the screen.
                    const QPointF corner = QPointF(f.topLeft - QPoint(x, y));
                    EXPECT_LE(std::abs(corner.x() - (screen.width() - size.width()) / 2.0), 0.5);
                    EXPECT_LE(std::abs(corner.y() - (screen.height() - size.height()) / 2.0), 0.5);
                }
            }
            EXPECT_TRUE(copied);
        }
    }
    // Reduced under rule 3, never larger than the screen.
    QImage large(3000, 2000, QImage::Format_RGB32);
    EXPECT_EQ(prepareFrame(large, large.size(), QRect(), 3, QSize(1000, 600)).rect(),
              QRect(50, 0, 900, 600));
}

namespace {

// Runs a sequencer, answering each picture at once (ok unless listed in
// `unreadable`), and records what it asked for.
struct ShowRun {
    SlideSequencer seq;
    QStringList shown;
    QList<Outcome> outcomes;
    QStringList unreadable;
    int stopAfter = -1; // stop() once this many pictures were shown

    ShowRun(const QStringList& entries, bool loop, int pauseMs) {
        seq.setEntries(entries);
        seq.setLoop(loop);
        seq.setPauseMs(pauseMs);
        QObject::connect(&seq, &SlideSequencer::showPath, &seq, [this](const QString& p) {
            shown << p;
            if (stopAfter >= 0 && shown.size() >= stopAfter) {
                seq.stop();
                return;
            }
            seq.pictureShown(!unreadable.contains(p));
        });
        QObject::connect(&seq, &SlideSequencer::finished, &seq,
                         [this](Outcome o) { outcomes << o; });
    }
    bool ended(int ms = 5000) {
        return testutil::waitUntil([this] { return !outcomes.isEmpty(); }, ms);
    }
};

} // namespace

TEST(SlideSequencer, OrderLoopAndEmptyEntries) {
    const struct {
        QStringList entries;
        bool loop;
        int stopAfter;
        QStringList shown;
        Outcome outcome;
    } cases[] = {
        {showOrder(2, {"/0.jpg", "/1.jpg", "/2.jpg"}),
         false,
         -1,
         {"/2.jpg", "/1.jpg", "/0.jpg"},
         Outcome::Completed},
        // Loops until stopped; empty entries are passed over.
        {{"/a.jpg", "", "/b.jpg"},
         true,
         5,
         {"/a.jpg", "/b.jpg", "/a.jpg", "/b.jpg", "/a.jpg"},
         Outcome::Stopped},
        // Nothing to show: the show ends at once rather than running empty.
        {{}, true, -1, {}, Outcome::NoPictures},
        {{"", ""}, true, -1, {}, Outcome::NoPictures},
        // Nothing readable (every answer a failure): no pictures, no endless loop.
        {{"/x.wav", "/y.txt"}, true, -1, {"/x.wav", "/y.txt"}, Outcome::NoPictures},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entries.join(',').toStdString());
        ShowRun r(c.entries, c.loop, c.shown.isEmpty() ? 1000 : 0);
        r.stopAfter = c.stopAfter;
        if (c.outcome == Outcome::NoPictures)
            r.unreadable = c.entries;
        r.seq.start();
        ASSERT_TRUE(c.shown.isEmpty() ? !r.outcomes.isEmpty() : r.ended());
        EXPECT_EQ(r.shown, c.shown);
        EXPECT_EQ(r.outcomes, QList<Outcome>{c.outcome});
    }
}

TEST(SlideSequencer, PauseStartsOnceThePictureIsShownAndSkipsEmptyEntries) {
    SlideSequencer seq;
    seq.setEntries({"/a.jpg", "", "/b.jpg"});
    seq.setPauseMs(150);
    QSignalSpy show(&seq, &SlideSequencer::showPath);
    seq.start();
    ASSERT_EQ(show.size(), 1);
    EXPECT_EQ(seq.upcoming(), QStringLiteral("/b.jpg"));
    // Loading takes its time: nothing moves until the picture is shown.
    QTest::qWait(200);
    EXPECT_EQ(show.size(), 1);
    QElapsedTimer t;
    t.start();
    seq.pictureShown(true);
    ASSERT_TRUE(show.wait(5000));
    EXPECT_GE(t.elapsed(), 150);
    EXPECT_EQ(show.last().at(0).toString(), QStringLiteral("/b.jpg"));
    EXPECT_EQ(seq.upcoming(), QString()); // no loop: nothing after the last
}

TEST(SlideSequencer, PauseHoldsThePictureUntilResumedAndStopEndsIt) {
    SlideSequencer seq;
    seq.setEntries({"/a.jpg", "/b.jpg", "/c.jpg"});
    seq.setPauseMs(20);
    QSignalSpy show(&seq, &SlideSequencer::showPath);
    QSignalSpy finished(&seq, &SlideSequencer::finished);
    seq.start();
    seq.pictureShown(true);
    seq.setPaused(true); // a click during the pause
    ASSERT_TRUE(testutil::waitUntil([&] { return seq.phase() == SlideSequencer::Phase::Waiting; }));
    EXPECT_EQ(show.size(), 1);
    seq.setPaused(false);
    ASSERT_EQ(show.size(), 2);
    seq.pictureShown(true);
    seq.setPaused(true);
    seq.stop(); // Escape while paused
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished.at(0).at(0).value<Outcome>(), Outcome::Stopped);
    seq.setPaused(false);
    QTest::qWait(60);
    EXPECT_EQ(show.size(), 2);
}

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
        const QString path = testutil::writeFile(dir, "Photos.2007/" + name, bytes);
        EXPECT_FALSE(path.isEmpty());
        relist();
        return path;
    }
    QList<QByteArray> settingsLines() const {
        return testutil::readFile(ctx.state.settingsPath()).split('\n');
    }

    // Opens the show; waits for its start and its first picture (or end).
    std::unique_ptr<EcrDiapo> openShow(bool waitForPicture = true) {
        auto w = std::make_unique<EcrDiapo>(ctx, host);
        displayed = 0;
        QObject::connect(w.get(), &EcrDiapo::pictureDisplayed, [this] { ++displayed; });
        w->show();
        w->activateWindow();
        EXPECT_TRUE(testutil::waitUntil([&] { return w->isStarted(); }));
        if (waitForPicture)
            EXPECT_TRUE(
                testutil::waitUntil([&] { return displayed > 0 || !w->isVisible(); }, 30000));
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
    int displayed = 0;
};

} // namespace

TEST_F(Slideshow, SettingsWindowNormalisesWhatItLoadsAndSavesIt) {
    testutil::writeFile(dir, "Affich.cfg", "0 0\r\n0 7 0 0 0 5 5\r\n0\r\n/x\r\n");
    ctx.state.loadSettingsAtStartup();
    addPicture("a.jpg");
    Diapo d(ctx, host);
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{
             d.Option5, d.Option7, d.Option3, d.Option15, d.Check1})
        EXPECT_TRUE(b->isChecked()) << b->objectName().toStdString();
    EXPECT_FALSE(d.Check3->isChecked());
    EXPECT_EQ(d.Label5->text(), Diapo::helpText(3));
    EXPECT_EQ(d.Label2->text(), QStringLiteral("5"));
    EXPECT_EQ(d.HScroll1->value(), 5);
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
    EXPECT_EQ(dialogs.asked.last().file.filter, QStringLiteral("*.WAV|*.wav|*.MID|*.mid"));
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
    for (const auto& [file, count] : {std::pair{list, 4},
                                      {dir.filePath("absent.vsi"), 4},
                                      {testutil::writeFile(dir, "vide.vsi", ""), 0}}) {
        dialogs.fileAnswers.push_back({true, file, 1});
        w.Mnu_OuvreListe_Click();
        EXPECT_EQ(w.listItems().size(), count) << file.toStdString();
        EXPECT_EQ(ctx.state.SelectionLastIndex, count - 1);
        EXPECT_EQ(ctx.state.settings.SelectionListValid, 0);
    }
    EXPECT_TRUE(dialogs.messageTexts().isEmpty());

    // A save the disk refuses (a file size limit) says so; the old file stays.
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
    // Closed as its first picture is asked for, while it is read: nothing comes after.
    testutil::copyFixture(dir, "pictures/samples/jpeg/large_4000x3000.jpg",
                          "Photos.2007/0_large.jpg");
    relist();
    EcrDiapo w(ctx, host);
    QSignalSpy shown(&w, &EcrDiapo::pictureDisplayed);
    QObject::connect(&w.sequencer(), &SlideSequencer::showPath, &w, [&] {
        EXPECT_FALSE(ctx.pictures().isIdle());
        w.close();
    });
    w.show();
    w.activateWindow();
    EXPECT_TRUE(testutil::waitUntil([&] { return !w.isVisible() && ctx.pictures().isIdle(); }));
    EXPECT_TRUE(shown.isEmpty());
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
    // A manual show whose first entry is a sound; automatic shows of empty
    // entries only, and of a list none of whose files exists here.
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
        auto w = openShow(false);
        EXPECT_TRUE(testutil::waitUntil([&] { return !w->isVisible(); }, 20000));
        EXPECT_EQ(dialogs.messageTexts(),
                  QStringList({QStringLiteral("Pas d'images pour le diaporama !")}));
        EXPECT_EQ(displayed, 0);
    }
}

TEST_F(Slideshow, ShowCoversItsScreenWithoutAWindowManager) {
    // Without a window manager the geometry it is shown with is all it gets.
    addPicture("a.jpg");
    QWidget opener;
    EcrDiapo w(ctx, host, &opener);
    const testutil::ShownGeometry spy(&w);
    w.show();
    EXPECT_EQ(spy.seen, opener.screen()->geometry());
    EXPECT_EQ(w.geometry(), opener.screen()->geometry());
    w.close();
}

TEST_F(Slideshow, StretchedPictureKeepsItsDetail) {
    // A panorama stretched over the screen: its stripes of 10 rows stay crisp
    // (each screen row from a picture row of its own, not a few enlarged).
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
    MMControl mm;
    SlideMusic music(&mm);
    // The mode each end leaves, read right after the music's own handler: the
    // disk output plays the one-second tone in some 50 ms, so a later look may
    // find it ended again.
    QList<MMControl::Mode> after;
    QObject::connect(&mm, &MMControl::done, &mm, [&] { after << mm.mode(); });
    ASSERT_TRUE(music.play(wav));
    EXPECT_EQ(mm.deviceType(), QStringLiteral("WaveAudio"));
    // The one-second tone ends and starts again, over and over.
    ASSERT_TRUE(testutil::waitUntil([&] { return after.size() >= 4; }, 20000));
    EXPECT_EQ(after.count(MMControl::Mode::Playing), after.size());
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

TEST_F(ViewerTest, ASlideshowAskedForWhileTheFolderIsListedWaitsForItsFiles) {
    addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"));
    start();
    click(QStringLiteral("baseline.jpg"));
    // Another filter: the lines go at once, and the folder is listed again.
    w->File1->setPattern(QStringLiteral("*.jpg"));
    ASSERT_TRUE(w->File1->isListing() && w->File1->listCount() == 0);
    ASSERT_TRUE(w->Mnu_Diapo->isEnabled());
    int filesSeen = -1;
    testutil::whenModal<Diapo>([&](Diapo* settings) {
        filesSeen = w->File1->listCount();
        settings->Command2->click();
    });
    w->Mnu_Diapo->trigger();
    // Not refused for want of pictures: the settings come once they are listed.
    EXPECT_TRUE(dialogs.asked.isEmpty());
    ASSERT_TRUE(testutil::waitUntil([&] { return filesSeen >= 0; }));
    EXPECT_EQ(filesSeen, 1);
    EXPECT_TRUE(dialogs.asked.isEmpty());
}
