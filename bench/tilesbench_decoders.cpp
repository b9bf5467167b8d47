// The benchmark's pictures, the anchors (libvips' own commands) and the
// decoders measured alone: ours against libvips' in this process.
#include "tilesbench.h"

#include "picture/partdecoders.h"
#include "picture/pictureloader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

#include <sys/resource.h>

namespace lumenta::tilesbench {

namespace {

const QSize kViewport(1920, 1080);
const QSize kOverviewBox(2048, 2048);

bool run(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(program, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "failed: %s %s\n", qPrintable(program),
                     qPrintable(args.join(QLatin1Char(' '))));
        return false;
    }
    return true;
}

// Processor time of this process and of its children, in milliseconds.
double cpuMs() {
    double ms = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage u{};
        getrusage(who, &u);
        ms += (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
              (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
    }
    return ms;
}

// Processor time of the last timed() call.
double lastCpu = 0;

double timed(const std::function<bool()>& f) {
    QElapsedTimer t;
    t.start();
    const double cpu = cpuMs();
    const bool ok = f();
    lastCpu = cpuMs() - cpu;
    return ok ? t.nsecsElapsed() / 1e6 : -1;
}

QSize sizeOf(const QString& file) {
    const Picture p = loadPicture(file, {}, nullptr, LoadLimits{0, QSize(512, 128)});
    return p.naturalSize;
}

QByteArray formatOf(const QString& file) {
    QImageReader r(file);
    return r.format();
}

// The tiles a viewport of the picture at `at` touches.
QList<QRect> tilesOf(const TiledPicture& t, QPoint at) {
    QList<QRect> tiles;
    const QRect cells = t.cellsCovering(QRect(at, kViewport));
    for (int y = cells.top(); y <= cells.bottom(); ++y) {
        for (int x = cells.left(); x <= cells.right(); ++x)
            tiles << t.tileRect(QPoint(x, y));
    }
    return tiles;
}

std::shared_ptr<TiledPicture> open(const QString& file, bool vips) {
    const QByteArray format = formatOf(file);
    PartSource source;
    if (vips)
        source = openVipsParts(file, format == "jpeg"   ? "jpegload"
                                     : format == "png"  ? "pngload"
                                     : format == "tiff" ? "tiffload"
                                                        : "webpload");
    else
        source = format == "jpeg" ? openJpegParts(file)
                 : format == "png"
                     ? openPngParts(file)
                     : openVipsParts(file, format == "tiff" ? "tiffload" : "webpload");
    if (!source.decoder) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(file), qPrintable(source.error));
        return nullptr;
    }
    return std::make_shared<TiledPicture>(QString::fromLatin1(format), source.stored,
                                          source.orientation, QSize(512, 128),
                                          std::move(source.decoder));
}

bool decodeViewport(const TiledPicture& t, QPoint at) {
    QString error;
    int got = 0;
    const QList<QRect> tiles = tilesOf(t, at);
    const bool ok = t.decode(
        tiles, [&got](int, const QImage&) { ++got; }, nullptr, &error);
    if (!ok)
        std::fprintf(stderr, "  %s\n", qPrintable(error));
    return ok && got == tiles.size();
}

// Wall and processor times of the runs of one measurement.
struct Times {
    std::vector<double> wall, cpu;
    void add(double ms) {
        wall.push_back(ms);
        cpu.push_back(lastCpu);
    }
    Timing median() const { return {tilesbench::median(wall), tilesbench::median(cpu)}; }
};

void print(const char* what, Timing t, Timing anchor = {}) {
    std::printf("  %-42s %8.0f ms (cpu %6.0f)", what, t.wall, t.cpu);
    if (anchor.wall > 0 && t.wall >= 0)
        std::printf("  anchor %6.0f ms (cpu %6.0f), ratio %.2f (cpu %.2f)", anchor.wall, anchor.cpu,
                    t.wall / anchor.wall, t.cpu / std::max(1.0, anchor.cpu));
    std::printf("\n");
}

} // namespace

double median(std::vector<double> v) {
    if (v.empty())
        return -1;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

bool makePictures(const QString& folder) {
    QDir().mkpath(folder);
    const QDir d(folder);
    const auto f = [&d](const char* name) { return d.filePath(QLatin1String(name)); };
    // Gradients with grain, as a photograph compresses.
    const QString vips = QStringLiteral("vips");
    const bool made =
        run(vips, {"xyz", f("xy.v"), "5000", "4000"}) &&
        run(vips, {"extract_band", f("xy.v"), f("x.v"), "0"}) &&
        run(vips, {"extract_band", f("xy.v"), f("y.v"), "1"}) &&
        run(vips, {"gaussnoise", f("n.v"), "5000", "4000", "--sigma", "12", "--mean", "0"}) &&
        run(vips, {"gaussnoise", f("n2.v"), "5000", "4000", "--sigma", "6", "--mean", "0"}) &&
        run(vips, {"linear", f("x.v"), f("r0.v"), "0.051", "0"}) &&
        run(vips, {"add", f("r0.v"), f("n.v"), f("r.v")}) &&
        run(vips, {"linear", f("y.v"), f("g0.v"), "0.0637", "0"}) &&
        run(vips, {"add", f("g0.v"), f("n2.v"), f("g.v")}) &&
        run(vips, {"add", f("x.v"), f("y.v"), f("s.v")}) &&
        run(vips, {"linear", f("s.v"), f("b0.v"), "0.0142", "64"}) &&
        run(vips, {"add", f("b0.v"), f("n.v"), f("b.v")}) &&
        run(vips, {"bandjoin", f("r.v") + " " + f("g.v") + " " + f("b.v"), f("rgb.v")}) &&
        run(vips, {"cast", f("rgb.v"), f("tile.v"), "uchar"}) &&
        run(vips,
            {"embed", f("tile.v"), f("tile5.v"), "0", "0", "5000", "5000", "--extend", "mirror"}) &&
        run(vips, {"replicate", f("tile.v"), f("big.jpg") + "[Q=90]", "8", "5"}) &&
        run(vips, {"replicate", f("tile5.v"), f("big.png"), "6", "6"});
    for (const char* t : {"xy.v", "x.v", "y.v", "n.v", "n2.v", "r0.v", "r.v", "g0.v", "g.v", "s.v",
                          "b0.v", "b.v", "rgb.v", "tile.v", "tile5.v"})
        QFile::remove(f(t));
    if (made)
        std::printf("written: %s (40000 x 20000), %s (30000 x 30000)\n", qPrintable(f("big.jpg")),
                    qPrintable(f("big.png")));
    return made;
}

Anchors measureAnchors(const QString& file, int runs) {
    Anchors a;
    const QSize size = sizeOf(file);
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/lumenta-bench-XXXXXX"));
    const QString out = dir.filePath(QStringLiteral("out.v"));
    const QPoint far(size.width() - kViewport.width(), size.height() - kViewport.height());
    Times tl, br, th;
    for (int i = 0; i < runs; ++i) {
        tl.add(timed([&] {
            return run(QStringLiteral("vips"),
                       {"extract_area", file, out, "0", "0", "1920", "1080"});
        }));
        br.add(timed([&] {
            return run(QStringLiteral("vips"), {"extract_area", file, out, QString::number(far.x()),
                                                QString::number(far.y()), "1920", "1080"});
        }));
        th.add(timed([&] {
            return run(QStringLiteral("vipsthumbnail"),
                       {"--size", "1920", file, "-o", dir.filePath(QStringLiteral("th.jpg"))});
        }));
    }
    a.topLeft = tl.median();
    a.bottomRight = br.median();
    a.thumbnail = th.median();
    return a;
}

int decoders(QStringList files, int runs) {
    // --ours: our decoders alone, without libvips' in this process.
    const bool withVips = !files.removeAll(QStringLiteral("--ours"));
    for (const QString& file : files) {
        const QSize size = sizeOf(file);
        if (size.isEmpty()) {
            std::fprintf(stderr, "%s: not a picture\n", qPrintable(file));
            return 1;
        }
        std::printf("%s (%d x %d, %s), median of %d\n", qPrintable(file), size.width(),
                    size.height(), formatOf(file).constData(), runs);
        const Anchors a = measureAnchors(file, runs);
        print("anchor: vips extract_area, top left", a.topLeft);
        print("anchor: vips extract_area, bottom right", a.bottomRight);
        print("anchor: vipsthumbnail --size 1920", a.thumbnail);
        const QPoint far(size.width() - kViewport.width(), size.height() - kViewport.height());
        for (bool vips : {false, true}) {
            if (vips && !withVips)
                break;
            Times tl, br, ov, after;
            for (int i = 0; i < runs; ++i) {
                std::shared_ptr<TiledPicture> t = open(file, vips);
                if (!t)
                    return 1;
                tl.add(timed([&] { return decodeViewport(*t, QPoint(0, 0)); }));
                t = open(file, vips);
                br.add(timed([&] { return decodeViewport(*t, far); }));
                t = open(file, vips);
                ov.add(timed([&] {
                    QString error;
                    return !t->decodeReduced(fittedSize(size, kOverviewBox), false, nullptr, &error)
                                .isNull();
                }));
                // Once a pass went through the picture (the overview).
                after.add(timed([&] { return decodeViewport(*t, far); }));
            }
            const char* who = vips ? "libvips" : "ours";
            std::printf(" %s:\n", who);
            print("first viewport (tiles of 512 x 128)", tl.median(), a.topLeft);
            print("bottom-right viewport, fresh", br.median(), a.bottomRight);
            print("overview (fits 2048 x 2048)", ov.median(), a.thumbnail);
            print("bottom-right viewport after the overview", after.median(), a.bottomRight);
        }
    }
    return 0;
}

} // namespace lumenta::tilesbench
