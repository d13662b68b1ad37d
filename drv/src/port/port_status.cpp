// Port attach, status, advertisement, the software MAC update and the unit's
// port bitmaps.
#include <atomic>

#include "chipdata/chipdata.h"
#include "drv_if.h"
#include "drv_reg_value.h"
#include "port_internal.h"
#include "port_table.h"
#include "soc_error.h"

using namespace drv_port;

namespace {

constexpr uint32_t kTraceAttach = 0x10800;
constexpr uint32_t kMacFailure = 0x8000800;
constexpr uint32_t kProbeFailure = 0x8000000;
constexpr uint32_t kCpuPortTypes = 0x60;
constexpr uint32_t kPhyStatusChips = 0xbf800000;

const char *error_text(int rv) {
    const drv_port_neighbours_t *n = drv_port_neighbours();
    return n != nullptr && n->errmsg != nullptr ? n->errmsg(rv) : "Unknown error";
}

const char *port_name(int unit, int port) {
    const soc_control_t *s = SOC_CONTROL(unit);
    return port >= 0 && port < SOC_MAX_NUM_PORTS ? s->port_name[port] : "?";
}

uint32_t medium_of(int unit, int port) {
    uint32_t m = DRV_PORT_MEDIUM_COPPER;
    DRV_SERVICES(unit)->port_get(unit, port, PROP_PHY_MEDIUM, &m);
    return m;
}

// The chip's own link bit of the port, for a PHY in loopback.
int chip_link(int unit, int port, uint32_t *value) {
    DrvRegValue v(unit, R_LNKSTS);
    if (int rv = v.read(); rv < 0) return rv;
    uint32_t w[2] = {v.words()[0], v.words()[1]};
    if (wide_chip(unit)) v.getWords(F_LNK_STS, w);
    *value = port >= 0 && port < 64 && ((w[port / 32] >> (port % 32)) & 1u);
    return SOC_E_NONE;
}

int link_status(int unit, int port, uint32_t *value) {
    soc_port_info_t *e = drv_port_entry(unit, port);
    if (e == nullptr) return SOC_E_INIT;
    const phy_driver_t *phy = e->phy_driver;
    int loop = 0;
    if (phy != nullptr && !(SOC_CONTROL(unit)->port_type[port] & kCpuPortTypes) &&
        phy->loopback_get != nullptr)
        phy->loopback_get(unit, port, &loop);
    if (loop) {
        soc_cm_debug_print(kTrace, "port%d at loopback status.\n", port);
        return chip_link(unit, port, value);
    }
    int up = 0;
    int rv = drv_port_call(phy, &phy_driver_t::link_get, unit, port, &up);
    *value = rv >= 0 && up;
    const uint32_t m = *value ? medium_of(unit, port) : DRV_PORT_MEDIUM_COPPER;
    // Link scan and API callers query the link at the same time.
    std::atomic_ref<uint8_t>(e->medium).store(static_cast<uint8_t>(m), std::memory_order_relaxed);
    return rv;
}

int speed_duplex_status(int unit, int port, uint32_t type, uint32_t *value) {
    if (drv_port_entry(unit, port) == nullptr) return SOC_E_INIT;
    const bool speed = type == PORT_STATUS_SPEED;
    const uint32_t flags = SOC_CONTROL(unit)->chip_flags;
    if (flags & SOC_CHIP_DXP7102) {
        // One bit per port: 100 Mb/s resp. full duplex when set.
        DrvRegValue v(unit, speed ? R_SPDSTS : R_DUPSTS);
        if (int rv = v.read(); rv < 0) return rv;
        *value = v.bit(port) ? 2 : 1;
        if (speed) soc_cm_debug_print(kTrace, "drv_port_status_get: SPEED = %d\n", *value);
        return SOC_E_NONE;
    }
    if (!(flags & kPhyStatusChips)) return SOC_E_RESOURCE;
    const phy_driver_t *phy = drv_port_phy(unit, port);
    int v = 0;
    int rv = speed ? drv_port_call(phy, &phy_driver_t::speed_get, unit, port, &v)
                   : drv_port_call(phy, &phy_driver_t::duplex_get, unit, port, &v);
    if (rv < 0) return rv;
    if (speed) {
        *value = v == 1000 ? 3 : v == 100 ? 2 : 1;
    } else {
        *value = v == 1 ? 2 : 1;
    }
    return SOC_E_NONE;
}

int probe_status(int unit, int port, uint32_t *value) {
    *value = 0;
    int ok = 0;
    int rv = drv_port_attach(unit, port, &ok);
    *value = static_cast<uint32_t>(ok);
    if (!ok)
        soc_cm_debug_print(kProbeFailure, "Port probe failed on port %s\n", port_name(unit, port));
    soc_cm_debug_print(kTrace, "drv_port_status_get: PROBE %s\n", ok ? "OK" : "FAIL");
    return rv;
}

}  // namespace

int drv_port_attach(int unit, int port, int *okay) {
    *okay = 0;
    if (int rv = drv_port_info_alloc(unit); rv < 0) return rv;
    soc_port_info_t *e = drv_port_entry(unit, port);
    if (e == nullptr) return SOC_E_PARAM;
    const drv_port_neighbours_t *n = drv_port_neighbours();
    const phy_driver_t *phy = nullptr;
    int rv =
        n != nullptr && n->phy_probe != nullptr ? n->phy_probe(unit, port, &phy) : SOC_E_UNAVAIL;
    if (rv < 0) return rv;
    e->phy_driver = phy;
    if (phy != nullptr && n->phy_reset_register != nullptr)
        n->phy_reset_register(unit, port, phy->reset, nullptr, 1);
    if (rv = drv_port_call(phy, &phy_driver_t::init, unit, port); rv < 0) {
        // One PHY that cannot start keeps its own port down, not the unit.
        if (n->phy_failed == nullptr) return rv;
        soc_cm_debug_print(kProbeFailure, "Port %s: PHY failed its init: %s; the port stays down\n",
                           port_name(unit, port), error_text(rv));
        phy = n->phy_failed;
        e->phy_driver = phy;
        if (n->phy_reset_register != nullptr)
            n->phy_reset_register(unit, port, phy->reset, nullptr, 1);
        if (rv = drv_port_call(phy, &phy_driver_t::init, unit, port); rv < 0) return rv;
    }
    std::atomic_ref<uint8_t>(e->medium).store(static_cast<uint8_t>(medium_of(unit, port)),
                                              std::memory_order_relaxed);

    soc_cm_debug_print(kTraceAttach, "Init port %d MAC...\n", port);
    const mac_driver_t *mac = nullptr;
    if (rv = drv_mac_probe(unit, port, &mac); rv < 0) {
        soc_cm_debug_print(kMacFailure, "Unit %d Port %s: Failed to probe MAC: %s\n", unit,
                           port_name(unit, port), error_text(rv));
        return rv;
    }
    e->mac_driver = mac;
    if (rv = drv_port_call(mac, &mac_driver_t::md_init, unit, port); rv < 0) {
        soc_cm_debug_print(kMacFailure, "Unit %d Port %s: Failed to initialize MAC: %s\n", unit,
                           port_name(unit, port), error_text(rv));
        return rv;
    }
    *okay = 1;
    return SOC_E_NONE;
}

int drv_port_status_get(int unit, int port, uint32_t status_type, uint32_t *value) {
    switch (status_type) {
        case PORT_STATUS_LINK:
            return link_status(unit, port, value);
        case PORT_STATUS_SPEED:
        case PORT_STATUS_DUPLEX:
            return speed_duplex_status(unit, port, status_type, value);
        case PORT_STATUS_PROBE:
            return probe_status(unit, port, value);
        case PORT_STATUS_INIT:
            *value = drv_port_info(unit) != nullptr;
            return SOC_E_NONE;
        case PORT_STATUS_PHY_DRV_NAME:
            soc_cm_debug_print(kTrace, "drv_port_status_get: PHY_DRV_NAME\n");
            return drv_port_info(unit) != nullptr ? SOC_E_NONE : SOC_E_INIT;
        default:
            return SOC_E_PARAM;
    }
}

int drv_port_advertise_set(int unit, soc_pbmp_t bmp, uint32_t adv_value) {
    soc_cm_debug_print(kTrace, "drv_port_advertise_set: unit = %d, bmp = %x %x, adv_value = %x\n",
                       unit, bmp.w[0], bmp.w[1], adv_value);
    if (drv_port_info(unit) == nullptr) return SOC_E_INIT;
    for (int port = 0; port < 64; port++) {
        if (!soc_pbmp_member(bmp, port)) continue;
        int rv = drv_port_call(drv_port_phy(unit, port), &phy_driver_t::adv_local_set, unit, port,
                               adv_value);
        if (rv < 0) return rv;
    }
    return SOC_E_NONE;
}

int drv_port_advertise_get(int unit, int port, uint32_t *adv_value) {
    soc_cm_debug_print(kTrace, "drv_port_advertise_get\n");
    if (drv_port_info(unit) == nullptr) return SOC_E_INIT;
    int rv = drv_port_call(drv_port_phy(unit, port), &phy_driver_t::adv_local_get, unit, port,
                           adv_value);
    soc_cm_debug_print(kTrace, "drv_port_advertise_get: unit = %d, port = %d, adv_value = %x\n",
                       unit, port, *adv_value);
    return rv;
}

int drv_port_sw_mac_update(int unit, soc_pbmp_t bmp) {
    soc_cm_debug_print(kTrace, "drv_port_sw_mac_update: unit = %d, bmp = %x %x\n", unit, bmp.w[0],
                       bmp.w[1]);
    if (drv_port_info(unit) == nullptr) return SOC_E_INIT;
    for (int port = 0; port < 64; port++) {
        if (!soc_pbmp_member(bmp, port)) continue;
        const phy_driver_t *phy = drv_port_phy(unit, port);
        const mac_driver_t *mac = drv_port_mac(unit, port);
        int speed = 0, full = 0;
        if (int rv = drv_port_call(phy, &phy_driver_t::speed_get, unit, port, &speed); rv < 0)
            return rv;
        if (int rv = drv_port_call(mac, &mac_driver_t::md_speed_set, unit, port, speed); rv < 0)
            return rv;
        if (int rv = drv_port_call(phy, &phy_driver_t::duplex_get, unit, port, &full); rv < 0)
            return rv;
        if (int rv = drv_port_call(mac, &mac_driver_t::md_duplex_set, unit, port, full); rv < 0)
            return rv;
    }
    return SOC_E_NONE;
}

int drv_port_bitmap_get(int unit, uint32_t bitmap_type, soc_pbmp_t *bmp) {
    const soc_control_t *s = SOC_CONTROL(unit);
    const soc_pbmp_t *from = nullptr;
    switch (bitmap_type) {
        case DRV_PBMP_FE:
            from = &s->fe.bitmap;
            break;
        case DRV_PBMP_GE:
            from = &s->ge.bitmap;
            break;
        case DRV_PBMP_HG:
            from = &s->hg.bitmap;
            break;
        case DRV_PBMP_PORT:
            from = &s->port.bitmap;
            break;
        case DRV_PBMP_E:
            from = &s->e.bitmap;
            break;
        case DRV_PBMP_ALL:
            from = &s->all.bitmap;
            break;
        default:
            break;
    }
    if (from != nullptr) *bmp = *from;
    soc_cm_debug_print(kTrace, "drv_port_bitmap_get: unit = %d, port type = %d, bmp = %x %x\n",
                       unit, bitmap_type, bmp->w[0], bmp->w[1]);
    return SOC_E_NONE;
}
