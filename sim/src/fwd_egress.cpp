// Egress: tagging per the VLAN's untagged map, transmit counters, the wire
// (capture, sink, cable, loopback) a frame leaves on, and the management
// port in both directions.
#include <algorithm>

#include "sim/fabric.h"

namespace sim {

namespace {

constexpr size_t kMgmtTagBytes = 6;
// Chip port of bit 0 of the tag word's second port group (opcode 4).
constexpr int kSecondGroupFirstPort = 24;

void insertTag(std::vector<uint8_t> &f, uint16_t vid, uint8_t pri) {
    uint16_t tci = static_cast<uint16_t>(pri << 13 | (vid & 0xfff));
    uint8_t tag[4] = {0x81, 0x00, static_cast<uint8_t>(tci >> 8), static_cast<uint8_t>(tci)};
    f.insert(f.begin() + 12, tag, tag + 4);
}

// The frame as the VLAN's egress rule wants it on one port.
std::vector<uint8_t> tagged(const std::vector<uint8_t> &frame, uint16_t vid, uint8_t pri) {
    std::vector<uint8_t> f = frame;
    FrameView v = FrameView::parse(f);
    if (!v.tagged) {
        insertTag(f, vid, pri);
    } else if (v.vid == 0) {  // priority tag: the VLAN id fills in
        f[14] = static_cast<uint8_t>((f[14] & 0xf0) | (vid >> 8));
        f[15] = static_cast<uint8_t>(vid);
    }
    return f;
}

std::vector<uint8_t> untagged(const std::vector<uint8_t> &frame) {
    std::vector<uint8_t> f = frame;
    if (FrameView::parse(f).tagged) f.erase(f.begin() + 12, f.begin() + 16);
    if (f.size() < 60) f.resize(60, 0);
    return f;
}

}  // namespace

void Fabric::countTx(int port, const std::vector<uint8_t> &frame) {
    MacAddr dst = macAt(frame.data());
    mib(R_TXOCTETS, port, frame.size() + 4);
    mib(dst == kBroadcast  ? R_TXBROADCASTPKTS
        : isMulticast(dst) ? R_TXMULTICASTPKTS
                           : R_TXUNICASTPKTS,
        port, 1);
}

std::vector<uint8_t> Fabric::egressFrame(int port, const std::vector<uint8_t> &frame,
                                         const Classified &c) const {
    if (!c.vlan_on) return frame;
    return ((c.untag >> port) & 1) ? untagged(frame) : tagged(frame, c.vid, c.pri);
}

bool Fabric::transmit(int port, int from, const std::vector<uint8_t> &frame, const Classified &c,
                      std::vector<uint8_t> *sent) {
    if (port == profile_.cpu_port) {
        toCpuPort(from, frame, c);
        return false;
    }
    std::vector<uint8_t> out = egressFrame(port, frame, c);
    if (sent != nullptr) *sent = out;
    wireOut(port, std::move(out), c.queue, from);
    return true;
}

void Fabric::countLeaving(int port, const std::vector<uint8_t> &frame, int queue) {
    countTx(port, frame);
    if (queue >= 0 && queue < kQueues) queue_counts_[static_cast<size_t>(port)][queue]++;
    // The QoS transmit counters take the frames of every queue above the
    // best-effort one (the chip keeps no selector for them).
    if (queue > 0) {
        mib(R_TXQOSPKTS, port, 1);
        mib(R_TXQOSOCTETS, port, frame.size() + 4);
    }
}

void Fabric::leaveWire(int port, std::vector<uint8_t> frame, int queue) {
    if (port == profile_.cpu_port) return leaveToCpu(std::move(frame), queue);
    PortState &st = state_[static_cast<size_t>(port)];
    const bool phy_loop = chip_.phyLoopedBack(port);
    const bool to_sink = !st.plug && !phy_loop && st.peer < 0 && st.sink;
    if (to_sink && outbox_.size() >= kSinkBacklog) {
        mib(R_TXDROPPKTS, port, 1);
        drops_.buffer++;
        return;
    }
    applyFault(frame);
    countLeaving(port, frame, queue);
    if (st.plug || phy_loop) {
        enqueueIngress(port, withFcs(frame), kHopDelayUs);
    } else if (st.peer >= 0) {
        enqueueIngress(st.peer, withFcs(frame), 0);
    } else if (to_sink) {
        FrameSink sink = st.sink;
        outbox_.push_back([sink, f = std::move(frame)]() mutable { sink(std::move(f)); });
    } else {
        FrameView v = FrameView::parse(frame);
        SentFrame s;
        s.tagged = v.tagged;
        s.vid = v.vid;
        s.pri = v.pri;
        s.queue = queue;
        s.seq = ++seq_;
        s.bytes = std::move(frame);
        if (st.sent.size() < kCapturedFrames) st.sent.push_back(std::move(s));
    }
}

// Tag word: ingress chip port (DXP7106: plus 24, modulo 64), the length of
// the frame left once the management tag is gone (FCS excluded) where the
// chip type keeps it, opcode 0.
void Fabric::toCpuPort(int ingress_port, std::vector<uint8_t> frame, const Classified &c) {
    FrameView v = FrameView::parse(frame);
    if (!v.tagged) insertTag(frame, c.vid, c.pri);
    uint32_t len = static_cast<uint32_t>(frame.size());
    uint32_t port_field = static_cast<uint32_t>(ingress_port + profile_.port_offset) & 0x3f;
    int shift = 15;
    if (profile_.chip_flags & 0x200000) shift = 16;
    if (profile_.chip_flags & 0x2C000000) shift = 17;
    uint32_t word = port_field | (len & ((1u << (29 - shift)) - 1)) << shift;
    uint32_t crc = crc32(frame);
    uint8_t mgmt[kMgmtTagBytes] = {0x88,
                                   0x74,
                                   static_cast<uint8_t>(word >> 24),
                                   static_cast<uint8_t>(word >> 16),
                                   static_cast<uint8_t>(word >> 8),
                                   static_cast<uint8_t>(word)};
    frame.insert(frame.begin() + 12, mgmt, mgmt + kMgmtTagBytes);
    for (int k = 0; k < 4; k++)
        frame.push_back(static_cast<uint8_t>(crc >> (8 * k)));
    if (cpu_room_) return wireOut(profile_.cpu_port, std::move(frame), c.cpu_queue, ingress_port);
    if (cpu_sink_ && outbox_.size() >= kSinkBacklog) {
        mib(R_TXDROPPKTS, profile_.cpu_port, 1);
        drops_.buffer++;
        return;
    }
    countTx(profile_.cpu_port, frame);
    if (cpu_sink_) {
        FrameSink sink = cpu_sink_;
        outbox_.push_back([sink, f = std::move(frame)]() mutable { sink(std::move(f)); });
    } else if (to_cpu_.size() < kCapturedFrames) {
        to_cpu_.push_back(std::move(frame));
    }
}

void Fabric::fromCpu(std::span<const uint8_t> frame) {
    const int cpu = profile_.cpu_port;
    bool tag = frame.size() >= 12 + kMgmtTagBytes + 4 && frame[12] == 0x88 && frame[13] == 0x74;
    std::vector<uint8_t> inner;
    if (tag) {
        // Sized once and copied into: the optimiser cannot follow a growing
        // insert here and warns of a read past the source.
        inner.resize(frame.size() - kMgmtTagBytes);
        std::copy(frame.begin(), frame.begin() + 12, inner.begin());
        std::copy(frame.begin() + 12 + kMgmtTagBytes, frame.end(), inner.begin() + 12);
    }
    if (!tag || !fcsOk(inner)) {
        anomalies_.record(
            AnomalyKind::CpuFrame, 0,
            tag ? "CPU frame with a bad CRC" : "CPU frame without the management tag");
        mib(R_RXFCSERRORS, cpu, 1);
        drops_.error++;
        return;
    }
    uint32_t word =
        static_cast<uint32_t>(frame[14] << 24 | frame[15] << 16 | frame[16] << 8 | frame[17]);
    uint32_t opcode = word >> 29;
    if (opcode == 0) {
        enqueueIngress(cpu, std::move(inner), 0, true);
        return;
    }
    if (opcode != 3 && opcode != 4) {
        anomalies_.record(AnomalyKind::CpuFrame, word, "CPU frame with an unknown opcode");
        drops_.error++;
        return;
    }
    // Sent as given: the CPU already chose the ports and the tagging.
    inner.erase(inner.end() - 4, inner.end());  // the CRC (the tag check kept 4 bytes)
    // The second group counts from chip port 24; the model numbers ports as
    // the driver does, without the DXP7106's shift.
    int base = opcode == 4 ? kSecondGroupFirstPort - profile_.port_offset : 0;
    for (int bit = 0; bit < 29; bit++) {
        int p = base + bit;
        if (!((word >> bit) & 1) || p < 0 || p >= profile_.num_ports || p == cpu) continue;
        // A port without link drops what the CPU gives it, and counts it.
        if (macLinkUp(p)) {
            wireOut(p, inner, 0, cpu);
        } else {
            mib(R_TXDROPPKTS, p, 1);
            drops_.gate++;
        }
    }
}

void ImpPort::setCpuSink(FrameSink sink) {
    std::lock_guard<ChipMutex> g(fabric_.chip_.mutex());
    fabric_.cpu_sink_ = std::move(sink);
    fabric_.cpu_room_ = nullptr;
}

void ImpPort::fromCpu(std::span<const uint8_t> frame) {
    std::unique_lock<ChipMutex> lock(fabric_.chip_.mutex());
    fabric_.fromCpu(frame);
    fabric_.kick(lock);
}

std::vector<std::vector<uint8_t>> ImpPort::toCpu() const {
    std::lock_guard<ChipMutex> g(fabric_.chip_.mutex());
    return fabric_.to_cpu_;
}

void ImpPort::clearToCpu() {
    std::lock_guard<ChipMutex> g(fabric_.chip_.mutex());
    fabric_.to_cpu_.clear();
}

}  // namespace sim
