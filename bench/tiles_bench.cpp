// Pictures too large to be decoded whole, beside libvips:
//
//   lumenta-tiles-bench --make FOLDER
//       writes the benchmark's pictures with the vips command, which needs
//       little memory for it: big.jpg (40,000 x 20,000 baseline JPEG) and
//       big.png (30,000 x 30,000 PNG), from a 5,000 x 4,000 photograph-like
//       picture repeated.
//   lumenta-tiles-bench [--runs N] --decoders FILE...
//       the decoders alone: the first viewport (1920 x 1080 at the top
//       left), the viewport at the bottom right, and the overview, by our
//       own decoder and by libvips in this process, beside the anchors.
//   lumenta-tiles-bench [--runs N] --viewer FILE...
//       the main window: the first viewport painted after the click, the
//       bottom-right viewport painted after a jump there, the overview,
//       the GUI thread's latency while scrolling across the picture, and
//       the peak resident memory (each run in a process of its own).
//
// Anchors, measured in the same run: `vips extract_area FILE out.v 0 0
// 1920 1080` (and the same at the bottom right) and `vipsthumbnail --size
// 1920 FILE`.
#include "tilesbench.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>
#include <cstring>

using namespace lumenta;

int main(int argc, char** argv) {
    // The viewer's measurements run in processes of their own.
    if (argc >= 2 && std::strcmp(argv[1], "--viewer-run") == 0)
        return tilesbench::viewerRun(argc, argv);
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int runs = 3;
    if (args.size() >= 2 && args[0] == QLatin1String("--runs")) {
        runs = qMax(1, args[1].toInt());
        args = args.mid(2);
    }
    if (args.size() == 2 && args[0] == QLatin1String("--make"))
        return tilesbench::makePictures(args[1]) ? 0 : 1;
    if (args.size() >= 2 && args[0] == QLatin1String("--decoders"))
        return tilesbench::decoders(args.mid(1), runs);
    if (args.size() >= 2 && args[0] == QLatin1String("--viewer"))
        return tilesbench::viewer(app.applicationFilePath(), args.mid(1), runs);
    std::fprintf(stderr, "usage: lumenta-tiles-bench --make FOLDER\n"
                         "       lumenta-tiles-bench [--runs N] --decoders FILE...\n"
                         "       lumenta-tiles-bench [--runs N] --viewer FILE...\n");
    return 2;
}
