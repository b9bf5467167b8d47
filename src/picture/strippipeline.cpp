#include "picture/strippipeline.h"

namespace lumenta {

StripPipeline::StripPipeline(int buffers, size_t bytesPerStrip, Place place)
    : m_place(std::move(place)), m_buffers(size_t(qMax(buffers, 1))) {
    for (std::vector<uchar>& b : m_buffers) {
        b.resize(bytesPerStrip);
        m_free.push_back(b.data());
    }
    m_thread = std::thread([this] { run(); });
}

StripPipeline::~StripPipeline() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

uchar* StripPipeline::acquire() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_free.empty(); });
    uchar* strip = m_free.back();
    m_free.pop_back();
    return strip;
}

void StripPipeline::submit(uchar* strip, int firstRow, int rows) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(Strip{strip, firstRow, rows});
    }
    m_changed.notify_all();
}

void StripPipeline::finish() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.empty() && !m_busy; });
}

void StripPipeline::run() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_changed.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_stop)
            return;
        const Strip strip = m_queue.front();
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();
        m_place(strip.data, strip.firstRow, strip.rows);
        lock.lock();
        m_busy = false;
        for (const std::vector<uchar>& b : m_buffers) {
            if (b.data() == strip.data)
                m_free.push_back(strip.data);
        }
        m_changed.notify_all();
    }
}

} // namespace lumenta
