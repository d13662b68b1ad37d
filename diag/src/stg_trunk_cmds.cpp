// The monitor's STG command (spanning-tree groups, their VLANs and the port
// states in each) and TRUNK command (port trunks and their port-selection
// criterion).
#include <algorithm>
#include <vector>

#include "diag_parse.h"
#include "dxp.h"
#include "dxp_error.h"
#include "feature_cmds.h"
#include "sal.h"
#include "shell_cmds.h"
#include "soc_control.h"

namespace {

using namespace feature_cmds;

const char *const kStpNames[] = {"Disable", "Block", "LIsten", "LEarn", "Forward"};
constexpr int kStpCount = 5;

int fail(const char *cmd, int rv) {
    sal_printf("%s: ERROR: %s\n", cmd, feature_cmds::errmsg(rv));
    return CMD_FAIL;
}

int vlan_fail(const char *cmd, dxp_vlan_t vid, int rv) {
    sal_printf("%s: ERROR: VLAN %d: %s\n", cmd, vid, feature_cmds::errmsg(rv));
    return CMD_FAIL;
}

// The next word as a number; false when it is missing or not a number.
bool number(args_t *a, int *value) {
    const char *word = ARG_GET(a);
    if (word == nullptr || !parse_is_integer(word)) return false;
    *value = parse_integer(word);
    return true;
}

// "STG n: contains k VLANs (1-3,5)".
int stg_vlan_line(int unit, int stg) {
    dxp_vlan_t *list = nullptr;
    int count = 0;
    if (int rv = dxp_stg_vlan_list(unit, stg, &list, &count); rv < 0) {
        sal_printf("Error listing STG %d: %s\n", stg, feature_cmds::errmsg(rv));
        return rv;
    }
    sal_printf("STG %d: contains %d VLAN%s%s", stg, count, count == 1 ? "" : "s",
               count != 0 ? " (" : "");
    for (int i = 0; i < count;) {
        int last = i;
        while (last + 1 < count && list[last + 1] == list[last] + 1)
            last++;
        sal_printf("%s%d", i == 0 ? "" : ",", list[i]);
        if (last > i) sal_printf("-%d", list[last]);
        i = last + 1;
    }
    sal_printf("%s\n", count != 0 ? ")" : "");
    dxp_stg_vlan_list_destroy(unit, list, count);
    return 0;
}

// One line per state that some port of the group is in.
int stg_states(int unit, int stg) {
    const soc_port_list_t &all = SOC_CONTROL(unit)->all;
    soc_pbmp_t by_state[kStpCount] = {};
    for (int port = all.min; port >= 0 && port <= all.max; port++) {
        if (!soc_pbmp_member(all.bitmap, port)) continue;
        int state = 0;
        if (int rv = dxp_stg_stp_get(unit, stg, port, &state); rv < 0) return rv;
        if (state >= 0 && state < kStpCount) soc_pbmp_port_add(&by_state[state], port);
    }
    for (int s = 0; s < kStpCount; s++) {
        if (soc_pbmp_is_null(by_state[s])) continue;
        char text[256];
        format_pbmp(unit, text, sizeof text, by_state[s]);
        sal_printf("  %7s: %s\n", kStpNames[s], text);
    }
    return 0;
}

// Runs fn on every group of the unit; the first failure ends the walk.
template <typename Fn>
int each_stg(const char *cmd, int unit, Fn fn) {
    int *list = nullptr;
    int count = 0;
    if (int rv = dxp_stg_list(unit, &list, &count); rv < 0) return fail(cmd, rv);
    int rv = 0;
    for (int i = 0; i < count && rv >= 0; i++)
        rv = fn(list[i]);
    dxp_stg_list_destroy(unit, list, count);
    return rv < 0 ? fail(cmd, rv) : CMD_OK;
}

int stg_stp(const char *cmd, int unit, args_t *a) {
    auto listing = [unit](int stg) {
        sal_printf("STG %d:\n", stg);
        return stg_states(unit, stg);
    };
    if (ARG_CNT(a) == 0) return each_stg(cmd, unit, listing);
    int stg = 0;
    if (!number(a, &stg)) return CMD_USAGE;
    if (ARG_CNT(a) == 0) {
        int rv = listing(stg);
        return rv < 0 ? fail(cmd, rv) : CMD_OK;
    }
    soc_pbmp_t pbmp{};
    const char *ports = ARG_GET(a);
    const char *state_word = ARG_GET(a);
    if (parse_pbmp(unit, ports, &pbmp) < 0 || state_word == nullptr || ARG_CNT(a) > 0)
        return CMD_USAGE;
    int state = -1;
    for (int s = 0; s < kStpCount && state < 0; s++) {
        if (parse_name_match(kStpNames[s], state_word, '\0')) state = s;
    }
    if (state < 0) return CMD_USAGE;
    pbmp = pbmp_and(pbmp, all_ports(unit));
    PortReserveFreeze tests;  // no self-test starts half-way through the ports
    if (refuse_held(cmd, unit, pbmp)) return CMD_FAIL;
    // Every port's state is read first; a port that refuses its state puts
    // the ports set before it back, so a refused line changes none.
    DxpUnitLock api(unit);
    int was[SOC_MAX_NUM_PORTS] = {};
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (!soc_pbmp_member(pbmp, port)) continue;
        if (int rv = dxp_stg_stp_get(unit, stg, port, &was[port]); rv < 0) return fail(cmd, rv);
    }
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (!soc_pbmp_member(pbmp, port)) continue;
        const int rv = dxp_stg_stp_set(unit, stg, port, state);
        if (rv >= 0) continue;
        for (int back = port - 1; back >= 0; back--)
            if (soc_pbmp_member(pbmp, back)) dxp_stg_stp_set(unit, stg, back, was[back]);
        sal_printf("%s: ERROR: port %s: %s: nothing set\n", cmd, port_name(unit, port),
                   feature_cmds::errmsg(rv));
        return CMD_FAIL;
    }
    return CMD_OK;
}

// Every VLAN named is read before any moves, and a group that refuses one
// gets back the ones moved before it: a refused line moves none.
int stg_vlans(const char *cmd, int unit, args_t *a, bool add) {
    int stg = 0;
    if (!number(a, &stg) || ARG_CNT(a) == 0) return CMD_USAGE;
    struct Move {
        dxp_vlan_t vid;
        int was;  // the group the VLAN was in
    };
    std::vector<Move> moves;
    DxpUnitLock api(unit);  // what is read stays so until the moves
    while (ARG_CNT(a) > 0) {
        int vid = 0;
        if (!number(a, &vid)) return CMD_USAGE;
        if (!vlan_id_fits(cmd, vid)) return CMD_FAIL;
        Move m{static_cast<dxp_vlan_t>(vid), 0};
        dxp_pbmp_t members{}, untagged{};
        int rv = dxp_vlan_port_get(unit, m.vid, &members, &untagged);
        if (rv >= 0) rv = dxp_vlan_stg_get(unit, m.vid, &m.was);
        if (rv < 0) return vlan_fail(cmd, m.vid, rv);
        moves.push_back(m);
    }
    for (size_t i = 0; i < moves.size(); i++) {
        const dxp_vlan_t vid = moves[i].vid;
        int rv = add ? dxp_stg_vlan_add(unit, stg, vid) : dxp_stg_vlan_remove(unit, stg, vid);
        if (rv >= 0) continue;
        while (i-- > 0)
            dxp_stg_vlan_add(unit, moves[i].was, moves[i].vid);
        return vlan_fail(cmd, vid, rv);
    }
    return CMD_OK;
}

// ---------------------------------------------------------------- TRUNK
int trunk_id = 0;
int trunk_rtag = 0;
soc_pbmp_t trunk_pbmp{};

const char *psc_name(int psc) {
    static const char *const kNames[] = {"srcmac", "destmac", "srcdestmac",
                                         "srcip",  "destip",  "srcdestip"};
    return psc >= 1 && psc <= 6 ? kNames[psc - 1] : "unknown";
}

bool has_member(const dxp_trunk_add_info &t, int port) {
    for (int i = 0; i < t.num_ports; i++) {
        if (t.tp[i] == port) return true;
    }
    return false;
}

int trunk_show(const char *cmd, int unit, args_t *a) {
    dxp_trunk_chip_info info{};
    if (int rv = dxp_trunk_chip_info_get(unit, &info); rv < 0) {
        sal_printf("%s: %s\n", cmd, feature_cmds::errmsg(rv));
        return CMD_FAIL;
    }
    int first = info.trunk_id_min, last = info.trunk_id_max;
    if (ARG_CNT(a) > 0) {
        int rv = CMD_OK;
        if (!options(unit, a, {{"Id", PQ_INT, &trunk_id}}, &rv)) return rv;
        first = last = trunk_id;
    }
    int shown = 0;
    for (int tid = first; tid <= last; tid++) {
        dxp_trunk_add_info t{};
        int rv = dxp_trunk_get(unit, tid, &t);
        if (rv == DXP_E_NOT_FOUND) continue;
        if (rv < 0) {
            sal_printf("%s: trunk %d get failed: %s\n", cmd, tid, feature_cmds::errmsg(rv));
            return CMD_FAIL;
        }
        sal_printf("trunk %d: %d ports=", tid, t.num_ports);
        for (int i = 0; i < t.num_ports && i < DXP_TRUNK_MAX_PORTCNT; i++)
            sal_printf("%s%s", i == 0 ? "" : ",", port_name(unit, t.tp[i]));
        sal_printf(" psc/rtag=%s (%d)\n", psc_name(t.psc), t.psc);
        shown++;
    }
    if (shown == 0) sal_printf("[no matching trunks defined]\n");
    return CMD_OK;
}

// How many ports a trunk of the unit holds: the chip's bound, within what
// the member record holds.
int trunk_ports_max(int unit) {
    dxp_trunk_chip_info chip{};
    if (dxp_trunk_chip_info_get(unit, &chip) < 0 || chip.trunk_ports_max <= 0)
        return DXP_TRUNK_MAX_PORTCNT;
    return std::min(chip.trunk_ports_max, DXP_TRUNK_MAX_PORTCNT);
}

int trunk_add(const char *cmd, int unit, args_t *a) {
    int rv = CMD_OK;
    if (!options(unit, a,
                 {{"Id", PQ_INT, &trunk_id},
                  {"Rtag", PQ_INT, &trunk_rtag},
                  {"Pbmp", PQ_PBMP, &trunk_pbmp}},
                 &rv))
        return rv;
    // Only Ethernet ports aggregate: the CPU port in a trunk would cut the
    // management interface off until the trunk is removed.
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        const soc_control_t *s = SOC_CONTROL(unit);
        if (!soc_pbmp_member(trunk_pbmp, port) ||
            ((soc_pbmp_member(s->fe.bitmap, port) || soc_pbmp_member(s->ge.bitmap, port)) &&
             !soc_pbmp_member(s->cmic_bitmap, port)))
            continue;
        sal_printf("%s: ERROR: port %s cannot be a trunk member: not a front-panel port\n", cmd,
                   port_name(unit, port));
        return CMD_FAIL;
    }
    // A trunk would take a tested port's frames elsewhere.
    if (refuse_held(cmd, unit, trunk_pbmp)) return CMD_FAIL;
    dxp_trunk_add_info t{};
    rv = dxp_trunk_get(unit, trunk_id, &t);
    const bool exists = rv >= 0;
    if (!exists && rv != DXP_E_NOT_FOUND) return fail(cmd, rv);
    if (!exists) {
        t = dxp_trunk_add_info{};
        t.psc = trunk_rtag;
    }
    int wanted = t.num_ports;
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++)
        if (soc_pbmp_member(trunk_pbmp, port) && !has_member(t, port)) wanted++;
    if (const int most = trunk_ports_max(unit); wanted > most) {
        sal_printf("%s: ERROR: trunk %d would hold %d ports: a trunk holds at most %d\n", cmd,
                   trunk_id, wanted, most);
        return CMD_FAIL;
    }
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (!soc_pbmp_member(trunk_pbmp, port) || has_member(t, port)) continue;
        t.tm[t.num_ports] = 0;
        t.tp[t.num_ports++] = port;
    }
    // A new trunk without members would stay behind empty after the set fails.
    if (!exists && t.num_ports == 0) return fail(cmd, DXP_E_PARAM);
    if (!exists) dxp_trunk_create_with_tid(unit, trunk_id);
    if (rv = dxp_trunk_set(unit, trunk_id, &t); rv < 0) {
        // A refused add leaves no trunk of its own making behind.
        if (!exists) dxp_trunk_destroy(unit, trunk_id);
        return fail(cmd, rv);
    }
    return CMD_OK;
}

int trunk_remove(const char *cmd, int unit, args_t *a) {
    int rv = CMD_OK;
    if (!options(unit, a, {{"Id", PQ_INT, &trunk_id}, {"Pbmp", PQ_PBMP, &trunk_pbmp}}, &rv))
        return rv;
    dxp_trunk_add_info t{};
    if (rv = dxp_trunk_get(unit, trunk_id, &t); rv < 0) return fail(cmd, rv);
    dxp_trunk_add_info left = t;
    left.num_ports = 0;
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (!has_member(t, port) || soc_pbmp_member(trunk_pbmp, port)) continue;
        left.tm[left.num_ports] = 0;
        left.tp[left.num_ports++] = port;
    }
    rv = left.num_ports > 0 ? dxp_trunk_set(unit, trunk_id, &left)
                            : dxp_trunk_destroy(unit, trunk_id);
    return rv < 0 ? fail(cmd, rv) : CMD_OK;
}

int trunk_psc(const char *cmd, int unit, args_t *a) {
    int rv = CMD_OK;
    if (!options(unit, a, {{"Id", PQ_INT, &trunk_id}, {"Rtag", PQ_INT, &trunk_rtag}}, &rv))
        return rv;
    rv = dxp_trunk_psc_set(unit, trunk_id, trunk_rtag);
    return rv < 0 ? fail(cmd, rv) : CMD_OK;
}

}  // namespace

int cmd_stg(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (!sh_check_attached(cmd, unit)) return CMD_FAIL;
    const char *sub = ARG_GET(a);
    int id = 0, rv = 0;
    if (word_is(sub, "create")) {
        if (ARG_CNT(a) > 0) {
            if (!number(a, &id)) return CMD_USAGE;
            rv = dxp_stg_create_id(unit, id);
        } else {
            rv = dxp_stg_create(unit, &id);
            sal_printf("Created spanning tree group %d\n", id);
        }
    } else if (word_is(sub, "destroy") || word_is(sub, "clear")) {
        if (!number(a, &id)) return CMD_USAGE;
        rv =
            word_is(sub, "destroy") ? dxp_stg_destroy(unit, id) : dxp_stg_vlan_remove_all(unit, id);
    } else if (word_is(sub, "show")) {
        if (ARG_CNT(a) == 0) {
            return each_stg(cmd, unit, [unit](int stg) {
                int r = stg_vlan_line(unit, stg);
                return r < 0 ? r : stg_states(unit, stg);
            });
        }
        if (!number(a, &id)) return CMD_USAGE;
        rv = stg_vlan_line(unit, id);
    } else if (word_is(sub, "add") || word_is(sub, "remove")) {
        return stg_vlans(cmd, unit, a, word_is(sub, "add"));
    } else if (word_is(sub, "stp")) {
        return stg_stp(cmd, unit, a);
    } else if (word_is(sub, "default")) {
        if (ARG_CNT(a) == 0) {
            if (rv = dxp_stg_default_get(unit, &id); rv >= 0) sal_printf("Default STG is %d\n", id);
        } else {
            if (!number(a, &id)) return CMD_USAGE;
            if (rv = dxp_stg_default_set(unit, id); rv >= 0)
                sal_printf("Default STG set to %d\n", id);
        }
    } else {
        return CMD_USAGE;
    }
    return rv < 0 ? fail(cmd, rv) : CMD_OK;
}

int cmd_trunk(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (!sh_check_attached(cmd, unit)) return CMD_FAIL;
    const char *sub = ARG_GET(a);
    if (word_is(sub, "show")) return trunk_show(cmd, unit, a);
    // The members are read, changed and written back as one step.
    DxpUnitLock api(unit);
    // A refused line leaves the options the next line defaults to as they were.
    const int id = trunk_id, rtag = trunk_rtag;
    const soc_pbmp_t pbmp = trunk_pbmp;
    int rv = CMD_USAGE;
    if (word_is(sub, "add")) rv = trunk_add(cmd, unit, a);
    if (word_is(sub, "remove")) rv = trunk_remove(cmd, unit, a);
    if (word_is(sub, "psc")) rv = trunk_psc(cmd, unit, a);
    if (rv != CMD_OK) {
        trunk_id = id;
        trunk_rtag = rtag;
        trunk_pbmp = pbmp;
    }
    return rv;
}
