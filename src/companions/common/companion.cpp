#include "companions/common/companion.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace lumenta::companion {

int takeStandardOutput() {
    const int fd = ::dup(STDOUT_FILENO);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    return fd;
}

void limitSelf(int seconds, qint64 addressSpaceBytes) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    struct rlimit none = {0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
#ifndef __SANITIZE_ADDRESS__
    // (AddressSanitizer's shadow memory alone is far beyond any such limit.)
    struct rlimit memory = {rlim_t(addressSpaceBytes), rlim_t(addressSpaceBytes)};
    ::setrlimit(RLIMIT_AS, &memory);
#else
    (void)addressSpaceBytes;
#endif
    ::alarm(unsigned(seconds));
}

bool readInput(const QString& path, qint64 maxBytes, QByteArray* out) {
    if (!path.isEmpty() && path != QLatin1String("-")) {
        QFile in(path);
        if (!in.open(QIODevice::ReadOnly) || in.size() > maxBytes)
            return false;
        *out = in.readAll();
        return in.error() == QFile::NoError;
    }
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n == 0)
            return true;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (out->size() + n > maxBytes)
            return false;
        out->append(buf, n);
    }
}

bool writeAll(int fd, const char* data, qint64 size) {
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size_t(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

int failWith(const char* program, int code, const QString& why) {
    std::fprintf(stderr, "%s: error: %s\n", program, why.toLocal8Bit().constData());
    return code;
}

} // namespace lumenta::companion
