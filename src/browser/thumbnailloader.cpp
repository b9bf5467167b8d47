#include "browser/thumbnailloader.h"

#include "app/appcontext.h"
#include "browser/embeddedthumbnail.h"
#include "browser/panelgeometry.h"
#include "browser/pictureprobe.h"
#include "picture/pictureservice.h"
#include "widgets/devicepixels.h"

#include <QThread>
#include <QWidget>
#include <cmath>

namespace lumenta {

ThumbnailLoader::ThumbnailLoader(AppContext& ctx, const ThumbnailCache& cache, QObject* parent)
    : QObject(parent), m_ctx(ctx), m_cache(cache),
      m_generation(std::make_shared<std::atomic<quint64>>(0)) {
    m_pool.setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
    // Cells are made for the screen of the window they are drawn in.
    m_ratio = deviceRatio(qobject_cast<QWidget*>(parent));
}

ThumbnailLoader::~ThumbnailLoader() {
    // Lookups and decodes still queued return at once; entries being
    // written are finished.
    cancel();
    m_pool.waitForDone();
}

QImage ThumbnailLoader::cellImage(const QImage& entry, qreal ratio) {
    if (entry.isNull())
        return QImage();
    const int side = int(std::lround(panel::kThumbSide * ratio));
    QImage cell = entry.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    cell.setDevicePixelRatio(ratio);
    return cell;
}

void ThumbnailLoader::cancel() {
    // Work already queued sees the new generation and stops at once; cache
    // entries being written are still written.
    m_generation->fetch_add(1);
    m_ctx.pictures().cancelAll(this);
}

void ThumbnailLoader::load(const QStringList& paths) {
    cancel();
    const quint64 generation = m_generation->load();
    for (int i = 0; i < paths.size(); ++i) {
        const QString path = paths.at(i);
        m_pool.start([this, generation, i, path] { lookUp(generation, i, path); });
    }
}

// On a worker.
void ThumbnailLoader::lookUp(quint64 generation, int index, const QString& path) {
    if (!current(generation))
        return;
    Miss miss{FileStamp::of(path), QString()};
    const bool cached = miss.stamp.regular && m_cache.covers(path);
    QImage thumbnail;
    bool found = false;
    if (!miss.stamp.regular || (cached && m_cache.hasFailure(path, miss.stamp))) {
        found = true; // nothing to show
    } else if (const PictureProbe probe = probePicture(path); !probe.picture) {
        if (cached)
            m_cache.storeFailure(path, miss.stamp);
        found = true;
    } else {
        miss.mimeType = probe.mimeType();
        if (cached) {
            if (const std::optional<QImage> entry = m_cache.lookup(path, miss.stamp)) {
                thumbnail = cellImage(*entry, m_ratio);
                found = true;
            }
        }
        if (!found && probe.format == "jpeg")
            return fromEmbedded(generation, index, path, miss, cached);
    }
    QMetaObject::invokeMethod(
        this,
        [this, generation, index, path, miss, found, thumbnail] {
            if (found)
                deliver(generation, index, thumbnail);
            else
                decode(generation, index, path, miss);
        },
        Qt::QueuedConnection);
}

// On a worker: a camera's photo fills its cell from the thumbnail stored in
// it, when that is large enough for a cache entry; the photo is decoded
// otherwise.
void ThumbnailLoader::fromEmbedded(quint64 generation, int index, const QString& path,
                                   const Miss& miss, bool cached) {
    const std::optional<EmbeddedThumbnail> embedded =
        jpegEmbeddedThumbnail(path, ThumbnailCache::kNormalSide);
    if (!embedded) {
        QMetaObject::invokeMethod(
            this, [this, generation, index, path, miss] { decode(generation, index, path, miss); },
            Qt::QueuedConnection);
        return;
    }
    const QImage entry = ThumbnailCache::normalImage(embedded->image);
    if (cached)
        m_writing.fetch_add(1);
    QMetaObject::invokeMethod(
        this,
        [this, generation, index, cell = cellImage(entry, m_ratio)] {
            deliver(generation, index, cell);
        },
        Qt::QueuedConnection);
    // The entry carries the photo's own date, as one made from the photo.
    if (cached) {
        m_cache.store(path, miss.stamp, entry, embedded->natural, miss.mimeType);
        m_writing.fetch_sub(1);
    }
}

void ThumbnailLoader::decode(quint64 generation, int index, const QString& path, const Miss& miss) {
    if (!current(generation))
        return;
    // One slot per cell: the requests of a lot never supersede each other.
    const QSize box(ThumbnailCache::kNormalSide, ThumbnailCache::kNormalSide);
    m_ctx.pictures().request(this, PictureRequest::thumbnail(path, box, quint64(index) + 1),
                             [this, generation, index, path, miss](const PictureResult& r) {
                                 decoded(generation, index, path, miss, r.picture.image,
                                         r.picture.naturalSize);
                             });
}

void ThumbnailLoader::decoded(quint64 generation, int index, const QString& path, const Miss& miss,
                              const QImage& picture, QSize naturalSize) {
    if (!current(generation))
        return;
    const QImage entry = ThumbnailCache::normalImage(picture);
    // The entry is written whatever happens to this lot.
    const ThumbnailCache cache = m_cache;
    m_writing.fetch_add(1);
    m_pool.start([cache, path, miss, entry, naturalSize, writing = &m_writing] {
        if (entry.isNull())
            cache.storeFailure(path, miss.stamp);
        else
            cache.store(path, miss.stamp, entry, naturalSize, miss.mimeType);
        writing->fetch_sub(1);
    });
    deliver(generation, index, cellImage(entry, m_ratio));
}

void ThumbnailLoader::deliver(quint64 generation, int index, const QImage& thumbnail) {
    if (!current(generation))
        return;
    Q_EMIT ready(index, thumbnail);
}

} // namespace lumenta
