// What the program starts from: its command line (answered at once,
// without a display, for help, version and mistakes), the windowing system
// it picks, Qt's own buttons in French, the settings file, and the helpers
// every window uses.
#include "app/appstate.h"
#include "app/commandline.h"
#include "app/displayplatform.h"
#include "app/module1.h"
#include "app/settingsfile.h"
#include "app/translations.h"
#include "support/testutil.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <gtest/gtest.h>

#include <vector>

using namespace lumenta;

TEST(CommandLine, EveryAnswerIsGivenWithoutADisplayAndNamesArePathsOfFiles) {
    using A = CommandLine::Action;
    const QString here = QDir::currentPath();
    const struct {
        std::vector<const char*> args; // after the program's name
        A action;
        QString path; // Run: the path started on
    } cases[] = {
        {{}, A::Run, QString()},
        {{"photo.jpg"}, A::Run, here + QStringLiteral("/photo.jpg")},
        // Qt would take a name starting with ':' for one of its resources.
        {{":photo.jpg"}, A::Run, here + QStringLiteral("/:photo.jpg")},
        {{"file:///tmp/a%20b.png"}, A::Run, QStringLiteral("/tmp/a b.png")},
        {{"--help"}, A::Help, {}},
        {{"-?"}, A::Help, {}},
        {{"-v"}, A::Version, {}},
        // Spellings the parser answers beyond the plain ones.
        {{"--v"}, A::Version, {}},
        {{"--h"}, A::Help, {}},
        {{"-hv"}, A::Help, {}},
        {{"photo.jpg", "--version"}, A::Version, {}},
        {{"--nope"}, A::Error, {}},
        {{"a.jpg", "b.jpg"}, A::Error, {}},
    };
    for (const auto& c : cases) {
        std::vector<const char*> argv = {"lumenta"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        QStringList arguments;
        for (const char* a : argv)
            arguments << QString::fromLocal8Bit(a);
        const std::string name = arguments.join(QLatin1Char(' ')).toStdString();
        const CommandLine cl = parseCommandLine(arguments);
        EXPECT_EQ(cl.action, c.action) << name;
        EXPECT_EQ(asksForHelpOrVersion(int(argv.size()), argv.data()), c.action != A::Run) << name;
        if (c.action == A::Run)
            EXPECT_EQ(cl.path.toStdString(), c.path.toStdString()) << name;
        else
            EXPECT_FALSE(cl.text.isEmpty()) << name;
    }
}

TEST(DisplayPlatform, WaylandFirstWhereTheSessionHasIt) {
    const struct {
        const char* qpa;
        const char* waylandDisplay;
        const char* sessionType;
        const char* expected; // "" leaves Qt's own choice
    } cases[] = {
        {"", "wayland-0", "wayland", "wayland;xcb"},
        {"", "wayland-0", "", "wayland;xcb"},      // a compositor without a session
        {"", "", "wayland", "wayland;xcb"},        // the socket at its default name
        {"", "", "x11", ""},                       // X11 as Qt chooses it
        {"", "", "", ""},                          // nothing known: Qt's default
        {"xcb", "wayland-0", "wayland", ""},       // the user's choice stands
        {"offscreen", "wayland-0", "wayland", ""}, // tests
        {"wayland", "", "x11", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.qpa << "|" << c.waylandDisplay << "|" << c.sessionType);
        EXPECT_EQ(preferredPlatforms(c.qpa, c.waylandDisplay, c.sessionType),
                  QByteArray(c.expected));
    }
}

TEST(Translations, QtOwnButtonsSpeakFrench) {
    installFrenchTranslations();
    using B = QDialogButtonBox;
    const std::pair<B::StandardButton, const char*> buttons[] = {
        {B::Yes, "Oui"}, {B::No, "Non"}, {B::Retry, "Réessayer"}, {B::Cancel, "Annuler"}};
    for (const auto& [button, text] : buttons)
        EXPECT_EQ(B(button).button(button)->text().remove(QLatin1Char('&')),
                  QString::fromUtf8(text));
}

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

// A first start takes the presets and writes nothing; the file goes beside the
// program, and a failed write keeps the values and the old file.
TEST(AppStateSettings, FileBesideTheProgramWrittenWholeOrNotAtAll) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Affich.cfg"));
    AppState st;
    st.AppFolder = dir.path();
    st.loadSettingsAtStartup();
    EXPECT_EQ(lines(st.settings), " 0  0 | 0  0  1  1  0  0  1 | 0 |" + dir.path() + "|");
    EXPECT_EQ(st.settingsPath(), path);
    EXPECT_FALSE(QFileInfo::exists(path));
    st.settings.FullScreenBackColor = 4;
    ASSERT_TRUE(st.SaveSettings());
    AppState again;
    again.AppFolder = dir.path();
    again.loadSettingsAtStartup();
    EXPECT_EQ(again.settings.FullScreenBackColor, 4);

    const QByteArray before = testutil::readFile(path);
    // A folder that cannot take new files: the atomic write fails whole.
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    st.settings.FullScreenSizeMode = 2;
    if (!QFileInfo(dir.path()).isWritable()) { // root writes anyway
        EXPECT_FALSE(st.SaveSettings());
        EXPECT_EQ(testutil::readFile(path), before);
    }
    EXPECT_EQ(st.settings.FullScreenSizeMode, 2);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    // Writing into a path whose folder is a file fails without a crash.
    st.settingsPathOverride = path + QStringLiteral("/Affich.cfg");
    EXPECT_FALSE(st.SaveSettings());
}

TEST(Module1, PathsExtensionsNumberTextsAndExistingFiles) {
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
    // FileExists: visible normal files only.
    QTemporaryDir dir;
    EXPECT_TRUE(FileExists(testutil::writeFile(dir, QStringLiteral("a.bmp"), "x")));
    EXPECT_FALSE(FileExists(testutil::writeFile(dir, QStringLiteral(".cache.bmp"), "x")));
    QDir(dir.path()).mkdir(QStringLiteral("folder.bmp"));
    for (const QString& p : {dir.filePath("folder.bmp"), dir.filePath("missing.bmp"), QString()})
        EXPECT_FALSE(FileExists(p)) << p.toStdString();
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
