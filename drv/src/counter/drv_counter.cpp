// Counter services: the collector thread's control, the standard statistics
// as sums of MIB counter totals and the hardware counter reset.
#include "drv_counter.h"

#include <atomic>

#include "drv_if.h"
#include "drv_reg_rmw.h"
#include "soc_cm.h"
#include "soc_error.h"
#include "soc_property.h"

const int drv_counter_map_rows[DRV_COUNTER_MAP_ROWS] = {
    R_TXOCTETS,
    -1,
    R_TXDROPPKTS,
    R_TXQOSPKTS,
    R_TXBROADCASTPKTS,
    R_TXMULTICASTPKTS,
    R_TXUNICASTPKTS,
    R_TXCOLLISIONS,
    R_TXSINGLECOLLISION,
    R_TXMULTIPLECOLLISION,
    R_TXDEFERREDTRANSMIT,
    R_TXLATECOLLISION,
    R_TXEXCESSIVECOLLISION,
    R_TXFRAMEINDISC,
    R_TXPAUSEPKTS,
    R_TXQOSOCTETS,
    -1,
    R_RXOCTETS,
    -1,
    R_RXUNDERSIZEPKTS,
    R_RXPAUSEPKTS,
    R_PKTS64OCTETS,
    R_PKTS65TO127OCTETS,
    R_PKTS128TO255OCTETS,
    R_PKTS256TO511OCTETS,
    R_PKTS512TO1023OCTETS,
    R_PKTS1024TO1522OCTETS,
    R_RXOVERSIZEPKTS,
    R_RXJABBERS,
    R_RXALIGNMENTERRORS,
    R_RXFCSERRORS,
    R_RXGOODOCTETS,
    -1,
    R_RXDROPPKTS,
    R_RXUNICASTPKTS,
    R_RXMULTICASTPKTS,
    R_RXBROADCASTPKT,
    R_RXSACHANGES,
    R_RXFRAGMENTS,
    R_RXEXCESSSIZEDISC,
    R_RXSYMBLERR,
    R_RXQOSPKTS,
    R_RXQOSOCTETS,
};

namespace {

constexpr uint32_t kDebugStat = 0x8010000;
constexpr int kResetTurns = 9999;

std::atomic<const drv_counter_collector_t *> collector{nullptr};

// clang-format off
constexpr const char *kStatNames[DRV_SNMP_NUM_STATS] = {
    "snmpIfInOctets", "snmpIfInUcastPkts", "snmpIfInNUcastPkts", "snmpIfInDiscards",
    "snmpIfInErrors", "snmpIfInUnknownProtos", "snmpIfOutOctets", "snmpIfOutUcastPkts",
    "snmpIfOutNUcastPkts", "snmpIfOutDiscards", "snmpIfOutErrors", "snmpIfOutQLen",
    "snmpIpInReceives", "snmpIpInHdrErrors", "snmpIpForwDatagrams", "snmpIpInDiscards",
    "snmpDot1dBasePortDelayExceededDiscards", "snmpDot1dBasePortMtuExceededDiscards",
    "snmpDot1dTpPortInFrames", "snmpDot1dTpPortOutFrames", "snmpDot1dPortInDiscards",
    "snmpEtherStatsDropEvents", "snmpEtherStatsMulticastPkts", "snmpEtherStatsBroadcastPkts",
    "snmpEtherStatsUndersizePkts", "snmpEtherStatsFragments", "snmpEtherStatsPkts64Octets",
    "snmpEtherStatsPkts65to127Octets", "snmpEtherStatsPkts128to255Octets",
    "snmpEtherStatsPkts256to511Octets", "snmpEtherStatsPkts512to1023Octets",
    "snmpEtherStatsPkts1024to1518Octets", "snmpEtherStatsOversizePkts", "snmpEtherStatsJabbers",
    "snmpEtherStatsOctets", "snmpEtherStatsPkts", "snmpEtherStatsCollisions",
    "snmpEtherStatsCRCAlignErrors", "snmpEtherStatsTXNoErrors", "snmpEtherStatsRXNoErrors",
    "snmpDot3StatsAlignmentErrors", "snmpDot3StatsFCSErrors", "snmpDot3StatsSingleCollisionFrames",
    "snmpDot3StatsMultipleCollisionFrames", "snmpDot3StatsSQETTestErrors",
    "snmpDot3StatsDeferredTransmissions", "snmpDot3StatsLateCollisions",
    "snmpDot3StatsExcessiveCollisions", "snmpDot3StatsInternalMacTransmitErrors",
    "snmpDot3StatsCarrierSenseErrors", "snmpDot3StatsFrameTooLongs",
    "snmpDot3StatsInternalMacReceiveErrors", "snmpDot3StatsSymbolErrors",
    "snmpDot3ControlInUnknownOpcodes", "snmpDot3InPauseFrames", "snmpDot3OutPauseFrames",
    "snmpIfHCInOctets", "snmpIfHCInUcastPkts", "snmpIfHCInMulticastPkts", "snmpIfHCInBroadcastPkts",
    "snmpIfHCOutOctets", "snmpIfHCOutUcastPkts", "snmpIfHCOutMulticastPkts",
    "snmpIfHCOutBroadcastPckts", "snmpIpv6IfStatsInReceives", "snmpIpv6IfStatsInHdrErrors",
    "snmpIpv6IfStatsInAddrErrors", "snmpIpv6IfStatsInDiscards", "snmpIpv6IfStatsOutForwDatagrams",
    "snmpIpv6IfStatsOutDiscards", "snmpIpv6IfStatsInMcastPkts", "snmpIpv6IfStatsOutMcastPkts",
    "snmpDxpIPMCBridgedPckts", "snmpDxpIPMCRoutedPckts", "snmpDxpIPMCInDroppedPckts",
    "snmpDxpIPMCOutDroppedPckts", "snmpDxpEtherStatsPkts1519to1522Octets",
    "snmpDxpEtherStatsPkts1522to2047Octets", "snmpDxpEtherStatsPkts2048to4095Octets",
    "snmpDxpEtherStatsPkts4095to9216Octets", "snmpDxpCustomReceive0", "snmpDxpCustomReceive1",
    "snmpDxpCustomReceive2", "snmpDxpCustomReceive3", "snmpDxpCustomReceive4",
    "snmpDxpCustomReceive5", "snmpDxpCustomReceive6", "snmpDxpCustomReceive7",
    "snmpDxpCustomReceive8", "snmpDxpCustomTransmit0", "snmpDxpCustomTransmit1",
    "snmpDxpCustomTransmit2", "snmpDxpCustomTransmit3", "snmpDxpCustomTransmit4",
    "snmpDxpCustomTransmit5", "snmpDxpCustomTransmit6", "snmpDxpCustomTransmit7",
    "snmpDxpCustomTransmit8", "snmpDxpCustomTransmit9", "snmpDxpCustomTransmit10",
    "snmpDxpCustomTransmit11", "snmpDxpCustomTransmit12", "snmpDxpCustomTransmit13",
    "snmpDxpCustomTransmit14",
};
// clang-format on

// The registers whose totals make up a statistic; none for the ones the
// chip does not count.
struct StatSum {
    uint32_t stat;
    int regs[8];
};

// clang-format off
constexpr StatSum kStatSums[] = {
    {0, {R_RXOCTETS}}, {34, {R_RXOCTETS}}, {56, {R_RXOCTETS}},
    {1, {R_RXUNICASTPKTS}}, {57, {R_RXUNICASTPKTS}},
    {2, {R_RXMULTICASTPKTS, R_RXBROADCASTPKT}},
    {3, {R_RXDROPPKTS}}, {20, {R_RXDROPPKTS}}, {51, {R_RXDROPPKTS}},
    {4, {R_RXALIGNMENTERRORS, R_RXFCSERRORS, R_RXFRAGMENTS, R_RXEXCESSSIZEDISC, R_RXJABBERS}},
    {6, {R_TXOCTETS}}, {60, {R_TXOCTETS}},
    {7, {R_TXUNICASTPKTS}}, {61, {R_TXUNICASTPKTS}},
    {8, {R_TXBROADCASTPKTS, R_TXMULTICASTPKTS}},
    {9, {R_TXDROPPKTS}}, {48, {R_TXDROPPKTS}},
    {10, {R_TXEXCESSIVECOLLISION, R_TXLATECOLLISION}},
    {18, {R_RXUNICASTPKTS, R_RXMULTICASTPKTS, R_RXBROADCASTPKT}},
    {39, {R_RXUNICASTPKTS, R_RXMULTICASTPKTS, R_RXBROADCASTPKT}},
    {19, {R_TXUNICASTPKTS, R_TXMULTICASTPKTS, R_TXBROADCASTPKTS}},
    {38, {R_TXUNICASTPKTS, R_TXMULTICASTPKTS, R_TXBROADCASTPKTS}},
    {21, {R_TXDROPPKTS, R_RXDROPPKTS}},
    {22, {R_RXMULTICASTPKTS}}, {58, {R_RXMULTICASTPKTS}},
    {23, {R_RXBROADCASTPKT}}, {59, {R_RXBROADCASTPKT}},
    {24, {R_RXUNDERSIZEPKTS}}, {25, {R_RXFRAGMENTS}},
    {26, {R_PKTS64OCTETS}}, {27, {R_PKTS65TO127OCTETS}}, {28, {R_PKTS128TO255OCTETS}},
    {29, {R_PKTS256TO511OCTETS}}, {30, {R_PKTS512TO1023OCTETS}}, {31, {R_PKTS1024TO1522OCTETS}},
    {32, {R_RXOVERSIZEPKTS}}, {33, {R_RXJABBERS}},
    {35, {R_RXUNICASTPKTS, R_RXMULTICASTPKTS, R_RXBROADCASTPKT, R_RXALIGNMENTERRORS,
          R_RXFCSERRORS, R_RXFRAGMENTS, R_RXOVERSIZEPKTS, R_RXJABBERS}},
    {36, {R_TXCOLLISIONS}}, {37, {R_RXALIGNMENTERRORS, R_RXFCSERRORS}},
    {40, {R_RXALIGNMENTERRORS}}, {41, {R_RXFCSERRORS}},
    {42, {R_TXSINGLECOLLISION}}, {43, {R_TXMULTIPLECOLLISION}},
    {45, {R_TXDEFERREDTRANSMIT}}, {46, {R_TXLATECOLLISION}}, {47, {R_TXEXCESSIVECOLLISION}},
    {50, {R_RXOVERSIZEPKTS, R_RXJABBERS}},
    {54, {R_RXPAUSEPKTS}}, {55, {R_TXPAUSEPKTS}},
    {62, {R_TXMULTICASTPKTS}}, {63, {R_TXBROADCASTPKTS}},
};
// clang-format on

const StatSum *stat_sum(uint32_t stat) {
    for (const StatSum &s : kStatSums) {
        if (s.stat == stat) return &s;
    }
    return nullptr;
}

// Statistics the chip does not count: -16, the output left as passed.
bool unsupported_untouched(uint32_t stat) {
    return (stat >= 11 && stat <= 17) || stat == 44 || stat == 49 || stat == 52 || stat == 53;
}
// Statistics the chip does not count: -16 with the output zeroed.
bool unsupported_zeroed(uint32_t stat) {
    return stat == 5 || (stat >= 64 && stat < DRV_SNMP_NUM_STATS);
}

bool no_counters(int unit) {
    return soc_feature(unit, DRV_FEATURE_NO_COUNTERS);
}

}  // namespace

const char *drv_snmp_stat_name(uint32_t stat) {
    return stat < DRV_SNMP_NUM_STATS ? kStatNames[stat] : nullptr;
}

void drv_counter_collector_register(const drv_counter_collector_t *c) {
    collector.store(c);
}

int drv_counter_thread_set(int unit, uint32_t op, uint32_t flags, int interval, soc_pbmp_t bmp) {
    const drv_counter_collector_t *c = collector.load();
    if (no_counters(unit) || c == nullptr) return SOC_E_UNAVAIL;
    switch (op) {
        case DRV_COUNTER_THREAD_START:
            return c->start(unit, flags, interval, bmp);
        case DRV_COUNTER_THREAD_STOP:
            return c->stop(unit);
        case DRV_COUNTER_THREAD_SYNC:
            return c->sync(unit);
        default:
            return SOC_E_PARAM;
    }
}

int drv_snmp_counter_get(int unit, int port, uint32_t counter, uint64_t *value) {
    const drv_counter_collector_t *c = collector.load();
    if (no_counters(unit) || c == nullptr) return SOC_E_UNAVAIL;
    if (unsupported_untouched(counter)) return SOC_E_UNAVAIL;
    if (unsupported_zeroed(counter)) {
        *value = 0;
        return SOC_E_UNAVAIL;
    }
    const StatSum *sum = stat_sum(counter);
    if (sum == nullptr) {
        soc_cm_debug_print(kDebugStat, "drv_snmp_counter_get: Statistic not supported: %d\n",
                           static_cast<int>(counter));
        return SOC_E_PARAM;
    }
    uint64_t total = 0;
    for (int reg : sum->regs) {
        if (reg == 0) break;  // no counter has register id 0
        uint64_t v = 0;
        if (int rv = c->read(unit, port, reg, &v); rv < 0) return rv;
        total += v;
    }
    *value = total;
    return SOC_E_NONE;
}

int drv_snmp_counter_set(int unit, soc_pbmp_t bmp, uint32_t counter, uint64_t value) {
    const drv_counter_collector_t *c = collector.load();
    if (no_counters(unit) || c == nullptr || value != 0) return SOC_E_UNAVAIL;
    if (counter == DRV_SNMP_ALL_COUNTERS) return c->set(unit, bmp, 0);
    if (counter == 5) return SOC_E_NONE;
    const StatSum *sum = stat_sum(counter);
    if (counter == 38 || counter == 39 || unsupported_untouched(counter) ||
        unsupported_zeroed(counter))
        return SOC_E_UNAVAIL;
    if (sum == nullptr) {
        soc_cm_debug_print(kDebugStat, "drv_snmp_counter_set: Statistic not supported: %d\n",
                           static_cast<int>(counter));
        return SOC_E_PARAM;
    }
    for (int port = 0; port < 64; port++) {
        if (!soc_pbmp_member(bmp, port)) continue;
        for (int reg : sum->regs) {
            if (reg == 0) break;
            if (int rv = c->clear_one(unit, port, reg); rv < 0) return rv;
        }
    }
    return SOC_E_NONE;
}

int drv_counter_reset(int unit) {
    const drv_counter_collector_t *c = collector.load();
    if (no_counters(unit) || c == nullptr) return SOC_E_UNAVAIL;
    if (int rv = drv_reg_field_write(unit, R_GMNGCFG, 0, F_RST_MIB_CNT, 1); rv < 0) return rv;
    // The chip needs a moment with the reset bit set.
    for (int turn = 0; turn < kResetTurns; turn++)
        std::atomic_signal_fence(std::memory_order_seq_cst);
    if (int rv = drv_reg_field_write(unit, R_GMNGCFG, 0, F_RST_MIB_CNT, 0); rv < 0) return rv;
    return c->sw_set(unit, SOC_CONTROL(unit)->e.bitmap, 0);
}
