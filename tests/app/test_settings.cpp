#include "app/appstate.h"
#include "app/settingsfile.h"
#include "support/testutil.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumenta;

namespace {
// The file's four lines without their CR LF ends, as written.
QString lines(const Settings& s) {
    return QString::fromUtf8(formatSettings(s))
        .replace(QStringLiteral("\r\n"), QStringLiteral("|"));
}
} // namespace

TEST(SettingsFile, WrittenInPrintFormWithCrLfAndReadBack) {
    Settings s;
    s.FullScreenSizeMode = 2;
    s.FullScreenBackColor = 5;
    s.SlideShowType = 1;
    s.SlideBackColor = 4;
    s.SlidePauseSeconds = -3;
    s.KeepSearchFolder = 1;
    s.SearchFolder = QStringLiteral("/home/anne/photos, été");
    EXPECT_EQ(formatSettings(s), QStringLiteral(" 2  5 \r\n 1  0  1  4 -3  0  1 \r\n 1 \r\n"
                                                "/home/anne/photos, été\r\n")
                                     .toUtf8());
    Settings r;
    ASSERT_TRUE(parseSettings(formatSettings(s), r));
    EXPECT_EQ(r, s);
}

TEST(SettingsFile, EachLineReadOnItsOwnFieldsNotFoundKeepTheirPresets) {
    const std::pair<QByteArray, const char*> cases[] = {
        // Commas, blanks, tabs and bare LF are accepted.
        {"2,5\n1 ,  0,1 ,\t3,7,1,0\n1\n/data/a,b c \n",
         " 2  5 | 1  0  1  3  7  1  0 | 1 |/data/a,b c |"},
        // Lines 3 and 4 missing.
        {" 1  3 \r\n 0  0  1  1  5  0  1 \r\n", " 1  3 | 0  0  1  1  5  0  1 | 0 ||"},
        // A short first line does not pull values up from line 2.
        {" 2 \r\n 1  1  0  2  9  1  0 \r\n", " 2  0 | 1  1  0  2  9  1  0 | 0 ||"},
        // Garbage and out-of-range numbers leave their fields alone.
        {"x 99999\r\n1 two 0\r\n\r\n", " 0  0 | 1  0  0  1  0  0  1 | 0 ||"},
        {QByteArray("\0\0\xff\xfe", 4), " 0  0 | 0  0  1  1  0  0  1 | 0 ||"},
        // A folder written by the old program in Windows-1252.
        {" 1  1 \r\n 0  0  1  1  0  0  1 \r\n 1 \r\nC:\\Images\\\xE9t\xE9 \x80\r\n",
         " 1  1 | 0  0  1  1  0  0  1 | 1 |C:\\Images\\été €|"},
    };
    for (const auto& [bytes, expected] : cases) {
        Settings r;
        parseSettings(bytes, r);
        EXPECT_EQ(lines(r), QString::fromUtf8(expected)) << bytes.toStdString();
    }
    Settings r;
    EXPECT_FALSE(parseSettings(QByteArray(), r));
}

TEST(AppStateSettings, FirstStartTakesPresetsAndTheFileGoesBesideTheProgram) {
    QTemporaryDir dir;
    AppState st;
    st.AppFolder = dir.path();
    st.loadSettingsAtStartup();
    EXPECT_EQ(lines(st.settings), " 0  0 | 0  0  1  1  0  0  1 | 0 |" + dir.path() + "|");
    EXPECT_EQ(st.settingsPath(), dir.filePath(QStringLiteral("Affich.cfg")));
    EXPECT_FALSE(QFileInfo::exists(st.settingsPath())); // nothing written at a first start
    st.settings.FullScreenBackColor = 4;
    ASSERT_TRUE(st.SaveSettings());
    AppState again;
    again.AppFolder = dir.path();
    again.loadSettingsAtStartup();
    EXPECT_EQ(again.settings.FullScreenBackColor, 4);
}

TEST(AppStateSettings, FailedWriteKeepsValuesAndOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Affich.cfg"));
    AppState st;
    st.AppFolder = dir.path();
    st.settings.FullScreenSizeMode = 1;
    ASSERT_TRUE(st.SaveSettings());
    const QByteArray before = testutil::readFile(path);
    // A folder that cannot take new files: the atomic write fails whole.
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    st.settings.FullScreenSizeMode = 2;
    const bool rootCanWrite = QFileInfo(dir.path()).isWritable();
    if (!rootCanWrite) {
        EXPECT_FALSE(st.SaveSettings());
        EXPECT_EQ(testutil::readFile(path), before);
    }
    EXPECT_EQ(st.settings.FullScreenSizeMode, 2);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Writing into a path whose folder is a file fails without a crash.
    st.settingsPathOverride = path + QStringLiteral("/Affich.cfg");
    EXPECT_FALSE(st.SaveSettings());
}
