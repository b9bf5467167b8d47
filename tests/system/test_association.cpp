// Desktop associations through GIO, in a private set of XDG folders: one
// desktop entry, associated with AVI videos, that records its arguments.
#include "support/testutil.h"
#include "support/viewerfixture.h"
#include "system/launcher.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
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
    const QString data = root.filePath(QStringLiteral("data"));
    const QString system = root.filePath(QStringLiteral("system"));
    const QString config = root.filePath(QStringLiteral("config"));
    QDir().mkpath(data + QStringLiteral("/applications"));
    QDir().mkpath(system);
    QDir().mkpath(config);
    // The MIME database, but none of the system's applications.
    QFile::link(QStringLiteral("/usr/share/mime"), system + QStringLiteral("/mime"));

    const QString recorder = root.filePath(QStringLiteral("recorder.sh"));
    QFile script(recorder);
    script.open(QIODevice::WriteOnly);
    script.write(("#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + recordFile() + "'\n").toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QFile desktop(data + QStringLiteral("/applications/lumenta-test-recorder.desktop"));
    desktop.open(QIODevice::WriteOnly);
    desktop.write(("[Desktop Entry]\nType=Application\nName=Recorder\nExec=" + recorder +
                   " %f\nMimeType=video/x-msvideo;\nNoDisplay=true\n")
                      .toUtf8());
    desktop.close();
    QFile mimeapps(config + QStringLiteral("/mimeapps.list"));
    mimeapps.open(QIODevice::WriteOnly);
    mimeapps.write("[Default Applications]\nvideo/x-msvideo=lumenta-test-recorder.desktop\n");
    mimeapps.close();

    qputenv("XDG_DATA_HOME", data.toUtf8());
    qputenv("XDG_DATA_DIRS", system.toUtf8());
    qputenv("XDG_CONFIG_HOME", config.toUtf8());
    qputenv("XDG_CONFIG_DIRS", config.toUtf8());
    return true;
}();

QByteArray aviBytes() {
    QByteArray b("RIFF");
    b += QByteArray(4, '\0');
    b += "AVI LIST";
    b += QByteArray(64, '\0');
    return b;
}

} // namespace

TEST(Association, OpensWithTheDefaultApplication) {
    ASSERT_TRUE(xdgReady);
    QFile::remove(recordFile());
    QTemporaryDir dir;
    const QString video = testutil::writeFile(dir, QStringLiteral("mon film.avi"), aviBytes());
    EXPECT_EQ(openWithAssociation(video), OpenResult::Opened);
    ASSERT_TRUE(testutil::waitUntil([&] { return QFile(recordFile()).size() > 0; }, 10000));
    QTest::qWait(100);
    EXPECT_EQ(QString::fromUtf8(testutil::readFile(recordFile())), video + QStringLiteral("\n"));
}

TEST(Association, NoDefaultApplicationIsToldApart) {
    QTemporaryDir dir;
    const QString clip = testutil::writeFile(dir, QStringLiteral("clip.mov"),
                                             "\0\0\0\x14"
                                             "ftypqt  ");
    EXPECT_EQ(openWithAssociation(clip), OpenResult::NoAssociation);
}

TEST(Association, ProgramsStartWithAnArgumentList) {
    EXPECT_FALSE(startProgram(QStringLiteral("/no/such/program"), {}));
    EXPECT_TRUE(findFirstProgram({QStringLiteral("no-such-tool-xyz"), QStringLiteral("sh")})
                    .endsWith(QStringLiteral("/sh")));
    EXPECT_TRUE(findFirstProgram({QStringLiteral("no-such-tool-xyz")}).isEmpty());
}

TEST_F(ViewerTest, MediaFilesGoToTheirApplicationOrSayThereIsNone) {
    QFile::remove(recordFile());
    testutil::writeFile(appDir, QStringLiteral("clip.avi"), aviBytes());
    testutil::writeFile(appDir, QStringLiteral("clip.mov"),
                        "\0\0\0\x14"
                        "ftypqt  ");
    start();
    w->Combo1->setEditText(QStringLiteral("*.avi;*.mov"));
    click(QStringLiteral("clip.avi"));
    ASSERT_TRUE(testutil::waitUntil([&] { return QFile(recordFile()).size() > 0; }, 10000));
    EXPECT_TRUE(dialogs.asked.isEmpty());
    EXPECT_TRUE(w->Command1->isHidden());
    click(QStringLiteral("clip.mov"));
    ASSERT_NE(dialogs.lastMessage(), nullptr);
    EXPECT_EQ(dialogs.lastMessage()->text,
              QStringLiteral("Aucune association n'est définie pour le fichier sélectionné !"));
    EXPECT_EQ(dialogs.lastMessage()->title, QStringLiteral("Absence d'association de fichier"));
    EXPECT_EQ(dialogs.lastMessage()->icon, MsgIcon::Information);
}
