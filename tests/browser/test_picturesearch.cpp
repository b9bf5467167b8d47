// The recursive picture search: the walk on built trees, and the search
// mode of the browser window driven as a user drives it.
#include "browser/picturesearch.h"
#include "browserwindow.h"
#include "system/namematcher.h"

#include <QListWidget>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

using namespace lumenta;

namespace {

// Paths relative to root.
QStringList rel(const QTemporaryDir& root, const QStringList& paths) {
    QStringList out;
    for (const QString& p : paths)
        out << QDir(root.path()).relativeFilePath(p);
    return out;
}

class SearchTest : public ::testing::Test {
protected:
    void make(std::initializer_list<const char*> files) {
        for (const char* f : files)
            ASSERT_FALSE(testutil::writeFile(tmp, QString::fromUtf8(f), "x").isEmpty());
    }
    QStringList walk(const QString& root, const QString& pattern = QStringLiteral("*.jpg")) {
        QStringList out;
        walkPictureTree(root, pattern, [&](const QString&, QStringList& p) { out += p; });
        return out;
    }
    QTemporaryDir tmp;
};

TEST(NameMatcherTest, BytesMatchAsTheFileList) {
    const struct {
        const char* mask;
        QByteArray name;
        bool match;
    } cases[] = {
        {"*.jpg", "a.JPG", true},      {"*.jpg", "a.jpeg", false}, {"*.jpg", "jpg", false},
        {"*.jpg", "été.jpg", true},    {"*.*", "noext", true},     {"a?c*.gif", "abcd.GIF", true},
        {"a?c*.gif", "ac.gif", false}, {"*.é", "x.É", true},
    };
    for (const auto& c : cases) {
        const NameMatcher m({QString::fromUtf8(c.mask)});
        EXPECT_EQ(m.matches(QByteArrayView(c.name)), c.match) << c.mask << " " << c.name.data();
    }
    QString name;
    EXPECT_FALSE(decodeFileName("\xff.jpg", name)); // not UTF-8: left out
}

TEST_F(SearchTest, OrderSkipsAndTheRootSeparator) {
    make({"a.jpg", "B.JPG", "c.txt", "pic10.jpg", "pic2.jpg", ".hidden.jpg", "sub2/x.jpg",
          "sub10/y.jpg", "sub10/deep/z.jpg", ".dot/h.jpg"});
    ASSERT_EQ(::mkfifo(QFile::encodeName(tmp.filePath("fifo.jpg")).constData(), 0600), 0);
    QFile::link(tmp.filePath("a.jpg"), tmp.filePath("link.jpg"));
    const QStringList expected = {"sub10/deep/z.jpg", "sub10/y.jpg", "sub2/x.jpg", "a.jpg", "B.JPG",
                                  "link.jpg",         "pic2.jpg",    "pic10.jpg"};
    const QStringList found = walk(tmp.path() + QStringLiteral("/"));
    EXPECT_EQ(rel(tmp, found), expected);
    EXPECT_FALSE(found.join(' ').contains(QStringLiteral("//")));
    EXPECT_TRUE(walk(tmp.path(), QStringLiteral("*.gif")).isEmpty());
}

TEST_F(SearchTest, LinkLoopsEndOutsideLinksAreFollowedPseudoFileSystemsLeftOut) {
    QTemporaryDir outside;
    make({"a.jpg", "sub/s.jpg"});
    QFile::link(tmp.path(), tmp.filePath("sub/up"));          // back to the root
    QFile::link(tmp.filePath("sub"), tmp.filePath("sub/me")); // to itself
    QFile(outside.filePath("o.jpg")).open(QIODevice::WriteOnly);
    QFile::link(outside.path(), tmp.filePath("out"));
    QFile::link(QStringLiteral("/proc"), tmp.filePath("proc"));
    QFile::link(QStringLiteral("/sys"), tmp.filePath("sys"));
    QFile::link(QStringLiteral("/proc/self/fd"), tmp.filePath("sub/fds"));
    EXPECT_EQ(rel(tmp, walk(tmp.path(), QStringLiteral("*.*"))),
              (QStringList{"sub/s.jpg", "out/o.jpg", "a.jpg"}));
    EXPECT_TRUE(walk(QStringLiteral("/proc/self"), QStringLiteral("*.*")).isEmpty());
}

TEST_F(SearchTest, UnreadableFolderIsSkipped) {
    make({"open/a.jpg", "shut/b.jpg"});
    ::chmod(QFile::encodeName(tmp.path()).constData(), 0755);
    ::chmod(QFile::encodeName(tmp.filePath("shut")).constData(), 0);
    // The super-user reads everything: walk as nobody.
    const bool root = ::geteuid() == 0;
    ASSERT_TRUE(!root || ::seteuid(65534) == 0);
    const QStringList found = walk(tmp.path());
    ASSERT_TRUE(!root || ::seteuid(0) == 0);
    ::chmod(QFile::encodeName(tmp.filePath("shut")).constData(), 0755);
    EXPECT_EQ(rel(tmp, found), QStringList{"open/a.jpg"});
}

TEST_F(SearchTest, StopEndsTheWalk) {
    make({"a/1.jpg", "b/2.jpg", "c/3.jpg"});
    std::atomic<bool> stop{false};
    int folders = 0;
    EXPECT_FALSE(walkPictureTree(
        tmp.path(), QStringLiteral("*.jpg"),
        [&](const QString&, QStringList&) { ++folders, stop = true; }, &stop));
    EXPECT_EQ(folders, 1);
}

class SearchWindowTest : public BrowserWindowTest {
protected:
    void SetUp() override {
        BrowserWindowTest::SetUp();
        for (const char* f : {"p/one.bmp", "p/a/two.bmp", "p/b/three.bmp"})
            savePicture(QString::fromLatin1(f));
        testutil::writeFile(photos, QStringLiteral("p/b/bad.bmp"), "not a picture");
        open(path("p"));
        w->optMode_Click(1);
        waitIdle();
    }
    QStringList found() {
        QStringList out;
        for (int i = 0; i < w->lisFilesFound->count(); ++i)
            out << w->lisFilesFound->item(i)->text();
        return rel(photos, out);
    }
    bool searchEnds() {
        return testutil::waitUntil([&] { return !w->searchRunning(); }, 20000);
    }
};

TEST_F(SearchWindowTest, SearchListsHidesAndRestores) {
    w->cmdSearch_Click();
    EXPECT_TRUE(w->lblSearchInProgress->isVisible() && w->cmdStopSearch->isVisible());
    EXPECT_FALSE(w->DirList->isVisible() || w->FilList->isVisible());
    w->cmdSearch_Click(); // one search at a time
    ASSERT_TRUE(searchEnds());
    EXPECT_EQ(found(), (QStringList{"p/b/bad.bmp", "p/b/three.bmp", "p/a/two.bmp", "p/one.bmp"}));
    EXPECT_EQ(w->lblFoundNum->text(), QStringLiteral("Total found: 4"));
    EXPECT_TRUE(w->DirList->isVisible() && !w->cmdStopSearch->isVisible());
    EXPECT_EQ(w->DirList->path(), path("p"));
    EXPECT_EQ(w->FilList->pattern(), w->cboPattern->currentText());
    EXPECT_TRUE(dialogs.asked.isEmpty());

    w->lisFilesFound->setCurrentRow(1);
    w->lisFilesFound_Click(w->lisFilesFound->item(1)->text());
    ASSERT_TRUE(testutil::waitUntil([&] { return w->PicWidth == 24; }));
    w->lisFilesFound_DblClick();
    EXPECT_EQ(dialogs.lastText(),
              QStringLiteral("Spécification de fichiers :\n\n") + path("p/b/three.bmp"));
    w->lisFilesFound_Click(path("p/b/bad.bmp"));
    ASSERT_TRUE(testutil::waitUntil([&] { return dialogs.asked.size() == 2; }));
    EXPECT_EQ(dialogs.lastText(), QStringLiteral("Pas de fichier image/Fichier image non valide"));
    EXPECT_EQ(w->PicWidth, 0);
}

TEST_F(SearchWindowTest, RefusalsNothingFoundAndStop) {
    w->cboSearchPattern->setEditable(true); // as if typed
    w->cboSearchPattern->setEditText(QStringLiteral("   "));
    w->cmdSearch_Click();
    EXPECT_EQ(dialogs.messageTexts(), QStringList{"Pas de filtre de recherche"});
    EXPECT_FALSE(w->searchRunning());

    w->cboSearchPattern->setCurrentIndex(1); // *.gif
    w->cmdSearch_Click();
    ASSERT_TRUE(searchEnds());
    EXPECT_EQ(w->lblFoundNum->text(), QStringLiteral("Total found: 0"));
    EXPECT_EQ(dialogs.lastText(),
              QStringLiteral("Pas de fichier trouvé avec le filtre de recherche en cours"));

    // Stopped while found files wait for their report: they are listed,
    // and nothing the walk meets afterwards.
    auto* search = w->findChild<PictureSearch*>();
    ASSERT_NE(search, nullptr);
    search->setReportInterval(60000);
    std::atomic<bool> walking{false}, walked{false};
    search->setWalk([&](const QString& root, const QString&, const SearchSink& sink,
                        const std::atomic<bool>* stop) {
        QStringList first{root + QStringLiteral("/a/two.bmp"), root + QStringLiteral("/one.bmp")};
        sink(root, first);
        walking = true;
        while (!stop->load())
            QThread::msleep(1);
        QStringList late{root + QStringLiteral("/late.bmp")};
        sink(root, late);
        walked = true;
        return false;
    });
    w->cboSearchPattern->setCurrentIndex(0);
    w->cmdSearch_Click();
    ASSERT_TRUE(testutil::waitUntil([&] { return walking.load(); }));
    EXPECT_EQ(w->lisFilesFound->count(), 0);
    w->cmdStopSearch->click();
    EXPECT_FALSE(w->searchRunning());
    EXPECT_TRUE(w->LastListedPath.isEmpty() && w->DirList->isVisible());
    EXPECT_EQ(found(), (QStringList{"p/a/two.bmp", "p/one.bmp"}));
    EXPECT_EQ(w->lblFoundNum->text(), QStringLiteral("Total found: 2"));
    // Nothing of the stopped walk arrives later: once it has met the late
    // file, what it could have posted is delivered.
    ASSERT_TRUE(testutil::waitUntil([&] { return walked.load(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(w->lisFilesFound->count(), 2);
    EXPECT_EQ(dialogs.asked.size(), 2);
}

} // namespace
