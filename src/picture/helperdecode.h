#pragma once
// HEIF (HEIC, AVIF) and JPEG XL pictures, decoded by the helper program
// lumenta-picdecode in a short-lived process of its own: their decoders
// read complex formats, and a fault in them must never take the viewer
// down. The helper sends the picture's colours and its pixels raw, after a
// HelperPictureHeader; the viewer converts the colours.
#include "picture/pictureloader.h"

#include <QtGlobal>

namespace lumenta {

// What the helper writes before the pixels: width x height pixels of 4
// bytes, rows packed, in the QImage format given (RGB32 or
// ARGB32_Premultiplied), taken from an upright picture of natural size
// naturalWidth x naturalHeight. Native byte order (same machine). The
// header is followed by colourBytes bytes of ColourSpace::toBytes() (the
// colours the pixels are in), then the pixels.
struct HelperPictureHeader {
    char magic[4] = {'L', 'P', 'I', 'X'};
    quint32 width = 0;
    quint32 height = 0;
    quint32 naturalWidth = 0;
    quint32 naturalHeight = 0;
    quint32 format = 0;
    quint32 colourBytes = 0;
};

// Upper bound of colourBytes.
constexpr quint32 kMaxHelperColourBytes = quint32(kMaxIccBytes) + 64;

// Decodes a HEIF or JPEG XL file through the helper: the natural size, or
// reduced where `need` asks for it (the file's embedded thumbnail or the
// early progressive pass when one is large enough); orientation applied.
// A null Picture and its reason when the helper fails, is cancelled
// (progress), takes longer than timeoutMs or sends something unexpected.
Picture decodeInHelper(const QString& path, const PictureNeed& need, LoadProgress* progress,
                       int timeoutMs = 30000);

// The helper: $LUMENTA_PICDECODE when set, else lumenta-picdecode beside
// the running program or in the build tree. Empty when none is found.
QString pictureDecoderPath();

} // namespace lumenta
