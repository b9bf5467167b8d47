#pragma once
// JPEG files as cameras write them: an EXIF block whose first directory
// holds the orientation and whose second holds a small JPEG thumbnail.
#include <QByteArray>
#include <QImage>

namespace testutil {

// The picture as a JPEG file's bytes.
QByteArray jpegBytes(const QImage& image, int quality = 90);

// jpeg with an APP1 EXIF block right after its start marker: a TIFF block
// in either byte order, IFD0 with the orientation (1 to 8), IFD1 with the
// thumbnail's bytes (JPEGInterchangeFormat and its length).
QByteArray withExifThumbnail(const QByteArray& jpeg, const QByteArray& thumbnail,
                             int orientation = 1, bool bigEndian = false);

} // namespace testutil
