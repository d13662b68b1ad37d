// Small feature commands of the monitor, each over one area of the switch
// API: MIRror, DTAG, IPG, DSCP, IGMP, DOS and RATE.
#include <cstring>
#include <initializer_list>
#include <optional>
#include <strings.h>

#include "diag_parse.h"
#include "dxp.h"
#include "dxp_enums.h"
#include "dxp_error.h"
#include "dxp_tarn.h"
#include "feature_cmds.h"
#include "sal.h"
#include "shell_cmds.h"
#include "soc_cm.h"
#include "soc_control.h"

namespace {

const char *port_name(int unit, int port) {
    return SOC_CONTROL(unit)->port_name[port];
}

bool is_word(const char *word, const char *name) {
    return word != nullptr && strcasecmp(word, name) == 0;
}

// ---------------------------------------------------------------- MIRror

const char *const kMirrorModes[] = {"Off", "L2", nullptr};

// Refreshed from the chip at every invocation.
int mirror_mode = 0;
int mirror_port = -1;
soc_pbmp_t mirror_ingress{}, mirror_egress{};

// Ports that may lack mirroring (stacking and similar ports): their get
// failures are not errors.
constexpr uint32_t kMirrorOptionalPort = 0x20 | 0x40;

int mirror_read(int unit, const char *cmd) {
    int rv = dxp_mirror_to_get(unit, &mirror_port);
    if (rv < 0) {
        sal_printf("%s: dxp_mirror_to_get failed: %s\n", cmd, feature_cmds::errmsg(rv));
        return CMD_FAIL;
    }
    int mode = 0;
    if ((rv = dxp_mirror_mode_get(unit, &mode)) < 0) {
        sal_printf("%s: dxp_mirror_mode_get failed: %s\n", cmd, feature_cmds::errmsg(rv));
        return CMD_FAIL;
    }
    mirror_mode = mode != 0 ? 1 : 0;
    mirror_ingress = mirror_egress = soc_pbmp_t{};
    const soc_control_t *s = SOC_CONTROL(unit);
    for (int port = s->all.min; port >= 0 && port <= s->all.max; port++) {
        if (!soc_pbmp_member(s->all.bitmap, port)) continue;
        bool optional = (s->port_type[port] & kMirrorOptionalPort) != 0;
        int on = 0;
        if ((rv = dxp_mirror_ingress_get(unit, port, &on)) < 0 && !optional) {
            sal_printf("%s: dxp_mirror_ingress_get failed: %s\n", cmd, feature_cmds::errmsg(rv));
            return CMD_FAIL;
        }
        if (rv >= 0 && on) soc_pbmp_port_add(&mirror_ingress, port);
        on = 0;
        if ((rv = dxp_mirror_egress_get(unit, port, &on)) < 0 && !optional) {
            sal_printf("%s: dxp_mirror_egress_get failed: %s\n", cmd, feature_cmds::errmsg(rv));
            return CMD_FAIL;
        }
        if (rv >= 0 && on) soc_pbmp_port_add(&mirror_egress, port);
    }
    return CMD_OK;
}

int mirror_ports_set(int unit, const char *cmd, const soc_port_list_t &set) {
    for (int port = set.min; port >= 0 && port <= set.max; port++) {
        if (!soc_pbmp_member(set.bitmap, port)) continue;
        int rv = dxp_mirror_ingress_set(unit, port, soc_pbmp_member(mirror_ingress, port));
        if (rv < 0) {
            sal_printf("%s: dxp_mirror_ingress_set failed: %s\n", cmd, feature_cmds::errmsg(rv));
            return CMD_FAIL;
        }
        rv = dxp_mirror_egress_set(unit, port, soc_pbmp_member(mirror_egress, port));
        if (rv < 0) {
            sal_printf("%s: dxp_mirror_egress_set failed: %s\n", cmd, feature_cmds::errmsg(rv));
            return CMD_FAIL;
        }
    }
    return CMD_OK;
}

// ---------------------------------------------------------------- DTAG

const char *dtag_mode_text(int mode) {
    switch (mode) {
        case 0:
            return "none (disabled)";
        case 1:
            return "internal (service provider)";
        case 2:
            return "external (customer)";
        default:
            return "unknown";
    }
}

int dtag_mode_of(const char *word) {
    static const char *const kNames[] = {"none", "internal", "external"};
    for (int i = 0; i < 3; i++) {
        if (is_word(word, kNames[i])) return i;
    }
    return -1;
}

// A port bitmap word, or the default when absent; false after the message.
bool pbmp_word(int unit, const char *cmd, const char *word, const char *error, soc_pbmp_t *pbmp) {
    if (word == nullptr || parse_pbmp(unit, word, pbmp) == 0) return true;
    sal_printf("%s: %s: unrecognized port bitmap: %s\n", cmd, error, word);
    return false;
}

// ---------------------------------------------------------------- DOS

constexpr int kDosControls[] = {
    dxpSwitchDosAttackSipEqualDip, dxpSwitchDosAttackTcpFlags,  dxpSwitchDosAttackL4Port,
    dxpSwitchDosAttackTcpFrag,     dxpSwitchDosAttackPingFlood, dxpSwitchDosAttackSynFlood,
    dxpSwitchDosAttackTcpSmurf,
};
constexpr int kDosItems = 7;
static_assert(dxpSwitchDosAttackToCpu == 59 && dxpSwitchDosAttackV4FirstFrag == 62 &&
              dxpSwitchDosAttackSipEqualDip == 60 && dxpSwitchDosAttackTcpFrag == 65 &&
              dxpSwitchDosAttackTcpSmurf == 79);

// Turns a prerequisite control on unless it already is.
int dos_ensure(int unit, int port, int control) {
    int on = 0;
    int rv = dxp_switch_control_port_get(unit, port, control, &on);
    if (rv >= 0 && on == 0) rv = dxp_switch_control_port_set(unit, port, control, 1);
    return rv;
}

int dos_show(int unit, const soc_pbmp_t &pbmp) {
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (!soc_pbmp_member(pbmp, port)) continue;
        int on[kDosItems] = {};
        int got[kDosItems] = {};
        {
            // A port's items in one hold, printed after it: a console that
            // stops reading holds up no one else.
            DxpUnitLock api(unit);
            for (int item = 0; item < kDosItems; item++)
                got[item] = dxp_switch_control_port_get(unit, port, kDosControls[item], &on[item]);
        }
        // A check the chip lacks is shown as such; any other failed read ends
        // the listing, saying it was a read.
        int lacking = 0;
        for (int rv : got) {
            if (rv == DXP_E_UNAVAIL) lacking++;
            if (rv >= 0 || rv == DXP_E_UNAVAIL) continue;
            soc_cm_print("GET FAIL: rv = %s\n", feature_cmds::errmsg(rv));
            return CMD_FAIL;
        }
        if (lacking == kDosItems) {
            soc_cm_print("Port %s: no DoS check is available on this switch\n",
                         port_name(unit, port));
            continue;
        }
        soc_cm_print("Port %s\n", port_name(unit, port));
        for (int item = 0; item < kDosItems; item++) {
            soc_cm_print("Item[%2d] is ", item);
            soc_cm_print(got[item] < 0 ? "not available on this switch\n"
                         : on[item]    ? "enabled\n"
                                       : "disabled\n");
        }
    }
    return CMD_OK;
}

}  // namespace

int cmd_mirror(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (!sh_check_attached(cmd, unit)) return CMD_FAIL;
    // What is read is changed and written back as one step.
    DxpUnitLock api(unit);
    if (mirror_read(unit, cmd) < 0) return CMD_FAIL;
    parse_table_t pt;
    parse_table_init(unit, &pt);
    parse_table_add(&pt, "Mode", PQ_DFL | PQ_MULTI, nullptr, &mirror_mode, kMirrorModes);
    parse_table_add(&pt, "Port", PQ_DFL | PQ_PORT, nullptr, &mirror_port, nullptr);
    parse_table_add(&pt, "IngressBitMap", PQ_DFL | PQ_PBMP, nullptr, &mirror_ingress, nullptr);
    parse_table_add(&pt, "EgressBitMap", PQ_DFL | PQ_PBMP, nullptr, &mirror_egress, nullptr);
    int rv = CMD_OK;
    if (!parse_options(a, &pt, &rv)) return rv;
    parse_table_done(&pt);
    // A mirror into or out of a port under self-test changes the test's
    // frames; the values read from the chip come back at the next command.
    if (mirror_mode != 0) {
        // Only Ethernet ports are mirrored: another named one is refused,
        // not left out in silence.
        const soc_control_t *s = SOC_CONTROL(unit);
        for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
            if (!soc_pbmp_member(mirror_ingress, port) && !soc_pbmp_member(mirror_egress, port))
                continue;
            if (soc_pbmp_member(s->fe.bitmap, port) || soc_pbmp_member(s->ge.bitmap, port))
                continue;
            sal_printf("%s: ERROR: port %s cannot be mirrored: nothing set\n", cmd,
                       port_name(unit, port));
            return CMD_FAIL;
        }
        soc_pbmp_t touched = mirror_ingress;
        for (int i = 0; i < 2; i++)
            touched.w[i] |= mirror_egress.w[i];
        if (mirror_port >= 0 && mirror_port < SOC_MAX_NUM_PORTS)
            soc_pbmp_port_add(&touched, mirror_port);
        if (feature_cmds::refuse_held(cmd, unit, touched)) return CMD_FAIL;
    }

    if ((rv = dxp_mirror_to_set(unit, mirror_port)) < 0) {
        sal_printf("%s: dxp_mirror_to_set failed: %s\n", cmd, feature_cmds::errmsg(rv));
        if (mirror_port == -1) sal_printf("mirror to port should be set\n");
        return CMD_FAIL;
    }
    if ((rv = dxp_mirror_mode_set(unit, mirror_mode)) < 0) {
        sal_printf("%s: dxp_mirror_mode failed: %s\n", cmd, feature_cmds::errmsg(rv));
        return CMD_FAIL;
    }
    if (mirror_mode == 0) return CMD_OK;
    const soc_control_t *s = SOC_CONTROL(unit);
    if (mirror_ports_set(unit, cmd, s->fe) < 0) return CMD_FAIL;
    return mirror_ports_set(unit, cmd, s->ge);
}

int cmd_dtag(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (!sh_check_attached(cmd, unit)) return CMD_FAIL;
    const char *sub = ARG_GET(a);
    if (sub == nullptr) sub = "show";
    bool show = is_word(sub, "show"), mode = is_word(sub, "mode"), tpid = is_word(sub, "tpid");
    if (!show && !mode && !tpid) return CMD_USAGE;
    soc_pbmp_t pbmp = SOC_CONTROL(unit)->e.bitmap;
    if (!pbmp_word(unit, cmd, ARG_GET(a), "ERROR", &pbmp)) return CMD_FAIL;
    const char *value = ARG_GET(a);
    int new_mode = -1;
    uint16_t new_tpid = 0;
    if (value != nullptr) {
        if (show) return CMD_USAGE;
        if (mode && (new_mode = dtag_mode_of(value)) < 0) return CMD_USAGE;
        if (tpid) {
            // A TPID is 16 bits: a wider value is refused, not cut.
            int v = parse_integer(value);
            if (!parse_is_integer(value) || v < 0 || v > 0xffff) return CMD_USAGE;
            new_tpid = static_cast<uint16_t>(v);
        }
    }
    // Double tagging changes a tested port's frames.
    PortReserveFreeze tests;  // no self-test starts half-way through the ports
    if (value != nullptr && feature_cmds::refuse_held(cmd, unit, pbmp)) return CMD_FAIL;
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (!soc_pbmp_member(pbmp, port)) continue;
        int m = 0, rv = 0;
        uint16_t t = 0;
        if (value != nullptr) {
            rv = mode ? dxp_port_dtag_mode_set(unit, port, new_mode)
                      : dxp_port_tpid_set(unit, port, new_tpid);
        } else {
            if (show || mode) rv = dxp_port_dtag_mode_get(unit, port, &m);
            if (rv >= 0 && (show || tpid)) rv = dxp_port_tpid_get(unit, port, &t);
        }
        if (rv < 0) {
            sal_printf("%s: ERROR: %s\n", cmd, feature_cmds::errmsg(rv));
            return CMD_FAIL;
        }
        if (value != nullptr) continue;
        if (show)
            sal_printf("port %d:%s\tdouble tag mode %s, tpid 0x%x\n", unit, port_name(unit, port),
                       dtag_mode_text(m), t);
        else if (mode)
            sal_printf("port %d:%s\tdouble tag mode %s\n", unit, port_name(unit, port),
                       dtag_mode_text(m));
        else
            sal_printf("port %d:%s\ttpid 0x%x\n", unit, port_name(unit, port), t);
    }
    return CMD_OK;
}

int cmd_ipg(int unit, args_t *a) {
    if (!sh_check_attached(ARG_CMD(a), unit)) return CMD_FAIL;
    soc_pbmp_t pbmp = SOC_CONTROL(unit)->all.bitmap;
    int speed = 0, duplex = 2;
    if (ARG_CNT(a) > 0) {
        parse_table_t pt;
        parse_table_init(unit, &pt);
        parse_table_add(&pt, "PortBitMap", PQ_DFL | PQ_PBMP, nullptr, &pbmp, nullptr);
        parse_table_add(&pt, "SPeed", PQ_DFL | PQ_INT, nullptr, &speed, nullptr);
        parse_table_add(&pt, "FullDuplex", PQ_DFL | PQ_BOOL, nullptr, &duplex, nullptr);
        int rv = CMD_OK;
        if (!parse_options(a, &pt, &rv)) return rv;
        parse_table_done(&pt);
    }
    sal_printf("            10HD    10FD   100HD   100FD  1000HD  1000FD");
    sal_printf("\n");
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (!soc_pbmp_member(pbmp, port)) continue;
        sal_printf("%-8.8s", port_name(unit, port));
        for (int s : {10, 100, 1000}) {
            for (int d = 0; d <= 1; d++) {
                if ((speed != 0 && speed != s) || ((duplex == 0 || duplex == 1) && duplex != d)) {
                    sal_printf("%8.8s", " ");
                    continue;
                }
                int bits = 0;
                if (dxp_port_ifg_get(unit, port, s, d, &bits) < 0)
                    sal_printf("%8.8s", "n/a");
                else
                    sal_printf("%8d", bits);
            }
        }
        sal_printf("\n");
    }
    return CMD_OK;
}

int cmd_dscp(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (!sh_check_attached(cmd, unit)) return CMD_FAIL;
    const char *word = ARG_GET(a);
    if (word == nullptr) {
        sal_printf("%s: ERROR: missing port bitmap\n", cmd);
        return CMD_FAIL;
    }
    soc_pbmp_t pbmp{};
    if (!pbmp_word(unit, cmd, word, "ERROR", &pbmp)) return CMD_FAIL;
    const char *src_word = ARG_GET(a);
    const char *map_word = ARG_GET(a);
    if ((src_word != nullptr && !parse_is_integer(src_word)) ||
        (map_word != nullptr && !parse_is_integer(map_word)))
        return CMD_USAGE;
    int src = src_word != nullptr ? parse_integer(src_word) : -1;
    int mapped = map_word != nullptr ? parse_integer(map_word) : -1;
    // The chip keeps one map for the unit (port -1): it is read once and
    // shown for each port listed.
    const int from = src_word != nullptr ? src : 0, to = src_word != nullptr ? src : 63;
    int map[64] = {};
    for (int cp = from; map_word == nullptr && cp <= to; cp++) {
        int prio = 0;
        if (cp < 0 || cp > 63) {
            sal_printf("ERROR: dscp map get %d failed: %s\n", cp,
                       feature_cmds::errmsg(DXP_E_PARAM));
            return CMD_FAIL;
        }
        if (int rv = dxp_port_dscp_map_get(unit, -1, cp, &map[cp], &prio); rv < 0) {
            sal_printf("ERROR: dscp map get %d failed: %s\n", cp, feature_cmds::errmsg(rv));
            return CMD_FAIL;
        }
    }
    // A change of a tested port's map is refused whole, before any port
    // changes, and no test starts half-way through it.
    std::optional<PortReserveFreeze> tests;
    if (map_word != nullptr) {
        tests.emplace();
        if (feature_cmds::refuse_held(cmd, unit, pbmp)) return CMD_FAIL;
    }
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (!soc_pbmp_member(pbmp, port)) continue;
        if (map_word != nullptr) {
            int rv = dxp_port_dscp_map_set(unit, port, src, mapped, 0);
            if (rv < 0) {
                sal_printf("%d:%s ERROR: dscp map set %d=%d failed: %s\n", unit,
                           port_name(unit, port), src, mapped, feature_cmds::errmsg(rv));
                return CMD_FAIL;
            }
            continue;
        }
        sal_printf("%d:%s dscp map:", unit, port_name(unit, port));
        for (int cp = from; cp <= to; cp++) {
            if (src_word != nullptr)
                sal_printf(" %d=%d\n", cp, map[cp]);
            else if (map[cp] != cp)
                sal_printf(" %d=%d", cp, map[cp]);
        }
        if (src_word == nullptr) sal_printf("\n");
    }
    return CMD_OK;
}

int cmd_igmp(int unit, args_t *a) {
    const char *word = ARG_GET(a);
    if (word == nullptr) {
        int on = 0;
        int rv = dxp_igmp_snooping_enable_get(unit, &on);
        if (rv < 0) {
            sal_printf("dxp_igmp_snooping_enable_get failed ERROR: %s\n", feature_cmds::errmsg(rv));
            return CMD_FAIL;
        }
        sal_printf(on ? "IGMP Snoop is enabled\n" : "IGMP Snoop is disabled\n");
        return CMD_OK;
    }
    if (is_word(word, "init")) {
        int rv = dxp_igmp_snooping_init(unit);
        if (rv < 0) {
            sal_printf("dxp_igmp_snooping_init failed ERROR: %s\n", feature_cmds::errmsg(rv));
            return CMD_FAIL;
        }
        return CMD_OK;
    }
    int enable = -1;
    if (is_word(word, "off") || is_word(word, "disable") || is_word(word, "no")) enable = 0;
    if (is_word(word, "on") || is_word(word, "enable") || is_word(word, "yes")) enable = 1;
    if (enable < 0) return CMD_USAGE;
    int rv = dxp_igmp_snooping_enable_set(unit, enable);
    if (rv < 0) {
        sal_printf("dxp_igmp_snooping_enable_set failed ERROR: %s\n", feature_cmds::errmsg(rv));
        return CMD_FAIL;
    }
    return CMD_OK;
}

int cmd_dos(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    const char *word = ARG_GET(a);
    if (word == nullptr) return CMD_USAGE;
    const soc_control_t *s = SOC_CONTROL(unit);
    soc_pbmp_t pbmp{};
    if (s != nullptr && parse_pbmp(unit, word, &pbmp) < 0) {
        soc_cm_print("%s: Error: unrecognized port bitmap: %s\n", cmd, word);
        return CMD_FAIL;
    }
    if (s != nullptr) {
        pbmp.w[0] &= s->all.bitmap.w[0];
        pbmp.w[1] &= s->all.bitmap.w[1];
        soc_pbmp_port_remove(&pbmp, s->cmic_port);
    }
    if (soc_pbmp_is_null(pbmp)) {
        while (ARG_GET(a) != nullptr) {
        }
        return CMD_USAGE;
    }
    const char *action = ARG_GET(a);
    if (action == nullptr) return CMD_USAGE;
    if (is_word(action, "show")) return dos_show(unit, pbmp);
    bool enable = is_word(action, "enable");
    if (!enable && !is_word(action, "disable")) return CMD_USAGE;
    const char *item_word = ARG_GET(a);
    if (item_word == nullptr || !parse_is_integer(item_word)) return CMD_USAGE;
    int item = parse_integer(item_word);
    if (item < 0 || item >= kDosItems) {
        soc_cm_print("Case Number Invalid\n");
        return CMD_FAIL;
    }
    // A tested port keeps its checks: the change is refused whole, and no
    // test starts half-way through it.
    PortReserveFreeze tests;
    if (feature_cmds::refuse_held(cmd, unit, pbmp)) return CMD_FAIL;
    // The prerequisites hold for every port; the ports change in one step,
    // so the item's rules are rebuilt once for the whole bitmap.
    int first = 0;
    while (!soc_pbmp_member(pbmp, first))
        first++;
    int rv = 0;
    if (enable) {
        rv = dos_ensure(unit, first, dxpSwitchDosAttackToCpu);
        if (rv >= 0) rv = dos_ensure(unit, first, dxpSwitchDosAttackV4FirstFrag);
    }
    if (rv >= 0)
        rv = dxp_tarn_switch_control_pbmp_set(unit, feature_cmds::to_dxp(pbmp), kDosControls[item],
                                              enable);
    if (rv < 0) {
        soc_cm_print(enable ? "SET ENABLE FAIL: rv = %s\n" : "SET DISABLE FAIL: rv = %s\n",
                     feature_cmds::errmsg(rv));
        return CMD_FAIL;
    }
    return CMD_OK;
}

int cmd_rate(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (!sh_check_attached(cmd, unit)) return CMD_FAIL;
    constexpr int kBcast = 0x4, kMcast = 0x2, kDlf = 0x1;
    int limit = 0, flags = 0;
    int rv = dxp_rate_get(unit, &limit, &flags);
    if (rv < 0) {
        sal_printf("%s ERROR: could not get rate: %s\n", cmd, feature_cmds::errmsg(rv));
        return CMD_FAIL;
    }
    int bcast = (flags & kBcast) != 0, mcast = (flags & kMcast) != 0, dlf = (flags & kDlf) != 0;
    if (ARG_CNT(a) == 0) {
        sal_printf("Current rate settings:\n");
        sal_printf("\tLimit = %d\n", limit);
        sal_printf("\tBcast = %s\n", bcast ? "TRUE" : "FALSE");
        sal_printf("\tMcast = %s\n", mcast ? "TRUE" : "FALSE");
        sal_printf("\tDlf   = %s\n", dlf ? "TRUE" : "FALSE");
        return CMD_OK;
    }
    parse_table_t pt;
    parse_table_init(unit, &pt);
    parse_table_add(&pt, "Limit", PQ_DFL | PQ_INT, nullptr, &limit, nullptr);
    parse_table_add(&pt, "Bcast", PQ_DFL | PQ_BOOL, nullptr, &bcast, nullptr);
    parse_table_add(&pt, "Mcast", PQ_DFL | PQ_BOOL, nullptr, &mcast, nullptr);
    parse_table_add(&pt, "Dlf", PQ_DFL | PQ_BOOL, nullptr, &dlf, nullptr);
    const int taken = parse_table_args(a, &pt);
    parse_table_done(&pt);
    if (taken < 0) return CMD_FAIL;  // the parser has said what it refused
    if (ARG_CNT(a) != 0) {
        sal_printf("%s: Error: Unknown option: %s\n", cmd, ARG_CUR(a));
        return CMD_FAIL;
    }
    if (limit < 0) {
        sal_printf("%s: Error: Limit=%d: a limit is 0 (none) or more kbps; nothing changed\n", cmd,
                   limit);
        return CMD_FAIL;
    }
    // No limit switches every class off: the classes share the one limit,
    // so none stays on at the old one whatever the flags say.
    flags = limit == 0 ? kBcast | kMcast | kDlf
                       : (bcast ? kBcast : 0) | (mcast ? kMcast : 0) | (dlf ? kDlf : 0);
    // The limits reach every port, a tested one's too.
    if (feature_cmds::refuse_held(cmd, unit, SOC_CONTROL(unit)->e.bitmap)) return CMD_FAIL;
    // A limit a port cannot run is named with the port and the value, as the
    // storm page names it, before any port changes.
    for (int port = 0; port < SOC_MAX_NUM_PORTS && flags != 0 && limit > 0; port++) {
        if (!soc_pbmp_member(SOC_CONTROL(unit)->e.bitmap, port)) continue;
        if (const char *refused = dxp_storm_refusal(unit, port, feature_cmds::port_name(unit, port),
                                                    static_cast<uint32_t>(limit))) {
            sal_printf("%s ERROR: could not set rate: %s\n", cmd, refused);
            return CMD_FAIL;
        }
    }
    if ((rv = dxp_rate_set(unit, limit, flags)) < 0) {
        sal_printf("%s ERROR: could not set rate: %s\n", cmd, feature_cmds::errmsg(rv));
        return CMD_FAIL;
    }
    // A limit between two of the chip's steps runs as the nearest one.
    int ran = 0, ran_flags = 0;
    if (limit > 0 && flags != 0 && dxp_rate_get(unit, &ran, &ran_flags) >= 0 && ran != limit)
        sal_printf("%s: Limit=%d runs as %d kbps, the nearest step the ports have\n", cmd, limit,
                   ran);
    return CMD_OK;
}
