// The main window showing a 24-megapixel JPEG, timed from the click to what
// the user sees, beside `djpeg -outfile /dev/null` on the same file in the
// same run:
//  (1) first paint of the viewport with the new picture's exact pixels;
//  (2) the whole picture decoded and shown (preview included);
//  (3) the same with an EXIF rotation (the file turned by its tag);
//  (4) the next picture of the folder, decoded ahead while the user looked
//      at the current one, shown after the key press;
//  (5) peak memory of the program viewing the photo, without and with the
//      next one decoded ahead (each in a process of its own).
#include "viewerbench.h"

#include "benchutil.h"

#include "app/appcontext.h"
#include "picture/pictureservice.h"
#include "support/scripteddialogs.h"
#include "viewer/lumenta.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace lumenta {

namespace {

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The JPEG with an APP1 segment saying "turn 90 degrees clockwise" right
// after its start marker.
QByteArray withRotationTag(const QByteArray& jpeg) {
    QByteArray tiff = QByteArray::fromHex("4d4d002a00000008"         // big-endian TIFF, IFD at 8
                                          "0001"                     // one entry
                                          "011200030000000100060000" // orientation 6
                                          "00000000");               // no next IFD
    QByteArray app1 = QByteArray("Exif\0\0", 6) + tiff;
    const int length = int(app1.size()) + 2;
    QByteArray segment = QByteArray::fromHex("ffe1");
    segment.append(char(length >> 8)).append(char(length & 0xff)).append(app1);
    return jpeg.left(2) + segment + jpeg.mid(2);
}

bool copyTo(const QByteArray& bytes, const QString& path) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

double djpegMs(const QString& path) {
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(QStringLiteral("djpeg"),
            {QStringLiteral("-outfile"), QStringLiteral("/dev/null"), path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return -1;
    return t.nsecsElapsed() / 1e6;
}

// A main window on a folder, as the program opens it.
struct Viewer {
    AppContext ctx;
    ScriptedDialogs dialogs;
    std::unique_ptr<Lumenta> w;

    explicit Viewer(const QString& folder) {
        ctx.dialogs = &dialogs;
        ctx.pictureService = std::make_shared<PictureService>();
        ctx.state.AppFolder = folder;
        ctx.state.settingsPathOverride = QDir(folder).filePath(QStringLiteral("Affich.cfg"));
        ctx.state.loadSettingsAtStartup();
        w = std::make_unique<Lumenta>(ctx);
        w->startUp();
        w->show();
        waitFor([this] { return w->isVisible(); });
    }

    // Runs the event loop (sleeping between events, so that the decoding
    // threads have the processors) until done() holds.
    static bool waitFor(const std::function<bool()>& done, int ms = 60000) {
        return bench::waitFor(done, ms, 50);
    }
    void settle() {
        waitFor([this] {
            return ctx.pictures().isIdle() && !w->isLoadingPicture() && !w->File1->isListing();
        });
        QCoreApplication::processEvents();
    }
    // A click on the file's line, as the user makes it (moving the current
    // line from the program opens nothing).
    bool click(const QString& name) const {
        const int row = w->File1->rowOf(name);
        if (row < 0)
            return false;
        QWidget* viewport = w->File1->viewport();
        const QPointF at = w->File1->rowRect(row).center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent e(type, at, viewport->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                          Qt::NoModifier);
            QApplication::sendEvent(viewport, &e);
        }
        return true;
    }
};

// Watches the picture box: when the new picture's rows are first painted,
// and when it is painted complete.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(PictureBox* box) : m_box(box) { box->installEventFilter(this); }
    void arm(qint64 oldKey) {
        m_old = oldKey;
        m_first = m_whole = -1;
        m_clock.start();
    }
    double first() const { return m_first; }
    double whole() const { return m_whole; }

protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint && m_clock.isValid() && !m_box->image().isNull() &&
            m_box->image().cacheKey() != m_old && m_box->isVisible()) {
            const double ms = m_clock.nsecsElapsed() / 1e6;
            if (m_first < 0 && m_box->rowsReady() > 0)
                m_first = ms;
            if (m_whole < 0 && m_box->isComplete())
                m_whole = ms;
        }
        return false;
    }

private:
    PictureBox* m_box;
    qint64 m_old = 0;
    QElapsedTimer m_clock;
    double m_first = -1, m_whole = -1;
};

void printRatio(const char* what, double ms, double djpeg, double goal) {
    std::printf("  %-44s %8.1f ms   djpeg %8.1f ms   ratio %5.2f  (goal <= %.2f)\n", what, ms,
                djpeg, djpeg > 0 ? ms / djpeg : 0.0, goal);
}

// Peak resident memory of a child process that views `file` in `folder`.
double peakMB(const QString& folder, const QString& file) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("--peak-memory"), folder, file});
    if (!p.waitForFinished(120000))
        return -1;
    return QString::fromLatin1(p.readAllStandardOutput()).trimmed().toDouble();
}

} // namespace

int peakMemoryRun(const QString& folder, const QString& file) {
    Viewer v(folder);
    v.w->Dir1->setPath(folder);
    v.settle();
    if (!v.click(file) || !Viewer::waitFor([&] { return !v.w->picture().isNull(); }))
        return 1;
    v.settle();
    // The high-water mark of this program's own memory (getrusage() would
    // also count the parent's, inherited through fork).
    const double peak = bench::procStatusKB("VmHWM:");
    if (peak < 0)
        return 1;
    std::printf("%.1f\n", peak / 1024.0);
    return 0;
}

int viewerBench(const QString& photo, int runs) {
    QFile in(photo);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(photo));
        return 1;
    }
    const QByteArray bytes = in.readAll();
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("photos"));
    const QString alone = dir.filePath(QStringLiteral("alone"));
    QDir().mkpath(folder);
    QDir().mkpath(alone);
    const QString rotated = QDir(folder).filePath(QStringLiteral("r.jpg"));
    const QString first = QDir(folder).filePath(QStringLiteral("a.jpg"));
    if (!copyTo(bytes, first) || !copyTo(bytes, QDir(folder).filePath(QStringLiteral("b.jpg"))) ||
        !copyTo(bytes, QDir(folder).filePath(QStringLiteral("c.jpg"))) ||
        !copyTo(withRotationTag(bytes), rotated) ||
        !copyTo(bytes, QDir(alone).filePath(QStringLiteral("a.jpg")))) {
        std::fprintf(stderr, "cannot write the test folder\n");
        return 1;
    }
    std::printf("\nmain window, %s (%lld bytes), median of %d runs, %d decoding threads\n",
                qPrintable(photo), qint64(bytes.size()), runs, QThread::idealThreadCount());

    Viewer v(folder);
    v.w->Dir1->setPath(folder);
    v.settle();
    PaintWatch watch(v.w->Open);
    PictureService& service = v.ctx.pictures();

    // (1), (2), (3): a click on a picture nobody decoded yet.
    std::vector<double> firstPaint, whole, turned, djpeg, djpegTurned;
    for (int i = 0; i < runs; ++i) {
        for (const QString& name : {QStringLiteral("a.jpg"), QStringLiteral("r.jpg")}) {
            service.clearCache();
            v.w->EffaceImage();
            v.settle();
            watch.arm(v.w->Open->image().cacheKey());
            v.w->File1_Click(name);
            Viewer::waitFor([&] { return watch.whole() >= 0; });
            if (name == QLatin1String("a.jpg")) {
                firstPaint.push_back(watch.first());
                whole.push_back(watch.whole());
                djpeg.push_back(djpegMs(first));
            } else {
                turned.push_back(watch.whole());
                djpegTurned.push_back(djpegMs(rotated));
            }
        }
    }
    printRatio("(1) first paint of the viewport", median(firstPaint), median(djpeg), 0.2);
    printRatio("(2) whole picture decoded and shown", median(whole), median(djpeg), 1.1);
    printRatio("(3) with an EXIF rotation, decoded and shown", median(turned), median(djpegTurned),
               1.25);

    // (4): a then b, the user looks at b (c is decoded ahead meanwhile), then
    // presses the down arrow.
    std::vector<double> next;
    for (int i = 0; i < runs; ++i) {
        service.clearCache();
        v.w->File1->setFocus();
        for (const char* name : {"a.jpg", "b.jpg"}) {
            v.click(QLatin1String(name));
            v.settle();
        }
        watch.arm(v.w->Open->image().cacheKey());
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QApplication::sendEvent(v.w->File1, &down);
        Viewer::waitFor([&] { return watch.whole() >= 0; });
        next.push_back(watch.whole());
    }
    std::printf("  %-44s %8.1f ms   (goal <= 20 ms)\n", "(4) next picture, decoded ahead, shown",
                median(next));

    // (5): each in a fresh process.
    std::printf("  %-44s %8.1f MB   (goal < 150 MB)\n", "(5) peak memory viewing it",
                peakMB(alone, QStringLiteral("a.jpg")));
    std::printf("  %-44s %8.1f MB   (goal < 260 MB)\n", "    with the next one decoded ahead",
                peakMB(folder, QStringLiteral("a.jpg")));
    return 0;
}

} // namespace lumenta
