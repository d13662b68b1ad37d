// Monitor commands that reach the platform: log file, console output, debug
// flags, reboot, version, date and history.
#include <cstdio>
#include <cstring>
#include <ctime>

#include "diag_shell.h"
#include "sal.h"
#include "shell_cmds.h"

namespace {

// Bit i of the debug-flag word is named by row i.
const char *const debug_names[32] = {
    "PCi",     "SChan",   "SOCMEM", "SYMTAB", "VERInet", "L3",    "INTr",    "ARL",
    "ARLMon",  "L2table", "DMA",    "POrt",   "PAcket",  "TX",    "RCLOAD",  "TEsts",
    "VERbose", "MIIm",    "PHY",    "END",    "LInk",    "ERRor", "CounTeR", "IP",
    "STP",     "VLAN",    "RX",     "WARN",   "I2C",     "REG",   "MEM",     "STK",
};

const parse_mask_t *debug_table() {
    static const parse_mask_t *table = [] {
        static parse_mask_t rows[35];
        for (int i = 0; i < 32; i++)
            rows[i] = {.name = debug_names[i], .mask = 1u << i};
        rows[32] = {.name = "@ALL", .mask = 0xffffffffu};
        rows[33] = {.name = "@*", .mask = 0xffffffffu};
        rows[34] = {.name = nullptr, .mask = 0};
        return rows;
    }();
    return table;
}

char log_name[256];

}  // namespace

int sh_log(int unit, args_t *a) {
    const char *current = log_name[0] != '\0' ? log_name : "dxp.log";
    if (ARG_CNT(a) == 0) {
        sal_printf("Logging to file %s: %s\n", current, sal_log_enabled() ? "enabled" : "disabled");
        return CMD_OK;
    }
    char *file = nullptr;
    int append = 1;
    int quiet = 0;
    parse_table_t pt;
    parse_table_init(unit, &pt);
    parse_table_add(&pt, "File", PQ_STRING, const_cast<char *>(current), &file, nullptr);
    parse_table_add(&pt, "Append", PQ_BOOL, reinterpret_cast<void *>(1), &append, nullptr);
    parse_table_add(&pt, "Quiet", PQ_BOOL, nullptr, &quiet, nullptr);
    if (parse_table_args(a, &pt) < 0) {
        parse_table_done(&pt);
        return CMD_USAGE;
    }
    if (ARG_CUR(a) != nullptr && std::strchr(ARG_CUR(a), '=') != nullptr) {
        sal_printf("%s: Invalid option: %s\n", ARG_CMD(a), ARG_CUR(a));
        parse_table_done(&pt);
        return CMD_USAGE;
    }
    const char *action = ARG_CNT(a) > 0 ? ARG_GET(a) : "on";
    int rv = CMD_OK;
    if (ARG_CNT(a) > 0 ||
        (sal_strcasecmp(action, "on") != 0 && sal_strcasecmp(action, "off") != 0)) {
        rv = CMD_USAGE;
    } else if (sal_strcasecmp(action, "off") == 0) {
        if (log_name[0] != '\0' && sal_log_enabled()) {
            if (sal_log_enable(0) < 0) {
                sal_printf("%s: Error: Could not stop logging to %s\n", ARG_CMD(a), log_name);
                rv = CMD_FAIL;
            } else if (!quiet) {
                sal_printf("File logging to %s stopped.\n", log_name);
            }
        } else {
            sal_printf("File logging is not active.\n");
        }
    } else if (file == nullptr || file[0] == '\0') {
        sal_printf("%s: Missing log file name\n", ARG_CMD(a));
        rv = CMD_FAIL;
    } else {
        bool opened = false;
        if (log_name[0] == '\0' || std::strcmp(file, log_name) != 0) {
            if (sal_log_file_set(file, append) < 0) {
                sal_printf("%s: Error: Could not start logging\n", ARG_CMD(a));
                parse_table_done(&pt);
                return CMD_FAIL;
            }
            std::snprintf(log_name, sizeof log_name, "%s", file);
            opened = true;
        }
        if (sal_log_enable(1) < 0) {
            sal_printf("%s: Error: Could not start logging\n", ARG_CMD(a));
            rv = CMD_FAIL;
        } else if (!quiet) {
            sal_printf("File logging %s to %s\n", opened ? "started" : "continued", log_name);
        }
    }
    parse_table_done(&pt);
    return rv;
}

int sh_console(int, args_t *a) {
    if (ARG_CNT(a) != 1) return CMD_USAGE;
    const char *w = ARG_GET(a);
    if (sal_strcasecmp(w, "on") == 0)
        sal_console_enable_set(1);
    else if (sal_strcasecmp(w, "off") == 0)
        sal_console_enable_set(0);
    else
        return CMD_USAGE;
    return CMD_OK;
}

int sh_debug(int, args_t *a) {
    const parse_mask_t *table = debug_table();
    uint32_t flags = sal_debug_flags_add(0);
    if (ARG_CNT(a) == 0) {
        sal_printf("Debugging is enabled for the following subsystems:\n\n");
        parse_mask_format(50, table, flags);
        sal_printf("\nDebugging is disabled for the following subsystems:\n\n");
        parse_mask_format(50, table, ~flags);
        sal_printf("\n");
        return CMD_OK;
    }
    const char *w;
    while ((w = ARG_GET(a)) != nullptr) {
        if (parse_mask(w, table, &flags) != 0) {
            sal_printf("debug: unknown option: %s\n", w);
            return CMD_FAIL;
        }
    }
    sal_debug_flags_set(flags);
    return CMD_OK;
}

int sh_debugmod(int, args_t *) {
    sal_printf("Debug modules not compiled into this build.\n");
    return CMD_OK;
}

int sh_reboot(int, args_t *a) {
    if (ARG_CNT(a) != 0) return CMD_USAGE;
    sal_reboot_after_pending();
}

int sh_version(int, args_t *a) {
    if (ARG_CNT(a) != 0) return CMD_USAGE;
    sal_printf("DXP diagnostic monitor (switchfw)\n");
    sal_printf("Release: switchfw, built with %s\n", __VERSION__);
    return CMD_OK;
}

int sh_date(int, args_t *a) {
    if (ARG_CNT(a) > 1) return CMD_USAGE;
    if (ARG_CNT(a) == 1) {
        const char *p = ARG_GET(a);
        int v[6] = {0, 0, 0, 0, 0, 0};
        for (int &x : v) {
            while (*p != '\0' && (*p < '0' || *p > '9'))
                p++;
            // A run too long for any date field stays at nine nines.
            while (*p >= '0' && *p <= '9') {
                x = x > 99999999 ? 999999999 : x * 10 + (*p - '0');
                p++;
            }
        }
        std::tm tm{};
        tm.tm_year = v[0] - 1900;
        tm.tm_mon = v[1] - 1;
        tm.tm_mday = v[2];
        tm.tm_hour = v[3];
        tm.tm_min = v[4];
        tm.tm_sec = v[5];
        tm.tm_isdst = -1;
        if (sal_date_set(static_cast<uint32_t>(std::mktime(&tm))) != 0) return CMD_FAIL;
    }
    uint32_t secs;
    if (sal_date_get(&secs) != 0) return CMD_FAIL;
    std::time_t t = secs;
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, "%Y/%m/%d %H:%M:%S %Z", &tm);
    sal_printf("%s\n", buf);
    return CMD_OK;
}

int sh_history(int, args_t *) {
    sal_printf("History not available\n");
    return CMD_FAIL;
}
