#pragma once
// The search of pictures in a folder and every folder below it.
//
// walkPictureTree reads the file system directly, in the order the browser
// lists the results: depth first, the subfolders of a folder from the last
// (in the folder list's natural order) to the first, each completely before
// the next, and a folder's own files after those of all its subfolders.
// Files match as in the file list (regular files and links to them, no dot
// files, valid UTF-8 names). Dot folders and the folders of kernel and
// pseudo file systems (proc, sysfs and the like, however reached) are left
// out, unreadable folders are skipped, and a link to a folder already on
// the way down (same device and inode) is not followed, so link loops end.
//
// PictureSearch runs one walk at a time on a worker thread and reports
// what it finds in batches, at most every reportInterval milliseconds.
// Stopping delivers what was found up to that moment and nothing after.
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace lumenta {

// Called once per folder walked, after its subfolders, with the full paths
// of its matching files in natural order (possibly none).
using SearchSink = std::function<void(const QString& folder, QStringList& paths)>;

// Blocks: call it off the GUI thread. Returns false when *stop turned true
// before the end (the sink is not called after that).
bool walkPictureTree(const QString& root, const QString& pattern, const SearchSink& sink,
                     const std::atomic<bool>* stop = nullptr);

// The walk a search runs: walkPictureTree, or another that calls the sink
// the same way.
using SearchWalk = std::function<bool(const QString& root, const QString& pattern,
                                      const SearchSink& sink, const std::atomic<bool>* stop)>;

class PictureSearch : public QObject {
    Q_OBJECT
public:
    explicit PictureSearch(QObject* parent = nullptr);
    ~PictureSearch() override; // ends a walk under way, reports nothing more, and waits

    // Starts walking root for pattern; false, and nothing done, while
    // another walk runs.
    bool start(const QString& root, const QString& pattern);
    // Ends the walk under way at once: what it found and had not reported
    // yet comes by found() before stop() returns; nothing comes after.
    void stop();
    bool isRunning() const { return m_running; }
    void setReportInterval(int ms) { m_intervalMs = ms; }
    void setWalk(SearchWalk walk) { m_walk = std::move(walk); }

Q_SIGNALS:
    // Files found since the last report; folder is the one being walked.
    void found(const QStringList& paths, const QString& folder);
    // The walk reached its end (after the last found()).
    void finished();

private:
    // What one walk found and has not reported yet, shared with its thread.
    struct Batch {
        std::mutex lock;
        QStringList paths;
        QString folder;
        bool closed = false; // stopped: the walk adds nothing more
        // Empties the batch and returns what it held.
        std::pair<QStringList, QString> take();
    };
    void report(const std::shared_ptr<Batch>& batch, bool end);
    void halt();

    QThreadPool m_pool;
    std::shared_ptr<std::atomic<bool>> m_stop;
    std::shared_ptr<Batch> m_batch;
    SearchWalk m_walk;
    bool m_running = false;
    int m_intervalMs = 100;
};

} // namespace lumenta
