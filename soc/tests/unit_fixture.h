// A simulated board with its switch brought up as unit 0 through the
// start-up glue, and the device manager's prints captured.
#pragma once

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "bde.h"
#include "drv_reg.h"
#include "board_host.h"
#include "sal_config.h"
#include "sim/board.h"
#include "sim/host_binding.h"
#include "soc.h"
#include "soc_pktio.h"
#include "soc_sysconf.h"
#include "tarn_bus.h"

namespace soc_test {

// What the device manager printed with mask 0 (its soc_cm_print lines).
class PrintCapture {
  public:
    static PrintCapture &get() {
        static PrintCapture capture;
        return capture;
    }
    std::string text() {
        std::lock_guard<std::mutex> g(lock_);
        return text_;
    }
    void clear() {
        std::lock_guard<std::mutex> g(lock_);
        text_.clear();
    }
    static int print(uint32_t mask, const char *format, va_list args) {
        if (mask != 0) return 0;
        char buf[512];
        int n = std::vsnprintf(buf, sizeof buf, format, args);
        std::lock_guard<std::mutex> g(get().lock_);
        get().text_ += buf;
        return n;
    }

  private:
    std::mutex lock_;
    std::string text_;
};

inline sim::BoardConfig board_for(sim::ChipKind chip, sim::BusMode bus = sim::BusMode::Direct) {
    sim::BoardConfig config;
    switch (chip) {
        case sim::ChipKind::DXP7101:
            config = sim::BoardConfig::preset(sim::BoardKind::RW3090);
            break;
        case sim::ChipKind::DXP7106:
            config = sim::BoardConfig::preset(sim::BoardKind::RW3070);
            break;
        default:
            config = sim::BoardConfig::preset(sim::BoardKind::DXP97102R24GM);
            config.chip = chip;
            config.revision = sim::ChipProfile::get(chip).revision;
            break;
    }
    config.bus = bus;
    // Tests add further devices as units 1 and up.
    config.cpu_mac = false;
    return config;
}

// Forgets every unit, device and configuration variable a test made.
inline void forget_everything() {
    soc_host_forget_units();
    sysconf_host_forget();
    board_host_forget_devices();
    bde_switch_access_register(nullptr);
    sim::unbindHost();
    const char *name = nullptr;
    const char *value = nullptr;
    while (sal_config_get_next(nullptr, &name, &value) == 0)
        sal_config_set(name, nullptr);
}

// Binds a board of the chip, probes it and, unless told otherwise, attaches
// unit 0.
class UnitTest : public ::testing::Test {
  protected:
    void start(sim::ChipKind chip, sim::BusMode bus = sim::BusMode::Direct, bool attach = true) {
        forget_everything();
        board = std::make_unique<sim::Board>(board_for(chip, bus));
        sim::bindHost(*board);
        if (bus == sim::BusMode::Pins) tarn_bus_register();
        static const soc_cm_init_t vectors = {PrintCapture::print, nullptr, nullptr};
        ASSERT_EQ(soc_cm_init(&vectors), 0);
        PrintCapture::get().clear();
        ASSERT_EQ(sysconf_probe(), 0);
        if (attach) {
            ASSERT_EQ(sysconf_attach(0), 0);
        }
    }
    // The model must have seen nothing real hardware would refuse, except
    // what a test allows because the behaviour it checks makes it happen.
    void TearDown() override {
        forget_everything();
        if (board) {
            for (const sim::Anomaly &a : allowed_anomalies.unexpected(board->anomalies()))
                ADD_FAILURE() << "chip model anomaly: " << a.text;
        }
        board.reset();
    }
    // A further device whose registers are unit 0's chip and whose interrupt
    // is always there.
    static soc_cm_dev_vectors_t borrowed_vectors() {
        soc_cm_dev_vectors_t v = soc_cm_dev(0)->vectors;
        v.init = 0;
        v.interrupt_connect = [](soc_cm_dev_t *, soc_cm_isr_t, void *) { return 0; };
        v.interrupt_disconnect = [](soc_cm_dev_t *) { return 0; };
        v.switch_reg_read = [](soc_cm_dev_t *, uint32_t addr, uint8_t *buf, int len) {
            return soc_cm_bus_reg_read(0, addr, buf, len);
        };
        v.switch_reg_write = [](soc_cm_dev_t *, uint32_t addr, uint8_t *buf, int len) {
            return soc_cm_bus_reg_write(0, addr, buf, len);
        };
        return v;
    }
    int add_device(uint16_t dev_id, uint8_t rev_id) {
        int dev = soc_cm_device_create(dev_id, rev_id, nullptr);
        if (dev < 0) return dev;
        soc_cm_dev_vectors_t v = borrowed_vectors();
        int rv = soc_cm_device_init(dev, &v);
        return rv < 0 ? rv : dev;
    }
    soc_control_t *unit0() { return SOC_CONTROL(0); }
    std::string printed() { return PrintCapture::get().text(); }

    std::unique_ptr<sim::Board> board;
    sim::AnomalyAllowList allowed_anomalies;
};

}  // namespace soc_test
