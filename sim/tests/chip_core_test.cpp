// The register core: reset, masks, read-only registers, bad accesses, PHY pages.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>

#include "chipdata/ids.h"
#include "serial_master.h"
#include "sim/board.h"

namespace {

using sim::AnomalyKind;
using sim::BusPath;

struct chip_core : ::testing::Test {
    sim::Board board{sim::BoardConfig::preset(sim::BoardKind::RW3090)};
    sim::Chip &chip = board.chip();
    sim::AnomalyAllowList allowed;

    void TearDown() override {
        for (const sim::Anomaly &a : allowed.unexpected(board.anomalies()))
            ADD_FAILURE() << a.text;
    }

    void write(uint8_t page, uint8_t offset, std::initializer_list<uint8_t> bytes) {
        std::vector<uint8_t> v(bytes);
        ASSERT_EQ(chip.write(BusPath::Direct, page, offset, v.data(), static_cast<int>(v.size())),
                  0);
    }
    uint64_t read(uint8_t page, uint8_t offset, int len) {
        uint8_t buf[8] = {};
        EXPECT_EQ(chip.read(BusPath::Direct, page, offset, buf, len), 0);
        uint64_t v = 0;
        for (int i = 0; i < len; i++)
            v |= uint64_t(buf[i]) << (8 * i);
        return v;
    }
};

TEST_F(chip_core, ChipResetRestoresResetValuesAndKeepsTheSerialPage) {
    simtest::SerialMaster master(board);
    const uint8_t on[] = {0x80};
    ASSERT_TRUE(master.write(0, 0x34, 0x00, on, 1));
    write(0x32, 0x00, {0, 0, 0, 0, 0, 0, 0});  // PORT_VLAN_CTL[0] to no ports
    write(0x00, 0x21, {0x00});                 // PHYSCAN_CTL off
    chip.phyPoke(5, 4, 0x0061);
    ASSERT_EQ(chip.peek("PORT_VLAN_CTL", 0), 0u);

    const uint8_t reset[] = {0x01};
    ASSERT_TRUE(master.write(0, 0x03, 0x7c, reset, 1));  // CHIP_RST_CTL.RST_CHIP
    uint8_t status[1];
    // RST_CHIP reads 1 while the reset runs, then 0.
    ASSERT_TRUE(master.read(0, 0x03, 0x7c, status, 1));
    EXPECT_EQ(status[0], 1);
    ASSERT_TRUE(master.read(0, 0x03, 0x7c, status, 1));
    EXPECT_EQ(status[0], 1);
    ASSERT_TRUE(master.read(0, 0x03, 0x7c, status, 1));
    EXPECT_EQ(status[0], 0);

    EXPECT_EQ(chip.resetCount(), 1);
    EXPECT_EQ(chip.peek("VLAN_CTRL0"), 0u);
    EXPECT_EQ(chip.peek("PORT_VLAN_CTL", 0), 0x1fffffffffffffull);
    EXPECT_EQ(chip.peek("PHYSCAN_CTL"), 1u);
    EXPECT_EQ(chip.phyPeek(5, 4), 0x01e1);
    // The page register survives: the CPU's cached page stays right.
    EXPECT_EQ(board.serial().page(), 0x03);
    ASSERT_TRUE(master.write(0, 0x34, 0x00, on, 1));
    EXPECT_EQ(chip.peek("VLAN_CTRL0"), 0x80u);
    EXPECT_TRUE(board.anomalies().empty());
}

TEST_F(chip_core, UndescribedAddressesReadZeroAndAreRecorded) {
    allowed.allow(AnomalyKind::UndescribedAddress, 0x77f0);
    write(0x77, 0xf0, {0x12});
    EXPECT_EQ(read(0x77, 0xf0, 1), 0u);
    EXPECT_EQ(board.anomalies().count(AnomalyKind::UndescribedAddress), 2u);
    auto list = board.anomalies().list();
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.back().address, 0x77f0u);
    EXPECT_NE(list.back().text.find("0x77f0"), std::string::npos);
}

// A page handed to a handler answers every bus path and the width query.
TEST_F(chip_core, HandledPageServesEveryPath) {
    struct Counter : sim::PageHandler {
        uint8_t value = 0x5a;
        const char *kind() const override { return "counter register"; }
        int width(uint8_t offset) const override { return offset == 0 ? 1 : 0; }
        void read(uint8_t offset, uint8_t *buf, int) override {
            if (offset == 0) buf[0] = value++;
        }
        void write(uint8_t offset, const uint8_t *buf, int len) override {
            if (offset == 0 && len == 1) value = buf[0];
        }
    };
    ASSERT_EQ(chip.widthAt(0xe0, 0x00), 0);
    chip.handlePage(0xe0, std::make_unique<Counter>());
    EXPECT_EQ(chip.widthAt(0xe0, 0x00), 1);
    EXPECT_EQ(read(0xe0, 0x00, 1), 0x5au);
    simtest::SerialMaster master(board);
    uint8_t b[1] = {};
    ASSERT_TRUE(master.read(0, 0xe0, 0x00, b, 1));
    EXPECT_EQ(b[0], 0x5b);
    const uint8_t v[1] = {0x20};
    ASSERT_TRUE(master.windowWrite(0xe0, 0x00, v, 1));
    ASSERT_TRUE(master.windowRead(0xe0, 0x00, b, 1));
    EXPECT_EQ(b[0], 0x20);
    allowed.allow(AnomalyKind::WidthMismatch, 0xe002);
    read(0xe0, 0x02, 2);
    auto list = board.anomalies().list();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_NE(list[0].text.find("counter register 0xe002"), std::string::npos);
}

TEST_F(chip_core, AccessesOfZeroOrMoreThanEightBytesAreRefused) {
    allowed.allow(AnomalyKind::BadLength, 0x0020);
    uint8_t buf[16];
    memset(buf, 0xa5, sizeof buf);
    EXPECT_EQ(chip.read(BusPath::Direct, 0x00, 0x20, buf, 0), -1);
    EXPECT_EQ(chip.read(BusPath::Direct, 0x00, 0x20, buf, 9), -1);
    EXPECT_EQ(chip.write(BusPath::Direct, 0x00, 0x20, buf, 16), -1);
    EXPECT_EQ(buf[0], 0xa5);
    EXPECT_EQ(chip.peek("SWMODE"), 0u);
    EXPECT_EQ(board.anomalies().count(AnomalyKind::BadLength), 3u);
}

TEST_F(chip_core, ReadOnlyAndUnimplementedBitsKeepTheirValue) {
    allowed.allow(AnomalyKind::ReadOnlyWrite, 0x0200);
    allowed.allow(AnomalyKind::UnimplementedBits, 0x0020);
    chip.poke("LNKSTS", 0, 0x5);
    write(0x02, 0x00, {0xff, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(chip.peek("LNKSTS"), 0x5u);
    EXPECT_EQ(board.anomalies().count(AnomalyKind::ReadOnlyWrite), 1u);

    write(0x00, 0x20, {0xff});  // SWMODE implements bits 3:0
    EXPECT_EQ(chip.peek("SWMODE"), 0x0fu);
    EXPECT_EQ(board.anomalies().count(AnomalyKind::UnimplementedBits), 1u);
}

TEST_F(chip_core, ShortWriteMergesIntoTheRegister) {
    allowed.allow(AnomalyKind::WidthMismatch);
    chip.poke("MAC_SEC_CON0", 0, 0x1122334455667788ull);
    write(0x41, 0x00, {0xaa, 0xbb});
    EXPECT_EQ(chip.peek("MAC_SEC_CON0"), 0x112233445566bbaaull);
    EXPECT_EQ(board.anomalies().count(AnomalyKind::WidthMismatch), 1u);
    EXPECT_EQ(read(0x41, 0x06, 2), 0x1122u);  // inside the register: its upper bytes
}

TEST(chip_core_models, PhyPagesCarryTheChipsPhyIdentifier) {
    sim::Board board(sim::BoardConfig::preset(sim::BoardKind::DXP97102R24GM));
    uint8_t id[2];
    ASSERT_EQ(board.chip().read(BusPath::Direct, 0x13, 0x04, id, 2), 0);  // port 3, register 2
    EXPECT_EQ(id[0] | id[1] << 8, phy_id0(PHY_OUI_KEY_B));
    ASSERT_EQ(board.chip().read(BusPath::Direct, 0x13, 0x06, id, 2), 0);
    EXPECT_EQ(id[0] | id[1] << 8, phy_id1(PHY_OUI_KEY_B, PHY_MODEL_7102_FE, 0));

    // Writing the reset bit of the control register restores the defaults.
    const uint8_t anar[2] = {0x21, 0x00};
    ASSERT_EQ(board.chip().write(BusPath::Direct, 0x13, 0x08, anar, 2), 0);
    EXPECT_EQ(board.chip().phyPeek(3, 4), 0x0021);
    const uint8_t reset[2] = {0x00, 0x80};
    ASSERT_EQ(board.chip().write(BusPath::Direct, 0x13, 0x00, reset, 2), 0);
    EXPECT_EQ(board.chip().phyPeek(3, 4), 0x01e1);
    EXPECT_EQ(board.chip().phyPeek(3, 0), 0x3100);
    EXPECT_TRUE(board.anomalies().empty());

    // The DXP7102 has no chip reset register.
    const uint8_t one[1] = {1};
    board.chip().write(BusPath::Direct, 0x03, 0x7c, one, 1);
    EXPECT_EQ(board.anomalies().count(AnomalyKind::UndescribedAddress), 1u);
    EXPECT_EQ(board.chip().resetCount(), 0);
}

TEST(chip_core_models, PortStatusResetsToItsRowsWithTheCpuPortUp) {
    for (sim::BoardKind kind :
         {sim::BoardKind::RW3090, sim::BoardKind::RW3070, sim::BoardKind::DXP97102R24GM}) {
        sim::Board board(sim::BoardConfig::preset(kind));
        const sim::ChipProfile &p = board.chip().profile();
        board.chip().reset();
        for (const char *name : {"LNKSTS", "DUPSTS", "SPDSTS"}) {
            const chipdata_reg *row = chipdata_reg_info(p.data_model, chipdata_reg_id(name));
            ASSERT_NE(row, nullptr) << name;
            uint64_t reset = uint64_t(row->reset_hi) << 32 | row->reset_lo;
            EXPECT_NE(reset, 0u) << p.name << " " << name;
            EXPECT_EQ(board.chip().peek(name), reset) << p.name << " " << name;
        }
    }
}

TEST(chip_core_models, StrapsSurviveAChipReset) {
    sim::BoardConfig cfg = sim::BoardConfig::preset(sim::BoardKind::DXP97102R24GM);
    cfg.straps = 2u << 16;  // gigabit port 25 strapped to GMII
    sim::Board board(cfg);
    EXPECT_EQ(board.chip().peek("STRAP_STS"), 2u << 16);
    board.chip().reset();
    EXPECT_EQ(board.chip().peek("STRAP_STS"), 2u << 16);
    EXPECT_THROW(board.chip().peek("CHIP_RST_CTL"), std::out_of_range);
}

// The event thread holds the chip's lock through a slice of events; a thread
// that waits for it (a register access) gets it between two events.
TEST(chip_mutex, HolderLetsAWaitingThreadThroughAndTakesItBack) {
    sim::ChipMutex m;
    std::unique_lock<sim::ChipMutex> held(m);
    EXPECT_FALSE(m.waited());
    std::atomic<bool> had_it{false};
    std::thread access([&] {
        std::lock_guard<sim::ChipMutex> g(m);
        had_it = true;
    });
    while (!m.waited())
        std::this_thread::yield();
    EXPECT_FALSE(had_it.load());
    m.letThrough(held, std::chrono::seconds(30));
    EXPECT_TRUE(held.owns_lock());
    EXPECT_TRUE(had_it.load());
    held.unlock();
    access.join();
}

TEST(chip_mutex, IsRecursiveForItsHolder) {
    sim::ChipMutex m;
    std::lock_guard<sim::ChipMutex> outer(m);
    std::lock_guard<sim::ChipMutex> inner(m);
    EXPECT_FALSE(m.waited());
}

}  // namespace
