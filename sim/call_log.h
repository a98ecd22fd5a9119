// A log of the first `capacity` calls since it was last cleared, for tests
// that want to see what reached a driver. Safe from any thread: a spin lock
// guards it (no heap, no C++ runtime beyond <atomic>). Later calls are not
// logged, and nothing counts them, so no count can wrap however long a host
// runs.
#pragma once

#include <atomic>

namespace morvante::sim {

template <class Entry, int capacity>
class CallLog {
public:
    void record(const Entry& entry) {
        if (stored_.load(std::memory_order_relaxed) >= capacity)
            return;  // full: the usual case of a long run, without the lock
        lock();
        const int at = stored_.load(std::memory_order_relaxed);
        if (at < capacity) {
            entries_[at] = entry;
            stored_.store(at + 1, std::memory_order_relaxed);
        }
        unlock();
    }

    // Copies up to `max` of the logged entries, oldest first (none for a
    // negative `max`), and returns how many it copied.
    template <class Sink>
    int copy(int max, Sink&& sink) const {
        lock();
        const int stored = stored_.load(std::memory_order_relaxed);
        const int n = max < 0 ? 0 : (max < stored ? max : stored);
        for (int i = 0; i < n; ++i)
            sink(i, entries_[i]);
        unlock();
        return n;
    }

    int size() const { return stored_.load(std::memory_order_relaxed); }

    void clear() {
        lock();
        stored_.store(0, std::memory_order_relaxed);
        unlock();
    }

private:
    void lock() const {
        while (busy_.test_and_set(std::memory_order_acquire)) {
        }
    }
    void unlock() const { busy_.clear(std::memory_order_release); }

    mutable std::atomic_flag busy_ = ATOMIC_FLAG_INIT;
    std::atomic<int> stored_{0};  // written under the lock; read without it only to skip a full log
    Entry entries_[capacity];
};

}  // namespace morvante::sim
