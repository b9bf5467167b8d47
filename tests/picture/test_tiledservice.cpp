// Tiled pictures through the picture service and a view's TileFeed: tiles
// equal the whole picture, come from memory when kept, in-view tiles before
// the margin, the memory budget holds while a view scrolls across, damaged
// parts come as null tiles once, and reduced requests stay small.
#include "picture/pictureservice.h"
#include "picture/tilefeed.h"
#include "support/testutil.h"

#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumenta;

namespace {

const LoadLimits kTiny{0, QSize(64, 32)};

QImage pattern(QSize size) {
    QImage img(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = qRgb(x & 0xff, y & 0xff, ((x / 7) ^ (y / 5)) & 0xff);
    }
    return img;
}

QString writePicture(const QTemporaryDir& dir, const char* name, QSize size) {
    const QString path = dir.filePath(QLatin1String(name));
    QImageWriter w(path);
    w.setQuality(90);
    EXPECT_TRUE(w.write(pattern(size)));
    return path;
}

class Tiles : public ::testing::Test {
protected:
    PictureService service;
    QObject owner;
    QTemporaryDir dir;

    void SetUp() override { service.setLoadLimits(kTiny); }

    Picture full(const QString& path) {
        Picture got;
        bool done = false;
        service.request(&owner, PictureRequest::full(path), [&](const PictureResult& r) {
            got = r.picture;
            done = true;
        });
        EXPECT_TRUE(testutil::waitUntil([&] { return done; }, 20000));
        return got;
    }
};

} // namespace

TEST_F(Tiles, TilesFromTheServiceEqualTheWholePictureAndComeFromMemoryOnceKept) {
    for (const char* name : {"p.png", "p.jpg"}) {
        SCOPED_TRACE(name);
        const QString path = writePicture(dir, name, QSize(300, 170));
        const Picture tiled = full(path);
        ASSERT_TRUE(tiled.isTiled()) << tiled.error.toStdString();
        EXPECT_TRUE(tiled.image.isNull());
        const Picture whole = loadPicture(path);
        QList<QPoint> cells;
        for (int y = 0; y < tiled.tiled->gridSize().height(); ++y) {
            for (int x = 0; x < tiled.tiled->gridSize().width(); ++x)
                cells << QPoint(x, y);
        }
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
    const QString path = writePicture(dir, "p.png", QSize(640, 640));
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
    const QString path = writePicture(dir, "big.png", QSize(1600, 1200));
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
              pattern(QSize(1600, 1200)).copy(last));
}

TEST_F(Tiles, DamagedPartsComeAsNullTilesOnce) {
    const QString path = writePicture(dir, "p.png", QSize(400, 400));
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
    const QString path = writePicture(dir, "p.jpg", QSize(900, 600));
    const Picture tiled = full(path);
    ASSERT_TRUE(tiled.isTiled());
    PictureResult overview, small;
    service.request(&owner, overviewRequest(path, 1),
                    [&](const PictureResult& r) { overview = r; });
    ASSERT_TRUE(testutil::waitUntil([&] { return overview.ticket != 0; }, 20000));
    ASSERT_TRUE(overview.ok());
    EXPECT_EQ(overview.picture.size(), QSize(900, 600)); // never enlarged
    service.request(&owner, PictureRequest::fitted(path, QSize(90, 90), 2),
                    [&](const PictureResult& r) { small = r; });
    ASSERT_TRUE(testutil::waitUntil([&] { return small.ticket != 0; }, 20000));
    EXPECT_EQ(small.picture.size(), QSize(90, 60));
    EXPECT_EQ(small.picture.naturalSize, QSize(900, 600));
}
