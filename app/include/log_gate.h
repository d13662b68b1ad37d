// A gate for log lines (or console prints) that outside traffic can cause:
// a host's frames, requests or login attempts. A burst of such lines writes its first
// `burst` lines; the rest are folded into a count that one line reports at
// the end of the burst's window, "<latest line> (N more like this folded)".
// While the lines keep coming, each window is twice as long as the one
// before (up to half an hour), so no host can write the stored log faster
// than its gates let it, nor push the administrator's lines out of the rings.
#pragma once

#include <cstdint>

#include "logger.h"

constexpr uint32_t LOG_GATE_WINDOW_SECS = 10;  // a burst's first window
constexpr uint32_t LOG_GATE_WINDOW_MAX_SECS = 1800;

// One per kind of line, of static storage: its report is made after the
// caller has returned. Guarded by the log core's lock.
struct log_gate {
    uint32_t burst = 1;          // lines a burst writes before folding
    bool console = false;        // its lines are console prints (sal_printf), not logged
    uint32_t since = 0;          // start of the window (sal_time seconds)
    uint32_t window = 0;         // its length; 0 while no burst is under way
    uint32_t passed = 0;         // lines written in this window
    uint32_t folded = 0;         // lines folded in this window
    bool report_queued = false;  // the window's report is asked of the deferred calls
    int level = 0;               // of the latest folded line, for the report
    int module = 0;
    char latest[LOGGER_TEXT_MAX] = {};
};

// Logs the line when the gate lets it through: 1 written, 0 folded. A null
// gate lets every line through, for callers whose line is gated only when a
// host caused it.
int log_gate_printf(log_gate *gate, int level, int module, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));
int log_gate_puts(log_gate *gate, int level, int module, const char *text);
