// The monitor's table-memory commands: Write and MODify put entries into the
// chip's tables from raw words or field assignments, LISTmem describes the
// tables and CACHE switches the software cache of the cachable ones.
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "diag_mem.h"
#include "diag_parse.h"
#include "drv_wide.h"
#include "dxp_error.h"
#include "sal.h"
#include "shell_cmds.h"
#include "soc.h"

namespace {

constexpr uint32_t kDebugWrite = 0x4;
constexpr uint32_t kDebugErr = 0x200000;
constexpr int kMaxWords = 8;  // room for the widest entry of every chip
constexpr int kValueWords = 5;

// Memory flag bits beyond the valid bit.
constexpr uint32_t kReadOnly = 0x1;
constexpr uint32_t kCachable = 0x20;
constexpr uint32_t kHashed = 0x20000;
constexpr uint32_t kCam = 0x80000;

// The shell's names of the chip's memories, by memory index, the flags the
// shell adds to the chip's, and the chip-service memory id that reaches the
// entries (0: none).
struct ShellMem {
    const char *name;
    const char *user;
    uint32_t flags;
    uint32_t drv_mem;
    const char *desc;
};

constexpr ShellMem kMems[SOC_NUM_MEMS] = {
    {"CFP_ACT_POL", nullptr, 0, DRV_MEM_CFP_ACTION, "CFP action and policy table"},
    {"CFP_METER", nullptr, 0, DRV_MEM_CFP_METER, "CFP meter table"},
    {"CFP_STAT_IB", nullptr, kReadOnly, DRV_MEM_CFP_STAT_IN, "CFP in-band statistics"},
    {"CFP_STAT_OB", nullptr, kReadOnly, DRV_MEM_CFP_STAT_OUT, "CFP out-of-band statistics"},
    {"CFP_TCAM_MASK", "TCAM_MASK", kCam, DRV_MEM_CFP_MASK, "CFP TCAM mask"},
    {"CFP_TCAM_S0", "TCAM_S0", kCam, DRV_MEM_CFP_DATA, "CFP TCAM slice 0"},
    {"CFP_TCAM_S1", "TCAM_S1", kCam, 0, "CFP TCAM slice 1"},
    {"CFP_TCAM_S2", "TCAM_S2", kCam, 0, "CFP TCAM slice 2"},
    {"CFP_TCAM_S3", "TCAM_S3", kCam, 0, "CFP TCAM slice 3"},
    {"CFP_TCAM_S4", "TCAM_S4", kCam, 0, "CFP TCAM slice 4"},
    {"CFP_TCAM_S5", "TCAM_S5", kCam, 0, "CFP TCAM slice 5"},
    {"FLOW2VLAN", nullptr, 0, 0, "Flow to VLAN table"},
    {"GEN_MEMORY", nullptr, 0, DRV_MEM_GEN, "Generic memory window"},
    {"L2_ARL", "ARL", kHashed, DRV_MEM_ARL, "L2 address table"},
    {"L2_ARL_SW", "SW_ARL", kHashed, 0, "L2 address table, software format"},
    {"L2_MARL_SW", "SW_MARL", kHashed, 0, "L2 multicast address table, software format"},
    {"MAC2VLAN", nullptr, 0, 0, "MAC to VLAN table"},
    {"MARL_PBMP", "MARL_PBM", 0, DRV_MEM_MCAST, "Multicast port bitmap table"},
    {"MSPT_TAB", "MSPT", 0, DRV_MEM_MSTP, "Multiple spanning tree table"},
    {"PROTOCOL2VLAN", nullptr, 0, 0, "Protocol to VLAN table"},
    {"STSEC_COUNTER0", "SECMAC_COUNTER0", kReadOnly, 0, "Security MAC counters, bank 0"},
    {"STSEC_COUNTER1", "SECMAC_COUNTER1", kReadOnly, 0, "Security MAC counters, bank 1"},
    {"STSEC_COUNTER2", "SECMAC_COUNTER2", kReadOnly, 0, "Security MAC counters, bank 2"},
    {"STSEC_MAC0", "SEC_MAC0", kCachable, DRV_MEM_SECMAC, "Security MAC table, bank 0"},
    {"STSEC_MAC1", "SEC_MAC1", kCachable, DRV_MEM_SECMAC, "Security MAC table, bank 1"},
    {"STSEC_MAC2", "SEC_MAC2", kCachable, DRV_MEM_SECMAC, "Security MAC table, bank 2"},
    {"VLAN2VLAN", nullptr, 0, 0, "VLAN translation table"},
    {"VLAN_1Q", "VLAN", kCachable, DRV_MEM_VLAN, "802.1Q VLAN table"},
};

const soc_mem_info_t *mem_info(int unit, int m) {
    const soc_control_t *s = SOC_CONTROL(unit);
    if (s == nullptr || s->chip_driver == nullptr || s->chip_driver->mem_info == nullptr || m < 0 ||
        m >= SOC_NUM_MEMS)
        return nullptr;
    const soc_mem_info_t *info = s->chip_driver->mem_info[m];
    return info != nullptr && (info->flags & SOC_MEM_FLAG_VALID) ? info : nullptr;
}

uint32_t mem_flags(int unit, int m) {
    const soc_mem_info_t *info = mem_info(unit, m);
    return info == nullptr ? 0 : info->flags | kMems[m].flags;
}

int entry_words(const soc_mem_info_t *info) {
    int words = (static_cast<int>(info->size_fields & 0xffff) + 3) / 4;
    return words < kMaxWords ? words : kMaxWords;
}

int field_count(const soc_mem_info_t *info) {
    return static_cast<int>(info->size_fields >> 16);
}

const char *chip_name(int unit) {
    const soc_control_t *s = SOC_CONTROL(unit);
    return s != nullptr ? soc_chip_type_name(s->chip_type) : "?";
}

const char *field_name(const chipdata_field &f) {
    const char *name = chipdata_field_name(static_cast<int>(f.field));
    return name != nullptr ? name : "?";
}

// Field bits: value bit k is entry bit bp + k.
void bits_get(const uint32_t *entry, const chipdata_field &f, uint32_t *value) {
    std::memset(value, 0, kValueWords * sizeof(uint32_t));
    for (int k = 0; k < f.len && k < 32 * kValueWords; k++) {
        int b = f.bp + k;
        if (b / 32 < kMaxWords && (entry[b / 32] >> (b % 32)) & 1u) value[k / 32] |= 1u << (k % 32);
    }
}

void bits_set(uint32_t *entry, const chipdata_field &f, const uint32_t *value) {
    for (int k = 0; k < f.len && k < 32 * kValueWords; k++) {
        int b = f.bp + k;
        if (b / 32 >= kMaxWords) break;
        uint32_t mask = 1u << (b % 32);
        if ((value[k / 32] >> (k % 32)) & 1u)
            entry[b / 32] |= mask;
        else
            entry[b / 32] &= ~mask;
    }
}

const chipdata_field *find_field(const soc_mem_info_t *info, const char *name) {
    for (int i = 0; i < field_count(info); i++) {
        if (strcasecmp(field_name(info->fields[i]), name) == 0) return &info->fields[i];
    }
    return nullptr;
}

// Applies "name=value,..." to the entry; false after saying why.
bool fields_apply(int m, const soc_mem_info_t *info, uint32_t *entry, const char *text) {
    char buf[ARGS_BUFFER];
    std::snprintf(buf, sizeof buf, "%s", text);
    char *save = nullptr;
    for (char *tok = strtok_r(buf, ",", &save); tok != nullptr;
         tok = strtok_r(nullptr, ",", &save)) {
        char *eq = std::strchr(tok, '=');
        if (eq != nullptr) *eq = '\0';
        if (tok[0] == '\0') {
            sal_printf("Null field name\n");
            return false;
        }
        if (eq == nullptr && strcasecmp(tok, "clear") == 0) {
            std::memset(entry, 0, kMaxWords * sizeof(uint32_t));
            continue;
        }
        bool mac = strcasecmp(tok, "macaddr") == 0 || strcasecmp(tok, "macaddress") == 0;
        const chipdata_field *f = find_field(info, mac ? "MACADDR" : tok);
        if (f == nullptr) {
            sal_printf("No such field \"%s\" in memory \"%s\".\n", tok, kMems[m].name);
            return false;
        }
        const char *val = eq != nullptr ? eq + 1 : "";
        if (val[0] == '\0') {
            sal_printf("Missing %d-bit value to assign to \"%s\" field \"%s\".\n", f->len,
                       kMems[m].name, field_name(*f));
            return false;
        }
        uint32_t value[kValueWords] = {};
        if (mac) {
            dxp_mac_t addr;
            if (parse_macaddr(val, addr) != 0) {
                sal_printf("Invalid MAC address \"%s\" for field \"%s\".\n", val, field_name(*f));
                return false;
            }
            uint64_t v = 0;
            for (int i = 0; i < 6; i++)
                v = v << 8 | addr[i];
            value[0] = static_cast<uint32_t>(v);
            value[1] = static_cast<uint32_t>(v >> 32);
        } else {
            parse_long_integer(value, kValueWords, val);
        }
        bool fits = true;
        for (int k = f->len; k < 32 * kValueWords; k++) {
            if ((value[k / 32] >> (k % 32)) & 1u) fits = false;
        }
        if (!fits) {
            sal_printf("Value \"%s\" too large for %d-bit field \"%s\".\n", val, f->len,
                       field_name(*f));
            return false;
        }
        bits_set(entry, *f, value);
    }
    return true;
}

// The chip-service id and entry id of (memory, index); false when none.
bool service_id(int unit, int m, int index, uint32_t *drv_mem, uint32_t *id) {
    *drv_mem = kMems[m].drv_mem;
    if (*drv_mem == 0) return false;
    *id = static_cast<uint32_t>(index);
    if (*drv_mem == DRV_MEM_SECMAC) {
        // The three banks are one range of the service.
        uint32_t n[2] = {0, 0};
        DRV_SERVICES(unit)->dev_prop_get(unit, 7, n);
        *id += 8 * n[0] * static_cast<uint32_t>(m - STSEC_MAC0m);
    }
    return true;
}

// A memory name of the shell (internal or user name, any case) with an
// optional ".copy": the memory index, or -1.
int shell_mem_find(const char *text, const char **copy) {
    char name[65];
    std::snprintf(name, sizeof name, "%s", text);
    char *dot = std::strchr(name, '.');
    if (dot != nullptr) *dot = '\0';
    *copy = std::strchr(text, '.');
    for (int m = 0; m < SOC_NUM_MEMS; m++) {
        if (strcasecmp(name, kMems[m].name) == 0 ||
            (kMems[m].user != nullptr && strcasecmp(name, kMems[m].user) == 0))
            return m;
    }
    return -1;
}

// Resolves the table word of Write, MODify and CLEAR: the memory index, or
// -1 after the message.
int table_resolve(int unit, const char *word, int *copy) {
    const char *suffix = nullptr;
    int m = shell_mem_find(word, &suffix);
    *copy = -1;
    if (m < 0) {
        sal_printf("ERROR: unknown table \"%s\"\n", word);
        return -1;
    }
    if (mem_info(unit, m) == nullptr) {
        soc_cm_debug_print(kDebugErr, "Memory %s not valid for chip %s.\n", kMems[m].name,
                           chip_name(unit));
        sal_printf("Error: Memory %s not valid for chip %s.\n", kMems[m].name, chip_name(unit));
        return -1;
    }
    if (suffix != nullptr) {
        char full[96];
        std::snprintf(full, sizeof full, "%s%s", kMems[m].name, suffix);
        int pm = -1;
        if (parse_memory_name(unit, &pm, full, copy) != 0) return -1;
    }
    return m;
}

int write_common(int unit, args_t *a, bool modify) {
    if (!sh_check_attached(ARG_CMD(a), unit)) return CMD_FAIL;
    const char *tab = ARG_GET(a);
    const char *ent = ARG_GET(a);
    const char *cnt = ARG_GET(a);
    if (tab == nullptr || ent == nullptr || cnt == nullptr || ARG_CUR(a) == nullptr ||
        !parse_is_integer(cnt))
        return CMD_USAGE;
    int copy = -1;
    int m = table_resolve(unit, tab, &copy);
    if (m < 0) return CMD_FAIL;
    if (mem_flags(unit, m) & kReadOnly) {
        sal_printf("ERROR: Table %s is read-only\n", kMems[m].name);
        return CMD_FAIL;
    }
    const soc_mem_info_t *info = mem_info(unit, m);
    int index = parse_memory_index(unit, m, ent);
    int count = parse_integer(cnt);

    uint32_t raw[kMaxWords] = {};
    bool use_raw = !modify && parse_is_integer(ARG_CUR(a));
    char text[ARGS_BUFFER];
    if (use_raw) {
        if (mem_data_words_parse(entry_words(info), raw, a) < 0) return CMD_FAIL;
        if (soc_cm_debug_enabled(kDebugWrite)) {
            sal_printf("WRITE[%s", kMems[m].name);
            if (copy >= 0) sal_printf(".%d", copy);
            sal_printf("], DATA:");
            for (int i = 0; i < entry_words(info); i++)
                sal_printf(" 0x%x", raw[i]);
            sal_printf("\n");
        }
    } else {
        // Write starts from a cleared entry, MODify from the stored one.
        mem_args_join(a, text, modify ? nullptr : "clear");
    }

    sal_mutex_t lock = SOC_CONTROL(unit)->mem_state[m].lock;
    sal_mutex_take(lock, -1);
    int rv = 0;
    for (int i = 0; i < count && rv == 0; i++)
        rv =
            mem_entry_modify(unit, m, index + i, use_raw ? raw : nullptr, use_raw ? nullptr : text);
    sal_mutex_give(lock);
    return rv < 0 ? CMD_FAIL : CMD_OK;
}

void flag_columns(uint32_t f, char *col) {
    col[0] = f & kReadOnly ? 'r' : '-';
    col[1] = f & 0x4 ? 'd' : '-';
    col[2] = f & 0x8 ? 's' : f & kHashed ? 'h' : '-';
    col[3] = f & kCam ? 'A' : '-';
    col[4] = f & 0x10 ? 'c' : '-';
    col[5] = f & (0x40 | 0x80 | 0x4000) ? 'b' : '-';
    col[6] = f & kCachable ? 'C' : '-';
    col[7] = '\0';
}

constexpr struct {
    uint32_t bit;
    const char *name;
} kFlagNames[] = {
    {0x1, " read-only"},
    {0x2, " valid"},
    {0x4, " debug"},
    {0x8, " sorted"},
    {0x10, " cbp"},
    {0x20, " cachable"},
    {0x40, " bist-cbp"},
    {0x80, " bist-epic"},
    {0x4000, " bist-ffp"},
    {0x10000, " unified"},
    {0x20000, " hashed"},
    {0x40000, " word-addressed"},
    {0x4000000, " monolithic"},
    {0x8000000, " big-endian"},
};

int list_one(int unit, int m, args_t *a) {
    const soc_mem_info_t *info = mem_info(unit, m);
    if (info == nullptr) {
        sal_printf("ERROR: Memory \"%s\" not valid for this unit\n", kMems[m].name);
        return CMD_FAIL;
    }
    int words = entry_words(info);
    uint32_t data[kMaxWords] = {};
    bool with_data = ARG_CUR(a) != nullptr;
    if (with_data) {
        int n = 0;
        for (const char *w = ARG_GET(a); w != nullptr; w = ARG_GET(a), n++) {
            if (n < words) data[n] = parse_address(w);
        }
        if (n < words) {
            sal_printf("Not enough data specified (%d words needed)\n", words);
            return CMD_FAIL;
        }
        if (n > words) sal_printf("Extra data specified (ignored)\n");
    }
    uint32_t f = mem_flags(unit, m);
    sal_printf("Memory: %s", kMems[m].name);
    if (kMems[m].user != nullptr) sal_printf(" alias %s", kMems[m].user);
    sal_printf("\nFlags:");
    for (const auto &fn : kFlagNames) {
        if (f & fn.bit) sal_printf("%s", fn.name);
    }
    int bytes = static_cast<int>(info->size_fields & 0xffff);
    sal_printf("\nEntries: %d with indices %d-%d (0x%x-0x%x)",
               info->index_max - info->index_min + 1, info->index_min, info->index_max,
               info->index_min, info->index_max);
    sal_printf(", each %d bytes %d words\n", bytes, words);
    uint32_t mask[kMaxWords] = {};
    uint32_t ones[kValueWords] = {~0u, ~0u, ~0u, ~0u, ~0u};
    for (int i = 0; i < field_count(info); i++)
        bits_set(mask, info->fields[i], ones);
    sal_printf("Entry mask:");
    for (int i = 0; i < words; i++) {
        if (mask[i] == ~0u)
            sal_printf(" -1");
        else if (mask[i] == 0)
            sal_printf(" 0");
        else
            sal_printf(" 0x%08x", mask[i]);
    }
    sal_printf("\nDescription: %s\n", kMems[m].desc);
    for (int i = 0; i < field_count(info); i++) {
        const chipdata_field &fld = info->fields[i];
        sal_printf("  %s<%d", field_name(fld), fld.bp + fld.len - 1);
        if (fld.len > 1) sal_printf(":%d", fld.bp);
        if (with_data) {
            uint32_t v[kValueWords];
            bits_get(data, fld, v);
            char buf[64];
            format_long_integer(buf, v, kValueWords);
            sal_printf("> = %s\n", buf);
        } else {
            sal_printf(">\n");
        }
    }
    return CMD_OK;
}

}  // namespace

void mem_args_join(args_t *a, char *buf, const char *first) {
    size_t len = 0;
    buf[0] = '\0';
    if (first != nullptr) len = std::snprintf(buf, ARGS_BUFFER, "%s", first);
    for (const char *w = ARG_GET(a); w != nullptr; w = ARG_GET(a)) {
        int n = std::snprintf(buf + len, ARGS_BUFFER - len, "%s%s", len > 0 ? "," : "", w);
        if (n < 0 || static_cast<size_t>(n) >= ARGS_BUFFER - len) break;
        len += static_cast<size_t>(n);
    }
}

int mem_data_words_parse(int count, uint32_t *words, args_t *a) {
    int have = 0;
    for (; have < count; have++) {
        const char *w = ARG_GET(a);
        if (w == nullptr) {
            sal_printf("Not enough data values (have %d, need %d)\n", have, count);
            return -1;
        }
        words[have] = parse_address(w);
    }
    if (ARG_CUR(a) != nullptr) {
        sal_printf("Ignoring extra data on command line (only %d words needed)\n", count);
        while (ARG_GET(a) != nullptr) {
        }
    }
    return 0;
}

int mem_entry_modify(int unit, int m, int index, const uint32_t *raw, const char *fields) {
    const soc_mem_info_t *info = mem_info(unit, m);
    uint32_t drv_mem = 0, id = 0;
    if (info == nullptr || !service_id(unit, m, index, &drv_mem, &id)) {
        sal_printf("Unsupport memory table.\n");
        return -1;
    }
    uint32_t entry[kMaxWords] = {};
    const drv_if_t *svc = DRV_SERVICES(unit);
    if (raw != nullptr) {
        std::memcpy(entry, raw, static_cast<size_t>(entry_words(info)) * sizeof(uint32_t));
    } else {
        if (int rv = svc->mem_read(unit, drv_mem, id, 1, entry); rv < 0) {
            sal_printf("ERROR: read %s[%d] failed: %s\n", kMems[m].name, index, dxp_errmsg(rv));
            return -1;
        }
        if (!fields_apply(m, info, entry, fields != nullptr ? fields : "")) return -1;
    }
    if (int rv = svc->mem_write(unit, drv_mem, id, 1, entry); rv < 0) {
        sal_printf("ERROR: write %s[%d] failed: %s\n", kMems[m].name, index, dxp_errmsg(rv));
        return -1;
    }
    return 0;
}

int mem_list_all(int unit, const char *substr) {
    bool header = false;
    for (int m = 0; m < SOC_NUM_MEMS; m++) {
        const soc_mem_info_t *info = mem_info(unit, m);
        if (info == nullptr) continue;
        if (substr != nullptr && strcaseindex(kMems[m].name, substr) == nullptr &&
            (kMems[m].user == nullptr || strcaseindex(kMems[m].user, substr) == nullptr))
            continue;
        if (!header) {
            sal_printf("   Flags    %-16s  MIN -  MAX   Words  %s\n", "Name/Copies", "Description");
            header = true;
        }
        char col[8];
        flag_columns(mem_flags(unit, m), col);
        sal_printf("  %s  %-16s %4d - %5d  %2d     %s\n", col, kMems[m].name, info->index_min,
                   info->index_max, entry_words(info), kMems[m].desc);
    }
    if (!header) {
        sal_printf("No memory found with the substring '%s' in its name.\n",
                   substr != nullptr ? substr : "");
        return -1;
    }
    sal_printf(
        "Flags: (r)eadonly, (d)ebug, (s)orted, (h)ashed\n"
        "       C(A)M, (c)bp, (b)ist-able, (C)achable\n");
    return 0;
}

int mem_table_find(const char *word) {
    const char *copy = nullptr;
    return shell_mem_find(word, &copy);
}

const char *mem_table_name(int m) {
    return m >= 0 && m < SOC_NUM_MEMS ? kMems[m].name : nullptr;
}

uint32_t mem_table_drv_id(int m) {
    return m >= 0 && m < SOC_NUM_MEMS ? kMems[m].drv_mem : 0;
}

int cmd_mem_write(int unit, args_t *a) {
    return write_common(unit, a, false);
}

int cmd_mem_modify(int unit, args_t *a) {
    return write_common(unit, a, true);
}

int cmd_mem_list(int unit, args_t *a) {
    if (!sh_check_attached(ARG_CMD(a), unit)) return CMD_FAIL;
    const char *word = ARG_GET(a);
    if (word == nullptr) return mem_list_all(unit, nullptr) < 0 ? CMD_FAIL : CMD_OK;
    // Only the chip's own names select one memory: "ARL" lists them all.
    const char *copy = nullptr;
    int m = shell_mem_find(word, &copy);
    if (m < 0 || strncasecmp(word, kMems[m].name, std::strlen(kMems[m].name)) != 0)
        return mem_list_all(unit, word) < 0 ? CMD_FAIL : CMD_OK;
    return list_one(unit, m, a);
}

int cmd_mem_cache(int unit, args_t *a) {
    if (!sh_check_attached(ARG_CMD(a), unit)) return CMD_FAIL;
    const drv_if_t *svc = DRV_SERVICES(unit);
    if (ARG_CUR(a) == nullptr) {
        uint32_t vlan = 0, sec = 0;
        svc->mem_cache_get(unit, DRV_MEM_VLAN, &vlan);
        svc->mem_cache_get(unit, DRV_MEM_SECMAC, &sec);
        sal_printf("Memory table cache status:\n");
        sal_printf("VLAN    : cache %s.\n", vlan ? "Enabled" : "Disabled");
        sal_printf("SEC_MAC : cache %s.\n", sec ? "Enabled" : "Disabled");
        return CMD_OK;
    }
    for (const char *w = ARG_GET(a); w != nullptr; w = ARG_GET(a)) {
        uint32_t enable = *w != '-';
        const char *name = *w == '+' || *w == '-' ? w + 1 : w;
        const char *copy = nullptr;
        int m = shell_mem_find(name, &copy);
        if (m < 0) {
            sal_printf("%s: Unknown table \"%s\"\n", ARG_CMD(a), name);
            return CMD_FAIL;
        }
        if (mem_info(unit, m) == nullptr) {
            sal_printf("Error: Memory %s not valid for chip %s.\n", kMems[m].name, chip_name(unit));
            return CMD_FAIL;
        }
        if (m != VLAN_1Qm && (m < STSEC_MAC0m || m > STSEC_MAC2m)) {
            sal_printf("%s: Memory %s is not cachable\n", ARG_CMD(a), kMems[m].name);
            return CMD_FAIL;
        }
        int rv = svc->mem_cache_set(unit, m == VLAN_1Qm ? DRV_MEM_VLAN : DRV_MEM_SECMAC, enable);
        if (rv < 0) {
            sal_printf("%s: Error: %s\n", ARG_CMD(a), dxp_errmsg(rv));
            return CMD_FAIL;
        }
    }
    return CMD_OK;
}

const char *mem_chip_name(int unit) {
    return chip_name(unit);
}

int mem_table_words(int unit, int m, int *index_max) {
    const soc_mem_info_t *info = mem_info(unit, m);
    if (info == nullptr) return -1;
    *index_max = info->index_max;
    return entry_words(info);
}

const char *mem_table_user_name(int m) {
    if (m < 0 || m >= SOC_NUM_MEMS) return nullptr;
    return kMems[m].user != nullptr ? kMems[m].user : kMems[m].name;
}

int mem_entry_read(int unit, int m, int index, uint32_t *entry) {
    uint32_t drv_mem = 0, id = 0;
    if (mem_info(unit, m) == nullptr || !service_id(unit, m, index, &drv_mem, &id)) return 1;
    return DRV_SERVICES(unit)->mem_read(unit, drv_mem, id, 1, entry);
}
