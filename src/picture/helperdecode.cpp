// Decoding through lumenta-picdecode: the path and the size wanted go on
// its command line, with the number of the socket it inherits; once it has
// ended well, the header and the memfd wait on that socket, checked against
// what was asked before the pixels are mapped.
#include "picture/helperdecode.h"

#include "picture/helperprocess.h"
#include "picture/sharedpicture.h"

#include <cstring>

#include <sys/socket.h>
#include <unistd.h>

namespace lumenta {

namespace {

// Descriptors closed when the decoding is over, however it ends.
struct Descriptors {
    int fd[3] = {-1, -1, -1}; // the viewer's end, the helper's end, the memfd
    ~Descriptors() {
        for (int f : fd)
            if (f >= 0)
                ::close(f);
    }
};

} // namespace

QString pictureDecoderPath() {
    return findHelperProgram("lumenta-picdecode", "LUMENTA_PICDECODE");
}

QImage acceptHelperPicture(const QByteArray& message, int fd, QSize box, QSize* natural,
                           QString* why) {
    HelperPictureHeader header;
    if (message.size() != qsizetype(sizeof header)) {
        *why = QStringLiteral("the picture decoder sent an unexpected picture");
        return QImage();
    }
    std::memcpy(&header, message.constData(), sizeof header);
    *natural = QSize(int(qMin<quint32>(header.naturalWidth, INT_MAX)),
                     int(qMin<quint32>(header.naturalHeight, INT_MAX)));
    const QSize size(int(qMin<quint32>(header.width, INT_MAX)),
                     int(qMin<quint32>(header.height, INT_MAX)));
    const QSize expected = box.isEmpty() ? *natural : fittedSize(*natural, box);
    const auto format = QImage::Format(header.format);
    if (std::memcmp(header.magic, HelperPictureHeader().magic, 4) != 0 ||
        (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32_Premultiplied) ||
        !fitsAllocationLimit(*natural, 32) || size != expected) {
        *why = QStringLiteral("the picture decoder sent an unexpected picture");
        return QImage();
    }
    QString problem;
    const QImage image =
        mapSharedPicture(fd, size, qsizetype(header.bytesPerLine), format, &problem);
    if (image.isNull())
        *why = QStringLiteral("the picture decoder sent %1").arg(problem);
    return image;
}

Picture decodeInHelper(const QString& path, const PictureNeed& need, LoadProgress* progress,
                       int timeoutMs) {
    Picture pic;
    const QString program = pictureDecoderPath();
    if (program.isEmpty()) {
        pic.error = QStringLiteral("the picture decoder lumenta-picdecode was not found");
        return pic;
    }
    Descriptors fds;
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds.fd) != 0) {
        pic.error = QStringLiteral("no socket for the picture decoder");
        return pic;
    }
    // The decoder reduces to fit a box; a covering size is cut from the
    // whole picture here.
    const bool reduced =
        (need.kind == PictureNeed::Kind::Fitted || need.kind == PictureNeed::Kind::Thumbnail) &&
        !need.box.isEmpty();
    HelperRun run;
    run.what = QStringLiteral("the picture decoder");
    run.program = program;
    run.arguments = {QStringLiteral("--input"), path, QStringLiteral("--socket"),
                     QString::number(fds.fd[1])};
    run.inheritedFd = fds.fd[1];
    if (reduced)
        run.arguments << QStringLiteral("--box")
                      << QStringLiteral("%1x%2").arg(need.box.width()).arg(need.box.height());
    if (reduced && need.kind == PictureNeed::Kind::Thumbnail)
        run.arguments << QStringLiteral("--thumbnail");
    run.timeoutMs = timeoutMs;
    run.maxOutputBytes = 0; // the picture comes on the socket only
    if (progress)
        run.cancelled = [progress] { return progress->isCancelled(); };
    const HelperOutcome outcome = runHelper(run);
    if (!outcome.ok()) {
        pic.error = outcome.error;
        return pic;
    }
    QByteArray message;
    QString why;
    if (!receivePicture(fds.fd[0], &message, &fds.fd[2], &why)) {
        pic.error = QStringLiteral("the picture decoder sent no picture (%1)").arg(why);
        return pic;
    }
    QSize natural;
    QImage image =
        acceptHelperPicture(message, fds.fd[2], reduced ? need.box : QSize(), &natural, &pic.error);
    if (image.isNull())
        return pic;
    if (progress && !progress->mayAllocate(image.sizeInBytes())) {
        pic.error = QStringLiteral("cancelled");
        return pic;
    }
    pic.kind = Picture::Kind::Raster;
    pic.naturalSize = natural;
    pic.region = QRect(QPoint(), natural);
    pic.image = std::move(image);
    return reduced ? pic : derivePicture(pic, need);
}

} // namespace lumenta
