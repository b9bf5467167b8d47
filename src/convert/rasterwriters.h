#pragma once
// BMP and JPEG files written straight from a picture's rows, in pieces
// handed to a writer as they are made (so that a large file goes to disk
// while it is encoded, without a copy of it in memory).
#include "system/fileops.h"

#include <QImage>
#include <QString>

namespace lumenta {

// An uncompressed bottom-up BMP (BITMAPINFOHEADER) of `image`, which must be
// opaque: Format_Indexed8 as 8 bits per pixel with its colour table, any
// other format as 24 bits. The resolution is the picture's. False when the
// writer refused a piece or the file would pass 4 GB (*error says why).
bool writeBmp(const QImage& image, const ByteWriter& write, QString* error = nullptr);

// A baseline JPEG of `image` (opaque) at `quality` (0-100) with optimised
// Huffman tables, 4:2:0 colour; a picture of grey levels (Grayscale8, or
// with a colour table of greys only) as a one-channel JPEG. The resolution and
// the picture's colour profile are written with it.
bool writeJpeg(const QImage& image, int quality, const ByteWriter& write, QString* error = nullptr);

} // namespace lumenta
