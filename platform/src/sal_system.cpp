// Boot flags, assertions, reboot, the random generator and small board calls.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "sal.h"
#include "sal_host.h"
#include "sal_internal.h"
#include "sal_console_output.h"
#include "sal_terminal.h"

namespace {

uint32_t initial_boot_flags() {
    // The simulated chip stands for real hardware, so the flags that mark a
    // simulated target stay off unless a test asks for them.
    const char *env = std::getenv("SWITCHFW_BOOT_FLAGS");
    return env ? static_cast<uint32_t>(std::strtoul(env, nullptr, 0)) : 0;
}

std::atomic<uint32_t> boot_flags{initial_boot_flags()};
std::atomic<sal_assert_handler_t> assert_handler{nullptr};
std::atomic<sal_reboot_hook_t> reboot_hook{nullptr};
std::atomic<bool> reboot_delay{true};
std::atomic<sal_shell_fn_t> shell_fn{nullptr};
std::atomic<int (*)(void)> images_pending{nullptr};
std::atomic<int (*)(void)> changes_pending{nullptr};
std::atomic<bool> restart_announced{false};
// Long enough for every image the web lets wait, short enough that a
// restart asked for always comes.
constexpr uint32_t kRebootWaitUsecs = 30u * 1000000u;

int pending_count(const std::atomic<int (*)(void)> &counter) {
    int (*pending)(void) = counter.load();
    return pending != nullptr ? pending() : 0;
}

int images_pending_count() {
    return pending_count(images_pending);
}

// 1 once the counter reads none, 0 if some still wait after `usecs`.
int wait_for_none(const std::atomic<int (*)(void)> &counter, uint32_t usecs) {
    const uint32_t start = sal_time_usecs();
    while (pending_count(counter) > 0) {
        if (sal_time_usecs() - start >= usecs) return 0;
        sal_usleep(SAL_TICK_USECS);
    }
    return 1;
}

std::mutex flush_lock;
std::vector<void (*)(void)> &flushers() {
    static auto *v = new std::vector<void (*)(void)>;
    return *v;
}

std::mutex rand_lock;
uint32_t rand_state = 1;

}  // namespace

uint32_t sal_boot_flags_get(void) {
    return boot_flags.load();
}
void sal_boot_flags_set(uint32_t flags) {
    boot_flags.store(flags);
}

sal_assert_handler_t sal_assert_set(sal_assert_handler_t handler) {
    return assert_handler.exchange(handler);
}

void sal_assert(const char *expr, const char *file, int line) {
    sal_assert_handler_t h = assert_handler.load();
    if (h != nullptr) {
        h(expr, file, line);
        return;
    }
    std::fprintf(stderr, "User assertion failed: \"%s\", at %s:%d\n", expr ? expr : "",
                 file ? file : "", line);
    std::fflush(stderr);
    // The failing thread stops for good; the rest of the system goes on.
    if (sal_internal::on_sdk_thread()) sal_thread_exit(-1);
    std::abort();
}

sal_reboot_hook_t sal_reboot_hook_set(sal_reboot_hook_t hook) {
    return reboot_hook.exchange(hook);
}

void sal_reboot_flush_register(void (*fn)(void)) {
    std::lock_guard<std::mutex> g(flush_lock);
    flushers().push_back(fn);
}

void sal_images_pending_set(int (*pending)(void)) {
    images_pending.store(pending);
}

void sal_changes_pending_set(int (*pending)(void)) {
    changes_pending.store(pending);
}

int sal_images_wait(uint32_t usecs) {
    return wait_for_none(images_pending, usecs);
}

int sal_images_pending(void) {
    return images_pending_count();
}

void sal_restart_announce(void) {
    restart_announced.store(true);
}

void sal_restart_withdraw(void) {
    restart_announced.store(false);
}

int sal_restart_announced(void) {
    return restart_announced.load() ? 1 : 0;
}

namespace {

// Announces the end, then waits for the images accepted before it (none can
// be accepted from the announcement on) and for the changes accepted before
// it at any entrance, such as an SNMP SET or a telnet `load` that waited
// behind one of those images: the end takes its turn as an image does. A
// change still held back once they are in waits for a restore upload that
// had not ended at the announcement, which is refused when it ends: the end
// does not wait for it.
void announce_and_wait(const char *what) {
    sal_restart_announce();
    const uint32_t end = sal_turn_take(1);
    const int pending = images_pending_count();
    if (pending > 0) {
        sal_printf("Waiting for %d settings image(s) to be applied before %s...\n", pending, what);
        sal_images_wait(kRebootWaitUsecs);
    }
    const uint32_t start = sal_time_usecs();
    while (sal_turn_change_ready_before(end) != 0 && sal_time_usecs() - start < kRebootWaitUsecs)
        sal_usleep(SAL_TICK_USECS);
    sal_turn_release(end);
    wait_for_none(changes_pending, kRebootWaitUsecs);
}

void flush_all() {
    // Called unlocked: a flusher takes its own lock, which a registration
    // may hold while it registers.
    std::vector<void (*)(void)> to_flush;
    {
        std::lock_guard<std::mutex> g(flush_lock);
        to_flush = flushers();
    }
    for (auto fn : to_flush)
        fn();
    // What the console still holds shows before the end, unless nobody reads it.
    sal_internal::console_output_drain(sal_internal::kConsoleDrainAtExitUsecs);
    sal_internal::terminal_restore();
    // Not fflush(nullptr): that waits for the lock of stdin, which the
    // console thread holds while it waits for input.
    std::fflush(stdout);
    std::fflush(stderr);
}

}  // namespace

void sal_reboot_after_pending(void) {
    announce_and_wait("restarting");
    sal_reboot();
}

void sal_exit_after_pending(int status) {
    announce_and_wait("ending");
    flush_all();
    std::_Exit(status);
}

void sal_signal_after_pending(int sig) {
    announce_and_wait("ending");
    flush_all();
    std::signal(sig, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(sig);
    std::_Exit(128 + sig);  // a signal whose default action does not end
}

void sal_reboot_delay_set(int enabled) {
    reboot_delay.store(enabled != 0);
}

void sal_reboot(void) {
    sal_restart_announce();
    // The serial line shows it whoever asked; a telnet session sees it too.
    sal_board_printf("Resetting...\n");
    if (sal_console_bound() != nullptr && sal_console_bound() != sal_console_default())
        sal_console_printf("Resetting...\n");
    if (reboot_delay.load()) sal_sleep(1);
    sal_reboot_hook_t hook = reboot_hook.load();
    if (hook != nullptr) {
        hook();
        sal_restart_withdraw();  // a stand-in: the board did not restart
        sal_thread_exit(0);
    }
    flush_all();
    std::_Exit(SAL_REBOOT_EXIT_STATUS);
}

int sal_clean_exit(void) {
    return -2;
}

void sal_srand(uint32_t seed) {
    std::lock_guard<std::mutex> g(rand_lock);
    rand_state = seed;
}

uint32_t sal_rand(void) {
    // A fixed linear congruential generator, so a seeded run repeats exactly.
    std::lock_guard<std::mutex> g(rand_lock);
    rand_state = rand_state * 1103515245u + 12345u;
    return (rand_state >> 1) & 0x7fffffffu;
}

int sal_bus_probe(uint32_t) {
    return 0;
}

uint32_t cp0_status_get(void) {
    // Kernel mode, interrupts enabled: what the board's processor shows.
    return 0x1000ff01u;
}

void sal_shell_register(sal_shell_fn_t fn) {
    shell_fn.store(fn);
}

void sal_shell(void) {
    sal_shell_fn_t fn = shell_fn.load();
    if (fn == nullptr) {
        sal_printf("No shell available\n");
        return;
    }
    fn();
}
