// The address table of the 53-port chips: one hashed slot per key reached
// through ARLA_MAC/ARLA_VID and ARLA_ENTRY/ARLA_VID_ENTRY, the hardware walk,
// and the removals, each keeping the L2 shadow in step.
#include <cstring>

#include "drv_mem.h"
#include "drv_reg_rmw.h"
#include "drv_wide.h"
#include "soc_cm.h"
#include "soc_error.h"
#include "wide_internal.h"

using namespace drv_wide;

namespace {

constexpr int kWords = DRV_ARL_ENTRY_WORDS;
constexpr int kShadowSlots = 8192;
constexpr uint32_t kMcastIndexPortBits = 0x3f;
constexpr int kMcastRsrvShift = 6;
constexpr int kMcastPriShift = 9;
constexpr int kMcastAgeShift = 11;
constexpr int kMstConRestoreTries = 3;
constexpr uint32_t kDeleteFilters = DRV_MEM_OP_DELETE_BY_PORT | DRV_MEM_OP_DELETE_BY_VLANID |
                                    DRV_MEM_OP_DELETE_BY_SPT | DRV_MEM_OP_DELETE_BY_STATIC;

class Lock {
  public:
    explicit Lock(sal_mutex_t m) : m_(m) { sal_mutex_take(m_, -1); }
    ~Lock() { sal_mutex_give(m_); }
    Lock(const Lock &) = delete;
    Lock &operator=(const Lock &) = delete;

  private:
    sal_mutex_t m_;
};

// The register field services already move a port field by 24 on the
// DXP7106, so a unicast port passes through as it is; raw port bits (the
// multicast index bits that share the field, the fast-age port) must carry
// that shift themselves.
uint32_t raw_port_offset(int unit) {
    return SOC_CONTROL(unit)->chip_flags & SOC_CHIP_DXP7106 ? kPortOffset : 0;
}

uint32_t get(int unit, const uint32_t *entry, uint32_t field) {
    uint32_t v[2] = {0, 0};
    DRV_SERVICES(unit)->mem_field_get(unit, DRV_MEM_ARL, field, const_cast<uint32_t *>(entry), v);
    return v[0];
}

void put(int unit, uint32_t *entry, uint32_t field, uint32_t value) {
    uint32_t v[2] = {value, 0};
    DRV_SERVICES(unit)->mem_field_set(unit, DRV_MEM_ARL, field, entry, v);
}

uint64_t mac_of(int unit, const uint32_t *entry) {
    uint32_t v[2] = {0, 0};
    DRV_SERVICES(unit)->mem_field_get(unit, DRV_MEM_ARL, DRV_MEM_FIELD_MAC,
                                      const_cast<uint32_t *>(entry), v);
    return v[0] | static_cast<uint64_t>(v[1] & 0xffff) << 32;
}

void put_mac(int unit, uint32_t *entry, uint64_t mac) {
    uint32_t v[2] = {static_cast<uint32_t>(mac), static_cast<uint32_t>(mac >> 32)};
    DRV_SERVICES(unit)->mem_field_set(unit, DRV_MEM_ARL, DRV_MEM_FIELD_MAC, entry, v);
}

bool multicast(uint64_t mac) {
    return (mac >> 40) & 1;
}

int write_key(int unit, uint64_t mac, uint32_t vid, bool with_vid) {
    DrvRegValue m(unit, R_ARLA_MAC);
    m.words()[0] = static_cast<uint32_t>(mac);
    m.words()[1] = static_cast<uint32_t>(mac >> 32) & 0xffff;
    if (int rv = m.write(); rv < 0) return rv;
    if (!with_vid) return 0;
    DrvRegValue v(unit, R_ARLA_VID);
    v.words()[0] = vid & 0xfff;
    return v.write();
}

// The entry of an ARLA_ENTRY-layout register value; index bits of a group
// address are spread over the port, reserved, priority and age fields.
void fill(int unit, uint32_t *entry, const DrvRegValue &r, uint32_t vid, uint32_t f_mac,
          uint32_t f_pid, uint32_t f_pri, uint32_t f_age, uint32_t f_con, uint32_t f_static,
          bool force_static) {
    std::memset(entry, 0, kWords * sizeof(uint32_t));
    uint32_t mw[2] = {0, 0};
    r.getWords(f_mac, mw);
    uint64_t mac = mw[0] | static_cast<uint64_t>(mw[1] & 0xffff) << 32;
    put_mac(unit, entry, mac);
    if (multicast(mac)) {
        uint32_t index = (r.get(f_pid) + raw_port_offset(unit)) +
                         (r.get(F_RESERVED_R) << kMcastRsrvShift) +
                         (r.get(f_pri) << kMcastPriShift) + (r.get(f_age) << kMcastAgeShift);
        put(unit, entry, DRV_MEM_FIELD_DEST_BITMAP, index);
        put(unit, entry, DRV_MEM_FIELD_STATIC, force_static ? 1 : r.get(f_static));
    } else {
        put(unit, entry, DRV_MEM_FIELD_SRC_PORT, r.get(f_pid));
        put(unit, entry, DRV_MEM_FIELD_PRIORITY, r.get(f_pri));
        put(unit, entry, DRV_MEM_FIELD_AGE, r.get(f_age));
        put(unit, entry, DRV_MEM_FIELD_STATIC, r.get(f_static));
    }
    put(unit, entry, DRV_MEM_FIELD_VLANID, vid);
    put(unit, entry, DRV_MEM_FIELD_ARL_CONTROL, r.get(f_con));
    put(unit, entry, DRV_MEM_FIELD_VALID, 1);
}

// By-key lookup: SOC_E_EXISTS (entry filled), SOC_E_NOT_FOUND, SOC_E_FULL
// (the key's slot holds another key), or with DRV_MEM_OP_REPLACE 0 when the
// slot may be written.
int search_key(int unit, const uint32_t *key, uint32_t *entry, uint32_t flags) {
    Lock lock(SOC_CONTROL(unit)->arl_search_lock);
    bool with_vid = flags & DRV_MEM_OP_BY_VLAN;
    int rv = drv_reg_modify(unit, R_VLAN_CTRL0, 0, [&](DrvRegValue &v) {
        v.set(F_VLAN_EN, 1);
        v.set(F_VLAN_LEARN_MODE, with_vid ? 3 : 0);
        return 0;
    });
    if (rv < 0) return rv;
    uint64_t mac = mac_of(unit, key);
    uint32_t vid = get(unit, key, DRV_MEM_FIELD_VLANID);
    if (rv = write_key(unit, mac, vid, with_vid); rv < 0) return rv;
    if (rv = start_and_poll(unit, true, 0); rv < 0) return rv;
    DrvRegValue e(unit, R_ARLA_ENTRY);
    if (rv = e.read(); rv < 0) return rv;
    bool replace = flags & DRV_MEM_OP_REPLACE;
    if (replace) soc_cm_debug_print(0x80, "DRV_MEM_OP_REPLACE\n");
    if (!e.get(F_ARL_VALID)) return replace ? 0 : SOC_E_NOT_FOUND;
    DrvRegValue v(unit, R_ARLA_VID_ENTRY);
    if (rv = v.read(); rv < 0) return rv;
    uint32_t mw[2] = {0, 0};
    e.getWords(F_ARL_MACADDR, mw);
    uint64_t found = mw[0] | static_cast<uint64_t>(mw[1] & 0xffff) << 32;
    bool same = found == mac && (!with_vid || (v.words()[0] & 0xfff) == vid);
    if (!same && replace && !e.get(F_ARL_STATIC)) return 0;
    // A slot holding another key shows that entry: what the key conflicts with.
    fill(unit, entry, e, v.words()[0] & 0xfff, F_ARL_MACADDR, F_ARL_PID, F_ARL_PRI, F_ARL_AGE,
         F_ARL_CON, F_ARL_STATIC, true);
    if (!same) return SOC_E_FULL;
    return replace ? 0 : SOC_E_EXISTS;
}

int walk_next(int unit, void *key, uint32_t *entry, uint32_t flags) {
    bool by_port = flags & DRV_MEM_OP_SEARCH_PORT;
    uint32_t wanted =
        by_port ? get(unit, static_cast<const uint32_t *>(key), DRV_MEM_FIELD_SRC_PORT) : 0;
    int idle = 0;
    for (;;) {
        DrvRegValue ctl(unit, R_ARLA_SRCH_CTL);
        if (int rv = ctl.read(); rv < 0) return rv;
        if (!ctl.get(F_ARLA_SRCH_STDN)) return 0;
        if (!ctl.get(F_ARLA_SRCH_VLID)) {
            // A walk still running without a result is cut short, not ended.
            if (++idle >= kPolls) return SOC_E_TIMEOUT;
            continue;
        }
        if (!by_port) {
            DrvRegValue adr(unit, R_ARLA_SRCH_ADR);
            if (int rv = adr.read(); rv < 0) return rv;
            *static_cast<uint32_t *>(key) = adr.get(F_ARLA_SRCH_ADR);
        }
        DrvRegValue vid(unit, R_ARLA_SRCH_RSLT_VID);
        if (int rv = vid.read(); rv < 0) return rv;
        DrvRegValue r(unit, R_ARLA_SRCH_RSLT);
        if (int rv = r.read(); rv < 0) return rv;
        if (by_port && r.get(F_ARLA_SRCH_RSLT_PRID) != wanted) {
            idle = 0;
            continue;
        }
        fill(unit, entry, r, vid.words()[0] & 0xfff, F_ARLA_SRCH_RSLT_ADDR, F_ARLA_SRCH_RSLT_PRID,
             F_ARLA_SRCH_RSLT_PRI, F_ARLA_SRCH_RSLT_AGE, F_ARL_SRCH_RSLT_CON,
             F_ARLA_SRCH_RSLT_STATIC, false);
        put(unit, entry, DRV_MEM_FIELD_VALID, r.get(F_ARLA_SRCH_RSLT_VLID));
        return SOC_E_EXISTS;
    }
}

int remove_key(int unit, uint64_t mac, uint32_t vid) {
    if (int rv = write_key(unit, mac, vid, true); rv < 0) return rv;
    DrvRegValue e(unit, R_ARLA_ENTRY);
    if (int rv = e.write(); rv < 0) return rv;
    DrvRegValue v(unit, R_ARLA_VID_ENTRY);
    if (int rv = v.write(); rv < 0) return rv;
    return start_and_poll(unit, false, 0);
}

bool unavailable_id(uint32_t mem) {
    return (mem >= DRV_MEM_VLAN && mem <= DRV_MEM_GEN) || mem == DRV_MEM_MACVLAN;
}

// Over the shadow slots holding valid entries: which 1 unicast, 2 multicast;
// op 2 removes the key from the chip, op 1 clears the slot.
int sweep(int unit, int op, int which) {
    soc_control_t *soc = SOC_CONTROL(unit);
    Lock lock(soc->arl_table_lock);
    auto *table = static_cast<uint32_t *>(soc->arl_table);
    if (table == nullptr) {
        soc_cm_debug_print(DK_ERR, "soc arl table not allocated");
        return SOC_E_FAIL;
    }
    for (int i = 0; i < kShadowSlots; i++) {
        uint32_t *slot = table + i * kWords;
        if ((slot[0] | slot[1] | slot[2]) == 0 || !get(unit, slot, DRV_MEM_FIELD_VALID)) continue;
        uint64_t mac = mac_of(unit, slot);
        if (!(which & (multicast(mac) ? 2 : 1))) continue;
        if (op & 2) remove_key(unit, mac, get(unit, slot, DRV_MEM_FIELD_VLANID));
        if (op & 1) std::memset(slot, 0, kWords * sizeof(uint32_t));
    }
    return 0;
}

// Starts the fast age MST_CON describes and polls until the chip is done.
int fast_age(DrvRegValue &con) {
    if (int rv = con.write(); rv < 0) return rv;
    for (int polls = 0; polls < kPolls; polls++) {
        if (int rv = con.read(); rv < 0) return rv;
        if (!con.get(F_FAST_AGE_STDN)) return 0;
    }
    return SOC_E_TIMEOUT;
}

// The chip ages the whole table at once (static entries too); the shadow
// follows. MST_CON is restored with a bounded number of tries.
int flush_all(int unit, uint32_t mem) {
    if (mem == DRV_MEM_MARL) return sweep(unit, 3, 2);
    DrvRegValue kept(unit, R_MST_CON);
    if (int rv = kept.read(); rv < 0) return rv;
    DrvRegValue con(unit, R_MST_CON);
    con.words()[0] = kept.words()[0];
    con.set(F_AGE_MODE_PRT, 0);
    con.set(F_AGE_MODE_VLAN, 0);
    con.set(F_EN_AGE_STATIC, 1);
    con.set(F_FAST_AGE_STDN, 1);
    int rv = fast_age(con);
    // As a filtered flush: the shadow's thread learns of it too.
    if (rv >= 0) soc_arl_shadow_flush(unit, 0, 0, DRV_MEM_OP_DELETE_ALL_ARL);
    kept.set(F_FAST_AGE_STDN, 0);
    int restore = SOC_E_FAIL;
    for (int t = 0; t < kMstConRestoreTries && restore < 0; t++)
        restore = kept.write();
    return rv < 0 ? rv : restore;
}

// Removes every entry of a port and/or VLAN (static ones on request) with
// the chip's filtered fast age, then drops them from the shadow. MST_CON and
// AGEOUT_CTL are put back whatever happened.
int delete_filtered(int unit, const uint32_t *key, uint32_t flags) {
    soc_control_t *soc = SOC_CONTROL(unit);
    const uint32_t port = get(unit, key, DRV_MEM_FIELD_SRC_PORT);
    const uint32_t vid = get(unit, key, DRV_MEM_FIELD_VLANID);
    const bool by_port = (flags & DRV_MEM_OP_DELETE_BY_PORT) != 0;
    const bool by_vlan = (flags & DRV_MEM_OP_DELETE_BY_VLANID) != 0;
    Lock l2(soc->mem_state[L2_ARLm].lock);
    DrvRegValue kept_ctl(unit, R_AGEOUT_CTL), kept_con(unit, R_MST_CON);
    if (int rv = kept_ctl.read(); rv < 0) return rv;
    if (int rv = kept_con.read(); rv < 0) return rv;
    DrvRegValue ctl = kept_ctl, con = kept_con;
    if (by_port) ctl.set(F_AGE_EN_PRT, port + raw_port_offset(unit));
    if (by_vlan) ctl.set(F_AGE_EN_VID, vid);
    con.set(F_AGE_MODE_PRT, by_port ? 1 : 0);
    con.set(F_AGE_MODE_VLAN, by_vlan ? 1 : 0);
    con.set(F_EN_AGE_STATIC, (flags & DRV_MEM_OP_DELETE_BY_STATIC) ? 1 : 0);
    con.set(F_FAST_AGE_STDN, 1);
    int rv = ctl.write();
    if (rv >= 0) rv = fast_age(con);
    if (rv >= 0)
        rv = soc_arl_shadow_flush(unit, static_cast<int>(port), static_cast<int>(vid), flags);
    kept_con.set(F_FAST_AGE_STDN, 0);
    const int restore_con = kept_con.write();
    const int restore_ctl = kept_ctl.write();
    if (rv < 0) return rv;
    return restore_con < 0 ? restore_con : restore_ctl;
}

int delete_by_key(int unit, const uint32_t *entry, uint32_t flags) {
    uint32_t s = (flags & DRV_MEM_OP_DELETE_BY_STATIC) ? 1 : get(unit, entry, DRV_MEM_FIELD_STATIC);
    soc_cm_debug_print(DK_MEM, "\t Normal ARL DEL with Static=%d\n", s);
    Lock lock(SOC_CONTROL(unit)->mem_state[L2_ARLm].lock);
    uint32_t found[kWords] = {0, 0, 0};
    int rv = search_key(unit, entry, found, flags);
    if (rv == SOC_E_NOT_FOUND || rv == SOC_E_FULL) return SOC_E_NOT_FOUND;
    if (rv != SOC_E_EXISTS) return rv < 0 ? rv : 0;
    DrvRegValue e(unit, R_ARLA_ENTRY);
    if (rv = e.read(); rv < 0) return rv;
    if (s == 0 && e.get(F_ARL_STATIC)) {
        soc_cm_debug_print(DK_MEM, "\t Entry exist with static=%d\n", 1);
        return SOC_E_NOT_FOUND;
    }
    rv = remove_key(unit, mac_of(unit, found), get(unit, found, DRV_MEM_FIELD_VLANID));
    if (rv < 0) return rv;
    return soc_arl_shadow_delete(unit, 0, found);
}

}  // namespace

int drv_dxp7101_mem_search(int unit, uint32_t mem, void *key, uint32_t *entry, uint32_t *,
                           uint32_t flags) {
    soc_cm_debug_print(DK_MEM, "drv_mem_search : mem=0x%x, flags = 0x%x)\n", mem, flags);
    if (mem != DRV_MEM_ARL && mem != DRV_MEM_MARL)
        return unavailable_id(mem) ? SOC_E_UNAVAIL : SOC_E_PARAM;
    if (flags & DRV_MEM_OP_SEARCH_BUSY) {
        DrvRegValue ctl(unit, R_ARLA_SRCH_CTL);
        if (int rv = ctl.read(); rv < 0) return rv;
        return ctl.get(F_ARLA_SRCH_STDN) ? SOC_E_BUSY : 0;
    }
    if (flags & DRV_MEM_OP_SEARCH_START)
        return drv_reg_field_write(unit, R_ARLA_SRCH_CTL, 0, F_ARLA_SRCH_STDN, 1);
    if (flags & DRV_MEM_OP_SEARCH_NEXT) return walk_next(unit, key, entry, flags);
    if (flags & DRV_MEM_OP_BY_INDEX) {
        soc_cm_print("_drv_dxp7101_mem_search: flag = DRV_MEM_OP_BY_INDEX\n");
        return SOC_E_UNAVAIL;
    }
    if (flags & DRV_MEM_OP_BY_MAC)
        return search_key(unit, static_cast<const uint32_t *>(key), entry, flags);
    return SOC_E_PARAM;
}

int drv_dxp7101_mem_insert(int unit, uint32_t mem, uint32_t *entry, uint32_t flags) {
    soc_cm_debug_print(DK_MEM, "drv_mem_insert : mem=0x%x, flags = 0x%x)\n", mem, flags);
    if (mem != DRV_MEM_ARL) return unavailable_id(mem) ? SOC_E_UNAVAIL : SOC_E_PARAM;
    Lock lock(SOC_CONTROL(unit)->mem_state[L2_ARLm].lock);
    uint32_t found[kWords] = {0, 0, 0};
    int rv = search_key(unit, entry, found, flags);
    if (rv < 0 && rv != SOC_E_EXISTS && rv != SOC_E_NOT_FOUND) return rv;
    if (rv == SOC_E_EXISTS) {
        if (std::memcmp(found, entry, sizeof found) == 0) return 0;
        if (mac_of(unit, found) != mac_of(unit, entry) ||
            get(unit, found, DRV_MEM_FIELD_VLANID) != get(unit, entry, DRV_MEM_FIELD_VLANID))
            return 0;
    }
    uint64_t mac = mac_of(unit, entry);
    DrvRegValue e(unit, R_ARLA_ENTRY);
    uint32_t mw[2] = {static_cast<uint32_t>(mac), static_cast<uint32_t>(mac >> 32)};
    e.setWords(F_ARL_MACADDR, mw);
    if (multicast(mac)) {
        uint32_t index = get(unit, entry, DRV_MEM_FIELD_DEST_BITMAP);
        e.set(F_ARL_PID, (index & kMcastIndexPortBits) - raw_port_offset(unit));
        e.set(F_RESERVED_R, (index >> kMcastRsrvShift) & 7);
        e.set(F_ARL_PRI, (index >> kMcastPriShift) & 3);
        e.set(F_ARL_AGE, (index >> kMcastAgeShift) & 1);
    } else {
        e.set(F_ARL_PID, get(unit, entry, DRV_MEM_FIELD_SRC_PORT));
        e.set(F_ARL_PRI, get(unit, entry, DRV_MEM_FIELD_PRIORITY));
        e.set(F_ARL_AGE, get(unit, entry, DRV_MEM_FIELD_AGE));
    }
    e.set(F_ARL_STATIC, get(unit, entry, DRV_MEM_FIELD_STATIC));
    e.set(F_ARL_CON, get(unit, entry, DRV_MEM_FIELD_ARL_CONTROL));
    e.set(F_ARL_VALID, 1);
    DrvRegValue v(unit, R_ARLA_VID_ENTRY);
    v.words()[0] = get(unit, entry, DRV_MEM_FIELD_VLANID);
    if (rv = v.write(); rv < 0) return rv;
    if (rv = e.write(); rv < 0) return rv;
    if (rv = start_and_poll(unit, false, 0); rv < 0) return rv;
    return soc_arl_shadow_insert(unit, 0, entry);
}

int drv_dxp7101_mem_delete(int unit, uint32_t mem, uint32_t *entry, uint32_t flags) {
    soc_cm_debug_print(DK_MEM, "drv_mem_delete : mem=0x%x, flags = 0x%x)\n", mem, flags);
    if (mem == DRV_MEM_MARL)
        flags &= ~kDeleteFilters;
    else if (mem != DRV_MEM_ARL)
        return unavailable_id(mem) ? SOC_E_UNAVAIL : SOC_E_PARAM;
    if (flags & DRV_MEM_OP_DELETE_ALL_ARL) return flush_all(unit, mem);
    if (entry == nullptr) return SOC_E_PARAM;
    if (flags & (DRV_MEM_OP_DELETE_BY_PORT | DRV_MEM_OP_DELETE_BY_VLANID))
        return delete_filtered(unit, entry, flags);
    return delete_by_key(unit, entry, flags);
}
