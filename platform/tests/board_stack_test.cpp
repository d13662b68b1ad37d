// Stack packet buffers and the stack side of the Ethernet driver interface.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "eth_drv.h"
#include "pkt.h"
#include "sal.h"
#include "sal_host.h"
#include "sal_netif.h"
#include "unique_fd.h"

namespace {

TEST(board_pkt, BuffersHoldAtMost4072Bytes) {
    size_t before = sal_alloc_bytes_in_use("pkt");
    EXPECT_EQ(pkt_get(4073), nullptr);
    pkt *p = pkt_get(4072);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->len, 4072u);
    EXPECT_EQ(p->next, nullptr);
    // The data area lies inside the block, after the header.
    auto *block = reinterpret_cast<uint8_t *>(p);
    EXPECT_GE(p->data, block + sizeof(pkt));
    EXPECT_EQ(p->data + PKT_DATA_MAX, block + PKT_BLOCK_SIZE);
    std::memset(p->data, 0xab, p->len);
    // Freeing the head frees the whole chain.
    p->next = pkt_get(10);
    ASSERT_NE(p->next, nullptr);
    p->next->next = pkt_get(0);
    EXPECT_EQ(sal_alloc_bytes_in_use("pkt"), before + 3 * PKT_BLOCK_SIZE);
    pkt_free(p);
    EXPECT_EQ(sal_alloc_bytes_in_use("pkt"), before);
    pkt_free(nullptr);
}

// A driver whose receive path hands out one stored frame and whose send path
// records what it was given.
struct FakeDriver {
    eth_drv_sc sc{};
    eth_hwr_funs funs{};
    std::vector<uint8_t> rx_frame;
    std::mutex lock;  // send runs on the TAP back-end's thread
    std::vector<uint8_t> sent;
    unsigned long sent_key = 0;
    bool can_send = true;
    bool holding_frame = false;  // the driver's buffer waits for the stack's recv

    FakeDriver() {
        funs.can_send = [](eth_drv_sc *sc) { return self(sc)->can_send ? 1 : 0; };
        funs.send = [](eth_drv_sc *sc, eth_drv_sg *sg, int sg_len, int, unsigned long key) {
            FakeDriver *d = self(sc);
            std::lock_guard<std::mutex> g(d->lock);
            d->sent.clear();
            for (int i = 0; i < sg_len; i++) {
                auto *b = reinterpret_cast<const uint8_t *>(sg[i].buf);
                d->sent.insert(d->sent.end(), b, b + sg[i].len);
            }
            d->sent_key = key;
            sc->funs->eth_drv->tx_done(sc, key, 1);
        };
        funs.recv = [](eth_drv_sc *sc, eth_drv_sg *sg, int sg_len) {
            FakeDriver *d = self(sc);
            size_t done = 0;
            for (int i = 0; i < sg_len && done < d->rx_frame.size() && sg[i].buf != 0; i++) {
                size_t n = std::min<size_t>(sg[i].len, d->rx_frame.size() - done);
                std::memcpy(reinterpret_cast<void *>(sg[i].buf), d->rx_frame.data() + done, n);
                done += n;
            }
            d->holding_frame = false;
        };
        funs.eth_drv = &eth_drv_funs_table;
        sc.funs = &funs;
        sc.driver_private = this;
        sc.dev_name = "eth9";
    }
    static FakeDriver *self(eth_drv_sc *sc) {
        return static_cast<FakeDriver *>(sc->driver_private);
    }
    void deliver(std::vector<uint8_t> frame) {
        rx_frame = std::move(frame);
        holding_frame = true;
        sc.funs->eth_drv->recv(&sc, static_cast<int>(rx_frame.size()));
    }
};

TEST(board_eth_drv, ReceivedFrameIsQueuedForTheStack) {
    eth_drv_host_reset();
    FakeDriver drv;
    unsigned char mac[6] = {0x00, 0x10, 0x18, 0x01, 0x02, 0x03};
    drv.sc.funs->eth_drv->init(&drv.sc, mac);
    EXPECT_EQ(eth_drv_host_find("eth9"), &drv.sc);
    EXPECT_EQ(eth_drv_host_find("eth8"), nullptr);
    EXPECT_EQ(0, std::memcmp(drv.sc.enaddr, mac, 6));

    std::vector<uint8_t> frame(60);
    for (size_t i = 0; i < frame.size(); i++)
        frame[i] = static_cast<uint8_t>(i);
    drv.deliver(frame);
    EXPECT_EQ(eth_drv_host_pending(&drv.sc), 1);
    uint8_t buf[1600];
    ASSERT_EQ(eth_drv_host_receive(&drv.sc, buf, sizeof buf), 60);
    EXPECT_EQ(0, std::memcmp(buf, frame.data(), 60));
    EXPECT_EQ(eth_drv_host_receive(&drv.sc, buf, sizeof buf), -1);

    // A full queue drops, and so does a frame too long for a stack buffer.
    for (int i = 0; i <= ETH_DRV_HOST_QUEUE; i++)
        drv.deliver(frame);
    drv.deliver(std::vector<uint8_t>(PKT_DATA_MAX + 1));
    EXPECT_EQ(eth_drv_host_pending(&drv.sc), ETH_DRV_HOST_QUEUE);
    EXPECT_EQ(eth_drv_host_dropped(&drv.sc), 2u);
    eth_drv_host_reset();
}

TEST(board_eth_drv, DroppedFrameIsStillHandedBackToTheDriver) {
    // The driver frees its frame in recv; a frame the stack cannot take must
    // still pass through recv, or the driver's buffer is lost.
    eth_drv_host_reset();
    FakeDriver drv;
    drv.sc.funs->eth_drv->init(&drv.sc, nullptr);
    drv.deliver(std::vector<uint8_t>(PKT_DATA_MAX + 1, 0x5a));
    EXPECT_FALSE(drv.holding_frame);
    sal_alloc_fail_after(1);
    drv.deliver(std::vector<uint8_t>(60, 0x5a));
    sal_alloc_fail_after(0);
    EXPECT_FALSE(drv.holding_frame);
    EXPECT_EQ(eth_drv_host_dropped(&drv.sc), 2u);
    EXPECT_EQ(eth_drv_host_pending(&drv.sc), 0);
    eth_drv_host_reset();
}

TEST(board_eth_drv, StackFramesGoToTheDriversSend) {
    eth_drv_host_reset();
    FakeDriver drv;
    drv.sc.funs->eth_drv->init(&drv.sc, nullptr);
    const uint8_t frame[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0x08, 0x00};
    EXPECT_EQ(eth_drv_host_send(&drv.sc, frame, sizeof frame, 77), 0);
    EXPECT_EQ(drv.sent, std::vector<uint8_t>(frame, frame + sizeof frame));
    EXPECT_EQ(drv.sent_key, 77u);
    EXPECT_EQ(eth_drv_host_tx_done(&drv.sc), 1u);
    unsigned long key = 0;
    int status = 0;
    ASSERT_EQ(eth_drv_host_tx_done_take(&drv.sc, &key, &status), 0);
    EXPECT_EQ(key, 77u);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(eth_drv_host_tx_done_take(&drv.sc, &key, &status), -1);
    drv.can_send = false;
    EXPECT_EQ(eth_drv_host_send(&drv.sc, frame, sizeof frame, 78), -1);
    EXPECT_EQ(eth_drv_host_send(&drv.sc, frame, 0, 79), -1);
    eth_drv_host_reset();
}

TEST(board_eth_drv, SinkTakesFramesInsteadOfTheQueue) {
    eth_drv_host_reset();
    FakeDriver drv;
    drv.sc.funs->eth_drv->init(&drv.sc, nullptr);
    static std::vector<uint8_t> got;
    got.clear();
    eth_drv_host_sink_set(
        &drv.sc, [](void *, const uint8_t *f, size_t n) { got.assign(f, f + n); }, nullptr);
    drv.deliver(std::vector<uint8_t>(42, 0x11));
    EXPECT_EQ(got, std::vector<uint8_t>(42, 0x11));
    EXPECT_EQ(eth_drv_host_pending(&drv.sc), 0);
    EXPECT_FALSE(drv.holding_frame);
    eth_drv_host_sink_set(&drv.sc, nullptr, nullptr);
    drv.deliver(std::vector<uint8_t>(42, 0x11));
    EXPECT_EQ(eth_drv_host_pending(&drv.sc), 1);
    eth_drv_host_reset();
}

TEST(board_eth_drv, DeviceTableInitialisesEachDeviceOnce) {
    eth_drv_host_reset();
    static FakeDriver drv;
    static int inits = 0;
    eth_drv_device dev{"dev_test",
                       [](eth_drv_sc *sc) {
                           inits++;
                           sc->funs->eth_drv->init(sc, nullptr);
                           return true;
                       },
                       &drv.sc};
    ASSERT_EQ(eth_drv_device_register(&dev), 0);
    EXPECT_EQ(eth_drv_devices_init(), 1);
    EXPECT_EQ(inits, 1);
    EXPECT_NE(eth_drv_host_find("eth9"), nullptr);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(eth_drv_device_register(&dev), 0);
    EXPECT_EQ(eth_drv_device_register(&dev), -1);  // four at most
    eth_drv_device bad{"dev_bad", nullptr, &drv.sc};
    EXPECT_EQ(eth_drv_device_register(&bad), -1);
    eth_drv_host_reset();
}

// The Linux kernel as the stack: in a network namespace of the test's own,
// an ARP request handed up through the TAP is answered through the driver.
TEST(board_eth_drv, TapBackEndCarriesFramesBothWays) {
    if (access("/dev/net/tun", R_OK | W_OK) != 0) GTEST_SKIP() << "no /dev/net/tun";
    UniqueFd home(open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(home.valid());
    if (unshare(CLONE_NEWNET) != 0) GTEST_SKIP() << "needs CAP_NET_ADMIN";
    eth_drv_host_reset();
    // Outlives the test: the back-end's thread keeps the interface.
    static FakeDriver drv;
    const uint8_t mac[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
    drv.sc.funs->eth_drv->init(&drv.sc, const_cast<uint8_t *>(mac));
    char error[128] = "";
    EXPECT_EQ(eth_drv_host_tap_attach(&drv.sc, "tap-test", error, sizeof error), 0) << error;
    const uint8_t ip[4] = {10, 1, 1, 1}, mask[4] = {255, 255, 255, 0}, gw[4] = {10, 1, 1, 254};
    EXPECT_EQ(sal_netif_addr_set("tap-test", ip, mask, gw), 0);
    uint8_t got[6] = {};
    EXPECT_EQ(sal_netif_mac_get("tap-test", got), 0);
    EXPECT_EQ(0, std::memcmp(got, mac, 6));

    const uint8_t peer[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x99};
    std::vector<uint8_t> arp(42, 0);
    std::memset(arp.data(), 0xff, 6);
    std::memcpy(arp.data() + 6, peer, 6);
    const uint8_t head[] = {0x08, 0x06, 0, 1, 0x08, 0, 6, 4, 0, 1};
    std::memcpy(arp.data() + 12, head, sizeof head);
    std::memcpy(arp.data() + 22, peer, 6);
    const uint8_t peer_ip[4] = {10, 1, 1, 2};
    std::memcpy(arp.data() + 28, peer_ip, 4);
    std::memcpy(arp.data() + 38, ip, 4);
    drv.deliver(arp);

    std::vector<uint8_t> reply;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
        {
            std::lock_guard<std::mutex> g(drv.lock);
            if (drv.sent.size() >= 42 && drv.sent[12] == 0x08 && drv.sent[13] == 0x06) {
                reply = drv.sent;
                break;
            }
        }
        std::this_thread::yield();
    }
    ASSERT_GE(reply.size(), 42u);
    EXPECT_EQ(0, std::memcmp(reply.data(), peer, 6));
    EXPECT_EQ(0, std::memcmp(reply.data() + 6, mac, 6));
    EXPECT_EQ(reply[21], 2);  // reply
    EXPECT_EQ(sal_netif_addr_clear("tap-test"), 0);

    // Down, so the kernel sends nothing more; then back home.
    UniqueFd ctl(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ifreq ifr{};
    std::snprintf(ifr.ifr_name, sizeof ifr.ifr_name, "tap-test");
    ioctl(ctl.get(), SIOCSIFFLAGS, &ifr);
    ASSERT_EQ(setns(home.get(), CLONE_NEWNET), 0);
}

}  // namespace
