// The port mirroring page through HTTP over the chip model: mirroring in the
// chip, the saved item, the page's presets and the copies the monitor port
// sends.
#include <string>
#include <vector>

#include "drv_reg_rmw.h"
#include "mirror_item.h"
#include "port_reserve.h"
#include "switch_pages_fixture.h"

namespace {

using switch_pages_test::chip_port_of;
using switch_pages_test::ChipPort;

class page_mirror : public switch_pages_test::SwitchPages {
  protected:
    void TearDown() override {
        post("/mirror.cgi", "mode=0");
        SwitchPages::TearDown();
    }
    // One character per port: the given ones, then "0" for the rest.
    static std::string ports(const std::string &first) {
        return first + std::string(static_cast<size_t>(web_port_count()) - first.size(), '0');
    }
    static uint32_t flags_of(int uport, int *mtp_uport) {
        int lport = 0, mtp = -1;
        uint32_t flags = 0;
        EXPECT_EQ(ulpm_to_lport(uport, &lport), 0);
        EXPECT_EQ(dxpx_mirror_port_get(lport, &mtp, &flags), 0);
        *mtp_uport = 0;
        if (mtp >= 0) ulpm_to_uport(mtp, mtp_uport);
        return flags;
    }
};

TEST_F(page_mirror, TheFormReachesTheChipTheSavedItemAndThePage) {
    std::string before = saved("mirror");
    test_response r = post(
        "/mirror.cgi", "ingress=" + ports("1000") + "&egress=" + ports("0110") + "&mtp=5&mode=1");
    EXPECT_EQ(error_of(r), "");
    int mode = 0, mtp = 0;
    ASSERT_EQ(dxpx_mirror_mode_get(&mode), 0);
    EXPECT_EQ(mode, 1);
    EXPECT_EQ(flags_of(1, &mtp) & 0x6, 0x2u);
    EXPECT_EQ(mtp, 5);
    EXPECT_EQ(flags_of(2, &mtp) & 0x6, 0x4u);
    EXPECT_EQ(flags_of(4, &mtp) & 0x6, 0x0u);
    EXPECT_NE(saved("mirror"), before);
    EXPECT_TRUE(logged("Enable Mirror mode : Set mtp to port : 5"));
    EXPECT_TRUE(logged("Set Mirror : Ingress ports :  1,"));
    EXPECT_TRUE(logged("Set Mirror : Egress ports :  2, 3,"));
    EXPECT_NE(r.body.find("<option value=\"1\" selected>Enable"), std::string::npos) << r.body;
    EXPECT_NE(r.body.find("<option value=\"5\" selected>05</option>"), std::string::npos);
    EXPECT_NE(r.body.find("id=\"in1\" checked>"), std::string::npos);
    EXPECT_NE(r.body.find("id=\"eg3\" checked>"), std::string::npos);
    EXPECT_NE(r.body.find("id=\"eg1\" >"), std::string::npos);

    // The saved item brings the same mirroring back after it is switched off.
    ASSERT_EQ(error_of(post("/mirror.cgi", "mode=0")), "");
    EXPECT_EQ(flags_of(1, &mtp), 0u);
    EXPECT_NE(post("/mode.cgi", "mode=1").body.find("<option value=\"1\" selected>"),
              std::string::npos);
    feature_test::MemoryMedium m;
    ASSERT_EQ(error_of(post("/mirror.cgi", "ingress=" + ports("1000") + "&egress=" + ports("0110") +
                                               "&mtp=5&mode=1")),
              "");
    ASSERT_GT(m.save(mirror_item), 0);
    ASSERT_EQ(error_of(post("/mirror.cgi", "mode=0")), "");
    ASSERT_GT(m.load(mirror_item), 0);
    EXPECT_EQ(flags_of(2, &mtp) & 0x6, 0x4u);
    EXPECT_EQ(mtp, 5);
}

// A load during a self-test on the monitor port leaves mirroring as it
// runs, mode and ports; the next load after the test brings it.
TEST_F(page_mirror, ALoadWaitsForTheTestOfItsMonitorPort) {
    ASSERT_EQ(error_of(post("/mirror.cgi",
                            "ingress=" + ports("1") + "&egress=" + ports("0") + "&mtp=5&mode=1")),
              "");
    feature_test::MemoryMedium m;
    ASSERT_GT(m.save(mirror_item), 0);
    ASSERT_EQ(error_of(post("/mirror.cgi", "mode=0")), "");
    int lport = 0, unit = 0, chip = 0;
    ASSERT_EQ(ulpm_to_lport(5, &lport), 0);
    ASSERT_EQ(dxpx_lport_to_unit_port(lport, &unit, &chip), 0);
    dxp_pbmp_t held{};
    dxp_pbmp_port_add(&held, chip);
    ASSERT_EQ(port_reserve(unit, held, "Traffic Test"), 0);
    log_clear();
    ASSERT_GT(m.load(mirror_item), 0);
    EXPECT_TRUE(logged("Mirroring: port 5: port under self-test (Traffic Test)"));
    int mode = -1, mtp = 0;
    ASSERT_EQ(dxpx_mirror_mode_get(&mode), 0);
    EXPECT_EQ(mode, 0);
    EXPECT_EQ(flags_of(1, &mtp), 0u);
    EXPECT_NE(get("/mirror.htm").body.find("<option value=\"0\" selected>Disable"),
              std::string::npos);
    port_reserve_release(unit, held);
    ASSERT_GT(m.load(mirror_item), 0);
    EXPECT_EQ(flags_of(1, &mtp) & 0x6, 0x2u);
    EXPECT_EQ(mtp, 5);
}

TEST_F(page_mirror, BadModeOrMonitorPortChangesNothing) {
    ASSERT_EQ(error_of(post("/mirror.cgi",
                            "ingress=" + ports("1") + "&egress=" + ports("0") + "&mtp=2&mode=1")),
              "");
    std::string before = saved("mirror");
    EXPECT_EQ(error_of(post("/mirror.cgi",
                            "ingress=" + ports("01") + "&egress=" + ports("0") + "&mtp=99&mode=1")),
              "Invalid monitor port");
    EXPECT_TRUE(logged("Failed to map logical port from 99"));
    EXPECT_EQ(error_of(post("/mirror.cgi", "mode=on")), "Invalid mirror mode");
    // A list of another length would leave the ports it lacks unmirrored.
    EXPECT_EQ(error_of(post("/mirror.cgi", "ingress=111&egress=000&mtp=2&mode=1")),
              "Invalid port list");
    EXPECT_EQ(error_of(post("/mirror.cgi",
                            "ingress=" + ports("1") + "&egress=" + ports("2") + "&mtp=2&mode=1")),
              "Invalid port list");
    EXPECT_EQ(error_of(post("/mirror.cgi", "mode=1")), "Invalid monitor port");
    int mode = 0, mtp = 0;
    ASSERT_EQ(dxpx_mirror_mode_get(&mode), 0);
    EXPECT_EQ(mode, 1);
    EXPECT_EQ(flags_of(1, &mtp) & 0x6, 0x2u);
    EXPECT_EQ(mtp, 2);
    EXPECT_EQ(saved("mirror"), before);
}

// Mirroring on with a monitor port and no mirrored port yet: the switch
// names no monitor port then, yet the page, the saved item and a load keep
// the one chosen.
TEST_F(page_mirror, AMonitorPortWithoutMirroredPortsIsKept) {
    test_response r = post(
        "/mirror.cgi", "ingress=" + ports("0000") + "&egress=" + ports("0000") + "&mtp=5&mode=1");
    EXPECT_EQ(error_of(r), "");
    EXPECT_NE(r.body.find("<option value=\"5\" selected>05</option>"), std::string::npos);
    feature_test::MemoryMedium m;
    ASSERT_EQ(m.save(mirror_item), 24);
    const std::vector<uint8_t> head(m.bytes.begin(), m.bytes.begin() + 8);
    EXPECT_EQ(head, (std::vector<uint8_t>{0, 0, 0, 1, 0, 0, 0, 5}));

    ASSERT_EQ(error_of(post("/mirror.cgi", "ingress=" + ports("0000") + "&egress=" + ports("0000") +
                                               "&mtp=3&mode=1")),
              "");
    log_clear();
    ASSERT_GT(m.load(mirror_item), 0);
    EXPECT_FALSE(logged("Mirror settings: bad monitor port 0"));
    int mode = 0;
    ASSERT_EQ(dxpx_mirror_mode_get(&mode), 0);
    EXPECT_EQ(mode, 1);
    r = get("/mirror.htm");
    EXPECT_NE(r.body.find("<option value=\"5\" selected>05</option>"), std::string::npos);
    EXPECT_NE(r.body.find("<option value=\"1\" selected>Enable"), std::string::npos);

    // The first port mirrored later copies to it.
    ASSERT_EQ(error_of(post("/mirror.cgi",
                            "ingress=" + ports("1") + "&egress=" + ports("0") + "&mtp=5&mode=1")),
              "");
    int mtp = 0;
    EXPECT_EQ(flags_of(1, &mtp) & 0x3, 0x3u);
    EXPECT_EQ(mtp, 5);
}

// A frame entering a mirrored port leaves at its destination and, as a
// copy, at the monitor port.
TEST_F(page_mirror, AFrameIntoAMirroredPortIsCopiedToTheMonitorPort) {
    ChipPort p[4] = {{}, chip_port_of(1), chip_port_of(2), chip_port_of(5)};
    for (int i = 1; i < 4; i++) {
        board->port(p[i].port).linkUp();
        ASSERT_EQ(dxpx_port_enable_set(p[i].lport, 1), 0);
    }
    ASSERT_EQ(drv_reg_field_write(0, R_SWMODE, 0, F_SW_FWDG_EN, 1), 0);
    dxp_pbmp_t linked{};
    for (int i = 1; i < 4; i++)
        dxp_pbmp_port_add(&linked, p[i].port);
    ASSERT_EQ(dxp_linkscan_update(0, linked), 0);
    constexpr sim::MacAddr kA = 0x02000000000aull, kB = 0x02000000000bull;
    board->port(p[2].port).inject(sim::FrameBuilder().src(kB).build());  // kB learned on 2
    for (int i = 1; i < 4; i++)
        board->port(p[i].port).clearSent();

    ASSERT_EQ(error_of(post("/mirror.cgi",
                            "ingress=" + ports("1") + "&egress=" + ports("0") + "&mtp=5&mode=1")),
              "");
    board->port(p[1].port).inject(sim::FrameBuilder().src(kA).dst(kB).build());
    board->fabric().drain();
    EXPECT_EQ(board->port(p[2].port).sent().size(), 1u);
    EXPECT_EQ(board->port(p[3].port).sent().size(), 1u);

    ASSERT_EQ(error_of(post("/mirror.cgi", "mode=0")), "");
    board->port(p[3].port).clearSent();
    board->port(p[1].port).inject(sim::FrameBuilder().src(kA).dst(kB).build());
    board->fabric().drain();
    EXPECT_TRUE(board->port(p[3].port).sent().empty());
}

}  // namespace
