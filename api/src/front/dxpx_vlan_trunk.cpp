// VLAN membership and trunks across the registered units.
#include <array>

#include "dxpx.h"
#include "dxpx_internal.h"
#include "port_reserve.h"

namespace {

using unit_bitmaps = std::array<dxp_pbmp_t, DXP_UNITS_MAX>;

// Sorts a list's logical ports into per-unit port bitmaps: 0 or -18.
int split_by_unit(const dxpx_lplist_t &list, unit_bitmaps *bitmaps) {
    const int count = dxpx_lplist_count(&list);
    for (int i = 0; i < count; i++) {
        int unit, port;
        int rv = dxpx_lport_to_unit_port(list.lp_ports[i], &unit, &port);
        if (rv < 0) return rv;
        dxp_pbmp_port_add(&(*bitmaps)[unit], port);
    }
    return DXP_E_NONE;
}

// Appends the logical port of each port in the bitmap.
int add_ports(int unit, const dxp_pbmp_t &ports, dxpx_lplist_t *list) {
    for (int port = 0; port < DXP_PORTS_MAX; port++) {
        if (!dxp_pbmp_member(ports, port)) continue;
        int lport = dxpx_unit_port_to_lport(unit, port);
        if (lport < 0) continue;
        int rv = dxpx_lplist_add(list, lport);
        if (rv < 0) return rv;
    }
    return DXP_E_NONE;
}

// A membership change of a port under self-test is refused: the test's
// restore gives the port's memberships back as they were.
bool holds_reserved(const unit_bitmaps &bitmaps) {
    for (int unit = 0; unit < DXP_UNITS_MAX; unit++)
        for (int port = 0; !dxp_pbmp_is_null(bitmaps[unit]) && port < DXP_PORTS_MAX; port++)
            if (dxp_pbmp_member(bitmaps[unit], port) && port_reserved(unit, port)) return true;
    return false;
}

// Refuses a change of a self-test's own VLAN, noting its first tested
// member so that the caller can name the test.
int test_vlan_refusal(int unit, dxp_vlan_t vid) {
    dxp_pbmp_t members{}, untagged{};
    if (dxp_vlan_port_get(unit, vid, &members, &untagged) == DXP_E_NONE) {
        for (int port = 0; port < DXP_PORTS_MAX; port++)
            if (dxp_pbmp_member(members, port) && port_reserved(unit, port)) {
                port_reserve_note_refusal(unit, port);
                break;
            }
    }
    return DXP_E_BUSY;
}

}  // namespace

int dxpx_vlan_create(dxp_vlan_t vid) {
    return dxpx_each_unit([=](int u) { return dxp_vlan_create(u, vid); });
}

int dxpx_vlan_destroy(dxp_vlan_t vid) {
    return dxpx_each_unit([=](int u) -> int {
        dxp_pbmp_t members{}, untagged{};
        // A self-test's own VLAN goes with its test.
        if (!port_reserve_vlan_view(u, vid, &members, &untagged)) return test_vlan_refusal(u, vid);
        return dxp_vlan_destroy(u, vid);
    });
}

int dxpx_vlan_port_add(dxp_vlan_t vid, dxpx_lplist_t members, dxpx_lplist_t untagged) {
    unit_bitmaps member_ports{}, untagged_ports{};
    int rv = split_by_unit(members, &member_ports);
    if (rv == DXP_E_NONE) rv = split_by_unit(untagged, &untagged_ports);
    if (rv < 0) return rv;
    if (holds_reserved(member_ports) || holds_reserved(untagged_ports)) return DXP_E_BUSY;
    return dxpx_each_unit([&](int u) -> int {
        if (dxp_pbmp_is_null(member_ports[u]) && dxp_pbmp_is_null(untagged_ports[u]))
            return DXP_E_NONE;
        return dxp_vlan_port_add(u, vid, member_ports[u], untagged_ports[u]);
    });
}

int dxpx_vlan_port_remove(dxp_vlan_t vid, dxpx_lplist_t members) {
    unit_bitmaps ports{};
    int rv = split_by_unit(members, &ports);
    if (rv < 0) return rv;
    if (holds_reserved(ports)) return DXP_E_BUSY;
    return dxpx_each_unit([&](int u) -> int {
        if (dxp_pbmp_is_null(ports[u])) return DXP_E_NONE;
        return dxp_vlan_port_remove(u, vid, ports[u]);
    });
}

int dxpx_vlan_port_get(dxp_vlan_t vid, dxpx_lplist_t *members, dxpx_lplist_t *untagged) {
    if (members == nullptr || untagged == nullptr) return DXP_E_PARAM;
    dxpx_lplist_clear(members);
    dxpx_lplist_clear(untagged);
    dxpx_unit_set set;
    dxpx_units_get(&set);
    if (set.count == 0) return DXP_E_UNIT;
    for (int i = 0; i < set.count; i++) {
        int unit = set.units[i];
        dxp_pbmp_t member_ports{}, untagged_ports{};
        int rv = dxp_vlan_port_get(unit, vid, &member_ports, &untagged_ports);
        // The managers see the VLANs as the self-tests will give them back.
        if (rv == DXP_E_NONE && !port_reserve_vlan_view(unit, vid, &member_ports, &untagged_ports))
            rv = DXP_E_NOT_FOUND;
        if (rv == DXP_E_NONE) rv = add_ports(unit, member_ports, members);
        if (rv == DXP_E_NONE) rv = add_ports(unit, untagged_ports, untagged);
        if (rv < 0) return rv;
    }
    return DXP_E_NONE;
}

int dxpx_trunk_create_with_tid(int tid) {
    return dxpx_each_unit([=](int u) { return dxp_trunk_create_with_tid(u, tid); });
}

int dxpx_trunk_set(int tid, const dxpx_trunk_add_info_t *info) {
    if (info == nullptr) return DXP_E_PARAM;
    const int count = dxpx_lplist_count(&info->ports);
    if (count < 1 || count > DXP_TRUNK_MAX_PORTCNT) return DXP_E_PARAM;
    dxp_trunk_add_info members{};
    members.num_ports = count;
    members.psc = info->psc;
    members.dlf_index = info->dlf_index;
    members.mc_index = info->mc_index;
    members.ipmc_index = info->ipmc_index;
    for (int i = 0; i < count; i++) {
        dxpx_lport_t entry;
        int lport = info->ports.lp_ports[i];
        if (dxpx_lport_get(lport, &entry) < 0 || !(entry.flags & DXPX_PORT_F_VALID))
            return DXP_E_PORT;
        // A trunk would take a tested port's frames elsewhere.
        if (port_reserved_lport(lport)) return DXP_E_BUSY;
        members.tp[i] = entry.modport;
        members.tm[i] = entry.modid;
    }
    return dxpx_each_unit([&](int u) -> int {
        dxp_trunk_add_info copy = members;  // a unit may write into the record
        return dxp_trunk_set(u, tid, &copy);
    });
}

int dxpx_trunk_destroy(int tid) {
    return dxpx_each_unit([=](int u) { return dxp_trunk_destroy(u, tid); });
}

int dxpx_trunk_psc_get(int tid, int *psc) {
    if (psc == nullptr) return DXP_E_PARAM;
    return dxpx_first_unit([=](int u) { return dxp_trunk_psc_get(u, tid, psc); });
}
