#pragma once
// EXIF orientation: the tag read from a JPEG's APP1 segment, and the eight
// ways a stored picture is turned or mirrored to be shown upright.
//
// Values as EXIF numbers them: 1 upright, 2 mirrored left-right, 3 turned
// 180 degrees, 4 mirrored top-bottom, 5 mirrored along the main diagonal,
// 6 to be turned 90 degrees clockwise, 7 mirrored along the other diagonal,
// 8 to be turned 90 degrees counter-clockwise.
#include <QImage>
#include <QRect>
#include <QSize>
#include <QtGlobal>

class QIODevice;

namespace lumenta {

// The orientation tag of an APP1 payload ("Exif\0\0" and a TIFF header);
// 1 when there is none or it is unusable. Every read is bounds-checked.
int exifOrientation(const uchar* data, qsizetype size);

// The EXIF orientation stored in a PNG (eXIf chunk) or WebP (EXIF chunk)
// file; 1 for other files or none. Reads from the device's start, leaves
// it anywhere.
int containerExifOrientation(QIODevice* device);

inline bool swapsAxes(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

// The size of the upright picture.
QSize orientedSize(QSize stored, int orientation);

// The part of the stored picture that becomes the given part of the upright
// picture.
QRect storedRect(const QRect& upright, QSize stored, int orientation);

// The part of the upright picture that a part of the stored one becomes.
QRect uprightRect(const QRect& stored, QSize storedSize, int orientation);

// The picture turned or mirrored upright (as a 32-bit picture unless the
// orientation is 1); null when memory runs out.
QImage orientedImage(const QImage& stored, int orientation);

// Places rows of a stored picture into the upright picture. src holds
// `rows` rows of `stored.width()` pixels each (srcStride pixels apart),
// which are rows y0.. of a stored picture of size `stored`; dst is the
// upright picture (dstStride pixels a row). Pixel is quint32 or quint8.
template <typename Pixel>
void placeStoredRows(const Pixel* src, qsizetype srcStride, int y0, int rows, QSize stored,
                     int orientation, Pixel* dst, qsizetype dstStride);

extern template void placeStoredRows<quint32>(const quint32*, qsizetype, int, int, QSize, int,
                                              quint32*, qsizetype);
extern template void placeStoredRows<quint8>(const quint8*, qsizetype, int, int, QSize, int,
                                             quint8*, qsizetype);

} // namespace lumenta
