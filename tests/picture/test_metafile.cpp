// Metafile recognition and natural sizes.
#include "picture/metafile.h"
#include "support/testutil.h"
#include "support/wmfbuilder.h"

#include <QtEndian>
#include <gtest/gtest.h>

using namespace lumenta;
using testutil::sampleBytes;
using testutil::WmfBuilder;

namespace {

// A copy of b with a little-endian value written at `at`.
template <typename T> QByteArray patched(QByteArray b, qsizetype at, T value) {
    qToLittleEndian<T>(value, b.data() + at);
    return b;
}

} // namespace

TEST(MetafileDetect, TheThreeHeadersAndNothingElse) {
    // (Whole sample files are recognised on their way to the renderer.)
    const QByteArray emf = sampleBytes("meta/gdi_records.emf");
    const std::pair<QByteArray, MetafileKind> cases[] = {
        {sampleBytes("meta/drawing_copy.EMF").left(64), MetafileKind::Emf},
        // A plain header of Windows 2 (version 0x0100) on a memory metafile (type 2).
        {QByteArray::fromHex("0200090000010000"), MetafileKind::Wmf},
        {{}, MetafileKind::None},
        {QByteArray::fromHex("d7cdc6"), MetafileKind::None}, // cut magic
        {sampleBytes("meta/reference_from_svg.png"), MetafileKind::None},
        {sampleBytes("broken/text_renamed.wmf"), MetafileKind::None},
        {"BM" + QByteArray(60, '\0'), MetafileKind::None},
        // Header size other than 9 words, unknown version, EMF without signature.
        {QByteArray::fromHex("0100080000030000"), MetafileKind::None},
        {QByteArray::fromHex("0100090000020000"), MetafileKind::None},
        {patched<quint8>(emf, 41, 'X'), MetafileKind::None},
        {emf.left(43), MetafileKind::None},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(detectMetafile(cases[i].first), cases[i].second) << "case " << i;
}

TEST(MetafileSize, FromPlaceableBoxEmfFrameAndWindowExtent) {
    struct Case {
        const char* file;
        MetafileKind kind;
        QSize size;
    } cases[] = {
        {"meta/gdi_records.wmf", MetafileKind::Wmf, {640, 400}},      // 9600 twips
        {"meta/inkscape_drawing.wmf", MetafileKind::Wmf, {605, 378}}, // 1200 units/in
        {"meta/gdi_records_nonplaceable.wmf", MetafileKind::Wmf, {9600, 6000}},
        {"meta/inkscape_drawing_nonplaceable.wmf", MetafileKind::Wmf, {7558, 4723}},
        {"meta/gdi_records.emf", MetafileKind::Emf, {640, 400}}, // frame 16932 x 10582
        {"meta/inkscape_drawing.emf", MetafileKind::Emf, {605, 382}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(metafileNaturalSize(sampleBytes(c.file), c.kind), c.size) << c.file;
    // A plain file's window extent comes after other records and may be
    // negative (a flipped axis). Its y is at 18 + 10 + 6 bytes.
    const QByteArray plain = WmfBuilder(300, 200).build(false);
    EXPECT_EQ(metafileNaturalSize(patched<qint16>(plain, 34, -200), MetafileKind::Wmf),
              QSize(300, 200));
}

TEST(MetafileSize, UnusableHeadersGiveNoSize) {
    const QByteArray wmf = sampleBytes("meta/gdi_records.wmf");
    const QByteArray plain = WmfBuilder(300, 200).build(false);
    const std::pair<QByteArray, MetafileKind> cases[] = {
        {sampleBytes("broken/wmf_bbox_huge.wmf"), MetafileKind::Wmf},
        {sampleBytes("broken/emf_frame_huge.emf"), MetafileKind::Emf},
        {sampleBytes("broken/empty.wmf"), MetafileKind::Wmf},
        {sampleBytes("meta/gdi_records.emf").left(39), MetafileKind::Emf},
        {wmf, MetafileKind::None},
        {patched<qint16>(wmf, 14, 0), MetafileKind::Wmf},  // no units per inch
        {patched<qint16>(wmf, 10, -5), MetafileKind::Wmf}, // right < left
        {patched<qint16>(wmf, 12, 0), MetafileKind::Wmf},  // bottom == top
        {patched<qint32>(sampleBytes("meta/gdi_records.emf"), 32, -100),
         MetafileKind::Emf}, // frame
        // Plain files: no window extent before the end record, a zero-sized
        // record, a record running past the end, a cut extent, a zero extent.
        {QByteArray::fromHex("010009000003000000000000000000000000"
                             "0400000002010100030000000000"),
         MetafileKind::Wmf},
        {patched<quint32>(plain, 18, 0), MetafileKind::Wmf},
        {patched<quint32>(plain, 18, 0x7FFFFFF0), MetafileKind::Wmf},
        {plain.left(36), MetafileKind::Wmf},
        {patched<qint16>(plain, 36, 0), MetafileKind::Wmf},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_FALSE(metafileNaturalSize(cases[i].first, cases[i].second).isValid())
            << "case " << i;
}

TEST(MetafileSize, RenderSizeKeepsTheAspectUnderTheCap) {
    EXPECT_EQ(metafileRenderSize({640, 400}), QSize(640, 400));
    EXPECT_EQ(metafileRenderSize({8192, 8192}), QSize(8192, 8192));
    EXPECT_EQ(metafileRenderSize({16384, 100}), QSize(8192, 50));
    EXPECT_EQ(metafileRenderSize({100, 20000}), QSize(41, 8192));
    EXPECT_EQ(metafileRenderSize({kMetafileMaxNaturalSide, 1}), QSize(8192, 1));
    EXPECT_FALSE(metafileRenderSize({0, 10}).isValid());
}
