// A flash file damaged by hand, per board: cut short, the firmware starts
// with its factory defaults and says so; with foreign bytes in its log
// region, the flash log still keeps what is logged and shows it on the web
// log page after a restart.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "system_fixture.h"
#include "web_client.h"

namespace {

namespace fs = std::filesystem;
using switchfw_child::read_until;
using switchfw_child::send_text;
using switchfw_child::telnet_login;
using system_fixture::Switch;

constexpr size_t kFlashBytes = 4u << 20;
constexpr size_t kLogRegion = 0x380000, kLogRegionBytes = 0x60000;

class flash_damage : public ::testing::TestWithParam<int> {
  protected:
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("switchfw-flashdmg-" + std::to_string(getpid()) + "-" + std::to_string(GetParam()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::vector<std::string> board() const { return {"--board", std::to_string(GetParam())}; }
    void write_flash(const std::vector<char> &bytes) const {
        std::ofstream(dir / "flash.bin", std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
};

TEST_P(flash_damage, FileCutShortStartsWithFactoryDefaultsAndSaysSo) {
    {
        Switch fw(dir, board());
        ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
    }
    // The NVRAM store at the end of the chip is cut away.
    fs::resize_file(dir / "flash.bin", 0x3E0010);
    Switch fw(dir, board());
    std::string seen;
    ASSERT_TRUE(fw.run("", "DXP.0> ", &seen, 60)) << seen;
    EXPECT_NE(seen.find("is 4063248 bytes, less than the 4194304 bytes of the flash chip"),
              std::string::npos)
        << seen;
    EXPECT_NE(seen.find("Loading factory defaults....."), std::string::npos) << seen;
    EXPECT_EQ(fs::file_size(dir / "flash.bin"), kFlashBytes);
    int fd = telnet_login(fw.port_offset() + 23, "qivor");
    EXPECT_GE(fd, 0);
    if (fd >= 0) close(fd);
}

TEST_P(flash_damage, FlashLogOverForeignBytesKeepsLinesAcrossARestart) {
    std::vector<char> flash(kFlashBytes, static_cast<char>(0xFF));
    for (size_t i = 0; i < kLogRegionBytes; i++)
        flash[kLogRegion + i] = static_cast<char>(i * 131 % 251);
    write_flash(flash);
    const std::string line = "User admin logined from 127.0.0.1";
    auto flash_log = [](int web, const std::string &cookie) {
        return web_client::get(web, "/logview.htm?target=1&page=1", cookie);
    };
    {
        Switch fw(dir, board());
        ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
        const int web = fw.port_offset() + 80;
        std::string cookie = web_client::login(web, "qivor");
        ASSERT_FALSE(cookie.empty());
        // RAM and console keep every level up to DEBUG; the flash stops at
        // INFO, so that the page polls below (a DEBUG line each) cannot push
        // the lines looked for off the first page on a slow host.
        web_client::post(web, "/logger_set.cgi", "m0=15&m1=7&m2=3", cookie);
        int fd = telnet_login(fw.port_offset() + 23, "qivor");
        ASSERT_GE(fd, 0);
        // The "flashlog" thread writes it a moment later.
        std::string page;
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (page.find(line) == std::string::npos && std::chrono::steady_clock::now() < end)
            page = flash_log(web, cookie);
        EXPECT_NE(page.find(line), std::string::npos) << page;
        std::string session;
        send_text(fd, "reboot\r\n");
        EXPECT_TRUE(read_until(fd, &session, "Resetting..."));
        close(fd);
    }
    Switch fw(dir, board());
    ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
    const int web = fw.port_offset() + 80;
    std::string cookie = web_client::login(web, "qivor");
    // The start-up's own line reaches the flash a moment after the prompt.
    std::string page;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (page.find("System init done") == std::string::npos &&
           std::chrono::steady_clock::now() < end)
        page = flash_log(web, cookie);
    EXPECT_NE(page.find(line), std::string::npos) << page;
    EXPECT_NE(page.find("System init done"), std::string::npos) << page;
}

// Settings another board stored (a flash moved between boards) start this
// one: what names ports it lacks is logged and left out, and VLAN 1 holds
// every port as on a fresh flash.
TEST_P(flash_damage, SettingsOfAnotherBoardStartWithEveryPortInVlan1) {
    const int other = GetParam() == 52 ? 28 : GetParam() == 28 ? 52 : 28;
    std::string fresh;
    {
        fs::create_directories(dir / "fresh");
        Switch fw(dir / "fresh", board());
        ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
        ASSERT_TRUE(fw.run("VLAN show", "DXP.0> ", &fresh, 30));
    }
    {
        Switch fw(dir, {"--board", std::to_string(other)});
        ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
        ASSERT_TRUE(fw.run("EXIT", "Resetting"));
    }
    Switch fw(dir, board());
    std::string seen;
    ASSERT_TRUE(fw.run("", "DXP.0> ", &seen, 60)) << seen;
    EXPECT_EQ(seen.find("ports of VLAN 1"), std::string::npos) << seen;
    std::string vlans;
    ASSERT_TRUE(fw.run("VLAN show", "DXP.0> ", &vlans, 30));
    EXPECT_EQ(vlans, fresh);
    int fd = telnet_login(fw.port_offset() + 23, "qivor");
    EXPECT_GE(fd, 0);
    if (fd >= 0) close(fd);
}

INSTANTIATE_TEST_SUITE_P(boards, flash_damage, ::testing::Values(28, 26, 52),
                         [](const auto &info) { return "board" + std::to_string(info.param); });

}  // namespace
