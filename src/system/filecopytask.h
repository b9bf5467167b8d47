#pragma once
// Runs one copyFile or moveFile (system/fileops.h) on a worker thread so a
// window never freezes on a large file; the outcome comes back by the
// finished() signal on the thread that owns the task (the GUI thread).
//
//     auto* task = new FileCopyTask(this);
//     connect(task, &FileCopyTask::finished, this, [](const FileResult& r) { ... });
//     task->start(source, destination, /*replace=*/false);
//     ...
//     task->cancel(); // finished() comes with r.cancelled, the temporary file gone
//
// Questions (replace this file?) are asked by the window before start(),
// one file at a time. Destroying the task cancels a running copy: the
// worker then removes its temporary file on its own and reports to no one.
#include "system/fileops.h"

#include <QObject>

#include <memory>

namespace lumenta {

class FileCopyTask : public QObject {
    Q_OBJECT
public:
    enum class Kind { Copy, Move };

    explicit FileCopyTask(QObject* parent = nullptr);
    ~FileCopyTask() override;

    // Starts the operation; false (nothing started) while one is running.
    bool start(const QString& source, const QString& destination, bool replace,
               Kind kind = Kind::Copy);
    // Asks the running operation to stop; finished() still comes.
    void cancel();
    bool isRunning() const { return m_running; }

    // How the copy writes its blocks (tests make it fail or slow it down).
    void setWriteFunction(WriteFunction write) { m_write = std::move(write); }

Q_SIGNALS:
    // At most ten times a second while copying.
    void progress(qint64 copied, qint64 total);
    void finished(const lumenta::FileResult& result);

private:
    struct Shared;
    void done(const FileResult& result);

    std::shared_ptr<Shared> m_shared;
    WriteFunction m_write;
    bool m_running = false;
};

} // namespace lumenta

Q_DECLARE_METATYPE(lumenta::FileResult)
