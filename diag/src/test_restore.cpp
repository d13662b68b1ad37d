// The switch state a self-test saves and restores. The VLANs come back
// first, so that the ports' default VLANs and the static addresses find
// them; each port setting is applied on its own, so one refused setting
// does not keep the others from coming back.
#include "test_restore.h"

#include <cstring>

#include "diag_parse.h"
#include "diag_test.h"
#include "dxp_error.h"
#include "feature_cmds.h"
#include "port_reserve.h"
#include "sal.h"

namespace {

const char *pname(int unit, int port) {
    return SOC_CONTROL(unit)->port_name[port];
}

dxp_pbmp_t to_dxp(const soc_pbmp_t &b) {
    return dxp_pbmp_t{{b.w[0], b.w[1]}};
}

struct StaticWalk {
    test_saved_t *s;
    int room;
};

bool vlan_saved(const test_saved_t *s, dxp_vlan_t vid) {
    for (int i = 0; i < s->vlan_count; i++)
        if (s->vlans[i].vlan_tag == vid) return true;
    return false;
}

void keep_static(int, const dxp_l2_addr *rec, void *cookie) {
    auto *w = static_cast<StaticWalk *>(cookie);
    if (!(rec->flags & DXP_L2_STATIC) || (rec->mac[0] & 1) != 0) return;
    if (!vlan_saved(w->s, rec->vid)) return;
    if (w->s->static_count >= w->room) {
        const int room = w->room > 0 ? w->room * 2 : 64;
        auto *more = static_cast<dxp_l2_addr *>(
            sal_alloc(sizeof(dxp_l2_addr) * static_cast<size_t>(room), "test statics"));
        if (more == nullptr) return;
        if (w->s->statics != nullptr)
            std::memcpy(more, w->s->statics,
                        sizeof(dxp_l2_addr) * static_cast<size_t>(w->s->static_count));
        sal_free(w->s->statics);
        w->s->statics = more;
        w->room = room;
    }
    w->s->statics[w->s->static_count++] = *rec;
}

// One attribute of the saved record, applied alone.
struct Attribute {
    uint32_t bit;
    const char *name;
};
constexpr Attribute kAttributes[] = {
    {DXP_PORT_ATTR_ENABLE_MASK, "enable"},
    {DXP_PORT_ATTR_INTERFACE_MASK, "interface"},
    {DXP_PORT_ATTR_PHY_MASTER_MASK, "master/slave"},
    {DXP_PORT_ATTR_LINKSCAN_MASK, "link scan"},
    {DXP_PORT_ATTR_DISCARD_MASK, "discard"},
    {DXP_PORT_ATTR_UNTAG_PRI_MASK, "default priority"},
    {DXP_PORT_ATTR_UNTAG_VLAN_MASK, "default VLAN"},
    {DXP_PORT_ATTR_LOOPBACK_MASK, "loopback"},
    {DXP_PORT_ATTR_LOCAL_ADVERT_MASK, "advertisement"},
    {DXP_PORT_ATTR_AUTONEG_MASK, "auto-negotiation"},
    {DXP_PORT_ATTR_SPEED_MASK, "speed"},
    {DXP_PORT_ATTR_DUPLEX_MASK, "duplex"},
    {DXP_PORT_ATTR_PAUSE_TX_MASK | DXP_PORT_ATTR_PAUSE_RX_MASK, "pause"},
    {DXP_PORT_ATTR_STP_STATE_MASK, "spanning-tree state"},
    {DXP_PORT_ATTR_MDIX_MASK, "MDI-X"},
};

int restore_port(test_saved_t *s, int port) {
    const int unit = s->unit;
    dxp_port_info &saved = s->info[port];
    int result = 0;
    auto failed = [&](const char *what, int rv) {
        test_error(unit, "Port %s: Could not restore %s: %s\n", pname(unit, port), what,
                   dxp_errmsg(rv));
        result = -1;
    };
    for (const Attribute &a : kAttributes) {
        if ((saved.action_mask & a.bit) == 0) continue;
        dxp_port_info one = saved;
        one.action_mask = saved.action_mask & a.bit;
        if (int rv = dxp_port_selective_set(unit, port, &one); rv < 0) failed(a.name, rv);
    }
    // Learning is no part of the record's apply.
    if (saved.action_mask & DXP_PORT_ATTR_LEARN_MASK) {
        if (int rv = dxp_port_learn_set(unit, port, saved.learn); rv < 0 && rv != DXP_E_UNAVAIL)
            failed("learning", rv);
    }
    return result;
}

int restore_vlans(test_saved_t *s) {
    const int unit = s->unit;
    int result = 0;
    // VLANs the test made go; the saved ones come back as they were.
    dxp_vlan_data *now = nullptr;
    int count = 0;
    if (dxp_vlan_list(unit, &now, &count) >= 0) {
        for (int i = 0; i < count; i++) {
            if (vlan_saved(s, now[i].vlan_tag)) continue;
            if (int rv = dxp_vlan_destroy(unit, now[i].vlan_tag); rv < 0 && rv != DXP_E_BADID) {
                test_error(unit, "Could not remove test VLAN %d: %s\n", now[i].vlan_tag,
                           dxp_errmsg(rv));
                result = -1;
            }
        }
        dxp_vlan_list_destroy(unit, now, count);
    }
    for (int i = 0; i < s->vlan_count; i++) {
        const dxp_vlan_data &v = s->vlans[i];
        int rv = dxp_vlan_create(unit, v.vlan_tag);
        if (rv < 0 && rv != DXP_E_EXISTS) {
            test_error(unit, "Could not restore VLAN %d: %s\n", v.vlan_tag, dxp_errmsg(rv));
            result = -1;
            continue;
        }
        // Ports that should not be there, or are there tagged the other way,
        // leave first; then the saved members come back.
        dxp_pbmp_t members{}, untagged{};
        dxp_vlan_port_get(unit, v.vlan_tag, &members, &untagged);
        rv = 0;
        dxp_pbmp_t leave{};
        for (int w = 0; w < 2; w++)
            leave.w[w] = (members.w[w] & ~v.port_bitmap.w[w]) |
                         (members.w[w] & (untagged.w[w] ^ v.ut_port_bitmap.w[w]));
        if (leave.w[0] != 0 || leave.w[1] != 0) rv = dxp_vlan_port_remove(unit, v.vlan_tag, leave);
        if (rv >= 0) rv = dxp_vlan_port_add(unit, v.vlan_tag, v.port_bitmap, v.ut_port_bitmap);
        if (rv < 0) {
            test_error(unit, "Could not restore the ports of VLAN %d: %s\n", v.vlan_tag,
                       dxp_errmsg(rv));
            result = -1;
        }
        int stg = 0;
        if (dxp_vlan_stg_get(unit, v.vlan_tag, &stg) >= 0 && stg != s->vlan_stg[i]) {
            if (rv = dxp_vlan_stg_set(unit, v.vlan_tag, s->vlan_stg[i]); rv < 0) {
                test_error(unit, "Could not restore the spanning-tree group of VLAN %d: %s\n",
                           v.vlan_tag, dxp_errmsg(rv));
                result = -1;
            }
        }
    }
    return result;
}

int restore_statics(test_saved_t *s) {
    const int unit = s->unit;
    int result = 0;
    for (int i = 0; i < s->static_count; i++) {
        dxp_l2_addr &e = s->statics[i];
        dxp_l2_addr now{};
        const int got = dxp_l2_addr_get(unit, e.mac, e.vid, &now);
        if (got >= 0 && now.port == e.port && (now.flags & DXP_L2_STATIC)) continue;
        // Only an entry the table lost (or that points elsewhere) is written
        // again: a failed look-up is no proof of a loss.
        if (got < 0 && got != DXP_E_NOT_FOUND) continue;
        if (int rv = dxp_l2_addr_add(unit, &e); rv < 0) {
            char mac[18];
            format_macaddr(mac, e.mac);
            test_error(unit, "Could not restore static address %s in VLAN %d: %s\n", mac, e.vid,
                       dxp_errmsg(rv));
            result = -1;
        }
    }
    return result;
}

void clear(test_saved_t *s) {
    if (s->vlans != nullptr) dxp_vlan_list_destroy(s->unit, s->vlans, s->vlan_count);
    sal_free(s->vlan_stg);
    sal_free(s->statics);
    const int unit = s->unit;
    *s = test_saved_t{};
    s->unit = unit;
}

}  // namespace

int test_save_switch(test_saved_t *s, int unit, const soc_pbmp_t &ports, const char *owner) {
    *s = test_saved_t{};
    s->unit = unit;
    if (port_reserve(unit, to_dxp(ports), owner) < 0) {
        for (int port = 0; port < TEST_SAVE_PORTS; port++) {
            if (!soc_pbmp_member(ports, port) || !port_reserved(unit, port)) continue;
            const char *by = port_reserve_owner(unit, port);
            test_error(unit, "Port %s is held by %s\n", pname(unit, port),
                       by != nullptr ? by : "another self-test");
            break;
        }
        return -1;
    }
    s->held = ports;
    if (int rv = dxp_vlan_list(unit, &s->vlans, &s->vlan_count); rv < 0) {
        test_error(unit, "Could not save the VLAN table: %s\n", dxp_errmsg(rv));
        test_restore_switch(s);
        return -1;
    }
    s->vlan_stg = static_cast<int *>(
        sal_alloc(sizeof(int) * static_cast<size_t>(s->vlan_count + 1), "test vlan stg"));
    if (s->vlan_stg == nullptr) {
        test_error(unit, "Could not save the VLAN table: %s\n", dxp_errmsg(DXP_E_MEMORY));
        test_restore_switch(s);
        return -1;
    }
    for (int i = 0; i < s->vlan_count; i++) {
        s->vlan_stg[i] = 0;
        dxp_vlan_stg_get(unit, s->vlans[i].vlan_tag, &s->vlan_stg[i]);
    }
    StaticWalk walk{s, 0};
    l2_walk(unit, keep_static, &walk);
    const soc_pbmp_t all = SOC_CONTROL(unit)->e.bitmap;
    for (int port = 0; port < TEST_SAVE_PORTS; port++) {
        if (!soc_pbmp_member(all, port)) continue;
        if (dxp_port_untagged_vlan_get(unit, port, &s->pvid[port]) >= 0)
            soc_pbmp_port_add(&s->pvid_ports, port);
    }
    return 0;
}

int test_save_port(test_saved_t *s, int port) {
    if (port < 0 || port >= TEST_SAVE_PORTS) return DXP_E_PORT;
    int rv = dxp_port_info_save(s->unit, port, &s->info[port]);
    if (rv >= 0) soc_pbmp_port_add(&s->info_ports, port);
    return rv;
}

int test_restore_switch(test_saved_t *s) {
    const int unit = s->unit;
    int result = 0;
    if (s->vlans != nullptr && restore_vlans(s) < 0) result = -1;
    if (restore_statics(s) < 0) result = -1;
    for (int port = 0; port < TEST_SAVE_PORTS; port++) {
        if (!soc_pbmp_member(s->pvid_ports, port) || soc_pbmp_member(s->info_ports, port)) continue;
        dxp_vlan_t now = 0;
        if (dxp_port_untagged_vlan_get(unit, port, &now) >= 0 && now == s->pvid[port]) continue;
        if (int rv = dxp_port_untagged_vlan_set(unit, port, s->pvid[port]); rv < 0) {
            test_error(unit, "Port %s: Could not restore default VLAN %d: %s\n", pname(unit, port),
                       s->pvid[port], dxp_errmsg(rv));
            result = -1;
        }
    }
    for (int port = 0; port < TEST_SAVE_PORTS; port++)
        if (soc_pbmp_member(s->info_ports, port) && restore_port(s, port) < 0) result = -1;
    test_release_switch(s);
    return result;
}

void test_release_switch(test_saved_t *s) {
    if (!soc_pbmp_is_null(s->held)) port_reserve_release(s->unit, to_dxp(s->held));
    clear(s);
}
