#pragma once
// Writing pictures as BMP files, or in the format a file name's extension
// names.
#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>

namespace lumenta {

// The name proposed for saving a picture as a bitmap: its extension, whatever
// its length, replaced by "BMP" ("chat.jpg" and "chat.jpeg" give "chat.BMP");
// a name without extension gets ".BMP". Dots in folder names do not count.
QString bitmapNameFor(const QString& path);

// Writes image as a BMP file, atomically: on failure nothing is left behind
// and an existing file keeps its content. Transparent parts are laid on
// white, since a bitmap has no transparency.
bool saveBmp(const QImage& image, const QString& path);

// The bytes of image in the format the extension of path names ("x.png"
// gives PNG, "x.ico" an icon), BMP when the name has no extension;
// std::nullopt when that format cannot be written here or encoding failed.
// Formats without transparency get it laid on white; an icon is reduced to
// fit 256 x 256.
std::optional<QByteArray> encodeForName(const QImage& image, const QString& path);

} // namespace lumenta
