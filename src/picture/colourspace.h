#pragma once
// The colours a picture's pixels are in: an ICC profile (embedded in the
// file, or the monitor's), or primaries and a transfer given as numbers
// (HEIF and AVIF nclx boxes, JPEG XL's own encoding, PNG's gAMA, cHRM and
// cICP chunks). A picture that says nothing is sRGB.
//
// A ColourSpace is a small immutable value, cheap to copy and to compare
// (through its key); it holds no colour engine state, so every layer can
// carry it. picture/colourtransform.h converts between two of them.
#include <QByteArray>
#include <QByteArrayView>
#include <QtGlobal>

#include <memory>

namespace lumenta {

// Primaries and transfer given as numbers.
struct CodedColours {
    enum class Transfer : quint8 {
        Srgb,   // IEC 61966-2-1
        Gamma,  // linear = encoded ^ gamma
        Linear, // linear light
        Bt709,  // ITU-R BT.709 (also BT.601 and BT.2020)
        Pq,     // SMPTE ST 2084 (HDR)
        Hlg,    // ARIB STD-B67 (HDR)
    };
    // Chromaticities (x, y) of the white point and the three primaries;
    // sRGB's by default.
    double white[2] = {0.3127, 0.3290};
    double red[2] = {0.640, 0.330};
    double green[2] = {0.300, 0.600};
    double blue[2] = {0.150, 0.060};
    Transfer transfer = Transfer::Srgb;
    double gamma = 2.2; // Gamma only
    // Pq and Hlg: the brightest light the picture holds, in cd/m2 (0: not
    // known).
    double peakNits = 0;

    bool operator==(const CodedColours&) const = default;
    // Whether the numbers can describe colours at all (chromaticities
    // inside the unit square with y > 0, a gamma between 0.1 and 10).
    bool isUsable() const;
    bool isHdr() const { return transfer == Transfer::Pq || transfer == Transfer::Hlg; }
};

class ColourSpace {
public:
    ColourSpace() = default; // sRGB

    // An ICC profile's bytes; sRGB when empty. The profile is not checked
    // here: one the colour engine cannot use later counts as sRGB.
    static ColourSpace fromIcc(const QByteArray& profile);
    // Numbers; sRGB when they are unusable.
    static ColourSpace fromCoded(const CodedColours& coded);
    // ITU-T H.273 code points (colour primaries, transfer characteristics)
    // as HEIF, AVIF and PNG's cICP give them. Unspecified or unknown ones
    // count as sRGB's.
    static ColourSpace fromCicp(int primaries, int transfer);

    // Nothing said: sRGB by rule (a profile equal to sRGB is not told
    // apart here; see ColourTransform).
    bool isSrgb() const { return !d; }
    // The ICC profile; empty unless the colours came as one.
    QByteArray icc() const;
    // The numbers; null unless the colours came as numbers.
    const CodedColours* coded() const;
    // Names the colours: equal keys, equal colours. "srgb" for sRGB.
    QByteArray key() const;

    bool operator==(const ColourSpace& other) const { return key() == other.key(); }
    bool operator!=(const ColourSpace& other) const { return !(*this == other); }

    // The colours as bytes (for the decoding helper's message) and back.
    // fromBytes() gives sRGB, with *ok false, for anything malformed.
    QByteArray toBytes() const;
    static ColourSpace fromBytes(QByteArrayView bytes, bool* ok = nullptr);

private:
    struct Data;
    std::shared_ptr<const Data> d;
};

// Upper bound of an ICC profile the program reads, in bytes.
constexpr qsizetype kMaxIccBytes = qsizetype(16) << 20;

} // namespace lumenta
