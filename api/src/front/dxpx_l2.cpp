// L2 addresses across the registered units.
#include <atomic>
#include <cstring>

#include "dxpx.h"
#include "dxpx_internal.h"

namespace {

std::atomic<uint32_t> age_changes{0};
// The lent ageing time: the managers' change count when it was lent in the
// high word, the time plus one in the low word; 0 when none is lent.
std::atomic<uint64_t> age_lent{0};
std::atomic<int> age_lenders{0};

// The fields that the unit's and the multi-unit record share beyond the key.
template <typename To, typename From>
void copy_shared_fields(To *to, const From &from) {
    to->flags = from.flags;
    to->tgid = from.tgid;
    to->rtag = from.rtag;
    to->cos_dst = from.cos_dst;
    to->cos_src = from.cos_src;
    to->l2mc_index = from.l2mc_index;
    to->group = from.group;
}

// The unit's form of a multi-unit record: 0 or -18.
int to_unit_record(int unit, const dxpx_l2_addr_t &in, uint32_t flags, dxp_l2_addr *out) {
    *out = dxp_l2_addr{};
    copy_shared_fields(out, in);
    out->flags |= flags;
    std::memcpy(out->mac, in.mac, sizeof(out->mac));
    out->vid = in.vid;
    if (out->flags & DXP_L2_TRUNK_MEMBER) {
        out->port = -1;
        out->modid = -1;
        return DXP_E_NONE;
    }
    int lport = in.lport;
    if (lport == DXPX_LPORT_CPU && dxpx_unit_cpu_lport_get(unit, &lport) < 0) return DXP_E_PORT;
    dxpx_lport_t entry;
    if (dxpx_lport_get(lport, &entry) < 0 || !(entry.flags & DXPX_PORT_F_VALID)) return DXP_E_PORT;
    out->port = entry.modport;
    out->modid = entry.modid;
    return DXP_E_NONE;
}

void from_unit_record(int unit, const dxp_l2_addr &in, dxpx_l2_addr_t *out) {
    dxpx_l2_addr_init(out, in.mac, in.vid);
    copy_shared_fields(out, in);
    if (in.flags & DXP_L2_TRUNK_MEMBER)
        out->lport = DXPX_LPORT_NONE;
    else if (in.modid >= 0)
        out->lport = dxpx_modport_to_lport(in.modid, in.port);
    else
        out->lport = dxpx_unit_port_to_lport(unit, in.port);
}

}  // namespace

void dxpx_l2_addr_init(dxpx_l2_addr_t *l2addr, const dxp_mac_t mac, dxp_vlan_t vid) {
    if (l2addr == nullptr) return;
    *l2addr = dxpx_l2_addr_t{};
    if (mac != nullptr) std::memcpy(l2addr->mac, mac, sizeof(l2addr->mac));
    l2addr->vid = vid;
}

int dxpx_l2_addr_add(const dxpx_l2_addr_t *l2addr, uint32_t flags) {
    if (l2addr == nullptr) return DXP_E_PARAM;
    return dxpx_each_unit([=](int u) {
        dxp_l2_addr record;
        int rv = to_unit_record(u, *l2addr, flags, &record);
        return rv < 0 ? rv : dxp_l2_addr_add(u, &record);
    });
}

int dxpx_l2_addr_delete(const dxp_mac_t mac, dxp_vlan_t vid) {
    if (mac == nullptr) return DXP_E_PARAM;
    return dxpx_each_unit([=](int u) { return dxp_l2_addr_delete(u, mac, vid); });
}

int dxpx_l2_addr_get(const dxp_mac_t mac, dxp_vlan_t vid, dxpx_l2_addr_t *l2addr, uint32_t) {
    if (mac == nullptr || l2addr == nullptr) return DXP_E_PARAM;
    dxpx_unit_set set;
    dxpx_units_get(&set);
    int rv = set.count == 0 ? DXP_E_UNIT : DXP_E_NOT_FOUND;
    for (int i = 0; i < set.count; i++) {
        dxp_l2_addr record{};
        rv = dxp_l2_addr_get(set.units[i], mac, vid, &record);
        if (rv == DXP_E_NONE) {
            from_unit_record(set.units[i], record, l2addr);
            return DXP_E_NONE;
        }
    }
    return rv;
}

int dxpx_l2_addr_delete_by_port(int lport, uint32_t flags) {
    // Module id -1: the port is local to its unit.
    return dxpx_on_lport(lport,
                         [=](int u, int p) { return dxp_l2_addr_delete_by_port(u, -1, p, flags); });
}

int dxpx_l2_addr_delete_by_trunk(int tid, uint32_t flags) {
    return dxpx_each_unit([=](int u) { return dxp_l2_addr_delete_by_trunk(u, tid, flags); });
}

uint32_t dxpx_l2_age_timer_changes(void) {
    return age_changes.load();
}

int dxpx_l2_age_timer_set(int age_seconds) {
    age_changes++;
    return dxpx_each_unit([=](int u) { return dxp_l2_age_timer_set(u, age_seconds); });
}

int dxpx_l2_age_timer_get(int *age_seconds) {
    if (age_seconds == nullptr) return DXP_E_PARAM;
    const uint64_t lent = age_lent.load();
    const int rv = dxpx_first_unit([=](int u) { return dxp_l2_age_timer_get(u, age_seconds); });
    if (rv == 0 && *age_seconds == 0 && lent != 0 &&
        static_cast<uint32_t>(lent >> 32) == age_changes.load())
        *age_seconds = static_cast<int>(static_cast<uint32_t>(lent) - 1);
    return rv;
}

void dxpx_l2_age_timer_lend(int age_seconds) {
    // A second test lends nothing: the first already turned ageing off.
    if (age_lenders.fetch_add(1) != 0 || age_seconds < 0) return;
    age_lent.store(static_cast<uint64_t>(age_changes.load()) << 32 |
                   (static_cast<uint32_t>(age_seconds) + 1));
}

void dxpx_l2_age_timer_lend_end(void) {
    if (age_lenders.fetch_sub(1) == 1) age_lent.store(0);
}

int dxpx_l2_bpdu_count(void) {
    int count = dxpx_first_unit([](int u) { return dxp_l2_bpdu_count(u); });
    return count < 0 ? 0 : count;
}

int dxpx_l2_bpdu_set(int index, const dxp_mac_t mac) {
    if (mac == nullptr) return DXP_E_PARAM;
    return dxpx_each_unit([=](int u) { return dxp_l2_bpdu_set(u, index, mac); });
}
