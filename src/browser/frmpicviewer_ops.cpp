// The pop-up menus of the folder list, the file list and the viewing area,
// and their file and folder commands. The file system work is done by
// system/fileops.h; every failure is reported, never shown as success.
#include "app/version.h"
#include "browser/browserops.h"
#include "browser/frmpicviewer.h"
#include "browser/thumbnailcache.h"
#include "picture/colourtransform.h"
#include "picture/picturesaver.h"
#include "system/fileops.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QMenu>

namespace lumenta {

using browserops::errorDescription;
using browserops::folderPart;
using browserops::From;

namespace {

QAction* addItem(QMenu* menu, const char* name, const QString& caption) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(QLatin1String(name));
    return a;
}

QMenu* newMenu(QWidget* parent, const char* name) {
    auto* m = new QMenu(parent);
    m->setObjectName(QLatin1String(name));
    return m;
}

// The dialog has asked before an existing file is replaced.
CopyOptions replacing() {
    CopyOptions o;
    o.replace = true;
    return o;
}

const QString kSaveFilter = QStringLiteral("(*.bmp)|*.bmp|(*.ico)|*.ico|(*.*)|*.*|");

} // namespace

void FrmPicViewer::createMenus() {
    popDirList = newMenu(this, "popDirList");
    popDirListCreateDir = addItem(popDirList, "popDirListCreateDir", tr("&Créer un dossier"));
    popDirListRenameDir = addItem(popDirList, "popDirListRenameDir", tr("&Renommer un dossier"));
    popDirListDeleteDir = addItem(popDirList, "popDirListDeleteDir", tr("&Supprimer un dossier"));

    const QString rename = tr("&Renommer un fichier"), save = tr("&Enregistrer un fichier"),
                  move = tr("&Déplacer un fichier (Vers un dossier différent)"),
                  remove = tr("&Supprimer un fichier");
    popFilList = newMenu(this, "popFilList");
    popFilListRenameFile = addItem(popFilList, "popFilListRenameFile", rename);
    PopFilListSaveFile = addItem(popFilList, "PopFilListSaveFile", save);
    PopFilListMoveFile = addItem(popFilList, "PopFilListMoveFile", move);
    popFilListDeleteFile = addItem(popFilList, "popFilListDeleteFile", remove);
    popPicView = newMenu(this, "popPicView");
    popPicViewRenameFile = addItem(popPicView, "popPicViewRenameFile", rename);
    PopPicviewSaveFile = addItem(popPicView, "PopPicviewSaveFile", save);
    PopPicviewMoveFile = addItem(popPicView, "PopPicviewMoveFile", move);
    popPicViewDeleteFile = addItem(popPicView, "popPicViewDeleteFile", remove);

    const std::pair<QAction*, void (FrmPicViewer::*)()> commands[] = {
        {popDirListCreateDir, &FrmPicViewer::popDirListCreateDir_Click},
        {popDirListRenameDir, &FrmPicViewer::popDirListRenameDir_Click},
        {popDirListDeleteDir, &FrmPicViewer::popDirListDeleteDir_Click},
        {popFilListRenameFile, &FrmPicViewer::popFilListRenameFile_Click},
        {PopFilListSaveFile, &FrmPicViewer::PopFilListSaveFile_Click},
        {PopFilListMoveFile, &FrmPicViewer::PopFilListMoveFile_Click},
        {popFilListDeleteFile, &FrmPicViewer::popFilListDeleteFile_Click},
        {popPicViewRenameFile, &FrmPicViewer::popPicViewRenameFile_Click},
        {PopPicviewSaveFile, &FrmPicViewer::PopPicviewSaveFile_Click},
        {PopPicviewMoveFile, &FrmPicViewer::PopPicviewMoveFile_Click},
        {popPicViewDeleteFile, &FrmPicViewer::popPicViewDeleteFile_Click},
    };
    for (const auto& [action, handler] : commands)
        connect(action, &QAction::triggered, this, handler);

    // The right button (or the menu key) over a list opens its menu; over
    // the viewing area only while a picture is shown. Popping up never
    // waits: the chosen command runs from the menu's signal.
    auto attach = [this](QWidget* w, QWidget* coords, QMenu* menu, bool needsPicture) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this,
                [this, coords, menu, needsPicture](QPoint at) {
                    if (!needsPicture || !ShownPicPath.isEmpty())
                        menu->popup(coords->mapToGlobal(at));
                });
    };
    attach(DirList, DirList->viewport(), popDirList, false);
    attach(FilList, FilList->viewport(), popFilList, false);
    attach(picViewZ, picViewZ, popPicView, true);
    attach(picViewX, picViewX, popPicView, true);
}

// ---- Folders ----

void FrmPicViewer::popDirListCreateDir_Click() {
    const std::optional<QString> answer =
        m_ctx.dlg().input(tr("Entrez le nom complet du dossier :"), tr("Créer un dossier"),
                          DirList->highlightedPath(), this);
    if (!answer || answer->isEmpty())
        return;
    const FileResult r = makeFolder(browserops::absoluteFolder(*answer, DirList->path()));
    if (r.ok()) {
        DirList->refresh();
        return;
    }
    if (r.error == FileError::AlreadyExists || r.error == FileError::PathAccess ||
        r.error == FileError::PermissionDenied) {
        m_ctx.dlg().message(tr("Le dossier existe/Erreur de création"), tr("Erreur"),
                            MsgIcon::Information, MsgButtons::Ok, this);
        return;
    }
    ErrMsgProc(QStringLiteral("popDirListCreateDir_click"), r.number(), errorDescription(r));
}

void FrmPicViewer::popDirListRenameDir_Click() {
    const QString folder = DirList->highlightedPath();
    const QString name = QFileInfo(folder).fileName();
    std::optional<QString> answer;
    for (;;) {
        answer =
            m_ctx.dlg().input(tr("Nouveau nom de dossier"), tr("Renommer un dossier"), name, this);
        if (!answer || answer->isEmpty())
            return;
        if (!browserops::leavesFolder(*answer))
            break;
        m_ctx.dlg().message(tr("Renommer le dossier avec un nom différent"), tr("Information"),
                            MsgIcon::Information, MsgButtons::Ok, this);
    }
    const FileResult r = renameEntry(folder, *answer);
    if (!r.ok()) {
        ErrMsgProc(QStringLiteral("popDirListRenameDir_click"), r.number(), errorDescription(r));
        return;
    }
    const QString renamed = QDir(folderPart(folder)).filePath(*answer);
    if (!DirList->setPath(renamed))
        DirList->refresh();
}

void FrmPicViewer::popDirListDeleteDir_Click() {
    const QString folder = DirList->highlightedPath();
    if (m_ctx.dlg().message(
            tr("Confirmer la suppression ") + folder + QLatin1Char('\n') + tr("et son contenu ?"),
            applicationTitle(), MsgIcon::Question, MsgButtons::YesNo, this) != MsgResult::Yes)
        return;
    const FileResult r = deleteFolder(folder);
    // Back to the listed folder, or to its nearest ancestor still there.
    QString back = DirList->path();
    while (!QFileInfo(back).isDir() && back != QLatin1String("/"))
        back = folderPart(back);
    if (back == DirList->path())
        DirList->refresh();
    else
        DirList->setPath(back);
    if (!r.ok())
        ErrMsgProc(QStringLiteral("popDirListDeleteDir_click"), r.number(), errorDescription(r));
}

// ---- Files ----

bool FrmPicViewer::fileListReady() {
    const QString refusal = FilList->listCount() == 0
                                ? tr("Pas de fichier dans le dossier en cours")
                            : FilList->fileName().isEmpty() ? tr("Pas de fichier sélectionné")
                                                            : QString();
    if (refusal.isEmpty())
        return true;
    m_ctx.dlg().message(refusal, tr("Information"), MsgIcon::Information, MsgButtons::Ok, this);
    return false;
}

void FrmPicViewer::popFilListRenameFile_Click() {
    if (fileListReady())
        renameFile(prefix() + FilList->fileName(), false);
}
void FrmPicViewer::PopFilListSaveFile_Click() {
    if (fileListReady())
        saveCopy(prefix() + FilList->fileName(), false);
}
void FrmPicViewer::PopFilListMoveFile_Click() {
    if (fileListReady())
        moveChosenFile(prefix() + FilList->fileName(), false);
}
void FrmPicViewer::popFilListDeleteFile_Click() {
    if (fileListReady())
        deleteChosenFile(prefix() + FilList->fileName(),
                         tr("Confirmez la suppression ") + FilList->fileName() + QLatin1Char('\n'),
                         false);
}
void FrmPicViewer::popPicViewRenameFile_Click() {
    if (!ShownPicPath.isEmpty())
        renameFile(ShownPicPath, true);
}
void FrmPicViewer::PopPicviewSaveFile_Click() {
    if (!ShownPicPath.isEmpty())
        saveCopy(ShownPicPath, true);
}
void FrmPicViewer::PopPicviewMoveFile_Click() {
    if (!ShownPicPath.isEmpty())
        moveChosenFile(ShownPicPath, true);
}
void FrmPicViewer::popPicViewDeleteFile_Click() {
    if (!ShownPicPath.isEmpty())
        deleteChosenFile(ShownPicPath, tr("Confirmer la suppression ") + ShownPicPath, true);
}

void FrmPicViewer::renameFile(const QString& source, bool fromView) {
    const QString name = QFileInfo(source).fileName();
    std::optional<QString> answer;
    for (;;) {
        answer = m_ctx.dlg().input(tr("Nouveau nom de fichier avec extension"),
                                   tr("Renommer un fichier"), name, this);
        if (!answer || answer->isEmpty())
            return;
        if (!browserops::leavesFolder(*answer))
            break;
        m_ctx.dlg().message(tr("Renommer un fichier dans le même dossier"), tr("Information"),
                            MsgIcon::Information, MsgButtons::Ok, this);
    }
    if (*answer == name)
        return;
    const FileResult r = renameEntry(source, *answer);
    if (!r.ok()) {
        ErrMsgProc(fromView ? QStringLiteral("popPicViewRenameFile")
                            : QStringLiteral("popFilListRenameFile"),
                   r.number(), errorDescription(r));
        return;
    }
    fileChanged(source);
}

void FrmPicViewer::saveCopy(const QString& source, bool fromView) {
    const QString handler = QStringLiteral("popFilListSaveFile");
    // From the view, the picture as it is shown (fitted or resized); a
    // tiled one is never held whole.
    if (fromView && picViewX->isTiled()) {
        m_ctx.dlg().message(tr("Cette image est trop grande pour être enregistrée telle qu'elle "
                               "est affichée !"),
                            tr("Information"), MsgIcon::Information, MsgButtons::Ok, this);
        return;
    }
    const QImage shown = fromView ? picViewX->displayedImage() : QImage();
    if (fromView && shown.isNull())
        return;
    FileDialog->FileName = source;
    FileDialog->InitDir = folderPart(source);
    FileDialog->Filter = kSaveFilter;
    FileDialog->DefaultExt = QStringLiteral("bmp");
    FileDialog->FilterIndex = 1;
    FileDialog->Flags = CommonDialog::OverwritePrompt;
    FileDialog->CancelError = true;
    try {
        FileDialog->ShowSave();
    } catch (const DialogCancelled&) {
        return;
    }
    const QString target = FileDialog->FileName;
    if (QDir::cleanPath(target) == QDir::cleanPath(source) || isSameFile(source, target))
        return;
    std::optional<QByteArray> bytes;
    // Written in sRGB, as files are.
    if (fromView && !(bytes = encodeForName(toSrgb(shown, m_shownColours), target))) {
        ErrMsgProc(handler, int(FileError::PathAccess),
                   tr("Format d'enregistrement non disponible : ") + QFileInfo(target).suffix());
        return;
    }
    // The replace question was asked by the dialog.
    auto write = [&] {
        return fromView ? writeFileSafely(target, *bytes, true)
                        : copyFile(source, target, replacing());
    };
    if (!runIntoFolder(target, false, fromView, handler, write))
        return;
    if (browserops::sameFolder(folderPart(target), folderPart(source)))
        fileChanged(QString());
}

void FrmPicViewer::moveChosenFile(const QString& source, bool fromView) {
    const QString handler = fromView ? QStringLiteral("popPicViewMoveFile_Click")
                                     : QStringLiteral("popFilListMoveFile_Click");
    QString target;
    for (;;) {
        FileDialog->FileName = fromView ? QString() : source;
        FileDialog->InitDir = folderPart(source);
        FileDialog->Filter = kSaveFilter;
        FileDialog->DefaultExt.clear();
        FileDialog->FilterIndex = 1;
        FileDialog->Flags = CommonDialog::OverwritePrompt;
        FileDialog->CancelError = true;
        try {
            FileDialog->ShowSave();
        } catch (const DialogCancelled&) {
            return;
        }
        target = FileDialog->FileName;
        if (!browserops::sameFolder(folderPart(target), folderPart(source)))
            break;
        m_ctx.dlg().message(fromView ? tr("Impossible de déplacer le dossier")
                                     : tr("Ne peut pas déplacer le dossier"),
                            tr("Erreur"), MsgIcon::Exclamation, MsgButtons::Ok, this);
    }
    // The file's own bytes move, from the view as from the list; the
    // source goes only once its copy is complete.
    auto move = [&] { return lumenta::moveFile(source, target, replacing()); };
    if (runIntoFolder(target, true, fromView, handler, move))
        fileChanged(source);
}

bool FrmPicViewer::runIntoFolder(const QString& target, bool moving, bool fromView,
                                 const QString& handler, const std::function<FileResult()>& op) {
    FileResult r = op();
    if (r.error == FileError::FolderMissing) {
        if (!createMissingFolder(
                folderPart(target),
                browserops::missingFolderQuestion(folderPart(target), moving,
                                                  fromView ? From::View : From::FileList),
                handler))
            return false;
        r = op();
    }
    if (r.sameFile)
        return false;
    if (!r.ok()) {
        ErrMsgProc(handler, r.number(), errorDescription(r));
        return false;
    }
    return true;
}

void FrmPicViewer::deleteChosenFile(const QString& path, const QString& question, bool fromView) {
    if (m_ctx.dlg().message(question, applicationTitle(), MsgIcon::Question, MsgButtons::YesNo,
                            this) != MsgResult::Yes)
        return;
    const FileResult r = deleteFile(path);
    if (!r.ok()) {
        ErrMsgProc(fromView ? QStringLiteral("popPicViewDeleteFile_Click")
                            : QStringLiteral("popFilListDeleteFile_Click"),
                   r.number(), errorDescription(r));
        return;
    }
    fileChanged(path);
}

bool FrmPicViewer::createMissingFolder(const QString& folder, const QString& question,
                                       const QString& handler) {
    if (m_ctx.dlg().message(question, applicationTitle(), MsgIcon::Question, MsgButtons::YesNo,
                            this) != MsgResult::Yes)
        return false;
    const FileResult r = makeFolder(folder, true);
    if (!r.ok()) {
        ErrMsgProc(handler, r.number(), errorDescription(r));
        return false;
    }
    DirList->refresh();
    return true;
}

void FrmPicViewer::fileChanged(const QString& oldPath) {
    // The thumbnail of a file that went must not come back for another
    // file of that name.
    if (!oldPath.isEmpty())
        ThumbnailCache(m_cacheRoot).forget(oldPath);
    ClearPicView();
    const bool rebuild = folderMode() && (autoImagesOn() || PicCount > 0);
    relist(FilList->pattern(), [this, rebuild] {
        if (!rebuild)
            return;
        ForceRebuild = true;
        LoadPicList();
        ForceRebuild = false;
    });
}

} // namespace lumenta
