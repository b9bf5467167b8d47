// Rendering WMF and EMF through the lumenta-mfrender helper: colours at
// known places of the sample drawings, the decoder weak spots the helper
// works around, forged headers, and helpers that hang, crash or lie.
#include "platform/metafile/metafile.h"
#include "platform/wmfbuilder.h"
#include "support/testutil.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

using namespace lumenta;
using testutil::WmfBuilder;

namespace {

const QRgb kPaper = qRgb(255, 251, 230);
const QRgb kGreen = qRgb(34, 170, 34);
const QRgb kBlue = qRgb(51, 102, 204);
const QRgb kPurple = qRgb(153, 0, 153);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kWhite = qRgb(255, 255, 255);

QByteArray sample(const QString& name) {
    return testutil::readFile(testutil::fixture(QStringLiteral("pictures/samples/") + name));
}

QImage render(const QByteArray& bytes, QString* error = nullptr, int timeoutMs = 15000) {
    return renderMetafile(bytes, detectMetafile(bytes), error, timeoutMs);
}

bool near(QRgb a, QRgb b, int tolerance = 40) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
               std::abs(qBlue(a) - qBlue(b)) <=
           tolerance;
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

// Points the helper elsewhere for one test.
class HelperOverride {
public:
    explicit HelperOverride(const QString& path) {
        qputenv("LUMENTA_MFRENDER", QFile::encodeName(path));
    }
    ~HelperOverride() { qunsetenv("LUMENTA_MFRENDER"); }
};

QString script(const QTemporaryDir& dir, const QString& name, const QByteArray& body) {
    const QString path = testutil::writeFile(dir, name, "#!/bin/sh\n" + body + "\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

} // namespace

TEST(MetafileRender, HelperIsFound) {
    const QString path = metafileRendererPath();
    ASSERT_FALSE(path.isEmpty());
    EXPECT_TRUE(path.endsWith(QLatin1String("lumenta-mfrender")));
}

TEST(MetafileRender, WorksFromOtherThreadsAtOnce) {
    const QByteArray wmf = sample("meta/gdi_records.wmf");
    const QByteArray emf = sample("meta/gdi_records.emf");
    QImage a, b;
    std::thread first([&] { a = renderMetafile(wmf, MetafileKind::Wmf); });
    std::thread second([&] { b = renderMetafile(emf, MetafileKind::Emf); });
    first.join();
    second.join();
    EXPECT_EQ(a.size(), QSize(640, 400));
    EXPECT_EQ(b.size(), QSize(640, 400));
}

TEST(MetafileRender, WmfSampleColoursAtKnownPlaces) {
    QString error;
    const QImage img = render(sample("meta/gdi_records.wmf"), &error);
    ASSERT_FALSE(img.isNull()) << error.toStdString();
    ASSERT_EQ(img.size(), QSize(640, 400));
    EXPECT_TRUE(near(img.pixel(350, 250), kPaper));
    EXPECT_TRUE(near(img.pixel(160, 340), kGreen));
    // libwmf alone leaves ellipses hollow.
    EXPECT_TRUE(near(img.pixel(540, 300), kBlue));
    // The frame maps the file's box: the bottom border stays at y = 390
    // although the rotated text pokes out below.
    EXPECT_GE(countNear(img, QRect(150, 386, 1, 8), qRgb(0, 0, 0)), 2);
    const QRect hatched(305, 65, 110, 90);
    EXPECT_GT(countNear(img, hatched, kPurple), 800);
    EXPECT_GT(countNear(img, hatched, kPaper), 3000);
    // The text line, top left.
    EXPECT_GT(countNear(img, QRect(40, 30, 300, 30), qRgb(0, 0, 0), 120), 200);
}

TEST(MetafileRender, EmfSampleColoursPenWidthsAndHatches) {
    QString error;
    const QImage img = render(sample("meta/gdi_records.emf"), &error);
    ASSERT_FALSE(img.isNull()) << error.toStdString();
    ASSERT_EQ(img.size(), QSize(640, 400));
    EXPECT_TRUE(near(img.pixel(350, 250), kPaper));
    EXPECT_TRUE(near(img.pixel(160, 340), kGreen));
    EXPECT_TRUE(near(img.pixel(540, 300), kBlue));
    // The red line has a 4-unit basic pen; the converter alone draws 1.
    EXPECT_GE(countNear(img, QRect(320, 185, 1, 30), qRgb(204, 0, 0), 110), 4);
    // The diagonal-cross hatch is not a solid fill.
    const QRect hatched(305, 65, 110, 90);
    const int purple = countNear(img, hatched, kPurple);
    EXPECT_GT(purple, 800);
    EXPECT_LT(purple, 110 * 90 / 2);
    EXPECT_GT(countNear(img, hatched, kPaper), 3000);
}

TEST(MetafileRender, InkscapeEmfKeepsDashesAndOpenCurves) {
    QString error;
    const QImage img = render(sample("meta/inkscape_drawing.emf"), &error);
    ASSERT_FALSE(img.isNull()) << error.toStdString();
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
    auto textPicture = [](const QByteArray& text) {
        WmfBuilder b(300, 80);
        b.font(40, 0, 400, "Arial");
        b.select(0);
        b.textColor(qRgb(0, 0, 0));
        b.textAlign(0); // TA_TOP | TA_LEFT
        b.textOut({10, 20}, text);
        return render(b.build());
    };
    const QImage plain = textPicture("AAAA");
    const QImage accented = textPicture("\xC4\xC4\xC4\xC4"); // Windows-1252 A umlaut
    ASSERT_FALSE(plain.isNull());
    ASSERT_FALSE(accented.isNull());
    const int plainTop = topDarkRow(plain), accentTop = topDarkRow(accented);
    ASSERT_GE(plainTop, 15); // drawn below the reference point, not above it
    EXPECT_LT(accentTop, plainTop - 3) << "no dots above the letters";
}

TEST(MetafileRender, WmfShapesAreFilled) {
    WmfBuilder b(400, 100);
    b.pen(5, 0, 0);   // PS_NULL
    b.brush(0, kRed); // solid
    b.select(0);
    b.select(1);
    b.ellipse(QRect(10, 10, 80, 80));
    // Chord below the line through (110,90)..(190,90)-ish: from lower left
    // to lower right, counterclockwise, is the bottom segment.
    b.arcShape(0x0830, QRect(110, 10, 80, 80), {100, 100}, {200, 100});
    // Pie: the upper right quarter.
    b.arcShape(0x081A, QRect(210, 10, 80, 80), {290, 50}, {250, 10});
    // A square with a square hole, and an empty ring that would make libwmf
    // skip the whole record.
    b.polyPolygon({{{310, 10}, {390, 10}, {390, 90}, {310, 90}},
                   {},
                   {{330, 30}, {370, 30}, {370, 70}, {330, 70}}});
    QString error;
    const QImage img = render(b.build(), &error);
    ASSERT_FALSE(img.isNull()) << error.toStdString();
    ASSERT_EQ(img.size(), QSize(400, 100));
    EXPECT_TRUE(near(img.pixel(50, 50), kRed));
    EXPECT_TRUE(near(img.pixel(150, 84), kRed));
    EXPECT_TRUE(near(img.pixel(150, 30), kWhite));
    EXPECT_TRUE(near(img.pixel(265, 35), kRed));
    EXPECT_TRUE(near(img.pixel(235, 65), kWhite));
    EXPECT_TRUE(near(img.pixel(320, 50), kRed));
    EXPECT_TRUE(near(img.pixel(350, 50), kWhite));
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

TEST(MetafileRender, FrameComesFromTheFileNotTheDrawing) {
    // A small square in the middle of a large picture stays small.
    WmfBuilder b(200, 100);
    b.pen(5, 0, 0);
    b.brush(0, kRed);
    b.select(0);
    b.select(1);
    b.rectangle(QRect(90, 40, 20, 20));
    for (bool placeable : {true, false}) {
        const QImage img = render(b.build(placeable));
        ASSERT_EQ(img.size(), QSize(200, 100)) << placeable;
        EXPECT_TRUE(near(img.pixel(100, 50), kRed));
        EXPECT_TRUE(near(img.pixel(85, 50), kWhite));
        EXPECT_TRUE(near(img.pixel(20, 20), kWhite));
    }
}

TEST(MetafileRender, HugeHeadersAreCappedOrRefused) {
    QString error;
    EXPECT_TRUE(render(sample("broken/wmf_bbox_huge.wmf"), &error).isNull());
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_TRUE(render(sample("broken/emf_frame_huge.emf"), &error).isNull());
    EXPECT_FALSE(error.isEmpty());

    // 110 units per inch: 8378 x 5236 pixels, rendered at 8192 x 5120.
    QByteArray big = sample("meta/gdi_records.wmf");
    qToLittleEndian<quint16>(110, big.data() + 14);
    quint16 sum = 0;
    for (int i = 0; i < 20; i += 2)
        sum ^= qFromLittleEndian<quint16>(big.constData() + i);
    qToLittleEndian<quint16>(sum, big.data() + 20);
    ASSERT_EQ(metafileNaturalSize(big, MetafileKind::Wmf), QSize(8378, 5236));
    const QImage img = render(big, &error, 60000);
    ASSERT_FALSE(img.isNull()) << error.toStdString();
    EXPECT_EQ(img.size(), QSize(8192, 5120));
    EXPECT_TRUE(near(img.pixel(540 * 8192 / 640, 300 * 5120 / 400), kBlue));
}

TEST(MetafileRender, BrokenSamplesFailCleanly) {
    const QDir dir(testutil::fixture(QStringLiteral("pictures/samples/broken")));
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
        renderMetafile(sample("meta/reference_from_svg.png"), MetafileKind::None, &error).isNull());
    EXPECT_FALSE(error.isEmpty());
}

TEST(MetafileRender, HelperThatHangsIsKilled) {
    QTemporaryDir dir;
    HelperOverride helper(script(dir, "hang.sh", "exec sleep 30"));
    QElapsedTimer timer;
    timer.start();
    QString error;
    const QImage img =
        renderMetafile(sample("meta/gdi_records.wmf"), MetafileKind::Wmf, &error, 800);
    EXPECT_TRUE(img.isNull());
    EXPECT_LT(timer.elapsed(), 8000);
    EXPECT_TRUE(error.contains(QLatin1String("800 ms"))) << error.toStdString();
}

TEST(MetafileRender, HelperFailuresGiveNullAndAReason) {
    QTemporaryDir dir;
    const QByteArray wmf = sample("meta/gdi_records.wmf");
    struct Case {
        const char* name;
        QByteArray body;
        const char* expected;
    } cases[] = {
        {"crash.sh", "kill -SEGV $$", "crashed"},
        {"fails.sh", "echo 'lumenta-mfrender: error: no luck' >&2; exit 3", "no luck"},
        {"garbage.sh", "cat >/dev/null; echo 'not a picture'", "no readable picture"},
        {"wrongsize.sh",
         "cat >/dev/null; cat '" +
             QFile::encodeName(testutil::fixture("pictures/samples/meta/reference_from_svg.png")) +
             "'",
         "instead of 640x400"},
    };
    for (const Case& c : cases) {
        HelperOverride helper(script(dir, c.name, c.body));
        QString error;
        EXPECT_TRUE(renderMetafile(wmf, MetafileKind::Wmf, &error, 10000).isNull()) << c.name;
        EXPECT_TRUE(error.contains(QLatin1String(c.expected)))
            << c.name << ": " << error.toStdString();
    }
    HelperOverride missing(dir.filePath("no-such-program"));
    QString error;
    EXPECT_TRUE(renderMetafile(wmf, MetafileKind::Wmf, &error).isNull());
    EXPECT_TRUE(error.contains(QLatin1String("not found"))) << error.toStdString();
}
