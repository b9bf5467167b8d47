// libwmf's gd device does the drawing, with a few of its functions wrapped:
// - the picture frame: libwmf maps the bounding box of everything drawn
//   (text estimates included) onto the picture, so pictures came out
//   stretched or cropped. The first drawing call maps the file's own frame
//   (placeable bounding box, else the window) instead;
// - ellipses, pies and chords: the gd device only outlines ellipses and
//   fills pies and chords wrongly, so they are handed over as polygons
//   (which it fills), and arcs as polylines;
// - polypolygons (letters with holes, shapes with cut-outs): the gd device
//   has no function for them and drew nothing. The rings are joined into
//   one polygon for the fill and outlined one by one;
// - wide dashed lines: libwmf styles the gaps with the background colour
//   instead of leaving them out, so gd drew them solid. Qt draws them;
// - text: drawn with Qt (see wmftext.h).
#include "wmfrender.h"
#include "wmftext.h"

#include "wmfprepare.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdlib>
#include <vector>

#include <libwmf/api.h>
#include <libwmf/defs.h>
#include <libwmf/gd.h>
#include <libwmf/gd/gd.h>
#include <libwmf/ipa.h>
#include <libwmf/macro.h>

namespace lumenta::mfrender {

namespace {

constexpr int kMmIsotropic = 7, kMmAnisotropic = 8;
constexpr int kWinding = 2;

struct Context {
    wmf_gd_t* device = nullptr;
    wmfFunctionReference gd{}; // the gd device's own functions
    bool placeable = false;
    wmfPlaceableMetaHeader header{};
    bool frameSet = false;
    QSize size;
};

Context& context(wmfAPI* api) {
    return *static_cast<Context*>(api->user_data);
}

// Device units per logical unit, signed as libwmf applies them.
double signedScale(const wmfDC* dc, bool horizontal) {
    const double scale = horizontal ? dc->pixel_width : dc->pixel_height;
    if (dc->map_mode == kMmIsotropic || dc->map_mode == kMmAnisotropic)
        return scale;
    const S32 extent = horizontal ? dc->Window.width : dc->Window.height;
    return extent < 0 ? -scale : scale;
}

// On the first drawing call the logical-to-device mapping is known: map the
// file's frame, in device units, onto the picture.
void setFrame(wmfAPI* api, const wmfDC* dc) {
    Context& ctx = context(api);
    if (ctx.frameSet || !dc)
        return;
    ctx.frameSet = true;
    double left, top, right, bottom;
    if (ctx.placeable) {
        left = ctx.header.Left;
        top = ctx.header.Top;
        right = ctx.header.Right;
        bottom = ctx.header.Bottom;
    } else {
        left = dc->Window.Ox;
        top = dc->Window.Oy;
        right = double(dc->Window.Ox) + dc->Window.width;
        bottom = double(dc->Window.Oy) + dc->Window.height;
    }
    const double sx = signedScale(dc, true), sy = signedScale(dc, false);
    const double x1 = (left - dc->Window.Ox) * sx, x2 = (right - dc->Window.Ox) * sx;
    const double y1 = (top - dc->Window.Oy) * sy, y2 = (bottom - dc->Window.Oy) * sy;
    if (!std::isfinite(x1 + x2 + y1 + y2) || std::abs(x2 - x1) < 1e-6 || std::abs(y2 - y1) < 1e-6)
        return; // keep the bounding box libwmf found
    ctx.device->bbox.TL = {float(std::min(x1, x2)), float(std::min(y1, y2))};
    ctx.device->bbox.BR = {float(std::max(x1, x2)), float(std::max(y1, y2))};
}

DeviceMap deviceMap(const Context& ctx) {
    const wmfD_Rect& box = ctx.device->bbox;
    DeviceMap map;
    map.originX = box.TL.x;
    map.originY = box.TL.y;
    map.scaleX = ctx.size.width() / double(box.BR.x - box.TL.x);
    map.scaleY = ctx.size.height() / double(box.BR.y - box.TL.y);
    return map;
}

// The gd picture being drawn. Its address is the first member of the gd
// device's private data (libwmf 0.2 layout); checked against the size asked.
gdImagePtr livePicture(const Context& ctx) {
    if (!ctx.device->gd_data)
        return nullptr;
    gdImagePtr img = *static_cast<gdImagePtr*>(ctx.device->gd_data);
    if (!img || !img->trueColor || !img->_tpixels || img->sx != ctx.size.width() ||
        img->sy != ctx.size.height() || img->tpixels[0] != img->_tpixels)
        return nullptr;
    return img;
}

// Lets Qt paint on the live gd picture. paint() returns the pixels it may
// have touched: Qt leaves 0xFF in their top byte, where gd keeps an
// inverted alpha, so they are set back to opaque for gd.
template <typename Paint> bool paintOnPicture(const Context& ctx, Paint paint) {
    gdImagePtr img = livePicture(ctx);
    if (!img)
        return false;
    QImage canvas(reinterpret_cast<uchar*>(img->_tpixels), img->sx, img->sy, img->sx * 4,
                  QImage::Format_RGB32);
    const QRect touched = paint(canvas).intersected(canvas.rect());
    for (int y = touched.top(); y <= touched.bottom(); ++y) {
        int* row = img->_tpixels + qsizetype(y) * img->sx;
        for (int x = touched.left(); x <= touched.right(); ++x)
            row[x] &= 0x00FFFFFF;
    }
    return true;
}

template <typename Arg, auto Slot> void framed(wmfAPI* api, Arg* arg) {
    setFrame(api, arg->dc);
    if (auto fn = context(api).gd.*Slot)
        fn(api, arg);
}

// Calls the gd polygon function with the pen or the brush of the device
// context left out for that one call.
void gdPolygon(wmfAPI* api, wmfDC* dc, wmfD_Coord* points, int count, bool fill, bool outline) {
    Context& ctx = context(api);
    if (count < 2 || count > 0xFFFF || !ctx.gd.draw_polygon || !dc->pen || !dc->brush)
        return;
    wmfPen* pen = dc->pen;
    wmfBrush* brush = dc->brush;
    wmfPen noPen = *pen;
    wmfBrush noBrush = *brush;
    noPen.lopnStyle = (noPen.lopnStyle & ~PS_STYLE_MASK) | PS_NULL;
    noBrush.lbStyle = BS_NULL;
    if (!outline)
        dc->pen = &noPen;
    if (!fill)
        dc->brush = &noBrush;
    wmfPolyLine_t poly{};
    poly.dc = dc;
    poly.pt = points;
    poly.count = static_cast<unsigned short>(count);
    ctx.gd.draw_polygon(api, &poly);
    dc->pen = pen;
    dc->brush = brush;
}

void drawPolyPolygon(wmfAPI* api, wmfPolyPoly_t* poly) {
    setFrame(api, poly->dc);
    wmfDC* dc = poly->dc;
    if (!dc || !dc->pen || !dc->brush || !poly->pt || !poly->count)
        return;
    const Context& ctx = context(api);
    bool filled = dc->brush->lbStyle == BS_NULL;
    if (dc->brush->lbStyle == BS_SOLID) {
        // A solid fill is painted by Qt, with the device context's fill rule.
        filled = paintOnPicture(ctx, [&](QImage& canvas) {
            const DeviceMap map = deviceMap(ctx);
            QPainterPath path;
            path.setFillRule(dc->polyfillmode == kWinding ? Qt::WindingFill : Qt::OddEvenFill);
            for (unsigned i = 0; i < poly->npoly; ++i) {
                if (!poly->pt[i] || poly->count[i] < 3)
                    continue;
                path.moveTo(map.toPixel(poly->pt[i][0]));
                for (unsigned j = 1; j < poly->count[i]; ++j)
                    path.lineTo(map.toPixel(poly->pt[i][j]));
                path.closeSubpath();
            }
            const wmfRGB& c = dc->brush->lbColor;
            QPainter p(&canvas);
            p.fillPath(path, QColor(c.r, c.g, c.b));
            return path.boundingRect().toAlignedRect().adjusted(-1, -1, 1, 1);
        });
    }
    if (!filled) {
        // Other brushes go to gd as one polygon: each ring is entered from
        // the first point of the first ring and left back to it. Those joins
        // run there and back, so the even-odd fill keeps the holes (gd may
        // leave a one-pixel trace along them).
        std::vector<wmfD_Coord> joined;
        wmfD_Coord anchor{};
        bool haveAnchor = false;
        for (unsigned i = 0; i < poly->npoly; ++i) {
            if (!poly->pt[i] || poly->count[i] == 0)
                continue;
            if (!haveAnchor) {
                anchor = poly->pt[i][0];
                haveAnchor = true;
            }
            joined.insert(joined.end(), poly->pt[i], poly->pt[i] + poly->count[i]);
            joined.push_back(poly->pt[i][0]);
            joined.push_back(anchor);
        }
        gdPolygon(api, dc, joined.data(), int(joined.size()), true, false);
    }
    if (WMF_PEN_STYLE(dc->pen) != PS_NULL) {
        for (unsigned i = 0; i < poly->npoly; ++i) {
            if (poly->pt[i])
                gdPolygon(api, dc, poly->pt[i], poly->count[i], false, true);
        }
    }
}

// Draws a line of a dashed pen wider than a pixel with Qt. False when the
// pen is not such a pen (gd draws those right).
bool paintWideDashed(wmfAPI* api, const wmfDC* dc, const wmfD_Coord* points, int count) {
    if (!dc || !dc->pen || !points || count < 2)
        return false;
    const wmfPen* pen = dc->pen;
    QList<qreal> dashes;
    switch (WMF_PEN_STYLE(pen)) {
    case PS_DASH:
        dashes = {3, 1};
        break;
    case PS_DOT:
        dashes = {1, 1};
        break;
    case PS_DASHDOT:
        dashes = {3, 1, 1, 1};
        break;
    case PS_DASHDOTDOT:
        dashes = {3, 1, 1, 1, 1, 1};
        break;
    default:
        return false;
    }
    const Context& ctx = context(api);
    const DeviceMap map = deviceMap(ctx);
    const double width = WMF_PEN_WIDTH(pen) * std::abs(map.scaleX);
    if (!(width >= 1.5) || width > 1e4)
        return false;
    return paintOnPicture(ctx, [&](QImage& canvas) {
        QPainterPath path(map.toPixel(points[0]));
        for (int i = 1; i < count; ++i)
            path.lineTo(map.toPixel(points[i]));
        QPen qp(QColor(pen->lopnColor.r, pen->lopnColor.g, pen->lopnColor.b), width);
        qp.setDashPattern(dashes);
        // Round caps would close the gaps: dashes end flat unless square.
        const int cap = WMF_PEN_ENDCAP(pen), join = WMF_PEN_JOIN(pen);
        qp.setCapStyle(cap == PS_ENDCAP_SQUARE ? Qt::SquareCap : Qt::FlatCap);
        qp.setJoinStyle(join == PS_JOIN_MITER   ? Qt::MiterJoin
                        : join == PS_JOIN_BEVEL ? Qt::BevelJoin
                                                : Qt::RoundJoin);
        QPainter p(&canvas);
        p.strokePath(path, qp);
        const double margin = width * 2 + 2;
        return path.boundingRect().adjusted(-margin, -margin, margin, margin).toAlignedRect();
    });
}

void drawLine(wmfAPI* api, wmfDrawLine_t* line) {
    setFrame(api, line->dc);
    const wmfD_Coord points[2] = {line->from, line->to};
    if (!paintWideDashed(api, line->dc, points, 2) && context(api).gd.draw_line)
        context(api).gd.draw_line(api, line);
}

void drawPolyline(wmfAPI* api, wmfPolyLine_t* line) {
    setFrame(api, line->dc);
    if (!paintWideDashed(api, line->dc, line->pt, line->count) && context(api).gd.poly_line)
        context(api).gd.poly_line(api, line);
}

enum class ArcShape { Ellipse, Open, Pie, Chord };

// Points along the ellipse of the record, counterclockwise on screen from
// its start to its end radial (the whole ellipse for Ellipse).
std::vector<wmfD_Coord> arcPoints(const Context& ctx, const wmfDrawArc_t& arc, ArcShape shape) {
    const DeviceMap map = deviceMap(ctx);
    const double cx = (arc.TL.x + arc.BR.x) / 2.0, cy = (arc.TL.y + arc.BR.y) / 2.0;
    const double rx = std::abs(arc.BR.x - arc.TL.x) / 2.0, ry = std::abs(arc.BR.y - arc.TL.y) / 2.0;
    if (!(rx > 0) || !(ry > 0) || !std::isfinite(cx + cy + rx + ry))
        return {};
    double from = 0, sweep = 2 * M_PI;
    if (shape != ArcShape::Ellipse) {
        // Relative to the centre, y growing downwards. libwmf reads the
        // record's second radial into "start" and its first into "end";
        // GDI goes counterclockwise from the first to the second.
        from = std::atan2(-arc.end.y / ry, arc.end.x / rx);
        const double to = std::atan2(-arc.start.y / ry, arc.start.x / rx);
        sweep = to - from;
        while (sweep <= 1e-9)
            sweep += 2 * M_PI;
    }
    const double radius = std::max(rx * std::abs(map.scaleX), ry * std::abs(map.scaleY));
    const int steps = std::clamp(int(radius * sweep / 2), 8, 4000);
    std::vector<wmfD_Coord> points;
    points.reserve(steps + 2);
    if (shape == ArcShape::Pie)
        points.push_back({float(cx), float(cy)});
    const int last = shape == ArcShape::Ellipse ? steps - 1 : steps;
    for (int i = 0; i <= last; ++i) {
        const double a = from + sweep * i / steps;
        points.push_back({float(cx + rx * std::cos(a)), float(cy - ry * std::sin(a))});
    }
    return points;
}

// Ellipses, pies and chords as polygons (the gd device outlines an ellipse
// without filling it and fills pies and chords wrongly); open arcs as
// polylines.
template <ArcShape Shape> void drawArcShape(wmfAPI* api, wmfDrawArc_t* arc) {
    setFrame(api, arc->dc);
    Context& ctx = context(api);
    if (!arc->dc)
        return;
    std::vector<wmfD_Coord> points = arcPoints(ctx, *arc, Shape);
    if (points.size() < 2 || points.size() > 0xFFFF)
        return;
    if (Shape != ArcShape::Open) {
        gdPolygon(api, arc->dc, points.data(), int(points.size()), true, true);
    } else {
        wmfPolyLine_t line{};
        line.dc = arc->dc;
        line.pt = points.data();
        line.count = static_cast<unsigned short>(points.size());
        drawPolyline(api, &line);
    }
}

void drawText(wmfAPI* api, wmfDrawText_t* text) {
    setFrame(api, text->dc);
    const Context& ctx = context(api);
    paintOnPicture(ctx,
                   [&](QImage& canvas) { return paintWmfText(canvas, *text, deviceMap(ctx)); });
}

void installHooks(wmfAPI* api, Context& ctx) {
    auto* fr = static_cast<wmfFunctionReference*>(api->function_reference);
    ctx.gd = *fr;
    using FR = wmfFunctionReference;
    // Wrapped only where the device has a function: the player has its own
    // fallbacks for the ones it lacks.
#define LUMENTA_FRAMED(slot, Arg)                                                                  \
    if (fr->slot)                                                                                  \
        fr->slot = framed<Arg, &FR::slot>;
    LUMENTA_FRAMED(flood_interior, wmfFlood_t)
    LUMENTA_FRAMED(flood_exterior, wmfFlood_t)
    LUMENTA_FRAMED(draw_pixel, wmfDrawPixel_t)
    LUMENTA_FRAMED(draw_polygon, wmfPolyLine_t)
    LUMENTA_FRAMED(draw_rectangle, wmfDrawRectangle_t)
    LUMENTA_FRAMED(rop_draw, wmfROP_Draw_t)
    LUMENTA_FRAMED(bmp_draw, wmfBMP_Draw_t)
    LUMENTA_FRAMED(region_frame, wmfPolyRectangle_t)
    LUMENTA_FRAMED(region_paint, wmfPolyRectangle_t)
    LUMENTA_FRAMED(region_clip, wmfPolyRectangle_t)
#undef LUMENTA_FRAMED
    fr->draw_ellipse = drawArcShape<ArcShape::Ellipse>;
    fr->draw_arc = drawArcShape<ArcShape::Open>;
    fr->draw_pie = drawArcShape<ArcShape::Pie>;
    fr->draw_chord = drawArcShape<ArcShape::Chord>;
    fr->draw_polypolygon = drawPolyPolygon;
    fr->draw_line = drawLine;
    fr->poly_line = drawPolyline;
    fr->draw_text = drawText;

    auto* fonts = static_cast<wmfFontData*>(api->font_data);
    fonts->map = wmfMapFont;
    fonts->stringwidth = wmfTextWidthPerEm;
}

QString describe(wmf_error_t err) {
    switch (err) {
    case wmf_E_InsMem:
        return QStringLiteral("libwmf: out of memory");
    case wmf_E_BadFile:
        return QStringLiteral("libwmf: unreadable file");
    case wmf_E_BadFormat:
        return QStringLiteral("libwmf: not a valid WMF");
    case wmf_E_EOF:
        return QStringLiteral("libwmf: the file ends too early");
    case wmf_E_DeviceError:
        return QStringLiteral("libwmf: drawing failed");
    default:
        return QStringLiteral("libwmf: error %1").arg(int(err));
    }
}

// libwmf hands the picture it drew over to the caller but does not export
// gd's destructor. A true-colour picture of the libwmf 0.2 layout is three
// blocks (the picture, its row table, its pixels); any other is left alone.
void freePicture(gdImagePtr img) {
    if (!img || !img->trueColor || !img->tpixels || img->tpixels[0] != img->_tpixels)
        return;
    std::free(img->_tpixels);
    std::free(img->tpixels);
    std::free(img);
}

} // namespace

QImage renderWmf(const QByteArray& bytes, const QSize& size, QString* error) {
    wmfAPI* api = nullptr;
    wmfAPI_Options options{};
    options.function = wmf_gd_function;
    const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL;
    wmf_error_t err = wmf_api_create(&api, flags, &options);
    if (err != wmf_E_None || !api) {
        if (api)
            wmf_api_destroy(api);
        *error = describe(err);
        return {};
    }
    Context ctx;
    ctx.device = WMF_GD_GetData(api);
    ctx.size = size;
    api->user_data = &ctx;
    installHooks(api, ctx);

    QByteArray data = prepareWmfForLibwmf(bytes).data; // also the mutable buffer libwmf wants
    QImage result;
    wmfD_Rect bbox{};
    err = wmf_mem_open(api, reinterpret_cast<unsigned char*>(data.data()), long(data.size()));
    if (err == wmf_E_None)
        err = wmf_scan(api, 0, &bbox);
    if (err == wmf_E_None) {
        ctx.placeable = api->File && api->File->placeable;
        ctx.header = api->PlaceableMetaHeader;
        ctx.device->type = wmf_gd_image;
        ctx.device->width = unsigned(size.width());
        ctx.device->height = unsigned(size.height());
        ctx.device->bbox = bbox;
        if (bbox.BR.x - bbox.TL.x <= 0 || bbox.BR.y - bbox.TL.y <= 0)
            ctx.device->bbox.BR = {bbox.TL.x + 1, bbox.TL.y + 1}; // nothing drawn
        err = wmf_play(api, 0, &bbox);
    }
    auto* img = static_cast<gdImagePtr>(ctx.device->gd_image);
    if (err == wmf_E_None && img && img->sx == size.width() && img->sy == size.height()) {
        const int* pixels = wmf_gd_image_pixels(img);
        if (pixels) {
            result = QImage(reinterpret_cast<const uchar*>(pixels), img->sx, img->sy, img->sx * 4,
                            QImage::Format_RGB32)
                         .copy();
        }
    }
    if (result.isNull())
        *error = err != wmf_E_None ? describe(err) : QStringLiteral("libwmf drew nothing");
    freePicture(img);
    wmf_api_destroy(api);
    return result;
}

} // namespace lumenta::mfrender
