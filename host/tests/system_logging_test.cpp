// The console logger as the administrator sees it on the serial console:
// switched off with the monitor's CONSole, it stays quiet whichever thread
// logs, a telnet session's included.
#include <filesystem>
#include <string>

#include "system_fixture.h"
#include "web_client.h"

namespace {

namespace fs = std::filesystem;
using switchfw_child::telnet_login;
using system_fixture::Switch;

class console_logger : public ::testing::Test {
  protected:
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() / ("switchfw-conlog-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
};

TEST_F(console_logger, SwitchedOffConsoleShowsNoLineOfATelnetLogin) {
    Switch fw(dir, {"--board", "28"});
    ASSERT_TRUE(fw.run("", "DXP.0> ", nullptr, 60));
    // Switched off before the web requests below, which the monitor's
    // reading of one line easily beats.
    ASSERT_TRUE(fw.run("CONSole off", "", nullptr, 1));
    const int web = fw.port_offset() + 80;
    std::string cookie = web_client::login(web, "qivor");
    ASSERT_FALSE(cookie.empty());
    // The console keeps ERROR, WARNING and INFO.
    web_client::post(web, "/logger_set.cgi", "m0=7&m1=3&m2=7", cookie);
    const std::string line = "[INFO] TELNET: User admin logined from 127.0.0.1";
    auto telnet_login_once = [&] {
        int fd = telnet_login(fw.port_offset() + 23, "qivor");
        if (fd >= 0) close(fd);
        return fd >= 0;
    };

    ASSERT_TRUE(telnet_login_once());
    std::string seen;
    ASSERT_TRUE(fw.run("CONSole on", "DXP.0> ", &seen)) << seen;
    EXPECT_EQ(seen.find(line), std::string::npos) << seen;

    ASSERT_TRUE(telnet_login_once());
    EXPECT_TRUE(fw.run("", line, &seen)) << seen;
}

}  // namespace
