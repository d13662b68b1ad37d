// The monitor's Auth command (port authorisation states and the switch MAC
// addresses authorised ports accept) and COS command (queue count,
// scheduling and the priority-to-queue map).
#include <cstdint>
#include <cstring>

#include "diag_parse.h"
#include "drv_if.h"
#include "dxp.h"
#include "dxp_error.h"
#include "dxp_tarn_auth.h"
#include "feature_cmds.h"
#include "sal.h"
#include "shell_cmds.h"
#include "soc_control.h"
#include "soc_property.h"

namespace {

constexpr uint32_t kPropAuthPorts = 9;
// Chips with one authorised MAC address shared by every port.
constexpr uint32_t kChipSingleAuthMac = 0x800000;

constexpr uint32_t kModeUncontrolled = 0x1, kModeUnauth = 0x2, kModeAuth = 0x4, kModeBlockIn = 0x8,
                   kModeBlockBoth = 0x10, kModeLearn = 0x20, kModeIgnoreLink = 0x40,
                   kModeIgnoreViolation = 0x80;
constexpr uint32_t kSecModes[] = {DXP_AUTH_SEC_NONE, DXP_AUTH_SEC_STATIC_ACCEPT,
                                  DXP_AUTH_SEC_STATIC_REJECT, DXP_AUTH_SEC_SA_NUM,
                                  DXP_AUTH_SEC_SA_MATCH};

// Options keep their last values from one command to the next.
soc_pbmp_t auth_pbmp{};
dxp_mac_t auth_mac{};

const char *port_name(int unit, int port) {
    return SOC_CONTROL(unit)->port_name[port];
}

void print_mac(const char *prefix, const dxp_mac_t mac, const char *suffix) {
    sal_printf("%s%02x:%02x:%02x:%02x:%02x:%02x%s", prefix, mac[0], mac[1], mac[2], mac[3], mac[4],
               mac[5], suffix);
}

// The ports subject to authorisation on this unit.
uint64_t auth_ports(int unit) {
    uint32_t v[2] = {0, 0};
    if (DRV_SERVICES(unit)->dev_prop_get(unit, kPropAuthPorts, v) < 0) return 0;
    return (static_cast<uint64_t>(v[1]) << 32 | v[0]) &
           diag_pbmp_bits(SOC_CONTROL(unit)->port.bitmap);
}

struct AuthCtx {
    int unit;
    const char *cmd;
    const char *word;
};

int port_failed(const AuthCtx &c, int port, int rv) {
    sal_printf("ERROR: %s %s port %s failed: %s\n", c.cmd, c.word, port_name(c.unit, port),
               feature_cmds::errmsg(rv));
    return CMD_FAIL;
}

int auth_show(const AuthCtx &c, uint64_t ports) {
    for (int port = 0; port < 64; port++) {
        if (!(ports >> port & 1)) continue;
        uint32_t mode = 0;
        if (int rv = dxp_auth_mode_get(c.unit, port, &mode); rv < 0)
            return port_failed(c, port, rv);
        const char *name = port_name(c.unit, port);
        if (mode & kModeUncontrolled)
            sal_printf("port %s in uncontrolled state.\n", name);
        else if (mode & kModeUnauth)
            sal_printf("port %s is unauthorized for %s direction(s).\n", name,
                       (mode & kModeBlockIn) ? "ingress" : "all");
        else if (!(mode & (kModeLearn | kModeIgnoreLink | kModeIgnoreViolation)))
            sal_printf("port %s is authorized.\n", name);
        else
            sal_printf("port %s is authorized with condition(s) %s%s%s\n", name,
                       (mode & kModeLearn) ? "L2LEAERN " : "",
                       (mode & kModeIgnoreLink) ? "IGNORE_LINK " : "",
                       (mode & kModeIgnoreViolation) ? "IGNORE_VIOLATION " : "");
    }
    return CMD_OK;
}

// A port under self-test keeps its access state: the change is refused
// whole, before any port changes.
bool refuse_held_bits(const AuthCtx &c, uint64_t ports) {
    soc_pbmp_t pbmp{};
    pbmp.w[0] = static_cast<uint32_t>(ports);
    pbmp.w[1] = static_cast<uint32_t>(ports >> 32);
    return feature_cmds::refuse_held(c.cmd, c.unit, pbmp);
}

int auth_mac_init(const AuthCtx &c, uint64_t ports) {
    PortReserveFreeze tests;  // no self-test starts half-way through the ports
    if (refuse_held_bits(c, ports)) return CMD_FAIL;
    const char *text = soc_property_get_str(c.unit, "station_mac_address");
    if (text == nullptr) {
        sal_printf("station_mac_address not set\n");
        return CMD_FAIL;
    }
    if (parse_macaddr(text, auth_mac) != 0) {
        sal_printf("%s: Error: invalid station_mac_address: %s\n", c.cmd, text);
        return CMD_FAIL;
    }
    for (int port = 0; port < 64; port++) {
        if (!(ports >> port & 1)) continue;
        if (int rv = dxp_auth_mac_add(c.unit, port, auth_mac); rv < 0) {
            sal_printf("ERROR: %s %s failed: %s\n", c.cmd, c.word, feature_cmds::errmsg(rv));
            return CMD_FAIL;
        }
    }
    print_mac("All fe ports set to mac address ", auth_mac, "\n");
    return CMD_OK;
}

enum class AuthOp { MacAdd, MacDel, MacClear, Block, Unblock, Enable, Disable };

int auth_ports_op(const AuthCtx &c, uint64_t ports, AuthOp op, args_t *a) {
    int ingress = 0, learn = 0, auth_num = 0, sa_num = 0;
    parse_table_t pt;
    parse_table_init(c.unit, &pt);
    parse_table_add(&pt, "PortBitMap", PQ_PBMP | PQ_DFL, nullptr, &auth_pbmp, nullptr);
    if (op == AuthOp::MacAdd || op == AuthOp::MacDel)
        parse_table_add(&pt, "MACaddress", PQ_MAC | PQ_DFL, nullptr, auth_mac, nullptr);
    if (op == AuthOp::Block)
        parse_table_add(&pt, "IngressOnly", PQ_BOOL, nullptr, &ingress, nullptr);
    if (op == AuthOp::Enable) {
        parse_table_add(&pt, "LearnEnable", PQ_BOOL, nullptr, &learn, nullptr);
        parse_table_add(&pt, "AuthNum", PQ_INT, nullptr, &auth_num, nullptr);
        parse_table_add(&pt, "SaNum", PQ_INT, nullptr, &sa_num, nullptr);
    }
    int rv = CMD_OK;
    if (!parse_options(a, &pt, &rv)) return rv;
    parse_table_done(&pt);

    uint32_t mode = 0;
    if (op == AuthOp::Enable) {
        if (static_cast<unsigned>(auth_num) >= sizeof kSecModes / sizeof kSecModes[0]) {
            sal_printf("ERROR: %s without expected parameter.\n", c.cmd);
            return CMD_FAIL;
        }
        mode = kModeAuth | kSecModes[auth_num] | (learn ? kModeLearn : 0);
    }
    const bool single_mac = (SOC_CONTROL(c.unit)->chip_flags & kChipSingleAuthMac) != 0;
    int done = 0;
    uint64_t chosen = diag_pbmp_bits(auth_pbmp) & ports;
    PortReserveFreeze tests;  // no self-test starts half-way through the ports
    if (refuse_held_bits(c, chosen)) return CMD_FAIL;
    for (int port = 0; port < 64; port++) {
        if (!(chosen >> port & 1)) continue;
        const char *name = port_name(c.unit, port);
        switch (op) {
            case AuthOp::MacAdd:
                if (single_mac && done > 0) {
                    sal_printf("ERROR : %s %s port %s failed:  \n", c.cmd, c.word, name);
                    return CMD_FAIL;
                }
                if (rv = dxp_auth_mac_add(c.unit, port, auth_mac); rv < 0)
                    return port_failed(c, port, rv);
                sal_printf("port %s mac address ", name);
                print_mac("", auth_mac, " set.\n");
                break;
            case AuthOp::MacDel:
                if (rv = dxp_auth_mac_delete(c.unit, port, auth_mac); rv < 0)
                    return port_failed(c, port, rv);
                sal_printf("port %s mac address ", name);
                print_mac("", auth_mac, " deleted.\n");
                break;
            case AuthOp::MacClear:
                if (rv = dxp_auth_mac_delete_all(c.unit, port); rv < 0)
                    return port_failed(c, port, rv);
                sal_printf("port %s all mac addresses deleted.\n", name);
                break;
            case AuthOp::Block:
                if (rv = dxp_auth_mode_set(c.unit, port,
                                           kModeUnauth | (ingress ? kModeBlockIn : kModeBlockBoth));
                    rv < 0)
                    return port_failed(c, port, rv);
                sal_printf("port %s blocked in %s direction(s).\n", name,
                           ingress ? "ingress" : "all");
                break;
            case AuthOp::Unblock:
                if (rv = dxp_auth_mode_set(c.unit, port, kModeUncontrolled); rv < 0)
                    return port_failed(c, port, rv);
                sal_printf("port %s unblock - all traffic allowed now.\n", name);
                break;
            case AuthOp::Enable:
                if (rv = dxp_auth_mode_set(c.unit, port, mode); rv < 0)
                    return port_failed(c, port, rv);
                if (mode & DXP_AUTH_SEC_SA_NUM) {
                    sal_printf("sanum %x\n", sa_num);
                    dxp_tarn_auth_sec_mode_set(c.unit, port, DXP_AUTH_SEC_SA_NUM, sa_num);
                }
                sal_printf("port %s authorization enabled.\n", name);
                break;
            case AuthOp::Disable:
                if (rv = dxp_auth_mode_set(c.unit, port, kModeUnauth | kModeBlockBoth); rv < 0)
                    return port_failed(c, port, rv);
                sal_printf("port %s authorization disable - no traffic allowed.\n", name);
                break;
        }
        done++;
    }
    return CMD_OK;
}

struct AuthWord {
    const char *word;
    AuthOp op;
};
constexpr AuthWord kMacWords[] = {
    {"add", AuthOp::MacAdd}, {"del", AuthOp::MacDel}, {"clear", AuthOp::MacClear}};
constexpr AuthWord kPortWords[] = {{"block", AuthOp::Block},
                                   {"unblock", AuthOp::Unblock},
                                   {"enable", AuthOp::Enable},
                                   {"disable", AuthOp::Disable}};

template <size_t N>
const AuthWord *find_word(const AuthWord (&table)[N], const char *w) {
    for (const AuthWord &row : table)
        if (sal_strcasecmp(row.word, w) == 0) return &row;
    return nullptr;
}

// ---------------------------------------------------------------- COS

constexpr int kCosWeights = 8;
constexpr int kSchedStrict = 1, kSchedWrr = 3;

int cos_weights[kCosWeights];
int cos_saved[kCosWeights];
int cos_weights_set = 0;
int cos_last_pri = 0;

int cos_error(const char *cmd, int rv) {
    sal_printf("%s: ERROR: %s\n", cmd, feature_cmds::errmsg(rv));
    return CMD_FAIL;
}

int cos_show(int unit, const char *cmd, int numq, int mode) {
    sal_printf("COS configuration:\n");
    sal_printf("  Config (max queues): %d\n", numq);
    sal_printf("  Schedule mode: %s\n", mode == kSchedStrict ? "strict"
                                        : mode == kSchedWrr  ? "weighted round-robin"
                                                             : "?");
    if (mode != kSchedStrict) {
        sal_printf("  Weighting (in packets):\n");
        for (int i = 0; i < numq && i < kCosWeights; i++) {
            if (cos_weights_set && cos_saved[i] == 0)
                sal_printf("    COSQ %d = Strict Priority\n", i);
            else
                sal_printf("    COSQ %d = %d packets\n", i, cos_weights[i]);
        }
    }
    sal_printf("  Priority to queue mappings:\n");
    for (int prio = 0; prio < 8; prio++) {
        int queue = 0;
        if (int rv = dxp_cosq_mapping_get(unit, prio, &queue); rv < 0) return cos_error(cmd, rv);
        sal_printf("    PRIO %d ==> COSQ %d\n", prio, queue);
    }
    return CMD_OK;
}

}  // namespace

int cmd_auth(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (!sh_check_attached(cmd, unit) || SOC_CONTROL(unit) == nullptr) return CMD_FAIL;
    const char *w = ARG_GET(a);
    if (w == nullptr) return CMD_USAGE;
    uint64_t ports = auth_ports(unit);
    if (sal_strcasecmp(w, "mac") == 0) {
        if ((w = ARG_GET(a)) == nullptr) return CMD_USAGE;
        AuthCtx c{unit, cmd, w};
        if (sal_strcasecmp(w, "init") == 0) {
            if (ARG_CNT(a) > 0) return CMD_USAGE;
            return auth_mac_init(c, ports);
        }
        if (const AuthWord *row = find_word(kMacWords, w))
            return auth_ports_op(c, ports, row->op, a);
        // Any other word after mac is the sub-command itself.
    }
    AuthCtx c{unit, cmd, w};
    if (const AuthWord *row = find_word(kPortWords, w)) return auth_ports_op(c, ports, row->op, a);
    if (ARG_CNT(a) > 0) return CMD_USAGE;
    if (sal_strcasecmp(w, "show") == 0) return auth_show(c, ports);
    if (sal_strcasecmp(w, "init") == 0) {
        if (int rv = dxp_auth_init(unit); rv < 0)
            sal_printf("%s: error initializing: %s\n", cmd, feature_cmds::errmsg(rv));
        return CMD_OK;
    }
    if (sal_strcasecmp(w, "detach") == 0) {
        if (int rv = dxp_auth_detach(unit); rv < 0) {
            sal_printf("ERROR: %s %s failed: %s\n", cmd, w, feature_cmds::errmsg(rv));
            return CMD_FAIL;
        }
        return CMD_OK;
    }
    return CMD_USAGE;
}

int cmd_cos(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (!sh_check_attached(cmd, unit)) return CMD_FAIL;
    const char *w = ARG_GET(a);
    if (w == nullptr) return CMD_USAGE;
    if (sal_strcasecmp(w, "clear") == 0) {
        if (ARG_CNT(a) > 0) return CMD_USAGE;
        int rv = dxp_cosq_init(unit);
        return rv < 0 ? cos_error(cmd, rv) : CMD_OK;
    }
    if (sal_strcasecmp(w, "strict") == 0) {
        if (ARG_CNT(a) > 0) return CMD_USAGE;
        int rv = dxp_cosq_sched_set(unit, kSchedStrict, cos_weights, 0);
        return rv < 0 ? cos_error(cmd, rv) : CMD_OK;
    }
    const bool show = sal_strcasecmp(w, "show") == 0, config = sal_strcasecmp(w, "config") == 0,
               map = sal_strcasecmp(w, "map") == 0, weight = sal_strcasecmp(w, "weight") == 0;
    if (!show && !config && !map && !weight) return CMD_USAGE;
    int numq = 0, mode = 0, delay = 0;
    if (int rv = dxp_cosq_config_get(unit, &numq); rv < 0) return cos_error(cmd, rv);
    if (int rv = dxp_cosq_sched_get(unit, &mode, cos_weights, &delay); rv < 0)
        return cos_error(cmd, rv);
    if (show) {
        if (ARG_CNT(a) > 0) return CMD_USAGE;
        return cos_show(unit, cmd, numq, mode);
    }
    int queue = 0;
    if (map) {
        if (int rv = dxp_cosq_mapping_get(unit, cos_last_pri, &queue); rv < 0)
            return cos_error(cmd, rv);
    }
    parse_table_t pt;
    parse_table_init(unit, &pt);
    if (config) parse_table_add(&pt, "Numcos", PQ_INT | PQ_DFL, nullptr, &numq, nullptr);
    if (map) {
        parse_table_add(&pt, "Pri", PQ_INT | PQ_DFL, nullptr, &cos_last_pri, nullptr);
        parse_table_add(&pt, "Queue", PQ_INT | PQ_DFL, nullptr, &queue, nullptr);
    }
    if (weight) {
        static const char *const names[] = {"W0", "W1", "W2", "W3"};
        for (int i = 0; i < 4; i++)
            parse_table_add(&pt, names[i], PQ_INT | PQ_DFL, nullptr, &cos_weights[i], nullptr);
    }
    int rv = CMD_OK;
    if (!parse_options(a, &pt, &rv)) return rv;
    parse_table_done(&pt);
    if (config) rv = dxp_cosq_config_set(unit, numq);
    if (map) rv = dxp_cosq_mapping_set(unit, cos_last_pri, queue);
    if (weight) rv = dxp_cosq_sched_set(unit, kSchedWrr, cos_weights, 0);
    if (rv == DXP_E_PARAM && weight) {
        if (const char *why = dxp_cosq_weights_refusal(unit, cos_weights)) {
            sal_printf("%s: ERROR: %s\n", cmd, why);
            return CMD_FAIL;
        }
    }
    if (rv < 0) return cos_error(cmd, rv);
    if (weight) {
        cos_weights_set = 1;
        for (int i = 0; i < numq && i < kCosWeights; i++)
            cos_saved[i] = cos_weights[i];
    }
    return CMD_OK;
}
