#pragma once
// Starting programs (always with an argument list, never through a shell)
// and opening documents with the desktop's associated application.
#include <QString>
#include <QStringList>

namespace lumenta {

// Starts program with args, detached. False when it cannot be started
// (missing, not executable).
bool startProgram(const QString& program, const QStringList& args,
                  const QString& workingDirectory = QString());

enum class OpenResult { Opened, NoAssociation, Failed };

// Opens path with the default application for its content type (GIO
// desktop associations).
OpenResult openWithAssociation(const QString& path);

// Opens path with the default application for mimeType, whatever the file
// holds ("text/plain": the desktop's text editor).
OpenResult openWithDefaultFor(const QString& path, const QString& mimeType);

// The first of the programs found on PATH, or an empty string.
QString findFirstProgram(const QStringList& names);

} // namespace lumenta
