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

StripPipeline::StripPipeline(Place place, Announce announce)
    : m_place(std::move(place)), m_announce(std::move(announce)), m_shared(true) {
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
    const Strip s{strip, firstRow, rows};
    std::unique_lock lock(m_mutex);
    // The second thread is behind while a strip still waits for it.
    if (!m_shared || m_queue.empty()) {
        m_queue.push_back(s);
        lock.unlock();
        m_changed.notify_all();
        return;
    }
    placeHere(lock, s);
}

void StripPipeline::finish() {
    std::unique_lock lock(m_mutex);
    while (m_shared && !m_queue.empty()) {
        // The last strips queued, on this thread too.
        const Strip s = m_queue.back();
        m_queue.pop_back();
        placeHere(lock, s);
    }
    m_changed.wait(lock, [this] { return m_queue.empty() && !m_busy; });
}

void StripPipeline::placeHere(std::unique_lock<std::mutex>& lock, const Strip& strip) {
    lock.unlock();
    m_place(strip.data, strip.firstRow, strip.rows);
    lock.lock();
    placed(strip);
}

void StripPipeline::placed(const Strip& strip) {
    m_placedAhead.emplace(strip.firstRow, strip.firstRow + strip.rows);
    const int before = m_placedRows;
    for (auto it = m_placedAhead.begin(); it != m_placedAhead.end() && it->first == m_placedRows;
         it = m_placedAhead.erase(it))
        m_placedRows = it->second;
    if (m_announce && m_placedRows > before)
        m_announce(m_placedRows);
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
        if (m_shared)
            placed(strip);
        for (const std::vector<uchar>& b : m_buffers) {
            if (b.data() == strip.data)
                m_free.push_back(strip.data);
        }
        m_changed.notify_all();
    }
}

} // namespace lumenta
