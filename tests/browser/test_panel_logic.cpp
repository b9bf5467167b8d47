// The browser's plain logic: splitting paths, lots, cells, pages and the
// table of pictures.
#include "browser/panelgeometry.h"
#include "browser/pathsection.h"
#include "browser/pictable.h"
#include "browser/pictureprobe.h"
#include "support/testutil.h"

#include <QImage>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace lumenta;
using namespace lumenta::panel;

TEST(PathSection, EveryPartOfEveryShape) {
    const struct {
        const char* path;
        const char* parts[5]; // drive, folder, file, base name, extension
    } cases[] = {
        {"/photos/vacances.jpg", {"/", "/photos/", "vacances.jpg", "vacances", ".jpg"}},
        {"/media/cle/a/b.c.jpg", {"/media/cle", "/media/cle/a/", "b.c.jpg", "b", ".c"}},
        {"vacances", {"", "", "vacances", "vacances", ""}},
        {"/photos/album/", {"/", "/photos/", "album", "album", ""}},
        {"/a.b/c", {"/", "/a.b/", "c", "c", ""}},        // dots in folders are never reached
        {"/x/name.", {"/", "/x/", "name.", "name", ""}}, // a final dot is no extension
        {"/x/.hidden", {"/", "/x/", ".hidden", "", ".hidden"}},
        {"/", {"/", "/", "", "", ""}},
        {"/media/cleverer/x.gif", {"/", "/media/cleverer/", "x.gif", "x", ".gif"}},
    };
    const QStringList drives = {QStringLiteral("/"), QStringLiteral("/media/cle")};
    for (const auto& c : cases)
        for (int part = 0; part < 5; ++part)
            EXPECT_EQ(PathSection(QString::fromUtf8(c.path), part, drives),
                      QString::fromUtf8(c.parts[part]))
                << c.path << " part " << part;
    for (int bad : {5, -1, 100})
        EXPECT_FALSE(PathSection(QStringLiteral("/a/b.jpg"), bad).has_value()) << bad;
}

TEST(PanelGeometry, LotsPagesAndPlacesStayInsideTheTable) {
    const int lots[][2] = {{0, 0}, {1, 1}, {48, 1}, {49, 2}, {96, 2}, {97, 3}, {40000, 834}};
    for (const auto& l : lots)
        EXPECT_EQ(lotCount(l[0]), l[1]) << l[0];
    // The pictures in a lot; never negative.
    for (const auto& [n, lot, count] :
         {std::tuple{96, 2, 48}, {49, 2, 1}, {40000, 834, 16}, {10, 3, 0}})
        EXPECT_EQ(lotPicCount(n, lot), count) << n;

    const int pages[][2] = {{0, 0}, {1, 1}, {12, 1}, {13, 2}, {24, 2}, {25, 3}, {48, 4}};
    for (const auto& p : pages)
        EXPECT_EQ(enabledPages(p[0]), p[1]) << p[0];
    for (int page : {0, 1, 3})
        EXPECT_EQ(pageScroll(page), 252 * page);

    // The last picture of a 40,000 folder.
    const Place last = placeOf(39999);
    EXPECT_EQ(std::tuple(last.lot, last.cell, last.row, last.col, last.page),
              std::tuple(834, 16, 4, 4, 1));
    EXPECT_EQ(cellOrigin(12, 4), QPoint(208, 940));
    EXPECT_EQ(frameBox(1, 1), (FrameBox{5, 59, 14, 70}));
    EXPECT_EQ(progressPercent(0, 1), 0);
    EXPECT_EQ(progressPercent(39999, 40000), 100);
    EXPECT_EQ(progressPercent(20000, 40001), 50);
}

TEST(PanelGeometry, FindCellOnBoundariesAndBeyondTheLot) {
    // Cells are 68 x 84 on the 272 x 1008 surface.
    const struct {
        double x, y;
        int lotCount;
        CellHit hit;
    } cases[] = {
        {0, 0, 48, {1, 1, 1}},
        {67.9, 83.9, 48, {1, 1, 1}},
        {68, 0, 48, {2, 1, 2}}, // on a boundary: the cell to the right
        {0, 84, 48, {1, 2, 5}}, // and below
        {271, 1007, 48, {4, 12, 48}},
        {210, 10, 2, {4, 1, 0}}, // right of the last thumbnail of a short row
        {10, 90, 4, {1, 2, 0}},  // below the last one
        {10, 90, 5, {1, 2, 5}},
        {272, 10, 48, {5, 1, 0}}, // beyond the grid
        {10, 1008, 48, {1, 13, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindCell(c.x, c.y, c.lotCount), c.hit) << c.x << "," << c.y;
}

TEST(PanelGeometry, CaptionsAndTheSingleLotsLabel) {
    EXPECT_EQ(captionFor(QStringLiteral("/p/vacances_2024.jpg")), QStringLiteral("vacances"));
    EXPECT_EQ(captionFor(QStringLiteral("/p/a.b.c.jpg")), QStringLiteral("a"));
    EXPECT_EQ(captionFor(QStringLiteral("/p/été.gif")), QStringLiteral("été"));
    EXPECT_EQ(totalLabelText(12, 1), QStringLiteral("Total images: 12,  contenues dans un 1 lot"));
}

namespace {

QString savePicture(const QTemporaryDir& dir, const QString& name) {
    QImage img(40, 30, QImage::Format_RGB32);
    img.fill(Qt::darkGreen);
    const QString path = dir.filePath(name);
    EXPECT_TRUE(img.save(path, name.endsWith(QLatin1String(".bmp")) ? "BMP" : "JPEG"));
    return path;
}

} // namespace

TEST(PicTable, AllFilesKeepsOnlyReadablePicturesAndMapsBackToTheList) {
    QTemporaryDir dir;
    savePicture(dir, QStringLiteral("a.jpg"));
    testutil::writeFile(dir, QStringLiteral("b.txt"), "hello");
    testutil::copyFixture(dir, QStringLiteral("pictures/samples/broken/text_renamed.jpg"),
                          QStringLiteral("c.jpg"));
    savePicture(dir, QStringLiteral("d.bmp"));
    testutil::writeFile(dir, QStringLiteral("e.jpg"), QByteArray());
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("f.jpg"))), 0600), 0);
    testutil::copyFixture(dir, QStringLiteral("pictures/samples/bmp/headerless_bmp24.dib"),
                          QStringLiteral("g.dib"));
    testutil::copyFixture(dir, QStringLiteral("pictures/samples/meta/gdi_records_nonplaceable.wmf"),
                          QStringLiteral("h.wmf"));
    // A HEIF signature: decoded out of process, recognised by its first bytes.
    testutil::writeFile(dir, QStringLiteral("i.heic"),
                        QByteArray("\0\0\0\x18"
                                   "ftypheic\0\0\0\0mif1heic",
                                   24));
    // A FIFO is never opened (the folder listing leaves it out).
    EXPECT_FALSE(probePicture(dir.filePath(QStringLiteral("f.jpg"))).picture);
    const QStringList names = {"a.jpg", "b.txt", "c.jpg", "d.bmp",
                               "e.jpg", "g.dib", "h.wmf", "i.heic"};

    std::vector<int> percents;
    PicTableBuild how;
    how.isPicture = [](const QString& p) { return probePicture(p).picture; };
    how.progress = [&](int p) { percents.push_back(p); };
    const QList<PicRow> rows = buildPicTable(dir.path(), names, kAllFilesPattern, how);
    const QString prefix = dir.path() + QLatin1Char('/');
    const QList<PicRow> expected = {{prefix + "a.jpg", 0, 0},
                                    {prefix + "d.bmp", 3, 1},
                                    {prefix + "g.dib", 5, 2},
                                    {prefix + "h.wmf", 6, 3},
                                    {prefix + "i.heic", 7, 4}};
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(percents.front(), 0);
    EXPECT_EQ(percents.back(), 100);
    EXPECT_EQ(rowOfPath(rows, prefix + "g.dib"), 2);
    EXPECT_EQ(rowOfPath(rows, prefix + "b.txt"), -1);

    // Any other pattern lists every file without opening it.
    const QList<PicRow> jpgs =
        buildPicTable(dir.path(), {"a.jpg", "c.jpg", "e.jpg"}, QStringLiteral("*.jpg"));
    ASSERT_EQ(jpgs.size(), 3);
    EXPECT_EQ(jpgs.at(2), (PicRow{prefix + "e.jpg", 2, 2}));
    EXPECT_TRUE(isNonPictureType(QStringLiteral("/x/readme.TXT")));
    EXPECT_FALSE(isNonPictureType(QStringLiteral("/x/photo.jpeg")));
}
