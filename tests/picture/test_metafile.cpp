// Metafiles: recognition, natural sizes, and rendering through the
// lumenta-mfrender helper, including helpers that hang, crash or lie.
#include "picture/metafile.h"
#include "picturecompare.h"
#include "support/colourtest.h"
#include "support/testutil.h"
#include "support/wmfbuilder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

using namespace lumenta;
using testutil::sampleBytes;
using testutil::WmfBuilder;

namespace {

// A copy of b with a little-endian value written at `at`.
template <typename T> QByteArray patched(QByteArray b, qsizetype at, T value) {
    qToLittleEndian<T>(value, b.data() + at);
    return b;
}

const QRgb kPaper = qRgb(255, 251, 230), kGreen = qRgb(34, 170, 34), kBlue = qRgb(51, 102, 204),
           kPurple = qRgb(153, 0, 153), kRed = qRgb(255, 0, 0), kWhite = qRgb(255, 255, 255);

// Renders a metafile, reporting why when it cannot.
QImage render(const QByteArray& bytes, int timeoutMs = 15000) {
    QString error;
    const QImage img = renderMetafile(bytes, detectMetafile(bytes), &error, timeoutMs);
    EXPECT_FALSE(img.isNull()) << error.toStdString();
    return img;
}

bool near(QRgb a, QRgb b, int tolerance = 40) {
    return picturetest::rgbDistance(a, b) <= tolerance;
}

int countNear(const QImage& img, const QRect& area, QRgb color, int tolerance = 40) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += near(img.pixel(x, y), color, tolerance);
    return n;
}

// Topmost row holding a dark pixel, -1 when there is none.
int topDarkRow(const QImage& img) {
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qGray(img.pixel(x, y)) < 100)
                return y;
    return -1;
}

// A picture whose shapes are filled red, without outline.
WmfBuilder redFilling(int width, int height) {
    WmfBuilder b(width, height);
    b.pen(5, 0, 0);   // PS_NULL
    b.brush(0, kRed); // solid
    b.select(0);
    b.select(1);
    return b;
}

// A PNG of a header claiming 20000 x 20000 pixels, and nearly no data.
QByteArray forgedPng() {
    using colourtest::bigEndian32;
    using colourtest::pngChunk;
    return "\x89PNG\r\n\x1a\n" +
           pngChunk("IHDR",
                    bigEndian32(20000) + bigEndian32(20000) + QByteArray("\x08\x02\0\0\0", 5)) +
           pngChunk("IDAT", QByteArray("\x78\x9c", 2)) + pngChunk("IEND", {});
}

} // namespace

TEST(MetafileDetect, TheThreeHeadersAndNothingElse) {
    // (Whole sample files are recognised on their way to the renderer.)
    const QByteArray emf = sampleBytes("meta/gdi_records.emf");
    const std::pair<QByteArray, MetafileKind> cases[] = {
        {sampleBytes("meta/drawing_copy.EMF").left(64), MetafileKind::Emf},
        // A plain header of Windows 2 (version 0x0100) on a memory metafile (type 2).
        {QByteArray::fromHex("0200090000010000"), MetafileKind::Wmf},
        {{}, MetafileKind::None},
        {QByteArray::fromHex("d7cdc6"), MetafileKind::None}, // cut magic
        {sampleBytes("meta/reference_from_svg.png"), MetafileKind::None},
        {sampleBytes("broken/text_renamed.wmf"), MetafileKind::None},
        {"BM" + QByteArray(60, '\0'), MetafileKind::None},
        // Header size other than 9 words, unknown version, EMF without signature.
        {QByteArray::fromHex("0100080000030000"), MetafileKind::None},
        {QByteArray::fromHex("0100090000020000"), MetafileKind::None},
        {patched<quint8>(emf, 41, 'X'), MetafileKind::None},
        {emf.left(43), MetafileKind::None},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(detectMetafile(cases[i].first), cases[i].second) << "case " << i;
}

TEST(MetafileSize, FromPlaceableBoxEmfFrameAndWindowExtent) {
    struct Case {
        const char* file;
        MetafileKind kind;
        QSize size;
    } cases[] = {
        {"meta/gdi_records.wmf", MetafileKind::Wmf, {640, 400}},      // 9600 twips
        {"meta/inkscape_drawing.wmf", MetafileKind::Wmf, {605, 378}}, // 1200 units/in
        {"meta/gdi_records_nonplaceable.wmf", MetafileKind::Wmf, {9600, 6000}},
        {"meta/inkscape_drawing_nonplaceable.wmf", MetafileKind::Wmf, {7558, 4723}},
        {"meta/gdi_records.emf", MetafileKind::Emf, {640, 400}}, // frame 16932 x 10582
        {"meta/inkscape_drawing.emf", MetafileKind::Emf, {605, 382}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(metafileNaturalSize(sampleBytes(c.file), c.kind), c.size) << c.file;
    // A plain file's window extent comes after other records and may be
    // negative (a flipped axis). Its y is at 18 + 10 + 6 bytes.
    const QByteArray plain = WmfBuilder(300, 200).build(false);
    EXPECT_EQ(metafileNaturalSize(patched<qint16>(plain, 34, -200), MetafileKind::Wmf),
              QSize(300, 200));
}

TEST(MetafileSize, UnusableHeadersGiveNoSize) {
    const QByteArray wmf = sampleBytes("meta/gdi_records.wmf");
    const QByteArray plain = WmfBuilder(300, 200).build(false);
    const std::pair<QByteArray, MetafileKind> cases[] = {
        {sampleBytes("broken/wmf_bbox_huge.wmf"), MetafileKind::Wmf},
        {sampleBytes("broken/emf_frame_huge.emf"), MetafileKind::Emf},
        {sampleBytes("broken/empty.wmf"), MetafileKind::Wmf},
        {sampleBytes("meta/gdi_records.emf").left(39), MetafileKind::Emf},
        {wmf, MetafileKind::None},
        {patched<qint16>(wmf, 14, 0), MetafileKind::Wmf},  // no units per inch
        {patched<qint16>(wmf, 10, -5), MetafileKind::Wmf}, // right < left
        {patched<qint16>(wmf, 12, 0), MetafileKind::Wmf},  // bottom == top
        {patched<qint32>(sampleBytes("meta/gdi_records.emf"), 32, -100),
         MetafileKind::Emf}, // frame
        // Plain files: no window extent before the end record, a zero-sized
        // record, a record running past the end, a cut extent, a zero extent.
        {QByteArray::fromHex("010009000003000000000000000000000000"
                             "0400000002010100030000000000"),
         MetafileKind::Wmf},
        {patched<quint32>(plain, 18, 0), MetafileKind::Wmf},
        {patched<quint32>(plain, 18, 0x7FFFFFF0), MetafileKind::Wmf},
        {plain.left(36), MetafileKind::Wmf},
        {patched<qint16>(plain, 36, 0), MetafileKind::Wmf},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_FALSE(metafileNaturalSize(cases[i].first, cases[i].second).isValid())
            << "case " << i;
}

TEST(MetafileSize, RenderSizeKeepsTheAspectUnderTheCap) {
    EXPECT_EQ(metafileRenderSize({640, 400}), QSize(640, 400));
    EXPECT_EQ(metafileRenderSize({8192, 8192}), QSize(8192, 8192));
    EXPECT_EQ(metafileRenderSize({16384, 100}), QSize(8192, 50));
    EXPECT_EQ(metafileRenderSize({100, 20000}), QSize(41, 8192));
    EXPECT_EQ(metafileRenderSize({kMetafileMaxNaturalSide, 1}), QSize(8192, 1));
    EXPECT_FALSE(metafileRenderSize({0, 10}).isValid());
}

TEST(MetafileRender, GdiSamplesFromTwoThreadsAtOnce) {
    QImage wmf, emf;
    std::thread first([&] { wmf = render(sampleBytes("meta/gdi_records.wmf")); });
    std::thread second([&] { emf = render(sampleBytes("meta/gdi_records.emf")); });
    first.join();
    second.join();
    for (const auto& [kind, img] : {std::pair{"wmf", wmf}, std::pair{"emf", emf}}) {
        SCOPED_TRACE(kind);
        ASSERT_EQ(img.size(), QSize(640, 400));
        EXPECT_TRUE(near(img.pixel(350, 250), kPaper));
        EXPECT_TRUE(near(img.pixel(160, 340), kGreen));
        EXPECT_TRUE(near(img.pixel(540, 300), kBlue)); // decoders alone leave ellipses hollow
        // The diagonal-cross hatch, not a solid fill.
        const QRect hatched(305, 65, 110, 90);
        const int purple = countNear(img, hatched, kPurple);
        EXPECT_GT(purple, 800);
        EXPECT_LT(purple, 110 * 90 / 2);
        EXPECT_GT(countNear(img, hatched, kPaper), 3000);
        // The frame maps the file's box: the bottom border stays at y = 390
        // although the rotated text pokes out below.
        EXPECT_GE(countNear(img, QRect(150, 386, 1, 8), qRgb(0, 0, 0)), 2);
        // The text line, top left.
        EXPECT_GT(countNear(img, QRect(40, 30, 300, 30), qRgb(0, 0, 0), 120), 200);
        // The red line has a 4-unit basic pen; the EMF converter alone draws 1.
        EXPECT_GE(countNear(img, QRect(320, 185, 1, 30), qRgb(204, 0, 0), 110), 4);
    }
}

TEST(MetafileRender, InkscapeEmfKeepsDashesAndOpenCurves) {
    const QImage img = render(sampleBytes("meta/inkscape_drawing.emf"));
    ASSERT_EQ(img.size(), QSize(605, 382));
    // Along the dashed blue line (18.9,18.9)-(283.6,189.1): ink and gaps.
    int ink = 0, gaps = 0;
    for (int i = 10; i < 190; ++i) {
        const double t = i / 200.0;
        const QRgb p = img.pixel(int(18.9 + t * 264.7), int(18.9 + t * 170.2));
        ink += near(p, qRgb(0, 102, 204), 90);
        gaps += near(p, kPaper, 30);
    }
    EXPECT_GT(ink, 40);
    EXPECT_GT(gaps, 40);
    // The purple curve is open: nothing on the chord between its ends.
    EXPECT_EQ(countNear(img, QRect(324, 308, 5, 5), kPurple, 90), 0);
    EXPECT_TRUE(near(img.pixel(510, 284), kBlue)); // ellipse
}

TEST(MetafileRender, WmfTextKeepsAccentedLetters) {
    int top[2] = {}; // topmost ink of plain capitals, then of accented ones
    for (int i = 0; i < 2; ++i) {
        WmfBuilder b(300, 80);
        b.font(40, 0, 400, "Arial");
        b.select(0);
        b.textColor(qRgb(0, 0, 0));
        b.textAlign(0);                                       // TA_TOP | TA_LEFT
        b.textOut({10, 20}, i ? "\xC4\xC4\xC4\xC4" : "AAAA"); // Windows-1252 A umlaut
        top[i] = topDarkRow(render(b.build()));
    }
    ASSERT_GE(top[0], 15); // drawn below the reference point, not above it
    EXPECT_TRUE(top[1] >= 0 && top[1] < top[0] - 3) << top[1] << ": no dots above the letters";
}

TEST(MetafileRender, WmfShapesAreFilled) {
    WmfBuilder b = redFilling(400, 100);
    b.ellipse(QRect(10, 10, 80, 80));
    // Chord from lower left to lower right, counterclockwise: the bottom segment.
    b.arcShape(0x0830, QRect(110, 10, 80, 80), {100, 100}, {200, 100});
    // Pie: the upper right quarter.
    b.arcShape(0x081A, QRect(210, 10, 80, 80), {290, 50}, {250, 10});
    // A square with a square hole, and an empty ring that would make libwmf
    // skip the whole record.
    b.polyPolygon({{{310, 10}, {390, 10}, {390, 90}, {310, 90}},
                   {},
                   {{330, 30}, {370, 30}, {370, 70}, {330, 70}}});
    const QImage img = render(b.build());
    ASSERT_EQ(img.size(), QSize(400, 100));
    const std::pair<QPoint, QRgb> expected[] = {
        {{50, 50}, kRed},    {{150, 84}, kRed}, {{150, 30}, kWhite}, {{265, 35}, kRed},
        {{235, 65}, kWhite}, {{320, 50}, kRed}, {{350, 50}, kWhite}};
    for (const auto& [at, color] : expected)
        EXPECT_TRUE(near(img.pixel(at), color)) << at.x() << "," << at.y();
}

TEST(MetafileRender, WmfWideDashedLinesHaveGaps) {
    // libwmf paints the gaps of dashed pens wider than a pixel (and makes a
    // pen right after the map mode at the old scale).
    WmfBuilder b(400, 100);
    b.pen(1, 4, qRgb(0, 0, 255)); // PS_DASH, 4 wide
    b.select(0);
    b.record(0x0214, {50, 10});  // MOVETO y, x
    b.record(0x0213, {50, 390}); // LINETO y, x
    const QImage img = render(b.build());
    ASSERT_EQ(img.size(), QSize(400, 100));
    const int ink = countNear(img, QRect(20, 50, 360, 1), qRgb(0, 0, 255));
    EXPECT_GT(ink, 150);
    EXPECT_LT(ink, 330);
    EXPECT_EQ(countNear(img, QRect(20, 45, 360, 1), qRgb(0, 0, 255)), 0);
    int thickest = 0; // the pen is 4 pixels wide
    for (int x = 20; x < 60; ++x)
        thickest = qMax(thickest, countNear(img, QRect(x, 40, 1, 20), qRgb(0, 0, 255)));
    EXPECT_GE(thickest, 3);
    EXPECT_LE(thickest, 6);
}

TEST(MetafileRender, FrameComesFromTheFileAndIsCapped) {
    // (Forged sizes beyond any use are refused: see the broken samples.)
    // A small square near the corner of a huge picture: 9000 x 4500 pixels
    // are rendered at 8192 x 4096, the drawing scaled along, not stretched.
    WmfBuilder b = redFilling(9000, 4500);
    b.rectangle(QRect(8000, 4000, 800, 400));
    for (bool placeable : {true, false}) {
        const QImage img = render(b.build(placeable), 60000);
        ASSERT_EQ(img.size(), QSize(8192, 4096)) << placeable;
        EXPECT_TRUE(near(img.pixel(8400 * 8192 / 9000, 4200 * 4096 / 4500), kRed));
        EXPECT_TRUE(near(img.pixel(7000 * 8192 / 9000, 4200 * 4096 / 4500), kWhite));
        EXPECT_TRUE(near(img.pixel(100, 100), kWhite));
    }
}

TEST(MetafileRender, BrokenSamplesFailCleanly) {
    const QDir dir(testutil::fixture("pictures/samples/broken"));
    const QStringList files = dir.entryList({"*.wmf", "*.emf"}, QDir::Files);
    ASSERT_GE(files.size(), 16);
    for (const QString& name : files) {
        const QByteArray bytes = testutil::readFile(dir.filePath(name));
        const MetafileKind kind =
            name.endsWith(QLatin1String(".wmf")) ? MetafileKind::Wmf : MetafileKind::Emf;
        QString error;
        const QImage img = renderMetafile(bytes, kind, &error, 10000);
        if (img.isNull())
            EXPECT_FALSE(error.isEmpty()) << name.toStdString();
        else
            EXPECT_EQ(img.size(), metafileRenderSize(metafileNaturalSize(bytes, kind)))
                << name.toStdString();
    }
    QString error;
    EXPECT_TRUE(
        renderMetafile(sampleBytes("meta/reference_from_svg.png"), MetafileKind::None, &error)
            .isNull());
    EXPECT_FALSE(error.isEmpty());
}

TEST(MetafileRender, AHelperKeptWaitingFinishesAndFailuresGiveNullAndAReason) {
    QTemporaryDir dir;
    const QByteArray wmf = sampleBytes("meta/gdi_records.wmf");
    const QByteArray real = QFile::encodeName(metafileRendererPath());
    ASSERT_FALSE(real.isEmpty());
    const QByteArray png =
        QFile::encodeName(testutil::fixture("pictures/samples/meta/reference_from_svg.png"));
    // Refused from its header: no 1.6 GB is set aside for it.
    const QByteArray forged =
        QFile::encodeName(testutil::writeFile(dir, "forged.png", forgedPng()));
    struct Case {
        const char* name;
        QByteArray body;      // empty: no such program
        const char* expected; // nullptr: rendered
        int timeoutMs = 10000;
    } cases[] = {
        // On a busy machine a renderer waits for a processor: its limit
        // counts the processor time it uses, not the time it spends waiting.
        {"slow.sh", "sleep 1.5; exec '" + real + "' \"$@\"", nullptr, 1000},
        {"hang.sh", "exec sleep 30", "800 ms", 800},       // killed, well before it would end
        {"spin.sh", "while :; do :; done", "800 ms", 800}, // its processor time used up
        {"crash.sh", "kill -SEGV $$", "crashed"},
        {"fails.sh", "echo 'lumenta-mfrender: error: no luck' >&2; exit 3", "no luck"},
        {"garbage.sh", "cat >/dev/null; echo 'not a picture'", "no readable picture"},
        {"wrongsize.sh", "cat >/dev/null; cat '" + png + "'", "instead of 640x400"},
        {"forged.sh", "cat >/dev/null; cat '" + forged + "'", "a 20000x20000 picture instead of"},
        {"no-such-program", {}, "not found"},
    };
    for (const Case& c : cases) {
        const QString helper =
            c.body.isEmpty() ? dir.filePath(c.name) : testutil::writeScript(dir, c.name, c.body);
        qputenv("LUMENTA_MFRENDER", QFile::encodeName(helper));
        QElapsedTimer timer;
        timer.start();
        QString error;
        const QImage img = renderMetafile(wmf, MetafileKind::Wmf, &error, c.timeoutMs);
        if (!c.expected) {
            EXPECT_FALSE(img.isNull()) << c.name << ": " << error.toStdString();
            continue;
        }
        EXPECT_TRUE(img.isNull()) << c.name;
        EXPECT_LT(timer.elapsed(), 8000) << c.name;
        EXPECT_TRUE(error.contains(QLatin1String(c.expected)))
            << c.name << ": " << error.toStdString();
    }
    qunsetenv("LUMENTA_MFRENDER");
}
