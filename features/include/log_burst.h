// A fault that repeats in a burst (a flood of forged frames, a full table)
// is logged once: at its first occurrence, and again only after a quiet
// stretch without any. The caller's lock guards the record.
#pragma once

#include <cstdint>

constexpr uint32_t LOG_BURST_QUIET_SECS = 10;

struct log_burst {
    bool open;      // a burst is under way
    uint32_t last;  // seconds (sal_time) of its latest occurrence
};

// Counts one occurrence now; true when it opens a burst and is to be logged.
bool log_burst_first(log_burst *b);
