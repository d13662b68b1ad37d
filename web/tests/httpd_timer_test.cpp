// Deferred actions on "httpd_timer", driven by the manual clock.
#include <atomic>

#include "sal.h"
#include "sal_host.h"
#include "httpd_internal.h"
#include "web_test_support.h"

namespace {

std::atomic<int> runs{0};

void count_run(void *) {
    runs++;
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

TEST_F(httpd_deferred, AbsentCallbackIsRefused) {
    EXPECT_EQ(httpd_timer_add(1, nullptr, nullptr), nullptr);
}

}  // namespace
