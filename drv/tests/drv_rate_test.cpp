// Rate-limit codes and the storm-control bucket of the ingress limiter.
#include "chipdata/chipdata.h"
#include "drv_if.h"
#include "drv_rate.h"
#include "drv_reg_value.h"
#include "port_fixture.h"

namespace {

class drv_rate : public soc_test::UnitTest {
  protected:
    const drv_if_t *svc() { return DRV_SERVICES(0); }
    uint32_t field(int port, uint32_t f) {
        DrvRegValue v(0, R_PORT_IRC_CON, port);
        EXPECT_EQ(v.read(), 0);
        return v.get(f);
    }
};

TEST_F(drv_rate, CodesOfLimitsAndBursts) {
    const uint32_t limits[] = {64, 65, 1792, 1793, 102400, 1024000, 1024001};
    const uint32_t codes[] = {1, 2, 28, 28, 127, 240, 255};
    for (size_t i = 0; i < std::size(limits); i++)
        EXPECT_EQ(drv_rate_code(limits[i]), codes[i]) << limits[i];
    EXPECT_EQ(drv_rate_decode(240), 1024000);
    EXPECT_EQ(drv_rate_decode(241), -1);
    EXPECT_EQ(drv_bucket_code(100), 2u);
    EXPECT_EQ(drv_bucket_decode(2), 144);
    EXPECT_EQ(drv_bucket_decode(6), -1);
}

TEST_F(drv_rate, IngressNoLimitKeepsEnableWithTheOpenBurst) {
    start(sim::ChipKind::DXP7102A1);
    ASSERT_EQ(svc()->rate_set(0, 1u << 5, 0, DRV_RATE_INGRESS, 2000, 100), 0);
    uint32_t limit = 0, burst = 0;
    ASSERT_EQ(svc()->rate_get(0, 5, DRV_RATE_INGRESS, &limit, &burst), 0);
    EXPECT_EQ(limit * 10000 + burst, 1792u * 10000 + 144);  // 2000 in the 1024 steps
    ASSERT_EQ(svc()->rate_set(0, 1u << 5, 0, DRV_RATE_INGRESS, 2000, 1040), 0);
    ASSERT_EQ(svc()->rate_set(0, 1u << 5, 0, DRV_RATE_INGRESS, 0, 0), 0);
    ASSERT_EQ(svc()->rate_get(0, 5, DRV_RATE_INGRESS, &limit, &burst), 0);
    EXPECT_EQ(limit + burst, 0u);
    EXPECT_EQ(field(5, F_ING_RC_EN), 1u);
    // The open limiter that carries the storm bucket, as at start.
    EXPECT_EQ(field(5, F_BUCKET_SIZE0), 2u);
    EXPECT_EQ(svc()->rate_set(0, 1u << 5, 0, 3, 2000, 100), SOC_E_PARAM);
    EXPECT_EQ(svc()->rate_set(0, 1u << 5, 0, DRV_RATE_EGRESS, 1024001, 100), SOC_E_PARAM);
}

// Limits removed leave the limiters' registers as a unit that never had
// one: a factory reset reads back as a first boot.
TEST_F(drv_rate, RemovedLimitsLeaveTheRegistersOfAUnitThatNeverHadThem) {
    start(sim::ChipKind::DXP7101);
    const int p = 6;
    // As at start-up: the storm bucket on, no limits loaded.
    ASSERT_EQ(svc()->storm_control_enable_set(0, p, 1), 0);
    ASSERT_EQ(svc()->rate_set(0, 1u << p, 0, DRV_RATE_INGRESS, 0, 0), 0);
    ASSERT_EQ(svc()->rate_set(0, 1u << p, 0, DRV_RATE_EGRESS, 0, 0), 0);
    DrvRegValue before(0, R_PORT_IRC_CON, p), egress_before(0, R_PORT_ERC_CON, p);
    ASSERT_EQ(before.read(), 0);
    ASSERT_EQ(egress_before.read(), 0);
    ASSERT_EQ(svc()->rate_set(0, 1u << p, 0, DRV_RATE_INGRESS, 2000, 1040), 0);
    ASSERT_EQ(svc()->rate_set(0, 1u << p, 0, DRV_RATE_EGRESS, 2000, 1040), 0);
    ASSERT_EQ(svc()->storm_control_set(0, 1u << p, 0, DRV_STORM_BCAST, 500, 1040), 0);
    ASSERT_EQ(svc()->storm_control_set(0, 1u << p, 0, DRV_STORM_BCAST, 0, 0), 0);
    ASSERT_EQ(svc()->rate_set(0, 1u << p, 0, DRV_RATE_INGRESS, 0, 0), 0);
    ASSERT_EQ(svc()->rate_set(0, 1u << p, 0, DRV_RATE_EGRESS, 0, 0), 0);
    DrvRegValue after(0, R_PORT_IRC_CON, p), egress_after(0, R_PORT_ERC_CON, p);
    ASSERT_EQ(after.read(), 0);
    ASSERT_EQ(egress_after.read(), 0);
    EXPECT_EQ(after.words()[0], before.words()[0]);
    EXPECT_EQ(after.words()[1], before.words()[1]);
    EXPECT_EQ(egress_after.words()[0], egress_before.words()[0]);
}

TEST_F(drv_rate, StormClassesOfTheTwentySixPortChipSitInItsSuppressionFields) {
    start(sim::ChipKind::DXP7102A1);
    auto sup = [](int port, uint32_t f) {
        DrvRegValue v(0, port < 16 ? R_MCAST_SUP0 : R_MCAST_SUP1, 0);
        EXPECT_EQ(v.read(), 0);
        return v.get(f);
    };
    ASSERT_EQ(svc()->storm_control_enable_set(0, 17, 1), 0);
    EXPECT_EQ(sup(17, F_EN_P17_SUP), 1u);
    EXPECT_EQ(field(17, F_ING_RC_EN), 1u);  // the limiter carries the storm bucket
    ASSERT_EQ(svc()->storm_control_set(0, 1u << 17 | 1u << 3, 0, DRV_STORM_BCAST, 500, 0), 0);
    EXPECT_EQ(sup(17, F_EN_P17_BCAST) * 100 + sup(17, F_EN_P17_MCAST) * 10 + sup(17, F_EN_P17_DLF),
              100u);
    EXPECT_EQ(sup(3, F_EN_P3_BCAST), 1u);
    EXPECT_EQ(sup(16, F_EN_P16_BCAST), 0u);  // other ports keep theirs
    EXPECT_EQ(field(17, F_REF_CNT1), 8u);
    uint32_t type = 0, limit = 0, burst = 0;
    ASSERT_EQ(svc()->storm_control_get(0, 17, &type, &limit, &burst), 0);
    EXPECT_EQ(type, DRV_STORM_BCAST);
    EXPECT_EQ(limit, 512u);
    ASSERT_EQ(svc()->storm_control_set(0, 1u << 17, 0, DRV_STORM_BCAST | DRV_STORM_DLF, 0, 0), 0);
    ASSERT_EQ(svc()->storm_control_get(0, 17, &type, &limit, &burst), 0);
    EXPECT_EQ(type, 0u);
    EXPECT_EQ(field(17, F_REF_CNT1), 0u);
}

TEST_F(drv_rate, StormClassesAndLimitOfAPort) {
    start(sim::ChipKind::DXP7101);
    const int p = 3;
    ASSERT_EQ(svc()->storm_control_set(0, 0xff, 0, DRV_STORM_BCAST | DRV_STORM_DLF, 100, 0), 0);
    ASSERT_EQ(svc()->storm_control_set(0, 1u << p, 0, DRV_STORM_MCAST, 500, 0), 0);
    EXPECT_EQ(field(p, F_PKT_MSK1), 0x12u);
    EXPECT_EQ(field(p, F_REF_CNT1), 8u);
    EXPECT_EQ(field(4, F_PKT_MSK1), 0x28u);  // other ports keep theirs

    uint32_t type = 0, limit = 0, burst = 0;
    ASSERT_EQ(svc()->storm_control_get(0, p, &type, &limit, &burst), 0);
    EXPECT_EQ(type, DRV_STORM_MCAST);
    EXPECT_EQ(limit, 512u);
    // With its last class gone the port's bucket is as if it never had one;
    // a class still on keeps it.
    ASSERT_EQ(svc()->storm_control_set(0, 1u << 4, 0, DRV_STORM_DLF, 0, 0), 0);
    EXPECT_EQ(field(4, F_PKT_MSK1), 0x08u);
    EXPECT_EQ(field(4, F_REF_CNT1), 2u);
    ASSERT_EQ(svc()->storm_control_set(0, 1u << p, 0, DRV_STORM_MCAST, 640, 1040), 0);
    ASSERT_EQ(svc()->storm_control_set(0, 1u << p, 0, 0x7, 0, 0), 0);
    EXPECT_EQ(field(p, F_PKT_MSK1), 0u);
    EXPECT_EQ(field(p, F_REF_CNT1), 0u);
    EXPECT_EQ(field(p, F_BUCKET_SIZE1), 0u);
    ASSERT_EQ(svc()->storm_control_set(0, 1u << p, 0, DRV_STORM_MCAST, 500, 0), 0);

    // Too high a limit or a burst beyond the largest bucket is refused before
    // anything of the port is switched.
    EXPECT_EQ(svc()->storm_control_set(0, 1u << p, 0, DRV_STORM_BCAST, 2000000, 0), SOC_E_PARAM);
    EXPECT_EQ(field(p, F_PKT_MSK1), 0x12u);
    EXPECT_EQ(field(p, F_REF_CNT1), 8u);
    EXPECT_EQ(svc()->storm_control_set(0, 1u << p, 0, DRV_STORM_BCAST, 640, 1041), SOC_E_PARAM);
    EXPECT_EQ(field(p, F_PKT_MSK1), 0x12u);
    ASSERT_EQ(svc()->storm_control_set(0, 1u << p, 0, DRV_STORM_BCAST, 640, 1040), 0);
    EXPECT_EQ(field(p, F_BUCKET_SIZE1), 5u);

    uint8_t enable = 0;
    ASSERT_EQ(svc()->storm_control_enable_set(0, 50, 1), 0);
    ASSERT_EQ(svc()->storm_control_enable_get(0, 50, &enable), 0);
    EXPECT_EQ(enable, 1);
    EXPECT_EQ(field(50, F_DROP_EN1), 1u);
}

}  // namespace
