#pragma once
// The real dialogs: Qt's message boxes, input box, file dialog and printer
// dialogs (French through Qt's translations).
#include "dialogs/dialogs.h"

namespace lumenta {

class QtDialogs : public Dialogs {
public:
    using Dialogs::message;
    MsgResult message(const MessageRequest& request, QWidget* parent) override;
    std::optional<QString> input(const QString& prompt, const QString& title,
                                 const QString& defaultText, QWidget* parent) override;
    FileDialogResult fileDialog(const FileDialogRequest& request, QWidget* parent) override;
    PrinterDialogResult printerDialog(QPrinter& printer, PrinterDialogKind kind,
                                      QWidget* parent) override;
};

} // namespace lumenta
