// JPEG XL pictures through libjxl: the first frame of an animation, turned
// upright by the decoder (the codestream's orientation is the one that
// counts). Always decoded at full size, even for a thumbnail: libjxl (0.7)
// gives no reduced picture cheaper than the whole one. Its first
// progressive pass (the DC image, at 1:8) is only ever given upsampled to
// full size, and flushing it costs about as much as decoding everything
// (24 megapixels: the pass is read after a fifth of the time, its flush
// takes the rest); the DC output of older versions is gone.
#include "decoders.h"

#include "picture/pictureloader.h"

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <jxl/encode.h> // JxlColorEncodingSetToSRGB
#include <jxl/thread_parallel_runner.h>
#include <jxl/thread_parallel_runner_cxx.h>

namespace lumenta::picdecode {

Decoded decodeJxl(const QByteArray& file, const Request& request) {
    Decoded out;
    auto fail = [&out](const char* why) {
        out.image = QImage();
        out.error = QString::fromLatin1(why);
        return out;
    };
    JxlDecoderPtr dec = JxlDecoderMake(nullptr);
    JxlThreadParallelRunnerPtr runner =
        JxlThreadParallelRunnerMake(nullptr, JxlThreadParallelRunnerDefaultNumWorkerThreads());
    if (!dec || !runner ||
        JxlDecoderSetParallelRunner(dec.get(), JxlThreadParallelRunner, runner.get()) !=
            JXL_DEC_SUCCESS ||
        JxlDecoderSubscribeEvents(dec.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING |
                                                 JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(dec.get(), reinterpret_cast<const uint8_t*>(file.constData()),
                           size_t(file.size())) != JXL_DEC_SUCCESS)
        return fail("the decoder cannot be set up");
    JxlDecoderCloseInput(dec.get());

    JxlPixelFormat format = {4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    JxlBasicInfo info = {};
    for (;;) {
        switch (JxlDecoderProcessInput(dec.get())) {
        case JXL_DEC_BASIC_INFO: {
            if (JxlDecoderGetBasicInfo(dec.get(), &info) != JXL_DEC_SUCCESS)
                return fail("unreadable header");
            const QSize stored(int(qMin<uint32_t>(info.xsize, 1 << 20)),
                               int(qMin<uint32_t>(info.ysize, 1 << 20)));
            out.natural = info.orientation >= JXL_ORIENT_TRANSPOSE ? stored.transposed() : stored;
            if (!fitsAllocationLimit(out.natural, 32) || info.xsize > (1u << 20) ||
                info.ysize > (1u << 20))
                return fail("picture too large");
            if (request.naturalKnown)
                request.naturalKnown(out.natural);
            break;
        }
        case JXL_DEC_COLOR_ENCODING: {
            // Pictures stored in the codec's own colour space come as sRGB.
            JxlColorEncoding srgb;
            JxlColorEncodingSetToSRGB(&srgb, info.num_color_channels == 1);
            JxlDecoderSetPreferredColorProfile(dec.get(), &srgb);
            break;
        }
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            const bool alpha = info.alpha_bits > 0;
            out.image = QImage(out.natural, !alpha ? QImage::Format_RGBX8888
                                            : info.alpha_premultiplied
                                                ? QImage::Format_RGBA8888_Premultiplied
                                                : QImage::Format_RGBA8888);
            size_t needed = 0;
            if (out.image.isNull() ||
                JxlDecoderImageOutBufferSize(dec.get(), &format, &needed) != JXL_DEC_SUCCESS ||
                needed != size_t(out.image.sizeInBytes()) ||
                JxlDecoderSetImageOutBuffer(dec.get(), &format, out.image.bits(), needed) !=
                    JXL_DEC_SUCCESS)
                return fail("no buffer for the picture");
            break;
        }
        case JXL_DEC_FULL_IMAGE: // the first frame is enough
            goto done;
        case JXL_DEC_SUCCESS:
            if (out.image.isNull())
                return fail("no picture in the file");
            goto done;
        case JXL_DEC_NEED_MORE_INPUT:
            return fail("the file is truncated");
        case JXL_DEC_ERROR:
        default:
            return fail("the file cannot be decoded");
        }
    }
done:
    return out; // converted on its way to the viewer
}

} // namespace lumenta::picdecode
