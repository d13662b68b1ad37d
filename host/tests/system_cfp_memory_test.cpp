// The monitor's table commands reach the CFP memories of the running switch:
// rows written by "write" and "modify" read back through "dump", and writing
// a TCAM row's mask keeps its data.
#include <gtest/gtest.h>

#include <string>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"

namespace {

using system_fixture::Switch;

class switchfw_cfp_memory : public testing::TestWithParam<int> {};

TEST_P(switchfw_cfp_memory, WriteModifyAndDumpReachTheCfpRows) {
    Switch sw(test_workdir::path(), {"--board", std::to_string(GetParam())});
    std::string seen;
    ASSERT_TRUE(sw.run("", "DXP.0> ", &seen, 60)) << seen;

    ASSERT_TRUE(sw.run("write CFP_ACT_POL 5 1 0x1234", "DXP.0> ", &seen));
    ASSERT_TRUE(sw.run("dump raw CFP_ACT_POL 5 1", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("CFP_ACT_POL[5]: 0x00001234"), std::string::npos) << seen;
    ASSERT_TRUE(sw.run("modify CFP_ACT_POL 5 1 NEW_DEST_OB=3", "DXP.0> ", &seen));
    ASSERT_TRUE(sw.run("dump raw CFP_ACT_POL 5 1", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("CFP_ACT_POL[5]: 0x00031234"), std::string::npos) << seen;

    ASSERT_TRUE(sw.run("write CFP_METER 7 1 0x55 0x3", "DXP.0> ", &seen));
    ASSERT_TRUE(sw.run("dump raw CFP_METER 7 1", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("CFP_METER[7]: 0x00000055 0x00000003"), std::string::npos) << seen;

    ASSERT_TRUE(sw.run("write TCAM_S0 9 1 0x11 0x22 0x33 0x44 0x55 0x66", "DXP.0> ", &seen));
    ASSERT_TRUE(sw.run("write TCAM_MASK 9 1 0xff 0 0 0 0 0", "DXP.0> ", &seen));
    ASSERT_TRUE(sw.run("dump raw TCAM_S0 9 1", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("TCAM_S0[9]: 0x00000011 0x00000022 0x00000033"), std::string::npos) << seen;
    ASSERT_TRUE(sw.run("dump raw TCAM_MASK 9 1", "DXP.0> ", &seen));
    EXPECT_NE(seen.find("TCAM_MASK[9]: 0x000000ff 0x00000000"), std::string::npos) << seen;
}

INSTANTIATE_TEST_SUITE_P(boards_with_cfp, switchfw_cfp_memory, testing::Values(52, 28),
                         [](const testing::TestParamInfo<int> &info) {
                             return "Board" + std::to_string(info.param);
                         });

}  // namespace
