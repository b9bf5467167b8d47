#pragma once
// Dialogs answered by a script instead of a person: each question is
// recorded, and answered from the queue the caller filled (or with a
// cancel when the queue is empty). Used by the test suite.
#include "dialogs/dialogs.h"

#include <QList>
#include <QStringList>
#include <deque>
#include <functional>

namespace lumenta {

class ScriptedDialogs : public Dialogs {
public:
    struct Asked {
        enum class Kind { Message, Input, File, Printer } kind;
        MessageRequest message;
        FileDialogRequest file;
        QString prompt; // input box prompt
        PrinterDialogKind printer = PrinterDialogKind::Print;
    };

    // Answers, consumed in order, one queue per kind of question.
    std::deque<MsgResult> messageAnswers;
    std::deque<std::optional<QString>> inputAnswers;
    std::deque<FileDialogResult> fileAnswers;
    std::deque<PrinterDialogResult> printerAnswers;
    // Optional hook run when a printer dialog is accepted (a test
    // can set up the printer as a user would).
    std::function<void(QPrinter&)> onPrinterAccepted;

    QList<Asked> asked;

    // Texts of the message boxes shown so far.
    QStringList messageTexts() const;
    const MessageRequest* lastMessage() const;
    // Text of the last message box, empty when none was shown.
    QString lastText() const;
    int count(Asked::Kind kind) const;

    using Dialogs::message;
    MsgResult message(const MessageRequest& request, QWidget* parent) override;
    std::optional<QString> input(const QString& prompt, const QString& title,
                                 const QString& defaultText, QWidget* parent) override;
    FileDialogResult fileDialog(const FileDialogRequest& request, QWidget* parent) override;
    PrinterDialogResult printerDialog(QPrinter& printer, PrinterDialogKind kind,
                                      QWidget* parent) override;
};

} // namespace lumenta
