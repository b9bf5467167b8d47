#pragma once
// Converting pixels between two colour spaces with lcms2: from the colours
// a picture was stored in to those of the display (or to sRGB for what is
// written to files and the shared thumbnail cache).
//
// Rendering: relative colorimetric with black-point compensation, or
// perceptual when the source profile has a perceptual table. Pictures with
// an HDR transfer (PQ, HLG) are tone-mapped into the display's range. A
// source profile the engine cannot use counts as sRGB; so does a target.
// When the two spaces give the same pixels (an sRGB-tagged picture on an
// sRGB display), nothing is converted at all.
//
// Transforms are made once per pair of colour spaces and kept; apply()
// works on a strip of rows, from any thread, several at once, so decoders
// convert each strip where they make it.
#include "picture/colourspace.h"

#include <QImage>

#include <memory>

namespace lumenta {

// How the pixels of a strip are laid out. Every layout keeps its size
// through the conversion (4 or 8 bytes a pixel), so strips convert in
// place; the output is RGB32 (alpha kept) or RGBA64 alike.
enum class ColourPixels {
    Rgb32,               // QImage::Format_RGB32
    Argb32,              // QImage::Format_ARGB32
    Argb32Premultiplied, // QImage::Format_ARGB32_Premultiplied
    Rgba64,              // QImage::Format_RGBX64 and Format_RGBA64
    Rgba64Premultiplied, // QImage::Format_RGBA64_Premultiplied
    GreyInRgb32,         // RGB32 whose red, green and blue are one grey value
    Cmyk,                // JPEG CMYK, 0 for no ink, to RGB32
    InvertedCmyk,        // JPEG CMYK as Adobe writes it (255 for no ink), to RGB32
};

struct MatrixShaper; // picture/colourkernel.h

class ColourTransform {
public:
    // The conversion from source to target for such pixels, shared and
    // kept per pair. Null when nothing is to be done: the same colours to
    // within a level. For the CMYK layouts, null means the source is no
    // usable CMYK profile (the caller converts as without one).
    static std::shared_ptr<const ColourTransform>
    find(const ColourSpace& source, const ColourSpace& target, ColourPixels pixels);

    ColourTransform(const ColourTransform&) = delete;
    ColourTransform& operator=(const ColourTransform&) = delete;
    ~ColourTransform();

    // Converts `rows` rows of `width` pixels, `stride` bytes apart, in place.
    void apply(uchar* first, int width, int rows, qsizetype stride) const;
    // Converts from `in` into `out` (same layout and size).
    void apply(const uchar* in, qsizetype inStride, uchar* out, qsizetype outStride, int width,
               int rows) const;

    ColourPixels pixels() const { return m_pixels; }
    // Whether the fast matrix-and-curves path does the work (both profiles
    // are made of a matrix and curves, and it agrees with lcms2 to within
    // a level on a grid of colours).
    bool isFastPath() const { return m_fast != nullptr; }

    struct Private;

private:
    ColourTransform() = default;
    void* m_lcms = nullptr; // cmsHTRANSFORM
    std::unique_ptr<MatrixShaper> m_fast;
    ColourPixels m_pixels = ColourPixels::Rgb32;
};

// `image` with its pixels converted from `source` to `target`, in strips on
// several threads when it is large. Pictures in other formats are first
// made RGB32, ARGB32 or RGBA64 (grey ones too: the result has colour);
// palettes have their colour table converted. Returns image itself when
// nothing is to be done (pass it moved: a shared picture is copied before
// it is converted). A converted result carries no QColorSpace.
QImage convertColours(QImage image, const ColourSpace& source, const ColourSpace& target);

// The same without writing to image's own pixels (read-only ones, shared
// memory): converted into a buffer of its own; image itself when nothing
// is to be done.
QImage convertedCopy(const QImage& image, const ColourSpace& source, const ColourSpace& target);

// convertColours() from `from` to sRGB, for what leaves the program
// (files, the clipboard, printing).
QImage toSrgb(const QImage& image, const ColourSpace& from);

// Runs work(firstRow, rows) over `rows` rows in strips, on the calling
// thread and, for many rows, on further threads at once; returns when all
// are done.
void forStrips(int rows, qint64 pixelsPerRow, const std::function<void(int, int)>& work);

} // namespace lumenta
