// The JPEG decoding path: the input's first four bytes say what is asked
// (natural size, a part, or reduced in one of three ways, and when the
// load is cancelled or refused memory); the rest is the file. A picture
// decoded has the size asked for, and the rows announced are never more
// than the picture holds.
#include "fuzzsupport.h"

#include "picture/jpegdecoder.h"

using namespace lumenta;

namespace {

// Pictures beyond this are refused through the progress, as a full memory
// budget refuses them in the picture service: it keeps each run short.
constexpr qint64 kFuzzAllocationBytes = qint64(64) << 20;

class Progress final : public LoadProgress {
public:
    Progress(int cancelAfterRows, bool refuse) : cancelAfter_(cancelAfterRows), refuse_(refuse) {}
    bool isCancelled() const override { return cancelAfter_ >= 0 && rows_ >= cancelAfter_; }
    bool mayAllocate(qint64 bytes) override {
        LUMENTA_FUZZ_CHECK(bytes >= 0);
        return !refuse_ && bytes <= kFuzzAllocationBytes;
    }
    void rowsStarted(const QImage& buffer) override {
        LUMENTA_FUZZ_CHECK(!started_ && !buffer.isNull());
        started_ = true;
        height_ = buffer.height();
    }
    void rowsDecoded(int rows) override {
        LUMENTA_FUZZ_CHECK(started_ && rows > rows_ && rows <= height_);
        rows_ = rows;
    }

private:
    int cancelAfter_;
    bool refuse_;
    bool started_ = false;
    int height_ = 0;
    int rows_ = 0;
};

PictureNeed needFrom(fuzz::InputReader& in) {
    PictureNeed need;
    const uint8_t kind = in.take<uint8_t>();
    need.kind = PictureNeed::Kind(kind % 4);
    const int a = 1 + in.take<uint8_t>() * 4, b = 1 + in.take<uint8_t>() * 4;
    if (need.kind == PictureNeed::Kind::Full) {
        if (kind & 0x10) {
            need.region = QRect(a / 2, b / 2, a, b);
            need.centreRegion = kind & 0x20;
        }
    } else {
        need.box = QSize(a, b);
    }
    return need;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::startGuiApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader in(data, size);
    const PictureNeed need = needFrom(in);
    const uint8_t control = in.take<uint8_t>();
    Progress progress((control & 0x80) ? (control & 0x7F) : -1, (control & 0x3F) == 0x3F);
    const QString path = fuzz::writeScratchFile(QStringLiteral("picture.jpg"), in.rest());

    const JpegOutcome out = decodeJpeg(path, need, &progress);
    const Picture& pic = out.picture;
    if (pic.kind != Picture::Kind::Raster) {
        LUMENTA_FUZZ_CHECK(pic.image.isNull() && !pic.error.isEmpty());
        return 0;
    }
    LUMENTA_FUZZ_CHECK(!pic.image.isNull() && pic.error.isEmpty());
    LUMENTA_FUZZ_CHECK(fitsAllocationLimit(pic.naturalSize, 8));
    LUMENTA_FUZZ_CHECK(QRect(QPoint(), pic.naturalSize).contains(pic.region));
    if (need.kind == PictureNeed::Kind::Full)
        LUMENTA_FUZZ_CHECK(pic.image.size() == pic.region.size() &&
                           pic.region == regionFor(pic.naturalSize, need));
    else
        LUMENTA_FUZZ_CHECK(pic.image.size() == reducedSize(pic.naturalSize, need));
    return 0;
}
