// The slideshow's rules without windows: list files, the program-wide
// selection list, settings normalisation, the caption, the placement of a
// picture on the screen and the show's sequencer.
#include "app/appstate.h"
#include "picture/pictureloader.h"
#include "slideshow/selection.h"
#include "slideshow/slideframe.h"
#include "slideshow/slidesequencer.h"
#include "slideshow/slideshowrules.h"
#include "slideshow/vsifile.h"
#include "support/testutil.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

using namespace lumenta;
using Outcome = SlideSequencer::Outcome;

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

    // A folder its user may not add to, holding a list file they may write
    // (a longer one: nothing of it remains). The super-user writes
    // everywhere: saved as nobody.
    const QString shut = dir.filePath("shut");
    ASSERT_TRUE(QDir().mkdir(shut));
    const QString kept = shut + QStringLiteral("/kept.vsi");
    {
        QFile f(kept);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) &&
                    f.write("/an/older/and/much/longer/list.jpg\r\n/x.jpg\r\n") > 0);
    }
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

    // An empty validation: invalid, the entries stay in the container but
    // no longer count.
    validateSelection({}, st);
    EXPECT_EQ(st.settings.SelectionListValid, 0);
    EXPECT_EQ(st.SelectionList, QStringList({"/p/a.jpg"}));
    EXPECT_TRUE(selectionEntries(st).isEmpty());

    ASSERT_TRUE(openSelectionFile(one, st));
    EXPECT_EQ(selectionEntries(st), QStringList({"/p/a.jpg"}));
    EXPECT_EQ(st.settings.SelectionListValid, 0); // opening does not validate

    // Missing, a folder, and a file past the size bound: nothing changes.
    QFile huge(dir.filePath("huge.vsi"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(kVsiMaxBytes + 1));
    huge.close();
    for (const QString& bad : {dir.filePath("missing.vsi"), dir.path(), huge.fileName()}) {
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
    s.SlideShowType = 3;
    s.SlideSizeMode = 7;
    s.SlideOrder = 0;
    s.SlideBackColor = 0;
    s.SlidePauseSeconds = 0;
    s.SlideShowFileName = 5;
    s.SlideLoop = 5;
    normaliseSlideSettings(s);
    EXPECT_EQ(s.SlideShowType, 0);
    EXPECT_EQ(s.SlideSizeMode, 3);
    EXPECT_EQ(s.SlideOrder, 1);
    EXPECT_EQ(s.SlideBackColor, 1);
    EXPECT_EQ(s.SlidePauseSeconds, 5);
    EXPECT_EQ(s.SlideShowFileName, 1);
    EXPECT_EQ(s.SlideLoop, 0);
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

    EXPECT_EQ(musicDeviceType("/m/fond.wav"), QStringLiteral("WaveAudio"));
    EXPECT_EQ(musicDeviceType("/m/FOND.MID"), QStringLiteral("Sequencer"));
    EXPECT_EQ(musicDeviceType("/m/fond.MP3"), QString());
    EXPECT_EQ(musicDeviceType("/m/fond.midi"), QString());

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

TEST(SlideFrame, NaturalSizeShowsTheCentreWhetherWholeOrCut) {
    // Quadrants of four colours: the screen-sized centre shows all four.
    QImage whole(3000, 2000, QImage::Format_RGB32);
    whole.fill(Qt::red);
    QImage right(1500, 2000, QImage::Format_RGB32);
    right.fill(Qt::green);
    for (int y = 0; y < 2000; ++y)
        memcpy(whole.scanLine(y) + 1500 * 4, right.constScanLine(y), 1500 * 4);
    const QSize screen(1000, 600);
    const SlideFrame a = prepareFrame(whole, whole.size(), QRect(), 1, screen);
    const QRect centre(1000, 700, 1000, 600);
    const SlideFrame b = prepareFrame(whole.copy(centre), whole.size(), centre, 1, screen);
    for (const SlideFrame* f : {&a, &b}) {
        ASSERT_FALSE(f->isNull());
        EXPECT_EQ(f->rect(), QRect(QPoint(0, 0), screen));
        EXPECT_EQ(f->image.pixelColor(499, 300), QColor(Qt::red));
        EXPECT_EQ(f->image.pixelColor(500, 300), QColor(Qt::green));
    }
    // Reduced under rule 3, never larger than the screen.
    const SlideFrame c = prepareFrame(whole, whole.size(), QRect(), 3, screen);
    EXPECT_EQ(c.rect(), QRect(50, 0, 900, 600));
}

TEST(SlideFrame, NaturalSizeIsAPixelForPixelCopyWhateverTheParity) {
    // Pictures a pixel narrower, wider, shorter or taller than the screen,
    // read as the show reads them (only the screen-sized centre), come out
    // as an exact copy of their centre, centred within half a pixel.
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
        const SlideFrame f = prepareFrame(pic.image, pic.naturalSize, pic.region, 1, screen);
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
    {
        ShowRun r(showOrder(2, {"/0.jpg", "/1.jpg", "/2.jpg"}), false, 0);
        r.seq.start();
        ASSERT_TRUE(r.ended());
        EXPECT_EQ(r.shown, QStringList({"/2.jpg", "/1.jpg", "/0.jpg"}));
        EXPECT_EQ(r.outcomes, QList<Outcome>{Outcome::Completed});
    }
    {
        // Loops until stopped; empty entries are passed over.
        ShowRun r({"/a.jpg", "", "/b.jpg"}, true, 0);
        r.stopAfter = 5;
        r.seq.start();
        ASSERT_TRUE(r.ended());
        EXPECT_EQ(r.shown, QStringList({"/a.jpg", "/b.jpg", "/a.jpg", "/b.jpg", "/a.jpg"}));
        EXPECT_EQ(r.outcomes, QList<Outcome>{Outcome::Stopped});
    }
    // Nothing to show: the show ends at once rather than running empty.
    for (const QStringList& entries : {QStringList(), QStringList({"", ""})}) {
        ShowRun r(entries, true, 1000);
        r.seq.start();
        EXPECT_EQ(r.outcomes, QList<Outcome>{Outcome::NoPictures});
    }
    {
        ShowRun r({"/x.wav", "/y.txt"}, true, 0);
        r.unreadable = QStringList({"/x.wav", "/y.txt"});
        r.seq.start();
        ASSERT_TRUE(r.ended());
        EXPECT_EQ(r.shown.size(), 2);
        EXPECT_EQ(r.outcomes, QList<Outcome>{Outcome::NoPictures});
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
    QTest::qWait(150);
    EXPECT_EQ(show.size(), 1);
    EXPECT_EQ(seq.phase(), SlideSequencer::Phase::Waiting);
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
