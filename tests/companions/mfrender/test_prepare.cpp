// The record rewriting done before the metafile decoders see a file.
#include "companions/mfrender/emfprepare.h"
#include "companions/mfrender/wmfprepare.h"
#include "support/testutil.h"
#include "support/wmfbuilder.h"

#include <QtEndian>
#include <gtest/gtest.h>

using namespace lumenta;
using testutil::sampleBytes;
using testutil::WmfBuilder;

namespace {

quint32 u32(const QByteArray& b, qsizetype at) {
    return qFromLittleEndian<quint32>(b.constData() + at);
}

// Walks EMF records; false when they do not tile the file exactly.
bool emfRecordsTile(const QByteArray& emf, int* count) {
    qsizetype pos = 0;
    *count = 0;
    while (pos + 8 <= emf.size()) {
        const quint32 size = u32(emf, pos + 4);
        if (size < 8 || size % 4 || size > quint32(emf.size() - pos))
            return false;
        pos += size;
        ++*count;
    }
    return pos == emf.size();
}

} // namespace

TEST(EmfPrepare, WidePensAndHatchedBrushesAreRewritten) {
    const QByteArray emf = sampleBytes("meta/gdi_records.emf");
    const PreparedEmf prepared = prepareEmfForSvg(emf);
    // Pens of width 3, 4, 3, 2 and 5 (MM_TEXT); the 1-wide and null ones stay.
    EXPECT_EQ(prepared.pensWidened, 5);
    ASSERT_EQ(prepared.hatches.size(), 1);
    const EmfHatch& h = prepared.hatches.first();
    EXPECT_EQ(h.style, 5); // HS_DIAGCROSS
    EXPECT_EQ(h.color, qRgb(153, 0, 153));
    EXPECT_FALSE(h.opaque); // the file sets TRANSPARENT first
    const char marker[3] = {char(qRed(h.marker)), char(qGreen(h.marker)), char(qBlue(h.marker))};
    EXPECT_FALSE(emf.contains(QByteArrayView(marker, 3)));
    EXPECT_TRUE(prepared.data.contains(QByteArrayView(marker, 3)));

    int before = 0, after = 0;
    ASSERT_TRUE(emfRecordsTile(emf, &before));
    ASSERT_TRUE(emfRecordsTile(prepared.data, &after));
    EXPECT_EQ(before, after);
    EXPECT_EQ(u32(prepared.data, 48), quint32(prepared.data.size())); // header byte count
    EXPECT_EQ(u32(prepared.data, 52), u32(emf, 52));                  // record count
}

TEST(EmfPrepare, DamagedOrForeignInputIsLeftAlone) {
    const QByteArray text = sampleBytes("broken/text_renamed.emf");
    EXPECT_EQ(prepareEmfForSvg(text).data, text);
    // A record claiming 2 GB: nothing after it touched, nothing read past the end.
    const QByteArray broken = sampleBytes("broken/emf_record_size_huge.emf");
    EXPECT_EQ(prepareEmfForSvg(broken).data, broken);
    const QByteArray half = sampleBytes("broken/emf_truncated_half.emf");
    const PreparedEmf prepared = prepareEmfForSvg(half);
    EXPECT_TRUE(prepared.data.endsWith(half.right(16)));
    EXPECT_EQ(prepared.data.left(8), half.left(8));
}

TEST(EmfPrepare, ConverterClosingOfOpenPathsIsUndone) {
    EXPECT_EQ(mendConvertedSvg(R"(<path d="M 1,2 C 3,4 5,6 7,8 Z " stroke="#000"/>)"),
              R"(<path d="M 1,2 C 3,4 5,6 7,8 " stroke="#000"/>)");
    EXPECT_EQ(mendConvertedSvg(R"(<path d="M 1,2 L 3,4 L 5,6 Z Z "/><path d="M 0,0 Z "/>)"),
              R"(<path d="M 1,2 L 3,4 L 5,6 Z "/><path d="M 0,0 "/>)");
    // A polygon's own closing has no trailing blank.
    const QByteArray polygon = R"(<path d="M 1,2 L 3,4 L 5,6 Z" fill="#22AA22"/>)";
    EXPECT_EQ(mendConvertedSvg(polygon), polygon);
}

TEST(EmfPrepare, HatchesReplaceMarkerPixels) {
    EmfHatch h;
    h.marker = qRgb(1, 254, 3);
    h.style = 0; // horizontal lines on rows 0, 8, 16...
    h.color = qRgb(0, 0, 0);
    QImage under(32, 32, QImage::Format_RGB32);
    under.fill(qRgb(200, 0, 0));
    QImage marked = under;
    for (int y = 8; y < 24; ++y)
        for (int x = 8; x < 24; ++x)
            marked.setPixel(x, y, h.marker);
    marked.setPixel(4, 4, qRgb(9, 9, 9)); // a difference no marker explains

    QImage out = compositeHatches(marked, under, {h});
    EXPECT_EQ(out.pixel(12, 16), qRgb(0, 0, 0));   // on a line
    EXPECT_EQ(out.pixel(12, 13), qRgb(200, 0, 0)); // transparent between lines
    EXPECT_EQ(out.pixel(2, 16), qRgb(200, 0, 0));  // outside the shape
    EXPECT_EQ(out.pixel(4, 4), qRgb(9, 9, 9));

    h.opaque = true;
    h.background = qRgb(255, 255, 0);
    out = compositeHatches(marked, under, {h});
    EXPECT_EQ(out.pixel(12, 13), qRgb(255, 255, 0));
    // Half covered (an antialiased edge): half way between under and hatch.
    marked.setPixel(30, 16, qRgb((200 + 1) / 2, 254 / 2, 3 / 2));
    h.opaque = false;
    out = compositeHatches(marked, under, {h});
    EXPECT_NEAR(qRed(out.pixel(30, 16)), 100, 2);
}

TEST(EmfPrepare, HatchPatterns) {
    // style, x, y, on a line?
    const int cases[][4] = {{0, 3, 8, 1}, {0, 3, 9, 0},  {1, 16, 5, 1}, {2, 10, 2, 1},
                            {3, 6, 2, 1}, {3, 10, 2, 0}, {4, 8, 3, 1},  {4, 3, 8, 1},
                            {4, 3, 3, 0}, {5, 10, 2, 1}, {5, 6, 2, 1},  {5, 1, 2, 0},
                            {9, 0, 0, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(hatchCovers(c[0], c[1], c[2]), bool(c[3])) << c[0] << " " << c[1] << "," << c[2];
}

TEST(WmfPrepare, WindowExtentIsRepeatedAfterAnisotropicMapMode) {
    // (Dropping empty polygons shows in the rendered shapes.)
    const QByteArray header = QByteArray::fromHex("010009000003000000000000000000000000");
    const QByteArray ext = QByteArray::fromHex("050000000c02c8009001"); // 400 x 200
    const QByteArray anisotropic = QByteArray::fromHex("0400000003010800");
    const QByteArray eof = QByteArray::fromHex("030000000000");
    const PreparedWmf prepared = prepareWmfForLibwmf(header + ext + anisotropic + eof);
    EXPECT_EQ(prepared.extentsRepeated, 1);
    EXPECT_EQ(prepared.data, header.left(6) + WmfBuilder::le32(quint32(prepared.data.size() / 2)) +
                                 header.mid(10, 2) + WmfBuilder::le32(5) + header.mid(16) + ext +
                                 anisotropic + ext + eof);
    // MM_TEXT ignores extents: nothing to do.
    const QByteArray text = header + ext + QByteArray::fromHex("0400000003010100") + eof;
    EXPECT_EQ(prepareWmfForLibwmf(text).data, text);
}
