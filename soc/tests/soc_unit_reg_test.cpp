// Register access by id on attached units of every model: addresses,
// lengths, fields, round trips through the chip model and bus failures.
#include <gtest/gtest.h>

#include "drv_if.h"
#include "drv_reg.h"
#include "sal_host.h"
#include "unit_fixture.h"

namespace {

using soc_test::UnitTest;
using soc_unit_reg = UnitTest;

struct AddrCase {
    uint32_t reg;
    int port;
    int index;
    uint32_t addr;
    int len;
};

void expect_addresses(std::initializer_list<AddrCase> cases) {
    for (const AddrCase &c : cases) {
        SCOPED_TRACE(chipdata_reg_name(static_cast<int>(c.reg)) + std::string(" port ") +
                     std::to_string(c.port));
        EXPECT_EQ(drv_reg_addr(0, c.reg, c.port, c.index), c.addr);
        EXPECT_EQ(drv_reg_length_get(0, c.reg), c.len);
    }
}

TEST_F(soc_unit_reg, Dxp7102Addresses) {
    start(sim::ChipKind::DXP7102A1);
    expect_addresses({
        {R_MST_CON, 0, 0, 0x4300, 1},
        {R_TH_PCTL, 5, 0, 0x0105, 1},
        {R_MII_PCTL, 24, 0, 0x0118, 1},  // the CPU port takes the base
        {R_G_PCTL, 25, 0, 0x0119, 1},
        {R_G_PCTL, 26, 0, 0x011a, 1},
        {R_PORT_VLAN_CTL, 25, 0, 0x3264, 4},
        {R_DEFAULT_1Q_TAG, 26, 0, 0x3474, 2},
        {R_MIICTL, 5, 0, 0x1500, 2},  // per-port PHY page
        {R_MAC_SEC_CON1, 0, 0, 0x4108, 3},
        {R_MAC_SEC_CON0, 0, 0, 0x4100, 6},
        {R_PORT_EAP_CON, 2, 0, 0x4010, 8},
        {R_TH_PCTL, -3, -1, 0x0100, 1},  // negative port and index count as 0
    });
}

TEST_F(soc_unit_reg, Dxp7101AddressesIncludingSplitRegisters) {
    start(sim::ChipKind::DXP7101);
    expect_addresses({
        {R_MST_CON, 0, 0, 0x4500, 1},
        {R_CHIP_RST_CTL, 0, 0, 0x037c, 1},
        {R_PORT_VLAN_CTL, 10, 0, 0x3246, 7},
        {R_PORT_VLAN_CTL, 30, 0, 0x332a, 7},  // PORT_VLAN1_CTL index 6
        {R_PORT_VLAN_CTL, 52, 0, 0x33c4, 7},
        {R_PORT_EAP_CON, 30, 0, 0x4630, 8},
        {R_PORT_IRC_CON, 31, 0, 0x43f8, 8},
        {R_PORT_IRC_CON, 40, 0, 0x4440, 8},
        {R_UDF_OFFSET4_P, 30, 0, 0x249e, 5},
        {R_G_PCTL, 49, 0, 0x0131, 1},
        {R_G_PCTL, 52, 0, 0x0134, 1},
        {R_MIICTL, 3, 0, 0xc300, 2},
        {R_LNKSTS, 0, 0, 0x0200, 7},
        {R_SPDSTS, 0, 0, 0x0208, 8},
    });
}

TEST_F(soc_unit_reg, Dxp7106Addresses) {
    start(sim::ChipKind::DXP7106);
    expect_addresses({
        {R_PORT_IRC_CON, 3, 0, 0x43a8, 8},
        {R_PORT_IRC_CON, 9, 0, 0x4408, 8},  // PORT_IRC1_CON index 1
        {R_G_PCTL, 28, 0, 0x011c, 1},
        {R_MIICTL, 2, 0, 0xa200, 2},
        {R_PORT_VLAN_CTL, 28, 0, 0x32c4, 7},  // not split on this chip
    });
}

TEST_F(soc_unit_reg, ReadModifyWriteReachesTheChip) {
    start(sim::ChipKind::DXP7101);
    // Port 30's VLAN egress bitmap lives in the second register.
    uint32_t addr = drv_reg_addr(0, R_PORT_VLAN_CTL, 30, 0);
    int len = drv_reg_length_get(0, R_PORT_VLAN_CTL);
    uint32_t value[2] = {0, 0};
    ASSERT_EQ(drv_reg_read(0, addr, value, len), 0);
    EXPECT_EQ(value[0], 0xffffffffu);  // reset: every port
    EXPECT_EQ(value[1], 0x001fffffu);
    const uint32_t members[2] = {0x00000003, 0x00100000};  // ports 0, 1 and 52
    ASSERT_EQ(drv_reg_field_set(0, R_PORT_VLAN_CTL, value, F_PORT_EGRESS_EN, members), 0);
    ASSERT_EQ(drv_reg_write(0, addr, value, len), 0);
    EXPECT_EQ(board->chip().peek("PORT_VLAN1_CTL", 6), 0x0010000000000003ull);

    uint32_t back[2] = {0, 0}, field[2] = {0, 0};
    ASSERT_EQ(drv_reg_read(0, addr, back, len), 0);
    ASSERT_EQ(drv_reg_field_get(0, R_PORT_VLAN_CTL, back, F_PORT_EGRESS_EN, field), 0);
    EXPECT_EQ(field[0], members[0]);
    EXPECT_EQ(field[1], members[1]);
    EXPECT_TRUE(board->anomalies().empty());
}

TEST_F(soc_unit_reg, FieldsOfOneByteAndTwoByteRegisters) {
    start(sim::ChipKind::DXP7102A0);
    const drv_if_t *svc = DRV_SERVICES(0);
    uint32_t addr = svc->reg_addr(0, R_DEFAULT_1Q_TAG, 7, 0);
    int len = svc->reg_length_get(0, R_DEFAULT_1Q_TAG);
    uint32_t value = 0;
    ASSERT_EQ(svc->reg_read(0, addr, &value, len), 0);
    EXPECT_EQ(value, 1u);
    const uint32_t vid = 0x123, pri = 5;
    svc->reg_field_set(0, R_DEFAULT_1Q_TAG, &value, F_DEF_TAG, &vid);
    svc->reg_field_set(0, R_DEFAULT_1Q_TAG, &value, F_PRI_R, &pri);
    EXPECT_EQ(value, 0xa123u);
    ASSERT_EQ(svc->reg_write(0, addr, &value, len), 0);
    EXPECT_EQ(board->chip().peek("DEFAULT_1Q_TAG", 7), 0xa123u);
    uint32_t got = 0;
    svc->reg_field_get(0, R_DEFAULT_1Q_TAG, &value, F_PRI_R, &got);
    EXPECT_EQ(got, pri);
}

TEST_F(soc_unit_reg, ApiValuesAreCheckedAgainstTheirFields) {
    start(sim::ChipKind::DXP7102A1);
    const uint32_t three = 3, four = 4, big_vid = 0x1000;
    EXPECT_TRUE(drv_reg_field_fits(0, R_VLAN_CTRL4, F_INGR_VID_CHK, &three));
    EXPECT_FALSE(drv_reg_field_fits(0, R_VLAN_CTRL4, F_INGR_VID_CHK, &four));
    EXPECT_FALSE(drv_reg_field_fits(0, R_DEFAULT_1Q_TAG, F_DEF_TAG, &big_vid));
    EXPECT_FALSE(drv_reg_field_fits(0, R_DEFAULT_1Q_TAG, F_IPG, &three));     // not its field
    EXPECT_FALSE(drv_reg_field_fits(0, R_CHIP_RST_CTL, F_RST_CHIP, &three));  // not this chip's
}

class soc_unit_reg_death : public UnitTest {
  protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(soc_unit_reg_death, ProgrammingErrorsStopWithAnAssertion) {
    start(sim::ChipKind::DXP7102A1);
    uint32_t value[2] = {0, 0};
    const uint32_t four = 4;
    // The DXP7102 has no chip reset register.
    EXPECT_DEATH(drv_reg_addr(0, R_CHIP_RST_CTL, 0, 0),
                 "User assertion failed: \"SOC_REG_IS_VALID\\(unit, reg\\)\", at .*:[0-9]+");
    EXPECT_DEATH(drv_reg_length_get(0, 5000), "SOC_REG_IS_VALID");
    EXPECT_DEATH(drv_reg_field_get(0, R_MST_CON, value, F_IPG, value), "\"finfop\"");
    EXPECT_DEATH(drv_reg_field_set(0, R_VLAN_CTRL4, value, F_INGR_VID_CHK, &four),
                 "\"!VALUE_TOO_BIG_FOR_FIELD\"");
}

// A unit whose bus answers with an error.
int failing_bus_result = 0;
int failing_read(soc_cm_dev_t *, uint32_t, uint8_t *buf, int len) {
    for (int i = 0; i < len; i++)
        buf[i] = 0;
    return failing_bus_result;
}
int failing_write(soc_cm_dev_t *, uint32_t, uint8_t *, int) {
    return failing_bus_result;
}

TEST_F(soc_unit_reg, BusFailuresAreReportedAndNeverPassForData) {
    start(sim::ChipKind::DXP7102A1);
    soc_cm_dev_t *dev = soc_cm_dev(0);
    dev->vectors.switch_reg_read = failing_read;
    dev->vectors.switch_reg_write = failing_write;
    uint32_t value[2] = {0xdeadbeef, 0xfeedface};
    failing_bus_result = -9;
    EXPECT_EQ(drv_reg_read(0, 0x4300, value, 1), -9);
    EXPECT_EQ(value[0], 0xdeadbeefu);
    EXPECT_EQ(drv_reg_write(0, 0x4300, value, 1), -9);
    failing_bus_result = -5;
    EXPECT_EQ(drv_reg_read(0, 0x4000, value, 8), -1);
    EXPECT_EQ(value[1], 0xfeedfaceu);
    EXPECT_EQ(drv_reg_write(0, 0x4300, value, 1), -1);
    failing_bus_result = 0;
    EXPECT_EQ(drv_reg_read(0, 0x4300, value, 1), 0);
    EXPECT_EQ(value[0], 0u);
    EXPECT_EQ(drv_reg_read(0, 0x4300, value, 9), -4);
    EXPECT_EQ(drv_reg_read(0, 0x4300, value, 0), -4);
}

TEST_F(soc_unit_reg, ResetPollGivesUpOnAFailedRead) {
    start(sim::ChipKind::DXP7106);
    soc_cm_dev_t *dev = soc_cm_dev(0);
    failing_bus_result = -9;
    dev->vectors.switch_reg_read = failing_read;
    // The failed first read is returned before anything is written.
    EXPECT_EQ(soc_reset_init(0), -9);
    EXPECT_EQ(board->chip().resetCount(), 0);
    failing_bus_result = 0;
}

TEST_F(soc_unit_reg, RegisterBitmapsFollowThePortCount) {
    start(sim::ChipKind::DXP7102A1);
    soc_pbmp_t bmp{};
    soc_tarn_regval_to_pbmp(0, &bmp, 0x06ffffff, 0x1234);
    EXPECT_EQ(bmp.w[0], 0x06ffffffu);
    EXPECT_EQ(bmp.w[1], 0u);
    uint32_t value[2] = {0, 0x5555};
    soc_tarn_pbmp_to_regval(0, {{0x3, 0x7}}, value);
    EXPECT_EQ(value[0], 0x3u);
    EXPECT_EQ(value[1], 0x5555u);  // a 27-port unit passes one word

    start(sim::ChipKind::DXP7101);
    soc_tarn_regval_to_pbmp(0, &bmp, 1, 0x1234);
    EXPECT_EQ(bmp.w[1], 0x1234u);
    soc_tarn_pbmp_to_regval(0, {{0x3, 0x7}}, value);
    EXPECT_EQ(value[1], 0x7u);
}

TEST_F(soc_unit_reg, LinkOverrideOfFastEthernetAndGigabitPorts) {
    start(sim::ChipKind::DXP7101);
    EXPECT_EQ(soc_link_sts_override_set(0, 1, 3), 0);
    // LINK_STS, SW_ORD set; the PHY-scan enable of the reset value cleared.
    EXPECT_EQ(board->chip().peek("STS_OVERRIDE_P", 3), 0x41u);
    EXPECT_EQ(soc_link_sts_override_set(0, 0, 50), 0);
    EXPECT_EQ(board->chip().peek("STS_OVERRIDE_GP", 1), 0x40u);
    EXPECT_EQ(soc_link_sts_override_set(0, 1, 48), -4);  // the CPU port

    start(sim::ChipKind::DXP7102A1);
    EXPECT_EQ(soc_link_sts_override_set(0, 1, 26), 0);
    EXPECT_EQ(board->chip().peek("STS_OVERRIDE_GP", 1), 0x41u);
    EXPECT_EQ(soc_link_sts_override_set(0, 1, 2), 0);
    EXPECT_EQ(board->chip().peek("STS_OVERRIDE_P", 2), 0x40u);  // taken inverted
}

TEST_F(soc_unit_reg, AddressListsForTheDiagnostics) {
    start(sim::ChipKind::DXP7102A1);
    soc_regaddrlist_t list{-1, nullptr};
    ASSERT_EQ(soc_regaddrlist_alloc(&list), 0);
    EXPECT_EQ(list.count, 0);
    EXPECT_NE(list.ainfo, nullptr);
    EXPECT_EQ(soc_regaddrlist_free(&list), 0);
    EXPECT_EQ(list.ainfo, nullptr);
    sal_alloc_fail_after(1);
    EXPECT_EQ(soc_regaddrlist_alloc(&list), -2);
    sal_alloc_fail_after(0);
}

}  // namespace
