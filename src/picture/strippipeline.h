#pragma once
// Hands strips of decoded rows to a second thread that places them in the
// picture (turning them upright, converting colours) while the decoder goes
// on with the next strips: on two cores a turned or colour-managed photo
// costs little more than an upright untagged one.
#include <QtGlobal>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace lumenta {

class StripPipeline {
public:
    // place(strip, firstRow, rows) runs on the second thread, one strip at a
    // time, in the order they were submitted.
    using Place = std::function<void(uchar* strip, int firstRow, int rows)>;

    StripPipeline(int buffers, size_t bytesPerStrip, Place place);
    // Stops the thread: strips not placed yet are dropped.
    ~StripPipeline();

    // A buffer to decode the next strip into; waits while every buffer is
    // still queued.
    uchar* acquire();
    // Queues a strip: one of the buffers, or rows held elsewhere (in the
    // picture itself) that place() works on where they are.
    void submit(uchar* strip, int firstRow, int rows);
    // Waits until every submitted strip is placed.
    void finish();

private:
    struct Strip {
        uchar* data;
        int firstRow;
        int rows;
    };
    void run();

    Place m_place;
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
