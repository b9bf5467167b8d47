#include "support/scripteddialogs.h"

namespace lumenta {

QStringList ScriptedDialogs::messageTexts() const {
    QStringList out;
    for (const Asked& a : asked) {
        if (a.kind == Asked::Kind::Message)
            out << a.message.text;
    }
    return out;
}

const MessageRequest* ScriptedDialogs::lastMessage() const {
    for (auto it = asked.crbegin(); it != asked.crend(); ++it) {
        if (it->kind == Asked::Kind::Message)
            return &it->message;
    }
    return nullptr;
}

QString ScriptedDialogs::lastText() const {
    const MessageRequest* m = lastMessage();
    return m ? m->text : QString();
}

int ScriptedDialogs::count(Asked::Kind kind) const {
    int n = 0;
    for (const Asked& a : asked)
        n += a.kind == kind ? 1 : 0;
    return n;
}

MsgResult ScriptedDialogs::message(const MessageRequest& request, QWidget*) {
    Asked a{Asked::Kind::Message, request, {}, {}, {}};
    asked.append(a);
    if (messageAnswers.empty()) {
        // An unscripted box is dismissed the way Escape would.
        switch (request.buttons) {
        case MsgButtons::Ok:
            return MsgResult::Ok;
        case MsgButtons::YesNo:
            return MsgResult::No;
        case MsgButtons::AbortRetryIgnore:
            return MsgResult::Abort;
        default:
            return MsgResult::Cancel;
        }
    }
    const MsgResult r = messageAnswers.front();
    messageAnswers.pop_front();
    return r;
}

std::optional<QString> ScriptedDialogs::input(const QString& prompt, const QString& title,
                                              const QString& defaultText, QWidget*) {
    Asked a{Asked::Kind::Input,
            MessageRequest{defaultText, title, MsgIcon::None, MsgButtons::Ok},
            {},
            prompt,
            {}};
    asked.append(a);
    if (inputAnswers.empty())
        return std::nullopt;
    auto r = inputAnswers.front();
    inputAnswers.pop_front();
    return r;
}

FileDialogResult ScriptedDialogs::fileDialog(const FileDialogRequest& request, QWidget*) {
    Asked a{Asked::Kind::File, {}, request, {}, {}};
    asked.append(a);
    if (fileAnswers.empty())
        return {};
    const FileDialogResult r = fileAnswers.front();
    fileAnswers.pop_front();
    return r;
}

PrinterDialogResult ScriptedDialogs::printerDialog(QPrinter& printer, PrinterDialogKind kind,
                                                   QWidget*) {
    Asked a{Asked::Kind::Printer, {}, {}, {}, kind};
    asked.append(a);
    if (printerAnswers.empty())
        return PrinterDialogResult::Cancelled;
    const PrinterDialogResult r = printerAnswers.front();
    printerAnswers.pop_front();
    if (r == PrinterDialogResult::Accepted && onPrinterAccepted)
        onPrinterAccepted(printer);
    return r;
}

} // namespace lumenta
