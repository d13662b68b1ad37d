// The per-port PHY register pages of the switch chip: 32 registers of 16 bits
// per page, register r at offset 2r. Each port has its PHY (the chip's own
// fast-Ethernet PHY, an external gigabit copper or copper/fibre PHY, or none) and, on gigabit ports
// of the DXP7101 family, the chip's SERDES on a page of its own. A port's
// cable reaches both; the link the switch sees is the PHY's, or the SERDES's
// where no PHY answers.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sim/phy_model.h"
#include "sim/profile.h"

namespace sim {

class PhyPages {
  public:
    // gigabit_phy: what sits behind the gigabit ports' PHY pages, answering
    // as gigabit_part.
    explicit PhyPages(const ChipProfile &profile, PhyKind gigabit_phy = PhyKind::None,
                      PhyPart gigabit_part = {});

    // The chip port whose PHY or SERDES page this is, or -1.
    int portOfPage(int page) const;
    PhyModel *atPage(int page);
    const PhyModel *atPage(int page) const;

    // 16-bit access at an even offset below 64 of the port's PHY page; false
    // for any other shape.
    bool read(int port, int offset, uint16_t *value);
    bool write(int port, int offset, uint16_t value);

    uint16_t peek(int port, int reg) const { return phys_[port]->peek(reg); }
    void poke(int port, int reg, uint16_t value) { phys_[port]->poke(reg, value); }
    PhyModel &phy(int port) { return *phys_[port]; }
    PhyModel *serdes(int port) { return serdes_[port].get(); }
    // The status register of the port's SERDES (0 where it has none).
    uint16_t serdesStatus(int port) const;

    // Behind a copper/fibre PHY the chip's SERDES carries only the fibre.
    void connect(int port, const LinkPartner &partner);
    void disconnect(int port);
    void disconnectFiber(int port);
    // What the port's MAC sees: the CPU port is always up.
    LinkState link(int port) const;
    // Whether the device that carries the port's link (as for link()) loops
    // the port's frames back.
    bool loopedBack(int port) const;

    void reset(int port);
    void resetAll();

  private:
    const ChipProfile &profile_;
    std::vector<std::unique_ptr<PhyModel>> phys_;
    std::vector<std::unique_ptr<PhyModel>> serdes_;  // null where the port has none
    std::vector<int> port_of_page_;
    std::vector<bool> serdes_page_;
};

}  // namespace sim
