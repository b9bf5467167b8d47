// The conversion component on one photo: each operation timed from the call
// to the written file, as the conversion window's user waits for it (the
// picture service's memory is emptied before each run, so every run decodes
// its source).
#include "convertbench.h"

#include "convert/picformat32.h"
#include "picture/pictureservice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
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

} // namespace

int convertBench(const QString& photo, int runs) {
    QTemporaryDir dir;
    PictureService pictures;
    const QString bmp = dir.filePath(QStringLiteral("photo.bmp"));
    const QString gif = dir.filePath(QStringLiteral("photo.gif"));
    const QString jpg = dir.filePath(QStringLiteral("photo.jpg"));
    const QString back = dir.filePath(QStringLiteral("back.bmp"));
    struct Step {
        const char* what;
        QString output;
        std::function<bool(PicFormat32&)> start;
    } steps[] = {
        {"JPEG to BMP", bmp, [&](PicFormat32& p) { return p.JpegToBmp(photo, bmp); }},
        {"BMP to JPEG, setting 20", jpg, [&](PicFormat32& p) { return p.BmpToJpeg(bmp, jpg, 20); }},
        {"BMP to JPEG, setting 65", jpg, [&](PicFormat32& p) { return p.BmpToJpeg(bmp, jpg, 65); }},
        {"BMP to JPEG, setting 130", jpg,
         [&](PicFormat32& p) { return p.BmpToJpeg(bmp, jpg, 130); }},
        {"BMP to GIF (libimagequant)", gif, [&](PicFormat32& p) { return p.BmpToGif(bmp, gif); }},
        {"GIF to BMP", back, [&](PicFormat32& p) { return p.GifToBmp(gif, back); }},
    };
    std::printf("%s, median of %d runs\n", qPrintable(QFileInfo(photo).fileName()), runs);
    for (const Step& s : steps) {
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            const double ms = timed(pictures, s.start);
            if (ms < 0) {
                std::fprintf(stderr, "%s failed\n", s.what);
                return 1;
            }
            times.push_back(ms);
        }
        std::sort(times.begin(), times.end());
        std::printf("  %-28s %9.1f ms  %9.0f KB\n", s.what, times[times.size() / 2],
                    QFileInfo(s.output).size() / 1024.0);
    }
    return 0;
}

} // namespace lumenta
