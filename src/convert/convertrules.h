#pragma once
// What the conversion window decides without a window: the proposed
// destination names, the limits of the compression setting and the JPEG
// quality it stands for.
#include <QString>

namespace lumenta {

// The largest side a converted picture may have (GIF stores sides on 16 bits).
constexpr int kMaxConvertSide = 65535;

// The compression setting of JPEG output: 20 (least, 65 by default) to 130
// (most). Below 20 it is raised to 20.
constexpr int kMinCompression = 20;
constexpr int kMaxCompression = 130;
constexpr int kDefaultCompression = 65;

// `source` with the extension of its file name, whatever its length,
// replaced by `extension` (given with its dot): "photo.jpeg" and ".bmp" give
// "photo.bmp". Dots in folder names do not count; a name without extension,
// or one that starts with its only dot (".gif"), gets `extension` added.
QString destinationFor(const QString& source, const QString& extension);

// The setting kept within kMinCompression..kMaxCompression.
int clampCompression(int setting);

// The JPEG quality (0-100) written for a compression setting; a higher
// setting gives a lower quality and a smaller file:
//   setting   0 .. 65  ->  quality 100 - 15 * setting / 65  (20: 95, 65: 85)
//   setting  65 .. 130 ->  quality 150 - setting            (100: 50, 130: 20)
// Settings outside 0..130 count as their nearest end.
int jpegQualityFor(int setting);

} // namespace lumenta
