// The browser's header-only picture test on a file of any content: it
// answers from the header (metafile headers, helper-decoded signatures,
// Qt's readers' checks) without decoding.
#include "fuzzsupport.h"

#include "browser/pictureprobe.h"
#include "picture/metafile.h"

using namespace lumenta;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::startGuiApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const PictureProbe probe =
        probePicture(fuzz::writeScratchFile(QStringLiteral("probed"), bytes));
    if (bytes.isEmpty())
        LUMENTA_FUZZ_CHECK(!probe.picture);
    if (probe.picture)
        LUMENTA_FUZZ_CHECK(!probe.format.isEmpty());
    const MetafileKind kind = detectMetafile(bytes.left(64));
    if (kind != MetafileKind::None) {
        const QSize natural = metafileNaturalSize(bytes.left(1024 * 1024), kind);
        LUMENTA_FUZZ_CHECK(probe.size == natural);
        LUMENTA_FUZZ_CHECK(!natural.isValid() || (natural.width() <= kMetafileMaxNaturalSide &&
                                                  natural.height() <= kMetafileMaxNaturalSide));
        const QSize render = metafileRenderSize(natural);
        LUMENTA_FUZZ_CHECK(!render.isValid() || (render.width() <= kMetafileMaxSide &&
                                                 render.height() <= kMetafileMaxSide));
    }
    return 0;
}
