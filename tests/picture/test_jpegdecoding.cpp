// JPEG decoding through libjpeg-turbo against Qt's own reader, orientation,
// reduced and partial decoding, rows announced as they are decoded.
#include "picture/pictureloader.h"
#include "support/testutil.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumenta;
using testutil::sample;

namespace {

// Largest difference of a colour channel between two pictures of one size;
// or, for pictures reduced by different filters, the mean difference once
// both are reduced further.
double diff(const QImage& a, const QImage& b, bool mean = false) {
    const auto prepare = [mean](const QImage& i) {
        return (mean ? i.scaled(24, 24, Qt::IgnoreAspectRatio, Qt::SmoothTransformation) : i)
            .convertToFormat(QImage::Format_RGB32);
    };
    const QImage x = prepare(a), y = prepare(b);
    if (x.size() != y.size())
        return 256;
    double worst = 0, sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            for (int d :
                 {std::abs(qRed(p[col]) - qRed(q[col])), std::abs(qGreen(p[col]) - qGreen(q[col])),
                  std::abs(qBlue(p[col]) - qBlue(q[col]))}) {
                worst = std::max(worst, double(d));
                sum += d;
            }
        }
    }
    return mean ? sum / (3.0 * x.width() * x.height()) : worst;
}

QImage readWithQt(const QString& path) {
    QImageReader r(path);
    r.setAutoTransform(true);
    return r.read();
}

// The orientation sample with its tag (big-endian TIFF) set to value.
QString withOrientation(const QTemporaryDir& dir, int value) {
    QByteArray bytes = testutil::sampleBytes("jpeg/exif_orientation6.jpg");
    const qsizetype at = bytes.indexOf(QByteArray::fromHex("0112000300000001"));
    EXPECT_GT(at, 0);
    bytes[at + 9] = char(value);
    return testutil::writeFile(dir, QStringLiteral("o%1.jpg").arg(value), bytes);
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

TEST(JpegDecoding, SamePixelsAsQtsReaderInEveryOrientation) {
    for (const char* f : {"jpeg/baseline.jpg", "jpeg/progressive.jpg", "jpeg/grayscale.jpg",
                          "jpeg/cmyk.jpg", "jpeg/chroma444.jpg", "misnamed/jpeg_named.bmp"}) {
        const Picture p = loadPicture(sample(f));
        ASSERT_FALSE(p.isNull()) << f << ": " << p.error.toStdString();
        EXPECT_LE(diff(p.image, readWithQt(sample(f))), 1) << f;
        EXPECT_EQ(p.naturalSize, p.image.size());
    }
    QTemporaryDir dir;
    for (int o = 1; o <= 8; ++o) {
        const QString path = withOrientation(dir, o);
        const Picture p = loadPicture(path);
        ASSERT_FALSE(p.isNull()) << o;
        EXPECT_EQ(p.size(), o >= 5 ? QSize(133, 203) : QSize(203, 133)) << o;
        EXPECT_LE(diff(p.image, readWithQt(path)), 1) << "orientation " << o;
    }
}

TEST(JpegDecoding, ReducedAndPartialPicturesMatchTheWholeOne) {
    QTemporaryDir dir;
    const QString turned = withOrientation(dir, 6);
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
            EXPECT_LE(diff(p.image, expected.image), 1);
        else
            EXPECT_LT(diff(p.image, expected.image, true), 8.0);
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
    EXPECT_EQ(stopped.error, QStringLiteral("cancelled"));
    EXPECT_LT(cancelled.counts.last(), 3000);

    // Turned pictures and reduced ones come whole only.
    QTemporaryDir dir;
    Recorder turned;
    EXPECT_FALSE(loadPicture(withOrientation(dir, 6), {}, &turned).isNull());
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
    const Picture p = loadPicture(testutil::writeFile(dir, QStringLiteral("huge.jpg"), bytes));
    EXPECT_TRUE(p.isNull());
    EXPECT_FALSE(p.error.isEmpty());
}
