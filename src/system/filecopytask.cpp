#include "system/filecopytask.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QThreadPool>

namespace lumenta {

// What the worker and the task share. The worker reports through owner,
// which the task clears (under the lock) when it is destroyed.
struct FileCopyTask::Shared {
    std::atomic<bool> cancel{false};
    QMutex lock;
    FileCopyTask* owner = nullptr;
};

FileCopyTask::FileCopyTask(QObject* parent) : QObject(parent) {}

FileCopyTask::~FileCopyTask() {
    if (m_shared) {
        const QMutexLocker locker(&m_shared->lock);
        m_shared->owner = nullptr;
        m_shared->cancel = true;
    }
}

bool FileCopyTask::start(const QString& source, const QString& destination, bool replace,
                         Kind kind) {
    if (m_running)
        return false;
    m_running = true;
    m_shared = std::make_shared<Shared>();
    m_shared->owner = this;
    auto shared = m_shared;
    WriteFunction write = m_write;
    QThreadPool::globalInstance()->start([shared, source, destination, replace, kind, write] {
        QElapsedTimer sinceReport;
        sinceReport.start();
        CopyOptions options;
        options.replace = replace;
        options.cancel = &shared->cancel;
        options.write = write;
        options.progress = [&](qint64 copied, qint64 total) {
            if (sinceReport.elapsed() < 100)
                return;
            sinceReport.restart();
            const QMutexLocker locker(&shared->lock);
            if (FileCopyTask* owner = shared->owner)
                QMetaObject::invokeMethod(
                    owner, [owner, copied, total] { Q_EMIT owner->progress(copied, total); },
                    Qt::QueuedConnection);
        };
        const FileResult result = kind == Kind::Move ? moveFile(source, destination, options)
                                                     : copyFile(source, destination, options);
        const QMutexLocker locker(&shared->lock);
        if (FileCopyTask* owner = shared->owner)
            QMetaObject::invokeMethod(
                owner, [owner, result] { owner->done(result); }, Qt::QueuedConnection);
    });
    return true;
}

void FileCopyTask::cancel() {
    if (m_shared)
        m_shared->cancel = true;
}

void FileCopyTask::done(const FileResult& result) {
    m_running = false;
    m_shared.reset();
    Q_EMIT finished(result);
}

} // namespace lumenta
