// The common file dialog control answered by ScriptedDialogs, its filters
// converted for Qt's file dialog, and the real dialogs showing every text
// as it is: a file name that looks like markup is no markup, in our own
// boxes and in the questions Qt's file dialog asks itself.
#include "dialogs/commondialog.h"
#include "dialogs/qtdialogs.h"
#include "support/scripteddialogs.h"
#include "support/testutil.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <optional>

using namespace lumenta;
using Kind = ScriptedDialogs::Asked::Kind;

namespace {

// The masks Qt's own file dialog applies for each converted entry.
QList<QStringList> masksQtApplies(const QStringList& filters) {
    QFileDialog dlg;
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    dlg.setNameFilters(filters);
    auto* model = dlg.findChild<QFileSystemModel*>();
    QList<QStringList> out;
    for (const QString& f : filters) {
        dlg.selectNameFilter(f);
        if (model)
            out << model->nameFilters();
    }
    return out;
}

class CommonDialogTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    // Answers the next file dialog with `chosen` (and the replace question,
    // if any, with `answer`), then shows the save dialog.
    bool save(const QString& chosen, std::optional<MsgResult> answer = {}) {
        dialogs.fileAnswers.push_back(FileDialogResult{true, chosen, 1});
        if (answer)
            dialogs.messageAnswers.push_back(*answer);
        return dlg.ShowSave();
    }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    CommonDialog dlg{dialogs};
};

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

} // namespace

TEST(QtFilters, PairsBecomeEntriesThatQtMatchesFilesWith) {
    const QStringList qt = toQtFilters("Image en mode point  (*.BMP)|*.BMP|"
                                       "Images (*.bmp;*.gif;*.jpg)|*.bmp;*.gif;*.jpg|"
                                       "Liste d'images|*.VSI|Tous les fichiers (*.*)|*.*");
    EXPECT_EQ(qt, (QStringList{"Image en mode point  (*.BMP)", "Images (*.bmp *.gif *.jpg)",
                               "Liste d'images (*.VSI)", "Tous les fichiers (*)"}));
    EXPECT_EQ(masksQtApplies(qt),
              (QList<QStringList>{{"*.BMP"}, {"*.bmp", "*.gif", "*.jpg"}, {"*.VSI"}, {"*"}}));
    const std::pair<QString, QStringList> odd[] = {
        {"", {}},
        // A description without its mask is dropped; blanks around ";" are fine.
        {"Texte|*.txt ; *.TXT|Orphelin", {"Texte (*.txt *.TXT)"}},
        {"|*.wmf;*.emf", {"*.wmf *.emf"}}, // no description: the masks alone
        // Parentheses that are not the masks stay words of the description.
        {"Images (Windows)|*.bmp", {"Images (Windows) (*.bmp)"}},
        {"Tout|", {"Tout (*)"}},
    };
    for (const auto& [filter, expected] : odd)
        EXPECT_EQ(toQtFilters(filter), expected) << filter.toStdString();
}

TEST_F(CommonDialogTest, PropertiesGoToTheDialogAndTheChoiceOrACancelComesBack) {
    dlg.FileName = dir.filePath("photo.BMP");
    dlg.Filter = "Image en mode point  (*.BMP)|*.BMP|Tous (*.*)|*.*";
    dlg.FilterIndex = 2;
    ASSERT_TRUE(save(dir.filePath("autre.bmp")));
    const FileDialogRequest& r = dialogs.asked[0].file;
    EXPECT_EQ(r.fileName + r.filter, dir.filePath("photo.BMP") + dlg.Filter);
    EXPECT_EQ(r.filterIndex, 2);
    EXPECT_FALSE(r.confirmOverwrite) << "the control asks the replace question itself";
    EXPECT_EQ(dlg.FileName, dir.filePath("autre.bmp"));
    EXPECT_EQ(dlg.FilterIndex, 1);

    // A bare name is taken in the folder the dialog opened in.
    dlg.InitDir = dir.path();
    dialogs.fileAnswers.push_back(FileDialogResult{true, "liste.vsi", 1});
    ASSERT_TRUE(dlg.ShowOpen());
    EXPECT_EQ(dlg.FileName, dir.filePath("liste.vsi"));

    // A cancel throws with CancelError, else keeps FileName.
    dlg.CancelError = true;
    EXPECT_THROW(dlg.ShowSave(), DialogCancelled);
    EXPECT_THROW(dlg.ShowOpen(), DialogCancelled);
    dlg.CancelError = false;
    EXPECT_FALSE(dlg.ShowSave() || dlg.ShowOpen());
    EXPECT_EQ(dlg.FileName, dir.filePath("liste.vsi"));
}

TEST_F(CommonDialogTest, ReplaceQuestionOnlyWithFlagAndExistingFile) {
    const QString existing = testutil::writeFile(dir, "photo.bmp", "BM");
    const QString fresh = dir.filePath("neuf.bmp");
    ASSERT_TRUE(save(existing)); // no flag: no question
    dlg.Flags = CommonDialog::OverwritePrompt;
    ASSERT_TRUE(save(fresh)); // a new file: no question either
    EXPECT_EQ(dialogs.count(Kind::Message), 0);

    ASSERT_TRUE(save(existing, MsgResult::Yes));
    EXPECT_EQ(dlg.FileName, existing);
    EXPECT_EQ(dialogs.messageTexts(),
              QStringList{"photo.bmp existe déjà.\nVoulez-vous le remplacer ?"});

    // Answered No: a cancel.
    dlg.FileName = fresh;
    EXPECT_FALSE(save(existing, MsgResult::No));
    EXPECT_EQ(dlg.FileName, fresh);
    dlg.CancelError = true;
    EXPECT_THROW(save(existing, MsgResult::No), DialogCancelled);
    // Opening an existing file is no replacement.
    dialogs.fileAnswers.push_back(FileDialogResult{true, existing, 1});
    ASSERT_TRUE(dlg.ShowOpen());
    EXPECT_EQ(dialogs.count(Kind::Message), 3);
}

TEST_F(CommonDialogTest, DefaultExtensionCompletesBareNames) {
    dlg.DefaultExt = "bmp";
    ASSERT_TRUE(save(dir.filePath("sans")));
    EXPECT_EQ(dlg.FileName, dir.filePath("sans.bmp"));
    ASSERT_TRUE(save(dir.filePath("photo.jpg")));
    EXPECT_EQ(dlg.FileName, dir.filePath("photo.jpg"));
    // The replace question is about the completed name.
    testutil::writeFile(dir, "vieux.bmp", "BM");
    dlg.Flags = CommonDialog::OverwritePrompt;
    ASSERT_TRUE(save(dir.filePath("vieux"), MsgResult::Yes));
    EXPECT_EQ(dlg.FileName, dir.filePath("vieux.bmp"));
    EXPECT_EQ(dialogs.count(Kind::Message), 1);

    EXPECT_EQ(withDefaultExtension("/a.b/nom", ".vsi"), "/a.b/nom.vsi");
    EXPECT_EQ(withDefaultExtension("/a/nom.", "vsi"), "/a/nom.vsi");
    EXPECT_EQ(withDefaultExtension("/a/nom", QString()), "/a/nom");
}

TEST_F(CommonDialogTest, PrinterSetupFormAndFailure) {
    QPrinter printer;
    dlg.Flags = CommonDialog::PrintSetup;
    dialogs.printerAnswers = {PrinterDialogResult::Accepted, PrinterDialogResult::Cancelled};
    EXPECT_TRUE(dlg.ShowPrinter(printer));
    EXPECT_EQ(dialogs.asked.last().printer, PrinterDialogKind::Setup);
    // A cancel follows CancelError; a dialog that cannot be used at all is
    // always reported to the caller.
    EXPECT_FALSE(dlg.ShowPrinter(printer));
    dlg.CancelError = true;
    EXPECT_THROW(dlg.ShowPrinter(printer), DialogCancelled);
    dlg.CancelError = false;
    dialogs.printerAnswers = {PrinterDialogResult::Failed, PrinterDialogResult::Accepted};
    EXPECT_THROW(dlg.ShowPrinter(printer), PrinterUnavailable);
    dlg.Flags = 0;
    EXPECT_TRUE(dlg.ShowPrinter(printer));
    EXPECT_EQ(dialogs.asked.last().printer, PrinterDialogKind::Print);
}

TEST(QtDialogs, MessageAndInputBoxesShowPlainText) {
    QtDialogs dialogs;
    Shown message;
    whenShown<QMessageBox>([&](QMessageBox* box) {
        message = {box->textFormat(), box->text()};
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
    const FileDialogRequest request{.mode = FileDialogRequest::Mode::Save,
                                    .title = QStringLiteral("Enregistrer Sous"),
                                    .fileName = existing,
                                    .confirmOverwrite = true};
    Shown question;
    whenShown<QFileDialog>([&](QFileDialog* dlg) {
        whenShown<QMessageBox>([&](QMessageBox* box) {
            question = {box->textFormat(), box->text()};
            box->button(QMessageBox::Yes)->click();
        });
        static_cast<QDialog*>(dlg)->accept(); // asks the question itself
    });
    const FileDialogResult result = dialogs.fileDialog(request, nullptr);
    EXPECT_TRUE(result.accepted);
    EXPECT_EQ(result.fileName, existing);
    EXPECT_EQ(question.format, Qt::PlainText);
    EXPECT_TRUE(question.text.contains(kName)) << question.text.toStdString();
}
