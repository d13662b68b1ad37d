// Ingress stages: port gates, receive counters and size checks, VLAN
// classification and filtering, spanning-tree state; then the frame goes to
// learning and the destination lookup.
#include "sim/fabric.h"

namespace sim {

namespace {

constexpr MacAddr kPauseAddr = 0x0180c2000001ull;
constexpr int kStpDisabled = 1, kStpLearning = 4, kStpForwarding = 5;

}  // namespace

const RegInstance *Fabric::reg(int reg_id, int instance) const {
    uint64_t key = static_cast<uint64_t>(reg_id) << 32 | static_cast<uint32_t>(instance);
    auto it = reg_cache_.find(key);
    if (it != reg_cache_.end()) return it->second;
    const RegInstance *r = regs_.find(reg_id, instance);
    reg_cache_[key] = r;
    return r;
}

const RegInstance *Fabric::portReg(int reg_id, int port) const {
    uint64_t key = static_cast<uint64_t>(reg_id) << 32 | 1u << 31 | static_cast<uint32_t>(port);
    auto it = reg_cache_.find(key);
    if (it != reg_cache_.end()) return it->second;
    const RegInstance *r = findInstance(profile_, regs_.instances(), reg_id, port, -1);
    if (r != nullptr && r->port != port) r = nullptr;
    reg_cache_[key] = r;
    return r;
}

uint64_t Fabric::field(const RegInstance *r, int field_id, uint64_t absent) const {
    const chipdata_field *f = r ? chipdata_reg_field(r->row, field_id) : nullptr;
    if (f == nullptr) return absent;
    uint64_t v = regs_.peek(*r) >> f->bp;
    return f->len >= 64 ? v : v & ((1ull << f->len) - 1);
}

void Fabric::mib(int reg_id, int port, uint64_t delta) {
    uint64_t key = static_cast<uint64_t>(reg_id) << 32 | 1u << 30 | static_cast<uint32_t>(port);
    auto it = reg_cache_.find(key);
    const RegInstance *r;
    if (it != reg_cache_.end()) {
        r = it->second;
    } else {
        r = chip_.mib().find(reg_id, port);
        reg_cache_[key] = r;
    }
    if (r != nullptr) chip_.mib().add(*r, delta);
}

const RegInstance *Fabric::portCtl(int port) const {
    for (int id : {R_TH_PCTL, R_G_PCTL, R_MII_PCTL}) {
        if (const RegInstance *r = portReg(id, port)) return r;
    }
    return nullptr;
}

// The MAC's link: the override register's bit when software owns it, else
// the PHY's (a looped-back PHY or a loopback plug counts as a link).
bool Fabric::macLinkUp(int port) const {
    if (port == profile_.cpu_port) return true;
    // The DXP7102's fast-Ethernet override takes the link bit inverted.
    const bool inverted =
        (profile_.kind == ChipKind::DXP7102A0 || profile_.kind == ChipKind::DXP7102A1) &&
        profile_.portClass(port) == PortClass::FastEthernet;
    for (int id : {R_STS_OVERRIDE_P, R_STS_OVERRIDE_GP, R_STS_OVERRIDE_P24}) {
        const RegInstance *r = portReg(id, port);
        if (r != nullptr && field(r, F_SW_ORD))
            return (field(r, F_LINK_STS) != 0) != (inverted && id == R_STS_OVERRIDE_P);
    }
    if (state_[static_cast<size_t>(port)].plug) return true;
    if (chip_.phyPeek(port, 0) & 0x4000) return (chip_.phyPeek(port, 0) & 0x0800) == 0;
    return chip_.portLink(port).up;
}

bool Fabric::gateOpen(int port, bool from_cpu) {
    if (!from_cpu && !macLinkUp(port)) return false;
    if (field(portCtl(port), F_MIRX_DIS)) return false;
    return field(R_SWMODE, F_SW_FWDG_EN) != 0;
}

// Counts the frame as received; false when it is dropped as an error or
// consumed (pause).
bool Fabric::countRx(int port, const std::vector<uint8_t> &wire) {
    size_t len = wire.size();
    mib(R_RXOCTETS, port, len);
    bool good = fcsOk(wire);
    bool runt = len < 64;
    bool big = len > static_cast<size_t>(profile_.frame_max);
    if (!good || runt || big) {
        int counter = !good ? (runt  ? R_RXFRAGMENTS
                               : big ? R_RXJABBERS
                                     : R_RXFCSERRORS)
                            : (runt ? R_RXUNDERSIZEPKTS : R_RXOVERSIZEPKTS);
        mib(counter, port, 1);
        drops_.error++;
        return false;
    }
    mib(R_RXGOODOCTETS, port, len);
    const int buckets[] = {R_PKTS64OCTETS,       R_PKTS65TO127OCTETS,   R_PKTS128TO255OCTETS,
                           R_PKTS256TO511OCTETS, R_PKTS512TO1023OCTETS, R_PKTS1024TO1522OCTETS};
    const size_t limits[] = {64, 127, 255, 511, 1023, 1522};
    for (int b = 0; b < 6; b++) {
        if (len <= limits[b]) {
            mib(buckets[b], port, 1);
            break;
        }
    }
    // The counter map has no bucket above 1522 bytes: a longer good frame the
    // port still takes (a jumbo) is an oversize one.
    if (len > limits[5]) mib(R_RXOVERSIZEPKTS, port, 1);
    MacAddr dst = macAt(wire.data());
    if (dst == kPauseAddr && wire[12] == 0x88 && wire[13] == 0x08) {
        mib(R_RXPAUSEPKTS, port, 1);
        return false;
    }
    mib(dst == kBroadcast  ? R_RXBROADCASTPKT
        : isMulticast(dst) ? R_RXMULTICASTPKTS
                           : R_RXUNICASTPKTS,
        port, 1);
    return true;
}

bool Fabric::classify(int port, const FrameView &view, Classified *c) {
    const RegInstance *def = portReg(R_DEFAULT_1Q_TAG, port);
    uint16_t pvid = static_cast<uint16_t>(field(def, F_DEF_TAG, 1));
    c->vid = view.tagged && view.vid != 0 ? view.vid : pvid;
    c->pri = view.tagged ? view.pri : static_cast<uint8_t>(field(def, F_PRI_R));
    c->members = portMask();
    if (!field(R_VLAN_CTRL0, F_VLAN_EN)) return true;
    if (!view.tagged && ((field(R_VLAN_CTRL3, F_EN_DROP_NON1Q) >> port) & 1)) return false;
    uint64_t words[3];
    if (!chip_.tables().otherRow(1, c->vid, words)) return true;  // no VLAN table here
    bool filter = field(R_VLAN_CTRL4, F_INGR_VID_CHK) != 0;
    // An unknown VLAN has no members, so the ingress filter refuses it too.
    if ((words[0] & portMask()) == 0) return !field(R_VLAN_CTRL5, F_DROP_VTABLE_MISS) && !filter;
    c->vlan_on = true;
    c->members = words[0] & portMask();
    c->untag = words[1] & portMask();
    c->mspt = static_cast<int>(words[2] & 0xff);
    if (filter && !((c->members >> port) & 1)) return false;
    return true;
}

// 0 (never set: the reset state forwards) or the 3-bit state code.
int Fabric::stpState(int port, const Classified &c) const {
    uint64_t words[3];
    if (field(R_MST_CON, F_EN_802_1S) && chip_.tables().otherRow(3, c.mspt, words)) {
        if (profile_.chip_flags & 0x200000) {  // DXP7102: a two-bit code at 2p
            static constexpr int kStates[] = {kStpDisabled, 2, kStpLearning, kStpForwarding};
            return kStates[(words[0] >> (2 * port)) & 3];
        }
        int bit;
        if (profile_.chip_flags & 0x4000000)
            bit = 3 * port + (port < 20 ? 0 : port < 40 ? 4 : 8);
        else
            bit = 3 * port + (port < 16 ? 76 : 80);
        return static_cast<int>((words[bit / 64] >> (bit % 64)) & 7);
    }
    const RegInstance *ctl = portCtl(port);
    return ctl ? static_cast<int>((regs_.peek(*ctl) >> 5) & 7) : 0;
}

void Fabric::ingress(int port, const std::vector<uint8_t> &wire, bool from_cpu) {
    if (!gateOpen(port, from_cpu)) {
        // A frame off the wire that the MAC does not take yet (its link
        // not yet seen by the driver, its receive off) is lost at the port.
        if (!from_cpu) mib(R_RXDROPPKTS, port, 1);
        drops_.gate++;
        return;
    }
    if (!countRx(port, wire)) return;
    std::vector<uint8_t> frame(wire.begin(), wire.end() - 4);
    FrameView view = FrameView::parse(frame);
    Classified c;
    if (!classify(port, view, &c)) {
        mib(R_RXDROPPKTS, port, 1);
        drops_.vlan++;
        return;
    }
    // Every frame the port took and then dropped is counted as dropped there.
    int state = stpState(port, c);
    if (state == kStpDisabled) {
        mib(R_RXDROPPKTS, port, 1);
        drops_.stp++;
        return;
    }
    bool to_cpu_only = false;
    int entry_cos = -1;
    uint64_t dest = destinations(view, c, &to_cpu_only, &entry_cos);
    if (to_cpu_only) {
        c.queue = c.cpu_queue = egressQueue(port, frame, view, c, -1);
        toCpuPort(port, frame, c);
        return;
    }
    bool forwards = state == 0 || state == kStpForwarding;
    if ((forwards || state == kStpLearning) && !isMulticast(view.src))
        chip_.tables().learn(port, view.src, c.vid);
    if (!forwards) {
        mib(R_RXDROPPKTS, port, 1);
        drops_.stp++;
        return;
    }
    if (!ingressRateAdmits(port, view, c, wire.size())) {
        mib(R_RXDROPPKTS, port, 1);
        drops_.rate++;
        return;
    }
    CfpResult cfp = fieldProcessor(port, frame, view, c);
    c.queue = egressQueue(port, frame, view, c, cfp.pri);
    // The CPU's station entry gives frames to the switch's own address their
    // queue at the CPU port.
    c.cpu_queue =
        cfp.pri < 0 && entry_cos >= 0 ? egressQueue(port, frame, view, c, entry_cos) : c.queue;
    uint64_t unlinked = 0;
    uint64_t out = egressSet(port, dest, view, c, &unlinked);
    if (cfp.drop) {
        mib(R_RXDROPPKTS, port, 1);
        out = 0;
    } else if (cfp.redirect >= 0) {
        bool ok = cfp.redirect < profile_.num_ports && macLinkUp(cfp.redirect);
        out = ok ? 1ull << cfp.redirect : 0;
    } else if (out == 0 && entry_cos >= 0 && dest != 0 && (dest & ~trunkOf(port)) == 0) {
        // Its address entry sends the frame back out of the port (or the
        // trunk) it came in at, which no frame leaves by: dropped there, and
        // counted so, whichever member it came in on.
        mib(R_RXDROPPKTS, port, 1);
    } else if (entry_cos >= 0) {
        // Its address entry names a port without link: the port drops it
        // and counts it, as it does what the CPU sends there.
        for (int p = 0; unlinked != 0 && p < profile_.num_ports; p++) {
            if ((unlinked >> p) & 1) mib(R_TXDROPPKTS, p, 1);
        }
    }
    if (cfp.copy >= 0 && cfp.copy < profile_.num_ports && cfp.copy != port) out |= 1ull << cfp.copy;
    // Mirroring: a copy of what the port received, and one of what the
    // mirrored egress ports send, to the capture port.
    int capture = -1;
    if (field(R_MIRCAPCTL, F_MIR_EN)) {
        uint64_t cap = field(R_MIRCAPCTL, F_SMIR_CAP_PORT) & portMask();
        for (int p = 0; cap != 0 && p < profile_.num_ports; p++) {
            if ((cap >> p) & 1) {
                capture = p;
                break;
            }
        }
    }
    if (out == 0 && capture < 0) {
        drops_.no_egress++;
        return;
    }
    // The egress copy is each mirrored port's frame exactly as it left.
    const uint64_t egress_mirrored =
        capture >= 0 && !((field(R_IGMIRCTL, F_IN_MIR_MSK) >> port) & 1)
            ? field(R_EGMIRCTL, F_OUT_MIR_MSK)
            : 0;
    // A copy to the CPU port carries the management tag like any frame to it.
    auto mirror = [&](std::vector<uint8_t> copy) {
        if (capture == profile_.cpu_port)
            toCpuPort(port, std::move(copy), c);
        else
            wireOut(capture, std::move(copy), c.queue, port);
    };
    for (int p = 0; p < profile_.num_ports; p++) {
        if (!((out >> p) & 1)) continue;
        std::vector<uint8_t> sent;
        if (transmit(p, port, frame, c, &sent) && ((egress_mirrored >> p) & 1) && p != capture)
            mirror(std::move(sent));
    }
    if (capture >= 0 && ((field(R_IGMIRCTL, F_IN_MIR_MSK) >> port) & 1)) mirror(frame);
}

}  // namespace sim
