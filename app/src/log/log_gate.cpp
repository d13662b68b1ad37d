// Gates for the log lines that outside traffic can cause: a burst writes its
// first lines, and one line a window reports how many more were folded.
#include "log_gate.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "log_internal.h"
#include "sal_lock.h"

static_assert(LOG_GATE_WINDOW_MAX_SECS * 1000000ull <= INT32_MAX,
              "a report is queued as a deferred call, whose delay is a signed 32-bit count");

namespace {

using log_internal::core_lock;

// A console gate's lines are printed as they are, not logged.
void write_line(const log_gate &g, int level, int module, const char *text) {
    if (g.console)
        sal_printf("%s", text);
    else
        logger_puts(level, module, text);
}

// Writes the window's count and opens the next window, twice as long, in
// which the flood that goes on writes nothing but its next count.
void report_locked(log_gate &g, uint32_t now) {
    char count[48];
    const int suffix = std::snprintf(count, sizeof count, " (%u more like this folded)", g.folded);
    char line[LOGGER_TEXT_MAX];
    std::snprintf(line, sizeof line, "%.*s%s%s", LOGGER_TEXT_MAX - (g.console ? 2 : 1) - suffix,
                  g.latest, count, g.console ? "\n" : "");
    g.folded = 0;
    g.report_queued = false;
    g.passed = g.burst;
    g.since = now;
    g.window = std::min(g.window * 2, LOG_GATE_WINDOW_MAX_SECS);
    write_line(g, g.level, g.module, line);
}

// Runs on the deferred-call thread at the end of the window that folded.
void report_due(void *owner, void *, void *, void *, void *) {
    log_gate &g = *static_cast<log_gate *>(owner);
    SalLock hold(core_lock());
    if (g.folded != 0) report_locked(g, sal_time());
    g.report_queued = false;
}

void fold_locked(log_gate &g, int level, int module, const char *text, uint32_t now) {
    g.folded++;
    g.level = level;
    g.module = module;
    std::snprintf(g.latest, sizeof g.latest, "%s", text);
    size_t len = std::strlen(g.latest);
    while (len > 0 && (g.latest[len - 1] == '\n' || g.latest[len - 1] == '\r'))
        g.latest[--len] = '\0';
    if (g.report_queued) return;
    // Asked once a window: when the deferred-call queue is full, the first
    // line after the window makes the report instead.
    g.report_queued = true;
    const uint32_t left = g.since + g.window - now;
    sal_dpc_time(left * 1000000u, report_due, &g, nullptr, nullptr, nullptr, nullptr);
}

}  // namespace

int log_gate_puts(log_gate *gate, int level, int module, const char *text) {
    if (gate == nullptr) {
        logger_puts(level, module, text);
        return 1;
    }
    log_gate &g = *gate;
    SalLock hold(core_lock());
    const uint32_t now = sal_time();
    // A clock set back counts as the window's end too.
    if (g.window == 0 || now - g.since >= g.window) {
        if (g.folded != 0) {
            report_locked(g, now);
        } else {
            g.since = now;
            g.window = LOG_GATE_WINDOW_SECS;
            g.passed = 0;
        }
    }
    if (g.passed >= g.burst) {
        fold_locked(g, level, module, text != nullptr ? text : "", now);
        return 0;
    }
    g.passed++;
    write_line(g, level, module, text != nullptr ? text : "");
    return 1;
}

int log_gate_printf(log_gate *gate, int level, int module, const char *fmt, ...) {
    char line[LOGGER_TEXT_MAX];
    va_list ap;
    va_start(ap, fmt);
    line[0] = '\0';
    if (fmt != nullptr) std::vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    return log_gate_puts(gate, level, module, line);
}
