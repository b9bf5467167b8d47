#pragma once
// Text of a WMF, drawn with Qt's fonts instead of libwmf's: libwmf only finds
// the Type 1 fonts of a ghostscript installation and drops every byte above
// 127, so accented letters vanished. Included after Qt, before nothing else.
#include <QFont>
#include <QImage>
#include <QPointF>
#include <QRect>
#include <QString>

#include <libwmf/api.h>
#include <libwmf/ipa.h>

namespace lumenta::mfrender {

// libwmf device coordinates to picture pixels.
struct DeviceMap {
    double originX = 0, originY = 0; // device point at pixel (0, 0)
    double scaleX = 1, scaleY = 1;   // pixels per device unit

    QPointF toPixel(const wmfD_Coord& d) const {
        return QPointF((d.x - originX) * scaleX, (d.y - originY) * scaleY);
    }
};

// The text bytes of a record in the font's character set.
QString decodeWmfText(const char* bytes, int charset);

// The Qt font for a WMF font at the given em height in pixels.
QFont qtFontFor(const wmfFont* font, double emPixels);

// libwmf's string width callback: the width of the text for a 1-unit font.
float wmfTextWidthPerEm(wmfAPI* api, wmfFont* font, char* text);

// libwmf's font mapper callback: nothing to load, Qt finds the fonts.
void wmfMapFont(wmfAPI* api, wmfFont* font);

// Paints one text record on the canvas, the way the record asks (alignment,
// angle, colours, opaque box, clipping rectangle). Returns the pixels it
// may have touched.
QRect paintWmfText(QImage& canvas, const wmfDrawText_t& text, const DeviceMap& map);

} // namespace lumenta::mfrender
