#pragma once
// Which files are pictures: the extensions every window treats as pictures,
// and the formats told from a file's first bytes that are decoded out of
// process (HEIF and AVIF, JPEG XL).
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace lumenta {

// The picture extensions, upper case, without dot: the old formats (WMF,
// BMP, GIF, JPG, ICO, CUR, EMF, RLE, DIB, JPE, JPEG, JIF) and PNG, WEBP,
// TIF, TIFF, TGA, SVG, SVGZ, HEIC, HEIF, AVIF, JXL.
const QStringList& pictureExtensions();

// True for those extensions (given in upper case, compared exactly).
bool isPictureExtension(const QString& upperExt);

enum class HelperFormat { None, Heif, Jxl };

// HEIF (HEIC, AVIF and the other HEIF brands) or JPEG XL (bare codestream
// or container), from the first bytes of a file (64 are enough).
HelperFormat detectHelperFormat(const QByteArray& head);

// Whether a HEIF file declares a rotation or mirroring of its own ('irot'
// or 'imir' item properties). The decoder applies those, and the EXIF
// orientation of such a file must then be left alone. Reads the boxes
// with every size checked; false for anything malformed.
bool heifDeclaresTransforms(const QByteArray& file);

} // namespace lumenta
