// Unit initialisation: which modules the chip carries, their init in a fixed
// order, link scanning and the default spanning-tree states; unit clear and
// the unit's identity.
#include <array>

#include "dxp_tarn.h"
#include "sal.h"
#include "soc_phy_info.h"
#include "soc_property.h"
#include "tarn_internal.h"

namespace {

constexpr int kFeatureFilter = 28;
constexpr int kFeatureL3 = 39;
constexpr int kFeatureIpMcast = 41;
constexpr int kFeatureDmux = 82;
constexpr int kFeatureNoStatMib = 240;

constexpr int kLinkscanInterval = 25000;  // microseconds
constexpr int kDefaultStg = 1;
constexpr int kStpForward = 4;

std::array<uint32_t, SOC_MAX_NUM_DEVICES> inited_modules{};

struct ModuleStep {
    uint32_t bit;
    int (*init)(int unit);
    const char *label;
};

// The order matters: ports before L2, spanning tree before VLANs, and link
// scan only once the port state it reads exists.
constexpr ModuleStep kInitOrder[] = {
    {DXP_MODULE_PORT, dxp_port_init, "PORT"},
    {DXP_MODULE_L2, dxp_l2_init, "L2"},
    {DXP_MODULE_STG, dxp_stg_init, "STG"},
    {DXP_MODULE_VLAN, dxp_vlan_init, "VLAN"},
    {DXP_MODULE_TRUNK, dxp_trunk_init, "TRUNK"},
    {DXP_MODULE_COSQ, dxp_cosq_init, "COSQ"},
    {DXP_MODULE_MCAST, dxp_mcast_init, "MCAST"},
    {DXP_MODULE_LINKSCAN, dxp_linkscan_init, "LINKSCAN"},
    {DXP_MODULE_STAT, dxp_stat_init, "STAT"},
    {DXP_MODULE_FIELD, dxp_field_init, "FIELD"},
    {DXP_MODULE_DIFFSERV, dxp_diffserv_init, "DIFFSERV"},
    {DXP_MODULE_MIRROR, dxp_mirror_init, "MIRROR"},
    {DXP_MODULE_TX, dxp_tx_init, "TX"},
    {DXP_MODULE_AUTH, dxp_auth_init, "AUTH"},
};

struct ClearStep {
    int (*call)(int unit);
    const char *label;
};
constexpr ClearStep kClearOrder[] = {
    {dxp_port_clear, "port"},  {dxp_l2_clear, "L2"},      {dxp_stg_clear, "STG"},
    {dxp_vlan_init, "VLAN"},   {dxp_trunk_init, "trunk"}, {dxp_cosq_init, "COSQ"},
    {dxp_mcast_init, "MCast"}, {dxp_field_init, "field"}, {dxp_mirror_init, "mirror"},
    {dxp_auth_init, "AUTH"},
};

uint32_t module_flags(int unit) {
    uint32_t flags = DXP_MODULE_ALL;
    if (!soc_feature(unit, kFeatureFilter)) flags &= ~(DXP_MODULE_FILTER | DXP_MODULE_DIFFSERV);
    if (!soc_feature(unit, kFeatureL3)) flags &= ~DXP_MODULE_L3;
    if (!soc_feature(unit, kFeatureIpMcast)) flags &= ~DXP_MODULE_IPMC;
    if (!soc_feature(unit, kFeatureDmux)) flags &= ~DXP_MODULE_DMUX;
    if (!soc_feature(unit, soc_feature_auth)) flags &= ~DXP_MODULE_AUTH;
    if (soc_feature(unit, kFeatureNoStatMib)) flags &= ~DXP_MODULE_STAT;
    if (tarn::simulated_boot()) {
        static constexpr struct {
            uint32_t bit;
            const char *text;
        } skipped[] = {
            {DXP_MODULE_FILTER, "SIMULATION: skipped init filter\n"},
            {DXP_MODULE_DIFFSERV, "SIMULATION: skipped init diffserv\n"},
            {DXP_MODULE_AUTH, "SIMULATION: skipped init auth\n"},
            {DXP_MODULE_L3, "SIMULATION: skipped init l3\n"},
            {DXP_MODULE_STAT, "SIMULATION: skipped init stat\n"},
        };
        for (const auto &s : skipped) {
            if (!(flags & s.bit)) continue;
            flags &= ~s.bit;
            soc_cm_print("%s", s.text);
        }
    }
    return flags;
}

}  // namespace

int dxp_tarn_config_lock(int unit) {
    if (unit < 0 || unit >= SOC_MAX_NUM_DEVICES) return DXP_E_UNIT;
    return dxp_unit_lock(unit) != nullptr ? DXP_E_NONE : DXP_E_MEMORY;
}

sal_mutex_t dxp_tarn_config_lock_get(int unit) {
    return unit >= 0 && unit < SOC_MAX_NUM_DEVICES ? dxp_unit_lock(unit) : nullptr;
}

int dxp_tarn_init(int unit) {
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    if (int rv = dxp_tarn_config_lock(unit); rv < 0) return rv;
    const uint32_t flags = module_flags(unit);

    dxp_linkscan_enable_set(unit, 0);
    if (int rv = dxp_init_modules(unit, flags); rv < 0) return rv;
    dxp_linkscan_enable_set(unit, kLinkscanInterval);

    const soc_control_t *soc = SOC_CONTROL(unit);
    soc_pbmp_t scanned = soc->fe.bitmap;
    scanned.w[0] |= soc->ge.bitmap.w[0];
    scanned.w[1] |= soc->ge.bitmap.w[1];
    if (int rv = dxp_linkscan_mode_set_pbm(unit, tarn::to_dxp(scanned), 1); rv < 0) {
        soc_cm_debug_print(tarn::kDebugWarn, "Init Failed to set SW link scanning: PBM=%s: %s\n",
                           tarn::pbmp_text(scanned).text, dxp_errmsg(rv));
    }
    for (int port = 0; port < 64; port++) {
        if (!soc_pbmp_member(soc->port.bitmap, port)) continue;
        int rv = dxp_stg_stp_set(unit, kDefaultStg, port, kStpForward);
        if (rv < 0 && rv != DXP_E_UNAVAIL) return rv;  // a chip without group services
    }
    return DXP_E_NONE;
}

int dxp_tarn_init_modules(int unit, uint32_t flags) {
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    if (int rv = dxp_tarn_config_lock(unit); rv < 0) return rv;
    for (const ModuleStep &step : kInitOrder) {
        const uint32_t start = sal_time_usecs();
        if (!(flags & step.bit)) continue;
        if (step.bit == DXP_MODULE_FIELD && !soc_feature(unit, soc_feature_field)) continue;
        if (int rv = step.init(unit); rv < 0) return rv;
        inited_modules[unit] |= step.bit;
        soc_cm_debug_print(tarn::kDebugApi, "dxp_init: %s took %d usec\n", step.label,
                           static_cast<int>(sal_time_usecs() - start));
    }
    return DXP_E_NONE;
}

int dxp_tarn_init_modules_get(int unit) {
    if (unit < 0 || unit >= SOC_MAX_NUM_DEVICES) return 0;
    return static_cast<int>(inited_modules[unit]);
}

int dxp_tarn_clear(int unit) {
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    for (const ClearStep &step : kClearOrder) {
        int rv = step.call(unit);
        if (rv >= 0 || rv == DXP_E_UNAVAIL) continue;
        soc_cm_debug_print(tarn::kDebugErr, "dxp_clear %d: %s failed %d. %s\n", unit, step.label,
                           rv, dxp_errmsg(rv));
        return rv;
    }
    return DXP_E_NONE;
}

int dxp_tarn_info_get(int unit, dxp_info_t *info) {
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    if (info == nullptr) return DXP_E_PARAM;
    const soc_driver_t *drv = SOC_CONTROL(unit)->chip_driver;
    *info = dxp_info_t{};
    if (drv != nullptr) {
        info->vendor = drv->pci_vendor;
        info->device = drv->pci_device;
        info->revision = static_cast<uint8_t>(drv->pci_revision);
    }
    if (soc_feature(unit, kFeatureL3)) info->capability |= DXP_INFO_CAP_L3;
    if (soc_feature(unit, kFeatureIpMcast)) info->capability |= DXP_INFO_CAP_IPMC;
    return DXP_E_NONE;
}

int dxp_tarn_init_phy_addr_set(int unit, const uint32_t *addresses) {
    soc_control_t *soc = SOC_CONTROL(unit);
    if (soc == nullptr || addresses == nullptr) return DXP_E_NONE;
    const int first = soc->port.min;
    const int last = soc->port.max;
    if (first < 0 || first > last) return DXP_E_NONE;
    for (int port = first; port <= last && port < SOC_MAX_NUM_PORTS; port++) {
        if (!soc_pbmp_member(soc->port.bitmap, port)) continue;
        // Only the low byte is an address; the map has one entry per byte value.
        const uint8_t addr = static_cast<uint8_t>(addresses[port] & 0xff);
        if (soc_phy_info_t *phy = soc_phy_info(unit, port); phy != nullptr) phy->phy_addr = addr;
        soc->phyaddr_to_port[addr] = static_cast<int16_t>(port);
    }
    return DXP_E_NONE;
}

int dxp_tarn_unit_detach(int unit) {
    if (int rv = tarn::unit_check(unit); rv < 0) return rv;
    if (int rv = dxp_l2_detach(unit); rv < 0) return rv;
    return dxp_linkscan_detach(unit);
}
