// Counter services of the chip service table (slots 22-25): the collector
// thread's control, the standard (SNMP) statistics as sums of the chip's MIB
// counters, and the hardware counter reset. The 64-bit totals live in the
// device manager's counter collector, which registers its entry points here
// when a unit's counters attach.
#pragma once

#include <cstdint>

#include "soc_control.h"

// The counter map of every supported chip: register id by counter index, -1
// for a row without a register. Fast-Ethernet and gigabit ports share it.
constexpr int DRV_COUNTER_MAP_ROWS = 43;
extern const int drv_counter_map_rows[DRV_COUNTER_MAP_ROWS];

// Feature of units without MIB counters: every counter service answers -16.
constexpr int DRV_FEATURE_NO_COUNTERS = 240;

// Statistic ids 0..103 (snmpIfInOctets ..), and the id that means "every
// counter" for the clear.
constexpr uint32_t DRV_SNMP_NUM_STATS = 104;
constexpr uint32_t DRV_SNMP_ALL_COUNTERS = 104;
const char *drv_snmp_stat_name(uint32_t stat);  // null outside 0..103

// The collector's entry points (soc_tarn_counter_*).
struct drv_counter_collector_t {
    int (*start)(int unit, uint32_t flags, int interval, soc_pbmp_t bmp);
    int (*stop)(int unit);
    int (*sync)(int unit);
    int (*read)(int unit, int port, int reg, uint64_t *value);
    int (*clear_one)(int unit, int port, int reg);
    int (*set)(int unit, soc_pbmp_t bmp, uint64_t value);
    int (*sw_set)(int unit, soc_pbmp_t bmp, uint64_t value);
};
// Until a collector registers, the services that need it answer -16.
void drv_counter_collector_register(const drv_counter_collector_t *collector);

// Thread operations of slot 22.
constexpr uint32_t DRV_COUNTER_THREAD_START = 0;
constexpr uint32_t DRV_COUNTER_THREAD_STOP = 1;
constexpr uint32_t DRV_COUNTER_THREAD_SYNC = 2;

int drv_counter_thread_set(int unit, uint32_t op, uint32_t flags, int interval, soc_pbmp_t bmp);
// Only clearing exists: a non-zero value answers -16.
int drv_snmp_counter_set(int unit, soc_pbmp_t bmp, uint32_t counter, uint64_t value);
int drv_snmp_counter_get(int unit, int port, uint32_t counter, uint64_t *value);
int drv_counter_reset(int unit);
