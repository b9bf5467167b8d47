#include "system/fileops.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace lumenta {

namespace {

FileResult failure(FileError e, int err = 0) {
    FileResult r;
    r.error = e;
    r.systemError = err;
    return r;
}

FileResult fromErrno(int err) {
    return failure(fileErrorFromErrno(err), err);
}

// errno of a missing destination folder says "folder", not "file".
FileResult folderErrno(int err) {
    if (err == ENOENT || err == ENOTDIR)
        return failure(FileError::FolderMissing, err);
    return fromErrno(err);
}

QString withSlash(const QString& path) {
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

QByteArray local(const QString& path) {
    return QFile::encodeName(path);
}

QByteArray parentOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QByteArrayLiteral(".");
    if (slash == 0)
        return QByteArrayLiteral("/");
    return path.left(slash);
}

// A file we may not replace: no write bit at all (the read-only attribute
// of other systems, which binds root too), or no write access for us.
bool isReadOnly(const QByteArray& path, const struct stat& st) {
    return (st.st_mode & 0222) == 0 || faccessat(AT_FDCWD, path.constData(), W_OK, AT_EACCESS);
}

bool cancelled(const CopyOptions& o) {
    return o.cancel && o.cancel->load(std::memory_order_relaxed);
}

void syncFolder(const QByteArray& folder) {
    const int fd = open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

mode_t currentUmask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:"))
                return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
        }
    }
    return 022;
}

// Puts temp in place at destination: atomically without replacing, or
// replacing. Where the volume cannot rename without replacing, a hard link
// does the same; where it has no links either, the check and the rename
// are as close together as they can be.
int commit(const QByteArray& temp, const QByteArray& destination, bool replace) {
    if (replace)
        return rename(temp.constData(), destination.constData()) == 0 ? 0 : errno;
    if (renameat2(AT_FDCWD, temp.constData(), AT_FDCWD, destination.constData(),
                  RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    if (link(temp.constData(), destination.constData()) == 0) {
        unlink(temp.constData());
        return 0;
    }
    if (errno == EEXIST)
        return EEXIST;
    struct stat st;
    if (lstat(destination.constData(), &st) == 0)
        return EEXIST;
    return rename(temp.constData(), destination.constData()) == 0 ? 0 : errno;
}

// Ends a write into temp: on success (err 0) temp takes dest's name and the
// folder is synced; otherwise temp is removed and the failure returned.
FileResult settle(const QByteArray& temp, const QByteArray& dest, int err, bool replace) {
    if (!err)
        err = commit(temp, dest, replace);
    if (err) {
        unlink(temp.constData());
        if (err == ECANCELED) {
            FileResult r;
            r.cancelled = true;
            return r;
        }
        return err == EEXIST ? failure(FileError::AlreadyExists, err) : fromErrno(err);
    }
    syncFolder(parentOf(dest));
    return {};
}

// Checks on the destination common to copies and moves. Returns a failure,
// or nothing when the destination may be written (existing tells whether
// something is there).
std::optional<FileResult> checkDestination(const struct stat& source, const QByteArray& dest,
                                           bool replace, bool& existing) {
    existing = false;
    if (dest.isEmpty() || dest.endsWith('/'))
        return failure(FileError::PathAccess);
    struct stat folder;
    if (stat(parentOf(dest).constData(), &folder) != 0)
        return folderErrno(errno);
    if (!S_ISDIR(folder.st_mode))
        return failure(FileError::FolderMissing, ENOTDIR);
    struct stat st;
    if (stat(dest.constData(), &st) == 0) {
        existing = true;
        if (st.st_dev == source.st_dev && st.st_ino == source.st_ino) {
            FileResult r = failure(FileError::PathAccess);
            r.sameFile = true;
            return r;
        }
        if (S_ISDIR(st.st_mode))
            return failure(FileError::PathAccess, EISDIR);
        if (!replace)
            return failure(FileError::AlreadyExists, EEXIST);
        if (isReadOnly(dest, st))
            return failure(FileError::PermissionDenied, EACCES);
    } else if (lstat(dest.constData(), &st) == 0) {
        existing = true; // a link to nothing
        if (!replace)
            return failure(FileError::AlreadyExists, EEXIST);
    } else if (errno != ENOENT) {
        return folderErrno(errno);
    }
    return std::nullopt;
}

// Creates the temporary file beside destination.
int makeTemp(const QByteArray& destination, QByteArray& temp) {
    temp = parentOf(destination) + "/.lumenta-XXXXXX.part";
    if (temp.startsWith("//"))
        temp.remove(0, 1);
    return mkostemps(temp.data(), 5, O_CLOEXEC);
}

// Writes all of data; 0 or an errno.
int writeAll(int fd, const char* data, size_t size, const CopyOptions& o) {
    while (size > 0) {
        const ssize_t n = o.write ? o.write(fd, data, size) : ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return ENOSPC;
        data += n;
        size -= size_t(n);
    }
    return 0;
}

// Copies in to out; 0, an errno, or ECANCELED.
int copyBytes(int in, int out, qint64 total, const CopyOptions& o) {
    constexpr size_t kBlock = 1 << 20;
    // In-kernel copying (reflinks, server-side copies) where possible;
    // files that claim to be empty (/proc) are read the ordinary way.
    bool inKernel = !o.write && total > 0;
    std::vector<char> buffer;
    qint64 done = 0;
    while (true) {
        if (cancelled(o))
            return ECANCELED;
        ssize_t n;
        if (inKernel) {
            n = copy_file_range(in, nullptr, out, nullptr, 8 * kBlock, 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                          errno == EOPNOTSUPP || errno == EBADF)) {
                inKernel = false;
                continue;
            }
            if (n < 0)
                return errno;
        } else {
            if (buffer.empty())
                buffer.resize(kBlock);
            n = read(in, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return errno;
            if (n > 0) {
                if (const int err = writeAll(out, buffer.data(), size_t(n), o))
                    return err;
            }
        }
        if (n == 0)
            return 0;
        done += n;
        if (o.progress)
            o.progress(done, std::max(done, total));
    }
}

// The copy itself, source already open and checked.
FileResult copyOpen(int in, const struct stat& st, const QByteArray& dest, const CopyOptions& o) {
    bool existing = false;
    if (auto refused = checkDestination(st, dest, o.replace, existing))
        return *refused;
    QByteArray temp;
    const int out = makeTemp(dest, temp);
    if (out < 0)
        return folderErrno(errno);
    int err = copyBytes(in, out, qint64(st.st_size), o);
    if (!err && fchmod(out, st.st_mode & 0777) != 0)
        err = errno;
    if (!err) {
        const struct timespec times[2] = {st.st_atim, st.st_mtim};
        if (futimens(out, times) != 0)
            err = errno;
    }
    if (!err && fsync(out) != 0)
        err = errno;
    if (close(out) != 0 && !err)
        err = errno;
    if (!err && cancelled(o))
        err = ECANCELED;
    return settle(temp, dest, err, existing && o.replace);
}

// Whether folder holds an entry named exactly name (byte for byte).
bool hasEntryNamed(const QByteArray& folder, const QByteArray& name) {
    DIR* d = opendir(folder.constData());
    if (!d)
        return true; // cannot tell: taken
    bool found = false;
    while (const dirent* e = readdir(d)) {
        if (name == e->d_name) {
            found = true;
            break;
        }
    }
    closedir(d);
    return found;
}

// Moves the link at src to dest on another volume: a new link with the same
// target text (and dates) is committed from a temporary name beside dest,
// then src goes.
FileResult moveLinkAcross(const QByteArray& src, const struct stat& st, const QByteArray& dest,
                          bool replace) {
    std::vector<char> text(size_t(std::max<off_t>(st.st_size, 255)) + 1);
    const ssize_t n = readlink(src.constData(), text.data(), text.size());
    if (n < 0 || size_t(n) >= text.size())
        return n < 0 ? fromErrno(errno) : failure(FileError::PathAccess, ENAMETOOLONG);
    const std::string target(text.data(), size_t(n));
    QByteArray temp;
    int err = EEXIST;
    for (int attempt = 0; attempt < 100 && err == EEXIST; ++attempt) {
        temp = parentOf(dest) + "/.lumenta-" +
               QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".part";
        err = symlink(target.c_str(), temp.constData()) == 0 ? 0 : errno;
    }
    if (err)
        return folderErrno(err);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    utimensat(AT_FDCWD, temp.constData(), times, AT_SYMLINK_NOFOLLOW);
    err = commit(temp, dest, replace);
    if (err) {
        unlink(temp.constData());
        return err == EEXIST ? failure(FileError::AlreadyExists, err) : fromErrno(err);
    }
    syncFolder(parentOf(dest));
    if (unlink(src.constData()) != 0)
        return fromErrno(errno);
    syncFolder(parentOf(src));
    return {};
}

bool isNameAllowed(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

bool isMountRoot(int dirfd, const char* name) {
    struct statx sx;
    if (statx(dirfd, name, AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &sx) != 0)
        return false;
    return (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
           (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
}

// Makes sure the trash of the user's home exists. Qt sets up the trash
// itself, but when it cannot make the home one (no data folder yet, as on a
// fresh account) it moves the file into "files" under the working folder.
bool homeTrashReady() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty() || !QDir::isAbsolutePath(data))
        return false;
    QString built;
    for (const QString& part : (data + QStringLiteral("/Trash")).split(u'/', Qt::SkipEmptyParts)) {
        built += QLatin1Char('/') + part;
        mkdir(local(built).constData(), 0700); // as the freedesktop trash layout asks
    }
    return QFileInfo(built).isDir();
}

// The canonical form of path, or its cleaned spelling when it does not
// exist.
QString canonicalOrClean(const QString& path) {
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? QDir::cleanPath(path) : c;
}

// Whether folder (canonical) is inside (or is) one of the paths.
bool isAncestorOfAny(const QString& folder, const QStringList& paths) {
    for (const QString& p : paths) {
        if (!p.isEmpty() && (p == folder || p.startsWith(withSlash(folder))))
            return true;
    }
    return false;
}

// The home folder, by $HOME and by the user database.
QStringList homeFolders() {
    QStringList homes{canonicalOrClean(QDir::homePath())};
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_dir && *pw->pw_dir)
        homes << canonicalOrClean(QFile::decodeName(pw->pw_dir));
    return homes;
}

// A folder no deletion may take: "/", a volume root, the home folder or
// one of its ancestors.
bool isProtectedFolder(const QString& path) {
    return isVolumeRoot(path) || isAncestorOfAny(canonicalOrClean(path), homeFolders());
}

void note(FileResult& first, FileError e, int err) {
    if (first.error == FileError::None) {
        first.error = e;
        first.systemError = err;
    }
}

// Deletes what folder dirfd holds; each name read once before any is
// deleted, so nothing is visited twice.
void removeContents(int dirfd, dev_t device, FileResult& first) {
    std::vector<std::string> names;
    if (DIR* d = fdopendir(dup(dirfd))) {
        while (const dirent* e = readdir(d)) {
            if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0)
                names.emplace_back(e->d_name);
        }
        closedir(d);
    } else {
        note(first, fileErrorFromErrno(errno), errno);
        return;
    }
    for (const std::string& name : names) {
        struct stat st;
        if (fstatat(dirfd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                note(first, fileErrorFromErrno(errno), errno);
            continue;
        }
        if (!S_ISDIR(st.st_mode)) {
            if (unlinkat(dirfd, name.c_str(), 0) != 0 && errno != ENOENT)
                note(first, fileErrorFromErrno(errno), errno);
            continue;
        }
        if (st.st_dev != device || isMountRoot(dirfd, name.c_str())) {
            note(first, FileError::PathAccess, EBUSY); // another volume: left alone
            continue;
        }
        if (st.st_uid == geteuid() && (st.st_mode & 0700) != 0700)
            fchmodat(dirfd, name.c_str(), (st.st_mode & 07777) | 0700, 0);
        const int sub =
            openat(dirfd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0) {
            note(first, fileErrorFromErrno(errno), errno);
            continue;
        }
        removeContents(sub, device, first);
        close(sub);
        if (unlinkat(dirfd, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT)
            note(first, fileErrorFromErrno(errno), errno);
    }
}

} // namespace

QString FileResult::systemText() const {
    return systemError ? QString::fromLocal8Bit(strerror(systemError)) : QString();
}

FileError fileErrorFromErrno(int err) {
    switch (err) {
    case 0:
        return FileError::None;
    case ENOENT:
        return FileError::FileMissing;
    case EEXIST:
        return FileError::AlreadyExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return FileError::DiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        return FileError::PermissionDenied;
    case ENOTDIR:
        return FileError::FolderMissing;
    default:
        return FileError::PathAccess;
    }
}

std::optional<FileIdentity> fileIdentity(const QString& path) {
    struct stat st;
    if (path.isEmpty() || stat(local(path).constData(), &st) != 0)
        return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino};
}

bool isSameFile(const QString& a, const QString& b) {
    const auto ia = fileIdentity(a);
    return ia && ia == fileIdentity(b);
}

bool entryExists(const QString& path) {
    struct stat st;
    return !path.isEmpty() && lstat(local(path).constData(), &st) == 0;
}

bool isVolumeRoot(const QString& path) {
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    if (canonical == QLatin1String("/"))
        return true;
    const QByteArray c = local(canonical);
    if (isMountRoot(AT_FDCWD, c.constData()))
        return true;
    struct stat self, parent;
    if (stat(c.constData(), &self) == 0 && stat(parentOf(c).constData(), &parent) == 0 &&
        self.st_dev != parent.st_dev)
        return true;
    return QStorageInfo(canonical).rootPath() == canonical;
}

FileResult copyFile(const QString& source, const QString& destination, const CopyOptions& options) {
    // Non-blocking open: a FIFO never holds the copy; it is refused below.
    const int in = open(local(source).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (in < 0)
        return errno == ENOTDIR ? failure(FileError::FileMissing, errno) : fromErrno(errno);
    struct stat st;
    FileResult r;
    if (fstat(in, &st) != 0)
        r = fromErrno(errno);
    else if (!S_ISREG(st.st_mode))
        r = failure(FileError::PathAccess, EINVAL);
    else {
        fcntl(in, F_SETFL, fcntl(in, F_GETFL) & ~O_NONBLOCK);
        r = copyOpen(in, st, local(destination), options);
    }
    close(in);
    return r;
}

FileResult moveFile(const QString& source, const QString& destination, const CopyOptions& options) {
    const QByteArray src = local(source);
    const QByteArray dest = local(destination);
    struct stat st;
    if (lstat(src.constData(), &st) != 0)
        return errno == ENOTDIR ? failure(FileError::FileMissing, errno) : fromErrno(errno);
    if (S_ISDIR(st.st_mode))
        return failure(FileError::PathAccess, EISDIR);
    struct stat target = st;
    stat(src.constData(), &target); // a link is compared by what it names
    bool existing = false;
    if (auto refused = checkDestination(target, dest, options.replace, existing))
        return *refused;
    if (cancelled(options)) {
        FileResult r;
        r.cancelled = true;
        return r;
    }
    int err = 0;
    if (existing && options.replace)
        err = rename(src.constData(), dest.constData()) == 0 ? 0 : errno;
    else if (renameat2(AT_FDCWD, src.constData(), AT_FDCWD, dest.constData(), RENAME_NOREPLACE) ==
             0)
        err = 0;
    else if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)
        err = entryExists(destination)                         ? EEXIST
              : rename(src.constData(), dest.constData()) == 0 ? 0
                                                               : errno;
    else
        err = errno;
    if (err == 0) {
        syncFolder(parentOf(dest));
        return {};
    }
    if (err != EXDEV)
        return err == EEXIST ? failure(FileError::AlreadyExists, err) : fromErrno(err);
    // Another volume: a link stays a link, as on the same volume.
    if (S_ISLNK(st.st_mode))
        return moveLinkAcross(src, st, dest, existing && options.replace);
    // Otherwise a checked copy, then the source goes.
    FileResult r = copyFile(source, destination, options);
    if (!r.ok())
        return r;
    if (unlink(src.constData()) != 0)
        return fromErrno(errno);
    syncFolder(parentOf(src));
    return {};
}

FileResult writeFileSafely(const QString& destination, const QByteArray& bytes, bool replace) {
    const QByteArray dest = local(destination);
    struct stat none = {};
    none.st_dev = dev_t(-1);
    bool existing = false;
    if (auto refused = checkDestination(none, dest, replace, existing))
        return *refused;
    struct stat old;
    const bool keepMode = existing && stat(dest.constData(), &old) == 0;
    QByteArray temp;
    const int out = makeTemp(dest, temp);
    if (out < 0)
        return folderErrno(errno);
    int err = writeAll(out, bytes.constData(), size_t(bytes.size()), CopyOptions{});
    const mode_t mode = keepMode ? (old.st_mode & 07777) : (0666 & ~currentUmask());
    if (!err && fchmod(out, mode) != 0)
        err = errno;
    if (!err && fsync(out) != 0)
        err = errno;
    if (close(out) != 0 && !err)
        err = errno;
    if (!err)
        err = commit(temp, dest, existing && replace);
    if (err) {
        unlink(temp.constData());
        return err == EEXIST ? failure(FileError::AlreadyExists, err) : fromErrno(err);
    }
    syncFolder(parentOf(dest));
    return {};
}

FileResult writeFileSafely(const QString& destination,
                           const std::function<bool(const ByteWriter& write)>& produce,
                           bool replace) {
    // Written-back in steps of this size while the content is being made,
    // so that the final sync has little left to wait for.
    constexpr qint64 kWritebackStep = 8 << 20;
    const QByteArray dest = local(destination);
    struct stat none = {};
    none.st_dev = dev_t(-1);
    bool existing = false;
    if (auto refused = checkDestination(none, dest, replace, existing))
        return *refused;
    struct stat old;
    const bool keepMode = existing && stat(dest.constData(), &old) == 0;
    QByteArray temp;
    const int out = makeTemp(dest, temp);
    if (out < 0)
        return folderErrno(errno);
    int err = 0;
    qint64 written = 0, flushed = 0;
    const ByteWriter write = [&](const char* data, qint64 size) {
        if (err)
            return false;
        err = writeAll(out, data, size_t(size), CopyOptions{});
        written += size;
        if (!err && written - flushed >= kWritebackStep) {
            sync_file_range(out, flushed, written - flushed, SYNC_FILE_RANGE_WRITE);
            flushed = written;
        }
        return err == 0;
    };
    const bool made = produce(write);
    if (!made && !err)
        err = ECANCELED;
    const mode_t mode = keepMode ? (old.st_mode & 07777) : (0666 & ~currentUmask());
    if (!err && fchmod(out, mode) != 0)
        err = errno;
    if (!err && fsync(out) != 0)
        err = errno;
    if (close(out) != 0 && !err)
        err = errno;
    return settle(temp, dest, err, existing && replace);
}

FileResult renameEntry(const QString& path, const QString& newName) {
    if (!isNameAllowed(newName))
        return failure(FileError::PathAccess, EINVAL);
    const QByteArray from = local(path);
    const QByteArray to =
        parentOf(from) == "/" ? "/" + local(newName) : parentOf(from) + '/' + local(newName);
    struct stat st, other;
    if (lstat(from.constData(), &st) != 0)
        return fromErrno(errno);
    if (from == to)
        return {};
    if (lstat(to.constData(), &other) == 0) {
        // Only the same entry under another case, on a volume that ignores
        // case, may be renamed; another entry, even another name of the
        // same file (a hard link, which rename would leave as it is), is
        // taken.
        if (other.st_dev != st.st_dev || other.st_ino != st.st_ino ||
            hasEntryNamed(parentOf(to), local(newName)))
            return failure(FileError::AlreadyExists, EEXIST);
        return rename(from.constData(), to.constData()) == 0 ? FileResult{} : fromErrno(errno);
    }
    if (renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return {};
    if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)
        return rename(from.constData(), to.constData()) == 0 ? FileResult{} : fromErrno(errno);
    return errno == EEXIST ? failure(FileError::AlreadyExists, errno) : fromErrno(errno);
}

FileResult deleteFile(const QString& path, Deletion how) {
    const QByteArray p = local(path);
    struct stat st;
    if (lstat(p.constData(), &st) != 0)
        return fromErrno(errno);
    if (S_ISDIR(st.st_mode))
        return failure(FileError::PathAccess, EISDIR);
    if (how == Deletion::ToTrashWhereAvailable && !S_ISLNK(st.st_mode) && homeTrashReady()) {
        QString inTrash;
        if (QFile::moveToTrash(path, &inTrash)) {
            FileResult r;
            r.trashPath = inTrash;
            return r;
        }
    }
    if (unlink(p.constData()) != 0)
        return fromErrno(errno);
    return {};
}

FileResult makeFolder(const QString& path, bool withParents) {
    const QByteArray p = local(QDir::cleanPath(path));
    if (p.isEmpty())
        return failure(FileError::PathAccess, EINVAL);
    if (mkdir(p.constData(), 0777) == 0)
        return {};
    int err = errno;
    if (withParents && err == ENOENT && p != "/") {
        const FileResult up = makeFolder(QFile::decodeName(parentOf(p)), true);
        if (!up.ok())
            return up;
        if (mkdir(p.constData(), 0777) == 0)
            return {};
        err = errno;
    }
    struct stat st;
    if (withParents && err == EEXIST && stat(p.constData(), &st) == 0 && S_ISDIR(st.st_mode))
        return {};
    return folderErrno(err);
}

FileResult removeEmptyFolder(const QString& path) {
    const QByteArray p = local(path);
    struct stat st;
    if (lstat(p.constData(), &st) != 0)
        return folderErrno(errno);
    if (!S_ISDIR(st.st_mode) || isVolumeRoot(path))
        return failure(FileError::PathAccess, S_ISDIR(st.st_mode) ? EBUSY : ENOTDIR);
    if (rmdir(p.constData()) != 0)
        return fromErrno(errno);
    return {};
}

FileResult deleteFolderTree(const QString& path) {
    const QByteArray p = local(path);
    struct stat st;
    if (lstat(p.constData(), &st) != 0)
        return folderErrno(errno);
    if (S_ISLNK(st.st_mode))
        return unlink(p.constData()) == 0 ? FileResult{} : fromErrno(errno);
    if (!S_ISDIR(st.st_mode))
        return failure(FileError::PathAccess, ENOTDIR);
    if (isProtectedFolder(path))
        return failure(FileError::PathAccess, EBUSY);
    const int fd = open(p.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return fromErrno(errno);
    FileResult first;
    removeContents(fd, st.st_dev, first);
    close(fd);
    if (rmdir(p.constData()) != 0 && first.ok())
        return fromErrno(errno);
    return first;
}

FileResult deleteFolder(const QString& path, Deletion how) {
    const QByteArray p = local(path);
    struct stat st;
    if (lstat(p.constData(), &st) != 0)
        return folderErrno(errno);
    if (S_ISLNK(st.st_mode) || how == Deletion::Permanent)
        return deleteFolderTree(path);
    if (!S_ISDIR(st.st_mode))
        return failure(FileError::PathAccess, ENOTDIR);
    if (isProtectedFolder(path))
        return failure(FileError::PathAccess, EBUSY);
    if (homeTrashReady()) {
        // The trash cannot go into itself: a folder holding it is refused
        // rather than deleted for good.
        const QString trash =
            canonicalOrClean(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                             QStringLiteral("/Trash"));
        if (isAncestorOfAny(canonicalOrClean(path), {trash}))
            return failure(FileError::PathAccess, EBUSY);
        QString inTrash;
        if (QFile::moveToTrash(path, &inTrash)) {
            FileResult r;
            r.trashPath = inTrash;
            return r;
        }
    }
    return deleteFolderTree(path);
}

} // namespace lumenta
