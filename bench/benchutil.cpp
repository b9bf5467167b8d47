#include "benchutil.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

namespace lumenta::bench {

bool waitFor(const std::function<bool()>& done, int ms, int tickMs) {
    QElapsedTimer t;
    t.start();
    QTimer tick; // wakes the loop up to look at done() and the time
    tick.start(tickMs);
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

double procStatusKB(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toDouble();
    }
    return -1;
}

} // namespace lumenta::bench
