// Console output switch, per-thread consoles, debug flags, readline and the
// log file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "sal.h"
#include "storage_test_env.h"

namespace {

// A console that records output and serves scripted input lines.
struct FakeConsole {
    std::string out;
    std::deque<std::string> lines;
    sal_console_ops ops{this, write, read_line};

    static int write(void *ctx, const char *buf, size_t len) {
        static_cast<FakeConsole *>(ctx)->out.append(buf, len);
        return static_cast<int>(len);
    }
    static int read_line(void *ctx, char *buf, size_t size) {
        auto *c = static_cast<FakeConsole *>(ctx);
        if (c->lines.empty()) return -1;
        std::snprintf(buf, size, "%s", c->lines.front().c_str());
        c->lines.pop_front();
        return static_cast<int>(std::strlen(buf));
    }
};

class sal_console : public ::testing::Test {
  protected:
    FakeConsole fake;
    const sal_console_ops *prev = nullptr;
    void SetUp() override { prev = sal_console_bind(&fake.ops); }
    void TearDown() override {
        sal_console_bind(prev);
        sal_console_enable_set(1);
        sal_log_file_set(nullptr, 0);
        sal_debug_flags_set(0);
    }
};

TEST_F(sal_console, SwitchSilencesPrintfButNotConsolePrintf) {
    sal_printf("one %d\n", 1);
    EXPECT_EQ(sal_console_enable_set(0), 1);
    sal_printf("hidden\n");
    sal_console_printf("forced\n");
    sal_printf_console("also\n");
    EXPECT_EQ(sal_console_enable_get(), 0);
    EXPECT_EQ(fake.out, "one 1\nforced\nalso\n");
}

TEST_F(sal_console, LogFileMirrorsPrintf) {
    storage_test::TempDir tmp;
    ASSERT_EQ(flash_host_open((tmp.path / "flash.bin").c_str(), 1), 0);
    ASSERT_EQ(sal_fs_host_init((tmp.path / "fs").c_str(), (tmp.path / "tftp").c_str()), 0);
    const auto path = tmp.path / "fs" / "sal.log";
    EXPECT_EQ(sal_log_enabled(), 0);
    EXPECT_EQ(sal_log_enable(1), -1);  // no file open
    ASSERT_EQ(sal_log_file_set("flash:sal.log", 0), 0);
    EXPECT_EQ(sal_log_enabled(), 1);
    sal_console_enable_set(0);
    sal_printf("to the log only\n");
    sal_log_enable(0);
    sal_printf("nowhere\n");
    sal_log_file_set(nullptr, 0);
    std::ifstream in(path);
    std::stringstream ss;
    ss << in.rdbuf();
    EXPECT_EQ(ss.str(), "to the log only\n");
    EXPECT_EQ(fake.out, "");
    EXPECT_LT(sal_log_file_set("/nonexistent-dir/x.log", 0), 0);
    flash_host_close();
}

TEST_F(sal_console, DebugPrintNeedsAllFlagBits) {
    EXPECT_EQ(sal_debug_flags_set(0x8), 0u);
    EXPECT_EQ(sal_debug_flags_add(0), 0x8u);
    sal_debug_printf(0x8, "a\n");
    sal_debug_printf(0x8 | 0x8000000, "b\n");
    EXPECT_EQ(sal_debug_flags_add(0x8000000), 0x8u);
    sal_debug_printf(0x8 | 0x8000000, "c\n");
    EXPECT_EQ(fake.out, "a\nc\n");
}

TEST_F(sal_console, ReadlineDefaultsAndEndOfInput) {
    fake.lines = {"", "value", "abcdefghij"};
    char buf[6];
    ASSERT_NE(diag_readline("Speed?", buf, sizeof buf, "100"), nullptr);
    EXPECT_STREQ(buf, "100");
    ASSERT_NE(diag_readline("Name: ", buf, sizeof buf, nullptr), nullptr);
    EXPECT_STREQ(buf, "value");
    ASSERT_NE(diag_readline("", buf, sizeof buf, nullptr), nullptr);
    EXPECT_STREQ(buf, "abcde");
    EXPECT_EQ(diag_readline("", buf, sizeof buf, nullptr), nullptr);
    EXPECT_EQ(fake.out, "Speed? [100] Name: ");
}

TEST_F(sal_console, ReadcharGivesFirstCharacter) {
    fake.lines = {"yes"};
    EXPECT_EQ(sal_readchar("Continue? "), 'y');
    EXPECT_EQ(sal_readchar("Again? "), -1);
}

TEST_F(sal_console, ThreadsInheritTheirCreatorsConsole) {
    static sal_sem_t done = sal_sem_create("done", sal_sem_BINARY, 0);
    sal_thread_create(
        "child", 0, 0,
        [](void *) {
            sal_printf("from child\n");
            sal_sem_give(done);
        },
        nullptr);
    ASSERT_EQ(sal_sem_take(done, 5000000), 0);
    EXPECT_EQ(fake.out, "from child\n");
}

TEST_F(sal_console, BoardPrintfAndLogLinesReachTheBoardConsoleFromAnyThread) {
    FakeConsole board;
    const sal_console_ops *prev_board = sal_console_default_set(&board.ops);
    EXPECT_EQ(sal_console_default(), &board.ops);
    sal_board_printf("serial %d\n", 1);
    sal_printf("session\n");
    sal_console_default_set(prev_board);
    EXPECT_EQ(board.out, "serial 1\n");
    EXPECT_EQ(fake.out, "session\n");
    EXPECT_EQ(sal_console_echo_set(0), -1);  // the fake cannot hide input
}

// What the break key answered when it was typed during a read.
int break_answer = -1;

int read_with_break(void *ctx, char *buf, size_t size) {
    break_answer = sal_console_break_at_prompt();
    return FakeConsole::read_line(ctx, buf, size);
}

// The break key typed as soon as the prompt shows.
bool broke = false;
int write_then_break(void *ctx, const char *buf, size_t len) {
    FakeConsole::write(ctx, buf, len);
    if (!broke && std::string(buf, len).find("action?") != std::string::npos) {
        broke = true;  // the break shows the prompt again
        break_answer = sal_console_break_at_prompt();
    }
    return static_cast<int>(len);
}

TEST_F(sal_console, TheBreakKeyShowsTheBoardsPromptAgainOnlyWhileItReads) {
    FakeConsole board;
    board.ops.read_line = read_with_break;
    board.lines = {"typed"};
    const sal_console_ops *prev_board = sal_console_default_set(&board.ops);
    EXPECT_EQ(sal_console_break_at_prompt(), 0);  // no read waits: a command runs
    sal_console_bind(nullptr);
    char line[32];
    ASSERT_NE(diag_readline("DXP.0>", line, sizeof line, "d"), nullptr);
    EXPECT_EQ(break_answer, 1);
    EXPECT_EQ(board.out, "DXP.0> [d] \nDXP.0> [d] ");
    EXPECT_EQ(sal_console_break_at_prompt(), 0);
    // A session's read is not the board's.
    sal_console_bind(&fake.ops);
    fake.ops.read_line = read_with_break;
    fake.lines = {"typed"};
    ASSERT_NE(diag_readline("ecos>", line, sizeof line, nullptr), nullptr);
    EXPECT_EQ(break_answer, 0);
    // A break typed the moment the prompt shows is the read's, however late
    // the read first looks at its input.
    sal_console_bind(nullptr);
    board.ops.write = write_then_break;
    board.ops.read_line = FakeConsole::read_line;
    board.lines = {"typed"};
    break_answer = -1;
    ASSERT_NE(diag_readline("action?", line, sizeof line, nullptr), nullptr);
    EXPECT_EQ(break_answer, 1);
    sal_console_default_set(prev_board);
}

// A console whose client has stopped reading: its write blocks until
// released. It brings its own lock, as a network session does.
struct StalledConsole {
    sal_sem_t entered = sal_sem_create("entered", sal_sem_BINARY, 0);
    sal_sem_t released = sal_sem_create("released", sal_sem_BINARY, 0);
    sal_mutex_t own = sal_mutex_create("stalled");
    sal_console_ops ops{.ctx = this, .write = write, .read_line = nullptr, .lock = own};
    ~StalledConsole() {
        sal_sem_destroy(entered);
        sal_sem_destroy(released);
        sal_mutex_destroy(own);
    }
    static int write(void *ctx, const char *, size_t len) {
        auto *c = static_cast<StalledConsole *>(ctx);
        sal_sem_give(c->entered);
        sal_sem_take(c->released, sal_sem_FOREVER);
        return static_cast<int>(len);
    }
};

TEST_F(sal_console, StalledConsoleHoldsUpOnlyItsOwnWriters) {
    StalledConsole stalled;
    std::thread session([&] {
        sal_console_bind(&stalled.ops);
        sal_printf("never read\n");
    });
    ASSERT_EQ(sal_sem_take(stalled.entered, 5000000), 0);

    // Another session with its own lock, and the board's console.
    StalledConsole other;
    sal_sem_give(other.released);
    FakeConsole board;
    const sal_console_ops *prev_board = sal_console_default_set(&board.ops);
    sal_sem_t printed = sal_sem_create("printed", sal_sem_COUNTING, 0);
    std::thread writer([&] {
        sal_console_bind(&other.ops);
        sal_printf("goes on\n");
        sal_sem_give(printed);
        sal_board_printf("serial goes on\n");
        sal_sem_give(printed);
    });
    EXPECT_EQ(sal_sem_take(printed, 5000000), 0);
    EXPECT_EQ(sal_sem_take(printed, 5000000), 0);
    sal_sem_give(stalled.released);
    session.join();
    writer.join();
    sal_console_default_set(prev_board);
    sal_sem_destroy(printed);
    EXPECT_EQ(board.out, "serial goes on\n");
}

}  // namespace
