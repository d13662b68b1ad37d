// Parse tables: declarative Name=value options of monitor commands, the
// boolean words and flag masks.
#include <cstdio>
#include <cstring>

#include "diag_parse.h"
#include "diag_shell.h"
#include "sal.h"
#include "soc_control.h"

namespace {

struct BoolWord {
    const char *name;
    int value;
};
constexpr BoolWord bool_words[] = {
    {"Yes", 1},   {"OKay", 1}, {"YOUBET", 1}, {"True", 1}, {"1", 1},
    {"0", 0},     {"ON", 1},   {"OFF", 0},    {"No", 0},   {"NOWay", 0},
    {"False", 0}, {"YEAH", 1}, {"YEP", 1},    {"NOPE", 0}, {"NOT", 0},
};

uint32_t type_of(const parse_pm_t &e) {
    return e.type & PQ_TYPE_MASK;
}

size_t value_size(uint32_t type) {
    switch (type) {
        case PQ_MAC:
            return 6;
        case PQ_PBMP:
        case PQ_MOD_PORT:
            return 8;
        case PQ_IP6:
            return 16;
        default:
            return 4;
    }
}

void set_text(parse_pm_t *e, const char *text) {
    auto **dst = static_cast<char **>(e->value);
    if ((e->type & PQ_MALLOC) && !(e->type & PQ_NOFREE)) sal_free(*dst);
    *dst = sal_strdup(text != nullptr ? text : "");
    e->type |= PQ_MALLOC;
}

// Why a word is refused, one line without the option's name.
using Why = char[160];

// A word that is no integer would be taken as 0 (or as its leading digits):
// it is refused.
bool integer_taken(const char *text, Why why) {
    if (parse_is_integer(text)) return true;
    std::snprintf(why, sizeof(Why), "not an integer");
    return false;
}

// Stores the value a word gives; 0, or -1 with the reason in `why`.
int parse_value(int unit, parse_pm_t *e, const char *text, Why why) {
    switch (type_of(*e)) {
        case PQ_INT:
            // A number that does not fit would wrap to another value.
            if (parse_integer_too_wide(text)) {
                std::snprintf(why, sizeof(Why), "number too large");
                return -1;
            }
            if (!integer_taken(text, why)) return -1;
            *static_cast<int *>(e->value) = parse_integer(text);
            return 0;
        case PQ_HEX: {
            // A 32-bit pattern, however it is written: decimal above the
            // largest int too.
            const bool wide = parse_integer_too_wide(text);
            if (wide && !parse_integer_fits(text, 32)) {
                std::snprintf(why, sizeof(Why), "number too large");
                return -1;
            }
            if (!wide && !integer_taken(text, why)) return -1;
            *static_cast<int *>(e->value) =
                wide ? static_cast<int>(parse_address(text)) : parse_integer(text);
            return 0;
        }
        case PQ_BOOL:
            if (parse_boolean(text, static_cast<int *>(e->value)) == 0) return 0;
            std::snprintf(why, sizeof(Why), "not a yes/no word (Yes, No, True, False, On, Off)");
            return -1;
        case PQ_STRING:
            set_text(e, text);
            return 0;
        case PQ_MULTI: {
            size_t at = static_cast<size_t>(std::snprintf(why, sizeof(Why), "not one of"));
            for (int i = 0; e->choices != nullptr && e->choices[i] != nullptr; i++) {
                if (parse_name_match(e->choices[i], text, '\0')) {
                    *static_cast<int *>(e->value) = i;
                    return 0;
                }
                if (at < sizeof(Why))
                    at += static_cast<size_t>(std::snprintf(why + at, sizeof(Why) - at, "%s %s",
                                                            i > 0 ? "," : "", e->choices[i]));
            }
            return -1;
        }
        case PQ_PORTMODE: {
            uint32_t mode = 0;
            if (parse_ability(text, &mode) == 0) {
                *static_cast<uint32_t *>(e->value) = mode;
                return 0;
            }
            std::snprintf(
                why, sizeof(Why),
                "not a port mode (examples: 1000full,100,10,pause 100,pause_tx,pause_rx)");
            return -1;
        }
        case PQ_IP:
            if (parse_ipaddr(text, static_cast<dxp_ip_t *>(e->value)) == 0) return 0;
            std::snprintf(why, sizeof(Why), "not an IP address (w.x.y.z or 0x<value>)");
            return -1;
        case PQ_PORT:
            if (parse_port(unit, text, static_cast<int *>(e->value)) == 0) return 0;
            std::snprintf(why, sizeof(Why), "not a port (examples: fe0 ge1 3 cpu0 any)");
            return -1;
        case PQ_MAC:
            if (parse_macaddr(text, static_cast<uint8_t *>(e->value)) == 0) return 0;
            std::snprintf(why, sizeof(Why), "not a MAC address (xx:xx:xx:xx:xx:xx or 0x<value>)");
            return -1;
        case PQ_PBMP:
            if (parse_pbmp(unit, text, static_cast<soc_pbmp_t *>(e->value)) == 0) return 0;
            std::snprintf(why, sizeof(Why),
                          "not a port bitmap (examples: fe ge fe5 fe8-fe15 fe0-fe46:2 fe0,ge1,cpu "
                          "1,25,27 none 0x0 all)");
            return -1;
        case PQ_MOD_PORT:
            if (parse_mod_port(unit, text, static_cast<diag_mod_port *>(e->value)) == 0) return 0;
            std::snprintf(why, sizeof(Why), "not a module.port (examples: 2.4 fe0 cpu0 any)");
            return -1;
        case PQ_IP6:
            if (parse_ip6addr(text, static_cast<uint8_t *>(e->value)) == 0) return 0;
            std::snprintf(why, sizeof(Why),
                          "not an IPv6 address (AAAA:BBBB:CCCC:DDDD:EEEE:FFFF:GGGG:HHHH)");
            return -1;
        default:
            std::snprintf(why, sizeof(Why), "not taken");
            return -1;
    }
}

const char *port_name(int unit, int port) {
    const soc_control_t *s = SOC_CONTROL(unit);
    if (s == nullptr || port < 0 || port >= SOC_MAX_NUM_PORTS) return "?";
    return s->port_name[port];
}

// The value as text: the destination's when from_value, else the default's.
void format_value(int unit, const parse_pm_t &e, bool from_value, char *buf, size_t size) {
    const void *p = from_value ? e.value : ((e.type & PQ_STATIC) ? e.deflt : &e.deflt);
    uint32_t t = type_of(e);
    if (!from_value && !(e.type & PQ_STATIC)) {
        // The default word itself.
        auto word = reinterpret_cast<intptr_t>(e.deflt);
        if (t == PQ_STRING) {
            std::snprintf(buf, size, "%s", e.deflt ? static_cast<const char *>(e.deflt) : "");
            return;
        }
        int v = static_cast<int>(word);
        p = nullptr;
        switch (t) {
            case PQ_BOOL:
                std::snprintf(buf, size, "%s", v ? "True" : "False");
                return;
            case PQ_HEX:
                std::snprintf(buf, size, "0x%x", static_cast<unsigned>(v));
                return;
            case PQ_MULTI:
                std::snprintf(buf, size, "%s", e.choices ? e.choices[v] : "");
                return;
            case PQ_PORTMODE: {
                char text[128];
                format_ability(text, sizeof text, static_cast<uint32_t>(v), 1);
                std::snprintf(buf, size, "%s", text);
                return;
            }
            default:
                std::snprintf(buf, size, "%d", v);
                return;
        }
    }
    char text[128];
    switch (t) {
        case PQ_INT:
            std::snprintf(buf, size, "%d", *static_cast<const int *>(p));
            return;
        case PQ_HEX:
            std::snprintf(buf, size, "0x%x", *static_cast<const unsigned *>(p));
            return;
        case PQ_BOOL:
            std::snprintf(buf, size, "%s", *static_cast<const int *>(p) ? "True" : "False");
            return;
        case PQ_STRING: {
            const char *s = *static_cast<char *const *>(p);
            std::snprintf(buf, size, "%s", s != nullptr ? s : "<none>");
            return;
        }
        case PQ_MULTI:
            std::snprintf(buf, size, "%s",
                          e.choices ? e.choices[*static_cast<const int *>(p)] : "");
            return;
        case PQ_PORTMODE:
            format_ability(text, sizeof text, *static_cast<const uint32_t *>(p), 1);
            break;
        case PQ_IP:
            format_ipaddr(text, *static_cast<const dxp_ip_t *>(p));
            break;
        case PQ_PORT: {
            int port = *static_cast<const int *>(p);
            std::snprintf(buf, size, "%s, %d", port_name(unit, port), port);
            return;
        }
        case PQ_MAC:
            format_macaddr(text, static_cast<const uint8_t *>(p));
            break;
        case PQ_PBMP: {
            const auto *b = static_cast<const soc_pbmp_t *>(p);
            char names[96];
            format_pbmp(unit, names, sizeof names, *b);
            std::snprintf(buf, size, "0x%08x%08x, %s", b->w[1], b->w[0], names);
            return;
        }
        case PQ_MOD_PORT: {
            const auto *mp = static_cast<const diag_mod_port *>(p);
            if (mp->module < 0)
                std::snprintf(buf, size, "--.%s (%d)", port_name(unit, mp->port), mp->port);
            else
                std::snprintf(buf, size, "%d.%d", mp->module, mp->port);
            return;
        }
        case PQ_IP6:
            format_ip6addr(text, static_cast<const uint8_t *>(p));
            break;
        default:
            text[0] = '\0';
            break;
    }
    std::snprintf(buf, size, "%s", text);
}

void apply_defaults(parse_table_t *pt) {
    for (int i = 0; i < pt->count; i++) {
        parse_pm_t &e = pt->entries[i];
        if (e.type & PQ_DFL) continue;
        if (type_of(e) == PQ_STRING) {
            auto **dst = static_cast<char **>(e.value);
            const char *d = static_cast<const char *>(e.deflt);
            if (e.type & PQ_NOFREE) {
                *dst = const_cast<char *>(d);
            } else {
                *dst = sal_strdup(d != nullptr ? d : "");
                e.type |= PQ_MALLOC;
            }
        } else if (e.type & PQ_STATIC) {
            if (e.deflt != nullptr)
                std::memcpy(e.value, e.deflt, value_size(type_of(e)));
            else
                std::memset(e.value, 0, value_size(type_of(e)));
        } else {
            *static_cast<int *>(e.value) = static_cast<int>(reinterpret_cast<intptr_t>(e.deflt));
        }
    }
}

int prompt_all(parse_table_t *pt) {
    int handled = 0;
    bool eof = false;
    for (int i = 0; i < pt->count;) {
        parse_pm_t &e = pt->entries[i];
        if (e.type & PQ_IGNORE) {
            i++;
            continue;
        }
        char offer[160];
        format_value(pt->unit, e, (e.type & PQ_DFL) != 0, offer, sizeof offer);
        if (eof) {
            sal_printf("%s[%s]\n", e.name, offer);
            Why why;
            parse_value(pt->unit, &e, offer, why);
            i++;
            continue;
        }
        char answer[ARGS_BUFFER];
        if (diag_readline(e.name, answer, sizeof answer, offer) == nullptr) {
            sal_printf("\n");
            eof = true;
            continue;
        }
        if (std::strcmp(answer, "-") == 0) {
            while (i > 0 && (pt->entries[--i].type & PQ_IGNORE)) {
            }
            continue;
        }
        if (Why why; parse_value(pt->unit, &e, answer, why) != 0) {
            sal_printf("Invalid response: %s\n", why);
            continue;
        }
        e.type |= PQ_PARSED;
        i++;
    }
    for (int i = 0; i < pt->count; i++)
        if (!(pt->entries[i].type & PQ_IGNORE)) handled++;
    return handled;
}

}  // namespace

int parse_boolean(const char *word, int *value) {
    const auto *row = static_cast<const BoolWord *>(
        parse_lookup(word, bool_words, sizeof(BoolWord), sizeof bool_words / sizeof bool_words[0]));
    if (row == nullptr) return -1;
    *value = row->value;
    return 0;
}

void parse_table_init(int unit, parse_table_t *pt) {
    pt->unit = unit;
    pt->count = 0;
    pt->capacity = 0;
    pt->entries = nullptr;
    pt->refused_for = nullptr;
}

int parse_table_add(parse_table_t *pt, const char *name, uint32_t type, void *deflt, void *value,
                    const char *const *choices) {
    if (pt->count == pt->capacity) {
        int cap = pt->capacity + 32;
        auto *grown = static_cast<parse_pm_t *>(
            sal_alloc(sizeof(parse_pm_t) * static_cast<size_t>(cap), "parse_tab"));
        if (grown == nullptr) {
            sal_printf("parse_table_add: ERROR: cannot allocate %d entries\n", cap);
            return -1;
        }
        if (pt->entries != nullptr) {
            std::memcpy(grown, pt->entries, sizeof(parse_pm_t) * static_cast<size_t>(pt->count));
            sal_free(pt->entries);
        }
        pt->entries = grown;
        pt->capacity = cap;
    }
    pt->entries[pt->count++] = {name, type, deflt, value, choices};
    return 0;
}

int parse_table_args(args_t *a, parse_table_t *pt) {
    apply_defaults(pt);
    if (ARG_CNT(a) == 0) return 0;
    if (std::strcmp(ARG_CUR(a), "=") == 0) {
        ARG_GET(a);
        return prompt_all(pt);
    }
    int taken = 0;
    const char *w;
    while ((w = ARG_CUR(a)) != nullptr) {
        auto *e = static_cast<parse_pm_t *>(const_cast<void *>(
            parse_lookup_stop(w, pt->entries, sizeof(parse_pm_t), pt->count, '=')));
        if (e == nullptr) break;
        const char *eq = std::strchr(w, '=');
        Why why = "";
        const bool refused =
            eq != nullptr ? parse_value(pt->unit, e, eq + 1, why) != 0 : !(e->type & PQ_NO_EQ);
        if (refused && eq == nullptr)
            std::snprintf(why, sizeof why, "needs a value (%s=...)", e->name);
        if (refused) {
            // The one line of the refusal: the caller says nothing more.
            sal_printf("%s: Error: %s refused%s%s: %s; nothing changed\n", ARG_CMD(a), w,
                       pt->refused_for != nullptr ? " for " : "",
                       pt->refused_for != nullptr ? pt->refused_for : "", why);
            return -1;
        }
        if (eq == nullptr) e->type |= PQ_NO_EQ_OPT;
        e->type |= PQ_PARSED;
        ARG_GET(a);
        taken++;
    }
    return taken;
}

void parse_table_show(parse_table_t *pt) {
    for (int i = 0; i < pt->count; i++) {
        char text[160];
        format_value(pt->unit, pt->entries[i], true, text, sizeof text);
        sal_printf("\t%s=%s\n", pt->entries[i].name, text);
    }
}

void parse_table_done(parse_table_t *pt) {
    for (int i = 0; i < pt->count; i++) {
        parse_pm_t &e = pt->entries[i];
        if ((e.type & PQ_MALLOC) && !(e.type & PQ_NOFREE)) {
            auto **dst = static_cast<char **>(e.value);
            sal_free(*dst);
            *dst = nullptr;
            e.type &= ~PQ_MALLOC;
        }
    }
    sal_free(pt->entries);
    pt->entries = nullptr;
    pt->capacity = 0;
    pt->count = 0;
}

int parse_options(args_t *a, parse_table_t *pt, int *rv) {
    if (ARG_CNT(a) == 0) {
        sal_printf("Current settings:\n");
        parse_table_show(pt);
        parse_table_done(pt);
        *rv = CMD_OK;
        return 0;
    }
    int n = parse_table_args(a, pt);
    if (n < 0 || ARG_CNT(a) > 0) {
        if (n >= 0) sal_printf("%s: Error: Unknown option: %s\n", ARG_CMD(a), ARG_CUR(a));
        parse_table_done(pt);
        *rv = CMD_FAIL;
        return 0;
    }
    return 1;
}

int parse_mask(const char *word, const parse_mask_t *table, uint32_t *mask) {
    char sign = word[0] == '+' || word[0] == '-' ? word[0] : 0;
    const char *name = sign ? word + 1 : word;
    for (const parse_mask_t *r = table; r->name != nullptr; r++) {
        const char *rn = r->name[0] == '@' ? r->name + 1 : r->name;
        if (!parse_name_match(rn, name, '\0')) continue;
        if (sign == '+')
            *mask |= r->mask;
        else if (sign == '-')
            *mask &= ~r->mask;
        else
            *mask ^= r->mask;
        return 0;
    }
    return -1;
}

void parse_mask_format(int width, const parse_mask_t *table, uint32_t mask) {
    int len = 0;
    bool first = true;
    for (const parse_mask_t *r = table; r->name != nullptr; r++) {
        if (r->name[0] == '@' || (r->mask & mask) == 0) continue;
        len += static_cast<int>(std::strlen(r->name)) + 1;
        const char *nl = "";
        if (len > width) {
            nl = "\n";
            len = static_cast<int>(std::strlen(r->name)) + 1;
        }
        sal_printf("%s%s%s", nl, first ? "" : " ", r->name);
        first = false;
    }
    sal_printf("\n");
}
