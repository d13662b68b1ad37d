// Timer service: one-shot and periodic timers on "timer_thread" under the
// manual clock, deletion (also from inside a callback) and bad arguments.
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app_test_env.h"
#include "sal_host.h"
#include "sal_lock.h"
#include "timerapi.h"

namespace {

std::mutex record_lock;
std::vector<uint32_t> call_times;  // sal_time_usecs at each call
std::string callback_thread;
std::atomic<int> calls{0};

void record_call(wp_timer_t, void *) {
    char name[32];
    {
        std::lock_guard<std::mutex> g(record_lock);
        callback_thread = sal_thread_name(sal_thread_self(), name, sizeof name);
        call_times.push_back(sal_time_usecs());
    }
    calls++;
}

void delete_self_on_second_call(wp_timer_t t, void *) {
    if (++calls == 2) wpTimerDelete(t);
}

std::atomic<bool> probe_fired{false};

void probe_call(wp_timer_t, void *) {
    probe_fired = true;
}

class timer_service : public ::testing::Test {
  protected:
    wp_timer_t probe = nullptr;
    uint32_t probe_params[1] = {0};

    void SetUp() override {
        calls = 0;
        call_times.clear();
        // Starts at the real clock's value so that a sleep begun before
        // stays in step.
        sal_clock_manual(sal_clock_usecs64());
        ASSERT_EQ(wpTimerInit(), 0);
        // Created before the test's timers, the probe runs last in a pass.
        probe = wpTimerCreate(WP_TIMER_ONESHOT, probe_call);
        ASSERT_NE(probe, nullptr);
    }
    void TearDown() override {
        wpTimerDelete(probe);
        sal_clock_real();
    }

    static bool advance_until(const std::function<bool()> &done, int limit_ms) {
        return app_test::advance_until(done, WP_TIMER_TICK_USECS, limit_ms / 10);
    }
    // Moves the clock on by ms at once; returns when the timer thread has run
    // every timer due by then (the probe, due last, has fired).
    void advance(int ms) {
        probe_fired = false;
        probe_params[0] = static_cast<uint32_t>(ms);
        ASSERT_EQ(wpTimerStart(probe, probe_params), 0);
        sal_clock_advance(static_cast<uint64_t>(ms) * 1000);
        ASSERT_TRUE(app_test::eventually([] { return probe_fired.load(); }));
    }
};

TEST_F(timer_service, OneShotFiresOnceOnTheTimerThread) {
    wp_timer_t t = wpTimerCreate(WP_TIMER_ONESHOT, record_call);
    ASSERT_NE(t, nullptr);
    uint32_t params[] = {50, 0};
    uint32_t started = sal_time_usecs();
    ASSERT_EQ(wpTimerStart(t, params), 0);
    advance(40);
    EXPECT_EQ(calls, 0);
    ASSERT_TRUE(advance_until([] { return calls == 1; }, 500));
    advance(200);
    EXPECT_EQ(calls, 1);
    {
        std::lock_guard<std::mutex> g(record_lock);
        EXPECT_EQ(callback_thread, "timer_thread");
        EXPECT_GE(call_times[0] - started, 50000u);
    }
    // Started again, it fires again.
    ASSERT_EQ(wpTimerStart(t, params), 0);
    ASSERT_TRUE(advance_until([] { return calls == 2; }, 500));
    EXPECT_EQ(wpTimerDelete(t), 0);
}

TEST_F(timer_service, PeriodicFiresEveryIntervalUntilDeleted) {
    wp_timer_t t = wpTimerCreate(WP_TIMER_PERIODIC, record_call);
    ASSERT_NE(t, nullptr);
    uint32_t params[] = {20};
    uint32_t started = sal_time_usecs();
    ASSERT_EQ(wpTimerStart(t, params), 0);
    ASSERT_TRUE(advance_until([] { return calls == 4; }, 1000));
    {
        std::lock_guard<std::mutex> g(record_lock);
        // The k-th call comes no earlier than k intervals after the start (a
        // late call does not shift the schedule).
        for (size_t k = 0; k < call_times.size(); k++)
            EXPECT_GE(call_times[k] - started, 20000u * (k + 1));
    }
    // A long stall gives one call, not a burst of catch-up calls.
    int before = calls;
    sal_clock_advance(200 * 1000);
    ASSERT_TRUE(advance_until([before] { return calls > before; }, 500));
    EXPECT_EQ(calls, before + 1);

    EXPECT_EQ(wpTimerDelete(t), 0);
    int after_delete = calls;
    advance(100);
    EXPECT_EQ(calls, after_delete);
}

TEST_F(timer_service, CallbackMayDeleteItsOwnTimer) {
    wp_timer_t t = wpTimerCreate(WP_TIMER_PERIODIC, delete_self_on_second_call);
    ASSERT_NE(t, nullptr);
    uint32_t params[] = {10};
    ASSERT_EQ(wpTimerStart(t, params), 0);
    ASSERT_TRUE(advance_until([] { return calls == 2; }, 500));
    advance(100);
    EXPECT_EQ(calls, 2);
}

TEST_F(timer_service, TimerStartedEarlierWakesTheSleepingThread) {
    wp_timer_t late = wpTimerCreate(WP_TIMER_ONESHOT, record_call);
    wp_timer_t soon = wpTimerCreate(WP_TIMER_ONESHOT, record_call);
    uint32_t ten_seconds[] = {10000};
    uint32_t twenty_ms[] = {20};
    ASSERT_EQ(wpTimerStart(late, ten_seconds), 0);
    advance(20);  // the thread now sleeps until the late timer is due
    ASSERT_EQ(wpTimerStart(soon, twenty_ms), 0);
    EXPECT_TRUE(advance_until([] { return calls == 1; }, 100));
    EXPECT_EQ(wpTimerDelete(late), 0);
    EXPECT_EQ(wpTimerDelete(soon), 0);
}

TEST_F(timer_service, DeletedBeforeItsTimeNeverFires) {
    wp_timer_t t = wpTimerCreate(WP_TIMER_ONESHOT, record_call);
    uint32_t params[] = {10};
    ASSERT_EQ(wpTimerStart(t, params), 0);
    EXPECT_EQ(wpTimerDelete(t), 0);
    advance(100);
    EXPECT_EQ(calls, 0);
}

TEST_F(timer_service, BadArgumentsAreRefused) {
    EXPECT_EQ(wpTimerCreate(0, record_call), nullptr);
    EXPECT_EQ(wpTimerCreate(3, record_call), nullptr);
    EXPECT_EQ(wpTimerCreate(WP_TIMER_ONESHOT, nullptr), nullptr);
    wp_timer_t t = wpTimerCreate(WP_TIMER_ONESHOT, record_call);
    uint32_t zero[] = {0};
    EXPECT_EQ(wpTimerStart(t, zero), -1);
    EXPECT_EQ(wpTimerStart(t, nullptr), -1);
    EXPECT_EQ(wpTimerStart(nullptr, zero), -1);
    EXPECT_EQ(wpTimerDelete(nullptr), -1);
    EXPECT_EQ(wpTimerDelete(t), 0);
}

}  // namespace

namespace {

std::atomic<int> slow_calls{0};
std::atomic<uint32_t> last_interval{0};

// Stays in the callback for about 2 ms of real time; the relaxed counter
// lets the test see it enter without ordering the two threads.
void slow_callback(wp_timer_t, void *params) {
    uint32_t interval;
    std::memcpy(&interval, params, sizeof interval);
    last_interval.store(interval, std::memory_order_relaxed);
    slow_calls.fetch_add(1, std::memory_order_relaxed);
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(2);
    while (std::chrono::steady_clock::now() < end) {
    }
}

// Restarting a timer from another thread while its callback runs must hand
// the callback a whole parameter block (the thread sanitizer build checks
// that the block is not read unguarded).
TEST_F(timer_service, RestartFromAnotherThreadWhileItsCallbackRuns) {
    slow_calls = 0;
    wp_timer_t t = wpTimerCreate(WP_TIMER_PERIODIC, slow_callback);
    ASSERT_NE(t, nullptr);
    static uint32_t blocks[2][1] = {{10}, {20}};
    ASSERT_EQ(wpTimerStart(t, blocks[0]), 0);
    for (int i = 1; i <= 5; i++) {
        // A tick at a time: the timer thread may begin its sleep late.
        for (int step = 0; step < 500 && slow_calls.load(std::memory_order_relaxed) < i; step++) {
            sal_clock_advance(WP_TIMER_TICK_USECS);
            auto next = std::chrono::steady_clock::now() + std::chrono::milliseconds(3);
            while (slow_calls.load(std::memory_order_relaxed) < i &&
                   std::chrono::steady_clock::now() < next) {
            }
        }
        ASSERT_EQ(slow_calls.load(std::memory_order_relaxed), i);
        ASSERT_EQ(wpTimerStart(t, blocks[i % 2]), 0);  // while the callback runs
    }
    EXPECT_EQ(wpTimerDelete(t), 0);
    EXPECT_EQ(last_interval.load(), 10u);  // the block of the last call's start
}

}  // namespace

namespace {

sal_mutex_t app_lock;  // a lock of the application that one callback needs
std::atomic<bool> first_entered{false};
std::atomic<bool> delete_called{false};
std::atomic<int> second_calls{0};

void first_callback(wp_timer_t, void *) {
    first_entered = true;
    while (!delete_called) {
    }
    // Gives the deleting thread time to begin its wait.
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
    while (std::chrono::steady_clock::now() < end) {
    }
}

void second_callback(wp_timer_t, void *) {
    SalLock hold(app_lock);
    second_calls++;
}

// A thread holding a lock deletes a timer whose callback runs; another timer
// due in the same pass needs that lock. The delete waits for its own timer's
// callback only.
TEST_F(timer_service, DeleteUnderALockWaitsOnlyForItsOwnCallback) {
    app_lock = sal_mutex_create("application");
    wp_timer_t second = wpTimerCreate(WP_TIMER_ONESHOT, second_callback);
    wp_timer_t first = wpTimerCreate(WP_TIMER_ONESHOT, first_callback);  // runs first
    static uint32_t params[] = {10};
    ASSERT_EQ(wpTimerStart(second, params), 0);
    ASSERT_EQ(wpTimerStart(first, params), 0);
    std::atomic<bool> deleted{false};
    std::thread deleter([&] {
        SalLock hold(app_lock);
        while (!first_entered) {
        }
        delete_called = true;
        wpTimerDelete(first);
        deleted = true;
    });
    EXPECT_TRUE(advance_until([] { return first_entered.load(); }, 500));
    bool done = app_test::eventually([&] { return deleted.load(); });
    EXPECT_TRUE(done) << "the delete waited for the other timer's callback";
    if (!done) {
        deleter.detach();  // deadlocked: leave it
        return;
    }
    deleter.join();
    EXPECT_TRUE(app_test::eventually([] { return second_calls == 1; }));
    EXPECT_EQ(wpTimerDelete(second), 0);
}

}  // namespace
