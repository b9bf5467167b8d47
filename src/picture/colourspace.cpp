#include "picture/colourspace.h"

#include <QCryptographicHash>

#include <cmath>
#include <cstring>

namespace lumenta {

struct ColourSpace::Data {
    QByteArray icc;
    bool isCoded = false;
    CodedColours coded;
    QByteArray key;
};

namespace {

using Transfer = CodedColours::Transfer;

bool usableChromaticity(const double xy[2]) {
    return std::isfinite(xy[0]) && std::isfinite(xy[1]) && xy[0] >= 0 && xy[0] <= 1 &&
           xy[1] > 0.001 && xy[1] <= 1 && xy[0] + xy[1] <= 1.0001;
}

void setPrimaries(CodedColours& c, double rx, double ry, double gx, double gy, double bx, double by,
                  double wx = 0.3127, double wy = 0.3290) {
    c.red[0] = rx, c.red[1] = ry;
    c.green[0] = gx, c.green[1] = gy;
    c.blue[0] = bx, c.blue[1] = by;
    c.white[0] = wx, c.white[1] = wy;
}

// H.273 colour primaries; false for unknown ones.
bool cicpPrimaries(int code, CodedColours& c) {
    constexpr double kIlluminantC[2] = {0.310, 0.316};
    switch (code) {
    case 1: // BT.709, sRGB
    case 2: // unspecified
        setPrimaries(c, 0.640, 0.330, 0.300, 0.600, 0.150, 0.060);
        return true;
    case 4: // BT.470 System M
        setPrimaries(c, 0.67, 0.33, 0.21, 0.71, 0.14, 0.08, kIlluminantC[0], kIlluminantC[1]);
        return true;
    case 5: // BT.470 System B, G; BT.601 625 lines
        setPrimaries(c, 0.64, 0.33, 0.29, 0.60, 0.15, 0.06);
        return true;
    case 6: // BT.601 525 lines
    case 7: // SMPTE 240M
        setPrimaries(c, 0.630, 0.340, 0.310, 0.595, 0.155, 0.070);
        return true;
    case 8: // generic film
        setPrimaries(c, 0.681, 0.319, 0.243, 0.692, 0.145, 0.049, kIlluminantC[0], kIlluminantC[1]);
        return true;
    case 9: // BT.2020, BT.2100
        setPrimaries(c, 0.708, 0.292, 0.170, 0.797, 0.131, 0.046);
        return true;
    case 11: // DCI-P3 (theatre white)
        setPrimaries(c, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060, 0.314, 0.351);
        return true;
    case 12: // Display P3
        setPrimaries(c, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060);
        return true;
    case 22: // EBU Tech 3213-E
        setPrimaries(c, 0.630, 0.340, 0.295, 0.605, 0.155, 0.077);
        return true;
    default:
        return false;
    }
}

// H.273 transfer characteristics; false for unknown ones.
bool cicpTransfer(int code, CodedColours& c) {
    switch (code) {
    case 1:  // BT.709
    case 6:  // BT.601
    case 7:  // SMPTE 240M (nearly BT.709)
    case 11: // IEC 61966-2-4
    case 14: // BT.2020 10 bits
    case 15: // BT.2020 12 bits
        c.transfer = Transfer::Bt709;
        return true;
    case 2:  // unspecified
    case 13: // sRGB
        c.transfer = Transfer::Srgb;
        return true;
    case 4:
        c.transfer = Transfer::Gamma, c.gamma = 2.2;
        return true;
    case 5:
        c.transfer = Transfer::Gamma, c.gamma = 2.8;
        return true;
    case 8:
        c.transfer = Transfer::Linear;
        return true;
    case 16:
        c.transfer = Transfer::Pq;
        return true;
    case 17: // SMPTE ST 428
        c.transfer = Transfer::Gamma, c.gamma = 2.6;
        return true;
    case 18:
        c.transfer = Transfer::Hlg;
        return true;
    default:
        return false;
    }
}

QByteArray codedKey(const CodedColours& c) {
    QByteArray key = "coded";
    for (double v :
         {c.white[0], c.white[1], c.red[0], c.red[1], c.green[0], c.green[1], c.blue[0], c.blue[1]})
        key += ':' + QByteArray::number(v, 'g', 6);
    key += ":t" + QByteArray::number(int(c.transfer));
    if (c.transfer == Transfer::Gamma)
        key += ':' + QByteArray::number(c.gamma, 'g', 6);
    if (c.isHdr())
        key += ':' + QByteArray::number(c.peakNits, 'g', 6);
    return key;
}

constexpr char kMagic[4] = {'L', 'C', 'S', '1'};
enum : char { kSrgb = 0, kIcc = 1, kCoded = 2 };
constexpr int kCodedDoubles = 10;

} // namespace

bool CodedColours::isUsable() const {
    return usableChromaticity(white) && usableChromaticity(red) && usableChromaticity(green) &&
           usableChromaticity(blue) && std::isfinite(peakNits) && peakNits >= 0 &&
           peakNits <= 1e5 &&
           (transfer != Transfer::Gamma || (std::isfinite(gamma) && gamma >= 0.1 && gamma <= 10));
}

ColourSpace ColourSpace::fromIcc(const QByteArray& profile) {
    ColourSpace s;
    if (profile.isEmpty() || profile.size() > kMaxIccBytes)
        return s;
    auto d = std::make_shared<Data>();
    d->icc = profile;
    d->key = "icc:" + QCryptographicHash::hash(profile, QCryptographicHash::Sha1).toHex();
    s.d = std::move(d);
    return s;
}

ColourSpace ColourSpace::fromCoded(const CodedColours& coded) {
    ColourSpace s;
    CodedColours c = coded;
    if (c.transfer != Transfer::Gamma)
        c.gamma = CodedColours().gamma;
    if (!c.isHdr())
        c.peakNits = 0;
    if (!c.isUsable() || c == CodedColours())
        return s;
    auto d = std::make_shared<Data>();
    d->isCoded = true;
    d->coded = c;
    d->key = codedKey(c);
    s.d = std::move(d);
    return s;
}

ColourSpace ColourSpace::fromCicp(int primaries, int transfer) {
    CodedColours c;
    if (!cicpPrimaries(primaries, c) || !cicpTransfer(transfer, c))
        return ColourSpace();
    return fromCoded(c);
}

QByteArray ColourSpace::icc() const {
    return d ? d->icc : QByteArray();
}

const CodedColours* ColourSpace::coded() const {
    return d && d->isCoded ? &d->coded : nullptr;
}

QByteArray ColourSpace::key() const {
    return d ? d->key : QByteArrayLiteral("srgb");
}

QByteArray ColourSpace::toBytes() const {
    QByteArray out(kMagic, 4);
    if (const CodedColours* c = coded()) {
        out += kCoded;
        const double values[kCodedDoubles] = {c->white[0], c->white[1], c->red[0],  c->red[1],
                                              c->green[0], c->green[1], c->blue[0], c->blue[1],
                                              c->gamma,    c->peakNits};
        out += char(c->transfer);
        out.append(reinterpret_cast<const char*>(values), sizeof values);
    } else if (!isSrgb()) {
        out += kIcc;
        const quint32 size = quint32(d->icc.size());
        out.append(reinterpret_cast<const char*>(&size), sizeof size);
        out += d->icc;
    } else {
        out += kSrgb;
    }
    return out;
}

ColourSpace ColourSpace::fromBytes(QByteArrayView bytes, bool* ok) {
    const auto fail = [ok] {
        if (ok)
            *ok = false;
        return ColourSpace();
    };
    if (ok)
        *ok = true;
    if (bytes.size() < 5 || std::memcmp(bytes.data(), kMagic, 4) != 0)
        return fail();
    const QByteArrayView body = bytes.sliced(5);
    switch (bytes[4]) {
    case kSrgb:
        return body.isEmpty() ? ColourSpace() : fail();
    case kIcc: {
        quint32 size = 0;
        if (body.size() < qsizetype(sizeof size))
            return fail();
        std::memcpy(&size, body.data(), sizeof size);
        if (qsizetype(size) != body.size() - qsizetype(sizeof size) || size == 0 ||
            qsizetype(size) > kMaxIccBytes)
            return fail();
        return fromIcc(body.sliced(sizeof size).toByteArray());
    }
    case kCoded: {
        double v[kCodedDoubles];
        if (body.size() != 1 + qsizetype(sizeof v) || uchar(body[0]) > uchar(Transfer::Hlg))
            return fail();
        std::memcpy(v, body.data() + 1, sizeof v);
        CodedColours c;
        c.transfer = Transfer(body[0]);
        c.white[0] = v[0], c.white[1] = v[1], c.red[0] = v[2], c.red[1] = v[3];
        c.green[0] = v[4], c.green[1] = v[5], c.blue[0] = v[6], c.blue[1] = v[7];
        c.gamma = v[8], c.peakNits = v[9];
        if (!c.isUsable())
            return fail();
        return fromCoded(c);
    }
    default:
        return fail();
    }
}

} // namespace lumenta
