// Frames through the chip model after the switch API set it up: the VLAN
// table and port settings the drivers wrote decide where frames go.
#include <gtest/gtest.h>

#include "../../drv/tests/port_fixture.h"
#include "dxp.h"
#include "dxp_tarn.h"
#include "sim/board.h"

namespace {

constexpr sim::MacAddr kA = 0x00102030405aull;

class api_forwarding : public port_test::PortUnitTest {
  protected:
    void SetUp() override {
        startPorts(sim::ChipKind::DXP7101);
        ASSERT_EQ(soc_init(0), 0);
        ASSERT_EQ(dxp_dispatch_register(&dxp_tarn_dispatch), 0);
        ASSERT_EQ(dxp_init(0), 0);
        board->chip().poke("SWMODE", 0, 0x03);  // forwarding on, as the chip reset init leaves it
        for (int p = 1; p <= 4; p++) {
            board->port(p).linkUp();
            ASSERT_EQ(dxp_port_enable_set(0, p, 1), 0);
        }
        ASSERT_EQ(dxp_linkscan_update(0, pbmp({1, 2, 3, 4})), 0);
    }
    void TearDown() override {
        dxp_linkscan_detach(0);
        dxp_detach(0);
        PortUnitTest::TearDown();
    }
    static dxp_pbmp_t pbmp(std::initializer_list<int> list) {
        dxp_pbmp_t b{};
        for (int p : list)
            dxp_pbmp_port_add(&b, p);
        return b;
    }
};

TEST_F(api_forwarding, VlanMembershipFromTheApiDecidesTheEgressPorts) {
    ASSERT_EQ(dxp_vlan_create(0, 10), 0);
    ASSERT_EQ(dxp_vlan_port_add(0, 10, pbmp({1, 2, 3}), pbmp({2})), 0);
    ASSERT_EQ(dxp_port_untagged_vlan_set(0, 1, 10), 0);

    board->port(1).inject(sim::FrameBuilder().src(kA).build());
    auto to2 = board->port(2).sent(), to3 = board->port(3).sent();
    ASSERT_EQ(to2.size(), 1u);
    EXPECT_FALSE(to2[0].tagged);
    ASSERT_EQ(to3.size(), 1u);
    EXPECT_TRUE(to3[0].tagged);
    EXPECT_EQ(to3[0].vid, 10);
    EXPECT_TRUE(board->port(4).sent().empty());  // VLAN 1 only

    auto learned = board->chip().tables().lookup(kA, 10);
    ASSERT_TRUE(learned);
    EXPECT_EQ(learned->port, 1);
}

TEST_F(api_forwarding, StormControlFromTheApiLimitsBroadcastsOnTheWire) {
    // Port 40 keeps its rate control in the chip's second register.
    board->port(40).linkUp();
    ASSERT_EQ(dxp_port_enable_set(0, 40, 1), 0);
    ASSERT_EQ(dxp_linkscan_update(0, pbmp({1, 2, 3, 4, 40})), 0);
    ASSERT_EQ(dxp_rate_bandwidth_set(0, 40, DXP_RATE_BCAST, 64, 48), 0);

    board->port(40).injectBurst(sim::FrameBuilder().src(kA).size(996).build(), 20);
    board->fabric().drain();
    EXPECT_EQ(board->port(1).sent().size(), 6u);  // a 48 kbit bucket of 8000-bit frames
    board->port(40).injectBurst(sim::FrameBuilder().src(kA).dst(0x0a0000000001ull).build(), 5);
    board->fabric().drain();
    EXPECT_EQ(board->port(1).sent().size(), 11u);  // unknown unicast is not limited
}

}  // namespace
