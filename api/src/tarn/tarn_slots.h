// The operations of the "tarn" family that are implemented: one X(name) per
// API operation whose dxp_tarn_<name> is defined. Every other slot of the
// family's dispatch table answers -16 "Feature unavailable", except the packet
// operations, which go to the registered packet services (DXP_TARN_PKT_OPS).
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
    X(stat_init) X(stat_sync) X(stat_clear) X(stat_get) X(stat_get32) \
    X(igmp_snooping_init) X(igmp_snooping_enable_set) X(igmp_snooping_enable_get) \
    X(mirror_init) X(mirror_mode_set) X(mirror_mode_get) X(mirror_to_set) X(mirror_to_get) \
    X(mirror_ingress_set) X(mirror_ingress_get) X(mirror_egress_set) X(mirror_egress_get) \
    X(mirror_port_set) X(mirror_port_get) X(mirror_pfmt_set) X(mirror_pfmt_get) \
    X(mirror_to_pbmp_set) X(mirror_to_pbmp_get) \
    X(mcast_init) X(mcast_addr_add) X(mcast_addr_remove) X(mcast_port_get) X(mcast_join) \
    X(mcast_leave) X(mcast_port_add) X(mcast_port_remove) X(mcast_addr_add_w_l2mcindex) \
    X(mcast_addr_remove_w_l2mcindex) \
    X(trunk_init) X(trunk_detach) X(trunk_create) X(trunk_create_with_tid) X(trunk_psc_set) \
    X(trunk_psc_get) X(trunk_chip_info_get) X(trunk_set) X(trunk_get) X(trunk_destroy) \
    X(trunk_bitmap_expand) X(trunk_mcast_join) \
    X(cosq_init) X(cosq_detach) X(cosq_config_set) X(cosq_config_get) X(cosq_mapping_set) \
    X(cosq_mapping_get) X(cosq_port_mapping_set) X(cosq_port_mapping_get) \
    X(cosq_sched_weight_max_get) X(cosq_port_sched_set) X(cosq_port_sched_get) \
    X(cosq_sched_set) X(cosq_sched_get) \
    X(l2_init) X(l2_clear) X(l2_detach) X(l2_addr_add) X(l2_addr_delete) \
    X(l2_addr_delete_by_port) X(l2_addr_delete_by_vlan) X(l2_addr_delete_by_vlan_port) \
    X(l2_addr_delete_by_mac) X(l2_addr_delete_by_mac_port) X(l2_addr_delete_by_trunk) \
    X(l2_addr_delete_by_vlan_trunk) X(l2_addr_get) X(l2_conflict_get) \
    X(l2_addr_register) X(l2_addr_unregister) X(l2_age_timer_set) X(l2_age_timer_get) \
    X(l2_bpdu_count) X(l2_bpdu_set) X(l2_bpdu_get) X(l2_addr_freeze) X(l2_addr_thaw) \
    X(l2_cache_size_get) X(l2_cache_set) X(l2_cache_get) X(l2_cache_delete) \
    X(l2_cache_delete_all) X(l2_cache_init) X(l2_port_native) X(l2_key_dump) \
    X(stg_init) X(stg_clear) X(stg_default_get) X(stg_default_set) X(stg_vlan_add) \
    X(stg_vlan_remove) X(stg_vlan_remove_all) X(stg_vlan_list) X(stg_vlan_list_destroy) \
    X(stg_create) X(stg_create_id) X(stg_destroy) X(stg_list) X(stg_list_destroy) \
    X(stg_stp_set) X(stg_stp_get) X(stg_count_get) \
    X(vlan_init) X(vlan_create) X(vlan_destroy) X(vlan_destroy_all) X(vlan_port_add) \
    X(vlan_port_remove) X(vlan_port_get) X(vlan_list) X(vlan_list_by_pbmp) \
    X(vlan_list_destroy) X(vlan_default_get) X(vlan_default_set) X(vlan_stg_get) \
    X(vlan_stg_set) X(vlan_stp_set) X(vlan_stp_get) \
    X(vlan_mac_add) X(vlan_mac_delete) X(vlan_mac_delete_all) X(vlan_control_set) \
    X(vlan_control_get) X(vlan_control_port_set) X(vlan_control_port_get) \
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
    X(field_init) X(field_detach) X(field_status_get) X(field_control_get) X(field_control_set) \
    X(port_control_get) X(port_control_set) \
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
    X(field_qualify_DSCP) X(field_qualify_Tos) X(field_qualify_DstIp) X(field_qualify_SrcIp) \
    X(field_qualify_DstMac) X(field_qualify_SrcMac) X(field_qualify_SrcIp6) \
    X(field_qualify_EtherType) X(field_qualify_OuterVlan) X(field_qualify_InnerVlan) \
    X(field_qualify_Ip6FlowLabel) X(field_qualify_Ip6HopLimit) X(field_qualify_Ip6NextHeader) \
    X(field_qualify_Ip6TrafficClass) X(field_qualify_IpProtocol) X(field_qualify_Ttl) \
    X(field_qualify_TcpControl) X(field_qualify_TcpHeaderSize) X(field_qualify_L4SrcPort) \
    X(field_qualify_L4DstPort) X(field_qualify_InPorts) X(field_qualify_SrcPort) \
    X(field_qualify_SrcPortTgid) X(field_qualify_RangeCheck) X(field_qualify_SrcIpEqualDstIp) \
    X(field_qualify_EqualL4Port) X(field_qualify_TcpSequenceZero) X(field_qualify_UserDefined) \
    X(field_qualify_IpType) X(field_qualify_PacketFormat) X(field_qualify_IpProtocolCommon) \
    X(field_qualify_clear) \
    X(field_action_add) X(field_action_get) X(field_action_remove) X(field_action_remove_all) \
    X(field_counter_create) X(field_counter_destroy) X(field_counter_get) \
    X(field_counter_get32) X(field_counter_set) X(field_counter_set32) \
    X(field_meter_create) X(field_meter_destroy) X(field_meter_get) X(field_meter_set) \
    X(field_range_create) X(field_range_create_id) X(field_range_destroy) X(field_range_get) \
    X(switch_control_get) X(switch_control_port_get) X(switch_control_port_set) \
    X(switch_control_set) X(switch_modid_port_get) \
    X(auth_init) X(auth_detach) X(auth_mode_set) X(auth_mode_get) X(auth_unauth_callback) \
    X(auth_egress_set) X(auth_egress_get) X(auth_mac_add) X(auth_mac_delete) \
    X(auth_mac_delete_all)
// clang-format on
