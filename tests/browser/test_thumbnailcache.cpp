// The shared thumbnail cache and the loader that fills the panel from it.
#include "app/appcontext.h"
#include "app/version.h"
#include "browser/embeddedthumbnail.h"
#include "browser/thumbnailcache.h"
#include "browser/thumbnailloader.h"
#include "picture/colourchunks.h"
#include "picture/pictureservice.h"
#include "support/colourtest.h"
#include "support/exifbuilder.h"
#include "support/testutil.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QSignalSpy>
#include <QtEndian>
#include <cstring>
#include <gtest/gtest.h>

#include <gio/gio.h>
#include <libheif/heif_cxx.h>

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

QImage filled(QSize size, QColor colour) {
    QImage img(size, QImage::Format_RGB32);
    img.fill(colour);
    return img;
}

QString savePicture(const QString& path, QColor colour, QSize size = {400, 200}) {
    EXPECT_TRUE(filled(size, colour).save(path, "JPEG", 95));
    return path;
}

bool near(QColor a, QColor b, int tolerance = 40) {
    return std::abs(a.red() - b.red()) < tolerance && std::abs(a.green() - b.green()) < tolerance &&
           std::abs(a.blue() - b.blue()) < tolerance;
}

QByteArray pngBytes(const QImage& img) {
    QByteArray png;
    QBuffer buffer(&png);
    EXPECT_TRUE(buffer.open(QIODevice::WriteOnly) && img.save(&buffer, "PNG"));
    return png;
}

// A HEIC file of the picture `main` whose thumbnail item is made from
// `thumbnail`, reduced to fit a square of bbox pixels (heif::Error thrown
// on failure).
void writeHeic(const QString& path, const QImage& main, const QImage& thumbnail, int bbox) {
    auto planes = [](const QImage& img) {
        const QImage rgb = img.convertToFormat(QImage::Format_RGB888);
        heif::Image out;
        out.create(rgb.width(), rgb.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB);
        out.add_plane(heif_channel_interleaved, rgb.width(), rgb.height(), 8);
        int stride = 0;
        uint8_t* p = out.get_plane(heif_channel_interleaved, &stride);
        for (int y = 0; y < rgb.height(); ++y)
            std::memcpy(p + qsizetype(y) * stride, rgb.constScanLine(y), size_t(rgb.width()) * 3);
        return out;
    };
    heif::Context ctx;
    heif::Encoder encoder(heif_compression_HEVC);
    encoder.set_lossy_quality(90);
    const heif::ImageHandle handle = ctx.encode_image(planes(main), encoder);
    ctx.encode_thumbnail(planes(thumbnail), handle, encoder, heif::Context::EncodingOptions(),
                         bbox);
    ctx.write_to_file(QFile::encodeName(path).toStdString());
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
    // The cache entry of path, once written.
    QImage entryOf(const QString& path) {
        EXPECT_TRUE(testutil::waitUntil([&] { return QFile::exists(cache.normalPath(path)); }));
        return QImage(cache.normalPath(path));
    }
    bool entryDated(const QString& path, const char* mtime) {
        return testutil::waitUntil([&] {
            return QImage(cache.normalPath(path)).text(QStringLiteral("Thumb::MTime")) ==
                   QLatin1String(mtime);
        });
    }

    AppContext ctx;
    QTemporaryDir photos;
    QTemporaryDir cacheDir;
    ThumbnailCache cache{cacheDir.path() + QStringLiteral("/thumbnails")};
};

// The text chunk types and the colour type of a PNG file.
struct PngLayout {
    QByteArrayList textChunks;
    int colourType = -1, bitDepth = -1;
};
PngLayout pngLayout(const QByteArray& png) {
    PngLayout out;
    for (qsizetype at = 8; at + 8 <= png.size();) {
        const auto length = qFromBigEndian<quint32>(png.constData() + at);
        const QByteArray type = png.mid(at + 4, 4);
        if (type == "IHDR") {
            out.bitDepth = quint8(png[at + 16]);
            out.colourType = quint8(png[at + 17]);
        } else if (type == "tEXt" || type == "zTXt" || type == "iTXt") {
            out.textChunks << type + ' ' + png.mid(at + 8, qsizetype(length)).split('\0').first();
        }
        at += 12 + qsizetype(length);
    }
    return out;
}

} // namespace

// GLib finds each entry by its own URI and checksum of the name: the keys
// of awkward names are checked there.
TEST(ThumbnailCache, EntriesPassTheDesktopsOwnCheckAndOthersEntriesAreRead) {
    // GLib reads the cache folder once per process: set it before any use.
    QTemporaryDir home, photos;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home.path()));
    ASSERT_EQ(QFile::decodeName(g_get_user_cache_dir()), home.path());
    const ThumbnailCache cache;
    ASSERT_EQ(cache.root(), home.filePath(QStringLiteral("thumbnails")));
    // Translucent and opaque pictures: RGBA entries both.
    QImage translucent(300, 200, QImage::Format_ARGB32), opaque(300, 200, QImage::Format_RGB32);
    translucent.fill(QColor(200, 30, 30, 128));
    opaque.fill(Qt::red);
    int n = 0;
    for (const char* name : {"a b.jpg", "été à Noël.jpg", "#1.jpg", "100%.jpg", "a;b.jpg", "x",
                             "a b#%;ü+[x]&'=.jpg"}) {
        const QString path = savePicture(photos.filePath(QString::fromUtf8(name)), Qt::red);
        const bool seeThrough = n++ % 2 == 0;
        ASSERT_TRUE(cache.store(path, FileStamp::of(path), seeThrough ? translucent : opaque,
                                {300, 200}, QStringLiteral("image/jpeg")));
        g_autoptr(GFile) file = g_file_new_for_path(QFile::encodeName(path).constData());
        g_autoptr(GFileInfo) info =
            g_file_query_info(file, "thumbnail::*", G_FILE_QUERY_INFO_NONE, nullptr, nullptr);
        ASSERT_NE(info, nullptr) << name;
        EXPECT_TRUE(g_file_info_get_attribute_boolean(info, "thumbnail::is-valid")) << name;
        EXPECT_EQ(QFile::decodeName(g_file_info_get_attribute_byte_string(info, "thumbnail::path")),
                  cache.normalPath(path))
            << name;

        const PngLayout layout = pngLayout(testutil::readFile(cache.normalPath(path)));
        EXPECT_EQ(layout.colourType, 6) << name; // RGBA
        EXPECT_EQ(layout.bitDepth, 8) << name;
        EXPECT_EQ(layout.textChunks,
                  (QByteArrayList{"tEXt Thumb::URI", "tEXt Thumb::MTime", "tEXt Thumb::Size",
                                  "tEXt Thumb::Mimetype", "tEXt Thumb::Image::Width",
                                  "tEXt Thumb::Image::Height", "tEXt Software"}))
            << name;
        const std::optional<QImage> entry = cache.lookup(path, FileStamp::of(path));
        ASSERT_TRUE(entry.has_value()) << name;
        EXPECT_EQ(qAlpha(entry->pixel(5, 5)), seeThrough ? 128 : 255) << name;
    }

    // An entry of another program, its long URI in a compressed chunk.
    const QString path = photos.filePath(QStringLiteral("a b.jpg"));
    QImage other = filled({64, 32}, Qt::green);
    other.setText(QStringLiteral("Thumb::URI"), QString::fromUtf8(ThumbnailCache::uriFor(path)));
    other.setText(QStringLiteral("Thumb::MTime"), QString::number(FileStamp::of(path).mtime));
    ASSERT_TRUE(QImageWriter(cache.normalPath(path), "png").write(other));
    ASSERT_TRUE(pngLayout(testutil::readFile(cache.normalPath(path)))
                    .textChunks.contains("zTXt Thumb::URI"));
    const std::optional<QImage> entry = cache.lookup(path, FileStamp::of(path));
    ASSERT_TRUE(entry.has_value());
    EXPECT_GT(qGreen(entry->pixel(5, 5)), 200);
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
    EXPECT_EQ(entryOf(b).size(), QSize(50, 20)); // never enlarged
    const QImage entry(cache.normalPath(a));
    EXPECT_EQ(entry.size(), QSize(128, 64));
    EXPECT_EQ(entry.text(QStringLiteral("Thumb::URI")).toUtf8(), ThumbnailCache::uriFor(a));
    EXPECT_EQ(entry.text(QStringLiteral("Thumb::MTime")), QStringLiteral("1700000000"));
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
    ASSERT_TRUE(cache.store(a, stamp, filled({64, 32}, Qt::green)));
    EXPECT_GT(qGreen(load({a}).at(0).pixel(16, 16)), 200);

    // The file changed: the entry is stale, rebuilt from the file.
    setMTime(a, 1700000100);
    EXPECT_FALSE(cache.lookup(a, FileStamp::of(a)).has_value());
    EXPECT_GT(qRed(load({a}).at(0).pixel(16, 16)), 200);
    EXPECT_TRUE(entryDated(a, "1700000100"));
}

TEST_F(LoaderTest, APictureInsideTheCacheFolderGetsNoEntryOfItsOwn) {
    QDir().mkpath(cache.root() + QStringLiteral("/large"));
    const QString inside = savePicture(cache.root() + QStringLiteral("/large/x.jpg"), Qt::red);
    EXPECT_FALSE(cache.covers(inside));
    EXPECT_FALSE(cache.store(inside, FileStamp::of(inside), filled({64, 32}, Qt::red)));
    EXPECT_FALSE(load({inside}).at(0).isNull());
    EXPECT_FALSE(QFile::exists(cache.normalPath(inside)));
    EXPECT_FALSE(QFile::exists(cache.failPath(inside)));
}

// Entries any program may have written: one with a chunk running past the
// end of its file (the PNG reader would allocate what it declares), with
// sides larger than any thumbnail size, or a video thumbnailer's for a file
// named like a picture is not trusted.
TEST_F(LoaderTest, MalformedOversizedOrVideoEntriesAreNotTrusted) {
    const QString photo = savePicture(photos.filePath(QStringLiteral("p.jpg")), Qt::blue);
    const FileStamp stamp = FileStamp::of(photo);
    auto entry = [&](QSize size, const char* mime = "image/jpeg") {
        QImage img = filled(size, Qt::blue);
        img.setText(QStringLiteral("Thumb::URI"), QString::fromUtf8(ThumbnailCache::uriFor(photo)));
        img.setText(QStringLiteral("Thumb::MTime"), QString::number(stamp.mtime));
        img.setText(QStringLiteral("Thumb::Mimetype"), QLatin1String(mime));
        return pngBytes(img);
    };
    QByteArray runsPast = entry({100, 50});
    qToBigEndian<quint32>(0x7FFFFFF0, runsPast.data() + 33); // the chunk after the header
    const struct {
        QByteArray png;
        bool trusted;
    } cases[] = {
        {entry({100, 50}), true},
        {entry({512, 8}), true},
        {entry({513, 8}), false},
        {entry({8, 1000}), false},
        {runsPast, false},
        {entry({100, 50}).chopped(12), false}, // no IEND
        {entry({100, 50}, "video/mp4"), false},
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

TEST_F(LoaderTest, CameraThumbnailsFillCellsAndTheCacheWithoutDecodingThePhoto) {
    // Red photos; what they hold as their thumbnail is green (or green and
    // blue), so a red cell says the photo itself was decoded.
    QImage halves = filled({160, 120}, Qt::green), banded = filled({160, 120}, Qt::black);
    QPainter(&halves).fillRect(80, 0, 80, 120, Qt::blue);
    QPainter(&banded).fillRect(0, 7, 160, 106, Qt::green);
    const struct Case {
        const char* name;
        QSize photo;
        QImage thumbnail;
        int orientation;
        bool bigEndian;
        QSize entry; // empty: the photo was decoded (a red cell)
        QSize natural;
    } cases[] = {
        {"plain", {600, 400}, filled({160, 107}, Qt::green), 1, false, {128, 85}, {600, 400}},
        {"big-endian", {600, 400}, filled({160, 107}, Qt::green), 1, true, {128, 85}, {600, 400}},
        // Turned as the photo is: green on top once upright.
        {"turned", {800, 600}, halves, 6, false, {96, 128}, {600, 800}},
        // The camera's black bands around a thumbnail of another shape go.
        {"bands", {600, 400}, banded, 1, false, {128, 84}, {600, 400}},
        // Too small for a cache entry of 128 pixels.
        {"small", {600, 400}, filled({100, 67}, Qt::green), 1, false, {}, {}},
        // Not the photo's shape (cropped since): not the photo any more.
        {"stale", {600, 400}, filled({160, 160}, Qt::green), 1, false, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = testutil::writeFile(
            photos, QLatin1String(c.name) + ".jpg",
            testutil::withExifThumbnail(testutil::jpegBytes(filled(c.photo, Qt::red)),
                                        testutil::jpegBytes(c.thumbnail, 95), c.orientation,
                                        c.bigEndian));
        setMTime(path, 1700000000);
        const QImage cell = load({path}).at(0);
        ASSERT_EQ(cell.size(), QSize(32, 32));
        const QImage entry = entryOf(path);
        if (c.entry.isEmpty()) {
            EXPECT_TRUE(near(cell.pixel(16, 16), Qt::red));
            EXPECT_EQ(entry.size(), QSize(128, 85));
            continue;
        }
        EXPECT_EQ(entry.size(), c.entry);
        EXPECT_EQ(entry.text(QStringLiteral("Thumb::MTime")), QStringLiteral("1700000000"));
        EXPECT_EQ(entry.text(QStringLiteral("Thumb::Image::Width")).toInt(), c.natural.width());
        EXPECT_EQ(entry.text(QStringLiteral("Thumb::Image::Height")).toInt(), c.natural.height());
        EXPECT_EQ(entry.text(QStringLiteral("Thumb::Mimetype")), QStringLiteral("image/jpeg"));
        EXPECT_TRUE(near(cell.pixel(16, 2), Qt::green));
        // No black band left on the edge.
        EXPECT_GT(qGreen(entry.pixel(entry.width() / 2, 0)), 120);
        EXPECT_TRUE(near(cell.pixel(16, 29), c.orientation == 6 ? Qt::blue : Qt::green));
    }
}

// As exiftool writes a camera's thumbnail and its DCF declarations: Adobe
// RGB only with both "uncalibrated" and the index "R03".
TEST(EmbeddedThumbnail, WhatExiftoolWritesAndACameraSetToAdobeRgb) {
    const struct {
        const char* colourSpace;
        const char* index;
        bool adobe;
    } cases[] = {{nullptr, nullptr, false},
                 {"Uncalibrated", "R03", true},
                 {"sRGB", "R98", false},
                 {"Uncalibrated", "R98", false}};
    QTemporaryDir dir;
    const QString thumb = testutil::writeFile(dir, QStringLiteral("thumb.jpg"),
                                              testutil::jpegBytes(filled({160, 120}, Qt::green)));
    QString photo;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index ? c.index : "no declarations");
        photo = testutil::writeFile(dir, QStringLiteral("photo.jpg"),
                                    testutil::jpegBytes(filled({640, 480}, Qt::red)));
        QStringList arguments = {QStringLiteral("-overwrite_original"),
                                 "-ThumbnailImage<=" + thumb};
        if (c.index)
            arguments << QStringLiteral("-ColorSpace=") + QLatin1String(c.colourSpace)
                      << QStringLiteral("-InteropIndex=") + QLatin1String(c.index);
        QProcess exiftool;
        exiftool.start(QStringLiteral("exiftool"), arguments << photo);
        ASSERT_TRUE(exiftool.waitForFinished(30000) && exiftool.exitCode() == 0)
            << "exiftool (Debian libimage-exiftool-perl) is needed";
        const std::optional<EmbeddedThumbnail> t = jpegEmbeddedThumbnail(photo, 128);
        ASSERT_TRUE(t.has_value());
        EXPECT_EQ(t->image.size(), QSize(160, 120));
        EXPECT_EQ(t->natural, QSize(640, 480));
        EXPECT_TRUE(near(t->image.pixel(80, 60), Qt::green));
        EXPECT_EQ(t->colours, c.adobe ? adobeRgbColours() : ColourSpace());
    }
    // Every cut of the head: nothing, no crash.
    const QByteArray good = testutil::readFile(photo);
    for (qsizetype cut = 0; cut < 400; ++cut)
        EXPECT_FALSE(jpegEmbeddedThumbnail(good.left(cut), 128).has_value()) << cut;
}

TEST(EmbeddedThumbnail, OffsetsPointingAnywhereStayInBounds) {
    const QByteArray built =
        testutil::withExifThumbnail(testutil::jpegBytes(filled({640, 480}, Qt::red)),
                                    testutil::jpegBytes(filled({160, 120}, Qt::green)));
    ASSERT_TRUE(jpegEmbeddedThumbnail(built, 128).has_value());
    for (qsizetype at = 12; at < 12 + 80; ++at) {
        QByteArray broken = built;
        broken[at] = char(0xff);
        jpegEmbeddedThumbnail(broken, 128); // any answer, within bounds
    }
}

TEST_F(LoaderTest, AHeifFilesOwnThumbnailStandsInWhenLargeEnough) {
    // A blue picture whose thumbnail item is green: a green cell says the
    // thumbnail was decoded, not the picture.
    const struct {
        const char* name;
        int bbox;
        QColor cell;
    } cases[] = {{"large.heic", 160, Qt::green}, {"small.heic", 64, Qt::blue}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = photos.filePath(QLatin1String(c.name));
        writeHeic(path, filled({640, 480}, Qt::blue), filled({640, 480}, Qt::green), c.bbox);
        const QImage cell = load({path}).at(0);
        ASSERT_FALSE(cell.isNull());
        EXPECT_TRUE(near(cell.pixel(16, 16), c.cell));
        const QImage entry = entryOf(path);
        EXPECT_EQ(entry.size(), QSize(128, 96));
        EXPECT_EQ(entry.text(QStringLiteral("Thumb::Image::Width")), QStringLiteral("640"));
        EXPECT_TRUE(near(entry.pixel(64, 48), c.cell));
    }
}

TEST_F(LoaderTest, EntriesAreInSrgbAndCellsInTheDisplaysColours) {
    // A green stored in Adobe RGB, on a monitor with a profile of its own.
    const QByteArray adobe = colourtest::colordProfile(QStringLiteral("AdobeRGB1998.icc"));
    const QByteArray monitor = colourtest::monitorProfile();
    ctx.pictures().setDisplayColours(ColourSpace::fromIcc(monitor));
    const QColor stored = QColor(40, 160, 90);
    const QImage swatch = filled({4, 4}, stored);
    const QColor inSrgb = colourtest::reference(photos, swatch, adobe).pixelColor(1, 1);
    const QColor onMonitor = colourtest::reference(photos, swatch, adobe, monitor).pixelColor(1, 1);
    ASSERT_GT(std::abs(inSrgb.red() - stored.red()) + std::abs(inSrgb.green() - stored.green()),
              20);
    // Decoded by the service (PNG), and from a camera's thumbnail (JPEG,
    // the photo itself red).
    const QString png =
        testutil::writeFile(photos, QStringLiteral("adobe.png"),
                            colourtest::pngWithChunk(pngBytes(filled({600, 400}, stored)), "iCCP",
                                                     colourtest::iccpChunk(adobe)));
    const QString jpeg = testutil::writeFile(
        photos, QStringLiteral("adobe.jpg"),
        colourtest::jpegWithProfile(
            testutil::withExifThumbnail(testutil::jpegBytes(filled({600, 400}, Qt::red)),
                                        testutil::jpegBytes(filled({160, 107}, stored), 98)),
            adobe));
    for (const QString& path : {png, jpeg}) {
        SCOPED_TRACE(path.toStdString());
        for (int pass = 0; pass < 2; ++pass) { // made, then read from the cache
            EXPECT_TRUE(near(load({path}).at(0).pixelColor(16, 16), onMonitor, 5)) << pass;
            EXPECT_TRUE(near(entryOf(path).pixelColor(20, 20), inSrgb, 5));
        }
    }
}
