// The per-unit stubs, one per operation of the API list. Each holds the
// unit's API lock over its call unless its slot is in the list below.
#include <array>
#include <cstdint>

#include "dispatch_internal.h"
#include "dxp.h"
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

#define DXP_API(slot, name, ret, params, args)                 \
    ret dxp_##name params {                                    \
        const dxp_dispatch_t *table = dxp_unit_dispatch(unit); \
        if (table == nullptr) return DXP_E_UNIT;               \
        if (table->name == nullptr) return DXP_E_UNAVAIL;      \
        if constexpr (slot_unlocked(slot)) {                   \
            return table->name args;                           \
        } else {                                               \
            DxpUnitLock hold(unit);                            \
            return table->name args;                           \
        }                                                      \
    }
#define DXP_API_FRONT(slot, name, ret, params, args)  // written by hand
#include "dxp_api_list.h"
