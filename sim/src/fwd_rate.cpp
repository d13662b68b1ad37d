// Ingress rate limiting, storm control and egress shaping: token buckets on
// the model clock, set by the port's rate-control registers. Bucket 0 limits
// the packet classes of PKT_MSK0, bucket 1 (storm control) those of PKT_MSK1;
// frames out of their profile are dropped (the model sends no pause frames).
// The egress bucket paces everything a port sends: frames over the limit
// wait in the port's queues like any backlog.
#include <algorithm>

#include "sim/fabric.h"

#include "chipdata/storm_sup.h"

namespace sim {

namespace {

constexpr uint32_t kNoIngressLimit = 254;
constexpr uint32_t kLargestRateCode = 240;
constexpr uint64_t kNoTokensRecheckNs = 1'000'000;
// The longest a frame held by the egress limit waits before the limit is read
// again, so a limit raised or removed meanwhile frees the backlog this soon.
constexpr uint64_t kShapedRecheckNs = 10'000'000;
constexpr MacAddr kReservedGroup = 0x0180c2000000ull;  // 01-80-C2-00-00-0x

// Packet classes of the PKT_MSK fields.
enum PacketClass : uint32_t {
    kUnicastHit = 0x01,
    kMulticastHit = 0x02,
    kReservedMulticast = 0x04,
    kBroadcastClass = 0x08,
    kMulticastMiss = 0x10,
    kUnicastMiss = 0x20,
};

// Kilobits of a BUCKET_SIZE code.
double bucketKbits(uint64_t code) {
    static constexpr double kKbits[] = {48, 80, 144, 272, 528, 1040};
    return kKbits[code < 5 ? code : 5];
}

}  // namespace

double Fabric::rateKbps(uint32_t code) {
    return code >= 128 ? code * 8192.0 - 942080 : code >= 29 ? code * 1024.0 - 27648 : code * 64.0;
}

bool Fabric::takeTokens(Bucket &b, double kbps, double burst_kbits, size_t bytes) {
    uint64_t now = clock_.now();
    double burst = burst_kbits * 1000;
    if (!b.primed) {  // a new bucket starts full
        b.primed = true;
        b.tokens = burst;
        b.last = now;
    }
    b.tokens += kbps * 1000 * static_cast<double>(now - b.last) / 1e6;
    if (b.tokens > burst) b.tokens = burst;
    b.last = now;
    double bits = static_cast<double>(bytes) * 8.0;
    if (b.tokens < bits) return false;
    b.tokens -= bits;
    return true;
}

uint32_t Fabric::packetClass(const FrameView &view, const Classified &c) {
    if (view.dst == kBroadcast) return kBroadcastClass;
    if ((view.dst & ~0xfull) == kReservedGroup) return kReservedMulticast;
    bool hit = chip_.tables().lookup(view.dst, c.vid).has_value();
    if (isMulticast(view.dst)) return hit ? kMulticastHit : kMulticastMiss;
    return hit ? kUnicastHit : kUnicastMiss;
}

// The port's ingress control word, read with the layout of PORT_IRC_CON: on
// the 52-port chip the ports above 31 have theirs in a second register.
bool Fabric::ingressControl(int port, uint64_t *raw, const chipdata_reg **layout) const {
    const RegInstance *first = reg(R_PORT_IRC_CON);
    if (first == nullptr) return false;
    *layout = first->row;
    if (const RegInstance *r = portReg(R_PORT_IRC_CON, port)) {
        *raw = regs_.peek(*r);
        return true;
    }
    const RegInstance *r = reg(R_PORT_IRC1_CON, port - static_cast<int>(first->row->count));
    if (r == nullptr) return false;
    *raw = regs_.peek(*r);
    return true;
}

bool Fabric::ingressRateAdmits(int port, const FrameView &view, const Classified &c,
                               size_t wire_bytes) {
    uint64_t raw = 0;
    const chipdata_reg *layout = nullptr;
    if (!ingressControl(port, &raw, &layout)) return true;
    auto get = [&](int field_id) -> uint64_t {
        const chipdata_field *f = chipdata_reg_field(layout, field_id);
        return f == nullptr ? 0 : (raw >> f->bp) & ((1ull << f->len) - 1);
    };
    if (!get(F_ING_RC_EN)) return true;
    // A chip with a common control takes the packet classes from it.
    const RegInstance *common = reg(R_COMM_IRC_CON);
    uint64_t mask0 = common ? field(common, F_PKT_MSK0) : get(F_PKT_MSK0);
    uint64_t mask1 = common ? field(common, F_PKT_MSK1) : get(F_PKT_MSK1);
    // The DXP7102 takes the storm classes from the port's suppression fields.
    const RegInstance *sup = reg(chipdata_storm_sup_reg(port));
    if (sup != nullptr && port < CHIPDATA_STORM_SUP_PORTS) {
        const chipdata_storm_sup &f = CHIPDATA_STORM_SUP[port];
        mask1 = !field(sup, f.enable)
                    ? 0
                    : (field(sup, f.bcast) ? kBroadcastClass : 0u) |
                          (field(sup, f.mcast) ? kMulticastHit | kMulticastMiss : 0u) |
                          (field(sup, f.dlf) ? kUnicastMiss : 0u);
    }
    uint32_t cls = packetClass(view, c);
    auto &buckets = port_buckets_[static_cast<size_t>(port)];
    uint64_t code0 = get(F_REF_CNT0);
    if ((mask0 & cls) && code0 != kNoIngressLimit &&
        !takeTokens(buckets[0], rateKbps(static_cast<uint32_t>(code0)),
                    bucketKbits(get(F_BUCKET_SIZE0)), wire_bytes))
        return false;
    uint64_t code1 = get(F_REF_CNT1);
    if ((mask1 & cls) && code1 <= kLargestRateCode &&
        !takeTokens(buckets[1], rateKbps(static_cast<uint32_t>(code1)),
                    bucketKbits(get(F_BUCKET_SIZE1)), wire_bytes))
        return false;
    return true;
}

uint64_t Fabric::egressRateStart(int port, size_t wire_bytes, uint64_t start_ns, uint64_t now_ns) {
    const RegInstance *r = portReg(R_PORT_ERC_CON, port);
    if (r == nullptr || !field(r, F_ENG_RC_EN)) return start_ns;
    const double kbps = rateKbps(static_cast<uint32_t>(field(r, F_REF_CNTS)));
    // A refresh count of 0 adds no tokens: the port sends nothing until the
    // register changes.
    if (kbps <= 0) return std::max(start_ns, now_ns) + kNoTokensRecheckNs;
    // The bucket as the time up to which it has paid for what the port
    // sent: a frame may start once it fits in the burst with what is still
    // owed (a frame larger than the burst once nothing is).
    const auto cost = static_cast<uint64_t>(static_cast<double>(wire_bytes) * 8e6 / kbps);
    const auto burst = static_cast<uint64_t>(bucketKbits(field(r, F_BUCKET_SIZE)) * 1e9 / kbps);
    PortState &s = state_[static_cast<size_t>(port)];
    uint64_t &paid_ns = s.shaped_ns;
    // What is still owed is bits: a changed rate pays them off at its own
    // speed, not in the time the old rate would have taken.
    if (s.shaped_kbps != kbps && paid_ns > now_ns)
        paid_ns = now_ns + static_cast<uint64_t>(static_cast<double>(paid_ns - now_ns) *
                                                 s.shaped_kbps / kbps);
    s.shaped_kbps = kbps;
    const uint64_t debt_due = paid_ns + std::min(cost, burst);
    const uint64_t ready_ns = std::max(start_ns, debt_due > burst ? debt_due - burst : 0);
    if (ready_ns <= now_ns) paid_ns = std::max(paid_ns, ready_ns) + cost;
    return std::min(ready_ns, now_ns + kShapedRecheckNs);
}

}  // namespace sim
