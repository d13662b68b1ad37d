// The L2 shadow thread's reports over the chip model's learning and ageing,
// the callback registry, and the L2 freeze.
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "drv_l2ctl.h"
#include "drv_mem.h"
#include "soc_arl.h"
#include "soc_error.h"
#include "unit_fixture.h"

namespace {

struct Report {
    bool has_old, has_new;
    uint64_t mac;
    uint32_t old_port, new_port;
};

class Reports {
  public:
    static void callback(int unit, uint32_t *old_entry, uint32_t *new_entry, void *data) {
        auto *self = static_cast<Reports *>(data);
        const uint32_t *e = new_entry ? new_entry : old_entry;
        Report r{old_entry != nullptr, new_entry != nullptr, drv_arl_entry_mac(unit, e),
                 old_entry ? drv_arl_entry_field(unit, old_entry, DRV_MEM_FIELD_SRC_PORT) : 0,
                 new_entry ? drv_arl_entry_field(unit, new_entry, DRV_MEM_FIELD_SRC_PORT) : 0};
        std::lock_guard<std::mutex> g(self->lock_);
        self->list_.push_back(r);
    }
    std::vector<Report> list() {
        std::lock_guard<std::mutex> g(lock_);
        return list_;
    }
    // The reports, one per line, for failure messages.
    std::string text() {
        std::string out;
        char line[64];
        for (const Report &r : list()) {
            std::snprintf(line, sizeof line, "%s%s %012llx %u->%u\n", r.has_old ? "old" : "-",
                          r.has_new ? "+new" : "", static_cast<unsigned long long>(r.mac),
                          r.old_port, r.new_port);
            out += line;
        }
        return out;
    }
    // Polls until n reports came, at most 10 s.
    bool wait_for(size_t n) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (list().size() < n) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::yield();
        }
        return true;
    }

  private:
    std::mutex lock_;
    std::vector<Report> list_;
};

// Steps of 100 microseconds.
constexpr int kShortInterval = 8192 * 100;

class soc_arl : public soc_test::UnitTest {
  protected:
    void TearDown() override {
        if (SOC_CONTROL(0) != nullptr) {
            soc_arl_stop(0);
            soc_arl_notify_unregister(0, nullptr, nullptr);
        }
        UnitTest::TearDown();
    }
    sim::TableEngine &model() { return board->chip().tables(); }
    void learn_mode_by_vlan() { board->chip().poke("VLAN_CTRL0", 0, 0xe0); }
    // A DXP7102 unit whose shadow thread runs with short steps and reports.
    void start_thread(Reports *reports) {
        start(sim::ChipKind::DXP7102A1);
        learn_mode_by_vlan();
        ASSERT_EQ(soc_arl_notify_register(0, Reports::callback, reports), 0);
        ASSERT_EQ(soc_arl_start(0, kShortInterval), 0);
    }
    // Waits (at most 10 s) until the thread started n more searches, the
    // only writes of an idle thread.
    void wait_for_searches(size_t n) {
        board->accessLog().clear();
        board->accessLog().enable(true);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (board->accessLog().count(sim::BusOp::Write) < n &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::yield();
        board->accessLog().enable(false);
    }
    // A valid entry of VLAN 1.
    static std::vector<uint32_t> entry(uint64_t mac, uint32_t port) {
        const drv_if_t *s = DRV_SERVICES(0);
        std::vector<uint32_t> e(3, 0);
        uint32_t m[2] = {static_cast<uint32_t>(mac), static_cast<uint32_t>(mac >> 32)};
        uint32_t vid[2] = {1, 0}, p[2] = {port, 0}, one[2] = {1, 0};
        s->mem_field_set(0, DRV_MEM_ARL, DRV_MEM_FIELD_MAC, e.data(), m);
        s->mem_field_set(0, DRV_MEM_ARL, DRV_MEM_FIELD_VLANID, e.data(), vid);
        s->mem_field_set(0, DRV_MEM_ARL, DRV_MEM_FIELD_SRC_PORT, e.data(), p);
        s->mem_field_set(0, DRV_MEM_ARL, DRV_MEM_FIELD_VALID, e.data(), one);
        return e;
    }
};

TEST_F(soc_arl, ThreadReportsLearnMoveAndAgeOnce) {
    Reports reports;
    ASSERT_NO_FATAL_FAILURE(start_thread(&reports));

    const uint64_t mac = 0x0000aabbcc01;
    ASSERT_TRUE(model().learn(3, mac, 1));
    ASSERT_TRUE(reports.wait_for(1));
    ASSERT_TRUE(model().learn(5, mac, 1));
    ASSERT_TRUE(reports.wait_for(2));
    ASSERT_EQ(drv_age_timer_set(0, 1, 10), 0);
    model().advanceAgeClock(10);  // a pass clears the hit bit, the next one ages
    model().advanceAgeClock(10);
    ASSERT_TRUE(reports.wait_for(3));

    std::vector<Report> r = reports.list();
    EXPECT_TRUE(!r[0].has_old && r[0].has_new && r[0].mac == mac && r[0].new_port == 3);
    EXPECT_TRUE(r[1].has_old && r[1].has_new && r[1].old_port == 3 && r[1].new_port == 5);
    EXPECT_TRUE(r[2].has_old && !r[2].has_new && r[2].mac == mac);

    // A group entry taking a learned entry's row reports its loss once.
    ASSERT_TRUE(model().learn(4, 0x0000aabbcc02, 1));
    ASSERT_TRUE(reports.wait_for(4));
    int index = model().arlIndex(0x0000aabbcc02, 1);
    model().memPoke(index, model().memPeek(index) | 1ull << 28);  // MAC bit 40
    ASSERT_TRUE(reports.wait_for(5));
    EXPECT_TRUE(reports.list()[4].has_old && !reports.list()[4].has_new);
    // Two later learns, each seen in its own scan: nothing more about the row.
    ASSERT_TRUE(model().learn(4, 0x0000aabbcc03, 1));
    ASSERT_TRUE(reports.wait_for(6));
    ASSERT_TRUE(model().learn(4, 0x0000aabbcc04, 1));
    ASSERT_TRUE(reports.wait_for(7));
    EXPECT_EQ(reports.list().size(), 7u);
    EXPECT_EQ(reports.list()[6].mac, 0x0000aabbcc04u);
}

TEST_F(soc_arl, TableWritesKeepTheShadowAndReportOnce) {
    start(sim::ChipKind::DXP7102A1);
    learn_mode_by_vlan();  // as the lookups below leave it
    Reports reports;
    ASSERT_EQ(soc_arl_notify_register(0, Reports::callback, &reports), 0);
    ASSERT_EQ(soc_arl_start(0, kShortInterval), 0);
    const drv_if_t *s = DRV_SERVICES(0);
    constexpr uint32_t kByKey = DRV_MEM_OP_BY_MAC | DRV_MEM_OP_BY_VLAN;
    // The thread is up once it reports what the chip learned.
    ASSERT_TRUE(model().learn(9, 0x00000000b009, 1));
    ASSERT_TRUE(reports.wait_for(1));
    std::vector<uint32_t> a = entry(0x00000000b001, 2), b = entry(0x00000000b002, 3);
    ASSERT_EQ(s->mem_insert(0, DRV_MEM_ARL, a.data(), kByKey), 0);
    ASSERT_EQ(reports.list().size(), 2u);  // reported by the insert itself
    ASSERT_EQ(s->mem_insert(0, DRV_MEM_ARL, b.data(), kByKey), 0);
    ASSERT_EQ(s->mem_delete(0, DRV_MEM_ARL, b.data(), kByKey), 0);
    ASSERT_EQ(reports.list().size(), 4u);
    EXPECT_TRUE(reports.list()[3].has_old && !reports.list()[3].has_new);

    // The fast age removes it in the chip and in the shadow at once,
    // reported once, and a search result the chip latched just before it
    // does not bring it back.
    std::vector<uint32_t> port2 = entry(0, 2);
    ASSERT_EQ(s->mem_delete(0, DRV_MEM_ARL, port2.data(), DRV_MEM_OP_DELETE_BY_PORT), 0);
    ASSERT_EQ(reports.list().size(), 5u) << reports.text();
    EXPECT_EQ(reports.list()[4].mac, 0x00000000b001u);
    ASSERT_TRUE(model().learn(4, 0x00000000b003, 1));
    auto last_of = [&](uint64_t mac) {
        Report found{};
        for (const Report &r : reports.list())
            if (r.mac == mac) found = r;
        return found;
    };
    auto settled = [&] {
        return !last_of(0x00000000b001).has_new && last_of(0x00000000b003).has_new;
    };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!settled() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    EXPECT_TRUE(settled()) << reports.text();
    size_t b001 = 0;
    for (const Report &r : reports.list())
        b001 += r.mac == 0x00000000b001u ? 1 : 0;
    EXPECT_EQ(b001, 2u) << reports.text();  // its insert and its removal
    // A flush also takes what the chip learnt that no shadow row holds yet:
    // a search result latched before it is not brought back for its port,
    // and is for another.
    const uint32_t before_flush = soc_arl_shadow_removals(0);
    std::vector<uint32_t> learnt = entry(0x00000000b004, 6), other = entry(0x00000000b005, 7);
    ASSERT_EQ(s->mem_delete(0, DRV_MEM_ARL, learnt.data(), DRV_MEM_OP_DELETE_BY_PORT), 0);
    EXPECT_TRUE(soc_arl_shadow_flushed_since(0, learnt.data(), before_flush));
    EXPECT_FALSE(soc_arl_shadow_flushed_since(0, other.data(), before_flush));

    // Clearing everything empties the shadow without reports.
    ASSERT_EQ(soc_arl_stop(0), 0);
    const size_t before_clear = reports.list().size();
    ASSERT_EQ(s->mem_clear(0, DRV_MEM_ARL), 0);
    EXPECT_EQ(reports.list().size(), before_clear);
}

// A chip whose port field carries an offset: a flush by port takes that
// port's entries from the shadow at once, and no other port's.
TEST_F(soc_arl, AFlushByPortTakesThatPortOnAChipWithAPortOffset) {
    start(sim::ChipKind::DXP7106);
    Reports reports;
    ASSERT_EQ(soc_arl_notify_register(0, Reports::callback, &reports), 0);
    ASSERT_EQ(soc_arl_start(0, kShortInterval), 0);
    const drv_if_t *s = DRV_SERVICES(0);
    constexpr uint32_t kByKey = DRV_MEM_OP_BY_MAC | DRV_MEM_OP_BY_VLAN;
    std::vector<uint32_t> low = entry(0x00000000c002, 2), high = entry(0x00000000c026, 26);
    ASSERT_EQ(s->mem_insert(0, DRV_MEM_ARL, low.data(), kByKey), 0);
    ASSERT_EQ(s->mem_insert(0, DRV_MEM_ARL, high.data(), kByKey), 0);
    ASSERT_EQ(reports.list().size(), 2u) << reports.text();
    const uint32_t before_flush = soc_arl_shadow_removals(0);
    ASSERT_EQ(s->mem_delete(0, DRV_MEM_ARL, high.data(), DRV_MEM_OP_DELETE_BY_PORT), 0);
    ASSERT_EQ(reports.list().size(), 3u) << reports.text();
    EXPECT_TRUE(reports.list()[2].has_old && !reports.list()[2].has_new);
    EXPECT_EQ(reports.list()[2].mac, 0x00000000c026u) << reports.text();
    EXPECT_TRUE(soc_arl_shadow_flushed_since(0, high.data(), before_flush));
    EXPECT_FALSE(soc_arl_shadow_flushed_since(0, low.data(), before_flush));
}

// Once the one learned entry is gone, the thread's scans find the table
// empty; a delete mark alone must make its end pass report a removal.
TEST_F(soc_arl, MarkOnATableTheScansFindEmptyIsReported) {
    Reports reports;
    ASSERT_NO_FATAL_FAILURE(start_thread(&reports));
    ASSERT_TRUE(model().learn(9, 0x00000000b009, 1));
    ASSERT_TRUE(reports.wait_for(1));
    model().memPoke(static_cast<uint32_t>(model().arlIndex(0x00000000b009, 1)), 0);
    ASSERT_TRUE(reports.wait_for(2)) << reports.text();
    // Two searches started after it: the pass that reported it has ended.
    wait_for_searches(2);

    // In the shadow only, as a write the chip then lost would leave it.
    std::vector<uint32_t> a = entry(0x00000000c001, 4);
    ASSERT_EQ(soc_arl_shadow_insert(0, 0, a.data()), 0);
    ASSERT_EQ(soc_arl_shadow_flush(0, 4, 1, DRV_MEM_OP_DELETE_BY_PORT), 0);
    ASSERT_TRUE(reports.wait_for(4)) << reports.text();
    Report r = reports.list()[3];
    EXPECT_TRUE(r.has_old && !r.has_new);
    EXPECT_EQ(r.mac, 0x00000000c001u);
}

TEST_F(soc_arl, StartStopAndCallbackSlots) {
    start(sim::ChipKind::DXP7102A1);
    ASSERT_EQ(soc_arl_start(0, 0), 0);
    EXPECT_EQ(unit0()->arl_table, nullptr);
    EXPECT_EQ(unit0()->arl_pid, SAL_THREAD_ERROR);
    // Steps of 0 microseconds: the thread ends at once; stop frees the shadow.
    ASSERT_EQ(soc_arl_start(0, 100), 0);
    EXPECT_NE(unit0()->arl_table, nullptr);
    EXPECT_EQ(soc_arl_stop(0), 0);
    EXPECT_EQ(unit0()->arl_table, nullptr);

    Reports a, b;
    for (int i = 0; i < SOC_ARL_CALLBACKS; i++)
        ASSERT_EQ(soc_arl_notify_register(0, Reports::callback, i == 1 ? &b : &a), 0);
    EXPECT_EQ(soc_arl_notify_register(0, Reports::callback, &a), SOC_E_MEMORY);
    EXPECT_EQ(soc_arl_notify_unregister(0, Reports::callback, nullptr), SOC_E_NOT_FOUND);
    ASSERT_EQ(soc_arl_notify_unregister(0, Reports::callback, &b), 0);
    uint32_t e[3] = {1, 0, 0};
    soc_arl_notify(0, nullptr, e);
    EXPECT_EQ(a.list().size(), 2u);
    EXPECT_EQ(b.list().size(), 0u);
    ASSERT_EQ(soc_arl_notify_unregister(0, nullptr, nullptr), 0);
    soc_arl_notify(0, nullptr, e);
    EXPECT_EQ(a.list().size(), 2u);
}

TEST_F(soc_arl, FreezeNestsAndRestoresLearningAndAgeing) {
    start(sim::ChipKind::DXP7101);
    const drv_if_t *s = DRV_SERVICES(0);
    soc_pbmp_t port7{{1u << 7, 0}};
    ASSERT_EQ(s->arl_learn_enable_set(0, port7, 2), 0);
    ASSERT_EQ(drv_age_timer_set(0, 1, 300), 0);
    ASSERT_EQ(soc_arl_thaw(0), 0);  // no freeze: nothing changes
    EXPECT_EQ(board->chip().peek("DIS_LEARN"), 1u << 7);

    ASSERT_EQ(soc_arl_freeze(0), 0);
    ASSERT_EQ(soc_arl_freeze(0), 0);
    EXPECT_EQ(board->chip().peek("DIS_LEARN"), (1ull << 53) - 1);
    EXPECT_EQ(board->chip().peek("SPTAGT"), 0u);
    ASSERT_EQ(soc_arl_thaw(0), 0);
    EXPECT_EQ(board->chip().peek("DIS_LEARN"), (1ull << 53) - 1);
    ASSERT_EQ(soc_arl_thaw(0), 0);
    EXPECT_EQ(board->chip().peek("DIS_LEARN"), 1u << 7);
    EXPECT_EQ(board->chip().peek("SPTAGT"), 300u);
    int mode = 0;
    ASSERT_EQ(s->arl_learn_enable_get(0, 7, &mode), 0);
    EXPECT_EQ(mode, 2);
    EXPECT_EQ(s->arl_learn_enable_set(0, port7, 3), SOC_E_UNAVAIL);
    EXPECT_EQ(s->arl_learn_enable_set(0, port7, 0), SOC_E_PARAM);
    // The four high-queue preemption registers of this family.
    ASSERT_EQ(s->queue_mode_set(0, port7, 1), 0);
    EXPECT_EQ(board->chip().peek("FCON_STRICT_HIQ_PRE_CTRL3"), 0xffffu);

    // Ageing off at the freeze: the thaw leaves the age timer alone.
    ASSERT_EQ(drv_age_timer_set(0, 0, 0), 0);
    ASSERT_EQ(soc_arl_freeze(0), 0);
    board->chip().poke("SPTAGT", 0, 77);
    ASSERT_EQ(soc_arl_thaw(0), 0);
    EXPECT_EQ(board->chip().peek("SPTAGT"), 77u);
}

TEST_F(soc_arl, FreezeNeedsLearningControl) {
    start(sim::ChipKind::DXP7102A1);
    EXPECT_EQ(soc_arl_freeze(0), SOC_E_UNAVAIL);
    EXPECT_EQ(soc_arl_thaw(0), 0);
}

}  // namespace

// A flushed entry's delete mark is for that entry: one added at its index
// afterwards (the CPU's station entry put back, say) stays in the shadow
// through the thread's next passes, not dropped until a later scan.
TEST_F(soc_arl, AnEntryAddedWhereAFlushedOneWasStaysInTheShadow) {
    Reports reports;
    ASSERT_NO_FATAL_FAILURE(start_thread(&reports));
    const drv_if_t *s = DRV_SERVICES(0);
    ASSERT_TRUE(model().learn(4, 0x00000000d001, 1));
    ASSERT_TRUE(reports.wait_for(1));
    std::vector<uint32_t> port4 = entry(0, 4);
    ASSERT_EQ(s->mem_delete(0, DRV_MEM_ARL, port4.data(), DRV_MEM_OP_DELETE_BY_PORT), 0);
    ASSERT_EQ(reports.list().size(), 2u) << reports.text();
    std::vector<uint32_t> station = entry(0x00000000d001, 5);
    uint32_t one[2] = {1, 0};
    s->mem_field_set(0, DRV_MEM_ARL, DRV_MEM_FIELD_STATIC, station.data(), one);
    ASSERT_EQ(s->mem_insert(0, DRV_MEM_ARL, station.data(), DRV_MEM_OP_BY_MAC | DRV_MEM_OP_BY_VLAN),
              0);
    ASSERT_EQ(reports.list().size(), 3u) << reports.text();

    // Three searches started after it: two passes have ended.
    wait_for_searches(3);
    for (const Report &r : reports.list())
        EXPECT_FALSE(r.has_old && !r.has_new && r.old_port == 5) << reports.text();
}
