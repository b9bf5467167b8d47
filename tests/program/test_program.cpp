// The program as a whole: the folders of src/ stand in layers, the printing
// libraries come only with the first printer, and the shared test helpers
// fail a test whose fixture is missing.
#include "printing/printtestutil.h"
#include "support/testutil.h"
#include "support/viewerfixture.h"

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QMenu>
#include <QRegularExpression>
#include <gtest/gtest-spi.h>

using namespace lumenta;

namespace {

// A file includes headers of its own layer or of the layers below, never of a
// layer above (a window never reaches into the program, the state never into
// a window). Folders not named here lie below the windows.
int layerOf(const QString& folder) {
    static const QStringList layers[] = {{"app"},
                                         {"widgets", "companions"},
                                         {"fullscreen", "about", "viewer", "slideshow", "browser",
                                          "fileutil", "printing", "convert", "scanner", "cdplayer"},
                                         {"program"}};
    for (int i = 0; i < 4; ++i)
        if (layers[i].contains(folder))
            return i + 1;
    return 0;
}

// Every include of a header from a folder above the including file's, as
// "file: include line" (file relative to src/).
QStringList upwardIncludes(const QString& srcDir) {
    static const QRegularExpression include(QStringLiteral(R"(^\s*#\s*include\s*"([^"/]+)/)"),
                                            QRegularExpression::MultilineOption);
    QStringList found;
    QDirIterator it(srcDir, {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString rel = QDir(srcDir).relativeFilePath(path);
        const int own = layerOf(rel.section(QLatin1Char('/'), 0, 0));
        const QString text = QString::fromUtf8(testutil::readFile(path));
        for (auto m = include.globalMatch(text); m.hasNext();) {
            const QRegularExpressionMatch match = m.next();
            const QString folder = match.captured(1);
            if (QFileInfo(QDir(srcDir).filePath(folder)).isDir() && layerOf(folder) > own)
                found << rel + QStringLiteral(": ") + match.captured(0).trimmed();
        }
    }
    found.sort();
    return found;
}

// The printing libraries mapped into this process.
QStringList printingLibraries() {
    const QByteArray maps = testutil::readFile(QStringLiteral("/proc/self/maps"));
    QStringList found;
    for (const char* lib : {"libcups.so", "libgnutls.so", "libp11-kit.so"})
        if (maps.contains(lib))
            found << QLatin1String(lib);
    return found;
}

class MissingFixture : public ViewerTest {
public:
    void run() {
        SetUp();
        addFixture(QStringLiteral("no/such.wav"));
        TearDown();
    }
    void TestBody() override {}
};

} // namespace

TEST(Layering, NoFolderIncludesAHeaderOfAFolderAboveIt) {
    const QString src = QDir(QStringLiteral(LUMENTA_SOURCE_DIR)).filePath(QStringLiteral("src"));
    ASSERT_TRUE(QFileInfo(QDir(src).filePath(QStringLiteral("program/main.cpp"))).isFile());
    EXPECT_EQ(upwardIncludes(src), QStringList());
}

TEST(Layering, TheCheckSeesAWindowIncludedFromBelow) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const char* folder : {"app", "viewer", "system", "program"})
        QDir(dir.path()).mkpath(QLatin1String(folder));
    testutil::writeFile(dir, QStringLiteral("app/a.cpp"), "#include \"viewer/lumenta.h\"\n");
    testutil::writeFile(dir, QStringLiteral("system/s.h"),
                        "// #include \"app/appstate.h\" in a comment line is no include\n"
                        "#include <viewer/x.h>\n#include \"system/own.h\"\n");
    testutil::writeFile(dir, QStringLiteral("viewer/v.cpp"),
                        "#include \"app/appstate.h\"\n  #  include \"program/application.h\"\n");
    testutil::writeFile(dir, QStringLiteral("program/main.cpp"), "#include \"viewer/lumenta.h\"\n");
    EXPECT_EQ(upwardIncludes(dir.path()),
              QStringList({QStringLiteral("app/a.cpp: #include \"viewer/"),
                           QStringLiteral("viewer/v.cpp: #  include \"program/")}));
}

// p11-kit's destructor, run at exit, has hung test programs.
TEST_F(ViewerTest, PrintingLibrariesComeOnlyWithTheFirstPrinter) {
    QTemporaryDir cups;
    ASSERT_TRUE(printtest::isolate(cups.filePath(QStringLiteral("no-server.sock"))));
    addFixture(QStringLiteral("pictures/samples/jpeg/baseline.jpg"));
    start();
    click(QStringLiteral("baseline.jpg"));
    Q_EMIT w->Mnu_Fichier->aboutToShow();
    Q_EMIT w->Mnu_Edition->aboutToShow();
    EXPECT_EQ(printingLibraries(), QStringList());
    // The printer set-up asks CUPS for the queues (none here).
    dialogs.printerAnswers = {PrinterDialogResult::Cancelled};
    w->Mnu_ConfIMP->trigger();
    EXPECT_TRUE(printingLibraries().contains(QStringLiteral("libcups.so")));
}

TEST(Fixtures, AMissingFixtureFailsTheTestThatAsksForItHereAndInTheMainWindowsFixture) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QString copy = QStringLiteral("unset");
    EXPECT_NONFATAL_FAILURE(copy = testutil::copyFixture(dir, QStringLiteral("no/such.jpg")),
                            "no/such.jpg");
    EXPECT_TRUE(copy.isEmpty());
    EXPECT_TRUE(QFileInfo(testutil::copyFixture(dir, "pictures/samples/gif/static.gif")).isFile());
    MissingFixture t;
    EXPECT_NONFATAL_FAILURE(t.run(), "no/such.wav");
}
