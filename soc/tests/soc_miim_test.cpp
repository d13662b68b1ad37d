// PHY register access through the MIIM services and by name, the polling
// time-out, and the link-scan hooks.
#include <gtest/gtest.h>

#include <vector>

#include "chipdata/ids.h"
#include "drv_if.h"
#include "drv_miim.h"
#include "sal.h"
#include "soc.h"
#include "soc_miim.h"
#include "soc_phy_info.h"
#include "soc_property.h"
#include "unit_fixture.h"

namespace {

using soc_test::UnitTest;

// What the PHY layer's init maps: each valid port's default address, port + 1.
int map_default_addresses(int unit) {
    soc_control_t *s = SOC_CONTROL(unit);
    soc_phy_addr_map_clear(s);
    for (int port = 0; port <= s->all.max; port++) {
        if (soc_pbmp_member(s->all.bitmap, port))
            s->phyaddr_to_port[port + 1] = static_cast<int16_t>(port);
    }
    return 0;
}

class soc_miim : public UnitTest {
  protected:
    void mapDefaultAddresses() { ASSERT_EQ(map_default_addresses(0), 0); }
    void TearDown() override {
        soc_phy_layer_register(nullptr);
        if (unit0() != nullptr) {
            for (void *&info : unit0()->phy_info)
                info = nullptr;
        }
        UnitTest::TearDown();
    }
    std::vector<sim::BusAccess> log() { return board->accessLog().entries(); }
};

TEST_F(soc_miim, Dxp7102Port3Register2IsAddress0x1304) {
    start(sim::ChipKind::DXP7102A1);
    mapDefaultAddresses();
    EXPECT_EQ(drv_miim_addr(0, 4, 2), 0x1304u);
    board->accessLog().enable(true);
    uint16_t id0 = 0;
    ASSERT_EQ(DRV_SERVICES(0)->miim_read(0, 4, 2, &id0), 0);
    EXPECT_EQ(id0, phy_id0(PHY_OUI_KEY_B));
    ASSERT_EQ(log().size(), 1u);
    EXPECT_EQ(log()[0].page, 0x13);
    EXPECT_EQ(log()[0].offset, 0x04);
    EXPECT_EQ(log()[0].length, 2);
}

TEST_F(soc_miim, BringUpMapsEachPortsDefaultPhyAddress) {
    for (sim::ChipKind chip : {sim::ChipKind::DXP7102A0, sim::ChipKind::DXP7102A1,
                               sim::ChipKind::DXP7106, sim::ChipKind::DXP7101}) {
        start(chip);
        uint16_t v = 0x5a5a;
        board->accessLog().enable(true);
        // Attached only: no address belongs to a port yet.
        EXPECT_EQ(soc_miim_read(0, 1, 2, &v), -14);
        EXPECT_TRUE(log().empty());
        soc_phy_layer_register(map_default_addresses);
        ASSERT_EQ(soc_reset_init(0), 0);
        // The L2 shadow thread that init starts scans the table over the
        // same bus; on a busy host its scan lands inside the log below.
        ASSERT_EQ(soc_arl_mode_set(0, 0), 0);
        const int fe = unit0()->fe.max;
        board->chip().phyPoke(fe, 4, 0x01e1);
        board->accessLog().clear();
        for (int addr : {0, unit0()->all.max + 2, 63}) {
            SCOPED_TRACE(addr);
            EXPECT_EQ(soc_miim_read(0, addr, 2, &v), -14);
            EXPECT_EQ(soc_miim_write(0, addr, 0, 0x8000), -14);
        }
        EXPECT_TRUE(log().empty());
        EXPECT_EQ(v, 0x5a5a);
        ASSERT_EQ(soc_miim_read(0, fe + 1, 4, &v), 0);
        EXPECT_EQ(v, 0x01e1);
    }
}

TEST_F(soc_miim, UnitsWithoutARecordAreRefused) {
    start(sim::ChipKind::DXP7102A1, sim::BusMode::Direct, false);
    uint16_t v = 0;
    EXPECT_EQ(soc_miim_read(0, 1, 2, &v), -3);
    EXPECT_EQ(soc_miim_write(0, 1, 0, 0), -3);
    EXPECT_EQ(soc_miim_read(-1, 1, 2, &v), -3);
}

TEST_F(soc_miim, PagesOfEachModel) {
    start(sim::ChipKind::DXP7101);
    mapDefaultAddresses();
    EXPECT_EQ(drv_miim_addr(0, 1 + 5, 0) >> 8, 0xc0u + 5);
    EXPECT_EQ(drv_miim_addr(0, 1 + 30, 0) >> 8, 0x88u + 30);
    EXPECT_EQ(drv_miim_addr(0, 1 + 50, 1), (0xa8u + 50) << 8 | 2);
    // A port of the internal SERDES: the page after the CPU port's.
    soc_phy_info_t serdes{};
    serdes.phy_flags = PHY_FLAGS_SERDES | PHY_FLAGS_FIBER;
    unit0()->phy_info[50] = &serdes;
    EXPECT_EQ(drv_miim_addr(0, 1 + 50, 15), 0xba1eu);
    uint16_t ext = 0;
    ASSERT_EQ(drv_miim_read(0, 1 + 50, 15, &ext), 0);
    EXPECT_EQ(ext, 0x8000);          // 1000BASE-X
    unit0()->phy_info[5] = &serdes;  // not a gigabit port: no page
    EXPECT_EQ(drv_miim_addr(0, 1 + 5, 0), DRV_MIIM_ADDR_INVALID);
    EXPECT_TRUE(board->anomalies().empty());
}

TEST_F(soc_miim, AddressesWithoutAPageAreRefusedWithoutBusAccess) {
    start(sim::ChipKind::DXP7106);
    mapDefaultAddresses();
    unit0()->phyaddr_to_port[40] = 30;  // no port 30 on this chip
    board->accessLog().enable(true);
    EXPECT_EQ(drv_miim_write(0, 40, 0, 0x8000), -14);
    uint16_t v = 0x1234;
    EXPECT_EQ(drv_miim_read(0, 40, 0, &v), -14);
    EXPECT_EQ(drv_miim_read(0, 63, 0, &v), -14);  // no port at all
    EXPECT_EQ(v, 0x1234);
    EXPECT_TRUE(log().empty());
    EXPECT_EQ(drv_miim_addr(0, 1 + 26, 3), (0xc0u + 26) << 8 | 6);
    EXPECT_EQ(drv_miim_addr(0, 1 + 23, 0), (0xa0u + 23) << 8);
}

TEST_F(soc_miim, ByNameThroughTheServiceTable) {
    start(sim::ChipKind::DXP7101);
    mapDefaultAddresses();
    ASSERT_EQ(soc_miim_write(0, 1 + 9, 4, 0x0061), 0);
    EXPECT_EQ(board->chip().phyPeek(9, 4), 0x0061);
    uint16_t v = 0;
    ASSERT_EQ(soc_miim_read(0, 0x100 + 1 + 9, 0x104, &v), 0);  // address and register cut to 8 bits
    EXPECT_EQ(v, 0x0061);
    // Modify writes only when the value changes.
    board->accessLog().enable(true);
    ASSERT_EQ(soc_miim_modify(0, 1 + 9, 4, 0x0041, 0x0041), 0);
    EXPECT_EQ(board->accessLog().count(sim::BusOp::Write), 0u);
    ASSERT_EQ(soc_miim_modify(0, 1 + 9, 4, 0x0100, 0x0140), 0);
    EXPECT_EQ(board->chip().phyPeek(9, 4), 0x0121);
    EXPECT_EQ(board->accessLog().count(sim::BusOp::Write), 1u);
}

TEST_F(soc_miim, BusTimeOutsReachTheCaller) {
    start(sim::ChipKind::DXP7102A1, sim::BusMode::Pins);
    mapDefaultAddresses();
    board->serial().injectBusy(-1);
    uint16_t v = 0x5a5a;
    EXPECT_EQ(drv_miim_read(0, 1, 2, &v), -9);
    EXPECT_EQ(v, 0x5a5a);
    EXPECT_EQ(drv_miim_write(0, 1, 4, 0x01e1), -9);
    board->serial().injectBusy(0);
    ASSERT_EQ(drv_miim_read(0, 1, 2, &v), 0);
    EXPECT_EQ(v, phy_id0(PHY_OUI_KEY_B));
}

TEST_F(soc_miim, Clause45NeedsTheFeature) {
    start(sim::ChipKind::DXP7101);
    uint16_t v = 0x77;
    EXPECT_EQ(soc_miimc45_read(0, 1, 1, 2, &v), -16);
    EXPECT_EQ(v, 0x77);
    EXPECT_EQ(soc_miimc45_write(0, 1, 1, 2, 0), -16);
    unit0()->features[soc_feature_phy_cl45 / 32] |= 1u << (soc_feature_phy_cl45 % 32);
    EXPECT_EQ(soc_miimc45_read(0, 1, 1, 2, &v), 0);
    EXPECT_EQ(soc_miimc45_write(0, 1, 1, 2, 0), 0);
}

TEST_F(soc_miim, UnavailableVlanSlotsTouchNothing) {
    start(sim::ChipKind::DXP7102A1);
    board->accessLog().enable(true);
    const drv_if_t *t = DRV_SERVICES(0);
    uint32_t v = 0;
    EXPECT_EQ(t->vlan_prop_port_enable_set(0, 1, soc_pbmp_t{{1, 0}}, 1), -16);
    EXPECT_EQ(t->vlan_prop_port_enable_get(0, 1, 2, &v), -16);
    EXPECT_EQ(t->vlan_unavail36(0), -16);
    EXPECT_EQ(t->vlan_unavail37(0), -16);
    EXPECT_EQ(t->vlan_vt_add(0, 1, 2, 3, 4, 5, 6), -16);
    EXPECT_EQ(t->vlan_vt_delete(0, 1, 2, 3), -16);
    EXPECT_EQ(t->vlan_vt_delete_all(0, 1), -16);
    EXPECT_TRUE(log().empty());
}

void handler_a(int, soc_pbmp_t *) {}
void handler_b(int, soc_pbmp_t *) {}

TEST_F(soc_miim, OneLinkscanHandlerAtATime) {
    start(sim::ChipKind::DXP7106);
    ASSERT_EQ(soc_linkscan_handler_register(0, handler_a), 0);
    EXPECT_EQ(soc_linkscan_handler_register(0, handler_b), -8);
    EXPECT_EQ(unit0()->link_handler, handler_a);
    EXPECT_EQ(soc_linkscan_handler_register(0, nullptr), 0);
    EXPECT_EQ(soc_linkscan_handler_register(0, nullptr), 0);
    EXPECT_EQ(soc_linkscan_handler_register(0, handler_b), 0);
    soc_pbmp_t linked{{0x5, 0x1}};
    ASSERT_EQ(soc_link_fwd_set(0, linked), 0);
    EXPECT_EQ(unit0()->link_fwd.w[0], 0x5u);
    EXPECT_EQ(unit0()->link_fwd.w[1], 0x1u);
    EXPECT_EQ(soc_linkscan_hw_config(0, linked), 0);
}

TEST(soc_timeout, FastPollsUpToTheMinimumThenTheDeadline) {
    soc_timeout_t to;
    soc_timeout_init(&to, 1000000, 5);
    // The count starts at 1: three checks poll without the clock, the fourth arms.
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(soc_timeout_check(&to), 0);
    EXPECT_EQ(to.min_polls, 5);
    EXPECT_EQ(soc_timeout_check(&to), 0);
    EXPECT_EQ(to.min_polls, -1);
    EXPECT_EQ(to.exp_delay, 1);
    EXPECT_GE(soc_timeout_elapsed(&to), 0);
    EXPECT_LT(soc_timeout_elapsed(&to), 1000000);
}

TEST(soc_timeout, BackOffNeverExceedsATenthOfTheTimeOut) {
    const int usec = 60000;
    soc_timeout_t to;
    soc_timeout_init(&to, usec, 0);
    EXPECT_EQ(soc_timeout_check(&to), 0);  // arms at once
    std::vector<int> delays;
    int checks = 0;
    while (soc_timeout_check(&to) == 0 && checks++ < 1000)
        delays.push_back(to.exp_delay);
    ASSERT_LT(checks, 1000);
    ASSERT_FALSE(delays.empty());
    EXPECT_EQ(delays[0], 2);
    for (size_t i = 1; i < delays.size(); i++) {
        EXPECT_LE(delays[i], usec / 10);
        EXPECT_GE(delays[i], delays[i - 1]);
    }
}

}  // namespace
