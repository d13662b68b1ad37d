// The monitor's Listreg (describe a register, or list the names that contain
// a word) and EditReg (field-by-field edit on the console) commands.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "chipdata/chipdata.h"
#include "diag_parse.h"
#include "diag_symtab.h"
#include "drv_if.h"
#include "dxp_error.h"
#include "sal.h"
#include "shell_cmds.h"
#include "soc_regdesc.h"

namespace {

struct FlagWord {
    uint32_t bit;
    const char *text;
};
constexpr FlagWord kRegFlags[] = {
    {CHIPDATA_RF_COUNTER, " counter"},
    {CHIPDATA_RF_INDEX_NOT_PORT, " no-diagonals"},
    {CHIPDATA_RF_RO, " read-only"},
    {CHIPDATA_RF_WO, " write-only"},
    {CHIPDATA_RF_ERR_COUNTER, " error/discard-counter"},
};

uint64_t field_mask(const chipdata_field &f) {
    return f.len >= 64 ? ~0ull : (1ull << f.len) - 1;
}

const char *chip_name(int unit) {
    const soc_control_t *s = SOC_CONTROL(unit);
    return s != nullptr ? soc_chip_type_name(s->chip_type) : "?";
}

int reg_describe(int unit, const soc_regaddrinfo_t *ai, uint64_t value, bool defaults) {
    const chipdata_reg *row =
        ai->reg < 0 ? nullptr : SOC_REG_INFO(unit, static_cast<uint32_t>(ai->reg));
    if (row == nullptr) {
        sal_printf("Register %s is not valid for chip %s\n",
                   ai->reg < 0 ? "?" : chipdata_reg_name(ai->reg), chip_name(unit));
        return -1;
    }
    char name[128];
    soc_reg_info_sprint(unit, name, sizeof name, ai);
    sal_printf("Register: %s %s register address 0x%04x\n", name,
               reg_type_name(static_cast<int>(row->type)), ai->addr);
    sal_printf("Flags: %d-bits", DRV_SERVICES(unit)->reg_length_get(unit, ai->reg) * 8);
    for (const FlagWord &f : kRegFlags) {
        if (f.bit == CHIPDATA_RF_INDEX_NOT_PORT && (row->flags & CHIPDATA_RF_ARRAY))
            sal_printf(" array[%d-%d]", 0, static_cast<int>(row->count) - 1);
        if (row->flags & f.bit) sal_printf("%s", f.text);
    }
    sal_printf("\n");
    uint64_t reset = row->reset_lo | static_cast<uint64_t>(row->reset_hi) << 32;
    uint64_t mask = row->mask_lo | static_cast<uint64_t>(row->mask_hi) << 32;
    char buf[32], buf2[32];
    if (defaults) {
        sal_printf("Displaying: reset defaults");
        value = reset;
    } else {
        format_uint64(buf, value);
        sal_printf("Displaying: value %s", buf);
    }
    format_uint64(buf, reset);
    format_uint64(buf2, mask);
    sal_printf(", reset value %s mask %s\n", buf, buf2);
    for (int i = static_cast<int>(row->num_fields) - 1; i >= 0; i--) {
        const chipdata_field &f = row->fields[i];
        sal_printf("  %s<%d", chipdata_field_name(static_cast<int>(f.field)), f.bp + f.len - 1);
        if (f.len >= 2) sal_printf(":%d", f.bp);
        if (defaults && ((mask >> f.bp) & field_mask(f)) == 0) {
            sal_printf("> = x");
        } else {
            format_uint64(buf, (value >> f.bp) & field_mask(f));
            sal_printf("> = %s", buf);
        }
        if (f.flags & (CHIPDATA_FF_RO | CHIPDATA_FF_WO)) {
            sal_printf(" [%s%s%s]", (f.flags & CHIPDATA_FF_RO) ? "RO" : "",
                       (f.flags & CHIPDATA_FF_RO) && (f.flags & CHIPDATA_FF_WO) ? "," : "",
                       (f.flags & CHIPDATA_FF_WO) ? "WO" : "");
        }
        sal_printf("\n");
    }
    return 0;
}

void reg_name_list_item(int unit, int reg, int *col) {
    const char *name = chipdata_reg_name(reg);
    const chipdata_reg *row = SOC_REG_INFO(unit, static_cast<uint32_t>(reg));
    bool array = row != nullptr && (row->flags & CHIPDATA_RF_ARRAY);
    // The "[]" of an array counts too, so that no line passes column 73.
    int len = static_cast<int>(std::strlen(name)) + 1 + (array ? 2 : 0);
    if (*col + len >= 73) {
        sal_printf("\n  ");
        *col = 2;
    }
    sal_printf("%s%s ", name, array ? "[]" : "");
    *col += len;
}

void list_matches(int unit, const char *word) {
    bool all = word[0] == '*';
    int col = 2, found = 0;
    for (int reg = 0; reg < CHIPDATA_NUM_REGS; reg++) {
        if (SOC_REG_INFO(unit, static_cast<uint32_t>(reg)) == nullptr) continue;
        const char *name = chipdata_reg_name(reg);
        if (name == nullptr || (!all && strcaseindex(name, word) == nullptr)) continue;
        if (found++ == 0)
            sal_printf("%s  ", all ? "" : "Unknown register; possible matches are:\n");
        reg_name_list_item(unit, reg, &col);
    }
    if (found == 0) sal_printf("No matching register found");
    sal_printf("\n");
}

}  // namespace

int cmd_reg_list(int unit, args_t *a) {
    if (!sh_check_attached(ARG_CMD(a), unit)) return CMD_FAIL;
    const char *word = ARG_GET(a);
    if (word == nullptr) return CMD_USAGE;
    if (parse_is_integer(word)) {
        const char *addr_word = ARG_GET(a);
        if (addr_word == nullptr || !parse_is_integer(addr_word)) return CMD_USAGE;
        uint32_t addr = static_cast<uint32_t>(parse_integer(word)) << 8 |
                        static_cast<uint32_t>(parse_integer(addr_word));
        soc_regaddrinfo_t ai;
        soc_reg_addr_decode(unit, &ai, addr);
        if (ai.reg < 0) {
            sal_printf("Unknown register address: 0x%x\n", addr);
            return CMD_FAIL;
        }
        char name[128];
        soc_reg_info_sprint(unit, name, sizeof name, &ai);
        sal_printf("Address %s\n", name);
        const char *v = ARG_GET(a);
        return reg_describe(unit, &ai, v != nullptr ? parse_uint64(v) : 0, v == nullptr) < 0
                   ? CMD_FAIL
                   : CMD_OK;
    }
    soc_regaddrlist_t list;
    if (!reg_list_alloc(&list, &word)) return CMD_FAIL;
    int rv = CMD_OK;
    if (symtab_reg_parse(unit, &list, word) == 0) {
        const char *v = ARG_GET(a);
        if (reg_describe(unit, &list.ainfo[0], v != nullptr ? parse_uint64(v) : 0, v == nullptr) <
            0)
            rv = CMD_FAIL;
    } else {
        list_matches(unit, word);
    }
    soc_regaddrlist_free(&list);
    return rv;
}

namespace {

// Asks for each field in turn; false when the operator aborted.
bool edit_fields(const chipdata_reg *row, uint64_t *value) {
    for (uint32_t i = 0; i < row->num_fields;) {
        const chipdata_field &f = row->fields[i];
        char prompt[96], dflt[40], line[65];
        int n = std::snprintf(prompt, sizeof prompt, "  %s<%d",
                              chipdata_field_name(static_cast<int>(f.field)), f.bp + f.len - 1);
        if (f.len >= 2) n += std::snprintf(prompt + n, sizeof prompt - n, ":%d", f.bp);
        std::snprintf(prompt + n, sizeof prompt - n, ">? ");
        uint64_t cur = (*value >> f.bp) & field_mask(f);
        if (f.len > 32) {
            std::snprintf(dflt, sizeof dflt, "0x%x%08x", static_cast<uint32_t>(cur >> 32),
                          static_cast<uint32_t>(cur));
        } else {
            std::snprintf(dflt, sizeof dflt, "0x%x", static_cast<uint32_t>(cur));
        }
        if (diag_readline(prompt, line, sizeof line, dflt) == nullptr || line[0] == '\0') {
            sal_printf("Aborted\n");
            return false;
        }
        uint64_t v = parse_uint64(line);
        if (v & ~field_mask(f)) {
            sal_printf("Value too big for %d-bit field, try again.\n", f.len);
            continue;
        }
        *value = (*value & ~(field_mask(f) << f.bp)) | v << f.bp;
        i++;
    }
    return true;
}

}  // namespace

int cmd_reg_edit(int unit, args_t *a) {
    if (!sh_check_attached(ARG_CMD(a), unit)) return CMD_FAIL;
    const char *word = ARG_GET(a);
    if (word == nullptr) return CMD_USAGE;
    soc_regaddrlist_t list;
    if (!reg_list_alloc(&list, &word)) return CMD_FAIL;
    int rv = CMD_OK;
    uint64_t value = 0;
    if (symtab_reg_parse(unit, &list, word) < 0) {
        sal_printf("Syntax error parsing \"%s\"\n", word);
        rv = CMD_FAIL;
    } else if (soc_reg_info_read(unit, &list.ainfo[0], &value) < 0) {
        sal_printf("ERROR: read reg failed\n");
        rv = CMD_FAIL;
    }
    const chipdata_reg *row =
        rv == CMD_OK ? SOC_REG_INFO(unit, static_cast<uint32_t>(list.ainfo[0].reg)) : nullptr;
    if (row != nullptr) {
        bool wide = row->flags & CHIPDATA_RF_64BIT;
        if (wide) {
            sal_printf("Current value (bit31~0): 0x%x\n", static_cast<uint32_t>(value));
            sal_printf("Current value (bit63~32): 0x%x\n", static_cast<uint32_t>(value >> 32));
        } else {
            sal_printf("Current value: 0x%x\n", static_cast<uint32_t>(value));
        }
        if (edit_fields(row, &value)) {
            if (wide) {
                sal_printf("Writing new value: 0x%x 0x%x\n", static_cast<uint32_t>(value >> 32),
                           static_cast<uint32_t>(value));
            } else {
                sal_printf("Writing new value: 0x%x\n", static_cast<uint32_t>(value));
            }
            for (int i = 0; i < list.count; i++) {
                int r = soc_reg_info_write(unit, &list.ainfo[i], value);
                if (r < 0) {
                    sal_printf("ERROR: write reg 0x%x failed: %s\n", list.ainfo[i].addr,
                               dxp_errmsg(r));
                    rv = CMD_FAIL;
                    break;
                }
            }
        }
    }
    soc_regaddrlist_free(&list);
    return rv;
}
