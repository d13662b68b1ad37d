// Shared by the services of the 53-port chips.
#pragma once

#include <cstdint>

#include "drv_if.h"

namespace drv_wide {

// Reads of a start/busy bit before a command counts as timed out.
constexpr int kPolls = 100;
// The DXP7106 numbers its ports 24 up in the address table.
constexpr uint32_t kPortOffset = 24;

inline int entry_bytes(const soc_mem_info_t *r) {
    return static_cast<int>(r->size_fields & 0xffff);
}

// Starts a command of ARLA_RWCTL on a table (0 the address table) under
// MEM_RWCTRL_REG and waits for its end: 0, SOC_E_TIMEOUT or a register error.
int start_and_poll(int unit, bool read, int table);

}  // namespace drv_wide
