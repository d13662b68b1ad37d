// Up to eight static unicast MAC addresses, the two extra BPDU addresses and
// a snapshot of the chip's address table for the pages.
#pragma once

#include <cstdint>

#include "dxpx.h"
#include "sal.h"
#include "serialize.h"

constexpr int L2MGR_STATIC_MAX = 8;
constexpr int L2MGR_SNAPSHOT_MAX = 8192;

struct l2mgr_static_entry {
    dxpx_l2_addr_t addr;
    uint32_t valid;
};

// The manager's lock (recursive; every call below takes it): the static
// slots and the snapshot. Hold it across several calls that must be one
// change; it sits under the settings lock and over the API's locks.
sal_mutex_t l2mgr_lock(void);

void l2mgr_init(void);
void l2mgr_bpdu_init(void);
int l2mgr_static_count_get(void);
// The older style: 1 success, 0 failure.
int l2mgr_static_add(const dxpx_l2_addr_t *addr);
int l2mgr_static_delete(const dxpx_l2_addr_t *addr);
// Writes the address to the chip whatever the list holds, and puts it in the
// list (in place of the list's entry for the same address and VLAN).
int l2mgr_static_put(const dxpx_l2_addr_t *addr);
int l2mgr_static_exist(const dxpx_l2_addr_t *addr);
// Whether the list of n addresses holds the address's MAC and VLAN.
bool l2mgr_static_key_in(const dxpx_l2_addr_t *addr, const dxpx_l2_addr_t *list, int n);
// Puts the slots in the order of the list; slots it lacks go last.
void l2mgr_static_order(const dxpx_l2_addr_t *list, int n);
int l2mgr_static_get_by_index(int index, dxpx_l2_addr_t *addr);
// 1 when mac is the switch's own address ("et1macaddr", the one eth1 runs
// and the system page shows): a static entry of it would take the CPU's
// station entry and cut management, so no static address may hold it.
int l2mgr_own_mac(const uint8_t mac[6]);

int l2mgr_snapshot_refresh(void);
// kind 0 all, 1 static, 2 dynamic; -4 for another kind.
int l2mgr_snapshot_count_get(int kind);
int l2mgr_snapshot_get_by_index(int index, dxpx_l2_addr_t *addr);  // 1 or 0
void l2mgr_snapshot_clear(void);

// The "l2" settings item: the static addresses.
int l2mgr_item(int op, settings_medium *m);
// The "aging" settings item: the address aging time in seconds (0 off).
int l2mgr_aging_item(int op, settings_medium *m);
