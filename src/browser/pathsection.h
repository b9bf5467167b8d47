#pragma once
// Splitting a path into drive, folder, name and extension.
#include <QString>
#include <QStringList>
#include <optional>

namespace lumenta {

enum PathPart : int {
    PathDrive = 0,     // the drive (mount root) holding the path
    PathFolder = 1,    // the folder with its trailing "/"
    PathFileName = 2,  // the file name with its extension
    PathBaseName = 3,  // the name before its first dot
    PathExtension = 4, // from the first dot of the name to the second, dot included
};

// One part of path. The drive is the longest of driveRoots that holds the
// path (empty for a relative path or when none does); the folder keeps the
// whole absolute folder. A trailing "/" is ignored. A name with several dots
// gives the part before its first dot as its base name and the part between
// its first and second dots as its extension ("b.c.jpg": "b", ".c"); the
// file name is always the whole last component. Any other part number is
// error 1: std::nullopt.
std::optional<QString> PathSection(const QString& inPath, int inReturnType,
                                   const QStringList& driveRoots = {QStringLiteral("/")});

} // namespace lumenta
