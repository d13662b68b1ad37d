// The monitor's VLAN commands: VLAN creates, fills, lists and destroys VLANs
// and reads or sets the default VLAN and the VLAN controls; PVlan shows and
// sets each port's default (untagged) VLAN.
#include "diag_parse.h"
#include "dxp.h"
#include "dxp_error.h"
#include "feature_cmds.h"
#include "sal.h"
#include "shell_cmds.h"
#include "shr.h"
#include "soc_control.h"

namespace {

using namespace feature_cmds;

constexpr dxp_vlan_t kNoVlan = 0xfff;

struct VlanControl {
    const char *name;
    int type;
};
constexpr VlanControl kControls[] = {
    {"dropunknown", 0}, {"preferip4", 1}, {"prefermac", 2},
    {"shared", 3},      {"sharedid", 4},  {"ignorepkttag", 6},
};

int fail(const char *cmd, int rv) {
    sal_printf("%s: ERROR: %s\n", cmd, feature_cmds::errmsg(rv));
    return CMD_FAIL;
}

bool refuse_held_members(const char *cmd, int unit, dxp_vlan_t vid) {
    dxp_pbmp_t members{}, untagged{};
    return dxp_vlan_port_get(unit, vid, &members, &untagged) >= 0 &&
           refuse_held(cmd, unit, to_soc(members));
}

// A VLAN id word: CMD_OK with *vid, CMD_USAGE when it is no number, or
// CMD_FAIL after naming the number typed when it is out of range.
int vlan_word(const char *cmd, const char *word, dxp_vlan_t *vid) {
    const bool wide = word != nullptr && parse_integer_too_wide(word);
    if (word == nullptr || (!wide && !parse_is_integer(word))) return CMD_USAGE;
    const int value = wide ? -1 : parse_integer(word);
    if (wide || value < 0 || value > kVlanIdLast) {
        sal_printf("%s: ERROR: VLAN ID %s out of range (0-%lld)\n", cmd, word, kVlanIdLast);
        return CMD_FAIL;
    }
    *vid = static_cast<dxp_vlan_t>(value);
    return CMD_OK;
}

// The next word as a VLAN id; false with *rv set as vlan_word says.
bool vlan_id(args_t *a, dxp_vlan_t *vid, int *rv) {
    *rv = vlan_word(ARG_CMD(a), ARG_GET(a), vid);
    return *rv == CMD_OK;
}

int vlan_create(const char *cmd, int unit, args_t *a, dxp_vlan_t vid) {
    soc_pbmp_t pbmp{}, ubmp{};
    parse_table_t pt;
    parse_table_init(unit, &pt);
    parse_table_add(&pt, "PortBitMap", PQ_PBMP | PQ_DFL, nullptr, &pbmp, nullptr);
    parse_table_add(&pt, "UntagBitMap", PQ_PBMP | PQ_DFL, nullptr, &ubmp, nullptr);
    const int taken = parse_table_args(a, &pt);
    parse_table_done(&pt);
    if (taken < 0 || ARG_CNT(a) > 0) {
        if (taken >= 0) sal_printf("%s: ERROR: Unknown option: %s\n", cmd, ARG_CUR(a));
        return CMD_FAIL;
    }
    PortReserveFreeze tests;  // no self-test starts between the two steps
    if (refuse_held(cmd, unit, pbmp)) return CMD_FAIL;
    // A self-test's own VLAN is listed nowhere: say whose it is.
    dxp_pbmp_t ports{};
    if (const char *held = port_reserve_vlan_holder_text(unit, vid, &ports)) {
        char names[256];
        format_pbmp(unit, names, sizeof names, to_soc(ports));
        sal_printf("%s: ERROR: %s %s\n", cmd, held, names);
        return CMD_FAIL;
    }
    if (int rv = dxp_vlan_create(unit, vid); rv < 0) return fail(cmd, rv);
    if (int rv = dxp_vlan_port_add(unit, vid, to_dxp(pbmp), to_dxp(ubmp)); rv < 0) {
        dxp_vlan_destroy(unit, vid);  // a refused create leaves no VLAN behind
        return fail(cmd, rv);
    }
    return CMD_OK;
}

int vlan_ports(const char *cmd, int unit, args_t *a, dxp_vlan_t vid, bool add) {
    soc_pbmp_t pbmp{}, ubmp{};
    int rv = CMD_OK;
    if (add) {
        if (!options(unit, a, {{"PortBitMap", PQ_PBMP, &pbmp}, {"UntagBitMap", PQ_PBMP, &ubmp}},
                     &rv))
            return rv;
        if (refuse_held(cmd, unit, pbmp)) return CMD_FAIL;
        rv = dxp_vlan_port_add(unit, vid, to_dxp(pbmp), to_dxp(ubmp));
    } else {
        if (!options(unit, a, {{"PortBitMap", PQ_PBMP, &pbmp}}, &rv)) return rv;
        if (refuse_held(cmd, unit, pbmp)) return CMD_FAIL;
        rv = dxp_vlan_port_remove(unit, vid, to_dxp(pbmp));
    }
    return rv < 0 ? fail(cmd, rv) : CMD_OK;
}

int vlan_show(const char *cmd, int unit, args_t *a) {
    dxp_vlan_t only = 0;
    const bool one = ARG_CNT(a) > 0;
    if (int rv = CMD_OK; one && !vlan_id(a, &only, &rv)) return rv;
    dxp_vlan_data *list = nullptr;
    int count = 0;
    if (int rv = dxp_vlan_list(unit, &list, &count); rv < 0) return fail(cmd, rv);
    sal_printf("%-8s%-10s  %-10s\n", "ID", "Ports", "Untagged");
    for (int i = 0; i < count; i++) {
        const dxp_vlan_data &v = list[i];
        if (one && v.vlan_tag != only) continue;
        char ports[19], untagged[19];
        shr_format_uint64_hex(v.port_bitmap.w[0], v.port_bitmap.w[1], ports);
        shr_format_uint64_hex(v.ut_port_bitmap.w[0], v.ut_port_bitmap.w[1], untagged);
        sal_printf("%-8d%s  %s\n", v.vlan_tag, ports, untagged);
    }
    dxp_vlan_list_destroy(unit, list, count);
    return CMD_OK;
}

int vlan_default(const char *cmd, int unit, args_t *a) {
    dxp_vlan_t vid = 0;
    if (ARG_CNT(a) == 0) {
        if (int rv = dxp_vlan_default_get(unit, &vid); rv < 0) return fail(cmd, rv);
        sal_printf("Default VLAN ID is %d\n", vid);
        return CMD_OK;
    }
    if (int rv = CMD_OK; !vlan_id(a, &vid, &rv)) return rv;
    if (int rv = dxp_vlan_default_set(unit, vid); rv < 0) return fail(cmd, rv);
    sal_printf("Default VLAN ID set to %d\n", vid);
    return CMD_OK;
}

int vlan_control(int unit, args_t *a) {
    const char *name = ARG_GET(a);
    const char *value_word = ARG_GET(a);
    if (value_word != nullptr && !parse_is_integer(value_word)) return CMD_USAGE;
    const int value = value_word != nullptr ? parse_integer(value_word) : 0;
    bool used = false, refused = false;
    for (const VlanControl &c : kControls) {
        if (name != nullptr && sal_strcasecmp(name, c.name) != 0) continue;
        used = true;
        if (value_word == nullptr) {
            int v = 0;
            if (int rv = dxp_vlan_control_get(unit, c.type, &v); rv < 0)
                sal_printf("%-20s-\t%s\n", c.name, feature_cmds::errmsg(rv));
            else
                sal_printf("%-20s%d\n", c.name, v);
        } else if (int rv = dxp_vlan_control_set(unit, c.type, value); rv < 0) {
            sal_printf("%s\tERROR: %s\n", c.name, feature_cmds::errmsg(rv));
            refused = true;
        }
    }
    if (!used) {
        sal_printf("%s: ERROR: Unknown control name\n", name);
        return CMD_FAIL;
    }
    return refused ? CMD_FAIL : CMD_OK;
}

int pvlan_show(int unit, const soc_pbmp_t &pbmp) {
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (!soc_pbmp_member(pbmp, port)) continue;
        dxp_vlan_t vid = 0;
        if (int rv = dxp_port_untagged_vlan_get(unit, port, &vid); rv < 0) {
            sal_printf("Error retrieving info for port %s: %s\n", port_name(unit, port),
                       feature_cmds::errmsg(rv));
            return CMD_FAIL;
        }
        sal_printf("Port %s default VLAN is %d%s\n", port_name(unit, port), vid,
                   vid == kNoVlan ? " (disabled)" : "");
    }
    return CMD_OK;
}

// Only the VLAN's members take it as their default; a VLAN the API does not
// know leaves every port to the API, which reports the problem.
int pvlan_set(int unit, soc_pbmp_t pbmp, dxp_vlan_t vid) {
    dxp_pbmp_t members{}, untagged{};
    soc_pbmp_t limit = all_ports(unit);
    if (dxp_vlan_port_get(unit, vid, &members, &untagged) >= 0) limit = to_soc(members);
    pbmp = pbmp_and(pbmp, limit);
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (!soc_pbmp_member(pbmp, port)) continue;
        int rv = dxp_port_untagged_vlan_set(unit, port, vid);
        if (rv >= 0) continue;
        sal_printf("Error setting port %s default VLAN to %d: %s\n", port_name(unit, port), vid,
                   feature_cmds::errmsg(rv));
        if (rv == DXP_E_NOT_FOUND || rv == DXP_E_CONFIG)
            sal_printf(
                "VLAN %d must be created and contain the ports before being used for "
                "port default VLAN.\n",
                vid);
        return CMD_FAIL;
    }
    return CMD_OK;
}

}  // namespace

int cmd_vlan(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (!sh_check_attached(cmd, unit)) return CMD_FAIL;
    const char *sub = ARG_GET(a);
    if (sub == nullptr) return CMD_USAGE;
    dxp_vlan_t vid = 0;
    const bool with_id = word_is(sub, "create") || word_is(sub, "destroy") || word_is(sub, "add") ||
                         word_is(sub, "remove");
    if (int rv = CMD_OK; with_id && !vlan_id(a, &vid, &rv)) return rv;
    if (word_is(sub, "create")) return vlan_create(cmd, unit, a, vid);
    if (word_is(sub, "add")) return vlan_ports(cmd, unit, a, vid, true);
    if (word_is(sub, "remove")) return vlan_ports(cmd, unit, a, vid, false);
    if (word_is(sub, "destroy")) {
        if (refuse_held_members(cmd, unit, vid)) return CMD_FAIL;
        int rv = dxp_vlan_destroy(unit, vid);
        return rv < 0 ? fail(cmd, rv) : CMD_OK;
    }
    if (word_is(sub, "clear")) {
        if (refuse_held(cmd, unit, all_ports(unit))) return CMD_FAIL;
        int rv = dxp_vlan_destroy_all(unit);
        return rv < 0 ? fail(cmd, rv) : CMD_OK;
    }
    if (word_is(sub, "show")) return vlan_show(cmd, unit, a);
    if (word_is(sub, "default")) return vlan_default(cmd, unit, a);
    if (word_is(sub, "control") || word_is(sub, "ctrl")) return vlan_control(unit, a);
    return CMD_USAGE;
}

int cmd_pvlan(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (!sh_check_attached(cmd, unit)) return CMD_FAIL;
    const char *sub = ARG_GET(a);
    if (sub == nullptr) sub = "show";
    const bool show = word_is(sub, "show"), set = word_is(sub, "set"),
               disable = word_is(sub, "disable");
    if (!show && !set && !disable) return CMD_USAGE;
    soc_pbmp_t pbmp = all_ports(unit);
    if (const char *word = ARG_GET(a); word != nullptr) {
        if (parse_pbmp(unit, word, &pbmp) < 0) {
            sal_printf("%s: ERROR: unrecognized port bitmap: %s\n", cmd, word);
            return CMD_FAIL;
        }
        pbmp = pbmp_and(pbmp, all_ports(unit));
    }
    if (show) return pvlan_show(unit, pbmp);
    dxp_vlan_t vid = kNoVlan;
    if (set) {
        const char *word = ARG_GET(a);
        if (word == nullptr) {
            sal_printf("Missing VID for set.\n");
            return CMD_USAGE;
        }
        if (int rv = vlan_word(cmd, word, &vid); rv != CMD_OK) return rv;
    }
    PortReserveFreeze tests;  // no self-test starts half-way through the ports
    if (refuse_held(cmd, unit, pbmp)) return CMD_FAIL;
    return pvlan_set(unit, pbmp, vid);
}
