#include "picture/colourkernel.h"

#include <algorithm>
#include <cmath>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace lumenta {

namespace {

void invert(const double m[3][3], double out[3][3]) {
    const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                       m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                       m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    const double k = det != 0 ? 1 / det : 0;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            const int a = (j + 1) % 3, b = (j + 2) % 3, c = (i + 1) % 3, d = (i + 2) % 3;
            out[i][j] = k * (m[a][c] * m[b][d] - m[a][d] * m[b][c]);
        }
}

// The curves and colorants of a matrix-and-curves RGB profile.
bool matrixAndCurves(cmsHPROFILE p, cmsToneCurve* curves[3], double m[3][3]) {
    if (cmsGetColorSpace(p) != cmsSigRgbData || !cmsIsMatrixShaper(p))
        return false;
    const cmsTagSignature trc[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    const cmsTagSignature xyz[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                    cmsSigBlueColorantTag};
    for (int c = 0; c < 3; ++c) {
        curves[c] = static_cast<cmsToneCurve*>(cmsReadTag(p, trc[c]));
        const auto* v = static_cast<const cmsCIEXYZ*>(cmsReadTag(p, xyz[c]));
        if (!curves[c] || !v)
            return false;
        m[0][c] = v->X, m[1][c] = v->Y, m[2][c] = v->Z;
    }
    return true;
}

bool hasAvx2() {
#if defined(__x86_64__)
    static const bool yes = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return yes;
#else
    return false;
#endif
}

} // namespace

std::unique_ptr<MatrixShaper> MatrixShaper::make(cmsHPROFILE source, cmsHPROFILE target) {
    cmsToneCurve *in[3], *out[3];
    double ms[3][3], md[3][3], mdInverse[3][3];
    if (!matrixAndCurves(source, in, ms) || !matrixAndCurves(target, out, md))
        return nullptr;
    invert(md, mdInverse);
    auto k = std::make_unique<MatrixShaper>();
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double sum = 0;
            for (int n = 0; n < 3; ++n)
                sum += mdInverse[i][n] * ms[n][j];
            k->matrix[i][j] = float(sum);
        }
    for (int c = 0; c < 3; ++c) {
        for (int v = 0; v < 256; ++v)
            k->toLinear[c][v] = cmsEvalToneCurveFloat(in[c], float(v / 255.0));
        cmsToneCurve* back = cmsReverseToneCurve(out[c]);
        if (!back)
            return nullptr;
        const int shift = 16 - 8 * c;
        for (int s = 0; s <= kOutSteps; ++s) {
            const float e = cmsEvalToneCurveFloat(back, float(double(s) / kOutSteps));
            k->fromLinear[c][s] = quint32(std::lround(std::clamp(e, 0.0f, 1.0f) * 255)) << shift;
        }
        cmsFreeToneCurve(back);
    }
    return k;
}

void MatrixShaper::run(const QRgb* in, QRgb* out, int width) const {
#if defined(__x86_64__)
    if (hasAvx2()) {
        const int wide = width & ~7;
        runAvx2(in, out, wide);
        runPlain(in + wide, out + wide, width - wide);
        return;
    }
#endif
    runPlain(in, out, width);
}

void MatrixShaper::runPlain(const QRgb* in, QRgb* out, int width) const {
    const auto index = [](float v) {
        const int i = int(std::nearbyint(v * kOutSteps));
        return i < 0 ? 0 : i > kOutSteps ? kOutSteps : i;
    };
    for (int x = 0; x < width; ++x) {
        const QRgb p = in[x];
        const float r = toLinear[0][qRed(p)], g = toLinear[1][qGreen(p)], b = toLinear[2][qBlue(p)];
        const float R = std::fma(matrix[0][0], r, std::fma(matrix[0][1], g, matrix[0][2] * b));
        const float G = std::fma(matrix[1][0], r, std::fma(matrix[1][1], g, matrix[1][2] * b));
        const float B = std::fma(matrix[2][0], r, std::fma(matrix[2][1], g, matrix[2][2] * b));
        out[x] = (p & 0xff000000u) | fromLinear[0][index(R)] | fromLinear[1][index(G)] |
                 fromLinear[2][index(B)];
    }
}

#if defined(__x86_64__)
__attribute__((target("avx2,fma"))) void MatrixShaper::runAvx2(const QRgb* in, QRgb* out,
                                                                int width) const {
    const __m256i byte = _mm256_set1_epi32(255);
    const __m256i alpha = _mm256_set1_epi32(int(0xff000000u));
    const __m256i zero = _mm256_setzero_si256();
    const __m256i top = _mm256_set1_epi32(kOutSteps);
    __m256 m[9];
    for (int i = 0; i < 9; ++i)
        m[i] = _mm256_set1_ps(matrix[i / 3][i % 3] * kOutSteps);
    const auto* table = reinterpret_cast<const int*>(&fromLinear[0][0]);
    constexpr int kTable = kOutSteps + 1;
    for (int x = 0; x + 8 <= width; x += 8) {
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + x));
        const __m256 r = _mm256_i32gather_ps(
            toLinear[0], _mm256_and_si256(_mm256_srli_epi32(p, 16), byte), 4);
        const __m256 g =
            _mm256_i32gather_ps(toLinear[1], _mm256_and_si256(_mm256_srli_epi32(p, 8), byte), 4);
        const __m256 b = _mm256_i32gather_ps(toLinear[2], _mm256_and_si256(p, byte), 4);
        const __m256 R = _mm256_fmadd_ps(m[0], r, _mm256_fmadd_ps(m[1], g, _mm256_mul_ps(m[2], b)));
        const __m256 G = _mm256_fmadd_ps(m[3], r, _mm256_fmadd_ps(m[4], g, _mm256_mul_ps(m[5], b)));
        const __m256 B = _mm256_fmadd_ps(m[6], r, _mm256_fmadd_ps(m[7], g, _mm256_mul_ps(m[8], b)));
        const __m256i iR = _mm256_min_epi32(_mm256_max_epi32(_mm256_cvtps_epi32(R), zero), top);
        const __m256i iG = _mm256_min_epi32(_mm256_max_epi32(_mm256_cvtps_epi32(G), zero), top);
        const __m256i iB = _mm256_min_epi32(_mm256_max_epi32(_mm256_cvtps_epi32(B), zero), top);
        const __m256i oR = _mm256_i32gather_epi32(table, iR, 4);
        const __m256i oG = _mm256_i32gather_epi32(table + kTable, iG, 4);
        const __m256i oB = _mm256_i32gather_epi32(table + 2 * kTable, iB, 4);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x),
                            _mm256_or_si256(_mm256_and_si256(p, alpha),
                                            _mm256_or_si256(oR, _mm256_or_si256(oG, oB))));
    }
}
#endif

} // namespace lumenta
