// The clause-22 routines shared by the generic drivers and the model drivers.
#include "chipdata/ids.h"
#include "phy.h"
#include "phy_internal.h"
#include "sal.h"
#include "soc_error.h"
#include "soc_property.h"

namespace phy {

namespace {

constexpr uint32_t kBootSimulation = 0xb0000;
constexpr int kResetTimeout = 10000;
constexpr int kResetTimeoutSim = 10000000;

// Outcome of auto-negotiation: speed and duplex, or -11 without a common mode.
int resolve(int unit, int port, int *speed, int *full) {
    uint16_t anar = 0, anlpar = 0, stat = 0, esr = 0, gb_stat = 0, gb_ctrl = 0;
    if (int rv = rd(unit, port, MII_ANA, &anar); rv < 0) return rv;
    if (int rv = rd(unit, port, MII_ANP, &anlpar); rv < 0) return rv;
    if (int rv = rd(unit, port, MII_STAT, &stat); rv < 0) return rv;
    if (stat & MII_STAT_ES) {
        if (int rv = rd(unit, port, MII_ESR, &esr); rv < 0) return rv;
        if (esr > 0x0fff) {
            if (int rv = rd(unit, port, MII_GB_STAT, &gb_stat); rv < 0) return rv;
            if (int rv = rd(unit, port, MII_GB_CTRL, &gb_ctrl); rv < 0) return rv;
        }
    }
    const uint16_t common = anar & anlpar;
    if ((gb_ctrl & 0x0200) && (gb_stat & 0x0800)) {
        *speed = 1000, *full = 1;
    } else if ((gb_ctrl & 0x0100) && (gb_stat & 0x0400)) {
        *speed = 1000, *full = 0;
    } else if (common & 0x0100) {
        *speed = 100, *full = 1;
    } else if (common & 0x0280) {
        *speed = 100, *full = 0;
    } else if (common & 0x0040) {
        *speed = 10, *full = 1;
    } else if (common & 0x0020) {
        *speed = 10, *full = 0;
    } else {
        return SOC_E_FAIL;
    }
    return SOC_E_NONE;
}

// Registers at the port's PHY address, or at its internal PHY address.
template <bool Internal>
int rd_at(int unit, int port, uint32_t reg, uint16_t *v) {
    return Internal ? rd_int(unit, port, reg, v) : rd(unit, port, reg, v);
}
template <bool Internal>
int wr_at(int unit, int port, uint32_t reg, uint16_t v) {
    return Internal ? wr_int(unit, port, reg, v) : wr(unit, port, reg, v);
}

// Auto-negotiation state: on (register 0) and done (register 1).
int an_state(int unit, int port, bool *on, bool *done) {
    uint16_t ctrl = 0, stat = 0;
    if (int rv = rd(unit, port, MII_CTRL, &ctrl); rv < 0) return rv;
    *on = ctrl & MII_CTRL_AE;
    if (!*on) return SOC_E_NONE;
    if (int rv = rd(unit, port, MII_STAT, &stat); rv < 0) return rv;
    *done = stat & MII_STAT_AN_DONE;
    return SOC_E_NONE;
}

// 10/100 bits of registers 4 and 5 against the ability word.
constexpr struct {
    uint16_t reg;
    uint32_t ability;
} kFeBits[] = {{0x0020, DRV_PA_10MB_HD},
               {0x0040, DRV_PA_10MB_FD},
               {0x0080, DRV_PA_100MB_HD},
               {0x0100, DRV_PA_100MB_FD}};

uint16_t fe_bits_of(uint32_t ability) {
    uint16_t r = 0;
    for (const auto &b : kFeBits)
        r |= (ability & b.ability) ? b.reg : 0;
    return r;
}

uint32_t abilities_of(uint16_t reg) {
    uint32_t a = 0;
    for (const auto &b : kFeBits)
        a |= (reg & b.reg) ? b.ability : 0;
    return a;
}

uint32_t ge_pause_of(uint16_t reg) {
    if ((reg & 0x0800) && (reg & 0x0400)) return DRV_PA_PAUSE_RX;
    if (reg & 0x0800) return DRV_PA_PAUSE_TX;
    if (reg & 0x0400) return DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX;
    return 0;
}

int restart_if_autoneg(int unit, int port) {
    uint16_t ctrl = 0;
    if (int rv = rd(unit, port, MII_CTRL, &ctrl); rv < 0) return rv;
    if (!(ctrl & MII_CTRL_AE)) return SOC_E_NONE;
    return wr(unit, port, MII_CTRL, ctrl | MII_CTRL_RAN);
}

// The remote page (register 5) once auto-negotiation is done: -12 while off.
int remote_page(int unit, int port, bool *ready, uint16_t *page) {
    bool on = false, done = false;
    if (int rv = an_state(unit, port, &on, &done); rv < 0) return rv;
    if (!on) return SOC_E_DISABLED;
    *ready = done;
    if (!done) return SOC_E_NONE;
    return rd(unit, port, MII_ANP, page);
}

}  // namespace

soc_phy_info_t *info(int unit, int port) {
    static soc_phy_info_t scratch;
    soc_phy_info_t *pi = soc_phy_info(unit, port);
    if (pi != nullptr) return pi;
    scratch = soc_phy_info_t{};
    return &scratch;
}

uint32_t flags(int unit, int port) {
    return soc_phy_flags(info(unit, port));
}

void flags_set(int unit, int port, uint32_t set, uint32_t clear) {
    soc_phy_flags_change(info(unit, port), set, clear);
}

int rd(int unit, int port, uint32_t reg, uint16_t *v) {
    return soc_miim_read(unit, soc_phy_addr_get(unit, port), reg, v);
}
int wr(int unit, int port, uint32_t reg, uint16_t v) {
    return soc_miim_write(unit, soc_phy_addr_get(unit, port), reg, v);
}
int rmw(int unit, int port, uint32_t reg, uint16_t set, uint16_t clear) {
    uint16_t v = 0;
    if (int rv = rd(unit, port, reg, &v); rv < 0) return rv;
    uint16_t now = static_cast<uint16_t>((v & ~clear) | set);
    return now == v ? SOC_E_NONE : wr(unit, port, reg, now);
}
int rd_int(int unit, int port, uint32_t reg, uint16_t *v) {
    return soc_miim_read(unit, soc_phy_addr_int_get(unit, port), reg, v);
}
int wr_int(int unit, int port, uint32_t reg, uint16_t v) {
    return soc_miim_write(unit, soc_phy_addr_int_get(unit, port), reg, v);
}

int write_seq(int unit, int port, const RegWrite *seq, int n) {
    for (int i = 0; i < n; i++) {
        if (int rv = wr(unit, port, seq[i].reg, seq[i].value); rv < 0) return rv;
    }
    return SOC_E_NONE;
}

bool fe_class(int unit, int port) {
    const soc_control_t *s = SOC_CONTROL(unit);
    return s != nullptr && soc_pbmp_member(s->fe.bitmap, port);
}
bool ge_class(int unit, int port) {
    const soc_control_t *s = SOC_CONTROL(unit);
    return s != nullptr && soc_pbmp_member(s->ge.bitmap, port);
}
bool hs_class(int unit, int port) {
    const soc_control_t *s = SOC_CONTROL(unit);
    return s != nullptr &&
           (soc_pbmp_member(s->xe.bitmap, port) || soc_pbmp_member(s->hg.bitmap, port));
}
bool chip_flag(int unit, uint32_t mask) {
    const soc_control_t *s = SOC_CONTROL(unit);
    return s != nullptr && (s->chip_flags & mask) != 0;
}

int ident_read(int unit, int port, Ident *id) {
    uint16_t id0 = 0, id1 = 0;
    if (int rv = rd(unit, port, MII_PHYSID1, &id0); rv < 0) return rv;
    if (int rv = rd(unit, port, MII_PHYSID2, &id1); rv < 0) return rv;
    *id = {phy_oui_key(id0, id1), phy_model_of(id1), static_cast<uint16_t>(id1 & 0xf)};
    return SOC_E_NONE;
}

int reset_wait(int unit, int port, uint16_t restore, int default_usec, bool internal) {
    auto read = internal ? rd_int : rd;
    auto write = internal ? wr_int : wr;
    soc_timeout_t to;
    soc_timeout_init(&to, soc_property_get(unit, "phy_reset_timeout", default_usec), 1);
    for (;;) {
        uint16_t ctrl = 0;
        if (int rv = read(unit, port, MII_CTRL, &ctrl); rv < 0) return rv;
        if (!(ctrl & MII_CTRL_RESET)) return SOC_E_NONE;
        // A PHY stuck in reset gets its old control value back; not an error.
        if (soc_timeout_check(&to)) return write(unit, port, MII_CTRL, restore);
    }
}

int zero_init(int, int) {
    return SOC_E_NONE;
}
int zero_reset(int, int, void *) {
    return SOC_E_NONE;
}
int zero_set(int, int, int) {
    return SOC_E_NONE;
}
int zero_ability_set(int, int, uint32_t) {
    return SOC_E_NONE;
}
int out_zero_pair(int, int, int *a, int *b) {
    if (a == nullptr || b == nullptr) return SOC_E_PARAM;
    *a = *b = 0;
    return SOC_E_NONE;
}

int enable_set(int unit, int port, int enable) {
    flags_set(unit, port, enable ? 0 : PHY_FLAGS_DISABLE, enable ? PHY_FLAGS_DISABLE : 0);
    return SOC_E_NONE;
}
int enable_get(int unit, int port, int *enable) {
    if (enable == nullptr) return SOC_E_PARAM;
    *enable = !(flags(unit, port) & PHY_FLAGS_DISABLE);
    return SOC_E_NONE;
}

int mii_reset(int unit, int port, void *) {
    uint16_t ctrl = 0;
    if (int rv = rd(unit, port, MII_CTRL, &ctrl); rv < 0) return rv;
    if (int rv = wr(unit, port, MII_CTRL, ctrl | MII_CTRL_RESET); rv < 0) return rv;
    const int usec = (sal_boot_flags_get() & kBootSimulation) ? kResetTimeoutSim : kResetTimeout;
    return reset_wait(unit, port, ctrl, usec, false);
}

int fe_init(int unit, int port) {
    if (int rv = phy_common_reset(unit, port); rv < 0) return rv;
    const RegWrite init[] = {{MII_CTRL, 0x3300}, {MII_ANA, 0x01e1}};
    if (int rv = write_seq(unit, port, init, 2); rv < 0) return rv;
    Ident id{};
    if (int rv = ident_read(unit, port, &id); rv < 0) return rv;
    if (chip_flag(unit, SOC_CHIP_DXP7102) && id.rev == 0) {
        const RegWrite fix[] = {{31, 0x008b}, {25, 0x0100}, {31, 0x000b}};
        return write_seq(unit, port, fix, 3);
    }
    return SOC_E_NONE;
}

int ge_init(int unit, int port) {
    if (int rv = phy_common_reset(unit, port); rv < 0) return rv;
    const int intf = (flags(unit, port) & PHY_FLAGS_TBI) ? PHY_IF_TBI : PHY_IF_GMII;
    if (int rv = ge_interface_set(unit, port, intf); rv < 0) return rv;
    const RegWrite init[] = {{MII_GB_CTRL, 0x0600}, {MII_CTRL, 0x1340}};
    if (int rv = write_seq(unit, port, init, 2); rv < 0) return rv;
    Ident id{};
    if (int rv = ident_read(unit, port, &id); rv < 0) return rv;
    if (id.is(PHY_OUI_KEY_D, PHY_MODEL_6405)) {
        if (int rv = wr(unit, port, 31, 0x0800); rv < 0) return rv;
        return wr(unit, port, 29,
                  static_cast<uint16_t>((sal_time_usecs() + static_cast<uint32_t>(port)) & 0x3ff));
    }
    return SOC_E_NONE;
}

int mii_link_get(int unit, int port, int *up) {
    if (up == nullptr) return SOC_E_PARAM;
    *up = 0;
    if (flags(unit, port) & PHY_FLAGS_DISABLE) return SOC_E_NONE;
    uint16_t stat = 0, ctrl = 0;
    if (int rv = rd(unit, port, MII_STAT, &stat); rv < 0) return rv;
    if (!(stat & MII_STAT_LA)) return SOC_E_NONE;
    if (int rv = rd(unit, port, MII_CTRL, &ctrl); rv < 0) return rv;
    if (!(ctrl & MII_CTRL_AE)) {
        *up = 1;
        return SOC_E_NONE;
    }
    soc_timeout_t to;
    soc_timeout_init(&to, static_cast<int>(soc_phy_an_timeout_get(unit, port)), 0);
    for (;;) {
        if (int rv = rd(unit, port, MII_STAT, &stat); rv < 0) return rv;
        if (!(stat & MII_STAT_LA)) return SOC_E_NONE;
        if (stat & MII_STAT_AN_DONE) {
            *up = 1;
            return SOC_E_NONE;
        }
        if (soc_timeout_check(&to)) return SOC_E_BUSY;
    }
}

int mii_duplex_set(int unit, int port, int full) {
    return rmw(unit, port, MII_CTRL, full ? MII_CTRL_FD : 0, full ? 0 : MII_CTRL_FD);
}

int mii_duplex_get(int unit, int port, int *full) {
    if (full == nullptr) return SOC_E_PARAM;
    uint16_t ctrl = 0;
    if (int rv = rd(unit, port, MII_CTRL, &ctrl); rv < 0) return rv;
    if (!(ctrl & MII_CTRL_AE)) {
        *full = (ctrl & MII_CTRL_FD) != 0;
        return SOC_E_NONE;
    }
    bool on = false, done = false;
    if (int rv = an_state(unit, port, &on, &done); rv < 0) return rv;
    *full = 0;
    if (!done) return SOC_E_NONE;
    int speed = 0;
    return resolve(unit, port, &speed, full);
}

int mii_speed_set(int unit, int port, int mbps) {
    uint16_t bits = 0;
    switch (mbps) {
        case 0:
            return SOC_E_NONE;
        case 10:
            break;
        case 100:
            bits = MII_CTRL_SS_100;
            break;
        case 1000:
            bits = MII_CTRL_SS_1000;
            break;
        default:
            return SOC_E_CONFIG;
    }
    uint16_t ctrl = 0;
    if (int rv = rd(unit, port, MII_CTRL, &ctrl); rv < 0) return rv;
    ctrl = static_cast<uint16_t>((ctrl & ~(MII_CTRL_SS_100 | MII_CTRL_SS_1000)) | bits);
    return wr(unit, port, MII_CTRL, ctrl);
}

int mii_speed_get(int unit, int port, int *mbps) {
    if (mbps == nullptr) return SOC_E_PARAM;
    uint16_t ctrl = 0;
    if (int rv = rd(unit, port, MII_CTRL, &ctrl); rv < 0) return rv;
    if (!(ctrl & MII_CTRL_AE)) {
        switch (ctrl & (MII_CTRL_SS_100 | MII_CTRL_SS_1000)) {
            case MII_CTRL_SS_1000:
                *mbps = 1000;
                return SOC_E_NONE;
            case MII_CTRL_SS_100:
                *mbps = 100;
                return SOC_E_NONE;
            case 0:
                *mbps = 10;
                return SOC_E_NONE;
            default:
                return SOC_E_UNAVAIL;
        }
    }
    bool on = false, done = false;
    if (int rv = an_state(unit, port, &on, &done); rv < 0) return rv;
    *mbps = 0;
    if (!done) return SOC_E_NONE;
    int full = 0;
    return resolve(unit, port, mbps, &full);
}

int mii_master_set(int unit, int port, int mode) {
    if (fe_class(unit, port)) return SOC_E_NONE;
    uint16_t gb = 0;
    if (int rv = rd(unit, port, MII_GB_CTRL, &gb); rv < 0) return rv;
    switch (mode) {
        case PHY_MS_MASTER:
            gb |= 0x1800;
            break;
        case PHY_MS_SLAVE:
            gb = static_cast<uint16_t>((gb | 0x1000) & ~0x0800);
            break;
        case PHY_MS_AUTO:
            gb &= static_cast<uint16_t>(~0x1000);
            break;
        default:
            break;
    }
    return wr(unit, port, MII_GB_CTRL, gb);
}

int mii_master_get(int unit, int port, int *mode) {
    if (mode == nullptr) return SOC_E_PARAM;
    if (fe_class(unit, port)) {
        *mode = PHY_MS_NONE;
        return SOC_E_NONE;
    }
    uint16_t gb = 0;
    if (int rv = rd(unit, port, MII_GB_CTRL, &gb); rv < 0) return rv;
    *mode = !(gb & 0x1000) ? PHY_MS_AUTO : (gb & 0x0800) ? PHY_MS_MASTER : PHY_MS_SLAVE;
    return SOC_E_NONE;
}

template <bool Internal>
int c22_autoneg_set(int unit, int port, int enable) {
    const uint16_t bits = MII_CTRL_AE | MII_CTRL_RAN;
    uint16_t ctrl = 0;
    if (int rv = rd_at<Internal>(unit, port, MII_CTRL, &ctrl); rv < 0) return rv;
    if (enable) {
        // A speed forced earlier goes: the forced bits read as after a reset,
        // the port's top speed at full duplex.
        const uint16_t forced = MII_CTRL_SS_100 | MII_CTRL_SS_1000 | MII_CTRL_FD;
        const uint16_t top = fe_class(unit, port) ? MII_CTRL_SS_100 : MII_CTRL_SS_1000;
        ctrl = static_cast<uint16_t>((ctrl & ~forced) | top | MII_CTRL_FD | bits);
    } else {
        ctrl = static_cast<uint16_t>(ctrl & ~bits);
    }
    return wr_at<Internal>(unit, port, MII_CTRL, ctrl);
}

template <bool Internal>
int c22_autoneg_get(int unit, int port, int *enable, int *done) {
    if (enable == nullptr || done == nullptr) return SOC_E_PARAM;
    uint16_t ctrl = 0, stat = 0;
    if (int rv = rd_at<Internal>(unit, port, MII_CTRL, &ctrl); rv < 0) return rv;
    if (int rv = rd_at<Internal>(unit, port, MII_STAT, &stat); rv < 0) return rv;
    *enable = (ctrl & MII_CTRL_AE) != 0;
    *done = (stat & MII_STAT_AN_DONE) != 0;
    return SOC_E_NONE;
}

int fe_adv_set(int unit, int port, uint32_t ability) {
    const uint32_t pause = ability & (DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX);
    uint16_t anar = static_cast<uint16_t>(0x0001 | fe_bits_of(ability));
    if (pause == (DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX)) {
        anar |= 0x0400;
    } else if (pause != 0) {
        return SOC_E_UNAVAIL;  // one direction cannot be advertised here
    }
    if (int rv = wr(unit, port, MII_ANA, anar); rv < 0) return rv;
    return restart_if_autoneg(unit, port);
}

int fe_adv_get(int unit, int port, uint32_t *ability) {
    if (ability == nullptr) return SOC_E_PARAM;
    uint16_t anar = 0;
    if (int rv = rd(unit, port, MII_ANA, &anar); rv < 0) return rv;
    *ability = abilities_of(anar) | ((anar & 0x0400) ? DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX : 0);
    return SOC_E_NONE;
}

int fe_remote_get(int unit, int port, uint32_t *ability) {
    if (ability == nullptr) return SOC_E_PARAM;
    bool ready = false;
    uint16_t page = 0;
    if (int rv = remote_page(unit, port, &ready, &page); rv < 0) return rv;
    *ability = abilities_of(page) | ((page & 0x0400) ? DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX : 0);
    return SOC_E_NONE;
}

int ge_adv_set(int unit, int port, uint32_t ability) {
    uint16_t gb = 0;
    if (int rv = rd(unit, port, MII_GB_CTRL, &gb); rv < 0) return rv;
    gb = static_cast<uint16_t>(gb & ~0x0300);
    gb |= (ability & DRV_PA_1000MB_HD) ? 0x0100 : 0;
    gb |= (ability & DRV_PA_1000MB_FD) ? 0x0200 : 0;
    uint16_t anar = static_cast<uint16_t>(0x0001 | fe_bits_of(ability));
    switch (ability & (DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX)) {
        case DRV_PA_PAUSE_TX | DRV_PA_PAUSE_RX:
            anar |= 0x0400;
            break;
        case DRV_PA_PAUSE_TX:
            anar |= 0x0800;
            break;
        case DRV_PA_PAUSE_RX:
            anar |= 0x0c00;
            break;
        default:
            break;
    }
    if (int rv = wr(unit, port, MII_ANA, anar); rv < 0) return rv;
    if (int rv = wr(unit, port, MII_GB_CTRL, gb); rv < 0) return rv;
    return restart_if_autoneg(unit, port);
}

int ge_adv_get(int unit, int port, uint32_t *ability) {
    if (ability == nullptr) return SOC_E_PARAM;
    uint16_t anar = 0, gb = 0;
    if (int rv = rd(unit, port, MII_ANA, &anar); rv < 0) return rv;
    if (int rv = rd(unit, port, MII_GB_CTRL, &gb); rv < 0) return rv;
    *ability = abilities_of(anar) | ge_pause_of(anar) | ((gb & 0x0200) ? DRV_PA_1000MB_FD : 0) |
               ((gb & 0x0100) ? DRV_PA_1000MB_HD : 0);
    return SOC_E_NONE;
}

int ge_remote_get(int unit, int port, uint32_t *ability) {
    if (ability == nullptr) return SOC_E_PARAM;
    bool ready = false;
    uint16_t page = 0, gb_stat = 0;
    if (int rv = remote_page(unit, port, &ready, &page); rv < 0) return rv;
    *ability = 0;
    if (!ready) return SOC_E_NONE;
    if (int rv = rd(unit, port, MII_GB_STAT, &gb_stat); rv < 0) return rv;
    *ability = abilities_of(page) | ge_pause_of(page) |
               ((gb_stat & 0x0800) ? DRV_PA_1000MB_FD : 0) |
               ((gb_stat & 0x0400) ? DRV_PA_1000MB_HD : 0);
    return SOC_E_NONE;
}

int mii_lb_set(int unit, int port, int enable) {
    const uint16_t on = enable ? MII_CTRL_LE : 0, off = enable ? 0 : MII_CTRL_LE;
    if (SOC_CONTROL(unit) != nullptr && SOC_IS_FAMILY_LAYOUT(unit) && fe_class(unit, port)) {
        if (int rv = rmw(unit, port, 24, on, off); rv < 0) return rv;
    }
    return rmw(unit, port, MII_CTRL, on, off);
}

template <bool Internal>
int c22_lb_get(int unit, int port, int *enable) {
    if (enable == nullptr) return SOC_E_PARAM;
    uint16_t ctrl = 0;
    if (int rv = rd_at<Internal>(unit, port, MII_CTRL, &ctrl); rv < 0) return rv;
    *enable = (ctrl & MII_CTRL_LE) != 0;
    return SOC_E_NONE;
}

template int c22_autoneg_set<false>(int, int, int);
template int c22_autoneg_set<true>(int, int, int);
template int c22_autoneg_get<false>(int, int, int *, int *);
template int c22_autoneg_get<true>(int, int, int *, int *);
template int c22_lb_get<false>(int, int, int *);
template int c22_lb_get<true>(int, int, int *);

int fe_interface_set(int, int, int intf) {
    return intf == PHY_IF_NONE || intf == PHY_IF_MII ? SOC_E_NONE : SOC_E_UNAVAIL;
}

int ge_interface_set(int unit, int port, int intf) {
    switch (intf) {
        case PHY_IF_NONE:
            return SOC_E_NONE;
        case PHY_IF_MII:
        case PHY_IF_GMII:
            flags_set(unit, port, 0, PHY_FLAGS_TBI);
            return rmw(unit, port, 16, 0, 0x8000);
        case PHY_IF_TBI:
            flags_set(unit, port, PHY_FLAGS_TBI, 0);
            return rmw(unit, port, 16, 0x8000, 0);
        default:
            return SOC_E_UNAVAIL;
    }
}

int ge_interface_get(int unit, int port, int *intf) {
    if (intf == nullptr) return SOC_E_PARAM;
    *intf = (flags(unit, port) & PHY_FLAGS_TBI) ? PHY_IF_TBI : PHY_IF_GMII;
    return SOC_E_NONE;
}

int fe_ability(int unit, int port, uint32_t *ability) {
    if (ability == nullptr) return SOC_E_PARAM;
    uint16_t stat = 0;
    if (int rv = rd(unit, port, MII_STAT, &stat); rv < 0) return rv;
    constexpr struct {
        uint16_t bit;
        uint32_t ability;
    } kTech[] = {{0x8000, DRV_PA_100MB_FD}, {0x4000, DRV_PA_100MB_FD}, {0x2000, DRV_PA_100MB_HD},
                 {0x1000, DRV_PA_10MB_FD},  {0x0800, DRV_PA_10MB_HD},  {0x0400, DRV_PA_100MB_FD},
                 {0x0200, DRV_PA_100MB_HD}};
    uint32_t a = 0x104c00;
    for (const auto &t : kTech)
        a |= (stat & t.bit) ? t.ability : 0;
    *ability = a;
    return SOC_E_NONE;
}

int ge_ability(int unit, int port, uint32_t *ability) {
    if (int rv = fe_ability(unit, port, ability); rv < 0) return rv;
    uint16_t esr = 0;
    if (int rv = rd(unit, port, MII_ESR, &esr); rv < 0) return rv;
    *ability |= 0x1c00;
    *ability |= (esr & 0xa000) ? DRV_PA_1000MB_FD : 0;
    *ability |= (esr & 0x5000) ? DRV_PA_1000MB_HD : 0;
    return SOC_E_NONE;
}

int fixed_mdix_set(int, int, int mode) {
    return mode == PHY_MDIX_NORMAL ? SOC_E_NONE : SOC_E_UNAVAIL;
}
int unavail_cable_diag(int, int, phy_cable_diag_t *) {
    return SOC_E_UNAVAIL;
}

}  // namespace phy
