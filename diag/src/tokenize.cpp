// Command-line words: the tokenizer with quoting, escapes and variable
// expansion, and the abbreviation rule of command and option names.
#include <cctype>
#include <cstring>
#include <string>

#include "diag_shell.h"
#include "sal.h"

namespace {

sh_var_provider_t var_provider = nullptr;

constexpr int INPUT_DEPTH = 10;
constexpr size_t VAR_NAME_MAX = 256;

bool is_blank(int c) {
    return c == ' ' || c == '\f' || c == '\n' || c == '\r' || c == '\t' || c == '\v';
}

bool is_name_char(int c) {
    return std::isalnum(c) || c == '_' || c == '?';
}

// The line, then variable values pushed over it; a used-up value is popped
// when the next character is asked for.
class Input {
  public:
    explicit Input(const char *line) {
        src_[0].p = line;
        depth_ = 1;
    }
    int next() {
        while (*src_[depth_ - 1].p == '\0' && depth_ > 1) {
            --depth_;
            src_[depth_].text.clear();
        }
        const char *&p = src_[depth_ - 1].p;
        if (*p == '\0') return 0;
        last_from_line_ = depth_ == 1;
        return static_cast<unsigned char>(*p++);
    }
    // The next character of the top source only; 0 at its end. A variable
    // name ends with its source, so that a value naming its own variable
    // nests instead of expanding on the line for ever.
    int next_here() {
        const char *&p = src_[depth_ - 1].p;
        return *p == '\0' ? 0 : static_cast<unsigned char>(*p++);
    }
    void unget() { --src_[depth_ - 1].p; }
    // False when the stack is full (the value is dropped).
    bool push(const char *value) {
        if (depth_ >= INPUT_DEPTH) return false;
        src_[depth_].text = value;
        src_[depth_].p = src_[depth_].text.c_str();
        ++depth_;
        return true;
    }
    bool last_from_line() const { return last_from_line_; }
    const char *line_pos() const { return src_[0].p; }

  private:
    struct Source {
        std::string text;
        const char *p = nullptr;
    };
    Source src_[INPUT_DEPTH];
    int depth_ = 0;
    bool last_from_line_ = true;
};

// Reads a reference's name after '$' or '@'; false when it is too long.
bool read_var_name(Input &in, char *name) {
    size_t n = 0;
    int c = in.next_here();
    if (c == '{') {
        while ((c = in.next_here()) != 0 && c != '}') {
            if (n + 1 >= VAR_NAME_MAX) return false;
            name[n++] = static_cast<char>(c);
        }
    } else {
        while (c != 0 && is_name_char(c)) {
            if (n + 1 >= VAR_NAME_MAX) return false;
            name[n++] = static_cast<char>(c);
            c = in.next_here();
        }
        if (c != 0) in.unget();
    }
    name[n] = '\0';
    return true;
}

std::string expand(const char *name) {
    if (name[0] == '?' && name[1] != '\0') return var_exists(name + 1, 1, 1) ? "1" : "0";
    char value[ARGS_BUFFER];
    if (var_get_copy(name, value, sizeof value)) return value;
    if (var_provider != nullptr) {
        const char *v = var_provider(name);
        if (v != nullptr) return v;
    }
    return "";
}

}  // namespace

void sh_var_provider_set(sh_var_provider_t provider) {
    var_provider = provider;
}

char *ARG_GET(args_t *a) {
    return a->a_arg < a->a_argc ? a->a_argv[a->a_arg++] : nullptr;
}

char *ARG_CUR(args_t *a) {
    return a->a_arg < a->a_argc ? a->a_argv[a->a_arg] : nullptr;
}

int args_append(args_t *a, char *word) {
    if (a->a_argc >= ARGS_CNT) return -1;
    a->a_argv[a->a_argc++] = word;
    return 0;
}

void args_copy(args_t *dst, const args_t *src) {
    std::memcpy(dst, src, sizeof(args_t));
    for (int i = 0; i < dst->a_argc; i++)
        dst->a_argv[i] = dst->a_buffer + (src->a_argv[i] - src->a_buffer);
    // A command name outside the source's buffer is a table's constant.
    if (src->a_cmd >= src->a_buffer && src->a_cmd < src->a_buffer + ARGS_BUFFER)
        dst->a_cmd = dst->a_buffer + (src->a_cmd - src->a_buffer);
}

int sh_tokenize(const char *line, const char **rest, args_t *a) {
    a->a_argc = 0;
    a->a_arg = 0;
    a->a_cmd = nullptr;
    a->a_buffer[ARGS_BUFFER - 1] = '\0';
    if (rest != nullptr) *rest = nullptr;
    if (line == nullptr) return 0;

    Input in(line);
    bool in_word = false, dq = false, sq = false;
    size_t pos = 0;
    auto put = [&](int c) {
        if (pos < ARGS_BUFFER - 1) a->a_buffer[pos++] = static_cast<char>(c);
    };
    auto open_word = [&]() {
        if (in_word) return true;
        if (args_append(a, a->a_buffer + pos) < 0) {
            sal_printf("ERROR: Too many words on the command line (%d at most)\n", ARGS_CNT);
            return false;
        }
        in_word = true;
        return true;
    };
    auto close_word = [&]() {
        if (!in_word) return;
        if (pos < ARGS_BUFFER - 1) a->a_buffer[pos++] = '\0';
        in_word = false;
    };

    for (;;) {
        int c = in.next();
        if (c == '\\') {
            c = in.next();
            if (c == 0) {
                sal_printf("ERROR: Can't escape EOL\n");
                return -1;
            }
            if (!open_word()) return -1;
            put(c);
        } else if ((c == '$' || c == '@') && !sq) {
            char name[VAR_NAME_MAX];
            if (!read_var_name(in, name)) {
                sal_printf("ERROR: Variable name too long\n");
                return -1;
            }
            in.push(expand(name).c_str());
        } else if (c == 0 || ((is_blank(c) || c == ';') && !dq && !sq)) {
            if (c == 0 && (dq || sq)) {
                sal_printf("ERROR: Command line ended while in a quoted string\n");
                return -1;
            }
            close_word();
            if (c == ';') {
                if (rest != nullptr && in.last_from_line()) *rest = in.line_pos();
                break;
            }
            if (c == 0) break;
        } else {
            if (!open_word()) return -1;
            if (c == '"' && !sq) {
                dq = !dq;
            } else if (c == '\'' && !dq) {
                sq = !sq;
            } else {
                put(c);
            }
        }
    }
    return 0;
}

// ---------------------------------------------------------------- names

int parse_name_match(const char *name, const char *word, char end) {
    auto ended = [end](char c) { return c == '\0' || c == end; };
    const char *n = name, *w = word;
    while (*n != '\0' && !ended(*w) &&
           std::tolower(static_cast<unsigned char>(*n)) ==
               std::tolower(static_cast<unsigned char>(*w))) {
        n++;
        w++;
    }
    if (ended(*w)) {
        for (; *n != '\0'; n++)
            if (std::isupper(static_cast<unsigned char>(*n)) ||
                std::isdigit(static_cast<unsigned char>(*n)))
                return 0;
        return 1;
    }
    // The capitals and digits alone.
    w = word;
    for (n = name; *n != '\0'; n++) {
        if (!std::isupper(static_cast<unsigned char>(*n)) &&
            !std::isdigit(static_cast<unsigned char>(*n)))
            continue;
        if (ended(*w) || std::toupper(static_cast<unsigned char>(*w)) != *n) return 0;
        w++;
    }
    return ended(*w) ? 1 : 0;
}

const void *parse_lookup_stop(const char *word, const void *table, size_t row_size, int rows,
                              char end) {
    if (word == nullptr || word[0] == '\0' || word[0] == end) return nullptr;
    size_t len = std::strcspn(word, std::string(1, end).c_str());
    const void *first = nullptr;
    for (int i = 0; i < rows; i++) {
        const void *row = static_cast<const char *>(table) + static_cast<size_t>(i) * row_size;
        const char *name = *static_cast<const char *const *>(row);
        if (name == nullptr || !parse_name_match(name, word, end)) continue;
        if (std::strlen(name) == len && sal_strncasecmp(name, word, len) == 0) return row;
        if (first == nullptr) first = row;
    }
    return first;
}

const void *parse_lookup(const char *word, const void *table, size_t row_size, int rows) {
    return parse_lookup_stop(word, table, row_size, rows, '\0');
}
