#include "support/colourtest.h"

#include <QColor>
#include <QColorSpace>
#include <QFile>
#include <QProcess>
#include <QtEndian>

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace colourtest {

namespace {

QByteArray saved(cmsHPROFILE h) {
    cmsUInt32Number size = 0;
    QByteArray bytes;
    if (h && cmsSaveProfileToMem(h, nullptr, &size) && size > 0) {
        bytes.resize(qsizetype(size));
        cmsSaveProfileToMem(h, bytes.data(), &size);
    }
    if (h)
        cmsCloseProfile(h);
    return bytes;
}

void describe(cmsHPROFILE h, const char* text) {
    cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(mlu, "en", "US", text);
    cmsWriteTag(h, cmsSigProfileDescriptionTag, mlu);
    cmsMLUfree(mlu);
}

cmsHPROFILE open(const QByteArray& icc) {
    return icc.isEmpty() ? cmsCreate_sRGBProfile()
                         : cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size()));
}

// A pipeline made of one table sampled from a transform, its output
// changed by `adjust` (16-bit values, in place) when given.
cmsPipeline* tablePipeline(cmsHTRANSFORM t, int inputs, int outputs, int points,
                           void (*adjust)(cmsUInt16Number*) = nullptr) {
    struct Cargo {
        cmsHTRANSFORM t;
        void (*adjust)(cmsUInt16Number*);
    } cargo{t, adjust};
    cmsPipeline* p = cmsPipelineAlloc(nullptr, cmsUInt32Number(inputs), cmsUInt32Number(outputs));
    cmsStage* stage =
        cmsStageAllocCLut16bit(nullptr, cmsUInt32Number(points), cmsUInt32Number(inputs),
                               cmsUInt32Number(outputs), nullptr);
    cmsStageSampleCLut16bit(
        stage,
        [](const cmsUInt16Number in[], cmsUInt16Number out[], void* data) -> cmsInt32Number {
            auto* c = static_cast<Cargo*>(data);
            cmsDoTransform(c->t, in, out, 1);
            if (c->adjust)
                c->adjust(out);
            return TRUE;
        },
        &cargo, 0);
    // Stored as lutAtoBType / lutBtoAType: curves, table, curves.
    cmsPipelineInsertStage(p, cmsAT_END,
                           cmsStageAllocToneCurves(nullptr, cmsUInt32Number(inputs), nullptr));
    cmsPipelineInsertStage(p, cmsAT_END, stage);
    cmsPipelineInsertStage(p, cmsAT_END,
                           cmsStageAllocToneCurves(nullptr, cmsUInt32Number(outputs), nullptr));
    return p;
}

// Perceptual rendering of the table profile: a little less chroma, lighter
// shadows (v4 Lab encoding: a and b centred on 32896).
void softer(cmsUInt16Number* lab) {
    lab[0] = cmsUInt16Number(4000 + lab[0] * 0.92);
    for (int k = 1; k < 3; ++k)
        lab[k] = cmsUInt16Number(32896 + (int(lab[k]) - 32896) * 0.75);
}

} // namespace

QByteArray colordProfile(const QString& name) {
    QFile f(QStringLiteral("/usr/share/color/icc/colord/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray rgbProfile(const double white[2], const double red[2], const double green[2],
                      const double blue[2], const char* transfer, double gamma) {
    const cmsCIExyY w = {white[0], white[1], 1};
    const cmsCIExyYTRIPLE p = {{red[0], red[1], 1}, {green[0], green[1], 1}, {blue[0], blue[1], 1}};
    cmsToneCurve* curve = nullptr;
    if (gamma > 0) {
        curve = cmsBuildGamma(nullptr, gamma);
    } else if (QByteArray(transfer) == "bt709") {
        const double params[5] = {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081};
        curve = cmsBuildParametricToneCurve(nullptr, 4, params);
    } else {
        const double params[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
        curve = cmsBuildParametricToneCurve(nullptr, 4, params);
    }
    cmsToneCurve* curves[3] = {curve, curve, curve};
    cmsHPROFILE h = cmsCreateRGBProfile(&w, &p, curves);
    cmsFreeToneCurve(curve);
    describe(h, transfer);
    return saved(h);
}

QByteArray displayP3Profile() {
    const double w[2] = {0.3127, 0.3290}, r[2] = {0.680, 0.320}, g[2] = {0.265, 0.690},
                 b[2] = {0.150, 0.060};
    return rgbProfile(w, r, g, b, "srgb");
}

QByteArray monitorProfile() {
    const double w[2] = {0.3100, 0.3400}, r[2] = {0.620, 0.340}, g[2] = {0.310, 0.580},
                 b[2] = {0.155, 0.080};
    return rgbProfile(w, r, g, b, "gamma", 1.8);
}

QByteArray tableProfile(int points) {
    // The colours of a wide space with gamma 2.0, held in tables only.
    const double w[2] = {0.3127, 0.3290}, r[2] = {0.700, 0.290}, g[2] = {0.190, 0.740},
                 b[2] = {0.140, 0.050};
    const QByteArray baseBytes = rgbProfile(w, r, g, b, "gamma", 2.0);
    cmsHPROFILE base = open(baseBytes);
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab = cmsCreateTransform(base, TYPE_RGB_16, lab, TYPE_Lab_16,
                                             INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    cmsHTRANSFORM fromLab = cmsCreateTransform(lab, TYPE_Lab_16, base, TYPE_RGB_16,
                                               INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    cmsHPROFILE h = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(h, 4.3);
    cmsSetDeviceClass(h, cmsSigDisplayClass);
    cmsSetColorSpace(h, cmsSigRgbData);
    cmsSetPCS(h, cmsSigLabData);
    cmsWriteTag(h, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    describe(h, "Tables only");
    cmsPipeline* perceptual = tablePipeline(toLab, 3, 3, points, softer);
    cmsPipeline* colorimetric = tablePipeline(toLab, 3, 3, points);
    cmsPipeline* back = tablePipeline(fromLab, 3, 3, points);
    cmsWriteTag(h, cmsSigAToB0Tag, perceptual);
    cmsWriteTag(h, cmsSigAToB1Tag, colorimetric);
    cmsWriteTag(h, cmsSigBToA0Tag, back);
    cmsWriteTag(h, cmsSigBToA1Tag, back);
    cmsPipelineFree(perceptual);
    cmsPipelineFree(colorimetric);
    cmsPipelineFree(back);
    cmsDeleteTransform(toLab);
    cmsDeleteTransform(fromLab);
    cmsCloseProfile(base);
    cmsCloseProfile(lab);
    return saved(h);
}

QByteArray cmykProfile() {
    // Ink over slightly grey paper: each ink takes away its complement.
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM toLab = cmsCreateTransform(srgb, TYPE_RGB_16, lab, TYPE_Lab_16,
                                             INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    cmsHPROFILE h = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(h, 4.3);
    cmsSetDeviceClass(h, cmsSigOutputClass);
    cmsSetColorSpace(h, cmsSigCmykData);
    cmsSetPCS(h, cmsSigLabData);
    cmsWriteTag(h, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    describe(h, "Plain inks");
    cmsPipeline* p = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* stage = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
    cmsStageSampleCLut16bit(
        stage,
        [](const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) -> cmsInt32Number {
            // Inks that spread on paper (dot gain) and a cyan that takes a
            // little green too.
            double ink[4];
            for (int c = 0; c < 4; ++c)
                ink[c] = std::pow(in[c] / 65535.0, 0.7);
            const double k = 1 - ink[3] * 0.95;
            const double take[3] = {ink[0], std::min(1.0, ink[1] + 0.2 * ink[0]), ink[2]};
            cmsUInt16Number rgb[3];
            for (int c = 0; c < 3; ++c)
                rgb[c] = cmsUInt16Number(std::lround(65535 * (1 - take[c]) * k * 0.97));
            cmsDoTransform(static_cast<cmsHTRANSFORM>(cargo), rgb, out, 1);
            return TRUE;
        },
        toLab, 0);
    cmsPipelineInsertStage(p, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
    cmsPipelineInsertStage(p, cmsAT_END, stage);
    cmsPipelineInsertStage(p, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    cmsWriteTag(h, cmsSigAToB0Tag, p);
    cmsWriteTag(h, cmsSigAToB1Tag, p);
    cmsPipelineFree(p);
    cmsDeleteTransform(toLab);
    cmsCloseProfile(srgb);
    cmsCloseProfile(lab);
    return saved(h);
}

QImage pattern(QSize size) {
    QImage img(size, QImage::Format_RGB32);
    const int band = size.height() - 8;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            QColor c;
            if (y >= band) {
                const int v = x * 255 / (size.width() - 1);
                c = QColor(v, v, v);
            } else {
                const double t = double(y) / qMax(1, band - 1);
                c = QColor::fromHsvF(float(x) / size.width(), float(0.1 + 0.9 * t),
                                     float(1 - 0.55 * t));
            }
            img.setPixel(x, y, c.rgb());
        }
    }
    return img;
}

QByteArray bigEndian32(quint32 v) {
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

QByteArray jpegWithProfile(const QByteArray& jpeg, const QByteArray& icc) {
    constexpr int kPerMarker = 65519;
    const int count = int((icc.size() + kPerMarker - 1) / kPerMarker);
    QByteArray markers;
    for (int i = 0; i < count; ++i) {
        const QByteArray part = icc.mid(qsizetype(i) * kPerMarker, kPerMarker);
        QByteArray body = QByteArray("ICC_PROFILE\0", 12);
        body += char(i + 1);
        body += char(count);
        body += part;
        const int length = int(body.size()) + 2;
        markers += QByteArray("\xFF\xE2", 2) + char(length >> 8) + char(length & 0xff) + body;
    }
    QByteArray out = jpeg;
    out.insert(2, markers);
    return out;
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data) {
    const QByteArray typed = type + data;
    quint32 crc = 0xFFFFFFFF;
    for (char ch : typed) {
        crc ^= uchar(ch);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return bigEndian32(quint32(data.size())) + typed + bigEndian32(~crc);
}

QByteArray pngWithChunk(const QByteArray& png, const QByteArray& type, const QByteArray& data) {
    QByteArray out = png;
    out.insert(33, pngChunk(type, data));
    return out;
}

QByteArray iccpChunk(const QByteArray& icc) {
    // qCompress gives the size on four bytes, then the zlib stream.
    return QByteArray("profile\0\0", 9) + qCompress(icc).mid(4);
}

bool run(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QImage reference(const QTemporaryDir& dir, const QImage& picture, const QByteArray& source,
                 const QByteArray& target, bool perceptual) {
    static int serial = 0;
    const QString stem = dir.filePath(QStringLiteral("reference%1").arg(++serial));
    const QString in = stem + QStringLiteral("-in.tif"), out = stem + QStringLiteral("-out.tif");
    QImage plain = picture.convertToFormat(QImage::Format_RGB888);
    plain.setColorSpace(QColorSpace());
    if (!plain.save(in, "tiff"))
        return QImage();
    const auto write = [](const QString& path, const QByteArray& bytes) {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    };
    const QString src = stem + QStringLiteral("-src.icc"), dst = stem + QStringLiteral("-dst.icc");
    if ((!source.isEmpty() && !write(src, source)) || (!target.isEmpty() && !write(dst, target)))
        return QImage();
    const QStringList args = {
        source.isEmpty() ? QStringLiteral("-i*sRGB") : QStringLiteral("-i") + src,
        target.isEmpty() ? QStringLiteral("-o*sRGB") : QStringLiteral("-o") + dst,
        perceptual ? QStringLiteral("-t0") : QStringLiteral("-t1"),
        QStringLiteral("-b"),
        QStringLiteral("-w8"),
        in,
        out};
    if (!run(QStringLiteral("tificc"), args))
        return QImage();
    return QImage(out).convertToFormat(QImage::Format_RGB32);
}

DeltaE deltaE2000(const QImage& a, const QImage& b, const QByteArray& space) {
    DeltaE d;
    if (a.size() != b.size() || a.isNull()) {
        d.mean = d.max = 1e9;
        return d;
    }
    cmsHPROFILE rgb = open(space);
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM t = cmsCreateTransform(rgb, TYPE_RGB_8, lab, TYPE_Lab_DBL,
                                         INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE);
    const QImage pa = a.convertToFormat(QImage::Format_RGB888);
    const QImage pb = b.convertToFormat(QImage::Format_RGB888);
    std::vector<cmsCIELab> la(size_t(a.width())), lb(size_t(a.width()));
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        cmsDoTransform(t, pa.constScanLine(y), la.data(), cmsUInt32Number(a.width()));
        cmsDoTransform(t, pb.constScanLine(y), lb.data(), cmsUInt32Number(a.width()));
        for (int x = 0; x < a.width(); ++x) {
            const double e = cmsCIE2000DeltaE(&la[size_t(x)], &lb[size_t(x)], 1, 1, 1);
            sum += e;
            d.max = std::max(d.max, e);
        }
    }
    d.mean = sum / (double(a.width()) * a.height());
    cmsDeleteTransform(t);
    cmsCloseProfile(rgb);
    cmsCloseProfile(lab);
    return d;
}

} // namespace colourtest
