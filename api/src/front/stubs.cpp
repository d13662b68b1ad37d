// The per-unit stubs, one per operation of the API list. Each holds the
// unit's API lock over its call unless its slot is in the list below.
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

#include "dispatch_internal.h"
#include "dxp.h"
#include "port_reserve.h"
#include "sal.h"

namespace {

// The slots whose stub takes no API lock, each for a reason:
// - unit clear and module init (13, 254): they stop and restart link scan,
//   waiting for its thread, which takes the lock; their steps lock one by one;
// - link scan (291-305, but a port's scan mode, which waits for nothing and
//   is checked against the self-test hold): its own lock guards its records; enable, detach and
//   init wait for the scan thread, link_wait polls while the thread scans, and
//   an update calls the registered handlers, which call up into the managers;
// - packet records, receive and transmit (345-353, 512-535, 630-635): the
//   packet layer locks its own state; a receive stop and a transmit that waits
//   for its completion wait for threads whose callouts call the API;
// - statistics (536-546): the counter module locks its own state, and a sync
//   waits for the counter thread.
constexpr bool slot_unlocked(int slot) {
    return slot == 13 || slot == 254 ||
           (slot >= 291 && slot <= 305 && slot != 299 && slot != 300) ||
           (slot >= 345 && slot <= 353) || (slot >= 512 && slot <= 546) ||
           (slot >= 630 && slot <= 635);
}

// The operations that change a port's settings or the way its frames go:
// while a self-test holds the port, only the test itself may call them (its
// restore would undo anyone else's change). Every "port_..._set" is one; the
// others are named. Mirroring is held below (Held), where switching a
// port's mirroring off stays possible. A counter clear is held too: the test
// judges the port by its counters.
constexpr std::string_view held_ops[] = {
    "auth_egress_set",
    "auth_mac_add",
    "auth_mac_delete",
    "auth_mac_delete_all",
    "auth_mode_set",
    "l2_addr_delete_by_mac_port",
    "l2_addr_delete_by_port",
    "l2_addr_delete_by_vlan_port",
    "mcast_bitmap_del",
    "mcast_bitmap_set",
    "mcast_join",
    "mcast_leave",
    "stat_clear",
    "port_info_restore",
    "port_learn_modify",
    "port_protocol_vlan_add",
    "port_protocol_vlan_delete",
    "port_protocol_vlan_delete_all",
    "port_cable_diag",
    "cosq_port_bandwidth_set",
    "cosq_port_mapping_set",
    "rate_bandwidth_set",
    "rate_bcast_set",
    "rate_dlfbc_set",
    "rate_mcast_set",
    "stg_stp_set",
    "vlan_stp_set",
    "switch_control_port_set",
    "vlan_control_port_set",
    "vlan_dtag_add",
    "vlan_dtag_delete",
    "vlan_translate_add",
    "vlan_translate_delete",
    "vlan_egress_translate_add",
    "vlan_egress_translate_delete",
};

constexpr bool held_op(std::string_view name) {
    if (name.starts_with("port_") && name.ends_with("_set")) return true;
    for (std::string_view op : held_ops)
        if (op == name) return true;
    return false;
}

// The position of the argument named "port" in the stringified argument
// list "(unit, port, ...)" of a held operation, else -1.
constexpr int held_port_arg(std::string_view name, std::string_view args) {
    if (!held_op(name)) return -1;
    int index = 0;
    size_t at = 1;  // past "("
    while (at < args.size()) {
        while (at < args.size() && args[at] == ' ')
            at++;
        size_t end = at;
        while (end < args.size() && args[end] != ',' && args[end] != ')')
            end++;
        if (args.substr(at, end - at) == "port") return index;
        index++;
        at = end + 1;
    }
    return -1;
}

static_assert(held_port_arg("port_rate_ingress_set", "(unit, port, kbits_sec, kbits_burst)") == 1);
static_assert(held_port_arg("stg_stp_set", "(unit, stg, port, stp_state)") == 2);
static_assert(held_port_arg("port_rate_ingress_get", "(unit, port, kbits_sec, kbits_burst)") < 0);

// Refused: a self-test holds the port and the caller is not that test. The
// port is noted so that the caller can name it.
bool refuses(int unit, int port) {
    if (!port_reserve_refuses(unit, port)) return false;
    port_reserve_note_refusal(unit, port);
    return true;
}

// A port's own setting: a tested port's, or the CPU port a self-test sends
// from and takes its frames back at.
bool setting_refused(int unit, int port) {
    return refuses(unit, port) || port_reserve_cpu_refuses(unit, port);
}

bool any_refused(int unit, const dxp_pbmp_t &ports) {
    if (!port_reserve_any()) return false;
    for (int port = 0; port < DXP_PORTS_MAX; port++)
        if (dxp_pbmp_member(ports, port) && refuses(unit, port)) return true;
    return false;
}

// A change of every port of the unit (a port argument of -1, a unit-wide
// setting that each port runs).
bool unit_refused(int unit) {
    return any_refused(unit, dxp_pbmp_t{{~0u, ~0u}});
}

// A change of the whole VLAN (its spanning-tree group, the VLAN itself)
// reaches every member.
bool vlan_refused(const dxp_dispatch_t *table, int unit, dxp_vlan_t vid) {
    if (!port_reserve_any() || table->vlan_port_get == nullptr) return false;
    dxp_pbmp_t members{}, untagged{};
    if (table->vlan_port_get(unit, vid, &members, &untagged) < 0) return false;
    // A port a self-test took out of the VLAN for its run is a member still:
    // the test gives it back.
    dxp_pbmp_t kept = members, kept_untagged = untagged;
    port_reserve_vlan_view(unit, vid, &kept, &kept_untagged);
    for (int w = 0; w < 2; w++)
        members.w[w] |= kept.w[w];
    return any_refused(unit, members);
}

// A VLAN a self-test made carries its frames only: a port more in it, or
// an address or a group in it, changes where they go. (A VLAN the test
// shares with ports in service, as the loopback test's default VLAN 1,
// stays open to them.)
bool test_vlan_refused(const dxp_dispatch_t *table, int unit, dxp_vlan_t vid) {
    if (!port_reserve_any()) return false;
    dxp_pbmp_t members{}, untagged{};
    return !port_reserve_vlan_view(unit, vid, &members, &untagged) &&
           vlan_refused(table, unit, vid);
}

// Every VLAN of the spanning-tree group.
bool stg_refused(const dxp_dispatch_t *table, int unit, int stg) {
    if (!port_reserve_any() || table->stg_vlan_list == nullptr) return false;
    dxp_vlan_t *list = nullptr;
    int count = 0;
    if (table->stg_vlan_list(unit, stg, &list, &count) < 0) return false;
    bool refused = false;
    for (int i = 0; i < count && !refused; i++)
        refused = vlan_refused(table, unit, list[i]);
    if (table->stg_vlan_list_destroy != nullptr) table->stg_vlan_list_destroy(unit, list, count);
    return refused;
}

// A multicast group: the ports it names, the ports it has now and its VLAN.
bool mcast_refused(const dxp_dispatch_t *table, int unit, const dxp_mac_t mac, dxp_vlan_t vid,
                   const dxp_pbmp_t &named) {
    if (!port_reserve_any()) return false;
    if (any_refused(unit, named)) return true;
    dxp_mcast_addr now{};
    if (table->mcast_port_get != nullptr && table->mcast_port_get(unit, mac, vid, &now) >= 0 &&
        any_refused(unit, now.pbmp))
        return true;
    return test_vlan_refused(table, unit, vid);
}

// A unicast address: the port it sends to (a trunk or a group names none)
// and its VLAN.
bool l2_refused(const dxp_dispatch_t *table, int unit, const dxp_l2_addr &addr) {
    if (!port_reserve_any()) return false;
    if ((addr.flags & (DXP_L2_MCAST | DXP_L2_TRUNK_MEMBER)) == 0 && refuses(unit, addr.port))
        return true;
    return test_vlan_refused(table, unit, addr.vid);
}

// A clear of static addresses that would take one a self-test puts back at
// its end: the clear would be undone.
bool statics_refused(int unit, uint32_t flags, const uint8_t *mac, int vid) {
    if ((flags & DXP_L2_DELETE_STATIC) == 0) return false;
    const int port = port_reserve_kept_static_port(unit, mac, vid);
    if (port < 0) return false;
    port_reserve_note_refusal(unit, port);
    return true;
}

// The checks beyond a "port" argument, per slot of the operation; any other
// operation touches no port beyond it.
template <int Slot>
struct Held {
    template <typename... Args>
    static bool refused(const dxp_dispatch_t *, Args &&...) {
        return false;
    }
};
#define DXP_HELD(slot, ...)                                        \
    template <>                                                    \
    struct Held<slot> {                                            \
        static bool refused(const dxp_dispatch_t *t, __VA_ARGS__); \
    };                                                             \
    bool Held<slot>::refused(const dxp_dispatch_t *t, __VA_ARGS__)

// The queue count and the scheduling reach every port's frames: a change
// of them is refused while a self-test holds a port; setting what already
// runs is no change and is taken.
DXP_HELD(15, int unit, int numq) {  // cosq_config_set
    int now = 0;
    if (!port_reserve_any() || t->cosq_config_get == nullptr ||
        (t->cosq_config_get(unit, &now) >= 0 && now == numq))
        return false;
    return unit_refused(unit);
}
// The field processor's reset turns it on or off on every port, a tested
// one too (the test keeps it off there, so that no rule meets its frames);
// a chip without one answers as it always does.
bool field_reset_refused(const dxp_dispatch_t *t, int unit) {
    dxp_field_status_t status{};
    if (!port_reserve_any() || t->field_status_get == nullptr ||
        t->field_status_get(unit, &status) == DXP_E_UNAVAIL)
        return false;
    return unit_refused(unit);
}
DXP_HELD(82, int unit) {  // field_detach
    return field_reset_refused(t, unit);
}
DXP_HELD(111, int unit) {  // field_init
    return field_reset_refused(t, unit);
}
DXP_HELD(21, int unit) {  // cosq_init: the factory count and map
    (void)t;
    return unit_refused(unit);
}
DXP_HELD(29, int unit, uint32_t lo, uint32_t hi, int mode, const int *weights,
         int) {  // cosq_port_sched_set
    const dxp_pbmp_t ports{{lo, hi}};
    if (!port_reserve_any()) return false;
    for (int port = 0; port < DXP_PORTS_MAX; port++) {
        if (!dxp_pbmp_member(ports, port) || !port_reserve_refuses(unit, port)) continue;
        // The read fills one weight per queue the chip has; the rest stay -1.
        int now_mode = -1, delay = 0;
        std::array<int, 16> now{};
        now.fill(-1);
        dxp_pbmp_t one{};
        dxp_pbmp_port_add(&one, port);
        bool same =
            t->cosq_port_sched_get != nullptr &&
            t->cosq_port_sched_get(unit, one.w[0], one.w[1], &now_mode, now.data(), &delay) >= 0 &&
            now_mode == mode;
        for (size_t q = 0; same && mode != 1 && q < now.size() && now[q] >= 0; q++)
            same = weights != nullptr && weights[q] == now[q];
        if (same) continue;
        port_reserve_note_refusal(unit, port);
        return true;
    }
    return false;
}
DXP_HELD(255, int unit, dxp_l2_addr *addr) {  // l2_addr_add
    return addr != nullptr &&
           (port_reserve_address_refuses(unit, addr->mac, addr->vid) || l2_refused(t, unit, *addr));
}
// A static address on a tested port is its test's (it gives them back); a
// learnt one may go.
DXP_HELD(256, int unit, const dxp_mac_t mac, dxp_vlan_t vid) {  // l2_addr_delete
    if (port_reserve_address_refuses(unit, mac, vid)) return true;
    dxp_l2_addr now{};
    if (port_reserve_any() && t->l2_addr_get != nullptr &&
        t->l2_addr_get(unit, mac, vid, &now) >= 0 && (now.flags & DXP_L2_STATIC) != 0)
        return l2_refused(t, unit, now);
    return test_vlan_refused(t, unit, vid);
}
DXP_HELD(257, int unit, const dxp_mac_t mac, uint32_t flags) {  // l2_addr_delete_by_mac
    (void)t;
    return statics_refused(unit, flags, mac, -1);
}
DXP_HELD(261, int unit, dxp_vlan_t vid, uint32_t flags) {  // l2_addr_delete_by_vlan
    return statics_refused(unit, flags, nullptr, vid) || test_vlan_refused(t, unit, vid);
}
DXP_HELD(296, int unit, int usecs) {  // linkscan_enable_set: 0 stops every port's scan
    (void)t;
    return usecs == 0 && unit_refused(unit);
}
// A table or the ports cleared whole (the steps of a unit clear).
// A BPDU address sends every port's frames to it to the CPU, a tested
// port's too (the traffic test's broadcasts, the snake's chain); the one
// that runs is no change.
DXP_HELD(273, int unit, int index, const dxp_mac_t mac) {  // l2_bpdu_set
    dxp_mac_t now{};
    if (!port_reserve_any() ||
        (t->l2_bpdu_get != nullptr && t->l2_bpdu_get(unit, index, now) >= 0 && mac != nullptr &&
         std::memcmp(now, mac, sizeof now) == 0))
        return false;
    return unit_refused(unit);
}
DXP_HELD(280, int unit) {  // l2_clear
    (void)t;
    return unit_refused(unit);
}
DXP_HELD(299, int unit, int port, int) {  // linkscan_mode_set
    (void)t;
    return setting_refused(unit, port);
}
DXP_HELD(300, int unit, dxp_pbmp_t pbmp, int) {  // linkscan_mode_set_pbm
    (void)t;
    return any_refused(unit, pbmp);
}
DXP_HELD(306, int unit, dxp_mcast_addr *rec) {  // mcast_addr_add
    return rec != nullptr && mcast_refused(t, unit, rec->mac, rec->vid, rec->pbmp);
}
DXP_HELD(307, int unit, dxp_mcast_addr *rec) {  // mcast_addr_add_w_l2mcindex
    return rec != nullptr && mcast_refused(t, unit, rec->mac, rec->vid, rec->pbmp);
}
DXP_HELD(308, int unit, const dxp_mac_t mac, dxp_vlan_t vid) {  // mcast_addr_remove
    return mcast_refused(t, unit, mac, vid, dxp_pbmp_t{});
}
DXP_HELD(309, int unit, dxp_mcast_addr *rec) {  // mcast_addr_remove_w_l2mcindex
    return rec != nullptr && mcast_refused(t, unit, rec->mac, rec->vid, rec->pbmp);
}
DXP_HELD(317, int unit, dxp_mcast_addr *rec) {  // mcast_port_add
    return rec != nullptr && mcast_refused(t, unit, rec->mac, rec->vid, rec->pbmp);
}
DXP_HELD(319, int unit, dxp_mcast_addr *rec) {  // mcast_port_remove
    return rec != nullptr && mcast_refused(t, unit, rec->mac, rec->vid, rec->pbmp);
}
// Mirroring into or out of a tested port, or out of the CPU port a
// loopback test sends from and takes its frames back at, changes where its
// frames go; switching a port's mirroring off is always taken.
DXP_HELD(329, int unit, int port, int enable) {  // mirror_egress_set
    (void)t;
    return enable != 0 && setting_refused(unit, port);
}
DXP_HELD(331, int unit, int port, int enable) {  // mirror_ingress_set
    (void)t;
    return enable != 0 && setting_refused(unit, port);
}
DXP_HELD(338, int unit, int port, int, int dest_port, uint32_t flags) {  // mirror_port_set
    (void)t;
    return ((flags & 0x6) != 0 && setting_refused(unit, port)) ||
           ((flags & 0x7) != 0 && dest_port >= 0 && setting_refused(unit, dest_port));
}
DXP_HELD(341, int unit, int port, dxp_pbmp_t pbmp) {  // mirror_to_pbmp_set
    (void)t;
    return !dxp_pbmp_is_null(pbmp) && (refuses(unit, port) || any_refused(unit, pbmp));
}
DXP_HELD(342, int unit, int port) {  // mirror_to_set
    (void)t;
    return port >= 0 && setting_refused(unit, port);
}
DXP_HELD(367, int unit) {  // port_clear
    (void)t;
    return unit_refused(unit);
}
DXP_HELD(371, int unit, dxp_pbmp_t pbmp, dxp_pbmp_t *) {  // port_detach
    (void)t;
    return any_refused(unit, pbmp);
}
DXP_HELD(403, int unit) {  // port_init
    (void)t;
    return unit_refused(unit);
}
DXP_HELD(458, int unit, dxp_pbmp_t pbmp, dxp_pbmp_t *) {  // port_probe
    (void)t;
    return any_refused(unit, pbmp);
}
DXP_HELD(509, int unit, int, int) {  // rate_set: every port's storm limits
    (void)t;
    return unit_refused(unit);
}
DXP_HELD(531, int unit, int) {  // rx_rate_set: the frames the CPU port takes
    (void)t;
    return port_reserve_cpu_refuses(unit, -1);
}
DXP_HELD(547, int unit) {  // stg_clear
    (void)t;
    return unit_refused(unit);
}
DXP_HELD(553, int unit, int stg) {  // stg_destroy: its VLANs go to the default group
    return stg_refused(t, unit, stg);
}
DXP_HELD(559, int unit, int, dxp_vlan_t vid) {  // stg_vlan_add
    return vlan_refused(t, unit, vid);
}
DXP_HELD(562, int unit, int, dxp_vlan_t vid) {  // stg_vlan_remove
    return vlan_refused(t, unit, vid);
}
DXP_HELD(563, int unit, int stg) {  // stg_vlan_remove_all
    return stg_refused(t, unit, stg);
}
DXP_HELD(629, int unit, int, dxp_trunk_add_info *info) {  // trunk_set
    (void)t;
    if (info == nullptr) return false;
    for (int i = 0; i < info->num_ports && i < DXP_TRUNK_MAX_PORTCNT; i++)
        if (refuses(unit, info->tp[i])) return true;
    return false;
}
DXP_HELD(645, int unit, dxp_vlan_t vid) {  // vlan_destroy
    return vlan_refused(t, unit, vid);
}
DXP_HELD(646, int unit) {  // vlan_destroy_all
    (void)t;
    return unit_refused(unit);
}
DXP_HELD(668, int unit, dxp_vlan_t vid, dxp_pbmp_t pbmp, dxp_pbmp_t ubmp) {  // vlan_port_add
    return any_refused(unit, pbmp) || any_refused(unit, ubmp) ||
           port_reserve_cpu_vlan_refuses(unit, vid, pbmp) ||
           port_reserve_cpu_vlan_refuses(unit, vid, ubmp) || test_vlan_refused(t, unit, vid);
}
DXP_HELD(670, int unit, dxp_vlan_t vid, dxp_pbmp_t pbmp) {  // vlan_port_remove
    return any_refused(unit, pbmp) || port_reserve_cpu_vlan_refuses(unit, vid, pbmp) ||
           test_vlan_refused(t, unit, vid);
}
DXP_HELD(672, int unit, dxp_vlan_t vid, int) {  // vlan_stg_set
    return vlan_refused(t, unit, vid);
}
#undef DXP_HELD

// What a change leaves to do, per slot: a self-test's own addresses are
// kept as it adds and deletes them, and a clear by anyone else (the L2
// deletes by MAC, port, trunk or VLAN, 257 to 263) puts back those it took,
// as the CPU's station entries are put back.
bool in_table(const dxp_dispatch_t *t, int unit, const dxp_l2_addr &a) {
    dxp_l2_addr now{};
    return t->l2_addr_get != nullptr && t->l2_addr_get(unit, a.mac, a.vid, &now) >= 0;
}

struct ClearKeepsHeld {
    static constexpr bool kAny = true;
    template <typename... Rest>
    static std::vector<dxp_l2_addr> before(const dxp_dispatch_t *t, int unit, Rest &&...) {
        if (!port_reserve_any()) return {};
        std::vector<dxp_l2_addr> there = port_reserve_held_addresses(unit, false);
        std::erase_if(there, [&](const dxp_l2_addr &a) { return !in_table(t, unit, a); });
        return there;
    }
    // Even a clear that failed part-way may have taken some.
    template <typename... Rest>
    static void done(const dxp_dispatch_t *t, std::vector<dxp_l2_addr> &there, int, int unit,
                     Rest &&...) {
        for (dxp_l2_addr &a : there)
            if (!in_table(t, unit, a) && t->l2_addr_add != nullptr) t->l2_addr_add(unit, &a);
        // A test's own clear takes its addresses for good.
        if (!port_reserve_is_test(unit)) return;
        for (const dxp_l2_addr &a : port_reserve_held_addresses(unit, true))
            if (!in_table(t, unit, a)) port_reserve_forget_address(unit, a.mac, a.vid);
    }
};

struct NothingAfter {
    static constexpr bool kAny = false;
};

template <int Slot>
struct After : std::conditional_t<Slot >= 257 && Slot <= 263, ClearKeepsHeld, NothingAfter> {};

struct TestsOwn {
    static constexpr bool kAny = true;
    template <typename... Args>
    static int before(const dxp_dispatch_t *, Args &&...) {
        return 0;
    }
};
template <>
struct After<255> : TestsOwn {  // l2_addr_add
    static void done(const dxp_dispatch_t *, int, int rv, int unit, dxp_l2_addr *addr) {
        if (rv >= 0 && addr != nullptr && port_reserve_is_test(unit))
            port_reserve_keep_address(unit, addr);
    }
};
template <>
struct After<256> : TestsOwn {  // l2_addr_delete
    static void done(const dxp_dispatch_t *, int, int rv, int unit, const uint8_t *mac,
                     dxp_vlan_t vid) {
        if (rv >= 0 && port_reserve_is_test(unit)) port_reserve_forget_address(unit, mac, vid);
    }
};

// The call, between what its slot does before and after it.
template <int Slot, typename Call, typename Args>
int call_with_after(const dxp_dispatch_t *t, Call call, const Args &args) {
    if constexpr (After<Slot>::kAny) {
        auto state = std::apply([&](auto &&...a) { return After<Slot>::before(t, a...); }, args);
        const int rv = call();
        std::apply([&](auto &&...a) { After<Slot>::done(t, state, rv, a...); }, args);
        return rv;
    } else {
        return call();
    }
}

// The port of a held operation's "port" argument; -1 stands for every port
// of the unit, but for the unit's one DSCP map (a code point's priority),
// which no port's setting holds.
template <bool kUnitMap, typename Args>
bool port_arg_refused(int unit, int port, const Args &args) {
    if (port != -1) return setting_refused(unit, port);
    if constexpr (kUnitMap) {
        if (std::get<2>(args) != -1) return false;
    }
    return unit_refused(unit);
}

// One recursive lock per unit, made at first use and never freed: a stub may
// run while another thread detaches the unit.
sal_mutex_t unit_lock(int unit) {
    static auto *locks = [] {
        auto *a = new std::array<sal_mutex_t, DXP_UNITS_MAX>;
        for (sal_mutex_t &m : *a)
            m = sal_mutex_create("dxp_config_lock");
        return a;
    }();
    return unit >= 0 && unit < DXP_UNITS_MAX ? (*locks)[unit] : nullptr;
}

}  // namespace

sal_mutex_t dxp_unit_lock(int unit) {
    return unit_lock(unit);
}

bool dxp_api_slot_unlocked(int slot) {
    return slot_unlocked(slot);
}

// The lock hands over: a caller making call after call (the monitor over many
// ports) queues behind a waiter (a web request) instead of taking it back
// first.
DxpUnitLock::DxpUnitLock(int unit) : lock_(unit_lock(unit)) {
    if (lock_ != nullptr) sal_mutex_take(lock_, sal_mutex_FOREVER);
}

DxpUnitLock::~DxpUnitLock() {
    if (lock_ != nullptr) sal_mutex_give(lock_);
}

// The hold is checked under the unit's API lock, so that a self-test that
// starts meanwhile finds the change made (its save reads the port after it)
// or refuses it before its first write.
#define DXP_API(slot, name, ret, params, args)                                         \
    ret dxp_##name params {                                                            \
        const dxp_dispatch_t *table = dxp_unit_dispatch(unit);                         \
        if (table == nullptr) return DXP_E_UNIT;                                       \
        if (table->name == nullptr) return DXP_E_UNAVAIL;                              \
        std::optional<DxpUnitLock> hold;                                               \
        if constexpr (!slot_unlocked(slot)) hold.emplace(unit);                        \
        /* the discarded branch is still compiled: it reads the unit then */           \
        if constexpr (constexpr int kPort = held_port_arg(#name, #args); kPort >= 0) { \
            const auto all = std::forward_as_tuple args;                               \
            const auto port_arg = std::get<(kPort < 0 ? 0 : kPort)>(all);              \
            constexpr bool kUnitMap = std::string_view(#name) == "port_dscp_map_set";  \
            if (port_arg_refused<kUnitMap>(unit, static_cast<int>(port_arg), all))     \
                return DXP_E_BUSY;                                                     \
        }                                                                              \
        if (std::apply([&](auto &&...a) { return Held<slot>::refused(table, a...); },  \
                       std::forward_as_tuple args))                                    \
            return DXP_E_BUSY;                                                         \
        return call_with_after<slot>(                                                  \
            table, [&] { return table->name args; }, std::forward_as_tuple args);      \
    }
#define DXP_API_FRONT(slot, name, ret, params, args)  // written by hand
#include "dxp_api_list.h"
