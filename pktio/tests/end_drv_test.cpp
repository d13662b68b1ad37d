// The management interface "eth1" between the in-memory stack and a double of
// the switch's receive, transmit and address-table calls.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "end_drv.h"
#include "net_util.h"
#include "sal.h"
#include "sal_host.h"

namespace {

using Frame = std::vector<uint8_t>;

const uint8_t kMacA[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};
const uint8_t kMacB[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x66};
const uint8_t kBroadcast[6] = {0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
constexpr int kCpuLport = 9;

struct Switch {
    std::vector<dxpx_l2_addr_t> added;
    std::vector<dxp_vlan_t> deleted;
    std::vector<Frame> sent;
    dxp_rx_cb_f callout = nullptr;
    void *cookie = nullptr;
    int registrations = 0;
    int priority = 0;
    uint32_t flags = 0, tx_flags = 0;
    int rx_start_rv = 0;
};
Switch sw;
int pvids[4] = {1, 5, 5, 7};

const end_switch_ops_t kOps = {
    .rx_start = [] { return sw.rx_start_rv; },
    .rx_register =
        [](const char *name, dxp_rx_cb_f cb, int prio, void *cookie, uint32_t flags) {
            EXPECT_STREQ(name, "ECOSEND");
            sw.callout = cb;
            sw.cookie = cookie;
            sw.priority = prio;
            sw.flags = flags;
            sw.registrations++;
            return 0;
        },
    .tx =
        [](dxp_pkt *pkt, const dxpx_lplist_t *list) {
            EXPECT_EQ(list, nullptr);
            sw.sent.emplace_back(pkt->pkt_data[0].data, pkt->pkt_data[0].data + pkt->tot_len);
            sw.tx_flags = pkt->flags;
            pkt->call_back(0, pkt, nullptr);
            return 0;
        },
    .l2_addr_add =
        [](const dxpx_l2_addr_t *rec, uint32_t) {
            sw.added.push_back(*rec);
            return 0;
        },
    .l2_addr_delete =
        [](const dxp_mac_t, dxp_vlan_t vid) {
            sw.deleted.push_back(vid);
            return 0;
        },
    .cpu_lport_get =
        [](int, int *lport) {
            *lport = kCpuLport;
            return 0;
        },
};

const end_board_t kBoard = {
    .user_port_count = [] { return 4; },
    .pvid_get = [](int index) { return pvids[index]; },
};

Frame frame(const uint8_t dst[6], const uint8_t src[6], int vid, size_t len) {
    Frame f(len < 18 ? 18 : len, 0xab);
    std::memcpy(f.data(), dst, 6);
    std::memcpy(f.data() + 6, src, 6);
    if (vid >= 0) {
        f[12] = 0x81;
        f[13] = 0x00;
        f[14] = static_cast<uint8_t>(vid >> 8);
        f[15] = static_cast<uint8_t>(vid);
        f[16] = 0x08;
        f[17] = 0x06;
    } else {
        f[12] = 0x08;
        f[13] = 0x06;
    }
    f.resize(len);
    return f;
}

class end_drv : public ::testing::Test {
  public:
    void SetUp() override {
        sw = Switch{};
        eth_drv_host_reset();
        end_switch_ops_set(&kOps);
        end_board_register(&kBoard);
        ASSERT_TRUE(dev_end0.init(dev_end0.sc));
        sc = eth_drv_host_find("eth1");
        ASSERT_NE(sc, nullptr);
    }
    void TearDown() override {
        end_reset();
        end_switch_ops_set(nullptr);
        end_board_register(nullptr);
        eth_drv_host_reset();
    }
    void start() { sc->funs->start(sc, sc->enaddr, 0); }
    // Hands a frame to the callout as the receive service would.
    int receive(Frame f, uint16_t tot_len = 0) {
        dxp_pkt pkt{};
        pkt._pkt_data = {f.data(), static_cast<uint32_t>(f.size())};
        pkt.pkt_data = &pkt._pkt_data;
        pkt.blk_count = 1;
        pkt.tot_len = tot_len ? tot_len : static_cast<uint16_t>(f.size());
        return sw.callout(0, &pkt, sw.cookie);
    }
    Frame up() {
        uint8_t buf[2048];
        int n = eth_drv_host_receive(sc, buf, sizeof buf);
        return n < 0 ? Frame{} : Frame(buf, buf + n);
    }
    // Sends as the stack; the completion status, 0 when none was reported.
    int send(const Frame &f, unsigned long key) {
        EXPECT_EQ(eth_drv_host_send(sc, f.data(), f.size(), key), 0);
        unsigned long got = 0;
        int status = 0;
        if (eth_drv_host_tx_done_take(sc, &got, &status) != 0) return 0;
        EXPECT_EQ(got, key);
        return status;
    }
    int vid_of(const Frame &f) { return f[12] == 0x81 ? ((f[14] & 0xf) << 8) | f[15] : -1; }
    eth_drv_sc *sc = nullptr;
};

TEST_F(end_drv, StartInstallsTheCpuMacInEveryPortVlanAndRegistersOnce) {
    dxpx_l2_addr_t rec{};
    EXPECT_EQ(end_cpu_l2_addr_get(3, &rec), 0);
    start();
    uint8_t mac[6];
    ASSERT_EQ(net_util_mac_parse(END_DEFAULT_MAC, mac), 0);
    EXPECT_EQ(0, std::memcmp(sc->enaddr, mac, 6));
    ASSERT_EQ(sw.added.size(), 4u);
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(sw.added[i].vid, pvids[i]);
        EXPECT_EQ(0, std::memcmp(sw.added[i].mac, mac, 6));
        EXPECT_EQ(sw.added[i].lport, kCpuLport);
        EXPECT_EQ(sw.added[i].cos_dst, 7);
        EXPECT_EQ(sw.added[i].flags, END_L2_FLAGS);
    }
    EXPECT_EQ(sw.registrations, 1);
    EXPECT_EQ(sw.priority, 100);
    EXPECT_EQ(sw.flags, 0xC0FFu);
    ASSERT_EQ(end_cpu_l2_addr_get(3, &rec), 1);
    EXPECT_EQ(rec.vid, 3);
    EXPECT_EQ(rec.lport, kCpuLport);

    sc->funs->stop(sc);
    EXPECT_EQ(sw.deleted, (std::vector<dxp_vlan_t>{1, 5, 5, 7}));
    EXPECT_EQ(receive(frame(kMacA, kMacB, -1, 64)), DXP_RX_NOT_HANDLED);
    start();
    EXPECT_EQ(sw.registrations, 1);
    EXPECT_EQ(receive(frame(kMacA, kMacB, -1, 64)), DXP_RX_HANDLED);
}

TEST_F(end_drv, FailedReceiveStartLeavesTheDriverStopped) {
    sw.rx_start_rv = DXP_E_INIT;
    start();
    EXPECT_TRUE(sw.added.empty());
    EXPECT_EQ(sw.registrations, 0);
}

TEST_F(end_drv, ReceivedFramesReachTheStackUntaggedWithoutTheirFcs) {
    start();
    Frame tagged = frame(sc->enaddr, kMacA, 5, 68);
    EXPECT_EQ(receive(tagged), DXP_RX_HANDLED);
    Frame got = up();
    ASSERT_EQ(got.size(), 60u);
    EXPECT_EQ(got[12], 0x08);
    EXPECT_EQ(got[13], 0x06);
    EXPECT_EQ(receive(frame(sc->enaddr, kMacB, -1, 64)), DXP_RX_HANDLED);
    EXPECT_EQ(up().size(), 60u);
    uint32_t rx = 0;
    end_counters_get(&rx, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(rx, 2u);
}

TEST_F(end_drv, UnicastGoesOutOnTheLearnedVlanAndUnknownDestinationsAreDropped) {
    start();
    receive(frame(sc->enaddr, kMacA, 5, 68));
    EXPECT_EQ(send(frame(kMacA, sc->enaddr, -1, 60), 1), ETH_DRV_TX_OK);
    ASSERT_EQ(sw.sent.size(), 1u);
    EXPECT_EQ(sw.sent[0].size(), 64u);
    EXPECT_EQ(vid_of(sw.sent[0]), 5);
    EXPECT_EQ(sw.tx_flags, END_TX_FLAGS);
    // The same MAC seen on VLAN 7 moves there; an untagged frame teaches nothing.
    receive(frame(sc->enaddr, kMacA, 7, 68));
    receive(frame(sc->enaddr, kMacB, -1, 68));
    send(frame(kMacA, sc->enaddr, -1, 60), 2);
    EXPECT_EQ(vid_of(sw.sent.back()), 7);
    // Unknown destination: dropped, yet the stack hears the key.
    EXPECT_EQ(send(frame(kMacB, sc->enaddr, -1, 60), 3), ETH_DRV_TX_OK);
    EXPECT_EQ(sw.sent.size(), 2u);
    uint32_t tx = 0, ucast = 0;
    end_counters_get(nullptr, &tx, nullptr, nullptr, &ucast);
    EXPECT_EQ(tx, 2u);
    EXPECT_EQ(ucast, 2u);
}

TEST_F(end_drv, SeventeenthSourceReplacesTheOldestSlots) {
    start();
    auto mac = [](int i) {
        static uint8_t m[6];
        std::memcpy(m, kMacA, 6);
        m[5] = static_cast<uint8_t>(i);
        return m;
    };
    for (int i = 0; i < 18; i++)
        receive(frame(sc->enaddr, mac(i), 100 + i, 68));
    for (int i = 0; i < 18; i++)
        send(frame(mac(i), sc->enaddr, -1, 60), static_cast<unsigned long>(i));
    // Slots 0 and 1 went to the seventeenth and eighteenth MAC.
    ASSERT_EQ(sw.sent.size(), 16u);
    EXPECT_EQ(vid_of(sw.sent[0]), 102);
    EXPECT_EQ(vid_of(sw.sent[15]), 117);
}

TEST_F(end_drv, GroupDestinationsAndCounters) {
    start();
    send(frame(kBroadcast, sc->enaddr, -1, 60), 1);
    ASSERT_EQ(sw.sent.size(), 1u);
    EXPECT_EQ(vid_of(sw.sent[0]), 1);
    const uint8_t mcast[6] = {0x01, 0x00, 0x5e, 0x00, 0x00, 0x01};
    EXPECT_EQ(send(frame(mcast, sc->enaddr, -1, 60), 2), ETH_DRV_TX_OK);
    EXPECT_EQ(sw.sent.size(), 1u);
    // A frame the stack tagged itself goes out unchanged.
    send(frame(kBroadcast, sc->enaddr, 9, 64), 3);
    EXPECT_EQ(sw.sent.back(), frame(kBroadcast, sc->enaddr, 9, 64));
    uint32_t c[5];
    end_counters_get(&c[0], &c[1], &c[2], &c[3], &c[4]);
    EXPECT_EQ(c[1], 2u);
    EXPECT_EQ(c[2], 2u);
    EXPECT_EQ(c[3], 1u);
    EXPECT_EQ(c[4], 0u);
    end_counters_clear();
    end_counters_get(&c[0], &c[1], &c[2], &c[3], &c[4]);
    EXPECT_EQ(c[1] + c[2] + c[3], 0u);
}

TEST_F(end_drv, BadFramesAreDroppedAndCountedWithoutLosingKeys) {
    start();
    // Runts, and a tot_len beyond the data block, never reach the stack.
    EXPECT_EQ(receive(frame(sc->enaddr, kMacA, 5, 17)), DXP_RX_HANDLED);
    EXPECT_EQ(receive(Frame(3, 0)), DXP_RX_HANDLED);
    EXPECT_EQ(receive(frame(sc->enaddr, kMacA, 5, 16), 1500), DXP_RX_HANDLED);
    EXPECT_EQ(eth_drv_host_pending(sc), 0);
    EXPECT_EQ(end_rx_runts_get(), 3u);
    // Too long once tagged, too short for a header, no stack buffer: refused.
    EXPECT_EQ(send(frame(kBroadcast, sc->enaddr, -1, END_DMA_BUF - 3), 7), ETH_DRV_TX_FAILED);
    EXPECT_EQ(send(Frame(10, 0xff), 8), ETH_DRV_TX_FAILED);
    sal_alloc_fail_after(1);
    EXPECT_EQ(send(frame(kBroadcast, sc->enaddr, -1, 60), 9), ETH_DRV_TX_FAILED);
    sal_alloc_fail_after(0);
    EXPECT_EQ(end_tx_refused_get(), 3u);
    EXPECT_TRUE(sw.sent.empty());
    // The largest frame that fits still goes.
    EXPECT_EQ(send(frame(kBroadcast, sc->enaddr, -1, END_DMA_BUF - 4), 10), ETH_DRV_TX_OK);
    EXPECT_EQ(sw.sent.at(0).size(), static_cast<size_t>(END_DMA_BUF));
}

TEST_F(end_drv, LearningOnReceiveRacesNoSendLookup) {
    start();
    struct Ctx {
        end_drv *test;
        sal_sem_t done;
    } ctx{this, sal_sem_create("learner", sal_sem_BINARY, 0)};
    ASSERT_NE(sal_thread_create(
                  "learner", 16384, 50,
                  [](void *arg) {
                      auto *c = static_cast<Ctx *>(arg);
                      uint8_t src[6];
                      std::memcpy(src, kMacA, 6);
                      for (int i = 0; i < 400; i++) {
                          src[5] = static_cast<uint8_t>(i % 40);
                          c->test->receive(frame(c->test->sc->enaddr, src, 10 + i % 40, 68));
                      }
                      sal_sem_give(c->done);
                  },
                  &ctx),
              SAL_THREAD_ERROR);
    for (int i = 0; i < 400; i++)
        send(frame(kMacA, sc->enaddr, -1, 60), static_cast<unsigned long>(i));
    ASSERT_EQ(sal_sem_take(ctx.done, sal_sem_FOREVER), 0);
    sal_sem_destroy(ctx.done);
    for (const Frame &f : sw.sent)
        EXPECT_EQ(vid_of(f), 10);  // kMacA is only ever learned on VLAN 10
}

}  // namespace
