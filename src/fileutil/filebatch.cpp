#include "fileutil/filebatch.h"

#include "app/module1.h"
#include "system/filecopytask.h"

namespace lumenta {

FileBatch::FileBatch(Mode mode, AppState& state, const QString& sourceFolder,
                     const QString& targetFolder, const QStringList& names, QObject* parent)
    : QObject(parent), m_mode(mode), m_st(state), m_source(sourceFolder), m_target(targetFolder),
      m_names(names) {}

FileBatch::~FileBatch() {
    if (m_running)
        abandon();
}

QString FileBatch::sourcePath() const {
    return AddBackslash(m_source) + m_names.at(m_index);
}

QString FileBatch::targetPath() const {
    return AddBackslash(m_target) + m_names.at(m_index);
}

void FileBatch::start() {
    m_running = true;
    if (m_mode == Mode::Copy)
        m_st.CopyInProgress = 1;
    else
        m_st.DeleteInProgress = 1;
    m_st.ConfirmAnswer = 1;
    m_st.OperationCount = 0;
    m_index = 0;
    proceed();
}

void FileBatch::proceed() {
    while (m_running && !m_waiting && m_index < m_names.size()) {
        if (m_mode == Mode::Copy) {
            if (isSameFile(sourcePath(), targetPath()))
                return finish(Ending::SameFolder);
            const bool exists = entryExists(targetPath());
            if (exists && m_st.ConfirmAnswer != 2)
                return ask(tr("Le fichier destination  ") + m_names.at(m_index).toUpper() +
                           tr(" existe") + QLatin1Char('\n') + tr("Le remplacer ?   Confirmez ?"));
            return startCopy(exists);
        }
        if (m_st.ConfirmAnswer == 1 || m_st.ConfirmAnswer == 3)
            return ask(tr("Supprimer le fichier ") + QLatin1Char('\n') + sourcePath() + tr(" ?"));
        if (!deleteCurrent())
            return;
    }
    if (m_running && !m_waiting)
        finish(Ending::Done);
}

void FileBatch::ask(const QString& text) {
    m_waiting = true;
    Q_EMIT question(text);
}

void FileBatch::answer(int confirmAnswer) {
    if (!m_running || !m_waiting)
        return;
    m_waiting = false;
    m_st.ConfirmAnswer = static_cast<int16_t>(confirmAnswer);
    if (confirmAnswer == 4)
        return finish(Ending::Done);
    if (confirmAnswer == 3) {
        ++m_index;
        return proceed();
    }
    if (m_mode == Mode::Copy)
        return startCopy(true);
    if (deleteCurrent())
        proceed();
}

void FileBatch::startCopy(bool replace) {
    if (!m_task) {
        m_task = new FileCopyTask(this);
        connect(m_task, &FileCopyTask::finished, this,
                [this](const FileResult& r) { copyFinished(r); });
        connect(m_task, &FileCopyTask::progress, this, &FileBatch::progress);
    }
    m_task->setWriteFunction(m_write);
    m_task->start(sourcePath(), targetPath(), replace);
}

void FileBatch::copyFinished(const FileResult& result) {
    if (!m_running)
        return;
    if (result.sameFile)
        return finish(Ending::SameFolder);
    if (!result.ok()) {
        m_failure = result;
        return finish(Ending::Failed);
    }
    ++m_st.OperationCount;
    Q_EMIT fileDone(m_st.OperationCount);
    ++m_index;
    proceed();
}

bool FileBatch::deleteCurrent() {
    const FileResult r = deleteFile(sourcePath());
    if (!r.ok()) {
        m_failure = r;
        finish(Ending::Failed);
        return false;
    }
    ++m_st.OperationCount;
    Q_EMIT fileDone(m_st.OperationCount);
    ++m_index;
    return true;
}

void FileBatch::abandon() {
    if (!m_running)
        return;
    if (m_task) {
        // The worker cancels and removes its temporary file on its own.
        delete m_task;
        m_task = nullptr;
    }
    finish(Ending::Abandoned);
}

void FileBatch::finish(Ending ending) {
    m_running = false;
    m_waiting = false;
    if (m_mode == Mode::Copy)
        m_st.CopyInProgress = 0;
    else
        m_st.DeleteInProgress = 0;
    Q_EMIT finished(ending);
}

std::optional<FileBatch::Message> FileBatch::endingMessage(Mode mode, Ending ending,
                                                           int confirmAnswer, int selectedCount) {
    const bool copy = mode == Mode::Copy;
    const Message failed{copy ? tr("Les fichiers n'ont pas pu être ") + tr("copiés correctement !")
                              : tr("Les fichiers n'ont pas pu être ") +
                                    tr(" supprimés correctement !"),
                         tr("Erreur"), MsgIcon::Stop};
    switch (ending) {
    case Ending::Abandoned:
        return std::nullopt;
    case Ending::SameFolder:
        return Message{tr("Le répertoire de destination est identique à celui d'origine!") +
                           QLatin1Char('\n') + tr(" Interruption de l'opération de copie !"),
                       tr("Erreur"), MsgIcon::Question};
    case Ending::Failed:
        return failed;
    case Ending::Done:
        break;
    }
    if (selectedCount == 0)
        return Message{tr("Veuillez sélectionner les ") +
                           (copy ? tr(" fichiers à copier !") : tr(" fichiers à supprimer !")),
                       tr("Erreur"), MsgIcon::Exclamation};
    switch (confirmAnswer) {
    case 4:
        return Message{tr("Opération annulée"), tr("Message"), MsgIcon::Information};
    case 3:
        if (copy)
            return failed;
        return std::nullopt;
    default:
        return Message{copy ? tr("Les fichiers ont été correctement copiés !")
                            : tr("Les fichiers ont été supprimés !"),
                       tr("Message"), MsgIcon::Information};
    }
}

bool isAllowedFolderName(const QString& name) {
    static const QString forbidden = QStringLiteral("\\><,?;.:/!*£µ'¤°+-|`^=èêéëçàäâüûùîïöô");
    if (name.isEmpty())
        return false;
    for (const QChar c : name) {
        if (forbidden.contains(c))
            return false;
    }
    return true;
}

} // namespace lumenta
