// The port module's shared part: entry checks, the per-unit port database,
// and the module's init, probe, clear, detach and configuration.
#include <array>
#include <atomic>
#include <cstring>

#include "dxp_tarn.h"
#include "sal.h"
#include "tarn_internal.h"

namespace {

constexpr int kPortCount = SOC_MAX_NUM_PORTS;  // 53
constexpr int kLocalUnitsMax = 16;
constexpr int kDbVlanWord = 18;
constexpr uint32_t kInterfaceBits = 0xC000;
constexpr uint32_t kInterfaceNone = 5, kInterfaceGe = 3, kInterfaceFe = 2;

std::array<uint32_t *, SOC_MAX_NUM_DEVICES> port_db{};
std::atomic<const dxp_tarn_phy_hooks_t *> phy_hooks{nullptr};

const char *port_name(int unit, int port) {
    return SOC_CONTROL(unit)->port_name[port];
}

// The port's interface from its ability; the mode argument is not used.
int port_mode_set(int unit, int port, int) {
    uint32_t ability = 0;
    if (int rv = dxp_port_ability_get(unit, port, &ability); rv < 0) return rv;
    uint32_t intf = kInterfaceNone;
    if (ability & kInterfaceBits)
        intf = soc_pbmp_member(SOC_CONTROL(unit)->ge.bitmap, port) ? kInterfaceGe : kInterfaceFe;
    return tarn::services(unit)->port_set(unit, tarn::port_bitmap(port), PROP_INTERFACE, intf);
}

// Mode and enable of one port at init and clear; failures are warnings.
void port_bring_up(int unit, int port, bool settings) {
    if (int rv = port_mode_set(unit, port, 1); rv < 0) {
        soc_cm_debug_print(tarn::kDebugWarn,
                           "Warning: Unit %d Port %s: Failed to set initial mode: %s\n", unit,
                           port_name(unit, port), dxp_errmsg(rv));
        return;
    }
    if (settings) {
        dxp_tarn_port_settings_init(unit, port);
        dxp_port_discard_set(unit, port, 0);
    }
    if (int rv = dxp_port_enable_set(unit, port, 1); rv < 0)
        soc_cm_debug_print(tarn::kDebugWarn,
                           "Warning: Unit %d Port %s: Failed to enable port: %s\n", unit,
                           port_name(unit, port), dxp_errmsg(rv));
}

int port_db_setup(int unit) {
    const soc_control_t *soc = SOC_CONTROL(unit);
    for (int port = 0; port < 64; port++)
        if (soc_pbmp_member(soc->all.bitmap, port))
            tarn::services(unit)->port_vlan_pvid_set(unit, port, 1, 0);
    if (port_db[unit] == nullptr) {
        void *p =
            sal_alloc(sizeof(uint32_t) * DXP_TARN_PORT_DB_WORDS * kPortCount, "TARN Port Database");
        if (p == nullptr) return DXP_E_MEMORY;
        std::memset(p, 0, sizeof(uint32_t) * DXP_TARN_PORT_DB_WORDS * kPortCount);
        port_db[unit] = static_cast<uint32_t *>(p);
    }
    for (int port = 0; port < kPortCount; port++)
        if (soc_pbmp_member(soc->all.bitmap, port))
            port_db[unit][port * DXP_TARN_PORT_DB_WORDS + kDbVlanWord] = 1;
    return DXP_E_NONE;
}

int module_ready(int unit) {
    uint32_t inited = 0;
    int rv = tarn::services(unit)->port_status_get(unit, 0, PORT_STATUS_INIT, &inited);
    return rv < 0 || inited == 0 ? DXP_E_INIT : DXP_E_NONE;
}

}  // namespace

namespace tarn {

int port_entry_no_port(const char *op, int unit) {
    soc_cm_debug_print(kDebugPort, "DXP API : %s()..\n", op);
    if (int rv = unit_check(unit); rv < 0) return rv;
    return module_ready(unit);
}

int port_entry(const char *op, int unit, int port) {
    soc_cm_debug_print(kDebugPort, "DXP API : %s()..\n", op);
    if (int rv = unit_check(unit); rv < 0) return rv;
    if (port < 0 || port >= kPortCount || SOC_CONTROL(unit)->port_type[port] == 0)
        return DXP_E_PORT;
    return module_ready(unit);
}

}  // namespace tarn

void dxp_tarn_phy_hooks_register(const dxp_tarn_phy_hooks_t *hooks) {
    phy_hooks.store(hooks);
}

uint32_t *dxp_tarn_port_db(int unit, int port) {
    if (unit < 0 || unit >= SOC_MAX_NUM_DEVICES || port < 0 || port >= kPortCount) return nullptr;
    uint32_t *db = port_db[unit];
    return db != nullptr ? db + port * DXP_TARN_PORT_DB_WORDS : nullptr;
}

int dxp_tarn_port_init(int unit) {
    SAL_ASSERT(unit < kLocalUnitsMax);
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    if (int rv = port_db_setup(unit); rv < 0) return rv;
    const dxp_tarn_phy_hooks_t *hooks = phy_hooks.load();
    if (hooks != nullptr && hooks->common_init != nullptr) {
        if (int rv = hooks->common_init(unit); rv < 0) return rv;
    }
    const soc_pbmp_t ports = SOC_CONTROL(unit)->port.bitmap;
    dxp_pbmp_t okay{};
    if (int rv = dxp_port_probe(unit, tarn::to_dxp(ports), &okay); rv < 0) {
        soc_cm_debug_print(tarn::kDebugErr, "Error unit %d:  Failed port probe: %s\n", unit,
                           dxp_errmsg(rv));
        return rv;
    }
    soc_cm_debug_print(tarn::kDebugApi, "Probed ports okay: %s of %s\n",
                       tarn::pbmp_text(tarn::to_soc(okay)).text, tarn::pbmp_text(ports).text);
    for (int port = 0; port < 64; port++) {
        if (!dxp_pbmp_member(okay, port)) continue;
        soc_cm_debug_print(tarn::kDebugApi | tarn::kDebugPort, "dxp_port_init: unit %d port %s\n",
                           unit, port_name(unit, port));
        port_bring_up(unit, port, true);
    }
    soc_cm_debug_print(tarn::kDebugPort, "DXP API : dxp_port_init() Done!\n");
    return DXP_E_NONE;
}

int dxp_tarn_port_probe(int unit, dxp_pbmp_t pbmp, dxp_pbmp_t *okay) {
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    if (okay == nullptr) return DXP_E_PARAM;
    *okay = dxp_pbmp_t{};
    for (int port = 0; port < kPortCount; port++) {
        if (!dxp_pbmp_member(pbmp, port)) continue;
        uint32_t probed = 0;
        // A port that cannot attach stays out of the result; the others go on.
        int rv = tarn::services(unit)->port_status_get(unit, port, PORT_STATUS_PROBE, &probed);
        if (rv < 0)
            soc_cm_debug_print(tarn::kDebugErr, "Error unit %d:  Port %s probe: %s\n", unit,
                               port_name(unit, port), dxp_errmsg(rv));
        if (rv >= 0 && probed != 0) dxp_pbmp_port_add(okay, port);
    }
    return DXP_E_NONE;
}

int dxp_tarn_port_clear(int unit) {
    if (int rv = tarn::port_entry_no_port(__func__, unit); rv < 0) return rv;
    dxp_port_config_t config{};
    if (int rv = dxp_port_config_get(unit, &config); rv < 0) return rv;
    for (int port = 0; port < 64; port++) {
        if (!dxp_pbmp_member(config.e, port)) continue;
        soc_cm_debug_print(tarn::kDebugApi | tarn::kDebugPort, "dxp_port_clear: unit %d port %s\n",
                           unit, port_name(unit, port));
        port_bring_up(unit, port, false);
    }
    return DXP_E_NONE;
}

int dxp_tarn_port_detach(int unit, dxp_pbmp_t pbmp, dxp_pbmp_t *detached) {
    if (int rv = tarn::port_entry_no_port(__func__, unit); rv < 0) return rv;
    if (detached == nullptr) return DXP_E_PARAM;
    *detached = dxp_pbmp_t{};
    for (int port = 0; port < 64; port++) {
        if (!dxp_pbmp_member(pbmp, port)) continue;
        if (int rv = dxp_port_stp_set(unit, port, 0); rv < 0) return rv;
        if (int rv = port_mode_set(unit, port, 0); rv < 0) return rv;
        dxp_pbmp_port_add(detached, port);
    }
    return DXP_E_NONE;
}

int dxp_tarn_port_config_get(int unit, dxp_port_config_t *config) {
    if (int rv = tarn::port_entry_no_port(__func__, unit); rv < 0) return rv;
    if (config == nullptr) return DXP_E_PARAM;
    const soc_control_t *soc = SOC_CONTROL(unit);
    *config = dxp_port_config_t{};
    config->fe = tarn::to_dxp(soc->fe.bitmap);
    config->ge = tarn::to_dxp(soc->ge.bitmap);
    config->xe = tarn::to_dxp(soc->xe.bitmap);
    config->e = tarn::to_dxp(soc->e.bitmap);
    config->port = tarn::to_dxp(soc->port.bitmap);
    config->cmic = tarn::to_dxp(soc->cmic_bitmap);
    config->all = tarn::to_dxp(soc->all.bitmap);
    return DXP_E_NONE;
}

const dxp_tarn_phy_hooks_t *dxp_tarn_phy_hooks(void) {
    return phy_hooks.load();
}
