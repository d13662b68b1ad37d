// The "ecos>" console shell and the login that guards it on the console and
// on telnet sessions. Both work on the console bound to the calling thread.
#pragma once

#include <cstdint>

struct ecos_cmd {
    const char *name;
    int (*handler)(int argc, char **argv);  // 0 goes on, ECOS_SHELL_EXIT leaves the shell
    const char *usage;
    const char *description;
};

constexpr int ECOS_SHELL_EXIT = 1;
constexpr int ECOS_SHELL_LINE_MAX = 256;

// Services of higher subsystems that the shell uses; each may be null while
// its subsystem is absent, and the command then says it is not available.
struct ecos_shell_services {
    // Administrator account (copy into buf; 1 when it fits, else 0).
    int (*username_get)(char *buf, int size);
    int (*password_get)(char *buf, int size);
    // "load": settings load of every group, then the port counters cleared;
    // the rows the load skipped are written into `skipped`, one a line.
    int (*settings_load)(char *skipped, int size);
    void (*port_counters_clear_all)(void);
    // "counters": management interface counters; "counters clear" zeroes them.
    void (*end_counters_get)(uint32_t *rx, uint32_t *tx, uint32_t *bcast, uint32_t *mcast,
                             uint32_t *ucast);
    void (*end_counters_clear)(void);
};
// Installs the services (null: none) and makes the shell the one sal_shell runs.
void ecos_shell_init(const ecos_shell_services *services);

// Runs the shell until "exit" or end of input.
void ecos_shell_run(void);
// Runs one command line; returns ECOS_SHELL_EXIT when it asks to leave.
int ecos_shell_execute(char *line);

// Asks "login: " and "password: " (not shown as typed) up to max_tries
// times: 1 when accepted, 0 when every try failed, -1 at end of input. Each
// result is logged under the log module with the peer ("console" or the
// client's address); a failure is answered after about a second.
int ecos_shell_login_from(int max_tries, int log_module, const char *peer);
// The same on the serial console.
int ecos_shell_login(int max_tries);
