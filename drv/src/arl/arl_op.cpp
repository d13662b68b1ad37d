// The L2 table engine: the hash of an entry's index, key lookup through the
// ARLA_* registers, the hardware table search, read by index, and the table
// insert and delete services of the DXP7102.
#include <cstring>
#include <initializer_list>

#include "../mem/mem_internal.h"
#include "drv_mem.h"
#include "drv_reg_value.h"
#include "sal_lock.h"
#include "soc_error.h"

namespace {

constexpr int kPolls = 100;
constexpr int kWords = DRV_ARL_ENTRY_WORDS;

bool is_mcast(uint64_t mac) {
    return (mac >> 40) & 1;
}

uint32_t sw_get(int unit, const uint32_t *e, int field) {
    uint32_t v[2] = {0, 0};
    drv_mem::field_get(unit, field == F_MARL_PBMP_IDX ? L2_MARL_SWm : L2_ARL_SWm, field, e, v);
    return v[0];
}

void sw_set(int unit, uint32_t *e, int field, uint32_t value) {
    uint32_t v[2] = {value, 0};
    drv_mem::field_set(unit, field == F_MARL_PBMP_IDX ? L2_MARL_SWm : L2_ARL_SWm, field, e, v);
}

void sw_set_mac(int unit, uint32_t *e, uint64_t mac) {
    uint32_t v[2] = {static_cast<uint32_t>(mac), static_cast<uint32_t>(mac >> 32)};
    drv_mem::field_set(unit, L2_ARL_SWm, F_MACADDR, e, v);
}

uint64_t reg_words(const DrvRegValue &v, uint32_t field) {
    uint32_t w[2] = {0, 0};
    v.getWords(field, w);
    return w[0] | static_cast<uint64_t>(w[1]) << 32;
}

// Starts a cycle in ARLA_RWCTL and waits for its done bit.
int arl_cycle(int unit, bool read) {
    DrvRegValue ctl(unit, R_ARLA_RWCTL);
    if (int rv = ctl.read(); rv < 0) return rv;
    ctl.set(F_ARL_RW, read ? 1 : 0);
    ctl.set(F_ARL_STRTDN, 1);
    if (int rv = ctl.write(); rv < 0) return rv;
    for (int i = 0; i < kPolls; i++) {
        if (int rv = ctl.read(); rv < 0) return rv;
        if (ctl.get(F_ARL_STRTDN) == 0) return 0;
    }
    return SOC_E_TIMEOUT;
}

constexpr uint32_t kEntryRegs[2] = {R_ARLA_ENTRY0, R_ARLA_ENTRY1};
constexpr uint32_t kVidRegs[2] = {R_ARLA_VID_ENTRY0, R_ARLA_VID_ENTRY1};

struct Bin {
    uint64_t mac;
    uint32_t vid;
    bool valid;
    bool statik;
    DrvRegValue *reg;
};

int lookup(int unit, const uint32_t *key, uint32_t *out, uint32_t flags, int *bin_out) {
    soc_control_t *soc = SOC_CONTROL(unit);
    sal_mutex_take(soc->arl_search_lock, -1);
    struct Release {
        sal_mutex_t m;
        ~Release() { sal_mutex_give(m); }
    } release{soc->arl_search_lock};

    bool by_vlan = flags & DRV_MEM_OP_BY_VLAN;
    DrvRegValue vctl(unit, R_VLAN_CTRL0);
    if (int rv = vctl.read(); rv < 0) return rv;
    vctl.set(F_VLAN_EN, by_vlan ? 1 : 0);
    vctl.set(F_VLAN_LEARN_MODE, by_vlan ? 3 : 0);
    if (int rv = vctl.write(); rv < 0) return rv;

    uint64_t mac = drv_arl_entry_mac(unit, key);
    uint32_t vid = sw_get(unit, key, F_VID_R);
    DrvRegValue kmac(unit, R_ARLA_MAC);
    kmac.words()[0] = static_cast<uint32_t>(mac);
    kmac.words()[1] = static_cast<uint32_t>(mac >> 32);
    if (int rv = kmac.write(); rv < 0) return rv;
    if (by_vlan) {
        DrvRegValue kvid(unit, R_ARLA_VID);
        kvid.words()[0] = vid;
        if (int rv = kvid.write(); rv < 0) return rv;
    }
    if (int rv = arl_cycle(unit, true); rv < 0) return rv;

    DrvRegValue regs[2] = {DrvRegValue(unit, kEntryRegs[0]), DrvRegValue(unit, kEntryRegs[1])};
    Bin bins[2];
    int match = -1;
    for (int b = 0; b < 2; b++) {
        if (int rv = regs[b].read(); rv < 0) return rv;
        DrvRegValue v(unit, kVidRegs[b]);
        if (int rv = v.read(); rv < 0) return rv;
        bins[b] = {reg_words(regs[b], F_ARL_MACADDR), v.words()[0] & 0xfff,
                   regs[b].get(F_ARL_VALID) != 0, regs[b].get(F_ARL_STATIC) != 0, &regs[b]};
        if (bins[b].valid && bins[b].mac == mac && (!by_vlan || bins[b].vid == vid)) match = b;
    }
    int chosen = match;
    if (flags & DRV_MEM_OP_REPLACE) {
        soc_cm_debug_print(DK_MEM, "DRV_MEM_OP_REPLACE\n");
        if (chosen < 0) chosen = !bins[0].valid ? 0 : !bins[1].valid ? 1 : -1;
        if (chosen < 0) chosen = !bins[0].statik ? 0 : !bins[1].statik ? 1 : -1;
    } else if (chosen < 0) {
        chosen = !bins[0].valid ? 0 : !bins[1].valid ? 1 : -1;
    }
    // A full bucket shows its first entry: what the key conflicts with.
    const Bin &b = bins[chosen < 0 ? 0 : chosen];
    std::memset(out, 0, kWords * sizeof(uint32_t));
    sw_set_mac(unit, out, b.mac);
    if (!is_mcast(b.mac)) {
        sw_set(unit, out, F_PORTID_R, b.reg->get(F_ARL_PID));
        sw_set(unit, out, F_PRIORITY_R, b.reg->get(F_ARL_PRI));
        sw_set(unit, out, F_AGE, b.reg->get(F_ARL_AGE));
    } else {
        sw_set(unit, out, F_MARL_PBMP_IDX,
               b.reg->get(F_ARL_PID) + 32 * b.reg->get(F_ARL_PRI) + 128 * b.reg->get(F_ARL_AGE));
    }
    sw_set(unit, out, F_VID_R, b.vid);
    sw_set(unit, out, F_STATIC, b.statik);
    sw_set(unit, out, F_CONTROL, b.reg->get(F_ARL_CON));
    sw_set(unit, out, F_VALID_R, 1);
    if (chosen < 0) return SOC_E_FULL;
    *bin_out = chosen;
    if (flags & DRV_MEM_OP_REPLACE) return 0;
    return match >= 0 ? SOC_E_EXISTS : SOC_E_NOT_FOUND;
}

int search(int unit, void *key, uint32_t *out, uint32_t flags) {
    DrvRegValue ctl(unit, R_ARLA_SRCH_CTL);
    if (flags & DRV_MEM_OP_SEARCH_BUSY) {
        if (int rv = ctl.read(); rv < 0) return rv;
        return ctl.get(F_ARLA_SRCH_STDN) ? SOC_E_BUSY : 0;
    }
    if (flags & DRV_MEM_OP_SEARCH_START) {
        if (int rv = ctl.read(); rv < 0) return rv;
        ctl.set(F_ARLA_SRCH_STDN, 1);
        return ctl.write();
    }
    bool by_port = flags & DRV_MEM_OP_SEARCH_PORT;
    uint32_t port = by_port ? sw_get(unit, static_cast<const uint32_t *>(key), F_PORTID_R) : 0;
    for (int i = 0; i < kPolls; i++) {
        if (int rv = ctl.read(); rv < 0) return rv;
        if (ctl.get(F_ARLA_SRCH_STDN) == 0) return 0;
        if (ctl.get(F_ARLA_SRCH_VLID) == 0) continue;
        int index = -1;
        if (!by_port) {
            DrvRegValue adr(unit, R_ARLA_SRCH_ADR);
            if (int rv = adr.read(); rv < 0) return rv;
            index = static_cast<int>(adr.get(F_ARLA_SRCH_ADR));
        }
        DrvRegValue vid(unit, R_ARLA_SRCH_RSLT_VID);
        if (int rv = vid.read(); rv < 0) return rv;
        DrvRegValue res(unit, R_ARLA_SRCH_RSLT);
        if (int rv = res.read(); rv < 0) return rv;
        if (by_port && res.get(F_ARLA_SRCH_RSLT_PRID) != port) continue;
        if (!by_port) *static_cast<int *>(key) = index;
        std::memset(out, 0, kWords * sizeof(uint32_t));
        uint64_t mac = reg_words(res, F_ARLA_SRCH_RSLT_ADDR);
        sw_set_mac(unit, out, mac);
        sw_set(unit, out, F_VID_R, vid.words()[0] & 0xfff);
        if (!is_mcast(mac)) {
            sw_set(unit, out, F_PORTID_R, res.get(F_ARLA_SRCH_RSLT_PRID));
            sw_set(unit, out, F_PRIORITY_R, res.get(F_ARLA_SRCH_RSLT_PRI));
            sw_set(unit, out, F_AGE, res.get(F_ARLA_SRCH_RSLT_AGE));
        } else {
            sw_set(unit, out, F_MARL_PBMP_IDX,
                   res.get(F_ARLA_SRCH_RSLT_PRID) + 32 * res.get(F_ARLA_SRCH_RSLT_PRI) +
                       128 * res.get(F_ARLA_SRCH_RSLT_AGE));
        }
        sw_set(unit, out, F_STATIC, res.get(F_ARLA_SRCH_RSLT_STATIC));
        sw_set(unit, out, F_CONTROL, res.get(F_ARL_SRCH_RSLT_CON));
        sw_set(unit, out, F_VALID_R, res.get(F_ARLA_SRCH_RSLT_VLID));
        return SOC_E_EXISTS;
    }
    return 0;
}

int read_by_index(int unit, int index, uint32_t *raw, uint32_t *out) {
    uint32_t row[kWords] = {0, 0, 0};
    if (int rv = DRV_SERVICES(unit)->mem_read(unit, DRV_MEM_ARL_HW, index, 1, row); rv < 0)
        return rv;
    if (raw != nullptr) std::memcpy(raw, row, sizeof row);
    auto raw_get = [&](int field) {
        uint32_t v[2] = {0, 0};
        drv_mem::field_get(unit, L2_ARLm, field, row, v);
        return static_cast<uint64_t>(v[0]) | static_cast<uint64_t>(v[1]) << 32;
    };
    if (raw_get(F_VALID_R) == 0) return 0;
    DrvRegValue vctl(unit, R_VLAN_CTRL0);
    if (int rv = vctl.read(); rv < 0) return rv;
    uint64_t high = raw_get(F_MACADDR2);
    uint32_t vid = static_cast<uint32_t>(raw_get(F_VID_R));
    bool by_vlan = vctl.get(F_VLAN_EN) == 1 && vctl.get(F_VLAN_LEARN_MODE) == 3;
    uint64_t key = by_vlan ? static_cast<uint64_t>(vid) << 36 | high : high << 12;
    uint8_t bytes[6];
    for (int k = 0; k < 6; k++)
        bytes[k] = static_cast<uint8_t>(key >> (40 - 8 * k));
    uint16_t crc;
    _drv_arl_crc16(bytes, 48, &crc);
    uint64_t mac = high * 4096 + ((crc ^ static_cast<uint32_t>(index / 2)) & 0xfff);
    std::memset(out, 0, kWords * sizeof(uint32_t));
    sw_set(unit, out, F_VALID_R, 1);
    sw_set(unit, out, F_VID_R, vid);
    sw_set_mac(unit, out, mac);
    uint32_t port = static_cast<uint32_t>(raw_get(F_PORTID_R));
    uint32_t pri = static_cast<uint32_t>(raw_get(F_PRIORITY_R));
    uint32_t age = static_cast<uint32_t>(raw_get(F_AGE));
    if (!is_mcast(mac)) {
        sw_set(unit, out, F_PORTID_R, port);
        sw_set(unit, out, F_PRIORITY_R, pri);
        sw_set(unit, out, F_AGE, age);
    } else {
        sw_set(unit, out, F_MARL_PBMP_IDX, port + 32 * pri + 128 * age);
    }
    sw_set(unit, out, F_CONTROL, static_cast<uint32_t>(raw_get(F_CONTROL)));
    sw_set(unit, out, F_STATIC, static_cast<uint32_t>(raw_get(F_STATIC)));
    return 0;
}

}  // namespace

uint64_t drv_arl_entry_mac(int unit, const uint32_t *entry) {
    uint32_t v[2] = {0, 0};
    drv_mem::field_get(unit, L2_ARL_SWm, F_MACADDR, entry, v);
    return v[0] | static_cast<uint64_t>(v[1]) << 32;
}

uint32_t drv_arl_entry_field(int unit, const uint32_t *entry, uint32_t field) {
    switch (field) {
        case DRV_MEM_FIELD_VLANID:
            return sw_get(unit, entry, F_VID_R);
        case DRV_MEM_FIELD_SRC_PORT:
            return sw_get(unit, entry, F_PORTID_R);
        case DRV_MEM_FIELD_DEST_BITMAP:
            return sw_get(unit, entry, F_MARL_PBMP_IDX);
        case DRV_MEM_FIELD_VALID:
            return sw_get(unit, entry, F_VALID_R);
        case DRV_MEM_FIELD_STATIC:
            return sw_get(unit, entry, F_STATIC);
        default:
            return 0;
    }
}

void _drv_arl_crc16(const uint8_t *data, uint8_t nbits, uint16_t *crc) {
    uint16_t c = 0xffff;
    for (int i = 0; i < nbits; i++) {
        bool bit = (data[i / 8] >> (7 - i % 8)) & 1;
        bool top = c & 0x8000;
        c = static_cast<uint16_t>(c << 1);
        if (bit) c ^= 0x1021;
        if (top) c ^= 0x1021;
    }
    *crc = c;
}

int _drv_arl_calc_hash_index(int unit, int bin, const uint32_t *entry) {
    constexpr int kCount = 8192;
    uint64_t mac = drv_arl_entry_mac(unit, entry);
    uint64_t vid = sw_get(unit, entry, F_VID_R) & 0xfff;
    uint64_t key = vid << 52 | mac << 4;  // 60 bits from the top of 64
    uint8_t bytes[8];
    for (int k = 0; k < 8; k++)
        bytes[k] = static_cast<uint8_t>(key >> (56 - 8 * k));
    uint32_t flags = SOC_CONTROL(unit)->chip_flags;
    int n, m;
    uint32_t low;
    if (flags & SOC_CHIP_DXP7102) {
        n = 48, m = 2, low = static_cast<uint32_t>(mac & 0xfff);
    } else if (flags & SOC_CHIP_DXP7101_FAMILY) {
        n = 47, m = 1, low = static_cast<uint32_t>(mac & 0x1fff);
    } else {
        n = 0, m = 0, low = 0;
    }
    uint16_t crc;
    _drv_arl_crc16(bytes, static_cast<uint8_t>(n), &crc);
    int index = static_cast<int>(((low ^ crc) * m + bin) % kCount);
    soc_cm_debug_print(0x80, "_drv_arl_calc_hash_index : table_index = 0x%x\n", index);
    return index;
}

int _drv_arl_op(int unit, int, void *key, uint32_t *out, uint32_t *, uint32_t flags, int *bin) {
    if (flags & DRV_MEM_OP_BY_INDEX)
        return read_by_index(unit, *static_cast<int *>(key), nullptr, out);
    if (flags & (DRV_MEM_OP_SEARCH_BUSY | DRV_MEM_OP_SEARCH_START | DRV_MEM_OP_SEARCH_NEXT))
        return search(unit, key, out, flags);
    if (flags & DRV_MEM_OP_BY_MAC) {
        int b = 0;
        int rv = lookup(unit, static_cast<const uint32_t *>(key), out, flags, &b);
        if (bin != nullptr) *bin = b;
        return rv;
    }
    return SOC_E_PARAM;
}

int drv_arl_table_entry_get(int unit, int *index, uint32_t *raw, uint32_t *entry) {
    if (!SOC_IS_DXP7102(unit)) return SOC_E_UNAVAIL;
    return read_by_index(unit, *index, raw, entry);
}

int drv_mem_search(int unit, uint32_t mem, void *key, uint32_t *entry, uint32_t *entry_1,
                   uint32_t flags) {
    soc_cm_debug_print(DK_MEM, "drv_mem_search : mem=0x%x, flags = 0x%x)\n", mem, flags);
    if (mem == DRV_MEM_ARL || mem == DRV_MEM_MARL) {
        int bin;
        return _drv_arl_op(unit, static_cast<int>(mem), key, entry, entry_1, flags, &bin);
    }
    if ((mem >= DRV_MEM_VLAN && mem <= DRV_MEM_GEN) || mem == DRV_MEM_MACVLAN) return SOC_E_UNAVAIL;
    return SOC_E_PARAM;
}

namespace {

// Held from a table write to its shadow update, so the shadow thread cannot
// sync the new row in between and report the change a second time. Taken
// after the memory lock, as everywhere.
sal_mutex_t shadow_lock(int unit) {
    return SOC_CONTROL(unit)->arl_table_lock;
}

// Writes the bin registers of the last lookup's bucket back into the table.
int write_bin(int unit, int bin, const DrvRegValue &entry_reg, uint32_t vid) {
    DrvRegValue v(unit, kVidRegs[bin]);
    v.words()[0] = vid;
    if (int rv = v.write(); rv < 0) return rv;
    if (int rv = entry_reg.write(); rv < 0) return rv;
    return arl_cycle(unit, false);
}

int fast_age(int unit, const uint32_t *entry, uint32_t flags) {
    soc_control_t *soc = SOC_CONTROL(unit);
    DrvRegValue mst(unit, R_MST_CON), ports(unit, R_CHIP0_PORT_AGE), vids(unit, R_AGEOUT_EN_VID);
    for (DrvRegValue *r : {&mst, &ports, &vids}) {
        if (int rv = r->read(); rv < 0) return rv;
    }
    const DrvRegValue saved[3] = {mst, ports, vids};
    bool all = flags & DRV_MEM_OP_DELETE_ALL_ARL;
    bool by_port = all || (flags & DRV_MEM_OP_DELETE_BY_PORT);
    bool by_vlan = !all && (flags & DRV_MEM_OP_DELETE_BY_VLANID);
    int port = static_cast<int>(sw_get(unit, entry, F_PORTID_R));
    int vid = static_cast<int>(sw_get(unit, entry, F_VID_R));
    if (by_port) {
        ports.set(F_AGE_EN_PRT, all ? soc->all.bitmap.w[0] : 1u << port);
        if (int rv = ports.write(); rv < 0) return rv;
    }
    if (by_vlan) {
        vids.set(F_AGE_EN_VID, static_cast<uint32_t>(vid));
        if (int rv = vids.write(); rv < 0) return rv;
    }
    mst.set(F_AGE_MODE_PRT, by_port);
    mst.set(F_AGE_MODE_VLAN, by_vlan);
    mst.set(F_EN_AGE_STATIC,
            (flags & (DRV_MEM_OP_DELETE_BY_STATIC | DRV_MEM_OP_DELETE_ALL_ARL)) != 0);
    mst.set(F_FAST_AGE_STDN, 1);
    if (int rv = mst.write(); rv < 0) return rv;
    int rv = SOC_E_TIMEOUT;
    for (int i = 0; i < kPolls; i++) {
        if (int r = mst.read(); r < 0) return r;
        if (mst.get(F_FAST_AGE_STDN) == 0) {
            rv = 0;
            break;
        }
    }
    if (rv < 0) return rv;
    soc_arl_shadow_flush(unit, port, vid, flags);
    for (const DrvRegValue &r : saved) {
        if (int w = r.write(); w < 0) return w;
    }
    return 0;
}

}  // namespace

int drv_mem_insert(int unit, uint32_t mem, uint32_t *entry, uint32_t flags) {
    soc_cm_debug_print(DK_MEM, "drv_mem_insert : mem=0x%x, flags = 0x%x)\n", mem, flags);
    if ((mem >= DRV_MEM_VLAN && mem <= DRV_MEM_GEN) || mem == DRV_MEM_MACVLAN) return SOC_E_UNAVAIL;
    if (mem != DRV_MEM_ARL) return SOC_E_PARAM;
    SalLock lock(SOC_CONTROL(unit)->mem_state[L2_ARLm].lock);
    uint32_t found[kWords];
    int bin = 0;
    int rv = _drv_arl_op(unit, static_cast<int>(mem), entry, found, nullptr, flags, &bin);
    if (rv < 0 && rv != SOC_E_NOT_FOUND && rv != SOC_E_EXISTS) return rv;
    uint64_t mac = drv_arl_entry_mac(unit, entry);
    uint32_t vid = sw_get(unit, entry, F_VID_R);
    if (rv == SOC_E_EXISTS) {
        if (std::memcmp(found, entry, sizeof found) == 0) return 0;
        if (drv_arl_entry_mac(unit, found) != mac || sw_get(unit, found, F_VID_R) != vid) return 0;
    }
    DrvRegValue reg(unit, kEntryRegs[bin]);
    uint32_t mac_words[2] = {static_cast<uint32_t>(mac), static_cast<uint32_t>(mac >> 32)};
    reg.setWords(F_ARL_MACADDR, mac_words);
    if (!is_mcast(mac)) {
        reg.set(F_ARL_PID, sw_get(unit, entry, F_PORTID_R));
        reg.set(F_ARL_PRI, sw_get(unit, entry, F_PRIORITY_R));
        reg.set(F_ARL_AGE, sw_get(unit, entry, F_AGE));
    } else {
        uint32_t group = sw_get(unit, entry, F_MARL_PBMP_IDX);
        reg.set(F_ARL_PID, group & 31);
        reg.set(F_ARL_PRI, (group >> 5) & 3);
        reg.set(F_ARL_AGE, (group >> 7) & 1);
    }
    reg.set(F_ARL_STATIC, sw_get(unit, entry, F_STATIC));
    reg.set(F_ARL_CON, sw_get(unit, entry, F_CONTROL));
    reg.set(F_ARL_VALID, 1);
    SalLock hold_shadow(shadow_lock(unit));
    if (int w = write_bin(unit, bin, reg, vid); w < 0) return w;
    soc_arl_shadow_insert(unit, bin, entry);
    return 0;
}

int drv_mem_delete(int unit, uint32_t mem, uint32_t *entry, uint32_t flags) {
    soc_cm_debug_print(DK_MEM, "drv_mem_delete : mem=0x%x, flags = 0x%x)\n", mem, flags);
    if ((mem >= DRV_MEM_VLAN && mem <= DRV_MEM_GEN) || mem == DRV_MEM_MACVLAN) return SOC_E_UNAVAIL;
    if (mem != DRV_MEM_ARL && mem != DRV_MEM_MARL) return SOC_E_PARAM;
    if (flags & DRV_MEM_OP_DELETE_BY_SPT) return SOC_E_UNAVAIL;
    SalLock lock(SOC_CONTROL(unit)->mem_state[L2_ARLm].lock);
    if (flags &
        (DRV_MEM_OP_DELETE_BY_PORT | DRV_MEM_OP_DELETE_BY_VLANID | DRV_MEM_OP_DELETE_ALL_ARL))
        return fast_age(unit, entry, flags);
    bool statics = (flags & DRV_MEM_OP_DELETE_BY_STATIC) || sw_get(unit, entry, F_STATIC);
    soc_cm_debug_print(DK_MEM, "\t Normal ARL DEL with Static=%d\n", statics ? 1 : 0);
    uint32_t found[kWords];
    int bin = 0;
    int rv = _drv_arl_op(unit, static_cast<int>(mem), entry, found, nullptr,
                         flags & ~DRV_MEM_OP_REPLACE, &bin);
    if (rv == SOC_E_FULL) return SOC_E_NOT_FOUND;
    if (rv != SOC_E_EXISTS) return rv < 0 ? rv : SOC_E_NOT_FOUND;
    DrvRegValue reg(unit, kEntryRegs[bin]);
    if (int r = reg.read(); r < 0) return r;
    if (reg.get(F_ARL_STATIC) && !statics) {
        soc_cm_debug_print(DK_MEM, "\t Entry exist with static=%d\n", 1);
        return SOC_E_NOT_FOUND;
    }
    reg.set(F_ARL_VALID, 0);
    SalLock hold_shadow(shadow_lock(unit));
    if (int w = write_bin(unit, bin, reg, sw_get(unit, found, F_VID_R)); w < 0) return w;
    soc_arl_shadow_delete(unit, bin, found);
    return 0;
}
