// DXP7102 trunk registers and the hash-field choice.
#include "drv_if.h"
#include "drv_trunk.h"
#include "port_fixture.h"

namespace {

class drv_trunk : public soc_test::UnitTest {
  protected:
    void SetUp() override { start(sim::ChipKind::DXP7102A1); }
    uint64_t reg(const char *name) { return board->chip().peek(name); }
    const drv_if_t *svc() { return DRV_SERVICES(0); }
    static soc_pbmp_t bits(uint32_t w) { return soc_pbmp_t{{w, 0}}; }
    static constexpr uint32_t kAdd = DRV_TRUNK_FLAG_ENABLE | DRV_TRUNK_FLAG_BITMAP;
};

TEST_F(drv_trunk, GroupsTakeOnlyTheirKindOfPort) {
    // A gigabit port in a fast-Ethernet group: refused, trunking already on.
    EXPECT_EQ(svc()->trunk_set(0, 0, bits(0x3 | 1u << 25), kAdd, 0), SOC_E_PARAM);
    EXPECT_EQ(reg("GLOBAL_TRUNK_CTL"), 0x2u);
    EXPECT_EQ(reg("TRUNK_GRP0_CTL"), 0u);
    ASSERT_EQ(svc()->trunk_set(0, 1, bits(0x30), kAdd, 0), 0);
    soc_pbmp_t got{};
    uint32_t hash = 0;
    ASSERT_EQ(svc()->trunk_get(0, 1, &got, DRV_TRUNK_FLAG_BITMAP, &hash), 0);
    EXPECT_EQ(got.w[0], 0x30u);
    ASSERT_EQ(svc()->trunk_set(0, 1, bits(0), DRV_TRUNK_FLAG_DISABLE, 0), 0);
    EXPECT_EQ(reg("TRUNK_GRP1_CTL"), 0u);

    // The gigabit pair only as a whole.
    const uint32_t ge = (1u << 25) | (1u << 26);
    ASSERT_EQ(svc()->trunk_set(0, 2, bits(1u << 25), DRV_TRUNK_FLAG_ENABLE, 0), 0);
    EXPECT_EQ(reg("GLOBAL_TRUNK_CTL") & 1, 0u);
    ASSERT_EQ(svc()->trunk_get(0, 2, &got, DRV_TRUNK_FLAG_BITMAP, &hash), 0);
    EXPECT_EQ(got.w[0], 0u);
    ASSERT_EQ(svc()->trunk_set(0, 2, bits(ge), DRV_TRUNK_FLAG_ENABLE, 0), 0);
    ASSERT_EQ(svc()->trunk_get(0, 2, &got, DRV_TRUNK_FLAG_BITMAP, &hash), 0);
    EXPECT_EQ(got.w[0], ge);
    EXPECT_EQ(svc()->trunk_set(0, 2, bits(0x1), kAdd, 0), SOC_E_PARAM);
    EXPECT_EQ(svc()->trunk_set(0, 3, bits(0x1), kAdd, 0), SOC_E_PARAM);
}

TEST_F(drv_trunk, LastHashFieldFallsBackToTheStoredSelection) {
    uint32_t hash = 0;
    soc_pbmp_t none{};
    ASSERT_EQ(svc()->trunk_set(0, 0, none, DRV_TRUNK_FLAG_HASH, 0x3), 0);
    ASSERT_EQ(svc()->trunk_get(0, 0, &none, DRV_TRUNK_FLAG_HASH, &hash), 0);
    EXPECT_EQ(hash, 3u);
    ASSERT_EQ(svc()->trunk_hash_field_remove(0, 0x1), 0);
    EXPECT_EQ(reg("GLOBAL_TRUNK_CTL") >> 3, 1u);  // field 0x2 alone
    ASSERT_EQ(svc()->trunk_set(0, 0, none, DRV_TRUNK_FLAG_HASH, 0x1), 0);
    ASSERT_EQ(svc()->trunk_hash_field_remove(0, 0x2), 0);
    EXPECT_EQ(reg("GLOBAL_TRUNK_CTL") >> 3, 2u);  // the selection last made: field 0x1
    ASSERT_EQ(svc()->trunk_hash_field_add(0, 0x2), 0);
    EXPECT_EQ(reg("GLOBAL_TRUNK_CTL") >> 3, 0u);
    board->chip().poke("GLOBAL_TRUNK_CTL", 0, 3u << 3);
    EXPECT_EQ(svc()->trunk_hash_field_add(0, 0x1), SOC_E_INTERNAL);
    EXPECT_EQ(svc()->trunk_hash_field_remove(0, 0x1), SOC_E_INTERNAL);
    ASSERT_EQ(svc()->trunk_set(0, 0, none, DRV_TRUNK_FLAG_HASH, 0x3), 0);  // for other tests
}

}  // namespace
