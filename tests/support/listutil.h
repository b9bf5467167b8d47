#pragma once
// The folder and file lists in tests: they are listed off the GUI thread,
// so a test waits for a listing before it looks at the lines.
#include <QString>
#include <Qt>

namespace lumenta {
class DirList;
class FileList;
} // namespace lumenta

namespace testutil {

// Processes events until the list has no listing under way (bounded);
// false on timeout.
bool waitListed(const lumenta::FileList* list, int timeoutMs = 10000);
bool waitListed(const lumenta::DirList* list, int timeoutMs = 10000);

// Clicks the line of name as a user would (scrolled into sight first, after
// the listing under way); false when the name is not listed.
bool clickName(lumenta::FileList* list, const QString& name,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier);

// The row of the folder line whose text (without its indent) is name, or -1.
int folderRow(const lumenta::DirList* list, const QString& name);

} // namespace testutil
