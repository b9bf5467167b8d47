#pragma once
// The loops of the file utility's copy and delete commands, without any
// window: which file comes next, when to ask, what the answers do, and the
// message the ending calls for. The window shows the questions (question())
// and hands the answers back (answer()).
//
// Copy: each selected file goes from the source folder to the target folder;
// an existing destination is asked about until the answer is "all" (2); a
// destination that is the source itself (the same folder, or a link to the
// source) stops everything. Copies run one at a time on a worker thread.
// Delete: each file is asked about until the answer is "all"; it goes to the
// trash where its volume has one.
//
// The counters and flags of AppState (CopyInProgress, DeleteInProgress,
// ConfirmAnswer, OperationCount) are kept as the operation goes; the flags
// are back to 0 on every ending.
#include "app/appstate.h"
#include "dialogs/dialogs.h"
#include "system/fileops.h"

#include <QObject>
#include <QStringList>

#include <optional>

namespace lumenta {

class FileCopyTask;

class FileBatch : public QObject {
    Q_OBJECT
public:
    enum class Mode { Copy, Delete };
    enum class Ending {
        Done,       // every file handled, or stopped by the answer 4
        SameFolder, // copy: a destination is the source itself
        Failed,     // a file could not be copied or deleted (failure() says why)
        Abandoned,  // stopped by abandon()
    };

    FileBatch(Mode mode, AppState& state, const QString& sourceFolder, const QString& targetFolder,
              const QStringList& names, QObject* parent = nullptr);
    ~FileBatch() override;

    void start();
    // The answer to the last question (1 this file, 2 all, 3 skip, 4 stop).
    void answer(int confirmAnswer);
    // Stops at once (the window closes): a running copy is cancelled and
    // its temporary file removed; finished(Abandoned) follows.
    void abandon();

    Mode mode() const { return m_mode; }
    bool isRunning() const { return m_running; }
    int selectedCount() const { return int(m_names.size()); }
    const FileResult& failure() const { return m_failure; }
    // How copies write (tests make them fail half way or slow them down).
    void setWriteFunction(WriteFunction write) { m_write = std::move(write); }

    struct Message {
        QString text;
        QString title;
        MsgIcon icon;
    };
    // The message an ending calls for (none after a deletion ending on a skip).
    static std::optional<Message> endingMessage(Mode mode, Ending ending, int confirmAnswer,
                                                int selectedCount);

Q_SIGNALS:
    // Ask the user (the text goes into the question dialog).
    void question(const QString& text);
    // One more file copied or deleted (AppState::OperationCount).
    void fileDone(int operationCount);
    // Bytes of the file being copied, at most ten times a second.
    void progress(qint64 copied, qint64 total);
    void finished(lumenta::FileBatch::Ending ending);

private:
    void proceed();
    void startCopy(bool replace);
    void copyFinished(const FileResult& result);
    bool deleteCurrent();
    void ask(const QString& text);
    void finish(Ending ending);
    QString sourcePath() const;
    QString targetPath() const;

    Mode m_mode;
    AppState& m_st;
    QString m_source;
    QString m_target;
    QStringList m_names;
    qsizetype m_index = 0;
    bool m_running = false;
    bool m_waiting = false;
    FileCopyTask* m_task = nullptr;
    WriteFunction m_write;
    FileResult m_failure;
};

// True when name may be given to a new folder: not empty and free of the
// characters the utility refuses ("\><,?;.:/!*£µ'¤°+-|`^=" and the lower-case
// accented letters èêéëçàäâüûùîïöô).
bool isAllowedFolderName(const QString& name);

} // namespace lumenta
