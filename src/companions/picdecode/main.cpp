// lumenta-picdecode: decodes one HEIF (HEIC, AVIF) or JPEG XL picture.
//
//   lumenta-picdecode --socket FD [--input FILE] [--box WIDTHxHEIGHT]
//                     [--thumbnail] [--time-limit SECONDS]
//
// The file is read from FILE, or from standard input when --input is
// missing or "-"; its format is told from its content. The picture goes to
// the unix socket FD (SOCK_SEQPACKET, inherited from the viewer) as one
// packet: a HelperPictureHeader (picture/helperdecode.h) and the
// descriptor of a sealed memfd holding the pixels (picture/
// sharedpicture.h): the upright picture at its natural size, or reduced to
// fit inside the box. --thumbnail lets an embedded thumbnail stand in when
// it is large enough. Nothing is written on standard output (what the
// libraries print there goes to standard error). Diagnostics go to
// standard error; on failure the last line says why.
// Exit codes: 0 decoded, 1 bad arguments, 2 input unreadable, 3 the file
// cannot be decoded, 4 the picture could not be handed over. The program
// ends itself after --time-limit seconds (60 by default) and when the
// process that started it dies.
#include "companions/common/companion.h"
#include "decoders.h"
#include "picture/helperdecode.h"
#include "picture/pictureformats.h"
#include "picture/sharedpicture.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace lumenta;
using namespace lumenta::companion;

namespace {

const char kProgram[] = "lumenta-picdecode";
constexpr qint64 kMaxInputBytes = qint64(512) << 20;
// The largest picture (1 GB) and the decoders' own planes and threads.
constexpr qint64 kAddressSpaceLimit = qint64(6) << 30;

struct Options {
    int socket = -1;
    QString input;
    picdecode::Request request;
    int timeLimit = 60;
};

bool parseArguments(int argc, char** argv, Options* opt, QString* why) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg = argv[i];
        if (arg == "--thumbnail") {
            opt->request.thumbnail = true;
            continue;
        }
        if (i + 1 >= argc) {
            *why = QStringLiteral("missing value after %1").arg(QString::fromLocal8Bit(arg));
            return false;
        }
        const QByteArray value = argv[++i];
        bool ok = true;
        if (arg == "--input") {
            opt->input = QString::fromLocal8Bit(value);
        } else if (arg == "--box") {
            const QList<QByteArray> parts = value.split('x');
            bool okW = false, okH = false;
            if (parts.size() == 2)
                opt->request.box = QSize(parts[0].toInt(&okW), parts[1].toInt(&okH));
            ok = okW && okH && !opt->request.box.isEmpty();
        } else if (arg == "--socket") {
            opt->socket = value.toInt(&ok);
            struct stat st {};
            ok = ok && ::fstat(opt->socket, &st) == 0 && S_ISSOCK(st.st_mode);
        } else if (arg == "--time-limit") {
            opt->timeLimit = value.toInt(&ok);
            ok = ok && opt->timeLimit > 0;
        } else {
            *why = QStringLiteral("unknown option %1").arg(QString::fromLocal8Bit(arg));
            return false;
        }
        if (!ok) {
            *why = QStringLiteral("bad value for %1").arg(QString::fromLocal8Bit(arg));
            return false;
        }
    }
    if (opt->socket < 0) {
        *why = QStringLiteral("--socket is missing");
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    ::close(takeStandardOutput()); // the picture goes to the socket
    Options opt;
    QString why;
    if (!parseArguments(argc, argv, &opt, &why))
        return failWith(kProgram, BadArguments, why);
    limitSelf(opt.timeLimit, kAddressSpaceLimit);

    QByteArray bytes;
    if (!readInput(opt.input, kMaxInputBytes, &bytes) || bytes.isEmpty())
        return failWith(kProgram, BadInput, QStringLiteral("cannot read the input"));

    // The shared memory the picture goes in, made ready while it decodes.
    SharedPictureBuffer shared;
    opt.request.naturalKnown = [&](QSize natural) {
        QString ignored; // tried again below
        shared.prepare(opt.request.box.isEmpty() ? natural : fittedSize(natural, opt.request.box),
                       &ignored);
    };
    picdecode::Decoded out;
    switch (detectHelperFormat(bytes.left(64))) {
    case HelperFormat::Heif:
        out = picdecode::decodeHeif(bytes, opt.request);
        break;
    case HelperFormat::Jxl:
        out = picdecode::decodeJxl(bytes, opt.request);
        break;
    case HelperFormat::None:
        return failWith(kProgram, DecodeFailed, QStringLiteral("neither HEIF nor JPEG XL"));
    }
    if (out.image.isNull())
        return failWith(kProgram, DecodeFailed,
                        out.error.isEmpty() ? QStringLiteral("decoding failed") : out.error);
    if (!fitsAllocationLimit(out.natural, 32))
        return failWith(kProgram, DecodeFailed, QStringLiteral("picture too large"));

    // Reduced to exactly what fits the box (the thumbnail may be larger),
    // then handed over in the viewer's own pixel layout.
    QImage image = out.image;
    const QSize target =
        opt.request.box.isEmpty() ? out.natural : fittedSize(out.natural, opt.request.box);
    if (image.size() != target)
        image = scaledSmooth(image, target);
    if (image.isNull() || image.size() != target)
        return failWith(kProgram, DecodeFailed, QStringLiteral("no memory for the picture"));
    const QImage::Format format =
        image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (shared.size() != target && !shared.prepare(target, &why))
        return failWith(kProgram, BadOutput, why);
    const int fd = shared.fill(image, format, &why);
    if (fd < 0)
        return failWith(kProgram, BadOutput, why);

    HelperPictureHeader header;
    header.width = quint32(image.width());
    header.height = quint32(image.height());
    header.naturalWidth = quint32(out.natural.width());
    header.naturalHeight = quint32(out.natural.height());
    header.format = quint32(format);
    header.bytesPerLine = quint32(image.width()) * 4;
    const QByteArray message(reinterpret_cast<const char*>(&header), sizeof header);
    if (!sendPicture(opt.socket, message, fd, &why))
        return failWith(kProgram, BadOutput, why);
    return Ok;
}
