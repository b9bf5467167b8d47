// The main window viewing a picture too large to be decoded whole, each
// measurement in a process of its own (its peak memory is its own):
//   first: the click to the first viewport painted from tiles, and to the
//          overview shown in the preview;
//   jump:  after the first viewport, the bottom-right viewport painted after
//          a jump there, then a walk across the picture;
// both with the GUI thread's worst lateness on a 5 ms timer and the peak
// resident memory.
#include "tilesbench.h"

#include "benchutil.h"

#include "app/appcontext.h"
#include "picture/pictureservice.h"
#include "picture/tilefeed.h"
#include "support/scripteddialogs.h"
#include "viewer/lumenta.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMouseEvent>
#include <QProcess>
#include <QScrollBar>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <functional>

namespace lumenta::tilesbench {

namespace {

const QSize kViewport(1920, 1080);

bool waitFor(const std::function<bool()>& done) {
    return bench::waitFor(done, 600000);
}

double peakMB() {
    return bench::procStatusKB("VmHWM:") / 1024.0;
}

double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// The application, timing every event the GUI thread handles (processor
// time of the GUI thread: on a busy machine the wall time of an event also
// counts the time other programs had the processor).
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* e) override {
        if (m_depth++ > 0) {
            const bool r = QApplication::notify(receiver, e);
            --m_depth;
            return r;
        }
        const double start = threadCpuMs();
        const bool r = QApplication::notify(receiver, e);
        --m_depth;
        const double ms = threadCpuMs() - start;
        if (ms > m_longest && qEnvironmentVariableIsSet("LUMENTA_BENCH_EVENTS"))
            std::fprintf(stderr, "event %d to %s: %.1f ms\n", int(e->type()),
                         receiver->metaObject()->className(), ms);
        m_longest = std::max(m_longest, ms);
        return r;
    }
    double longest() const { return m_longest; }
    void reset() { m_longest = 0; }

private:
    int m_depth = 0;
    double m_longest = 0;
};

// The GUI thread's worst lateness on a 5 ms timer.
class Latency : public QObject {
public:
    Latency() {
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const double ms = m_clock.nsecsElapsed() / 1e6;
            m_worst = std::max(m_worst, ms - 5.0);
            m_clock.start();
        });
        m_clock.start();
        m_timer.start(5);
    }
    double worst() const { return m_worst; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_worst = 0;
};

// Paints of the picture box once every tile in view is there.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(PictureBox* box) : m_box(box) { box->installEventFilter(this); }
    void arm() {
        m_done = -1;
        m_clock.start();
    }
    double done() const { return m_done; }

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && m_done < 0 && m_clock.isValid() && m_box->isTiled() &&
            m_box->isVisible() && m_box->feed()->covers(m_box->visibleNatural()))
            m_done = m_clock.nsecsElapsed() / 1e6;
        return false;
    }

private:
    PictureBox* m_box;
    QElapsedTimer m_clock;
    double m_done = -1;
};

struct Viewer {
    AppContext ctx;
    ScriptedDialogs dialogs;
    std::unique_ptr<Lumenta> w;

    explicit Viewer(const QString& folder) {
        ctx.dialogs = &dialogs;
        ctx.pictureService = std::make_shared<PictureService>();
        ctx.state.AppFolder = folder;
        ctx.state.settingsPathOverride = QDir(folder).filePath(QStringLiteral("no-Affich.cfg"));
        w = std::make_unique<Lumenta>(ctx);
        w->startUp();
        w->show();
        waitFor([this] { return w->isVisible(); });
        // A viewport of 1920 x 1080, as the anchors extract.
        for (int i = 0; i < 4; ++i) {
            const QSize missing = kViewport - w->PicFond->size();
            w->resize(w->size() + missing);
            QCoreApplication::processEvents();
        }
        w->File1->setPattern(QStringLiteral("*.*"));
        // The folder is listed on a worker.
        waitFor([this] { return !w->File1->isListing(); });
    }

    bool click(const QString& name) const {
        if (!waitFor([&] { return w->File1->rowOf(name) >= 0; }))
            return false;
        const int row = w->File1->rowOf(name);
        const QModelIndex item = w->File1->model()->index(row, 0);
        w->File1->scrollTo(item);
        QWidget* viewport = w->File1->viewport();
        const QPointF at = w->File1->visualRect(item).center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent e(type, at, viewport->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
            QApplication::sendEvent(viewport, &e);
        }
        return true;
    }

    // Scrolls to a fraction of each bar's range and waits for that view.
    double scrollTo(PaintWatch& watch, double fx, double fy) {
        watch.arm();
        w->HScroll1->setValue(int(w->HScroll1->maximum() * fx));
        w->VScroll1->setValue(int(w->VScroll1->maximum() * fy));
        w->Open->update();
        return waitFor([&] { return watch.done() >= 0; }) ? watch.done() : -1;
    }
};

} // namespace

int viewerRun(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TimedApplication app(argc, argv);
    if (argc < 4)
        return 2;
    const QString mode = QString::fromLocal8Bit(argv[2]);
    const QFileInfo file(QString::fromLocal8Bit(argv[3]));
    Viewer v(file.absolutePath());
    Latency latency;
    // From the click on (the window's own start is not measured).
    app.reset();
    PaintWatch watch(v.w->Open);
    watch.arm();
    if (!v.click(file.fileName()))
        return 1;
    QElapsedTimer clock;
    clock.start();
    if (!waitFor([&] { return watch.done() >= 0; }))
        return 1;
    const double first = watch.done();
    if (mode == QLatin1String("first")) {
        if (!waitFor([&] { return !v.w->Image1->image().isNull(); }))
            return 1;
        const double overview = clock.nsecsElapsed() / 1e6;
        std::printf("%.1f %.1f %.1f %.1f %.1f\n", first, overview, latency.worst(), peakMB(),
                    app.longest());
        return 0;
    }
    const double jump = v.scrollTo(watch, 1, 1);
    // A walk across: back up the diagonal, then along the middle.
    for (double f : {0.8, 0.6, 0.4, 0.2, 0.0})
        v.scrollTo(watch, f, f);
    for (double f : {0.25, 0.5, 0.75, 1.0})
        v.scrollTo(watch, f, 0.5);
    std::printf("%.1f %.1f %.1f %.1f %.1f\n", first, jump, latency.worst(), peakMB(),
                app.longest());
    return 0;
}

int viewer(const QString& program, const QStringList& files, int runs) {
    for (const QString& file : files) {
        std::printf("%s, the main window, viewport %d x %d, median of %d\n", qPrintable(file),
                    kViewport.width(), kViewport.height(), runs);
        const Anchors a = measureAnchors(file, runs);
        std::vector<double> first, overview, jump, latency, rss, longest;
        for (int i = 0; i < runs; ++i) {
            for (const char* mode : {"first", "jump"}) {
                QProcess p;
                p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
                p.start(program, {QStringLiteral("--viewer-run"), QLatin1String(mode), file});
                if (!p.waitForFinished(-1) || p.exitCode() != 0) {
                    std::fprintf(stderr, "the %s run failed\n", mode);
                    return 1;
                }
                const QByteArray out = p.readAllStandardOutput().trimmed();
                if (qEnvironmentVariableIsSet("LUMENTA_BENCH_RUNS"))
                    std::printf("  run %s: %s\n", mode, out.constData());
                const QList<QByteArray> v = out.split(' ');
                if (v.size() != 5)
                    return 1;
                if (qstrcmp(mode, "first") == 0) {
                    first.push_back(v[0].toDouble());
                    overview.push_back(v[1].toDouble());
                } else {
                    jump.push_back(v[1].toDouble());
                }
                latency.push_back(v[2].toDouble());
                rss.push_back(v[3].toDouble());
                longest.push_back(v[4].toDouble());
            }
        }
        const auto ratio = [](double ms, Timing anchor) {
            std::printf("%8.0f ms  anchor %8.0f ms (cpu %6.0f)  ratio %.2f  (goal <= 1.00)\n", ms,
                        anchor.wall, anchor.cpu, anchor.wall > 0 ? ms / anchor.wall : 0);
        };
        std::printf("  first viewport painted                 ");
        ratio(median(first), a.topLeft);
        std::printf("  bottom-right viewport after a jump     ");
        ratio(median(jump), a.bottomRight);
        std::printf("  overview in the preview                ");
        ratio(median(overview), a.thumbnail);
        std::printf("  GUI thread, worst lateness of a timer  %8.1f ms (goal <= 50)\n",
                    *std::max_element(latency.begin(), latency.end()));
        std::printf("  GUI thread, longest event (its cpu)    %8.1f ms\n",
                    *std::max_element(longest.begin(), longest.end()));
        std::printf("  peak resident memory                   %8.0f MB (goal <= 600)\n",
                    *std::max_element(rss.begin(), rss.end()));
    }
    return 0;
}

} // namespace lumenta::tilesbench
