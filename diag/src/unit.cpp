// The monitor's unit commands: PROBE, Attach, DETach and INIT, over the
// device manager's start-up glue.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "diag_parse.h"
#include "dxp.h"
#include "dxp_error.h"
#include "dxp_tarn.h"
#include "feature_cmds.h"
#include "sal.h"
#include "shell_cmds.h"
#include "soc.h"
#include "soc_cm.h"
#include "soc_control.h"
#include "soc_property.h"
#include "soc_sysconf.h"

#include <atomic>

namespace {

constexpr int kNumModules = 21;

std::atomic<diag_unit_init_fn> unit_init_hook{nullptr};

void unit_init_done(int unit) {
    if (diag_unit_init_fn fn = unit_init_hook.load()) fn(unit);
}

int num_units() {
    int n = soc_cm_get_num_units();
    return n < 0 ? 0 : n;
}

bool is_unit_word(const char *w) {
    return parse_is_integer(w) != 0;
}

int attach_one(const char *cmd, int unit) {
    if (sysconf_attach(unit) < 0) {
        sal_printf("%s: Error: Could not attach unit: %d\n", cmd, unit);
        return CMD_FAIL;
    }
    if (sh_get_unit() < 0) sh_set_unit(unit);
    return CMD_OK;
}

void list_modules(int unit) {
    sal_printf("Valid flags are: \n");
    for (int m = 0; m < kNumModules; m++)
        sal_printf("    %s\n", dxp_module_name(unit, m));
}

int init_modules(int unit, const char *cmd, args_t *a) {
    uint32_t set = 0;
    for (const char *w = ARG_GET(a); w != nullptr; w = ARG_GET(a)) {
        int m = 0;
        while (m < kNumModules && strcasecmp(w, dxp_module_name(unit, m)) != 0)
            m++;
        if (m == kNumModules) {
            sal_printf("Unknown flag: %s\n", w);
            list_modules(unit);
            return CMD_FAIL;
        }
        set |= 1u << m;
    }
    if (set == 0) {
        sal_printf("%s: missing flags:\n", cmd);
        list_modules(unit);
        return CMD_FAIL;
    }
    if (dxp_attach_check(unit) < 0) (void)dxp_attach(unit, DXP_DEFAULT_FAMILY, nullptr, unit);
    int rv = dxp_init_modules(unit, set);
    if (rv < 0) {
        int lowest = __builtin_ctz(set);
        sal_printf("%s: Unable to initialize %s%s (flags 0x%x): %s\n", cmd,
                   dxp_module_name(unit, lowest), (set & (set - 1)) ? "..." : "", set,
                   dxp_errmsg(rv));
        return CMD_FAIL;
    }
    return CMD_OK;
}

}  // namespace

int system_init(int unit) {
    if (!SOC_IS_FAMILY_LAYOUT(unit)) return 0;
    int rv = soc_reset_init(unit);
    if (rv < 0) {
        soc_cm_debug_print(DK_ERR, "system_init: %s failed: %s\n", "Device reset", dxp_errmsg(rv));
        return 0;
    }
    soc_cm_debug_print(0x80, "Init ARL Thread on unit %d\n", unit);
    // Register-write logging turns on the register and verbose prints.
    sal_debug_flags_add(soc_property_get(unit, "reg_write_log", 0) != 0 ? 0x20010000u : 0x8200000u);
    rv = dxp_init(unit);
    if (rv < 0)
        soc_cm_debug_print(DK_ERR, "system_init: %s failed: %s\n", "DXP driver layer init",
                           dxp_errmsg(rv));
    return 0;
}

int cmd_probe(int unit, args_t *a) {
    (void)unit;
    if (ARG_CNT(a) != 0) return CMD_USAGE;
    if (sysconf_probe() < 0) {
        sal_printf("%s: Probe failed\n", ARG_CMD(a));
        return CMD_FAIL;
    }
    int n = num_units();
    sal_printf("%s: found %d unit%s\n", ARG_CMD(a), n, n == 1 ? "" : "s");
    var_set_integer("units", n, 0, 0);
    return CMD_OK;
}

int cmd_attach(int unit, args_t *a) {
    (void)unit;
    const char *cmd = ARG_CMD(a);
    if (!sysconf_probed()) {
        sal_printf("%s: Probe command not yet performed\n", cmd);
        return CMD_FAIL;
    }
    int n = num_units();
    if (ARG_CUR(a) == nullptr) {
        if (n == 0) sal_printf("%s: No units probed\n", cmd);
        for (int u = 0; u < n; u++) {
            sal_printf("%s: Unit %d (%s): %sattached%s\n", cmd, u, soc_cm_device_name(u),
                       soc_unit_attached(u) ? "" : "not ",
                       u == sh_get_unit() ? " (current unit)" : "");
        }
        return CMD_OK;
    }
    for (const char *w = ARG_GET(a); w != nullptr; w = ARG_GET(a)) {
        if (std::strcmp(w, "*") == 0) {
            for (int u = 0; u < n; u++) {
                if (soc_unit_attached(u)) {
                    sal_printf("Unit %d is attached\n", u);
                } else if (attach_one(cmd, u) < 0) {
                    return CMD_FAIL;
                }
            }
            return CMD_OK;
        }
        if (!is_unit_word(w)) {
            sal_printf("%s: Error: Invalid unit #: %s\n", cmd, w);
            return CMD_FAIL;
        }
        int u = parse_integer(w);
        if (u < 0 || u >= n) {
            sal_printf("%s: Error: Unit number out of range (%d - %d)\n", cmd, 0, n - 1);
            return CMD_FAIL;
        }
        if (soc_unit_attached(u)) {
            sal_printf("%s: Error: Unit already attached: %d\n", cmd, u);
            return CMD_FAIL;
        }
        if (attach_one(cmd, u) < 0) return CMD_FAIL;
    }
    return CMD_OK;
}

int cmd_detach(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    auto detach = [cmd](int u) {
        if (!sh_check_attached(cmd, u)) return CMD_FAIL;
        // A self-test's ports keep their chip until the test has ended.
        if (feature_cmds::refuse_held(cmd, u, SOC_CONTROL(u)->all.bitmap)) return CMD_FAIL;
        // Link scan stops before the unit it reads and its locks go away.
        if (int rv = dxp_linkscan_detach(u); rv < 0 && rv != DXP_E_INIT)
            sal_printf("%s: Unit %d link scan: %s\n", cmd, u, dxp_errmsg(rv));
        if (sysconf_detach(u) < 0) {
            sal_printf("%s: Error: detaching unit %d\n", cmd, u);
            return CMD_FAIL;
        }
        sal_printf("%s: Unit %d detached\n", cmd, u);
        return CMD_OK;
    };
    if (ARG_CUR(a) == nullptr) return detach(unit);
    for (const char *w = ARG_GET(a); w != nullptr; w = ARG_GET(a)) {
        if (!is_unit_word(w)) {
            sal_printf("%s: Error: Invalid unit: %s\n", cmd, w);
            return CMD_FAIL;
        }
        if (detach(parse_integer(w)) < 0) return CMD_FAIL;
    }
    return CMD_OK;
}

int cmd_init(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (!sh_check_attached(cmd, unit)) return CMD_FAIL;
    if (feature_cmds::refuse_held(cmd, unit, SOC_CONTROL(unit)->all.bitmap)) return CMD_FAIL;
    const char *w = ARG_CUR(a);
    bool known = w == nullptr || strcasecmp(w, "soc") == 0 || strcasecmp(w, "dxp") == 0 ||
                 strcasecmp(w, "misc") == 0 || strcasecmp(w, "all") == 0;
    // A word left over refuses the command before anything is reset.
    if (known && ARG_CNT(a) > 1) {
        sal_printf("%s: Unknown option: %s\n", cmd, a->a_argv[a->a_arg + 1]);
        return CMD_USAGE;
    }
    int rv = CMD_OK;
    if (w == nullptr || strcasecmp(w, "soc") == 0) {
        if (SOC_IS_FAMILY_LAYOUT(unit)) {
            // The switch API's port records describe the chip before its
            // reset: its calls fail until it is set up again.
            const bool api_attached = dxp_attach_check(unit) >= 0;
            int r = soc_reset_init(unit);
            if (r < 0) {
                sal_printf("%s: Unable to initialize device: %d\n", cmd, r);
                rv = CMD_FAIL;
            } else if (api_attached) {
                sal_printf("%s: Unit %d chip reset; \"init dxp\" sets up the switch API again\n",
                           cmd, unit);
            }
        }
    } else if (strcasecmp(w, "dxp") == 0) {
        int r = dxp_init(unit);
        if (r < 0) {
            sal_printf("%s: Unable to initialize DXP driver: %s\n", cmd, dxp_errmsg(r));
            rv = CMD_FAIL;
        }
    } else if (strcasecmp(w, "misc") == 0) {
        int r = soc_chip_init(unit);
        if (r < 0) {
            sal_printf("%s: Unable to initialize misc for device %d: %s\n", cmd, unit,
                       dxp_errmsg(r));
            rv = CMD_FAIL;
        }
    } else if (strcasecmp(w, "all") == 0) {
        rv = system_init(unit);
    } else {
        rv = init_modules(unit, cmd, a);
        if (rv == CMD_OK) unit_init_done(unit);
        return rv;
    }
    if (w != nullptr) ARG_GET(a);
    if (rv == CMD_OK) unit_init_done(unit);
    return rv;
}

void diag_unit_init_register(diag_unit_init_fn fn) {
    unit_init_hook.store(fn);
}

void diag_unit_entries_restore(int unit) {
    unit_init_done(unit);
}
