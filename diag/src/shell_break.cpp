// The console's break key, as the board's serial line gives it: a break
// typed while the console runs a command asks that command to stop. Long
// commands (self-tests, TX, FOR and LOOP, scripts) check sh_stop_requested
// at their steps and waits and end through their normal end, so whatever
// they took is given back; the rest of the command line is not run.
#include <atomic>

#include "diag_shell.h"
#include "sal.h"

namespace {

std::atomic<int> contexts{0};
std::atomic<int> blocked{0};
std::atomic<bool> pending{false};
// The console's read count when the break came: a break that comes after a
// line was read (typed together with its Enter) is that line's command's.
std::atomic<uint32_t> pending_after_line{0};

bool on_console_thread() {
    const sal_thread_t console = diag_console_thread();
    return console != nullptr && sal_thread_self() == console;
}

}  // namespace

void sh_break_push(void *) {
    if (on_console_thread()) contexts.fetch_add(1);
}

void sh_break_pop(void *) {
    if (on_console_thread() && contexts.load() > 0) contexts.fetch_sub(1);
}

void sh_break_block(int on) {
    if (!on_console_thread()) return;
    if (on) {
        blocked.fetch_add(1);
    } else if (blocked.load() > 0) {
        blocked.fetch_sub(1);
    }
}

int sh_break_raise(void) {
    pending_after_line.store(sal_console_lines_read());
    pending.store(true);
    return contexts.load() > 0 ? 1 : 0;
}

void sh_break_clear(void) {
    // Only the board's console counts its reads; a line read elsewhere
    // (a console bound in its place) came after any break.
    const sal_console_ops *bound = sal_console_bound();
    const bool board = bound == nullptr || bound == sal_console_default();
    if (!board || pending_after_line.load() != sal_console_lines_read()) pending.store(false);
}

int sh_break_requested(void) {
    return pending.load() && blocked.load() == 0 && on_console_thread() ? 1 : 0;
}
