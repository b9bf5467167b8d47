#pragma once
// Writing pictures as BMP files.
#include <QImage>
#include <QString>

namespace lumenta {

// The name proposed for saving a picture as a bitmap: its extension, whatever
// its length, replaced by "BMP" ("chat.jpg" and "chat.jpeg" give "chat.BMP");
// a name without extension gets ".BMP". Dots in folder names do not count.
QString bitmapNameFor(const QString& path);

// Writes image as a BMP file, atomically: on failure nothing is left behind
// and an existing file keeps its content. Transparent parts are laid on
// white, since a bitmap has no transparency.
bool saveBmp(const QImage& image, const QString& path);

} // namespace lumenta
