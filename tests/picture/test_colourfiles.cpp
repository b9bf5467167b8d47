// What files say of their colours, read and honoured: the declarations of
// each format and their order, untagged and sRGB-tagged pictures left bit
// for bit, damaged declarations shown as sRGB, CMYK JPEGs, JPEG pictures
// turned, cut, reduced and shown row by row in converted colours, HDR
// highlights tone-mapped.
#include "picture/colourchunks.h"
#include "picture/colourprofiles.h"
#include "picture/colourtransform.h"
#include "picture/pictureloader.h"
#include "support/colourtest.h"
#include "support/exifbuilder.h"
#include "support/testutil.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageReader>
#include <QtEndian>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

using namespace lumenta;
using namespace colourtest;

namespace {

QByteArray pngBytes(const QImage& img) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImage plain = img;
    plain.setColorSpace(QColorSpace());
    plain.save(&buffer, "png");
    return buffer.data();
}

QByteArray encoded(const QImage& img, const char* format, int quality = -1) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImage plain = img;
    plain.setColorSpace(QColorSpace());
    plain.save(&buffer, format, quality);
    return buffer.data();
}

QImage rgb32(const QImage& img) {
    return img.convertToFormat(QImage::Format_RGB32);
}

bool sameBits(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.format() != b.format())
        return false;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y),
                        size_t(a.width()) * size_t(a.depth() / 8)) != 0)
            return false;
    return true;
}

// An Adobe RGB JPEG with its display in sRGB, and how it looks converted.
const QByteArray& adobe() {
    static const QByteArray p = colordProfile(QStringLiteral("AdobeRGB1998.icc"));
    return p;
}

} // namespace

TEST(ColourDeclarations, EachFormatsDeclarationsAndTheirOrder) {
    const QByteArray png = pngBytes(pattern(QSize(8, 8)));
    const QByteArray p3 = displayP3Profile();
    const QByteArray gama = bigEndian32(45455);
    const QByteArray cicpP3 = QByteArray("\x0c\x0d\x00\x01", 4);
    QByteArray chrmBt2020;
    for (double v : {0.3127, 0.3290, 0.708, 0.292, 0.170, 0.797, 0.131, 0.046})
        chrmBt2020 += bigEndian32(quint32(std::lround(v * 100000)));
    const auto with = [&](const QList<std::pair<QByteArray, QByteArray>>& chunks) {
        QByteArray b = png;
        for (const auto& [type, data] : chunks)
            b = pngWithChunk(b, type, data);
        return b;
    };
    CodedColours gamma22;
    gamma22.transfer = CodedColours::Transfer::Gamma;
    gamma22.gamma = 100000.0 / 45455;
    CodedColours bt2020 = gamma22;
    bt2020.red[0] = 0.708, bt2020.red[1] = 0.292, bt2020.green[0] = 0.170;
    bt2020.green[1] = 0.797, bt2020.blue[0] = 0.131, bt2020.blue[1] = 0.046;
    const struct {
        const char* name;
        QByteArray file;
        ColourSpace expected;
    } table[] = {
        {"plain PNG", png, ColourSpace()},
        {"iCCP", with({{"iCCP", iccpChunk(p3)}}), ColourSpace::fromIcc(p3)},
        {"sRGB over gAMA", with({{"gAMA", gama}, {"sRGB", QByteArray(1, '\0')}}), ColourSpace()},
        {"iCCP over sRGB", with({{"sRGB", QByteArray(1, '\0')}, {"iCCP", iccpChunk(p3)}}),
         ColourSpace::fromIcc(p3)},
        {"cICP over iCCP", with({{"iCCP", iccpChunk(adobe())}, {"cICP", cicpP3}}),
         ColourSpace::fromCicp(12, 13)},
        {"gAMA alone", with({{"gAMA", gama}}), ColourSpace::fromCoded(gamma22)},
        {"gAMA and cHRM", with({{"cHRM", chrmBt2020}, {"gAMA", gama}}),
         ColourSpace::fromCoded(bt2020)},
        {"after the pixels: ignored",
         png.left(png.size() - 12) + pngChunk("iCCP", iccpChunk(p3)) + png.right(12),
         ColourSpace()},
        {"WebP ICCP",
         [&] {
             // RIFF, WEBP, VP8X (ICC flag), ICCP, then the picture.
             QByteArray vp8x = QByteArray("VP8X\x0a\0\0\0\x20\0\0\0\x07\0\0\x07\0\0", 18);
             QByteArray iccp = "ICCP" + QByteArray(4, '\0') + p3;
             qToLittleEndian<quint32>(quint32(p3.size()), iccp.data() + 4);
             if (p3.size() & 1)
                 iccp += '\0';
             QByteArray body = "WEBP" + vp8x + iccp + QByteArray("VP8L\0\0\0\0", 8);
             QByteArray riff = "RIFF" + QByteArray(4, '\0') + body;
             qToLittleEndian<quint32>(quint32(body.size()), riff.data() + 4);
             return riff;
         }(),
         ColourSpace::fromIcc(p3)},
    };
    for (const auto& c : table) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(declaredColourSpace(c.file).key(), c.expected.key());
    }
    // CICP code points: the usual ones, and unknown ones as sRGB.
    EXPECT_TRUE(ColourSpace::fromCicp(1, 13).isSrgb());
    EXPECT_TRUE(ColourSpace::fromCicp(2, 2).isSrgb());
    EXPECT_TRUE(ColourSpace::fromCicp(200, 13).isSrgb());
    EXPECT_TRUE(ColourSpace::fromCicp(9, 99).isSrgb());
    ASSERT_NE(ColourSpace::fromCicp(9, 16).coded(), nullptr);
    EXPECT_EQ(ColourSpace::fromCicp(9, 16).coded()->transfer, CodedColours::Transfer::Pq);
    EXPECT_DOUBLE_EQ(ColourSpace::fromCicp(9, 16).coded()->green[1], 0.797);
    EXPECT_EQ(ColourSpace::fromCicp(12, 18).coded()->transfer, CodedColours::Transfer::Hlg);
    EXPECT_DOUBLE_EQ(ColourSpace::fromCicp(11, 1).coded()->white[0], 0.314);
}

TEST(ColourDeclarations, TheHelpersMessageCarriesColoursBothWaysAndRefusesGarbage) {
    CodedColours pq;
    pq.transfer = CodedColours::Transfer::Pq;
    pq.peakNits = 4000;
    for (const ColourSpace& s : {ColourSpace(), ColourSpace::fromIcc(adobe()),
                                 ColourSpace::fromCicp(12, 13), ColourSpace::fromCoded(pq)}) {
        bool ok = false;
        EXPECT_EQ(ColourSpace::fromBytes(s.toBytes(), &ok).key(), s.key());
        EXPECT_TRUE(ok);
    }
    const QByteArray good = ColourSpace::fromCoded(pq).toBytes();
    QByteArray badGamma = ColourSpace::fromCicp(12, 4).toBytes();
    std::memset(badGamma.data() + badGamma.size() - 16, 0xff, 8); // gamma NaN
    for (const QByteArray& bad :
         {QByteArray(), QByteArray("LCS1"), QByteArray("LCS1\x07"), good.left(good.size() - 1),
          good + 'x', QByteArray("LCS1\x01\xff\xff\xff\xff"), badGamma,
          QByteArray("XCS1\x00", 5)}) {
        bool ok = true;
        EXPECT_TRUE(ColourSpace::fromBytes(bad, &ok).isSrgb());
        EXPECT_FALSE(ok);
    }
}

TEST(Colours, UntaggedAndSrgbTaggedPicturesAreLeftBitForBit) {
    QTemporaryDir dir;
    const QImage picture = pattern();
    const QByteArray srgb = colordProfile(QStringLiteral("sRGB.icc"));
    ASSERT_FALSE(srgb.isEmpty());
    const QByteArray jpeg = encoded(picture, "jpeg", 90);
    const QByteArray png = pngBytes(picture);
    // djpeg decodes with the same library and settings.
    const QString plainJpeg = testutil::writeFile(dir, QStringLiteral("plain.jpg"), jpeg);
    const QString ppm = dir.filePath(QStringLiteral("plain.ppm"));
    ASSERT_TRUE(run(QStringLiteral("djpeg"), {QStringLiteral("-outfile"), ppm, plainJpeg}));
    const QImage jpegPixels = rgb32(QImage(ppm));
    const QImage pngPixels = rgb32(picture);
    const struct {
        const char* name;
        QByteArray file;
        QImage expected;
    } table[] = {
        {"JPEG", jpeg, jpegPixels},
        {"JPEG with sRGB profile", jpegWithProfile(jpeg, srgb), jpegPixels},
        {"PNG", png, pngPixels},
        {"PNG with sRGB chunk", pngWithChunk(png, "sRGB", QByteArray(1, '\0')), pngPixels},
        {"PNG with sRGB profile", pngWithChunk(png, "iCCP", iccpChunk(srgb)), pngPixels},
        {"PNG with sRGB cICP", pngWithChunk(png, "cICP", QByteArray("\x01\x0d\x00\x01", 4)),
         pngPixels},
        {"BMP", encoded(picture, "bmp"), pngPixels},
        {"TIFF", encoded(picture, "tiff"), pngPixels},
    };
    // On an sRGB display, and on one whose profile is sRGB's.
    for (const ColourSpace& display : {ColourSpace(), ColourSpace::fromIcc(srgb)}) {
        for (const auto& c : table) {
            SCOPED_TRACE(c.name);
            PictureNeed need;
            need.colours = display;
            const Picture pic = loadPicture(
                testutil::writeFile(dir, QStringLiteral("picture.") + c.name, c.file), need);
            ASSERT_FALSE(pic.isNull()) << pic.error.toStdString();
            EXPECT_TRUE(sameBits(rgb32(pic.image), c.expected));
        }
    }
    // A palette picture keeps its palette.
    const QString gif = testutil::sample(QStringLiteral("gif/static.gif"));
    EXPECT_TRUE(sameBits(loadPicture(gif).image, QImage(gif)));
}

TEST(Colours, DamagedDeclarationsShowAsSrgb) {
    QTemporaryDir dir;
    const QImage picture = pattern();
    const QByteArray jpeg = encoded(picture, "jpeg", 90);
    const QByteArray png = pngBytes(picture);
    const QImage jpegPixels = loadPicture(testutil::writeFile(dir, "plain.jpg", jpeg)).image;
    const QImage pngPixels = rgb32(picture);
    QByteArray scrambled = adobe();
    for (qsizetype i = 128; i < scrambled.size(); ++i)
        scrambled[i] = char(scrambled[i] ^ (i * 37));
    QByteArray hugeTags = adobe();
    qToBigEndian<quint32>(0x7fffffff, hugeTags.data() + 128); // tag count
    const QByteArray profiles[] = {
        QByteArray("not a profile at all"),
        adobe().left(200),
        scrambled,
        hugeTags,
        cmykProfile(), // for other pixels than these
    };
    for (const QByteArray& bad : profiles) {
        SCOPED_TRACE(bad.left(24).toHex().toStdString());
        const Picture j = loadPicture(
            testutil::writeFile(dir, QStringLiteral("bad.jpg"), jpegWithProfile(jpeg, bad)));
        ASSERT_FALSE(j.isNull());
        EXPECT_TRUE(sameBits(j.image, jpegPixels));
        const Picture p = loadPicture(testutil::writeFile(
            dir, QStringLiteral("bad.png"), pngWithChunk(png, "iCCP", iccpChunk(bad))));
        ASSERT_FALSE(p.isNull());
        EXPECT_TRUE(sameBits(rgb32(p.image), pngPixels));
    }
    // Chunks that cannot be read.
    const QByteArray chunks[][2] = {
        {"iCCP", QByteArray("name\0\0not zlib at all", 20)},
        {"iCCP", QByteArray("\0\0", 2) + qCompress(adobe()).mid(4)},          // no name
        {"iCCP", QByteArray("name\0\0", 6) + qCompress(adobe()).mid(4, 300)}, // cut short
        {"gAMA", bigEndian32(0)},
        {"cHRM", QByteArray(32, '\0')},
        {"cICP", QByteArray("\x09\x10\x01\x01", 4)}, // not RGB
        {"cICP", QByteArray("\xc8\xc8\x00\x01", 4)}, // unknown code points
    };
    for (const auto& chunk : chunks) {
        SCOPED_TRACE(chunk[0].toStdString());
        const Picture p = loadPicture(testutil::writeFile(dir, QStringLiteral("bad.png"),
                                                          pngWithChunk(png, chunk[0], chunk[1])));
        ASSERT_FALSE(p.isNull());
        EXPECT_TRUE(sameBits(rgb32(p.image), pngPixels));
    }
}

TEST(Colours, CmykJpegsKeepTheirColours) {
    QTemporaryDir dir;
    const QString plain = testutil::sample(QStringLiteral("jpeg/cmyk.jpg"));
    // Without a profile, as Qt's reader shows them.
    const Picture untagged = loadPicture(plain);
    ASSERT_FALSE(untagged.isNull());
    EXPECT_LT(deltaE2000(untagged.image, rgb32(QImage(plain))).max, 1.0);
    // With one, as lcms2's jpgicc converts them.
    const QString tagged =
        testutil::writeFile(dir, QStringLiteral("tagged.jpg"),
                            jpegWithProfile(testutil::readFile(plain), cmykProfile()));
    const QString ref = dir.filePath(QStringLiteral("ref.jpg"));
    ASSERT_TRUE(run(QStringLiteral("jpgicc"), {QStringLiteral("-q100"), tagged, ref}));
    const Picture pic = loadPicture(tagged);
    ASSERT_FALSE(pic.isNull());
    const DeltaE e = deltaE2000(pic.image, QImage(ref));
    std::printf("%-36s %-8s dE2000 mean %.2f max %.2f\n", "CMYK JPEG (tables)", "sRGB", e.mean,
                e.max);
    EXPECT_LE(e.mean, 1.5);
    EXPECT_LE(e.max, 3.0);
    EXPECT_GT(deltaE2000(pic.image, untagged.image).mean, 2.0);
}

namespace {

// Keeps copies of the rows announced as they arrive.
class RowWatcher : public LoadProgress {
public:
    void rowsStarted(const QImage& buffer) override { m_buffer = buffer; }
    void rowsDecoded(int rows) override {
        // Rows announced are final: they must already be converted.
        for (int y = m_seen; y < rows; ++y)
            m_rows.append(QByteArray(reinterpret_cast<const char*>(m_buffer.constScanLine(y)),
                                     m_buffer.bytesPerLine()));
        m_seen = rows;
    }
    QList<QByteArray> m_rows;

private:
    QImage m_buffer;
    int m_seen = 0;
};

} // namespace

TEST(Colours, JpegPicturesConvertAlikeTurnedCutReducedAndRowByRow) {
    QTemporaryDir dir;
    // Large enough for the strips to be converted on a second thread.
    const QImage picture = pattern(QSize(2048, 1100));
    const QByteArray jpeg = encoded(picture, "jpeg", 92);
    const QString plain = testutil::writeFile(dir, QStringLiteral("plain.jpg"), jpeg);
    const QString tagged =
        testutil::writeFile(dir, QStringLiteral("adobe.jpg"), jpegWithProfile(jpeg, adobe()));
    const QImage expected =
        convertColours(loadPicture(plain).image, ColourSpace::fromIcc(adobe()), ColourSpace());
    RowWatcher rows;
    const Picture whole = loadPicture(tagged, {}, &rows);
    ASSERT_FALSE(whole.isNull());
    EXPECT_TRUE(sameBits(whole.image, expected));
    ASSERT_EQ(rows.m_rows.size(), expected.height());
    for (int y = 0; y < expected.height(); y += 7)
        ASSERT_EQ(rows.m_rows[y],
                  QByteArray(reinterpret_cast<const char*>(expected.constScanLine(y)),
                             expected.bytesPerLine()))
            << "row " << y;
    // A part, turned by EXIF, reduced.
    PictureNeed part;
    part.region = QRect(300, 200, 640, 480);
    const Picture cut = loadPicture(tagged, part);
    EXPECT_TRUE(sameBits(cut.image, expected.copy(part.region)));
    const QString turned = testutil::writeFile(
        dir, QStringLiteral("turned.jpg"),
        jpegWithProfile(testutil::withExifThumbnail(jpeg, QByteArray(), 6), adobe()));
    const Picture upright = loadPicture(turned);
    EXPECT_TRUE(sameBits(upright.image, expected.transformed(QTransform().rotate(90))));
    const PictureNeed small{PictureNeed::Kind::Thumbnail, QSize(256, 256)};
    const Picture thumb = loadPicture(tagged, small);
    ASSERT_EQ(thumb.image.size(), reducedSize(picture.size(), small));
    EXPECT_LT(deltaE2000(thumb.image, expected.scaled(thumb.image.size(), Qt::IgnoreAspectRatio,
                                                      Qt::SmoothTransformation))
                  .mean,
              1.5);
}

TEST(Colours, HdrHighlightsAreToneMappedNotClipped) {
    using colour::pqToDisplay;
    using colour::toneMap;
    // Unchanged below the knee, smooth and rising above, the peak on white.
    EXPECT_DOUBLE_EQ(toneMap(0.3, 10), 0.3);
    EXPECT_DOUBLE_EQ(toneMap(10, 10), 1.0);
    double last = 0;
    for (double x = 0.05; x <= 10; x += 0.05) {
        EXPECT_GT(toneMap(x, 10), last) << x;
        last = toneMap(x, 10);
    }
    EXPECT_NEAR(colour::hlgToDisplay(0.75), toneMap(1, 1000 / colour::kHdrReferenceWhite), 0.01);

    // PQ greys of 100, 203, 400, 1000, 2000 and 4000 cd/m2 in a JPEG XL
    // file that says 4000 is its brightest: all told apart, only the
    // brightest on the display's white.
    QTemporaryDir dir;
    const auto pq = [](double nits) {
        constexpr double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128;
        constexpr double c1 = 3424.0 / 4096, c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
        const double y = std::pow(nits / 10000, m1);
        return std::pow((c1 + c2 * y) / (1 + c3 * y), m2);
    };
    const double nits[] = {100, 203, 400, 1000, 2000, 4000};
    QImage steps(6 * 8, 8, QImage::Format_RGB32);
    for (int x = 0; x < steps.width(); ++x) {
        const int v = int(std::lround(pq(nits[x / 8]) * 255));
        for (int y = 0; y < 8; ++y)
            steps.setPixel(x, y, qRgb(v, v, v));
    }
    const QString source = testutil::writeFile(dir, QStringLiteral("steps.png"), pngBytes(steps));
    const QString path = dir.filePath(QStringLiteral("steps.jxl"));
    ASSERT_TRUE(run(QStringLiteral("cjxl"),
                    {source, path, QStringLiteral("-d"), QStringLiteral("0"),
                     QStringLiteral("--intensity_target=4000"), QStringLiteral("-x"),
                     QStringLiteral("color_space=RGB_D65_202_Rel_PeQ")}));
    const Picture pic = loadPicture(path);
    ASSERT_FALSE(pic.isNull()) << pic.error.toStdString();
    int previous = -1;
    for (int i = 0; i < 6; ++i) {
        const int v = qGreen(pic.image.pixel(i * 8 + 4, 4));
        EXPECT_GT(v, previous) << nits[i] << " cd/m2";
        if (i < 5)
            EXPECT_LT(v, 254) << nits[i] << " cd/m2";
        previous = v;
    }
    // Reference white is well lit, not dimmed to nothing.
    EXPECT_GT(qGreen(pic.image.pixel(8 + 4, 4)), 180);
}

TEST(Colours, ACameraSetToAdobeRgbSaysSoInItsExifBlock) {
    // EXIF: IFD0 -> Exif IFD (ColorSpace, Interoperability IFD) -> "R03".
    const auto block = [](quint16 colourSpace, const char* index) {
        QByteArray t("II*\0\x08\0\0\0", 8);
        const auto u16 = [&t](quint16 v) { t += char(v & 0xff), t += char(v >> 8); };
        const auto u32 = [&](quint32 v) { u16(quint16(v & 0xffff)), u16(quint16(v >> 16)); };
        const auto entry = [&](quint16 tag, quint16 type, quint32 count, quint32 value) {
            u16(tag), u16(type), u32(count), u32(value);
        };
        u16(1), entry(0x8769, 4, 1, 26), u32(0);                           // IFD0 at 8
        u16(2), entry(0xa001, 3, 1, colourSpace), entry(0xa005, 4, 1, 56); // Exif IFD at 26
        u32(0);
        u16(1), u16(0x0001), u16(2), u32(4); // Interop IFD at 56
        t += QByteArray(index, 4);
        u32(0);
        return QByteArray("Exif\0\0", 6) + t;
    };
    EXPECT_TRUE(exifSaysAdobeRgb(block(0xffff, "R03\0")));
    EXPECT_FALSE(exifSaysAdobeRgb(block(1, "R03\0")));
    EXPECT_FALSE(exifSaysAdobeRgb(block(0xffff, "R98\0")));
    // Cut anywhere before the index's value ends ("Exif\0\0", then 56 + 14).
    for (int cut = 0; cut < 6 + 56 + 14; cut += 3)
        EXPECT_FALSE(exifSaysAdobeRgb(block(0xffff, "R03\0").left(cut))) << cut;

    QTemporaryDir dir;
    const QImage picture = pattern();
    const QByteArray jpeg = encoded(picture, "jpeg", 92);
    const auto withExif = [&jpeg](const QByteArray& app1) {
        const int length = int(app1.size()) + 2;
        return jpeg.left(2) + QByteArray("\xFF\xE1", 2) + char(length >> 8) + char(length & 0xff) +
               app1 + jpeg.mid(2);
    };
    const Picture raw = loadPicture(testutil::writeFile(dir, QStringLiteral("plain.jpg"), jpeg));
    const Picture adobeCamera = loadPicture(
        testutil::writeFile(dir, QStringLiteral("adobe.jpg"), withExif(block(0xffff, "R03\0"))));
    const DeltaE e = deltaE2000(adobeCamera.image, reference(dir, raw.image, adobe()));
    EXPECT_LE(e.mean, 1.5);
    EXPECT_LE(e.max, 3.0);
    const Picture srgbCamera = loadPicture(
        testutil::writeFile(dir, QStringLiteral("srgb.jpg"), withExif(block(1, "R98\0"))));
    EXPECT_TRUE(sameBits(srgbCamera.image, raw.image));
}
