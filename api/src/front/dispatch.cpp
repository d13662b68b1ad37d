// Unit attachment to a chip family's dispatch table, and dxp_init.
#include <array>
#include <atomic>
#include <cstring>

#include "dispatch_internal.h"
#include "dxp.h"
#include "dxp_tarn.h"
#include "sal.h"
#include "sal_lock.h"

namespace {

constexpr int FAMILIES_MAX = 8;

// The dispatch table of each attached unit; the stubs read it without a lock,
// so records are never freed, only cleared.
std::array<std::atomic<const dxp_dispatch_t *>, DXP_UNITS_MAX> unit_tables{};
std::array<dxp_unit_control_t, DXP_UNITS_MAX> controls{};  // API control records
std::array<const dxp_dispatch_t *, FAMILIES_MAX> families{&dxp_tarn_dispatch};

// Serialises attach, detach, find and the family registry.
sal_mutex_t front_mutex() {
    static sal_mutex_t m = sal_mutex_create("dxp_attach");
    return m;
}

bool unit_in_range(int unit) {
    return unit >= 0 && unit < DXP_UNITS_MAX;
}

const dxp_dispatch_t *family_find(const char *name) {
    for (const dxp_dispatch_t *table : families)
        if (table != nullptr && table->family != nullptr && std::strcmp(table->family, name) == 0)
            return table;
    return nullptr;
}

// Copies text into dst when it fits with its terminator.
bool copy_name(char *dst, size_t size, const char *text) {
    size_t len = std::strlen(text);
    if (len >= size) return false;
    std::memcpy(dst, text, len + 1);
    return true;
}

}  // namespace

const dxp_dispatch_t *dxp_unit_dispatch(int unit) {
    if (!unit_in_range(unit)) return nullptr;
    return unit_tables[unit].load(std::memory_order_acquire);
}

int dxp_dispatch_register(const dxp_dispatch_t *table) {
    if (table == nullptr || table->family == nullptr || table->family[0] == '\0')
        return DXP_E_PARAM;
    SalLock lock(front_mutex());
    for (const dxp_dispatch_t *&slot : families) {
        if (slot != nullptr && std::strcmp(slot->family, table->family) == 0) {
            slot = table;
            return DXP_E_NONE;
        }
    }
    for (const dxp_dispatch_t *&slot : families) {
        if (slot == nullptr) {
            slot = table;
            return DXP_E_NONE;
        }
    }
    return DXP_E_FULL;
}

const dxp_dispatch_t *dxp_dispatch_find(const char *family) {
    if (family == nullptr) return nullptr;
    SalLock lock(front_mutex());
    return family_find(family);
}

int dxp_attach(int unit, const char *type, const char *subtype, int remote_unit) {
    if (unit != -1 && !unit_in_range(unit)) return DXP_E_UNIT;
    if (type == nullptr) return DXP_E_PARAM;
    SalLock lock(front_mutex());
    const dxp_dispatch_t *table = family_find(type);
    if (table == nullptr) return DXP_E_PARAM;
    if (unit == -1) {
        for (int u = 0; u < DXP_UNITS_MAX && unit == -1; u++)
            if (unit_tables[u].load(std::memory_order_relaxed) == nullptr) unit = u;
        if (unit == -1) return DXP_E_FULL;
    } else if (unit_tables[unit].load(std::memory_order_relaxed) != nullptr) {
        return DXP_E_EXISTS;
    }

    dxp_unit_control_t info{};
    if (!copy_name(info.type, sizeof(info.type), type) ||
        !copy_name(info.subtype, sizeof(info.subtype), subtype ? subtype : ""))
        return DXP_E_PARAM;
    info.remote_unit = remote_unit;
    if (table->attach != nullptr) {
        int rv = table->attach(unit, &info.chip);
        if (rv < 0) return rv;
    }
    controls[unit] = info;
    unit_tables[unit].store(table, std::memory_order_release);
    return unit;
}

int dxp_detach(int unit) {
    if (!unit_in_range(unit)) return DXP_E_UNIT;
    SalLock lock(front_mutex());
    const dxp_dispatch_t *table = unit_tables[unit].load(std::memory_order_relaxed);
    if (table == nullptr) return DXP_E_UNIT;
    // The family may still use the unit's API while it lets go of it.
    if (table->detach != nullptr) {
        int rv = table->detach(unit);
        if (rv < 0) return rv;
    }
    unit_tables[unit].store(nullptr, std::memory_order_release);
    controls[unit] = dxp_unit_control_t{};
    return DXP_E_NONE;
}

int dxp_find(const char *type, const char *subtype, int remote_unit) {
    if (type == nullptr) return DXP_E_PARAM;
    SalLock lock(front_mutex());
    for (int unit = 0; unit < DXP_UNITS_MAX; unit++) {
        if (unit_tables[unit].load(std::memory_order_relaxed) == nullptr) continue;
        const dxp_unit_control_t &info = controls[unit];
        if (std::strcmp(info.type, type) != 0 || info.remote_unit != remote_unit) continue;
        if (subtype != nullptr && std::strcmp(info.subtype, subtype) != 0) continue;
        return unit;
    }
    return DXP_E_NOT_FOUND;
}

int dxp_attach_check(int unit) {
    return dxp_unit_dispatch(unit) != nullptr ? DXP_E_NONE : DXP_E_UNIT;
}

int dxp_unit_control_get(int unit, dxp_unit_control_t *out) {
    if (!unit_in_range(unit)) return DXP_E_UNIT;
    if (out == nullptr) return DXP_E_PARAM;
    SalLock lock(front_mutex());
    if (unit_tables[unit].load(std::memory_order_relaxed) == nullptr) return DXP_E_UNIT;
    *out = controls[unit];
    return DXP_E_NONE;
}

int dxp_init(int unit) {
    if (!unit_in_range(unit)) return DXP_E_UNIT;
    if (dxp_unit_dispatch(unit) == nullptr) {
        int rv = dxp_attach(unit, DXP_DEFAULT_FAMILY, nullptr, unit);
        // Another thread may have attached it meanwhile.
        if (rv < 0 && rv != DXP_E_EXISTS) return rv;
    }
    const dxp_dispatch_t *table = dxp_unit_dispatch(unit);
    if (table == nullptr) return DXP_E_UNIT;
    if (table->init == nullptr) return DXP_E_UNAVAIL;
    return table->init(unit);
}
