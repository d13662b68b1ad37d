// What the PHY drivers share: register access at the port's PHY address, the
// port classes, and the clause-22 routines of the generic drivers.
#pragma once

#include <cstdint>
#include <span>

#include "phy.h"
#include "sal.h"
#include "soc_error.h"
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

// A block of driver state per port, allocated at the port's first init and
// freed when the host forgets the PHY layer.
template <typename T>
struct PortBlocks {
    T *at[PHY_UNITS_MAX][SOC_MAX_NUM_PORTS];

    static bool in_range(int unit, int port) {
        return unit >= 0 && unit < PHY_UNITS_MAX && port >= 0 && port < SOC_MAX_NUM_PORTS;
    }
    // nullptr out of range or before the port's first claim.
    T *of(int unit, int port) const { return in_range(unit, port) ? at[unit][port] : nullptr; }
    // The port's block, cleared: -4 out of range, -2 without memory.
    int claim(int unit, int port, const char *tag, T **out) {
        if (!in_range(unit, port)) return SOC_E_PARAM;
        T *&b = at[unit][port];
        if (b == nullptr) b = static_cast<T *>(sal_alloc(sizeof(T), tag));
        if (b == nullptr) return SOC_E_MEMORY;
        *b = T{};
        *out = b;
        return SOC_E_NONE;
    }
    void forget() {
        for (auto &unit : at) {
            for (T *&b : unit) {
                if (b != nullptr) sal_free(b);
                b = nullptr;
            }
        }
    }
};

// Model tests by the identifier decoding of the port's PHY, read anew.
struct Ident {
    uint32_t key;
    uint16_t model;
    uint16_t rev;
    bool is(uint32_t k, uint16_t m) const { return key == k && model == m; }
};
int ident_read(int unit, int port, Ident *id);

// A port's board setting as read at init (phy_setting.cpp).
struct PortSetting {
    const char *name;
    int value;    // the stored number (held within the int range), else the default
    bool stored;  // false: the driver's default
};
PortSetting setting_get(int unit, int port, const char *name, int dflt);
// The value of `takes` nearest to `value`; a tie goes away from zero.
int nearest_of(int value, std::span<const int> takes);
// Returns `taken`, the value the PHY runs with instead of the setting's; when
// they differ it logs the port, the setting and both values, for a stored
// value always and for a default when `report` (the default matters).
int setting_taken(int unit, int port, const PortSetting &s, int taken, bool report);

// Waits for bit 15 of register 0 to clear (reset property, default_usec);
// on expiry writes back `restore`. reg_read / reg_write pick the address.
int reset_wait(int unit, int port, uint16_t restore, int default_usec, bool internal);

// Slots that answer one fixed value.
template <typename T, T value>
int out_value(int, int, T *out) {
    if (out == nullptr) return SOC_E_PARAM;
    *out = value;
    return SOC_E_NONE;
}

// Clause-22 routines that work alike at the port's PHY address and at its
// internal PHY address (Internal).
template <bool Internal>
int c22_autoneg_set(int unit, int port, int enable);
template <bool Internal>
int c22_autoneg_get(int unit, int port, int *enable, int *done);
template <bool Internal>
int c22_lb_get(int unit, int port, int *enable);

// Generic slot routines.
int zero_init(int unit, int port);
int zero_reset(int unit, int port, void *);
int zero_set(int unit, int port, int);
int zero_ability_set(int unit, int port, uint32_t);
int out_zero_pair(int unit, int port, int *a, int *b);
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
inline constexpr auto mii_autoneg_set = c22_autoneg_set<false>;
inline constexpr auto mii_autoneg_get = c22_autoneg_get<false>;
int fe_adv_set(int unit, int port, uint32_t ability);
int fe_adv_get(int unit, int port, uint32_t *ability);
int fe_remote_get(int unit, int port, uint32_t *ability);
int ge_adv_set(int unit, int port, uint32_t ability);
int ge_adv_get(int unit, int port, uint32_t *ability);
int ge_remote_get(int unit, int port, uint32_t *ability);
int mii_lb_set(int unit, int port, int enable);
inline constexpr auto mii_lb_get = c22_lb_get<false>;
int fe_interface_set(int unit, int port, int intf);
inline constexpr auto fe_interface_get = out_value<int, PHY_IF_MII>;
int ge_interface_set(int unit, int port, int intf);
int ge_interface_get(int unit, int port, int *intf);
int fe_ability(int unit, int port, uint32_t *ability);
int ge_ability(int unit, int port, uint32_t *ability);
int fixed_mdix_set(int unit, int port, int mode);
inline constexpr auto fixed_mdix_get = out_value<int, PHY_MDIX_NORMAL>;
inline constexpr auto fixed_mdix_status_get = out_value<int, 0>;
inline constexpr auto medium_copper = out_value<int, PHY_MEDIUM_COPPER>;
int unavail_cable_diag(int unit, int port, phy_cable_diag_t *);
// Cable tests: the fast-Ethernet driver's slot, the 631X driver's own.
int fe_cable_diag(int unit, int port, phy_cable_diag_t *result);
int cable_diag_631x(int unit, int port, phy_cable_diag_t *result);
// The 640X driver's variant code of the port (its model) and its reset set-up.
int variant_640x(int unit, int port, uint16_t *variant);
int reset_setup_640x(int unit, int port);

// The two stored configurations of a copper/fibre PHY. A configuration the
// medium cannot run would fail every later switch to it: medium_config_runs
// tells (copper_forceauto: the driver takes forced automatic MDI-X;
// fiber_fx100: the fibre may be 100BASE-FX, so it may be forced to 100
// full). A port setting made on the active medium reaches the other medium's
// configuration as far as that medium runs it, so a medium change keeps the
// port's settings.
bool medium_config_runs(int medium, const phy_medium_config_t &cfg, bool copper_forceauto,
                        bool fiber_fx100);
// An advertisement set on the active medium: a change of its pause reaches
// the other medium; an unchanged one leaves the other's own.
void carry_pause(uint32_t before, uint32_t ability, phy_medium_config_t *other);
// A copper setting changed (before -> copper): when it changes what the
// copper asks of the fibre, the fibre takes that. The copper forced to
// gigabit (forced 1000 full, or negotiating 1000 full alone) forces the
// fibre to 1000; forced to 100 full it forces a fibre that may be 100BASE-FX
// (fiber_fx100) to 100; asking nothing any more, it gives the fibre back the
// fibre's own setting from before the request (kept per unit and port), or
// lets it negotiate when that is not known. A setting applied unchanged, or
// one the fibre cannot run in place of another it cannot run, leaves the
// fibre's own setting as it is.
void carry_copper_change(int unit, int port, const phy_medium_config_t &before,
                         const phy_medium_config_t &copper, phy_medium_config_t *fiber,
                         bool fiber_fx100);
// The fibre's own setting was set (at init, from its stored configuration or
// on the active fibre): it is the one a copper request gives back.
void fiber_own_set(int unit, int port);
// The fibre's auto-negotiation changed: a forced fibre forces the copper to
// 1000 full in the copper's forced-gigabit form (negotiating 1000 full
// alone); negotiating again, the copper negotiates every copper speed. Only
// that change reaches the copper: the fibre's speed and duplex say nothing
// of the copper's.
void carry_fiber_autoneg(phy_medium_config_t *copper, const phy_medium_config_t &fiber);
// Auto-negotiation set on a 100BASE-FX fibre, which runs 100 full alone:
// forced, the copper is forced to the same 100 full; negotiating, the copper
// negotiates too.
void carry_fx100_autoneg(phy_medium_config_t *copper, int enable);
// Whether the fibre, of the kind it is (100 or 1000 Mb/s), runs forced: its
// own forced speed must be that kind's.
bool fiber_forced_at(const phy_medium_config_t &fiber, int kind_mbps);
// 1000BASE-X advertisement and partner pages (registers 4 and 5).
uint16_t x1000_page_of(uint32_t ability);
uint32_t x1000_abilities_of(uint16_t page);

// The slots every driver starts from, as a driver with no PHY registers
// behind it: every setting taken and none kept, link down, a fixed MDI and no
// medium. The abilities are each driver's own.
constexpr phy_driver_t fixed_driver_slots(const char *name) {
    return {
        .drv_name = name,
        .init = zero_init,
        .reset = zero_reset,
        .link_get = out_value<int, 0>,
        .enable_set = phy::enable_set,
        .enable_get = phy::enable_get,
        .duplex_set = zero_set,
        .duplex_get = out_value<int, 1>,
        .speed_set = zero_set,
        .speed_get = out_value<int, 0>,
        .master_set = zero_set,
        .master_get = out_value<int, 0>,
        .autoneg_set = zero_set,
        .autoneg_get = out_zero_pair,
        .adv_local_set = zero_ability_set,
        .adv_local_get = nullptr,
        .adv_remote_get = nullptr,
        .loopback_set = zero_set,
        .loopback_get = out_value<int, 0>,
        .interface_set = zero_set,
        .interface_get = out_value<int, PHY_IF_NONE>,
        .ability_get = nullptr,
        .linkup_event = nullptr,
        .linkdown_event = nullptr,
        .mdix_set = fixed_mdix_set,
        .mdix_get = fixed_mdix_get,
        .mdix_status_get = fixed_mdix_status_get,
        .medium_config_set = nullptr,
        .medium_config_get = nullptr,
        .medium_get = out_value<int, PHY_MEDIUM_NONE>,
        .cable_diag = nullptr,
        .link_change = nullptr,
        .spare = {},
    };
}

// The slots of "Gigabit PHY Driver", which the model drivers start from: the
// clause-22 routines at the PHY address.
constexpr phy_driver_t ge_driver_slots() {
    phy_driver_t d = fixed_driver_slots("Gigabit PHY Driver");
    d.init = ge_init;
    d.reset = mii_reset;
    d.link_get = mii_link_get;
    d.duplex_set = mii_duplex_set;
    d.duplex_get = mii_duplex_get;
    d.speed_set = mii_speed_set;
    d.speed_get = mii_speed_get;
    d.master_set = mii_master_set;
    d.master_get = mii_master_get;
    d.autoneg_set = mii_autoneg_set;
    d.autoneg_get = mii_autoneg_get;
    d.adv_local_set = ge_adv_set;
    d.adv_local_get = ge_adv_get;
    d.adv_remote_get = ge_remote_get;
    d.loopback_set = mii_lb_set;
    d.loopback_get = mii_lb_get;
    d.interface_set = ge_interface_set;
    d.interface_get = ge_interface_get;
    d.ability_get = ge_ability;
    d.medium_get = medium_copper;
    return d;
}

// The slots of "Fast Ethernet PHY Driver": the gigabit ones with the 10/100
// advertisement, interface and abilities.
constexpr phy_driver_t fe_driver_slots() {
    phy_driver_t d = ge_driver_slots();
    d.drv_name = "Fast Ethernet PHY Driver";
    d.init = fe_init;
    d.adv_local_set = fe_adv_set;
    d.adv_local_get = fe_adv_get;
    d.adv_remote_get = fe_remote_get;
    d.interface_set = fe_interface_set;
    d.interface_get = fe_interface_get;
    d.ability_get = fe_ability;
    d.cable_diag = fe_cable_diag;
    return d;
}

}  // namespace phy

// The PHY-measured cable tests and the echo analysis of gigabit PHYs.
int phy_fe_cable_diag(int unit, int port, phy_cable_diag_t *result);
int cable_diag_hw(int unit, int port, phy_cable_diag_t *result);
struct phy_640x_cdiag_params_t {
    uint32_t mode;  // 0 full load, 1 short load
    uint16_t p[11];
    uint16_t status;
    uint16_t result_a;
    uint16_t result_b;
};
int phy_640x_cdiag_prepare(int unit, int phy_addr);
int phy_640x_cdiag_run(int unit, int phy_addr, phy_640x_cdiag_params_t *params);
int phy_cdiag_sw(int unit, int phy_addr, phy_cable_diag_t *result);

void phy_common_host_forget(void);
void phy_serdes_host_forget(void);
void phy_640x_host_forget(void);
void phy_6401s_host_forget(void);
