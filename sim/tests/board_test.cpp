// Board presets, the device list, DMA memory and the binding for the glue.
#include <gtest/gtest.h>

#include <set>

#include "chipdata/ids.h"
#include "sim/board.h"
#include "sim/host_binding.h"

namespace {

TEST(board_presets, PortCountsNameTheThreeBoards) {
    sim::BoardConfig cfg;
    std::string error;
    ASSERT_TRUE(sim::BoardConfig::fromPortCount("52", &cfg, &error));
    EXPECT_STREQ(cfg.name, "RW3090");
    EXPECT_EQ(cfg.chip, sim::ChipKind::DXP7101);
    EXPECT_EQ(cfg.user_ports, 52);
    ASSERT_TRUE(sim::BoardConfig::fromPortCount("28", &cfg, &error));
    EXPECT_EQ(cfg.chip, sim::ChipKind::DXP7106);
    ASSERT_TRUE(sim::BoardConfig::fromPortCount("26", &cfg, &error));
    EXPECT_EQ(cfg.chip, sim::ChipKind::DXP7102A1);
    EXPECT_EQ(cfg.revision, 1);

    for (const char *bad : {"8", "", "52x", "-1"}) {
        EXPECT_FALSE(sim::BoardConfig::fromPortCount(bad, &cfg, &error)) << bad;
        EXPECT_NE(error.find("RW3090"), std::string::npos);
        EXPECT_NE(error.find("26"), std::string::npos);
    }
}

TEST(board_presets, TheSwitchIsDeviceZeroOnTheSerialBusAndTheMacDeviceOne) {
    sim::Board board(sim::BoardConfig::preset(sim::BoardKind::RW3070));
    auto devices = board.devices();
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[1].device_id, DXP6202_DEVICE_ID);
    EXPECT_EQ(devices[1].bus_type, sim::kBusPci);
    EXPECT_EQ(devices[0].device_id, DXP7106_DEVICE_ID);
    EXPECT_EQ(devices[0].revision, 0);
    EXPECT_EQ(devices[0].bus_type, sim::kBusSpi);
    EXPECT_EQ(board.profile().num_ports, 29);
    sim::BoardConfig alone = sim::BoardConfig::preset(sim::BoardKind::RW3070);
    alone.cpu_mac = false;
    EXPECT_EQ(sim::Board(alone).devices().size(), 1u);
}

TEST(dma_arena, BlocksTranslateBothWaysWithin32Bits) {
    sim::DmaArena arena(1 << 20);
    void *ring = arena.alloc(512);
    void *buffer = arena.alloc(1600);
    ASSERT_NE(ring, nullptr);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(ring) % 512, 0u);
    uint32_t bus = arena.toBus(buffer);
    EXPECT_GE(bus, sim::DmaArena::kBusBase);
    EXPECT_EQ(arena.fromBus(bus, 1600), buffer);
    EXPECT_EQ(arena.fromBus(arena.toBus(ring) + 4, 4), static_cast<char *>(ring) + 4);
    // Outside the arena: refused.
    int local = 0;
    EXPECT_EQ(arena.toBus(&local), 0u);
    EXPECT_EQ(arena.fromBus(sim::DmaArena::kBusBase - 1, 1), nullptr);
    EXPECT_EQ(arena.fromBus(sim::DmaArena::kBusBase + (1 << 20) - 2, 4), nullptr);
    EXPECT_FALSE(arena.free(&local));
    EXPECT_TRUE(arena.free(ring));
    EXPECT_FALSE(arena.free(ring));
    EXPECT_EQ(arena.bytesInUse(), 1600u);
    EXPECT_EQ(arena.alloc(2 << 20), nullptr);
}

TEST(dma_arena, FreedSpaceIsReused) {
    sim::DmaArena arena(64 * 1024);
    std::set<void *> blocks;
    for (void *p; (p = arena.alloc(4096)) != nullptr;)
        blocks.insert(p);
    EXPECT_EQ(blocks.size(), 16u);
    void *one = *blocks.begin();
    EXPECT_TRUE(arena.free(one));
    EXPECT_EQ(arena.alloc(4096), one);
}

TEST(host_binding, CallsFailSoftlyWithoutABoard) {
    sim::unbindHost();
    EXPECT_EQ(sim_bound(), 0);
    EXPECT_EQ(sim_device_count(), 0);
    uint8_t buf[1];
    EXPECT_EQ(sim_switch_reg_read(0, 0, 0x20, buf, 1), -1);
    EXPECT_EQ(sim_dma_alloc(64), nullptr);
    uint32_t v = 0;
    EXPECT_EQ(sim_extbus_read(0, 1, &v), -1);
}

TEST(host_binding, BoundBoardServesTheGlue) {
    sim::Board board(sim::BoardConfig::preset(sim::BoardKind::RW3090));
    sim::bindHost(board);
    EXPECT_EQ(sim_bound(), 1);
    EXPECT_EQ(sim_bus_direct(), 0);
    sim_device_info info{};
    ASSERT_EQ(sim_device_get(0, &info), 0);
    EXPECT_EQ(info.device_id, DXP7101_DEVICE_ID);
    EXPECT_EQ(info.bus_type, 2u);
    EXPECT_EQ(sim_device_get(2, &info), -1);

    const uint8_t value[1] = {0x03};
    EXPECT_EQ(sim_switch_reg_write(0, 0x00, 0x20, value, 1), 0);
    EXPECT_EQ(board.chip().peek("SWMODE"), 3u);
    uint8_t back[1] = {0};
    EXPECT_EQ(sim_switch_reg_read(1, 0x00, 0x20, back, 1), -1);
    EXPECT_EQ(board.anomalies().count(sim::AnomalyKind::NoDevice), 1u);

    EXPECT_EQ(sim_gpio_outen(0x1c, 0x1c), 0x1cu);
    EXPECT_EQ(sim_gpio_out(0x08, 0x08), 0x08u);
    EXPECT_EQ(sim_gpio_in() & 0x1c, 0x08u);

    uint32_t window = 0;
    EXPECT_EQ(sim_extbus_write(0x40, 1, 0), -1);
    EXPECT_EQ(sim_extbus_config(1), 0);
    EXPECT_EQ(sim_extbus_read(12, 1, &window), 0);

    void *p = sim_dma_alloc(100);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(sim_dma_bus_to_virt(sim_dma_virt_to_bus(p), 100), p);
    EXPECT_EQ(sim_dma_bus_to_virt(0x1000, 4), nullptr);
    EXPECT_EQ(board.anomalies().count(sim::AnomalyKind::DmaOutOfArena), 1u);
    EXPECT_EQ(sim_dma_free(p), 0);
    sim::unbindHost();
}

}  // namespace
