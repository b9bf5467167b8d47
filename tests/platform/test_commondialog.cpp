// The common file dialog control, answered by ScriptedDialogs, and the
// conversion of its filters for Qt's file dialog.
#include "platform/commondialog.h"
#include "platform/scripteddialogs.h"
#include "support/testutil.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QPrinter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumenta;
using Kind = ScriptedDialogs::Asked::Kind;

namespace {

FileDialogResult chose(const QString& path, int filterIndex = 1) {
    return FileDialogResult{true, path, filterIndex};
}

// The masks Qt's own file dialog applies for each converted entry.
QList<QStringList> masksQtApplies(const QStringList& filters) {
    QFileDialog dlg;
    dlg.setOption(QFileDialog::DontUseNativeDialog, true);
    dlg.setNameFilters(filters);
    auto* model = dlg.findChild<QFileSystemModel*>();
    QList<QStringList> out;
    if (!model)
        return out;
    for (const QString& f : filters) {
        dlg.selectNameFilter(f);
        out << model->nameFilters();
    }
    return out;
}

class CommonDialogTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    CommonDialog dlg{dialogs};
};

} // namespace

TEST(QtFilters, SingleBitmapEntryKeepsItsWording) {
    const QString filter = QStringLiteral("Image en mode point  (*.BMP)|*.BMP");
    const QStringList qt = toQtFilters(filter);
    EXPECT_EQ(qt, QStringList{QStringLiteral("Image en mode point  (*.BMP)")});
    EXPECT_EQ(masksQtApplies(qt), (QList<QStringList>{{"*.BMP"}}));
}

TEST(QtFilters, SeveralPairsAndSemicolonMasks) {
    const QString filter = QStringLiteral("Images (*.bmp;*.gif;*.jpg)|*.bmp;*.gif;*.jpg|"
                                          "Liste d'images|*.VSI|"
                                          "Tous les fichiers (*.*)|*.*");
    const QStringList qt = toQtFilters(filter);
    EXPECT_EQ(qt, (QStringList{QStringLiteral("Images (*.bmp *.gif *.jpg)"),
                               QStringLiteral("Liste d'images (*.VSI)"),
                               QStringLiteral("Tous les fichiers (*)")}));
    // What counts is what Qt's dialog then matches files with.
    EXPECT_EQ(masksQtApplies(qt),
              (QList<QStringList>{{"*.bmp", "*.gif", "*.jpg"}, {"*.VSI"}, {"*"}}));
}

TEST(QtFilters, OddShapes) {
    EXPECT_TRUE(toQtFilters(QString()).isEmpty());
    // A description without its mask is dropped; blanks around ";" are fine.
    EXPECT_EQ(toQtFilters(QStringLiteral("Texte|*.txt ; *.TXT|Orphelin")),
              QStringList{QStringLiteral("Texte (*.txt *.TXT)")});
    // No description: the masks alone.
    EXPECT_EQ(toQtFilters(QStringLiteral("|*.wmf;*.emf")),
              QStringList{QStringLiteral("*.wmf *.emf")});
    // Parentheses that are not the masks stay words of the description.
    EXPECT_EQ(toQtFilters(QStringLiteral("Images (Windows)|*.bmp")),
              QStringList{QStringLiteral("Images (Windows) (*.bmp)")});
    EXPECT_EQ(toQtFilters(QStringLiteral("Tout|")), QStringList{QStringLiteral("Tout (*)")});
}

TEST_F(CommonDialogTest, SaveRequestAndResult) {
    dlg.FileName = dir.filePath("photo.BMP");
    dlg.DialogTitle = QStringLiteral("Enregistrer Sous");
    dlg.Filter = QStringLiteral("Image en mode point  (*.BMP)|*.BMP|Tous (*.*)|*.*");
    dlg.FilterIndex = 2;
    dialogs.fileAnswers.push_back(chose(dir.filePath("autre.bmp"), 1));
    ASSERT_TRUE(dlg.ShowSave());

    ASSERT_EQ(dialogs.count(Kind::File), 1);
    const FileDialogRequest& r = dialogs.asked[0].file;
    EXPECT_EQ(r.mode, FileDialogRequest::Mode::Save);
    EXPECT_EQ(r.title, QStringLiteral("Enregistrer Sous"));
    EXPECT_EQ(r.fileName, dir.filePath("photo.BMP"));
    EXPECT_EQ(r.filter, dlg.Filter);
    EXPECT_EQ(r.filterIndex, 2);
    EXPECT_FALSE(r.confirmOverwrite) << "the control asks the replace question itself";

    EXPECT_EQ(dlg.FileName, dir.filePath("autre.bmp"));
    EXPECT_EQ(dlg.FilterIndex, 1);
}

TEST_F(CommonDialogTest, OpenGivesFullPathOfBareName) {
    dlg.InitDir = dir.path();
    dlg.DialogTitle = QStringLiteral("Ouvrir une liste d'images");
    dialogs.fileAnswers.push_back(chose(QStringLiteral("liste.vsi")));
    ASSERT_TRUE(dlg.ShowOpen());
    EXPECT_EQ(dialogs.asked[0].file.mode, FileDialogRequest::Mode::Open);
    EXPECT_EQ(dialogs.asked[0].file.directory, dir.path());
    EXPECT_EQ(dlg.FileName, dir.filePath("liste.vsi"));
}

TEST_F(CommonDialogTest, CancelRaisesOrKeepsFileName) {
    dlg.FileName = QStringLiteral("/images/avant.bmp");
    dlg.CancelError = true;
    try {
        dlg.ShowSave();
        FAIL() << "a cancelled dialog must raise";
    } catch (const DialogCancelled& e) {
        EXPECT_EQ(e.number(), 32755);
    }
    EXPECT_THROW(dlg.ShowOpen(), DialogCancelled);
    EXPECT_EQ(dlg.FileName, QStringLiteral("/images/avant.bmp"));

    dlg.CancelError = false;
    EXPECT_FALSE(dlg.ShowSave());
    EXPECT_FALSE(dlg.ShowOpen());
    EXPECT_EQ(dlg.FileName, QStringLiteral("/images/avant.bmp"));
    EXPECT_EQ(dialogs.count(Kind::File), 4);
}

TEST_F(CommonDialogTest, ReplaceQuestionOnlyWithFlagAndExistingFile) {
    const QString existing = testutil::writeFile(dir, "photo.bmp", "BM");
    const QString fresh = dir.filePath("neuf.bmp");
    dlg.DialogTitle = QStringLiteral("Enregistrer Sous");

    // No flag: no question.
    dialogs.fileAnswers.push_back(chose(existing));
    ASSERT_TRUE(dlg.ShowSave());
    EXPECT_EQ(dialogs.count(Kind::Message), 0);

    // Flag 2 and a new file: no question either.
    dlg.Flags = CommonDialog::OverwritePrompt;
    dialogs.fileAnswers.push_back(chose(fresh));
    ASSERT_TRUE(dlg.ShowSave());
    EXPECT_EQ(dialogs.count(Kind::Message), 0);
    EXPECT_EQ(dlg.FileName, fresh);

    // Flag 2 and an existing file, answered Yes.
    dialogs.fileAnswers.push_back(chose(existing));
    dialogs.messageAnswers.push_back(MsgResult::Yes);
    ASSERT_TRUE(dlg.ShowSave());
    EXPECT_EQ(dlg.FileName, existing);
    ASSERT_EQ(dialogs.count(Kind::Message), 1);
    const MessageRequest* q = dialogs.lastMessage();
    EXPECT_EQ(q->text, QStringLiteral("photo.bmp existe déjà.\nVoulez-vous le remplacer ?"));
    EXPECT_EQ(q->title, QStringLiteral("Enregistrer Sous"));
    EXPECT_EQ(q->icon, MsgIcon::Exclamation);
    EXPECT_EQ(q->buttons, MsgButtons::YesNo);

    // Answered No: a cancel.
    dlg.FileName = fresh;
    dialogs.fileAnswers.push_back(chose(existing));
    dialogs.messageAnswers.push_back(MsgResult::No);
    EXPECT_FALSE(dlg.ShowSave());
    EXPECT_EQ(dlg.FileName, fresh);
    dlg.CancelError = true;
    dialogs.fileAnswers.push_back(chose(existing));
    dialogs.messageAnswers.push_back(MsgResult::No);
    EXPECT_THROW(dlg.ShowSave(), DialogCancelled);
    EXPECT_EQ(dialogs.count(Kind::Message), 3);

    // Opening an existing file is no replacement.
    dialogs.fileAnswers.push_back(chose(existing));
    ASSERT_TRUE(dlg.ShowOpen());
    EXPECT_EQ(dialogs.count(Kind::Message), 3);
}

TEST_F(CommonDialogTest, DefaultExtensionCompletesBareNames) {
    dlg.DefaultExt = QStringLiteral("bmp");
    dialogs.fileAnswers.push_back(chose(dir.filePath("sans")));
    ASSERT_TRUE(dlg.ShowSave());
    EXPECT_EQ(dlg.FileName, dir.filePath("sans.bmp"));
    EXPECT_EQ(dialogs.asked[0].file.defaultExt, QStringLiteral("bmp"));

    dialogs.fileAnswers.push_back(chose(dir.filePath("photo.jpg")));
    ASSERT_TRUE(dlg.ShowSave());
    EXPECT_EQ(dlg.FileName, dir.filePath("photo.jpg"));

    // The replace question is about the completed name.
    testutil::writeFile(dir, "vieux.bmp", "BM");
    dlg.Flags = CommonDialog::OverwritePrompt;
    dialogs.fileAnswers.push_back(chose(dir.filePath("vieux")));
    dialogs.messageAnswers.push_back(MsgResult::Yes);
    ASSERT_TRUE(dlg.ShowSave());
    EXPECT_EQ(dlg.FileName, dir.filePath("vieux.bmp"));
    EXPECT_EQ(dialogs.count(Kind::Message), 1);

    EXPECT_EQ(withDefaultExtension(QStringLiteral("/a.b/nom"), QStringLiteral(".vsi")),
              QStringLiteral("/a.b/nom.vsi"));
    EXPECT_EQ(withDefaultExtension(QStringLiteral("/a/nom."), QStringLiteral("vsi")),
              QStringLiteral("/a/nom.vsi"));
    EXPECT_EQ(withDefaultExtension(QStringLiteral("/a/nom"), QString()), QStringLiteral("/a/nom"));
}

TEST_F(CommonDialogTest, PrinterSetupFormAndFailure) {
    QPrinter printer;
    dlg.Flags = CommonDialog::PrintSetup;
    dialogs.printerAnswers.push_back(PrinterDialogResult::Accepted);
    EXPECT_TRUE(dlg.ShowPrinter(printer));
    ASSERT_EQ(dialogs.count(Kind::Printer), 1);
    EXPECT_EQ(dialogs.asked.last().printer, PrinterDialogKind::Setup);

    // A cancel follows CancelError; a dialog that cannot be used at all is
    // always reported to the caller.
    dialogs.printerAnswers.push_back(PrinterDialogResult::Cancelled);
    EXPECT_FALSE(dlg.ShowPrinter(printer));
    dlg.CancelError = true;
    EXPECT_THROW(dlg.ShowPrinter(printer), DialogCancelled);
    dlg.CancelError = false;
    dialogs.printerAnswers.push_back(PrinterDialogResult::Failed);
    EXPECT_THROW(dlg.ShowPrinter(printer), PrinterUnavailable);

    dlg.Flags = 0;
    dialogs.printerAnswers.push_back(PrinterDialogResult::Accepted);
    EXPECT_TRUE(dlg.ShowPrinter(printer));
    EXPECT_EQ(dialogs.asked.last().printer, PrinterDialogKind::Print);
}
