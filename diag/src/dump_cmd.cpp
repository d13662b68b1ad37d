// The monitor's Dump command: every chip register, the port PHYs' MII
// registers, host memory, the entries of a chip table, the CPU-port MAC
// driver's state and a register read-back loop, optionally into a file.
#include <climits>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include "chipdata/chipdata.h"
#include "diag_mem.h"
#include "diag_parse.h"
#include "drv_if.h"
#include "dxp.h"
#include "dxp_error.h"
#include "et_soc.h"
#include "sal.h"
#include "sal_mem.h"
#include "shell_cmds.h"
#include "soc_control.h"
#include "soc_miim.h"
#include "soc_phy_info.h"
#include "soc_regdesc.h"

namespace {

enum DumpMode { kModeValue, kModeAddr, kModeRval, kModeDiff };

struct RegDumpCtx {
    DumpMode mode;
    int port;  // -1: every port
};

constexpr int kDumpRaw = 0x1, kDumpHex = 0x2;
constexpr int kMaxPorts = 53;
constexpr uint32_t kDebugLoop = 0x1;

// The register types of Getreg/Setreg, as far as Dump knows them.
enum TypeKind { kTypePci, kTypeSoc, kTypePhy, kTypeWord, kTypeHalf, kTypeByte };
struct DumpType {
    const char *name;
    TypeKind kind;
};
constexpr DumpType kDumpTypes[] = {
    {"PCIC", kTypePci},  {"PCIM", kTypePci}, {"SOC", kTypeSoc},
    {"SCHAN", kTypeSoc}, {"PHY", kTypePhy},  {"MW", kTypeWord},
    {"MH", kTypeHalf},   {"MB", kTypeByte},  {"MEM", kTypeWord},
};

const DumpType *dump_type_find(const char *word) {
    for (const DumpType &t : kDumpTypes) {
        if (strcasecmp(t.name, word) == 0) return &t;
    }
    return nullptr;
}

int dump_reg_cb(int unit, soc_regaddrinfo_t *ai, void *data) {
    const auto *ctx = static_cast<const RegDumpCtx *>(data);
    if (ctx->port >= 0 && ai->port != ctx->port) return 0;
    char name[128];
    soc_reg_info_sprint(unit, name, sizeof name, ai);
    const chipdata_reg *row = SOC_REG_INFO(unit, static_cast<uint32_t>(ai->reg));
    if (row == nullptr) return 0;
    uint64_t reset = static_cast<uint64_t>(row->reset_hi) << 32 | row->reset_lo;
    if (ctx->mode == kModeAddr) {
        sal_printf("0x%08x %s\n", ai->addr, name);
        return 0;
    }
    if (ctx->mode == kModeRval) {
        sal_printf("0x%08x %s = 0x%llx\n", ai->addr, name, static_cast<unsigned long long>(reset));
        return 0;
    }
    if (row->flags & CHIPDATA_RF_WO) {
        sal_printf("0x%08x %s = Write Only\n", ai->addr, name);
        return 0;
    }
    if (row->flags & CHIPDATA_RF_SPECIAL) {
        sal_printf("0x%08x %s = Requires special processing\n", ai->addr, name);
        return 0;
    }
    uint64_t value = 0;
    if (soc_reg_info_read(unit, ai, &value) < 0) {
        sal_printf("0x%08x %s = ERROR\n", ai->addr, name);
        return 0;
    }
    if (ctx->mode == kModeDiff && value == reset) return 0;
    if (row->flags & CHIPDATA_RF_64BIT) {
        sal_printf("0x%08x %s = 0x%08x%08x\n", ai->addr, name, static_cast<uint32_t>(value >> 32),
                   static_cast<uint32_t>(value));
    } else {
        sal_printf("0x%08x %s = 0x%08x\n", ai->addr, name, static_cast<uint32_t>(value));
    }
    return 0;
}

int dump_soc_regs(int unit, DumpMode mode, int port) {
    RegDumpCtx ctx{.mode = mode, .port = port};
    soc_reg_iterate(unit, dump_reg_cb, &ctx);
    return 0;
}

int dump_soc(int unit, args_t *a) {
    const char *w = ARG_GET(a);
    if (w == nullptr) return dump_soc_regs(unit, kModeValue, -1);
    if (strcasecmp(w, "addr") == 0) return dump_soc_regs(unit, kModeAddr, -1);
    if (strcasecmp(w, "rval") == 0) return dump_soc_regs(unit, kModeRval, -1);
    if (strcasecmp(w, "diff") == 0) return dump_soc_regs(unit, kModeDiff, -1);
    if (strcasecmp(w, "port") == 0) {
        const char *p = ARG_GET(a);
        if (p == nullptr || !parse_is_integer(p)) {
            sal_printf("ERROR: port number needed.\n");
            return CMD_FAIL;
        }
        int port = parse_integer(p);
        sal_printf("SOC_TARN_MAX_NUM_PORTS %d\n", kMaxPorts);
        if (port < 0 || port >= kMaxPorts) {
            sal_printf("ERROR: Exceed max port number.\n");
            return CMD_FAIL;
        }
        return dump_soc_regs(unit, kModeValue, port);
    }
    sal_printf("ERROR: unrecognized argument to DUMP SOC: %s\n", w);
    return CMD_FAIL;
}

int dump_phy(int unit, args_t *a) {
    soc_pbmp_t pbmp = SOC_CONTROL(unit)->all.bitmap;
    if (const char *w = ARG_GET(a); w != nullptr && parse_pbmp(unit, w, &pbmp) < 0) {
        sal_printf("Error: Invalid port identifier: %s\n", w);
        return CMD_FAIL;
    }
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        const soc_phy_info_t *pi = soc_phy_info(unit, port);
        if (!soc_pbmp_member(pbmp, port) || !SOC_PORT_VALID(unit, port) || pi == nullptr) continue;
        sal_printf("\nPort %d (Phy ID %d)", port, pi->phy_addr);
        for (uint32_t r = 0; r < 32; r++) {
            uint16_t data = 0;
            int rv = soc_miim_read(unit, pi->phy_addr, r, &data);
            if (rv < 0) {
                sal_printf("Error: Port %d: cmic_read_miim failed: %s\n", port, dxp_errmsg(rv));
                return CMD_FAIL;
            }
            sal_printf("%s\t0x%02x: 0x%04x", r % 4 == 0 ? "\n" : "", r, data);
        }
    }
    sal_printf("\n");
    return CMD_OK;
}

int dump_host_memory(args_t *a, int width) {
    const char *addr_word = ARG_GET(a);
    if (addr_word == nullptr) {
        sal_printf("Dumping memory requires address and optional count\n");
        return CMD_FAIL;
    }
    uint32_t addr = parse_address(addr_word) & ~static_cast<uint32_t>(width - 1);
    const char *count_word = ARG_GET(a);
    int count = count_word != nullptr ? parse_integer(count_word) : 1;
    if (count <= 0) return CMD_OK;
    // A count whose length in bytes overflows is as unmapped as any other
    // range beyond the mapped memory.
    if (count > INT_MAX / width || !sal_mem_mapped(addr, count * width)) {
        sal_printf("ERROR: host address 0x%x is not mapped\n", addr);
        return CMD_FAIL;
    }
    const int per_line = 16 / width;
    for (int i = 0; i < count; i++) {
        uint32_t at = addr + static_cast<uint32_t>(i * width);
        if (i % per_line == 0) sal_printf("%08x: ", at);
        char sep = i % per_line == per_line - 1 ? '\n' : ' ';
        if (width == 4)
            sal_printf("%08x%c", sal_mem_read32(at), sep);
        else if (width == 2)
            sal_printf("%04x%c", sal_mem_read16(at), sep);
        else
            sal_printf("%02x%c", sal_mem_read8(at), sep);
    }
    if (count % per_line != 0) sal_printf("\n");
    return CMD_OK;
}

int dump_by_type(int unit, const DumpType &type, args_t *a) {
    switch (type.kind) {
        case kTypeSoc:
            return dump_soc(unit, a);
        case kTypePhy:
            return dump_phy(unit, a);
        case kTypeWord:
            return dump_host_memory(a, 4);
        case kTypeHalf:
            return dump_host_memory(a, 2);
        case kTypeByte:
            return dump_host_memory(a, 1);
        case kTypePci:
            break;
    }
    sal_printf("Dumping register type %s is not yet implemented.\n", type.name);
    return CMD_FAIL;
}

bool any_port_double_tagged(int unit) {
    const soc_pbmp_t &e = SOC_CONTROL(unit)->e.bitmap;
    for (int port = 0; port < SOC_MAX_NUM_PORTS; port++) {
        int mode = 0;
        if (soc_pbmp_member(e, port) && dxp_port_dtag_mode_get(unit, port, &mode) == 0 && mode)
            return true;
    }
    return false;
}

int dump_table(int unit, int m, int first, int count, int flags) {
    if (mem_table_drv_id(m) == 0) {
        sal_printf("Unsupport memory table.\n");
        return CMD_FAIL;
    }
    int index_max = 0;
    int words = mem_table_words(unit, m, &index_max);
    if (std::strcmp(mem_table_name(m), "VLAN_1Q") == 0 && any_port_double_tagged(unit)) {
        sal_printf("\n Double tagging mode! ");
        sal_printf("Check 'VLAN show' for the real untagbitmap.\n\n");
    }
    for (int index = first; index < first + count; index++) {
        uint32_t entry[8] = {};
        int rv = mem_entry_read(unit, m, index, entry);
        if (rv < 0) {
            sal_printf("Read ERROR: table %s[%d]: %s\n", mem_table_name(m), index, dxp_errmsg(rv));
            return CMD_FAIL;
        }
        if (flags & kDumpHex) {
            for (int i = 0; i < words; i++)
                sal_printf("%08x\n", entry[i]);
            continue;
        }
        sal_printf("%s[%d]: ", mem_table_user_name(m), index);
        if (flags & kDumpRaw) {
            for (int i = 0; i < words; i++)
                sal_printf("0x%08x ", entry[i]);
        } else {
            sal_printf("ERROR: all not support yet.\n");
        }
        sal_printf("\n");
    }
    return CMD_OK;
}

int dump_memory(int unit, int m, args_t *a, int flags) {
    int index_max = 0;
    if (mem_table_words(unit, m, &index_max) < 0) {
        sal_printf("Error: Memory %s not valid for chip %s.\n", mem_table_name(m),
                   mem_chip_name(unit));
        return CMD_FAIL;
    }
    // A table alone is dumped whole; an index alone is one entry.
    int first = 0, count = index_max + 1;
    if (const char *w = ARG_GET(a); w != nullptr) {
        first = parse_memory_index(unit, m, w);
        count = 1;
        if (const char *c = ARG_GET(a); c != nullptr) count = parse_integer(c);
    }
    if (first < 0 || first > index_max) {
        sal_printf("Error: index %d out of range for table %s\n", first, mem_table_name(m));
        return CMD_FAIL;
    }
    if (count > index_max + 1 - first) count = index_max + 1 - first;
    return dump_table(unit, m, first, count, flags);
}

// Reads one register over and over: a bus-debugging aid.
int dump_reg_loop(int unit, args_t *a) {
    const char *page_word = ARG_GET(a);
    const char *addr_word = ARG_GET(a);
    if (page_word == nullptr || addr_word == nullptr || !parse_is_integer(page_word) ||
        !parse_is_integer(addr_word))
        return CMD_USAGE;
    uint32_t page = static_cast<uint32_t>(parse_integer(page_word));
    uint32_t offset = static_cast<uint32_t>(parse_integer(addr_word));
    soc_regaddrinfo_t ai;
    soc_reg_addr_decode(unit, &ai, page << 8 | offset);
    int count = 1;
    if (const char *w = ARG_GET(a); w != nullptr) {
        if (!parse_is_integer(w)) return CMD_USAGE;
        count = parse_integer(w);
    }
    uint64_t expect = 0;
    if (const char *w = ARG_GET(a); w != nullptr) {
        if (!parse_is_integer(w)) return CMD_USAGE;
        expect = static_cast<uint32_t>(parse_integer(w));
    } else if (int rv = soc_reg_info_read(unit, &ai, &expect); rv < 0) {
        sal_printf("ERROR: soc_reg_read failed: %s\n", dxp_errmsg(rv));
        return CMD_FAIL;
    }
    sal_printf("Expect %x for register reg [0x%x 0x%x]\n", static_cast<uint32_t>(expect), page,
               offset);
    int done = 0;
    while ((count == 0 || done < count) && !sh_stop_requested()) {
        uint64_t value = 0;
        int rv = soc_reg_info_read(unit, &ai, &value);
        done++;
        sal_debug_printf(kDebugLoop, "dump reg loops [0x%x 0x%x] got 0x%x for %d times\n", page,
                         offset, static_cast<uint32_t>(value), done);
        if (rv < 0 || value != expect) {
            sal_printf("Found wrong register access: expect 0x%x,got 0x%x after %d times\n",
                       static_cast<uint32_t>(expect), static_cast<uint32_t>(value), done);
            return CMD_FAIL;
        }
    }
    sal_printf("phydbg is successful for %d times\n", done);
    return CMD_OK;
}

int dump_target(int unit, args_t *a) {
    int flags = 0;
    const char *w;
    while ((w = ARG_CUR(a)) != nullptr) {
        if (strcasecmp(w, "raw") == 0)
            flags |= kDumpRaw;
        else if (strcasecmp(w, "hex") == 0)
            flags |= kDumpHex;
        else
            break;
        ARG_GET(a);
    }
    w = ARG_GET(a);
    if (w == nullptr) return CMD_USAGE;
    if (strcasecmp(w, "emac") == 0) {
        et_emac_dump();
        sal_printf("CP0 Status %x\n", cp0_status_get());
        return CMD_OK;
    }
    if (strcasecmp(w, "reg") == 0) return dump_reg_loop(unit, a);
    if (int m = mem_table_find(w); m >= 0) return dump_memory(unit, m, a, flags);
    if (const DumpType *t = dump_type_find(w)) return dump_by_type(unit, *t, a);
    sal_printf("Unknown option or memory to dump (use 'help dump' for more info)\n");
    return CMD_FAIL;
}

}  // namespace

int cmd_dump(int unit, args_t *a) {
    char *file = nullptr;
    int append = 0;
    parse_table_t pt;
    parse_table_init(unit, &pt);
    parse_table_add(&pt, "File", PQ_STRING, const_cast<char *>(""), &file, nullptr);
    parse_table_add(&pt, "Append", PQ_BOOL, nullptr, &append, nullptr);
    if (!sh_check_attached(ARG_CMD(a), unit) || parse_table_args(a, &pt) < 0) {
        parse_table_done(&pt);
        return CMD_FAIL;
    }
    bool to_file = file != nullptr && file[0] != '\0';
    int echo = 1;
    if (to_file) {
        if (sal_log_enabled()) {
            sal_printf("%s: Can't dump to file while logging is enabled\n", ARG_CMD(a));
            parse_table_done(&pt);
            return CMD_FAIL;
        }
        if (sal_log_file_set(file, append) < 0) {
            sal_printf("%s: Could not start log file\n", ARG_CMD(a));
            parse_table_done(&pt);
            return CMD_FAIL;
        }
        echo = sal_console_enable_set(0);
    }
    parse_table_done(&pt);
    int rv = dump_target(unit, a);
    if (to_file) {
        sal_log_file_set(nullptr, 0);
        sal_console_enable_set(echo);
    }
    return rv;
}
