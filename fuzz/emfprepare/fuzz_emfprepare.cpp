// EMF records rewritten for the SVG converter, and the work done on its
// SVG and pixels afterwards: bytes that are not an EMF come back untouched;
// a rewritten file keeps its header and its size field agrees with it; the
// SVG mending and marker removal take any text; the hatch compositing takes
// any pair of pictures of one size.
#include "fuzzsupport.h"

#include "companions/mfrender/emfprepare.h"

#include <QtEndian>

using namespace lumenta;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const PreparedEmf out = prepareEmfForSvg(bytes);
    const bool changed =
        out.pensWidened > 0 || out.dashesApproximated > 0 || !out.hatches.isEmpty();
    if (!changed) {
        LUMENTA_FUZZ_CHECK(out.data == bytes);
    } else {
        LUMENTA_FUZZ_CHECK(out.data.size() >= 88);
        LUMENTA_FUZZ_CHECK(out.data.left(48) == bytes.left(48));
        LUMENTA_FUZZ_CHECK(qFromLittleEndian<quint32>(out.data.constData() + 48) ==
                           quint32(out.data.size()));
    }
    for (const EmfHatch& h : out.hatches) {
        LUMENTA_FUZZ_CHECK(h.style >= 0 && h.style <= 5 && h.marker != 0);
        // The marker is a colour found nowhere in the file.
        const char rgb[3] = {char(qRed(h.marker)), char(qGreen(h.marker)), char(qBlue(h.marker))};
        LUMENTA_FUZZ_CHECK(!bytes.contains(QByteArrayView(rgb, 3)));
    }

    // The same bytes as the converter's SVG.
    mendConvertedSvg(bytes);
    svgWithoutHatchMarkers(bytes, out.hatches, false);
    svgWithoutHatchMarkers(bytes, out.hatches, true);

    // And as two small renderings, with and without the marker fills.
    if (!out.hatches.isEmpty() && bytes.size() >= 2) {
        const int w = 1 + uchar(bytes[0]) % 24, h = 1 + uchar(bytes[1]) % 24;
        QImage with(w, h, QImage::Format_RGB32), without(w, h, QImage::Format_RGB32);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const qsizetype i = (qsizetype(y) * w + x) * 2 % bytes.size();
                const quint32 a = qFromLittleEndian<quint32>(
                    QByteArray(bytes.mid(i, 4)).leftJustified(4, '\0').constData());
                with.setPixel(x, y,
                              a & 1 ? out.hatches[int(a >> 1) % out.hatches.size()].marker
                                    : 0xFF000000u | a);
                without.setPixel(x, y, 0xFF000000u | (a >> 8));
            }
        const QImage composed = compositeHatches(with, without, out.hatches);
        LUMENTA_FUZZ_CHECK(composed.size() == with.size());
    }
    return 0;
}
