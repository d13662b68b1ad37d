// Records and callback types of the per-unit switch API (dxp_*), shared by
// the dispatch front, the chip family's implementation and every caller.
#pragma once

#include <cstdint>

struct dxp_pkt;

constexpr int DXP_UNITS_MAX = 128;  // units 0..127
constexpr int DXP_PORTS_MAX = 64;   // chip ports 0..63 of a unit

using dxp_mac_t = uint8_t[6];
using dxp_ip_t = uint32_t;
using dxp_ip6_t = uint8_t[16];
using dxp_vlan_t = uint16_t;

// 64-bit port bitmap as two words, ports 0-31 in the first.
struct dxp_pbmp_t {
    uint32_t w[2];
};

inline bool dxp_pbmp_member(const dxp_pbmp_t &b, int port) {
    return port >= 0 && port < DXP_PORTS_MAX && (b.w[port / 32] >> (port % 32)) & 1u;
}
inline void dxp_pbmp_port_add(dxp_pbmp_t *b, int port) {
    if (port >= 0 && port < DXP_PORTS_MAX) b->w[port / 32] |= 1u << (port % 32);
}
inline void dxp_pbmp_port_remove(dxp_pbmp_t *b, int port) {
    if (port >= 0 && port < DXP_PORTS_MAX) b->w[port / 32] &= ~(1u << (port % 32));
}
inline bool dxp_pbmp_is_null(const dxp_pbmp_t &b) {
    return b.w[0] == 0 && b.w[1] == 0;
}

// Chip identity and capabilities of a unit (word order fixed).
constexpr uint32_t DXP_INFO_CAP_L3 = 0x4;
constexpr uint32_t DXP_INFO_CAP_IPMC = 0x8;
struct dxp_info_t {
    uint32_t vendor;
    uint32_t device;
    uint32_t revision;
    uint32_t capability;
};

// The unit's port classes (ten bitmaps in this order).
struct dxp_port_config_t {
    dxp_pbmp_t fe;
    dxp_pbmp_t ge;
    dxp_pbmp_t xe;
    dxp_pbmp_t e;
    dxp_pbmp_t plexa;
    dxp_pbmp_t port;
    dxp_pbmp_t cmic;  // the CPU port
    dxp_pbmp_t all;
    dxp_pbmp_t reserved[2];  // always empty
};

// Port info record: word 0 selects the attributes that a selective get or
// set handles; the layout is 37 words.
constexpr uint32_t DXP_PORT_ATTR_ENABLE_MASK = 0x1;
constexpr uint32_t DXP_PORT_ATTR_LINKSTAT_MASK = 0x2;
constexpr uint32_t DXP_PORT_ATTR_AUTONEG_MASK = 0x4;
constexpr uint32_t DXP_PORT_ATTR_SPEED_MASK = 0x8;
constexpr uint32_t DXP_PORT_ATTR_DUPLEX_MASK = 0x10;
constexpr uint32_t DXP_PORT_ATTR_LINKSCAN_MASK = 0x20;
constexpr uint32_t DXP_PORT_ATTR_LEARN_MASK = 0x40;
constexpr uint32_t DXP_PORT_ATTR_DISCARD_MASK = 0x80;
constexpr uint32_t DXP_PORT_ATTR_UNTAG_PRI_MASK = 0x200;
constexpr uint32_t DXP_PORT_ATTR_UNTAG_VLAN_MASK = 0x400;
constexpr uint32_t DXP_PORT_ATTR_STP_STATE_MASK = 0x800;
constexpr uint32_t DXP_PORT_ATTR_LOOPBACK_MASK = 0x2000;
constexpr uint32_t DXP_PORT_ATTR_PHY_MASTER_MASK = 0x4000;
constexpr uint32_t DXP_PORT_ATTR_INTERFACE_MASK = 0x8000;
constexpr uint32_t DXP_PORT_ATTR_PAUSE_TX_MASK = 0x10000;
constexpr uint32_t DXP_PORT_ATTR_PAUSE_RX_MASK = 0x20000;
constexpr uint32_t DXP_PORT_ATTR_PAUSE_MAC_MASK = 0x40000;
constexpr uint32_t DXP_PORT_ATTR_LOCAL_ADVERT_MASK = 0x80000;
constexpr uint32_t DXP_PORT_ATTR_REMOTE_ADVERT_MASK = 0x100000;
constexpr uint32_t DXP_PORT_ATTR_SPEED_MAX_MASK = 0x2000000;
constexpr uint32_t DXP_PORT_ATTR_ABILITY_MASK = 0x4000000;
constexpr uint32_t DXP_PORT_ATTR_MDIX_MASK = 0x10000000;
constexpr uint32_t DXP_PORT_ATTR_MDIX_STATUS_MASK = 0x20000000;
constexpr uint32_t DXP_PORT_ATTR_MEDIUM_MASK = 0x40000000;
constexpr uint32_t DXP_PORT_ATTR_ALL_MASK = 0xFFFFFFFF;
// Every attribute but speed, duplex and pause (auto-negotiation decides those).
constexpr uint32_t DXP_PORT_ATTR_AUTONEG_SAFE_MASK = 0xFFFCFFE7;

struct dxp_port_info {
    uint32_t action_mask;
    int enable;
    int linkstatus;
    int autoneg;
    int speed;
    int duplex;
    int linkscan;
    uint32_t learn;
    int discard;
    uint32_t vlanfilter;
    int untagged_priority;
    dxp_vlan_t untagged_vlan;
    int stp_state;
    int pfm;
    int loopback;
    int phy_master;
    int interface;
    int pause_tx;
    int pause_rx;
    int encap_mode;
    dxp_mac_t pause_mac;
    uint32_t local_advert;
    int remote_advert_valid;
    uint32_t remote_advert;
    int mcast_limit;
    int mcast_limit_enable;
    int bcast_limit;
    int bcast_limit_enable;
    int dlfbc_limit;
    int dlfbc_limit_enable;
    int speed_max;
    uint32_t ability;
    int frame_max;
    int mdix;
    int mdix_status;
    int medium;
};
static_assert(sizeof(dxp_port_info) == 37 * 4);

// Cable test result; states 0 Ok, 1 Open, 2 Short, 3 Open/Short,
// 4 Crosstalk, 5 Unknown; lengths in metres.
struct dxp_port_cable_diag_t {
    int state;
    int npairs;
    int pair_state[4];
    int pair_len[4];
    int fuzz_len;
};
// dxp_port_cable_diag's answer (instead of 0) for a port that had link: its
// cable was measured, not pulse-tested, so the pair states say nothing.
constexpr int DXP_CABLE_DIAG_LINK_UP = 1;
constexpr const char *DXP_CABLE_DIAG_LINK_UP_TEXT = "not tested (link up)";
// Its answer for a port that runs on its PHY's fibre side: the copper pairs
// are not the port's cable and were left alone; every length is -1.
constexpr int DXP_CABLE_DIAG_ON_FIBER = 2;
constexpr const char *DXP_CABLE_DIAG_ON_FIBER_TEXT = "port runs on fibre: copper pairs not tested";

// Medium configuration of a copper or fibre PHY side.
struct dxp_phy_config_t {
    int enable;
    int preferred;
    int autoneg_enable;
    uint32_t autoneg_advert;
    int force_speed;
    int force_duplex;
    int master;
    int mdix;
};

// L2 address record; flag bits as the L2 table reports them.
constexpr uint32_t DXP_L2_DISCARD_SRC = 0x2;
constexpr uint32_t DXP_L2_DISCARD_DST = 0x4;
constexpr uint32_t DXP_L2_COPY_TO_CPU = 0x8;
constexpr uint32_t DXP_L2_L3LOOKUP = 0x10;
constexpr uint32_t DXP_L2_STATIC = 0x20;
constexpr uint32_t DXP_L2_HIT = 0x40;
constexpr uint32_t DXP_L2_TRUNK_MEMBER = 0x80;
constexpr uint32_t DXP_L2_MCAST = 0x100;
constexpr uint32_t DXP_L2_REPLACE_DYNAMIC = 0x200;
constexpr uint32_t DXP_L2_DELETE_STATIC = 0x1;  // delete-by flags: static entries too
struct dxp_l2_addr {
    uint32_t flags;
    dxp_mac_t mac;
    dxp_vlan_t vid;
    int port;
    int modid;
    int tgid;
    int rtag;
    int cos_dst;
    int cos_src;
    int l2mc_index;
    dxp_pbmp_t block_bitmap;
    int group;
    uint32_t reserved;
};
static_assert(sizeof(dxp_l2_addr) == 56);

struct dxp_l2_cache_addr {
    uint32_t flags;
    dxp_mac_t mac;
    dxp_mac_t mac_mask;
    dxp_vlan_t vlan;
    dxp_vlan_t vlan_mask;
    int src_port;
    int src_port_mask;
    int dest_modid;
    int dest_port;
    int dest_trunk;
    int prio;
    dxp_pbmp_t dest_ports;
};

struct dxp_mcast_addr {
    dxp_mac_t mac;
    dxp_vlan_t vid;
    int cos_dst;
    dxp_pbmp_t pbmp;
    dxp_pbmp_t ubmp;
    int l2mc_index;
};
// Clears the record and sets its address.
void dxp_mcast_addr_init(dxp_mcast_addr *mcaddr, const dxp_mac_t mac, dxp_vlan_t vid);
// Results of dxp_mcast_join and dxp_mcast_leave.
constexpr int DXP_MCAST_JOIN_CREATED = 1;
constexpr int DXP_MCAST_JOIN_ADDED = 2;
constexpr int DXP_MCAST_LEAVE_DELETED = 3;
constexpr int DXP_MCAST_LEAVE_UPDATED = 4;
constexpr int DXP_MCAST_LEAVE_NOTFOUND = 5;

struct dxp_vlan_data {
    dxp_vlan_t vlan_tag;
    dxp_pbmp_t port_bitmap;
    dxp_pbmp_t ut_port_bitmap;
};

constexpr int DXP_TRUNK_MAX_PORTCNT = 8;
struct dxp_trunk_add_info {
    uint32_t flags;
    int num_ports;
    int psc;  // 1 source MAC, 2 destination MAC, 3 both
    int dlf_index;
    int mc_index;
    int ipmc_index;
    int tp[DXP_TRUNK_MAX_PORTCNT];  // member ports
    int tm[DXP_TRUNK_MAX_PORTCNT];  // their module ids
};

struct dxp_trunk_chip_info {
    int trunk_group_count;
    int trunk_id_min;
    int trunk_id_max;
    int trunk_ports_max;
};

// Storm-control limits by packet class (flags 0x1 DLF, 0x2 multicast,
// 0x4 broadcast).
constexpr int DXP_RATE_DLF = 0x1;
constexpr int DXP_RATE_MCAST = 0x2;
constexpr int DXP_RATE_BCAST = 0x4;
struct dxp_rate_limit_t {
    int dlf_rate;
    int mcast_rate;
    int bcast_rate;
    int flags;
};

// ---------------------------------------------------------------- field processor
constexpr int DXP_FIELD_QSET_WORDS = 11;
// Qualifier set: qualifier q is bit q % 32 of word q / 32.
struct dxp_field_qset_t {
    uint32_t w[DXP_FIELD_QSET_WORDS];
};
static_assert(sizeof(dxp_field_qset_t) == 44);

inline void dxp_field_qset_add(dxp_field_qset_t *q, int qualifier) {
    if (qualifier >= 0 && qualifier < DXP_FIELD_QSET_WORDS * 32)
        q->w[qualifier / 32] |= 1u << (qualifier % 32);
}
inline bool dxp_field_qset_test(const dxp_field_qset_t &q, int qualifier) {
    return qualifier >= 0 && qualifier < DXP_FIELD_QSET_WORDS * 32 &&
           (q.w[qualifier / 32] >> (qualifier % 32)) & 1u;
}

struct dxp_field_status_t {
    int group_total;
    int group_free;
    int flags;
};

struct dxp_field_group_status_t {
    int prio_min;
    int prio_max;
    int entries_total;
    int entries_free;
    int counters_total;
    int counters_free;
    int meters_total;
    int meters_free;
};

// User-defined field description (384 bytes); word 0 holds the offset.
struct dxp_field_udf_spec_t {
    uint32_t offset[96];
};
static_assert(sizeof(dxp_field_udf_spec_t) == 384);

// ---------------------------------------------------------------- packets
struct dxp_pkt_blk_t {
    uint8_t *data;
    uint32_t len;
};

// Transmit completion, called as (unit, packet, cookie).
using dxp_pkt_cb_f = void (*)(int unit, dxp_pkt *pkt, void *cookie);

// Packet flags.
constexpr uint32_t DXP_PKT_F_NO_VTAG = 0x4;      // no 802.1Q tag to look for
constexpr uint32_t DXP_PKT_F_CRC_MASK = 0xF0;    // CRC handling field
constexpr uint32_t DXP_PKT_F_CRC_REGEN = 0x20;   // the packet carries its CRC
constexpr uint32_t DXP_PKT_F_CRC_APPEND = 0x30;  // append a CRC
constexpr uint32_t DXP_TX_NO_PAD = 0x100;        // do not pad short frames
constexpr uint32_t DXP_TX_RAW = 0x200;           // blocks go out unchanged
constexpr uint32_t DXP_TX_ETHER = 0x100000;      // one transmission; destination resolved
constexpr uint32_t DXP_TX_PRIO_INT = 0x400000;   // internal priority given

// A frame as a list of data blocks. On the target the record is 156 bytes;
// here pointers are wider.
struct dxp_pkt {
    dxp_pkt_blk_t *pkt_data;  // block list
    uint8_t blk_count;
    uint8_t unit;
    uint8_t cos;
    uint8_t prio_int;
    uint16_t tot_len;
    uint16_t pkt_len;
    uint8_t src_port;
    uint8_t src_mod;
    uint8_t dest_port;
    uint8_t dest_mod;
    uint8_t opcode;
    uint8_t rx_unit;
    uint8_t rx_port;
    uint8_t dma_chan;
    uint32_t rx_reason;
    uint32_t rx_opcode;
    dxp_pbmp_t tx_pbmp;    // destination ports
    dxp_pbmp_t tx_upbmp;   // the untagged ones among them
    dxp_pbmp_t tx_l3pbmp;  // routed ports
    dxp_pkt_cb_f call_back;
    uint32_t flags;
    void *dv;  // the DMA vector that owns the packet
    uint8_t _idx;
    dxp_pkt *_next;
    void *alloc_ptr;          // start of the receive buffer
    dxp_pkt_blk_t _pkt_data;  // one-block list
};

// Receive callout, called as (unit, packet, cookie).
constexpr int DXP_RX_NOT_HANDLED = 1;
constexpr int DXP_RX_HANDLED = 2;
constexpr int DXP_RX_HANDLED_OWNED = 3;  // the callout keeps the packet's data
// Registration flag of a receive callout that only looks at frames (and
// answers "not handled"): it is called ahead of the handlers of its priority.
constexpr uint32_t DXP_RCO_F_OBSERVER = 0x40000000;
using dxp_rx_cb_f = int (*)(int unit, dxp_pkt *pkt, void *cookie);

constexpr int DXP_RX_CHANNELS = 4;
struct dxp_rx_chan_cfg_t {
    int chains;
    int reserved;
    uint32_t flags;
    uint32_t cos_bmp;
};
struct dxp_rx_cfg_t {
    int pkt_size;
    int pkts_per_chain;
    int global_pps;
    int max_burst;
    dxp_rx_chan_cfg_t chan_cfg[DXP_RX_CHANNELS];
    int (*rx_alloc)(int unit, int size, uint32_t flags, void **buf);
    int (*rx_free)(int unit, void *buf);
    uint32_t flags;
};

// ---------------------------------------------------------------- callbacks
using dxp_linkscan_handler_t = void (*)(int unit, int port, dxp_port_info *info);
using dxp_linkscan_port_handler_t = int (*)(int unit, int port, int *link);
using dxp_l2_addr_callback_t = void (*)(int unit, dxp_l2_addr *l2addr, int insert, void *userdata);
using dxp_port_medium_status_cb_t = void (*)(int unit, int port, int medium, void *user_data);
using dxp_port_phy_reset_cb_t = int (*)(int unit, int port, void *user_data);
// op 1 sets *value, op 2 reads into *value.
using dxp_custom_handler_t = int (*)(int unit, int port, int op, int type, int *value);
using dxp_auth_cb_t = void (*)(void *cookie, int unit, int port, int reason);
