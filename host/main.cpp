// Linux entry point: parses the options, builds the simulated board and
// starts the firmware.
#include <cstdio>
#include <string>

#include "options.h"
#include "sal.h"
#include "sal_host.h"

int main(int argc, char **argv) {
    HostOptions opts;
    std::string error;
    if (!host_options_parse(argc, argv, &opts, &error)) {
        std::fprintf(stderr, "switchfw: %s\n", error.c_str());
        return 2;
    }
    if (opts.help) {
        std::fputs(host_options_usage(), stdout);
        return 0;
    }
    sal_host_port_offset_set(opts.port_offset);
    sal_printf("switchfw: %s-port board, flash %s\n", opts.board.c_str(), opts.flash.c_str());
    return 0;
}
