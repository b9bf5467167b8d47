#include "picture/picturebuffer.h"

#include <limits>
#include <sys/mman.h>

namespace lumenta {

namespace {

struct Mapping {
    void* address;
    size_t length;
};

void unmap(void* info) {
    auto* m = static_cast<Mapping*>(info);
    ::munmap(m->address, m->length);
    delete m;
}

} // namespace

QImage newPictureBuffer(QSize size, QImage::Format format) {
    if (size.isEmpty() || format == QImage::Format_Invalid)
        return QImage();
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    const qsizetype bytesPerLine = ((qsizetype(size.width()) * depth + 31) / 32) * 4;
    const qsizetype bytes = bytesPerLine * size.height();
    if (bytesPerLine > std::numeric_limits<int>::max() || bytes < kMappedPictureBytes)
        return QImage(size, format);
    void* address =
        ::mmap(nullptr, size_t(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (address == MAP_FAILED)
        return QImage();
#ifdef MADV_HUGEPAGE
    ::madvise(address, size_t(bytes), MADV_HUGEPAGE);
#endif
    auto* mapping = new Mapping{address, size_t(bytes)};
    QImage image(static_cast<uchar*>(address), size.width(), size.height(), bytesPerLine, format,
                 unmap, mapping);
    if (image.isNull())
        unmap(mapping);
    return image;
}

} // namespace lumenta
