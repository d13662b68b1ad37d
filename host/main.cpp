// Linux entry point: parses the options, opens the flash and the NVRAM store
// of the simulated board and starts "Main App".
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "snmp_agent.h"
#include "bde.h"
#include "board_host.h"
#include "diag_shell.h"
#include "factory_reset.h"
#include "firmware_steps.h"
#include "flash.h"
#include "app_host.h"
#include "log_gate.h"
#include "main_app.h"
#include "nvram.h"
#include "options.h"
#include "sal.h"
#include "sal_host.h"
#include "storage_host.h"
#include "tarn_bus.h"

namespace {

// SIGUSR1 stands for the reset button. On a terminal the console is the
// board's serial line: its interrupt key (SIGINT, Ctrl-C) is the line's
// break, its quit key (SIGQUIT, Ctrl-\) ends the program, and its suspend
// key (SIGTSTP, Ctrl-Z) must not stop the whole switch. On a pipe, SIGINT
// ends the program as before, as SIGTERM and SIGHUP do everywhere, but only
// once the restores the web answered as accepted are applied and stored. They are
// blocked here, before any thread starts, so every thread inherits the block
// and only take_signals takes them; it takes them from the first moment,
// while the start-up runs on a thread of its own.
bool console_is_terminal() {
    static const bool terminal = isatty(STDIN_FILENO) != 0;
    return terminal;
}

void block_signals(sigset_t *set) {
    sigemptyset(set);
    sigaddset(set, SIGUSR1);
    sigaddset(set, SIGINT);
    sigaddset(set, SIGTERM);
    sigaddset(set, SIGHUP);
    if (console_is_terminal()) {
        sigaddset(set, SIGQUIT);
        sigaddset(set, SIGTSTP);
    }
    pthread_sigmask(SIG_BLOCK, set, nullptr);
    // Started in the background of an interactive shell, the program leaves
    // the terminal to the foreground job (the console reads it only once the
    // program is brought to the foreground); it is never stopped for writing
    // its output there or for a read that would have waited.
    std::signal(SIGTTOU, SIG_IGN);
    std::signal(SIGTTIN, SIG_IGN);
}

void end_from_console() {
    sal_board_printf("\nswitchfw: ended with the quit key (Ctrl-\\)\n");
    sal_exit_after_pending(0);
}

void stop_command() {
    sh_break_raise();
}

[[noreturn]] void take_signals(const sigset_t *set) {
    for (;;) {
        siginfo_t info{};
        const int sig = sigwaitinfo(set, &info);
        if (sig < 0) continue;
        if (sig == SIGUSR1) factory_default_button_press();
        if (sig == SIGTERM || sig == SIGHUP || (sig == SIGINT && !console_is_terminal()))
            sal_signal_after_pending(sig);
        // The console's own keys (a key typed at the terminal before the
        // console took it came from its driver), or a program sending them.
        if (sig == SIGINT || sig == SIGTSTP || sig == SIGQUIT)
            sal_host_console_key(sig, info.si_code == SI_KERNEL ? 1 : 0);
    }
}

// --debug-read prints the register's whole width (one byte where the chip
// describes nothing).
int debug_read(uint16_t address) {
    int width = board_host_register_width(address);
    return board_host_debug_read(address, width > 0 ? width : 1);
}

// The exit status of a start-up that ends the program, or -1 once Main App
// runs.
int start(int argc, char **argv) {
    // Before the first prompt: a key typed in the terminal's own line mode
    // would reach the console changed (a Ctrl-D as a NUL byte).
    sal_host_terminal_edit();
    static HostOptions opts;
    std::string error;
    if (!host_options_parse(argc, argv, &opts, &error)) {
        std::fprintf(stderr, "switchfw: %s\n", error.c_str());
        return 2;
    }
    if (opts.help) {
        std::fputs(host_options_usage(), stdout);
        return 0;
    }
    snmp_crypto_init();  // before any thread that uses it
    sal_host_port_offset_set(opts.port_offset);
    sal_host_listen_address_set(opts.listen.c_str());

    char board_error[256];
    if (board_host_gigabit_phy_set(opts.gig_phy.c_str(), board_error, sizeof board_error) != 0) {
        std::fprintf(stderr, "switchfw: %s\n", board_error);
        return 2;
    }
    if (board_host_start(opts.board.c_str(), opts.bus.c_str(), board_error, sizeof board_error) !=
        0) {
        std::fprintf(stderr, "switchfw: %s\n", board_error);
        return 2;
    }
    for (const auto &[port, name] : opts.taps) {
        if (board_host_tap_add(port, name.c_str(), board_error, sizeof board_error) != 0) {
            std::fprintf(stderr, "switchfw: --tap %d=%s: %s\n", port, name.c_str(), board_error);
            return 1;
        }
    }
    for (const auto &[port, cable] : opts.cables) {
        if (board_host_cable_set(port, cable.c_str(), board_error, sizeof board_error) != 0) {
            std::fprintf(stderr, "switchfw: --cable %d=%s: %s\n", port, cable.c_str(), board_error);
            return 2;
        }
    }
    for (const HostOptions::Fiber &f : opts.fibers) {
        if (board_host_fiber_set(f.port, f.speed, f.up_ms, f.gone_ms, board_error,
                                 sizeof board_error) != 0) {
            std::fprintf(stderr, "switchfw: --fiber %d: %s\n", f.port, board_error);
            return 2;
        }
    }
    // Test hook of the self-test checks: the model spoils the Nth frame that
    // a port sends.
    if (const char *nth = std::getenv("SWITCHFW_TEST_CORRUPT_FRAME"))
        board_host_corrupt_frame(std::strtoull(nth, nullptr, 10));
    // The CPU-side access to the switch (serial pins and bus window).
    tarn_bus_register();
    if (opts.debug_read >= 0) {
        if (bde_init() < 0 || debug_read(static_cast<uint16_t>(opts.debug_read)) != 0) {
            return 1;
        }
    }

    // At the end the log gates' counts and the lines queued for the flash
    // log reach the flash before the flash file is written out.
    sal_reboot_flush_register([] {
        log_gates_report_all();
        logger_flash_sync();
    });
    if (flash_host_open(opts.flash.c_str(), 1) != 0 || flashInit() != 0) {
        std::fprintf(stderr, "switchfw: cannot use %s as the flash: %s\n", opts.flash.c_str(),
                     flash_host_last_error());
        return 1;
    }
    sal_reboot_flush_register([] { flash_host_sync(); });
    // The network devices read their MAC addresses from NVRAM before the
    // application starts, so the store opens here.
    nvram_init();
    if (sal_fs_host_init(opts.fs.c_str(), nullptr) != 0) return 1;

    if (main_app_start(firmware_steps(opts)) != 0) {
        std::fprintf(stderr, "switchfw: cannot start Main App\n");
        return 1;
    }
    return -1;
}

struct Arguments {
    int argc;
    char **argv;
};

void start_thread(void *arg) {
    const auto *a = static_cast<const Arguments *>(arg);
    if (const int status = start(a->argc, a->argv); status >= 0) std::exit(status);
}

}  // namespace

int main(int argc, char **argv) {
    sigset_t signals;
    block_signals(&signals);
    sal_host_console_keys_set(stop_command, end_from_console);
    static Arguments arguments{argc, argv};
    if (sal_thread_create("Start-up", 0, SAL_THREAD_PRIO_DEFAULT, start_thread, &arguments) ==
        SAL_THREAD_ERROR) {
        std::fprintf(stderr, "switchfw: cannot start\n");
        return 1;
    }
    take_signals(&signals);
}
