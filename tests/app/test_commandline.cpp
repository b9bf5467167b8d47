// The command line as the program reads it: what it runs on, and which
// spellings it answers at once (help, version, mistakes), without a display.
#include "app/commandline.h"

#include <QDir>
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
