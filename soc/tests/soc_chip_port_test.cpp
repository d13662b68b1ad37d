// Chip port set-up at init and after a reset, on every chip model.
#include <gtest/gtest.h>

#include "soc_chip_port.h"
#include "unit_fixture.h"

namespace {

using soc_test::UnitTest;

class soc_chip_port : public UnitTest {
  protected:
    uint64_t reg(const char *name, int index = 0) { return board->chip().peek(name, index); }
    uint32_t stp(int port) {
        const soc_control_t *s = unit0();
        if (soc_pbmp_member(s->ge.bitmap, port))
            return static_cast<uint32_t>(reg("G_PCTL", port - s->cmic_port - 1) >> 5) & 7;
        if (port == s->cmic_port) return static_cast<uint32_t>(reg("MII_PCTL") >> 5) & 7;
        return static_cast<uint32_t>(reg("TH_PCTL", port) >> 5) & 7;
    }
};

TEST_F(soc_chip_port, Dxp7102InitWritesSetupAAndStopsThePhyScan) {
    start(sim::ChipKind::DXP7102A1);
    ASSERT_EQ(soc_init(0), 0);
    EXPECT_EQ(reg("FCON_FLOWMIX"), 0x1cu);  // drops and queue pause on, receive pause off
    EXPECT_EQ(reg("FCON_GLOB_TH_CTRL_2"), 252u | 252u << 16);
    EXPECT_EQ(reg("FCON_GLOB_TH_CTRL_1"), 184u | 174u << 16);
    EXPECT_EQ(reg("FCON_Q3_100_TH_CTRL_2"), 51u);
    EXPECT_EQ(reg("FCON_Q0_100_TH_CTRL_1"), 16u | 7u << 16);
    EXPECT_EQ(reg("FCON_MISC_TXFLOW_CTRL"), 252u | 1u << 15);
    EXPECT_EQ(reg("FCON_RSRV_BUFNUM"), 6u | 1u << 6);
    EXPECT_EQ(reg("PHYSCAN_CTL"), 0u);
    // Without a reset the port states stay as they were.
    EXPECT_EQ(stp(3), 0u);
    EXPECT_EQ(reg("SWMODE"), 0u);
    EXPECT_TRUE(board->anomalies().empty());
}

TEST_F(soc_chip_port, WideModelsWriteSetupB) {
    for (sim::ChipKind chip : {sim::ChipKind::DXP7101, sim::ChipKind::DXP7106}) {
        start(chip);
        ASSERT_EQ(soc_init(0), 0);
        EXPECT_EQ(reg("FCON_FLOWMIX"), 3u << 8 | 1u << 6);
        EXPECT_EQ(reg("FCON_GLOB_TH_CTRL_2"), 214u | 214u << 16);
        EXPECT_EQ(reg("FCON_GLOB_TH_CTRL_1"), 134u | 129u << 16);
        EXPECT_EQ(reg("FCON_Q2_100_TH_CTRL_2"), 196u);
        EXPECT_EQ(reg("FCON_Q1_100_TH_CTRL_1"), 39u);
        EXPECT_EQ(reg("FCON_MISC_TXFLOW_CTRL"), 214u | 1u << 15);
        EXPECT_EQ(reg("FCON_RXBASE_BUFNUM"), 15u);
        EXPECT_EQ(reg("PHYSCAN_CTL"), 0u);
        EXPECT_TRUE(board->anomalies().empty());
    }
}

TEST_F(soc_chip_port, ResetInitLeavesEveryPortForwarding) {
    for (sim::ChipKind chip :
         {sim::ChipKind::DXP7102A1, sim::ChipKind::DXP7106, sim::ChipKind::DXP7101}) {
        start(chip);
        ASSERT_EQ(soc_reset_init(0), 0);
        const soc_control_t *s = unit0();
        for (int port = 0; port < s->port_num; port++)
            EXPECT_EQ(stp(port), 5u) << "port " << port;
        EXPECT_EQ(reg("SWMODE") & 3, 3u);  // forwarding enabled, managed mode
        EXPECT_EQ(reg("PHYSCAN_CTL"), 0u);
        EXPECT_TRUE(board->anomalies().empty());
    }
}

TEST_F(soc_chip_port, FlowControlSetupStopsAtTheFirstFailedAccess) {
    start(sim::ChipKind::DXP7102A1, sim::BusMode::Pins);
    board->serial().injectBusy(50);  // the first access times out, the rest would work
    EXPECT_EQ(soc_chip_init(0), 0);  // the PHY-scan step still runs and answers
    EXPECT_EQ(reg("FCON_FLOWMIX"), 0u);
    EXPECT_EQ(reg("FCON_GLOB_TH_CTRL_2"), 0u);
    EXPECT_EQ(reg("FCON_RSRV_BUFNUM") & 0x3f, 0u);
}

TEST_F(soc_chip_port, UnattachedUnitIsRefusedAndNothingWritten) {
    start(sim::ChipKind::DXP7101, sim::BusMode::Direct, false);
    board->accessLog().enable(true);
    EXPECT_EQ(soc_chip_init(0), -17);
    EXPECT_TRUE(board->accessLog().entries().empty());
    start(sim::ChipKind::DXP7101);
    ASSERT_EQ(soc_detach(0), 0);
    board->accessLog().clear();
    EXPECT_EQ(soc_chip_init(0), -17);
    EXPECT_TRUE(board->accessLog().entries().empty());
}

TEST_F(soc_chip_port, LoopDetectionAndLedPortMap) {
    start(sim::ChipKind::DXP7106);
    ASSERT_EQ(soc_tarn_loop_detect_enable_set(0, 1), 0);
    int enable = 0;
    ASSERT_EQ(soc_tarn_loop_detect_enable_get(0, &enable), 0);
    EXPECT_EQ(enable, 1);
    const uint8_t mac[6] = {0x00, 0x10, 0x18, 0xaa, 0xbb, 0xcc};
    ASSERT_EQ(soc_tarn_loop_detect_sa_set(0, mac), 0);
    EXPECT_EQ(reg("LD_FRM_SA"), 0x001018aabbccull);
    // Ports 2 and 28 are bits 26 and 52 of the DXP7106's register.
    board->chip().poke("LED_PORTMAP", 0, 1ull << 26 | 1ull << 52);
    soc_pbmp_t bmp{};
    ASSERT_EQ(soc_tarn_led_warning_portmap_get(0, &bmp), 0);
    EXPECT_EQ(bmp.w[0], 1u << 2 | 1u << 28);
    EXPECT_EQ(bmp.w[1], 0u);
}

}  // namespace
