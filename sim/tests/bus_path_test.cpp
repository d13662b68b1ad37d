// The management interface at pin and window level, driven the way the CPU
// side drives it.
#include <gtest/gtest.h>

#include "serial_master.h"
#include "sim/board.h"

namespace {

using sim::AnomalyKind;
using sim::BusOp;

class BusPathTest : public ::testing::Test {
  protected:
    BusPathTest() : board(sim::BoardConfig::preset(sim::BoardKind::RW3090)), master(board) {}
    void TearDown() override {
        for (const sim::Anomaly &a : allowed.unexpected(board.anomalies()))
            ADD_FAILURE() << a.text;
    }

    sim::Board board;
    simtest::SerialMaster master;
    sim::AnomalyAllowList allowed;
};

using bus_path = BusPathTest;

TEST_F(bus_path, RegisterWrittenOverPinsReadsBackOverWindow) {
    const uint8_t value[] = {0x80};
    ASSERT_TRUE(master.write(0, 0x34, 0x00, value, 1));  // VLAN_CTRL0
    EXPECT_EQ(board.chip().peek("VLAN_CTRL0"), 0x80u);
    uint8_t back[1] = {0};
    ASSERT_TRUE(master.windowRead(0x34, 0x00, back, 1));
    EXPECT_EQ(back[0], 0x80);
    EXPECT_TRUE(board.anomalies().empty());
}

TEST_F(bus_path, RegisterWrittenOverWindowReadsBackOverPins) {
    // PORT_EAP_CON[3]: eight bytes, low byte first on both paths.
    const uint8_t value[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x00, 0x03};
    ASSERT_TRUE(master.windowWrite(0x40, 0x18, value, 8));
    EXPECT_EQ(board.chip().peek("PORT_EAP_CON", 3), 0x0300665544332211ull);
    uint8_t back[8] = {};
    ASSERT_TRUE(master.read(0, 0x40, 0x18, back, 8));
    EXPECT_EQ(0, memcmp(back, value, 8));
    // A 5-byte register ends with a single byte written alone.
    const uint8_t offsets[5] = {1, 2, 3, 4, 80};
    ASSERT_TRUE(master.windowWrite(0x24, 0x05, offsets, 5));  // UDF_OFFSET4_P[1]
    EXPECT_EQ(board.chip().peek("UDF_OFFSET4_P", 1), 0x5004030201ull);
    const uint8_t tag[2] = {0x05, 0x60};
    ASSERT_TRUE(master.windowWrite(0x34, 0x40 + 2 * 7, tag, 2));
    EXPECT_EQ(board.chip().peek("DEFAULT_1Q_TAG", 7), 0x6005u);
    EXPECT_TRUE(board.anomalies().empty());
}

TEST_F(bus_path, TwoWritesToOnePageSendOnePageSelect) {
    board.accessLog().enable(true);
    const uint8_t one[] = {0x01};
    const uint8_t ctrl1[] = {0x02}, ctrl2[] = {0x10};  // implemented bits of VLAN_CTRL1, 2
    ASSERT_TRUE(master.write(0, 0x34, 0x01, ctrl1, 1));
    ASSERT_TRUE(master.write(0, 0x34, 0x02, ctrl2, 1));
    EXPECT_EQ(board.accessLog().count(BusOp::PageSelect), 1u);
    EXPECT_EQ(board.accessLog().count(BusOp::Write), 2u);
    ASSERT_TRUE(master.write(0, 0x00, 0x20, one, 1));
    EXPECT_EQ(board.accessLog().count(BusOp::PageSelect), 2u);
    auto log = board.accessLog().entries();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().op, BusOp::Write);
    EXPECT_EQ(log.back().page, 0x00);
    EXPECT_EQ(log.back().offset, 0x20);
    EXPECT_EQ(board.serial().page(), 0x00);
}

TEST_F(bus_path, WindowReadWithMismatchedLengthCodeYieldsZeros) {
    const uint8_t value[] = {0x0b};
    ASSERT_TRUE(master.write(0, 0x00, 0x20, value, 1));  // SWMODE, one byte
    uint8_t two[2] = {0xee, 0xee};
    ASSERT_TRUE(master.windowRead(0x00, 0x20, two, 2));
    EXPECT_EQ(two[0], 0);
    EXPECT_EQ(two[1], 0);
    uint8_t one[1] = {0};
    ASSERT_TRUE(master.windowRead(0x00, 0x20, one, 1));
    EXPECT_EQ(one[0], 0x0b);
}

TEST_F(bus_path, BusyAndNotReadyChipsAreWaitedForThenGivenUpOn) {
    const uint8_t value[] = {0x03};
    board.serial().injectBusy(3);
    EXPECT_TRUE(master.write(0, 0x00, 0x20, value, 1));
    EXPECT_EQ(board.chip().peek("SWMODE"), 0x03u);

    board.serial().injectBusy(-1);
    const uint8_t other[] = {0x01};
    EXPECT_FALSE(master.write(0, 0x00, 0x20, other, 1));
    EXPECT_EQ(board.chip().peek("SWMODE"), 0x03u);
    board.serial().injectBusy(0);

    uint8_t back[1] = {0};
    board.serial().injectNotReady(7);
    EXPECT_TRUE(master.read(0, 0x00, 0x20, back, 1));
    EXPECT_EQ(back[0], 0x03);

    uint8_t untouched[1] = {0x5a};
    board.serial().injectNotReady(-1);
    EXPECT_FALSE(master.read(0, 0x00, 0x20, untouched, 1));
    EXPECT_EQ(untouched[0], 0x5a);
    EXPECT_TRUE(board.anomalies().empty());
}

TEST_F(bus_path, OtherChipIdsGetNoAnswer) {
    const uint8_t value[] = {0x80};
    EXPECT_TRUE(master.write(1, 0x34, 0x00, value, 1));  // status reads "ready" on a silent bus
    EXPECT_EQ(board.chip().peek("VLAN_CTRL0"), 0u);
    uint8_t untouched[1] = {0x5a};
    EXPECT_FALSE(master.read(1, 0x34, 0x00, untouched, 1));
    EXPECT_EQ(untouched[0], 0x5a);
}

TEST_F(bus_path, WrongLengthsAndFramesAreRecorded) {
    allowed.allow(AnomalyKind::WidthMismatch, 0x0020);
    allowed.allow(AnomalyKind::SerialFraming);
    allowed.allow(AnomalyKind::BadLength);
    uint8_t two[2];
    ASSERT_TRUE(master.read(0, 0x00, 0x20, two, 2));  // SWMODE has one byte
    EXPECT_EQ(board.anomalies().count(AnomalyKind::WidthMismatch), 1u);

    master.select(true);
    master.sendByte(0x42);  // no such command
    master.select(false);
    EXPECT_EQ(board.anomalies().count(AnomalyKind::SerialFraming), 1u);

    master.select(true);
    master.sendByte(0x61);
    master.sendByte(0x20);
    master.select(false);  // a write without data
    EXPECT_EQ(board.anomalies().count(AnomalyKind::BadLength), 1u);
}

TEST_F(bus_path, WindowNeedsTheExternalBusAndAnswersBusyUntilAbandoned) {
    allowed.allow(AnomalyKind::WindowProtocol);
    uint8_t buf[1] = {0x77};
    board.window().injectBusy(-1);
    EXPECT_FALSE(master.windowRead(0x00, 0x20, buf, 1));
    EXPECT_EQ(buf[0], 0x77);
    const uint8_t value[] = {0x02};
    EXPECT_FALSE(master.windowWrite(0x00, 0x20, value, 1));
    EXPECT_EQ(board.chip().peek("SWMODE"), 0u);
    board.window().injectBusy(5);
    EXPECT_TRUE(master.windowWrite(0x00, 0x20, value, 1));
    EXPECT_EQ(board.chip().peek("SWMODE"), 2u);

    board.window().enable(false);
    EXPECT_EQ(board.window().read8(12), 0);
    EXPECT_GE(board.anomalies().count(AnomalyKind::WindowProtocol), 1u);
}

}  // namespace
