#include "sim/phy_model.h"

namespace sim {

namespace {

// Clause-22 registers and bits.
constexpr int kControl = 0;
constexpr int kStatus = 1;
constexpr int kId0 = 2;
constexpr int kId1 = 3;
constexpr int kAdvert = 4;
constexpr int kPartner = 5;
constexpr int kGigaControl = 9;
constexpr int kGigaStatus = 10;
constexpr int kExtStatus = 15;

constexpr uint16_t kCtlReset = 0x8000;
constexpr uint16_t kCtlLoopback = 0x4000;
constexpr uint16_t kCtlSpeed100 = 0x2000;
constexpr uint16_t kCtlAutoneg = 0x1000;
constexpr uint16_t kCtlPowerDown = 0x0800;
constexpr uint16_t kCtlRestartAutoneg = 0x0200;
constexpr uint16_t kCtlFullDuplex = 0x0100;
constexpr uint16_t kCtlSpeed1000 = 0x0040;
constexpr uint16_t kStsAutonegDone = 0x0020;
constexpr uint16_t kStsLink = 0x0004;
constexpr uint16_t kPageAck = 0x4000;
constexpr uint16_t kSelector = 0x0001;

// Copper advertisement bits of registers 4 and 5 against the ability word.
struct AdvertBit {
    uint16_t reg_bit;
    uint32_t ability;
};
constexpr AdvertBit kCopperAdvert[] = {
    {0x0020, kAbility10Half},  {0x0040, kAbility10Full}, {0x0080, kAbility100Half},
    {0x0100, kAbility100Full}, {0x0400, kAbilityPause},  {0x0800, kAbilityAsymPause},
};
// 1000BASE-X advertisement: duplex bits; pause in bits 8:7.
constexpr AdvertBit kSerdesAdvert[] = {{0x0020, kAbility1000Full}, {0x0040, kAbility1000Half}};
constexpr uint16_t kSerdesPauseShift = 7;

// Fastest first: the outcome of auto-negotiation.
constexpr uint32_t kPriority[] = {kAbility1000Full, kAbility1000Half, kAbility100Full,
                                  kAbility100Half,  kAbility10Full,   kAbility10Half};

LinkState link_of(uint32_t ability) {
    LinkState s;
    s.up = true;
    s.speed = ability & (kAbility1000Full | kAbility1000Half) ? 1000
              : ability & (kAbility100Full | kAbility100Half) ? 100
                                                              : 10;
    s.full_duplex = ability & (kAbility1000Full | kAbility100Full | kAbility10Full);
    return s;
}

uint32_t speed_abilities(int speed) {
    switch (speed) {
        case 1000:
            return kAbility1000Full | kAbility1000Half;
        case 100:
            return kAbility100Full | kAbility100Half;
        case 10:
            return kAbility10Full | kAbility10Half;
        default:
            return 0;
    }
}

}  // namespace

PhyModel::PhyModel(PhyKind kind, uint16_t id0, uint16_t id1) : kind_(kind), id0_(id0), id1_(id1) {
    reset();
}

void PhyModel::reset() {
    regs_.fill(0);
    latched_down_ = false;
    switch (kind_) {
        case PhyKind::None:
            regs_.fill(0xffff);
            return;
        case PhyKind::FastEthernet:
            regs_[kControl] = 0x3100;
            regs_[kStatus] = 0x7809;
            regs_[kAdvert] = 0x01e1;
            break;
        case PhyKind::GigabitCopper:
            regs_[kControl] = 0x1140;
            regs_[kStatus] = 0x7909;
            regs_[kAdvert] = 0x01e1;
            regs_[kGigaControl] = 0x0300;
            regs_[kExtStatus] = 0x3000;
            break;
        case PhyKind::Serdes:
            regs_[kControl] = 0x1140;
            regs_[kStatus] = 0x0109;
            regs_[kAdvert] = 0x0020;
            regs_[kExtStatus] = 0x8000;
            break;
    }
    regs_[kId0] = id0_;
    regs_[kId1] = id1_;
    update();
}

uint32_t PhyModel::capabilities() const {
    switch (kind_) {
        case PhyKind::FastEthernet:
            return 0x0f | kAbilityPause | kAbilityAsymPause;
        case PhyKind::GigabitCopper:
            return 0x3f | kAbilityPause | kAbilityAsymPause;
        case PhyKind::Serdes:
            return kAbility1000Full | kAbility1000Half | kAbilityPause | kAbilityAsymPause;
        case PhyKind::None:
            break;
    }
    return 0;
}

uint32_t PhyModel::localAbilities() const {
    uint32_t a = 0;
    uint16_t adv = regs_[kAdvert];
    if (kind_ == PhyKind::Serdes) {
        for (const AdvertBit &b : kSerdesAdvert)
            a |= (adv & b.reg_bit) ? b.ability : 0;
        uint16_t pause = (adv >> kSerdesPauseShift) & 3;
        if (pause & 1) a |= kAbilityPause;
        if (pause & 2) a |= kAbilityAsymPause;
        return a;
    }
    for (const AdvertBit &b : kCopperAdvert)
        a |= (adv & b.reg_bit) ? b.ability : 0;
    if (kind_ == PhyKind::GigabitCopper) {
        if (regs_[kGigaControl] & 0x0100) a |= kAbility1000Half;
        if (regs_[kGigaControl] & 0x0200) a |= kAbility1000Full;
    }
    return a;
}

// The partner's base page as register 5 shows it after auto-negotiation.
uint16_t PhyModel::partnerPage() const {
    uint32_t abilities = partner_->abilities;
    uint16_t page = kPageAck;
    if (kind_ == PhyKind::Serdes) {
        for (const AdvertBit &b : kSerdesAdvert)
            page |= (abilities & b.ability) ? b.reg_bit : 0;
        uint16_t pause =
            ((abilities & kAbilityPause) ? 1 : 0) | ((abilities & kAbilityAsymPause) ? 2 : 0);
        return static_cast<uint16_t>(page | pause << kSerdesPauseShift);
    }
    page |= kSelector;
    for (const AdvertBit &b : kCopperAdvert)
        page |= (abilities & b.ability) ? b.reg_bit : 0;
    return page;
}

void PhyModel::update() {
    if (!present()) return;
    const uint16_t ctl = regs_[kControl];
    LinkState s;
    bool autoneg_done = false;
    uint16_t partner_page = 0;
    uint16_t giga_status = 0;
    if (ctl & kCtlLoopback) {
        // Looped back inside the PHY: up at the forced speed, cable or not.
        int speed = kind_ == PhyKind::Serdes ? 1000
                    : (ctl & kCtlSpeed1000)  ? 1000
                    : (ctl & kCtlSpeed100)   ? 100
                                             : 10;
        s = {true, speed, (ctl & kCtlFullDuplex) != 0};
    } else if (partner_ && !(ctl & kCtlPowerDown)) {
        const LinkPartner &p = *partner_;
        const uint32_t mine = capabilities();
        if ((ctl & kCtlAutoneg) && p.autoneg) {
            uint32_t common = localAbilities() & p.abilities & mine;
            for (uint32_t best : kPriority) {
                if (common & best) {
                    s = link_of(best);
                    autoneg_done = true;
                    partner_page = partnerPage();
                    if (kind_ == PhyKind::GigabitCopper)
                        giga_status =
                            static_cast<uint16_t>(((p.abilities & kAbility1000Full) ? 0x0800 : 0) |
                                                  ((p.abilities & kAbility1000Half) ? 0x0400 : 0));
                    break;
                }
            }
        } else if (ctl & kCtlAutoneg) {
            // Parallel detection of a forced partner: its speed, half duplex.
            if (localAbilities() & mine & speed_abilities(p.speed)) {
                s = {true, p.speed, false};
                autoneg_done = true;
                partner_page = kind_ == PhyKind::Serdes ? 0 : p.speed == 100 ? 0x0080 : 0x0020;
            }
        } else {
            int speed = kind_ == PhyKind::Serdes ? 1000
                        : (ctl & kCtlSpeed1000)  ? 1000
                        : (ctl & kCtlSpeed100)   ? 100
                                                 : 10;
            bool partner_fits =
                p.autoneg ? (p.abilities & speed_abilities(speed)) != 0 : p.speed == speed;
            if (partner_fits && (mine & speed_abilities(speed)))
                s = {true, speed, (ctl & kCtlFullDuplex) != 0};
        }
    }
    if (state_.up && !s.up) latched_down_ = true;
    state_ = s;
    uint16_t status = regs_[kStatus] & ~(kStsAutonegDone | kStsLink);
    if (autoneg_done) status |= kStsAutonegDone;
    if (s.up) status |= kStsLink;
    regs_[kStatus] = status;
    regs_[kPartner] = partner_page;
    if (kind_ == PhyKind::GigabitCopper) regs_[kGigaStatus] = giga_status;
}

uint16_t PhyModel::read(int reg) {
    reg &= 31;
    if (!present()) return 0xffff;
    uint16_t value = regs_[reg];
    if (reg == kStatus) {
        // The link bit stays low until read once after the link failed.
        if (latched_down_) value &= ~kStsLink;
        latched_down_ = false;
    }
    return value;
}

void PhyModel::write(int reg, uint16_t value) {
    reg &= 31;
    if (!present()) return;
    switch (reg) {
        case kControl:
            if (value & kCtlReset) {
                reset();  // self-clearing
                return;
            }
            regs_[kControl] = value & ~kCtlRestartAutoneg;
            update();
            return;
        case kStatus:
        case kId0:
        case kId1:
        case kPartner:
        case kGigaStatus:
        case kExtStatus:
            return;  // read-only
        default:
            regs_[reg] = value;
    }
}

void PhyModel::connect(const LinkPartner &partner) {
    partner_ = partner;
    update();
}

void PhyModel::disconnect() {
    partner_.reset();
    update();
}

}  // namespace sim
