// The "ecos>" shell: a small command table on the calling thread's console.
#include "ecos_shell.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <arpa/inet.h>
#include <strings.h>

#include "log_gate.h"
#include "logger.h"
#include "sal.h"

namespace {

// Factory account, used until the web account supplies the real one.
constexpr const char *kFactoryUser = "admin";
constexpr const char *kFactoryPassword = "qivor";

ecos_shell_services services{};

int cmd_help(int argc, char **argv);

int cmd_exit(int, char **) {
    return ECOS_SHELL_EXIT;
}

int cmd_reboot(int, char **) {
    sal_reboot_after_pending();
}

int cmd_load(int, char **) {
    if (services.settings_load == nullptr) {
        sal_printf("Settings are not available\n");
        return 0;
    }
    // A load runs after the settings images accepted before it at any
    // entrance, and an image accepted after it waits for it.
    const uint32_t turn = sal_turn_take(0);
    if (!sal_turn_wait(turn, SAL_IMAGES_WAIT_USECS)) {
        sal_turn_release(turn);
        sal_printf("%s\n", SAL_IMAGES_BUSY_TEXT);
        return 0;
    }
    char skipped[1024] = "";
    int rv = services.settings_load(skipped, sizeof skipped);
    sal_turn_release(turn);
    if (rv <= 0) {
        // A failed load clears nothing more.
        sal_printf("Loading the settings failed: the port counters are kept\n");
        return 0;
    }
    if (services.port_counters_clear_all != nullptr) services.port_counters_clear_all();
    if (skipped[0] == '\0') {
        sal_printf("Settings loaded\n");
    } else {
        sal_printf("Settings loaded, except:\n%s", skipped);
    }
    return 0;
}

int cmd_counters(int argc, char **argv) {
    const bool clear = argc == 2 && strcasecmp(argv[1], "clear") == 0;
    if (argc > 2 || (argc == 2 && !clear)) {
        sal_printf("Usage: counters [clear]\n");
        return 0;
    }
    if (services.end_counters_get == nullptr || (clear && services.end_counters_clear == nullptr)) {
        sal_printf("Interface counters are not available\n");
        return 0;
    }
    if (clear) {
        services.end_counters_clear();
        sal_printf("Interface counters cleared\n");
        return 0;
    }
    uint32_t rx = 0, tx = 0, bc = 0, mc = 0, uc = 0;
    services.end_counters_get(&rx, &tx, &bc, &mc, &uc);
    sal_printf("Received:  %u\nSent:      %u\nBroadcast: %u\nMulticast: %u\nUnicast:   %u\n", rx,
               tx, bc, mc, uc);
    return 0;
}

const std::array<ecos_cmd, 5> commands{{
    {"help", cmd_help, "help [command]", "List the commands, or describe one"},
    {"exit", cmd_exit, "exit", "Leave the shell"},
    {"reboot", cmd_reboot, "reboot", "Restart the switch"},
    {"load", cmd_load, "load", "Load the saved settings and clear the port counters"},
    {"counters", cmd_counters, "counters [clear]",
     "Show the management interface counters, or clear them"},
}};

const ecos_cmd *find_command(const char *name) {
    for (const ecos_cmd &c : commands) {
        if (sal_strcasecmp(c.name, name) == 0) return &c;
    }
    return nullptr;
}

int cmd_help(int argc, char **argv) {
    if (argc > 1) {
        const ecos_cmd *c = find_command(argv[1]);
        if (c == nullptr) {
            sal_printf("No such command: %s\n", argv[1]);
        } else {
            sal_printf("Usage: %s\n  %s\n", c->usage, c->description);
        }
        return 0;
    }
    for (const ecos_cmd &c : commands)
        sal_printf("  %-10s %s\n", c.name, c.description);
    return 0;
}

// Longest user name or password a login reads.
constexpr size_t kLoginFieldSize = 64;
// Failed-login lines a burst writes: three tries in each of four telnet sessions.
constexpr uint32_t kFailedLinesPerBurst = 12;

// Equal texts, compared in a time that tells nothing of where they differ.
bool same_text(const char *given, const char *want) {
    char a[kLoginFieldSize] = {0}, b[kLoginFieldSize] = {0};
    std::snprintf(a, sizeof a, "%s", given);
    std::snprintf(b, sizeof b, "%s", want);
    unsigned diff = 0;
    for (size_t i = 0; i < sizeof a; i++)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

bool account_matches(const char *user, const char *password) {
    char want_user[16] = {0}, want_password[16] = {0};
    bool have_user = services.username_get != nullptr
                         ? services.username_get(want_user, sizeof want_user) == 1
                         : (std::strcpy(want_user, kFactoryUser), true);
    bool have_password = services.password_get != nullptr
                             ? services.password_get(want_password, sizeof want_password) == 1
                             : (std::strcpy(want_password, kFactoryPassword), true);
    // Both compared whatever the first gives: no early exit to time.
    bool user_ok = same_text(user, want_user);
    bool password_ok = same_text(password, want_password);
    return have_user && have_password && user_ok && password_ok;
}

// Reads the password with the console's echo off where it can be turned off.
char *read_password(char *buf, int size) {
    bool hidden = sal_console_echo_set(0) == 0;
    char *got = diag_readline("password: ", buf, size, nullptr);
    if (hidden) {
        sal_console_echo_set(1);
        sal_printf("\n");  // the Enter that ended the line was not shown either
    }
    return got;
}

}  // namespace

void ecos_shell_init(const ecos_shell_services *s) {
    services = s ? *s : ecos_shell_services{};
    sal_shell_register(ecos_shell_run);
}

int ecos_shell_execute(char *line) {
    constexpr int kMaxArgs = 16;
    char *argv[kMaxArgs + 1];
    int argc = 0;
    char *save = nullptr;
    for (char *tok = strtok_r(line, " \t\r\n", &save); tok != nullptr && argc < kMaxArgs;
         tok = strtok_r(nullptr, " \t\r\n", &save)) {
        argv[argc++] = tok;
    }
    argv[argc] = nullptr;
    if (argc == 0) return 0;
    const ecos_cmd *c = find_command(argv[0]);
    if (c == nullptr) {
        sal_printf("Unknown command '%s'; type help for the list\n", argv[0]);
        return 0;
    }
    return c->handler(argc, argv);
}

void ecos_shell_run(void) {
    char line[ECOS_SHELL_LINE_MAX];
    for (;;) {
        if (diag_readline("ecos> ", line, sizeof line, nullptr) == nullptr) return;
        if (ecos_shell_execute(line) == ECOS_SHELL_EXIT) return;
    }
}

namespace {
// The address a telnet peer's text names; the console is none.
log_source source_of(const char *peer) {
    in_addr a{};
    if (inet_pton(AF_INET, peer, &a) != 1) return LOG_SOURCE_NONE;
    return log_source_ipv4(ntohl(a.s_addr));
}
}  // namespace

int ecos_shell_login_from(int max_tries, int log_module, const char *peer) {
    char user[kLoginFieldSize], password[kLoginFieldSize];
    for (int i = 0; i < max_tries; i++) {
        if (diag_readline("login: ", user, sizeof user, nullptr) == nullptr) return -1;
        if (read_password(password, sizeof password) == nullptr) return -1;
        if (account_matches(user, password)) {
            logger_printf(LOG_LEVEL_INFO, log_module, "User %.32s logined from %s", user, peer);
            return 1;
        }
        // A telnet client needs no password to make these: a gate bounds them.
        static log_gate failed_log{.burst = kFailedLinesPerBurst};
        log_gate_printf(&failed_log, source_of(peer), LOG_LEVEL_INFO, log_module,
                        "Incorrect login username(%.32s) or password from %s", user, peer);
        sal_printf("Login incorrect\n");
        sal_sleep(1);  // slows guessing down to one try a second
    }
    return 0;
}

int ecos_shell_login(int max_tries) {
    return ecos_shell_login_from(max_tries, LOG_MOD_CONSOLE, "console");
}
