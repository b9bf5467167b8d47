// The animation player: FLIC files built here chunk by chunk, decoded by
// FlicDecoder directly and by the aawin program.
#include "platform/flicdecoder.h"
#include "support/testutil.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumenta;

namespace {

// --- FLIC writer ----------------------------------------------------------

enum ChunkType {
    Color256 = 4,
    DeltaFlc = 7,
    Color64 = 11,
    LineCompressed = 12,
    Black = 13,
    ByteRun = 15,
    Copy = 16,
};

void put8(QByteArray& b, int v) {
    b.append(char(v & 0xFF));
}

void put16(QByteArray& b, int v) {
    put8(b, v);
    put8(b, v >> 8);
}

void put32(QByteArray& b, quint32 v) {
    put16(b, int(v & 0xFFFF));
    put16(b, int(v >> 16));
}

QByteArray chunk(int type, const QByteArray& data) {
    QByteArray c;
    put32(c, quint32(6 + data.size()));
    put16(c, type);
    return c + data;
}

struct Rgb {
    int r, g, b;
};

// One palette packet: entries from `first` on. COLOR_64 takes 0..63 levels.
QByteArray palette(int type, int first, const QList<Rgb>& colours) {
    QByteArray d;
    put16(d, 1);
    put8(d, first);
    put8(d, int(colours.size()) & 0xFF);
    for (const Rgb& c : colours) {
        put8(d, c.r);
        put8(d, c.g);
        put8(d, c.b);
    }
    return chunk(type, d);
}

// BRUN: every line one run of `index`.
QByteArray byteRunSolid(int width, int height, int index) {
    QByteArray d;
    for (int y = 0; y < height; ++y) {
        put8(d, 1);
        put8(d, width); // positive: repeat the next byte
        put8(d, index);
    }
    return chunk(ByteRun, d);
}

// LC: lines [first, first + count) painted with `index`.
QByteArray lineCompressed(int width, int first, int count, int index) {
    QByteArray d;
    put16(d, first);
    put16(d, count);
    for (int y = 0; y < count; ++y) {
        put8(d, 1);      // packets
        put8(d, 0);      // skip
        put8(d, -width); // negative: repeat the next byte
        put8(d, index);
    }
    return chunk(LineCompressed, d);
}

// DELTA_FLC: `skip` lines left alone, then `count` lines painted with `index`.
QByteArray deltaFlc(int width, int skip, int count, int index) {
    QByteArray d;
    put16(d, count);
    if (skip > 0)
        put16(d, -skip); // line-skip word
    for (int y = 0; y < count; ++y) {
        put16(d, 1);         // packets
        put8(d, 0);          // skip
        put8(d, -width / 2); // negative: repeat the next word
        put8(d, index);
        put8(d, index);
    }
    return chunk(DeltaFlc, d);
}

struct FlicFile {
    quint16 magic = 0xAF11;
    int width = 32;
    int height = 24;
    int depth = 8;
    quint32 speed = 7;  // FLI: 1/70 s ticks; FLC: milliseconds
    int announced = -1; // header frame count; -1: the frames added
    QList<QByteArray> frames;

    void addFrame(const QList<QByteArray>& subChunks) {
        QByteArray d;
        put16(d, int(subChunks.size()));
        d.append(QByteArray(8, '\0'));
        for (const QByteArray& s : subChunks)
            d += s;
        frames << chunk(0xF1FA, d);
    }

    QByteArray bytes() const {
        QByteArray body;
        for (const QByteArray& f : frames)
            body += f;
        QByteArray h;
        put32(h, quint32(128 + body.size()));
        put16(h, magic);
        put16(h, announced >= 0 ? announced : int(frames.size()));
        put16(h, width);
        put16(h, height);
        put16(h, depth);
        put16(h, 3); // flags
        if (magic == 0xAF11)
            put16(h, int(speed));
        else
            put32(h, speed);
        h.append(QByteArray(128 - h.size(), '\0'));
        return h + body;
    }
};

// 32x24 FLI at 7 ticks (100 ms): red; a green band on lines 8-15; then all
// colour 0 after colour 0 itself changed.
FlicFile threeFrameFli() {
    FlicFile f;
    f.addFrame(
        {palette(Color64, 0, {{21, 21, 63}, {63, 0, 0}, {0, 42, 0}}), byteRunSolid(32, 24, 1)});
    f.addFrame({lineCompressed(32, 8, 8, 2)});
    f.addFrame({palette(Color64, 0, {{42, 0, 42}}), chunk(Black, {})});
    return f;
}

// 32x24 FLC at 40 ms: left/right halves, lines 4-5 repainted, an empty
// frame, and the ring frame (all colour 9) that the header does not count.
FlicFile fourChunkFlc() {
    FlicFile f;
    f.magic = 0xAF12;
    f.speed = 40;
    f.announced = 3;
    QByteArray halves;
    for (int y = 0; y < 24; ++y)
        halves += QByteArray(16, char(5)) + QByteArray(16, char(6));
    f.addFrame(
        {palette(Color256, 5, {{10, 20, 30}, {200, 100, 50}, {1, 2, 3}, {0, 0, 0}, {255, 255, 0}}),
         chunk(Copy, halves)});
    f.addFrame({deltaFlc(32, 4, 2, 7)});
    f.addFrame({});
    f.addFrame({chunk(Copy, QByteArray(32 * 24, char(9)))});
    return f;
}

constexpr QRgb kRed = 0xFFFF0000;
constexpr QRgb kGreen = 0xFF00AA00;
constexpr QRgb kPurple = 0xFFAA00AA;

// Every pixel of `line` in `img` equals `colour`.
bool lineIs(const QImage& img, int line, QRgb colour) {
    for (int x = 0; x < img.width(); ++x) {
        if (img.pixel(x, line) != colour)
            return false;
    }
    return true;
}

QList<QImage> decodeAll(const QString& path, FlicSummary& summary, QString& error) {
    QList<QImage> frames;
    auto keep = [&](int, const QImage& f) {
        frames << f;
        return true;
    };
    decodeFlicFrames(path, keep, summary, error);
    return frames;
}

// --- running the program ---------------------------------------------------

struct ProgramRun {
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
};

QString aawinPath() {
    return testutil::builtProgram(QStringLiteral("bin/aawin"));
}

ProgramRun runAawin(const QStringList& args) {
    ProgramRun r;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(aawinPath(), args);
    if (!p.waitForStarted(10000))
        return r;
    r.finished = p.waitForFinished(30000);
    if (!r.finished) {
        p.kill();
        p.waitForFinished(5000);
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

class AawinProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QFileInfo(aawinPath()).isExecutable()) << "build the target aawin first";
    }
    QTemporaryDir dir;
};

} // namespace

// --- the decoder -----------------------------------------------------------

TEST(FlicDecoder, FliFramesColoursAndPace) {
    QTemporaryDir dir;
    const QString path = testutil::writeFile(dir, "three.fli", threeFrameFli().bytes());
    FlicSummary summary;
    QString error;
    const QList<QImage> frames = decodeAll(path, summary, error);
    ASSERT_EQ(frames.size(), 3) << error.toStdString();
    EXPECT_EQ(summary.size, QSize(32, 24));
    EXPECT_DOUBLE_EQ(summary.frameDurationMs, 100.0);

    for (int y = 0; y < 24; ++y)
        EXPECT_TRUE(lineIs(frames[0], y, kRed)) << "frame 0 line " << y;
    // The line-compressed delta changes lines 8-15 and keeps the rest.
    for (int y = 0; y < 24; ++y)
        EXPECT_TRUE(lineIs(frames[1], y, y >= 8 && y < 16 ? kGreen : kRed)) << "frame 1 line " << y;
    // BLACK paints colour 0, which this frame's palette chunk made purple
    // (6-bit levels: 42 -> 170).
    for (int y = 0; y < 24; ++y)
        EXPECT_TRUE(lineIs(frames[2], y, kPurple)) << "frame 2 line " << y;
}

TEST(FlicDecoder, FlcStopsBeforeRingFrameAndRewinds) {
    QTemporaryDir dir;
    const QString path = testutil::writeFile(dir, "ring.flc", fourChunkFlc().bytes());
    FlicDecoder decoder;
    ASSERT_TRUE(decoder.open(path)) << decoder.error().toStdString();
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

TEST(FlicDecoder, SixteenBitFlc) {
    QTemporaryDir dir;
    FlicFile flc;
    flc.magic = 0xAF12;
    flc.depth = 16;
    flc.width = 8;
    flc.height = 4;
    flc.speed = 20;
    // "16-bit" FLIC pixels are 5-5-5: red on the upper half, blue below.
    QByteArray pixels;
    for (int i = 0; i < 16; ++i)
        put16(pixels, 0x7C00);
    for (int i = 0; i < 16; ++i)
        put16(pixels, 0x001F);
    flc.addFrame({chunk(Copy, pixels)});
    const QString path = testutil::writeFile(dir, "deep.flc", flc.bytes());
    FlicSummary summary;
    QString error;
    const QList<QImage> frames = decodeAll(path, summary, error);
    ASSERT_EQ(frames.size(), 1) << error.toStdString();
    EXPECT_EQ(frames[0].pixel(7, 1), qRgb(255, 0, 0));
    EXPECT_EQ(frames[0].pixel(0, 2), qRgb(0, 0, 255));
}

TEST(FlicDecoder, FrameStartsDoNotDrift) {
    // 5 ticks = 71.43 ms: whole-millisecond frame times alternate 71 and 72
    // so that seven frames take exactly half a second.
    const double ms = 5 * 1000.0 / 70.0;
    qint64 total = 0;
    QList<qint64> durations;
    for (int i = 0; i < 7; ++i) {
        durations << FlicDecoder::frameStartMs(i + 1, ms) - FlicDecoder::frameStartMs(i, ms);
        total += durations.last();
    }
    EXPECT_EQ(total, 500);
    EXPECT_EQ(durations, (QList<qint64>{71, 72, 71, 72, 71, 72, 71}));
    EXPECT_EQ(FlicDecoder::frameStartMs(70, ms), 5000);
}

TEST(FlicDecoder, RefusesWhatIsNoAnimation) {
    QTemporaryDir dir;
    FlicDecoder decoder;
    EXPECT_FALSE(decoder.open(dir.filePath("absent.fli")));
    EXPECT_FALSE(decoder.error().isEmpty());
    EXPECT_FALSE(decoder.isOpen());

    QByteArray junk;
    for (int i = 0; i < 700; ++i)
        junk.append(char((i * 37 + 11) & 0xFF));
    EXPECT_FALSE(decoder.open(testutil::writeFile(dir, "junk.fli", junk)));
    EXPECT_FALSE(decoder.open(testutil::writeFile(dir, "empty.flc", QByteArray())));

    // A header announcing frames that are not there.
    FlicFile noFrames;
    noFrames.announced = 5;
    EXPECT_FALSE(decoder.open(testutil::writeFile(dir, "header.fli", noFrames.bytes())));

    // The first frame chunk cut short.
    const QByteArray whole = threeFrameFli().bytes();
    EXPECT_FALSE(decoder.open(testutil::writeFile(dir, "cut.fli", whole.left(128 + 40))));
    QImage frame;
    EXPECT_FALSE(decoder.readFrame(frame)) << "a decoder that failed to open reads nothing";
}

TEST(FlicDecoder, DamagedTailEndsTheAnimation) {
    QTemporaryDir dir;
    FlicFile f = threeFrameFli();
    // A chunk claiming zero bytes after the first frame: what follows it is
    // not trusted.
    QByteArray bad;
    put32(bad, 0);
    put16(bad, 0x1234);
    f.frames.insert(1, bad);
    f.announced = 3;
    const QString path = testutil::writeFile(dir, "tail.fli", f.bytes());
    FlicSummary summary;
    QString error;
    const QList<QImage> frames = decodeAll(path, summary, error);
    ASSERT_EQ(frames.size(), 1);
    EXPECT_TRUE(lineIs(frames[0], 12, kRed));
}

// --- the program -------------------------------------------------------------

TEST_F(AawinProgram, FramesOutWritesPngsAndTiming) {
    const QString fli = testutil::writeFile(dir, "three.fli", threeFrameFli().bytes());
    const QString out = dir.filePath("frames/out"); // made by the program
    const ProgramRun r = runAawin({QStringLiteral("--frames-out"), out, fli});
    ASSERT_TRUE(r.finished);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();

    const QStringList pngs =
        QDir(out).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    EXPECT_EQ(pngs, (QStringList{"frame0000.png", "frame0001.png", "frame0002.png"}));
    const QImage f0(QDir(out).filePath("frame0000.png"));
    const QImage f1(QDir(out).filePath("frame0001.png"));
    const QImage f2(QDir(out).filePath("frame0002.png"));
    ASSERT_EQ(f0.size(), QSize(32, 24));
    EXPECT_EQ(f0.pixel(16, 12), kRed);
    EXPECT_EQ(f1.pixel(16, 7), kRed);
    EXPECT_EQ(f1.pixel(16, 8), kGreen);
    EXPECT_EQ(f1.pixel(0, 15), kGreen);
    EXPECT_EQ(f1.pixel(31, 16), kRed);
    EXPECT_EQ(f2.pixel(5, 5), kPurple);
    EXPECT_EQ(testutil::readFile(QDir(out).filePath("timing.txt")), QByteArray("100\n100\n100\n"));
}

TEST_F(AawinProgram, FramesOutOfFlcAndInfo) {
    const QString flc = testutil::writeFile(dir, "ring.flc", fourChunkFlc().bytes());
    const QString out = dir.filePath("flc");
    const ProgramRun r = runAawin({QStringLiteral("--frames-out"), out, flc});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(testutil::readFile(QDir(out).filePath("timing.txt")), QByteArray("40\n40\n40\n"));
    EXPECT_FALSE(QFileInfo::exists(QDir(out).filePath("frame0003.png")));
    EXPECT_EQ(QImage(QDir(out).filePath("frame0002.png")).pixel(0, 4), qRgb(1, 2, 3));

    const ProgramRun info = runAawin({QStringLiteral("--info"), flc});
    ASSERT_EQ(info.exitCode, 0);
    EXPECT_TRUE(info.out.contains(QStringLiteral("images : 3"))) << info.out.toStdString();
    EXPECT_TRUE(info.out.contains(QStringLiteral("taille : 32x24")));
    EXPECT_TRUE(info.out.contains(QStringLiteral("durée d'une image : 40.00 ms")));
}

TEST_F(AawinProgram, UnreadableFilesExitWithOne) {
    const QString missing = dir.filePath("absent.fli");
    const QString junk = testutil::writeFile(dir, "junk.flc", QByteArray(4000, 'x'));
    FlicFile f = threeFrameFli();
    QByteArray bad;
    put32(bad, 2);
    put16(bad, 0x4321);
    f.frames.prepend(bad);
    const QString damaged = testutil::writeFile(dir, "damaged.fli", f.bytes());
    for (const QString& path : {missing, junk, damaged}) {
        const ProgramRun r = runAawin({QStringLiteral("--frames-out"), dir.filePath("x"), path});
        ASSERT_TRUE(r.finished) << path.toStdString();
        EXPECT_EQ(r.exitCode, 1) << path.toStdString();
        EXPECT_TRUE(r.err.contains(QStringLiteral("Impossible de lire l'animation : ") + path))
            << r.err.toStdString();
        EXPECT_TRUE(QDir(dir.filePath("x")).entryList({"*.png"}).isEmpty());
    }
    const ProgramRun noArgument = runAawin({QStringLiteral("--info")});
    ASSERT_TRUE(noArgument.finished);
    EXPECT_EQ(noArgument.exitCode, 1);
}

TEST_F(AawinProgram, WindowKeepsPlayingUntilClosed) {
    // Three 100 ms frames: one second of play loops through the file three
    // times; the player must still be running then.
    const QString fli = testutil::writeFile(dir, "loop.fli", threeFrameFli().bytes());
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(aawinPath(), {fli});
    ASSERT_TRUE(p.waitForStarted(10000));
    EXPECT_FALSE(p.waitForFinished(1200)) << p.readAllStandardError().toStdString();
    p.kill();
    EXPECT_TRUE(p.waitForFinished(5000));
}
