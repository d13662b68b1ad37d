// Locks, semaphores, threads and sleeps of the platform layer.
#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "sal.h"
#include "sal_host.h"

namespace {

template <typename Pred>
bool eventually(Pred p, int ms = 2000) {
    for (int i = 0; i < ms; i++) {
        if (p()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return p();
}

// Polls until the thread whose handle lands in *who is in a platform wait.
bool waits(const std::atomic<sal_thread_t> &who) {
    return eventually([&] {
        sal_thread_t t = who.load();
        return t != nullptr && sal_host_thread_waiting(t) == 1;
    });
}

TEST(sal_mutex, IsRecursiveAndTimesOutForOtherThreads) {
    sal_mutex_t m = sal_mutex_create("test");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(sal_mutex_take(m, sal_mutex_FOREVER), 0);
    EXPECT_EQ(sal_mutex_take(m, 0), 0);  // recursive

    std::atomic<int> other_result{1};
    std::thread t([&] { other_result = sal_mutex_take(m, 20000); });
    t.join();
    EXPECT_EQ(other_result.load(), -1);

    EXPECT_EQ(sal_mutex_give(m), 0);
    EXPECT_EQ(sal_mutex_give(m), 0);
    std::thread t2([&] {
        other_result = sal_mutex_take(m, 20000);
        sal_mutex_give(m);
    });
    t2.join();
    EXPECT_EQ(other_result.load(), 0);
    sal_mutex_destroy(m);
}

// Polls until n threads queue for the mutex.
bool queued(sal_mutex_t m, int n) {
    return eventually([&] { return sal_mutex_waiters(m) == n; });
}

// A thread that takes the mutex, notes its turn and gives it back.
std::thread taker(sal_mutex_t m, int id, std::vector<int> *turns, std::mutex *turns_lock) {
    return std::thread([=] {
        sal_mutex_take(m, sal_mutex_FOREVER);
        {
            std::lock_guard<std::mutex> g(*turns_lock);
            turns->push_back(id);
        }
        sal_mutex_give(m);
    });
}

TEST(sal_mutex, WaitersTakeItInTheOrderTheyCame) {
    sal_mutex_t m = sal_mutex_create("fifo");
    ASSERT_EQ(sal_mutex_take(m, sal_mutex_FOREVER), 0);
    std::vector<int> turns;
    std::mutex turns_lock;
    std::vector<std::thread> threads;
    for (int id = 1; id <= 4; id++) {
        threads.push_back(taker(m, id, &turns, &turns_lock));
        ASSERT_TRUE(queued(m, id));
    }
    sal_mutex_give(m);
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(turns, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(sal_mutex_waiters(m), 0);
    sal_mutex_destroy(m);
}

TEST(sal_mutex, GiveHandsItToTheWaiterBeforeTheGiverCanTakeItBack) {
    sal_mutex_t m = sal_mutex_create("handover");
    ASSERT_EQ(sal_mutex_take(m, sal_mutex_FOREVER), 0);
    // The waiter keeps its turn until the giver has tried again, however
    // slowly either thread runs.
    std::atomic<bool> tried{false}, served{false};
    std::thread waiter([&] {
        sal_mutex_take(m, sal_mutex_FOREVER);
        served = true;
        eventually([&] { return tried.load(); }, 30000);
        sal_mutex_give(m);
    });
    ASSERT_TRUE(queued(m, 1));
    sal_mutex_give(m);
    // The giver at once again, as a loop over ports would: the waiter first.
    EXPECT_EQ(sal_mutex_take(m, 0), -1);
    tried = true;
    ASSERT_EQ(sal_mutex_take(m, sal_mutex_FOREVER), 0);
    EXPECT_TRUE(served.load());
    sal_mutex_give(m);
    waiter.join();
    sal_mutex_destroy(m);
}

TEST(sal_mutex, OnlyTheLastGiveOfARecursiveHoldHandsItOn) {
    sal_mutex_t m = sal_mutex_create("recursive");
    for (int i = 0; i < 3; i++)
        ASSERT_EQ(sal_mutex_take(m, sal_mutex_FOREVER), 0);
    std::vector<int> turns;
    std::mutex turns_lock;
    std::thread waiter = taker(m, 1, &turns, &turns_lock);
    ASSERT_TRUE(queued(m, 1));
    EXPECT_EQ(sal_mutex_give(m), 0);
    EXPECT_EQ(sal_mutex_give(m), 0);
    // Still held once: the waiter waits, and this thread takes it again.
    EXPECT_EQ(sal_mutex_waiters(m), 1);
    EXPECT_EQ(sal_mutex_take(m, 0), 0);
    EXPECT_EQ(sal_mutex_give(m), 0);
    EXPECT_EQ(sal_mutex_give(m), 0);
    waiter.join();
    EXPECT_EQ(turns, std::vector<int>{1});
    // Given back by the waiter: free again, and no give is left to this thread.
    EXPECT_EQ(sal_mutex_give(m), -1);
    sal_mutex_destroy(m);
}

TEST(sal_mutex, AWaiterThatTimesOutLeavesTheQueue) {
    sal_mutex_t m = sal_mutex_create("timeout");
    ASSERT_EQ(sal_mutex_take(m, sal_mutex_FOREVER), 0);
    std::vector<int> turns;
    std::mutex turns_lock;
    std::thread first = taker(m, 1, &turns, &turns_lock);
    ASSERT_TRUE(queued(m, 1));
    std::atomic<int> timed{99};
    std::thread impatient([&] { timed = sal_mutex_take(m, 20000); });
    impatient.join();
    EXPECT_EQ(timed.load(), -1);
    std::thread last = taker(m, 3, &turns, &turns_lock);
    ASSERT_TRUE(queued(m, 2));
    sal_mutex_give(m);
    first.join();
    last.join();
    EXPECT_EQ(turns, (std::vector<int>{1, 3}));
    sal_mutex_destroy(m);
}

TEST(sal_mutex, OnlyTheHolderCanGiveIt) {
    sal_mutex_t m = sal_mutex_create("owner");
    ASSERT_EQ(sal_mutex_take(m, sal_mutex_FOREVER), 0);
    std::atomic<int> other{99};
    std::thread t([&] { other = sal_mutex_take(m, 0); });
    t.join();
    EXPECT_EQ(other.load(), -1);
    EXPECT_EQ(sal_mutex_give(m), 0);
    EXPECT_EQ(sal_mutex_give(m), -1);
    sal_mutex_destroy(m);
}

TEST(sal_mutex, NullHandlesFail) {
    EXPECT_EQ(sal_mutex_take(nullptr, -1), -1);
    EXPECT_EQ(sal_mutex_give(nullptr), -1);
    sal_mutex_destroy(nullptr);
}

TEST(sal_sem, TakeTimesOutWithMinusOne) {
    sal_sem_t s = sal_sem_create("t", sal_sem_COUNTING, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(sal_sem_take(s, 0), -1);
    EXPECT_EQ(sal_sem_take(s, 15000), -1);
    sal_sem_give(s);
    EXPECT_EQ(sal_sem_take(s, 0), 0);
    sal_sem_destroy(s);
}

TEST(sal_sem, BinarySemaphoreSaturatesAtOne) {
    sal_sem_t s = sal_sem_create("b", sal_sem_BINARY, 5);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(sal_sem_take(s, 0), 0);
    EXPECT_EQ(sal_sem_take(s, 0), -1);
    sal_sem_give(s);
    sal_sem_give(s);
    sal_sem_give(s);
    EXPECT_EQ(sal_sem_take(s, 0), 0);
    EXPECT_EQ(sal_sem_take(s, 0), -1);
    sal_sem_destroy(s);
}

TEST(sal_sem, CountingSemaphoreCounts) {
    sal_sem_t s = sal_sem_create("c", sal_sem_COUNTING, 0);
    for (int i = 0; i < 3; i++)
        sal_sem_give(s);
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(sal_sem_take(s, 0), 0);
    EXPECT_EQ(sal_sem_take(s, 0), -1);
    sal_sem_destroy(s);
}

TEST(sal_sem, GiveWakesWaitingThread) {
    sal_sem_t s = sal_sem_create("w", sal_sem_BINARY, 0);
    std::atomic<int> result{99};
    std::atomic<sal_thread_t> who{nullptr};
    std::thread t([&] {
        who = sal_thread_self();
        result = sal_sem_take(s, sal_sem_FOREVER);
    });
    ASSERT_TRUE(waits(who));
    sal_sem_give(s);
    t.join();
    EXPECT_EQ(result.load(), 0);
    sal_sem_destroy(s);
}

TEST(sal_clock, ManualClockDrivesTimeoutsWithoutRealWaiting) {
    sal_clock_manual(1000);
    sal_sem_t s = sal_sem_create("m", sal_sem_BINARY, 0);
    std::atomic<int> result{99};
    std::atomic<sal_thread_t> who{nullptr};
    std::thread t([&] {
        who = sal_thread_self();
        result = sal_sem_take(s, 5'000'000);
    });
    ASSERT_TRUE(waits(who));
    sal_clock_advance(4'999'999);
    EXPECT_EQ(result.load(), 99);  // five test seconds have not passed
    sal_clock_advance(1);
    t.join();
    EXPECT_EQ(result.load(), -1);

    // One microsecond sleeps a whole 10 ms tick.
    uint32_t before = sal_time_usecs();
    std::atomic<bool> slept{false};
    who = nullptr;
    std::thread sleeper([&] {
        who = sal_thread_self();
        sal_usleep(1);
        slept = true;
    });
    ASSERT_TRUE(waits(who));
    sal_clock_advance(9999);
    EXPECT_FALSE(slept.load());
    sal_clock_advance(1);
    sleeper.join();
    EXPECT_EQ(sal_time_usecs() - before, 10000u);

    // So does a semaphore wait of one microsecond: the kernel counts in ticks.
    result = 99;
    who = nullptr;
    std::thread taker([&] {
        who = sal_thread_self();
        result = sal_sem_take(s, 1);
    });
    ASSERT_TRUE(waits(who));
    sal_clock_advance(9999);
    EXPECT_EQ(result.load(), 99);
    sal_clock_advance(1);
    taker.join();
    EXPECT_EQ(result.load(), -1);
    sal_sem_destroy(s);
    sal_clock_real();
}

TEST(sal_clock, SwitchingToTheManualClockKeepsTheTimeLeftOfRunningWaits) {
    sal_sem_t s = sal_sem_create("r", sal_sem_BINARY, 0);
    std::atomic<int> result{99};
    std::atomic<sal_thread_t> who{nullptr};
    std::thread t([&] {
        who = sal_thread_self();
        result = sal_sem_take(s, 2'000'000'000);  // half an hour of real time
    });
    ASSERT_TRUE(waits(who));
    sal_clock_manual(0);
    sal_clock_advance(1'999'000'000);
    EXPECT_EQ(result.load(), 99);
    sal_clock_advance(1'000'000);
    t.join();
    EXPECT_EQ(result.load(), -1);
    sal_clock_real();
    sal_sem_destroy(s);
}

TEST(sal_clock, WallClockCanBeSetWithoutTouchingTheHost) {
    sal_wallclock_set(1146441600u);  // 2006-05-01 00:00:00 UTC
    uint32_t now = sal_time();
    EXPECT_GE(now, 1146441600u);
    EXPECT_LE(now, 1146441602u);
    EXPECT_EQ(sal_date_get(&now), -1);
}

struct ThreadProbe {
    std::atomic<bool> ran{false};
    std::atomic<bool> self_ok{false};
    sal_thread_t self = nullptr;
};

TEST(sal_thread, RunsEntryWithArgumentAndKnowsItself) {
    ThreadProbe probe;
    sal_thread_t t = sal_thread_create(
        "dxpRX.0", 16384, 50,
        [](void *p) {
            auto *pr = static_cast<ThreadProbe *>(p);
            pr->self = sal_thread_self();
            pr->self_ok = sal_thread_self() != nullptr;
            pr->ran = true;
            for (;;)
                sal_usleep(1000);
        },
        &probe);
    ASSERT_NE(t, SAL_THREAD_ERROR);
    ASSERT_TRUE(eventually([&] { return probe.ran.load(); }));
    EXPECT_EQ(probe.self, t);
    EXPECT_TRUE(probe.self_ok.load());
    char name[32];
    EXPECT_STREQ(sal_thread_name(t, name, sizeof name), "dxpRX.0");
    EXPECT_EQ(sal_thread_os_priority(t), SAL_THREAD_PRIO_SERVICE);
    EXPECT_EQ(sal_thread_destroy(t), 0);
    EXPECT_TRUE(eventually([&] { return sal_thread_os_priority(t) == -1; }));
}

TEST(sal_thread, OrdinaryThreadsRunAtDefaultPriority) {
    std::atomic<int> prio{0};
    sal_thread_t t = sal_thread_create(
        "httpd", 65535, 128,
        [](void *p) {
            static_cast<std::atomic<int> *>(p)->store(sal_thread_os_priority(sal_thread_self()));
        },
        &prio);
    ASSERT_NE(t, SAL_THREAD_ERROR);
    ASSERT_TRUE(eventually([&] { return prio.load() != 0; }));
    EXPECT_EQ(prio.load(), SAL_THREAD_PRIO_DEFAULT);
}

TEST(sal_thread, CreateFailureReturnsThreadError) {
    EXPECT_EQ(sal_thread_create("bad", 16384, 0, nullptr, nullptr), SAL_THREAD_ERROR);
    EXPECT_EQ(sal_thread_destroy(SAL_THREAD_ERROR), -1);
    EXPECT_NE(sal_thread_self(), nullptr);
}

TEST(sal_thread, CarriesItsNameToTheOperatingSystem) {
    static char os_name[32];
    static std::atomic<bool> named{false};
    sal_thread_t t = sal_thread_create(
        "bcmLINK.0-with-a-long-name", 0, 0,
        [](void *) {
            pthread_getname_np(pthread_self(), os_name, sizeof os_name);
            named = true;
        },
        nullptr);
    ASSERT_NE(t, SAL_THREAD_ERROR);
    ASSERT_TRUE(eventually([&] { return named.load(); }));
    EXPECT_STREQ(os_name, "bcmLINK.0-with-");  // the 15 characters the OS keeps
}

TEST(sal_thread, ExitStopsOnlyTheCallingThread) {
    std::atomic<int> stage{0};
    sal_thread_t t = sal_thread_create(
        "quitter", 0, 0,
        [](void *p) {
            auto *st = static_cast<std::atomic<int> *>(p);
            st->store(1);
            sal_thread_exit(0);
            st->store(2);
        },
        &stage);
    ASSERT_TRUE(eventually([&] { return sal_thread_os_priority(t) == -1; }));  // ended
    EXPECT_EQ(stage.load(), 1);
}

TEST(sal_thread, DestroyCancelsThreadBlockedOnSemaphore) {
    static sal_sem_t s = sal_sem_create("blocked", sal_sem_BINARY, 0);
    static std::atomic<bool> returned{false};
    std::atomic<sal_thread_t> who{sal_thread_create(
        "waiter", 0, 0,
        [](void *) {
            sal_sem_take(s, sal_sem_FOREVER);
            returned = true;
        },
        nullptr)};
    sal_thread_t t = who.load();
    ASSERT_TRUE(waits(who));
    EXPECT_EQ(sal_thread_destroy(t), 0);
    EXPECT_TRUE(eventually([&] { return sal_thread_os_priority(t) == -1; }));
    sal_sem_give(s);
    EXPECT_FALSE(returned.load());
    // The semaphore's lock was released by the cancellation.
    EXPECT_EQ(sal_sem_take(s, 0), 0);
}

TEST(sal_spl, MasksAreNestedAndExclusive) {
    int l1 = sal_splhi();
    int l2 = sal_splhi();
    std::atomic<bool> got{false};
    std::thread t([&] {
        int l = sal_splhi();
        got = true;
        sal_spl(l);
    });
    EXPECT_FALSE(got.load());
    sal_spl(l2);
    EXPECT_FALSE(got.load());
    sal_spl(l1);
    t.join();
    EXPECT_TRUE(got.load());
}

TEST(sal_spl, InterruptWorkRunsInInterruptContext) {
    EXPECT_EQ(sal_int_context(), 0);
    static std::atomic<int> seen{-1};
    ASSERT_EQ(sal_host_intr_post([](void *) { seen = sal_int_context(); }, nullptr), 0);
    EXPECT_TRUE(eventually([&] { return seen.load() == 1; }));
    EXPECT_EQ(sal_int_context(), 0);
}

TEST(sal_spl, InterruptWorkDoesNotWriteToThePostingThreadsConsole) {
    struct Counting {
        std::atomic<int> writes{0};
        sal_console_ops ops{this, write, nullptr};
        static int write(void *ctx, const char *, size_t len) {
            static_cast<Counting *>(ctx)->writes++;
            return static_cast<int>(len);
        }
    };
    Counting session;
    static std::atomic<bool> ran{false};
    std::thread poster([&] {
        sal_console_bind(&session.ops);
        sal_host_intr_post(
            [](void *) {
                sal_printf("interrupt output\n");
                ran = true;
            },
            nullptr);
    });
    poster.join();
    EXPECT_TRUE(eventually([&] { return ran.load(); }));
    EXPECT_EQ(session.writes.load(), 0);
}

}  // namespace
