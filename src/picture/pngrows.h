#pragma once
// The rows of a PNG file for the decoder that reads it by parts: the
// header and the chunks that matter to the pixels, the row filters, and
// the pixels of an unfiltered row. Gamma and colour profiles are left
// alone, as Qt's reader leaves them.
#include <QIODevice>
#include <QRgb>

#include <vector>

namespace lumenta {

struct PngHeader {
    quint32 width = 0, height = 0;
    int depth = 0;  // bits per sample
    int colour = 0; // 0 grey, 2 RGB, 3 palette, 4 grey and alpha, 6 RGBA
    bool interlaced = false;
    int channels = 0;
    int filterBytes = 1;    // bytes of one pixel for the filters (at least 1)
    qsizetype rowBytes = 0; // of a whole row, without its filter byte
    QRgb palette[256]{};    // premultiplied when the picture has alpha
    int paletteSize = 0;
    bool hasKey = false; // a grey or RGB value that is transparent (tRNS)
    quint16 key[3]{};
    bool alpha = false;   // pixels may be transparent
    qint64 firstIdat = 0; // file position of the first IDAT chunk
    qint64 idatBytes = 0; // bytes from there to the end of the file
};

// Reads the chunks up to the first IDAT. False, with *error, for anything
// but a well-formed PNG header.
bool readPngHeader(QIODevice& file, PngHeader* header, QString* error);

// Undoes the filter of a row in place (`above` is the unfiltered row
// before, zeros for the first). False for an unknown filter.
bool unfilterRow(int filter, uchar* row, const uchar* above, qsizetype bytes, int filterBytes);

// Pixels [x0, x0 + count) of an unfiltered row (a whole row, or a row of
// an interlaced pass) as RGB32, or premultiplied ARGB32 when the picture
// has alpha. The one point where the decoder's rows become pixels.
void pngPixels(const PngHeader& h, const uchar* row, int x0, int count, quint32* out);

// The passes of an interlaced picture that hold pixels.
struct Adam7Pass {
    int x0, y0, dx, dy; // where its pixels are in the picture
    int columns, rows;
    qsizetype rowBytes;
};
std::vector<Adam7Pass> adam7Passes(const PngHeader& h);

} // namespace lumenta
