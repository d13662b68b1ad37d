// Special MAC addresses (slots 61, 62), the age timer (59, 60), the queue
// scheduling mode (45, 46), multiple spanning trees (76-79) and the packet
// CRC of the transmit path, in their DXP7102 form.
#pragma once

#include <cstdint>

#include "drv_if.h"

int drv_mac_set(int unit, soc_pbmp_t bmp, uint32_t mac_type, uint8_t *mac, uint32_t index);
int drv_mac_get(int unit, int port, uint32_t mac_type, soc_pbmp_t *bmp, uint8_t *mac);

int drv_age_timer_set(int unit, uint32_t enable, uint32_t age_time);
int drv_age_timer_get(int unit, uint32_t *enable, uint32_t *age_time);
int drv_queue_mode_set(int unit, soc_pbmp_t bmp, uint32_t mode);  // 1 strict, 2 weighted
int drv_queue_mode_get(int unit, int port, uint32_t *mode);
int drv_mst_enable_set(int unit, uint32_t enable);
int drv_mst_enable_get(int unit, uint32_t *enable);
int drv_mstp_config_set(int unit, uint32_t vlan_id, uint32_t mstp_gid);
int drv_mstp_config_get(int unit, uint32_t vlan_id, uint32_t *mstp_gid);
// States 1 disabled, 2 blocking, 3 listening, 4 learning, 5 forwarding.
int drv_mstp_port_set(int unit, uint32_t mstp_gid, int port, uint32_t port_state);
int drv_mstp_port_get(int unit, uint32_t mstp_gid, int port, uint32_t *port_state);

// One data block of a frame to send.
struct soc_pkt_block_t {
    const uint8_t *data;
    uint32_t len;
};
// IEEE CRC-32 over the blocks in order; with skip_tag the 6-byte 0x8874 tag
// that follows the two addresses (at byte 12) is left out.
uint32_t soc_pkt_crc32(const soc_pkt_block_t *blocks, int count, int skip_tag);
