// Frames whose parameters announce a picture larger than any picture may
// be are refused before anything is reserved for them (scanners report
// any values); the largest frames allowed still start.
#include "picture/pictureloader.h"
#include "scanner/frameassembler.h"

#include <gtest/gtest.h>

using namespace lumenta;
using Format = FrameParams::Format;

TEST(FrameAssembler, PictureSizeIsBoundedByTheAllocationLimit) {
    constexpr qint64 limit = qint64(kPictureAllocationLimitMB) << 20;
    const struct {
        FrameParams params;
        bool starts;
    } cases[] = {
        // 60 GB announced: refused, not reserved.
        {{Format::RGB, true, 600000, 200000, 100000, 8}, false},
        // 1-bit colour lines whose 8-bit row would overflow an int.
        {{Format::RGB, true, 300000000, 800000000, -1, 1}, false},
        // Gray just over and just at the limit.
        {{Format::Gray, true, 1 << 16, 1 << 16, int(limit >> 16) + 1, 8}, false},
        {{Format::Gray, true, 1 << 16, 1 << 16, int(limit >> 16), 8}, true},
        // One red channel: the picture it makes is 24-bit.
        {{Format::Red, false, 1 << 16, 1 << 16, int(limit / 3 >> 16) + 1, 8}, false},
        {{Format::Red, false, 1 << 16, 1 << 16, int(limit / 3 >> 16), 8}, true},
    };
    for (const auto& c : cases) {
        FrameAssembler frames;
        QString error;
        EXPECT_EQ(frames.begin(c.params, &error), c.starts)
            << c.params.pixelsPerLine << " x " << c.params.lines;
        EXPECT_EQ(error.isEmpty(), c.starts);
    }
}

TEST(FrameAssembler, FrameOfUnknownHeightStillAssembles) {
    FrameAssembler frames;
    ASSERT_TRUE(frames.begin({Format::Gray, true, 4, 3, -1, 8}));
    const char data[] = "\x10\x20\x30\x00\x40\x50\x60";
    frames.append(data, 7); // the last line incomplete: dropped
    frames.end();
    const QImage img = frames.picture(0);
    ASSERT_EQ(img.size(), QSize(3, 1));
    EXPECT_EQ(qGray(img.pixel(2, 0)), 0x30);
}
