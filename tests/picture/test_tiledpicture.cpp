// Pictures read by parts, against a whole decode, in every format; and
// through the picture service and a view's TileFeed.
#include "picture/pictureloader.h"
#include "picture/pictureservice.h"
#include "picture/tilefeed.h"
#include "picturecompare.h"
#include "support/colourtest.h"
#include "support/testutil.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace lumenta;
using namespace picturetest;

namespace {

// Every picture is tiled, in tiles of 40 x 24.
const LoadLimits kTiny{0, QSize(40, 24)};

QList<QPoint> cellsOf(const TiledPicture& t) {
    QList<QPoint> cells;
    for (int y = 0; y < t.gridSize().height(); ++y)
        for (int x = 0; x < t.gridSize().width(); ++x)
            cells << QPoint(x, y);
    return cells;
}

// A picture with gradients, fine detail and, when asked, transparency.
QImage pattern(QSize size, bool alpha) {
    QImage img(size, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int a = alpha ? (x * 255 / size.width() + (y % 7) * 20) % 256 : 255;
            img.setPixel(
                x, y,
                qRgba(x * 255 / size.width(), y * 255 / size.height(), ((x ^ y) * 37) & 0xff, a));
        }
    }
    return img;
}

// The plain pattern as a PNG file's bytes.
QByteArray pngOf(QSize size) {
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    pattern(size, false).save(&png, "png");
    return png.data();
}

QByteArray chunk(const char* type, const QByteArray& data) {
    return colourtest::pngChunk(QByteArray(type), data);
}

// The PNG with an eXIf chunk giving orientation `o`, before its IDAT (or
// after the last one).
QByteArray withExif(const QByteArray& png, int o, bool after = false) {
    const QByteArray tiff = QByteArray::fromHex("4d4d002a000000080001011200030000000100") +
                            char(o) + QByteArray::fromHex("000000000000");
    const qsizetype at = after ? png.indexOf("IEND") - 4 : png.indexOf("IDAT") - 4;
    return png.left(at) + chunk("eXIf", tiff) + png.mid(at);
}

// The PNG with its compressed data cut into chunks of `size` bytes.
QByteArray rechunked(const QByteArray& png, int size) {
    QByteArray data, out = png.left(8);
    for (qsizetype at = 8; at + 12 <= png.size();) {
        const qsizetype length = qFromBigEndian<quint32>(png.constData() + at);
        const QByteArray type = png.mid(at + 4, 4);
        if (type == "IDAT")
            data += png.mid(at + 8, length);
        else if (type == "IEND")
            for (qsizetype i = 0; i < data.size(); i += size)
                out += chunk("IDAT", data.mid(i, size));
        if (type != "IDAT")
            out += png.mid(at, length + 12);
        at += length + 12;
    }
    return out;
}

QString write(const QTemporaryDir& dir, const QString& name, const QImage& img,
              const char* format = "", int quality = -1) {
    const QString path = dir.filePath(name);
    QImageWriter w(path, format);
    w.setQuality(quality);
    EXPECT_TRUE(w.write(img)) << name.toStdString() << ": " << w.errorString().toStdString();
    return path;
}

// Decodes parts of t, each equal to the same region of whole.
void expectParts(const TiledPicture& t, const QList<QRect>& parts, const QImage& whole,
                 int tolerance) {
    int got = 0;
    QString error;
    ASSERT_TRUE(t.decode(
        parts,
        [&](int i, const QImage& part) {
            ++got;
            EXPECT_LE(worstDiff(part, whole.copy(parts[i])), tolerance) << "part " << i;
        },
        nullptr, &error))
        << error.toStdString();
    EXPECT_EQ(got, parts.size());
}

QStringList sampleFiles(const QTemporaryDir& dir) {
    QStringList files;
    for (const char* f :
         {"jpeg/baseline.jpg", "jpeg/grayscale.jpg", "jpeg/cmyk.jpg", "jpeg/chroma444.jpg"})
        files << testutil::sample(QLatin1String(f));
    for (int o = 1; o <= 8; ++o)
        files << jpegTurned(dir, o);
    const QImage opaque = pattern(QSize(203, 131), false);
    const QImage clear = pattern(QSize(203, 131), true);
    files << write(dir, "rgb.png", opaque) << write(dir, "rgba.png", clear)
          << write(dir, "grey.png", opaque.convertToFormat(QImage::Format_Grayscale8))
          << write(dir, "grey16.png", opaque.convertToFormat(QImage::Format_Grayscale16))
          << write(dir, "rgba64.png", clear.convertToFormat(QImage::Format_RGBA64))
          << write(dir, "palette.png",
                   clear.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither))
          << write(dir, "mono.png", opaque.convertToFormat(QImage::Format_Mono));
    files << dir.filePath("interlaced.png"); // Adam7
    EXPECT_TRUE(colourtest::run("/usr/bin/convert-im6.q16", {dir.filePath("rgb.png"), "-interlace",
                                                             "PNG", "PNG24:" + files.last()}));
    const QByteArray png = pngOf(opaque.size());
    for (int o : {3, 6, 7})
        files << testutil::writeFile(dir, QStringLiteral("exif%1.png").arg(o), withExif(png, o));
    // Parts further down start where an earlier pass stood, inside a chunk.
    files << testutil::writeFile(dir, "chunks.png", rechunked(png, 97));
    files << write(dir, "rgb.tif", opaque) << write(dir, "rgba.tif", clear)
          << write(dir, "grey.tif", opaque.convertToFormat(QImage::Format_Grayscale8));
    files << write(dir, "lossless.webp", clear, "webp", 100)
          << write(dir, "lossy.webp", opaque, "webp", 80);
    // Tiled and pyramidal TIFF, written by libvips.
    if (!QStandardPaths::findExecutable("vips").isEmpty()) {
        files << dir.filePath("tiled.tif");
        EXPECT_TRUE(colourtest::run("vips", {"tiffsave", dir.filePath("rgb.png"), files.last(),
                                             "--tile", "--tile-width=32", "--tile-height=32",
                                             "--pyramid", "--compression=deflate"}));
    }
    return files;
}

// The service's pictures are tiled in tiles of 64 x 32.
const LoadLimits kServiceTiles{0, QSize(64, 32)};

class Tiles : public ::testing::Test {
protected:
    PictureService service;
    QObject owner;
    QTemporaryDir dir;

    void SetUp() override { service.setLoadLimits(kServiceTiles); }

    PictureResult fetch(const PictureRequest& request) {
        PictureResult got;
        service.request(&owner, request, [&](const PictureResult& r) { got = r; });
        EXPECT_TRUE(testutil::waitUntil([&] { return got.ticket != 0; }, 20000));
        return got;
    }
    Picture full(const QString& path) { return fetch(PictureRequest::full(path)).picture; }
};

} // namespace

TEST(TiledPicture, PartsEqualTheSameRegionOfAWholeDecode) {
    QTemporaryDir dir;
    for (const QString& path : sampleFiles(dir)) {
        SCOPED_TRACE(path.toStdString());
        const Picture whole = loadPicture(path);
        ASSERT_FALSE(whole.isNull()) << whole.error.toStdString();
        ASSERT_FALSE(whole.isTiled());
        const Picture tiled = loadPicture(path, {}, nullptr, kTiny);
        ASSERT_TRUE(tiled.isTiled()) << tiled.error.toStdString();
        ASSERT_EQ(tiled.naturalSize, whole.image.size());
        const TiledPicture& t = *tiled.tiled;
        // Every tile in one pass; parts across tiles, apart, in any order; a
        // part further down alone (a PNG resumes where the first pass stood).
        const int tolerance =
            path.contains(QLatin1String("16")) || path.contains(QLatin1String("64")) ? 2 : 1;
        QList<QRect> tiles;
        for (QPoint c : cellsOf(t))
            tiles << t.tileRect(c);
        expectParts(t, tiles, whole.image, tolerance);
        expectParts(
            t,
            {QRect(37, 5, 61, 90), QRect(90, 100, 40, 20), QRect(0, 70, 3, 3), QRect(1, 1, 7, 120)},
            whole.image, tolerance);
        expectParts(t, {QRect(60, 110, 30, 20)}, whole.image, tolerance);
        // A region in bands, in whatever order they come, and reduced.
        const QRect region(20, 10, 100, 100);
        QString error;
        QImage assembled(region.size(), QImage::Format_ARGB32_Premultiplied);
        int bands = 0;
        ASSERT_TRUE(t.readBands(
            region, 16,
            [&](int y, const QImage& band) {
                EXPECT_EQ(band.width(), region.width());
                QPainter p(&assembled);
                p.setCompositionMode(QPainter::CompositionMode_Source);
                p.drawImage(0, y - region.y(), band);
                ++bands;
                return true;
            },
            nullptr, &error, 20 * 1024))
            << error.toStdString();
        EXPECT_EQ(bands, 7);
        EXPECT_LE(worstDiff(assembled, whole.image.copy(region)), tolerance);
        const QImage part = t.decodeReduced(region, QSize(50, 33), nullptr, &error);
        ASSERT_EQ(part.size(), QSize(50, 33)) << error.toStdString();
        EXPECT_LT(meanDiff(part, whole.image.copy(region)), 16.0);
        // Reduced, without the whole picture.
        const QSize small = fittedSize(whole.image.size(), QSize(50, 50));
        const QImage reduced = t.decodeReduced(small, false, nullptr, &error);
        ASSERT_EQ(reduced.size(), small) << error.toStdString();
        // Other filters on a busy pattern (an interlaced PNG is reduced from
        // its first pass alone): close, where a turned or shifted picture
        // is far off.
        EXPECT_LT(meanDiff(reduced, whole.image), 16.0);
    }
}

TEST(TiledPicture, RequestsOfEveryKindAreServedByParts) {
    QTemporaryDir dir;
    const QString path = write(dir, "rgb.png", pattern(QSize(203, 131), false));
    const Picture whole = loadPicture(path);
    using K = PictureNeed::Kind;
    const LoadLimits limits = kTiny;
    const PictureNeed part{K::Full, {}, QRect(10, 20, 100, 50), false};
    const Picture p = loadPicture(path, part, nullptr, limits);
    ASSERT_FALSE(p.isNull());
    EXPECT_FALSE(p.isTiled());
    EXPECT_EQ(p.region, QRect(10, 20, 100, 50));
    EXPECT_EQ(worstDiff(p.image, whole.image.copy(p.region)), 0);
    const Picture centre =
        loadPicture(path, {K::Full, {}, QRect(0, 0, 21, 11), true}, nullptr, limits);
    EXPECT_EQ(centre.region, QRect(91, 60, 21, 11));
    for (K kind : {K::Fitted, K::Thumbnail, K::Covering}) {
        const Picture r = loadPicture(path, {kind, QSize(60, 30), {}, false}, nullptr, limits);
        ASSERT_FALSE(r.isNull()) << int(kind);
        EXPECT_EQ(r.size(), reducedSize(QSize(203, 131), {kind, QSize(60, 30), {}, false}));
        EXPECT_EQ(r.naturalSize, QSize(203, 131));
    }
    // A part, reduced, tiled or not.
    const PictureNeed reducedPart{K::Fitted, QSize(50, 50), QRect(20, 10, 100, 80), false};
    for (const LoadLimits& l : {limits, LoadLimits{}}) {
        const Picture r = loadPicture(path, reducedPart, nullptr, l);
        ASSERT_EQ(r.size(), QSize(50, 40)) << r.error.toStdString();
        EXPECT_EQ(r.region, QRect(20, 10, 100, 80));
        EXPECT_LT(meanDiff(r.image, whole.image.copy(r.region)), 8.0);
    }
}

TEST(TiledPicture, AnOrientationAfterTheCompressedRowsCounts) {
    QTemporaryDir dir;
    const QString path = testutil::writeFile(
        dir, "after.png", withExif(rechunked(pngOf(QSize(60, 20)), 50), 6, true));
    EXPECT_EQ(loadPicture(path).naturalSize, QSize(20, 60));
    EXPECT_EQ(loadPicture(path, {}, nullptr, kTiny).naturalSize, QSize(20, 60));
}

TEST(TiledPicture, HeadersClaimingMoreThanTheFileHoldsAreRefusedAtOnce) {
    QTemporaryDir dir;
    // A PNG whose header says 65,535 x 65,535, with a few rows of data.
    const QByteArray png = pngOf(QSize(300, 2));
    const QByteArray forged =
        png.left(8) + chunk("IHDR", colourtest::bigEndian32(65535).repeated(2) + png.mid(24, 5)) +
        png.mid(33);
    const QString files[] = {testutil::writeFile(dir, "forged.png", forged),
                             testutil::sample("broken/jpeg_sof_65000x65000.jpg")};
    for (const QString& path : files) {
        SCOPED_TRACE(path.toStdString());
        for (const PictureNeed& need :
             {PictureNeed{}, PictureNeed{PictureNeed::Kind::Fitted, QSize(200, 200), {}, false}}) {
            const Picture p = loadPicture(path, need);
            EXPECT_TRUE(p.isNull());
            EXPECT_TRUE(p.error.contains(QLatin1String("too short"))) << p.error.toStdString();
        }
    }
}

TEST_F(Tiles, TilesFromTheServiceEqualTheWholePictureAndComeFromMemoryOnceKept) {
    for (const char* name : {"p.png", "p.jpg"}) {
        SCOPED_TRACE(name);
        const QString path = write(dir, QLatin1String(name), pattern(QSize(300, 170), false));
        const Picture tiled = full(path);
        ASSERT_TRUE(tiled.isTiled()) << tiled.error.toStdString();
        EXPECT_TRUE(tiled.image.isNull());
        const Picture whole = loadPicture(path);
        const QList<QPoint> cells = cellsOf(*tiled.tiled);
        QHash<QPoint, QImage> got;
        service.requestTiles(&owner, path, tiled, cells, 2,
                             [&](QPoint c, const QImage& t) { got.insert(c, t); });
        EXPECT_TRUE(got.isEmpty()); // never before requestTiles returns
        ASSERT_TRUE(testutil::waitUntil([&] { return got.size() == cells.size(); }, 20000));
        for (QPoint c : cells)
            EXPECT_EQ(
                got[c].convertToFormat(QImage::Format_RGB32),
                whole.image.copy(tiled.tiled->tileRect(c)).convertToFormat(QImage::Format_RGB32))
                << c.x() << "," << c.y();
        ASSERT_TRUE(testutil::waitUntil([&] { return service.isIdle(); }));
        // Kept: all again, without decoding anything.
        got.clear();
        service.requestTiles(&owner, path, tiled, cells, 0,
                             [&](QPoint c, const QImage& t) { got.insert(c, t); });
        EXPECT_TRUE(service.isIdle());
        ASSERT_TRUE(testutil::waitUntil([&] { return got.size() == cells.size(); }));
    }
}

TEST_F(Tiles, ANewerRequestReplacesTheTilesStillToCome) {
    const QString path = write(dir, "p.png", pattern(QSize(640, 640), false));
    const Picture tiled = full(path);
    ASSERT_TRUE(tiled.isTiled());
    QList<QPoint> first, second;
    for (int x = 0; x < 10; ++x) {
        first << QPoint(x, 19);
        second << QPoint(x, 0);
    }
    QList<QPoint> fromFirst, fromSecond;
    service.requestTiles(&owner, path, tiled, first, 10,
                         [&](QPoint c, const QImage&) { fromFirst << c; });
    service.requestTiles(&owner, path, tiled, second, 10,
                         [&](QPoint c, const QImage&) { fromSecond << c; });
    ASSERT_TRUE(testutil::waitUntil([&] { return fromSecond.size() == 10; }, 20000));
    ASSERT_TRUE(testutil::waitUntil([&] { return service.isIdle(); }));
    EXPECT_TRUE(fromFirst.isEmpty());
    // Another slot keeps its own tiles.
    QList<QPoint> other;
    service.requestTiles(
        &owner, path, tiled, first, 10, [&](QPoint c, const QImage&) { other << c; }, 1);
    service.cancelTiles(&owner, 0);
    ASSERT_TRUE(testutil::waitUntil([&] { return other.size() == 10; }, 20000));
}

TEST_F(Tiles, TheMemoryBudgetHoldsWhileAViewScrollsAcross) {
    const QString path = write(dir, "big.png", pattern(QSize(1600, 1200), false));
    const qint64 budget = 600 * 1024;
    service.setMemoryBudget(budget);
    const Picture tiled = full(path);
    ASSERT_TRUE(tiled.isTiled());
    TileFeed feed(service);
    feed.setPicture(path, tiled);
    const QSize view(200, 150);
    // What a view may hold: its tiles and those of twice its margin around.
    const qint64 held = qint64(view.width() * 3 + 2 * 64) * (view.height() * 3 + 2 * 32) * 4;
    int steps = 0;
    for (int y = 0; y + view.height() <= 1200; y += 90) {
        for (int x = 0; x + view.width() <= 1600; x += 230) {
            const QRect r(QPoint(x, y), view);
            feed.setViewport(r);
            ASSERT_TRUE(testutil::waitUntil([&] { return feed.covers(r); }, 20000))
                << x << "," << y;
            EXPECT_LE(service.memoryUsed(), budget);
            EXPECT_LE(feed.heldBytes(), held) << x << "," << y;
            ++steps;
        }
    }
    EXPECT_GT(steps, 50);
    // What is drawn in view is the picture.
    const QRect last = feed.viewport();
    EXPECT_EQ(feed.pixels(last).convertToFormat(QImage::Format_RGB32),
              pattern(QSize(1600, 1200), false).copy(last));
}

TEST_F(Tiles, DamagedPartsComeAsNullTilesOnce) {
    const QString path = write(dir, "p.png", pattern(QSize(400, 400), false));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.resize(f.size() * 2 / 3)); // the last rows are gone
    f.close();
    const Picture tiled = full(path);
    ASSERT_TRUE(tiled.isTiled()) << tiled.error.toStdString();
    const QList<QPoint> cells = {QPoint(0, 0), QPoint(0, 12)};
    QHash<QPoint, QImage> got;
    service.requestTiles(&owner, path, tiled, cells, 2,
                         [&](QPoint c, const QImage& t) { got.insert(c, t); });
    ASSERT_TRUE(testutil::waitUntil([&] { return got.size() == 2; }, 20000));
    EXPECT_FALSE(got[QPoint(0, 0)].isNull());
    EXPECT_TRUE(got[QPoint(0, 12)].isNull());
    ASSERT_TRUE(testutil::waitUntil([&] { return service.isIdle(); }));
    got.clear();
    service.requestTiles(&owner, path, tiled, {QPoint(0, 12)}, 1,
                         [&](QPoint c, const QImage& t) { got.insert(c, t); });
    EXPECT_TRUE(service.isIdle()); // not decoded again
    ASSERT_TRUE(testutil::waitUntil([&] { return got.size() == 1; }));
}

TEST_F(Tiles, ReducedPicturesOfATiledOneAreDecodedSmall) {
    const QString path = write(dir, "p.jpg", pattern(QSize(900, 600), false));
    const Picture tiled = full(path);
    ASSERT_TRUE(tiled.isTiled());
    const PictureResult overview = fetch(overviewRequest(path, 1));
    ASSERT_TRUE(overview.ok());
    EXPECT_EQ(overview.picture.size(), QSize(900, 600)); // never enlarged
    const Picture small = fetch(PictureRequest::fitted(path, QSize(90, 90), 2)).picture;
    EXPECT_EQ(small.size(), QSize(90, 60));
    EXPECT_EQ(small.naturalSize, QSize(900, 600));
}
