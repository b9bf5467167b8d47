// Colour management: each format's declarations decoded and converted, against
// lcms2's reference pixels; sRGB left bit for bit; damaged declarations; HDR.
#include "picture/colourchunks.h"
#include "picture/colourprofiles.h"
#include "picture/colourtransform.h"
#include "picture/helperdecode.h"
#include "picture/pictureloader.h"
#include "picture/pictureservice.h"
#include "support/colourtest.h"
#include "support/exifbuilder.h"
#include "support/testutil.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImageWriter>
#include <QtEndian>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>

#include <libheif/heif.h>

using namespace lumenta;
using namespace colourtest;
using testutil::readFile;
using testutil::sample;
using testutil::writeFile;

namespace {

// Chromaticities used by the cases (x, y).
const double kD65[2] = {0.3127, 0.3290};
const double k2020[3][2] = {{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}};

using Chunks = QList<std::pair<QByteArray, QByteArray>>;

// The picture's bytes in a format, with no colours declared.
QByteArray encoded(const QImage& img, const char* format, int quality = -1) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImage plain = img;
    plain.setColorSpace(QColorSpace());
    plain.save(&buffer, format, quality);
    return buffer.data();
}

QByteArray withChunks(QByteArray png, const Chunks& chunks) {
    for (const auto& [type, data] : chunks)
        png = pngWithChunk(png, type, data);
    return png;
}

QString save(const QTemporaryDir& dir, const QString& name, const QImage& img, const char* format,
             int quality = -1, const QByteArray& icc = {}) {
    QImage tagged = img;
    tagged.setColorSpace(icc.isEmpty() ? QColorSpace() : QColorSpace::fromIccProfile(icc));
    const QString path = dir.filePath(name);
    QImageWriter w(path, format);
    if (quality >= 0)
        w.setQuality(quality);
    return w.write(tagged) ? path : QString();
}

QString jpeg(const QTemporaryDir& dir, const QString& name, const QImage& img,
             const QByteArray& icc) {
    return writeFile(dir, name, jpegWithProfile(encoded(img, "jpeg", 95), icc));
}

QString png(const QTemporaryDir& dir, const QString& name, const QImage& img,
            const Chunks& chunks) {
    return writeFile(dir, name, withChunks(encoded(img, "png"), chunks));
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

// Too close to tell apart: CIEDE2000 at most 1.5 on the mean, 3 at worst.
testing::AssertionResult alike(const QImage& a, const QImage& b, const QByteArray& space = {}) {
    const DeltaE e = deltaE2000(a, b, space);
    if (e.mean <= 1.5 && e.max <= 3.0)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "dE2000 mean " << e.mean << " max " << e.max;
}

const QByteArray& adobe() {
    static const QByteArray p = colordProfile("AdobeRGB1998.icc");
    return p;
}

// Made once: a profile made again carries another time of creation.
const QByteArray& tables() {
    static const QByteArray p = tableProfile();
    return p;
}

// HEIC (HEVC) or AVIF (AV1) written losslessly (RGB kept as it is, matrix
// 0) with an nclx box.
QString heif(const QTemporaryDir& dir, const QString& name, const QImage& img, int primaries,
             int transfer, const QByteArray& icc = {}) {
    const bool av1 = name.endsWith(QLatin1String(".avif"));
    heif_context* ctx = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(ctx, av1 ? heif_compression_AV1 : heif_compression_HEVC,
                                        &encoder);
    heif_image* image = nullptr;
    heif_image_create(img.width(), img.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB,
                      &image);
    heif_image_add_plane(image, heif_channel_interleaved, img.width(), img.height(), 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    const QImage rgb = img.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < img.height(); ++y)
        std::memcpy(plane + y * stride, rgb.constScanLine(y), size_t(img.width()) * 3);
    heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
    nclx->color_primaries = heif_color_primaries(primaries);
    nclx->transfer_characteristics = heif_transfer_characteristics(transfer);
    nclx->matrix_coefficients = heif_matrix_coefficients_RGB_GBR;
    nclx->full_range_flag = 1;
    heif_image_set_nclx_color_profile(image, nclx);
    if (!icc.isEmpty())
        heif_image_set_raw_color_profile(image, "prof", icc.constData(), size_t(icc.size()));
    heif_encoder_set_lossless(encoder, 1);
    heif_encoder_set_parameter(encoder, "chroma", "444");
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->output_nclx_profile = nclx;
    options->macOS_compatibility_workaround_no_nclx_profile = 0;
    options->save_two_colr_boxes_when_ICC_and_nclx_available = 1; // the matrix for the pixels
    const QString path = dir.filePath(name);
    const bool ok =
        heif_context_encode_image(ctx, image, encoder, options, nullptr).code == heif_error_Ok &&
        heif_context_write_to_file(ctx, QFile::encodeName(path).constData()).code == heif_error_Ok;
    heif_encoding_options_free(options);
    heif_nclx_color_profile_free(nclx);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(ctx);
    return ok ? path : QString();
}

// cjxl losslessly with a colour encoding of its own ("RGB_D65_SRG_Rel_SRG"...).
QString jxl(const QTemporaryDir& dir, const QString& name, const QImage& img,
            const QString& encoding, const QStringList& options = {}) {
    const QString source = png(dir, name + ".png", img, {});
    const QString path = dir.filePath(name);
    const bool ok = run(
        "cjxl", QStringList{source, path, "-d", "0", "-x", "color_space=" + encoding} + options);
    return ok ? path : QString();
}

QByteArray chrm(const double w[2], const double r[2], const double g[2], const double b[2]) {
    QByteArray out;
    for (const double* xy : {w, r, g, b})
        for (int k = 0; k < 2; ++k)
            out += bigEndian32(quint32(std::lround(xy[k] * 100000)));
    return out;
}

struct Case {
    const char* name;
    const char* ext;
    // Writes the picture with its colours declared (on) or, the same stored
    // pixels, without.
    std::function<QString(const QTemporaryDir&, const QString&, const QImage&, bool on)> write;
    QByteArray profile; // the declared colours as a profile, for tificc
    bool perceptual = false;
};

QList<Case> cases() {
    using D = const QTemporaryDir&;
    using N = const QString&;
    using I = const QImage&;
    const QByteArray prophoto = colordProfile("ProPhotoRGB.icc");
    const QByteArray wide = colordProfile("WideGamutRGB.icc");
    const QByteArray p3 = displayP3Profile();
    // gAMA 1/1.8 with wide primaries; the reference from the same rounded
    // numbers.
    const double gw[2] = {0.3127, 0.3290}, gr[2] = {0.67, 0.32}, gg[2] = {0.21, 0.71},
                 gb[2] = {0.15, 0.06};
    const QByteArray gammaChrm = rgbProfile(gw, gr, gg, gb, "gamma", 100000.0 / 55556);
    const Chunks gammaChunks = {{"gAMA", bigEndian32(55556)}, {"cHRM", chrm(gw, gr, gg, gb)}};
    const auto iccp = [](const QByteArray& icc) { return Chunks{{"iCCP", iccpChunk(icc)}}; };
    const auto jxlAs = [](const char* primaries) {
        return QStringLiteral("RGB_D65_%1_Rel_SRG").arg(QLatin1String(primaries));
    };
    return {
        {"Adobe RGB (1998) JPEG", "jpg",
         [](D d, N n, I i, bool on) { return jpeg(d, n, i, on ? adobe() : QByteArray()); },
         adobe()},
        {"ProPhoto TIFF", "tif",
         [=](D d, N n, I i, bool on) { return save(d, n, i, "tiff", -1, on ? prophoto : ""); },
         prophoto},
        {"WideGamut WebP", "webp",
         [=](D d, N n, I i, bool on) { return save(d, n, i, "webp", 100, on ? wide : ""); }, wide},
        {"Display P3 (lcms2) PNG", "png",
         [=](D d, N n, I i, bool on) { return png(d, n, i, on ? iccp(p3) : Chunks()); }, p3},
        {"Profile of tables PNG", "png",
         [=](D d, N n, I i, bool on) { return png(d, n, i, on ? iccp(tables()) : Chunks()); },
         tables(), true},
        {"PNG gAMA + cHRM", "png",
         [=](D d, N n, I i, bool on) { return png(d, n, i, on ? gammaChunks : Chunks()); },
         gammaChrm},
        {"P3 HEIC (nclx)", "heic",
         [](D d, N n, I i, bool on) { return heif(d, n, i, on ? 12 : 1, 13); }, p3},
        {"AVIF with CICP (BT.2020, BT.709)", "avif",
         [](D d, N n, I i, bool on) { return heif(d, n, i, on ? 9 : 1, on ? 1 : 13); },
         rgbProfile(kD65, k2020[0], k2020[1], k2020[2], "bt709")},
        {"JPEG XL, BT.2020 encoding", "jxl",
         [=](D d, N n, I i, bool on) { return jxl(d, n, i, jxlAs(on ? "202" : "SRG")); },
         rgbProfile(kD65, k2020[0], k2020[1], k2020[2], "srgb")},
    };
}

QByteArray rowOf(const QImage& img, int y) {
    return QByteArray(reinterpret_cast<const char*>(img.constScanLine(y)), img.bytesPerLine());
}

// Keeps copies of the rows as they are announced: they must be final then.
struct RowWatcher : LoadProgress {
    QImage buffer;
    QList<QByteArray> rows;
    void rowsStarted(const QImage& b) override { buffer = b; }
    void rowsDecoded(int n) override {
        while (rows.size() < n)
            rows << rowOf(buffer, int(rows.size()));
    }
};

} // namespace

TEST(Colours, EveryDeclarationMatchesTheReferenceWithinDeltaE) {
    QTemporaryDir dir;
    const QImage picture = pattern();
    // A monitor profile of matrices and curves, and one made of tables.
    const std::pair<const char*, QByteArray> displays[] = {
        {"sRGB", QByteArray()}, {"monitor", monitorProfile()}, {"tables", tables()}};
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.profile.isEmpty());
        const QString tagged = c.write(dir, QStringLiteral("tagged.") + c.ext, picture, true);
        const QString untagged = c.write(dir, QStringLiteral("plain.") + c.ext, picture, false);
        ASSERT_FALSE(tagged.isEmpty());
        ASSERT_FALSE(untagged.isEmpty());
        // The stored pixels, as decoded without any colours declared.
        const Picture raw = loadPicture(untagged);
        ASSERT_FALSE(raw.isNull()) << raw.error.toStdString();
        for (const auto& [label, display] : displays) {
            PictureNeed need;
            need.colours = ColourSpace::fromIcc(display);
            const Picture shown = loadPicture(tagged, need);
            ASSERT_FALSE(shown.isNull()) << shown.error.toStdString();
            EXPECT_EQ(shown.colours, need.colours);
            if (display == c.profile) {
                // On a monitor of its own colours: shown as stored.
                EXPECT_EQ(shown.image, raw.image);
                continue;
            }
            const QImage expected = reference(dir, raw.image, c.profile, display, c.perceptual);
            ASSERT_FALSE(expected.isNull());
            EXPECT_TRUE(alike(shown.image, expected, display)) << label;
            // Converted indeed: far from the stored pixels shown as they are.
            if (display.isEmpty())
                EXPECT_GT(deltaE2000(shown.image, raw.image).mean, 2.0);
        }
    }
}

TEST(Colours, TheServiceGivesTheDisplaysColoursAndSrgbOnRequest) {
    QTemporaryDir dir;
    const QImage picture = pattern();
    const QByteArray p3 = displayP3Profile();
    const QByteArray monitor = monitorProfile();
    const QString path = png(dir, "p3.png", picture, {{"iCCP", iccpChunk(p3)}});
    const QImage inSrgb = reference(dir, picture, p3);
    const QImage onMonitor = reference(dir, picture, p3, monitor);
    PictureService service;
    QObject owner;
    const auto fetch = [&](const PictureRequest& r) {
        std::optional<Picture> got;
        service.request(&owner, r, [&](const PictureResult& res) { got = res.picture; });
        EXPECT_TRUE(testutil::waitUntil([&] { return got.has_value(); }, 20000));
        return got.value_or(Picture());
    };
    service.setDisplayColours(ColourSpace::fromIcc(monitor));
    // Whole, then reduced copies made from the picture kept whole.
    const Picture whole = fetch(PictureRequest::full(path));
    EXPECT_EQ(whole.colours, service.displayColours());
    EXPECT_TRUE(alike(whole.image, onMonitor, monitor));
    const Picture wholeSrgb = fetch(PictureRequest::full(path).inSrgb());
    EXPECT_TRUE(wholeSrgb.colours.isSrgb());
    EXPECT_TRUE(alike(wholeSrgb.image, inSrgb));
    const QSize half = picture.size() / 2;
    const auto scaled = [half](const QImage& img) {
        return img.scaled(half, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    };
    EXPECT_TRUE(alike(fetch(PictureRequest::fitted(path, half)).image, scaled(onMonitor), monitor));
    EXPECT_TRUE(alike(fetch(PictureRequest::fitted(path, half).inSrgb()).image, scaled(inSrgb)));
    // Another monitor profile: the next pictures follow it.
    service.setDisplayColours(ColourSpace());
    const Picture after = fetch(PictureRequest::full(path));
    EXPECT_TRUE(after.colours.isSrgb());
    EXPECT_TRUE(alike(after.image, inSrgb));
}

TEST(Colours, AHelperProfileTooLargeToHandOverIsAppliedByTheHelper) {
    QTemporaryDir dir;
    const QByteArray large = tableProfile(33);
    ASSERT_GT(large.size(), qsizetype(kMaxHelperColourBytes));
    const Picture shown = loadPicture(heif(dir, "large.heic", pattern(), 1, 13, large));
    ASSERT_FALSE(shown.isNull()) << shown.error.toStdString();
    EXPECT_TRUE(alike(shown.image, reference(dir, pattern(), large, {}, true)));
}

TEST(Colours, PicturesReadByPartsComeInTheColoursOfWholeOnes) {
    QTemporaryDir dir;
    const QImage picture = pattern(QSize(203, 131));
    const QByteArray monitor = monitorProfile();
    const LoadLimits tiny{0, QSize(40, 24)}; // every picture read by parts
    PictureNeed onMonitor;
    onMonitor.colours = ColourSpace::fromIcc(monitor);
    for (const QString& path : {jpeg(dir, "adobe.jpg", picture, adobe()),
                                png(dir, "adobe.png", picture, {{"iCCP", iccpChunk(adobe())}}),
                                save(dir, "adobe.tif", picture, "tiff", -1, adobe())}) {
        SCOPED_TRACE(path.toStdString());
        const Picture whole = loadPicture(path, onMonitor);
        ASSERT_FALSE(whole.isNull()) << whole.error.toStdString();
        // The profile changes what is shown: the case is not a trivial one.
        EXPECT_GT(deltaE2000(whole.image, loadPicture(path).image).mean, 2.0);
        const Picture tiled = loadPicture(path, onMonitor, nullptr, tiny);
        ASSERT_TRUE(tiled.isTiled()) << tiled.error.toStdString();
        EXPECT_EQ(tiled.colours, onMonitor.colours);
        const TiledPicture& t = *tiled.tiled;
        const int columns = t.gridSize().width();
        QList<QRect> tiles;
        for (int i = 0; i < columns * t.gridSize().height(); ++i)
            tiles << t.tileRect(QPoint(i % columns, i / columns));
        int got = 0;
        ASSERT_TRUE(t.decode(
            tiles,
            [&](int i, const QImage& tile) {
                ++got;
                EXPECT_LE(deltaE2000(tile, whole.image.copy(tiles[i]), monitor).max, 1.0) << i;
            },
            nullptr, nullptr));
        EXPECT_EQ(got, tiles.size());
        // A reduced picture (the overview) and a part, in the same colours.
        PictureNeed reduced = onMonitor, part = onMonitor;
        reduced.kind = PictureNeed::Kind::Fitted;
        reduced.box = QSize(101, 101);
        part.region = QRect(30, 20, 90, 60);
        const QImage overview = loadPicture(path, reduced, nullptr, tiny).image;
        ASSERT_FALSE(overview.isNull());
        EXPECT_LE(deltaE2000(overview,
                             whole.image.scaled(overview.size(), Qt::IgnoreAspectRatio,
                                                Qt::SmoothTransformation),
                             monitor)
                      .mean,
                  1.5);
        EXPECT_LE(deltaE2000(loadPicture(path, part, nullptr, tiny).image,
                             whole.image.copy(part.region), monitor)
                      .max,
                  1.0);
    }
}

TEST(ColourDeclarations, EachFormatsDeclarationsAndTheirOrder) {
    QTemporaryDir dir;
    const QByteArray png = encoded(pattern(QSize(8, 8)), "png");
    const QByteArray p3 = displayP3Profile();
    const QByteArray gama = bigEndian32(45455);
    const QByteArray cicpP3 = QByteArray("\x0c\x0d\x00\x01", 4);
    const QByteArray chrmBt2020 = chrm(kD65, k2020[0], k2020[1], k2020[2]);
    const auto with = [&](const Chunks& chunks) { return withChunks(png, chunks); };
    CodedColours gamma22;
    gamma22.transfer = CodedColours::Transfer::Gamma;
    gamma22.gamma = 100000.0 / 45455;
    CodedColours bt2020 = gamma22;
    for (int i = 0; i < 2; ++i)
        bt2020.red[i] = k2020[0][i], bt2020.green[i] = k2020[1][i], bt2020.blue[i] = k2020[2][i];
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
        {"WebP ICCP", readFile(save(dir, "p3.webp", pattern(QSize(8, 8)), "webp", 100, p3)),
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

TEST(Colours, SrgbAndDamagedDeclarationsLeavePicturesBitForBit) {
    QTemporaryDir dir;
    const QImage picture = pattern();
    const QByteArray srgb = colordProfile("sRGB.icc");
    ASSERT_FALSE(srgb.isEmpty());
    const QByteArray jpeg = encoded(picture, "jpeg", 90);
    const QByteArray png = encoded(picture, "png");
    // djpeg decodes with the same library and settings.
    const QString ppm = dir.filePath("plain.ppm");
    ASSERT_TRUE(run("djpeg", {"-outfile", ppm, writeFile(dir, "plain.jpg", jpeg)}));
    const QImage jpegPixels = rgb32(QImage(ppm));
    const QImage pngPixels = rgb32(picture);
    QByteArray scrambled = adobe();
    for (qsizetype i = 128; i < scrambled.size(); ++i)
        scrambled[i] = char(scrambled[i] ^ (i * 37));
    QByteArray hugeTags = adobe();
    qToBigEndian<quint32>(0x7fffffff, hugeTags.data() + 128); // tag count
    // Untagged and sRGB-tagged files (name, bytes: a JPEG's pixels are djpeg's).
    Chunks files = {
        {"plain.jpg", jpeg},
        {"srgb-icc.jpg", jpegWithProfile(jpeg, srgb)},
        {"plain.png", png},
        {"srgb.png", pngWithChunk(png, "sRGB", QByteArray(1, '\0'))},
        {"srgb-icc.png", pngWithChunk(png, "iCCP", iccpChunk(srgb))},
        {"srgb-cicp.png", pngWithChunk(png, "cICP", QByteArray("\x01\x0d\x00\x01", 4))},
        {"plain.bmp", encoded(picture, "bmp")},
        {"plain.tif", encoded(picture, "tiff")},
    };
    // Profiles that cannot be used, in a JPEG and in a PNG; PNG chunks that
    // cannot be read.
    for (const QByteArray& bad : {QByteArray("not a profile at all"), adobe().left(200), scrambled,
                                  hugeTags, cmykProfile() /* for other pixels than these */})
        files << std::pair{QByteArray("bad-icc.jpg"), jpegWithProfile(jpeg, bad)}
              << std::pair{QByteArray("bad-icc.png"), pngWithChunk(png, "iCCP", iccpChunk(bad))};
    const QByteArray chunks[][2] = {
        {"iCCP", QByteArray("name\0\0not zlib at all", 20)},
        {"iCCP", QByteArray("\0\0", 2) + qCompress(adobe()).mid(4)},          // no name
        {"iCCP", QByteArray("name\0\0", 6) + qCompress(adobe()).mid(4, 300)}, // cut short
        {"gAMA", bigEndian32(0)},
        {"cHRM", QByteArray(32, '\0')},
        {"cICP", QByteArray("\x09\x10\x01\x01", 4)}, // not RGB
        {"cICP", QByteArray("\xc8\xc8\x00\x01", 4)}, // unknown code points
    };
    for (const auto& chunk : chunks)
        files << std::pair{"bad-" + chunk[0] + ".png", pngWithChunk(png, chunk[0], chunk[1])};
    // On an sRGB display, and on one whose profile is sRGB's.
    for (const ColourSpace& display : {ColourSpace(), ColourSpace::fromIcc(srgb)}) {
        for (int i = 0; i < files.size(); ++i) {
            const auto& [name, bytes] = files[i];
            SCOPED_TRACE(name.toStdString() + " " + std::to_string(i));
            PictureNeed need;
            need.colours = display;
            const Picture pic = loadPicture(writeFile(dir, QString::fromLatin1(name), bytes), need);
            ASSERT_FALSE(pic.isNull()) << pic.error.toStdString();
            EXPECT_TRUE(sameBits(rgb32(pic.image), name.endsWith(".jpg") ? jpegPixels : pngPixels));
        }
    }
    // A palette picture keeps its palette.
    const QString gif = sample("gif/static.gif");
    EXPECT_TRUE(sameBits(loadPicture(gif).image, QImage(gif)));
}

TEST(Colours, CmykJpegsKeepTheirColours) {
    QTemporaryDir dir;
    const QString plain = sample("jpeg/cmyk.jpg");
    // Without a profile, as Qt's reader shows them.
    const Picture untagged = loadPicture(plain);
    ASSERT_FALSE(untagged.isNull());
    EXPECT_LT(deltaE2000(untagged.image, rgb32(QImage(plain))).max, 1.0);
    // With one, as lcms2's jpgicc converts them.
    const QString tagged =
        writeFile(dir, "tagged.jpg", jpegWithProfile(readFile(plain), cmykProfile()));
    const QString ref = dir.filePath("ref.jpg");
    ASSERT_TRUE(run("jpgicc", {"-q100", tagged, ref}));
    const Picture pic = loadPicture(tagged);
    ASSERT_FALSE(pic.isNull());
    EXPECT_TRUE(alike(pic.image, QImage(ref)));
    EXPECT_GT(deltaE2000(pic.image, untagged.image).mean, 2.0);
}

TEST(Colours, JpegPicturesConvertAlikeTurnedCutReducedAndRowByRow) {
    QTemporaryDir dir;
    // Large enough for the strips to be converted on a second thread.
    const QImage picture = pattern(QSize(2048, 1100));
    const QByteArray jpeg = encoded(picture, "jpeg", 92);
    const QString plain = writeFile(dir, "plain.jpg", jpeg);
    const QString tagged = writeFile(dir, "adobe.jpg", jpegWithProfile(jpeg, adobe()));
    const QImage expected =
        convertColours(loadPicture(plain).image, ColourSpace::fromIcc(adobe()), ColourSpace());
    RowWatcher rows;
    const Picture whole = loadPicture(tagged, {}, &rows);
    ASSERT_FALSE(whole.isNull());
    EXPECT_TRUE(sameBits(whole.image, expected));
    ASSERT_EQ(rows.rows.size(), expected.height());
    for (int y = 0; y < expected.height(); y += 7)
        ASSERT_EQ(rows.rows[y], rowOf(expected, y)) << "row " << y;
    // A part, turned by EXIF, reduced.
    PictureNeed part;
    part.region = QRect(300, 200, 640, 480);
    const Picture cut = loadPicture(tagged, part);
    EXPECT_TRUE(sameBits(cut.image, expected.copy(part.region)));
    const QString turned =
        writeFile(dir, "turned.jpg",
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
    const QString path =
        jxl(dir, "steps.jxl", steps, "RGB_D65_202_Rel_PeQ", {"--intensity_target=4000"});
    ASSERT_FALSE(path.isEmpty());
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
    const Picture raw = loadPicture(writeFile(dir, "plain.jpg", jpeg));
    const Picture adobeCamera =
        loadPicture(writeFile(dir, "adobe.jpg", withExif(block(0xffff, "R03\0"))));
    EXPECT_TRUE(alike(adobeCamera.image, reference(dir, raw.image, adobe())));
    const Picture srgbCamera = loadPicture(writeFile(dir, "srgb.jpg", withExif(block(1, "R98\0"))));
    EXPECT_TRUE(sameBits(srgbCamera.image, raw.image));
}
