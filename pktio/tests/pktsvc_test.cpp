#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "drv_reg_value.h"
#include "pktio_fixture.h"
#include "pktsvc.h"
#include "sal_host.h"

namespace {

using namespace pktio_test;

constexpr int kUnit = 0;  // the switch, whose CPU port the MAC serves

std::mutex seen_lock;
std::vector<std::string> seen;
std::atomic<int> next_return{DXP_RX_HANDLED};
std::atomic<void *> owned{nullptr};
std::atomic<void *> last_buf{nullptr};

void note(const std::string &s) {
    std::lock_guard<std::mutex> g(seen_lock);
    seen.push_back(s);
}
std::vector<std::string> seen_now() {
    std::lock_guard<std::mutex> g(seen_lock);
    return seen;
}

int callout_a(int, dxp_pkt *pkt, void *) {
    note("A port " + std::to_string(pkt->rx_port) + " len " + std::to_string(pkt->pkt_len) +
         " da " + std::to_string(pkt->pkt_data[0].data[0]));
    return DXP_RX_NOT_HANDLED;
}
int callout_b(int, dxp_pkt *pkt, void *) {
    last_buf = pkt->alloc_ptr;
    int rv = next_return.load();
    if (rv == DXP_RX_HANDLED_OWNED) owned = pkt->alloc_ptr;
    note("B");  // last: the test goes on once it sees the call
    return rv;
}
int callout_late(int, dxp_pkt *, void *) {
    note("late");
    return DXP_RX_HANDLED;
}

// Fails while `failing` is set; otherwise the usual DMA memory.
std::atomic<bool> failing{false};
int flaky_alloc(int unit, int size, uint32_t, void **buf) {
    if (failing) return SOC_E_MEMORY;
    *buf = soc_cm_salloc(unit, std::max(size, ET_SOC_RXBUFSIZE), "rx test");
    return 0;
}

std::atomic<void *> freed{nullptr};
int noting_free(int unit, void *buf) {
    freed = buf;
    soc_cm_sfree(unit, buf);
    return 0;
}

class pktsvc : public PktioTest {
  protected:
    void SetUp() override {
        PktioTest::SetUp();
        ASSERT_EQ(sysconf_attach(kUnit), 0);
        ASSERT_EQ(dxp_tarn_tx_init(kUnit), 0);
        std::lock_guard<std::mutex> g(seen_lock);
        seen.clear();
        next_return = DXP_RX_HANDLED;
        failing = false;
    }
    void TearDown() override {
        sal_clock_real();
        dxp_tarn_rx_clear(kUnit);
        PktioTest::TearDown();
    }
    void start_with(int chains, int global_pps = 0) {
        dxp_rx_cfg_t cfg;
        dxp_tarn_rx_cfg_init(kUnit);
        dxp_tarn_rx_cfg_get(kUnit, &cfg);
        cfg.chan_cfg[0].chains = chains;
        cfg.global_pps = global_pps;
        cfg.rx_alloc = flaky_alloc;
        cfg.rx_free = noting_free;
        ASSERT_EQ(dxp_tarn_rx_start(kUnit, &cfg), 0);
    }
    rx_counts_t counts() {
        rx_counts_t c{};
        dxp_tarn_rx_init(kUnit);
        rx_counts_get(kUnit, &c);
        return c;
    }
    bool posted(int n) {
        return eventually([&] { return board->mac().peek(0x218) / 8 >= static_cast<uint32_t>(n); });
    }
    void inject(int port = 7) { board->mac().receiveFromSwitch(to_cpu(74, port, 17)); }
};

TEST_F(pktsvc, CalloutsRunByPriorityAndReturnsSteerTheWalk) {
    EXPECT_EQ(dxp_tarn_rx_register(kUnit, "A", callout_a, 100, nullptr, 0xC0FF), 0);
    EXPECT_EQ(dxp_tarn_rx_register(kUnit, "B", callout_b, 100, nullptr, 0xC0FF), 0);
    EXPECT_EQ(dxp_tarn_rx_register(kUnit, "late", callout_late, 0, nullptr, 0xC0FF), 0);
    EXPECT_EQ(dxp_tarn_rx_register(kUnit, "B", callout_b, 100, nullptr, 0xC0FF), 0);  // again
    EXPECT_EQ(dxp_tarn_rx_register(kUnit, "B", callout_b, 100, nullptr, 0x1), SOC_E_PARAM);
    EXPECT_EQ(dxp_tarn_rx_register(kUnit, "none", nullptr, 100, nullptr, 0), SOC_E_PARAM);
    start_with(4);
    EXPECT_EQ(dxp_tarn_rx_active(kUnit), 1);
    ASSERT_TRUE(posted(4));

    inject(7);
    ASSERT_TRUE(eventually([] { return seen_now().size() == 2; }));
    EXPECT_EQ(seen_now(),
              (std::vector<std::string>{"A port 7 len 68 da 32", "B"}));  // FCS included
    // An invalid return is reported and the walk goes on to "Discard".
    next_return = 7;
    inject();
    ASSERT_TRUE(eventually([&] { return counts().discarded == 1; }));
    EXPECT_EQ(seen_now().size(), 4u);
    EXPECT_EQ(dxp_tarn_rx_unregister(kUnit, callout_a, 100), 0);
    EXPECT_EQ(dxp_tarn_rx_unregister(kUnit, callout_a, 100), SOC_E_NOT_FOUND);
    EXPECT_EQ(counts().received, 2u);
}

TEST_F(pktsvc, OwnedBufferIsReplacedAtTheNextFill) {
    dxp_tarn_rx_register(kUnit, "B", callout_b, 100, nullptr, 0xC0FF);
    start_with(1);
    ASSERT_TRUE(posted(1));
    next_return = DXP_RX_HANDLED_OWNED;
    inject();
    ASSERT_TRUE(eventually([] { return owned.load() != nullptr; }));
    ASSERT_TRUE(posted(2));  // the chain went back with a fresh buffer
    next_return = DXP_RX_HANDLED;
    inject();
    ASSERT_TRUE(eventually([] { return seen_now().size() == 2; }));
    // The callout keeps its buffer; the chain has a fresh one.
    auto *kept = static_cast<uint8_t *>(owned.load());
    EXPECT_NE(last_buf.load(), kept);
    EXPECT_EQ(kept[36], 0x20);
    // Handed back for the receive thread to free.
    ASSERT_EQ(dxp_tarn_rx_free_enqueue(kUnit, kept), 0);
    EXPECT_TRUE(eventually([&] { return freed.load() == kept; }));
    EXPECT_EQ(dxp_tarn_rx_free(kUnit, nullptr), 0);
}

TEST_F(pktsvc, QueueOverItsRateDropsAndRefillsWithTheClock) {
    sal_clock_manual(1000000);
    dxp_tarn_rx_register(kUnit, "B", callout_b, 100, nullptr, 0xC0FF);
    ASSERT_EQ(dxp_tarn_rx_cos_rate_set(kUnit, 0, 10), 0);
    ASSERT_EQ(dxp_tarn_rx_cos_burst_set(kUnit, 0, 1), 0);
    EXPECT_EQ(dxp_tarn_rx_cos_rate_set(kUnit, 16, 10), SOC_E_PARAM);
    EXPECT_EQ(dxp_tarn_rx_cos_burst_set(kUnit, 0, 0), SOC_E_PARAM);
    start_with(8);
    ASSERT_TRUE(posted(8));
    for (int i = 0; i < 5; i++)
        inject();
    ASSERT_TRUE(eventually([&] { return counts().dropped[0] == 4; }));
    EXPECT_EQ(seen_now().size(), 1u);

    sal_clock_advance(100000);  // one token at 10 pps
    ASSERT_TRUE(posted(8));
    inject();
    ASSERT_TRUE(eventually([] { return seen_now().size() == 2; }));
    EXPECT_EQ(counts().dropped[0], 4u);
}

TEST_F(pktsvc, GlobalRateSchedulesChainStarts) {
    sal_clock_manual(1000000);
    dxp_tarn_rx_register(kUnit, "B", callout_b, 100, nullptr, 0xC0FF);
    start_with(2, 100);
    // The burst of one starts chain 0; chain 1 waits two token times.
    ASSERT_TRUE(eventually([&] { return rx_chain_state(kUnit, 0, 1) == DV_S_SCHEDULED; }));
    EXPECT_EQ(rx_chain_state(kUnit, 0, 0), DV_S_ACTIVE);
    ASSERT_TRUE(eventually([] { return sal_host_thread_waiting(rx_thread_get(kUnit)) == 1; }));
    sal_clock_advance(19999);
    EXPECT_EQ(rx_chain_state(kUnit, 0, 1), DV_S_SCHEDULED);
    sal_clock_advance(1);
    ASSERT_TRUE(eventually([&] { return rx_chain_state(kUnit, 0, 1) == DV_S_ACTIVE; }));
}

TEST_F(pktsvc, QueueLengthAndActiveThroughStopsAndStarts) {
    // Only "Discard": frames are counted as finding no thread callout and
    // the chains are never started.
    start_with(2);
    EXPECT_EQ(board->mac().peek(0x218), 0u);
    dxp_tarn_rx_register(kUnit, "B", callout_b, 100, nullptr, 0xC0FF);
    ASSERT_TRUE(posted(2));
    ASSERT_EQ(dxp_tarn_rx_cos_max_len_set(kUnit, 0, 0), 0);
    EXPECT_EQ(dxp_tarn_rx_cos_max_len_set(kUnit, 0, -1), SOC_E_PARAM);
    inject();
    inject();
    ASSERT_TRUE(eventually([&] { return counts().dropped[0] == 2; }));
    EXPECT_TRUE(seen_now().empty());

    EXPECT_EQ(dxp_tarn_rx_start(kUnit, nullptr), SOC_E_BUSY);
    ASSERT_EQ(dxp_tarn_rx_stop(kUnit, nullptr), 0);
    EXPECT_EQ(dxp_tarn_rx_active(kUnit), 0);
    uint32_t chans = 1;
    EXPECT_EQ(dxp_tarn_rx_channels_running(kUnit, &chans), 0);
    EXPECT_EQ(chans, 0u);
    ASSERT_EQ(dxp_tarn_rx_start(kUnit, nullptr), 0);
    EXPECT_EQ(dxp_tarn_rx_active(kUnit), 1);
    EXPECT_EQ(dxp_tarn_rx_start(kUnit, nullptr), SOC_E_BUSY);
    // Every further stop and start is followed alike.
    ASSERT_EQ(dxp_tarn_rx_stop(kUnit, nullptr), 0);
    EXPECT_EQ(dxp_tarn_rx_active(kUnit), 0);
    ASSERT_EQ(dxp_tarn_rx_start(kUnit, nullptr), 0);
    EXPECT_EQ(dxp_tarn_rx_active(kUnit), 1);
    int len = 0;
    EXPECT_EQ(dxp_tarn_rx_cos_max_len_get(kUnit, 0, &len), 0);
    EXPECT_EQ(len, 1000);  // the start restored it
    ASSERT_TRUE(posted(2));
    inject();
    ASSERT_TRUE(eventually([] { return seen_now().size() == 1; }));
}

TEST_F(pktsvc, FailedBufferAllocationLeavesTheChainForALaterPass) {
    failing = true;
    dxp_tarn_rx_register(kUnit, "B", callout_b, 100, nullptr, 0xC0FF);
    start_with(1);
    ASSERT_TRUE(eventually([&] { return counts().alloc_failed >= 1; }));
    EXPECT_EQ(rx_chain_state(kUnit, 0, 0), DV_S_NEEDS_FILL);
    failing = false;
    ASSERT_TRUE(posted(1));  // a later pass filled and started it
    inject();
    ASSERT_TRUE(eventually([] { return seen_now().size() == 1; }));
}

TEST_F(pktsvc, InterruptCalloutsRunInTheCompletion) {
    // An interrupt callout alone starts the chains and takes frames before
    // any queue; no thread callout means nothing is queued.
    dxp_tarn_rx_register(kUnit, "intr", callout_b, 50, nullptr, 0x8000C0FF);
    start_with(2);
    ASSERT_TRUE(posted(2));
    inject();
    ASSERT_TRUE(eventually([] { return seen_now().size() == 1; }));
    next_return = 9;  // counted as invalid, then no thread callout takes it
    inject();
    ASSERT_TRUE(eventually([&] { return counts().no_callout == 1; }));
    EXPECT_EQ(counts().bad_return, 1u);
    EXPECT_EQ(counts().enqueued[0], 0u);
}

// ---------------------------------------------------------------- transmit
std::mutex cb_lock;
std::vector<std::string> cb_seen;
void tx_done(int, dxp_pkt *pkt, void *cookie) {
    char name[32];
    sal_thread_name(sal_thread_self(), name, sizeof name);
    std::lock_guard<std::mutex> g(cb_lock);
    cb_seen.push_back(std::string(name) + (pkt && cookie == pkt ? " own" : ""));
}
std::vector<std::string> callbacks() {
    std::lock_guard<std::mutex> g(cb_lock);
    return cb_seen;
}

struct TxFrame {
    uint8_t *data = static_cast<uint8_t *>(sal_dma_alloc(60, "tx test"));
    dxp_pkt_blk_t blk{data, 60};
    dxp_pkt pkt{};
    TxFrame() {
        std::memset(data, 0x44, 60);
        pkt.pkt_data = &blk;
        pkt.blk_count = 1;
        pkt.unit = kUnit;
    }
    ~TxFrame() { sal_dma_free(data); }
};

uint32_t tag_word(const std::vector<uint8_t> &f) {
    return static_cast<uint32_t>(f[14]) << 24 | f[15] << 16 | f[16] << 8 | f[17];
}

TEST_F(pktsvc, SingleSendsSyncAndAsync) {
    {
        std::lock_guard<std::mutex> g(cb_lock);
        cb_seen.clear();
    }
    TxFrame sync;
    sync.pkt.flags = DXP_TX_ETHER;
    dxp_pbmp_port_add(&sync.pkt.tx_pbmp, 3);
    dxp_pbmp_port_add(&sync.pkt.tx_pbmp, 5);
    ASSERT_EQ(dxp_tarn_tx(kUnit, &sync.pkt, nullptr), 0);
    ASSERT_EQ(frames().size(), 1u);  // one transmission, done on return
    EXPECT_EQ(tag_word(frames()[0]) >> 29, 3u);
    EXPECT_EQ(tag_word(frames()[0]) & 0xFFFFFF, 1u << 3 | 1u << 5);

    TxFrame async;
    async.pkt.call_back = tx_done;
    ASSERT_EQ(dxp_tarn_tx(kUnit, &async.pkt, &async.pkt), 0);
    ASSERT_TRUE(eventually([] { return callbacks().size() == 1; }));
    EXPECT_EQ(callbacks()[0], "dxpTX own");
    EXPECT_EQ(tag_word(frames()[1]) >> 29, 0u);  // no ports: the switch forwards

    TxFrame empty;
    empty.pkt.blk_count = 0;
    EXPECT_EQ(dxp_tarn_tx(kUnit, &empty.pkt, nullptr), SOC_E_PARAM);
}

// The unit initialised while the glue was away, then its board replaced: the
// next glue pads short frames from memory of the board it runs on.
TEST_F(pktsvc, ShortFramesArePaddedAfterTheUnitOutlivedItsBoard) {
    et_soc_stop(kNic);
    ASSERT_EQ(et_soc_detach(kNic), 0);
    ASSERT_EQ(dxp_tarn_tx_init(kUnit), 0);
    PktioTest::TearDown();
    PktioTest::SetUp();
    ASSERT_EQ(sysconf_attach(kUnit), 0);

    TxFrame f;
    f.blk.len = 42;
    f.pkt.flags = DXP_TX_ETHER;
    dxp_pbmp_port_add(&f.pkt.tx_pbmp, 3);
    ASSERT_EQ(dxp_tarn_tx(kUnit, &f.pkt, nullptr), 0);
    auto out = frames();
    ASSERT_EQ(out.size(), 1u);
    ASSERT_EQ(out[0].size(), 6u + 60u + 4u);  // tag, padded frame, CRC
    EXPECT_EQ(std::count(out[0].begin() + 6 + 42, out[0].end() - 4, 0), 18);
}

TEST_F(pktsvc, MultiPortSendsGoUntaggedFirstPerGroup) {
    {
        std::lock_guard<std::mutex> g(cb_lock);
        cb_seen.clear();
    }
    // Ports 1 and 2 in group 0 (2 untagged), port 30 in group 1 (as 6).
    TxFrame f;
    f.pkt.tx_pbmp = dxp_pbmp_t{{(1u << 1) | (1u << 2) | (1u << 30), 0}};
    f.pkt.tx_upbmp = dxp_pbmp_t{{(1u << 2) | (1u << 30), 0}};
    ASSERT_EQ(dxp_tarn_tx(kUnit, &f.pkt, nullptr), 0);
    auto out = frames();
    ASSERT_EQ(out.size(), 3u);
    auto ports = [&](int i) {
        return std::make_pair(tag_word(out[i]) >> 29, tag_word(out[i]) & 0xFFFFFF);
    };
    EXPECT_EQ(ports(0), std::make_pair(3u, 1u << 2));
    EXPECT_EQ(ports(1), std::make_pair(3u, 1u << 1));
    EXPECT_EQ(ports(2), std::make_pair(4u, 1u << 6));
    EXPECT_EQ(f.pkt.tx_upbmp.w[0], (1u << 2) | (1u << 30));  // the caller's bitmaps come back

    // With a callback it returns at once; the callback runs once, after the last.
    f.pkt.call_back = tx_done;
    ASSERT_EQ(dxp_tarn_tx(kUnit, &f.pkt, &f.pkt), 0);
    ASSERT_TRUE(eventually([] { return callbacks().size() == 1; }));
    EXPECT_EQ(callbacks()[0], "dxpTX own");
    EXPECT_EQ(frames().size(), 6u);
}

// A resolved destination beyond the ports one transmission names goes by
// port group; the callback of an asynchronous send finds the packet as it was
// given, before the send touches it again (the callback may free it).
std::atomic<uint32_t> bitmap_in_callback{0};
TEST_F(pktsvc, ResolvedUpperPortGoesByGroupAndTheCallbackGetsThePacketBack) {
    TxFrame f;
    f.pkt.flags = DXP_TX_ETHER;
    f.pkt.tx_pbmp = dxp_pbmp_t{{1u << 30, 0}};
    ASSERT_EQ(dxp_tarn_tx(kUnit, &f.pkt, nullptr), 0);
    ASSERT_EQ(frames().size(), 1u);
    EXPECT_EQ(tag_word(frames()[0]) >> 29, 4u);
    EXPECT_EQ(tag_word(frames()[0]) & 0xFFFFFF, 1u << 6);

    f.pkt.tx_pbmp = dxp_pbmp_t{{(1u << 1) | (1u << 30), 0}};
    f.pkt.call_back = [](int, dxp_pkt *pkt, void *) {
        const uint32_t seen = pkt->tx_pbmp.w[0];
        pkt->tx_pbmp = dxp_pbmp_t{};  // as good as freed: the send must not write it back
        bitmap_in_callback = seen;    // last: the test reads the packet once it sees this
    };
    ASSERT_EQ(dxp_tarn_tx(kUnit, &f.pkt, nullptr), 0);
    ASSERT_TRUE(eventually([] { return bitmap_in_callback.load() != 0; }));
    EXPECT_EQ(bitmap_in_callback.load(), (1u << 1) | (1u << 30));
    EXPECT_TRUE(eventually([this] { return frames().size() == 3u; }));
    EXPECT_TRUE(dxp_pbmp_is_null(f.pkt.tx_pbmp));
}

TEST_F(pktsvc, FailedGroupSendReleasesTheNextOne) {
    {
        std::lock_guard<std::mutex> g(cb_lock);
        cb_seen.clear();
    }
    TxFrame bad;
    bad.pkt.blk_count = 0;
    bad.pkt.tx_pbmp = dxp_pbmp_t{{1u << 4, 0}};
    EXPECT_EQ(dxp_tarn_tx(kUnit, &bad.pkt, nullptr), SOC_E_PARAM);
    // A failing asynchronous send neither stops the queue nor holds the lock,
    // and its callback still hands the packet back.
    bad.pkt.call_back = tx_done;
    ASSERT_EQ(dxp_tarn_tx(kUnit, &bad.pkt, nullptr), 0);
    TxFrame good;
    good.pkt.tx_pbmp = dxp_pbmp_t{{1u << 4, 0}};
    good.pkt.call_back = tx_done;
    ASSERT_EQ(dxp_tarn_tx(kUnit, &good.pkt, &good.pkt), 0);
    ASSERT_TRUE(eventually([] { return callbacks().size() == 2; }));
    EXPECT_EQ(callbacks(), (std::vector<std::string>{"multiAsyncTX", "dxpTX own"}));
}

// ---------------------------------------------------------------- glue
TEST_F(pktsvc, ManagementPortSetUp) {
    ASSERT_EQ(soc_tarn_dma_init(kUnit), 0);
    auto field = [](uint32_t reg, uint32_t f) {
        DrvRegValue r(kUnit, reg,
                      reg == R_SWMODE || reg == R_GMNGCFG ? 0 : SOC_CONTROL(kUnit)->cmic_port);
        EXPECT_EQ(r.read(), 0);
        return r.get(f);
    };
    EXPECT_EQ(field(R_SWMODE, F_SW_FWDG_EN), 1u);
    EXPECT_EQ(field(R_SWMODE, F_SW_FWDG_MODE), 1u);
    EXPECT_EQ(field(R_GMNGCFG, F_FRM_MNGP), 2u);
    EXPECT_EQ(field(R_GMNGCFG, F_RXBPDU_EN), 1u);
    EXPECT_EQ(field(R_MII_PCTL, F_MIRX_UC_EN), 1u);
    EXPECT_EQ(field(R_MII_PCTL, F_MIRX_BC_EN), 1u);
    EXPECT_EQ(field(R_STS_OVERRIDE_IMP, F_MII_SW_OR), 1u);
    EXPECT_EQ(field(R_STS_OVERRIDE_IMP, F_LINK_STS), 1u);
    EXPECT_EQ(soc_tarn_dma_init(kUnit), 0);  // again: repeated

    const uint8_t mac[6] = {2, 0, 0, 0, 0, 9};
    EXPECT_EQ(et_soc_mac_set(kNic, mac), SOC_E_BUSY);  // while the MAC is up
    EXPECT_NE(std::memcmp(et->etc->cur_etheraddr, mac, 6), 0);
    char text[80];
    EXPECT_EQ(et_soc_version(et, text, 8), 4096);
    const int n = et_soc_version(et, text, sizeof text);
    EXPECT_EQ(n, static_cast<int>(std::strlen(text)));
    EXPECT_EQ(std::string(text).rfind("et1: ", 0), 0u);
}

std::atomic<int> array_done_calls{0};
std::atomic<dxp_pkt *> array_done_pkt{nullptr};
void array_done(int, dxp_pkt *pkt, void *) {
    array_done_pkt = pkt;
    array_done_calls++;
}

TEST_F(pktsvc, ArraySendsGoOutInOrderToTheMappedPortsOrNotAtAll) {
    TxFrame frame[3];
    dxp_pbmp_t to{}, untagged{};
    dxp_pbmp_port_add(&to, 4);
    dxp_pkt *pkts[3];
    for (int i = 0; i < 3; i++) {
        frame[i].data[0] = static_cast<uint8_t>(i + 1);
        ASSERT_EQ(dxp_tarn_tx_pkt_map(kUnit, &frame[i].pkt, to, untagged), 0);
        EXPECT_EQ(frame[i].pkt.tx_pbmp.w[0], to.w[0]);
        pkts[i] = &frame[i].pkt;
    }
    const size_t before = frames().size();
    ASSERT_EQ(dxp_tarn_dispatch.tx_array(kUnit, pkts, 3, array_done, nullptr), 0);
    ASSERT_EQ(frames().size(), before + 3);
    for (size_t i = 0; i < 3; i++) {
        EXPECT_EQ(frames()[before + i][0], i + 1);
        EXPECT_EQ(tag_word(frames()[before + i]) & 0xFFFFFF, 1u << 4);
    }
    EXPECT_EQ(array_done_calls.load(), 1);
    EXPECT_EQ(array_done_pkt.load(), pkts[0]);

    // Refused whole: no packets, too many, a missing one, or one with its
    // own completion (which would finish after the array's).
    dxp_pkt *many[17];
    for (dxp_pkt *&p : many)
        p = pkts[0];
    dxp_pkt *gap[2] = {pkts[0], nullptr};
    frame[1].pkt.call_back = tx_done;
    EXPECT_EQ(dxp_tarn_tx_array(kUnit, pkts, 0, nullptr, nullptr), SOC_E_PARAM);
    EXPECT_EQ(dxp_tarn_tx_array(kUnit, many, 17, nullptr, nullptr), SOC_E_PARAM);
    EXPECT_EQ(dxp_tarn_tx_array(kUnit, gap, 2, nullptr, nullptr), SOC_E_PARAM);
    EXPECT_EQ(dxp_tarn_tx_array(kUnit, pkts, 3, array_done, nullptr), SOC_E_PARAM);
    EXPECT_EQ(frames().size(), before + 3);
    EXPECT_EQ(array_done_calls.load(), 1);
    EXPECT_EQ(dxp_tarn_tx_pkt_map(kUnit, nullptr, to, untagged), SOC_E_PARAM);
}

TEST_F(pktsvc, PacketRecordsAndDispatch) {
    dxp_pkt *pkt = nullptr;
    ASSERT_EQ(dxp_tarn_pkt_alloc(kUnit, 128, 0x4, &pkt), 0);
    EXPECT_EQ(pkt->flags, 0x4u);
    EXPECT_EQ(dxp_tarn_pkt_flags_len_setup(kUnit, pkt, 128, -1, 0), 108);
    EXPECT_EQ(dxp_tarn_pkt_flags_len_setup(kUnit, pkt, 128, 109, 0), SOC_E_PARAM);
    const uint8_t src[4] = {1, 2, 3, 4};
    EXPECT_EQ(dxp_pkt_memcpy(pkt, 126, src, 4), 2);
    EXPECT_EQ(dxp_tarn_pkt_free(kUnit, pkt), 0);

    uint8_t small[19];
    dxp_pkt_blk_t blk{small, sizeof small};
    dxp_pkt *out = reinterpret_cast<dxp_pkt *>(1);
    EXPECT_EQ(dxp_tarn_pkt_clear(kUnit, nullptr, &blk, 1, 0, &out), SOC_E_MEMORY);
    EXPECT_EQ(out, nullptr);

    dxp_pkt **array = nullptr;
    sal_alloc_fail_after(3);  // the array and one packet, then none
    EXPECT_EQ(dxp_tarn_pkt_blk_alloc(kUnit, 3, 64, 0, &array), SOC_E_MEMORY);
    sal_alloc_fail_after(0);
    EXPECT_EQ(array, nullptr);

    // The unit's dispatch table reaches the services.
    ASSERT_EQ(dxp_tarn_rx_cos_rate_set(kUnit, 3, 77), 0);
    int pps = 0;
    EXPECT_EQ(dxp_tarn_dispatch.rx_cos_rate_get(kUnit, 3, &pps), 0);
    EXPECT_EQ(pps, 77);
}

}  // namespace
