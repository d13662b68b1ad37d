// The RMON probe over a 26-port board on the chip model: the tables and
// their searches, row status, statistics from injected frames, history and
// alarms on the manual clock, events and their log, reset, reclaim and the
// settings item.
#include <gtest/gtest.h>

#include <sched.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "../../features/tests/feature_fixture.h"
#include "dxp.h"
#include "rmon.h"
#include "rmon_probe_fixture.h"
#include "sal_host.h"
#include "sim/board.h"
#include "soc_counter.h"

namespace {

using Oid = std::vector<rmon_oid_t>;

Oid instance(uint32_t group, uint32_t table, uint32_t column, std::initializer_list<uint32_t> idx) {
    Oid o = {1, 3, 6, 1, 2, 1, 16, group, table, 1, column};
    o.insert(o.end(), idx);
    return o;
}

int row_status(uint32_t group, uint32_t table, uint32_t index, int32_t status) {
    oid_val v{.type = RMON_ASN_INTEGER, .length = 4, .value = &status};
    int error = -1;
    rmonp_row_status_set(group, table, index, &v, &error);
    return error;
}

// A column write as the agent makes it: test, then set when the test passed.
int probe_write(uint32_t group, uint32_t table, uint32_t column, uint32_t index, oid_val v) {
    int error = -1;
    rmonp_var_set(group, table, column - 1, index, &v, RMON_ACT_TEST, &error);
    if (error == 0) rmonp_var_set(group, table, column - 1, index, &v, RMON_ACT_SET, &error);
    return error;
}
int write_int(uint32_t group, uint32_t table, uint32_t column, uint32_t index, int32_t value) {
    return probe_write(group, table, column, index,
                       {.type = RMON_ASN_INTEGER, .length = 4, .value = &value});
}
int write_text(uint32_t group, uint32_t table, uint32_t column, uint32_t index, std::string t) {
    return probe_write(
        group, table, column, index,
        {.type = RMON_ASN_OCTET_STR, .length = static_cast<uint16_t>(t.size()), .value = t.data()});
}
int write_oid(uint32_t group, uint32_t table, uint32_t column, uint32_t index, Oid o) {
    return probe_write(
        group, table, column, index,
        {.type = RMON_ASN_OBJECT_ID, .length = static_cast<uint16_t>(o.size()), .value = o.data()});
}

struct Read {
    int error = -1;
    Oid oid;
    uint8_t type = 0;
    std::vector<uint8_t> bytes;
    uint32_t u32() const {
        uint32_t v = 0;
        if (bytes.size() >= 4) std::memcpy(&v, bytes.data(), 4);
        return v;
    }
    std::string text() const { return {bytes.begin(), bytes.end()}; }
};

Read probe_read(Oid oid, int exact = 1) {
    Read r;
    uint8_t buf[512] = {};
    oid_val v{.type = 0, .length = sizeof buf, .value = buf};
    oid.resize(14);
    uint16_t len = static_cast<uint16_t>(oid.size());
    while (len > 0 && oid[len - 1] == 0 && len > 11)
        len--;
    rmonp_var_get(oid[7], oid[8], oid[10] - 1, oid.data(), &len, &v, exact, &r.error);
    r.oid.assign(oid.begin(), oid.begin() + len);
    r.type = v.type;
    size_t n = v.type == RMON_ASN_OBJECT_ID ? v.length * 4u : v.length;
    r.bytes.assign(buf, buf + n);
    return r;
}
uint32_t value(uint32_t group, uint32_t table, uint32_t column,
               std::initializer_list<uint32_t> idx) {
    return probe_read(instance(group, table, column, idx)).u32();
}

// Waits for work of the deferred-call thread, 10 s at most.
bool eventually(const std::function<bool()> &done) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        sched_yield();
    }
    return true;
}

uint32_t rows(int magic) {
    rmon_table *t = rmon_mibtree[magic];
    sal_mutex_take(t->mutex, sal_mutex_FOREVER);
    uint32_t n = t->count;
    sal_mutex_give(t->mutex);
    return n;
}

class rmon_probe : public feature_test::BoardTest {
  protected:
    void SetUp() override {
        BoardTest::SetUp();
        board->chip().poke("SWMODE", 0, 0x03);  // forwarding on, as the chip reset leaves it
        rmon_test::probe_start();
    }
    void TearDown() override {
        rmon_test::probe_stop();
        // The chip's counter thread goes before the port tables it reads.
        soc_tarn_counter_stop(0);
        BoardTest::TearDown();
    }
    static void tick(uint64_t seconds) { sal_clock_advance(seconds * 1000000); }
};

TEST_F(rmon_probe, DefaultRowsAndTheirInstanceSearch) {
    EXPECT_EQ(rows(RMON_ETHERSTATS), 26u);
    EXPECT_EQ(rows(RMON_HISTCONTROL), 52u);
    EXPECT_EQ(value(1, 1, 21, {26}), RMON_UNDER_CREATION);
    EXPECT_EQ(probe_read(instance(1, 1, 20, {3})).text(), "monitor");
    Read src = probe_read(instance(2, 1, 2, {29}));
    ASSERT_EQ(src.type, RMON_ASN_OBJECT_ID);
    EXPECT_EQ(src.bytes.size(), 44u);
    EXPECT_EQ(src.u32(), 1u);
    EXPECT_EQ(src.bytes[40], 3);  // ifIndex of port 3
    EXPECT_EQ(value(2, 1, 5, {26}), 1800u);
    EXPECT_EQ(value(2, 1, 5, {27}), 3600u);

    // Next from the column finds the first row; past the last row the OID
    // moves to the next column.
    Read first = probe_read(instance(1, 1, 1, {}), 0);
    EXPECT_EQ(first.error, 0);
    EXPECT_EQ(first.oid, instance(1, 1, 1, {1}));
    Read after = probe_read(instance(1, 1, 4, {7}), 0);
    EXPECT_EQ(after.oid, instance(1, 1, 4, {8}));
    Read past = probe_read(instance(1, 1, 4, {26}), 0);
    EXPECT_EQ(past.error, RMON_NO_SUCH_NAME);
    EXPECT_EQ(past.oid, instance(1, 1, 5, {1}));
    // Exact reads need a column and an index; 14 sub-identifiers find nothing.
    EXPECT_EQ(probe_read(instance(1, 1, 4, {})).error, RMON_NO_SUCH_NAME);
    EXPECT_EQ(probe_read(instance(1, 1, 4, {99})).error, RMON_NO_SUCH_NAME);
    int found = 1;
    Oid longer = instance(2, 2, 1, {1, 1, 1});
    rmon_oid_key key{.oid = longer.data(), .len = 14};
    EXPECT_EQ(rmon_idx_oid_var_search(0, &key, &found), nullptr);
    EXPECT_EQ(found, 0);
}

TEST_F(rmon_probe, RowStatusCreatesEnablesAndDeletes) {
    // Statistics and history rows are neither created nor deleted.
    EXPECT_EQ(row_status(1, 1, 30, RMON_CREATE_REQUEST), RMON_RESOURCE_UNAVAILABLE);
    EXPECT_EQ(row_status(2, 1, 3, RMON_INVALID), RMON_RESOURCE_UNAVAILABLE);
    // The agent's test of a deletion answers what the deletion would.
    EXPECT_EQ(write_int(1, 1, 21, 2, RMON_INVALID), RMON_RESOURCE_UNAVAILABLE);
    EXPECT_EQ(write_int(2, 1, 7, 30, RMON_INVALID), RMON_RESOURCE_UNAVAILABLE);
    EXPECT_EQ(rows(RMON_ETHERSTATS), 26u);
    EXPECT_EQ(row_status(9, 2, 1, RMON_CREATE_REQUEST), RMON_NO_CREATION);

    EXPECT_EQ(row_status(3, 1, 0, RMON_CREATE_REQUEST), RMON_WRONG_VALUE);
    EXPECT_EQ(row_status(3, 1, 70000, RMON_CREATE_REQUEST), RMON_WRONG_VALUE);
    EXPECT_EQ(row_status(3, 1, 9, RMON_VALID), RMON_NO_CREATION);
    ASSERT_EQ(row_status(3, 1, 9, RMON_CREATE_REQUEST), 0);
    EXPECT_EQ(row_status(3, 1, 9, RMON_CREATE_REQUEST), RMON_WRONG_VALUE);
    EXPECT_EQ(row_status(3, 1, 9, 7), RMON_WRONG_VALUE);
    EXPECT_EQ(value(3, 1, 12, {9}), RMON_UNDER_CREATION);
    EXPECT_EQ(value(3, 1, 4, {9}), 1u);  // absolute
    Read var = probe_read(instance(3, 1, 3, {9}));
    EXPECT_EQ(var.bytes.size(), 48u);  // etherStatsCRCAlignErrors.1

    // Columns are checked while the row is under creation only.
    EXPECT_EQ(write_int(3, 1, 4, 9, 3), RMON_WRONG_VALUE);
    EXPECT_EQ(write_int(3, 1, 5, 9, 3), RMON_NOT_WRITABLE);
    EXPECT_EQ(write_oid(3, 1, 3, 9, instance(1, 1, 20, {1})), RMON_WRONG_VALUE);  // a text
    EXPECT_EQ(write_oid(3, 1, 3, 9, instance(1, 1, 5, {99})), RMON_WRONG_VALUE);
    EXPECT_EQ(write_text(3, 1, 11, 9, "bad\x01"), RMON_WRONG_VALUE);
    EXPECT_EQ(write_oid(3, 1, 3, 9, instance(1, 1, 5, {2})), 0);
    ASSERT_EQ(row_status(3, 1, 9, RMON_VALID), 0);
    EXPECT_EQ(write_int(3, 1, 2, 9, 5), RMON_NO_CREATION);
    // A valid row stays when deleted; under creation it goes.
    EXPECT_EQ(row_status(3, 1, 9, RMON_INVALID), RMON_GEN_ERR);
    EXPECT_EQ(write_int(3, 1, 12, 9, RMON_INVALID), RMON_GEN_ERR);
    EXPECT_EQ(rows(RMON_ALARM), 1u);
    EXPECT_EQ(value(3, 1, 12, {9}), RMON_VALID);
    ASSERT_EQ(row_status(3, 1, 9, RMON_UNDER_CREATION), 0);
    EXPECT_EQ(row_status(3, 1, 9, RMON_INVALID), 0);
    EXPECT_EQ(rows(RMON_ALARM), 0u);

    for (uint32_t i = 1; i <= 30; i++)
        ASSERT_EQ(row_status(3, 1, 100 - i, RMON_CREATE_REQUEST), 0);
    EXPECT_EQ(row_status(3, 1, 200, RMON_CREATE_REQUEST), RMON_RESOURCE_UNAVAILABLE);
    // Rows stay in index order whatever the order of creation.
    EXPECT_EQ(probe_read(instance(3, 1, 1, {}), 0).oid, instance(3, 1, 1, {70}));
    EXPECT_EQ(probe_read(instance(3, 1, 1, {98}), 0).oid, instance(3, 1, 1, {99}));
}

TEST_F(rmon_probe, DataRowsRecycleTheOldestAndKeepTheirIndexesRising) {
    rmon_table *log = rmon_mibtree[RMON_LOG];
    for (int i = 0; i < 51; i++) {
        uint32_t n = rmon_data_index_next(log, 4);
        ASSERT_NE(rmon_row_data_create(log, 4, n, 50), nullptr);
    }
    ASSERT_NE(rmon_row_data_create(log, 2, rmon_data_index_next(log, 2), 50), nullptr);
    EXPECT_EQ(rows(RMON_LOG), 51u);
    // Event 4's oldest line was reused; next with an index and no second
    // index gives its first line.
    EXPECT_EQ(probe_read(instance(9, 2, 2, {4}), 0).oid, instance(9, 2, 2, {4, 2}));
    EXPECT_EQ(probe_read(instance(9, 2, 2, {4, 51})).error, 0);
    EXPECT_EQ(probe_read(instance(9, 2, 2, {2}), 0).oid, instance(9, 2, 2, {2, 1}));
    EXPECT_EQ(rmon_row_data_delete_all(log, 9, 4), 50);
    EXPECT_EQ(rmon_data_index_next(log, 4), 52u);
    EXPECT_EQ(rmon_row_data_delete_all(log, 9, 2), 1);
}

TEST_F(rmon_probe, StatisticsCountFramesSinceTheRowWasEnabled) {
    inject(1, 2);
    rmon_counter_pass();
    EXPECT_EQ(value(1, 1, 5, {1}), 0u);  // not counting yet
    ASSERT_EQ(row_status(1, 1, 1, RMON_VALID), 0);
    rmon_counter_pass();
    EXPECT_EQ(value(1, 1, 5, {1}), 0u);  // the first pass takes the bases
    inject(1, 3);
    rmon_counter_pass();
    EXPECT_EQ(value(1, 1, 5, {1}), 3u);
    EXPECT_GE(value(1, 1, 4, {1}), 3u * 60);
    EXPECT_EQ(value(1, 1, 5, {2}), 0u);
    // Disabling keeps the values; enabling again starts from zero.
    ASSERT_EQ(row_status(1, 1, 1, RMON_UNDER_CREATION), 0);
    inject(1, 1);

    rmon_counter_pass();
    EXPECT_EQ(value(1, 1, 5, {1}), 3u);
    ASSERT_EQ(row_status(1, 1, 1, RMON_VALID), 0);
    EXPECT_EQ(value(1, 1, 5, {1}), 0u);
    rmon_counter_pass();
    inject(1, 1);
    rmon_counter_pass();
    EXPECT_EQ(value(1, 1, 5, {1}), 1u);

    // Owners of statistics rows begin with "monitor"; a valid row takes
    // only its status.
    EXPECT_EQ(write_text(1, 1, 20, 2, "manager"), RMON_WRONG_VALUE);
    EXPECT_EQ(write_text(1, 1, 20, 2, "monitor-a"), 0);
    EXPECT_EQ(probe_read(instance(1, 1, 20, {2})).text(), "monitor-a");
    EXPECT_EQ(write_text(1, 1, 20, 1, "monitor-b"), RMON_NO_ACCESS);
    EXPECT_EQ(write_int(1, 1, 5, 2, 1), RMON_NOT_WRITABLE);
}

TEST_F(rmon_probe, HistoryKeepsFiftyIntervalSamplesOfItsPort) {
    ASSERT_EQ(write_int(2, 1, 5, 1, 2), 0);
    EXPECT_EQ(write_int(2, 1, 5, 1, 3601), RMON_WRONG_VALUE);
    EXPECT_EQ(write_int(2, 1, 3, 1, 10), RMON_GEN_ERR);
    EXPECT_EQ(write_text(2, 1, 6, 1, "someone"), RMON_WRONG_VALUE);
    ASSERT_EQ(row_status(1, 1, 1, RMON_VALID), 0);
    ASSERT_EQ(row_status(2, 1, 1, RMON_VALID), 0);
    rmon_counter_pass();
    tick(2);
    ASSERT_TRUE(eventually([] { return rows(RMON_ETHERHISTORY) == 1; }));
    inject(1, 4);
    rmon_counter_pass();
    tick(2);
    ASSERT_TRUE(eventually([] { return rows(RMON_ETHERHISTORY) == 2; }));
    EXPECT_EQ(value(2, 2, 6, {1, 1}), 0u);
    EXPECT_EQ(value(2, 2, 6, {1, 2}), 4u);  // etherHistoryPkts of the interval
    EXPECT_EQ(write_int(2, 2, 6, 1, 5), RMON_GEN_ERR);

    for (uint32_t n = 3; n <= 51; n++) {
        tick(2);
        ASSERT_TRUE(eventually([n] {
            return probe_read(instance(2, 2, 2, {1, n})).error == 0;
        })) << n;
    }
    EXPECT_EQ(rows(RMON_ETHERHISTORY), 50u);
    EXPECT_EQ(probe_read(instance(2, 2, 2, {1}), 0).oid, instance(2, 2, 2, {1, 2}));
    EXPECT_EQ(value(2, 2, 6, {1, 51}), 0u);

    // Disabling drops the samples; indexes go on from where they were.
    ASSERT_EQ(row_status(2, 1, 1, RMON_UNDER_CREATION), 0);
    EXPECT_EQ(rows(RMON_ETHERHISTORY), 0u);
    ASSERT_EQ(row_status(2, 1, 1, RMON_VALID), 0);
    tick(2);
    ASSERT_TRUE(eventually([] { return rows(RMON_ETHERHISTORY) == 1; }));
    EXPECT_EQ(probe_read(instance(2, 2, 2, {1}), 0).oid, instance(2, 2, 2, {1, 52}));
}

TEST_F(rmon_probe, LongIntervalsSampleOncePerFullInterval) {
    // 3600 s is beyond the longest single delay of the deferred calls.
    ASSERT_EQ(row_status(2, 1, 27, RMON_VALID), 0);
    ASSERT_EQ(write_int(2, 1, 5, 1, 1), 0);
    ASSERT_EQ(row_status(2, 1, 1, RMON_VALID), 0);
    tick(1);
    ASSERT_TRUE(eventually([] { return rows(RMON_ETHERHISTORY) == 1; }));
    EXPECT_EQ(probe_read(instance(2, 2, 2, {27}), 0).error, RMON_NO_SUCH_NAME);
    // (The clock moves at most 2000 s at a time: the deferred calls compare
    // due times as signed 32-bit microseconds.)
    tick(2000);
    ASSERT_TRUE(eventually([] { return rows(RMON_ETHERHISTORY) == 2; }));
    EXPECT_EQ(probe_read(instance(2, 2, 2, {27}), 0).error, RMON_NO_SUCH_NAME);
    tick(1600);
    ASSERT_TRUE(eventually([] { return probe_read(instance(2, 2, 2, {27}), 0).error == 0; }));
}

TEST_F(rmon_probe, RequestRecordsOfTheCallbackSlots) {
    // Create, fill and enable an event through write records.
    auto set = [](int action, Oid name, oid_val value) {
        int error = -1, result = -1;
        rmon_set_request r{.action = action,
                           .oid = name.data(),
                           .oid_len = static_cast<uint16_t>(name.size()),
                           .value = &value,
                           .error = &error,
                           .result = &result};
        EXPECT_EQ(rmonprobe_applop_set(&r), 0);
        return error;
    };
    int32_t create = RMON_CREATE_REQUEST, valid = RMON_VALID, trap = 3;
    oid_val as_int{.type = RMON_ASN_INTEGER, .length = 4, .value = &create};
    EXPECT_EQ(set(6, instance(9, 1, 7, {12}), as_int), 0);
    as_int.value = &trap;
    EXPECT_EQ(set(0, instance(9, 1, 3, {12}), as_int), 0);
    EXPECT_EQ(set(3, instance(9, 1, 3, {12}), as_int), 0);
    as_int.value = &valid;
    EXPECT_EQ(set(6, instance(9, 1, 7, {12}), as_int), 0);
    EXPECT_EQ(set(6, instance(2, 2, 1, {1}), as_int), RMON_NO_CREATION);
    // A column without an index names no row that could ever be made.
    EXPECT_EQ(set(6, instance(9, 1, 7, {}), as_int), RMON_NO_CREATION);
    EXPECT_EQ(set(0, instance(9, 1, 3, {}), as_int), RMON_NO_CREATION);
    EXPECT_EQ(rmonprobe_applop_set(nullptr), 1);

    // A next read through the read record lands on the event's type.
    Oid name = instance(9, 1, 3, {});
    name.resize(13);
    uint16_t len = 11;
    uint8_t buf[8] = {};
    oid_val out{.type = RMON_ASN_INTEGER, .length = sizeof buf, .value = buf};
    oid_val *out_ptr = &out;
    int error = -1, result = -1;
    Oid variable = instance(9, 1, 3, {});
    rmon_get_request r{.variable_oid = variable.data(),
                       .variable_len = static_cast<uint16_t>(variable.size()),
                       .oid = name.data(),
                       .oid_len = &len,
                       .exact = 0,
                       .value = &out_ptr,
                       .error = &error,
                       .result = &result};
    ASSERT_EQ(rmonprobe_applop_get(&r), 0);
    EXPECT_EQ(len, 12);
    EXPECT_EQ(name[11], 12u);
    EXPECT_EQ(out.length, 4);
    EXPECT_EQ(buf[0], 3);
    EXPECT_EQ(value(9, 1, 7, {12}), RMON_VALID);
}

TEST_F(rmon_probe, AlarmsFireTheirEventsIntoTheLog) {
    ASSERT_EQ(row_status(9, 1, 1, RMON_CREATE_REQUEST), 0);
    ASSERT_EQ(write_int(9, 1, 3, 1, 2), 0);  // log
    ASSERT_EQ(write_text(9, 1, 2, 1, "errors"), 0);
    ASSERT_EQ(row_status(9, 1, 1, RMON_VALID), 0);
    ASSERT_EQ(row_status(1, 1, 1, RMON_VALID), 0);
    rmon_counter_pass();

    ASSERT_EQ(row_status(3, 1, 4, RMON_CREATE_REQUEST), 0);
    const Oid pkts = {1, 3, 6, 1, 2, 1, 16, 1, 1, 1, 5, 1};
    ASSERT_EQ(write_oid(3, 1, 3, 4, pkts), 0);
    ASSERT_EQ(write_int(3, 1, 2, 4, 1), 0);
    ASSERT_EQ(write_int(3, 1, 4, 4, 2), 0);  // delta
    ASSERT_EQ(write_int(3, 1, 6, 4, 3), 0);  // rising or falling
    ASSERT_EQ(write_int(3, 1, 7, 4, 5), 0);
    ASSERT_EQ(write_int(3, 1, 8, 4, 1), 0);
    ASSERT_EQ(write_int(3, 1, 9, 4, 1), 0);
    ASSERT_EQ(write_int(3, 1, 10, 4, 1), 0);
    ASSERT_EQ(row_status(3, 1, 4, RMON_VALID), 0);

    inject(1, 6);
    rmon_counter_pass();
    tick(1);
    ASSERT_TRUE(eventually([] { return rows(RMON_LOG) == 1; }));
    EXPECT_EQ(value(3, 1, 5, {4}), 6u);
    EXPECT_EQ(probe_read(instance(9, 2, 4, {1, 1})).text(),
              "Alarm(#id=4) rising event!  [Variable=1.3.6.1.2.1.16.1.1.1.5.1;  type=delta(2); "
              "value=6; threshold=5]\n");
    // No frames: the delta drops from 6 to 0 and the falling event fires.
    tick(1);
    ASSERT_TRUE(eventually([] { return rows(RMON_LOG) == 2; }));
    EXPECT_NE(probe_read(instance(9, 2, 4, {1, 2})).text().find("falling event"),
              std::string::npos);
    EXPECT_GT(value(9, 1, 5, {1}), 0u);  // eventLastTimeSent
    EXPECT_EQ(value(9, 2, 1, {1, 2}), 1u);

    // An alarm whose variable disappears deletes itself at its next sample.
    ASSERT_EQ(row_status(3, 1, 5, RMON_CREATE_REQUEST), 0);
    ASSERT_EQ(row_status(3, 1, 6, RMON_CREATE_REQUEST), 0);
    ASSERT_EQ(write_oid(3, 1, 3, 5, {1, 3, 6, 1, 2, 1, 16, 3, 1, 1, 5, 6}), 0);
    ASSERT_EQ(write_int(3, 1, 2, 5, 1), 0);
    ASSERT_EQ(row_status(3, 1, 5, RMON_VALID), 0);
    ASSERT_EQ(row_status(3, 1, 6, RMON_INVALID), 0);
    // (A sample finding its table busy tries again at the next interval.)
    ASSERT_TRUE(eventually([] {
        tick(1);
        return rows(RMON_ALARM) == 1;
    }));
    // Deleting the event takes its log with it.
    ASSERT_EQ(row_status(9, 1, 1, RMON_UNDER_CREATION), 0);
    ASSERT_EQ(row_status(9, 1, 1, RMON_INVALID), 0);
    EXPECT_EQ(rows(RMON_LOG), 0u);
}

TEST_F(rmon_probe, DeltaSamplesWrapAndEventsDoWhatTheirTypeSays) {
    // Alarm 2 samples alarm 20's rising threshold, a value the test sets.
    ASSERT_EQ(row_status(3, 1, 20, RMON_CREATE_REQUEST), 0);
    ASSERT_EQ(write_int(3, 1, 7, 20, -16), 0);
    ASSERT_EQ(row_status(9, 1, 5, RMON_CREATE_REQUEST), 0);
    ASSERT_EQ(write_int(9, 1, 3, 5, 2), 0);  // log
    ASSERT_EQ(row_status(9, 1, 5, RMON_VALID), 0);
    ASSERT_EQ(row_status(3, 1, 2, RMON_CREATE_REQUEST), 0);
    ASSERT_EQ(write_oid(3, 1, 3, 2, instance(3, 1, 7, {20})), 0);
    ASSERT_EQ(write_int(3, 1, 2, 2, 1), 0);
    ASSERT_EQ(write_int(3, 1, 4, 2, 2), 0);  // delta
    ASSERT_EQ(write_int(3, 1, 7, 2, 32), 0);
    ASSERT_EQ(write_int(3, 1, 9, 2, 5), 0);
    ASSERT_EQ(row_status(3, 1, 2, RMON_VALID), 0);
    ASSERT_EQ(write_int(3, 1, 7, 20, 16), 0);  // 0xfffffff0 -> 0x10: up 32
    tick(1);
    ASSERT_TRUE(eventually([] { return rows(RMON_LOG) == 1; }));
    EXPECT_EQ(value(3, 1, 5, {2}), 32u);

    // None only stamps the event; an inactive or missing event does nothing.
    ASSERT_EQ(row_status(9, 1, 6, RMON_CREATE_REQUEST), 0);
    ASSERT_EQ(row_status(9, 1, 6, RMON_VALID), 0);
    ASSERT_EQ(row_status(9, 1, 7, RMON_CREATE_REQUEST), 0);
    ASSERT_EQ(write_int(9, 1, 3, 7, 2), 0);
    rmon_entry *alarm = rmon_row_search(1, 3, 1, 2, 0);
    ASSERT_NE(alarm, nullptr);
    for (uint32_t event : {0u, 6u, 7u, 99u})
        rmon_mib_event_trigger(event, alarm, 2);
    EXPECT_EQ(rows(RMON_LOG), 1u);
    EXPECT_NE(value(9, 1, 5, {6}), 0u);
    EXPECT_EQ(value(9, 1, 5, {7}), 0u);
    rmon_mib_event_trigger(5, alarm, 2);
    Read first = probe_read(instance(9, 2, 4, {5}), 0);
    EXPECT_NE(first.text().find("rising event!"), std::string::npos);
    EXPECT_NE(probe_read(first.oid, 0).text().find("falling event!"), std::string::npos);
    EXPECT_EQ(rows(RMON_LOG), 2u);
}

TEST_F(rmon_probe, ResetAndReclaimLeaveTheDefaultRows) {
    ASSERT_EQ(write_int(2, 1, 5, 27, 60), 0);
    ASSERT_EQ(row_status(2, 1, 27, RMON_VALID), 0);
    ASSERT_EQ(row_status(1, 1, 2, RMON_VALID), 0);
    for (uint32_t i : {1, 2, 3})
        ASSERT_EQ(row_status(3, 1, i, RMON_CREATE_REQUEST), 0);
    ASSERT_EQ(row_status(9, 1, 8, RMON_CREATE_REQUEST), 0);
    ASSERT_EQ(write_int(3, 1, 9, 3, 8), 0);
    ASSERT_EQ(row_status(3, 1, 3, RMON_VALID), 0);
    ASSERT_EQ(write_text(3, 1, 11, 1, "monitor"), 0);

    // Rows under creation go at the second pass unless read between; the
    // valid row and the one owned by "monitor" stay.
    rmon_resource_reclaim_pass();
    EXPECT_EQ(value(9, 1, 3, {8}), 1u);
    rmon_resource_reclaim_pass();
    EXPECT_EQ(rows(RMON_ALARM), 2u);
    EXPECT_EQ(rows(RMON_EVENT), 1u);
    rmon_resource_reclaim_pass();
    EXPECT_EQ(rows(RMON_EVENT), 0u);
    EXPECT_EQ(value(3, 1, 9, {3}), 0u);  // the alarm no longer names it
    EXPECT_EQ(rows(RMON_ALARM), 2u);

    EXPECT_EQ(rmonp_table_reset(), 0);
    EXPECT_EQ(rows(RMON_ALARM), 0u);
    EXPECT_EQ(value(2, 1, 21 - 14, {27}), RMON_UNDER_CREATION);
    EXPECT_EQ(value(2, 1, 5, {27}), 3600u);
    EXPECT_EQ(value(1, 1, 21, {2}), RMON_UNDER_CREATION);
    EXPECT_EQ(rows(RMON_ETHERHISTORY), 0u);
}

TEST_F(rmon_probe, SettingsItemKeepsTheControlRows) {
    ASSERT_EQ(row_status(1, 1, 3, RMON_VALID), 0);
    ASSERT_EQ(write_int(2, 1, 5, 4, 90), 0);
    ASSERT_EQ(write_text(2, 1, 6, 4, "monitor-x"), 0);
    ASSERT_EQ(row_status(9, 1, 2, RMON_CREATE_REQUEST), 0);
    ASSERT_EQ(write_text(9, 1, 4, 2, "public"), 0);
    ASSERT_EQ(row_status(9, 1, 2, RMON_VALID), 0);
    ASSERT_EQ(row_status(3, 1, 7, RMON_CREATE_REQUEST), 0);
    ASSERT_EQ(write_int(3, 1, 7, 7, -5), 0);
    ASSERT_EQ(row_status(3, 1, 7, RMON_VALID), 0);
    // Alarm 5 samples alarm 7's value: it starts again though 7 comes later.
    ASSERT_EQ(row_status(3, 1, 5, RMON_CREATE_REQUEST), 0);
    ASSERT_EQ(write_oid(3, 1, 3, 5, instance(3, 1, 5, {7})), 0);
    ASSERT_EQ(row_status(3, 1, 5, RMON_VALID), 0);

    feature_test::MemoryMedium m;
    ASSERT_GT(m.save(rmon_settings_item), 0);
    EXPECT_EQ(static_cast<uint32_t>(rmon_settings_item(SETTINGS_OP_VERSION, nullptr)), 0x88740001u);
    rmonp_table_reset();
    ASSERT_GE(m.load(rmon_settings_item), 0);
    EXPECT_EQ(m.at, m.bytes.size());
    EXPECT_EQ(value(1, 1, 21, {3}), RMON_VALID);
    EXPECT_EQ(value(1, 1, 21, {4}), RMON_UNDER_CREATION);
    EXPECT_EQ(value(2, 1, 5, {4}), 90u);
    EXPECT_EQ(probe_read(instance(2, 1, 6, {4})).text(), "monitor-x");
    EXPECT_EQ(probe_read(instance(9, 1, 4, {2})).text(), "public");
    EXPECT_EQ(value(9, 1, 7, {2}), RMON_VALID);
    EXPECT_EQ(value(3, 1, 12, {7}), RMON_VALID);
    EXPECT_EQ(value(3, 1, 12, {5}), RMON_VALID);
    EXPECT_EQ(static_cast<int32_t>(value(3, 1, 7, {7})), -5);

    // A cut record changes nothing.
    m.bytes.resize(m.bytes.size() - 3);
    EXPECT_LT(m.load(rmon_settings_item), 0);
    EXPECT_EQ(value(3, 1, 12, {7}), RMON_VALID);
}

}  // namespace
