// The address table dump on the web against the monitor's "L2 show" in the
// running program, whose board attaches two units (the switch chip and the
// management MAC's).
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "system_fixture.h"
#include "web_client.h"

namespace {

namespace fs = std::filesystem;
using system_fixture::count_of;

TEST(system_l2dump, DumpListsWhatTheMonitorShows) {
    fs::path dir = fs::temp_directory_path() / ("switchfw-l2dump-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    {
        system_fixture::Switch fw(dir, {"--board", "52"});
        ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
        const int web = fw.port_offset() + 80;
        std::string cookie = web_client::login(web, "qivor");
        std::string answer =
            web_client::post(web, "/l2add.cgi", "mac=00-11-22-33-44-55&vid=1&port=5", cookie);
        EXPECT_EQ(answer.find("Retry"), std::string::npos) << answer;
        std::string shown;
        ASSERT_TRUE(fw.run("L2 show", "DXP.0> ", &shown));
        const size_t entries = count_of(shown, "mac=");
        ASSERT_GE(entries, 2u) << shown;  // the CPU's own address and the static one

        // The dump reads the L2 shadow, which takes up what was written to
        // the chip before the shadow ran at its next pass over the table.
        const std::string total = "<span id=\"total\">" + std::to_string(entries) + "</span>";
        std::string dump;
        for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
             std::chrono::steady_clock::now() < end;
             std::this_thread::sleep_for(std::chrono::milliseconds(200))) {
            dump = web_client::post(web, "/l2dump.cgi", "refresh=1", cookie);
            if (dump.find(total) != std::string::npos) break;
        }
        EXPECT_NE(dump.find("<span id=\"total\">" + std::to_string(entries) + "</span>"),
                  std::string::npos)
            << shown << dump;
        EXPECT_NE(dump.find("00-11-22-33-44-55"), std::string::npos) << dump;
        EXPECT_NE(dump.find("HOST"), std::string::npos) << dump;
    }
    fs::remove_all(dir);
}

}  // namespace
