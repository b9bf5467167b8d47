#include "picture/colourprofiles.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace lumenta::colour {

namespace {

using Transfer = CodedColours::Transfer;

// Relative light up to this stays as it is.
constexpr double kKnee = 0.5;
// Points of the tables made for HDR transfers.
constexpr int kHdrCurvePoints = 4096;
// The peak assumed for PQ pictures that do not give theirs (PQ's own top)
// and HLG's nominal peak.
constexpr double kPqTopNits = 10000;
constexpr double kHlgPeakNits = 1000;

struct CurveFree {
    void operator()(cmsToneCurve* c) const { cmsFreeToneCurve(c); }
};
using Curve = std::unique_ptr<cmsToneCurve, CurveFree>;

Curve transferCurve(const CodedColours& c) {
    switch (c.transfer) {
    case Transfer::Srgb: {
        const double p[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
        return Curve(cmsBuildParametricToneCurve(nullptr, 4, p));
    }
    case Transfer::Bt709: {
        const double p[5] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
        return Curve(cmsBuildParametricToneCurve(nullptr, 4, p));
    }
    case Transfer::Gamma:
        return Curve(cmsBuildGamma(nullptr, c.gamma));
    case Transfer::Linear:
        return Curve(cmsBuildGamma(nullptr, 1.0));
    case Transfer::Pq:
    case Transfer::Hlg:
        break;
    }
    std::vector<float> table(kHdrCurvePoints);
    for (int i = 0; i < kHdrCurvePoints; ++i) {
        const double e = double(i) / (kHdrCurvePoints - 1);
        table[size_t(i)] =
            float(c.transfer == Transfer::Pq ? pqToDisplay(e, c.peakNits) : hlgToDisplay(e));
    }
    return Curve(cmsBuildTabulatedToneCurveFloat(nullptr, kHdrCurvePoints, table.data()));
}

Profile codedProfile(const CodedColours& c) {
    const cmsCIExyY white = {c.white[0], c.white[1], 1.0};
    const cmsCIExyYTRIPLE primaries = {
        {c.red[0], c.red[1], 1.0}, {c.green[0], c.green[1], 1.0}, {c.blue[0], c.blue[1], 1.0}};
    Curve curve = transferCurve(c);
    if (!curve)
        return nullptr;
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    return Profile(cmsCreateRGBProfile(&white, &primaries, curves));
}

} // namespace

Profile openProfile(const ColourSpace& space) {
    if (space.isSrgb())
        return Profile(cmsCreate_sRGBProfile());
    if (const CodedColours* c = space.coded())
        return codedProfile(*c);
    const QByteArray icc = space.icc();
    return Profile(cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size())));
}

double toneMap(double relative, double peak) {
    if (!(relative > kKnee))
        return std::max(relative, 0.0);
    if (peak <= 1)
        return std::min(relative, 1.0);
    // Above the knee, in units of the room left up to white: an extended
    // Reinhard curve that starts with slope 1 and reaches 1 at the peak.
    const double room = 1 - kKnee;
    const double u = (relative - kKnee) / room;
    const double top = (peak - kKnee) / room;
    const double v = std::min(1.0, u * (1 + u / (top * top)) / (1 + u));
    return kKnee + room * v;
}

double pqToDisplay(double e, double peakNits) {
    // SMPTE ST 2084 EOTF.
    constexpr double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128;
    constexpr double c1 = 3424.0 / 4096, c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
    const double p = std::pow(std::clamp(e, 0.0, 1.0), 1 / m2);
    const double nits = kPqTopNits * std::pow(std::max(p - c1, 0.0) / (c2 - c3 * p), 1 / m1);
    const double peak = peakNits > 0 ? std::min(peakNits, kPqTopNits) : kPqTopNits;
    return toneMap(nits / kHdrReferenceWhite, peak / kHdrReferenceWhite);
}

double hlgToDisplay(double e) {
    // ARIB STD-B67 inverse OETF, then the system gamma of a 1000 cd/m2
    // display (applied to each channel).
    constexpr double a = 0.17883277, b = 0.28466892, c = 0.55991073;
    e = std::clamp(e, 0.0, 1.0);
    const double scene = e <= 0.5 ? e * e / 3 : (std::exp((e - c) / a) + b) / 12;
    const double nits = kHlgPeakNits * std::pow(scene, 1.2);
    return toneMap(nits / kHdrReferenceWhite, kHlgPeakNits / kHdrReferenceWhite);
}

} // namespace lumenta::colour
