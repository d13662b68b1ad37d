// Register symbol table of the monitor: register names (any case) to register
// ids, and register references ("$NAME.part[from-to]") to address lists.
#include "diag_symtab.h"

#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "chipdata/chipdata.h"
#include "diag_parse.h"
#include "drv_if.h"
#include "drv_reg.h"
#include "sal.h"
#include "soc_cm.h"
#include "soc_control.h"
#include "soc_regdesc.h"

namespace {

constexpr int kBuckets = 2536;
constexpr int kDebugSymtab = 8;
constexpr int kDebugRegErr = 0x8000000;
constexpr int kDebugPbmp = 0x10008;
constexpr int kListRoom = SOC_REGADDRLIST_BYTES / static_cast<int>(sizeof(soc_regaddrinfo_t));

symtab_entry_t *entries = nullptr;
symtab_entry_t *buckets[kBuckets];
int entry_count = 0;
std::atomic<bool> built{false};

bool debug_on(uint32_t flag) {
    return soc_cm_debug_enabled(flag) != 0;
}

const chipdata_reg *unit_reg(int unit, int reg) {
    const soc_control_t *s = SOC_CONTROL(unit);
    if (s == nullptr || s->chip_driver == nullptr || reg < 0 || reg >= CHIPDATA_NUM_REGS)
        return nullptr;
    return SOC_REG_INFO(unit, static_cast<uint32_t>(reg));
}

void build() {
    entries = static_cast<symtab_entry_t *>(
        sal_alloc(sizeof(symtab_entry_t) * CHIPDATA_NUM_REGS, "symtab_table"));
    if (entries == nullptr) return;
    int chained = 0;
    for (int id = 0; id < CHIPDATA_NUM_REGS; id++) {
        const char *name = chipdata_reg_name(id);
        if (name == nullptr || *name == '\0') continue;
        symtab_entry_t *e = symtab_find(-1, name);
        if (e != nullptr) {
            e->reg = id;
        } else {
            symtab_add(name, id, entry_count++, &chained);
        }
    }
    if (!debug_on(kDebugSymtab)) return;
    for (int span : {kBuckets, CHIPDATA_NUM_REGS}) {
        int empty = 0, longest = 0;
        for (int b = 0; b < span; b++) {
            int len = 0;
            for (const symtab_entry_t *e = buckets[b]; e != nullptr; e = e->next)
                len++;
            if (len == 0) empty++;
            if (len > longest) longest = len;
        }
        soc_cm_debug_print(kDebugSymtab,
                           "symtab: init %d regs, %d symbols, %d linear, %d chained,\n\t\t%d "
                           "empty, %d longest chain\n",
                           span, entry_count, entry_count - chained, chained, empty, longest);
    }
}

// Cuts the index part ("[a-b]" or "(a-b)") off text.
int index_parse(char *text, char **from, char **to) {
    char *open = std::strchr(text, '[');
    char close = ']';
    if (open == nullptr) {
        open = std::strchr(text, '(');
        close = ')';
    }
    if (open == nullptr) return 0;
    *open = '\0';
    *from = open + 1;
    char *end = std::strchr(*from, close);
    if (end == nullptr) {
        soc_cm_debug_print(kDebugRegErr, "Could not parse index in %s.\n", text);
    } else {
        *end = '\0';
    }
    char *dash = std::strchr(*from, '-');
    if (dash != nullptr) {
        *dash = '\0';
        *to = dash + 1;
    } else {
        *to = nullptr;
    }
    return 1;
}

bool parse_bound(const char *text, int max, int *out) {
    if (text == nullptr || *text == '\0') return false;
    char *end = nullptr;
    long v = std::strtol(text, &end, 0);
    if (*end != '\0' || v < 0 || v > max) return false;
    *out = static_cast<int>(v);
    return true;
}

}  // namespace

uint32_t symtab_hash(const char *name) {
    uint32_t h = 0;
    for (const signed char *p = reinterpret_cast<const signed char *>(name); *p != 0; p++) {
        int c = *p;
        if (c >= 'a' && c <= 'z') c -= 32;
        h = ((h << 3) ^ h ^ (h >> 7)) ^ static_cast<uint32_t>(c);
    }
    return h % kBuckets;
}

void symtab_add(const char *name, int reg, int slot, int *chained) {
    symtab_entry_t *e = &entries[slot];
    uint32_t b = symtab_hash(name);
    *e = {.other_reg = 0, .reg = reg, .name = name, .next = buckets[b]};
    if (buckets[b] != nullptr) (*chained)++;
    buckets[b] = e;
}

symtab_entry_t *symtab_find(int unit, const char *name) {
    symtab_entry_t *first = nullptr;
    bool family = SOC_CONTROL(unit) != nullptr && SOC_IS_FAMILY_LAYOUT(unit);
    for (symtab_entry_t *e = buckets[symtab_hash(name)]; e != nullptr; e = e->next) {
        if (strcasecmp(e->name, name) != 0) continue;
        if (first == nullptr) first = e;
        if (!family) break;
        if (unit_reg(unit, e->reg) != nullptr) return e;
    }
    return first;
}

void symtab_init(void) {
    if (!built.exchange(true)) build();
}

int symtab_addr_add(int unit, soc_regaddrlist_t *list, int reg, int block, int port, int from,
                    int to) {
    const chipdata_reg *row = unit_reg(unit, reg);
    if (row == nullptr) return 0;
    if (port != -10 && (port < 0 || port >= SOC_MAX_NUM_PORTS || !SOC_PORT_VALID(unit, port)))
        return 0;
    soc_cm_debug_print(kDebugSymtab, "symtab: lookup reg %d blk %d cos %d port %d index %d:%d\n",
                       reg, block, -1, port, from, to);
    bool array = (row->flags & CHIPDATA_RF_ARRAY) != 0;
    for (int i = from; i <= to; i++) {
        if ((row->flags & CHIPDATA_RF_INDEX_NOT_PORT) && i == port) continue;
        uint32_t addr = 0;
        int addr_port = port == -10 ? 0 : port;
        if (row->type == CHIPDATA_TYPE_SINGLE) addr_port = 0;
        // Instances the chip lacks are left out rather than aliased.
        if (drv_reg_addr_get(unit, static_cast<uint32_t>(reg), addr_port, i < 0 ? 0 : i, &addr) !=
            0)
            continue;
        if (list->count >= kListRoom) {
            sal_printf("Register %s: reference expands beyond %d entries\n", chipdata_reg_name(reg),
                       kListRoom);
            return -1;
        }
        soc_regaddrinfo_t *ai = &list->ainfo[list->count++];
        *ai = {.addr = addr,
               .valid = 1,
               .reg = reg,
               .idx = array ? i : -1,
               .reserved = 0,
               .port = port,
               .block = block,
               .field = -1};
    }
    return 0;
}

int symtab_reg_parse(int unit, soc_regaddrlist_t *list, const char *ref) {
    soc_cm_debug_print(kDebugSymtab, "parsing: %s\n", ref);
    list->count = 0;
    if (*ref == '$') ref++;
    char copy[256];
    std::snprintf(copy, sizeof copy, "%s", ref);
    char *name = copy;
    char *first = nullptr, *second = nullptr, *from = nullptr, *to = nullptr;
    int has_index = 0;
    char *dot = std::strchr(copy, '.');
    if (dot != nullptr) {
        *dot = '\0';
        first = dot + 1;
        has_index = index_parse(first, &from, &to);
        char *dot2 = std::strchr(first, '.');
        if (dot2 != nullptr) {
            *dot2 = '\0';
            second = dot2 + 1;
            if (*second == '\0') second = nullptr;
        }
        if (*first == '\0') first = nullptr;
    } else {
        has_index = index_parse(name, &from, &to);
    }

    const symtab_entry_t *sym = symtab_find(unit, name);
    if (sym == nullptr) return -1;
    const soc_control_t *s = SOC_CONTROL(unit);
    const chipdata_reg *row = unit_reg(unit, sym->reg);
    if (row == nullptr) {
        soc_cm_debug_print(kDebugRegErr, "Register %s %d is not valid for chip %s\n", name,
                           sym->reg, s != nullptr ? soc_chip_type_name(s->chip_type) : "?");
        return -1;
    }

    int count =
        (row->flags & CHIPDATA_RF_ARRAY) && row->count > 0 ? static_cast<int>(row->count) : 1;
    int lo = 0, hi = count - 1;
    if (has_index && strcasecmp(from, "all") != 0) {
        if (!parse_bound(from, count - 1, &lo) ||
            (to != nullptr ? !parse_bound(to, count - 1, &hi) : (hi = lo, false)) || hi < lo) {
            soc_cm_debug_print(kDebugRegErr, "Register %s: bad index\n", name);
            return -1;
        }
    }
    soc_cm_debug_print(kDebugSymtab, "symtab: index %d:%d type %d regblktype %#x\n", lo, hi,
                       row->type, row->block);

    switch (row->type) {
        case CHIPDATA_TYPE_ADDR:
        case CHIPDATA_TYPE_PORT_MIB:
        case CHIPDATA_TYPE_PORT_PHY: {
            if (second != nullptr) return -1;
            if (row->type == CHIPDATA_TYPE_ADDR && (row->block & CHIPDATA_BLK_SYS) &&
                first == nullptr) {
                if (symtab_addr_add(unit, list, sym->reg, -1, -10, lo, hi) < 0) return -1;
                break;
            }
            // An index selects elements of each port's instance; without
            // one, each port's register is listed once.
            if (!has_index) lo = hi = -1;
            soc_pbmp_t ports{};
            if (first != nullptr) {
                if (parse_pbmp(unit, first, &ports) < 0) return -1;
            } else {
                ports = drv_reg_port_set(unit, static_cast<uint32_t>(sym->reg));
                if (soc_pbmp_is_null(ports)) ports = s->all.bitmap;
            }
            soc_cm_debug_print(kDebugPbmp, "symtab: port bitmap 0x%08x%08x\n", ports.w[1],
                               ports.w[0]);
            for (int port = 0; port < 64; port++) {
                if (soc_pbmp_member(ports, port) &&
                    symtab_addr_add(unit, list, sym->reg, -1, port, lo, hi) < 0)
                    return -1;
            }
            break;
        }
        case CHIPDATA_TYPE_SINGLE:
            if (second != nullptr) return -1;
            if (first != nullptr) {
                if (!std::isdigit(static_cast<unsigned char>(*first))) return -1;
                lo = hi = *first - '0';
            }
            if (symtab_addr_add(unit, list, sym->reg, -1, -1, lo, hi) < 0) return -1;
            break;
        default:
            break;
    }
    if (debug_on(kDebugSymtab)) {
        for (int i = 0; i < list->count; i++) {
            char buf[128];
            soc_reg_info_sprint(unit, buf, sizeof buf, &list->ainfo[i]);
            soc_cm_debug_print(kDebugSymtab, "symtab:  %d: %s %x\n", i, buf, list->ainfo[i].addr);
        }
    }
    return list->count > 0 ? 0 : -1;
}
