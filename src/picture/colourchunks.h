#pragma once
// The colours a PNG, WebP or TIFF file declares, read from its chunks and
// tags by plain functions over the file's bytes (Qt's readers hand over
// only the profiles Qt itself can use, and no PNG chromaticities).
//   PNG   cICP, then iCCP, then sRGB, then gAMA with cHRM
//   WebP  ICCP
//   TIFF  the ICC profile tag of the first picture
#include "picture/colourspace.h"

#include <QByteArray>
#include <QList>

#include <functional>

namespace lumenta {

// Reads up to `size` bytes of the file from `offset` (fewer at its end, none
// past it).
using ReadAt = std::function<QByteArray(qint64 offset, qint64 size)>;

// The colours the file declares; sRGB for other formats, for files that
// declare nothing and for declarations that cannot be read (a damaged
// chunk, a profile that does not inflate).
ColourSpace declaredColourSpace(const ReadAt& read);

// The same over bytes held in memory (the whole file, or its start).
ColourSpace declaredColourSpace(const QByteArray& file);

// The ICC profile spread over a JPEG file's APP2 segments (their payloads,
// "ICC_PROFILE\0", sequence number, count, data), in any order; empty when
// a piece is missing, repeated or out of range, or there is none.
QByteArray jpegIccProfile(const QList<QByteArray>& app2Payloads);

// Whether a JPEG's EXIF block (an APP1 payload, "Exif\0\0" and a TIFF
// header) says the photo is in Adobe RGB the way cameras say it without a
// profile (DCF): colour space "uncalibrated" and interoperability index
// "R03". Every read is bounds-checked.
bool exifSaysAdobeRgb(QByteArrayView app1);

// Adobe RGB (1998) as numbers.
ColourSpace adobeRgbColours();

// A zlib stream inflated, at most maxBytes of it; empty when the stream is
// damaged or inflates to more.
QByteArray inflateZlib(QByteArrayView data, qsizetype maxBytes);

} // namespace lumenta
