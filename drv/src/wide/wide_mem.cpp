// Table memories of the 53-port chips: VLAN_1Q, MARL_PBMP and MSPT_TAB
// through ARLA_RWCTL and OTHER_TABLE_INDEX/DATA0-2, field access on entry
// buffers of every table, and clear.
#include <cstring>

#include "drv_mem.h"
#include "drv_reg_value.h"
#include "drv_wide.h"
#include "sal_lock.h"
#include "soc_cm.h"
#include "soc_error.h"
#include "wide_internal.h"

namespace drv_wide {

int start_and_poll(int unit, bool read, int table) {
    sal_mutex_t lock = SOC_CONTROL(unit)->mem_rwctrl_lock;
    sal_mutex_take(lock, -1);
    DrvRegValue ctl(unit, R_ARLA_RWCTL);
    int rv = ctl.read();
    if (rv >= 0) {
        ctl.set(F_TAB_RW, read ? 1 : 0);
        ctl.set(F_TAB_INDEX, static_cast<uint32_t>(table));
        ctl.set(F_ARL_STRTDN, 1);
        rv = ctl.write();
    }
    if (rv >= 0) {
        rv = SOC_E_TIMEOUT;
        for (int polls = 0; polls < kPolls; polls++) {
            if (int r = ctl.read(); r < 0) {
                rv = r;
                break;
            }
            if (ctl.get(F_ARL_STRTDN) == 0) {
                rv = 0;
                break;
            }
        }
    }
    sal_mutex_give(lock);
    return rv;
}

}  // namespace drv_wide

using namespace drv_wide;

namespace {

constexpr int kWords = DRV_WIDE_ENTRY_BYTES / 4;
constexpr uint32_t kMemWordsReversed = 0x8000000;
const uint32_t kDataRegs[3] = {R_OTHER_TABLE_DATA0, R_OTHER_TABLE_DATA1, R_OTHER_TABLE_DATA2};

bool is_cfp(uint32_t mem) {
    return mem >= DRV_MEM_CFP_DATA && mem <= DRV_MEM_CFP_STAT_OUT;
}

// The chip memory and table selector of the memories behind the table
// access registers; false for the others.
bool table_of(uint32_t mem, int *m, int *selector) {
    switch (mem) {
        case DRV_MEM_VLAN:
            *m = VLAN_1Qm, *selector = 1;
            return true;
        case DRV_MEM_MCAST:
            *m = MARL_PBMPm, *selector = 2;
            return true;
        case DRV_MEM_MSTP:
            *m = MSPT_TABm, *selector = 3;
            return true;
        default:
            return false;
    }
}

// Answer of read and write for the ids without a table behind them.
int other_id_result(uint32_t mem) {
    if (mem == DRV_MEM_ARL || mem == DRV_MEM_ARL_HW || mem == DRV_MEM_MARL ||
        mem == DRV_MEM_MACVLAN)
        return SOC_E_UNAVAIL;
    return SOC_E_PARAM;
}

const soc_mem_info_t *row(int unit, int m) {
    const soc_driver_t *d = SOC_CONTROL(unit)->chip_driver;
    return d->mem_info == nullptr ? nullptr : d->mem_info[m];
}

int zero_data(int unit) {
    for (uint32_t reg : kDataRegs) {
        DrvRegValue d(unit, reg);
        if (int rv = d.write(); rv < 0) return rv;
    }
    return 0;
}

int set_index(int unit, int index) {
    DrvRegValue idx(unit, R_OTHER_TABLE_INDEX);
    if (int rv = idx.read(); rv < 0) return rv;
    idx.set(F_TABLE_INDEX, static_cast<uint32_t>(index));
    return idx.write();
}

int read_one(int unit, int selector, int index, uint32_t *out) {
    if (int rv = zero_data(unit); rv < 0) return rv;
    if (int rv = set_index(unit, index); rv < 0) return rv;
    if (int rv = start_and_poll(unit, true, selector); rv < 0) return rv;
    for (int w = 0; w < 3; w++) {
        DrvRegValue d(unit, kDataRegs[w]);
        if (int rv = d.read(); rv < 0) return rv;
        out[2 * w] = d.words()[0];
        out[2 * w + 1] = d.words()[1];
    }
    return 0;
}

int write_one(int unit, int selector, int index, const uint32_t *in) {
    if (int rv = zero_data(unit); rv < 0) return rv;
    for (int w = 0; w < 3; w++) {
        DrvRegValue d(unit, kDataRegs[w]);
        d.words()[0] = in[2 * w];
        d.words()[1] = in[2 * w + 1];
        if (int rv = d.write(); rv < 0) return rv;
    }
    if (int rv = set_index(unit, index); rv < 0) return rv;
    return start_and_poll(unit, false, selector);
}

int transfer(int unit, uint32_t mem, uint32_t entry_id, uint32_t count, uint32_t *entry,
             bool read) {
    int m, selector;
    if (!table_of(mem, &m, &selector)) return other_id_result(mem);
    const soc_mem_info_t *r = row(unit, m);
    if (r == nullptr) return SOC_E_PARAM;
    SalLock lock(SOC_CONTROL(unit)->mem_state[GEN_MEMORYm].lock);
    soc_mem_state_t &st = SOC_CONTROL(unit)->mem_state[m];
    for (uint32_t k = 0; k < count; k++, entry += kWords) {
        long long i = static_cast<long long>(entry_id) + k;
        if (i < r->index_min || i > r->index_max) return SOC_E_PARAM;
        auto index = static_cast<int>(i);
        bool cached = st.cache != nullptr && ((st.vmap[index / 32] >> (index % 32)) & 1u);
        if (read && cached) {
            std::memcpy(entry, st.cache + index * DRV_WIDE_ENTRY_BYTES, DRV_WIDE_ENTRY_BYTES);
            continue;
        }
        int rv =
            read ? read_one(unit, selector, index, entry) : write_one(unit, selector, index, entry);
        if (rv < 0) return rv;
        if (!read && st.cache != nullptr) {
            std::memcpy(st.cache + index * DRV_WIDE_ENTRY_BYTES, entry, DRV_WIDE_ENTRY_BYTES);
            st.vmap[index / 32] |= 1u << (index % 32);
        }
    }
    return 0;
}

// The chip memory and field of a (memory, field) pair; -4 for none.
int map_field(uint32_t mem, uint32_t field, int *m, int *f) {
    switch (mem) {
        case DRV_MEM_ARL:
        case DRV_MEM_MARL:
            *m = L2_ARL_SWm;
            switch (field) {
                case DRV_MEM_FIELD_MAC:
                    *f = F_MACADDR;
                    return 0;
                case DRV_MEM_FIELD_VLANID:
                    *f = F_VID_R;
                    return 0;
                case DRV_MEM_FIELD_SRC_PORT:
                    *f = F_PORTID_R;
                    return 0;
                case DRV_MEM_FIELD_DEST_BITMAP:
                    *m = L2_MARL_SWm, *f = F_MARL_PBMP_IDX;
                    return 0;
                case DRV_MEM_FIELD_PRIORITY:
                    *f = F_PRIORITY_R;
                    return 0;
                case DRV_MEM_FIELD_VALID:
                    *f = F_VALID_R;
                    return 0;
                case DRV_MEM_FIELD_STATIC:
                    *f = F_STATIC;
                    return 0;
                case DRV_MEM_FIELD_AGE:
                    *f = F_AGE;
                    return 0;
                case DRV_MEM_FIELD_ARL_CONTROL:
                    *f = F_CONTROL;
                    return 0;
                default:
                    return SOC_E_PARAM;
            }
        case DRV_MEM_VLAN:
            *m = VLAN_1Qm;
            *f = field == DRV_MEM_FIELD_SPT_GROUP_ID   ? F_MSPT_ID
                 : field == DRV_MEM_FIELD_PORT_BITMAP  ? F_FORWARD_MAP
                 : field == DRV_MEM_FIELD_OUTPUT_UNTAG ? F_UNTAG_MAP
                                                       : -1;
            return *f < 0 ? SOC_E_PARAM : 0;
        case DRV_MEM_MSTP:
            *m = MSPT_TABm, *f = 0;
            return field == DRV_MEM_FIELD_MSTP_PORTST ? 0 : SOC_E_PARAM;
        case DRV_MEM_MCAST:
            *m = MARL_PBMPm;
            *f = F_PBMP_R;
            return field == DRV_MEM_FIELD_DEST_BITMAP ? 0 : SOC_E_PARAM;
        case DRV_MEM_MACVLAN:
            return SOC_E_UNAVAIL;
        default:
            return SOC_E_PARAM;
    }
}

// Bit b of the entry, words in the memory's order.
int word_of(const soc_mem_info_t *r, int b) {
    int w = b / 32;
    if (r->flags & kMemWordsReversed) return (drv_wide::entry_bytes(r) + 3) / 4 - 1 - w;
    return w;
}

int entry_bit(const soc_mem_info_t *r, const uint32_t *entry, int b) {
    return (entry[word_of(r, b)] >> (b % 32)) & 1u;
}

void set_entry_bit(const soc_mem_info_t *r, uint32_t *entry, int b, int on) {
    uint32_t mask = 1u << (b % 32);
    uint32_t &word = entry[word_of(r, b)];
    word = on ? word | mask : word & ~mask;
}

// A little-endian field's bit k is value bit k; any other multi-bit field is
// stored with its lowest entry bit as the value's most significant bit.
int value_bit_of(const chipdata_field *f, int k) {
    return (f->flags & CHIPDATA_FF_LE) || f->len == 1 ? k : f->len - 1 - k;
}

int field_access(int unit, uint32_t mem, uint32_t field, uint32_t *entry, uint32_t *fldbuf,
                 bool set) {
    if (mem >= DRV_MEM_CFP_DATA && mem <= DRV_MEM_CFP_METER)
        return set ? _drv_dxp7101_cfp_field_set(unit, mem, field, entry, fldbuf)
                   : _drv_dxp7101_cfp_field_get(unit, mem, field, entry, fldbuf);
    int m, fid;
    if (int rv = map_field(mem, field, &m, &fid); rv < 0) return rv;
    const soc_mem_info_t *r = row(unit, m);
    if (r == nullptr) sal_assert("SOC_MEM_IS_VALID(unit, mem_id)", "mem.c", 0);
    if (entry == nullptr) sal_assert("entry", "mem.c", 0);
    if (fldbuf == nullptr) sal_assert("fld_data", "mem.c", 0);
    if (m == MSPT_TABm) {
        if (set)
            std::memcpy(entry, fldbuf, DRV_WIDE_ENTRY_BYTES);
        else
            std::memcpy(fldbuf, entry, DRV_WIDE_ENTRY_BYTES);
        return 0;
    }
    const chipdata_field *f = nullptr;
    for (uint32_t i = 0; i < r->size_fields >> 16; i++) {
        if (r->fields[i].field == static_cast<uint32_t>(fid)) f = &r->fields[i];
    }
    if (f == nullptr) {
        sal_assert("fieldinfo", "mem.c", 0);
        return SOC_E_PARAM;
    }
    bool shift = fid == F_PORTID_R && (SOC_CONTROL(unit)->chip_flags & SOC_CHIP_DXP7106);
    int words = (f->len + 31) / 32;
    if (!set) {
        for (int w = 0; w < words; w++)
            fldbuf[w] = 0;
        for (int k = 0; k < f->len; k++) {
            int v = value_bit_of(f, k);
            if (entry_bit(r, entry, f->bp + k)) fldbuf[v / 32] |= 1u << (v % 32);
        }
        if (shift) fldbuf[0] -= kPortOffset;
        return 0;
    }
    // The caller's value is left as given.
    uint32_t value[8] = {};
    std::memcpy(value, fldbuf, static_cast<size_t>(words) * sizeof(uint32_t));
    if (shift) value[0] += kPortOffset;
    for (int k = 0; k < f->len; k++) {
        int v = value_bit_of(f, k);
        set_entry_bit(r, entry, f->bp + k, (value[v / 32] >> (v % 32)) & 1u);
    }
    return 0;
}

}  // namespace

int drv_dxp7101_mem_read(int unit, uint32_t mem, uint32_t entry_id, uint32_t count,
                         uint32_t *entry) {
    soc_cm_debug_print(DK_MEM, "drv_mem_read(mem=0x%x,entry_id=0x%x,count=%d)\n", mem, entry_id,
                       count);
    if (count == 0) return SOC_E_PARAM;
    if (is_cfp(mem)) return _drv_dxp7101_cfp_read(unit, mem, entry_id, count, entry);
    return transfer(unit, mem, entry_id, count, entry, true);
}

int drv_dxp7101_mem_write(int unit, uint32_t mem, uint32_t entry_id, uint32_t count,
                          uint32_t *entry) {
    soc_cm_debug_print(DK_MEM, "drv_mem_write(mem=0x%x,entry_id=0x%x,count=%d)\n", mem, entry_id,
                       count);
    if (count == 0) return SOC_E_PARAM;
    if (is_cfp(mem)) return _drv_dxp7101_cfp_write(unit, mem, entry_id, count, entry);
    return transfer(unit, mem, entry_id, count, entry, false);
}

int drv_dxp7101_mem_field_get(int unit, uint32_t mem, uint32_t field, uint32_t *entry,
                              uint32_t *fldbuf) {
    soc_cm_debug_print(DK_MEM, "drv_mem_field_get(mem=0x%x,field_index=0x%x)\n", mem, field);
    return field_access(unit, mem, field, entry, fldbuf, false);
}

int drv_dxp7101_mem_field_set(int unit, uint32_t mem, uint32_t field, uint32_t *entry,
                              uint32_t *fldbuf) {
    soc_cm_debug_print(DK_MEM, "drv_mem_field_set(mem=0x%x,field_index=0x%x)0x%x\n", mem, field,
                       fldbuf != nullptr ? fldbuf[0] : 0);
    return field_access(unit, mem, field, entry, fldbuf, true);
}

int drv_dxp7101_mem_clear(int unit, uint32_t mem) {
    soc_cm_debug_print(DK_MEM, "drv_mem_clear : mem=0x%x\n", mem);
    if (mem == DRV_MEM_ARL || mem == DRV_MEM_ARL_HW || mem == DRV_MEM_MARL) {
        DRV_SERVICES(unit)->mem_delete(unit, mem == DRV_MEM_MARL ? DRV_MEM_MARL : DRV_MEM_ARL,
                                       nullptr, DRV_MEM_OP_DELETE_ALL_ARL);
        return 0;
    }
    if (mem == DRV_MEM_MACVLAN) return SOC_E_UNAVAIL;
    int m, selector;
    if (!table_of(mem, &m, &selector) || row(unit, m) == nullptr) return SOC_E_PARAM;
    const soc_mem_info_t *r = row(unit, m);
    auto n = static_cast<uint32_t>(r->index_max - r->index_min + 1);
    auto *zeros = static_cast<uint32_t *>(sal_alloc(n * DRV_WIDE_ENTRY_BYTES, "null_entry"));
    if (zeros == nullptr) {
        soc_cm_print("Insufficient memory.\n");
        return SOC_E_MEMORY;
    }
    std::memset(zeros, 0, n * DRV_WIDE_ENTRY_BYTES);
    int rv = DRV_SERVICES(unit)->mem_write(unit, mem, 0, n, zeros);
    sal_free(zeros);
    return rv;
}
