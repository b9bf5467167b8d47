// EMF: records mended for the converter (emfprepare.h), converted to SVG by
// libemf2svg, painted by Qt SVG on white. When the file has hatched brushes
// the SVG is painted twice (marker fills kept, then removed) and the marker
// pixels are turned into hatches.
#include "emfrender.h"

#include "emfprepare.h"

#include <QPainter>
#include <QSvgRenderer>

#include <cstdlib>
#include <emf2svg.h>

namespace lumenta::mfrender {

namespace {

QImage paintSvg(const QByteArray& svg, const QSize& size, QString* error) {
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) {
        *error = QStringLiteral("Qt SVG cannot read the converted EMF");
        return {};
    }
    QImage image(size, QImage::Format_RGB32);
    if (image.isNull()) {
        *error = QStringLiteral("out of memory for a %1x%2 picture")
                     .arg(size.width())
                     .arg(size.height());
        return {};
    }
    image.fill(Qt::white);
    QPainter painter(&image);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

} // namespace

QImage renderEmf(const QByteArray& bytes, const QSize& size, QString* error) {
    PreparedEmf prepared = prepareEmfForSvg(bytes);

    char nameSpace[] = "";
    generatorOptions options{};
    options.nameSpace = nameSpace;
    options.verbose = false;
    options.emfplus = false; // dual files carry GDI records too; EMF+ support adds nothing here
    options.svgDelimiter = true;
    options.imgWidth = size.width();
    options.imgHeight = size.height();
    char* out = nullptr;
    size_t outLength = 0;
    const int ok =
        emf2svg(prepared.data.data(), size_t(prepared.data.size()), &out, &outLength, &options);
    const QByteArray svg =
        out ? mendConvertedSvg(QByteArray(out, qsizetype(outLength))) : QByteArray();
    std::free(out);
    if (!ok || svg.isEmpty()) {
        *error = QStringLiteral("libemf2svg cannot convert the file");
        return {};
    }

    QImage withMarkers = paintSvg(svgWithoutHatchMarkers(svg, prepared.hatches, true), size, error);
    if (withMarkers.isNull() || prepared.hatches.isEmpty())
        return withMarkers;
    const QImage withoutFills =
        paintSvg(svgWithoutHatchMarkers(svg, prepared.hatches, false), size, error);
    if (withoutFills.isNull())
        return {};
    return compositeHatches(withMarkers, withoutFills, prepared.hatches);
}

} // namespace lumenta::mfrender
