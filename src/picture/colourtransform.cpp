// Transforms are made under one lock and kept in a small cache; once made
// they are only read (lcms2 transforms made without their one-pixel cache
// can be used by several threads at once).
#include "picture/colourtransform.h"

#include "picture/colourkernel.h"
#include "picture/colourprofiles.h"

#include <QThread>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace lumenta {

using colour::Profile;

namespace {

using Pixels = ColourPixels;

#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr cmsUInt32Number kRgb32 = TYPE_BGRA_8;
constexpr cmsUInt32Number kRgb32Premultiplied = TYPE_BGRA_8_PREMUL;
constexpr cmsUInt32Number kGreyInRgb32 =
    COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(3);
constexpr int kAlpha = 3;
#else
constexpr cmsUInt32Number kRgb32 = TYPE_ARGB_8;
constexpr cmsUInt32Number kRgb32Premultiplied = TYPE_ARGB_8_PREMUL;
constexpr cmsUInt32Number kGreyInRgb32 =
    COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(3) | DOSWAP_SH(1);
constexpr int kAlpha = 0;
#endif

// Pictures converted on one thread up to this many pixels.
constexpr qint64 kParallelFromPixels = 1'000'000;
constexpr int kStripRows = 64;
constexpr int kMaxStripThreads = 8;
// Transforms kept.
constexpr size_t kCachedTransforms = 48;

cmsUInt32Number inputFormat(Pixels p) {
    switch (p) {
    case Pixels::Rgb32:
    case Pixels::Argb32:
        return kRgb32;
    case Pixels::Argb32Premultiplied:
        return kRgb32Premultiplied;
    case Pixels::Rgba64:
        return TYPE_RGBA_16;
    case Pixels::Rgba64Premultiplied:
        return TYPE_RGBA_16_PREMUL;
    case Pixels::GreyInRgb32:
        return kGreyInRgb32;
    case Pixels::Cmyk:
        return TYPE_CMYK_8;
    case Pixels::InvertedCmyk:
        return TYPE_CMYK_8_REV;
    }
    return kRgb32;
}

cmsUInt32Number outputFormat(Pixels p) {
    switch (p) {
    case Pixels::Argb32Premultiplied:
        return kRgb32Premultiplied;
    case Pixels::Rgba64:
        return TYPE_RGBA_16;
    case Pixels::Rgba64Premultiplied:
        return TYPE_RGBA_16_PREMUL;
    default:
        return kRgb32;
    }
}

bool keepsAlpha(Pixels p) {
    return p == Pixels::Argb32 || p == Pixels::Argb32Premultiplied || p == Pixels::Rgba64 ||
           p == Pixels::Rgba64Premultiplied;
}

bool isCmyk(Pixels p) {
    return p == Pixels::Cmyk || p == Pixels::InvertedCmyk;
}

cmsColorSpaceSignature deviceSpace(Pixels p) {
    return isCmyk(p) ? cmsSigCmykData : p == Pixels::GreyInRgb32 ? cmsSigGrayData : cmsSigRgbData;
}

// Whether lcms2 can use the profile for pixels of that kind.
bool usable(cmsHPROFILE p, cmsColorSpaceSignature space) {
    if (!p || cmsGetColorSpace(p) != space)
        return false;
    const cmsProfileClassSignature c = cmsGetDeviceClass(p);
    const cmsColorSpaceSignature pcs = cmsGetPCS(p);
    return c != cmsSigLinkClass && c != cmsSigAbstractClass && c != cmsSigNamedColorClass &&
           (pcs == cmsSigXYZData || pcs == cmsSigLabData);
}

struct TransformFree {
    void operator()(void* t) const { cmsDeleteTransform(t); }
};
using Lcms = std::unique_ptr<void, TransformFree>;

// The grid the fast path and the "no conversion" verdict are checked on.
std::vector<uchar> checkColours(bool grey) {
    std::vector<uchar> rgb;
    if (!grey) {
        constexpr int kSteps = 17;
        for (int r = 0; r < kSteps; ++r)
            for (int g = 0; g < kSteps; ++g)
                for (int b = 0; b < kSteps; ++b)
                    for (int v : {r, g, b})
                        rgb.push_back(uchar(std::min(255, v * 16)));
    }
    for (int v = 0; v < 256; ++v)
        rgb.insert(rgb.end(), {uchar(v), uchar(v), uchar(v)});
    return rgb;
}

struct Cache {
    std::mutex mutex;
    std::deque<std::pair<QByteArray, std::shared_ptr<const ColourTransform>>> kept;
};

Cache& cache() {
    static Cache c;
    return c;
}

} // namespace

struct ColourTransform::Private {
    // Makes the transform for a pair not in the cache (under its lock).
    static std::shared_ptr<const ColourTransform> make(const ColourSpace& source,
                                                       const ColourSpace& target, Pixels pixels) {
        const cmsColorSpaceSignature space = deviceSpace(pixels);
        Profile src = colour::openProfile(source);
        bool srcIsSrgb = source.isSrgb();
        if (!usable(src.get(), space)) {
            // A damaged profile, or one for other pixels: shown as sRGB.
            if (isCmyk(pixels))
                return nullptr;
            src = colour::openProfile(ColourSpace());
            srcIsSrgb = true;
            if (pixels == Pixels::GreyInRgb32)
                pixels = Pixels::Rgb32;
        }
        Profile dst = colour::openProfile(target);
        bool dstIsSrgb = target.isSrgb();
        if (!usable(dst.get(), cmsSigRgbData) ||
            !cmsIsIntentSupported(dst.get(), INTENT_RELATIVE_COLORIMETRIC, LCMS_USED_AS_OUTPUT)) {
            dst = colour::openProfile(ColourSpace());
            dstIsSrgb = true;
        }
        if (srcIsSrgb && dstIsSrgb && !isCmyk(pixels))
            return nullptr;
        const cmsUInt32Number intent = cmsIsCLUT(src.get(), INTENT_PERCEPTUAL, LCMS_USED_AS_INPUT)
                                           ? INTENT_PERCEPTUAL
                                           : INTENT_RELATIVE_COLORIMETRIC;
        const cmsUInt32Number flags = cmsFLAGS_NOCACHE | cmsFLAGS_BLACKPOINTCOMPENSATION;
        auto t = std::shared_ptr<ColourTransform>(new ColourTransform);
        t->m_pixels = pixels;
        Lcms lcms(cmsCreateTransform(src.get(), inputFormat(pixels), dst.get(),
                                     outputFormat(pixels), intent,
                                     flags | (keepsAlpha(pixels) ? cmsFLAGS_COPY_ALPHA : 0)));
        if (!lcms) {
            if (isCmyk(pixels) || srcIsSrgb)
                return nullptr;
            return make(ColourSpace(), target,
                        pixels == Pixels::GreyInRgb32 ? Pixels::Rgb32 : pixels);
        }
        if (!isCmyk(pixels)) {
            // The same pixels either way: nothing to convert. Otherwise the
            // fast path when it gives what lcms2 gives.
            const bool grey = pixels == Pixels::GreyInRgb32;
            Lcms check(cmsCreateTransform(src.get(), grey ? TYPE_GRAY_8 : TYPE_RGB_8, dst.get(),
                                          TYPE_RGB_8, intent, flags));
            if (!check)
                return nullptr;
            const std::vector<uchar> rgb = checkColours(grey);
            const int n = int(rgb.size() / 3);
            std::vector<uchar> in(size_t(n) * (grey ? 1 : 3)), out(rgb.size());
            for (int i = 0; i < n; ++i)
                for (int c = 0; c < (grey ? 1 : 3); ++c)
                    in[size_t(i) * (grey ? 1 : 3) + c] = rgb[size_t(i) * 3 + c];
            cmsDoTransform(check.get(), in.data(), out.data(), cmsUInt32Number(n));
            const auto within = [](const std::vector<uchar>& a, const std::vector<uchar>& b) {
                for (size_t i = 0; i < a.size(); ++i)
                    if (std::abs(int(a[i]) - int(b[i])) > 1)
                        return false;
                return true;
            };
            if (within(rgb, out))
                return nullptr;
            if (!grey && intent == INTENT_RELATIVE_COLORIMETRIC &&
                (pixels == Pixels::Rgb32 || pixels == Pixels::Argb32)) {
                if (auto fast = MatrixShaper::make(src.get(), dst.get())) {
                    std::vector<QRgb> px(static_cast<size_t>(n));
                    std::vector<uchar> fastOut(rgb.size());
                    for (int i = 0; i < n; ++i)
                        px[size_t(i)] = qRgb(rgb[size_t(i) * 3], rgb[size_t(i) * 3 + 1],
                                             rgb[size_t(i) * 3 + 2]);
                    fast->run(px.data(), px.data(), n);
                    for (int i = 0; i < n; ++i) {
                        fastOut[size_t(i) * 3] = uchar(qRed(px[size_t(i)]));
                        fastOut[size_t(i) * 3 + 1] = uchar(qGreen(px[size_t(i)]));
                        fastOut[size_t(i) * 3 + 2] = uchar(qBlue(px[size_t(i)]));
                    }
                    if (within(out, fastOut))
                        t->m_fast = std::move(fast);
                }
            }
        }
        t->m_lcms = lcms.release();
        return t;
    }
};

ColourTransform::~ColourTransform() {
    if (m_lcms)
        cmsDeleteTransform(m_lcms);
}

std::shared_ptr<const ColourTransform>
ColourTransform::find(const ColourSpace& source, const ColourSpace& target, ColourPixels pixels) {
    if (source == target && !isCmyk(pixels))
        return nullptr;
    const QByteArray key =
        source.key() + '>' + target.key() + '#' + QByteArray::number(int(pixels));
    Cache& c = cache();
    std::lock_guard lock(c.mutex);
    for (const auto& [k, t] : c.kept) {
        if (k == key)
            return t;
    }
    std::shared_ptr<const ColourTransform> t = Private::make(source, target, pixels);
    c.kept.emplace_back(key, t);
    if (c.kept.size() > kCachedTransforms)
        c.kept.pop_front();
    return t;
}

void ColourTransform::apply(uchar* first, int width, int rows, qsizetype stride) const {
    apply(first, stride, first, stride, width, rows);
}

void ColourTransform::apply(const uchar* in, qsizetype inStride, uchar* out, qsizetype outStride,
                            int width, int rows) const {
    if (width <= 0 || rows <= 0)
        return;
    if (m_fast) {
        for (int y = 0; y < rows; ++y)
            m_fast->run(reinterpret_cast<const QRgb*>(in + y * inStride),
                        reinterpret_cast<QRgb*>(out + y * outStride), width);
        return;
    }
    const cmsUInt32Number bytesPerPixel =
        m_pixels == Pixels::Rgba64 || m_pixels == Pixels::Rgba64Premultiplied ? 8 : 4;
    if (in != out && keepsAlpha(m_pixels) == false && !isCmyk(m_pixels)) {
        // Extra bytes the transform does not write (RGB32's alpha) come
        // along with the pixels.
        for (int y = 0; y < rows; ++y)
            std::memcpy(out + y * outStride, in + y * inStride, size_t(width) * bytesPerPixel);
        in = out;
        inStride = outStride;
    }
    cmsDoTransformLineStride(m_lcms, in, out, cmsUInt32Number(width), cmsUInt32Number(rows),
                             cmsUInt32Number(inStride), cmsUInt32Number(outStride), 0, 0);
    if (isCmyk(m_pixels) || m_pixels == Pixels::GreyInRgb32) {
        for (int y = 0; y < rows; ++y) {
            uchar* p = out + y * outStride;
            for (int x = 0; x < width; ++x)
                p[x * 4 + kAlpha] = 0xff;
        }
    }
}

void forStrips(int rows, qint64 pixelsPerRow, const std::function<void(int, int)>& work) {
    const int strips = (rows + kStripRows - 1) / kStripRows;
    const int threads = qint64(rows) * pixelsPerRow < kParallelFromPixels
                            ? 1
                            : std::min({QThread::idealThreadCount(), strips, kMaxStripThreads});
    std::atomic<int> next{0};
    const auto run = [&] {
        for (int s = next++; s < strips; s = next++) {
            const int first = s * kStripRows;
            work(first, std::min(kStripRows, rows - first));
        }
    };
    std::vector<std::thread> helpers;
    for (int i = 1; i < threads; ++i)
        helpers.emplace_back(run);
    run();
    for (std::thread& t : helpers)
        t.join();
}

} // namespace lumenta
