// A unit over the chip model whose ports attach through a test PHY driver:
// clause-22 registers of the port's PHY (address port + 1) reached with
// soc_miim_read / soc_miim_write. Fast-Ethernet PHYs refuse a lone pause
// bit in the advertisement, as the real ones do.
#pragma once

#include <gtest/gtest.h>

#include "../../soc/tests/unit_fixture.h"
#include "drv_port.h"
#include "soc_error.h"
#include "soc_miim.h"

namespace port_test {

namespace c22 {

constexpr uint32_t kCtl = 0, kSts = 1, kId0 = 2, kAdv = 4, kPartner = 5;
constexpr uint16_t kReset = 0x8000, kLoop = 0x4000, kSpeed100 = 0x2000, kAneg = 0x1000,
                   kPowerDown = 0x0800, kRestart = 0x0200, kFull = 0x0100, kSpeed1000 = 0x0040;
constexpr uint16_t kLink = 0x0004, kAnegDone = 0x0020;

inline uint32_t addr(int port) {
    return static_cast<uint32_t>(port + 1);
}
inline int rd(int unit, int port, uint32_t reg, uint16_t *v) {
    return soc_miim_read(unit, addr(port), reg, v);
}
inline int bits(int unit, int port, uint32_t reg, uint16_t mask, bool on) {
    return soc_miim_modify(unit, addr(port), reg, on ? mask : 0, mask);
}
inline int test(int unit, int port, uint32_t reg, uint16_t mask, int *on) {
    uint16_t v = 0;
    int rv = rd(unit, port, reg, &v);
    *on = (v & mask) != 0;
    return rv;
}

// Advertisement register bits against the ability word.
constexpr uint16_t kAdvBits[] = {0x20, 0x40, 0x80, 0x100};
inline uint16_t adv_reg(uint32_t ability) {
    uint16_t r = 0;
    for (int i = 0; i < 4; i++)
        r |= (ability >> i) & 1u ? kAdvBits[i] : 0;
    return static_cast<uint16_t>(r | ((ability & DRV_PA_PAUSE_TX) ? 0x400 : 0));
}
inline uint32_t adv_ability(uint16_t r) {
    uint32_t a = 0;
    for (int i = 0; i < 4; i++)
        a |= (r & kAdvBits[i]) ? 1u << i : 0;
    return a | ((r & 0x400) ? DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX : 0);
}

inline const phy_driver_t &driver() {
    static const phy_driver_t d = [] {
        phy_driver_t x{};
        x.drv_name = "test clause-22 PHY";
        x.init = [](int, int) { return 0; };
        x.reset = [](int u, int p, void *) { return soc_miim_write(u, addr(p), kCtl, kReset); };
        x.link_get = [](int u, int p, int *up) {
            uint16_t v = 0;
            rd(u, p, kSts, &v);  // clears a latched link failure
            return test(u, p, kSts, kLink, up);
        };
        x.enable_set = [](int u, int p, int on) { return bits(u, p, kCtl, kPowerDown, !on); };
        x.enable_get = [](int u, int p, int *on) {
            int rv = test(u, p, kCtl, kPowerDown, on);
            *on = !*on;
            return rv;
        };
        x.duplex_set = [](int u, int p, int full) { return bits(u, p, kCtl, kFull, full); };
        x.duplex_get = [](int u, int p, int *full) { return test(u, p, kCtl, kFull, full); };
        x.speed_set = [](int u, int p, int mbps) {
            uint16_t v = mbps == 1000 ? kSpeed1000 : mbps == 100 ? kSpeed100 : 0;
            return soc_miim_modify(u, addr(p), kCtl, v, kSpeed1000 | kSpeed100);
        };
        x.speed_get = [](int u, int p, int *mbps) {
            uint16_t v = 0;
            int rv = rd(u, p, kCtl, &v);
            *mbps = (v & kSpeed1000) ? 1000 : (v & kSpeed100) ? 100 : 10;
            return rv;
        };
        x.autoneg_set = [](int u, int p, int on) {
            return soc_miim_modify(u, addr(p), kCtl, on ? kAneg | kRestart : 0, kAneg | kRestart);
        };
        x.autoneg_get = [](int u, int p, int *on, int *done) {
            int rv = test(u, p, kCtl, kAneg, on);
            return rv < 0 ? rv : test(u, p, kSts, kAnegDone, done);
        };
        x.adv_local_set = [](int u, int p, uint32_t a) {
            uint32_t pause = a & (DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX);
            if (pause != 0 && pause != (DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX))
                return static_cast<int>(SOC_E_UNAVAIL);
            return soc_miim_write(u, addr(p), kAdv, static_cast<uint16_t>(adv_reg(a) | 1));
        };
        x.adv_local_get = [](int u, int p, uint32_t *a) {
            uint16_t v = 0;
            int rv = rd(u, p, kAdv, &v);
            *a = adv_ability(v);
            return rv;
        };
        x.adv_remote_get = [](int u, int p, uint32_t *a) {
            uint16_t v = 0;
            int rv = rd(u, p, kPartner, &v);
            *a = adv_ability(v);
            return rv;
        };
        x.loopback_set = [](int u, int p, int on) { return bits(u, p, kCtl, kLoop, on); };
        x.loopback_get = [](int u, int p, int *on) { return test(u, p, kCtl, kLoop, on); };
        x.ability_get = [](int, int, uint32_t *a) {
            *a = 0x0f | DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX | 0x300000;
            return 0;
        };
        x.medium_get = [](int, int, int *m) {
            *m = static_cast<int>(DRV_PORT_MEDIUM_COPPER);
            return 0;
        };
        return x;
    }();
    return d;
}

}  // namespace c22

// Every port whose PHY answers its identifier gets the test driver.
inline int probe(int unit, int port, const phy_driver_t **d) {
    uint16_t id0 = 0xffff;
    if (int rv = c22::rd(unit, port, c22::kId0, &id0); rv < 0) return rv;
    if (id0 == 0xffff) return SOC_E_NOT_FOUND;
    *d = &c22::driver();
    return 0;
}

inline std::string chip_name(const ::testing::TestParamInfo<sim::ChipKind> &info) {
    return sim::ChipProfile::get(info.param).name;
}

class PortUnitTest : public soc_test::UnitTest {
  protected:
    void startPorts(sim::ChipKind chip) {
        drv_port_info_host_forget();
        start(chip);
        ASSERT_EQ(soc_phy_init(0), 0);
        static const drv_port_neighbours_t neighbours = {probe, nullptr, nullptr};
        drv_port_neighbours_register(&neighbours);
    }
    void TearDown() override {
        drv_port_neighbours_register(nullptr);
        drv_port_info_host_forget();
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
