// Field processor: entries, their ids and priorities, and their TCAM rows.
// Used rows are kept in priority order (higher priorities on lower rows); a
// destroyed entry leaves its row empty, and the rows are compacted only when
// a new entry needs the last row, so that tearing down a feature's rules
// moves none of the others. A row moves with its statistics.
#include <algorithm>
#include <vector>

#include "sal_lock.h"
#include "tarn_field_internal.h"

namespace tarn::field {
namespace {

constexpr int kEntryIdBase = 1;  // _FP_ENTRY_ID_BASE
constexpr int kEntryIdLast = kEntryIdBase + 0x1000000 - 1;
constexpr int kPrioHighest = -1;
constexpr int kPrioDefault = -2;
constexpr int kPrioLowest = -3;

// > 0 when priority a ranks above b: -1 first, then non-negative ones from
// large to small, then -2, then -3.
int prio_compare(int a, int b) {
    if (a == b) return 0;
    if (a == kPrioHighest) return 1;
    if (b == kPrioHighest || a == kPrioLowest) return -1;
    if (b == kPrioLowest) return 1;
    if (a == kPrioDefault) return -1;
    if (b == kPrioDefault) return 1;
    return a > b ? 1 : -1;
}

void row_set(Entry *e, int row) {
    _field_shared_entries[row] = e;
    e->fs->entries[row] = e;
    e->slice_idx = static_cast<uint16_t>(row);
}
void row_forget(Entry *e) {
    _field_shared_entries[e->slice_idx] = nullptr;
    e->fs->entries[e->slice_idx] = nullptr;
}

// Moves an entry's row, with its statistics, by amount rows into an empty row.
int row_move(const Control *fc, Entry *e, int amount) {
    if (amount == 0) return DXP_E_NONE;
    const int from = e->slice_idx;
    const int to = from + amount;
    const int last = fc->tcam_slice_sz - 1;
    SAL_ASSERT(0 <= from && from <= last);
    SAL_ASSERT(0 <= to && to <= last);
    SAL_ASSERT(_field_shared_entries[to] == nullptr);
    // A rule never written to the chip has nothing in its row to carry.
    if (!e->on_chip && e->counter == nullptr) {
        row_forget(e);
        row_set(e, to);
        return DXP_E_NONE;
    }
    const int unit = e->unit;
    const drv_if_t *drv = services(unit);
    drv_cfp_entry_t scratch{};
    const auto row_from = static_cast<uint32_t>(from), row_to = static_cast<uint32_t>(to);
    if (int rv = drv->cfp_entry_read(unit, row_from, kRamAll, &scratch); rv < 0) return rv;
    if (int rv = drv->cfp_entry_write(unit, row_to, kRamAll, &scratch); rv < 0) return rv;
    // The row's statistics belong to its rule, counter or not.
    for (uint32_t k : {DRV_CFP_STAT_IB, DRV_CFP_STAT_OB}) {
        uint32_t value = 0;
        if (int rv = drv->cfp_stat_get(unit, k, row_from, &value); rv < 0) return rv;
        if (int rv = drv->cfp_stat_set(unit, k, row_to, value); rv < 0) return rv;
    }
    uint32_t zero = 0;
    if (int rv = drv->cfp_field_set(unit, kRamTcam, kFieldValid, &scratch, &zero); rv < 0)
        return rv;
    // The old row keeps its action and meter words; invalid, it matches nothing.
    if (int rv = drv->cfp_entry_write(unit, row_from, kRamTcam, &scratch); rv < 0) return rv;
    if (int rv = drv->cfp_stat_set(unit, DRV_CFP_STAT_ALL, row_from, 0); rv < 0) return rv;
    if (e->counter != nullptr) e->counter->row = to;
    row_forget(e);
    row_set(e, to);
    return DXP_E_NONE;
}

// Moves every used row up into the empty rows before it, keeping the order.
int compact(const Control *fc) {
    for (int row = 0; row < fc->tcam_slice_sz; row++) {
        if (_field_shared_entries[row] != nullptr) continue;
        int next = row + 1;
        while (next < fc->tcam_slice_sz && _field_shared_entries[next] == nullptr)
            next++;
        if (next == fc->tcam_slice_sz) return DXP_E_NONE;
        if (int rv = row_move(fc, _field_shared_entries[next], row - next); rv < 0) return rv;
    }
    return DXP_E_NONE;
}

// Shifts the used rows first .. last by step rows (> 0: down, < 0: up) into
// the empty rows beyond them, keeping their order.
int shift(const Control *fc, int first, int last, int step) {
    for (int i = 0; i <= last - first; i++) {
        const int row = step > 0 ? last - i : first + i;
        if (int rv = row_move(fc, _field_shared_entries[row], step); rv < 0) return rv;
    }
    return DXP_E_NONE;
}

// A shift of more than this many rows opens up to as many empty rows as it
// moves past: the rules a feature makes one after another at the same place
// (a check for each port block) then move a long run of rows behind them
// once, not once per rule. Shorter runs move by one row.
constexpr int kShiftRows = 8;

// How far to shift `rows` used rows into the empty rows from row on in
// direction dir (+1 or -1).
int shift_step(const Control *fc, int rows, int row, int dir) {
    if (rows <= kShiftRows) return 1;
    int n = 0;
    while (n < kShiftRows && row >= 0 && row < fc->tcam_slice_sz &&
           _field_shared_entries[row] == nullptr) {
        n++;
        row += dir;
    }
    return n;
}

// Makes an empty row between the used rows `after` and `before` (-1 and
// the table size stand for the ends) by shifting the fewer rows towards the
// nearest empty rows on either side, as far as those reach; the entry being
// placed is not counted as empty, as it may ride along. The freed row next
// to `after`'s entry, or -14 when there is none.
int make_room(const Control *fc, int after, int before) {
    int down = before;
    while (down < fc->tcam_slice_sz && _field_shared_entries[down] != nullptr)
        down++;
    int up = after;
    while (up >= 0 && _field_shared_entries[up] != nullptr)
        up--;
    const bool can_down = down < fc->tcam_slice_sz, can_up = up >= 0;
    if (!can_down && !can_up) return DXP_E_RESOURCE;
    if (can_down && (!can_up || down - before <= after - up)) {
        const int step = shift_step(fc, down - before, down, 1);
        if (int rv = shift(fc, before, down - 1, step); rv < 0) return rv;
        return before;
    }
    const int step = shift_step(fc, after - up, up, -1);
    if (int rv = shift(fc, up + 1, after, -step); rv < 0) return rv;
    return after - step + 1;
}

bool id_used(const Control *fc, int id) {
    return entry_find(fc, id) != nullptr;
}

// The smallest id from first on that no entry uses; 0 when none is left.
int id_choose(const Control *fc, int first) {
    std::vector<int> used;
    for (const Group *g = fc->groups; g != nullptr; g = g->next)
        for (int row = 0; row < fc->tcam_slice_sz; row++)
            if (const Entry *e = g->slice->entries[row]; e != nullptr) used.push_back(e->id);
    std::sort(used.begin(), used.end());
    int id = first;
    for (int u : used) {
        if (u < id) continue;
        if (u > id) break;
        id++;
    }
    return id >= kEntryIdBase && id <= kEntryIdLast ? id : 0;
}

// Sets the valid field in data and mask to as many ones as the chip's field is
// wide, then writes the row's action RAM and TCAM from the entry's image.
int row_write(Entry *e) {
    const int unit = e->unit;
    if (int rv = slice_enable(unit, e->fs); rv < 0) return rv;
    const soc_mem_info_t *mem = drv_cfp_mem_info(CFP_TCAM_S0m);
    SAL_ASSERT(mem != nullptr && (mem->flags & SOC_MEM_FLAG_VALID));
    const chipdata_field *valid = nullptr;
    for (uint32_t i = 0; i < mem->size_fields >> 16; i++)
        if (mem->fields[i].field == F_VALID_R) valid = &mem->fields[i];
    SAL_ASSERT(valid != nullptr);
    uint32_t ones = valid->len >= 32 ? ~0u : (1u << valid->len) - 1;
    const drv_if_t *drv = services(unit);
    if (int rv = drv->cfp_field_set(unit, kRamTcam, kFieldValid, &e->image, &ones); rv < 0)
        return rv;
    if (int rv = drv->cfp_field_set(unit, kRamMask, kFieldValid, &e->image, &ones); rv < 0)
        return rv;
    if (int rv = drv->cfp_entry_write(unit, e->slice_idx, kRamAct, &e->image); rv < 0) return rv;
    return drv->cfp_entry_write(unit, e->slice_idx, kRamTcam, &e->image);
}

}  // namespace
}  // namespace tarn::field

using namespace tarn;
using namespace tarn::field;

int dxp_tarn_field_entry_create(int unit, int group, int *entry) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    const Group *g = group_find(fc, group);
    if (g == nullptr) return DXP_E_NOT_FOUND;
    if (g->status.entries_free == 0 || shared_free_rows == 0) return DXP_E_RESOURCE;
    if (entry == nullptr) return DXP_E_PARAM;
    const int id = id_choose(fc, kEntryIdBase);
    if (id == 0) return DXP_E_RESOURCE;
    const int rv = dxp_field_entry_create_id(unit, group, id);
    if (rv == DXP_E_NONE) *entry = id;
    return rv;
}

int dxp_tarn_field_entry_create_id(int unit, int group, int entry) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    if (entry < 1) return DXP_E_PARAM;  // ids count from 1
    if (id_used(fc, entry)) return DXP_E_EXISTS;
    Group *g = group_find(fc, group);
    if (g == nullptr) return DXP_E_NOT_FOUND;
    const int last = fc->tcam_slice_sz - 1;
    if (g->status.entries_free < 1 || shared_free_rows <= 0) return DXP_E_RESOURCE;
    // A new entry waits on the last row until its priority places it; the
    // empty rows that destroyed entries left gather at the end for it.
    if (_field_shared_entries[last] != nullptr) {
        if (int rv = compact(fc); rv < 0) return rv;
        if (_field_shared_entries[last] != nullptr) return DXP_E_RESOURCE;
    }

    auto *e = static_cast<Entry *>(sal_alloc(sizeof(Entry), "field_entry"));
    if (e == nullptr) return DXP_E_MEMORY;
    e->unit = unit;
    e->id = entry;
    e->group = group;
    e->prio = kPrioLowest;
    e->fs = g->slice;
    const drv_if_t *drv = services(unit);
    uint32_t slice_id = g->slice->cfp_slice;
    uint32_t all_bits = 7;
    int rv = drv->cfp_field_set(unit, kRamTcam, kFieldSliceId, &e->image, &slice_id);
    if (rv == DXP_E_NONE)
        rv = drv->cfp_field_set(unit, kRamMask, kFieldSliceId, &e->image, &all_bits);
    if (rv < 0) {
        sal_free(e);
        return rv;
    }
    row_set(e, last);
    dxp_field_entry_prio_set(unit, entry, kPrioDefault);
    g->status.entries_free--;
    shared_free_rows--;
    SAL_ASSERT(0 <= g->status.entries_free);
    return DXP_E_NONE;
}

int dxp_tarn_field_entry_prio_get(int unit, int entry, int *prio) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    if (prio == nullptr) return DXP_E_PARAM;
    const Entry *e = entry_find(fc, entry);
    if (e == nullptr) return DXP_E_NOT_FOUND;
    *prio = e->prio;
    return DXP_E_NONE;
}

int dxp_tarn_field_entry_prio_set(int unit, int entry, int prio) {
    Control *fc = nullptr;
    Entry *e = nullptr;
    if (int rv = entry_get(__func__, unit, entry, &e, &fc); rv < 0) return rv;
    if (e->prio == prio) return DXP_E_NONE;
    Group *g = group_find(fc, e->group);
    SAL_ASSERT(g != nullptr);
    if (g->status.entries_free < 1 || shared_free_rows < 1) return DXP_E_CONFIG;

    // The entry belongs after the last other entry that ranks at or above
    // the priority (equal ones keep their place in front of it) and before
    // the next other entry: on the first row between them.
    int after = -1;
    for (int row = 0; row < fc->tcam_slice_sz; row++) {
        const Entry *at = _field_shared_entries[row];
        if (at != nullptr && at != e && prio_compare(at->prio, prio) >= 0) after = row;
    }
    int before = after + 1;
    while (before < fc->tcam_slice_sz &&
           (_field_shared_entries[before] == nullptr || _field_shared_entries[before] == e))
        before++;
    int target = after + 1;
    if (target == before) {
        target = make_room(fc, after, before);
        if (target < 0) return target;
    }
    if (int rv = row_move(fc, e, target - e->slice_idx); rv < 0) return rv;
    e->prio = prio;
    g->status.prio_max = std::max(g->status.prio_max, prio);
    if (prio >= 0 && (prio < g->status.prio_min || g->status.prio_min < 0))
        g->status.prio_min = prio;
    return DXP_E_NONE;
}

namespace {

// Brings the row's meter words in line with the entry: its meter, or
// metering off once the meter is destroyed. `always` writes them even when
// the row already holds them.
int meter_write(int unit, Entry *e, bool always) {
    const bool metered = e->meter != nullptr;
    if (!always && metered == e->meter_installed) return DXP_E_NONE;
    if (!metered) std::fill(std::begin(e->image.meter_data), std::end(e->image.meter_data), 0u);
    if (int rv = services(unit)->cfp_entry_write(unit, e->slice_idx, kRamMeter, &e->image); rv < 0)
        return rv;
    e->meter_installed = metered;
    return DXP_E_NONE;
}

}  // namespace

int dxp_tarn_field_entry_install(int unit, int entry) {
    Control *fc = nullptr;
    Entry *e = nullptr;
    if (int rv = entry_get(__func__, unit, entry, &e, &fc); rv < 0) return rv;
    const drv_if_t *drv = services(unit);
    SalLock guard(fc->lock);
    e->on_chip = true;

    // Clear the row first: no forwarding change, no priority change, invalid.
    drv_cfp_entry_t scratch{};
    if (int rv = drv->cfp_entry_read(unit, e->slice_idx, kRamAll, &scratch); rv < 0) return rv;
    for (uint32_t code : {DRV_CFP_ACT_IB_NONE, DRV_CFP_ACT_OB_NONE, DRV_CFP_ACT_IB_PRI_CANCEL,
                          DRV_CFP_ACT_OB_PRI_CANCEL})
        drv->cfp_action_set(unit, code, &scratch, 0);
    uint32_t zero = 0;
    if (int rv = drv->cfp_field_set(unit, kRamTcam, kFieldValid, &scratch, &zero); rv < 0)
        return rv;
    if (int rv = drv->cfp_entry_write(unit, e->slice_idx, kRamAct, &scratch); rv < 0) return rv;
    if (int rv = drv->cfp_entry_write(unit, e->slice_idx, kRamTcam, &scratch); rv < 0) return rv;

    if (int rv = meter_write(unit, e, true); rv < 0) return rv;
    if (int rv = row_write(e); rv < 0) return rv;
    e->dirty = false;
    return DXP_E_NONE;
}

int dxp_tarn_field_entry_reinstall(int unit, int entry) {
    Control *fc = nullptr;
    Entry *e = nullptr;
    if (int rv = entry_get(__func__, unit, entry, &e, &fc); rv < 0) return rv;
    SalLock guard(fc->lock);
    e->on_chip = true;
    if (int rv = meter_write(unit, e, false); rv < 0) return rv;
    if (!e->dirty) return DXP_E_NONE;
    if (int rv = row_write(e); rv < 0) return rv;
    e->dirty = false;
    return DXP_E_NONE;
}

int dxp_tarn_field_entry_remove(int unit, int entry) {
    Control *fc = nullptr;
    Entry *e = nullptr;
    if (int rv = entry_get(__func__, unit, entry, &e, &fc); rv < 0) return rv;
    SalLock guard(fc->lock);
    int rv = DXP_E_NONE;
    if (!e->dirty) {
        // Invalidate the row as the chip holds it; the entry's own image
        // keeps its key for a later reinstall.
        const drv_if_t *drv = services(unit);
        drv_cfp_entry_t scratch{};
        uint32_t zero = 0;
        e->on_chip = true;
        rv = drv->cfp_entry_read(unit, e->slice_idx, kRamTcam, &scratch);
        if (rv == DXP_E_NONE) rv = drv->cfp_field_set(unit, kRamTcam, kFieldValid, &scratch, &zero);
        if (rv == DXP_E_NONE) rv = drv->cfp_entry_write(unit, e->slice_idx, kRamTcam, &scratch);
        if (rv == DXP_E_NONE) e->dirty = true;
    }
    actions_release(e);
    return rv;
}

int dxp_tarn_field_entry_destroy(int unit, int entry) {
    Control *fc = nullptr;
    Entry *e = nullptr;
    if (int rv = entry_get(__func__, unit, entry, &e, &fc); rv < 0) return rv;
    if (int rv = dxp_field_entry_remove(unit, entry); rv < 0) return rv;
    if (e->counter != nullptr) {
        if (int rv = dxp_field_counter_destroy(unit, entry); rv < 0) return rv;
    }
    while (e->actions != nullptr) {
        if (dxp_field_action_remove(unit, entry, e->actions->type) < 0) break;
    }
    actions_release(e);
    if (e->meter != nullptr) {
        if (int rv = dxp_field_meter_destroy(unit, entry); rv < 0) return rv;
    }
    Group *g = group_find(fc, e->group);
    SAL_ASSERT(g != nullptr);
    // The empty row keeps no statistics for the rule that takes it next.
    const int rv = services(unit)->cfp_stat_set(unit, DRV_CFP_STAT_ALL, e->slice_idx, 0);
    row_forget(e);
    sal_free(e);
    g->status.entries_free++;
    shared_free_rows++;
    SAL_ASSERT(g->status.entries_free <= g->status.entries_total);
    return rv < 0 ? rv : DXP_E_NONE;
}

int dxp_tarn_field_entry_destroy_all(int unit) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    for (const Group *g = fc->groups; g != nullptr; g = g->next) {
        for (int row = fc->tcam_slice_sz - 1; row >= 0; row--) {
            const Entry *e = g->slice->entries[row];
            if (e == nullptr) continue;
            if (int rv = dxp_field_entry_destroy(unit, e->id); rv < 0) return rv;
        }
    }
    return DXP_E_NONE;
}

int dxp_tarn_field_entry_copy_id(int unit, int src_entry, int dst_entry) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    const Entry *src = entry_find(fc, src_entry);
    if (src == nullptr) return DXP_E_NOT_FOUND;
    if (int rv = dxp_field_entry_create_id(unit, src->group, dst_entry); rv < 0) return rv;
    Entry *dst = entry_find(fc, dst_entry);
    SAL_ASSERT(dst != nullptr);
    dst->image = src->image;
    if (src->counter != nullptr) {
        if (int rv = dxp_field_counter_create(unit, dst_entry); rv < 0) return rv;
        dst->counter_pair = src->counter_pair;
    }
    if (src->meter != nullptr) {
        if (int rv = dxp_field_meter_create(unit, dst_entry); rv < 0) return rv;
        // Only the peak pair can be set; the committed one stays 0.
        uint32_t rate = 0, burst = 0;
        if (int rv = dxp_field_meter_get(unit, src_entry, 2, &rate, &burst); rv < 0) return rv;
        if (int rv = dxp_field_meter_set(unit, dst_entry, 2, rate, burst); rv < 0) return rv;
        dst->meter_mode = src->meter_mode;
    }
    for (const Action *a = src->actions; a != nullptr; a = a->next)
        dxp_field_action_add(unit, dst_entry, a->type, a->param0, a->param1);
    dst->dirty = true;
    return dxp_field_entry_prio_set(unit, dst_entry, src->prio);
}

int dxp_tarn_field_entry_copy(int unit, int src_entry, int *dst_entry) {
    Control *fc = nullptr;
    if (int rv = checks(__func__, unit, &fc); rv < 0) return rv;
    if (entry_find(fc, src_entry) == nullptr) return DXP_E_NOT_FOUND;
    if (dst_entry == nullptr) return DXP_E_PARAM;
    // Ids run up to kEntryIdLast; a source at the top leaves none after it.
    const int id = src_entry < kEntryIdLast ? id_choose(fc, std::max(src_entry + 1, 1)) : 0;
    if (id == 0) return DXP_E_RESOURCE;
    const int rv = dxp_field_entry_copy_id(unit, src_entry, id);
    if (rv == DXP_E_NONE) *dst_entry = id;
    return rv;
}
