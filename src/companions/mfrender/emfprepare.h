#pragma once
// Work-arounds for the EMF to SVG converter, applied to the EMF records
// before conversion and to the pixels after rendering:
// - it ignores the width of pens made by EMR_CREATEPEN but honours the
//   width of EMR_EXTCREATEPEN, so wide basic pens are rewritten as
//   extended ones; dashes of user-styled pens, which it draws solid,
//   become ordinary dashes;
// - it closes every stroked path, open or not (mendConvertedSvg);
// - it fills hatched brushes solid, so each hatched brush becomes a solid
//   one in a marker colour found nowhere in the file; the rendered marker
//   pixels are then replaced by the hatch pattern (compositeHatches).
// Pure functions on bytes and images, shared by the renderer helper and the
// tests.
#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRgb>

namespace lumenta {

struct EmfHatch {
    QRgb marker = 0;     // solid colour standing in for the brush in the SVG
    int style = 0;       // HS_HORIZONTAL (0) .. HS_DIAGCROSS (5)
    QRgb color = 0;      // colour of the hatch lines
    bool opaque = false; // background mode OPAQUE when the brush was made
    QRgb background = 0; // background colour then
};

struct PreparedEmf {
    QByteArray data;            // the records to convert
    QList<EmfHatch> hatches;    // one entry per distinct hatched brush
    int pensWidened = 0;        // EMR_CREATEPEN records rewritten
    int dashesApproximated = 0; // user-styled or alternate pens rewritten
};

// Rewrites the records as described above. Records after a malformed one are
// copied unchanged; a file that is not an EMF comes back untouched.
PreparedEmf prepareEmfForSvg(const QByteArray& emf);

// The converter's SVG with the closing it adds to open figures removed.
QByteArray mendConvertedSvg(const QByteArray& svg);

// True when (x, y), in device pixels, lies on a line of the hatch style.
bool hatchCovers(int style, int x, int y);

// Same SVG with the fills in a hatch's marker colour removed, and the
// outlines in a marker colour (the converter strokes brush-coloured edges)
// dropped as well. With keepFills, only the outlines are dropped.
QByteArray svgWithoutHatchMarkers(const QByteArray& svg, const QList<EmfHatch>& hatches,
                                  bool keepFills);

// Turns the picture rendered with the marker fills into the hatched one:
// withMarkers and withoutFills are the same SVG rendered with and without
// the marker fills (same size, RGB32). The coverage of each marker pixel,
// antialiased edges included, is found from the difference of the two.
QImage compositeHatches(const QImage& withMarkers, const QImage& withoutFills,
                        const QList<EmfHatch>& hatches);

} // namespace lumenta
