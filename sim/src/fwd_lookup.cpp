// Destination lookup and the egress set: trapped addresses, the address
// table, flooding within the VLAN, port-based VLANs, link and spanning-tree
// filtering and the choice of one member per trunk.
#include "sim/fabric.h"

namespace sim {

namespace {

constexpr int kStpForwarding = 5;

}  // namespace

uint64_t Fabric::destinations(const FrameView &view, const Classified &c, bool *to_cpu_only,
                              int *entry_cos) {
    const uint64_t cpu = 1ull << profile_.cpu_port;
    uint64_t bpdu = field(R_BPDU_MCADDR, F_BPDU_MC_ADDR, kBpduAddr);
    if (view.dst == bpdu && field(R_GMNGCFG, F_RXBPDU_EN)) {
        *to_cpu_only = true;
        return cpu;
    }
    uint64_t igmp = field(R_GMNGCFG, F_IGMP_IP_CHK) | field(R_GMNGCFG, F_IGMPIP_SNOP_EN);
    if (view.ipv4 && view.ip_proto == 2 && igmp) {
        *to_cpu_only = true;
        return cpu;
    }
    if (field(R_GARLCFG, F_MPADDR_EN)) {
        const int addrs[2] = {R_GRPADDR1, R_GRPADDR2};
        const int vecs[2] = {R_PORTVEC1, R_PORTVEC2};
        for (int k = 0; k < 2; k++) {
            const RegInstance *a = reg(addrs[k]);
            if (a != nullptr && field(a, F_GRP_ADDR) == view.dst)
                return field(vecs[k], F_PORT_VCTR) & portMask();
        }
    }
    if (view.dst != kBroadcast) {
        if (auto hit = chip_.tables().lookup(view.dst, c.vid)) {
            *entry_cos = hit->cos;
            if (!hit->group && hit->port >= 0 && hit->port < profile_.num_ports)
                return 1ull << hit->port;
            if (hit->group) return hit->pbmp & portMask();
        }
    }
    // Flood within the VLAN; the CPU only takes the kinds it asked for.
    uint64_t flood = c.members & ~cpu;
    const RegInstance *mii = portReg(R_MII_PCTL, profile_.cpu_port);
    int want = view.dst == kBroadcast  ? F_MIRX_BC_EN
               : isMulticast(view.dst) ? F_MIRX_MC_EN
                                       : F_MIRX_UC_EN;
    if (field(mii, want) && (c.members & cpu)) flood |= cpu;
    return flood;
}

uint64_t Fabric::egressSet(int port, uint64_t dest, const FrameView &view, const Classified &c,
                           uint64_t *unlinked) {
    // A trunk is one destination: an address learned on a member reaches
    // whichever member the hash picks among those that may send.
    const std::vector<uint64_t> trunks = trunkGroups();
    for (uint64_t members : trunks) {
        if (dest & members) dest |= members;
    }
    uint64_t set = dest & c.members & ~(1ull << port);
    const RegInstance *pvlan = portReg(R_PORT_VLAN_CTL, port);
    if (pvlan != nullptr) set &= field(pvlan, F_PORT_EGRESS_EN);
    uint64_t down = 0;
    for (int p = 0; p < profile_.num_ports; p++) {
        if (!((set >> p) & 1)) continue;
        if (!macLinkUp(p)) {
            down |= 1ull << p;
            set &= ~(1ull << p);
            continue;
        }
        int state = stpState(p, c);
        if (field(portCtl(p), F_MITX_DIS) || (state != 0 && state != kStpForwarding))
            set &= ~(1ull << p);
    }
    set = trunkReduce(port, set, view, trunks);
    // A trunk loses the frame only when no member takes it, and then once:
    // at its first member without link.
    down &= ~trunkOf(port);
    for (uint64_t members : trunks) {
        const uint64_t lost = down & members;
        down &= ~members;
        if (lost != 0 && (set & members) == 0) down |= lost & ~(lost - 1);
    }
    *unlinked = down;
    return set;
}

std::vector<uint64_t> Fabric::trunkGroups() const {
    std::vector<uint64_t> groups;
    // The DXP7102 trunks its gigabit pair with a bit of its own, whatever
    // the fast-Ethernet groups do.
    if (field(R_GLOBAL_TRUNK_CTL, F_EN_TRUNK_GIGA)) {
        uint64_t gigabit = 0;
        for (int p = 0; p < profile_.num_ports; p++) {
            if (profile_.portClass(p) == PortClass::Gigabit) gigabit |= 1ull << p;
        }
        groups.push_back(gigabit);
    }
    if (!field(R_GLOBAL_TRUNK_CTL, F_EN_TRUNK_LOCAL)) return groups;
    for (int id : {R_TRUNK_GRP0_CTL, R_TRUNK_GRP1_CTL}) {
        for (int i = 0; i < 8; i++) {
            const RegInstance *r = reg(id, i);
            if (r == nullptr || r->row->num_fields < 2) break;
            const chipdata_field &map = r->row->fields[0];
            const chipdata_field &en = r->row->fields[1];
            uint64_t v = regs_.peek(*r);
            if (!((v >> en.bp) & 1)) continue;
            uint64_t members = (v >> map.bp) & ((1ull << map.len) - 1) & portMask();
            if (members != 0) groups.push_back(members);
        }
    }
    return groups;
}

uint64_t Fabric::trunkOf(int port) const {
    for (uint64_t members : trunkGroups()) {
        if ((members >> port) & 1) return members;
    }
    return 1ull << port;
}

// The set has passed every egress check, so the hash chooses only among
// members that may send: a blocking member or one outside the VLAN never
// takes a trunk's share.
uint64_t Fabric::trunkReduce(int port, uint64_t set, const FrameView &view,
                             const std::vector<uint64_t> &trunks) {
    // TRUNK_SEED: 1 hashes the source address alone, 2 the destination
    // alone, else both.
    uint64_t seed = field(R_GLOBAL_TRUNK_CTL, F_TRUNK_SEED);
    uint64_t key = seed == 1 ? view.src : seed == 2 ? view.dst : view.dst ^ view.src;
    uint32_t hash = 0;
    for (int k = 0; k < 6; k++)
        hash ^= static_cast<uint32_t>((key >> (8 * k)) & 0xff);
    for (uint64_t members : trunks) {
        uint64_t usable = set & members;
        set &= ~members;
        if ((members >> port) & 1) continue;  // never back into the trunk it came from
        std::vector<int> candidates;
        for (int p = 0; p < profile_.num_ports; p++) {
            if ((usable >> p) & 1) candidates.push_back(p);
        }
        if (!candidates.empty()) set |= 1ull << candidates[hash % candidates.size()];
    }
    return set;
}

}  // namespace sim
