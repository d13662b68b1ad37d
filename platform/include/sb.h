// The processor's backplane: its cores (the common core with the GPIO pins and
// the external-bus interface, the Ethernet MAC cores), their reset and flags,
// and the GPIO and external-bus controls. A handle remembers the core it was
// attached to and the core currently selected.
#pragma once

#include <cstdint>

struct sb_s;
using sb_t = sb_s;

constexpr uint32_t SB_CC_CORE_ID = 0x800;  // common core: GPIO, external bus
constexpr uint32_t SB_ENET = 0x806;        // Ethernet MAC core
constexpr uint32_t SB_CHIP_ID = 0x4710;    // the processor's chip id
constexpr uint32_t SB_BUS_SYSTEM = 0;
constexpr uint32_t SB_BUS_PCI = 1;
constexpr uint32_t SB_CORE_FLAGS_MASK = 0x7ffe0000;

// Attaches to the backplane with the core of that id and unit selected (the
// common core has unit 0); null when the board has no such core or memory is
// short.
sb_t *sb_attach(uint32_t core_id, unsigned core_unit);
void sb_detach(sb_t *sbh);

uint32_t sb_chip(sb_t *sbh);
uint32_t sb_chiprev(sb_t *sbh);
uint32_t sb_bus(sb_t *sbh);
// The NVRAM variable "boardtype" (0 when unset).
uint32_t sb_boardtype(sb_t *sbh);
unsigned sb_coreunit(sb_t *sbh);
uint32_t sb_soc_coreid(sb_t *sbh);  // id of the selected core
uint32_t sb_clock(sb_t *sbh);       // backplane clock in Hz, 0 when unknown

// Core selection. Not interrupt-safe: callers serialise their use of a handle.
unsigned sb_coreidx(sb_t *sbh);
void sb_setcore_gpio(sb_t *sbh);  // selects the core with the GPIO pins
void sb_setcoreidx(sb_t *sbh, unsigned index);

// Reset control of the selected core.
bool sb_iscoreup(sb_t *sbh);
void sb_core_disable(sb_t *sbh, uint32_t core_flags);
void sb_core_reset(sb_t *sbh, uint32_t core_flags);
void sb_core_tofixup(sb_t *sbh);
// Routes the core's interrupt through the PCI core on a PCI host bus; 0 (this
// board's cores sit on the system bus, so there is nothing to route).
int sb_pci_setup(sb_t *sbh, uint32_t *out, uint32_t core_mask);
// Read-modify-write of the selected core's control flags (bits 0x7ffe0000);
// returns the new flags.
uint32_t sb_coreflags(sb_t *sbh, uint32_t mask, uint32_t value);

// GPIO: read-modify-write of the masked output and output-enable bits (the new
// register value is returned) and the input levels.
uint32_t sb_gpioout(sb_t *sbh, uint32_t mask, uint32_t value);
uint32_t sb_gpioouten(sb_t *sbh, uint32_t mask, uint32_t value);
uint32_t sb_gpioin(sb_t *sbh);

// External bus; mode 1 makes the switch window at 0xBA000000 usable. 0, or -1
// for an unknown mode or a board without the bus.
int sb_extbus_config(sb_t *sbh, int mode);
