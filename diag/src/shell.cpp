// The command monitor: the command tables, the console loop, line
// processing, dispatch with unit prefixes, help and the monitor settings.
#include <atomic>
#include <cstdio>
#include <cstring>

#include "diag_parse.h"
#include "diag_shell.h"
#include "diag_symtab.h"
#include "port_reserve.h"
#include "sal.h"
#include "sal_fs.h"
#include "shell_cmds.h"
#include "soc_cm.h"
#include "soc_control.h"

// Names as stored: capitals and digits are the shortest abbreviation. Rows
// whose handlers are not part of this build answer "not implemented".
// clang-format off
const cmd_t diag_common_cmds[] = {
    {"?", sh_help_short, "none\n", "Display list of commands"},
    {"??", sh_help, "[command] ...\n", "@help"},
    {"BackGround", sh_background, "quoted command\n", "Execute a command in the background."},
    {"CASE", sh_case, "what value command [value command]...\n", "Execute command based on string match"},
    {"CD", sh_cd, "[[-sethome] directory]\n", "Change current working directory"},
    {"CONFig", sh_config, "show | refresh | save | [add] [var=value] | delete var\n", "Configure Management interface"},
    {"CONSole", sh_console, "on|off\n", "Control console options"},
    {"CoPy", sh_copy, "source [destination]\n", "Copy a file"},
    {"DATE", sh_date, "[\"YYYY/MM/DD hh:mm:ss\"]\n", "Set or display current date"},
    {"DeBug", sh_debug, "[[+/-]option ...]\n", "Enable/Disable debug output"},
    {"DeBugMod", sh_debugmod, "module [[-]option ...]\n", "Enable/Disable debug output per module"},
    {"DELAY", sh_delay, "usec\n", "Put CLI task in a busy-wait loop for some amount of time"},
    {"DIR", sh_ls, "file ...\n", "@ls"},
    {"DISPatch", cmd_dispatch, "show | attach | detach | find | vcreate | vdestroy | vtime | linkreg | linkunreg | l2reg | l2unreg | attreg | attunreg | cparse\n", "DXP Dispatch control."},
    {"Echo", sh_echo, "[-n] Any text\n", "Echo command line"},
    {"EDline", sh_edline, "file\n", "Edit file using ancient line editor"},
    {"EXIT", sh_exit, "[clean]\n", "Exit the current shell (and possibly reset)"},
    {"EXPR", sh_expr, "c-style arithmetic expression\n", "Evaluate infix expression"},
    {"FLASHINIT", sh_flashinit, "[format=yes|no] [loader=os-loader] [OS=os_file]\n", "Initialize on board flash as a file system"},
    {"FLASHSYNC", sh_flashsync, "none\n", "Sync up on board flash with file system"},
    {"FOR", sh_for, "var=start,stop[,step[,fmt]] 'command' ...\n", "Execute a series of commands in a loop"},
    {"Help", sh_help, "[command] ...\n", "Print this list OR usage for a specific command"},
    {"HISTory", sh_history, "[count]\n", "List command history"},
    {"IF", sh_if, "condition [command ... [else command ...]]\n", "Conditionally execute commands"},
    {"JOBS", sh_jobs, "none\n", "List current background jobs"},
    {"KILL", sh_kill, "n\n", "Terminate a background job"},
    {"LOCal", sh_local, "variable [value]\n", "Create/Delete a variable in the local scope"},
    {"LOG", sh_log, "[file=filename] [append=yes|no]\n", "Enable/Disable logging and set log file"},
    {"LOOP", sh_loop, "loop-count \"command\" ...\n", "Execute a series of commands in a loop"},
    {"LS", sh_ls, "file ...\n", "List current directory"},
    {"MKDIR", sh_mkdir, "path\n", "Make a directory"},
    {"MORe", sh_more, "file ...\n", "Copy a file to the console"},
    {"MoVe", sh_move, "file_old file_new\n", "Rename a file on a file system"},
    {"NOEcho", sh_noecho, "Any text\n", "Ignore command line"},
    {"Pause", sh_pause, "[-x] Any text\n", "Pause command processing and wait for input"},
    {"PRINTENV", sh_printenv, "[local|global|all]\n", "Display current variable list"},
    {"PWD", sh_pwd, "none\n", "Print platform dependent working directory"},
    {"QUIT", sh_exit, "[clean]\n", "@exit"},
    {"RCCache", sh_rccache, "show [name] | add name | addq name | update name | delete name | clear\n", "Save contents of an rc file in memory"},
    {"RCLoad", sh_rcload, "file [parameters]\n", "Load commands from a file"},
    {"REBOOT", sh_reboot, "none\n", "Reboot the processor"},
    {"REName", sh_move, "file_old file_new\n", "@move"},
    {"RESET", sh_reboot, "none\n", "@reboot"},
    {"RM", sh_rm, "file\n", "Remove a file from a file system"},
    {"RMDIR", sh_rmdir, "path\n", "Remove a directory"},
    {"SAVE", sh_save, "file [word ...]\n", "Write data to a file"},
    {"SET", sh_set, "[option=value ...]\n", "Set various configuration options"},
    {"SETENV", sh_setenv, "variable [value]\n", "Create/Delete a variable in the global scope"},
    {"SHell", sh_shell, "none\n", "Invoke a system dependent shell"},
    {"SLeep", sh_sleep, "[quiet] [seconds [usec]]\n", "Suspend the CLI task for specified amount of time"},
    {"TIME", sh_time, "[command ...]\n", "Time the execution of one or more commands"},
    {"Version", sh_version, "none\n", "Print version and build information"},
};
const cmd_t diag_family_cmds[] = {
    {"AGE", cmd_age, AGE_USAGE, "Set TARN hardware age timer"},
    {"Attach", cmd_attach, "[Unit #] ...\n", "Attach SOC device(s)"},
    {"Auth", cmd_auth, AUTH_USAGE, "Port-based network access control"},
    {"BPDU", cmd_bpdu, BPDU_USAGE, "Manage BPDU addresses"},
    {"CABLEdiag", cmd_cable_diag, CABLE_DIAG_USAGE, "Run Cable Diagnotics"},
    {"CACHE", cmd_mem_cache, MEM_CACHE_USAGE, "Turn on/off software caching of tables"},
    {"CLEAR", cmd_clear, CLEAR_USAGE, "Clear a memory table or counters"},
    {"COMBO", cmd_combo, COMBO_USAGE, "Control combination copper/fiber ports"},
    {"COS", cmd_cos, COS_USAGE, "Manage classes of service"},
    {"CounTeR", cmd_counter, COUNTER_USAGE, "Enable/disable counter collection"},
    {"DETach", cmd_detach, "[unit #] ...\n", "Detach SOC device(s)"},
    {"DOS", cmd_dos, DOS_USAGE, "DoS Attack"},
    {"DSCP", cmd_dscp, DSCP_USAGE, "Map Diffserv Code Points"},
    {"DTAG", cmd_dtag, DTAG_USAGE, "Double Tagging"},
    {"Dump", cmd_dump, DUMP_USAGE, "Dump an address space or registers"},
    {"EditReg", cmd_reg_edit, REG_EDIT_USAGE, "Edit each field of SOC internal register"},
    {"EthernetAV", cmd_eav, EAV_USAGE, "Set/Display the Ethernet AV characteristics"},
    {"FieldProcessor", cmd_fp, FP_USAGE, "Manage Field Processor"},
    {"Getreg", cmd_reg_get, REG_GET_USAGE, "Get register"},
    {"IGMP", cmd_igmp, IGMP_USAGE, "IGMP snoop"},
    {"INIT", cmd_init, "[soc|noreset|mmu|dxp|misc|all]\n", "Initialize SOC and S/W"},
    {"IPG", cmd_ipg, IPG_USAGE, "Set default IPG values for ports"},
    {"L2", cmd_l2, L2_USAGE, "Manage L2 (MAC) addresses"},
    {"LINKscan", cmd_linkscan, LINKSCAN_USAGE, "Configure/Display link scanning"},
    {"LISTmem", cmd_mem_list, MEM_LIST_USAGE, "List the entry format for a given table"},
    {"Listreg", cmd_reg_list, REG_LIST_USAGE, "List register fields"},
    {"MCAST", cmd_mcast, MCAST_USAGE, "Manage multicast table"},
    {"MIRror", cmd_mirror, MIRROR_USAGE, "Manage port mirroring"},
    {"MODify", cmd_mem_modify, MEM_MODIFY_USAGE, "Modify table entry by field names"},
    {"Modreg", cmd_reg_mod, REG_MOD_USAGE, "Read/modify/write register"},
    {"PacketWatcher", cmd_packet_watcher, "[start|stop|count|log N|dump [N]|dump options M|report M|quiet|channel M|rate [n]|interval n|mode [soc|rx]] ...\n", "Monitor ports for packets"},
    {"PBMP", cmd_pbmp, PBMP_USAGE, "Convert port bitmap string to hex"},
    {"PHY", cmd_phy, PHY_USAGE, "Set/Display phy characteristics"},
    {"PORT", cmd_port, PORT_USAGE, "Set/Display port characteristics"},
    {"PortRate", cmd_port_rate, PORT_RATE_USAGE, "Set/Display port rate metering characteristics"},
    {"PortStat", cmd_port_stat, PORT_STAT_USAGE, "Display port status in table"},
    {"PROBE", cmd_probe, "none\n", "Probe for available SOC units"},
    {"PUTREG", cmd_reg_set, REG_SET_USAGE, "@setreg"},
    {"PVlan", cmd_pvlan, PVLAN_USAGE, "Port VLAN settings"},
    {"RATE", cmd_rate, RATE_USAGE, "Manage packet rate controls"},
    {"RXCfg", cmd_rx_cfg, "[chan] [options]\n", "Configure RX settings"},
    {"RXInit", cmd_rx_init, "override-unit\n", "Call dxp_rx_init"},
    {"RXMon", cmd_rx_mon, "[init|start|stop|show]\n", "Register an RX handler to dump received packets"},
    {"Setreg", cmd_reg_set, REG_SET_USAGE, "Set register"},
    {"SHOW", cmd_show, SHOW_USAGE, "Show information on a subsystem"},
    {"SOC", cmd_soc, SOC_USAGE, "Print internal Driver control information"},
    {"STG", cmd_stg, STG_USAGE, "Manage spanning tree groups"},
    {"TestClear", cmd_test_clear, "[Test ID] ...\n\t\"*\" clears the counts of every test.\n", "Clear run statisistics for a test"},
    {"TestList", cmd_test_list, "[Test ID] ...\n\tTest ID is a test number, a name prefix, \"*\" or \"all\";\n\t\"fail\" lists the failed tests.\n", "List loaded tests and status"},
    {"TestMode", cmd_test_mode, "[+/-]option ...\n\tOptions: StopOnError, Abortonerror, Random, Progress, SIlent,\n\tRun and Override. Without options, shows the current ones.\n", "Set global test run modes"},
    {"TestParameters", cmd_test_parameters, "[Test ID] [parameter string] ...\n\tAn empty string clears the test's parameters.\n", "Set test Parameters"},
    {"TestRun", cmd_test_run, "[Test ID [loops] [arguments ...]]\n\tWithout a test, runs the selected tests.\n\tSet \"RCTest\" (see \"SET\") so that the loopback tests are initialised\n\tby a script.\n", "Run a specific or selected tests"},
    {"TestSelect", cmd_test_select, "[+|-][Test ID] ...\n\t+ selects, - deselects, neither toggles; \"*\" covers every test.\n", "Select tests for running"},
    {"TRUNK", cmd_trunk, TRUNK_USAGE, "Manage port aggregation"},
    {"TX", cmd_tx, TX_USAGE, "Transmit one or more packets"},
    {"TXCount", cmd_tx_count, "none\n", "Print current TX statistics"},
    {"TXSTArt", cmd_tx_start, TX_USAGE, "Transmit one or more packets in background"},
    {"TXSTOp", cmd_tx_stop, "none\n", "Terminate a previous \"txstart\" command"},
    {"VLAN", cmd_vlan, VLAN_USAGE, "Manage virtual LANs"},
    {"Write", cmd_mem_write, MEM_WRITE_USAGE, "Write entry(s) into a table"},
};
// clang-format on
const int diag_common_cmd_cnt = sizeof diag_common_cmds / sizeof diag_common_cmds[0];
const int diag_family_cmd_cnt = sizeof diag_family_cmds / sizeof diag_family_cmds[0];

diag_settings_t diag_settings = {
    .if_error = 1,
    .rc_load = 1,
    .rc_error = 1,
    .rc_test = 1,
    .loop_error = 1,
    .more_lines = 20,
    .report_status = 1,
    .report_time = 5,
};

namespace {

constexpr const char *FAMILY_NAME = "tarn";

std::atomic<int> cur_unit{-1};
std::atomic<int> override_unit{0};
std::atomic<int> mode{0};
std::atomic<const cmd_t *> family_table{nullptr};
std::atomic<int> family_count{0};
std::atomic<sal_thread_t> console_thread{nullptr};

int unit_count() {
    int n = soc_cm_get_num_units();
    return n < 0 ? 0 : n;
}

bool attached(int unit) {
    return unit >= 0 && unit < unit_count() && soc_unit_attached(unit);
}

const cmd_t *lookup(const char *word, const cmd_t *table, int count) {
    if (table == nullptr) return nullptr;
    return static_cast<const cmd_t *>(parse_lookup(word, table, sizeof(cmd_t), count));
}

const cmd_t *lookup_command(const char *word) {
    const cmd_t *c = lookup(word, diag_common_cmds, diag_common_cmd_cnt);
    return c != nullptr ? c : lookup(word, family_table.load(), family_count.load());
}

void print_usage(const cmd_t *c) {
    if (c->c_usage != nullptr)
        sal_printf("Usage (%s): %s", c->c_cmd, c->c_usage);
    else
        sal_printf("Usage (%s): %s\n", c->c_cmd, c->c_help);
}

args_t *args_alloc() {
    return static_cast<args_t *>(sal_alloc(sizeof(args_t), "args_t"));
}

// One unit number of a prefix: a single digit. Every digit is read so that
// "12" or "200" is refused whole rather than taken for its first digit.
bool unit_digit(const char **p, int *unit) {
    const char *q = *p;
    while (*q >= '0' && *q <= '9')
        q++;
    if (q - *p != 1) return false;
    *unit = **p - '0';
    *p = q;
    return true;
}

struct UnitItem {
    int first;
    int last;
    bool range;
};

// The items of a prefix, its syntax checked as a whole before any unit is.
int parse_unit_items(const char *text, const char *colon, UnitItem *items, int room) {
    int n = 0;
    for (const char *p = text; p < colon;) {
        UnitItem item{};
        if (*p == '*') {
            item = {0, unit_count() - 1, true};
            p++;
        } else if (unit_digit(&p, &item.first)) {
            item.last = item.first;
            if (*p == '-') {
                p++;
                if (!unit_digit(&p, &item.last)) return -1;
                item.range = true;
            }
        } else {
            return -1;
        }
        if (p < colon && *p++ != ',') return -1;
        if (n == room) return -1;
        items[n++] = item;
    }
    return n;
}

// "0,2-3,*": the units of a prefix in ascending order; -1 after the message.
int parse_unit_list(const char *text, const char *colon, bool *units) {
    UnitItem items[32];
    int n = parse_unit_items(text, colon, items, 32);
    if (n < 0) {
        sal_printf("Error: Bad unit number\n");
        return -1;
    }
    int count = unit_count();
    for (int i = 0; i < n; i++) {
        // The message names the digit typed, also the end of a range.
        for (int typed : {items[i].first, items[i].last}) {
            if (typed >= count) {
                sal_printf("Error: Unit %d out of range\n", typed);
                return -1;
            }
        }
        for (int u = items[i].first; u <= items[i].last; u++) {
            if (attached(u)) {
                units[u] = true;
            } else if (!items[i].range) {
                sal_printf("Error: Unit %d is not attached\n", u);
                return -1;
            }
        }
    }
    return 0;
}

int dispatch_per_unit(args_t *a, const char *word, const char *colon) {
    bool units[10] = {};
    if (parse_unit_list(word, colon, units) < 0) return CMD_FAIL;
    int before = cur_unit.load();
    int rv = CMD_OK;
    for (int u = 0; u < 10 && rv == CMD_OK; u++) {
        if (!units[u]) continue;
        args_t *copy = args_alloc();
        if (copy == nullptr) {
            sal_printf("Error: out of memory\n");
            rv = CMD_FAIL;
            break;
        }
        args_copy(copy, a);
        sh_set_unit(u);
        // The word the prefix came from: what follows its colon, or the
        // next word when nothing does.
        copy->a_arg--;
        copy->a_argv[copy->a_arg] += colon - word + 1;
        if (copy->a_argv[copy->a_arg][0] == '\0') copy->a_arg++;
        rv = sh_dispatch(u, copy);
        sal_free(copy);
    }
    sh_set_unit(before);
    return rv;
}

void print_names(const cmd_t *table, int count) {
    int n = 0;
    for (int i = 0; table != nullptr && i < count; i++) {
        if (table[i].c_help[0] == '.') continue;
        sal_printf("%-15s", table[i].c_cmd);
        if (++n % 5 == 0) sal_printf("\n");
    }
    if (n % 5 != 0) sal_printf("\n");
}

void list_table(const cmd_t *table, int count) {
    for (int i = 0; table != nullptr && i < count; i++) {
        if (table[i].c_help[0] == '@' || table[i].c_help[0] == '.') continue;
        sal_printf("\t%-20s%s\n", table[i].c_cmd, table[i].c_help);
    }
}

void manual_table(const cmd_t *table, int count) {
    for (int i = 0; table != nullptr && i < count; i++) {
        const char *help = table[i].c_help[0] == '.' ? table[i].c_help + 1 : table[i].c_help;
        sal_printf("\n\nCOMMAND: %s\tDescription:%s\n\n%s", table[i].c_cmd, help,
                   table[i].c_usage != nullptr ? table[i].c_usage : "");
    }
}

// History substitution of "!!" and "!$"; true when anything was replaced.
bool history_substitute(char *line, size_t size, const char *history, const char *last_word) {
    char out[ARGS_BUFFER];
    size_t o = 0;
    bool changed = false;
    for (const char *p = line; *p != '\0';) {
        const char *insert = nullptr;
        if (p[0] == '!' && p[1] == '!') insert = history;
        if (p[0] == '!' && p[1] == '$') insert = last_word;
        if (insert != nullptr && o + std::strlen(insert) < sizeof out - 1) {
            std::memcpy(out + o, insert, std::strlen(insert));
            o += std::strlen(insert);
            p += 2;
            changed = true;
            continue;
        }
        if (o < sizeof out - 1) out[o++] = *p;
        p++;
    }
    out[o] = '\0';
    if (changed) std::snprintf(line, size, "%s", out);
    return changed;
}

bool only_blanks(const char *s) {
    for (; *s != '\0'; s++)
        if (*s != ' ' && *s != '\t') return false;
    return true;
}

// "N::" and "N:" lines: 1 when the line was one of them, with *rv set.
bool unit_line(const char *line, int *rv) {
    if (line[0] < '0' || line[0] > '9' || line[1] != ':') return false;
    int unit = line[0] - '0';
    if (line[2] == ':' && line[3] == '\0') {
        cur_unit = unit;
        override_unit = 1;
        sal_printf("Override default SOC device set to %d\n", unit);
        *rv = CMD_OK;
        return true;
    }
    if (line[2] != '\0') return false;
    if (!attached(unit)) {
        sal_printf("Error: Unit %d is not attached\n", unit);
        *rv = CMD_FAIL;
        return true;
    }
    override_unit = 0;
    sh_set_unit(unit);
    sal_printf("Default SOC device set to %d\n", unit);
    *rv = CMD_OK;
    return true;
}

void choose_unit(int *unit) {
    if (override_unit) return;
    int lowest = -1;
    for (int u = 0; u < unit_count(); u++) {
        if (attached(u)) {
            lowest = u;
            break;
        }
    }
    if (lowest < 0)
        *unit = -1;
    else if (*unit < 0 || !attached(*unit))
        *unit = lowest;
    sh_set_unit(*unit);
}

void build_prompt(char *prompt, size_t size, const char *prefix, int unit, int batch) {
    prompt[0] = '\0';
    if (batch || !sal_console_enable_get()) return;
    char custom[256];
    if (var_get_copy("prompt", custom, sizeof custom)) {
        size_t o = 0;
        for (const char *p = custom; *p != '\0' && o + 1 < size; p++) {
            if (p[0] == '\\' && p[1] == 'n') {
                prompt[o++] = '\n';
                p++;
            } else {
                prompt[o++] = *p;
            }
        }
        prompt[o] = '\0';
    } else if (unit >= 0) {
        std::snprintf(prompt, size, "%s.%d> ", prefix, unit);
    } else {
        std::snprintf(prompt, size, "%s> ", prefix);
    }
}

std::atomic<int> input_ended{0};

}  // namespace

int diag_console_ended(void) {
    return input_ended.load();
}

void sh_set_mode(int m) {
    mode = m;
    if (m == 2) {
        family_table = diag_family_cmds;
        family_count = diag_family_cmd_cnt;
    }
}

int sh_get_mode(void) {
    return mode.load();
}

int sh_get_unit(void) {
    return cur_unit.load();
}

int sh_check_attached(const char *cmd, int unit) {
    if (unit < 0) {
        sal_printf("%s: Error: No default unit\n", cmd);
        return 0;
    }
    if (!attached(unit) && !override_unit) {
        sal_printf("%s: Error: Unit %d not attached\n", cmd, unit);
        return 0;
    }
    return 1;
}

void sh_set_unit(int unit) {
    int old = cur_unit.load();
    if (old == unit) return;
    char name[32];
    if (old >= 0) {
        var_unset(FAMILY_NAME, 0, 1, 0);
        var_unset(soc_cm_device_name(old), 0, 1, 0);
        std::snprintf(name, sizeof name, "unit%d", old);
        var_unset(name, 0, 1, 0);
        var_unset("devname", 0, 1, 0);
        var_unset("pcidev", 0, 1, 0);
        var_unset("pcirev", 0, 1, 0);
    }
    cur_unit = unit;
    if (unit < 0) {
        var_unset("unit", 0, 1, 0);
        return;
    }
    bool family = (soc_cm_get_dev_type(unit) & SOC_CM_TARN) != 0;
    if (family) var_set(FAMILY_NAME, "1", 0, 0);
    const char *dev = soc_cm_device_name(unit);
    var_set(dev, "1", 0, 0);
    std::snprintf(name, sizeof name, "unit%d", unit);
    var_set(name, "1", 0, 0);
    var_set("devname", dev, 0, 0);
    uint16_t dev_id;
    uint8_t rev_id;
    if (soc_cm_device_id_get(unit, &dev_id, &rev_id) == 0) {
        std::snprintf(name, sizeof name, "0x%04x", dev_id);
        var_set("pcidev", name, 0, 0);
        std::snprintf(name, sizeof name, "0x%02x", rev_id);
        var_set("pcirev", name, 0, 0);
    }
    var_set_integer("unit", unit, 0, 0);
    sh_set_mode(family ? 2 : 1);
}

void sh_check_command_order(void) {
    for (int i = 1; i < diag_common_cmd_cnt; i++)
        if (sal_strcasecmp(diag_common_cmds[i].c_cmd, diag_common_cmds[i - 1].c_cmd) <= 0)
            sal_printf("WARNING: dxp common command %s not alphabetized\n",
                       diag_common_cmds[i].c_cmd);
    for (int i = 1; i < diag_family_cmd_cnt; i++)
        if (sal_strcasecmp(diag_family_cmds[i].c_cmd, diag_family_cmds[i - 1].c_cmd) <= 0)
            sal_printf("WARNING: dxp tarn command %s not alphabetized\n",
                       diag_family_cmds[i].c_cmd);
    sh_set_mode(1);
}

void diag_assert_handler(const char *expr, const char *file, int line) {
    sal_printf("ERROR: Assertion failed: (%s) at %s:%d\n", expr, file, line);
    if (sal_thread_self() != console_thread.load()) sal_thread_exit(-1);
    char answer[81];
    diag_readline("Press Enter if you wish to continue anyway ", answer, sizeof answer, nullptr);
    sal_printf("WARNING: Correct behavior no longer guaranteed\n");
}

void diag_init(void) {
    sal_assert_set(diag_assert_handler);
    sal_printf("Diagnostic monitor: \"help\" lists the commands\n");
    sh_check_command_order();
    symtab_init();
    sal_srand(1);
    diag_boot_vars();
}

int sh_dispatch(int unit, args_t *a) {
    char *word = ARG_GET(a);
    if (word == nullptr) return CMD_OK;

    // A unit prefix: "0:cmd", "0,2-3:cmd", "*:cmd".
    const char *colon = std::strchr(word, ':');
    if (colon != nullptr &&
        std::strspn(word, "0123456789,-*") == static_cast<size_t>(colon - word) && colon != word)
        return dispatch_per_unit(a, word, colon);

    if (ARG_CNT(a) == 0 && parse_is_integer(word))
        return parse_integer(word) != 0 ? CMD_OK : CMD_FAIL;

    const cmd_t *c = lookup_command(word);
    if (c == nullptr) {
        if (diag_settings.rc_load) {
            int rv = rcload(unit, a, word, 1);
            if (rv != CMD_NFND) return rv;
        }
        sal_printf("Unknown command: %s\n", word);
        return CMD_NFND;
    }
    int rv;
    const char *next = ARG_CUR(a);
    if (ARG_CNT(a) == 1 && (parse_name_match("HELP", next, '\0') || std::strcmp(next, "?") == 0)) {
        rv = CMD_USAGE;
    } else {
        a->a_cmd = c->c_cmd;
        // A refusal an earlier command left unnamed is no part of this one.
        int held_unit = 0, held_port = 0;
        port_reserve_take_refusal(&held_unit, &held_port);
        rv = c->c_f(unit, a);
    }
    if (rv == CMD_USAGE) {
        print_usage(c);
    } else if (rv == CMD_NOTIMPL) {
        sal_printf("%s: Command not implemented\n", c->c_cmd);
        rv = CMD_FAIL;
    } else if (rv == CMD_OK && ARG_CNT(a) > 0) {
        sal_printf("%s: WARNING: excess arguments ignored beginning with '%s'\n", c->c_cmd,
                   ARG_CUR(a));
    }
    return rv;
}

int sh_process_command(int unit, const char *line) {
    if (sal_debug_flags_add(0) & 0x4000) {
        if (unit < 0)
            sal_printf("DXP> %s\n", line ? line : "");
        else
            sal_printf("DXP.%d> %s\n", unit, line ? line : "");
    }
    args_t *a = args_alloc();
    if (a == nullptr) {
        sal_printf("sh_process_command: Out of memory\n");
        return CMD_FAIL;
    }
    int rv = CMD_OK;
    const char *p = line;
    while (p != nullptr) {
        if (sh_stop_requested()) {
            rv = CMD_INTR;
            break;
        }
        p += std::strspn(p, " \f\n\r\t\v");
        const char *rest = nullptr;
        if (sh_tokenize(p, &rest, a) < 0) {
            rv = CMD_FAIL;
            break;
        }
        rv = sh_dispatch(unit, a);
        var_set_integer("?", rv, 1, 0);
        if (rv == CMD_USAGE || rv == CMD_INTR || rv == CMD_EXIT) break;
        p = rest;
    }
    sal_free(a);
    return rv;
}

sal_thread_t diag_console_thread(void) {
    return console_thread.load();
}

int diag_shell(int unit, const char *prefix, int eof_exit) {
    if (prefix == nullptr) prefix = "";
    sal_thread_t expected = nullptr;
    console_thread.compare_exchange_strong(expected, sal_thread_self());

    diag_scope_t *scope = var_push_scope();
    var_set_integer("?", 0, 1, 0);
    diag_scope_t *pushed[3] = {};
    int npushed = 0;
    int batch = 0;
    // One byte more than a line may hold: a line that fills it is too long.
    constexpr int kLineRead = ARGS_BUFFER + 1;
    auto *line = static_cast<char *>(sal_alloc(kLineRead, "diag_shell"));
    auto *history = static_cast<char *>(sal_alloc(ARGS_BUFFER, "diag_shell"));
    SAL_ASSERT(line != nullptr && history != nullptr);
    const char *last_word = history;
    int rv = CMD_OK;
    int eofs = 0;
    // The end of input at the prompt: true when the shell leaves. A Ctrl-D
    // typed at a terminal is one key, not the end of the console: the
    // monitor stays for the next command; a closed pipe keeps reporting the
    // end, and the monitor leaves after a few.
    auto input_end = [&] {
        if (sal_console_input_closed() && (eof_exit || ++eofs >= 3)) {
            sal_printf("EOF\n");
            input_ended = 1;
            rv = CMD_OK;
            return true;
        }
        sal_printf("Type \"EXIT\" to exit shell\n");
        return false;
    };

    for (;;) {
        choose_unit(&unit);
        if (override_unit) unit = cur_unit.load();

        char proxy[32];
        if (var_get_copy("proxy_cmd_", proxy, sizeof proxy)) {
            if (std::strcmp(proxy, "enter_batchmode") == 0) {
                batch = 1;
            } else if (std::strcmp(proxy, "exit_batchmode") == 0) {
                batch = 0;
            } else if (std::strcmp(proxy, "push_scope") == 0) {
                // A fourth nested push is refused: the third stays current.
                if (npushed < 3) pushed[npushed++] = var_push_scope();
            } else if (std::strcmp(proxy, "pop_scope") == 0) {
                if (npushed > 0) var_pop_scope(pushed[--npushed]);
            }
            var_unset("proxy_cmd_", 0, 1, 0);
        }

        char prompt[256];
        build_prompt(prompt, sizeof prompt, prefix, unit, batch);
        if (diag_readline(prompt, line, kLineRead, nullptr) == nullptr) {
            if (input_end()) break;
            continue;
        }
        eofs = 0;
        // A break typed before this line was read belonged to what ran then.
        sh_break_clear();
        if (line[0] == '~') {
            sal_printf("EOF\n");
            rv = CMD_OK;
            break;
        }
        size_t len;
        uint32_t breaks = sal_console_prompt_breaks();
        bool dropped_at_end = false;
        sal_console_line_prompt_set(prompt);
        while ((len = std::strlen(line)) > 0 && len < ARGS_BUFFER && line[len - 1] == '\\') {
            line[len - 1] = ' ';
            const bool read = diag_readline("? ", line + len, kLineRead - static_cast<int>(len),
                                            nullptr) != nullptr;
            // A break at "? " dropped the whole line: what came after it
            // starts anew, and an end of input after it is one at the prompt.
            if (const uint32_t now = sal_console_prompt_breaks(); now != breaks) {
                breaks = now;
                if (!read) {
                    dropped_at_end = true;
                    break;
                }
                std::memmove(line, line + len, std::strlen(line + len) + 1);
            } else if (!read) {
                line[len] = '\0';
                break;
            }
        }
        sal_console_line_prompt_set(nullptr);
        if (dropped_at_end) {
            if (input_end()) break;
            continue;
        }
        // The reader drops what does not fit: a cut line could run
        // something other than what was typed.
        if (std::strlen(line) >= ARGS_BUFFER) {
            sal_printf("Error: line longer than %d characters: not run\n", ARGS_BUFFER - 1);
            rv = CMD_FAIL;
            var_set_integer("?", rv, 1, 0);
            continue;
        }
        if (!batch && history[0] != '\0' &&
            history_substitute(line, ARGS_BUFFER, history, last_word))
            sal_printf("%s\n", line);
        if (!only_blanks(line)) {
            std::snprintf(history, ARGS_BUFFER, "%s", line);
            const char *end = history + std::strlen(history);
            while (end > history && (end[-1] == ' ' || end[-1] == '\t'))
                end--;
            while (end > history && end[-1] != ' ' && end[-1] != '\t')
                end--;
            last_word = end;
        }
        if (!(mode.load() >= 1 && unit_line(line, &rv))) rv = sh_process_command(unit, line);
        if (override_unit) unit = cur_unit.load();
        var_set_integer("?", rv, 1, 0);
        if (rv == CMD_EXIT) break;
    }
    while (npushed > 0)
        var_pop_scope(pushed[--npushed]);
    var_pop_scope(scope);
    sal_free(line);
    sal_free(history);
    return rv;
}

// ---------------------------------------------------------------- commands

int sh_not_implemented(int, args_t *) {
    return CMD_NOTIMPL;
}

int sh_help(int, args_t *a) {
    const cmd_t *ftab = family_table.load();
    int fcnt = family_count.load();
    if (ARG_CNT(a) == 0) {
        sal_printf("Help: Type help \"command\" for detailed command usage\n");
        sal_printf("Help: Upper case letters signify minimal match\n");
        sal_printf("\nCommands common to all modes:\n");
        list_table(diag_common_cmds, diag_common_cmd_cnt);
        sal_printf("\nCommands for current mode:\n");
        list_table(ftab, fcnt);
        sal_printf(
            "\nNumber Formats:\n"
            "\t[-]0x[0-9|A-F|a-f]+ -hex if number begins with \"0x\"\n"
            "\t[-][0-9]+           -decimal integer\n"
            "\t[-]0[0-7]+          -octal if number begins with \"0\"\n"
            "\t[-]0b[0-1]+         -binary if number begins with \"0b\"\n\n");
        return CMD_OK;
    }
    if (ARG_CNT(a) == 1 && sal_strcasecmp(ARG_CUR(a), "print-manual") == 0) {
        ARG_GET(a);
        sal_printf("\nCommands common to all modes:\n");
        manual_table(diag_common_cmds, diag_common_cmd_cnt);
        sal_printf("\nCommands for current mode:\n");
        manual_table(ftab, fcnt);
        return CMD_OK;
    }
    int rv = CMD_OK;
    const char *w;
    while ((w = ARG_GET(a)) != nullptr) {
        const cmd_t *table = ftab;
        int count = fcnt;
        const cmd_t *c = lookup(w, table, count);
        if (c == nullptr) {
            table = diag_common_cmds;
            count = diag_common_cmd_cnt;
            c = lookup(w, table, count);
        }
        if (c == nullptr) {
            sal_printf("Usage: Command not found: %s\n", w);
            rv = CMD_FAIL;
            continue;
        }
        if (c->c_help[0] == '@') {
            const cmd_t *target = lookup(c->c_help + 1, table, count);
            if (target == nullptr) {
                sal_printf("%s: Error: Aliased command not found\n", ARG_CMD(a));
                continue;
            }
            sal_printf("Usage (%s): is an alias for \"%s\"\n", w, target->c_cmd);
            c = target;
        }
        if (c->c_usage != nullptr)
            sal_printf("Usage (%s): %s", c->c_cmd, c->c_usage);
        else
            sal_printf("Usage: Not available for command: %s\n", c->c_cmd);
    }
    return rv;
}

int sh_help_short(int unit, args_t *a) {
    if (ARG_CNT(a) > 0) return sh_help(unit, a);
    sal_printf("help: \"??\" or \"help\" for summary\n");
    sal_printf("Commands common to all modes:\n");
    print_names(diag_common_cmds, diag_common_cmd_cnt);
    sal_printf("Commands for current mode:\n");
    print_names(family_table.load(), family_count.load());
    return CMD_OK;
}

int sh_exit(int, args_t *a) {
    if (ARG_CNT(a) == 0) return CMD_EXIT;
    if (ARG_CNT(a) == 1 && sal_strcasecmp(ARG_CUR(a), "clean") == 0) {
        ARG_GET(a);
        return sal_clean_exit();
    }
    return CMD_USAGE;
}

int sh_shell(int, args_t *a) {
    if (ARG_CNT(a) != 0) return CMD_USAGE;
    sal_shell();
    return CMD_OK;
}

int sh_set(int unit, args_t *a) {
    parse_table_t pt;
    parse_table_init(unit, &pt);
    diag_settings_t &s = diag_settings;
    parse_table_add(&pt, "IFError", PQ_BOOL | PQ_DFL, nullptr, &s.if_error, nullptr);
    parse_table_add(&pt, "RCLoad", PQ_BOOL | PQ_DFL, nullptr, &s.rc_load, nullptr);
    parse_table_add(&pt, "RCError", PQ_BOOL | PQ_DFL, nullptr, &s.rc_error, nullptr);
    parse_table_add(&pt, "RCTest", PQ_BOOL | PQ_DFL, nullptr, &s.rc_test, nullptr);
    parse_table_add(&pt, "LoopError", PQ_BOOL | PQ_DFL, nullptr, &s.loop_error, nullptr);
    parse_table_add(&pt, "MoreLines", PQ_INT | PQ_DFL, nullptr, &s.more_lines, nullptr);
    parse_table_add(&pt, "ReportStatus", PQ_BOOL | PQ_DFL, nullptr, &s.report_status, nullptr);
    parse_table_add(&pt, "ReportTime", PQ_INT | PQ_DFL, nullptr, &s.report_time, nullptr);
    int rv;
    if (parse_options(a, &pt, &rv)) {
        parse_table_done(&pt);
        rv = CMD_OK;
    }
    return rv;
}
