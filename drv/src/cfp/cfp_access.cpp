// The CFP access engine: every row moves through CFP_ACC and its data
// registers under the unit's CFP mutex, and the entry services built on it.
#include <array>

#include "cfp_internal.h"
#include "drv_reg_value.h"
#include "sal_lock.h"
#include "soc_cm.h"

namespace {

constexpr uint32_t kOpRead = 1;
constexpr uint32_t kOpWrite = 2;
constexpr uint32_t kOpSearch = 4;
constexpr int kPolls = 100;
constexpr uint32_t kAllPorts = 63;

struct Ram {
    int mem;       // memory index, for the limits
    uint32_t sel;  // RAM_SEL
};

bool ram_of(uint32_t ram_type, Ram *ram) {
    switch (ram_type) {
        case DRV_CFP_RAM_TCAM:
            *ram = {CFP_TCAM_S0m, 1};
            return true;
        case DRV_CFP_RAM_ACT:
            *ram = {CFP_ACT_POLm, 2};
            return true;
        case DRV_CFP_RAM_METER:
            *ram = {CFP_METERm, 4};
            return true;
        case DRV_CFP_RAM_STAT_IB:
            *ram = {CFP_STAT_IBm, 8};
            return true;
        case DRV_CFP_RAM_STAT_OB:
            *ram = {CFP_STAT_OBm, 16};
            return true;
        default:
            return false;
    }
}

int index_max(const Ram &ram) {
    return drv_cfp_mem_info(ram.mem)->index_max;
}

int row_words(const Ram &ram) {
    return static_cast<int>(((drv_cfp_mem_info(ram.mem)->size_fields & 0xffff) + 3) / 4);
}

int word_read(int unit, uint32_t reg, int word, uint32_t *value) {
    const drv_if_t *s = DRV_SERVICES(unit);
    return s->reg_read(unit, s->reg_addr(unit, reg, 0, 0) + 4 * word, value, 4);
}

int word_write(int unit, uint32_t reg, int word, uint32_t value) {
    const drv_if_t *s = DRV_SERVICES(unit);
    return s->reg_write(unit, s->reg_addr(unit, reg, 0, 0) + 4 * word, &value, 4);
}

// Polls OP_STR_DONE until the chip clears it; -9 once 100 reads still see it.
int wait_done(DrvRegValue &acc) {
    for (int i = 0; i < kPolls; i++) {
        if (int rv = acc.read(); rv < 0) return rv;
        if (acc.get(F_OP_STR_DONE) == 0) return SOC_E_NONE;
    }
    return SOC_E_TIMEOUT;
}

// Starts an operation on a row: the request is written to CFP_ACC after
// fill() has loaded the data registers, then polled to completion.
template <typename Fill>
int run_op(int unit, uint32_t op, const Ram &ram, uint32_t index, Fill fill) {
    DrvRegValue acc(unit, R_CFP_ACC);
    if (int rv = acc.read(); rv < 0) return rv;
    acc.set(F_OP_SEL, op);
    acc.set(F_XCESS_ADDR, index);
    if (int rv = fill(); rv < 0) return rv;
    acc.set(F_RAM_SEL, ram.sel);
    acc.set(F_OP_STR_DONE, 1);
    if (int rv = acc.write(); rv < 0) return rv;
    return wait_done(acc);
}

int fill_none() {
    return SOC_E_NONE;
}

// The RAM of a statistics counter and its data register; false for another
// RAM or an index past its end.
bool stat_ram(uint32_t ram_type, uint32_t index, Ram *ram, uint32_t *reg) {
    if ((ram_type != DRV_CFP_RAM_STAT_IB && ram_type != DRV_CFP_RAM_STAT_OB) ||
        !ram_of(ram_type, ram))
        return false;
    if (index > static_cast<uint32_t>(index_max(*ram))) return false;
    *reg = ram_type == DRV_CFP_RAM_STAT_IB ? R_RATE_INBAND : R_RATE_OUTBAND;
    return true;
}

}  // namespace

sal_mutex_t cfp::lock(int unit) {
    static auto *locks = [] {
        auto *l = new std::array<sal_mutex_t, SOC_MAX_NUM_DEVICES>;
        for (sal_mutex_t &m : *l)
            m = sal_mutex_create("CFP");
        return l;
    }();
    return (*locks)[unit];
}

int _drv_cfp_read(int unit, uint32_t ram_type, uint32_t index, drv_cfp_entry_t *entry) {
    SAL_ASSERT(entry);
    if (entry == nullptr) return SOC_E_PARAM;
    Ram ram;
    if (ram_type == DRV_CFP_RAM_TCAM_MASK || ram_type > DRV_CFP_RAM_METER ||
        !ram_of(ram_type, &ram))
        return SOC_E_PARAM;
    soc_cm_debug_print(cfp::kTrace, "_drv_cfp_read : mem_id = %d, ram_val = %d, index_max = %d\n",
                       ram.mem, static_cast<int>(ram.sel), index_max(ram));
    if (index > static_cast<uint32_t>(index_max(ram))) return SOC_E_PARAM;
    SalLock hold(cfp::lock(unit));
    if (int rv = run_op(unit, kOpRead, ram, index, fill_none); rv < 0) return rv;
    switch (ram_type) {
        case DRV_CFP_RAM_TCAM:
            for (int i = 0; i < row_words(ram); i++) {
                if (int rv = word_read(unit, R_CFP_DATA, i, &entry->tcam_data[i]); rv < 0)
                    return rv;
                if (int rv = word_read(unit, R_CFP_MASK, i, &entry->tcam_mask[i]); rv < 0)
                    return rv;
            }
            return SOC_E_NONE;
        case DRV_CFP_RAM_ACT:
            return word_read(unit, R_ACT_POL_DATA, 0, &entry->act_data);
        default:
            if (int rv = word_read(unit, R_RATE_METER0, 0, &entry->meter_data[0]); rv < 0)
                return rv;
            return word_read(unit, R_RATE_METER1, 0, &entry->meter_data[1]);
    }
}

int _drv_cfp_write(int unit, uint32_t ram_type, uint32_t index, drv_cfp_entry_t *entry) {
    SAL_ASSERT(entry);
    if (entry == nullptr) return SOC_E_PARAM;
    Ram ram;
    if (ram_type == DRV_CFP_RAM_TCAM_MASK || !ram_of(ram_type, &ram)) return SOC_E_UNAVAIL;
    // Counters have their own write.
    if (ram_type == DRV_CFP_RAM_STAT_IB || ram_type == DRV_CFP_RAM_STAT_OB) return SOC_E_PARAM;
    if (index > static_cast<uint32_t>(index_max(ram))) return SOC_E_PARAM;
    SalLock hold(cfp::lock(unit));
    return run_op(unit, kOpWrite, ram, index, [&]() -> int {
        switch (ram_type) {
            case DRV_CFP_RAM_TCAM:
                for (int i = 0; i < row_words(ram); i++) {
                    if (int rv = word_write(unit, R_CFP_DATA, i, entry->tcam_data[i]); rv < 0)
                        return rv;
                    if (int rv = word_write(unit, R_CFP_MASK, i, entry->tcam_mask[i]); rv < 0)
                        return rv;
                }
                return SOC_E_NONE;
            case DRV_CFP_RAM_METER:
                if (int rv = word_write(unit, R_RATE_METER0, 0, entry->meter_data[0]); rv < 0)
                    return rv;
                return word_write(unit, R_RATE_METER1, 0, entry->meter_data[1]);
            default:
                return word_write(unit, R_ACT_POL_DATA, 0, entry->act_data);
        }
    });
}

int _drv_cfp_stat_read(int unit, uint32_t ram_type, uint32_t index, uint32_t *counter) {
    SAL_ASSERT(counter);
    if (counter == nullptr) return SOC_E_PARAM;
    Ram ram;
    uint32_t reg;
    if (!stat_ram(ram_type, index, &ram, &reg)) return SOC_E_PARAM;
    SalLock hold(cfp::lock(unit));
    if (int rv = run_op(unit, kOpRead, ram, index, fill_none); rv < 0) return rv;
    return word_read(unit, reg, 0, counter);
}

int _drv_cfp_stat_write(int unit, uint32_t ram_type, uint32_t index, uint32_t value) {
    Ram ram;
    uint32_t reg;
    if (!stat_ram(ram_type, index, &ram, &reg)) return SOC_E_PARAM;
    SalLock hold(cfp::lock(unit));
    return run_op(unit, kOpWrite, ram, index, [&] { return word_write(unit, reg, 0, value); });
}

int _drv_cfp_tcam_search(int unit, uint32_t flags, uint32_t *index, drv_cfp_entry_t *entry) {
    SAL_ASSERT(entry);
    SAL_ASSERT(index);
    if (entry == nullptr || index == nullptr) return SOC_E_PARAM;
    SalLock hold(cfp::lock(unit));
    DrvRegValue acc(unit, R_CFP_ACC);
    if (int rv = acc.read(); rv < 0) return rv;
    if (flags & DRV_CFP_SRCH_DONE) {
        *index = acc.get(F_OP_STR_DONE) == 0 ? 1 : 0;
        return SOC_E_NONE;
    }
    if (flags & DRV_CFP_SRCH_GET) {
        if (acc.get(F_SERCH_STS) == 0) return SOC_E_EMPTY;
        *index = acc.get(F_XCESS_ADDR);
        for (int i = 0; i < DRV_CFP_ROW_WORDS; i++) {
            if (int rv = word_read(unit, R_CFP_MASK, i, &entry->tcam_mask[i]); rv < 0) return rv;
            if (int rv = word_read(unit, R_CFP_DATA, i, &entry->tcam_data[i]); rv < 0) return rv;
        }
        return SOC_E_NONE;
    }
    if (flags & DRV_CFP_SRCH_START) {
        uint32_t option = kAllPorts - (cfp::port_shifted(unit) ? cfp::kPortShift : 0);
        if (flags & DRV_CFP_SRCH_SRC_PORT) {
            if (DRV_SERVICES(unit)->cfp_field_get(unit, DRV_CFP_RAM_TCAM, DRV_CFP_FIELD_IN_PORT,
                                                  entry, &option) < 0)
                return SOC_E_INTERNAL;
        }
        acc.set(F_OP_SEL, kOpSearch);
        acc.set(F_RAM_SEL, 1);
        acc.set(F_XCESS_ADDR, 0);
        acc.set(F_SEARCH_OPTION, option);
        acc.set(F_OP_STR_DONE, 1);
        return acc.write();
    }
    return SOC_E_NONE;
}

namespace {

// One RAM of an entry and what to print when accessing it fails; all_msg is
// printed instead when every RAM is accessed in one call.
struct EntryRam {
    uint32_t ram;
    const char *msg;
    const char *all_msg;
};

using RamAccess = int (*)(int unit, uint32_t ram_type, uint32_t index, drv_cfp_entry_t *entry);

int entry_access(int unit, uint32_t index, uint32_t ram_type, drv_cfp_entry_t *entry,
                 RamAccess access, const EntryRam (&rams)[3]) {
    const bool all = ram_type == DRV_CFP_RAM_ALL;
    if (!all && ram_type != DRV_CFP_RAM_TCAM && ram_type != DRV_CFP_RAM_ACT &&
        ram_type != DRV_CFP_RAM_METER)
        return SOC_E_PARAM;
    for (const EntryRam &r : rams) {
        if (!all && ram_type != r.ram) continue;
        if (int rv = access(unit, r.ram, index, entry); rv < 0) {
            soc_cm_debug_print(cfp::kError, all ? r.all_msg : r.msg, index, rv);
            return rv;
        }
    }
    entry->id = index;
    return SOC_E_NONE;
}

}  // namespace

int drv_cfp_entry_read(int unit, uint32_t index, uint32_t ram_type, drv_cfp_entry_t *entry) {
    static constexpr const char *kTcam =
        "drv_cfp_entry_read : failed to read TCAM with index = 0x%x, rv = %d. \n";
    static constexpr const char *kAct =
        "drv_cfp_entry_read : failed to read action ram with index = 0x%x, rv = %d. \n";
    static constexpr const char *kMeter =
        "drv_cfp_entry_read : failed to read meter ram with index = 0x%x, rv = %d. \n";
    static constexpr EntryRam kRams[] = {
        {.ram = DRV_CFP_RAM_TCAM, .msg = kTcam, .all_msg = kTcam},
        {.ram = DRV_CFP_RAM_ACT, .msg = kAct, .all_msg = kAct},
        {.ram = DRV_CFP_RAM_METER, .msg = kMeter, .all_msg = kMeter},
    };
    return entry_access(unit, index, ram_type, entry, _drv_cfp_read, kRams);
}

int drv_cfp_entry_write(int unit, uint32_t index, uint32_t ram_type, drv_cfp_entry_t *entry) {
    static constexpr const char *kTcam =
        "drv_cfp_entry_write : failed to write TCAM with index = 0x%x, rv = %d. \n";
    static constexpr EntryRam kRams[] = {
        {.ram = DRV_CFP_RAM_TCAM, .msg = kTcam, .all_msg = kTcam},
        {.ram = DRV_CFP_RAM_ACT,
         .msg = "drv_cfp_entry_write : failed to write ACT ram with index = 0x%x, rv = %d. \n",
         .all_msg =
             "drv_cfp_entry_write:failed to write action ram with index = 0x%x, rv = %d. \n"},
        {.ram = DRV_CFP_RAM_METER,
         .msg = "drv_cfp_entry_write :failed to write METER ram with index = 0x%x, rv = %d. \n",
         .all_msg =
             "drv_cfp_entry_write :failed to write meter ram with index = 0x%x, rv = %d. \n"},
    };
    return entry_access(unit, index, ram_type, entry, _drv_cfp_write, kRams);
}

int drv_cfp_entry_search(int unit, uint32_t flags, uint32_t *index, drv_cfp_entry_t *entry) {
    int rv = _drv_cfp_tcam_search(unit, flags, index, entry);
    if (rv != SOC_E_NONE) {
        soc_cm_debug_print(cfp::kError, "drv_cfp_entry_search : failed to serach TCAM rv = %d\n",
                           rv);
        return rv;
    }
    if (!(flags & DRV_CFP_SRCH_GET) || (flags & DRV_CFP_SRCH_DONE)) return SOC_E_NONE;
    if (rv = _drv_cfp_read(unit, DRV_CFP_RAM_ACT, *index, entry); rv < 0) {
        soc_cm_debug_print(cfp::kError,
                           "drv_cfp_entry_search:failed to read action ram with index = 0x%x, "
                           "rv = %d. \n",
                           *index, rv);
        return rv;
    }
    if (rv = _drv_cfp_read(unit, DRV_CFP_RAM_METER, *index, entry); rv < 0) {
        soc_cm_debug_print(cfp::kError,
                           "drv_cfp_entry_search :failed to read meter ram with index = 0x%x, "
                           "rv = %d. \n",
                           *index, rv);
        return rv;
    }
    entry->id = *index;
    return SOC_E_NONE;
}
