#include "browser/picturesearch.h"

#include "app/module1.h"
#include "browser/namematcher.h"
#include "system/filelist.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace lumenta {

namespace {

// Deeper than this, a folder is closed once read and its subfolders are
// opened by path, so deep trees never run out of file descriptors.
constexpr int kMaxOpenDepth = 128;

struct Subfolder {
    QString name;
    QByteArray bytes;
};

class Walker {
public:
    Walker(const QStringList& masks, const SearchSink& sink, const std::atomic<bool>* stop)
        : m_matches(masks), m_sink(sink), m_stop(stop) {}

    bool stopped() const { return m_stop && m_stop->load(std::memory_order_relaxed); }

    // Walks the open folder fd (taken over) at path.
    void walk(int fd, const QString& path, int depth) {
        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            ::close(fd);
            return;
        }
        const std::pair<dev_t, ino_t> id{st.st_dev, st.st_ino};
        if (std::find(m_ancestors.begin(), m_ancestors.end(), id) != m_ancestors.end()) {
            ::close(fd); // a link back up the way down
            return;
        }
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            ::close(fd);
            return;
        }
        QStringList names;
        std::vector<Subfolder> subfolders;
        read(dir, names, subfolders);
        // The folder list's order, which the walk takes from the end.
        std::sort(subfolders.begin(), subfolders.end(), [](const Subfolder& a, const Subfolder& b) {
            const int c = naturalCompare(a.name, b.name);
            return c != 0 ? c < 0 : a.name < b.name;
        });
        int parent = ::dirfd(dir);
        if (depth >= kMaxOpenDepth) {
            ::closedir(dir);
            dir = nullptr;
            parent = -1;
        }
        const QString prefix = AddBackslash(path);
        m_ancestors.push_back(id);
        for (auto it = subfolders.rbegin(); it != subfolders.rend() && !stopped(); ++it) {
            const QString childPath = prefix + it->name;
            if (childPath == QLatin1String("/proc") || childPath == QLatin1String("/sys"))
                continue;
            const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
            const int child = parent >= 0 ? ::openat(parent, it->bytes.constData(), flags)
                                          : ::open(QFile::encodeName(childPath).constData(), flags);
            if (child >= 0) // unreadable folders are skipped
                walk(child, childPath, depth + 1);
        }
        m_ancestors.pop_back();
        if (dir)
            ::closedir(dir);
        if (stopped())
            return;
        naturalSort(names);
        QStringList paths;
        paths.reserve(names.size());
        for (const QString& n : std::as_const(names))
            paths.append(prefix + n);
        m_sink(path, paths);
    }

private:
    void read(DIR* dir, QStringList& names, std::vector<Subfolder>& subfolders) {
        QString name;
        while (const dirent* e = ::readdir(dir)) {
            if (stopped())
                return;
            if (e->d_name[0] == '.')
                continue;
            const QByteArrayView bytes(e->d_name);
            bool isDir = e->d_type == DT_DIR;
            bool isFile = e->d_type == DT_REG;
            if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
                // A link, or a file system that does not say: follow it.
                struct stat st {};
                if (::fstatat(::dirfd(dir), e->d_name, &st, 0) == 0) {
                    isDir = S_ISDIR(st.st_mode);
                    isFile = S_ISREG(st.st_mode);
                }
            }
            if (isFile && m_matches.matches(bytes) && decodeFileName(bytes, name))
                names.append(name);
            else if (isDir && decodeFileName(bytes, name))
                subfolders.push_back({name, bytes.toByteArray()});
        }
    }

    const NameMatcher m_matches;
    const SearchSink& m_sink;
    const std::atomic<bool>* m_stop;
    std::vector<std::pair<dev_t, ino_t>> m_ancestors;
};

} // namespace

bool walkPictureTree(const QString& root, const QString& pattern, const SearchSink& sink,
                     const std::atomic<bool>* stop) {
    const QStringList masks = patternMasks(pattern);
    if (masks.isEmpty())
        return !(stop && stop->load());
    const QString start = QDir::cleanPath(QDir(root).absolutePath());
    Walker walker(masks, sink, stop);
    const int fd = ::open(QFile::encodeName(start).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
        walker.walk(fd, start, 0);
    return !walker.stopped();
}

PictureSearch::PictureSearch(QObject* parent) : QObject(parent) {
    // A stopped walk may still be leaving its folder when the next starts.
    m_pool.setMaxThreadCount(2);
}

PictureSearch::~PictureSearch() {
    stop();
    m_pool.waitForDone();
}

bool PictureSearch::start(const QString& root, const QString& pattern) {
    if (m_running)
        return false;
    m_running = true;
    auto stopFlag = std::make_shared<std::atomic<bool>>(false);
    m_stop = stopFlag;
    const quint64 generation = ++m_generation;
    const int interval = m_intervalMs;
    // Reports come back as queued calls, dropped once the walk is stopped
    // or superseded.
    auto post = [this, generation](QStringList paths, QString folder, bool end) {
        QMetaObject::invokeMethod(
            this,
            [this, generation, paths = std::move(paths), folder = std::move(folder), end] {
                if (generation != m_generation || !m_running)
                    return;
                if (!paths.isEmpty() || !folder.isEmpty())
                    Q_EMIT found(paths, folder);
                if (end) {
                    m_running = false;
                    Q_EMIT finished();
                }
            },
            Qt::QueuedConnection);
    };
    m_pool.start([stopFlag, root, pattern, interval, post] {
        QStringList pending;
        QElapsedTimer clock;
        clock.start();
        const auto sink = [&](const QString& folder, QStringList& paths) {
            pending.append(std::move(paths));
            if (clock.elapsed() >= interval) {
                post(std::exchange(pending, {}), folder, false);
                clock.restart();
            }
        };
        if (walkPictureTree(root, pattern, sink, stopFlag.get()))
            post(pending, QString(), true);
    });
    return true;
}

void PictureSearch::stop() {
    if (m_stop)
        m_stop->store(true);
    ++m_generation;
    m_running = false;
}

} // namespace lumenta
