// The RMON probe started over a unit's chip on the manual clock, for the
// probe's tests and those of its pages; the tests drive the counter and
// reclaim passes themselves.
#pragma once

#include <gtest/gtest.h>

#include "dxp.h"
#include "rmon.h"
#include "sal_host.h"

namespace rmon_test {

inline void probe_start() {
    sal_clock_manual(sal_clock_usecs64());
    if (dxp_stat_sync(0) != 0) {
        ASSERT_EQ(dxp_stat_init(0), 0);
    }
    rmon_init();
    rmonp_table_reset();
    rmon_counter_period_set(0);
    rmon_reclaim_period_set(0);
}

inline void probe_stop() {
    rmonp_table_reset();
    rmon_counter_period_set(0);
    rmon_reclaim_period_set(0);
    sal_clock_real();
}

}  // namespace rmon_test
