#pragma once
// Safe file and folder operations, shared by every window that changes the
// file system (the file utility, the picture browser).
//
// What they promise:
// - A copy never leaves a half-written file and never destroys an existing
//   destination before it is complete: the bytes go to a temporary dot-file
//   in the target folder (".lumenta-XXXXXX.part"), which gets the source's
//   modification time and permission bits, is synced to disk, and is then
//   renamed into place. Without `replace` the rename is atomic and never
//   replaces anything (RENAME_NOREPLACE); with it, only a writable file is
//   replaced. On any failure or cancellation the temporary file is removed
//   and the destination is exactly as it was. A link at the destination is
//   replaced by the copy, never written through.
// - "The same file" is decided on identity (device and inode, links
//   followed), never on spelling: copying or moving a file onto itself,
//   through a link or another spelling, does nothing and says so
//   (FileResult::sameFile).
// - A move is a rename on one file system, otherwise a complete, checked,
//   synced copy followed by the deletion of the source. A symbolic link
//   moves as a link, its target text unchanged, on any volume.
// - Deleting a file moves it to the desktop trash where its volume has one
//   (QFile::moveToTrash), and unlinks it otherwise. A link is deleted as a
//   link.
// - A deleted folder goes to the desktop trash, whole, where its volume has
//   one. A recursive folder deletion never follows symbolic links, never
//   goes into another mounted volume (it deletes nothing there), visits each
//   entry once, and refuses "/", every volume root, the home folder and its
//   ancestors.
// - A rename stays in its folder, refuses names holding '/', and never
//   replaces an existing entry, another name of the same file (a hard
//   link) included (a change of case only, on a volume that ignores case,
//   is still possible).
//
// Every function reports its outcome in a FileResult whose error is one of
// the numbers the program shows in its messages. All functions may run on
// any thread; copyFile and moveFile are the slow ones (see FileCopyTask in
// system/filecopytask.h to run them off the GUI thread).
//
//     FileResult r = copyFile(src, AddBackslash(folder) + name);
//     if (r.sameFile) ...            // nothing done: it is the source itself
//     else if (!r.ok()) report(r.number());
#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>
#include <sys/types.h>

namespace lumenta {

// Error numbers shown in messages.
enum class FileError : int {
    None = 0,
    FileMissing = 53,      // the file to act on does not exist
    AlreadyExists = 58,    // the destination exists and replacing it was not asked
    DiskFull = 61,         // no space left on the volume (or quota exceeded)
    PermissionDenied = 70, // not allowed: read-only file, folder or volume
    PathAccess = 75,       // any other path or access error (bad name, a folder where a
                           // file is expected, the same file, a volume root, I/O error)
    FolderMissing = 76,    // the folder named does not exist
};

struct FileResult {
    FileError error = FileError::None;
    int systemError = 0;    // errno behind the error; 0 when the refusal is our own
    bool cancelled = false; // stopped through the cancel flag; nothing was left behind
    bool sameFile = false;  // source and destination are one file; nothing was done
    QString trashPath;      // deleteFile: where the file went in the trash (else empty)

    bool ok() const { return error == FileError::None && !cancelled && !sameFile; }
    int number() const { return static_cast<int>(error); }
    // The system's wording of systemError, for logs and details.
    QString systemText() const;
};

// The error number that stands for an errno value (ENOENT gives FileMissing).
FileError fileErrorFromErrno(int err);

// Writes up to size bytes to fd, like ::write (the seam through which tests
// make a copy fail half way).
using WriteFunction = std::function<ssize_t(int fd, const void* data, size_t size)>;

struct CopyOptions {
    // Replace an existing destination (never the source itself, never a
    // read-only file). Without it an existing destination is AlreadyExists.
    bool replace = false;
    // Checked between blocks; when it becomes true the copy stops, its
    // temporary file is removed and the result is `cancelled`.
    const std::atomic<bool>* cancel = nullptr;
    // Called on the copying thread after each block.
    std::function<void(qint64 copied, qint64 total)> progress;
    // How blocks are written; empty means ::write (in-kernel copying is used
    // then when the file systems allow it).
    WriteFunction write;
};

// Device and inode of what path names, links followed.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};
std::optional<FileIdentity> fileIdentity(const QString& path);

// True when both paths exist and name one file (or one folder).
bool isSameFile(const QString& a, const QString& b);

// True when anything (a file, a folder, a link, even a dangling one) is at path.
bool entryExists(const QString& path);

// True for "/" and for the root of every mounted volume (bind mounts too).
bool isVolumeRoot(const QString& path);

// Copies a regular file's bytes to destination (a full path, not a folder).
// FileMissing: no source; PathAccess: the source is not a regular file, the
// destination is a folder or the source itself (sameFile); FolderMissing:
// the destination's folder does not exist; AlreadyExists: the destination
// exists and options.replace is false; PermissionDenied: the destination or
// its folder is read-only; DiskFull: no room.
FileResult copyFile(const QString& source, const QString& destination,
                    const CopyOptions& options = {});

// Moves a file: a rename on one file system, else copyFile then the
// deletion of the source (kept when the copy failed or was cancelled). A
// symbolic link is moved as a link with the same target text.
FileResult moveFile(const QString& source, const QString& destination,
                    const CopyOptions& options = {});

// Writes bytes as the whole content of destination through the same
// temporary file (new files get the usual permissions for the user's umask;
// a replaced file keeps its own).
FileResult writeFileSafely(const QString& destination, const QByteArray& bytes,
                           bool replace = false);

// The same, the content made while it is written: `produce` hands it in
// pieces, in order, to the writer it is given, which returns false once the
// file refuses them (produce should then stop). When produce returns false
// the temporary file is removed, the destination is untouched and the
// result is the write failure, or `cancelled` when produce gave up on its
// own. Large contents start reaching the disk while they are made.
using ByteWriter = std::function<bool(const char* data, qint64 size)>;
FileResult writeFileSafely(const QString& destination,
                           const std::function<bool(const ByteWriter& write)>& produce,
                           bool replace = false);

// Renames the file or folder at path to newName in the same folder.
// PathAccess: newName is empty, ".", "..", or holds '/' or a NUL;
// AlreadyExists: another entry has that name (a hard link to the same file
// too); FileMissing: nothing at path.
// Renaming to the same name does nothing and succeeds.
FileResult renameEntry(const QString& path, const QString& newName);

enum class Deletion { ToTrashWhereAvailable, Permanent };

// Deletes a file or a link (never a folder: PathAccess).
FileResult deleteFile(const QString& path, Deletion how = Deletion::ToTrashWhereAvailable);

// Creates a folder; with parents, every missing level too (an existing
// folder is then no error). AlreadyExists, FolderMissing (no parent),
// PermissionDenied.
FileResult makeFolder(const QString& path, bool withParents = false);

// Removes an empty folder. PathAccess when it is not empty, is a link, is
// a volume root or is in use; FolderMissing when it does not exist.
FileResult removeEmptyFolder(const QString& path);

// Deletes a folder and everything in it, permanently. Links inside are
// removed as links; folders of other mounted volumes inside are left alone
// (and so the folder itself stays, PathAccess). Folders the user owns but
// cannot write are made writable first. Each entry is tried once: what
// cannot be deleted stays and the first failure is reported. A link given
// as path is removed as a link. "/", volume roots, the home folder and its
// ancestors are refused (PathAccess, nothing deleted).
FileResult deleteFolderTree(const QString& path);

// Deletes a folder and everything in it: moved whole to the desktop trash
// where its volume has one (FileResult::trashPath says where), otherwise
// (or with Deletion::Permanent) by deleteFolderTree, under its rules. The
// same folders are refused, and so is a folder holding the home trash.
FileResult deleteFolder(const QString& path, Deletion how = Deletion::ToTrashWhereAvailable);

} // namespace lumenta
