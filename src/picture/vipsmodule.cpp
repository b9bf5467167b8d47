// Loads the module that reads TIFF and WebP pictures by parts through
// libvips (picture/vips/vipsparts.cpp) on the first picture that needs it.
// The module stays loaded until the program ends: its decoders live on in
// the pictures it opened.
#include "picture/helperprocess.h"
#include "picture/partdecoders.h"

#include <QLibrary>

#include <mutex>

namespace lumenta {

namespace {

using OpenParts = void (*)(const QString& path, const char* loader, PartSource* out);

struct Module {
    OpenParts open = nullptr;
    QString error; // why open is null
};

const Module& module() {
    static Module loaded;
    static std::once_flag once;
    std::call_once(once, [] {
        const QString file = findHelperProgram("lumenta-vipsparts.so", "LUMENTA_VIPSPARTS");
        if (file.isEmpty()) {
            loaded.error = QStringLiteral("the module lumenta-vipsparts.so was not found");
            return;
        }
        QLibrary library(file);
        if (!library.load()) {
            loaded.error = QStringLiteral("the module lumenta-vipsparts.so cannot be loaded: %1")
                               .arg(library.errorString());
            return;
        }
        loaded.open = reinterpret_cast<OpenParts>(library.resolve("lumentaOpenVipsParts"));
        if (!loaded.open)
            loaded.error = QStringLiteral("the module lumenta-vipsparts.so has no entry point");
    });
    return loaded;
}

} // namespace

PartSource openVipsParts(const QString& path, const char* loader) {
    PartSource out;
    const Module& m = module();
    if (!m.open) {
        out.error = m.error;
        return out;
    }
    m.open(path, loader, &out);
    return out;
}

} // namespace lumenta
