#pragma once
// Buffers for decoded pictures. A large picture gets pages mapped for it
// alone, with transparent huge pages asked for: filling 100 MB then costs a
// few dozen page faults instead of tens of thousands, and the memory goes
// back to the system as soon as the last QImage sharing it is gone.
#include <QImage>

namespace lumenta {

// A picture of that size and format, its content undefined; null when the
// memory cannot be had. Usable from any thread.
QImage newPictureBuffer(QSize size, QImage::Format format);

} // namespace lumenta
