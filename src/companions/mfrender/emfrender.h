#pragma once
// EMF rendering: libemf2svg turns the records into SVG, Qt SVG paints it.
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace lumenta::mfrender {

// Renders the EMF into a picture of exactly that size. A null image and a
// reason when the converter refuses the file or its SVG is unreadable.
QImage renderEmf(const QByteArray& bytes, const QSize& size, QString* error);

} // namespace lumenta::mfrender
