// The monitor's physical-side commands: PHY reads and writes PHY registers,
// CABLEdiag runs the cable test, LINKscan shows and sets the link scan and
// COMBO works on the two media of copper/fibre ports.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "diag_parse.h"
#include "drv_if.h"
#include "dxp.h"
#include "dxp_error.h"
#include "dxp_tarn.h"
#include "feature_cmds.h"
#include "phy.h"
#include "sal.h"
#include "shell_cmds.h"
#include "shr.h"
#include "soc_control.h"
#include "soc_miim.h"
#include "soc_property.h"

namespace {

constexpr uint8_t kNoPhy = 0xff;
constexpr int kRegCount = 32;
constexpr int kDefaultLinkscanUsec = 250000;
constexpr int kMediumCopper = 1, kMediumFiber = 2, kMediumBoth = 3;
constexpr int kComboPorts = 53;

struct DevAd {
    int id;
    const char *name;
};
constexpr DevAd kDevAds[] = {{1, "DEV_PMA_PMD"}, {3, "DEV_PCS"}, {4, "DEV_PHYXS"}};

const char *const kCableStates[] = {"Ok", "Open", "Short", "Open/Short", "Crosstalk", "Unknown"};
const char *const kMediumNames[] = {"None", "Copper", "Fiber"};
const char *const kMasterNames[] = {"Slave", "Master", "Auto", "None"};

template <size_t N>
const char *name_of(const char *const (&names)[N], int index) {
    return index >= 0 && index < static_cast<int>(N) ? names[index] : "?";
}

const char *port_name(int unit, int port) {
    return SOC_CONTROL(unit)->port_name[port];
}

soc_pbmp_t pbmp_and(soc_pbmp_t a, const soc_pbmp_t &b) {
    a.w[0] &= b.w[0];
    a.w[1] &= b.w[1];
    return a;
}

dxp_pbmp_t to_dxp(const soc_pbmp_t &b) {
    return dxp_pbmp_t{{b.w[0], b.w[1]}};
}

const char *hex_of(const soc_pbmp_t &b, char *buf) {
    return shr_format_uint64_hex(diag_pbmp_bits(b), buf);
}

// The port bitmap word; false after the message.
bool read_pbmp(int unit, const char *cmd, const char *word, soc_pbmp_t *pbmp) {
    if (parse_pbmp(unit, word, pbmp) == 0) return true;
    sal_printf("%s: ERROR: unrecognized port bitmap: %s\n", cmd, word);
    return false;
}

// ---------------------------------------------------------------- PHY

int miim_read(int unit, uint8_t addr, uint8_t reg, uint16_t *value) {
    return DRV_SERVICES(unit)->miim_read(unit, addr, reg, value);
}

int miim_write(int unit, uint8_t addr, uint8_t reg, uint16_t value) {
    return DRV_SERVICES(unit)->miim_write(unit, addr, reg, value);
}

int phy_info(int unit) {
    const soc_control_t *s = SOC_CONTROL(unit);
    sal_printf("Phy mapping dump:\n");
    sal_printf("%10s %5s %5s %5s %5s %16s %10s\n", "port", "id0", "id1", "addr", "iaddr", "name",
               "timeout");
    for (int port = s->all.min; port >= 0 && port <= s->all.max; port++) {
        if (!soc_pbmp_member(s->all.bitmap, port)) continue;
        sal_printf("%5s(%3d) %5x %5x %5x %5x %16s %10d\n", port_name(unit, port), port,
                   soc_phy_id0_get(unit, port), soc_phy_id1_get(unit, port),
                   soc_phy_addr_get(unit, port), soc_phy_addr_int_get(unit, port),
                   soc_phy_name_get(unit, port),
                   static_cast<int>(soc_phy_an_timeout_get(unit, port)));
    }
    return CMD_OK;
}

// A number word of at most max, read as sal_ctoi reads it.
bool number_within(const char *word, long max) {
    if (word == nullptr) return true;
    bool binary = word[0] == '0' && (word[1] == 'b' || word[1] == 'B');
    const char *digits = binary ? word + 2 : word;
    char *end = nullptr;
    long v = std::strtol(digits, &end, binary ? 2 : 0);
    return end != digits && *end == '\0' && v >= 0 && v <= max;
}

int phy_raw(int unit, args_t *a) {
    const char *addr_word = ARG_GET(a);
    const char *reg_word = ARG_GET(a);
    if (addr_word == nullptr || reg_word == nullptr) return CMD_USAGE;
    // Cut to the bus's widths these would reach another register or PHY.
    const char *value_word = ARG_GET(a);
    if (!number_within(addr_word, 0xff)) {
        sal_printf("PHY address %s out of range (0-255)\n", addr_word);
        return CMD_USAGE;
    }
    if (!number_within(reg_word, 31)) {
        sal_printf("PHY register %s out of range (0-31)\n", reg_word);
        return CMD_USAGE;
    }
    if (value_word != nullptr && !number_within(value_word, 0xffff)) {
        sal_printf("Value \"%s\" too large for 16-bit PHY register.\n", value_word);
        return CMD_USAGE;
    }
    auto addr = static_cast<uint8_t>(sal_ctoi(addr_word, nullptr));
    auto reg = static_cast<uint8_t>(sal_ctoi(reg_word, nullptr));
    if (value_word == nullptr) {
        uint16_t value = 0;
        if (int rv = miim_read(unit, addr, reg, &value); rv < 0) {
            sal_printf("ERROR: MII Addr %d: soc_miim_read failed: %s\n", addr,
                       feature_cmds::errmsg(rv));
            return CMD_FAIL;
        }
        sal_printf("%s\t0x%02x: 0x%04x\n", "", reg, value);
        return CMD_OK;
    }
    auto value = static_cast<uint16_t>(sal_ctoi(value_word, nullptr));
    if (int rv = miim_write(unit, addr, reg, value); rv < 0) {
        sal_printf("ERROR: MII Addr %d: soc_miim_write failed: %s\n", addr,
                   feature_cmds::errmsg(rv));
        return CMD_FAIL;
    }
    return CMD_OK;
}

// Registers 0 to 31 of one PHY (one device of a clause-45 PHY), four a line.
int phy_dump_regs(int unit, int port, uint8_t addr, const DevAd *dev) {
    for (int reg = 0; reg < kRegCount; reg++) {
        uint16_t value = 0;
        int rv = dev != nullptr ? soc_miimc45_read(unit, addr, static_cast<uint8_t>(dev->id),
                                                   static_cast<uint16_t>(reg), &value)
                                : miim_read(unit, addr, static_cast<uint8_t>(reg), &value);
        if (rv < 0) {
            sal_printf("\nERROR: Port %s: soc_miim_read failed: %s\n", port_name(unit, port),
                       feature_cmds::errmsg(rv));
            return rv;
        }
        sal_printf(dev != nullptr ? "%s\t0x%04x: 0x%04x" : "%s\t0x%02x: 0x%04x",
                   reg % 4 == 0 ? "\n" : "", reg, value);
    }
    return 0;
}

int phy_dump(int unit, int port, uint8_t addr, bool intermediate, bool c45) {
    if (intermediate)
        sal_printf("Port %s (intermediate PHY addr 0x%02x):", port_name(unit, port), addr);
    else
        sal_printf("Port %s (PHY addr 0x%02x): %s", port_name(unit, port), addr,
                   soc_phy_name_get(unit, port));
    if (c45) {
        for (const DevAd &dev : kDevAds) {
            sal_printf("\nDevAd = %d(%s)", dev.id, dev.name);
            if (phy_dump_regs(unit, port, addr, &dev) < 0) return CMD_FAIL;
        }
    } else if (phy_dump_regs(unit, port, addr, nullptr) < 0) {
        return CMD_FAIL;
    }
    sal_printf("\n");
    return CMD_OK;
}

int c45_read_one(int unit, int port, uint8_t addr, const DevAd &dev, uint16_t reg) {
    uint16_t value = 0;
    sal_printf("Port %s (PHY addr 0x%02x) DevAd %d(%s) Reg %d:", port_name(unit, port), addr,
               dev.id, dev.name, reg);
    if (int rv = soc_miimc45_read(unit, addr, static_cast<uint8_t>(dev.id), reg, &value); rv < 0) {
        sal_printf("\nERROR: Port %s: soc_miim_read failed: %s\n", port_name(unit, port),
                   feature_cmds::errmsg(rv));
        return CMD_FAIL;
    }
    sal_printf("0x%04x\n", value);
    return CMD_OK;
}

int c22_read_one(int unit, int port, uint8_t addr, uint8_t reg) {
    uint16_t value = 0;
    sal_printf("Port %s (PHY addr 0x%02x) Reg %d: ", port_name(unit, port), addr, reg);
    if (int rv = miim_read(unit, addr, reg, &value); rv < 0) {
        sal_printf("\nERROR: Port %s: soc_miim_read failed: %s\n", port_name(unit, port),
                   feature_cmds::errmsg(rv));
        return CMD_FAIL;
    }
    sal_printf("0x%04x\n", value);
    return CMD_OK;
}

// The register number and value of a PHY access fit the ports' PHYs: a
// clause-22 register is 0-31, a clause-45 one and every value 16 bits.
bool phy_words_fit(int unit, soc_pbmp_t ports, bool intermediate, const char *reg,
                   const char *third, const char *fourth) {
    for (int port = 0; port < 64; port++) {
        if (!soc_pbmp_member(ports, port)) continue;
        bool c45 = !intermediate && soc_phy_is_c45(unit, port);
        if (!number_within(reg, c45 ? 0xffff : 31)) return false;
        if (!number_within(c45 ? fourth : third, 0xffff)) return false;
    }
    return true;
}

// Register number and at most two more words on one port.
int phy_access(int unit, int port, uint8_t addr, bool c45, int reg, const char *third,
               const char *fourth) {
    if (c45) {
        if (third == nullptr) {
            for (const DevAd &dev : kDevAds)
                if (c45_read_one(unit, port, addr, dev, static_cast<uint16_t>(reg)) != CMD_OK)
                    return CMD_FAIL;
            return CMD_OK;
        }
        int id = sal_ctoi(third, nullptr);
        const DevAd *dev = nullptr;
        for (const DevAd &d : kDevAds)
            if (d.id == id) dev = &d;
        if (dev == nullptr) {
            sal_printf("\nERROR: Port %s: Invalid DevAd %d\n", port_name(unit, port), id);
            return CMD_FAIL;
        }
        if (fourth == nullptr)
            return c45_read_one(unit, port, addr, *dev, static_cast<uint16_t>(reg));
        auto value = static_cast<uint16_t>(sal_ctoi(fourth, nullptr));
        if (int rv = soc_miimc45_write(unit, addr, static_cast<uint8_t>(id),
                                       static_cast<uint16_t>(reg), value);
            rv < 0) {
            sal_printf("ERROR: Port %s: soc_miim_write failed:%s\n", port_name(unit, port),
                       feature_cmds::errmsg(rv));
            return CMD_FAIL;
        }
        return CMD_OK;
    }
    if (third == nullptr) return c22_read_one(unit, port, addr, static_cast<uint8_t>(reg));
    auto value = static_cast<uint16_t>(sal_ctoi(third, nullptr));
    if (int rv = miim_write(unit, addr, static_cast<uint8_t>(reg), value); rv < 0) {
        sal_printf("ERROR: Port %s: soc_miim_write failed: %s\n", port_name(unit, port),
                   feature_cmds::errmsg(rv));
        return CMD_FAIL;
    }
    return CMD_OK;
}

// ---------------------------------------------------------------- COMBO

std::atomic<int> combo_watch[SOC_MAX_NUM_DEVICES][kComboPorts];

void combo_medium_changed(int unit, int port, int medium, void *data) {
    const char *name = (medium >= 0 && medium <= kMediumFiber) ? kMediumNames[medium] : "?";
    sal_printf("Unit %d: %s: Active medium switched to %s\n", unit, port_name(unit, port), name);
    static_cast<std::atomic<int> *>(data)->fetch_add(1);
}

// One medium's part of the display; the result of the calls.
int combo_show_medium(int unit, int port, int medium) {
    int active = 0;
    dxp_phy_config_t cfg{};
    int rv = dxp_port_medium_get(unit, port, &active);
    if (rv >= 0) rv = dxp_port_medium_config_get(unit, port, medium, &cfg);
    if (rv < 0) return rv;
    char advert[160];
    format_ability(advert, sizeof advert, cfg.autoneg_advert, 0);
    sal_printf("%s:\t%s medium%s\n", port_name(unit, port), kMediumNames[medium],
               active == medium ? " (active)" : "");
    sal_printf("\tenable=%d preferred=%d force_speed=%d force_duplex=%d master=%s\n", cfg.enable,
               cfg.preferred, cfg.force_speed, cfg.force_duplex, name_of(kMasterNames, cfg.master));
    sal_printf("\tautoneg_enable=%d autoneg_advert=%s(0x%x)\n", cfg.autoneg_enable, advert,
               cfg.autoneg_advert);
    return rv;
}

void combo_show(int unit, const soc_pbmp_t &pbmp, int which) {
    for (int port = 0; port < 64; port++) {
        if (!soc_pbmp_member(pbmp, port)) continue;
        sal_printf("Port %s:\n", port_name(unit, port));
        int copper = DXP_E_UNAVAIL, fiber = DXP_E_UNAVAIL;
        if (which & kMediumCopper) {
            copper = combo_show_medium(unit, port, kMediumCopper);
            if (copper < 0 && copper != DXP_E_UNAVAIL)
                sal_printf("%s:\tERROR(copper): %s\n", port_name(unit, port),
                           feature_cmds::errmsg(copper));
        }
        if (which & kMediumFiber) {
            fiber = combo_show_medium(unit, port, kMediumFiber);
            if (fiber < 0 && fiber != DXP_E_UNAVAIL)
                sal_printf("%s:\tERROR(fiber): %s\n", port_name(unit, port),
                           feature_cmds::errmsg(fiber));
        }
        if (copper == DXP_E_UNAVAIL && fiber == DXP_E_UNAVAIL)
            sal_printf("%s:\tmedium info unavailable\n", port_name(unit, port));
    }
}

int combo_watch_cmd(int unit, const soc_pbmp_t &pbmp, args_t *a) {
    const char *w = ARG_GET(a);
    int turn = -1;
    if (w != nullptr) {
        if (sal_strcasecmp(w, "on") == 0)
            turn = 1;
        else if (sal_strcasecmp(w, "off") == 0)
            turn = 0;
        else
            return CMD_USAGE;
    }
    if (ARG_CNT(a) > 0) return CMD_USAGE;
    for (int port = 0; port < kComboPorts; port++) {
        if (!soc_pbmp_member(pbmp, port)) continue;
        std::atomic<int> &counter = combo_watch[unit][port];
        const char *name = port_name(unit, port);
        if (turn < 0) {
            int n = counter.load();
            if (n != 0)
                sal_printf("Port %s: Medium status change watch is  ON. Medim changed %d times\n",
                           name, n - 1);
            else
                sal_printf("Port %s: Medium status change watch is OFF.\n", name);
        } else if (turn == 1) {
            if (counter.load() == 0) {
                counter.store(1);
                if (int rv =
                        dxp_port_medium_status_register(unit, port, combo_medium_changed, &counter);
                    rv < 0) {
                    counter.store(0);
                    sal_printf("Error registerinig medium status change callback for %s: %s\n",
                               name, feature_cmds::errmsg(rv));
                    return CMD_FAIL;
                }
            }
            sal_printf("Port %s: Medium change watch is ON\n", name);
        } else {
            if (counter.load() != 0) {
                if (int rv = dxp_port_medium_status_unregister(unit, port, combo_medium_changed,
                                                               &counter);
                    rv < 0) {
                    sal_printf("Error unregisterinig medium status change callback for %s: %s\n",
                               name, feature_cmds::errmsg(rv));
                    return CMD_FAIL;
                }
                counter.store(0);
            }
            sal_printf("Port %s: Medium change watch is OFF\n", name);
        }
    }
    return CMD_OK;
}

// Options given after copper or fiber; -1 marks a value not given.
struct ComboOptions {
    int enable = -1, preferred = -1, autoneg_enable = -1, force_speed = -1, force_duplex = -1,
        master = -1;
    bool advert_given = false;
    uint32_t advert = 0;
};

int combo_parse(int unit, args_t *a, ComboOptions *o) {
    const char *w = ARG_CUR(a);
    if (w != nullptr && w[0] == '=') return CMD_USAGE;
    char *advert = nullptr;
    auto dflt = reinterpret_cast<void *>(static_cast<intptr_t>(-1));
    parse_table_t pt;
    parse_table_init(unit, &pt);
    parse_table_add(&pt, "Enable", PQ_BOOL, dflt, &o->enable, nullptr);
    parse_table_add(&pt, "PREFerred", PQ_BOOL, dflt, &o->preferred, nullptr);
    parse_table_add(&pt, "Autoneg_Enable", PQ_BOOL, dflt, &o->autoneg_enable, nullptr);
    parse_table_add(&pt, "Autoneg_Advert", PQ_STRING, nullptr, &advert, nullptr);
    parse_table_add(&pt, "Force_Speed", PQ_INT, dflt, &o->force_speed, nullptr);
    parse_table_add(&pt, "Force_Duplex", PQ_BOOL, dflt, &o->force_duplex, nullptr);
    parse_table_add(&pt, "MAster", PQ_BOOL, dflt, &o->master, nullptr);
    int rv = parse_table_args(a, &pt) < 0 || ARG_CNT(a) > 0 ? CMD_USAGE : CMD_OK;
    if (rv == CMD_OK && (pt.entries[3].type & PQ_PARSED)) {
        o->advert_given = true;
        if (parse_ability(advert, &o->advert) != 0) rv = CMD_USAGE;
    }
    parse_table_done(&pt);
    return rv;
}

int combo_set(int unit, const char *cmd, const soc_pbmp_t &pbmp, int medium,
              const ComboOptions &o) {
    for (int port = 0; port < 64; port++) {
        if (!soc_pbmp_member(pbmp, port)) continue;
        dxp_phy_config_t cfg{};
        if (int rv = dxp_port_medium_config_get(unit, port, medium, &cfg); rv < 0) {
            sal_printf("%s: port %s: Error getting medium config: %s\n", cmd, port_name(unit, port),
                       feature_cmds::errmsg(rv));
            return CMD_FAIL;
        }
        if (o.enable != -1) cfg.enable = o.enable;
        if (o.preferred != -1) cfg.preferred = o.preferred;
        if (o.autoneg_enable != -1) cfg.autoneg_enable = o.autoneg_enable;
        if (o.advert_given) cfg.autoneg_advert = o.advert;
        if (o.force_speed != -1) cfg.force_speed = o.force_speed;
        if (o.force_duplex != -1) cfg.force_duplex = o.force_duplex;
        if (o.master != -1) cfg.master = o.master;
        if (int rv = dxp_port_medium_config_set(unit, port, medium, &cfg); rv < 0) {
            sal_printf("%s: port %s: Error setting medium config: %s\n", cmd, port_name(unit, port),
                       feature_cmds::errmsg(rv));
            return CMD_FAIL;
        }
    }
    return CMD_OK;
}

}  // namespace

int cmd_phy(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (!sh_check_attached(cmd, unit) || SOC_CONTROL(unit) == nullptr) return CMD_FAIL;
    const char *w = ARG_GET(a);
    if (w == nullptr) return CMD_USAGE;
    if (sal_strcasecmp(w, "info") == 0) return phy_info(unit);
    if (sal_strcasecmp(w, "raw") == 0) return phy_raw(unit, a);
    bool intermediate = sal_strcasecmp(w, "int") == 0;
    if (intermediate && (w = ARG_GET(a)) == nullptr) return CMD_USAGE;
    soc_pbmp_t pbmp{};
    if (!read_pbmp(unit, cmd, w, &pbmp)) return CMD_FAIL;
    const soc_control_t *s = SOC_CONTROL(unit);
    soc_pbmp_t kept = pbmp_and(pbmp, s->port.bitmap);
    if (soc_pbmp_is_null(kept)) {
        sal_printf("Ports specified do not have PHY drivers.\n");
    } else if (diag_pbmp_bits(kept) != diag_pbmp_bits(pbmp)) {
        char hex[24];
        sal_printf("Not all ports given have PHY drivers.  Using %s\n", hex_of(kept, hex));
    }
    const char *reg_word = ARG_GET(a);
    const char *third = ARG_GET(a);
    const char *fourth = ARG_GET(a);
    if (!phy_words_fit(unit, kept, intermediate, reg_word, third, fourth)) return CMD_USAGE;
    // A register write changes a tested port under its test (reads stay);
    // no self-test starts half-way through the ports.
    PortReserveFreeze tests;
    if (third != nullptr && feature_cmds::refuse_held(cmd, unit, kept)) return CMD_FAIL;
    int result = CMD_OK;
    for (int port = 0; port < 64; port++) {
        if (!soc_pbmp_member(kept, port)) continue;
        uint8_t addr =
            intermediate ? soc_phy_addr_int_get(unit, port) : soc_phy_addr_get(unit, port);
        if (addr == kNoPhy) {
            sal_printf("Port %s: No %sPHY address assigned\n", port_name(unit, port),
                       intermediate ? "intermediate " : "");
            if (third != nullptr) return CMD_FAIL;
            continue;
        }
        bool c45 = !intermediate && soc_phy_is_c45(unit, port);
        if (reg_word == nullptr) {
            if (phy_dump(unit, port, addr, intermediate, c45) != CMD_OK) return CMD_FAIL;
            continue;
        }
        int reg = sal_ctoi(reg_word, nullptr);
        result = phy_access(unit, port, addr, c45, reg, third, fourth);
        if (result != CMD_OK && third == nullptr) return result;
    }
    return result;
}

int cmd_cable_diag(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (!sh_check_attached(cmd, unit) || SOC_CONTROL(unit) == nullptr) return CMD_FAIL;
    const char *w = ARG_GET(a);
    if (w == nullptr) return CMD_USAGE;
    soc_pbmp_t pbmp{};
    if (!read_pbmp(unit, cmd, w, &pbmp)) return CMD_FAIL;
    // The pulses take a tested port's link away from its test; no test
    // starts before the ports' scanning is given back.
    PortReserveFreeze tests;
    if (feature_cmds::refuse_held(cmd, unit, pbmp)) return CMD_FAIL;
    char hex[24];
    // Stopping link scanning enables a port: a disabled one is disabled
    // again, so it is pulse-tested without link and stays disabled.
    // Each port's scan mode (off, software, hardware) comes back as it was.
    soc_pbmp_t disabled{}, scanned[3]{};
    for (int port = 0; port < 64; port++) {
        if (!soc_pbmp_member(pbmp, port)) continue;
        int enabled = 1, mode = 1;
        if (dxp_port_enable_get(unit, port, &enabled) >= 0 && !enabled)
            soc_pbmp_port_add(&disabled, port);
        if (dxp_linkscan_mode_get(unit, port, &mode) < 0 || mode < 0 || mode > 2) mode = 1;
        soc_pbmp_port_add(&scanned[mode], port);
    }
    if (int rv = dxp_linkscan_mode_set_pbm(unit, to_dxp(pbmp), 0); rv < 0) {
        sal_printf("%s: Failed to disable link scanning: PBM=%s: %s\n", cmd, hex_of(pbmp, hex),
                   feature_cmds::errmsg(rv));
        return CMD_FAIL;
    }
    for (int port = 0; port < 64; port++) {
        if (soc_pbmp_member(disabled, port)) dxp_port_enable_set(unit, port, 0);
    }
    int result = CMD_OK;
    for (int port = 0; port < 64; port++) {
        if (!soc_pbmp_member(pbmp, port)) continue;
        dxp_port_cable_diag_t cd{};
        const int rv = dxp_port_cable_diag(unit, port, &cd);
        if (rv < 0) {
            sal_printf("%s: ERROR: port %s: %s\n", cmd, port_name(unit, port),
                       feature_cmds::errmsg(rv));
            result = CMD_FAIL;
            continue;
        }
        if (rv == DXP_CABLE_DIAG_ON_FIBER) {
            sal_printf("port %s: %s\n", port_name(unit, port), DXP_CABLE_DIAG_ON_FIBER_TEXT);
            continue;
        }
        // A port with link is only measured: its pair states mean nothing.
        const bool untested = rv == DXP_CABLE_DIAG_LINK_UP;
        auto state_text = [&](int state) {
            return untested ? DXP_CABLE_DIAG_LINK_UP_TEXT : name_of(kCableStates, state);
        };
        if (cd.fuzz_len == 0)
            sal_printf("port %s: cable %s (%d pairs)\n", port_name(unit, port),
                       state_text(cd.state), cd.npairs);
        else
            sal_printf("port %s: cable %s (%d pairs, length +/- %d metres)\n",
                       port_name(unit, port), state_text(cd.state), cd.npairs, cd.fuzz_len);
        for (int i = 0; i < cd.npairs && i < 4; i++)
            sal_printf("\tpair %c %s, length %d metres\n", 'A' + i, state_text(cd.pair_state[i]),
                       cd.pair_len[i]);
    }
    for (int mode = 1; mode <= 2; mode++) {
        if (soc_pbmp_is_null(scanned[mode])) continue;
        if (int rv = dxp_linkscan_mode_set_pbm(unit, to_dxp(scanned[mode]), mode); rv < 0) {
            sal_printf("%s: Failed to recover link scanning: PBM=%s: %s\n", cmd,
                       hex_of(scanned[mode], hex), feature_cmds::errmsg(rv));
            return CMD_FAIL;
        }
    }
    return result;
}

int cmd_linkscan(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    const int modules = dxp_init_modules_get(unit);
    if (ARG_CNT(a) == 1 && sal_strcasecmp(ARG_CUR(a), "off") == 0 &&
        (modules < 0 || !(static_cast<uint32_t>(modules) & DXP_MODULE_LINKSCAN))) {
        ARG_GET(a);
        return CMD_OK;
    }
    int interval = 0;
    if (int rv = dxp_linkscan_enable_get(unit, &interval); rv < 0) {
        sal_printf("%s: Error: Failed to recover enable status: %s\n", cmd,
                   feature_cmds::errmsg(rv));
        return CMD_FAIL;
    }
    const soc_control_t *s = SOC_CONTROL(unit);
    if (s == nullptr) return CMD_FAIL;
    soc_pbmp_t sw{}, hw{};
    for (int port = s->all.min; port >= 0 && port <= s->all.max; port++) {
        if (!soc_pbmp_member(s->all.bitmap, port)) continue;
        int mode = 0;
        if (dxp_linkscan_mode_get(unit, port, &mode) < 0) {
            sal_printf("%s: Error: Could not get linkscan state for port %s\n", cmd,
                       port_name(unit, port));
            continue;
        }
        if (mode == 1) soc_pbmp_port_add(&sw, port);
        if (mode == 2) soc_pbmp_port_add(&hw, port);
    }
    char hex[24], names[81];
    if (ARG_CNT(a) == 0) {
        if (interval == 0) {
            sal_printf("%s: Linkscan disabled\n", cmd);
            return CMD_OK;
        }
        soc_pbmp_t off = diag_pbmp_of(diag_pbmp_bits(s->all.bitmap) &
                                      ~(diag_pbmp_bits(sw) | diag_pbmp_bits(hw)));
        sal_printf("%s: Linkscan enabled\n", cmd);
        sal_printf("%s:   Software polling interval: %d usec\n", cmd, interval);
        const struct {
            const char *label;
            soc_pbmp_t bits;
        } sets[] = {{"Software", sw}, {"Hardware", hw}, {"Disabled", off}};
        for (const auto &set : sets) {
            format_pbmp(unit, names, sizeof names, set.bits);
            sal_printf("%s:   %s Port BitMap %s: %s\n", cmd, set.label, hex_of(set.bits, hex),
                       names);
        }
        return CMD_OK;
    }
    const soc_pbmp_t was_sw = sw, was_hw = hw;
    int dflt = soc_property_get(unit, "dxp_linkscan_interval", kDefaultLinkscanUsec);
    interval = dflt;
    soc_pbmp_t force{};
    parse_table_t pt;
    parse_table_init(unit, &pt);
    parse_table_add(&pt, "SwPortBitMap", PQ_PBMP | PQ_DFL, nullptr, &sw, nullptr);
    parse_table_add(&pt, "HwPortBitMap", PQ_PBMP | PQ_DFL, nullptr, &hw, nullptr);
    parse_table_add(&pt, "Force", PQ_PBMP | PQ_DFL, nullptr, &force, nullptr);
    parse_table_add(&pt, "Interval", PQ_INT | PQ_DFL, nullptr, &interval, nullptr);
    int taken = parse_table_args(a, &pt);
    parse_table_done(&pt);
    if (taken < 0) return CMD_FAIL;
    if (const char *w = ARG_GET(a); w != nullptr) {
        if (sal_strcasecmp(w, "off") == 0 || sal_strcasecmp(w, "disable") == 0 ||
            sal_strcasecmp(w, "no") == 0)
            interval = 0;
        else if (sal_strcasecmp(w, "on") == 0 || sal_strcasecmp(w, "enable") == 0 ||
                 sal_strcasecmp(w, "yes") == 0)
            interval = dflt;
        else if (parse_is_integer(w))
            interval = parse_integer(w);
        else
            return CMD_USAGE;
        if (ARG_CNT(a) > 0) return CMD_USAGE;
    }
    // The link-scan layer would take a negative interval as its default.
    if (interval < 0) {
        sal_printf("%s: Error: Invalid interval %d: microseconds, or 0 to stop link scanning\n",
                   cmd, interval);
        return CMD_FAIL;
    }
    // A tested port's scanning stays as its test found it: a change of it is
    // refused whole, and no test starts half-way through the change.
    // (Starting or stopping the scan waits for its thread, whose handlers
    // may ask the hold: the hold is let go first.)
    std::optional<PortReserveFreeze> tests(std::in_place);
    if (interval == 0) {
        if (feature_cmds::refuse_held(cmd, unit, s->all.bitmap)) return CMD_FAIL;
        tests.reset();
        if (int rv = dxp_linkscan_enable_set(unit, 0); rv < 0) {
            sal_printf("%s: Error: Failed to disable linkscan: %s\n", cmd,
                       feature_cmds::errmsg(rv));
            return CMD_FAIL;
        }
        return CMD_OK;
    }
    sw = pbmp_and(sw, s->all.bitmap);
    hw = pbmp_and(hw, s->all.bitmap);
    force = pbmp_and(force, s->all.bitmap);
    if (diag_pbmp_bits(sw) & diag_pbmp_bits(hw)) {
        sal_printf("%s: Error: Same port can't use both software and hardware linkscan\n", cmd);
        return CMD_FAIL;
    }
    // Only front ports without a scan mode are turned off.
    soc_pbmp_t off = diag_pbmp_of((diag_pbmp_bits(s->fe.bitmap) | diag_pbmp_bits(s->ge.bitmap)) &
                                  ~(diag_pbmp_bits(sw) | diag_pbmp_bits(hw)));
    const uint64_t changed =
        ((diag_pbmp_bits(sw) ^ diag_pbmp_bits(was_sw)) |
         (diag_pbmp_bits(hw) ^ diag_pbmp_bits(was_hw)) |
         (diag_pbmp_bits(off) & (diag_pbmp_bits(was_sw) | diag_pbmp_bits(was_hw))));
    if (feature_cmds::refuse_held(cmd, unit, diag_pbmp_of(changed))) return CMD_FAIL;
    // A tested port whose mode stays is left alone.
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (!port_reserved(unit, port)) continue;
        soc_pbmp_port_remove(&sw, port);
        soc_pbmp_port_remove(&hw, port);
        soc_pbmp_port_remove(&off, port);
    }
    const struct {
        soc_pbmp_t bits;
        int mode;
        const char *text;
    } steps[] = {
        {sw, 1, "%s: Failed to set software link scanning: PBM=%s: %s\n"},
        {hw, 2, "%s: Failed to set hardware link scanning: PBM=%s: %s\n"},
        {off, 0, "%s: Failed to disable link scanning: PBM=%s: %s\n"},
    };
    for (const auto &step : steps) {
        if (int rv = dxp_linkscan_mode_set_pbm(unit, to_dxp(step.bits), step.mode); rv < 0) {
            sal_printf(step.text, cmd, hex_of(step.bits, hex), feature_cmds::errmsg(rv));
            return CMD_FAIL;
        }
    }
    tests.reset();
    if (int rv = dxp_linkscan_enable_set(unit, interval); rv < 0) {
        sal_printf("%s: Error: Failed to enable linkscan: %s\n", cmd, feature_cmds::errmsg(rv));
        return CMD_FAIL;
    }
    if (int rv = dxp_link_change(unit, to_dxp(force)); rv < 0) {
        sal_printf("%s: Failed to force link scan: PBM=%s: %s\n", cmd, hex_of(force, hex),
                   feature_cmds::errmsg(rv));
        return CMD_FAIL;
    }
    return CMD_OK;
}

int cmd_combo(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (!sh_check_attached(cmd, unit) || SOC_CONTROL(unit) == nullptr) return CMD_FAIL;
    const char *w = ARG_GET(a);
    if (w == nullptr) return CMD_USAGE;
    soc_pbmp_t pbmp{};
    if (!read_pbmp(unit, cmd, w, &pbmp)) return CMD_FAIL;
    pbmp = pbmp_and(pbmp, SOC_CONTROL(unit)->port.bitmap);
    w = ARG_GET(a);
    if (w == nullptr) {
        combo_show(unit, pbmp, kMediumBoth);
        return CMD_OK;
    }
    if (sal_strcasecmp(w, "watch") == 0 || sal_strcasecmp(w, "w") == 0)
        return combo_watch_cmd(unit, pbmp, a);
    int medium = 0;
    if (sal_strcasecmp(w, "copper") == 0 || sal_strcasecmp(w, "c") == 0)
        medium = kMediumCopper;
    else if (sal_strcasecmp(w, "fiber") == 0 || sal_strcasecmp(w, "f") == 0)
        medium = kMediumFiber;
    else
        return CMD_USAGE;
    if (ARG_CNT(a) == 0) {
        combo_show(unit, pbmp, medium);
        return CMD_OK;
    }
    ComboOptions o;
    if (int rv = combo_parse(unit, a, &o); rv != CMD_OK) return rv;
    // A tested port's medium settings belong to its test until it ends; no
    // self-test starts half-way through the ports.
    PortReserveFreeze tests;
    if (feature_cmds::refuse_held(cmd, unit, pbmp)) return CMD_FAIL;
    return combo_set(unit, cmd, pbmp, medium, o);
}
