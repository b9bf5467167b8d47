#include "picture/pictureservice.h"

#include "picture/pictureservice_p.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QMutex>
#include <QScopeGuard>
#include <QThread>

#include <algorithm>
#include <atomic>

namespace lumenta {

namespace {

// A reduction waits at most this long at a time for the tiles in view.
constexpr int kGiveWayMs = 10000;

} // namespace

// One decoding, shared by every request that wants the same thing.
struct PictureService::Job {
    QString path;
    PictureNeed need;
    QString key;
    Picture source;            // a whole picture already kept: derive from it, no file read
    bool fromOverview = false; // source is a tiled picture's overview
    LoadLimits limits;
    std::atomic<bool> prefetch{false}; // nobody asked yet: only for the cache
    bool running = false;
    QList<PictureTicket> tickets;
    QDeadlineTimer notBefore; // waiting to see whether the user stops here
    int shownRows = 0;        // rows already announced

    // Shared with the worker.
    std::atomic<bool> cancelled{false};
    std::atomic<int> rows{0};
    std::atomic<bool> rowsPosted{false};
    QMutex mutex;
    QImage buffer;       // under mutex: the picture being filled
    qint64 reserved = 0; // written by the worker, read after it ended
    Picture result;      // likewise
};

// What the loader tells a job's worker, and the job's answers.
class PictureService::Progress : public LoadProgress {
public:
    Progress(PictureService* service, JobPtr job) : m_service(service), m_job(std::move(job)) {}

    bool isCancelled() const override { return m_job->cancelled.load(); }

    bool mayAllocate(qint64 bytes) override {
        if (!m_job->prefetch.load())
            return true;
        if (!m_service->m_cache.reserve(bytes))
            return false;
        m_job->reserved = bytes;
        return true;
    }

    // A reduction waits while tiles in view are decoded: they are what the
    // user looks at, the reduction only stands in for them.
    void giveWay() override {
        QDeadlineTimer limit(kGiveWayMs);
        while (m_service->m_urgentRunning.load() > 0 && !m_job->cancelled.load() &&
               !limit.hasExpired())
            QThread::msleep(5);
    }

    void rowsStarted(const QImage& buffer) override {
        QMutexLocker lock(&m_job->mutex);
        m_job->buffer = buffer;
    }

    void rowsDecoded(int rows) override {
        m_job->rows.store(rows);
        // One announcement on its way at a time: the GUI thread takes the
        // latest count when it gets to it.
        if (!m_job->rowsPosted.exchange(true)) {
            JobPtr job = m_job;
            PictureService* service = m_service;
            QMetaObject::invokeMethod(
                service, [service, job] { service->rowsArrived(job); }, Qt::QueuedConnection);
        }
    }

private:
    PictureService* m_service;
    JobPtr m_job;
};

namespace {

QString keyFor(const QString& path, const QString& stamp, const PictureNeed& need) {
    const QRect& r = need.region;
    return QStringLiteral("%1|%2|%3|%4x%5|%6,%7,%8x%9|%10|%11")
        .arg(path, stamp)
        .arg(int(need.kind))
        .arg(need.box.width())
        .arg(need.box.height())
        .arg(need.centreRegion ? 0 : r.x())
        .arg(need.centreRegion ? 0 : r.y())
        .arg(r.width())
        .arg(r.height())
        .arg(need.centreRegion ? 1 : 0)
        .arg(QLatin1String(need.colours.key()));
}

bool isWhole(const PictureNeed& need) {
    return need.kind == PictureNeed::Kind::Full && need.region.isEmpty();
}

// A reduced picture of a tiled one, made from its overview.
Picture reducedFromOverview(const Picture& overview, const PictureNeed& need) {
    Picture pic = overview;
    const QSize target = reducedSize(overview.naturalSize, need);
    if (pic.image.size() != target)
        pic.image = scaledSmooth(overview.image, target);
    return pic;
}

} // namespace

QString pictureStamp(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile())
        return QStringLiteral("-");
    return QStringLiteral("%1:%2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
}

PictureRequest PictureRequest::full(const QString& path, bool progressive, quint64 slot) {
    PictureRequest r;
    r.path = path;
    r.progressive = progressive;
    r.slot = slot;
    return r;
}

PictureRequest PictureRequest::fitted(const QString& path, QSize box, quint64 slot) {
    PictureRequest r;
    r.path = path;
    r.need.kind = PictureNeed::Kind::Fitted;
    r.need.box = box;
    r.slot = slot;
    return r;
}

PictureRequest PictureRequest::covering(const QString& path, QSize box, quint64 slot) {
    PictureRequest r = fitted(path, box, slot);
    r.need.kind = PictureNeed::Kind::Covering;
    return r;
}

PictureRequest PictureRequest::thumbnail(const QString& path, QSize box, quint64 slot) {
    PictureRequest r = fitted(path, box, slot);
    r.need.kind = PictureNeed::Kind::Thumbnail;
    return r;
}

PictureRequest PictureRequest::centre(const QString& path, QSize size, quint64 slot) {
    PictureRequest r;
    r.path = path;
    r.need.region = QRect(QPoint(), size);
    r.need.centreRegion = true;
    r.slot = slot;
    return r;
}

PictureService::PictureService(QObject* parent, int threads)
    : QObject(parent), m_cache(kDefaultBudget) {
    qRegisterMetaType<PictureResult>();
    qRegisterMetaType<PictureTicket>("lumenta::PictureTicket");
    m_pool.setMaxThreadCount(threads > 0 ? threads : qMax(1, QThread::idealThreadCount()));
    m_aroundPool.setMaxThreadCount(1);
    m_settle.setSingleShot(true);
    connect(&m_settle, &QTimer::timeout, this, [this] { dispatch(); });
}

PictureService::~PictureService() {
    for (const JobPtr& job : std::as_const(m_running))
        job->cancelled = true;
    cancelAllTiles(nullptr);
    m_queue.clear();
    m_pool.waitForDone();
    m_aroundPool.waitForDone();
    for (const QMetaObject::Connection& c : std::as_const(m_owners))
        disconnect(c);
}

int PictureService::threadCount() const {
    return m_pool.maxThreadCount();
}

bool PictureService::isIdle() const {
    return m_queue.isEmpty() && m_running.isEmpty() && m_tileQueue.isEmpty() &&
           m_tileRunning.isEmpty();
}

void PictureService::setLoadLimits(const LoadLimits& limits) {
    m_limits = limits;
    m_cache.clear();
}

void PictureService::setMemoryBudget(qint64 bytes) {
    m_cache.setBudget(bytes);
}

qint64 PictureService::memoryBudget() const {
    return m_cache.budget();
}

qint64 PictureService::memoryUsed() const {
    return m_cache.usedBytes();
}

void PictureService::clearCache() {
    m_cache.clear();
}

bool PictureService::isPending(PictureTicket ticket) const {
    return m_tickets.contains(ticket);
}

void PictureService::watch(QObject* owner) {
    if (!owner || m_owners.contains(owner))
        return;
    m_owners.insert(owner, connect(owner, &QObject::destroyed, this, [this, owner] {
                        cancelAll(owner);
                        m_owners.remove(owner);
                    }));
}

void PictureService::setDisplayColours(const ColourSpace& colours) {
    m_display = colours;
}

PictureRequest PictureService::resolved(const PictureRequest& request) const {
    PictureRequest r = request;
    r.need.colours = request.colours == PictureRequest::Colours::Srgb ? ColourSpace() : m_display;
    return r;
}

PictureTicket PictureService::request(QObject* owner, const PictureRequest& asked,
                                      Handler onFinished) {
    const PictureRequest request = resolved(asked);
    const PictureTicket ticket = ++m_lastTicket;
    watch(owner);
    const QString stamp = pictureStamp(request.path);
    const QString key = keyFor(request.path, stamp, request.need);
    const auto slot = std::make_pair(owner, request.slot);
    PictureTicket old = m_slots.value(slot);
    bool settle = false;
    if (old && m_tickets.contains(old)) {
        const Ticket& o = m_tickets[old];
        settle = o.since.elapsed() < kRapidMs && o.job && o.job->key != key;
    } else {
        old = 0;
    }
    m_slots.insert(slot, ticket);
    // The request superseded is dropped once this one holds its job: asking
    // again for what is being decoded joins that decoding.
    const auto dropOld = qScopeGuard([this, old] {
        if (old)
            drop(old);
    });

    Ticket t;
    t.owner = owner;
    t.request = asked;
    t.handler = std::move(onFinished);
    t.since.start();

    if (std::optional<Picture> kept = m_cache.find(key)) {
        m_tickets.insert(ticket, std::move(t));
        QMetaObject::invokeMethod(
            this, [this, ticket, pic = *kept] { deliver(ticket, pic, true); },
            Qt::QueuedConnection);
        return ticket;
    }
    JobPtr job = jobFor(key);
    if (!job) {
        job = newJob(request, key, stamp);
        if (settle)
            job->notBefore.setRemainingTime(kSettleMs);
        enqueue(job);
    } else if (job->prefetch.exchange(false)) {
        // Wanted now: it goes before the other prefetches.
        if (!job->running) {
            m_queue.removeOne(job);
            enqueue(job);
        }
    }
    job->tickets.append(ticket);
    t.job = job;
    m_tickets.insert(ticket, std::move(t));
    if (request.progressive && job->shownRows > 0) {
        // Joining a decoding under way: the rows so far, at once.
        job->shownRows = 0;
        QMetaObject::invokeMethod(
            this, [this, job] { rowsArrived(job); }, Qt::QueuedConnection);
    }
    dispatch();
    return ticket;
}

void PictureService::prefetch(QObject* owner, const PictureRequest& asked) {
    const PictureRequest request = resolved(asked);
    watch(owner);
    cancelPrefetch(owner);
    const QString stamp = pictureStamp(request.path);
    const QString key = keyFor(request.path, stamp, request.need);
    if (m_cache.find(key) || jobFor(key))
        return;
    JobPtr job = newJob(request, key, stamp);
    job->prefetch = true;
    m_prefetches.insert(owner, job);
    enqueue(job);
    dispatch();
}

PictureService::JobPtr PictureService::newJob(const PictureRequest& request, const QString& key,
                                              const QString& stamp) {
    auto job = std::make_shared<Job>();
    job->path = request.path;
    job->need = request.need;
    job->key = key;
    job->limits = m_limits;
    if (!isWhole(request.need)) {
        // A part or a reduced copy of a picture kept whole is made from it;
        // a reduced copy of a whole tiled picture from its overview, when
        // that is large enough.
        PictureNeed wholeNeed;
        wholeNeed.colours = request.need.colours;
        const std::optional<Picture> whole = m_cache.find(keyFor(request.path, stamp, wholeNeed));
        if (whole && !whole->isTiled()) {
            job->source = *whole;
        } else if (whole && request.need.kind != PictureNeed::Kind::Full &&
                   request.need.region.isEmpty()) {
            PictureNeed overview = overviewRequest(request.path).need;
            overview.colours = request.need.colours;
            const std::optional<Picture> kept = m_cache.find(keyFor(request.path, stamp, overview));
            const QSize target = reducedSize(whole->naturalSize, request.need);
            if (kept && target.width() <= kept->image.width() &&
                target.height() <= kept->image.height()) {
                job->source = *kept;
                job->fromOverview = true;
            }
        }
    }
    return job;
}

PictureService::JobPtr PictureService::jobFor(const QString& key) const {
    for (const QList<JobPtr>* list : {&m_running, &m_queue}) {
        for (const JobPtr& job : *list) {
            if (job->key == key && !job->cancelled)
                return job;
        }
    }
    return nullptr;
}

void PictureService::enqueue(const JobPtr& job) {
    if (job->prefetch) {
        m_queue.append(job);
        return;
    }
    qsizetype at = 0;
    while (at < m_queue.size() && !m_queue[at]->prefetch)
        ++at;
    m_queue.insert(at, job);
}

void PictureService::cancel(PictureTicket ticket) {
    drop(ticket);
}

void PictureService::cancelPrefetch(QObject* owner) {
    if (JobPtr job = m_prefetches.take(owner))
        abandonIfUnwanted(job);
}

void PictureService::cancelAll(QObject* owner) {
    QList<PictureTicket> mine;
    for (auto it = m_tickets.cbegin(); it != m_tickets.cend(); ++it) {
        if (it->owner == owner)
            mine.append(it.key());
    }
    for (PictureTicket t : std::as_const(mine))
        drop(t);
    cancelPrefetch(owner);
    cancelAllTiles(owner);
}

void PictureService::drop(PictureTicket ticket) {
    const auto it = m_tickets.find(ticket);
    if (it == m_tickets.end())
        return;
    const auto slot = std::make_pair(it->owner, it->request.slot);
    if (m_slots.value(slot) == ticket)
        m_slots.remove(slot);
    JobPtr job = it->job;
    m_tickets.erase(it);
    if (job) {
        job->tickets.removeOne(ticket);
        abandonIfUnwanted(job);
    }
}

void PictureService::abandonIfUnwanted(const JobPtr& job) {
    if (!job->tickets.isEmpty())
        return;
    // A prefetch that nobody took any more is dropped as well: the owner
    // moved on.
    job->cancelled = true;
    if (!job->running)
        m_queue.removeOne(job);
}

void PictureService::dispatch() {
    int prefetching = 0, busy = int(m_running.size());
    for (const JobPtr& job : std::as_const(m_running))
        prefetching += job->prefetch ? 1 : 0;
    bool around = false; // the tiles around views have their own thread
    for (const TileJobPtr& job : std::as_const(m_tileRunning)) {
        busy += job->urgent ? 1 : 0;
        around = around || !job->urgent;
    }
    // The tiles around views once those in view are decoded.
    const bool inView = std::any_of(m_tileQueue.cbegin(), m_tileQueue.cend(),
                                    [](const TileJobPtr& j) { return j->urgent; }) ||
                        m_urgentRunning.load() > 0;
    if (!around && !inView) {
        const auto next = std::find_if(m_tileQueue.cbegin(), m_tileQueue.cend(),
                                       [](const TileJobPtr& j) { return !j->urgent; });
        if (next != m_tileQueue.cend()) {
            const TileJobPtr job = *next; // a copy: starting takes it off the queue
            startTiles(job);
        }
    }
    // Prefetches leave a worker free for what the user asks for.
    const int prefetchSlots = qMax(1, m_pool.maxThreadCount() - 1);
    qint64 nextSettle = -1;
    bool waiting = false; // a request waits to settle: no prefetch meanwhile
    while (busy < m_pool.maxThreadCount()) {
        JobPtr next;
        for (const JobPtr& job : std::as_const(m_queue)) {
            if (job->prefetch)
                break;
            if (!job->notBefore.hasExpired()) {
                waiting = true;
                const qint64 left = job->notBefore.remainingTime();
                nextSettle = nextSettle < 0 ? left : qMin(nextSettle, left);
                continue;
            }
            next = job;
            break;
        }
        if (!next) {
            // The tiles in view, then what is decoded ahead.
            const auto tiles = std::find_if(m_tileQueue.cbegin(), m_tileQueue.cend(),
                                            [](const TileJobPtr& j) { return j->urgent; });
            if (tiles != m_tileQueue.cend()) {
                const TileJobPtr job = *tiles;
                startTiles(job);
                ++busy;
                continue;
            }
            const auto prefetch = std::find_if(m_queue.cbegin(), m_queue.cend(),
                                               [](const JobPtr& j) { return j->prefetch.load(); });
            if (prefetch == m_queue.cend() || waiting || prefetching >= prefetchSlots)
                break;
            next = *prefetch;
            ++prefetching;
        }
        start(next);
        ++busy;
    }
    // What the user asks for never waits behind a prefetch (one worker).
    const bool userWaits =
        std::any_of(m_queue.cbegin(), m_queue.cend(),
                    [](const JobPtr& j) { return !j->prefetch && j->notBefore.hasExpired(); }) ||
        std::any_of(m_tileQueue.cbegin(), m_tileQueue.cend(),
                    [](const TileJobPtr& j) { return j->urgent; });
    if (userWaits) {
        for (const JobPtr& job : std::as_const(m_running)) {
            if (job->prefetch && job->tickets.isEmpty())
                job->cancelled = true;
        }
    }
    if (nextSettle >= 0)
        m_settle.start(int(qMax<qint64>(nextSettle, 1)));
}

void PictureService::start(const JobPtr& job) {
    m_queue.removeOne(job);
    m_running.append(job);
    job->running = true;
    m_pool.start([this, job] { work(job); });
}

void PictureService::work(const JobPtr& job) {
    if (!job->cancelled) {
        if (job->fromOverview) {
            job->result = reducedFromOverview(job->source, job->need);
        } else if (!job->source.isNull()) {
            job->result = derivePicture(job->source, job->need);
        } else {
            Progress progress(this, job);
            job->result = loadPicture(job->path, job->need, &progress, job->limits);
        }
    }
    QMetaObject::invokeMethod(
        this, [this, job] { jobEnded(job); }, Qt::QueuedConnection);
}

void PictureService::rowsArrived(const JobPtr& job) {
    job->rowsPosted = false;
    const int rows = job->rows.load();
    if (job->cancelled || rows <= 0)
        return;
    QImage buffer;
    {
        QMutexLocker lock(&job->mutex);
        buffer = job->buffer;
    }
    if (buffer.isNull())
        return;
    job->shownRows = rows;
    const QList<PictureTicket> tickets = job->tickets;
    for (PictureTicket t : tickets) {
        const auto it = m_tickets.constFind(t);
        if (it != m_tickets.constEnd() && it->request.progressive)
            Q_EMIT rowsReady(t, buffer, rows);
    }
}

void PictureService::jobEnded(const JobPtr& job) {
    m_running.removeOne(job);
    job->running = false;
    if (job->reserved)
        m_cache.release(job->reserved);
    for (auto it = m_prefetches.begin(); it != m_prefetches.end(); ++it) {
        if (it.value() == job) {
            m_prefetches.erase(it);
            break;
        }
    }
    if (!job->cancelled) {
        if (!job->result.isNull())
            m_cache.insert(job->key, job->result);
        const QList<PictureTicket> tickets = job->tickets;
        for (PictureTicket t : tickets)
            deliver(t, job->result, false);
    }
    {
        // The worker's buffer is the picture now; drop the extra reference.
        QMutexLocker lock(&job->mutex);
        job->buffer = QImage();
    }
    job->result = Picture();
    job->source = Picture();
    dispatch();
}

void PictureService::deliver(PictureTicket ticket, const Picture& picture, bool fromCache) {
    const auto it = m_tickets.find(ticket);
    if (it == m_tickets.end())
        return;
    Ticket t = std::move(*it);
    m_tickets.erase(it);
    const auto slot = std::make_pair(t.owner, t.request.slot);
    if (m_slots.value(slot) == ticket)
        m_slots.remove(slot);
    if (t.job)
        t.job->tickets.removeOne(ticket);
    PictureResult result;
    result.ticket = ticket;
    result.request = t.request;
    result.picture = picture;
    result.fromCache = fromCache;
    if (t.handler)
        t.handler(result);
    Q_EMIT finished(result);
}

} // namespace lumenta
