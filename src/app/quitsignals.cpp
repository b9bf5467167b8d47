#include "app/quitsignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace lumenta {

namespace {

// The handler may only write to a pipe: it runs on whatever thread the
// signal lands on, between any two instructions.
std::atomic<int> g_writeEnd{-1};

void onSignal(int signalNumber) {
    const int savedErrno = errno;
    const int fd = g_writeEnd.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const char byte = char(signalNumber);
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

} // namespace

QuitSignals::QuitSignals(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent), m_signals(signalNumbers) {
    if (::pipe2(m_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    g_writeEnd.store(m_pipe[1]);
    m_notifier = new QSocketNotifier(m_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::drain);
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : m_signals)
        ::sigaction(s, &sa, nullptr);
}

QuitSignals::~QuitSignals() {
    if (m_pipe[0] < 0)
        return;
    for (int s : m_signals)
        ::signal(s, SIG_DFL);
    g_writeEnd.store(-1);
    ::close(m_pipe[0]);
    ::close(m_pipe[1]);
}

void QuitSignals::drain() {
    char bytes[16];
    ssize_t n;
    while ((n = ::read(m_pipe[0], bytes, sizeof bytes)) > 0) {
        for (ssize_t i = 0; i < n; ++i)
            Q_EMIT received(int(bytes[i]));
    }
}

} // namespace lumenta
