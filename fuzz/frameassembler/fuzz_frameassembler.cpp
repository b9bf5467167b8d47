// The scanner's frame assembler: frames with the parameters a scanner
// reports (any values) and the bytes it sends, in any slicing, as the scan
// engine feeds them; then the picture.
#include "fuzzsupport.h"

#include "scanner/frameassembler.h"

#include <new>

using namespace lumenta;

namespace {

FrameParams paramsFrom(fuzz::InputReader& in) {
    FrameParams p;
    p.format = FrameParams::Format(in.takeInRange<int>(0, 4));
    p.lastFrame = in.takeBool();
    p.bytesPerLine = in.take<qint32>();
    p.pixelsPerLine = in.take<qint32>();
    const qint32 lines = in.take<qint32>();
    p.lines = lines < 0 ? -1 : lines; // as the engine takes SANE's lines
    p.depth = in.take<qint32>();
    return p;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader in(data, size);
    FrameAssembler frames;
    try {
        // At most three frames make a picture, as in the engine.
        for (int frame = 0; frame < 3 && in.left() > 0; ++frame) {
            const FrameParams p = paramsFrom(in);
            QString error;
            if (!frames.begin(p, &error)) {
                LUMENTA_FUZZ_CHECK(!error.isEmpty());
                break;
            }
            // Chunks of data, each led by its length; a zero length ends
            // the frame.
            while (in.left() > 0) {
                const uint16_t n = in.take<uint16_t>();
                if (n == 0)
                    break;
                const QByteArray chunk = in.takeBytes(n);
                frames.append(chunk.constData(), chunk.size());
                const qint64 expected = frames.expectedBytes();
                LUMENTA_FUZZ_CHECK(expected == -1 || expected > 0);
            }
            frames.end();
            if (p.lastFrame)
                break;
        }
        const QImage picture = frames.picture(in.take<uint16_t>());
        if (!picture.isNull())
            LUMENTA_FUZZ_CHECK(picture.width() > 0 && picture.height() > 0);
    } catch (const std::bad_alloc&) {
        // What the engine reports as a scan without memory.
    }
    return 0;
}
