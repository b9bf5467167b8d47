// Rendering a metafile through the helper program lumenta-mfrender: the
// bytes go to its standard input, a PNG comes back on its standard output.
// The helper runs in its own process group, so a timeout kills it together
// with anything it started.
#include "picture/metafile.h"

#include "picture/picturebuffer.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace lumenta {

namespace {

const char kHelperName[] = "lumenta-mfrender";

// Enough for the largest picture the helper may return (8192 x 8192 RGB32).
constexpr int kDecodeLimitMB = 512;
// The largest PNG of such a picture (stored uncompressed), with room to spare.
constexpr qint64 kMaxPictureBytes = qint64(8192) * 8192 * 4 + (qint64(1) << 20);
constexpr qsizetype kMaxErrorBytes = 8192;

QString executableIn(const QString& dir) {
    if (dir.isEmpty())
        return {};
    const QFileInfo info(QDir(dir).filePath(QLatin1String(kHelperName)));
    return (info.isFile() && info.isExecutable()) ? info.absoluteFilePath() : QString();
}

// The last line the helper wrote on its error output (it ends with its
// own diagnosis), trimmed to a reasonable length.
QString lastLine(const QByteArray& err) {
    const QList<QByteArray> lines = err.trimmed().split('\n');
    QString line = QString::fromUtf8(lines.isEmpty() ? QByteArray() : lines.last().trimmed());
    if (line.size() > 300)
        line = line.left(300) + QStringLiteral("...");
    return line;
}

void killGroup(QProcess& proc) {
    const qint64 pid = proc.processId();
    if (pid > 0)
        ::kill(-pid_t(pid), SIGKILL);
    proc.kill();
    proc.waitForFinished(2000);
}

QImage decodePng(const QByteArray& png) {
    // The global allocation limit may be lower than the largest picture the
    // helper can send back; raise it, never lower it.
    if (QImageReader::allocationLimit() < kDecodeLimitMB)
        QImageReader::setAllocationLimit(kDecodeLimitMB);
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    // Into a buffer of our own: a large picture then costs few page faults.
    QImage image = newPictureBuffer(reader.size(), reader.imageFormat());
    if (!reader.read(&image))
        return QImage();
    return image;
}

} // namespace

QString metafileRendererPath() {
    const QString fromEnv = qEnvironmentVariable("LUMENTA_MFRENDER");
    if (!fromEnv.isEmpty()) {
        const QFileInfo info(fromEnv);
        return (info.isFile() && info.isExecutable()) ? info.absoluteFilePath() : QString();
    }
    QString path;
    if (QCoreApplication::instance())
        path = executableIn(QCoreApplication::applicationDirPath());
#ifdef LUMENTA_BUILD_BIN_DIR
    if (path.isEmpty())
        path = executableIn(QStringLiteral(LUMENTA_BUILD_BIN_DIR));
#endif
    return path;
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

    QDeadlineTimer deadline(qMax(timeoutMs, 1));
    QProcess proc;
    proc.setProgram(program);
    proc.setArguments({QStringLiteral("--kind"),
                       kind == MetafileKind::Wmf ? QStringLiteral("wmf") : QStringLiteral("emf"),
                       QStringLiteral("--size"),
                       QStringLiteral("%1x%2").arg(size.width()).arg(size.height())});
    proc.setChildProcessModifier([] { ::setpgid(0, 0); });
    // The helper's large pictures on huge pages: far fewer page faults.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("GLIBC_TUNABLES")))
        env.insert(QStringLiteral("GLIBC_TUNABLES"), QStringLiteral("glibc.malloc.hugetlb=1"));
    proc.setProcessEnvironment(env);
    proc.start(QIODevice::ReadWrite);
    if (!proc.waitForStarted(int(qMax<qint64>(deadline.remainingTime(), 1)))) {
        const QString why = proc.errorString();
        killGroup(proc);
        return fail(QStringLiteral("the metafile renderer did not start: %1").arg(why));
    }
    proc.write(bytes);
    proc.closeWriteChannel();
    // Wait in short steps, keeping only the end of the error output and
    // refusing more picture data than the largest PNG could be.
    QByteArray errors;
    while (!proc.waitForFinished(20) && proc.state() != QProcess::NotRunning) {
        errors = (errors + proc.readAllStandardError()).right(kMaxErrorBytes);
        if (proc.bytesAvailable() > kMaxPictureBytes) {
            killGroup(proc);
            return fail(QStringLiteral("the metafile renderer sent too much data"));
        }
        if (cancelled && cancelled()) {
            killGroup(proc);
            return fail(QStringLiteral("cancelled"));
        }
        if (deadline.hasExpired()) {
            killGroup(proc);
            return fail(
                QStringLiteral("the metafile renderer did not finish within %1 ms").arg(timeoutMs));
        }
    }
    errors += proc.readAllStandardError();
    if (proc.exitStatus() != QProcess::NormalExit)
        return fail(QStringLiteral("the metafile renderer crashed"));
    const QString diagnosis = lastLine(errors);
    if (proc.exitCode() != 0)
        return fail(QStringLiteral("the metafile renderer failed (exit code %1): %2")
                        .arg(proc.exitCode())
                        .arg(diagnosis));
    QImage image = decodePng(proc.readAllStandardOutput());
    if (image.isNull())
        return fail(QStringLiteral("the metafile renderer sent no readable picture"));
    if (image.size() != size)
        return fail(QStringLiteral("the metafile renderer sent a %1x%2 picture instead of %3x%4")
                        .arg(image.width())
                        .arg(image.height())
                        .arg(size.width())
                        .arg(size.height()));
    return image;
}

} // namespace lumenta
