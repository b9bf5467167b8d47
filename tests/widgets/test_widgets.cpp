// The shared controls: drawing at device pixels, the folder and file lists,
// and the multimedia control (its sound going to SDL's disk driver).
#include "support/listutil.h"
#include "support/mediacapture.h"
#include "support/testutil.h"
#include "widgets/browsewidgets.h"
#include "widgets/devicepixels.h"
#include "widgets/mmcontrol.h"

#include <QDir>
#include <QPainter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QToolButton>
#include <gtest/gtest.h>
#include <optional>

using namespace lumenta;
using Button = MMControl::Button;
using Mode = MMControl::Mode;

static const bool kAudioToDisk = mediatest::routeAudioToDisk();

namespace {

// A picture whose neighbouring pixels all differ: any scaling, filtering or
// half-pixel shift shows.
QImage checkerboard(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, (x + y) % 2 ? 0xff000000 : 0xffffffff);
    return img;
}

// Where `pattern` lies 1:1 in `surface`, checked pixel by pixel.
bool copiedAt(const QImage& surface, const QImage& pattern, QPoint at) {
    for (int y = 0; y < pattern.height(); ++y)
        for (int x = 0; x < pattern.width(); ++x)
            if (surface.pixel(at.x() + x, at.y() + y) != pattern.pixel(x, y))
                return false;
    return true;
}

} // namespace

TEST(DevicePixels, APictureStaysOnePixelPerDevicePixelAtEveryScale) {
    const struct {
        qreal ratio;
        QPointF translate; // the painter's logical origin (a widget's place)
        QPointF at;        // where the picture is drawn, logical
        QPoint expected;   // its top-left, device pixels
    } cases[] = {
        {1.0, {0, 0}, {0, 0}, {0, 0}},       {1.0, {3, 5}, {2, 1}, {5, 6}},
        {1.25, {0, 0}, {4, 4}, {5, 5}},      {1.25, {3, 0}, {0, 1}, {4, 1}},
        {1.25, {1, 1}, {1, 1}, {3, 3}},      {1.5, {1, 1}, {0, 0}, {2, 2}},
        {1.5, {7, 3}, {0.5, 0.5}, {11, 5}},  {2.0, {0, 0}, {0, 0}, {0, 0}},
        {2.0, {5, 2}, {1.25, 0.5}, {13, 5}}, {1.75, {2, 2}, {0, 0}, {4, 4}},
    };
    const QImage pattern = checkerboard(33, 17);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "ratio " << c.ratio << " at " << c.at.x());
        QImage surface(120, 80, QImage::Format_RGB32);
        surface.fill(Qt::red);
        surface.setDevicePixelRatio(c.ratio);
        {
            QPainter p(&surface);
            p.translate(c.translate);
            const QTransform before = p.deviceTransform();
            drawImageAtDevicePixels(p, c.at, pattern);
            // The painter is left as it was.
            EXPECT_EQ(p.deviceTransform(), before);
        }
        EXPECT_TRUE(copiedAt(surface, pattern, c.expected));
        // Nothing spilled beyond the picture's own pixels.
        EXPECT_EQ(surface.pixel(c.expected + QPoint(pattern.width(), 0)), qRgb(255, 0, 0));
        EXPECT_EQ(surface.pixel(c.expected + QPoint(0, pattern.height())), qRgb(255, 0, 0));
    }
}

TEST(DevicePixels, APartOfAPictureAndAPictureWithARatioOfItsOwn) {
    QImage pattern = checkerboard(40, 40);
    QImage surface(100, 100, QImage::Format_RGB32);
    surface.fill(Qt::red);
    surface.setDevicePixelRatio(2);
    pattern.setDevicePixelRatio(2); // ignored: the copy is 1:1
    {
        QPainter p(&surface);
        drawImageAtDevicePixels(p, QPointF(10, 10), pattern, QRect(5, 6, 10, 10));
    }
    EXPECT_TRUE(copiedAt(surface, pattern.copy(5, 6, 10, 10), QPoint(20, 20)));
    EXPECT_EQ(surface.pixel(30, 20), qRgb(255, 0, 0));
}

TEST(DevicePixels, LogicalAndDeviceSizes) {
    const struct {
        QSize pixels;
        qreal ratio;
        QSize logical;
    } cases[] = {
        {{100, 50}, 1.0, {100, 50}}, {{100, 50}, 2.0, {50, 25}},     {{101, 51}, 2.0, {51, 26}},
        {{100, 50}, 1.25, {80, 40}}, {{101, 3}, 1.25, {81, 3}},      {{300, 1}, 1.5, {200, 1}},
        {{0, 0}, 1.5, {0, 0}},       {{640, 480}, 1.75, {366, 275}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pixels.width() << " at " << c.ratio);
        const QSize logical = logicalSize(c.pixels, c.ratio);
        EXPECT_EQ(logical, c.logical);
        // The logical size holds the whole picture.
        const QSize back = deviceSize(logical, c.ratio);
        EXPECT_GE(back.width(), c.pixels.width());
        EXPECT_GE(back.height(), c.pixels.height());
    }
    EXPECT_EQ(deviceSize(QSize(1024, 768), 1.25), QSize(1280, 960));
}

TEST(DevicePixels, ARotatedPainterIsLeftAlone) {
    QImage surface(60, 60, QImage::Format_RGB32);
    surface.fill(Qt::red);
    QPainter p(&surface);
    p.translate(30, 30);
    p.rotate(90);
    const QTransform before = p.deviceTransform();
    {
        DevicePixelPainter device(p);
        EXPECT_EQ(device.ratio(), 1.0);
    }
    EXPECT_EQ(p.deviceTransform(), before);
}

namespace {

class Lists : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        for (const char* folder : {"a/x", "a/y", "b"})
            QDir(dir.path()).mkpath(QLatin1String(folder));
        for (const char* name : {"a/p2.jpg", "a/p10.jpg", "a/P1.jpg", "a/note.txt", "b/q.jpg"})
            testutil::writeFile(dir, QLatin1String(name), "x");
        files.resize(300, 200);
        files.show();
    }
    QString path(const char* relative) const { return dir.filePath(QLatin1String(relative)); }
    // Lets a listing's worker post its lines, processing no event.
    static void letWorkersFinish() { QThread::msleep(300); }

    QTemporaryDir dir;
    FileList files;
};

} // namespace

TEST_F(Lists, AListingAbandonedByAFolderChangeNeverShows) {
    QSignalSpy listed(&files, &FileList::listed);
    files.setPattern(QStringLiteral("*.jpg"));
    files.setPath(path("a"));
    EXPECT_TRUE(files.isListing());
    EXPECT_EQ(files.listCount(), 0); // nothing until the names are sorted
    letWorkersFinish();
    files.setPath(path("b")); // the lines of a, waiting to be taken, are dropped
    ASSERT_TRUE(testutil::waitListed(&files));
    EXPECT_EQ(files.names(), QStringList{QStringLiteral("q.jpg")});
    QTest::qWait(50);
    EXPECT_EQ(listed.count(), 1);

    // The rows of another pattern go at once, too.
    files.setPath(path("a"));
    ASSERT_TRUE(testutil::waitListed(&files));
    EXPECT_EQ(files.names(), QStringList({"P1.jpg", "p2.jpg", "p10.jpg"}));
    files.setPattern(QStringLiteral("*.txt"));
    EXPECT_EQ(files.listCount(), 0);
    ASSERT_TRUE(testutil::waitListed(&files));
    EXPECT_EQ(files.names(), QStringList{QStringLiteral("note.txt")});
}

TEST_F(Lists, ARefreshKeepsTheLinesAndTheSelectionUntilTheNewOnesCome) {
    files.setSelectionMode(QAbstractItemView::ExtendedSelection);
    files.setPath(path("a"));
    ASSERT_TRUE(testutil::waitListed(&files));
    ASSERT_TRUE(testutil::clickName(&files, QStringLiteral("p2.jpg")));
    ASSERT_TRUE(testutil::clickName(&files, QStringLiteral("p10.jpg"), Qt::ControlModifier));
    QSignalSpy clicks(&files, &FileList::fileClicked);

    // A file made while the folder is being listed: listed once more.
    files.refresh();
    EXPECT_TRUE(files.isListing());
    EXPECT_EQ(files.viewport()->cursor().shape(), Qt::BusyCursor);
    letWorkersFinish();
    testutil::writeFile(dir, QStringLiteral("a/p3.jpg"), "x");
    files.refresh();
    EXPECT_EQ(files.listCount(), 4);
    EXPECT_EQ(files.selectedNames(), QStringList({"p2.jpg", "p10.jpg"}));
    ASSERT_TRUE(testutil::waitListed(&files));
    EXPECT_EQ(files.names(), QStringList({"note.txt", "P1.jpg", "p2.jpg", "p3.jpg", "p10.jpg"}));
    // The same files selected, the same line current, nothing opened.
    EXPECT_EQ(files.selectedNames(), QStringList({"p2.jpg", "p10.jpg"}));
    EXPECT_EQ(files.nameAt(files.currentRow()), QStringLiteral("p10.jpg"));
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_FALSE(files.viewport()->testAttribute(Qt::WA_SetCursor));
}

TEST_F(Lists, ANameAskedForIsSelectedWhenItsLineComes) {
    QSignalSpy clicks(&files, &FileList::fileClicked);
    files.setPath(path("a"));
    files.selectWhenListed(QStringLiteral("p10.jpg"));
    EXPECT_TRUE(files.fileName().isEmpty());
    ASSERT_TRUE(testutil::waitListed(&files));
    EXPECT_EQ(files.fileName(), QStringLiteral("p10.jpg"));
    EXPECT_EQ(clicks.count(), 0);

    // A file made after the listing: the folder is listed again for it.
    testutil::writeFile(dir, QStringLiteral("a/new.jpg"), "x");
    files.selectWhenListed(QStringLiteral("new.jpg"));
    EXPECT_TRUE(files.isListing());
    ASSERT_TRUE(testutil::waitListed(&files));
    EXPECT_EQ(files.fileName(), QStringLiteral("new.jpg"));

    // The user picks another line meanwhile: that one stays.
    files.refresh();
    files.selectWhenListed(QStringLiteral("note.txt"));
    const int row = files.rowOf(QStringLiteral("P1.jpg"));
    ASSERT_GE(row, 0);
    QTest::mouseClick(files.viewport(), Qt::LeftButton, {}, files.rowRect(row).center());
    EXPECT_EQ(clicks.count(), 1);
    ASSERT_TRUE(testutil::waitListed(&files));
    EXPECT_EQ(files.fileName(), QStringLiteral("P1.jpg"));
}

TEST_F(Lists, AHundredThousandLinesAtOnce) {
    QStringList names;
    names.reserve(100000);
    for (int i = 0; i < 100000; ++i)
        names << QStringLiteral("IMG_%1.JPG").arg(i, 6, 10, QLatin1Char('0'));
    files.setListing(path("a"), QStringLiteral("*.*"), names);
    EXPECT_EQ(files.listCount(), 100000);
    EXPECT_EQ(files.rowOf(QStringLiteral("IMG_099999.JPG")), 99999);
    EXPECT_TRUE(files.selectName(QStringLiteral("IMG_099999.JPG")));
    EXPECT_TRUE(files.viewport()->rect().intersects(files.rowRect(99999)));
    EXPECT_EQ(files.fileName(), QStringLiteral("IMG_099999.JPG"));
}

TEST_F(Lists, SubfoldersComeAfterTheFolderLine) {
    DirList folders;
    QSignalSpy listed(&folders, &DirList::listed);
    ASSERT_TRUE(folders.setPath(path("a")));
    // The folder and its ancestors at once, the folder current.
    const int depth = int(path("a").count(QLatin1Char('/'))) + 1;
    EXPECT_EQ(folders.count(), depth);
    EXPECT_EQ(folders.highlightedPath(), path("a"));
    EXPECT_TRUE(folders.isListing());
    letWorkersFinish();
    // Another folder before the subfolders were taken: they never show.
    ASSERT_TRUE(folders.setPath(dir.path()));
    ASSERT_TRUE(testutil::waitListed(&folders));
    EXPECT_EQ(listed.count(), 1);
    ASSERT_EQ(folders.count(), depth + 1);
    EXPECT_EQ(folders.text(depth - 1).trimmed(), QStringLiteral("a"));
    EXPECT_EQ(folders.text(depth), QString((depth - 1) * 2, QLatin1Char(' ')) + "b");
    EXPECT_EQ(folders.highlightedPath(), dir.path());
    EXPECT_FALSE(folders.setPath(path("missing")));
    EXPECT_EQ(folders.path(), dir.path());
}

namespace {

bool openFile(MMControl& mm, const QString& type, const QString& path, QString* error = nullptr) {
    mm.setDeviceType(type);
    mm.setFileName(path);
    return mm.sendCommand(QStringLiteral("Open"), error);
}

bool seekTo(MMControl& mm, qint64 ms) {
    mm.setTo(ms);
    return mm.sendCommand(QStringLiteral("Seek"));
}

} // namespace

TEST(MMControl, EveryWaveEncodingPlaysToTheEnd) {
    const struct {
        const char* file;
        qint64 lengthMs;
    } tones[] = {{"tone_s16.wav", 1000},  {"tone_u8.wav", 1000},  {"tone_s24.wav", 1000},
                 {"tone_f32.wav", 1000},  {"tone_ima.wav", 1008}, {"tone_ms.wav", 1010},
                 {"tone_ulaw.wav", 1000}, {"tone_alaw.wav", 1000}};
    QTemporaryDir dir;
    for (const auto& t : tones) {
        SCOPED_TRACE(t.file);
        const QString path = testutil::copyFixture(dir, QStringLiteral("media/") + t.file);
        {
            MMControl mm;
            QString error;
            ASSERT_TRUE(openFile(mm, "WaveAudio", path, &error)) << error.toStdString();
            EXPECT_EQ(mm.length(), t.lengthMs);
            QSignalSpy done(&mm, &MMControl::done);
            mm.button(Button::Play)->click();
            ASSERT_TRUE(done.wait(5000));
            EXPECT_EQ(mm.position(), t.lengthMs);
        }
        const mediatest::Capture c = mediatest::readCapture();
        const size_t from = mediatest::firstSound(c.left);
        const size_t to = mediatest::endOfSound(c.left);
        ASSERT_LT(from, to) << "nothing reached the output";
        EXPECT_GT(mediatest::ms(to - from), 985);
        EXPECT_LT(mediatest::ms(to - from), t.lengthMs + 5);
        // The middle of the tone: 440 Hz at half scale, same on both sides.
        const size_t mid = from + mediatest::kRate / 10;
        const size_t len = mediatest::kRate * 8 / 10;
        EXPECT_NEAR(mediatest::toneFrequency(c.left, mid, len), 440, 3);
        EXPECT_NEAR(mediatest::rms(c.left, mid, len), 11585, 800);
        EXPECT_NEAR(mediatest::rms(c.right, mid, len), mediatest::rms(c.left, mid, len), 50);
    }
}

TEST(MMControl, DamagedFilesAreRefusedAtOpen) {
    QTemporaryDir dir;
    QList<std::pair<QString, QString>> bad; // device type, file
    for (const char* name :
         {"bad_empty.wav", "bad_fmt_chunk.wav", "bad_garbage_header.wav", "bad_header_only.wav",
          "bad_mp3tag_pcmdata.wav", "bad_text.wav", "bad_truncated_data.wav",
          "bad_truncated_header.wav", "bad_unknown_codec.wav"})
        bad.append({"WaveAudio", testutil::copyFixture(dir, QStringLiteral("media/") + name)});
    bad.append({"Sequencer", dir.filePath("missing.mid")}); // (damaged MIDI: see the parser)
    MMControl mm;
    for (const auto& [type, path] : bad) {
        SCOPED_TRACE(path.toStdString());
        QString error;
        EXPECT_FALSE(openFile(mm, type, path, &error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(mm.mode(), Mode::NotOpen);
    }
    // A streaming writer's placeholder size is not damage.
    EXPECT_TRUE(openFile(mm, "WaveAudio", testutil::fixture("media/odd_huge_datasize.wav")));
    EXPECT_EQ(mm.length(), 1000);
}

TEST(MMControl, CommandsInAnyCaseButtonsAndModes) {
    MMControl mm;
    auto enabled = [&] {
        QString s;
        for (int b = 0; b < 9; ++b)
            s += mm.button(Button(b))->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
        return s.toStdString();
    };
    //                 prev next play pause back step stop rec eject
    EXPECT_EQ(enabled(), "000000000");
    EXPECT_FALSE(mm.sendCommand(QStringLiteral("play"))); // nothing open
    mm.setDeviceType(QStringLiteral("wAVEaUDIO"));
    mm.setFileName(testutil::fixture("media/tone_s16.wav"));
    EXPECT_TRUE(mm.command(QStringLiteral("OPEN")));
    EXPECT_EQ(enabled(), "111000000");
    QSignalSpy modes(&mm, &MMControl::modeChanged);
    const struct {
        const char* command;
        Mode mode;
        const char* buttons;
    } steps[] = {{"pLaY", Mode::Playing, "110100100"},
                 {"PAUSE", Mode::Paused, "111100100"},
                 {"pause", Mode::Playing, "110100100"}, // again: resumes
                 {"Stop", Mode::Stopped, "111000000"}};
    std::optional<mediatest::HeldOutput> held; // the tone cannot end while it plays here
    for (const auto& step : steps) {
        SCOPED_TRACE(step.command);
        if (step.mode == Mode::Playing)
            held.emplace();
        EXPECT_TRUE(mm.setCommand(QLatin1String(step.command)));
        EXPECT_EQ(mm.mode(), step.mode);
        EXPECT_EQ(enabled(), step.buttons);
        if (step.mode == Mode::Playing)
            continue;
        held.reset();
        const qint64 at = mm.position(); // paused or stopped, it holds
        QTest::qWait(30);
        EXPECT_EQ(mm.position(), at);
    }
    EXPECT_EQ(modes.count(), 4);
    // The buttons run the same commands, each telling its owner first.
    for (const auto& [button, told, mode] :
         {std::tuple{Button::Play, &MMControl::playClicked, Mode::Playing},
          {Button::Pause, &MMControl::pauseClicked, Mode::Paused},
          {Button::Stop, &MMControl::stopClicked, Mode::Stopped}}) {
        if (mode == Mode::Playing)
            held.emplace();
        QSignalSpy spy(&mm, told);
        mm.button(button)->click();
        EXPECT_EQ(std::pair(spy.count(), mm.mode()), std::pair(qsizetype(1), mode));
        if (mode != Mode::Playing)
            held.reset();
    }

    EXPECT_TRUE(seekTo(mm, 250));
    EXPECT_EQ(mm.position(), 250);
    EXPECT_FALSE(seekTo(mm, 1001)); // past the end
    EXPECT_TRUE(mm.sendCommand(QStringLiteral("Prev")));
    EXPECT_EQ(mm.position(), 0);
    EXPECT_TRUE(mm.sendCommand(QStringLiteral("NEXT"))); // one track: to the end
    EXPECT_EQ(mm.position(), 1000);
    for (const char* refused : {"Fly", "Record", "step", "BACK", "Eject"}) {
        EXPECT_FALSE(mm.sendCommand(QLatin1String(refused))) << refused;
        EXPECT_FALSE(mm.lastError().isEmpty()) << refused;
    }
    EXPECT_FALSE(mm.setTimeFormat(2));
    EXPECT_TRUE(mm.setProperty("Command", QStringLiteral("Close")));
    EXPECT_EQ(enabled(), "000000000");
    EXPECT_TRUE(mm.sendCommand(QStringLiteral("Close"))); // closing again is harmless
    mm.setDeviceType(QStringLiteral("Videodisc"));
    EXPECT_FALSE(mm.sendCommand(QStringLiteral("Open")));
    // The type may be left empty: the file's extension chooses.
    EXPECT_TRUE(openFile(mm, QString(), testutil::fixture("media/scale_tempo_change.mid")));
    EXPECT_EQ(mm.length(), 6000);
}

TEST(MMControl, EndOfPlaybackRewindsWithoutFurtherNotification) {
    // The main window's way: notification off, waiting on; on done(1) it
    // sends "prev" then "seek".
    MMControl mm;
    mm.setWait(true);
    QSignalSpy done(&mm, &MMControl::done);
    int rewinds = 0;
    QObject::connect(&mm, &MMControl::done, &mm, [&](int code) {
        if (code != 1)
            return;
        ++rewinds;
        mm.sendCommand(QStringLiteral("prev"));
        mm.sendCommand(QStringLiteral("seek"));
    });
    ASSERT_TRUE(openFile(mm, "WaveAudio", testutil::fixture("media/tone_u8.wav")));
    EXPECT_FALSE(mm.wait()); // held for that one command
    mm.button(Button::Play)->click();
    ASSERT_TRUE(done.wait(5000));
    QTest::qWait(100);
    EXPECT_EQ(done.count(), 1);
    EXPECT_EQ(rewinds, 1);
    EXPECT_EQ(mm.position(), 0);
    EXPECT_EQ(mm.mode(), Mode::Stopped);
    EXPECT_TRUE(mm.button(Button::Play)->isEnabled());
    // "Play" sent with Wait on returns while playing: the window is never
    // held up; the end is reported as before.
    mm.setWait(true);
    {
        const mediatest::HeldOutput held;
        ASSERT_TRUE(mm.sendCommand(QStringLiteral("Play")));
        EXPECT_EQ(mm.mode(), Mode::Playing);
    }
    ASSERT_TRUE(testutil::waitUntil([&] { return rewinds == 2; }, 5000));
}

TEST(MMControl, NotifyHoldsForOneCommandAndLoopsMusic) {
    // The slideshow's way: notification on for "Open" and for "play"; each
    // done(1) sends "prev", "seek", "play", so the music starts again.
    MMControl mm;
    QSignalSpy done(&mm, &MMControl::done);
    int restarts = 0;
    QObject::connect(&mm, &MMControl::done, &mm, [&](int code) {
        if (code != 1 || ++restarts > 3)
            return;
        mm.sendCommand(QStringLiteral("prev"));
        mm.sendCommand(QStringLiteral("seek"));
        mm.sendCommand(QStringLiteral("play"));
    });
    mm.setNotify(true);
    ASSERT_TRUE(openFile(mm, "Sequencer", testutil::fixture("media/scale_tempo_change.mid")));
    EXPECT_FALSE(mm.notify());
    mm.setNotify(true);
    ASSERT_TRUE(mm.sendCommand(QStringLiteral("play")));
    // done(1) for the open, then one per time the music ran out.
    ASSERT_TRUE(testutil::waitUntil([&] { return done.count() == 4; }, 30000));
    EXPECT_EQ(mm.mode(), Mode::Stopped);
    EXPECT_EQ(mm.position(), 6000);
    // Without Notify a command completes silently.
    EXPECT_TRUE(mm.sendCommand(QStringLiteral("Seek")));
    QTest::qWait(100);
    EXPECT_EQ(done.count(), 4);
}

TEST(MMControl, AudioDiscImage) {
    QTemporaryDir dir;
    MMControl mm;
    ASSERT_TRUE(openFile(mm, "CDAudio", mediatest::copyDisc(dir))) << mm.lastError().toStdString();
    EXPECT_EQ(mm.tracks(), 3);
    EXPECT_EQ(mm.length(), 6507);
    ASSERT_TRUE(mm.setTrack(2));
    EXPECT_EQ(std::tuple(mm.trackLength(), mm.trackPosition(), mm.position()),
              std::tuple(3000, 2000, 2000));
    EXPECT_FALSE(mm.setTrack(4));

    // Seek into track 3, play, watch the position and the status timer.
    ASSERT_TRUE(seekTo(mm, 5500));
    EXPECT_EQ(mm.track(), 3);
    EXPECT_EQ(mm.position() - mm.trackPosition(), 500);
    QSignalSpy status(&mm, &MMControl::statusUpdate);
    QSignalSpy done(&mm, &MMControl::done);
    mm.setUpdateInterval(20);
    mm.button(Button::Play)->click();
    ASSERT_TRUE(done.wait(5000));
    EXPECT_EQ(mm.position(), 6507);
    ASSERT_TRUE(testutil::waitUntil([&] { return status.count() >= 2; }, 2000));
    mm.setUpdateInterval(0);
    status.clear();
    QTest::qWait(60);
    EXPECT_EQ(status.count(), 0);

    // Prev near a track's start goes to the one before; next moves on.
    for (const auto& [from, command, to] : {std::tuple{2500, "prev", 0},
                                            {0, "next", 2000},
                                            {2000, "next", 5000},
                                            {4800, "prev", 2000}}) {
        ASSERT_TRUE(seekTo(mm, from) && mm.sendCommand(QLatin1String(command)));
        EXPECT_EQ(mm.position(), to) << from << command;
    }

    // The eject button reports, ejects and the device is closed.
    QSignalSpy ejected(&mm, &MMControl::ejectClicked);
    mm.button(Button::Eject)->click();
    EXPECT_EQ(ejected.count(), 1);
    EXPECT_EQ(mm.mode(), Mode::NotOpen);
    bool ok = true; // values cannot be read now, and that is said
    mm.tracks(&ok);
    EXPECT_FALSE(ok || mm.lastError().isEmpty());
    // What was played: the rest of track 3, from 5500 ms to the end at
    // 6507 ms; its 880 Hz tone stops at 6500 (the last sector is padded),
    // opposite in phase on the right.
    const mediatest::Capture c = mediatest::readCapture();
    const size_t from = mediatest::firstSound(c.left);
    const size_t to = mediatest::endOfSound(c.left);
    ASSERT_LT(from, to);
    EXPECT_NEAR(mediatest::ms(to - from), 1000, 10);
    EXPECT_NEAR(mediatest::toneFrequency(c.left, from, to - from), 876, 8);
    EXPECT_NEAR(c.left[from + 100], -c.right[from + 100], 2);

    // The disc can be loaded again, also when only the environment names it.
    qputenv("LUMENTA_CD_DEVICE", mm.fileName().toLocal8Bit());
    EXPECT_TRUE(openFile(mm, "CDAudio", QString())) << mm.lastError().toStdString();
    EXPECT_EQ(mm.tracks(), 3);
    qputenv("LUMENTA_CD_DEVICE", QFile::encodeName(dir.filePath("gone.cue")));
    EXPECT_FALSE(mm.sendCommand(QStringLiteral("Open")));
    qunsetenv("LUMENTA_CD_DEVICE");
}
