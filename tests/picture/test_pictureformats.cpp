// Today's picture formats, made here with Qt's writers and Debian's encoders;
// the out-of-process decoder killed when it hangs or lies.
#include "picture/helperdecode.h"
#include "picture/pictureformats.h"
#include "picture/pictureloader.h"
#include "picturecompare.h"
#include "support/colourtest.h"
#include "support/exifbuilder.h"
#include "support/testutil.h"

#include <QMimeDatabase>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>

using namespace lumenta;
using colourtest::run;

namespace {

const QRgb kRed = qRgb(255, 0, 0), kGreen = qRgb(0, 255, 0), kBlue = qRgb(0, 0, 255),
           kWhite = qRgb(255, 255, 255);

// 64 x 48: red, green on top; blue, white below.
QImage quadrants() {
    QImage img(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            img.setPixel(x, y, y < 24 ? (x < 32 ? kRed : kGreen) : (x < 32 ? kBlue : kWhite));
    return img;
}

bool near(QRgb a, QRgb b) {
    return picturetest::rgbDistance(a, b) < 90;
}

// The quadrants' colours at their centres, as stored or turned right.
void expectQuadrants(const QImage& img, bool turned, const char* ext) {
    const QRgb colours[] = {kRed, kGreen, kBlue, kWhite};
    for (int i = 0; i < 4; ++i) {
        const QPoint at = turned ? QPoint(36 - 24 * (i / 2), 16 + 32 * (i % 2))
                                 : QPoint(16 + 32 * (i % 2), 12 + 24 * (i / 2));
        EXPECT_TRUE(near(img.pixel(at), colours[i])) << ext << " quadrant " << i;
    }
}

// A TIFF block whose only tag is orientation 6 (turn 90 degrees clockwise).
QByteArray exifTurnedRight() {
    return QByteArray("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0\x06\0\0\0\0\0\0\0", 26);
}

// The quadrants written as NAME.EXT (turned: stored with EXIF orientation 6).
QString make(const QTemporaryDir& dir, const QString& ext, bool turned = false) {
    const QString path = dir.filePath("q." + ext);
    const QImage img = quadrants();
    const QString png = dir.filePath("source.png");
    img.save(png);
    if (ext == QLatin1String("png") && turned) {
        testutil::writeFile(
            dir, "q.png",
            colourtest::pngWithChunk(testutil::readFile(png), "eXIf", exifTurnedRight()));
    } else if (ext == QLatin1String("tga")) { // upright: see the TGA reader's tests for -flip
        if (!run("/usr/bin/convert-im6.q16", {png, "-flip", path}))
            return {};
    } else if (ext.startsWith(QLatin1String("svg"))) {
        QByteArray svg = "<svg xmlns='http://www.w3.org/2000/svg' width='64' height='48'>"
                         "<rect width='32' height='24' fill='#f00'/>"
                         "<rect x='32' width='32' height='24' fill='#0f0'/>"
                         "<rect y='24' width='32' height='24' fill='#00f'/>"
                         "<rect x='32' y='24' width='32' height='24' fill='#fff'/></svg>";
        testutil::writeFile(dir, "q.svg", svg);
        if (ext == QLatin1String("svgz") && !(run("gzip", {dir.filePath("q.svg")}) &&
                                              QFile::rename(dir.filePath("q.svg.gz"), path)))
            return {};
    } else if (ext == QLatin1String("heic") || ext == QLatin1String("avif")) {
        QString source = png;
        if (turned) { // heif-enc keeps the EXIF block of a JPEG
            source = testutil::writeFile(
                dir, "source.jpg",
                testutil::withExifThumbnail(testutil::jpegBytes(img, 95), {}, 6));
        }
        if (!run("heif-enc", {"-q", "95", source, "-o", path}))
            return {};
    } else if (ext == QLatin1String("jxl")) {
        if (!run("cjxl", {png, path}))
            return {};
    } else if (!img.save(path, ext.toLatin1().constData())) {
        return {};
    }
    return path;
}

const char* const kFormats[] = {"png", "webp", "tiff", "tga", "svg", "svgz", "heic", "avif", "jxl"};

} // namespace

TEST(PictureFormats, EachFormatDecodesToKnownPixelsAtFullAndReducedSizeAndRefusesDamage) {
    QTemporaryDir dir;
    for (const char* ext : kFormats) {
        const QString path = make(dir, QLatin1String(ext));
        ASSERT_FALSE(path.isEmpty()) << ext;
        const Picture pic = loadPicture(path);
        ASSERT_FALSE(pic.isNull()) << ext << ": " << pic.error.toStdString();
        ASSERT_EQ(pic.size(), QSize(64, 48)) << ext;
        expectQuadrants(pic.image, false, ext);
        const Picture thumb = loadPicture(path, {PictureNeed::Kind::Thumbnail, {16, 16}});
        ASSERT_FALSE(thumb.isNull()) << ext;
        EXPECT_EQ(thumb.image.size(), QSize(16, 12)) << ext;
        EXPECT_TRUE(near(thumb.image.pixel(12, 9), kWhite)) << ext;
        const Picture cover = loadPicture(path, {PictureNeed::Kind::Covering, {16, 16}});
        ASSERT_FALSE(cover.isNull()) << ext;
        EXPECT_EQ(cover.image.size(), QSize(22, 16)) << ext;
        // The format's signature kept, the rest scrambled; and cut short.
        const QByteArray good = testutil::readFile(path);
        QByteArray scrambled = good;
        for (qsizetype i = 16; i < scrambled.size(); ++i)
            scrambled[i] = char(0x5A ^ (i * 7));
        for (const QByteArray& bad : {scrambled, good.left(good.size() / 3)}) {
            const Picture pic = loadPicture(
                testutil::writeFile(dir, QStringLiteral("bad.") + QLatin1String(ext), bad));
            EXPECT_TRUE(pic.isNull()) << ext << " of " << bad.size() << " bytes";
            EXPECT_FALSE(pic.error.isEmpty()) << ext;
        }
    }
}

TEST(PictureFormats, ExifOrientationTurnsHeicAndPng) {
    QTemporaryDir dir;
    for (const char* ext : {"heic", "png"}) {
        const Picture pic = loadPicture(make(dir, QLatin1String(ext), true));
        ASSERT_EQ(pic.size(), QSize(48, 64)) << ext << ": " << pic.error.toStdString();
        expectQuadrants(pic.image, true, ext);
    }
}

// The helper drives libheif's HEVC decoder (libde265) with threads of its
// own: the pixels must be exactly those of libheif's own plugin, as
// heif-convert writes them. Large enough for several rows of coding units.
TEST(PictureFormats, HeicDecodesToTheSamePixelsAsHeifConvert) {
    QTemporaryDir dir;
    QImage img(640, 400, QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            img.setPixel(x, y, qRgb(x * 255 / 640, (y * 7 + x * 3) & 255, (x ^ y) & 255));
    const QString png = dir.filePath("source.png"), heic = dir.filePath("q.heic"),
                  decoded = dir.filePath("decoded.png");
    ASSERT_TRUE(img.save(png));
    ASSERT_TRUE(run("heif-enc", {"-q", "60", png, "-o", heic}));
    ASSERT_TRUE(run("heif-convert", {heic, decoded}));
    const Picture pic = loadPicture(heic);
    ASSERT_FALSE(pic.isNull()) << pic.error.toStdString();
    EXPECT_EQ(pic.image.convertToFormat(QImage::Format_RGB32),
              QImage(decoded).convertToFormat(QImage::Format_RGB32));
}

TEST(PictureFormats, DecoderThatHangsCrashesOrLiesIsRefused) {
    QTemporaryDir dir;
    const QString heic = make(dir, "heic");
    const QByteArray real = QFile::encodeName(pictureDecoderPath());
    ASSERT_FALSE(real.isEmpty());
    const QString pidFile = dir.filePath("pid");
    struct Case {
        const char* name;
        QByteArray body; // empty: no such program
        const char* expected;
        int timeoutMs = 20000;
    } cases[] = {
        {"hang.sh", "echo $$ >'" + QFile::encodeName(pidFile) + "'; exec sleep 30",
         "within 2000 ms", 2000},
        {"crash.sh", "kill -SEGV $$", "crashed"},
        {"fails.sh", "echo 'lumenta-picdecode: error: no luck' >&2; exit 3", "no luck"},
        {"garbage.sh", "echo 'not a picture, only words'", "too much data"},
        {"quiet.sh", "exit 0", "sent no picture"},
        // The real decoder handing over a picture of another size.
        {"liar.sh", "exec '" + real + "' \"$@\" --box 8x8", "unexpected picture"},
        {"no-such-program", {}, "not found"},
    };
    for (const Case& c : cases) {
        const QString helper =
            c.body.isEmpty() ? dir.filePath(c.name) : testutil::writeScript(dir, c.name, c.body);
        qputenv("LUMENTA_PICDECODE", QFile::encodeName(helper));
        const Picture pic = decodeInHelper(heic, {}, nullptr, c.timeoutMs);
        EXPECT_TRUE(pic.isNull()) << c.name;
        EXPECT_TRUE(pic.error.contains(QLatin1String(c.expected)))
            << c.name << ": " << pic.error.toStdString();
    }
    qunsetenv("LUMENTA_PICDECODE");
    // The hanging helper is gone, not left running.
    const int pid = testutil::readFile(pidFile).trimmed().toInt();
    ASSERT_GT(pid, 0);
    EXPECT_NE(::kill(pid, 0), 0);
}

TEST(PictureFormats, DesktopEntryDeclaresEveryPictureType) {
    QStringList declared;
    const QByteArray entry =
        testutil::readFile(QStringLiteral(LUMENTA_SOURCE_DIR "/data/lumenta.desktop"));
    for (const QByteArray& line : entry.split('\n'))
        if (line.startsWith("MimeType="))
            declared = QString::fromUtf8(line.mid(9)).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    ASSERT_FALSE(declared.isEmpty());
    const QMimeDatabase db;
    for (const QString& ext : pictureExtensions()) {
        const QMimeType type =
            db.mimeTypeForFile("x." + ext.toLower(), QMimeDatabase::MatchExtension);
        if (type.isDefault())
            continue; // an extension the system gives no type (RLE, JIF...)
        QStringList names = type.aliases();
        names << type.name();
        EXPECT_TRUE(std::any_of(names.begin(), names.end(),
                                [&](const QString& n) { return declared.contains(n); }))
            << ext.toStdString() << " (" << type.name().toStdString() << ")";
    }
}
