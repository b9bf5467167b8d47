// Colour management's cost: the same 24-megapixel photo decoded as the main
// window gets it (whole, rows announced as they come, converted to an sRGB
// display), untagged, with an Adobe RGB (1998) profile and with an sRGB
// profile, interleaved in each run so that all see the same machine
// state. Prints the medians and the median of each run's ratio to the
// untagged photo (and of the untagged photo loaded a second time, the
// run's noise); with a monitor profile (--monitor ICC) also the photos
// converted to it.
//
//   lumenta-colour-bench [--runs N] [--size WxH] [--monitor ICC] [--keep DIR]
#include "picture/colourtransform.h"
#include "picture/pictureloader.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace lumenta;

namespace {

const char kAdobe[] = "/usr/share/color/icc/colord/AdobeRGB1998.icc";
const char kSrgb[] = "/usr/share/color/icc/colord/sRGB.icc";

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A photograph-like picture: smooth gradients with fine noise.
QImage photo(QSize size) {
    QImage img(size, QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 28) - 8;
            line[x] = qRgb(qBound(0, x * 255 / size.width() + noise, 255),
                           qBound(0, y * 255 / size.height() + noise, 255),
                           qBound(0, (x + y) * 255 / (size.width() + size.height()) - noise, 255));
        }
    }
    return img;
}

// The JPEG with the profile in APP2 markers right after its start.
QByteArray withProfile(const QByteArray& jpeg, const QByteArray& icc) {
    constexpr int kPerMarker = 65519;
    const int count = int((icc.size() + kPerMarker - 1) / kPerMarker);
    QByteArray markers;
    for (int i = 0; i < count; ++i) {
        QByteArray body = QByteArray("ICC_PROFILE\0", 12) + char(i + 1) + char(count) +
                          icc.mid(qsizetype(i) * kPerMarker, kPerMarker);
        const int length = int(body.size()) + 2;
        markers += QByteArray("\xFF\xE2", 2) + char(length >> 8) + char(length & 0xff) + body;
    }
    QByteArray out = jpeg;
    out.insert(2, markers);
    return out;
}

// Rows announced as the main window asks for them.
class Rows : public LoadProgress {
public:
    void rowsStarted(const QImage& buffer) override { m_buffer = buffer; }
    void rowsDecoded(int rows) override { m_rows = rows; }

private:
    QImage m_buffer;
    int m_rows = 0;
};

double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double g_cpu = 0; // processor time of the last load, all threads

double timeLoad(const QString& path, const PictureNeed& need) {
    Rows rows;
    QElapsedTimer t;
    const double cpu = cpuMs();
    t.start();
    const Picture pic = loadPicture(path, need, &rows);
    const double ms = t.nsecsElapsed() / 1e6;
    g_cpu = cpuMs() - cpu;
    if (pic.isNull()) {
        std::fprintf(stderr, "cannot decode %s: %s\n", qPrintable(path), qPrintable(pic.error));
        std::exit(1);
    }
    return ms;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int runs = 9;
    QSize size(6000, 4000);
    QString monitorPath, keep;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--runs") && i + 1 < args.size()) {
            runs = qMax(1, args[++i].toInt());
        } else if (args[i] == QLatin1String("--size") && i + 1 < args.size()) {
            const QStringList wh = args[++i].split(QLatin1Char('x'));
            size = QSize(wh.value(0).toInt(), wh.value(1).toInt());
        } else if (args[i] == QLatin1String("--monitor") && i + 1 < args.size()) {
            monitorPath = args[++i];
        } else if (args[i] == QLatin1String("--keep") && i + 1 < args.size()) {
            keep = args[++i];
        } else {
            std::fprintf(stderr, "usage: lumenta-colour-bench [--runs N] [--size WxH] "
                                 "[--monitor ICC] [--keep DIR]\n");
            return 1;
        }
    }
    const QByteArray adobe = readAll(QLatin1String(kAdobe));
    const QByteArray srgb = readAll(QLatin1String(kSrgb));
    if (adobe.isEmpty() || srgb.isEmpty() || size.isEmpty()) {
        std::fprintf(stderr, "the colord-data profiles are missing\n");
        return 1;
    }
    QTemporaryDir temp;
    const QDir dir(keep.isEmpty() ? temp.path() : keep);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(90);
    writer.write(photo(size));
    const struct {
        const char* name;
        QByteArray bytes;
    } files[] = {
        {"untagged", buffer.data()},
        {"adobe-rgb", withProfile(buffer.data(), adobe)},
        {"srgb-tagged", withProfile(buffer.data(), srgb)},
        // The same untagged bytes again: how far two identical loads drift
        // apart on this machine in this run.
        {"untagged-2", buffer.data()},
    };
    QStringList paths;
    for (const auto& f : files) {
        const QString path = dir.filePath(QLatin1String(f.name) + QStringLiteral(".jpg"));
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write(f.bytes) != f.bytes.size())
            return 1;
        paths << path;
    }
    std::vector<PictureNeed> displays(1);
    if (!monitorPath.isEmpty()) {
        displays.emplace_back();
        displays.back().colours = ColourSpace::fromIcc(readAll(monitorPath));
    }
    std::printf("%d x %d JPEG, %d runs, %d threads\n", size.width(), size.height(), runs,
                QThread::idealThreadCount());
    for (const PictureNeed& need : displays) {
        // Warm: files in the page cache, transforms made.
        for (const QString& p : paths)
            timeLoad(p, need);
        std::vector<std::vector<double>> ms(paths.size());
        std::vector<std::vector<double>> ratio(paths.size());
        std::vector<std::vector<double>> cpu(paths.size());
        for (int r = 0; r < runs; ++r) {
            std::vector<double> now(paths.size());
            // Each run starts one further along, so that every photo
            // follows every other as often (the load right after the Adobe
            // RGB one was seen to take some 10 ms more processor time).
            for (qsizetype k = 0; k < paths.size(); ++k) {
                const size_t i = size_t((r + k) % paths.size());
                now[i] = timeLoad(paths[qsizetype(i)], need);
                cpu[i].push_back(g_cpu);
            }
            for (size_t i = 0; i < now.size(); ++i) {
                ms[i].push_back(now[i]);
                ratio[i].push_back(now[i] / now[0]);
            }
        }
        std::printf("display: %s\n", need.colours.isSrgb() ? "sRGB" : qPrintable(monitorPath));
        for (qsizetype i = 0; i < paths.size(); ++i)
            std::printf("  %-12s median %7.1f ms   ratio to untagged %.3f (median of runs)"
                        "   processor %6.1f ms\n",
                        files[i].name, median(ms[size_t(i)]), median(ratio[size_t(i)]),
                        median(cpu[size_t(i)]));
    }
    const auto t =
        ColourTransform::find(ColourSpace::fromIcc(adobe), ColourSpace(), ColourPixels::Rgb32);
    std::printf("Adobe RGB to sRGB: %s\n",
                t ? (t->isFastPath() ? "matrix and curves path" : "lcms2") : "nothing to do");
    const auto u =
        ColourTransform::find(ColourSpace::fromIcc(srgb), ColourSpace(), ColourPixels::Rgb32);
    std::printf("sRGB profile to sRGB: %s\n",
                u ? (u->isFastPath() ? "matrix and curves path" : "lcms2") : "nothing to do");
    return 0;
}
