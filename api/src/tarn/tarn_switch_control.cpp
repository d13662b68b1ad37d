// Switch controls of the family: the DoS-attack types are built from
// field-processor entries kept in one system-wide table of records per port,
// the "to CPU" types toggle bits of the driver's trap mask.
#include <array>

#include "dxp.h"
#include "dxp_tarn.h"
#include "soc_property.h"
#include "tarn_internal.h"
#include "tarn_switch_control.h"

namespace {

using tarn::services;

constexpr int kDosPorts = 53;
constexpr int kDosEntries = 11;

struct dos_fp_record {
    uint32_t flags;
    int group;
    int entry[kDosEntries];
};

// Shared by all units; callers serialise (the DoS manager holds its lock).
std::array<dos_fp_record, kDosPorts> dos_fp_table{};
uint8_t dos_min_tcp_hdr_size = 5;

constexpr uint32_t kDosOn = 0x1;
constexpr uint32_t kFirstFragOn = 0x4;

// A DoS type realised by field entries: its flag bit and its entry slots.
struct DosType {
    int type;
    uint32_t flag;
    int first;
    int count;
    bool metered;
    int action;
};
constexpr DosType kDosTypes[] = {
    {dxpSwitchDosAttackSipEqualDip, 0x2, 0, 1, false, dxpFieldActionDrop},
    {dxpSwitchDosAttackTcpFlags, 0x8, 1, 4, false, dxpFieldActionDrop},
    {dxpSwitchDosAttackL4Port, 0x10, 5, 1, false, dxpFieldActionDrop},
    {dxpSwitchDosAttackTcpFrag, 0x20, 6, 1, false, dxpFieldActionDrop},
    {dxpSwitchDosAttackPingFlood, 0x40, 7, 1, true, dxpFieldActionRpDrop},
    {dxpSwitchDosAttackSynFlood, 0x80, 8, 2, true, dxpFieldActionRpDrop},
    {dxpSwitchDosAttackTcpSmurf, 0x100, 10, 1, false, dxpFieldActionDrop},
};
static_assert(dxpFieldActionDrop == 28 && dxpFieldActionRpDrop == 41);
static_assert(dxpSwitchIgmpToCPU == 166 && dxpSwitchBcstToCPU == 169);
static_assert(dxpSwitchDosAttackToCpu == 59 && dxpSwitchDosAttackTcpFrag == 65 &&
              dxpSwitchDosAttackPingFlood == 77 && dxpSwitchDosAttackTcpSmurf == 79);

const DosType *dos_type(int type) {
    for (const DosType &t : kDosTypes)
        if (t.type == type) return &t;
    return nullptr;
}

bool dos_control(int type) {
    return (type >= dxpSwitchDosAttackToCpu && type <= dxpSwitchDosAttackTcpFrag) ||
           (type >= dxpSwitchDosAttackPingFlood && type <= dxpSwitchDosAttackTcpSmurf);
}

bool dos_port_valid(int port) {
    return port >= -1 && port < kDosPorts;
}

dos_fp_record &record_of(int port) {
    return dos_fp_table[port < 0 ? 0 : port];
}

void for_records(int port, auto fn) {
    if (port >= 0) {
        fn(dos_fp_table[port]);
        return;
    }
    for (dos_fp_record &r : dos_fp_table)
        fn(r);
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

// The own qualifiers of entry k of a type.
int qualify(int unit, int entry, int type, int k) {
    switch (type) {
        case dxpSwitchDosAttackSipEqualDip:
            return dxp_field_qualify_SrcIpEqualDstIp(unit, entry, 1);
        case dxpSwitchDosAttackTcpFlags: {
            static constexpr uint8_t kFlags[] = {kTcpSyn, 0x00, kTcpFinPshUrg, kTcpSynFin};
            if (int rv = dxp_field_qualify_TcpControl(unit, entry, kFlags[k], kTcpFlagsMask);
                rv < 0 || k != 0)
                return rv;
            // SYN from a well-known source port.
            int range = 0;
            if (int rv = dxp_field_range_create(unit, &range, 1, 0, 1023); rv < 0) return rv;
            return dxp_field_qualify_RangeCheck(unit, entry, range, 1);
        }
        case dxpSwitchDosAttackL4Port:
            if (int rv = dxp_field_qualify_EqualL4Port(unit, entry, 1); rv < 0) return rv;
            return dxp_field_qualify_IpProtocol(unit, entry, kProtoTcp, 0xff);
        case dxpSwitchDosAttackTcpFrag:
            return dxp_field_qualify_TcpHeaderSize(unit, entry, dos_min_tcp_hdr_size, 0xf);
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

int qualify_port(int unit, int entry, int port) {
    if (!port_by_inports(unit)) return dxp_field_qualify_SrcPort(unit, entry, 0, -1, port, -1);
    return dxp_field_qualify_InPorts(unit, entry, tarn::to_dxp(tarn::port_bitmap(port)),
                                     tarn::to_dxp(SOC_CONTROL(unit)->port.bitmap));
}

int dos_enable(int unit, int port, const DosType &t) {
    dxp_field_qset_t q{};
    add_qualifiers(&q, t.type);
    if (port >= 0)
        dxp_field_qset_add(&q,
                           port_by_inports(unit) ? dxpFieldQualifyInPorts : dxpFieldQualifySrcPort);
    int group = 0;
    if (int rv = dxp_field_group_create(unit, q, -1, &group); rv < 0) return rv;
    for (int k = 0; k < t.count; k++) {
        int entry = 0;
        if (int rv = dxp_field_entry_create(unit, group, &entry); rv < 0) return rv;
        if (int rv = dxp_field_entry_prio_set(unit, entry, -1); rv < 0) return rv;
        for_records(port, [&](dos_fp_record &r) {
            r.group = group;
            r.entry[t.first + k] = entry;
        });
        if (port >= 0)
            if (int rv = qualify_port(unit, entry, port); rv < 0) return rv;
        if (int rv = qualify(unit, entry, t.type, k); rv < 0) return rv;
        if (t.metered) {
            if (int rv = dxp_field_meter_create(unit, entry); rv < 0) return rv;
            if (int rv = dxp_field_meter_set(unit, entry, 2, 64, 1024); rv < 0) return rv;
        }
        if (int rv = dxp_field_action_add(unit, entry, t.action, 0, 0); rv < 0) return rv;
        if (int rv = dxp_field_counter_create(unit, entry); rv < 0) return rv;
        if (int rv = dxp_field_entry_install(unit, entry); rv < 0) return rv;
    }
    for_records(port, [&](dos_fp_record &r) { r.flags |= t.flag; });
    return DXP_E_NONE;
}

// Destroys a recorded entry and drops its id from every record, so that no
// record keeps an id that may be handed out again. An id the field module no
// longer knows counts as gone.
int dos_destroy(int unit, int entry) {
    if (entry == 0) return DXP_E_NONE;
    if (int rv = dxp_field_entry_destroy(unit, entry); rv < 0 && rv != DXP_E_NOT_FOUND) return rv;
    for (dos_fp_record &r : dos_fp_table)
        for (int &id : r.entry)
            if (id == entry) id = 0;
    return DXP_E_NONE;
}

int dos_disable(int unit, int port, const DosType &t) {
    dos_fp_record &r = record_of(port);
    for (int k = 0; k < t.count; k++)
        if (int rv = dos_destroy(unit, r.entry[t.first + k]); rv < 0) return rv;
    for_records(port, [&](dos_fp_record &rec) {
        rec.flags &= ~t.flag;
        for (int k = 0; k < t.count; k++)
            rec.entry[t.first + k] = 0;
    });
    return DXP_E_NONE;
}

// Switching the DoS controls off removes every entry they installed before
// the bookkeeping forgets them.
int dos_clear(int unit) {
    for (dos_fp_record &r : dos_fp_table)
        for (int id : r.entry)
            if (int rv = dos_destroy(unit, id); rv < 0) return rv;
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

}  // namespace

int dxp_tarn_switch_dos_fp_set(int unit, int port, int type, int value) {
    if (!dos_port_valid(port)) return DXP_E_PORT;
    if (type != dxpSwitchDosAttackToCpu && (dos_fp_table[0].flags & kDosOn) == 0) return DXP_E_INIT;
    switch (type) {
        case dxpSwitchDosAttackToCpu:
            if (value == 0) return dos_clear(unit);
            if ((dos_fp_table[0].flags & kDosOn) == 0) dos_fp_table.fill(dos_fp_record{});
            for (dos_fp_record &r : dos_fp_table)
                r.flags |= kDosOn;
            return DXP_E_NONE;
        case dxpSwitchDosAttackMinTcpHdrSize:
            dos_min_tcp_hdr_size = static_cast<uint8_t>(value);
            return DXP_E_NONE;
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
        (record_of(port).flags & kFirstFragOn) == 0)
        return DXP_E_INIT;
    return value != 0 ? dos_enable(unit, port, *t) : dos_disable(unit, port, *t);
}

int dxp_tarn_switch_dos_fp_get(int, int port, int type, int *value) {
    if (!dos_port_valid(port)) return DXP_E_PORT;
    if (value == nullptr) return DXP_E_PARAM;
    const dos_fp_record &r = record_of(port);
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
    *value = (r.flags & flag) != 0 ? 1 : 0;
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
