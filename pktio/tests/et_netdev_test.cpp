// The network device eth0 on the board's second MAC, found on the fake PCI
// bus, between the in-memory stack and the MAC model.
#include "et_netdev.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "flash.h"
#include "nvram.h"
#include "pkt.h"
#include "sal.h"
#include "pktio_fixture.h"
#include "../../platform/tests/private_workdir.h"
#include "sim/board.h"
#include "sim/host_binding.h"
#include "storage_host.h"

namespace {

using Frame = std::vector<uint8_t>;
using pktio_test::eventually;

Frame test_frame(uint8_t fill, size_t len = 60) {
    Frame f(len, fill);
    const uint8_t head[12] = {0x00, 0x1d, 0x7a, 0x62, 0x01, 0x01, 0x02, 0, 0, 0, 0, 0x09};
    std::memcpy(f.data(), head, sizeof head);
    return f;
}

class EthZeroTest : public ::testing::Test {
  protected:
    void SetUp() override { SetUpWith(true); }

    void SetUpWith(bool with_mac) {
        pktio_test::forget_everything();
        eth_drv_host_reset();
        if (flash_host_path()[0] == '\0') {
            ASSERT_EQ(flash_host_open("var/flash.bin", 1), 0);
            flashInit();
        }
        ASSERT_EQ(nvram_init(), 0);
        for (const char *name : {"et0phyaddr", "boardtype", "boardflags"})
            nvram_unset(name);
        sim::BoardConfig config = sim::BoardConfig::preset(sim::BoardKind::RW3090);
        config.bus = sim::BusMode::Direct;
        config.eth0_mac = with_mac;
        board = std::make_unique<sim::Board>(config);
        sim::bindHost(*board);
        board->eth0Mac().setTransmitSink([this](Frame f) {
            std::lock_guard<std::mutex> g(lock);
            wire.push_back(std::move(f));
        });
    }

    void TearDown() override {
        et_netdev_release();
        eth_drv_host_reset();
        sim::unbindHost();
    }

    size_t on_wire() {
        std::lock_guard<std::mutex> g(lock);
        return wire.size();
    }

    // The network thread updates the counters under the interrupt lock.
    static uint32_t counter(uint32_t etc_info_t::*field) {
        int level = sal_splhi();
        uint32_t n = et_netdev_etc()->*field;
        sal_spl(level);
        return n;
    }
    static uint32_t rxframes() { return counter(&etc_info_t::rxframe); }

    std::vector<std::pair<unsigned long, int>> completions() {
        std::vector<std::pair<unsigned long, int>> out;
        unsigned long key;
        int status;
        while (eth_drv_host_tx_done_take(&et0_sc, &key, &status) == 0)
            out.emplace_back(key, status);
        return out;
    }

    std::unique_ptr<sim::Board> board;
    std::mutex lock;
    std::vector<Frame> wire;
};

TEST_F(EthZeroTest, AttachesToThePciMacAndPassesFramesBothWays) {
    ASSERT_TRUE(et_netdev_init(&et0_sc));
    const uint8_t mac[6] = {0x00, 0x1d, 0x7a, 0x62, 0x01, 0x01};
    EXPECT_EQ(std::memcmp(et0_sc.enaddr, mac, 6), 0);
    EXPECT_EQ(et0_sc.funs->int_vector(&et0_sc), 2);
    EXPECT_EQ(sim_pci_conf_read(SIM_ETH0_DEV, 4) & 0x7, 2u);  // memory space only
    et0_sc.funs->start(&et0_sc, et0_sc.enaddr, 0);

    Frame out = test_frame(0xA5);
    ASSERT_EQ(eth_drv_host_send(&et0_sc, out.data(), out.size(), 77), 0);
    ASSERT_TRUE(eventually([&] { return on_wire() == 1; }));
    {
        std::lock_guard<std::mutex> g(lock);
        EXPECT_EQ(wire[0], out);
    }
    EXPECT_EQ(completions(), (std::vector<std::pair<unsigned long, int>>{{77, ETH_DRV_TX_OK}}));
    // The switch MAC saw nothing: eth0 carries no switch traffic.
    EXPECT_EQ(board->mac().peek(0x20), 0u);

    Frame in = test_frame(0x3C, 64);
    board->eth0Mac().receiveFromSwitch(in);
    ASSERT_TRUE(eventually([&] { return eth_drv_host_pending(&et0_sc) == 1; }));
    uint8_t got[128];
    ASSERT_EQ(eth_drv_host_receive(&et0_sc, got, sizeof got), 60);  // FCS dropped
    EXPECT_EQ(std::memcmp(got, in.data(), 60), 0);
    EXPECT_EQ(rxframes(), 1u);

    // Receive flag errors: counted, never handed up.
    board->eth0Mac().rxFlags(0x2);
    board->eth0Mac().receiveFromSwitch(in);
    ASSERT_TRUE(eventually([&] { return rxframes() == 2; }));
    EXPECT_EQ(eth_drv_host_pending(&et0_sc), 0);
}

TEST_F(EthZeroTest, ReceiveOverflowReinitialisesAndReceivingGoesOn) {
    ASSERT_TRUE(et_netdev_init(&et0_sc));
    uint32_t resets = et_netdev_etc()->reset;
    // Down: the line is not ours, nothing is taken.
    board->eth0Mac().receiveFromSwitch(test_frame(7, 64));
    et0_sc.funs->start(&et0_sc, et0_sc.enaddr, 0);
    board->eth0Mac().rxFifoOverflow();
    ASSERT_TRUE(eventually([&] { return counter(&etc_info_t::rxoflo) == 1; }));
    EXPECT_GT(counter(&etc_info_t::reset), resets + 1);
    board->eth0Mac().receiveFromSwitch(test_frame(8, 64));
    ASSERT_TRUE(eventually([&] { return eth_drv_host_pending(&et0_sc) == 1; }));
}

TEST_F(EthZeroTest, KeyRingWrapsAndEveryKeyComesBack) {
    ASSERT_TRUE(et_netdev_init(&et0_sc));
    et0_sc.funs->start(&et0_sc, et0_sc.enaddr, 0);
    Frame out = test_frame(1);
    for (unsigned long key = 1; key <= ET_NKEYS + 5; key++) {
        ASSERT_EQ(eth_drv_host_send(&et0_sc, out.data(), out.size(), key), 0);
        ASSERT_TRUE(eventually([&] { return on_wire() == key; }));
    }
    unsigned long expect = ET_NKEYS + 5 - ETH_DRV_HOST_QUEUE + 1;
    for (auto [key, status] : completions()) {
        EXPECT_EQ(key, expect++);
        EXPECT_EQ(status, ETH_DRV_TX_OK);
    }
    EXPECT_EQ(eth_drv_host_tx_done(&et0_sc), ET_NKEYS + 5u);
}

TEST_F(EthZeroTest, RefusedFramesStillReturnTheirKey) {
    ASSERT_TRUE(et_netdev_init(&et0_sc));
    etc_info_t *etc = et_netdev_etc();
    // Down: nothing drains, so the queue fills.
    Frame out = test_frame(2);
    for (int i = 0; i < ET_TXQ_MAX; i++)
        eth_drv_host_send(&et0_sc, out.data(), out.size(), 100 + i);
    EXPECT_EQ(etc->txnobuf, 0u);
    completions();
    eth_drv_host_send(&et0_sc, out.data(), out.size(), 999);
    EXPECT_EQ(etc->txnobuf, 1u);
    EXPECT_EQ(etc->txerror, 1u);
    EXPECT_EQ(completions(),
              (std::vector<std::pair<unsigned long, int>>{{999, ETH_DRV_TX_FAILED}}));

    // Larger than a packet buffer: refused the same way.
    Frame big(PKT_DATA_MAX + 1, 0);
    eth_drv_sg sg{reinterpret_cast<uintptr_t>(big.data()), static_cast<uint32_t>(big.size())};
    et0_sc.funs->send(&et0_sc, &sg, 1, static_cast<int>(big.size()), 1000);
    EXPECT_EQ(completions(),
              (std::vector<std::pair<unsigned long, int>>{{1000, ETH_DRV_TX_FAILED}}));
}

TEST_F(EthZeroTest, ControlKeys) {
    ASSERT_TRUE(et_netdev_init(&et0_sc));
    etc_info_t *etc = et_netdev_etc();
    auto control = [](unsigned long key, void *data, int len) {
        return et0_sc.funs->control(&et0_sc, key, data, len);
    };
    uint8_t addr[6] = {0x00, 0x1d, 0x7a, 0x00, 0x00, 0x42};
    EXPECT_EQ(control(ETH_DRV_SET_MAC_ADDRESS, addr, 5), -2);
    EXPECT_EQ(control(ETH_DRV_SET_MAC_ADDRESS, addr, 6), 0);
    EXPECT_EQ(std::memcmp(etc->cur_etheraddr, addr, 6), 0);
    et0_sc.funs->start(&et0_sc, et0_sc.enaddr, 0);
    uint8_t other[6] = {0x00, 0x1d, 0x7a, 0x00, 0x00, 0x43};
    EXPECT_EQ(control(ETH_DRV_SET_MAC_ADDRESS, other, 6), 1);
    EXPECT_EQ(std::memcmp(etc->cur_etheraddr, addr, 6), 0);

    eth_drv_mc_list list{.len = 2, .addrs = {{0x01, 0, 0x5e, 0, 0, 1}, {0x01, 0, 0x5e, 0, 0, 2}}};
    EXPECT_EQ(control(ETH_DRV_SET_MC_LIST, &list, sizeof list), 0);
    EXPECT_EQ(etc->nmulticast, 2);
    EXPECT_EQ(board->eth0Mac().camEntry(2)[5], 2);

    // Statistics requests are not multicast lists.
    uint8_t stats[64] = {};
    EXPECT_EQ(control(ETH_DRV_GET_IF_STATS, stats, sizeof stats), ETH_DRV_UNSUPPORTED);
    EXPECT_EQ(control(ETH_DRV_GET_IF_STATS_UD, stats, sizeof stats), ETH_DRV_UNSUPPORTED);
    EXPECT_EQ(etc->nmulticast, 2);

    EXPECT_EQ(control(ETH_DRV_SET_MC_ALL, nullptr, 0), 0);
    EXPECT_EQ(etc->allmulti, 1);
    EXPECT_EQ(etc->nmulticast, 0);
    int on = 1;
    EXPECT_EQ(control(ETH_DRV_SET_PROMISC, &on, sizeof on), 0);
    EXPECT_EQ(etc->promisc, 1);
    EXPECT_EQ(control(0x999, nullptr, 0), 0);
}

TEST_F(EthZeroTest, BoardsWithThePhyResetLinePulseIt) {
    nvram_set("boardtype", "0x41b");
    nvram_set("boardflags", "0x80");
    std::vector<uint32_t> levels;
    int id = board->gpio().addListener([&](uint32_t now, uint32_t moved) {
        if (moved & 0x44) levels.push_back(now & 0x44);
    });
    bool ok = et_netdev_init(&et0_sc);
    board->gpio().removeListener(id);
    ASSERT_TRUE(ok);
    ASSERT_FALSE(levels.empty());
    EXPECT_EQ(levels.front(), 0u);
    EXPECT_EQ(board->gpio().outValue() & 0x44, 0x44u);
    EXPECT_EQ(board->gpio().outEnableValue() & 0x44, 0u);
}

TEST_F(EthZeroTest, InitFailsWithoutPhyOrDevice) {
    nvram_set("et0phyaddr", "31");
    EXPECT_FALSE(et_netdev_init(&et0_sc));
    EXPECT_EQ(et_netdev_etc(), nullptr);
    nvram_unset("et0phyaddr");
    TearDown();
    SetUpWith(false);
    EXPECT_FALSE(et_netdev_init(&et0_sc));
}

}  // namespace
