// One log line per burst of a repeated fault.
#include "log_burst.h"

#include "sal.h"

bool log_burst_first(log_burst *b) {
    const uint32_t now = sal_time();
    const bool first = !b->open || now - b->last >= LOG_BURST_QUIET_SECS;
    b->open = true;
    b->last = now;
    return first;
}
