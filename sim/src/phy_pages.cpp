#include "sim/phy_pages.h"

#include "chipdata/ids.h"

namespace sim {

namespace {

constexpr int kBmcr = 0;
constexpr int kBmsr = 1;
constexpr int kId0 = 2;
constexpr int kId1 = 3;
constexpr int kAnar = 4;
constexpr uint16_t kBmcrReset = 0x8000;

}  // namespace

PhyPages::PhyPages(const ChipProfile &profile) : profile_(profile), regs_(profile.num_ports) {
    port_of_page_.fill(-1);
    for (int port = 0; port < profile.num_ports; port++) {
        int page = profile.phyPage(port);
        if (page >= 0 && page < 256) port_of_page_[page] = port;
    }
    resetAll();
}

int PhyPages::portOfPage(int page) const {
    return page >= 0 && page < 256 ? port_of_page_[page] : -1;
}

bool PhyPages::read(int port, int offset, uint16_t *value) const {
    if (port < 0 || port >= profile_.num_ports || offset < 0 || offset >= 64 || (offset & 1))
        return false;
    *value = regs_[port][offset / 2];
    return true;
}

bool PhyPages::write(int port, int offset, uint16_t value) {
    if (port < 0 || port >= profile_.num_ports || offset < 0 || offset >= 64 || (offset & 1))
        return false;
    int reg = offset / 2;
    if (reg == kBmsr || reg == kId0 || reg == kId1) return true;  // read-only
    if (reg == kBmcr && (value & kBmcrReset)) {
        reset(port);  // self-clearing software reset
        return true;
    }
    regs_[port][reg] = value;
    return true;
}

void PhyPages::reset(int port) {
    std::array<uint16_t, 32> &r = regs_[port];
    r.fill(0);
    if (profile_.portClass(port) == PortClass::FastEthernet) {
        // The chip's own fast-Ethernet PHY: autonegotiation on, 10/100 abilities,
        // link down.
        uint16_t model =
            profile_.kind == ChipKind::DXP7102A0 || profile_.kind == ChipKind::DXP7102A1
                ? PHY_MODEL_7102_FE
                : PHY_MODEL_7101_FE;
        r[kBmcr] = 0x3100;
        r[kBmsr] = 0x7809;
        r[kId0] = phy_id0(PHY_OUI_KEY_B);
        r[kId1] = phy_id1(PHY_OUI_KEY_B, model, 0);
        r[kAnar] = 0x01e1;
    } else {
        // No PHY answers on a gigabit port's page in this tier.
        r.fill(0xffff);
    }
}

void PhyPages::resetAll() {
    for (int port = 0; port < profile_.num_ports; port++)
        reset(port);
}

}  // namespace sim
