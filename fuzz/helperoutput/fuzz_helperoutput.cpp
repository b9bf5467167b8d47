// The output of the helper programs as the viewer reads it: a stand-in
// (fakehelper.c) sends what the input prescribes (error output, exit code,
// and on standard output the picture decoder's header and pixels or the
// metafile renderer's PNG); the viewer's side checks it against what it
// asked for. The input: two bytes saying which helper and what is asked,
// then what the stand-in reads (see fakehelper.c).
#include "fuzzsupport.h"

#include "picture/helperdecode.h"
#include "picture/metafile.h"

#include <QFile>
#include <QtEndian>

using namespace lumenta;

namespace {

class Progress final : public LoadProgress {
public:
    explicit Progress(bool refuse) : refuse_(refuse) {}
    bool mayAllocate(qint64 bytes) override {
        LUMENTA_FUZZ_CHECK(bytes >= 0);
        return !refuse_;
    }

private:
    bool refuse_;
};

// A placeable WMF header of that size in pixels (96 units an inch).
QByteArray placeableWmf(int width, int height) {
    QByteArray wmf(22, '\0');
    qToLittleEndian<quint32>(0x9AC6CDD7, wmf.data());
    qToLittleEndian<qint16>(qint16(width), wmf.data() + 10);
    qToLittleEndian<qint16>(qint16(height), wmf.data() + 12);
    qToLittleEndian<quint16>(96, wmf.data() + 14);
    return wmf;
}

// The metafile renderer's output: its PNG is checked against the size asked.
void renderMetafileFrom(uint8_t box, const QByteArray& script) {
    const QSize size(1 + box % 16, 1 + box / 16);
    qputenv("LUMENTA_FUZZ_HELPER_SCRIPT",
            QFile::encodeName(fuzz::writeScratchFile(QStringLiteral("renderer.out"), script)));
    QString error;
    const QImage image =
        renderMetafile(placeableWmf(size.width(), size.height()), MetafileKind::Wmf, &error, 10000);
    LUMENTA_FUZZ_CHECK(image.isNull() != error.isEmpty());
    LUMENTA_FUZZ_CHECK(image.isNull() || image.size() == size);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::startCoreApplication();
    qputenv("LUMENTA_PICDECODE", LUMENTA_FAKE_HELPER);
    qputenv("LUMENTA_MFRENDER", LUMENTA_FAKE_HELPER);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader in(data, size);
    const uint8_t kind = in.take<uint8_t>();
    const uint8_t box = in.take<uint8_t>();
    if (kind & 0x40) {
        renderMetafileFrom(box, in.rest());
        return 0;
    }
    PictureNeed need;
    need.kind = PictureNeed::Kind(kind % 4);
    if (need.kind == PictureNeed::Kind::Full) {
        if (kind & 0x10)
            need.region = QRect(0, 0, 1 + box % 16, 1 + box / 16);
    } else {
        need.box = QSize(1 + box % 16, 1 + box / 16);
    }
    Progress progress(kind & 0x80);
    const QString path = fuzz::writeScratchFile(QStringLiteral("helper.out"), in.rest());

    const Picture pic = decodeInHelper(path, need, &progress, 10000);
    if (pic.kind != Picture::Kind::Raster) {
        LUMENTA_FUZZ_CHECK(pic.image.isNull() && !pic.error.isEmpty());
        return 0;
    }
    LUMENTA_FUZZ_CHECK(!pic.image.isNull());
    LUMENTA_FUZZ_CHECK(fitsAllocationLimit(pic.naturalSize, 32));
    LUMENTA_FUZZ_CHECK(pic.image.format() == QImage::Format_RGB32 ||
                       pic.image.format() == QImage::Format_ARGB32_Premultiplied);
    if (need.kind == PictureNeed::Kind::Full)
        LUMENTA_FUZZ_CHECK(pic.image.size() == regionFor(pic.naturalSize, need).size());
    else
        LUMENTA_FUZZ_CHECK(pic.image.size() == reducedSize(pic.naturalSize, need));
    return 0;
}
