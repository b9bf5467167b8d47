#pragma once
// The program-wide selection list: what the list editor validates and opens,
// and what the slideshow plays. Only entries 0 .. SelectionLastIndex count;
// the container may hold older entries past them.
#include "app/appstate.h"

#include <QString>
#include <QStringList>

namespace lumenta {

// Entries 0 .. SelectionLastIndex, in order (empty ones included).
QStringList selectionEntries(const AppState& st);

// Copies the editor's list into the program-wide list. An empty list marks
// the selection invalid and keeps the old entries in the container.
void validateSelection(const QStringList& items, AppState& st);

// Replaces the program-wide list by the entries of a list file. False, and
// nothing changed, when the file cannot be read. The valid flag is kept.
bool openSelectionFile(const QString& path, AppState& st);

// Whether a path can be kept in a list file and read back as the same path:
// no line break in it, and valid text (a file name whose bytes are not UTF-8
// cannot be named again).
bool isListablePath(const QString& path);

// Whether any entry names a file that exists (empty entries name none).
// Asks the file system for each entry until one exists: not for the GUI
// thread.
bool anyEntryExists(const QStringList& entries);

// The full paths of the pictures among the names of a folder, in order.
QStringList picturePaths(const QString& folder, const QStringList& names);

} // namespace lumenta
