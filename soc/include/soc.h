// Life cycle of a switch unit: device init (which attaches the unit) and
// destroy, attach, reset and init, detach, and the port model that init
// rebuilds from the chip driver's block and port tables.
//
// Bring-up of unit 0: soc_cm_init, soc_cm_device_create (with the device's id
// and revision), soc_cm_device_init (with its host vector: attaches the
// unit), then soc_reset_init.
#pragma once

#include "drv_if.h"
#include "soc_cm.h"
#include "soc_control.h"
#include "soc_counter.h"

// Installs the host vector and attaches what the device is: 0; -17 before
// soc_cm_init; -3 for a device not created, one already initialised, or a
// device of another family; -4 when a required vector word is missing; else
// the attach result.
int soc_cm_device_init(int dev, const soc_cm_dev_vectors_t *vectors);
// Detaches the device and clears its interrupt-connect word; the detach
// result, -17 before soc_cm_init, -3 for a device not created.
int soc_cm_device_destroy(int dev);

// 0; -8 when the unit has a record; -2 when an allocation or lock fails (the
// unit is then left without a record).
int soc_tarn_attach(int unit);
int soc_do_init(int unit, int reset);
int soc_reset_init(int unit);  // soc_do_init with reset
int soc_init(int unit);        // soc_do_init without reset
// 0; -3 for a unit out of range, without record or not attached; -1 when the
// interrupt cannot be disconnected. The record stays allocated.
int soc_detach(int unit);
// Rebuilds the record's chip identity and port model.
int soc_tarn_info_config(int unit, soc_control_t *soc);

// Chip-level functions table: chip init, four entries that do nothing, and a
// null end.
using soc_chip_function_t = int (*)(int unit);
struct soc_functions_s {
    soc_chip_function_t chip_init;
    soc_chip_function_t spare[4];
    soc_chip_function_t end;
};
// The table of a driver record of chip type 0x1a .. 0x24; any other type is
// a programming error (assertion).
const soc_functions_t *_soc_functions_find(const soc_driver_t *drv);

// Chip port set-up (soc/src/chip_init/, with the table itself).
extern const soc_functions_t soc_tarn_functions;
int soc_chip_init(int unit);  // -17 when not attached
int soc_tarn_chip_init(int unit);
void soc_tarn_port_reset_init(int unit);

// A step of the life cycle that a later module owns: the ARL shadow thread
// (mode 4 starts it, 0 stops it).
int soc_arl_mode_set(int unit, int mode);

// The PHY layer's init (registered by the start-up wiring; the PHY layer sits
// above this one), run by every unit init after the chip set-up: its negative
// result ends the init. Without one every PHY address maps to no port.
constexpr int16_t SOC_PHY_ADDR_NO_PORT = -1;
using soc_phy_layer_init_fn = int (*)(int unit);
void soc_phy_layer_register(soc_phy_layer_init_fn init);
int soc_phy_layer_init(int unit);
void soc_phy_addr_map_clear(soc_control_t *soc);

// Host-only: stops every unit's threads, frees every record and forgets the
// device manager's state, without touching the chips (tests that start over).
void soc_host_forget_units(void);
