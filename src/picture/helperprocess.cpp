#include "picture/helperprocess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <unistd.h>

namespace lumenta {

namespace {

constexpr qsizetype kMaxErrorBytes = 8192;
constexpr qint64 kWallTimeFactor = 4;

QString executableIn(const QString& dir, const char* name) {
    if (dir.isEmpty())
        return {};
    const QFileInfo info(QDir(dir).filePath(QLatin1String(name)));
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

// Processor time the process has used so far (all its threads), in
// milliseconds; -1 when it cannot be read.
qint64 processorTimeMs(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The command name (field 2) may hold blanks: count fields after its ')'.
    const qsizetype close = line.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = line.mid(close + 2).split(' ');
    // Fields 14 and 15 (utime, stime) are the 12th and 13th after the name.
    if (fields.size() < 13)
        return -1;
    bool okUser = false, okSystem = false;
    const qint64 ticks = fields[11].toLongLong(&okUser) + fields[12].toLongLong(&okSystem);
    static const long perSecond = ::sysconf(_SC_CLK_TCK);
    if (!okUser || !okSystem || perSecond <= 0)
        return -1;
    return ticks * 1000 / perSecond;
}

void killGroup(QProcess& proc) {
    const qint64 pid = proc.processId();
    if (pid > 0)
        ::kill(-pid_t(pid), SIGKILL);
    proc.kill();
    proc.waitForFinished(2000);
}

} // namespace

QString findHelperProgram(const char* name, const char* envVariable) {
    const QString fromEnv = qEnvironmentVariable(envVariable);
    if (!fromEnv.isEmpty()) {
        const QFileInfo info(fromEnv);
        return (info.isFile() && info.isExecutable()) ? info.absoluteFilePath() : QString();
    }
    QString path;
    if (QCoreApplication::instance())
        path = executableIn(QCoreApplication::applicationDirPath(), name);
#ifdef LUMENTA_BUILD_BIN_DIR
    if (path.isEmpty())
        path = executableIn(QStringLiteral(LUMENTA_BUILD_BIN_DIR), name);
#endif
    return path;
}

HelperOutcome runHelper(const HelperRun& run) {
    HelperOutcome outcome;
    auto fail = [&outcome](const QString& why) {
        outcome.error = why;
        outcome.output.clear();
        return outcome;
    };
    // The time limit counts the processor time the helper uses, so that a
    // busy machine does not fail pictures that merely wait for a processor;
    // a helper that sleeps or blocks is stopped after a few times the limit.
    QDeadlineTimer deadline(qMax(qint64(run.timeoutMs) * kWallTimeFactor, qint64(1)));
    QProcess proc;
    proc.setProgram(run.program);
    proc.setArguments(run.arguments);
    const int inherited = run.inheritedFd;
    proc.setChildProcessModifier([inherited] {
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (inherited >= 0)
            ::fcntl(inherited, F_SETFD, 0);
    });
    // The helper's large pictures on huge pages: far fewer page faults.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("GLIBC_TUNABLES")))
        env.insert(QStringLiteral("GLIBC_TUNABLES"), QStringLiteral("glibc.malloc.hugetlb=1"));
    proc.setProcessEnvironment(env);
    proc.start(QIODevice::ReadWrite);
    if (!proc.waitForStarted(int(qMax<qint64>(deadline.remainingTime(), 1)))) {
        const QString why = proc.errorString();
        killGroup(proc);
        return fail(QStringLiteral("%1 did not start: %2").arg(run.what, why));
    }
    proc.write(run.input);
    proc.closeWriteChannel();

    QString refused;
    auto take = [&](bool finished) {
        if (run.consume)
            return run.consume(proc, finished, &refused);
        if (proc.bytesAvailable() > run.maxOutputBytes) {
            refused = QStringLiteral("%1 sent too much data").arg(run.what);
            return false;
        }
        return true;
    };
    // Wait in short steps, keeping only the end of the error output.
    QByteArray errors;
    while (!proc.waitForFinished(20) && proc.state() != QProcess::NotRunning) {
        errors = (errors + proc.readAllStandardError()).right(kMaxErrorBytes);
        if (proc.bytesAvailable() > 0 && !take(false)) {
            killGroup(proc);
            return fail(refused);
        }
        if (run.cancelled && run.cancelled()) {
            killGroup(proc);
            return fail(QStringLiteral("cancelled"));
        }
        if (deadline.hasExpired() || processorTimeMs(proc.processId()) > run.timeoutMs) {
            killGroup(proc);
            return fail(
                QStringLiteral("%1 did not finish within %2 ms").arg(run.what).arg(run.timeoutMs));
        }
    }
    errors += proc.readAllStandardError();
    if (proc.exitStatus() != QProcess::NormalExit)
        return fail(QStringLiteral("%1 crashed").arg(run.what));
    if (proc.exitCode() != 0)
        return fail(QStringLiteral("%1 failed (exit code %2): %3")
                        .arg(run.what)
                        .arg(proc.exitCode())
                        .arg(lastLine(errors)));
    if (!take(true))
        return fail(refused);
    if (!run.consume)
        outcome.output = proc.readAllStandardOutput();
    return outcome;
}

} // namespace lumenta
