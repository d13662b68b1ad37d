// Unit bring-up on the chip model: device manager, attach, port model,
// features, reset and init, detach.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "chipdata/ids.h"
#include "drv_if.h"
#include "sal_host.h"
#include "soc_property.h"
#include "unit_fixture.h"

namespace {

using soc_test::UnitTest;
using soc_unit = UnitTest;

struct ModelCase {
    sim::ChipKind chip;
    int chip_type;
    int chip_group;
    uint32_t chip_flags;
    int port_num;
    int fe_ports;
    int ge_ports;
    const char *device_name;
};

void PrintTo(const ModelCase &m, std::ostream *os) {
    *os << m.device_name;
}

class soc_unit_models : public UnitTest, public ::testing::WithParamInterface<ModelCase> {};

TEST_P(soc_unit_models, AttachSetsIdentityPortModelAndFeatures) {
    const ModelCase &m = GetParam();
    start(m.chip);
    const soc_control_t *s = unit0();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(soc_unit_attached(0), 1);
    EXPECT_EQ(s->chip_type, m.chip_type);
    EXPECT_EQ(s->chip_group, m.chip_group);
    EXPECT_EQ(s->chip_flags, m.chip_flags);
    EXPECT_EQ(s->port_num, m.port_num);
    EXPECT_EQ(s->fe.num, m.fe_ports);
    EXPECT_EQ(s->ge.num, m.ge_ports);
    const int cpu = m.fe_ports;
    EXPECT_EQ(s->cmic_port, cpu);
    EXPECT_EQ(s->all.num, m.port_num);
    // Front and Ethernet classes carry the CPU port on this family.
    EXPECT_TRUE(soc_pbmp_member(s->port.bitmap, cpu));
    EXPECT_TRUE(soc_pbmp_member(s->e.bitmap, cpu));
    EXPECT_EQ(s->e.num, m.port_num);
    EXPECT_STREQ(s->port_name[0], "fe0");
    EXPECT_STREQ(s->port_name[cpu - 1], ("fe" + std::to_string(cpu - 1)).c_str());
    EXPECT_STREQ(s->port_name[cpu], "cpu0");
    EXPECT_STREQ(s->port_name[cpu + 1], "ge0");
    EXPECT_STREQ(s->port_name[cpu + 2], "ge1");
    EXPECT_EQ(s->fe.min, 0);
    EXPECT_EQ(s->fe.max, cpu - 1);
    EXPECT_EQ(s->ge.min, cpu + 1);
    EXPECT_EQ(s->ge.max, m.port_num - 1);
    EXPECT_EQ(s->port_type[cpu], SOC_BLK_CPIC);
    EXPECT_EQ(s->port_offset[cpu + 2], 0);
    EXPECT_EQ(s->port_offset[9], 1);  // second port of the second fast-Ethernet block

    bool wide = m.chip_flags & SOC_CHIP_DXP7101_FAMILY;
    EXPECT_EQ(soc_feature(0, soc_feature_field), wide);
    EXPECT_EQ(soc_feature(0, soc_feature_field_slice_enable), wide);
    EXPECT_EQ(soc_feature(0, soc_feature_tarn_sw_override), wide);
    EXPECT_TRUE(soc_feature(0, soc_feature_stg));
    EXPECT_TRUE(soc_feature(0, soc_feature_arl_mode_control));
    EXPECT_FALSE(soc_feature(0, soc_feature_phy_cl45));

    // 13 default words, locks and the shared register mutex.
    EXPECT_EQ(s->unit_defaults[0], 18);
    EXPECT_EQ(s->unit_defaults[12], 8);
    EXPECT_NE(s->miim_lock, nullptr);
    EXPECT_NE(s->mem_state[L2_ARLm].lock, nullptr);
    EXPECT_NE(soc_spi_mutex(), nullptr);
    EXPECT_EQ(s->arl_pid, SAL_THREAD_ERROR);
    EXPECT_NE(printed().find(std::string("SPI device ") + m.device_name + " attached as unit 0.\n"),
              std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    soc_unit, soc_unit_models,
    ::testing::Values(
        ModelCase{sim::ChipKind::DXP7102A0, 0x1a, 0x16, 0x200000, 27, 24, 2, "DXP7102_A0"},
        ModelCase{sim::ChipKind::DXP7102A1, 0x1b, 0x16, 0x600000, 27, 24, 2, "DXP7102_A1"},
        ModelCase{sim::ChipKind::DXP7106, 0x22, 0x1c, 0x20000000, 29, 24, 4, "DXP7106_A0"},
        ModelCase{sim::ChipKind::DXP7101, 0x20, 0x1a, 0x4000000, 53, 48, 4, "DXP7101_A0"}),
    [](const ::testing::TestParamInfo<ModelCase> &info) { return info.param.device_name; });

TEST_F(soc_unit, Dxp7101BlocksAndPortGroups) {
    start(sim::ChipKind::DXP7101);
    const soc_control_t *s = unit0();
    EXPECT_EQ(s->block_num, 16);
    EXPECT_EQ(s->cmic_block, 0);
    ASSERT_GE(s->group_a_block, 0);
    ASSERT_GE(s->group_b_block, 0);
    // Ports 24-47 and 0-23 from the device properties.
    EXPECT_EQ(s->block_bitmap[s->group_a_block].w[0], 0xff000000u);
    EXPECT_EQ(s->block_bitmap[s->group_a_block].w[1], 0x0000ffffu);
    EXPECT_EQ(s->block_bitmap[s->group_b_block].w[0], 0x00ffffffu);
    EXPECT_STREQ(s->block_name[0], "cpic0");
    EXPECT_STREQ(s->block_name[2], "epic1");
    EXPECT_EQ(s->block_port[2], 8);
    EXPECT_EQ(s->block_port_count[2], 8);
    EXPECT_EQ(s->block_bitmap[1].w[0], 0xffu);
    EXPECT_TRUE(s->block_valid & SOC_BLK_GPIC);
}

TEST_F(soc_unit, ResetInitPollsTheResetBitBackToZero) {
    start(sim::ChipKind::DXP7106);
    board->chip().setResetBusyReads(5);
    board->chip().poke("VLAN_CTRL0", 0, 0x80);
    EXPECT_EQ(soc_reset_init(0), 0);
    EXPECT_EQ(board->chip().resetCount(), 1);
    EXPECT_EQ(board->chip().peek("CHIP_RST_CTL"), 0u);
    EXPECT_EQ(board->chip().peek("VLAN_CTRL0"), 0u);  // back to its reset value
    // Init without reset leaves the chip alone.
    EXPECT_EQ(soc_init(0), 0);
    EXPECT_EQ(board->chip().resetCount(), 1);
}

TEST_F(soc_unit, ChipThatStaysInResetIsATimeOut) {
    for (sim::ChipKind chip : {sim::ChipKind::DXP7106, sim::ChipKind::DXP7101}) {
        start(chip);
        board->chip().setResetBusyReads(100001);  // more than the poll makes
        EXPECT_EQ(soc_reset_init(0), -9);
        EXPECT_NE(printed().find("chip reset timed out"), std::string::npos);
    }
}

TEST_F(soc_unit, SkipResetPropertySkipsOnlyTheReset) {
    start(sim::ChipKind::DXP7101);
    ASSERT_EQ(sal_config_set("soc_skip_reset", "1"), 0);
    board->chip().poke("VLAN_CTRL0", 0, 0x80);
    EXPECT_EQ(soc_reset_init(0), 0);
    EXPECT_EQ(board->chip().resetCount(), 0);
    EXPECT_EQ(board->chip().peek("VLAN_CTRL0"), 0x80u);
    // The rest of init ran: the per-port start state after a reset init.
    EXPECT_EQ(board->chip().peek("SWMODE") & 0x3, 0x3u);
}

TEST_F(soc_unit, Dxp7102HasNoChipReset) {
    start(sim::ChipKind::DXP7102A1);
    EXPECT_EQ(soc_reset_init(0), 0);
    EXPECT_EQ(board->chip().resetCount(), 0);
}

TEST_F(soc_unit, ResetOverTheSerialPinsReachesTheChip) {
    start(sim::ChipKind::DXP7101, sim::BusMode::Pins);
    board->chip().setResetBusyReads(3);
    EXPECT_EQ(soc_reset_init(0), 0);
    EXPECT_EQ(board->chip().resetCount(), 1);
    // The board glue's start-up probe reads the port-0 PHY page of the DXP7102.
    for (const sim::Anomaly &a : board->anomalies().list()) {
        if (a.address != 0x1004) ADD_FAILURE() << a.text;
    }
}

TEST_F(soc_unit, SecondAttachIsRefusedAndChangesNothing) {
    start(sim::ChipKind::DXP7102A1);
    soc_control_t *before = unit0();
    sal_mutex_t spi = soc_spi_mutex();
    EXPECT_EQ(soc_tarn_attach(0), -8);
    EXPECT_EQ(unit0(), before);
    EXPECT_EQ(soc_spi_mutex(), spi);
    EXPECT_EQ(soc_attached_count, 1);
}

TEST_F(soc_unit, DetachKeepsTheRecordUntilTheNextAttachAndTheLastOneTakesTheSpiMutex) {
    start(sim::ChipKind::DXP7102A0);
    int second = add_device(DXP7102_DEVICE_ID, 1);
    ASSERT_EQ(second, 1);
    EXPECT_EQ(soc_attached_count, 2);
    EXPECT_EQ(soc_detach(0), 0);
    EXPECT_NE(soc_spi_mutex(), nullptr);
    EXPECT_EQ(soc_unit_attached(0), 0);
    EXPECT_NE(unit0(), nullptr);
    EXPECT_EQ(unit0()->miim_lock, nullptr);
    EXPECT_EQ(soc_reset_init(0), -3);
    EXPECT_EQ(soc_detach(0), -3);
    EXPECT_EQ(soc_cm_device_destroy(second), 0);
    EXPECT_EQ(soc_spi_mutex(), nullptr);
    // The next attach makes it again.
    EXPECT_EQ(add_device(DXP7106_DEVICE_ID, 0), 2);
    EXPECT_NE(soc_spi_mutex(), nullptr);
    // A detached unit attaches again in its own record.
    soc_control_t *record = unit0();
    EXPECT_EQ(soc_tarn_attach(0), 0);
    EXPECT_EQ(unit0(), record);
    EXPECT_EQ(soc_unit_attached(0), 1);
    EXPECT_NE(unit0()->miim_lock, nullptr);
    EXPECT_EQ(soc_tarn_attach(0), -8);
}

TEST_F(soc_unit, DetachOutOfRangeOrUnknownUnit) {
    start(sim::ChipKind::DXP7102A1);
    EXPECT_EQ(soc_detach(-1), -3);
    EXPECT_EQ(soc_detach(1), -3);
    EXPECT_EQ(soc_unit_attached(1), 0);
}

TEST_F(soc_unit, UnknownChipGetsTheFirstDriverWithSixHashLines) {
    start(sim::ChipKind::DXP7102A1);
    soc_test::PrintCapture::get().clear();
    int dev = add_device(DXP7103_DEVICE_ID, 0);
    ASSERT_EQ(dev, 1);
    const soc_control_t *s = SOC_CONTROL(dev);
    EXPECT_EQ(s->chip_driver, &soc_driver_dxp7102_a0);
    EXPECT_EQ(s->chip_type, SOC_CHIP_TYPE_DXP7102_A0);
    EXPECT_EQ(s->chip_flags, SOC_CHIP_DXP7103);
    EXPECT_EQ(printed(),
              "#### \n"
              "#### Chip not recognized. \n"
              "#### Device id:  0xa703.  Rev id:  0x00\n"
              "#### Installing default driver for device DXP7102_A0.\n"
              "#### Unpredictable behavior may result.\n"
              "#### \n"
              "SPI device DXP7103_A0 attached as unit 1.\n");
}

TEST_F(soc_unit, FailedAttachLeavesTheUnitFreeToAttachAgain) {
    start(sim::ChipKind::DXP7102A1);
    soc_cm_dev_vectors_t v = borrowed_vectors();
    int dev = soc_cm_device_create(DXP7101_DEVICE_ID, 0, nullptr);
    ASSERT_EQ(dev, 1);
    sal_alloc_fail_after(1);  // the record
    EXPECT_EQ(soc_cm_device_init(dev, &v), -2);
    EXPECT_EQ(SOC_CONTROL(dev), nullptr);
    sal_alloc_fail_after(2);  // the counter state, after the record
    EXPECT_EQ(soc_cm_device_init(dev, &v), -2);
    sal_alloc_fail_after(0);
    EXPECT_EQ(SOC_CONTROL(dev), nullptr);
    EXPECT_EQ(soc_attached_count, 1);
    EXPECT_EQ(soc_cm_device_init(dev, &v), 0);
    EXPECT_EQ(soc_unit_attached(dev), 1);
    EXPECT_EQ(soc_tarn_attach(dev), -8);
}

TEST_F(soc_unit, DeviceManagerRefusals) {
    start(sim::ChipKind::DXP7102A1);
    EXPECT_EQ(soc_cm_device_create(0x1234, 0, nullptr), -16);
    EXPECT_EQ(soc_cm_device_supported(0x1234, 0), -16);
    // Device 0 is initialised already.
    soc_cm_dev_vectors_t v = soc_cm_dev(0)->vectors;
    EXPECT_EQ(soc_cm_device_init(0, &v), -3);
    EXPECT_EQ(soc_cm_device_init(5, &v), -3);

    int dev = soc_cm_device_create(DXP7106_DEVICE_ID, 1, nullptr);
    ASSERT_EQ(dev, 1);
    v.init = 0;
    soc_cm_dev_vectors_t no_read = v;
    no_read.switch_reg_read = nullptr;
    EXPECT_EQ(soc_cm_device_init(dev, &no_read), -4);
    soc_cm_dev_vectors_t no_write = v;
    no_write.switch_reg_write = nullptr;
    EXPECT_EQ(soc_cm_device_init(dev, &no_write), -4);
    soc_cm_dev_vectors_t mapped = v;
    mapped.base_address = 0;  // words 8 and 9 stand in for it
    EXPECT_EQ(soc_cm_device_init(dev, &mapped), 0);
    EXPECT_EQ(SOC_CONTROL(dev)->chip_driver, &soc_driver_dxp7106_a0);

    // A QNT chip is not attached.
    int qnt = soc_cm_device_create(QNT_DEVICE_IDS[0], 0, nullptr);
    ASSERT_EQ(qnt, 2);
    v.init = 0;
    EXPECT_EQ(soc_cm_device_init(qnt, &v), -3);
    EXPECT_EQ(SOC_CONTROL(qnt), nullptr);

    // The table holds 18 devices.
    while (soc_cm_get_num_devices() < SOC_MAX_NUM_DEVICES)
        ASSERT_GE(soc_cm_device_create(DXP7102_DEVICE_ID, 1, nullptr), 0);
    int units = soc_cm_get_num_units();
    EXPECT_EQ(soc_cm_device_create(DXP7102_DEVICE_ID, 1, nullptr), -3);
    EXPECT_EQ(soc_cm_get_num_devices(), SOC_MAX_NUM_DEVICES);
    EXPECT_EQ(soc_cm_get_num_units(), units);
}

TEST_F(soc_unit, CpuPortControllerKeepsAnEmptyRecord) {
    start(sim::ChipKind::DXP7102A1);
    int nic = soc_cm_device_create(DXP6202_DEVICE_ID, 9, nullptr);
    ASSERT_EQ(nic, 1);
    soc_cm_dev_vectors_t v = soc_cm_dev(0)->vectors;
    v.init = 0;
    EXPECT_EQ(soc_cm_device_init(nic, &v), 0);
    ASSERT_NE(SOC_CONTROL(nic), nullptr);
    EXPECT_EQ(SOC_CONTROL(nic)->chip_driver, nullptr);
    EXPECT_EQ(soc_cpu_nic_unit, nic);
    EXPECT_EQ(soc_cpu_nic_count, 1);
    EXPECT_EQ(soc_unit_attached(nic), 0);
}

TEST_F(soc_unit, DestroyDetachesTheUnit) {
    start(sim::ChipKind::DXP7101);
    soc_test::PrintCapture::get().clear();
    EXPECT_EQ(soc_cm_device_destroy(0), 0);
    EXPECT_EQ(printed(), "soc_cm_device_destroy\n");
    EXPECT_EQ(soc_unit_attached(0), 0);
    EXPECT_EQ(soc_cm_dev(0)->vectors.interrupt_connect, nullptr);
    EXPECT_EQ(soc_spi_mutex(), nullptr);
}

TEST_F(soc_unit, InitRebuildsThePortModelFromTheValidPorts) {
    start(sim::ChipKind::DXP7102A1);
    ASSERT_EQ(sal_config_set("pbmp_valid", "0x06fffffe"), 0);
    ASSERT_EQ(soc_init(0), 0);
    const soc_control_t *s = unit0();
    EXPECT_STREQ(s->port_name[0], "?0");
    EXPECT_STREQ(s->port_name[1], "fe0");
    EXPECT_EQ(s->fe.num, 23);
    EXPECT_EQ(s->fe.min, 1);
    EXPECT_FALSE(SOC_PORT_VALID(0, 0));
    EXPECT_TRUE(SOC_PORT_VALID(0, 24));  // the CPU port stays
    ASSERT_EQ(sal_config_set("pbmp_valid", nullptr), 0);
    ASSERT_EQ(sal_config_set("dxp7111", "1"), 0);
    ASSERT_EQ(soc_init(0), 0);
    EXPECT_EQ(s->fe.num, 16);
    EXPECT_EQ(s->fe.max, 15);
    ASSERT_EQ(sal_config_set("dxp7110", "1"), 0);
    ASSERT_EQ(soc_init(0), 0);
    EXPECT_EQ(s->fe.num, 8);
}

TEST(soc_unit_glue, ProbeTwiceIsRefusedAndNoBoardFails) {
    soc_test::forget_everything();
    EXPECT_EQ(sysconf_probe(), -1);  // no board bound
    soc_test::forget_everything();
    sim::Board board(soc_test::board_for(sim::ChipKind::DXP7106));
    sim::bindHost(board);
    ASSERT_EQ(sysconf_init(), 0);
    EXPECT_EQ(sysconf_init(), -1);
    EXPECT_EQ(sysconf_probe(), 0);
    EXPECT_EQ(sysconf_probe(), -1);
    EXPECT_EQ(sysconf_attach(3), -1);
    EXPECT_EQ(sysconf_attach(0), 0);
    EXPECT_EQ(soc_reset_init(0), 0);
    EXPECT_EQ(sysconf_detach(0), 0);
    soc_test::forget_everything();
}

}  // namespace
