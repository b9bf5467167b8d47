// Text records of a WMF as the renderer draws them with Qt: the font, the
// record's alignment, box and flags, and its bytes in the font's character
// set, painted on a small canvas through a device mapping, as libwmf hands
// them over from any file.
#include "fuzzsupport.h"

#include <QGuiApplication>
#include <QImage>

#include "companions/mfrender/wmftext.h"

#include <cmath>

using namespace lumenta;
using namespace lumenta::mfrender;

namespace {

// libwmf's device coordinates come from 16-bit logical ones through its
// scaling: anything within a few million units, in fractions.
wmfD_Coord coordFrom(fuzz::InputReader& in) {
    wmfD_Coord c;
    c.x = float(in.take<qint32>()) / 256.0f;
    c.y = float(in.take<qint32>()) / 256.0f;
    return c;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::startGuiApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader in(data, size);
    wmfFont font{};
    font.lfHeight = in.take<U16>();
    font.lfWidth = in.take<U16>();
    font.lfEscapement = in.take<S16>();
    font.lfOrientation = in.take<S16>();
    font.lfWeight = in.take<U16>();
    font.lfItalic = in.take<U8>();
    font.lfUnderline = in.take<U8>();
    font.lfStrikeOut = in.take<U8>();
    font.lfCharSet = in.take<U8>();
    font.lfPitchAndFamily = in.take<U8>();
    QByteArray face = in.takeUntil('\0').left(32);
    font.lfFaceName = face.data();

    wmfDC dc{};
    dc.font = &font;
    dc.textcolor = wmfRGB{in.take<U8>(), in.take<U8>(), in.take<U8>()};
    dc.bgcolor = wmfRGB{in.take<U8>(), in.take<U8>(), in.take<U8>()};
    dc.textalign = in.take<U16>();
    dc.bgmode = in.take<U16>();

    DeviceMap map;
    map.originX = in.take<qint16>();
    map.originY = in.take<qint16>();
    map.scaleX = in.take<qint16>() / 1024.0;
    map.scaleY = in.take<qint16>() / 1024.0;

    wmfDrawText_t text{};
    text.dc = &dc;
    text.pt = coordFrom(in);
    text.TL = coordFrom(in);
    text.BR = coordFrom(in);
    text.flags = in.take<U16>();
    text.font_height = in.take<U16>() / 16.0;
    text.font_ratio = 1;
    QByteArray str = in.rest();
    text.str = str.data(); // NUL-terminated by QByteArray

    const QString decoded = decodeWmfText(text.str, font.lfCharSet);
    LUMENTA_FUZZ_CHECK(decoded.size() <= str.size() * 2 + 1);
    const float width = wmfTextWidthPerEm(nullptr, &font, text.str);
    LUMENTA_FUZZ_CHECK(std::isfinite(width) && width >= 0);

    QImage canvas(48, 32, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    const QRect touched = paintWmfText(canvas, text, map);
    LUMENTA_FUZZ_CHECK(touched.isEmpty() || canvas.rect().contains(touched));
    return 0;
}
