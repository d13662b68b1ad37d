// The data-path fault on demand: one chosen frame leaves a port changed,
// with a good FCS, and the frames around it leave as they came.
#include <gtest/gtest.h>

#include "sim/board.h"

namespace {

using sim::FrameBuilder;

constexpr sim::MacAddr kFaultA = 0x02000000000aull;

struct frame_fault : ::testing::Test {
    sim::Board board{sim::BoardConfig::preset(sim::BoardKind::RW3090)};

    void SetUp() override {
        board.chip().poke("SWMODE", 0, 0x02);  // SW_FWDG_EN
        for (int p = 0; p < 3; p++)
            board.port(p).linkUp();
    }
    // A flooded broadcast: each of ports 1 and 2 sends one frame.
    std::vector<uint8_t> flood(uint8_t fill) {
        auto f = FrameBuilder().src(kFaultA).size(64).build();
        for (size_t i = 14; i < f.bytes.size(); i++)
            f.bytes[i] = fill;
        board.port(0).inject(f);
        board.fabric().advance(sim::Fabric::kHopDelayUs);  // both copies have left
        return f.bytes;
    }
};

TEST_F(frame_fault, SpoilsOnlyTheChosenFrameAtTheChosenByte) {
    board.fabric().corruptFrame(3, 20);
    const std::vector<uint8_t> first = flood(0x11), second = flood(0x22);
    std::vector<uint8_t> spoilt = second;
    spoilt[20] ^= 0xff;
    // Ports 1 and 2 each sent two frames: the third of the four is changed.
    ASSERT_EQ(board.port(1).sent().size(), 2u);
    ASSERT_EQ(board.port(2).sent().size(), 2u);
    EXPECT_EQ(board.port(1).sent()[0].bytes, first);
    EXPECT_EQ(board.port(2).sent()[0].bytes, first);
    EXPECT_EQ(board.port(1).sent()[1].bytes, spoilt);
    EXPECT_EQ(board.port(2).sent()[1].bytes, second);

    // The middle byte by default; cancelled, nothing changes.
    board.port(1).clearSent();
    board.fabric().corruptFrame(1);
    const std::vector<uint8_t> third = flood(0x33);
    std::vector<uint8_t> middle = third;
    middle[middle.size() / 2] ^= 0xff;
    ASSERT_EQ(board.port(1).sent().size(), 1u);
    EXPECT_EQ(board.port(1).sent()[0].bytes, middle);
    board.fabric().corruptFrame(1);
    board.fabric().corruptFrame(0);
    board.port(1).clearSent();
    const std::vector<uint8_t> fourth = flood(0x44);
    ASSERT_EQ(board.port(1).sent().size(), 1u);
    EXPECT_EQ(board.port(1).sent()[0].bytes, fourth);
}

TEST_F(frame_fault, ASpoiltLoopedFrameArrivesWithAGoodFcs) {
    board.port(1).loopbackPlug(true);
    board.fabric().corruptFrame(1, 30);
    flood(0x55);
    board.fabric().advance(sim::Fabric::kHopDelayUs);
    // Counted as a good frame on its way back in, not as an FCS error.
    EXPECT_EQ(board.chip().mibGet("RXBROADCASTPKT", 1), 1u);
    EXPECT_EQ(board.chip().mibGet("RXFCSERRORS", 1), 0u);
}

}  // namespace
