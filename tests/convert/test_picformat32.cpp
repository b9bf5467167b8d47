// The conversion on copies of the fixtures: every output decoded again and
// compared with its source (in sRGB, whatever the display's colours); its own
// BMP, JPEG and GIF writers read back by Qt's readers, and a writer that stops
// half way leaves nothing behind.
#include "convert/convertrules.h"
#include "convert/palette.h"
#include "convert/picformat32.h"
#include "convert/picturewriters.h"
#include "convert/rasterwriters.h"
#include "picture/pictureservice.h"
#include "support/colourtest.h"
#include "support/exifbuilder.h"
#include "support/testutil.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QtEndian>
#include <gtest/gtest.h>

#include <cmath>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace lumenta;
using S = ConversionOutcome::Status;
using testutil::readFile;

namespace {

// As root, a small volume of the test's own, in a mount namespace nobody
// else sees (made before any thread starts).
const bool privateMounts = geteuid() == 0 && unshare(CLONE_NEWNS) == 0 &&
                           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;

QByteArray written(const std::function<bool(const ByteWriter&)>& produce, bool* ok = nullptr) {
    QByteArray bytes;
    const bool made = produce([&bytes](const char* data, qint64 size) {
        bytes.append(data, size);
        return true;
    });
    if (ok)
        *ok = made;
    return bytes;
}

QImage readBack(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    return reader.read();
}

// A picture of many colours, of odd size so that bitmap rows need padding.
QImage colourful(QSize size, QImage::Format format) {
    QImage img(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            img.setPixel(x, y, qRgb(x * 37 % 256, y * 53 % 256, (x + y) * 11 % 256));
    img.setDotsPerMeterX(3937);
    img.setDotsPerMeterY(2835);
    return img.convertToFormat(format);
}

QImage decoded(const QString& path) {
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.read();
}

QImage rgb(const QImage& image) {
    return image.convertToFormat(QImage::Format_RGB32);
}

// Mean squared difference of two pictures' colours, and the PSNR of their
// luma (JPEG halves the colour resolution).
double meanSquared(const QImage& a, const QImage& b, bool luma = false) {
    const QImage x = rgb(a);
    const QImage y = rgb(b);
    double sum = 0;
    for (int r = 0; r < x.height(); ++r)
        for (int c = 0; c < x.width(); ++c) {
            const QRgb p = x.pixel(c, r);
            const QRgb q = y.pixel(c, r);
            if (luma) {
                const double d = 0.299 * (qRed(p) - qRed(q)) + 0.587 * (qGreen(p) - qGreen(q)) +
                                 0.114 * (qBlue(p) - qBlue(q));
                sum += 3 * d * d;
                continue;
            }
            for (int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)})
                sum += d * d;
        }
    return sum / (3.0 * x.width() * x.height());
}

double lumaPsnr(const QImage& a, const QImage& b) {
    return 10 * std::log10(255.0 * 255.0 / std::max(meanSquared(a, b, true), 1e-9));
}

class Convert : public ::testing::Test {
protected:
    enum Op { GifToBmp, BmpToGif, JpegToBmp, BmpToJpeg };
    // Runs one operation and waits for its outcome.
    ConversionOutcome run(Op op, const QString& from, const QString& to,
                          int compression = kDefaultCompression) {
        std::optional<ConversionOutcome> got;
        auto c = QObject::connect(&pf, &PicFormat32::finished,
                                  [&](const ConversionOutcome& o) { got = o; });
        const bool started = op == GifToBmp    ? pf.GifToBmp(from, to)
                             : op == BmpToGif  ? pf.BmpToGif(from, to)
                             : op == JpegToBmp ? pf.JpegToBmp(from, to)
                                               : pf.BmpToJpeg(from, to, compression);
        EXPECT_TRUE(started);
        EXPECT_TRUE(testutil::waitUntil([&] { return got.has_value(); }, 20000));
        QObject::disconnect(c);
        return got.value_or(ConversionOutcome{S::Unwritable});
    }
    QString copy(const QString& fixture, const QString& name = QString()) {
        return testutil::copyFixture(dir, QStringLiteral("pictures/samples/") + fixture, name);
    }
    QString out(const QString& name) const { return dir.filePath(name); }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir dir;
    PictureService pictures;
    PicFormat32 pf{pictures};
};

} // namespace

TEST(ConvertRules, DestinationReplacesTheWholeExtensionOfTheFileName) {
    const std::pair<const char*, const char*> cases[] = {
        {"/images/photo.gif", "/images/photo.bmp"},
        {"/images/photo.jpeg", "/images/photo.bmp"},
        {"/images/photo.jif", "/images/photo.bmp"},
        {"/images/photo", "/images/photo.bmp"},
        {"/my.pictures/v1.2/photo", "/my.pictures/v1.2/photo.bmp"},
        {"/my.pictures/a.b.gif", "/my.pictures/a.b.bmp"},
        {"/images/.gif", "/images/.gif.bmp"},
    };
    for (const auto& [source, expected] : cases)
        EXPECT_EQ(destinationFor(QString::fromUtf8(source), QStringLiteral(".bmp")),
                  QString::fromUtf8(expected));
}

TEST(ConvertRules, CompressionMapsOntoFallingJpegQuality) {
    EXPECT_EQ(clampCompression(5), 20);
    EXPECT_EQ(clampCompression(500), 130);
    int previous = 101;
    for (int s = 0; s <= 130; ++s) {
        const int q = jpegQualityFor(s);
        EXPECT_TRUE(q >= 0 && q <= 100 && q <= previous) << s;
        previous = q;
    }
    EXPECT_GE(jpegQualityFor(65), 80); // a good everyday quality
    EXPECT_LT(jpegQualityFor(130), jpegQualityFor(20));
}

TEST_F(Convert, EachOperationRoundTripsThePicture) {
    // An animated GIF gives its first frame.
    const std::pair<Op, const char*> exact[] = {{GifToBmp, "gif/static.gif"},
                                                {GifToBmp, "gif/animated_4frames.gif"},
                                                {JpegToBmp, "jpeg/baseline.jpg"}};
    for (const auto& [op, fixture] : exact) {
        const QString source = copy(QLatin1String(fixture));
        const QString bmp = source + QStringLiteral(".bmp");
        ASSERT_TRUE(run(op, source, bmp).ok()) << fixture;
        EXPECT_EQ(rgb(decoded(bmp)), rgb(decoded(source))) << fixture;
    }

    // 403 colours: reduced to a palette, the error stays small.
    const QString bmp = copy("bmp/bmp24.bmp");
    ASSERT_TRUE(run(BmpToGif, bmp, out("bmp24.gif")).ok());
    const QImage reduced = decoded(out("bmp24.gif"));
    ASSERT_EQ(reduced.size(), decoded(bmp).size());
    EXPECT_LT(meanSquared(reduced, decoded(bmp)), 20.0);
    EXPECT_TRUE(readFile(out("bmp24.gif")).startsWith("GIF89a"));
    // A large picture's palette comes from a sample of its pixels.
    QImage many(400, 300, QImage::Format_RGB32);
    for (int y = 0; y < many.height(); ++y)
        for (int x = 0; x < many.width(); ++x)
            many.setPixel(x, y, qRgb(x * 255 / 399, y * 255 / 299, 100 + (x * y) % 64));
    const double whole = meanSquared(reducedPalette(many, LLONG_MAX).image, many);
    EXPECT_LT(meanSquared(reducedPalette(many, 20000).image, many), whole * 1.25 + 2) << whole;

    ASSERT_TRUE(run(BmpToJpeg, bmp, out("bmp24.jpg")).ok());
    EXPECT_EQ(QImageReader(out("bmp24.jpg")).format(), "jpeg");
    EXPECT_GT(lumaPsnr(decoded(out("bmp24.jpg")), decoded(bmp)), 35.0);
    EXPECT_EQ(files().filter(QStringLiteral(".part")), QStringList());
}

TEST_F(Convert, HigherCompressionGivesSmallerFiles) {
    const QString bmp = copy("bmp/bmp24.bmp");
    qint64 previous = LLONG_MAX;
    for (int setting : {20, 65, 100, 130}) {
        const QString jpg = out(QStringLiteral("c%1.jpg").arg(setting));
        ASSERT_TRUE(run(BmpToJpeg, bmp, jpg, setting).ok());
        EXPECT_LT(QFileInfo(jpg).size(), previous) << setting;
        previous = QFileInfo(jpg).size();
    }
}

TEST_F(Convert, A256ColourBitmapGoesThroughGifAndBackUnchanged) {
    const QString bmp = copy("bmp/bmp8.bmp");
    ASSERT_TRUE(run(BmpToGif, bmp, out("p.gif")).ok());
    ASSERT_TRUE(run(GifToBmp, out("p.gif"), out("back.bmp")).ok());
    const QImage before = decoded(bmp);
    const QImage after = decoded(out("back.bmp"));
    ASSERT_EQ(after.format(), QImage::Format_Indexed8);
    EXPECT_EQ(after.colorTable().mid(0, before.colorCount()), before.colorTable());
    for (int y = 0; y < before.height(); ++y)
        ASSERT_EQ(memcmp(before.constScanLine(y), after.constScanLine(y), size_t(before.width())),
                  0)
            << "row " << y;
}

TEST_F(Convert, TransparencyBecomesAnIndexInGifAndWhiteElsewhere) {
    const QString gif = copy("gif/transparent.gif");
    ASSERT_TRUE(run(GifToBmp, gif, out("t.bmp")).ok());
    const QImage source = decoded(gif).convertToFormat(QImage::Format_ARGB32);
    const QImage flat = decoded(out("t.bmp"));
    int clear = 0;
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x)
            if (qAlpha(source.pixel(x, y)) == 0) {
                ++clear;
                ASSERT_EQ(flat.pixel(x, y), qRgb(255, 255, 255));
            }
    ASSERT_GT(clear, 0);

    const QString alpha = copy("bmp/bmp32_v5_alpha.bmp");
    ASSERT_TRUE(run(BmpToGif, alpha, out("a.gif")).ok());
    const QImage a = decoded(alpha).convertToFormat(QImage::Format_ARGB32);
    const QImage g = decoded(out("a.gif")).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            ASSERT_EQ(qAlpha(g.pixel(x, y)), qAlpha(a.pixel(x, y)) < 128 ? 0 : 255);
}

TEST(Palette, SmallTransparentAreasKeepTheirIndexWhateverTheSample) {
    // A photo-like picture of more colours than a palette holds, with clear
    // spots of a few pixels that a sample of its pixels easily misses.
    const struct {
        const char* name;
        QList<QRect> clear;
    } cases[] = {
        {"one pixel in a corner", {QRect(0, 0, 1, 1)}},
        {"single pixels", {QRect(3, 5, 1, 1), QRect(151, 77, 1, 1), QRect(298, 198, 1, 1)}},
        {"a small hole", {QRect(100, 100, 2, 2)}},
        {"none", {}},
    };
    for (const auto& c : cases) {
        QImage picture(300, 200, QImage::Format_ARGB32);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(x, y, qRgb(x * 255 / 299, y * 255 / 199, (x * 7 + y * 3) % 256));
        for (const QRect& r : c.clear)
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    picture.setPixel(x, y, qRgba(0, 0, 0, 0));
        for (qint64 sample : {qint64(2000), LLONG_MAX}) {
            const IndexedPicture indexed = reducedPalette(picture, sample);
            ASSERT_FALSE(indexed.image.isNull()) << c.name;
            EXPECT_EQ(indexed.transparent >= 0, !c.clear.isEmpty()) << c.name << ' ' << sample;
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x) {
                    const bool clear = qAlpha(picture.pixel(x, y)) == 0;
                    ASSERT_EQ(indexed.image.pixelIndex(x, y) == indexed.transparent, clear)
                        << c.name << ' ' << sample << " at " << x << ',' << y;
                }
        }
    }
}

TEST_F(Convert, FailuresSayWhyAndLeaveNoFile) {
    // One pixel over the largest side GIF stores.
    QImage wide(65536, 1, QImage::Format_RGB32);
    wide.fill(Qt::red);
    ASSERT_TRUE(wide.save(out("wide.bmp"), "BMP"));
    const QString huge = copy("broken/bmp_100000x100000.bmp");
    const QString text = copy("broken/text_renamed.bmp");
    const QString good = copy("bmp/bmp8.bmp");
    const QString kept = copy("gif/static.gif", QStringLiteral("kept.gif"));
    QDir(dir.path()).mkdir(QStringLiteral("folder.gif"));
    const QByteArray keptBytes = readFile(kept);
    const QStringList before = files();
    struct Case {
        QString source, destination;
        S status;
    } cases[] = {
        {out("missing.bmp"), out("missing.gif"), S::Unreadable},
        {text, kept, S::Unreadable},
        {out("wide.bmp"), out("wide.gif"), S::TooLarge},
        {huge, out("huge.gif"), S::Unreadable}, // too large for the reader
        {good, out("no/such/folder.gif"), S::Unwritable},
        {good, out("folder.gif"), S::Unwritable},
        {good, dir.path() + "/./../" + QFileInfo(dir.path()).fileName() + "/bmp8.bmp", S::SameFile},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(run(BmpToGif, c.source, c.destination).status, c.status)
            << c.destination.toStdString();
        EXPECT_EQ(files(), before) << c.destination.toStdString();
    }
    EXPECT_EQ(readFile(kept), keptBytes);
}

TEST_F(Convert, AFileOfAnotherFormatIsNamedBeforeItIsConverted) {
    const QString jif = copy("jpeg/baseline_copy.jif");
    QStringList asked;
    bool answer = false;
    pf.confirmFormat = [&](const QString&, const QString& found, const QString& expected) {
        asked << found + '/' + expected;
        return answer;
    };
    EXPECT_EQ(run(GifToBmp, jif, out("jif.bmp")).status, S::Cancelled);
    EXPECT_FALSE(QFile::exists(out("jif.bmp")));
    answer = true;
    EXPECT_TRUE(run(GifToBmp, jif, out("jif.bmp")).ok());
    EXPECT_EQ(asked, QStringList({"JPEG/GIF", "JPEG/GIF"}));
    EXPECT_EQ(rgb(decoded(out("jif.bmp"))), rgb(decoded(jif)));
}

TEST_F(Convert, PicturesAreWrittenInSrgbWhateverTheDisplay) {
    const QByteArray adobe = colourtest::colordProfile(QStringLiteral("AdobeRGB1998.icc"));
    pictures.setDisplayColours(ColourSpace::fromIcc(colourtest::monitorProfile()));
    const QByteArray jpeg = testutil::jpegBytes(colourtest::pattern(), 95);
    const QString plain = testutil::writeFile(dir, QStringLiteral("plain.jpg"), jpeg);
    const QString tagged = testutil::writeFile(dir, QStringLiteral("adobe.jpg"),
                                               colourtest::jpegWithProfile(jpeg, adobe));
    ASSERT_EQ(run(JpegToBmp, tagged, out(QStringLiteral("adobe.bmp"))).status, S::Done);
    const QImage expected = colourtest::reference(dir, loadPicture(plain).image, adobe);
    const colourtest::DeltaE e = colourtest::deltaE2000(decoded(out("adobe.bmp")), expected);
    EXPECT_LE(e.mean, 1.5);
    EXPECT_LE(e.max, 3.0);
}

TEST(ConvertWriters, BitmapsReadBackPixelForPixel) {
    QImage indexed(5, 3, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)});
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            indexed.setPixel(x, y, uint((x + y) % 3));
    const struct {
        const char* name;
        QImage image;
        int bits;
    } cases[] = {
        {"1 wide", colourful({1, 4}, QImage::Format_RGB32), 24},
        {"2 wide", colourful({2, 3}, QImage::Format_RGB32), 24},
        {"7 wide", colourful({7, 5}, QImage::Format_RGB32), 24},
        {"24 bits", colourful({33, 9}, QImage::Format_RGB888), 24},
        {"16 bits", colourful({9, 4}, QImage::Format_RGB16), 24},
        {"indexed", indexed, 8},
    };
    for (const auto& c : cases) {
        const QByteArray bytes = written([&](const ByteWriter& w) { return writeBmp(c.image, w); });
        ASSERT_GT(bytes.size(), 54) << c.name;
        // The header's file size and depth.
        EXPECT_EQ(qFromLittleEndian<quint32>(bytes.constData() + 2), quint32(bytes.size()))
            << c.name;
        EXPECT_EQ(qFromLittleEndian<quint16>(bytes.constData() + 28), c.bits) << c.name;
        const QImage back = readBack(bytes);
        ASSERT_EQ(back.size(), c.image.size()) << c.name;
        EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32),
                  c.image.convertToFormat(QImage::Format_RGB32))
            << c.name;
        EXPECT_EQ(back.dotsPerMeterX(), c.image.dotsPerMeterX()) << c.name;
        EXPECT_EQ(back.dotsPerMeterY(), c.image.dotsPerMeterY()) << c.name;
    }
}

TEST(ConvertWriters, JpegKeepsGreyResolutionAndProfile) {
    QImage grey(40, 30, QImage::Format_Indexed8);
    for (int i = 0; i < 256; ++i)
        grey.setColor(i, qRgb(i, i, i));
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            grey.setPixel(x, y, uint(x * 6));
    grey.setDotsPerMeterX(11811); // 300 dpi
    grey.setDotsPerMeterY(11811);
    QImage mono(16, 8, QImage::Format_Mono);
    mono.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    mono.fill(1);
    QImage colour = colourful({41, 27}, QImage::Format_RGB32);
    colour.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
    const struct {
        const char* name;
        QImage image;
        QImage::Format read;
    } cases[] = {
        {"grey levels", grey, QImage::Format_Grayscale8},
        {"black and white", mono, QImage::Format_Grayscale8},
        {"colour with a profile", colour, QImage::Format_RGB32},
    };
    for (const auto& c : cases) {
        const QImage back =
            readBack(written([&](const ByteWriter& w) { return writeJpeg(c.image, 90, w); }));
        ASSERT_EQ(back.size(), c.image.size()) << c.name;
        EXPECT_EQ(back.format(), c.read) << c.name;
        EXPECT_EQ(back.colorSpace(), c.image.colorSpace()) << c.name;
        EXPECT_NEAR(back.dotsPerMeterX(), c.image.dotsPerMeterX(), 40) << c.name;
        if (c.read == QImage::Format_Grayscale8)
            EXPECT_NEAR(qGray(back.pixel(20, 10)), qGray(c.image.pixel(20, 10)), 3) << c.name;
    }
}

TEST(ConvertWriters, EveryWriterStopsWhenTheFileRefuses) {
    const QImage photo = colourful({700, 500}, QImage::Format_RGB32); // pieces of 1 MB
    const IndexedPicture indexed = reducedPalette(photo);
    const std::pair<const char*, std::function<bool(const ByteWriter&)>> writers[] = {
        {"BMP", [&](const ByteWriter& w) { return writeBmp(photo, w); }},
        {"JPEG", [&](const ByteWriter& w) { return writeJpeg(photo, 95, w); }},
        {"GIF", [&](const ByteWriter& w) { return writeGif(indexed, w); }},
    };
    for (const auto& [name, produce] : writers) {
        int pieces = 0;
        const bool made = produce([&pieces](const char*, qint64) { return ++pieces == 0; });
        EXPECT_FALSE(made) << name;
        EXPECT_EQ(pieces, 1) << name; // nothing more after the refusal
        bool ok = false;
        written(produce, &ok);
        EXPECT_TRUE(ok) << name;
    }
}

TEST_F(Convert, AConversionOntoAFullVolumeLeavesNothing) {
    if (!privateMounts)
        GTEST_SKIP() << "needs root for a small volume of its own";
    const QString small = out(QStringLiteral("small"));
    QDir().mkpath(small);
    ASSERT_EQ(mount("tmpfs", QFile::encodeName(small).constData(), "tmpfs", 0, "size=256k"), 0);
    const QString source = out(QStringLiteral("photo.jpg"));
    ASSERT_TRUE(colourful({400, 300}, QImage::Format_RGB32).save(source, "JPEG"));
    // Its bitmap (360 KB) does not fit; the file it would replace stays.
    const QString kept = testutil::writeFile(dir, QStringLiteral("small/kept.bmp"), "old");
    const ConversionOutcome got = run(JpegToBmp, source, kept);
    EXPECT_EQ(got.status, S::Unwritable);
    EXPECT_EQ(got.file.error, FileError::DiskFull);
    EXPECT_EQ(readFile(kept), "old");
    EXPECT_EQ(QDir(small).entryList(QDir::Files | QDir::Hidden), QStringList{"kept.bmp"});
    umount2(QFile::encodeName(small).constData(), MNT_DETACH);
}
