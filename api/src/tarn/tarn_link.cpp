// Link scan: one thread per unit ("dxpLINK.%d") reads the link of the
// scanned ports, keeps the chip's forwarding bitmap equal to the linked
// ports, re-applies a changed port's MAC settings, forces the MAC's link
// status and tells the registered handlers.
#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "dxp_tarn.h"
#include "sal.h"
#include "sal_lock.h"
#include "soc_miim.h"
#include "soc_phy_info.h"
#include "soc_property.h"
#include "soc_pktio.h"
#include "tarn_internal.h"

namespace {

constexpr uint32_t kDebugLink = DK_LINK;  // 0x100000
constexpr uint32_t kScannableTypes = 0xC400C1F;
constexpr int kPorts = SOC_MAX_NUM_PORTS;
constexpr int kMinInterval = 10000;
constexpr int kStartTimeout = 3000000;
constexpr int kStopTimeout = 10000000;
constexpr int kStackBytes = 16384;
constexpr int kDefaultPriority = 50;
constexpr int kDefaultMaxErr = 5;
constexpr int kDefaultErrDelay = 10000000;
constexpr int kModeNone = 0, kModeSw = 1, kModeHw = 2;

struct HandlerNode {
    HandlerNode *next;
    dxp_linkscan_handler_t handler;
};

struct PortErrors {
    int max_errors;
    int delay;  // microseconds out of the scan after the maximum
    int count;
    bool removed;
    uint32_t removed_at;
};

// Bitmaps, handlers and port functions are guarded by lock, which comes
// after the unit's API lock: a scan pass takes the API lock first, as the
// API calls that reach link scan do. Interval and running are polled by
// enable without it.
struct LinkControl {
    char name[16];
    sal_mutex_t lock;
    // Held over a whole pass and the delivery of its changes, so that the
    // handlers hear the changes of two passes in the order they were found.
    // Taken before the managers' locks: only the scan thread, an update and
    // a link wait take it.
    sal_mutex_t pass;
    soc_pbmp_t hw;       // mode 2
    soc_pbmp_t sw;       // mode 1
    soc_pbmp_t link;     // last seen up; the forwarding bitmap
    soc_pbmp_t recheck;  // report down before the next read
    soc_pbmp_t forced;
    soc_pbmp_t forced_state;
    HandlerNode *handlers;
    std::atomic<int> interval;
    std::atomic<bool> running;
    sal_sem_t sleep;
    PortErrors errors[kPorts];
    dxp_linkscan_port_handler_t link_get[kPorts];
};

std::array<LinkControl *, SOC_MAX_NUM_DEVICES> controls{};

class Locked {
  public:
    explicit Locked(LinkControl *lc) : lock_(lc->lock) { sal_mutex_take(lock_, sal_mutex_FOREVER); }
    ~Locked() { sal_mutex_give(lock_); }
    Locked(const Locked &) = delete;
    Locked &operator=(const Locked &) = delete;

  private:
    sal_mutex_t lock_;
};

LinkControl *control(int unit) {
    return unit >= 0 && unit < SOC_MAX_NUM_DEVICES ? controls[unit] : nullptr;
}

const char *port_name(int unit, int port) {
    return SOC_CONTROL(unit)->port_name[port];
}

bool scannable(int unit, int port) {
    return port >= 0 && port < kPorts && (SOC_CONTROL(unit)->port_type[port] & kScannableTypes);
}

soc_pbmp_t pbmp_and(soc_pbmp_t a, soc_pbmp_t b) {
    return soc_pbmp_t{{a.w[0] & b.w[0], a.w[1] & b.w[1]}};
}
soc_pbmp_t pbmp_or(soc_pbmp_t a, soc_pbmp_t b) {
    return soc_pbmp_t{{a.w[0] | b.w[0], a.w[1] | b.w[1]}};
}
bool pbmp_includes(soc_pbmp_t outer, soc_pbmp_t inner) {
    return (inner.w[0] & ~outer.w[0]) == 0 && (inner.w[1] & ~outer.w[1]) == 0;
}

void reset(int unit, LinkControl *lc) {
    const soc_control_t *soc = SOC_CONTROL(unit);
    lc->link = soc->all.bitmap;
    lc->recheck = soc->port.bitmap;
    lc->forced = soc->cmic_bitmap;
    lc->forced_state = soc->cmic_bitmap;
}

int chip_link(int unit, int port, int *link) {
    uint32_t v = 0;
    int rv = tarn::services(unit)->port_status_get(unit, port, PORT_STATUS_LINK, &v);
    if (rv >= 0) *link = static_cast<int>(v) > 0;
    return rv;
}

// The port's new link state; 1 when the port is not scanned at all.
int read_link(int unit, LinkControl *lc, int port, int *link, bool *scanned) {
    *scanned = true;
    if (soc_pbmp_member(lc->recheck, port)) {
        soc_pbmp_port_remove(&lc->recheck, port);
        *link = 0;
        return DXP_E_NONE;
    }
    if (soc_pbmp_member(lc->forced, port)) {
        *link = soc_pbmp_member(lc->forced_state, port);
        return DXP_E_NONE;
    }
    if (soc_pbmp_member(lc->hw, port)) return chip_link(unit, port, link);
    if (soc_pbmp_member(lc->sw, port)) {
        if (dxp_linkscan_port_handler_t fn = lc->link_get[port]; fn != nullptr) {
            int rv = fn(unit, port, link);
            if (rv != DXP_E_UNAVAIL) return rv;
        }
        return chip_link(unit, port, link);
    }
    *scanned = false;
    return DXP_E_NONE;
}

// A link change found by a pass, told to the handlers once the pass has let
// go of its locks: they call up into the managers, whose locks come first.
struct LinkEvent {
    int port;
    dxp_port_info info;
};
struct PassEvents {
    std::vector<LinkEvent> changes;
    std::vector<dxp_linkscan_handler_t> handlers;
};

void call_handlers(int unit, const PassEvents &events) {
    for (const LinkEvent &e : events.changes) {
        for (dxp_linkscan_handler_t handler : events.handlers) {
            dxp_port_info info = e.info;
            handler(unit, e.port, &info);
        }
    }
}

int forward_set(int unit, LinkControl *lc, int port) {
    int rv = soc_link_fwd_set(unit, lc->link);
    if (rv < 0)
        soc_cm_debug_print(tarn::kDebugErr, "Port %s: soc_link_fwd_set failed: %s\n",
                           port_name(unit, port), dxp_errmsg(rv));
    return rv;
}

// Called with the unit's API lock and the link lock held.
int port_update(int unit, LinkControl *lc, int port, PassEvents *events) {
    SAL_ASSERT(SOC_PORT_VALID(unit, port));
    int link = 0;
    bool scanned = true;
    if (int rv = read_link(unit, lc, port, &link, &scanned); rv < 0) {
        soc_cm_debug_print(tarn::kDebugErr, "Port %s: Failed to recover link status: %s\n",
                           port_name(unit, port), dxp_errmsg(rv));
        return rv;
    }
    if (!scanned || (link != 0) == soc_pbmp_member(lc->link, port)) return DXP_E_NONE;

    dxp_port_info info{};
    if (int rv = dxp_port_info_get(unit, port, &info); rv < 0) {
        soc_cm_debug_print(tarn::kDebugErr, "Port %s: dxp_port_info_get failed: %s\n",
                           port_name(unit, port), dxp_errmsg(rv));
        return rv;
    }
    if (!link) {
        soc_pbmp_port_remove(&lc->link, port);
        if (int rv = forward_set(unit, lc, port); rv < 0) return rv;
        info.linkstatus = 0;
        events->changes.push_back({port, info});
        soc_link_sts_override_set(unit, 0, port);
    }
    if (!soc_pbmp_member(lc->forced, port)) {
        if (int rv = dxp_port_update(unit, port, link); rv < 0) {
            soc_cm_debug_print(tarn::kDebugErr, "Port %s: dxp_port_update failed: %s\n",
                               port_name(unit, port), dxp_errmsg(rv));
            return rv;
        }
    }
    if (!link) {
        soc_cm_debug_print(kDebugLink, "Port %s: link down\n", port_name(unit, port));
        return DXP_E_NONE;
    }
    soc_pbmp_port_add(&lc->link, port);
    if (int rv = forward_set(unit, lc, port); rv < 0) return rv;
    soc_link_sts_override_set(unit, 1, port);
    const soc_phy_info_t *phy = soc_phy_info(unit, port);
    const bool fiber = phy != nullptr && (soc_phy_flags(phy) & PHY_FLAGS_FIBER);
    soc_cm_debug_print(kDebugLink, "Port %s: link up (%dMb %s %s)\n", port_name(unit, port),
                       info.speed, info.duplex ? "Full Duplex" : "Half Duplex",
                       fiber ? "Fiber" : "Copper");
    info.linkstatus = 1;
    events->changes.push_back({port, info});
    return DXP_E_NONE;
}

void scan_pass_locked(int unit, LinkControl *lc, soc_pbmp_t ports, PassEvents *events) {
    soc_linkscan_hw_pause(unit);
    for (int port = 0; port < 64; port++) {
        if (!soc_pbmp_member(ports, port)) continue;
        PortErrors &e = lc->errors[port];
        if (e.removed) {
            if (static_cast<int32_t>(sal_time_usecs() - e.removed_at) < e.delay) continue;
            e.removed = false;
            e.count = 0;
            soc_cm_debug_print(kDebugLink | tarn::kDebugErr, "Port %s: restored\n",
                               port_name(unit, port));
        }
        // A re-init may have taken the port from the unit since the pass began.
        if (!SOC_PORT_VALID(unit, port)) continue;
        const soc_pbmp_t saved = lc->recheck;
        if (port_update(unit, lc, port, events) >= 0) {
            if (e.count > 0) e.count--;
            continue;
        }
        lc->recheck = saved;
        if (++e.count >= e.max_errors && e.max_errors >= 1) {
            e.removed = true;
            e.removed_at = sal_time_usecs();
            soc_cm_debug_print(tarn::kDebugErr, "Port %s: temporarily removed from linkscan\n",
                               port_name(unit, port));
        }
    }
    soc_linkscan_hw_continue(unit);
    if (events->changes.empty()) return;
    for (HandlerNode *n = lc->handlers; n != nullptr; n = n->next)
        events->handlers.push_back(n->handler);
}

void scan_pass(int unit, LinkControl *lc, soc_pbmp_t ports) {
    SalLock serial(lc->pass);
    PassEvents events;
    {
        DxpUnitLock api(unit);
        Locked lock(lc);
        scan_pass_locked(unit, lc, ports, &events);
    }
    call_handlers(unit, events);
}

// The chip has no hardware link scan to report to it.
void hw_link_handler(int, soc_pbmp_t *) {}

void enable_ports(int unit, soc_pbmp_t ports) {
    for (int port = 0; port < 64; port++)
        if (soc_pbmp_member(ports, port)) dxp_port_enable_set(unit, port, 1);
}

void link_thread(void *arg) {
    const int unit = static_cast<int>(reinterpret_cast<intptr_t>(arg));
    LinkControl *lc = controls[unit];
    soc_cm_debug_print(kDebugLink, "Linkscan starting on unit %d\n", unit);
    const soc_pbmp_t ports = SOC_CONTROL(unit)->port.bitmap;
    soc_pbmp_t link;
    {
        Locked lock(lc);
        reset(unit, lc);
        for (int port = 0; port < kPorts; port++) {
            lc->errors[port] = PortErrors{};
            if (!soc_pbmp_member(ports, port)) continue;
            lc->errors[port].max_errors =
                soc_property_port_get(unit, port, "dxp_linkscan_maxerr", kDefaultMaxErr);
            lc->errors[port].delay =
                soc_property_port_get(unit, port, "dxp_linkscan_errdelay", kDefaultErrDelay);
        }
        link = lc->link;
    }
    if (int rv = soc_link_fwd_set(unit, link); rv < 0) {
        soc_cm_debug_print(tarn::kDebugErr, "Failed to clear forwarding ports: %s\n",
                           dxp_errmsg(rv));
        return;
    }
    if (int rv = soc_linkscan_handler_register(unit, hw_link_handler); rv < 0) {
        soc_cm_debug_print(tarn::kDebugErr, "Failed to register handler: %s\n", dxp_errmsg(rv));
        return;
    }
    lc->running.store(true);
    while (lc->interval.load() != 0) {
        // The unit's ports as they are now: a re-init may shrink the set.
        scan_pass(unit, lc, SOC_CONTROL(unit)->port.bitmap);
        bool recheck = false, timed = false;
        {
            Locked lock(lc);
            recheck = !soc_pbmp_is_null(lc->recheck);
            timed = !soc_pbmp_is_null(lc->sw);
        }
        if (recheck) continue;
        const int interval = lc->interval.load();
        if (interval == 0) break;
        sal_sem_take(lc->sleep, timed ? interval : sal_sem_FOREVER);
    }
    soc_linkscan_handler_register(unit, nullptr);
    soc_pbmp_t sw, hw;
    {
        Locked lock(lc);
        sw = lc->sw;
        hw = lc->hw;
    }
    enable_ports(unit, sw);
    enable_ports(unit, hw);
    soc_cm_debug_print(kDebugLink, "Linkscan exiting\n");
    lc->running.store(false);
}

// Polls until the thread runs (or stops); false on time-out.
bool wait_running(LinkControl *lc, bool running, int usecs) {
    soc_timeout_t to;
    soc_timeout_init(&to, usecs, 0);
    while (lc->running.load() != running)
        if (soc_timeout_check(&to)) return lc->running.load() == running;
    return true;
}

void wake(LinkControl *lc) {
    sal_sem_give(lc->sleep);
}

int api_entry(const char *op, int unit, LinkControl **lc) {
    soc_cm_debug_print(kDebugLink, "DXP API : %s()..\n", op);
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    *lc = control(unit);
    return *lc != nullptr ? DXP_E_NONE : DXP_E_INIT;
}

}  // namespace

bool tarn::link_scanned_up(int unit, int port) {
    LinkControl *lc = control(unit);
    if (lc == nullptr || port < 0 || port >= kPorts) return false;
    Locked lock(lc);
    return soc_pbmp_member(lc->link, port);
}

int dxp_tarn_linkscan_init(int unit) {
    soc_cm_debug_print(kDebugLink, "DXP API : %s()..\n", __func__);
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    if (controls[unit] != nullptr) {
        if (int rv = dxp_linkscan_detach(unit); rv < 0) return rv;
    }
    void *p = sal_alloc(sizeof(LinkControl), "link_control");
    if (p == nullptr) return DXP_E_MEMORY;
    auto *lc = new (p) LinkControl{};
    lc->lock = sal_mutex_create("dxp_link_LOCK");
    lc->pass = sal_mutex_create("dxp_link_PASS");
    lc->sleep = lc->lock != nullptr && lc->pass != nullptr ? sal_sem_create("dxp_link_SLEEP", 1, 0)
                                                           : nullptr;
    if (lc->sleep == nullptr) {
        if (lc->lock != nullptr) sal_mutex_destroy(lc->lock);
        if (lc->pass != nullptr) sal_mutex_destroy(lc->pass);
        lc->~LinkControl();
        sal_free(p);
        return DXP_E_MEMORY;
    }
    reset(unit, lc);
    controls[unit] = lc;
    return DXP_E_NONE;
}

int dxp_tarn_linkscan_detach(int unit) {
    soc_cm_debug_print(kDebugLink, "DXP API : %s()..\n", __func__);
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    LinkControl *lc = controls[unit];
    if (lc == nullptr) return DXP_E_NONE;
    if (int rv = soc_linkscan_hw_config(unit, soc_pbmp_t{}); rv < 0) return rv;
    if (int rv = dxp_linkscan_enable_set(unit, 0); rv < 0) return rv;
    controls[unit] = nullptr;
    for (HandlerNode *n = lc->handlers; n != nullptr;) {
        HandlerNode *next = n->next;
        sal_free(n);
        n = next;
    }
    sal_sem_destroy(lc->sleep);
    sal_mutex_destroy(lc->lock);
    sal_mutex_destroy(lc->pass);
    lc->~LinkControl();
    sal_free(lc);
    return DXP_E_NONE;
}

int dxp_tarn_linkscan_enable_set(int unit, int usecs) {
    soc_cm_debug_print(kDebugLink, "DXP API : %s()..\n", __func__);
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    LinkControl *lc = control(unit);
    if (lc == nullptr) return usecs == 0 ? DXP_E_NONE : DXP_E_INIT;
    if (soc_property_get(unit, "reg_write_log", 0) == 0)
        sal_snprintf(lc->name, sizeof lc->name, "dxpLINK.%d", unit);
    if (usecs == 0) {
        if (!lc->running.load()) {
            lc->interval.store(0);
            return DXP_E_NONE;
        }
        lc->interval.store(0);
        wake(lc);
        if (!wait_running(lc, false, kStopTimeout)) {
            soc_cm_debug_print(tarn::kDebugErr, "%s: Thread did not exit\n", lc->name);
            return DXP_E_INTERNAL;
        }
        return DXP_E_NONE;
    }
    if (usecs < kMinInterval) usecs = kMinInterval;
    lc->interval.store(usecs);
    if (lc->running.load()) {
        wake(lc);
        return DXP_E_NONE;
    }
    const int prio = soc_property_get(unit, "linkscan_thread_pri", kDefaultPriority);
    sal_thread_t t = sal_thread_create(lc->name, kStackBytes, prio, link_thread,
                                       reinterpret_cast<void *>(static_cast<intptr_t>(unit)));
    if (t == SAL_THREAD_ERROR) {
        lc->interval.store(0);
        return DXP_E_MEMORY;
    }
    if (!wait_running(lc, true, kStartTimeout)) {
        soc_cm_debug_print(tarn::kDebugErr, "%s: Thread did not start\n", lc->name);
        lc->interval.store(0);
        return DXP_E_INTERNAL;
    }
    return DXP_E_NONE;
}

int dxp_tarn_linkscan_enable_get(int unit, int *usecs) {
    LinkControl *lc = nullptr;
    if (int rv = api_entry(__func__, unit, &lc); rv < 0) return rv;
    if (usecs == nullptr) return DXP_E_PARAM;
    *usecs = lc->interval.load();
    return DXP_E_NONE;
}

int dxp_tarn_linkscan_enable_port_get(int unit, int port) {
    soc_cm_debug_print(kDebugLink, "DXP API : %s()..\n", __func__);
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    if (!scannable(unit, port)) return DXP_E_PORT;
    LinkControl *lc = control(unit);
    if (lc == nullptr || lc->interval.load() == 0) return DXP_E_DISABLED;
    Locked lock(lc);
    const soc_pbmp_t scanned = pbmp_or(pbmp_or(lc->sw, lc->hw), lc->forced);
    return soc_pbmp_member(scanned, port) ? DXP_E_NONE : DXP_E_DISABLED;
}

int dxp_tarn_linkscan_mode_set(int unit, int port, int mode) {
    soc_cm_debug_print(kDebugLink, "DXP API : %s()..\n", __func__);
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    if (!scannable(unit, port)) return DXP_E_PARAM;
    LinkControl *lc = control(unit);
    if (lc == nullptr) return DXP_E_INIT;
    int rv = DXP_E_NONE;
    {
        Locked lock(lc);
        soc_pbmp_port_remove(&lc->sw, port);
        soc_pbmp_port_remove(&lc->hw, port);
        if (mode == kModeSw) soc_pbmp_port_add(&lc->sw, port);
        if (mode == kModeHw) soc_pbmp_port_add(&lc->hw, port);
        rv = soc_linkscan_hw_config(unit, lc->hw);
    }
    wake(lc);
    if (mode == kModeSw || mode == kModeHw || rv < 0) return rv;
    return dxp_port_enable_set(unit, port, 1);
}

int dxp_tarn_linkscan_mode_set_pbm(int unit, dxp_pbmp_t pbmp, int mode) {
    for (int port = 0; port < 64; port++) {
        if (!dxp_pbmp_member(pbmp, port)) continue;
        if (int rv = dxp_linkscan_mode_set(unit, port, mode); rv < 0) return rv;
    }
    return DXP_E_NONE;
}

int dxp_tarn_linkscan_mode_get(int unit, int port, int *mode) {
    LinkControl *lc = nullptr;
    if (int rv = api_entry(__func__, unit, &lc); rv < 0) return rv;
    if (mode == nullptr) return DXP_E_PARAM;
    if (port < 0 || port >= kPorts) return DXP_E_PORT;
    Locked lock(lc);
    *mode = soc_pbmp_member(lc->hw, port)   ? kModeHw
            : soc_pbmp_member(lc->sw, port) ? kModeSw
                                            : kModeNone;
    return DXP_E_NONE;
}

int dxp_tarn_linkscan_port_register(int unit, int port, dxp_linkscan_port_handler_t handler) {
    soc_cm_debug_print(kDebugLink, "DXP API : %s()..\n", __func__);
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    if (!scannable(unit, port)) return DXP_E_PORT;
    LinkControl *lc = control(unit);
    if (lc == nullptr) return DXP_E_INIT;
    Locked lock(lc);
    lc->link_get[port] = handler;
    return DXP_E_NONE;
}

int dxp_tarn_linkscan_port_unregister(int unit, int port) {
    return dxp_tarn_linkscan_port_register(unit, port, nullptr);
}

int dxp_tarn_linkscan_register(int unit, dxp_linkscan_handler_t handler) {
    LinkControl *lc = nullptr;
    if (int rv = api_entry(__func__, unit, &lc); rv < 0) return rv;
    if (handler == nullptr) return DXP_E_PARAM;
    Locked lock(lc);
    for (HandlerNode *n = lc->handlers; n != nullptr; n = n->next)
        if (n->handler == handler) return DXP_E_NONE;
    auto *node =
        static_cast<HandlerNode *>(sal_alloc(sizeof(HandlerNode), "dxp_linkscan_register"));
    if (node == nullptr) return DXP_E_MEMORY;
    *node = HandlerNode{.next = lc->handlers, .handler = handler};
    lc->handlers = node;
    return DXP_E_NONE;
}

int dxp_tarn_linkscan_unregister(int unit, dxp_linkscan_handler_t handler) {
    LinkControl *lc = nullptr;
    if (int rv = api_entry(__func__, unit, &lc); rv < 0) return rv;
    Locked lock(lc);
    for (HandlerNode **link = &lc->handlers; *link != nullptr; link = &(*link)->next) {
        if ((*link)->handler != handler) continue;
        HandlerNode *node = *link;
        *link = node->next;
        sal_free(node);
        return DXP_E_NONE;
    }
    return DXP_E_NOT_FOUND;
}

int dxp_tarn_linkscan_update(int unit, dxp_pbmp_t pbmp) {
    LinkControl *lc = nullptr;
    if (int rv = api_entry(__func__, unit, &lc); rv < 0) return rv;
    // Only the unit's ports can be scanned.
    const soc_pbmp_t ports = pbmp_and(tarn::to_soc(pbmp), SOC_CONTROL(unit)->port.bitmap);
    if (!soc_pbmp_is_null(ports)) scan_pass(unit, lc, ports);
    return DXP_E_NONE;
}

int dxp_tarn_link_change(int unit, dxp_pbmp_t pbmp) {
    LinkControl *lc = nullptr;
    if (int rv = api_entry(__func__, unit, &lc); rv < 0) return rv;
    {
        Locked lock(lc);
        lc->recheck =
            pbmp_or(lc->recheck, pbmp_and(tarn::to_soc(pbmp), SOC_CONTROL(unit)->port.bitmap));
    }
    wake(lc);
    return DXP_E_NONE;
}

int dxp_tarn_link_wait(int unit, dxp_pbmp_t *pbmp, int usecs) {
    LinkControl *lc = nullptr;
    if (int rv = api_entry(__func__, unit, &lc); rv < 0) return rv;
    if (pbmp == nullptr) return DXP_E_PARAM;
    for (int port = 0; port < 64; port++) {
        if (!dxp_pbmp_member(*pbmp, port)) continue;
        if (int rv = dxp_linkscan_enable_port_get(unit, port); rv < 0) return rv;
    }
    const soc_pbmp_t wanted = tarn::to_soc(*pbmp);
    scan_pass(unit, lc, wanted);
    soc_timeout_t to;
    soc_timeout_init(&to, usecs, 0);
    for (;;) {
        soc_pbmp_t link;
        {
            Locked lock(lc);
            link = lc->link;
        }
        if (pbmp_includes(link, wanted)) return DXP_E_NONE;
        if (soc_timeout_check(&to)) {
            // The caller learns which ports are still without link.
            *pbmp = tarn::to_dxp(pbmp_and(wanted, soc_pbmp_t{{~link.w[0], ~link.w[1]}}));
            return DXP_E_TIMEOUT;
        }
        sal_usleep(static_cast<uint32_t>(lc->interval.load() / 4));
    }
}

int dxp_tarn_link_force(int unit, int port, int force, int link) {
    soc_cm_debug_print(kDebugLink, "DXP API : %s()..\n", __func__);
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    LinkControl *lc = control(unit);
    if (lc == nullptr) return DXP_E_INIT;
    if (!scannable(unit, port)) return DXP_E_PORT;
    {
        Locked lock(lc);
        if (force) {
            soc_pbmp_port_add(&lc->forced, port);
            if (link) {
                soc_pbmp_port_add(&lc->forced_state, port);
            } else {
                soc_pbmp_port_remove(&lc->forced_state, port);
            }
        } else {
            soc_pbmp_port_remove(&lc->forced, port);
            soc_pbmp_port_remove(&lc->forced_state, port);
            soc_pbmp_port_add(&lc->recheck, port);
        }
    }
    wake(lc);
    return DXP_E_NONE;
}
