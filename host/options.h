// Command-line options of the switchfw program.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct HostOptions {
    std::string board = "52";             // front-panel port count: 52, 28 or 26
    std::string flash = "var/flash.bin";  // file standing for the flash chip
    std::string fs = "var/fs";            // directory of the RAM file system
    std::string bus = "pins";             // switch access: "pins" (serial and window) or "direct"
    std::string listen = "127.0.0.1";     // IPv4 address every server binds
    int port_offset = 0;                  // added to the well-known server ports
    int debug_read = -1;                  // switch register to read and print at start-up
    // Front-panel ports (1..N, as --board counts them) bridged to TAP devices.
    std::vector<std::pair<int, std::string>> taps;
    std::string mgmt_tap;           // Linux TAP device of "eth1"; empty: none
    std::string gig_phy = "board";  // what sits on the gigabit ports (board_host_gigabit_phy_set)
    // Cables plugged into front-panel ports (board_host_cable_set's text).
    std::vector<std::pair<int, std::string>> cables;
    // A fibre partner on a port's copper/fibre PHY (board_host_fiber_set).
    struct Fiber {
        int port;
        int speed;         // 1000, or 100 for 100BASE-FX
        uint32_t up_ms;    // signal from then on
        uint32_t gone_ms;  // pulled then; 0: stays
    };
    std::vector<Fiber> fibers;
    bool exit_on_eof = false;  // end the program at the end of console input
    bool help = false;
};

// Parses argv; on error returns false with a message in *error.
bool host_options_parse(int argc, char **argv, HostOptions *out, std::string *error);
const char *host_options_usage(void);
