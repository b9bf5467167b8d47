// Times the browser's recursive picture search beside find on the same
// tree: `find DIR -name PATTERN` writing to /dev/null, the bare walk, and
// the whole search with its reports delivered to an event loop. Wall and
// processor times, medians of several runs, after one warming run each.
//
//   lumenta-search-bench --make-tree DIR [--files 100000]
//   lumenta-search-bench [--runs 5] [--pattern '*.jpg'] DIR
#include "browser/picturesearch.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <vector>

using namespace lumenta;

namespace {

double cpuMs(int who) {
    rusage u{};
    getrusage(who, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// 10 x 10 x 10 folders of photos, each leaf with files / 1000 names, one
// in four a .jpg, the others .JPG, .png and .txt.
int makeTree(const QString& root, int files) {
    const char* ext[] = {".jpg", ".JPG", ".png", ".txt"};
    const int perFolder = std::max(1, files / 1000);
    int made = 0;
    for (int a = 0; a < 10; ++a)
        for (int b = 0; b < 10; ++b)
            for (int c = 0; c < 10; ++c) {
                const QString dir = QStringLiteral("%1/y%2/m%3/d%4").arg(root).arg(a).arg(b).arg(c);
                QDir().mkpath(dir);
                for (int i = 0; i < perFolder; ++i) {
                    QFile f(QStringLiteral("%1/photo%2%3").arg(dir).arg(i).arg(ext[i % 4]));
                    if (f.open(QIODevice::WriteOnly))
                        ++made;
                }
            }
    return made;
}

struct Figures {
    std::vector<double> wall, cpu;
    qsizetype found = 0;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

Figures measure(int runs, int who, const std::function<qsizetype()>& run) {
    Figures f;
    run(); // warms the caches
    for (int i = 0; i < runs; ++i) {
        const double cpu0 = cpuMs(who);
        QElapsedTimer t;
        t.start();
        f.found = run();
        f.wall.push_back(t.nsecsElapsed() / 1e6);
        f.cpu.push_back(cpuMs(who) - cpu0);
    }
    return f;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    auto option = [&](const QString& name, const QString& fallback) {
        const qsizetype i = args.indexOf(name);
        if (i < 0 || i + 1 >= args.size())
            return fallback;
        const QString v = args[i + 1];
        args.remove(i, 2);
        return v;
    };
    const QString tree = option(QStringLiteral("--make-tree"), QString());
    if (!tree.isEmpty()) {
        const int files = option(QStringLiteral("--files"), QStringLiteral("100000")).toInt();
        std::printf("%d files made under %s\n", makeTree(tree, files), qPrintable(tree));
        return 0;
    }
    const int runs = option(QStringLiteral("--runs"), QStringLiteral("5")).toInt();
    const QString pattern = option(QStringLiteral("--pattern"), QStringLiteral("*.jpg"));
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: lumenta-search-bench [--runs N] [--pattern P] DIR\n"
                             "       lumenta-search-bench --make-tree DIR [--files N]\n");
        return 2;
    }
    const QString dir = args[0];

    const Figures find = measure(runs, RUSAGE_CHILDREN, [&] {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        p.start(QStringLiteral("find"), {dir, QStringLiteral("-name"), pattern});
        p.waitForFinished(-1);
        return qsizetype(-1);
    });
    const Figures walk = measure(runs, RUSAGE_SELF, [&] {
        qsizetype n = 0;
        walkPictureTree(dir, pattern, [&](const QString&, QStringList& p) { n += p.size(); });
        return n;
    });
    const Figures search = measure(runs, RUSAGE_SELF, [&] {
        PictureSearch s;
        qsizetype n = 0;
        QEventLoop loop;
        QObject::connect(&s, &PictureSearch::found, [&](const QStringList& p) { n += p.size(); });
        QObject::connect(&s, &PictureSearch::finished, &loop, &QEventLoop::quit);
        s.start(dir, pattern);
        loop.exec();
        return n;
    });

    std::printf("%s, pattern %s, %d runs (medians)\n", qPrintable(dir), qPrintable(pattern), runs);
    std::printf("%-34s %9s %9s %8s\n", "", "wall ms", "cpu ms", "x find");
    const double base = median(find.wall);
    auto line = [&](const char* what, const Figures& f) {
        std::printf("%-34s %9.1f %9.1f %8.2f\n", what, median(f.wall), median(f.cpu),
                    base > 0 ? median(f.wall) / base : 0.0);
    };
    line("find DIR -name PATTERN", find);
    line("walk (files found)", walk);
    line("search with its reports", search);
    std::printf("files found: %lld (case-insensitive; find -name is not)\n",
                static_cast<long long>(walk.found));
    return 0;
}
