// The shared thumbnail cache and the loader that fills the panel from it.
#include "app/appcontext.h"
#include "app/version.h"
#include "browser/thumbnailcache.h"
#include "browser/thumbnailloader.h"
#include "picture/pictureservice.h"
#include "support/testutil.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QSignalSpy>
#include <QtEndian>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

using namespace lumenta;

namespace {

mode_t modeOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

void setMTime(const QString& path, qint64 seconds) {
    const utimbuf t{time_t(seconds), time_t(seconds)};
    ASSERT_EQ(::utime(QFile::encodeName(path).constData(), &t), 0);
}

QString savePicture(const QString& path, QColor colour, QSize size = {400, 200}) {
    QImage img(size, QImage::Format_RGB32);
    img.fill(colour);
    EXPECT_TRUE(img.save(path, "JPEG", 95));
    return path;
}

QImage entryOf(QColor colour) {
    QImage img(64, 32, QImage::Format_RGB32);
    img.fill(colour);
    return img;
}

class LoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(photos.isValid() && cacheDir.isValid());
        ctx.pictureService = std::make_shared<PictureService>();
    }

    // Loads paths and returns the thumbnails by index.
    QList<QImage> load(const QStringList& paths) {
        ThumbnailLoader loader(ctx, cache);
        QList<QImage> out(paths.size());
        int got = 0;
        QObject::connect(&loader, &ThumbnailLoader::ready, [&](int i, const QImage& img) {
            out[i] = img;
            ++got;
        });
        loader.load(paths);
        EXPECT_TRUE(testutil::waitUntil([&] { return got == paths.size(); }, 20000));
        return out;
    }

    AppContext ctx;
    QTemporaryDir photos;
    QTemporaryDir cacheDir;
    ThumbnailCache cache{cacheDir.path() + QStringLiteral("/thumbnails")};
};

} // namespace

TEST(ThumbnailCache, KeysAreGLibUrisForAwkwardNames) {
    const QString path = QStringLiteral("/photos/été 2024/a b#%;ü+[x]&'=.jpg");
    EXPECT_EQ(
        ThumbnailCache::uriFor(path),
        QByteArray("file:///photos/%C3%A9t%C3%A9%202024/a%20b%23%25%3B%C3%BC+%5Bx%5D&'=.jpg"));
    EXPECT_EQ(ThumbnailCache::entryName(path),
              QStringLiteral("19a65a0d7886c850d03b16e8a6c61ca9.png"));
}

TEST_F(LoaderTest, WritesReusesAndRebuildsEntries) {
    const QString a = savePicture(photos.filePath(QStringLiteral("a b#%;é.jpg")), Qt::red);
    const QString b = savePicture(photos.filePath(QStringLiteral("b.jpg")), Qt::blue, {50, 20});
    const QString broken =
        testutil::copyFixture(photos, QStringLiteral("pictures/samples/broken/text_renamed.jpg"),
                              QStringLiteral("c.jpg"));
    setMTime(a, 1700000000);

    // First visit: decoded, entries written with the freedesktop keys.
    QList<QImage> thumbs = load({a, b, broken});
    ASSERT_EQ(thumbs.at(0).size(), QSize(32, 32));
    EXPECT_GT(qRed(thumbs.at(0).pixel(16, 16)), 200);
    EXPECT_TRUE(thumbs.at(2).isNull());
    ASSERT_TRUE(testutil::waitUntil([&] { return QFile::exists(cache.normalPath(b)); }));
    const QImage entry(cache.normalPath(a));
    EXPECT_EQ(entry.size(), QSize(128, 64));
    EXPECT_EQ(entry.text(QStringLiteral("Thumb::URI")).toUtf8(), ThumbnailCache::uriFor(a));
    EXPECT_EQ(entry.text(QStringLiteral("Thumb::MTime")), QStringLiteral("1700000000"));
    EXPECT_EQ(QImage(cache.normalPath(b)).size(), QSize(50, 20)); // never enlarged
    EXPECT_EQ(modeOf(cache.normalPath(a)), 0600u);
    EXPECT_EQ(modeOf(cache.root()), 0700u);
    EXPECT_EQ(modeOf(cache.root() + QStringLiteral("/normal")), 0700u);
    const QString fail = cache.root() + QStringLiteral("/fail/lumenta-") + versionText() +
                         QLatin1Char('/') + ThumbnailCache::entryName(broken);
    ASSERT_TRUE(testutil::waitUntil([&] { return QFile::exists(fail); }));
    EXPECT_EQ(modeOf(fail), 0600u);
    // Nothing but the entries is left behind (no temporary files).
    EXPECT_EQ(
        QDir(cache.root() + QStringLiteral("/normal")).entryList(QDir::Files | QDir::Hidden).size(),
        2);

    // A fresh entry is used as it is: a green one stands for the red file.
    const FileStamp stamp = FileStamp::of(a);
    ASSERT_TRUE(cache.store(a, stamp, entryOf(Qt::green)));
    EXPECT_GT(qGreen(load({a}).at(0).pixel(16, 16)), 200);

    // The file changed: the entry is stale, rebuilt from the file.
    setMTime(a, 1700000100);
    EXPECT_FALSE(cache.lookup(a, FileStamp::of(a)).has_value());
    EXPECT_GT(qRed(load({a}).at(0).pixel(16, 16)), 200);
    ASSERT_TRUE(testutil::waitUntil([&] {
        return QImage(cache.normalPath(a)).text(QStringLiteral("Thumb::MTime")) ==
               QLatin1String("1700000100");
    }));
}

TEST_F(LoaderTest, OnlyPictureEntriesAreTrustedAndTheCacheIsNeverThumbnailed) {
    // An entry a video thumbnailer made for a file named like a picture.
    const QString movie = photos.filePath(QStringLiteral("clip.jpg"));
    testutil::writeFile(photos, QStringLiteral("clip.jpg"), QByteArray(4096, 'v'));
    ASSERT_TRUE(cache.store(movie, FileStamp::of(movie), entryOf(Qt::yellow), {},
                            QStringLiteral("video/mp4")));
    EXPECT_FALSE(cache.lookup(movie, FileStamp::of(movie)).has_value());
    EXPECT_TRUE(load({movie}).at(0).isNull());

    // A picture inside the cache folder gets no entry of its own.
    QDir().mkpath(cache.root() + QStringLiteral("/large"));
    const QString inside = savePicture(cache.root() + QStringLiteral("/large/x.jpg"), Qt::red);
    EXPECT_FALSE(cache.covers(inside));
    EXPECT_FALSE(cache.store(inside, FileStamp::of(inside), entryOf(Qt::red)));
    EXPECT_FALSE(load({inside}).at(0).isNull());
    EXPECT_FALSE(QFile::exists(cache.normalPath(inside)));
    EXPECT_FALSE(QFile::exists(cache.failPath(inside)));
}

// Entries any program may have written are read only when they look like
// entries: one with a chunk running past the end of its file (the PNG
// reader would allocate what the chunk declares) or with sides larger than
// any thumbnail size is not trusted.
TEST_F(LoaderTest, MalformedOrOversizedEntriesAreNotTrusted) {
    const QString photo = savePicture(photos.filePath(QStringLiteral("p.jpg")), Qt::blue);
    const FileStamp stamp = FileStamp::of(photo);
    auto entry = [&](QSize size) {
        QImage img(size, QImage::Format_RGB32);
        img.fill(Qt::blue);
        img.setText(QStringLiteral("Thumb::URI"), QString::fromUtf8(ThumbnailCache::uriFor(photo)));
        img.setText(QStringLiteral("Thumb::MTime"), QString::number(stamp.mtime));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        EXPECT_TRUE(img.save(&buffer, "PNG"));
        return png;
    };
    QByteArray runsPast = entry({100, 50});
    qToBigEndian<quint32>(0x7FFFFFF0, runsPast.data() + 33); // the chunk after the header
    const struct {
        QByteArray png;
        bool trusted;
    } cases[] = {
        {entry({100, 50}), true}, {entry({512, 8}), true},
        {entry({513, 8}), false}, {entry({8, 1000}), false},
        {runsPast, false},        {entry({100, 50}).chopped(12), false}, // no IEND
    };
    QDir().mkpath(QFileInfo(cache.normalPath(photo)).path());
    for (const auto& c : cases) {
        QFile f(cache.normalPath(photo));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(c.png);
        f.close();
        EXPECT_EQ(cache.lookup(photo, stamp).has_value(), c.trusted) << c.png.size();
    }
}
