#pragma once
// The colour table a GIF file stores for its first image, so that a
// conversion can keep the file's own indices.
#include <QList>
#include <QRgb>

#include <optional>

class QIODevice;

namespace lumenta {

struct GifPalette {
    QList<QRgb> colours;  // opaque colours, in the file's order
    int transparent = -1; // the index of transparent pixels, -1 when none
};

// The first image's own colour table, or the global one when it has none;
// the transparent index from the graphic control block before it. Reads
// only up to that image's descriptor. std::nullopt when the device holds no
// GIF or no table.
std::optional<GifPalette> readGifPalette(QIODevice& device);

} // namespace lumenta
