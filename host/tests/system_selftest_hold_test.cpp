// A self-test's own address entry is held as its ports are, per board: on
// the console (a pty) and on the web, a change of it is refused by name, a
// clear keeps it, a static address the test will put back is refused to
// deletes and clears, each refusal is printed alone and names the test that
// holds the port, a create of the traffic test's own VLAN names the test
// and its ports, and the test still passes after them all (each test runs
// for as long as the checks take, and is stopped then).
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"
#include "web_client.h"

namespace {

namespace fs = std::filesystem;
using system_fixture::l2_entry_of;
using system_fixture::Switch;
using system_fixture::test_stop_background;

constexpr const char *kTestAddress = "66:77:88:99:aa:bb";

class selftest_hold : public ::testing::TestWithParam<int> {};

// A monitor line's L2 answer: its errors and what it says it did, without
// the terminal's echo of the line and the background test's progress.
std::string answer_to(Switch &fw, const std::string &command) {
    std::istringstream in(fw.output(command));
    std::string line, kept;
    while (std::getline(in, line))
        for (const char *start : {"L2", "ERROR", "ADD:", "DEL:"})
            if (line != command && line.starts_with(start)) kept += line + "\n";
    return kept;
}

TEST_P(selftest_hold, TheTestsOwnAddressIsHeldAndEachRefusalPrintedAlone) {
    const int board = GetParam();
    const fs::path dir = test_workdir::path() + "/hold-" + std::to_string(board);
    fs::create_directories(dir);
    Switch fw(dir, {"--board", std::to_string(board)}, true);
    ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
    const int web = fw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());

    // The CPU's station entry keeps its class of service.
    std::string station;
    {
        std::istringstream in(fw.output("l2 show"));
        while (std::getline(in, station) && station.find(" CPU") == std::string::npos) {
        }
    }
    ASSERT_NE(station.find("COS(src=0,dst=3)"), std::string::npos) << station;
    const std::string own = station.substr(4, 17);

    // The administrator's static address on fe4 (web port 5).
    std::string page =
        web_client::post(web, "/l2add.cgi", "mac=00-00-00-00-cc-01&vid=1&port=5", cookie);
    ASSERT_EQ(page.find("Retry"), std::string::npos) << page;

    std::string seen;
    // A run longer than any host takes for the commands below: it is
    // stopped once they are done.
    ASSERT_TRUE(
        fw.run("BackGround \"TestRun 49 PortBitMap=fe4-fe5 LoopbackMode=PHY Count=1000000\"",
               "Setting up ARL", &seen, 60))
        << seen;
    // The test puts its address in just after it says so.
    for (int tries = 0; tries < 50 && l2_entry_of(fw, kTestAddress).empty(); tries++)
        usleep(100000);
    ASSERT_NE(l2_entry_of(fw, kTestAddress), "");
    const std::string named = std::string(kTestAddress) + " in VLAN 1 is self-test 49's address";
    const std::string held = "L2: ERROR: " + named + "\n";
    // Every refusal names the test, in the one form of the L2 command.
    const std::string test = "port under self-test (PHY Loopback - Mark 2)";
    const std::string fe4 = "L2: ERROR: port fe4: " + test + "\n";
    const struct {
        std::string line, answer;
    } refused[] = {
        {"l2 add MACaddress=" + own + " Vlanid=1 PortBitMap=cpu0 STatic=true",
         "L2: ERROR: " + own + " is the switch's own MAC address: the CPU's station entry stays\n"},
        {"l2 del MACaddress=66:77:88:99:aa:bb Vlanid=1", held},
        {"l2 add MACaddress=66:77:88:99:aa:bb Vlanid=1 PortBitMap=fe10 STatic=true", held},
        {"l2 add MACaddress=00:00:00:00:0b:01 Vlanid=1 PortBitMap=fe4 STatic=true", fe4},
        {"l2 del MACaddress=00:00:00:00:cc:01 Vlanid=1", fe4},
        {"l2 clear MACaddress=00:00:00:00:cc:01", fe4},
        {"l2 clear Vlanid=1", fe4},
    };
    for (const auto &r : refused)
        EXPECT_EQ(answer_to(fw, r.line), r.answer) << r.line;
    page = web_client::post(web, "/l2del.cgi", "mac=00-00-00-00-cc-01&vid=1", cookie);
    EXPECT_NE(page.find("Delete L2 static MAC address failed: Port 5: " + test), std::string::npos)
        << page;
    for (const auto &[form, data] :
         {std::pair{"/l2add.cgi", "mac=00-00-00-00-cc-02&vid=1&port=5"},
          std::pair{"/portset.cgi", "port=5&admin=1&autonego=1&flow_ctrl=0&priority=3&pvid=1"}}) {
        page = web_client::post(web, form, data, cookie);
        EXPECT_NE(page.find("Port 5: " + test), std::string::npos) << form << "\n" << page;
    }
    page = web_client::post(web, "/l2add.cgi", "mac=66-77-88-99-aa-bb&vid=1&port=11", cookie);
    // (The page writes the apostrophe as "&#39;".)
    EXPECT_NE(page.find("Add L2 static MAC address failed: " + named.substr(0, named.find('\''))),
              std::string::npos)
        << page;
    // A clear that selects the test's address is taken and keeps it.
    const std::string entry = l2_entry_of(fw, kTestAddress);
    EXPECT_NE(entry.find("/cpu0 Static"), std::string::npos) << entry;
    EXPECT_EQ(answer_to(fw, "l2 clear MACaddress=66:77:88:99:aa:bb"),
              "L2: Deleting static and non-static addresses by MAC\n");
    EXPECT_EQ(l2_entry_of(fw, kTestAddress), entry);

    // Its trials still pass; stopped, it counts as failed.
    std::string list = test_stop_background(fw, 49, "LB: xmit");
    EXPECT_NE(list.find("|    1|    1|    0|    1|"), std::string::npos) << list;
    // The test's entry went with it; the others stayed as they were.
    EXPECT_EQ(l2_entry_of(fw, kTestAddress), "");
    EXPECT_NE(l2_entry_of(fw, "00:00:00:00:cc:01").find("port=4/fe4 Static"), std::string::npos);
    EXPECT_EQ(l2_entry_of(fw, "00:00:00:00:0b:01"), "");
    EXPECT_EQ(l2_entry_of(fw, "00:00:00:00:cc:02"), "");
    EXPECT_EQ(l2_entry_of(fw, own), station);

    // The traffic test's own VLAN: a clear of it says only that it was
    // refused.
    ASSERT_TRUE(
        fw.run("BackGround \"TestRun 72 PortBitMap=fe4-fe5 RunMode=PHY TimeInSeconds=100000 "
               "CounterPollInterval=1\"",
               "TRAFFIC: starting", &seen, 60))
        << seen;
    std::string vid;
    {
        std::istringstream in(fw.output("VLAN show"));
        std::string line;
        while (std::getline(in, line) && vid.empty())
            if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0])) &&
                !line.starts_with("1 "))
                vid = line.substr(0, line.find(' '));
    }
    ASSERT_FALSE(vid.empty());
    EXPECT_EQ(answer_to(fw, "L2 clear Vlanid=" + vid),
              "L2: ERROR: port fe4: port under self-test (Traffic Test)\n");
    // The web's delete of it, a VLAN its list does not show, names the test.
    page = web_client::post(web, "/delvlan.cgi", "vid=" + vid, cookie);
    EXPECT_NE(page.find("Port 5: port under self-test (Traffic Test)"), std::string::npos) << page;
    // A create of it names its holder too, on the web and on the console.
    const std::string holder = "VLAN " + vid + " is held by self-test 72 (Traffic Test) on ports ";
    page = web_client::post(
        web, "/newvlan.cgi",
        "newid=" + vid + "&values=" + std::string(static_cast<size_t>(board), '0'), cookie);
    EXPECT_NE(page.find(holder + "5-6"), std::string::npos) << page;
    const std::string out = fw.output("vlan create " + vid + " PortBitMap=fe10");
    EXPECT_NE(out.find("ERROR: " + holder + "fe4-fe5"), std::string::npos) << out;
    list = test_stop_background(fw, 72, "): PASSED");
    EXPECT_NE(list.find("|    1|    1|    0|    1|"), std::string::npos) << list;
    // A VLAN made on the monitor, which no page lists either, is named too.
    EXPECT_EQ(fw.output("vlan create 60 PortBitMap=fe10").find("ERROR"), std::string::npos);
    page =
        web_client::post(web, "/newvlan.cgi",
                         "newid=60&values=" + std::string(static_cast<size_t>(board), '0'), cookie);
    EXPECT_NE(page.find("VLAN 60 exists in the switch, made on the monitor"), std::string::npos)
        << page;
}

INSTANTIATE_TEST_SUITE_P(every_board, selftest_hold, testing::Values(52, 28, 26),
                         [](const testing::TestParamInfo<int> &info) {
                             return "board" + std::to_string(info.param);
                         });

}  // namespace
