// Fills "Main App"'s steps with the subsystems of this build. A step whose
// subsystem is not built stays null and is skipped.
#include "firmware_steps.h"

#include <cstdio>
#include <cstdlib>

#include "ecos_shell.h"
#include "sal.h"
#include "telnetd.h"

namespace {

bool exit_on_eof = false;

void start_telnetd() {
    telnetd_start();
}

// The console asks for the administrator account, then runs the shell; at
// the end of console input it either ends the program or leaves the servers
// running.
void console_loop() {
    for (;;) {
        int rv = ecos_shell_login(3);
        if (rv == 1) {
            ecos_shell_run();
            continue;
        }
        if (rv < 0) break;
    }
    if (exit_on_eof) {
        std::fflush(nullptr);
        std::exit(0);
    }
    for (;;)
        sal_sleep(3600);
}

}  // namespace

const main_app_steps *firmware_steps(const HostOptions &options) {
    static main_app_steps steps{};
    exit_on_eof = options.exit_on_eof;
    ecos_shell_init(nullptr);
    steps.telnetd_init = start_telnetd;
    steps.console_loop = console_loop;
    return &steps;
}
