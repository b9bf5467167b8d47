#include "browser/thumbnailpng.h"

#include <png.h>

#include <csetjmp>
#include <vector>

namespace lumenta {

namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<QByteArray*>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char*>(data), qsizetype(length));
}

void noFlush(png_structp) {}

// Everything libpng touches is prepared before its error jump may happen,
// so the jump leaves no C++ object half made.
bool encode(const QImage& rgba, std::vector<png_text>& text, QByteArray& out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, &out, appendBytes, noFlush);
    png_set_IHDR(png, info, png_uint_32(rgba.width()), png_uint_32(rgba.height()), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!text.empty())
        png_set_text(png, info, text.data(), int(text.size()));
    png_write_info(png, info);
    for (int y = 0; y < rgba.height(); ++y)
        png_write_row(png, rgba.constScanLine(y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

QByteArray encodeThumbnailPng(const QImage& image, const PngText& texts) {
    if (image.isNull())
        return QByteArray();
    const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    std::vector<png_text> text(size_t(texts.size()));
    for (qsizetype i = 0; i < texts.size(); ++i) {
        png_text& t = text[size_t(i)];
        t.compression = PNG_TEXT_COMPRESSION_NONE; // tEXt, whatever the length
        t.key = const_cast<char*>(texts.at(i).first.constData());
        t.text = const_cast<char*>(texts.at(i).second.constData());
        t.text_length = size_t(texts.at(i).second.size());
    }
    QByteArray out;
    if (!encode(rgba, text, out))
        return QByteArray();
    return out;
}

} // namespace lumenta
