// Ports, port bitmaps, port abilities, block names and table-memory names,
// resolved against the unit's control record.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "diag_parse.h"
#include "drv_if.h"
#include "sal.h"
#include "shr.h"

namespace {

struct BlockTypeName {
    uint32_t mask;
    bool short_name;
    const char *name;
};

constexpr BlockTypeName kBlockTypes[] = {
    {0x1, false, "epic"},
    {0x2, false, "gpic"},
    {0x4, false, "hpic"},
    {0x8, false, "ipic"},
    {0x10, false, "xpic"},
    {0x20, false, "cmic"},
    {0x40, false, "cpic"},
    {0x80, false, "arl"},
    {0x100, false, "mmu"},
    {0x200, false, "mcu"},
    {0x400, false, "gport"},
    {0x800, false, "xport"},
    {0x400000, false, "gxport"},
    {0x4000000, false, "xgport"},
    {0x8000000, false, "sport"},
    {0x10000, false, "igr"},
    {0x20000, false, "egr"},
    {0x40000, false, "bse"},
    {0x80000, false, "cse"},
    {0x100000, false, "hse"},
    {0x200000, false, "bsafe"},
    {0x1, true, "e"},
    {0x2, true, "g"},
    {0x4, true, "h"},
    {0x8, true, "i"},
    {0x10, true, "x"},
    {0x20, true, "cpu"},
    {0x1000, false, "ipipe"},
    {0x2000, false, "ipipe_hi"},
    {0x4000, false, "epipe"},
    {0x8000, false, "epipe_hi"},
    {0, false, ""},
};
static_assert(std::size(kBlockTypes) == 32, "31 block-type names and the end row");

struct PortTypeName {
    uint32_t mask;
    const char *name;
};

constexpr PortTypeName kPortTypes[] = {
    {0x1, "fe"},      {0x2, "ge"},   {0x400, "ge"},     {0x4000000, "ge"},  {0x8000000, "ge"},
    {0x400000, "tl"}, {0x4, "tl"},   {0x8, "tl"},       {0x800, "tl"},      {0x10, "xe"},
    {0x20, "cpu"},    {0x40, "cpu"}, {0x800000, "spi"}, {0x1000000, "exp"},
};
static_assert(std::size(kPortTypes) == 14);

struct Ability {
    const char *name;
    uint32_t mask;
};

constexpr Ability kAbilities[] = {
    {"full", 0x400002aa}, {"half", 0x20000155}, {"2500", 0xc0},     {"2500full", 0x80},
    {"2500half", 0x40},   {"1000", 0x30},       {"1000full", 0x20}, {"1000half", 0x10},
    {"100", 0xc},         {"100full", 0x8},     {"100half", 0x4},   {"10", 0x3},
    {"10full", 0x2},      {"10half", 0x1},      {"pause", 0xc00},   {"pause_tx", 0x400},
    {"pause_rx", 0x800},
};
static_assert(std::size(kAbilities) == 17);

bool pbmp_empty(const soc_pbmp_t &b) {
    return soc_pbmp_is_null(b);
}

bool all_digits(const char *s) {
    if (*s == '\0') return false;
    for (; *s != '\0'; s++) {
        if (!std::isdigit(static_cast<unsigned char>(*s))) return false;
    }
    return true;
}

bool valid_port(const soc_control_t *s, int port) {
    return port >= 0 && port < SOC_MAX_NUM_PORTS && port < s->port_num &&
           soc_pbmp_member(s->all.bitmap, port);
}

const chipdata_block *block_table(const soc_control_t *s) {
    return s->chip_driver != nullptr ? s->chip_driver->block_info : nullptr;
}

// The unit's port set of a set name, or false for a name that is none.
bool named_set(const soc_control_t *s, const char *name, size_t len, soc_pbmp_t *set) {
    static const soc_pbmp_t kNone{};
    struct Row {
        const char *name;
        const soc_pbmp_t *set;
    };
    const Row rows[] = {
        {"fe", &s->fe.bitmap},    {"ge", &s->ge.bitmap},   {"xe", &s->xe.bitmap},
        {"tl", &s->hg.bitmap},    {"st", &kNone},          {"e", &s->e.bitmap},
        {"cpu", &s->cmic_bitmap}, {"all", &s->all.bitmap}, {"*", &s->port.bitmap},
        {"none", &kNone},
    };
    for (const Row &r : rows) {
        if (std::strlen(r.name) == len && sal_strncasecmp(name, r.name, len) == 0) {
            *set = *r.set;
            return true;
        }
    }
    return false;
}

// Ports of every block whose type matches a block-type row of that name (and
// whose instance is the given one, unless -1).
bool block_set(const soc_control_t *s, const char *name, size_t len, int instance,
               soc_pbmp_t *set) {
    const chipdata_block *blocks = block_table(s);
    bool named = false;
    *set = {};
    for (const BlockTypeName &row : kBlockTypes) {
        if (row.mask == 0 || std::strlen(row.name) != len ||
            sal_strncasecmp(name, row.name, len) != 0)
            continue;
        named = true;
        for (int b = 0; blocks != nullptr && b < SOC_MAX_NUM_BLKS && blocks[b].type >= 0; b++) {
            if ((static_cast<uint32_t>(blocks[b].type) & row.mask) == 0) continue;
            if (instance >= 0 && blocks[b].instance != instance) continue;
            set->w[0] |= s->block_bitmap[b].w[0];
            set->w[1] |= s->block_bitmap[b].w[1];
        }
    }
    return named;
}

int lowest(const soc_pbmp_t &b) {
    for (int p = 0; p < 64; p++) {
        if (soc_pbmp_member(b, p)) return p;
    }
    return -1;
}

int highest(const soc_pbmp_t &b) {
    for (int p = 63; p >= 0; p--) {
        if (soc_pbmp_member(b, p)) return p;
    }
    return -1;
}

// One element of a port-bitmap text: a single port, or a set of ports.
struct Element {
    bool whole;      // a set, not one port
    bool numeric;    // an ordinal: no set restricts a range
    soc_pbmp_t set;  // the set named (for a whole set, its ports)
    int port;        // the single port
};

// Reads a decimal number of at most 9 digits; -1 when there is none.
int read_decimal(const char **cursor) {
    const char *s = *cursor;
    if (!std::isdigit(static_cast<unsigned char>(*s))) return -1;
    int value = 0;
    for (; std::isdigit(static_cast<unsigned char>(*s)); s++) {
        if (value > 99999999) return -2;
        value = value * 10 + (*s - '0');
    }
    *cursor = s;
    return value;
}

int parse_element(const soc_control_t *s, const char **cursor, Element *e) {
    const char *p = *cursor;
    const char *name = p;
    while (*p != '\0' && !std::isdigit(static_cast<unsigned char>(*p)) && *p != '-' && *p != ',' &&
           *p != ':')
        p++;
    size_t len = static_cast<size_t>(p - name);
    int number = -1;
    if (std::isdigit(static_cast<unsigned char>(*p))) {
        number = read_decimal(&p);
        if (number < 0) return -1;
    }
    *cursor = p;
    *e = {};
    if (len == 0) {
        if (number < 1 || number > s->all.num) return -1;
        e->numeric = true;
        e->port = s->all.port[number - 1];
        return 0;
    }
    if (named_set(s, name, len, &e->set)) {
        if (number < 0) {
            e->whole = true;
            return 0;
        }
        // The n-th port of the set, counting from 0 in port order.
        int n = 0;
        for (int port = 0; port < 64; port++) {
            if (!soc_pbmp_member(e->set, port)) continue;
            if (n++ == number) {
                e->port = port;
                return 0;
            }
        }
        return -1;
    }
    if (!block_set(s, name, len, number, &e->set)) return -1;
    e->whole = true;
    return 0;
}

}  // namespace

// ---------------------------------------------------------------- ports

int parse_port(int unit, const char *text, int *port) {
    const soc_control_t *s = SOC_CONTROL(unit);
    if (s == nullptr || text == nullptr) return -1;
    if (std::isdigit(static_cast<unsigned char>(*text))) {
        if (!all_digits(text) || std::strlen(text) > 3) return -1;
        int n = std::atoi(text);
        if (n < 1 || n > s->all.num) return -1;
        *port = s->all.port[n - 1];
        return 0;
    }
    bool any = sal_strcasecmp(text, "any") == 0;
    for (int p = 0; p < SOC_MAX_NUM_PORTS; p++) {
        if (!valid_port(s, p)) continue;
        if (any || sal_strcasecmp(text, s->port_name[p]) == 0) {
            *port = p;
            return 0;
        }
    }
    return -1;
}

int parse_mod_port(int unit, const char *text, diag_mod_port *out) {
    if (text == nullptr) return -1;
    const char *dot = std::strchr(text, '.');
    if (dot != nullptr && dot != text && dot - text <= 9 && std::strlen(dot + 1) <= 9) {
        char mod[10] = {};
        std::memcpy(mod, text, static_cast<size_t>(dot - text));
        if (all_digits(mod) && all_digits(dot + 1)) {
            out->module = std::atoi(mod);
            out->port = std::atoi(dot + 1);
            return 0;
        }
    }
    out->module = -1;
    return parse_port(unit, text, &out->port);
}

int parse_pbmp(int unit, const char *text, soc_pbmp_t *pbmp) {
    const soc_control_t *s = SOC_CONTROL(unit);
    if (s == nullptr || text == nullptr) return -1;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return shr_parse_uint64(text, pbmp->w) == 0 ? 0 : -1;
    }
    *pbmp = {};
    if (*text == '\0') return -1;
    const char *p = text;
    for (;;) {
        bool negate = false;
        if (*p == '~' || *p == '!') {
            negate = true;
            p++;
        }
        Element first;
        if (parse_element(s, &p, &first) != 0) return -1;
        int start = first.port;
        int end = first.port;
        if (first.whole) {
            start = lowest(first.set);
            end = highest(first.set);
        }
        if (*p == '-') {
            if (first.whole) return -1;  // a range starts from one port
            p++;
            Element last;
            if (parse_element(s, &p, &last) != 0) return -1;
            end = last.whole ? highest(last.set) : last.port;
            if (end < 0 || *p == '-') return -1;
        }
        int step = 1;
        if (*p == ':') {
            p++;
            step = read_decimal(&p);
            if (step <= 0) return -1;
        }
        if (*p == ',') {
            p++;
        } else if (*p != '\0') {
            return -1;
        }
        if (start >= 0) {
            for (int port = start; port <= end && port < SOC_MAX_NUM_PORTS; port += step) {
                if (!first.numeric && !soc_pbmp_member(first.set, port)) continue;
                if (!valid_port(s, port)) continue;
                if (negate) {
                    soc_pbmp_port_remove(pbmp, port);
                } else {
                    soc_pbmp_port_add(pbmp, port);
                }
            }
        }
        if (*p == '\0') {
            // A trailing comma leaves an empty element.
            return p[-1] == ',' ? -1 : 0;
        }
    }
}

namespace {

// Appends text to buf (size bufsize) at *len, cutting what does not fit.
void append(char *buf, int bufsize, int *len, const char *text) {
    int n = static_cast<int>(std::strlen(text));
    int room = bufsize - 1 - *len;
    if (room <= 0) return;
    if (n > room) n = room;
    std::memcpy(buf + *len, text, static_cast<size_t>(n));
    *len += n;
    buf[*len] = '\0';
}

}  // namespace

void format_pbmp_set(int unit, char *buf, int bufsize, const char *name, const soc_port_list_t &set,
                     soc_pbmp_t pbmp) {
    (void)unit;
    if (bufsize <= 0) return;
    int len = static_cast<int>(std::strlen(buf));
    char item[40];
    if (set.num <= 0) return;
    bool whole = true;
    for (int i = 0; i < set.num && i < SOC_MAX_NUM_PORTS; i++)
        whole &= soc_pbmp_member(pbmp, set.port[i]);
    if (whole) {
        std::snprintf(item, sizeof item, ",%s", name);
        append(buf, bufsize, &len, item);
        return;
    }
    int num = set.num < SOC_MAX_NUM_PORTS ? set.num : SOC_MAX_NUM_PORTS;
    for (int i = 0; i < num;) {
        if (!soc_pbmp_member(pbmp, set.port[i])) {
            i++;
            continue;
        }
        int j = i;
        while (j + 1 < num && soc_pbmp_member(pbmp, set.port[j + 1]))
            j++;
        if (j > i) {
            std::snprintf(item, sizeof item, ",%s%d-%s%d", name, i, name, j);
        } else {
            std::snprintf(item, sizeof item, ",%s%d", name, i);
        }
        append(buf, bufsize, &len, item);
        i = j + 1;
    }
}

void format_pbmp(int unit, char *buf, int bufsize, soc_pbmp_t pbmp) {
    SAL_ASSERT(buf != nullptr);
    if (buf == nullptr || bufsize <= 0) return;
    buf[0] = '\0';
    const soc_control_t *s = SOC_CONTROL(unit);
    char text[512] = "";
    if (s == nullptr || (pbmp.w[0] & ~s->all.bitmap.w[0]) != 0 ||
        (pbmp.w[1] & ~s->all.bitmap.w[1]) != 0) {
        shr_format_uint64_hex(pbmp.w[0], pbmp.w[1], text);
    } else if (pbmp_empty(pbmp)) {
        std::strcpy(text, "none");
    } else {
        if (s->cmic_port >= 0 && soc_pbmp_member(pbmp, s->cmic_port)) std::strcpy(text, ",cpu");
        format_pbmp_set(unit, text, sizeof text, "fe", s->fe, pbmp);
        format_pbmp_set(unit, text, sizeof text, "ge", s->ge, pbmp);
        format_pbmp_set(unit, text, sizeof text, "xe", s->xe, pbmp);
        format_pbmp_set(unit, text, sizeof text, "tl", s->hg, pbmp);
    }
    const char *from = text[0] == ',' ? text + 1 : text;
    std::snprintf(buf, static_cast<size_t>(bufsize), "%s", from);
}

// ---------------------------------------------------------------- abilities

int parse_ability(const char *text, uint32_t *mask) {
    *mask = 0;
    if (text == nullptr) return 0;
    const char *p = text;
    while (*p != '\0') {
        bool found = false;
        for (const Ability &a : kAbilities) {
            size_t n = std::strlen(a.name);
            if (sal_strncasecmp(p, a.name, n) == 0 && (p[n] == ',' || p[n] == '\0')) {
                *mask |= a.mask;
                p += n;
                found = true;
                break;
            }
        }
        if (!found) return -1;
        if (*p == ',') p++;
    }
    return 0;
}

void format_ability(char *buf, int bufsize, uint32_t mask, int combined) {
    SAL_ASSERT(bufsize >= 80);
    if (buf == nullptr || bufsize <= 0) return;
    buf[0] = '\0';
    int len = 0;
    for (const Ability &a : kAbilities) {
        if (mask == 0) break;
        if (!combined && shr_popcount(a.mask) != 1) continue;
        if ((a.mask & mask) != a.mask) continue;
        if (len > 0) append(buf, bufsize, &len, ",");
        append(buf, bufsize, &len, a.name);
        mask &= ~a.mask;
    }
}

// ---------------------------------------------------------------- blocks and memories

int parse_index_range(const char *start, const char *end, int *first, int *last, int min, int max) {
    if (start == nullptr || *start == '\0' || sal_strcasecmp(start, "all") == 0) {
        *first = min;
        *last = max;
        return 0;
    }
    char *stop = nullptr;
    unsigned long f = std::strtoul(start, &stop, 0);
    if (stop == start || *stop != '\0' || f < static_cast<unsigned long>(min) ||
        f > static_cast<unsigned long>(max))
        return -1;
    *first = static_cast<int>(f);
    *last = *first;
    if (end != nullptr && *end != '\0') {
        unsigned long l = std::strtoul(end, &stop, 0);
        if (stop == end || *stop != '\0' || l < f || l > static_cast<unsigned long>(max)) return -1;
        *last = static_cast<int>(l);
    }
    return 0;
}

int parse_num_range(const char *text, int count, int *first, int *last) {
    if (text == nullptr || *text == '\0' || sal_strcasecmp(text, "all") == 0) {
        *first = 0;
        *last = count - 1;
        return 0;
    }
    auto digit = [count](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) && c - '0' < count ? c - '0' : -1;
    };
    int f = digit(text[0]);
    if (f < 0) return -1;
    if (text[1] == '\0') {
        *first = *last = f;
        return 0;
    }
    int l = text[1] == '-' ? digit(text[2]) : -1;
    if (l < f || text[3] != '\0') return -1;
    *first = f;
    *last = l;
    return 0;
}

int parse_block_name(int unit, const char **cursor, int *block) {
    const soc_control_t *s = SOC_CONTROL(unit);
    const chipdata_block *blocks = s != nullptr ? block_table(s) : nullptr;
    if (blocks == nullptr || cursor == nullptr || *cursor == nullptr) return -1;
    const char *p = *cursor;
    size_t word = 0;
    while (std::isalnum(static_cast<unsigned char>(p[word])) || p[word] == '_')
        word++;
    if (word == 0 || word >= 32) return -1;
    // A port name stands for the port's block.
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        if (!valid_port(s, port) || std::strlen(s->port_name[port]) != word ||
            sal_strncasecmp(p, s->port_name[port], word) != 0)
            continue;
        const chipdata_port *ports = s->chip_driver->port_info;
        if (ports == nullptr) return -1;
        *block = ports[port].block;
        *cursor = p + word;
        return 0;
    }
    size_t len = 0;
    while (len < word && !std::isdigit(static_cast<unsigned char>(p[len])))
        len++;
    const char *num = p + len;
    int instance = read_decimal(&num);
    if (instance < 0 || num != p + word) return -1;
    for (const BlockTypeName &row : kBlockTypes) {
        if (row.mask == 0 || std::strlen(row.name) != len || sal_strncasecmp(p, row.name, len) != 0)
            continue;
        for (int b = 0; b < SOC_MAX_NUM_BLKS && blocks[b].type >= 0; b++) {
            if ((static_cast<uint32_t>(blocks[b].type) & row.mask) != 0 &&
                blocks[b].instance == instance) {
                *block = b;
                *cursor = p + word;
                return 0;
            }
        }
    }
    return -1;
}

int parse_block_range(int unit, const char *text, int *first, int *last, uint32_t *types) {
    const soc_control_t *s = SOC_CONTROL(unit);
    if (s == nullptr || text == nullptr) return -1;
    *types = 0;
    if (sal_strcasecmp(text, "all") == 0 || std::strcmp(text, "*") == 0) {
        *first = 0;
        *last = s->block_num - 1;
        return 0;
    }
    for (const PortTypeName &row : kPortTypes) {
        if (sal_strcasecmp(text, row.name) == 0) *types |= row.mask;
    }
    if (*types != 0) {
        *first = *last = -1;
        return 0;
    }
    const char *p = text;
    if (parse_block_name(unit, &p, first) != 0) return -1;
    *last = *first;
    if (*p == '-') {
        p++;
        if (parse_block_name(unit, &p, last) != 0 || *last < *first) return -1;
    }
    return *p == '\0' ? 0 : -1;
}

int parse_memory_name(int unit, int *mem, const char *text, int *block) {
    const soc_control_t *s = SOC_CONTROL(unit);
    if (s == nullptr || s->chip_driver == nullptr || s->chip_driver->mem_info == nullptr ||
        text == nullptr)
        return -1;
    char name[65];
    std::snprintf(name, sizeof name, "%s", text);
    if (std::strlen(text) >= sizeof name) return -1;
    char *dot = std::strchr(name, '.');
    if (dot != nullptr) *dot++ = '\0';
    int found = -1;
    for (int m = 0; m < SOC_NUM_MEMS; m++) {
        const soc_mem_info_t *info = s->chip_driver->mem_info[m];
        const char *mname = soc_mem_name(m);
        if (info == nullptr || (info->flags & SOC_MEM_FLAG_VALID) == 0 || mname == nullptr)
            continue;
        if (sal_strcasecmp(name, mname) == 0) {
            found = m;
            break;
        }
    }
    if (found < 0) return -1;
    const soc_mem_info_t *info = s->chip_driver->mem_info[found];
    *mem = found;
    *block = -1;
    if (dot == nullptr) return 0;
    if (all_digits(dot)) {
        int n = std::strlen(dot) <= 3 ? std::atoi(dot) : 1000;
        if (info->minblock < 0 || info->minblock + n > info->maxblock) {
            sal_printf("ERROR: memory %s.%d is not valid (not enough blocks)\n", name, n);
            return -1;
        }
        *block = info->minblock + n;
        return 0;
    }
    const char *p = dot;
    int blk = -1;
    if (parse_block_name(unit, &p, &blk) != 0 || *p != '\0' || blk < info->minblock ||
        blk > info->maxblock) {
        sal_printf("ERROR: memory %s.%s (block %d) is not valid\n", name, dot, blk);
        return -1;
    }
    *block = blk;
    return 0;
}

int parse_memory_index(int unit, int mem, const char *text) {
    const soc_control_t *s = SOC_CONTROL(unit);
    const soc_mem_info_t *info = nullptr;
    if (s != nullptr && s->chip_driver != nullptr && s->chip_driver->mem_info != nullptr &&
        mem >= 0 && mem < SOC_NUM_MEMS)
        info = s->chip_driver->mem_info[mem];
    if (info != nullptr && sal_strcasecmp(text, "min") == 0) return info->index_min;
    if (info != nullptr && sal_strcasecmp(text, "max") == 0) return info->index_max;
    int index = parse_integer(text);
    if (info != nullptr && (index < info->index_min || index > info->index_max)) {
        const char *name = soc_mem_name(mem);
        sal_printf("WARNING: index %d out of range for memory %s\n", index,
                   name != nullptr ? name : "?");
    }
    return index;
}
