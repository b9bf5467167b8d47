#pragma once
// HEIF (HEIC, AVIF) and JPEG XL pictures, decoded by the helper program
// lumenta-picdecode in a short-lived process of its own: their decoders
// read complex formats, and a fault in them must never take the viewer
// down. The helper hands the pixels over in shared memory
// (picture/sharedpicture.h): a sealed memfd sent with a
// HelperPictureHeader on a unix socket the helper inherits.
#include "picture/pictureloader.h"

#include <QtGlobal>

namespace lumenta {

// What the helper sends with the memfd: the memfd holds width x height
// pixels of 4 bytes, rows bytesPerLine (width * 4) apart, in the QImage
// format given (RGB32 or ARGB32_Premultiplied), taken from an upright
// picture of natural size naturalWidth x naturalHeight. Native byte order
// (same machine).
struct HelperPictureHeader {
    char magic[4] = {'L', 'P', 'I', 'X'};
    quint32 width = 0;
    quint32 height = 0;
    quint32 naturalWidth = 0;
    quint32 naturalHeight = 0;
    quint32 format = 0;
    quint32 bytesPerLine = 0;
};

// The picture a helper handed over: its header (message) checked against
// what was asked (the natural size, or reduced to fit inside box when box
// is not empty), and its memfd mapped (see mapSharedPicture). Null image
// and *why when anything is unexpected. fd stays the caller's.
QImage acceptHelperPicture(const QByteArray& message, int fd, QSize box, QSize* natural,
                           QString* why);

// Decodes a HEIF or JPEG XL file through the helper: the natural size, or
// reduced where `need` asks for it (from a HEIF file's embedded thumbnail
// when one is large enough; a JPEG XL picture is decoded whole, then
// reduced); orientation applied.
// A null Picture and its reason when the helper fails, is cancelled
// (progress), takes longer than timeoutMs or hands over something
// unexpected.
Picture decodeInHelper(const QString& path, const PictureNeed& need, LoadProgress* progress,
                       int timeoutMs = 30000);

// The helper: $LUMENTA_PICDECODE when set, else lumenta-picdecode beside
// the running program or in the build tree. Empty when none is found.
QString pictureDecoderPath();

} // namespace lumenta
