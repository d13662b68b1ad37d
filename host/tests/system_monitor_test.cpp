// The console monitor driven over a pseudo-terminal as an engineer types at
// it: end of input within a command, per-port array registers, the texts that
// scripts match on, background jobs that KILL ends, and loops and scripts at
// their limits.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "../../platform/tests/private_workdir.h"
#include "system_fixture.h"
#include "web_client.h"

namespace {

using system_fixture::Switch;

const std::string kPrompt = "DXP.0> ";

using system_fixture::count_of;

class switchfw_monitor : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(sw.run("", kPrompt)); }
    // The output of a line up to the next prompt.
    std::string out(const std::string &line) {
        std::string seen;
        EXPECT_TRUE(sw.run(line, kPrompt, &seen)) << line << ": " << seen;
        return seen;
    }
    // JOBS until it lists none, for a few seconds.
    bool jobs_end() {
        for (int i = 0; i < 50; i++) {
            if (out("JOBS").find("Job ") == std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }
    Switch sw{test_workdir::path(), {}, true};
};

TEST_F(switchfw_monitor, CtrlDEndsOneReadAndTheMonitorGoesOn) {
    ASSERT_TRUE(sw.run("SAVE note.txt", "< "));
    ASSERT_TRUE(sw.type("first line\n"));
    ASSERT_TRUE(sw.run("", "< "));
    ASSERT_TRUE(sw.type("\x04"));
    ASSERT_TRUE(sw.run("", kPrompt));
    EXPECT_NE(out("MORe note.txt").find("first line\r\n"), std::string::npos);
    EXPECT_NE(out("Echo still here").find("still here\r\n"), std::string::npos);

    // EXIT resets the switch (the program ends for its restart), saying so
    // once: all it wrote is read once it has ended.
    std::string seen;
    ASSERT_TRUE(sw.run("EXIT", "Resetting...", &seen, 60)) << seen;
    EXPECT_GE(sw.exit_status(60), 0);
    sw.read_more(&seen, "\x01never", 10);
    EXPECT_EQ(count_of(seen, "Resetting..."), 1u) << seen;
}

TEST_F(switchfw_monitor, IndexedArrayRegistersAndExactTexts) {
    std::string seen = out("Getreg G_PCTL[1-2]");
    EXPECT_EQ(count_of(seen, "G_PCTL("), 8u) << seen;
    EXPECT_NE(seen.find("G_PCTL(1).ge0[0x131]="), std::string::npos) << seen;
    EXPECT_NE(seen.find("G_PCTL(2).ge3[0x134]="), std::string::npos) << seen;
    seen = out("Getreg G_PCTL.ge1(3)");
    EXPECT_EQ(count_of(seen, "G_PCTL("), 1u) << seen;
    EXPECT_NE(seen.find("G_PCTL(3).ge1[0x132]="), std::string::npos) << seen;
    EXPECT_NE(out("Listreg G_PCTL[0]").find("Register: G_PCTL(0).ge0 general"), std::string::npos);
    seen = out("Getreg G_PCTL[2-5]");
    EXPECT_NE(seen.find("Register G_PCTL: bad index\r\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("Syntax error parsing \"G_PCTL[2-5]\""), std::string::npos) << seen;
    // The index message is a warning: off with the WARN debug flag.
    seen = out("DeBug -WARN; Getreg G_PCTL[4]");
    EXPECT_EQ(seen.find("bad index"), std::string::npos) << seen;

    for (const char *prefix : {"12:", "200:", "0,3-12:", "1-:"}) {
        seen = out(std::string(prefix) + "Echo run");
        EXPECT_NE(seen.find("Error: Bad unit number\r\n"), std::string::npos) << seen;
        EXPECT_EQ(seen.find("\nrun\r\n"), std::string::npos) << seen;
    }
    EXPECT_NE(out("0:Echo run").find("\nrun\r\n"), std::string::npos);
    seen = out("0-3:Echo run");
    EXPECT_NE(seen.find("Error: Unit 3 out of range\r\n"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("\nrun\r\n"), std::string::npos) << seen;
    EXPECT_NE(out("RXInit").find("RXINIT requires a unit number\r\n"), std::string::npos);
    EXPECT_NE(out("SET").find("LoopError=True\r\n\tMoreLines=20\r\n\tReportStatus=True\r\n"),
              std::string::npos);
    for (const char *line : {"CONFig show", "CONFig save", "CONFig refresh", "CLEAR dev"})
        EXPECT_EQ(out(line).find("WARNING"), std::string::npos) << line;
}

TEST_F(switchfw_monitor, KilledJobsEndAndFreeTheirSlots) {
    for (int i = 0; i < 10; i++)
        out("BackGround \"SLeep quiet 1000\"");
    EXPECT_NE(out("BackGround \"SLeep quiet 1000\"").find("bg: ERROR: too many background tasks"),
              std::string::npos);
    EXPECT_EQ(count_of(out("JOBS"), "SLeep quiet 1000\r\n"), 10u);
    for (int job = 1; job <= 10; job++)
        EXPECT_NE(out("KILL " + std::to_string(job)).find("Job " + std::to_string(job) + " killed"),
                  std::string::npos);
    EXPECT_TRUE(jobs_end());

    // A busy wait of five minutes ends on KILL too.
    std::string seen = out("BackGround \"DELAY 300000000\"; JOBS");
    EXPECT_NE(seen.find("Job 11: DELAY 300000000"), std::string::npos) << seen;
    EXPECT_NE(out("KILL 11").find("Job 11 killed"), std::string::npos);
    EXPECT_TRUE(jobs_end());
}

// Switching the monitor's console off and logging it leave the telnet
// sessions alone.
TEST_F(switchfw_monitor, ConsoleSwitchesActOnTheMonitorsConsoleOnly) {
    EXPECT_NE(out("LOG file=mon.log").find("File logging started to mon.log"), std::string::npos);
    ASSERT_TRUE(sw.type("CONSole off\n"));
    int fd = switchfw_child::telnet_login(sw.port_offset() + 23, "qivor");
    ASSERT_GE(fd, 0) << "no telnet login while the monitor's console is off";
    std::string session;
    switchfw_child::send_text(fd, "help\r\n");
    EXPECT_TRUE(switchfw_child::read_until(fd, &session, "counters"));
    close(fd);
    ASSERT_TRUE(sw.run("CONSole on", kPrompt));
    out("LOG off");
    std::ifstream log(std::filesystem::path(test_workdir::path()) / "fs" / "mon.log");
    std::string logged((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_NE(logged.find(kPrompt), std::string::npos) << logged;
    EXPECT_EQ(logged.find("counters"), std::string::npos) << logged;
    EXPECT_EQ(logged.find("login"), std::string::npos) << logged;
}

TEST_F(switchfw_monitor, LoopsAndScriptsStayInBounds) {
    std::string seen = out("FOR i=2147483640,2147483647,5 'Echo v$i'");
    EXPECT_EQ(count_of(seen, "v21474836"), 2u) << seen;
    EXPECT_NE(seen.find("v2147483645\r\n"), std::string::npos) << seen;
    EXPECT_NE(out("DELAY -5").find("Usage (DELAY)"), std::string::npos);
    // The longest sleep says how long it is, and KILL ends it.
    seen = out("BackGround \"SLeep 2147483647 999999999\"; SLeep quiet 1");
    EXPECT_NE(seen.find("Sleeping for 2147484646.999999 seconds\r\n"), std::string::npos) << seen;
    EXPECT_NE(out("KILL 1").find("Job 1 killed"), std::string::npos);
    EXPECT_TRUE(jobs_end());

    // A line longer than the monitor's is refused whole; the line numbers
    // after it stay right.
    {
        std::ofstream script(std::filesystem::path(test_workdir::path()) / "fs" / "long.soc");
        script << "Echo one\nEcho " << std::string(5000, 'x') << "\nEcho three\nbogus\n";
    }
    seen = out("SET RCError=false; RCLoad long.soc");
    EXPECT_NE(seen.find("one\r\nError: file long.soc: line 2 longer than 4095 characters: script "
                        "continuing\r\nthree\r\n"),
              std::string::npos)
        << seen;
    EXPECT_NE(seen.find("Error: file long.soc: line 4 (error code -3)"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("xxx\r\n"), std::string::npos);
}

// Frames left looping at wire speed on several port pairs keep the model
// busy for good; the console and the chip's registers still answer.
TEST_F(switchfw_monitor, LoopingTrafficLeavesTheConsoleAnswering) {
    std::string seen;
    ASSERT_TRUE(
        sw.run("TestRun 72 TimeInSeconds=1 CounterPollInterval=1 PortBitMap=fe0-fe7 "
               "CleanUp=false",
               kPrompt, &seen, 120))
        << seen;
    EXPECT_NE(seen.find("TEST passed"), std::string::npos) << seen;
    ASSERT_TRUE(sw.run("Getreg DEFAULT_1Q_TAG.fe0", "DEFAULT_1Q_TAG.fe0[", &seen, 60)) << seen;
    ASSERT_TRUE(sw.run("Echo still answering", kPrompt, &seen, 60)) << seen;
    EXPECT_EQ(count_of(seen, "still answering\r\n"), 2u) << seen;  // echoed and run
}

// A Ctrl-D typed at the prompt is one key on every board: the monitor says
// how to leave and answers the next command.
TEST(switchfw_monitor_boards, CtrlDAtThePromptKeepsTheMonitor) {
    for (const char *board : {"52", "28", "26"}) {
        SCOPED_TRACE(board);
        Switch sw(test_workdir::path(), {"--board", board}, true);
        ASSERT_TRUE(sw.run("", kPrompt, nullptr, 60));
        std::string seen;
        for (int i = 0; i < 2; i++) {
            ASSERT_TRUE(sw.type("\x04"));
            ASSERT_TRUE(sw.run("", "Type \"EXIT\" to exit shell\r\n" + kPrompt, &seen)) << seen;
        }
        EXPECT_EQ(seen.find("EOF"), std::string::npos) << seen;
        ASSERT_TRUE(sw.run("Echo board " + std::string(board) + " answers",
                           "board " + std::string(board) + " answers\r\n" + kPrompt, &seen))
            << seen;
    }
}

// On a terminal the break drops all that was read of the line being
// entered: the half line a Ctrl-D handed over, and a continued line's first
// part; only what is typed after it runs. Ctrl-Z suspends nothing: the web
// server answers and the monitor reads on. After Ctrl-V a signal key is
// taken as typed, and erasing a tab backs up to the column where it began.
TEST(switchfw_monitor_boards, BreakDropsTheLineBeingEnteredAndCtrlZStopsNothing) {
    for (const char *board : {"52", "28", "26"}) {
        SCOPED_TRACE(board);
        Switch sw(test_workdir::path(), {"--board", board}, true, true);
        ASSERT_TRUE(sw.run("", kPrompt, nullptr, 60));
        std::string seen;
        ASSERT_TRUE(sw.run("vlan create 10", kPrompt, &seen)) << seen;
        // Keys go a little apart, as a user types them; a key that ends the
        // line's reading shows the prompt again.
        auto keys = [&sw](const std::string &bytes, bool prompt) {
            EXPECT_TRUE(sw.type(bytes));
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            std::string shown;
            if (prompt) {
                EXPECT_TRUE(sw.run("", kPrompt, &shown)) << shown;
            }
        };
        keys("vlan destroy 1", false);
        keys("\x04", false);
        keys("\x03", true);
        ASSERT_TRUE(sw.run("0", kPrompt, &seen)) << seen;
        ASSERT_TRUE(sw.run("vlan show 10", kPrompt, &seen)) << seen;
        EXPECT_NE(seen.find("\n10  "), std::string::npos) << "VLAN 10 was destroyed: " << seen;

        ASSERT_TRUE(sw.run("Echo first-part \\", "? ", &seen)) << seen;
        keys("\x03", true);
        ASSERT_TRUE(sw.run("Echo second-line", kPrompt, &seen)) << seen;
        EXPECT_EQ(seen.find("first-part"), std::string::npos) << seen;
        EXPECT_EQ(count_of(seen, "second-line\r\n"), 2u) << seen;  // echoed and run

        keys("Echo half", false);
        keys("\x04", false);
        keys("\x1a", true);
        const std::string page = web_client::get(sw.port_offset() + 80, "/login.htm");
        EXPECT_NE(page.find("200 OK"), std::string::npos) << page;
        ASSERT_TRUE(sw.run("Echo after-suspend", kPrompt, &seen, 10)) << seen;
        EXPECT_EQ(count_of(seen, "after-suspend\r\n"), 2u) << seen;
        EXPECT_EQ(seen.find("half"), std::string::npos) << seen;

        ASSERT_TRUE(
            sw.answer("Echo a\x16\x03"
                      "b\x16\x1c"
                      "c\x16\x1a",
                      &seen))
            << seen;
        EXPECT_NE(seen.find("a\x03"
                            "b\x1c"
                            "c\x1a\r\n"),
                  std::string::npos)
            << seen;
        // "DXP.0> Echo a" ends in column 13: the tab shows up to column 16.
        ASSERT_TRUE(
            sw.answer("Echo a\tb\x7f\x7f"
                      "c",
                      &seen))
            << seen;
        EXPECT_NE(seen.find("Echo a\tb\b \b\b\b\b"
                            "c\r\nac\r\n"),
                  std::string::npos)
            << seen;
    }
}

// Started behind a shell's foreground job ("switchfw &"), the program
// leaves the terminal alone: it comes up, the terminal's own line mode
// echoes what is typed there and the monitor runs none of it. SIGTERM and
// SIGHUP end it from its first moment on.
TEST(switchfw_monitor_boards, StartedInTheBackgroundItLeavesTheTerminalAlone) {
    for (const char *board : {"52", "28", "26"}) {
        SCOPED_TRACE(board);
        {
            // Once the program holds SIGTERM back for itself, its start-up runs.
            // A thread waiting for the signal shows it as not blocked while it
            // waits, so any thread that holds it back counts.
            Switch sw(test_workdir::path(), {"--board", board}, true, true, true);
            std::string masks;
            auto blocked = [&sw, &masks] {
                const std::string process = "/proc/" + std::to_string(sw.pid());
                std::ifstream name(process + "/comm");  // the test's own until it runs switchfw
                std::getline(name, masks);
                masks += ": ";
                const std::string tasks = process + "/task";
                std::error_code error;
                for (const auto &task : std::filesystem::directory_iterator(tasks, error)) {
                    std::ifstream status(task.path() / "status");
                    std::string line;
                    while (std::getline(status, line) && !line.starts_with("SigBlk:")) {
                    }
                    masks += line + " ";
                    if (line.size() > 7 &&
                        (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1) & 1))
                        return true;
                }
                return false;
            };
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
            while (!blocked() && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));  // a poll, not a delay
            ASSERT_TRUE(blocked())
                << "SIGTERM never held back; the process and its threads' masks: " << masks
                << " exit status (-1 while it runs): " << sw.exit_status(1);
            kill(sw.pid(), SIGTERM);
            EXPECT_EQ(sw.exit_status(60), 128 + SIGTERM);
        }
        Switch sw(test_workdir::path(), {"--board", board}, true, true, true);
        std::string seen;
        ASSERT_TRUE(sw.run("", kPrompt, &seen, 60)) << seen;
        ASSERT_TRUE(sw.type("Echo typed-at-the-shell\n"));
        ASSERT_TRUE(sw.read_more(&seen, "Echo typed-at-the-shell\r\n")) << seen;
        kill(sw.pid(), SIGHUP);
        EXPECT_EQ(sw.exit_status(60), 128 + SIGHUP);
        sw.read_more(&seen, "\x01never");  // all it wrote, up to the terminal's hang-up
        EXPECT_EQ(count_of(seen, "typed-at-the-shell"), 1u) << seen;
    }
}

// At a terminal a break shows its key as the terminal's driver shows it,
// and the new prompt on a line of its own; while a command runs, the key
// and a new line, never inside the command's output. A break typed together
// with the Enter that starts a command is that command's, and drops the
// lines typed ahead of it; the suspend key during a command stops nothing
// and ends the line it shows on, as the break does.
TEST(switchfw_monitor_boards, ABreakAtTheTerminalShowsItsKey) {
    Switch sw(test_workdir::path(), {"--board", "26"}, true, true);
    ASSERT_TRUE(sw.run("", kPrompt, nullptr, 60));
    std::string seen;
    ASSERT_TRUE(sw.type("Echo half"));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(sw.type("\x03"));
    ASSERT_TRUE(sw.read_more(&seen, "^C\r\n" + kPrompt)) << seen;
    EXPECT_NE(seen.find("Echo half^C\r\n" + kPrompt), std::string::npos) << seen;
    ASSERT_TRUE(sw.type("SLeep 5\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_TRUE(sw.type("\x03"));
    seen.clear();
    ASSERT_TRUE(sw.read_more(&seen, kPrompt)) << seen;
    EXPECT_NE(seen.find("^C\r\n"), std::string::npos) << seen;

    seen.clear();
    const auto typed = std::chrono::steady_clock::now();
    ASSERT_TRUE(sw.type("SLeep 30\nEcho typed-ahead\n\x03"));
    ASSERT_TRUE(sw.read_more(&seen, "^C\r\n", 60)) << seen;
    ASSERT_TRUE(sw.read_more(&seen, kPrompt, 60)) << seen;
    // A break left to the next prompt lets the sleep run its 30 s.
    EXPECT_LT(std::chrono::steady_clock::now() - typed, std::chrono::seconds(20)) << seen;
    ASSERT_TRUE(sw.answer("Echo after-break", &seen)) << seen;
    EXPECT_EQ(seen.find("typed-ahead"), std::string::npos) << seen;
    seen.clear();
    ASSERT_TRUE(sw.type("SLeep 1\n\x1a"));
    ASSERT_TRUE(sw.read_more(&seen, "^Z\r\n")) << seen;
    ASSERT_TRUE(sw.read_more(&seen, kPrompt)) << seen;
}

// With its output sent elsewhere (`switchfw > file` at a terminal) the
// terminal shows the line as typed: erasing a tab backs up to the column
// where the tab began there, whatever column the output reached; a break's
// key ends its line there too.
TEST(switchfw_monitor_boards, WithItsOutputElsewhereTheTerminalShowsTheLineAsTyped) {
    Switch sw(test_workdir::path(), {"--board", "26"}, true, true, false,
              {"/bin/sh", "-c", "exec \"$0\" \"$@\" >console.log"});
    // The output file holds the text, within a bound that only ends a hang.
    auto output_holds = [](const std::string &text) {
        for (int tenths = 0; tenths < 600; tenths++) {
            std::ifstream file(test_workdir::path() + "/console.log");
            const std::string all{std::istreambuf_iterator<char>(file), {}};
            if (all.find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));  // a poll, not a delay
        }
        return false;
    };
    ASSERT_TRUE(output_holds(kPrompt));
    std::string seen;
    ASSERT_TRUE(
        sw.type("Echo a\tb\x7f\x7f"
                "c\n"));
    ASSERT_TRUE(sw.read_more(&seen, "c\r\n")) << seen;
    // "Echo a" ends in column 6 of the terminal: the tab shows up to column 8.
    EXPECT_NE(seen.find("Echo a\tb\b \b\b\b"
                        "c\r\n"),
              std::string::npos)
        << seen;
    EXPECT_TRUE(output_holds(kPrompt + "ac\n"));
    // A break during a command shows on the terminal, and its line ends there.
    ASSERT_TRUE(sw.type("SLeep 30\n"));
    ASSERT_TRUE(output_holds("Sleeping for 30 seconds\n"));  // the command runs
    ASSERT_TRUE(sw.type("\x03"));
    ASSERT_TRUE(sw.read_more(&seen, "^C\r\n")) << seen;
    EXPECT_TRUE(output_holds("Sleeping for 30 seconds\n" + kPrompt));
}

// Under the loop script that tools/run.sh starts, behind `| tee`, as a job
// of an interactive shell: the break and the suspend key, at the prompt and
// during a command, stop neither the script, the pipe's reader nor the
// firmware, also while the firmware restarts; a telnet reboot brings the
// switch back, even while nobody reads the console; a tab erased right
// after the prompt backs up over its one column, not over the prompt that
// came through the pipe; and the quit key ends the loop, which gives the
// terminal its signal keys back, as a firmware whose loop was killed does.
TEST(switchfw_monitor_boards, UnderTheLoopScriptTheKeysStopNothingAndARebootComesBack) {
    Switch sw(test_workdir::path(), {"--board", "26"}, true, true, false,
              {"/bin/bash", "--norc", "--noprofile", "-i", "-c",
               RUN_SWITCH_PATH " \"$0\" \"$@\" | tee loop.log; "
                               "echo loop-ended-${PIPESTATUS[*]}; stty -a"});
    std::string seen;
    ASSERT_TRUE(sw.run("", kPrompt, &seen, 60)) << seen;
    for (const char *keys : {"\x1a", "\x03", "SLeep 1\n\x1a", "SLeep 30\n\x03"}) {
        SCOPED_TRACE(keys);
        seen.clear();
        ASSERT_TRUE(sw.type(keys));
        const std::string shown = keys[std::strlen(keys) - 1] == '\x03' ? "^C" : "^Z";
        ASSERT_TRUE(sw.read_more(&seen, shown + "\r\n", 60)) << seen;
        ASSERT_TRUE(sw.read_more(&seen, kPrompt, 60)) << seen;
        ASSERT_TRUE(sw.answer("Echo still-here", &seen)) << seen;
        EXPECT_EQ(count_of(seen, "still-here\r\n"), 2u) << seen;  // echoed and run
        EXPECT_EQ(seen.find("Stopped"), std::string::npos) << seen;
    }
    // The terminal is not read while the console's output fills it. The
    // switch that comes back no longer knows the web login made before.
    const std::string cookie = web_client::login(sw.port_offset() + 80, "qivor");
    ASSERT_FALSE(cookie.empty());
    ASSERT_TRUE(sw.type("LOOP 5000 \"Echo " + std::string(200, 'x') + "\"\n"));
    const int telnet = switchfw_child::telnet_login(sw.port_offset() + 23, "qivor");
    ASSERT_GE(telnet, 0);
    switchfw_child::send_text(telnet, "reboot\r\n");
    std::string page;
    for (int tenths = 0; tenths < 600 && page.find("302 Found") == std::string::npos; tenths++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // a poll, not a delay
        page = web_client::get(sw.port_offset() + 80, "/aging.htm", cookie);
    }
    EXPECT_NE(page.find("302 Found"), std::string::npos) << page;
    close(telnet);
    seen.clear();
    ASSERT_TRUE(sw.read_more(&seen, "(rebooting)", 60)) << seen.substr(0, 300);
    ASSERT_TRUE(sw.answer("Echo back-again", &seen)) << seen;

    ASSERT_TRUE(
        sw.answer("\t\x7f"
                  "Echo tabbed",
                  &seen))
        << seen;
    EXPECT_NE(seen.find("\t\bEcho tabbed"), std::string::npos) << seen;

    // Breaks typed all through restarts: from the old firmware's last words
    // until the new one has taken one at its prompt.
    for (int restart = 0; restart < 3; restart++) {
        SCOPED_TRACE(restart);
        seen.clear();
        ASSERT_TRUE(sw.type("EXIT\n"));
        ASSERT_TRUE(sw.read_more(&seen, "Resetting...", 60)) << seen;
        std::atomic<bool> typing{true};
        std::thread breaks([&sw, &typing] {
            while (typing.load()) {
                sw.type("\x03");
                std::this_thread::sleep_for(std::chrono::milliseconds(20));  // typing pace
            }
        });
        std::string after;
        const bool back = sw.read_more(&seen, "(rebooting)", 60) &&
                          (after = seen.substr(seen.find("(rebooting)")),
                           sw.read_more(&after, "^C\r\n" + kPrompt, 60));
        typing = false;
        breaks.join();
        ASSERT_TRUE(back) << seen << after;
        ASSERT_TRUE(sw.answer("Echo through-the-pipe", &seen)) << seen;
        EXPECT_EQ(count_of(seen, "through-the-pipe\r\n"), 2u) << seen;  // echoed and run
    }
    ASSERT_TRUE(sw.type("\x1c"));
    ASSERT_TRUE(sw.read_more(&seen, "loop-ended-0 0", 60)) << seen;
    ASSERT_TRUE(sw.read_more(&seen, "\nisig ", 60)) << seen;
    EXPECT_EQ(seen.find("-isig"), std::string::npos) << seen;

    // The loop around a firmware that writes the loop's id and its own first.
    auto loop_then = [](const std::string &then) {
        return std::vector<std::string>{
            "/bin/sh", "-c",
            RUN_SWITCH_PATH
                " /bin/sh -c 'echo $PPID $$ >loop.pid; exec \"$0\" \"$@\"' "
                "\"$0\" \"$@\"" +
                then};
    };
    pid_t loop = 0, firmware = 0;
    auto read_pids = [&loop, &firmware] {
        std::ifstream pids(test_workdir::path() + "/loop.pid");
        return static_cast<bool>(pids >> loop >> firmware);
    };
    auto gone = [](pid_t pid) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string id, name, state;
        return !(stat >> id >> name >> state) || state == "Z";
    };

    // A loop killed while its firmware runs: the firmware gives them back
    // (a shell without job control restores nothing).
    Switch orphan(test_workdir::path(), {"--board", "26"}, true, true, false,
                  loop_then(" | tee loop.log; stty -a"));
    ASSERT_TRUE(orphan.run("", kPrompt, &seen, 60)) << seen;
    ASSERT_TRUE(read_pids());
    kill(loop, SIGKILL);
    for (int tenths = 0; tenths < 600 && !gone(loop); tenths++)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // a poll, not a delay
    ASSERT_TRUE(orphan.type("\x1c"));
    ASSERT_TRUE(orphan.read_more(&seen, "\nisig ", 60)) << seen;
    EXPECT_EQ(seen.find("-isig"), std::string::npos) << seen;

    // A loop ended by SIGTERM or a hang-up ends its firmware with it, by the
    // same signal (its own way of storing what it holds), and gives the keys back.
    for (const int sig : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        Switch ended(test_workdir::path(), {"--board", "26"}, true, true, false,
                     loop_then("; echo loop-ended-$?; stty -a"));
        ASSERT_TRUE(ended.run("", kPrompt, &seen, 60)) << seen;
        ASSERT_TRUE(read_pids());
        kill(loop, sig);
        ASSERT_TRUE(ended.read_more(&seen, "loop-ended-" + std::to_string(128 + sig), 60)) << seen;
        EXPECT_TRUE(gone(firmware));
        ASSERT_TRUE(ended.read_more(&seen, "\nisig ", 60)) << seen;
        EXPECT_EQ(seen.find("-isig"), std::string::npos) << seen;
    }
}

// A break drops what was read for good, whatever key follows it: a Ctrl-D
// after it is one at an empty prompt and runs nothing the break dropped, at
// the prompt, at the continuation prompt and at a command's question.
TEST(switchfw_monitor_boards, CtrlDAfterABreakRunsNothingTheBreakDropped) {
    for (const char *board : {"52", "28", "26"}) {
        SCOPED_TRACE(board);
        Switch sw(test_workdir::path(), {"--board", board}, true, true);
        ASSERT_TRUE(sw.run("", kPrompt, nullptr, 60));
        std::string seen;
        // Keys go a little apart, as a user types them, so that the monitor
        // has read what a Ctrl-D handed over before the break comes; a key
        // that ends the read waits for what the monitor shows then.
        auto keys = [&sw](const std::string &bytes, const std::string &shown = "") {
            EXPECT_TRUE(sw.type(bytes));
            std::string got;
            if (shown.empty()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            } else {
                EXPECT_TRUE(sw.read_more(&got, shown)) << got;
            }
            return got;
        };
        // Text handed over by a Ctrl-D, the break that shows `shown` again,
        // and a Ctrl-D that ends the read as on an empty line: `after`.
        auto break_then_end = [&keys](const std::string &typed, const std::string &shown,
                                      const std::string &after) {
            if (!typed.empty()) {
                keys(typed);
                keys("\x04");
            }
            keys("\x03", shown);
            return keys("\x04", after);
        };
        const std::string again = "Type \"EXIT\" to exit shell\r\n" + kPrompt;
        auto no_vlan_9 = [&sw] {
            std::string shown;
            EXPECT_TRUE(sw.answer("vlan show", &shown)) << shown;
            return shown.find("\n9  ") == std::string::npos &&
                   shown.find("\n10  ") != std::string::npos;
        };
        ASSERT_TRUE(sw.answer("vlan create 10", &seen)) << seen;

        break_then_end("vlan create 9", kPrompt, again);
        EXPECT_TRUE(no_vlan_9()) << "VLAN 9 made at the prompt";
        ASSERT_TRUE(sw.run("vlan create \\", "? ", &seen)) << seen;
        break_then_end("9", kPrompt, again);
        EXPECT_TRUE(no_vlan_9()) << "VLAN 9 made at the continuation prompt";
        // A break at "? " with nothing typed after it: the first part goes too.
        ASSERT_TRUE(sw.run("vlan create 9 \\", "? ", &seen)) << seen;
        break_then_end("", kPrompt, again);
        EXPECT_TRUE(no_vlan_9()) << "VLAN 9 made from a continued line's first part";

        // The answer "yes" dropped by the break leaves the default "no".
        ASSERT_TRUE(sw.answer("SAVE kept.txt still here", &seen)) << seen;
        const std::string question = "(yes/no)?  [no] ";
        ASSERT_TRUE(sw.run("flashinit Format=yes", question, &seen)) << seen;
        break_then_end("yes", question, kPrompt);
        ASSERT_TRUE(sw.answer("MORe kept.txt", &seen)) << seen;
        EXPECT_NE(seen.find("still here\r\n"), std::string::npos)
            << "the flash was formatted: " << seen;

        // The "ecos>" shell reads the same way: its Ctrl-D leaves it and
        // runs nothing the break dropped.
        ASSERT_TRUE(sw.run("SHell", "ecos> ", &seen)) << seen;
        seen = break_then_end("help", "ecos> ", kPrompt);
        EXPECT_EQ(seen.find("counters"), std::string::npos) << "help ran: " << seen;

        // What is typed after the break runs as typed.
        ASSERT_TRUE(sw.answer("Echo after-the-break", &seen)) << seen;
        EXPECT_EQ(count_of(seen, "after-the-break\r\n"), 2u) << seen;  // echoed and run
    }
}

// The 26-port board's gigabit ports have copper PHYs whose interface the MAC
// reports as RGMII; the self-tests put them back as they found them.
TEST(switchfw_monitor_26, SelfTestsGiveTheGigabitPortsBack) {
    Switch sw(test_workdir::path(), {"--board", "26"}, true);
    ASSERT_TRUE(sw.run("", kPrompt));
    auto out = [&sw](const std::string &line) {
        std::string seen;
        EXPECT_TRUE(sw.run(line, kPrompt, &seen, 60)) << line << ": " << seen;
        return seen;
    };
    const std::string before0 = out("PHY ge0 0"), before1 = out("PHY ge1 0");
    EXPECT_NE(before0.find("Reg 0: 0x1140"), std::string::npos) << before0;

    std::string seen = out("TestRun 49 PortBitMap=ge0 Count=1");
    EXPECT_EQ(seen.find("ERROR"), std::string::npos) << seen;
    seen = out("TestRun 72 TimeInSeconds=1 CounterPollInterval=1 PortBitMap=ge0-ge1");
    EXPECT_NE(seen.find("TEST passed"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("could not set port info"), std::string::npos) << seen;
    EXPECT_EQ(out("PHY ge0 0"), before0);
    EXPECT_EQ(out("PHY ge1 0"), before1);
}

// A telnet load puts back what the monitor changed past the managers: its
// VLANs and trunks go, and a default VLAN it set is the stored one again.
TEST(switchfw_monitor_boards, ATelnetLoadPutsBackWhatTheMonitorChanged) {
    for (const char *board : {"52", "28", "26"}) {
        SCOPED_TRACE(board);
        Switch sw(test_workdir::path(), {"--board", board}, true);
        ASSERT_TRUE(sw.run("", kPrompt, nullptr, 60));
        auto out = [&sw](const std::string &line) {
            std::string seen;
            EXPECT_TRUE(sw.run(line, kPrompt, &seen)) << line << ": " << seen;
            return seen;
        };
        out("vlan create 5 PortBitMap=fe3 UntagBitMap=fe3");
        out("pvlan set fe3 5");
        out("TRunk add Id=1 Rtag=1 Pbmp=fe10-fe11");
        ASSERT_NE(out("pvlan show fe3").find("default VLAN is 5"), std::string::npos);

        const int fd = switchfw_child::telnet_login(sw.port_offset() + 23, "qivor");
        ASSERT_GE(fd, 0);
        switchfw_child::send_text(fd, "load\r\n");
        std::string loaded;
        switchfw_child::read_until(fd, &loaded, "ecos>", 60);
        close(fd);
        EXPECT_NE(loaded.find("Settings loaded"), std::string::npos) << loaded;

        EXPECT_NE(out("pvlan show fe3").find("default VLAN is 1"), std::string::npos);
        EXPECT_EQ(out("vlan show").find("\n5 "), std::string::npos);
        EXPECT_NE(out("trunk show").find("no matching trunks"), std::string::npos);
    }
}

// A line holding a NUL byte (Ctrl-@) is refused whole, on a terminal and a
// pipe as at the telnet shell: neither the part before the NUL nor the
// line without it runs.
TEST(switchfw_monitor_boards, ALineHoldingANulRunsNothing) {
    const std::string nul(1, '\0');
    for (const char *board : {"52", "28", "26"}) {
        for (bool pty : {true, false}) {
            SCOPED_TRACE(std::string(board) + (pty ? " pty" : " pipe"));
            Switch sw(test_workdir::path(), {"--board", board}, pty);
            ASSERT_TRUE(sw.run("", kPrompt, nullptr, 60));
            std::string seen;
            ASSERT_TRUE(sw.run("vlan create 4" + nul + "4", kPrompt, &seen)) << seen;
            EXPECT_NE(seen.find("Error: line holds a NUL byte: not taken"), std::string::npos)
                << seen;
            ASSERT_TRUE(sw.run("vlan show", kPrompt, &seen)) << seen;
            EXPECT_EQ(seen.find("\n4 "), std::string::npos) << seen;
            EXPECT_EQ(seen.find("\n44 "), std::string::npos) << seen;
            if (!pty) continue;

            const int fd = switchfw_child::telnet_login(sw.port_offset() + 23, "qivor");
            ASSERT_GE(fd, 0);
            switchfw_child::send_text(fd, "loa" + nul + "d\r\nhelp load\r\n");
            std::string answer;
            switchfw_child::read_until(fd, &answer, "Usage: load", 30);
            close(fd);
            EXPECT_NE(answer.find("Error: line holds a NUL byte: not taken"), std::string::npos)
                << answer;
            EXPECT_EQ(answer.find("Settings loaded"), std::string::npos) << answer;
            EXPECT_EQ(answer.find("Unknown command"), std::string::npos) << answer;
        }
    }
}

// A line longer than the monitor holds, typed at a terminal, is refused
// whole, as through a pipe: the terminal's own line discipline would keep
// only its first 4095 characters and run them. What is erased before Enter
// does not count, and the kill key drops the line typed so far. Lines typed
// ahead while a command runs, more than the driver holds, all run.
TEST(switchfw_monitor_boards, ALongLineTypedAtATerminalIsRefusedWhole) {
    const std::string erase(1, '\x7f'), kill(1, '\x15');
    for (const char *board : {"52", "28", "26"}) {
        SCOPED_TRACE(board);
        Switch sw(test_workdir::path(), {"--board", board}, true);
        ASSERT_TRUE(sw.run("", kPrompt, nullptr, 60));
        std::string seen;
        ASSERT_TRUE(
            sw.answer("vlan create 77 " + std::string(4062, ' ') + "PortBitMap=fe1-fe13", &seen))
            << seen;
        EXPECT_NE(seen.find("Error: line longer than 4095 characters: not run"), std::string::npos)
            << seen.substr(seen.size() > 300 ? seen.size() - 300 : 0);
        ASSERT_TRUE(sw.answer("vlan show", &seen)) << seen;
        EXPECT_EQ(seen.find("\n77 "), std::string::npos) << seen;

        // 4095 characters once five are erased: the longest line runs.
        ASSERT_TRUE(sw.answer(
            "Echo " + std::string(4090, 'B') + "CCCCC" +
                [&] {
                    std::string keys;
                    for (int k = 0; k < 5; k++)
                        keys += erase;
                    return keys;
                }(),
            &seen));
        EXPECT_NE(seen.find(std::string(4090, 'B') + "\r\n"), std::string::npos);
        EXPECT_EQ(seen.find("longer than"), std::string::npos);
        ASSERT_TRUE(sw.answer(
            "vlan destroy 1" + kill + "vlan create 78 PortBitMap=fe1-fe2X" + erase, &seen))
            << seen;
        ASSERT_TRUE(sw.answer("vlan show 78", &seen)) << seen;
        EXPECT_NE(seen.find("\n78 "), std::string::npos) << seen;
        ASSERT_TRUE(sw.answer("vlan show 1", &seen)) << seen;
        EXPECT_NE(seen.find("\n1 "), std::string::npos) << "VLAN 1 was destroyed: " << seen;

        std::string ahead = "SLeep 1\n";
        for (int line = 0; line < 150; line++)
            ahead += "Echo ahead-" + std::to_string(line) + "-" + std::string(50, 'x') + "\n";
        ASSERT_TRUE(sw.answer(ahead, &seen))
            << seen.substr(seen.size() > 300 ? seen.size() - 300 : 0);
        EXPECT_EQ(count_of(seen, "\nahead-"), 150u) << seen;
    }
}

}  // namespace
