// Compile-time checks of the dispatch table's layout: every operation sits at
// the slot the API list gives it, and the slots that the chip family's
// operations are known by are checked once more by name.
#include <cstddef>

#include "dxp.h"

#define DXP_SLOT(name) (offsetof(dxp_dispatch_t, name) / sizeof(void *))

static_assert(sizeof(int (*)(int)) == sizeof(void *), "one word per slot");
static_assert(DXP_SLOT(family) == 0 && DXP_SLOT(attach) == 1 && DXP_SLOT(detach) == 2);

#define DXP_API(slot, name, ret, params, args) \
    static_assert(DXP_SLOT(name) == (slot), "slot of " #name);
#include "dxp_api_list.h"

// 681 API slots after the three family words.
static_assert(sizeof(dxp_dispatch_t) == 684 * sizeof(void *));

// Families and their bounds.
static_assert(DXP_SLOT(auth_detach) == 3 && DXP_SLOT(auth_unauth_callback) == 12);
static_assert(DXP_SLOT(clear) == 13);
static_assert(DXP_SLOT(cosq_config_get) == 14 && DXP_SLOT(cosq_sched_weight_max_get) == 32);
static_assert(DXP_SLOT(cosq_detach) == 16 && DXP_SLOT(cosq_init) == 21);
static_assert(DXP_SLOT(custom_port_get) == 33 && DXP_SLOT(custom_unregister) == 36);
static_assert(DXP_SLOT(diffserv_init) == 57);
static_assert(DXP_SLOT(field_action_add) == 67 && DXP_SLOT(field_udf_spec_set) == 205);
static_assert(DXP_SLOT(filter_action_match) == 206 && DXP_SLOT(filter_update) == 246);
static_assert(DXP_SLOT(l2_addr_add) == 255 && DXP_SLOT(l2_tunnel_delete_all) == 290);
static_assert(DXP_SLOT(link_change) == 291 && DXP_SLOT(linkscan_update) == 305);
static_assert(DXP_SLOT(mcast_addr_add) == 306 && DXP_SLOT(mcast_vlan_flood_set) == 325);
static_assert(DXP_SLOT(mirror_egress_get) == 326 && DXP_SLOT(mirror_vlan_set) == 344);
static_assert(DXP_SLOT(port_ability_get) == 354 && DXP_SLOT(port_vlan_priority_unmap_set) == 499);
static_assert(DXP_SLOT(rate_bandwidth_get) == 500 && DXP_SLOT(rate_type_set) == 511);
static_assert(DXP_SLOT(stat_clear) == 536 && DXP_SLOT(stat_sync) == 546);
static_assert(DXP_SLOT(stg_clear) == 547 && DXP_SLOT(stg_vlan_remove_all) == 563);
static_assert(DXP_SLOT(stk_init) == 564 && DXP_SLOT(stk_update_callback_unregister) == 599);
static_assert(DXP_SLOT(switch_control_get) == 600 && DXP_SLOT(switch_control_set) == 603);
static_assert(DXP_SLOT(switch_modid_port_get) == 604);
static_assert(DXP_SLOT(trunk_bitmap_expand) == 605 && DXP_SLOT(trunk_set) == 629);
static_assert(DXP_SLOT(vlan_control_get) == 636 && DXP_SLOT(vlan_translate_delete_all) == 677);

// Named positions inside the families.
static_assert(DXP_SLOT(field_action_get) == 68 && DXP_SLOT(field_action_remove) == 71);
static_assert(DXP_SLOT(field_group_enable_set) == 100 && DXP_SLOT(field_group_get) == 102);
static_assert(DXP_SLOT(field_group_mode_get) == 103 && DXP_SLOT(field_group_set) == 109);
static_assert(DXP_SLOT(field_range_group_create_id) == 193 && DXP_SLOT(field_status_get) == 195);
static_assert(DXP_SLOT(field_udf_get) == 201);
static_assert(DXP_SLOT(filter_create) == 211 && DXP_SLOT(filter_destroy) == 213);
static_assert(DXP_SLOT(filter_install) == 215 && DXP_SLOT(filter_qualify_data16) == 218);
static_assert(DXP_SLOT(filter_qualify_ingress) == 225 && DXP_SLOT(filter_reinstall) == 232);
static_assert(DXP_SLOT(init_modules_get) == 252 && DXP_SLOT(init_phy_addr_set) == 253);
static_assert(DXP_SLOT(init_modules) == 254);
static_assert(DXP_SLOT(l2_key_dump) == 284 && DXP_SLOT(l2_port_native) == 287);
static_assert(DXP_SLOT(mcast_port_remove) == 319);
static_assert(DXP_SLOT(mirror_egress_set) == 329 && DXP_SLOT(mirror_to_set) == 342);
static_assert(DXP_SLOT(port_control_set) == 370 && DXP_SLOT(port_pause_addr_get) == 440);
static_assert(DXP_SLOT(stat_get) == 543);
static_assert(DXP_SLOT(stk_modid_count) == 571 && DXP_SLOT(stk_modid_get) == 572);
static_assert(DXP_SLOT(stk_modport_get) == 583 && DXP_SLOT(stk_my_modid_get) == 585);
static_assert(DXP_SLOT(stk_my_modid_set) == 586 && DXP_SLOT(stk_ucast_pbmp_get) == 596);
static_assert(DXP_SLOT(vlan_create) == 642 && DXP_SLOT(vlan_init) == 653);
static_assert(DXP_SLOT(vlan_port_add) == 668);
