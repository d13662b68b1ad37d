// The monitor's DISPatch command: the switch API's unit table, attach,
// detach and find by dispatch type, VLAN calls and call timing.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "diag_parse.h"
#include "dxp.h"
#include "dxp_error.h"
#include "sal.h"
#include "shell_cmds.h"

namespace {

constexpr int kMaxUnits = 128;

struct DispCtx {
    const char *cmd;
    const char *sub;
    args_t *a;
};

// The next word as an integer; false (after the message) when missing.
bool need_int(const DispCtx &c, const char *what, int *out) {
    const char *w = ARG_GET(c.a);
    if (w == nullptr) {
        sal_printf("ERROR: %s %s: %s missing\n", c.cmd, c.sub, what);
        return false;
    }
    *out = parse_integer(w);
    return true;
}

int api_result(const DispCtx &c, int rv) {
    if (rv >= 0) return CMD_OK;
    sal_printf("ERROR: %s %s: %s\n", c.cmd, c.sub, dxp_errmsg(rv));
    return CMD_FAIL;
}

void print_timing(int count, uint32_t start) {
    uint32_t usec = sal_time_usecs() - start;
    sal_printf("%d api calls in %u usec (%d usec/call)\n", count, usec,
               static_cast<int>(usec / static_cast<uint32_t>(count)));
}

int disp_show() {
    for (int u = 0; u < kMaxUnits; u++) {
        dxp_unit_control_t uc;
        if (dxp_unit_control_get(u, &uc) != 0) continue;
        sal_printf("unit %d: dispatch %s, %s unit %d chip %x.%x.%x caps %#x\n", u, uc.type,
                   uc.subtype, uc.remote_unit, uc.chip.vendor, uc.chip.device, uc.chip.revision,
                   uc.chip.capability);
    }
    return CMD_OK;
}

int disp_vtime(const DispCtx &c) {
    int count = 0, u = 0, vid = 0;
    if (!need_int(c, "count", &count) || !need_int(c, "unit", &u) || !need_int(c, "vlanid", &vid))
        return CMD_FAIL;
    // The per-call figure divides by the count.
    if (count <= 0) {
        sal_printf("ERROR: %s %s: count must be positive\n", c.cmd, c.sub);
        return CMD_FAIL;
    }
    uint32_t start = sal_time_usecs();
    for (int i = 0; i < count; i++)
        (void)dxp_vlan_create(u, static_cast<dxp_vlan_t>(vid));
    print_timing(count, start);
    return CMD_OK;
}

int disp_stattime(const DispCtx &c) {
    int count = 0, u = 0, port = 0;
    if (!need_int(c, "count", &count) || !need_int(c, "unit", &u) || !need_int(c, "port", &port))
        return CMD_FAIL;
    if (count <= 0) {
        sal_printf("ERROR: %s %s: count must be positive\n", c.cmd, c.sub);
        return CMD_FAIL;
    }
    uint32_t start = sal_time_usecs();
    uint64_t value = 0;
    for (int i = 0; i < count; i++)
        (void)dxp_stat_get(u, port, 0, &value);
    print_timing(count, start);
    return CMD_OK;
}

int disp_port_value(const DispCtx &c, bool jam) {
    int u = 0, port = 0;
    if (!need_int(c, "unit", &u) || !need_int(c, "port", &port)) return CMD_FAIL;
    const char *w = ARG_GET(c.a);
    if (w == nullptr) {
        int v = 0;
        int rv = jam ? dxp_port_jam_get(u, port, &v) : dxp_port_frame_max_get(u, port, &v);
        if (rv < 0) return api_result(c, rv);
        if (jam) {
            sal_printf("jamming %s\n", v ? "enabled" : "disabled");
        } else {
            sal_printf("port %d.%d: max frame %d\n", u, port, v);
        }
        return CMD_OK;
    }
    int v = jam ? (strcasecmp(w, "on") == 0 || parse_integer(w) != 0) : parse_integer(w);
    return api_result(c, jam ? dxp_port_jam_set(u, port, v) : dxp_port_frame_max_set(u, port, v));
}

}  // namespace

int cmd_dispatch(int unit, args_t *a) {
    (void)unit;
    const char *sub = ARG_GET(a);
    if (sub == nullptr || strcasecmp(sub, "show") == 0) return disp_show();
    DispCtx c{ARG_CMD(a), sub, a};
    int u = 0, v = 0;
    if (strcasecmp(sub, "attach") == 0) {
        if (!need_int(c, "unit", &u)) return CMD_FAIL;
        const char *type = ARG_GET(a);
        if (type == nullptr || !need_int(c, "dispatch unit", &v)) {
            if (type == nullptr) sal_printf("ERROR: %s %s: dispatch unit missing\n", c.cmd, sub);
            return CMD_FAIL;
        }
        int rv = dxp_attach(u, type, nullptr, v);
        if (rv < 0) return api_result(c, rv);
        sal_printf("[unit %d attached]\n", rv);
        return CMD_OK;
    }
    if (strcasecmp(sub, "detach") == 0) {
        if (!need_int(c, "unit", &u)) return CMD_FAIL;
        return api_result(c, dxp_detach(u));
    }
    if (strcasecmp(sub, "find") == 0) {
        const char *type = ARG_GET(a);
        if (type == nullptr) {
            sal_printf("ERROR: %s %s: type missing\n", c.cmd, sub);
            return CMD_FAIL;
        }
        if (!need_int(c, "dispatch unit", &v)) return CMD_FAIL;
        int rv = dxp_find(type, ARG_GET(a), v);
        if (rv < 0) return api_result(c, rv);
        sal_printf("[unit %d found]\n", rv);
        return CMD_OK;
    }
    if (strcasecmp(sub, "vcreate") == 0 || strcasecmp(sub, "vdestroy") == 0) {
        if (!need_int(c, "unit", &u) || !need_int(c, "vlanid", &v)) return CMD_FAIL;
        auto vid = static_cast<dxp_vlan_t>(v);
        return api_result(c, strcasecmp(sub, "vcreate") == 0 ? dxp_vlan_create(u, vid)
                                                             : dxp_vlan_destroy(u, vid));
    }
    if (strcasecmp(sub, "vtime") == 0) return disp_vtime(c);
    if (strcasecmp(sub, "stattime") == 0) return disp_stattime(c);
    if (strcasecmp(sub, "maxframe") == 0) return disp_port_value(c, false);
    if (strcasecmp(sub, "jam") == 0) return disp_port_value(c, true);
    return CMD_FAIL;
}
