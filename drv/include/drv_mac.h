// Port MAC drivers: one record of operations for fast-Ethernet ports and one
// for gigabit ports (and the CPU port of the DXP7101 family). Each operation
// takes (unit, chip port, ...) and returns 0 or a negative switch code.
#pragma once

#include <cstdint>

// Interface codes (the order of the interface name table).
constexpr int SOC_PORT_IF_NONE = 0;
constexpr int SOC_PORT_IF_NULL = 1;
constexpr int SOC_PORT_IF_MII = 2;
constexpr int SOC_PORT_IF_GMII = 3;
constexpr int SOC_PORT_IF_SGMII = 4;
constexpr int SOC_PORT_IF_TBI = 5;
constexpr int SOC_PORT_IF_XGMII = 6;
constexpr int SOC_PORT_IF_RGMII = 7;

struct mac_driver_s {
    const char *drv_name;
    int (*md_init)(int unit, int port);
    int (*md_enable_set)(int unit, int port, int enable);
    int (*md_enable_get)(int unit, int port, int *enable);
    int (*md_duplex_set)(int unit, int port, int duplex);  // 0 half, 1 full
    int (*md_duplex_get)(int unit, int port, int *duplex);
    int (*md_speed_set)(int unit, int port, int speed);  // Mb/s
    int (*md_speed_get)(int unit, int port, int *speed);
    // -1 leaves that direction as it is.
    int (*md_pause_set)(int unit, int port, int pause_tx, int pause_rx);
    int (*md_pause_get)(int unit, int port, int *pause_tx, int *pause_rx);
    int (*md_pause_addr_set)(int unit, int port, const uint8_t *mac);
    int (*md_pause_addr_get)(int unit, int port, uint8_t *mac);
    int (*md_lb_set)(int unit, int port, int loopback);
    int (*md_lb_get)(int unit, int port, int *loopback);
    int (*md_interface_set)(int unit, int port, int intf);
    int (*md_interface_get)(int unit, int port, int *intf);
    int (*md_ability_get)(int unit, int port, uint32_t *ability);
    int (*md_frame_max_set)(int unit, int port, int size);
    int (*md_frame_max_get)(int unit, int port, int *size);
    int (*md_ifg_set)(int unit, int port, int speed, int duplex, int ifg);
    int (*md_ifg_get)(int unit, int port, int speed, int duplex, int *ifg);
    int (*md_spare[4])(int unit, int port);
};
using mac_driver_t = mac_driver_s;

extern const mac_driver_t drv_mac_fe;  // "drv 10/100mb MAC Driver"
extern const mac_driver_t drv_mac_ge;  // "drv 10/100/1000Mb MAC Driver"

// Stores the port's driver: fast-Ethernet ports and the DXP7102's CPU port
// get drv_mac_fe, gigabit ports and the DXP7101 family's CPU port drv_mac_ge.
// 0, or -16 for any other port (nothing stored).
int drv_mac_probe(int unit, int port, const mac_driver_t **driver);

int drv_mac_fe_init(int unit, int port);
int drv_mac_ge_init(int unit, int port);
int drv_mac_fe_enable_set(int unit, int port, int enable);
int drv_mac_fe_enable_get(int unit, int port, int *enable);
int drv_mac_ge_enable_set(int unit, int port, int enable);
int drv_mac_ge_enable_get(int unit, int port, int *enable);
int drv_mac_fe_ge_duplex_set(int unit, int port, int duplex);
int drv_mac_fe_ge_duplex_get(int unit, int port, int *duplex);
int drv_mac_fe_ge_speed_set(int unit, int port, int speed);
int drv_mac_fe_ge_speed_get(int unit, int port, int *speed);
int drv_mac_fe_ge_pause_set(int unit, int port, int pause_tx, int pause_rx);
int drv_mac_fe_ge_pause_get(int unit, int port, int *pause_tx, int *pause_rx);
int drv_mac_fe_ge_pause_addr_set(int unit, int port, const uint8_t *mac);
int drv_mac_fe_ge_pause_addr_get(int unit, int port, uint8_t *mac);
int drv_mac_fe_ge_loopback_set(int unit, int port, int loopback);
int drv_mac_fe_ge_loopback_get(int unit, int port, int *loopback);
int drv_mac_fe_ge_interface_set(int unit, int port, int intf);
int drv_mac_fe_ge_interface_get(int unit, int port, int *intf);
int drv_mac_fe_ge_ability_get(int unit, int port, uint32_t *ability);
int drv_mac_fe_ge_frame_max_set(int unit, int port, int size);
int drv_mac_fe_ge_frame_max_get(int unit, int port, int *size);
int drv_mac_fe_ge_ifg_set(int unit, int port, int speed, int duplex, int ifg);
int drv_mac_fe_ge_ifg_get(int unit, int port, int speed, int duplex, int *ifg);
