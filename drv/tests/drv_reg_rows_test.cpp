// Register length, address and field rules on made-up register rows of a
// stand-alone unit record.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>

#include "drv_if.h"
#include "drv_reg.h"

namespace {

constexpr int kUnit = 5;
constexpr chipdata_field kEnd = {UINT32_MAX, 0, 0, 0};

// Made-up registers of ids no chip of the family uses.
enum : uint32_t { kWide = 1, kCounter = 3, kCounterType4 = 4, kThreeBytes = 6, kSingle = 7 };

constexpr chipdata_field kWideFields[] = {
    {F_OFFSET_A, 8, 28, 0},   // straddles words 0 and 1
    {F_OFFSET_B, 40, 4, 0},   // wider than a word
    {F_PORT_ID, 6, 40, 0},    // a port-number field
    {F_PORT_NUM_R, 6, 0, 0},  // a port-number field of another chip class
    kEnd,
};

chipdata_reg row(uint32_t block, uint32_t type, uint32_t flags, uint32_t mask_lo, uint32_t mask_hi,
                 const chipdata_field *fields = nullptr, uint32_t nfields = 0) {
    return {block, type, 1, 0x1200, flags, nfields, fields, 0, 0, mask_lo, mask_hi, -1, 0, 0};
}

// A unit record with its own driver record and register table.
class drv_reg_rows : public ::testing::Test {
  protected:
    void SetUp() override { install(SOC_CHIP_DXP7106); }
    void TearDown() override { soc_control[kUnit] = nullptr; }

    void install(uint32_t chip_flags) {
        rows_[kWide] = row(CHIPDATA_BLK_SYS, 1, CHIPDATA_RF_64BIT, ~0u, 0x0000ffff, kWideFields, 4);
        rows_[kCounter] = row(CHIPDATA_BLK_PORTS, 2, CHIPDATA_RF_COUNTER | CHIPDATA_RF_64BIT, 0, 0);
        rows_[kCounterType4] =
            row(CHIPDATA_BLK_SYS, 4, CHIPDATA_RF_COUNTER | CHIPDATA_RF_16BIT, 0, 0);
        rows_[kThreeBytes] = row(CHIPDATA_BLK_SYS, 1, CHIPDATA_RF_32BIT, 0x00ffffff, 0);
        rows_[kSingle] = row(CHIPDATA_BLK_SYS, 7, CHIPDATA_RF_8BIT, 0xff, 0);
        for (uint32_t id : {kWide, kCounter, kCounterType4, kThreeBytes, kSingle})
            table_[id] = &rows_[id];
        driver_ = soc_driver_dxp7106_a0;
        driver_.reg_info = table_.data();
        soc_ = std::make_unique<soc_control_t>();
        soc_->chip_flags = chip_flags;
        soc_->chip_driver = &driver_;
        soc_control[kUnit] = soc_.get();
    }

    std::array<chipdata_reg, 8> rows_{};
    std::array<const chipdata_reg *, CHIPDATA_NUM_REGS> table_{};
    soc_driver_t driver_{};
    std::unique_ptr<soc_control_t> soc_;
};

TEST_F(drv_reg_rows, LengthFromFlagsAndImplementedBits) {
    EXPECT_EQ(drv_reg_length_get(kUnit, kWide), 6);  // 64-bit row, high mask 0x0000ffff
    rows_[kWide].mask_hi = 0x00ff0000;
    EXPECT_EQ(drv_reg_length_get(kUnit, kWide), 7);
    rows_[kWide].mask_hi = 0x80000000;
    EXPECT_EQ(drv_reg_length_get(kUnit, kWide), 8);
    rows_[kWide].mask_hi = 0;
    EXPECT_EQ(drv_reg_length_get(kUnit, kWide), 5);
    EXPECT_EQ(drv_reg_length_get(kUnit, kCounter), 8);
    rows_[kCounter].flags = CHIPDATA_RF_COUNTER;
    EXPECT_EQ(drv_reg_length_get(kUnit, kCounter), 4);
    EXPECT_EQ(drv_reg_length_get(kUnit, kCounterType4), 2);  // type 4 goes by its width flag
    EXPECT_EQ(drv_reg_length_get(kUnit, kThreeBytes), 3);
    rows_[kThreeBytes].mask_lo = 0x80000000;
    EXPECT_EQ(drv_reg_length_get(kUnit, kThreeBytes), 4);
    EXPECT_EQ(drv_reg_length_get(kUnit, kSingle), 1);
    rows_[kSingle].flags = 0;
    EXPECT_EQ(drv_reg_length_get(kUnit, kSingle), 0);
}

TEST_F(drv_reg_rows, SingleRegisterAndPerPortCounterPages) {
    EXPECT_EQ(drv_reg_addr(kUnit, kSingle, 0, 3), 0x1200u);
    EXPECT_EQ(drv_reg_addr(kUnit, kCounter, 5, 0), 0x1700u);
}

TEST_F(drv_reg_rows, FieldAcrossTwoWordsIsJoined) {
    const uint32_t reg[2] = {0xa0000000, 0x0000000b};
    uint32_t out[2] = {0, 0};
    ASSERT_EQ(drv_reg_field_get(kUnit, kWide, reg, F_OFFSET_A, out), 0);
    EXPECT_EQ(out[0], 0xbau);

    uint32_t value[2] = {0x0fffffff, 0xfffffff0};
    const uint32_t fld = 0x5c;
    ASSERT_EQ(drv_reg_field_set(kUnit, kWide, value, F_OFFSET_A, &fld), 0);
    EXPECT_EQ(value[0], 0xcfffffffu);
    EXPECT_EQ(value[1], 0xfffffff5u);
}

TEST_F(drv_reg_rows, FieldWiderThanAWordComesInTwoWords) {
    const uint32_t reg[2] = {0x87654321, 0x00000fed};
    uint32_t out[2] = {0, 0};
    ASSERT_EQ(drv_reg_field_get(kUnit, kWide, reg, F_OFFSET_B, out), 0);
    EXPECT_EQ(out[0], 0xd8765432u);  // bits 4-35
    EXPECT_EQ(out[1], 0xfeu);        // bits 36-43
    uint32_t value[2] = {0, 0};
    ASSERT_EQ(drv_reg_field_set(kUnit, kWide, value, F_OFFSET_B, out), 0);
    EXPECT_EQ(value[0], 0x87654320u);
    EXPECT_EQ(value[1], 0x00000fedu);
}

TEST_F(drv_reg_rows, PortFieldsAre24HigherOnTheDxp7106) {
    uint32_t reg[2] = {0, 49u << 8};  // PORT_ID at bit 40
    uint32_t out = 0;
    ASSERT_EQ(drv_reg_field_get(kUnit, kWide, reg, F_PORT_ID, &out), 0);
    EXPECT_EQ(out, 25u);
    const uint32_t port = 25;
    reg[1] = 0;
    ASSERT_EQ(drv_reg_field_set(kUnit, kWide, reg, F_PORT_ID, &port), 0);
    EXPECT_EQ(reg[1], 49u << 8);
    EXPECT_EQ(port, 25u);
    // PORT_NUM_R is a port field of another chip class only.
    reg[0] = 30;
    ASSERT_EQ(drv_reg_field_get(kUnit, kWide, reg, F_PORT_NUM_R, &out), 0);
    EXPECT_EQ(out, 30u);
    // A port the field cannot hold once moved up is refused before writing.
    const uint32_t high = 40;
    EXPECT_FALSE(drv_reg_field_fits(kUnit, kWide, F_PORT_ID, &high));
    EXPECT_TRUE(drv_reg_field_fits(kUnit, kWide, F_PORT_ID, &port));
}

TEST_F(drv_reg_rows, PortFieldsAsTheyStandElsewhere) {
    install(SOC_CHIP_DXP7101);
    uint32_t reg[2] = {0, 49u << 8};
    uint32_t out = 0;
    ASSERT_EQ(drv_reg_field_get(kUnit, kWide, reg, F_PORT_ID, &out), 0);
    EXPECT_EQ(out, 49u);
    install(SOC_CHIP_DXP71090);
    reg[0] = 30;
    ASSERT_EQ(drv_reg_field_get(kUnit, kWide, reg, F_PORT_NUM_R, &out), 0);
    EXPECT_EQ(out, 6u);
}

TEST_F(drv_reg_rows, MacFieldsAndBytesInNetworkOrder) {
    const uint8_t mac[6] = {0x00, 0x10, 0x18, 0xa1, 0xb2, 0xc3};
    uint32_t fld[2] = {0, 0};
    soc_tarn_mac_to_field(mac, fld);
    EXPECT_EQ(fld[0], 0x18a1b2c3u);
    EXPECT_EQ(fld[1], 0x0010u);
    uint8_t back[6] = {};
    soc_tarn_field_to_mac(fld, back);
    EXPECT_EQ(std::memcmp(back, mac, 6), 0);
}

}  // namespace
