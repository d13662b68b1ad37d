// A port's egress: frames leave at its line rate (or its egress limit) from
// its class-of-service queues in the scheduling mode's order, a full queue
// drops and counts or holds a flow-controlled sender, and the ports take
// turns at the pipeline.
#include <gtest/gtest.h>

#include "sim/board.h"

namespace {

using sim::Fabric;
using sim::FrameBuilder;
using sim::MacAddr;

constexpr MacAddr kSenderMac = 0x02000000000aull, kReceiverMac = 0x02000000000bull;
// 1518 bytes with the FCS and 20 of preamble and gap: 123.04 us at 100 Mb/s.
constexpr uint64_t kFullFrameUs = 124;

struct egress_queue : ::testing::Test {
    sim::Board board{sim::BoardConfig::preset(sim::BoardKind::RW3090)};
    sim::Chip &chip = board.chip();
    Fabric &fabric = board.fabric();

    void SetUp() override {
        chip.poke("SWMODE", 0, 0x02);  // SW_FWDG_EN
        for (int p = 0; p < 6; p++)
            board.port(p).linkUp();
        // B lives on port 1: frames to it leave there only.
        board.port(1).inject(FrameBuilder().src(kReceiverMac).dst(kSenderMac).build());
        fabric.advance(1000);
        board.port(1).clearSent();
    }
    sim::Frame toB(uint8_t pri = 0) const {
        return FrameBuilder().src(kSenderMac).dst(kReceiverMac).vlan(1, pri).size(1514).build();
    }
    uint64_t discards(int port) const { return chip.mibGet("TXDROPPKTS", port); }
};

TEST_F(egress_queue, APortSendsAtItsLineRateAndCountsWhatItsQueueCannotHold) {
    const uint64_t room = Fabric::kQueueCells / 6;  // 6 cells a frame
    for (uint64_t i = 0; i < room + 5; i++)
        board.port(0).inject(toB());
    // The first leaves at once, the wire then carries one every 123 us.
    EXPECT_EQ(board.port(1).sent().size(), 1u);
    fabric.advance(10 * kFullFrameUs);
    EXPECT_EQ(board.port(1).sent().size(), 11u);
    EXPECT_EQ(discards(1), 4u);  // the first had left: one more fit
    fabric.advance((room + 5) * kFullFrameUs);
    EXPECT_EQ(board.port(1).sent().size(), room + 1);
    EXPECT_EQ(chip.mibGet("TXUNICASTPKTS", 1), room + 1);
}

TEST_F(egress_queue, AnEgressLimitPacesThePortAndItsQueuesHoldTheBacklog) {
    const uint64_t room = Fabric::kQueueCells / 6;
    auto offer = [&](uint64_t frames) {
        board.port(1).clearSent();
        for (uint64_t i = 0; i < frames; i++)
            board.port(0).inject(toB());
    };
    // 102,400 kbit/s with a 528 kbit bucket, above the line rate: a full
    // queue's burst leaves as without a limit.
    chip.poke("PORT_ERC_CON", 1, 1u << 15 | 4u << 8 | 127);
    offer(room);
    fabric.advance(10 * kFullFrameUs);
    EXPECT_EQ(board.port(1).sent().size(), 11u);
    fabric.advance(room * kFullFrameUs);
    EXPECT_EQ(board.port(1).sent().size(), room);

    // 10,240 kbit/s with a 48 kbit bucket: the bucket's worth (four frames
    // of 12,144 bits once 56 us more came in) leaves within a millisecond,
    // then one every 1.19 ms; the backlog waits and none is lost.
    chip.poke("PORT_ERC_CON", 1, 1u << 15 | 0u << 8 | 37);
    fabric.advance(100000);  // the bucket fills again
    offer(100);
    fabric.advance(1000);
    EXPECT_EQ(board.port(1).sent().size(), 4u);
    fabric.advance(49000);
    EXPECT_NEAR(static_cast<double>(board.port(1).sent().size()), (50e-3 * 10240e3 + 48000) / 12144,
                1);
    fabric.advance(100000);
    EXPECT_EQ(board.port(1).sent().size(), 100u);
    EXPECT_EQ(discards(1), 0u);

    // What the queue cannot hold is counted as the port's discard.
    offer(room + 20);
    fabric.advance(300000);
    EXPECT_EQ(board.port(1).sent().size() + discards(1), room + 20);
    EXPECT_GE(discards(1), 15u);
}

// A slow limit's backlog leaves at once when the limit is raised or removed,
// not after the time the old rate would still have taken (8 s here).
TEST_F(egress_queue, ABacklogLeavesAtOnceWhenItsLimitIsRaisedOrRemoved) {
    constexpr uint64_t kSlow = 1u << 15 | 4u << 8 | 1;  // 64 kbit/s, 528 kbit bucket
    for (uint64_t raised : {1u << 15 | 4u << 8 | 127, 0u}) {
        chip.poke("PORT_ERC_CON", 1, kSlow);
        fabric.advance(10'000'000);  // the bucket fills again
        board.port(1).clearSent();
        for (int i = 0; i < 60; i++)
            board.port(0).inject(toB());
        fabric.advance(1'000'000);
        EXPECT_LT(board.port(1).sent().size(), 50u);  // the bucket's 43, then one each 190 ms
        chip.poke("PORT_ERC_CON", 1, raised);
        for (int ms = 0; ms < 20; ms++)
            fabric.advance(1000);
        EXPECT_EQ(board.port(1).sent().size(), 60u) << std::hex << raised;
    }
    EXPECT_EQ(discards(1), 0u);
}

TEST_F(egress_queue, QueuesLeaveInTheSchedulingModesOrder) {
    chip.poke("QOS_CTL", 0, 3ull << 53);   // four queues
    chip.poke("QOS_1P_EN", 0, 1);          // port 0 classifies by 802.1p
    chip.poke("QOS_TCI_TH", 0, 3u << 14);  // 7 -> 3, the rest 0
    chip.poke("FCON_Q0_TXDSC_CTRL_3", 0, 2);
    chip.poke("FCON_Q3_TXDSC_CTRL_3", 0, 1);
    auto order = [&](uint64_t preempt) {
        chip.poke("FCON_FLOWMIX", 0, preempt << 5);  // MODE_HQ_PREEMPT
        board.port(1).clearSent();
        for (int i = 0; i < 12; i++)
            board.port(0).inject(toB(i % 2 ? 7 : 0));
        fabric.advance(20 * kFullFrameUs);
        std::string queues;
        for (const sim::SentFrame &f : board.port(1).sent())
            queues += static_cast<char>('0' + f.queue);
        return queues;
    };
    // The first leaves before the others come. Weights 2 and 1: two of
    // queue 0 to one of queue 3; preempting: queue 3 empties first.
    EXPECT_EQ(order(0), "003003003333");
    EXPECT_EQ(order(1), "033333300000");
}

// Queue 0's flood fills its room in the packet buffer and is counted as the
// port's discards; queue 3's frames from the same port still find room of
// their own, and strict priority sends them first.
TEST_F(egress_queue, ALowQueuesFloodLeavesTheHighQueueItsRoom) {
    chip.poke("QOS_CTL", 0, 3ull << 53);    // four queues
    chip.poke("QOS_1P_EN", 0, 1);           // port 0 classifies by 802.1p
    chip.poke("QOS_TCI_TH", 0, 3u << 14);   // 7 -> 3, the rest 0
    chip.poke("FCON_FLOWMIX", 0, 1u << 5);  // MODE_HQ_PREEMPT
    chip.poke("QOS_PAUSE_EN", 0, 0);        // port 0's frames are not held
    fabric.setNotifier([] {});              // frames wait in the buffer for the pump
    const uint64_t low_room = Fabric::kPortCells / 6, high = 20;
    for (uint64_t i = 0; i < low_room + 10; i++)
        board.port(0).inject(toB(0));
    for (uint64_t i = 0; i < high; i++)
        board.port(0).inject(toB(7));
    EXPECT_EQ(chip.mibGet("RXDROPPKTS", 0), 10u);
    fabric.pump();
    fabric.setNotifier({});
    fabric.advance((low_room + high) * kFullFrameUs);
    const auto sent = board.port(1).sent();
    ASSERT_EQ(sent.size(), low_room + high);
    // The port's first frame leaves at once; queue 3's are next.
    for (uint64_t i = 1; i <= high; i++)
        EXPECT_EQ(sent[i].queue, 3) << i;
    EXPECT_EQ(discards(1), 0u);
}

TEST_F(egress_queue, AFlowControlledSenderIsHeldNotDropped) {
    chip.poke("STS_OVERRIDE_P", 1, 0x43);  // port 1 forced up at 10 Mb/s, full duplex
    const int frames = 300;
    for (uint64_t pause : {0, 1}) {
        chip.poke("QOS_PAUSE_EN", 0, pause);  // port 0's bit
        board.port(1).clearSent();
        const uint64_t before = discards(1);
        for (int i = 0; i < frames; i++)
            board.port(0).send(toB());
        for (int i = 0; i < 20 && board.port(1).sent().size() < frames; i++)
            fabric.advance(100000);
        const uint64_t dropped = discards(1) - before;
        EXPECT_EQ(board.port(1).sent().size() + dropped, static_cast<size_t>(frames));
        EXPECT_EQ(dropped > 0, pause == 0) << dropped;
    }
    EXPECT_EQ(chip.mibGet("RXDROPPKTS", 0), 0u);
}

TEST_F(egress_queue, AQuietPortWaitsBehindOneFrameOfEachBusyPort) {
    fabric.setNotifier([] {});  // frames wait for the pump
    const auto bcast = FrameBuilder().src(kSenderMac).build();
    for (int i = 0; i < 200; i++) {
        board.port(2).inject(bcast);
        board.port(3).inject(bcast);
    }
    board.port(4).inject(FrameBuilder().src(0x02000000000cull).dst(kReceiverMac).build());
    fabric.pump();
    fabric.setNotifier({});
    fabric.advance(100000);
    const auto sent = board.port(1).sent();
    ASSERT_EQ(sent.size(), 401u);
    size_t at = 0;
    while (at < sent.size() && sent[at].bytes[11] != 0x0c)
        at++;
    EXPECT_LE(at, 3u);
}

}  // namespace
