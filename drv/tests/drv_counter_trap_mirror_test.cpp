// Counter, statistics, trap, snoop and mirror services over the chip model.
#include "port_fixture.h"
#include "drv_counter.h"
#include "drv_mirror.h"
#include "drv_trap.h"
#include "sal_host.h"
#include "soc_error.h"

namespace {

class drv_services : public soc_test::UnitTest {
  protected:
    void SetUp() override {
        sal_clock_manual(1000000);
        start(sim::ChipKind::DXP7102A1);
    }
    void TearDown() override {
        sal_clock_real();  // tear-down waits (the L2 thread's stop) run on the real clock
        soc_test::UnitTest::TearDown();
    }
    static soc_pbmp_t ports(std::initializer_list<int> list) {
        soc_pbmp_t b{};
        for (int p : list)
            soc_pbmp_port_add(&b, p);
        return b;
    }
    uint64_t stat(int port, uint32_t id) {
        uint64_t v = ~0ull;
        EXPECT_EQ(drv_snmp_counter_get(0, port, id, &v), 0) << id;
        return v;
    }
    uint64_t field(const char *reg, uint64_t mask) { return board->chip().peek(reg) & mask; }
};

TEST_F(drv_services, StatisticsAreSumsOfCounterTotals) {
    sim::Chip &chip = board->chip();
    ASSERT_EQ(drv_counter_thread_set(0, DRV_COUNTER_THREAD_START, 0, 1000000, ports({2, 3})), 0);
    chip.mibAdd("RXUNICASTPKTS", 2, 10);
    chip.mibAdd("RXMULTICASTPKTS", 2, 20);
    chip.mibAdd("RXBROADCASTPKT", 2, 30);
    chip.mibAdd("RXFCSERRORS", 2, 4);
    chip.mibAdd("RXOCTETS", 2, 1u << 20);
    chip.mibAdd("RXOCTETS", 3, 9);
    ASSERT_EQ(drv_counter_thread_set(0, DRV_COUNTER_THREAD_SYNC, 0, 0, soc_pbmp_t{}), 0);
    EXPECT_EQ(stat(2, 0), 1u << 20);  // snmpIfInOctets
    EXPECT_EQ(stat(2, 2), 50u);       // multicast + broadcast
    EXPECT_EQ(stat(2, 18), 60u);      // every frame received without error
    EXPECT_EQ(stat(2, 35), 64u);      // ... and the errored ones
    EXPECT_EQ(stat(2, 37), 4u);

    // Clearing one statistic clears its counters; id 104 clears the ports.
    EXPECT_EQ(drv_snmp_counter_set(0, ports({2}), 2, 0), 0);
    EXPECT_EQ(stat(2, 18), 10u);
    EXPECT_EQ(drv_snmp_counter_set(0, ports({2}), DRV_SNMP_ALL_COUNTERS, 0), 0);
    EXPECT_EQ(stat(2, 0), 0u);
    EXPECT_EQ(stat(3, 0), 9u);

    uint64_t v = 77;
    EXPECT_EQ(drv_snmp_counter_get(0, 2, 12, &v), SOC_E_UNAVAIL);
    EXPECT_EQ(v, 77u);  // untouched
    EXPECT_EQ(drv_snmp_counter_get(0, 2, 70, &v), SOC_E_UNAVAIL);
    EXPECT_EQ(v, 0u);
    EXPECT_EQ(drv_snmp_counter_get(0, 2, 200, &v), SOC_E_PARAM);
    EXPECT_EQ(drv_snmp_counter_set(0, ports({3}), 0, 1), SOC_E_UNAVAIL);  // only clearing
    EXPECT_EQ(drv_snmp_counter_set(0, ports({3}), 38, 0), SOC_E_UNAVAIL);
    EXPECT_EQ(stat(3, 0), 9u);
    EXPECT_EQ(drv_counter_thread_set(0, 3, 0, 0, soc_pbmp_t{}), SOC_E_PARAM);

    // The hardware reset clears the chip's counters and the totals.
    ASSERT_EQ(drv_counter_reset(0), 0);
    EXPECT_EQ(chip.mibGet("RXOCTETS", 3), 0u);
    EXPECT_EQ(field("GMNGCFG", 0x1), 0u);
    EXPECT_EQ(stat(3, 0), 0u);
    ASSERT_EQ(drv_counter_thread_set(0, DRV_COUNTER_THREAD_STOP, 0, 0, soc_pbmp_t{}), 0);
    EXPECT_EQ(drv_counter_thread_set(0, DRV_COUNTER_THREAD_SYNC, 0, 0, soc_pbmp_t{}),
              SOC_E_DISABLED);
}

TEST_F(drv_services, TrapAndSnoopMasksProgramTheManagementControls) {
    ASSERT_EQ(drv_trap_set(0, DRV_TRAP_IGMP | DRV_TRAP_SEC_DROP | DRV_TRAP_BCAST), 0);
    uint32_t mask = 0;
    ASSERT_EQ(drv_trap_get(0, &mask), 0);
    EXPECT_EQ(mask, DRV_TRAP_IGMP | DRV_TRAP_SEC_DROP | DRV_TRAP_BCAST);
    EXPECT_EQ(field("NEW_CONTROL", 0x1), 1u);

    // An unsupported class: the management register part is applied, the
    // broadcast control is left as it was.
    EXPECT_EQ(drv_trap_set(0, 0x41), SOC_E_UNAVAIL);
    mask = 0;
    ASSERT_EQ(drv_trap_get(0, &mask), 0);
    EXPECT_EQ(mask, DRV_TRAP_BPDU | DRV_TRAP_BCAST);

    ASSERT_EQ(drv_trap_set(0, 0), 0);
    mask = 0;
    ASSERT_EQ(drv_trap_get(0, &mask), 0);
    EXPECT_EQ(mask, 0u);
    EXPECT_EQ(field("NEW_CONTROL", 0x1), 1u);  // never cleared

    EXPECT_EQ(drv_snoop_set(0, DRV_SNOOP_IGMP | 0x2), SOC_E_UNAVAIL);
    mask = 0;
    ASSERT_EQ(drv_trap_get(0, &mask), 0);
    EXPECT_EQ(mask, DRV_TRAP_IGMP);
    mask = 0;
    ASSERT_EQ(drv_snoop_get(0, &mask), 0);
    EXPECT_EQ(mask, DRV_SNOOP_IGMP);
}

TEST_F(drv_services, MirrorKeepsTheCapturePortWhileDisabledUnlessNoneIsGiven) {
    ASSERT_EQ(drv_mirror_set(0, 1, 5, ports({1, 2}), ports({26})), 0);
    EXPECT_EQ(field("MIRCAPCTL", 0x7ffffff), 0x20u);
    uint32_t enable = 0;
    int mport = -1;
    soc_pbmp_t in{}, out{};
    ASSERT_EQ(drv_mirror_get(0, &enable, &mport, &in, &out), 0);
    EXPECT_EQ(enable, 1u);
    EXPECT_EQ(mport, 5);
    EXPECT_EQ(in.w[0], 0x6u);
    EXPECT_EQ(out.w[0], 1u << 26);

    ASSERT_EQ(drv_mirror_set(0, 0, 0, soc_pbmp_t{}, soc_pbmp_t{}), 0);
    EXPECT_EQ(field("MIRCAPCTL", 0xffffffff), 0x20u);
    ASSERT_EQ(drv_mirror_get(0, &enable, &mport, &in, &out), 0);
    EXPECT_EQ(enable, 0u);
    EXPECT_EQ(mport, 5);  // the port, not the raw one-bit field
    EXPECT_EQ(in.w[0] | out.w[0], 0u);

    // Off with no port given: the chip holds none, as after a start.
    ASSERT_EQ(drv_mirror_set(0, 0, -1, soc_pbmp_t{}, soc_pbmp_t{}), 0);
    EXPECT_EQ(field("MIRCAPCTL", 0xffffffff), 0u);
    ASSERT_EQ(drv_mirror_get(0, &enable, &mport, &in, &out), 0);
    EXPECT_EQ(mport, -1);
    // On needs a port.
    EXPECT_EQ(drv_mirror_set(0, 1, -1, ports({1}), soc_pbmp_t{}), SOC_E_PORT);
}

TEST_F(drv_services, WideChipsMirrorPortsAboveTheFirstWord) {
    start(sim::ChipKind::DXP7101);
    const drv_if_t *svc = DRV_SERVICES(0);
    ASSERT_EQ(svc->mirror_set(0, 1, 40, ports({1, 45}), ports({33})), 0);
    EXPECT_EQ(board->chip().peek("MIRCAPCTL"), 1ull << 63 | 1ull << 40);
    uint32_t enable = 0;
    int mport = -1;
    soc_pbmp_t in{}, out{};
    ASSERT_EQ(svc->mirror_get(0, &enable, &mport, &in, &out), 0);
    EXPECT_EQ(mport, 40);
    EXPECT_EQ(in.w[0], 0x2u);
    EXPECT_EQ(in.w[1], 1u << 13);
    EXPECT_EQ(out.w[1], 0x2u);
}

class drv_counter_ports : public port_test::PortUnitTest {
  protected:
    void SetUp() override {
        sal_clock_manual(1000000);
        startPorts(sim::ChipKind::DXP7102A1);
    }
    void TearDown() override {
        sal_clock_real();  // tear-down waits (the L2 thread's stop) run on the real clock
        port_test::PortUnitTest::TearDown();
    }
};

TEST_F(drv_counter_ports, PauseFramesSentCountOnlyInFullDuplex) {
    for (int port : {2, 3}) {
        attach(port);
        board->chip().linkUp(port, sim::LinkPartner::forced(100, port == 2));
        ASSERT_EQ(drv_port_set(0, ports({port}), PROP_SPEED, 2), 0);
        ASSERT_EQ(drv_port_set(0, ports({port}), PROP_DUPLEX, port == 2 ? 2 : 1), 0);
        EXPECT_EQ(get(port, PROP_DUPLEX), port == 2 ? 2u : 1u);
    }
    ASSERT_EQ(drv_counter_thread_set(0, DRV_COUNTER_THREAD_START, 0, 1000000, ports({2, 3})), 0);
    board->chip().mibAdd("TXPAUSEPKTS", 2, 7);
    board->chip().mibAdd("TXPAUSEPKTS", 3, 7);
    ASSERT_EQ(drv_counter_thread_set(0, DRV_COUNTER_THREAD_SYNC, 0, 0, soc_pbmp_t{}), 0);
    uint64_t v = 0;
    ASSERT_EQ(drv_snmp_counter_get(0, 2, 55, &v), 0);  // snmpDot3OutPauseFrames
    EXPECT_EQ(v, 7u);
    ASSERT_EQ(drv_snmp_counter_get(0, 3, 55, &v), 0);
    EXPECT_EQ(v, 0u);
}

}  // namespace
