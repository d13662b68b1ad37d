// Configuration properties in their unit, chip, group and port forms, and the
// device properties and services of the chip service tables.
#include <gtest/gtest.h>

#include "chipdata/ids.h"
#include "drv_cfp.h"
#include "drv_if.h"
#include "sal_config.h"
#include "soc_property.h"
#include "unit_fixture.h"

namespace {

using soc_test::UnitTest;
using soc_unit_prop = UnitTest;

TEST_F(soc_unit_prop, UnitThenChipThenGroupThenPlainName) {
    start(sim::ChipKind::DXP7102A1);
    ASSERT_EQ(add_device(DXP7102_DEVICE_ID, 0), 1);
    sal_config_set("speed", "1");
    EXPECT_EQ(soc_property_get(0, "speed", -1), 1);
    sal_config_set("speed.DXP7102", "2");
    EXPECT_EQ(soc_property_get(0, "speed", -1), 2);
    sal_config_set("speed.DXP7102_A1", "3");
    EXPECT_EQ(soc_property_get(0, "speed", -1), 3);
    EXPECT_EQ(soc_property_get(1, "speed", -1), 2);  // an A0 unit
    sal_config_set("speed.0", "0x10");
    EXPECT_EQ(soc_property_get(0, "speed", -1), 16);
    EXPECT_EQ(soc_property_get(-1, "speed", -1), 1);  // a negative unit asks the plain name
    EXPECT_EQ(soc_property_get(0, "absent", 42), 42);
    EXPECT_EQ(soc_property_get_str(0, "absent"), nullptr);
    EXPECT_STREQ(soc_property_get_str(1, "speed"), "2");
}

TEST_F(soc_unit_prop, ValidPortsOfEachUnit) {
    start(sim::ChipKind::DXP7102A1, sim::BusMode::Direct, false);
    sal_config_set("pbmp_valid.0", "0x07fffff0");
    sal_config_set("pbmp_valid", "0x07ffff0f");
    ASSERT_EQ(sysconf_attach(0), 0);
    ASSERT_EQ(add_device(DXP7102_DEVICE_ID, 1), 1);
    EXPECT_FALSE(SOC_PORT_VALID(0, 3));
    EXPECT_TRUE(SOC_PORT_VALID(0, 4));
    EXPECT_TRUE(SOC_PORT_VALID(1, 3));
    EXPECT_FALSE(SOC_PORT_VALID(1, 4));
}

TEST_F(soc_unit_prop, PortPropertiesByNameTypeAndPosition) {
    start(sim::ChipKind::DXP7102A1);
    sal_config_set("mode_fe", "7");
    sal_config_set("mode_fe12", "12");
    sal_config_set("mode_port26", "26");  // port 25 (ge0): 24 fe ports and the CPU before it
    sal_config_set("mode", "1");
    EXPECT_EQ(soc_property_port_get(0, 0, "mode", -1), 7);
    EXPECT_EQ(soc_property_port_get(0, 23, "mode", -1), 7);
    EXPECT_EQ(soc_property_port_get(0, 12, "mode", -1), 12);
    EXPECT_EQ(soc_property_port_get(0, 25, "mode", -1), 26);
    EXPECT_EQ(soc_property_port_get(0, 26, "mode", -1), 1);
    sal_config_set("mode", nullptr);
    EXPECT_EQ(soc_property_port_get(0, 26, "mode", -1), -1);
    sal_config_set("mode_ge.0", "5");
    EXPECT_EQ(soc_property_port_get(0, 26, "mode", -1), 5);
}

TEST_F(soc_unit_prop, NumberedAndBitmapProperties) {
    start(sim::ChipKind::DXP7101);
    sal_config_set("depth_cos2", "9");
    sal_config_set("depth", "4");
    sal_config_set("rate_ch1", "0x20");
    EXPECT_EQ(soc_property_cos_get(0, 2, "depth", -1), 9);
    EXPECT_EQ(soc_property_cos_get(0, 3, "depth", -1), 4);
    EXPECT_EQ(soc_property_ch_get(0, 1, "rate", -1), 32);
    EXPECT_EQ(soc_property_ch_get(0, 2, "rate", -1), -1);

    soc_pbmp_t bmp = soc_property_get_pbmp(0, "ports", 0);
    EXPECT_TRUE(soc_pbmp_is_null(bmp));
    bmp = soc_property_get_pbmp(0, "ports", 1);
    EXPECT_EQ(bmp.w[0], ~0u);
    EXPECT_EQ(bmp.w[1], ~0u);
    sal_config_set("ports", "0x1f000000ff");
    bmp = soc_property_get_pbmp(0, "ports", 1);
    EXPECT_EQ(bmp.w[0], 0xffu);
    EXPECT_EQ(bmp.w[1], 0x1fu);
    sal_config_set("ports", "fast");
    EXPECT_TRUE(soc_pbmp_is_null(soc_property_get_pbmp(0, "ports", 1)));
}

TEST_F(soc_unit_prop, DevicePropertiesOfEachModel) {
    start(sim::ChipKind::DXP7102A0);
    const drv_if_t *svc = DRV_SERVICES(0);
    uint32_t v[2] = {7, 7};
    EXPECT_EQ(svc->dev_prop_get(0, 0, v), -4);
    EXPECT_EQ(svc->dev_prop_get(0, 13, v), -4);
    EXPECT_EQ(v[0], 7u);
    ASSERT_EQ(svc->dev_prop_get(0, 12, v), 0);
    EXPECT_EQ(v[0], 1u);  // BPDU addresses on A0
    ASSERT_EQ(svc->dev_prop_get(0, 1, v), 0);
    EXPECT_EQ(v[0], 256u);
    EXPECT_EQ(svc->mem_width_get(0, DRV_MEM_ARL_HW, v), -4);
    EXPECT_EQ(v[0], 256u);

    start(sim::ChipKind::DXP7102A1);
    svc = DRV_SERVICES(0);
    ASSERT_EQ(svc->dev_prop_get(0, 12, v), 0);
    EXPECT_EQ(v[0], 3u);

    start(sim::ChipKind::DXP7106);
    svc = DRV_SERVICES(0);
    EXPECT_EQ(svc->dev_prop_get(0, 0, v), -4);
    EXPECT_EQ(svc->dev_prop_get(0, 17, v), -4);
    ASSERT_EQ(svc->dev_prop_get(0, 9, v), 0);
    EXPECT_EQ(v[0], 0x1effffffu);
    EXPECT_EQ(v[1], 0u);
    ASSERT_EQ(svc->dev_prop_get(0, 15, v), 0);
    EXPECT_EQ(v[0], 128u);

    start(sim::ChipKind::DXP7101);
    svc = DRV_SERVICES(0);
    ASSERT_EQ(svc->dev_prop_get(0, 10, v), 0);
    EXPECT_EQ(v[0], 0xffffffffu);
    EXPECT_EQ(v[1], 0x001fffffu);
    ASSERT_EQ(svc->dev_prop_get(0, 16, v), 0);
    EXPECT_EQ(v[0], 10u);
}

TEST_F(soc_unit_prop, FieldProcessorAbsentOnDxp7102) {
    start(sim::ChipKind::DXP7102A1);
    const drv_if_t *svc = DRV_SERVICES(0);
    drv_cfp_entry_t entry{};
    uint32_t value = 0;
    EXPECT_EQ(svc->cfp_init(0), -16);
    EXPECT_EQ(svc->cfp_action_set(0, 2, &entry, 1), -16);
    EXPECT_EQ(svc->cfp_entry_read(0, 1, 1, &entry), -16);
    EXPECT_EQ(svc->cfp_udf_set(0, 3, 1, 4), -16);
    EXPECT_EQ(svc->cfp_reserved_op(0), -16);
    EXPECT_EQ(svc->vlan_vt_add(0, 0, 1, 2, 3, 0, 1), -16);
    EXPECT_EQ(svc->eav_enable_get(0, 1, &value), -16);
    EXPECT_EQ(svc->reserved8, nullptr);
    EXPECT_EQ(svc->reserved9, nullptr);
    EXPECT_FALSE(soc_feature(0, soc_feature_field));
}

}  // namespace
