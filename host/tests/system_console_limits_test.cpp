// The monitor over a pipe refuses what does not fit, on every board: register
// values and PHY registers, numbers past their destination, over-long lines,
// a negative link-scan interval; and a unit initialised or detached again
// says what happened and keeps the CPU reachable.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"
#include "web_client.h"

namespace {

using system_fixture::Switch;

const std::string kLimitsPrompt = "DXP.0> ";

bool has(const std::string &text, const std::string &what) {
    return text.find(what) != std::string::npos;
}

class console_limits : public ::testing::TestWithParam<const char *> {
  protected:
    void SetUp() override { ASSERT_TRUE(sw.run("", kLimitsPrompt, nullptr, 60)); }
    // The output of a line up to the next prompt.
    std::string out(const std::string &line) {
        std::string seen;
        EXPECT_TRUE(sw.run(line, kLimitsPrompt, &seen, 30)) << line << ": " << seen;
        return seen;
    }
    bool cpu_station_listed() {
        for (int i = 0; i < 50; i++) {
            std::string seen = out("L2 show");
            if (has(seen, "Static") && has(seen, " CPU\n")) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    Switch sw{test_workdir::path(), {"--board", GetParam()}};
};

TEST_P(console_limits, RegisterWritesThatDoNotFitAreRefusedAndChangeNothing) {
    const std::string pctl = out("Getreg hex G_PCTL.ge0");
    std::string seen = out("Setreg G_PCTL.ge0 0x1ff");
    EXPECT_TRUE(has(seen, "Value \"0x1ff\" too large for 8-bit register \"G_PCTL\".\n")) << seen;
    EXPECT_TRUE(has(seen, "Usage (Setreg)")) << seen;
    EXPECT_EQ(out("Getreg hex G_PCTL.ge0"), pctl);

    const std::string phy = out("Getreg phy 1 4");
    ASSERT_TRUE(has(phy, "phy[0x104] = ")) << phy;
    seen = out("Setreg phy 1 4 0x12345");
    EXPECT_TRUE(has(seen, "Value \"0x12345\" too large for 16-bit PHY register.\n")) << seen;
    for (const char *line : {"Setreg phy 1 99 0x5", "Getreg phy 1 99", "PHY raw 1 99 5"}) {
        seen = out(line);
        EXPECT_TRUE(has(seen, "PHY register 99 out of range (0-31)\n")) << line << ": " << seen;
        EXPECT_TRUE(has(seen, "Usage (")) << line << ": " << seen;
    }
    seen = out("PHY raw 2 0x40 0x0800");
    EXPECT_TRUE(has(seen, "PHY register 0x40 out of range (0-31)\n")) << seen;
    EXPECT_TRUE(has(out("PHY raw 1 4 0x10000"), "too large for 16-bit PHY register"));
    EXPECT_EQ(out("Getreg phy 1 4"), phy);
}

TEST_P(console_limits, NumbersPastTheirDestinationAndLongLinesAreRefused) {
    EXPECT_TRUE(has(out("SLeep 99999999999"), "Usage (SLeep)"));
    EXPECT_TRUE(has(out("KILL 2147483648"), "Usage (KILL)"));
    EXPECT_TRUE(has(out("TX 99999999999 Length=64"), "Usage (TX)"));
    std::string seen = out("TestRun 30 99999999999");
    EXPECT_TRUE(has(seen, "TestRun: Error: Loop count too large: 99999999999\n")) << seen;
    EXPECT_TRUE(has(out("TestList 30"), "|    1|    0|    0|    0|")) << "the test ran";

    // A line the monitor cannot hold whole runs nothing of it.
    // The result is read on the next line, before anything else runs.
    seen = out("SETENV t4 " + std::string(4090, 'A') + " ; Echo TAIL\nEcho rv=$? t4=$t4");
    EXPECT_TRUE(has(seen, "Error: line longer than 4095 characters: not run\n")) << seen;
    EXPECT_FALSE(has(seen, "TAIL\n")) << seen;
    EXPECT_TRUE(has(seen, "rv=-1 t4=\n")) << seen;
    // The longest line still runs.
    EXPECT_TRUE(has(out("Echo " + std::string(4090, 'B')), std::string(4090, 'B') + "\n"));

    const std::string scan = out("LINKscan");
    seen = out("LINKscan interval=-5");
    EXPECT_TRUE(has(seen, "LINKscan: Error: Invalid interval -5")) << seen;
    EXPECT_EQ(out("LINKscan"), scan);
}

TEST_P(console_limits, ReinitialisingTheUnitSaysWhatHappened) {
    std::string seen = out("INIT soc");
    EXPECT_TRUE(has(seen, "INIT: Unit 0 chip reset; \"init dxp\" sets up the switch API again\n"))
        << seen;
    // The CPU's own station entry is back in the emptied table (the table's
    // shadow takes it up a moment later).
    EXPECT_TRUE(cpu_station_listed()) << out("L2 show");
    EXPECT_EQ(out("INIT dxp").find("Unable"), std::string::npos);
    seen = out("PortStat fe0");
    EXPECT_TRUE(has(seen, " fe0 ")) << seen;
    EXPECT_TRUE(cpu_station_listed()) << out("L2 show");

    ASSERT_TRUE(sw.run("DETach", "DXP> ", &seen)) << seen;
    EXPECT_TRUE(has(seen, "soc_cm_device_destroy\n")) << seen;
    EXPECT_TRUE(has(seen, "DETach: Unit 0 detached\n")) << seen;
}

// A console nobody reads (a terminal paused with Ctrl-S, a full pipe) holds
// up no manager: while the monitor's output waits, the web server refuses
// posts whose refusal it logs on the console and the SNMP agent answers;
// what the console could not hold is dropped and counted, and the monitor
// answers once its output is read again.
TEST_P(console_limits, AConsoleNobodyReadsHoldsUpNoManager) {
    const int web = sw.port_offset() + 80;
    const std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    // Far more than the pipe and the console's queue hold; the port the
    // monitor disables after it shows when the monitor is past it.
    ASSERT_TRUE(
        sw.type("LOOP 8000 \"Echo " + std::string(200, 'x') + "\"\nport fe0 enable=false\n"));
    const std::string agent = " 127.0.0.1:" + std::to_string(sw.port_offset() + 161);
    std::string admin;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!has(admin, "INTEGER: 2") && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // a poll, not a delay
        admin =
            sh_out("snmpget -v2c -On -r 1 -t 5 -c public" + agent + " .1.3.6.1.2.1.2.2.1.7.1 2>&1");
    }
    EXPECT_TRUE(has(admin, ".1.3.6.1.2.1.2.2.1.7.1 = INTEGER: 2")) << admin;
    for (int i = 0; i < 5; i++) {
        const std::string answer =
            web_client::post(web, "/aging.cgi", "enable=1&time=never", cookie);
        ASSERT_TRUE(has(answer, "Invalid aging time")) << i << ": " << answer;
    }
    // Read again, the console shows what it held, then the count of what
    // it dropped, and answers.
    std::string seen;
    auto tail = [&seen] { return seen.substr(seen.size() > 2000 ? seen.size() - 2000 : 0); };
    EXPECT_TRUE(sw.read_more(&seen, " console lines dropped\n", 60)) << tail();
    ASSERT_TRUE(sw.answer("Echo read-again", &seen)) << tail();
}

INSTANTIATE_TEST_SUITE_P(boards, console_limits, ::testing::Values("52", "28", "26"));

}  // namespace
