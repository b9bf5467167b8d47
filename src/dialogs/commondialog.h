#pragma once
// The file and printer dialog a window keeps as a control of its own
// (CMDialog1, CommonDialog1): set the properties, call ShowOpen, ShowSave or
// ShowPrinter, then read FileName back. Every question goes through
// lumenta::Dialogs.
//
//     CommonDialog dlg(ctx.dlg(), this);
//     dlg.CancelError = true;
//     dlg.FileName = proposed;
//     dlg.DialogTitle = tr("Enregistrer Sous");
//     dlg.Filter = QStringLiteral("Image en mode point  (*.BMP)|*.BMP");
//     dlg.Flags = CommonDialog::OverwritePrompt;
//     try {
//         dlg.ShowSave();
//     } catch (const DialogCancelled&) {
//         return; // the command ends, nothing written
//     }
//     save(dlg.FileName);
#include "dialogs/dialogs.h"

#include <QString>
#include <stdexcept>

class QPrinter;
class QWidget;

namespace lumenta {

// Raised by CommonDialog's Show* operations when the user cancels and
// CancelError is set. The calling command catches it and ends.
class DialogCancelled : public std::runtime_error {
public:
    static constexpr int kErrorNumber = 32755;
    DialogCancelled();
    int number() const { return kErrorNumber; }
};

// Raised by ShowPrinter when no printer can be used at all.
class PrinterUnavailable : public std::runtime_error {
public:
    PrinterUnavailable() : std::runtime_error("no printer can be used") {}
};

class CommonDialog {
public:
    // Values of Flags.
    enum : int {
        OverwritePrompt = 2, // save: ask before an existing file is replaced
        PrintSetup = 64,     // ShowPrinter: the set-up form of the printer dialog
    };

    explicit CommonDialog(Dialogs& dialogs, QWidget* parent = nullptr);

    // Cancelling raises DialogCancelled when true; when false the Show*
    // operation returns false and FileName keeps its value.
    bool CancelError = false;
    // The proposed name (or path); after an accepted dialog, the full path chosen.
    QString FileName;
    QString DialogTitle;
    // "description|mask|description|mask", masks separated by ";".
    QString Filter;
    // The filter pair selected first, from 1; after the dialog, the one the
    // user left selected.
    int FilterIndex = 1;
    // Added (without its dot) to a chosen name that has no extension.
    QString DefaultExt;
    // Folder the dialog opens in when FileName names none.
    QString InitDir;
    int Flags = 0;

    // Each returns true when the user accepted the dialog.
    bool ShowOpen();
    bool ShowSave();
    // The printer dialog (its set-up form with PrintSetup in Flags). A cancel
    // gives false, or DialogCancelled with CancelError; PrinterUnavailable
    // when no printer can be used at all.
    bool ShowPrinter(QPrinter& printer);

    void setParent(QWidget* parent) { parent_ = parent; }

private:
    bool showFileDialog(FileDialogRequest::Mode mode);
    QString title(FileDialogRequest::Mode mode) const;
    QString absoluteChoice(const QString& chosen) const;
    bool cancel();

    Dialogs* dialogs_;
    QWidget* parent_;
};

// `name` completed as a save dialog does: `defaultExt` (with or without its
// dot) added when the file name part has no extension.
QString withDefaultExtension(const QString& name, const QString& defaultExt);

} // namespace lumenta
