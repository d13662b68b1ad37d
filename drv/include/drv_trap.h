// Trap and snoop services (slots 80-83): which frame classes the chip copies
// or redirects to the CPU port. The get services OR what they find into the
// caller's word and never clear it.
#pragma once

#include <cstdint>

constexpr uint32_t DRV_TRAP_IGMP = 0x2;
constexpr uint32_t DRV_TRAP_BPDU = 0x40;
constexpr uint32_t DRV_TRAP_SEC_DROP = 0x800;
constexpr uint32_t DRV_TRAP_BCAST = 0x2000;
constexpr uint32_t DRV_SNOOP_IGMP = 0x1;

// 0, -16 for a class the chip cannot trap (the supported part still
// applied), or a register error.
int drv_trap_set(int unit, uint32_t trap_mask);
int drv_trap_get(int unit, uint32_t *trap_mask);
int drv_snoop_set(int unit, uint32_t snoop_mask);
int drv_snoop_get(int unit, uint32_t *snoop_mask);
