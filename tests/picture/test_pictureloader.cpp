#include "picture/metafile.h"
#include "picture/pictureloader.h"
#include "support/testutil.h"

#include <QDir>
#include <QDirIterator>
#include <gtest/gtest.h>

using namespace lumenta;

namespace {
Picture load(const char* relative) {
    return loadPicture(testutil::sample(QLatin1String(relative)));
}
} // namespace

TEST(PictureLoader, EveryRasterSampleLoads) {
    for (const char* dir : {"bmp", "gif", "jpeg", "ico"}) {
        const QDir d(testutil::fixture(QStringLiteral("pictures/samples/") + QLatin1String(dir)));
        const QStringList files = d.entryList(QDir::Files);
        ASSERT_FALSE(files.isEmpty()) << dir;
        for (const QString& f : files) {
            const Picture p = loadPicture(d.filePath(f));
            EXPECT_FALSE(p.isNull())
                << dir << "/" << f.toStdString() << ": " << p.error.toStdString();
            EXPECT_EQ(p.kind, Picture::Kind::Raster);
        }
    }
}

TEST(PictureLoader, FormatComesFromTheContent) {
    // Extensions Qt does not know, and files under another format's name.
    for (const char* f : {"bmp/rle8_copy.rle", "bmp/bmp24_copy.dib", "jpeg/baseline_copy.jif",
                          "jpeg/baseline_copy.jpe", "misnamed/jpeg_named.bmp",
                          "misnamed/gif_named.jpg", "misnamed/cur_noext", "misnamed/rle8_noext",
                          "misnamed/JPEG_UPPER.JPG", "misnamed/ico_named.bmp"})
        EXPECT_FALSE(load(f).isNull()) << f;
}

TEST(PictureLoader, BrokenFilesAreRefused) {
    for (const char* f :
         {"broken/empty.bmp", "broken/empty.jpg", "broken/empty.gif", "broken/empty.ico",
          "broken/text_renamed.bmp", "broken/text_renamed.jpg", "broken/bmp_100000x100000.bmp",
          "broken/jpeg_sof_65000x65000.jpg", "broken/gif_65535x65535.gif", "broken/bmp_bpp7.bmp"}) {
        const Picture p = load(f);
        EXPECT_TRUE(p.isNull()) << f;
        EXPECT_EQ(p.kind, Picture::Kind::None) << f;
    }
    // Every other broken file loads or is refused, without a crash.
    const QDir d(testutil::fixture(QStringLiteral("pictures/samples/broken")));
    for (const QString& f : d.entryList(QDir::Files))
        (void)loadPicture(d.filePath(f));
    EXPECT_TRUE(loadPicture(QStringLiteral("/no/such/file.jpg")).isNull());
}

TEST(PictureLoader, CoveringSizeReachesTheBoxOnBothAxes) {
    const struct {
        QSize natural, box, expected;
    } cases[] = {
        {{12000, 1000}, {1920, 1080}, {12000, 1000}}, // would be enlarged: natural
        {{4000, 3000}, {1920, 1080}, {1920, 1440}},
        {{3000, 4000}, {1920, 1080}, {1920, 2560}},
        {{1000, 3000}, {400, 300}, {400, 1200}},
        {{2000, 1001}, {1000, 100}, {1000, 501}}, // 500.5 rounded up, never short
        {{1001, 2000}, {100, 1000}, {501, 1000}},
        {{3840, 2160}, {1920, 1080}, {1920, 1080}},
        {{1920, 1080}, {1920, 1080}, {1920, 1080}},
        {{0, 10}, {20, 20}, {0, 10}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(coveringSize(c.natural, c.box), c.expected)
            << c.natural.width() << "x" << c.natural.height();
    }
}

// The limit holds for any sides a header or a device may give, up to
// INT_MAX each, at any depth (the product of two sides and a depth does
// not fit in 64 bits).
TEST(PictureLoader, AllocationLimitHoldsForAnySides) {
    const struct {
        QSize natural;
        int bits;
        bool fits;
    } cases[] = {
        {{65536, 4096}, 32, true},  // 1 GB exactly
        {{65536, 4097}, 32, false}, // a row more
        {{32768, 32768}, 8, true},       {{32768, 32769}, 8, false},
        {{89478485, 4}, 24, true}, // 3 bytes a pixel, rounded down
        {{INT_MAX, INT_MAX}, 32, false}, {{INT_MAX, INT_MAX}, 1, false},
        {{INT_MAX, 1}, 8, false},        {{0, 10}, 8, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fitsAllocationLimit(c.natural, c.bits), c.fits)
            << c.natural.width() << " x " << c.natural.height() << " x " << c.bits;
}

TEST(PictureLoader, SmoothScalingKeepsColours) {
    QImage big(4000, 3000, QImage::Format_RGB32);
    big.fill(QColor(200, 40, 10));
    const QImage small = scaledSmooth(big, QSize(81, 65));
    EXPECT_EQ(small.size(), QSize(81, 65));
    EXPECT_EQ(QColor(small.pixel(40, 30)), QColor(200, 40, 10));
    EXPECT_EQ(scaledSmooth(big, QSize(80, 80), Qt::KeepAspectRatio).size(), QSize(80, 60));
    EXPECT_TRUE(scaledSmooth(QImage(), QSize(10, 10)).isNull());
}

TEST(PictureLoader, MetafilesGoThroughTheSameFunction) {
    const QDir d(testutil::fixture(QStringLiteral("pictures/samples/meta")));
    int seen = 0;
    for (const QString& f :
         d.entryList({QStringLiteral("*.wmf"), QStringLiteral("*.emf"), QStringLiteral("*.EMF")},
                     QDir::Files)) {
        const QString path = d.filePath(f);
        const Picture p = loadPicture(path);
        ASSERT_FALSE(p.isNull()) << f.toStdString() << ": " << p.error.toStdString();
        const bool wmf = f.endsWith(QStringLiteral(".wmf"));
        EXPECT_EQ(p.kind, wmf ? Picture::Kind::Wmf : Picture::Kind::Emf) << f.toStdString();
        EXPECT_EQ(p.metafileData, testutil::readFile(path));
        // Natural size, the longest side capped.
        EXPECT_EQ(p.size(), metafileRenderSize(metafileNaturalSize(
                                p.metafileData, detectMetafile(p.metafileData))));
        ++seen;
    }
    EXPECT_GE(seen, 6);
    // Known by its content whatever its name; unusable headers are refused.
    EXPECT_EQ(load("misnamed/wmf_named.bmp").kind, Picture::Kind::Wmf);
    for (const char* f :
         {"broken/empty.wmf", "broken/wmf_bbox_huge.wmf", "broken/text_renamed.wmf"})
        EXPECT_TRUE(load(f).isNull()) << f;
}

TEST(PictureLoader, PublicRasterCorporaNeverCrashOrHang) {
    // Good files decode; bad and questionable ones load or are refused.
    const QString root = testutil::fixture(QStringLiteral("pictures/corpora/"));
    for (const QString& sub :
         {QStringLiteral("bmpsuite/g"), QStringLiteral("gif-test-suite/gifs")}) {
        const QDir d(root + sub);
        const QStringList files =
            d.entryList({QStringLiteral("*.bmp"), QStringLiteral("*.gif")}, QDir::Files);
        ASSERT_FALSE(files.isEmpty()) << sub.toStdString();
        for (const QString& f : files)
            EXPECT_FALSE(loadPicture(d.filePath(f)).isNull())
                << sub.toStdString() << "/" << f.toStdString();
    }
    int count = 0;
    QDirIterator it(root,
                    {QStringLiteral("*.bmp"), QStringLiteral("*.dib"), QStringLiteral("*.gif"),
                     QStringLiteral("*.ico"), QStringLiteral("*.cur")},
                    QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        (void)loadPicture(it.next());
        ++count;
    }
    EXPECT_GT(count, 200);
    // A decompression bomb is refused, not decoded.
    EXPECT_TRUE(
        loadPicture(root + QStringLiteral("pillow/Tests/images/decompression_bomb.gif")).isNull());
}
