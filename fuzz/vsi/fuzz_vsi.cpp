// Selection-list files (.VSI): read from bytes and from a file; the entries
// read are written and read back unchanged.
#include "fuzzsupport.h"

#include "slideshow/vsifile.h"

using namespace lumenta;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QStringList entries = parseVsi(bytes);
    for (const QString& e : entries)
        LUMENTA_FUZZ_CHECK(!e.contains(QLatin1Char('\r')) && !e.contains(QLatin1Char('\n')));
    LUMENTA_FUZZ_CHECK(parseVsi(formatVsi(entries)) == entries);

    const std::optional<QStringList> fromFile =
        readVsiFile(fuzz::writeScratchFile(QStringLiteral("list.vsi"), bytes));
    LUMENTA_FUZZ_CHECK(fromFile && *fromFile == entries);
    return 0;
}
