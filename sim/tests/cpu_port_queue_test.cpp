// The management port's egress to the CPU-port MAC: frames to the CPU wait
// in the port's class-of-service queues while the MAC has no receive buffer
// posted, the switch's own address (queue 3 by its station entry) goes first
// once buffers come back, and what a queue cannot hold is the port's discard.
#include <gtest/gtest.h>

#include <cstring>

#include "sim/board.h"

namespace {

using sim::FrameBuilder;
using sim::MacAddr;

constexpr MacAddr kHostMac = 0x02000000000aull, kStationMac = 0x0200000000ccull;
constexpr uint32_t kRing = 64, kBufferBytes = 2048, kOffset = sim::MacCore::kRxHeaderBytes;
constexpr uint32_t kRcvControl = 0x210, kRcvAddr = 0x214, kRcvPtr = 0x218, kRxMissed = 0x5BC;

struct cpu_port_queue : ::testing::Test {
    sim::Board board{sim::BoardConfig::preset(sim::BoardKind::RW3090)};
    sim::Chip &chip = board.chip();
    sim::MacCore &mac = board.mac();
    const int cpu = board.profile().cpu_port;
    uint8_t *ring = nullptr;
    std::vector<uint8_t *> buffers;
    uint32_t posted = 0;

    void SetUp() override {
        board.connectCpuMac();
        chip.poke("SWMODE", 0, 0x02);          // SW_FWDG_EN
        chip.poke("MII_PCTL", 0, 0x04);        // broadcasts to the CPU
        chip.poke("QOS_CTL", 0, 3ull << 53);   // four queues
        chip.poke("FCON_FLOWMIX", 0, 1 << 5);  // the highest queue preempts
        board.port(0).linkUp();
        // The CPU's station entry: class of service 3.
        chip.poke("ARLA_MAC", 0, kStationMac);
        chip.poke("ARLA_VID", 0, 1);
        chip.poke("ARLA_ENTRY", 0,
                  kStationMac | uint64_t(cpu) << 48 | 3ull << 57 | 3ull << 62);  // static, valid
        const uint8_t write = 0x80;                                              // ARL_STRTDN
        ASSERT_EQ(chip.write(sim::BusPath::Direct, 0x05, 0x00, &write, 1), 0);
        // An empty receive ring, on.
        ring = static_cast<uint8_t *>(board.dma().alloc(kRing * 8));
        for (uint32_t i = 0; i < kRing; i++) {
            buffers.push_back(static_cast<uint8_t *>(board.dma().alloc(kBufferBytes)));
            const uint32_t words[2] = {kBufferBytes | (i == kRing - 1 ? 0x10000000u : 0),
                                       board.dma().toBus(buffers.back())};
            std::memcpy(ring + 8 * i, words, 8);
        }
        mac.write(kRcvAddr, board.dma().toBus(ring));
        mac.write(kRcvControl, 1 | kOffset << 1);
    }
    void post(uint32_t n) {
        posted += n;
        mac.write(kRcvPtr, posted * 8);
        board.fabric().drain();
    }
    // The destinations of the frames the MAC took so far, B for a broadcast
    // and S for the station's own address.
    std::string taken() const {
        std::string kinds;
        const uint32_t filled = (mac.peek(0x21C) & 0xFFF) / 8;
        for (uint32_t i = 0; i < filled; i++)
            kinds += buffers[i][kOffset] == 0xff ? 'B' : 'S';
        return kinds;
    }
    void send(MacAddr dst, int n) {
        for (int i = 0; i < n; i++)
            board.port(0).inject(FrameBuilder().src(kHostMac).dst(dst).size(1000).build());
        board.fabric().drain();
    }
};

TEST_F(cpu_port_queue, FramesWaitForReceiveBuffersAndTheOwnAddressGoesFirst) {
    send(sim::kBroadcast, 20);
    send(kStationMac, 2);
    EXPECT_EQ(taken(), "");
    EXPECT_EQ(mac.peek(kRxMissed), 0u);
    EXPECT_EQ(chip.mibGet("TXDROPPKTS", cpu), 0u);
    post(4);
    EXPECT_EQ(taken(), "SSBB");
    post(30);
    EXPECT_EQ(taken(), "SSBB" + std::string(18, 'B'));
    EXPECT_EQ(board.fabric().queueCount(cpu, 3), 2u);
    EXPECT_EQ(board.fabric().queueCount(cpu, 0), 20u);
    EXPECT_EQ(mac.peek(kRxMissed), 0u);
}

TEST_F(cpu_port_queue, WhatTheQueueCannotHoldIsThePortsDiscardAndAnOffMacMissesFrames) {
    // 1000 bytes, the management tag and the FCS: four cells a frame.
    const int room = sim::Fabric::kQueueCells / 4;
    send(sim::kBroadcast, room + 10);
    EXPECT_EQ(chip.mibGet("TXDROPPKTS", cpu), 10u);
    EXPECT_EQ(board.fabric().dropStats().egress, 10u);
    // Reception off: what waited goes to the MAC, which misses it.
    mac.write(kRcvControl, 0);
    board.fabric().drain();
    EXPECT_EQ(mac.peek(kRxMissed), uint32_t(room));
    EXPECT_EQ(chip.mibGet("TXDROPPKTS", cpu), 10u);
}

TEST_F(cpu_port_queue, AMirrorCopyToTheCpuPortCarriesTheManagementTag) {
    chip.poke("MII_PCTL", 0, 0);  // no broadcasts but the mirror's copies
    chip.poke("MIRCAPCTL", 0, 1ull << 63 | 1ull << cpu);
    chip.poke("IGMIRCTL", 0, 1);  // what port 0 receives
    send(sim::kBroadcast, 1);
    post(1);
    ASSERT_EQ(taken(), "B");
    EXPECT_EQ(buffers[0][kOffset + 12], 0x88);
    EXPECT_EQ(buffers[0][kOffset + 13], 0x74);
}

}  // namespace
