#include "browser/folderlisting.h"

#include "browser/namematcher.h"
#include "system/filelist.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace lumenta {

namespace {

bool isRegularFile(DIR* dir, const dirent* e) {
    switch (e->d_type) {
    case DT_REG:
        return true;
    case DT_LNK:
    case DT_UNKNOWN: {
        // Follows a link; the file system did not say, or it is a link.
        struct stat st {};
        return ::fstatat(::dirfd(dir), e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
    }
    default:
        return false; // folders, FIFOs, devices, sockets
    }
}

} // namespace

FolderListing listFolder(const QString& folder, const QString& pattern,
                         const std::atomic<bool>* cancelled) {
    FolderListing out{folder, pattern, {}, false};
    const QStringList masks = patternMasks(pattern);
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return out;
    out.readable = true;
    if (masks.isEmpty()) {
        ::closedir(dir);
        return out;
    }
    const NameMatcher matches(masks);
    QString name;
    while (const dirent* e = ::readdir(dir)) {
        if (cancelled && cancelled->load(std::memory_order_relaxed))
            break;
        if (e->d_name[0] == '.')
            continue;
        // A name that is not valid UTF-8 cannot be written back to the same
        // bytes: it is left out rather than turned into another name.
        const QByteArrayView bytes(e->d_name);
        if (!matches.matches(bytes) || !decodeFileName(bytes, name) || !isRegularFile(dir, e))
            continue;
        out.names << name;
    }
    ::closedir(dir);
    naturalSort(out.names);
    return out;
}

} // namespace lumenta
