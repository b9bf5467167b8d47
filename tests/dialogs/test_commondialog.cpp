// The common file dialog control, answered by ScriptedDialogs, and the
// conversion of its filters for Qt's file dialog.
#include "dialogs/commondialog.h"
#include "support/scripteddialogs.h"
#include "support/testutil.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QPrinter>
#include <QTemporaryDir>
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
