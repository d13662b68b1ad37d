// MIIM services (service slots 6 and 7): a port's PHY registers are a page of
// the switch's register space, reached by 16-bit register accesses. Also the
// seven VLAN slots (34-40) this family does not have.
#pragma once

#include <cstdint>

#include "soc_control.h"

// Register address of a PHY register: page << 8 | reg * 2, the page by chip
// model, port (from the PHY-address-to-port map) and the port's internal
// SERDES flag. DRV_MIIM_ADDR_INVALID (high byte 0xff) when the PHY address
// has no port or the port no page.
constexpr uint32_t DRV_MIIM_ADDR_INVALID = 0xff00;
uint32_t drv_miim_addr(int unit, uint8_t phy_addr, uint8_t reg);

// 0, the bus error, or -14 when the address has no register page (nothing is
// accessed then). Not in interrupt context.
int drv_miim_read(int unit, uint8_t phy_addr, uint8_t reg, uint16_t *data);
int drv_miim_write(int unit, uint8_t phy_addr, uint8_t reg, uint16_t data);

// Slots 34-40: -16, nothing touched.
int drv_unavail_slot34(int unit, uint32_t prop_type, soc_pbmp_t bmp, uint32_t val);
int drv_unavail_slot35(int unit, uint32_t prop_type, int port, uint32_t *val);
int drv_unavail_slot36(int unit);
int drv_unavail_slot37(int unit);
int drv_unavail_slot38(int unit, uint32_t vt_type, int port, uint32_t cvid, uint32_t sp_vid,
                       uint32_t pri, uint32_t mode);
int drv_unavail_slot39(int unit, uint32_t vt_type, int port, uint32_t vid);
int drv_unavail_slot40(int unit, uint32_t vt_type);
