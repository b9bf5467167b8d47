#pragma once
// The desktop's shared thumbnail cache ($XDG_CACHE_HOME/thumbnails): 128 px
// "normal" entries named by the MD5 of the file's URI, valid while their
// Thumb::URI and Thumb::MTime match the file; failed files recorded under
// fail/lumenta-VERSION/. Entries are RGBA PNG files whose keys are plain
// tEXt chunks; entries of other programs are read whatever text chunks
// they use. Folders are made 0700 and entries 0600, each
// written to a temporary file and renamed into place. Files inside the
// cache are never given an entry. Every function may run on any thread.
#include "browser/thumbnailpng.h"

#include <QImage>
#include <QString>

#include <optional>

namespace lumenta {

// What identifies a file's current content for the cache.
struct FileStamp {
    qint64 mtime = 0; // whole seconds
    qint64 size = 0;
    bool regular = false;
    static FileStamp of(const QString& path); // regular false when missing
};

class ThumbnailCache {
public:
    // root: the cache folder; empty for the desktop's
    // ($XDG_CACHE_HOME/thumbnails, by default ~/.cache/thumbnails).
    explicit ThumbnailCache(const QString& root = QString());

    QString root() const { return m_root; }
    static constexpr int kNormalSide = 128;

    // The file URI of an absolute path, as GLib's g_filename_to_uri writes it.
    static QByteArray uriFor(const QString& path);
    // Name of the entry: lower-case hex MD5 of the URI, then ".png".
    static QString entryName(const QString& path);
    QString normalPath(const QString& path) const;
    QString failPath(const QString& path) const;

    // False for files inside the cache itself.
    bool covers(const QString& path) const;

    // The valid normal entry of the file: its URI and modification time
    // (and size, when recorded) match, and it was made for a picture (an
    // entry whose Thumb::Mimetype is not an image type is not trusted).
    std::optional<QImage> lookup(const QString& path, const FileStamp& stamp) const;
    // Whether a valid failure of this program is recorded for the file.
    bool hasFailure(const QString& path, const FileStamp& stamp) const;

    // Writes the normal entry from picture (reduced to fit 128 x 128,
    // never enlarged); mimeType may be empty. False when nothing was
    // written.
    bool store(const QString& path, const FileStamp& stamp, const QImage& picture,
               QSize naturalSize = QSize(), const QString& mimeType = QString()) const;
    bool storeFailure(const QString& path, const FileStamp& stamp) const;
    // Removes the file's normal entry and its failure record (the file was
    // renamed, moved or deleted).
    void forget(const QString& path) const;

    // picture reduced to fit a normal entry (smooth filtering).
    static QImage normalImage(const QImage& picture);

private:
    bool write(const QString& folder, const QString& entry, const QImage& image,
               const PngText& texts) const;
    std::optional<QImage> readValid(const QString& entryPath, const QString& path,
                                    const FileStamp& stamp) const;

    QString m_root;
    QString m_canonicalRoot;
};

} // namespace lumenta
