#include "board_events.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

#include "sal.h"
#include "sal_host.h"
#include "sim/board.h"
#include "../src/sal_internal.h"

namespace {

struct Worker {
    sim::Board *board = nullptr;
    sal_sem_t wake = nullptr;
    sal_sem_t done = nullptr;
    std::atomic<bool> stop{false};
};

std::mutex worker_lock;
Worker *running = nullptr;

// The model's time never runs backwards: a switch of the platform's clock
// source (real to manual) would otherwise strand every queued event.
struct MonotonicSource {
    std::mutex lock;
    bool started = false;
    uint64_t last_raw = 0;
    uint64_t model = 0;

    uint64_t now() {
        std::lock_guard<std::mutex> g(lock);
        uint64_t raw = sal_clock_usecs64();
        if (started && raw > last_raw) model += raw - last_raw;
        started = true;
        last_raw = raw;
        return model;
    }
};

void run(void *arg) {
    auto *w = static_cast<Worker *>(arg);
    sim::Fabric &fabric = w->board->fabric();
    while (!w->stop.load()) {
        fabric.pump(std::chrono::milliseconds(2));
        // A model behind real time (frames looping at wire speed) would hold
        // its lock from one slice to the next; a short pause hands it to the
        // firmware's threads (CPU transmit, register access) waiting for it,
        // on the real clock: a manual test clock would never end it.
        if (fabric.behind()) {
            sal_internal::sem_take_real(w->wake, 200);
            continue;
        }
        uint64_t next = fabric.nextEvent();
        uint64_t now = fabric.clock().now();
        // Capped, so that a clock that jumps forward is noticed within a second.
        uint64_t wait = next <= now ? 0 : next - now;
        if (wait > 1000000) wait = 1000000;
        // Model time to the microsecond (a loop hop is 1 ms), not to the tick.
        if (wait > 0) sal_internal::sem_take_until(w->wake, sal_internal::wait_clock_now() + wait);
    }
    sal_sem_give(w->done);
}

}  // namespace

int board_events_start(sim::Board &board) {
    std::lock_guard<std::mutex> g(worker_lock);
    if (running != nullptr) return -1;
    auto *w = new Worker;
    w->board = &board;
    w->wake = sal_sem_create("simEvents", sal_sem_BINARY, 0);
    w->done = sal_sem_create("simEventsDone", sal_sem_BINARY, 0);
    auto source = std::make_shared<MonotonicSource>();
    board.fabric().bindClock([source] { return source->now(); });
    sal_sem_t wake = w->wake;
    board.fabric().setNotifier([wake] { sal_sem_give(wake); });
    if (sal_thread_create("simEvents", 16384, 50, run, w) == SAL_THREAD_ERROR) {
        board.fabric().setNotifier({});
        board.fabric().bindClock({});
        sal_sem_destroy(w->wake);
        sal_sem_destroy(w->done);
        delete w;
        return -1;
    }
    running = w;
    return 0;
}

void board_events_stop(void) {
    std::lock_guard<std::mutex> g(worker_lock);
    Worker *w = running;
    if (w == nullptr) return;
    running = nullptr;
    w->stop.store(true);
    sal_sem_give(w->wake);
    sal_sem_take(w->done, sal_sem_FOREVER);
    w->board->fabric().setNotifier({});
    w->board->fabric().bindClock({});
    sal_sem_destroy(w->wake);
    sal_sem_destroy(w->done);
    delete w;
}
