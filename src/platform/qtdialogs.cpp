#include "platform/qtdialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>

namespace lumenta {

QStringList toQtFilters(const QString& filter) {
    QStringList out;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts.at(i);
        QString masks = parts.at(i + 1);
        masks.replace(QLatin1Char(';'), QLatin1Char(' '));
        const QString suffix = QStringLiteral("(") + masks.simplified() + QStringLiteral(")");
        if (description.trimmed().endsWith(suffix, Qt::CaseInsensitive))
            out << description.trimmed();
        else
            out << description.trimmed() + QLatin1Char(' ') + suffix;
    }
    return out;
}

namespace {

QMessageBox::Icon toQtIcon(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Stop:
        return QMessageBox::Critical;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::Exclamation:
        return QMessageBox::Warning;
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons toQtButtons(MsgButtons b) {
    switch (b) {
    case MsgButtons::Ok:
        return QMessageBox::Ok;
    case MsgButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MsgButtons::AbortRetryIgnore:
        return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    case MsgButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MsgButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MsgButtons::RetryCancel:
        return QMessageBox::Retry | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

MsgResult fromQtButton(int b) {
    switch (b) {
    case QMessageBox::Ok:
        return MsgResult::Ok;
    case QMessageBox::Abort:
        return MsgResult::Abort;
    case QMessageBox::Retry:
        return MsgResult::Retry;
    case QMessageBox::Ignore:
        return MsgResult::Ignore;
    case QMessageBox::Yes:
        return MsgResult::Yes;
    case QMessageBox::No:
        return MsgResult::No;
    default:
        return MsgResult::Cancel;
    }
}

} // namespace

MsgResult QtDialogs::message(const MessageRequest& r, QWidget* parent) {
    QMessageBox box(toQtIcon(r.icon), r.title, r.text, toQtButtons(r.buttons), parent);
    return fromQtButton(box.exec());
}

std::optional<QString> QtDialogs::input(const QString& prompt, const QString& title,
                                        const QString& defaultText, QWidget* parent) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(parent, title, prompt, QLineEdit::Normal, defaultText, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

FileDialogResult QtDialogs::fileDialog(const FileDialogRequest& r, QWidget* parent) {
    QFileDialog dlg(parent, r.title);
    // Qt's own dialog: French through the translations, same on every desktop.
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    const bool save = r.mode == FileDialogRequest::Mode::Save;
    dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, !r.confirmOverwrite);
    const QStringList filters = toQtFilters(r.filter);
    if (!filters.isEmpty()) {
        dlg.setNameFilters(filters);
        const int index = qBound(1, r.filterIndex, int(filters.size()));
        dlg.selectNameFilter(filters.at(index - 1));
    }
    if (!r.defaultExt.isEmpty())
        dlg.setDefaultSuffix(r.defaultExt);
    if (!r.fileName.isEmpty()) {
        const QFileInfo fi(r.fileName);
        if (fi.path() != QLatin1String(".") || r.fileName.contains(QLatin1Char('/')))
            dlg.setDirectory(fi.absolutePath());
        else if (!r.directory.isEmpty())
            dlg.setDirectory(r.directory);
        dlg.selectFile(fi.fileName());
    } else if (!r.directory.isEmpty()) {
        dlg.setDirectory(r.directory);
    }
    FileDialogResult result;
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return result;
    result.accepted = true;
    result.fileName = dlg.selectedFiles().constFirst();
    const qsizetype idx = filters.indexOf(dlg.selectedNameFilter());
    result.filterIndex = idx >= 0 ? int(idx) + 1 : 1;
    return result;
}

bool QtDialogs::printerDialog(QPrinter& printer, PrinterDialogKind kind, QWidget* parent) {
    if (QPrinterInfo::availablePrinterNames().isEmpty() &&
        printer.outputFormat() == QPrinter::NativeFormat)
        return false;
    if (kind == PrinterDialogKind::Setup) {
        QPageSetupDialog dlg(&printer, parent);
        return dlg.exec() == QDialog::Accepted;
    }
    QPrintDialog dlg(&printer, parent);
    return dlg.exec() == QDialog::Accepted;
}

} // namespace lumenta
