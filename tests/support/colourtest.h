#pragma once
// Colour-managed pictures for the tests: ICC profiles (Debian's, made with
// lcms2, built from tables), files carrying them, reference pixels made by
// lcms2's own tool (tificc) and the CIEDE2000 difference between pictures.
#include <QByteArray>
#include <QImage>
#include <QString>
#include <QTemporaryDir>

namespace colourtest {

// A profile of colord-data (/usr/share/color/icc/colord/NAME).
QByteArray colordProfile(const QString& name);

// RGB matrix-and-curves profiles made with lcms2 from chromaticities
// (x, y of white, red, green, blue) and a transfer: "srgb", "bt709",
// "pq" is not offered; gamma > 0 a plain power law.
QByteArray rgbProfile(const double white[2], const double red[2], const double green[2],
                      const double blue[2], const char* transfer, double gamma = 0);
QByteArray displayP3Profile();
// An RGB profile whose colours are given by tables only (lcms2 pipelines
// with a colour lookup table: A2B0, A2B1, B2A0, B2A1), with perceptual
// tables that differ from the colorimetric ones; `points` a side.
QByteArray tableProfile(int points = 17);
// A CMYK profile built from tables (a plain ink model).
QByteArray cmykProfile();
// A monitor's profile: narrower than sRGB, greenish white, gamma 1.8.
QByteArray monitorProfile();

// A smooth picture of every hue, saturation and lightness (no sharp
// edges, so lossy coders keep it close), with a grey ramp at the bottom.
QImage pattern(QSize size = QSize(96, 64));

// Files: the JPEG with the profile in APP2 markers; a PNG chunk inserted
// after IHDR; the iCCP chunk of a profile.
QByteArray jpegWithProfile(const QByteArray& jpeg, const QByteArray& icc);
QByteArray pngWithChunk(const QByteArray& png, const QByteArray& type, const QByteArray& data);
QByteArray pngChunk(const QByteArray& type, const QByteArray& data);
QByteArray iccpChunk(const QByteArray& icc);
QByteArray bigEndian32(quint32 v);

// Runs a program to its end (a minute at most); whether it succeeded.
bool run(const QString& program, const QStringList& arguments);

// The picture's pixels in `source` (a profile; empty: sRGB) converted by tificc to
// `target` (a profile; empty: sRGB), relative colorimetric with black-point
// compensation or perceptual. Null when tificc fails.
QImage reference(const QTemporaryDir& dir, const QImage& picture, const QByteArray& source,
                 const QByteArray& target = {}, bool perceptual = false);

struct DeltaE {
    double mean = 0;
    double max = 0;
};
// CIEDE2000 between two pictures of the same size whose pixels are in
// `space` (a profile; empty: sRGB). A huge difference when the sizes differ.
DeltaE deltaE2000(const QImage& a, const QImage& b, const QByteArray& space = {});

} // namespace colourtest
