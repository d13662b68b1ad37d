#include "sim/phy_pages.h"

#include "chipdata/ids.h"

namespace sim {

namespace {

constexpr int kPages = 256;

std::unique_ptr<PhyModel> make_phy(const ChipProfile &profile, int port, PhyKind gigabit_phy,
                                   PhyPart part) {
    switch (profile.portClass(port)) {
        case PortClass::FastEthernet: {
            bool dxp7102 =
                profile.kind == ChipKind::DXP7102A0 || profile.kind == ChipKind::DXP7102A1;
            uint16_t model = dxp7102 ? PHY_MODEL_7102_FE : PHY_MODEL_7101_FE;
            return std::make_unique<PhyModel>(PhyKind::FastEthernet, phy_id0(PHY_OUI_KEY_B),
                                              phy_id1(PHY_OUI_KEY_B, model, 0));
        }
        case PortClass::Gigabit:
            if (part.given() && gigabit_phy != PhyKind::None && gigabit_phy != PhyKind::Serdes)
                return std::make_unique<PhyModel>(gigabit_phy, part.id0, part.id1);
            if (gigabit_phy == PhyKind::GigabitCopper)
                return std::make_unique<PhyModel>(PhyKind::GigabitCopper, phy_id0(PHY_OUI_KEY_D),
                                                  phy_id1(PHY_OUI_KEY_D, PHY_MODEL_6405, 0));
            if (gigabit_phy == PhyKind::GigabitDualMedia)
                return std::make_unique<PhyModel>(PhyKind::GigabitDualMedia, phy_id0(PHY_OUI_KEY_D),
                                                  phy_id1(PHY_OUI_KEY_D, PHY_MODEL_6401S, 0));
            if (gigabit_phy == PhyKind::GigabitCombo)
                return std::make_unique<PhyModel>(PhyKind::GigabitCombo, phy_id0(PHY_OUI_KEY_B),
                                                  phy_id1(PHY_OUI_KEY_B, PHY_MODEL_6416, 0));
            break;
        default:
            break;
    }
    return std::make_unique<PhyModel>(PhyKind::None, 0xffff, 0xffff);
}

bool access_ok(const ChipProfile &profile, int port, int offset) {
    return port >= 0 && port < profile.num_ports && offset >= 0 && offset < 64 && !(offset & 1);
}

}  // namespace

PhyPages::PhyPages(const ChipProfile &profile, PhyKind gigabit_phy, PhyPart gigabit_part)
    : profile_(profile), port_of_page_(kPages, -1), serdes_page_(kPages, false) {
    for (int port = 0; port < profile.num_ports; port++) {
        phys_.push_back(make_phy(profile, port, gigabit_phy, gigabit_part));
        int serdes = profile.serdesPage(port);
        serdes_.push_back(serdes >= 0 ? std::make_unique<PhyModel>(PhyKind::Serdes, 0, 0)
                                      : nullptr);
        int page = profile.phyPage(port);
        if (page >= 0 && page < kPages) port_of_page_[page] = port;
        if (serdes >= 0 && serdes < kPages) {
            port_of_page_[serdes] = port;
            serdes_page_[serdes] = true;
        }
    }
}

int PhyPages::portOfPage(int page) const {
    return page >= 0 && page < kPages ? port_of_page_[page] : -1;
}

const PhyModel *PhyPages::atPage(int page) const {
    int port = portOfPage(page);
    if (port < 0) return nullptr;
    return serdes_page_[page] ? serdes_[port].get() : phys_[port].get();
}

PhyModel *PhyPages::atPage(int page) {
    return const_cast<PhyModel *>(static_cast<const PhyPages *>(this)->atPage(page));
}

bool PhyPages::read(int port, int offset, uint16_t *value) {
    if (!access_ok(profile_, port, offset)) return false;
    *value = phys_[port]->read(offset / 2);
    return true;
}

bool PhyPages::write(int port, int offset, uint16_t value) {
    if (!access_ok(profile_, port, offset)) return false;
    phys_[port]->write(offset / 2, value);
    return true;
}

void PhyPages::connect(int port, const LinkPartner &partner) {
    phys_[port]->connect(partner);
    const bool combo = phys_[port]->kind() == PhyKind::GigabitCombo;
    if (serdes_[port] && (!combo || partner.medium == Medium::Fiber))
        serdes_[port]->connect(partner);
}

void PhyPages::disconnect(int port) {
    phys_[port]->disconnect();
    if (serdes_[port]) serdes_[port]->disconnect();
}

void PhyPages::disconnectFiber(int port) {
    phys_[port]->disconnectFiber();
    if (serdes_[port] && phys_[port]->kind() == PhyKind::GigabitCombo) serdes_[port]->disconnect();
}

// Behind a copper/fibre PHY the SERDES runs SGMII to that PHY: it links
// whenever the PHY's running side does, at any speed (a 100BASE-FX fibre
// too), not only when a 1000BASE-X fibre reaches it.
uint16_t PhyPages::serdesStatus(int port) const {
    const PhyModel *serdes = serdes_[port].get();
    if (serdes == nullptr) return 0;
    const uint16_t status = serdes->peek(1);
    if (phys_[port]->kind() != PhyKind::GigabitCombo) return status;
    constexpr uint16_t kLinkBits = 0x0024;  // link, auto-negotiation complete
    return static_cast<uint16_t>((status & ~kLinkBits) | (phys_[port]->state().up ? kLinkBits : 0));
}

LinkState PhyPages::link(int port) const {
    if (profile_.portClass(port) == PortClass::Cpu)
        return {true, profile_.wideBitmaps() ? 1000 : 100, true};
    if (phys_[port]->present()) return phys_[port]->state();
    if (serdes_[port]) return serdes_[port]->state();
    return {};
}

bool PhyPages::loopedBack(int port) const {
    const PhyModel *carrier = phys_[port]->present() ? phys_[port].get() : serdes_[port].get();
    return carrier != nullptr && carrier->loopedBack();
}

void PhyPages::reset(int port) {
    phys_[port]->reset();
    if (serdes_[port]) serdes_[port]->reset();
}

void PhyPages::resetAll() {
    for (int port = 0; port < profile_.num_ports; port++)
        reset(port);
}

}  // namespace sim
