// Deferred actions on "httpd_timer", driven by the manual clock.
#include <atomic>
#include <mutex>
#include <string>

#include "sal.h"
#include "sal_host.h"
#include "httpd_internal.h"
#include "web_test_support.h"

namespace {

std::atomic<int> runs{0};

void count_run(void *) {
    runs++;
}

// Which one-shot actions ran, in order.
std::mutex order_lock;
std::string order;

void note_arg(void *arg) {
    std::lock_guard<std::mutex> hold(order_lock);
    order += static_cast<const char *>(arg);
}

void run_once(void *) {
    runs++;
    httpd_timer_cancel(run_once);
}

class httpd_timer_fixture : public web_server_fixture {
  protected:
    void SetUp() override {
        web_server_fixture::SetUp();
        runs = 0;
        test_clock_manual();
    }
    void TearDown() override {
        httpd_timer_cancel(count_run);
        httpd_timer_cancel(run_once);
        web_server_fixture::TearDown();
    }
    // Moves the manual clock in small steps, waiting for the timer thread
    // whenever a step reaches its next tick; returns the manual time in ms
    // when `until` became true.
    template <typename Pred>
    int advance_until(Pred until, int limit_ms) {
        for (int ms = 0; ms <= limit_ms; ms += 50) {
            if (until()) return ms;
            uint32_t next = 0;
            uint32_t done = httpd_timer_passes(&next);
            sal_clock_advance(50000);
            if (static_cast<int32_t>(sal_time_usecs() - next) >= 0) {
                EXPECT_TRUE(
                    test_wait_until([&] { return httpd_timer_passes(nullptr) > done; }, 5000));
            }
        }
        return -1;
    }
};

using httpd_deferred = httpd_timer_fixture;

TEST_F(httpd_deferred, ActionRunsAboutASecondLaterThenCancelsItself) {
    ASSERT_NE(httpd_timer_add(1, run_once, nullptr), nullptr);
    int ran_at = advance_until([] { return runs.load() > 0; }, 3000);
    EXPECT_GE(ran_at, 1000);
    EXPECT_LE(ran_at, 1850);
    // Cancelled from inside its own call: it does not run again and is freed.
    advance_until([] { return sal_alloc_bytes_in_use("httpd_timer") == 0; }, 3000);
    EXPECT_EQ(sal_alloc_bytes_in_use("httpd_timer"), 0u);
    EXPECT_EQ(runs.load(), 1);
}

TEST_F(httpd_deferred, PeriodZeroRunsEveryTickUntilCancelled) {
    ASSERT_NE(httpd_timer_add(0, count_run, nullptr), nullptr);
    advance_until([] { return runs.load() >= 3; }, 5000);
    EXPECT_GE(runs.load(), 3);
    httpd_timer_cancel(count_run);
    advance_until([] { return sal_alloc_bytes_in_use("httpd_timer") == 0; }, 3000);
    int after = runs.load();
    advance_until([] { return false; }, 1600);
    EXPECT_EQ(runs.load(), after);
}

// Two one-shot actions of one callback, the second added 200 ms later: each
// runs once, and in the order added.
TEST_F(httpd_deferred, OneShotActionsRunOnceEachInTheOrderAdded) {
    static char first[] = "a", second[] = "b";
    order.clear();
    ASSERT_TRUE(httpd_timer_once(1, note_arg, first));
    advance_until([] { return false; }, 200);
    ASSERT_TRUE(httpd_timer_once(1, note_arg, second));
    auto both = [] {
        std::lock_guard<std::mutex> hold(order_lock);
        return order.size() >= 2;
    };
    EXPECT_GE(advance_until(both, 3000), 0);
    advance_until([] { return sal_alloc_bytes_in_use("httpd_timer") == 0; }, 3000);
    EXPECT_EQ(sal_alloc_bytes_in_use("httpd_timer"), 0u);
    std::lock_guard<std::mutex> hold(order_lock);
    EXPECT_EQ(order, "ab");
}

TEST_F(httpd_deferred, AbsentCallbackIsRefused) {
    EXPECT_EQ(httpd_timer_add(1, nullptr, nullptr), nullptr);
}

}  // namespace
