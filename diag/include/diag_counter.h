// The monitor's side of the counter collector: the per-unit table of saved
// counter values (the values last shown), the counter displays that print
// each counter with its change since then, and the saved-value sync.
#pragma once

#include <cstdint>

// Display flags of counter_show_reg and counter_show_pbmp.
constexpr int COUNTER_SHOW_CHANGED = 0x1;
constexpr int COUNTER_SHOW_SAME = 0x2;
constexpr int COUNTER_SHOW_Z = 0x4;
constexpr int COUNTER_SHOW_NZ = 0x8;
constexpr int COUNTER_SHOW_HEX = 0x10;
constexpr int COUNTER_SHOW_RAW = 0x20;
constexpr int COUNTER_SHOW_ERDISC = 0x40;

// Saved values by (port, counter register); the table is made on the first
// cval_set of the unit. cval_get answers 0 while there is none.
void cval_set(int unit, int port, int reg, int ar_idx, uint64_t value);
uint64_t cval_get(int unit, int port, int reg, int ar_idx);
// Every counter of the ports in pbmp (bit n = port n).
void cval_set_pbmp(int unit, uint64_t pbmp, uint64_t value);

// Show one counter, or every counter (reg -1) of the ports; 0.
int counter_show_reg(int unit, int port, int reg, int ar_idx, int flags);
int counter_show_pbmp(int unit, int reg, uint64_t pbmp, int flags);
// Saves the collected value of every counter of the ports; 0 or the first
// negative return code.
int counter_sync_pbmp(int unit, uint64_t pbmp);
