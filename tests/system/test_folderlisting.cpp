// Folder listings as the lists read them, and the natural order they are
// sorted in, at the scale of a camera folder.
#include "support/testutil.h"
#include "system/filelist.h"
#include "system/folderlisting.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QScopeGuard>
#include <gtest/gtest.h>

#include <algorithm>
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

// Whether names follow the natural order (each name before the next).
bool inNaturalOrder(const QStringList& names) {
    for (qsizetype i = 0; i + 1 < names.size(); ++i) {
        const int c = naturalCompare(names[i], names[i + 1]);
        if (c > 0 || (c == 0 && !(names[i] < names[i + 1])))
            return false;
    }
    return true;
}

// The program's locale (its letters' order), for one test.
class FrenchOrder : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::French, QLocale::France)); }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

// On a memory file system where there is one: 100,000 files on a disk take
// long to make.
QString scratchTemplate() {
    return (QFileInfo(QStringLiteral("/dev/shm")).isWritable() ? QStringLiteral("/dev/shm")
                                                               : QDir::tempPath()) +
           QStringLiteral("/lumenta-XXXXXX");
}

} // namespace

TEST_F(FrenchOrder, SortingAgreesWithTheComparisonOnEveryKindOfName) {
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
        {"", "0", "00", "1", " ", "_", "-", ".", "~", "A", "a"},
    };
    for (const QStringList& table : tables) {
        QStringList names = table;
        std::reverse(names.begin(), names.end());
        naturalSort(names);
        EXPECT_EQ(names, referenceSorted(table)) << table.join(' ').toStdString();
    }
    EXPECT_LT(naturalCompare("pic2", "pic10"), 0);
    EXPECT_LT(naturalCompare("pic10", "Pic11"), 0);
    EXPECT_EQ(naturalCompare("A01", "a1"), 0);
    // The locale's order: an accent next to its letter, not after "z".
    EXPECT_LT(naturalCompare("été", "f"), 0);
}

TEST_F(FrenchOrder, RandomNamesSortAsTheComparisonSays) {
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
        naturalSort(names);
        EXPECT_EQ(names, expected) << "round " << round;
    }
}

TEST_F(FrenchOrder, HundredThousandFilesListedInOrderWithTheirMasks) {
    const QTemporaryDir dir(scratchTemplate());
    ASSERT_TRUE(dir.isValid());
    const QByteArray base = QFile::encodeName(dir.path()) + '/';
    std::vector<int> order(100000);
    for (int i = 0; i < 100000; ++i)
        order[size_t(i)] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(5));
    int gifs = 0;
    for (int i : order) {
        QByteArray name;
        switch (i % 4) {
        case 0:
            name = "IMG_" + QByteArray::number(i).rightJustified(6, '0') + ".JPG";
            break;
        case 1:
            name = "photo " + QByteArray::number(i) + ".jpg";
            break;
        case 2:
            name = "\xc3\xa9t\xc3\xa9 " + QByteArray::number(i / 10) + " (" +
                   QByteArray::number(i % 10) + ").jpeg";
            break;
        default:
            name = "anim" + QByteArray::number(i) + ".Gif";
            ++gifs;
        }
        FILE* f = std::fopen((base + name).constData(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    // Never listed: hidden files, folders, a FIFO, a link to a folder.
    testutil::writeFile(dir, QStringLiteral(".hidden.jpg"), "x");
    QDir(dir.path()).mkdir(QStringLiteral("album.jpg"));
    ASSERT_EQ(::mkfifo((base + "pipe.jpg").constData(), 0600), 0);
    QFile::link(dir.filePath(QStringLiteral("album.jpg")), dir.filePath(QStringLiteral("to.jpg")));
    // A link to a file is.
    QFile::link(dir.filePath(QStringLiteral("photo 1.jpg")),
                dir.filePath(QStringLiteral("link.jpg")));

    const FolderListing all = listFolder(dir.path(), QStringLiteral("*.*"));
    ASSERT_TRUE(all.readable);
    EXPECT_EQ(all.names.size(), 100001);
    EXPECT_TRUE(inNaturalOrder(all.names));
    EXPECT_EQ(all.names.first(), QStringLiteral("anim3.Gif"));
    EXPECT_EQ(all.names.last(), QStringLiteral("photo 99997.jpg"));

    const FolderListing jpg = listFolder(dir.path(), QStringLiteral("*.jpg;*.JPEG"));
    EXPECT_EQ(jpg.names.size(), 75001);
    EXPECT_TRUE(inNaturalOrder(jpg.names));
    EXPECT_FALSE(jpg.names.contains(QStringLiteral("to.jpg")));
    EXPECT_FALSE(jpg.names.contains(QStringLiteral("pipe.jpg")));
    EXPECT_EQ(listFolder(dir.path(), QStringLiteral("*.gif")).names.size(), gifs);
    EXPECT_EQ(listFolder(dir.path(), QStringLiteral("photo 1?.jpg")).names,
              QStringList({"photo 13.jpg", "photo 17.jpg"}));
    EXPECT_TRUE(listFolder(dir.path(), QStringLiteral("*.jpg;")).names.isEmpty());

    EXPECT_EQ(listFolderSubfolders(dir.path()).names,
              QStringList({QStringLiteral("album.jpg"), QStringLiteral("to.jpg")}));
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
