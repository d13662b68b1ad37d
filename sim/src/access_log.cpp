#include "sim/access_log.h"

namespace sim {

void AccessLog::enable(bool on) {
    std::lock_guard<std::mutex> g(mutex_);
    enabled_ = on;
}

bool AccessLog::enabled() const {
    std::lock_guard<std::mutex> g(mutex_);
    return enabled_;
}

void AccessLog::add(const BusAccess &access) {
    std::lock_guard<std::mutex> g(mutex_);
    if (!enabled_) return;
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
