#pragma once
// The program's command line: "lumenta [FICHIER|DOSSIER]", with --help and
// --version answered on standard output, all in French.
#include <QString>
#include <QStringList>

namespace lumenta {

struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    QString path; // Run: the file or folder to start on, absolute; may be empty
    QString text; // Help, Version: what to print; Error: why
};

// True when the arguments ask for the help or the version, or hold a
// mistake: parseCommandLine() then answers them, without a display.
bool asksForHelpOrVersion(int argc, const char* const* argv);

// Reads the arguments (the program's name first). "file:" URLs are taken
// as the local path they name; a relative path is taken from the current
// folder. Qt's French translations must be installed for its own texts.
CommandLine parseCommandLine(const QStringList& arguments);

} // namespace lumenta
