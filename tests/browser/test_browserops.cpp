// The browser's pop-up commands on folders and files, from the lists and
// from the view, with their refusals and failures.
#include "browser/browserops.h"
#include "browser/thumbnailcache.h"
#include "browserwindow.h"
#include "picture/picturesaver.h"

#include <QBuffer>
#include <QImageReader>

using namespace lumenta;
using testutil::readFile;

namespace {

class BrowserOps : public BrowserWindowTest {
protected:
    void SetUp() override {
        BrowserWindowTest::SetUp();
        // The home is in the tree, its trash on the same file system.
        QDir(photos.path()).mkpath(QStringLiteral("home"));
        qputenv("HOME", QFile::encodeName(path("home")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(path(".data")));
        for (const char* name : {"a.bmp", "b.bmp"})
            savePicture(QLatin1String(name), {40, 30});
        QDir(photos.path()).mkpath(QStringLiteral("other"));
        open();
    }
    void highlight(const QString& folder) {
        const int row = testutil::folderRow(w->DirList, folder);
        if (row >= 0)
            w->DirList->setCurrentRow(row);
    }
    void chooseFile(const QString& chosen) { dialogs.fileAnswers.push_back({true, chosen, 1}); }
};

} // namespace

TEST_F(BrowserOps, FoldersAreMadeRenamedAndDeletedWithTheirContents) {
    dialogs.inputAnswers = {QStringLiteral("new/deep"), QStringLiteral("other")};
    w->popDirListCreateDir_Click();
    EXPECT_EQ(dialogs.lastText(), "popDirListCreateDir_click\n76     Chemin d'accès introuvable");
    w->popDirListCreateDir_Click();
    EXPECT_EQ(dialogs.lastText(), "Le dossier existe/Erreur de création");

    // A name leaving the folder is asked again; the renamed folder opens.
    highlight(QStringLiteral("other"));
    dialogs.inputAnswers = {QStringLiteral("x/y"), QStringLiteral("x\\y"), QStringLiteral("kept")};
    w->popDirListRenameDir_Click();
    EXPECT_EQ(dialogs.count(ScriptedDialogs::Asked::Kind::Input), 5);
    EXPECT_EQ(w->DirList->path(), path("kept"));
    waitIdle();

    // Read-only and hidden files, nested folders and links to outside
    // files: the folder goes, what the links point at stays.
    QDir(path("kept")).mkpath(QStringLiteral("sub/.hidden"));
    testutil::writeFile(photos, QStringLiteral("kept/sub/.hidden/r"), "r");
    QFile::setPermissions(path("kept/sub/.hidden/r"), QFile::ReadOwner);
    QFile::link(path("a.bmp"), path("kept/link.bmp"));
    QFile::link(photos.path(), path("kept/sub/up"));
    highlight(QStringLiteral("kept"));
    dialogs.messageAnswers = {MsgResult::Yes};
    w->popDirListDeleteDir_Click();
    EXPECT_EQ(dialogs.lastMessage()->text,
              "Confirmer la suppression " + path("kept") + "\net son contenu ?");
    EXPECT_FALSE(QFileInfo::exists(path("kept")));
    EXPECT_TRUE(QFileInfo::exists(path("a.bmp")));
    EXPECT_EQ(w->DirList->path(), photos.path());
    // In the trash, whole.
    EXPECT_EQ(readFile(path(".data/Trash/files/kept/sub/.hidden/r")), "r");
    EXPECT_TRUE(QFileInfo(path(".data/Trash/files/kept/link.bmp")).isSymLink());

    // The root, the home folder and its ancestors are refused.
    for (const QString& folder : {QStringLiteral("/"), photos.path(), path("home")}) {
        ASSERT_TRUE(testutil::waitListed(w->DirList));
        for (int i = 0; i < w->DirList->count() && w->DirList->highlightedPath() != folder; ++i)
            w->DirList->setCurrentRow(i);
        ASSERT_EQ(w->DirList->highlightedPath(), folder);
        dialogs.messageAnswers = {MsgResult::Yes};
        w->popDirListDeleteDir_Click();
        EXPECT_TRUE(dialogs.lastText().startsWith("popDirListDeleteDir_click\n75"))
            << folder.toStdString() << " " << dialogs.lastText().toStdString();
    }
    EXPECT_TRUE(QFileInfo::exists(path("a.bmp")));
    EXPECT_TRUE(QFileInfo::exists(path("home")));
}

TEST_F(BrowserOps, FilesAreRenamedOnlyToFreeNamesInTheirFolder) {
    w->popFilListRenameFile_Click();
    EXPECT_EQ(dialogs.lastText(), "Pas de fichier sélectionné");
    clickFile(QStringLiteral("a.bmp"));
    ThumbnailCache thumbs;
    ASSERT_TRUE(QFileInfo::exists(thumbs.normalPath(path("a.bmp"))));

    dialogs.inputAnswers = {QStringLiteral("b.bmp")};
    w->popPicViewRenameFile_Click();
    EXPECT_EQ(dialogs.lastText(), "popPicViewRenameFile\n58     Le fichier existe déjà");
    dialogs.inputAnswers = {QString()};
    w->popPicViewRenameFile_Click();
    EXPECT_TRUE(QFileInfo::exists(path("a.bmp")));

    dialogs.inputAnswers = {QStringLiteral("../c.bmp"), QStringLiteral("c.bmp")};
    w->popFilListRenameFile_Click();
    EXPECT_EQ(dialogs.asked.last().prompt, "Nouveau nom de fichier avec extension");
    EXPECT_EQ(dialogs.lastText(), "Renommer un fichier dans le même dossier");
    EXPECT_TRUE(QFileInfo::exists(path("c.bmp")));
    EXPECT_FALSE(QFileInfo::exists(thumbs.normalPath(path("a.bmp"))));
    EXPECT_TRUE(w->ShownPicPath.isEmpty());
    waitIdle();
    EXPECT_GE(w->FilList->rowOf(QStringLiteral("c.bmp")), 0);
    EXPECT_EQ(w->PicCount, 2);
}

TEST_F(BrowserOps, CopiesAreExactAskForMissingFoldersAndNeverReplaceReadOnlyFiles) {
    clickFile(QStringLiteral("a.bmp"));
    const QByteArray original = readFile(path("a.bmp"));
    chooseFile(path("a.bmp"));
    dialogs.messageAnswers = {MsgResult::Yes}; // replace it
    w->PopFilListSaveFile_Click();
    EXPECT_EQ(dialogs.asked.first().file.filter, "(*.bmp)|*.bmp|(*.ico)|*.ico|(*.*)|*.*|");
    EXPECT_EQ(readFile(path("a.bmp")), original);

    chooseFile(path("new/deep/a.jpg"));
    dialogs.messageAnswers = {MsgResult::Yes};
    w->PopFilListSaveFile_Click();
    EXPECT_EQ(dialogs.messageTexts().last(),
              "Le dossier " + path("new/deep") + " n'existe pas\nCréation ?");
    EXPECT_EQ(readFile(path("new/deep/a.jpg")), original);

    testutil::writeFile(photos, QStringLiteral("locked.bmp"), "locked");
    QFile::setPermissions(path("locked.bmp"), QFile::ReadOwner);
    chooseFile(path("locked.bmp"));
    dialogs.messageAnswers = {MsgResult::Yes}; // replace it
    w->PopFilListSaveFile_Click();
    EXPECT_EQ(dialogs.lastText(), "popFilListSaveFile\n70     Permission refusée");
    EXPECT_EQ(readFile(path("locked.bmp")), "locked");
}

TEST_F(BrowserOps, TheSelectedFileIsActedOnWhileTheFolderIsListedAgain) {
    clickFile(QStringLiteral("b.bmp"));
    // The same folder and pattern listed again: the lines stay meanwhile.
    w->cboPattern_Click(w->cboPattern->currentText());
    ASSERT_FALSE(w->isIdle());
    EXPECT_EQ(w->FilList->fileName(), QStringLiteral("b.bmp"));
    chooseFile(path("other/b.bmp"));
    w->PopFilListSaveFile_Click();
    EXPECT_EQ(readFile(path("other/b.bmp")), readFile(path("b.bmp")));
    waitIdle();
    EXPECT_EQ(w->FilList->fileName(), QStringLiteral("b.bmp"));
    // Another pattern: nothing of the old lines can be acted on.
    w->cboPattern_Click(QStringLiteral("*.gif"));
    EXPECT_EQ(w->FilList->listCount(), 0);
    EXPECT_TRUE(w->FilList->fileName().isEmpty());
    waitIdle();
}

TEST_F(BrowserOps, TheViewSavesTheShownPictureAndMovesTheFileItself) {
    clickFile(QStringLiteral("a.bmp"));
    const QByteArray original = readFile(path("a.bmp"));
    // As after a fit: the shown picture is smaller than the file's.
    w->picViewX->setImage(w->picViewX->image().scaled(20, 15));
    chooseFile(path("other/shown.png"));
    w->PopPicviewSaveFile_Click();
    QImageReader saved(path("other/shown.png"));
    EXPECT_EQ(saved.format(), "png");
    EXPECT_EQ(saved.size(), QSize(20, 15));

    // A move into the same folder is refused until another is chosen.
    chooseFile(path("same.bmp"));
    chooseFile(path("gone/a.bmp"));
    dialogs.messageAnswers = {MsgResult::Ok, MsgResult::Yes};
    w->PopPicviewMoveFile_Click();
    EXPECT_EQ(dialogs.messageTexts().at(dialogs.messageTexts().size() - 2),
              "Impossible de déplacer le dossier");
    EXPECT_EQ(dialogs.lastText(), "Le dossier " + path("gone") + "\n n'existe pas\nCréation ?");
    EXPECT_EQ(readFile(path("gone/a.bmp")), original);
    EXPECT_FALSE(QFileInfo::exists(path("a.bmp")));
    EXPECT_TRUE(w->ShownPicPath.isEmpty());
}

TEST_F(BrowserOps, DeletedFilesGoToTheTrashOnlyOnYes) {
    clickFile(QStringLiteral("b.bmp"));
    dialogs.messageAnswers = {MsgResult::No};
    w->popFilListDeleteFile_Click();
    EXPECT_EQ(dialogs.lastText(), "Confirmez la suppression b.bmp\n");
    EXPECT_TRUE(QFileInfo::exists(path("b.bmp")));
    dialogs.messageAnswers = {MsgResult::Yes};
    w->popPicViewDeleteFile_Click();
    EXPECT_FALSE(QFileInfo::exists(path("b.bmp")));
    EXPECT_TRUE(QFileInfo::exists(path(".data/Trash/files/b.bmp")));
    waitIdle();
    EXPECT_EQ(w->lblFilesCount->text(), "Fichiers : 1");
    w->popPicViewDeleteFile_Click(); // nothing shown any more: nothing asked
    EXPECT_EQ(dialogs.count(ScriptedDialogs::Asked::Kind::Message), 2);
}

TEST(PictureEncoding, TheExtensionNamesTheFormat) {
    QImage img(8, 8, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    for (const auto& [name, format] :
         {std::pair{"x.png", "png"}, {"x.JPG", "jpeg"}, {"noext", "bmp"}, {"x.ico", "ico"}}) {
        const std::optional<QByteArray> bytes = encodeForName(img, QLatin1String(name));
        ASSERT_TRUE(bytes) << name;
        QByteArray data = *bytes;
        QBuffer buffer(&data);
        buffer.open(QIODevice::ReadOnly);
        EXPECT_EQ(QImageReader::imageFormat(&buffer), format) << name;
    }
    EXPECT_FALSE(encodeForName(img, QStringLiteral("x.unknownformat")));
}
