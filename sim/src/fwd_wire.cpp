// The wire between a port and the host attached to it: what the host sends
// waits in its queue and reaches the port at the port's line rate, and only
// while the packet buffer has room for it. A host (a TAP) hands frames over
// far faster than any wire carries them; paced like this, a burst a real
// port would take whole is delayed, not dropped.
#include <algorithm>

#include "sim/fabric.h"

namespace sim {

bool Port::send(const Frame &frame) {
    if (port_ == fabric_.profile_.cpu_port) return false;
    std::vector<uint8_t> wire = withFcs(frame.bytes);
    std::unique_lock<ChipMutex> lock(fabric_.chip_.mutex());
    if (fabric_.chip_.phyLoopedBack(port_)) return false;
    Fabric::PortState &s = fabric_.state_[static_cast<size_t>(port_)];
    const uint32_t cells = Fabric::cellsOf(wire);
    if (s.host_cells + cells > Fabric::kHostQueueCells) {
        // Taken from the host but no room to wait in: the port's discard.
        fabric_.mib(R_RXDROPPKTS, port_, 1);
        fabric_.drops_.buffer++;
        return true;
    }
    s.host_cells += cells;
    s.host_queue.push_back(std::move(wire));
    if (s.host_queue.size() > 1 || s.wire_armed || s.room_wait) return true;
    // An idle wire starts now: it has nothing to make up.
    s.wire_free_ns = std::max(s.wire_free_ns, fabric_.clock_.now() * 1000);
    fabric_.feedWire(port_);
    fabric_.kick(lock);
    return true;
}

int Fabric::lineRateMbps(int port) const {
    // The MAC runs at the speed the driver forced, else at the link's.
    const RegInstance *r = portReg(R_STS_OVERRIDE_P, port);
    if (r == nullptr) r = portReg(R_STS_OVERRIDE_GP, port);
    if (r != nullptr && field(r, F_SW_ORD)) {
        if (chipdata_reg_field(r->row, F_GIGA_SPEED) != nullptr) {
            const uint64_t code = field(r, F_GIGA_SPEED);
            return code >= 2 ? 1000 : code == 1 ? 100 : 10;
        }
        // The DXP7102 takes its fast-Ethernet speed bit inverted.
        const bool inverted =
            profile_.kind == ChipKind::DXP7102A0 || profile_.kind == ChipKind::DXP7102A1;
        return (field(r, F_SPEED_R) != 0) != inverted ? 100 : 10;
    }
    const LinkState link = chip_.portLink(port);
    if (link.up && link.speed > 0) return link.speed;
    return profile_.portClass(port) == PortClass::Gigabit ? 1000 : 100;
}

bool Fabric::fullDuplex(int port) const {
    // Gigabit is carried full duplex only.
    if (lineRateMbps(port) >= 1000) return true;
    const RegInstance *r = portReg(R_STS_OVERRIDE_P, port);
    const bool fast = r != nullptr;
    if (r == nullptr) r = portReg(R_STS_OVERRIDE_GP, port);
    if (r != nullptr && field(r, F_SW_ORD)) {
        // The DXP7102 takes its fast-Ethernet duplex bit inverted too.
        const bool inverted =
            fast && (profile_.kind == ChipKind::DXP7102A0 || profile_.kind == ChipKind::DXP7102A1);
        return (field(r, F_DUPLX_MODE) != 0) != inverted;
    }
    const LinkState link = chip_.portLink(port);
    return !link.up || link.full_duplex;
}

void Fabric::feedWire(int port) {
    PortState &s = state_[static_cast<size_t>(port)];
    while (!s.host_queue.empty()) {
        const uint64_t now_ns = clock_.now() * 1000;
        if (s.wire_free_ns > now_ns) {
            if (!s.wire_armed) {
                s.wire_armed = true;
                schedule((s.wire_free_ns - now_ns + 999) / 1000, [this, port] {
                    state_[static_cast<size_t>(port)].wire_armed = false;
                    feedWire(port);
                });
            }
            return;
        }
        std::vector<uint8_t> wire = std::move(s.host_queue.front());
        const uint32_t cells = cellsOf(wire);
        // A PHY looped back since the frame was queued no longer listens to
        // the wire: the frame is lost on it, as on a cable.
        if (chip_.phyLoopedBack(port)) {
            s.host_queue.pop_front();
            s.host_cells -= cells;
            continue;
        }
        const int queue = arrivalQueue(port, wire);
        if (!bufferAdmits(port, queue, cells)) {
            // Back-pressure: the frame waits at the head until cells are freed.
            s.host_queue.front() = std::move(wire);
            if (!s.room_wait) {
                s.room_wait = true;
                room_waiters_.push_back(port);
            }
            return;
        }
        s.host_queue.pop_front();
        s.host_cells -= cells;
        // A wire event run late makes up for it: what the wire would have
        // carried by now goes in at once, as far as there is room.
        s.wire_free_ns += wireNs(wire.size(), lineRateMbps(port));
        enqueueIngress(port, std::move(wire), 0, false, s.wire_free_ns, queue);
    }
}

}  // namespace sim
