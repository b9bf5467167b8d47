// The file utility on temporary trees, driven as a user would: clicks in
// the source list, the command buttons, the question dialog's buttons.
#include "fileutil/frmcopy.h"
#include "fileutil/vbcopym.h"
#include "picture/pictureservice.h"
#include "support/listutil.h"
#include "support/testutil.h"
#include "support/viewerfixture.h"
#include "widgets/browsewidgets.h"
#include "widgets/picturewidgets.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <memory>
#include <thread>

using namespace lumenta;
using testutil::readFile;
using Kind = ScriptedDialogs::Asked::Kind;

namespace {

// A home, a trash and desktop associations of the test's own, on the same
// file system as the trees (no text editor, no association at all).
const bool privateDesktop = [] {
    static QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral("data"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath(QStringLiteral("config"))));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(home.filePath(QStringLiteral("none"))));
    return true;
}();

class FileUtil : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(privateDesktop && dir.isValid());
        src = dir.filePath(QStringLiteral("src"));
        dst = dir.filePath(QStringLiteral("dst"));
        QDir().mkpath(src);
        QDir().mkpath(dst);
        ctx.dialogs = &dialogs;
        ctx.pictureService = std::make_shared<PictureService>();
    }
    void open() {
        w = std::make_unique<FrmCopy>(ctx, src);
        w->Repertoire2->setPath(dst);
        w->show();
    }
    QString put(const QString& folder, const QString& name, const QByteArray& bytes) {
        return testutil::writeFile(dir, QDir(dir.path()).relativeFilePath(folder + '/' + name),
                                   bytes);
    }
    // Clicks each name in the source list, with Ctrl after the first.
    void select(const QStringList& names) {
        w->Fichier1->refresh();
        for (qsizetype i = 0; i < names.size(); ++i)
            ASSERT_TRUE(testutil::clickName(w->Fichier1, names[i],
                                            i ? Qt::ControlModifier : Qt::NoModifier))
                << names[i].toStdString();
    }
    // Clicks command, answers the questions in order (0: closes the dialog
    // by its frame) and waits until the operation has ended.
    QStringList run(QPushButton* command, std::deque<int> answers = {}) {
        command->click();
        QStringList asked;
        while (true) {
            EXPECT_TRUE(testutil::waitUntil([&] {
                return !w->isBusy() || (w->openQuestion() && w->openQuestion()->isVisible());
            }));
            if (!w->isBusy() || !w->openQuestion())
                return asked;
            VbCopyM* q = w->openQuestion();
            asked << q->Label1->text();
            const int a = answers.empty() ? 4 : answers.front();
            if (!answers.empty())
                answers.pop_front();
            QPushButton* buttons[] = {q->Command1, q->Command2, q->Command3, q->Command4};
            if (a == 0)
                q->close();
            else
                buttons[a - 1]->click();
        }
    }
    QStringList files(const QString& folder) const {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    // The resting state every operation ends in.
    void expectReset() {
        EXPECT_EQ(w->etiSelection->text(), "0");
        EXPECT_EQ(w->etiCopies->text(), "0");
        EXPECT_EQ(w->Fichier1->selectedCount(), 0);
        EXPECT_FALSE(w->btcCopy->isEnabled());
        EXPECT_EQ(ctx.state.CopyInProgress + ctx.state.DeleteInProgress, 0);
    }

    QTemporaryDir dir;
    QString src, dst;
    AppContext ctx;
    ScriptedDialogs dialogs;
    std::unique_ptr<FrmCopy> w;
};

const QString kCopied = QStringLiteral("Les fichiers ont été correctement copiés !");
const QString kCopyFailed = QStringLiteral("Les fichiers n'ont pas pu être copiés correctement !");
const QString kCancelled = QStringLiteral("Opération annulée");

} // namespace

TEST_F(FileUtil, CopyAsksAboutEachConflictUntilAllAndEndsByTheLastAnswer) {
    const QStringList abc = {"a.txt", "b.txt", "c.txt"};
    struct Case {
        const char* what;
        QStringList conflicts;
        std::deque<int> answers;
        QStringList asked;    // upper-case names asked about
        QStringList replaced; // destinations holding the new bytes afterwards
        QString message;
    } cases[] = {
        {"no conflict", {}, {}, {}, abc, kCopied},
        {"once, then all", abc, {1, 2}, {"A.TXT", "B.TXT"}, abc, kCopied},
        {"skip, then a free file", {"a.txt"}, {3}, {"A.TXT"}, {"b.txt", "c.txt"}, kCopyFailed},
        {"cancel", {"a.txt", "b.txt"}, {1, 4}, {"A.TXT", "B.TXT"}, {"a.txt"}, kCancelled},
        {"question closed", {"a.txt"}, {0}, {"A.TXT"}, {}, kCancelled},
    };
    for (const Case& c : cases) {
        QDir(dst).removeRecursively();
        QDir().mkpath(dst);
        for (const QString& n : abc)
            put(src, n, "new " + n.toUtf8());
        for (const QString& n : c.conflicts)
            put(dst, n, "old");
        open();
        select(abc);
        EXPECT_EQ(w->etiSelection->text(), " 3");
        QStringList expected;
        for (const QString& name : c.asked)
            expected << "Le fichier destination  " + name + " existe\nLe remplacer ?   Confirmez ?";
        EXPECT_EQ(run(w->btcCopy, c.answers), expected) << c.what;
        for (const QString& n : abc)
            EXPECT_EQ(readFile(dst + '/' + n) == "new " + n.toUtf8(), c.replaced.contains(n))
                << c.what << n.toStdString();
        EXPECT_EQ(dialogs.lastText(), c.message) << c.what;
        expectReset();
        dialogs.asked.clear();
    }
}

TEST_F(FileUtil, CopyingIntoTheSameFolderStopsAtTheFirstFile) {
    put(src, "a.txt", "a");
    put(src, "b.txt", "b");
    QFile::link(src, dir.filePath(QStringLiteral("alias")));
    for (const QString& target : {src, dir.filePath(QStringLiteral("alias"))}) {
        open();
        w->Repertoire2->setPath(target);
        select({"a.txt", "b.txt"});
        EXPECT_TRUE(run(w->btcCopy).isEmpty());
        EXPECT_EQ(dialogs.lastText(), "Le répertoire de destination est identique à celui "
                                      "d'origine!\n Interruption de l'opération de copie !");
        EXPECT_EQ(files(src), QStringList({"a.txt", "b.txt"}));
        EXPECT_EQ(readFile(src + "/a.txt"), "a");
        expectReset();
    }
}

TEST_F(FileUtil, NothingSelectedIsSaidAfterADriveChangeToo) {
    put(src, "a.txt", "a");
    put(src, "b.txt", "b");
    open();
    select({"a.txt", "b.txt"});
    EXPECT_EQ(w->etiSelection->text(), " 2");
    EXPECT_TRUE(w->Command2->isEnabled() && !w->Command5->isEnabled());
    w->Lecteur_Change(false);
    expectReset();
    EXPECT_FALSE(w->Command1->isEnabled() || w->Command2->isEnabled());
    w->btcCopy_Click();
    w->Command1_Click();
    w->Command2_Click();
    EXPECT_EQ(dialogs.messageTexts(),
              QStringList({"Veuillez sélectionner les  fichiers à copier !",
                           "Veuillez sélectionner les  fichiers à supprimer !",
                           "Sélectionner d'abord le fichier  à renommer !"}));
    EXPECT_TRUE(files(dst).isEmpty());
    EXPECT_EQ(files(src).size(), 2);
}

TEST_F(FileUtil, TheSelectedFilesAreActedOnWhileTheSourceIsListedAgain) {
    for (const char* n : {"a.txt", "b.txt", "c.txt"})
        put(src, n, n);
    open();
    select({"a.txt", "c.txt"});
    // Listed again (a slow folder): the lines and the selection stay.
    w->Fichier1->refresh();
    ASSERT_TRUE(w->Fichier1->isListing());
    EXPECT_EQ(w->etiSelection->text(), " 2");
    ASSERT_TRUE(w->btcCopy->isEnabled());
    EXPECT_TRUE(run(w->btcCopy).isEmpty());
    EXPECT_EQ(files(dst), QStringList({"a.txt", "c.txt"}));
    expectReset();

    select({"b.txt"});
    w->Fichier1->refresh();
    ASSERT_TRUE(w->Fichier1->isListing());
    dialogs.inputAnswers = {QString("d.txt")};
    w->Command2->click();
    EXPECT_EQ(files(src), QStringList({"a.txt", "c.txt", "d.txt"}));
    ASSERT_TRUE(testutil::waitListed(w->Fichier1));
    EXPECT_EQ(w->Fichier1->names(), QStringList({"a.txt", "c.txt", "d.txt"}));
    EXPECT_EQ(w->Label2->text(), " 3 Fichiers");
}

TEST_F(FileUtil, DeletionAsksUntilAllAndAnEndingSkipSaysNothing) {
    for (const char* n : {"a.txt", "b.txt", "bad.jpg"})
        put(src, n, "not a picture");
    open();
    // A picture that cannot be read still counts as selected.
    select({"bad.jpg"});
    ASSERT_TRUE(testutil::waitUntil([&] { return !w->isLoadingPreview(); }));
    EXPECT_EQ(dialogs.lastText(), "Format d'image incorrect");
    EXPECT_EQ(w->etiSelection->text(), " 1");
    EXPECT_TRUE(w->Command1->isEnabled() && w->Image1->isHidden());
    EXPECT_EQ(ctx.state.SelectionIsPicture, 0);

    select({"a.txt", "b.txt"});
    EXPECT_EQ(run(w->Command1, {1, 3}),
              QStringList({"Supprimer le fichier \n" + src + "/a.txt ?",
                           "Supprimer le fichier \n" + src + "/b.txt ?"}));
    EXPECT_EQ(dialogs.lastText(), "Format d'image incorrect"); // nothing more said
    EXPECT_EQ(files(src), QStringList({"b.txt", "bad.jpg"}));
    expectReset();

    select({"b.txt", "bad.jpg"});
    EXPECT_EQ(run(w->Command1, {2}).size(), 1);
    EXPECT_EQ(dialogs.lastText(), "Les fichiers ont été supprimés !");
    EXPECT_TRUE(files(src).isEmpty());
    const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + "/Trash/files/";
    for (const char* n : {"a.txt", "b.txt", "bad.jpg"})
        EXPECT_TRUE(QFileInfo::exists(trash + n)) << n;
    ASSERT_TRUE(testutil::waitListed(w->Fichier1));
    EXPECT_EQ(w->Label2->text(), " 0 Fichiers");
}

TEST_F(FileUtil, AFailedOrAbandonedCopyLeavesTheDestinationAsItWas) {
    put(src, "big.bin", QByteArray(4 << 20, 'n'));
    put(dst, "big.bin", "old");
    open();
    w->setWriteFunction([](int, const void*, size_t) -> ssize_t {
        errno = EIO;
        return -1;
    });
    select({"big.bin"});
    run(w->btcCopy, {1});
    EXPECT_EQ(dialogs.lastText(), kCopyFailed);
    EXPECT_EQ(files(dst), QStringList{"big.bin"}); // no temporary file left
    EXPECT_EQ(readFile(dst + "/big.bin"), "old");

    // Closing the window in the middle of a slow copy.
    QFile::remove(dst + "/big.bin");
    // Its writes wait for the test's word: surely still copying when closed.
    auto go = std::make_shared<std::atomic<bool>>(false);
    w->setWriteFunction([go](int fd, const void* data, size_t size) {
        while (!*go)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return ::write(fd, data, size);
    });
    select({"big.bin"});
    w->btcCopy->click();
    ASSERT_TRUE(testutil::waitUntil([&] { return !files(dst).isEmpty(); }));
    w->btcCancel->click();
    EXPECT_FALSE(w->isBusy());
    EXPECT_EQ(ctx.state.CopyInProgress, 0);
    *go = true;
    EXPECT_TRUE(testutil::waitUntil([&] { return files(dst).isEmpty(); }));
}

TEST_F(FileUtil, RenamesOneByOneAndAsksWhatToDoOnFailure) {
    for (const char* n : {"a.txt", "b.txt", "c.txt"})
        put(src, n, n);
    open();
    select({"a.txt", "b.txt"});
    dialogs.inputAnswers = {QString("c.txt"), QString("d.txt")};
    dialogs.messageAnswers = {MsgResult::Retry, MsgResult::Ignore};
    w->Command2->click();
    EXPECT_EQ(files(src), QStringList({"a.txt", "c.txt", "d.txt"}));
    EXPECT_EQ(dialogs.asked[0].prompt, "Indiquez le nouveau nom pour le fichier a.txt.");
    EXPECT_EQ(dialogs.asked[0].message.text, "a.txt"); // proposed
    EXPECT_EQ(dialogs.messageTexts(), QStringList(2, "Le fichier a.txt n'a pu être renommé ! "));
    expectReset();

    // A name with '/' would move the file: refused; Abort stops there.
    select({"a.txt", "c.txt"});
    dialogs.inputAnswers = {QString("../a.txt")};
    dialogs.messageAnswers = {MsgResult::Abort};
    w->Command2->click();
    EXPECT_EQ(dialogs.count(Kind::Input), 3);
    EXPECT_EQ(files(src), QStringList({"a.txt", "c.txt", "d.txt"}));
    EXPECT_TRUE(files(dir.path()).isEmpty());
}

TEST_F(FileUtil, TargetFoldersAreCreatedWithCheckedNamesAndDeletedWhenEmpty) {
    open();
    dialogs.inputAnswers = {QString("a.b"), QString("x-y"), QString("  Étape 2024  ")};
    w->Commande1->click();
    EXPECT_EQ(dialogs.messageTexts(),
              QStringList(2, "Nom de répertoire non valable !\n    Caractère interdit."));
    EXPECT_EQ(dialogs.count(Kind::Input), 3);
    EXPECT_EQ(dialogs.asked.last().message.text, "Nouveau dossier");
    EXPECT_TRUE(QFileInfo(dst + "/Étape 2024").isDir());

    dialogs.inputAnswers = {QString("   ")}; // blanks only: nothing, silently
    w->Commande1->click();
    dialogs.inputAnswers = {QString("Étape 2024")};
    w->Commande1->click();
    EXPECT_EQ(dialogs.lastText(), "Le répertoire existe déja");
    EXPECT_EQ(dialogs.count(Kind::Message), 3);

    // Deleting the target folder: never the root, a full one fails.
    put(dst + "/full", "x.txt", "x");
    QDir().mkpath(dst + "/empty");
    w->Repertoire2->setPath(QStringLiteral("/"));
    w->Command4->click();
    EXPECT_EQ(dialogs.lastText(),
              "Vous vous trouvez dans le dossier racine ! Ce dossier ne peut pas "
              "être supprimé !");

    dialogs.messageAnswers = {MsgResult::Yes, MsgResult::Ok, MsgResult::Yes};
    w->Repertoire2->setPath(dst + "/full");
    w->Command4->click();
    EXPECT_EQ(dialogs.lastText(),
              "Le dossier " + dst + "/full n'est pas vide et n'a pas pu être supprimé !");
    EXPECT_EQ(w->Repertoire2->path(), dst);
    w->Repertoire2->setPath(dst + "/empty");
    w->Command4->click();
    EXPECT_EQ(dialogs.asked.last().message.text,
              "Voulez-vous vraiment supprimer le dossier " + dst + "/empty ?");
    EXPECT_FALSE(QFileInfo::exists(dst + "/empty"));
}

TEST_F(FileUtil, APicturePreviewsAloneAndCopiesToTheClipboard) {
    src = dir.filePath(QStringLiteral("v.1"));
    QDir().mkpath(src);
    QImage(40, 20, QImage::Format_RGB32).save(src + "/pic.bmp");
    put(src, "notes.txt", "n");
    open();
    select({"pic.bmp"});
    ASSERT_TRUE(testutil::waitUntil([&] { return w->Image1->isVisible(); }));
    EXPECT_TRUE(w->Command3->isVisible());
    EXPECT_EQ(ctx.state.CurrentFilePath, src + "/pic.bmp");
    QTest::mouseDClick(w->Image1, Qt::LeftButton);
    EXPECT_EQ(QApplication::clipboard()->image().size(), QSize(40, 20));

    select({"pic.bmp", "notes.txt"});
    EXPECT_TRUE(w->Image1->isHidden());
    EXPECT_FALSE(w->Command5->isEnabled());
    select({"notes.txt"});
    w->Command5->click(); // not a picture: a warning
    select({"notes.txt"});
    w->Command6->click();
    ASSERT_EQ(dialogs.messageTexts().size(), 2);
    EXPECT_EQ(dialogs.lastText(), "Aucune association n'est définie pour le fichier sélectionné !");
}

TEST_F(ViewerTest, TheUtilityOpensFromTheMainWindowWhichRefreshesItsListsAfter) {
    start();
    QTimer::singleShot(0, [&] {
        auto* utility = w->findChild<FrmCopy*>();
        ASSERT_TRUE(utility);
        EXPECT_EQ(utility->Repertoire1->path(), w->Dir1->path());
        QFile(browse + "/new.jpg").open(QIODevice::WriteOnly);
        utility->btcCancel->click();
    });
    w->Command8->click();
    ASSERT_TRUE(testutil::waitListed(w->File1));
    EXPECT_GE(w->File1->rowOf("new.jpg"), 0);
}
