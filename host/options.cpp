#include "options.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

bool one_of(const std::string &v, std::initializer_list<const char *> choices) {
    for (const char *c : choices) {
        if (v == c) return true;
    }
    return false;
}

// A whole decimal number from..to of text, or false.
bool number_of(const std::string &text, long from, long to, long *out) {
    char *end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])) || *end != '\0' ||
        n < from || n > to)
        return false;
    *out = n;
    return true;
}

// "PORT[@S[-E]][/100]".
bool fiber_of(const std::string &value, HostOptions::Fiber *out) {
    std::string text = value;
    out->speed = 1000;
    if (const auto slash = text.find('/'); slash != std::string::npos) {
        if (text.substr(slash + 1) != "100" && text.substr(slash + 1) != "1000") return false;
        out->speed = std::stoi(text.substr(slash + 1));
        text.resize(slash);
    }
    const auto at = text.find('@');
    long port = 0, up = 0, gone = 0;
    if (!number_of(text.substr(0, at), 1, 52, &port)) return false;
    if (at != std::string::npos) {
        const std::string times = text.substr(at + 1);
        const auto dash = times.find('-');
        if (!number_of(times.substr(0, dash), 0, 3600, &up)) return false;
        if (dash != std::string::npos &&
            (!number_of(times.substr(dash + 1), 1, 3600, &gone) || gone <= up))
            return false;
    }
    out->port = static_cast<int>(port);
    out->up_ms = static_cast<uint32_t>(up * 1000);
    out->gone_ms = static_cast<uint32_t>(gone * 1000);
    return true;
}

}  // namespace

const char *host_options_usage(void) {
    return "Usage: switchfw [options]\n"
           "Starts the switch firmware on the simulated board.\n"
           "\n"
           "  --board N          board with N front-panel ports: 52, 28 or 26 (default 52)\n"
           "  --flash FILE       file standing for the flash chip (default var/flash.bin)\n"
           "  --fs DIR           directory of the RAM file system (default var/fs)\n"
           "  --bus MODE         switch access: pins (the serial and window bus) or direct\n"
           "                     (default pins)\n"
           "  --debug-read ADDR  print switch register ADDR (page<<8|offset) read at start-up\n"
           "  --port-offset N    add N to the server ports 80, 23, 161 and 162 (default 0)\n"
           "  --listen ADDR      IPv4 address the servers listen on (default 127.0.0.1;\n"
           "                     0.0.0.0 opens them to every interface)\n"
           "  --tap PORT=IFNAME  bridge front-panel port PORT (1..N) to a new Linux TAP\n"
           "                     device IFNAME (repeatable; needs CAP_NET_ADMIN)\n"
           "  --mgmt-tap IFNAME  carry the management interface eth1 over a new TAP device\n"
           "                     IFNAME (root, in the firmware's own network namespace;\n"
           "                     the servers then listen on 0.0.0.0 unless --listen is given)\n"
           "  --gig-phy KIND     PHYs on the gigabit ports: board (the board's own), serdes,\n"
           "                     copper, 640x (copper/fibre), 6401s (dual-media), or a model:\n"
           "                     6406, 6407, 6408, 6409, 6410 (copper), 6402, 6412, 6413,\n"
           "                     6414, 6415, 6416 (copper/fibre)\n"
           "  --cable PORT=CABLE  plug a cable into PORT: CABLE is [METRES][/PAIR=FAULT@M]...,\n"
           "                     a linked cable of METRES and faults (PAIR A-D, FAULT open,\n"
           "                     short or unknown) for the cable tests (repeatable)\n"
           "  --fiber PORT[@S[-E]][/100]\n"
           "                     fit a fibre on PORT's copper/fibre PHY: a partner from S\n"
           "                     seconds after start (default 0) until E (default: for\n"
           "                     good), 1000BASE-X or with /100 100BASE-FX (repeatable)\n"
           "  --exit-on-eof      end the program when console input ends\n"
           "  --help             print this text\n";
}

bool host_options_parse(int argc, char **argv, HostOptions *out, std::string *error) {
    bool listen_given = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        std::string value;
        auto eq = arg.find('=');
        if (arg.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg = arg.substr(0, eq);
        }
        if (arg == "--help" || arg == "-h") {
            out->help = true;
            continue;
        }
        if (arg == "--exit-on-eof") {
            out->exit_on_eof = true;
            continue;
        }
        bool known =
            one_of(arg, {"--board", "--flash", "--fs", "--bus", "--port-offset", "--debug-read",
                         "--listen", "--tap", "--mgmt-tap", "--gig-phy", "--cable", "--fiber"});
        if (!known) {
            *error = "unknown option '" + arg + "' (see --help)";
            return false;
        }
        if (eq == std::string::npos) {
            if (i + 1 >= argc) {
                *error = "option " + arg + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (arg == "--board") {
            if (!one_of(value, {"52", "28", "26"})) {
                *error = "--board must be 52, 28 or 26, not '" + value + "'";
                return false;
            }
            out->board = value;
        } else if (arg == "--flash") {
            out->flash = value;
        } else if (arg == "--fs") {
            out->fs = value;
        } else if (arg == "--bus") {
            if (!one_of(value, {"pins", "direct"})) {
                *error = "--bus must be pins or direct, not '" + value + "'";
                return false;
            }
            out->bus = value;
        } else if (arg == "--debug-read") {
            char *end = nullptr;
            long n = std::strtol(value.c_str(), &end, 0);
            if (value.empty() || *end != '\0' || n < 0 || n > 0xffff) {
                *error = "--debug-read needs a register address 0 to 0xffff, not '" + value + "'";
                return false;
            }
            out->debug_read = static_cast<int>(n);
        } else if (arg == "--listen") {
            in_addr parsed{};
            if (inet_pton(AF_INET, value.c_str(), &parsed) != 1) {
                *error = "--listen needs an IPv4 address such as 127.0.0.1, not '" + value + "'";
                return false;
            }
            out->listen = value;
            listen_given = true;
        } else if (arg == "--tap") {
            auto sep = value.find('=');
            char *end = nullptr;
            long n = sep == std::string::npos ? 0 : std::strtol(value.c_str(), &end, 10);
            std::string name = sep == std::string::npos ? "" : value.substr(sep + 1);
            if (sep == 0 || sep == std::string::npos || end != value.c_str() + sep || n < 1 ||
                n > 52 || name.empty() || name.size() > 15) {
                *error =
                    "--tap needs PORT=IFNAME (port 1-52, a name of up to 15 characters), "
                    "not '" +
                    value + "'";
                return false;
            }
            out->taps.emplace_back(static_cast<int>(n), name);
        } else if (arg == "--gig-phy") {
            if (!one_of(value,
                        {"board", "serdes", "copper", "640x", "6401s", "6406", "6407", "6408",
                         "6409", "6410", "6402", "6412", "6413", "6414", "6415", "6416"})) {
                *error =
                    "--gig-phy must be board, serdes, copper, 640x, 6401s or a model (6406, "
                    "6407, 6408, 6409, 6410, 6402, 6412, 6413, 6414, 6415, 6416), not '" +
                    value + "'";
                return false;
            }
            out->gig_phy = value;
        } else if (arg == "--cable") {
            auto sep = value.find('=');
            char *end = nullptr;
            long n = sep == std::string::npos ? 0 : std::strtol(value.c_str(), &end, 10);
            if (sep == std::string::npos || end != value.c_str() + sep || n < 1 || n > 52 ||
                sep + 1 == value.size()) {
                *error = "--cable needs PORT=CABLE (port 1-52), not '" + value + "'";
                return false;
            }
            out->cables.emplace_back(static_cast<int>(n), value.substr(sep + 1));
        } else if (arg == "--fiber") {
            HostOptions::Fiber fiber{};
            if (!fiber_of(value, &fiber)) {
                *error =
                    "--fiber needs PORT[@S[-E]][/100] (port 1-52, 0 <= S < E <= 3600 seconds), "
                    "not '" +
                    value + "'";
                return false;
            }
            out->fibers.push_back(fiber);
        } else if (arg == "--mgmt-tap") {
            if (value.empty() || value.size() > 15) {
                *error = "--mgmt-tap needs an interface name of 1 to 15 characters";
                return false;
            }
            out->mgmt_tap = value;
        } else if (arg == "--port-offset") {
            char *end = nullptr;
            long n = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || n < 0 || n > 65535 - 162) {
                *error = "--port-offset must be a number from 0 to 65373, not '" + value + "'";
                return false;
            }
            out->port_offset = static_cast<int>(n);
        }
    }
    // The firmware's namespace holds only lo and the TAP.
    if (!out->mgmt_tap.empty() && !listen_given) out->listen = "0.0.0.0";
    return true;
}
