#pragma once
// Writing converted pictures: BMP and JPEG through Qt's writers, GIF
// through giflib. Files are written atomically: a failure leaves no partial
// file, and an existing file keeps its content.
#include "convert/palette.h"

#include <QImage>
#include <QString>

class QIODevice;

namespace lumenta {

enum class ConvertTarget { Bmp, Gif, Jpeg };

// Writes `image` to `path` as `target`. BMP: a picture of 256 colours or
// fewer as an 8-bit bitmap with its own palette, others in 24 bits,
// transparency on white. JPEG: quality from the compression setting
// (jpegQualityFor), optimised Huffman tables, transparency on white. GIF:
// GIF89a with the palette of reducedPalette(), transparency as its index.
// The picture's text (comments, keys) is never written. On failure returns
// false and says why in *error (in English, for logs).
bool writeConverted(const QImage& image, const QString& path, ConvertTarget target, int compression,
                    QString* error = nullptr);

// Writes `picture` as a GIF89a file into `device`: a global colour map
// padded to a power of two, one image, and a graphic control extension
// naming the transparent index when there is one.
bool writeGif(const IndexedPicture& picture, QIODevice& device, QString* error = nullptr);

} // namespace lumenta
