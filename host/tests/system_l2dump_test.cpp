// The address table dump on the web against the monitor's "L2 show" in the
// running program, whose board attaches two units (the switch chip and the
// management MAC's).
#include <filesystem>
#include <string>

#include "system_fixture.h"
#include "web_client.h"

namespace {

namespace fs = std::filesystem;
using system_fixture::count_of;

class system_l2dump : public testing::TestWithParam<int> {};

// Right after the prompt: the CPU's own address, written before the L2
// shadow's thread first ran, is listed once, and the dump agrees.
TEST_P(system_l2dump, DumpListsWhatTheMonitorShows) {
    fs::path dir = fs::temp_directory_path() / ("switchfw-l2dump-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    {
        system_fixture::Switch fw(dir, {"--board", std::to_string(GetParam())});
        ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
        const int web = fw.port_offset() + 80;
        std::string cookie = web_client::login(web, "qivor");
        ASSERT_FALSE(cookie.empty());
        std::string answer =
            web_client::post(web, "/l2add.cgi", "mac=00-11-22-33-44-55&vid=1&port=5", cookie);
        ASSERT_EQ(answer.find("ERROR"), std::string::npos) << answer;
        EXPECT_EQ(answer.find("Retry"), std::string::npos) << answer;
        std::string shown;
        ASSERT_TRUE(fw.run("L2 show", "DXP.0> ", &shown));
        EXPECT_EQ(count_of(shown, "mac=00:11:22:33:44:55 "), 1u) << shown;
        EXPECT_EQ(count_of(shown, " CPU"), 1u) << shown;  // the CPU's own address, once

        const size_t entries = count_of(shown, "mac=");
        std::string dump = web_client::post(web, "/l2dump.cgi", "refresh=1", cookie);
        EXPECT_NE(dump.find("<span id=\"total\">" + std::to_string(entries) + "</span>"),
                  std::string::npos)
            << shown << dump;
        EXPECT_NE(dump.find("00-11-22-33-44-55"), std::string::npos) << dump;
        EXPECT_NE(dump.find("HOST"), std::string::npos) << dump;
    }
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(every_board, system_l2dump, testing::Values(52, 28, 26),
                         [](const testing::TestParamInfo<int> &info) {
                             return "Board" + std::to_string(info.param);
                         });

}  // namespace
