#include "convert/palette.h"

#include <QPainter>

#include <libimagequant.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

namespace lumenta {

namespace {

// `c` laid on white, opaque.
QRgb overWhite(QRgb c) {
    const int a = qAlpha(c);
    const auto mix = [a](int v) { return (v * a + 255 * (255 - a) + 127) / 255; };
    return qRgb(mix(qRed(c)), mix(qGreen(c)), mix(qBlue(c)));
}

// Transparent (as 0) or opaque on white.
QRgb twoLevel(QRgb c) {
    if (qAlpha(c) < kOpaqueFrom)
        return 0;
    return qAlpha(c) == 255 ? c : overWhite(c);
}

QImage withTable(const QImage& image, QList<QRgb> table) {
    QImage out = image;
    out.setColorTable(std::move(table));
    return out;
}

// An image of the same size and resolution as `like`.
QImage blankLike(const QImage& like, QImage::Format format) {
    QImage out(like.size(), format);
    out.setDotsPerMeterX(like.dotsPerMeterX());
    out.setDotsPerMeterY(like.dotsPerMeterY());
    return out;
}

// A picture with a colour table (after binaryAlpha): its table and indices,
// all transparent entries merged into the first one.
IndexedPicture fromTable(QImage img) {
    if (img.format() != QImage::Format_Indexed8)
        img = img.convertToFormat(QImage::Format_Indexed8); // 1-bit: keeps its table
    QList<QRgb> table = img.colorTable();
    IndexedPicture out;
    std::vector<uchar> remap(256);
    for (int i = 0; i < 256; ++i)
        remap[i] = uchar(i);
    bool merged = false;
    for (int i = 0; i < table.size(); ++i) {
        if (qAlpha(table[i]) != 0)
            continue;
        if (out.transparent < 0) {
            out.transparent = i;
        } else {
            remap[i] = uchar(out.transparent);
            merged = true;
        }
        table[i] = qRgb(0, 0, 0);
    }
    // Indices beyond the table (a damaged file) show black.
    int highest = 0;
    for (int y = 0; y < img.height(); ++y) {
        const uchar* line = img.constScanLine(y);
        for (int x = 0; x < img.width(); ++x)
            highest = qMax(highest, int(line[x]));
    }
    while (table.size() <= highest)
        table.append(qRgb(0, 0, 0));
    if (merged) {
        for (int y = 0; y < img.height(); ++y) {
            uchar* line = img.scanLine(y);
            for (int x = 0; x < img.width(); ++x)
                line[x] = remap[line[x]];
        }
    }
    out.image = withTable(img, table);
    return out;
}

IndexedPicture fromGray(const QImage& gray) {
    QList<QRgb> table;
    for (int i = 0; i < 256; ++i)
        table.append(qRgb(i, i, i));
    QImage out = blankLike(gray, QImage::Format_Indexed8);
    for (int y = 0; y < gray.height(); ++y)
        memcpy(out.scanLine(y), gray.constScanLine(y), size_t(gray.width()));
    out.setColorTable(table);
    return {out, -1};
}

// Frees what libimagequant made.
struct Liq {
    void operator()(liq_attr* p) const { liq_attr_destroy(p); }
    void operator()(liq_image* p) const { liq_image_destroy(p); }
    void operator()(liq_result* p) const { liq_result_destroy(p); }
    void operator()(liq_histogram* p) const { liq_histogram_destroy(p); }
};

// The opaque entry of `table` closest to the RGB bytes at `rgb`.
uchar nearestOpaque(const QList<QRgb>& table, int transparent, const uchar* rgb) {
    int best = 0;
    int bestDistance = INT_MAX;
    for (int i = 0; i < table.size(); ++i) {
        const int dr = qRed(table[i]) - rgb[0];
        const int dg = qGreen(table[i]) - rgb[1];
        const int db = qBlue(table[i]) - rgb[2];
        const int d = dr * dr + dg * dg + db * db;
        if (i != transparent && d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return uchar(best);
}

// Palette indices by colour: a table with one entry per RGB colour (32 MB
// of address space that the system hands over zero-filled, page by page,
// as colours are met, so a palette's few hundred colours cost a few
// hundred pages), behind a small cache of the colours last looked up.
class ColourIndex {
public:
    ColourIndex() : m_entries(static_cast<quint16*>(calloc(size_t(1) << 24, sizeof(quint16)))) {
        m_recent.fill({1, 0}); // no colour of a two-level picture
    }
    ~ColourIndex() { free(m_entries); }
    ColourIndex(const ColourIndex&) = delete;
    ColourIndex& operator=(const ColourIndex&) = delete;
    bool isValid() const { return m_entries != nullptr; }
    // The index of c (opaque, or 0 for transparent), or -1.
    int find(QRgb c) {
        Recent& r = m_recent[slot(c)];
        if (r.colour == c)
            return r.index;
        const int index = c == 0 ? m_clear : int(m_entries[c & 0xffffff]) - 1;
        r = {c, index};
        return index;
    }
    void insert(QRgb c, int index) {
        m_recent[slot(c)] = {c, index};
        if (c == 0)
            m_clear = index;
        else
            m_entries[c & 0xffffff] = quint16(index + 1);
    }

private:
    // A few kilobytes that stay in the processor's cache, where the table
    // spreads over many pages.
    struct Recent {
        QRgb colour;
        int index;
    };
    static quint32 slot(QRgb c) { return (c * 2654435761u) >> 22; }
    std::array<Recent, 1024> m_recent;
    quint16* m_entries;
    int m_clear = -1;
};

// The picture as 32-bit pixels: two-level alpha (binaryAlpha) in ARGB32,
// or RGB32 when it has no transparency.
QImage twoLevel32(const QImage& image) {
    const QImage img = binaryAlpha(image);
    if (img.format() == QImage::Format_RGB32 || img.format() == QImage::Format_ARGB32)
        return img;
    return img.convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32
                                                     : QImage::Format_RGB32);
}

bool hasClearPixel(const QImage& argb) {
    if (argb.format() != QImage::Format_ARGB32)
        return false;
    const int w = argb.width();
    for (int y = 0; y < argb.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < w; ++x)
            if (in[x] == 0)
                return true;
    }
    return false;
}

// Writes into `out` (Format_Indexed8, same size) the index indexOf(c)
// gives each pixel colour c of a picture from twoLevel32 (opaque pixels
// with alpha 255); false as soon as it gives -1.
template <typename IndexOf> bool indexPixels(const QImage& argb, QImage& out, IndexOf indexOf) {
    const int w = argb.width();
    const int h = argb.height();
    const QRgb alpha = argb.format() == QImage::Format_RGB32 ? 0xff000000u : 0;
    // Indices gather in a local block first: stores into the picture
    // itself could alias anything and would keep every value in memory.
    // No shortcut for runs of one colour: in a dithered picture it is a
    // guess the processor mostly gets wrong.
    constexpr int kBlock = 256;
    uchar block[kBlock];
    for (int y = 0; y < h; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        uchar* line = out.scanLine(y);
        for (int from = 0; from < w; from += kBlock) {
            const int n = std::min(kBlock, w - from);
            for (int i = 0; i < n; ++i) {
                const int index = indexOf(in[from + i] | alpha);
                if (index < 0)
                    return false;
                block[i] = uchar(index);
            }
            memcpy(line + from, block, size_t(n));
        }
    }
    return true;
}

// The nearest opaque entry of a table for each colour, looked up by the
// colour's 6 high bits per channel and filled in as colours come.
class NearestEntry {
public:
    NearestEntry(const QList<QRgb>& table, int transparent)
        : m_table(table), m_transparent(transparent), m_cells(size_t(1) << 18, -1) {}
    uchar operator()(int r, int g, int b) {
        qint16& cell = m_cells[size_t((r >> 2) << 12 | (g >> 2) << 6 | (b >> 2))];
        if (cell < 0) {
            const uchar centre[3] = {uchar((r & ~3) | 2), uchar((g & ~3) | 2), uchar((b & ~3) | 2)};
            cell = nearestOpaque(m_table, m_transparent, centre);
        }
        return uchar(cell);
    }

private:
    const QList<QRgb>& m_table;
    int m_transparent;
    std::vector<qint16> m_cells;
};

// Floyd-Steinberg error diffusion of a two-level picture (twoLevel32) onto
// `table`, in alternate directions row by row; clear pixels take
// `transparent` and spread no error.
QImage dithered(const QImage& argb, const QList<QRgb>& table, int transparent) {
    const int w = argb.width();
    const int h = argb.height();
    const bool opaque = argb.format() == QImage::Format_RGB32;
    NearestEntry nearest(table, transparent);
    QImage out = blankLike(argb, QImage::Format_Indexed8);
    // Errors in 1/16 of a level, for this row and the next, one pixel of
    // margin on both sides.
    std::vector<int> here(size_t(w + 2) * 3, 0), next(size_t(w + 2) * 3, 0);
    for (int y = 0; y < h; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        uchar* line = out.scanLine(y);
        const bool forward = y % 2 == 0;
        const int step = forward ? 1 : -1;
        std::fill(next.begin(), next.end(), 0);
        for (int i = 0, x = forward ? 0 : w - 1; i < w; ++i, x += step) {
            const QRgb c = in[x];
            if (!opaque && c == 0) {
                line[x] = uchar(transparent);
                continue;
            }
            int* e = &here[size_t(x + 1) * 3];
            const int r = std::clamp(qRed(c) + (e[0] + 8) / 16, 0, 255);
            const int g = std::clamp(qGreen(c) + (e[1] + 8) / 16, 0, 255);
            const int b = std::clamp(qBlue(c) + (e[2] + 8) / 16, 0, 255);
            const uchar index = nearest(r, g, b);
            line[x] = index;
            const QRgb got = table[index];
            const int err[3] = {r - qRed(got), g - qGreen(got), b - qBlue(got)};
            int* ahead = &here[size_t(x + 1 + step) * 3];
            int* below = &next[size_t(x + 1) * 3];
            for (int k = 0; k < 3; ++k) {
                ahead[k] += err[k] * 7;
                below[k - 3 * step] += err[k] * 3;
                below[k] += err[k] * 5;
                below[k + 3 * step] += err[k];
            }
        }
        std::swap(here, next);
    }
    out.setColorTable(table);
    return out;
}

} // namespace

QImage onWhite(const QImage& image) {
    if (!image.hasAlphaChannel())
        return image;
    if (image.format() == QImage::Format_Indexed8) {
        QList<QRgb> table = image.colorTable();
        for (QRgb& c : table)
            c = overWhite(c);
        return withTable(image, table);
    }
    QImage out = blankLike(image, QImage::Format_RGB32);
    out.fill(Qt::white);
    QPainter p(&out);
    p.drawImage(0, 0, image);
    return out;
}

QImage binaryAlpha(const QImage& image) {
    if (!image.hasAlphaChannel())
        return image;
    if (image.format() == QImage::Format_Indexed8) {
        QList<QRgb> table = image.colorTable();
        for (QRgb& c : table)
            c = twoLevel(c);
        return withTable(image, table);
    }
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            line[x] = twoLevel(line[x]);
    }
    return out;
}

std::optional<IndexedPicture> exactPalette(const QImage& image) {
    if (image.isNull())
        return std::nullopt;
    const QImage img = binaryAlpha(image);
    switch (img.format()) {
    case QImage::Format_Indexed8:
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        return fromTable(img);
    case QImage::Format_Grayscale8:
        return fromGray(img);
    default:
        break;
    }
    const QImage argb = twoLevel32(img);
    ColourIndex index;
    if (!index.isValid())
        return std::nullopt;
    QList<QRgb> table;
    IndexedPicture out;
    out.image = blankLike(argb, QImage::Format_Indexed8);
    const bool fits = indexPixels(argb, out.image, [&](QRgb c) {
        int i = index.find(c);
        if (i < 0 && table.size() < 256) {
            i = int(table.size());
            if (c == 0)
                out.transparent = i;
            index.insert(c, i);
            table.append(c == 0 ? qRgb(0, 0, 0) : c);
        }
        return i;
    });
    if (!fits)
        return std::nullopt;
    out.image.setColorTable(table);
    return out;
}

std::optional<IndexedPicture> indexedWith(const QImage& image, const QList<QRgb>& table,
                                          int transparent) {
    if (image.isNull() || table.isEmpty() || table.size() > 256)
        return std::nullopt;
    ColourIndex index;
    if (!index.isValid())
        return std::nullopt;
    for (int i = int(table.size()) - 1; i >= 0; --i)
        if (i != transparent)
            index.insert(table[i] | 0xff000000u, i);
    if (transparent >= 0)
        index.insert(0, transparent);
    IndexedPicture out;
    const QImage argb = twoLevel32(image);
    out.image = blankLike(argb, QImage::Format_Indexed8);
    out.transparent = transparent;
    if (!indexPixels(argb, out.image, [&index](QRgb c) { return index.find(c); }))
        return std::nullopt;
    QList<QRgb> opaqueTable = table;
    if (transparent >= 0)
        opaqueTable[transparent] = qRgb(0, 0, 0);
    out.image.setColorTable(opaqueTable);
    return out;
}

IndexedPicture reducedPalette(const QImage& image, qint64 samplePixels) {
    if (std::optional<IndexedPicture> exact = exactPalette(image))
        return *exact;
    const QImage argb = twoLevel32(image);
    const int w = argb.width();
    const int h = argb.height();
    // One entry stays free for transparency whenever any pixel is clear,
    // whether or not the sample below holds one.
    const bool clear = hasClearPixel(argb);

    const std::unique_ptr<liq_attr, Liq> attr(liq_attr_create());
    if (!attr)
        return {};
    liq_set_max_colors(attr.get(), clear ? 255 : 256);
    QImage sample = argb;
    if (qint64(w) * h > samplePixels) {
        const double f = std::sqrt(double(samplePixels) / (double(w) * h));
        sample = argb.scaled(qMax(1, int(w * f)), qMax(1, int(h * f)), Qt::IgnoreAspectRatio,
                             Qt::FastTransformation);
    }
    sample = sample.convertToFormat(QImage::Format_RGBA8888);
    const std::unique_ptr<liq_image, Liq> small(
        liq_image_create_rgba(attr.get(), sample.constBits(), sample.width(), sample.height(), 0));
    const std::unique_ptr<liq_histogram, Liq> histogram(liq_histogram_create(attr.get()));
    liq_result* raw = nullptr;
    if (!small || !histogram ||
        liq_histogram_add_image(histogram.get(), attr.get(), small.get()) != LIQ_OK ||
        liq_histogram_quantize(histogram.get(), attr.get(), &raw) != LIQ_OK || !raw)
        return {};
    const std::unique_ptr<liq_result, Liq> result(raw);

    IndexedPicture out;
    const liq_palette* palette = liq_get_palette(result.get());
    QList<QRgb> table;
    for (unsigned i = 0; i < palette->count; ++i) {
        const liq_color& c = palette->entries[i];
        if (c.a < kOpaqueFrom && clear && out.transparent < 0)
            out.transparent = int(i);
        table.append(qRgb(c.r, c.g, c.b));
    }
    if (clear && out.transparent < 0) {
        out.transparent = int(table.size());
        table.append(qRgb(0, 0, 0));
    }
    out.image = dithered(argb, table, out.transparent);
    return out;
}

} // namespace lumenta
