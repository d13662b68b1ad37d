// Multi-unit switch API: switch ports addressed as logical ports across the
// registered units, logical-port lists, operations applied on every unit,
// and the link-change and packet-receive fan-outs.
//
// Every call that takes a logical port answers -18 when it is out of range or
// not valid, and -4 for a null output pointer. Operations "on every unit" run
// on each registered unit in ascending order and return the last error other
// than -16 (0 when every unit succeeded or lacks the feature; -3 when no unit
// is registered); reads ask the lowest registered unit.
#pragma once

#include <cstdint>

#include "dxp.h"

// ---------------------------------------------------------------- logical ports
constexpr int DXPX_LPORT_MAX = 256;  // capacity of the logical-port table
constexpr int DXPX_LPORT_NONE = -1;
constexpr int DXPX_LPORT_CPU = -2;  // the CPU port (of the CPU unit, or of each unit)
constexpr int DXPX_LPORT_ALL = -3;  // every port of every unit, where an operation allows it
constexpr int DXPX_CPU_UNIT = 0;

// Port classes of a logical port.
constexpr uint32_t DXPX_PORT_F_VALID = 0x1;
constexpr uint32_t DXPX_PORT_F_CPU = 0x8;  // shown as "HOST"
constexpr uint32_t DXPX_PORT_F_FE = 0x20;  // fast Ethernet
constexpr uint32_t DXPX_PORT_F_GE = 0x40;  // gigabit
constexpr uint32_t DXPX_PORT_F_XE = 0x80;  // the third speed class (10 gigabit)

struct dxpx_lport_t {
    int unit;
    int port;   // chip port
    int uport;  // user port; -1 here, the board's port map owns user ports
    uint32_t flags;
    int modid;
    int modport;
};

// Adds an attached, initialised unit: one logical port per port of its `all`
// class (on the CPU unit logical port i is chip port i, the CPU port
// included), and the link handler that feeds the link fan-out. 0, -3 (not
// attached), -8 (registered already), -6 (table full) or the unit's error;
// on any error the unit is left unregistered.
int dxpx_unit_register(int unit);
int dxpx_unit_unregister(int unit);  // 0 or -3 when not registered

int dxpx_lport_count(void);                          // entries in use, valid or not
int dxpx_lport_get(int lport, dxpx_lport_t *entry);  // a copy of the entry: 0, -4 or -18
int dxpx_unit_port_to_lport(int unit, int port);     // the logical port, or -1
int dxpx_lport_to_unit_port(int lport, int *unit, int *port);
int dxpx_lport_modid_get(int lport, int *modid);
int dxpx_unit_cpu_lport_get(int unit, int *lport);  // 0 or -7

// ---------------------------------------------------------------- logical-port lists
struct dxpx_lplist_t {
    int lp_last;  // index of the last entry; -1 when empty
    int lp_alloc;
    int *lp_ports;
};
constexpr int DXPX_LPLIST_GROW = 16;

// Starts an empty list with room for max(count, capacity) entries (16 at
// least): 0, -4 (null list) or -2.
int dxpx_lplist_init(dxpx_lplist_t *list, int count, int capacity);
int dxpx_lplist_free(dxpx_lplist_t *list);  // 0, or -4 for a null list
int dxpx_lplist_clear(dxpx_lplist_t *list);
int dxpx_lplist_add(dxpx_lplist_t *list, int lport);             // grows by 16: 0, -4 or -2
int dxpx_lplist_index_of(const dxpx_lplist_t *list, int lport);  // index, or -7
// Entries of the list; a list without room (zero-initialised, never given
// any) is empty whatever its lp_last says, and every call treats it so.
int dxpx_lplist_count(const dxpx_lplist_t *list);
// Clears the list and adds every valid logical port having one of the class
// flags (0x1: all of them).
int dxpx_port_lplist_populate(dxpx_lplist_t *list, uint32_t flags);

// ---------------------------------------------------------------- ports
// Counts the calls of the port and storm-control setters below, so that a
// reader that keeps port state for a moment knows when to read it again.
uint32_t dxpx_port_changes(void);
int dxpx_port_enable_set(int lport, int enable);
int dxpx_port_enable_get(int lport, int *enable);
int dxpx_port_autoneg_set(int lport, int autoneg);
int dxpx_port_autoneg_get(int lport, int *autoneg);
int dxpx_port_mdix_set(int lport, int mode);
int dxpx_port_speed_set(int lport, int speed);
int dxpx_port_speed_get(int lport, int *speed);
int dxpx_port_duplex_set(int lport, int duplex);
int dxpx_port_duplex_get(int lport, int *duplex);
int dxpx_port_pause_set(int lport, int pause_tx, int pause_rx);
int dxpx_port_pause_get(int lport, int *pause_tx, int *pause_rx);
int dxpx_port_advert_set(int lport, uint32_t ability_mask);
int dxpx_port_advert_get(int lport, uint32_t *ability_mask);
int dxpx_port_untagged_priority_set(int lport, int priority);
int dxpx_port_untagged_priority_get(int lport, int *priority);
int dxpx_port_untagged_vlan_set(int lport, dxp_vlan_t vid);
// Mode 0 none, 1 all, 2 untagged frames discarded on receipt.
int dxpx_port_discard_set(int lport, int mode);
int dxpx_port_discard_get(int lport, int *mode);
int dxpx_port_medium_get(int lport, int *medium);
// The stored configuration of one medium (1 copper, 2 fibre) of a copper/fibre
// port, whichever medium runs.
int dxpx_port_medium_config_get(int lport, int medium, dxp_phy_config_t *config);
int dxpx_port_medium_config_set(int lport, int medium, dxp_phy_config_t *config);
// What the port's MAC and PHY can run (the speed and duplex bits 0x3f).
int dxpx_port_ability_get(int lport, uint32_t *ability);
int dxpx_port_link_status_get(int lport, int *up);
int dxpx_port_learn_set(int lport, uint32_t flags);
// Mode 0 off, 2 on; mode 1 returns 0 at once.
int dxpx_port_dscp_map_mode_set(int lport, int mode);
// lport -3 maps on every port of every unit.
int dxpx_port_dscp_map_set(int lport, int srccp, int mapcp, int prio);
int dxpx_port_info_get(int lport, dxp_port_info *info);
int dxpx_port_info_set(int lport, dxp_port_info *info);
int dxpx_port_cable_diag(int lport, dxp_port_cable_diag_t *status);
int dxpx_port_rate_ingress_set(int lport, uint32_t kbits_sec, uint32_t kbits_burst);
int dxpx_port_rate_ingress_get(int lport, uint32_t *kbits_sec, uint32_t *kbits_burst);
int dxpx_port_rate_egress_set(int lport, uint32_t kbits_sec, uint32_t kbits_burst);
int dxpx_port_rate_egress_get(int lport, uint32_t *kbits_sec, uint32_t *kbits_burst);
// dxp_port_rate_refusal for a logical port; the two sets above refuse the
// same limits (-4).
const char *dxpx_port_rate_refusal(int lport, const char *port_name, int egress, uint32_t kbits_sec,
                                   uint32_t kbits_burst);
// dxp_storm_refusal for a logical port.
const char *dxpx_storm_refusal(int lport, const char *port_name, uint32_t kbits_sec);
// The ingress refusal, else the egress one, of a port's pair of limits.
const char *dxpx_port_rates_refusal(int lport, const char *port_name, uint32_t in_kbits_sec,
                                    uint32_t in_kbits_burst, uint32_t out_kbits_sec,
                                    uint32_t out_kbits_burst);

// Storm control (flags 0x1 DLF, 0x2 multicast, 0x4 broadcast). The getters
// OR the class's flag into *flags while it is enabled, leaving other bits.
int dxpx_rate_bcast_set(int rate, int flags, int lport);
int dxpx_rate_mcast_set(int rate, int flags, int lport);
int dxpx_rate_dlfbc_set(int rate, int flags, int lport);
int dxpx_rate_bcast_get(int *rate, int *flags, int lport);
int dxpx_rate_mcast_get(int *rate, int *flags, int lport);
int dxpx_rate_dlfbc_get(int *rate, int *flags, int lport);

int dxpx_stat_get(int lport, int type, uint64_t *value);
int dxpx_stat_get32(int lport, int type, uint32_t *value);
int dxpx_stat_clear(int lport);

// ---------------------------------------------------------------- queues and mirroring
int dxpx_cosq_config_set(int numq);
int dxpx_cosq_config_get(int *numq);
int dxpx_cosq_mapping_set(int priority, int cosq);
int dxpx_cosq_mapping_get(int priority, int *cosq);
// Mode 1 strict priority, 3 weighted round robin.
int dxpx_cosq_sched_set(int mode, const int *weights, int delay);
int dxpx_cosq_sched_get(int *mode, int *weights, int *delay);

int dxpx_mirror_mode_set(int mode);
// Mirroring off with no monitor port chosen, on every unit, as after start.
int dxpx_mirror_init(void);
int dxpx_mirror_mode_get(int *mode);
// flags 0x1 on, 0x2 ingress, 0x4 egress; without any of them mirroring of
// the port stops and mtp is not looked at. The monitor port must sit on the
// port's unit unless the unit does directed mirroring.
int dxpx_mirror_port_set(int lport, int mtp, uint32_t flags);
int dxpx_mirror_port_get(int lport, int *mtp, uint32_t *flags);  // mtp -1 when not mirrored
int dxpx_mirror_ingress_get(int lport, int *enable);
int dxpx_mirror_egress_get(int lport, int *enable);

// ---------------------------------------------------------------- L2 addresses
struct dxpx_l2_addr_t {
    uint32_t flags;
    dxp_mac_t mac;
    dxp_vlan_t vid;
    int lport;  // -2: the CPU port of each unit
    int tgid;
    int rtag;
    int cos_dst;
    int cos_src;
    int l2mc_index;
    int group;
    uint32_t reserved[2];
};
static_assert(sizeof(dxpx_l2_addr_t) == 48);

void dxpx_l2_addr_init(dxpx_l2_addr_t *l2addr, const dxp_mac_t mac, dxp_vlan_t vid);
// flags are ORed into the record's flags on every unit.
int dxpx_l2_addr_add(const dxpx_l2_addr_t *l2addr, uint32_t flags);
int dxpx_l2_addr_delete(const dxp_mac_t mac, dxp_vlan_t vid);
// The first unit that holds the address answers; flags are reserved.
int dxpx_l2_addr_get(const dxp_mac_t mac, dxp_vlan_t vid, dxpx_l2_addr_t *l2addr, uint32_t flags);
int dxpx_l2_addr_delete_by_port(int lport, uint32_t flags);
int dxpx_l2_addr_delete_by_trunk(int tid, uint32_t flags);
int dxpx_l2_age_timer_set(int age_seconds);
// Counts the managers' calls of the setter above, so that a self-test that
// switched ageing off gives back the time only when no manager set one since.
uint32_t dxpx_l2_age_timer_changes(void);
int dxpx_l2_age_timer_get(int *age_seconds);
// A self-test that switches ageing off lends the time it will give back:
// until its end, while the chip reads 0 and no manager has set a time since,
// the getter above answers that time, so a page, a save or a backup shows and
// stores the administrator's ageing, not the test's. Nests.
void dxpx_l2_age_timer_lend(int age_seconds);
void dxpx_l2_age_timer_lend_end(void);
int dxpx_l2_bpdu_count(void);  // BPDU address slots; 0 without a unit or when it fails
int dxpx_l2_bpdu_set(int index, const dxp_mac_t mac);

// ---------------------------------------------------------------- VLANs, trunks, controls
int dxpx_vlan_create(dxp_vlan_t vid);
int dxpx_vlan_destroy(dxp_vlan_t vid);
int dxpx_vlan_port_add(dxp_vlan_t vid, dxpx_lplist_t members, dxpx_lplist_t untagged);
int dxpx_vlan_port_remove(dxp_vlan_t vid, dxpx_lplist_t members);
// Clears both lists and fills them; negative when the VLAN does not exist.
int dxpx_vlan_port_get(dxp_vlan_t vid, dxpx_lplist_t *members, dxpx_lplist_t *untagged);

struct dxpx_trunk_add_info_t {
    int psc;  // 1 source MAC, 2 destination MAC, 3 both
    int dlf_index;
    int mc_index;
    int ipmc_index;
    dxpx_lplist_t ports;
};
int dxpx_trunk_create_with_tid(int tid);
int dxpx_trunk_set(int tid, const dxpx_trunk_add_info_t *info);  // -4 without members
int dxpx_trunk_destroy(int tid);
int dxpx_trunk_psc_get(int tid, int *psc);

int dxpx_switch_control_set(int type, int arg);
int dxpx_switch_control_get(int type, int *arg);

// ---------------------------------------------------------------- field processor
int dxpx_field_group_create_id(dxp_field_qset_t qset, int pri, int group);
// Creates the entry on the first unit that can and with the same id on the others.
int dxpx_field_entry_create_id(int group, int *entry);
int dxpx_field_entry_install(int entry);
int dxpx_field_entry_reinstall(int entry);
int dxpx_field_entry_remove(int entry);
int dxpx_field_entry_destroy(int entry);
int dxpx_field_entry_prio_set(int entry, int prio);
int dxpx_field_qualify_EtherType(int entry, uint16_t data, uint16_t mask);
int dxpx_field_qualify_IpProtocol(int entry, uint8_t data, uint8_t mask);
int dxpx_field_qualify_SrcIp(int entry, dxp_ip_t data, dxp_ip_t mask);
int dxpx_field_qualify_DstIp(int entry, dxp_ip_t data, dxp_ip_t mask);
int dxpx_field_qualify_L4SrcPort(int entry, uint32_t data, uint32_t mask);
int dxpx_field_qualify_L4DstPort(int entry, uint32_t data, uint32_t mask);
// RedirectPort takes the destination logical port as param1 (param0 is not
// used; DXPX_LPORT_CPU names the CPU unit's CPU port); each unit gets the
// port's module id as parameter 0 and its module port as parameter 1.
int dxpx_field_action_add(int entry, int action, uint32_t param0, uint32_t param1);

// ---------------------------------------------------------------- fan-outs
// Link changes of every registered unit, as handler(lport, port info) with
// link status, speed and duplex filled in.
using dxpx_linkscan_handler_t = void (*)(int lport, dxp_port_info *info);
int dxpx_linkscan_register(dxpx_linkscan_handler_t handler);  // 0, -4, -6 or -8
// 0 or -7. On return no delivery calls the handler any more: it waits for the
// deliveries in flight, except when called from a handler during a delivery
// (which would wait for itself).
int dxpx_linkscan_unregister(dxpx_linkscan_handler_t handler);

// Receive callouts, kept in descending priority and registered on every unit
// once receive runs (dxpx_rx_start). 0, -4, -6, -8 (same callout and
// priority twice) or a unit's error.
int dxpx_rx_register(const char *name, dxp_rx_cb_f callback, int priority, void *cookie,
                     uint32_t flags);
// 0 or -7. The callout is taken off every unit; deliveries come from each
// unit's receive path, whose own unregister must not return while it still
// calls the callout.
int dxpx_rx_unregister(dxp_rx_cb_f callback, int priority);
int dxpx_rx_start(void);  // starts receive on every unit, once

// Sends the packet to the listed logical ports, unit by unit. Without a list
// the packet goes out on its own unit as it is, and with DXP_TX_ETHER its
// ports are resolved first: the destination MAC's port (a trunk's member)
// when the L2 table knows it, else the VLAN's members.
int dxpx_tx(dxp_pkt *pkt, const dxpx_lplist_t *lplist);
