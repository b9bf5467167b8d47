#include "convert/palette.h"

#include <QHash>
#include <QPainter>

#include <libimagequant.h>

#include <climits>
#include <cmath>
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
    const QImage argb =
        img.format() == QImage::Format_RGB32 || img.format() == QImage::Format_ARGB32
            ? img
            : img.convertToFormat(img.hasAlphaChannel() ? QImage::Format_ARGB32
                                                        : QImage::Format_RGB32);
    const bool opaque = argb.format() == QImage::Format_RGB32;
    QHash<QRgb, int> index;
    QList<QRgb> table;
    IndexedPicture out;
    out.image = blankLike(argb, QImage::Format_Indexed8);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        uchar* line = out.image.scanLine(y);
        QRgb last = 1; // no colour of a two-level picture
        int lastIndex = 0;
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb c = opaque ? (in[x] | 0xff000000u) : in[x];
            if (c != last) {
                auto it = index.constFind(c);
                if (it == index.cend()) {
                    if (table.size() == 256)
                        return std::nullopt;
                    if (c == 0)
                        out.transparent = int(table.size());
                    it = index.insert(c, int(table.size()));
                    table.append(c == 0 ? qRgb(0, 0, 0) : c);
                }
                last = c;
                lastIndex = *it;
            }
            line[x] = uchar(lastIndex);
        }
    }
    out.image.setColorTable(table);
    return out;
}

std::optional<IndexedPicture> indexedWith(const QImage& image, const QList<QRgb>& table,
                                          int transparent) {
    if (image.isNull() || table.isEmpty() || table.size() > 256)
        return std::nullopt;
    QHash<QRgb, int> index;
    for (int i = int(table.size()) - 1; i >= 0; --i)
        if (i != transparent)
            index.insert(table[i] | 0xff000000u, i);
    if (transparent >= 0)
        index.insert(0, transparent);
    const QImage argb = binaryAlpha(image).convertToFormat(QImage::Format_ARGB32);
    IndexedPicture out;
    out.image = blankLike(argb, QImage::Format_Indexed8);
    out.transparent = transparent;
    for (int y = 0; y < argb.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        uchar* line = out.image.scanLine(y);
        QRgb last = 1; // no colour of a two-level picture
        uchar lastIndex = 0;
        for (int x = 0; x < argb.width(); ++x) {
            if (in[x] != last) {
                const auto it = index.constFind(in[x]);
                if (it == index.cend())
                    return std::nullopt;
                last = in[x];
                lastIndex = uchar(*it);
            }
            line[x] = lastIndex;
        }
    }
    QList<QRgb> opaque = table;
    if (transparent >= 0)
        opaque[transparent] = qRgb(0, 0, 0);
    out.image.setColorTable(opaque);
    return out;
}

IndexedPicture reducedPalette(const QImage& image, qint64 samplePixels) {
    if (std::optional<IndexedPicture> exact = exactPalette(image))
        return *exact;
    const QImage rgba = binaryAlpha(image).convertToFormat(QImage::Format_RGBA8888);
    const int w = rgba.width();
    const int h = rgba.height();
    std::vector<void*> rows(static_cast<size_t>(h));
    for (int y = 0; y < h; ++y)
        rows[size_t(y)] = const_cast<uchar*>(rgba.constScanLine(y));

    const std::unique_ptr<liq_attr, Liq> attr(liq_attr_create());
    if (!attr)
        return {};
    liq_set_max_colors(attr.get(), 256);
    const std::unique_ptr<liq_image, Liq> input(
        liq_image_create_rgba_rows(attr.get(), rows.data(), w, h, 0));
    if (!input)
        return {};
    liq_result* raw = nullptr;
    if (qint64(w) * h > samplePixels) {
        const double f = std::sqrt(double(samplePixels) / (double(w) * h));
        const QImage sample = rgba.scaled(qMax(1, int(w * f)), qMax(1, int(h * f)),
                                          Qt::IgnoreAspectRatio, Qt::FastTransformation);
        const std::unique_ptr<liq_image, Liq> small(liq_image_create_rgba(
            attr.get(), sample.constBits(), sample.width(), sample.height(), 0));
        const std::unique_ptr<liq_histogram, Liq> histogram(liq_histogram_create(attr.get()));
        if (!small || !histogram ||
            liq_histogram_add_image(histogram.get(), attr.get(), small.get()) != LIQ_OK ||
            liq_histogram_quantize(histogram.get(), attr.get(), &raw) != LIQ_OK || !raw)
            return {};
    } else if (liq_image_quantize(input.get(), attr.get(), &raw) != LIQ_OK || !raw) {
        return {};
    }
    const std::unique_ptr<liq_result, Liq> result(raw);
    liq_set_dithering_level(result.get(), 1.0f);

    IndexedPicture out;
    out.image = blankLike(image, QImage::Format_Indexed8);
    std::vector<unsigned char*> outRows(static_cast<size_t>(h));
    for (int y = 0; y < h; ++y)
        outRows[size_t(y)] = out.image.scanLine(y);
    if (liq_write_remapped_image_rows(result.get(), input.get(), outRows.data()) != LIQ_OK)
        return {};
    const liq_palette* palette = liq_get_palette(result.get());
    QList<QRgb> table;
    for (unsigned i = 0; i < palette->count; ++i) {
        const liq_color& c = palette->entries[i];
        if (c.a < kOpaqueFrom && out.transparent < 0)
            out.transparent = int(i);
        table.append(qRgb(c.r, c.g, c.b));
    }
    out.image.setColorTable(table);
    // Transparent pixels take the transparent index, and only they do.
    for (int y = 0; y < h; ++y) {
        const uchar* in = rgba.constScanLine(y);
        uchar* line = out.image.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const bool clear = in[4 * x + 3] == 0;
            if (clear && out.transparent >= 0)
                line[x] = uchar(out.transparent);
            else if (!clear && line[x] == out.transparent)
                line[x] = nearestOpaque(table, out.transparent, in + 4 * x);
        }
    }
    return out;
}

} // namespace lumenta
