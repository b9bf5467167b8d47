#pragma once
// Small routines used all over the program.
// isPictureExtension(), the extensions every window treats as pictures.
#include "picture/pictureformats.h"

#include <QString>

class QWidget;

namespace lumenta {

// True when a normal file (not hidden, not a folder) exists at path.
bool FileExists(const QString& path);

// The path with one trailing separator ("/" stays "/", "" gives "/").
QString AddBackslash(const QString& path);

// Centres a window on its screen (where the program places its windows).
void CentreForm(QWidget* window);

// The upper-case text after the last dot of the file name of path; empty
// when the name has no dot. Dots in folder names do not count.
QString extensionOf(const QString& path);

// Numbers as the program shows them: one leading blank for 0 and above,
// the minus sign otherwise.
QString printForm(long long n);

} // namespace lumenta
