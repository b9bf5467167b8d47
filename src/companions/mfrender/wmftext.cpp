#include "wmftext.h"

#include "app/textcodec.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStringDecoder>
#include <QTransform>

#include <cmath>
#include <cstring>

namespace lumenta::mfrender {

namespace {

// GDI values (not all of them are in libwmf's public headers).
constexpr int kTaBottom = 8, kTaBaselineBits = 24;
constexpr int kEtoOpaque = 0x0002, kEtoClipped = 0x0004;
constexpr int kBkOpaque = 2;
constexpr double kReferenceEm = 100.0;
// Text taller than this many pixels is surely a broken record.
constexpr double kMaxEmPixels = 20000.0;

const char* decoderName(int charset) {
    switch (charset) {
    case 238:
        return "windows-1250";
    case 204:
        return "windows-1251";
    case 161:
        return "windows-1253";
    case 162:
        return "windows-1254";
    case 177:
        return "windows-1255";
    case 178:
        return "windows-1256";
    case 186:
        return "windows-1257";
    case 163:
        return "windows-1258";
    case 222:
        return "windows-874";
    case 128:
        return "Shift_JIS";
    case 129:
        return "windows-949";
    case 134:
        return "GBK";
    case 136:
        return "Big5";
    case 255:
        return "IBM437";
    default:
        return nullptr;
    }
}

QFont::StyleHint hintFor(int pitchAndFamily) {
    switch ((pitchAndFamily >> 4) & 0x0F) {
    case 1:
        return QFont::Serif;
    case 2:
        return QFont::SansSerif;
    case 3:
        return QFont::TypeWriter;
    case 4:
        return QFont::Cursive;
    case 5:
        return QFont::Decorative;
    default:
        return QFont::AnyStyle;
    }
}

QColor toColor(const wmfRGB& c) {
    return QColor(c.r, c.g, c.b);
}

} // namespace

QString decodeWmfText(const char* bytes, int charset) {
    const QByteArray raw(bytes ? bytes : "");
    if (const char* name = decoderName(charset)) {
        QStringDecoder decoder(name);
        if (decoder.isValid()) {
            QString text = decoder.decode(raw);
            if (!decoder.hasError())
                return text;
        }
    }
    return decodeWindows1252(raw);
}

QFont qtFontFor(const wmfFont* font, double emPixels) {
    QString family = font && font->lfFaceName ? decodeWindows1252(font->lfFaceName) : QString();
    QFont qf(family.isEmpty() ? QStringLiteral("Sans Serif") : family);
    if (font) {
        qf.setStyleHint(hintFor(font->lfPitchAndFamily));
        if (font->lfWeight > 0)
            qf.setWeight(QFont::Weight(qBound(100, int(font->lfWeight), 900)));
        qf.setItalic(font->lfItalic != 0);
        qf.setUnderline(font->lfUnderline != 0);
        qf.setStrikeOut(font->lfStrikeOut != 0);
    }
    qf.setPixelSize(qMax(1, int(std::lround(qMin(emPixels, kMaxEmPixels)))));
    return qf;
}

float wmfTextWidthPerEm(wmfAPI*, wmfFont* font, char* text) {
    if (!font || !text)
        return 0;
    const QFontMetricsF fm(qtFontFor(font, kReferenceEm));
    return float(fm.horizontalAdvance(decodeWmfText(text, font->lfCharSet)) / kReferenceEm);
}

void wmfMapFont(wmfAPI*, wmfFont* font) {
    if (font)
        font->user_data = nullptr;
}

QRect paintWmfText(QImage& canvas, const wmfDrawText_t& text, const DeviceMap& map) {
    const wmfFont* font = text.dc ? text.dc->font : nullptr;
    if (!font || !text.str || !*text.str)
        return {};
    const double emPixels = text.font_height * std::abs(map.scaleY);
    if (!(emPixels > 0.3) || emPixels > kMaxEmPixels)
        return {};
    const QString str = decodeWmfText(text.str, font->lfCharSet);
    const QFont qf = qtFontFor(font, emPixels);
    const QFontMetricsF fm(qf);
    const double theta = -double(font->lfEscapement) / 10.0 * M_PI / 180.0;
    const int align = text.dc->textalign;

    // libwmf moved the reference point down by the whole font height for
    // top-aligned text (and not at all for bottom-aligned, a slip in its
    // flag test). Move it to where the font's own ascent or descent puts
    // the baseline.
    const double assumedDown = (align & kTaBaselineBits) ? 0.0 : emPixels;
    double actualDown = fm.ascent();
    if ((align & kTaBaselineBits) == kTaBaselineBits)
        actualDown = 0;
    else if (align & kTaBottom)
        actualDown = -fm.descent();
    const double shift = actualDown - assumedDown;
    QPointF origin = map.toPixel(text.pt);
    origin += QPointF(-shift * std::sin(theta), shift * std::cos(theta));

    QPainter p(&canvas);
    p.setRenderHint(QPainter::TextAntialiasing);
    QRectF touched;
    if ((text.flags & (kEtoOpaque | kEtoClipped)) && (text.BR.x != text.TL.x)) {
        const QRectF box = QRectF(map.toPixel(text.TL), map.toPixel(text.BR)).normalized();
        if (text.flags & kEtoOpaque) {
            p.fillRect(box, toColor(text.dc->bgcolor));
            touched = box;
        }
        if (text.flags & kEtoClipped)
            p.setClipRect(box);
    }
    QTransform t;
    t.translate(origin.x(), origin.y());
    t.rotate(-double(font->lfEscapement) / 10.0);
    p.setTransform(t);
    const QRectF textBox(0, -fm.ascent(), fm.horizontalAdvance(str), fm.height());
    if (text.dc->bgmode == kBkOpaque && !(text.flags & kEtoOpaque)) {
        p.fillRect(textBox, toColor(text.dc->bgcolor));
    }
    p.setFont(qf);
    p.setPen(toColor(text.dc->textcolor));
    p.drawText(QPointF(0, 0), str);
    p.end();
    touched |= t.mapRect(textBox.adjusted(-emPixels, -emPixels, emPixels, emPixels));
    return touched.toAlignedRect().intersected(canvas.rect());
}

} // namespace lumenta::mfrender
