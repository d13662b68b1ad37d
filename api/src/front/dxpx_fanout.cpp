// Link-change and packet-receive fan-outs. Handlers may be registered and
// removed from any thread, also while link changes are being delivered.
#include <algorithm>
#include <array>
#include <cstring>

#include "dxpx.h"
#include "dxpx_internal.h"
#include "sal.h"
#include "sal_lock.h"

namespace {

// ---------------------------------------------------------------- link
constexpr int LINK_HANDLERS_MAX = 16;
std::array<dxpx_linkscan_handler_t, LINK_HANDLERS_MAX> link_handlers{};
// Deliveries calling handlers from a snapshot, and the unregisters waiting for
// them to end; both under the link mutex.
int link_deliveries = 0;
int link_waiters = 0;
// Depth of the deliveries running on this thread: a handler that unregisters
// must not wait for its own delivery.
thread_local int link_delivery_depth = 0;

sal_mutex_t link_mutex() {
    static sal_mutex_t m = sal_mutex_create("dxpx_link");
    return m;
}

// Given once per waiter when the last delivery in flight ends.
sal_sem_t link_idle() {
    static sal_sem_t s = sal_sem_create("dxpx_link_idle", 0, 0);
    return s;
}

void link_delivery_end() {
    int wake = 0;
    {
        SalLock lock(link_mutex());
        if (--link_deliveries == 0) {
            wake = link_waiters;
            link_waiters = 0;
        }
    }
    for (int i = 0; i < wake; i++)
        sal_sem_give(link_idle());
}

// ---------------------------------------------------------------- receive
struct rx_callout {
    const char *name;
    dxp_rx_cb_f callback;
    int priority;
    void *cookie;
    uint32_t flags;
};
constexpr int RX_CALLOUTS_MAX = 32;
std::array<rx_callout, RX_CALLOUTS_MAX> rx_callouts{};  // descending priority
int rx_count = 0;
bool rx_started = false;

sal_mutex_t rx_mutex() {
    static sal_mutex_t m = sal_mutex_create("dxpx_rx");
    return m;
}

int rx_find_locked(dxp_rx_cb_f callback, int priority) {
    for (int i = 0; i < rx_count; i++)
        if (rx_callouts[i].callback == callback && rx_callouts[i].priority == priority) return i;
    return -1;
}

int rx_register_on_units(const rx_callout &c) {
    return dxpx_each_unit([&](int u) {
        return dxp_rx_register(u, c.name, c.callback, c.priority, c.cookie, c.flags);
    });
}

void rx_unregister_on_units(const rx_callout &c) {
    dxpx_each_unit([&](int u) { return dxp_rx_unregister(u, c.callback, c.priority); });
}

}  // namespace

void dxpx_link_unit_handler(int unit, int port, dxp_port_info *info) {
    int lport = dxpx_unit_port_to_lport(unit, port);
    if (lport < 0) return;
    // Call a snapshot without the lock, so that handlers may (un)register.
    std::array<dxpx_linkscan_handler_t, LINK_HANDLERS_MAX> handlers;
    {
        SalLock lock(link_mutex());
        handlers = link_handlers;
        link_deliveries++;
    }
    link_delivery_depth++;
    for (dxpx_linkscan_handler_t handler : handlers)
        if (handler != nullptr) handler(lport, info);
    link_delivery_depth--;
    link_delivery_end();
}

int dxpx_linkscan_register(dxpx_linkscan_handler_t handler) {
    if (handler == nullptr) return DXP_E_PARAM;
    SalLock lock(link_mutex());
    if (std::find(link_handlers.begin(), link_handlers.end(), handler) != link_handlers.end())
        return DXP_E_EXISTS;
    auto free_slot = std::find(link_handlers.begin(), link_handlers.end(), nullptr);
    if (free_slot == link_handlers.end()) return DXP_E_FULL;
    *free_slot = handler;
    return DXP_E_NONE;
}

int dxpx_linkscan_unregister(dxpx_linkscan_handler_t handler) {
    if (handler == nullptr) return DXP_E_PARAM;
    sal_mutex_t m = link_mutex();
    sal_mutex_take(m, sal_mutex_FOREVER);
    auto slot = std::find(link_handlers.begin(), link_handlers.end(), handler);
    if (slot == link_handlers.end()) {
        sal_mutex_give(m);
        return DXP_E_NOT_FOUND;
    }
    *slot = nullptr;
    // A snapshot taken before may still hold the handler. From inside a
    // delivery this thread would wait for itself, so it does not wait.
    while (link_delivery_depth == 0 && link_deliveries > 0) {
        link_waiters++;
        sal_mutex_give(m);
        sal_sem_take(link_idle(), sal_sem_FOREVER);
        sal_mutex_take(m, sal_mutex_FOREVER);
    }
    sal_mutex_give(m);
    return DXP_E_NONE;
}

int dxpx_rx_register(const char *name, dxp_rx_cb_f callback, int priority, void *cookie,
                     uint32_t flags) {
    if (callback == nullptr) return DXP_E_PARAM;
    SalLock lock(rx_mutex());
    if (rx_find_locked(callback, priority) >= 0) return DXP_E_EXISTS;
    if (rx_count == RX_CALLOUTS_MAX) return DXP_E_FULL;
    rx_callout callout{name, callback, priority, cookie, flags};
    if (rx_started) {
        int rv = rx_register_on_units(callout);
        if (rv < 0) {
            rx_unregister_on_units(callout);
            return rv;
        }
    }
    // Behind the callouts of the same priority.
    int at = 0;
    while (at < rx_count && rx_callouts[at].priority >= priority)
        at++;
    rx_callout *callouts = rx_callouts.data();
    std::move_backward(callouts + at, callouts + rx_count, callouts + rx_count + 1);
    rx_callouts[at] = callout;
    rx_count++;
    return DXP_E_NONE;
}

int dxpx_rx_unregister(dxp_rx_cb_f callback, int priority) {
    SalLock lock(rx_mutex());
    int at = rx_find_locked(callback, priority);
    if (at < 0) return DXP_E_NOT_FOUND;
    rx_callout callout = rx_callouts[at];
    rx_callout *callouts = rx_callouts.data();
    std::move(callouts + at + 1, callouts + rx_count, callouts + at);
    rx_callouts[--rx_count] = rx_callout{};
    if (rx_started) rx_unregister_on_units(callout);
    return DXP_E_NONE;
}

int dxpx_rx_start(void) {
    SalLock lock(rx_mutex());
    if (rx_started) return DXP_E_NONE;
    int rv = dxpx_each_unit([](int u) { return dxp_rx_start(u, nullptr); });
    if (rv < 0) return rv;
    rx_started = true;
    int result = DXP_E_NONE;
    for (int i = 0; i < rx_count; i++) {
        rv = rx_register_on_units(rx_callouts[i]);
        if (rv < 0) result = rv;
    }
    return result;
}

int dxpx_rx_unit_added(int unit) {
    SalLock lock(rx_mutex());
    if (!rx_started) return DXP_E_NONE;
    int rv = dxp_rx_start(unit, nullptr);
    int done = 0;
    for (; done < rx_count && rv >= 0; done++) {
        const rx_callout &c = rx_callouts[done];
        rv = dxp_rx_register(unit, c.name, c.callback, c.priority, c.cookie, c.flags);
    }
    if (rv >= 0 || rv == DXP_E_UNAVAIL) return DXP_E_NONE;
    // The unit's registration fails as a whole: take back what it got.
    for (int i = 0; i < done - 1; i++)
        dxp_rx_unregister(unit, rx_callouts[i].callback, rx_callouts[i].priority);
    return rv;
}

void dxpx_rx_unit_removed(void) {
    SalLock lock(rx_mutex());
    dxpx_unit_set set;
    dxpx_units_get(&set);
    if (set.count == 0) rx_started = false;
}
