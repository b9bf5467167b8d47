#pragma once
// The decoders of pictures read by parts (picture/tiledpicture.h), one per
// format, and what opening a file for them finds out.
#include "picture/colourspace.h"
#include "picture/tiledpicture.h"

#include <QByteArray>

namespace lumenta {

struct PartSource {
    std::unique_ptr<PartDecoder> decoder; // null when the file cannot be read so
    QSize stored;                         // the stored picture's size
    int orientation = 1;                  // EXIF numbering
    QString error;                        // why there is no decoder
    ColourSpace colours;                  // what the file declares (JPEG)
};

// JPEG through libjpeg-turbo: parts cropped (columns outside them are not
// transformed) with the rows above them skipped (entropy decoding only),
// reduced pictures by DCT scaling. Baseline (sequential) files only: a
// progressive one needs all its coefficients in memory.
PartSource openJpegParts(const QString& path);

// PNG by a decoder of our own on zlib that remembers where it stood in the
// compressed data every few rows, so a part further down the file starts
// from the nearest such point rather than from the top.
PartSource openPngParts(const QString& path);

// TIFF (strips, tiles, pyramids) and WebP through libvips, by its loader
// of that name ("tiffload", "webpload"; "jpegload" and "pngload" are there
// for the benchmark). No other loader of libvips is ever used.
// Through the module lumenta-vipsparts.so, loaded on the first call (an
// error saying so when it cannot be).
PartSource openVipsParts(const QString& path, const char* loader);

// Memory a decoder may use for what it keeps between passes (the PNG
// decoder's resume points).
constexpr qint64 kResumePointBytes = qint64(32) << 20;

} // namespace lumenta
