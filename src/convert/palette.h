#pragma once
// Pictures reduced to palettes of at most 256 colours, as GIF files and
// 8-bit bitmaps store them.
#include <QImage>

#include <optional>

namespace lumenta {

// Below this opacity a pixel counts as transparent where only full
// transparency or none can be stored.
constexpr int kOpaqueFrom = 128;

// A picture as palette indices.
struct IndexedPicture {
    QImage image;         // Format_Indexed8; every colour of its table is opaque
    int transparent = -1; // the one index of transparent pixels, -1 when none
};

// The picture with every pixel opaque: partly transparent pixels laid on
// white (a bitmap or a JPEG file has no transparency).
QImage onWhite(const QImage& image);

// The picture with each pixel transparent (below kOpaqueFrom) or opaque
// (laid on white, for partly transparent ones): Format_ARGB32, or the
// picture itself when it has no transparency.
QImage binaryAlpha(const QImage& image);

// The picture's own palette when it has at most 256 colours, transparency
// counting as one: a picture with a colour table keeps its table and
// indices (its transparent entries merged into one), any other gets its
// colours in order of first appearance. std::nullopt beyond 256 colours.
std::optional<IndexedPicture> exactPalette(const QImage& image);

// The picture as indices into `table` (opaque colours; `transparent`, the
// index of transparent pixels or -1): each pixel takes the first entry of
// its colour. std::nullopt when a pixel's colour is not in the table.
std::optional<IndexedPicture> indexedWith(const QImage& image, const QList<QRgb>& table,
                                          int transparent);

// The picture with at most 256 colours: its own palette when it has few
// enough, otherwise a palette chosen by libimagequant (255 colours and the
// transparent index when any pixel is transparent) onto which the picture
// is dithered. Beyond samplePixels the palette is chosen from an evenly
// spread sample of about that many of the picture's own pixels: as good a
// palette for a photo, chosen many times faster.
constexpr qint64 kPaletteSamplePixels = 500'000;
IndexedPicture reducedPalette(const QImage& image, qint64 samplePixels = kPaletteSamplePixels);

} // namespace lumenta
