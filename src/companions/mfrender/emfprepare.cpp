#include "emfprepare.h"

#include <QtEndian>
#include <cmath>
#include <cstring>

namespace lumenta {

namespace {

enum : quint32 {
    EmrHeader = 1,
    EmrSetWindowExtEx = 9,
    EmrSetViewportExtEx = 11,
    EmrSetMapMode = 17,
    EmrSetBkMode = 18,
    EmrSetBkColor = 25,
    EmrSaveDc = 33,
    EmrRestoreDc = 34,
    EmrSetWorldTransform = 35,
    EmrModifyWorldTransform = 36,
    EmrCreatePen = 38,
    EmrCreateBrushIndirect = 39,
    EmrExtCreatePen = 95,
};

constexpr quint32 kEmfSignature = 0x464D4520;
constexpr quint32 kBsSolid = 0, kBsHatched = 2;
constexpr quint32 kPsStyleMask = 0x0F, kPsDash = 1, kPsDot = 2, kPsNull = 5, kPsUserStyle = 7,
                  kPsAlternate = 8, kPsGeometric = 0x00010000;
constexpr quint32 kBkOpaque = 2;
constexpr int kMaxHatches = 32;

quint32 u32(const QByteArray& b, qsizetype offset) {
    return qFromLittleEndian<quint32>(b.constData() + offset);
}

void putU32(QByteArray& b, qsizetype offset, quint32 value) {
    qToLittleEndian<quint32>(value, b.data() + offset);
}

float f32(const QByteArray& b, qsizetype offset) {
    const quint32 bits = u32(b, offset);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// How many device units one logical unit is, followed record by record:
// the converter takes a pen width in device units.
class DeviceScale {
public:
    explicit DeviceScale(const QByteArray& emf) {
        // Reference device size in pixels and in millimetres.
        const qint32 px = qint32(u32(emf, 72)), mm = qint32(u32(emf, 80));
        if (px > 0 && mm > 0)
            pxPerMm_ = double(px) / mm;
    }

    void apply(quint32 type, const QByteArray& rec) {
        const qsizetype size = rec.size();
        if (type == EmrSetMapMode && size >= 12) {
            state_.mapMode = u32(rec, 8);
        } else if (type == EmrSetWindowExtEx && size >= 16) {
            state_.window = qint32(u32(rec, 8));
        } else if (type == EmrSetViewportExtEx && size >= 16) {
            state_.viewport = qint32(u32(rec, 8));
        } else if (type == EmrSaveDc) {
            if (saved_.size() < 4096)
                saved_.append(state_);
        } else if (type == EmrRestoreDc && size >= 12) {
            const qint32 which = qint32(u32(rec, 8));
            const qsizetype keep = which < 0 ? saved_.size() + which : which - 1;
            if (keep >= 0 && keep < saved_.size()) {
                state_ = saved_[keep];
                saved_.resize(keep);
            }
        } else if (type == EmrSetWorldTransform && size >= 32) {
            state_.det = determinant(rec);
        } else if (type == EmrModifyWorldTransform && size >= 36) {
            const quint32 mode = u32(rec, 32);
            if (mode == 1)
                state_.det = 1;
            else if (mode == 2 || mode == 3)
                state_.det *= determinant(rec);
            else if (mode == 4)
                state_.det = determinant(rec);
        }
    }

    double factor() const {
        double map = 1; // MM_TEXT
        switch (state_.mapMode) {
        case 2: // MM_LOMETRIC, 0.1 mm
            map = pxPerMm_ / 10;
            break;
        case 3: // MM_HIMETRIC, 0.01 mm
            map = pxPerMm_ / 100;
            break;
        case 4: // MM_LOENGLISH, 0.01 inch
            map = pxPerMm_ * 0.254;
            break;
        case 5: // MM_HIENGLISH, 0.001 inch
            map = pxPerMm_ * 0.0254;
            break;
        case 6: // MM_TWIPS
            map = pxPerMm_ * 25.4 / 1440;
            break;
        case 7: // MM_ISOTROPIC
        case 8: // MM_ANISOTROPIC
            map = state_.window != 0 ? std::abs(double(state_.viewport) / state_.window) : 1;
            break;
        default:
            break;
        }
        return map * std::sqrt(std::abs(state_.det));
    }

private:
    static double determinant(const QByteArray& rec) {
        return double(f32(rec, 8)) * f32(rec, 20) - double(f32(rec, 12)) * f32(rec, 16);
    }

    struct State {
        quint32 mapMode = 1;
        qint32 window = 1, viewport = 1; // horizontal extents
        double det = 1;                  // of the world transform
    };
    State state_;
    QList<State> saved_;
    double pxPerMm_ = 96 / 25.4;
};

QRgb fromColorRef(quint32 ref) {
    return qRgb(ref & 0xFF, (ref >> 8) & 0xFF, (ref >> 16) & 0xFF);
}

quint32 toColorRef(QRgb rgb) {
    return quint32(qRed(rgb)) | (quint32(qGreen(rgb)) << 8) | (quint32(qBlue(rgb)) << 16);
}

// A colour whose bytes appear nowhere in the file (so no record uses it)
// and which is far from the markers already chosen.
QRgb pickMarker(const QByteArray& emf, const QList<EmfHatch>& taken, quint32& seed) {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        seed = seed * 1664525u + 1013904223u;
        const QRgb c = qRgb((seed >> 8) & 0xFF, (seed >> 16) & 0xFF, (seed >> 24) & 0xFF);
        const char bytes[3] = {char(qRed(c)), char(qGreen(c)), char(qBlue(c))};
        if (emf.contains(QByteArrayView(bytes, 3)))
            continue;
        bool close = false;
        for (const EmfHatch& h : taken) {
            const int dr = qRed(c) - qRed(h.marker), dg = qGreen(c) - qGreen(h.marker),
                      db = qBlue(c) - qBlue(h.marker);
            close = close || dr * dr + dg * dg + db * db < 64 * 64;
        }
        if (!close)
            return c;
    }
    return 0;
}

// EMR_CREATEPEN { ihPen, style, width.x, width.y, colour } rewritten as
// EMR_EXTCREATEPEN of that width (device units) with no bitmap and a solid
// brush of the pen's colour.
QByteArray extendedPen(const QByteArray& rec, quint32 width) {
    QByteArray out(52, '\0');
    putU32(out, 0, EmrExtCreatePen);
    putU32(out, 4, 52);
    putU32(out, 8, u32(rec, 8)); // ihPen; offBmi, cbBmi, offBits, cbBits stay 0
    putU32(out, 28, (u32(rec, 12) & kPsStyleMask) | kPsGeometric);
    putU32(out, 32, width);
    putU32(out, 36, kBsSolid);
    putU32(out, 40, u32(rec, 24));
    return out; // hatch 0, no style entries
}

} // namespace

PreparedEmf prepareEmfForSvg(const QByteArray& emf) {
    PreparedEmf out;
    out.data = emf;
    if (emf.size() < 88 || u32(emf, 0) != EmrHeader || u32(emf, 40) != kEmfSignature)
        return out;
    const quint32 headerSize = u32(emf, 4);
    if (headerSize < 88 || headerSize % 4 != 0 || headerSize > quint32(emf.size()))
        return out;

    QByteArray result = emf.left(headerSize);
    bool changed = false;
    bool opaque = true; // a device context starts OPAQUE on white
    QRgb background = qRgb(255, 255, 255);
    quint32 seed = 0x5EED1234u;
    DeviceScale scale(emf);
    qsizetype pos = headerSize;
    while (pos + 8 <= emf.size()) {
        const quint32 type = u32(emf, pos);
        const quint32 size = u32(emf, pos + 4);
        if (size < 8 || size % 4 != 0 || size > quint32(emf.size() - pos))
            break;
        QByteArray rec = emf.mid(pos, size);
        scale.apply(type, rec);
        if (type == EmrSetBkMode && size >= 12) {
            opaque = u32(rec, 8) == kBkOpaque;
        } else if (type == EmrSetBkColor && size >= 12) {
            background = fromColorRef(u32(rec, 8));
        } else if (type == EmrCreatePen && size >= 28) {
            const double width = qint32(u32(rec, 16)) * scale.factor();
            if (width >= 1.5 && width < 1e5 && (u32(rec, 12) & kPsStyleMask) != kPsNull) {
                rec = extendedPen(rec, quint32(std::lround(width)));
                ++out.pensWidened;
                changed = true;
            }
        } else if (type == EmrExtCreatePen && size >= 52) {
            const quint32 style = u32(rec, 28);
            quint32 shown = style & kPsStyleMask;
            if (shown == kPsUserStyle && u32(rec, 48) >= 2)
                shown = kPsDash;
            else if (shown == kPsAlternate)
                shown = kPsDot;
            if (shown != (style & kPsStyleMask)) {
                putU32(rec, 28, (style & ~kPsStyleMask) | shown);
                ++out.dashesApproximated;
                changed = true;
            }
        } else if (type == EmrCreateBrushIndirect && size >= 24 && u32(rec, 12) == kBsHatched &&
                   u32(rec, 20) <= 5) {
            EmfHatch h;
            h.style = int(u32(rec, 20));
            h.color = fromColorRef(u32(rec, 16));
            h.opaque = opaque;
            h.background = background;
            const EmfHatch* same = nullptr;
            for (const EmfHatch& known : out.hatches) {
                if (known.style == h.style && known.color == h.color && known.opaque == h.opaque &&
                    (!h.opaque || known.background == h.background))
                    same = &known;
            }
            if (same) {
                h.marker = same->marker;
            } else if (out.hatches.size() < kMaxHatches) {
                h.marker = pickMarker(emf, out.hatches, seed);
                if (h.marker != 0)
                    out.hatches.append(h);
            }
            if (h.marker != 0) {
                putU32(rec, 12, kBsSolid);
                putU32(rec, 16, toColorRef(h.marker));
                putU32(rec, 20, 0);
                changed = true;
            }
        }
        result += rec;
        pos += size;
    }
    if (!changed)
        return out;
    result += emf.mid(pos); // whatever followed a malformed record
    putU32(result, 48, quint32(result.size()));
    out.data = result;
    return out;
}

bool hatchCovers(int style, int x, int y) {
    const bool horizontal = (y & 7) == 0;
    const bool vertical = (x & 7) == 0;
    const bool falling = ((x - y) & 7) == 0; // "\"
    const bool rising = ((x + y) & 7) == 0;  // "/"
    switch (style) {
    case 0:
        return horizontal;
    case 1:
        return vertical;
    case 2:
        return falling;
    case 3:
        return rising;
    case 4:
        return horizontal || vertical;
    case 5:
        return falling || rising;
    default:
        return false;
    }
}

QByteArray mendConvertedSvg(const QByteArray& svg) {
    // A figure the records leave open ends in one "Z " (added by the
    // converter), a closed one in "Z Z ": drop the last.
    static const QByteArray kTail = "Z \"";
    QByteArray out;
    out.reserve(svg.size());
    qsizetype from = 0;
    for (;;) {
        const qsizetype attr = svg.indexOf(" d=\"", from);
        if (attr < 0)
            break;
        const qsizetype end = svg.indexOf('"', attr + 4);
        if (end < 0)
            break;
        const qsizetype tail = end - 1; // the Z of a trailing "Z "
        if (tail > attr + 4 && svg.mid(tail - 1, 3) == kTail) {
            out += svg.mid(from, tail - 1 - from);
            from = end;
        } else {
            out += svg.mid(from, end - from);
            from = end;
        }
    }
    out += svg.mid(from);
    return out;
}

QByteArray svgWithoutHatchMarkers(const QByteArray& svg, const QList<EmfHatch>& hatches,
                                  bool keepFills) {
    QByteArray out = svg;
    for (const EmfHatch& h : hatches) {
        const QByteArray hex = QByteArray::number(h.marker & 0xFFFFFF, 16).rightJustified(6, '0');
        for (const QByteArray& form : {hex.toUpper(), hex.toLower()}) {
            out.replace("stroke=\"#" + form + '"', "stroke=\"none\"");
            out.replace("stroke:#" + form, "stroke:none");
            if (!keepFills) {
                out.replace("fill=\"#" + form + '"', "fill=\"none\"");
                out.replace("fill:#" + form, "fill:none");
            }
        }
    }
    return out;
}

QImage compositeHatches(const QImage& withMarkers, const QImage& withoutFills,
                        const QList<EmfHatch>& hatches) {
    if (hatches.isEmpty() || withMarkers.size() != withoutFills.size())
        return withMarkers;
    const QImage a = withMarkers.convertToFormat(QImage::Format_RGB32);
    const QImage b = withoutFills.convertToFormat(QImage::Format_RGB32);
    QImage out = a;
    // A difference that no marker explains within this distance is left as is.
    constexpr double kMaxResidual = 3 * 24.0 * 24.0;
    for (int y = 0; y < a.height(); ++y) {
        const QRgb* ra = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const QRgb* rb = reinterpret_cast<const QRgb*>(b.constScanLine(y));
        QRgb* ro = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (((ra[x] ^ rb[x]) & 0xFFFFFF) == 0)
                continue;
            const double er = qRed(ra[x]) - qRed(rb[x]), eg = qGreen(ra[x]) - qGreen(rb[x]),
                         eb = qBlue(ra[x]) - qBlue(rb[x]);
            const EmfHatch* best = nullptr;
            double bestResidual = kMaxResidual, bestAlpha = 0;
            for (const EmfHatch& h : hatches) {
                const double dr = qRed(h.marker) - qRed(rb[x]),
                             dg = qGreen(h.marker) - qGreen(rb[x]),
                             db = qBlue(h.marker) - qBlue(rb[x]);
                const double dd = dr * dr + dg * dg + db * db;
                if (dd < 1)
                    continue;
                const double alpha = qMin(1.0, (er * dr + eg * dg + eb * db) / dd);
                if (alpha <= 0.02)
                    continue;
                const double xr = er - alpha * dr, xg = eg - alpha * dg, xb = eb - alpha * db;
                const double residual = xr * xr + xg * xg + xb * xb;
                if (residual < bestResidual) {
                    bestResidual = residual;
                    best = &h;
                    bestAlpha = alpha;
                }
            }
            if (!best)
                continue;
            const QRgb under = rb[x];
            const QRgb target = hatchCovers(best->style, x, y)
                                    ? best->color
                                    : (best->opaque ? best->background : under);
            auto mix = [&](int u, int t) { return int(std::lround(u + bestAlpha * (t - u))); };
            ro[x] = qRgb(mix(qRed(under), qRed(target)), mix(qGreen(under), qGreen(target)),
                         mix(qBlue(under), qBlue(target)));
        }
    }
    return out;
}

} // namespace lumenta
