// The operations of the "tarn" family that are implemented: one X(name) per
// API operation whose dxp_tarn_<name> is defined. Every other slot of the
// family's dispatch table answers -16 "Feature unavailable".
#pragma once

// clang-format off
#define DXP_TARN_IMPLEMENTED(X) \
    X(init) X(init_modules) X(init_modules_get) X(init_phy_addr_set) X(clear) X(info_get) \
    X(port_init) X(port_probe) X(port_clear) X(port_detach) X(port_config_get) \
    X(port_enable_set) X(port_enable_get) X(port_speed_set) X(port_speed_get) \
    X(port_duplex_set) X(port_duplex_get) X(port_autoneg_set) X(port_autoneg_get) \
    X(port_advert_set) X(port_advert_get) X(port_advert_remote_get) \
    X(port_pause_set) X(port_pause_get) X(port_pause_sym_set) X(port_pause_sym_get) \
    X(port_interface_set) X(port_interface_get) X(port_master_set) X(port_master_get) \
    X(port_frame_max_set) X(port_frame_max_get) X(port_jam_set) X(port_jam_get) \
    X(port_ifg_get) X(port_mdix_set) X(port_mdix_get) X(port_mdix_status_get) \
    X(port_medium_config_set) X(port_medium_config_get) X(port_medium_get) \
    X(port_phy_reset) X(port_cable_diag) X(port_link_status_get) X(port_ability_get) \
    X(port_speed_max) X(port_linkscan_set) X(port_linkscan_get) \
    X(port_loopback_set) X(port_loopback_get) X(port_phy_get) X(port_phy_set) \
    X(port_phy_drv_name_get) X(port_medium_status_register) \
    X(port_medium_status_unregister) X(port_phy_reset_register) \
    X(port_phy_reset_unregister) X(port_update) \
    X(stk_my_modid_get) X(stk_modid_get) X(stk_modport_get) X(diffserv_init) \
    X(custom_register) X(custom_unregister) X(custom_port_set) X(custom_port_get) \
    X(field_init) X(field_detach) X(field_status_get) X(field_control_get) X(field_control_set) \
    X(field_group_create) X(field_group_create_id) X(field_group_create_mode) \
    X(field_group_create_mode_id) X(field_group_destroy) X(field_group_get) \
    X(field_group_mode_get) X(field_group_status_get) X(field_group_set) \
    X(field_group_enable_set) X(field_group_enable_get) X(field_qset_add_udf) \
    X(field_udf_create) X(field_udf_create_id) X(field_udf_get) X(field_udf_destroy) \
    X(field_udf_spec_set) X(field_udf_spec_get) \
    X(field_entry_create) X(field_entry_create_id) X(field_entry_copy) X(field_entry_copy_id) \
    X(field_entry_destroy) X(field_entry_destroy_all) X(field_entry_install) \
    X(field_entry_reinstall) X(field_entry_remove) X(field_entry_prio_get) \
    X(field_entry_prio_set) \
    DXP_TARN_PENDING(X)

// Placeholders of modules still to be built (pending_modules.cpp).
#define DXP_TARN_PENDING(X) \
    X(l2_init) X(stg_init) X(vlan_init) X(trunk_init) X(cosq_init) X(mcast_init) \
    X(linkscan_init) X(stat_init) X(mirror_init) X(tx_init) X(auth_init) \
    X(stg_stp_set)
// clang-format on
