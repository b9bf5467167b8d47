// The file utility's commands: copy, delete, rename, open, edit, full
// screen, folders, clipboard, info.
#include "app/module1.h"
#include "fileutil/frmcopy.h"
#include "fileutil/vbcopym.h"
#include "fullscreen/frmplecr.h"
#include "system/fileops.h"
#include "system/launcher.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>

namespace lumenta {

void FrmCopy::btcCopy_Click() {
    runBatch(FileBatch::Mode::Copy);
}

void FrmCopy::Command1_Click() {
    runBatch(FileBatch::Mode::Delete);
}

void FrmCopy::runBatch(FileBatch::Mode mode) {
    if (m_batch)
        return;
    // The names are taken now: nothing that happens meanwhile reorders them.
    m_batch = new FileBatch(mode, m_st, sourceFolder(), targetFolder(), selectedNames(), this);
    m_batch->setWriteFunction(m_write);
    connect(m_batch, &FileBatch::question, this, [this](const QString& t) { askQuestion(t); });
    connect(m_batch, &FileBatch::progress, this, [this](qint64 copied, qint64 total) {
        progressCopy->setValue(total > 0 ? int(copied * 100 / total) : 0);
        progressCopy->show();
    });
    connect(m_batch, &FileBatch::fileDone, this, [this](int count) {
        progressCopy->hide();
        etiCopies->setText(printForm(count));
        etiCopies->repaint();
        updateFileCount();
        Fichier2->refresh();
    });
    connect(m_batch, &FileBatch::finished, this,
            [this](FileBatch::Ending ending) { batchFinished(ending); });
    setBusy(true);
    m_batch->start();
}

void FrmCopy::askQuestion(const QString& text) {
    auto* question = new VbCopyM(m_st, this);
    m_question = question;
    connect(question, &VbCopyM::answered, this, [this](int answer) {
        if (m_batch)
            m_batch->answer(answer);
    });
    question->ask(text);
}

void FrmCopy::batchFinished(FileBatch::Ending ending) {
    FileBatch* batch = m_batch;
    m_batch = nullptr;
    batch->deleteLater();
    if (m_question)
        m_question->close();
    if (ending == FileBatch::Ending::Abandoned) {
        setBusy(false);
        return;
    }
    // The message first, over the final count; then the resting state.
    const FileBatch::Mode mode = batch->mode();
    if (const auto message =
            FileBatch::endingMessage(mode, ending, m_st.ConfirmAnswer, batch->selectedCount()))
        m_ctx.dlg().message(message->text, message->title, message->icon, MsgButtons::Ok, this);
    setBusy(false);
    if (mode == FileBatch::Mode::Delete)
        refreshSource();
    Fichier2->refresh();
    etiCopies->setText(QStringLiteral("0"));
    resetSelection();
    hidePreview();
}

void FrmCopy::setBusy(bool busy) {
    progressCopy->hide();
    if (busy)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
    for (QWidget* w : {static_cast<QWidget*>(Cadre1), static_cast<QWidget*>(Cadre2),
                       static_cast<QWidget*>(Text1), static_cast<QWidget*>(Commande1),
                       static_cast<QWidget*>(Command4), static_cast<QWidget*>(btcInfo),
                       static_cast<QWidget*>(Command3)})
        w->setEnabled(!busy);
    if (busy) {
        for (QPushButton* b : {btcCopy, Command1, Command2, Command5, Command6})
            b->setEnabled(false);
    } else {
        updateSelection();
    }
}

void FrmCopy::done(int r) {
    // Closing stops a running copy; its temporary file goes with it.
    if (m_batch)
        m_batch->abandon();
    QDialog::done(r);
}

void FrmCopy::Command2_Click() {
    const QString folder = AddBackslash(sourceFolder());
    if (selectedCount() == 0) {
        m_ctx.dlg().message(tr("Sélectionner d'abord le fichier ") + tr(" à renommer !"),
                            tr("Erreur"), MsgIcon::Exclamation, MsgButtons::Ok, this);
    } else {
        for (const QString& name : selectedNames()) {
            const QString newName =
                m_ctx.dlg()
                    .input(tr("Indiquez le nouveau nom") + tr(" pour le fichier ") + name +
                               QLatin1Char('.'),
                           tr("Nouveau nom de fichier"), name, this)
                    .value_or(QString());
            bool aborted = false;
            while (!renameEntry(folder + name, newName).ok()) {
                const MsgResult choice = m_ctx.dlg().message(
                    tr("Le fichier ") + name + tr(" n'a pu être") + tr(" renommé ! "), tr("Erreur"),
                    MsgIcon::Question, MsgButtons::AbortRetryIgnore, this);
                if (choice == MsgResult::Retry)
                    continue;
                aborted = choice != MsgResult::Ignore; // Abort, or the question closed
                break;
            }
            if (aborted)
                break;
        }
        refreshSource();
        Fichier2->refresh();
    }
    resetSelection();
    etiCopies->setText(QStringLiteral("0"));
    hidePreview();
}

void FrmCopy::Command6_Click() {
    const QString name = clickedName();
    if (name.isEmpty())
        return;
    switch (openWithAssociation(AddBackslash(sourceFolder()) + name)) {
    case OpenResult::Opened:
        break;
    case OpenResult::NoAssociation:
        m_ctx.dlg().message(tr("Aucune association n'est définie pour le fichier sélectionné !"),
                            tr("Absence d'association de fichier"), MsgIcon::Information,
                            MsgButtons::Ok, this);
        break;
    case OpenResult::Failed:
        m_ctx.dlg().message(tr("Le fichier sélectionné n'a pas pu être ouvert !"), tr("Erreur"),
                            MsgIcon::Stop, MsgButtons::Ok, this);
        break;
    }
    hidePreview();
}

void FrmCopy::Command5_Click() {
    if (selectedCount() == 0) {
        m_ctx.dlg().message(tr("Pas de fichier sélectionné !"), tr("Avertissement"),
                            MsgIcon::Information, MsgButtons::Ok, this);
        return;
    }
    m_st.CurrentFilePath = AddBackslash(sourceFolder()) + clickedName();
    if (openWithDefaultFor(m_st.CurrentFilePath, QStringLiteral("text/plain")) !=
        OpenResult::Opened)
        m_ctx.dlg().message(tr("Aucun éditeur de texte n'a pu être lancé !"), tr("Avertissement"),
                            MsgIcon::Information, MsgButtons::Ok, this);
    resetSelection();
    hidePreview();
    refreshSource();
}

void FrmCopy::Command3_Click() {
    m_st.FullScreenFilePath = AddBackslash(sourceFolder()) + clickedName();
    // The preview's picture is handed over rather than read again.
    const bool same = m_st.FullScreenFilePath == m_previewPath;
    FrmPlEcr::showPicture(m_ctx, this, same ? m_preview.image : QImage());
}

void FrmCopy::Commande1_Click() {
    while (true) {
        const QString name = m_ctx.dlg()
                                 .input(tr("Nom du dossier à créer"), tr("Création d'un dossier"),
                                        tr("Nouveau dossier"), this)
                                 .value_or(QString())
                                 .trimmed();
        if (name.isEmpty())
            return;
        if (!isAllowedFolderName(name)) {
            m_ctx.dlg().message(tr("Nom de répertoire non valable !") + QLatin1Char('\n') +
                                    tr("    Caractère interdit."),
                                tr("Erreur"), MsgIcon::Stop, MsgButtons::Ok, this);
            continue;
        }
        if (!makeFolder(AddBackslash(targetFolder()) + name).ok()) {
            m_ctx.dlg().message(tr("Le répertoire existe déja"), tr("Erreur"), MsgIcon::Stop,
                                MsgButtons::Ok, this);
            hidePreview();
            return;
        }
        break;
    }
    refreshSource();
    Repertoire1->refresh();
    Fichier2->setPath(targetFolder());
    Repertoire2->refresh();
    hidePreview();
}

void FrmCopy::Command4_Click() {
    const QString path = targetFolder();
    if (isVolumeRoot(path)) {
        m_ctx.dlg().message(tr("Vous vous trouvez dans le dossier racine ! ") +
                                tr("Ce dossier ne peut pas") + tr(" être supprimé !"),
                            tr("Attention"), MsgIcon::Stop, MsgButtons::Ok, this);
        hidePreview();
        return;
    }
    const MsgResult answer =
        m_ctx.dlg().message(tr("Voulez-vous vraiment supprimer le dossier ") + path + tr(" ?"),
                            tr("Supprimer le dossier"), MsgIcon::Question, MsgButtons::YesNo, this);
    m_st.ConfirmAnswer = answer == MsgResult::Yes ? 6 : 7;
    if (answer == MsgResult::Yes) {
        Repertoire2->setPath(QFileInfo(path).absolutePath());
        const FileResult removed = removeEmptyFolder(path);
        refreshFolders();
        if (!removed.ok())
            m_ctx.dlg().message(tr("Le dossier ") + path + tr(" n'est pas vide et n'a") +
                                    tr(" pas pu être supprimé !"),
                                tr("Erreur"), MsgIcon::Stop, MsgButtons::Ok, this);
    }
    hidePreview();
}

void FrmCopy::Image1_DblClick() {
    if (!putPictureOnClipboard(Picture1->image(), m_preview, m_st.CurrentFileExt))
        m_ctx.dlg().message(tr("Cette image ne peut pas être copiée dans le presse papier !"),
                            tr("Avertissement"), MsgIcon::Information, MsgButtons::Ok, this);
}

void FrmCopy::btcInfo_Click() {
    const QString nl(QLatin1Char('\n'));
    const QString text =
        tr("COPIER - SUPPRIMER - RENOMMER :") + nl + tr("Cet utilitaire permet ") +
        tr("de copier, supprimer, renommer un ou plusieurs fichiers ") +
        tr("d'un dossier vers un autre dossier sur le lecteur de votre choix. ") + nl +
        tr("Le bouton < Exécuter > lance le fichier par association si l'association existe.") +
        nl + tr("Le bouton < Modifier texte > exécute le bloc note.") + nl + nl + nl +
        tr("DOSSIERS :") + nl + tr("Permet également de créer ou supprimer un dossier ") +
        tr("sur le lecteur cible.") + nl + nl + nl + tr("SELECTION DES FICHIERS :") + nl +
        tr("La sélection multiple des fichiers se fait avec la combinaison des touches MAJ ou "
           "CTRL ") +
        tr("et la souris ou les fléches.");
    m_ctx.dlg().message(text, tr("Utilitaire : Copier - Supprimer - Renommer des fichiers"),
                        MsgIcon::Information, MsgButtons::Ok, this);
}

} // namespace lumenta
