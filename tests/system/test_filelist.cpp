#include "support/testutil.h"
#include "system/drives.h"
#include "system/filelist.h"
#include "system/folderlisting.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumenta;

TEST(FilePattern, ValidationRefusesEmptyMasksAndPathCharacters) {
    EXPECT_TRUE(isValidPattern(QStringLiteral("*.bmp;*.gif;*.jpg")));
    EXPECT_TRUE(isValidPattern(QStringLiteral("*.*")));
    EXPECT_TRUE(isValidPattern(QStringLiteral("pic?.jpg")));
    for (const char* bad : {"", ";", "*.bmp;", ";*.gif", "*.bmp;;*.gif", "a/b", "a\\b", "<x>",
                            "a|b", "\"q\"", "a\tb"})
        EXPECT_FALSE(isValidPattern(QString::fromLatin1(bad))) << bad;
}

TEST(FilePattern, ListingIsNaturalCaseInsensitiveAndSkipsHiddenAndFolders) {
    QTemporaryDir dir;
    for (const char* n :
         {"pic10.jpg", "pic2.JPG", "Pic1.jpeg", "b.gif", "notes.txt", ".hidden.jpg", "noext"})
        testutil::writeFile(dir, QLatin1String(n), "x");
    QDir(dir.path()).mkdir(QStringLiteral("album.jpg"));
    EXPECT_EQ(listFolder(dir.path(), QStringLiteral("*.jpg")).names,
              QStringList({QStringLiteral("pic2.JPG"), QStringLiteral("pic10.jpg")}));
    EXPECT_EQ(listFolder(dir.path(), QStringLiteral("*.jpg;*.jpeg;*.gif")).names,
              QStringList({QStringLiteral("b.gif"), QStringLiteral("Pic1.jpeg"),
                           QStringLiteral("pic2.JPG"), QStringLiteral("pic10.jpg")}));
    // "*.*" lists every visible file, also one without a dot.
    EXPECT_EQ(listFolder(dir.path(), QStringLiteral("*.*")).names.size(), 6);
    EXPECT_TRUE(listFolder(dir.path(), QStringLiteral("*.jpg;")).names.isEmpty());
    EXPECT_EQ(listFolder(dir.path(), QStringLiteral("pic?.jpg")).names,
              QStringList({QStringLiteral("pic2.JPG")}));
}

TEST(FolderList, ChainAndSubfolders) {
    EXPECT_EQ(folderChain(QStringLiteral("/")), QStringList({QStringLiteral("/")}));
    EXPECT_EQ(
        folderChain(QStringLiteral("/home/anne/")),
        QStringList({QStringLiteral("/"), QStringLiteral("/home"), QStringLiteral("/home/anne")}));
    QTemporaryDir dir;
    for (const char* n : {"v10", "v9", ".git", "My.Photos"})
        QDir(dir.path()).mkdir(QLatin1String(n));
    EXPECT_EQ(
        listFolderSubfolders(dir.path()).names,
        QStringList({QStringLiteral("My.Photos"), QStringLiteral("v9"), QStringLiteral("v10")}));
}

TEST(Drives, RootIsAlwaysThereAndPathsMapToTheLongestRoot) {
    const QList<Drive> drives = listDrives();
    ASSERT_FALSE(drives.isEmpty());
    EXPECT_EQ(drives.first().root, QStringLiteral("/"));
    const QList<Drive> fake = {{QStringLiteral("/"), {}},
                               {QStringLiteral("/media/usb"), QStringLiteral("CLE")},
                               {QStringLiteral("/media/usb2"), {}}};
    EXPECT_EQ(driveOfPath(QStringLiteral("/media/usb/photos"), fake), QStringLiteral("/media/usb"));
    EXPECT_EQ(driveOfPath(QStringLiteral("/media/usb2"), fake), QStringLiteral("/media/usb2"));
    EXPECT_EQ(driveOfPath(QStringLiteral("/media/usb22/x"), fake), QStringLiteral("/"));
    EXPECT_EQ(driveOfPath(QStringLiteral("/home"), fake), QStringLiteral("/"));
    EXPECT_EQ(fake[1].displayText(), QStringLiteral("/media/usb [CLE]"));
    EXPECT_TRUE(isDriveReady(QStringLiteral("/")));
    EXPECT_FALSE(isDriveReady(QStringLiteral("/nonexistent-volume-for-test")));
}
