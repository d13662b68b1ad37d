// A unit over the chip model whose ports attach through the PHY layer's
// drivers, chosen by the probe from each port's PHY.
#pragma once

#include <gtest/gtest.h>

#include "../../soc/tests/unit_fixture.h"
#include "drv_port.h"
#include "phy.h"
#include "soc.h"
#include "soc_counter.h"
#include "soc_error.h"
#include "soc_miim.h"

namespace port_test {

namespace c22 {

constexpr uint32_t kCtl = 0, kSts = 1, kId0 = 2, kAdv = 4, kPartner = 5;
constexpr uint16_t kReset = 0x8000, kLoop = 0x4000, kSpeed100 = 0x2000, kAneg = 0x1000,
                   kPowerDown = 0x0800, kRestart = 0x0200, kFull = 0x0100, kSpeed1000 = 0x0040;
constexpr uint16_t kLink = 0x0004, kAnegDone = 0x0020;

}  // namespace c22

// Port attach probes each port's PHY through the PHY layer, as the program
// wires it at start-up.
inline void phy_hooks_register() {
    static const drv_port_neighbours_t neighbours = {
        .phy_probe = soc_phy_probe,
        .phy_reset_register = phy_common_reset_register,
        .errmsg = nullptr,
        .phy_failed = &phy_noconn,
    };
    drv_port_neighbours_register(&neighbours);
}

// Unwires the PHY layer and forgets the port and PHY records.
inline void phy_hooks_forget() {
    drv_port_neighbours_register(nullptr);
    soc_phy_layer_register(nullptr);
    drv_port_info_host_forget();
    phy_host_forget();
}

inline std::string chip_name(const ::testing::TestParamInfo<sim::ChipKind> &info) {
    return sim::ChipProfile::get(info.param).name;
}

class PortUnitTest : public soc_test::UnitTest {
  protected:
    void startPorts(sim::ChipKind chip) {
        drv_port_info_host_forget();
        start(chip);
        // A unit init (soc_init) sets up the PHY records again, as at start-up.
        soc_phy_layer_register(soc_phy_init);
        ASSERT_EQ(phy_unit_init(0), 0);
        phy_hooks_register();
    }
    void TearDown() override {
        // A unit init starts the counter thread, which reads the port tables
        // that go next.
        if (SOC_UNIT_VALID(0)) soc_tarn_counter_stop(0);
        phy_hooks_forget();
        soc_test::UnitTest::TearDown();
    }
    void attach(int port) {
        int ok = 0;
        ASSERT_EQ(drv_port_attach(0, port, &ok), 0) << "port " << port;
        ASSERT_EQ(ok, 1);
    }
    static soc_pbmp_t ports(std::initializer_list<int> list) {
        soc_pbmp_t b{};
        for (int p : list)
            soc_pbmp_port_add(&b, p);
        return b;
    }
    // What a property or status read answers, which must succeed.
    uint32_t get(int port, uint32_t type, bool status = false) {
        uint32_t v = 0xdead;
        EXPECT_EQ(status ? drv_port_status_get(0, port, type, &v) : drv_port_get(0, port, type, &v),
                  0)
            << "type " << type;
        return v;
    }
    uint16_t phyReg(int port, int reg) { return board->chip().phyPeek(port, reg); }
    uint64_t reg(const char *name, int index = 0) { return board->chip().peek(name, index); }
};

}  // namespace port_test
