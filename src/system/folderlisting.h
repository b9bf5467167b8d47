#pragma once
// Listing a folder as the file and folder lists show it, with readdir and
// the entry types it reports (a file is examined alone only when it is a
// link or the file system does not say): entries that are not hidden and
// whose names are valid UTF-8 (such a name could not be written back to
// the same bytes), in natural order. Nothing is opened but the folder
// itself.
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

// The regular files (and links to them) matching the pattern. An invalid
// pattern lists nothing. Blocks on the file system: call it off the GUI
// thread. Returns early, with what it has, when *cancelled turns true.
FolderListing listFolder(const QString& folder, const QString& pattern,
                         const std::atomic<bool>* cancelled = nullptr);

// The subfolders (and links to folders); pattern stays empty.
FolderListing listFolderSubfolders(const QString& folder,
                                   const std::atomic<bool>* cancelled = nullptr);

} // namespace lumenta
