#include "fuzzsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cerrno>
#include <csignal>
#include <cstdio>

#include <unistd.h>

namespace lumenta::fuzz {

namespace {

// Made once and never destroyed: the fuzzer ends the process by exit(),
// after Qt's own globals may be gone.
QCoreApplication*& application() {
    static QCoreApplication* app = nullptr;
    return app;
}

char appName[] = "lumenta-fuzz";
char* appArgv[] = {appName, nullptr};
int appArgc = 1;

void privateRuntimeFolder() {
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    const QString dir = scratchFolder() + QStringLiteral("/runtime");
    QDir().mkpath(dir);
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir));
}

void removeScratchFolder() {
    QDir(scratchFolder()).removeRecursively();
}

// Folders left by runs that crashed (the fuzzer stops at its first crash).
void removeStaleFolders(const QString& base) {
    const QStringList names =
        QDir(base).entryList({QStringLiteral("lumenta-fuzz-*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        bool ok = false;
        const int pid = name.mid(int(sizeof "lumenta-fuzz-") - 1).toInt(&ok);
        if (ok && pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH)
            QDir(base + QLatin1Char('/') + name).removeRecursively();
    }
}

} // namespace

void startGuiApplication() {
    if (application())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    privateRuntimeFolder();
    application() = new QGuiApplication(appArgc, appArgv);
}

void startCoreApplication() {
    if (application())
        return;
    application() = new QCoreApplication(appArgc, appArgv);
}

QString scratchFolder() {
    // Never destroyed: removeScratchFolder() still needs it at exit.
    static const QString* const folder = [] {
        const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm")
                                                                       : QDir::tempPath();
        removeStaleFolders(base);
        const QString dir = QStringLiteral("%1/lumenta-fuzz-%2").arg(base).arg(::getpid());
        if (!QDir().mkpath(dir)) {
            std::fprintf(stderr, "fuzz: cannot make %s\n", qPrintable(dir));
            std::abort();
        }
        std::atexit(removeScratchFolder);
        return new QString(dir);
    }();
    return *folder;
}

QString writeScratchFile(const QString& name, const QByteArray& bytes) {
    const QString path = scratchFolder() + QLatin1Char('/') + name;
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "fuzz: cannot write %s\n", qPrintable(path));
        std::abort();
    }
    return path;
}

void checkFailed(const char* what, const char* file, int line) {
    std::fprintf(stderr, "fuzz: check failed: %s (%s:%d)\n", what, file, line);
    std::abort();
}

} // namespace lumenta::fuzz
