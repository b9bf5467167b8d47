#pragma once
// The PNG files of the thumbnail cache, written as the freedesktop
// thumbnail layout asks: 8-bit RGBA, and every text key stored in a plain
// tEXt chunk (the desktop's validity checks read no compressed chunk).
#include <QByteArray>
#include <QImage>
#include <QList>

#include <utility>

namespace lumenta {

using PngText = QList<std::pair<QByteArray, QByteArray>>; // key, Latin-1 value

// The PNG bytes of image (converted to RGBA) with texts; empty when image
// is null or the encoder fails.
QByteArray encodeThumbnailPng(const QImage& image, const PngText& texts);

} // namespace lumenta
