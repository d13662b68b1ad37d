// SETs that mix the agent's writable objects (the system texts,
// ifAdminStatus, RMON columns and rows): one refused variable leaves every
// other as it was, in the chip, the agent's answers and the stored settings,
// and the answer names that variable; an accepted SET is what the next save
// stores. Runs the real switchfw with Debian's snmp tools; skips without root.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <iterator>
#include <string>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"
#include "web_client.h"

namespace {

using system_fixture::sh;
using system_fixture::sh_out;
using system_fixture::Switch;

class system_snmp_mixed_set : public testing::TestWithParam<int> {};

TEST_P(system_snmp_mixed_set, ARefusedVariableIsNamedAndTheOthersStayAsTheyWere) {
    if (!system_fixture::can_make_namespaces() || sh("snmpset -V") != 0)
        GTEST_SKIP() << "needs root (the system tests' environment) and Debian's snmp tools";
    const int ports = GetParam();
    std::optional<Switch> sw;
    sw.emplace(test_workdir::path(), std::vector<std::string>{"--board", std::to_string(ports)});
    ASSERT_TRUE(sw->run("", "DXP.0> ", nullptr, 60));
    auto snmp = [&](const char *tool, const std::string &args) {
        return sh_out(std::string(tool) + " -v2c -On -r 2 -t 3 -c private 127.0.0.1:" +
                      std::to_string(sw->port_offset() + 161) + " " + args + " 2>&1");
    };
    const std::string sys = ".1.3.6.1.2.1.1.", admin = ".1.3.6.1.2.1.2.2.1.7.",
                      rmon = ".1.3.6.1.2.1.16.", alarm = rmon + "3.1.1.", event = rmon + "9.1.1.",
                      past_last = std::to_string(ports + 1),
                      missing = " = No Such Instance currently exists at this OID\n";

    // Alarm 1 samples the type of event 5, which is gone: it cannot start.
    // Event 6 is under creation.
    for (const std::string &args :
         {event + "7.5 i 2", alarm + "12.1 i 2 " + alarm + "3.1 o " + event + "3.5",
          event + "7.5 i 4", event + "7.6 i 2", alarm + "12.3 i 2"})
        ASSERT_EQ(snmp("snmpset", args).find("Error"), std::string::npos) << args;
    const std::string watched = sys + "4.0 " + sys + "5.0 " + sys + "6.0 " + admin + "4 " + alarm +
                                "12.1 " + alarm + "12.2 " + alarm + "12.3 " + event + "7.3 " +
                                event + "7.6";
    const std::string as_found =
        sys + "4.0 = \"\"\n" + sys + "5.0 = \"\"\n" + sys + "6.0 = \"\"\n" + admin +
        "4 = INTEGER: 1\n" + alarm + "12.1 = INTEGER: 3\n" + alarm + "12.2" + missing + alarm +
        "12.3 = INTEGER: 3\n" + event + "7.3" + missing + event + "7.6 = INTEGER: 3\n";
    ASSERT_EQ(snmp("snmpget", watched), as_found);
    auto flash = [] {
        std::ifstream in(test_workdir::path() + "/flash.bin", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string stored = flash();

    struct Refused {
        std::string args, reason, failed;
    };
    const Refused refused[] = {
        // A row past the last front-panel port (the CPU port has none).
        {sys + "4.0 s c " + admin + past_last + " i 2", "noCreation", admin + past_last},
        {sys + "4.0 s c " + admin + "4 i 3", "wrongValue", admin + "4"},
        {sys + "6.0 s l " + admin + "4 i 2 " + sys + "5.0 s " + std::string(128, 'n'),
         "wrongLength", sys + "5.0"},
        // A new event row with a bad column: the row is never made.
        {event + "7.3 i 2 " + admin + "4 i 2 " + event + "3.3 i 9", "wrongValue", event + "3.3"},
        {admin + "4 i 2 " + alarm + "12.2 i 2 " + alarm + "3.2 o " + rmon + "1.1.1.5." + past_last,
         "wrongValue", alarm + "3.2"},
        {sys + "5.0 s s " + alarm + "12.2 i 2 " + alarm + "2.2 i -1 " + admin + "4 i 2",
         "wrongLength", alarm + "2.2"},
        // Refused in the check phase, though only starting alarm 1 would
        // find its variable gone: the port, the name and alarm 3 were never
        // touched (the log shows no start of alarm 3).
        {sys + "4.0 s c " + admin + "4 i 2 " + alarm + "12.3 i 1 " + alarm + "12.1 i 1",
         "wrongValue", alarm + "12.1"},
        {admin + "4 i 2 " + event + "7.6 i 1 " + event + "7.6 i 4", "inconsistentValue",
         event + "7.6"},
        // No object of the agent's configuration tables is writable.
        {sys + "4.0 s c " + event + "7.3 i 2 .1.3.6.1.6.3.18.1.1.1.8.1.65 i 4", "noAccess",
         ".1.3.6.1.6.3.18.1.1.1.8.1.65"},
    };
    for (const Refused &r : refused) {
        std::string out = snmp("snmpset", r.args);
        EXPECT_NE(out.find("Reason: " + r.reason), std::string::npos) << r.args << "\n" << out;
        EXPECT_NE(out.find("Failed object: " + r.failed + "\n"), std::string::npos)
            << r.args << "\n"
            << out;
        EXPECT_EQ(snmp("snmpget", watched), as_found) << r.args;
    }
    EXPECT_EQ(flash(), stored);
    const int web = sw->port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    const std::string log = web_client::get(web, "/logview.htm?target=0&page=1", cookie);
    EXPECT_NE(log.find("Alarm table entry created, index=1"), std::string::npos) << log;
    // Nor did the refused requests make their new rows for a moment.
    for (const char *never : {"entry enabled", "Alarm table entry created, index=2",
                              "Event table entry created, index=3"})
        EXPECT_EQ(log.find(never), std::string::npos) << never << "\n" << log;

    // An alarm may sample a row that the same SET makes before it.
    const std::string made = snmp("snmpset", event + "7.8 i 2 " + alarm + "12.9 i 2 " + alarm +
                                                 "3.9 o " + event + "3.8 " + alarm + "12.9 i 1");
    ASSERT_EQ(made.find("Error"), std::string::npos) << made;
    EXPECT_EQ(snmp("snmpget", event + "7.8 " + alarm + "12.9"),
              event + "7.8 = INTEGER: 3\n" + alarm + "12.9 = INTEGER: 1\n");

    // Accepted whole, and stored so by the pages' next saves (any port's
    // settings, any RMON change).
    const std::string taken =
        snmp("snmpset", sys + "4.0 s ok " + admin + "4 i 2 " + alarm + "12.2 i 2 " + alarm +
                            "3.2 o " + rmon + "1.1.1.5.3 " + alarm + "12.2 i 1");
    ASSERT_EQ(taken.find("Error"), std::string::npos) << taken;
    std::string page = web_client::post(
        web, "/portset.cgi", "port=2&admin=1&autonego=1&flow_ctrl=0&priority=0&pvid=1", cookie);
    EXPECT_EQ(page.find("ERROR"), std::string::npos) << page;
    page = web_client::post(web, "/rmonlite_event_create.cgi", "", cookie);
    EXPECT_EQ(page.find("error_message"), std::string::npos) << page;
    sw.reset();
    sw.emplace(test_workdir::path(), std::vector<std::string>{"--board", std::to_string(ports)});
    ASSERT_TRUE(sw->run("", "DXP.0> ", nullptr, 60));
    EXPECT_EQ(snmp("snmpget", admin + "4 " + alarm + "3.2 " + alarm + "12.2"),
              admin + "4 = INTEGER: 2\n" + alarm + "3.2 = OID: " + rmon + "1.1.1.5.3\n" + alarm +
                  "12.2 = INTEGER: 1\n");
}

INSTANTIATE_TEST_SUITE_P(every_board, system_snmp_mixed_set, testing::Values(52, 28, 26),
                         [](const testing::TestParamInfo<int> &info) {
                             return std::to_string(info.param);
                         });

}  // namespace
