#include "sim/anomalies.h"

#include <utility>

namespace sim {

const char *anomalyKindName(AnomalyKind kind) {
    switch (kind) {
        case AnomalyKind::UndescribedAddress:
            return "undescribed address";
        case AnomalyKind::BadLength:
            return "bad length";
        case AnomalyKind::WidthMismatch:
            return "width mismatch";
        case AnomalyKind::ReadOnlyWrite:
            return "read-only write";
        case AnomalyKind::UnimplementedBits:
            return "unimplemented bits";
        case AnomalyKind::SerialFraming:
            return "serial framing";
        case AnomalyKind::WindowProtocol:
            return "window protocol";
        case AnomalyKind::DmaOutOfArena:
            return "DMA address outside the arena";
        case AnomalyKind::HostMemory:
            return "unmapped host memory";
        case AnomalyKind::NoDevice:
            return "no such device";
        case AnomalyKind::CpuFrame:
            return "bad CPU frame";
    }
    return "?";
}

void Anomalies::record(AnomalyKind kind, uint32_t address, std::string text) {
    std::lock_guard<std::mutex> g(mutex_);
    if (entries_.size() >= kKeep) entries_.erase(entries_.begin());
    entries_.push_back({kind, address, std::move(text)});
    counts_[static_cast<size_t>(kind)]++;
    total_++;
}

std::vector<Anomaly> Anomalies::list() const {
    std::lock_guard<std::mutex> g(mutex_);
    return entries_;
}

size_t Anomalies::count(AnomalyKind kind) const {
    std::lock_guard<std::mutex> g(mutex_);
    return counts_[static_cast<size_t>(kind)];
}

size_t Anomalies::total() const {
    std::lock_guard<std::mutex> g(mutex_);
    return total_;
}

void Anomalies::clear() {
    std::lock_guard<std::mutex> g(mutex_);
    entries_.clear();
    for (size_t &c : counts_)
        c = 0;
    total_ = 0;
}

std::vector<Anomaly> AnomalyAllowList::unexpected(const Anomalies &log) const {
    std::vector<Anomaly> out;
    for (const Anomaly &a : log.list()) {
        bool allowed = false;
        for (const Entry &e : allowed_)
            allowed |= e.kind == a.kind && (e.address < 0 || e.address == a.address);
        if (!allowed) out.push_back(a);
    }
    return out;
}

}  // namespace sim
