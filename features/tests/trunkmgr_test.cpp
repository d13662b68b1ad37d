// Trunk groups, their change records on the deferred-call thread, and the
// "trunk" settings item.
#include "trunkmgr.h"

#include <gtest/gtest.h>

#include <mutex>

#include "feature_fixture.h"
#include "port_reserve.h"
#include "sal.h"

namespace {

using feature_test::Ports;

struct Seen {
    uint32_t type, tid;
    std::vector<int> a, b;
    bool operator==(const Seen &) const = default;
};
std::mutex seen_lock;
std::vector<Seen> seen;

std::vector<int> ports_of(const upbmp_t &bmp) {
    std::vector<int> out;
    for (int n = 1; n <= board_num_uports; n++)
        if (upbmp_test(&bmp, n)) out.push_back(n);
    return out;
}

void record(const trunk_change *c) {
    std::lock_guard<std::mutex> hold(seen_lock);
    seen.push_back(
        {c->type, c->trunk_id, ports_of(c->a), c->b.bits ? ports_of(c->b) : std::vector<int>{}});
}

class trunkmgr : public feature_test::BoardTest {
  protected:
    void SetUp() override {
        BoardTest::SetUp();
        ASSERT_EQ(trunkmgr_init(), 0);
        ASSERT_EQ(trunkmgr_handler_register(record), 0);
        ASSERT_EQ(trunkmgr_handler_register(record), 0);  // once only
        seen.clear();
    }
    void TearDown() override {
        drain();
        trunkmgr_handler_unregister(record);
        BoardTest::TearDown();
    }
    // Makes the trunk in the chip as the page would.
    static void chip_trunk(int tid, std::initializer_list<int> uports) {
        Ports members(uports);
        dxpx_trunk_add_info_t info{};
        dxpx_lplist_init(&info.ports, 0, 0);
        upbmp_to_lplist(&members.bmp, &info.ports);
        ASSERT_EQ(dxpx_trunk_create_with_tid(tid), 0);
        ASSERT_EQ(dxpx_trunk_set(tid, &info), 0);
        dxpx_lplist_free(&info.ports);
    }
    static std::vector<int> table(int tid) {
        upbmp_t out{};
        if (trunkmgr_trunk_get(tid, &out) != 0) return {};
        std::vector<int> ports = ports_of(out);
        upbmp_free(&out);
        return ports;
    }
    static int chip_members(int tid) {
        dxp_trunk_add_info info{};
        return dxp_trunk_get(DXPX_CPU_UNIT, tid, &info) == 0 ? info.num_ports : -1;
    }
    // Deferred calls run in queue order: once a marker has run, every change
    // queued before it has been delivered.
    static std::vector<Seen> drain() {
        sal_sem_t done = sal_sem_create("drain", 1, 0);
        sal_dpc([](void *sem, void *, void *, void *,
                   void *) { sal_sem_give(static_cast<sal_sem_t>(sem)); },
                done, nullptr, nullptr, nullptr, nullptr);
        EXPECT_EQ(sal_sem_take(done, 10000000), 0);
        sal_sem_destroy(done);
        std::lock_guard<std::mutex> hold(seen_lock);
        return std::exchange(seen, {});
    }
};

TEST_F(trunkmgr, AnnouncesCreateModifyAndDeleteInOrder) {
    Ports first{1, 2}, second{2, 3};
    ASSERT_EQ(trunkmgr_trunk_set(0, &first.bmp), 0);
    EXPECT_EQ(trunkmgr_port_trunk_get(1), 0);
    EXPECT_EQ(trunkmgr_free_port_count(), 24);
    ASSERT_EQ(trunkmgr_trunk_set(0, &first.bmp), 0);  // unchanged: nothing queued
    ASSERT_EQ(trunkmgr_trunk_set(0, &second.bmp), 0);
    EXPECT_EQ(trunkmgr_port_trunk_get(1), -1);
    EXPECT_EQ(trunkmgr_port_in_trunk(0, 3), 1);
    EXPECT_EQ(trunkmgr_trunk_port_by_index(1), 3);
    EXPECT_EQ(trunkmgr_trunk_id_by_index(0), 0);
    EXPECT_EQ(trunkmgr_trunk_id_by_index(1), -1);
    ASSERT_EQ(trunkmgr_trunk_delete(0), 0);
    ASSERT_EQ(trunkmgr_trunk_delete(1), 0);  // not configured: nothing queued
    EXPECT_EQ(trunkmgr_trunk_set(3, &first.bmp), SOC_E_BADID);
    upbmp_t out{};
    EXPECT_EQ(trunkmgr_trunk_get(0, &out), SOC_E_NOT_FOUND);

    EXPECT_EQ(drain(), (std::vector<Seen>{{TRUNK_CHANGE_CREATE, 0, {1, 2}, {}},
                                          {TRUNK_CHANGE_MODIFY, 0, {2, 3}, {1, 2}},
                                          {TRUNK_CHANGE_DELETE, 0, {2, 3}, {}}}));
    EXPECT_EQ(trunkmgr_free_port_count(), 26);
}

TEST_F(trunkmgr, ItemRebuildsChipTrunksAndGroups) {
    Ports members{3, 4};
    dxpx_trunk_add_info_t info{};
    info.psc = 2;
    dxpx_lplist_init(&info.ports, 0, 0);
    upbmp_to_lplist(&members.bmp, &info.ports);
    ASSERT_EQ(dxpx_trunk_create_with_tid(1), 0);
    ASSERT_EQ(dxpx_trunk_set(1, &info), 0);
    dxpx_lplist_free(&info.ports);

    feature_test::MemoryMedium saved;
    ASSERT_EQ(saved.save(trunkmgr_item), 3 * 40);
    ASSERT_EQ(dxpx_trunk_destroy(1), 0);
    ASSERT_GT(saved.load(trunkmgr_item), 0);
    upbmp_t out{};
    ASSERT_EQ(trunkmgr_trunk_get(1, &out), 0);
    EXPECT_EQ(ports_of(out), (std::vector<int>{3, 4}));
    upbmp_free(&out);
    int psc = 0;
    ASSERT_EQ(dxpx_trunk_psc_get(1, &psc), 0);
    EXPECT_EQ(psc, 2);

    // A row of nine members refuses the record whole: no trunk changes.
    saved.bytes[40 + 7] = 9;
    drain();
    EXPECT_EQ(saved.load(trunkmgr_item), -1);
    ASSERT_EQ(trunkmgr_trunk_get(1, &out), 0);
    EXPECT_EQ(ports_of(out), (std::vector<int>{3, 4}));
    upbmp_free(&out);
    EXPECT_TRUE(drain().empty());
}

TEST_F(trunkmgr, ItemLeavesATrunkOfAPortUnderSelfTestAsItRuns) {
    chip_trunk(0, {3, 4});
    chip_trunk(1, {5, 6});
    feature_test::MemoryMedium saved;
    ASSERT_GT(saved.save(trunkmgr_item), 0);
    ASSERT_GT(saved.load(trunkmgr_item), 0);
    // The monitor emptied trunk 1 in the chip, the monitor made trunk 2 of
    // other ports, and a self-test holds port 3.
    ASSERT_EQ(dxpx_trunk_destroy(0), 0);
    ASSERT_EQ(dxpx_trunk_destroy(1), 0);
    chip_trunk(1, {7, 8});
    int unit = 0;
    dxp_pbmp_t held{};
    reserve_uport(3, "Traffic Test", &unit, &held);
    drain();

    // Trunk 1 keeps its table row and its (missing) chip trunk; trunk 2 is
    // loaded as stored.
    ASSERT_GT(saved.load(trunkmgr_item), 0);
    EXPECT_EQ(table(0), (std::vector<int>{3, 4}));
    EXPECT_EQ(chip_members(0), -1);
    EXPECT_EQ(table(1), (std::vector<int>{5, 6}));
    EXPECT_EQ(chip_members(1), 2);
    for (const Seen &change : drain())
        EXPECT_EQ(change.tid, 1u);

    // Once the test has given the port back, the next load applies it.
    port_reserve_release(unit, held);
    ASSERT_GT(saved.load(trunkmgr_item), 0);
    EXPECT_EQ(chip_members(0), 2);
}

}  // namespace
