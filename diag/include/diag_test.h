// The monitor's self-test framework: the test table that the self-tests
// register into, the run of one test with its loops, error reporting with
// the Stop-on-Error menu, and the progress line of long loops.
#pragma once

#include <cstdint>

#include "diag_shell.h"

// Flag bits of a test row; chip bits live in TEST_F_CHIP_MASK.
constexpr uint32_t TEST_F_SEL_USER = 0x01;
constexpr uint32_t TEST_F_SEL_DEFAULT = 0x02;  // counts while the unit's chip bit is set
constexpr uint32_t TEST_F_ACTIVE = 0x04;
constexpr uint32_t TEST_F_SOE_OFFERED = 0x08;
constexpr uint32_t TEST_F_ERROR = 0x10;
constexpr uint32_t TEST_F_RC = 0x20;  // set "testinit" before the init
constexpr uint32_t TEST_F_CHIP_MASK = 0x3FFFFE00;

// Options of TestMode.
constexpr uint32_t TEST_O_SOE = 0x01;
constexpr uint32_t TEST_O_AOE = 0x02;
constexpr uint32_t TEST_O_RANDOM = 0x08;
constexpr uint32_t TEST_O_PROGRESS = 0x10;
constexpr uint32_t TEST_O_SILENT = 0x20;
constexpr uint32_t TEST_O_RUN = 0x40;
constexpr uint32_t TEST_O_OVERRIDE = 0x80;
constexpr uint32_t TEST_O_QUIET = 0x100;

// The most loops a run may ask for (TestRun's loop count, a loopback
// test's Count).
constexpr int TEST_MAX_LOOPS = 1000000;
// What a test's loop answers when the console's break key stopped it.
constexpr int TEST_STOPPED = 4;

using test_init_f = int (*)(int unit, args_t *a, void **work);
using test_done_f = int (*)(int unit, void *work);
using test_f = int (*)(int unit, args_t *a, void *work);

struct test_t {
    const char *t_name;
    uint32_t t_flags;
    int t_test;
    int t_loops;
    test_init_f t_init_f;  // may be null
    test_done_f t_done_f;  // may be null
    test_f t_test_f;
    const char *t_default_param;  // may be null
    char *t_override_param;       // TestParameters' copy, heap
    int t_runs;
    int t_success;
    int t_fail;
};

// The table, kept in ascending test number.
extern test_t *test_list;
extern int test_cnt;
extern uint32_t test_options;

// Adds a copy of the row (counts and parameters cleared); -1 when the table
// is full or the number is taken.
int test_register(const test_t &row);

// The chip bit of an attached unit's chip; 0 otherwise.
uint32_t test_chip_bit(int unit);
test_t *test_find(const char *text);
// The last loop's result; -1 when it reported an error but returned 0; 1
// when no loop ran.
int test_dispatch(int unit, test_t *test, int loops, args_t *a);
// The test's error, in its box, then the stop-on-error handling. An empty
// message counts an error whose one line is out already (an option the
// parser refused) without saying it twice.
void test_error(int unit, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
void test_msg(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void test_report_result(int unit, test_t *test, int result);
void test_result_current(int unit, int result);

void progress_init(uint32_t total, int interval, int disabled);
void progress_status(const char *label);
void progress_report(uint32_t count);
void progress_done(void);

// The self-tests of this monitor add their rows (host start-up calls these).
void test_counters_register(void);
void test_traffic_register(void);
void test_loopback_register(void);
