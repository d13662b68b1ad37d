// Egress scheduling: a port sends at the speed and duplex its MAC runs (a
// half-duplex port shares one wire between both directions), and no faster
// than its egress limit lets it. What it cannot send yet waits in its
// class-of-service queue; the queues take turns as the scheduling mode
// orders (MODE_HQ_PREEMPT: the highest queue first, else rounds of each
// queue's quota of frames).
#include <algorithm>

#include "sim/fabric.h"

namespace sim {

namespace {

struct Quota {
    int reg;
    int field;
};
constexpr Quota kQuotas[Fabric::kQueues] = {
    {R_FCON_Q0_TXDSC_CTRL_3, F_Q0_QUOTA_SIZE},
    {R_FCON_Q1_TXDSC_CTRL_3, F_Q1_QUOTA_SIZE},
    {R_FCON_Q2_TXDSC_CTRL_3, F_Q2_QUOTA_SIZE},
    {R_FCON_Q3_TXDSC_CTRL_3, F_Q3_QUOTA_SIZE},
};

}  // namespace

void Fabric::wireOut(int port, std::vector<uint8_t> frame, int queue, int from) {
    PortState &s = state_[static_cast<size_t>(port)];
    queue = std::clamp(queue, 0, kQueues - 1);
    const uint32_t cells = static_cast<uint32_t>((frame.size() + 4 + kCellBytes - 1) / kCellBytes);
    const uint32_t room = kQueueCells + (from == profile_.cpu_port ? kCpuHoldCells : 0);
    if (!egress_.admits(static_cast<size_t>(port), static_cast<size_t>(queue), cells, room,
                        queuesAhead(queue))) {
        mib(R_TXDROPPKTS, port, 1);
        drops_.egress++;
        return;
    }
    const bool idle = !s.tx_armed && egressEmpty(port);
    egress_.take(static_cast<size_t>(port), static_cast<size_t>(queue), cells);
    if (from >= 0) state_[static_cast<size_t>(from)].in_egress += cells;
    s.tx_queue[static_cast<size_t>(queue)].push_back({std::move(frame), from, cells});
    if (!idle) return;
    // An idle wire starts when the frame came in: it has nothing to make up
    // from before.
    uint64_t &free_ns = fullDuplex(port) ? s.tx_free_ns : s.wire_free_ns;
    free_ns = std::max(free_ns, arrived_ns_ != 0 ? arrived_ns_ : clock_.now() * 1000);
    drainTx(port);
}

void Fabric::drainTx(int port) {
    PortState &s = state_[static_cast<size_t>(port)];
    const int rate = lineRateMbps(port);
    uint64_t &free_ns = fullDuplex(port) ? s.tx_free_ns : s.wire_free_ns;
    for (;;) {
        if (egressEmpty(port)) return;
        const uint64_t now_ns = clock_.now() * 1000;
        uint64_t start_ns = free_ns;
        int queue = -1;
        if (start_ns <= now_ns) {
            if (port == profile_.cpu_port && !cpuMacTakes()) return;
            // The egress limit may hold the frame whose turn it is: the turn
            // stays its own while it waits.
            const int wrr_queue = s.wrr_queue;
            const uint64_t wrr_left = s.wrr_left;
            queue = nextTxQueue(s);
            const size_t bytes = s.tx_queue[static_cast<size_t>(queue)].front().frame.size() + 4;
            start_ns = egressRateStart(port, bytes, start_ns, now_ns);
            if (start_ns > now_ns) {
                s.wrr_queue = wrr_queue;
                s.wrr_left = wrr_left;
            }
        }
        if (start_ns > now_ns) {
            s.tx_armed = true;
            schedule((start_ns - now_ns + 999) / 1000, [this, port] {
                state_[static_cast<size_t>(port)].tx_armed = false;
                drainTx(port);
            });
            return;
        }
        Leaving out = std::move(s.tx_queue[static_cast<size_t>(queue)].front());
        s.tx_queue[static_cast<size_t>(queue)].pop_front();
        egress_.give(static_cast<size_t>(port), static_cast<size_t>(queue), out.cells);
        // An event run late makes up for it: what the wire would have carried
        // by now leaves at once.
        free_ns = start_ns + wireNs(out.frame.size() + 4, rate);
        if (out.from >= 0) {
            uint32_t &in_egress = state_[static_cast<size_t>(out.from)].in_egress;
            const bool was_held = in_egress >= kPauseCells;
            in_egress -= out.cells;
            if (was_held && in_egress < kPauseCells) serveOwed();
        }
        leaveWire(port, std::move(out.frame), queue);
    }
}

uint32_t Fabric::queuesAhead(int queue) const {
    if (!field(R_FCON_FLOWMIX, F_MODE_HQ_PREEMPT)) return 0;
    // The preempting queues: the highest in use and any above it.
    const int top = std::max(static_cast<int>(field(R_QOS_CTL, F_QOS_EN)), queue + 1);
    return top >= kQueues ? 0 : ((1u << kQueues) - 1) & ~((1u << top) - 1);
}

bool Fabric::egressEmpty(int port) const {
    return egress_.portHeld(static_cast<size_t>(port)) == 0;
}

// Only called with a frame waiting in some queue.
int Fabric::nextTxQueue(PortState &s) {
    auto waiting = [&s](int q) { return !s.tx_queue[static_cast<size_t>(q)].empty(); };
    if (field(R_FCON_FLOWMIX, F_MODE_HQ_PREEMPT)) {
        // The highest queue in use (and any above it, left from a larger
        // count) preempts; the others share by weight.
        const int top = static_cast<int>(field(R_QOS_CTL, F_QOS_EN));
        for (int q = kQueues - 1; q >= top; q--) {
            if (waiting(q)) return q;
        }
    }
    uint32_t mask = 0;
    for (int q = 0; q < kQueues; q++)
        mask |= waiting(q) ? 1u << q : 0;
    return weightedTurn(&s.wrr_queue, &s.wrr_left, mask);
}

int Fabric::weightedTurn(int *queue, uint64_t *left, uint32_t waiting) const {
    // Each queue in turn, highest first, sends up to its quota (at least one).
    for (int turns = 0; turns <= 2 * kQueues; turns++) {
        if (*left > 0 && ((waiting >> *queue) & 1)) {
            --*left;
            return *queue;
        }
        *queue = (*queue + kQueues - 1) % kQueues;
        const Quota &quota = kQuotas[*queue];
        *left = std::max<uint64_t>(field(quota.reg, quota.field), 1);
    }
    for (int q = kQueues - 1; q > 0; q--) {
        if ((waiting >> q) & 1) return q;
    }
    return 0;
}

}  // namespace sim
