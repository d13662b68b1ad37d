// Counter displays and the CounTeR command. The collector thread keeps the
// 64-bit totals; the monitor keeps per unit the values it showed last, so
// that a display can print each counter's change since then.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "diag_counter.h"
#include "diag_parse.h"
#include "drv_reg.h"
#include "dxp_error.h"
#include "feature_cmds.h"
#include "sal.h"
#include "shell_cmds.h"
#include "shr.h"
#include "soc.h"
#include "soc_property.h"

namespace {

constexpr uint32_t kDebugCounter = 0x400000;
constexpr uint32_t kChipMibGroups = 0x800000;
constexpr uint32_t kChipCpuNoCounters = 0x1000000;
constexpr int kPorts = 64;

// Saved values of each unit: SOC_MAX_NUM_PORTS x counters per port; made on
// first use and kept for the life of the system.
struct SavedCounters {
    uint64_t *values;
    int entries;
};
SavedCounters g_saved[SOC_MAX_NUM_DEVICES];

int counters_per_port(int unit) {
    const soc_control_t *soc = SOC_CONTROL(unit);
    if (soc == nullptr || soc->chip_driver == nullptr) return 0;
    const soc_cmap_t *maps = soc->chip_driver->counter_maps;
    return maps[0].num > maps[1].num ? maps[0].num : maps[1].num;
}

const char *reg_name(int reg) {
    const char *name = chipdata_reg_name(reg);
    return name != nullptr ? name : "?";
}

// The table slot of (port, reg), -1 when there is none.
int saved_index(int unit, int port, int reg) {
    if (unit < 0 || unit >= SOC_MAX_NUM_DEVICES) return -1;
    int idx = soc_tarn_counter_idx_get(unit, reg, port);
    return idx >= 0 && idx < g_saved[unit].entries ? idx : -1;
}

// Calls fn(port, reg) for every counter of the ports in pbmp, ascending.
template <typename Fn>
int each_counter(int unit, uint64_t pbmp, Fn fn) {
    for (int port = 0; port < kPorts; port++) {
        if (!(pbmp >> port & 1)) continue;
        const soc_cmap_t *map = soc_tarn_port_cmap_get(unit, port);
        if (map == nullptr || map->counters == nullptr) continue;
        for (int i = 0; i < map->num; i++) {
            if (map->counters[i] == -1) continue;
            if (int rv = fn(port, map->counters[i]); rv < 0) return rv;
        }
    }
    return 0;
}

// Decimal with the separator between groups of three digits.
void decimal(char *buf, uint64_t value, int comma) {
    format_uint64_decimal(buf, value, comma);
}

}  // namespace

void cval_set(int unit, int port, int reg, int ar_idx, uint64_t value) {
    if (unit < 0 || unit >= SOC_MAX_NUM_DEVICES) return;
    SavedCounters &s = g_saved[unit];
    if (s.values == nullptr) {
        int entries = SOC_MAX_NUM_PORTS * counters_per_port(unit);
        if (entries <= 0) return;
        size_t bytes = static_cast<size_t>(entries) * sizeof(uint64_t);
        s.values = static_cast<uint64_t *>(sal_alloc(bytes, "save_ctrs"));
        if (s.values == nullptr) return;
        std::memset(s.values, 0, bytes);
        s.entries = entries;
    }
    int idx = saved_index(unit, port, reg);
    soc_cm_debug_print(kDebugCounter, "cval_set: %s ar_idx=%d p=%d idx=%d vh=%d vl=%d\n",
                       reg_name(reg), ar_idx, port, idx, static_cast<int>(value >> 32),
                       static_cast<int>(value));
    if (idx >= 0) s.values[idx] = value;
}

uint64_t cval_get(int unit, int port, int reg, int ar_idx) {
    if (unit < 0 || unit >= SOC_MAX_NUM_DEVICES || g_saved[unit].values == nullptr) return 0;
    int idx = saved_index(unit, port, reg);
    uint64_t value = idx >= 0 ? g_saved[unit].values[idx] : 0;
    soc_cm_debug_print(kDebugCounter, "cval_get: %s ar_idx=%d p=%d idx=%d vh=%d vl=%d\n",
                       reg_name(reg), ar_idx, port, idx, static_cast<int>(value >> 32),
                       static_cast<int>(value));
    return value;
}

void cval_set_pbmp(int unit, uint64_t pbmp, uint64_t value) {
    each_counter(unit, pbmp, [&](int port, int reg) {
        cval_set(unit, port, reg, -1, value);
        return 0;
    });
}

int counter_show_reg(int unit, int port, int reg, int ar_idx, int flags) {
    int tabs = soc_property_get(unit, "diag_tabs", 8);
    int comma = soc_property_get(unit, "diag_comma", ',');
    const soc_reg_info_t *row = SOC_REG_INFO(unit, static_cast<uint32_t>(reg));
    // Array counters keep one saved value per port: nothing to show per element.
    if (row == nullptr || (row->flags & CHIPDATA_RF_ARRAY)) return 0;

    uint64_t value = 0;
    if (soc_tarn_counter_read(unit, port, reg, &value) < 0) return 0;
    uint64_t saved = cval_get(unit, port, reg, ar_idx);
    uint64_t rate = 0;
    soc_tarn_counter_rate_get(unit, port, reg, &rate);
    uint64_t delta = value - saved;
    bool changed = delta != 0;
    if (changed) cval_set(unit, port, reg, ar_idx, value);

    if (!(flags & (changed ? COUNTER_SHOW_CHANGED : COUNTER_SHOW_SAME))) return 0;
    if (!(flags & (value == 0 ? COUNTER_SHOW_Z : COUNTER_SHOW_NZ))) return 0;
    if ((flags & COUNTER_SHOW_ERDISC) && !(row->flags & CHIPDATA_RF_ERR_COUNTER)) return 0;

    char name[64];
    const char *rn = reg_name(reg);
    std::snprintf(name, sizeof name, "%.*s.%s", std::strlen(rn) >= 13 ? 12 : 63, rn,
                  SOC_CONTROL(unit)->port_name[port]);
    auto hi = [](uint64_t v) { return static_cast<uint32_t>(v >> 32); };
    auto lo = [](uint64_t v) { return static_cast<uint32_t>(v); };
    char line[256];
    if (flags & COUNTER_SHOW_RAW) {
        if (flags & COUNTER_SHOW_HEX) {
            std::snprintf(line, sizeof line, "0x%08x%08x", hi(value), lo(value));
        } else {
            decimal(line, value, 0);
        }
    } else if (flags & COUNTER_SHOW_HEX) {
        std::snprintf(line, sizeof line, "%-17s : 0x%08x%08x +0x%08x%08x 0x%08x%08x/s", name,
                      hi(value), lo(value), hi(delta), lo(delta), hi(rate), lo(rate));
    } else {
        char v[32], d[32] = "+";
        decimal(v, value, comma);
        decimal(d + 1, delta, comma);
        int n = std::snprintf(line, sizeof line, "%-18s:%22s%20s", name, v, d);
        if (rate != 0 && n > 0 && static_cast<size_t>(n) < sizeof line) {
            char r[32];
            decimal(r, rate, comma);
            std::snprintf(line + n, sizeof line - n, "%16s/s", r);
        }
    }
    char out[512];
    format_entab(out, line, tabs);
    sal_printf("%s\n", out);
    return 0;
}

int counter_show_pbmp(int unit, int reg, uint64_t pbmp, int flags) {
    for (int port = 0; port < kPorts; port++) {
        if (!(pbmp >> port & 1)) continue;
        if (reg != -1) {
            counter_show_reg(unit, port, reg, -1, flags);
            continue;
        }
        each_counter(unit, uint64_t{1} << port,
                     [&](int p, int r) { return counter_show_reg(unit, p, r, -1, flags); });
    }
    int interval = 0;
    soc_pbmp_t collected{};
    uint32_t group = 0;
    soc_tarn_counter_status(unit, &interval, &collected, &group);
    uint64_t missing = pbmp & ~diag_pbmp_bits(collected);
    const soc_control_t *soc = SOC_CONTROL(unit);
    if (soc != nullptr && (soc->chip_flags & kChipCpuNoCounters) && soc->cmic_port >= 0 &&
        soc->cmic_port < kPorts)
        missing &= ~(uint64_t{1} << soc->cmic_port);
    if (interval == 0) {
        sal_printf("NOTE: counter collection is not running\n");
    } else if (missing != 0) {
        char buf[32];
        sal_printf("NOTE: counter collection is not active for ports %s\n",
                   shr_format_uint64_hex(missing, buf));
    }
    return 0;
}

int counter_sync_pbmp(int unit, uint64_t pbmp) {
    // A running collector first takes in what the chip counted until now.
    soc_tarn_counter_sync(unit);
    return each_counter(unit, pbmp, [&](int port, int reg) {
        uint64_t value = 0;
        if (int rv = soc_tarn_counter_read(unit, port, reg, &value); rv < 0) return rv;
        cval_set(unit, port, reg, 0, value);
        return 0;
    });
}

int cmd_counter(int unit, args_t *a) {
    if (!sh_check_attached(ARG_CMD(a), unit)) return CMD_FAIL;
    const soc_control_t *soc = SOC_CONTROL(unit);
    bool groups = soc->chip_flags & kChipMibGroups;
    int interval = 0;
    soc_pbmp_t pbmp{};
    uint32_t flags = 0;
    soc_tarn_counter_status(unit, &interval, &pbmp, &flags);
    int group = 0;

    parse_table_t pt;
    parse_table_init(unit, &pt);
    parse_table_add(&pt, "Interval", PQ_INT | PQ_DFL, nullptr, &interval, nullptr);
    parse_table_add(&pt, "PortBitMap", PQ_PBMP | PQ_DFL, nullptr, &pbmp, nullptr);
    if (groups) parse_table_add(&pt, "MIBGroup", PQ_INT | PQ_DFL, nullptr, &group, nullptr);
    if (ARG_CNT(a) == 0) {
        sal_printf("Current settings:\n");
        parse_table_show(&pt);
        parse_table_done(&pt);
        return CMD_OK;
    }
    // Options and the words off and sync, in any order.
    bool sync = false;
    for (;;) {
        int taken = parse_table_args(a, &pt);
        const char *w = ARG_CUR(a);
        if (taken < 0) {
            parse_table_done(&pt);
            return CMD_FAIL;
        }
        if (w != nullptr && strcasecmp(w, "off") == 0) {
            interval = 0;
        } else if (w != nullptr && strcasecmp(w, "sync") == 0) {
            sync = true;
        } else {
            break;
        }
        ARG_GET(a);
    }
    parse_table_done(&pt);
    if (ARG_CUR(a) != nullptr) {
        sal_printf("%s: Error: Unknown option: %s\n", ARG_CMD(a), ARG_CUR(a));
        return CMD_FAIL;
    }
    // A negative interval would stop the collection, another group collect
    // the default: each is refused by name instead.
    if (interval < 0) {
        sal_printf("%s: Error: Invalid interval %d: microseconds, or 0 (off) to stop\n", ARG_CMD(a),
                   interval);
        return CMD_FAIL;
    }
    if (group < 0 || group > 2) {
        sal_printf("%s: Error: Invalid MIB group %d (0, 1 or 2)\n", ARG_CMD(a), group);
        return CMD_FAIL;
    }
    uint32_t mib_group = groups && (group == 1 || group == 2) ? static_cast<uint32_t>(group) : 0;

    if (sync) {
        counter_sync_pbmp(unit, diag_pbmp_bits(pbmp));
        return CMD_OK;
    }
    // A self-test judges its ports by their counters: collection stops and
    // starts anew only once the test has ended.
    if (feature_cmds::refuse_held(ARG_CMD(a), unit, soc->all.bitmap)) return CMD_FAIL;
    pbmp.w[0] &= soc->all.bitmap.w[0];
    pbmp.w[1] &= soc->all.bitmap.w[1];
    int rv = interval >= 1 ? soc_tarn_counter_start(unit, mib_group, interval, pbmp)
                           : soc_tarn_counter_stop(unit);
    if (rv < 0) {
        sal_printf("%s: Error: Could not set counter mode: %s\n", ARG_CMD(a), dxp_errmsg(rv));
        return CMD_FAIL;
    }
    return CMD_OK;
}
