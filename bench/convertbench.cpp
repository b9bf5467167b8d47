// The conversion component on one photo: each operation timed from the call
// to the written file, as the conversion window's user waits for it (the
// picture service's memory is emptied before each run, so every run decodes
// its source), beside ImageMagick's convert doing the same conversion of
// the same file in the same run (runs alternate between the two, so both
// see the same machine).
#include "convertbench.h"

#include "convert/convertrules.h"
#include "convert/picformat32.h"
#include "picture/pictureservice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace lumenta {

namespace {

// Runs one operation and waits for its outcome; the time in ms, or -1.
double timed(PictureService& pictures, const std::function<bool(PicFormat32&)>& start) {
    pictures.clearCache();
    PicFormat32 pf(pictures);
    bool done = false, ok = false;
    QObject::connect(&pf, &PicFormat32::finished, [&](const ConversionOutcome& o) {
        done = true;
        ok = o.ok();
    });
    QElapsedTimer t;
    t.start();
    if (!start(pf))
        return -1;
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return ok ? t.nsecsElapsed() / 1e6 : -1;
}

// ImageMagick's own program, not a wrapper that may stand in for it.
QString convertProgram() {
    for (const char* name : {"convert-im6.q16", "convert-im7.q16", "magick", "convert"}) {
        const QString found = QStandardPaths::findExecutable(QLatin1String(name));
        if (!found.isEmpty())
            return found;
    }
    return {};
}

// convert with these arguments; the time in ms, or -1.
double convertMs(const QString& program, const QStringList& args) {
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return -1;
    return t.nsecsElapsed() / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int convertBench(const QString& photo, int runs) {
    QTemporaryDir dir;
    PictureService pictures;
    const QString magick = convertProgram();
    const auto path = [&dir](const char* name) { return dir.filePath(QLatin1String(name)); };
    const QString bmp = path("photo.bmp"), gif = path("photo.gif"), jpg = path("photo.jpg");
    const QString back = path("back.bmp");
    const auto quality = [](int setting) { return QString::number(jpegQualityFor(setting)); };
    struct Step {
        const char* what;
        QString output;
        std::function<bool(PicFormat32&)> start;
        QStringList magickArgs; // writes beside output, never onto it
    } steps[] = {
        {"JPEG to BMP",
         bmp,
         [&](PicFormat32& p) { return p.JpegToBmp(photo, bmp); },
         {photo, path("im.bmp")}},
        {"BMP to JPEG, setting 20",
         jpg,
         [&](PicFormat32& p) { return p.BmpToJpeg(bmp, jpg, 20); },
         {bmp, QStringLiteral("-quality"), quality(20), path("im.jpg")}},
        {"BMP to JPEG, setting 65",
         jpg,
         [&](PicFormat32& p) { return p.BmpToJpeg(bmp, jpg, 65); },
         {bmp, QStringLiteral("-quality"), quality(65), path("im.jpg")}},
        {"BMP to JPEG, setting 130",
         jpg,
         [&](PicFormat32& p) { return p.BmpToJpeg(bmp, jpg, 130); },
         {bmp, QStringLiteral("-quality"), quality(130), path("im.jpg")}},
        {"BMP to GIF",
         gif,
         [&](PicFormat32& p) { return p.BmpToGif(bmp, gif); },
         {bmp, path("im.gif")}},
        {"GIF to BMP",
         back,
         [&](PicFormat32& p) { return p.GifToBmp(gif, back); },
         {gif, path("im.bmp")}},
    };
    std::printf("%s, median of %d runs; beside: %s\n", qPrintable(QFileInfo(photo).fileName()),
                runs, magick.isEmpty() ? "no ImageMagick found" : qPrintable(magick));
    std::printf("  %-26s %10s %10s %7s %9s\n", "", "Lumenta", "convert", "ratio", "output");
    for (const Step& s : steps) {
        std::vector<double> ours, theirs;
        for (int i = 0; i < runs; ++i) {
            const double ms = timed(pictures, s.start);
            if (ms < 0) {
                std::fprintf(stderr, "%s failed\n", s.what);
                return 1;
            }
            ours.push_back(ms);
            if (!magick.isEmpty()) {
                const double im = convertMs(magick, s.magickArgs);
                if (im < 0) {
                    std::fprintf(stderr, "%s: convert failed\n", s.what);
                    return 1;
                }
                theirs.push_back(im);
            }
        }
        const double a = median(ours);
        const double b = theirs.empty() ? 0 : median(theirs);
        std::printf("  %-26s %7.1f ms %7.1f ms %7.3f %6.0f KB\n", s.what, a, b, b > 0 ? a / b : 0,
                    QFileInfo(s.output).size() / 1024.0);
    }
    return 0;
}

} // namespace lumenta
