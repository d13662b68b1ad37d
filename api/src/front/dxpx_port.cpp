// Port, storm-control and statistics operations on logical ports.
#include <atomic>

#include "dxpx.h"
#include "dxpx_internal.h"
#include "port_reserve.h"

namespace {
std::atomic<uint32_t> port_changes{0};
}

uint32_t dxpx_port_changes(void) {
    return port_changes.load();
}

// A change of a port that a self-test holds is refused: the test's restore
// would undo it.
template <typename Op>
int dxpx_change_lport(int lport, Op op) {
    if (port_reserved_lport(lport)) return DXP_E_BUSY;
    const int rv = dxpx_on_lport(lport, op);
    port_changes++;
    return rv;
}

// An operation passing one value, or one pointer (null: -4), to the port's unit.
#define DXPX_PORT_VALUE(op, type)                                                                  \
    int dxpx_port_##op(int lport, type value) {                                                    \
        return dxpx_change_lport(lport, [=](int u, int p) { return dxp_port_##op(u, p, value); }); \
    }
#define DXPX_PORT_POINTER(op, type)                                                            \
    int dxpx_port_##op(int lport, type *value) {                                               \
        if (value == nullptr) return DXP_E_PARAM;                                              \
        return dxpx_on_lport(lport, [=](int u, int p) { return dxp_port_##op(u, p, value); }); \
    }

// A setting read of a held port answers what the test will give back, so a
// page or a save during the test shows and stores the administrator's value.
#define DXPX_PORT_SETTING(op, type, field)                                                 \
    int dxpx_port_##op(int lport, type *value) {                                           \
        if (value == nullptr) return DXP_E_PARAM;                                          \
        return dxpx_on_lport(lport, [=](int u, int p) {                                    \
            dxp_port_info before{};                                                        \
            if (!port_reserve_kept_info(u, p, &before)) return dxp_port_##op(u, p, value); \
            *value = static_cast<type>(before.field);                                      \
            return static_cast<int>(DXP_E_NONE);                                           \
        });                                                                                \
    }

DXPX_PORT_VALUE(enable_set, int)
DXPX_PORT_SETTING(enable_get, int, enable)
DXPX_PORT_VALUE(autoneg_set, int)
DXPX_PORT_SETTING(autoneg_get, int, autoneg)
DXPX_PORT_VALUE(mdix_set, int)
DXPX_PORT_VALUE(speed_set, int)
DXPX_PORT_POINTER(speed_get, int)
DXPX_PORT_VALUE(duplex_set, int)
DXPX_PORT_POINTER(duplex_get, int)
DXPX_PORT_VALUE(advert_set, uint32_t)
DXPX_PORT_SETTING(advert_get, uint32_t, local_advert)
DXPX_PORT_VALUE(untagged_priority_set, int)
DXPX_PORT_SETTING(untagged_priority_get, int, untagged_priority)
DXPX_PORT_VALUE(untagged_vlan_set, dxp_vlan_t)
DXPX_PORT_VALUE(discard_set, int)
DXPX_PORT_SETTING(discard_get, int, discard)
DXPX_PORT_POINTER(medium_get, int)
DXPX_PORT_POINTER(ability_get, uint32_t)
DXPX_PORT_POINTER(link_status_get, int)
DXPX_PORT_VALUE(learn_set, uint32_t)
DXPX_PORT_POINTER(info_get, dxp_port_info)

int dxpx_port_info_set(int lport, dxp_port_info *value) {
    if (value == nullptr) return DXP_E_PARAM;
    return dxpx_change_lport(lport, [=](int u, int p) { return dxp_port_info_set(u, p, value); });
}

int dxpx_port_cable_diag(int lport, dxp_port_cable_diag_t *value) {
    if (value == nullptr) return DXP_E_PARAM;
    return dxpx_change_lport(lport, [=](int u, int p) { return dxp_port_cable_diag(u, p, value); });
}

int dxpx_port_medium_config_get(int lport, int medium, dxp_phy_config_t *config) {
    if (config == nullptr) return DXP_E_PARAM;
    return dxpx_on_lport(
        lport, [=](int u, int p) { return dxp_port_medium_config_get(u, p, medium, config); });
}

int dxpx_port_medium_config_set(int lport, int medium, dxp_phy_config_t *config) {
    if (config == nullptr) return DXP_E_PARAM;
    return dxpx_change_lport(
        lport, [=](int u, int p) { return dxp_port_medium_config_set(u, p, medium, config); });
}

int dxpx_port_pause_set(int lport, int pause_tx, int pause_rx) {
    return dxpx_change_lport(
        lport, [=](int u, int p) { return dxp_port_pause_set(u, p, pause_tx, pause_rx); });
}

int dxpx_port_pause_get(int lport, int *pause_tx, int *pause_rx) {
    if (pause_tx == nullptr || pause_rx == nullptr) return DXP_E_PARAM;
    return dxpx_on_lport(
        lport, [=](int u, int p) { return dxp_port_pause_get(u, p, pause_tx, pause_rx); });
}

int dxpx_port_dscp_map_mode_set(int lport, int mode) {
    if (mode == 1) return DXP_E_NONE;
    return dxpx_on_lport(lport,
                         [=](int u, int p) { return dxp_port_dscp_map_mode_set(u, p, mode); });
}

int dxpx_port_dscp_map_set(int lport, int srccp, int mapcp, int prio) {
    // Port -1 of a unit stands for all its Ethernet ports.
    if (lport == DXPX_LPORT_ALL)
        return dxpx_each_unit(
            [=](int u) { return dxp_port_dscp_map_set(u, -1, srccp, mapcp, prio); });
    return dxpx_on_lport(
        lport, [=](int u, int p) { return dxp_port_dscp_map_set(u, p, srccp, mapcp, prio); });
}

#define DXPX_PORT_RATE(dir, egress)                                                         \
    int dxpx_port_rate_##dir##_set(int lport, uint32_t kbits_sec, uint32_t kbits_burst) {   \
        return dxpx_change_lport(lport, [=](int u, int p) {                                 \
            if (dxp_port_rate_refusal(u, p, nullptr, egress, kbits_sec, kbits_burst))       \
                return static_cast<int>(DXP_E_PARAM);                                       \
            return dxp_port_rate_##dir##_set(u, p, kbits_sec, kbits_burst);                 \
        });                                                                                 \
    }                                                                                       \
    int dxpx_port_rate_##dir##_get(int lport, uint32_t *kbits_sec, uint32_t *kbits_burst) { \
        if (kbits_sec == nullptr || kbits_burst == nullptr) return DXP_E_PARAM;             \
        return dxpx_on_lport(lport, [=](int u, int p) {                                     \
            return dxp_port_rate_##dir##_get(u, p, kbits_sec, kbits_burst);                 \
        });                                                                                 \
    }
DXPX_PORT_RATE(ingress, 0)
DXPX_PORT_RATE(egress, 1)

#define DXPX_STORM(kind)                                                                    \
    int dxpx_rate_##kind##_set(int rate, int flags, int lport) {                            \
        return dxpx_change_lport(                                                           \
            lport, [=](int u, int p) { return dxp_rate_##kind##_set(u, rate, flags, p); }); \
    }                                                                                       \
    int dxpx_rate_##kind##_get(int *rate, int *flags, int lport) {                          \
        if (rate == nullptr || flags == nullptr) return DXP_E_PARAM;                        \
        return dxpx_on_lport(                                                               \
            lport, [=](int u, int p) { return dxp_rate_##kind##_get(u, rate, flags, p); }); \
    }
DXPX_STORM(bcast)
DXPX_STORM(mcast)
DXPX_STORM(dlfbc)

int dxpx_stat_get(int lport, int type, uint64_t *value) {
    if (value == nullptr) return DXP_E_PARAM;
    return dxpx_on_lport(lport, [=](int u, int p) { return dxp_stat_get(u, p, type, value); });
}

int dxpx_stat_get32(int lport, int type, uint32_t *value) {
    if (value == nullptr) return DXP_E_PARAM;
    return dxpx_on_lport(lport, [=](int u, int p) { return dxp_stat_get32(u, p, type, value); });
}

int dxpx_stat_clear(int lport) {
    return dxpx_on_lport(lport, [](int u, int p) { return dxp_stat_clear(u, p); });
}
