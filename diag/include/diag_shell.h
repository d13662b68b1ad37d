// The console command monitor: word lists, the tokenizer, name matching,
// shell variables, the command tables, the dispatcher and the script runner.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------- results
constexpr int CMD_OK = 0;
constexpr int CMD_FAIL = -1;
constexpr int CMD_USAGE = -2;
constexpr int CMD_NFND = -3;
constexpr int CMD_EXIT = -4;
constexpr int CMD_INTR = -5;
constexpr int CMD_NOTIMPL = -6;

// ---------------------------------------------------------------- word lists
constexpr int ARGS_CNT = 1024;
constexpr int ARGS_BUFFER = 4096;

struct args_t {
    const char *a_cmd;
    char *a_argv[ARGS_CNT];
    char a_buffer[ARGS_BUFFER];
    int a_argc;
    int a_arg;
};

// The next unread word, taken (ARG_GET) or only looked at (ARG_CUR); null at
// the end.
char *ARG_GET(args_t *a);
char *ARG_CUR(args_t *a);
inline int ARG_CNT(const args_t *a) {
    return a->a_argc - a->a_arg;
}
inline const char *ARG_CMD(const args_t *a) {
    return a->a_cmd;
}

int args_append(args_t *a, char *word);  // -1 when full
void args_copy(args_t *dst, const args_t *src);

// Splits a line into words; *rest (when asked) gets the text after a ';' of
// the line itself, else null. 0, or -1 after printing the error.
int sh_tokenize(const char *line, const char **rest, args_t *a);
// Consulted for variables the shell does not hold; null: none.
using sh_var_provider_t = const char *(*)(const char *name);
void sh_var_provider_set(sh_var_provider_t provider);

// ---------------------------------------------------------------- name matching
// 1 when the typed word (ended by a zero byte or by end) selects the name.
int parse_name_match(const char *name, const char *word, char end);
// Rows of any table whose rows begin with a name pointer; null when none.
const void *parse_lookup(const char *word, const void *table, size_t row_size, int rows);
const void *parse_lookup_stop(const char *word, const void *table, size_t row_size, int rows,
                              char end);

// ---------------------------------------------------------------- parse tables
constexpr uint32_t PQ_INT = 1;
constexpr uint32_t PQ_HEX = 2;
constexpr uint32_t PQ_BOOL = 3;
constexpr uint32_t PQ_STRING = 4;
constexpr uint32_t PQ_PORTMODE = 6;  // port abilities, as parse_ability reads them
constexpr uint32_t PQ_MULTI = 8;
constexpr uint32_t PQ_IP = 9;
constexpr uint32_t PQ_PORT = 10;
constexpr uint32_t PQ_MAC = 1029;
constexpr uint32_t PQ_PBMP = 1031;
constexpr uint32_t PQ_MOD_PORT = 1035;
constexpr uint32_t PQ_IP6 = 1036;
constexpr uint32_t PQ_TYPE_MASK = 0x4ff;
constexpr uint32_t PQ_MALLOC = 0x100;
constexpr uint32_t PQ_STATIC = 0x400;
constexpr uint32_t PQ_DFL = 0x800;
constexpr uint32_t PQ_PARSED = 0x1000;
constexpr uint32_t PQ_NO_EQ_OPT = 0x2000;
constexpr uint32_t PQ_NO_EQ = 0x4000;
constexpr uint32_t PQ_IGNORE = 0x8000;
constexpr uint32_t PQ_NOFREE = 0x20000;

struct parse_pm_t {
    const char *name;
    uint32_t type;
    void *deflt;
    void *value;
    const char *const *choices;
};

struct parse_table_t {
    int unit;
    int count;
    int capacity;
    parse_pm_t *entries;
    const char *refused_for;  // what a refused word would have set (the ports), or null
};

void parse_table_init(int unit, parse_table_t *pt);
int parse_table_add(parse_table_t *pt, const char *name, uint32_t type, void *deflt, void *value,
                    const char *const *choices);
// Words taken, or -1 once a word is refused, which it says on one line
// naming the command, the word and why.
int parse_table_args(args_t *a, parse_table_t *pt);
void parse_table_show(parse_table_t *pt);
void parse_table_done(parse_table_t *pt);
// 1 with the table alive when every word parsed; else 0 with *rv set.
int parse_options(args_t *a, parse_table_t *pt, int *rv);
// Boolean words ("Yes", "OFF", ...): 0 with the value, or -1.
int parse_boolean(const char *word, int *value);

struct parse_mask_t {
    const char *name;
    uint32_t mask;
};
int parse_mask(const char *word, const parse_mask_t *table, uint32_t *mask);
void parse_mask_format(int width, const parse_mask_t *table, uint32_t mask);

// ---------------------------------------------------------------- variables
struct diag_var_t {
    diag_var_t *next;
    diag_var_t *prev;
    char *name;
    char *value;
};
struct diag_scope_t;

diag_scope_t *var_push_scope(void);
void var_pop_scope(diag_scope_t *scope);
// Copies the value into buf (cut to size); 1 when found, else 0.
int var_get_copy(const char *name, char *buf, size_t size);
int var_exists(const char *name, int local, int global);
// The value text; callers on the monitor thread only (another thread may
// replace it).
const char *var_get(const char *name);
int var_set(const char *name, const char *value, int local, int system);
int var_set_integer(const char *name, int value, int local, int system);
int var_unset(const char *name, int local, int global, int system);
void diag_boot_vars(void);

// ---------------------------------------------------------------- commands
using cmd_func_t = int (*)(int unit, args_t *a);
struct cmd_t {
    const char *c_cmd;
    cmd_func_t c_f;
    const char *c_usage;
    const char *c_help;
};

struct diag_settings_t {
    int if_error;
    int rc_load;
    int rc_error;
    int rc_test;
    int loop_error;
    int more_lines;
    int report_status;
    int report_time;
};
extern diag_settings_t diag_settings;

extern const cmd_t diag_common_cmds[];
extern const int diag_common_cmd_cnt;
extern const cmd_t diag_family_cmds[];
extern const int diag_family_cmd_cnt;

void diag_init(void);
// Unit initialisation after its attach: chip reset, the debug flags of
// "reg_write_log" and the switch API. Failures are debug-printed; 0.
int system_init(int unit);
int diag_shell(int unit, const char *prefix, int eof_exit);
int sh_process_command(int unit, const char *line);
int sh_dispatch(int unit, args_t *a);
int sh_check_attached(const char *cmd, int unit);
void sh_set_unit(int unit);
int sh_get_unit(void);
void sh_set_mode(int mode);
int sh_get_mode(void);
void sh_check_command_order(void);
// 1 once a shell level has left because console input ended.
int diag_console_ended(void);
// Called after INIT has initialised a unit again, which empties the chip's
// tables, and after an `L2 clear`, a `CLEAR dev` or a `CLEAR` of the address
// table, which take entries from it: the application puts back what it keeps
// there (its own station entries). Null: nothing.
using diag_unit_init_fn = void (*)(int unit);
void diag_unit_init_register(diag_unit_init_fn fn);
void diag_unit_entries_restore(int unit);
void diag_assert_handler(const char *expr, const char *file, int line);
// The thread that runs the board's console monitor; null before it starts.
struct sal_thread_s *diag_console_thread(void);

// The console's break key. Long commands hold a break context while they
// run; sh_break_block defers a break over a step that must not be cut.
void sh_break_push(void *ctx);
void sh_break_pop(void *ctx);
void sh_break_block(int on);
// Asks the command the console runs to stop at its next check of
// sh_stop_requested; the rest of its line is not run. 1 when a command that
// holds a break context takes it.
int sh_break_raise(void);
// Forgets a break no command took: the monitor calls it on each line read.
// A break that came after the line was read (typed right after its Enter)
// stays, for the line's command.
void sh_break_clear(void);
// 1 on the console's thread while a break waits and is not deferred.
int sh_break_requested(void);

// ---------------------------------------------------------------- scripts
int rcload(int unit, args_t *a, const char *file, int quiet_ext);
// The cached text of a script, copied; null when not cached. Free with
// sal_free.
char *rccache_copy(const char *name);

// ---------------------------------------------------------------- background jobs
// 1 when the calling thread runs a background job that KILL asked to stop,
// or is the console's and its break key was typed; command loops end at
// their next command boundary.
int sh_stop_requested(void);
// 1 on the thread of a background job. A job may stop itself as KILL
// stops it: its commands end at their next check.
int sh_in_background(void);
void sh_stop_own_job(void);
// Waits (sleeping, or busy when busy is set) while no stop is requested;
// CMD_INTR when a stop cut the wait short, else CMD_OK.
int sh_wait_usec(uint64_t usec, int busy);
// Jobs of the unit whose threads still run (killed ones included).
int bg_job_count(int unit);
