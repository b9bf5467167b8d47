// EXIF orientation: the tag of a JPEG's APP1 payload, the eXIf chunk of a
// PNG and the EXIF chunk of a WebP (the input read as each), and HEIF's own
// transform boxes. The orientation found then turns a small picture, which
// must land pixel for pixel where the geometry functions say.
#include "fuzzsupport.h"

#include "picture/orientation.h"
#include "picture/pictureformats.h"

#include <QBuffer>

using namespace lumenta;

namespace {

void checkTurn(int orientation, const QByteArray& bytes) {
    if (bytes.size() < 2)
        return;
    const QSize stored(1 + uchar(bytes[0]) % 23, 1 + uchar(bytes[1]) % 23);
    QImage picture(stored, QImage::Format_RGB32);
    for (int y = 0; y < stored.height(); ++y)
        for (int x = 0; x < stored.width(); ++x)
            picture.setPixel(x, y, 0xFF000000u | quint32(y << 8 | x));
    const QImage upright = orientedImage(picture, orientation);
    LUMENTA_FUZZ_CHECK(upright.size() == orientedSize(stored, orientation));
    for (int y = 0; y < upright.height(); ++y)
        for (int x = 0; x < upright.width(); ++x) {
            const QRect from = storedRect(QRect(x, y, 1, 1), stored, orientation);
            LUMENTA_FUZZ_CHECK(from.size() == QSize(1, 1));
            LUMENTA_FUZZ_CHECK(upright.pixel(x, y) == picture.pixel(from.topLeft()));
            LUMENTA_FUZZ_CHECK(uprightRect(from, stored, orientation) == QRect(x, y, 1, 1));
        }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const int app1 = exifOrientation(data, qsizetype(size));
    LUMENTA_FUZZ_CHECK(app1 >= 1 && app1 <= 8);

    QBuffer device;
    device.setData(bytes);
    device.open(QIODevice::ReadOnly);
    const int container = containerExifOrientation(&device);
    LUMENTA_FUZZ_CHECK(container >= 1 && container <= 8);

    heifDeclaresTransforms(bytes);
    detectHelperFormat(bytes.left(64));

    checkTurn(app1 != 1 ? app1 : container, bytes);
    return 0;
}
