#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "chipdata/ids.h"
#include "sim/anomalies.h"
#include "sim/dma_arena.h"
#include "sim/mac_core.h"

namespace {

struct MacRig {
    sim::DmaArena arena{1 << 20};
    sim::Anomalies anomalies;
    sim::MacCore mac{arena, anomalies, DXP6202_DEVICE_ID};
};

TEST(mac_core, RegistersWithSideEffects) {
    MacRig r;
    EXPECT_EQ(r.mac.read(0xFFC), 0x8060u);
    EXPECT_EQ(r.mac.pciConfRead(0),
              static_cast<uint32_t>(DXP6202_DEVICE_ID) << 16 | CHIP_VENDOR_ID);
    // The disable bit clears itself together with the enable.
    r.mac.write(0x42C, 0x1);
    r.mac.write(0x42C, 0x5);
    EXPECT_EQ(r.mac.read(0x42C), 0u);
    // CAM strobe writes the entry and never stays busy.
    r.mac.write(0x420, 0x03040506);
    r.mac.write(0x424, 0x10000 | 0x0102);
    r.mac.write(0x428, 2u << 16 | 0x8);
    EXPECT_EQ(r.mac.read(0x428) & 0x80000008, 0u);
    EXPECT_EQ(r.mac.camEntry(2), (std::array<uint8_t, 6>{1, 2, 3, 4, 5, 6}));
    // MII: PHY 1 answers, others read all ones; done is write-1-to-clear.
    r.mac.write(0x414, 0x60020000 | 1u << 23 | 3u << 18);
    EXPECT_EQ(r.mac.read(0x414) & 0xFFFF, 0x5521u);
    EXPECT_EQ(r.mac.read(0x41C) & 1, 1u);
    r.mac.write(0x41C, 1);
    r.mac.write(0x414, 0x60020000 | 4u << 23 | 3u << 18);
    EXPECT_EQ(r.mac.read(0x414) & 0xFFFF, 0xFFFFu);
    // Interrupt status is write-1-to-clear; the level follows the mask.
    r.mac.rxFifoOverflow();
    EXPECT_FALSE(r.mac.irqPending());
    r.mac.write(0x024, 0x4000);
    EXPECT_TRUE(r.mac.irqPending());
    r.mac.write(0x020, 0x4000);
    EXPECT_FALSE(r.mac.irqPending());
    EXPECT_TRUE(r.anomalies.list().empty());
}

TEST(mac_core, MibClearsOnReadAndMissedFramesCount) {
    MacRig r;
    r.mac.receiveFromSwitch(std::vector<uint8_t>(64, 0));  // reception off
    r.mac.write(0x438, 1);
    EXPECT_EQ(r.mac.read(0x5BC), 1u);
    EXPECT_EQ(r.mac.read(0x5BC), 0u);
    EXPECT_EQ(r.mac.read(0x020) & 0x2000, 0x2000u);
}

TEST(mac_core, TransmitDescriptorOutsideTheArenaIsAnAnomaly) {
    MacRig r;
    r.mac.write(0x200, 1);
    r.mac.write(0x204, 0x100);
    r.mac.write(0x208, 8);
    EXPECT_EQ(r.mac.read(0x20C) & 0xF000, 0x3000u);  // stopped
    EXPECT_EQ(r.mac.read(0x020) & 0x400, 0x400u);
    ASSERT_EQ(r.anomalies.list().size(), 1u);
    EXPECT_EQ(r.anomalies.list()[0].kind, sim::AnomalyKind::DmaOutOfArena);
}

}  // namespace
