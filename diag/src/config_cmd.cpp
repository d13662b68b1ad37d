// CONFig: shows and edits the SDK configuration variables ("config.dxp").
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "diag_shell.h"
#include "sal.h"
#include "sal_config.h"
#include "shell_cmds.h"

namespace {

// The existing variable a Name=value word selects: the exact name, else the
// first in store order that the word abbreviates; null when none.
const char *config_match(const char *word) {
    size_t n = std::strcspn(word, "=");
    const char *name = nullptr;
    const char *value = nullptr;
    const char *abbreviated = nullptr;
    while (sal_config_get_next(name, &name, &value) == 0) {
        if (std::strlen(name) == n && std::strncmp(name, word, n) == 0) return name;
        if (abbreviated == nullptr && parse_name_match(name, word, '=')) abbreviated = name;
    }
    return abbreviated;
}

// Every word is checked before any variable changes: a line with one bad
// assignment sets none of them.
int config_assign(args_t *a, bool add) {
    const char *cmd = ARG_CMD(a);
    std::vector<std::pair<std::string, std::string>> sets;
    int rv = CMD_OK;
    const char *w;
    while ((w = ARG_GET(a)) != nullptr) {
        const char *eq = std::strchr(w, '=');
        if (eq == nullptr || eq == w || std::strpbrk(w, "\r\n") != nullptr) {
            sal_printf("%s: Invalid assignment: %s\n", cmd, w);
            rv = CMD_FAIL;
            continue;
        }
        const char *name = config_match(w);
        if (name == nullptr && !add) {
            sal_printf("%s: Must use 'add' to create new variable: %s\n", cmd, w);
            rv = CMD_FAIL;
            continue;
        }
        sets.emplace_back(name != nullptr ? std::string(name) : std::string(w, eq), eq + 1);
    }
    if (rv != CMD_OK) {
        sal_printf("%s: nothing set\n", cmd);
        return rv;
    }
    for (const auto &[name, value] : sets) {
        if (sal_config_set(name.c_str(), value.c_str()) < 0) {
            sal_printf("%s: Invalid option: %s=%s\n", cmd, name.c_str(), value.c_str());
            return CMD_FAIL;
        }
    }
    return CMD_OK;
}

}  // namespace

int sh_config(int, args_t *a) {
    const char *cmd = ARG_CMD(a);
    const char *w = ARG_CUR(a);
    // A sub-command word is the handler's own: take it so that the monitor
    // does not warn of it as left over.
    bool sub =
        w != nullptr && (sal_strcasecmp(w, "show") == 0 || sal_strcasecmp(w, "refresh") == 0 ||
                         sal_strcasecmp(w, "save") == 0 || sal_strcasecmp(w, "clear") == 0);
    if (sub) ARG_GET(a);
    if (w == nullptr || sal_strcasecmp(w, "show") == 0) {
        const char *name = nullptr;
        const char *value = nullptr;
        while (sal_config_get_next(name, &name, &value) == 0)
            sal_printf("\t%s=%s\n", name, value);
        return CMD_OK;
    }
    if (sal_strcasecmp(w, "refresh") == 0) {
        sal_printf("%s: Refreshing configuration database\n", cmd);
        if (sal_config_refresh() < 0) {
            sal_printf("%s: Failed to refresh configuration database\n", cmd);
            return CMD_FAIL;
        }
        return CMD_OK;
    }
    if (sal_strcasecmp(w, "save") == 0) {
        if (sal_config_flush() < 0) {
            sal_printf("%s: Warning: Flush failed\n", cmd);
            return CMD_FAIL;
        }
        return CMD_OK;
    }
    if (sal_strcasecmp(w, "delete") == 0) {
        ARG_GET(a);
        // Every name is found before any goes.
        std::vector<std::string> names;
        for (const char *name; (name = ARG_GET(a)) != nullptr;) {
            if (sal_config_get(name) == nullptr) {
                sal_printf("%s: Variable not found: %s\n%s: nothing deleted\n", cmd, name, cmd);
                return CMD_FAIL;
            }
            names.emplace_back(name);
        }
        for (const std::string &name : names)
            sal_config_set(name.c_str(), nullptr);
        return CMD_OK;
    }
    if (sal_strcasecmp(w, "clear") == 0) {
        const char *name;
        const char *value;
        while (sal_config_get_next(nullptr, &name, &value) == 0)
            sal_config_set(name, nullptr);
        return CMD_OK;
    }
    bool add = sal_strcasecmp(w, "add") == 0;
    if (add) ARG_GET(a);
    return config_assign(a, add);
}
