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

namespace {

// A JPEG XL colour encoding as numbers (an unknown transfer counts as
// sRGB's).
ColourSpace codedColours(const JxlColorEncoding& e, double intensityTarget) {
    CodedColours c;
    switch (e.white_point) {
    case JXL_WHITE_POINT_D65:
        break;
    case JXL_WHITE_POINT_E:
        c.white[0] = c.white[1] = 1.0 / 3;
        break;
    case JXL_WHITE_POINT_DCI:
        c.white[0] = 0.314, c.white[1] = 0.351;
        break;
    case JXL_WHITE_POINT_CUSTOM:
        c.white[0] = e.white_point_xy[0], c.white[1] = e.white_point_xy[1];
        break;
    }
    if (e.color_space == JXL_COLOR_SPACE_RGB) {
        switch (e.primaries) {
        case JXL_PRIMARIES_SRGB:
            break;
        case JXL_PRIMARIES_2100:
            c.red[0] = 0.708, c.red[1] = 0.292, c.green[0] = 0.170, c.green[1] = 0.797;
            c.blue[0] = 0.131, c.blue[1] = 0.046;
            break;
        case JXL_PRIMARIES_P3:
            c.red[0] = 0.680, c.red[1] = 0.320, c.green[0] = 0.265, c.green[1] = 0.690;
            c.blue[0] = 0.150, c.blue[1] = 0.060;
            break;
        case JXL_PRIMARIES_CUSTOM:
            for (int k = 0; k < 2; ++k) {
                c.red[k] = e.primaries_red_xy[k];
                c.green[k] = e.primaries_green_xy[k];
                c.blue[k] = e.primaries_blue_xy[k];
            }
            break;
        }
    } else if (e.color_space != JXL_COLOR_SPACE_GRAY) {
        return ColourSpace();
    }
    using T = CodedColours::Transfer;
    switch (e.transfer_function) {
    case JXL_TRANSFER_FUNCTION_709:
        c.transfer = T::Bt709;
        break;
    case JXL_TRANSFER_FUNCTION_LINEAR:
        c.transfer = T::Linear;
        break;
    case JXL_TRANSFER_FUNCTION_PQ:
        c.transfer = T::Pq;
        c.peakNits = intensityTarget;
        break;
    case JXL_TRANSFER_FUNCTION_HLG:
        c.transfer = T::Hlg;
        break;
    case JXL_TRANSFER_FUNCTION_DCI:
        c.transfer = T::Gamma, c.gamma = 2.6;
        break;
    case JXL_TRANSFER_FUNCTION_GAMMA:
        // Stored as the encoding exponent (below 1).
        c.transfer = T::Gamma;
        c.gamma = e.gamma > 0 && e.gamma < 1 ? 1 / e.gamma : e.gamma;
        break;
    default:
        break;
    }
    return ColourSpace::fromCoded(c);
}

// The colours of the pixels the decoder gives.
ColourSpace dataColours(const JxlDecoder* dec, double intensityTarget) {
    JxlColorEncoding e;
    if (JxlDecoderGetColorAsEncodedProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &e) ==
        JXL_DEC_SUCCESS)
        return codedColours(e, intensityTarget);
    size_t size = 0;
    if (JxlDecoderGetICCProfileSize(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) !=
            JXL_DEC_SUCCESS ||
        size == 0 || size > size_t(kMaxIccBytes))
        return ColourSpace();
    QByteArray icc(qsizetype(size), Qt::Uninitialized);
    if (JxlDecoderGetColorAsICCProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                       reinterpret_cast<uint8_t*>(icc.data()),
                                       size) != JXL_DEC_SUCCESS)
        return ColourSpace();
    return ColourSpace::fromIcc(icc);
}

} // namespace

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
            // Pictures stored in the codec's own colour space (XYB) come in
            // the colours they were encoded from when those are numbers;
            // else in a space wide enough not to lose any (BT.2020
            // primaries, sRGB's transfer), never in linear light on 8 bits.
            if (!info.uses_original_profile) {
                JxlColorEncoding wanted;
                if (JxlDecoderGetColorAsEncodedProfile(dec.get(), nullptr,
                                                       JXL_COLOR_PROFILE_TARGET_ORIGINAL,
                                                       &wanted) != JXL_DEC_SUCCESS) {
                    JxlColorEncodingSetToSRGB(&wanted, info.num_color_channels == 1);
                    if (info.num_color_channels != 1)
                        wanted.primaries = JXL_PRIMARIES_2100;
                }
                JxlDecoderSetPreferredColorProfile(dec.get(), &wanted);
            }
            out.colours = dataColours(dec.get(), info.intensity_target);
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
