// Times the picture paths a user waits for:
//  (a) decoding a picture as the main window gets it: loadPicture plus the
//      preview (the picture smoothly stretched to 81 x 65 pixels, 1215 x 975
//      twips at 96 DPI), both kept in memory;
//  (b) the full-screen window fitting and drawing an already loaded picture
//      at 1920 x 1080 (first draw, which makes the reduced copy, and a
//      repaint);
//  (c) for WMF and EMF files, loadPicture alone (the metafile rendering);
//  (d) the decoding floors: a plain QImageReader::read of the same file and,
//      for JPEG, djpeg -outfile /dev/null;
//  (e) reduced pictures: fitted to 1920 x 1080, and a 128-pixel thumbnail;
//  (f) for HEIF and AVIF files, heif-convert on the same file (to Y4M, the
//      output it writes fastest), the floor the helper decoder compares with;
//      for JPEG XL files, djxl decoding the file without writing it (Qt has
//      no reader of its own for either).
// --make-heif FOLDER writes a 12-megapixel HEIC and AVIF there (heif-enc),
// --make-jxl FOLDER a 12-megapixel JPEG XL (cjxl), and measures them.
// Every figure is the median of several runs, (a) and (d) interleaved so
// that both see the same machine state.
//
// With --viewer, the main window itself on a 24-megapixel JPEG (see
// viewerbench.cpp); with --convert, the conversions of a photo
// (convertbench.cpp).
#include "app/appcontext.h"
#include "app/module1.h"
#include "convertbench.h"
#include "fullscreen/frmplecr.h"
#include "picture/pictureformats.h"
#include "picture/pictureloader.h"
#include "picture/pictureservice.h"
#include "support/scripteddialogs.h"
#include "viewerbench.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <algorithm>
#include <cstdio>
#include <vector>

using namespace lumenta;

namespace {

constexpr QSize kPreviewSize(81, 65);
constexpr QSize kScreenSize(1920, 1080);

const char kUsage[] = "usage: lumenta-bench [--runs N] [--make-sample PATH] FILE|FOLDER...\n"
                      "       lumenta-bench [--runs N] --make-heif FOLDER\n"
                      "       lumenta-bench [--runs N] --make-jxl FOLDER\n"
                      "       lumenta-bench [--runs N] --viewer JPEG\n"
                      "       lumenta-bench [--runs N] --convert JPEG\n";

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double msSince(const QElapsedTimer& t) {
    return t.nsecsElapsed() / 1e6;
}

// A photograph-like 24-megapixel picture: smooth gradients with fine noise,
// so that it compresses and decodes about as a camera's JPEG does.
bool makeSample(QString path, QSize size) {
    if (QFileInfo(path).isDir())
        path = QDir(path).filePath(QStringLiteral("sample_24mp.jpg"));
    QImage img(size, QImage::Format_RGB32);
    quint32 seed = 12345;
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 27) - 16;
            const int r = (x * 255 / size.width() + noise) & 0xff;
            const int g = (y * 255 / size.height() + noise / 2) & 0xff;
            const int b = ((x + y) * 128 / (size.width() + size.height()) + 64 + noise) & 0xff;
            line[x] = qRgb(r, g, b);
        }
    }
    QImageWriter writer(path);
    writer.setQuality(90);
    if (!writer.write(img)) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path),
                     qPrintable(writer.errorString()));
        return false;
    }
    std::printf("sample written: %s (%d x %d, %lld bytes)\n", qPrintable(path), size.width(),
                size.height(), QFileInfo(path).size());
    return true;
}

QStringList picturesIn(const QString& arg) {
    const QFileInfo info(arg);
    if (!info.isDir())
        return {arg};
    QStringList out;
    const QFileInfoList entries = QDir(arg).entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo& f : entries) {
        if (isPictureExtension(extensionOf(f.filePath())))
            out << f.filePath();
    }
    return out;
}

bool isMetafileName(const QString& path) {
    const QString ext = extensionOf(path);
    return ext == QLatin1String("WMF") || ext == QLatin1String("EMF");
}

// A 12-megapixel HEIC and AVIF made by heif-enc from the same sample.
QStringList makeHeifSamples(const QString& folder) {
    const QString png = QDir(folder).filePath(QStringLiteral("sample_12mp.png"));
    if (!makeSample(png, QSize(4000, 3000)))
        return {};
    QStringList out;
    for (const char* ext : {"heic", "avif"}) {
        const QString path =
            QDir(folder).filePath(QStringLiteral("sample_12mp.") + QLatin1String(ext));
        QProcess p;
        // The encoders' fast settings: making the sample is not what is measured.
        const QString fast = QLatin1String(ext) == QLatin1String("heic")
                                 ? QStringLiteral("preset=ultrafast")
                                 : QStringLiteral("speed=9");
        p.start(QStringLiteral("heif-enc"),
                {QStringLiteral("-q"), QStringLiteral("85"), QStringLiteral("-p"), fast, png,
                 QStringLiteral("-o"), path});
        if (!p.waitForFinished(-1) || p.exitCode() != 0) {
            std::fprintf(stderr, "heif-enc failed on %s\n", qPrintable(path));
            return {};
        }
        std::printf("sample written: %s (%lld bytes)\n", qPrintable(path), QFileInfo(path).size());
        out << path;
    }
    return out;
}

// A 12-megapixel JPEG XL made by cjxl (its default settings) from the sample.
QStringList makeJxlSample(const QString& folder) {
    const QString png = QDir(folder).filePath(QStringLiteral("sample_12mp.png"));
    const QString path = QDir(folder).filePath(QStringLiteral("sample_12mp.jxl"));
    if (!makeSample(png, QSize(4000, 3000)))
        return {};
    QProcess p;
    p.start(QStringLiteral("cjxl"), {png, path});
    if (!p.waitForFinished(-1) || p.exitCode() != 0) {
        std::fprintf(stderr, "cjxl failed on %s\n", qPrintable(path));
        return {};
    }
    std::printf("sample written: %s (%lld bytes)\n", qPrintable(path), QFileInfo(path).size());
    return {path};
}

HelperFormat helperFormatOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? detectHelperFormat(f.read(64)) : HelperFormat::None;
}

double heifConvertMs(const QString& path) {
    const QString out = QDir::temp().filePath(QStringLiteral("lumenta-bench-heif.y4m"));
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(QStringLiteral("heif-convert"), {path, out});
    const bool ok =
        p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    const double ms = msSince(t);
    QFile::remove(out);
    return ok ? ms : -1;
}

// djxl decoding the file and discarding the picture.
double djxlMs(const QString& path) {
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(QStringLiteral("djxl"), {path, QStringLiteral("--quiet")});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return -1;
    return msSince(t);
}

double djpegMs(const QString& path) {
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(QStringLiteral("djpeg"),
            {QStringLiteral("-outfile"), QStringLiteral("/dev/null"), path});
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return -1;
    return msSince(t);
}

void benchFile(const QString& path, int runs) {
    std::printf("\n%s (%lld bytes)\n", qPrintable(path), QFileInfo(path).size());
    QImageReader::setAllocationLimit(kPictureAllocationLimitMB);
    const bool jpeg = extensionOf(path).startsWith(QLatin1String("JP"));

    const HelperFormat helper = helperFormatOf(path);
    const bool heif = helper == HelperFormat::Heif, jxl = helper == HelperFormat::Jxl;
    std::vector<double> load, loadAndPreview, floor, djpeg, heifConvert, djxl, fitted, thumbnail;
    Picture kept;
    QImage keptPreview;
    QSize floorSize;
    for (int i = 0; i < runs; ++i) {
        // The reduced pictures first: the floors run right before (a).
        for (auto [need, times] :
             {std::pair{PictureNeed{PictureNeed::Kind::Fitted, kScreenSize}, &fitted},
              std::pair{PictureNeed{PictureNeed::Kind::Thumbnail, {128, 128}}, &thumbnail}}) {
            QElapsedTimer t;
            t.start();
            const Picture reduced = loadPicture(path, need);
            times->push_back(msSince(t));
        }
        {
            QElapsedTimer t;
            t.start();
            QImageReader reader(path);
            const QImage img = reader.read();
            floor.push_back(msSince(t));
            floorSize = img.size();
        }
        if (jpeg)
            djpeg.push_back(djpegMs(path));
        if (heif)
            heifConvert.push_back(heifConvertMs(path));
        if (jxl)
            djxl.push_back(djxlMs(path));
        {
            kept = Picture();
            keptPreview = QImage();
            QElapsedTimer t;
            t.start();
            Picture pic = loadPicture(path);
            load.push_back(msSince(t));
            QImage preview;
            if (!pic.isNull())
                preview = scaledSmooth(pic.image, kPreviewSize); // as the preview does
            loadAndPreview.push_back(msSince(t));
            kept = std::move(pic);
            keptPreview = std::move(preview);
        }
    }
    const bool metafile =
        isMetafileName(path) || kept.kind == Picture::Kind::Wmf || kept.kind == Picture::Kind::Emf;
    if (kept.isNull()) {
        std::printf("  loadPicture: no picture after %.2f ms (%s)\n", median(load),
                    qPrintable(kept.error));
        std::printf("  (d) QImageReader::read            %9.2f ms\n", median(floor));
        return;
    }
    std::printf("  picture %d x %d\n", kept.size().width(), kept.size().height());
    const double a = median(loadAndPreview), d = median(floor);
    std::printf("  (a) loadPicture + preview         %9.2f ms  (loadPicture alone %.2f ms)\n", a,
                median(load));
    if (metafile)
        std::printf("  (c) metafile render (loadPicture) %9.2f ms\n", median(load));

    // (b) The full-screen window on a 1920 x 1080 screen, handed the picture
    // the main window already holds.
    ScriptedDialogs dialogs;
    AppContext ctx;
    ctx.dialogs = &dialogs;
    ctx.pictureService = std::make_shared<PictureService>();
    ctx.state.FullScreenFilePath = path;
    ctx.state.settings.FullScreenBackColor = 1;
    std::vector<double> firstDraw, repaint;
    for (int16_t mode : {int16_t(1), int16_t(2)}) {
        ctx.state.settings.FullScreenSizeMode = mode;
        firstDraw.clear();
        repaint.clear();
        QImage canvas(kScreenSize, QImage::Format_RGB32);
        for (int i = 0; i < runs; ++i) {
            FrmPlEcr w(ctx);
            w.setWindowState(Qt::WindowNoState);
            w.resize(kScreenSize);
            w.setPreloaded(path, kept.image);
            QElapsedTimer t;
            t.start();
            QEvent activate(QEvent::WindowActivate);
            QApplication::sendEvent(&w, &activate);
            w.render(&canvas);
            firstDraw.push_back(msSince(t));
            t.restart();
            w.render(&canvas);
            repaint.push_back(msSince(t));
        }
        std::printf("  (b) full screen, size mode %d      %9.2f ms  (repaint %.2f ms)\n", mode,
                    median(firstDraw), median(repaint));
    }
    if (heif || jxl) {
        // Each run's ratio too: its two decodes ran one after the other, so
        // a busy machine weighs on both alike.
        const std::vector<double>& floors = heif ? heifConvert : djxl;
        std::vector<double> ratios;
        for (size_t i = 0; i < floors.size() && i < load.size(); ++i)
            if (floors[i] > 0)
                ratios.push_back(load[i] / floors[i]);
        const double f = median(floors);
        std::printf(
            heif ? "  (f) heif-convert (to Y4M)         %9.2f ms  (loadPicture)/heif-convert "
                   "%.3f (median of the runs' ratios %.3f)\n"
                 : "  (f) djxl (no output)              %9.2f ms  (loadPicture)/djxl %.3f "
                   "(median of the runs' ratios %.3f)\n",
            f, f > 0 ? median(load) / f : 0.0, median(ratios));
        std::printf("  (e) fitted to 1920 x 1080         %9.2f ms  (thumbnail 128: %.2f ms, "
                    "%.2f of loadPicture)\n",
                    median(fitted), median(thumbnail), median(thumbnail) / median(load));
        return; // Qt has no reader of its own for these
    }
    if (metafile)
        return; // Qt's readers have no decoder for metafiles: no floor to compare with
    std::printf("  (d) QImageReader::read            %9.2f ms\n", d);
    if (floorSize != kept.size())
        std::printf("      (the plain read gives %d x %d: the loader also turns the picture by its "
                    "orientation tag)\n",
                    floorSize.width(), floorSize.height());
    std::printf("  (a)/(d)                           %9.3f\n", d > 0 ? a / d : 0.0);
    if (jpeg) {
        const double dj = median(djpeg);
        std::printf("  (d) djpeg -outfile /dev/null      %9.2f ms  (a)/djpeg %.3f\n", dj,
                    dj > 0 ? a / dj : 0.0);
    }
    std::printf("  (e) fitted to 1920 x 1080         %9.2f ms  (thumbnail 128: %.2f ms)\n",
                median(fitted), median(thumbnail));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int runs = 7;
    QStringList inputs, viewer, conversions;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--runs") && i + 1 < args.size()) {
            runs = std::max(1, args[++i].toInt());
        } else if (a == QLatin1String("--make-sample") && i + 1 < args.size()) {
            QString path = args[++i];
            if (!makeSample(path, QSize(6000, 4000)))
                return 1;
            if (QFileInfo(path).isDir())
                path = QDir(path).filePath(QStringLiteral("sample_24mp.jpg"));
            inputs << path;
        } else if (a == QLatin1String("--make-heif") && i + 1 < args.size()) {
            const QStringList made = makeHeifSamples(args[++i]);
            if (made.isEmpty())
                return 1;
            inputs << made;
        } else if (a == QLatin1String("--make-jxl") && i + 1 < args.size()) {
            const QStringList made = makeJxlSample(args[++i]);
            if (made.isEmpty())
                return 1;
            inputs << made;
        } else if (a == QLatin1String("--viewer") && i + 1 < args.size()) {
            viewer << args[++i];
        } else if (a == QLatin1String("--convert") && i + 1 < args.size()) {
            conversions << args[++i];
        } else if (a == QLatin1String("--peak-memory") && i + 2 < args.size()) {
            return peakMemoryRun(args[i + 1], args[i + 2]);
        } else if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            std::printf("%s", kUsage);
            return 0;
        } else {
            inputs << picturesIn(a);
        }
    }
    if (inputs.isEmpty() && viewer.isEmpty() && conversions.isEmpty()) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    if (!inputs.isEmpty())
        std::printf("median of %d runs\n", runs);
    for (const QString& path : inputs)
        benchFile(path, runs);
    for (const QString& photo : viewer) {
        if (viewerBench(photo, runs) != 0)
            return 1;
    }
    for (const QString& photo : conversions) {
        if (convertBench(photo, runs) != 0)
            return 1;
    }
    return 0;
}
