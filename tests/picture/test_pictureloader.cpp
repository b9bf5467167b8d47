// The picture loader: samples and public corpora, formats known by their
// content, limits; JPEG decoding against Qt's reader, by parts and by rows.
#include "picture/metafile.h"
#include "picture/pictureloader.h"
#include "picture/strippipeline.h"
#include "picturecompare.h"
#include "support/testutil.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <condition_variable>
#include <thread>

using namespace lumenta;
using namespace picturetest;
using testutil::sample;

namespace {

QImage readWithQt(const QString& path) {
    QImageReader r(path);
    r.setAutoTransform(true);
    return r.read();
}

struct Recorder : LoadProgress {
    QImage buffer;
    QList<int> counts;
    QImage firstRows; // a copy of the rows announced first
    int cancelAfter = -1;
    bool isCancelled() const override { return cancelAfter >= 0 && counts.size() > cancelAfter; }
    void rowsStarted(const QImage& b) override { buffer = b; }
    void rowsDecoded(int rows) override {
        if (counts.isEmpty())
            firstRows = buffer.copy(0, 0, buffer.width(), rows);
        counts.append(rows);
    }
};

} // namespace

TEST(PictureLoader, EveryRasterSampleLoadsByItsContent) {
    QStringList good;
    for (const char* dir : {"bmp", "gif", "jpeg", "ico"}) {
        const QDir d(sample(QLatin1String(dir)));
        const QStringList files = d.entryList(QDir::Files);
        ASSERT_FALSE(files.isEmpty()) << dir;
        for (const QString& f : files)
            good << d.filePath(f);
    }
    // Besides extensions Qt does not know (.rle, .dib, .jif, .jpe above),
    // files under another format's name.
    for (const char* f :
         {"misnamed/jpeg_named.bmp", "misnamed/gif_named.jpg", "misnamed/cur_noext",
          "misnamed/rle8_noext", "misnamed/JPEG_UPPER.JPG", "misnamed/ico_named.bmp"})
        good << sample(QLatin1String(f));
    for (const QString& path : good) {
        const Picture p = loadPicture(path);
        EXPECT_FALSE(p.isNull()) << path.toStdString() << ": " << p.error.toStdString();
        EXPECT_EQ(p.kind, Picture::Kind::Raster) << path.toStdString();
    }
}

TEST(PictureLoader, BrokenFilesAreRefused) {
    for (const char* f :
         {"broken/empty.bmp", "broken/empty.jpg", "broken/empty.gif", "broken/empty.ico",
          "broken/text_renamed.bmp", "broken/text_renamed.jpg", "broken/bmp_100000x100000.bmp",
          "broken/jpeg_sof_65000x65000.jpg", "broken/gif_65535x65535.gif", "broken/bmp_bpp7.bmp",
          "broken/empty.wmf", "broken/wmf_bbox_huge.wmf", "broken/text_renamed.wmf"}) {
        const Picture p = loadPicture(sample(f));
        EXPECT_TRUE(p.isNull()) << f;
        EXPECT_EQ(p.kind, Picture::Kind::None) << f;
    }
    // Every other broken file loads or is refused, without a crash.
    const QDir d(sample("broken"));
    for (const QString& f : d.entryList(QDir::Files))
        (void)loadPicture(d.filePath(f));
    EXPECT_TRUE(loadPicture("/no/such/file.jpg").isNull());
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
    const QDir d(sample("meta"));
    int seen = 0;
    for (const QString& f : d.entryList({"*.wmf", "*.emf", "*.EMF"}, QDir::Files)) {
        const QString path = d.filePath(f);
        const Picture p = loadPicture(path);
        ASSERT_FALSE(p.isNull()) << f.toStdString() << ": " << p.error.toStdString();
        const bool wmf = f.endsWith(".wmf");
        EXPECT_EQ(p.kind, wmf ? Picture::Kind::Wmf : Picture::Kind::Emf) << f.toStdString();
        EXPECT_EQ(p.metafileData, testutil::readFile(path));
        // Natural size, the longest side capped.
        EXPECT_EQ(p.size(), metafileRenderSize(metafileNaturalSize(
                                p.metafileData, detectMetafile(p.metafileData))));
        ++seen;
    }
    EXPECT_GE(seen, 6);
    // Known by its content whatever its name (unusable headers: see above).
    EXPECT_EQ(loadPicture(sample("misnamed/wmf_named.bmp")).kind, Picture::Kind::Wmf);
}

TEST(PictureLoader, PublicRasterCorporaNeverCrashOrHang) {
    // Good files decode; bad and questionable ones load or are refused.
    const QString root = testutil::fixture("pictures/corpora/");
    for (const char* sub : {"bmpsuite/g", "gif-test-suite/gifs"}) {
        const QDir d(root + QLatin1String(sub));
        const QStringList files = d.entryList({"*.bmp", "*.gif"}, QDir::Files);
        ASSERT_FALSE(files.isEmpty()) << sub;
        for (const QString& f : files)
            EXPECT_FALSE(loadPicture(d.filePath(f)).isNull()) << sub << "/" << f.toStdString();
    }
    int count = 0;
    QDirIterator it(root, {"*.bmp", "*.dib", "*.gif", "*.ico", "*.cur"}, QDir::Files,
                    QDirIterator::Subdirectories);
    for (; it.hasNext(); ++count)
        (void)loadPicture(it.next());
    EXPECT_GT(count, 200);
    // A decompression bomb is refused, not decoded.
    EXPECT_TRUE(loadPicture(root + "pillow/Tests/images/decompression_bomb.gif").isNull());
}

TEST(JpegDecoding, SamePixelsAsQtsReaderInEveryOrientation) {
    for (const char* f : {"jpeg/baseline.jpg", "jpeg/progressive.jpg", "jpeg/grayscale.jpg",
                          "jpeg/cmyk.jpg", "jpeg/chroma444.jpg", "misnamed/jpeg_named.bmp"}) {
        const Picture p = loadPicture(sample(f));
        ASSERT_FALSE(p.isNull()) << f << ": " << p.error.toStdString();
        EXPECT_LE(worstDiff(p.image, readWithQt(sample(f))), 1) << f;
        EXPECT_EQ(p.naturalSize, p.image.size());
    }
    QTemporaryDir dir;
    for (int o = 1; o <= 8; ++o) {
        const QString path = jpegTurned(dir, o);
        const Picture p = loadPicture(path);
        ASSERT_FALSE(p.isNull()) << o;
        EXPECT_EQ(p.size(), o >= 5 ? QSize(133, 203) : QSize(203, 133)) << o;
        EXPECT_LE(worstDiff(p.image, readWithQt(path)), 1) << "orientation " << o;
    }
}

TEST(JpegDecoding, ReducedAndPartialPicturesMatchTheWholeOne) {
    QTemporaryDir dir;
    const QString turned = jpegTurned(dir, 6);
    const QString big = sample("jpeg/large_4000x3000.jpg");
    struct Case {
        QString path;
        PictureNeed need;
        QSize size;
    };
    using K = PictureNeed::Kind;
    const Case cases[] = {
        {big, {K::Fitted, QSize(640, 640), {}, false}, QSize(640, 480)},
        {big, {K::Thumbnail, QSize(96, 96), {}, false}, QSize(96, 72)},
        {big, {K::Full, {}, QRect(1234, 777, 301, 203), false}, QSize(301, 203)},
        {big, {K::Full, {}, QRect(0, 0, 1920, 1080), true}, QSize(1920, 1080)},
        // Whole rows below the top: decoded straight into the picture.
        {big, {K::Full, {}, QRect(0, 1500, 4000, 100), false}, QSize(4000, 100)},
        {turned, {K::Fitted, QSize(100, 100), {}, false}, QSize(65, 100)},
        {turned, {K::Full, {}, QRect(17, 40, 60, 90), false}, QSize(60, 90)},
        // Larger than the picture: the picture as it is.
        {turned, {K::Fitted, QSize(400, 400), {}, false}, QSize(133, 203)},
        {turned, {K::Full, {}, QRect(0, 0, 500, 20), true}, QSize(133, 20)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString() + " " + std::to_string(int(c.need.kind)));
        const Picture whole = loadPicture(c.path);
        const Picture p = loadPicture(c.path, c.need);
        ASSERT_FALSE(p.isNull()) << p.error.toStdString();
        EXPECT_EQ(p.size(), c.size);
        EXPECT_EQ(p.naturalSize, whole.size());
        const Picture expected = derivePicture(whole, c.need);
        EXPECT_EQ(p.region, expected.region);
        if (c.need.kind == K::Full)
            EXPECT_LE(worstDiff(p.image, expected.image), 1);
        else
            EXPECT_LT(meanDiff(p.image, expected.image), 6.0); // 8 on three channels
    }
    // A part outside the picture is refused.
    EXPECT_TRUE(loadPicture(big, {K::Full, {}, QRect(5000, 0, 10, 10), false}).isNull());
}

TEST(JpegDecoding, RowsAreAnnouncedFinalAndDecodingStopsWhenCancelled) {
    const QString big = sample("jpeg/large_4000x3000.jpg");
    Recorder rec;
    const Picture p = loadPicture(big, {}, &rec);
    ASSERT_FALSE(p.isNull());
    // The rows go into the picture's own buffer, top to bottom, final.
    EXPECT_EQ(rec.buffer.constBits(), p.image.constBits());
    ASSERT_GT(rec.counts.size(), 10);
    EXPECT_TRUE(std::is_sorted(rec.counts.begin(), rec.counts.end()));
    EXPECT_EQ(rec.counts.last(), 3000);
    EXPECT_EQ(rec.firstRows, p.image.copy(0, 0, 4000, rec.firstRows.height()));

    Recorder cancelled;
    cancelled.cancelAfter = 2;
    const Picture stopped = loadPicture(big, {}, &cancelled);
    EXPECT_TRUE(stopped.isNull());
    EXPECT_EQ(stopped.error, "cancelled");
    EXPECT_LT(cancelled.counts.last(), 3000);

    // Turned pictures and reduced ones come whole only.
    QTemporaryDir dir;
    Recorder turned;
    EXPECT_FALSE(loadPicture(jpegTurned(dir, 6), {}, &turned).isNull());
    EXPECT_TRUE(turned.counts.isEmpty());
}

// A progressive file keeps all its coefficients while it is decoded: one
// claiming a picture within the limit but needing twice that for them (a
// gray picture: 1 byte a pixel shown, 2 held) is refused at once instead
// of taking 3 GB.
TEST(JpegDecoding, ProgressiveFilesNeedNoMoreMemoryThanAPicture) {
    QImage gray(16, 16, QImage::Format_Grayscale8);
    gray.fill(128);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    ASSERT_TRUE(writer.write(gray));
    const qsizetype sof = bytes.indexOf("\xFF\xC2");
    ASSERT_GT(sof, 0);
    bytes[sof + 5] = bytes[sof + 7] = char(0x80); // 32768 x 32768: 1 GB shown
    bytes[sof + 6] = bytes[sof + 8] = 0;
    QTemporaryDir dir;
    const Picture p = loadPicture(testutil::writeFile(dir, "huge.jpg", bytes));
    EXPECT_TRUE(p.isNull());
    EXPECT_FALSE(p.error.isEmpty());
}

// Strips converted where they lie are shared between the decoder and the
// second thread; rows are announced only once every row above them is
// placed, whichever strip finishes first.
TEST(StripPipeline, SharedStripsAreAnnouncedInOrderWhateverFinishesFirst) {
    std::mutex m;
    std::condition_variable cv;
    bool firstStarted = false, firstMayFinish = false;
    std::vector<int> placedOn(4, -1); // 0: the caller's thread, 1: the other
    const std::thread::id caller = std::this_thread::get_id();
    QList<int> announced;
    StripPipeline pipeline(
        [&](uchar*, int firstRow, int) {
            const int strip = firstRow / 10;
            placedOn[size_t(strip)] = std::this_thread::get_id() == caller ? 0 : 1;
            if (strip == 0) {
                std::unique_lock lock(m);
                firstStarted = true;
                cv.notify_all();
                cv.wait(lock, [&] { return firstMayFinish; });
            }
        },
        [&](int rows) { announced.append(rows); });
    pipeline.submit(nullptr, 0, 10);
    {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return firstStarted; });
    }
    // The second thread is held on the first strip: the second strip waits
    // for it, the next ones are placed here at once.
    pipeline.submit(nullptr, 10, 10);
    pipeline.submit(nullptr, 20, 10);
    pipeline.submit(nullptr, 30, 5);
    EXPECT_EQ(placedOn[0], 1);
    EXPECT_EQ(placedOn[2], 0);
    EXPECT_EQ(placedOn[3], 0);
    EXPECT_TRUE(announced.isEmpty()) << announced.first();
    {
        std::lock_guard lock(m);
        firstMayFinish = true;
    }
    cv.notify_all();
    pipeline.finish();
    ASSERT_FALSE(announced.isEmpty());
    EXPECT_EQ(announced.last(), 35);
    EXPECT_TRUE(std::is_sorted(announced.begin(), announced.end()));
    EXPECT_EQ(std::adjacent_find(announced.begin(), announced.end()), announced.end());
}
