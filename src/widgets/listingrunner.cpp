#include "widgets/listingrunner.h"

#include <QMutex>
#include <QThreadPool>

#include <algorithm>
#include <cerrno>

#include <sys/resource.h>
#include <unistd.h>

namespace lumenta {

namespace {

constexpr int kNicer = 10;

// Listings wait on the file system, not on the processor: a few may run at
// once, so a folder on a slow share holds up no other list.
QThreadPool& listingPool() {
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(4);
        return p;
    }();
    return *pool;
}

// The picture first: a listing's thread gives way to the decoding and the
// GUI threads when they want the processors (ten nice levels down, once per
// thread; the pool's threads run nothing but listings).
void yieldToPictures() {
    thread_local bool lowered = false;
    if (lowered)
        return;
    lowered = true;
    const auto self = id_t(::gettid());
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, self);
    if (errno == 0)
        ::setpriority(PRIO_PROCESS, self, std::min(nice + kNicer, 19));
}

} // namespace

// Shared by the runner and its worker: the worker posts its result only
// while the runner still wants it, under the lock the runner takes to
// abandon it.
struct ListingRunner::Link {
    QMutex lock;
    ListingRunner* runner = nullptr;
    std::atomic<bool> cancelled{false};
};

ListingRunner::ListingRunner(QObject* parent) : QObject(parent) {}

ListingRunner::~ListingRunner() {
    if (m_link) {
        const QMutexLocker hold(&m_link->lock);
        m_link->runner = nullptr;
        m_link->cancelled = true;
    }
}

void ListingRunner::abandon() {
    if (!m_link)
        return;
    {
        const QMutexLocker hold(&m_link->lock);
        m_link->runner = nullptr;
        m_link->cancelled = true;
    }
    m_link.reset();
    Q_EMIT runningChanged(false);
}

void ListingRunner::start(Work work) {
    const bool wasRunning = isRunning();
    if (m_link) {
        const QMutexLocker hold(&m_link->lock);
        m_link->runner = nullptr;
        m_link->cancelled = true;
    }
    auto link = std::make_shared<Link>();
    link->runner = this;
    m_link = link;
    listingPool().start([link, work = std::move(work)] {
        yieldToPictures();
        Done done = work(link->cancelled);
        const QMutexLocker hold(&link->lock);
        if (!link->runner || link->cancelled)
            return;
        QMetaObject::invokeMethod(
            link->runner, [runner = link->runner, link, done] { runner->finish(link, done); },
            Qt::QueuedConnection);
    });
    if (!wasRunning)
        Q_EMIT runningChanged(true);
}

void ListingRunner::finish(const std::shared_ptr<Link>& link, const Done& done) {
    if (link != m_link)
        return; // abandoned after its result was posted
    m_link.reset();
    if (done)
        done();
    // The result may have started the next listing.
    if (!isRunning())
        Q_EMIT runningChanged(false);
}

} // namespace lumenta
