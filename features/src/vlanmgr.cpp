// VLAN table: a VID index kept sorted over 256 slots of member and untagged
// user-port bitmaps.
#include "vlanmgr.h"

#include "logger.h"
#include "sal_lock.h"

namespace {

struct IndexEntry {
    uint8_t used;
    uint8_t slot;
    uint16_t vid;
};
struct Slot {
    uint32_t in_use;
    upbmp_t members;
    upbmp_t untagged;
};

// The index, the slots and the count are guarded by "VLANMGR"
// (qsw_vlanmgr_lock()).
IndexEntry vid_index[VLANMGR_MAX];
Slot slots[VLANMGR_MAX];
uint16_t count = 0;
sal_mutex_t lock = nullptr;

constexpr IndexEntry kUnused = {.used = 0, .slot = 0, .vid = VLANMGR_VID_NONE};

void slot_release(Slot &s) {
    upbmp_free(&s.members);
    upbmp_free(&s.untagged);
    s = {};
}

int slot_take(Slot &s) {
    int rv = upbmp_alloc(&s.members, board_num_uports);
    if (rv == SOC_E_NONE) rv = upbmp_alloc(&s.untagged, board_num_uports);
    if (rv != SOC_E_NONE) {
        slot_release(s);
        return rv;
    }
    s.in_use = 1;
    return rv;
}

int copy_out(const Slot &s, upbmp_t *members, upbmp_t *untagged) {
    int rv = upbmp_alloc(members, board_num_uports);
    if (rv != SOC_E_NONE) return rv;
    rv = upbmp_alloc(untagged, board_num_uports);
    if (rv != SOC_E_NONE) {
        upbmp_free(members);
        return rv;
    }
    upbmp_copy(members, &s.members);
    upbmp_copy(untagged, &s.untagged);
    return SOC_E_NONE;
}

// Slot 0 and VLAN 1 at index 0; every other slot free.
void reset_locked() {
    for (int i = 1; i < VLANMGR_MAX; i++) {
        if (slots[i].in_use) slot_release(slots[i]);
        vid_index[i] = kUnused;
    }
    vid_index[0] = {.used = 1, .slot = 0, .vid = 1};
    count = 1;
}

}  // namespace

sal_mutex_t qsw_vlanmgr_lock(void) {
    static sal_mutex_t m = sal_mutex_create("VLANMGR");
    return m;
}

int qsw_vlanmgr_init(void) {
    if (lock == nullptr) lock = qsw_vlanmgr_lock();
    if (lock == nullptr) {
        logger_puts(LOG_LEVEL_ERROR, LOG_MOD_VLAN, "VLAN MGR mutex create failed!");
        return -1;
    }
    SalLock hold(lock);
    reset_locked();
    slot_release(slots[0]);
    return slot_take(slots[0]);
}

uint16_t qsw_vlanmgr_count_get(void) {
    SalLock hold(lock);
    return count;
}

int qsw_vlanmgr_vid_exist(uint16_t vid) {
    SalLock hold(lock);
    for (int i = 0; i < count; i++) {
        if (vid_index[i].used && vid_index[i].vid == vid) return 1;
    }
    return 0;
}

uint16_t qsw_vlanmgr_vid_get(int index) {
    if (index < 0 || index >= VLANMGR_MAX) return VLANMGR_VID_NONE;
    SalLock hold(lock);
    return vid_index[index].used ? vid_index[index].vid : VLANMGR_VID_NONE;
}

uint16_t qsw_vlanmgr_vlan_get_by_index(int index, upbmp_t *members, upbmp_t *untagged) {
    if (index < 0 || index >= VLANMGR_MAX) return VLANMGR_VID_NONE;
    SalLock hold(lock);
    const IndexEntry &e = vid_index[index];
    if (!e.used || copy_out(slots[e.slot], members, untagged) != SOC_E_NONE)
        return VLANMGR_VID_NONE;
    return e.vid;
}

int qsw_vlanmgr_vlan_get(uint16_t vid, upbmp_t *members, upbmp_t *untagged) {
    SalLock hold(lock);
    for (int i = 0; i < count; i++) {
        if (vid_index[i].used && vid_index[i].vid == vid)
            return copy_out(slots[vid_index[i].slot], members, untagged);
    }
    return SOC_E_NOT_FOUND;
}

int qsw_vlanmgr_vlan_set(uint16_t vid, const upbmp_t *members, const upbmp_t *untagged) {
    SalLock hold(lock);
    int at = 0;
    while (at < VLANMGR_MAX && vid_index[at].used && vid_index[at].vid < vid)
        at++;
    if (at < VLANMGR_MAX && vid_index[at].used && vid_index[at].vid == vid) {
        Slot &s = slots[vid_index[at].slot];
        upbmp_copy(&s.members, members);
        upbmp_copy(&s.untagged, untagged);
        return SOC_E_NONE;
    }
    int slot = qsw_vlanmgr_free_slot_find();
    if (slot < 0 || count >= VLANMGR_MAX) return SOC_E_FAIL;
    int rv = slot_take(slots[slot]);
    if (rv != SOC_E_NONE) return rv;
    for (int i = count; i > at; i--)
        vid_index[i] = vid_index[i - 1];
    vid_index[at] = {.used = 1, .slot = static_cast<uint8_t>(slot), .vid = vid};
    count++;
    upbmp_copy(&slots[slot].members, members);
    upbmp_copy(&slots[slot].untagged, untagged);
    return SOC_E_NONE;
}

int qsw_vlanmgr_vlan_delete(uint16_t vid) {
    SalLock hold(lock);
    for (int i = 1; i < count; i++) {
        if (!vid_index[i].used || vid_index[i].vid != vid) continue;
        slot_release(slots[vid_index[i].slot]);
        for (int j = i; j + 1 < count; j++)
            vid_index[j] = vid_index[j + 1];
        count--;
        vid_index[count] = kUnused;
        break;
    }
    return SOC_E_NONE;
}

int qsw_vlanmgr_reset(void) {
    SalLock hold(lock);
    reset_locked();
    upbmp_clear_all(&slots[0].members);
    upbmp_clear_all(&slots[0].untagged);
    return SOC_E_NONE;
}

int qsw_vlanmgr_lplist_to_upbmp(const dxpx_lplist_t *list, upbmp_t *bmp) {
    upbmp_clear_all(bmp);
    int set = 0;
    for (int i = 0; i < dxpx_lplist_count(list); i++) {
        int uport = 0;
        if (ulpm_to_uport(list->lp_ports[i], &uport) == SOC_E_NONE && upbmp_add(bmp, uport) == 0)
            set++;
    }
    return set;
}

int qsw_vlanmgr_free_slot_find(void) {
    SalLock hold(lock);
    for (int i = 0; i < VLANMGR_MAX; i++) {
        if (!slots[i].in_use) return i;
    }
    return SOC_E_NOT_FOUND;
}
