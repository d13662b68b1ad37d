// The CPU-side switch access against the chip model at pin and window level.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "bde.h"
#include "board_host.h"
#include "chipdata/ids.h"
#include "flash.h"
#include "nvram.h"
#include "sal.h"
#include "sb.h"
#include "sim/board.h"
#include "sim/host_binding.h"
#include "storage_host.h"
#include "tarn_bus.h"

namespace {

constexpr uint32_t kCs = 0x04, kClk = 0x08, kDout = 0x10, kDin = 0x20;

// A bound board with one attached access handle.
class BusTest : public ::testing::Test {
  protected:
    explicit BusTest(sim::BoardKind kind = sim::BoardKind::RW3090)
        : board(sim::BoardConfig::preset(kind)) {
        board_host_forget_devices();
        sim::bindHost(board);
        sbh = sb_attach(SB_CC_CORE_ID, 0);
        sw = tarn_sw_attach(sbh, kCs, kClk, kDout, kDin);
    }
    ~BusTest() override {
        tarn_sw_detach(sw);
        sb_detach(sbh);
        board_host_forget_devices();
        bde_switch_access_register(nullptr);
        sim::unbindHost();
    }

    sim::Board board;
    sb_t *sbh = nullptr;
    tarn_sw_t *sw = nullptr;
};

using soc_bus = BusTest;

class soc_bus_dxp7102 : public BusTest {
  protected:
    soc_bus_dxp7102() : BusTest(sim::BoardKind::DXP97102R24GM) {}
};

TEST_F(soc_bus, TwoWritesToOnePageSendOnePageSelect) {
    ASSERT_NE(sw, nullptr);
    tarn_sw_mode_set(sw, TARN_SW_MODE_SPI);
    board.accessLog().enable(true);
    const uint8_t ctrl1 = 0x02, ctrl2 = 0x10;
    ASSERT_EQ(tarn_mii_reg_write(sw, 0, 0x34, 0x01, &ctrl1, 1), 0);
    ASSERT_EQ(tarn_mii_reg_write(sw, 0, 0x34, 0x02, &ctrl2, 1), 0);
    EXPECT_EQ(board.accessLog().count(sim::BusOp::PageSelect), 1u);
    EXPECT_EQ(board.accessLog().count(sim::BusOp::Write), 2u);
    EXPECT_EQ(board.chip().peek("VLAN_CTRL1"), 0x02u);
    EXPECT_EQ(board.chip().peek("VLAN_CTRL2"), 0x10u);
    EXPECT_EQ(sw->cached_page, 0x34);
    uint8_t mode = 0;
    ASSERT_EQ(tarn_mii_reg_read(sw, 0, 0x00, 0x20, &mode, 1), 0);
    EXPECT_EQ(board.accessLog().count(sim::BusOp::PageSelect), 2u);
    EXPECT_TRUE(board.anomalies().empty());
}

TEST_F(soc_bus, SerialWriteReadsBackOverTheWindowAndTheCoreIsRestored) {
    // PORT_EAP_CON[3]: eight bytes, low byte first on both paths.
    const uint8_t value[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x00, 0x03};
    sb_setcoreidx(sbh, 1);
    tarn_sw_mode_set(sw, TARN_SW_MODE_SPI);
    ASSERT_EQ(tarn_mii_reg_write(sw, 0, 0x40, 0x18, value, 8), 0);
    EXPECT_EQ(board.chip().peek("PORT_EAP_CON", 3), 0x0300665544332211ull);
    uint8_t back[8] = {};
    ASSERT_EQ(tarn_mii_reg_read(sw, 0, 0x40, 0x18, back, 8), 0);
    EXPECT_EQ(0, std::memcmp(back, value, 8));
    tarn_sw_mode_set(sw, TARN_SW_MODE_WINDOW);
    std::memset(back, 0, sizeof back);
    ASSERT_EQ(tarn_mii_reg_read(sw, 0, 0x40, 0x18, back, 8), 0);
    EXPECT_EQ(0, std::memcmp(back, value, 8));
    // A five-byte register ends with a byte written alone.
    const uint8_t offsets[5] = {1, 2, 3, 4, 80};
    ASSERT_EQ(tarn_mii_reg_write(sw, 0, 0x24, 0x05, offsets, 5), 0);
    EXPECT_EQ(board.chip().peek("UDF_OFFSET4_P", 1), 0x5004030201ull);
    EXPECT_EQ(sb_coreidx(sbh), 1u);
    EXPECT_TRUE(board.anomalies().empty());
}

TEST_F(soc_bus_dxp7102, ProbeReadsThePortZeroPhyIdentifierInBothModes) {
    const uint16_t id0 = board.chip().phyPeek(0, 2);
    ASSERT_EQ(id0, phy_id0(PHY_OUI_KEY_B));
    uint8_t id[2] = {};
    ASSERT_EQ(tarn_mii_reg_read(sw, 0, 0x10, 0x04, id, 2), 0);
    EXPECT_EQ(id[0] | id[1] << 8, id0);
    tarn_sw_mode_set(sw, TARN_SW_MODE_SPI);
    std::memset(id, 0, sizeof id);
    ASSERT_EQ(tarn_mii_reg_read(sw, 0, 0x10, 0x04, id, 2), 0);
    EXPECT_EQ(id[0] | id[1] << 8, id0);
    EXPECT_TRUE(board.anomalies().empty());
}

TEST_F(soc_bus, WindowReadWithAnotherLengthCodeYieldsZerosAndAnError) {
    const uint8_t mode = 0x0b;
    ASSERT_EQ(tarn_mii_reg_write(sw, 0, 0x00, 0x20, &mode, 1), 0);  // SWMODE, one byte
    uint8_t two[2] = {0xee, 0xee};
    EXPECT_EQ(tarn_mii_reg_read(sw, 0, 0x00, 0x20, two, 2), -1);
    EXPECT_EQ(two[0], 0);
    EXPECT_EQ(two[1], 0);
    uint8_t one = 0;
    ASSERT_EQ(tarn_mii_reg_read(sw, 0, 0x00, 0x20, &one, 1), 0);
    EXPECT_EQ(one, 0x0b);
    // The window serves chip 0 only.
    EXPECT_EQ(tarn_mii_reg_read(sw, 1, 0x00, 0x20, &one, 1), -1);
    EXPECT_EQ(tarn_mii_reg_write(sw, 1, 0x00, 0x20, &one, 1), -1);
}

TEST_F(soc_bus, BusyOrSilentChipIsReportedAsTimeOut) {
    const uint8_t value = 0x80;
    uint8_t back = 0x5a;
    // Serial: 50 busy status polls, then a read that never gets ready.
    tarn_sw_mode_set(sw, TARN_SW_MODE_SPI);
    board.serial().injectBusy(-1);
    EXPECT_EQ(tarn_mii_reg_write(sw, 0, 0x34, 0x00, &value, 1), -9);
    EXPECT_EQ(tarn_mii_reg_read(sw, 0, 0x34, 0x00, &back, 1), -9);
    EXPECT_EQ(back, 0x5a);
    EXPECT_EQ(board.chip().peek("VLAN_CTRL0"), 0u);
    board.serial().injectBusy(0);
    board.serial().injectNotReady(-1);
    EXPECT_EQ(tarn_mii_reg_read(sw, 0, 0x34, 0x00, &back, 1), -9);
    EXPECT_EQ(back, 0x5a);
    board.serial().injectNotReady(3);  // a few idle bytes are waited for
    ASSERT_EQ(tarn_mii_reg_write(sw, 0, 0x34, 0x00, &value, 1), 0);
    ASSERT_EQ(tarn_mii_reg_read(sw, 0, 0x34, 0x00, &back, 1), 0);
    EXPECT_EQ(back, 0x80);

    // Window: 200 busy polls; the command is withdrawn, so the next works.
    tarn_sw_mode_set(sw, TARN_SW_MODE_WINDOW);
    board.window().injectBusy(-1);
    back = 0x5a;
    EXPECT_EQ(tarn_mii_reg_read(sw, 0, 0x34, 0x00, &back, 1), -9);
    EXPECT_EQ(back, 0x5a);
    EXPECT_EQ(tarn_mii_reg_write(sw, 0, 0x34, 0x00, &value, 1), -9);
    board.window().injectBusy(0);
    ASSERT_EQ(tarn_mii_reg_read(sw, 0, 0x34, 0x00, &back, 1), 0);
    EXPECT_EQ(back, 0x80);
    EXPECT_TRUE(board.anomalies().empty());
}

TEST_F(soc_bus, SetupEnablesTheManagementPortOnce) {
    tarn_sw_mode_set(sw, TARN_SW_MODE_SPI);
    board.accessLog().enable(true);
    ASSERT_EQ(tarn_mii_setup(sw, 0), 0);
    EXPECT_EQ(board.chip().peek("IMP_CTL"), 0x10u);
    EXPECT_EQ(board.accessLog().count(sim::BusOp::Write), 1u);
    ASSERT_EQ(tarn_mii_setup(sw, 0), 0);
    EXPECT_EQ(board.accessLog().count(sim::BusOp::Write), 1u);
}

TEST_F(soc_bus, AttachDrivesThePinsAndDetachReleasesThem) {
    EXPECT_EQ(board.gpio().outEnableValue() & (kCs | kClk | kDout | kDin), kCs | kClk | kDout);
    EXPECT_EQ(board.gpio().outValue() & (kCs | kClk | kDout), kCs);
    EXPECT_TRUE(board.window().enabled());
    EXPECT_EQ(sw->mode, TARN_SW_MODE_WINDOW);
    EXPECT_EQ(sw->window, 0xBA000000u);
    tarn_sw_detach(sw);
    sw = nullptr;
    EXPECT_EQ(board.gpio().outEnableValue() & (kCs | kClk | kDout), 0u);
}

TEST_F(soc_bus, PinRecordKeepsItsDefaultsWithoutNvramNames) {
    adm_pins_t *pins = adm_pins_attach(sbh);
    ASSERT_NE(pins, nullptr);
    EXPECT_EQ(pins->eecs, 4);
    EXPECT_EQ(pins->eesk, 8);
    EXPECT_EQ(pins->eedi, 16);
    adm_pins_detach(pins);
}

// The serial-pin record read from an NVRAM that holds the variables.
adm_pins_t *pins_with_nvram(sb_t *sbh,
                            std::initializer_list<std::pair<const char *, const char *>> vars) {
    const std::string flash =
        ::testing::TempDir() + "soc_bus_flash_" + std::to_string(getpid()) + ".bin";
    adm_pins_t *pins = nullptr;
    if (flash_host_open(flash.c_str(), 1) == 0 && flashInit() == 0 && nvram_init() == 0) {
        bool stored = true;
        for (const auto &[name, value] : vars)
            stored = stored && nvram_set(name, value) == 0;
        if (stored) pins = adm_pins_attach(sbh);
        nvram_host_close();
    }
    flash_host_close();
    std::remove(flash.c_str());
    return pins;
}

TEST_F(soc_bus, PinRecordTakesThePinsNvramNames) {
    // The first variable naming a pin wins.
    adm_pins_t *pins =
        pins_with_nvram(sbh, {{"gpio6", "adm_eesk"}, {"gpio2", "adm_eedi"}, {"gpio9", "adm_eedi"}});
    ASSERT_NE(pins, nullptr);
    EXPECT_EQ(pins->eecs, 4);
    EXPECT_EQ(pins->eesk, 1 << 6);
    EXPECT_EQ(pins->eedi, 1 << 2);
    adm_pins_detach(pins);
}

TEST_F(soc_bus, PinRecordHoldsPinsAboveTheEighth) {
    adm_pins_t *pins = pins_with_nvram(sbh, {{"gpio12", "adm_eecs"}, {"gpio15", "adm_eedi"}});
    ASSERT_NE(pins, nullptr);
    EXPECT_EQ(pins->eecs, 1 << 12);
    EXPECT_EQ(pins->eesk, 8);
    EXPECT_EQ(pins->eedi, 1 << 15);
    adm_pins_detach(pins);
}

TEST_F(soc_bus, EnumeratorReachesTheChipThroughTheRegisteredAccess) {
    tarn_bus_register();
    ASSERT_EQ(bde_init(), 0);
    const bde_ops *ops = bde_ops_get();
    ASSERT_NE(ops, nullptr);
    uint8_t value[2] = {0x05, 0x60};
    ASSERT_EQ(ops->switch_reg_write(0, 0x3440 + 2 * 7, value, 2), 0);  // DEFAULT_1Q_TAG[7]
    EXPECT_EQ(board.chip().peek("DEFAULT_1Q_TAG", 7), 0x6005u);
    uint8_t back[2] = {};
    ASSERT_EQ(ops->switch_reg_read(0, 0x3440 + 2 * 7, back, 2), 0);
    EXPECT_EQ(back[0] | back[1] << 8, 0x6005);
    board.serial().injectBusy(-1);
    EXPECT_EQ(ops->switch_reg_read(0, 0x3440, back, 2), -9);
    board.serial().injectBusy(0);
}

// A two-wire device on the pins: decodes start and stop conditions and the
// bytes the CPU clocks out, and answers read frames with preset bytes.
class TwoWireDevice {
  public:
    TwoWireDevice(sim::GpioBlock &gpio, std::vector<uint8_t> answer)
        : gpio_(gpio), answer_(std::move(answer)) {
        id_ =
            gpio_.addListener([this](uint32_t levels, uint32_t changed) { edge(levels, changed); });
        gpio_.drive(kDin, 0);
    }
    ~TwoWireDevice() {
        gpio_.removeListener(id_);
        gpio_.release(kDin);
    }

    // Bytes of each frame (from a start condition), acknowledge bits left out.
    std::vector<std::vector<uint8_t>> frames;
    int stops = 0;
    bool chip_select_dropped = false;

  private:
    void edge(uint32_t levels, uint32_t changed) {
        bool clk = levels & kClk;
        bool data = levels & kDout;
        if (!(levels & kCs)) chip_select_dropped = true;
        if ((changed & kDout) && !(changed & kClk) && clk) {
            if (!data) {
                frames.emplace_back();
                bits_ = 0;
                shift_ = 0;
            } else {
                stops++;
            }
            return;
        }
        if (!(changed & kClk) || frames.empty()) return;
        if (clk) {
            bits_++;
            if (bits_ % 9 != 0) {
                shift_ = static_cast<uint8_t>(shift_ << 1 | (data ? 1 : 0));
            } else {
                if (bits_ == 9 || !reading()) frames.back().push_back(shift_);
                shift_ = 0;
            }
            return;
        }
        // Falling edge: present the next answer bit of a read frame.
        bool bit = false;
        if (reading() && bits_ >= 9) {
            int pos = bits_ - 9;
            size_t byte = static_cast<size_t>(pos / 9);
            int k = pos % 9;
            if (k < 8 && byte < answer_.size()) bit = (answer_[byte] >> (7 - k)) & 1;
        }
        gpio_.drive(kDin, bit ? kDin : 0);
    }
    bool reading() const { return !frames.back().empty() && (frames.back()[0] & 1); }

    sim::GpioBlock &gpio_;
    std::vector<uint8_t> answer_;
    int id_ = 0;
    int bits_ = 0;
    uint8_t shift_ = 0;
};

std::vector<std::vector<uint8_t>> nonempty(const std::vector<std::vector<uint8_t>> &frames) {
    std::vector<std::vector<uint8_t>> out;
    for (const auto &f : frames) {
        if (!f.empty()) out.push_back(f);
    }
    return out;
}

TEST_F(soc_bus, TwoWireRegisterWriteAndReadFrames) {
    {
        TwoWireDevice dev(board.gpio(), {});
        const uint8_t data[2] = {0xa5, 0x3c};
        ASSERT_EQ(tarn_spi_reg_write(sw, 0x12, 0x34, data, 2), 0);
        EXPECT_EQ(nonempty(dev.frames),
                  (std::vector<std::vector<uint8_t>>{{0x64, 0x34, 0xa5, 0x3c}}));
        EXPECT_GE(dev.stops, 1);
        EXPECT_FALSE(dev.chip_select_dropped);
    }
    TwoWireDevice dev(board.gpio(), {0xc3, 0x81});
    uint8_t back[2] = {};
    ASSERT_EQ(tarn_spi_reg_read(sw, 0x92, 0x07, back, 2), 0);
    // (0x20 | page) << 1 keeps its low byte; the read address drops bit 7.
    EXPECT_EQ(nonempty(dev.frames), (std::vector<std::vector<uint8_t>>{{0x64, 0x07}, {0x65}}));
    EXPECT_EQ(back[0], 0xc3);
    EXPECT_EQ(back[1], 0x81);
    EXPECT_TRUE(board.anomalies().empty());
}

TEST_F(soc_bus, TwoWireByteAndStatusReads) {
    {
        TwoWireDevice dev(board.gpio(), {0x9e});
        uint8_t byte = 0;
        ASSERT_EQ(tarn_spi_byte_read(sw, 0x05, &byte), 0);
        EXPECT_EQ(nonempty(dev.frames), (std::vector<std::vector<uint8_t>>{{0x4b}}));
        EXPECT_EQ(byte, 0x9e);
    }
    {
        TwoWireDevice dev(board.gpio(), {0x4b});
        uint8_t status = 0xff;
        ASSERT_EQ(tarn_spi_status_read(sw, &status), 0);
        EXPECT_EQ(nonempty(dev.frames), (std::vector<std::vector<uint8_t>>{{0x19}}));
        EXPECT_EQ(status, 0x5);
    }
    TwoWireDevice dev(board.gpio(), {0x0a});
    uint8_t status = 0xff;
    ASSERT_EQ(tarn_spi_status_read(sw, &status), 0);
    EXPECT_EQ(status, 0);
}

}  // namespace
