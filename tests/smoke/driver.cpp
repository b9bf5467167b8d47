// Drives the real program where no outside tool can send it input (a
// Wayland compositor without a seat): it reads one command a line, fields
// apart by tabs, from the FIFO $LUMENTA_DRIVER/in and answers one line on
// $LUMENTA_DRIVER/out. Input comes as Qt's test events; the rest is the
// platform's.
//   window REGEX     waits (20 s) for a shown window so titled: "ok W H"
//   gone REGEX       waits (10 s) until none is shown: "ok"
//   key REGEX KEYS   a key sequence ("Ctrl+Q") to its focus
//   click REGEX X Y  a left click at a logical point of the window
//   screen REGEX     "ok W H RATIO" of the window's screen
//   platform         "ok NAME";  clipboard: "ok FORMAT..."
// Anything that fails answers "error ...".
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QKeySequence>
#include <QMimeData>
#include <QPointer>
#include <QRegularExpression>
#include <QScreen>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <fcntl.h>
#include <unistd.h>

namespace {

QWidget* shownWindow(const QString& pattern) {
    const QRegularExpression re(pattern);
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && re.match(w->windowTitle()).hasMatch())
            return w;
    return nullptr;
}

class Driver : public QObject {
public:
    explicit Driver(const QByteArray& dir) {
        m_in = ::open((dir + "/in").constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        m_out = ::open((dir + "/out").constData(), O_RDWR | O_CLOEXEC);
        if (m_in < 0 || m_out < 0)
            qFatal("driver: no FIFOs in %s", dir.constData());
        auto* notifier = new QSocketNotifier(m_in, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, [this] { readCommands(); });
    }

private:
    void readCommands() {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(m_in, buf, sizeof buf)) > 0)
            m_pending.append(buf, n);
        runNext();
    }

    void runNext() {
        if (m_busy)
            return;
        const qsizetype eol = m_pending.indexOf('\n');
        if (eol < 0)
            return;
        const QString line = QString::fromUtf8(m_pending.left(eol));
        m_pending.remove(0, eol + 1);
        m_busy = true;
        run(line);
    }

    void answer(const QString& text) {
        const QByteArray bytes = text.toUtf8() + '\n';
        if (::write(m_out, bytes.constData(), bytes.size()) != bytes.size())
            qWarning("driver: answer lost");
        m_busy = false;
        QTimer::singleShot(0, this, [this] { runNext(); });
    }

    // Input comes after the answer, from the event loop: it may run a modal window.
    void deliver(std::function<void()> input) { QTimer::singleShot(0, this, std::move(input)); }

    // Checks `ready` from the event loop until it gives an answer or time is up.
    void poll(int ms, std::function<QString()> ready, const QString& timeout) {
        QElapsedTimer clock;
        clock.start();
        auto* timer = new QTimer(this);
        timer->start(50);
        connect(timer, &QTimer::timeout, this, [=, this] {
            const QString a = ready();
            if (a.isEmpty() && clock.elapsed() < ms)
                return;
            timer->deleteLater();
            answer(a.isEmpty() ? timeout : a);
        });
    }

    void run(const QString& line) {
        const QStringList fields = line.split(QLatin1Char('\t'));
        const QString cmd = fields.value(0), pattern = fields.value(1), rest = fields.value(2);
        if (cmd == QLatin1String("platform"))
            return answer(QStringLiteral("ok ") + QGuiApplication::platformName());
        if (cmd == QLatin1String("clipboard")) {
            const QMimeData* data = QApplication::clipboard()->mimeData();
            return answer(QStringLiteral("ok ") +
                          (data ? data->formats().join(QLatin1Char(' ')) : QString()));
        }
        if (cmd == QLatin1String("window"))
            return poll(
                20000,
                [pattern] {
                    QWidget* w = shownWindow(pattern);
                    return w && w->windowHandle() && w->windowHandle()->isExposed()
                               ? QStringLiteral("ok %1 %2").arg(w->width()).arg(w->height())
                               : QString();
                },
                QStringLiteral("error no window ") + pattern);
        if (cmd == QLatin1String("gone"))
            return poll(
                10000,
                [pattern] { return shownWindow(pattern) ? QString() : QStringLiteral("ok"); },
                QStringLiteral("error still shown ") + pattern);
        QWidget* w = shownWindow(pattern);
        if (!w)
            return answer(QStringLiteral("error no window ") + pattern);
        if (cmd == QLatin1String("key")) {
            const QKeySequence seq(rest);
            if (seq.isEmpty())
                return answer(QStringLiteral("error no keys ") + rest);
            answer(QStringLiteral("ok"));
            return deliver([w = QPointer<QWidget>(w), seq] {
                if (!w)
                    return;
                // No seat gives the keyboard focus: taken here, so that
                // shortcuts work.
                if (!w->isActiveWindow())
                    QApplication::setActiveWindow(w);
                QTest::keySequence(w->focusWidget() ? w->focusWidget() : w.data(), seq);
            });
        }
        if (cmd == QLatin1String("click")) {
            const QPoint at(rest.toInt(), fields.value(3).toInt());
            QWidget* child = w->childAt(at);
            QPointer<QWidget> to = child ? child : w;
            const QPoint local = to->mapFrom(w, at);
            answer(QStringLiteral("ok"));
            return deliver([to, local] {
                if (to)
                    QTest::mouseClick(to, Qt::LeftButton, {}, local);
            });
        }
        if (cmd == QLatin1String("screen")) {
            QScreen* s = w->screen();
            if (!s)
                return answer(QStringLiteral("error no screen"));
            return answer(QStringLiteral("ok %1 %2 %3")
                              .arg(s->size().width())
                              .arg(s->size().height())
                              .arg(s->devicePixelRatio()));
        }
        answer(QStringLiteral("error unknown command ") + cmd);
    }

    int m_in = -1;
    int m_out = -1;
    QByteArray m_pending;
    bool m_busy = false;
};

// Runs while the application object is being made: the driver starts with
// its event loop.
void startDriver() {
    const QByteArray dir = qgetenv("LUMENTA_DRIVER");
    if (dir.isEmpty())
        return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [dir] {
            if (qobject_cast<QApplication*>(QCoreApplication::instance()))
                new Driver(dir);
        },
        Qt::QueuedConnection);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startDriver)
