// Decoding through lumenta-picdecode: the path and the size wanted go on
// its command line; the header and the pixels come back on its standard
// output, read straight into the picture's buffer and checked against what
// was asked.
#include "picture/helperdecode.h"

#include "picture/helperprocess.h"
#include "picture/picturebuffer.h"

#include <QIODevice>

#include <cstring>

namespace lumenta {

QString pictureDecoderPath() {
    return findHelperProgram("lumenta-picdecode", "LUMENTA_PICDECODE");
}

Picture decodeInHelper(const QString& path, const PictureNeed& need, LoadProgress* progress,
                       int timeoutMs) {
    Picture pic;
    const QString program = pictureDecoderPath();
    if (program.isEmpty()) {
        pic.error = QStringLiteral("the picture decoder lumenta-picdecode was not found");
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
    run.arguments = {QStringLiteral("--input"), path};
    if (reduced)
        run.arguments << QStringLiteral("--box")
                      << QStringLiteral("%1x%2").arg(need.box.width()).arg(need.box.height());
    if (reduced && need.kind == PictureNeed::Kind::Thumbnail)
        run.arguments << QStringLiteral("--thumbnail");
    run.timeoutMs = timeoutMs;
    if (progress)
        run.cancelled = [progress] { return progress->isCancelled(); };

    HelperPictureHeader header;
    QSize natural;
    QImage image;
    qint64 filled = 0; // bytes of pixels received
    run.consume = [&](QIODevice& out, bool finished, QString* why) {
        if (image.isNull()) {
            if (out.bytesAvailable() < qint64(sizeof header)) {
                *why = QStringLiteral("the picture decoder sent no picture");
                return !finished;
            }
            out.read(reinterpret_cast<char*>(&header), sizeof header);
            natural = QSize(int(qMin<quint32>(header.naturalWidth, INT_MAX)),
                            int(qMin<quint32>(header.naturalHeight, INT_MAX)));
            const QSize size(int(qMin<quint32>(header.width, INT_MAX)),
                             int(qMin<quint32>(header.height, INT_MAX)));
            const QSize expected = reduced ? fittedSize(natural, need.box) : natural;
            // Compared as a number: any other value is no QImage::Format.
            const bool rgb32 = header.format == quint32(QImage::Format_RGB32);
            const bool argb32 = header.format == quint32(QImage::Format_ARGB32_Premultiplied);
            const auto format = rgb32 ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied;
            if (std::memcmp(header.magic, HelperPictureHeader().magic, 4) != 0 ||
                (!rgb32 && !argb32) || !fitsAllocationLimit(natural, 32) || size != expected) {
                *why = QStringLiteral("the picture decoder sent an unexpected picture");
                return false;
            }
            if (progress && !progress->mayAllocate(qint64(size.width()) * size.height() * 4)) {
                *why = QStringLiteral("cancelled");
                return false;
            }
            image = newPictureBuffer(size, format);
            if (image.isNull()) {
                *why = QStringLiteral("no memory for the picture");
                return false;
            }
        }
        const qint64 rowBytes = qint64(image.width()) * 4;
        const qint64 total = rowBytes * image.height();
        while (filled < total && out.bytesAvailable() > 0) {
            const qint64 row = filled / rowBytes, col = filled % rowBytes;
            const qint64 n =
                out.read(reinterpret_cast<char*>(image.scanLine(int(row))) + col, rowBytes - col);
            if (n <= 0)
                break;
            filled += n;
        }
        if (out.bytesAvailable() > 0) {
            *why = QStringLiteral("the picture decoder sent too much data");
            return false;
        }
        if (finished && filled != total) {
            *why = QStringLiteral("the picture decoder sent a truncated picture");
            return false;
        }
        return true;
    };
    const HelperOutcome outcome = runHelper(run);
    if (!outcome.ok()) {
        pic.error = outcome.error;
        return pic;
    }
    pic.kind = Picture::Kind::Raster;
    pic.naturalSize = natural;
    pic.region = QRect(QPoint(), natural);
    pic.image = std::move(image);
    return reduced ? pic : derivePicture(pic, need);
}

} // namespace lumenta
