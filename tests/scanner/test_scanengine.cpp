// Scanning from SANE's virtual "test" scanner: its pictures, every kind of
// frame it can send, and options set by name.
#include "sanetest.h"

#include <gtest/gtest.h>

using namespace lumenta;

LUMENTA_SANE_CONFIG("sane");

namespace {

ScanRequest request(const QString& mode, int depth, ScanArea area, const QString& picture,
                    QList<ScanOption> more = {}) {
    ScanRequest r;
    r.device = QStringLiteral("test:0");
    r.settings = {mode, depth, 75, area};
    // The device keeps its options from one scan to the next.
    r.options = {{"test-picture", picture}, {"three-pass", false},
                 {"ppl-loss", 0},           {"fuzzy-parameters", false},
                 {"hand-scanner", false},   {"read-limit", false},
                 {"read-delay", false},     {"read-return-value", "Default"}};
    r.options += more;
    return r;
}

QRgb at(const QImage& img, int x, int y) {
    return img.pixel(x, y) & 0xffffff;
}

const QString Color = QStringLiteral("Color"), Gray = QStringLiteral("Gray");
const QString Pattern = QStringLiteral("Color pattern"), Grid = QStringLiteral("Grid");

} // namespace

class ScanEngineTest : public ::testing::Test {
protected:
    ScanEngine engine;
};

TEST_F(ScanEngineTest, PatternAndGridAtSeventyFiveDpi) {
    // The colour pattern: blocks of 4 pixels, ramps of red, green and blue
    // that run up on even bands and down on odd ones, 5 lines a band.
    ScanResult r = scantest::scan(engine, request(Color, 8, ScanArea::A4, Pattern));
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(r.image.size(), QSize(620, 876)); // 210 x 297 mm
    EXPECT_EQ(r.image.dotsPerMeterX(), 2953);
    EXPECT_EQ(at(r.image, 0, 1), qRgb(0x55, 0x55, 0x55) & 0xffffff);
    EXPECT_EQ(at(r.image, 6, 1), qRgb(1, 0, 0) & 0xffffff);
    EXPECT_EQ(at(r.image, 51, 6), qRgb(245, 0, 0) & 0xffffff);
    EXPECT_EQ(at(r.image, 51, 11), qRgb(0, 10, 0) & 0xffffff);
    EXPECT_EQ(at(r.image, 51, 26), qRgb(0, 0, 245) & 0xffffff);

    // The grid: squares of 10 mm (29.5 pixels), white in the top-left corner.
    r = scantest::scan(engine, request(Gray, 8, ScanArea::WholeBed, Grid));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.image.size(), QSize(885, 885)); // the 300 mm bed
    EXPECT_EQ(qGray(r.image.pixel(0, 0)), 255);
    EXPECT_EQ(qGray(r.image.pixel(35, 0)), 0);
    EXPECT_EQ(qGray(r.image.pixel(0, 40)), 0);
    EXPECT_EQ(qGray(r.image.pixel(35, 40)), 255);
    EXPECT_EQ(scantest::scan(engine, request(Color, 8, ScanArea::Letter, Grid)).image.size(),
              QSize(637, 824));
}

TEST_F(ScanEngineTest, SamplesOfEveryDepth) {
    // 16-bit gray: the high byte is the column in the block, the low byte
    // the line; samples come in the host's byte order.
    ScanResult r = scantest::scan(engine, request(Gray, 16, ScanArea::A4, Pattern));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(qGray(r.image.pixel(14, 20)), 10);
    EXPECT_EQ(qGray(r.image.pixel(204, 5)), 200);
    r = scantest::scan(engine, request(Gray, 16, ScanArea::A4, Pattern,
                                       {{QStringLiteral("invert-endianess"), true}}));
    EXPECT_EQ(qGray(r.image.pixel(14, 20)), 16);

    // Line art: 1 is black, in blocks of 16 pixels shifted on the second half.
    r = scantest::scan(engine, request(Gray, 1, ScanArea::A4, Pattern));
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.image.format(), QImage::Format_Mono);
    EXPECT_EQ(r.image.size(), QSize(620, 876));
    EXPECT_EQ(at(r.image, 0, 0), 0xffffffu);
    EXPECT_EQ(at(r.image, 20, 0), 0u);
    EXPECT_EQ(at(r.image, 0, 20), 0u);
    EXPECT_EQ(at(r.image, 20, 20), 0xffffffu);
    // White is 0 in gray line art and 1 in colour at 1 bit.
    for (const QString& mode : {Gray, Color}) {
        r = scantest::scan(engine, request(mode, 1, ScanArea::A4, QStringLiteral("Solid white")));
        EXPECT_EQ(at(r.image, 100, 100), 0xffffffu) << mode.toStdString();
    }
}

TEST_F(ScanEngineTest, QuirksOfDevicesGiveThePlainPicture) {
    const ScanResult plain = scantest::scan(engine, request(Color, 8, ScanArea::A4, Pattern));
    ASSERT_TRUE(plain.ok());
    const QImage reference = plain.image.convertToFormat(QImage::Format_RGB32);
    struct Case {
        const char* what;
        QList<ScanOption> options;
        int lostPixels = 0;
    };
    const QList<Case> cases = {
        {"three passes, RGB", {{"three-pass", true}}},
        {"three passes, GBR", {{"three-pass", true}, {"three-pass-order", "GBR"}}},
        {"three passes, BRG", {{"three-pass", true}, {"three-pass-order", "BRG"}}},
        {"padded lines", {{"ppl-loss", 7}}, 7},
        {"wrong parameters before the start", {{"fuzzy-parameters", true}}},
        {"short reads", {{"read-limit", true}, {"read-limit-size", 999}}},
    };
    for (const Case& c : cases) {
        const ScanResult r =
            scantest::scan(engine, request(Color, 8, ScanArea::A4, Pattern, c.options));
        ASSERT_TRUE(r.ok()) << c.what << ": " << r.error.toStdString();
        const QImage want = reference.copy(0, 0, reference.width() - c.lostPixels, 876);
        EXPECT_EQ(r.image.convertToFormat(QImage::Format_RGB32), want) << c.what;
    }

    // A hand scanner does not know the height in advance: 11 x 17 cm.
    const ScanResult hand = scantest::scan(
        engine, request(Gray, 8, ScanArea::A4, Grid, {{QStringLiteral("hand-scanner"), true}}));
    ASSERT_TRUE(hand.ok());
    EXPECT_EQ(hand.image.size(), QSize(324, 501));
    EXPECT_EQ(qGray(hand.image.pixel(35, 40)), 255);
    EXPECT_EQ(qGray(hand.image.pixel(0, 40)), 0);
}

TEST_F(ScanEngineTest, OptionsFollowTheirDescriptors) {
    ScanRequest r = request(QStringLiteral("gray"), 8, ScanArea::A4, Pattern,
                            {{"three-pass", true},          // inactive in gray
                             {"enable-test-options", true}, // reloads the options
                             {"bool-soft-detect", true},    // read-only
                             {"int-inexact", 17},           // the device adds one
                             {"int-constraint-range", 7},   // 4 to 192 by 2
                             {"int-constraint-word-list", 300},
                             {"no-such-option", 1}});
    r.settings.dpi = 74.6;
    const ScanResult res = scantest::scan(engine, r);
    ASSERT_TRUE(res.ok()) << res.error.toStdString();
    EXPECT_EQ(res.appliedValue(QStringLiteral("mode")), QVariant(QStringLiteral("Gray")));
    EXPECT_FALSE(res.appliedValue(QStringLiteral("three-pass")).isValid());
    EXPECT_FALSE(res.appliedValue(QStringLiteral("bool-soft-detect")).isValid());
    EXPECT_FALSE(res.appliedValue(QStringLiteral("no-such-option")).isValid());
    EXPECT_EQ(res.appliedValue(QStringLiteral("int-inexact")).toInt(), 18);
    EXPECT_EQ(res.appliedValue(QStringLiteral("int-constraint-range")).toInt(), 8);
    EXPECT_EQ(res.appliedValue(QStringLiteral("int-constraint-word-list")).toInt(), 256);
    EXPECT_EQ(res.dpi, 75); // quantised to whole dots per inch
    EXPECT_EQ(res.image.size(), QSize(620, 876));
}

TEST_F(ScanEngineTest, ErrorStatusesAndCancel) {
    ScanResult r = scantest::scan(
        engine, request(Gray, 8, ScanArea::A4, Pattern,
                        {{QStringLiteral("read-return-value"), "SANE_STATUS_IO_ERROR"}}));
    EXPECT_EQ(r.status, ScanResult::Status::Failed);
    EXPECT_TRUE(r.image.isNull());
    ScanRequest missing = request(Gray, 8, ScanArea::A4, Pattern);
    missing.device = QStringLiteral("test:9");
    EXPECT_EQ(scantest::scan(engine, missing).status, ScanResult::Status::Failed);

    // A slow scan stops when cancelled, and the engine scans again after.
    std::optional<ScanResult> slow;
    QObject::connect(&engine, &ScanEngine::scanned, [&slow](const ScanResult& s) { slow = s; });
    bool progressed = false;
    QObject::connect(&engine, &ScanEngine::progress, [&progressed] { progressed = true; });
    engine.scan(request(Color, 8, ScanArea::A4, Pattern,
                        {{"read-limit", true},
                         {"read-limit-size", 1000},
                         {"read-delay", true},
                         {"read-delay-duration", 20000}}));
    ASSERT_TRUE(testutil::waitUntil([&] { return progressed; }, 20000));
    EXPECT_TRUE(engine.busy());
    engine.cancel();
    ASSERT_TRUE(testutil::waitUntil([&] { return slow.has_value(); }, 10000));
    EXPECT_EQ(slow->status, ScanResult::Status::Cancelled);
    EXPECT_FALSE(engine.busy());
    EXPECT_TRUE(scantest::scan(engine, request(Gray, 8, ScanArea::A4, Pattern)).ok());
}
