#include "phy_port_lock.h"

#include "phy.h"
#include "phy_internal.h"

namespace phy {

namespace {

struct PortLocks {
    sal_mutex_t at[PHY_UNITS_MAX][SOC_MAX_NUM_PORTS];
    PortLocks() {
        for (auto &unit_locks : at) {
            for (sal_mutex_t &m : unit_locks)
                m = sal_mutex_create("phyPort");
        }
    }
};

thread_local SlotCalls calls{};

}  // namespace

sal_mutex_t port_lock(int unit, int port) {
    // Made once, before any driver runs on two threads.
    static auto *locks = new PortLocks;
    if (unit < 0 || unit >= PHY_UNITS_MAX || port < 0 || port >= SOC_MAX_NUM_PORTS) return nullptr;
    return locks->at[unit][port];
}

SlotCalls &slot_calls() {
    return calls;
}

void medium_change_later(int unit, int port, int medium) {
    calls.due = true;
    calls.unit = unit;
    calls.port = port;
    calls.medium = medium;
}

void slot_calls_done() {
    calls.due = false;
    phy_common_medium_change_notify(calls.unit, calls.port, calls.medium);
}

}  // namespace phy
