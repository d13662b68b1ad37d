// What the copper/fibre drivers share about their two stored medium
// configurations: which values each medium runs, and how a port setting made
// on the active medium reaches the other one.
#include "phy_internal.h"

namespace phy {

namespace {

constexpr uint32_t kPauseBits = DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX;
// The speed bits of an advertisement, and those a copper port offers when
// it negotiates: 10 to 1000 full, without 1000 half, which the gigabit MACs
// lack.
constexpr uint32_t kSpeeds = 0x3f;
constexpr uint32_t kCopperSpeeds = 0x0f | DRV_PA_1000MB_FD;

bool flag_word(uint32_t v) {
    return v <= 1;
}

// 1000BASE-T has no forced form: a copper forced to gigabit negotiates
// 1000 full alone, and counts as forced gigabit as the forced form does.
bool copper_forced_gigabit(const uint32_t *c) {
    if (c[PHY_MC_AN_ENABLE]) return (c[PHY_MC_AN_ADVERT] & kSpeeds) == DRV_PA_1000MB_FD;
    return c[PHY_MC_FORCE_SPEED] == 1000 && c[PHY_MC_FORCE_DUPLEX];
}

// What a copper configuration asks of the fibre: the speed to force it to,
// 0 to let it negotiate.
uint32_t fiber_speed_asked(const phy_medium_config_t &copper, bool fiber_fx100) {
    const uint32_t *c = copper.words;
    if (copper_forced_gigabit(c)) return 1000;
    const bool forced_100_full =
        !c[PHY_MC_AN_ENABLE] && c[PHY_MC_FORCE_SPEED] == 100 && c[PHY_MC_FORCE_DUPLEX];
    return fiber_fx100 && forced_100_full ? 100 : 0;
}

// The fibre's own auto-negotiation and forced speed, kept while the copper
// asks the fibre for a forced speed: one Apply passes through several
// settings (auto-negotiation before speed, speed before duplex), and one
// that asks only on the way must give the fibre back its own setting.
// Guarded by the port's PHY lock, as the drivers' state is.
struct FiberOwn {
    bool kept;
    uint32_t autoneg;
    uint32_t speed;
};
FiberOwn fiber_own[PHY_UNITS_MAX][SOC_MAX_NUM_PORTS];

FiberOwn *fiber_own_of(int unit, int port) {
    const bool in_range =
        unit >= 0 && unit < PHY_UNITS_MAX && port >= 0 && port < SOC_MAX_NUM_PORTS;
    return in_range ? &fiber_own[unit][port] : nullptr;
}

}  // namespace

bool medium_config_runs(int medium, const phy_medium_config_t &cfg, bool copper_forceauto,
                        bool fiber_fx100) {
    const uint32_t *w = cfg.words;
    if (!flag_word(w[PHY_MC_ENABLE]) || !flag_word(w[PHY_MC_PREFERRED]) ||
        !flag_word(w[PHY_MC_AN_ENABLE]) || !flag_word(w[PHY_MC_FORCE_DUPLEX]) ||
        w[PHY_MC_MASTER] > PHY_MS_NONE)
        return false;
    const uint32_t speed = w[PHY_MC_FORCE_SPEED];
    if (medium == PHY_MEDIUM_FIBER)
        return (speed == 0 || speed == 1000 || (fiber_fx100 && speed == 100)) &&
               w[PHY_MC_FORCE_DUPLEX] == 1 && w[PHY_MC_MDIX] == PHY_MDIX_NORMAL;
    const uint32_t mdix = w[PHY_MC_MDIX];
    return (speed == 0 || speed == 10 || speed == 100 || speed == 1000) && mdix <= PHY_MDIX_XOVER &&
           (copper_forceauto || mdix != PHY_MDIX_FORCEAUTO);
}

void carry_pause(uint32_t before, uint32_t ability, phy_medium_config_t *other) {
    // The speeds stay the other medium's own: the fibre runs 1000 full only,
    // and a fibre advertisement says nothing of the copper speeds.
    if (((before ^ ability) & kPauseBits) == 0) return;
    uint32_t &advert = other->words[PHY_MC_AN_ADVERT];
    advert = (advert & ~kPauseBits) | (ability & kPauseBits);
}

void carry_copper_change(int unit, int port, const phy_medium_config_t &before,
                         const phy_medium_config_t &copper, phy_medium_config_t *fiber,
                         bool fiber_fx100) {
    const uint32_t asked = fiber_speed_asked(copper, fiber_fx100);
    const uint32_t asked_before = fiber_speed_asked(before, fiber_fx100);
    if (asked == asked_before) return;
    uint32_t *f = fiber->words;
    FiberOwn *own = fiber_own_of(unit, port);
    if (asked_before == 0 && own != nullptr)
        *own = {true, f[PHY_MC_AN_ENABLE], f[PHY_MC_FORCE_SPEED]};
    if (asked != 0) {
        f[PHY_MC_AN_ENABLE] = 0;
        f[PHY_MC_FORCE_SPEED] = asked;
        return;
    }
    // Asked nothing any more: the fibre's own setting from before the
    // request, or, when that is not known (a request loaded with the stored
    // settings), negotiation.
    if (own == nullptr || !own->kept) {
        f[PHY_MC_AN_ENABLE] = 1;
        return;
    }
    f[PHY_MC_AN_ENABLE] = own->autoneg;
    f[PHY_MC_FORCE_SPEED] = own->speed;
    own->kept = false;
}

void fiber_own_set(int unit, int port) {
    if (FiberOwn *own = fiber_own_of(unit, port)) own->kept = false;
}

void carry_fiber_autoneg(phy_medium_config_t *copper, const phy_medium_config_t &fiber) {
    uint32_t *c = copper->words;
    const uint32_t *f = fiber.words;
    // 1000BASE-T has no forced form: a forced gigabit fibre reaches the
    // copper as the copper's own forced gigabit, negotiation offering 1000
    // full alone; negotiation switched on again offers every copper speed.
    uint32_t &advert = c[PHY_MC_AN_ADVERT];
    const uint32_t speeds = advert & kSpeeds;
    c[PHY_MC_AN_ENABLE] = 1;
    if (!f[PHY_MC_AN_ENABLE]) {
        c[PHY_MC_FORCE_SPEED] = 1000;
        c[PHY_MC_FORCE_DUPLEX] = 1;
        advert = (advert & ~kSpeeds) | DRV_PA_1000MB_FD;
    } else if (speeds == DRV_PA_1000MB_FD || speeds == 0) {
        advert |= kCopperSpeeds;
    }
}

void carry_fx100_autoneg(phy_medium_config_t *copper, int enable) {
    uint32_t *c = copper->words;
    c[PHY_MC_AN_ENABLE] = enable != 0;
    if (enable == 0) {
        c[PHY_MC_FORCE_SPEED] = 100;
        c[PHY_MC_FORCE_DUPLEX] = 1;
    } else if (const uint32_t speeds = c[PHY_MC_AN_ADVERT] & kSpeeds;
               speeds == DRV_PA_1000MB_FD || speeds == 0) {
        c[PHY_MC_AN_ADVERT] |= kCopperSpeeds;
    }
}

bool fiber_forced_at(const phy_medium_config_t &fiber, int kind_mbps) {
    const uint32_t *f = fiber.words;
    // A forced speed of 0 is the fibre's own 1000.
    const int forced = f[PHY_MC_FORCE_SPEED] == 100 ? 100 : 1000;
    return !f[PHY_MC_AN_ENABLE] && forced == kind_mbps;
}

}  // namespace phy
