// Chip VLAN switches on every chip model.
#include "drv_if.h"
#include "drv_vlan.h"
#include "port_fixture.h"

namespace {

class drv_vlan : public soc_test::UnitTest, public ::testing::WithParamInterface<sim::ChipKind> {
  protected:
    void SetUp() override { start(GetParam()); }
    uint64_t reg(const char *name, int index = 0) { return board->chip().peek(name, index); }
    const drv_if_t *svc() { return DRV_SERVICES(0); }
};

TEST_P(drv_vlan, ModeOffKeepsTheTaggingOptions) {
    uint32_t mode = 0;
    ASSERT_EQ(svc()->vlan_mode_set(0, DRV_VLAN_MODE_TAG), 0);
    ASSERT_EQ(svc()->vlan_mode_get(0, &mode), 0);
    EXPECT_EQ(mode, DRV_VLAN_MODE_TAG);
    EXPECT_EQ(reg("VLAN_CTRL4") & 0xf0, 0x70u);
    ASSERT_EQ(svc()->vlan_mode_set(0, DRV_VLAN_MODE_NONE), 0);
    ASSERT_EQ(svc()->vlan_mode_get(0, &mode), 0);
    EXPECT_EQ(mode, DRV_VLAN_MODE_NONE);
    EXPECT_EQ(reg("VLAN_CTRL2"), 0x10u);
    EXPECT_EQ(reg("VLAN_CTRL4") & 0xf0, 0x70u);
    EXPECT_EQ(svc()->vlan_mode_set(0, 3), SOC_E_PARAM);
}

TEST_P(drv_vlan, DefaultTagIsWrittenWhole) {
    ASSERT_EQ(svc()->port_vlan_pvid_set(0, 3, 100, 5), 0);
    EXPECT_EQ(reg("DEFAULT_1Q_TAG", 3), 0xa064u);
    uint32_t vid = 0, prio = 0;
    ASSERT_EQ(svc()->port_vlan_pvid_get(0, 3, &vid, &prio), 0);
    EXPECT_EQ(vid, 100u);
    EXPECT_EQ(prio, 5u);
    EXPECT_EQ(svc()->port_vlan_pvid_set(0, 3, 0x1000, 0), SOC_E_PARAM);
    EXPECT_EQ(svc()->port_vlan_pvid_set(0, 3, 1, 8), SOC_E_PARAM);
    EXPECT_EQ(reg("DEFAULT_1Q_TAG", 3), 0xa064u);
}

TEST_P(drv_vlan, PortBasedVlanBitmap) {
    const soc_control_t *s = unit0();
    const int last = s->all.max;
    soc_pbmp_t b{};
    soc_pbmp_port_add(&b, 0);
    soc_pbmp_port_add(&b, last);
    ASSERT_EQ(svc()->port_vlan_set(0, last, b), 0);
    soc_pbmp_t got{};
    ASSERT_EQ(svc()->port_vlan_get(0, last, &got), 0);
    EXPECT_EQ(got.w[0], b.w[0]);
    EXPECT_EQ(got.w[1], b.w[1]);
    soc_pbmp_port_add(&b, last + 1);  // no such port
    EXPECT_EQ(svc()->port_vlan_set(0, last, b), SOC_E_PARAM);
}

TEST_P(drv_vlan, SharedLearningReadsBackInverted) {
    uint32_t v = 9;
    ASSERT_EQ(svc()->vlan_prop_set(0, DRV_VLAN_PROP_SHARED_LEARN, 1), 0);
    EXPECT_EQ((reg("VLAN_CTRL0") >> 5) & 3, 0u);
    ASSERT_EQ(svc()->vlan_prop_get(0, DRV_VLAN_PROP_SHARED_LEARN, &v), 0);
    EXPECT_EQ(v, 0u);
    ASSERT_EQ(svc()->vlan_prop_set(0, DRV_VLAN_PROP_SHARED_LEARN, 0), 0);
    EXPECT_EQ((reg("VLAN_CTRL0") >> 5) & 3, 3u);
    ASSERT_EQ(svc()->vlan_prop_get(0, DRV_VLAN_PROP_SHARED_LEARN, &v), 0);
    EXPECT_EQ(v, 1u);
    ASSERT_EQ(svc()->vlan_prop_set(0, DRV_VLAN_PROP_VTABLE_MISS_DROP, 5), 0);
    ASSERT_EQ(svc()->vlan_prop_get(0, DRV_VLAN_PROP_VTABLE_MISS_DROP, &v), 0);
    EXPECT_EQ(v, 1u);
    EXPECT_EQ(svc()->vlan_prop_set(0, 1, 0), SOC_E_PARAM);
    EXPECT_EQ(svc()->vlan_prop_get(0, 1, &v), SOC_E_PARAM);
}

INSTANTIATE_TEST_SUITE_P(models, drv_vlan,
                         ::testing::Values(sim::ChipKind::DXP7102A1, sim::ChipKind::DXP7106,
                                           sim::ChipKind::DXP7101),
                         port_test::chip_name);

}  // namespace
