// FLI and FLC animations as the animation player reads them: opened from a
// file, every frame decoded (up to a few dozen), then rewound and the first
// frame decoded again. Every frame has the animation's size and the count
// read never passes the count announced.
#include "fuzzsupport.h"

#include "companions/aawin/flicdecoder.h"

using namespace lumenta;

namespace {

constexpr int kMaxFrames = 48;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::startGuiApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString path = fuzz::writeScratchFile(QStringLiteral("animation.flc"), bytes);
    FlicDecoder decoder;
    if (!decoder.open(path)) {
        LUMENTA_FUZZ_CHECK(!decoder.error().isEmpty() && !decoder.isOpen());
        return 0;
    }
    const QSize frameSize = decoder.frameSize();
    LUMENTA_FUZZ_CHECK(frameSize.width() <= 4096 && frameSize.height() <= 4096);
    LUMENTA_FUZZ_CHECK(decoder.frameDurationMs() >= 0);
    QImage frame;
    int frames = 0;
    while (frames < kMaxFrames && decoder.readFrame(frame)) {
        ++frames;
        LUMENTA_FUZZ_CHECK(frame.size() == frameSize);
        LUMENTA_FUZZ_CHECK(decoder.framesRead() == frames);
        LUMENTA_FUZZ_CHECK(decoder.frameCount() == 0 || frames <= decoder.frameCount());
    }
    if (frames > 0 && decoder.rewind()) {
        LUMENTA_FUZZ_CHECK(decoder.readFrame(frame) && frame.size() == frameSize);
    }
    return 0;
}
