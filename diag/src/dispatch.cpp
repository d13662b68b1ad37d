// The monitor's DISPatch command: the switch API's unit table, attach,
// detach and find by dispatch type, VLAN calls, event callbacks that print,
// port settings and call timing.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "diag_parse.h"
#include "dxp.h"
#include "dxp_error.h"
#include "sal.h"
#include "shell_cmds.h"
#include "soc_control.h"

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

// Callers refuse a count of 0, except the filter tests on a unit without ports.
void print_timing(const char *what, int count, uint32_t start) {
    uint32_t usec = sal_time_usecs() - start;
    sal_printf("%d %s in %u usec (%d usec/call)\n", count, what, usec,
               count > 0 ? static_cast<int>(usec / static_cast<uint32_t>(count)) : 0);
}

bool need_count(const DispCtx &c, int *count) {
    if (!need_int(c, "count", count)) return false;
    if (*count > 0) return true;
    sal_printf("ERROR: %s %s: count must be positive\n", c.cmd, c.sub);
    return false;
}

void link_print(int unit, int port, dxp_port_info *info) {
    if (!info->linkstatus) {
        sal_printf(" port %d.%d link down\n", unit, port);
    } else {
        sal_printf(" port %d.%d link up %dMb/s %s\n", unit, port, info->speed,
                   info->duplex ? "full duplex" : "half duplex");
    }
}

void l2_print(int unit, dxp_l2_addr *l2, int insert, void *) {
    const uint8_t *m = l2->mac;
    sal_printf(" unit %d l2 %s %x:%x:%x:%x:%x:%x modport %d.%d vlan %d\n", unit,
               insert ? "insert" : "delete", m[0], m[1], m[2], m[3], m[4], m[5], l2->modid,
               l2->port, l2->vid);
}

// Custom statistics: a port answers the last value set on it, whichever
// thread asks.
constexpr int kCustomOpSet = 1;
std::atomic<int> custom_values[64];

int custom_stat(int, int port, int op, int, int *value) {
    if (port < 0 || port >= 64) return DXP_E_PORT;
    if (op == kCustomOpSet) {
        custom_values[port] = *value;
    } else {
        *value = custom_values[port];
    }
    return DXP_E_NONE;
}

// The port filter tests: a full cycle per port (ftest), every port's filter
// installed before any is destroyed (ftest2), filters installed and kept
// (ftest3setup) and the kept ones installed again (ftest3).
enum class FilterTest { cycle, batch, setup, reinstall };
int kept_unit = -1;
int kept_fid[SOC_MAX_NUM_PORTS];
int kept_count = 0;

bool filter_build(int unit, int port, int *fid) {
    int rv = dxp_filter_create(unit, fid);
    if (rv < 0) {
        sal_printf("ERROR: filter_create(%d): %s\n", port, dxp_errmsg(rv));
        return false;
    }
    auto data = static_cast<uint16_t>(0x4500 | port);
    const char *fail = nullptr;
    if ((rv = dxp_filter_qualify_data16(unit, *fid, 12, 0x8100, 0xffff)) < 0) {
        sal_printf("ERROR: filter_qual_data16(%d, 12): %s\n", port, dxp_errmsg(rv));
    } else if ((rv = dxp_filter_qualify_data16(unit, *fid, 16, 0x0800, 0xffff)) < 0) {
        sal_printf("ERROR: filter_qual_data16(%d, 16): %s\n", port, dxp_errmsg(rv));
    } else if ((rv = dxp_filter_qualify_data16(unit, *fid, 18, data, 0xffff)) < 0) {
        sal_printf("ERROR: filter_qual_data16(%d, 18, %d): %s\n", port, data, dxp_errmsg(rv));
    } else {
        dxp_pbmp_t ingress{};
        dxp_pbmp_port_add(&ingress, port);
        if ((rv = dxp_filter_qualify_ingress(unit, *fid, ingress)) < 0) {
            sal_printf("ERROR: filter_qual_ingress(%d, %d): %s\n", port, port, dxp_errmsg(rv));
        } else if ((rv = dxp_filter_action_match(unit, *fid, 6, 1)) < 0) {
            fail = "filter_action_match";
        } else if ((rv = dxp_filter_install(unit, *fid)) < 0) {
            fail = "filter_install";
        }
    }
    if (fail != nullptr) sal_printf("ERROR: %s(%d): %s\n", fail, port, dxp_errmsg(rv));
    if (rv >= 0) return true;
    (void)dxp_filter_destroy(unit, *fid);
    return false;
}

bool filter_destroy(int unit, int port, int fid) {
    int rv = dxp_filter_destroy(unit, fid);
    if (rv < 0) sal_printf("ERROR: filter_destroy(%d): %s\n", port, dxp_errmsg(rv));
    return rv >= 0;
}

void drop_kept() {
    for (int i = 0; i < kept_count; i++)
        (void)dxp_filter_destroy(kept_unit, kept_fid[i]);
    kept_count = 0;
}

int disp_filter_test(const DispCtx &c, FilterTest test) {
    int u = 0;
    if (!need_int(c, "unit", &u)) return CMD_FAIL;
    const soc_control_t *s = SOC_CONTROL(u);
    if (s == nullptr) return api_result(c, DXP_E_UNIT);
    int ports[SOC_MAX_NUM_PORTS], n = 0;
    for (int p = 0; p < SOC_MAX_NUM_PORTS; p++) {
        if (soc_pbmp_member(s->e.bitmap, p)) ports[n++] = p;
    }
    uint32_t start = sal_time_usecs();
    if (test == FilterTest::reinstall) {
        if (kept_unit != u) kept_count = 0;
        for (int i = 0; i < kept_count; i++) {
            if (int rv = dxp_filter_reinstall(u, kept_fid[i]); rv < 0) {
                sal_printf("ERROR: filter_install(%d): %s\n", i, dxp_errmsg(rv));
                return CMD_FAIL;
            }
        }
        print_timing("port filters", kept_count, start);
        return CMD_OK;
    }
    if (test == FilterTest::setup) drop_kept();
    int fid[SOC_MAX_NUM_PORTS];
    bool ok = true;
    int built = 0;
    while (ok && built < n) {
        ok = filter_build(u, ports[built], &fid[built]);
        if (ok && test == FilterTest::cycle) ok = filter_destroy(u, ports[built], fid[built]);
        if (ok) built++;
    }
    if (test == FilterTest::batch) {
        for (int i = 0; i < built; i++)
            ok = filter_destroy(u, ports[i], fid[i]) && ok;
    } else if (test == FilterTest::setup) {
        kept_unit = u;
        kept_count = built;
        std::memcpy(kept_fid, fid, sizeof(int) * static_cast<size_t>(built));
    }
    if (!ok) return CMD_FAIL;
    print_timing("port filters", n, start);
    return CMD_OK;
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
    if (!need_count(c, &count) || !need_int(c, "unit", &u) || !need_int(c, "vlanid", &vid))
        return CMD_FAIL;
    uint32_t start = sal_time_usecs();
    for (int i = 0; i < count; i++)
        (void)dxp_vlan_create(u, static_cast<dxp_vlan_t>(vid));
    print_timing("api calls", count, start);
    return CMD_OK;
}

int disp_stattime(const DispCtx &c, bool custom) {
    int count = 0, u = 0, port = 0;
    if (!need_count(c, &count) || !need_int(c, "unit", &u) || !need_int(c, "port", &port))
        return CMD_FAIL;
    uint32_t start = sal_time_usecs();
    uint64_t value = 0;
    int custom_value = 0;
    for (int i = 0; i < count; i++) {
        int rv = custom ? dxp_custom_port_get(u, port, 0, &custom_value)
                        : dxp_stat_get(u, port, 0, &value);
        if (rv < 0) return api_result(c, rv);
    }
    print_timing("api calls", count, start);
    return CMD_OK;
}

int disp_pause_addr(const DispCtx &c) {
    int u = 0, port = 0;
    if (!need_int(c, "unit", &u) || !need_int(c, "port", &port)) return CMD_FAIL;
    dxp_mac_t mac{};
    const char *w = ARG_GET(c.a);
    if (w != nullptr) {
        if (parse_macaddr(w, mac) < 0) {
            sal_printf("ERROR: %s %s: illegal mac-addr\n", c.cmd, c.sub);
            return CMD_FAIL;
        }
        return api_result(c, dxp_port_pause_addr_set(u, port, mac));
    }
    if (int rv = dxp_port_pause_addr_get(u, port, mac); rv < 0) return api_result(c, rv);
    char text[18];
    format_macaddr(text, mac);
    sal_printf("port %d.%d: pause mac addr %s\n", u, port, text);
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
    if (strcasecmp(sub, "stattime") == 0) return disp_stattime(c, false);
    if (strcasecmp(sub, "custom_stattime") == 0) return disp_stattime(c, true);
    if (strcasecmp(sub, "pause_addr") == 0) return disp_pause_addr(c);
    static constexpr struct {
        const char *name;
        FilterTest test;
    } filter_tests[] = {{"ftest", FilterTest::cycle},
                        {"ftest2", FilterTest::batch},
                        {"ftest3setup", FilterTest::setup},
                        {"ftest3", FilterTest::reinstall}};
    for (const auto &t : filter_tests) {
        if (strcasecmp(sub, t.name) == 0) return disp_filter_test(c, t.test);
    }
    if (strcasecmp(sub, "linkreg") == 0 || strcasecmp(sub, "linkunreg") == 0) {
        if (!need_int(c, "unit", &u)) return CMD_FAIL;
        return api_result(c, strcasecmp(sub, "linkreg") == 0
                                 ? dxp_linkscan_register(u, link_print)
                                 : dxp_linkscan_unregister(u, link_print));
    }
    if (strcasecmp(sub, "l2reg") == 0 || strcasecmp(sub, "l2unreg") == 0) {
        if (!need_int(c, "unit", &u)) return CMD_FAIL;
        return api_result(c, strcasecmp(sub, "l2reg") == 0
                                 ? dxp_l2_addr_register(u, l2_print, nullptr)
                                 : dxp_l2_addr_unregister(u, l2_print, nullptr));
    }
    if (strcasecmp(sub, "custom_reg") == 0) {
        if (!need_int(c, "unit", &u)) return CMD_FAIL;
        return api_result(c, dxp_custom_register(u, custom_stat, nullptr));
    }
    if (strcasecmp(sub, "maxframe") == 0) return disp_port_value(c, false);
    if (strcasecmp(sub, "jam") == 0) return disp_port_value(c, true);
    return CMD_FAIL;
}
