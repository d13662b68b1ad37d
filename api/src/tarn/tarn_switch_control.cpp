// Switch controls of the family: the DoS-attack types are built from
// field-processor entries kept in one system-wide table of records per port,
// the "to CPU" types toggle bits of the driver's trap mask.
#include <algorithm>
#include <array>
#include <bit>
#include <vector>

#include "dxp.h"
#include "dxp_tarn.h"
#include "port_reserve.h"
#include "sal_lock.h"
#include "soc_property.h"
#include "tarn_field_internal.h"
#include "tarn_internal.h"
#include "tarn_switch_control.h"

namespace {

using tarn::services;

constexpr int kDosPorts = 53;
constexpr int kSrcPortBits = 6;
constexpr uint32_t kSrcPortMask = (1u << kSrcPortBits) - 1;

// The per-port state of the DoS types; the entries that realise a type live
// with the type, built for exactly the ports whose record has its flag.
struct dos_fp_record {
    uint32_t flags;
    int group;
};

// Shared by all units, so the unit's API lock alone does not guard them:
// dos_lock does, taken inside the API lock of the calling unit (the rules
// re-enter only that unit's field stubs). It also guards dos_rules.
std::array<dos_fp_record, kDosPorts> dos_fp_table{};
uint8_t dos_min_tcp_hdr_size = 5;

sal_mutex_t dos_lock() {
    static sal_mutex_t m = sal_mutex_create("dos_fp_table");
    return m;
}

// The calling unit's API lock, then the table's.
class DosLocked {
  public:
    explicit DosLocked(int unit) : api_(unit), table_(dos_lock()) {}

  private:
    DxpUnitLock api_;
    SalLock table_;
};

constexpr uint32_t kDosOn = 0x1;
constexpr uint32_t kFirstFragOn = 0x4;

// A DoS type realised by field entries: its flag bit and entries per port set.
struct DosType {
    int type;
    uint32_t flag;
    int count;
    bool metered;
    int action;
};
constexpr DosType kDosTypes[] = {
    {dxpSwitchDosAttackSipEqualDip, 0x2, 1, false, dxpFieldActionDrop},
    {dxpSwitchDosAttackTcpFlags, 0x8, 4, false, dxpFieldActionDrop},
    {dxpSwitchDosAttackL4Port, 0x10, 1, false, dxpFieldActionDrop},
    {dxpSwitchDosAttackTcpFrag, 0x20, 1, false, dxpFieldActionDrop},
    {dxpSwitchDosAttackPingFlood, 0x40, 1, true, dxpFieldActionRpDrop},
    {dxpSwitchDosAttackSynFlood, 0x80, 2, true, dxpFieldActionRpDrop},
    {dxpSwitchDosAttackTcpSmurf, 0x100, 1, false, dxpFieldActionDrop},
};
constexpr int kDosTypeCount = static_cast<int>(std::size(kDosTypes));
static_assert(dxpFieldActionDrop == 28 && dxpFieldActionRpDrop == 41);
static_assert(dxpSwitchIgmpToCPU == 166 && dxpSwitchBcstToCPU == 169);
static_assert(dxpSwitchDosAttackToCpu == 59 && dxpSwitchDosAttackTcpFrag == 65 &&
              dxpSwitchDosAttackPingFlood == 77 && dxpSwitchDosAttackTcpSmurf == 79);

// A value/mask pair of a key field.
struct KeyNode {
    uint32_t value;
    uint32_t mask;
    bool operator==(const KeyNode &) const = default;
};

// What is installed for one type: its group, entries and port range. The
// entries come in runs of the type's entries per port node, node by node.
struct DosRule {
    int group = 0;
    bool own_group = false;  // made for the rule, not another user's group it shares
    bool any_port = false;   // the group has no port qualifier
    int range = 0;
    std::vector<KeyNode> nodes;
    std::vector<int> entries;
};
std::array<DosRule, kDosTypeCount> dos_rules{};

const DosType *dos_type(int type) {
    for (const DosType &t : kDosTypes)
        if (t.type == type) return &t;
    return nullptr;
}

DosRule &rule_of(const DosType &t) {
    return dos_rules[static_cast<size_t>(&t - kDosTypes)];
}

bool dos_control(int type) {
    return (type >= dxpSwitchDosAttackToCpu && type <= dxpSwitchDosAttackTcpFrag) ||
           (type >= dxpSwitchDosAttackPingFlood && type <= dxpSwitchDosAttackTcpSmurf);
}

bool dos_port_valid(int port) {
    return port >= -1 && port < kDosPorts;
}

bool unit_port(int unit, int port) {
    return soc_pbmp_member(SOC_CONTROL(unit)->port.bitmap, port);
}

// A type counts as on for the whole switch when every port of the unit has it.
bool on_everywhere(int unit, uint32_t flag) {
    for (int port = 0; port < kDosPorts; port++)
        if (unit_port(unit, port) && (dos_fp_table[port].flags & flag) == 0) return false;
    return true;
}

// Covers the values of `want` with aligned blocks of a `bits`-wide field;
// values outside `care` may fall into a block or not.
void cover(uint64_t want, uint64_t care, int bits, uint32_t value, int free_bits,
           std::vector<KeyNode> *out) {
    const uint32_t size = 1u << free_bits;
    const uint64_t block = size >= 64 ? ~uint64_t{0} : ((uint64_t{1} << size) - 1) << value;
    if ((want & care & block) == 0) return;
    if ((care & block & ~want) == 0) {
        const uint32_t all = (1u << bits) - 1;
        out->push_back({value, all & ~((1u << free_bits) - 1)});
        return;
    }
    cover(want, care, bits, value, free_bits - 1, out);
    cover(want, care, bits, value | (1u << (free_bits - 1)), free_bits - 1, out);
}

// The TCP header sizes (in words) below the minimum.
std::vector<KeyNode> short_tcp_headers() {
    constexpr int kBits = 4;
    const int below = dos_min_tcp_hdr_size > 16 ? 16 : dos_min_tcp_hdr_size;
    const uint64_t want = (uint64_t{1} << below) - 1;
    std::vector<KeyNode> nodes;
    cover(want, 0xffff, kBits, 0, kBits, &nodes);
    return nodes;
}

void add_qualifiers(dxp_field_qset_t *q, int type) {
    switch (type) {
        case dxpSwitchDosAttackSipEqualDip:
            dxp_field_qset_add(q, dxpFieldQualifySrcIpEqualDstIp);
            break;
        case dxpSwitchDosAttackTcpFlags:
            dxp_field_qset_add(q, dxpFieldQualifyRangeCheck);
            dxp_field_qset_add(q, dxpFieldQualifyTcpControl);
            break;
        case dxpSwitchDosAttackL4Port:
            dxp_field_qset_add(q, dxpFieldQualifyEqualL4Port);
            dxp_field_qset_add(q, dxpFieldQualifyIpProtocol);
            break;
        case dxpSwitchDosAttackTcpFrag:
            dxp_field_qset_add(q, dxpFieldQualifyTcpHeaderSize);
            break;
        case dxpSwitchDosAttackPingFlood:
            dxp_field_qset_add(q, dxpFieldQualifyIpProtocol);
            break;
        case dxpSwitchDosAttackSynFlood:
            dxp_field_qset_add(q, dxpFieldQualifyTcpControl);
            break;
        default:  // smurf
            dxp_field_qset_add(q, dxpFieldQualifyDstIp);
            dxp_field_qset_add(q, dxpFieldQualifyIpProtocol);
            break;
    }
}

constexpr uint8_t kTcpSyn = 0x02, kTcpSynAck = 0x12, kTcpFinPshUrg = 0x29, kTcpSynFin = 0x03;
constexpr uint8_t kTcpFlagsMask = 0x3f;
constexpr uint8_t kProtoIcmp = 1, kProtoTcp = 6;

// How many entries one port set of a type takes.
int entries_per_set(const DosType &t) {
    if (t.type == dxpSwitchDosAttackTcpFrag) return static_cast<int>(short_tcp_headers().size());
    return t.count;
}

// The own qualifiers of entry k of a type.
int qualify(int unit, int entry, const DosType &t, DosRule &rule, int k) {
    switch (t.type) {
        case dxpSwitchDosAttackSipEqualDip:
            return dxp_field_qualify_SrcIpEqualDstIp(unit, entry, 1);
        case dxpSwitchDosAttackTcpFlags: {
            static constexpr uint8_t kFlags[] = {kTcpSyn, 0x00, kTcpFinPshUrg, kTcpSynFin};
            if (int rv = dxp_field_qualify_TcpControl(unit, entry, kFlags[k], kTcpFlagsMask);
                rv < 0 || k != 0)
                return rv;
            // SYN from a well-known source port; one range serves every set.
            if (rule.range == 0)
                if (int rv = dxp_field_range_create(unit, &rule.range, 1, 0, 1023); rv < 0)
                    return rv;
            return dxp_field_qualify_RangeCheck(unit, entry, rule.range, 1);
        }
        case dxpSwitchDosAttackL4Port:
            if (int rv = dxp_field_qualify_EqualL4Port(unit, entry, 1); rv < 0) return rv;
            return dxp_field_qualify_IpProtocol(unit, entry, kProtoTcp, 0xff);
        case dxpSwitchDosAttackTcpFrag: {
            const KeyNode n = short_tcp_headers().at(static_cast<size_t>(k));
            return dxp_field_qualify_TcpHeaderSize(unit, entry, static_cast<uint8_t>(n.value),
                                                   static_cast<uint8_t>(n.mask));
        }
        case dxpSwitchDosAttackPingFlood:
            return dxp_field_qualify_IpProtocol(unit, entry, kProtoIcmp, 0xff);
        case dxpSwitchDosAttackSynFlood:
            return dxp_field_qualify_TcpControl(unit, entry, k == 0 ? kTcpSyn : kTcpSynAck,
                                                kTcpFlagsMask);
        default:  // smurf: ICMP to a broadcast host part
            if (int rv = dxp_field_qualify_IpProtocol(unit, entry, kProtoIcmp, 0xff); rv < 0)
                return rv;
            return dxp_field_qualify_DstIp(unit, entry, 0xff, 0xff);
    }
}

// Chips with the CFP match the ingress port with SrcPort (qualifier 0 of
// every slice), so a per-port entry acts on its port only.
bool port_by_inports(int unit) {
    return (SOC_CONTROL(unit)->chip_flags &
            (SOC_CHIP_DXP7105 | SOC_CHIP_DXP7106 | SOC_CHIP_DXP7101)) == 0 &&
           (SOC_CONTROL(unit)->chip_flags & SOC_CHIP_DXP71090) != 0;
}

// The port matches of the ports whose record has the flag: none when every
// port of the unit has it, one bitmap, or source-port blocks. The key counts
// the ports from 24 on the chips that shift them.
std::vector<KeyNode> port_nodes(int unit, uint32_t flag, bool *any_port) {
    *any_port = on_everywhere(unit, flag);
    if (*any_port) return {KeyNode{0, 0}};
    const uint32_t shift = (SOC_CONTROL(unit)->chip_flags & SOC_CHIP_DXP7106) != 0 ? 24 : 0;
    uint64_t want = 0, care = 0;
    for (int port = 0; port < kDosPorts; port++) {
        if (!unit_port(unit, port)) continue;
        const uint64_t bit = uint64_t{1} << ((static_cast<uint32_t>(port) + shift) & kSrcPortMask);
        care |= bit;
        if (dos_fp_table[port].flags & flag) want |= bit;
    }
    if (want == 0) return {};
    if (port_by_inports(unit)) return {KeyNode{static_cast<uint32_t>(want), 0}};
    std::vector<KeyNode> nodes;
    cover(want, care, kSrcPortBits, 0, kSrcPortBits, &nodes);
    for (KeyNode &n : nodes)
        n.value -= shift;  // the driver adds the shift back
    return nodes;
}

int qualify_ports(int unit, int entry, const KeyNode &n) {
    if (!port_by_inports(unit))
        return dxp_field_qualify_SrcPort(unit, entry, 0, -1, static_cast<int>(n.value),
                                         static_cast<int>(n.mask));
    dxp_pbmp_t data{};
    data.w[0] = n.value;
    return dxp_field_qualify_InPorts(unit, entry, data,
                                     tarn::to_dxp(SOC_CONTROL(unit)->port.bitmap));
}

// The ids of the unit's field groups.
std::vector<int> group_ids(int unit) {
    std::vector<int> ids;
    tarn::field::Control *fc = nullptr;
    if (tarn::field::checks(__func__, unit, &fc) < 0) return ids;
    sal_mutex_take(fc->lock, sal_mutex_FOREVER);
    for (const tarn::field::Group *g = fc->groups; g != nullptr; g = g->next)
        ids.push_back(g->id);
    sal_mutex_give(fc->lock);
    return ids;
}

// Removes what a type installed. An id the field module no longer knows
// counts as gone.
int rule_clear(int unit, DosRule &rule) {
    while (!rule.entries.empty()) {
        if (int rv = dxp_field_entry_destroy(unit, rule.entries.back());
            rv < 0 && rv != DXP_E_NOT_FOUND)
            return rv;
        rule.entries.pop_back();
    }
    if (rule.range != 0) dxp_field_range_destroy(unit, rule.range);
    if (rule.group != 0 && rule.own_group) dxp_field_group_destroy(unit, rule.group);
    rule = DosRule{};
    return DXP_E_NONE;
}

// Installs the entries of one port node.
int node_add(int unit, const DosType &t, DosRule &rule, const KeyNode &n, int per_set) {
    rule.nodes.push_back(n);
    for (int k = 0; k < per_set; k++) {
        int entry = 0;
        if (int rv = dxp_field_entry_create(unit, rule.group, &entry); rv < 0) return rv;
        rule.entries.push_back(entry);
        if (int rv = dxp_field_entry_prio_set(unit, entry, -1); rv < 0) return rv;
        if (!rule.any_port)
            if (int rv = qualify_ports(unit, entry, n); rv < 0) return rv;
        if (int rv = qualify(unit, entry, t, rule, k); rv < 0) return rv;
        if (t.metered) {
            if (int rv = dxp_field_meter_create(unit, entry); rv < 0) return rv;
            if (int rv = dxp_field_meter_set(unit, entry, 2, 64, 1024); rv < 0) return rv;
        }
        if (int rv = dxp_field_action_add(unit, entry, t.action, 0, 0); rv < 0) return rv;
        if (int rv = dxp_field_counter_create(unit, entry); rv < 0) return rv;
        if (int rv = dxp_field_entry_install(unit, entry); rv < 0) return rv;
    }
    return DXP_E_NONE;
}

// Removes the entries of the installed nodes that `keep` lacks; each entry
// that goes frees its field-processor row, the others stay where they are.
int nodes_drop(int unit, DosRule &rule, const std::vector<KeyNode> &keep, int per_set) {
    std::vector<KeyNode> nodes;
    std::vector<int> entries;
    for (size_t i = 0; i < rule.nodes.size(); i++) {
        const auto first = rule.entries.begin() + static_cast<std::ptrdiff_t>(i) * per_set;
        if (std::find(keep.begin(), keep.end(), rule.nodes[i]) != keep.end()) {
            nodes.push_back(rule.nodes[i]);
            entries.insert(entries.end(), first, first + per_set);
            continue;
        }
        for (auto e = first; e != first + per_set; e++) {
            if (int rv = dxp_field_entry_destroy(unit, *e); rv < 0 && rv != DXP_E_NOT_FOUND) {
                rule.nodes.clear();  // the next build starts anew
                return rv;
            }
        }
    }
    rule.nodes = std::move(nodes);
    rule.entries = std::move(entries);
    return DXP_E_NONE;
}

// Installs a type's entries for the ports whose record has its flag. The
// entries of port nodes that stay are kept; a change between "every port"
// and some ports, or a new entry count per node, builds the type anew.
int rule_build(int unit, const DosType &t) {
    DosRule &rule = rule_of(t);
    bool any_port = false;
    const std::vector<KeyNode> ports = port_nodes(unit, t.flag, &any_port);
    const int per_set = entries_per_set(t);
    if (ports.empty() || per_set == 0) return rule_clear(unit, rule);
    const bool keeps = rule.group != 0 && rule.any_port == any_port &&
                       rule.entries.size() == rule.nodes.size() * static_cast<size_t>(per_set);
    if (!keeps) {
        if (int rv = rule_clear(unit, rule); rv < 0) return rv;
        dxp_field_qset_t q{};
        add_qualifiers(&q, t.type);
        if (!any_port)
            dxp_field_qset_add(
                &q, port_by_inports(unit) ? dxpFieldQualifyInPorts : dxpFieldQualifySrcPort);
        // Any priority lets the group share a slice's group that another
        // feature made; that one stays when the rule goes.
        const std::vector<int> before = group_ids(unit);
        if (int rv = dxp_field_group_create(unit, q, -1, &rule.group); rv < 0) return rv;
        rule.own_group = std::find(before.begin(), before.end(), rule.group) == before.end();
        rule.any_port = any_port;
    } else if (int rv = nodes_drop(unit, rule, ports, per_set); rv < 0) {
        return rv;
    }
    for (const KeyNode &n : ports) {
        if (std::find(rule.nodes.begin(), rule.nodes.end(), n) != rule.nodes.end()) continue;
        if (int rv = node_add(unit, t, rule, n, per_set); rv < 0) return rv;
    }
    return DXP_E_NONE;
}

bool type_on(int unit, int port, uint32_t flag) {
    if (port >= 0) return (dos_fp_table[port].flags & flag) != 0;
    return on_everywhere(unit, flag);
}

// The records of a set of ports, bit p for port p.
using RecordSet = uint64_t;
constexpr RecordSet kAllRecords = (RecordSet{1} << kDosPorts) - 1;

RecordSet records_of(int port) {
    return port < 0 ? kAllRecords : RecordSet{1} << port;
}

RecordSet unit_records(int unit) {
    RecordSet set = 0;
    for (int port = 0; port < kDosPorts; port++)
        if (unit_port(unit, port)) set |= RecordSet{1} << port;
    return set;
}

// A DoS change of a port a self-test holds is refused before anything
// changes (the caller is not that test): the port is noted for the caller.
bool dos_refused(int unit, RecordSet ports) {
    if (!port_reserve_any()) return false;
    for (int port = 0; port < kDosPorts; port++) {
        if (((ports >> port) & 1) == 0 || !unit_port(unit, port)) continue;
        if (!port_reserve_refuses(unit, port)) continue;
        port_reserve_note_refusal(unit, port);
        return true;
    }
    return false;
}

// The ports whose checks of the type a change would switch.
RecordSet dos_changed(int unit, RecordSet ports, uint32_t flag, bool enable) {
    const RecordSet asked = enable && ports == kAllRecords ? ports & unit_records(unit) : ports;
    RecordSet changed = 0;
    for (int port = 0; port < kDosPorts; port++)
        if (((asked >> port) & 1) != 0 && ((dos_fp_table[port].flags & flag) != 0) != enable)
            changed |= RecordSet{1} << port;
    return changed;
}

// Sets or clears a type for a set of ports and rebuilds its entries once
// for the ports that keep it; a change to nothing writes nothing. Switching
// on for all ports counts as done when every port of the unit has it. A
// failed rebuild leaves the flags as they were.
int dos_change(int unit, RecordSet ports, const DosType &t, bool enable) {
    if (dos_changed(unit, ports, t.flag, enable) == 0) return DXP_E_NONE;
    const std::array<dos_fp_record, kDosPorts> before = dos_fp_table;
    for (int port = 0; port < kDosPorts; port++) {
        if (((ports >> port) & 1) == 0) continue;
        uint32_t &flags = dos_fp_table[port].flags;
        flags = enable ? flags | t.flag : flags & ~t.flag;
    }
    const int rv = rule_build(unit, t);
    if (rv < 0) {
        dos_fp_table = before;
        rule_build(unit, t);
        return rv;
    }
    for (int port = 0; port < kDosPorts; port++)
        if ((ports >> port) & 1) dos_fp_table[port].group = rule_of(t).group;
    return DXP_E_NONE;
}

// Switching the DoS controls off removes every entry they installed before
// the bookkeeping forgets them.
int dos_clear(int unit) {
    for (DosRule &rule : dos_rules)
        if (int rv = rule_clear(unit, rule); rv < 0) return rv;
    dos_fp_table.fill(dos_fp_record{});
    return DXP_E_NONE;
}

constexpr uint32_t kTrapIgmp = 0x2, kTrapBpdu = 0x40, kTrap8021x = 0x800, kTrapBcst = 0x2000;

uint32_t trap_bit(int type) {
    switch (type) {
        case dxpSwitchIgmpToCPU:
            return kTrapIgmp;
        case dxpSwitchBpduToCPU:
            return kTrapBpdu;
        case dxpSwitch8021xToCPU:
            return kTrap8021x;
        case dxpSwitchBcstToCPU:
            return kTrapBcst;
        default:
            return 0;
    }
}

int trap_set(int unit, int type, int value) {
    uint32_t mask = 0;
    if (int rv = services(unit)->trap_get(unit, &mask); rv < 0) return rv;
    const uint32_t bit = trap_bit(type);
    if (bit == 0) return DXP_E_UNAVAIL;
    const uint32_t wanted = value != 0 ? mask | bit : mask & ~bit;
    if (wanted == mask) return DXP_E_NONE;
    soc_cm_debug_print(tarn::kDebugApi,
                       "dxp_tarn_switch_control_set():\n\t dxp_type=%d, drv_type=0x%x\n", type,
                       wanted);
    const int rv = services(unit)->trap_set(unit, wanted);
    return rv < 0 ? rv : DXP_E_NONE;
}

int trap_get(int unit, int type, int *value) {
    uint32_t mask = 0;
    if (int rv = services(unit)->trap_get(unit, &mask); rv < 0) return rv;
    const uint32_t bit = trap_bit(type);
    if (bit == 0) return DXP_E_UNAVAIL;
    if (value == nullptr) return DXP_E_PARAM;
    *value = (mask & bit) != 0 ? 1 : 0;
    soc_cm_debug_print(tarn::kDebugApi,
                       "dxp_tarn_switch_control_get():\n\t dxp_type=%d, drv_type=0x%x, arg=%d\n",
                       type, mask, *value);
    return DXP_E_NONE;
}

// No chip of the family has DoS services of its own: the field entries
// realise every DoS type.
int dos_route_set(int unit, int type, int value) {
    if (!soc_feature(unit, soc_feature_field)) return DXP_E_UNAVAIL;
    return dxp_tarn_switch_dos_fp_set(unit, -1, type, value);
}

int dos_route_get(int unit, int type, int *value) {
    if (!soc_feature(unit, soc_feature_field)) return DXP_E_UNAVAIL;
    return dxp_tarn_switch_dos_fp_get(unit, -1, type, value);
}

// The switch-control change of a set of ports, under the caller's locks.
int dos_fp_set_locked(int unit, RecordSet ports, int type, int value) {
    if (type != dxpSwitchDosAttackToCpu && (dos_fp_table[0].flags & kDosOn) == 0) return DXP_E_INIT;
    switch (type) {
        case dxpSwitchDosAttackToCpu:
            // Switching the checks off removes every port's entries.
            if (value == 0 && (dos_fp_table[0].flags & kDosOn) != 0 &&
                dos_refused(unit, kAllRecords))
                return DXP_E_BUSY;
            if (value == 0) return dos_clear(unit);
            if ((dos_fp_table[0].flags & kDosOn) == 0) dos_fp_table.fill(dos_fp_record{});
            for (dos_fp_record &r : dos_fp_table)
                r.flags |= kDosOn;
            return DXP_E_NONE;
        case dxpSwitchDosAttackMinTcpHdrSize: {
            dos_min_tcp_hdr_size = static_cast<uint8_t>(value);
            // Installed header-size entries follow the new minimum: their
            // header-size qualifiers all change.
            const DosType &frag = *dos_type(dxpSwitchDosAttackTcpFrag);
            if (std::none_of(dos_fp_table.begin(), dos_fp_table.end(),
                             [&](const dos_fp_record &r) { return (r.flags & frag.flag) != 0; }))
                return DXP_E_NONE;
            if (dos_refused(unit, dos_changed(unit, kAllRecords, frag.flag, false)))
                return DXP_E_BUSY;
            if (int rv = rule_clear(unit, rule_of(frag)); rv < 0) return rv;
            return rule_build(unit, frag);
        }
        case dxpSwitchDosAttackV4FirstFrag:
            for (dos_fp_record &r : dos_fp_table)
                r.flags = value != 0 ? r.flags | kFirstFragOn : r.flags & ~kFirstFragOn;
            return DXP_E_NONE;
        default:
            break;
    }
    const DosType *t = dos_type(type);
    if (t == nullptr) return DXP_E_UNAVAIL;
    if ((type == dxpSwitchDosAttackTcpFlags || type == dxpSwitchDosAttackTcpFrag) &&
        (dos_fp_table[static_cast<size_t>(std::countr_zero(ports))].flags & kFirstFragOn) == 0)
        return DXP_E_INIT;
    if (dos_refused(unit, dos_changed(unit, ports, t->flag, value != 0))) return DXP_E_BUSY;
    return dos_change(unit, ports, *t, value != 0);
}

}  // namespace

int dxp_tarn_switch_dos_fp_set(int unit, int port, int type, int value) {
    if (!dos_port_valid(port)) return DXP_E_PORT;
    DosLocked hold(unit);
    return dos_fp_set_locked(unit, records_of(port), type, value);
}

int dxp_tarn_switch_control_pbmp_set(int unit, dxp_pbmp_t pbmp, int type, int value) {
    if (!SOC_UNIT_VALID(unit) || !soc_unit_attached(unit)) return DXP_E_UNIT;
    if (!dos_control(type) || !soc_feature(unit, soc_feature_field)) return DXP_E_UNAVAIL;
    RecordSet ports = 0;
    for (int port = 0; port < DXP_PORTS_MAX; port++) {
        if (!dxp_pbmp_member(pbmp, port)) continue;
        if (!dos_port_valid(port)) return DXP_E_PORT;
        ports |= RecordSet{1} << port;
    }
    if (ports == 0) return DXP_E_NONE;
    DosLocked hold(unit);
    return dos_fp_set_locked(unit, ports, type, value);
}

int dxp_tarn_switch_dos_fp_get(int unit, int port, int type, int *value) {
    if (!dos_port_valid(port)) return DXP_E_PORT;
    if (value == nullptr) return DXP_E_PARAM;
    DosLocked hold(unit);
    uint32_t flag = 0;
    switch (type) {
        case dxpSwitchDosAttackMinTcpHdrSize:
            *value = dos_min_tcp_hdr_size;
            return DXP_E_NONE;
        case dxpSwitchDosAttackToCpu:
            flag = kDosOn;
            break;
        case dxpSwitchDosAttackV4FirstFrag:
            flag = kFirstFragOn;
            break;
        default:
            if (const DosType *t = dos_type(type)) {
                flag = t->flag;
                break;
            }
            return DXP_E_UNAVAIL;
    }
    // For the whole switch a type is on only where every port has it.
    *value = type_on(unit, port, flag) ? 1 : 0;
    return DXP_E_NONE;
}

int dxp_tarn_switch_control_set(int unit, int type, int arg) {
    soc_cm_debug_print(tarn::kDebugApi, "DXP API : dxp_tarn_switch_control_set()..\n");
    switch (type) {
        case dxpSwitchDosAttackToCpu:
        case dxpSwitchDosAttackMinTcpHdrSize:
        case dxpSwitchDosAttackV4FirstFrag:
            return dxp_tarn_switch_dos_fp_set(unit, -1, type, arg);
        default:
            if (dos_type(type) != nullptr) return dos_route_set(unit, type, arg);
            return trap_set(unit, type, arg);
    }
}

int dxp_tarn_switch_control_get(int unit, int type, int *arg) {
    soc_cm_debug_print(tarn::kDebugApi, "DXP API : dxp_tarn_switch_control_get()..\n");
    if (dos_control(type)) return dos_route_get(unit, type, arg);
    return trap_get(unit, type, arg);
}

int dxp_tarn_switch_control_port_set(int unit, int port, int type, int arg) {
    if (!dos_control(type) || !soc_feature(unit, soc_feature_field)) return DXP_E_UNAVAIL;
    return dxp_tarn_switch_dos_fp_set(unit, port, type, arg);
}

int dxp_tarn_switch_control_port_get(int unit, int port, int type, int *arg) {
    if (!dos_control(type) || !soc_feature(unit, soc_feature_field)) return DXP_E_UNAVAIL;
    return dxp_tarn_switch_dos_fp_get(unit, port, type, arg);
}

int dxp_tarn_switch_modid_port_get(int unit, int modid, int *port, uint32_t) {
    return dxp_modid_port_get(unit, modid, port);
}
