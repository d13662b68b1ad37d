// Deferred calls: order, due times on the wrapping clock, cancellation and a
// full queue.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "sal.h"
#include "sal_host.h"

namespace {

std::mutex log_lock;
std::vector<intptr_t> call_log;

void record(void *, void *a1, void *, void *, void *) {
    std::lock_guard<std::mutex> g(log_lock);
    call_log.push_back(reinterpret_cast<intptr_t>(a1));
}

std::vector<intptr_t> calls() {
    std::lock_guard<std::mutex> g(log_lock);
    return call_log;
}

void *arg(intptr_t v) {
    return reinterpret_cast<void *>(v);
}

template <typename Pred>
bool eventually_dpc(Pred p) {
    for (int i = 0; i < 2000; i++) {
        if (p()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return p();
}

bool wait_for_calls(size_t n) {
    return eventually_dpc([n] { return calls().size() >= n; });
}

// Runs an immediate call and waits for it: every call due before it has run.
bool drain(void *owner) {
    size_t before = calls().size();
    return sal_dpc(record, owner, arg(-1), 0, 0, 0) == 0 && wait_for_calls(before + 1);
}

class sal_dpc_queue : public ::testing::Test {
  protected:
    void SetUp() override {
        std::lock_guard<std::mutex> g(log_lock);
        call_log.clear();
    }
    void TearDown() override {
        sal_dpc_cancel(this);
        sal_clock_real();
    }
};

TEST_F(sal_dpc_queue, ImmediateCallsRunInQueueOrder) {
    for (intptr_t i = 1; i <= 5; i++)
        ASSERT_EQ(sal_dpc(record, this, arg(i), 0, 0, 0), 0);
    ASSERT_TRUE(wait_for_calls(5));
    EXPECT_EQ(calls(), (std::vector<intptr_t>{1, 2, 3, 4, 5}));
}

TEST_F(sal_dpc_queue, TimedCallsRunInDueOrderAcrossTheClockWrap) {
    // Start just below the 32-bit wrap so the due times wrap around.
    sal_clock_manual(0xFFFFFFFFull - 1000);
    ASSERT_EQ(sal_dpc_time(30000, record, this, arg(3), 0, 0, 0), 0);
    ASSERT_EQ(sal_dpc_time(10000, record, this, arg(1), 0, 0, 0), 0);
    ASSERT_EQ(sal_dpc_time(20000, record, this, arg(2), 0, 0, 0), 0);
    ASSERT_TRUE(drain(this));
    EXPECT_EQ(calls(), (std::vector<intptr_t>{-1}));
    sal_clock_advance(15000);
    ASSERT_TRUE(wait_for_calls(2));
    ASSERT_TRUE(drain(this));
    EXPECT_EQ(calls(), (std::vector<intptr_t>{-1, 1, -1}));
    sal_clock_advance(20000);
    ASSERT_TRUE(wait_for_calls(5));
    EXPECT_EQ(calls(), (std::vector<intptr_t>{-1, 1, -1, 2, 3}));
}

TEST_F(sal_dpc_queue, DelayBeyondSignedRangeRunsAtOnceEvenBehindAFarCall) {
    sal_clock_manual(5000);
    ASSERT_EQ(sal_dpc_time(0x7FFFFFF0u, record, this, arg(1), 0, 0, 0), 0);
    ASSERT_EQ(sal_dpc_time(0x80000001u, record, this, arg(7), 0, 0, 0), 0);
    ASSERT_EQ(sal_dpc_time(0xFFFFFFFFu, record, this, arg(8), 0, 0, 0), 0);
    ASSERT_TRUE(wait_for_calls(2));
    EXPECT_EQ(calls(), (std::vector<intptr_t>{7, 8}));
}

TEST_F(sal_dpc_queue, CancelRemovesOnlyThatOwner) {
    sal_clock_manual(0);
    int other_owner = 0;
    ASSERT_EQ(sal_dpc_time(1000, record, this, arg(1), 0, 0, 0), 0);
    ASSERT_EQ(sal_dpc_time(1000, record, &other_owner, arg(2), 0, 0, 0), 0);
    ASSERT_EQ(sal_dpc_time(2000, record, this, arg(3), 0, 0, 0), 0);
    sal_dpc_cancel(this);
    sal_clock_advance(5000);
    ASSERT_TRUE(wait_for_calls(1));
    ASSERT_TRUE(drain(this));
    EXPECT_EQ(calls(), (std::vector<intptr_t>{2, -1}));
}

// A call that holds until released, and what a cancel of its owner saw.
struct HeldCall {
    std::atomic<bool> started{false};
    std::atomic<bool> release{false};
    std::atomic<bool> finished{false};
    static void run(void *owner, void *, void *, void *, void *) {
        auto *h = static_cast<HeldCall *>(owner);
        h->started = true;
        eventually_dpc([h] { return h->release.load(); });
        h->finished = true;
    }
};

TEST_F(sal_dpc_queue, CancelWaitsForARunningCallOfItsOwner) {
    HeldCall held;
    ASSERT_EQ(sal_dpc(HeldCall::run, &held, 0, 0, 0, 0), 0);
    ASSERT_TRUE(eventually_dpc([&] { return held.started.load(); }));
    std::atomic<sal_thread_t> canceller{nullptr};
    std::atomic<bool> finished_at_return{false};
    std::thread t([&] {
        canceller = sal_thread_self();
        sal_dpc_cancel(&held);
        finished_at_return = held.finished.load();
    });
    // The owner's call still runs, so the cancel must be waiting for it.
    EXPECT_TRUE(eventually_dpc([&] {
        sal_thread_t c = canceller.load();
        return c != nullptr && sal_host_thread_waiting(c) == 1;
    }));
    held.release = true;
    t.join();
    EXPECT_TRUE(finished_at_return.load());
}

TEST_F(sal_dpc_queue, CancelFromInsideTheOwnersCallReturns) {
    ASSERT_EQ(sal_dpc(
                  [](void *owner, void *, void *, void *, void *) {
                      sal_dpc_cancel(owner);
                      record(owner, arg(5), nullptr, nullptr, nullptr);
                  },
                  this, 0, 0, 0, 0),
              0);
    ASSERT_TRUE(wait_for_calls(1));
    EXPECT_EQ(calls(), (std::vector<intptr_t>{5}));
}

TEST_F(sal_dpc_queue, FullQueueRefusesTheCall) {
    sal_clock_manual(0);
    int accepted = 0;
    for (int i = 0; i < SAL_DPC_QUEUE_SIZE + 10; i++) {
        if (sal_dpc_time(1'000'000, record, this, arg(i), 0, 0, 0) == 0) accepted++;
    }
    EXPECT_EQ(accepted, SAL_DPC_QUEUE_SIZE);
    EXPECT_EQ(sal_dpc(record, this, arg(0), 0, 0, 0), -1);
    sal_dpc_cancel(this);
    EXPECT_EQ(sal_dpc(record, this, arg(42), 0, 0, 0), 0);
    ASSERT_TRUE(wait_for_calls(1));
    EXPECT_EQ(calls().front(), 42);
}

// A console that records whether anything was written to it.
struct CountingConsole {
    std::atomic<int> writes{0};
    sal_console_ops ops{this, write, nullptr};
    static int write(void *ctx, const char *, size_t len) {
        static_cast<CountingConsole *>(ctx)->writes++;
        return static_cast<int>(len);
    }
};

TEST_F(sal_dpc_queue, DeferredCallsDoNotWriteToTheQueuingThreadsConsole) {
    // The deferred-call thread outlives whichever session queued first, so it
    // must not keep that session's console.
    CountingConsole session;
    std::thread queuer([&] {
        sal_console_bind(&session.ops);
        sal_dpc(
            [](void *owner, void *, void *, void *, void *) {
                sal_printf("deferred call output\n");
                record(owner, arg(1), nullptr, nullptr, nullptr);
            },
            this, 0, 0, 0, 0);
    });
    queuer.join();
    ASSERT_TRUE(wait_for_calls(1));
    EXPECT_EQ(session.writes.load(), 0);
}

TEST_F(sal_dpc_queue, NullFunctionIsRefused) {
    EXPECT_EQ(sal_dpc(nullptr, this, 0, 0, 0, 0), -1);
}

}  // namespace
