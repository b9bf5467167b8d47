// The decoder's pixels in shared memory: the sealed memfds the viewer takes
// and refuses, and the one packet with one descriptor, never leaking one.
#include "picture/helperdecode.h"
#include "picture/sharedpicture.h"

#include <QDir>
#include <QTemporaryFile>
#include <gtest/gtest.h>

#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace lumenta;

namespace {

constexpr QSize kSize(5, 3);

// 5 x 3, every pixel its own colour.
QImage sample() {
    QImage img(kSize, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            img.setPixel(x, y, qRgb(x * 50, y * 100, 7));
    return img;
}

// The header of a picture of kSize.
QByteArray headerFor(QSize natural, QImage::Format format = QImage::Format_RGB32,
                     int bytesPerLine = -1, const QByteArray& colours = {}, int colourBytes = -1) {
    HelperPictureHeader h;
    h.colourBytes = quint32(colourBytes < 0 ? colours.size() : colourBytes);
    h.width = quint32(kSize.width());
    h.height = quint32(kSize.height());
    h.naturalWidth = quint32(natural.width());
    h.naturalHeight = quint32(natural.height());
    h.format = quint32(format);
    h.bytesPerLine = quint32(bytesPerLine < 0 ? kSize.width() * 4 : bytesPerLine);
    return QByteArray(reinterpret_cast<const char*>(&h), sizeof h) + colours;
}

// A memfd of `bytes` bytes holding the sample's rows from the start, with
// those seals.
int memfdWith(qint64 bytes, int seals) {
    const int fd = ::memfd_create("test-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    const QImage img = sample();
    if (fd < 0 || ::ftruncate(fd, bytes) != 0)
        return -1;
    const qint64 n = qMin<qint64>(bytes, img.sizeInBytes());
    if (::pwrite(fd, img.constBits(), size_t(n), 0) != n ||
        (seals && ::fcntl(fd, F_ADD_SEALS, seals) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

int openDescriptors() {
    return int(QDir("/proc/self/fd").entryList(QDir::Files | QDir::System).size());
}

// Sends message with `count` descriptors (copies of fd) on socket.
bool sendWith(int socket, const QByteArray& message, int fd, int count) {
    iovec part{const_cast<char*>(message.constData()), size_t(message.size())};
    alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))] = {};
    msghdr msg{};
    msg.msg_iov = &part;
    msg.msg_iovlen = 1;
    if (count > 0) {
        msg.msg_control = control;
        msg.msg_controllen = CMSG_SPACE(count * sizeof(int));
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(count * sizeof(int));
        for (int i = 0; i < count; ++i)
            std::memcpy(CMSG_DATA(c) + i * sizeof(int), &fd, sizeof fd);
    }
    return ::sendmsg(socket, &msg, 0) == message.size();
}

const int kAllSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;

} // namespace

TEST(SharedPicture, TheViewerTakesOnlyASealedMemfdOfTheAnnouncedSize) {
    const QImage img = sample();
    const qint64 bytes = img.sizeInBytes();
    QTemporaryFile plainFile;
    ASSERT_TRUE(plainFile.open());
    plainFile.write(QByteArray(int(bytes), '\x40'));
    plainFile.flush();
    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);

    const ColourSpace p3 = ColourSpace::fromCicp(12, 13);
    const auto rgb = QImage::Format_RGB32;
    struct Case {
        const char* name;
        int fd;              // -2: the helper's own memfd
        const char* refusal; // nullptr: accepted
        QByteArray message = headerFor(kSize);
        QSize box = QSize(); // what was asked: empty for the natural size
        ColourSpace colours = ColourSpace();
    } cases[] = {
        {"the helper's own memfd", -2, nullptr},
        {"with its colours", -2, nullptr, headerFor(kSize, rgb, -1, p3.toBytes()), QSize(), p3},
        {"colours that cannot be read (sRGB)", -2, nullptr,
         headerFor(kSize, rgb, -1, "not colours")},
        {"fewer colour bytes than said", -2, "unexpected picture",
         headerFor(kSize, rgb, -1, p3.toBytes(), 60)},
        {"more colour bytes than may come", -2, "unexpected picture",
         headerFor(kSize, rgb, -1, QByteArray(), int(kMaxHelperColourBytes) + 1)},
        {"reduced as asked", -2, nullptr, headerFor(QSize(10, 6)), QSize(5, 5)},
        {"not sealed", memfdWith(bytes, 0), "not sealed"},
        {"free to shrink", memfdWith(bytes, kAllSeals & ~F_SEAL_SHRINK), "not sealed"},
        {"free to grow", memfdWith(bytes, kAllSeals & ~F_SEAL_GROW), "not sealed"},
        {"still writable", memfdWith(bytes, kAllSeals & ~F_SEAL_WRITE), "not sealed"},
        {"one row short", memfdWith(bytes - 20, kAllSeals), "unexpected size"},
        {"one byte too many", memfdWith(bytes + 1, kAllSeals), "unexpected size"},
        {"rows with padding", memfdWith(24 * 3, kAllSeals), "rows", headerFor(kSize, rgb, 24)},
        {"a plain file", plainFile.handle(), "not sealed"},
        {"a pipe", pipeEnds[0], "unexpected size"},
        {"another size than asked", memfdWith(bytes, kAllSeals), "unexpected picture",
         headerFor(QSize(10, 6))},
        {"an 8-bit format", memfdWith(bytes, kAllSeals), "unexpected picture",
         headerFor(kSize, QImage::Format_Indexed8)},
        {"a format number no QImage::Format has", memfdWith(bytes, kAllSeals), "unexpected picture",
         headerFor(kSize).replace(20, 4, QByteArray("\xff\xff\xff\x7f", 4))},
        {"beyond the allocation limit", memfdWith(bytes, kAllSeals), "unexpected picture",
         headerFor(QSize(40000, 30000)), QSize(5, 5)},
        {"a short header", memfdWith(bytes, kAllSeals), "unexpected picture",
         headerFor(kSize).chopped(1)},
    };
    for (Case& c : cases) {
        QString why;
        if (c.fd == -2) {
            // As the helper makes it; a copy of its descriptor outlives it.
            SharedPictureBuffer own;
            ASSERT_TRUE(own.prepare(kSize, &why)) << why.toStdString();
            const int filled = own.fill(img, QImage::Format_RGB32, &why);
            ASSERT_GE(filled, 0) << why.toStdString();
            c.fd = ::fcntl(filled, F_DUPFD_CLOEXEC, 0);
        }
        ASSERT_GE(c.fd, 0) << c.name;
        QSize natural;
        ColourSpace colours = ColourSpace::fromCicp(9, 16);
        const QImage got = acceptHelperPicture(c.message, c.fd, c.box, &natural, &colours, &why);
        if (!c.refusal) {
            EXPECT_EQ(colours, c.colours) << c.name;
            ASSERT_FALSE(got.isNull()) << c.name << ": " << why.toStdString();
            ::close(c.fd); // the picture keeps its own mapping
            EXPECT_EQ(got.format(), QImage::Format_RGB32) << c.name;
            EXPECT_EQ(got, img) << c.name;
            EXPECT_EQ(natural, c.box.isEmpty() ? kSize : QSize(10, 6)) << c.name;
            continue;
        }
        EXPECT_TRUE(got.isNull()) << c.name;
        EXPECT_TRUE(why.contains(QLatin1String(c.refusal))) << c.name << ": " << why.toStdString();
        if (c.fd != plainFile.handle() && c.fd != pipeEnds[0])
            ::close(c.fd);
    }
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}

TEST(SharedPicture, OnePacketWithOneDescriptorIsTakenAndNoDescriptorLeaks) {
    const QByteArray message = headerFor(kSize);
    const int memfd = memfdWith(60, kAllSeals);
    ASSERT_GE(memfd, 0);
    struct Case {
        const char* name;
        int descriptors; // -1: nothing sent
        bool taken;
    } cases[] = {
        {"one descriptor", 1, true},
        {"nothing at all", -1, false},
        {"no descriptor", 0, false},
        {"two descriptors", 2, false},
    };
    for (const Case& c : cases) {
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends), 0);
        if (c.descriptors >= 0)
            ASSERT_TRUE(sendWith(ends[1], message, memfd, c.descriptors)) << c.name;
        const int before = openDescriptors();
        QByteArray got;
        int fd = -1;
        QString why;
        EXPECT_EQ(receivePicture(ends[0], &got, &fd, &why), c.taken) << c.name;
        if (c.taken) {
            EXPECT_EQ(got, message) << c.name;
            EXPECT_GE(fd, 0) << c.name;
            EXPECT_EQ(::fcntl(fd, F_GET_SEALS), kAllSeals) << c.name;
            EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC) << c.name;
            ::close(fd);
        } else {
            EXPECT_FALSE(why.isEmpty()) << c.name;
        }
        EXPECT_EQ(openDescriptors(), before) << c.name;
        ::close(ends[0]);
        ::close(ends[1]);
    }
    ::close(memfd);
}

TEST(SharedPicture, TheHelperWritesEachDecoderFormatInTheViewersLayout) {
    // 3 x 3 (the two halves are written apart), one half-transparent pixel.
    QImage source(3, 3, QImage::Format_ARGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            source.setPixel(x, y, qRgba(x * 100, y * 100, 50, x == 1 && y == 2 ? 128 : 255));
    const QImage opaque = source.convertToFormat(QImage::Format_RGB32);
    struct Case {
        QImage::Format from, to;
    } cases[] = {
        {QImage::Format_RGB888, QImage::Format_RGB32},
        {QImage::Format_RGBX8888, QImage::Format_RGB32},
        {QImage::Format_RGB32, QImage::Format_RGB32},
        {QImage::Format_Grayscale8, QImage::Format_RGB32}, // through Qt
        {QImage::Format_RGBA8888, QImage::Format_ARGB32_Premultiplied},
        {QImage::Format_RGBA8888_Premultiplied, QImage::Format_ARGB32_Premultiplied},
        {QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied}, // through Qt
    };
    for (const Case& c : cases) {
        const bool alpha = c.to == QImage::Format_ARGB32_Premultiplied;
        const QImage image = (alpha ? source : opaque).convertToFormat(c.from);
        SharedPictureBuffer buffer;
        QString why;
        ASSERT_TRUE(buffer.prepare(image.size(), &why)) << why.toStdString();
        const int fd = buffer.fill(image, c.to, &why);
        ASSERT_GE(fd, 0) << c.from << ": " << why.toStdString();
        EXPECT_EQ(::fcntl(fd, F_GET_SEALS), kAllSeals) << c.from;
        const QImage shared = mapSharedPicture(fd, image.size(), 12, c.to, &why);
        ASSERT_FALSE(shared.isNull()) << c.from << ": " << why.toStdString();
        EXPECT_EQ(shared, image.convertToFormat(c.to)) << c.from;
    }
}
