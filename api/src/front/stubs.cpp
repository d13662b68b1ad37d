// The per-unit stubs, one per operation of the API list. Each holds the
// unit's API lock over its call unless its slot is in the list below.
#include <array>
#include <cstdint>
#include <string_view>
#include <tuple>

#include "dispatch_internal.h"
#include "dxp.h"
#include "port_reserve.h"
#include "sal.h"

namespace {

// The slots whose stub takes no API lock, each for a reason:
// - unit clear and module init (13, 254): they stop and restart link scan,
//   waiting for its thread, which takes the lock; their steps lock one by one;
// - link scan (291-305): its own lock guards its records; enable, detach and
//   init wait for the scan thread, link_wait polls while the thread scans, and
//   an update calls the registered handlers, which call up into the managers;
// - packet records, receive and transmit (345-353, 512-535, 630-635): the
//   packet layer locks its own state; a receive stop and a transmit that waits
//   for its completion wait for threads whose callouts call the API;
// - statistics (536-546): the counter module locks its own state, and a sync
//   waits for the counter thread.
constexpr bool slot_unlocked(int slot) {
    return slot == 13 || slot == 254 || (slot >= 291 && slot <= 305) ||
           (slot >= 345 && slot <= 353) || (slot >= 512 && slot <= 546) ||
           (slot >= 630 && slot <= 635);
}

// The operations that change a port's settings or the way its frames go:
// while a self-test holds the port, only the test itself may call them (its
// restore would undo anyone else's change). Every "port_..._set" is one; the
// others are named. Mirroring is held at the front, where switching a port's
// mirroring off stays possible. A counter clear is held too: the test judges
// the port by its counters.
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

// The operations whose record names a port bitmap (a multicast group's
// members): refused when the group would gain or lose a held port.
constexpr std::string_view held_record_ops[] = {
    "mcast_addr_add",
    "mcast_addr_add_w_l2mcindex",
    "mcast_port_add",
    "mcast_port_remove",
};

constexpr bool held_record_op(std::string_view name) {
    for (std::string_view op : held_record_ops)
        if (op == name) return true;
    return false;
}

// Any other argument names no port.
template <typename T>
bool record_refused(int, const T &) {
    return false;
}

bool record_refused(int unit, dxp_mcast_addr *mcaddr) {
    if (mcaddr == nullptr) return false;
    for (int port = 0; port < static_cast<int>(sizeof mcaddr->pbmp.w * 8); port++)
        if (dxp_pbmp_member(mcaddr->pbmp, port) && port_reserve_refuses(unit, port)) return true;
    return false;
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

#define DXP_API(slot, name, ret, params, args)                                                   \
    ret dxp_##name params {                                                                      \
        const dxp_dispatch_t *table = dxp_unit_dispatch(unit);                                   \
        if (table == nullptr) return DXP_E_UNIT;                                                 \
        if (table->name == nullptr) return DXP_E_UNAVAIL;                                        \
        /* the discarded branch is still compiled: it reads the unit then */                     \
        if constexpr (constexpr int kPort = held_port_arg(#name, #args); kPort >= 0) {           \
            const auto port_arg = std::get<(kPort < 0 ? 0 : kPort)>(std::forward_as_tuple args); \
            if (port_reserve_refuses(unit, static_cast<int>(port_arg))) return DXP_E_BUSY;       \
        }                                                                                        \
        if constexpr (held_record_op(#name)) {                                                   \
            constexpr size_t kRecord = held_record_op(#name) ? 1 : 0;                            \
            if (record_refused(unit, std::get<kRecord>(std::forward_as_tuple args)))             \
                return DXP_E_BUSY;                                                               \
        }                                                                                        \
        if constexpr (slot_unlocked(slot)) {                                                     \
            return table->name args;                                                             \
        } else {                                                                                 \
            DxpUnitLock hold(unit);                                                              \
            return table->name args;                                                             \
        }                                                                                        \
    }
#define DXP_API_FRONT(slot, name, ret, params, args)  // written by hand
#include "dxp_api_list.h"
