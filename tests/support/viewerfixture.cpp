#include "support/viewerfixture.h"

#include "picture/pictureservice.h"
#include "support/listutil.h"
#include "support/testutil.h"
#include "widgets/browsewidgets.h"

#include <QDir>
#include <QTest>

using namespace lumenta;

void ViewerTest::SetUp() {
    ASSERT_TRUE(appDir.isValid());
    browse = appDir.path();
    ctx.dialogs = &dialogs;
    ctx.pictureService = std::make_shared<PictureService>();
    ctx.state.AppFolder = appDir.path();
    ctx.state.settingsPathOverride = settingsFile();
}

void ViewerTest::TearDown() {
    w.reset();
}

QString ViewerTest::settingsFile() const {
    return appDir.filePath(QStringLiteral("Affich.cfg"));
}

void ViewerTest::keepSearchFolder(const QString& folder) {
    browse = folder;
    testutil::writeFile(appDir, QStringLiteral("Affich.cfg"),
                        " 0  0 \r\n 0  0  1  1  0  0  1 \r\n 1 \r\n" + folder.toUtf8() + "\r\n");
}

void ViewerTest::start() {
    ctx.state.loadSettingsAtStartup();
    w = std::make_unique<Lumenta>(ctx);
    w->startUp();
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    ASSERT_TRUE(testutil::waitListed(w->File1) && testutil::waitListed(w->Dir1));
}

QString ViewerTest::addFixture(const QString& relative, const QString& newName) {
    QDir().mkpath(browse);
    const QString src = testutil::fixture(relative);
    const QString dst =
        QDir(browse).filePath(newName.isEmpty() ? QFileInfo(src).fileName() : newName);
    QFile::remove(dst);
    QFile from(src);
    if (!from.copy(dst))
        ADD_FAILURE() << "fixture " << src.toStdString()
                      << " not copied: " << from.errorString().toStdString();
    if (w) {
        w->File1->refresh();
        EXPECT_TRUE(testutil::waitListed(w->File1));
    }
    return dst;
}

void ViewerTest::click(const QString& name, bool wait) {
    ASSERT_TRUE(testutil::clickName(w->File1, name)) << name.toStdString();
    if (wait)
        EXPECT_TRUE(waitForPicture()) << name.toStdString();
}

bool ViewerTest::waitForPicture() {
    return testutil::waitUntil([this] { return !w->isLoadingPicture(); }, 15000);
}
