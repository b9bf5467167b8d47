#include "system/folderlisting.h"

#include "system/filelist.h"
#include "system/namematcher.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace lumenta {

namespace {

// The kind of an entry, following a link; the file system may not have
// said, or it is a link: then the entry is examined.
bool hasType(DIR* dir, const dirent* e, unsigned char type, mode_t mode) {
    if (e->d_type == type)
        return true;
    if (e->d_type != DT_LNK && e->d_type != DT_UNKNOWN)
        return false;
    struct stat st {};
    return ::fstatat(::dirfd(dir), e->d_name, &st, 0) == 0 && (st.st_mode & S_IFMT) == mode;
}

bool cancelledNow(const std::atomic<bool>* cancelled) {
    return cancelled && cancelled->load(std::memory_order_relaxed);
}

// Reads the folder; keep(dir, entry, bytes) says which entries to take.
template <typename Keep>
void readFolder(FolderListing& out, const std::atomic<bool>* cancelled, Keep keep) {
    DIR* dir = ::opendir(QFile::encodeName(out.folder).constData());
    if (!dir)
        return;
    out.readable = true;
    QString name;
    while (const dirent* e = ::readdir(dir)) {
        if (cancelledNow(cancelled))
            break;
        if (e->d_name[0] == '.')
            continue;
        const QByteArrayView bytes(e->d_name);
        if (keep(dir, e, bytes) && decodeFileName(bytes, name))
            out.names << name;
    }
    ::closedir(dir);
    if (!cancelledNow(cancelled))
        naturalSort(out.names);
}

} // namespace

FolderListing listFolder(const QString& folder, const QString& pattern,
                         const std::atomic<bool>* cancelled) {
    FolderListing out{folder, pattern, {}, false};
    const QStringList masks = patternMasks(pattern);
    const NameMatcher matches(masks);
    readFolder(out, cancelled, [&](DIR* dir, const dirent* e, QByteArrayView bytes) {
        return !masks.isEmpty() && matches.matches(bytes) && hasType(dir, e, DT_REG, S_IFREG);
    });
    return out;
}

FolderListing listFolderSubfolders(const QString& folder, const std::atomic<bool>* cancelled) {
    FolderListing out{folder, QString(), {}, false};
    readFolder(out, cancelled, [](DIR* dir, const dirent* e, QByteArrayView) {
        return hasType(dir, e, DT_DIR, S_IFDIR);
    });
    return out;
}

} // namespace lumenta
