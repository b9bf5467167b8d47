// TGA: files by ImageMagick and by hand decoded to known pixels, damaged ones
// refused, the viewer and the browser's header test taking TGA for what it is.
#include "browser/pictureprobe.h"
#include "picture/pictureloader.h"
#include "picture/tgareader.h"
#include "support/colourtest.h"
#include "support/testutil.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <vector>

using namespace lumenta;

namespace {

QByteArray le16(int v) {
    return QByteArray(1, char(v & 0xff)) + char((v >> 8) & 0xff);
}

// A pixel as stored: blue, green, red (and alpha).
QByteArray bgr(QRgb c) {
    return QByteArray(1, char(qBlue(c))) + char(qGreen(c)) + char(qRed(c));
}

QByteArray bgra(QRgb c) {
    return bgr(c) + char(qAlpha(c));
}

// A 15/16-bit pixel from 5-bit components and the attribute bit.
QByteArray p16(int r, int g, int b, int a = 0) {
    return le16(a << 15 | r << 10 | g << 5 | b);
}

int up5(int v) {
    return v << 3 | v >> 2;
}

// f of each of v.
template <typename T, typename F> auto each(const std::vector<T>& v, F f) {
    std::vector<decltype(f(v[0]))> out;
    for (const T& x : v)
        out.push_back(f(x));
    return out;
}

struct Tga {
    int type = 2;
    int bits = 24;
    int descriptor = 0;
    QByteArray pixels; // as stored
    QSize size{3, 2};
    int mapBits = 0; // a colour map when non-zero
    int mapFirst = 0;
    QByteArray map;
    QByteArray id;
    bool footer = false;
    int attributesType = -1; // with the footer, an extension area saying this
};

QByteArray bytesOf(const Tga& t) {
    const int entry = (t.mapBits + 7) / 8;
    QByteArray out(1, char(t.id.size()));
    out += char(t.mapBits ? 1 : 0);
    out += char(t.type);
    out += le16(t.mapFirst) + le16(entry ? t.map.size() / entry : 0) + char(t.mapBits);
    out += le16(0) + le16(0) + le16(t.size.width()) + le16(t.size.height());
    out += char(t.bits);
    out += char(t.descriptor);
    out += t.id + t.map + t.pixels;
    if (t.footer || t.attributesType >= 0) {
        int extension = 0;
        if (t.attributesType >= 0) {
            extension = int(out.size());
            QByteArray area(495, '\0');
            area.replace(0, 2, le16(495));
            area[494] = char(t.attributesType);
            out += area;
        }
        out +=
            le16(extension) + le16(0) + QByteArray(4, '\0') + QByteArray("TRUEVISION-XFILE.\0", 18);
    }
    return out;
}

// The pixels of a picture given top row first, stored in the order its
// descriptor's origin says (bottom row first unless top-to-bottom).
QByteArray stored(const std::vector<QByteArray>& picture, QSize size, int descriptor) {
    QByteArray out;
    for (int r = 0; r < size.height(); ++r) {
        const int y = (descriptor & 0x20) ? r : size.height() - 1 - r;
        for (int c = 0; c < size.width(); ++c) {
            const int x = (descriptor & 0x10) ? size.width() - 1 - c : c;
            out += picture[size_t(y * size.width() + x)];
        }
    }
    return out;
}

// A picture given top row first, 3 x 2, stored as its descriptor says.
Tga tga(int type, int bits, int descriptor, const std::vector<QByteArray>& picture) {
    return {type, bits, descriptor, stored(picture, QSize(3, 2), descriptor)};
}

Tga withMap(Tga t, int bits, int first, const QByteArray& map) {
    t.mapBits = bits, t.mapFirst = first, t.map = map;
    return t;
}

QImage decode(const QByteArray& bytes, QString* error) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readTga(&buffer, error);
}

// The pixels of a 32-bit picture, top row first (none for another depth).
std::vector<QRgb> pixelsOf(const QImage& image) {
    if (image.depth() != 32)
        return {};
    const auto* p = reinterpret_cast<const QRgb*>(image.constBits());
    return {p, p + image.width() * image.height()};
}

const QRgb kOpaque = 0xff000000;

// Six colours, top row first, and their stored forms.
const std::vector<QRgb> kSix = {qRgb(200, 10, 20), qRgb(30, 180, 40), qRgb(50, 60, 250),
                                qRgb(255, 255, 0), qRgb(0, 0, 0),     qRgb(90, 91, 92)};

const char kConvert[] = "/usr/bin/convert-im6.q16";

// ImageMagick's convert from `in` to `out`, with options (words apart).
bool convert(const QString& in, const char* options, const QString& out) {
    const QStringList words =
        QString::fromLatin1(options).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return colourtest::run(QLatin1String(kConvert), QStringList{in} + words + QStringList{out});
}

// 7 x 5, no two pixels alike, 35 colours (a palette holds them all).
QImage sourcePicture(bool grey, bool alpha) {
    QImage img(7, 5, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            const int g = x * 31 + y * 7 + 3;
            img.setPixel(x, y,
                         grey    ? qRgb(g, g, g)
                         : alpha ? qRgba(x * 36, 255 - y * 50, (x * y * 11) & 255, 40 + x * 30 + y)
                                 : qRgb(x * 36 + 5, 250 - y * 50, (x * y * 11 + 7) & 255));
        }
    return img;
}

} // namespace

// ImageMagick (6.9) stores the rows top first whatever origin it writes in
// the header, so by the format's rule its default (bottom-left) files hold
// the picture upside down; with -flip they hold it upright. Two oracles:
// how the file's pixels relate to the source, and ImageMagick's own reading
// turned by the origin (-auto-orient).
TEST(TgaReader, ImageMagickFilesDecodeToTheirPixels) {
    ASSERT_TRUE(QFile::exists(QLatin1String(kConvert))) << "ImageMagick is needed (imagemagick)";
    QTemporaryDir dir;
    const auto h = Qt::Horizontal, v = Qt::Vertical;
    struct Case {
        const char* options;       // ImageMagick's, before the output name
        Qt::Orientations mirrored; // of the source
        bool grey = false, alpha = false;
    } cases[] = {
        {"", v},
        {"-compress RLE", v},
        {"-flip", {}},
        {"-flop", h | v},
        {"-flip -compress RLE", {}},
        {"-orient TopLeft", {}},
        {"-orient TopRight", h},
        {"-orient BottomRight -compress RLE", h | v},
        {"-type palette -flip", {}},
        {"-type palette -compress RLE -orient TopLeft", {}},
        {"-type grayscale -flip", {}, true},
        {"-type grayscale -compress RLE", v, true},
        {"-type TrueColorAlpha -flip", {}, false, true},
        {"-type TrueColorAlpha -compress RLE -orient TopRight", h, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        const QImage source = sourcePicture(c.grey, c.alpha);
        const QString png = dir.filePath("source.png");
        ASSERT_TRUE(source.save(png));
        const QString tga = dir.filePath("out.tga");
        ASSERT_TRUE(convert(png, c.options, tga));
        const QString oriented = dir.filePath("oriented.png");
        ASSERT_TRUE(convert(tga, "-auto-orient", oriented));
        const QImage::Format format = c.alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
        QString error;
        const QImage image = decode(testutil::readFile(tga), &error);
        ASSERT_FALSE(image.isNull()) << error.toStdString();
        EXPECT_EQ(image.format(), format);
        EXPECT_EQ(
            pixelsOf(image),
            pixelsOf(source.mirrored(c.mirrored & h, c.mirrored & v).convertToFormat(format)));
        EXPECT_EQ(pixelsOf(image), pixelsOf(QImage(oriented).convertToFormat(format)));
    }
}

TEST(TgaReader, HandBuiltFilesCoverEveryKindOfPixel) {
    const auto six = each(kSix, bgr);
    // 16-bit pixels, the fourth without its attribute bit.
    const std::vector<QByteArray> six16 = {p16(31, 0, 0, 1), p16(0, 31, 0, 1), p16(0, 0, 31, 1),
                                           p16(1, 2, 3, 0),  p16(16, 8, 4, 1), p16(0, 0, 0, 1)};
    const std::vector<QRgb> six16Colours = {qRgb(255, 0, 0),       qRgb(0, 255, 0),
                                            qRgb(0, 0, 255),       qRgb(up5(1), up5(2), up5(3)),
                                            qRgb(up5(16), 66, 33), qRgb(0, 0, 0)};
    std::vector<QRgb> six16Alpha = six16Colours;
    six16Alpha[3] &= 0x00ffffff;
    const auto opaque = [](QRgb c) { return c | kOpaque; };
    const std::vector<QRgb> six32Colours = {qRgba(1, 2, 3, 255),   qRgba(4, 5, 6, 128),
                                            qRgba(7, 8, 9, 0),     qRgba(10, 11, 12, 1),
                                            qRgba(13, 14, 15, 64), qRgba(16, 17, 18, 200)};
    const auto six32 = each(six32Colours, bgra);
    const auto six32Clear = each(six32Colours, [](QRgb c) { return bgr(c) + '\0'; });
    const auto six32Opaque = each(six32Colours, opaque);
    const std::vector<QRgb> greyAlphaColours = {
        qRgba(0, 0, 0, 0),         qRgba(16, 16, 16, 50),     qRgba(128, 128, 128, 100),
        qRgba(255, 255, 255, 150), qRgba(127, 127, 127, 200), qRgba(1, 1, 1, 250)};
    const auto greyColours = each(greyAlphaColours, opaque);
    const auto greys = each(greyAlphaColours, [](QRgb c) { return QByteArray(1, char(qRed(c))); });
    const auto greyAlpha = each(
        greyAlphaColours, [](QRgb c) { return QByteArray(1, char(qRed(c))) + char(qAlpha(c)); });
    // A colour map from index 2: 16-bit, 32-bit and 24-bit entries.
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255),
               black = qRgb(0, 0, 0);
    const QByteArray map16 = p16(31, 0, 0) + p16(0, 31, 0) + p16(0, 0, 31);
    const QByteArray map32 =
        bgra(qRgba(255, 0, 0, 10)) + bgra(qRgba(0, 255, 0, 20)) + bgra(qRgba(0, 0, 255, 30));
    const QByteArray map24 = bgr(red) + bgr(green) + bgr(blue);
    const std::vector<int> at = {2, 3, 4, 4, 9, 2};
    const auto indexes = each(at, [](int i) { return QByteArray(1, char(i)); });
    const auto indexes16 = each(at, le16);
    const std::vector<QRgb> mapped = {red, green, blue, blue, black, red};

    struct Case {
        const char* name;
        Tga tga;
        std::vector<QRgb> expected; // top row first
        QImage::Format format = QImage::Format_RGB32;
    };
    auto with = [](Tga t, auto&& change) {
        change(t);
        return t;
    };
    const Case cases[] = {
        {"24 bits, bottom-left", tga(2, 24, 0x00, six), kSix},
        {"24 bits, top-left, image ID skipped",
         with(tga(2, 24, 0x20, six), [](Tga& t) { t.id = "an image ID"; }), kSix},
        {"24 bits, top-right", tga(2, 24, 0x30, six), kSix},
        {"24 bits, bottom-right, 2.0 footer",
         with(tga(2, 24, 0x10, six), [](Tga& t) { t.footer = true; }), kSix},
        {"15 bits", tga(2, 15, 0x00, six16), six16Colours},
        {"16 bits with an alpha bit", tga(2, 16, 0x21, six16), six16Alpha, QImage::Format_ARGB32},
        {"16 bits without attribute bits", tga(2, 16, 0x20, six16), six16Colours},
        {"32 bits with 8 alpha bits", tga(2, 32, 0x28, six32), six32Colours, QImage::Format_ARGB32},
        {"32 bits without attribute bits", tga(2, 32, 0x00, six32), six32Opaque},
        {"32 bits whose alpha is all clear", tga(2, 32, 0x08, six32Clear), six32Opaque},
        {"32 bits, the extension area says no alpha",
         with(tga(2, 32, 0x08, six32), [](Tga& t) { t.attributesType = 0; }), six32Opaque},
        {"32 bits, premultiplied alpha",
         with(tga(2, 32, 0x08, six32), [](Tga& t) { t.attributesType = 4; }), six32Colours,
         QImage::Format_ARGB32_Premultiplied},
        {"grey 8, bottom-right", tga(3, 8, 0x10, greys), greyColours},
        {"grey 16 with alpha", tga(3, 16, 0x08, greyAlpha), greyAlphaColours,
         QImage::Format_ARGB32},
        {"8-bit indexes into 16-bit entries (an index outside the map is black)",
         with(withMap(tga(1, 8, 0x00, indexes), 16, 2, map16), [](Tga& t) { t.id = "id"; }),
         mapped},
        {"8-bit indexes into 32-bit entries with alpha",
         withMap(tga(1, 8, 0x28, indexes), 32, 2, map32),
         {qRgba(255, 0, 0, 10), qRgba(0, 255, 0, 20), qRgba(0, 0, 255, 30), qRgba(0, 0, 255, 30),
          qRgba(0, 0, 0, 255), qRgba(255, 0, 0, 10)},
         QImage::Format_ARGB32},
        {"16-bit indexes into 24-bit entries", withMap(tga(1, 16, 0x00, indexes16), 24, 2, map24),
         mapped},
        {"true colour with a colour map to skip", withMap(tga(2, 24, 0x20, six), 24, 0, map24),
         kSix},
        // Run-length encoded: a run of 4 going on to the second row, 2 raw.
        {"RLE 24 bits, a run across rows",
         {10, 24, 0x20, "\x83" + six[0] + "\x01" + six[4] + six[5]},
         {kSix[0], kSix[0], kSix[0], kSix[0], kSix[4], kSix[5]}},
        {"RLE grey, bottom-left, one raw packet",
         {11, 8, 0x00, "\x05" + stored(greys, QSize(3, 2), 0x00)},
         greyColours},
        {"RLE colour-mapped, 15-bit entries, top-right",
         withMap({9, 8, 0x30, QByteArray("\x82\x02\x02\x03\x04\x04", 6)}, 15, 2, map16),
         {red, red, red, blue, blue, green}},
    };
    for (const Case& c : cases) {
        QString error;
        const QImage image = decode(bytesOf(c.tga), &error);
        ASSERT_FALSE(image.isNull()) << c.name << ": " << error.toStdString();
        EXPECT_EQ(image.format(), c.format) << c.name;
        EXPECT_EQ(pixelsOf(image), c.expected) << c.name;
    }
}

TEST(TgaReader, RefusesWhatItCannotTrust) {
    const auto six = each(kSix, bgr);
    const QByteArray plain = bytesOf(tga(2, 24, 0x00, six));
    const QByteArray rle = bytesOf({10, 24, 0x20, "\x83" + six[0] + "\x01" + six[4] + six[5]});
    auto header = [](QByteArray bytes, int at, int value) {
        bytes[at] = char(value);
        return bytes;
    };
    // A grey picture over the allocation limit (1.12 GB as 32-bit pixels),
    // in packets of 128 pixels.
    QByteArray huge = bytesOf({11, 8, 0x00, {}, QSize(20000, 14000)});
    huge += QByteArray("\xff\x80").repeated(20000 * 14000 / 128);
    struct Case {
        const char* name;
        QByteArray bytes;
        bool headerRefused; // by readTgaHeader already
        const char* why;
    } cases[] = {
        {"one byte short", plain.chopped(1), true, "not a TGA"},
        {"RLE data ending early", rle.chopped(1), false, "truncated"},
        {"a run past the last pixel",
         bytesOf({10, 24, 0x20, "\x02" + six[0] + six[1] + six[2] + "\x83" + six[3]}), false,
         "past the end"},
        {"a raw packet past the last pixel",
         bytesOf(
             {10, 24, 0x20, "\x81" + six[0] + "\x04" + six[1] + six[2] + six[3] + six[4] + six[5]}),
         false, "past the end"},
        {"image type 4", header(plain, 2, 4), true, "not a TGA"},
        {"image type 17", header(plain, 2, 17), true, "not a TGA"},
        {"true colour of 8 bits", header(plain, 16, 8), true, "not a TGA"},
        {"colour-mapped without a map", header(header(plain, 2, 1), 16, 8), true, "not a TGA"},
        {"interleaved rows", header(plain, 17, 0x40), true, "not a TGA"},
        {"no width", header(plain, 12, 0), true, "not a TGA"},
        {"8-bit colour map entries",
         bytesOf(withMap({1, 8, 0, QByteArray(6, '\0')}, 8, 0, QByteArray(4, '\0'))), true,
         "not a TGA"},
        {"too large", huge, false, "allocation limit"},
        {"empty", QByteArray(), true, "not a TGA"},
    };
    for (const Case& c : cases) {
        QBuffer buffer;
        buffer.setData(c.bytes);
        buffer.open(QIODevice::ReadOnly);
        EXPECT_EQ(readTgaHeader(&buffer).has_value(), !c.headerRefused) << c.name;
        QString error;
        const QImage image = readTga(&buffer, &error);
        EXPECT_TRUE(image.isNull()) << c.name;
        EXPECT_TRUE(error.contains(QLatin1String(c.why))) << c.name << ": " << error.toStdString();
    }
}

TEST(TgaReader, ViewerAndHeaderTestTakeTgaForWhatItIs) {
    QTemporaryDir dir;
    const QImage source = sourcePicture(false, false);
    const QString png = dir.filePath("source.png");
    ASSERT_TRUE(source.save(png));
    // Upright bottom-left files without footer, plain and RLE (see above
    // for -flip).
    const QString plain = dir.filePath("plain.tga");
    const QString rle = dir.filePath("rle.TGA");
    ASSERT_TRUE(convert(png, "-flip", plain));
    ASSERT_TRUE(convert(png, "-flip -compress RLE", rle));
    // The same bytes under a name that says nothing.
    const QString unnamed = testutil::writeFile(dir, "picture.dat", testutil::readFile(plain));
    for (const QString& path : {plain, rle, unnamed}) {
        SCOPED_TRACE(path.toStdString());
        const PictureProbe probe = probePicture(path);
        EXPECT_TRUE(probe.picture);
        EXPECT_EQ(probe.format, QByteArray("tga"));
        EXPECT_EQ(probe.size, QSize(7, 5));
        EXPECT_EQ(probe.mimeType(), "image/x-tga");
        const Picture pic = loadPicture(path);
        ASSERT_FALSE(pic.isNull()) << pic.error.toStdString();
        EXPECT_EQ(pixelsOf(pic.image), pixelsOf(source));
        const Picture thumb = loadPicture(path, {PictureNeed::Kind::Thumbnail, {4, 4}});
        EXPECT_EQ(thumb.image.size(), fittedSize(QSize(7, 5), QSize(4, 4)));
        EXPECT_EQ(thumb.naturalSize, QSize(7, 5));
    }
    // A damaged TGA is refused, not handed to another reader.
    const QString cut = testutil::writeFile(dir, "cut.tga", testutil::readFile(rle).chopped(2));
    EXPECT_TRUE(loadPicture(cut).isNull());
    // Words under a TGA's name are no picture.
    const QString words = testutil::writeFile(dir, "notes.tga", "Not a picture, only words.\n");
    EXPECT_FALSE(probePicture(words).picture);
    EXPECT_TRUE(loadPicture(words).isNull());
}
