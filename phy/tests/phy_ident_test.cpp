// Identification and probe over the chip model: which driver each port gets,
// the properties and boot flags that force the null driver or TBI, and the
// link that port status then reads from the model.
#include "chipdata/ids.h"
#include "phy_fixture.h"

namespace {

using phy_test::PhyTest;

class phy_ident : public PhyTest {};

TEST_F(phy_ident, IdentifiersPickTheDriverAndFillTheRecord) {
    EXPECT_EQ(phy_oui_model_lookup(phy_id0(PHY_OUI_KEY_D), phy_id1(PHY_OUI_KEY_D, 0x0c, 1)), 15u);
    EXPECT_EQ(phy_oui_model_lookup(phy_id0(PHY_OUI_KEY_C), phy_id1(PHY_OUI_KEY_C, 0x02, 0)), 7u);
    EXPECT_EQ(phy_oui_model_lookup(0xffff, 0xffff), 0u);

    startPhy(sim::ChipKind::DXP7101);
    EXPECT_EQ(soc_phy_addr_to_port(0, 5), 4);
    EXPECT_STREQ(soc_phy_name_get(0, 4), "<Unnamed PHY>");
    EXPECT_EQ(attach(4), &phy_631x_drv);
    EXPECT_STREQ(soc_phy_name_get(0, 4), "DXP7101/FE");
    EXPECT_EQ(soc_phy_id0_get(0, 4), phy_id0(PHY_OUI_KEY_B));
    EXPECT_EQ(soc_phy_an_timeout_get(0, 4), 250000u);
    // No PHY on a gigabit port: the chip's SERDES.
    const int ge = unit0()->ge.min;
    EXPECT_EQ(attach(ge), &phy_serdes_drv);
    EXPECT_STREQ(soc_phy_name_get(0, ge), "Serdes");
    EXPECT_EQ(soc_phy_info(0, ge)->phy_flags, PHY_FLAGS_SERDES | PHY_FLAGS_FIBER);
    EXPECT_EQ(soc_phy_addr_int_get(0, ge), ge + 1);
}

TEST_F(phy_ident, ModelsWithoutARowFallBackByPortClass) {
    startPhy(sim::ChipKind::DXP7102A1);
    EXPECT_EQ(attach(25), &phy_ge_drv);
    EXPECT_STREQ(soc_phy_name_get(0, 25), "DXP6405");
    // A known model number without an identification row.
    chip().phyPoke(3, 2, phy_id0(PHY_OUI_KEY_A));
    chip().phyPoke(3, 3, phy_id1(PHY_OUI_KEY_A, 0x09, 0));
    EXPECT_EQ(attach(3), &phy_fe_drv);
    EXPECT_STREQ(soc_phy_name_get(0, 3), "Unknown");
    chip().phyPoke(26, 2, phy_id0(PHY_OUI_KEY_D));
    chip().phyPoke(26, 3, phy_id1(PHY_OUI_KEY_D, PHY_MODEL_6412, 0));
    EXPECT_EQ(attach(26), &phy_640x_drv);
    EXPECT_STREQ(soc_phy_name_get(0, 26), "DXP6412");
}

TEST_F(phy_ident, PropertiesAndBootFlagsForceTheNullDriverOrTbi) {
    startPhy(sim::ChipKind::DXP7102A1);
    sal_config_set("phy_null_fe3", "1");
    sal_config_set("if_tbi", "1");
    EXPECT_EQ(attach(3), &phy_null);
    EXPECT_STREQ(soc_phy_name_get(0, 3), "Null");
    EXPECT_TRUE(soc_phy_info(0, 3)->phy_flags & PHY_FLAGS_TBI);
    EXPECT_EQ(attach(2), &phy_631x_drv);

    // Interface straps of the gigabit ports: 2 marks TBI.
    chip().poke("STRAP_STS", 0, 2u << 18);
    EXPECT_EQ(attach(26), &phy_ge_drv);
    EXPECT_TRUE(soc_phy_info(0, 26)->phy_flags & PHY_FLAGS_TBI);
    sal_config_set("if_tbi", nullptr);
    EXPECT_EQ(attach(25), &phy_ge_drv);
    EXPECT_FALSE(soc_phy_info(0, 25)->phy_flags & PHY_FLAGS_TBI);

    sal_boot_flags_set(0x20000);
    logAccesses();
    EXPECT_EQ(attach(5), &phy_null);
    sal_boot_flags_set(0x20000 | 0x80000);
    EXPECT_EQ(attach(6), &phy_631x_drv);
    sal_boot_flags_set(0);
    sal_config_set("phy_enable", "0");
    EXPECT_EQ(attach(7), &phy_null);
    EXPECT_TRUE(phyWrites(5).empty());
    EXPECT_TRUE(phyWrites(7).empty());
}

TEST_F(phy_ident, PortStatusFollowsTheCableThroughTheDriver) {
    startPhy(sim::ChipKind::DXP7101);
    attach(4);
    uint32_t up = 1;
    ASSERT_EQ(drv_port_status_get(0, 4, PORT_STATUS_LINK, &up), 0);
    EXPECT_EQ(up, 0u);
    chip().linkUp(4, sim::LinkPartner::autonegotiating(sim::kAbilityAll));
    ASSERT_EQ(drv_port_status_get(0, 4, PORT_STATUS_LINK, &up), 0);
    EXPECT_EQ(up, 1u);
    uint32_t speed = 0;
    ASSERT_EQ(drv_port_status_get(0, 4, PORT_STATUS_SPEED, &speed), 0);
    EXPECT_EQ(speed, 2u);
    chip().linkDown(4);
    ASSERT_EQ(drv_port_status_get(0, 4, PORT_STATUS_LINK, &up), 0);
    EXPECT_EQ(up, 0u);
}

}  // namespace
