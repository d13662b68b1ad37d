// The chip's lock: recursive, and it knows when a thread waits for it, so
// that the event thread, which holds it while it runs frames, can let a
// register access or a DMA transfer through between two events.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace sim {

class ChipMutex {
  public:
    void lock() {
        if (mutex_.try_lock()) return;
        waiting_.fetch_add(1);
        mutex_.lock();
        waiting_.fetch_sub(1);
        {
            std::lock_guard<std::mutex> g(turn_lock_);
            served_++;
        }
        turn_.notify_all();
    }
    bool try_lock() { return mutex_.try_lock(); }
    void unlock() { mutex_.unlock(); }

    bool waited() const { return waiting_.load() > 0; }

    // Gives the lock (held once, through held) to a thread waiting for it
    // and takes it again once that thread has had it, or after the bound.
    void letThrough(std::unique_lock<ChipMutex> &held, std::chrono::microseconds bound);

  private:
    std::recursive_mutex mutex_;
    std::atomic<int> waiting_{0};
    std::mutex turn_lock_;
    std::condition_variable turn_;
    uint64_t served_ = 0;  // guarded by turn_lock_
};

inline void ChipMutex::letThrough(std::unique_lock<ChipMutex> &held,
                                  std::chrono::microseconds bound) {
    std::unique_lock<std::mutex> turn(turn_lock_);
    const uint64_t seen = served_;
    held.unlock();
    turn_.wait_for(turn, bound, [&] { return served_ != seen || waiting_.load() == 0; });
    turn.unlock();
    held.lock();
}

}  // namespace sim
