// The real dialogs show every text as it is: a file name that looks like
// markup is no markup, in our own boxes and in the questions Qt's file
// dialog asks itself.
#include "dialogs/commondialog.h"
#include "dialogs/qtdialogs.h"
#include "support/testutil.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

using namespace lumenta;

namespace {

const QString kName = QStringLiteral("<h1>x.jpg");

template <class W> W* shownTopLevel() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<W*>(w); found && found->isVisible())
            return found;
    }
    return nullptr;
}

// Calls act(widget) once a window of type W is up (polled from the event
// loop the dialog runs), within a few seconds.
template <class W> void whenShown(std::function<void(W*)> act, int triesLeft = 200) {
    QTimer::singleShot(20, [act = std::move(act), triesLeft] {
        if (W* w = shownTopLevel<W>())
            act(w);
        else if (triesLeft > 0)
            whenShown<W>(act, triesLeft - 1);
        else
            ADD_FAILURE() << "no " << W::staticMetaObject.className() << " came up";
    });
}

// How a box reads its text, and the text.
struct Shown {
    Qt::TextFormat format = Qt::AutoText;
    QString text;
};

Shown labelOf(QMessageBox* box) {
    return Shown{box->textFormat(), box->text()};
}

} // namespace

TEST(QtDialogs, MessageAndInputBoxesShowPlainText) {
    QtDialogs dialogs;
    Shown message;
    whenShown<QMessageBox>([&](QMessageBox* box) {
        message = labelOf(box);
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(dialogs.message(kName + QStringLiteral(" existe déjà."), QStringLiteral("Titre"),
                              MsgIcon::Exclamation, MsgButtons::YesNo),
              MsgResult::No);
    EXPECT_EQ(message.format, Qt::PlainText);
    EXPECT_EQ(message.text, kName + QStringLiteral(" existe déjà."));

    QList<Qt::TextFormat> formats;
    whenShown<QInputDialog>([&](QInputDialog* dlg) {
        for (QLabel* l : dlg->findChildren<QLabel*>()) {
            if (l->text() == kName)
                formats << l->textFormat();
        }
        dlg->findChild<QLineEdit*>()->setText(QStringLiteral("y.jpg"));
        dlg->accept();
    });
    EXPECT_EQ(dialogs.input(kName, QStringLiteral("Renommer"), QString(), nullptr),
              std::optional<QString>(QStringLiteral("y.jpg")));
    EXPECT_EQ(formats, QList<Qt::TextFormat>{Qt::PlainText});
}

TEST(QtDialogs, TheFileDialogsOwnReplaceQuestionShowsPlainText) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString existing = testutil::writeFile(dir, kName, "old");
    QtDialogs dialogs;
    FileDialogRequest request;
    request.mode = FileDialogRequest::Mode::Save;
    request.title = QStringLiteral("Enregistrer Sous");
    request.fileName = existing;
    request.confirmOverwrite = true;
    Shown question;
    whenShown<QFileDialog>([&](QFileDialog* dlg) {
        whenShown<QMessageBox>([&](QMessageBox* box) {
            question = labelOf(box);
            box->button(QMessageBox::Yes)->click();
        });
        for (QAbstractButton* b : dlg->findChild<QDialogButtonBox*>()->buttons()) {
            if (dlg->findChild<QDialogButtonBox*>()->buttonRole(b) == QDialogButtonBox::AcceptRole)
                b->click();
        }
    });
    const FileDialogResult result = dialogs.fileDialog(request, nullptr);
    EXPECT_TRUE(result.accepted);
    EXPECT_EQ(result.fileName, existing);
    EXPECT_EQ(question.format, Qt::PlainText);
    EXPECT_TRUE(question.text.contains(kName)) << question.text.toStdString();
}
