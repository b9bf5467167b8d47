#pragma once
// Every message box, input box, file dialog and printer dialog of the
// program goes through this interface. The application installs the Qt
// implementation; tests install ScriptedDialogs and answer each question.
#include <QString>
#include <optional>

class QWidget;
class QPrinter;

namespace lumenta {

enum class MsgIcon { None, Stop, Question, Exclamation, Information };
enum class MsgButtons { Ok, OkCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel };
enum class MsgResult { Ok, Cancel, Abort, Retry, Ignore, Yes, No };

struct MessageRequest {
    QString text;
    QString title;
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
    // The button Enter presses; unset: the first accepting one.
    std::optional<MsgResult> defaultButton = std::nullopt;
};

struct FileDialogRequest {
    enum class Mode { Open, Save };
    Mode mode = Mode::Open;
    QString title;
    QString fileName;  // proposed name or path
    QString directory; // initial folder when fileName has none
    QString filter;    // "description|mask|description|mask"
    int filterIndex = 1;
    QString defaultExt;
    bool confirmOverwrite = false; // save: ask before replacing a file
};

struct FileDialogResult {
    bool accepted = false;
    QString fileName;
    int filterIndex = 1;
};

enum class PrinterDialogKind { Print, Setup };
// A printer dialog is accepted, cancelled by the user, or cannot be used at
// all (no printer, the print system does not answer).
enum class PrinterDialogResult { Accepted, Cancelled, Failed };

class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual MsgResult message(const MessageRequest& request, QWidget* parent) = 0;
    // std::nullopt when cancelled.
    virtual std::optional<QString> input(const QString& prompt, const QString& title,
                                         const QString& defaultText, QWidget* parent) = 0;
    virtual FileDialogResult fileDialog(const FileDialogRequest& request, QWidget* parent) = 0;
    virtual PrinterDialogResult printerDialog(QPrinter& printer, PrinterDialogKind kind,
                                              QWidget* parent) = 0;

    // Convenience for the common case.
    MsgResult message(const QString& text, const QString& title, MsgIcon icon,
                      MsgButtons buttons = MsgButtons::Ok, QWidget* parent = nullptr) {
        return message(MessageRequest{text, title, icon, buttons}, parent);
    }
};

// Converts "description|mask|description|mask" into Qt's "description (masks)"
// entries, one per pair, masks separated by blanks ("*.*" becomes "*"). A
// description that already ends with its masks in parentheses keeps them
// there, in Qt's form; a lone mask list stands for an empty description.
QStringList toQtFilters(const QString& filter);

} // namespace lumenta
