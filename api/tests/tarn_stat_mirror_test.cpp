// Statistics, IGMP snooping and mirroring of the family on a unit over the
// chip model.
#include "../../soc/tests/unit_fixture.h"
#include "dxp.h"
#include "dxp_tarn.h"
#include "sal_host.h"

namespace {

class tarn_modules : public soc_test::UnitTest {
  protected:
    void SetUp() override {
        sal_clock_manual(1000000);
        start(sim::ChipKind::DXP7102A1);
        ASSERT_EQ(dxp_attach(0, DXP_DEFAULT_FAMILY, nullptr, 0), 0);
    }
    void TearDown() override {
        sal_clock_real();  // tear-down waits (the L2 thread's stop) run on the real clock
        dxp_detach(0);
        soc_test::UnitTest::TearDown();
    }
    uint64_t reg(const char *name) { return board->chip().peek(name); }
};

TEST_F(tarn_modules, StatisticsCountClearAndReadTheLowHalf) {
    ASSERT_EQ(dxp_stat_init(0), 0);
    board->chip().mibAdd("TXOCTETS", 4, 0x100000007ull);
    board->chip().mibAdd("TXUNICASTPKTS", 4, 3);
    ASSERT_EQ(dxp_stat_sync(0), 0);
    uint64_t v = 0;
    ASSERT_EQ(dxp_stat_get(0, 4, 60, &v), 0);  // snmpIfHCOutOctets
    EXPECT_EQ(v, 0x100000007ull);
    uint32_t low = 0;
    ASSERT_EQ(dxp_stat_get32(0, 4, 60, &low), 0);
    EXPECT_EQ(low, 7u);

    // A statistic the chip does not count stores nothing half-read.
    low = 0xdeadbeef;
    EXPECT_EQ(dxp_stat_get32(0, 4, 12, &low), DXP_E_UNAVAIL);
    EXPECT_EQ(low, 0u);

    ASSERT_EQ(dxp_stat_clear(0, 4), 0);
    for (int id : {60, 7}) {
        ASSERT_EQ(dxp_stat_get(0, 4, id, &v), 0);
        EXPECT_EQ(v, 0u) << id;
    }
}

TEST_F(tarn_modules, IgmpSnoopingIsOnAfterInit) {
    int enable = -1;
    EXPECT_EQ(dxp_igmp_snooping_enable_get(0, &enable), DXP_E_INIT);
    ASSERT_EQ(dxp_igmp_snooping_init(0), 0);
    ASSERT_EQ(dxp_igmp_snooping_enable_get(0, &enable), 0);
    EXPECT_EQ(enable, 1);
    EXPECT_EQ(reg("GMNGCFG") & 0x8, 0x8u);
    ASSERT_EQ(dxp_igmp_snooping_enable_set(0, 0), 0);
    ASSERT_EQ(dxp_igmp_snooping_enable_get(0, &enable), 0);
    EXPECT_EQ(enable, 0);
    EXPECT_EQ(reg("GMNGCFG") & 0x8, 0u);
}

TEST_F(tarn_modules, MirroringFollowsModeMirrorToPortAndPortFlags) {
    EXPECT_EQ(dxp_mirror_ingress_set(0, 3, 1), DXP_E_INIT);
    EXPECT_EQ(dxp_mirror_port_set(0, 3, 0, 5, 0x3), DXP_E_INIT);
    ASSERT_EQ(dxp_mirror_init(0), 0);

    // L2 mode waits for a mirror-to port.
    ASSERT_EQ(dxp_mirror_mode_set(0, 1), 0);
    EXPECT_EQ(reg("MIRCAPCTL"), 0u);
    ASSERT_EQ(dxp_mirror_to_set(0, 5), 0);
    EXPECT_EQ(reg("MIRCAPCTL"), 0x80000020u);
    int mode = -1, to = -1;
    ASSERT_EQ(dxp_mirror_mode_get(0, &mode), 0);
    ASSERT_EQ(dxp_mirror_to_get(0, &to), 0);
    EXPECT_EQ(mode, 1);
    EXPECT_EQ(to, 5);

    ASSERT_EQ(dxp_mirror_ingress_set(0, 3, 1), 0);
    ASSERT_EQ(dxp_mirror_egress_set(0, 4, 1), 0);
    EXPECT_EQ(reg("IGMIRCTL"), 0x8u);
    EXPECT_EQ(reg("EGMIRCTL"), 0x10u);
    int on = 0;
    ASSERT_EQ(dxp_mirror_ingress_get(0, 3, &on), 0);
    EXPECT_EQ(on, 1);
    ASSERT_EQ(dxp_mirror_egress_get(0, 3, &on), 0);
    EXPECT_EQ(on, 0);

    ASSERT_EQ(dxp_mirror_port_set(0, 6, 0, 7, 0x6), 0);
    int mod = -1;
    uint32_t flags = 0;
    ASSERT_EQ(dxp_mirror_port_get(0, 6, &mod, &to, &flags), 0);
    EXPECT_EQ(flags, 0x7u);
    EXPECT_EQ(to, 7);
    ASSERT_EQ(dxp_mirror_port_set(0, 6, 0, 7, 0), 0);
    flags = 0xff;
    ASSERT_EQ(dxp_mirror_port_get(0, 6, &mod, &to, &flags), 0);
    EXPECT_EQ(flags, 0u);

    EXPECT_EQ(dxp_mirror_mode_set(0, 2), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_mirror_mode_set(0, 3), DXP_E_PARAM);
    EXPECT_EQ(dxp_mirror_port_set(0, 6, 0, 60, 0x6), DXP_E_PORT);
    EXPECT_EQ(dxp_mirror_port_set(0, 6, 0, 7, 0xa), DXP_E_PARAM);
    EXPECT_EQ(dxp_mirror_port_set(0, 6, 1, 7, 0x2), DXP_E_PARAM);
    EXPECT_EQ(dxp_mirror_to_pbmp_set(0, 6, dxp_pbmp_t{}), DXP_E_UNAVAIL);

    // Off clears both bitmaps in the chip.
    ASSERT_EQ(dxp_mirror_mode_set(0, 0), 0);
    EXPECT_EQ(reg("IGMIRCTL") | reg("EGMIRCTL"), 0u);
    EXPECT_EQ(reg("MIRCAPCTL"), 0x80u);  // disabled, the capture port kept

    // A new init is a start: no mirror-to port, in the records or the chip.
    ASSERT_EQ(dxp_mirror_mode_set(0, 1), 0);
    ASSERT_EQ(dxp_mirror_init(0), 0);
    EXPECT_EQ(reg("MIRCAPCTL") | reg("IGMIRCTL") | reg("EGMIRCTL"), 0u);
    ASSERT_EQ(dxp_mirror_to_get(0, &to), 0);
    ASSERT_EQ(dxp_mirror_mode_get(0, &mode), 0);
    EXPECT_EQ(to * 10 + mode, -10);
}

}  // namespace
