#pragma once
// A decoded picture handed from a helper process to the viewer in shared
// memory: the helper writes the pixels into a memfd, seals it (it can no
// longer shrink, grow or be written by anyone), and sends its descriptor
// with a small header over a unix socket (SOCK_SEQPACKET, SCM_RIGHTS). The
// viewer checks the memfd against what the header and its own request say
// (size, row length, seals) and maps it read-only: no pixel crosses a pipe.
#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstddef>

namespace lumenta {

// The helper's side: a memfd for a picture of 4 bytes a pixel, rows
// packed. Its pages are allocated on a thread of their own from prepare()
// on (while the picture decodes), then fill() writes the picture and seals
// the memfd.
class SharedPictureBuffer {
public:
    SharedPictureBuffer() = default;
    SharedPictureBuffer(const SharedPictureBuffer&) = delete;
    SharedPictureBuffer& operator=(const SharedPictureBuffer&) = delete;
    ~SharedPictureBuffer();

    // Starts making a memfd ready for a picture of that size (any memfd
    // made before is dropped). False and *why on failure.
    bool prepare(QSize size, QString* why);
    QSize size() const { return m_size; }

    // Writes image (of the prepared size, any format) converted to `format`
    // (RGB32 or ARGB32_Premultiplied), then seals the memfd. Its
    // descriptor, still this buffer's, or -1 and *why.
    int fill(const QImage& image, QImage::Format format, QString* why);

private:
    void release();

    QSize m_size;
    int m_fd = -1;
    uchar* m_address = nullptr;
    size_t m_length = 0;
    struct Populating;
    Populating* m_populating = nullptr;
};

// Sends message and the descriptor fd as one packet on socket.
bool sendPicture(int socket, const QByteArray& message, int fd, QString* why);

// The viewer's side: the one packet waiting on socket (read without
// waiting), which must carry exactly one descriptor; *fd is then the
// caller's to close. False and *why otherwise (every descriptor that came
// is closed).
bool receivePicture(int socket, QByteArray* message, int* fd, QString* why);

// The picture in the memfd fd, mapped read-only: it must be a memfd sealed
// against shrinking, growing and writing whose length is exactly
// bytesPerLine * size.height(), with bytesPerLine == size.width() * 4. The
// picture keeps its own mapping (fd may be closed at once). Null and *why
// when anything differs.
QImage mapSharedPicture(int fd, QSize size, qsizetype bytesPerLine, QImage::Format format,
                        QString* why);

} // namespace lumenta
