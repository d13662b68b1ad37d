// Development placeholders for modules of the family that are not built yet.
// Each answers success without touching the chip so that unit initialisation
// runs through; each goes when its module lands (and leaves the list in
// tarn_slots.h then).
#include "dxp_tarn.h"

// Module inits run by dxp_init_modules.
int dxp_tarn_l2_init(int) {
    return DXP_E_NONE;
}
int dxp_tarn_stg_init(int) {
    return DXP_E_NONE;
}
int dxp_tarn_vlan_init(int) {
    return DXP_E_NONE;
}
int dxp_tarn_trunk_init(int) {
    return DXP_E_NONE;
}
int dxp_tarn_cosq_init(int) {
    return DXP_E_NONE;
}
int dxp_tarn_mcast_init(int) {
    return DXP_E_NONE;
}
int dxp_tarn_linkscan_init(int) {
    return DXP_E_NONE;
}
int dxp_tarn_stat_init(int) {
    return DXP_E_NONE;
}
int dxp_tarn_mirror_init(int) {
    return DXP_E_NONE;
}
int dxp_tarn_tx_init(int) {
    return DXP_E_NONE;
}
int dxp_tarn_auth_init(int) {
    return DXP_E_NONE;
}

// Spanning-tree state of the default group, set for every port at init.
int dxp_tarn_stg_stp_set(int, int, int, int) {
    return DXP_E_NONE;
}

// Port start-up settings from the configuration properties.
int dxp_tarn_port_settings_init(int, int) {
    return DXP_E_NONE;
}

// Link scan's forced link state (loopback).
int dxp_tarn_link_force(int, int, int, int) {
    return DXP_E_NONE;
}
