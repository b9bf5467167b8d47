#pragma once
// Drives are the mounted volumes (pseudo file systems left out, "/" always
// there). A volume that cannot be read is a drive that is "not ready".
#include <QList>
#include <QString>

namespace lumenta {

struct Drive {
    QString root;  // mount point, e.g. "/" or "/media/anne/CLE"
    QString label; // volume name, may be empty
    QString displayText() const;
};

// Mounted volumes in root order, "/" first.
QList<Drive> listDrives();

// The drive (mount root) holding path: the longest mount root that is a
// prefix of it, among drives.
QString driveOfPath(const QString& path, const QList<Drive>& drives);

// True when the folder can be listed now.
bool isDriveReady(const QString& root);

} // namespace lumenta
