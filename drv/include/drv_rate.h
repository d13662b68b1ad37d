// Per-port ingress and egress rate limiters and the storm-control bucket of
// the ingress limiter (service slots 84-91). Limits are kilobits per second,
// bursts kilobits; both are programmed as the chip's codes.
#pragma once

#include <cstdint>

constexpr uint32_t DRV_RATE_INGRESS = 1;
constexpr uint32_t DRV_RATE_EGRESS = 2;

// Ingress configuration types of drv_rate_config_set/get.
constexpr uint32_t DRV_RATE_CONFIG_RATE_TYPE = 0;
constexpr uint32_t DRV_RATE_CONFIG_DROP_ENABLE = 1;
constexpr uint32_t DRV_RATE_CONFIG_PKT_MASK = 2;

// Storm type mask.
constexpr uint32_t DRV_STORM_BCAST = 0x1;
constexpr uint32_t DRV_STORM_MCAST = 0x2;
constexpr uint32_t DRV_STORM_DLF = 0x4;

// Chip codes: 0 for a limit of 0; 255 above 1024000.
uint32_t drv_rate_code(uint32_t limit);
// The limit a code stands for; -1 for a code above 240.
int64_t drv_rate_decode(uint32_t code);
// Bucket code of a burst (six-code table); the burst a code stands for, or -1.
uint32_t drv_bucket_code(uint32_t burst);
int64_t drv_bucket_decode(uint32_t code);
// The largest burst a bucket code stands for (kbit).
uint32_t drv_bucket_burst_max(void);
// The largest limit the limiters have a code for (kbit/s); a limit between
// two codes runs as the nearest one, as the chip takes it.
uint32_t drv_rate_limit_max(void);
// Whether the unit's chip has an egress limiter.
bool drv_rate_egress_present(int unit);

// -4 for another direction or an egress limit above 1024000.
int drv_rate_set(int unit, uint32_t bmp_lo, uint32_t bmp_hi, uint32_t direction, uint32_t limit,
                 uint32_t burst_size);
int drv_rate_get(int unit, int port, uint32_t direction, uint32_t *limit, uint32_t *burst_size);
// -4 for another type or a value too wide for its field.
int drv_rate_config_set(int unit, uint32_t bmp_lo, uint32_t bmp_hi, uint32_t config_type,
                        uint32_t value);
int drv_rate_config_get(int unit, int port, uint32_t config_type, uint32_t *value);

// The DXP7102 family's per-port suppression fields are not described: its
// storm services answer -16.
int drv_storm_control_enable_set(int unit, int port, uint8_t enable);
int drv_storm_control_enable_get(int unit, int port, uint8_t *enable);
// -4 for a limit above 1048576 or a burst beyond the bucket table.
int drv_storm_control_set(int unit, uint32_t bmp_lo, uint32_t bmp_hi, uint32_t type, uint32_t limit,
                          uint32_t burst_size);
int drv_storm_control_get(int unit, int port, uint32_t *type, uint32_t *limit,
                          uint32_t *burst_size);
// Whether drv_storm_control_set would take this limit and burst; lets callers
// refuse before they switch anything on.
bool drv_storm_values_valid(uint32_t limit, uint32_t burst_size);
// The largest storm limit drv_storm_control_set takes, in kbps.
uint32_t drv_storm_limit_max(void);
int drv_storm_type_set(int unit, int port, uint32_t mask, int on);
int drv_storm_type_get(int unit, int port, uint32_t *mask);

// Whether an ingress limit was programmed since start-up (one for the system).
bool drv_rate_ingress_started(void);
