#pragma once
// JPEG decoding with libjpeg-turbo, straight into the picture's buffer in
// the format it is drawn in: at natural size or reduced by DCT scaling,
// whole or only a part (rows and columns outside it are skipped), turned
// upright by the EXIF orientation on the way, rows announced as they are
// ready when they come top to bottom.
#include "picture/pictureloader.h"

namespace lumenta {

// Whether the first bytes are those of a JPEG stream (SOI and a marker).
bool looksLikeJpeg(const QByteArray& head);

struct JpegOutcome {
    Picture picture;         // kind Raster on success
    bool unreadable = false; // libjpeg could not start: let another reader try
    bool byParts = false;    // too large to be decoded whole: nothing was decoded
};

JpegOutcome decodeJpeg(const QString& path, const PictureNeed& need, LoadProgress* progress,
                       const LoadLimits& limits = {});

} // namespace lumenta
