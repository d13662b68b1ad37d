// The L2 shadow's reports: the ARL callback registry, the sync of one shadow
// slot with what the chip holds, the delete marks of filtered flushes, and
// the learning control services (slots 100-102).
#pragma once

#include <cstdint>

#include "drv_if.h"

// old is null for an added entry, new is null for a removed one.
using soc_arl_cb_t = void (*)(int unit, uint32_t *old_entry, uint32_t *new_entry, void *user_data);
constexpr int SOC_ARL_CALLBACKS = 3;

int soc_arl_notify_register(int unit, soc_arl_cb_t cb, void *user_data);    // 0; -2 when full
int soc_arl_notify_unregister(int unit, soc_arl_cb_t cb, void *user_data);  // 0; -7
void soc_arl_notify(int unit, uint32_t *old_entry, uint32_t *new_entry);

// Slot 100: compares a shadow slot with the entry found at its index,
// reports the difference and updates the slot. Runs under arl_table_lock.
int soc_arl_sync(int unit, int *index, uint32_t *slot, const uint32_t *found);

// The per-unit delete list of the shadow thread (one flag per table index),
// set while the thread runs; marks go there under arl_table_lock.
void soc_arl_delete_list_set(int unit, uint32_t *list);
int soc_arl_delete_mark(int unit, int index);
// Marks made so far (wrapping): the thread skips looking for marks while it
// has not moved. Read under arl_table_lock.
uint32_t soc_arl_delete_marks(int unit);
// Shadow rows removed by deletes and flushes so far (wrapping), and whether
// the row at index was removed after that count was read (under
// arl_table_lock): the thread does not bring back, from a search that began
// before, an entry the chip no longer holds; its next pass finds it if it
// still does.
uint32_t soc_arl_shadow_removals(int unit);
// Rows of the unit's L2 shadow: the L2 table's length, or 8192 for a chip
// whose table is no window memory and has no length to give.
uint32_t soc_arl_shadow_length(int unit);
bool soc_arl_shadow_removed_since(int unit, int index, uint32_t count);
// Whether a flush (by port, VLAN, or of everything) that could take the
// entry came after that count was read (under arl_table_lock): the chip may
// have learnt the entry after the shadow's last pass and lost it to the
// flush, with no shadow row to say so.
bool soc_arl_shadow_flushed_since(int unit, const uint32_t *entry, uint32_t count);

// Slots 101, 102: mode 1 learning on, 2 off.
int drv_arl_learn_enable_set(int unit, soc_pbmp_t bmp, uint32_t mode);
int drv_arl_learn_enable_get(int unit, int port, int *mode);
