// The services built so far, as X(member, function) entries: a service that
// lands adds its line here (and its header to service_tables.cpp); every
// other slot answers -16 "Feature unavailable".
#pragma once

// clang-format off

// The same service in all four tables.
#define DRV_GENERIC_SERVICES(X) \
    X(reg_read, drv_reg_read) \
    X(reg_write, drv_reg_write) \
    X(reg_length_get, drv_reg_length_get) \
    X(reg_addr, drv_reg_addr) \
    X(reg_field_set, drv_reg_field_set) \
    X(reg_field_get, drv_reg_field_get) \
    X(miim_read, drv_miim_read) \
    X(miim_write, drv_miim_write) \
    X(vlan_mode_set, drv_vlan_mode_set) \
    X(vlan_mode_get, drv_vlan_mode_get) \
    X(port_vlan_pvid_set, drv_port_vlan_pvid_set) \
    X(port_vlan_pvid_get, drv_port_vlan_pvid_get) \
    X(port_vlan_set, drv_port_vlan_set) \
    X(port_vlan_get, drv_port_vlan_get) \
    X(vlan_prop_set, drv_vlan_prop_set) \
    X(vlan_prop_get, drv_vlan_prop_get) \
    X(vlan_prop_port_enable_set, drv_unavail_slot34) \
    X(vlan_prop_port_enable_get, drv_unavail_slot35) \
    X(vlan_unavail36, drv_unavail_slot36) \
    X(vlan_unavail37, drv_unavail_slot37) \
    X(vlan_vt_add, drv_unavail_slot38) \
    X(vlan_vt_delete, drv_unavail_slot39) \
    X(vlan_vt_delete_all, drv_unavail_slot40) \
    X(mem_width_get, drv_mem_width_get) \
    X(port_oper_mode_set, drv_port_oper_mode_set) \
    X(port_oper_mode_get, drv_port_oper_mode_get) \
    X(port_set, drv_port_set) \
    X(port_get, drv_port_get) \
    X(port_advertise_set, drv_port_advertise_set) \
    X(port_advertise_get, drv_port_advertise_get) \
    X(port_status_get, drv_port_status_get) \
    X(port_sw_mac_update, drv_port_sw_mac_update) \
    X(port_bitmap_get, drv_port_bitmap_get) \
    X(security_set, drv_security_set) \
    X(security_get, drv_security_get) \
    X(rate_config_set, drv_rate_config_set) \
    X(rate_config_get, drv_rate_config_get) \
    X(rate_set, drv_rate_set) \
    X(rate_get, drv_rate_get) \
    X(storm_control_enable_set, drv_storm_control_enable_set) \
    X(storm_control_enable_get, drv_storm_control_enable_get) \
    X(storm_control_set, drv_storm_control_set) \
    X(storm_control_get, drv_storm_control_get) \
    X(dev_prop_get, drv_dev_prop_get) \
    X(mem_length_get, drv_mem_length_get) \
    X(mem_read, drv_mem_read) \
    X(mem_write, drv_mem_write) \
    X(mem_field_get, drv_mem_field_get) \
    X(mem_field_set, drv_mem_field_set) \
    X(mem_clear, drv_mem_clear) \
    X(mem_search, drv_mem_search) \
    X(mem_insert, drv_mem_insert) \
    X(mem_delete, drv_mem_delete) \
    X(mem_cache_get, drv_mem_cache_get) \
    X(mem_cache_set, drv_mem_cache_set) \
    X(trunk_set, drv_trunk_set) \
    X(trunk_get, drv_trunk_get) \
    X(trunk_hash_field_add, drv_trunk_hash_field_add) \
    X(trunk_hash_field_remove, drv_trunk_hash_field_remove) \
    X(queue_mode_set, drv_queue_mode_set) \
    X(queue_mode_get, drv_queue_mode_get) \
    X(queue_count_set, drv_queue_count_set) \
    X(queue_count_get, drv_queue_count_get) \
    X(queue_WRR_weight_set, drv_7102_queue_WRR_weight_set) \
    X(queue_WRR_weight_get, drv_queue_WRR_weight_get) \
    X(queue_prio_set, drv_queue_prio_set) \
    X(queue_prio_get, drv_queue_prio_get) \
    X(queue_tos_set, drv_queue_tos_set) \
    X(queue_tos_get, drv_queue_tos_get) \
    X(queue_dfsv_set, drv_queue_dfsv_set) \
    X(queue_dfsv_get, drv_queue_dfsv_get) \
    X(queue_mapping_type_set, drv_queue_mapping_type_set) \
    X(queue_mapping_type_get, drv_queue_mapping_type_get) \
    X(age_timer_set, drv_age_timer_set) \
    X(age_timer_get, drv_age_timer_get) \
    X(mac_set, drv_mac_set) \
    X(mac_get, drv_mac_get) \
    X(mstp_config_set, drv_mstp_config_set) \
    X(mstp_config_get, drv_mstp_config_get) \
    X(mstp_port_set, drv_mstp_port_set) \
    X(mstp_port_get, drv_mstp_port_get) \
    X(mcast_init, drv_mcast_init) \
    X(mcast_to_arl_entry, drv_mcast_to_arl_entry) \
    X(arl_to_mcast_entry, drv_arl_to_mcast_entry) \
    X(mcast_bmp_get, drv_mcast_bmp_get) \
    X(mcast_bmp_set, drv_mcast_bmp_set) \
    X(arl_table_entry_get, drv_arl_table_entry_get) \
    X(arl_sync, soc_arl_sync) \
    X(arl_learn_enable_set, drv_arl_learn_enable_set) \
    X(arl_learn_enable_get, drv_arl_learn_enable_get) \
    X(counter_thread_set, drv_counter_thread_set) \
    X(snmp_counter_set, drv_snmp_counter_set) \
    X(snmp_counter_get, drv_snmp_counter_get) \
    X(counter_reset, drv_counter_reset) \
    X(trap_set, drv_trap_set) \
    X(trap_get, drv_trap_get) \
    X(snoop_set, drv_snoop_set) \
    X(snoop_get, drv_snoop_get) \
    X(mirror_set, drv_mirror_set) \
    X(mirror_get, drv_mirror_get)

// Slots that the DXP7101 and DXP7106 tables hold in their own variant: they
// answer -16 there until the variant is listed below.
#define DRV_DXP7101_OVERRIDDEN(X) \
    X(mem_read) X(mem_write) X(mem_field_get) X(mem_field_set) X(mem_clear) \
    X(mem_search) X(mem_insert) X(mem_delete) \
    X(trunk_set) X(trunk_get) \
    X(queue_mapping_type_set) X(queue_mapping_type_get) \
    X(mac_set) X(mac_get) X(mirror_set) X(mirror_get) \
    X(mstp_port_set) X(mstp_port_get) \
    X(dev_prop_get) \
    X(mcast_bmp_get) X(mcast_bmp_set)

// The DXP7101-family variants built so far.
#define DRV_DXP7101_SERVICES(X) \
    X(dev_prop_get, drv_dxp7101_dev_prop_get) \
    X(mem_read, drv_dxp7101_mem_read) \
    X(mem_write, drv_dxp7101_mem_write) \
    X(mem_field_get, drv_dxp7101_mem_field_get) \
    X(mem_field_set, drv_dxp7101_mem_field_set) \
    X(mem_clear, drv_dxp7101_mem_clear) \
    X(mem_search, drv_dxp7101_mem_search) \
    X(mem_insert, drv_dxp7101_mem_insert) \
    X(mem_delete, drv_dxp7101_mem_delete) \
    X(mstp_port_set, drv_dxp7101_mstp_port_set) \
    X(mstp_port_get, drv_dxp7101_mstp_port_get) \
    X(trunk_set, drv_dxp7101_trunk_set) \
    X(trunk_get, drv_dxp7101_trunk_get) \
    X(mcast_bmp_get, drv_dxp7101_mcast_bmp_get) \
    X(mcast_bmp_set, drv_dxp7101_mcast_bmp_set) \
    X(queue_mapping_type_set, drv_dxp7101_queue_mapping_type_set) \
    X(queue_mapping_type_get, drv_dxp7101_queue_mapping_type_get) \
    X(mac_set, drv_dxp7101_mac_set) \
    X(mac_get, drv_dxp7101_mac_get) \
    X(mirror_set, drv_dxp7101_mirror_set) \
    X(mirror_get, drv_dxp7101_mirror_get)

// The field-processor services of the DXP7101 family built so far.
#define DRV_CFP_SERVICES(X) \
    X(cfp_init, drv_cfp_init) \
    X(cfp_action_get, drv_cfp_action_get) \
    X(cfp_action_set, drv_cfp_action_set) \
    X(cfp_control_get, drv_cfp_control_get) \
    X(cfp_control_set, drv_cfp_control_set) \
    X(cfp_entry_read, drv_cfp_entry_read) \
    X(cfp_entry_search, drv_cfp_entry_search) \
    X(cfp_entry_write, drv_cfp_entry_write) \
    X(cfp_field_get, drv_cfp_field_get) \
    X(cfp_field_set, drv_cfp_field_set) \
    X(cfp_meter_get, drv_cfp_meter_get) \
    X(cfp_meter_set, drv_cfp_meter_set) \
    X(cfp_qset_bit_get, drv_cfp_qset_bit_get) \
    X(cfp_qset_bit_set, drv_cfp_qset_bit_set) \
    X(cfp_qset_to_slice, drv_cfp_qset_to_slice) \
    X(cfp_slice_to_qset, drv_cfp_slice_to_qset) \
    X(cfp_stat_get, drv_cfp_stat_get) \
    X(cfp_stat_set, drv_cfp_stat_set) \
    X(cfp_udf_get, drv_cfp_udf_get) \
    X(cfp_udf_set, drv_cfp_udf_set) \
    X(cfp_range_check, drv_cfp_range_check) \
    X(cfp_reserved_op, drv_cfp_reserved_op)

// clang-format on
