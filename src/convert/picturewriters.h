#pragma once
// Encoding converted pictures: BMP and JPEG by the writers of
// rasterwriters.h, GIF through giflib. The bytes go to a ByteWriter as they
// are made; the caller gives the one of writeFileSafely (system/fileops.h),
// so a failure never leaves a partial file.
#include "convert/palette.h"
#include "system/fileops.h"

#include <QImage>
#include <QString>

namespace lumenta {

enum class ConvertTarget { Bmp, Gif, Jpeg };

// The file content of `image` as `target`. BMP: a picture of 256 colours or
// fewer as an 8-bit bitmap with its own palette, others in 24 bits,
// transparency on white. JPEG: quality from the compression setting
// (jpegQualityFor), optimised Huffman tables, transparency on white. GIF:
// GIF89a with the palette of reducedPalette(), transparency as its index.
// The picture's text (comments, keys) is never written. `sourceTable`, the
// colours a GIF source stored its indices with: a BMP keeps that table and
// those indices when every pixel is one of its colours. On failure
// (including a piece the writer refused) returns false and says why in
// *error (in English, for logs).
bool encodeConverted(const QImage& image, ConvertTarget target, int compression,
                     const ByteWriter& write, QString* error = nullptr,
                     const QList<QRgb>& sourceTable = {});

// Writes `picture` as a GIF89a file: a global colour map padded to a power
// of two, one image, and a graphic control extension naming the
// transparent index when there is one.
bool writeGif(const IndexedPicture& picture, const ByteWriter& write, QString* error = nullptr);

} // namespace lumenta
