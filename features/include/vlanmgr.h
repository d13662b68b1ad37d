// The system's table of port-based VLANs (at most 256; VLAN 1 always at
// index 0), kept beside the chip's VLAN table.
#pragma once

#include <cstdint>

#include "board.h"
#include "sal.h"
#include "serialize.h"

constexpr int VLANMGR_MAX = 256;
constexpr uint16_t VLANMGR_VID_NONE = 4095;

// The manager's lock ("VLANMGR", recursive; every call below takes it). The
// page and the settings item hold it across a change of the chip's VLANs and
// the table, so that the two agree; it sits under the settings lock and over
// the API's locks.
sal_mutex_t qsw_vlanmgr_lock(void);
int qsw_vlanmgr_init(void);  // 0, or -1 without its mutex
uint16_t qsw_vlanmgr_count_get(void);
int qsw_vlanmgr_vid_exist(uint16_t vid);
uint16_t qsw_vlanmgr_vid_get(int index);  // 4095 for an unused index
// Both bitmaps are allocated for the caller, who frees them.
uint16_t qsw_vlanmgr_vlan_get_by_index(int index, upbmp_t *members, upbmp_t *untagged);
int qsw_vlanmgr_vlan_get(uint16_t vid, upbmp_t *members, upbmp_t *untagged);  // 0, -7
// Creates or replaces a VLAN: 0, -2, or -11 when all 256 are in use.
int qsw_vlanmgr_vlan_set(uint16_t vid, const upbmp_t *members, const upbmp_t *untagged);
int qsw_vlanmgr_vlan_delete(uint16_t vid);
int qsw_vlanmgr_reset(void);
int qsw_vlanmgr_lplist_to_upbmp(const dxpx_lplist_t *list, upbmp_t *bmp);
int qsw_vlanmgr_free_slot_find(void);  // slot, or -7

// The "vlan" settings item: the chip's VLANs, rebuilt at load.
int vlanmgr_item(int op, settings_medium *m);
// During the check of a backup image, whether the image's VLANs hold the
// VLAN (the running table's when the image has no VLAN item); otherwise
// whether the running table does.
bool vlanmgr_checked_vid_exist(uint16_t vid);
