// The "tarn" chip family behind the per-unit dispatch table: one dxp_tarn_<op>
// per API operation (declared from the API list, defined by the family's
// modules as they are built) and the table itself, whose unfilled slots
// answer -16 "Feature unavailable".
#pragma once

#include "dxp.h"
#include "sal.h"

extern const dxp_dispatch_t dxp_tarn_dispatch;

#define DXP_API(slot, name, ret, params, args) ret dxp_tarn_##name params;
#include "dxp_api_list.h"

// ---------------------------------------------------------------- unit life
// The unit's "dxp_config_lock", the API lock of dxp_unit_lock (not taken):
// 0, -2 when it cannot be made.
int dxp_tarn_config_lock(int unit);
sal_mutex_t dxp_tarn_config_lock_get(int unit);  // null for a unit out of range
// dxp_l2_detach then dxp_linkscan_detach; the first failure, else 0.
int dxp_tarn_unit_detach(int unit);

// Module bits of the init flags and the initialised-modules word.
constexpr uint32_t DXP_MODULE_PORT = 0x1, DXP_MODULE_L2 = 0x2, DXP_MODULE_VLAN = 0x4,
                   DXP_MODULE_TRUNK = 0x8, DXP_MODULE_COSQ = 0x10, DXP_MODULE_MCAST = 0x20,
                   DXP_MODULE_LINKSCAN = 0x40, DXP_MODULE_STAT = 0x80, DXP_MODULE_FILTER = 0x100,
                   DXP_MODULE_DIFFSERV = 0x200, DXP_MODULE_MIRROR = 0x400, DXP_MODULE_L3 = 0x800,
                   DXP_MODULE_STACK = 0x1000, DXP_MODULE_IPMC = 0x2000, DXP_MODULE_STG = 0x4000,
                   DXP_MODULE_TX = 0x8000, DXP_MODULE_DMUX = 0x10000, DXP_MODULE_AUTH = 0x20000,
                   DXP_MODULE_RX = 0x40000, DXP_MODULE_FIELD = 0x80000, DXP_MODULE_RCPU = 0x100000;
constexpr uint32_t DXP_MODULE_ALL = 0x1FFFFF;

// ---------------------------------------------------------------- switch controls
// A DoS switch control set to one value on every port of the bitmap (the
// other ports keep theirs), with the type's field entries rebuilt once for
// the lot and the entries of ports that keep the type left in their rows.
// Called by the diagnostic shell and the DoS manager, not dispatched. 0; -3
// unit, -18 a port above 52, -16 no such control or no field processor, -17
// before DosAttackToCpu (and for the TCP types DosAttackV4FirstFrag) is on.
int dxp_tarn_switch_control_pbmp_set(int unit, dxp_pbmp_t pbmp, int type, int value);

// ---------------------------------------------------------------- port module
// Start-up settings of a port from its configuration properties.
int dxp_tarn_port_settings_init(int unit, int port);
// Link scan's forced link state of a port (force 0 hands it back to the scan).
int dxp_tarn_link_force(int unit, int port, int force, int link);

// The PHY layer's routines that the port module calls and the chip services
// do not reach. Registered by the program at start-up; a missing common init
// is skipped, a missing registration answers -16 and a missing address lookup
// falls back to the port's PHY record.
struct dxp_tarn_phy_hooks_t {
    int (*common_init)(int unit);
    int (*medium_change_register)(int unit, int port, dxp_port_medium_status_cb_t callback,
                                  void *user_data);
    int (*medium_change_unregister)(int unit, int port, dxp_port_medium_status_cb_t callback,
                                    void *user_data);
    int (*reset_register)(int unit, int port, dxp_port_phy_reset_cb_t callback, void *user_data,
                          int is_default);
    int (*reset_unregister)(int unit, int port, dxp_port_phy_reset_cb_t callback, void *user_data);
};
void dxp_tarn_phy_hooks_register(const dxp_tarn_phy_hooks_t *hooks);  // null: none

// The CPU packet services (receive, transmit and packet records) live above
// this layer and register here at start-up. Without them the transmit init
// passes, so that a unit comes up without a packet path, and every other
// packet operation answers -16.
// clang-format off
#define DXP_TARN_PKT_OPS(X) \
    X(rx_active) X(rx_alloc) X(rx_burst_get) X(rx_burst_set) X(rx_cfg_get) X(rx_cfg_init) \
    X(rx_channels_running) X(rx_clear) X(rx_cos_burst_get) X(rx_cos_burst_set) \
    X(rx_cos_max_len_get) X(rx_cos_max_len_set) X(rx_cos_rate_get) X(rx_cos_rate_set) \
    X(rx_free) X(rx_free_enqueue) X(rx_init) X(rx_rate_get) X(rx_rate_set) X(rx_register) \
    X(rx_start) X(rx_stop) X(rx_unregister) X(tx) X(tx_array) X(tx_init) X(tx_pkt_map) \
    X(pkt_alloc) X(pkt_blk_alloc) X(pkt_blk_free) X(pkt_clear) X(pkt_flags_init) \
    X(pkt_flags_len_setup) X(pkt_free) X(pkt_rx_alloc) X(pkt_rx_free)
// clang-format on
struct dxp_tarn_pkt_ops_t {
#define DXP_TARN_PKT_OP(name) decltype(&dxp_tarn_##name) name;
    DXP_TARN_PKT_OPS(DXP_TARN_PKT_OP)
#undef DXP_TARN_PKT_OP
};
void dxp_tarn_pkt_ops_register(const dxp_tarn_pkt_ops_t *ops);  // null: none

constexpr uint32_t DXP_TARN_PORT_DB_WORDS = 23;
// The port's database record (DXP_TARN_PORT_DB_WORDS words), null before the
// unit's first port init or for a port above 52.
uint32_t *dxp_tarn_port_db(int unit, int port);

// ---------------------------------------------------------------- common routines
// "port", "l2", ... by module number 0..20; "unknown" otherwise.
const char *dxp_module_name(int unit, int module);
void dxp_l2_addr_init(dxp_l2_addr *l2addr, const dxp_mac_t mac, dxp_vlan_t vid);
void dxp_l2_addr_dump(const dxp_l2_addr *l2addr);
// A raw L2-table entry (three words) as an address record.
void _dxp_tarn_l2_from_arl(int unit, dxp_l2_addr *l2addr, uint32_t *entry);

struct dxp_l2_learn_limit_t {
    uint32_t flags;
    dxp_vlan_t vlan;
    int port;
    int trunk;
    int limit;
};
void dxp_l2_learn_limit_init(dxp_l2_learn_limit_t *limit);
// Zero the record; a null pointer is ignored.
void dxp_pkt_clear(dxp_pkt *pkt);
void dxp_rec8_init(void *rec);
void dxp_rec16_init(void *rec);
void dxp_rec52_init(void *rec);

// The block holding byte offset of the packet's data: 0, or -7 (pointer null)
// when the data is shorter. left and block may be null.
int dxp_pkt_byte_index(dxp_pkt *pkt, int offset, int *left, int *block, uint8_t **pointer);
// Copies len bytes into the packet's data from offset on: the bytes copied.
int dxp_pkt_memcpy(dxp_pkt *pkt, int offset, const void *src, int len);

// The local port that leads to module id modid: the hook when set, else the
// stacking lookup (-1 for a local module id).
using dxp_modid_port_hook_t = int (*)(int unit, int modid, int *port);
void dxp_modid_port_hook_set(dxp_modid_port_hook_t hook);
int dxp_modid_port_get(int unit, int modid, int *port);
int dxp_modid_port_get_default(int unit, int modid, int *port);

// ---------------------------------------------------------------- per-unit records
// The IGMP snooping and mirror records of the unit back to "not initialised".
void dxp_tarn_igmp_forget(int unit);
void dxp_tarn_mirror_forget(int unit);
