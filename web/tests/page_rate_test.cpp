// The rate limit and storm control pages through HTTP: limits in the chip,
// the storm "all ports" flag, the log and the saved "rate" item.
#include <algorithm>
#include <iterator>
#include <string>

#include "port_reserve.h"
#include "switch_pages_fixture.h"

namespace {

class page_rate : public switch_pages_test::SwitchPages {
  protected:
    void SetUp() override {
        SwitchPages::SetUp();
        storm_allports_init();
        log_clear();
    }
    static int lport(int uport) {
        int lp = -1;
        EXPECT_EQ(ulpm_to_lport(uport, &lp), 0);
        return lp;
    }
    static std::string ingress(int uport) {
        uint32_t rate = 0, burst = 0;
        if (dxpx_port_rate_ingress_get(lport(uport), &rate, &burst) != 0) return "error";
        return std::to_string(rate);  // the chip rounds the burst
    }
    static std::string egress(int uport) {
        uint32_t rate = 0, burst = 0;
        if (dxpx_port_rate_egress_get(lport(uport), &rate, &burst) != 0) return "error";
        return std::to_string(rate) + "/" + std::to_string(burst);
    }
    // "flags/rate" of the three storm classes: broadcast, multicast, DLF.
    static std::string storm(int uport) {
        int flags = 0, rate = 0;
        std::string out;
        for (auto get : {dxpx_rate_bcast_get, dxpx_rate_mcast_get, dxpx_rate_dlfbc_get}) {
            int own = 0;
            if (get(&rate, &own, lport(uport)) != 0) return "error";
            flags |= own;
        }
        return std::to_string(flags) + "/" + std::to_string(rate);
    }
};

TEST_F(page_rate, LimitsReachTheChipTheLogAndTheItem) {
    std::string before = saved("rate");
    test_response r =
        post("/setrate.cgi", "port=3&ingress=1024&egress_enable=1&egress=16&burst=80");
    ASSERT_TRUE(r.answered);
    EXPECT_EQ(error_of(r), "");
    EXPECT_EQ(ingress(3), "1024");
    EXPECT_EQ(egress(3), "1024/80");
    EXPECT_TRUE(logged("Set Port #3 ingress rate 1024Kbps."));
    EXPECT_NE(saved("rate"), before);
    // The answer shows the port just set, with its limits preset.
    EXPECT_TRUE(has(r, "<input type=\"hidden\" name=\"port\" value=\"3\">")) << r.body;
    EXPECT_TRUE(has(r, "fill(\"egress\", eg_names, eg_values, 16);"));
    EXPECT_TRUE(has(r, "<td>3</td><td>1024 kbps</td><td>1024 kbps</td><td>10 KB</td>"));

    // The same ingress rate is not set again; the egress rate counts 64 kbps.
    log_clear();
    EXPECT_EQ(
        error_of(post("/setrate.cgi", "port=3&ingress=1024&egress_enable=1&egress=10&burst=80")),
        "");
    EXPECT_FALSE(logged("Set Port #3 ingress rate 1024Kbps."));
    EXPECT_EQ(egress(3), "640/80");
    EXPECT_EQ(
        error_of(post("/setrate.cgi", "port=3&ingress=1024&egress_enable=0&egress=10&burst=80")),
        "");
    EXPECT_EQ(egress(3), "0/0");
    EXPECT_EQ(error_of(post("/setrate.cgi", "port=3&ingress=0&egress_enable=0&egress=0&burst=0")),
              "");
    EXPECT_TRUE(logged("Set Port #3 ingress rate no limit."));
    EXPECT_EQ(ingress(3), "0");

    // Bad input changes nothing.
    ASSERT_EQ(error_of(post("/setrate.cgi", "port=2&ingress=256&egress_enable=0&egress=0&burst=0")),
              "");
    EXPECT_EQ(error_of(post("/setrate.cgi", "port=99&ingress=64&egress_enable=0&egress=0&burst=0")),
              "port &quot;99&quot;: no front-panel port; nothing changed");
    EXPECT_TRUE(logged("Set Rate: Transfer user port number to logical port number failed."));
    EXPECT_NE(
        error_of(post("/setrate.cgi", "port=2&ingress=fast&egress_enable=0&egress=0&burst=0")), "");
    // Fields are read by name: one missing, unknown or given twice is
    // refused, and an enabled egress limit of nothing too.
    EXPECT_EQ(error_of(post("/setrate.cgi", "port=2&ingress=64")),
              "port 2: the post lacks egress_enable; nothing changed");
    EXPECT_EQ(error_of(post("/setrate.cgi",
                            "port=2&ingress=64&egress_enable=0&egress=0&burst=0&ingress=128")),
              "port 2: field &quot;ingress&quot; is unknown or given twice; nothing changed");
    EXPECT_EQ(error_of(post("/setrate.cgi", "port=2&ingress=64&egress_enable=1&egress=0&burst=80")),
              "port 2: egress 0 with the egress limit enabled is no limit (disable the egress "
              "limit to remove it); nothing changed");
    EXPECT_EQ(
        error_of(post("/setrate.cgi", "port=2&ingress=1024001&egress_enable=0&egress=0&burst=0")),
        "port 2: ingress limit 1024001 kbps is above the largest it runs, 1024000 kbps");
    EXPECT_EQ(error_of(post("/setrate.cgi", "port=2&ingress=64&egress_enable=1&egress=x&burst=48")),
              "port 2: egress &quot;x&quot; is not a number the page takes; nothing changed");
    EXPECT_EQ(error_of(post("/setrate.cgi",
                            "port=2&ingress=64&egress_enable=1&egress=16&burst=99999999")),
              "port 2: egress burst 99999999 kbit is above the largest it runs, 1040 kbit");
    EXPECT_EQ(
        error_of(
            post("/setrate.cgi", "port=2&ingress=64&egress_enable=1&egress=99999999&burst=80")),
        "port 2: egress 99999999 (x 64 kbps) is above the largest limit the port runs; nothing "
        "changed");
    EXPECT_EQ(
        error_of(post("/setrate.cgi", "port=2&ingress=64&egress_enable=2&egress=16&burst=48")),
        "port 2: egress_enable 2 is neither 0 (off) nor 1 (on); nothing changed");
    EXPECT_EQ(error_of(post("/setrate.cgi", "port=2&ingress=64&egress_enable=1&egress=16&burst=0")),
              "port 2: egress burst 0 is none the page offers (the smallest is 48 kbit); nothing "
              "changed");
    EXPECT_EQ(ingress(2), "256");
    EXPECT_EQ(egress(2), "0/0");
    // The same fields in another order mean the same; a limit between two
    // steps runs as the nearest, and the answer says so.
    r = post("/setrate.cgi", "burst=80&egress=10&egress_enable=1&ingress=100&port=2");
    EXPECT_EQ(error_of(r), "");
    EXPECT_EQ(ingress(2), "128");
    EXPECT_EQ(egress(2), "640/80");
    EXPECT_TRUE(has(r,
                    "Port 2: ingress 100 kbps runs as 128 kbps, the nearest steps the port "
                    "has."))
        << r.body;
    ASSERT_EQ(error_of(post("/setrate.cgi", "port=2&ingress=256&egress_enable=0&egress=0&burst=0")),
              "");

    // A port under self-test keeps its limits.
    int unit = 0, chip_port = 0;
    ASSERT_EQ(dxpx_lport_to_unit_port(lport(2), &unit, &chip_port), 0);
    dxp_pbmp_t held{};
    dxp_pbmp_port_add(&held, chip_port);
    ASSERT_EQ(port_reserve(unit, held, "Snake"), 0);
    EXPECT_EQ(error_of(post("/setrate.cgi", "port=2&ingress=64&egress_enable=0&egress=0&burst=0")),
              "Port 2: port under self-test (Snake)");
    port_reserve_release(unit, held);
    EXPECT_EQ(ingress(2), "256");

    // So does a load during the test, which loads the other ports' limits;
    // the next load after it brings the held port's too.
    ASSERT_EQ(error_of(post("/setrate.cgi", "port=4&ingress=512&egress_enable=0&egress=0&burst=0")),
              "");
    feature_test::MemoryMedium m;
    ASSERT_GT(m.save(rate_item), 0);
    ASSERT_EQ(error_of(post("/setrate.cgi", "port=2&ingress=0&egress_enable=0&egress=0&burst=0")),
              "");
    ASSERT_EQ(error_of(post("/setrate.cgi", "port=4&ingress=0&egress_enable=0&egress=0&burst=0")),
              "");
    ASSERT_EQ(port_reserve(unit, held, "Snake"), 0);
    ASSERT_GT(m.load(rate_item), 0);
    EXPECT_EQ(ingress(2), "0");
    EXPECT_EQ(ingress(4), "512");
    port_reserve_release(unit, held);
    ASSERT_GT(m.load(rate_item), 0);
    EXPECT_EQ(ingress(2), "256");
}

// A settings load leaves a row whose limit its port cannot run as it was,
// naming it as the page names it, and loads the other rows.
TEST_F(page_rate, ALoadLeavesARowItsPortCannotRunWhole) {
    ASSERT_EQ(
        error_of(post("/setrate.cgi", "port=2&ingress=256&egress_enable=1&egress=16&burst=80")),
        "");
    ASSERT_EQ(error_of(post("/setrate.cgi", "port=4&ingress=512&egress_enable=0&egress=0&burst=0")),
              "");
    feature_test::MemoryMedium m;
    ASSERT_GT(m.save(rate_item), 0);
    // Port 2's egress limit word (big-endian, after the flag word and the
    // port's ingress words) becomes 2000000 kbps.
    const uint8_t odd[4] = {0x00, 0x1e, 0x84, 0x80};
    std::copy(std::begin(odd), std::end(odd), m.bytes.begin() + 4 + 24 + 8);
    ASSERT_EQ(error_of(post("/setrate.cgi", "port=2&ingress=0&egress_enable=0&egress=0&burst=0")),
              "");
    ASSERT_EQ(error_of(post("/setrate.cgi", "port=4&ingress=0&egress_enable=0&egress=0&burst=0")),
              "");
    ASSERT_GT(m.load(rate_item), 0);
    EXPECT_EQ(ingress(2), "0");
    EXPECT_EQ(egress(2), "0/0");
    EXPECT_EQ(ingress(4), "512");
    EXPECT_TRUE(
        logged("Rate limits: port 2: egress limit 2000000 kbps is above the largest it runs, "
               "1024000 kbps"));
}

TEST_F(page_rate, ChoicesFollowThePortSpeed) {
    int fast = 0;
    for (int n = 1; n <= board_num_uports && fast == 0; n++) {
        dxpx_lport_t e{};
        if (dxpx_lport_get(lport(n), &e) == 0 && (e.flags & DXPX_PORT_F_GE) != 0) fast = n;
    }
    ASSERT_NE(fast, 0);
    test_response slow = post("/rate.cgi", "port=1");
    EXPECT_FALSE(has(slow, "1 Gbps"));
    EXPECT_TRUE(has(slow, "var eg_values = [1,4,16,160,1024,1600];"));
    EXPECT_TRUE(has(slow, "var burst_names = [\"6 KB\",\"10 KB\",\"18 KB\",\"34 KB\",\"66 KB\"];"));
    test_response r = post("/rate.cgi", "port=" + std::to_string(fast));
    EXPECT_TRUE(has(r, "var in_values = [0,64,256,1024,10240,65536,102400,1024000];")) << r.body;
    EXPECT_TRUE(has(r, "\"16000 Tokens\""));
    EXPECT_NE(error_of(post("/rate.cgi", "port=0")), "");

    // Limits between the steps are offered and preset as they run.
    ASSERT_EQ(dxpx_port_rate_ingress_set(lport(1), 512, 512), 0);
    ASSERT_EQ(dxpx_port_rate_egress_set(lport(1), 640, 1040), 0);
    r = post("/rate.cgi", "port=1");
    EXPECT_TRUE(has(r, "var in_values = [0,64,256,512,1024,")) << r.body;
    EXPECT_TRUE(has(r, "\"512 kbps (running)\""));
    EXPECT_TRUE(has(r, "var eg_values = [1,4,10,16,")) << r.body;
    EXPECT_TRUE(has(r, "\"640 kbps (running)\""));
    EXPECT_TRUE(has(r, "var burst_values = [48,80,144,272,528,1040];")) << r.body;
    EXPECT_TRUE(has(r, "\"130 KB (running)\""));
    EXPECT_TRUE(has(r, "fill(\"egress\", eg_names, eg_values, 10);"));
    EXPECT_TRUE(has(r, "fill(\"burst\", burst_names, burst_values, 1040);"));
}

// Storm control needs the limiter of the 52-port board's chip.
class page_storm : public page_rate {
  protected:
    sim::ChipKind chip() const override { return sim::ChipKind::DXP7101; }
};

TEST_F(page_storm, OnePortOrAllPortsAndTheItem) {
    std::string before = saved("rate");
    test_response r = post("/storm_per_port.cgi", "rate=512&type=3&port=4");
    EXPECT_EQ(error_of(r), "");
    EXPECT_EQ(storm(4), "6/512");
    EXPECT_EQ(storm(5), "0/0");
    EXPECT_TRUE(logged("Set storm control, BC+MC 512Kbps for port 4"));
    EXPECT_NE(saved("rate"), before);
    EXPECT_TRUE(has(r, "<td>4</td><td>BC+MC</td><td>512 kbps</td>")) << r.body;
    EXPECT_TRUE(has(r, "value=\"512\""));
    int all = -1;
    storm_allports_get(&all);
    EXPECT_EQ(all, 0);

    // The rate item brings the limits back.
    feature_test::MemoryMedium m;
    ASSERT_GT(m.save(rate_item), 0);
    ASSERT_EQ(error_of(post("/storm_per_port.cgi", "port=0&type=5&rate=1024")), "");
    EXPECT_EQ(storm(4), "7/1024");
    EXPECT_EQ(storm(board_num_uports), "7/1024");
    EXPECT_TRUE(logged("Set storm control, BC+MC+DLF 1024Kbps for system"));
    storm_allports_get(&all);
    EXPECT_EQ(all, 1);
    ASSERT_GT(m.load(rate_item), 0);
    EXPECT_EQ(storm(4), "6/512");
    EXPECT_EQ(storm(5), "0/0");
    storm_allports_get(&all);
    EXPECT_EQ(all, 0);

    log_clear();
    EXPECT_EQ(error_of(post("/storm_per_port.cgi", "port=0&type=1&rate=300")), "");
    EXPECT_TRUE(logged("Set storm control no limit for system"));
    EXPECT_EQ(storm(4), "0/0");

    // Bad input changes nothing.
    ASSERT_EQ(error_of(post("/storm_per_port.cgi", "port=2&type=2&rate=64")), "");
    EXPECT_EQ(error_of(post("/storm_per_port.cgi", "port=99&type=2&rate=64")),
              "port &quot;99&quot;: no front-panel port (0 for all ports); nothing changed");
    EXPECT_EQ(error_of(post("/storm_per_port.cgi", "port=2&type=9&rate=64")),
              "port 2: storm type &quot;9&quot; is none of 1 to 5; nothing changed");
    EXPECT_EQ(error_of(post("/storm_per_port.cgi", "port=2&type=4&rate=lots")),
              "port 2: storm rate &quot;lots&quot; is not a number of kbps (0 for no limit); "
              "nothing changed");
    EXPECT_EQ(error_of(post("/storm_per_port.cgi", "port=2&type=4")),
              "port 2: the post lacks rate; nothing changed");
    EXPECT_EQ(error_of(post("/storm_per_port.cgi", "port=0&type=2&rate=2000000")),
              "port 1: storm limit 2000000 kbps is above the largest it runs, 1048576 kbps");
    EXPECT_EQ(storm(2), "4/64");
    // Classes the form does not offer are shown as they run, and kept.
    ASSERT_EQ(dxpx_rate_mcast_set(1048576, 2, lport(2)), 0);
    ASSERT_EQ(dxpx_rate_bcast_set(1048576, 2, lport(2)), 0);
    r = post("/storm_show_per_port.cgi", "port=2");
    EXPECT_TRUE(has(r, "<option value=\"6\" selected>MC (running)</option>")) << r.body;
    EXPECT_TRUE(has(r, "<td>2</td><td>MC</td><td>1048576 kbps</td>"));
    ASSERT_EQ(error_of(post("/storm_per_port.cgi", "port=2&type=6&rate=1048576")), "");
    EXPECT_EQ(storm(2), "2/1048576");
    // Posted by hand, a class the form offers nowhere is refused by name.
    for (const char *port : {"2", "3", "0"}) {
        const std::string named =
            std::string(port) == "0" ? "all ports" : "port " + std::string(port);
        EXPECT_EQ(
            error_of(post("/storm_per_port.cgi", "port=" + std::string(port) + "&type=7&rate=64")),
            named + ": storm type 7 (DLF) is not one the page offers; nothing changed");
    }
    EXPECT_EQ(storm(2), "2/1048576");
    EXPECT_EQ(storm(3), "0/0");
    // The selected port is kept for the next view.
    ASSERT_EQ(error_of(post("/storm_show_per_port.cgi", "port=2")), "");
    EXPECT_TRUE(has(get("/storm.htm"), "<option value=\"2\" selected>"));
}

}  // namespace
