#pragma once
// Buffers for decoded pictures. A large picture gets pages mapped for it
// alone, with transparent huge pages asked for: filling 100 MB then costs a
// few dozen page faults instead of tens of thousands, and the memory goes
// back to the system as soon as the last QImage sharing it is gone.
#include <QImage>

namespace lumenta {

// Pictures from this many bytes on get pages of their own (zero-filled).
constexpr qsizetype kMappedPictureBytes = qsizetype(4) << 20;

// A picture of that size and format; its content is undefined below
// kMappedPictureBytes and zero from there on. Null when the memory cannot
// be had. Usable from any thread.
QImage newPictureBuffer(QSize size, QImage::Format format);

} // namespace lumenta
