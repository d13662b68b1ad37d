// The counter collector: per unit a 64-bit software total for every MIB
// counter of every port, refreshed by the "tCOUNTER.<unit>" thread from the
// chip's wrapping hardware counters. Readers only read the totals; a sync
// makes the thread refresh them now.
#pragma once

#include <cstdint>

#include "drv_if.h"

// Attach registers the collector with the counter services.
int soc_tarn_counter_attach(int unit);  // 0, -2
int soc_tarn_counter_detach(int unit);  // the stop result

// interval in microseconds, 0 = prime the previous values only.
int soc_tarn_counter_start(int unit, uint32_t flags, int interval, soc_pbmp_t bmp);
int soc_tarn_counter_stop(int unit);  // 0, -1 when the thread does not end
int soc_tarn_counter_sync(int unit);  // 0, -12 when stopped, -1 on time-out
// Keeps the collector off the unit's hardware counters until the release,
// for one that changes a counter register and puts it back; SOC_E_INIT
// (nothing held) before the attach.
int soc_tarn_counter_hw_hold(int unit);
void soc_tarn_counter_hw_release(int unit);
// The running settings: interval (0 while stopped), ports and flags as
// started; SOC_E_INIT before the attach.
int soc_tarn_counter_status(int unit, int *interval, soc_pbmp_t *bmp, uint32_t *flags);

// A register that is not a counter is reported and reads 0 (result 0).
int soc_tarn_counter_get(int unit, int port, int reg, int clear, uint64_t *value);
int soc_tarn_counter_read(int unit, int port, int reg, uint64_t *value);
int soc_tarn_counter_read32(int unit, int port, int reg, uint32_t *value);
int soc_tarn_counter_read_clear(int unit, int port, int reg, uint64_t *value);
int soc_tarn_counter_read_clear32(int unit, int port, int reg, uint32_t *value);
int soc_tarn_counter_set_core(int unit, int port, int reg, uint64_t value);
int soc_tarn_counter_clear_one(int unit, int port, int reg);
int soc_tarn_counter_set(int unit, soc_pbmp_t bmp, uint64_t value);
int soc_tarn_counter_set32(int unit, soc_pbmp_t bmp, uint32_t value);
int soc_tarn_counter_set_all_ports(int unit, int reg, uint64_t value);
// Total, previous hardware value and delta of every counter of the ports.
int soc_tarn_counter_sw_set(int unit, soc_pbmp_t bmp, uint64_t value);
// Per second over the last collection interval.
int soc_tarn_counter_rate_get(int unit, int port, int reg, uint64_t *rate);
int soc_tarn_counter_rate_get32(int unit, int port, int reg, uint32_t *rate);
int soc_tarn_counter_idx_get(int unit, int reg, int port);
const soc_cmap_t *soc_tarn_port_cmap_get(int unit, int port);
