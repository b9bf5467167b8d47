#pragma once
// Texts and decisions of the browser's file and folder commands that need
// no window: error wording, the missing-folder question, name checks and
// folder comparisons. The commands themselves are in
// frmpicviewer_ops.cpp; the file system work in system/fileops.h.
#include "system/fileops.h"

#include <QString>

namespace lumenta::browserops {

// Where a file command was chosen: the file list's menu or the view's.
enum class From { FileList, View };

// Short French wording of a failure, for the error message.
QString errorDescription(const FileResult& result);

// The folder holding path, without a trailing "/" ("/" for the root).
QString folderPart(const QString& path);

// Whether two folders are one: same device and inode when both exist,
// otherwise the same cleaned spelling.
bool sameFolder(const QString& a, const QString& b);

// A typed name that cannot stay in its folder: it holds "/" or "\".
bool leavesFolder(const QString& name);

// A typed folder name: absolute as it is, relative to base otherwise.
QString absoluteFolder(const QString& typed, const QString& base);

// The question asked when the chosen path's folder does not exist.
QString missingFolderQuestion(const QString& folder, bool move, From from);

} // namespace lumenta::browserops
