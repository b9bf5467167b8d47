// The output of the picture decoder helper as the viewer reads it: a
// stand-in helper (fakehelper.c) sends the header and pixels, error output
// and exit code the input prescribes; the viewer's side checks them against
// what it asked for. The input: two bytes saying what is asked, then what
// the stand-in reads (see fakehelper.c).
#include "fuzzsupport.h"

#include "picture/helperdecode.h"

using namespace lumenta;

namespace {

class Progress final : public LoadProgress {
public:
    explicit Progress(bool refuse) : refuse_(refuse) {}
    bool mayAllocate(qint64 bytes) override {
        LUMENTA_FUZZ_CHECK(bytes >= 0);
        return !refuse_;
    }

private:
    bool refuse_;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::startCoreApplication();
    qputenv("LUMENTA_PICDECODE", LUMENTA_FAKE_HELPER);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader in(data, size);
    const uint8_t kind = in.take<uint8_t>();
    const uint8_t box = in.take<uint8_t>();
    PictureNeed need;
    need.kind = PictureNeed::Kind(kind % 4);
    if (need.kind == PictureNeed::Kind::Full) {
        if (kind & 0x10)
            need.region = QRect(0, 0, 1 + box % 16, 1 + box / 16);
    } else {
        need.box = QSize(1 + box % 16, 1 + box / 16);
    }
    Progress progress(kind & 0x80);
    const QString path = fuzz::writeScratchFile(QStringLiteral("helper.out"), in.rest());

    const Picture pic = decodeInHelper(path, need, &progress, 10000);
    if (pic.kind != Picture::Kind::Raster) {
        LUMENTA_FUZZ_CHECK(pic.image.isNull() && !pic.error.isEmpty());
        return 0;
    }
    LUMENTA_FUZZ_CHECK(!pic.image.isNull());
    LUMENTA_FUZZ_CHECK(fitsAllocationLimit(pic.naturalSize, 32));
    LUMENTA_FUZZ_CHECK(pic.image.format() == QImage::Format_RGB32 ||
                       pic.image.format() == QImage::Format_ARGB32_Premultiplied);
    if (need.kind == PictureNeed::Kind::Full)
        LUMENTA_FUZZ_CHECK(pic.image.size() == regionFor(pic.naturalSize, need).size());
    else
        LUMENTA_FUZZ_CHECK(pic.image.size() == reducedSize(pic.naturalSize, need));
    return 0;
}
