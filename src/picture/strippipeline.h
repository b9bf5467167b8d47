#pragma once
// Hands strips of decoded rows to a second thread that places them in the
// picture (turning them upright, converting colours) while the decoder goes
// on with the next strips: on two cores a turned or colour-managed photo
// costs little more than an upright untagged one. Strips worked on where
// they lie are shared: while the second thread is behind, the decoder
// places the strip it has just decoded itself, still in its cache.
#include <QtGlobal>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace lumenta {

class StripPipeline {
public:
    // place(strip, firstRow, rows) runs on the second thread, one strip at a
    // time, in the order they were submitted.
    using Place = std::function<void(uchar* strip, int firstRow, int rows)>;

    // Told how many rows from the top are placed, each time that grows.
    using Announce = std::function<void(int rows)>;

    StripPipeline(int buffers, size_t bytesPerStrip, Place place);
    // For strips placed where they lie, in any order and on either thread;
    // announce (may be empty) runs on one thread at a time.
    StripPipeline(Place place, Announce announce);
    // Stops the thread: strips not placed yet are dropped.
    ~StripPipeline();

    // A buffer to decode the next strip into; waits while every buffer is
    // still queued.
    uchar* acquire();
    // Queues a strip: one of the buffers, or rows held elsewhere (in the
    // picture itself) that place() works on where they are. Strips placed
    // where they lie are placed at once on the calling thread instead when
    // the second thread is behind.
    void submit(uchar* strip, int firstRow, int rows);
    // Waits until every submitted strip is placed, placing shared strips
    // still queued on the calling thread.
    void finish();

private:
    struct Strip {
        uchar* data;
        int firstRow;
        int rows;
    };
    void run();
    // Places a shared strip on the calling thread, the lock released
    // meanwhile (held on entry and on return).
    void placeHere(std::unique_lock<std::mutex>& lock, const Strip& strip);
    // Notes a shared strip placed; the lock is held.
    void placed(const Strip& strip);

    Place m_place;
    Announce m_announce;
    bool m_shared = false;
    int m_placedRows = 0;             // contiguous from the top (shared strips)
    std::map<int, int> m_placedAhead; // first row -> end, below a gap
    std::vector<std::vector<uchar>> m_buffers;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<uchar*> m_free;
    std::deque<Strip> m_queue;
    bool m_busy = false;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace lumenta
