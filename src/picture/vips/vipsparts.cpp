// TIFF and WebP read by parts through libvips (JPEG and PNG too, for the
// benchmark that measures them against our own decoders): each pass loads the file
// with the format's own loader (random access: tiled TIFFs read only the
// tiles of the parts, strip TIFFs only their strips) and reads the parts
// through a region. libvips starts once, without its plug-in modules
// (HEIF, JPEG XL, ImageMagick, PDF... decode nothing in this process), with
// every loader but these two blocked and without its operation cache.
//
// This is the module lumenta-vipsparts.so, loaded by the picture library on
// the first picture that needs it (picture/vipsmodule.cpp): libvips brings
// a hundred libraries with it (ImageMagick, curl, GnuTLS and p11-kit among
// them), which a program that never meets such a picture does not load.
#include "picture/partdecoders.h"

#include "picture/pictureloader.h"
#include "picture/streamreducer.h"

#include <QByteArray>
#include <QFile>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

#include <vips/vips.h>

namespace lumenta {

namespace {

// Rows read at a time when reducing.
constexpr int kBandRows = 64;

bool startVips() {
    static bool started = false;
    static std::once_flag once;
    std::call_once(once, [] {
        // libvips loads its modules from $VIPSHOME/lib when that is set: an
        // empty one keeps them out. Only for the start: programs started
        // later get the environment as it was.
        const QByteArray home = qgetenv("VIPSHOME");
        const bool hadHome = qEnvironmentVariableIsSet("VIPSHOME");
        qputenv("VIPSHOME", QByteArray());
        started = VIPS_INIT("lumenta") == 0;
        if (hadHome)
            qputenv("VIPSHOME", home);
        else
            qunsetenv("VIPSHOME");
        if (!started)
            return;
        vips_cache_set_max(0);
        vips_concurrency_set(1);
        vips_block_untrusted_set(TRUE);
        vips_operation_block_set("VipsForeignLoad", TRUE);
        for (const char* allowed : {"VipsForeignLoadTiff", "VipsForeignLoadWebp",
                                    "VipsForeignLoadJpeg", "VipsForeignLoadPng"})
            vips_operation_block_set(allowed, FALSE);
    });
    return started;
}

QString vipsError() {
    QString why = QString::fromUtf8(vips_error_buffer()).trimmed();
    vips_error_clear();
    const qsizetype line = why.lastIndexOf(QLatin1Char('\n'));
    if (line >= 0)
        why = why.mid(line + 1);
    return why.isEmpty() ? QStringLiteral("the picture cannot be decoded") : why;
}

// Holds one reference to a libvips object.
template <typename T> struct Ref {
    T* p = nullptr;
    Ref() = default;
    explicit Ref(T* object) : p(object) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() {
        if (p)
            g_object_unref(p);
    }
    void reset(T* object) {
        if (p)
            g_object_unref(p);
        p = object;
    }
};

// A picture as 8-bit samples: one or three colour bands, and maybe alpha.
struct Pixels {
    Ref<VipsImage> image;
    int bands = 0;
    bool alpha = false;
};

bool load(const QString& path, const char* loader, int page, Pixels* out) {
    const QByteArray name = QFile::encodeName(path);
    VipsImage* image = nullptr;
    const char* file = name.constData();
    const VipsAccess random = VIPS_ACCESS_RANDOM;
    int failed = 1;
    if (qstrcmp(loader, "tiffload") == 0)
        failed = vips_tiffload(file, &image, "access", random, "page", page, nullptr);
    else if (qstrcmp(loader, "webpload") == 0)
        failed = vips_webpload(file, &image, "access", random, nullptr);
    else if (qstrcmp(loader, "jpegload") == 0)
        failed = vips_jpegload(file, &image, "access", random, nullptr);
    else if (qstrcmp(loader, "pngload") == 0)
        failed = vips_pngload(file, &image, "access", random, nullptr);
    if (failed)
        return false;
    out->image.reset(image);
    const VipsInterpretation kind = vips_image_get_interpretation(image);
    const bool eight = vips_image_get_format(image) == VIPS_FORMAT_UCHAR;
    const bool plain = kind == VIPS_INTERPRETATION_sRGB || kind == VIPS_INTERPRETATION_B_W ||
                       kind == VIPS_INTERPRETATION_MULTIBAND;
    if (!eight || !plain) {
        // 16-bit, float, CMYK, Lab...: to 8-bit sRGB or grey.
        const int colours = vips_image_get_bands(image) - (vips_image_hasalpha(image) ? 1 : 0);
        VipsImage* converted = nullptr;
        if (vips_colourspace(image, &converted,
                             colours >= 3 ? VIPS_INTERPRETATION_sRGB : VIPS_INTERPRETATION_B_W,
                             nullptr))
            return false;
        out->image.reset(converted);
        if (vips_image_get_format(converted) != VIPS_FORMAT_UCHAR) {
            VipsImage* cast = nullptr;
            if (vips_cast_uchar(converted, &cast, nullptr))
                return false;
            out->image.reset(cast);
        }
    }
    out->bands = std::min(vips_image_get_bands(out->image.p), 4);
    out->alpha = vips_image_hasalpha(out->image.p) && (out->bands == 2 || out->bands == 4);
    return true;
}

// Pixels of a row of a region as 32-bit pixels: the one point where this
// decoder's rows become pixels.
void toRgb32(const VipsPel* in, int bands, bool alpha, int count, quint32* out) {
    for (int x = 0; x < count; ++x, in += bands) {
        const int colours = alpha ? bands - 1 : bands;
        const uint r = in[0], g = colours >= 3 ? in[1] : r, b = colours >= 3 ? in[2] : r;
        if (alpha)
            out[x] = qPremultiply(qRgba(int(r), int(g), int(b), in[bands - 1]));
        else
            out[x] = 0xff000000u | (r << 16) | (g << 8) | b;
    }
}

bool readRect(VipsRegion* region, const Pixels& px, const QRect& r, QImage* image) {
    VipsRect rect{r.x(), r.y(), r.width(), r.height()};
    if (vips_region_prepare(region, &rect))
        return false;
    const int bands = vips_image_get_bands(px.image.p);
    for (int y = 0; y < r.height(); ++y)
        toRgb32(VIPS_REGION_ADDR(region, r.x(), r.y() + y), bands, px.alpha, r.width(),
                reinterpret_cast<quint32*>(image->scanLine(y)));
    return true;
}

class VipsParts : public PartDecoder {
public:
    VipsParts(QString path, const char* loader, std::vector<int> levels, QList<QSize> sizes)
        : m_path(std::move(path)), m_loader(loader), m_levels(std::move(levels)),
          m_sizes(std::move(sizes)) {}

    bool decodeParts(const QList<QRect>& parts, const PartReady& ready, LoadProgress* progress,
                     QString* error) const override {
        Pixels px;
        if (!load(m_path, m_loader, 0, &px)) {
            *error = vipsError();
            return false;
        }
        Ref<VipsRegion> region(vips_region_new(px.image.p));
        for (int i = 0; i < parts.size(); ++i) {
            QImage image(parts[i].size(),
                         px.alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
            if (image.isNull()) {
                *error = QStringLiteral("out of memory");
                return false;
            }
            if (!readRect(region.p, px, parts[i], &image)) {
                *error = vipsError();
                return false;
            }
            ready(i, image);
            if (progress && progress->isCancelled()) {
                *error = QStringLiteral("cancelled");
                return false;
            }
        }
        return true;
    }

    QImage decodeReduced(QSize size, bool, LoadProgress* progress, QString* error) const override {
        // The smallest level of a pyramid that still covers the size.
        int page = 0;
        for (int i = int(m_levels.size()) - 1; i > 0; --i) {
            const QSize level = m_sizes[i];
            if (level.width() >= size.width() && level.height() >= size.height()) {
                page = m_levels[size_t(i)];
                break;
            }
        }
        Pixels px;
        if (!load(m_path, m_loader, page, &px)) {
            *error = vipsError();
            return QImage();
        }
        const QSize source(vips_image_get_width(px.image.p), vips_image_get_height(px.image.p));
        StreamReducer reducer(source, size.boundedTo(source), px.alpha);
        QImage band(source.width(), kBandRows,
                    px.alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
        if (!reducer.isValid() || band.isNull()) {
            *error = QStringLiteral("out of memory");
            return QImage();
        }
        Ref<VipsRegion> region(vips_region_new(px.image.p));
        for (int y = 0; y < source.height(); y += kBandRows) {
            const int rows = std::min(kBandRows, source.height() - y);
            if (!readRect(region.p, px, QRect(0, y, source.width(), rows), &band)) {
                *error = vipsError();
                return QImage();
            }
            reducer.addRows(reinterpret_cast<const quint32*>(band.constBits()),
                            band.bytesPerLine() / 4, rows);
            if (progress)
                progress->giveWay();
            if (progress && progress->isCancelled()) {
                *error = QStringLiteral("cancelled");
                return QImage();
            }
        }
        QImage out = reducer.result();
        return out.isNull() || out.size() == size ? out : scaledSmooth(out, size);
    }

private:
    QString m_path;
    const char* m_loader;
    std::vector<int> m_levels; // pages of a pyramid, largest first (page 0)
    QList<QSize> m_sizes;      // of each of them
};

PartSource openParts(const QString& path, const char* loader) {
    PartSource out;
    if (!startVips()) {
        out.error = QStringLiteral("libvips cannot start");
        return out;
    }
    Pixels px;
    if (!load(path, loader, 0, &px)) {
        out.error = vipsError();
        return out;
    }
    VipsImage* image = px.image.p;
    out.stored = QSize(vips_image_get_width(image), vips_image_get_height(image));
    out.orientation = std::clamp(vips_image_get_orientation(image), 1, 8);
    // The pages of a pyramid: each smaller than the one before, in the
    // same proportions.
    std::vector<int> levels{0};
    QList<QSize> sizes{out.stored};
    const int pages = qstrcmp(loader, "tiffload") == 0 ? vips_image_get_n_pages(image) : 1;
    for (int page = 1; page < pages; ++page) {
        Pixels level;
        if (!load(path, loader, page, &level))
            break;
        const QSize size(vips_image_get_width(level.image.p), vips_image_get_height(level.image.p));
        const QSize before = sizes.last();
        const bool smaller = size.width() < before.width() && size.height() < before.height();
        const bool proportional = std::abs(qint64(size.width()) * out.stored.height() -
                                           qint64(size.height()) * out.stored.width()) <=
                                  qint64(out.stored.width() + out.stored.height()) * 2;
        if (!smaller || !proportional)
            break;
        levels.push_back(page);
        sizes.append(size);
    }
    vips_error_clear();
    out.decoder = std::make_unique<VipsParts>(path, loader, std::move(levels), std::move(sizes));
    return out;
}

} // namespace

} // namespace lumenta

// The module's one entry point, which picture/vipsmodule.cpp looks up.
extern "C" Q_DECL_EXPORT void lumentaOpenVipsParts(const QString& path, const char* loader,
                                                   lumenta::PartSource* out) {
    *out = lumenta::openParts(path, loader);
}
