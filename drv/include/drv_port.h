// Port services of the chip service tables: one property set on a port bitmap
// or read from one port (through the port's MAC driver, its PHY driver or
// chip registers), port status and advertisement, the software MAC update,
// the unit's port bitmaps and the per-port attach that fills the unit's port
// table with the port's PHY and MAC drivers.
#pragma once

#include <cstdint>

#include "drv_mac.h"
#include "soc_control.h"

// Property types of drv_port_set / drv_port_get.
enum drv_port_prop_t : uint32_t {
    PROP_SPEED = 1,  // 1 = 10, 2 = 100, 3 = 1000 Mb/s
    PROP_DUPLEX,     // 1 half, 2 full
    PROP_AUTONEG,    // set: 0 off, else on; get: 5 on, 6 off
    PROP_TX_PAUSE,
    PROP_RX_PAUSE,
    LOCAL_ADVER,
    REMOTE_ADVER,
    PROP_PORT_ABILITY,
    PROP_MAC_ABILITY,
    PROP_PHY_ABILITY,
    PROP_INTERFACE,
    PROP_MAC_ENABLE,
    PROP_ENABLE,
    PROP_ENABLE_DROP_NON1Q,
    PROP_ENABLE_RESERVED,
    PROP_ENABLE_RX,
    PROP_ENABLE_TX,
    PROP_ENABLE_TXRX,
    PROP_IPG_FE,
    PROP_IPG_GE,
    PROP_JAM,
    PROP_BPDU_RX,
    PROP_RESTART_AUTONEG,
    PROP_MAC_LOOPBACK,
    PROP_PHY_LOOPBACK,
    PROP_PHY_MEDIUM,
    PROP_PHY_MEDIUM_CONFIG_COPPER,
    PROP_PHY_MEDIUM_CONFIG_FIBER,
    PROP_PHY_MDIX,
    PROP_PHY_MDIX_STATUS,
    PROP_MS,
    PROP_SEC_MODE_NONE,
    PROP_SEC_MODE_STATIC_ACCEPT,
    PROP_SEC_MODE_STATIC_REJECT,
    PROP_SEC_MODE_DYNAMIC_SA_NUM,
    PROP_SEC_MODE_DYNAMIC_SA_MATCH,
    PROP_SEC_MAC_MODE_EXTEND,
    PROP_SEC_MAC_MODE_SIMPLIFY,
    PROP_PHY_LINKUP_EVT,
    PROP_PHY_LINKDN_EVT,
    PROP_PHY_RESET,
    PROP_PHY_CABLE_DIAG,
    PROP_PHY_LINKCHANGE,
    PROP_PAUSE_FRAME_BYPASS_RX,
    PROP_PAUSE_FRAME_BYPASS_TX,
    PROP_DTAG_MODE,
    PROP_DTAG_ISP_PORT,
    PROP_DTAG_TPID,
    PROP_802_1X_MODE,
    PROP_802_1X_BLK_RX,
    PROP_TYPE_51,
    PROP_FRAME_MAX,
    PROP_INGRESS_VLAN_CHK,
};
constexpr uint32_t DRV_PORT_PROP_COUNT = 54;  // types 1 .. 53

constexpr uint32_t DRV_PORT_AUTONEG_ON = 5;
constexpr uint32_t DRV_PORT_AUTONEG_OFF = 6;

// Status types of drv_port_status_get.
enum drv_port_status_t : uint32_t {
    PORT_STATUS_LINK = 1,
    PORT_STATUS_SPEED = 2,
    PORT_STATUS_DUPLEX = 3,
    PORT_STATUS_PROBE = 4,
    PORT_STATUS_INIT = 18,
    PORT_STATUS_PHY_DRV_NAME = 19,
};

// Bitmap types of drv_port_bitmap_get: fe, ge, hg, port, e, all.
enum drv_port_bitmap_type_t : uint32_t {
    DRV_PBMP_FE = 1,
    DRV_PBMP_GE = 2,
    DRV_PBMP_HG = 3,
    DRV_PBMP_PORT = 4,
    DRV_PBMP_E = 5,
    DRV_PBMP_ALL = 6,
};

// Medium codes.
constexpr uint32_t DRV_PORT_MEDIUM_COPPER = 1;
constexpr uint32_t DRV_PORT_MEDIUM_FIBER = 2;

// The PHY layer's ability and advertisement word.
constexpr uint32_t DRV_PA_10MB_HD = 0x1;
constexpr uint32_t DRV_PA_10MB_FD = 0x2;
constexpr uint32_t DRV_PA_100MB_HD = 0x4;
constexpr uint32_t DRV_PA_100MB_FD = 0x8;
constexpr uint32_t DRV_PA_1000MB_HD = 0x10;
constexpr uint32_t DRV_PA_1000MB_FD = 0x20;
constexpr uint32_t DRV_PA_PAUSE_TX = 0x400;
constexpr uint32_t DRV_PA_PAUSE_RX = 0x800;

// The PHY layer's medium configuration record and cable-diagnostic result.
struct phy_medium_config_t {
    uint32_t words[8];
};
struct phy_cable_diag_t;

// A PHY driver record: the operations of one kind of PHY, each taking
// (unit, port, ...) and returning a switch code; null = not supported.
struct phy_driver_t {
    const char *drv_name;
    int (*init)(int unit, int port);
    int (*reset)(int unit, int port, void *user_data);
    int (*link_get)(int unit, int port, int *up);
    int (*enable_set)(int unit, int port, int enable);
    int (*enable_get)(int unit, int port, int *enable);
    int (*duplex_set)(int unit, int port, int full);  // 0 half, 1 full
    int (*duplex_get)(int unit, int port, int *full);
    int (*speed_set)(int unit, int port, int mbps);
    int (*speed_get)(int unit, int port, int *mbps);
    int (*master_set)(int unit, int port, int mode);
    int (*master_get)(int unit, int port, int *mode);
    int (*autoneg_set)(int unit, int port, int enable);
    int (*autoneg_get)(int unit, int port, int *enable, int *done);
    int (*adv_local_set)(int unit, int port, uint32_t ability);
    int (*adv_local_get)(int unit, int port, uint32_t *ability);
    int (*adv_remote_get)(int unit, int port, uint32_t *ability);
    int (*loopback_set)(int unit, int port, int enable);
    int (*loopback_get)(int unit, int port, int *enable);
    int (*interface_set)(int unit, int port, int intf);
    int (*interface_get)(int unit, int port, int *intf);
    int (*ability_get)(int unit, int port, uint32_t *ability);
    int (*linkup_event)(int unit, int port);
    int (*linkdown_event)(int unit, int port);
    int (*mdix_set)(int unit, int port, int mode);
    int (*mdix_get)(int unit, int port, int *mode);
    int (*mdix_status_get)(int unit, int port, int *status);
    int (*medium_config_set)(int unit, int port, int medium, phy_medium_config_t *config);
    int (*medium_config_get)(int unit, int port, int medium, phy_medium_config_t *config);
    int (*medium_get)(int unit, int port, int *medium);
    int (*cable_diag)(int unit, int port, phy_cable_diag_t *result);
    int (*link_change)(int unit, int port, int *changed);
    void *spare[2];
};

// One entry of a unit's port table.
struct soc_port_info_t {
    const phy_driver_t *phy_driver;  // null until attached
    const mac_driver_t *mac_driver;
    uint32_t reserved;
    uint8_t medium;
};

// The unit's port table (SOC_MAX_NUM_PORTS entries), null before the unit's
// first attach.
soc_port_info_t *drv_port_info(int unit);
// The port's PHY driver (is_phy non-zero) or MAC driver, null when none.
const void *drv_port_driver_get(int unit, int port, int is_phy);

// The neighbours above the chip services that the port attach calls: the
// PHY layer's probe and reset-hook registration, the text of a switch
// return code and the driver that holds a port whose PHY fails its init (its
// link stays down; without one that failure fails the attach). Registered
// once at start-up; until then a probe answers -16.
using drv_phy_reset_fn = int (*)(int unit, int port, void *user_data);
struct drv_port_neighbours_t {
    int (*phy_probe)(int unit, int port, const phy_driver_t **driver);
    int (*phy_reset_register)(int unit, int port, drv_phy_reset_fn fn, void *user_data,
                              int is_default);
    const char *(*errmsg)(int rv);
    const phy_driver_t *phy_failed;
};
void drv_port_neighbours_register(const drv_port_neighbours_t *neighbours);

// Service slots 65-73.
int drv_port_oper_mode_set(int unit, soc_pbmp_t bmp, uint32_t oper_mode);  // -16
int drv_port_oper_mode_get(int unit, int port, uint32_t *oper_mode);       // -16
// Visits every port of bmp; answers the first negative port result, else 0.
// -4 for an unknown type or bad speed/duplex code (no port touched), -17
// before the unit's first attach.
int drv_port_set(int unit, soc_pbmp_t bmp, uint32_t prop_type, uint32_t prop_val);
int drv_port_get(int unit, int port, uint32_t prop_type, uint32_t *prop_val);
// The medium configuration (1 copper, 2 fibre) of every port of bmp: each
// PHY gets its own copy of the record. A 32-bit property value cannot carry
// the record's address, so drv_port_set refuses these types with -4.
int drv_port_medium_config_set(int unit, soc_pbmp_t bmp, int medium,
                               const phy_medium_config_t *config);
int drv_port_advertise_set(int unit, soc_pbmp_t bmp, uint32_t adv_value);
int drv_port_advertise_get(int unit, int port, uint32_t *adv_value);
int drv_port_status_get(int unit, int port, uint32_t status_type, uint32_t *value);
int drv_port_sw_mac_update(int unit, soc_pbmp_t bmp);
int drv_port_bitmap_get(int unit, uint32_t bitmap_type, soc_pbmp_t *bmp);  // 0

// The MAC has no autonegotiation switch: -16, which callers ignore.
int drv_set_MAC_autonegotiation(int unit, int port, int enable);

// Probes and initialises the port's PHY and MAC and records them in the
// port table; *okay = 1 only when both initialised. A PHY that fails its init
// is replaced by the neighbours' phy_failed driver: the port attaches with its
// link down and the console names it.
int drv_port_attach(int unit, int port, int *okay);

// Host-only: drops every unit's port table (tests that start over).
void drv_port_info_host_forget(void);
