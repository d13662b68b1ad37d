// Upkeep of the L2 shadow after hardware writes, the callback registry and
// the sync of one shadow slot.
#include <atomic>
#include <cstring>
#include <vector>

#include "../mem/mem_internal.h"
#include "drv_arl.h"
#include "drv_mem.h"
#include "drv_reg.h"
#include "drv_reg_value.h"
#include "sal_lock.h"
#include "soc_error.h"

namespace {

constexpr int kWords = DRV_ARL_ENTRY_WORDS;
constexpr int kShadowEntries = 8192;

struct Callbacks {
    struct Slot {
        soc_arl_cb_t cb;
        void *data;
    } slot[SOC_ARL_CALLBACKS];
    int count;
};
Callbacks callbacks[SOC_MAX_NUM_DEVICES];
uint32_t *delete_lists[SOC_MAX_NUM_DEVICES];
uint32_t delete_marks[SOC_MAX_NUM_DEVICES];
// Shadow rows removed by deletes and flushes: a count per unit, and the count
// at each row's last removal (under arl_table_lock).
std::atomic<uint32_t> removals[SOC_MAX_NUM_DEVICES];
std::vector<uint32_t> removed_at[SOC_MAX_NUM_DEVICES];

// The last flushes by port or VLAN (or of everything), by the removal count
// they took: a flush also takes entries the chip learnt that no shadow row
// holds yet, which only the flush's own filter can tell.
struct flush_record {
    uint32_t at;
    int port, vid;
    uint32_t flags;
};
constexpr size_t kFlushesKept = 16;
std::vector<flush_record> flushes[SOC_MAX_NUM_DEVICES];

void note_flush(int unit, int port, int vid, uint32_t flags) {
    std::vector<flush_record> &kept = flushes[unit];
    if (kept.size() >= kFlushesKept) kept.erase(kept.begin());
    kept.push_back({++removals[unit], port, vid, flags});
}

// A unicast entry's port as the device services give it, as a flush names
// it: the raw field of some chips carries an offset.
uint32_t port_of(int unit, const uint32_t *e) {
    uint32_t v[2] = {0, 0};
    DRV_SERVICES(unit)->mem_field_get(unit, DRV_MEM_ARL, DRV_MEM_FIELD_SRC_PORT,
                                      const_cast<uint32_t *>(e), v);
    return v[0];
}

bool flush_takes(int unit, const flush_record &f, const uint32_t *e) {
    if (f.flags & DRV_MEM_OP_DELETE_ALL_ARL) return true;
    if ((f.flags & DRV_MEM_OP_DELETE_BY_PORT) && port_of(unit, e) != static_cast<uint32_t>(f.port))
        return false;
    if ((f.flags & DRV_MEM_OP_DELETE_BY_VLANID) &&
        drv_arl_entry_field(unit, e, DRV_MEM_FIELD_VLANID) != static_cast<uint32_t>(f.vid))
        return false;
    return (f.flags & DRV_MEM_OP_DELETE_BY_STATIC) ||
           !drv_arl_entry_field(unit, e, DRV_MEM_FIELD_STATIC);
}

void note_removal(int unit, int index) {
    std::vector<uint32_t> &at = removed_at[unit];
    if (at.empty()) at.assign(kShadowEntries, 0);
    at[static_cast<size_t>(index)] = ++removals[unit];
}

uint32_t *shadow(int unit) {
    return static_cast<uint32_t *>(SOC_CONTROL(unit)->arl_table);
}

bool valid(int unit, const uint32_t *e) {
    return drv_arl_entry_field(unit, e, DRV_MEM_FIELD_VALID) != 0;
}
bool mcast(int unit, const uint32_t *e) {
    return (drv_arl_entry_mac(unit, e) >> 40) & 1;
}
bool empty(const uint32_t *e) {
    return e[0] == 0 && e[1] == 0 && e[2] == 0;
}

void print_entry(const char *which, int unit, const uint32_t *e) {
    uint64_t mac = drv_arl_entry_mac(unit, e);
    soc_cm_debug_print(
        0x80,
        "%s_valid %x %s_mac_addr %02x:%02x:%02x:%02x:%02x:%02x            %s_vid %x "
        "%s_port %d\n",
        which, drv_arl_entry_field(unit, e, DRV_MEM_FIELD_VALID), which,
        static_cast<unsigned>(mac >> 40 & 0xff), static_cast<unsigned>(mac >> 32 & 0xff),
        static_cast<unsigned>(mac >> 24 & 0xff), static_cast<unsigned>(mac >> 16 & 0xff),
        static_cast<unsigned>(mac >> 8 & 0xff), static_cast<unsigned>(mac & 0xff), which,
        drv_arl_entry_field(unit, e, DRV_MEM_FIELD_VLANID), which,
        static_cast<int>(drv_arl_entry_field(unit, e, DRV_MEM_FIELD_SRC_PORT)));
}

}  // namespace

int soc_arl_notify_register(int unit, soc_arl_cb_t cb, void *user_data) {
    if (SOC_CONTROL(unit) == nullptr) return SOC_E_UNIT;
    SalLock lock(SOC_CONTROL(unit)->arl_table_lock);
    Callbacks &c = callbacks[unit];
    if (c.count >= SOC_ARL_CALLBACKS) return SOC_E_MEMORY;
    c.slot[c.count++] = {cb, user_data};
    return 0;
}

int soc_arl_notify_unregister(int unit, soc_arl_cb_t cb, void *user_data) {
    if (SOC_CONTROL(unit) == nullptr) return SOC_E_UNIT;
    SalLock lock(SOC_CONTROL(unit)->arl_table_lock);
    Callbacks &c = callbacks[unit];
    if (cb == nullptr) {
        c.count = 0;
        return 0;
    }
    for (int i = 0; i < c.count; i++) {
        if (c.slot[i].cb != cb || c.slot[i].data != user_data) continue;
        for (int j = i; j + 1 < c.count; j++)
            c.slot[j] = c.slot[j + 1];
        c.count--;
        return 0;
    }
    return SOC_E_NOT_FOUND;
}

void soc_arl_notify(int unit, uint32_t *old_entry, uint32_t *new_entry) {
    SalLock lock(SOC_CONTROL(unit)->arl_table_lock);
    const Callbacks &c = callbacks[unit];
    for (int i = 0; i < c.count; i++)
        c.slot[i].cb(unit, old_entry, new_entry, c.slot[i].data);
}

int soc_arl_sync(int unit, int *, uint32_t *slot, const uint32_t *found) {
    soc_cm_debug_print(0x10080, "soc_arl_sync: start\n");
    uint32_t start = sal_time_usecs();
    if (std::memcmp(slot, found, kWords * sizeof(uint32_t)) != 0) {
        soc_cm_debug_print(0x80, "arl_sync : old = %x, %x, %x new = %x, %x, %x\n", slot[2], slot[1],
                           slot[0], found[2], found[1], found[0]);
        print_entry("old", unit, slot);
        print_entry("new", unit, found);
        bool old_valid = valid(unit, slot), new_valid = valid(unit, found);
        bool old_mc = mcast(unit, slot), new_mc = mcast(unit, found);
        uint32_t copy[kWords];
        std::memcpy(copy, found, sizeof copy);
        bool store = !new_mc;
        if (!old_valid && new_valid) {
            if (!new_mc) {
                soc_cm_debug_print(0x80, "NEW ENTRY ADD\n");
                soc_arl_notify(unit, nullptr, copy);
            }
        } else if (old_valid && !new_valid) {
            if (!old_mc) {
                soc_cm_debug_print(0x80, "OLD ENTRY DELETE\n");
                soc_arl_notify(unit, slot, nullptr);
            }
        } else if (old_valid && new_valid && !(old_mc && new_mc)) {
            soc_cm_debug_print(0x80, "OLD NEW ALL VALID\n");
            if (new_mc) {
                // A group address took the index of a unicast one: the unicast
                // entry is gone, and the slot must not report it again.
                soc_cm_debug_print(0x80, "OLD ENTRY DELETE\n");
                soc_arl_notify(unit, slot, nullptr);
                std::memset(slot, 0, kWords * sizeof(uint32_t));
            } else if (drv_arl_entry_mac(unit, slot) != drv_arl_entry_mac(unit, found) ||
                       drv_arl_entry_field(unit, slot, DRV_MEM_FIELD_VLANID) !=
                           drv_arl_entry_field(unit, found, DRV_MEM_FIELD_VLANID) ||
                       drv_arl_entry_field(unit, slot, DRV_MEM_FIELD_SRC_PORT) !=
                           drv_arl_entry_field(unit, found, DRV_MEM_FIELD_SRC_PORT)) {
                soc_cm_debug_print(0x80, "MAC or VID different\n");
                soc_arl_notify(unit, slot, copy);
            }
        }
        if (store) std::memcpy(slot, found, kWords * sizeof(uint32_t));
    }
    soc_cm_debug_print(0x10080, "soc_arl_sync: done in %d usec\n",
                       static_cast<int>(sal_time_usecs() - start));
    return 0;
}

void soc_arl_delete_list_set(int unit, uint32_t *list) {
    SalLock lock(SOC_CONTROL(unit)->arl_table_lock);
    delete_lists[unit] = list;
}

int soc_arl_delete_mark(int unit, int index) {
    SalLock lock(SOC_CONTROL(unit)->arl_table_lock);
    if (delete_lists[unit] != nullptr && index >= 0 && index < kShadowEntries) {
        delete_lists[unit][index] = 1;
        delete_marks[unit]++;
    }
    return 0;
}

uint32_t soc_arl_delete_marks(int unit) {
    return delete_marks[unit];
}

namespace {

// Runs fn on the shadow row of an entry under the table lock; without a
// shadow there is nothing to do.
template <typename Fn>
int with_shadow_row(int unit, int bin, const uint32_t *entry, Fn fn) {
    if (shadow(unit) == nullptr) return 0;
    int index = _drv_arl_calc_hash_index(unit, bin, entry);
    SalLock lock(SOC_CONTROL(unit)->arl_table_lock);
    uint32_t *table = shadow(unit);
    if (table == nullptr) return 0;
    fn(table + index * kWords);
    return 0;
}

}  // namespace

int soc_arl_shadow_insert(int unit, int bin, const uint32_t *entry) {
    return with_shadow_row(unit, bin, entry, [&](uint32_t *row) {
        // A delete mark at this index was for an entry flushed before: the
        // thread's end pass must not take this one out with it.
        const int index = static_cast<int>((row - shadow(unit)) / kWords);
        if (delete_lists[unit] != nullptr) delete_lists[unit][index] = 0;
        uint32_t copy[kWords];
        std::memcpy(copy, entry, sizeof copy);
        soc_arl_notify(unit, nullptr, copy);
        std::memcpy(row, copy, sizeof copy);
    });
}

uint32_t soc_arl_shadow_length(int unit) {
    uint32_t n = 0;
    if (DRV_SERVICES(unit)->mem_length_get(unit, DRV_MEM_ARL, &n) < 0) return kShadowEntries;
    return n;
}

uint32_t soc_arl_shadow_removals(int unit) {
    return removals[unit].load();
}

bool soc_arl_shadow_flushed_since(int unit, const uint32_t *entry, uint32_t count) {
    const std::vector<flush_record> &kept = flushes[unit];
    const auto after = [count](uint32_t at) { return static_cast<int32_t>(at - count) > 0; };
    // Records dropped since: any of them may have taken the entry.
    if (kept.size() >= kFlushesKept && after(kept.front().at)) return true;
    for (const flush_record &f : kept) {
        if (after(f.at) && flush_takes(unit, f, entry)) return true;
    }
    return false;
}

bool soc_arl_shadow_removed_since(int unit, int index, uint32_t count) {
    const std::vector<uint32_t> &at = removed_at[unit];
    if (index < 0 || static_cast<size_t>(index) >= at.size() || at[static_cast<size_t>(index)] == 0)
        return false;
    return static_cast<int32_t>(at[static_cast<size_t>(index)] - count) > 0;
}

int soc_arl_shadow_delete(int unit, int bin, const uint32_t *entry) {
    return with_shadow_row(unit, bin, entry, [&](uint32_t *row) {
        note_removal(unit, static_cast<int>((row - shadow(unit)) / kWords));
        uint32_t copy[kWords];
        std::memcpy(copy, row, sizeof copy);
        if (!valid(unit, copy)) return;
        soc_arl_notify(unit, copy, nullptr);
        uint32_t zero[2] = {0, 0};
        drv_mem::field_set(unit, L2_ARL_SWm, F_VALID_R, copy, zero);
        std::memcpy(row, copy, sizeof copy);
    });
}

int soc_arl_shadow_flush(int unit, int port, int vid, uint32_t flags) {
    SalLock lock(SOC_CONTROL(unit)->arl_table_lock);
    uint32_t *table = shadow(unit);
    if (table == nullptr) return 0;
    note_flush(unit, port, vid, flags);
    if (flags & DRV_MEM_OP_DELETE_ALL_ARL) {
        for (int i = 0; i < kShadowEntries; i++)
            if (!empty(table + i * kWords)) note_removal(unit, i);
        std::memset(table, 0, kShadowEntries * kWords * sizeof(uint32_t));
        return 0;
    }
    for (int i = 0; i < kShadowEntries; i++) {
        uint32_t *e = table + i * kWords;
        if (empty(e) || !valid(unit, e)) continue;
        if ((flags & DRV_MEM_OP_DELETE_BY_PORT) && port_of(unit, e) != static_cast<uint32_t>(port))
            continue;
        if ((flags & DRV_MEM_OP_DELETE_BY_VLANID) &&
            drv_arl_entry_field(unit, e, DRV_MEM_FIELD_VLANID) != static_cast<uint32_t>(vid))
            continue;
        if (!(flags & DRV_MEM_OP_DELETE_BY_STATIC) &&
            drv_arl_entry_field(unit, e, DRV_MEM_FIELD_STATIC))
            continue;
        // The chip has flushed the entry: the shadow says so at once, not at
        // the end of the thread's pass, which only tidies the row up.
        note_removal(unit, i);
        soc_arl_notify(unit, e, nullptr);
        uint32_t zero[2] = {0, 0};
        drv_mem::field_set(unit, L2_ARL_SWm, F_VALID_R, e, zero);
        soc_arl_delete_mark(unit, i);
    }
    return 0;
}

int soc_arl_static_delete(int unit, const uint32_t *key, uint32_t mode) {
    if (shadow(unit) == nullptr) return 0;
    uint32_t port = drv_arl_entry_field(unit, key, DRV_MEM_FIELD_SRC_PORT);
    uint32_t vid = drv_arl_entry_field(unit, key, DRV_MEM_FIELD_VLANID);
    for (int i = 0; i < kShadowEntries; i++) {
        uint32_t e[kWords];
        {
            SalLock lock(SOC_CONTROL(unit)->arl_table_lock);
            uint32_t *table = shadow(unit);
            if (table == nullptr) return 0;
            std::memcpy(e, table + i * kWords, sizeof e);
        }
        if (empty(e) || !valid(unit, e) || !drv_arl_entry_field(unit, e, DRV_MEM_FIELD_STATIC))
            continue;
        bool mc = mcast(unit, e);
        if (!(mc ? mode & 2 : mode & 1)) continue;
        if ((mode & 4) && drv_arl_entry_field(unit, e, DRV_MEM_FIELD_SRC_PORT) != port) continue;
        if ((mode & 8) && drv_arl_entry_field(unit, e, DRV_MEM_FIELD_VLANID) != vid) continue;
        DRV_SERVICES(unit)->mem_delete(unit, DRV_MEM_MARL, e,
                                       DRV_MEM_OP_BY_MAC | DRV_MEM_OP_BY_VLAN);
    }
    return 0;
}

namespace {

// Reads the learning-disabled ports; the 7101 keeps them in its own bit order.
int dis_learn_read(int unit, DrvRegValue &reg, uint32_t w[2], soc_pbmp_t *cur) {
    if (int rv = reg.read(); rv < 0) return rv;
    reg.getWords(F_DIS_LEARN, w);
    if (SOC_IS_DXP7101(unit))
        soc_tarn_regval_to_pbmp(unit, cur, w[0], w[1]);
    else
        *cur = {{w[0], w[1]}};
    return 0;
}

}  // namespace

int drv_arl_learn_enable_set(int unit, soc_pbmp_t bmp, uint32_t mode) {
    if (mode == 3) return SOC_E_UNAVAIL;
    if (mode != 1 && mode != 2) return SOC_E_PARAM;
    if (!(SOC_CONTROL(unit)->chip_flags & 0x36000000)) return SOC_E_UNAVAIL;
    DrvRegValue reg(unit, R_DIS_LEARN);
    uint32_t w[2] = {0, 0};
    soc_pbmp_t cur{};
    if (int rv = dis_learn_read(unit, reg, w, &cur); rv < 0) return rv;
    for (int p = 0; p < 64; p++) {
        if (!soc_pbmp_member(bmp, p)) continue;
        if (mode == 1)
            soc_pbmp_port_remove(&cur, p);
        else
            soc_pbmp_port_add(&cur, p);
    }
    if (SOC_IS_DXP7101(unit)) {
        soc_tarn_pbmp_to_regval(unit, cur, w);
    } else {
        w[0] = cur.w[0];
        w[1] = cur.w[1];
    }
    reg.setWords(F_DIS_LEARN, w);
    return reg.write();
}

int drv_arl_learn_enable_get(int unit, int port, int *mode) {
    if (!(SOC_CONTROL(unit)->chip_flags & 0x36000000)) return SOC_E_UNAVAIL;
    DrvRegValue reg(unit, R_DIS_LEARN);
    uint32_t w[2] = {0, 0};
    soc_pbmp_t cur{};
    if (int rv = dis_learn_read(unit, reg, w, &cur); rv < 0) return rv;
    *mode = soc_pbmp_member(cur, port) ? 2 : 1;
    return 0;
}
