// Desktop associations through GIO, in a private set of XDG folders: one
// desktop entry, associated with AVI videos, that records its arguments;
// files the main window cannot show go to it.
#include "support/testutil.h"
#include "support/viewerfixture.h"
#include "system/launcher.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace lumenta;

namespace {

QTemporaryDir& xdgRoot() {
    static QTemporaryDir dir;
    return dir;
}

QString recordFile() {
    return xdgRoot().filePath(QStringLiteral("launched.txt"));
}

// Runs before main(): GIO reads the XDG folders once, at its first use.
const bool xdgReady = [] {
    QTemporaryDir& root = xdgRoot();
    const QString recorder =
        testutil::writeScript(root, QStringLiteral("recorder.sh"),
                              "printf '%s\\n' \"$@\" > '" + recordFile().toUtf8() + "'");
    testutil::writeFile(root, QStringLiteral("data/applications/lumenta-test-recorder.desktop"),
                        "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" +
                            recorder.toUtf8() + " %f\nMimeType=video/x-msvideo;\nNoDisplay=true\n");
    testutil::writeFile(root, QStringLiteral("config/mimeapps.list"),
                        "[Default Applications]\nvideo/x-msvideo=lumenta-test-recorder.desktop\n");
    // The MIME database, but none of the system's applications.
    QDir().mkpath(root.filePath(QStringLiteral("system")));
    QFile::link(QStringLiteral("/usr/share/mime"), root.filePath(QStringLiteral("system/mime")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath(QStringLiteral("data"))));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(root.filePath(QStringLiteral("system"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath(QStringLiteral("config"))));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(root.filePath(QStringLiteral("config"))));
    return true;
}();

const QByteArray aviBytes = QByteArray("RIFF\0\0\0\0AVI LIST", 16) + QByteArray(64, '\0');
const QByteArray movBytes = QByteArray("\0\0\0\x14", 4) + "ftypqt  ";

} // namespace

TEST(Association, ProgramsStartWithAnArgumentList) {
    EXPECT_FALSE(startProgram(QStringLiteral("/no/such/program"), {}));
    EXPECT_TRUE(findFirstProgram({QStringLiteral("no-such-tool-xyz"), QStringLiteral("sh")})
                    .endsWith(QStringLiteral("/sh")));
    EXPECT_TRUE(findFirstProgram({QStringLiteral("no-such-tool-xyz")}).isEmpty());
}

// The file's path is the application's one argument, a blank in its name too.
TEST_F(ViewerTest, MediaFilesGoToTheirApplicationOrSayThereIsNone) {
    ASSERT_TRUE(xdgReady);
    QFile::remove(recordFile());
    testutil::writeFile(appDir, QStringLiteral("mon film.avi"), aviBytes);
    testutil::writeFile(appDir, QStringLiteral("clip.mov"), movBytes);
    start();
    w->Combo1->setEditText(QStringLiteral("*.avi;*.mov"));
    click(QStringLiteral("mon film.avi"));
    const QByteArray argument = QFile::encodeName(QDir(browse).filePath("mon film.avi")) + '\n';
    EXPECT_TRUE(
        testutil::waitUntil([&] { return testutil::readFile(recordFile()) == argument; }, 10000))
        << testutil::readFile(recordFile()).toStdString();
    EXPECT_TRUE(dialogs.asked.isEmpty());
    EXPECT_TRUE(w->Command1->isHidden());
    click(QStringLiteral("clip.mov"));
    EXPECT_EQ(dialogs.lastText(),
              QStringLiteral("Aucune association n'est définie pour le fichier sélectionné !"));
}
