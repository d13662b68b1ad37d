// The link from the management port to the CPU-port MAC: frames to the CPU
// wait in the port's class-of-service queues like any port's, and the MAC
// holds the link while it has no receive buffer posted, so that a burst
// waits (and past a queue's room is the port's discard) instead of being
// missed at the MAC, and the higher queues go first once buffers come back.
#include <algorithm>

#include "sim/fabric.h"

namespace sim {

void ImpPort::connectMac(FrameSink sink, std::function<int()> room) {
    std::lock_guard<ChipMutex> g(fabric_.chip_.mutex());
    fabric_.cpu_sink_ = std::move(sink);
    fabric_.cpu_room_ = std::move(room);
}

void ImpPort::roomGrew() {
    if (!fabric_.cpu_held_) return;
    std::unique_lock<ChipMutex> lock(fabric_.chip_.mutex());
    fabric_.resumeCpu();
    fabric_.kick(lock);
}

bool Fabric::cpuMacTakes() {
    if (!cpu_room_) return true;
    cpu_held_ = true;
    // In flight first: a frame taken between the two reads is then counted
    // twice, never left out.
    const int in_flight = cpu_in_flight_;
    const int room = cpu_room_();
    if (room >= 0 && room <= in_flight) return false;
    cpu_held_ = false;
    return true;
}

void Fabric::leaveToCpu(std::vector<uint8_t> frame, int queue) {
    const int cpu = profile_.cpu_port;
    // Behind a MAC, what is in flight is bounded by its receive buffers: a
    // frame it has room for is not lost to the other ports' backlog.
    if (cpu_sink_ && !cpu_room_ && outbox_.size() >= kSinkBacklog) {
        mib(R_TXDROPPKTS, cpu, 1);
        drops_.buffer++;
        return;
    }
    countLeaving(cpu, frame, queue);
    if (!cpu_sink_) {
        if (to_cpu_.size() < kCapturedFrames) to_cpu_.push_back(std::move(frame));
        return;
    }
    cpu_in_flight_++;
    outbox_.push_back([this, sink = cpu_sink_, f = std::move(frame)]() mutable {
        sink(std::move(f));
        cpu_in_flight_--;
        // The port may have stopped counting this frame as room taken.
        imp_.roomGrew();
    });
}

void Fabric::resumeCpu() {
    PortState &s = state_[static_cast<size_t>(profile_.cpu_port)];
    if (s.tx_armed) return;  // the wire's own event moves the queues on
    // The time the link was held is not made up for.
    uint64_t &free_ns = fullDuplex(profile_.cpu_port) ? s.tx_free_ns : s.wire_free_ns;
    free_ns = std::max(free_ns, clock_.now() * 1000);
    drainTx(profile_.cpu_port);
}

}  // namespace sim
