// Table-memory services of the DXP7102: window reads and writes, field
// access, clear and the software caches.
#include <cstring>

#include "drv_mem.h"
#include "drv_reg_value.h"
#include "mem_internal.h"
#include "sal_lock.h"
#include "soc_error.h"

namespace drv_mem {

const soc_mem_info_t *row(int unit, int mem) {
    const soc_driver_t *d = SOC_CONTROL(unit)->chip_driver;
    if (d->mem_info == nullptr || mem < 0 || mem >= SOC_NUM_MEMS) return nullptr;
    return d->mem_info[mem];
}

void get_bits(const uint32_t *entry, int bp, int len, uint32_t *out) {
    for (int w = 0; w < (len + 31) / 32; w++)
        out[w] = 0;
    for (int i = 0; i < len; i++) {
        int b = bp + i;
        if ((entry[b / 32] >> (b % 32)) & 1u) out[i / 32] |= 1u << (i % 32);
    }
}

void put_bits(uint32_t *entry, int bp, int len, const uint32_t *in) {
    for (int i = 0; i < len; i++) {
        int b = bp + i;
        uint32_t mask = 1u << (b % 32);
        if ((in[i / 32] >> (i % 32)) & 1u)
            entry[b / 32] |= mask;
        else
            entry[b / 32] &= ~mask;
    }
}

namespace {
const chipdata_field *find_field(int unit, int mem, int field) {
    const soc_mem_info_t *r = row(unit, mem);
    if (r == nullptr) return nullptr;
    for (uint32_t i = 0; i < r->size_fields >> 16; i++) {
        if (r->fields[i].field == static_cast<uint32_t>(field)) return &r->fields[i];
    }
    return nullptr;
}
}  // namespace

int field_get(int unit, int mem, int field, const uint32_t *entry, uint32_t *out) {
    const chipdata_field *f = find_field(unit, mem, field);
    if (f == nullptr) return SOC_E_PARAM;
    get_bits(entry, f->bp, f->len, out);
    return 0;
}

int field_set(int unit, int mem, int field, uint32_t *entry, const uint32_t *in) {
    const chipdata_field *f = find_field(unit, mem, field);
    if (f == nullptr) return SOC_E_PARAM;
    put_bits(entry, f->bp, f->len, in);
    return 0;
}

}  // namespace drv_mem

using namespace drv_mem;

namespace {

constexpr int kPolls = 100;
constexpr int kCallerWords = 3;  // caller stride: 12 bytes per entry

// The chip memory that a driver id reads and writes; -1 for none.
int window_memory(uint32_t mem) {
    switch (mem) {
        case DRV_MEM_ARL:
        case DRV_MEM_ARL_HW:
        case DRV_MEM_MARL:
            return L2_ARLm;
        case DRV_MEM_VLAN:
            return VLAN_1Qm;
        case DRV_MEM_MSTP:
            return MSPT_TABm;
        case DRV_MEM_MCAST:
            return MARL_PBMPm;
        case DRV_MEM_SECMAC:
            return STSEC_MAC0m;
        case DRV_MEM_GEN:
            return GEN_MEMORYm;
        default:
            return -1;
    }
}

// Entries per security-MAC bank: eight times device property 7.
int secmac_bank_entries(int unit) {
    uint32_t n[2] = {0, 0};
    DRV_SERVICES(unit)->dev_prop_get(unit, 7, n);
    return static_cast<int>(8 * n[0]);
}

// The bank memory and index within it of an entry id; false when outside.
bool locate(int unit, uint32_t mem, uint32_t id, int *m, int *index) {
    *m = window_memory(mem);
    if (*m < 0 || row(unit, *m) == nullptr) return false;
    long long idx = id;
    if (mem == DRV_MEM_SECMAC) {
        int per_bank = secmac_bank_entries(unit);
        if (per_bank <= 0) return false;
        long long bank = id / per_bank;
        if (bank > 2) return false;
        *m = STSEC_MAC0m + static_cast<int>(bank);
        idx = id - per_bank * bank;
    }
    const soc_mem_info_t *r = row(unit, *m);
    if (idx < r->index_min || idx > r->index_max) return false;
    *index = static_cast<int>(idx);
    return true;
}

bool has_cache(int unit, int m) {
    return SOC_CONTROL(unit)->mem_state[m].cache != nullptr;
}

// One window cycle; data is the 8-byte entry (two words).
int window_cycle(int unit, uint32_t address, bool read, uint32_t *data) {
    if (!read) {
        DrvRegValue d(unit, R_GENMEM_DATA);
        d.words()[0] = data[0];
        d.words()[1] = data[1];
        if (int rv = d.write(); rv < 0) return rv;
    }
    DrvRegValue addr(unit, R_GENMEM_ADDR);
    addr.set(F_GENMEM_ADDR, address);
    if (int rv = addr.write(); rv < 0) return rv;
    DrvRegValue ctl(unit, R_GENMEM_CTL);
    if (int rv = ctl.read(); rv < 0) return rv;
    ctl.set(F_MEM_RW, read ? 1 : 0);
    ctl.set(F_GENMEM_STDN, 1);
    if (int rv = ctl.write(); rv < 0) return rv;
    int polls = 0;
    for (; polls < kPolls; polls++) {
        if (int rv = ctl.read(); rv < 0) return rv;
        if (ctl.get(F_GENMEM_STDN) == 0) break;
    }
    if (polls == kPolls) return SOC_E_TIMEOUT;
    if (read) {
        DrvRegValue d(unit, R_GENMEM_DATA);
        if (int rv = d.read(); rv < 0) return rv;
        data[0] = d.words()[0];
        data[1] = d.words()[1];
    }
    return 0;
}

// Runs fn(memory, index, caller entry) on count entries under the window lock;
// stops at the first failure.
template <typename Fn>
int each_entry(int unit, uint32_t mem, uint32_t entry_id, uint32_t count, uint32_t *entry, Fn fn) {
    if (mem == DRV_MEM_MACVLAN) return SOC_E_UNAVAIL;
    SalLock lock(SOC_CONTROL(unit)->mem_state[GEN_MEMORYm].lock);
    for (uint32_t i = 0; i < count; i++, entry += kCallerWords) {
        int m, index;
        if (!locate(unit, mem, entry_id + i, &m, &index)) return SOC_E_PARAM;
        if (int rv = fn(m, index, entry); rv < 0) return rv;
    }
    return 0;
}

}  // namespace

int drv_mem_length_get(int unit, uint32_t mem, uint32_t *count) {
    if (mem == DRV_MEM_ARL_HW) return SOC_E_PARAM;
    int m = window_memory(mem);
    const soc_mem_info_t *r = m < 0 ? nullptr : row(unit, m);
    if (r == nullptr) return SOC_E_PARAM;
    *count = static_cast<uint32_t>(r->index_max - r->index_min + 1);
    return 0;
}

int drv_mem_read(int unit, uint32_t mem, uint32_t entry_id, uint32_t count, uint32_t *entry) {
    soc_cm_debug_print(DK_MEM, "drv_mem_read(mem=0x%x,entry_id=0x%x,count=%d)\n", mem, entry_id,
                       count);
    return each_entry(unit, mem, entry_id, count, entry, [unit](int m, int index, uint32_t *e) {
        soc_mem_state_t &st = SOC_CONTROL(unit)->mem_state[m];
        int bytes = entry_bytes(row(unit, m));
        if (st.cache != nullptr && ((st.vmap[index / 32] >> (index % 32)) & 1u)) {
            std::memcpy(e, st.cache + index * bytes, bytes);
            return 0;
        }
        uint32_t data[2] = {0, 0};
        if (int rv = window_cycle(unit, row(unit, m)->base + index, true, data); rv < 0) return rv;
        e[0] = data[0];
        e[1] = data[1];
        return 0;
    });
}

int drv_mem_write(int unit, uint32_t mem, uint32_t entry_id, uint32_t count, uint32_t *entry) {
    soc_cm_debug_print(DK_MEM, "drv_mem_write(mem=0x%x,entry_id=0x%x,count=%d)\n", mem, entry_id,
                       count);
    return each_entry(
        unit, mem, entry_id, count, entry, [unit, mem](int m, int index, uint32_t *e) {
            uint32_t data[2] = {e[0], e[1]};
            if (int rv = window_cycle(unit, row(unit, m)->base + index, false, data); rv < 0)
                return rv;
            soc_mem_state_t &st = SOC_CONTROL(unit)->mem_state[m];
            if (st.cache != nullptr) {
                int bytes = entry_bytes(row(unit, m));
                std::memcpy(st.cache + index * bytes, e, bytes);
                st.vmap[index / 32] |= 1u << (index % 32);
            }
            if (mem == DRV_MEM_SECMAC) {
                DrvRegValue addr(unit, R_GENMEM_ADDR);
                if (int rv = addr.write(); rv < 0) return rv;
            }
            return 0;
        });
}

namespace {

struct FieldMap {
    int mem;
    int field;
};

// The chip memory and field of a driver (memory, field) pair.
int map_field(uint32_t mem, uint32_t field, FieldMap *out) {
    auto arl_field = [](uint32_t f, bool raw) -> int {
        switch (f) {
            case DRV_MEM_FIELD_MAC:
                return raw ? F_MACADDR2 : F_MACADDR;
            case DRV_MEM_FIELD_VLANID:
                return F_VID_R;
            case DRV_MEM_FIELD_SRC_PORT:
                return F_PORTID_R;
            case DRV_MEM_FIELD_PRIORITY:
                return F_PRIORITY_R;
            case DRV_MEM_FIELD_VALID:
                return F_VALID_R;
            case DRV_MEM_FIELD_STATIC:
                return F_STATIC;
            case DRV_MEM_FIELD_AGE:
                return F_AGE;
            case DRV_MEM_FIELD_ARL_CONTROL:
                return F_CONTROL;
            default:
                return -1;
        }
    };
    switch (mem) {
        case DRV_MEM_ARL:
        case DRV_MEM_MARL:
            if (field == DRV_MEM_FIELD_DEST_BITMAP) {
                *out = {L2_MARL_SWm, F_MARL_PBMP_IDX};
                return 0;
            }
            *out = {L2_ARL_SWm, arl_field(field, false)};
            break;
        case DRV_MEM_ARL_HW:
            *out = {L2_ARLm, arl_field(field, true)};
            break;
        case DRV_MEM_VLAN:
            *out = {VLAN_1Qm, field == DRV_MEM_FIELD_SPT_GROUP_ID   ? F_MSPT_ID
                              : field == DRV_MEM_FIELD_PORT_BITMAP  ? F_FORWARD_MAP
                              : field == DRV_MEM_FIELD_OUTPUT_UNTAG ? F_UNTAG_MAP
                                                                    : -1};
            break;
        case DRV_MEM_MSTP:
            *out = {MSPT_TABm, field == DRV_MEM_FIELD_MSTP_PORTST ? 0 : -1};
            break;
        case DRV_MEM_MCAST:
            *out = {MARL_PBMPm, field == DRV_MEM_FIELD_DEST_BITMAP    ? F_EVEN_PBMP
                                : field == DRV_MEM_FIELD_DEST_BITMAP1 ? F_ODD_PBMP
                                : field == DRV_MEM_FIELD_VALID        ? F_EVEN_VALID
                                : field == DRV_MEM_FIELD_VALID1       ? F_ODD_VALID
                                                                      : -1};
            break;
        case DRV_MEM_SECMAC:
            *out = {STSEC_MAC0m, field == DRV_MEM_FIELD_MAC     ? F_MACADDR
                                 : field == DRV_MEM_FIELD_VALID ? F_VLAID
                                                                : -1};
            break;
        case DRV_MEM_MACVLAN:
            return SOC_E_UNAVAIL;
        default:
            return SOC_E_PARAM;
    }
    return out->field < 0 ? SOC_E_PARAM : 0;
}

constexpr int kMstpWords = 6;

int field_access(int unit, uint32_t mem, uint32_t field, uint32_t *entry, uint32_t *fldbuf,
                 bool set) {
    FieldMap fm;
    if (int rv = map_field(mem, field, &fm); rv < 0) return rv;
    if (row(unit, fm.mem) == nullptr) sal_assert("SOC_MEM_IS_VALID(unit, mem_id)", "mem.c", 0);
    if (entry == nullptr) sal_assert("entry", "mem.c", 0);
    if (fldbuf == nullptr) sal_assert("fld_data", "mem.c", 0);
    if (fm.mem == MSPT_TABm) {
        if (set)
            std::memcpy(entry, fldbuf, kMstpWords * sizeof(uint32_t));
        else
            std::memcpy(fldbuf, entry, kMstpWords * sizeof(uint32_t));
        return 0;
    }
    int rv = set ? field_set(unit, fm.mem, fm.field, entry, fldbuf)
                 : field_get(unit, fm.mem, fm.field, entry, fldbuf);
    if (rv < 0) sal_assert("fieldinfo", "mem.c", 0);
    return rv;
}

}  // namespace

int drv_mem_field_get(int unit, uint32_t mem, uint32_t field, uint32_t *entry, uint32_t *fldbuf) {
    soc_cm_debug_print(DK_MEM, "drv_mem_field_get(mem=0x%x,field_index=0x%x)\n", mem, field);
    return field_access(unit, mem, field, entry, fldbuf, false);
}

int drv_mem_field_set(int unit, uint32_t mem, uint32_t field, uint32_t *entry, uint32_t *fldbuf) {
    soc_cm_debug_print(DK_MEM, "drv_mem_field_set(mem=0x%x,field_index=0x%x)\n", mem, field);
    return field_access(unit, mem, field, entry, fldbuf, true);
}

int drv_mem_clear(int unit, uint32_t mem) {
    soc_cm_debug_print(DK_MEM, "drv_mem_clear : mem=0x%x\n", mem);
    if (mem == DRV_MEM_ARL || mem == DRV_MEM_ARL_HW || mem == DRV_MEM_MARL) {
        uint32_t entry[DRV_ARL_ENTRY_WORDS] = {0, 0, 0};
        DRV_SERVICES(unit)->mem_delete(unit, DRV_MEM_ARL, entry, DRV_MEM_OP_DELETE_ALL_ARL);
        return 0;
    }
    if (mem == DRV_MEM_MACVLAN) return SOC_E_UNAVAIL;
    uint32_t count;
    if (int rv = drv_mem_length_get(unit, mem, &count); rv < 0) return rv;
    // The security addresses are one range over their three banks.
    if (mem == DRV_MEM_SECMAC) count *= 3;
    auto *zeros = static_cast<uint32_t *>(sal_alloc(count * 24u, "null_entry"));
    if (zeros == nullptr) {
        soc_cm_print("Insufficient memory.\n");
        return SOC_E_MEMORY;
    }
    int rv = drv_mem_write(unit, mem, 0, count, zeros);
    sal_free(zeros);
    return rv;
}

int drv_mem_cache_get(int unit, uint32_t mem, uint32_t *enable) {
    if (!SOC_UNIT_VALID(unit)) sal_assert("SOC_UNIT_VALID(unit)", "mem.c", 0);
    int m = mem == DRV_MEM_VLAN                             ? VLAN_1Qm
            : mem == DRV_MEM_SECMAC && SOC_IS_DXP7102(unit) ? STSEC_MAC0m
                                                            : -1;
    if (m < 0) {
        *enable = 0;
        return 0;
    }
    if (row(unit, m) == nullptr) sal_assert("SOC_MEM_IS_VALID(unit, mem_id)", "mem.c", 0);
    *enable = has_cache(unit, m) ? 1 : 0;
    return 0;
}

int drv_mem_cache_set(int unit, uint32_t mem, uint32_t enable) {
    int first, last;
    if (mem == DRV_MEM_VLAN) {
        first = last = VLAN_1Qm;
    } else if (mem == DRV_MEM_SECMAC && SOC_IS_DXP7102(unit)) {
        first = STSEC_MAC0m;
        last = STSEC_MAC2m;
    } else {
        return SOC_E_UNAVAIL;
    }
    for (int m = first; m <= last; m++) {
        const soc_mem_info_t *r = row(unit, m);
        if (r == nullptr) return SOC_E_PARAM;
        soc_mem_state_t &st = SOC_CONTROL(unit)->mem_state[m];
        soc_cm_debug_print(DK_MEMCACHE, "drv_mem_cache_set: unit %d memory %s %sable\n", unit,
                           soc_mem_name(m), enable ? "en" : "dis");
        sal_mutex_take(st.lock, -1);
        if (st.cache != nullptr) sal_free(st.cache);
        if (st.vmap != nullptr) sal_free(st.vmap);
        st.cache = nullptr;
        st.vmap = nullptr;
        if (enable) {
            int entries = r->index_max - r->index_min + 1;
            int bytes = entry_bytes(r);
            st.cache = static_cast<uint8_t *>(sal_alloc(entries * bytes, "table-cache"));
            // Whole words for the bit tests; at least (last + 8) / 8 bytes.
            st.vmap =
                static_cast<uint32_t *>(sal_alloc((r->index_max + 32) / 32 * 4, "table-vmap"));
            if (st.cache == nullptr || st.vmap == nullptr) {
                if (st.cache != nullptr) sal_free(st.cache);
                if (st.vmap != nullptr) sal_free(st.vmap);
                st.cache = nullptr;
                st.vmap = nullptr;
                sal_mutex_give(st.lock);
                return SOC_E_MEMORY;
            }
            soc_cm_debug_print(DK_MEMCACHE, "drv_mem_cache_set: cache=%p size=%d vmap=%p\n",
                               static_cast<void *>(st.cache), entries * bytes,
                               static_cast<void *>(st.vmap));
        }
        sal_mutex_give(st.lock);
    }
    return 0;
}
