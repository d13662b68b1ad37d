// The self-test framework: the test table and its commands (TestList,
// TestSelect, TestRun, TestMode, TestParameters, TestClear), the run of one
// test, error reporting with the Stop-on-Error menu and the progress line.
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "diag_parse.h"
#include "diag_test.h"
#include "drv_if.h"
#include "port_reserve.h"
#include "sal.h"
#include "shell_cmds.h"
#include "soc_cm.h"
#include "soc_control.h"

namespace {

constexpr int kMaxLoops = TEST_MAX_LOOPS;

constexpr int kMaxTests = 32;
// The rows' flags, counts and parameters are written with interrupts
// blocked (sal_splhi), from the test's thread, a background job or the
// console, and read so: TestList shows one moment of the table.
test_t table[kMaxTests];

struct TableLock {
    int level = sal_splhi();
    TableLock() = default;
    TableLock(const TableLock &) = delete;
    TableLock &operator=(const TableLock &) = delete;
    ~TableLock() { sal_spl(level); }
};

// Adds one to a count of the row.
void count_one(test_t *t, int test_t::*count) {
    TableLock held;
    t->*count += 1;
}

std::atomic<test_t *> active{nullptr};
std::atomic<sal_thread_t> test_thread{nullptr};

const parse_mask_t kOptions[] = {
    {"@SOE", TEST_O_SOE},
    {"@AOE", TEST_O_AOE},
    {"Stoponerror", TEST_O_SOE},
    {"Abortonerror", TEST_O_AOE},
    {"Quiet", TEST_O_QUIET},
    {"Progress", TEST_O_PROGRESS},
    {"RANDom", TEST_O_RANDOM},
    {"SIlent", TEST_O_SILENT},
    {"Run", TEST_O_RUN},
    {"Override", TEST_O_OVERRIDE},
    {nullptr, 0},
};

constexpr const char *kStars = "****************************************\n";

bool supported(const test_t *t, uint32_t chip) {
    return (t->t_flags & chip) != 0;
}

bool selected(const test_t *t, uint32_t chip) {
    return (t->t_flags & TEST_F_SEL_USER) ||
           ((t->t_flags & TEST_F_SEL_DEFAULT) && supported(t, chip));
}

const char *chip_name(int unit) {
    const soc_control_t *s = SOC_CONTROL(unit);
    if (s == nullptr) return soc_cm_device_name(unit);
    const char *name = soc_chip_group_name(s->chip_group);
    return name != nullptr ? name : soc_cm_device_name(unit);
}

void flags_set(test_t *t, uint32_t bits) {
    TableLock held;
    t->t_flags |= bits;
}

void flags_clear(test_t *t, uint32_t bits) {
    TableLock held;
    t->t_flags &= ~bits;
}

int test_dispatch_init(int unit, test_t *t, args_t *a, void **work) {
    if (diag_settings.rc_test && (t->t_flags & TEST_F_RC)) {
        var_set_integer("testinit", t->t_test, 0, 0);
        var_unset("testinit", 0, 1, 0);
    }
    if (t->t_init_f != nullptr && t->t_init_f(unit, a, work) != 0) {
        sal_printf("Test: ERROR: Init function for test %d (%s) failed\n", t->t_test, t->t_name);
        return -1;
    }
    return 0;
}

void test_dispatch_done(int unit, test_t *t, void *work) {
    if (t->t_done_f != nullptr && t->t_done_f(unit, work) != 0)
        sal_printf("Test: ERROR: Done function for test %d (%s) failed\n", t->t_test, t->t_name);
    flags_clear(t, TEST_F_ACTIVE | TEST_F_SOE_OFFERED | TEST_F_ERROR);
    active = nullptr;
    test_thread = nullptr;
    if (test_options & TEST_O_RUN) sal_printf("Test %d (%s) Completed\n", t->t_test, t->t_name);
}

void stop_on_error_menu(int unit, test_t *t) {
    int eofs = 0;
    for (;;) {
        sal_printf(
            "\n\n *** Stop-on-Error *** \n\t\"dxp\" to enter recursive DXP shell\n\t\"continue\" "
            "to continue running current test\n\n\t\"stop\" to stop all tests\n\t\"abort\" to "
            "abort current test and start next test\n");
        char answer[64];
        // A break at the menu stops the test as it does anywhere else in
        // it: the test ends through its done, which gives everything back.
        const uint32_t breaks = sal_console_prompt_breaks();
        sal_console_break_ends_read(1);
        const char *read = diag_readline("Stop-on-Error action? ", answer, sizeof answer, "dxp");
        sal_console_break_ends_read(0);
        if (sal_console_prompt_breaks() != breaks) {
            sh_break_raise();
            return;
        }
        if (read == nullptr) {
            // A closed console keeps reporting the end: nobody is left to answer.
            if (++eofs >= 3) return;
            continue;
        }
        eofs = 0;
        const char *word = answer[0] != '\0' ? answer : "dxp";
        const size_t len = std::strlen(word);
        auto is = [word, len](const char *choice) {
            return len <= std::strlen(choice) && sal_strncasecmp(word, choice, len) == 0;
        };
        if (is("dxp")) {
            sal_printf("\nType \"exit\" to return from sh\n\n");
            char prompt[64];
            std::snprintf(prompt, sizeof prompt, "FAILED(%s)", t->t_name);
            // What is typed there is no part of the test: the tested ports
            // stay held against it.
            port_reserve_step_aside(1);
            diag_shell(unit, prompt, 1);
            port_reserve_step_aside(0);
        } else if (is("continue")) {
            return;
        } else if (is("stop") || is("abort")) {
            // A running test cannot be unwound from here; the break can.
            sal_printf("\nA break (Ctrl-C) stops the test, at this menu as anywhere in it\n");
        }
    }
}

// Counts and announces one loop's result.
void count_result(test_t *t, int result) {
    if (result == 0) {
        count_one(t, &test_t::t_success);
        sal_debug_printf(0x8000, "Test %d (%s) Completed successfully\n", t->t_test, t->t_name);
        return;
    }
    count_one(t, &test_t::t_fail);
    sal_debug_printf(0x8000, "Test %d (%s) Completed with error (%d)\n", t->t_test, t->t_name,
                     result);
    // A stopped run says so after its done.
    if (result == 1 || result == 2) sal_printf("Test %d (%s) Aborted\n", t->t_test, t->t_name);
}

// A failed loop that offered no menu yet opens it with Stop-on-Error.
void offer_stop_on_error(int unit, test_t *t, int result) {
    if (result == 0 || result == 1 || result == 2 || result == TEST_STOPPED) return;
    if ((test_options & TEST_O_SOE) && !(t->t_flags & TEST_F_SOE_OFFERED))
        test_error(unit, "Stop-on-error: Test %d (%s) completed with error\n", t->t_test,
                   t->t_name);
}

// Runs the selected tests in table order.
int run_selected(int unit) {
    if (test_options & TEST_O_RANDOM) {
        sal_printf("Test: Random mode not supported yet\n");
        return 2;
    }
    const uint32_t chip = test_chip_bit(unit);
    for (int i = 0; i < test_cnt; i++) {
        test_t *t = &test_list[i];
        if (!selected(t, chip)) continue;
        int rv = test_dispatch(unit, t, -1, nullptr);
        if (rv == 2 || rv == 4) return rv;
    }
    return 0;
}

void select_add(int unit, test_t *t, uint32_t chip, int *rv) {
    if (supported(t, chip)) {
        flags_set(t, TEST_F_SEL_USER);
        *rv = 0;
    } else if (test_options & TEST_O_OVERRIDE) {
        sal_printf("Warning: Selecting test %d (%s) not supported on %s\n", t->t_test, t->t_name,
                   chip_name(unit));
        flags_set(t, TEST_F_SEL_USER);
        *rv = 0;
    } else {
        sal_printf(
            "Error: Test %d (%s) not supported on %s\nuse \"testmode +override\" to override "
            "and run\n",
            t->t_test, t->t_name, chip_name(unit));
        *rv = -1;
    }
}

void select_remove(test_t *t, uint32_t chip) {
    flags_clear(t, supported(t, chip) ? TEST_F_SEL_USER | TEST_F_SEL_DEFAULT : TEST_F_SEL_USER);
}

void list_header(bool title) {
    if (title)
        sal_printf("-----+----+--- TEST STATUS REPORT ----+-----+-----+-----+-----+-----------\n");
    sal_printf("U/A/S|Test|            Test           |Loop | Run |Pass |Fail |  Arguments\n");
    sal_printf("     | #  |            Name           |Count|Count|Count|Count|\n");
    sal_printf("-----+----+---------------------------+-----+-----+-----+-----+-----------\n");
}

// A row as TestList shows it, copied under the table's lock.
struct ListedRow {
    test_t row;
    std::string params;  // TestParameters', else the default ones; "" for none
};

ListedRow listed(const test_t *t) {
    TableLock held;
    ListedRow copy{*t, t->t_override_param != nullptr  ? t->t_override_param
                       : t->t_default_param != nullptr ? t->t_default_param
                                                       : ""};
    copy.row.t_override_param = nullptr;
    return copy;
}

// Every row of the table at one moment.
std::vector<ListedRow> listed_table() {
    TableLock held;
    std::vector<ListedRow> rows;
    for (int i = 0; i < test_cnt; i++)
        rows.push_back(listed(&test_list[i]));
    return rows;
}

void list_line(const ListedRow &r, uint32_t chip) {
    const test_t *t = &r.row;
    sal_printf(" %c%c%c |%4d| %-26s|%5d|%5d|%5d|%5d| %s\n", supported(t, chip) ? ' ' : 'U',
               (t->t_flags & TEST_F_ACTIVE) ? 'A' : ' ', selected(t, chip) ? 'S' : ' ', t->t_test,
               t->t_name, t->t_loops, t->t_runs, t->t_success, t->t_fail,
               r.params.empty() ? "(none)" : r.params.c_str());
}

// Progress line state.
struct Progress {
    int interval = 0;
    int disabled = 0;
    uint32_t total = 0;
    uint32_t done = 0;
    uint32_t start = 0;
    uint32_t last_check = 0;
    bool printed = false;
    int last_percent = -1;
    uint32_t period = 1;
    uint32_t steps = 0;
    const char *label = nullptr;
};
Progress progress;

}  // namespace

test_t *test_list = table;
int test_cnt = 0;
uint32_t test_options = 0;

int test_register(const test_t &row) {
    if (test_cnt >= kMaxTests) return -1;
    int at = 0;
    for (; at < test_cnt; at++) {
        if (test_list[at].t_test == row.t_test) return -1;
        if (test_list[at].t_test > row.t_test) break;
    }
    for (int i = test_cnt; i > at; i--)
        test_list[i] = test_list[i - 1];
    test_t &t = test_list[at];
    t = row;
    t.t_flags &= ~(TEST_F_ACTIVE | TEST_F_SOE_OFFERED | TEST_F_ERROR);
    t.t_override_param = nullptr;
    t.t_runs = t.t_success = t.t_fail = 0;
    test_cnt++;
    return 0;
}

uint32_t test_chip_bit(int unit) {
    if (!soc_unit_attached(unit)) return 0;
    switch (SOC_CONTROL(unit)->chip_type) {
        case 22:
            return 0x8000;
        case 23:
            return 0x4000;
        case 24:
            return 0x2000;
        case 25:
        case 27:
            return 0x1000;
        case 26:
        case 28:
            return 0x800;
        case 29:
            return 0x400;
        case 30:
            return 0x200;
        // The DXP7101 and DXP7106 belong to the family as well.
        case SOC_CHIP_TYPE_DXP7101:
            return 0x10000;
        case SOC_CHIP_TYPE_DXP7106:
            return 0x20000;
        default:
            return 0;
    }
}

test_t *test_find(const char *text) {
    if (text == nullptr) return nullptr;
    if (parse_is_integer(text)) {
        const int number = parse_integer(text);
        for (int i = 0; i < test_cnt; i++)
            if (test_list[i].t_test == number) return &test_list[i];
        return nullptr;
    }
    const size_t len = std::strlen(text);
    for (int i = 0; i < test_cnt; i++)
        if (sal_strncasecmp(test_list[i].t_name, text, len) == 0) return &test_list[i];
    return nullptr;
}

int test_dispatch(int unit, test_t *t, int loops, args_t *a) {
    const uint32_t chip = test_chip_bit(unit);
    if (!supported(t, chip) && (test_options & TEST_O_OVERRIDE))
        sal_printf("Warning: Running test %d (%s) not supported on %s\n", t->t_test, t->t_name,
                   chip_name(unit));
    if (test_options & TEST_O_RUN) sal_printf("Test %d (%s) Started\n", t->t_test, t->t_name);
    sh_break_push(nullptr);
    test_thread = sal_thread_self();
    port_reserve_test_number(t->t_test);

    int result = 1;
    args_t *own = nullptr;
    args_t *args = a;
    if (args == nullptr) {
        own = static_cast<args_t *>(sal_alloc(sizeof(args_t), "test_args"));
        args = own;
    }
    bool ran = false;
    if (args != nullptr) {
        const std::string params = listed(t).params;
        if (own != nullptr && sh_tokenize(params.c_str(), nullptr, own) < 0) {
            count_one(t, &test_t::t_fail);
        } else {
            // The parameters stand in for the words of the command that runs
            // the test, which the tests' messages name.
            if (own != nullptr) own->a_cmd = "TestRun";
            ran = true;
        }
    }
    if (ran) {
        void *work = nullptr;
        if (loops == -1) loops = t->t_loops;
        active = t;
        flags_set(t, TEST_F_ACTIVE);
        const int position = args->a_arg;
        if (test_dispatch_init(unit, t, args, &work) != 0) {
            count_one(t, &test_t::t_runs);
            count_one(t, &test_t::t_fail);
            flags_clear(t, TEST_F_ACTIVE);
            active = nullptr;
            test_thread = nullptr;
        } else {
            const bool show = (test_options & TEST_O_PROGRESS) != 0;
            if (show) {
                progress_init(static_cast<uint32_t>(loops > 0 ? loops : 0), 0, 0);
                progress_status(t->t_name);
            }
            // Each loop's result is counted and announced once the done has
            // given the ports back: a reader of "passed" may use them at once.
            std::vector<int> results;
            for (int i = 1; i <= loops; i++) {
                if (loops >= 2)
                    soc_cm_debug_print(0x18000, "Test %d: %s.  Starting interation %d.\n",
                                       t->t_test, t->t_name, i);
                count_one(t, &test_t::t_runs);
                args->a_arg = position;
                flags_clear(t, TEST_F_SOE_OFFERED | TEST_F_ERROR);
                result = t->t_test_f(unit, args, work);
                if (result == 0 && (t->t_flags & TEST_F_ERROR)) result = -1;
                // A break ends the loops; the done gives everything back.
                if (sh_stop_requested()) result = TEST_STOPPED;
                results.push_back(result);
                // The menu opens while the failing set-up is still in place.
                offer_stop_on_error(unit, t, result);
                if (show) progress_report(1);
                // (A break at the menu the failed loop opened stops it too.)
                if (result == TEST_STOPPED || sh_stop_requested()) {
                    result = TEST_STOPPED;
                    break;
                }
            }
            if (show) progress_done();
            test_dispatch_done(unit, t, work);
            for (int one : results)
                count_result(t, one);
            if (result == TEST_STOPPED)
                sal_printf(sh_in_background() ? "Test %d (%s) stopped in the background\n"
                                              : "Test %d (%s) stopped at the console\n",
                           t->t_test, t->t_name);
        }
    }
    if (own != nullptr) {
        sh_break_block(1);
        sal_free(own);
        sh_break_block(0);
    }
    if (!ran) test_thread = nullptr;
    port_reserve_test_number(0);
    sh_break_pop(nullptr);
    if (test_options & TEST_O_RUN) sal_printf("Completed test (%d) %s\n", t->t_test, t->t_name);
    if (a != nullptr) a->a_arg = a->a_argc;
    return result;
}

void test_report_result(int unit, test_t *t, int result) {
    if (result == 0 && (t->t_flags & TEST_F_ERROR)) result = -1;
    count_result(t, result);
    offer_stop_on_error(unit, t, result);
}

void test_result_current(int unit, int result) {
    if (test_t *t = active.load(); t != nullptr) test_report_result(unit, t, result);
}

void test_error(int unit, const char *fmt, ...) {
    char message[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(message, sizeof message, fmt, ap);
    va_end(ap);
    test_t *t = active.load();
    const bool said = message[0] == '\0';
    if (t == nullptr || sal_thread_self() != test_thread.load()) {
        if (said) return;
        sal_printf("\n%sTEST ERROR: Warning: Not in test thread, continuing ...\n", kStars);
        sal_printf("%s%s", message, kStars);
        return;
    }
    flags_set(t, TEST_F_ERROR);
    if (!(test_options & TEST_O_SILENT) && !said)
        sal_printf("\n%sTEST ERROR %s:\n%s%s", kStars, t->t_name, message, kStars);
    if (test_options & TEST_O_SOE) {
        flags_set(t, TEST_F_SOE_OFFERED);
        // The console is the monitor's: a background job reads nothing from
        // it, and stops as a break would stop it there.
        if (sh_in_background()) {
            sal_printf(
                "\nStop-on-Error: test %d (%s) runs in the background, where no menu "
                "opens: it is stopped\n",
                t->t_test, t->t_name);
            sh_stop_own_job();
        } else {
            stop_on_error_menu(unit, t);
        }
    } else if (test_options & TEST_O_AOE) {
        sal_printf("\nAborting test\n");
    }
}

void test_msg(const char *fmt, ...) {
    if (test_options & TEST_O_QUIET) return;
    va_list ap;
    va_start(ap, fmt);
    sal_vprintf(fmt, ap);
    va_end(ap);
}

void progress_init(uint32_t total, int interval, int disabled) {
    progress = Progress{};
    progress.total = total;
    progress.interval = interval;
    progress.disabled = disabled;
    progress.start = progress.last_check = sal_time();
}

void progress_status(const char *label) {
    progress.label = label;
    progress.last_percent = -1;
}

void progress_report(uint32_t count) {
    Progress &p = progress;
    if (p.disabled) return;
    p.done = p.done + count > p.total ? p.total : p.done + count;
    if (++p.steps < p.period) return;
    const uint32_t now = sal_time();
    if (now == p.last_check) {
        const uint32_t grown = p.period * 5 / 4;
        p.period = grown > p.period ? grown : p.period + 1;
        p.steps = 0;
        return;
    }
    if (now - p.last_check >= 2) p.period = p.period * 4 / 5 > 0 ? p.period * 4 / 5 : 1;
    p.last_check = now;
    if (p.start + static_cast<uint32_t>(p.interval) < now && p.total > 0) {
        const int percent = p.total > 0xFFFFFF ? static_cast<int>(p.done / (p.total / 100))
                                               : static_cast<int>(p.done * 100 / p.total);
        if (percent != p.last_percent) {
            sal_printf_console("\r[%d%% done] %s \x1b[K", percent, p.label ? p.label : "");
            p.last_percent = percent;
            p.printed = true;
        }
    }
    p.steps = 0;
}

void progress_done(void) {
    if (progress.printed) sal_printf_console("\r\x1b[K");
}

// ---------------------------------------------------------------- commands

namespace {

// The row's parameters become `text`; the old copy is returned for the
// caller to free, outside the lock.
char *parameters_swap(test_t *t, char *text) {
    TableLock held;
    char *old = t->t_override_param;
    t->t_override_param = text;
    return old;
}

// Calls body(command, test) for each test word ("*", when allowed, for every
// test); an unknown word ends the command.
template <typename Body>
int each_test_word(args_t *a, bool star, Body body) {
    const char *cmd = ARG_CMD(a);
    if (ARG_CNT(a) == 0) return CMD_USAGE;
    for (const char *word; (word = ARG_GET(a)) != nullptr;) {
        if (star && std::strcmp(word, "*") == 0) {
            for (int i = 0; i < test_cnt; i++)
                body(cmd, &test_list[i]);
            continue;
        }
        test_t *t = test_find(word);
        if (t == nullptr) {
            sal_printf("%s: Error: Unable to find test: %s\n", cmd, word);
            return CMD_FAIL;
        }
        if (int rv = body(cmd, t); rv != CMD_OK) return rv;
    }
    return CMD_OK;
}

}  // namespace

int cmd_test_run(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    if (test_t *t = active.load(); t != nullptr) {
        sal_printf("%s: Already running: %s\n", cmd, t->t_name);
        return CMD_FAIL;
    }
    if (!sh_check_attached(cmd, unit)) return CMD_FAIL;
    if (ARG_CNT(a) == 0) return run_selected(unit);
    const char *word = ARG_CUR(a);
    test_t *t = test_find(word);
    if (t == nullptr) {
        sal_printf("%s: Unknown test: %s\n", cmd, word);
        return CMD_FAIL;
    }
    if (!supported(t, test_chip_bit(unit)) && !(test_options & TEST_O_OVERRIDE)) {
        sal_printf(
            "Error: Test %d (%s) not supported on %s\nError: use \"testmode +override\" to "
            "override and run\n",
            t->t_test, t->t_name, chip_name(unit));
        return CMD_FAIL;
    }
    ARG_GET(a);
    int loops = -1;
    if (ARG_CUR(a) != nullptr && parse_integer_too_wide(ARG_CUR(a))) {
        sal_printf("%s: Error: Loop count too large: %s\n", ARG_CMD(a), ARG_CUR(a));
        return CMD_FAIL;
    }
    if (ARG_CUR(a) != nullptr && parse_is_integer(ARG_CUR(a))) {
        const char *word = ARG_GET(a);
        loops = parse_integer(word);
        // Loops that never end, or none at all, are refused.
        if (loops < 1 || loops > kMaxLoops) {
            sal_printf("%s: Error: Loop count %s out of range (1-%d)\n", ARG_CMD(a), word,
                       kMaxLoops);
            return CMD_FAIL;
        }
    }
    int rv = test_dispatch(unit, t, loops, ARG_CNT(a) > 0 ? a : nullptr);
    return rv == 4 ? CMD_INTR : rv;
}

int cmd_test_select(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    const uint32_t chip = test_chip_bit(unit);
    int rv = 0;
    const char *word;
    while ((word = ARG_GET(a)) != nullptr) {
        const char sign = word[0] == '+' || word[0] == '-' ? word[0] : 0;
        const char *name = sign ? word + 1 : word;
        const bool all = std::strcmp(name, "*") == 0;
        test_t *t = nullptr;
        if (!all && (t = test_find(name)) == nullptr) {
            sal_printf("%s: Unable to locate test: %s\n", cmd, name);
            return CMD_FAIL;
        }
        if (all) {
            for (int i = 0; i < test_cnt; i++) {
                test_t *r = &test_list[i];
                bool add = sign == '+' || (sign == 0 && !selected(r, chip));
                if (add) {
                    if (supported(r, chip)) flags_set(r, TEST_F_SEL_DEFAULT);
                } else {
                    select_remove(r, chip);
                }
            }
            continue;
        }
        bool add = sign == '+' || (sign == 0 && !selected(t, chip));
        if (add)
            select_add(unit, t, chip, &rv);
        else
            select_remove(t, chip);
    }
    return rv;
}

int cmd_test_list(int unit, args_t *a) {
    const char *cmd = ARG_CMD(a);
    const uint32_t chip = test_chip_bit(unit);
    const char *first = ARG_CUR(a);
    // One moment of the table, whatever a running test writes meanwhile.
    const std::vector<ListedRow> rows = listed_table();
    if (first != nullptr && sal_strcasecmp(first, "fail") == 0 && ARG_CNT(a) == 1) {
        ARG_GET(a);
        bool any = false;
        for (const ListedRow &r : rows) {
            if (r.row.t_fail != 0) {
                sal_printf("%d  ", r.row.t_test);
                any = true;
            }
        }
        sal_printf("%s\n", any ? "" : "All tests passed");
        return CMD_OK;
    }
    const bool every = first != nullptr && sal_strcasecmp(first, "all") == 0 && ARG_CNT(a) == 1;
    if (first == nullptr || every || (std::strcmp(first, "*") == 0 && ARG_CNT(a) == 1)) {
        if (first != nullptr) ARG_GET(a);
        list_header(true);
        int loops = 0, runs = 0, passes = 0, fails = 0;
        for (const ListedRow &r : rows) {
            const test_t *t = &r.row;
            if (!every && chip != 0 && !supported(t, chip) && !(t->t_flags & TEST_F_SEL_USER))
                continue;
            list_line(r, chip);
            loops += t->t_loops;
            runs += t->t_runs;
            passes += t->t_success;
            fails += t->t_fail;
        }
        sal_printf("     |    | %-26s|%5d|%5d|%5d|%5d|\n", "TOTAL", loops, runs, passes, fails);
        sal_printf("-----+----+---------------------------+-----+-----+-----+-----+-----------\n");
        return runs == 0 || fails > 0 ? CMD_FAIL : CMD_OK;
    }
    int rv = CMD_OK;
    bool header = false;
    const char *word;
    while ((word = ARG_GET(a)) != nullptr) {
        const test_t *t = test_find(word);
        if (t == nullptr) {
            sal_printf("%s: Unable to locate test: %s\n", cmd, word);
            rv = CMD_FAIL;
            continue;
        }
        if (!header) list_header(false);
        header = true;
        list_line(rows[static_cast<size_t>(t - test_list)], chip);
    }
    return rv;
}

int cmd_test_mode(int, args_t *a) {
    if (ARG_CNT(a) == 0) {
        sal_printf("Test: Options: ");
        parse_mask_format(80, kOptions, test_options);
        return CMD_OK;
    }
    const char *word;
    while ((word = ARG_GET(a)) != nullptr)
        if (parse_mask(word, kOptions, &test_options) != 0)
            sal_printf("%s: Error: invalid option ignored: %s\n", ARG_CMD(a), word);
    return CMD_OK;
}

int cmd_test_parameters(int, args_t *a) {
    return each_test_word(a, false, [a](const char *cmd, test_t *t) {
        const char *params = ARG_GET(a);
        if (params != nullptr && params[0] != '\0') {
            char *copy = static_cast<char *>(sal_alloc(std::strlen(params) + 1, "test_parm"));
            if (copy == nullptr) {
                sal_printf("%s: Error: Out of memory\n", cmd);
                return CMD_FAIL;
            }
            std::strcpy(copy, params);
            sal_free(parameters_swap(t, copy));
            sal_printf("%s: Parameter set: %s(\"%s\")\n", cmd, t->t_name, params);
        } else if (char *old = parameters_swap(t, nullptr); old == nullptr) {
            sal_printf("%s: Warning: No arguments to clear for test: %s\n", cmd, t->t_name);
        } else {
            sal_free(old);
        }
        return CMD_OK;
    });
}

int cmd_test_clear(int, args_t *a) {
    return each_test_word(a, true, [](const char *, test_t *t) {
        TableLock held;
        t->t_runs = t->t_success = t->t_fail = 0;
        return CMD_OK;
    });
}
