// The 640X copper/fibre gigabit PHYs and the switch chips' gigabit PHYs: one
// medium configuration per side, automatic medium detection, 100BASE-FX
// recognition, and LED and power settings at every reset.
#include <algorithm>
#include <span>

#include "chipdata/chipdata.h"
#include "chipdata/ids.h"
#include "drv_reg.h"
#include "drv_reg_value.h"
#include "phy.h"
#include "phy_internal.h"
#include "phy_port_lock.h"
#include "sal.h"
#include "soc_error.h"
#include "soc_property.h"

using namespace phy;

namespace {

struct State640x {
    uint16_t model;
    uint16_t rev;
    uint8_t led[4];
    uint16_t led_ctrl;
    int32_t automedium;
    int32_t fiber_detect;
    int32_t half_power;
    phy_medium_config_t copper;
    phy_medium_config_t fiber;
};
static_assert(sizeof(State640x) == 88);

constexpr uint32_t kModeShadow = 28, kAuxCtrl = 24;
constexpr uint16_t kSelMode = 0x7c00, kSelAutoDetect = 0x7800, kSelLinkChanged = 0x7000,
                   kSelSerdesStatus = 0x15 << 10;
constexpr uint16_t kStore = 0x8000;
constexpr uint32_t kUnitSgmii = 0x80;  // unit flag: the PHYs' MAC side is SGMII
constexpr uint32_t kCopperAdvertMask = 0x0c3f, kFiberAdvertMask = 0x0c20;
constexpr uint32_t kSpeedAbilities = 0x3f;  // 10 to 1000 Mb/s, half and full

// Chip groups the driver tells apart.
constexpr uint32_t kChipsNoFiber = 0x93800000;
constexpr uint32_t kChipsPassthru = 0xb7800000;
constexpr uint32_t kChipsPassthruOnSwitch = 0x37800000;
constexpr uint32_t kChipsSgmiiMode = 0x25800000;
constexpr uint32_t kChipsLowPowerAux = 0x12000000;
constexpr uint32_t kChipsDetectDefault = 0x2c000000;

// Guarded by the port's PHY lock (phy_port_lock.h): every slot takes it.
PortBlocks<State640x> states;

State640x *state_of(int unit, int port) {
    return states.of(unit, port);
}

bool is_6412(const Ident &id) {
    return id.is(PHY_OUI_KEY_D, PHY_MODEL_6412);
}
bool is_6416(const Ident &id) {
    return id.is(PHY_OUI_KEY_B, PHY_MODEL_6416);
}
// Model 0x0b at revision 0 under the given key.
bool is_b0(const Ident &id, uint32_t key) {
    return id.key == key && id.model == 0x0b && id.rev == 0;
}

bool copper_active(int unit, int port) {
    return flags(unit, port) & PHY_FLAGS_COPPER;
}

bool unit_sgmii(int unit) {
    const soc_control_t *s = SOC_CONTROL(unit);
    return s != nullptr && (s->flags & kUnitSgmii);
}

// Selects a register-28 shadow and reads it.
int shadow_read(int unit, int port, uint16_t sel, uint16_t *v) {
    if (int rv = wr(unit, port, kModeShadow, sel); rv < 0) return rv;
    return rd(unit, port, kModeShadow, v);
}

// Reads a shadow and stores it back with `set` added.
int shadow_add(int unit, int port, uint16_t sel, uint16_t set) {
    uint16_t v = 0;
    if (int rv = shadow_read(unit, port, sel, &v); rv < 0) return rv;
    return wr(unit, port, kModeShadow, v | kStore | set);
}

// Register 0 of the selected bank: powered down unless the side is enabled
// and the port is not disabled.
int bank_power(int unit, int port, bool side_enabled, const char *disabled_line, bool set_duplex,
               bool full) {
    uint16_t c = 0;
    if (int rv = rd(unit, port, MII_CTRL, &c); rv < 0) return rv;
    uint16_t n = c;
    if (!side_enabled) {
        n |= MII_CTRL_PD;
    } else {
        n &= static_cast<uint16_t>(~MII_CTRL_PD);
        if (flags(unit, port) & PHY_FLAGS_DISABLE) {
            soc_cm_debug_print(DK_PHY, disabled_line, port);
            n |= MII_CTRL_PD;
        }
    }
    if (set_duplex) n = full ? (n | MII_CTRL_FD) : static_cast<uint16_t>(n & ~MII_CTRL_FD);
    return n != c ? wr(unit, port, MII_CTRL, n) : SOC_E_NONE;
}

// The fibre detect values each model takes.
constexpr int kDetect6412[] = {-10, -1, 0, 1, 10};
constexpr int kDetect6416[] = {-10, -4, 0, 4, 10};
constexpr int kDetectOthers[] = {-4, 0, 4};

std::span<const int> detect_values(const Ident &id) {
    if (is_6412(id)) return kDetect6412;
    if (is_6416(id)) return kDetect6416;
    return kDetectOthers;
}

int fiber_detect_setup(int unit, int port, const Ident &id, int d) {
    if (std::ranges::find(detect_values(id), d) == detect_values(id).end()) return SOC_E_CONFIG;
    if (is_6412(id)) return wr(unit, port, kModeShadow, d >= -1 && d <= 1 ? 0xb020 : 0xb000);
    return shadow_add(unit, port, 0x3c00, 0x0008);
}

int reset_setup(int unit, int port, State640x *st) {
    if (int rv = ge_init(unit, port); rv < 0) return rv;
    Ident id{};
    if (int rv = ident_read(unit, port, &id); rv < 0) return rv;
    const bool copper = copper_active(unit, port);
    soc_cm_debug_print(DK_PHY, "_phy_6402_reset_setup: u=%d p=%d medium=%s\n", unit, port,
                       copper ? "COPPER" : "FIBER");
    uint16_t v = 0;
    // Fibre bank, then copper bank: power each side as configured.
    if (int rv = shadow_add(unit, port, kSelMode, 0x0001); rv < 0) return rv;
    if (int rv = bank_power(unit, port, st->fiber.words[PHY_MC_ENABLE] || unit_sgmii(unit),
                            "port %d,FIBER_DISABLE!\n", is_6416(id),
                            st->fiber.words[PHY_MC_FORCE_DUPLEX] == 1);
        rv < 0)
        return rv;
    if (int rv = shadow_read(unit, port, kSelMode, &v); rv < 0) return rv;
    if (int rv = wr(unit, port, kModeShadow, static_cast<uint16_t>((v & ~0x0001) | kStore)); rv < 0)
        return rv;
    if (int rv = bank_power(unit, port, st->copper.words[PHY_MC_ENABLE] != 0,
                            "port %d,COPPER_DISABLE!\n", false, false);
        rv < 0)
        return rv;
    // Mode of the active side.
    if (int rv = shadow_read(unit, port, kSelMode, &v); rv < 0) return rv;
    uint16_t mode = copper ? (chip_flag(unit, SOC_CHIP_DXP7101_FAMILY) ? 0x8004 : 0x8000) : 0x8003;
    uint16_t n = static_cast<uint16_t>((v & 0xfff8) | mode);
    if (n != v) {
        if (int rv = wr(unit, port, kModeShadow, n); rv < 0) return rv;
    }
    if (chip_flag(unit, kChipsSgmiiMode)) {
        if (int rv = shadow_read(unit, port, 0x6000, &v); rv < 0) return rv;
        if (copper) {
            soc_cm_debug_print(DK_PHY, "\t _phy_6402_reset_setup : Tarn7103+copper(SGMII)\n");
            if (int rv = wr(unit, port, kModeShadow, v | 0x8001); rv < 0) return rv;
        } else {
            soc_cm_debug_print(DK_PHY, "\t _phy_6402_reset_setup : not ready for Tarn7103+fiber\n");
        }
    }
    const int d = st->fiber_detect;
    if (st->automedium || st->fiber.words[PHY_MC_PREFERRED]) {
        if (chip_flag(unit, SOC_CHIP_DXP7101_FAMILY)) {
            if (int rv = wr(unit, port, 23, 0x0f03); rv < 0) return rv;
            if (int rv = rd(unit, port, 21, &v); rv < 0) return rv;
            if (int rv = wr(unit, port, 21, v | 0x0001); rv < 0) return rv;
            if (!st->automedium && st->fiber.words[PHY_MC_PREFERRED]) {
                if (int rv = shadow_add(unit, port, 0x5c00, 0x0002); rv < 0) return rv;
            }
        }
        if (int rv = fiber_detect_setup(unit, port, id, d); rv < 0) return rv;
    }
    // Auto-detect control.
    if (int rv = shadow_read(unit, port, kSelAutoDetect, &v); rv < 0) return rv;
    n = v & 0xffe0;
    if (st->automedium && !is_b0(id, PHY_OUI_KEY_D)) n |= 0x0001;
    n |= st->fiber.words[PHY_MC_PREFERRED] ? 0x0006 : 0x0004;
    if (d < 0) n |= 0x0100;
    soc_cm_debug_print(DK_PHY, "_phy_6402_reset_setup: u=%d p=%d 0x1c val=%04x\n", unit, port, n);
    if ((n | kStore) != v) {
        if (int rv = wr(unit, port, kModeShadow, n | kStore); rv < 0) return rv;
    }
    if (int rv = shadow_add(unit, port, 0x6c00, 0x0040); rv < 0) return rv;
    if (int rv = rd(unit, port, 16, &v); rv < 0) return rv;
    if (int rv = wr(unit, port, 16, v | 0x0021); rv < 0) return rv;
    if (int rv = wr(unit, port, kAuxCtrl, 0x0007); rv < 0) return rv;
    if (int rv = rd(unit, port, kAuxCtrl, &v); rv < 0) return rv;
    if (int rv = wr(unit, port, kAuxCtrl, v | 0x4000); rv < 0) return rv;
    // LEDs.
    const RegWrite leds[] = {
        {kModeShadow, static_cast<uint16_t>(0xb400 | (st->led[1] & 0xf) << 4 | (st->led[0] & 0xf))},
        {kModeShadow, static_cast<uint16_t>(0xb800 | (st->led[3] & 0xf) << 4 | (st->led[2] & 0xf))},
        {kModeShadow, static_cast<uint16_t>(0xa400 | (st->led_ctrl & 0x3ff))},
    };
    if (int rv = write_seq(unit, port, leds, 3); rv < 0) return rv;
    if (st->led_ctrl & 0x10) {
        if (int rv = rmw(unit, port, 16, 0, 0x0020); rv < 0) return rv;
    }
    if (st->half_power) {
        soc_cm_debug_print(DK_PHY, "%s,set  to low power mode\n", soc_phy_name_get(unit, port));
        if (is_6416(id)) {
            if (int rv = wr(unit, port, kAuxCtrl, 0x2007); rv < 0) return rv;
            if (int rv = rd(unit, port, kAuxCtrl, &v); rv < 0) return rv;
            if (int rv = wr(unit, port, kAuxCtrl, static_cast<uint16_t>((v & 0xfffa) | 0x0742));
                rv < 0)
                return rv;
        }
    }
    if (chip_flag(unit, kChipsLowPowerAux)) {
        if (int rv = wr(unit, port, kAuxCtrl, 0x2007); rv < 0) return rv;
        if (int rv = rd(unit, port, kAuxCtrl, &v); rv < 0) return rv;
        if (int rv = wr(unit, port, kAuxCtrl, 0xc042); rv < 0) return rv;
    }
    if (is_6416(id)) {
        if (int rv = shadow_read(unit, port, 0x4c00, &v); rv < 0) return rv;
        if (int rv = wr(unit, port, kModeShadow, static_cast<uint16_t>((v & 0xfffa) | kStore));
            rv < 0)
            return rv;
        if (int rv = shadow_read(unit, port, 0x4c00, &v); rv < 0) return rv;
        soc_cm_debug_print(DK_PHY, "%s,set auto-detec 100fx/1000x \n",
                           soc_phy_name_get(unit, port));
        if (int rv = wr(unit, port, kModeShadow, v | 0x8004); rv < 0) return rv;
    }
    return SOC_E_NONE;
}

int speed_set_on(int unit, int port, int mbps, bool carry);
int duplex_set_on(int unit, int port, int full, bool carry);
int master_set_640x(int unit, int port, int mode);
int adv_set_on(int unit, int port, uint32_t ability, bool carry);
int autoneg_set_on(int unit, int port, int enable, bool carry);
int mdix_set_640x(int unit, int port, int mode);

int apply(int unit, int port, const phy_medium_config_t &cfg) {
    const uint32_t *w = cfg.words;
    if (int rv = speed_set_on(unit, port, static_cast<int>(w[PHY_MC_FORCE_SPEED]), false); rv < 0)
        return rv;
    if (int rv = duplex_set_on(unit, port, static_cast<int>(w[PHY_MC_FORCE_DUPLEX]), false); rv < 0)
        return rv;
    if (int rv = master_set_640x(unit, port, static_cast<int>(w[PHY_MC_MASTER])); rv < 0) return rv;
    if (int rv = adv_set_on(unit, port, w[PHY_MC_AN_ADVERT], false); rv < 0) return rv;
    if (int rv = autoneg_set_on(unit, port, static_cast<int>(w[PHY_MC_AN_ENABLE]), false); rv < 0)
        return rv;
    return mdix_set_640x(unit, port, static_cast<int>(w[PHY_MC_MDIX]));
}

bool fiber_at_100(int unit, int port) {
    const uint32_t f = flags(unit, port);
    return (f & PHY_FLAGS_FIBER) && (f & PHY_FLAGS_100FX);
}

// Only the 6416 runs a 100BASE-FX fibre.
bool fx100_capable(int unit, int port) {
    Ident id{};
    return ident_read(unit, port, &id) >= 0 && is_6416(id);
}

// What the fibre runs: its stored configuration, forced only when it is
// forced to the speed of the fibre's kind (100BASE-FX or 1000BASE-X), which
// shows only at link; negotiating otherwise.
phy_medium_config_t fiber_running(int unit, int port, const State640x *st) {
    phy_medium_config_t cfg = st->fiber;
    const int kind = fiber_at_100(unit, port) ? 100 : 1000;
    cfg.words[PHY_MC_AN_ENABLE] = !fiber_forced_at(st->fiber, kind);
    cfg.words[PHY_MC_FORCE_SPEED] = static_cast<uint32_t>(kind);
    return cfg;
}

// A copper setting made on the port reaches the fibre when it changes what
// the copper asks of it; only a 6416's fibre may be 100BASE-FX.
void carry_from_copper(int unit, int port, const phy_medium_config_t &before, State640x *st) {
    carry_copper_change(unit, port, before, st->copper, &st->fiber, fx100_capable(unit, port));
}

// reset_setup resets the PHY, which leaves the running side negotiating at
// its defaults: every reset outside a medium switch puts that side's stored
// configuration back, or a forced setting would hold in the store only.
int apply_active(int unit, int port, const State640x *st) {
    return apply(unit, port,
                 copper_active(unit, port) ? st->copper : fiber_running(unit, port, st));
}

// A fibre found to be 100BASE-FX, or 1000BASE-X after one, while it
// already was the active side: it has run the other kind's setting until now.
int fx100_found(int unit, int port, const State640x *st) {
    const int wanted = fiber_running(unit, port, st).words[PHY_MC_AN_ENABLE];
    int autoneg = 0, done = 0;
    if (int rv = mii_autoneg_get(unit, port, &autoneg, &done); rv < 0) return rv;
    return autoneg == wanted ? SOC_E_NONE : mii_autoneg_set(unit, port, wanted);
}

int check_100fx(int unit, int port) {
    Ident id{};
    if (int rv = ident_read(unit, port, &id); rv < 0) return rv;
    if (!is_6416(id) || !(flags(unit, port) & PHY_FLAGS_FIBER)) {
        flags_set(unit, port, 0, PHY_FLAGS_100FX);
        return SOC_E_NONE;
    }
    uint16_t v = 0;
    if (int rv = shadow_read(unit, port, kSelSerdesStatus, &v); rv < 0) return rv;
    // A fibre without link keeps the kind it last linked as: a pulled
    // 100BASE-FX fibre still runs and shows the 100 full set for it, not
    // the 1000BASE-X setting, until a fibre links as another kind.
    if (!(v & 0x0200)) return SOC_E_NONE;
    soc_cm_debug_print(DK_PHY, "%s, SerDes Link\n", soc_phy_name_get(unit, port));
    switch ((v >> 6) & 3) {
        case 1:
            soc_cm_debug_print(DK_PHY, "%s,set FLAG_100FX\n", soc_phy_name_get(unit, port));
            flags_set(unit, port, PHY_FLAGS_100FX, 0);
            return SOC_E_NONE;
        case 2:
            flags_set(unit, port, 0, PHY_FLAGS_100FX);
            return SOC_E_NONE;
        default:
            flags_set(unit, port, 0, PHY_FLAGS_100FX);
            return SOC_E_INTERNAL;
    }
}

// The active fibre's kind, read again: a fibre that turns out to be the
// other kind takes that kind's setting at once.
int fiber_kind_check(int unit, int port, const State640x *st) {
    const bool was_100 = fiber_at_100(unit, port);
    if (int rv = check_100fx(unit, port); rv < 0) return rv;
    return was_100 != fiber_at_100(unit, port) ? fx100_found(unit, port, st) : SOC_E_NONE;
}

// The medium the PHY sees: true for copper.
int medium_check(int unit, int port, const State640x *st, bool *copper) {
    uint16_t v = 0;
    if (int rv = shadow_read(unit, port, kSelMode, &v); rv < 0) return rv;
    const bool pref = st->fiber.words[PHY_MC_PREFERRED];
    *copper = chip_flag(unit, kChipsNoFiber) || !st->fiber.words[PHY_MC_ENABLE] ||
              (st->copper.words[PHY_MC_ENABLE] &&
               ((pref && (v & 0x0030) == 0x0020) || (!pref && (v & 0x0020))));
    return SOC_E_NONE;
}

int to_copper(int unit, int port, State640x *st) {
    soc_cm_debug_print(DK_PHY, "_phy_6402_link_auto_detect: u=%d p=%d [F->C]\n", unit, port);
    flags_set(unit, port, PHY_FLAGS_COPPER, PHY_FLAGS_FIBER | PHY_FLAGS_PASSTHRU);
    if (int rv = reset_setup(unit, port, st); rv < 0) return rv;
    if (int rv = apply(unit, port, st->copper); rv < 0) return rv;
    if (int rv = check_100fx(unit, port); rv < 0) return rv;
    medium_change_later(unit, port, PHY_MEDIUM_COPPER);
    return SOC_E_NONE;
}

int to_fiber(int unit, int port, State640x *st) {
    soc_cm_debug_print(DK_PHY, "_phy_6402_link_auto_detect: u=%d p=%d [C->F]\n", unit, port);
    flags_set(unit, port,
              PHY_FLAGS_FIBER | (chip_flag(unit, kChipsPassthruOnSwitch) ? PHY_FLAGS_PASSTHRU : 0),
              PHY_FLAGS_COPPER);
    if (int rv = reset_setup(unit, port, st); rv < 0) return rv;
    if (int rv = check_100fx(unit, port); rv < 0) return rv;
    if (int rv = apply(unit, port, fiber_running(unit, port, st)); rv < 0) return rv;
    medium_change_later(unit, port, PHY_MEDIUM_FIBER);
    return SOC_E_NONE;
}

int init_640x(int unit, int port) {
    State640x *st = nullptr;
    if (int rv = states.claim(unit, port, "phy6402", &st); rv < 0) return rv;
    Ident id{};
    if (int rv = ident_read(unit, port, &id); rv < 0) return rv;
    st->model = id.model;
    st->rev = id.rev;

    const bool strap_model = is_6412(id) || is_6416(id);
    bool strap = false;
    if (strap_model) {
        uint16_t v = 0;
        if (int rv = shadow_read(unit, port, kSelMode, &v); rv < 0) return rv;
        strap = v & 0x0008;
    } else {
        strap = soc_property_port_get(unit, port, "phy_6402S", 0) != 0 ||
                chip_flag(unit, SOC_CHIP_DXP7101_FAMILY);
    }
    const bool fiber_ok = !chip_flag(unit, kChipsNoFiber) && (strap_model ? strap : true);
    bool pref = false;
    if (fiber_ok) {
        pref = soc_property_port_get(unit, port, "phy_fiber_pref",
                                     chip_flag(unit, SOC_CHIP_DXP7102) && strap) != 0;
        st->automedium = soc_property_port_get(unit, port, "phy_automedium", 0);
        int detect = -10;
        if (chip_flag(unit, kChipsDetectDefault))
            detect = port == SOC_CONTROL(unit)->ge.max ? 0 : -4;
        // The default is the board's, not the model's: it may lie outside
        // what the fitted PHY takes, which matters once the detect runs.
        const PortSetting d = setting_get(unit, port, "phy_fiber_detect", detect);
        st->fiber_detect = setting_taken(unit, port, d, nearest_of(d.value, detect_values(id)),
                                         st->automedium || pref);
    }
    st->copper = {{1, !pref, 1, 0x0c3f, 1000, 1, PHY_MS_AUTO, PHY_MDIX_AUTO}};
    // A fibre negotiates until an administrator forces it, fitted or not: a
    // port without one would otherwise report and store a forced fibre,
    // which a fibre fitted later would run.
    st->fiber = {{fiber_ok, pref, 1, 0x0c20, 1000, 1, PHY_MS_NONE, PHY_MDIX_NORMAL}};
    fiber_own_set(unit, port);
    flags_set(unit, port,
              pref ? PHY_FLAGS_FIBER | (chip_flag(unit, kChipsPassthru) ? PHY_FLAGS_PASSTHRU : 0)
                   : PHY_FLAGS_COPPER,
              PHY_FLAGS_COPPER | PHY_FLAGS_FIBER | PHY_FLAGS_PASSTHRU);

    constexpr const char *kLedNames[] = {"phy_led1_mode", "phy_led2_mode", "phy_led3_mode",
                                         "phy_led4_mode"};
    constexpr int kLedDefaults[] = {0, 1, 3, 6};
    for (int i = 0; i < 4; i++)
        st->led[i] =
            static_cast<uint8_t>(soc_property_port_get(unit, port, kLedNames[i], kLedDefaults[i]));
    st->led_ctrl = static_cast<uint16_t>(soc_property_port_get(unit, port, "phy_led_ctrl", 8));
    st->half_power = soc_property_port_get(unit, port, "phy_half_power", 0);
    soc_cm_debug_print(DK_PHY, "phy_640x_init: u=%d p=%d model 64%02x automedium=%d pref=%d d=%d\n",
                       unit, port, st->model, st->automedium, pref, st->fiber_detect);
    if (int rv = reset_setup(unit, port, st); rv < 0) return rv;
    return apply_active(unit, port, st);
}

int link_get_640x(int unit, int port, int *up) {
    if (up == nullptr) return SOC_E_PARAM;
    *up = 0;
    State640x *st = state_of(unit, port);
    if (st == nullptr) return SOC_E_PARAM;
    if (flags(unit, port) & PHY_FLAGS_DISABLE) {
        if (!st->fiber.words[PHY_MC_ENABLE]) return SOC_E_NONE;
        // Keep the fibre side powered down too, then restore the bank.
        uint16_t m = 0, c = 0;
        if (int rv = shadow_read(unit, port, kSelMode, &m); rv < 0) return rv;
        if (int rv = wr(unit, port, kModeShadow, m | 0x8001); rv < 0) return rv;
        if (int rv = rd(unit, port, MII_CTRL, &c); rv < 0) return rv;
        if (!(c & MII_CTRL_PD)) {
            if (int rv = wr(unit, port, MII_CTRL, c | MII_CTRL_PD); rv < 0) return rv;
        }
        return wr(unit, port, kModeShadow, m | kStore);
    }
    if (!st->copper.words[PHY_MC_ENABLE] && !st->fiber.words[PHY_MC_ENABLE]) return SOC_E_NONE;
    if (st->automedium) {
        bool copper = false;
        if (int rv = medium_check(unit, port, st, &copper); rv < 0) return rv;
        const bool was_copper = copper_active(unit, port);
        int rv = SOC_E_NONE;
        if (copper && !was_copper) {
            rv = to_copper(unit, port, st);
        } else if (!copper && was_copper) {
            rv = to_fiber(unit, port, st);
        } else if (!copper) {
            rv = fiber_kind_check(unit, port, st);
        }
        if (rv < 0) return rv;
    } else if (!copper_active(unit, port)) {
        // A port that stays on its fibre learns its kind all the same: a
        // 100BASE-FX fibre runs 100 full whether or not the medium is watched.
        if (int rv = fiber_kind_check(unit, port, st); rv < 0) return rv;
    }
    const uint32_t f = flags(unit, port);
    int rv = SOC_E_NONE;
    if (!(f & PHY_FLAGS_PASSTHRU)) {
        if ((f & PHY_FLAGS_FIBER) && (f & PHY_FLAGS_100FX)) {
            soc_cm_debug_print(DK_PHY, "%s,p=%d 100FX link!!\n", soc_phy_name_get(unit, port),
                               port);
            *up = 1;
        } else {
            rv = mii_link_get(unit, port, up);
        }
    } else if (chip_flag(unit, SOC_CHIP_DXP7101_FAMILY)) {
        bool copper = false;
        if (rv = medium_check(unit, port, st, &copper); rv < 0) return rv;
        if (copper) {
            rv = mii_link_get(unit, port, up);
        } else {
            // Fibre through the switch chip's SERDES: its status register,
            // where the chip describes one.
            uint32_t addr = 0;
            if (drv_reg_addr_get(unit, R_X1K_MIISTS, port, 0, &addr) < 0 ||
                drv_reg_length_get(unit, R_X1K_MIISTS) == 0)
                return SOC_E_UNAVAIL;
            DrvRegValue sts(unit, R_X1K_MIISTS, port);
            if (rv = sts.read(); rv >= 0) *up = (sts.raw() & 0x0004) != 0;
        }
    }
    if (rv < 0) return rv;
    if (soc_cm_debug_enabled(DK_API) && soc_cm_debug_enabled(DK_PHY))
        soc_cm_debug_print(DK_PHY, "phy_6402_link_get: u=%d p=%d mode=%s%s%s link=%d\n", unit, port,
                           (f & PHY_FLAGS_COPPER) ? "C" : "F",
                           (f & PHY_FLAGS_PASSTHRU) ? " passthru" : "",
                           (f & PHY_FLAGS_100FX) ? " 100FX" : "", *up);
    return SOC_E_NONE;
}

int enable_set_640x(int unit, int port, int enable) {
    State640x *st = state_of(unit, port);
    if (st == nullptr) return SOC_E_PARAM;
    const bool enabled = !(flags(unit, port) & PHY_FLAGS_DISABLE);
    if ((enable != 0) == enabled) return SOC_E_NONE;
    flags_set(unit, port, enable ? 0 : PHY_FLAGS_DISABLE, enable ? PHY_FLAGS_DISABLE : 0);
    if (int rv = reset_setup(unit, port, st); rv < 0) return rv;
    return enable ? apply_active(unit, port, st) : SOC_E_NONE;
}

// The setters of the settings the port layer keeps for both media: a slot
// call carries the value into the other side's configuration, a side's own
// configuration applied does not.
int duplex_set_on(int unit, int port, int full, bool carry) {
    State640x *st = state_of(unit, port);
    if (st == nullptr) return SOC_E_PARAM;
    if (copper_active(unit, port)) {
        if (int rv = mii_duplex_set(unit, port, full); rv < 0) return rv;
        const phy_medium_config_t before = st->copper;
        st->copper.words[PHY_MC_FORCE_DUPLEX] = full != 0;
        if (carry) carry_from_copper(unit, port, before, st);
        return SOC_E_NONE;
    }
    if (!full) {
        st->fiber.words[PHY_MC_FORCE_DUPLEX] = 1;
        return SOC_E_UNAVAIL;
    }
    Ident id{};
    if (int rv = ident_read(unit, port, &id); rv < 0) return rv;
    return is_6416(id) ? mii_duplex_set(unit, port, full) : SOC_E_NONE;
}

int duplex_set_640x(int unit, int port, int full) {
    return duplex_set_on(unit, port, full, true);
}

// The clause-22 answer on copper, a fixed one on fibre.
template <int (*copper_get)(int, int, int *), int fiber_value>
int copper_or_fixed(int unit, int port, int *out) {
    if (out == nullptr) return SOC_E_PARAM;
    if (copper_active(unit, port)) return copper_get(unit, port, out);
    *out = fiber_value;
    return SOC_E_NONE;
}

int speed_set_on(int unit, int port, int mbps, bool carry) {
    State640x *st = state_of(unit, port);
    if (st == nullptr) return SOC_E_PARAM;
    if (copper_active(unit, port)) {
        if (int rv = mii_speed_set(unit, port, mbps); rv < 0) return rv;
        const phy_medium_config_t before = st->copper;
        st->copper.words[PHY_MC_FORCE_SPEED] = static_cast<uint32_t>(mbps);
        if (carry) carry_from_copper(unit, port, before, st);
        return SOC_E_NONE;
    }
    // The fibre runs the one speed of its kind: 1000BASE-X or 100BASE-FX
    // (fiber_running applies that one). Another is refused and changes
    // nothing, the fibre's own forced speed included.
    const int fibre_mbps = (flags(unit, port) & PHY_FLAGS_100FX) ? 100 : 1000;
    return mbps == 0 || mbps == fibre_mbps ? SOC_E_NONE : SOC_E_CONFIG;
}

int speed_set_640x(int unit, int port, int mbps) {
    return speed_set_on(unit, port, mbps, true);
}

int speed_get_640x(int unit, int port, int *mbps) {
    if (mbps == nullptr) return SOC_E_PARAM;
    const uint32_t f = flags(unit, port);
    if (f & PHY_FLAGS_COPPER) return mii_speed_get(unit, port, mbps);
    if (f & PHY_FLAGS_FIBER) {
        *mbps = (f & PHY_FLAGS_100FX) ? 100 : 1000;
        return SOC_E_NONE;
    }
    if (!(f & PHY_FLAGS_PASSTHRU)) return SOC_E_INTERNAL;
    *mbps = 1000;
    return SOC_E_NONE;
}

int master_set_640x(int unit, int port, int mode) {
    State640x *st = state_of(unit, port);
    if (st == nullptr) return SOC_E_PARAM;
    if (!copper_active(unit, port)) return SOC_E_NONE;
    if (int rv = mii_master_set(unit, port, mode); rv < 0) return rv;
    st->copper.words[PHY_MC_MASTER] = static_cast<uint32_t>(mode);
    return SOC_E_NONE;
}

// A 100BASE-FX fibre runs 100 full alone, whatever its registers offer.
int ability_640x(int unit, int port, uint32_t *ability) {
    if (int rv = ge_ability(unit, port, ability); rv < 0) return rv;
    const uint32_t f = flags(unit, port);
    if ((f & PHY_FLAGS_FIBER) && (f & PHY_FLAGS_100FX))
        *ability = (*ability & ~kSpeedAbilities) | DRV_PA_100MB_FD;
    return SOC_E_NONE;
}

int autoneg_set_on(int unit, int port, int enable, bool carry) {
    State640x *st = state_of(unit, port);
    if (st == nullptr) return SOC_E_PARAM;
    if (int rv = mii_autoneg_set(unit, port, enable); rv < 0) return rv;
    if (copper_active(unit, port)) {
        const phy_medium_config_t before = st->copper;
        st->copper.words[PHY_MC_AN_ENABLE] = enable != 0;
        if (carry) carry_from_copper(unit, port, before, st);
        return SOC_E_NONE;
    }
    // The fibre forced is forced to its kind's speed; set as it runs (a page
    // applied as it showed the fibre) it keeps the setting it has for the
    // other kind. 100BASE-FX says nothing of gigabit: a forced one reaches
    // the copper as its forced 100 full.
    const bool fx100 = fiber_at_100(unit, port);
    if (fiber_running(unit, port, st).words[PHY_MC_AN_ENABLE] == (enable != 0 ? 1u : 0u))
        return SOC_E_NONE;
    st->fiber.words[PHY_MC_AN_ENABLE] = enable != 0;
    if (enable == 0) st->fiber.words[PHY_MC_FORCE_SPEED] = fx100 ? 100 : 1000;
    if (!carry) return SOC_E_NONE;
    fiber_own_set(unit, port);
    if (fx100)
        carry_fx100_autoneg(&st->copper, enable);
    else
        carry_fiber_autoneg(&st->copper, st->fiber);
    return SOC_E_NONE;
}

int autoneg_set_640x(int unit, int port, int enable) {
    return autoneg_set_on(unit, port, enable, true);
}

int adv_set_on(int unit, int port, uint32_t ability, bool carry) {
    State640x *st = state_of(unit, port);
    if (st == nullptr) return SOC_E_PARAM;
    // The port layer hands over its whole ability word: each side keeps only
    // what it can advertise.
    if (copper_active(unit, port)) {
        if (int rv = ge_adv_set(unit, port, ability); rv < 0) return rv;
        const phy_medium_config_t before = st->copper;
        st->copper.words[PHY_MC_AN_ADVERT] = ability & kCopperAdvertMask;
        if (carry) {
            carry_pause(before.words[PHY_MC_AN_ADVERT], ability, &st->fiber);
            carry_from_copper(unit, port, before, st);
        }
        return SOC_E_NONE;
    }
    // 100BASE-FX negotiates no speed: the stored speeds stay the 1000BASE-X
    // ones, or a 1000BASE-X fibre that comes later could not link.
    constexpr uint32_t kPause = DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX;
    const uint32_t before = st->fiber.words[PHY_MC_AN_ADVERT];
    const uint32_t advert = fiber_at_100(unit, port) ? (before & ~kPause) | (ability & kPause)
                                                     : ability & kFiberAdvertMask;
    if (int rv = wr(unit, port, MII_ANA, x1000_page_of(advert)); rv < 0) return rv;
    st->fiber.words[PHY_MC_AN_ADVERT] = advert;
    if (carry) carry_pause(before, ability, &st->copper);
    return SOC_E_NONE;
}

int adv_set_640x(int unit, int port, uint32_t ability) {
    return adv_set_on(unit, port, ability, true);
}

int adv_get_640x(int unit, int port, uint32_t *ability) {
    if (ability == nullptr) return SOC_E_PARAM;
    if (copper_active(unit, port)) return ge_adv_get(unit, port, ability);
    uint16_t v = 0;
    if (int rv = rd(unit, port, MII_ANA, &v); rv < 0) return rv;
    *ability = x1000_abilities_of(v);
    return SOC_E_NONE;
}

int remote_get_640x(int unit, int port, uint32_t *ability) {
    if (ability == nullptr) return SOC_E_PARAM;
    if (copper_active(unit, port)) return ge_remote_get(unit, port, ability);
    uint16_t ctrl = 0, stat = 0, page = 0;
    if (int rv = rd(unit, port, MII_CTRL, &ctrl); rv < 0) return rv;
    if (int rv = rd(unit, port, MII_STAT, &stat); rv < 0) return rv;
    if (!(ctrl & MII_CTRL_AE)) return SOC_E_DISABLED;
    *ability = 0;
    if (!(stat & MII_STAT_AN_DONE)) return SOC_E_NONE;
    if (int rv = rd(unit, port, MII_ANP, &page); rv < 0) return rv;
    *ability = x1000_abilities_of(page);
    return SOC_E_NONE;
}

int interface_set_640x(int, int, int intf) {
    switch (intf) {
        case PHY_IF_MII:
        case PHY_IF_GMII:
        case PHY_IF_SGMII:
        case PHY_IF_RGMII:
            return SOC_E_NONE;
        default:
            return SOC_E_UNAVAIL;
    }
}

int interface_get_640x(int unit, int, int *intf) {
    if (intf == nullptr) return SOC_E_PARAM;
    *intf = unit_sgmii(unit) ? PHY_IF_SGMII : PHY_IF_RGMII;
    return SOC_E_NONE;
}

int link_down_640x(int unit, int port) {
    State640x *st = state_of(unit, port);
    if (st == nullptr) return SOC_E_PARAM;
    Ident id{};
    if (int rv = ident_read(unit, port, &id); rv < 0) return rv;
    if (is_b0(id, PHY_OUI_KEY_D) && copper_active(unit, port)) {
        soc_cm_debug_print(DK_PHY, "6402_link_down: port=%d activated\n", port);
        if (int rv = reset_setup(unit, port, st); rv < 0) return rv;
        return apply_active(unit, port, st);
    }
    if (is_b0(id, PHY_OUI_KEY_B) && (flags(unit, port) & PHY_FLAGS_FIBER)) {
        soc_cm_debug_print(DK_PHY,
                           (flags(unit, port) & PHY_FLAGS_100FX) ? "\t 100FX\n" : "\t 1000X\n");
        if (int rv = reset_setup(unit, port, st); rv < 0) return rv;
        return apply_active(unit, port, st);
    }
    return SOC_E_NONE;
}

int mdix_set_640x(int unit, int port, int mode) {
    State640x *st = state_of(unit, port);
    if (st == nullptr) return SOC_E_PARAM;
    if (!copper_active(unit, port)) return mode == PHY_MDIX_NORMAL ? SOC_E_NONE : SOC_E_UNAVAIL;
    uint16_t v = 0;
    switch (mode) {
        case PHY_MDIX_AUTO:
        case PHY_MDIX_FORCEAUTO: {
            if (int rv = rmw(unit, port, 16, 0, 0x4000); rv < 0) return rv;
            if (int rv = wr(unit, port, kAuxCtrl, 0x7007); rv < 0) return rv;
            if (int rv = rd(unit, port, kAuxCtrl, &v); rv < 0) return rv;
            v = mode == PHY_MDIX_FORCEAUTO ? (v | 0x0200) : static_cast<uint16_t>(v & ~0x0200);
            if (int rv = wr(unit, port, kAuxCtrl, v | 0x8007); rv < 0) return rv;
            break;
        }
        case PHY_MDIX_NORMAL:
        case PHY_MDIX_XOVER: {
            int speed = 0;
            if (int rv = speed_get_640x(unit, port, &speed); rv < 0) return rv;
            if (speed != 0 && speed != 10 && speed != 100) return SOC_E_UNAVAIL;
            if (int rv = rmw(unit, port, 16, 0x4000, 0); rv < 0) return rv;
            if (int rv = wr(unit, port, 30, mode == PHY_MDIX_NORMAL ? 0x0000 : 0x0080); rv < 0)
                return rv;
            break;
        }
        default:
            return SOC_E_PARAM;
    }
    st->copper.words[PHY_MC_MDIX] = static_cast<uint32_t>(mode);
    return SOC_E_NONE;
}

int mdix_get_640x(int unit, int port, int *mode) {
    State640x *st = state_of(unit, port);
    if (mode == nullptr || st == nullptr) return SOC_E_PARAM;
    if (!copper_active(unit, port)) {
        *mode = PHY_MDIX_NORMAL;
        return SOC_E_NONE;
    }
    int speed = 0;
    if (int rv = speed_get_640x(unit, port, &speed); rv < 0) return rv;
    *mode = speed == 1000 ? PHY_MDIX_AUTO : static_cast<int>(st->copper.words[PHY_MC_MDIX]);
    return SOC_E_NONE;
}

int mdix_status_get_640x(int unit, int port, int *status) {
    if (status == nullptr || state_of(unit, port) == nullptr) return SOC_E_PARAM;
    *status = 0;
    if (!copper_active(unit, port)) return SOC_E_NONE;
    uint16_t v = 0;
    if (int rv = rd(unit, port, 17, &v); rv < 0) return rv;
    *status = (v & 0x2000) != 0;
    return SOC_E_NONE;
}

int medium_config_set_640x(int unit, int port, int medium, phy_medium_config_t *cfg) {
    State640x *st = state_of(unit, port);
    if (st == nullptr || cfg == nullptr) return SOC_E_PARAM;
    if (medium != PHY_MEDIUM_COPPER && medium != PHY_MEDIUM_FIBER) return SOC_E_PARAM;
    const bool copper = medium == PHY_MEDIUM_COPPER;
    phy_medium_config_t next = *cfg;
    next.words[PHY_MC_AN_ADVERT] &= copper ? kCopperAdvertMask : kFiberAdvertMask;
    if (!medium_config_runs(medium, next, true, fx100_capable(unit, port))) return SOC_E_CONFIG;
    phy_medium_config_t &to = copper ? st->copper : st->fiber;
    const phy_medium_config_t before = to;
    to = next;
    const bool active = copper ? copper_active(unit, port) : (flags(unit, port) & PHY_FLAGS_FIBER);
    const int rv = active ? apply_active(unit, port, st) : SOC_E_NONE;
    if (rv < 0) {
        // Refused part-way: the PHY and the store go back to what they were.
        to = before;
        apply_active(unit, port, st);
        to = before;
    } else if (!copper) {
        fiber_own_set(unit, port);
    }
    return rv;
}

int medium_config_get_640x(int unit, int port, int medium, phy_medium_config_t *cfg) {
    const State640x *st = state_of(unit, port);
    if (st == nullptr || cfg == nullptr) return SOC_E_PARAM;
    if (medium == PHY_MEDIUM_COPPER) {
        *cfg = st->copper;
    } else if (medium == PHY_MEDIUM_FIBER) {
        *cfg = st->fiber;
    } else {
        return SOC_E_PARAM;
    }
    return SOC_E_NONE;
}

int medium_get_640x(int unit, int port, int *medium) {
    if (medium == nullptr) return SOC_E_PARAM;
    *medium = copper_active(unit, port) ? PHY_MEDIUM_COPPER : PHY_MEDIUM_FIBER;
    return SOC_E_NONE;
}

int link_change_640x(int unit, int port, int *changed) {
    if (changed == nullptr) return SOC_E_PARAM;
    uint16_t v = 0;
    if (int rv = shadow_read(unit, port, kSelLinkChanged, &v); rv < 0) return rv;
    *changed = (v & 0x0200) != 0;
    return SOC_E_NONE;
}

}  // namespace

namespace phy {

int variant_640x(int unit, int port, uint16_t *variant) {
    const State640x *st = state_of(unit, port);
    if (st == nullptr) return SOC_E_PARAM;
    *variant = st->model;
    return SOC_E_NONE;
}

int reset_setup_640x(int unit, int port) {
    State640x *st = state_of(unit, port);
    return st == nullptr ? SOC_E_PARAM : reset_setup(unit, port, st);
}

}  // namespace phy

const phy_driver_t phy_640x_drv = {
    .drv_name = "640X Gigabit PHY Driver",
    .init = Locked<init_640x>::call,
    .reset = Locked<mii_reset>::call,
    .link_get = Locked<link_get_640x>::call,
    .enable_set = Locked<enable_set_640x>::call,
    .enable_get = Locked<phy::enable_get>::call,
    .duplex_set = Locked<duplex_set_640x>::call,
    .duplex_get = Locked<copper_or_fixed<mii_duplex_get, 1>>::call,
    .speed_set = Locked<speed_set_640x>::call,
    .speed_get = Locked<speed_get_640x>::call,
    .master_set = Locked<master_set_640x>::call,
    .master_get = Locked<copper_or_fixed<mii_master_get, PHY_MS_NONE>>::call,
    .autoneg_set = Locked<autoneg_set_640x>::call,
    .autoneg_get = Locked<mii_autoneg_get>::call,
    .adv_local_set = Locked<adv_set_640x>::call,
    .adv_local_get = Locked<adv_get_640x>::call,
    .adv_remote_get = Locked<remote_get_640x>::call,
    .loopback_set = Locked<mii_lb_set>::call,
    .loopback_get = Locked<mii_lb_get>::call,
    .interface_set = Locked<interface_set_640x>::call,
    .interface_get = Locked<interface_get_640x>::call,
    .ability_get = Locked<ability_640x>::call,
    .linkup_event = nullptr,
    .linkdown_event = Locked<link_down_640x>::call,
    .mdix_set = Locked<mdix_set_640x>::call,
    .mdix_get = Locked<mdix_get_640x>::call,
    .mdix_status_get = Locked<mdix_status_get_640x>::call,
    .medium_config_set = Locked<medium_config_set_640x>::call,
    .medium_config_get = Locked<medium_config_get_640x>::call,
    .medium_get = Locked<medium_get_640x>::call,
    .cable_diag = Locked<cable_diag_hw>::call,
    .link_change = Locked<link_change_640x>::call,
    .spare = {},
};

void phy_640x_host_forget(void) {
    states.forget();
}
