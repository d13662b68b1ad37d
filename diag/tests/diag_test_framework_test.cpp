// The self-test framework driven through its monitor commands with small
// registered tests on an attached unit.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "../../platform/tests/script_console.h"
#include "../../soc/tests/unit_fixture.h"
#include "diag_shell.h"
#include "diag_test.h"
#include "sal_host.h"

namespace {

int inits = 0;
int dones = 0;

// Its arguments steer it: "fail" reports an error and returns 0, "bad"
// returns -1 without a report, "initfail" fails the init.
bool word_given(args_t *a, const char *word) {
    for (const char *w; (w = ARG_GET(a)) != nullptr;)
        if (std::strcmp(w, word) == 0) return true;
    return false;
}
int tiny_init(int, args_t *a, void **work) {
    inits++;
    static int token;
    *work = &token;
    int pos = a->a_arg;
    bool fail = word_given(a, "initfail");
    a->a_arg = pos;
    return fail ? -1 : 0;
}
int tiny_test(int unit, args_t *a, void *work) {
    if (work == nullptr) return -1;
    int pos = a->a_arg;
    if (word_given(a, "fail")) {
        test_error(unit, "checked value %d\n", 7);
        return 0;
    }
    a->a_arg = pos;
    return word_given(a, "bad") ? -1 : 0;
}
int tiny_done(int, void *) {
    dones++;
    return 0;
}

class diag_tests : public soc_test::UnitTest {
  protected:
    console_test::ScriptConsole console;

    void SetUp() override {
        static bool registered = false;
        if (!registered) {
            registered = true;
            test_t tiny{};
            tiny.t_name = "Tiny test";
            tiny.t_flags = TEST_F_RC | TEST_F_SEL_DEFAULT | TEST_F_CHIP_MASK;
            tiny.t_test = 90;
            tiny.t_loops = 1;
            tiny.t_init_f = tiny_init;
            tiny.t_done_f = tiny_done;
            tiny.t_test_f = tiny_test;
            ASSERT_EQ(test_register(tiny), 0);
            EXPECT_EQ(test_register(tiny), -1);  // the number is taken
            tiny.t_name = "Odd chip test";
            tiny.t_flags = 0x200;  // a chip this board does not carry
            tiny.t_test = 12;
            ASSERT_EQ(test_register(tiny), 0);
        }
        start(sim::ChipKind::DXP7102A1);
        sh_set_mode(2);
        sh_set_unit(0);
        sal_console_bind(&console.ops);
        test_options = 0;
        run("TestClear *");
        run("TestSelect +* -12");
        inits = dones = 0;
    }
    void TearDown() override {
        sal_console_bind(nullptr);
        soc_test::UnitTest::TearDown();
    }
    std::string run(const std::string &line, int expect = 0) {
        console.out.clear();
        EXPECT_EQ(sh_process_command(0, line.c_str()), expect) << line;
        return console.out;
    }
    static bool has(const std::string &out, const std::string &text) {
        return out.find(text) != std::string::npos;
    }
};

TEST_F(diag_tests, ListSelectRunAndCount) {
    EXPECT_EQ(test_list[0].t_test, 12);     // kept in number order
    std::string out = run("TestList", -1);  // nothing has run yet
    EXPECT_TRUE(has(out, "-----+----+--- TEST STATUS REPORT ----+-----+-----+-----+-----+---"))
        << out;
    EXPECT_TRUE(
        has(out, "   S |  90| Tiny test                 |    1|    0|    0|    0| (none)\n"))
        << out;
    EXPECT_FALSE(has(out, "Odd chip")) << out;  // unsupported and not selected
    EXPECT_EQ(run("TestList fail"), "All tests passed\n");

    run("TestRun tiny 3");
    EXPECT_EQ(inits, 1);
    EXPECT_EQ(dones, 1);
    out = run("TestList");
    EXPECT_TRUE(has(out, "   S |  90| Tiny test                 |    1|    3|    3|    0|")) << out;
    EXPECT_TRUE(has(out, "     |    | TOTAL                     |    1|    3|    3|    0|\n"))
        << out;
    EXPECT_TRUE(has(run("TestList all"), " U   |  12| Odd chip test"));

    // Without arguments the default-selected tests run; -* drops them.
    run("TestRun");
    EXPECT_EQ(test_find("90")->t_runs, 4);
    run("TestSelect -*");
    run("TestRun");
    EXPECT_EQ(test_find("90")->t_runs, 4);
    run("TestClear 90");
    EXPECT_EQ(test_find("Tiny")->t_runs, 0);

    EXPECT_EQ(run("TestRun 0", -1), "TestRun: Unknown test: 0\n");
    EXPECT_EQ(run("TestRun 90 0", -1), "TestRun: Error: Loop count 0 out of range (1-1000000)\n");
    EXPECT_EQ(run("TestRun 90 1000001", -1),
              "TestRun: Error: Loop count 1000001 out of range (1-1000000)\n");
    EXPECT_EQ(test_find("90")->t_runs, 0);
    EXPECT_EQ(run("TestRun 12", -1),
              "Error: Test 12 (Odd chip test) not supported on DXP7102\nError: use \"testmode "
              "+override\" to override and run\n");
    EXPECT_EQ(run("TestSelect nothing", -1), "TestSelect: Unable to locate test: nothing\n");
    EXPECT_EQ(run("TestClear nothing", -1), "TestClear: Error: Unable to find test: nothing\n");
    run("TestMode +override");
    out = run("TestRun 12");
    EXPECT_TRUE(has(out, "Warning: Running test 12 (Odd chip test) not supported on DXP7102\n"))
        << out;
    EXPECT_EQ(test_find("12")->t_success, 1);
}

TEST_F(diag_tests, ParametersErrorsAndInitFailure) {
    EXPECT_EQ(run("TestParameters 90 fail"),
              "TestParameters: Parameter set: Tiny test(\"fail\")\n");
    std::string out = run("TestRun 90", -1);  // reported an error, returned 0
    EXPECT_TRUE(has(out, "TEST ERROR Tiny test:\nchecked value 7\n")) << out;
    EXPECT_EQ(run("TestList fail"), "90  \n");
    EXPECT_TRUE(has(run("TestList 90"), "| fail\n"));
    // Words on the command line take the place of the parameters.
    run("TestRun 90 1 fine");
    EXPECT_EQ(test_find("90")->t_success, 1);
    run("TestParameters 90 \"\"");
    EXPECT_EQ(run("TestParameters 90"),
              "TestParameters: Warning: No arguments to clear for test: Tiny test\n");

    // A failed init counts a run and a failure and skips the loops and done.
    dones = 0;
    run("TestRun 90 5 initfail", 1);
    EXPECT_EQ(dones, 0);
    EXPECT_EQ(test_find("90")->t_runs, 3);
    EXPECT_EQ(test_find("90")->t_fail, 2);

    run("TestMode +silent");
    EXPECT_FALSE(has(run("TestRun 90 1 fail", -1), "TEST ERROR"));
    EXPECT_EQ(run("TestMode"), "Test: Options: SIlent\n");
    EXPECT_EQ(run("TestMode -silent +soe bogus"),
              "TestMode: Error: invalid option ignored: bogus\n");
    EXPECT_EQ(run("TestMode"), "Test: Options: Stoponerror\n");
    EXPECT_TRUE(has(run("TestParameters", -2), "Usage (TestParameters)"));
}

TEST_F(diag_tests, StopOnErrorMenuWaitsForAnAnswer) {
    run("TestMode +soe");
    console.lines = {"bogus", "cont"};
    std::string out = run("TestRun 90 1 fail", -1);
    EXPECT_EQ(console.lines.size(), 0u);
    size_t first = out.find("*** Stop-on-Error ***");
    ASSERT_NE(first, std::string::npos) << out;
    EXPECT_NE(out.find("*** Stop-on-Error ***", first + 1), std::string::npos) << out;

    // A failing loop without a report opens the menu once, after the loop.
    console.lines = {"c", "unused"};
    out = run("TestRun 90 1 bad", -1);
    EXPECT_EQ(console.lines.size(), 1u);
    EXPECT_TRUE(has(out, "Stop-on-error: Test 90 (Tiny test) completed with error\n")) << out;

    // "stop" and "abort" say how a test is stopped and ask again.
    console.lines = {"stop", "ab", "continue"};
    out = run("TestRun 90 1 fail", -1);
    EXPECT_EQ(console.lines.size(), 0u);
    const size_t said = out.find("A break (Ctrl-C) stops the test");
    ASSERT_NE(said, std::string::npos) << out;
    EXPECT_NE(out.find("A break (Ctrl-C) stops the test", said + 1), std::string::npos) << out;

    // "dxp" enters a nested monitor until it exits.
    console.lines = {"dxp", "echo nested", "exit", "continue"};
    out = run("TestRun 90 1 fail", -1);
    EXPECT_TRUE(has(out, "Type \"exit\" to return from sh")) << out;
    EXPECT_TRUE(has(out, "nested\n")) << out;
    EXPECT_EQ(console.lines.size(), 0u);
}

TEST_F(diag_tests, ProgressLineAndRunAnnouncements) {
    sal_clock_manual(1000000);
    progress_init(4, 0, 0);
    progress_status("Tiny");
    progress_report(1);  // within the first second: checks become rarer
    sal_clock_advance(1000000);
    progress_report(1);
    EXPECT_EQ(console.out, "");
    progress_report(1);
    progress_done();
    sal_clock_real();
    EXPECT_EQ(console.out, "\r[75% done] Tiny \x1b[K\r\x1b[K");

    run("TestMode +run +progress");
    EXPECT_EQ(run("TestRun 90"),
              "Test 90 (Tiny test) Started\nTest 90 (Tiny test) Completed\nCompleted test (90) "
              "Tiny test\n");
}

}  // namespace
