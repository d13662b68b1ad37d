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
    X(rate_bandwidth_get) X(rate_bandwidth_set) X(rate_bcast_get) X(rate_bcast_set) \
    X(rate_dlfbc_get) X(rate_dlfbc_set) X(rate_get) X(rate_mcast_get) X(rate_mcast_set) \
    X(rate_set) X(rate_type_get) X(rate_type_set) \
    X(linkscan_init) X(linkscan_detach) X(linkscan_enable_set) X(linkscan_enable_get) \
    X(linkscan_enable_port_get) X(linkscan_mode_set) X(linkscan_mode_set_pbm) \
    X(linkscan_mode_get) X(linkscan_port_register) X(linkscan_port_unregister) \
    X(linkscan_register) X(linkscan_unregister) X(linkscan_update) X(link_change) \
    X(link_wait) \
    X(port_selective_get) X(port_selective_set) X(port_info_get) X(port_info_set) \
    X(port_info_save) X(port_info_restore) \
    X(port_untagged_vlan_get) X(port_untagged_vlan_set) X(port_untagged_priority_get) \
    X(port_untagged_priority_set) X(port_stp_get) X(port_stp_set) X(port_discard_get) \
    X(port_discard_set) X(port_learn_get) X(port_learn_set) X(port_learn_modify) \
    X(port_egress_get) X(port_egress_set) X(port_tgid_get) X(port_bpdu_enable_get) \
    X(port_bpdu_enable_set) X(port_dtag_mode_get) X(port_dtag_mode_set) X(port_tpid_get) \
    X(port_tpid_set) X(port_inner_tpid_get) X(port_vlan_member_get) X(port_vlan_member_set) \
    X(port_protocol_vlan_add) X(port_protocol_vlan_delete) X(port_protocol_vlan_delete_all) \
    X(port_rate_egress_get) X(port_rate_egress_set) X(port_rate_ingress_get) \
    X(port_rate_ingress_set) X(port_dscp_map_mode_get) X(port_dscp_map_mode_set) \
    X(port_dscp_map_get) X(port_dscp_map_set) \
    DXP_TARN_PENDING(X)

// Placeholders of modules still to be built (pending_modules.cpp).
#define DXP_TARN_PENDING(X) \
    X(l2_init) X(stg_init) X(vlan_init) X(trunk_init) X(cosq_init) X(mcast_init) \
    X(stat_init) X(field_init) X(mirror_init) X(tx_init) X(auth_init) \
    X(stg_stp_set)
// clang-format on
