// The folder and file lists: read off the GUI thread, a listing abandoned
// by a newer one never shows, a refresh keeps the lines and the selection,
// a name asked for is selected when its line comes, 100,000 lines at once.
#include "support/listutil.h"
#include "support/testutil.h"
#include "widgets/browsewidgets.h"

#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

using namespace lumenta;

namespace {

class Lists : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        for (const char* folder : {"a/x", "a/y", "b"})
            QDir(dir.path()).mkpath(QLatin1String(folder));
        for (const char* name : {"a/p2.jpg", "a/p10.jpg", "a/P1.jpg", "a/note.txt", "b/q.jpg"})
            testutil::writeFile(dir, QLatin1String(name), "x");
        files.resize(300, 200);
        files.show();
    }
    QString path(const char* relative) const { return dir.filePath(QLatin1String(relative)); }
    // Lets a listing's worker finish and post its lines, without taking
    // them (no event is processed).
    static void letWorkersFinish() { QThread::msleep(300); }

    QTemporaryDir dir;
    FileList files;
};

} // namespace

TEST_F(Lists, AListingAbandonedByAFolderChangeNeverShows) {
    QSignalSpy listed(&files, &FileList::listed);
    files.setPattern(QStringLiteral("*.jpg"));
    files.setPath(path("a"));
    EXPECT_TRUE(files.isListing());
    EXPECT_EQ(files.listCount(), 0); // nothing until the names are sorted
    letWorkersFinish();
    files.setPath(path("b")); // the lines of a, waiting to be taken, are dropped
    ASSERT_TRUE(testutil::waitListed(&files));
    EXPECT_EQ(files.names(), QStringList{QStringLiteral("q.jpg")});
    QTest::qWait(50);
    EXPECT_EQ(listed.count(), 1);

    // The rows of another pattern go at once, too.
    files.setPath(path("a"));
    ASSERT_TRUE(testutil::waitListed(&files));
    EXPECT_EQ(files.names(), QStringList({"P1.jpg", "p2.jpg", "p10.jpg"}));
    files.setPattern(QStringLiteral("*.txt"));
    EXPECT_EQ(files.listCount(), 0);
    ASSERT_TRUE(testutil::waitListed(&files));
    EXPECT_EQ(files.names(), QStringList{QStringLiteral("note.txt")});
}

TEST_F(Lists, ARefreshKeepsTheLinesAndTheSelectionUntilTheNewOnesCome) {
    files.setSelectionMode(QAbstractItemView::ExtendedSelection);
    files.setPath(path("a"));
    ASSERT_TRUE(testutil::waitListed(&files));
    ASSERT_TRUE(testutil::clickName(&files, QStringLiteral("p2.jpg")));
    ASSERT_TRUE(testutil::clickName(&files, QStringLiteral("p10.jpg"), Qt::ControlModifier));
    QSignalSpy clicks(&files, &FileList::fileClicked);

    // A file made while the folder is being listed: listed once more.
    files.refresh();
    EXPECT_TRUE(files.isListing());
    EXPECT_EQ(files.viewport()->cursor().shape(), Qt::BusyCursor);
    letWorkersFinish();
    testutil::writeFile(dir, QStringLiteral("a/p3.jpg"), "x");
    files.refresh();
    EXPECT_EQ(files.listCount(), 4);
    EXPECT_EQ(files.selectedNames(), QStringList({"p2.jpg", "p10.jpg"}));
    ASSERT_TRUE(testutil::waitListed(&files));
    EXPECT_EQ(files.names(), QStringList({"note.txt", "P1.jpg", "p2.jpg", "p3.jpg", "p10.jpg"}));
    // The same files selected, the same line current, nothing opened.
    EXPECT_EQ(files.selectedNames(), QStringList({"p2.jpg", "p10.jpg"}));
    EXPECT_EQ(files.nameAt(files.currentRow()), QStringLiteral("p10.jpg"));
    EXPECT_EQ(clicks.count(), 0);
    EXPECT_FALSE(files.viewport()->testAttribute(Qt::WA_SetCursor));
}

TEST_F(Lists, ANameAskedForIsSelectedWhenItsLineComes) {
    QSignalSpy clicks(&files, &FileList::fileClicked);
    files.setPath(path("a"));
    files.selectWhenListed(QStringLiteral("p10.jpg"));
    EXPECT_TRUE(files.fileName().isEmpty());
    ASSERT_TRUE(testutil::waitListed(&files));
    EXPECT_EQ(files.fileName(), QStringLiteral("p10.jpg"));
    EXPECT_EQ(clicks.count(), 0);

    // A file made after the listing: the folder is listed again for it.
    testutil::writeFile(dir, QStringLiteral("a/new.jpg"), "x");
    files.selectWhenListed(QStringLiteral("new.jpg"));
    EXPECT_TRUE(files.isListing());
    ASSERT_TRUE(testutil::waitListed(&files));
    EXPECT_EQ(files.fileName(), QStringLiteral("new.jpg"));

    // The user picks another line meanwhile: that one stays.
    files.refresh();
    files.selectWhenListed(QStringLiteral("note.txt"));
    const int row = files.rowOf(QStringLiteral("P1.jpg"));
    ASSERT_GE(row, 0);
    QTest::mouseClick(files.viewport(), Qt::LeftButton, {}, files.rowRect(row).center());
    EXPECT_EQ(clicks.count(), 1);
    ASSERT_TRUE(testutil::waitListed(&files));
    EXPECT_EQ(files.fileName(), QStringLiteral("P1.jpg"));
}

TEST_F(Lists, AHundredThousandLinesAtOnce) {
    QStringList names;
    names.reserve(100000);
    for (int i = 0; i < 100000; ++i)
        names << QStringLiteral("IMG_%1.JPG").arg(i, 6, 10, QLatin1Char('0'));
    files.setListing(path("a"), QStringLiteral("*.*"), names);
    EXPECT_EQ(files.listCount(), 100000);
    EXPECT_EQ(files.rowOf(QStringLiteral("IMG_099999.JPG")), 99999);
    EXPECT_TRUE(files.selectName(QStringLiteral("IMG_099999.JPG")));
    EXPECT_TRUE(files.viewport()->rect().intersects(files.rowRect(99999)));
    EXPECT_EQ(files.fileName(), QStringLiteral("IMG_099999.JPG"));
}

TEST_F(Lists, SubfoldersComeAfterTheFolderLine) {
    DirList folders;
    QSignalSpy listed(&folders, &DirList::listed);
    ASSERT_TRUE(folders.setPath(path("a")));
    // The folder and its ancestors at once, the folder current.
    const int depth = int(path("a").count(QLatin1Char('/'))) + 1;
    EXPECT_EQ(folders.count(), depth);
    EXPECT_EQ(folders.highlightedPath(), path("a"));
    EXPECT_TRUE(folders.isListing());
    letWorkersFinish();
    // Another folder before the subfolders were taken: they never show.
    ASSERT_TRUE(folders.setPath(dir.path()));
    ASSERT_TRUE(testutil::waitListed(&folders));
    EXPECT_EQ(listed.count(), 1);
    ASSERT_EQ(folders.count(), depth + 1);
    EXPECT_EQ(folders.text(depth - 1).trimmed(), QStringLiteral("a"));
    EXPECT_EQ(folders.text(depth), QString((depth - 1) * 2, QLatin1Char(' ')) + "b");
    EXPECT_EQ(folders.highlightedPath(), dir.path());
    EXPECT_FALSE(folders.setPath(path("missing")));
    EXPECT_EQ(folders.path(), dir.path());
}
