// The slideshow screen with large photos: an automatic show of 24-megapixel
// JPEGs on a 1920 x 1080 screen with a 1-second pause. Prints the interval
// between two pictures appearing (the pause plus what the show adds to it)
// and the peak memory of the whole run.
//
//   lumenta-slideshow-bench [--pictures N] [--pause S] [--rule 1-4] [--folder DIR]
//
// Without --folder, two photograph-like 24-megapixel samples are written to a
// temporary folder and linked under N names, so every picture of the show is
// a different file to read.
#include "benchutil.h"

#include "app/appcontext.h"
#include "picture/pictureservice.h"
#include "slideshow/ecrdiapo.h"
#include "slideshow/slideshowhost.h"
#include "support/scripteddialogs.h"
#include "widgets/browsewidgets.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

using namespace lumenta;

namespace {

// Resident memory (kB) from /proc: now, and the peak so far.
long procStatus(const char* key) {
    return long(bench::procStatusKB(key));
}

bool writeSample(const QString& path, quint32 seed) {
    const QSize size(6000, 4000);
    QImage img(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int noise = int(seed >> 27) - 16;
            line[x] = qRgb((x * 255 / size.width() + noise) & 0xff,
                           (y * 255 / size.height() + noise / 2) & 0xff,
                           ((x + y) * 128 / (size.width() + size.height()) + 64 + noise) & 0xff);
        }
    }
    QImageWriter writer(path, "jpeg");
    writer.setQuality(90);
    return writer.write(img);
}

double median(std::vector<double> v) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    int pictures = 48;
    int pause = 1;
    int rule = 3;
    QString folder;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--pictures") && i + 1 < args.size())
            pictures = std::max(2, args[++i].toInt());
        else if (args[i] == QLatin1String("--pause") && i + 1 < args.size())
            pause = std::max(1, args[++i].toInt());
        else if (args[i] == QLatin1String("--rule") && i + 1 < args.size())
            rule = std::clamp(args[++i].toInt(), 1, 4);
        else if (args[i] == QLatin1String("--folder") && i + 1 < args.size())
            folder = args[++i];
        else {
            std::printf("usage: lumenta-slideshow-bench [--pictures N] [--pause S] "
                        "[--rule 1-4] [--folder DIR]\n");
            return 2;
        }
    }

    QTemporaryDir tmp;
    if (folder.isEmpty()) {
        folder = tmp.path();
        const QString a = tmp.filePath("sample_a.jpg"), b = tmp.filePath("sample_b.jpg");
        if (!writeSample(a, 1) || !writeSample(b, 2)) {
            std::fprintf(stderr, "cannot write the samples\n");
            return 1;
        }
        for (int i = 0; i < pictures; ++i) {
            const QString name =
                tmp.filePath(QStringLiteral("photo_%1.jpg").arg(i, 3, 10, QLatin1Char('0')));
            if (::link(QFile::encodeName(i % 2 ? b : a).constData(),
                       QFile::encodeName(name).constData()) != 0)
                return 1;
        }
        QFile::remove(a);
        QFile::remove(b);
    }

    ScriptedDialogs dialogs;
    AppContext ctx;
    ctx.dialogs = &dialogs;
    ctx.pictureService = std::make_shared<PictureService>();
    ctx.state.settingsPathOverride = tmp.filePath("Affich.cfg");
    Settings& s = ctx.state.settings;
    s.SlideShowType = 0;
    s.SlideSizeMode = int16_t(rule);
    s.SlideOrder = 1;
    s.SlideBackColor = 1;
    s.SlidePauseSeconds = int16_t(pause);
    s.SlideShowFileName = 1;
    s.SlideLoop = 0;
    s.SlideSource = 0;

    FileList files;
    files.setPath(folder);
    files.setPattern(QStringLiteral("*.jpg"));
    while (files.isListing())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    SlideshowHost host;
    host.files = &files;

    // The peak counts from here: writing the samples is not part of the show.
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
    clear.close();
    const long before = procStatus("VmRSS:");
    EcrDiapo show(ctx, host);
    show.setWindowState(Qt::WindowNoState);
    show.resize(1920, 1080);

    QElapsedTimer clock;
    clock.start();
    std::vector<double> shownAt;
    int failed = 0;
    QObject::connect(&show, &EcrDiapo::pictureDisplayed, [&](const QString&, bool ok) {
        shownAt.push_back(clock.nsecsElapsed() / 1e6);
        failed += ok ? 0 : 1;
    });
    QObject::connect(&show, &QDialog::finished, &app, &QApplication::quit);
    show.show();
    show.activateWindow();
    app.exec();

    std::vector<double> over;
    for (size_t i = 1; i < shownAt.size(); ++i)
        over.push_back(shownAt[i] - shownAt[i - 1] - pause * 1000.0);
    std::printf("%d pictures of %s on 1920 x 1080, pause %d s, %d not shown\n", int(shownAt.size()),
                qPrintable(folder), pause, failed);
    if (!over.empty()) {
        std::printf("first picture after      %8.1f ms\n", shownAt.front());
        std::printf("interval minus the pause: median %6.1f ms, max %6.1f ms\n", median(over),
                    *std::max_element(over.begin(), over.end()));
    }
    std::printf("memory: before the show %ld MB, peak of the run %ld MB\n", before / 1024,
                procStatus("VmHWM:") / 1024);
    return 0;
}
