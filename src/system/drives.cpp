#include "system/drives.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>
#include <algorithm>

namespace lumenta {

namespace {

bool isPseudoFileSystem(const QByteArray& type, const QString& root) {
    static const QSet<QByteArray> pseudo = {
        "proc",     "sysfs",    "devtmpfs", "devpts",      "tmpfs",          "cgroup", "cgroup2",
        "pstore",   "bpf",      "tracefs",  "debugfs",     "securityfs",     "mqueue", "hugetlbfs",
        "configfs", "fusectl",  "autofs",   "binfmt_misc", "rpc_pipefs",     "nsfs",   "overlay",
        "squashfs", "efivarfs", "ramfs",    "fuse.portal", "fuse.gvfsd-fuse"};
    if (pseudo.contains(type))
        return true;
    for (const char* prefix : {"/proc", "/sys", "/dev", "/run", "/snap", "/boot/efi"}) {
        const QString p = QLatin1String(prefix);
        if (root == p || root.startsWith(p + QLatin1Char('/')))
            return true;
    }
    return false;
}

} // namespace

QString Drive::displayText() const {
    if (label.isEmpty() || label == root)
        return root;
    return root + QStringLiteral(" [") + label + QLatin1Char(']');
}

QList<Drive> listDrives() {
    QList<Drive> out;
    QSet<QString> seen;
    out.append(Drive{QStringLiteral("/"), QString()});
    seen.insert(QStringLiteral("/"));
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) {
        const QString root = v.rootPath();
        if (seen.contains(root) || isPseudoFileSystem(v.fileSystemType(), root))
            continue;
        // Bind mounts of single files and the like are not drives.
        if (!QFileInfo(root).isDir())
            continue;
        seen.insert(root);
        out.append(Drive{root, v.displayName() == root ? QString() : v.displayName()});
    }
    std::sort(out.begin() + 1, out.end(),
              [](const Drive& a, const Drive& b) { return a.root < b.root; });
    return out;
}

QString driveOfPath(const QString& path, const QList<Drive>& drives) {
    const QString clean = QDir::cleanPath(path);
    QString best = QStringLiteral("/");
    for (const Drive& d : drives) {
        const QString r = d.root;
        const bool prefix =
            r == QLatin1String("/") || clean == r ||
            clean.startsWith(r.endsWith(QLatin1Char('/')) ? r : r + QLatin1Char('/'));
        if (prefix && r.size() > best.size())
            best = r;
    }
    return best;
}

bool isDriveReady(const QString& root) {
    const QFileInfo fi(root);
    if (!fi.isDir() || !fi.isReadable() || !fi.isExecutable())
        return false;
    QStorageInfo info(root);
    return !info.isValid() || info.isReady();
}

} // namespace lumenta
