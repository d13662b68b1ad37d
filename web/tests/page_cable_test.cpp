// The cable diagnostics page through HTTP over the chip model: the result of
// a port's cable test on the page, and link scanning back on afterwards.
#include <string>

#include "drv_port.h"
#include "switch_pages_fixture.h"

namespace {

using switch_pages_test::chip_port_of;
using switch_pages_test::ChipPort;

class page_cable : public switch_pages_test::SwitchPages {
  protected:
    phy_driver_t fake{};
    const phy_driver_t *real = nullptr;
    ChipPort target;

    // Port 3's PHY answers the cable test with a short on pair B at 7 m, or
    // fails with `failure`, or answers it (a positive one) with that result.
    static inline int failure = 0;
    static int diag(int, int, phy_cable_diag_t *out) {
        if (failure < 0) return failure;
        dxp_port_cable_diag_t r{.state = 2,
                                .npairs = 2,
                                .pair_state = {0, 2, 0, 0},
                                .pair_len = {0, 7, 0, 0},
                                .fuzz_len = 1};
        *reinterpret_cast<dxp_port_cable_diag_t *>(out) = r;
        return failure;
    }
    void SetUp() override {
        SwitchPages::SetUp();
        target = chip_port_of(3);
        real = drv_port_info(0)[target.port].phy_driver;
        ASSERT_NE(real, nullptr);
        fake = *real;
        fake.cable_diag = diag;
        failure = 0;
        swap_driver(&fake);
    }
    void TearDown() override {
        swap_driver(real);
        SwitchPages::TearDown();
    }
    // Link scan reads the port's driver: it pauses while the test swaps it.
    void swap_driver(const phy_driver_t *driver) {
        int usec = 0;
        EXPECT_EQ(dxp_linkscan_enable_get(0, &usec), 0);
        EXPECT_EQ(dxp_linkscan_enable_set(0, 0), 0);
        drv_port_info(0)[target.port].phy_driver = driver;
        EXPECT_EQ(dxp_linkscan_enable_set(0, usec), 0);
    }
    int scan_mode() const {
        int mode = -1;
        EXPECT_EQ(dxp_linkscan_mode_get(target.unit, target.port, &mode), 0);
        return mode;
    }
};

TEST_F(page_cable, ATestShowsEachPairAndRestoresLinkScanning) {
    test_response before = get("/cable.htm");
    EXPECT_NE(before.body.find("<td id=\"tested\">--</td>"), std::string::npos) << before.body;
    EXPECT_NE(before.body.find("<td id=\"state\">--</td>"), std::string::npos);
    EXPECT_EQ(before.body.find("Pair A"), std::string::npos);

    test_response r = post("/cable.cgi", "port=3");
    EXPECT_EQ(error_of(r), "");
    EXPECT_NE(r.body.find("<option value=\"3\" selected>"), std::string::npos) << r.body;
    EXPECT_NE(r.body.find("<td id=\"tested\">03</td>"), std::string::npos);
    EXPECT_NE(r.body.find("<td id=\"state\">Short</td>"), std::string::npos);
    EXPECT_NE(r.body.find("<td id=\"pairs\">2</td>"), std::string::npos);
    EXPECT_NE(r.body.find("<th>Pair A</th><td>Ok, length 0 meters</td>"), std::string::npos);
    EXPECT_NE(r.body.find("<th>Pair B</th><td>Short, length 7 meters</td>"), std::string::npos);
    EXPECT_EQ(r.body.find("Pair C"), std::string::npos);
    EXPECT_TRUE(logged("Get Port #3 cablediag success."));
    EXPECT_EQ(scan_mode(), 1);
}

TEST_F(page_cable, AFailedTestOrABadPortShowsTheErrorPage) {
    failure = SOC_E_TIMEOUT;
    int enabled_before = -1, enabled_after = -2;
    ASSERT_EQ(dxpx_port_enable_get(target.lport, &enabled_before), 0);
    test_response r = post("/cable.cgi", "port=3");
    EXPECT_EQ(error_of(r), dxp_errmsg(SOC_E_TIMEOUT));
    EXPECT_NE(r.body.find("CABLE DIAGNOSTIC"), std::string::npos);
    EXPECT_TRUE(logged("Get Port #3 cablediag failed."));
    EXPECT_EQ(scan_mode(), 1);  // settings and link scanning are back
    ASSERT_EQ(dxpx_port_enable_get(target.lport, &enabled_after), 0);
    EXPECT_EQ(enabled_after, enabled_before);

    for (const char *bad : {"port=0", "port=27", "port=x", "port=3x", ""})
        EXPECT_EQ(error_of(post("/cable.cgi", bad)), "Invalid port") << bad;
}

// A port on its fibre side tests no copper pair, and the page says why.
TEST_F(page_cable, APortOnFibreSaysItsCopperPairsAreNotTested) {
    failure = DXP_CABLE_DIAG_ON_FIBER;
    test_response r = post("/cable.cgi", "port=3");
    EXPECT_EQ(error_of(r), "");
    EXPECT_NE(r.body.find("<td id=\"state\">port runs on fibre: copper pairs not tested</td>"),
              std::string::npos)
        << r.body;
    EXPECT_NE(r.body.find("<th>Pair B</th><td>not tested</td>"), std::string::npos);
    EXPECT_EQ(r.body.find("meters"), std::string::npos);
    EXPECT_EQ(scan_mode(), 1);
}

TEST_F(page_cable, ThePortsOwnPhyMeasuresTheCable) {
    swap_driver(real);
    board->chip().phyModel(target.port).setPairFault(1, sim::PairFault::Short, 7);
    test_response r = post("/cable.cgi", "port=3");
    EXPECT_EQ(error_of(r), "");
    EXPECT_NE(r.body.find("<td id=\"state\">Short</td>"), std::string::npos) << r.body;
    EXPECT_NE(r.body.find("<th>Pair A</th><td>Open, length 0 meters</td>"), std::string::npos);
    EXPECT_NE(r.body.find("<th>Pair B</th><td>Short, length 7 meters</td>"), std::string::npos);
}

}  // namespace
