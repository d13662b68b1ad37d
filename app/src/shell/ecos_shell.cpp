// The "ecos>" shell: a small command table on the calling thread's console.
#include "ecos_shell.h"

#include <array>
#include <cstring>

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
    sal_reboot();
}

int cmd_load(int, char **) {
    if (services.settings_load == nullptr) {
        sal_printf("Settings are not available\n");
        return 0;
    }
    int rv = services.settings_load();
    if (services.port_counters_clear_all != nullptr) services.port_counters_clear_all();
    sal_printf(rv > 0 ? "Settings loaded\n" : "Loading the settings failed\n");
    return 0;
}

int cmd_counters(int, char **) {
    if (services.end_counters_get == nullptr) {
        sal_printf("Interface counters are not available\n");
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
    {"counters", cmd_counters, "counters", "Show the management interface counters"},
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

bool account_matches(const char *user, const char *password) {
    char want_user[16] = {0}, want_password[16] = {0};
    bool have_user = services.username_get != nullptr
                         ? services.username_get(want_user, sizeof want_user) == 1
                         : (std::strcpy(want_user, kFactoryUser), true);
    bool have_password = services.password_get != nullptr
                             ? services.password_get(want_password, sizeof want_password) == 1
                             : (std::strcpy(want_password, kFactoryPassword), true);
    return have_user && have_password && std::strcmp(user, want_user) == 0 &&
           std::strcmp(password, want_password) == 0;
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

int ecos_shell_login(int max_tries) {
    char user[64], password[64];
    for (int i = 0; i < max_tries; i++) {
        if (diag_readline("login: ", user, sizeof user, nullptr) == nullptr) return -1;
        if (diag_readline("password: ", password, sizeof password, nullptr) == nullptr) return -1;
        if (account_matches(user, password)) return 1;
        sal_printf("Login incorrect\n");
    }
    return 0;
}
