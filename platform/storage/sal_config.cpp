// SDK configuration variables, kept in store order and saved as "name=value"
// lines in the RAM file system.
#include "sal_config.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "fs_internal.h"
#include "sal.h"
#include "sal_fs.h"
#include "stored_text.h"

namespace {

// Longer lines cannot be a configuration variable; they are skipped whole.
constexpr size_t kMaxLine = 4096;

// Both texts are kept ones: callers hold names and values across calls.
struct Var {
    std::string_view name;
    std::string_view value;
};

struct ConfigStore {
    std::mutex lock;
    std::vector<Var> vars;

    std::vector<Var>::iterator find(std::string_view name) {
        for (auto it = vars.begin(); it != vars.end(); ++it) {
            if (it->name == name) return it;
        }
        return vars.end();
    }

    void put(std::string_view name, std::string_view value) {
        auto it = find(name);
        if (it != vars.end()) {
            it->value = storage_text::keep(value);
        } else {
            vars.push_back(Var{storage_text::keep(name), storage_text::keep(value)});
        }
    }
};

ConfigStore &store() {
    static auto *s = new ConfigStore;
    return *s;
}

bool has_line_break(const char *text) {
    return std::strpbrk(text, "\r\n") != nullptr;
}

std::string_view trim(std::string_view s) {
    const char *blanks = " \t";
    size_t first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

// Reads one line without its end; false at end of file. A line longer than
// kMaxLine is consumed and reported through *too_long.
bool read_line(FILE *f, std::string *line, bool *too_long) {
    line->clear();
    *too_long = false;
    int c;
    bool any = false;
    while ((c = std::fgetc(f)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (line->size() < kMaxLine) {
            line->push_back(static_cast<char>(c));
        } else {
            *too_long = true;
        }
    }
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return any;
}

}  // namespace

const char *sal_config_get(const char *name) {
    if (name == nullptr) return nullptr;
    ConfigStore &s = store();
    std::lock_guard<std::mutex> g(s.lock);
    auto it = s.find(name);
    return it == s.vars.end() ? nullptr : it->value.data();
}

int sal_config_get_next(const char *name, const char **next_name, const char **next_value) {
    if (next_name == nullptr || next_value == nullptr) return -1;
    ConfigStore &s = store();
    std::lock_guard<std::mutex> g(s.lock);
    auto it = s.vars.begin();
    if (name != nullptr) {
        it = s.find(name);
        if (it == s.vars.end()) return -1;
        ++it;
    }
    if (it == s.vars.end()) return -1;
    *next_name = it->name.data();
    *next_value = it->value.data();
    return 0;
}

int sal_config_set(const char *name, const char *value) {
    if (name == nullptr || *name == '\0' || std::strchr(name, '=') != nullptr ||
        has_line_break(name) || (value != nullptr && has_line_break(value))) {
        return -1;
    }
    ConfigStore &s = store();
    std::lock_guard<std::mutex> g(s.lock);
    if (value != nullptr) {
        s.put(name, value);
        return 0;
    }
    auto it = s.find(name);
    if (it == s.vars.end()) return -1;
    s.vars.erase(it);
    return 0;
}

int sal_config_refresh(void) {
    FILE *f = sal_fopen(SAL_CONFIG_FILE, "r");
    if (f == nullptr) {
        if (errno != ENOENT) {
            sal_printf("config: cannot read %s: %s\n", SAL_CONFIG_FILE, std::strerror(errno));
        }
        return -1;
    }
    std::vector<std::pair<std::string, std::string>> read;
    std::string line;
    bool too_long = false;
    for (int number = 1; read_line(f, &line, &too_long); number++) {
        std::string_view text = trim(line);
        if (text.empty() || text.front() == '#') continue;
        size_t eq = text.find('=');
        std::string_view name = eq == std::string_view::npos ? text : trim(text.substr(0, eq));
        // A NUL would cut the name or value short as C text, and a cut name
        // no longer finds its place in the store's order.
        const char *why = too_long                                       ? "too long"
                          : text.find('\0') != text.npos                 ? "holds a NUL byte"
                          : eq == std::string_view::npos || name.empty() ? "not a name=value line"
                                                                         : nullptr;
        if (why != nullptr) {
            sal_printf("config: %s line %d ignored: %s\n", SAL_CONFIG_FILE, number, why);
            continue;
        }
        read.emplace_back(std::string(name), std::string(trim(text.substr(eq + 1))));
    }
    const bool failed = std::ferror(f) != 0;
    sal_fclose(f);
    if (failed) {
        sal_printf("config: error reading %s\n", SAL_CONFIG_FILE);
        return -1;
    }
    ConfigStore &s = store();
    std::lock_guard<std::mutex> g(s.lock);
    s.vars.clear();
    for (const auto &[name, value] : read)
        s.put(name, value);
    return 0;
}

int sal_config_flush(void) {
    std::string content;
    {
        ConfigStore &s = store();
        std::lock_guard<std::mutex> g(s.lock);
        for (const auto &v : s.vars) {
            content += v.name;
            content += '=';
            content += v.value;
            content += '\n';
        }
    }
    if (sal_fs_internal::replace_file(SAL_CONFIG_FILE, content) != 0) {
        sal_printf("config: cannot write %s: %s\n", SAL_CONFIG_FILE, std::strerror(errno));
        return -1;
    }
    return 0;
}
