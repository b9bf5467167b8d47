#include "dialogs/qtdialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>

namespace lumenta {

namespace {

// Masks as Qt's file dialog reads them: separated by blanks (";" is not a
// separator there), "*.*" written "*" so that names without an extension
// show too, none at all meaning every file.
QString qtMasks(const QString& masks) {
    static const QRegularExpression separators(QStringLiteral("[;\\s]+"));
    QStringList out;
    for (QString m : masks.split(separators, Qt::SkipEmptyParts)) {
        if (m == QLatin1String("*.*"))
            m = QStringLiteral("*");
        if (!out.contains(m))
            out << m;
    }
    return out.isEmpty() ? QStringLiteral("*") : out.join(QLatin1Char(' '));
}

} // namespace

QStringList toQtFilters(const QString& filter) {
    // Qt takes the masks from the last "(...)" of an entry.
    static const QRegularExpression trailingGroup(QStringLiteral("\\(([^()]*)\\)$"));
    QStringList out;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts.at(i).trimmed();
        const QString masks = qtMasks(parts.at(i + 1));
        if (description.isEmpty()) {
            out << masks;
            continue;
        }
        // A description that already shows its masks keeps its wording; only
        // the group is rewritten the way Qt reads it.
        const QRegularExpressionMatch group = trailingGroup.match(description);
        if (group.hasMatch() && qtMasks(group.captured(1)).compare(masks, Qt::CaseInsensitive) == 0)
            description.replace(group.capturedStart(1), group.capturedLength(1), masks);
        else
            description += QStringLiteral(" (") + masks + QLatin1Char(')');
        out << description;
    }
    return out;
}

namespace {

// Qt's file and printer dialogs ask their own questions ("%1 already
// exists"...) in message boxes that would read a file name as markup; while
// one of those dialogs is up, every message box shows plain text.
class PlainTextMessages : public QObject {
public:
    PlainTextMessages() { qApp->installEventFilter(this); }
    ~PlainTextMessages() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            if (auto* box = qobject_cast<QMessageBox*>(watched))
                box->setTextFormat(Qt::PlainText);
        }
        return false;
    }
};

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

QMessageBox::StandardButton toQtButton(MsgResult r) {
    switch (r) {
    case MsgResult::Ok:
        return QMessageBox::Ok;
    case MsgResult::Cancel:
        return QMessageBox::Cancel;
    case MsgResult::Abort:
        return QMessageBox::Abort;
    case MsgResult::Retry:
        return QMessageBox::Retry;
    case MsgResult::Ignore:
        return QMessageBox::Ignore;
    case MsgResult::Yes:
        return QMessageBox::Yes;
    case MsgResult::No:
        return QMessageBox::No;
    }
    return QMessageBox::NoButton;
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
    QMessageBox box(toQtIcon(r.icon), r.title, QString(), toQtButtons(r.buttons), parent);
    // File names are shown as they are: "<h1>x.jpg" is no heading.
    box.setTextFormat(Qt::PlainText);
    box.setText(r.text);
    if (r.defaultButton)
        box.setDefaultButton(toQtButton(*r.defaultButton));
    return fromQtButton(box.exec());
}

std::optional<QString> QtDialogs::input(const QString& prompt, const QString& title,
                                        const QString& defaultText, QWidget* parent) {
    QInputDialog dlg(parent);
    dlg.setWindowTitle(title);
    dlg.setInputMode(QInputDialog::TextInput);
    dlg.setLabelText(prompt);
    dlg.setTextValue(defaultText);
    for (QLabel* label : dlg.findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    if (dlg.exec() != QDialog::Accepted)
        return std::nullopt;
    return dlg.textValue();
}

FileDialogResult QtDialogs::fileDialog(const FileDialogRequest& r, QWidget* parent) {
    const PlainTextMessages plain;
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

PrinterDialogResult QtDialogs::printerDialog(QPrinter& printer, PrinterDialogKind kind,
                                             QWidget* parent) {
    if (QPrinterInfo::availablePrinterNames().isEmpty() &&
        printer.outputFormat() == QPrinter::NativeFormat)
        return PrinterDialogResult::Failed;
    const PlainTextMessages plain;
    int answer = QDialog::Rejected;
    if (kind == PrinterDialogKind::Setup) {
        QPageSetupDialog dlg(&printer, parent);
        answer = dlg.exec();
    } else {
        QPrintDialog dlg(&printer, parent);
        answer = dlg.exec();
    }
    return answer == QDialog::Accepted ? PrinterDialogResult::Accepted
                                       : PrinterDialogResult::Cancelled;
}

} // namespace lumenta
