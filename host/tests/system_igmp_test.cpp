// IGMP snooping in the running switch: ready at start-up but off, and the
// monitor's "igmp" command turns the chip's IGMP capture on and off.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"

namespace {

using system_fixture::Switch;

// The board and the chip's IGMP capture field.
class switchfw_igmp : public testing::TestWithParam<std::pair<int, std::string>> {};

TEST_P(switchfw_igmp, MonitorTurnsTheChipsIgmpCaptureOnAndOff) {
    const auto &[ports, field] = GetParam();
    Switch sw(test_workdir::path(), {"--board", std::to_string(ports)});
    std::string seen;
    ASSERT_TRUE(sw.run("", "DXP.0> ", &seen, 60)) << seen;
    EXPECT_EQ(seen.find("IGMP snooping:"), std::string::npos) << seen;

    ASSERT_TRUE(sw.run("igmp", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("IGMP Snoop is disabled"), std::string::npos) << seen;
    ASSERT_TRUE(sw.run("Getreg GMNGCFG", "DXP.0> ", &seen));
    EXPECT_NE(seen.find(field + "=0,"), std::string::npos) << seen;

    ASSERT_TRUE(sw.run("igmp enable", "DXP.0> ", &seen));
    EXPECT_EQ(seen.find("failed"), std::string::npos) << seen;
    ASSERT_TRUE(sw.run("Getreg GMNGCFG", "DXP.0> ", &seen));
    EXPECT_NE(seen.find(field + "=1,"), std::string::npos) << seen;
    ASSERT_TRUE(sw.run("igmp", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("IGMP Snoop is enabled"), std::string::npos) << seen;

    ASSERT_TRUE(sw.run("igmp off", "DXP.0> ", &seen));
    ASSERT_TRUE(sw.run("Getreg GMNGCFG", "DXP.0> ", &seen));
    EXPECT_NE(seen.find(field + "=0,"), std::string::npos) << seen;
}

INSTANTIATE_TEST_SUITE_P(every_board, switchfw_igmp,
                         testing::Values(std::pair{52, std::string("IGMP_IP_CHK")},
                                         std::pair{28, std::string("IGMP_IP_CHK")},
                                         std::pair{26, std::string("IGMPIP_SNOP_EN")}),
                         [](const auto &info) {
                             return "Board" + std::to_string(info.param.first);
                         });

}  // namespace
