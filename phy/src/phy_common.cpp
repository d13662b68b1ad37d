// Per-port PHY hook tables, the accessors of the PHY records and the
// address-to-port map.
#include "chipdata/ids.h"
#include "phy.h"
#include "phy_internal.h"
#include "sal.h"
#include "sal_lock.h"
#include "soc_error.h"

namespace {

struct PhyHooks {
    phy_reset_cb_t default_reset;
    phy_reset_cb_t user_reset;
    void *user_data;
    phy_medium_change_cb_t medium_cb;
    void *medium_data;
};

PhyHooks *hook_tables[PHY_UNITS_MAX];

bool in_range(int unit, int port) {
    return unit >= 0 && unit < PHY_UNITS_MAX && port >= 0 && port < SOC_MAX_NUM_PORTS;
}

// -17 without a table, -4 out of range, else 0 with the port's entry.
int hooks_of(int unit, int port, PhyHooks **out) {
    if (unit >= 0 && unit < PHY_UNITS_MAX && hook_tables[unit] == nullptr) return SOC_E_INIT;
    if (!in_range(unit, port)) return SOC_E_PARAM;
    *out = &hook_tables[unit][port];
    return SOC_E_NONE;
}

const soc_phy_info_t kNoRecord{};

const soc_phy_info_t &record(int unit, int port) {
    const soc_phy_info_t *pi = soc_phy_info(unit, port);
    return pi != nullptr ? *pi : kNoRecord;
}

}  // namespace

int phy_common_init(int unit) {
    if (unit < 0 || unit >= PHY_UNITS_MAX) return SOC_E_PARAM;
    if (hook_tables[unit] == nullptr) {
        void *p = sal_alloc(sizeof(PhyHooks) * SOC_MAX_NUM_PORTS, "phycommon_info");
        if (p == nullptr) return SOC_E_MEMORY;
        hook_tables[unit] = static_cast<PhyHooks *>(p);
    }
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++)
        hook_tables[unit][port] = PhyHooks{};
    return SOC_E_NONE;
}

int phy_common_reset_register(int unit, int port, phy_reset_cb_t fn, void *user_data,
                              int is_default) {
    PhyHooks *h = nullptr;
    if (int rv = hooks_of(unit, port, &h); rv < 0) return rv;
    if (fn == nullptr) return SOC_E_PARAM;
    if (is_default) {
        h->default_reset = fn;
        return SOC_E_NONE;
    }
    if (h->user_reset == nullptr) {
        h->user_reset = fn;
        h->user_data = user_data;
        return SOC_E_NONE;
    }
    return h->user_reset == fn && h->user_data == user_data ? SOC_E_EXISTS : SOC_E_FULL;
}

int phy_common_reset_unregister(int unit, int port, phy_reset_cb_t fn, void *user_data) {
    PhyHooks *h = nullptr;
    if (int rv = hooks_of(unit, port, &h); rv < 0) return rv;
    if (fn == nullptr) return SOC_E_PARAM;
    if (h->user_reset != fn || h->user_data != user_data) return SOC_E_NOT_FOUND;
    h->user_reset = nullptr;
    h->user_data = nullptr;
    return SOC_E_NONE;
}

int phy_common_reset(int unit, int port) {
    PhyHooks *h = nullptr;
    if (int rv = hooks_of(unit, port, &h); rv < 0) return rv;
    if (h->user_reset != nullptr) return h->user_reset(unit, port, h->user_data);
    if (h->default_reset != nullptr) return h->default_reset(unit, port, nullptr);
    return SOC_E_INTERNAL;
}

// The medium callback is set from the console and called from link scan.
static sal_mutex_t medium_cb_lock() {
    static sal_mutex_t m = sal_mutex_create("phy medium cb");
    return m;
}

int phy_common_medium_change_register(int unit, int port, phy_medium_change_cb_t fn,
                                      void *user_data) {
    PhyHooks *h = nullptr;
    if (int rv = hooks_of(unit, port, &h); rv < 0) return rv;
    if (fn == nullptr) return SOC_E_PARAM;
    SalLock hold(medium_cb_lock());
    if (h->medium_cb == nullptr) {
        h->medium_cb = fn;
        h->medium_data = user_data;
        return SOC_E_NONE;
    }
    return h->medium_cb == fn && h->medium_data == user_data ? SOC_E_EXISTS : SOC_E_FULL;
}

int phy_common_medium_change_unregister(int unit, int port, phy_medium_change_cb_t fn,
                                        void *user_data) {
    PhyHooks *h = nullptr;
    if (int rv = hooks_of(unit, port, &h); rv < 0) return rv;
    SalLock hold(medium_cb_lock());
    if (fn == nullptr || h->medium_cb != fn || h->medium_data != user_data) return SOC_E_NOT_FOUND;
    h->medium_cb = nullptr;
    h->medium_data = nullptr;
    return SOC_E_NONE;
}

void phy_common_medium_change_notify(int unit, int port, int medium) {
    PhyHooks *h = nullptr;
    if (hooks_of(unit, port, &h) < 0) return;
    phy_medium_change_cb_t fn;
    void *data;
    {
        SalLock hold(medium_cb_lock());
        fn = h->medium_cb;
        data = h->medium_data;
    }
    if (fn != nullptr) fn(unit, port, medium, data);
}

uint16_t soc_phy_id0_get(int unit, int port) {
    return record(unit, port).phy_id0;
}
uint16_t soc_phy_id1_get(int unit, int port) {
    return record(unit, port).phy_id1;
}
uint8_t soc_phy_addr_get(int unit, int port) {
    return record(unit, port).phy_addr;
}
uint8_t soc_phy_addr_int_get(int unit, int port) {
    return record(unit, port).phy_addr_int;
}
uint32_t soc_phy_an_timeout_get(int unit, int port) {
    return record(unit, port).phy_an_timeout;
}
int soc_phy_is_c45(int unit, int port) {
    return (soc_phy_flags(&record(unit, port)) & PHY_FLAGS_C45) != 0;
}
const char *soc_phy_name_get(int unit, int port) {
    const char *name = record(unit, port).phy_name;
    return name != nullptr ? name : "<Unnamed PHY>";
}

int soc_phy_addr_to_port(int unit, int phy_addr) {
    const soc_control_t *s = SOC_CONTROL(unit);
    if (s == nullptr) return -1;
    phy_addr &= 0xff;
    const bool in_record = SOC_IS_FAMILY_LAYOUT(unit);
    if (phy_addr >= (in_record ? kPhyAddrLimit : kPhyAddrLimitSide)) {
        sal_assert(in_record ? "phy_id < PHY_TARN_NUM_PORTS" : "phy_id < PHY_NUM_PORTS", "phyident",
                   __LINE__);
        return -1;
    }
    return s->phyaddr_to_port[phy_addr];
}

uint32_t shr_bit_rev_by_byte(uint32_t value) {
    return phy_bit_rev_by_byte(value);
}

void phy_common_host_forget(void) {
    for (PhyHooks *&t : hook_tables) {
        if (t != nullptr) sal_free(t);
        t = nullptr;
    }
}
