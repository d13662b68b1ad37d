// PORT, PortStat and PortRate on an initialised unit over the chip model:
// settings are checked in the PHY's registers and in the shown status.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>

#include "diag_shell.h"
#include "diag_unit_fixture.h"
#include "dxp.h"
#include "dxp_tarn.h"
#include "port_reserve.h"

namespace {

namespace c22 = port_test::c22;

class diag_port : public diag_test::MonitorUnitTest {
  protected:
};

TEST_F(diag_port, SettingsReachThePhyAndShowBack) {
    EXPECT_EQ(run("PORT fe1", -1), "PORT: Error: dxp ports not initialized\n");
    ASSERT_EQ(dxp_init(0), 0);

    EXPECT_EQ(run("PORT fe1 AutoNeg=off SPeed=10 FullDuplex=false"), "");
    EXPECT_EQ(phyReg(1, c22::kCtl) & (c22::kAneg | c22::kSpeed100 | c22::kFull), 0);
    std::string out = run("PORT fe1");
    EXPECT_TRUE(has(out, "PORT: Status (* indicates PHY link up)\n  fe1 LS(SW) Forced(10MHD) "))
        << out;
    EXPECT_TRUE(has(out, " STP(Forward) Lrn(ARL,FWD) UtPri(0) Pfm(A) IF(MII) \n")) << out;
    // Speed 0 forces the port's fastest speed.
    run("PORT fe1 SPeed=0");
    EXPECT_EQ(phyReg(1, c22::kCtl) & c22::kSpeed100, c22::kSpeed100);
    board->chip().linkUp(1, sim::LinkPartner::forced(100, false));
    EXPECT_TRUE(has(run("PORT fe1"), "\n *fe1 LS(SW) Forced(100MHD) ")) << run("PORT fe1");

    // Under auto-negotiation half duplex leaves the full-duplex abilities out.
    run("PORT fe2 AutoNeg=on FullDuplex=false");
    EXPECT_EQ(phyReg(2, c22::kCtl) & c22::kAneg, c22::kAneg);
    EXPECT_EQ(phyReg(2, c22::kAdv) & 0x140, 0);
    EXPECT_EQ(phyReg(2, c22::kAdv) & 0xa0, 0xa0);
    EXPECT_TRUE(has(run("PORT fe2"), "fe2 LS(SW) Auto(no link) Adv(100MHD) ")) << run("PORT fe2");

    run("PORT fe3 LinkScan=on");
    int mode = -1;
    EXPECT_EQ(dxp_port_linkscan_get(0, 3, &mode), 0);
    EXPECT_EQ(mode, 1);
    EXPECT_EQ(run("PORT fe3 LinkScan=off"), "");
    EXPECT_EQ(run("PORT fe3 LinkScan"),
              "PORT: Status (* indicates PHY link up)\n  fe3 Auto(no link) Adv(100MFD) \n");
    // Learning has calls of its own; the filter mode has none on this chip.
    EXPECT_EQ(run("PORT fe3 LeaRN=4"), "");
    uint32_t learn = 0;
    EXPECT_EQ(dxp_port_learn_get(0, 3, &learn), 0);
    EXPECT_EQ(learn, 4u);
    EXPECT_TRUE(has(run("PORT fe3 LeaRN"), "Lrn(FWD) \n"));
    EXPECT_EQ(run("PORT fe3 PortFilterMode=1", -1),
              "PORT: Error: Could not set port fe3 information: Feature unavailable\n");
    EXPECT_EQ(run("PORT fe3 disable"), "");
    EXPECT_TRUE(has(run("PORT fe3 E"), " fe3 DISABLED ")) << run("PORT fe3 E");
    run("PORT fe3 enable");

    out = run("PortStat fe1-fe2");
    EXPECT_TRUE(
        has(out, "port  Ena link    duplex  scan  neg?   state   pause  discrd  ops   face"))
        << out;
    EXPECT_TRUE(has(out,
                    "\n fe1   En  up    100M HD    SW   No   Forward          None   FAC    "
                    "MII  \n"))
        << out;
    EXPECT_EQ(run("PortStat none"), "No ports specified.\n");
}

TEST_F(diag_port, RatesAndRefusals) {
    ASSERT_EQ(dxp_init(0), 0);
    std::string out;
    EXPECT_EQ(run("PortRate fe4 ingress 1024 144"), "");
    uint32_t kbits = 0, burst = 0;
    ASSERT_EQ(dxp_port_rate_ingress_get(0, 4, &kbits, &burst), 0);
    EXPECT_EQ(kbits, 1024u);
    EXPECT_EQ(run("PortRate fe4"),
              " fe4:\tIngress meter:     1024 kbps      144 kbits max burst.\n"
              "\tEgress meter:  value not set yet.\n");
    run("PortRate fe4 i 0 5");  // a zero turns metering off
    EXPECT_EQ(run("PortRate fe4 in"), " fe4:\tIngress meter:  value not set yet.\n");
    EXPECT_EQ(run("PortRate fe4 egress 102400 528"), "");
    EXPECT_EQ(run("PortRate fe4 e"),
              " fe4:\tEgress meter:    102400 kbps      528 kbits max burst.\n");

    // Between two steps, the nearest ones run, and the answer says so.
    EXPECT_EQ(run("PortRate fe5 ingress 300 50"),
              "PortRate: rate 300 kbps, burst 50 kbits run as 320 kbps, burst 48 kbits, the "
              "nearest steps the ports have\n");
    EXPECT_EQ(run("PortRate fe4 sideways", -1),
              "PortRate: Error: unrecognized port rate type: sideways\n");
    EXPECT_EQ(run("PortRate fe4 ingress 100", -1), "PortRate: Error: missing port burst size\n");
    // Words that do not fit a meter are refused by name and leave it as it
    // was.
    for (const auto &[line, says] :
         {std::pair{"PortRate fe4 ingress -5 10", "rate -5 is not a count of kbits"},
          std::pair{"PortRate fe4 ingress 5000 -3", "burst -3 is not a count of kbits"},
          std::pair{"PortRate fe4 egress 5000 x", "burst x is not a count of kbits"}})
        EXPECT_EQ(run(line, -1), std::string("PortRate: Error: ") + says + "; nothing changed\n")
            << line;
    // A limit above every code is named, on any port of the list, before
    // any port changes.
    EXPECT_EQ(run("PortRate fe3-fe4 egress 2000000 528", -1),
              "PortRate: Error: fe3: egress limit 2000000 kbps is above the largest it runs, "
              "1024000 kbps\n");
    EXPECT_EQ(run("PortRate fe3 e"), " fe3:\tEgress meter:  value not set yet.\n");
    EXPECT_EQ(run("PortRate fe4 e"),
              " fe4:\tEgress meter:    102400 kbps      528 kbits max burst.\n");
    // The CPU port has no status line, so no header either.
    EXPECT_EQ(run("PORT cpu0"), "");
    EXPECT_TRUE(has(run("PORT", -2), "Usage (PORT): Parameters: <ports>"));
    EXPECT_EQ(run("PORT bogus", -1), "PORT: Error: unrecognized port bitmap: bogus\n");
    EXPECT_EQ(run("PORT none AutoNeg=off"), "");
    EXPECT_EQ(run("PORT fe5 Bogus=1", -1), "PORT: Unknown argument Bogus=1\n");
    EXPECT_TRUE(has(run("PORT fe5 LinkScan=sideways", -1),
                    "LinkScan=sideways refused for fe5: not one of"));
    EXPECT_EQ(run("PORT fe5 AutoNeg SPeed=100", -1),
              "PORT: Cannot get and set port properties in one command\n");
    EXPECT_TRUE(has(run("PORT fe5 = x", -2), "Usage (PORT)"));
    // "=" offers the lowest port's values (here the console has nothing to answer).
    out = run("PORT fe5-fe6 =");
    EXPECT_TRUE(has(out, "AutoNeg[True]\nSPeed[")) << out;
    EXPECT_TRUE(has(out, "SpanningTreeProtocol[Forward]\n")) << out;
    EXPECT_FALSE(has(out, "ENCapsulation")) << out;
    // None of the refusals touched the port.
    EXPECT_EQ(phyReg(5, c22::kCtl) & c22::kAneg, c22::kAneg);
}

// The 26-port board's chip, whose gigabit ports have copper PHYs.
class diag_port_copper : public diag_test::MonitorUnitTest {
  protected:
    sim::ChipKind chip() const override { return sim::ChipKind::DXP7102A1; }
};

TEST_F(diag_port_copper, EqualsOffersThePortsOwnValuesOnly) {
    ASSERT_EQ(dxp_init(0), 0);
    // The MACs keep no station address: a set is refused, a get shows none.
    EXPECT_EQ(run("PORT fe5 STationADdress=00:11:22:33:44:55", -1),
              "PORT: Error: Could not set port fe5 information: Feature unavailable\n");
    EXPECT_FALSE(has(run("PORT fe5 STationADdress"), "Stad(")) << run("PORT fe5 STationADdress");
    EXPECT_EQ(run("PORT fe5 PortFilterMode=2", -1),
              "PORT: Error: Could not set port fe5 information: Feature unavailable\n");
    dxp_port_info info{};
    ASSERT_EQ(dxp_port_info_get(0, 6, &info), 0);
    EXPECT_EQ(info.action_mask & DXP_PORT_ATTR_PAUSE_MAC_MASK, 0u);
    EXPECT_NE(info.action_mask & DXP_PORT_ATTR_PHY_MASTER_MASK, 0u);

    // A gigabit copper PHY resolves master and slave; the listing offers it.
    EXPECT_EQ(run("PORT ge0 PHymaster=Master"), "");
    std::string out = run("PORT ge0 =");
    EXPECT_TRUE(has(out, "PHymaster[Master]\n")) << out;
    // The next port's listing holds that port's values, nothing kept from
    // the commands before: a fast-Ethernet PHY has no master or slave.
    out = run("PORT fe6 =");
    EXPECT_TRUE(has(out, "PHymaster[None]\n")) << out;
    EXPECT_TRUE(has(out, "PortFilterMode[0]\n")) << out;
    EXPECT_FALSE(has(out, "STationADdress")) << out;
}

// A port under self-test takes no change from the monitor; showing it is
// still allowed.
TEST_F(diag_port, APortUnderSelfTestRefusesChanges) {
    ASSERT_EQ(dxp_init(0), 0);
    dxp_pbmp_t held{};
    dxp_pbmp_port_add(&held, 2);
    ASSERT_EQ(port_reserve(0, held, "Snake"), 0);
    EXPECT_EQ(run("PORT fe1,fe2 AutoNeg=off SPeed=10", -1),
              "PORT: Error: port fe2: port under self-test (Snake)\n");
    EXPECT_TRUE(has(run("PORT fe1"), "fe1 LS(SW) Auto(")) << run("PORT fe1");
    EXPECT_TRUE(has(run("PORT fe2"), "fe2 LS(SW) Auto(")) << run("PORT fe2");
    port_reserve_release(0, held);
    EXPECT_EQ(run("PORT fe2 AutoNeg=off SPeed=10"), "");
    EXPECT_TRUE(has(run("PORT fe2"), "fe2 LS(SW) Forced(10M")) << run("PORT fe2");
}

// The hold sits at the switch API's entry points: whatever command calls
// them, only the test that holds a port changes it, and not from the
// monitor shell its failure opens.
TEST_F(diag_port, HeldPortsAreChangedOnlyByTheirOwnTest) {
    ASSERT_EQ(dxp_init(0), 0);
    dxp_pbmp_t held{};
    dxp_pbmp_port_add(&held, 2);
    std::thread([&] { EXPECT_EQ(port_reserve(0, held, "Traffic Test"), 0); }).join();
    EXPECT_EQ(dxp_port_rate_ingress_set(0, 2, 1024, 48), DXP_E_BUSY);
    EXPECT_EQ(dxp_port_learn_set(0, 2, 4), DXP_E_BUSY);
    EXPECT_EQ(dxp_stg_stp_set(0, 1, 2, 1), DXP_E_BUSY);
    uint32_t kbits = 1, burst = 1;
    EXPECT_EQ(dxp_port_rate_ingress_get(0, 2, &kbits, &burst), 0);
    // The commands name the port and change none, the free ones included.
    EXPECT_EQ(run("PortRate fe1-fe2 ingress 1024 48", -1),
              "PortRate: ERROR: port fe2: port under self-test (Traffic Test)\n");
    EXPECT_EQ(dxp_port_rate_ingress_get(0, 1, &kbits, &burst), 0);
    EXPECT_EQ(kbits, 0u);
    EXPECT_EQ(run("COMBO fe2 copper Autoneg_Enable=0", -1),
              "COMBO: ERROR: port fe2: port under self-test (Traffic Test)\n");
    EXPECT_EQ(run("PHY fe2 0 0x2100", -1),
              "PHY: ERROR: port fe2: port under self-test (Traffic Test)\n");
    port_reserve_release(0, held);

    std::thread([&] {
        ASSERT_EQ(port_reserve(0, held, "Traffic Test"), 0);
        EXPECT_EQ(dxp_port_rate_ingress_set(0, 2, 1024, 48), 0);
        port_reserve_step_aside(1);
        EXPECT_EQ(dxp_port_rate_ingress_set(0, 2, 0, 0), DXP_E_BUSY);
        port_reserve_step_aside(0);
        EXPECT_EQ(dxp_port_rate_ingress_set(0, 2, 0, 0), 0);
        port_reserve_release(0, held);
    }).join();
    EXPECT_EQ(dxp_port_rate_ingress_set(0, 2, 1024, 48), 0);
}

}  // namespace
