#pragma once
// WMF rendering with libwmf's raster ("gd") device.
#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace lumenta::mfrender {

// Plays the WMF into a picture of exactly that size (its frame, the
// placeable bounding box or the window, filling the picture). A null image
// and a reason when libwmf refuses the file.
QImage renderWmf(const QByteArray& bytes, const QSize& size, QString* error);

} // namespace lumenta::mfrender
