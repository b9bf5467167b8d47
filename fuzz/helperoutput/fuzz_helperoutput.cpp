// The output of the helper programs as the viewer reads it. The picture
// decoder's: a packet on a unix socket holding its header and a memfd, made
// here as the input prescribes and read by the viewer's side (received,
// checked against what was asked, mapped). The metafile renderer's: a
// stand-in (fakehelper.c) sends what the input prescribes (error output,
// exit code, and its PNG on standard output). The input: one byte saying
// which helper and how, one byte for the size asked, then what each reads
// (see below and fakehelper.c).
#include "fuzzsupport.h"

#include "picture/helperdecode.h"
#include "picture/metafile.h"
#include "picture/sharedpicture.h"

#include <QFile>
#include <QtEndian>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace lumenta;

namespace {

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

// Descriptors closed however a run ends.
struct Descriptors {
    int fd[4] = {-1, -1, -1, -1}; // the socket's two ends, the memfd sent, the memfd received
    ~Descriptors() {
        for (int f : fd)
            if (f >= 0)
                ::close(f);
    }
};

// The picture decoder's packet: kind bits 0x01 to 0x04 choose the seals
// left off the memfd, 0x08 sends no memfd at all, 0x10 gives the memfd a
// length (a 32-bit number, up to 8 MB) instead of the bytes that follow;
// box 0 asks for the natural size, else a box of up to 16 x 16. Then one
// byte for the message length and the message (a header of 32 bytes, then
// its colours), then the memfd's bytes.
void decodedPictureFrom(uint8_t kind, uint8_t box, fuzz::InputReader& in) {
    const QSize asked = box ? QSize(1 + box % 16, 1 + box / 16) : QSize();
    const uint32_t length = (kind & 0x10) ? in.take<uint32_t>() % (8u << 20) : 0;
    const QByteArray message = in.takeBytes(in.take<uint8_t>());
    const QByteArray pixels = in.rest();

    Descriptors fds;
    LUMENTA_FUZZ_CHECK(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds.fd) == 0);
    QString why;
    if (kind & 0x08) {
        LUMENTA_FUZZ_CHECK(::send(fds.fd[1], message.constData(), size_t(message.size()), 0) ==
                           message.size());
    } else {
        fds.fd[2] = ::memfd_create("fuzz-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
        LUMENTA_FUZZ_CHECK(fds.fd[2] >= 0);
        if (kind & 0x10)
            LUMENTA_FUZZ_CHECK(::ftruncate(fds.fd[2], off_t(length)) == 0);
        else
            LUMENTA_FUZZ_CHECK(::write(fds.fd[2], pixels.constData(), size_t(pixels.size())) ==
                               pixels.size());
        int seals = F_SEAL_SEAL;
        if (!(kind & 0x01))
            seals |= F_SEAL_SHRINK;
        if (!(kind & 0x02))
            seals |= F_SEAL_GROW;
        if (!(kind & 0x04))
            seals |= F_SEAL_WRITE;
        LUMENTA_FUZZ_CHECK(::fcntl(fds.fd[2], F_ADD_SEALS, seals) == 0);
        LUMENTA_FUZZ_CHECK(sendPicture(fds.fd[1], message, fds.fd[2], &why));
    }
    QByteArray received;
    if (!receivePicture(fds.fd[0], &received, &fds.fd[3], &why)) {
        LUMENTA_FUZZ_CHECK(!why.isEmpty() && fds.fd[3] < 0);
        return;
    }
    LUMENTA_FUZZ_CHECK(received == message && fds.fd[3] >= 0);
    QSize natural;
    ColourSpace colours;
    why.clear();
    const QImage image = acceptHelperPicture(received, fds.fd[3], asked, &natural, &colours, &why);
    LUMENTA_FUZZ_CHECK(image.isNull() != why.isEmpty());
    if (image.isNull())
        return;
    LUMENTA_FUZZ_CHECK(fitsAllocationLimit(natural, 32));
    LUMENTA_FUZZ_CHECK(image.format() == QImage::Format_RGB32 ||
                       image.format() == QImage::Format_ARGB32_Premultiplied);
    LUMENTA_FUZZ_CHECK(image.size() == (asked.isEmpty() ? natural : fittedSize(natural, asked)));
    // Every pixel is readable: the mapping covers the whole picture.
    quint32 sum = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const quint32*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            sum += row[x];
    }
    static volatile quint32 sink;
    sink = sum;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::startCoreApplication();
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
    decodedPictureFrom(kind, box, in);
    return 0;
}
