// The per-unit switch API, one entry per operation, in dispatch-table order:
//     DXP_API(slot, name, return type, (parameters), (arguments))
// Including this file expands every entry with the DXP_API macro of the
// includer (DXP_API_FRONT, when defined, for the operations whose per-unit
// entry the front writes itself). Both macros are undefined at the end.
//
// Slot numbers count the words of the dispatch table: word 0 is the family
// name, words 1 and 2 its attach and detach. The API slots follow in the ASCII
// order of their names (upper case before lower case); later additions go at
// the end. Operations that no chip family offers keep a slot so that the
// numbering holds; their names only keep the order.
#ifndef DXP_API_FRONT
#define DXP_API_FRONT DXP_API
#endif

// clang-format off

// Port authorisation.
DXP_API(3, auth_detach, int, (int unit), (unit))
DXP_API(4, auth_egress_get, int, (int unit, int port, int *enable), (unit, port, enable))
DXP_API(5, auth_egress_set, int, (int unit, int port, int enable), (unit, port, enable))
DXP_API(6, auth_init, int, (int unit), (unit))
DXP_API(7, auth_mac_add, int, (int unit, int port, const dxp_mac_t mac), (unit, port, mac))
DXP_API(8, auth_mac_delete, int, (int unit, int port, const dxp_mac_t mac), (unit, port, mac))
DXP_API(9, auth_mac_delete_all, int, (int unit, int port), (unit, port))
DXP_API(10, auth_mode_get, int, (int unit, int port, uint32_t *modes), (unit, port, modes))
DXP_API(11, auth_mode_set, int, (int unit, int port, uint32_t modes), (unit, port, modes))
DXP_API(12, auth_unauth_callback, int, (int unit, dxp_auth_cb_t func, void *cookie),
        (unit, func, cookie))

// Unit clear.
DXP_API(13, clear, int, (int unit), (unit))

// Class-of-service queues; 17-20 have no function on any family.
DXP_API(14, cosq_config_get, int, (int unit, int *numq), (unit, numq))
DXP_API(15, cosq_config_set, int, (int unit, int numq), (unit, numq))
DXP_API(16, cosq_detach, int, (int unit), (unit))
DXP_API(17, cosq_discard_get, int, (int unit), (unit))
DXP_API(18, cosq_discard_port_get, int, (int unit), (unit))
DXP_API(19, cosq_discard_port_set, int, (int unit), (unit))
DXP_API(20, cosq_discard_set, int, (int unit), (unit))
DXP_API(21, cosq_init, int, (int unit), (unit))
DXP_API(22, cosq_mapping_get, int, (int unit, int priority, int *cosq), (unit, priority, cosq))
DXP_API(23, cosq_mapping_set, int, (int unit, int priority, int cosq), (unit, priority, cosq))
DXP_API(24, cosq_port_bandwidth_get, int,
        (int unit, int port, int cosq, uint32_t *kbits_min, uint32_t *kbits_max, uint32_t *flags),
        (unit, port, cosq, kbits_min, kbits_max, flags))
DXP_API(25, cosq_port_bandwidth_set, int,
        (int unit, int port, int cosq, uint32_t kbits_min, uint32_t kbits_max, uint32_t flags),
        (unit, port, cosq, kbits_min, kbits_max, flags))
DXP_API(26, cosq_port_mapping_get, int, (int unit, int port, int priority, int *cosq),
        (unit, port, priority, cosq))
DXP_API(27, cosq_port_mapping_set, int, (int unit, int port, int priority, int cosq),
        (unit, port, priority, cosq))
DXP_API(28, cosq_port_sched_get, int,
        (int unit, uint32_t pbmp_lo, uint32_t pbmp_hi, int *mode, int *weights, int *delay),
        (unit, pbmp_lo, pbmp_hi, mode, weights, delay))
DXP_API(29, cosq_port_sched_set, int,
        (int unit, uint32_t pbmp_lo, uint32_t pbmp_hi, int mode, const int *weights, int delay),
        (unit, pbmp_lo, pbmp_hi, mode, weights, delay))
DXP_API(30, cosq_sched_get, int, (int unit, int *mode, int *weights, int *delay),
        (unit, mode, weights, delay))
DXP_API(31, cosq_sched_set, int, (int unit, int mode, const int *weights, int delay),
        (unit, mode, weights, delay))
DXP_API(32, cosq_sched_weight_max_get, int, (int unit, int mode, int *weight_max),
        (unit, mode, weight_max))

// Custom per-port handlers.
DXP_API(33, custom_port_get, int, (int unit, int port, int type, int *value),
        (unit, port, type, value))
DXP_API(34, custom_port_set, int, (int unit, int port, int type, int value),
        (unit, port, type, value))
DXP_API(35, custom_register, int, (int unit, dxp_custom_handler_t handler, void *user_data),
        (unit, handler, user_data))
DXP_API(36, custom_unregister, int, (int unit, dxp_custom_handler_t handler, void *user_data),
        (unit, handler, user_data))

// Differentiated services: 37-56 and 58-66 have no function; 57 is a unit-initialisation step.
DXP_API(37, diffserv_action_add, int, (int unit), (unit))
DXP_API(38, diffserv_action_delete, int, (int unit), (unit))
DXP_API(39, diffserv_action_get, int, (int unit), (unit))
DXP_API(40, diffserv_classifier_create, int, (int unit), (unit))
DXP_API(41, diffserv_classifier_destroy, int, (int unit), (unit))
DXP_API(42, diffserv_classifier_get, int, (int unit), (unit))
DXP_API(43, diffserv_counter_get, int, (int unit), (unit))
DXP_API(44, diffserv_counter_set, int, (int unit), (unit))
DXP_API(45, diffserv_datapath_attach, int, (int unit), (unit))
DXP_API(46, diffserv_datapath_create, int, (int unit), (unit))
DXP_API(47, diffserv_datapath_destroy, int, (int unit), (unit))
DXP_API(48, diffserv_datapath_detach, int, (int unit), (unit))
DXP_API(49, diffserv_datapath_get, int, (int unit), (unit))
DXP_API(50, diffserv_datapath_install, int, (int unit), (unit))
DXP_API(51, diffserv_detach, int, (int unit), (unit))
DXP_API(52, diffserv_element_add, int, (int unit), (unit))
DXP_API(53, diffserv_element_delete, int, (int unit), (unit))
DXP_API(54, diffserv_element_get, int, (int unit), (unit))
DXP_API(55, diffserv_element_set, int, (int unit), (unit))
DXP_API(56, diffserv_group_create, int, (int unit), (unit))
DXP_API(57, diffserv_init, int, (int unit), (unit))
DXP_API(58, diffserv_install, int, (int unit), (unit))
DXP_API(59, diffserv_meter_get, int, (int unit), (unit))
DXP_API(60, diffserv_meter_set, int, (int unit), (unit))
DXP_API(61, diffserv_policer_get, int, (int unit), (unit))
DXP_API(62, diffserv_policer_set, int, (int unit), (unit))
DXP_API(63, diffserv_stats_get, int, (int unit), (unit))
DXP_API(64, diffserv_stats_set, int, (int unit), (unit))
DXP_API(65, diffserv_uninstall, int, (int unit), (unit))
DXP_API(66, diffserv_update, int, (int unit), (unit))

// Field processor; 69, 70, 101, 104-108, 194, 199, 200, 202 and 203 have no function.
DXP_API(67, field_action_add, int,
        (int unit, int entry, int action, uint32_t param0, uint32_t param1),
        (unit, entry, action, param0, param1))
DXP_API(68, field_action_get, int,
        (int unit, int entry, int action, uint32_t *param0, uint32_t *param1),
        (unit, entry, action, param0, param1))
DXP_API(69, field_action_mac_add, int, (int unit), (unit))
DXP_API(70, field_action_ports_add, int, (int unit), (unit))
DXP_API(71, field_action_remove, int, (int unit, int entry, int action), (unit, entry, action))
DXP_API(72, field_action_remove_all, int, (int unit, int entry), (unit, entry))
DXP_API(73, field_control_get, int, (int unit, int control, int *value), (unit, control, value))
DXP_API(74, field_control_set, int, (int unit, int control, int value), (unit, control, value))
DXP_API(75, field_counter_create, int, (int unit, int entry), (unit, entry))
DXP_API(76, field_counter_destroy, int, (int unit, int entry), (unit, entry))
DXP_API(77, field_counter_get, int, (int unit, int entry, int counter_num, uint64_t *value),
        (unit, entry, counter_num, value))
DXP_API(78, field_counter_get32, int, (int unit, int entry, int counter_num, uint32_t *value),
        (unit, entry, counter_num, value))
DXP_API(79, field_counter_set, int, (int unit, int entry, int counter_num, uint64_t value),
        (unit, entry, counter_num, value))
DXP_API(80, field_counter_set32, int, (int unit, int entry, int counter_num, uint32_t value),
        (unit, entry, counter_num, value))
DXP_API(81, field_counter_share, int, (int unit, int src_entry, int dst_entry),
        (unit, src_entry, dst_entry))
DXP_API(82, field_detach, int, (int unit), (unit))
DXP_API(83, field_entry_copy, int, (int unit, int src_entry, int *dst_entry),
        (unit, src_entry, dst_entry))
DXP_API(84, field_entry_copy_id, int, (int unit, int src_entry, int dst_entry),
        (unit, src_entry, dst_entry))
DXP_API(85, field_entry_create, int, (int unit, int group, int *entry), (unit, group, entry))
DXP_API(86, field_entry_create_id, int, (int unit, int group, int entry), (unit, group, entry))
DXP_API(87, field_entry_destroy, int, (int unit, int entry), (unit, entry))
DXP_API(88, field_entry_destroy_all, int, (int unit), (unit))
DXP_API(89, field_entry_install, int, (int unit, int entry), (unit, entry))
DXP_API(90, field_entry_prio_get, int, (int unit, int entry, int *prio), (unit, entry, prio))
DXP_API(91, field_entry_prio_set, int, (int unit, int entry, int prio), (unit, entry, prio))
DXP_API(92, field_entry_reinstall, int, (int unit, int entry), (unit, entry))
DXP_API(93, field_entry_remove, int, (int unit, int entry), (unit, entry))
DXP_API(94, field_group_create, int, (int unit, dxp_field_qset_t qset, int pri, int *group),
        (unit, qset, pri, group))
DXP_API(95, field_group_create_id, int, (int unit, dxp_field_qset_t qset, int pri, int group),
        (unit, qset, pri, group))
DXP_API(96, field_group_create_mode, int,
        (int unit, dxp_field_qset_t qset, int pri, int mode, int *group),
        (unit, qset, pri, mode, group))
DXP_API(97, field_group_create_mode_id, int,
        (int unit, dxp_field_qset_t qset, int pri, int mode, int group),
        (unit, qset, pri, mode, group))
DXP_API(98, field_group_destroy, int, (int unit, int group), (unit, group))
DXP_API(99, field_group_enable_get, int, (int unit, int group, int *enable), (unit, group, enable))
DXP_API(100, field_group_enable_set, int, (int unit, int group, int enable), (unit, group, enable))
DXP_API(101, field_group_flush, int, (int unit), (unit))
DXP_API(102, field_group_get, int, (int unit, int group, dxp_field_qset_t *qset),
        (unit, group, qset))
DXP_API(103, field_group_mode_get, int, (int unit, int group, int *mode), (unit, group, mode))
DXP_API(104, field_group_port_create, int,
        (int unit, dxp_pbmp_t pbmp, dxp_field_qset_t qset, int pri, int *group),
        (unit, pbmp, qset, pri, group))
DXP_API(105, field_group_port_create_id, int,
        (int unit, dxp_pbmp_t pbmp, dxp_field_qset_t qset, int pri, int group),
        (unit, pbmp, qset, pri, group))
DXP_API(106, field_group_port_create_mode, int,
        (int unit, dxp_pbmp_t pbmp, dxp_field_qset_t qset, int pri, int mode, int *group),
        (unit, pbmp, qset, pri, mode, group))
DXP_API(107, field_group_port_create_mode_id, int,
        (int unit, dxp_pbmp_t pbmp, dxp_field_qset_t qset, int pri, int mode, int group),
        (unit, pbmp, qset, pri, mode, group))
DXP_API(108, field_group_ports_create_mode_id, int,
        (int unit, dxp_pbmp_t pbmp, dxp_field_qset_t qset, int pri, int mode, int group),
        (unit, pbmp, qset, pri, mode, group))
DXP_API(109, field_group_set, int, (int unit, int group, dxp_field_qset_t qset),
        (unit, group, qset))
DXP_API(110, field_group_status_get, int, (int unit, int group, dxp_field_group_status_t *status),
        (unit, group, status))
DXP_API(111, field_init, int, (int unit), (unit))
DXP_API(112, field_meter_create, int, (int unit, int entry), (unit, entry))
DXP_API(113, field_meter_destroy, int, (int unit, int entry), (unit, entry))
DXP_API(114, field_meter_get, int,
        (int unit, int entry, int index, uint32_t *kbits_sec, uint32_t *kbits_burst),
        (unit, entry, index, kbits_sec, kbits_burst))
DXP_API(115, field_meter_set, int,
        (int unit, int entry, int index, uint32_t kbits_sec, uint32_t kbits_burst),
        (unit, entry, index, kbits_sec, kbits_burst))
DXP_API(116, field_meter_share, int, (int unit, int src_entry, int dst_entry),
        (unit, src_entry, dst_entry))
DXP_API(117, field_qset_add_udf, int, (int unit, dxp_field_qset_t *qset, int udf_id),
        (unit, qset, udf_id))

// Field qualifiers, one per qualifier name.
DXP_API(118, field_qualify_DSCP, int, (int unit, int entry, uint8_t data, uint8_t mask),
        (unit, entry, data, mask))
DXP_API(119, field_qualify_Decap, int, (int unit, int entry, int decap), (unit, entry, decap))
DXP_API(120, field_qualify_Drop, int, (int unit, int entry, uint8_t data, uint8_t mask),
        (unit, entry, data, mask))
DXP_API(121, field_qualify_DstIp, int, (int unit, int entry, dxp_ip_t data, dxp_ip_t mask),
        (unit, entry, data, mask))
DXP_API(122, field_qualify_DstIp6, int,
        (int unit, int entry, const dxp_ip6_t data, const dxp_ip6_t mask),
        (unit, entry, data, mask))
DXP_API(123, field_qualify_DstIp6High, int,
        (int unit, int entry, const dxp_ip6_t data, const dxp_ip6_t mask),
        (unit, entry, data, mask))
DXP_API(124, field_qualify_DstMac, int,
        (int unit, int entry, const dxp_mac_t data, const dxp_mac_t mask),
        (unit, entry, data, mask))
DXP_API(125, field_qualify_DstModid, int, (int unit, int entry, uint32_t data, uint32_t mask),
        (unit, entry, data, mask))
DXP_API(126, field_qualify_DstPort, int,
        (int unit, int entry, int data_modid, int mask_modid, int data_port, int mask_port),
        (unit, entry, data_modid, mask_modid, data_port, mask_port))
DXP_API(127, field_qualify_DstPortTgid, int, (int unit, int entry, int data, int mask),
        (unit, entry, data, mask))
DXP_API(128, field_qualify_DstTrunk, int, (int unit, int entry, uint32_t data, uint32_t mask),
        (unit, entry, data, mask))
DXP_API(129, field_qualify_EqualL4Port, int, (int unit, int entry, uint32_t flag),
        (unit, entry, flag))
DXP_API(130, field_qualify_EtherType, int, (int unit, int entry, uint16_t data, uint16_t mask),
        (unit, entry, data, mask))
DXP_API(131, field_qualify_InPort, int, (int unit, int entry, int data, int mask),
        (unit, entry, data, mask))
DXP_API(132, field_qualify_InPorts, int, (int unit, int entry, dxp_pbmp_t data, dxp_pbmp_t mask),
        (unit, entry, data, mask))
DXP_API(133, field_qualify_InnerTpid, int, (int unit, int entry, uint16_t tpid),
        (unit, entry, tpid))
DXP_API(134, field_qualify_InnerVlan, int, (int unit, int entry, uint16_t data, uint16_t mask),
        (unit, entry, data, mask))
DXP_API(135, field_qualify_Ip6FlowLabel, int, (int unit, int entry, uint32_t data, uint32_t mask),
        (unit, entry, data, mask))
DXP_API(136, field_qualify_Ip6HopLimit, int, (int unit, int entry, uint8_t data, uint8_t mask),
        (unit, entry, data, mask))
DXP_API(137, field_qualify_Ip6NextHeader, int, (int unit, int entry, uint8_t data, uint8_t mask),
        (unit, entry, data, mask))
DXP_API(138, field_qualify_Ip6TrafficClass, int, (int unit, int entry, uint8_t data, uint8_t mask),
        (unit, entry, data, mask))
DXP_API(139, field_qualify_IpFlags, int, (int unit, int entry, uint8_t data, uint8_t mask),
        (unit, entry, data, mask))
DXP_API(140, field_qualify_IpFrag, int, (int unit, int entry, int frag_info),
        (unit, entry, frag_info))
DXP_API(141, field_qualify_IpInfo, int, (int unit, int entry, uint32_t data, uint32_t mask),
        (unit, entry, data, mask))
DXP_API(142, field_qualify_IpProtocol, int, (int unit, int entry, uint8_t data, uint8_t mask),
        (unit, entry, data, mask))
DXP_API(143, field_qualify_IpProtocolCommon, int, (int unit, int entry, int protocol),
        (unit, entry, protocol))
DXP_API(144, field_qualify_IpType, int, (int unit, int entry, int type), (unit, entry, type))
DXP_API(145, field_qualify_L2Format, int, (int unit, int entry, int type), (unit, entry, type))
DXP_API(146, field_qualify_L3IntfGroup, int, (int unit, int entry, uint32_t data, uint32_t mask),
        (unit, entry, data, mask))
DXP_API(147, field_qualify_L3Routable, int, (int unit, int entry, uint8_t data, uint8_t mask),
        (unit, entry, data, mask))
DXP_API(148, field_qualify_L4DstPort, int, (int unit, int entry, uint32_t data, uint32_t mask),
        (unit, entry, data, mask))
DXP_API(149, field_qualify_L4SrcPort, int, (int unit, int entry, uint32_t data, uint32_t mask),
        (unit, entry, data, mask))
DXP_API(150, field_qualify_Llc, int, (int unit, int entry, uint32_t data, uint32_t mask),
        (unit, entry, data, mask))
DXP_API(151, field_qualify_LookupClass0, int, (int unit, int entry, uint32_t data, uint32_t mask),
        (unit, entry, data, mask))
DXP_API(152, field_qualify_LookupStatus, int, (int unit, int entry, uint32_t data, uint32_t mask),
        (unit, entry, data, mask))
DXP_API(153, field_qualify_MHOpcode, int, (int unit, int entry, uint8_t data, uint8_t mask),
        (unit, entry, data, mask))
DXP_API(154, field_qualify_OutPort, int, (int unit, int entry, int data, int mask),
        (unit, entry, data, mask))
DXP_API(155, field_qualify_OutPorts, int, (int unit, int entry, dxp_pbmp_t data, dxp_pbmp_t mask),
        (unit, entry, data, mask))
DXP_API(156, field_qualify_OuterTpid, int, (int unit, int entry, uint16_t tpid),
        (unit, entry, tpid))
DXP_API(157, field_qualify_OuterVlan, int, (int unit, int entry, uint16_t data, uint16_t mask),
        (unit, entry, data, mask))
DXP_API(158, field_qualify_PacketFormat, int, (int unit, int entry, uint32_t data, uint32_t mask),
        (unit, entry, data, mask))
DXP_API(159, field_qualify_PacketRes, int, (int unit, int entry, uint32_t data, uint32_t mask),
        (unit, entry, data, mask))
DXP_API(160, field_qualify_PortClass, int, (int unit, int entry, uint32_t data, uint32_t mask),
        (unit, entry, data, mask))
DXP_API(161, field_qualify_RangeCheck, int, (int unit, int entry, int range, int invert),
        (unit, entry, range, invert))
DXP_API(162, field_qualify_Snap, int, (int unit, int entry, uint32_t data, uint32_t mask),
        (unit, entry, data, mask))
DXP_API(163, field_qualify_SrcIp, int, (int unit, int entry, dxp_ip_t data, dxp_ip_t mask),
        (unit, entry, data, mask))
DXP_API(164, field_qualify_SrcIp6, int,
        (int unit, int entry, const dxp_ip6_t data, const dxp_ip6_t mask),
        (unit, entry, data, mask))
DXP_API(165, field_qualify_SrcIp6High, int,
        (int unit, int entry, const dxp_ip6_t data, const dxp_ip6_t mask),
        (unit, entry, data, mask))
DXP_API(166, field_qualify_SrcIpEqualDstIp, int, (int unit, int entry, uint32_t flag),
        (unit, entry, flag))
DXP_API(167, field_qualify_SrcMac, int,
        (int unit, int entry, const dxp_mac_t data, const dxp_mac_t mask),
        (unit, entry, data, mask))
DXP_API(168, field_qualify_SrcMacGroup, int, (int unit, int entry, uint32_t data, uint32_t mask),
        (unit, entry, data, mask))
DXP_API(169, field_qualify_SrcModid, int, (int unit, int entry, uint32_t data, uint32_t mask),
        (unit, entry, data, mask))
DXP_API(170, field_qualify_SrcPort, int,
        (int unit, int entry, int data_modid, int mask_modid, int data_port, int mask_port),
        (unit, entry, data_modid, mask_modid, data_port, mask_port))
DXP_API(171, field_qualify_SrcPortTgid, int, (int unit, int entry, int data, int mask),
        (unit, entry, data, mask))
DXP_API(172, field_qualify_SrcTrunk, int, (int unit, int entry, uint32_t data, uint32_t mask),
        (unit, entry, data, mask))
DXP_API(173, field_qualify_Stage, int, (int unit, int entry, int stage), (unit, entry, stage))
DXP_API(174, field_qualify_TcpControl, int, (int unit, int entry, uint8_t data, uint8_t mask),
        (unit, entry, data, mask))
DXP_API(175, field_qualify_TcpDstPortRange, int, (int unit, int entry, uint8_t data, uint8_t mask),
        (unit, entry, data, mask))
DXP_API(176, field_qualify_TcpHeaderSize, int, (int unit, int entry, uint8_t data, uint8_t mask),
        (unit, entry, data, mask))
DXP_API(177, field_qualify_TcpSequenceZero, int, (int unit, int entry, uint32_t flag),
        (unit, entry, flag))
DXP_API(178, field_qualify_TcpSrcPortRange, int, (int unit, int entry, uint8_t data, uint8_t mask),
        (unit, entry, data, mask))
DXP_API(179, field_qualify_Tivra, int, (int unit, int entry, uint8_t data, uint8_t mask),
        (unit, entry, data, mask))
DXP_API(180, field_qualify_Tos, int, (int unit, int entry, uint8_t data, uint8_t mask),
        (unit, entry, data, mask))
DXP_API(181, field_qualify_Ttl, int, (int unit, int entry, uint8_t data, uint8_t mask),
        (unit, entry, data, mask))
DXP_API(182, field_qualify_UdpDstPortRange, int, (int unit, int entry, uint8_t data, uint8_t mask),
        (unit, entry, data, mask))
DXP_API(183, field_qualify_UdpSrcPortRange, int, (int unit, int entry, uint8_t data, uint8_t mask),
        (unit, entry, data, mask))
DXP_API(184, field_qualify_UserDefined, int,
        (int unit, int entry, int udf_id, const uint8_t *data, const uint8_t *mask),
        (unit, entry, udf_id, data, mask))
DXP_API(185, field_qualify_VlanFormat, int, (int unit, int entry, uint8_t data, uint8_t mask),
        (unit, entry, data, mask))
DXP_API(186, field_qualify_Vrf, int, (int unit, int entry, uint32_t data, uint32_t mask),
        (unit, entry, data, mask))
DXP_API(187, field_qualify_clear, int, (int unit, int entry), (unit, entry))
DXP_API(188, field_range_create, int, (int unit, int *range, uint32_t flags, int min, int max),
        (unit, range, flags, min, max))
DXP_API(189, field_range_create_id, int, (int unit, int range, uint32_t flags, int min, int max),
        (unit, range, flags, min, max))
DXP_API(190, field_range_destroy, int, (int unit, int range), (unit, range))
DXP_API(191, field_range_get, int, (int unit, int range, uint32_t *flags, int *min, int *max),
        (unit, range, flags, min, max))
DXP_API(192, field_range_group_create, int,
        (int unit, int *range, uint32_t flags, int min, int max, int group),
        (unit, range, flags, min, max, group))
DXP_API(193, field_range_group_create_id, int,
        (int unit, int range, uint32_t flags, int min, int max, int group),
        (unit, range, flags, min, max, group))
DXP_API(194, field_show, int, (int unit), (unit))
DXP_API(195, field_status_get, int, (int unit, dxp_field_status_t *status), (unit, status))
DXP_API(196, field_udf_create, int, (int unit, dxp_field_udf_spec_t *udf_spec, int *udf_id),
        (unit, udf_spec, udf_id))
DXP_API(197, field_udf_create_id, int, (int unit, dxp_field_udf_spec_t *udf_spec, int udf_id),
        (unit, udf_spec, udf_id))
DXP_API(198, field_udf_destroy, int, (int unit, int udf_id), (unit, udf_id))
DXP_API(199, field_udf_ethertype_get, int, (int unit), (unit))
DXP_API(200, field_udf_ethertype_set, int, (int unit), (unit))
DXP_API(201, field_udf_get, int, (int unit, dxp_field_udf_spec_t *udf_spec, int udf_id),
        (unit, udf_spec, udf_id))
DXP_API(202, field_udf_ipprotocol_get, int, (int unit), (unit))
DXP_API(203, field_udf_ipprotocol_set, int, (int unit), (unit))
DXP_API(204, field_udf_spec_get, int,
        (int unit, dxp_field_udf_spec_t *udf_spec, uint32_t *flags, uint32_t *offset),
        (unit, udf_spec, flags, offset))
DXP_API(205, field_udf_spec_set, int,
        (int unit, dxp_field_udf_spec_t *udf_spec, uint32_t flags, uint32_t offset),
        (unit, udf_spec, flags, offset))

// Packet filters: none has a function on this family.
DXP_API(206, filter_action_match, int, (int unit, int fid, int action, uint32_t param),
        (unit, fid, action, param))
DXP_API(207, filter_action_no_match, int, (int unit), (unit))
DXP_API(208, filter_action_out_profile, int, (int unit), (unit))
DXP_API(209, filter_copy, int, (int unit), (unit))
DXP_API(210, filter_copy_id, int, (int unit), (unit))
DXP_API(211, filter_create, int, (int unit, int *fid), (unit, fid))
DXP_API(212, filter_create_id, int, (int unit), (unit))
DXP_API(213, filter_destroy, int, (int unit, int fid), (unit, fid))
DXP_API(214, filter_init, int, (int unit), (unit))
DXP_API(215, filter_install, int, (int unit, int fid), (unit, fid))
DXP_API(216, filter_prio_set, int, (int unit), (unit))
DXP_API(217, filter_qualify_data, int, (int unit), (unit))
DXP_API(218, filter_qualify_data16, int,
        (int unit, int fid, int offset, uint16_t data, uint16_t mask),
        (unit, fid, offset, data, mask))
DXP_API(219, filter_qualify_data32, int, (int unit), (unit))
DXP_API(220, filter_qualify_data8, int, (int unit), (unit))
DXP_API(221, filter_qualify_egress, int, (int unit), (unit))
DXP_API(222, filter_qualify_egress_modid, int, (int unit), (unit))
DXP_API(223, filter_qualify_egress_trunk, int, (int unit), (unit))
DXP_API(224, filter_qualify_format, int, (int unit), (unit))
DXP_API(225, filter_qualify_ingress, int, (int unit, int fid, dxp_pbmp_t pbmp), (unit, fid, pbmp))
DXP_API(226, filter_qualify_ingress_modid, int, (int unit), (unit))
DXP_API(227, filter_qualify_ingress_port, int, (int unit), (unit))
DXP_API(228, filter_qualify_ingress_trunk, int, (int unit), (unit))
DXP_API(229, filter_qualify_priority, int, (int unit), (unit))
DXP_API(230, filter_qualify_stop, int, (int unit), (unit))
DXP_API(231, filter_qualify_tagged, int, (int unit), (unit))
DXP_API(232, filter_reinstall, int, (int unit, int fid), (unit, fid))
DXP_API(233, filter_remove, int, (int unit), (unit))
DXP_API(234, filter_remove_all, int, (int unit), (unit))
DXP_API(235, filter_stat_clear, int, (int unit), (unit))
DXP_API(236, filter_stat_get, int, (int unit), (unit))
DXP_API(237, filter_stat_get32, int, (int unit), (unit))
DXP_API(238, filter_stat_set, int, (int unit), (unit))
DXP_API(239, filter_stat_set32, int, (int unit), (unit))
DXP_API(240, filter_stat_sync, int, (int unit), (unit))
DXP_API(241, filter_traverse, int, (int unit), (unit))
DXP_API(242, filter_udf_create, int, (int unit), (unit))
DXP_API(243, filter_udf_destroy, int, (int unit), (unit))
DXP_API(244, filter_udf_get, int, (int unit), (unit))
DXP_API(245, filter_udf_set, int, (int unit), (unit))
DXP_API(246, filter_update, int, (int unit), (unit))

// IGMP snooping, unit information and initialisation. init_modules keeps the position it
// has always had, behind init_phy_addr_set.
DXP_API(247, igmp_snooping_enable_get, int, (int unit, int *enable), (unit, enable))
DXP_API(248, igmp_snooping_enable_set, int, (int unit, int enable), (unit, enable))
DXP_API(249, igmp_snooping_init, int, (int unit), (unit))
DXP_API(250, info_get, int, (int unit, dxp_info_t *info), (unit, info))
DXP_API_FRONT(251, init, int, (int unit), (unit))
DXP_API(252, init_modules_get, int, (int unit), (unit))
DXP_API(253, init_phy_addr_set, int, (int unit, const uint32_t *addresses), (unit, addresses))
DXP_API(254, init_modules, int, (int unit, uint32_t flags), (unit, flags))

// L2 address table; 285, 286 and 288-290 have no function.
DXP_API(255, l2_addr_add, int, (int unit, dxp_l2_addr *l2addr), (unit, l2addr))
DXP_API(256, l2_addr_delete, int, (int unit, const dxp_mac_t mac, dxp_vlan_t vid), (unit, mac, vid))
DXP_API(257, l2_addr_delete_by_mac, int, (int unit, const dxp_mac_t mac, uint32_t flags),
        (unit, mac, flags))
DXP_API(258, l2_addr_delete_by_mac_port, int,
        (int unit, const dxp_mac_t mac, int modid, int port, uint32_t flags),
        (unit, mac, modid, port, flags))
DXP_API(259, l2_addr_delete_by_port, int, (int unit, int modid, int port, uint32_t flags),
        (unit, modid, port, flags))
DXP_API(260, l2_addr_delete_by_trunk, int, (int unit, int tgid, uint32_t flags),
        (unit, tgid, flags))
DXP_API(261, l2_addr_delete_by_vlan, int, (int unit, dxp_vlan_t vid, uint32_t flags),
        (unit, vid, flags))
DXP_API(262, l2_addr_delete_by_vlan_port, int,
        (int unit, dxp_vlan_t vid, int modid, int port, uint32_t flags),
        (unit, vid, modid, port, flags))
DXP_API(263, l2_addr_delete_by_vlan_trunk, int,
        (int unit, dxp_vlan_t vid, int tgid, uint32_t flags),
        (unit, vid, tgid, flags))
DXP_API(264, l2_addr_freeze, int, (int unit), (unit))
DXP_API(265, l2_addr_get, int, (int unit, const dxp_mac_t mac, dxp_vlan_t vid, dxp_l2_addr *l2addr),
        (unit, mac, vid, l2addr))
DXP_API(266, l2_addr_register, int, (int unit, dxp_l2_addr_callback_t callback, void *userdata),
        (unit, callback, userdata))
DXP_API(267, l2_addr_thaw, int, (int unit), (unit))
DXP_API(268, l2_addr_unregister, int, (int unit, dxp_l2_addr_callback_t callback, void *userdata),
        (unit, callback, userdata))
DXP_API(269, l2_age_timer_get, int, (int unit, int *age_seconds), (unit, age_seconds))
DXP_API(270, l2_age_timer_set, int, (int unit, int age_seconds), (unit, age_seconds))
DXP_API(271, l2_bpdu_count, int, (int unit), (unit))
DXP_API(272, l2_bpdu_get, int, (int unit, int index, dxp_mac_t mac), (unit, index, mac))
DXP_API(273, l2_bpdu_set, int, (int unit, int index, const dxp_mac_t mac), (unit, index, mac))
DXP_API(274, l2_cache_delete, int, (int unit, int index), (unit, index))
DXP_API(275, l2_cache_delete_all, int, (int unit), (unit))
DXP_API(276, l2_cache_get, int, (int unit, int index, dxp_l2_cache_addr *addr), (unit, index, addr))
DXP_API(277, l2_cache_init, int, (int unit), (unit))
DXP_API(278, l2_cache_set, int, (int unit, int index, dxp_l2_cache_addr *addr), (unit, index, addr))
DXP_API(279, l2_cache_size_get, int, (int unit, int *size), (unit, size))
DXP_API(280, l2_clear, int, (int unit), (unit))
DXP_API(281, l2_conflict_get, int,
        (int unit, dxp_l2_addr *addr, dxp_l2_addr *cf_array, int cf_max, int *cf_count),
        (unit, addr, cf_array, cf_max, cf_count))
DXP_API(282, l2_detach, int, (int unit), (unit))
DXP_API(283, l2_init, int, (int unit), (unit))
DXP_API(284, l2_key_dump, int,
        (int unit, const char *prefix, dxp_l2_addr *entry, const char *suffix),
        (unit, prefix, entry, suffix))
DXP_API(285, l2_learn_limit_get, int, (int unit), (unit))
DXP_API(286, l2_learn_limit_set, int, (int unit), (unit))
DXP_API(287, l2_port_native, int, (int unit, int modid, int port), (unit, modid, port))
DXP_API(288, l2_tunnel_add, int, (int unit), (unit))
DXP_API(289, l2_tunnel_delete, int, (int unit), (unit))
DXP_API(290, l2_tunnel_delete_all, int, (int unit), (unit))

// Link scan.
DXP_API(291, link_change, int, (int unit, dxp_pbmp_t pbmp), (unit, pbmp))
DXP_API(292, link_wait, int, (int unit, dxp_pbmp_t *pbmp, int usecs), (unit, pbmp, usecs))
DXP_API(293, linkscan_detach, int, (int unit), (unit))
DXP_API(294, linkscan_enable_get, int, (int unit, int *usecs), (unit, usecs))
DXP_API(295, linkscan_enable_port_get, int, (int unit, int port), (unit, port))
DXP_API(296, linkscan_enable_set, int, (int unit, int usecs), (unit, usecs))
DXP_API(297, linkscan_init, int, (int unit), (unit))
DXP_API(298, linkscan_mode_get, int, (int unit, int port, int *mode), (unit, port, mode))
DXP_API(299, linkscan_mode_set, int, (int unit, int port, int mode), (unit, port, mode))
DXP_API(300, linkscan_mode_set_pbm, int, (int unit, dxp_pbmp_t pbmp, int mode), (unit, pbmp, mode))
DXP_API(301, linkscan_port_register, int, (int unit, int port, dxp_linkscan_port_handler_t handler),
        (unit, port, handler))
DXP_API(302, linkscan_port_unregister, int, (int unit, int port), (unit, port))
DXP_API(303, linkscan_register, int, (int unit, dxp_linkscan_handler_t handler), (unit, handler))
DXP_API(304, linkscan_unregister, int, (int unit, dxp_linkscan_handler_t handler), (unit, handler))
DXP_API(305, linkscan_update, int, (int unit, dxp_pbmp_t pbmp), (unit, pbmp))

// Multicast groups; 320-325 have no function.
DXP_API(306, mcast_addr_add, int, (int unit, dxp_mcast_addr *mcaddr), (unit, mcaddr))
DXP_API(307, mcast_addr_add_w_l2mcindex, int, (int unit, dxp_mcast_addr *mcaddr), (unit, mcaddr))
DXP_API(308, mcast_addr_remove, int, (int unit, const dxp_mac_t mac, dxp_vlan_t vid),
        (unit, mac, vid))
DXP_API(309, mcast_addr_remove_w_l2mcindex, int, (int unit, dxp_mcast_addr *mcaddr), (unit, mcaddr))
DXP_API(310, mcast_bitmap_del, int, (int unit, int index, int port, dxp_pbmp_t pbmp),
        (unit, index, port, pbmp))
DXP_API(311, mcast_bitmap_get, int, (int unit, int index, int port, dxp_pbmp_t *pbmp),
        (unit, index, port, pbmp))
DXP_API(312, mcast_bitmap_max_get, int, (int unit, int *max_index), (unit, max_index))
DXP_API(313, mcast_bitmap_set, int, (int unit, int index, int port, dxp_pbmp_t pbmp),
        (unit, index, port, pbmp))
DXP_API(314, mcast_init, int, (int unit), (unit))
DXP_API(315, mcast_join, int,
        (int unit, const dxp_mac_t mac, dxp_vlan_t vid, int port, dxp_mcast_addr *mcaddr),
        (unit, mac, vid, port, mcaddr))
DXP_API(316, mcast_leave, int, (int unit, const dxp_mac_t mac, dxp_vlan_t vid, int port),
        (unit, mac, vid, port))
DXP_API(317, mcast_port_add, int, (int unit, dxp_mcast_addr *mcaddr), (unit, mcaddr))
DXP_API(318, mcast_port_get, int,
        (int unit, const dxp_mac_t mac, dxp_vlan_t vid, dxp_mcast_addr *mcaddr),
        (unit, mac, vid, mcaddr))
DXP_API(319, mcast_port_remove, int, (int unit, dxp_mcast_addr *mcaddr), (unit, mcaddr))
DXP_API(320, mcast_repl_add, int, (int unit), (unit))
DXP_API(321, mcast_repl_delete, int, (int unit), (unit))
DXP_API(322, mcast_repl_delete_all, int, (int unit), (unit))
DXP_API(323, mcast_repl_get, int, (int unit), (unit))
DXP_API(324, mcast_repl_set, int, (int unit), (unit))
DXP_API(325, mcast_vlan_flood_set, int, (int unit), (unit))

// Mirroring; 327, 328, 343 and 344 have no function.
DXP_API(326, mirror_egress_get, int, (int unit, int port, int *enable), (unit, port, enable))
DXP_API(327, mirror_egress_path_get, int, (int unit), (unit))
DXP_API(328, mirror_egress_path_set, int, (int unit), (unit))
DXP_API(329, mirror_egress_set, int, (int unit, int port, int enable), (unit, port, enable))
DXP_API(330, mirror_ingress_get, int, (int unit, int port, int *enable), (unit, port, enable))
DXP_API(331, mirror_ingress_set, int, (int unit, int port, int enable), (unit, port, enable))
DXP_API(332, mirror_init, int, (int unit), (unit))
DXP_API(333, mirror_mode_get, int, (int unit, int *mode), (unit, mode))
DXP_API(334, mirror_mode_set, int, (int unit, int mode), (unit, mode))
DXP_API(335, mirror_pfmt_get, int, (int unit, int *enable), (unit, enable))
DXP_API(336, mirror_pfmt_set, int, (int unit, int enable), (unit, enable))
DXP_API(337, mirror_port_get, int,
        (int unit, int port, int *dest_mod, int *dest_port, uint32_t *flags),
        (unit, port, dest_mod, dest_port, flags))
DXP_API(338, mirror_port_set, int,
        (int unit, int port, int dest_mod, int dest_port, uint32_t flags),
        (unit, port, dest_mod, dest_port, flags))
DXP_API(339, mirror_to_get, int, (int unit, int *port), (unit, port))
DXP_API(340, mirror_to_pbmp_get, int, (int unit, int port, dxp_pbmp_t *pbmp), (unit, port, pbmp))
DXP_API(341, mirror_to_pbmp_set, int, (int unit, int port, dxp_pbmp_t pbmp), (unit, port, pbmp))
DXP_API(342, mirror_to_set, int, (int unit, int port), (unit, port))
DXP_API(343, mirror_vlan_get, int, (int unit), (unit))
DXP_API(344, mirror_vlan_set, int, (int unit), (unit))

// Packet records.
DXP_API(345, pkt_alloc, int, (int unit, int size, uint32_t flags, dxp_pkt **pkt_buf),
        (unit, size, flags, pkt_buf))
DXP_API(346, pkt_blk_alloc, int,
        (int unit, int count, int size, uint32_t flags, dxp_pkt ***packet_array),
        (unit, count, size, flags, packet_array))
DXP_API(347, pkt_blk_free, int, (int unit, dxp_pkt **pkt, int count), (unit, pkt, count))
DXP_API(348, pkt_clear, int,
        (int unit, dxp_pkt *pkt, dxp_pkt_blk_t *blks, int blk_count, uint32_t flags,
        dxp_pkt **pkt_buf),
        (unit, pkt, blks, blk_count, flags, pkt_buf))
DXP_API(349, pkt_flags_init, int, (int unit, dxp_pkt *pkt, uint32_t flags), (unit, pkt, flags))
DXP_API(350, pkt_flags_len_setup, int,
        (int unit, dxp_pkt *pkt, int alloc_bytes, int payload_len, uint32_t flags),
        (unit, pkt, alloc_bytes, payload_len, flags))
DXP_API(351, pkt_free, int, (int unit, dxp_pkt *pkt), (unit, pkt))
DXP_API(352, pkt_rx_alloc, int, (int unit, int size, dxp_pkt **pkt_buf), (unit, size, pkt_buf))
DXP_API(353, pkt_rx_free, int, (int unit, dxp_pkt *pkt), (unit, pkt))

// Ports; the entries with only a unit argument have no function.
DXP_API(354, port_ability_get, int, (int unit, int port, uint32_t *ability_mask),
        (unit, port, ability_mask))
DXP_API(355, port_advert_get, int, (int unit, int port, uint32_t *ability_mask),
        (unit, port, ability_mask))
DXP_API(356, port_advert_remote_get, int, (int unit, int port, uint32_t *ability_mask),
        (unit, port, ability_mask))
DXP_API(357, port_advert_set, int, (int unit, int port, uint32_t ability_mask),
        (unit, port, ability_mask))
DXP_API(358, port_autoneg_get, int, (int unit, int port, int *autoneg), (unit, port, autoneg))
DXP_API(359, port_autoneg_set, int, (int unit, int port, int autoneg), (unit, port, autoneg))
DXP_API(360, port_bpdu_enable_get, int, (int unit, int port, int *enable), (unit, port, enable))
DXP_API(361, port_bpdu_enable_set, int, (int unit, int port, int enable), (unit, port, enable))
DXP_API(362, port_cable_diag, int, (int unit, int port, dxp_port_cable_diag_t *status),
        (unit, port, status))
DXP_API(363, port_cfi_color_get, int, (int unit), (unit))
DXP_API(364, port_cfi_color_set, int, (int unit), (unit))
DXP_API(365, port_class_get, int, (int unit), (unit))
DXP_API(366, port_class_set, int, (int unit), (unit))
DXP_API(367, port_clear, int, (int unit), (unit))
DXP_API(368, port_config_get, int, (int unit, dxp_port_config_t *config), (unit, config))
DXP_API(369, port_control_get, int, (int unit, int port, int type, int *value),
        (unit, port, type, value))
DXP_API(370, port_control_set, int, (int unit, int port, int type, int value),
        (unit, port, type, value))
DXP_API(371, port_detach, int, (int unit, dxp_pbmp_t pbmp, dxp_pbmp_t *detached),
        (unit, pbmp, detached))
DXP_API(372, port_discard_get, int, (int unit, int port, int *mode), (unit, port, mode))
DXP_API(373, port_discard_set, int, (int unit, int port, int mode), (unit, port, mode))
DXP_API(374, port_dscp_map_get, int, (int unit, int port, int srccp, int *mapcp, int *prio),
        (unit, port, srccp, mapcp, prio))
DXP_API(375, port_dscp_map_mode_get, int, (int unit, int port, int *mode), (unit, port, mode))
DXP_API(376, port_dscp_map_mode_set, int, (int unit, int port, int mode), (unit, port, mode))
DXP_API(377, port_dscp_map_set, int, (int unit, int port, int srccp, int mapcp, int prio),
        (unit, port, srccp, mapcp, prio))
DXP_API(378, port_dtag_mode_get, int, (int unit, int port, int *mode), (unit, port, mode))
DXP_API(379, port_dtag_mode_set, int, (int unit, int port, int mode), (unit, port, mode))
DXP_API(380, port_duplex_get, int, (int unit, int port, int *duplex), (unit, port, duplex))
DXP_API(381, port_duplex_set, int, (int unit, int port, int duplex), (unit, port, duplex))
DXP_API(382, port_egress_get, int, (int unit, int port, dxp_pbmp_t *pbmp), (unit, port, pbmp))
DXP_API(383, port_egress_set, int, (int unit, int port, dxp_pbmp_t pbmp), (unit, port, pbmp))
DXP_API(384, port_enable_get, int, (int unit, int port, int *enable), (unit, port, enable))
DXP_API(385, port_enable_set, int, (int unit, int port, int enable), (unit, port, enable))
DXP_API(386, port_encap_config_get, int, (int unit), (unit))
DXP_API(387, port_encap_config_set, int, (int unit), (unit))
DXP_API(388, port_encap_get, int, (int unit), (unit))
DXP_API(389, port_encap_set, int, (int unit), (unit))
DXP_API(390, port_fault_get, int, (int unit), (unit))
DXP_API(391, port_force_forward_get, int, (int unit), (unit))
DXP_API(392, port_force_forward_set, int, (int unit), (unit))
DXP_API(393, port_frame_max_get, int, (int unit, int port, int *size), (unit, port, size))
DXP_API(394, port_frame_max_set, int, (int unit, int port, int size), (unit, port, size))
DXP_API(395, port_ifg_get, int, (int unit, int port, int speed, int duplex, int *bit_times),
        (unit, port, speed, duplex, bit_times))
DXP_API(396, port_ifg_set, int, (int unit), (unit))
DXP_API(397, port_ifilter_get, int, (int unit), (unit))
DXP_API(398, port_ifilter_set, int, (int unit), (unit))
DXP_API(399, port_info_get, int, (int unit, int port, dxp_port_info *info), (unit, port, info))
DXP_API(400, port_info_restore, int, (int unit, int port, dxp_port_info *info), (unit, port, info))
DXP_API(401, port_info_save, int, (int unit, int port, dxp_port_info *info), (unit, port, info))
DXP_API(402, port_info_set, int, (int unit, int port, dxp_port_info *info), (unit, port, info))
DXP_API(403, port_init, int, (int unit), (unit))
DXP_API(404, port_inner_tpid_get, int, (int unit, int port, uint16_t *tpid), (unit, port, tpid))
DXP_API(405, port_inner_tpid_set, int, (int unit), (unit))
DXP_API(406, port_interface_get, int, (int unit, int port, int *intf), (unit, port, intf))
DXP_API(407, port_interface_set, int, (int unit, int port, int intf), (unit, port, intf))
DXP_API(408, port_ipmc_modify_get, int, (int unit), (unit))
DXP_API(409, port_ipmc_modify_set, int, (int unit), (unit))
DXP_API(410, port_jam_get, int, (int unit, int port, int *enable), (unit, port, enable))
DXP_API(411, port_jam_set, int, (int unit, int port, int enable), (unit, port, enable))
DXP_API(412, port_l3_enable_get, int, (int unit), (unit))
DXP_API(413, port_l3_enable_set, int, (int unit), (unit))
DXP_API(414, port_l3_modify_get, int, (int unit), (unit))
DXP_API(415, port_l3_modify_set, int, (int unit), (unit))
DXP_API(416, port_l3_mtu_get, int, (int unit), (unit))
DXP_API(417, port_l3_mtu_set, int, (int unit), (unit))
DXP_API(418, port_learn_get, int, (int unit, int port, uint32_t *flags), (unit, port, flags))
DXP_API(419, port_learn_modify, int, (int unit, int port, uint32_t add, uint32_t remove),
        (unit, port, add, remove))
DXP_API(420, port_learn_set, int, (int unit, int port, uint32_t flags), (unit, port, flags))
DXP_API(421, port_link_status_get, int, (int unit, int port, int *up), (unit, port, up))
DXP_API(422, port_linkscan_get, int, (int unit, int port, int *linkscan), (unit, port, linkscan))
DXP_API(423, port_linkscan_set, int, (int unit, int port, int linkscan), (unit, port, linkscan))
DXP_API(424, port_loopback_get, int, (int unit, int port, int *loopback), (unit, port, loopback))
DXP_API(425, port_loopback_set, int, (int unit, int port, int loopback), (unit, port, loopback))
DXP_API(426, port_master_get, int, (int unit, int port, int *ms), (unit, port, ms))
DXP_API(427, port_master_set, int, (int unit, int port, int ms), (unit, port, ms))
DXP_API(428, port_mdix_get, int, (int unit, int port, int *mode), (unit, port, mode))
DXP_API(429, port_mdix_set, int, (int unit, int port, int mode), (unit, port, mode))
DXP_API(430, port_mdix_status_get, int, (int unit, int port, int *status), (unit, port, status))
DXP_API(431, port_medium_config_get, int,
        (int unit, int port, int medium, dxp_phy_config_t *config),
        (unit, port, medium, config))
DXP_API(432, port_medium_config_set, int,
        (int unit, int port, int medium, dxp_phy_config_t *config),
        (unit, port, medium, config))
DXP_API(433, port_medium_get, int, (int unit, int port, int *medium), (unit, port, medium))
DXP_API(434, port_medium_status_register, int,
        (int unit, int port, dxp_port_medium_status_cb_t callback, void *user_data),
        (unit, port, callback, user_data))
DXP_API(435, port_medium_status_unregister, int,
        (int unit, int port, dxp_port_medium_status_cb_t callback, void *user_data),
        (unit, port, callback, user_data))
DXP_API(436, port_modid_egress_get, int, (int unit), (unit))
DXP_API(437, port_modid_egress_set, int, (int unit), (unit))
DXP_API(438, port_modid_enable_get, int, (int unit), (unit))
DXP_API(439, port_modid_enable_set, int, (int unit), (unit))
DXP_API(440, port_pause_addr_get, int, (int unit, int port, dxp_mac_t mac), (unit, port, mac))
DXP_API(441, port_pause_addr_set, int, (int unit, int port, const dxp_mac_t mac), (unit, port, mac))
DXP_API(442, port_pause_get, int, (int unit, int port, int *pause_tx, int *pause_rx),
        (unit, port, pause_tx, pause_rx))
DXP_API(443, port_pause_set, int, (int unit, int port, int pause_tx, int pause_rx),
        (unit, port, pause_tx, pause_rx))
DXP_API(444, port_pause_sym_get, int, (int unit, int port, int *pause), (unit, port, pause))
DXP_API(445, port_pause_sym_set, int, (int unit, int port, int pause), (unit, port, pause))
DXP_API(446, port_pfm_get, int, (int unit), (unit))
DXP_API(447, port_pfm_set, int, (int unit), (unit))
DXP_API(448, port_phy_control_get, int, (int unit), (unit))
DXP_API(449, port_phy_control_set, int, (int unit), (unit))
DXP_API(450, port_phy_drv_name_get, int, (int unit, int port, char *name, int len),
        (unit, port, name, len))
DXP_API(451, port_phy_get, int,
        (int unit, int port, uint32_t flags, uint32_t phy_reg_addr, uint32_t *phy_data),
        (unit, port, flags, phy_reg_addr, phy_data))
DXP_API(452, port_phy_reset, int, (int unit, int port), (unit, port))
DXP_API(453, port_phy_reset_register, int,
        (int unit, int port, dxp_port_phy_reset_cb_t callback, void *user_data),
        (unit, port, callback, user_data))
DXP_API(454, port_phy_reset_unregister, int,
        (int unit, int port, dxp_port_phy_reset_cb_t callback, void *user_data),
        (unit, port, callback, user_data))
DXP_API(455, port_phy_set, int,
        (int unit, int port, uint32_t flags, uint32_t phy_reg_addr, uint32_t phy_data),
        (unit, port, flags, phy_reg_addr, phy_data))
DXP_API(456, port_priority_color_get, int, (int unit), (unit))
DXP_API(457, port_priority_color_set, int, (int unit), (unit))
DXP_API(458, port_probe, int, (int unit, dxp_pbmp_t pbmp, dxp_pbmp_t *okay), (unit, pbmp, okay))
DXP_API(459, port_protocol_vlan_add, int,
        (int unit, int port, uint32_t frame, uint16_t ether, dxp_vlan_t vid),
        (unit, port, frame, ether, vid))
DXP_API(460, port_protocol_vlan_delete, int, (int unit, int port, uint32_t frame, uint16_t ether),
        (unit, port, frame, ether))
DXP_API(461, port_protocol_vlan_delete_all, int, (int unit, int port), (unit, port))
DXP_API(462, port_queued_count_get, int, (int unit), (unit))
DXP_API(463, port_rate_egress_get, int,
        (int unit, int port, uint32_t *kbits_sec, uint32_t *kbits_burst),
        (unit, port, kbits_sec, kbits_burst))
DXP_API(464, port_rate_egress_set, int,
        (int unit, int port, uint32_t kbits_sec, uint32_t kbits_burst),
        (unit, port, kbits_sec, kbits_burst))
DXP_API(465, port_rate_ingress_get, int,
        (int unit, int port, uint32_t *kbits_sec, uint32_t *kbits_burst),
        (unit, port, kbits_sec, kbits_burst))
DXP_API(466, port_rate_ingress_set, int,
        (int unit, int port, uint32_t kbits_sec, uint32_t kbits_burst),
        (unit, port, kbits_sec, kbits_burst))
DXP_API(467, port_rate_pause_get, int, (int unit), (unit))
DXP_API(468, port_rate_pause_set, int, (int unit), (unit))
DXP_API(469, port_sample_rate_get, int, (int unit), (unit))
DXP_API(470, port_sample_rate_set, int, (int unit), (unit))
DXP_API(471, port_selective_get, int, (int unit, int port, dxp_port_info *info), (unit, port, info))
DXP_API(472, port_selective_set, int, (int unit, int port, dxp_port_info *info), (unit, port, info))
DXP_API(473, port_speed_get, int, (int unit, int port, int *speed), (unit, port, speed))
DXP_API(474, port_speed_max, int, (int unit, int port, int *speed), (unit, port, speed))
DXP_API(475, port_speed_set, int, (int unit, int port, int speed), (unit, port, speed))
DXP_API(476, port_stp_get, int, (int unit, int port, int *stp_state), (unit, port, stp_state))
DXP_API(477, port_stp_set, int, (int unit, int port, int stp_state), (unit, port, stp_state))
DXP_API(478, port_tgid_get, int, (int unit, int port, int *tid, int *psc), (unit, port, tid, psc))
DXP_API(479, port_tgid_set, int, (int unit), (unit))
DXP_API(480, port_tpid_add, int, (int unit), (unit))
DXP_API(481, port_tpid_delete, int, (int unit), (unit))
DXP_API(482, port_tpid_delete_all, int, (int unit), (unit))
DXP_API(483, port_tpid_get, int, (int unit, int port, uint16_t *tpid), (unit, port, tpid))
DXP_API(484, port_tpid_set, int, (int unit, int port, uint16_t tpid), (unit, port, tpid))
DXP_API(485, port_trunk_index_get, int, (int unit), (unit))
DXP_API(486, port_trunk_index_set, int, (int unit), (unit))
DXP_API(487, port_untagged_priority_get, int, (int unit, int port, int *priority),
        (unit, port, priority))
DXP_API(488, port_untagged_priority_set, int, (int unit, int port, int priority),
        (unit, port, priority))
DXP_API(489, port_untagged_vlan_get, int, (int unit, int port, dxp_vlan_t *vid), (unit, port, vid))
DXP_API(490, port_untagged_vlan_set, int, (int unit, int port, dxp_vlan_t vid), (unit, port, vid))
DXP_API(491, port_update, int, (int unit, int port, int link), (unit, port, link))
DXP_API(492, port_vfilter_get, int, (int unit), (unit))
DXP_API(493, port_vfilter_set, int, (int unit), (unit))
DXP_API(494, port_vlan_member_get, int, (int unit, int port, uint32_t *flags), (unit, port, flags))
DXP_API(495, port_vlan_member_set, int, (int unit, int port, uint32_t flags), (unit, port, flags))
DXP_API(496, port_vlan_priority_map_get, int, (int unit), (unit))
DXP_API(497, port_vlan_priority_map_set, int, (int unit), (unit))
DXP_API(498, port_vlan_priority_unmap_get, int, (int unit), (unit))
DXP_API(499, port_vlan_priority_unmap_set, int, (int unit), (unit))

// Rate and storm control.
DXP_API(500, rate_bandwidth_get, int,
        (int unit, int port, int flags, uint32_t *kbits_sec, uint32_t *kbits_burst),
        (unit, port, flags, kbits_sec, kbits_burst))
DXP_API(501, rate_bandwidth_set, int,
        (int unit, int port, int flags, uint32_t kbits_sec, uint32_t kbits_burst),
        (unit, port, flags, kbits_sec, kbits_burst))
DXP_API(502, rate_bcast_get, int, (int unit, int *rate, int *flags, int port),
        (unit, rate, flags, port))
DXP_API(503, rate_bcast_set, int, (int unit, int rate, int flags, int port),
        (unit, rate, flags, port))
DXP_API(504, rate_dlfbc_get, int, (int unit, int *rate, int *flags, int port),
        (unit, rate, flags, port))
DXP_API(505, rate_dlfbc_set, int, (int unit, int rate, int flags, int port),
        (unit, rate, flags, port))
DXP_API(506, rate_get, int, (int unit, int *rate, int *flags), (unit, rate, flags))
DXP_API(507, rate_mcast_get, int, (int unit, int *rate, int *flags, int port),
        (unit, rate, flags, port))
DXP_API(508, rate_mcast_set, int, (int unit, int rate, int flags, int port),
        (unit, rate, flags, port))
DXP_API(509, rate_set, int, (int unit, int rate, int flags), (unit, rate, flags))
DXP_API(510, rate_type_get, int, (int unit, dxp_rate_limit_t *rl), (unit, rl))
DXP_API(511, rate_type_set, int, (int unit, dxp_rate_limit_t *rl), (unit, rl))

// Packet receive; 529 has no function.
DXP_API(512, rx_active, int, (int unit), (unit))
DXP_API(513, rx_alloc, int, (int unit, int pkt_size, uint32_t flags, void **buf),
        (unit, pkt_size, flags, buf))
DXP_API(514, rx_burst_get, int, (int unit, int *burst), (unit, burst))
DXP_API(515, rx_burst_set, int, (int unit, int burst), (unit, burst))
DXP_API(516, rx_cfg_get, int, (int unit, dxp_rx_cfg_t *cfg), (unit, cfg))
DXP_API(517, rx_cfg_init, int, (int unit), (unit))
DXP_API(518, rx_channels_running, int, (int unit, uint32_t *channels), (unit, channels))
DXP_API(519, rx_clear, int, (int unit), (unit))
DXP_API(520, rx_cos_burst_get, int, (int unit, int cos, int *burst), (unit, cos, burst))
DXP_API(521, rx_cos_burst_set, int, (int unit, int cos, int burst), (unit, cos, burst))
DXP_API(522, rx_cos_max_len_get, int, (int unit, int cos, int *max_q_len), (unit, cos, max_q_len))
DXP_API(523, rx_cos_max_len_set, int, (int unit, int cos, int max_q_len), (unit, cos, max_q_len))
DXP_API(524, rx_cos_rate_get, int, (int unit, int cos, int *pps), (unit, cos, pps))
DXP_API(525, rx_cos_rate_set, int, (int unit, int cos, int pps), (unit, cos, pps))
DXP_API(526, rx_free, int, (int unit, void *pkt_data), (unit, pkt_data))
DXP_API(527, rx_free_enqueue, int, (int unit, void *pkt_data), (unit, pkt_data))
DXP_API(528, rx_init, int, (int unit), (unit))
DXP_API(529, rx_queue_channel_get, int, (int unit), (unit))
DXP_API(530, rx_rate_get, int, (int unit, int *pps), (unit, pps))
DXP_API(531, rx_rate_set, int, (int unit, int pps), (unit, pps))
DXP_API(532, rx_register, int,
        (int unit, const char *name, dxp_rx_cb_f callback, int priority, void *cookie,
        uint32_t flags),
        (unit, name, callback, priority, cookie, flags))
DXP_API(533, rx_start, int, (int unit, dxp_rx_cfg_t *cfg), (unit, cfg))
DXP_API(534, rx_stop, int, (int unit, dxp_rx_cfg_t *cfg), (unit, cfg))
DXP_API(535, rx_unregister, int, (int unit, dxp_rx_cb_f callback, int priority),
        (unit, callback, priority))

// Statistics; 537-542 have no function.
DXP_API(536, stat_clear, int, (int unit, int port), (unit, port))
DXP_API(537, stat_custom_add, int, (int unit), (unit))
DXP_API(538, stat_custom_check, int, (int unit), (unit))
DXP_API(539, stat_custom_delete, int, (int unit), (unit))
DXP_API(540, stat_custom_delete_all, int, (int unit), (unit))
DXP_API(541, stat_custom_get, int, (int unit), (unit))
DXP_API(542, stat_custom_set, int, (int unit), (unit))
DXP_API(543, stat_get, int, (int unit, int port, int type, uint64_t *value),
        (unit, port, type, value))
DXP_API(544, stat_get32, int, (int unit, int port, int type, uint32_t *value),
        (unit, port, type, value))
DXP_API(545, stat_init, int, (int unit), (unit))
DXP_API(546, stat_sync, int, (int unit), (unit))

// Spanning-tree groups.
DXP_API(547, stg_clear, int, (int unit), (unit))
DXP_API(548, stg_count_get, int, (int unit, int *max_stg), (unit, max_stg))
DXP_API(549, stg_create, int, (int unit, int *stg), (unit, stg))
DXP_API(550, stg_create_id, int, (int unit, int stg), (unit, stg))
DXP_API(551, stg_default_get, int, (int unit, int *stg), (unit, stg))
DXP_API(552, stg_default_set, int, (int unit, int stg), (unit, stg))
DXP_API(553, stg_destroy, int, (int unit, int stg), (unit, stg))
DXP_API(554, stg_init, int, (int unit), (unit))
DXP_API(555, stg_list, int, (int unit, int **list, int *count), (unit, list, count))
DXP_API(556, stg_list_destroy, int, (int unit, int *list, int count), (unit, list, count))
DXP_API(557, stg_stp_get, int, (int unit, int stg, int port, int *stp_state),
        (unit, stg, port, stp_state))
DXP_API(558, stg_stp_set, int, (int unit, int stg, int port, int stp_state),
        (unit, stg, port, stp_state))
DXP_API(559, stg_vlan_add, int, (int unit, int stg, dxp_vlan_t vid), (unit, stg, vid))
DXP_API(560, stg_vlan_list, int, (int unit, int stg, dxp_vlan_t **list, int *count),
        (unit, stg, list, count))
DXP_API(561, stg_vlan_list_destroy, int, (int unit, dxp_vlan_t *list, int count),
        (unit, list, count))
DXP_API(562, stg_vlan_remove, int, (int unit, int stg, dxp_vlan_t vid), (unit, stg, vid))
DXP_API(563, stg_vlan_remove_all, int, (int unit, int stg), (unit, stg))

// Stacking; only modid_get, modport_get and my_modid_get answer on this family.
DXP_API(564, stk_init, int, (int unit), (unit))
DXP_API(565, stk_mode_get, int, (int unit), (unit))
DXP_API(566, stk_mode_set, int, (int unit), (unit))
DXP_API(567, stk_modid_config_add, int, (int unit), (unit))
DXP_API(568, stk_modid_config_delete, int, (int unit), (unit))
DXP_API(569, stk_modid_config_delete_all, int, (int unit), (unit))
DXP_API(570, stk_modid_config_get, int, (int unit), (unit))
DXP_API(571, stk_modid_count, int, (int unit, int *num_modid), (unit, num_modid))
DXP_API(572, stk_modid_get, int, (int unit, int *modid), (unit, modid))
DXP_API(573, stk_modid_set, int, (int unit), (unit))
DXP_API(574, stk_modmap_get, int, (int unit), (unit))
DXP_API(575, stk_modmap_register, int, (int unit), (unit))
DXP_API(576, stk_modmap_set, int, (int unit), (unit))
DXP_API(577, stk_modmap_unregister, int, (int unit), (unit))
DXP_API(578, stk_modport_add, int, (int unit), (unit))
DXP_API(579, stk_modport_clear, int, (int unit), (unit))
DXP_API(580, stk_modport_clear_all, int, (int unit), (unit))
DXP_API(581, stk_modport_delete, int, (int unit), (unit))
DXP_API(582, stk_modport_delete_all, int, (int unit), (unit))
DXP_API(583, stk_modport_get, int, (int unit, int modid, int *port), (unit, modid, port))
DXP_API(584, stk_modport_set, int, (int unit), (unit))
DXP_API(585, stk_my_modid_get, int, (int unit, int *my_modid), (unit, my_modid))
DXP_API(586, stk_my_modid_set, int, (int unit, int my_modid), (unit, my_modid))
DXP_API(587, stk_port_get, int, (int unit), (unit))
DXP_API(588, stk_port_modport_get, int, (int unit), (unit))
DXP_API(589, stk_port_modport_set, int, (int unit), (unit))
DXP_API(590, stk_port_set, int, (int unit), (unit))
DXP_API(591, stk_remote_modid_get, int, (int unit), (unit))
DXP_API(592, stk_remote_modid_set, int, (int unit), (unit))
DXP_API(593, stk_route_get, int, (int unit), (unit))
DXP_API(594, stk_route_set, int, (int unit), (unit))
DXP_API(595, stk_trunk_override_get, int, (int unit), (unit))
DXP_API(596, stk_ucast_pbmp_get, int, (int unit, int src_port, int modid, dxp_pbmp_t *pbmp),
        (unit, src_port, modid, pbmp))
DXP_API(597, stk_ucast_pbmp_set, int, (int unit), (unit))
DXP_API(598, stk_update_callback_register, int, (int unit), (unit))
DXP_API(599, stk_update_callback_unregister, int, (int unit), (unit))

// Switch controls, and the module-port lookup forwarder.
DXP_API(600, switch_control_get, int, (int unit, int type, int *arg), (unit, type, arg))
DXP_API(601, switch_control_port_get, int, (int unit, int port, int type, int *arg),
        (unit, port, type, arg))
DXP_API(602, switch_control_port_set, int, (int unit, int port, int type, int arg),
        (unit, port, type, arg))
DXP_API(603, switch_control_set, int, (int unit, int type, int arg), (unit, type, arg))
DXP_API(604, switch_modid_port_get, int, (int unit, int modid, int *port, uint32_t flags),
        (unit, modid, port, flags))

// Trunks.
DXP_API(605, trunk_bitmap_expand, int, (int unit, dxp_pbmp_t *pbmp), (unit, pbmp))
DXP_API(606, trunk_chip_info_get, int, (int unit, dxp_trunk_chip_info *info), (unit, info))
DXP_API(607, trunk_create, int, (int unit, int *tid), (unit, tid))
DXP_API(608, trunk_create_with_tid, int, (int unit, int tid), (unit, tid))
DXP_API(609, trunk_destroy, int, (int unit, int tid), (unit, tid))
DXP_API(610, trunk_detach, int, (int unit), (unit))
DXP_API(611, trunk_egress_get, int, (int unit, int tid, dxp_pbmp_t *pbmp), (unit, tid, pbmp))
DXP_API(612, trunk_egress_set, int, (int unit, int tid, dxp_pbmp_t pbmp), (unit, tid, pbmp))
DXP_API(613, trunk_find, int, (int unit, int modid, int port, int *tid), (unit, modid, port, tid))
DXP_API(614, trunk_get, int, (int unit, int tid, dxp_trunk_add_info *info), (unit, tid, info))
DXP_API(615, trunk_init, int, (int unit), (unit))
DXP_API(616, trunk_mcast_join, int, (int unit, int tid, dxp_vlan_t vid, const dxp_mac_t mac),
        (unit, tid, vid, mac))
DXP_API(617, trunk_override_ipmc_get, int, (int unit, int port, int tid, int index, int *enable),
        (unit, port, tid, index, enable))
DXP_API(618, trunk_override_ipmc_set, int, (int unit, int port, int tid, int index, int enable),
        (unit, port, tid, index, enable))
DXP_API(619, trunk_override_mcast_get, int, (int unit, int port, int tid, int index, int *enable),
        (unit, port, tid, index, enable))
DXP_API(620, trunk_override_mcast_set, int, (int unit, int port, int tid, int index, int enable),
        (unit, port, tid, index, enable))
DXP_API(621, trunk_override_ucast_get, int, (int unit, int port, int tid, int modid, int *enable),
        (unit, port, tid, modid, enable))
DXP_API(622, trunk_override_ucast_set, int, (int unit, int port, int tid, int modid, int enable),
        (unit, port, tid, modid, enable))
DXP_API(623, trunk_override_vlan_get, int,
        (int unit, int port, int tid, dxp_vlan_t vid, int *enable),
        (unit, port, tid, vid, enable))
DXP_API(624, trunk_override_vlan_set, int,
        (int unit, int port, int tid, dxp_vlan_t vid, int enable),
        (unit, port, tid, vid, enable))
DXP_API(625, trunk_pool_get, int, (int unit, int port, int tid, int *size, uint32_t *weights),
        (unit, port, tid, size, weights))
DXP_API(626, trunk_pool_set, int, (int unit, int port, int tid, int size, const uint32_t *weights),
        (unit, port, tid, size, weights))
DXP_API(627, trunk_psc_get, int, (int unit, int tid, int *psc), (unit, tid, psc))
DXP_API(628, trunk_psc_set, int, (int unit, int tid, int psc), (unit, tid, psc))
DXP_API(629, trunk_set, int, (int unit, int tid, dxp_trunk_add_info *info), (unit, tid, info))

// Packet transmit.
DXP_API(630, tx, int, (int unit, dxp_pkt *pkt, void *cookie), (unit, pkt, cookie))
DXP_API(631, tx_array, int,
        (int unit, dxp_pkt **pkts, int count, dxp_pkt_cb_f all_done, void *cookie),
        (unit, pkts, count, all_done, cookie))
DXP_API(632, tx_init, int, (int unit), (unit))
DXP_API(633, tx_list, int, (int unit, dxp_pkt *pkt, dxp_pkt_cb_f all_done, void *cookie),
        (unit, pkt, all_done, cookie))
DXP_API(634, tx_pkt_l2_map, int, (int unit, dxp_pkt *pkt, const dxp_mac_t dest_mac, dxp_vlan_t vid),
        (unit, pkt, dest_mac, vid))
DXP_API(635, tx_pkt_map, int, (int unit, dxp_pkt *pkt, dxp_pbmp_t tx_pbmp, dxp_pbmp_t tx_upbmp),
        (unit, pkt, tx_pbmp, tx_upbmp))

// VLANs; 640, 641, 666 and 667 have no function.
DXP_API(636, vlan_control_get, int, (int unit, int type, int *arg), (unit, type, arg))
DXP_API(637, vlan_control_port_get, int, (int unit, int port, int type, int *arg),
        (unit, port, type, arg))
DXP_API(638, vlan_control_port_set, int, (int unit, int port, int type, int arg),
        (unit, port, type, arg))
DXP_API(639, vlan_control_set, int, (int unit, int type, int arg), (unit, type, arg))
DXP_API(640, vlan_counter_get, int, (int unit), (unit))
DXP_API(641, vlan_counter_set, int, (int unit), (unit))
DXP_API(642, vlan_create, int, (int unit, dxp_vlan_t vid), (unit, vid))
DXP_API(643, vlan_default_get, int, (int unit, dxp_vlan_t *vid), (unit, vid))
DXP_API(644, vlan_default_set, int, (int unit, dxp_vlan_t vid), (unit, vid))
DXP_API(645, vlan_destroy, int, (int unit, dxp_vlan_t vid), (unit, vid))
DXP_API(646, vlan_destroy_all, int, (int unit), (unit))
DXP_API(647, vlan_dtag_add, int,
        (int unit, int port, dxp_vlan_t old_vid, dxp_vlan_t new_vid, int prio),
        (unit, port, old_vid, new_vid, prio))
DXP_API(648, vlan_dtag_delete, int, (int unit, int port, dxp_vlan_t old_vid), (unit, port, old_vid))
DXP_API(649, vlan_dtag_delete_all, int, (int unit), (unit))
DXP_API(650, vlan_egress_translate_add, int,
        (int unit, int port, dxp_vlan_t old_vid, dxp_vlan_t new_vid, int prio),
        (unit, port, old_vid, new_vid, prio))
DXP_API(651, vlan_egress_translate_delete, int, (int unit, int port, dxp_vlan_t old_vid),
        (unit, port, old_vid))
DXP_API(652, vlan_egress_translate_delete_all, int, (int unit), (unit))
DXP_API(653, vlan_init, int, (int unit), (unit))
DXP_API(654, vlan_ip4_add, int,
        (int unit, dxp_ip_t ipaddr, dxp_ip_t netmask, dxp_vlan_t vid, int prio),
        (unit, ipaddr, netmask, vid, prio))
DXP_API(655, vlan_ip4_delete, int, (int unit, dxp_ip_t ipaddr, dxp_ip_t netmask),
        (unit, ipaddr, netmask))
DXP_API(656, vlan_ip4_delete_all, int, (int unit), (unit))
DXP_API(657, vlan_ip_add, int,
        (int unit, dxp_ip_t ipaddr, dxp_ip_t netmask, dxp_vlan_t vid, int prio),
        (unit, ipaddr, netmask, vid, prio))
DXP_API(658, vlan_ip_delete, int, (int unit, dxp_ip_t ipaddr, dxp_ip_t netmask),
        (unit, ipaddr, netmask))
DXP_API(659, vlan_ip_delete_all, int, (int unit), (unit))
DXP_API(660, vlan_list, int, (int unit, dxp_vlan_data **listp, int *countp), (unit, listp, countp))
DXP_API(661, vlan_list_by_pbmp, int,
        (int unit, dxp_pbmp_t pbmp, dxp_vlan_data **listp, int *countp),
        (unit, pbmp, listp, countp))
DXP_API(662, vlan_list_destroy, int, (int unit, dxp_vlan_data *list, int count),
        (unit, list, count))
DXP_API(663, vlan_mac_add, int, (int unit, const dxp_mac_t mac, dxp_vlan_t vid, int prio),
        (unit, mac, vid, prio))
DXP_API(664, vlan_mac_delete, int, (int unit, const dxp_mac_t mac), (unit, mac))
DXP_API(665, vlan_mac_delete_all, int, (int unit), (unit))
DXP_API(666, vlan_mcast_flood_get, int, (int unit), (unit))
DXP_API(667, vlan_mcast_flood_set, int, (int unit), (unit))
DXP_API(668, vlan_port_add, int, (int unit, dxp_vlan_t vid, dxp_pbmp_t pbmp, dxp_pbmp_t ubmp),
        (unit, vid, pbmp, ubmp))
DXP_API(669, vlan_port_get, int, (int unit, dxp_vlan_t vid, dxp_pbmp_t *pbmp, dxp_pbmp_t *ubmp),
        (unit, vid, pbmp, ubmp))
DXP_API(670, vlan_port_remove, int, (int unit, dxp_vlan_t vid, dxp_pbmp_t pbmp), (unit, vid, pbmp))
DXP_API(671, vlan_stg_get, int, (int unit, dxp_vlan_t vid, int *stg), (unit, vid, stg))
DXP_API(672, vlan_stg_set, int, (int unit, dxp_vlan_t vid, int stg), (unit, vid, stg))
DXP_API(673, vlan_stp_get, int, (int unit, dxp_vlan_t vid, int port, int *stp_state),
        (unit, vid, port, stp_state))
DXP_API(674, vlan_stp_set, int, (int unit, dxp_vlan_t vid, int port, int stp_state),
        (unit, vid, port, stp_state))
DXP_API(675, vlan_translate_add, int,
        (int unit, int port, dxp_vlan_t old_vid, dxp_vlan_t new_vid, int prio),
        (unit, port, old_vid, new_vid, prio))
DXP_API(676, vlan_translate_delete, int, (int unit, int port, dxp_vlan_t old_vid),
        (unit, port, old_vid))
DXP_API(677, vlan_translate_delete_all, int, (int unit), (unit))

// Appended after the VLAN translation operations; no function.
DXP_API(678, vlan_translate_get, int, (int unit), (unit))
DXP_API(679, vlan_translate_range_add, int, (int unit), (unit))
DXP_API(680, vlan_translate_range_delete, int, (int unit), (unit))
DXP_API(681, vlan_translate_range_delete_all, int, (int unit), (unit))
DXP_API(682, vlan_translate_range_get, int, (int unit), (unit))
DXP_API(683, vlan_vector_add, int, (int unit), (unit))
// clang-format on

#undef DXP_API
#undef DXP_API_FRONT
