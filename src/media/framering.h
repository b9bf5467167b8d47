#pragma once
// A single-producer, single-consumer ring of stereo 16-bit frames: one
// thread writes, another reads, without locks.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

namespace lumenta::media {

class FrameRing {
public:
    explicit FrameRing(size_t frames = 0) : buf_(frames * 2) {}

    size_t capacity() const { return buf_.size() / 2; }
    size_t available() const {
        return size_t(head_.load(std::memory_order_acquire) -
                      tail_.load(std::memory_order_acquire));
    }
    size_t space() const { return capacity() - available(); }

    // Producer side.
    size_t write(const int16_t* frames, size_t count) {
        const uint64_t head = head_.load(std::memory_order_relaxed);
        count = std::min(count, space());
        for (size_t done = 0; done < count;) {
            const size_t at = size_t((head + done) % capacity());
            const size_t n = std::min(count - done, capacity() - at);
            std::memcpy(&buf_[at * 2], frames + done * 2, n * 2 * sizeof(int16_t));
            done += n;
        }
        head_.store(head + count, std::memory_order_release);
        return count;
    }

    // Consumer side.
    size_t read(int16_t* frames, size_t count) {
        const uint64_t tail = tail_.load(std::memory_order_relaxed);
        count = std::min(count, available());
        for (size_t done = 0; done < count;) {
            const size_t at = size_t((tail + done) % capacity());
            const size_t n = std::min(count - done, capacity() - at);
            std::memcpy(frames + done * 2, &buf_[at * 2], n * 2 * sizeof(int16_t));
            done += n;
        }
        tail_.store(tail + count, std::memory_order_release);
        return count;
    }

    // Only while neither side is running.
    void clear() {
        head_.store(0);
        tail_.store(0);
    }

private:
    std::vector<int16_t> buf_;
    std::atomic<uint64_t> head_{0};
    std::atomic<uint64_t> tail_{0};
};

} // namespace lumenta::media
