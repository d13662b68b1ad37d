// The host program's simulated board.
#include "board_host.h"

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "bde.h"
#include "board_events.h"
#include "chipdata/ids.h"
#include "sal.h"
#include "sim/board.h"
#include "sim/host_binding.h"

namespace {

std::mutex host_lock;
std::unique_ptr<sim::Board> &host_board() {
    static auto *b = new std::unique_ptr<sim::Board>;
    return *b;
}

int fail(char *error, size_t size, const std::string &text) {
    if (error != nullptr && size > 0) std::snprintf(error, size, "%s", text.c_str());
    return -1;
}

struct GigabitPhyChoice {
    const char *name;
    sim::PhyKind kind;
    sim::PhyPart part;  // none given: the kind's usual part
};
constexpr sim::PhyPart part(uint32_t key, uint16_t model) {
    return {phy_id0(key), phy_id1(key, model, 0)};
}
// The kinds, then each gigabit model by its number: the copper models with
// their own register settings, and the copper/fibre models.
constexpr GigabitPhyChoice kGigabitPhys[] = {
    {"serdes", sim::PhyKind::None, {}},
    {"copper", sim::PhyKind::GigabitCopper, {}},
    {"640x", sim::PhyKind::GigabitCombo, {}},
    {"6401s", sim::PhyKind::GigabitDualMedia, {}},
    {"6406", sim::PhyKind::GigabitCopper, part(PHY_OUI_KEY_D, PHY_MODEL_6406)},
    {"6407", sim::PhyKind::GigabitCopper, part(PHY_OUI_KEY_D, PHY_MODEL_6407)},
    {"6408", sim::PhyKind::GigabitCopper, part(PHY_OUI_KEY_D, PHY_MODEL_6408)},
    {"6409", sim::PhyKind::GigabitCopper, part(PHY_OUI_KEY_D, PHY_MODEL_6409)},
    {"6410", sim::PhyKind::GigabitCopper, part(PHY_OUI_KEY_D, PHY_MODEL_6410)},
    {"6402", sim::PhyKind::GigabitCombo, part(PHY_OUI_KEY_D, PHY_MODEL_6402)},
    {"6412", sim::PhyKind::GigabitCombo, part(PHY_OUI_KEY_D, PHY_MODEL_6412)},
    {"6413", sim::PhyKind::GigabitCombo, part(PHY_OUI_KEY_D, PHY_MODEL_6413)},
    {"6414", sim::PhyKind::GigabitCombo, part(PHY_OUI_KEY_B, PHY_MODEL_6414)},
    {"6415", sim::PhyKind::GigabitCombo, part(PHY_OUI_KEY_B, PHY_MODEL_6415)},
    {"6416", sim::PhyKind::GigabitCombo, part(PHY_OUI_KEY_B, PHY_MODEL_6416)},
};
constexpr const char *kGigabitPhyList =
    "board, serdes, copper, 640x, 6401s, 6406, 6407, 6408, 6409, 6410, 6402, 6412, 6413, 6414, "
    "6415 or 6416";
// Empty: the board's own.
std::string &gigabit_phy_choice() {
    static auto *choice = new std::string;
    return *choice;
}

bool has_serdes(const sim::ChipProfile &chip) {
    for (int port = 0; port < chip.num_ports; port++)
        if (chip.serdesPage(port) >= 0) return true;
    return false;
}

}  // namespace

int board_host_gigabit_phy_set(const char *kind, char *error, size_t size) {
    std::string name = kind ? kind : "";
    if (name == "board") name.clear();
    bool known = name.empty();
    for (const GigabitPhyChoice &c : kGigabitPhys)
        known = known || name == c.name;
    if (!known)
        return fail(error, size, "unknown gigabit PHY '" + name + "'; choose " + kGigabitPhyList);
    std::lock_guard<std::mutex> g(host_lock);
    gigabit_phy_choice() = name;
    return 0;
}

int board_host_chip_port(int user_port, char *error, size_t size) {
    sim::Board *board = sim::boundBoard();
    if (board == nullptr) return fail(error, size, "no board is running");
    const int users = board->config().user_ports;
    if (user_port < 1 || user_port > users)
        return fail(error, size,
                    "port " + std::to_string(user_port) + " is not a front-panel port 1-" +
                        std::to_string(users));
    // Front-panel ports skip the CPU port that sits after the fast-Ethernet ones.
    return user_port <= board->profile().fe_ports ? user_port - 1 : user_port;
}

int board_host_start(const char *ports, const char *bus, char *error, size_t size) {
    sim::BoardConfig config;
    std::string reason;
    if (!sim::BoardConfig::fromPortCount(ports ? ports : "", &config, &reason))
        return fail(error, size, reason);
    for (const GigabitPhyChoice &c : kGigabitPhys) {
        if (gigabit_phy_choice() == c.name) {
            config.gigabit_phy = c.kind;
            config.gigabit_part = c.part;
        }
    }
    // Without an external PHY the gigabit ports run on the chip's SERDES: a
    // chip without one would start with gigabit ports that never link.
    if (gigabit_phy_choice() == "serdes" && !has_serdes(sim::ChipProfile::get(config.chip)))
        return fail(error, size,
                    std::string("the ") + sim::ChipProfile::get(config.chip).name + " of the " +
                        (ports ? ports : "") +
                        "-port board has no SERDES for its gigabit ports; choose board, "
                        "copper or a gigabit PHY model");
    std::string mode = bus ? bus : "";
    if (mode == "direct") {
        config.bus = sim::BusMode::Direct;
    } else if (mode != "pins") {
        return fail(error, size, "unknown switch access '" + mode + "'; choose pins or direct");
    }
    board_host_tap_stop_all();
    std::lock_guard<std::mutex> g(host_lock);
    board_events_stop();
    board_host_forget_devices();
    sim::unbindHost();
    host_board() = sim::Board::create(config);
    host_board()->connectCpuMac();
    sim::bindHost(*host_board());
    if (board_events_start(*host_board()) != 0)
        return fail(error, size, "cannot start the board's event thread");
    return 0;
}

void board_host_stop(void) {
    board_host_tap_stop_all();
    std::lock_guard<std::mutex> g(host_lock);
    board_events_stop();
    board_host_forget_devices();
    sim::unbindHost();
    host_board().reset();
}

int board_host_register_width(uint16_t address) {
    std::lock_guard<std::mutex> g(host_lock);
    if (!host_board()) return 0;
    return host_board()->chip().widthAt(static_cast<uint8_t>(address >> 8),
                                        static_cast<uint8_t>(address));
}

int board_host_corrupt_frame(uint64_t nth) {
    std::lock_guard<std::mutex> g(host_lock);
    if (!host_board()) return -1;
    host_board()->fabric().corruptFrame(nth);
    return 0;
}

int board_host_debug_read(uint16_t address, int len) {
    const bde_ops *ops = bde_ops_get();
    if (ops == nullptr && bde_init() == 0) ops = bde_ops_get();
    if (ops == nullptr) {
        sal_printf("no board: cannot read switch register 0x%04x\n", address);
        return -1;
    }
    uint8_t buf[8] = {};
    if (len < 1 || len > 8 || ops->switch_reg_read(0, address, buf, len) != 0) {
        sal_printf("%s: reading switch register 0x%04x (%d bytes) failed\n", ops->name(), address,
                   len);
        return -1;
    }
    uint64_t value = 0;
    for (int i = 0; i < len; i++)
        value |= static_cast<uint64_t>(buf[i]) << (8 * i);
    sal_printf("%s: register 0x%04x = 0x%0*llx\n", ops->name(), address, 2 * len,
               static_cast<unsigned long long>(value));
    return 0;
}
