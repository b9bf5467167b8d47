// Colour management: every format's way of declaring colours, decoded and
// converted to sRGB (and to a monitor's profile), against reference pixels
// made by lcms2's tificc from the same stored pixels; untagged and
// sRGB-tagged pictures left bit for bit; damaged declarations shown as
// sRGB; HDR highlights tone-mapped rather than clipped.
#include "picture/colourchunks.h"
#include "picture/colourprofiles.h"
#include "picture/colourtransform.h"
#include "picture/helperdecode.h"
#include "picture/pictureloader.h"
#include "picture/pictureservice.h"
#include "support/colourtest.h"
#include "support/testutil.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImageWriter>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>

#include <libheif/heif.h>

using namespace lumenta;
using namespace colourtest;

namespace {

// Chromaticities used by the cases (x, y).
const double kD65[2] = {0.3127, 0.3290};
const double k2020[3][2] = {{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}};

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
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImage plain = img;
    plain.setColorSpace(QColorSpace());
    plain.save(&buffer, "jpeg", 95);
    return testutil::writeFile(dir, name,
                               icc.isEmpty() ? buffer.data() : jpegWithProfile(buffer.data(), icc));
}

QString png(const QTemporaryDir& dir, const QString& name, const QImage& img,
            const QList<std::pair<QByteArray, QByteArray>>& chunks) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImage plain = img;
    plain.setColorSpace(QColorSpace());
    plain.save(&buffer, "png");
    QByteArray bytes = buffer.data();
    for (const auto& [type, data] : chunks)
        bytes = pngWithChunk(bytes, type, data);
    return testutil::writeFile(dir, name, bytes);
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
            const QString& encoding) {
    const QString source = png(dir, name + QStringLiteral(".png"), img, {});
    const QString path = dir.filePath(name);
    const bool ok = run(QStringLiteral("cjxl"),
                        {source, path, QStringLiteral("-d"), QStringLiteral("0"),
                         QStringLiteral("-x"), QStringLiteral("color_space=") + encoding});
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
    // Writes the picture twice: with its colours declared, and without
    // (the same stored pixels); returns {tagged, untagged}.
    std::function<std::pair<QString, QString>(const QTemporaryDir&, const QImage&)> make;
    QByteArray profile; // the declared colours as a profile, for tificc
    bool perceptual = false;
};

QList<Case> cases() {
    const QByteArray adobe = colordProfile(QStringLiteral("AdobeRGB1998.icc"));
    const QByteArray prophoto = colordProfile(QStringLiteral("ProPhotoRGB.icc"));
    const QByteArray wide = colordProfile(QStringLiteral("WideGamutRGB.icc"));
    const QByteArray p3 = displayP3Profile();
    const QByteArray tables = tableProfile();
    // gAMA 1/1.8 with wide primaries; the reference from the same rounded
    // numbers.
    const double gw[2] = {0.3127, 0.3290}, gr[2] = {0.67, 0.32}, gg[2] = {0.21, 0.71},
                 gb[2] = {0.15, 0.06};
    const QByteArray gammaChrm = rgbProfile(gw, gr, gg, gb, "gamma", 100000.0 / 55556);
    return {
        {"Adobe RGB (1998) JPEG",
         [adobe](const QTemporaryDir& d, const QImage& img) {
             return std::make_pair(jpeg(d, "adobe.jpg", img, adobe), jpeg(d, "plain.jpg", img, {}));
         },
         adobe},
        {"ProPhoto TIFF",
         [prophoto](const QTemporaryDir& d, const QImage& img) {
             return std::make_pair(save(d, "prophoto.tif", img, "tiff", -1, prophoto),
                                   save(d, "plain.tif", img, "tiff"));
         },
         prophoto},
        {"WideGamut WebP",
         [wide](const QTemporaryDir& d, const QImage& img) {
             return std::make_pair(save(d, "wide.webp", img, "webp", 100, wide),
                                   save(d, "plain.webp", img, "webp", 100));
         },
         wide},
        {"Display P3 (lcms2) PNG",
         [p3](const QTemporaryDir& d, const QImage& img) {
             return std::make_pair(png(d, "p3.png", img, {{"iCCP", iccpChunk(p3)}}),
                                   png(d, "plain.png", img, {}));
         },
         p3},
        {"Profile of tables PNG",
         [tables](const QTemporaryDir& d, const QImage& img) {
             return std::make_pair(png(d, "tables.png", img, {{"iCCP", iccpChunk(tables)}}),
                                   png(d, "plain.png", img, {}));
         },
         tables, true},
        {"PNG gAMA + cHRM",
         [gw, gr, gg, gb](const QTemporaryDir& d, const QImage& img) {
             return std::make_pair(
                 png(d, "gamma.png", img,
                     {{"gAMA", bigEndian32(55556)}, {"cHRM", chrm(gw, gr, gg, gb)}}),
                 png(d, "plain.png", img, {}));
         },
         gammaChrm},
        {"P3 HEIC (nclx)",
         [](const QTemporaryDir& d, const QImage& img) {
             return std::make_pair(heif(d, "p3.heic", img, 12, 13),
                                   heif(d, "plain.heic", img, 1, 13));
         },
         p3},
        {"AVIF with CICP (BT.2020, BT.709)",
         [](const QTemporaryDir& d, const QImage& img) {
             return std::make_pair(heif(d, "bt2020.avif", img, 9, 1),
                                   heif(d, "plain.avif", img, 1, 13));
         },
         rgbProfile(kD65, k2020[0], k2020[1], k2020[2], "bt709")},
        {"JPEG XL, BT.2020 encoding",
         [](const QTemporaryDir& d, const QImage& img) {
             return std::make_pair(jxl(d, "bt2020.jxl", img, QStringLiteral("RGB_D65_202_Rel_SRG")),
                                   jxl(d, "plain.jxl", img, QStringLiteral("RGB_D65_SRG_Rel_SRG")));
         },
         rgbProfile(kD65, k2020[0], k2020[1], k2020[2], "srgb")},
    };
}

} // namespace

TEST(Colours, EveryDeclarationMatchesTheReferenceWithinDeltaE) {
    QTemporaryDir dir;
    const QImage picture = pattern();
    const QByteArray monitor = monitorProfile();
    // A monitor profile made of tables too.
    const QByteArray tables = tableProfile();
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.profile.isEmpty());
        const auto [tagged, untagged] = c.make(dir, picture);
        ASSERT_FALSE(tagged.isEmpty());
        ASSERT_FALSE(untagged.isEmpty());
        // The stored pixels, as decoded without any colours declared.
        const Picture raw = loadPicture(untagged);
        ASSERT_FALSE(raw.isNull()) << raw.error.toStdString();
        for (const QByteArray& display : {QByteArray(), monitor, tables}) {
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
            const DeltaE e = deltaE2000(shown.image, expected, display);
            std::printf("%-36s %-8s dE2000 mean %.2f max %.2f\n", c.name,
                        display.isEmpty()    ? "sRGB"
                        : display == monitor ? "monitor"
                                             : "tables",
                        e.mean, e.max);
            EXPECT_LE(e.mean, 1.5);
            EXPECT_LE(e.max, 3.0);
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
    const auto within = [](const QImage& a, const QImage& b, const QByteArray& space) {
        const DeltaE e = deltaE2000(a, b, space);
        return e.mean <= 1.5 && e.max <= 3;
    };
    service.setDisplayColours(ColourSpace::fromIcc(monitor));
    // Whole, then reduced copies made from the picture kept whole.
    const Picture whole = fetch(PictureRequest::full(path));
    EXPECT_EQ(whole.colours, service.displayColours());
    EXPECT_TRUE(within(whole.image, onMonitor, monitor));
    const Picture wholeSrgb = fetch(PictureRequest::full(path).inSrgb());
    EXPECT_TRUE(wholeSrgb.colours.isSrgb());
    EXPECT_TRUE(within(wholeSrgb.image, inSrgb, {}));
    const QSize half = picture.size() / 2;
    const auto scaled = [half](const QImage& img) {
        return img.scaled(half, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    };
    EXPECT_TRUE(
        within(fetch(PictureRequest::fitted(path, half)).image, scaled(onMonitor), monitor));
    EXPECT_TRUE(
        within(fetch(PictureRequest::fitted(path, half).inSrgb()).image, scaled(inSrgb), {}));
    // Another monitor profile: the next pictures follow it.
    service.setDisplayColours(ColourSpace());
    const Picture after = fetch(PictureRequest::full(path));
    EXPECT_TRUE(after.colours.isSrgb());
    EXPECT_TRUE(within(after.image, inSrgb, {}));
}

TEST(Colours, AHelperProfileTooLargeToHandOverIsAppliedByTheHelper) {
    QTemporaryDir dir;
    const QImage picture = pattern();
    const QByteArray large = tableProfile(33);
    ASSERT_GT(large.size(), qsizetype(kMaxHelperColourBytes));
    const QString path = heif(dir, "large.heic", picture, 1, 13, large);
    ASSERT_FALSE(path.isEmpty());
    const Picture shown = loadPicture(path);
    ASSERT_FALSE(shown.isNull()) << shown.error.toStdString();
    const DeltaE e = deltaE2000(shown.image, reference(dir, picture, large, {}, true));
    EXPECT_LE(e.mean, 1.5);
    EXPECT_LE(e.max, 3.0);
}

TEST(Colours, PicturesReadByPartsComeInTheColoursOfWholeOnes) {
    QTemporaryDir dir;
    const QImage picture = pattern(QSize(203, 131));
    const QByteArray adobe = colordProfile(QStringLiteral("AdobeRGB1998.icc"));
    const QByteArray monitor = monitorProfile();
    const QStringList files = {
        jpeg(dir, "adobe.jpg", picture, adobe),
        png(dir, "adobe.png", picture, {{"iCCP", iccpChunk(adobe)}}),
        save(dir, "adobe.tif", picture, "tiff", -1, adobe),
    };
    // Every picture read by parts, in tiles of 40 x 24.
    const LoadLimits tiny{0, QSize(40, 24)};
    PictureNeed onMonitor;
    onMonitor.colours = ColourSpace::fromIcc(monitor);
    for (const QString& path : files) {
        SCOPED_TRACE(path.toStdString());
        ASSERT_FALSE(path.isEmpty());
        const Picture whole = loadPicture(path, onMonitor);
        ASSERT_FALSE(whole.isNull()) << whole.error.toStdString();
        // The profile changes what is shown: the case is not a trivial one.
        const Picture asSrgb = loadPicture(path);
        EXPECT_GT(deltaE2000(whole.image, asSrgb.image, {}).mean, 2.0);

        const Picture tiled = loadPicture(path, onMonitor, nullptr, tiny);
        ASSERT_TRUE(tiled.isTiled()) << tiled.error.toStdString();
        EXPECT_EQ(tiled.colours, onMonitor.colours);
        const TiledPicture& t = *tiled.tiled;
        QList<QRect> tiles;
        for (int row = 0; row < t.gridSize().height(); ++row) {
            for (int col = 0; col < t.gridSize().width(); ++col)
                tiles << t.tileRect(QPoint(col, row));
        }
        QString error;
        int got = 0;
        ASSERT_TRUE(t.decode(
            tiles,
            [&](int i, const QImage& tile) {
                ++got;
                const DeltaE e = deltaE2000(tile, whole.image.copy(tiles[i]), monitor);
                EXPECT_LE(e.max, 1.0) << "tile " << i;
            },
            nullptr, &error))
            << error.toStdString();
        EXPECT_EQ(got, tiles.size());
        // A reduced picture (the overview) and a part, in the same colours.
        PictureNeed reduced = onMonitor;
        reduced.kind = PictureNeed::Kind::Fitted;
        reduced.box = QSize(101, 101);
        const Picture overview = loadPicture(path, reduced, nullptr, tiny);
        ASSERT_FALSE(overview.isNull()) << overview.error.toStdString();
        const QImage wholeReduced = whole.image.scaled(overview.image.size(), Qt::IgnoreAspectRatio,
                                                       Qt::SmoothTransformation);
        EXPECT_LE(deltaE2000(overview.image, wholeReduced, monitor).mean, 1.5);
        PictureNeed part = onMonitor;
        part.region = QRect(30, 20, 90, 60);
        const Picture region = loadPicture(path, part, nullptr, tiny);
        ASSERT_FALSE(region.isNull()) << region.error.toStdString();
        EXPECT_LE(deltaE2000(region.image, whole.image.copy(part.region), monitor).max, 1.0);
    }
}
