#pragma once
// lcms2 profiles for colour spaces: opened from ICC bytes, or made from
// coded primaries and transfer (with HDR transfers tone-mapped into the
// range of an ordinary display). For the picture library's own use.
#include "picture/colourspace.h"

#include <lcms2.h>

#include <memory>

namespace lumenta::colour {

struct ProfileCloser {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

// The profile of a colour space (sRGB's for sRGB); null when the bytes are
// no profile lcms2 can read.
Profile openProfile(const ColourSpace& space);

// The SDR white of HDR pictures (ITU-R BT.2408), in cd/m2.
constexpr double kHdrReferenceWhite = 203;

// Light of an HDR picture, relative to its reference white, brought into
// [0, 1] for a display whose white is 1: unchanged up to a knee, then
// compressed smoothly so that `peak` (relative too) lands on 1.
double toneMap(double relative, double peak);

// The linear light, on a display whose white is 1, of an encoded value of
// an HDR transfer (e in [0, 1]), tone-mapped.
double pqToDisplay(double e, double peakNits);
double hlgToDisplay(double e);

} // namespace lumenta::colour
