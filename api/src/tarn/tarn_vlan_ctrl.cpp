// Classification by source MAC (the MAC-to-VLAN table) and the global and
// per-port VLAN controls.
#include "drv_mem.h"
#include "drv_port.h"
#include "drv_vlan.h"
#include "dxp_tarn.h"
#include "tarn_internal.h"

namespace {

constexpr uint32_t kPortPropVlanCtrl = 0x33;
constexpr uint32_t kVtPropIngress = 6;
constexpr uint32_t kVtPropEgressCheck = 9;
constexpr int kMacVlanWords = 2;

int entry(const char *op, int unit) {
    soc_cm_debug_print(DK_VLAN, "DXP API : %s()..\n", op);
    return tarn::unit_check(unit);
}

void mac_words(const dxp_mac_t mac, uint32_t out[2]) {
    out[0] = static_cast<uint32_t>(mac[2]) << 24 | static_cast<uint32_t>(mac[3]) << 16 |
             static_cast<uint32_t>(mac[4]) << 8 | mac[5];
    out[1] = static_cast<uint32_t>(mac[0]) << 8 | mac[1];
}

// Builds {valid, mac} and, with vid/prio given, {priority, vid}.
int mac_entry(int unit, const dxp_mac_t mac, uint32_t *e, const uint32_t *vid,
              const uint32_t *prio) {
    const drv_if_t *drv = tarn::services(unit);
    uint32_t v[2] = {1, 0};
    if (int rv = drv->mem_field_set(unit, DRV_MEM_MACVLAN, DRV_MEM_FIELD_VALID, e, v); rv < 0)
        return rv;
    if (prio != nullptr) {
        v[0] = *prio;
        if (int rv = drv->mem_field_set(unit, DRV_MEM_MACVLAN, DRV_MEM_FIELD_PRIORITY, e, v);
            rv < 0)
            return rv;
    }
    if (vid != nullptr) {
        v[0] = *vid;
        if (int rv = drv->mem_field_set(unit, DRV_MEM_MACVLAN, DRV_MEM_FIELD_VLANID, e, v); rv < 0)
            return rv;
    }
    mac_words(mac, v);
    return drv->mem_field_set(unit, DRV_MEM_MACVLAN, DRV_MEM_FIELD_MAC, e, v);
}

soc_pbmp_t non_cpu_ports(int unit) {
    const soc_control_t *soc = SOC_CONTROL(unit);
    return soc_pbmp_t{{soc->all.bitmap.w[0] & ~soc->cmic_bitmap.w[0],
                       soc->all.bitmap.w[1] & ~soc->cmic_bitmap.w[1]}};
}

int port_check(int unit, int port) {
    return port >= 0 && port < SOC_MAX_NUM_PORTS && SOC_PORT_VALID(unit, port) ? DXP_E_NONE
                                                                               : DXP_E_PARAM;
}

uint32_t flag(int arg) {
    return arg != 0 ? 1 : 0;
}

}  // namespace

int dxp_tarn_vlan_mac_add(int unit, const dxp_mac_t mac, dxp_vlan_t vid, int prio) {
    if (int rv = entry("dxp_tarn_vlan_mac_add", unit); rv < 0) return rv;
    prio &= ~0x100;
    if (prio < 0 || prio > 0xff) return DXP_E_PARAM;
    uint32_t e[kMacVlanWords] = {};
    const uint32_t v = vid, p = static_cast<uint32_t>(prio);
    if (int rv = mac_entry(unit, mac, e, &v, &p); rv < 0) return rv;
    return tarn::services(unit)->mem_insert(unit, DRV_MEM_MACVLAN, e, 0);
}

int dxp_tarn_vlan_mac_delete(int unit, const dxp_mac_t mac) {
    if (int rv = entry("dxp_tarn_vlan_mac_delete", unit); rv < 0) return rv;
    uint32_t e[kMacVlanWords] = {};
    if (int rv = mac_entry(unit, mac, e, nullptr, nullptr); rv < 0) return rv;
    return tarn::services(unit)->mem_delete(unit, DRV_MEM_MACVLAN, e, 0);
}

int dxp_tarn_vlan_mac_delete_all(int unit) {
    if (int rv = entry("dxp_tarn_vlan_mac_delete_all", unit); rv < 0) return rv;
    return tarn::services(unit)->mem_clear(unit, DRV_MEM_MACVLAN);
}

int dxp_tarn_vlan_control_set(int unit, int type, int arg) {
    if (int rv = entry("dxp_tarn_vlan_control_set", unit); rv < 0) return rv;
    const drv_if_t *drv = tarn::services(unit);
    switch (type) {
        case 0:
            return drv->vlan_prop_set(unit, DRV_VLAN_PROP_VTABLE_MISS_DROP, flag(arg));
        case 2:
            return drv->port_set(unit, non_cpu_ports(unit), kPortPropVlanCtrl, flag(arg));
        case 3:
            return drv->vlan_prop_set(unit, DRV_VLAN_PROP_SHARED_LEARN, flag(arg));
        case 6:
            return drv->vlan_prop_port_enable_set(unit, kVtPropEgressCheck, non_cpu_ports(unit),
                                                  flag(arg));
        default:  // 1, 4, 5 (needs VLAN translation) and above 6
            return DXP_E_UNAVAIL;
    }
}

int dxp_tarn_vlan_control_get(int unit, int type, int *arg) {
    if (int rv = entry("dxp_tarn_vlan_control_get", unit); rv < 0) return rv;
    if (arg == nullptr) return DXP_E_PARAM;
    const drv_if_t *drv = tarn::services(unit);
    uint32_t v = 0;
    switch (type) {
        case 0:
            if (int rv = drv->vlan_prop_get(unit, DRV_VLAN_PROP_VTABLE_MISS_DROP, &v); rv < 0)
                return rv;
            *arg = v != 0;
            return DXP_E_NONE;
        case 2: {
            // What type 2 sets: the per-port control 1 of every non-CPU port.
            const soc_pbmp_t ports = non_cpu_ports(unit);
            *arg = 0;
            for (int port = 0; port < 64; port++) {
                if (!soc_pbmp_member(ports, port)) continue;
                int on = 0;
                if (int rv = dxp_vlan_control_port_get(unit, port, 1, &on); rv < 0) return rv;
                if (on != 0) {
                    *arg = 1;
                    break;
                }
            }
            return DXP_E_NONE;
        }
        case 3:
            // The chip's bit reads the opposite of what was written.
            if (int rv = drv->vlan_prop_get(unit, DRV_VLAN_PROP_SHARED_LEARN, &v); rv < 0)
                return rv;
            *arg = v == 0;
            return DXP_E_NONE;
        case 6: {
            soc_pbmp_t b{};
            if (int rv = drv->vlan_prop_port_enable_get(unit, kVtPropEgressCheck, -1, b.w); rv < 0)
                return rv;
            *arg = !soc_pbmp_is_null(b);
            return DXP_E_NONE;
        }
        default:
            return DXP_E_UNAVAIL;
    }
}

int dxp_tarn_vlan_control_port_set(int unit, int port, int type, int arg) {
    if (int rv = entry("dxp_tarn_vlan_control_port_set", unit); rv < 0) return rv;
    if (int rv = port_check(unit, port); rv < 0) return rv;
    const drv_if_t *drv = tarn::services(unit);
    switch (type) {
        case 1:
            return drv->port_set(unit, tarn::port_bitmap(port), kPortPropVlanCtrl, flag(arg));
        case 2:
            return drv->vlan_prop_port_enable_set(unit, kVtPropIngress, tarn::port_bitmap(port),
                                                  flag(arg));
        default:
            return DXP_E_UNAVAIL;
    }
}

int dxp_tarn_vlan_control_port_get(int unit, int port, int type, int *arg) {
    if (int rv = entry("dxp_tarn_vlan_control_port_get", unit); rv < 0) return rv;
    if (int rv = port_check(unit, port); rv < 0) return rv;
    if (arg == nullptr) return DXP_E_PARAM;
    const drv_if_t *drv = tarn::services(unit);
    uint32_t v = 0;
    switch (type) {
        case 1:
            if (int rv = drv->port_get(unit, port, kPortPropVlanCtrl, &v); rv < 0) return rv;
            break;
        case 2:
            if (int rv = drv->vlan_prop_port_enable_get(unit, kVtPropIngress, port, &v); rv < 0)
                return rv;
            break;
        default:
            return DXP_E_UNAVAIL;
    }
    *arg = v != 0;
    return DXP_E_NONE;
}
