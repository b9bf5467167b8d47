#pragma once
// The table of the pictures of a folder, in file-list order: each row keeps
// the picture's path, its index in the file list and its position among the
// listed pictures. With the pattern "*.*" only files that are pictures are
// listed, so positions and list indices differ; any other pattern lists
// every file.
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

namespace lumenta {

struct PicRow {
    QString path;
    int listIndex = 0; // index in the file list
    int position = 0;  // 0-based place among the listed pictures
    bool operator==(const PicRow&) const = default;
};

inline const QString kAllFilesPattern = QStringLiteral("*.*");

// True when the last three characters of path, upper-cased, name a type
// that is never a picture (EXE, TXT, HTM, ...).
bool isNonPictureType(const QString& path);

struct PicTableBuild {
    // Tells whether the file at path is a readable picture (asked only for
    // "*.*", from the thread that builds).
    std::function<bool(const QString&)> isPicture;
    // Told the percentage after each file; may be empty.
    std::function<void(int)> progress;
    const std::atomic<bool>* cancelled = nullptr;
};

// Builds the rows for the names listed in folder under pattern. Blocks
// while it tests files: call it off the GUI thread for "*.*". Returns what
// it has when cancelled.
QList<PicRow> buildPicTable(const QString& folder, const QStringList& names, const QString& pattern,
                            const PicTableBuild& how = {});

// The row of path, or -1.
int rowOfPath(const QList<PicRow>& table, const QString& path);

} // namespace lumenta
