// Link changes reach the port manager's log and link words.
#include "portmgr.h"

#include <gtest/gtest.h>

#include <string>

#include "feature_fixture.h"
#include "logger.h"

namespace {

class portmgr : public feature_test::BoardTest {
  protected:
    void SetUp() override {
        BoardTest::SetUp();
        ASSERT_EQ(logger_init(), 0);
        ASSERT_EQ(portmgr_init(), 0);
    }
    void TearDown() override {
        dxpx_linkscan_unregister(portmgr_link_change);
        BoardTest::TearDown();
    }
    static std::string lastLine() {
        logger *ram = logger_ram_get();
        uint32_t first = 0;
        int n = ram->ops->count(&first, ram);
        if (n == 0) return "";
        logger_record rec{
            .seq = first + static_cast<uint32_t>(n) - 1, .level = 0, .module = 0, .time = 0};
        char text[LOGGER_TEXT_MAX] = {};
        ram->ops->read(&rec, text, sizeof text, ram);
        return text;
    }
    static void change(int lport, int up, int speed, int duplex) {
        dxp_port_info info{};
        info.linkstatus = up;
        info.speed = speed;
        info.duplex = duplex;
        portmgr_link_change(lport, &info);
    }
};

TEST_F(portmgr, LogsAndKeepsLinkChangesOfUserPorts) {
    change(2, 1, 100, 0);
    EXPECT_NE(lastLine().find("QSW:  Link change UP, port 3, 100Mb Half Duplex."),
              std::string::npos);
    int link = 0;
    ASSERT_EQ(portmgr_link_get(3, &link), 0);
    EXPECT_EQ(link, 1);
    change(25, 0, 0, 0);
    EXPECT_NE(lastLine().find("QSW:  Link change DOWN, port 25."), std::string::npos);

    // Logical port 24 has no user port: neither logged nor kept.
    change(24, 1, 1000, 1);
    EXPECT_EQ(lastLine().find("port 24"), std::string::npos);
    EXPECT_EQ(portmgr_link_get(0, &link), SOC_E_FAIL);
    EXPECT_EQ(portmgr_link_get(27, &link), SOC_E_FAIL);
}

// A link that came up before the manager started sends no change: the
// manager reads it from the port, and a later change still wins.
TEST_F(portmgr, StartsFromTheLinksThePortsHave) {
    int lport = 0, unit = 0, port = 0;
    ASSERT_EQ(ulpm_to_lport(5, &lport), 0);
    ASSERT_EQ(dxpx_lport_to_unit_port(lport, &unit, &port), 0);
    board->port(port).linkUp();
    ASSERT_EQ(portmgr_init(), 0);
    int link = 0;
    ASSERT_EQ(portmgr_link_get(5, &link), 0);
    EXPECT_EQ(link, 1);
    ASSERT_EQ(portmgr_link_get(6, &link), 0);
    EXPECT_EQ(link, 0);
    change(lport, 0, 0, 0);
    ASSERT_EQ(portmgr_link_get(5, &link), 0);
    EXPECT_EQ(link, 0);
}

}  // namespace
