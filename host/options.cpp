#include "options.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

bool one_of(const std::string &v, std::initializer_list<const char *> choices) {
    for (const char *c : choices) {
        if (v == c) return true;
    }
    return false;
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
           "                     copper, 640x (copper/fibre) or 6401s (dual-media)\n"
           "  --cable PORT=CABLE  plug a cable into PORT: CABLE is [METRES][/PAIR=FAULT@M]...,\n"
           "                     a linked cable of METRES and faults (PAIR A-D, FAULT open,\n"
           "                     short or unknown) for the cable tests (repeatable)\n"
           "  --fiber PORT[@S]   give PORT's fibre side a signal S seconds after start\n"
           "                     (default 0; a 640x or 6401s gigabit port; repeatable)\n"
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
            if (!one_of(value, {"board", "serdes", "copper", "640x", "6401s"})) {
                *error =
                    "--gig-phy must be board, serdes, copper, 640x or 6401s, not '" + value + "'";
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
            auto at = value.find('@');
            char *end = nullptr;
            long n = std::strtol(value.c_str(), &end, 10);
            long seconds = 0;
            bool ok = !value.empty() && end == value.c_str() + std::min(at, value.size()) &&
                      n >= 1 && n <= 52;
            if (ok && at != std::string::npos) {
                char *s_end = nullptr;
                seconds = std::strtol(value.c_str() + at + 1, &s_end, 10);
                ok = at + 1 < value.size() && *s_end == '\0' && seconds >= 0 && seconds <= 3600;
            }
            if (!ok) {
                *error =
                    "--fiber needs PORT or PORT@SECONDS (port 1-52, 0-3600 s), not '" + value + "'";
                return false;
            }
            out->fibers.emplace_back(static_cast<int>(n), static_cast<int>(seconds * 1000));
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
