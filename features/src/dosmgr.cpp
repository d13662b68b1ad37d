// DoS prevention: the per-port record of enabled types and rates, the chip
// switch controls of the all-port types and the field-processor rules of
// smurf, ping flood and SYN flood, rebuilt from port sets on every change.
//
// The switch controls belong to the switch API, which the monitor changes
// port by port: what is on is read back from each port's control (under the
// unit's API lock), never taken from the record alone, so the manager and
// the monitor agree. A change of many ports is one step per type, so each
// type's rules are rebuilt once.
#include "dosmgr.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <bitset>
#include <cstring>
#include <vector>

#include "board.h"
#include "dosmgr_internal.h"
#include "dxp.h"
#include "dxp_tarn.h"
#include "dxpx.h"
#include "log_gate.h"
#include "logger.h"
#include "sal.h"

namespace {

constexpr int kMaxPorts = 128;
constexpr int kUnit = DXPX_CPU_UNIT;
constexpr int kGroupPrio = 2;
constexpr int kRulePrio = -1;
constexpr int kRateMin = 64, kRateMax = 1048576;
constexpr uint32_t kBurstKbits = 64;  // the smallest bucket the meter holds
constexpr uint8_t kProtoIcmp = 1;
constexpr uint8_t kTcpSyn = 0x02, kTcpSynAck = 0x12, kTcpFlagsMask = 0x3f;
constexpr int kMeterPeak = 2;
// The chip acts on the first row a frame matches: the drop rules rank above
// the meters, which let a frame in profile pass, and both above the other
// features' rules (default priority), which would otherwise take an attack
// frame first.
constexpr int kSmurfEntryPrio = 2, kFloodEntryPrio = 1;

// A set of user ports, bit u-1 for user port u.
using UserPorts = std::bitset<kMaxPorts>;

struct PortRecord {
    uint32_t mask;  // bit t: type t enabled
    uint32_t rate[DOS_ATTACK_TYPES];
};

// One set of chip ports sharing a rate, and the rules built for it.
struct RuleSet {
    uint64_t ports;
    int rate;
    int built_rate;                    // the meter rate of the installed rules
    std::vector<dos_port_node> nodes;  // the nodes of the installed rules
    std::vector<int> entries;          // the rules of each node, node by node
};

// Smurf uses set 0 only; the floods keep rate 64 in set 0, others in set 1.
struct RuleType {
    int type;
    RuleSet set[2];
};

// records and the rule types are guarded by lock ("DOS"), taken
// before the unit's API lock.
PortRecord records[kMaxPorts];
RuleType smurf{.type = DOS_ATTACK_SMURF, .set = {}};
RuleType ping{.type = DOS_ATTACK_PING_FLOOD, .set = {}};
RuleType syn{.type = DOS_ATTACK_SYN_FLOOD, .set = {}};

sal_mutex_t dos_lock() {
    static sal_mutex_t m = sal_mutex_create("DOS");
    return m;
}
// Read without the lock by ARP inspection, which holds its own.
std::atomic<int> group_id{0};

class Guard {
  public:
    Guard() { sal_mutex_take(dos_lock(), sal_mutex_FOREVER); }
    ~Guard() { sal_mutex_give(dos_lock()); }
    Guard(const Guard &) = delete;
    Guard &operator=(const Guard &) = delete;
};

int ports() {
    return board_num_uports < kMaxPorts ? board_num_uports : kMaxPorts;
}

bool flood(int type) {
    return type == DOS_ATTACK_PING_FLOOD || type == DOS_ATTACK_SYN_FLOOD;
}

RuleType *rule_type(int type) {
    switch (type) {
        case DOS_ATTACK_SMURF:
            return &smurf;
        case DOS_ATTACK_PING_FLOOD:
            return &ping;
        case DOS_ATTACK_SYN_FLOOD:
            return &syn;
        default:
            return nullptr;
    }
}

// The switch control of an all-port type, -1 for none.
int control_of(int type) {
    switch (type) {
        case DOS_ATTACK_LAND:
            return dxpSwitchDosAttackSipEqualDip;
        case DOS_ATTACK_BLAT:
            return dxpSwitchDosAttackL4Port;
        case DOS_ATTACK_NULL_SCAN:
        case DOS_ATTACK_SYN_FIN:
        case DOS_ATTACK_XMAS_SCAN:
        case DOS_ATTACK_SYN_SPORT:
            return dxpSwitchDosAttackTcpFlags;
        case DOS_ATTACK_ICMP:
            return dxpSwitchDosAttackIcmp;
        default:
            return -1;
    }
}

const char *state(int enable) {
    return enable ? "enabled" : "disabled";
}

// Sets a control to 1 unless the chip already has it on.
void control_on(int control) {
    int value = 0;
    if (dxpx_switch_control_get(control, &value) == 0 && value != 0) return;
    dxpx_switch_control_set(control, 1);
}

bool unit_port(int uport, int *unit, int *port) {
    int lport = 0;
    return ulpm_to_lport(uport, &lport) == 0 && dxpx_lport_to_unit_port(lport, unit, port) == 0;
}

bool port_bit(int uport, uint64_t *bit) {
    int unit = 0, port = 0;
    if (!unit_port(uport, &unit, &port) || port < 0 || port > 63) return false;
    *bit = uint64_t{1} << port;
    return true;
}

UserPorts every_port() {
    UserPorts set;
    for (int u = 1; u <= ports(); u++)
        set.set(static_cast<size_t>(u - 1));
    return set;
}

bool member(const UserPorts &set, int uport) {
    return set.test(static_cast<size_t>(uport - 1));
}

uint64_t port_bits(const UserPorts &set) {
    uint64_t bits = 0, bit = 0;
    for (int u = 1; u <= ports(); u++)
        if (member(set, u) && port_bit(u, &bit)) bits |= bit;
    return bits;
}

// What the chip does on one port: the port's API control.
bool port_control_on(int uport, int control) {
    int unit = 0, port = 0, value = 0;
    return unit_port(uport, &unit, &port) &&
           dxp_switch_control_port_get(unit, port, control, &value) == 0 && value != 0;
}

// True when every user port has the control on.
bool control_everywhere(int control) {
    for (int u = 1; u <= ports(); u++)
        if (!port_control_on(u, control)) return false;
    return true;
}

// Sets an API control on the user ports of the set: one change per unit, so
// the control's rules are rebuilt once.
int api_ports_set(const UserPorts &set, int control, int value) {
    struct UnitPorts {
        int unit;
        dxp_pbmp_t pbmp;
    };
    std::vector<UnitPorts> units;
    for (int u = 1; u <= ports(); u++) {
        int unit = 0, port = 0;
        if (!member(set, u) || !unit_port(u, &unit, &port)) continue;
        auto it = std::find_if(units.begin(), units.end(),
                               [&](const UnitPorts &p) { return p.unit == unit; });
        if (it == units.end()) it = units.insert(units.end(), UnitPorts{unit, dxp_pbmp_t{}});
        dxp_pbmp_port_add(&it->pbmp, port);
    }
    int rv = 0;
    for (const UnitPorts &p : units)
        if (int r = dxp_tarn_switch_control_pbmp_set(p.unit, p.pbmp, control, value);
            r < 0 && rv == 0)
            rv = r;
    return rv;
}

bool tcp_flag_type(int type) {
    return control_of(type) == dxpSwitchDosAttackTcpFlags;
}

bool recorded(int index, int type) {
    return ((records[index].mask >> type) & 1) != 0;
}

// Whether a switch-control type is on for a user port (index u-1), as the
// page and the settings see it: the port's API control. The four TCP-flag
// types share a control; each shows its own recorded bit, or all four when
// the control was switched on beside the manager (it drops all four
// attacks).
bool control_type_on(int index, int type) {
    const uint32_t mask = records[index].mask;
    if (control_of(type) == dxpSwitchDosAttackIcmp) return recorded(index, type);
    if (index >= ports() || !port_control_on(index + 1, control_of(type))) return false;
    if (!tcp_flag_type(type) || recorded(index, type)) return true;
    for (int t = 0; t < DOS_ATTACK_TYPES; t++)
        if (tcp_flag_type(t) && ((mask >> t) & 1) != 0) return false;
    return true;
}

// The API's per-port control of a rule type (the monitor sets these).
int api_control_of(int type) {
    switch (type) {
        case DOS_ATTACK_SMURF:
            return dxpSwitchDosAttackTcpSmurf;
        case DOS_ATTACK_PING_FLOOD:
            return dxpSwitchDosAttackPingFlood;
        default:
            return dxpSwitchDosAttackSynFlood;
    }
}

bool api_port_on(int uport, int type) {
    return port_control_on(uport, api_control_of(type));
}

// Whether a type is on for a user port (index u-1), by the manager's rules
// or the API's controls.
bool type_on(int index, int type) {
    if (control_of(type) >= 0) return control_type_on(index, type);
    return recorded(index, type) ||
           (rule_type(type) != nullptr && index < ports() && api_port_on(index + 1, type));
}

dos_reach reach_of(int type) {
    int on = 0;
    for (int i = 0; i < ports(); i++)
        on += type_on(i, type) ? 1 : 0;
    return on == 0 ? DOS_REACH_NONE : on == ports() ? DOS_REACH_ALL : DOS_REACH_SOME;
}

// Switching a rule type off switches off the API's per-port controls too.
void api_ports_off(const UserPorts &set, int type) {
    UserPorts on;
    for (int u = 1; u <= ports(); u++)
        if (member(set, u) && api_port_on(u, type)) on.set(static_cast<size_t>(u - 1));
    if (on.any()) api_ports_set(on, api_control_of(type), 0);
}

// A refusal, which the caller passes on: a warning, as the pages log theirs.
// A manager's setting the switch cannot take: its sender may repeat it at
// will, so the line is gated and names them.
int failed(int rv) {
    log_refused_printf(LOG_LEVEL_WARNING, LOG_MOD_DOS, "DOS setting failed : %s\n", dxp_errmsg(rv));
    return rv;
}

void control_log(int control, int enable) {
    if (control == dxpSwitchDosAttackTcpFlags)
        logger_printf(LOG_LEVEL_INFO, LOG_MOD_DOS,
                      "Prevent NULL Scan Attacks, SYNFIN, Xmascan, and SYN with sport <1024 %s",
                      state(enable));
    else if (control == dxpSwitchDosAttackSipEqualDip)
        logger_printf(LOG_LEVEL_INFO, LOG_MOD_DOS, "Prevent Land Attacks %s", state(enable));
    else if (control == dxpSwitchDosAttackL4Port)
        logger_printf(LOG_LEVEL_INFO, LOG_MOD_DOS, "Prevent Blat Attacks %s", state(enable));
}

void record(const UserPorts &set, int type, int enable) {
    for (int i = 0; i < ports(); i++) {
        if (!set.test(static_cast<size_t>(i))) continue;
        PortRecord &r = records[i];
        r.mask = enable ? r.mask | 1u << type : r.mask & ~(1u << type);
    }
}

// A switch-control type for all ports.
int control_apply(int type, int enable) {
    const int control = control_of(type);
    if (enable) {
        control_on(dxpSwitchDosAttackToCpu);
        control_on(dxpSwitchDosAttackV4FirstFrag);
    }
    // The chip's answer counts too: a port switched off beside the manager
    // leaves the type on for fewer than all ports, and one switched on beside
    // it shows, so switching the type off reaches every port.
    bool all_recorded = true, any_recorded = false;
    for (int i = 0; i < ports(); i++) {
        all_recorded = all_recorded && recorded(i, type);
        any_recorded = any_recorded || recorded(i, type);
    }
    const dos_reach shown = reach_of(type);
    if (enable ? all_recorded && shown == DOS_REACH_ALL : !any_recorded && shown == DOS_REACH_NONE)
        return 0;
    int rv = 0;
    // The four TCP-flag types share the control: one already on keeps it.
    if (control != dxpSwitchDosAttackIcmp && (!enable || !control_everywhere(control))) {
        rv = dxpx_switch_control_set(control, enable);
        // The multi-unit call passes over units without the service; when no
        // unit took the control, the check is not running.
        if (rv == 0 && enable && !control_everywhere(control)) rv = SOC_E_UNAVAIL;
    }
    // Not running, so not recorded (nor saved) as on.
    if (rv < 0 && enable) return failed(rv);
    control_log(control, enable);
    for (PortRecord &r : records)
        r.mask = enable ? r.mask | 1u << type : r.mask & ~(1u << type);
    return rv < 0 ? failed(rv) : rv;
}

// A switch-control type for some ports (a stored state the monitor made):
// their API controls, in one change per unit.
int control_ports_apply(const UserPorts &set, int type, int enable) {
    const int control = control_of(type);
    if (enable) {
        control_on(dxpSwitchDosAttackToCpu);
        control_on(dxpSwitchDosAttackV4FirstFrag);
    }
    int rv = 0;
    if (control != dxpSwitchDosAttackIcmp) rv = api_ports_set(set, control, enable);
    if (rv < 0 && enable) return failed(rv);
    control_log(control, enable);
    record(set, type, enable);
    return rv < 0 ? failed(rv) : rv;
}

void entry_destroy(int entry) {
    dxp_field_entry_remove(kUnit, entry);
    dxp_field_entry_destroy(kUnit, entry);
}

// One rule, made into `made` as soon as it exists (so that a failure can
// destroy it); node_mask 0 leaves the ingress port out of the match.
int rule_add(const RuleType &t, int rate, int k, const dos_port_node &n, std::vector<int> &made) {
    dxp_field_qset_t q{};
    if (n.mask != 0) dxp_field_qset_add(&q, dxpFieldQualifySrcPort);
    if (t.type == DOS_ATTACK_SYN_FLOOD) {
        dxp_field_qset_add(&q, dxpFieldQualifyTcpControl);
    } else {
        dxp_field_qset_add(&q, dxpFieldQualifyIpProtocol);
        if (t.type == DOS_ATTACK_SMURF) dxp_field_qset_add(&q, dxpFieldQualifyDstIp);
    }
    int group = 0, entry = 0;
    if (int rv = dxp_field_group_create(kUnit, q, kRulePrio, &group); rv < 0) return rv;
    group_id = group;
    if (int rv = dxp_field_entry_create(kUnit, group, &entry); rv < 0) return rv;
    made.push_back(entry);
    int rv = dxp_field_entry_prio_set(
        kUnit, entry, t.type == DOS_ATTACK_SMURF ? kSmurfEntryPrio : kFloodEntryPrio);
    // Placing a rule needs a free row; without one the rule does not fit.
    if (rv == SOC_E_CONFIG) rv = SOC_E_RESOURCE;
    if (rv == 0 && n.mask != 0)
        rv = dxp_field_qualify_SrcPort(kUnit, entry, 0, -1, n.value, n.mask);
    if (rv == 0 && t.type == DOS_ATTACK_SYN_FLOOD)
        rv = dxp_field_qualify_TcpControl(kUnit, entry, k == 0 ? kTcpSyn : kTcpSynAck,
                                          kTcpFlagsMask);
    else if (rv == 0)
        rv = dxp_field_qualify_IpProtocol(kUnit, entry, kProtoIcmp, 0xff);
    if (rv == 0 && t.type == DOS_ATTACK_SMURF)
        rv = dxp_field_qualify_DstIp(kUnit, entry, 0x000000ff, 0x000000ff);
    if (rv == 0 && t.type == DOS_ATTACK_SMURF)
        rv = dxp_field_action_add(kUnit, entry, dxpFieldActionDrop, 0, 0);
    if (rv == 0 && t.type != DOS_ATTACK_SMURF) {
        rv = dxp_field_action_add(kUnit, entry, dxpFieldActionRpDrop, 0, 0);
        if (rv == 0) rv = dxp_field_meter_create(kUnit, entry);
        if (rv == 0)
            rv = dxp_field_meter_set(kUnit, entry, kMeterPeak, static_cast<uint32_t>(rate),
                                     kBurstKbits);
    }
    if (rv == 0) rv = dxp_field_counter_create(kUnit, entry);
    if (rv == 0) rv = dxp_field_entry_install(kUnit, entry);
    return rv;
}

int rules_per_node(const RuleType &t) {
    return t.type == DOS_ATTACK_SYN_FLOOD ? 2 : 1;
}

// The value/mask nodes that cover a set's ports.
std::vector<dos_port_node> nodes_of(const RuleSet &s) {
    if (s.ports != 0 && std::popcount(s.ports) == ports()) return {{.value = 0, .mask = 0}};
    return s.ports != 0 ? dos_port_node_list(s.ports) : std::vector<dos_port_node>{};
}

// Whether the set's installed rules of the node stay: same node, same rate.
bool kept(const RuleSet &s, const dos_port_node &n) {
    return s.built_rate == s.rate && std::find(s.nodes.begin(), s.nodes.end(), n) != s.nodes.end();
}

// The set now runs the rules of `want`: kept nodes keep their rows, new ones
// take those just made, and the rules of the nodes left out go.
void set_commit(const RuleType &t, RuleSet &s, const std::vector<dos_port_node> &want,
                const std::vector<int> &made) {
    const auto per_node = static_cast<size_t>(rules_per_node(t));
    std::vector<int> entries;
    size_t next = 0;
    for (const dos_port_node &n : want) {
        const auto old = std::find(s.nodes.begin(), s.nodes.end(), n);
        const auto first = kept(s, n)
                               ? s.entries.begin() +
                                     (old - s.nodes.begin()) * static_cast<std::ptrdiff_t>(per_node)
                               : made.begin() + static_cast<std::ptrdiff_t>(next);
        entries.insert(entries.end(), first, first + static_cast<std::ptrdiff_t>(per_node));
        if (!kept(s, n)) next += per_node;
    }
    for (size_t i = 0; i < s.nodes.size(); i++) {
        if (kept(s, s.nodes[i]) && std::find(want.begin(), want.end(), s.nodes[i]) != want.end())
            continue;
        for (size_t k = 0; k < per_node; k++)
            entry_destroy(s.entries[i * per_node + k]);
    }
    s.nodes = want;
    s.entries = std::move(entries);
    s.built_rate = s.rate;
}

// A rule type's change of the ports in `set`: the sets as they were, and
// the rules made for the new sets beside the installed ones.
struct Change {
    Change(const UserPorts &s, int t, int on, int r)
        : set(s), all(s == every_port()), type(t), enable(on), rate(r) {}
    UserPorts set;
    bool all;
    int type, enable, rate;
    bool act = false;
    RuleSet before[2];  // ports and rate
    std::vector<dos_port_node> want[2];
    std::vector<int> made[2];
};

// Makes the new rules of the type's sets; nothing the chip runs goes yet.
int rules_make(RuleType &t, Change &c) {
    for (int i = 0; i < 2; i++) {
        const RuleSet &s = t.set[i];
        c.want[i] = nodes_of(s);
        for (const dos_port_node &n : c.want[i]) {
            if (kept(s, n)) continue;
            for (int k = 0; k < rules_per_node(t); k++)
                if (int rv = rule_add(t, s.rate, k, n, c.made[i]); rv < 0) return rv;
        }
    }
    return 0;
}

// The port sets after a change of the ports in `set`; `all` stands for
// every port, which empties the other set of a flood.
void sets_update(RuleType &t, const UserPorts &set, bool all, int enable, int rate) {
    const uint64_t bits = port_bits(set);
    RuleSet &a = t.set[0], &b = t.set[1];
    if (!enable) {
        a.ports &= ~bits;
        b.ports &= ~bits;
        return;
    }
    const bool second = flood(t.type) && rate != DOS_FLOOD_RATE;
    RuleSet &in = second ? b : a, &out = second ? a : b;
    if (all) in.ports = 0;
    in.ports |= bits;
    out.ports &= ~bits;
    if (all) out.ports = 0;
    in.rate = flood(t.type) ? rate : 0;
}

bool differs(int index, int type, int enable, int rate) {
    const PortRecord &r = records[index];
    const bool on = (r.mask >> type) & 1;
    if (!enable) return on;
    return !on || (flood(type) && r.rate[type] != static_cast<uint32_t>(rate));
}

void rule_log(const UserPorts &set, bool all, int type, int enable) {
    const char *name = dos_attack_name(type);
    if (all) {
        logger_printf(LOG_LEVEL_INFO, LOG_MOD_DOS, "Prevent %s %s for all ports", name,
                      state(enable));
        return;
    }
    for (int u = 1; u <= ports(); u++)
        if (member(set, u))
            logger_printf(LOG_LEVEL_INFO, LOG_MOD_DOS, "Prevent %s %s for port %d", name,
                          state(enable), u);
}

// The new rules of a rule type's change, made beside the installed ones,
// which keep running. The new rows are made before any old one goes, so a
// change the field processor refuses leaves every rule, and every port's
// protection, as it was; only the rows of nodes that change are written.
int change_prepare(Change &c) {
    c.act = false;
    for (int i = 0; i < ports() && !c.act; i++)
        c.act = c.set.test(static_cast<size_t>(i)) && differs(i, c.type, c.enable, c.rate);
    if (!c.act) return 0;
    RuleType &t = *rule_type(c.type);
    for (int i = 0; i < 2; i++) {
        c.before[i].ports = t.set[i].ports;
        c.before[i].rate = t.set[i].rate;
    }
    sets_update(t, c.set, c.all, c.enable, c.rate);
    return rules_make(t, c);
}

// A refused change changes nothing, on or off: its new rules go, the sets
// are as they were, and the ports it did not name keep their protection.
void change_undo(Change &c) {
    if (!c.act) return;
    for (const std::vector<int> &m : c.made)
        for (int e : m)
            entry_destroy(e);
    RuleType &t = *rule_type(c.type);
    for (int i = 0; i < 2; i++) {
        t.set[i].ports = c.before[i].ports;
        t.set[i].rate = c.before[i].rate;
    }
}

// The change runs: the new rules in place of the old, and the records.
void change_commit(const Change &c) {
    // Only a change that runs turns the chip's control on: a refused one
    // leaves the registers as they were.
    if (c.enable) control_on(dxpSwitchDosAttackToCpu);
    if (!c.act) return;
    RuleType &t = *rule_type(c.type);
    for (int i = 0; i < 2; i++)
        set_commit(t, t.set[i], c.want[i], c.made[i]);
    const UserPorts &set = c.set;
    const int type = c.type, enable = c.enable, rate = c.rate;
    rule_log(set, c.all, type, enable);
    record(set, type, enable);
    for (int i = 0; i < ports(); i++)
        if (set.test(static_cast<size_t>(i)))
            records[i].rate[type] = static_cast<uint32_t>(enable ? rate : 0);
    if (flood(type) && enable && rate != DOS_FLOOD_RATE) {
        // The second set has one meter rate: its other ports follow the latest.
        uint64_t bit = 0;
        for (int i = 0; i < ports(); i++)
            if (port_bit(i + 1, &bit) && (t.set[1].ports & bit) != 0)
                records[i].rate[type] = static_cast<uint32_t>(rate);
    }
}

// A rule type for the ports of the set, its rules rebuilt once.
int rule_apply(const UserPorts &set, bool all, int type, int enable, int rate) {
    Change c(set, type, enable, rate);
    c.all = all;
    if (const int rv = change_prepare(c); rv < 0) {
        change_undo(c);
        return failed(rv);
    }
    change_commit(c);
    return 0;
}

// Checks a request; 0 or -4 after the log line of an unknown type.
int request_check(int type, int enable, int rate) {
    if (type < 0 || type >= DOS_ATTACK_TYPES) {
        logger_printf(LOG_LEVEL_WARNING, LOG_MOD_DOS, "Unsupported DoS attack (0x%x)\n",
                      static_cast<unsigned>(type));
        return SOC_E_PARAM;
    }
    if (enable && flood(type) && (rate < kRateMin || rate > kRateMax)) return SOC_E_PARAM;
    return 0;
}

// One type for the ports of a checked request. The check of the records
// and the change are one step for each caller, and one hold of the API
// lock: a monitor busy with the API does not get in between each of the
// many calls of a rule rebuild.
int attack_apply(const UserPorts &set, int type, int enable, int rate) {
    const bool all = set == every_port();
    Guard g;
    DxpUnitLock api(kUnit);
    if (rule_type(type) != nullptr) {
        const int rv = rule_apply(set, all, type, enable, rate);
        if (rv == 0 && !enable) api_ports_off(set, type);
        return rv;
    }
    if (control_of(type) < 0) return 0;
    return all ? control_apply(type, enable) : control_ports_apply(set, type, enable);
}

}  // namespace

std::vector<dos_port_node> dos_port_node_list(uint64_t ports) {
    std::vector<dos_port_node> nodes;
    for (int p = 0; p < 64; p++)
        if ((ports >> p) & 1) nodes.push_back({.value = p, .mask = 63});
    // Two nodes that differ in one bit only become one that ignores it.
    for (int b = 1; b <= 32; b <<= 1) {
        for (size_t i = 0; i < nodes.size(); i++) {
            for (size_t j = i + 1; j < nodes.size(); j++) {
                if (nodes[j].mask != nodes[i].mask || (nodes[i].value ^ nodes[j].value) != b)
                    continue;
                nodes[i].value &= ~b;
                nodes[i].mask &= ~b;
                nodes.erase(nodes.begin() + static_cast<std::ptrdiff_t>(j));
                break;
            }
        }
    }
    return nodes;
}

int dos_init(void) {
    if (dos_lock() == nullptr) logger_puts(LOG_LEVEL_ERROR, LOG_MOD_DOS, "Mutex create failed!");
    Guard g;
    std::memset(records, 0, sizeof records);
    // A new unit has none of the old rules; forget their ids.
    for (RuleType *t : {&smurf, &ping, &syn})
        for (RuleSet &s : t->set)
            s = RuleSet{};
    group_id = 0;
    dxp_field_qset_t q{};
    for (int qual : {dxpFieldQualifyEtherType, dxpFieldQualifyDstIp, dxpFieldQualifyIpProtocol,
                     dxpFieldQualifySrcPort, dxpFieldQualifyTcpControl})
        dxp_field_qset_add(&q, qual);
    int group = 0;
    if (dxp_field_group_create(kUnit, q, kGroupPrio, &group) == 0) group_id = group;
    return 0;
}

int dos_attack_set(int uport, int type, int enable, int rate) {
    enable = enable != 0 ? 1 : 0;
    if (int rv = request_check(type, enable, rate); rv < 0) return rv;
    if (uport != -1 && (uport < 1 || uport > ports())) return SOC_E_PARAM;
    UserPorts set = every_port();
    // The switch-control types act on all ports whichever port is named.
    if (uport != -1 && rule_type(type) != nullptr) {
        set.reset();
        set.set(static_cast<size_t>(uport - 1));
    }
    return attack_apply(set, type, enable, rate);
}

int dos_attack_set_checks(int uport, const dos_check *checks, int count, int *refused) {
    if (refused != nullptr) *refused = -1;
    if (checks == nullptr || count < 0 || count > DOS_ATTACK_TYPES) return SOC_E_PARAM;
    if (uport != -1 && (uport < 1 || uport > ports())) return SOC_E_PARAM;
    UserPorts set = every_port();
    if (uport != -1) {
        set.reset();
        set.set(static_cast<size_t>(uport - 1));
    }
    std::vector<Change> changes;
    for (int i = 0; i < count; i++) {
        const dos_check &k = checks[i];
        const int enable = k.enable != 0 ? 1 : 0;
        if (int rv = request_check(k.type, enable, k.rate); rv < 0) return rv;
        // One change per rule type.
        const bool twice = std::any_of(changes.begin(), changes.end(),
                                       [&](const Change &c) { return c.type == k.type; });
        if (rule_type(k.type) == nullptr || twice) return SOC_E_PARAM;
        changes.emplace_back(set, k.type, enable, k.rate);
    }
    Guard g;
    DxpUnitLock api(kUnit);
    // Every check's rules are made before any change runs.
    for (Change &c : changes) {
        if (const int rv = change_prepare(c); rv < 0) {
            for (Change &u : changes)
                change_undo(u);
            if (refused != nullptr) *refused = c.type;
            return failed(rv);
        }
    }
    for (const Change &c : changes) {
        change_commit(c);
        if (!c.enable) api_ports_off(set, c.type);
    }
    return 0;
}

const char *dos_attack_name(int type) {
    switch (type) {
        case DOS_ATTACK_SMURF:
            return "Smurf Attacks";
        case DOS_ATTACK_PING_FLOOD:
            return "Ping Flood";
        case DOS_ATTACK_SYN_FLOOD:
            return "SYN Flood";
        default:
            return "DoS prevention";
    }
}

int dos_attack_set_ports(const upbmp_t *uports, int type, int enable, int rate) {
    enable = enable != 0 ? 1 : 0;
    if (int rv = request_check(type, enable, rate); rv < 0) return rv;
    if (uports == nullptr) return SOC_E_PARAM;
    UserPorts set;
    for (int u = 1; u <= ports(); u++)
        if (upbmp_test(uports, u)) set.set(static_cast<size_t>(u - 1));
    if (set.none()) return 0;
    return attack_apply(set, type, enable, rate);
}

void dos_attack_get(int uport, int type, int *enabled, int *rate) {
    *enabled = 0;
    *rate = 0;
    const int index = uport == -1 ? 0 : uport - 1;
    if (type < 0 || type >= DOS_ATTACK_TYPES || index < 0 || index >= kMaxPorts) return;
    Guard g;
    DxpUnitLock api(kUnit);  // the read-backs as one step
    *enabled = static_cast<int>((records[index].mask >> type) & 1);
    *rate = static_cast<int>(records[index].rate[type]);
    if (control_of(type) >= 0) {
        // For all ports: on where every port has it.
        *enabled =
            (uport == -1 ? reach_of(type) == DOS_REACH_ALL : control_type_on(index, type)) ? 1 : 0;
    } else if (rule_type(type) != nullptr && *enabled == 0 && index < ports() &&
               api_port_on(index + 1, type)) {
        // Switched on for the port through the API, whose meters run at the
        // first set's rate.
        *enabled = 1;
        *rate = flood(type) ? DOS_FLOOD_RATE : 0;
    }
}

dos_reach dos_attack_reach(int type) {
    if (type < 0 || type >= DOS_ATTACK_TYPES) return DOS_REACH_NONE;
    Guard g;
    DxpUnitLock api(kUnit);
    return reach_of(type);
}

void dos_attack_reset(void) {
    for (int t = 0; t < DOS_ATTACK_TYPES; t++)
        dos_attack_set(-1, t, 0, 0);
    // What was switched on beside the manager for some ports only goes too.
    Guard g;
    dxpx_switch_control_set(dxpSwitchDosAttackToCpu, 0);
}

int dos_group_get(void) {
    return group_id.load();
}
