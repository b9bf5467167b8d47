// How the program starts: the command line it reads (answered at once,
// without a display, for help, version and mistakes), the windowing system
// it picks from the environment, and Qt's own buttons in French.
#include "app/commandline.h"
#include "app/displayplatform.h"
#include "app/translations.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QPushButton>
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
