// The conversion's own BMP, JPEG and GIF writers, read back by Qt's readers,
// and their files written while they are made: a writer that stops half way
// leaves nothing behind.
#include "convert/picformat32.h"
#include "convert/picturewriters.h"
#include "convert/rasterwriters.h"
#include "picture/pictureservice.h"
#include "support/testutil.h"

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QImageReader>
#include <QtEndian>
#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace lumenta;

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

} // namespace

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

TEST(ConvertWriters, AConversionOntoAFullVolumeLeavesNothing) {
    if (!privateMounts)
        GTEST_SKIP() << "needs root for a small volume of its own";
    QTemporaryDir dir;
    const QString small = dir.filePath(QStringLiteral("small"));
    QDir().mkpath(small);
    ASSERT_EQ(mount("tmpfs", QFile::encodeName(small).constData(), "tmpfs", 0, "size=256k"), 0);
    const QString source = dir.filePath(QStringLiteral("photo.jpg"));
    ASSERT_TRUE(colourful({400, 300}, QImage::Format_RGB32).save(source, "JPEG"));
    // Its bitmap (360 KB) does not fit; the file it would replace stays.
    const QString kept = testutil::writeFile(dir, QStringLiteral("small/kept.bmp"), "old");
    PictureService pictures;
    PicFormat32 pf(pictures);
    std::optional<ConversionOutcome> got;
    QObject::connect(&pf, &PicFormat32::finished, [&](const ConversionOutcome& o) { got = o; });
    ASSERT_TRUE(pf.JpegToBmp(source, kept));
    ASSERT_TRUE(testutil::waitUntil([&] { return got.has_value(); }, 20000));
    EXPECT_EQ(got->status, ConversionOutcome::Status::Unwritable);
    EXPECT_EQ(got->file.error, FileError::DiskFull);
    EXPECT_EQ(testutil::readFile(kept), "old");
    EXPECT_EQ(QDir(small).entryList(QDir::Files | QDir::Hidden), QStringList{"kept.bmp"});
    umount2(QFile::encodeName(small).constData(), MNT_DETACH);
}
