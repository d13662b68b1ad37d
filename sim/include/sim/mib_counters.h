// The per-port MIB counter pages of the switch chip: one counter register per
// catalogue row of type "per-port counters" for every port the row serves,
// 8-byte octet counters and 4-byte packet counters that wrap at their width.
// Counters are writable (the counter self-tests load them) and a chip-wide
// reset (GMNGCFG.RST_MIB_CNT) clears them all.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/profile.h"
#include "sim/regspace.h"

namespace sim {

class MibCounters {
  public:
    explicit MibCounters(const ChipProfile &profile);

    // The counter at or covering a byte address, or null.
    const RegInstance *at(uint16_t address) const;
    // The port's counter of a register id, or null.
    const RegInstance *find(int reg_id, int port) const;

    // Bus access: bytes outside any counter read 0 and ignore writes.
    void read(uint16_t address, uint8_t *buf, int len) const;
    void write(uint16_t address, const uint8_t *buf, int len);

    uint64_t get(const RegInstance &reg) const;
    void set(const RegInstance &reg, uint64_t value);  // cut to the width
    void add(const RegInstance &reg, uint64_t delta);  // wraps at the width
    void clearAll();

  private:
    size_t indexOf(const RegInstance &reg) const { return &reg - counters_.data(); }

    std::vector<RegInstance> counters_;
    std::vector<int32_t> by_address_;  // byte address -> counter, -1 for none
    std::vector<uint64_t> values_;
};

}  // namespace sim
