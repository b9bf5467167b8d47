// Times what a user of the thumbnail browser waits for: choosing the
// pattern of a folder of photos until the table is built and the whole first
// lot is drawn, with an empty thumbnail cache (cold) and on a second visit
// (from the cache), beside vipsthumbnail making 128-pixel thumbnails of the
// same files. Every figure is the median of several runs.
//
//   lumenta-browser-bench --make-photos DIR [--count 48] [--thumbnails]
//       // 24-MP JPEGs, with or without a camera's EXIF thumbnail
//   lumenta-browser-bench [--runs 5] DIR
#include "app/appcontext.h"
#include "browser/frmpicviewer.h"
#include "picture/pictureservice.h"
#include "support/exifbuilder.h"
#include "support/scripteddialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

using namespace lumenta;

namespace {

// Processor time used so far by this process (who = RUSAGE_SELF) or by its
// finished children (RUSAGE_CHILDREN), in milliseconds.
double cpuMs(int who) {
    rusage u{};
    getrusage(who, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Photograph-like 6000 x 4000 pictures, each a little different: smooth
// gradients with fine noise, which compress and decode about as a camera's
// JPEGs do. With thumbnails, each holds a 160 x 120 EXIF thumbnail as
// cameras store them (the photo between black bands).
bool makePhotos(const QString& folder, int count, bool thumbnails) {
    QDir().mkpath(folder);
    const QSize size(6000, 4000);
    QImage img(size, QImage::Format_RGB32);
    for (int n = 0; n < count; ++n) {
        quint32 seed = 12345u + quint32(n) * 7919u;
        for (int y = 0; y < size.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
            for (int x = 0; x < size.width(); ++x) {
                seed = seed * 1664525u + 1013904223u;
                const int noise = int(seed >> 27) - 16;
                const int r =
                    std::clamp((x + n * 97) % size.width() * 255 / size.width() + noise, 0, 255);
                const int g = std::clamp(y * 255 / size.height() + noise / 2, 0, 255);
                const int b = std::clamp(
                    (x + y) * 128 / (size.width() + size.height()) + 16 * (n % 8) + noise, 0, 255);
                line[x] = qRgb(r, g, b);
            }
        }
        const QString path = QDir(folder).filePath(
            QStringLiteral("photo%1.jpg").arg(n + 1, 2, 10, QLatin1Char('0')));
        QByteArray jpeg = testutil::jpegBytes(img, 90);
        if (thumbnails) {
            QImage thumb(160, 120, QImage::Format_RGB32);
            thumb.fill(Qt::black);
            QPainter(&thumb).drawImage(QRect(0, 7, 160, 107), img);
            jpeg = testutil::withExifThumbnail(jpeg, testutil::jpegBytes(thumb, 90));
        }
        QFile file(path);
        if (jpeg.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return false;
        }
        std::printf("%s\n", qPrintable(path));
    }
    return true;
}

// Runs the event loop until done() holds, sleeping between events so that
// the workers have the processors to themselves.
bool waitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    QTimer tick;
    tick.start(2);
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// Milliseconds from choosing "*.jpg" until the first lot is drawn; *cpu
// gets the processor time the program used meanwhile.
double timeFirstLot(AppContext& ctx, const QString& folder, const QString& cacheHome, double* cpu) {
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cacheHome));
    // A service of its own, as in a program just started: nothing is kept
    // in memory from the run before.
    ctx.pictureService = std::make_shared<PictureService>();
    FrmPicViewer w(ctx, folder);
    w.show();
    if (!waitUntil([&] { return w.isIdle(); }, 60000))
        return -1;
    const double cpu0 = cpuMs(RUSAGE_SELF);
    QElapsedTimer t;
    t.start();
    w.cboPattern->setCurrentText(QStringLiteral("*.jpg"));
    w.cboPattern_Click(QStringLiteral("*.jpg"));
    // Drawn: the cache entries may still be being written.
    if (!waitUntil([&] { return w.LotPicCount > 0 && w.cellDrawn(w.LotPicCount); }, 120000))
        return -1;
    const double wall = t.nsecsElapsed() / 1e6;
    *cpu = cpuMs(RUSAGE_SELF) - cpu0;
    return wall;
}

// Milliseconds the picture service alone takes for the 128-pixel pictures
// of files (the decoding floor of a cold first lot).
double timeService(const QStringList& files, double* cpu) {
    const double cpu0 = cpuMs(RUSAGE_SELF);
    PictureService service;
    QObject owner;
    int done = 0;
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < files.size(); ++i)
        service.request(&owner, PictureRequest::thumbnail(files[i], {128, 128}, quint64(i) + 1),
                        [&](const PictureResult&) { ++done; });
    if (!waitUntil([&] { return done == files.size(); }, 120000))
        return -1;
    *cpu = cpuMs(RUSAGE_SELF) - cpu0;
    return t.nsecsElapsed() / 1e6;
}

double timeVips(const QString& vips, const QStringList& files, double* cpu) {
    const double cpu0 = cpuMs(RUSAGE_CHILDREN);
    QTemporaryDir out;
    QStringList args = {QStringLiteral("--size"), QStringLiteral("128"), QStringLiteral("-o"),
                        out.path() + QStringLiteral("/tn_%s.jpg")};
    args += files;
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(vips, args);
    if (!p.waitForFinished(300000) || p.exitCode() != 0)
        return -1;
    const double wall = t.nsecsElapsed() / 1e6;
    *cpu = cpuMs(RUSAGE_CHILDREN) - cpu0;
    return wall;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    int runs = 5, count = 48;
    bool thumbnails = false;
    QString folder, photosTo;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--runs") && i + 1 < args.size())
            runs = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--count") && i + 1 < args.size())
            count = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--make-photos") && i + 1 < args.size())
            photosTo = args[++i];
        else if (args[i] == QLatin1String("--thumbnails"))
            thumbnails = true;
        else
            folder = args[i];
    }
    if (!photosTo.isEmpty())
        return makePhotos(photosTo, count, thumbnails) ? 0 : 1;
    if (folder.isEmpty()) {
        std::fprintf(stderr, "usage: lumenta-browser-bench [--runs N] FOLDER\n"
                             "       lumenta-browser-bench --make-photos FOLDER [--count N] "
                             "[--thumbnails]\n");
        return 2;
    }

    QStringList files;
    for (const QString& name : QDir(folder).entryList({QStringLiteral("*.jpg")}, QDir::Files))
        files << QDir(folder).filePath(name);
    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vipsthumbnail"));

    ScriptedDialogs dialogs;
    AppContext ctx;
    ctx.dialogs = &dialogs;
    std::vector<double> cold, cached, vipsTimes, serviceTimes, coldCpu, cachedCpu, serviceCpu,
        vipsCpu;
    for (int r = 0; r < runs; ++r) {
        QTemporaryDir cacheHome;
        double cpu = 0;
        cold.push_back(timeFirstLot(ctx, folder, cacheHome.path(), &cpu));
        coldCpu.push_back(cpu);
        QThread::msleep(300); // the cache entries of the cold run are written meanwhile
        cached.push_back(timeFirstLot(ctx, folder, cacheHome.path(), &cpu));
        cachedCpu.push_back(cpu);
        serviceTimes.push_back(timeService(files, &cpu));
        serviceCpu.push_back(cpu);
        if (!vips.isEmpty()) {
            vipsTimes.push_back(timeVips(vips, files, &cpu));
            vipsCpu.push_back(cpu);
        }
    }
    const double c = median(cold), h = median(cached), v = median(vipsTimes);
    std::printf("%lld JPEG files in %s, %d threads, median of %d runs\n", qint64(files.size()),
                qPrintable(folder), QThread::idealThreadCount(), runs);
    std::printf("  first lot, empty cache   %9.1f ms  (processor %.1f ms)\n", c, median(coldCpu));
    std::printf("  first lot, from cache    %9.1f ms  (processor %.1f ms)\n", h, median(cachedCpu));
    std::printf("  service alone, 128 px    %9.1f ms  (processor %.1f ms)\n", median(serviceTimes),
                median(serviceCpu));
    if (vips.isEmpty()) {
        std::printf("  vipsthumbnail not found (Debian package libvips-tools)\n");
        return 0;
    }
    std::printf("  vipsthumbnail --size 128 %9.1f ms  (processor %.1f ms)\n", v, median(vipsCpu));
    std::printf("  ratio cold / vips        %9.3f\n", v > 0 ? c / v : 0.0);
    std::printf("  ratio cached / vips      %9.3f\n", v > 0 ? h / v : 0.0);
    return 0;
}
