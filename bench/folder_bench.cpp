// Big folders, timed beside their yardsticks in the same run, on folders it
// makes on a memory file system (/dev/shm): one of 100,000 files (camera,
// phone and copied names, created in a shuffled order) holding one photo,
// and one holding only that photo.
//  (1) `lumenta FILE` until the window shows the photo, each start a fresh
//      process: FILE in the big folder against FILE alone in its folder
//      (goal: at most 1.2 times);
//  (2) the GUI thread's timer latency while the main window lists the big
//      folder (goal: at most 50 ms), also in the processes of (1);
//  (3) listing and sorting the big folder until the main window shows its
//      lines, against `ls -v DIR >/dev/null` (goal: at most 1.0 times), and
//      the bare listing function;
//  (4) the memory the big folder's lines take in the main window, over the
//      window on an empty folder (goal: at most 30 MB).
//
//   lumenta-folder-bench [--runs 5] [--files 100000] [--photo JPEG]
//
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM or DISPLAY says
// otherwise (under xvfb-run the starts of (1) go through X as a user's do).
// BENCH_TRACE=1 makes the starts of (1) say when the photo was decoded and
// the lists listed.
#include "benchutil.h"

#include "app/appcontext.h"
#include "picture/pictureservice.h"
#include "support/scripteddialogs.h"
#include "system/folderlisting.h"
#include "viewer/lumenta.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

using namespace lumenta;

namespace {

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double maxOf(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

double msSince(const QElapsedTimer& t) {
    return t.nsecsElapsed() / 1e6;
}

// A line of /proc/self/status, in kB.
double statusKB(const char* key) {
    return bench::procStatusKB(key);
}

// A name as cameras, phones and copies make them, for file i.
QByteArray nameFor(int i) {
    switch (i % 5) {
    case 0:
        return "IMG_" + QByteArray::number(i).rightJustified(6, '0') + ".JPG";
    case 1:
        return "DSC" + QByteArray::number(i).rightJustified(6, '0') + ".jpg";
    case 2:
        return "photo " + QByteArray::number(i) + ".jpg";
    case 3:
        return "Vacances \xc3\xa9t\xc3\xa9 " + QByteArray::number(i / 7) + " - copie (" +
               QByteArray::number(i % 7) + ").jpg";
    default:
        return "P" + QByteArray::number(i).rightJustified(7, '0') + ".JPG";
    }
}

bool writePhoto(const QString& path, const QString& from) {
    if (!from.isEmpty())
        return QFile::copy(from, path);
    // A photograph-like picture of 1920 x 1280: gradients with fine noise.
    QImage img(1920, 1280, QImage::Format_RGB32);
    quint32 seed = 99;
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 28) - 8;
            line[x] = qRgb(std::clamp(x * 255 / img.width() + noise, 0, 255),
                           std::clamp(y * 255 / img.height() + noise, 0, 255), 128 + noise);
        }
    }
    QImageWriter writer(path, "jpeg");
    writer.setQuality(90);
    return writer.write(img);
}

// big/ (files names and the photo), alone/ (the photo), empty/.
bool makeFolders(const QString& root, int files, const QString& photo) {
    for (const char* sub : {"big", "alone", "empty", "app"})
        QDir(root).mkpath(QLatin1String(sub));
    std::vector<int> order(size_t(files) - 1);
    for (int i = 0; i < files - 1; ++i)
        order[size_t(i)] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    const QByteArray base = QFile::encodeName(root) + "/big/";
    for (int i : order) {
        FILE* f = std::fopen((base + nameFor(i)).constData(), "w");
        if (!f)
            return false;
        std::fclose(f);
    }
    return writePhoto(root + QStringLiteral("/alone/photo.jpg"), photo) &&
           QFile::copy(root + QStringLiteral("/alone/photo.jpg"),
                       root + QStringLiteral("/big/photo.jpg"));
}

// A main window as the program makes it, its program folder `app`.
struct Window {
    AppContext ctx;
    ScriptedDialogs dialogs;
    std::unique_ptr<Lumenta> w;

    explicit Window(const QString& app) {
        ctx.dialogs = &dialogs;
        ctx.pictureService = std::make_shared<PictureService>();
        ctx.state.AppFolder = app;
        ctx.state.settingsPathOverride = QDir(app).filePath(QStringLiteral("Affich.cfg"));
        ctx.state.loadSettingsAtStartup();
        w = std::make_unique<Lumenta>(ctx);
        w->startUp();
        w->show();
    }
};

// Runs the event loop until done() holds; false after ms.
bool waitFor(const std::function<bool()>& done, int ms = 120000) {
    return bench::waitFor(done, ms);
}

// The longest wait of a 5 ms timer on this thread beyond its interval, from
// now until stop().
class LatencyProbe : public QObject {
public:
    LatencyProbe() {
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const double now = msSince(m_clock);
            m_worst = std::max(m_worst, now - m_last - kInterval);
            m_last = now;
        });
        m_clock.start();
        m_timer.start(kInterval);
    }
    double worst() const { return std::max(m_worst, msSince(m_clock) - m_last - kInterval); }

private:
    static constexpr int kInterval = 5;
    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_last = 0, m_worst = 0;
};

// (1) in a process of its own: prints the milliseconds from main() until the
// photo is painted whole, until the list is listed, and the worst timer
// latency meanwhile.
int openChild(const QString& app, const QString& file, const QElapsedTimer& sinceMain) {
    Window win(app);
    LatencyProbe probe;
    const QString path = QFileInfo(file).absoluteFilePath();
    QTimer::singleShot(0, win.w.get(), [&] { win.w->openFromCommandLine(path); });
    double shown = -1;
    struct Watch : QObject {
        std::function<void()> painted;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint)
                painted();
            return false;
        }
    } watch;
    watch.painted = [&] {
        if (shown < 0 && win.w->Open->isVisible() && win.w->Open->isComplete() &&
            win.ctx.state.CurrentFilePath == path && !win.w->picture().isNull()) {
            shown = msSince(sinceMain);
            // The parent's clock stops on this line.
            std::printf("%.1f\n", shown);
            std::fflush(stdout);
        }
    };
    win.w->Open->installEventFilter(&watch);
    if (qEnvironmentVariableIsSet("BENCH_TRACE")) {
        QObject::connect(&win.ctx.pictures(), &PictureService::finished,
                         [&] { std::fprintf(stderr, "decoded %.1f\n", msSince(sinceMain)); });
        QObject::connect(win.w->File1, &FileList::listed, [&] {
            std::fprintf(stderr, "listed %.1f rows %d\n", msSince(sinceMain),
                         win.w->File1->listCount());
        });
        QObject::connect(win.w->Dir1, &DirList::listed,
                         [&] { std::fprintf(stderr, "dirs %.1f\n", msSince(sinceMain)); });
        QTimer::singleShot(0, [&] { std::fprintf(stderr, "open %.1f\n", msSince(sinceMain)); });
    }
    if (!waitFor([&] { return shown >= 0; }))
        return 1;
    if (!waitFor([&] { return !win.w->File1->isListing() && win.w->File1->listCount() > 0; }))
        return 1;
    std::printf("%.1f %.1f %d\n", msSince(sinceMain), probe.worst(), win.w->File1->listCount());
    return win.w->File1->fileName() == QFileInfo(path).fileName() ? 0 : 1;
}

struct ChildRun {
    double wall = -1, shown = -1, listed = -1, latency = -1;
    int rows = 0;
};

ChildRun runOpen(const QString& app, const QString& file) {
    ChildRun r;
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer t;
    t.start();
    p.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--open-child"), app, file});
    if (!p.waitForReadyRead(120000))
        return r;
    r.wall = msSince(t);
    p.waitForFinished(120000);
    const QList<QByteArray> f = p.readAllStandardOutput().simplified().split(' ');
    if (p.exitCode() != 0 || f.size() < 4)
        return ChildRun{};
    r.shown = f[0].toDouble();
    r.listed = f[1].toDouble();
    r.latency = f[2].toDouble();
    r.rows = f[3].toInt();
    return r;
}

// (4) in a process of its own: kB of resident memory the big folder's lines
// add to the window on an empty folder, and the rise of the peak.
int memoryChild(const QString& root) {
    Window win(root + QStringLiteral("/app"));
    win.w->Dir1->setPath(root + QStringLiteral("/empty"));
    if (!waitFor([&] { return !win.w->File1->isListing() && !win.w->Dir1->isListing(); }))
        return 1;
    QCoreApplication::processEvents();
    const double rss0 = statusKB("VmRSS:"), hwm0 = statusKB("VmHWM:");
    win.w->Dir1->setPath(root + QStringLiteral("/big"));
    if (!waitFor([&] { return !win.w->File1->isListing() && win.w->File1->listCount() > 0; }))
        return 1;
    QCoreApplication::processEvents();
    std::printf("%.0f %.0f\n", statusKB("VmRSS:") - rss0, statusKB("VmHWM:") - hwm0);
    return 0;
}

double lsMs(const QString& folder) {
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("ls"), {QStringLiteral("-v"), folder});
    if (!p.waitForFinished(120000) || p.exitCode() != 0)
        return -1;
    return msSince(t);
}

} // namespace

int main(int argc, char** argv) {
    QElapsedTimer sinceMain;
    sinceMain.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() == 3 && args[0] == QLatin1String("--open-child"))
        return openChild(args[1], args[2], sinceMain);
    if (args.size() == 2 && args[0] == QLatin1String("--memory-child"))
        return memoryChild(args[1]);
    int runs = 5, files = 100000;
    QString photo;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--runs") && i + 1 < args.size()) {
            runs = std::max(1, args[++i].toInt());
        } else if (args[i] == QLatin1String("--files") && i + 1 < args.size()) {
            files = std::max(2, args[++i].toInt());
        } else if (args[i] == QLatin1String("--photo") && i + 1 < args.size()) {
            photo = args[++i];
        } else {
            std::fprintf(stderr, "usage: lumenta-folder-bench [--runs N] [--files N] "
                                 "[--photo JPEG]\n");
            return 2;
        }
    }
    const QString shm = QStringLiteral("/dev/shm");
    QTemporaryDir root((QFileInfo(shm).isWritable() ? shm : QDir::tempPath()) +
                       QStringLiteral("/lumenta-folders-XXXXXX"));
    if (!root.isValid() || !makeFolders(root.path(), files, photo)) {
        std::fprintf(stderr, "cannot make the folders\n");
        return 1;
    }
    const QString big = root.filePath(QStringLiteral("big"));
    const QString appFolder = root.filePath(QStringLiteral("app"));
    std::printf("%d files in %s, %d processors, median of %d runs\n", files, qPrintable(big),
                QThread::idealThreadCount(), runs);

    // (1) and the latency of the starts.
    std::vector<double> alone, inBig, aloneWall, bigWall, startLatency, aloneLatency;
    int rows = 0;
    for (int r = 0; r < runs; ++r) {
        const ChildRun a = runOpen(appFolder, root.filePath(QStringLiteral("alone/photo.jpg")));
        const ChildRun b = runOpen(appFolder, root.filePath(QStringLiteral("big/photo.jpg")));
        if (a.shown < 0 || b.shown < 0) {
            std::fprintf(stderr, "a start failed\n");
            return 1;
        }
        alone.push_back(a.shown);
        inBig.push_back(b.shown);
        aloneWall.push_back(a.wall);
        bigWall.push_back(b.wall);
        startLatency.push_back(b.latency);
        aloneLatency.push_back(a.latency);
        rows = b.rows;
    }
    const double a = median(alone), b = median(inBig);
    const double aw = median(aloneWall), bw = median(bigWall);
    std::printf("(1) lumenta FILE until the photo shows      from main  from the process start\n");
    std::printf("    folder of 1 file                       %8.1f ms  %8.1f ms\n", a, aw);
    std::printf("    folder of %-6d files                  %8.1f ms  %8.1f ms\n", rows, b, bw);
    std::printf("    ratio (goal <= 1.20)                   %8.2f     %8.2f\n", a > 0 ? b / a : 0.0,
                aw > 0 ? bw / aw : 0.0);

    // (2), (3): one window, the big folder listed again and again.
    Window win(appFolder);
    waitFor([&] { return !win.w->File1->isListing() && !win.w->Dir1->isListing(); });
    std::vector<double> shown, ls, bare, latency;
    for (int r = 0; r < runs; ++r) {
        ls.push_back(lsMs(big));
        QElapsedTimer t;
        t.start();
        bare.push_back((listFolder(big, QStringLiteral("*.*")).names.size(), msSince(t)));
        win.w->Dir1->setPath(root.filePath(QStringLiteral("empty")));
        waitFor([&] { return !win.w->File1->isListing() && !win.w->Dir1->isListing(); });
        const LatencyProbe probe;
        t.start();
        win.w->Dir1->setPath(big);
        waitFor([&] { return !win.w->File1->isListing() && win.w->File1->listCount() > 0; });
        shown.push_back(msSince(t));
        waitFor([&] { return !win.w->Dir1->isListing(); });
        latency.push_back(probe.worst());
    }
    std::printf("(2) worst GUI timer latency while listing  %8.1f ms  (goal <= 50)\n",
                maxOf(latency));
    std::printf("    during the starts of (1), start-up's own work included: %.1f ms "
                "(folder of 1 file: %.1f ms)\n",
                maxOf(startLatency), maxOf(aloneLatency));
    const double l = median(ls), s = median(shown);
    std::printf("(3) ls -v DIR >/dev/null                   %8.1f ms\n", l);
    std::printf(
        "    main window, folder chosen until listed %7.1f ms   ratio %.2f (goal <= 1.00)\n", s,
        l > 0 ? s / l : 0.0);
    std::printf("    listFolder alone (read, match, sort)   %8.1f ms\n", median(bare));

    // (4)
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("--memory-child"), root.path()});
    p.waitForFinished(120000);
    const QList<QByteArray> m = p.readAllStandardOutput().simplified().split(' ');
    if (m.size() == 2)
        std::printf("(4) memory over the empty window: resident %.1f MB, peak %.1f MB "
                    "(goal <= 30)\n",
                    m[0].toDouble() / 1024, m[1].toDouble() / 1024);
    return 0;
}
