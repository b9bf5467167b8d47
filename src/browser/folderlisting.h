#pragma once
// Listing the files of a folder as the browser's file list shows them,
// with readdir and the entry types it reports: regular files (and links to
// them) that are not hidden, whose names are valid UTF-8 and match the
// pattern, in natural order. Nothing is opened but the folder itself.
#include <QString>
#include <QStringList>

#include <atomic>

namespace lumenta {

struct FolderListing {
    QString folder;
    QString pattern;
    QStringList names;
    bool readable = false; // the folder could be opened
};

// Blocks on the file system: call it off the GUI thread. Returns early,
// with what it has, when *cancelled turns true.
FolderListing listFolder(const QString& folder, const QString& pattern,
                         const std::atomic<bool>* cancelled = nullptr);

} // namespace lumenta
