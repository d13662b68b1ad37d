// PHY, CABLEdiag, LINKscan, COMBO, Auth and COS over the chip model: register
// accesses reach the model's PHYs and settings read back through the API.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "../../phy/tests/phy_fixture.h"
#include "diag_console.h"
#include "diag_shell.h"
#include "dxp.h"
#include "dxp_tarn.h"

namespace {

class diag_phy : public phy_test::PhyTest {
  protected:
    void bringUp(sim::ChipKind chip = sim::ChipKind::DXP7101,
                 std::optional<sim::PhyKind> gigabit = std::nullopt, bool dxp = true) {
        drv_port_info_host_forget();
        startPhy(chip, gigabit);
        soc_test::PrintCapture::get().clear();
        if (dxp) {
            ASSERT_EQ(dxp_init(0), 0);
            // The first scan's link-down reports (which turn authorised
            // ports unauthorised) are heard before the test changes a mode.
            const soc_pbmp_t ports = SOC_CONTROL(0)->port.bitmap;
            ASSERT_EQ(dxp_linkscan_update(0, dxp_pbmp_t{{ports.w[0], ports.w[1]}}), 0);
        }
        sh_set_mode(2);
        sh_set_unit(0);
    }
    void TearDown() override {
        dxp_linkscan_detach(0);
        dxp_detach(0);
        PhyTest::TearDown();
    }
    std::string run(const std::string &line, int expect = 0) {
        diag_test::ConsoleCapture cap;
        EXPECT_EQ(sh_process_command(0, line.c_str()), expect) << line;
        std::string out = cap.take() + printed();
        soc_test::PrintCapture::get().clear();
        return out;
    }
    static bool has(const std::string &out, const std::string &text) {
        return out.find(text) != std::string::npos;
    }
    static std::string fmt(const char *format, int a, int b = 0) {
        char buf[160];
        std::snprintf(buf, sizeof buf, format, a, b);
        return buf;
    }
    static int scanMode(int port) {
        int mode = -1;
        EXPECT_EQ(dxp_linkscan_mode_get(0, port, &mode), 0);
        return mode;
    }
};

TEST_F(diag_phy, PhyRegistersReachTheModel) {
    bringUp(sim::ChipKind::DXP7101, std::nullopt, false);
    const int addr = soc_phy_addr_get(0, 1);
    EXPECT_EQ(run(fmt("PHY raw %d 2", addr)), fmt("\t0x02: 0x%04x\n", reg(1, 2)));
    EXPECT_EQ(run(fmt("PHY raw %d 4 0x61", addr)), "");
    EXPECT_EQ(reg(1, 4), 0x61);
    EXPECT_EQ(run("PHY fe1 4"), fmt("Port fe1 (PHY addr 0x%02x) Reg 4: 0x0061\n", addr));
    EXPECT_EQ(run("PHY fe1 4 0x1e1"), "");
    EXPECT_EQ(reg(1, 4), 0x1e1);
    // A register beyond 31 or a value wider than 16 bits is refused, unwritten.
    EXPECT_TRUE(has(run("PHY fe1 99", -2), "Usage (PHY)"));
    EXPECT_TRUE(has(run("PHY fe1 4 0x12345", -2), "Usage (PHY)"));
    EXPECT_TRUE(has(run("PHY fe1 4 -1", -2), "Usage (PHY)"));
    EXPECT_EQ(reg(1, 4), 0x1e1);

    // A dump shows the 32 registers four to a line.
    std::string out = run("PHY fe0");
    EXPECT_TRUE(has(out, fmt("Port fe0 (PHY addr 0x%02x): ", soc_phy_addr_get(0, 0)))) << out;
    EXPECT_TRUE(has(out, fmt("\n\t0x1c: 0x%04x\t0x1d: ", reg(0, 28)))) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 9) << out;
    EXPECT_TRUE(has(run("PHY info"), "Phy mapping dump:\n      port   id0   id1  addr iaddr"));

    EXPECT_TRUE(has(run("PHY int fe1"), fmt("Port fe1 (intermediate PHY addr 0x%02x):\n\t0x00: ",
                                            soc_phy_addr_int_get(0, 1))));
    EXPECT_EQ(run("PHY bogus", -1), "PHY: ERROR: unrecognized port bitmap: bogus\n");
    run("PHY raw 1", -2);
    run("PHY", -2);
}

TEST_F(diag_phy, LinkScanAndCableDiagnostics) {
    bringUp(sim::ChipKind::DXP7101, std::nullopt, false);
    EXPECT_EQ(run("LINKscan off"), "");  // never started: nothing to stop
    ASSERT_EQ(dxp_init(0), 0);

    EXPECT_EQ(run("LINKscan SwPortBitMap=fe0 HwPortBitMap=fe0", -1),
              "LINKscan: Error: Same port can't use both software and hardware linkscan\n");
    EXPECT_EQ(run("LINKscan SwPortBitMap=fe0-fe3 HwPortBitMap=fe4 Interval=100000"), "");
    int usec = -1;
    ASSERT_EQ(dxp_linkscan_enable_get(0, &usec), 0);
    EXPECT_EQ(usec, 100000);
    EXPECT_EQ(scanMode(2), 1);
    EXPECT_EQ(scanMode(4), 2);
    EXPECT_EQ(scanMode(5), 0);
    std::string out = run("LINKscan");
    EXPECT_TRUE(has(out,
                    "LINKscan: Linkscan enabled\nLINKscan:   Software polling interval: "
                    "100000 usec\nLINKscan:   Software Port BitMap 0x000000000000000f: "))
        << out;
    EXPECT_TRUE(has(out, "LINKscan:   Hardware Port BitMap 0x0000000000000010: ")) << out;

    EXPECT_EQ(run("LINKscan Interval=0"), "");
    ASSERT_EQ(dxp_linkscan_enable_get(0, &usec), 0);
    EXPECT_EQ(usec, 0);
    EXPECT_EQ(run("LINKscan"), "LINKscan: Linkscan disabled\n");
    EXPECT_EQ(run("LINKscan on"), "");
    ASSERT_EQ(dxp_linkscan_enable_get(0, &usec), 0);
    EXPECT_EQ(usec, 250000);
    run("LINKscan bogus", -2);

    // Ports without a cable: every pair open at 0 m; each tested port gets
    // its scan mode back (fe4 hardware, fe5 none).
    out = run("CABLEdiag fe4-fe5");
    EXPECT_TRUE(has(out, "port fe4: cable Open (2 pairs)\n\tpair A Open, length 0 metres\n"))
        << out;
    EXPECT_TRUE(has(out, "port fe5: cable Open (2 pairs)\n")) << out;
    EXPECT_EQ(scanMode(4), 2);
    EXPECT_EQ(scanMode(5), 0);
    run("CABLEdiag", -2);
}

TEST_F(diag_phy, ComboMediaShowSetAndWatch) {
    bringUp(sim::ChipKind::DXP7102A1, sim::PhyKind::GigabitCombo);
    static const dxp_tarn_phy_hooks_t hooks = {
        .common_init = nullptr,
        .medium_change_register = phy_common_medium_change_register,
        .medium_change_unregister = phy_common_medium_change_unregister,
        .reset_register = nullptr,
        .reset_unregister = nullptr,
    };
    dxp_tarn_phy_hooks_register(&hooks);
    const std::string ge = SOC_CONTROL(0)->port_name[25];
    std::string out = run("COMBO " + ge);
    EXPECT_TRUE(has(out, "Port " + ge + ":\n" + ge + ":\tCopper medium (active)\n")) << out;
    EXPECT_TRUE(has(out, ge + ":\tFiber medium\n")) << out;

    // The fibre runs at 1000 (or 100 on a 100BASE-FX fibre): 10 is refused
    // and nothing is kept.
    EXPECT_EQ(run("COMBO " + ge + " fiber Force_Speed=10", -1),
              "COMBO: port " + ge + ": Error setting medium config: Invalid configuration\n");
    EXPECT_EQ(run("COMBO " + ge + " fiber Force_Speed=0 Autoneg_Advert=1000,pause"), "");
    dxp_phy_config_t fiber{}, copper{};
    ASSERT_EQ(dxp_port_medium_config_get(0, 25, 2, &fiber), 0);
    ASSERT_EQ(dxp_port_medium_config_get(0, 25, 1, &copper), 0);
    EXPECT_EQ(fiber.force_speed, 0);
    EXPECT_NE(copper.force_speed, 0);
    out = run("COMBO " + ge + " f");
    EXPECT_FALSE(has(out, "Copper")) << out;
    EXPECT_TRUE(has(out, "force_speed=0 ")) << out;
    run("COMBO " + ge + " fiber Bogus=1", -2);
    run("COMBO " + ge + " sideways", -2);

    EXPECT_EQ(run("COMBO " + ge + " watch"),
              "Port " + ge + ": Medium status change watch is OFF.\n");
    run("COMBO " + ge + " watch on");
    EXPECT_EQ(run("COMBO " + ge + " watch on"), "Port " + ge + ": Medium change watch is ON\n");
    EXPECT_EQ(run("COMBO " + ge + " w"),
              "Port " + ge + ": Medium status change watch is  ON. Medim changed 0 times\n");
    // Registered once: one change counts once.
    {
        diag_test::ConsoleCapture cap;
        phy_common_medium_change_notify(0, 25, 2);
        EXPECT_EQ(cap.take(), "Unit 0: " + ge + ": Active medium switched to Fiber\n");
    }
    EXPECT_EQ(run("COMBO " + ge + " w"),
              "Port " + ge + ": Medium status change watch is  ON. Medim changed 1 times\n");
    EXPECT_EQ(run("COMBO " + ge + " watch off"), "Port " + ge + ": Medium change watch is OFF\n");
    dxp_tarn_phy_hooks_register(nullptr);
}

TEST_F(diag_phy, AuthModesReachThePorts) {
    bringUp();
    auto mode = [](int port) {
        uint32_t m = 0;
        EXPECT_EQ(dxp_auth_mode_get(0, port, &m), 0);
        return m;
    };
    EXPECT_TRUE(has(run("Auth block"), "Current settings:\n"));
    EXPECT_EQ(mode(0), 1u);

    std::string out = run("Auth block PortBitMap=fe0-fe3 IngressOnly=true");
    EXPECT_TRUE(has(out, "port fe0 blocked in ingress direction(s).\n")) << out;
    for (int port = 0; port < 4; port++)
        EXPECT_EQ(mode(port), 10u);
    EXPECT_TRUE(has(run("Auth show"), "port fe0 is unauthorized for ingress direction(s).\n"));
    // The bitmap is kept for the next command.
    EXPECT_EQ(run("Auth unblock").substr(0, 16), "Current settings");
    EXPECT_EQ(mode(3), 10u);
    run("Auth enable LearnEnable=true");
    for (int port = 0; port < 4; port++)
        EXPECT_EQ(mode(port), 0x10024u);
    run("Auth unblock PortBitMap=fe0-fe3");
    for (int port = 0; port < 4; port++)
        EXPECT_EQ(mode(port), 1u);

    EXPECT_EQ(run("Auth enable AuthNum=5 PortBitMap=fe1", -1),
              "ERROR: Auth without expected parameter.\n");
    EXPECT_EQ(mode(1), 1u);
    out = run("Auth enable PortBitMap=fe1 AuthNum=3 SaNum=4 LearnEnable=true");
    EXPECT_EQ(out, "sanum 4\nport fe1 authorization enabled.\n");
    EXPECT_EQ(mode(1), 0x80024u);
    EXPECT_TRUE(has(run("Auth mac show"), "port fe1 is authorized with condition(s) L2LEAERN \n"));
    run("Auth disable PortBitMap=fe1");
    EXPECT_EQ(mode(1), 18u);
    EXPECT_TRUE(has(run("Auth enable Bogus=1", -1), "Auth: Error: Unknown option: Bogus=1\n"));
    run("Auth sideways", -2);
    run("Auth mac", -2);
}

TEST_F(diag_phy, CosQueuesSchedulingAndMapReachTheChip) {
    bringUp();
    EXPECT_EQ(run("COS map Pri=3 Queue=2"), "");
    int queue = -1;
    ASSERT_EQ(dxp_cosq_mapping_get(0, 3, &queue), 0);
    EXPECT_EQ(queue, 2);
    // The queue offered by default is that of the previous priority.
    ASSERT_EQ(dxp_cosq_mapping_set(0, 5, 0), 0);
    EXPECT_EQ(run("COS map Pri=5"), "");
    ASSERT_EQ(dxp_cosq_mapping_get(0, 5, &queue), 0);
    EXPECT_EQ(queue, 2);
    EXPECT_EQ(run("COS map Queue=1"), "");
    ASSERT_EQ(dxp_cosq_mapping_get(0, 5, &queue), 0);
    EXPECT_EQ(queue, 1);

    EXPECT_EQ(run("COS weight W0=1 W1=2 W2=3 W3=4"), "");
    int mode = 0, weights[8] = {}, delay = 0;
    ASSERT_EQ(dxp_cosq_sched_get(0, &mode, weights, &delay), 0);
    EXPECT_EQ(mode, 3);
    EXPECT_EQ(weights[2], 3);
    std::string out = run("COS show");
    EXPECT_TRUE(has(out, "  Schedule mode: weighted round-robin\n")) << out;
    EXPECT_TRUE(has(out, "    COSQ 2 = 3 packets\n    COSQ 3 = 4 packets\n")) << out;
    EXPECT_TRUE(has(out, "    PRIO 5 ==> COSQ 1\n")) << out;
    // A refused weight changes none of them.
    EXPECT_TRUE(has(run("COS weight W0=7 W1=0", -1), "COS: ERROR: "));
    ASSERT_EQ(dxp_cosq_sched_get(0, &mode, weights, &delay), 0);
    EXPECT_EQ(weights[0], 1);
    EXPECT_EQ(weights[1], 2);

    EXPECT_EQ(run("COS strict"), "");
    ASSERT_EQ(dxp_cosq_sched_get(0, &mode, weights, &delay), 0);
    EXPECT_EQ(mode, 1);
    EXPECT_EQ(run("COS config Numcos=2"), "");
    int numq = 0;
    ASSERT_EQ(dxp_cosq_config_get(0, &numq), 0);
    EXPECT_EQ(numq, 2);
    EXPECT_TRUE(has(run("COS map Queue=9", -1), "COS: ERROR: ")) << run("COS show");
    run("COS clear extra", -2);
    run("COS bogus", -2);
}

}  // namespace
