#include "browser/picturesearch.h"

#include "app/module1.h"
#include "system/filelist.h"
#include "system/namematcher.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace lumenta {

namespace {

// Deeper than this, a folder is closed once read and its subfolders are
// opened by path, so deep trees never run out of file descriptors.
constexpr int kMaxOpenDepth = 128;

// Kernel and pseudo file systems: no pictures there, and some (proc) hold
// links back to "/" under every process.
bool isPseudoFileSystem(int fd) {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return false;
    constexpr unsigned long kConfigFs = 0x62656570, kFuseCtl = 0x65735543, kMqueue = 0x19800202;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case PROC_SUPER_MAGIC:
    case SYSFS_MAGIC:
    case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC:
    case DEBUGFS_MAGIC:
    case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC:
    case SELINUX_MAGIC:
    case SMACK_MAGIC:
    case PSTOREFS_MAGIC:
    case BPF_FS_MAGIC:
    case kConfigFs:
    case DEVPTS_SUPER_MAGIC:
    case kFuseCtl:
    case kMqueue:
    case BINFMTFS_MAGIC:
    case EFIVARFS_MAGIC:
    case AUTOFS_SUPER_MAGIC:
    case NSFS_MAGIC:
        return true;
    default:
        return false;
    }
}

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
        if (::fstat(fd, &st) != 0 || isPseudoFileSystem(fd)) {
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

PictureSearch::PictureSearch(QObject* parent) : QObject(parent), m_walk(walkPictureTree) {
    // A stopped walk may still be leaving its folder when the next starts.
    m_pool.setMaxThreadCount(2);
}

PictureSearch::~PictureSearch() {
    halt();
    m_pool.waitForDone();
}

bool PictureSearch::start(const QString& root, const QString& pattern) {
    if (m_running)
        return false;
    m_running = true;
    auto stopFlag = std::make_shared<std::atomic<bool>>(false);
    auto batch = std::make_shared<Batch>();
    m_stop = stopFlag;
    m_batch = batch;
    const int interval = m_intervalMs;
    // The walk adds to the batch; a queued call hands it over, unless the
    // walk was stopped or superseded meanwhile (stop() hands it over then).
    auto post = [this, batch](bool end) {
        QMetaObject::invokeMethod(
            this, [this, batch, end] { report(batch, end); }, Qt::QueuedConnection);
    };
    m_pool.start([stopFlag, batch, walk = m_walk, root, pattern, interval, post] {
        QElapsedTimer clock;
        clock.start();
        const auto sink = [&](const QString& folder, QStringList& paths) {
            {
                const std::lock_guard<std::mutex> hold(batch->lock);
                if (batch->closed)
                    return;
                batch->paths.append(std::move(paths));
                batch->folder = folder;
            }
            if (clock.elapsed() >= interval) {
                post(false);
                clock.restart();
            }
        };
        if (walk(root, pattern, sink, stopFlag.get()))
            post(true);
    });
    return true;
}

std::pair<QStringList, QString> PictureSearch::Batch::take() {
    const std::lock_guard<std::mutex> hold(lock);
    return {std::exchange(paths, {}), std::exchange(folder, {})};
}

void PictureSearch::report(const std::shared_ptr<Batch>& batch, bool end) {
    if (batch != m_batch || !m_running)
        return;
    const auto [paths, folder] = batch->take();
    if (!paths.isEmpty() || !folder.isEmpty())
        Q_EMIT found(paths, folder);
    if (end) {
        m_running = false;
        Q_EMIT finished();
    }
}

// Closes the walk's batch; what it holds is left for the caller.
void PictureSearch::halt() {
    if (m_batch) {
        const std::lock_guard<std::mutex> hold(m_batch->lock);
        m_batch->closed = true;
    }
    if (m_stop) // after the batch is closed: a walk that sees it adds nothing
        m_stop->store(true);
    m_running = false;
}

void PictureSearch::stop() {
    if (!m_running)
        return halt();
    const std::shared_ptr<Batch> batch = m_batch;
    halt();
    const auto [paths, folder] = batch->take();
    m_batch.reset(); // queued reports of this walk find nothing to do
    if (!paths.isEmpty())
        Q_EMIT found(paths, folder);
}

} // namespace lumenta
