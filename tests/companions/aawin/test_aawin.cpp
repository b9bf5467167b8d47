// The animation player: FLIC files built chunk by chunk, decoded directly
// and by the aawin program.
#include "companions/aawin/animationwindow.h"
#include "companions/aawin/flicdecoder.h"
#include "support/testutil.h"

#include <QAccessible>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumenta;

namespace {

// Chunk types.
enum { Color256 = 4, DeltaFlc = 7, Color64 = 11, LineCompressed = 12 };
enum { Black = 13, ByteRun = 15, Copy = 16 };

// v as n little-endian bytes.
QByteArray le(qint64 v, int n = 2) {
    QByteArray b;
    for (int i = 0; i < n; ++i)
        b.append(char(v >> (8 * i)));
    return b;
}

QByteArray raw(std::initializer_list<int> values) {
    QByteArray b;
    for (int v : values)
        b.append(char(v));
    return b;
}

QByteArray chunk(int type, const QByteArray& data) {
    return le(6 + data.size(), 4) + le(type) + data;
}

// One palette packet: RGB entries from `first` on (COLOR_64 takes 0..63 levels).
QByteArray palette(int type, int first, const QByteArray& rgb) {
    return chunk(type, le(1) + char(first) + char(rgb.size() / 3) + rgb);
}

struct Flic {
    bool flc = false;
    int width = 32, height = 24, depth = 8;
    qint64 speed = 7;   // FLI: 1/70 s ticks; FLC: milliseconds
    int announced = -1; // the header's frame count; -1: the frames added
    QList<QByteArray> frames;

    void add(const QList<QByteArray>& subChunks) {
        frames << chunk(0xF1FA, le(subChunks.size()) + QByteArray(8, '\0') + subChunks.join());
    }
    QByteArray bytes() const {
        const QByteArray body = frames.join();
        const QByteArray header = le(128 + body.size(), 4) + le(flc ? 0xAF12 : 0xAF11) +
                                  le(announced >= 0 ? announced : frames.size()) + le(width) +
                                  le(height) + le(depth) + le(3) + le(speed, flc ? 4 : 2);
        return header.leftJustified(128, '\0') + body;
    }
};

// 32x24 FLI at 7 ticks (100 ms): red; a green band on lines 8-15; then all
// colour 0 after colour 0 itself changed.
Flic threeFrameFli() {
    // Each line one packet: 32 times colour 1; from line 8, 8 lines with one
    // packet each: no skip, 32 times colour 2.
    const QByteArray brun = raw({1, 32, 1}).repeated(24);
    const QByteArray lc = le(8) + le(8) + raw({1, 0, -32, 2}).repeated(8);
    Flic f;
    f.add({palette(Color64, 0, raw({21, 21, 63, 63, 0, 0, 0, 42, 0})), chunk(ByteRun, brun)});
    f.add({chunk(LineCompressed, lc)});
    f.add({palette(Color64, 0, raw({42, 0, 42})), chunk(Black, {})});
    return f;
}

// 32x24 FLC at 40 ms: left/right halves, lines 4-5 repainted, an empty
// frame, and the ring frame (all colour 9) that the header does not count.
Flic fourFrameFlc() {
    const QByteArray halves = (QByteArray(16, char(5)) + QByteArray(16, char(6))).repeated(24);
    // Two lines after skipping four, each one packet: 16 times the word 7 7.
    const QByteArray delta = le(2) + le(-4) + (le(1) + raw({0, -16, 7, 7})).repeated(2);
    Flic f{.flc = true, .speed = 40, .announced = 3};
    f.add({palette(Color256, 5, raw({10, 20, 30, 200, 100, 50, 1, 2, 3, 0, 0, 0, 255, 255, 0})),
           chunk(Copy, halves)});
    f.add({chunk(DeltaFlc, delta)});
    f.add({});
    f.add({chunk(Copy, QByteArray(32 * 24, char(9)))});
    return f;
}

constexpr QRgb kRed = 0xFFFF0000;
constexpr QRgb kGreen = 0xFF00AA00;
constexpr QRgb kPurple = 0xFFAA00AA;

// Every pixel of `line` in `img` equals `colour`.
bool lineIs(const QImage& img, int line, QRgb colour) {
    for (int x = 0; x < img.width(); ++x)
        if (img.pixel(x, line) != colour)
            return false;
    return true;
}

struct Decoded {
    QList<QImage> frames;
    FlicSummary summary;
    QString error;
};

Decoded decode(const Flic& f) {
    QTemporaryDir dir;
    Decoded d;
    const QString path = testutil::writeFile(dir, f.flc ? "a.flc" : "a.fli", f.bytes());
    auto keep = [&](int, const QImage& frame) {
        d.frames << frame;
        return true;
    };
    decodeFlicFrames(path, keep, d.summary, d.error);
    return d;
}

struct ProgramRun {
    bool started = false, finished = false; // finished within the time allowed
    int exitCode = -1;                      // also after a crash
    QString out, err;
};

// Runs aawin (offscreen); kills it when it runs too long.
ProgramRun runAawin(const QStringList& args, int timeoutMs = 30000) {
    QProcess p;
    p.start(testutil::builtProgram("bin/aawin"), args);
    ProgramRun r{p.waitForStarted(10000)};
    r.finished = r.started && p.waitForFinished(timeoutMs);
    if (!r.finished)
        p.kill();
    else if (p.exitStatus() == QProcess::NormalExit)
        r.exitCode = p.exitCode();
    p.waitForFinished(5000);
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

class AawinProgram : public ::testing::Test {
protected:
    QTemporaryDir dir;
};

} // namespace

TEST(FlicDecoder, FliAndSixteenBitFramesColoursAndPace) {
    const Decoded d = decode(threeFrameFli());
    ASSERT_EQ(d.frames.size(), 3) << d.error.toStdString();
    EXPECT_EQ(d.summary.size, QSize(32, 24));
    EXPECT_DOUBLE_EQ(d.summary.frameDurationMs, 100.0);
    // The line-compressed delta changes lines 8-15 and keeps the rest. BLACK
    // paints colour 0, which that frame's palette made purple (42 -> 170).
    for (int y = 0; y < 24; ++y) {
        EXPECT_TRUE(lineIs(d.frames[0], y, kRed)) << "frame 0 line " << y;
        EXPECT_TRUE(lineIs(d.frames[1], y, y >= 8 && y < 16 ? kGreen : kRed))
            << "frame 1 line " << y;
        EXPECT_TRUE(lineIs(d.frames[2], y, kPurple)) << "frame 2 line " << y;
    }
    // "16-bit" FLIC pixels are 5-5-5.
    Flic deep{.flc = true, .width = 8, .height = 4, .depth = 16};
    deep.add({chunk(Copy, le(0x7C00).repeated(16) + le(0x001F).repeated(16))}); // red, blue
    const Decoded d16 = decode(deep);
    ASSERT_EQ(d16.frames.size(), 1) << d16.error.toStdString();
    EXPECT_EQ(d16.frames[0].pixel(7, 1), qRgb(255, 0, 0));
    EXPECT_EQ(d16.frames[0].pixel(0, 2), qRgb(0, 0, 255));
}

TEST(FlicDecoder, FlcStopsBeforeRingFrameAndRewinds) {
    QTemporaryDir dir;
    FlicDecoder decoder;
    ASSERT_TRUE(decoder.open(testutil::writeFile(dir, "ring.flc", fourFrameFlc().bytes())));
    EXPECT_EQ(decoder.frameCount(), 3);
    EXPECT_DOUBLE_EQ(decoder.frameDurationMs(), 40.0);
    QList<QImage> frames;
    QImage f;
    while (decoder.readFrame(f))
        frames << f;
    ASSERT_EQ(frames.size(), 3);
    EXPECT_TRUE(decoder.error().isEmpty());
    EXPECT_EQ(frames[0].pixel(0, 0), qRgb(10, 20, 30));
    EXPECT_EQ(frames[0].pixel(31, 23), qRgb(200, 100, 50));
    for (int y = 0; y < 24; ++y) {
        const bool repainted = y == 4 || y == 5;
        EXPECT_EQ(frames[1].pixel(3, y), repainted ? qRgb(1, 2, 3) : qRgb(10, 20, 30)) << y;
        EXPECT_EQ(frames[1].pixel(20, y), repainted ? qRgb(1, 2, 3) : qRgb(200, 100, 50)) << y;
    }
    EXPECT_EQ(frames[2], frames[1]); // an empty frame repeats the previous one
    // Looping starts again from the first frame, not from the ring frame.
    ASSERT_TRUE(decoder.rewind());
    EXPECT_EQ(decoder.framesRead(), 0);
    ASSERT_TRUE(decoder.readFrame(f));
    EXPECT_EQ(f, frames[0]);
}

TEST(FlicDecoder, FrameStartsDoNotDrift) {
    // 5 ticks = 71.43 ms: whole-millisecond frame times alternate 71 and 72.
    const double ms = 5 * 1000.0 / 70.0;
    QList<qint64> durations;
    for (int i = 0; i < 7; ++i)
        durations << FlicDecoder::frameStartMs(i + 1, ms) - FlicDecoder::frameStartMs(i, ms);
    EXPECT_EQ(durations, (QList<qint64>{71, 72, 71, 72, 71, 72, 71}));
    EXPECT_EQ(FlicDecoder::frameStartMs(70, ms), 5000);
}

TEST(FlicDecoder, RefusesBrokenFilesAndStopsAtADamagedTail) {
    QTemporaryDir dir;
    FlicDecoder decoder;
    EXPECT_FALSE(decoder.open(dir.filePath("absent.fli")));
    EXPECT_FALSE(decoder.error().isEmpty());
    const Flic noFrames{.announced = 5}; // a header announcing frames that are not there
    const QByteArray cut = threeFrameFli().bytes().left(128 + 40); // the first frame cut short
    for (const QByteArray& file : {QByteArray(700, 'x'), QByteArray(), noFrames.bytes(), cut})
        EXPECT_FALSE(decoder.open(testutil::writeFile(dir, "bad.fli", file))) << file.size();
    EXPECT_FALSE(decoder.isOpen());
    QImage frame;
    EXPECT_FALSE(decoder.readFrame(frame));
    // A chunk of zero bytes after the first frame: nothing after it is trusted.
    Flic tail = threeFrameFli();
    tail.frames.insert(1, le(0, 4) + le(0x1234));
    tail.announced = 3;
    const Decoded d = decode(tail);
    ASSERT_EQ(d.frames.size(), 1);
    EXPECT_TRUE(lineIs(d.frames[0], 12, kRed));
}

TEST_F(AawinProgram, FramesOutWritesTheDecodedFramesAndTimingInfoTellsThePace) {
    const struct {
        const char* name;
        Flic flic;
        QByteArray timing;
    } cases[] = {{"three.fli", threeFrameFli(), "100\n100\n100\n"},
                 {"ring.flc", fourFrameFlc(), "40\n40\n40\n"}}; // no ring frame
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = testutil::writeFile(dir, c.name, c.flic.bytes());
        const QDir out(dir.filePath(c.name + QStringLiteral(".frames/out"))); // made by the program
        const ProgramRun r = runAawin({"--frames-out", out.path(), file});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        const QStringList pngs = out.entryList({"*.png"}, QDir::Files, QDir::Name);
        EXPECT_EQ(pngs, (QStringList{"frame0000.png", "frame0001.png", "frame0002.png"}));
        const QList<QImage> frames = decode(c.flic).frames;
        for (int i = 0; i < pngs.size() && i < frames.size(); ++i)
            EXPECT_EQ(QImage(out.filePath(pngs[i])).convertToFormat(QImage::Format_RGB32),
                      frames[i].convertToFormat(QImage::Format_RGB32))
                << i;
        EXPECT_EQ(testutil::readFile(out.filePath("timing.txt")), c.timing);
    }
    const ProgramRun info = runAawin({"--info", dir.filePath("ring.flc")});
    ASSERT_EQ(info.exitCode, 0) << info.err.toStdString();
    EXPECT_EQ(info.out,
              QStringLiteral("images : 3\ntaille : 32x24\ndurée d'une image : 40.00 ms\n"));
}

TEST_F(AawinProgram, UnreadableFilesExitWithOne) {
    Flic damaged = threeFrameFli();
    damaged.frames.prepend(le(2, 4) + le(0x4321));
    for (const QString& path :
         {dir.filePath("absent.fli"), testutil::writeFile(dir, "junk.flc", QByteArray(4000, 'x')),
          testutil::writeFile(dir, "damaged.fli", damaged.bytes())}) {
        const ProgramRun r = runAawin({"--frames-out", dir.filePath("x"), path});
        EXPECT_EQ(r.exitCode, 1) << path.toStdString();
        EXPECT_TRUE(r.err.contains("Impossible de lire l'animation : " + path))
            << r.err.toStdString();
        EXPECT_TRUE(QDir(dir.filePath("x")).entryList({"*.png"}).isEmpty());
    }
    EXPECT_EQ(runAawin({"--info"}).exitCode, 1); // no file named
}

TEST_F(AawinProgram, WindowKeepsPlayingUntilClosed) {
    // Three 100 ms frames: after a second, three loops, the player still runs.
    const ProgramRun r =
        runAawin({testutil::writeFile(dir, "loop.fli", threeFrameFli().bytes())}, 1200);
    EXPECT_TRUE(r.started && !r.finished) << r.err.toStdString();
}

TEST(AnimationWindow, IsAFrameNamedAfterTheFileToAssistiveTechnologies) {
    QTemporaryDir dir;
    const QString path = testutil::writeFile(dir, "boucle.fli", threeFrameFli().bytes());
    auto decoder = std::make_unique<FlicDecoder>();
    QImage first;
    ASSERT_TRUE(decoder->open(path) && decoder->readFrame(first));
    aawin::AnimationWindow window(std::move(decoder), first);
    window.show();
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(&window);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::Window);
    EXPECT_EQ(iface->text(QAccessible::Name), QStringLiteral("boucle.fli"));
}
