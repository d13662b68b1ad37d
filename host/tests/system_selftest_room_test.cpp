// The PHY loopback test on the gigabit ports of every PHY kind, with no
// other traffic, while the receive thread gets little of the processor (as
// on a loaded host): the test's own frames never overrun the CPU port, and
// every trial passes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../../platform/tests/private_workdir.h"
#include "starved_thread.h"
#include "system_fixture.h"

namespace {

using system_fixture::Switch;

using starved_thread::Starved;
using starved_thread::thread_named;

class system_selftest_room : public testing::TestWithParam<int> {};

TEST_P(system_selftest_room, OwnFramesNeverOverrunTheCpuPortOnEveryPhyKind) {
    const int board = GetParam();
    const std::vector<std::string> kinds = board == 52 ? std::vector<std::string>{"board", "serdes"}
                                           : board == 28
                                               ? std::vector<std::string>{"copper", "6401s"}
                                               : std::vector<std::string>{"640x", "6413"};
    for (const std::string &kind : kinds) {
        std::filesystem::remove(test_workdir::path() + "/flash.bin");
        Switch fw(test_workdir::path(), {"--board", std::to_string(board), "--gig-phy", kind});
        ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60)) << kind;
        const pid_t rx = thread_named(fw.pid(), "dxpRX.0");
        ASSERT_GT(rx, 0) << kind;
        Starved starved(rx);
        ASSERT_TRUE(starved.pinned()) << kind;
        std::string out;
        ASSERT_TRUE(fw.answer("TestRun 49 PortBitMap=ge Count=1", &out, 120)) << kind << "\n"
                                                                              << out;
        EXPECT_NE(out.find("(100%"), std::string::npos) << kind << "\n" << out;
        EXPECT_EQ(out.find("overrun"), std::string::npos) << kind << "\n" << out;
        EXPECT_EQ(out.find("TEST ERROR"), std::string::npos) << kind << "\n" << out;
    }
    std::filesystem::remove(test_workdir::path() + "/flash.bin");
}

INSTANTIATE_TEST_SUITE_P(every_board, system_selftest_room, testing::Values(52, 28, 26),
                         [](const testing::TestParamInfo<int> &info) {
                             return std::to_string(info.param);
                         });

}  // namespace
