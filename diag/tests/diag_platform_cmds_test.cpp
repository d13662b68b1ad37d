// The monitor's file, job, system and configuration commands over the host
// RAM file system.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "diag_monitor_fixture.h"
#include "diag_shell.h"
#include "sal.h"
#include "sal_config.h"

namespace {

namespace fs = std::filesystem;

class platform_cmds : public diag_test::monitor {
  protected:
    std::string file(const std::string &name) {
        std::ifstream in(dir / "fs" / name);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // Waits (bounded) until the unit's job threads have all ended.
    static bool jobs_end(int unit) {
        for (int i = 0; i < 1000 && bg_job_count(unit) != 0; i++)
            sal_usleep(10000);
        return bg_job_count(unit) == 0;
    }
};

TEST_F(platform_cmds, CopyMoveRemoveSaveAndList) {
    std::string out =
        run({"save a.txt one two", "copy a.txt b.txt", "mkdir d", "copy flash:b.txt",
             "move b.txt d/c.txt", "cd -sethome d", "cd /", "cd", "ls", "pwd", "cd /"});
    EXPECT_EQ(file("a.txt"), "one two\n");
    EXPECT_EQ(file("d/c.txt"), "one two\n");
    EXPECT_FALSE(fs::exists(dir / "fs" / "b.txt"));
    EXPECT_TRUE(has(out, "Working Directory: /d")) << out;
    EXPECT_TRUE(has(out, "c.txt")) << out;
    EXPECT_TRUE(has(out, "CoPy: Error: source and destination are the same file: b.txt\n")) << out;

    // Bad input: no destination, a file onto itself, a missing file among
    // others, a name that tries to leave the file system.
    out = run({"copy a.txt a.txt", "copy nothing", "copy", "save x1 1", "save x3 3", "rm x1 x2 x3",
               "save ../../escape.txt x", "copy /../../a.txt up.txt"});
    EXPECT_TRUE(has(out, "CoPy: Error: No file to copy TO\n")) << out;
    EXPECT_EQ(file("a.txt"), "one two\n");
    EXPECT_TRUE(has(out, "RM: Warning: failed to remove file: x2\n")) << out;
    EXPECT_FALSE(fs::exists(dir / "fs" / "x1"));
    EXPECT_FALSE(fs::exists(dir / "fs" / "x3"));
    EXPECT_FALSE(fs::exists(dir / "escape.txt"));
    EXPECT_FALSE(fs::exists(dir.parent_path() / "escape.txt"));
    EXPECT_TRUE(has(out, "Usage (CoPy)")) << out;

    // SAVE without words takes console lines until end of input.
    console.lines = {"first", "second"};
    console.out.clear();
    EXPECT_EQ(sh_process_command(-1, "save s.txt"), CMD_OK);
    EXPECT_EQ(file("s.txt"), "first\nsecond\n");
}

TEST_F(platform_cmds, PagerStopsEveryMoreLinesAndFlashInitAsks) {
    std::ofstream lines(dir / "fs" / "long.txt");
    for (int i = 1; i <= 45; i++)
        lines << "line " << i << "\n";
    lines.close();
    console.lines = {"x", "x"};
    console.out.clear();
    EXPECT_EQ(sh_process_command(-1, "more long.txt"), CMD_OK);
    EXPECT_TRUE(has(console.out, "Line: 20 -----")) << console.out;
    EXPECT_TRUE(has(console.out, "Line: 40 -----")) << console.out;
    EXPECT_TRUE(has(console.out, "line 45\n"));
    // 'q' stops the file; a newline shows only one more line.
    console.lines = {"", "q"};
    console.out.clear();
    sh_process_command(-1, "more long.txt");
    EXPECT_TRUE(has(console.out, "Line: 21 -----")) << console.out;
    EXPECT_FALSE(has(console.out, "line 22\n"));

    console.lines = {""};
    sh_process_command(-1, "flashinit format=yes");
    EXPECT_TRUE(fs::exists(dir / "fs" / "long.txt"));
    console.lines = {"y"};
    console.out.clear();
    EXPECT_EQ(sh_process_command(-1, "flashinit format=yes"), CMD_OK);
    EXPECT_TRUE(has(console.out, "Formatting flash will destroy all files")) << console.out;
    EXPECT_FALSE(fs::exists(dir / "fs" / "long.txt"));
    EXPECT_EQ(sh_process_command(-1, "flashinit loader=boot.bin"), CMD_FAIL);
    EXPECT_EQ(sh_process_command(-1, "flashsync"), CMD_OK);
}

TEST_F(platform_cmds, BackgroundJobsStopAtCommandBoundaries) {
    // The console output is read only once the jobs that write it have ended.
    console.out.clear();
    ASSERT_EQ(sh_process_command(-1, "bg \"echo done\""), CMD_OK);
    ASSERT_TRUE(jobs_end(0));
    EXPECT_TRUE(has(console.out, "done\n"));
    // Without LoopError a loop still ends when its job is killed.
    run({"set LoopError=off"});
    for (int i = 0; i < 10; i++)
        ASSERT_EQ(sh_process_command(-1, "bg \"loop * noecho\""), CMD_OK);
    std::string out = run({"bg \"echo eleven\"", "jobs", "kill 999"});
    EXPECT_TRUE(has(out, "bg: ERROR: too many background tasks\n")) << out;
    EXPECT_TRUE(has(out, "Job 2: loop * noecho\n")) << out;
    EXPECT_TRUE(has(out, "Job 11: loop * noecho\n")) << out;
    EXPECT_TRUE(has(out, "Job 999 not found\n")) << out;
    for (int n = 2; n <= 11; n++)
        EXPECT_EQ(sh_process_command(-1, ("kill " + std::to_string(n)).c_str()), CMD_OK);
    EXPECT_TRUE(has(console.out, "Job 11 killed\n"));
    ASSERT_TRUE(jobs_end(0));
    // Numbers are never reused; a job's own failure is reported.
    ASSERT_EQ(sh_process_command(-1, "bg \"expr 1 +\""), CMD_OK);
    ASSERT_TRUE(jobs_end(0));
    EXPECT_TRUE(has(console.out, "bg: error in job 12: code")) << console.out;
}

TEST_F(platform_cmds, LogConsoleAndDebugFlags) {
    std::string out = run({"log"});
    EXPECT_TRUE(has(out, "Logging to file dxp.log: disabled\n")) << out;
    out = run({"log file=a.log", "echo logged", "console off", "echo hidden", "console on",
               "log off", "log off", "log bogus=1"});
    EXPECT_TRUE(has(out, "File logging started to a.log\n")) << out;
    EXPECT_TRUE(has(out, "File logging to a.log stopped.\n")) << out;
    EXPECT_TRUE(has(out, "File logging is not active.\n")) << out;
    EXPECT_TRUE(has(out, "LOG: Invalid option: bogus=1\n")) << out;
    EXPECT_FALSE(has(out, "hidden")) << out;
    sal_log_file_set(nullptr, 0);
    EXPECT_TRUE(has(file("a.log"), "logged\n"));
    EXPECT_TRUE(has(file("a.log"), "hidden\n"));

    uint32_t saved = sal_debug_flags_set(0x5);
    out = run({"debug +bogus"});
    EXPECT_TRUE(has(out, "debug: unknown option: +bogus\n")) << out;
    EXPECT_EQ(sal_debug_flags_add(0), 0x5u);
    run({"debug +verbose -pci schan"});
    EXPECT_EQ(sal_debug_flags_add(0), 0x10000u | 0x6u);
    out = run({"debug"});
    EXPECT_TRUE(has(out, "enabled for the following subsystems:\n\nSChan SOCMEM VERbose\n")) << out;
    run({"debug -all"});
    EXPECT_EQ(sal_debug_flags_add(0), 0u);
    sal_debug_flags_set(saved);
    EXPECT_TRUE(has(run({"history", "date"}), "History not available\n"));
    // A digit run too long for any date field fails like any date here.
    EXPECT_TRUE(has(run({"date 99999999999/1/1", "echo alive"}), "alive\n"));
}

TEST_F(platform_cmds, ConfigAddSetDeleteAndSave) {
    run({"config clear"});
    std::string out = run({"config add portspeed=100 x=1", "config y=2", "config ports=10",
                           "config delete nope", "config delete x", "config", "config save"});
    EXPECT_TRUE(has(out, "CONFig: Must use 'add' to create new variable: y=2\n")) << out;
    EXPECT_TRUE(has(out, "CONFig: Variable not found: nope\n")) << out;
    EXPECT_TRUE(has(out, "\tportspeed=10\n")) << out;
    EXPECT_EQ(sal_config_get("x"), nullptr);
    EXPECT_EQ(sal_config_get("y"), nullptr);
    EXPECT_EQ(file("config.dxp"), "portspeed=10\n");
    run({"config clear"});
}

}  // namespace

TEST_F(platform_cmds, LineEditorSession) {
    std::string out = run({"edline f.txt", "a", "banana", "x marks", "cat", ".", "w", "1,$s/a/o/g",
                           "g/x/d", "q", "q", "echo after"});
    EXPECT_TRUE(has(out, "\"f.txt\" new file\n")) << out;
    EXPECT_TRUE(has(out, "\"f.txt\" 3 lines 19 bytes\n")) << out;
    EXPECT_TRUE(has(out, "buffer modified (use q again to quit)\n")) << out;
    EXPECT_TRUE(has(out, "after\n")) << out;
    EXPECT_EQ(file("f.txt"), "banana\nx marks\ncat\n");

    // Groups, anchors, sets, escapes, marks, moves, joins; bad input says "?".
    std::string longer(300, 'y');
    out = run({"edline f.txt", "9p", "set bogus", "s/^\\(b\\)\\([a-z]*\\)$/\\2-\\1\\t&/",
               "$s/[^a]/_/g", "2m0", "$a", longer, longer, ".", "4,5j", "2,3j", "$d", "2ka", "'ap",
               "set number", "1,$p", "x"});
    EXPECT_TRUE(has(out, ":?\n:`set' command failed\n")) << out;
    EXPECT_TRUE(has(out, "line too long\n")) << out;
    EXPECT_TRUE(has(out, "      2 anana-b\tbanana_a_\n")) << out;
    EXPECT_EQ(file("f.txt"), "x marks\nanana-b\tbanana_a_\n" + longer + "\n");

    // Line numbers too large for any number are refused like any beyond the end.
    out = run({"edline f.txt", "99999999999p", "1+99999999999p", "$-99999999999p", "q"});
    EXPECT_TRUE(has(out, ":?\n:?\n:?\n")) << out;
}
