// The management interface "eth1" (device "dev_end0"): the switch's own IP
// traffic between the TCP/IP stack and the chip's CPU port. Frames reach the
// stack untagged; towards the switch they carry the VLAN learned from the
// destination's received frames (unicast) or the default VLAN (broadcast).
#pragma once

#include <cstdint>

#include "dxpx.h"
#include "eth_drv.h"

constexpr int END_KEYS = 128;       // ring of the stack's transmit keys
constexpr int END_TXQ_MAX = 51;     // frames waiting before sends are refused
constexpr int END_LEARN_SIZE = 16;  // learned (MAC, VLAN) pairs
constexpr int END_DMA_BUF = 1600;   // transmit buffer of a tagged frame
constexpr int END_RX_MIN = 18;      // header and frame check sequence
constexpr dxp_vlan_t END_VID_NONE = 4095;
constexpr uint32_t END_L2_FLAGS = 0x4020;    // static, CPU copy
constexpr uint32_t END_TX_FLAGS = 0x100030;  // one transmission, append a CRC
constexpr int END_CALLOUT_PRIO = 100;
constexpr uint32_t END_CALLOUT_FLAGS = 0xC0FF;
// Used when "et1macaddr" is missing: a locally administered unicast address.
constexpr const char *END_DEFAULT_MAC = "02-53-57-00-00-01";

// The interface record of "eth1" and its device-table entry.
extern eth_drv_sc end0_sc;
extern const eth_drv_device dev_end0;

// What the driver needs from above: the board's user-port count and each
// user port's port VLAN id (index = user port - 1). Registered by the program.
struct end_board_t {
    int (*user_port_count)(void);
    int (*pvid_get)(int index);
};
void end_board_register(const end_board_t *board);

// The switch calls of the driver; the multi-unit API unless a test replaces
// them. Returns the table in use before; null restores the default.
struct end_switch_ops_t {
    int (*rx_start)(void);
    int (*rx_register)(const char *name, dxp_rx_cb_f callback, int priority, void *cookie,
                       uint32_t flags);
    int (*tx)(dxp_pkt *pkt, const dxpx_lplist_t *lplist);
    int (*l2_addr_add)(const dxpx_l2_addr_t *l2addr, uint32_t flags);
    int (*l2_addr_delete)(const dxp_mac_t mac, dxp_vlan_t vid);
    int (*cpu_lport_get)(int unit, int *lport);
};
const end_switch_ops_t *end_switch_ops_set(const end_switch_ops_t *ops);

// Received, sent, sent to broadcast, dropped multicast, sent to unicast.
void end_counters_get(uint32_t *rx, uint32_t *tx, uint32_t *bcast, uint32_t *mcast,
                      uint32_t *ucast);
void end_counters_clear(void);
// Received frames too short to be handed up, and stack frames refused
// (full queue, no buffer, too long); neither is in the five counters.
uint32_t end_rx_runts_get(void);
uint32_t end_tx_refused_get(void);

// The CPU MAC as a static record of VLAN vid: 1 once a start has set the
// address, else 0.
int end_cpu_l2_addr_get(dxp_vlan_t vid, dxpx_l2_addr_t *record);

// Forgets the driver's state (tests): registration, queues, table, counters.
void end_reset(void);
