// The field processor's vocabulary (qualifiers, group modes, actions, decap
// types) and the switch control names: compile-time tables by value.
#include <cstdio>
#include <cstring>
#include <iterator>

#include "diag_parse.h"
#include "sal.h"

namespace {

constexpr const char *kQualifiers[] = {
    "UserDefined0",
    "UserDefined1",
    "UserDefined2",
    "UserDefined3",
    "UserDefined4",
    "UserDefined5",
    "UserDefined6",
    "UserDefined7",
    "UserDefined8",
    "UserDefined9",
    "SrcIp6",
    "DstIp6",
    "SrcIp6High",
    "DstIp6High",
    "SrcMac",
    "DstMac",
    "Snap",
    "SrcIp",
    "DstIp",
    "Llc",
    "InPort",
    "InPorts",
    "OutPorts",
    "Drop",
    "Ip6FlowLabel",
    "OuterVlan",
    "InnerVlan",
    "LookupStatus",
    "RangeCheck",
    "L4SrcPort",
    "L4DstPort",
    "EtherType",
    "IpProtocol",
    "DSCP",
    "Ttl",
    "Ip6NextHeader",
    "Ip6TrafficClass",
    "Ip6HopLimit",
    "SrcModid",
    "SrcPortTgid",
    "SrcPort",
    "SrcTrunk",
    "DstModid",
    "DstPortTgid",
    "DstPort",
    "DstTrunk",
    "TcpControl",
    "PacketRes",
    "PacketFormat",
    "PortClass",
    "SrcMacGroup",
    "IpInfo",
    "IpProtocolCommon",
    "MHOpcode",
    "IpFlags",
    "InnerTpid",
    "OuterTpid",
    "IpType",
    "Chain",
    "Decap",
    "Tivra",
    "TivraProxy",
    "Stage",
    "StageIngress",
    "StageLookup",
    "StageEgress",
    "SrcIpEqualDstIp",
    "EqualL4Port",
    "TcpSequenceZero",
    "TcpHeaderSize",
    "L3IntfGroup",
    "UdpSrcPortRange",
    "UdpDstPortRange",
    "TcpSrcPortRange",
    "TcpDstPortRange",
    "L3Routable",
    "IpFrag",
    "LookupClass0",
    "Vrf",
    "OutPort",
    "Ip4",
    "Ip6",
    "L2Format",
    "VlanFormat",
};
static_assert(std::size(kQualifiers) == DIAG_FIELD_QUALIFY_COUNT);

constexpr const char *kGroupModes[] = {
    "Single",
    "Double",
    "Triple",
    "Auto",
};
static_assert(std::size(kGroupModes) == DIAG_FIELD_GROUP_MODE_COUNT);

constexpr const char *kActions[] = {
    "CosQNew",
    "CosQCpuNew",
    "PrioPktAndIntCopy",
    "PrioPktAndIntNew",
    "PrioPktAndIntTos",
    "PrioPktAndIntCancel",
    "PrioPktCopy",
    "PrioPktNew",
    "PrioPktTos",
    "PrioPktCancel",
    "PrioIntCopy",
    "PrioIntNew",
    "PrioIntTos",
    "PrioIntCancel",
    "TosNew",
    "TosCopy",
    "TosCancel",
    "DscpNew",
    "DscpCancel",
    "CopyToCpu",
    "CopyToCpuCancel",
    "SwitchToCpuCancel",
    "RedirectPort",
    "RedirectTrunk",
    "RedirectPortCancel",
    "RedirectPbmp",
    "EgressMask",
    "Chain",
    "Drop",
    "DropCancel",
    "MirrorOverride",
    "MirrorIngress",
    "MirrorEgress",
    "L3ChangeVlan",
    "L3ChangeVlanCancel",
    "L3ChangeMacDa",
    "L3ChangeMacDaCancel",
    "L3Switch",
    "L3SwitchCancel",
    "AddClassTag",
    "DropPrecedence",
    "RpDrop",
    "RpDropCancel",
    "RpDropPrecedence",
    "RpCopyToCpu",
    "RpCopyToCpuCancel",
    "RpDscpNew",
    "GpOuterVlanPrioNew",
    "YpDrop",
    "YpDropCancel",
    "YpDropPrecedence",
    "YpCopyToCpu",
    "YpCopyToCpuCancel",
    "YpDscpNew",
    "GpOuterVlanPrioNew",
    "UpdateCounter",
    "MeterConfig",
    "ColorIndependent",
    "ClassSet",
    "VrfSet",
    "InnerVlanNew",
    "InnerVlanPrioNew",
    "OuterVlanNew",
    "VlanAdd",
    "OuterVlanPrioNew",
    "OuterTpidNew",
    "GpDrop",
    "GpDropCancel",
    "GpDscpNew",
    "GpOuterVlanPrioNew",
};
static_assert(std::size(kActions) == DIAG_FIELD_ACTION_COUNT);

constexpr const char *kDecaps[] = {
    "None",     "L2Mpls",      "L3Mpls",      "OtherMPLS",
    "IPTunnel", "IPGreTunnel", "IPUdpTunnel", "IPPimTunnel",
};
static_assert(std::size(kDecaps) == DIAG_FIELD_DECAP_COUNT);

constexpr const char *kSwitchControls[] = {
    "IgmpReportLeave",
    "IgmpQuery",
    "IgmpUnknown",
    "MldReportDone",
    "MldQuery",
    "IpmcV4Reserved",
    "IpmcV6Reserved",
    "IpmcV4RouterDiscovery",
    "IpmcV6RouterDiscovery",
    "TlHdrErrToCpu",
    "ClassTagPacketsToCpu",
    "IpmcTunnelToCpu",
    "StationMoveOverLearnLimitToCpu",
    "McastUnknownErrToCpu",
    "LearnLimitPriority",
    "ControlOpcodePriority",
    "CpuProtoBpduPriority",
    "CpuProtoArpPriority",
    "CpuProtoIgmpPriority",
    "CpuProtoDhcpPriority",
    "CpuProtoIpmcReservedPriority",
    "CpuProtoIpOptionsPriority",
    "CpuProtoExceptionsPriority",
    "CpuProtocolPrio",
    "CpuUnknownPrio",
    "CpuSamplePrio",
    "CpuDefaultPrio",
    "L2StaticMoveToCpu",
    "UnknownIpmcToCpu",
    "UnknownMcastToCpu",
    "UnknownUcastToCpu",
    "NonIpL3ErrToCpu",
    "L3HeaderErrToCpu",
    "UnknownVlanToCpu",
    "UnknownL3SrcToCpu",
    "UnknownL3DestToCpu",
    "IpmcPortMissToCpu",
    "IpmcErrorToCpu",
    "VCLabelMissToCpu",
    "SourceRouteToCpu",
    "LLCSAP1",
    "LLCSAP2",
    "SampleIngressRandomSeed",
    "SampleEgressRandomSeed",
    "CpuFpCopyPrio",
    "CpuIcmpRedirectPrio",
    "CpuMtuFailPrio",
    "CpuMirrorPrio",
    "CpuLookupFpCopyPrio",
    "L2NonStaticMoveToCpu",
    "V6L3ErrToCpu",
    "V6L3DstMissToCpu",
    "V4L3ErrToCpu",
    "V4L3DstMissToCpu",
    "TunnelErrToCpu",
    "MartianAddrToCpu",
    "L3UcTtlErrToCpu",
    "L3SlowpathToCpu",
    "IpmcTtlErrToCpu",
    "DosAttackToCpu",
    "DosAttackSipEqualDip",
    "DosAttackMinTcpHdrSize",
    "DosAttackV4FirstFrag",
    "DosAttackTcpFlags",
    "DosAttackL4Port",
    "DosAttackTcpFrag",
    "DosAttackIcmp",
    "DosAttackIcmpPktOversize",
    "DosAttackMACSAEqualMACDA",
    "DosAttackIcmpV6PingSize",
    "DosAttackIcmpFragments",
    "DosAttackTcpOffset",
    "DosAttackUdpPortsEqual",
    "DosAttackTcpPortsEqual",
    "DosAttackTcpFlagsSF",
    "DosAttackTcpFlagsFUP",
    "DosAttackTcpHdrPartial",
    "DosAttackPingFlood",
    "DosAttackSynFlood",
    "DosAttackTcpSmurf",
    "IcmpRedirectToCpu",
    "MplsErrToCpu",
    "L3SrcUrpfErrToCpu",
    "GreSourceRoutingToCpu",
    "EnifilterDropToCpu",
    "ArpReplyToCpu",
    "ArpReplyDrop",
    "ArpRequestToCpu",
    "ArpRequestDrop",
    "NdPktToCpu",
    "NdPktDrop",
    "McastFloodBlocking",
    "IgmpPktToCpu",
    "IgmpPktDrop",
    "DhcpPktToCpu",
    "DhcpPktDrop",
    "MldPktToCpu",
    "MldPktDrop",
    "V4ResvdMcPktToCpu",
    "V4ResvdMcPktDrop",
    "V6ResvdMcPktToCpu",
    "V6ResvdMcPktDrop",
    "DirectedMirroring",
    "PktAge",
    "RemoteL2Lookup",
    "McastFloodDefault",
    "ParityErrorToCpu",
    "L3MtuFailToCpu",
    "MeterAdjust",
    "HashL2",
    "HashL3",
    "HashMultipath",
    "HashControl",
    "MirrorStackMode",
    "MirrorSrcModCheck",
    "MirrorUnmarked",
    "DestPortTLTrunk",
    "ColorSelect",
    "ModuleLoopback",
    "SrcModBlockMirrorCopy",
    "SrcModBlockMirrorOnly",
    "HashSeed0",
    "HashSeed1",
    "HashField0Config",
    "HashField1Config",
    "HashSelectControl",
    "HashIP4Field0",
    "HashIP4Field1",
    "HashIP6Field0",
    "HashIP6Field1",
    "HashL2Field0",
    "HashL2Field1",
    "HashMPLSField0",
    "HashMPLSField1",
    "HashTL2UnknownField0",
    "HashTL2UnknownField1",
    "TrunkHashSet0UnicastOffset",
    "TrunkHashSet1UnicastOffset",
    "TrunkHashSet0NonUnicastOffset",
    "TrunkHashSet1NonUnicastOffset",
    "FabricTrunkHashSet0UnicastOffset",
    "FabricTrunkHashSet1UnicastOffset",
    "FabricTrunkHashSet0NonUnicastOffset",
    "FabricTrunkHashSet1NonUnicastOffset",
    "LoadBalanceHashSet0UnicastOffset",
    "LoadBalanceHashSet1UnicastOffset",
    "LoadBalanceHashSet0NonUnicastOffset",
    "LoadBalanceHashSet1NonUnicastOffset",
    "UniformUcastTrunkDistribution",
    "UniformFabricTrunkDistribution",
    "ECMPHashSet0Offset",
    "ECMPHashSet1Offset",
    "CpuToCpuEnable",
    "IgmpUcastEnable",
    "MldUcastEnable",
    "IgmpReservedMcastEnable",
    "MldReservedMcastEnable",
    "MldDirectAttachedOnly",
    "PortEgressBlockL2",
    "PortEgressBlockL3",
    "BpduInvalidVlanDrop",
    "MirrorInvalidVlanDrop",
    "RemoteLearnTrust",
    "SourceMacZeroDrop",
    "IpmcGroupMtu",
    "SwitchModuleType",
    "IgmpToCPU",
    "BpduToCPU",
    "8021xToCPU",
    "BcstToCPU",
    "ExternalL3",
    "L3EgressMode",
    "MplsIngressPortCheck",
    "SourceModBlockUcast",
    "SourceModBlockControlOpcode",
    "EgressBlockUcast",
    "AlternateStoreForward",
    "WarmBoot",
    "UnknownIpmcAsMcast",
    "TunnelUnknownIpmcDrop",
    "DhcpLearn",
    "IpmcTtl1ToCpu",
    "L3UcastTtl1ToCpu",
    "DosAttackFlagZeroSeqZero",
    "TlHdrExtLengthEnable",
    "DosAttackSynFrag",
    "Ip4McastL2DestCheck",
    "Ip6McastL2DestCheck",
    "L3TunnelUrpfMode",
    "L3TunnelUrpfDefaultRoute",
    "L3UrpfFailToCpu",
    "L3UrpfRouteEnable",
    "L3UrpfMode",
    "L3UrpfDefaultRoute",
    "IngressRateLimitIncludeIFG",
    "RateLimitLinear",
    "HashL2Dual",
    "HashL3Dual",
    "HashDualMoveDepth",
    "IpmcReplicationSharing",
    "VrfMax",
    "FailoverStackTrunk",
    "FailoverEtherTrunk",
};
static_assert(std::size(kSwitchControls) == DIAG_SWITCH_CONTROL_COUNT);

struct Vocabulary {
    const char *const *names;
    int count;
    const char *prefix;
    const char *invalid;  // format of an out-of-range value
};

constexpr Vocabulary kQualifierVocab{kQualifiers, DIAG_FIELD_QUALIFY_COUNT, "dxpFieldQualify",
                                     "invalid qualifier value=%#x"};
constexpr Vocabulary kGroupModeVocab{kGroupModes, DIAG_FIELD_GROUP_MODE_COUNT, "dxpFieldGroupMode",
                                     "invalid group mode value=%#x"};
constexpr Vocabulary kActionVocab{kActions, DIAG_FIELD_ACTION_COUNT, "dxpFieldAction",
                                  "invalid action value=%#x"};
constexpr Vocabulary kDecapVocab{kDecaps, DIAG_FIELD_DECAP_COUNT, "dxpFieldDecap",
                                 "invalid decap value=%#x"};
constexpr Vocabulary kControlVocab{kSwitchControls, DIAG_SWITCH_CONTROL_COUNT, "dxpSwitch",
                                   "invalid control value=%#x"};

// Names are short; longer texts cannot be one.
constexpr size_t kMaxLookup = 63;

void format_name(char *buf, const Vocabulary &v, int value, bool brief) {
    SAL_ASSERT(buf != nullptr);
    if (buf == nullptr) return;
    if (value < 0 || value >= v.count) {
        std::snprintf(buf, DIAG_FIELD_NAME_BUF, v.invalid, static_cast<unsigned>(value));
    } else {
        std::snprintf(buf, DIAG_FIELD_NAME_BUF, "%s%s", brief ? "" : v.prefix, v.names[value]);
    }
}

int parse_name(const Vocabulary &v, const char *text) {
    SAL_ASSERT(text != nullptr);
    if (text == nullptr || std::strlen(text) >= kMaxLookup) return v.count;
    size_t plen = std::strlen(v.prefix);
    const char *bare = sal_strncasecmp(text, v.prefix, plen) == 0 ? text + plen : nullptr;
    for (int i = 0; i < v.count; i++) {
        if (sal_strcasecmp(text, v.names[i]) == 0) return i;
        if (bare != nullptr && sal_strcasecmp(bare, v.names[i]) == 0) return i;
    }
    return v.count;
}

}  // namespace

void format_field_qualifier(char *buf, int q, int brief) {
    format_name(buf, kQualifierVocab, q, brief != 0);
}

int parse_field_qualifier(const char *text) {
    return parse_name(kQualifierVocab, text);
}

int parse_field_qset(const char *text, dxp_field_qset_t *qset) {
    SAL_ASSERT(text != nullptr);
    if (text == nullptr) return -1;
    const char *seps = " \t,\n";
    const char *p = text;
    for (;;) {
        p += std::strspn(p, seps);
        if (*p == '\0') return 0;
        size_t len = std::strcspn(p, seps);
        if (len >= kMaxLookup) return -1;
        char word[kMaxLookup + 1];
        std::memcpy(word, p, len);
        word[len] = '\0';
        p += len;
        int q = parse_is_integer(word) ? parse_integer(word) : parse_field_qualifier(word);
        if (q < 0 || q >= DIAG_FIELD_QUALIFY_COUNT) return -1;
        dxp_field_qset_add(qset, q);
    }
}

void format_field_qset(char *buf, int bufsize, const dxp_field_qset_t &qset) {
    SAL_ASSERT(buf != nullptr);
    if (buf == nullptr || bufsize <= 0) return;
    int len = std::snprintf(buf, static_cast<size_t>(bufsize), "{");
    const char *sep = "";
    for (int q = 0; q < DIAG_FIELD_QUALIFY_COUNT && len < bufsize; q++) {
        if (!dxp_field_qset_test(qset, q)) continue;
        len += std::snprintf(buf + len, static_cast<size_t>(bufsize - len), "%s%s", sep,
                             kQualifiers[q]);
        sep = ", ";
    }
    if (len < bufsize) std::snprintf(buf + len, static_cast<size_t>(bufsize - len), "}");
}

void format_field_group_mode(char *buf, int mode) {
    format_name(buf, kGroupModeVocab, mode, false);
}

int parse_field_group_mode(const char *text) {
    return parse_name(kGroupModeVocab, text);
}

void format_field_action(char *buf, int action) {
    format_name(buf, kActionVocab, action, false);
}

int parse_field_action(const char *text) {
    return parse_name(kActionVocab, text);
}

void format_field_decap(char *buf, int decap) {
    format_name(buf, kDecapVocab, decap, false);
}

int parse_field_decap(const char *text) {
    if (text != nullptr && parse_is_integer(text)) {
        int v = parse_integer(text);
        return v >= 0 && v < DIAG_FIELD_DECAP_COUNT ? v : DIAG_FIELD_DECAP_COUNT;
    }
    return parse_name(kDecapVocab, text);
}

void format_switch_control(char *buf, int control) {
    format_name(buf, kControlVocab, control, false);
}

int parse_switch_control(const char *text) {
    return parse_name(kControlVocab, text);
}
