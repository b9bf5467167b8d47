#include "app/module1.h"
#include "support/testutil.h"

#include <QDir>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

using namespace lumenta;

TEST(Module1, AddBackslashAddsOneSeparator) {
    EXPECT_EQ(AddBackslash(QStringLiteral("/")), QStringLiteral("/"));
    EXPECT_EQ(AddBackslash(QStringLiteral("/images")), QStringLiteral("/images/"));
    EXPECT_EQ(AddBackslash(QStringLiteral("/images/")), QStringLiteral("/images/"));
    EXPECT_EQ(AddBackslash(QString()), QStringLiteral("/"));
    // A file in the root is "/x.jpg", never "//x.jpg".
    EXPECT_EQ(AddBackslash(QStringLiteral("/")) + QStringLiteral("x.jpg"),
              QStringLiteral("/x.jpg"));
}

TEST(Module1, ExtensionIsTakenFromTheFileNameOnly) {
    EXPECT_EQ(extensionOf(QStringLiteral("/my.photos/cat.jpg")), QStringLiteral("JPG"));
    EXPECT_EQ(extensionOf(QStringLiteral("/my.photos/README")), QString());
    EXPECT_EQ(extensionOf(QStringLiteral("/a/archive.tar.Gz")), QStringLiteral("GZ"));
    EXPECT_EQ(extensionOf(QStringLiteral("/a/trailing.")), QString());
    EXPECT_EQ(extensionOf(QStringLiteral("photo.jpeg")), QStringLiteral("JPEG"));
}

TEST(Module1, PrintFormKeepsTheLeadingBlank) {
    EXPECT_EQ(printForm(0), QStringLiteral(" 0"));
    EXPECT_EQ(printForm(48213), QStringLiteral(" 48213"));
    EXPECT_EQ(printForm(-7), QStringLiteral("-7"));
}

TEST(Module1, FileExistsOnlyForVisibleNormalFiles) {
    QTemporaryDir dir;
    const QString f = testutil::writeFile(dir, QStringLiteral("a.bmp"), "x");
    const QString hidden = testutil::writeFile(dir, QStringLiteral(".cache.bmp"), "x");
    QDir(dir.path()).mkdir(QStringLiteral("folder.bmp"));
    EXPECT_TRUE(FileExists(f));
    EXPECT_FALSE(FileExists(hidden));
    EXPECT_FALSE(FileExists(dir.filePath(QStringLiteral("folder.bmp"))));
    EXPECT_FALSE(FileExists(dir.filePath(QStringLiteral("missing.bmp"))));
    EXPECT_FALSE(FileExists(QString()));
}

TEST(Module1, CentreFormCentresOnTheScreen) {
    QWidget w;
    w.resize(300, 200);
    CentreForm(&w);
    const QRect screen = w.screen()->availableGeometry();
    EXPECT_NEAR(w.frameGeometry().center().x(), screen.center().x(), 1);
    EXPECT_NEAR(w.frameGeometry().center().y(), screen.center().y(), 1);
    CentreForm(nullptr); // no window: nothing happens
}
