// The settings file Affich.cfg: read from bytes and from a file; whatever
// was read is written and read back unchanged.
#include "fuzzsupport.h"

#include "app/settingsfile.h"

using namespace lumenta;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    Settings parsed;
    const bool read = parseSettings(bytes, parsed);

    Settings again;
    parseSettings(formatSettings(parsed), again);
    LUMENTA_FUZZ_CHECK(again == parsed);

    // The file reader reads the first 64 KB the same way.
    if (bytes.size() <= 64 * 1024) {
        Settings fromFile;
        const QString path = fuzz::writeScratchFile(QStringLiteral("Affich.cfg"), bytes);
        LUMENTA_FUZZ_CHECK(readSettingsFile(path, fromFile) == read);
        LUMENTA_FUZZ_CHECK(fromFile == parsed);
    }
    return 0;
}
