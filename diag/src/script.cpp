// Scripting and control flow: loops, conditions, expressions, pacing, timing
// and the rc-script runner with its in-memory cache.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "diag_expr.h"
#include "diag_parse.h"
#include "diag_shell.h"
#include "sal.h"
#include "sal_fs.h"
#include "shell_cmds.h"

namespace {

constexpr int RC_DEPTH_MAX = 32;
constexpr int EXPR_TEXT_MAX = 127;
constexpr size_t LOOP_VALUE_SIZE = 72;

std::atomic<int> rc_depth{0};

// ---------------------------------------------------------------- rc cache

struct RcEntry {
    char *name;
    char *text;
    RcEntry *next;
};
RcEntry *rc_cache = nullptr;

sal_mutex_t cache_lock() {
    static sal_mutex_t m = sal_mutex_create("rccache");
    return m;
}

struct CacheGuard {
    CacheGuard() { sal_mutex_take(cache_lock(), sal_mutex_FOREVER); }
    ~CacheGuard() { sal_mutex_give(cache_lock()); }
    CacheGuard(const CacheGuard &) = delete;
    CacheGuard &operator=(const CacheGuard &) = delete;
};

RcEntry *cache_find_locked(const char *name) {
    for (RcEntry *e = rc_cache; e != nullptr; e = e->next)
        if (std::strcmp(e->name, name) == 0) return e;
    return nullptr;
}

void cache_free(RcEntry *e) {
    sal_free(e->name);
    sal_free(e->text);
    sal_free(e);
}

// Opens a script: as named when it holds '/' or ':', else along "path".
FILE *open_script(const char *name) {
    if (std::strpbrk(name, "/:") != nullptr) return sal_fopen(name, "r");
    char path[ARGS_BUFFER];
    if (!var_get_copy("path", path, sizeof path)) std::snprintf(path, sizeof path, ".");
    char *save = nullptr;
    for (char *dir = strtok_r(path, " ", &save); dir != nullptr;
         dir = strtok_r(nullptr, " ", &save)) {
        std::string full = std::string(dir) + "/" + name;
        FILE *f = sal_fopen(full.c_str(), "r");
        if (f != nullptr) return f;
    }
    return nullptr;
}

// Lines of a script, from a file or from a cached text.
class ScriptSource {
  public:
    ScriptSource(FILE *f, char *text) : file_(f), text_(text), pos_(text) {}
    ~ScriptSource() {
        if (file_ != nullptr) sal_fclose(file_);
        sal_free(text_);
    }
    ScriptSource(const ScriptSource &) = delete;
    ScriptSource &operator=(const ScriptSource &) = delete;
    // One line; a line that does not fit is read to its end and refused
    // whole (too_long set), as the console's reader drops what does not fit,
    // so that its tail never runs as a command of its own.
    bool read(char *buf, int size, bool *too_long) {
        *too_long = false;
        if (file_ != nullptr) {
            if (std::fgets(buf, size, file_) == nullptr) return false;
            if (std::strchr(buf, '\n') != nullptr) return true;
            int c;
            while ((c = std::fgetc(file_)) != EOF && c != '\n')
                *too_long = true;
            return true;
        }
        if (pos_ == nullptr || *pos_ == '\0') return false;
        const char *nl = std::strchr(pos_, '\n');
        size_t text = nl != nullptr ? static_cast<size_t>(nl - pos_) : std::strlen(pos_);
        size_t room = static_cast<size_t>(size - 1);
        *too_long = text > room;
        size_t copied = std::min(text + (nl != nullptr ? 1 : 0), room);
        std::memcpy(buf, pos_, copied);
        buf[copied] = '\0';
        pos_ += text + (nl != nullptr ? 1 : 0);
        return true;
    }

  private:
    FILE *file_;
    char *text_;
    const char *pos_;
};

// Cuts the carriage return, the comment and the newline; true when the rest
// ends in a backslash (which is removed).
bool clean_line(char *line) {
    char *cr = std::strchr(line, '\r');
    if (cr != nullptr) std::memmove(cr, cr + 1, std::strlen(cr + 1) + 1);
    line[std::strcspn(line, "#\n")] = '\0';
    size_t len = std::strlen(line);
    if (len > 0 && line[len - 1] == '\\') {
        line[len - 1] = '\0';
        return true;
    }
    return false;
}

int run_script(int unit, const char *file, ScriptSource &src) {
    char line[ARGS_BUFFER];
    int lineno = 0;
    int rv = CMD_OK;
    bool first = true;
    for (;;) {
        bool too_long = false;
        if (!src.read(line, sizeof line, &too_long)) {
            if (first) {
                sal_printf("Error: file %s: empty script\n", file);
                return CMD_FAIL;
            }
            break;
        }
        first = false;
        lineno++;
        while (!too_long && clean_line(line)) {
            size_t len = std::strlen(line);
            if (!src.read(line + len, static_cast<int>(sizeof line - len), &too_long)) break;
            lineno++;
        }
        if (too_long) {
            sal_printf("Error: file %s: line %d longer than %d characters: script %s\n", file,
                       lineno, ARGS_BUFFER - 1,
                       diag_settings.rc_error ? "terminated" : "continuing");
            rv = CMD_FAIL;
            if (diag_settings.rc_error) break;
            var_set_integer("?", CMD_FAIL, 1, 0);
            continue;
        }
        int r = sh_process_command(unit, line);
        if (r == CMD_OK) {
            var_set_integer("?", 0, 1, 0);
            rv = CMD_OK;
            continue;
        }
        if (r == CMD_EXIT) return CMD_OK;
        if (r == CMD_INTR) return r;
        sal_printf("Error: file %s: line %d (error code %d): script %s\n", file, lineno, r,
                   diag_settings.rc_error ? "terminated" : "continuing");
        rv = CMD_FAIL;
        if (diag_settings.rc_error) break;
        var_set_integer("?", CMD_FAIL, 1, 0);
    }
    return rv;
}

// Runs the words from the next one as command lines while LoopError allows;
// the last result, starting from last.
int run_commands(int unit, args_t *a, int first, int last) {
    int rv = last;
    for (int i = first; i < a->a_argc; i++) {
        if (rv == CMD_INTR || (rv != CMD_OK && diag_settings.loop_error)) return rv;
        rv = sh_process_command(unit, a->a_argv[i]);
    }
    return rv;
}

// A loop format: literal text, "%%" and exactly one integer conversion with
// flags, width and precision.
bool loop_format_ok(const char *fmt) {
    int conversions = 0;
    for (const char *p = fmt; *p != '\0'; p++) {
        if (*p != '%') continue;
        p++;
        if (*p == '%') continue;
        p += std::strspn(p, "-+ #0");
        p += std::strspn(p, "0123456789");
        if (*p == '.') {
            p++;
            p += std::strspn(p, "0123456789");
        }
        if (*p == '\0' || std::strchr("diouxX", *p) == nullptr) return false;
        conversions++;
    }
    return conversions == 1;
}

bool condition(int unit, const char *word) {
    bool negate = false;
    while (*word == '!') {
        negate = !negate;
        word++;
    }
    if (*word == '\0') return false;
    bool ok = sh_process_command(unit, word) == CMD_OK;
    return negate ? !ok : ok;
}

}  // namespace

char *rccache_copy(const char *name) {
    CacheGuard g;
    RcEntry *e = cache_find_locked(name);
    return e != nullptr ? sal_strdup(e->text) : nullptr;
}

int rcload(int unit, args_t *a, const char *file, int quiet_ext) {
    diag_scope_t *scope = var_push_scope();
    var_set_integer("?", 0, 1, 0);
    int rv;
    if (rc_depth.fetch_add(1) + 1 >= RC_DEPTH_MAX) {
        sal_printf("rcload: recursion too deep\n");
        rv = CMD_FAIL;
    } else {
        for (int n = 1; a != nullptr && ARG_CNT(a) > 0; n++) {
            char name[16];
            std::snprintf(name, sizeof name, "%d", n);
            var_set(name, ARG_GET(a), 1, 0);
        }
        std::string name = file;
        size_t len = name.size();
        if (quiet_ext && (len < 4 || name.compare(len - 4, 4, ".soc") != 0)) name += ".soc";
        char *cached = std::strpbrk(name.c_str(), "/:") ? nullptr : rccache_copy(name.c_str());
        FILE *f = cached != nullptr ? nullptr : open_script(name.c_str());
        if (cached == nullptr && f == nullptr) {
            rv = CMD_NFND;
        } else {
            ScriptSource src(f, cached);
            rv = run_script(unit, name.c_str(), src);
        }
    }
    rc_depth.fetch_sub(1);
    var_pop_scope(scope);
    return rv;
}

int sh_rcload(int unit, args_t *a) {
    const char *file = ARG_GET(a);
    if (file == nullptr) return CMD_USAGE;
    int rv = rcload(unit, a, file, 0);
    if (rv == CMD_NFND) {
        sal_printf("%s: Error: file not found: %s\n", ARG_CMD(a), file);
        rv = CMD_FAIL;
    }
    return rv;
}

int sh_rccache(int, args_t *a) {
    const char *cmd = ARG_CMD(a);
    const char *sub = ARG_GET(a);
    if (sub == nullptr || sal_strcasecmp(sub, "show") == 0) {
        const char *name = sub != nullptr ? ARG_GET(a) : nullptr;
        CacheGuard g;
        if (name == nullptr) {
            for (RcEntry *e = rc_cache; e != nullptr; e = e->next)
                sal_printf("cached %s (%d bytes)\n", e->name,
                           static_cast<int>(std::strlen(e->text)));
            return CMD_OK;
        }
        RcEntry *e = cache_find_locked(name);
        if (e == nullptr) {
            sal_printf("%s: ERROR: %s is not cached\n", cmd, name);
            return CMD_FAIL;
        }
        sal_printf("%s: cached %s (%d bytes)\n%s\n", cmd, e->name,
                   static_cast<int>(std::strlen(e->text)), e->text);
        return CMD_OK;
    }
    bool add = sal_strcasecmp(sub, "add") == 0, addq = sal_strcasecmp(sub, "addq") == 0;
    bool update = sal_strcasecmp(sub, "update") == 0 || sal_strcasecmp(sub, "upd") == 0;
    if (add || addq || update) {
        const char *name = ARG_GET(a);
        if (name == nullptr) {
            sal_printf("%s: ERROR: missing file name\n", cmd);
            return CMD_USAGE;
        }
        {
            CacheGuard g;
            if (cache_find_locked(name) != nullptr && !update) {
                if (addq) return CMD_OK;
                sal_printf("%s: ERROR: %s already cached\n", cmd, name);
                return CMD_FAIL;
            }
        }
        FILE *f = open_script(name);
        if (f == nullptr) {
            sal_printf("%s: ERROR: %s: file not found\n", cmd, name);
            return CMD_FAIL;
        }
        std::string text;
        char piece[1024];
        size_t n;
        while ((n = std::fread(piece, 1, sizeof piece, f)) > 0)
            text.append(piece, n);
        sal_fclose(f);
        if (text.empty()) {
            sal_printf("%s: ERROR: %s: file is empty\n", cmd, name);
            return CMD_FAIL;
        }
        auto *copy = static_cast<char *>(sal_alloc(text.size() + 1, "rccache-read"));
        char *name_copy = sal_strdup(name);
        auto *e = static_cast<RcEntry *>(sal_alloc(sizeof(RcEntry), "rccache"));
        if (copy == nullptr || name_copy == nullptr || e == nullptr) {
            sal_free(copy);
            sal_free(name_copy);
            sal_free(e);
            sal_printf("%s: ERROR: out of memory\n", cmd);
            return CMD_FAIL;
        }
        std::memcpy(copy, text.c_str(), text.size() + 1);
        CacheGuard g;
        RcEntry *old = cache_find_locked(name);
        if (old != nullptr) {
            sal_free(old->text);
            old->text = copy;
            sal_free(name_copy);
            sal_free(e);
            return CMD_OK;
        }
        *e = {name_copy, copy, rc_cache};
        rc_cache = e;
        return CMD_OK;
    }
    if (sal_strcasecmp(sub, "delete") == 0 || sal_strcasecmp(sub, "del") == 0) {
        const char *name = ARG_GET(a);
        if (name == nullptr) {
            sal_printf("%s: ERROR: missing cached name\n", cmd);
            return CMD_USAGE;
        }
        CacheGuard g;
        for (RcEntry **p = &rc_cache; *p != nullptr; p = &(*p)->next) {
            if (std::strcmp((*p)->name, name) != 0) continue;
            RcEntry *e = *p;
            *p = e->next;
            cache_free(e);
            return CMD_OK;
        }
        sal_printf("%s: ERROR: %s is not cached\n", cmd, name);
        return CMD_FAIL;
    }
    if (sal_strcasecmp(sub, "clear") == 0) {
        if (ARG_CNT(a) > 0) {
            sal_printf("%s: ERROR: clear takes no arguments\n", cmd);
            return CMD_USAGE;
        }
        CacheGuard g;
        while (rc_cache != nullptr) {
            RcEntry *e = rc_cache;
            rc_cache = e->next;
            cache_free(e);
        }
        return CMD_OK;
    }
    return CMD_USAGE;
}

// ---------------------------------------------------------------- control flow

int sh_loop(int unit, args_t *a) {
    if (ARG_CNT(a) < 2) return CMD_USAGE;
    const char *count_word = ARG_GET(a);
    bool forever = std::strcmp(count_word, "*") == 0;
    int count = 0;
    if (!forever) {
        count = parse_is_integer(count_word) ? parse_integer(count_word) : -1;
        if (count < 0) {
            sal_printf("%s: Error: Invalid loop count: %s\n", ARG_CMD(a), count_word);
            return CMD_FAIL;
        }
    }
    int first = a->a_arg;
    a->a_arg = a->a_argc;
    int rv = CMD_OK;
    for (int pass = 0; forever || pass < count; pass++) {
        // An interrupted (or killed) command ends the loop whatever LoopError says.
        if (rv == CMD_INTR || (rv != CMD_OK && diag_settings.loop_error)) break;
        rv = run_commands(unit, a, first, rv);
    }
    return rv;
}

int sh_for(int unit, args_t *a) {
    if (ARG_CNT(a) < 2) return CMD_USAGE;
    const char *cmd = ARG_CMD(a);
    std::string loop_range = ARG_GET(a);
    size_t eq = loop_range.find('=');
    std::string var, parts[3], fmt = "%d";
    bool ok = eq != std::string::npos && eq > 0;
    if (ok) {
        var = loop_range.substr(0, eq);
        std::string rest = loop_range.substr(eq + 1);
        for (int i = 0; i < 3; i++) {
            size_t comma = rest.find(',');
            parts[i] = rest.substr(0, comma);
            if (comma == std::string::npos) {
                rest.clear();
                break;
            }
            rest = rest.substr(comma + 1);
            if (i == 2) fmt = rest;
        }
        ok = !parts[0].empty() && !parts[1].empty() && loop_format_ok(fmt.c_str());
    }
    if (!ok) {
        sal_printf("%s: Error: Invalid loop format\n", cmd);
        return CMD_FAIL;
    }
    // A bound or step that does not fit an integer would wrap into another loop.
    for (const std::string &part : parts) {
        if (!part.empty() && !parse_is_integer(part.c_str())) {
            sal_printf("%s: Error: Invalid loop value: %s\n", cmd, part.c_str());
            return CMD_FAIL;
        }
    }
    int value = parse_integer(parts[0].c_str());
    int stop = parse_integer(parts[1].c_str());
    int step = parts[2].empty() ? 1 : parse_integer(parts[2].c_str());
    int first = a->a_arg;
    a->a_arg = a->a_argc;
    int rv = CMD_OK;
    while ((step > 0 && value <= stop) || (step < 0 && value >= stop)) {
        // An interrupted (or killed) command ends the loop whatever LoopError says.
        if (rv == CMD_INTR || (rv != CMD_OK && diag_settings.loop_error)) break;
        char text[LOOP_VALUE_SIZE];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        // The format was checked to hold one integer conversion.
        std::snprintf(text, sizeof text, fmt.c_str(), value);
#pragma GCC diagnostic pop
        var_set(var.c_str(), text, 1, 0);
        rv = run_commands(unit, a, first, rv);
        // A step past the largest (or smallest) integer ends the loop.
        if (__builtin_add_overflow(value, step, &value)) break;
    }
    var_unset(var.c_str(), 1, 0, 0);
    return rv;
}

int sh_case(int unit, args_t *a) {
    const char *what = ARG_GET(a);
    if (what == nullptr) return CMD_USAGE;
    const char *value;
    while ((value = ARG_GET(a)) != nullptr) {
        const char *command = ARG_GET(a);
        if (command == nullptr) return CMD_USAGE;
        if (std::strcmp(value, what) == 0 || std::strcmp(value, "*") == 0) {
            a->a_arg = a->a_argc;
            return sh_process_command(unit, command);
        }
    }
    return CMD_OK;
}

int sh_if(int unit, args_t *a) {
    if (ARG_CNT(a) == 0) {
        sal_printf("%s: missing test condition\n", ARG_CMD(a));
        return CMD_USAGE;
    }
    bool truth = condition(unit, ARG_GET(a));
    int rv = CMD_OK;
    for (;;) {
        if (truth) {
            const char *w;
            while ((w = ARG_GET(a)) != nullptr) {
                if (std::strcmp(w, "&&") == 0) {
                    const char *c = ARG_GET(a);
                    truth = c != nullptr && condition(unit, c);
                    if (!truth) break;
                } else if (std::strcmp(w, "||") == 0) {
                    const char *c = ARG_GET(a);
                    if (c != nullptr) condition(unit, c);
                } else if (sal_strcasecmp(w, "else") == 0) {
                    a->a_arg = a->a_argc;
                    return rv;
                } else {
                    rv = sh_process_command(unit, w);
                    if (rv != CMD_OK && diag_settings.if_error) {
                        a->a_arg = a->a_argc;
                        return rv;
                    }
                }
            }
            if (truth) return rv;
        }
        // False: "||" right after the condition tries another one; otherwise
        // skip to "else".
        const char *w = ARG_CUR(a);
        if (w != nullptr && std::strcmp(w, "||") == 0) {
            ARG_GET(a);
            const char *c = ARG_GET(a);
            truth = c != nullptr && condition(unit, c);
            continue;
        }
        while ((w = ARG_GET(a)) != nullptr && sal_strcasecmp(w, "else") != 0) {
        }
        if (w == nullptr) return rv;
        truth = true;
    }
}

int sh_expr(int, args_t *a) {
    std::string text;
    const char *w;
    while ((w = ARG_GET(a)) != nullptr)
        text += w;
    uint32_t value = 0;
    if (text.size() > static_cast<size_t>(EXPR_TEXT_MAX) || expr_eval(text.c_str(), &value) != 0) {
        sal_printf("Invalid expression: %s\n", text.c_str());
        return CMD_FAIL;
    }
    // The value is the command result, but one that reads as a control code
    // (usage, not found, exit, interrupted, not implemented) would end the
    // line or the shell: a sum must never leave the monitor and reboot.
    const int result = static_cast<int>(value);
    if (result <= CMD_USAGE && result >= CMD_NOTIMPL) {
        sal_printf("EXPR: the value %d is a command result code; not returned\n", result);
        return CMD_FAIL;
    }
    return result;
}

int sh_echo(int, args_t *a) {
    bool newline = true;
    if (ARG_CUR(a) != nullptr && std::strcmp(ARG_CUR(a), "-n") == 0) {
        ARG_GET(a);
        newline = false;
    }
    std::string out;
    const char *w;
    for (bool first = true; (w = ARG_GET(a)) != nullptr; first = false) {
        if (!first) out += ' ';
        out += w;
    }
    sal_printf("%s%s", out.c_str(), newline ? "\n" : "");
    return CMD_OK;
}

int sh_noecho(int, args_t *a) {
    a->a_arg = a->a_argc;
    return CMD_OK;
}

int sh_pause(int, args_t *a) {
    char key = ' ';
    const char *w = ARG_CUR(a);
    if (w != nullptr && w[0] == '-' && std::isalpha(static_cast<unsigned char>(w[1])) &&
        w[2] == '\0') {
        key = static_cast<char>(std::toupper(static_cast<unsigned char>(w[1])));
        ARG_GET(a);
    }
    if (ARG_CNT(a) > 0) sh_echo(0, a);
    char prompt[64];
    if (key == ' ')
        std::snprintf(prompt, sizeof prompt, "\x1b[7mHit SPACE to continue, Q to quit\x1b[m");
    else
        std::snprintf(prompt, sizeof prompt, "\x1b[7mHit %c to continue, Q to quit\x1b[m", key);
    for (;;) {
        if (sh_stop_requested()) return CMD_INTR;
        int c = sal_readchar(prompt);
        sal_printf("\r\x1b[K");
        if (sh_stop_requested()) return CMD_INTR;
        if (c < 0 || c == 'q' || c == 'Q' || c == 0x1b) return CMD_FAIL;
        if (std::toupper(c) == key) return CMD_OK;
        sal_printf("\a");
    }
}

int sh_sleep(int, args_t *a) {
    bool quiet = ARG_CUR(a) != nullptr && sal_strcasecmp(ARG_CUR(a), "quiet") == 0;
    if (quiet) ARG_GET(a);
    int value[2] = {1, 0};
    for (int i = 0; i < 2 && ARG_CNT(a) > 0; i++) {
        const char *w = ARG_GET(a);
        if (!parse_is_integer(w) || (value[i] = parse_integer(w)) < 0) return CMD_USAGE;
    }
    if (ARG_CNT(a) > 0) return CMD_USAGE;
    int secs = value[0], usec = value[1];
    if (!quiet) {
        if (usec != 0)
            sal_printf("Sleeping for %lld.%06d seconds\n",
                       static_cast<long long>(secs) + usec / 1000000, usec % 1000000);
        else
            sal_printf("Sleeping for %d second%s\n", secs, secs >= 2 ? "s" : "");
    }
    return sh_wait_usec(static_cast<uint64_t>(secs) * 1000000 + static_cast<uint64_t>(usec), 0);
}

int sh_delay(int, args_t *a) {
    const char *w = ARG_GET(a);
    if (w == nullptr || !parse_is_integer(w) || parse_integer(w) < 0) return CMD_USAGE;
    return sh_wait_usec(static_cast<uint64_t>(parse_integer(w)), 1);
}

int sh_time(int unit, args_t *a) {
    if (ARG_CNT(a) == 0) {
        sal_printf("%.6f sec\n", sal_time_double());
        return CMD_OK;
    }
    double total = 0;
    const char *w;
    while ((w = ARG_GET(a)) != nullptr) {
        double start = sal_time_double();
        int rv = sh_process_command(unit, w);
        if (rv != CMD_OK) {
            a->a_arg = a->a_argc;
            return rv;
        }
        double took = sal_time_double() - start;
        total += took;
        sal_printf("time{%s} = %.6f sec\n", w, took);
    }
    sal_printf("time{TOTAL} = %.6f sec\n", total);
    return CMD_OK;
}
