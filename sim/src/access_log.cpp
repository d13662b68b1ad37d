#include "sim/access_log.h"

namespace sim {

void AccessLog::enable(bool on) {
    enabled_.store(on);
}

bool AccessLog::enabled() const {
    return enabled_.load();
}

void AccessLog::add(const BusAccess &access) {
    if (!enabled_.load(std::memory_order_relaxed)) return;
    std::lock_guard<std::mutex> g(mutex_);
    if (entries_.size() >= kKeep) entries_.erase(entries_.begin());
    entries_.push_back(access);
}

std::vector<BusAccess> AccessLog::entries() const {
    std::lock_guard<std::mutex> g(mutex_);
    return entries_;
}

size_t AccessLog::count(BusOp op) const {
    std::lock_guard<std::mutex> g(mutex_);
    size_t n = 0;
    for (const BusAccess &a : entries_) {
        if (a.op == op) n++;
    }
    return n;
}

void AccessLog::clear() {
    std::lock_guard<std::mutex> g(mutex_);
    entries_.clear();
}

}  // namespace sim
