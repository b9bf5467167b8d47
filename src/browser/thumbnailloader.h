#pragma once
// Makes the 32 x 32 thumbnails of one lot. Each file is first looked up in
// the desktop's thumbnail cache (on worker threads); a JPEG it does not hold
// is made from the thumbnail its camera stored in it, when that is large
// enough for a cache entry; the other files are asked of the picture service
// (decoded reduced, on every core; a HEIF file's own thumbnail stands in
// there), and their cache entries written. Thumbnails
// come back by ready() in any order; a new load() or cancel() drops
// everything still under way.
#include "browser/thumbnailcache.h"

#include <QImage>
#include <QObject>
#include <QStringList>
#include <QThreadPool>

#include <atomic>
#include <memory>

namespace lumenta {

struct AppContext;

class ThumbnailLoader : public QObject {
    Q_OBJECT
public:
    ThumbnailLoader(AppContext& ctx, const ThumbnailCache& cache, QObject* parent = nullptr);
    ~ThumbnailLoader() override;

    void load(const QStringList& paths);
    void cancel();
    // Cache entries are still being written (they are, whatever happens to
    // the lot they were made for).
    bool writing() const { return m_writing.load() > 0; }

    // The 32 x 32 cell picture made from a cache entry (smooth, aspect not
    // kept), at `ratio` device pixels per pixel of the cell. A 128 px normal
    // entry covers cells up to four times scaled.
    static QImage cellImage(const QImage& entry, qreal ratio = 1);

Q_SIGNALS:
    // index into the paths of load(); a null image when the file is no
    // readable picture.
    void ready(int index, const QImage& thumbnail);

private:
    struct Miss {
        FileStamp stamp;
        QString mimeType;
    };
    void lookUp(quint64 generation, int index, const QString& path);
    void fromEmbedded(quint64 generation, int index, const QString& path, const Miss& miss,
                      bool cached);
    void decode(quint64 generation, int index, const QString& path, const Miss& miss);
    void decoded(quint64 generation, int index, const QString& path, const Miss& miss,
                 const QImage& picture, QSize naturalSize);
    void deliver(quint64 generation, int index, const QImage& thumbnail);
    bool current(quint64 generation) const { return generation == m_generation->load(); }

    AppContext& m_ctx;
    ThumbnailCache m_cache;
    QThreadPool m_pool;
    qreal m_ratio = 1; // device pixels per pixel of the panel's screen
    std::shared_ptr<std::atomic<quint64>> m_generation;
    std::atomic<int> m_writing{0};
};

} // namespace lumenta
