// The per-port PHY register pages of the switch chip: 32 registers of 16 bits
// per port, register r at offset 2r of the port's page. This tier keeps them
// as plain register files with the identifier of the port's PHY; link and
// autonegotiation behaviour come with the PHY models.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "sim/profile.h"

namespace sim {

class PhyPages {
  public:
    explicit PhyPages(const ChipProfile &profile);

    // The chip port whose PHY page this is, or -1.
    int portOfPage(int page) const;

    // 16-bit access at an even offset below 64; false for any other shape.
    bool read(int port, int offset, uint16_t *value) const;
    bool write(int port, int offset, uint16_t value);

    uint16_t peek(int port, int reg) const { return regs_[port][reg & 31]; }
    void poke(int port, int reg, uint16_t value) { regs_[port][reg & 31] = value; }

    void reset(int port);
    void resetAll();

  private:
    const ChipProfile &profile_;
    std::vector<std::array<uint16_t, 32>> regs_;
    std::array<int, 256> port_of_page_;
};

}  // namespace sim
