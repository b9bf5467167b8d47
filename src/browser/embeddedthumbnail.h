#pragma once
// The thumbnail a camera stores inside a JPEG photo (EXIF IFD1: an old-style
// JPEG at JPEGInterchangeFormat, JPEGInterchangeFormatLength bytes), read
// without decoding the photo: only the segments before the picture data are
// read. Every offset in the file is checked.
#include <QImage>
#include <QSize>
#include <QString>

#include <optional>

namespace lumenta {

struct EmbeddedThumbnail {
    QImage image;  // upright, the photo's proportions
    QSize natural; // upright size of the photo itself
};

// The embedded thumbnail of a JPEG file, turned by the photo's EXIF
// orientation; none when the file has none, when its long side is shorter
// than minSide, or when it does not show the photo as it is now: proportions
// that differ from the photo's (it was cropped or resized since) beyond the
// black bands a camera puts around a thumbnail of another shape, which are
// cut away. Blocks on file input: call it off the GUI thread.
std::optional<EmbeddedThumbnail> jpegEmbeddedThumbnail(const QString& path, int minSide);

// The same from the bytes of the file's beginning (up to the picture data).
std::optional<EmbeddedThumbnail> jpegEmbeddedThumbnail(const QByteArray& head, int minSide);

} // namespace lumenta
