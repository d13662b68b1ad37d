#include "sim/phy_model.h"

#include <algorithm>
#include <cstdlib>

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

// Vendor registers of the fast-Ethernet PHY.
constexpr int kMdixCtrl = 28, kPowerCtrl = 30, kShadowCtrl = 31;
constexpr uint16_t kPowerDownBit = 0x0008;
constexpr uint16_t kMdixMask = 0x1800, kMdixForceNormal = 0x0800, kMdixXoverStatus = 0x2000;
constexpr uint16_t kShadowOpenBit = 0x0080;
// Copper/fibre PHY: register 28 shadows (selector in bits 14:10) and the
// expansion registers behind 23 (number) and 21 (value).
constexpr int kModeShadow = 28, kExpNumber = 23, kExpValue = 21;
constexpr int kSelModeCtrl = 0x1f, kSelLinkChanged = 0x1c, kSelSerdesStatus = 0x15,
              kSelFxDetect = 0x13;
constexpr uint16_t kFxDetectOn = 0x0004;  // 100BASE-FX/1000BASE-X auto-detect
constexpr uint16_t kModeFiberBank = 0x0001, kModeFiberStrap = 0x0008, kModeFiberSignal = 0x0010,
                   kModeCopperEnergy = 0x0020;
// Dual-media PHY: fibre control (11), status with both media's signal (12),
// fibre errors (13) and restart (14); the auxiliary-control shadow that
// selects the medium; the register-28 shadow whose bit 5 says "no fibre sync".
constexpr int kFiberCtrl = 11, kFiberStat = 12, kFiberErrors = 13, kFiberRestart = 14,
              kAuxCtrl = 24;
constexpr uint16_t kFiberAnOff = 0x0004, kFiberLoopback = 0x0001;
constexpr uint16_t kStatCopperSignal = 0x8000, kStatFiberSignal = 0x2000, kStatFiberPause = 0x0008,
                   kStatFiberAnDone = 0x0002;
constexpr uint16_t kAuxMiscSelect = 0x2007, kAuxSelectMask = 0x7007;
constexpr int kSelFiberSync = 0x08;
constexpr uint16_t kFiberNoSync = 0x0020;

// Cable tests: the fast-Ethernet shadow registers (test control and status
// 20 and 19, link quality 27 and 24) and link status 25; the gigabit PHY's
// built-in test in expansion registers 0x10 (start), 0x11 (status), 0x12 and
// 0x13 (lengths), and its link bits in registers 17 and 25.
constexpr int kFeTest = 19, kFeTestCtl = 20, kFeQuality = 27, kFeQuality631x = 24,
              kFeIntStatus = 25;
constexpr uint16_t kFeTestStart = 0x8006, kFeLinkBit = 0x0040, kFeIntLink = 0x0004;
constexpr int kAuxStatus = 17, kIntStatus = 25, kExpTestStart = 0x10;
constexpr uint16_t kAuxLinked = 0x0f00, kIntBothRx = 0x0600;
// Echo analysis: DSP registers selected through 23 and read through 21, the
// TDR control in 22 (bit 0x0080 starts a tap read-out).
constexpr int kTdrCtl = 22;
constexpr uint16_t kTdrReadout = 0x0080;
constexpr int kEchoTaps = 192;

// Tap widths of the model's gigabit PHY by read-out index.
int tap_width(int i) {
    return i <= 31 ? 17 : i <= 63 ? 16 : i <= 95 ? 15 : i <= 127 ? 14 : 13;
}

// The PHYs count length in steps of 0.8 m.
uint16_t length_steps(int metres) {
    const int steps = (metres * 100 + 79) / 80;
    return static_cast<uint16_t>(steps > 255 ? 255 : steps);
}
uint16_t clamp_byte(int metres) {
    return static_cast<uint16_t>(metres < 0 ? 0 : metres > 255 ? 255 : metres);
}

bool gigabit_copper(PhyKind kind) {
    return kind == PhyKind::GigabitCopper || kind == PhyKind::GigabitCombo ||
           kind == PhyKind::GigabitDualMedia;
}

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
    if (kind_ == PhyKind::GigabitCombo) fiber_ = std::make_unique<PhyModel>(PhyKind::Serdes, 0, 0);
    reset();
}

PhyModel::~PhyModel() = default;

void PhyModel::reset() {
    regs_.fill(0);
    latched_down_ = false;
    shadow_.fill(0);
    shadow_open_ = false;
    shadow_select_ = 0;
    link_changed_ = false;
    expansion_.fill(0);
    fe_test_phase_ = 0;
    readout_word_ = 0;
    aux_misc_ = kAuxMiscSelect;  // copper
    aux_misc_selected_ = aux_misc_read_ = false;
    if (fiber_) fiber_->reset();
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
        case PhyKind::GigabitCombo:
        case PhyKind::GigabitDualMedia:
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
        case PhyKind::GigabitCombo:
        case PhyKind::GigabitDualMedia:
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
    if (gigabit_copper(kind_)) {
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

bool PhyModel::poweredDown() const {
    if (regs_[kControl] & kCtlPowerDown) return true;
    return kind_ == PhyKind::FastEthernet && (regs_[kPowerCtrl] & kPowerDownBit);
}

// Whether the wiring lets the link come up under the MDI-X control.
static bool mdix_fits(PhyKind kind, uint16_t mdix_ctrl, const LinkPartner &p) {
    if (kind != PhyKind::FastEthernet) return true;
    switch (mdix_ctrl & kMdixMask) {
        case kMdixForceNormal:
            return !p.needs_crossover;
        case kMdixMask:
            return p.needs_crossover;
        default:
            return true;
    }
}

void PhyModel::update() {
    if (!present()) return;
    const uint16_t ctl = regs_[kControl];
    LinkState s;
    bool autoneg_done = false;
    uint16_t partner_page = 0;
    uint16_t giga_status = 0;
    const bool was_up = state().up;
    if (poweredDown()) {
        // No link at all, looped back or not.
    } else if (ctl & kCtlLoopback) {
        // Looped back inside the PHY: up at the forced speed, cable or not.
        int speed = kind_ == PhyKind::Serdes ? 1000
                    : (ctl & kCtlSpeed1000)  ? 1000
                    : (ctl & kCtlSpeed100)   ? 100
                                             : 10;
        s = {true, speed, (ctl & kCtlFullDuplex) != 0};
    } else if (partner_ && mdix_fits(kind_, regs_[kMdixCtrl], *partner_) &&
               copperUsable(capabilities()) != 0) {
        const LinkPartner &p = *partner_;
        const uint32_t mine = copperUsable(capabilities());
        if ((ctl & kCtlAutoneg) && p.autoneg) {
            uint32_t common = localAbilities() & p.abilities & mine;
            for (uint32_t best : kPriority) {
                if (common & best) {
                    s = link_of(best);
                    autoneg_done = true;
                    partner_page = partnerPage();
                    if (gigabit_copper(kind_))
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
    if (gigabit_copper(kind_)) regs_[kGigaStatus] = giga_status;
    if (kind_ == PhyKind::FastEthernet) {
        const bool xover = s.up && ((regs_[kMdixCtrl] & kMdixMask) == kMdixMask ||
                                    (partner_ && partner_->needs_crossover));
        regs_[kMdixCtrl] = static_cast<uint16_t>((regs_[kMdixCtrl] & ~kMdixXoverStatus) |
                                                 (xover ? kMdixXoverStatus : 0));
    }
    if (was_up != state().up) link_changed_ = true;
}

bool PhyModel::comboFiberActive() const {
    return kind_ == PhyKind::GigabitCombo && (shadow_[kSelModeCtrl] & 0x3) == 0x3;
}

// A 100BASE-FX partner on the fibre side: the 1000BASE-X bank cannot
// negotiate with it, but the PHY's 100FX path links once its 100FX/1000X
// auto-detect is on (a reset turns it off).
bool PhyModel::fiberAt100() const {
    if (!fiber_ || fiber_->poweredDown() || !fiber_->partner_) return false;
    if (!(shadow_[kSelFxDetect] & kFxDetectOn)) return false;
    return !fiber_->partner_->autoneg && fiber_->partner_->speed == 100;
}

LinkState PhyModel::state() const {
    if (kind_ == PhyKind::GigabitDualMedia && dualFiberActive())
        return dualFiberUp() ? LinkState{true, 1000, true} : LinkState{};
    if (!comboFiberActive()) return state_;
    return fiberAt100() ? LinkState{true, 100, true} : fiber_->state_;
}

bool PhyModel::loopedBack() const {
    if (!present()) return false;
    if (kind_ == PhyKind::GigabitDualMedia && dualFiberActive())
        return (regs_[kFiberCtrl] & kFiberLoopback) != 0;
    if (comboFiberActive()) return (fiber_->regs_[kControl] & kCtlLoopback) != 0;
    return (regs_[kControl] & kCtlLoopback) != 0;
}

uint16_t PhyModel::peekFiber(int reg) const {
    return fiber_ ? fiber_->peek(reg) : 0xffff;
}

void PhyModel::poke(int reg, uint16_t value) {
    reg &= 31;
    regs_[reg] = value;
    if (reg == kId0) id0_ = value;
    if (reg == kId1) id1_ = value;
    if (kind_ == PhyKind::GigabitCombo && reg == kModeShadow &&
        ((value >> 10) & 0x1f) == kSelModeCtrl)
        fiber_strap_ = value & kModeFiberStrap;
}

uint16_t PhyModel::comboRead(int reg) {
    if (reg == kModeShadow) {
        uint16_t v = shadow_[shadow_select_];
        switch (shadow_select_) {
            case kSelModeCtrl: {
                const bool plugged = partner_.has_value();
                const bool fiber = fiber_->partner_.has_value();
                v = static_cast<uint16_t>(
                    (v & ~(kModeFiberStrap | kModeFiberSignal | kModeCopperEnergy)) |
                    (fiber_strap_ ? kModeFiberStrap : 0) | (fiber ? kModeFiberSignal : 0) |
                    (plugged ? kModeCopperEnergy : 0));
                break;
            }
            case kSelLinkChanged:
                v = static_cast<uint16_t>((v & ~0x0200) | (link_changed_ ? 0x0200 : 0));
                link_changed_ = false;
                break;
            case kSelSerdesStatus:
                // Bits 7:6: 1 for 100BASE-FX, 2 for 1000BASE-X.
                v = fiberAt100() ? 0x0240 : fiber_->state_.up ? 0x0280 : 0;
                break;
            default:
                break;
        }
        return static_cast<uint16_t>(shadow_select_ << 10 | (v & 0x3ff));
    }
    if (reg == kExpValue && (regs_[kExpNumber] & 0x0f00) == 0x0f00)
        return expansion_[regs_[kExpNumber] & 0xff];
    if (reg == kExpValue) return dspRead();
    // Registers 0-15 of the fibre bank, except the identifiers.
    if ((shadow_[kSelModeCtrl] & kModeFiberBank) && reg < 16 && reg != kId0 && reg != kId1)
        return fiber_->read(reg);
    return 0;
}

// True when the write went to a vendor register of the copper/fibre PHY.
bool PhyModel::comboWrite(int reg, uint16_t value) {
    if (reg == kModeShadow) {
        shadow_select_ = (value >> 10) & 0x1f;
        if (value & 0x8000) {
            const LinkState before = state();
            shadow_[shadow_select_] = value & 0x3ff;
            if (before.up != state().up) link_changed_ = true;
        }
        return true;
    }
    if (reg == kExpValue && (regs_[kExpNumber] & 0x0f00) == 0x0f00) {
        expansion_[regs_[kExpNumber] & 0xff] = value;
        if ((regs_[kExpNumber] & 0xff) == kExpTestStart) gigaTestRun();
        return true;
    }
    if (reg == kTdrCtl) {
        if ((value & kTdrReadout) && !(regs_[kTdrCtl] & kTdrReadout)) readout_word_ = 0;
        regs_[kTdrCtl] = value;
        return true;
    }
    if ((shadow_[kSelModeCtrl] & kModeFiberBank) && reg < 16 && reg != kId0 && reg != kId1) {
        const bool was_up = state().up;
        fiber_->write(reg, value);
        if (was_up != state().up) link_changed_ = true;
        return true;
    }
    return false;
}

uint16_t PhyModel::read(int reg) {
    reg &= 31;
    if (!present()) return 0xffff;
    if (kind_ == PhyKind::FastEthernet && shadow_open_ && reg >= 16 && reg < 31)
        return feShadowRead(reg);
    if (kind_ == PhyKind::FastEthernet && reg == kFeIntStatus)
        return static_cast<uint16_t>(regs_[reg] | (state_.up ? kFeIntLink : 0));
    if (gigabit_copper(kind_) && state_.up && (reg == kAuxStatus || reg == kIntStatus))
        return static_cast<uint16_t>(regs_[reg] | (reg == kAuxStatus ? kAuxLinked : kIntBothRx));
    if (kind_ == PhyKind::GigabitDualMedia &&
        (reg == kModeShadow || reg == kAuxCtrl || (reg >= kFiberCtrl && reg <= kFiberRestart)))
        return dualRead(reg);
    if (kind_ == PhyKind::GigabitCombo &&
        (reg == kModeShadow || reg == kExpValue ||
         ((shadow_[kSelModeCtrl] & kModeFiberBank) && reg < 16 && reg != kId0 && reg != kId1)))
        return comboRead(reg);
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
    if (kind_ == PhyKind::FastEthernet) {
        if (reg == kShadowCtrl) {
            shadow_open_ = value & kShadowOpenBit;
            regs_[reg] = value;
            return;
        }
        if (shadow_open_ && reg >= 16) {
            shadow_[reg] = value;
            if (reg == kFeTest) fe_test_phase_ = value == kFeTestStart ? 1 : 0;
            return;
        }
        if (reg == kMdixCtrl || reg == kPowerCtrl) {
            // The crossover status bit is the PHY's own.
            const uint16_t kept = reg == kMdixCtrl ? kMdixXoverStatus : 0;
            regs_[reg] = static_cast<uint16_t>((value & ~kept) | (regs_[reg] & kept));
            update();
            return;
        }
    }
    if (kind_ == PhyKind::GigabitCombo && comboWrite(reg, value)) return;
    if (kind_ == PhyKind::GigabitDualMedia && dualWrite(reg, value)) return;
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

void PhyModel::setPairFault(int pair, PairFault fault, int metres) {
    faults_[pair & 3] = fault;
    fault_metres_[pair & 3] = metres;
    update();
}

// 10 and 100 Mb/s run on pairs A and B, 1000BASE-T needs all four: a fault
// takes away the speeds that need its pair (a fibre medium has no pairs).
uint32_t PhyModel::copperUsable(uint32_t abilities) const {
    if (kind_ == PhyKind::Serdes) return abilities;
    if (faults_[0] != PairFault::None || faults_[1] != PairFault::None) return 0;
    if (faults_[2] != PairFault::None || faults_[3] != PairFault::None)
        return abilities & ~(kAbility1000Full | kAbility1000Half);
    return abilities;
}

PairFault PhyModel::pairFault(int pair, int *metres) const {
    if (faults_[pair] != PairFault::None) {
        *metres = fault_metres_[pair];
        return faults_[pair];
    }
    *metres = partner_ ? cable_metres_ : 0;
    return partner_ ? PairFault::None : PairFault::Open;
}

uint16_t PhyModel::feShadowRead(int reg) {
    switch (reg) {
        case kFeTestCtl:
            return static_cast<uint16_t>(shadow_[reg] | (state_.up ? kFeLinkBit : 0));
        case kFeQuality: {
            // The signal gives the length in 20 m steps.
            const int q = state_.up ? std::min((cable_metres_ + 35) / 20, 7) : 0;
            return static_cast<uint16_t>((shadow_[reg] & 0x8fff) | q << 12);
        }
        case kFeQuality631x: {
            const int v = state_.up ? std::min((cable_metres_ * 100000 + 1748035) / 172000, 63) : 0;
            return static_cast<uint16_t>((shadow_[reg] & 0x81ff) | v << 9);
        }
        case kFeTest:
            break;
        default:
            return shadow_[reg];
    }
    if (fe_test_phase_ == 0) return shadow_[reg];
    int metres[2];
    const PairFault pairs[2] = {pairFault(0, &metres[0]), pairFault(1, &metres[1])};
    if (fe_test_phase_ == 2) {
        fe_test_phase_ = 0;
        return static_cast<uint16_t>(length_steps(metres[0]) | length_steps(metres[1]) << 8);
    }
    fe_test_phase_ = 2;
    return static_cast<uint16_t>(0x0300 | static_cast<int>(pairs[0]) << 10 |
                                 static_cast<int>(pairs[1]) << 12);
}

// The built-in test finishes at once: faults flag the pairs open/short (or
// unknown), the lengths go one byte per pair.
void PhyModel::gigaTestRun() {
    uint16_t status = 0x0001;
    uint16_t len[4];
    for (int p = 0; p < 4; p++) {
        int metres = 0;
        const PairFault f = pairFault(p, &metres);
        if (f == PairFault::Open || f == PairFault::Short) status |= 0x0002 | 0x0100 << p;
        if (f == PairFault::Unknown) status |= 0x1000 << p;
        len[p] = clamp_byte(metres);
    }
    expansion_[0x11] = status;
    expansion_[0x12] = static_cast<uint16_t>(len[0] | len[1] << 8);
    expansion_[0x13] = static_cast<uint16_t>(len[2] | len[3] << 8);
}

// The echo a pulse on the pair returns at a tap: a small DC offset, a strong
// reflection at a fault (positive: open, negative: short) or a weak one at
// the far end of a connected cable.
int32_t PhyModel::echoTap(int pair, int i) const {
    int metres = 0;
    const PairFault f = pairFault(pair, &metres);
    const int at = std::clamp((metres * 1000 + 4727) * 2 / 823, 8, 380) / 2;
    int32_t v = 7;
    if ((f == PairFault::Open || f == PairFault::Short) && i == at) {
        const int32_t top = (1 << (tap_width(i) - 1)) - 1;
        v += (f == PairFault::Open ? 1 : -1) * top * 9 / 10;
    } else if (f == PairFault::None && std::abs(i - at) <= 2) {
        v += 600;
    }
    return v;
}

uint16_t PhyModel::dspRead() {
    const uint16_t number = regs_[kExpNumber];
    const int pair = number >> 13;
    if (number == 0x0005) return 0x0020;  // pairs in plain order, status valid
    if ((number & 0x1fff) == 0x0002) {
        // A line that never settles keeps its reading high.
        int metres = 0;
        return pairFault(pair, &metres) == PairFault::Unknown ? 0x0100 : 0;
    }
    if ((number & 0x1fff) == 0x0300 && (regs_[kTdrCtl] & kTdrReadout)) {
        const int word = readout_word_++;
        const int i = (word / 2) % kEchoTaps, w = tap_width(i);
        const auto v = static_cast<uint32_t>(echoTap(pair, i));
        if (word % 2 == 0) return static_cast<uint16_t>(w <= 15 ? v & ((1u << w) - 1) : v & 0x7fff);
        return static_cast<uint16_t>(w <= 15 ? 0 : (v >> 15) & ((1u << (w - 15)) - 1));
    }
    return 0;
}

void PhyModel::connect(const LinkPartner &partner) {
    if (kind_ == PhyKind::GigabitDualMedia && partner.medium == Medium::Fiber) {
        fiber_partner_ = partner;
        return;
    }
    if (kind_ == PhyKind::GigabitCombo) {
        const bool was_up = state().up;
        if (partner.medium == Medium::Fiber)
            fiber_->connect(partner);
        else
            partner_ = partner;
        update();
        if (was_up != state().up) link_changed_ = true;
        return;
    }
    partner_ = partner;
    update();
}

void PhyModel::disconnectFiber() {
    const bool was_up = state().up;
    fiber_partner_.reset();
    if (fiber_) fiber_->disconnect();
    if (was_up != state().up) link_changed_ = true;
}

void PhyModel::disconnect() {
    const bool was_up = state().up;
    partner_.reset();
    fiber_partner_.reset();
    if (fiber_) fiber_->disconnect();
    update();
    if (was_up != state().up) link_changed_ = true;
}

// The fibre side of a dual-media PHY: up when it is the active medium and a
// partner answers it the way the fibre control asks, or when it loops back.
// Negotiating, it needs a negotiating partner; forced, it syncs on any
// partner that sends 1000BASE-X, negotiating or not, as the copper/fibre
// PHY's fibre bank does.
bool PhyModel::dualFiberUp() const {
    if (!dualFiberActive()) return false;
    const uint16_t ctl = regs_[kFiberCtrl];
    if (ctl & kFiberLoopback) return true;
    if (!fiber_partner_) return false;
    const LinkPartner &p = *fiber_partner_;
    if (!(ctl & kFiberAnOff)) return p.autoneg;
    return p.autoneg ? (p.abilities & speed_abilities(1000)) != 0 : p.speed == 1000;
}

uint16_t PhyModel::dualRead(int reg) {
    switch (reg) {
        case kModeShadow: {
            uint16_t v = shadow_[shadow_select_];
            if (shadow_select_ == kSelFiberSync)
                v = static_cast<uint16_t>((v & ~kFiberNoSync) | (dualFiberUp() ? 0 : kFiberNoSync));
            return static_cast<uint16_t>(shadow_select_ << 10 | (v & 0x3ff));
        }
        case kAuxCtrl:
            if (!aux_misc_selected_) return regs_[kAuxCtrl];
            aux_misc_read_ = true;
            return aux_misc_;
        case kFiberStat: {
            uint16_t v = 0;
            if (partner_) v |= kStatCopperSignal;
            if (fiber_partner_) v |= kStatFiberSignal;
            const bool negotiated = dualFiberUp() && !(regs_[kFiberCtrl] & kFiberAnOff);
            if (negotiated && fiber_partner_) {
                v |= kStatFiberAnDone;
                if (fiber_partner_->abilities & kAbilityPause) v |= kStatFiberPause;
            }
            return v;
        }
        case kFiberErrors:
        case kFiberRestart:
            return 0;
        default:
            return regs_[reg];
    }
}

// True when the write went to a vendor or fibre register.
bool PhyModel::dualWrite(int reg, uint16_t value) {
    switch (reg) {
        case kModeShadow:
            shadow_select_ = (value >> 10) & 0x1f;
            if (value & 0x8000) shadow_[shadow_select_] = value & 0x3ff;
            return true;
        case kAuxCtrl: {
            const bool misc = (value & kAuxSelectMask) == kAuxMiscSelect;
            // A bare selector only selects, unless it writes back a value read.
            if (misc && (value != kAuxMiscSelect || aux_misc_read_)) aux_misc_ = value;
            if (!misc) regs_[kAuxCtrl] = value;
            aux_misc_selected_ = misc;
            aux_misc_read_ = false;
            return true;
        }
        case kFiberCtrl:
            regs_[kFiberCtrl] = value;
            return true;
        case kFiberStat:
        case kFiberErrors:
        case kFiberRestart:
            return true;
        default:
            return false;
    }
}

}  // namespace sim
