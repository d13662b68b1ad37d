// The "vlan" settings item: every chip VLAN with its members, untagged ports
// and spanning-tree group; a load rebuilds the chip's VLANs and the table.
#include <algorithm>
#include <cstring>
#include <vector>

#include "dxp.h"
#include "port_reserve.h"
#include "serialize.h"
#include "settings.h"
#include "logger.h"
#include "trunkmgr.h"
#include "vlanmgr.h"
#include "sal_lock.h"

namespace {

constexpr uint32_t kVersion = 0x88740001;

size_t record_size() {
    return static_cast<size_t>(board_num_uports / 8) * 512 + 3328;
}

struct Lists {
    dxpx_lplist_t members{}, untagged{};
    Lists() {
        dxpx_lplist_init(&members, 0, 0);
        dxpx_lplist_init(&untagged, 0, 0);
    }
    ~Lists() {
        dxpx_lplist_free(&members);
        dxpx_lplist_free(&untagged);
    }
    Lists(const Lists &) = delete;
    Lists &operator=(const Lists &) = delete;
};

struct Bitmaps {
    upbmp_t members{}, untagged{};
    bool ok;
    Bitmaps() {
        ok = upbmp_alloc(&members, board_num_uports) == 0 &&
             upbmp_alloc(&untagged, board_num_uports) == 0;
    }
    ~Bitmaps() {
        upbmp_free(&members);
        upbmp_free(&untagged);
    }
    Bitmaps(const Bitmaps &) = delete;
    Bitmaps &operator=(const Bitmaps &) = delete;
};

int save(settings_medium *m) {
    SalLock trunks(trunkmgr_lock());  // trunks before VLANs
    SalLock hold(qsw_vlanmgr_lock());
    std::vector<uint8_t> rec(record_size());
    const size_t k = static_cast<size_t>(board_num_uports / 8 + 1);
    size_t at = 0;
    int written = 0;
    Lists lists;
    Bitmaps bmp;
    if (!bmp.ok) return -1;
    // One wait for the unit's API lock, not one per VLAN id behind whatever
    // else holds it.
    DxpUnitLock api(DXPX_CPU_UNIT);
    for (int vid = 1; vid <= 4094 && written < VLANMGR_MAX; vid++) {
        if (dxpx_vlan_port_get(static_cast<dxp_vlan_t>(vid), &lists.members, &lists.untagged) != 0)
            continue;
        int stg = 0;
        dxp_vlan_stg_get(DXPX_CPU_UNIT, static_cast<dxp_vlan_t>(vid), &stg);
        qsw_vlanmgr_lplist_to_upbmp(&lists.members, &bmp.members);
        qsw_vlanmgr_lplist_to_upbmp(&lists.untagged, &bmp.untagged);
        rec[at] = static_cast<uint8_t>(k);
        std::memcpy(&rec[at + 4], bmp.untagged.bits, k);
        at += 4 + k;
        rec[at] = static_cast<uint8_t>(k);
        std::memcpy(&rec[at + 4], bmp.members.bits, k);
        at += 4 + k;
        rec[at++] = static_cast<uint8_t>(stg);
        rec[at++] = static_cast<uint8_t>(vid & 0xff);
        rec[at++] = static_cast<uint8_t>(vid >> 8);
        written++;
    }
    if (medium_write_bytes(m, rec.data(), rec.size()) != 0) return -1;
    return static_cast<int>(rec.size());
}

// One stored VLAN; false at the end of the list or at a bad entry (logged).
struct Entry {
    const uint8_t *untagged, *members;
    int stg;
    uint16_t vid;
};
bool next_entry(const std::vector<uint8_t> &rec, size_t &at, Entry &e) {
    const size_t k = static_cast<size_t>(board_num_uports / 8 + 1);
    const size_t len = 2 * (4 + k) + 3;
    if (at + len > rec.size()) return false;  // 256 entries read
    const uint8_t *p = &rec[at];
    uint16_t vid = static_cast<uint16_t>((p[len - 2] | p[len - 1] << 8) & 0xfff);
    if (vid == 0 && p[0] == 0) return false;
    if (p[0] != k || p[4 + k] != k || vid == 0 || vid >= 4095) {
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_VLAN,
                      "VLAN settings: bad entry at byte %u (VID %u, %u port bytes)",
                      static_cast<unsigned>(at), vid, p[0]);
        return false;
    }
    e = {.untagged = p + 4, .members = p + 8 + k, .stg = p[len - 3], .vid = vid};
    at += len;
    return true;
}

int apply(const Entry &e) {
    const size_t k = static_cast<size_t>(board_num_uports / 8 + 1);
    Bitmaps bmp;
    Lists lists;
    if (!bmp.ok) return SOC_E_MEMORY;
    std::memcpy(bmp.members.bits, e.members, k);
    std::memcpy(bmp.untagged.bits, e.untagged, k);
    // Settings stored by a board with more ports name ports this one lacks:
    // those are dropped, so the VLAN keeps the ports it can have.
    bool foreign = false;
    for (int n = board_num_uports + 1; n < static_cast<int>(k * 8); n++) {
        const auto bit = static_cast<uint8_t>(1u << (n % 8));
        foreign = foreign || ((bmp.members.bits[n / 8] | bmp.untagged.bits[n / 8]) & bit) != 0;
        bmp.members.bits[n / 8] &= static_cast<uint8_t>(~bit);
        bmp.untagged.bits[n / 8] &= static_cast<uint8_t>(~bit);
    }
    if (foreign)
        logger_printf(LOG_LEVEL_WARNING, LOG_MOD_VLAN,
                      "VLAN settings: VLAN %u names ports past port %d; they are left out", e.vid,
                      board_num_uports);
    if (e.vid == 1) {
        for (int n = 1; n <= board_num_uports; n++)
            dxpx_lplist_add(&lists.members, user_port_map[n]);
        dxpx_vlan_port_remove(1, lists.members);
    } else {
        int rv = dxpx_vlan_create(e.vid);
        if (rv != 0) {
            logger_printf(LOG_LEVEL_ERROR, LOG_MOD_VLAN,
                          "VLAN settings: VLAN %u cannot be created: %s", e.vid, dxp_errmsg(rv));
            return rv;
        }
    }
    int rv = upbmp_to_lplist(&bmp.members, &lists.members);
    if (rv == 0) rv = upbmp_to_lplist(&bmp.untagged, &lists.untagged);
    if (rv == 0 && dxpx_lplist_count(&lists.members) > 0)
        rv = dxpx_vlan_port_add(e.vid, lists.members, lists.untagged);
    // Through the group service, so that its lists follow the chip.
    if (rv == 0) dxp_stg_vlan_add(DXPX_CPU_UNIT, e.stg, e.vid);
    if (rv != 0)
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_VLAN, "VLAN settings: ports of VLAN %u: %s", e.vid,
                      dxp_errmsg(rv));
    // The table takes what the chip holds, so the pages never show members
    // the chip refused.
    if (dxpx_vlan_port_get(e.vid, &lists.members, &lists.untagged) != 0) return rv;
    qsw_vlanmgr_lplist_to_upbmp(&lists.members, &bmp.members);
    qsw_vlanmgr_lplist_to_upbmp(&lists.untagged, &bmp.untagged);
    return qsw_vlanmgr_vlan_set(e.vid, &bmp.members, &bmp.untagged);
}

int rebuild(const std::vector<uint8_t> &rec) {
    // The chip and the table change together, against the page and the
    // monitor.
    SalLock trunks(trunkmgr_lock());  // trunks before VLANs
    SalLock hold(qsw_vlanmgr_lock());
    int rv = dxp_vlan_destroy_all(DXPX_CPU_UNIT);
    if (rv != 0)
        logger_printf(LOG_LEVEL_ERROR, LOG_MOD_VLAN,
                      "VLAN settings: chip VLANs cannot be cleared: %s", dxp_errmsg(rv));
    qsw_vlanmgr_reset();
    size_t at = 0;
    Entry e{};
    for (int i = 0; i < VLANMGR_MAX && next_entry(rec, at, e); i++)
        apply(e);
    return static_cast<int>(rec.size());
}

int load(settings_medium *m) {
    std::vector<uint8_t> rec(record_size());
    if (board_num_uports == 0 || medium_read_bytes(m, rec.data(), rec.size()) != 0) return -1;
    // The table is rebuilt whole, which would take the ports under self-test
    // out of the test's VLANs: it waits for the next load. No test starts
    // while it is rebuilt.
    if (port_reserve_hold_all() != 0) {
        const int lport = port_reserve_first_lport();
        if (int uport = 0; ulpm_to_uport(lport, &uport) == 0)
            settings_load_skipped(LOG_MOD_VLAN, "VLAN table: port %d: %s", uport,
                                  port_reserve_held_text_lport(lport));
        else
            settings_load_skipped(LOG_MOD_VLAN, "VLAN table: %s",
                                  port_reserve_held_text_lport(lport));
        return static_cast<int>(rec.size());
    }
    const int size = rebuild(rec);
    port_reserve_unhold();
    return size;
}

// The VLANs of the backup image checked last on this thread, for the
// check of the port rows' PVIDs that follows in the same round.
struct CheckedVlans {
    uint32_t round = 0;
    std::vector<uint16_t> vids;
};
thread_local CheckedVlans checked;

void note_backup_vlans(settings_medium *m) {
    std::vector<uint8_t> rec(record_size());
    if (medium_read_bytes(m, rec.data(), rec.size()) != 0) return;
    checked.vids.clear();
    size_t at = 0;
    Entry e{};
    for (int i = 0; i < VLANMGR_MAX && next_entry(rec, at, e); i++)
        checked.vids.push_back(e.vid);
    checked.round = settings_check_round();
}

int check(settings_medium *m) {
    if (!settings_check_record_size(m, kVersion, record_size())) return 0;
    if (settings_check_of_backup()) note_backup_vlans(m);
    return 1;
}

}  // namespace

bool vlanmgr_checked_vid_exist(uint16_t vid) {
    if (!settings_check_of_backup() || checked.round != settings_check_round())
        return qsw_vlanmgr_vid_exist(vid) != 0;
    return std::find(checked.vids.begin(), checked.vids.end(), vid) != checked.vids.end();
}

int vlanmgr_item(int op, settings_medium *m) {
    return settings_item_dispatch(op, m, load, save, kVersion, check);
}
