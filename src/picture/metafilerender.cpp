// Rendering a metafile through the helper program lumenta-mfrender: the
// bytes go to its standard input, a PNG comes back on its standard output.
#include "picture/metafile.h"

#include "picture/helperprocess.h"
#include "picture/picturebuffer.h"

#include <QBuffer>
#include <QImageReader>

namespace lumenta {

namespace {

const char kHelperName[] = "lumenta-mfrender";

// Enough for the largest picture the helper may return (8192 x 8192 RGB32).
constexpr int kDecodeLimitMB = 512;
// The largest PNG of such a picture (stored uncompressed), with room to spare.
constexpr qint64 kMaxPictureBytes = qint64(8192) * 8192 * 4 + (qint64(1) << 20);

// The picture when its header gives the size asked for (*sent: the size
// it gives); nothing is allocated for a picture of any other size, which
// the buffer below would otherwise hold whatever its header claims.
QImage decodePng(const QByteArray& png, QSize expected, QSize* sent) {
    // The global allocation limit may be lower than the largest picture the
    // helper can send back; raise it, never lower it.
    if (QImageReader::allocationLimit() < kDecodeLimitMB)
        QImageReader::setAllocationLimit(kDecodeLimitMB);
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    *sent = reader.size();
    if (*sent != expected)
        return QImage();
    // Into a buffer of our own: a large picture then costs few page faults.
    QImage image = newPictureBuffer(expected, reader.imageFormat());
    if (!reader.read(&image))
        return QImage();
    return image;
}

} // namespace

QString metafileRendererPath() {
    return findHelperProgram(kHelperName, "LUMENTA_MFRENDER");
}

QImage renderMetafile(const QByteArray& bytes, MetafileKind kind, QString* error, int timeoutMs,
                      QSize wanted, const std::function<bool()>& cancelled) {
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return QImage();
    };
    if (error)
        error->clear();
    if (kind == MetafileKind::None)
        return fail(QStringLiteral("not a metafile"));
    const QSize natural = metafileNaturalSize(bytes, kind);
    if (!natural.isValid())
        return fail(QStringLiteral("the metafile header gives no usable size"));
    const QSize size = wanted.isEmpty()
                           ? metafileRenderSize(natural)
                           : wanted.boundedTo(QSize(kMetafileMaxSide, kMetafileMaxSide));
    const QString program = metafileRendererPath();
    if (program.isEmpty())
        return fail(QStringLiteral("the metafile renderer %1 was not found")
                        .arg(QLatin1String(kHelperName)));

    HelperRun run;
    run.what = QStringLiteral("the metafile renderer");
    run.program = program;
    run.arguments = {QStringLiteral("--kind"),
                     kind == MetafileKind::Wmf ? QStringLiteral("wmf") : QStringLiteral("emf"),
                     QStringLiteral("--size"),
                     QStringLiteral("%1x%2").arg(size.width()).arg(size.height())};
    run.input = bytes;
    run.timeoutMs = timeoutMs;
    run.cancelled = cancelled;
    run.maxOutputBytes = kMaxPictureBytes;
    const HelperOutcome outcome = runHelper(run);
    if (!outcome.ok())
        return fail(outcome.error);
    QSize sent;
    QImage image = decodePng(outcome.output, size, &sent);
    if (sent.isValid() && sent != size)
        return fail(QStringLiteral("the metafile renderer sent a %1x%2 picture instead of %3x%4")
                        .arg(sent.width())
                        .arg(sent.height())
                        .arg(size.width())
                        .arg(size.height()));
    if (image.isNull())
        return fail(QStringLiteral("the metafile renderer sent no readable picture"));
    return image;
}

} // namespace lumenta
