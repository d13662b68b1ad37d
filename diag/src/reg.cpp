// The monitor's register read and write commands (Getreg, Setreg/PUTREG,
// Modreg) and the helpers the other register commands share: the
// register-type table, field assignments and the register value printer.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "bde.h"
#include "chipdata/chipdata.h"
#include "diag_parse.h"
#include "diag_symtab.h"
#include "drv_if.h"
#include "dxp_error.h"
#include "sal.h"
#include "sal_mem.h"
#include "shell_cmds.h"
#include "soc_cm.h"
#include "soc_miim.h"
#include "soc_regdesc.h"

namespace {

enum RegSpace : int {
    kSpaceSoc = 0,
    kSpacePciMem = 4,
    kSpacePciCfg = 5,
    kSpacePhy = 6,
    kSpaceMemWord = 8,
    kSpaceMemHalf = 9,
    kSpaceMemByte = 10,
};

struct RegType {
    const char *name;
    int space;
    const char *desc;
};

constexpr RegType kRegTypes[] = {
    {"PCIC", kSpacePciCfg, "PCI Configuration space"},
    {"PCIM", kSpacePciMem, "PCI Memory space (CMIC)"},
    {"SOC", kSpaceSoc, "SOC internal registers"},
    {"SCHAN", kSpaceSoc, "SOC internal registers"},
    {"PHY", kSpacePhy, "PHY registers via MII (phyID<<8|phyADDR)"},
    {"MW", kSpaceMemWord, "Host Memory 32-bit"},
    {"MH", kSpaceMemHalf, "Host Memory 16-bit"},
    {"MB", kSpaceMemByte, "Host Memory 8-bit"},
    {"MEM", kSpaceMemWord, "Host Memory 32-bit"},
};

constexpr const char *kTypeNames[] = {"schan",    "general",   "port",     "cos",
                                      "cpu",      "pci_cfg",   "phy",      "spi",
                                      "mem_word", "mem_hword", "mem_byte", "invalid"};

constexpr int kLineWidth = 62;

const RegType *reg_type_find(const char *name) {
    for (const RegType &t : kRegTypes) {
        if (strcasecmp(t.name, name) == 0) return &t;
    }
    return nullptr;
}

bool is_64bit(int unit, int reg) {
    const chipdata_reg *row = SOC_REG_INFO(unit, static_cast<uint32_t>(reg));
    return row != nullptr && (row->flags & CHIPDATA_RF_64BIT);
}

// A chip register's width in bits; 64 for an address without a register
// or a register without a length (its write is refused on its own).
int reg_bits(int unit, int reg) {
    if (reg < 0 || SOC_REG_INFO(unit, static_cast<uint32_t>(reg)) == nullptr) return 64;
    int len = DRV_SERVICES(unit)->reg_length_get(unit, static_cast<uint32_t>(reg));
    return len <= 0 || len >= 8 ? 64 : len * 8;
}

uint64_t field_get(uint64_t value, const chipdata_field &f) {
    uint64_t mask = f.len >= 64 ? ~0ull : (1ull << f.len) - 1;
    return (value >> f.bp) & mask;
}

// Host memory is only touched where something is mapped.
bool mem_checked(uint32_t addr, int width) {
    if (sal_mem_mapped(addr, width)) return true;
    sal_printf("ERROR: host address 0x%x is not mapped\n", addr);
    return false;
}

int mem_width(int space) {
    return space == kSpaceMemWord ? 4 : space == kSpaceMemHalf ? 2 : 1;
}

soc_cm_dev_t *unit_dev(int unit) {
    return soc_cm_dev(unit);
}

int reg_get_raw(int unit, uint32_t addr, int space, int flags, uint64_t *value) {
    uint64_t v = 0;
    bool wide = false;
    switch (space) {
        case kSpacePciCfg:
        case kSpacePciMem: {
            if (addr & 3) {
                sal_printf(space == kSpacePciCfg
                               ? "ERROR: PCI config addr must be multiple of 4\n"
                               : "ERROR: PCI memory addr must be multiple of 4\n");
                return -1;
            }
            if (space == kSpacePciCfg) {
                v = bde_pci_conf_read(unit, addr);
            } else {
                soc_cm_dev_t *d = unit_dev(unit);
                if (d == nullptr || d->vectors.read == nullptr) {
                    sal_printf("ERROR: unit %d has no PCI memory window\n", unit);
                    return -1;
                }
                v = d->vectors.read(d, addr);
            }
            break;
        }
        case kSpacePhy: {
            uint16_t data = 0;
            int rv = soc_miim_read(unit, (addr >> 8) & 0xff, addr & 0xff, &data);
            if (rv < 0) {
                sal_printf("ERROR: soc_miim_read failed: %s\n", dxp_errmsg(rv));
                return -1;
            }
            v = data;
            break;
        }
        case kSpaceMemWord:
        case kSpaceMemHalf:
        case kSpaceMemByte:
            if (!mem_checked(addr, mem_width(space))) return -1;
            v = space == kSpaceMemWord   ? sal_mem_read32(addr)
                : space == kSpaceMemHalf ? sal_mem_read16(addr)
                                         : sal_mem_read8(addr);
            break;
        default: {
            if (space < 0 || space > kSpaceMemByte) return -1;
            soc_regaddrinfo_t ai;
            soc_reg_addr_decode(unit, &ai, addr);
            int rv = soc_reg_info_read(unit, &ai, &v);
            if (rv < 0) {
                sal_printf("ERROR: soc_reg_read failed: %s\n", dxp_errmsg(rv));
                return -1;
            }
            wide = is_64bit(unit, ai.reg);
            break;
        }
    }
    *value = v;
    if (flags & REG_PRINT_DO) {
        if (flags & REG_PRINT_HEX) {
            if (wide) {
                sal_printf("%08x%08x\n", static_cast<uint32_t>(v >> 32), static_cast<uint32_t>(v));
            } else {
                sal_printf("%08x\n", static_cast<uint32_t>(v));
            }
        } else {
            char buf[32];
            format_uint64(buf, v);
            sal_printf("%s[0x%x] = %s\n", kTypeNames[space], addr, buf);
        }
    }
    return 0;
}

int reg_set_raw(int unit, uint32_t addr, int space, uint64_t value) {
    switch (space) {
        case kSpacePciMem: {
            soc_cm_dev_t *d = unit_dev(unit);
            if (d == nullptr || d->vectors.write == nullptr) {
                sal_printf("ERROR: unit %d has no PCI memory window\n", unit);
                return -1;
            }
            d->vectors.write(d, addr & ~3u, static_cast<uint32_t>(value));
            return 0;
        }
        case kSpacePciCfg:
            return bde_pci_conf_write(unit, addr, static_cast<uint32_t>(value)) < 0 ? -1 : 0;
        case kSpacePhy: {
            int rv = soc_miim_write(unit, (addr >> 8) & 0xff, addr & 0xff,
                                    static_cast<uint16_t>(value & 0xffff));
            if (rv < 0) {
                sal_printf("ERROR: write miim failed: %s\n", dxp_errmsg(rv));
                return -1;
            }
            return 0;
        }
        case kSpaceMemWord:
        case kSpaceMemHalf:
        case kSpaceMemByte:
            if (!mem_checked(addr, mem_width(space))) return -1;
            if (space == kSpaceMemWord) {
                sal_mem_write32(addr, static_cast<uint32_t>(value));
            } else if (space == kSpaceMemHalf) {
                sal_mem_write16(addr, static_cast<uint16_t>(value));
            } else {
                sal_mem_write8(addr, static_cast<uint8_t>(value));
            }
            return 0;
        default: {
            if (space < 0 || space > kSpaceMemByte) return -1;
            soc_regaddrinfo_t ai;
            soc_reg_addr_decode(unit, &ai, addr);
            int rv = soc_reg_info_write(unit, &ai, value);
            if (rv < 0) {
                sal_printf("ERROR: write reg failed: %s\n", dxp_errmsg(rv));
                return -1;
            }
            return 0;
        }
    }
}

void reg_args_join(args_t *a, char *buf, size_t size) {
    buf[0] = '\0';
    size_t len = 0;
    for (const char *w = ARG_GET(a); w != nullptr; w = ARG_GET(a)) {
        int n = std::snprintf(buf + len, size - len, "%s%s", len > 0 ? "," : "", w);
        if (n < 0 || static_cast<size_t>(n) >= size - len) break;
        len += static_cast<size_t>(n);
    }
}

// A raw address: PAGE and ADDRESS of 8 bits each (PHY id and register; a
// PHY has registers 0-31), host memory pages up to 24 bits. Says what does
// not fit.
bool raw_address(int space, const char *page_word, const char *addr_word, uint32_t *addr) {
    const bool phy = space == kSpacePhy;
    const int page_bits = space == kSpaceSoc || phy ? 8 : 24;
    if (!parse_integer_fits(page_word, page_bits) || *page_word == '-') {
        sal_printf("%s %s out of range (0-%u)\n", phy ? "PHY id" : "Page", page_word,
                   (1u << page_bits) - 1);
        return false;
    }
    if (!parse_integer_fits(addr_word, phy ? 5 : 8) || *addr_word == '-') {
        sal_printf("%s %s out of range (0-%d)\n", phy ? "PHY register" : "Address", addr_word,
                   phy ? 31 : 255);
        return false;
    }
    *addr = static_cast<uint32_t>(parse_integer(page_word)) << 8 |
            static_cast<uint32_t>(parse_integer(addr_word));
    return true;
}

// The width in bits of what a raw address holds; 64 where no register
// answers (the write then fails as it would).
int raw_width(int unit, int space, uint32_t addr) {
    switch (space) {
        case kSpacePhy:
            return 16;
        case kSpaceMemHalf:
            return 16;
        case kSpaceMemByte:
            return 8;
        case kSpaceMemWord:
        case kSpacePciCfg:
        case kSpacePciMem:
            return 32;
        default: {
            soc_regaddrinfo_t ai;
            soc_reg_addr_decode(unit, &ai, addr);
            return reg_bits(unit, ai.reg);
        }
    }
}

// A value text that is a number no wider than the destination; says why
// not otherwise.
bool value_fits(const char *text, int bits, const char *what) {
    if (parse_integer_fits(text, bits)) return true;
    sal_printf("Value \"%s\" too large for %d-bit %s.\n", text, bits, what);
    return false;
}

uint64_t bits_mask(int bits) {
    return bits >= 64 ? ~0ull : (1ull << bits) - 1;
}

// Words that name a register type choose the space; the default is "soc".
bool take_space(args_t *a, int *space) {
    *space = kSpaceSoc;
    if (const RegType *t = reg_type_find(ARG_CUR(a))) {
        *space = t->space;
        ARG_GET(a);
        return ARG_CUR(a) != nullptr;
    }
    return true;
}

int reg_set_common(int unit, args_t *a, int modify) {
    if (!sh_check_attached(ARG_CMD(a), unit)) return CMD_FAIL;
    if (ARG_CUR(a) == nullptr) return CMD_USAGE;
    int space = kSpaceSoc;
    if (!modify && !take_space(a, &space)) return CMD_USAGE;
    const char *ref = ARG_GET(a);

    if (!modify && parse_is_integer(ref)) {
        const char *addr_word = ARG_GET(a);
        if (addr_word == nullptr || !parse_is_integer(addr_word)) return CMD_USAGE;
        uint32_t addr;
        if (!raw_address(space, ref, addr_word, &addr)) return CMD_USAGE;
        char text[256];
        reg_args_join(a, text, sizeof text);
        if (text[0] == '\0') {
            sal_printf("Syntax error: missing value\n");
            return CMD_USAGE;
        }
        // A value the register cannot hold would be written cut.
        int bits = raw_width(unit, space, addr);
        if (!value_fits(text, bits, space == kSpacePhy ? "PHY register" : "register"))
            return CMD_USAGE;
        uint64_t value = parse_uint64(text) & bits_mask(bits);
        return reg_set_raw(unit, addr, space, value) < 0 ? CMD_FAIL : CMD_OK;
    }

    char text[256];
    reg_args_join(a, text, sizeof text);
    if (text[0] == '\0') {
        sal_printf("Syntax error: missing value\n");
        return CMD_USAGE;
    }
    // A number of any width is a value, the rest field assignments.
    bool literal = parse_integer_fits(text, 64) || parse_integer_too_wide(text);
    if (modify && literal) return CMD_USAGE;

    soc_regaddrlist_t list;
    if (!reg_list_alloc(&list, &ref)) return CMD_FAIL;
    int rv = CMD_OK;
    if (symtab_reg_parse(unit, &list, ref) < 0) {
        sal_printf("Syntax error parsing \"%s\"\n", ref);
        rv = CMD_FAIL;
    }
    // Every register of the list must hold the value before any is written.
    for (int i = 0; rv == CMD_OK && literal && i < list.count; i++) {
        const char *name = chipdata_reg_name(list.ainfo[i].reg);
        char what[96];
        std::snprintf(what, sizeof what, "register \"%s\"", name != nullptr ? name : "?");
        if (!value_fits(text, reg_bits(unit, list.ainfo[i].reg), what)) rv = CMD_USAGE;
    }
    for (int i = 0; rv == CMD_OK && i < list.count; i++) {
        const soc_regaddrinfo_t &ai = list.ainfo[i];
        uint64_t value = 0;
        if (literal) {
            value = parse_uint64(text) & bits_mask(reg_bits(unit, ai.reg));
        } else {
            if (modify && soc_reg_info_read(unit, &ai, &value) < 0) {
                sal_printf("ERROR: soc_reg_read failed\n");
                rv = CMD_FAIL;
                break;
            }
            if (reg_fields_assign(unit, ai.reg, &value, nullptr, text) < 0) {
                sal_printf("Syntax error, aborted\n");
                rv = CMD_FAIL;
                break;
            }
        }
        int wr = soc_reg_info_write(unit, &ai, value);
        if (wr < 0) {
            sal_printf("ERROR: write reg failed: %s\n", dxp_errmsg(wr));
            rv = CMD_FAIL;
        }
    }
    soc_regaddrlist_free(&list);
    return rv;
}

}  // namespace

const char *reg_type_name(int type) {
    return type >= 0 && type <= 10 ? kTypeNames[type] : kTypeNames[11];
}

int reg_fields_assign(int unit, int reg, uint64_t *value, uint64_t *mask, const char *text) {
    const chipdata_reg *row = SOC_REG_INFO(unit, static_cast<uint32_t>(reg));
    if (row == nullptr) return -1;
    const char *reg_name = chipdata_reg_name(reg);
    char copy[256];
    std::snprintf(copy, sizeof copy, "%s", text);
    char *save = nullptr;
    for (char *tok = strtok_r(copy, ",", &save); tok != nullptr;
         tok = strtok_r(nullptr, ",", &save)) {
        char *eq = std::strchr(tok, '=');
        if (eq != nullptr) *eq = '\0';
        if (*tok == '\0') {
            sal_printf("Null field name\n");
            return -1;
        }
        if (strcasecmp(tok, "clear") == 0) {
            *value = 0;
            if (mask != nullptr) *mask = ~0ull;
            continue;
        }
        const chipdata_field *f = nullptr;
        for (uint32_t i = 0; i < row->num_fields; i++) {
            const char *fname = chipdata_field_name(static_cast<int>(row->fields[i].field));
            if (fname != nullptr && strcasecmp(fname, tok) == 0) f = &row->fields[i];
        }
        if (f == nullptr) {
            sal_printf("No such field \"%s\" in register \"%s\".\n", tok, reg_name);
            return -1;
        }
        const char *fname = chipdata_field_name(static_cast<int>(f->field));
        if (eq == nullptr || eq[1] == '\0') {
            sal_printf("Missing %d-bit value to assign to \"%s\" field \"%s\".\n", f->len, reg_name,
                       fname);
            return -1;
        }
        uint64_t v = parse_uint64(eq + 1);
        uint64_t fmask = f->len >= 64 ? ~0ull : (1ull << f->len) - 1;
        bool past_64 = !parse_integer_fits(eq + 1, 64) && parse_integer_too_wide(eq + 1);
        if ((v & ~fmask) || past_64) {
            sal_printf("Value \"%s\" too large for %d-bit field \"%s\".\n", eq + 1, f->len, fname);
            return -1;
        }
        *value = (*value & ~(fmask << f->bp)) | v << f->bp;
        if (!(row->flags & CHIPDATA_RF_64BIT)) *value &= 0xffffffffull;
        if (mask != nullptr) *mask |= fmask << f->bp;
    }
    return 0;
}

void reg_print(int unit, const soc_regaddrinfo_t *ai, uint64_t value, int flags) {
    const chipdata_reg *row = SOC_REG_INFO(unit, static_cast<uint32_t>(ai->reg));
    bool wide = row != nullptr && (row->flags & CHIPDATA_RF_64BIT);
    if (!wide) value &= 0xffffffffull;
    if (flags & REG_PRINT_HEX) {
        if (wide) {
            sal_printf("%08x%08x\n", static_cast<uint32_t>(value >> 32),
                       static_cast<uint32_t>(value));
        } else {
            sal_printf("%08x\n", static_cast<uint32_t>(value));
        }
        return;
    }
    char name[128];
    soc_reg_info_sprint(unit, name, sizeof name, ai);
    char buf[32];
    format_uint64(buf, value);
    sal_printf("%s[0x%x]=%s", name, ai->addr, buf);
    if ((flags & REG_PRINT_RAW) || row == nullptr) {
        sal_printf("\n");
        return;
    }
    sal_printf(": <");
    int col = 3;
    for (int i = static_cast<int>(row->num_fields) - 1; i >= 0; i--) {
        const chipdata_field &f = row->fields[i];
        char item[96];
        format_uint64(buf, field_get(value, f));
        std::snprintf(item, sizeof item, "%s=%s%s", chipdata_field_name(static_cast<int>(f.field)),
                      buf, i > 0 ? "," : "");
        int len = static_cast<int>(std::strlen(item));
        if (col + len > kLineWidth) {
            sal_printf("\n%s", "   ");
            col = 3;
        }
        sal_printf("%s", item);
        col += len;
    }
    sal_printf(">\n");
}

bool reg_list_alloc(soc_regaddrlist_t *list, const char **ref) {
    if (soc_regaddrlist_alloc(list) < 0) {
        sal_printf("Could not allocate address list.  Memory error.\n");
        return false;
    }
    if (**ref == '$') (*ref)++;
    return true;
}

int reg_list_print(int unit, soc_regaddrlist_t *list, int flags) {
    int rv = 0;
    for (int i = 0; i < list->count; i++) {
        uint64_t value = 0;
        int r = soc_reg_info_read(unit, &list->ainfo[i], &value);
        if (r < 0) {
            char name[128];
            soc_reg_info_sprint(unit, name, sizeof name, &list->ainfo[i]);
            sal_printf("ERROR: read from register %s failed: %s\n", name, dxp_errmsg(r));
            rv = -1;
            continue;
        }
        reg_print(unit, &list->ainfo[i], value, flags);
    }
    return rv;
}

int cmd_reg_get(int unit, args_t *a) {
    if (!sh_check_attached(ARG_CMD(a), unit)) return CMD_FAIL;
    int flags = REG_PRINT_DO;
    const char *w;
    while ((w = ARG_CUR(a)) != nullptr) {
        if (strcasecmp(w, "raw") == 0) {
            flags |= REG_PRINT_RAW;
        } else if (strcasecmp(w, "hex") == 0) {
            flags |= REG_PRINT_HEX;
        } else {
            break;
        }
        ARG_GET(a);
    }
    if (ARG_CUR(a) == nullptr) return CMD_USAGE;
    int space = kSpaceSoc;
    if (!take_space(a, &space)) return CMD_USAGE;
    const char *ref = ARG_GET(a);

    if (parse_is_integer(ref)) {
        const char *addr_word = ARG_GET(a);
        if (addr_word == nullptr || !parse_is_integer(addr_word)) return CMD_USAGE;
        uint32_t addr;
        if (!raw_address(space, ref, addr_word, &addr)) return CMD_USAGE;
        uint64_t value;
        return reg_get_raw(unit, addr, space, flags, &value) < 0 ? CMD_FAIL : CMD_OK;
    }
    soc_regaddrlist_t list;
    if (!reg_list_alloc(&list, &ref)) return CMD_FAIL;
    int rv = CMD_OK;
    if (symtab_reg_parse(unit, &list, ref) < 0) {
        sal_printf("Syntax error parsing \"%s\"\n", ref);
        rv = CMD_FAIL;
    } else if (reg_list_print(unit, &list, flags) < 0) {
        rv = CMD_FAIL;
    }
    soc_regaddrlist_free(&list);
    return rv;
}

int cmd_reg_set(int unit, args_t *a) {
    return reg_set_common(unit, a, 0);
}

int cmd_reg_mod(int unit, args_t *a) {
    return reg_set_common(unit, a, 1);
}
