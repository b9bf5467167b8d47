#include "picture/picturebuffer.h"

#include <limits>
#include <memory>
#include <thread>

#include <sys/mman.h>

namespace lumenta {

namespace {

// Pages mapped for one picture; unmapped when the last holder lets go (the
// picture, and the thread making its pages ready while it is filled).
struct Mapping {
    Mapping(void* a, size_t n) : address(a), length(n) {}
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;
    ~Mapping() { ::munmap(address, length); }
    void* address;
    size_t length;
};

void release(void* info) {
    delete static_cast<std::shared_ptr<Mapping>*>(info);
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
    auto mapping = std::make_shared<Mapping>(address, size_t(bytes));
#ifdef MADV_HUGEPAGE
    ::madvise(address, size_t(bytes), MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
    // The kernel clears the pages on another processor while the decoder
    // fills the first rows, instead of one page fault at a time in its way.
    std::thread([mapping] {
        ::madvise(mapping->address, mapping->length, MADV_POPULATE_WRITE);
    }).detach();
#endif
    auto* holder = new std::shared_ptr<Mapping>(mapping);
    QImage image(static_cast<uchar*>(address), size.width(), size.height(), bytesPerLine, format,
                 release, holder);
    if (image.isNull())
        release(holder);
    return image;
}

} // namespace lumenta
