#include "app/module1.h"
#include "support/testutil.h"

#include <QDir>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

using namespace lumenta;

TEST(Module1, PathsExtensionsAndNumberTexts) {
    const std::pair<const char*, const char*> folders[] = {
        {"/", "/"}, {"/images", "/images/"}, {"/images/", "/images/"}, {"", "/"}};
    for (const auto& [folder, withSeparator] : folders) // a file in the root is never "//x"
        EXPECT_EQ(AddBackslash(QString::fromUtf8(folder)), QString::fromUtf8(withSeparator));
    const std::pair<const char*, const char*> extensions[] = {{"/my.photos/cat.jpg", "JPG"},
                                                              {"/my.photos/README", ""},
                                                              {"/a/archive.tar.Gz", "GZ"},
                                                              {"/a/trailing.", ""},
                                                              {"photo.jpeg", "JPEG"}};
    for (const auto& [path, ext] : extensions)
        EXPECT_EQ(extensionOf(QString::fromUtf8(path)), QString::fromUtf8(ext)) << path;
    EXPECT_EQ(printForm(0) + printForm(48213) + printForm(-7), QStringLiteral(" 0 48213-7"));
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
