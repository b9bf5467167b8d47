// The TGA reader on a file of any content: its header test (which the
// viewer and the browser use to take a file for a TGA), then the picture,
// which must have the header's size and one of the reader's formats.
#include "fuzzsupport.h"

#include "picture/pictureloader.h"
#include "picture/tgareader.h"

#include <QBuffer>

using namespace lumenta;

namespace {

// Refuses the picture's memory when the input's last byte is odd, so the
// refusal is fuzzed too.
class Progress final : public LoadProgress {
public:
    explicit Progress(bool refuse) : m_refuse(refuse) {}
    bool mayAllocate(qint64 bytes) override {
        LUMENTA_FUZZ_CHECK(bytes > 0);
        asked = true;
        return !m_refuse;
    }
    bool asked = false;

private:
    bool m_refuse;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::startGuiApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);

    const std::optional<TgaHeader> header = readTgaHeader(&buffer);
    const std::optional<TgaHeader> named = detectTga(&buffer, QStringLiteral("picture.tga"));
    LUMENTA_FUZZ_CHECK(header.has_value() == named.has_value());
    if (detectTga(&buffer, QStringLiteral("picture.bin")))
        LUMENTA_FUZZ_CHECK(header.has_value());
    if (header) {
        LUMENTA_FUZZ_CHECK(header->size.width() > 0 && header->size.height() > 0);
        LUMENTA_FUZZ_CHECK(header->dataOffset() <= bytes.size());
    }

    Progress progress(size > 0 && (data[size - 1] & 1));
    QString error;
    buffer.seek(0);
    const QImage image = readTga(&buffer, &error, &progress);
    LUMENTA_FUZZ_CHECK(image.isNull() != error.isEmpty());
    if (image.isNull())
        return 0;
    LUMENTA_FUZZ_CHECK(header.has_value() && progress.asked);
    LUMENTA_FUZZ_CHECK(image.size() == header->size);
    LUMENTA_FUZZ_CHECK(fitsAllocationLimit(image.size(), 32));
    LUMENTA_FUZZ_CHECK(image.format() == QImage::Format_RGB32 ||
                       image.format() == QImage::Format_ARGB32 ||
                       image.format() == QImage::Format_ARGB32_Premultiplied);
    return 0;
}
