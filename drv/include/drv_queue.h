// Queue services (service slots 47-58): queue count, WRR weights, the
// priority, TOS and DSCP maps and the classification source of each port.
#pragma once

#include <cstdint>

#include "drv_if.h"
#include "soc_error.h"

// Mapping types of drv_queue_mapping_type_set / _get.
constexpr uint32_t DRV_QUEUE_MAP_NONE = 0;
constexpr uint32_t DRV_QUEUE_MAP_PRIO = 1;
constexpr uint32_t DRV_QUEUE_MAP_DFSV = 2;
constexpr uint32_t DRV_QUEUE_MAP_TOS = 3;
constexpr uint32_t DRV_QUEUE_MAP_PRIO_ONLY = 4;
constexpr uint32_t DRV_QUEUE_MAP_MAC = 5;

int drv_queue_count_set(int unit, uint32_t port_type, uint8_t count);
int drv_queue_count_get(int unit, uint32_t port_type, uint8_t *count);
int drv_7102_queue_WRR_weight_set(int unit, uint32_t port_type, uint8_t queue, uint32_t weight);
int drv_queue_WRR_weight_get(int unit, uint32_t port_type, uint8_t queue, uint32_t *weight);
int drv_queue_prio_set(int unit, uint8_t prio, uint8_t queue);
int drv_queue_prio_get(int unit, uint8_t prio, uint8_t *queue);
int drv_queue_tos_set(int unit, uint8_t precedence, uint8_t queue);
int drv_queue_tos_get(int unit, uint8_t precedence, uint8_t *queue);
int drv_queue_dfsv_set(int unit, uint8_t code_point, uint8_t queue);
int drv_queue_dfsv_get(int unit, uint8_t code_point, uint8_t *queue);
int drv_queue_mapping_type_set(int unit, soc_pbmp_t bmp, uint32_t mapping_type, uint8_t state);
int drv_queue_mapping_type_get(int unit, int port, uint32_t mapping_type, uint8_t *state);

// The register changes of a mapping type, shared by the chip families:
// dot1p(on) and ip(on) add the ports to or remove them from 802.1p and IP
// classification; select(1) picks DSCP, select(0) TOS precedence, for the
// whole chip; ip_any() is negative on a failed read, else whether any port
// still classifies by IP.
template <typename Dot1p, typename Ip, typename Select, typename IpAny>
int drv_queue_mapping_apply(uint32_t mapping_type, bool on, Dot1p dot1p, Ip ip, Select select,
                            IpAny ip_any) {
    switch (mapping_type) {
        case DRV_QUEUE_MAP_NONE:
            if (int rv = dot1p(false); rv < 0) return rv;
            return ip(false);
        case DRV_QUEUE_MAP_PRIO:
            if (int rv = dot1p(on); rv < 0) return rv;
            return on ? ip(false) : SOC_E_NONE;
        case DRV_QUEUE_MAP_DFSV:
        case DRV_QUEUE_MAP_TOS:
            if (!on) {
                // The ports go back to 802.1p, which DSCP took from them, and
                // the selector to its start value once no port uses it.
                if (int rv = ip(false); rv < 0) return rv;
                if (mapping_type == DRV_QUEUE_MAP_DFSV) {
                    if (int rv = dot1p(true); rv < 0) return rv;
                }
                const int any = ip_any();
                if (any < 0) return any;
                return any ? SOC_E_NONE : select(0u);
            }
            if (int rv = select(mapping_type == DRV_QUEUE_MAP_DFSV ? 1u : 0u); rv < 0) return rv;
            if (int rv = ip(true); rv < 0) return rv;
            return mapping_type == DRV_QUEUE_MAP_DFSV ? dot1p(false) : SOC_E_NONE;
        case DRV_QUEUE_MAP_PRIO_ONLY:
            return dot1p(on);
        case DRV_QUEUE_MAP_MAC:
            return SOC_E_UNAVAIL;
        default:
            return SOC_E_PARAM;
    }
}
