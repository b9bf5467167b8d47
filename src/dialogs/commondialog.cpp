#include "dialogs/commondialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace lumenta {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("lumenta::CommonDialog", text);
}

} // namespace

DialogCancelled::DialogCancelled() : std::runtime_error("Cancel was selected (32755)") {}

CommonDialog::CommonDialog(Dialogs& dialogs, QWidget* parent)
    : dialogs_(&dialogs), parent_(parent) {}

QString withDefaultExtension(const QString& name, const QString& defaultExt) {
    QString ext = defaultExt.trimmed();
    while (ext.startsWith(QLatin1Char('.')))
        ext.remove(0, 1);
    if (ext.isEmpty() || name.isEmpty())
        return name;
    const QString fileName = QFileInfo(name).fileName();
    if (fileName.isEmpty() || !QFileInfo(fileName).suffix().isEmpty())
        return name;
    if (name.endsWith(QLatin1Char('.')))
        return name + ext;
    return name + QLatin1Char('.') + ext;
}

bool CommonDialog::ShowOpen() {
    return showFileDialog(FileDialogRequest::Mode::Open);
}

bool CommonDialog::ShowSave() {
    return showFileDialog(FileDialogRequest::Mode::Save);
}

bool CommonDialog::ShowPrinter(QPrinter& printer) {
    const PrinterDialogKind kind =
        (Flags & PrintSetup) ? PrinterDialogKind::Setup : PrinterDialogKind::Print;
    switch (dialogs_->printerDialog(printer, kind, parent_)) {
    case PrinterDialogResult::Accepted:
        return true;
    case PrinterDialogResult::Failed:
        throw PrinterUnavailable();
    case PrinterDialogResult::Cancelled:
        break;
    }
    return cancel();
}

QString CommonDialog::title(FileDialogRequest::Mode mode) const {
    if (!DialogTitle.isEmpty())
        return DialogTitle;
    return mode == FileDialogRequest::Mode::Save ? tr("Enregistrer sous") : tr("Ouvrir");
}

// The dialogs answer with full paths; a bare name is taken in the folder
// the dialog opened in.
QString CommonDialog::absoluteChoice(const QString& chosen) const {
    if (QFileInfo(chosen).isAbsolute())
        return QDir::cleanPath(chosen);
    QString folder;
    if (QFileInfo(FileName).isAbsolute())
        folder = QFileInfo(FileName).absolutePath();
    else if (!InitDir.isEmpty())
        folder = InitDir;
    else
        folder = QDir::currentPath();
    return QDir::cleanPath(QDir(folder).absoluteFilePath(chosen));
}

bool CommonDialog::showFileDialog(FileDialogRequest::Mode mode) {
    FileDialogRequest request;
    request.mode = mode;
    request.title = title(mode);
    request.fileName = FileName;
    request.directory = InitDir;
    request.filter = Filter;
    request.filterIndex = FilterIndex;
    request.defaultExt = DefaultExt;
    // The replace question is asked here, once, whatever the dialog offers.
    request.confirmOverwrite = false;

    const FileDialogResult result = dialogs_->fileDialog(request, parent_);
    if (!result.accepted || result.fileName.isEmpty())
        return cancel();

    const QString chosen = withDefaultExtension(absoluteChoice(result.fileName), DefaultExt);
    if (mode == FileDialogRequest::Mode::Save && (Flags & OverwritePrompt) &&
        QFileInfo::exists(chosen)) {
        const QString question =
            tr("%1 existe déjà.\nVoulez-vous le remplacer ?").arg(QFileInfo(chosen).fileName());
        if (dialogs_->message(question, request.title, MsgIcon::Exclamation, MsgButtons::YesNo,
                              parent_) != MsgResult::Yes)
            return cancel();
    }
    FileName = chosen;
    FilterIndex = result.filterIndex;
    return true;
}

bool CommonDialog::cancel() {
    if (CancelError)
        throw DialogCancelled();
    return false;
}

} // namespace lumenta
