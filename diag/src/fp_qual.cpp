// FieldProcessor qual, qset and user: what a field entry matches on, the
// qualifier set new groups are built from, and user-defined fields.
#include <cstdio>
#include <cstring>

#include "diag_parse.h"
#include "dxp.h"
#include "feature_cmds.h"
#include "fp_cmd.h"
#include "sal.h"
#include "shell_cmds.h"

namespace fp_cmd {

using feature_cmds::word_is;

namespace {

// How the words after a qualifier's name are read.
enum class Form {
    One,
    Pair8,
    Pair16,
    Pair32,
    IntPair,
    PortPair,
    ModPort,
    Ip4,
    Ip6,
    Mac,
    Pbmp,
    Enum
};

// One row per qualifier qual offers; exactly the pointer of its form is set.
struct QualRow {
    int qualifier;
    const char *message;  // after "dxp_field_qualify_"
    Form form;
    int (*one)(int, int, uint32_t) = nullptr;
    int (*pair8)(int, int, uint8_t, uint8_t) = nullptr;
    int (*pair16)(int, int, uint16_t, uint16_t) = nullptr;
    int (*pair32)(int, int, uint32_t, uint32_t) = nullptr;
    int (*ints)(int, int, int, int) = nullptr;
    int (*modport)(int, int, int, int, int, int) = nullptr;
    int (*ip4)(int, int, dxp_ip_t, dxp_ip_t) = nullptr;
    int (*ip6)(int, int, const dxp_ip6_t, const dxp_ip6_t) = nullptr;
    int (*mac)(int, int, const dxp_mac_t, const dxp_mac_t) = nullptr;
    int (*pbmp)(int, int, dxp_pbmp_t, dxp_pbmp_t) = nullptr;
    int (*enumerated)(int, int, int) = nullptr;
    const NameTable *names = nullptr;  // Form::Enum: null for the decap vocabulary
};

// clang-format off
const QualRow kQuals[] = {
    {.qualifier = dxpFieldQualifySrcIp6, .message = "SrcIp6", .form = Form::Ip6, .ip6 = dxp_field_qualify_SrcIp6},
    {.qualifier = dxpFieldQualifyDstIp6, .message = "DstIp6", .form = Form::Ip6, .ip6 = dxp_field_qualify_DstIp6},
    {.qualifier = dxpFieldQualifySrcIp6High, .message = "SrcIp6High", .form = Form::Ip6, .ip6 = dxp_field_qualify_SrcIp6High},
    {.qualifier = dxpFieldQualifyDstIp6High, .message = "DstIp6High", .form = Form::Ip6, .ip6 = dxp_field_qualify_DstIp6High},
    {.qualifier = dxpFieldQualifySrcMac, .message = "SrcMac", .form = Form::Mac, .mac = dxp_field_qualify_SrcMac},
    {.qualifier = dxpFieldQualifyDstMac, .message = "DstMac", .form = Form::Mac, .mac = dxp_field_qualify_DstMac},
    {.qualifier = dxpFieldQualifySrcIp, .message = "SrcIp", .form = Form::Ip4, .ip4 = dxp_field_qualify_SrcIp},
    {.qualifier = dxpFieldQualifyDstIp, .message = "DstIp", .form = Form::Ip4, .ip4 = dxp_field_qualify_DstIp},
    {.qualifier = dxpFieldQualifyInPort, .message = "InPort", .form = Form::PortPair, .ints = dxp_field_qualify_InPort},
    {.qualifier = dxpFieldQualifyInPorts, .message = "InPorts", .form = Form::Pbmp, .pbmp = dxp_field_qualify_InPorts},
    {.qualifier = dxpFieldQualifyDrop, .message = "Drop", .form = Form::Pair8, .pair8 = dxp_field_qualify_Drop},
    {.qualifier = dxpFieldQualifyIpProtocol, .message = "IpProtocol", .form = Form::Pair8, .pair8 = dxp_field_qualify_IpProtocol},
    {.qualifier = dxpFieldQualifyDSCP, .message = "DSCP", .form = Form::Pair8, .pair8 = dxp_field_qualify_DSCP},
    {.qualifier = dxpFieldQualifyIp6NextHeader, .message = "Ip6NextHeader", .form = Form::Pair8, .pair8 = dxp_field_qualify_Ip6NextHeader},
    {.qualifier = dxpFieldQualifyIp6TrafficClass, .message = "Ip6TrafficClass", .form = Form::Pair8, .pair8 = dxp_field_qualify_Ip6TrafficClass},
    {.qualifier = dxpFieldQualifyIp6HopLimit, .message = "Ip6HopLimit", .form = Form::Pair8, .pair8 = dxp_field_qualify_Ip6HopLimit},
    {.qualifier = dxpFieldQualifyTcpControl, .message = "TcpControl", .form = Form::Pair8, .pair8 = dxp_field_qualify_TcpControl},
    {.qualifier = dxpFieldQualifyMHOpcode, .message = "MHOpcode", .form = Form::Pair8, .pair8 = dxp_field_qualify_MHOpcode},
    {.qualifier = dxpFieldQualifyIpFlags, .message = "IpFlags", .form = Form::Pair8, .pair8 = dxp_field_qualify_IpFlags},
    {.qualifier = dxpFieldQualifyTivra, .message = "Tivra", .form = Form::Pair8, .pair8 = dxp_field_qualify_Tivra},
    {.qualifier = dxpFieldQualifyTcpHeaderSize, .message = "TcpHeaderSize", .form = Form::Pair8, .pair8 = dxp_field_qualify_TcpHeaderSize},
    {.qualifier = dxpFieldQualifyUdpSrcPortRange, .message = "UdpSrcPortRange", .form = Form::Pair8, .pair8 = dxp_field_qualify_UdpSrcPortRange},
    {.qualifier = dxpFieldQualifyUdpDstPortRange, .message = "UdpDstPortRange", .form = Form::Pair8, .pair8 = dxp_field_qualify_UdpDstPortRange},
    {.qualifier = dxpFieldQualifyTcpSrcPortRange, .message = "TcpSrcPortRange", .form = Form::Pair8, .pair8 = dxp_field_qualify_TcpSrcPortRange},
    {.qualifier = dxpFieldQualifyTcpDstPortRange, .message = "TcpDstPortRange", .form = Form::Pair8, .pair8 = dxp_field_qualify_TcpDstPortRange},
    {.qualifier = dxpFieldQualifyTtl, .message = "TTL", .form = Form::Pair8, .pair8 = dxp_field_qualify_Ttl},
    {.qualifier = dxpFieldQualifyIp6FlowLabel, .message = "Ip6FlowLabel", .form = Form::Pair32, .pair32 = dxp_field_qualify_Ip6FlowLabel},
    {.qualifier = dxpFieldQualifyLookupStatus, .message = "LookupStatus", .form = Form::Pair32, .pair32 = dxp_field_qualify_LookupStatus},
    {.qualifier = dxpFieldQualifyPacketRes, .message = "PacketRes", .form = Form::Pair32, .pair32 = dxp_field_qualify_PacketRes},
    {.qualifier = dxpFieldQualifyPacketFormat, .message = "PacketFormat", .form = Form::Pair32, .pair32 = dxp_field_qualify_PacketFormat},
    {.qualifier = dxpFieldQualifyIpInfo, .message = "IpInfo", .form = Form::Pair32, .pair32 = dxp_field_qualify_IpInfo},
    {.qualifier = dxpFieldQualifyOuterVlan, .message = "OuterVlan", .form = Form::Pair16, .pair16 = dxp_field_qualify_OuterVlan},
    {.qualifier = dxpFieldQualifyInnerVlan, .message = "InnerVlan", .form = Form::Pair16, .pair16 = dxp_field_qualify_InnerVlan},
    {.qualifier = dxpFieldQualifyEtherType, .message = "EtherType", .form = Form::Pair16, .pair16 = dxp_field_qualify_EtherType},
    {.qualifier = dxpFieldQualifyL4SrcPort, .message = "L4SrcPort", .form = Form::Pair32, .pair32 = dxp_field_qualify_L4SrcPort},
    {.qualifier = dxpFieldQualifyL4DstPort, .message = "L4DstPort", .form = Form::Pair32, .pair32 = dxp_field_qualify_L4DstPort},
    {.qualifier = dxpFieldQualifyRangeCheck, .message = "RangeCheck", .form = Form::IntPair, .ints = dxp_field_qualify_RangeCheck},
    {.qualifier = dxpFieldQualifySrcModid, .message = "SrcModid", .form = Form::Pair32, .pair32 = dxp_field_qualify_SrcModid},
    {.qualifier = dxpFieldQualifyDstModid, .message = "DstModid", .form = Form::Pair32, .pair32 = dxp_field_qualify_DstModid},
    {.qualifier = dxpFieldQualifySrcTrunk, .message = "SrcTrunk", .form = Form::Pair32, .pair32 = dxp_field_qualify_SrcTrunk},
    {.qualifier = dxpFieldQualifyDstTrunk, .message = "DstTrunk", .form = Form::Pair32, .pair32 = dxp_field_qualify_DstTrunk},
    {.qualifier = dxpFieldQualifySrcPortTgid, .message = "SrcPortTgid", .form = Form::PortPair, .ints = dxp_field_qualify_SrcPortTgid},
    {.qualifier = dxpFieldQualifyDstPortTgid, .message = "DstPortTgid", .form = Form::PortPair, .ints = dxp_field_qualify_DstPortTgid},
    {.qualifier = dxpFieldQualifySrcPort, .message = "SrcPort", .form = Form::ModPort, .modport = dxp_field_qualify_SrcPort},
    {.qualifier = dxpFieldQualifyDstPort, .message = "DstPort", .form = Form::ModPort, .modport = dxp_field_qualify_DstPort},
    {.qualifier = dxpFieldQualifySrcIpEqualDstIp, .message = "SrcIpEqualDstIp", .form = Form::One, .one = dxp_field_qualify_SrcIpEqualDstIp},
    {.qualifier = dxpFieldQualifyEqualL4Port, .message = "EqualL4Port", .form = Form::One, .one = dxp_field_qualify_EqualL4Port},
    {.qualifier = dxpFieldQualifyTcpSequenceZero, .message = "TcpSequenceZero", .form = Form::One, .one = dxp_field_qualify_TcpSequenceZero},
    {.qualifier = dxpFieldQualifyL3IntfGroup, .message = "L3IntfGroup", .form = Form::Pair32, .pair32 = dxp_field_qualify_L3IntfGroup},
    {.qualifier = dxpFieldQualifyDecap, .message = "Decap", .form = Form::Enum, .enumerated = dxp_field_qualify_Decap},
    {.qualifier = dxpFieldQualifyStage, .message = "Stage", .form = Form::Enum, .enumerated = dxp_field_qualify_Stage, .names = &kStages},
    {.qualifier = dxpFieldQualifyIpType, .message = "IpType", .form = Form::Enum, .enumerated = dxp_field_qualify_IpType, .names = &kIpTypes},
};
// clang-format on

constexpr int kStageUnknown = 5;  // what the stage lookup gives for a stranger

const QualRow *row_of(int q) {
    for (const QualRow &r : kQuals)
        if (r.qualifier == q) return &r;
    return nullptr;
}

// The enumeration value a word names; false after its message.
bool enum_value(const QualRow &r, const char *word, int *value) {
    if (r.names == nullptr) {  // decap types
        *value = parse_is_integer(word) ? parse_integer(word) : parse_field_decap(word);
        if (*value != DIAG_FIELD_DECAP_COUNT || parse_is_integer(word)) return true;
        sal_printf("Unknown decap value: %s\n", word);
        return false;
    }
    *value = number_or_name(*r.names, word);
    if (r.names == &kStages) {
        if (*value != kStageUnknown) return true;
        sal_printf("Unknown Stage value: %s\n", word);
        return false;
    }
    if (*value != r.names->count || parse_is_integer(word)) return true;
    sal_printf("Unknown IpType value: %s\n", word);
    return false;
}

int ip4_word(const char *word, dxp_ip_t *ip) {
    if (parse_ipaddr(word, ip) == 0) return 0;
    sal_printf("ERROR: invalid ip4 addr string: \"%s\"\n", word);
    return -1;
}

int mac_word(const char *word, dxp_mac_t mac) {
    int rv = parse_macaddr(word, mac);
    if (rv != 0) sal_printf("ERROR: invalid mac string: \"%s\" (error=%d)\n", word, rv);
    return rv;
}

// Runs the row's call on the words; CMD_USAGE when one is missing, CMD_FAIL
// on a word its parser refuses, else the API's code through *rv.
int call(int unit, int eid, const QualRow &r, args_t *a, const char *cmd, int *rv) {
    const char *w[4] = {};
    const int need = r.form == Form::One || r.form == Form::Enum ? 1
                     : r.form == Form::ModPort                   ? 4
                     : r.form == Form::Pbmp                      ? 1
                                                                 : 2;
    for (int i = 0; i < need; i++)
        if ((w[i] = ARG_GET(a)) == nullptr) return CMD_USAGE;
    auto num = [&](int i) { return parse_integer(w[i]); };
    auto u32 = [&](int i) { return static_cast<uint32_t>(num(i)); };
    int port = 0;
    switch (r.form) {
        case Form::One:
            *rv = r.one(unit, eid, u32(0));
            break;
        case Form::Pair8:
            *rv = r.pair8(unit, eid, static_cast<uint8_t>(num(0)), static_cast<uint8_t>(num(1)));
            break;
        case Form::Pair16:
            *rv = r.pair16(unit, eid, static_cast<uint16_t>(num(0)), static_cast<uint16_t>(num(1)));
            break;
        case Form::Pair32:
            *rv = r.pair32(unit, eid, u32(0), u32(1));
            break;
        case Form::IntPair:
            *rv = r.ints(unit, eid, num(0), num(1));
            break;
        case Form::PortPair:
            if (parse_port(unit, w[0], &port) != 0) return CMD_FAIL;
            *rv = r.ints(unit, eid, port, num(1));
            break;
        case Form::ModPort:
            if (parse_port(unit, w[2], &port) != 0) return CMD_FAIL;
            *rv = r.modport(unit, eid, num(0), num(1), port, num(3));
            break;
        case Form::Ip4: {
            dxp_ip_t data = 0, mask = 0;
            if (ip4_word(w[0], &data) != 0 || ip4_word(w[1], &mask) != 0) return CMD_FAIL;
            *rv = r.ip4(unit, eid, data, mask);
            break;
        }
        case Form::Ip6: {
            dxp_ip6_t data = {}, mask = {};
            if (parse_ip6addr(w[0], data) != 0 || parse_ip6addr(w[1], mask) != 0) return CMD_FAIL;
            *rv = r.ip6(unit, eid, data, mask);
            break;
        }
        case Form::Mac: {
            dxp_mac_t data = {}, mask = {};
            if (mac_word(w[0], data) != 0 || mac_word(w[1], mask) != 0) return CMD_FAIL;
            *rv = r.mac(unit, eid, data, mask);
            break;
        }
        case Form::Pbmp: {
            soc_pbmp_t data{}, mask{};
            if (parse_pbmp(unit, w[0], &data) != 0) {
                sal_printf("%s: Error: unrecognized port bitmap: %s\n", cmd, w[0]);
                return CMD_FAIL;
            }
            if (const char *m = ARG_GET(a); m != nullptr) {
                if (parse_pbmp(unit, m, &mask) != 0) return CMD_FAIL;
            } else if (SOC_CONTROL(unit) != nullptr) {
                mask = feature_cmds::all_ports(unit);
            }
            *rv = r.pbmp(unit, eid, feature_cmds::to_dxp(data), feature_cmds::to_dxp(mask));
            break;
        }
        case Form::Enum: {
            int value = 0;
            if (!enum_value(r, w[0], &value)) return CMD_FAIL;
            *rv = r.enumerated(unit, eid, value);
            break;
        }
    }
    return CMD_OK;
}

// The four bytes of v, most significant first.
void be_bytes(uint32_t v, uint8_t *out) {
    for (int i = 0; i < 4; i++)
        out[i] = static_cast<uint8_t>(v >> (24 - 8 * i));
}

int qual_user_defined(int unit, int eid, args_t *a) {
    int udf = 0, data = 0, mask = 0;
    if (!next_int(a, &udf) || !next_int(a, &data) || !next_int(a, &mask)) return CMD_USAGE;
    if (udf == 0) udf = state().udf_id;
    uint8_t d[4], m[4];
    be_bytes(static_cast<uint32_t>(data), d);
    be_bytes(static_cast<uint32_t>(mask), m);
    return report("dxp_field_qualify_UserDefined", unit,
                  dxp_field_qualify_UserDefined(unit, eid, udf, d, m));
}

int qset_add(int unit, args_t *a) {
    const char *word = ARG_GET(a);
    if (word == nullptr) return CMD_USAGE;
    if (word_is(word, "UserDefined")) {
        int udf = 0;
        if (!next_int(a, &udf)) return CMD_USAGE;
        return report("dxp_field_qset_add_udf", unit,
                      dxp_field_qset_add_udf(unit, &state().qset, udf));
    }
    int q = parse_is_integer(word) ? parse_integer(word) : parse_field_qualifier(word);
    if (q >= DIAG_FIELD_QUALIFY_COUNT) {
        sal_printf("Unknown qualifier: %s\n", word);
        return CMD_FAIL;
    }
    // Negative numbers fall here too: nothing below UDF2 is the user's.
    if (q <= dxpFieldQualifyUserDefined1) {
        sal_printf("Error: UDF0 and UDF1 are for internal use only.\n");
        return CMD_FAIL;
    }
    dxp_field_qset_add(&state().qset, q);
    char name[DIAG_FIELD_NAME_BUF];
    qualifier_name(name, q);
    sal_printf("DXP_FIELD_QSET_ADD(%s) okay\n", name);
    return CMD_OK;
}

}  // namespace

int qual(int unit, args_t *a) {
    int eid = 0;
    if (!next_int(a, &eid)) return CMD_USAGE;
    const char *word = ARG_GET(a);
    if (word == nullptr) return CMD_USAGE;
    if (word_is(word, "clear"))
        return report("dxp_field_qualify_clear", unit, dxp_field_qualify_clear(unit, eid));
    if (word_is(word, "UserDefined")) return qual_user_defined(unit, eid, a);
    const QualRow *r = row_of(parse_field_qualifier(word));
    if (r == nullptr) {
        sal_printf("Unknown qualifier: %s\n", word);
        return CMD_FAIL;
    }
    int rv = 0;
    if (int res = call(unit, eid, *r, a, ARG_CMD(a), &rv); res != CMD_OK) return res;
    char api[256];
    std::snprintf(api, sizeof api, "dxp_field_qualify_%s", r->message);
    return report(api, unit, rv);
}

int qset(int unit, args_t *a) {
    const char *sub = ARG_GET(a);
    if (word_is(sub, "add")) return qset_add(unit, a);
    if (word_is(sub, "clear")) {
        state().qset = dxp_field_qset_t{};
        sal_printf("DXP_FIELD_QSET_INIT() okay\n");
        return CMD_OK;
    }
    if (!word_is(sub, "show")) return CMD_USAGE;
    char buf[2048];
    format_field_qset(buf, sizeof buf, state().qset);
    sal_printf("qset=%s\n", buf);
    return CMD_OK;
}

int user(int unit, args_t *a) {
    State &s = state();
    const char *sub = ARG_GET(a);
    if (word_is(sub, "post_ethertype")) return CMD_NOTIMPL;
    if (word_is(sub, "init")) {
        s.udf = dxp_field_udf_spec_t{};
        return CMD_OK;
    }
    int id = 0, offset = 0;
    if (word_is(sub, "set")) {
        if (!next_int(a, &id) || !next_int(a, &offset)) return CMD_USAGE;
        return report("dxp_field_udf_spec_set", unit,
                      dxp_field_udf_spec_set(unit, &s.udf, static_cast<uint32_t>(id),
                                             static_cast<uint32_t>(offset)));
    }
    next_int(a, &id);  // no id stands for 0
    if (word_is(sub, "get")) {
        if (id == 0) id = s.udf_id;
        int rv = dxp_field_udf_get(unit, &s.udf, id);
        if (report("dxp_field_udf_get", unit, rv) != CMD_OK) return CMD_FAIL;
        sal_printf("FP user get: udf_id=%d!\n", id);
        return CMD_OK;
    }
    if (!word_is(sub, "create")) return CMD_USAGE;
    if (id != 0)
        return report("dxp_field_udf_create_id", unit, dxp_field_udf_create_id(unit, &s.udf, id));
    int rv = dxp_field_udf_create(unit, &s.udf, &id);
    if (rv == 0) s.udf_id = id;
    return report("dxp_field_udf_create", unit, rv);
}

}  // namespace fp_cmd
