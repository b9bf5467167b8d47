#include "app/appstate.h"
#include "app/settingsfile.h"
#include "support/testutil.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumenta;

TEST(SettingsFile, WritesPrintFormWithCrLf) {
    Settings s;
    s.FullScreenSizeMode = 2;
    s.FullScreenBackColor = 5;
    s.SlidePauseSeconds = -3;
    s.SearchFolder = QStringLiteral("/home/anne/photos, été");
    const QByteArray bytes = formatSettings(s);
    const QList<QByteArray> lines = bytes.split('\n');
    ASSERT_EQ(lines.size(), 5); // four lines and the empty tail
    EXPECT_EQ(lines[0], QByteArray(" 2  5 \r"));
    EXPECT_EQ(lines[1], QByteArray(" 0  0  1  1 -3  0  1 \r"));
    EXPECT_EQ(lines[2], QByteArray(" 0 \r"));
    EXPECT_EQ(QString::fromUtf8(lines[3]), QStringLiteral("/home/anne/photos, été\r"));
}

TEST(SettingsFile, RoundTripKeepsEveryField) {
    Settings s;
    s.FullScreenSizeMode = 1;
    s.FullScreenBackColor = 6;
    s.SlideShowType = 1;
    s.SlideSizeMode = 2;
    s.SlideOrder = 0;
    s.SlideBackColor = 4;
    s.SlidePauseSeconds = 12;
    s.SlideShowFileName = 1;
    s.SlideLoop = 0;
    s.KeepSearchFolder = 1;
    s.SearchFolder = QStringLiteral("/media/disque 2/my.photos, 2024");
    Settings r;
    ASSERT_TRUE(parseSettings(formatSettings(s), r));
    EXPECT_EQ(r, s);
}

TEST(SettingsFile, ReaderAcceptsCommasBlanksAndBareLf) {
    Settings r;
    ASSERT_TRUE(parseSettings("2,5\n1 ,  0,1 ,\t3,7,1,0\n1\n/data/a,b c \n", r));
    EXPECT_EQ(r.FullScreenSizeMode, 2);
    EXPECT_EQ(r.FullScreenBackColor, 5);
    EXPECT_EQ(r.SlideShowType, 1);
    EXPECT_EQ(r.SlideSizeMode, 0);
    EXPECT_EQ(r.SlideOrder, 1);
    EXPECT_EQ(r.SlideBackColor, 3);
    EXPECT_EQ(r.SlidePauseSeconds, 7);
    EXPECT_EQ(r.SlideShowFileName, 1);
    EXPECT_EQ(r.SlideLoop, 0);
    EXPECT_EQ(r.KeepSearchFolder, 1);
    EXPECT_EQ(r.SearchFolder, QStringLiteral("/data/a,b c "));
}

TEST(SettingsFile, ShortOrGarbledFileKeepsPresets) {
    {
        // Only lines 1 and 2: line 3 and 4 keep their presets.
        Settings r;
        parseSettings(" 1  3 \r\n 0  0  1  1  5  0  1 \r\n", r);
        EXPECT_EQ(r.FullScreenBackColor, 3);
        EXPECT_EQ(r.SlidePauseSeconds, 5);
        EXPECT_EQ(r.KeepSearchFolder, 0);
        EXPECT_TRUE(r.SearchFolder.isEmpty());
    }
    {
        // A short first line must not pull values up from line 2.
        Settings r;
        parseSettings(" 2 \r\n 1  1  0  2  9  1  0 \r\n", r);
        EXPECT_EQ(r.FullScreenSizeMode, 2);
        EXPECT_EQ(r.FullScreenBackColor, 0);
        EXPECT_EQ(r.SlideShowType, 1);
        EXPECT_EQ(r.SlidePauseSeconds, 9);
    }
    {
        // Garbage and out-of-range numbers leave their fields alone.
        Settings r;
        parseSettings("x 99999\r\n1 two 0\r\n\r\n", r);
        EXPECT_EQ(r.FullScreenSizeMode, 0);
        EXPECT_EQ(r.FullScreenBackColor, 0);
        EXPECT_EQ(r.SlideShowType, 1);
        EXPECT_EQ(r.SlideSizeMode, 0);
        EXPECT_EQ(r.SlideOrder, 0);
        EXPECT_EQ(r.SlideLoop, 1);
    }
    {
        Settings r;
        EXPECT_FALSE(parseSettings(QByteArray(), r));
        EXPECT_EQ(r, Settings());
        parseSettings(QByteArray("\0\0\xff\xfe", 4), r);
        EXPECT_EQ(r.FullScreenSizeMode, 0);
    }
}

TEST(SettingsFile, Windows1252FolderStillLoads) {
    Settings r;
    parseSettings(" 1  1 \r\n 0  0  1  1  0  0  1 \r\n 1 \r\nC:\\Images\\\xE9t\xE9 \x80\r\n", r);
    EXPECT_EQ(r.SearchFolder, QStringLiteral("C:\\Images\\été €"));
}

TEST(AppStateSettings, FirstStartTakesPresetsAndWritesNothing) {
    QTemporaryDir dir;
    AppState st;
    st.AppFolder = dir.path();
    st.settingsPathOverride = dir.filePath(QStringLiteral("Affich.cfg"));
    st.loadSettingsAtStartup();
    EXPECT_EQ(st.settings.SlideOrder, 1);
    EXPECT_EQ(st.settings.SlideBackColor, 1);
    EXPECT_EQ(st.settings.SlideLoop, 1);
    EXPECT_EQ(st.settings.KeepSearchFolder, 0);
    EXPECT_EQ(st.settings.FullScreenSizeMode, 0);
    EXPECT_EQ(st.settings.FullScreenBackColor, 0);
    EXPECT_EQ(st.settings.SearchFolder, dir.path());
    EXPECT_FALSE(QFileInfo::exists(st.settingsPathOverride));
}

TEST(AppStateSettings, SettingsFileGoesBesideTheProgramWhenWritable) {
    QTemporaryDir dir;
    AppState st;
    st.AppFolder = dir.path();
    EXPECT_EQ(st.settingsPath(), dir.filePath(QStringLiteral("Affich.cfg")));
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
