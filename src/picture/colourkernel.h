#pragma once
// The fast path of the common conversion, between two profiles each made
// of curves and a matrix (Adobe RGB, ProPhoto, Display P3, most monitors'):
// a table to linear light per channel, one matrix, a table back. On RGB32
// pixels, eight at a time where the processor has AVX2. ColourTransform
// uses it only where it agrees with lcms2 to within a level.
#include <QRgb>

#include <lcms2.h>

#include <memory>

namespace lumenta {

struct MatrixShaper {
    static constexpr int kOutSteps = 16384; // linear light in 1/16384ths

    float toLinear[3][256];
    float matrix[3][3]; // target's linear red, green, blue from the source's
    // Encoded values, already in place in an RGB32 word (red << 16 ...).
    quint32 fromLinear[3][kOutSteps + 1];

    // The tables for two matrix-and-curves RGB profiles; null for others.
    static std::unique_ptr<MatrixShaper> make(cmsHPROFILE source, cmsHPROFILE target);

    // Converts width pixels (alpha kept); in and out may be the same.
    void run(const QRgb* in, QRgb* out, int width) const;

private:
    void runPlain(const QRgb* in, QRgb* out, int width) const;
#if defined(__x86_64__)
    void runAvx2(const QRgb* in, QRgb* out, int width) const;
#endif
};

} // namespace lumenta
