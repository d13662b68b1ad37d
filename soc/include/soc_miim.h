// PHY register access by name (clause 22 through the chip's MIIM services,
// clause 45 as a capability stub), the polling time-out of the PHY and MAC
// wait loops, and the hooks through which the software link scan reports
// link state to the chip layer.
#pragma once

#include <cstdint>

#include "soc_control.h"

// Family units: the service table's MIIM slots with the address and register
// cut to 8 bits and the data to 16; other units: 0 with nothing done. Not in
// interrupt context.
int soc_miim_write(int unit, uint32_t phy_id, uint32_t phy_reg_addr, uint16_t phy_wr_data);
int soc_miim_read(int unit, uint32_t phy_id, uint32_t phy_reg_addr, uint16_t *phy_rd_data);
// Clause-22 accesses of the unit that failed since start-up.
int soc_miim_error_count(int unit);
// new = (value & mask) | (old & ~mask), written only when it differs.
int soc_miim_modify(int unit, uint32_t phy_id, uint32_t phy_reg_addr, uint16_t value,
                    uint16_t mask);

// Clause 45: no bus access; 0 with feature "phy_cl45", else -16.
int soc_miimc45_write(int unit, uint32_t phy_id, uint8_t phy_devad, uint16_t phy_reg_addr,
                      uint16_t phy_wr_data);
int soc_miimc45_read(int unit, uint32_t phy_id, uint8_t phy_devad, uint16_t phy_reg_addr,
                     uint16_t *phy_rd_data);
int soc_miimc45_modify(int unit, uint32_t phy_id, uint8_t phy_devad, uint16_t phy_reg_addr,
                       uint16_t value, uint16_t mask);

// A poll loop's time-out: fast polls up to the minimum, then the deadline is
// armed and each check sleeps 1, 2, 4 ... microseconds, at most a tenth of
// the time-out.
struct soc_timeout_t {
    uint32_t expire;  // deadline, valid once armed
    int usec;         // time-out
    int min_polls;    // -1 once armed
    int polls;
    int exp_delay;  // current back-off in microseconds
};
void soc_timeout_init(soc_timeout_t *to, int usec, int min_polls);
int soc_timeout_check(soc_timeout_t *to);    // 1 when expired
int soc_timeout_elapsed(soc_timeout_t *to);  // microseconds past the start of the time-out

// Link state from the link scan: the linked ports and two further bitmaps.
int soc_link_fwd_set(int unit, soc_pbmp_t fwd);
int soc_link_fwd_hw_set(int unit);  // nothing to program on this family: 0
int soc_link_bitmap1_set(int unit, soc_pbmp_t bmp);
int soc_link_bitmap2_set(int unit, soc_pbmp_t bmp);
// -8 when a handler is given while one is registered; null clears.
int soc_linkscan_handler_register(int unit, soc_link_handler_t handler);
// No hardware link scan on this family: these do nothing.
void soc_linkscan_hw_pause(int unit);
void soc_linkscan_hw_continue(int unit);
int soc_linkscan_hw_config(int unit, soc_pbmp_t hw_mii_pbm);
