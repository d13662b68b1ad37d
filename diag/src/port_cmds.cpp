// The monitor's port characteristic commands: PORT shows and sets port
// properties through the port info record, PortStat prints the port table and
// PortRate shows and sets the ingress and egress meters.
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>

#include "diag_parse.h"
#include "drv_if.h"
#include "drv_port.h"
#include "dxp.h"
#include "dxp_error.h"
#include "port_reserve.h"
#include "dxp_tarn.h"
#include "feature_cmds.h"
#include "sal.h"
#include "shell_cmds.h"
#include "shr.h"
#include "soc_cm.h"
#include "soc_control.h"

namespace {

constexpr uint32_t kAbility10 = 0x3, kAbility100 = 0xc, kAbility1000 = 0x30, kAbility2500 = 0xc0,
                   kAbility3000 = 0x60000000, kAbility10000 = 0x300;
constexpr uint32_t kAbilityFullDuplex = 0x400002aa;
constexpr uint32_t kAbilityPauseTx = 0x400, kAbilityPauseRx = 0x800, kAbilityPauseAsym = 0x1000;
// Always read with a get: link, autoneg and both advertisements.
constexpr uint32_t kGetAlways = 0x180006;
constexpr uint32_t kPauseBits = DXP_PORT_ATTR_PAUSE_TX_MASK | DXP_PORT_ATTR_PAUSE_RX_MASK;
constexpr uint32_t kTlClear = 0x7u << 22;
constexpr uint32_t kAttrLearn = 0x40, kAttrVlanFilter = 0x100, kAttrPfm = 0x1000,
                   kAttrStationMac = 0x40000, kAttrEncap = 0x200000;
constexpr int kPropPortBitmap = 10;

const char *const kLinkscanNames[] = {"None", "SW", "HW", "OFF", "ON", nullptr};
const char *const kDiscardNames[] = {"None", "All", "Untag", "Tag", nullptr};
const char *const kInterfaceNames[] = {"NONE", "NULL",  "MII",   "GMII", "SGMII",
                                       "TBI",  "XGMII", "RGMII", nullptr};
const char *const kPhyMasterNames[] = {"Slave", "Master", "Auto", "None", nullptr};
const char *const kLoopbackNames[] = {"NONE", "MAC", "PHY", nullptr};
const char *const kStpNames[] = {"Disable", "Block", "LIsten", "LEarn", "Forward", nullptr};
const char *const kEncapNames[] = {"IEEE", "TIVRA", "ZQ880", "Reserved", nullptr};

template <size_t N>
const char *name_of(const char *const (&names)[N], int index) {
    return index >= 0 && index < static_cast<int>(N) - 1 ? names[index] : "?";
}

const char *errmsg(int rv) {
    return feature_cmds::errmsg(rv);
}

// The guard every port command starts with.
bool ports_ready(const char *cmd, int unit) {
    if (!sh_check_attached(cmd, unit)) return false;
    int modules = dxp_init_modules_get(unit);
    if (modules < 0 || !(static_cast<uint32_t>(modules) & DXP_MODULE_PORT)) {
        sal_printf("%s: Error: dxp ports not initialized\n", cmd);
        return false;
    }
    return true;
}

soc_pbmp_t pbmp_and(soc_pbmp_t a, const soc_pbmp_t &b) {
    a.w[0] &= b.w[0];
    a.w[1] &= b.w[1];
    return a;
}

const char *port_name(int unit, int port) {
    return SOC_CONTROL(unit)->port_name[port];
}

int speed_of_ability(uint32_t ability) {
    if (ability & kAbility10000) return 10000;
    if (ability & kAbility3000) return 3000;
    if (ability & kAbility2500) return 2500;
    if (ability & kAbility1000) return 1000;
    if (ability & kAbility100) return 100;
    if (ability & kAbility10) return 10;
    return 0;
}

void speed_text(char *buf, size_t size, int speed) {
    if (speed < 1000) {
        if (speed == 0)
            std::snprintf(buf, size, "-");
        else
            std::snprintf(buf, size, "%dM", speed);
    } else if (speed % 1000 == 0) {
        std::snprintf(buf, size, "%dG", speed / 1000);
    } else {
        std::snprintf(buf, size, "%d.%dG", speed / 1000, (speed % 1000) / 100);
    }
}

// The port classes in the order the tables show them; tl is the unit's
// stacking set.
struct PortClass {
    const soc_pbmp_t *bitmap;
    bool tl;
};

void port_classes(int unit, PortClass out[4]) {
    const soc_control_t *s = SOC_CONTROL(unit);
    out[0] = {&s->fe.bitmap, false};
    out[1] = {&s->ge.bitmap, false};
    out[2] = {&s->xe.bitmap, false};
    out[3] = {&s->hg.bitmap, true};
}

// "Adv(...)" and "PeerAdv(...)" contents.
void print_advert(const char *label, uint32_t advert) {
    char speed[16];
    speed_text(speed, sizeof speed, speed_of_ability(advert));
    sal_printf("%s(%s%s%s%s) ", label, speed, (advert & kAbilityFullDuplex) ? "FD" : "HD",
               (advert & kAbilityPauseTx) ? "+TXpau" : "",
               (advert & kAbilityPauseRx) ? "+RXpau" : "");
}

void print_status_line(int unit, int port, bool tl, const dxp_port_info &info) {
    const uint32_t mask = info.action_mask;
    char speed[16];
    sal_printf(" %c%s ", info.linkstatus ? '*' : ' ', port_name(unit, port));
    if ((mask & DXP_PORT_ATTR_ENABLE_MASK) && info.enable == 0) sal_printf("DISABLED ");
    if ((mask & DXP_PORT_ATTR_LINKSCAN_MASK) && info.linkscan != 0)
        sal_printf("LS(%s) ", name_of(kLinkscanNames, info.linkscan));
    bool group = true;
    if (tl) {
        sal_printf("%s/XAUI(", kEncapNames[info.encap_mode & 3]);
    } else if (mask & DXP_PORT_ATTR_AUTONEG_MASK) {
        if (!info.autoneg) {
            sal_printf("Forced(");
        } else if (!info.linkstatus) {
            sal_printf("Auto(no link) ");
            group = false;
        } else {
            sal_printf("Auto(");
        }
    } else {
        group = false;
    }
    if (group) {
        if (mask & DXP_PORT_ATTR_SPEED_MASK) {
            speed_text(speed, sizeof speed, info.speed);
            sal_printf("%s", speed);
        }
        if (mask & DXP_PORT_ATTR_DUPLEX_MASK) sal_printf("%s", info.duplex ? "FD" : "HD");
        if ((mask & DXP_PORT_ATTR_PAUSE_TX_MASK) && info.pause_tx) sal_printf("+TXpau");
        if ((mask & DXP_PORT_ATTR_PAUSE_RX_MASK) && info.pause_rx) sal_printf("+RXpau");
        sal_printf(") ");
    }
    if ((mask & DXP_PORT_ATTR_AUTONEG_MASK) && info.autoneg) {
        if (mask & DXP_PORT_ATTR_LOCAL_ADVERT_MASK) print_advert("Adv", info.local_advert);
        if ((mask & DXP_PORT_ATTR_REMOTE_ADVERT_MASK) && info.remote_advert_valid &&
            info.linkstatus)
            print_advert("PeerAdv", info.remote_advert);
    }
    if (mask & kAttrStationMac) {
        const uint8_t *m = info.pause_mac;
        sal_printf("Stad(%02x:%02x:%02x:%02x:%02x:%02x) ", m[0], m[1], m[2], m[3], m[4], m[5]);
    }
    if (mask & DXP_PORT_ATTR_STP_STATE_MASK)
        sal_printf("STP(%s) ", name_of(kStpNames, info.stp_state));
    if (!tl) {
        if (mask & DXP_PORT_ATTR_DISCARD_MASK) {
            static const char *const kDisc[] = {"", "Disc(all) ", "Disc(untagged) ",
                                                "Disc(tagged) "};
            sal_printf("%s",
                       info.discard >= 0 && info.discard <= 3 ? kDisc[info.discard] : "Disc(?) ");
        }
        if (mask & kAttrLearn) {
            sal_printf("Lrn(");
            const char *sep = "";
            static const char *const kLearn[] = {"ARL", "CPU", "FWD"};
            for (int b = 0; b < 3; b++) {
                if (info.learn & (1u << b)) {
                    sal_printf("%s%s", sep, kLearn[b]);
                    sep = ",";
                }
            }
            sal_printf("%s) ", (info.learn & 7) == 0 ? "disc" : "");
        }
        if (mask & DXP_PORT_ATTR_UNTAG_PRI_MASK) {
            if (info.untagged_priority < 0)
                sal_printf("UtPri(off) ");
            else
                sal_printf("UtPri(%d) ", info.untagged_priority);
        }
        if (mask & kAttrPfm)
            sal_printf("Pfm(%c) ", info.pfm >= 0 && info.pfm <= 2 ? "ABC"[info.pfm] : '?');
    }
    if ((mask & DXP_PORT_ATTR_INTERFACE_MASK) && info.interface >= 0 && info.interface < 9)
        sal_printf("IF(%s) ", name_of(kInterfaceNames, info.interface));
    if ((mask & DXP_PORT_ATTR_PHY_MASTER_MASK) && info.phy_master >= 0 && info.phy_master < 3)
        sal_printf("PH(%s) ", kPhyMasterNames[info.phy_master]);
    if (mask & DXP_PORT_ATTR_LOOPBACK_MASK) {
        if (info.loopback == 2) sal_printf("LB(phy)");
        if (info.loopback == 1) sal_printf("LB(mac)");
    }
    sal_printf("\n");
}

// Attributes the family's selective set leaves out: learn and the station
// address have calls of their own; the others cannot be set on this family.
int set_extras(int unit, int port, const dxp_port_info &info, uint32_t set_mask) {
    if (set_mask & (kAttrVlanFilter | kAttrPfm | kAttrEncap)) return DXP_E_UNAVAIL;
    int rv = DXP_E_NONE;
    if ((set_mask & kAttrLearn) && (rv = dxp_port_learn_set(unit, port, info.learn)) < 0) return rv;
    if (set_mask & kAttrStationMac) rv = dxp_port_pause_addr_set(unit, port, info.pause_mac);
    return rv;
}

int port_show(int unit, const char *cmd, soc_pbmp_t pbmp, uint32_t get_mask) {
    PortClass classes[4];
    port_classes(unit, classes);
    // Ports of no listed class (the CPU port) have no status lines: no header.
    bool listed = false;
    for (const PortClass &c : classes)
        listed = listed || !soc_pbmp_is_null(pbmp_and(pbmp, *c.bitmap));
    if (!listed) return CMD_OK;
    sal_printf("%s: Status (* indicates PHY link up)\n", cmd);
    for (const PortClass &c : classes) {
        for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
            if (!soc_pbmp_member(pbmp, port) || !soc_pbmp_member(*c.bitmap, port)) continue;
            dxp_port_info info{};
            info.action_mask = get_mask | kGetAlways;
            if (c.tl) info.action_mask &= ~kTlClear;
            int rv = dxp_port_selective_get(unit, port, &info);
            if (rv < 0) {
                sal_printf("Error: Could not get port %s information: %s\n", port_name(unit, port),
                           errmsg(rv));
                return CMD_FAIL;
            }
            print_status_line(unit, port, c.tl, info);
        }
    }
    return CMD_OK;
}

// The values PORT parsed, kept between commands.
dxp_port_info given;

// Folds the parsed values into a port's record; false after the message.
bool merge(const dxp_port_info &cmd, uint32_t set_mask, dxp_port_info *port) {
    dxp_port_info want = cmd;
    if ((set_mask & DXP_PORT_ATTR_SPEED_MASK) && want.speed == 0) want.speed = port->speed_max;
    if (set_mask & DXP_PORT_ATTR_AUTONEG_MASK) port->autoneg = want.autoneg;
    if (set_mask & DXP_PORT_ATTR_ENABLE_MASK) port->enable = want.enable;
    if (set_mask & DXP_PORT_ATTR_STP_STATE_MASK) port->stp_state = want.stp_state;

    constexpr uint32_t kLinkBits = DXP_PORT_ATTR_SPEED_MASK | DXP_PORT_ATTR_DUPLEX_MASK |
                                   kPauseBits | DXP_PORT_ATTR_AUTONEG_MASK;
    if (!port->autoneg) {
        if (set_mask & DXP_PORT_ATTR_SPEED_MASK) port->speed = want.speed;
        if (set_mask & DXP_PORT_ATTR_DUPLEX_MASK) port->duplex = want.duplex;
        if (set_mask & DXP_PORT_ATTR_PAUSE_TX_MASK) port->pause_tx = want.pause_tx;
        if (set_mask & DXP_PORT_ATTR_PAUSE_RX_MASK) port->pause_rx = want.pause_rx;
    } else if ((set_mask & kLinkBits) != 0 || set_mask == 0) {
        // Under auto-negotiation the values become the advertisement.
        const uint32_t cur = port->local_advert;
        int speed = speed_of_ability(cur);
        int duplex = (cur & kAbilityFullDuplex) != 0;
        int tx = (cur & kAbilityPauseTx) != 0;
        int rx = (cur & kAbilityPauseRx) != 0;
        if (set_mask & DXP_PORT_ATTR_SPEED_MASK) speed = want.speed;
        if (set_mask & DXP_PORT_ATTR_DUPLEX_MASK) duplex = want.duplex;
        if (set_mask & DXP_PORT_ATTR_PAUSE_TX_MASK) tx = want.pause_tx;
        if (set_mask & DXP_PORT_ATTR_PAUSE_RX_MASK) rx = want.pause_rx;
        uint32_t advert = port->ability;
        if (!duplex) advert &= ~kAbilityFullDuplex;
        if (speed < 1000) advert &= ~kAbility1000;
        if (speed < 100) advert &= ~kAbility100;
        if (tx != rx && !(port->ability & kAbilityPauseAsym)) {
            sal_printf("port parse: Error: Asymmetrical pause not available\n");
            return false;
        }
        if (!tx) advert &= ~kAbilityPauseTx;
        if (!rx) advert &= ~kAbilityPauseRx;
        port->local_advert = advert;
        port->action_mask |= DXP_PORT_ATTR_LOCAL_ADVERT_MASK;
    }
    if (set_mask & kAttrStationMac) std::memcpy(port->pause_mac, want.pause_mac, 6);
    if (set_mask & DXP_PORT_ATTR_LINKSCAN_MASK) port->linkscan = want.linkscan;
    if (set_mask & kAttrLearn) port->learn = want.learn;
    if (set_mask & DXP_PORT_ATTR_DISCARD_MASK) port->discard = want.discard;
    if (set_mask & kAttrVlanFilter) port->vlanfilter = want.vlanfilter;
    if (set_mask & DXP_PORT_ATTR_UNTAG_PRI_MASK) port->untagged_priority = want.untagged_priority;
    if (set_mask & kAttrPfm) port->pfm = want.pfm;
    if (set_mask & DXP_PORT_ATTR_PHY_MASTER_MASK) port->phy_master = want.phy_master;
    if (set_mask & DXP_PORT_ATTR_INTERFACE_MASK) port->interface = want.interface;
    if (set_mask & DXP_PORT_ATTR_LOOPBACK_MASK) port->loopback = want.loopback;
    if (set_mask & kAttrEncap) port->encap_mode = want.encap_mode;
    return true;
}

// The one speed a fibre runs: 1000BASE-X, or 100BASE-FX when the port's
// abilities lack gigabit.
int fibre_speed(const dxp_port_info &info) {
    return (info.ability & kAbility1000) == 0 && (info.ability & kAbility100) != 0 ? 100 : 1000;
}

// Speed and duplex are checked against what the port can run before any
// attribute is written, so that a refusal leaves the port as it was (the
// record's set order writes auto-negotiation first). A fibre medium runs
// only its one speed, full duplex.
bool link_values_fit(const char *cmd, const char *name, const dxp_port_info &info,
                     uint32_t set_mask, bool fibre) {
    const bool forced = !info.autoneg;
    const int fibre_mbps = fibre_speed(info);
    if ((set_mask & DXP_PORT_ATTR_SPEED_MASK) && forced) {
        const uint32_t needed = info.speed == 10     ? kAbility10
                                : info.speed == 100  ? kAbility100
                                : info.speed == 1000 ? kAbility1000
                                                     : 0;
        if ((fibre && info.speed != fibre_mbps) || (needed != 0 && (info.ability & needed) == 0)) {
            sal_printf("%s: Error: Port %s cannot run %d Mb/s\n", cmd, name, info.speed);
            return false;
        }
    }
    if ((set_mask & DXP_PORT_ATTR_SPEED_MASK) && fibre && !forced && given.speed != 0 &&
        given.speed != fibre_mbps) {
        sal_printf("%s: Error: Port %s cannot run %d Mb/s\n", cmd, name, given.speed);
        return false;
    }
    // A cap below every speed the port runs would advertise none, and the
    // port would never link.
    constexpr uint32_t kSpeeds =
        kAbility10 | kAbility100 | kAbility1000 | kAbility2500 | kAbility3000 | kAbility10000;
    if ((set_mask & (DXP_PORT_ATTR_SPEED_MASK | DXP_PORT_ATTR_DUPLEX_MASK)) && !forced &&
        (info.action_mask & DXP_PORT_ATTR_LOCAL_ADVERT_MASK) &&
        (info.local_advert & kSpeeds) == 0) {
        char what[48];
        std::snprintf(
            what, sizeof what, "%s%s%s", (set_mask & DXP_PORT_ATTR_SPEED_MASK) ? "SPeed=" : "",
            (set_mask & DXP_PORT_ATTR_SPEED_MASK) ? std::to_string(given.speed).c_str() : "",
            (set_mask & DXP_PORT_ATTR_DUPLEX_MASK) && !given.duplex ? " FullDuplex=False" : "");
        sal_printf("%s: Error: Port %s runs no speed that %s would advertise; nothing changed\n",
                   cmd, name, what[0] == ' ' ? what + 1 : what);
        return false;
    }
    if ((set_mask & DXP_PORT_ATTR_DUPLEX_MASK) && forced) {
        constexpr uint32_t kHalf = 0x15, kFull = 0x2a;
        const uint32_t needed = info.duplex ? kFull : kHalf;
        const bool known = (info.ability & (kHalf | kFull)) != 0;
        if ((fibre && !info.duplex) || (known && (info.ability & needed) == 0)) {
            sal_printf("%s: Error: Port %s cannot run %s duplex\n", cmd, name,
                       info.duplex ? "full" : "half");
            return false;
        }
    }
    return true;
}

// Forced pause is the MAC's alone: a MAC that keeps one flag for both
// directions cannot pause one way only.
bool pause_fits(const char *cmd, int unit, int port, const dxp_port_info &info, uint32_t set_mask) {
    if (!(set_mask & kPauseBits) || info.autoneg || (info.pause_tx != 0) == (info.pause_rx != 0))
        return true;
    uint32_t mac = 0;
    if (DRV_SERVICES(unit)->port_get(unit, port, PROP_MAC_ABILITY, &mac) >= 0 &&
        (mac & kAbilityPauseAsym))
        return true;
    sal_printf("%s: Error: Port %s cannot pause in one direction only\n", cmd,
               port_name(unit, port));
    return false;
}

// Puts back the attributes read before a set that failed part-way; under
// auto-negotiation speed, duplex and pause are not forced back.
void restore(int unit, int port, dxp_port_info before) {
    if (before.autoneg)
        before.action_mask &= ~(DXP_PORT_ATTR_SPEED_MASK | DXP_PORT_ATTR_DUPLEX_MASK | kPauseBits);
    dxp_port_selective_set(unit, port, &before);
}

// A speed the ability bits name, or 0 for the port's highest: any other
// (a negative one too) would clear the bits of the speeds above it.
bool speed_known(int speed) {
    for (int known : {0, 10, 100, 1000, 2500, 3000, 10000})
        if (speed == known) return true;
    return false;
}

int port_set(int unit, const char *cmd, soc_pbmp_t pbmp, uint32_t set_mask) {
    if ((set_mask & DXP_PORT_ATTR_SPEED_MASK) && !speed_known(given.speed)) {
        sal_printf("%s: Error: Invalid speed %d (0, 10, 100, 1000, 2500, 3000 or 10000)\n", cmd,
                   given.speed);
        return CMD_FAIL;
    }
    // The chip's answer to a priority past its eight would name neither.
    if ((set_mask & DXP_PORT_ATTR_UNTAG_PRI_MASK) &&
        (given.untagged_priority < 0 || given.untagged_priority > 7)) {
        sal_printf("%s: Error: PRIOrity=%d is not 0 to 7; nothing changed\n", cmd,
                   given.untagged_priority);
        return CMD_FAIL;
    }
    if ((set_mask & DXP_PORT_ATTR_LINKSCAN_MASK) && given.linkscan >= 3) given.linkscan -= 3;
    // Read, merge and write back as one step: a change made meanwhile by the
    // web or SNMP is not overwritten with what was read before it.
    DxpUnitLock api(unit);
    static dxp_port_info records[SOC_MAX_NUM_PORTS];
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (!soc_pbmp_member(pbmp, port)) continue;
        records[port] = dxp_port_info{};
        // The merge needs the port's autoneg and advertisement as well.
        records[port].action_mask =
            set_mask | DXP_PORT_ATTR_AUTONEG_MASK | DXP_PORT_ATTR_LOCAL_ADVERT_MASK;
        int rv = dxp_port_selective_get(unit, port, &records[port]);
        if (rv < 0) {
            sal_printf("%s: Error: Could not get port %s information: %s\n", cmd,
                       port_name(unit, port), errmsg(rv));
            return CMD_FAIL;
        }
    }
    const soc_pbmp_t &ge = SOC_CONTROL(unit)->ge.bitmap;
    // Every port is checked before any changes: a line that one port
    // refuses changes none, and names each port that refused.
    static dxp_port_info befores[SOC_MAX_NUM_PORTS];
    int result = CMD_OK;
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (!soc_pbmp_member(pbmp, port)) continue;
        dxp_port_info &info = records[port];
        info.action_mask = set_mask;
        const char *name = port_name(unit, port);
        int rv = dxp_port_speed_max(unit, port, &given.speed_max);
        if (rv < 0) {
            sal_printf("port parse: Error: Could not get port %s max speed: %s\n", name,
                       errmsg(rv));
            result = CMD_FAIL;
            continue;
        }
        info.speed_max = given.speed_max;
        if ((set_mask & DXP_PORT_ATTR_SPEED_MASK) && given.speed > info.speed_max) {
            sal_printf("%s: Error: Port %s cannot run %d Mb/s\n", cmd, name, given.speed);
            result = CMD_FAIL;
            continue;
        }
        if ((rv = dxp_port_ability_get(unit, port, &info.ability)) < 0) {
            sal_printf("port parse: Error: Could not get port %s ability: %s\n", name, errmsg(rv));
            result = CMD_FAIL;
            continue;
        }
        if (set_mask & (kAttrVlanFilter | kAttrPfm | kAttrEncap)) {
            sal_printf("%s: Error: Could not set port %s information: %s\n", cmd, name,
                       errmsg(DXP_E_UNAVAIL));
            result = CMD_FAIL;
            continue;
        }
        dxp_port_info &before = befores[port];
        before = info;
        before.action_mask |= DXP_PORT_ATTR_AUTONEG_MASK | DXP_PORT_ATTR_LOCAL_ADVERT_MASK;
        if (!merge(given, set_mask, &info)) {
            sal_printf("%s: Error: Could not parse port %s info: %s\n", cmd, name,
                       errmsg(DXP_E_PARAM));
            result = CMD_FAIL;
            continue;
        }
        // Negotiating, they are the advertisement: the MAC runs what the
        // link resolves.
        if (info.autoneg)
            info.action_mask &=
                ~(DXP_PORT_ATTR_SPEED_MASK | DXP_PORT_ATTR_DUPLEX_MASK | kPauseBits);
        bool fibre = false;
        if (soc_pbmp_member(ge, port)) {
            int medium = 0;
            fibre = dxp_port_medium_get(unit, port, &medium) >= 0 && medium == 2;
            info.medium = fibre ? 2 : 1;
        }
        if (!link_values_fit(cmd, name, info, set_mask, fibre) ||
            !pause_fits(cmd, unit, port, info, set_mask)) {
            result = CMD_FAIL;
            continue;
        }
        if (fibre) {
            info.duplex = 1;
            info.speed = fibre_speed(info);
            info.speed_max = info.speed;
        }
    }
    if (result != CMD_OK) return result;
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (!soc_pbmp_member(pbmp, port)) continue;
        dxp_port_info &info = records[port];
        int rv = dxp_port_selective_set(unit, port, &info);
        if (rv >= 0) rv = set_extras(unit, port, info, set_mask);
        if (rv >= 0) continue;
        sal_printf("%s: Error: Could not set port %s information: %s\n", cmd, port_name(unit, port),
                   errmsg(rv));
        // The ports set before it go back too.
        for (int back = port; back >= 0; back--)
            if (soc_pbmp_member(pbmp, back)) restore(unit, back, befores[back]);
        return CMD_FAIL;
    }
    return result;
}

struct PortKey {
    const char *name;
    uint32_t type;
    void *value;
    const char *const *choices;
    uint32_t attr;
};

// Consumes every word left; PORT ends quietly on an empty port set.
void consume_all(args_t *a) {
    while (ARG_GET(a) != nullptr) {
    }
}

// The guard and the optional port bitmap of PortStat and PortRate (default:
// every port of the set), within the set. 1 with ports, else the command's
// result.
int optional_ports(int unit, args_t *a, soc_port_list_t soc_control_t::*set, soc_pbmp_t *pbmp) {
    const char *cmd = ARG_CMD(a);
    if (!ports_ready(cmd, unit)) return CMD_FAIL;
    const soc_pbmp_t &limit = (SOC_CONTROL(unit)->*set).bitmap;
    *pbmp = limit;
    if (const char *word = ARG_GET(a); word != nullptr && parse_pbmp(unit, word, pbmp) < 0) {
        sal_printf("%s: Error: unrecognized port bitmap: %s\n", cmd, word);
        return CMD_FAIL;
    }
    *pbmp = pbmp_and(*pbmp, limit);
    if (!soc_pbmp_is_null(*pbmp)) return 1;
    sal_printf("No ports specified.\n");
    return CMD_OK;
}

}  // namespace

int cmd_port(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (!ports_ready(cmd, unit)) return CMD_FAIL;
    const char *word = ARG_GET(a);
    if (word == nullptr) return CMD_USAGE;
    soc_pbmp_t pbmp{};
    if (parse_pbmp(unit, word, &pbmp) < 0) {
        sal_printf("%s: Error: unrecognized port bitmap: %s\n", cmd, word);
        return CMD_FAIL;
    }
    pbmp = pbmp_and(pbmp, SOC_CONTROL(unit)->e.bitmap);
    if (soc_pbmp_is_null(pbmp)) {
        consume_all(a);
        return CMD_OK;
    }
    if (ARG_CNT(a) == 0) return port_show(unit, cmd, pbmp, DXP_PORT_ATTR_ALL_MASK);
    // A self-test's restore would undo a change made under it.
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (soc_pbmp_member(pbmp, port) && port_reserved(unit, port)) {
            sal_printf("%s: Error: port %s: %s\n", cmd, SOC_CONTROL(unit)->port_name[port],
                       port_reserve_held_text(unit, port));
            consume_all(a);
            return CMD_FAIL;
        }
    }

    const char *next = ARG_CUR(a);
    auto is = [next](const char *w) { return sal_strcasecmp(next, w) == 0; };
    if (is("detach") || is("probe") || is("attach")) {
        ARG_GET(a);
        dxp_pbmp_t in{{pbmp.w[0], pbmp.w[1]}}, out{};
        const bool detach = sal_strcasecmp(next, "detach") == 0;
        if (detach)
            dxp_port_detach(unit, in, &out);
        else
            dxp_port_probe(unit, in, &out);
        char hex[24];
        shr_format_uint64_hex(out.w[0], out.w[1], hex);
        sal_printf("%s port bitmap %s\n", detach ? "Detached" : "Probed", hex);
        return CMD_OK;
    }
    if (is("enable") || is("disable")) {
        ARG_GET(a);
        const int enable = sal_strcasecmp(next, "enable") == 0;
        for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
            if (!soc_pbmp_member(pbmp, port)) continue;
            if (int rv = dxp_port_enable_set(unit, port, enable); rv < 0) {
                sal_printf("%s: Error: Could not %s port %s: %s\n", cmd, next,
                           SOC_CONTROL(unit)->port_name[port], errmsg(rv));
                return CMD_FAIL;
            }
        }
        return CMD_OK;
    }

    const bool prompt = std::strcmp(next, "=") == 0;
    uint32_t station_listing = PQ_MAC | PQ_DFL | PQ_NO_EQ;
    if (prompt) {
        if (ARG_CNT(a) != 1) return CMD_USAGE;
        int lowest = 0;
        while (!soc_pbmp_member(pbmp, lowest))
            lowest++;
        // Fields the port's record does not fill show no value of an
        // earlier command.
        given = dxp_port_info{};
        if (dxp_port_info_get(unit, lowest, &given) < 0) {
            sal_printf("%s: Error: Failed to get port info\n", cmd);
            return CMD_FAIL;
        }
        // A port without a station address has no current one to offer.
        if (!(given.action_mask & kAttrStationMac)) station_listing |= PQ_IGNORE;
    }
    given.vlanfilter = 0;
    const uint32_t dfl = PQ_DFL | PQ_NO_EQ;
    const PortKey keys[] = {
        {"Enable", PQ_BOOL | dfl, &given.enable, nullptr, DXP_PORT_ATTR_ENABLE_MASK},
        {"AutoNeg", PQ_BOOL | dfl, &given.autoneg, nullptr, DXP_PORT_ATTR_AUTONEG_MASK},
        {"SPeed", PQ_INT | dfl, &given.speed, nullptr, DXP_PORT_ATTR_SPEED_MASK},
        {"FullDuplex", PQ_BOOL | dfl, &given.duplex, nullptr, DXP_PORT_ATTR_DUPLEX_MASK},
        {"LinkScan", PQ_MULTI | dfl, &given.linkscan, kLinkscanNames, DXP_PORT_ATTR_LINKSCAN_MASK},
        {"LeaRN", PQ_INT | dfl, &given.learn, nullptr, kAttrLearn},
        {"DISCard", PQ_MULTI | dfl, &given.discard, kDiscardNames, DXP_PORT_ATTR_DISCARD_MASK},
        {"VlanFilter", PQ_BOOL | PQ_NO_EQ, &given.vlanfilter, nullptr, kAttrVlanFilter},
        {"PRIOrity", PQ_INT | dfl, &given.untagged_priority, nullptr, DXP_PORT_ATTR_UNTAG_PRI_MASK},
        {"PortFilterMode", PQ_INT | dfl, &given.pfm, nullptr, kAttrPfm},
        {"PHymaster", PQ_MULTI | dfl, &given.phy_master, kPhyMasterNames,
         DXP_PORT_ATTR_PHY_MASTER_MASK},
        {"InterFace", PQ_MULTI | dfl, &given.interface, kInterfaceNames,
         DXP_PORT_ATTR_INTERFACE_MASK},
        {"LoopBack", PQ_MULTI | dfl, &given.loopback, kLoopbackNames, DXP_PORT_ATTR_LOOPBACK_MASK},
        {"SpanningTreeProtocol", PQ_MULTI | dfl, &given.stp_state, kStpNames,
         DXP_PORT_ATTR_STP_STATE_MASK},
        {"STationADdress", station_listing, given.pause_mac, nullptr, kAttrStationMac},
        {"TxPAUse", PQ_BOOL | dfl, &given.pause_tx, nullptr, DXP_PORT_ATTR_PAUSE_TX_MASK},
        {"RxPAUse", PQ_BOOL | dfl, &given.pause_rx, nullptr, DXP_PORT_ATTR_PAUSE_RX_MASK},
        {"ENCapsulation", PQ_MULTI | PQ_DFL | PQ_IGNORE, &given.encap_mode, kEncapNames,
         kAttrEncap},
    };
    // Values outside a list would index past it in the prompt.
    auto clamp = [](int *v, int count) {
        if (*v < 0 || *v >= count) *v = 0;
    };
    clamp(&given.linkscan, 5);
    clamp(&given.discard, 4);
    clamp(&given.phy_master, 4);
    clamp(&given.interface, 8);
    clamp(&given.loopback, 3);
    clamp(&given.stp_state, 5);
    clamp(&given.encap_mode, 4);

    parse_table_t pt;
    parse_table_init(unit, &pt);
    for (const PortKey &k : keys)
        parse_table_add(&pt, k.name, k.type, nullptr, k.value, k.choices);
    char ports[256];
    format_pbmp(unit, ports, sizeof ports, pbmp);
    pt.refused_for = ports;
    int taken = parse_table_args(a, &pt);
    if (taken < 0) {
        parse_table_done(&pt);
        return CMD_FAIL;
    }
    if (ARG_CNT(a) > 0) {
        sal_printf("%s: Unknown argument %s\n", cmd, ARG_CUR(a));
        parse_table_done(&pt);
        return CMD_FAIL;
    }
    uint32_t set_mask = 0, get_mask = 0;
    for (int i = 0; !prompt && i < pt.count; i++) {
        const uint32_t type = pt.entries[i].type;
        if (!(type & PQ_PARSED)) continue;
        if (type & PQ_NO_EQ_OPT)
            get_mask |= keys[i].attr;
        else
            set_mask |= keys[i].attr;
    }
    parse_table_done(&pt);
    if (set_mask & kPauseBits) set_mask |= kPauseBits;
    if (get_mask & kPauseBits) get_mask |= kPauseBits;

    if (get_mask != 0 && set_mask != 0) {
        soc_cm_print("%s: Cannot get and set port properties in one command\n", cmd);
        return CMD_FAIL;
    }
    if (get_mask != 0) return port_show(unit, cmd, pbmp, get_mask);
    return port_set(unit, cmd, pbmp, set_mask);
}

int cmd_port_stat(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    soc_pbmp_t pbmp{};
    if (int rv = optional_ports(unit, a, &soc_control_t::port, &pbmp); rv <= 0) return rv;
    static dxp_port_info records[SOC_MAX_NUM_PORTS];
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (!soc_pbmp_member(pbmp, port)) continue;
        records[port] = dxp_port_info{};
        records[port].action_mask = DXP_PORT_ATTR_ALL_MASK;
        int rv = dxp_port_selective_get(unit, port, &records[port]);
        if (rv < 0) {
            sal_printf("%s: Error: Could not get port %s information: %s\n", cmd,
                       port_name(unit, port), errmsg(rv));
            return CMD_FAIL;
        }
    }
    const char *hdr = "%4s  %3s %4s    %6s  %4s  %4s %7s   %5s  %6s  %3s  %5s\n";
    sal_printf(hdr, " ", " ", " ", "speed/", "link", "auto", " STP ", " ", " ", "lrn", "inter");
    sal_printf(hdr, "port", "Ena", "link", "duplex", "scan", "neg?", "state", "pause", "discrd",
               "ops", "face");
    PortClass classes[4];
    port_classes(unit, classes);
    for (const PortClass &c : classes) {
        for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
            if (!soc_pbmp_member(pbmp, port) || !soc_pbmp_member(*c.bitmap, port)) continue;
            const dxp_port_info &info = records[port];
            char speed[16];
            speed_text(speed, sizeof speed, info.speed);
            sal_printf("%4s  %3s %4s  ", port_name(unit, port), info.enable ? "En" : "DIS",
                       info.linkstatus ? " up " : "down");
            sal_printf("%5s ", speed);
            sal_printf("%2s ", info.duplex ? "FD" : "HD");
            sal_printf(" %4s  ", name_of(kLinkscanNames, info.linkscan));
            sal_printf("%4s  ", info.autoneg ? " Yes" : " No ");
            sal_printf("%7s  ", name_of(kStpNames, info.stp_state));
            sal_printf("%2s ", info.pause_tx ? "TX" : " ");
            sal_printf("%2s ", info.pause_rx ? "RX" : " ");
            sal_printf("%6s   ", name_of(kDiscardNames, info.discard));
            sal_printf("%3s ", "FAC");
            if (info.interface >= 0 && info.interface < 9)
                sal_printf("%6s  ", name_of(kInterfaceNames, info.interface));
            sal_printf("\n");
        }
    }
    return CMD_OK;
}

int cmd_port_rate(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    soc_pbmp_t pbmp{};
    if (int rv = optional_ports(unit, a, &soc_control_t::e, &pbmp); rv <= 0) return rv;
    bool ingress = true, egress = true;
    if (const char *type = ARG_GET(a); type != nullptr) {
        const size_t len = std::strlen(type);
        ingress = len <= 7 && sal_strncasecmp(type, "ingress", len) == 0;
        egress = len <= 6 && sal_strncasecmp(type, "egress", len) == 0;
        if (!ingress && !egress) {
            sal_printf("%s: Error: unrecognized port rate type: %s\n", cmd, type);
            return CMD_FAIL;
        }
    }
    bool set = false;
    int rate = 0, burst = 0;
    if (const char *w = ARG_GET(a); w != nullptr) {
        const char *b = ARG_GET(a);
        if (b == nullptr) {
            sal_printf("%s: Error: missing port burst size\n", cmd);
            return CMD_FAIL;
        }
        // A word that is no number is never read as 0, nor a negative one as
        // a huge one.
        for (const auto &[name, word] : {std::pair{"rate", w}, std::pair{"burst", b}}) {
            if (!parse_is_integer(word) || parse_integer(word) < 0) {
                sal_printf("%s: Error: %s %s is not a count of kbits; nothing changed\n", cmd, name,
                           word);
                return CMD_FAIL;
            }
        }
        rate = parse_integer(w);
        burst = parse_integer(b);
        set = true;
    }
    // The unit's own chip answers which ports have meters; the chips differ.
    uint32_t metered[2] = {};
    if (DRV_SERVICES(unit)->dev_prop_get(unit, kPropPortBitmap, metered) >= 0) {
        pbmp.w[0] &= metered[0];
        pbmp.w[1] &= metered[1];
    } else {
        pbmp = soc_pbmp_t{};
    }

    if (set) {
        // A meter on a tested port would change its test's frames: the
        // command is refused whole, before any port changes, and no
        // self-test starts half-way through the ports.
        PortReserveFreeze tests;
        if (feature_cmds::refuse_held(cmd, unit, pbmp)) return CMD_FAIL;
        if (rate == 0 || burst == 0) rate = burst = 0;
        const auto r = static_cast<uint32_t>(rate), b = static_cast<uint32_t>(burst);
        // A limit a port cannot run is refused on every port, as the pages
        // and a settings load refuse it, before any port changes.
        for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
            if (!soc_pbmp_member(pbmp, port)) continue;
            if (const char *refused =
                    dxp_port_rate_refusal(unit, port, port_name(unit, port), !ingress, r, b)) {
                sal_printf("%s: Error: %s\n", cmd, refused);
                return CMD_FAIL;
            }
        }
        for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
            if (!soc_pbmp_member(pbmp, port)) continue;
            int rv = ingress ? dxp_port_rate_ingress_set(unit, port, r, b)
                             : dxp_port_rate_egress_set(unit, port, r, b);
            if (rv < 0) {
                sal_printf("%s: Error: dxp_port_rate_%s_set() failed: %s\n", cmd,
                           ingress ? "ingress" : "egress", errmsg(rv));
                return CMD_FAIL;
            }
        }
        // Values between two of the meter's steps run as the nearest ones,
        // which the pages and RATE say too.
        for (int port = 0; port < SOC_MAX_NUM_PORTS && r != 0; port++) {
            if (!soc_pbmp_member(pbmp, port)) continue;
            uint32_t ran = 0, ran_burst = 0;
            const int rv = ingress ? dxp_port_rate_ingress_get(unit, port, &ran, &ran_burst)
                                   : dxp_port_rate_egress_get(unit, port, &ran, &ran_burst);
            if (rv >= 0 && (ran != r || ran_burst != b))
                sal_printf(
                    "%s: rate %u kbps, burst %u kbits run as %u kbps, burst %u kbits, the "
                    "nearest steps the ports have\n",
                    cmd, r, b, ran, ran_burst);
            break;
        }
        return CMD_OK;
    }
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (!soc_pbmp_member(pbmp, port)) continue;
        const char *name = port_name(unit, port);
        bool prefixed = false;
        uint32_t kbits = 0, kburst = 0;
        if (ingress) {
            int rv = dxp_port_rate_ingress_get(unit, port, &kbits, &kburst);
            prefixed = true;
            if (rv < 0) {
                sal_printf("%4s:\tIngress meter:  %s.\n", name, errmsg(rv));
                continue;
            }
            if (kbits == 0)
                sal_printf("%4s:\tIngress meter:  value not set yet.\n", name);
            else if (kbits < 64)
                sal_printf("%4s:\tIngress meter: ? kbps ? kbits max burst.\n", name);
            else
                sal_printf("%4s:\tIngress meter: %8d kbps %8d kbits max burst.\n", name,
                           static_cast<int>(kbits), static_cast<int>(kburst));
        }
        if (egress) {
            int rv = dxp_port_rate_egress_get(unit, port, &kbits, &kburst);
            if (rv < 0) {
                sal_printf("\tEgress meter:  %s.\n", errmsg(rv));
                continue;
            }
            if (!prefixed) sal_printf("%4s:", name);
            if (kbits == 0)
                sal_printf("\tEgress meter:  value not set yet.\n");
            else
                sal_printf("\tEgress meter:  %8d kbps %8d kbits max burst.\n",
                           static_cast<int>(kbits), static_cast<int>(kburst));
        }
    }
    return CMD_OK;
}
