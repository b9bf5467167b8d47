// The tiles of tiled pictures: what each owner and slot waits for, the
// passes that decode them (those in view first, in one pass each where the
// format allows), and their delivery. Tiles are kept in the cache with the
// pictures, so the budget holds for both.
#include "picture/pictureservice_p.h"

#include <algorithm>

#include <sys/resource.h>
#include <unistd.h>

namespace lumenta {

namespace {

// Tiles decoded in one pass at most (a pass holds one row of them).
constexpr int kMaxTilesPerPass = 128;
// How nice the thread of the tiles around views is.
constexpr int kAroundNice = 10;

QString tileKey(const QString& prefix, QPoint cell) {
    return prefix + QStringLiteral("|%1,%2").arg(cell.x()).arg(cell.y());
}

class TileProgress : public LoadProgress {
public:
    explicit TileProgress(const std::atomic<bool>& cancelled) : m_cancelled(cancelled) {}
    bool isCancelled() const override { return m_cancelled.load(); }

private:
    const std::atomic<bool>& m_cancelled;
};

// The thread of the tiles around views gives way to every other.
void lowerThisThread() {
    thread_local bool lowered = false;
    if (!lowered)
        ::setpriority(PRIO_PROCESS, pid_t(::gettid()), kAroundNice);
    lowered = true;
}

bool byRows(QPoint a, QPoint b) {
    return a.y() != b.y() ? a.y() < b.y() : a.x() < b.x();
}

} // namespace

void PictureService::requestTiles(QObject* owner, const QString& path, const Picture& picture,
                                  const QList<QPoint>& cells, int urgent, TileHandler onTile,
                                  quint64 slot) {
    if (!picture.isTiled())
        return;
    watch(owner);
    std::shared_ptr<TileWant>& want = m_tileWants[std::make_pair(owner, slot)];
    // A want replaced, even by one for the same picture, gets nothing meant
    // for the one before.
    want = std::make_shared<TileWant>();
    want->owner = owner;
    want->picture = picture.tiled;
    const QSize tile = picture.tiled->tileSize();
    // Tiles in other colours (the display's changed meanwhile) are others.
    want->prefix = QStringLiteral("%1|%2|tile %3x%4|%5")
                       .arg(path, pictureStamp(path))
                       .arg(tile.width())
                       .arg(tile.height())
                       .arg(QLatin1String(picture.tiled->colours().key()));
    want->handler = std::move(onTile);
    QList<std::pair<QPoint, QImage>> kept;
    const QSize grid = picture.tiled->gridSize();
    for (int i = 0; i < cells.size(); ++i) {
        const QPoint cell = cells[i];
        if (cell.x() < 0 || cell.y() < 0 || cell.x() >= grid.width() || cell.y() >= grid.height())
            continue;
        const QString key = tileKey(want->prefix, cell);
        if (m_failedTiles.contains(key)) {
            kept.append({cell, QImage()});
        } else if (const std::optional<Picture> t = m_cache.find(key)) {
            kept.append({cell, t->image});
        } else {
            want->waiting.insert(cell);
            if (i < urgent)
                want->urgent.insert(cell);
        }
    }
    if (!kept.isEmpty()) {
        QMetaObject::invokeMethod(
            this,
            [weak = std::weak_ptr<TileWant>(want), kept] {
                const std::shared_ptr<TileWant> w = weak.lock();
                for (const auto& [cell, image] : kept) {
                    if (w && w->handler)
                        w->handler(cell, image);
                }
            },
            Qt::QueuedConnection);
    }
    planTiles();
    dispatch();
}

void PictureService::cancelTiles(QObject* owner, quint64 slot) {
    if (m_tileWants.remove(std::make_pair(owner, slot)) == 0)
        return;
    planTiles();
    dispatch();
}

void PictureService::cancelAllTiles(QObject* owner) {
    for (auto it = m_tileWants.begin(); it != m_tileWants.end();) {
        if (!owner || it.key().first == owner)
            it = m_tileWants.erase(it);
        else
            ++it;
    }
    planTiles();
}

bool PictureService::tileWanted(const QString& prefix, QPoint cell, bool* urgent) const {
    bool wanted = false;
    for (const std::shared_ptr<TileWant>& w : m_tileWants) {
        if (w->prefix != prefix || !w->waiting.contains(cell))
            continue;
        wanted = true;
        if (urgent && w->urgent.contains(cell))
            *urgent = true;
    }
    return wanted;
}

void PictureService::planTiles() {
    // Jobs waiting keep only the tiles still wanted.
    for (auto it = m_tileQueue.begin(); it != m_tileQueue.end();) {
        const TileJobPtr& job = *it;
        bool urgent = false;
        QList<QPoint> kept;
        for (QPoint cell : std::as_const(job->cells)) {
            if (tileWanted(job->prefix, cell, &urgent))
                kept.append(cell);
            else
                m_tilesInFlight.remove(tileKey(job->prefix, cell));
        }
        job->cells = kept;
        job->urgent = urgent;
        it = kept.isEmpty() ? m_tileQueue.erase(it) : it + 1;
    }
    // Passes under way that nobody waits for any more stop.
    for (const TileJobPtr& job : std::as_const(m_tileRunning)) {
        const bool wanted = std::any_of(job->pending.cbegin(), job->pending.cend(),
                                        [&](QPoint c) { return tileWanted(job->prefix, c); });
        if (!wanted)
            job->cancelled = true;
    }
    // New passes for what is wanted and neither kept nor on its way: per
    // picture, those in view, then the others.
    struct Group {
        std::shared_ptr<const TiledPicture> picture;
        QSet<QPoint> urgent, other;
    };
    QHash<QString, Group> groups;
    for (const std::shared_ptr<TileWant>& w : std::as_const(m_tileWants)) {
        for (QPoint cell : std::as_const(w->waiting)) {
            if (m_tilesInFlight.contains(tileKey(w->prefix, cell)))
                continue;
            Group& g = groups[w->prefix];
            g.picture = w->picture;
            if (w->urgent.contains(cell))
                g.urgent.insert(cell);
            else
                g.other.insert(cell);
        }
    }
    qsizetype urgentAt = 0;
    while (urgentAt < m_tileQueue.size() && m_tileQueue[urgentAt]->urgent)
        ++urgentAt;
    for (auto g = groups.cbegin(); g != groups.cend(); ++g) {
        for (bool urgent : {true, false}) {
            QList<QPoint> cells = (urgent ? g->urgent : g->other - g->urgent).values();
            std::sort(cells.begin(), cells.end(), byRows);
            for (qsizetype from = 0; from < cells.size(); from += kMaxTilesPerPass) {
                auto job = std::make_shared<TileJob>();
                job->picture = g->picture;
                job->prefix = g.key();
                job->cells = cells.mid(from, kMaxTilesPerPass);
                job->urgent = urgent;
                for (QPoint cell : std::as_const(job->cells))
                    m_tilesInFlight.insert(tileKey(job->prefix, cell), job);
                if (urgent)
                    m_tileQueue.insert(urgentAt++, job);
                else
                    m_tileQueue.append(job);
            }
        }
    }
}

void PictureService::startTiles(const TileJobPtr& job) {
    m_tileQueue.removeOne(job);
    m_tileRunning.append(job);
    job->running = true;
    job->pending = QSet<QPoint>(job->cells.cbegin(), job->cells.cend());
    if (job->urgent)
        ++m_urgentRunning;
    QThreadPool& pool = job->urgent ? m_pool : m_aroundPool;
    pool.start([this, job] {
        if (!job->urgent)
            lowerThisThread();
        bool ok = false;
        if (!job->cancelled) {
            QList<QRect> rects;
            for (QPoint cell : std::as_const(job->cells))
                rects.append(job->picture->tileRect(cell));
            TileProgress progress(job->cancelled);
            QString error;
            ok = job->picture->decode(
                rects,
                [this, job](int i, const QImage& tile) {
                    QMetaObject::invokeMethod(
                        this,
                        [this, job, cell = job->cells[i], tile] { tileDecoded(job, cell, tile); },
                        Qt::QueuedConnection);
                },
                &progress, &error);
        }
        QMetaObject::invokeMethod(
            this, [this, job, ok] { tileJobEnded(job, ok); }, Qt::QueuedConnection);
    });
}

void PictureService::tileDecoded(const TileJobPtr& job, QPoint cell, const QImage& tile) {
    job->pending.remove(cell);
    const QString key = tileKey(job->prefix, cell);
    if (m_tilesInFlight.value(key) == job)
        m_tilesInFlight.remove(key);
    Picture kept;
    kept.kind = Picture::Kind::Raster;
    kept.image = tile;
    kept.naturalSize = job->picture->naturalSize();
    kept.region = job->picture->tileRect(cell);
    m_cache.insert(key, kept);
    deliverTile(job->prefix, cell, tile);
}

void PictureService::deliverTile(const QString& prefix, QPoint cell, const QImage& tile) {
    // A handler may ask for other tiles: wants replaced meanwhile get
    // nothing.
    const auto wants = m_tileWants;
    for (auto it = wants.cbegin(); it != wants.cend(); ++it) {
        const std::shared_ptr<TileWant>& w = it.value();
        if (w->prefix != prefix || m_tileWants.value(it.key()) != w || !w->waiting.remove(cell))
            continue;
        w->urgent.remove(cell);
        if (w->handler)
            w->handler(cell, tile);
    }
}

void PictureService::tileJobEnded(const TileJobPtr& job, bool ok) {
    m_tileRunning.removeOne(job);
    if (job->urgent)
        --m_urgentRunning;
    job->running = false;
    const bool failed = !ok && !job->cancelled;
    for (QPoint cell : std::as_const(job->pending)) {
        const QString key = tileKey(job->prefix, cell);
        if (m_tilesInFlight.value(key) == job)
            m_tilesInFlight.remove(key);
        if (!failed)
            continue;
        // A part that cannot be decoded is not tried again.
        m_failedTiles.insert(key);
        deliverTile(job->prefix, cell, QImage());
    }
    job->pending.clear();
    // What a stopped pass left and is still wanted goes into new ones.
    planTiles();
    dispatch();
}

} // namespace lumenta
