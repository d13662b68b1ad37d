// The PHY layer: the per-port PHY records and hook tables, identification of
// each port's PHY and the driver records the port services call through.
#pragma once

#include <cstdint>

#include "drv_port.h"
#include "soc_phy_info.h"

constexpr int PHY_UNITS_MAX = 18;

// Value encodings on the driver interface.
enum phy_interface_t : int {
    PHY_IF_NONE = 0,
    PHY_IF_NULL,
    PHY_IF_MII,
    PHY_IF_GMII,
    PHY_IF_SGMII,
    PHY_IF_TBI,
    PHY_IF_XGMII,
    PHY_IF_RGMII,
};
enum phy_master_t : int { PHY_MS_SLAVE = 0, PHY_MS_MASTER, PHY_MS_AUTO, PHY_MS_NONE };
enum phy_medium_t : int { PHY_MEDIUM_NONE = 0, PHY_MEDIUM_COPPER, PHY_MEDIUM_FIBER };
enum phy_mdix_t : int {
    PHY_MDIX_AUTO = 0,
    PHY_MDIX_FORCEAUTO,
    PHY_MDIX_NORMAL,
    PHY_MDIX_XOVER,
};
// Words of a medium configuration record.
enum phy_medium_word_t : int {
    PHY_MC_ENABLE = 0,
    PHY_MC_PREFERRED,
    PHY_MC_AN_ENABLE,
    PHY_MC_AN_ADVERT,
    PHY_MC_FORCE_SPEED,
    PHY_MC_FORCE_DUPLEX,
    PHY_MC_MASTER,
    PHY_MC_MDIX,
};

// A cable test's result: states 0 Ok, 1 Open, 2 Short, 3 Open/Short,
// 4 Crosstalk, 5 Unknown; lengths in metres (-1 when not measured); the
// tolerance is plus or minus metres, 0 when none is given.
struct phy_cable_diag_t {
    int32_t state;
    int32_t npairs;
    int32_t pair_state[4];
    int32_t pair_len[4];
    int32_t fuzz_len;
};
static_assert(sizeof(phy_cable_diag_t) == 11 * 4);
// What a cable_diag slot returns when the port had link: nothing was
// pulse-tested, the pair states say nothing and the lengths are estimates.
constexpr int PHY_CABLE_DIAG_LINK_UP = 1;
// What it returns when the port runs on its PHY's fibre side: the copper
// pairs were left alone and every length is -1.
constexpr int PHY_CABLE_DIAG_ON_FIBER = 2;

// ---- Driver records.
extern const phy_driver_t phy_null;
extern const phy_driver_t phy_noconn;
extern const phy_driver_t phy_fe_drv;
extern const phy_driver_t phy_ge_drv;
extern const phy_driver_t phy_serdes_drv;
extern const phy_driver_t phy_631x_drv;
extern const phy_driver_t phy_6406_drv;
extern const phy_driver_t phy_6407_drv;
extern const phy_driver_t phy_6408_drv;
extern const phy_driver_t phy_6409_drv;
extern const phy_driver_t phy_6410_drv;
extern const phy_driver_t phy_640x_drv;
extern const phy_driver_t phy_6401s_drv;

// ---- Per-port hooks ("phycommon").
using phy_reset_cb_t = int (*)(int unit, int port, void *user_data);
using phy_medium_change_cb_t = void (*)(int unit, int port, int medium, void *user_data);

int phy_common_init(int unit);
int phy_common_reset_register(int unit, int port, phy_reset_cb_t fn, void *user_data,
                              int is_default);
int phy_common_reset_unregister(int unit, int port, phy_reset_cb_t fn, void *user_data);
int phy_common_reset(int unit, int port);
int phy_common_medium_change_register(int unit, int port, phy_medium_change_cb_t fn,
                                      void *user_data);
int phy_common_medium_change_unregister(int unit, int port, phy_medium_change_cb_t fn,
                                        void *user_data);
void phy_common_medium_change_notify(int unit, int port, int medium);

// ---- Accessors of the port's PHY record.
uint16_t soc_phy_id0_get(int unit, int port);
uint16_t soc_phy_id1_get(int unit, int port);
uint8_t soc_phy_addr_get(int unit, int port);
uint8_t soc_phy_addr_int_get(int unit, int port);
uint32_t soc_phy_an_timeout_get(int unit, int port);
int soc_phy_is_c45(int unit, int port);
const char *soc_phy_name_get(int unit, int port);  // "<Unnamed PHY>" when none
// The port of an MDIO address, -1 when none.
int soc_phy_addr_to_port(int unit, int phy_addr);

// Reverses the bit order inside each byte, keeping the byte order.
uint32_t shr_bit_rev_by_byte(uint32_t value);

// ---- Identification and probe.
struct phy_ident_row_t;
using phy_ident_probe_fn = int (*)(int unit, int port, const phy_ident_row_t *row, uint16_t id0,
                                   uint16_t id1, soc_phy_info_t *pi);
struct phy_ident_row_t {
    phy_ident_probe_fn probe;
    uint32_t model_index;
    const char *name;
    const phy_driver_t *driver;
    uint32_t spare;
};

// Clears the unit's records and maps each valid port's default address: 0,
// -3 for a unit without record.
int soc_phy_init(int unit);
void soc_phy_addr_default_get(int unit, int port, uint8_t *addr, uint8_t *addr_int);
void phy_ident_table_init(void);
int phy_ident_table_add(const phy_ident_row_t *row);  // 0, -2 when full
// The port's driver, its record filled: 0 or a negative code (no driver).
int soc_phy_probe(int unit, int port, const phy_driver_t **driver);
// Model index of an identifier pair, 0 when unknown.
uint32_t phy_oui_model_lookup(uint16_t id0, uint16_t id1);
// OUI key and model number an identifier pair decodes to.
uint32_t phy_oui_key(uint16_t id0, uint16_t id1);
inline uint16_t phy_model_of(uint16_t id1) {
    return static_cast<uint16_t>((id1 >> 4) & 0x3f);
}

// What a unit init runs of the PHY layer (registered with the chip layer by
// the start-up wiring): soc_phy_init, then a cleared hook table.
int phy_unit_init(int unit);

// Host-only: drops every unit's records and hook tables.
void phy_host_forget(void);
