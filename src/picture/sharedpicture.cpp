#include "picture/sharedpicture.h"

#include <cerrno>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumenta {

namespace {

constexpr int kSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;
// Room for more descriptors than the one expected, to see that more came.
constexpr int kMaxDescriptors = 4;

QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(strerror(errno)));
}

// An RGBA8888 pixel (bytes R, G, B, A) as a QRgb.
inline QRgb fromRgba(quint32 v) {
    return (v & 0xff00ff00u) | ((v & 0xffu) << 16) | ((v >> 16) & 0xffu);
}

// Whether writeRows() converts from that format to `to` itself.
bool convertsItself(QImage::Format from, QImage::Format to) {
    const bool little = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
    return from == to ||
           (little &&
            (from == QImage::Format_RGB888 || from == QImage::Format_RGBX8888 ||
             from == QImage::Format_RGBA8888 || from == QImage::Format_RGBA8888_Premultiplied));
}

// Rows y0 to y1 of image into dst (rows bytesPerLine apart) in format (32
// bits a pixel), converted in one pass (see convertsItself).
void writeRows(const QImage& image, int y0, int y1, QImage::Format format, uchar* dst,
               qsizetype bytesPerLine) {
    const int width = image.width();
    const QImage::Format from = image.format();
    for (int y = y0; y < y1; ++y) {
        const uchar* in = image.constScanLine(y);
        auto* out = reinterpret_cast<QRgb*>(dst + y * bytesPerLine);
        const auto* in32 = reinterpret_cast<const quint32*>(in);
        if (from == format) {
            std::memcpy(out, in, size_t(width) * 4);
        } else if (from == QImage::Format_RGB888) {
            for (int x = 0; x < width; ++x, in += 3)
                out[x] = qRgb(in[0], in[1], in[2]);
        } else if (from == QImage::Format_RGBA8888 && format != QImage::Format_RGB32) {
            for (int x = 0; x < width; ++x)
                out[x] = qPremultiply(fromRgba(in32[x]));
        } else {
            const QRgb opaque = format == QImage::Format_RGB32 ? 0xff000000u : 0;
            for (int x = 0; x < width; ++x)
                out[x] = fromRgba(in32[x]) | opaque;
        }
    }
}

} // namespace

struct SharedPictureBuffer::Populating {
    std::thread thread;
};

SharedPictureBuffer::~SharedPictureBuffer() {
    release();
}

void SharedPictureBuffer::release() {
    if (m_populating) {
        m_populating->thread.join();
        delete m_populating;
        m_populating = nullptr;
    }
    if (m_address)
        ::munmap(m_address, m_length);
    if (m_fd >= 0)
        ::close(m_fd);
    m_address = nullptr;
    m_fd = -1;
    m_size = QSize();
}

bool SharedPictureBuffer::prepare(QSize size, QString* why) {
    release();
    if (size.isEmpty()) {
        *why = QStringLiteral("no picture to share");
        return false;
    }
    m_length = size_t(size.width()) * 4 * size_t(size.height());
    m_fd = ::memfd_create("lumenta-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    void* address = MAP_FAILED;
    if (m_fd >= 0 && ::ftruncate(m_fd, off_t(m_length)) == 0)
        address = ::mmap(nullptr, m_length, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, 0);
    if (address == MAP_FAILED) {
        *why = systemError("no shared memory for the picture");
        release();
        return false;
    }
    m_address = static_cast<uchar*>(address);
    m_size = size;
    // Some 12,000 pages for a 12-megapixel picture: allocated meanwhile
    // rather than one fault at a time while it is written.
    m_populating = new Populating;
    m_populating->thread = std::thread([address = m_address, length = m_length] {
        if (::madvise(address, length, MADV_POPULATE_WRITE) != 0)
            for (size_t at = 0; at < length; at += 4096)
                address[at] = 0;
    });
    return true;
}

int SharedPictureBuffer::fill(const QImage& image, QImage::Format format, QString* why) {
    if (!m_address || image.size() != m_size ||
        (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32_Premultiplied)) {
        *why = QStringLiteral("no shared memory for this picture");
        return -1;
    }
    m_populating->thread.join();
    delete m_populating;
    m_populating = nullptr;
    const QImage source =
        convertsItself(image.format(), format) ? image : image.convertToFormat(format);
    if (source.isNull()) {
        *why = QStringLiteral("no memory for the picture");
        return -1;
    }
    // Two halves at once: the decoder is done, both processors are free.
    const qsizetype bytesPerLine = qsizetype(m_size.width()) * 4;
    const int half = m_size.height() / 2;
    std::thread top([&] { writeRows(source, 0, half, format, m_address, bytesPerLine); });
    writeRows(source, half, m_size.height(), format, m_address, bytesPerLine);
    top.join();
    ::munmap(m_address, m_length);
    m_address = nullptr;
    if (::fcntl(m_fd, F_ADD_SEALS, kSeals) != 0) {
        *why = systemError("the picture cannot be sealed");
        return -1;
    }
    return m_fd;
}

bool sendPicture(int socket, const QByteArray& message, int fd, QString* why) {
    iovec part{const_cast<char*>(message.constData()), size_t(message.size())};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr msg{};
    msg.msg_iov = &part;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &fd, sizeof fd);
    ssize_t sent;
    do
        sent = ::sendmsg(socket, &msg, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent != message.size()) {
        *why = systemError("the picture cannot be sent");
        return false;
    }
    return true;
}

bool receivePicture(int socket, QByteArray* message, int* fd, QString* why) {
    *fd = -1;
    QByteArray buffer(4096, Qt::Uninitialized);
    iovec part{buffer.data(), size_t(buffer.size())};
    alignas(cmsghdr) char control[CMSG_SPACE(kMaxDescriptors * sizeof(int))] = {};
    msghdr msg{};
    msg.msg_iov = &part;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t got;
    do
        got = ::recvmsg(socket, &msg, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    while (got < 0 && errno == EINTR);
    // Every descriptor that came, whatever else is wrong.
    QList<int> fds;
    for (cmsghdr* c = got >= 0 ? CMSG_FIRSTHDR(&msg) : nullptr; c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
            continue;
        const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
            int received;
            std::memcpy(&received, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
            fds << received;
        }
    }
    const bool ok = got > 0 && !(msg.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) && fds.size() == 1;
    if (!ok) {
        for (int f : fds)
            ::close(f);
        *why = got <= 0 ? QStringLiteral("no picture came")
                        : QStringLiteral("an unexpected message came");
        return false;
    }
    *fd = fds.first();
    *message = buffer.left(got);
    return true;
}

QImage mapSharedPicture(int fd, QSize size, qsizetype bytesPerLine, QImage::Format format,
                        QString* why) {
    struct stat st {};
    const qint64 bytes = qint64(bytesPerLine) * size.height();
    if (size.isEmpty() || bytesPerLine != qsizetype(size.width()) * 4) {
        *why = QStringLiteral("rows of an unexpected length");
        return QImage();
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size != bytes) {
        *why = QStringLiteral("shared memory of an unexpected size");
        return QImage();
    }
    const int seals = ::fcntl(fd, F_GET_SEALS);
    if (seals < 0 || (seals & (F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE)) !=
                         (F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE)) {
        *why = QStringLiteral("shared memory that is not sealed");
        return QImage();
    }
    void* address = ::mmap(nullptr, size_t(bytes), PROT_READ, MAP_SHARED | MAP_POPULATE, fd, 0);
    if (address == MAP_FAILED) {
        *why = systemError("the shared picture cannot be mapped");
        return QImage();
    }
    struct Mapping {
        void* address;
        size_t length;
    };
    auto* mapping = new Mapping{address, size_t(bytes)};
    const QImage image(
        static_cast<const uchar*>(address), size.width(), size.height(), bytesPerLine, format,
        [](void* info) {
            auto* m = static_cast<Mapping*>(info);
            ::munmap(m->address, m->length);
            delete m;
        },
        mapping);
    if (image.isNull()) {
        ::munmap(address, size_t(bytes));
        delete mapping;
        *why = QStringLiteral("the shared picture cannot be used");
    }
    return image;
}

} // namespace lumenta
