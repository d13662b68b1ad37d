// What the PHY drivers share: register access at the port's PHY address, the
// port classes, and the clause-22 routines of the generic drivers.
#pragma once

#include <cstdint>

#include "phy.h"
#include "soc_miim.h"

constexpr int kPhyAddrLimit = 64;      // chips with the PHY records in the control record
constexpr int kPhyAddrLimitSide = 32;  // the others

// Clause-22 registers.
constexpr uint32_t MII_CTRL = 0, MII_STAT = 1, MII_PHYSID1 = 2, MII_PHYSID2 = 3, MII_ANA = 4,
                   MII_ANP = 5, MII_GB_CTRL = 9, MII_GB_STAT = 10, MII_ESR = 15;
constexpr uint16_t MII_CTRL_RESET = 0x8000, MII_CTRL_LE = 0x4000, MII_CTRL_SS_100 = 0x2000,
                   MII_CTRL_AE = 0x1000, MII_CTRL_PD = 0x0800, MII_CTRL_RAN = 0x0200,
                   MII_CTRL_FD = 0x0100, MII_CTRL_SS_1000 = 0x0040;
constexpr uint16_t MII_STAT_ES = 0x0100, MII_STAT_AN_DONE = 0x0020, MII_STAT_LA = 0x0004;

namespace phy {

// The port's record; every port of a unit past soc_phy_init has one.
soc_phy_info_t *info(int unit, int port);
uint32_t flags(int unit, int port);
void flags_set(int unit, int port, uint32_t set, uint32_t clear);

// Registers of the port's PHY (addr), or of its internal PHY (addr_int).
int rd(int unit, int port, uint32_t reg, uint16_t *v);
int wr(int unit, int port, uint32_t reg, uint16_t v);
// Read, new = (old & ~clear) | set, written back only when it changed.
int rmw(int unit, int port, uint32_t reg, uint16_t set, uint16_t clear);
int rd_int(int unit, int port, uint32_t reg, uint16_t *v);
int wr_int(int unit, int port, uint32_t reg, uint16_t v);
// A sequence of (register, value) writes, stopping at the first failure.
struct RegWrite {
    uint32_t reg;
    uint16_t value;
};
int write_seq(int unit, int port, const RegWrite *seq, int n);

bool fe_class(int unit, int port);
bool ge_class(int unit, int port);
bool hs_class(int unit, int port);  // either high-speed class
bool chip_flag(int unit, uint32_t mask);

// Model tests by the identifier decoding of the port's PHY, read anew.
struct Ident {
    uint32_t key;
    uint16_t model;
    uint16_t rev;
    bool is(uint32_t k, uint16_t m) const { return key == k && model == m; }
};
int ident_read(int unit, int port, Ident *id);

// Waits for bit 15 of register 0 to clear (reset property, default_usec);
// on expiry writes back `restore`. reg_read / reg_write pick the address.
int reset_wait(int unit, int port, uint16_t restore, int default_usec, bool internal);

// Generic slot routines.
int zero_init(int unit, int port);
int zero_reset(int unit, int port, void *);
int enable_set(int unit, int port, int enable);
int enable_get(int unit, int port, int *enable);
int mii_reset(int unit, int port, void *);
int fe_init(int unit, int port);
int ge_init(int unit, int port);
int mii_link_get(int unit, int port, int *up);
int mii_duplex_set(int unit, int port, int full);
int mii_duplex_get(int unit, int port, int *full);
int mii_speed_set(int unit, int port, int mbps);
int mii_speed_get(int unit, int port, int *mbps);
int mii_master_set(int unit, int port, int mode);
int mii_master_get(int unit, int port, int *mode);
int mii_autoneg_set(int unit, int port, int enable);
int mii_autoneg_get(int unit, int port, int *enable, int *done);
int fe_adv_set(int unit, int port, uint32_t ability);
int fe_adv_get(int unit, int port, uint32_t *ability);
int fe_remote_get(int unit, int port, uint32_t *ability);
int ge_adv_set(int unit, int port, uint32_t ability);
int ge_adv_get(int unit, int port, uint32_t *ability);
int ge_remote_get(int unit, int port, uint32_t *ability);
int mii_lb_set(int unit, int port, int enable);
int mii_lb_get(int unit, int port, int *enable);
int fe_interface_set(int unit, int port, int intf);
int fe_interface_get(int unit, int port, int *intf);
int ge_interface_set(int unit, int port, int intf);
int ge_interface_get(int unit, int port, int *intf);
int fe_ability(int unit, int port, uint32_t *ability);
int ge_ability(int unit, int port, uint32_t *ability);
int fixed_mdix_set(int unit, int port, int mode);
int fixed_mdix_get(int unit, int port, int *mode);
int fixed_mdix_status_get(int unit, int port, int *status);
int medium_copper(int unit, int port, int *medium);
int unavail_cable_diag(int unit, int port, phy_cable_diag_t *);

// 1000BASE-X advertisement and partner pages (registers 4 and 5).
uint16_t x1000_page_of(uint32_t ability);
uint32_t x1000_abilities_of(uint16_t page);

// The slots of "Gigabit PHY Driver", which the model drivers start from.
constexpr phy_driver_t ge_driver_slots() {
    return {
        .drv_name = "Gigabit PHY Driver",
        .init = ge_init,
        .reset = mii_reset,
        .link_get = mii_link_get,
        .enable_set = phy::enable_set,
        .enable_get = phy::enable_get,
        .duplex_set = mii_duplex_set,
        .duplex_get = mii_duplex_get,
        .speed_set = mii_speed_set,
        .speed_get = mii_speed_get,
        .master_set = mii_master_set,
        .master_get = mii_master_get,
        .autoneg_set = mii_autoneg_set,
        .autoneg_get = mii_autoneg_get,
        .adv_local_set = ge_adv_set,
        .adv_local_get = ge_adv_get,
        .adv_remote_get = ge_remote_get,
        .loopback_set = mii_lb_set,
        .loopback_get = mii_lb_get,
        .interface_set = ge_interface_set,
        .interface_get = ge_interface_get,
        .ability_get = ge_ability,
        .linkup_event = nullptr,
        .linkdown_event = nullptr,
        .mdix_set = fixed_mdix_set,
        .mdix_get = fixed_mdix_get,
        .mdix_status_get = fixed_mdix_status_get,
        .medium_config_set = nullptr,
        .medium_config_get = nullptr,
        .medium_get = medium_copper,
        .cable_diag = nullptr,
        .link_change = nullptr,
        .spare = {},
    };
}

}  // namespace phy

void phy_common_host_forget(void);
void phy_serdes_host_forget(void);
void phy_640x_host_forget(void);
