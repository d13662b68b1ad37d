// CLEAR, SHOW, PBMP and SOC: zeroing counters, statistics and tables, the
// counter and statistics displays, and the port bitmap converter.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "diag_counter.h"
#include "diag_mem.h"
#include "diag_parse.h"
#include "diag_shell.h"
#include "diag_symtab.h"
#include "drv_counter.h"
#include "drv_wide.h"
#include "dxp.h"
#include "feature_cmds.h"
#include "sal.h"
#include "shell_cmds.h"
#include "shr.h"
#include "soc.h"
#include "soc_miim.h"

namespace {

// A port bitmap word, or all of the unit's ports when there is none; false
// after the message.
bool pbmp_arg(int unit, args_t *a, soc_pbmp_t *pbmp) {
    *pbmp = SOC_CONTROL(unit)->all.bitmap;
    const char *w = ARG_CUR(a);
    if (w == nullptr) return true;
    if (parse_pbmp(unit, w, pbmp) != 0) {
        sal_printf("%s: Invalid port bitmap: %s\n", ARG_CMD(a), w);
        return false;
    }
    ARG_GET(a);
    return true;
}

int clear_tables(int unit, args_t *a) {
    for (const char *w = ARG_GET(a); w != nullptr; w = ARG_GET(a)) {
        int m = mem_table_find(w);
        if (m < 0) {
            sal_printf("ERROR: unknown table \"%s\"\n", w);
            return CMD_FAIL;
        }
        // The CFP memories are reached row by row only, not cleared whole.
        uint32_t id = mem_table_drv_id(m);
        if (id == 0 || (id >= DRV_MEM_CFP_DATA && id <= DRV_MEM_CFP_STAT_OUT)) {
            sal_printf("Unsupport memory table.\n");
            return CMD_FAIL;
        }
        const int rv = DRV_SERVICES(unit)->mem_clear(unit, id);
        // The address table's clear takes the CPU's station entries too.
        if (id == DRV_MEM_ARL) diag_unit_entries_restore(unit);
        if (rv < 0) {
            sal_printf("ERROR: clear table %s failed: %s\n", mem_table_name(m), dxp_errmsg(rv));
            return CMD_FAIL;
        }
    }
    return CMD_OK;
}

struct ShowCounterOpt {
    const char *name;
    int flags;
};
constexpr ShowCounterOpt kCounterOpts[] = {
    {"Changed", COUNTER_SHOW_CHANGED},
    {"Same", COUNTER_SHOW_SAME},
    {"Zero", COUNTER_SHOW_Z},
    {"NonZero", COUNTER_SHOW_NZ},
    {"Hex", COUNTER_SHOW_HEX},
    {"Raw", COUNTER_SHOW_RAW},
    {"All", COUNTER_SHOW_CHANGED | COUNTER_SHOW_SAME | COUNTER_SHOW_Z | COUNTER_SHOW_NZ},
    {"ErDisc", COUNTER_SHOW_ERDISC},
};

int show_counters(int unit, args_t *a) {
    int flags = 0;
    const char *w;
    while ((w = ARG_CUR(a)) != nullptr) {
        const auto *opt = static_cast<const ShowCounterOpt *>(parse_lookup(
            w, kCounterOpts, sizeof kCounterOpts[0], sizeof kCounterOpts / sizeof kCounterOpts[0]));
        if (opt == nullptr) break;
        flags |= opt->flags;
        ARG_GET(a);
    }
    if (!(flags & (COUNTER_SHOW_CHANGED | COUNTER_SHOW_SAME))) flags |= COUNTER_SHOW_CHANGED;
    if (!(flags & (COUNTER_SHOW_Z | COUNTER_SHOW_NZ))) flags |= COUNTER_SHOW_NZ;

    const soc_control_t *soc = SOC_CONTROL(unit);
    soc_pbmp_t pbmp = soc->all.bitmap;
    int reg = -1;
    if ((w = ARG_GET(a)) != nullptr && parse_pbmp(unit, w, &pbmp) != 0) {
        soc_regaddrlist_t list;
        const char *ref = w;
        if (!reg_list_alloc(&list, &ref)) return CMD_FAIL;
        if (symtab_reg_parse(unit, &list, ref) != 0) {
            sal_printf("Syntax error parsing \"%s\"\n", w);
            soc_regaddrlist_free(&list);
            return CMD_FAIL;
        }
        reg = list.ainfo[0].reg;
        const soc_reg_info_t *row = SOC_REG_INFO(unit, static_cast<uint32_t>(reg));
        if (row == nullptr || !(row->flags & CHIPDATA_RF_COUNTER) || row->type == 4) {
            sal_printf("%s: Register is not a counter: %s\n", ARG_CMD(a), w);
            soc_regaddrlist_free(&list);
            return CMD_FAIL;
        }
        pbmp = soc_pbmp_t{};
        for (int i = 0; i < list.count; i++)
            soc_pbmp_port_add(&pbmp, list.ainfo[i].port);
        soc_regaddrlist_free(&list);
    }
    if (ARG_CUR(a) != nullptr) return CMD_USAGE;
    uint64_t bits = diag_pbmp_bits(pbmp) & diag_pbmp_bits(soc->all.bitmap);
    return counter_show_pbmp(unit, reg, bits, flags);
}

int show_statistics(int unit, args_t *a) {
    const soc_control_t *soc = SOC_CONTROL(unit);
    soc_pbmp_t pbmp = soc->all.bitmap;
    bool all = false;
    bool have_pbmp = false;
    for (const char *w = ARG_GET(a); w != nullptr; w = ARG_GET(a)) {
        if (strcasecmp(w, "all") == 0) {
            all = true;
        } else if (!have_pbmp) {
            if (parse_pbmp(unit, w, &pbmp) != 0) {
                sal_printf("%s: Invalid ports: %s\n", ARG_CMD(a), w);
                return CMD_FAIL;
            }
            have_pbmp = true;
        } else {
            sal_printf("%s: Error: Invalid option %s\n", ARG_CMD(a), w);
            return CMD_FAIL;
        }
    }
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (!soc_pbmp_member(pbmp, port) || !SOC_PORT_VALID(unit, port)) continue;
        sal_printf("%s: Statistics for Unit %d port %s\n", ARG_CMD(a), unit, soc->port_name[port]);
        for (uint32_t stat = 0; stat < DRV_SNMP_NUM_STATS; stat++) {
            const char *name = drv_snmp_stat_name(stat);
            uint64_t v = 0;
            int rv = dxp_stat_get(unit, port, static_cast<int>(stat), &v);
            if (rv < 0) {
                sal_printf("%8s\t%s (stat %d): %s\n", "-", name, stat, dxp_errmsg(rv));
            } else if (v == 0 && !all) {
                continue;
            } else if (v >> 32) {
                sal_printf("0x%08x%08x\t%s (stat %d)\n", static_cast<uint32_t>(v >> 32),
                           static_cast<uint32_t>(v), name, stat);
            } else {
                sal_printf("%8u\t%s (stat %d)\n", static_cast<uint32_t>(v), name, stat);
            }
        }
    }
    return CMD_OK;
}

using ShowFn = int (*)(int unit, args_t *a);
struct ShowSub {
    const char *name;
    ShowFn fn;
    bool needs_unit;
};

int show_nothing(int, args_t *) {
    return CMD_OK;
}
int show_errors(int unit, args_t *a) {
    sal_printf("%s: Errors: MII(%d)\n", ARG_CMD(a), soc_miim_error_count(unit));
    return CMD_OK;
}
int show_chips(int, args_t *) {
    sal_printf("Known chips:\n");
    soc_cm_device_list_print();
    return CMD_OK;
}

constexpr ShowSub kShowSubs[] = {
    {"Pci", show_nothing, false},   {"Counters", show_counters, true},
    {"Errors", show_errors, true},  {"Interrupts", show_nothing, false},
    {"Chips", show_chips, false},   {"Statistics", show_statistics, true},
    {"MIB", show_statistics, true},
};

}  // namespace

int cmd_clear(int unit, args_t *a) {
    if (!sh_check_attached(ARG_CMD(a), unit)) return CMD_FAIL;
    const char *w = ARG_CUR(a);
    if (w == nullptr) return CMD_USAGE;
    const bool counters = strcasecmp(w, "counters") == 0 || strcasecmp(w, "c") == 0;
    // A self-test judges its ports by their counters, and a device or table
    // clear takes every port: refused while a test holds one.
    if (!counters && strcasecmp(w, "stats") != 0 &&
        feature_cmds::refuse_held(ARG_CMD(a), unit, SOC_CONTROL(unit)->all.bitmap))
        return CMD_FAIL;
    if (counters) {
        ARG_GET(a);
        soc_pbmp_t pbmp;
        if (!pbmp_arg(unit, a, &pbmp)) return CMD_FAIL;
        if (feature_cmds::refuse_held(ARG_CMD(a), unit, pbmp)) return CMD_FAIL;
        if (int rv = soc_tarn_counter_set32(unit, pbmp, 0); rv < 0) {
            sal_printf("ERROR: Clear counters failed: %s\n", dxp_errmsg(rv));
            return CMD_FAIL;
        }
        cval_set_pbmp(unit, diag_pbmp_bits(pbmp), 0);
        return CMD_OK;
    }
    if (strcasecmp(w, "stats") == 0) {
        ARG_GET(a);
        soc_pbmp_t pbmp;
        if (!pbmp_arg(unit, a, &pbmp)) return CMD_FAIL;
        if (feature_cmds::refuse_held(ARG_CMD(a), unit, pbmp)) return CMD_FAIL;
        for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
            if (!soc_pbmp_member(pbmp, port)) continue;
            if (int rv = dxp_stat_clear(unit, port); rv < 0)
                sal_printf("%s: Unit %d Port %d failed to clear stats: %s\n", ARG_CMD(a), unit,
                           port, dxp_errmsg(rv));
        }
        return CMD_OK;
    }
    if (strcasecmp(w, "dev") == 0) {
        ARG_GET(a);
        if (int rv = dxp_clear(unit); rv < 0) {
            sal_printf("%s ERROR: Unit %d.  dxp_clear returned %d: %s\n", ARG_CMD(a), unit, rv,
                       dxp_errmsg(rv));
            return CMD_FAIL;
        }
        diag_unit_entries_restore(unit);  // the address table was emptied
        return CMD_OK;
    }
    return clear_tables(unit, a);
}

int cmd_show(int unit, args_t *a) {
    const char *w = ARG_GET(a);
    if (w == nullptr) return CMD_USAGE;
    const auto *sub = static_cast<const ShowSub *>(
        parse_lookup(w, kShowSubs, sizeof kShowSubs[0], sizeof kShowSubs / sizeof kShowSubs[0]));
    if (sub == nullptr) {
        sal_printf("%s: Error: Unknown subcommand: %s\n", ARG_CMD(a), w);
        return CMD_FAIL;
    }
    if (sub->needs_unit && !sh_check_attached(ARG_CMD(a), unit)) return CMD_FAIL;
    return sub->fn(unit, a);
}

int cmd_pbmp(int unit, args_t *a) {
    if (!sh_check_attached(ARG_CMD(a), unit)) return CMD_FAIL;
    const soc_control_t *soc = SOC_CONTROL(unit);
    const char *w = ARG_GET(a);
    char hex[32];
    if (w == nullptr) {
        auto line = [&hex](const char *label, const soc_pbmp_t &b) {
            sal_printf("     %s ==> %s\n", label, shr_format_uint64_hex(diag_pbmp_bits(b), hex));
        };
        sal_printf("Current bitmaps:\n");
        line("FE  ", soc->fe.bitmap);
        line("GE  ", soc->ge.bitmap);
        line("E   ", soc->e.bitmap);
        line("PORT", soc->port.bitmap);
        line("MII ", soc->cmic_bitmap);
        line("ALL ", soc->all.bitmap);
        return CMD_OK;
    }
    if (strcasecmp(w, "port") == 0) {
        const char *text = ARG_GET(a);
        if (text == nullptr) {
            sal_printf("ERROR: missing port string\n");
            return CMD_FAIL;
        }
        int port = -1;
        if (parse_port(unit, text, &port) != 0 || port < 0 || port >= SOC_MAX_NUM_PORTS) {
            sal_printf("%s: Invalid port string: %s\n", ARG_CMD(a), text);
            return CMD_FAIL;
        }
        sal_printf("    port %s ==> %s (%d)\n", text, soc->port_name[port], port);
        return CMD_OK;
    }
    soc_pbmp_t pbmp{};
    if (parse_pbmp(unit, w, &pbmp) != 0) {
        sal_printf("%s: Invalid pbmp string (%s); use 'pbmp ?' for more info.\n", ARG_CMD(a), w);
        return CMD_FAIL;
    }
    char list[512];
    format_pbmp(unit, list, sizeof list, pbmp);
    sal_printf("    %s ==> %s\n", shr_format_uint64_hex(diag_pbmp_bits(pbmp), hex), list);
    return CMD_OK;
}

int cmd_soc(int, args_t *a) {
    sal_printf("%s: Warning: Not compiled with CARVOLIX_DEBUG enabled\n", ARG_CMD(a));
    return CMD_OK;
}
