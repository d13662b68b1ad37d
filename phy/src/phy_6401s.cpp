// The 6401S gigabit PHY: a copper and a 1000BASE-X fibre interface on one
// port, one active at a time. Every link poll looks at both media, switches
// to the one with signal (the preferred one when both have it) after the
// fibre signal has settled, re-applies that medium's stored configuration and
// tells the port layer.
#include <algorithm>

#include "phy.h"
#include "phy_internal.h"
#include "phy_port_lock.h"
#include "sal.h"
#include "soc_error.h"
#include "soc_property.h"

using namespace phy;

namespace {

struct State6401s {
    int32_t medium;  // PHY_MEDIUM_NONE, _COPPER or _FIBER
    int32_t deglitch_usecs;
    uint32_t deglitch_start;
    int32_t deglitch_running;
    int32_t deglitch_done;
    int32_t automedium;
    int32_t tbi_allowed;
    phy_medium_config_t copper;
    phy_medium_config_t fiber;
};
static_assert(sizeof(State6401s) == 92);

// Fibre registers, and the vendor registers the medium switch goes through.
constexpr uint32_t kFiberCtrl = 11, kFiberStat = 12, kFiberExp = 13, kFiberRestart = 14;
constexpr uint32_t kPhyExtCtrl = 16, kAuxStatus = 17, kExpData = 21, kExpAddr = 23, kAuxCtrl = 24,
                   kModeShadow = 28, kMdiPairs = 30;
constexpr uint16_t kFiberAnOff = 0x0004, kFiberLoopback = 0x0001;
constexpr uint16_t kStatCopperSignal = 0x8000, kStatFiberSignal = 0x2000, kStatFiberAnDone = 0x0002,
                   kStatFiberFault = 0x0001;
constexpr uint16_t kExtCtrlTbi = 0x8000, kExtCtrlForcedMdi = 0x4000;
constexpr uint16_t kStore = 0x8000;
constexpr uint32_t kCopperAdvertMask = 0x0c3f, kFiberAdvertMask = 0x0c20;
constexpr uint32_t kFiberAbility = 0x349c20;
// The longest fibre deglitch: a minute, well inside the wrap of the
// microsecond clock the wait is measured on.
constexpr int kDeglitchMaxUsecs = 60'000'000;

// Guarded by the port's PHY lock (phy_port_lock.h): every slot takes it.
PortBlocks<State6401s> states;

State6401s *state_of(int unit, int port) {
    return states.of(unit, port);
}

bool tbi(int unit, int port) {
    return flags(unit, port) & PHY_FLAGS_TBI;
}

// The medium the operations act on, or none without private state.
int medium_of(int unit, int port) {
    const State6401s *st = state_of(unit, port);
    return st == nullptr ? PHY_MEDIUM_NONE : st->medium;
}
bool on_copper(int unit, int port) {
    return medium_of(unit, port) == PHY_MEDIUM_COPPER;
}
bool on_fiber(int unit, int port) {
    return medium_of(unit, port) == PHY_MEDIUM_FIBER;
}

// A port without a medium loops back on the fibre side, the data path the
// PHY runs while neither medium has signal: the loop needs no signal.
bool looped_without_medium(int unit, int port) {
    uint16_t ctrl = 0;
    return medium_of(unit, port) == PHY_MEDIUM_NONE && !tbi(unit, port) &&
           rd(unit, port, kFiberCtrl, &ctrl) >= 0 && (ctrl & kFiberLoopback);
}

// The stored configuration of the current medium (copper when none).
phy_medium_config_t &current_config(State6401s *st) {
    return st->medium == PHY_MEDIUM_FIBER ? st->fiber : st->copper;
}

// Without an active medium a setting goes into the stored configuration of
// each medium that can take it, so that it holds whichever medium links up.
void store_idle(State6401s *st, int word, uint32_t value, bool fiber_takes) {
    st->copper.words[word] = value;
    if (fiber_takes) st->fiber.words[word] = value;
}

// What a port without an active medium shows: the configuration of the
// medium it takes when both have signal.
const phy_medium_config_t &idle_config(const State6401s *st) {
    return st->fiber.words[PHY_MC_PREFERRED] ? st->fiber : st->copper;
}

// Writes a register-28 shadow selector, reads it and writes it back changed,
// with the write-enable bit.
int shadow_update(int unit, int port, uint16_t sel, uint16_t set, uint16_t clear) {
    uint16_t v = 0;
    if (int rv = wr(unit, port, kModeShadow, sel); rv < 0) return rv;
    if (int rv = rd(unit, port, kModeShadow, &v); rv < 0) return rv;
    return wr(unit, port, kModeShadow, static_cast<uint16_t>(((v | set) & ~clear) | kStore));
}

// Selects an auxiliary-control shadow, reads it and writes it back changed.
int aux_update(int unit, int port, uint16_t sel, uint16_t set, uint16_t clear, uint16_t store) {
    uint16_t v = 0;
    if (int rv = wr(unit, port, kAuxCtrl, sel); rv < 0) return rv;
    if (int rv = rd(unit, port, kAuxCtrl, &v); rv < 0) return rv;
    return wr(unit, port, kAuxCtrl, static_cast<uint16_t>(((v | set) & ~clear) | store));
}

int interface_set_6401s(int unit, int port, int intf) {
    soc_cm_debug_print(DK_PHY, "phy_6401S_interface_set: u=%d p=%d pif=%d\n", unit, port, intf);
    const bool want_tbi = intf == PHY_IF_TBI;
    if (want_tbi) {
        const State6401s *st = state_of(unit, port);
        if (st == nullptr || st->tbi_allowed != 1) return SOC_E_UNAVAIL;
    }
    flags_set(unit, port, want_tbi ? PHY_FLAGS_TBI : 0, want_tbi ? 0 : PHY_FLAGS_TBI);
    uint16_t v = 0;
    if (int rv = rd(unit, port, kPhyExtCtrl, &v); rv < 0) return rv;
    soc_cm_debug_print(DK_PHY, "6401S_if_set: port=%d tbi=%d reg 0x10=0x%x\n", port, want_tbi, v);
    if (((v & kExtCtrlTbi) != 0) == want_tbi) return SOC_E_NONE;
    v ^= kExtCtrlTbi;
    soc_cm_debug_print(DK_PHY, "6401S_if_set: port=%d set reg 0x10=0x%x and toggle TBI\n", port, v);
    const RegWrite toggle[] = {{kPhyExtCtrl, v}, {kModeShadow, 0x1000}, {kModeShadow, 0x9040}};
    return write_seq(unit, port, toggle, 3);
}

int reset_setup(int unit, int port) {
    soc_cm_debug_print(DK_PHY, "_phy_6401S_reset_setup: u=%d p=%d\n", unit, port);
    if (int rv = phy_common_reset(unit, port); rv < 0) return rv;
    if (int rv = wr(unit, port, kModeShadow, 0xfc01); rv < 0) return rv;
    if (int rv = interface_set_6401s(unit, port, tbi(unit, port) ? PHY_IF_TBI : PHY_IF_GMII);
        rv < 0)
        return rv;
    const RegWrite expansion[] = {{kAuxCtrl, 0x0c00}, {kExpAddr, 0x201f}, {kExpData, 0x2aaa},
                                  {kAuxCtrl, 0x0c00}, {kExpAddr, 0x000a}, {kExpData, 0x0323}};
    if (int rv = write_seq(unit, port, expansion, 6); rv < 0) return rv;
    if (int rv = aux_update(unit, port, 0x7007, 0, 0x0080, kStore); rv < 0) return rv;
    if (int rv = shadow_update(unit, port, 0x1400, 0x0060, 0); rv < 0) return rv;
    uint16_t v = 0;
    if (int rv = rd(unit, port, kPhyExtCtrl, &v); rv < 0) return rv;
    if (int rv = wr(unit, port, kPhyExtCtrl, v | 0x0021); rv < 0) return rv;
    return aux_update(unit, port, 0x0007, 0x4000, 0, 0);
}

int init_6401s(int unit, int port) {
    soc_cm_debug_print(DK_PHY, "phy_6401S_init: u=%d p=%d\n", unit, port);
    State6401s *st = nullptr;
    if (int rv = states.claim(unit, port, "phy6401S", &st); rv < 0) return rv;
    const uint32_t fp = soc_property_port_get(unit, port, "phy_fiber_pref", 1) != 0;
    st->medium = PHY_MEDIUM_NONE;
    const PortSetting deglitch = setting_get(unit, port, "phy_fiber_deglitch_usecs", 0);
    st->deglitch_usecs = setting_taken(unit, port, deglitch,
                                       std::clamp(deglitch.value, 0, kDeglitchMaxUsecs), false);
    st->automedium = soc_property_port_get(unit, port, "phy_automedium", 1);
    st->tbi_allowed = 1;
    st->copper = {{1, !fp, 1, 0x0c3f, 1000, 1, PHY_MS_AUTO, PHY_MDIX_AUTO}};
    st->fiber = {{1, fp, tbi(unit, port) ? 0u : 1u, 0x0c20, 1000, 1, PHY_MS_NONE, PHY_MDIX_NORMAL}};
    fiber_own_set(unit, port);
    return reset_setup(unit, port);
}

// ---- Copper side and fibre side of each operation.

int fiber_link_get(int unit, int port, int *up) {
    uint16_t sync = 0, ctrl = 0, stat = 0;
    if (int rv = wr(unit, port, kModeShadow, 0x2000); rv < 0) return rv;
    if (int rv = rd(unit, port, kModeShadow, &sync); rv < 0) return rv;
    if (int rv = rd(unit, port, kFiberCtrl, &ctrl); rv < 0) return rv;
    if (ctrl & kFiberAnOff) {
        *up = (sync & 0x0020) == 0;
        return SOC_E_NONE;
    }
    if (int rv = rd(unit, port, kFiberStat, &stat); rv < 0) return rv;
    *up = 0;
    if (!(stat & kStatFiberAnDone)) return SOC_E_NONE;
    uint16_t exp = 0;
    if (!(stat & kStatFiberFault)) {
        if (int rv = rd(unit, port, kFiberExp, &exp); rv < 0) return rv;
    }
    if ((stat & kStatFiberFault) || (exp & 0x0060)) return wr(unit, port, kFiberRestart, 1);
    *up = 1;
    return SOC_E_NONE;
}

int fiber_advert_set(int unit, int port, uint32_t ability) {
    uint16_t v = 0;
    if (int rv = rd(unit, port, kFiberCtrl, &v); rv < 0) return rv;
    const bool an_on = !(v & kFiberAnOff);
    uint16_t n = v & ~0x6000;
    switch (ability & (DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX)) {
        case DRV_PA_PAUSE_RX:
            n |= 0x1800;
            break;
        case DRV_PA_PAUSE_TX:
            n = static_cast<uint16_t>((n | 0x1000) & ~0x0800);
            break;
        case DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX:
            n = static_cast<uint16_t>((n | 0x0800) & ~0x1000);
            break;
        default:
            n &= ~0x1800;
            break;
    }
    if (int rv = wr(unit, port, kFiberCtrl, n); rv < 0) return rv;
    return an_on ? wr(unit, port, kFiberRestart, 1) : SOC_E_NONE;
}

int fiber_advert_get(int unit, int port, uint32_t *ability) {
    uint16_t v = 0;
    if (int rv = rd(unit, port, kFiberCtrl, &v); rv < 0) return rv;
    *ability = DRV_PA_1000MB_FD;
    switch (v & 0x1800) {
        case 0x0800:
            *ability |= DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX;
            break;
        case 0x1000:
            *ability |= DRV_PA_PAUSE_TX;
            break;
        case 0x1800:
            *ability |= DRV_PA_PAUSE_RX;
            break;
        default:
            break;
    }
    return SOC_E_NONE;
}

int fiber_remote_get(int unit, int port, uint32_t *ability) {
    uint16_t ctrl = 0, stat = 0;
    if (int rv = rd(unit, port, kFiberCtrl, &ctrl); rv < 0) return rv;
    if (ctrl & kFiberAnOff) return SOC_E_DISABLED;
    int up = 0;
    if (int rv = fiber_link_get(unit, port, &up); rv < 0) return rv;
    if (!up) return SOC_E_BUSY;
    if (int rv = rd(unit, port, kFiberStat, &stat); rv < 0) return rv;
    *ability = 0;
    if (stat & 0x0010) *ability |= 0x1000;
    if (stat & 0x0008) *ability |= DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX;
    if (stat & 0x0004) *ability |= DRV_PA_1000MB_HD;
    if (stat & 0x0002) *ability |= DRV_PA_1000MB_FD;
    return SOC_E_NONE;
}

// ---- Driver slots.

// A copper setting made on the port reaches the fibre when it changes what
// the copper asks of it; the 6401S takes no 100BASE-FX fibre.
void carry_from_copper(int unit, int port, const phy_medium_config_t &before, State6401s *st) {
    carry_copper_change(unit, port, before, st->copper, &st->fiber, false);
}

// The setters of the settings the port layer keeps for both media: a slot
// call carries the value into the other medium's configuration, a medium's
// own configuration applied does not.
int duplex_set_on(int unit, int port, int full, bool carry) {
    State6401s *st = state_of(unit, port);
    if (st == nullptr) return SOC_E_PARAM;
    soc_cm_debug_print(DK_PHY, "phy_6401S_duplex_set: u=%d p=%d d=%d m=%d\n", unit, port, full,
                       st->medium);
    if (tbi(unit, port)) {
        current_config(st).words[PHY_MC_FORCE_DUPLEX] = full != 0;
        return SOC_E_NONE;
    }
    if (st->medium == PHY_MEDIUM_COPPER) {
        if (int rv = mii_duplex_set(unit, port, full); rv < 0) return rv;
        const phy_medium_config_t before = st->copper;
        st->copper.words[PHY_MC_FORCE_DUPLEX] = full != 0;
        if (carry) carry_from_copper(unit, port, before, st);
        return SOC_E_NONE;
    }
    if (st->medium == PHY_MEDIUM_FIBER) return full ? SOC_E_NONE : SOC_E_UNAVAIL;
    const phy_medium_config_t before = st->copper;
    store_idle(st, PHY_MC_FORCE_DUPLEX, full != 0, full != 0);
    carry_from_copper(unit, port, before, st);
    return SOC_E_NONE;
}

int duplex_set_6401s(int unit, int port, int full) {
    return duplex_set_on(unit, port, full, true);
}

int duplex_get_6401s(int unit, int port, int *full) {
    if (full == nullptr) return SOC_E_PARAM;
    if (on_copper(unit, port) && !tbi(unit, port)) return mii_duplex_get(unit, port, full);
    *full = 1;
    return SOC_E_NONE;
}

int speed_set_on(int unit, int port, int mbps, bool carry) {
    State6401s *st = state_of(unit, port);
    if (st == nullptr) return SOC_E_PARAM;
    soc_cm_debug_print(DK_PHY, "phy_6401S_speed_set: u=%d p=%d s=%d m=%d\n", unit, port, mbps,
                       st->medium);
    if (tbi(unit, port)) {
        current_config(st).words[PHY_MC_FORCE_SPEED] = static_cast<uint32_t>(mbps);
        return SOC_E_NONE;
    }
    if (st->medium == PHY_MEDIUM_COPPER) {
        if (int rv = mii_speed_set(unit, port, mbps); rv < 0) return rv;
        const phy_medium_config_t before = st->copper;
        st->copper.words[PHY_MC_FORCE_SPEED] = static_cast<uint32_t>(mbps);
        if (carry) carry_from_copper(unit, port, before, st);
        return SOC_E_NONE;
    }
    if (st->medium == PHY_MEDIUM_FIBER) return mbps == 1000 ? SOC_E_NONE : SOC_E_CONFIG;
    if (mbps == 0) return SOC_E_NONE;
    if (mbps != 10 && mbps != 100 && mbps != 1000) return SOC_E_CONFIG;
    const phy_medium_config_t before = st->copper;
    store_idle(st, PHY_MC_FORCE_SPEED, static_cast<uint32_t>(mbps), mbps == 1000);
    carry_from_copper(unit, port, before, st);
    return SOC_E_NONE;
}

int speed_set_6401s(int unit, int port, int mbps) {
    return speed_set_on(unit, port, mbps, true);
}

int speed_get_6401s(int unit, int port, int *mbps) {
    if (mbps == nullptr) return SOC_E_PARAM;
    const int m = medium_of(unit, port);
    if (m == PHY_MEDIUM_COPPER && !tbi(unit, port)) return mii_speed_get(unit, port, mbps);
    *mbps = (m == PHY_MEDIUM_FIBER || tbi(unit, port)) ? 1000 : 0;
    const State6401s *st = state_of(unit, port);
    if (looped_without_medium(unit, port))
        *mbps = 1000;
    else if (m == PHY_MEDIUM_NONE && st != nullptr && !idle_config(st).words[PHY_MC_AN_ENABLE])
        *mbps = static_cast<int>(idle_config(st).words[PHY_MC_FORCE_SPEED]);
    return SOC_E_NONE;
}

int master_set_6401s(int unit, int port, int mode) {
    State6401s *st = state_of(unit, port);
    if (st == nullptr) return SOC_E_PARAM;
    soc_cm_debug_print(DK_PHY, "phy_6401S_master_set: u=%d p=%d master=%d m=%d\n", unit, port, mode,
                       st->medium);
    if (st->medium != PHY_MEDIUM_COPPER || tbi(unit, port)) return SOC_E_NONE;
    if (int rv = mii_master_set(unit, port, mode); rv < 0) return rv;
    st->copper.words[PHY_MC_MASTER] = static_cast<uint32_t>(mode);
    return SOC_E_NONE;
}

int master_get_6401s(int unit, int port, int *mode) {
    if (mode == nullptr) return SOC_E_PARAM;
    if (on_copper(unit, port) && !tbi(unit, port)) return mii_master_get(unit, port, mode);
    *mode = PHY_MS_NONE;
    return SOC_E_NONE;
}

int autoneg_set_on(int unit, int port, int enable, bool carry) {
    State6401s *st = state_of(unit, port);
    if (st == nullptr) return SOC_E_PARAM;
    soc_cm_debug_print(DK_PHY, "phy_6401S_autoneg_set: u=%d p=%d autoneg=%d m=%d\n", unit, port,
                       enable, st->medium);
    if (tbi(unit, port)) {
        if (st->medium == PHY_MEDIUM_COPPER) st->copper.words[PHY_MC_AN_ENABLE] = 0;
        if (st->medium == PHY_MEDIUM_FIBER) st->fiber.words[PHY_MC_AN_ENABLE] = enable != 0;
        return SOC_E_NONE;
    }
    if (st->medium == PHY_MEDIUM_COPPER) {
        if (int rv = mii_autoneg_set(unit, port, enable); rv < 0) return rv;
        const phy_medium_config_t before = st->copper;
        st->copper.words[PHY_MC_AN_ENABLE] = enable != 0;
        if (carry) carry_from_copper(unit, port, before, st);
        return SOC_E_NONE;
    }
    if (st->medium == PHY_MEDIUM_FIBER) {
        if (int rv =
                rmw(unit, port, kFiberCtrl, enable ? 0 : kFiberAnOff, enable ? kFiberAnOff : 0);
            rv < 0)
            return rv;
        if (int rv = wr(unit, port, kFiberRestart, 1); rv < 0) return rv;
        const bool changed = st->fiber.words[PHY_MC_AN_ENABLE] != (enable != 0 ? 1u : 0u);
        st->fiber.words[PHY_MC_AN_ENABLE] = enable != 0;
        if (carry && changed) {
            fiber_own_set(unit, port);
            carry_fiber_autoneg(&st->copper, st->fiber);
        }
        return SOC_E_NONE;
    }
    const phy_medium_config_t before = st->copper;
    st->copper.words[PHY_MC_AN_ENABLE] = enable != 0;
    carry_from_copper(unit, port, before, st);
    return SOC_E_NONE;
}

int autoneg_set_6401s(int unit, int port, int enable) {
    return autoneg_set_on(unit, port, enable, true);
}

int autoneg_get_6401s(int unit, int port, int *enable, int *done) {
    if (enable == nullptr || done == nullptr) return SOC_E_PARAM;
    *enable = *done = 0;
    if (tbi(unit, port)) return SOC_E_NONE;
    if (on_copper(unit, port)) return mii_autoneg_get(unit, port, enable, done);
    if (!on_fiber(unit, port)) {
        if (const State6401s *st = state_of(unit, port))
            *enable = idle_config(st).words[PHY_MC_AN_ENABLE] != 0;
        return SOC_E_NONE;
    }
    uint16_t ctrl = 0, stat = 0;
    if (int rv = rd(unit, port, kFiberCtrl, &ctrl); rv < 0) return rv;
    if (int rv = rd(unit, port, kFiberStat, &stat); rv < 0) return rv;
    *enable = !(ctrl & kFiberAnOff);
    *done = (stat & kStatFiberAnDone) != 0;
    return SOC_E_NONE;
}

int adv_set_on(int unit, int port, uint32_t ability, bool carry) {
    State6401s *st = state_of(unit, port);
    if (st == nullptr) return SOC_E_PARAM;
    soc_cm_debug_print(DK_PHY, "phy_6401S_adv_local_set: u=%d p=%d mode=0x%x m=%d\n", unit, port,
                       ability, st->medium);
    // The port layer hands over its whole ability word: each medium keeps
    // only what it can advertise.
    if (tbi(unit, port)) {
        current_config(st).words[PHY_MC_AN_ADVERT] =
            ability & (st->medium == PHY_MEDIUM_FIBER ? kFiberAdvertMask : kCopperAdvertMask);
        return SOC_E_NONE;
    }
    if (st->medium == PHY_MEDIUM_COPPER) {
        if (int rv = ge_adv_set(unit, port, ability); rv < 0) return rv;
    } else if (st->medium == PHY_MEDIUM_FIBER) {
        if (int rv = fiber_advert_set(unit, port, ability); rv < 0) return rv;
        const uint32_t before = st->fiber.words[PHY_MC_AN_ADVERT];
        st->fiber.words[PHY_MC_AN_ADVERT] = ability & kFiberAdvertMask;
        if (carry) carry_pause(before, ability, &st->copper);
        return SOC_E_NONE;
    }
    // On copper, and with no medium, the advertisement is the copper's.
    const phy_medium_config_t before = st->copper;
    st->copper.words[PHY_MC_AN_ADVERT] = ability & kCopperAdvertMask;
    if (carry || st->medium != PHY_MEDIUM_COPPER) {
        carry_pause(before.words[PHY_MC_AN_ADVERT], ability, &st->fiber);
        carry_from_copper(unit, port, before, st);
    }
    return SOC_E_NONE;
}

int adv_set_6401s(int unit, int port, uint32_t ability) {
    return adv_set_on(unit, port, ability, true);
}

int adv_get_6401s(int unit, int port, uint32_t *ability) {
    if (ability == nullptr) return SOC_E_PARAM;
    *ability = 0;
    if (tbi(unit, port)) return SOC_E_NONE;
    if (on_copper(unit, port)) return ge_adv_get(unit, port, ability);
    if (on_fiber(unit, port)) return fiber_advert_get(unit, port, ability);
    if (const State6401s *st = state_of(unit, port))
        *ability = idle_config(st).words[PHY_MC_AN_ADVERT];
    return SOC_E_NONE;
}

int remote_get_6401s(int unit, int port, uint32_t *ability) {
    if (ability == nullptr) return SOC_E_PARAM;
    *ability = 0;
    if (tbi(unit, port)) return SOC_E_NONE;
    if (on_copper(unit, port)) return ge_remote_get(unit, port, ability);
    if (on_fiber(unit, port)) return fiber_remote_get(unit, port, ability);
    return SOC_E_NONE;
}

int lb_set_6401s(int unit, int port, int enable) {
    soc_cm_debug_print(DK_PHY, "phy_6401S_lb_set: u=%d p=%d en=%d m=%d\n", unit, port, enable,
                       medium_of(unit, port));
    const bool copper = on_copper(unit, port) && !tbi(unit, port);
    if (enable) {
        if (copper) return mii_lb_set(unit, port, 1);
        if (medium_of(unit, port) == PHY_MEDIUM_NONE && !tbi(unit, port)) {
            // The fibre data path, as a medium lost selects it.
            if (int rv = aux_update(unit, port, 0x2007, 0x0800, 0, 0); rv < 0) return rv;
            if (int rv = shadow_update(unit, port, 0x1000, 0x0020, 0); rv < 0) return rv;
        }
        return rmw(unit, port, kFiberCtrl, kFiberLoopback, 0);
    }
    // Off means off on both media: a loopback set on the medium active then
    // would come back with it at the next medium change.
    if (!tbi(unit, port)) {
        if (int rv = mii_lb_set(unit, port, 0); rv < 0) return rv;
    }
    return rmw(unit, port, kFiberCtrl, 0, kFiberLoopback);
}

int lb_get_6401s(int unit, int port, int *enable) {
    if (enable == nullptr) return SOC_E_PARAM;
    // A loopback left on the medium not active counts, as off is off on
    // both: it would come back with that medium.
    int copper = 0;
    if (!tbi(unit, port)) {
        if (int rv = mii_lb_get(unit, port, &copper); rv < 0) return rv;
    }
    uint16_t v = 0;
    if (int rv = rd(unit, port, kFiberCtrl, &v); rv < 0) return rv;
    *enable = copper != 0 || (v & kFiberLoopback) != 0;
    return SOC_E_NONE;
}

int interface_get_6401s(int unit, int port, int *intf) {
    if (intf == nullptr) return SOC_E_PARAM;
    *intf = tbi(unit, port) ? PHY_IF_TBI : PHY_IF_GMII;
    return SOC_E_NONE;
}

int ability_get_6401s(int unit, int port, uint32_t *ability) {
    if (ability == nullptr) return SOC_E_PARAM;
    int rv = SOC_E_NONE;
    if (tbi(unit, port)) {
        *ability = 0x2000;
    } else if (on_copper(unit, port)) {
        rv = ge_ability(unit, port, ability);
    } else if (on_fiber(unit, port)) {
        *ability = kFiberAbility;
    } else {
        // Either medium may link up: what both can run.
        rv = ge_ability(unit, port, ability);
        *ability |= kFiberAbility;
    }
    if (rv >= 0)
        soc_cm_debug_print(DK_PHY, "phy_6401S_ability_get: u=%d p=%d mode=0x%x\n", unit, port,
                           *ability);
    return rv;
}

int mdix_set_6401s(int unit, int port, int mode) {
    State6401s *st = state_of(unit, port);
    if (st == nullptr) return SOC_E_PARAM;
    if (st->medium == PHY_MEDIUM_FIBER) {
        if (mode != PHY_MDIX_NORMAL) return SOC_E_UNAVAIL;
        st->fiber.words[PHY_MC_MDIX] = PHY_MDIX_NORMAL;
        return SOC_E_NONE;
    }
    if (st->medium != PHY_MEDIUM_COPPER)
        return mode == PHY_MDIX_NORMAL ? SOC_E_NONE : SOC_E_UNAVAIL;
    switch (mode) {
        case PHY_MDIX_AUTO:
            if (int rv = rmw(unit, port, kPhyExtCtrl, 0, kExtCtrlForcedMdi); rv < 0) return rv;
            break;
        case PHY_MDIX_NORMAL:
        case PHY_MDIX_XOVER: {
            int speed = 0;
            if (int rv = speed_get_6401s(unit, port, &speed); rv < 0) return rv;
            if (speed != 10 && speed != 100)
                return mode == PHY_MDIX_NORMAL ? SOC_E_UNAVAIL : SOC_E_PARAM;
            if (int rv = rmw(unit, port, kPhyExtCtrl, kExtCtrlForcedMdi, 0); rv < 0) return rv;
            if (int rv = wr(unit, port, kMdiPairs, mode == PHY_MDIX_NORMAL ? 0x0000 : 0x0080);
                rv < 0)
                return rv;
            break;
        }
        default:
            return SOC_E_UNAVAIL;
    }
    st->copper.words[PHY_MC_MDIX] = static_cast<uint32_t>(mode);
    return SOC_E_NONE;
}

int mdix_get_6401s(int unit, int port, int *mode) {
    const State6401s *st = state_of(unit, port);
    if (mode == nullptr || st == nullptr) return SOC_E_PARAM;
    *mode = st->medium == PHY_MEDIUM_COPPER ? static_cast<int>(st->copper.words[PHY_MC_MDIX])
                                            : PHY_MDIX_NORMAL;
    return SOC_E_NONE;
}

int mdix_status_get_6401s(int unit, int port, int *status) {
    if (status == nullptr) return SOC_E_PARAM;
    *status = 0;
    if (!on_copper(unit, port)) return SOC_E_NONE;
    uint16_t v = 0;
    if (int rv = rd(unit, port, kAuxStatus, &v); rv < 0) return rv;
    *status = (v & 0x2000) != 0;
    return SOC_E_NONE;
}

// Applies a medium's configuration through the driver's own setters, in
// their order, stopping at the first failure.
int apply(int unit, int port, const phy_medium_config_t &cfg) {
    const uint32_t *w = cfg.words;
    if (int rv = speed_set_on(unit, port, static_cast<int>(w[PHY_MC_FORCE_SPEED]), false); rv < 0)
        return rv;
    if (int rv = duplex_set_on(unit, port, static_cast<int>(w[PHY_MC_FORCE_DUPLEX]), false); rv < 0)
        return rv;
    if (int rv = master_set_6401s(unit, port, static_cast<int>(w[PHY_MC_MASTER])); rv < 0)
        return rv;
    if (int rv = adv_set_on(unit, port, w[PHY_MC_AN_ADVERT], false); rv < 0) return rv;
    if (int rv = autoneg_set_on(unit, port, static_cast<int>(w[PHY_MC_AN_ENABLE]), false); rv < 0)
        return rv;
    return mdix_set_6401s(unit, port, static_cast<int>(w[PHY_MC_MDIX]));
}

// The medium that should be active now; runs the fibre deglitch.
int medium_check(int unit, int port, State6401s *st, int *medium) {
    const bool fiber_pref = st->fiber.words[PHY_MC_PREFERRED] != 0;
    if (!st->automedium) {
        *medium = fiber_pref ? PHY_MEDIUM_FIBER : PHY_MEDIUM_COPPER;
        return SOC_E_NONE;
    }
    uint16_t stat = 0;
    if (int rv = rd(unit, port, kFiberStat, &stat); rv < 0) return rv;
    const bool copper = st->copper.words[PHY_MC_ENABLE] && (stat & kStatCopperSignal);
    bool fiber = st->fiber.words[PHY_MC_ENABLE] && (stat & kStatFiberSignal);
    if (!fiber) {
        st->deglitch_running = 0;
    } else if (st->deglitch_running && !st->deglitch_done) {
        const auto waited = static_cast<int32_t>(sal_time_usecs() - st->deglitch_start);
        if (waited < st->deglitch_usecs)
            fiber = false;
        else
            st->deglitch_done = 1;
    } else if (!st->deglitch_running && st->deglitch_usecs != 0) {
        st->deglitch_running = 1;
        st->deglitch_start = sal_time_usecs();
        st->deglitch_done = 0;
        fiber = false;
    }
    if (copper && fiber)
        *medium = fiber_pref ? PHY_MEDIUM_FIBER : PHY_MEDIUM_COPPER;
    else
        *medium = fiber ? PHY_MEDIUM_FIBER : copper ? PHY_MEDIUM_COPPER : PHY_MEDIUM_NONE;
    return SOC_E_NONE;
}

int medium_select(int unit, int port, State6401s *st, int m) {
    const uint32_t fp = st->fiber.words[PHY_MC_PREFERRED];
    soc_cm_debug_print(DK_PHY, "6401S_medium_select: port=%d medium=%d fp=%d\n", port, m, fp);
    if (m == PHY_MEDIUM_FIBER)
        flags_set(unit, port, PHY_FLAGS_FIBER, PHY_FLAGS_COPPER);
    else
        flags_set(unit, port, PHY_FLAGS_COPPER, PHY_FLAGS_FIBER);
    if (m == PHY_MEDIUM_COPPER) {
        if (int rv = aux_update(unit, port, 0x2007, 0, 0x0800, 0); rv < 0) return rv;
        if (int rv = rmw(unit, port, MII_CTRL, MII_CTRL_FD, 0); rv < 0) return rv;
    } else {
        if (int rv = aux_update(unit, port, 0x2007, 0x0800, 0, 0); rv < 0) return rv;
        if (int rv = shadow_update(unit, port, 0x1000, 0x0020, 0); rv < 0) return rv;
    }
    const uint32_t s = m == PHY_MEDIUM_COPPER ? fp : m == PHY_MEDIUM_FIBER ? (fp == 0) : 1;
    if (int rv = shadow_update(unit, port, 0x1400, s == 0 ? 0x0008 : 0, s == 0 ? 0 : 0x0008);
        rv < 0)
        return rv;
    if (m == PHY_MEDIUM_COPPER) {
        if (int rv = apply(unit, port, st->copper); rv < 0) return rv;
    } else if (m == PHY_MEDIUM_FIBER) {
        if (int rv = apply(unit, port, st->fiber); rv < 0) return rv;
    }
    medium_change_later(unit, port, m);
    return SOC_E_NONE;
}

int link_get_6401s(int unit, int port, int *up) {
    if (up == nullptr) return SOC_E_PARAM;
    *up = 0;
    State6401s *st = state_of(unit, port);
    if (st == nullptr) return SOC_E_PARAM;
    int m = PHY_MEDIUM_NONE;
    if (int rv = medium_check(unit, port, st, &m); rv < 0) return rv;
    if (m != st->medium) {
        soc_cm_debug_print(DK_PHY, "phy_6401S_link_get: u=%d p=%d: medium %d-->%d\n", unit, port,
                           st->medium, m);
        st->medium = m;
        return medium_select(unit, port, st, m);
    }
    if (tbi(unit, port)) return SOC_E_NONE;
    if (m == PHY_MEDIUM_COPPER) return mii_link_get(unit, port, up);
    // A disabled port has no link on either medium.
    if (flags(unit, port) & PHY_FLAGS_DISABLE) return SOC_E_NONE;
    if (m == PHY_MEDIUM_FIBER) return fiber_link_get(unit, port, up);
    // Looped back without a medium: up once the fibre side syncs to itself.
    if (looped_without_medium(unit, port)) {
        uint16_t sync = 0;
        if (int rv = wr(unit, port, kModeShadow, 0x2000); rv < 0) return rv;
        if (int rv = rd(unit, port, kModeShadow, &sync); rv < 0) return rv;
        *up = (sync & 0x0020) == 0;
    }
    return SOC_E_NONE;
}

int enable_set_6401s(int unit, int port, int enable) {
    return tbi(unit, port) ? SOC_E_NONE : phy::enable_set(unit, port, enable);
}

int enable_get_6401s(int unit, int port, int *enable) {
    if (enable == nullptr) return SOC_E_PARAM;
    if (tbi(unit, port)) {
        *enable = 0;
        return SOC_E_NONE;
    }
    return phy::enable_get(unit, port, enable);
}

// A link going down on copper resets the PHY but keeps the user's copper
// settings.
int link_down_6401s(int unit, int port) {
    soc_cm_debug_print(DK_PHY, "6401S_link_down: port=%d m=%d\n", port, medium_of(unit, port));
    if (!on_copper(unit, port)) return SOC_E_NONE;
    constexpr uint32_t kKept[] = {MII_CTRL, MII_ANA, MII_GB_CTRL, kFiberCtrl};
    uint16_t kept[4] = {};
    for (int i = 0; i < 4; i++) {
        if (int rv = rd(unit, port, kKept[i], &kept[i]); rv < 0) return rv;
    }
    if (int rv = reset_setup(unit, port); rv < 0) return rv;
    for (int i = 0; i < 4; i++) {
        if (int rv = wr(unit, port, kKept[i], kept[i]); rv < 0) return rv;
    }
    return SOC_E_NONE;
}

int medium_config_set_6401s(int unit, int port, int medium, phy_medium_config_t *cfg) {
    State6401s *st = state_of(unit, port);
    if (st == nullptr || cfg == nullptr) return SOC_E_PARAM;
    if (medium != PHY_MEDIUM_COPPER && medium != PHY_MEDIUM_FIBER) return SOC_E_PARAM;
    phy_medium_config_t next = *cfg;
    next.words[PHY_MC_AN_ADVERT] &=
        medium == PHY_MEDIUM_COPPER ? kCopperAdvertMask : kFiberAdvertMask;
    // The fibre's speed slot refuses even 0.
    if ((medium == PHY_MEDIUM_FIBER && !tbi(unit, port) &&
         next.words[PHY_MC_FORCE_SPEED] != 1000) ||
        !medium_config_runs(medium, next, false, false))
        return SOC_E_CONFIG;
    phy_medium_config_t &to = medium == PHY_MEDIUM_COPPER ? st->copper : st->fiber;
    const phy_medium_config_t before = to;
    to = next;
    const int rv = st->medium == medium ? apply(unit, port, to) : SOC_E_NONE;
    if (rv < 0) {
        // Refused part-way: the PHY and the store go back to what they were.
        to = before;
        apply(unit, port, before);
        to = before;
    } else if (medium == PHY_MEDIUM_FIBER) {
        fiber_own_set(unit, port);
    }
    return rv;
}

int medium_config_get_6401s(int unit, int port, int medium, phy_medium_config_t *cfg) {
    const State6401s *st = state_of(unit, port);
    if (st == nullptr || cfg == nullptr) return SOC_E_PARAM;
    if (medium == PHY_MEDIUM_COPPER)
        *cfg = st->copper;
    else if (medium == PHY_MEDIUM_FIBER)
        *cfg = st->fiber;
    else
        return SOC_E_PARAM;
    return SOC_E_NONE;
}

int medium_get_6401s(int unit, int port, int *medium) {
    if (medium == nullptr) return SOC_E_PARAM;
    *medium = medium_of(unit, port);
    return SOC_E_NONE;
}

}  // namespace

const phy_driver_t phy_6401s_drv = {
    .drv_name = "6401S Gigabit PHY Driver",
    .init = Locked<init_6401s>::call,
    .reset = Locked<mii_reset>::call,
    .link_get = Locked<link_get_6401s>::call,
    .enable_set = Locked<enable_set_6401s>::call,
    .enable_get = Locked<enable_get_6401s>::call,
    .duplex_set = Locked<duplex_set_6401s>::call,
    .duplex_get = Locked<duplex_get_6401s>::call,
    .speed_set = Locked<speed_set_6401s>::call,
    .speed_get = Locked<speed_get_6401s>::call,
    .master_set = Locked<master_set_6401s>::call,
    .master_get = Locked<master_get_6401s>::call,
    .autoneg_set = Locked<autoneg_set_6401s>::call,
    .autoneg_get = Locked<autoneg_get_6401s>::call,
    .adv_local_set = Locked<adv_set_6401s>::call,
    .adv_local_get = Locked<adv_get_6401s>::call,
    .adv_remote_get = Locked<remote_get_6401s>::call,
    .loopback_set = Locked<lb_set_6401s>::call,
    .loopback_get = Locked<lb_get_6401s>::call,
    .interface_set = Locked<interface_set_6401s>::call,
    .interface_get = Locked<interface_get_6401s>::call,
    .ability_get = Locked<ability_get_6401s>::call,
    .linkup_event = nullptr,
    .linkdown_event = Locked<link_down_6401s>::call,
    .mdix_set = Locked<mdix_set_6401s>::call,
    .mdix_get = Locked<mdix_get_6401s>::call,
    .mdix_status_get = Locked<mdix_status_get_6401s>::call,
    .medium_config_set = Locked<medium_config_set_6401s>::call,
    .medium_config_get = Locked<medium_config_get_6401s>::call,
    .medium_get = Locked<medium_get_6401s>::call,
    .cable_diag = nullptr,
    .link_change = nullptr,
    .spare = {},
};

void phy_6401s_host_forget(void) {
    states.forget();
}
