#pragma once
// The picture service: where every window gets its pictures. One instance
// lives for the whole program (AppContext::pictures()).
//
// A window asks for a picture and gets a ticket at once; the picture comes
// later by the finished() signal (and the optional handler), on the GUI
// thread. Nothing blocks the caller: files are decoded on a pool of worker
// threads, one per core.
//
//   // The main window: the picture at its natural size, shown as its rows
//   // arrive (rowsReady), then whole (finished).
//   m_ticket = pictures.request(this, PictureRequest::full(path, true));
//
//   // A slideshow: the next picture fitted to the screen while the current
//   // one is shown, or only the screen-sized centre at natural size.
//   pictures.request(this, PictureRequest::fitted(next, screenSize),
//                    [this](const PictureResult& r) { m_next = r.picture; });
//   pictures.request(this, PictureRequest::centre(next, screenSize), ...);
//
//   // A thumbnail browser: one slot per cell, so that the requests do not
//   // supersede each other; all dropped when the folder changes.
//   for (int i = 0; i < names.size(); ++i)
//       pictures.request(this, PictureRequest::thumbnail(names[i], {96, 96}, i),
//                        [this, i](const PictureResult& r) { setCell(i, r); });
//   ...
//   pictures.cancelAll(this);
//
// Callers and supersession. A request is made by an owner (any QObject, in
// practice the window) on a slot (a number the owner chooses, 0 unless
// said). A new request on the same owner and slot supersedes the one before
// it: the older one's result is never delivered and its work is dropped if it
// has not started, or abandoned where it stands if it has (JPEG and
// metafiles stop within milliseconds; Qt's readers finish their picture
// unseen). A request for the very picture the slot is waiting for joins the
// decoding under way instead. When requests on a slot supersede each other faster than
// pictures decode (an arrow key held down in a file list), the newest waits
// a moment before it starts, so only the picture where the user stops is
// decoded. Destroying the owner cancels all its requests.
//
// What is delivered. Every request ends with exactly one finished() (unless
// it was cancelled or superseded): result.ok() and the picture, or a null
// picture and its error. The loading rules are those of loadPicture() for
// every kind of request (format from the content, EXIF orientation, 1 GB
// limit, largest icon image, DIB without header, metafiles rendered out of
// process). Reduced pictures are decoded reduced (JPEG DCT scaling, Qt
// readers that can, metafiles rendered at that size), or cut from a picture
// the service already holds whole.
//
// Rows as they arrive. A Full request with `progressive` gets rowsReady()
// while a JPEG decodes top to bottom: `image` is the picture's final buffer
// (natural size) and its first `rows` rows are final. Read those rows only:
// the rest is still being written by a worker, and nothing may write to or
// detach `image` (use it through const QImage& only, e.g. QPainter::
// drawImage). Pictures that do not arrive top to bottom (turned by their
// orientation, other formats, cached ones) come by finished() only.
//
// Colours. Pictures come in the display's colours (setDisplayColours(),
// sRGB until told), converted where they are decoded; a request made
// inSrgb() gets them in sRGB instead (what is written to files and the
// shared thumbnail cache). The service sets need.colours of every request
// itself. A change of the display's colours applies to the pictures asked
// for afterwards.
//
// Pictures too large to be decoded whole (picture/tiledpicture.h). A Full
// request without region for such a picture answers at once with
// result.picture.tiled set and no image (nothing decoded yet). The window
// then asks for what it shows: a reduced picture of the whole (an
// overview: request(fitted(...)), decoded without holding the whole) and
// the tiles in view (requestTiles), decoded on the workers, those in view
// before those around them, and kept in memory within the budget as
// pictures are. Parts and reduced pictures of it are asked for as for any
// picture. A TileFeed (picture/tilefeed.h) does this for a view.
//
// Memory. The service keeps recent pictures within a budget (about two
// 24-megapixel photos and a few screen-sized pictures by default); a
// request for a kept picture is answered from memory (result.fromCache),
// still by a queued signal. prefetch() decodes a picture ahead of need,
// only when workers are free and it fits the budget; a later request for it
// takes the kept picture or joins the decoding under way.
//
// Every member function is for the GUI thread.
#include "picture/picturecache.h"
#include "picture/pictureloader.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

namespace lumenta {

// Names one request; 0 never does.
using PictureTicket = quint64;

// The box a tiled picture's overview fits in: large enough for a screen.
inline constexpr QSize kOverviewBox(2048, 2048);

struct PictureRequest {
    enum class Colours { Display, Srgb };

    QString path;
    PictureNeed need;
    bool progressive = false; // Full: rowsReady() as rows are decoded
    quint64 slot = 0;         // see "Callers and supersession"
    Colours colours = Colours::Display;

    // The same request, for the picture in sRGB.
    PictureRequest inSrgb() const {
        PictureRequest r = *this;
        r.colours = Colours::Srgb;
        return r;
    }

    // The picture at its natural size.
    static PictureRequest full(const QString& path, bool progressive = false, quint64 slot = 0);
    // Reduced to fit inside box (never enlarged; a smaller picture comes
    // at its natural size).
    static PictureRequest fitted(const QString& path, QSize box, quint64 slot = 0);
    // Reduced only as far as it still covers box on both axes (for a
    // picture stretched over a screen).
    static PictureRequest covering(const QString& path, QSize box, quint64 slot = 0);
    // As fitted, for small sizes (faster, slightly rougher decoding).
    static PictureRequest thumbnail(const QString& path, QSize box, quint64 slot = 0);
    // The part of the natural-size picture of that size around its centre
    // (the whole picture where it is smaller); result.picture.region says
    // where the part lies, naturalSize how large the whole picture is.
    static PictureRequest centre(const QString& path, QSize size, quint64 slot = 0);
};

// The overview of a tiled picture: the size every window shares.
inline PictureRequest overviewRequest(const QString& path, quint64 slot = 0) {
    return PictureRequest::fitted(path, kOverviewBox, slot);
}

struct PictureResult {
    PictureTicket ticket = 0;
    PictureRequest request;
    Picture picture; // null on failure, picture.error says why
    bool fromCache = false;

    bool ok() const { return !picture.isNull(); }
};

class PictureService : public QObject {
    Q_OBJECT
public:
    // threads 0: one per core.
    explicit PictureService(QObject* parent = nullptr, int threads = 0);
    ~PictureService() override;

    using Handler = std::function<void(const PictureResult&)>;

    // Asks for a picture. Returns at once; the result comes by finished()
    // and, when given, by onFinished (called just before finished(), never
    // after the owner is destroyed).
    PictureTicket request(QObject* owner, const PictureRequest& request, Handler onFinished = {});

    // Drops a request: no signal will carry it any more. Unknown or
    // finished tickets are ignored.
    void cancel(PictureTicket ticket);
    // Drops every request and prefetch of owner.
    void cancelAll(QObject* owner);
    // Drops owner's prefetch (unless a request has taken it over since).
    void cancelPrefetch(QObject* owner);
    // Whether the request is still waiting for its result.
    bool isPending(PictureTicket ticket) const;

    // Decodes a picture ahead of need into memory, when workers are free and
    // the budget has room. Replaces the owner's previous prefetch still
    // waiting. Delivers nothing.
    void prefetch(QObject* owner, const PictureRequest& request);

    // Tiles of a tiled picture (Picture::tiled of a Full request for
    // `path`): the cells of its grid, most wanted first, the first `urgent`
    // of them in view. A newer call on the same owner and slot replaces the
    // cells still to come; tiles not asked for any more are not decoded
    // (those being decoded are kept in memory). Each tile comes once to
    // onTile on the GUI thread: at once (queued) when kept, else when it is
    // decoded; a null image when it cannot be decoded.
    using TileHandler = std::function<void(QPoint cell, const QImage& tile)>;
    void requestTiles(QObject* owner, const QString& path, const Picture& picture,
                      const QList<QPoint>& cells, int urgent, TileHandler onTile, quint64 slot = 0);
    void cancelTiles(QObject* owner, quint64 slot = 0);

    // How large a picture is decoded whole, and the tiles of larger ones
    // (tests ask for small ones).
    void setLoadLimits(const LoadLimits& limits);
    const LoadLimits& loadLimits() const { return m_limits; }

    // Memory kept for pictures, in bytes (pictures in use by windows are
    // shared with the service, not copied).
    void setMemoryBudget(qint64 bytes);
    qint64 memoryBudget() const;
    qint64 memoryUsed() const;
    void clearCache();

    // The colours pictures are shown in (the monitor's profile); sRGB
    // until set.
    void setDisplayColours(const ColourSpace& colours);
    const ColourSpace& displayColours() const { return m_display; }

    // Nothing waiting or being decoded (for tests and benchmarks).
    bool isIdle() const;
    int threadCount() const;

    static constexpr qint64 kDefaultBudget =
        2 * qint64(6000 * 4000 * 4) + 4 * qint64(1920 * 1080 * 4);
    // Requests on a slot that supersede an unfinished one younger than
    // kRapidMs wait kSettleMs before they start.
    static constexpr int kRapidMs = 150;
    static constexpr int kSettleMs = 100;

Q_SIGNALS:
    // Rows of a progressive request: the first `rows` rows of image are
    // final (see above: read only those, never write).
    void rowsReady(lumenta::PictureTicket ticket, const QImage& image, int rows);
    void finished(const lumenta::PictureResult& result);

private:
    struct Job;
    using JobPtr = std::shared_ptr<Job>;
    struct TileJob;
    using TileJobPtr = std::shared_ptr<TileJob>;
    struct TileWant;
    struct Ticket {
        QObject* owner = nullptr;
        PictureRequest request;
        JobPtr job; // null when answered from memory
        Handler handler;
        QElapsedTimer since;
    };
    class Progress;

    void watch(QObject* owner);
    void drop(PictureTicket ticket);
    void abandonIfUnwanted(const JobPtr& job);
    JobPtr jobFor(const QString& key) const;
    PictureRequest resolved(const PictureRequest& request) const;
    JobPtr newJob(const PictureRequest& request, const QString& key, const QString& stamp);
    void enqueue(const JobPtr& job);
    void dispatch();
    void start(const JobPtr& job);
    void work(const JobPtr& job);
    void rowsArrived(const JobPtr& job);
    void jobEnded(const JobPtr& job);
    void deliver(PictureTicket ticket, const Picture& picture, bool fromCache);
    // Tiles (pictureservice_tiles.cpp).
    void planTiles();
    void startTiles(const TileJobPtr& job);
    void tileDecoded(const TileJobPtr& job, QPoint cell, const QImage& tile);
    void tileJobEnded(const TileJobPtr& job, bool ok);
    void deliverTile(const QString& prefix, QPoint cell, const QImage& tile);
    bool tileWanted(const QString& prefix, QPoint cell, bool* urgent = nullptr) const;
    void cancelAllTiles(QObject* owner);

    PictureCache m_cache;
    ColourSpace m_display;
    QThreadPool m_pool;
    // One thread, of lower priority, for the tiles around views: they never
    // take a worker or the processor from what the user waits for.
    QThreadPool m_aroundPool;
    QTimer m_settle;
    PictureTicket m_lastTicket = 0;
    QHash<PictureTicket, Ticket> m_tickets;
    QHash<std::pair<QObject*, quint64>, PictureTicket> m_slots;
    QHash<QObject*, QMetaObject::Connection> m_owners;
    QHash<QObject*, JobPtr> m_prefetches;
    QList<JobPtr> m_queue; // waiting: requested ones first, then prefetches
    QList<JobPtr> m_running;
    LoadLimits m_limits;
    QHash<std::pair<QObject*, quint64>, std::shared_ptr<TileWant>> m_tileWants;
    QList<TileJobPtr> m_tileQueue; // waiting: in view first
    QList<TileJobPtr> m_tileRunning;
    QHash<QString, TileJobPtr> m_tilesInFlight; // by tile key
    // Passes over tiles in view running: reductions give way to them.
    std::atomic<int> m_urgentRunning{0};
    QSet<QString> m_failedTiles;
};

} // namespace lumenta

Q_DECLARE_METATYPE(lumenta::PictureResult)
