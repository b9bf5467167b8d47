#include "convert/gifpalette.h"

#include <QIODevice>

#include <gif_lib.h>

namespace lumenta {

namespace {

int readFromDevice(GifFileType* gif, GifByteType* data, int length) {
    auto* device = static_cast<QIODevice*>(gif->UserData);
    return int(device->read(reinterpret_cast<char*>(data), length));
}

QList<QRgb> coloursOf(const ColorMapObject* map) {
    QList<QRgb> colours;
    for (int i = 0; map && i < map->ColorCount; ++i)
        colours.append(qRgb(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue));
    return colours;
}

} // namespace

std::optional<GifPalette> readGifPalette(QIODevice& device) {
    int code = 0;
    GifFileType* gif = DGifOpen(&device, readFromDevice, &code);
    if (!gif)
        return std::nullopt;
    std::optional<GifPalette> found;
    int transparent = -1;
    GifRecordType type = UNDEFINED_RECORD_TYPE;
    while (!found && DGifGetRecordType(gif, &type) == GIF_OK && type != TERMINATE_RECORD_TYPE) {
        if (type == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif) != GIF_OK)
                break;
            const ColorMapObject* map = gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
            GifPalette p{coloursOf(map), transparent};
            if (!p.colours.isEmpty())
                found = p;
            break;
        }
        if (type != EXTENSION_RECORD_TYPE)
            break;
        int kind = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &kind, &block) != GIF_OK)
            break;
        if (kind == GRAPHICS_EXT_FUNC_CODE && block) {
            GraphicsControlBlock gcb{};
            if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK)
                transparent = gcb.TransparentColor;
        }
        while (block && DGifGetExtensionNext(gif, &block) == GIF_OK) {
        }
    }
    DGifCloseFile(gif, &code);
    if (found && found->transparent >= found->colours.size())
        found->transparent = -1;
    return found;
}

} // namespace lumenta
