// WMF records rewritten for libwmf: bytes that are not a WMF come back
// untouched; a rewritten file keeps its header, its sizes agree with its
// records, and its natural size is the original's.
#include "fuzzsupport.h"

#include "companions/mfrender/wmfprepare.h"
#include "picture/metafile.h"

#include <QtEndian>

using namespace lumenta;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const PreparedWmf out = prepareWmfForLibwmf(bytes);
    LUMENTA_FUZZ_CHECK(out.polygonsDropped >= 0 && out.extentsRepeated >= 0);
    if (out.polygonsDropped == 0 && out.extentsRepeated == 0) {
        LUMENTA_FUZZ_CHECK(out.data == bytes);
        return 0;
    }
    const qsizetype start = qFromLittleEndian<quint32>(bytes.constData()) == 0x9AC6CDD7u ? 22 : 0;
    const qsizetype header =
        qsizetype(qFromLittleEndian<quint16>(bytes.constData() + start + 2)) * 2;
    LUMENTA_FUZZ_CHECK(out.data.size() >= start + header);
    LUMENTA_FUZZ_CHECK(out.data.left(start + 6) == bytes.left(start + 6));
    LUMENTA_FUZZ_CHECK(qFromLittleEndian<quint32>(out.data.constData() + start + 6) ==
                       quint32((out.data.size() - start) / 2));
    const MetafileKind kind = detectMetafile(bytes.left(64));
    LUMENTA_FUZZ_CHECK(detectMetafile(out.data.left(64)) == kind);
    LUMENTA_FUZZ_CHECK(metafileNaturalSize(out.data, kind) == metafileNaturalSize(bytes, kind));
    return 0;
}
