// The switch state a self-test changes and gives back. The journal is undone
// newest first, so each entry finds the switch as the test found it when it
// made the change; the ports' settings come back after it, each applied on
// its own, so one refused setting does not keep the others from coming back.
#include "test_restore.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "diag_parse.h"
#include "diag_test.h"
#include "drv_vlan.h"
#include "dxp_enums.h"
#include "dxp_error.h"
#include "feature_cmds.h"
#include "port_reserve.h"
#include "sal.h"

namespace {

// Each try found the ports busy and then free again: a bar or a hold that
// keeps coming and going.
constexpr int kReserveTries = 100;

const char *pname(int unit, int port) {
    return SOC_CONTROL(unit)->port_name[port];
}

dxp_pbmp_t to_dxp(const soc_pbmp_t &b) {
    return dxp_pbmp_t{{b.w[0], b.w[1]}};
}

dxp_pbmp_t one_port(int port) {
    dxp_pbmp_t b{};
    dxp_pbmp_port_add(&b, port);
    return b;
}

// Grows a sal_alloc'ed array to hold one more element: false when out of
// memory (the array is unchanged then).
template <typename T>
bool grow(T **array, int count, int *room, const char *what) {
    if (count < *room) return true;
    const int more = *room > 0 ? *room * 2 : 32;
    auto *next = static_cast<T *>(sal_alloc(sizeof(T) * static_cast<size_t>(more), what));
    if (next == nullptr) return false;
    if (*array != nullptr) std::memcpy(next, *array, sizeof(T) * static_cast<size_t>(count));
    sal_free(*array);
    *array = next;
    *room = more;
    return true;
}

bool journal(test_saved_t *s, const test_change_t &c) {
    if (!grow(&s->journal, s->journal_count, &s->journal_room, "test journal")) {
        test_error(s->unit, "Could not record a change: %s\n", dxp_errmsg(DXP_E_MEMORY));
        return false;
    }
    s->journal[s->journal_count++] = c;
    return true;
}

struct StaticWalk {
    test_saved_t *s;
    int room;
};

void keep_static(int, const dxp_l2_addr *rec, void *cookie) {
    auto *w = static_cast<StaticWalk *>(cookie);
    if (!(rec->flags & DXP_L2_STATIC) || (rec->mac[0] & 1) != 0) return;
    if (!soc_pbmp_member(w->s->held, rec->port)) return;
    if (!grow(&w->s->statics, w->s->static_count, &w->room, "test statics")) return;
    w->s->statics[w->s->static_count++] = *rec;
    port_reserve_keep_static(w->s->unit, rec);
}

// Journals each port's membership of the VLAN before a change of it.
int note_members(test_saved_t *s, dxp_vlan_t vid, dxp_pbmp_t ports) {
    dxp_pbmp_t members{}, untagged{};
    if (int rv = dxp_vlan_port_get(s->unit, vid, &members, &untagged); rv < 0) return rv;
    for (int port = 0; port < TEST_SAVE_PORTS; port++) {
        if (!dxp_pbmp_member(ports, port)) continue;
        const bool member = dxp_pbmp_member(members, port);
        const bool untag = member && dxp_pbmp_member(untagged, port);
        if (!journal(s, test_change_t{.kind = TEST_VLAN_MEMBER,
                                      .vid = vid,
                                      .port = port,
                                      .member = member,
                                      .untagged = untag}))
            return DXP_E_MEMORY;
        port_reserve_keep_member(s->unit, vid, port, member, untag);
    }
    return DXP_E_NONE;
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

// The PHY's share of the port record, which a copper/fibre port's saved
// media configurations give back on each medium.
constexpr uint32_t kMediumAttributes =
    DXP_PORT_ATTR_LOCAL_ADVERT_MASK | DXP_PORT_ATTR_AUTONEG_MASK | DXP_PORT_ATTR_SPEED_MASK |
    DXP_PORT_ATTR_DUPLEX_MASK | DXP_PORT_ATTR_MDIX_MASK | DXP_PORT_ATTR_PHY_MASTER_MASK;
constexpr int kCopper = 1, kFiber = 2;
// The settings that make the PHY negotiate its link again when written:
// given back together, or not at all when none of them changed.
constexpr uint32_t kLinkAttributes = kMediumAttributes | DXP_PORT_ATTR_INTERFACE_MASK;

// Whether the port holds the saved value of the attribute now.
bool holds(const dxp_port_info &now, const dxp_port_info &saved, uint32_t bit) {
    if ((now.action_mask & bit) != bit) return false;  // not read
    switch (bit) {
        case DXP_PORT_ATTR_ENABLE_MASK:
            return now.enable == saved.enable;
        case DXP_PORT_ATTR_INTERFACE_MASK:
            return now.interface == saved.interface;
        case DXP_PORT_ATTR_PHY_MASTER_MASK:
            return now.phy_master == saved.phy_master;
        case DXP_PORT_ATTR_LINKSCAN_MASK:
            return now.linkscan == saved.linkscan;
        case DXP_PORT_ATTR_DISCARD_MASK:
            return now.discard == saved.discard;
        case DXP_PORT_ATTR_UNTAG_PRI_MASK:
            return now.untagged_priority == saved.untagged_priority;
        case DXP_PORT_ATTR_UNTAG_VLAN_MASK:
            return now.untagged_vlan == saved.untagged_vlan;
        case DXP_PORT_ATTR_LOOPBACK_MASK:
            return now.loopback == saved.loopback;
        case DXP_PORT_ATTR_LOCAL_ADVERT_MASK:
            return now.local_advert == saved.local_advert;
        case DXP_PORT_ATTR_AUTONEG_MASK:
            return now.autoneg == saved.autoneg;
        case DXP_PORT_ATTR_SPEED_MASK:
            return now.speed == saved.speed;
        case DXP_PORT_ATTR_DUPLEX_MASK:
            return now.duplex == saved.duplex;
        case DXP_PORT_ATTR_PAUSE_TX_MASK | DXP_PORT_ATTR_PAUSE_RX_MASK:
            return now.pause_tx == saved.pause_tx && now.pause_rx == saved.pause_rx;
        case DXP_PORT_ATTR_STP_STATE_MASK:
            return now.stp_state == saved.stp_state;
        case DXP_PORT_ATTR_MDIX_MASK:
            return now.mdix == saved.mdix;
        case DXP_PORT_ATTR_LEARN_MASK:
            return now.learn == saved.learn;
        default:
            return false;
    }
}

// The attributes of the mask the port holds already. Writing one again is
// no change, yet forcing a link or negotiating it again costs a port in
// service (the one the test left out) frames: those are left alone.
uint32_t unchanged_attributes(int unit, int port, const dxp_port_info &saved, uint32_t mask) {
    dxp_port_info now{};
    now.action_mask = DXP_PORT_ATTR_ALL_MASK;
    if (dxp_port_selective_get(unit, port, &now) < 0) return 0;
    uint32_t same = 0;
    for (const Attribute &a : kAttributes)
        if ((mask & a.bit) != 0 && holds(now, saved, a.bit)) same |= a.bit;
    if (holds(now, saved, DXP_PORT_ATTR_LEARN_MASK)) same |= DXP_PORT_ATTR_LEARN_MASK;
    // One changed link setting gives all of them back, in their order.
    if ((same & kLinkAttributes) != (mask & kLinkAttributes)) same &= ~kLinkAttributes;
    return same;
}

const char *medium_name(int medium) {
    return medium == kCopper ? "copper" : medium == kFiber ? "fibre" : "no medium";
}

void save_media(test_saved_t *s, int port) {
    const int unit = s->unit;
    int medium = 0;
    if (dxp_port_medium_get(unit, port, &medium) < 0 ||
        dxp_port_medium_config_get(unit, port, kCopper, &s->media[port][0]) < 0 ||
        dxp_port_medium_config_get(unit, port, kFiber, &s->media[port][1]) < 0)
        return;
    s->medium[port] = medium;
    soc_pbmp_port_add(&s->media_ports, port);
}

// The medium that does not run is stored first, so the one that runs is
// applied last with its own values.
int restore_media(test_saved_t *s, int port) {
    const int unit = s->unit;
    int now = 0;
    dxp_port_medium_get(unit, port, &now);
    // Both media as saved: setting them again would renegotiate the link.
    dxp_phy_config_t copper{}, fibre{};
    if (now == s->medium[port] && dxp_port_medium_config_get(unit, port, kCopper, &copper) >= 0 &&
        dxp_port_medium_config_get(unit, port, kFiber, &fibre) >= 0 &&
        std::memcmp(&copper, &s->media[port][0], sizeof copper) == 0 &&
        std::memcmp(&fibre, &s->media[port][1], sizeof fibre) == 0)
        return 0;
    if (now != s->medium[port])
        sal_printf("Port %s: the medium changed from %s to %s during the test\n", pname(unit, port),
                   medium_name(s->medium[port]), medium_name(now));
    int result = 0;
    for (int medium : {now == kCopper ? kFiber : kCopper, now == kCopper ? kCopper : kFiber}) {
        if (int rv = dxp_port_medium_config_set(unit, port, medium, &s->media[port][medium - 1]);
            rv < 0) {
            test_error(unit, "Port %s: Could not restore the %s settings: %s\n", pname(unit, port),
                       medium_name(medium), dxp_errmsg(rv));
            result = -1;
        }
    }
    return result;
}

int restore_port(test_saved_t *s, int port) {
    const int unit = s->unit;
    dxp_port_info &saved = s->info[port];
    int result = 0;
    auto failed = [&](const char *what, int rv) {
        test_error(unit, "Port %s: Could not restore %s: %s\n", pname(unit, port), what,
                   dxp_errmsg(rv));
        result = -1;
    };
    uint32_t mask = saved.action_mask;
    // The journal gave back the state in every group; the record's state
    // would set the default group's in all of them.
    if (soc_pbmp_member(s->stp_ports, port)) mask &= ~DXP_PORT_ATTR_STP_STATE_MASK;
    const bool media = soc_pbmp_member(s->media_ports, port);
    mask &= ~unchanged_attributes(unit, port, saved, mask);
    for (const Attribute &a : kAttributes) {
        if ((mask & a.bit) == 0) continue;
        dxp_port_info one = saved;
        one.action_mask = mask & a.bit;
        const int rv = dxp_port_selective_set(unit, port, &one);
        // On a copper/fibre port the record is the medium's that ran at the
        // start; the media restore below answers for the PHY's settings.
        if (rv < 0 && !(media && (a.bit & kMediumAttributes))) failed(a.name, rv);
    }
    if (media && restore_media(s, port) < 0) result = -1;
    if (soc_pbmp_member(s->fp_ports, port)) {
        if (int rv = dxp_port_control_set(unit, port, dxpPortControlFieldProcessor, 1); rv < 0)
            failed("the field processor", rv);
    }
    // Learning is no part of the record's apply.
    if (mask & DXP_PORT_ATTR_LEARN_MASK) {
        if (int rv = dxp_port_learn_set(unit, port, saved.learn); rv < 0 && rv != DXP_E_UNAVAIL)
            failed("learning", rv);
    }
    return result;
}

int undo_member(test_saved_t *s, const test_change_t &c) {
    dxp_pbmp_t members{}, untagged{};
    // A VLAN another manager removed meanwhile stays removed.
    if (dxp_vlan_port_get(s->unit, c.vid, &members, &untagged) < 0) return DXP_E_NONE;
    const bool member = dxp_pbmp_member(members, c.port);
    const bool untag = member && dxp_pbmp_member(untagged, c.port);
    if (member == c.member && untag == c.untagged) return DXP_E_NONE;
    const dxp_pbmp_t port = one_port(c.port);
    if (member) {
        if (int rv = dxp_vlan_port_remove(s->unit, c.vid, port); rv < 0) return rv;
    }
    if (!c.member) return DXP_E_NONE;
    return dxp_vlan_port_add(s->unit, c.vid, port, c.untagged ? port : dxp_pbmp_t{});
}

int undo(test_saved_t *s, const test_change_t &c) {
    const int unit = s->unit;
    int rv = DXP_E_NONE;
    switch (c.kind) {
        case TEST_VLAN_CREATED:
            rv = dxp_vlan_destroy(unit, c.vid);
            if (rv == DXP_E_NOT_FOUND) rv = DXP_E_NONE;
            if (rv < 0)
                test_error(unit, "Could not remove test VLAN %d: %s\n", c.vid, dxp_errmsg(rv));
            break;
        case TEST_VLAN_MEMBER:
            if (rv = undo_member(s, c); rv < 0)
                test_error(unit, "Port %s: Could not restore membership of VLAN %d: %s\n",
                           pname(unit, c.port), c.vid, dxp_errmsg(rv));
            break;
        case TEST_PORT_PVID:
            rv = dxp_port_untagged_vlan_set(unit, c.port, static_cast<dxp_vlan_t>(c.before));
            if (rv < 0)
                test_error(unit, "Port %s: Could not restore default VLAN %d: %s\n",
                           pname(unit, c.port), c.before, dxp_errmsg(rv));
            break;
        case TEST_PORT_STP:
            // A group destroyed meanwhile stays destroyed.
            rv = dxp_stg_stp_set(unit, c.stg, c.port, c.before);
            if (rv == DXP_E_NOT_FOUND || rv == DXP_E_BADID) rv = DXP_E_NONE;
            if (rv < 0)
                test_error(unit, "Port %s: Could not restore spanning-tree state in group %d: %s\n",
                           pname(unit, c.port), c.stg, dxp_errmsg(rv));
            break;
        default:
            break;
    }
    return rv;
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

void unseal_ports(test_saved_t *s) {
    const int unit = s->unit;
    for (int port = 0; port < TEST_SAVE_PORTS; port++) {
        if (!soc_pbmp_member(s->egress_saved, port)) continue;
        if (int rv = drv_port_vlan_set(unit, port, s->egress[port]); rv < 0)
            sal_printf("Port %s: Could not restore its egress ports: %s\n", pname(unit, port),
                       dxp_errmsg(rv));
    }
    for (int port = 0; port < TEST_SAVE_PORTS; port++) {
        if (!soc_pbmp_member(s->closed_saved, port)) continue;
        soc_pbmp_t mask{};
        int rv = drv_port_vlan_get(unit, port, &mask);
        for (int i = 0; i < 2; i++)
            mask.w[i] |= s->closed[port].w[i];
        if (rv >= 0) rv = drv_port_vlan_set(unit, port, mask);
        if (rv < 0)
            sal_printf("Port %s: Could not restore its egress ports: %s\n", pname(unit, port),
                       dxp_errmsg(rv));
    }
    s->egress_saved = s->closed_saved = soc_pbmp_t{};
}

void clear(test_saved_t *s) {
    sal_free(s->journal);
    sal_free(s->statics);
    const int unit = s->unit;
    *s = test_saved_t{};
    s->unit = unit;
}

}  // namespace

int test_save_switch(test_saved_t *s, int unit, const soc_pbmp_t &ports, const char *owner) {
    *s = test_saved_t{};
    s->unit = unit;
    // A bar or a hold that ends between the refusal and the look for its
    // reason leaves none to name: the test tries again, as if it had come
    // a moment later.
    for (int tries = 0; port_reserve(unit, to_dxp(ports), owner) < 0; tries++) {
        if (const char *why = port_reserve_barred()) {
            test_error(unit, "%s refused: %s; try again once it is done\n", owner, why);
            return -1;
        }
        for (int port = 0; port < TEST_SAVE_PORTS; port++) {
            if (!soc_pbmp_member(ports, port) || !port_reserved(unit, port)) continue;
            const char *by = port_reserve_owner(unit, port);
            test_error(unit, "Port %s is held by %s\n", pname(unit, port),
                       by != nullptr ? by : "another self-test");
            return -1;
        }
        if (tries == kReserveTries) {
            test_error(unit, "%s refused: its ports stayed busy\n", owner);
            return -1;
        }
    }
    s->held = ports;
    StaticWalk walk{s, 0};
    l2_walk(unit, keep_static, &walk);
    return 0;
}

int test_hold_cpu(test_saved_t *s, const char *owner) {
    const int unit = s->unit;
    const int cpu = SOC_CONTROL(unit)->cmic_port;
    if (port_reserve_cpu(unit, cpu, owner) < 0) {
        const char *by = port_reserve_cpu_owner(unit, cpu);
        test_error(unit, "Port %s is held by %s\n", pname(unit, cpu),
                   by != nullptr ? by : "another self-test");
        return -1;
    }
    s->cpu_held = cpu;
    return 0;
}

void test_hold_cpu_vlan(test_saved_t *s, dxp_vlan_t vid) {
    if (s->cpu_held >= 0) port_reserve_cpu_vlan(s->unit, vid);
}

int test_save_port(test_saved_t *s, int port) {
    if (port < 0 || port >= TEST_SAVE_PORTS) return DXP_E_PORT;
    const int unit = s->unit;
    int rv = dxp_port_info_save(unit, port, &s->info[port]);
    if (rv < 0) return rv;
    soc_pbmp_port_add(&s->info_ports, port);
    port_reserve_keep_info(unit, port, &s->info[port]);
    save_media(s, port);
    int *stgs = nullptr;
    int count = 0;
    if (dxp_stg_list(unit, &stgs, &count) < 0) return DXP_E_NONE;
    bool all = true;
    for (int i = 0; i < count; i++) {
        int state = 0;
        if (dxp_stg_stp_get(unit, stgs[i], port, &state) < 0) {
            all = false;
            continue;
        }
        all = journal(s,
                      test_change_t{
                          .kind = TEST_PORT_STP, .port = port, .stg = stgs[i], .before = state}) &&
              all;
    }
    dxp_stg_list_destroy(unit, stgs, count);
    if (all && count > 0) soc_pbmp_port_add(&s->stp_ports, port);
    return DXP_E_NONE;
}

namespace {

// The trunk that has the port as a member, or -1.
int trunk_of(int unit, int port) {
    dxp_trunk_chip_info chip{};
    if (dxp_trunk_chip_info_get(unit, &chip) < 0) return -1;
    for (int tid = chip.trunk_id_min; tid <= chip.trunk_id_max; tid++) {
        dxp_trunk_add_info t{};
        if (dxp_trunk_get(unit, tid, &t) < 0) continue;
        for (int i = 0; i < t.num_ports && i < DXP_TRUNK_MAX_PORTCNT; i++)
            if (t.tp[i] == port) return tid;
    }
    return -1;
}

// What on the port would change where the test frames go or drop them
// (written into `setting`), or false.
bool frame_setting(int unit, int port, char *setting, size_t size) {
    uint32_t rate = 0, burst = 0;
    int mode = 0, limit = 0, classes = 0;
    const char *found = nullptr;
    if (dxp_port_rate_ingress_get(unit, port, &rate, &burst) >= 0 && rate != 0)
        found = "ingress rate limit";
    else if (dxp_port_rate_egress_get(unit, port, &rate, &burst) >= 0 && rate != 0)
        found = "egress rate limit";
    else if (dxp_port_dtag_mode_get(unit, port, &mode) >= 0 && mode != 0)
        found = "double tagging";
    if (found == nullptr) {
        for (auto get : {dxp_rate_bcast_get, dxp_rate_mcast_get, dxp_rate_dlfbc_get}) {
            int one = 0;
            if (get(unit, &one, &classes, port) >= 0 && one != 0) limit = one;
        }
        if (classes != 0 && limit != 0) found = "storm control";
    }
    if (found == nullptr && dxp_mirror_mode_get(unit, &mode) >= 0 && mode != 0) {
        int to = -1, in = 0, out = 0;
        if (dxp_mirror_to_get(unit, &to) >= 0 && to == port)
            found = "mirroring into it";
        else if ((dxp_mirror_ingress_get(unit, port, &in) >= 0 && in != 0) ||
                 (dxp_mirror_egress_get(unit, port, &out) >= 0 && out != 0))
            found = "mirroring of its frames";
    }
    if (found != nullptr) {
        std::snprintf(setting, size, "%s", found);
        return true;
    }
    if (const int tid = trunk_of(unit, port); tid >= 0) {
        std::snprintf(setting, size, "membership of trunk %d", tid);
        return true;
    }
    return false;
}

}  // namespace

int test_check_frame_settings(test_saved_t *s) {
    const int unit = s->unit;
    for (int port = 0; port < TEST_SAVE_PORTS; port++) {
        if (!soc_pbmp_member(s->held, port)) continue;
        char setting[48];
        if (!frame_setting(unit, port, setting, sizeof setting)) continue;
        test_error(unit, "Port %s: the %s changes the test frames; clear it for the test\n",
                   pname(unit, port), setting);
        return -1;
    }
    return 0;
}

int test_neutral_port(test_saved_t *s, int port) {
    const int unit = s->unit;
    // The default priority would go into the tag of a frame the port tags.
    if (int rv = dxp_port_untagged_priority_set(unit, port, 0); rv < 0 && rv != DXP_E_UNAVAIL) {
        test_error(unit, "Port %s: Could not clear the default priority: %s\n", pname(unit, port),
                   dxp_errmsg(rv));
        return -1;
    }
    // A discarding port would drop the returning frames: every test runs
    // its ports taking all frames, and the settings come back with the port.
    if (int rv = dxp_port_discard_set(unit, port, 0); rv < 0 && rv != DXP_E_UNAVAIL) {
        test_error(unit, "Port %s: Could not stop discarding: %s\n", pname(unit, port),
                   dxp_errmsg(rv));
        return -1;
    }
    // A rule made before or during the test (a drop, a redirect, a copy to
    // the CPU) would catch the test frames; the rules stay in service for
    // every other port.
    int fp = 0;
    if (dxp_port_control_get(unit, port, dxpPortControlFieldProcessor, &fp) < 0 || fp == 0)
        return 0;
    if (int rv = dxp_port_control_set(unit, port, dxpPortControlFieldProcessor, 0); rv < 0) {
        test_error(unit, "Port %s: Could not keep the field processor off its frames: %s\n",
                   pname(unit, port), dxp_errmsg(rv));
        return -1;
    }
    soc_pbmp_port_add(&s->fp_ports, port);
    return 0;
}

void test_seal_ports(test_saved_t *s, const soc_pbmp_t &ports, const soc_pbmp_t &allowed) {
    const int unit = s->unit;
    const soc_control_t *soc = SOC_CONTROL(unit);
    soc_pbmp_t sealed{};
    for (int i = 0; i < 2; i++)
        sealed.w[i] = ports.w[i] & s->held.w[i];
    for (int port = 0; port < TEST_SAVE_PORTS; port++) {
        if (!soc_pbmp_member(sealed, port) || soc_pbmp_member(s->egress_saved, port) ||
            drv_port_vlan_get(unit, port, &s->egress[port]) < 0)
            continue;
        soc_pbmp_port_add(&s->egress_saved, port);
        drv_port_vlan_set(unit, port, allowed);
    }
    for (int port = 0; port < TEST_SAVE_PORTS; port++) {
        soc_pbmp_t mask{};
        if (!soc_pbmp_member(soc->all.bitmap, port) || soc_pbmp_member(soc->cmic_bitmap, port) ||
            soc_pbmp_member(sealed, port) || soc_pbmp_member(s->closed_saved, port) ||
            drv_port_vlan_get(unit, port, &mask) < 0)
            continue;
        soc_pbmp_t reached{}, kept = mask;
        for (int i = 0; i < 2; i++) {
            reached.w[i] = mask.w[i] & sealed.w[i];
            kept.w[i] = mask.w[i] & ~sealed.w[i];
        }
        if (soc_pbmp_is_null(reached) || drv_port_vlan_set(unit, port, kept) < 0) continue;
        s->closed[port] = reached;
        soc_pbmp_port_add(&s->closed_saved, port);
    }
}

int test_port_egress(test_saved_t *s, int port, const soc_pbmp_t &allowed) {
    if (port < 0 || port >= TEST_SAVE_PORTS || !soc_pbmp_member(s->egress_saved, port)) return 0;
    return drv_port_vlan_set(s->unit, port, allowed);
}

int test_link_wait(int unit, dxp_pbmp_t *ports, int usecs) {
    auto count = [](const dxp_pbmp_t &b) {
        return __builtin_popcount(b.w[0]) + __builtin_popcount(b.w[1]);
    };
    for (;;) {
        const int down = count(*ports);
        const int rv = dxp_link_wait(unit, ports, usecs);
        if (rv != DXP_E_TIMEOUT || count(*ports) >= down) return rv;
    }
}

int test_vlan_create(test_saved_t *s, dxp_vlan_t vid) {
    const int rv = dxp_vlan_create(s->unit, vid);
    if (rv < 0) return rv;
    port_reserve_keep_created(s->unit, vid, to_dxp(s->held));
    if (!journal(s, test_change_t{.kind = TEST_VLAN_CREATED, .vid = vid})) {
        dxp_vlan_destroy(s->unit, vid);
        return DXP_E_MEMORY;
    }
    return rv;
}

int test_vlan_port_add(test_saved_t *s, dxp_vlan_t vid, dxp_pbmp_t members, dxp_pbmp_t untagged) {
    if (int rv = note_members(s, vid, members); rv < 0) return rv;
    return dxp_vlan_port_add(s->unit, vid, members, untagged);
}

int test_vlan_port_remove(test_saved_t *s, dxp_vlan_t vid, dxp_pbmp_t ports) {
    if (int rv = note_members(s, vid, ports); rv < 0) return rv;
    return dxp_vlan_port_remove(s->unit, vid, ports);
}

int test_pvid_set(test_saved_t *s, int port, dxp_vlan_t vid) {
    dxp_vlan_t before = 0;
    if (int rv = dxp_port_untagged_vlan_get(s->unit, port, &before); rv < 0) return rv;
    if (!journal(s, test_change_t{.kind = TEST_PORT_PVID, .port = port, .before = before}))
        return DXP_E_MEMORY;
    return dxp_port_untagged_vlan_set(s->unit, port, vid);
}

int test_vlan_leave_others(test_saved_t *s, dxp_pbmp_t ports, dxp_vlan_t keep) {
    dxp_vlan_data *list = nullptr;
    int count = 0;
    if (int rv = dxp_vlan_list_by_pbmp(s->unit, ports, &list, &count); rv < 0) return rv;
    int rv = DXP_E_NONE;
    for (int i = 0; i < count && rv >= 0; i++) {
        if (list[i].vlan_tag == keep) continue;
        dxp_pbmp_t leave{};
        for (int w = 0; w < 2; w++)
            leave.w[w] = list[i].port_bitmap.w[w] & ports.w[w];
        if (!dxp_pbmp_is_null(leave)) rv = test_vlan_port_remove(s, list[i].vlan_tag, leave);
    }
    dxp_vlan_list_destroy(s->unit, list, count);
    return rv;
}

namespace {

// The sum of the counters over the ports.
uint64_t sum_counts(int unit, const soc_pbmp_t &ports, std::initializer_list<int> counts) {
    uint64_t sum = 0;
    dxp_stat_sync(unit);
    for (int port = 0; port < TEST_SAVE_PORTS; port++) {
        if (!soc_pbmp_member(ports, port)) continue;
        for (int type : counts) {
            uint64_t v = 0;
            if (dxp_stat_get(unit, port, type, &v) >= 0) sum += v;
        }
    }
    return sum;
}

// What may still reach the wire is what the ports send: frames that hosts
// keep sending in are dropped at the seal, counted, and never stop.
uint64_t ports_sent(int unit, const soc_pbmp_t &ports) {
    return sum_counts(unit, ports, {snmpIfOutUcastPkts, snmpIfOutNUcastPkts});
}

}  // namespace

uint64_t test_ports_traffic(int unit, const soc_pbmp_t &ports) {
    return sum_counts(unit, ports,
                      {snmpIfInUcastPkts, snmpIfInNUcastPkts, snmpIfInDiscards, snmpIfOutUcastPkts,
                       snmpIfOutNUcastPkts, snmpIfOutDiscards});
}

namespace {

// Until the stopped ports have sent what they had queued: what they send
// stays the same over several looks. Frames the CPU still sends through
// them keep it moving: the wait is bounded at a second.
void wait_all_passed(int unit, const soc_pbmp_t &ports) {
    constexpr int kStepUsecs = 20000, kQuietSteps = 5, kMostSteps = 50;
    uint64_t last = ports_sent(unit, ports);
    for (int step = 0, quiet = 0; quiet < kQuietSteps && step < kMostSteps; step++) {
        sal_usleep(kStepUsecs);
        const uint64_t now = ports_sent(unit, ports);
        quiet = now == last ? quiet + 1 : 0;
        last = now;
    }
}

}  // namespace

int test_stop_ports(test_saved_t *s) {
    if (s->stopped || soc_pbmp_is_null(s->held)) return 0;
    s->stopped = true;
    const int unit = s->unit;
    // The ports the test sealed at its start carry its frames; a held port
    // it left in service (the traffic test's odd one) goes on serving.
    const soc_pbmp_t sealed = s->egress_saved;
    // No frame of the network comes in, none goes on: a frame that comes
    // back from a loop is dropped where it enters.
    test_seal_ports(s, sealed, soc_pbmp_t{});
    for (int port = 0; port < TEST_SAVE_PORTS; port++)
        if (soc_pbmp_member(sealed, port)) test_port_egress(s, port, soc_pbmp_t{});
    // What the ports had queued still leaves, into the loop, not the wire,
    // and is dropped where it comes back.
    if (!soc_pbmp_is_null(sealed)) wait_all_passed(unit, sealed);
    int result = 0;
    for (int port = 0; port < TEST_SAVE_PORTS; port++) {
        int loopback = 0;
        if (!soc_pbmp_member(s->held, port) || dxp_port_loopback_get(unit, port, &loopback) < 0 ||
            loopback == 0)
            continue;
        if (int rv = dxp_port_loopback_set(unit, port, 0); rv < 0) {
            test_error(unit, "Port %s: Failed to reset loopback: %s\n", pname(unit, port),
                       dxp_errmsg(rv));
            result = -1;
        }
    }
    return result;
}

int test_restore_switch(test_saved_t *s) {
    int result = test_stop_ports(s);
    for (int i = s->journal_count - 1; i >= 0; i--)
        if (undo(s, s->journal[i]) < 0) result = -1;
    if (restore_statics(s) < 0) result = -1;
    for (int port = 0; port < TEST_SAVE_PORTS; port++)
        if (soc_pbmp_member(s->info_ports, port) && restore_port(s, port) < 0) result = -1;
    // The seal came first at the start: it goes last.
    unseal_ports(s);
    test_release_switch(s);
    return result;
}

void test_release_switch(test_saved_t *s) {
    if (s->cpu_held >= 0) port_reserve_cpu_release(s->unit);
    if (!soc_pbmp_is_null(s->held)) port_reserve_release(s->unit, to_dxp(s->held));
    clear(s);
}
