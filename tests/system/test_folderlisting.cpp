// Folder listings as the lists read them, the natural order they are sorted
// in at the scale of a camera folder, patterns, folder chains and drives.
#include "support/testutil.h"
#include "system/drives.h"
#include "system/filelist.h"
#include "system/folderlisting.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QScopeGuard>
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include <sys/stat.h>
#include <unistd.h>

using namespace lumenta;

namespace {

// The order as naturalCompare states it, pair by pair.
QStringList referenceSorted(QStringList names) {
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = naturalCompare(a, b);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

// The program's locale (its letters' order), for one test.
class FrenchOrder : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::French, QLocale::France)); }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

// On a memory file system where there is one: faster to fill.
QString scratchTemplate() {
    return (QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm")
                                                               : QDir::tempPath()) +
           QStringLiteral("/lumenta-XXXXXX");
}

} // namespace

TEST_F(FrenchOrder, SortingAgreesWithTheComparisonOnEveryKindOfNameAndAtRandom) {
    const QList<QStringList> tables = {
        {"pic10.jpg", "pic2.JPG", "Pic1.jpeg", "b.gif", "pic2.jpg", "PIC2.jpg", "pic"},
        // Leading zeros: equal numbers, told apart by their code units.
        {"a01", "a1", "a001", "a1b", "a01c", "a0", "a00", "a", "a0b", "a10", "a010"},
        // Accents beside their letter, case ignored.
        {"été", "ete", "Été", "eté", "éta", "zèbre", "Zebre", "œuvre", "oeuvre", "ça", "ca", "Ça",
         "Ångström", "angstrom", "ß", "ss", "straße", "strasse"},
        // Spaces and punctuation against numbers.
        {"photo 10.jpg", "photo 9.jpg", "photo_10", "photo-2", "photo.1", "photo (2)", "photo(10)",
         "photo10", "photo", "photo 9 - copie.jpg", "photo 9 (2).jpg"},
        // Numbers longer than any integer; digits of other scripts.
        {"n99999999999999999999", "n100000000000000000000", "n2", "x\u0663", "x3", "x\u0661\u0662",
         "x12", "x\uff11\uff12", "x\uff12", "x0\u0663"},
        // Letters ranked among the digits (superscripts, fractions), and
        // characters outside the basic plane.
        {"x\u00b2", "x2", "x1", "x\u00bd", "x3",
         "\U0001F600"
         "1",
         "\U0001F600"
         "2",
         "a\U0001F600", "\U0001F601"},
        // Numbers against such letters: 3 < 10 < ² < 3 if a number went by
        // its first digit.
        {"x10", "x\u00b2", "x3", ".\u0663\u00c9t\u00e9\u00b2", ".010\u00b2", ".\u00b2"},
        {"", "0", "00", "1", " ", "_", "-", ".", "~", "A", "a"},
    };
    for (const QStringList& table : tables) {
        QStringList names = table;
        std::reverse(names.begin(), names.end());
        naturalSort(names);
        EXPECT_EQ(names, referenceSorted(table)) << table.join(' ').toStdString();
        // An order: every pair agrees with it, not only neighbours.
        for (qsizetype i = 0; i < names.size(); ++i)
            for (qsizetype j = i + 1; j < names.size(); ++j)
                EXPECT_LE(naturalCompare(names[i], names[j]), 0)
                    << names[i].toStdString() << " / " << names[j].toStdString();
    }
    EXPECT_LT(naturalCompare("pic2", "pic10"), 0);
    EXPECT_LT(naturalCompare("pic10", "Pic11"), 0);
    EXPECT_EQ(naturalCompare("A01", "a1"), 0);
    // The locale's order: an accent next to its letter, not after "z".
    EXPECT_LT(naturalCompare("été", "f"), 0);

    // Camera, phone and copied names made of the pieces that decide the
    // order: case, accents, numbers with and without zeros, separators.
    const QStringList pieces = {"IMG_",   "img", "DSC", "photo ", "Photo", "été ", "Été",   "eté",
                                "_",      "-",   " ",   ".",      "(",     ")",    "copie", "0",
                                "00",     "7",   "07",  "10",     "010",   "9",    "99",    "123",
                                "\u0663", "x",   "X",   "ß",      "ss"};
    std::mt19937 random(23);
    for (int round = 0; round < 2; ++round) {
        QStringList names;
        for (int i = 0; i < 5000; ++i) {
            QString name;
            const int parts = 1 + int(random() % 5);
            for (int p = 0; p < parts; ++p)
                name += pieces[qsizetype(random() % pieces.size())];
            names << name + (round ? QStringLiteral(".jpg") : QStringLiteral("\u00b2"));
        }
        const QStringList expected = referenceSorted(names);
        QStringList reversed(names.rbegin(), names.rend());
        naturalSort(names);
        EXPECT_EQ(names, expected) << "round " << round;
        // The order a folder is read in changes nothing.
        naturalSort(reversed);
        EXPECT_EQ(reversed, expected) << "round " << round;
    }
}

TEST_F(FrenchOrder, HundredThousandFilesListedInOrderWithTheirMasks) {
    const QTemporaryDir dir(scratchTemplate());
    ASSERT_TRUE(dir.isValid());
    const QByteArray base = QFile::encodeName(dir.path()) + '/';
    std::vector<int> order(100000);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(5));
    for (int i : order) {
        const QByteArray n = QByteArray::number(i);
        const QByteArray names[] = {"IMG_" + n.rightJustified(6, '0') + ".JPG",
                                    "photo " + n + ".jpg",
                                    "\xc3\xa9t\xc3\xa9 " + QByteArray::number(i / 10) + " (" +
                                        QByteArray::number(i % 10) + ").jpeg",
                                    "anim" + n + ".Gif"};
        FILE* f = std::fopen((base + names[i % 4]).constData(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    // Never listed: hidden files, folders, a FIFO, a link to a folder, a
    // name that is not UTF-8 (removed here: QTemporaryDir cannot name it).
    testutil::writeFile(dir, QStringLiteral(".hidden.jpg"), "x");
    for (const char* folder : {"album.jpg", "v10", "v9", ".git"})
        QDir(dir.path()).mkdir(QLatin1String(folder));
    ASSERT_EQ(::mkfifo((base + "pipe.jpg").constData(), 0600), 0);
    QFile::link(dir.filePath(QStringLiteral("album.jpg")), dir.filePath(QStringLiteral("to.jpg")));
    const QByteArray bad = base + "bad\xff.jpg";
    std::fclose(std::fopen(bad.constData(), "w"));
    const auto removeBad = qScopeGuard([&] { ::unlink(bad.constData()); });
    // Listed: a link to a file, a name without a dot under "*.*".
    QFile::link(dir.filePath(QStringLiteral("photo 1.jpg")),
                dir.filePath(QStringLiteral("link.jpg")));
    testutil::writeFile(dir, QStringLiteral("noext"), "x");

    const FolderListing all = listFolder(dir.path(), QStringLiteral("*.*"));
    ASSERT_TRUE(all.readable);
    EXPECT_EQ(all.names.size(), 100002);
    EXPECT_EQ(all.names, referenceSorted(all.names));
    EXPECT_EQ(all.names.first(), QStringLiteral("anim3.Gif"));
    EXPECT_EQ(all.names.last(), QStringLiteral("photo 99997.jpg"));

    const FolderListing jpg = listFolder(dir.path(), QStringLiteral("*.jpg;*.JPEG"));
    EXPECT_EQ(jpg.names.size(), 75001);
    EXPECT_EQ(jpg.names, referenceSorted(jpg.names));
    EXPECT_FALSE(jpg.names.contains(QStringLiteral("to.jpg")));
    EXPECT_FALSE(jpg.names.contains(QStringLiteral("pipe.jpg")));
    EXPECT_EQ(listFolder(dir.path(), QStringLiteral("*.gif")).names.size(), 25000);
    EXPECT_EQ(listFolder(dir.path(), QStringLiteral("photo 1?.jpg")).names,
              QStringList({"photo 13.jpg", "photo 17.jpg"}));
    EXPECT_TRUE(listFolder(dir.path(), QStringLiteral("*.jpg;")).names.isEmpty());

    EXPECT_EQ(listFolderSubfolders(dir.path()).names,
              QStringList({"album.jpg", "to.jpg", "v9", "v10"}));
}

TEST(FolderListing, AnAbandonedListingStopsWithoutSorting) {
    const QTemporaryDir dir(scratchTemplate());
    for (const char* name : {"b10", "b9", "a"})
        testutil::writeFile(dir, QLatin1String(name), "x");
    std::atomic<bool> cancelled{true};
    const FolderListing listing = listFolder(dir.path(), QStringLiteral("*.*"), &cancelled);
    EXPECT_TRUE(listing.readable);
    EXPECT_TRUE(listing.names.isEmpty());
    EXPECT_FALSE(listFolder(dir.filePath(QStringLiteral("gone")), QStringLiteral("*.*")).readable);
}

TEST(FilePattern, ValidationRefusesEmptyMasksAndPathCharacters) {
    for (const char* good : {"*.bmp;*.gif;*.jpg", "*.*", "pic?.jpg"})
        EXPECT_TRUE(isValidPattern(QString::fromLatin1(good))) << good;
    for (const char* bad : {"", ";", "*.bmp;", ";*.gif", "*.bmp;;*.gif", "a/b", "a\\b", "<x>",
                            "a|b", "\"q\"", "a\tb"})
        EXPECT_FALSE(isValidPattern(QString::fromLatin1(bad))) << bad;
}

TEST(FolderList, ChainOfParents) {
    EXPECT_EQ(folderChain(QStringLiteral("/")), QStringList({QStringLiteral("/")}));
    EXPECT_EQ(folderChain(QStringLiteral("/home/anne/")),
              QStringList({"/", "/home", "/home/anne"}));
}

TEST(Drives, RootIsAlwaysThereAndPathsMapToTheLongestRoot) {
    const QList<Drive> drives = listDrives();
    ASSERT_FALSE(drives.isEmpty());
    EXPECT_EQ(drives.first().root, QStringLiteral("/"));
    const QList<Drive> fake = {{QStringLiteral("/"), {}},
                               {QStringLiteral("/media/usb"), QStringLiteral("CLE")},
                               {QStringLiteral("/media/usb2"), {}}};
    for (const auto& [path, drive] : {std::pair{"/media/usb/photos", "/media/usb"},
                                      {"/media/usb2", "/media/usb2"},
                                      {"/media/usb22/x", "/"},
                                      {"/home", "/"}})
        EXPECT_EQ(driveOfPath(QString::fromLatin1(path), fake), QString::fromLatin1(drive)) << path;
    EXPECT_EQ(fake[1].displayText(), QStringLiteral("/media/usb [CLE]"));
    EXPECT_TRUE(isDriveReady(QStringLiteral("/")));
    EXPECT_FALSE(isDriveReady(QStringLiteral("/nonexistent-volume-for-test")));
}
