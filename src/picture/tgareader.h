#pragma once
// TGA (Truevision) pictures, read here rather than by Qt's reader: colour-
// mapped (8- or 16-bit indexes into 15-, 16-, 24- or 32-bit entries), grey
// (8 bits, 16 with alpha) and true colour (15, 16, 24, 32 bits), plain or
// run-length encoded, stored from any corner, with or without the 2.0
// footer. Alpha comes from the attribute bits of the header (and the
// extension area's attributes type when there is one).
//
// TGA has no signature: a file is taken for one when its header is
// consistent (see readTgaHeader) and something else says so too (see
// detectTga).
#include <QImage>
#include <QString>

#include <optional>

class QIODevice;

namespace lumenta {

class LoadProgress;

struct TgaHeader {
    int idLength = 0;
    int colourMapType = 0; // 0 none, 1 present
    int imageType = 0;     // 1, 2, 3 plain; 9, 10, 11 run-length encoded
    int mapFirst = 0;      // index of the first colour map entry
    int mapLength = 0;     // number of entries
    int mapEntryBits = 0;  // 15, 16, 24 or 32
    QSize size;
    int pixelBits = 0;
    int attributeBits = 0; // alpha bits per pixel (descriptor bits 0-3)
    bool rightToLeft = false;
    bool topToBottom = false;
    bool footer = false;     // the file ends with the 2.0 footer
    int attributesType = -1; // from the 2.0 extension area; -1 without one

    bool rle() const { return imageType >= 9; }
    bool colourMapped() const { return imageType == 1 || imageType == 9; }
    bool grey() const { return imageType == 3 || imageType == 11; }
    // Whether the pixels (or colour map entries) carry alpha.
    bool alpha() const;
    // Where the pixels start.
    qint64 dataOffset() const;
};

// The header of the TGA file on device, when its fields agree with each
// other and with the file's length (enough bytes for the pixels of a plain
// file, for the smallest run-length encoding of the others). Reads the
// first 18 bytes and the end of the file; the position is left undefined.
std::optional<TgaHeader> readTgaHeader(QIODevice* device);

// The header of the file on device when it is to be read as TGA: its
// header is consistent, and it has the 2.0 footer, or its name ends in
// ".tga", or no reader of Qt's claims its content but the ICO and TGA ones
// (a TGA's first bytes look like a cursor's to the ICO reader).
std::optional<TgaHeader> detectTga(QIODevice* device, const QString& fileName);

// The picture: RGB32, or ARGB32 (premultiplied when the extension area
// says so) when it has alpha. Null, and *error set, when the file is not
// a TGA this reader knows, is cut short, holds a run that overruns the
// picture, exceeds the allocation limit of every picture, or when progress
// cancels or refuses the memory.
QImage readTga(QIODevice* device, QString* error, LoadProgress* progress = nullptr);

} // namespace lumenta
