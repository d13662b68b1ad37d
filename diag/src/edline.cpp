// EDline: a line editor for files of the board's file system, with
// addresses, marks, a small regular-expression language, substitution and
// global commands. One run edits one buffer on the console thread.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "diag_shell.h"
#include "sal.h"
#include "sal_fs.h"
#include "shell_cmds.h"

namespace {

constexpr size_t LINE_MAX_CHARS = 511;
constexpr size_t REPL_MAX = 256;
constexpr int MAX_GROUPS = 9;

// Command results.
constexpr int ED_OK = 0;
constexpr int ED_PRINT = 1;
constexpr int ED_LEAVE = -1;
constexpr int ED_ERR = -2;
constexpr int ED_MODIFIED = -4;
constexpr int ED_SET_FAILED = -5;
constexpr int ED_SUBST_FAILED = -6;

// ---------------------------------------------------------------- patterns

enum class item_kind { literal, any, set, group_open, group_close };

struct re_item {
    item_kind kind;
    unsigned char ch;
    bool star;
    int group;
    bool in_set[256];
};

struct pattern {
    std::vector<re_item> items;
    bool bol = false;
    bool eol = false;
    bool valid = false;
};

struct match_t {
    size_t start[MAX_GROUPS + 1];
    size_t end[MAX_GROUPS + 1];
};

// Compiles the pattern text; false on a malformed one.
bool re_compile(const std::string &src, pattern *p) {
    pattern out;
    size_t i = 0;
    int groups = 0;
    std::vector<int> open;
    if (i < src.size() && src[i] == '^') {
        out.bol = true;
        i++;
    }
    while (i < src.size()) {
        char c = src[i];
        if (c == '$' && i + 1 == src.size()) {
            out.eol = true;
            break;
        }
        re_item it{};
        if (c == '*' && !out.items.empty() && !out.items.back().star &&
            out.items.back().kind != item_kind::group_open &&
            out.items.back().kind != item_kind::group_close) {
            out.items.back().star = true;
            i++;
            continue;
        }
        if (c == '.') {
            it.kind = item_kind::any;
            i++;
        } else if (c == '[') {
            it.kind = item_kind::set;
            i++;
            bool negate = i < src.size() && src[i] == '^';
            if (negate) i++;
            bool first = true;
            while (i < src.size() && (src[i] != ']' || first)) {
                auto lo = static_cast<unsigned char>(src[i]);
                auto hi = lo;
                if (i + 2 < src.size() && src[i + 1] == '-' && src[i + 2] != ']') {
                    hi = static_cast<unsigned char>(src[i + 2]);
                    i += 2;
                }
                for (unsigned v = lo; v <= hi; v++)
                    it.in_set[v] = true;
                i++;
                first = false;
            }
            if (i >= src.size()) return false;
            i++;
            if (negate) {
                for (bool &b : it.in_set)
                    b = !b;
                it.in_set[static_cast<unsigned char>('\n')] = false;
            }
        } else if (c == '\\' && i + 1 < src.size() && src[i + 1] == '(') {
            if (groups == MAX_GROUPS) return false;
            it.kind = item_kind::group_open;
            it.group = ++groups;
            open.push_back(groups);
            i += 2;
        } else if (c == '\\' && i + 1 < src.size() && src[i + 1] == ')') {
            if (open.empty()) return false;
            it.kind = item_kind::group_close;
            it.group = open.back();
            open.pop_back();
            i += 2;
        } else {
            if (c == '\\' && i + 1 < src.size()) c = src[++i];
            it.kind = item_kind::literal;
            it.ch = static_cast<unsigned char>(c);
            i++;
        }
        out.items.push_back(it);
    }
    if (!open.empty()) return false;
    out.valid = true;
    *p = std::move(out);
    return true;
}

bool item_matches(const re_item &it, unsigned char c) {
    switch (it.kind) {
        case item_kind::literal:
            return c == it.ch;
        case item_kind::any:
            return c != '\n';
        case item_kind::set:
            return it.in_set[c];
        default:
            return false;
    }
}

// Matches the items from k at pos; the end of the match, or -1.
long re_here(const pattern &p, size_t k, const std::string &s, size_t pos, match_t *m) {
    if (k == p.items.size()) return !p.eol || pos == s.size() ? static_cast<long>(pos) : -1;
    const re_item &it = p.items[k];
    if (it.kind == item_kind::group_open || it.kind == item_kind::group_close) {
        size_t &slot = it.kind == item_kind::group_open ? m->start[it.group] : m->end[it.group];
        size_t saved = slot;
        slot = pos;
        long r = re_here(p, k + 1, s, pos, m);
        if (r < 0) slot = saved;
        return r;
    }
    if (!it.star) {
        if (pos < s.size() && item_matches(it, static_cast<unsigned char>(s[pos])))
            return re_here(p, k + 1, s, pos + 1, m);
        return -1;
    }
    size_t n = pos;
    while (n < s.size() && item_matches(it, static_cast<unsigned char>(s[n])))
        n++;
    for (;;) {  // longest first, backing off
        long r = re_here(p, k + 1, s, n, m);
        if (r >= 0 || n == pos) return r;
        n--;
    }
}

// Finds the first match at or after from; true with m filled (group 0 is the
// whole match).
bool re_search(const pattern &p, const std::string &s, size_t from, match_t *m) {
    for (size_t start = from; start <= s.size(); start++) {
        if (p.bol && start != 0) return false;
        *m = match_t{};
        long end = re_here(p, 0, s, start, m);
        if (end >= 0) {
            m->start[0] = start;
            m->end[0] = static_cast<size_t>(end);
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------- editor

struct ed_line {
    std::string text;
    bool marked;
};

struct editor {
    std::vector<ed_line> buf;  // line n is buf[n - 1]
    int cur = 0;
    int line1 = 0;
    int line2 = 0;
    int naddr = 0;
    bool modified = false;
    bool in_global = false;
    std::string file;
    int marks[26] = {};
    bool opt_number = false;
    bool opt_list = false;
    bool opt_eightbit = true;
    pattern pat;

    int last() const { return static_cast<int>(buf.size()); }

    void print_line(int n) {
        const std::string &t = buf[static_cast<size_t>(n - 1)].text;
        std::string out;
        if (opt_number) {
            char num[16];
            std::snprintf(num, sizeof num, "%7d ", n);
            out = num;
        }
        for (char ch : t) {
            auto c = static_cast<unsigned char>(ch);
            if (opt_list && (c < 32 || c == 127)) {
                out += '^';
                out += c == 127 ? '?' : static_cast<char>(c + 64);
            } else {
                out += ch;
            }
        }
        if (opt_list) out += '$';
        sal_printf("%s\n", out.c_str());
    }

    void insert_after(int n, const std::string &text) {
        buf.insert(buf.begin() + n, ed_line{.text = text, .marked = false});
        for (int &m : marks)
            if (m > n) m++;
    }

    void remove_range(int from, int to) {
        buf.erase(buf.begin() + (from - 1), buf.begin() + to);
        for (int &m : marks)
            m = m > to ? m - (to - from + 1) : (m >= from ? 0 : m);
    }

    // Reads a file after line n; lines read, or -1.
    int read_file(const std::string &name, int n) {
        FILE *f = sal_fopen(name.c_str(), "r");
        if (f == nullptr) {
            sal_printf("%s isn't readable\n", name.c_str());
            return -1;
        }
        unsigned lines = 0;
        unsigned long bytes = 0;
        std::string line;
        bool cut = false;
        int c;
        while ((c = std::fgetc(f)) != EOF) {
            bytes++;
            if (c == '\n') {
                insert_after(n++, line);
                lines++;
                line.clear();
                cut = false;
                continue;
            }
            if (c == 0 || cut) continue;
            if (!opt_eightbit) c &= 0x7f;
            if (line.size() == LINE_MAX_CHARS) {
                sal_printf("truncating line\n");
                cut = true;
                continue;
            }
            line += static_cast<char>(c);
        }
        if (!line.empty()) {
            sal_printf("[Incomplete last line]\n");
            insert_after(n++, line);
            lines++;
        }
        sal_fclose(f);
        cur = n;
        sal_printf("\"%s\" %u lines %lu bytes\n", name.c_str(), lines, bytes);
        return static_cast<int>(lines);
    }

    int write_file(const std::string &name, int from, int to, const char *mode) {
        FILE *f = sal_fopen(name.c_str(), mode);
        if (f == nullptr) {
            sal_printf("%s can't be opened for writing!\n", name.c_str());
            return ED_ERR;
        }
        sal_printf("\"%s\" ", name.c_str());
        unsigned lines = 0;
        unsigned bytes = 0;
        bool failed = false;
        for (int n = from; n <= to && n >= 1; n++) {
            const std::string &t = buf[static_cast<size_t>(n - 1)].text;
            if (std::fprintf(f, "%s\n", t.c_str()) < 0) {
                sal_printf("file write error\n");
                failed = true;
                break;
            }
            lines++;
            bytes += static_cast<unsigned>(t.size() + 1);
        }
        if (sal_fclose(f) != 0 && !failed) {
            sal_printf("file write error\n");
            failed = true;
        }
        sal_printf("%u lines %u bytes\n", lines, bytes);
        if (failed) return ED_ERR;
        modified = false;
        return ED_OK;
    }

    // The file name word after a command, or the current name.
    bool file_name(const char *p, std::string *name, bool set_current) {
        p += std::strspn(p, " \t");
        std::string word(p, std::strcspn(p, " \t\n"));
        if (word.empty()) {
            if (file.empty()) {
                sal_printf("no file name\n");
                return false;
            }
            *name = file;
            return true;
        }
        if (set_current || file.empty()) file = word;
        *name = word;
        return true;
    }

    // Input mode: lines until "." after line n.
    int append_lines(int n) {
        char line[LINE_MAX_CHARS + 2];
        for (;;) {
            char prompt[16] = "";
            if (opt_number) std::snprintf(prompt, sizeof prompt, "%6d. ", n + 1);
            if (diag_readline(prompt, line, sizeof line, nullptr) == nullptr) {
                sal_printf("EOF\n");
                return ED_ERR;
            }
            if (std::strcmp(line, ".") == 0) return ED_OK;
            insert_after(n++, line);
            cur = n;
            modified = true;
        }
    }

    // Numbers past any file's length are held at a bound rather than
    // overflow; the range check then refuses them.
    static int bounded(long long v) {
        constexpr int kBound = 1000000000;
        return v > kBound ? kBound : v < -kBound ? -kBound : static_cast<int>(v);
    }

    // One address term at *pp; true with the value when one was given.
    bool address_term(const char **pp, int *value, bool *bad) {
        const char *p = *pp;
        int v;
        if (*p >= '0' && *p <= '9') {
            v = 0;
            while (*p >= '0' && *p <= '9')
                v = bounded(v * 10LL + (*p++ - '0'));
        } else if (*p == '.') {
            v = cur;
            p++;
        } else if (*p == '$') {
            v = last();
            p++;
        } else if (*p == '\'' && p[1] >= 'a' && p[1] <= 'z') {
            v = marks[p[1] - 'a'];
            if (v == 0) *bad = true;
            p += 2;
        } else if (*p == '/' || *p == '?') {
            char delim = *p++;
            std::string re = delimited(&p, delim);
            if (!use_pattern(re)) {
                *bad = true;
                return false;
            }
            v = search(delim == '/' ? 1 : -1);
            if (v == 0) *bad = true;
        } else if (*p == '+' || *p == '-') {
            v = cur;
        } else {
            return false;
        }
        while (*p == '+' || *p == '-') {
            int sign = *p++ == '+' ? 1 : -1;
            int n = 0;
            bool digits = false;
            while (*p >= '0' && *p <= '9') {
                n = bounded(n * 10LL + (*p++ - '0'));
                digits = true;
            }
            v = bounded(static_cast<long long>(v) + sign * (digits ? n : 1));
        }
        *pp = p;
        *value = v;
        return true;
    }

    // Text up to an unescaped delimiter (or the end of the line); an escaped
    // delimiter stands for itself.
    static std::string delimited(const char **pp, char delim) {
        const char *p = *pp;
        std::string out;
        while (*p != '\0' && *p != '\n' && *p != delim) {
            if (*p == '\\' && p[1] == delim) {
                out += delim;
                p += 2;
                continue;
            }
            if (*p == '\\' && p[1] != '\0') out += *p++;
            out += *p++;
        }
        if (*p == delim) p++;
        *pp = p;
        return out;
    }

    bool use_pattern(const std::string &re) {
        if (re.empty()) return pat.valid;
        if (!re_compile(re, &pat)) {
            pat.valid = false;
            return false;
        }
        return true;
    }

    int search(int dir) {
        match_t m;
        for (int i = 1, n = cur; i <= last(); i++) {
            n += dir;
            if (n > last()) n = 1;
            if (n < 1) n = last();
            if (re_search(pat, buf[static_cast<size_t>(n - 1)].text, 0, &m)) return n;
        }
        return 0;
    }

    int parse_addresses(const char **pp) {
        const char *p = *pp;
        naddr = 0;
        line1 = line2 = cur;
        for (;;) {
            p += std::strspn(p, " \t");
            int v;
            bool bad = false;
            bool got = address_term(&p, &v, &bad);
            if (bad) return ED_ERR;
            if (got) {
                if (v < 0 || v > last()) return ED_ERR;
                line1 = line2;
                line2 = v;
                naddr++;
            }
            p += std::strspn(p, " \t");
            if (*p == ';') {
                cur = line2;
            } else if (*p != ',') {
                break;
            }
            p++;
        }
        if (naddr > 2) naddr = 2;
        if (naddr == 1) line1 = line2;
        *pp = p;
        return ED_OK;
    }

    // The replacement for one match.
    bool expand(const std::string &repl, const std::string &s, const match_t &m, std::string *out) {
        for (size_t i = 0; i < repl.size(); i++) {
            char c = repl[i];
            if (c == '&') {
                out->append(s, m.start[0], m.end[0] - m.start[0]);
                continue;
            }
            if (c != '\\' || i + 1 == repl.size()) {
                *out += c;
                continue;
            }
            c = repl[++i];
            if (c >= '1' && c <= '9') {
                int g = c - '0';
                if (m.end[g] >= m.start[g] && m.end[g] <= s.size())
                    out->append(s, m.start[g], m.end[g] - m.start[g]);
            } else if (c == '0') {
                int v = 0;
                for (int k = 0;
                     k < 3 && i + 1 < repl.size() && repl[i + 1] >= '0' && repl[i + 1] <= '7'; k++)
                    v = v * 8 + (repl[++i] - '0');
                *out += static_cast<char>(v);
            } else {
                const char *from = "nNtTsSrRbB";
                const char *to = "\n\n\t\t  \r\r\b\b";
                const char *hit = std::strchr(from, c);
                *out += hit != nullptr ? to[hit - from] : c;
            }
        }
        return out->size() <= LINE_MAX_CHARS * 4;
    }

    int substitute(const char *p) {
        char delim = *p;
        if (delim == '\0' || delim == '\n' || delim == ' ') return ED_ERR;
        p++;
        std::string re = delimited(&p, delim);
        std::string repl = delimited(&p, delim);
        bool global = *p == 'g';
        if (repl.size() > REPL_MAX || !use_pattern(re)) return ED_ERR;
        if (line1 < 1) return ED_ERR;
        bool any = false;
        for (int n = line1; n <= line2; n++) {
            const std::string &s = buf[static_cast<size_t>(n - 1)].text;
            std::string out;
            size_t pos = 0;
            bool hit = false;
            match_t m;
            while (pos <= s.size() && re_search(pat, s, pos, &m)) {
                hit = true;
                out.append(s, pos, m.start[0] - pos);
                if (!expand(repl, s, m, &out)) return ED_SUBST_FAILED;
                pos = m.end[0];
                if (m.end[0] == m.start[0]) {  // an empty match moves on one character
                    if (pos < s.size()) out += s[pos];
                    pos++;
                }
                if (!global) break;
            }
            if (!hit) continue;
            if (pos < s.size()) out.append(s, pos, std::string::npos);
            // A replacement may hold newlines: the line splits there.
            std::vector<std::string> parts;
            size_t start = 0, nl;
            while ((nl = out.find('\n', start)) != std::string::npos) {
                parts.push_back(out.substr(start, nl - start));
                start = nl + 1;
            }
            parts.push_back(out.substr(start));
            for (const std::string &part : parts)
                if (part.size() > LINE_MAX_CHARS) return ED_SUBST_FAILED;
            buf[static_cast<size_t>(n - 1)].text = parts[0];
            for (size_t k = 1; k < parts.size(); k++)
                insert_after(n + static_cast<int>(k) - 1, parts[k]);
            n += static_cast<int>(parts.size()) - 1;
            line2 += static_cast<int>(parts.size()) - 1;
            cur = n;
            any = true;
            modified = true;
        }
        return any || in_global ? ED_OK : ED_ERR;
    }

    int set_option(const char *p) {
        p += std::strspn(p, " \t");
        std::string name(p, std::strcspn(p, " \t\n"));
        if (name.empty()) {
            sal_printf("number %s, list %s\n", opt_number ? "ON" : "OFF", opt_list ? "ON" : "OFF");
            return ED_OK;
        }
        struct {
            const char *name;
            bool *var;
            bool value;
        } const options[] = {
            {"number", &opt_number, true},     {"nonumber", &opt_number, false},
            {"list", &opt_list, true},         {"nolist", &opt_list, false},
            {"eightbit", &opt_eightbit, true}, {"noeightbit", &opt_eightbit, false},
        };
        for (const auto &o : options) {
            if (name == o.name) {
                *o.var = o.value;
                return ED_OK;
            }
        }
        return ED_SET_FAILED;
    }

    // Copies (or moves) line1..line2 after the address at p.
    int transfer(const char *p, bool move) {
        int dest;
        bool bad = false;
        p += std::strspn(p, " \t");
        if (!address_term(&p, &dest, &bad) || bad || dest < 0 || dest > last() || line1 < 1)
            return ED_ERR;
        if (move && dest >= line1 - 1 && dest <= line2)
            return dest == line2 || dest == line1 - 1 ? ED_OK : ED_ERR;
        std::vector<ed_line> lines(buf.begin() + (line1 - 1), buf.begin() + line2);
        int count = static_cast<int>(lines.size());
        if (move) {
            remove_range(line1, line2);
            if (dest > line2) dest -= count;
        }
        for (int k = 0; k < count; k++)
            insert_after(dest + k, lines[static_cast<size_t>(k)].text);
        cur = dest + count;
        modified = true;
        return ED_OK;
    }

    int print_range(int from, int to) {
        if (from < 1) return ED_ERR;
        for (int n = from; n <= to; n++)
            print_line(n);
        cur = to;
        return ED_OK;
    }

    // Runs the command at p with the addresses already parsed.
    int command(const char *p) {
        bool none = naddr == 0;
        char c = *p;
        if (c == 's' && std::strncmp(p, "set", 3) == 0 &&
            (p[3] == ' ' || p[3] == '\t' || p[3] == '\n'))
            return naddr == 0 ? set_option(p + 3) : ED_ERR;
        if (c != '\n') p++;
        switch (c) {
            case '\n':
                if (none) {
                    if (cur + 1 > last()) return ED_ERR;
                    cur++;
                } else {
                    if (line2 < 1) return ED_ERR;
                    cur = line2;
                }
                return ED_PRINT;
            case '=':
                sal_printf("%d\n", line2);
                return ED_OK;
            case 'a':
                return append_lines(line2);
            case 'i':
                return append_lines(line2 > 0 ? line2 - 1 : 0);
            case 'c':
                if (line1 < 1) return ED_ERR;
                remove_range(line1, line2);
                cur = line1 - 1;
                modified = true;
                return append_lines(line1 - 1);
            case 'd':
                if (line1 < 1) return ED_ERR;
                remove_range(line1, line2);
                cur = line1 <= last() ? line1 : last();
                modified = true;
                return ED_OK;
            case 'j': {
                if (none) line2 = cur + 1;
                if (line1 < 1 || line2 > last()) return ED_ERR;
                std::string joined;
                for (int n = line1; n <= line2; n++)
                    joined += buf[static_cast<size_t>(n - 1)].text;
                if (joined.size() >= LINE_MAX_CHARS) {
                    sal_printf("line too long\n");
                    return ED_ERR;
                }
                if (line2 > line1) {
                    buf[static_cast<size_t>(line1 - 1)].text = joined;
                    remove_range(line1 + 1, line2);
                    modified = true;
                }
                cur = line1;
                return ED_OK;
            }
            case 'k':
                if (*p < 'a' || *p > 'z' || line2 < 1) return ED_ERR;
                marks[*p - 'a'] = line2;
                return ED_OK;
            case 'l': {
                bool saved = opt_list;
                opt_list = true;
                int rv = print_range(line1, line2);
                opt_list = saved;
                return rv;
            }
            case 'p':
            case 'P':
                return print_range(line1, line2);
            case 'm':
            case 't':
                return transfer(p, c == 'm');
            case 's':
                return substitute(p);
            case 'g':
            case 'v':
                return global(p, c == 'g');
            case 'r': {
                std::string name;
                if (!file_name(p, &name, false)) return ED_ERR;
                int at = none ? last() : line2;
                int n = read_file(name, at);
                if (n < 0) return ED_ERR;
                if (n > 0) modified = true;
                return ED_OK;
            }
            case 'w':
            case 'W':
            case 'x': {
                if (c == 'x' && !none) return ED_ERR;
                std::string name;
                if (!file_name(p, &name, false)) return ED_ERR;
                if (none) {
                    line1 = 1;
                    line2 = last();
                }
                int rv = write_file(name, line1, line2, c == 'W' ? "a" : "w");
                return c == 'x' && rv == ED_OK ? ED_LEAVE : rv;
            }
            case 'e':
            case 'E': {
                if (!none) return ED_ERR;
                if (c == 'e' && modified) return ED_MODIFIED;
                std::string name;
                if (!file_name(p, &name, true)) return ED_ERR;
                buf.clear();
                for (int &m : marks)
                    m = 0;
                cur = 0;
                int rv = read_file(name, 0) < 0 ? ED_ERR : ED_OK;
                modified = false;
                return rv;
            }
            case 'f': {
                p += std::strspn(p, " \t");
                if (*p == '\n' || *p == '\0') {
                    sal_printf("%s\n", file.c_str());
                    return ED_OK;
                }
                std::string name;
                return file_name(p, &name, true) ? ED_OK : ED_ERR;
            }
            case 'q':
                if (!none) return ED_ERR;
                return modified ? ED_MODIFIED : ED_LEAVE;
            case 'Q':
                return none ? ED_LEAVE : ED_ERR;
            case 'z': {
                int from = line2, to = line2 + 21;
                if (*p == '-') {
                    from = line2 - 21;
                    to = line2;
                } else if (*p == '.') {
                    from = line2 - 11;
                    to = line2 + 10;
                }
                if (from < 1) from = 1;
                if (to > last()) to = last();
                return last() == 0 ? ED_ERR : print_range(from, to);
            }
            default:
                return ED_ERR;
        }
    }

    int global(const char *p, bool matching) {
        if (in_global) return ED_ERR;
        char delim = *p;
        if (delim == '\0' || delim == '\n' || delim == ' ') return ED_ERR;
        p++;
        std::string re = delimited(&p, delim);
        if (!use_pattern(re)) return ED_ERR;
        if (naddr == 0) {
            line1 = 1;
            line2 = last();
        }
        if (line1 < 1) return ED_OK;
        match_t m;
        for (int n = line1; n <= line2; n++) {
            ed_line &l = buf[static_cast<size_t>(n - 1)];
            l.marked = re_search(pat, l.text, 0, &m) == matching;
        }
        std::string cmd = *p == '\n' || *p == '\0' ? std::string("p\n") : std::string(p);
        in_global = true;
        int rv = ED_OK;
        for (int n = 1; n <= last() && rv >= 0;) {
            if (!buf[static_cast<size_t>(n - 1)].marked) {
                n++;
                continue;
            }
            buf[static_cast<size_t>(n - 1)].marked = false;
            cur = n;
            const char *q = cmd.c_str();
            rv = parse_addresses(&q);
            if (rv == ED_OK) rv = command(q);
            if (rv == ED_PRINT) {
                print_line(cur);
                rv = ED_OK;
            }
            n = 1;  // lines may have moved: look again from the top
        }
        in_global = false;
        for (ed_line &l : buf)
            l.marked = false;
        return rv;
    }
};

}  // namespace

int sh_edline(int, args_t *a) {
    const char *name = ARG_GET(a);
    if (name == nullptr) return CMD_USAGE;
    auto *ed = new editor();
    ed->file = std::string(name).substr(0, 255);
    FILE *probe = sal_fopen(ed->file.c_str(), "r");
    if (probe == nullptr) {
        sal_printf("\"%s\" new file\n", ed->file.c_str());
    } else {
        sal_fclose(probe);
        ed->read_file(ed->file, 0);
        ed->cur = ed->last() > 0 ? 1 : 0;
    }
    ed->modified = false;
    int break_ctx = 0;
    sh_break_push(&break_ctx);
    char line[LINE_MAX_CHARS + 3];
    int result = CMD_OK;
    int eofs = 0;
    for (;;) {
        if (diag_readline(":", line, static_cast<int>(LINE_MAX_CHARS + 1), nullptr) == nullptr) {
            sal_printf("EOF\n");
            // Input that stays closed cannot quit the editor: leave it.
            if (++eofs == 2) {
                result = CMD_FAIL;
                break;
            }
            continue;
        }
        eofs = 0;
        std::strcat(line, "\n");
        const char *p = line;
        int rv = ed->parse_addresses(&p);
        if (rv == ED_OK) rv = ed->command(p);
        if (rv == ED_PRINT) {
            ed->print_line(ed->cur);
        } else if (rv == ED_LEAVE) {
            break;
        } else if (rv == ED_MODIFIED) {
            sal_printf("buffer modified (use q again to quit)\n");
            ed->modified = false;
        } else if (rv == ED_SET_FAILED) {
            sal_printf("`set' command failed\n");
        } else if (rv == ED_SUBST_FAILED) {
            sal_printf("string substitution failed\n");
        } else if (rv < 0) {
            sal_printf("?\n");
        }
    }
    sh_break_pop(&break_ctx);
    delete ed;
    return result;
}
