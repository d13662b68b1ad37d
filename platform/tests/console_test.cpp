// Console output switch, per-thread consoles, debug flags, readline and the
// log file.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
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

class console_test : public ::testing::Test {
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

TEST_F(console_test, SwitchSilencesPrintfButNotConsolePrintf) {
    sal_printf("one %d\n", 1);
    EXPECT_EQ(sal_console_enable_set(0), 1);
    sal_printf("hidden\n");
    sal_console_printf("forced\n");
    sal_printf_console("also\n");
    EXPECT_EQ(sal_console_enable_get(), 0);
    EXPECT_EQ(fake.out, "one 1\nforced\nalso\n");
}

TEST_F(console_test, LogFileMirrorsPrintf) {
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

TEST_F(console_test, DebugPrintNeedsAllFlagBits) {
    EXPECT_EQ(sal_debug_flags_set(0x8), 0u);
    EXPECT_EQ(sal_debug_flags_add(0), 0x8u);
    sal_debug_printf(0x8, "a\n");
    sal_debug_printf(0x8 | 0x8000000, "b\n");
    EXPECT_EQ(sal_debug_flags_add(0x8000000), 0x8u);
    sal_debug_printf(0x8 | 0x8000000, "c\n");
    EXPECT_EQ(fake.out, "a\nc\n");
}

TEST_F(console_test, ReadlineDefaultsAndEndOfInput) {
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

TEST_F(console_test, ReadcharGivesFirstCharacter) {
    fake.lines = {"yes"};
    EXPECT_EQ(sal_readchar("Continue? "), 'y');
    EXPECT_EQ(sal_readchar("Again? "), -1);
}

TEST_F(console_test, ThreadsInheritTheirCreatorsConsole) {
    static std::atomic<bool> done{false};
    sal_thread_create(
        "child", 0, 0,
        [](void *) {
            sal_printf("from child\n");
            done = true;
        },
        nullptr);
    for (int i = 0; i < 2000 && !done.load(); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(fake.out, "from child\n");
}

// A console whose client has stopped reading: its write blocks until released.
struct StalledConsole {
    std::atomic<bool> entered{false};
    std::atomic<bool> released{false};
    sal_console_ops ops{this, write, nullptr};
    static int write(void *ctx, const char *, size_t len) {
        auto *c = static_cast<StalledConsole *>(ctx);
        c->entered = true;
        while (!c->released.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return static_cast<int>(len);
    }
};

TEST_F(console_test, StalledConsoleHoldsUpOnlyItsOwnWriters) {
    StalledConsole stalled;
    std::thread session([&] {
        sal_console_bind(&stalled.ops);
        sal_printf("never read\n");
    });
    for (int i = 0; i < 2000 && !stalled.entered.load(); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(stalled.entered.load());

    FakeConsole other;
    std::atomic<bool> printed{false};
    std::thread writer([&] {
        sal_console_bind(&other.ops);
        sal_printf("goes on\n");
        printed = true;
    });
    for (int i = 0; i < 3000 && !printed.load(); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(printed.load());
    stalled.released = true;
    session.join();
    writer.join();
    EXPECT_EQ(other.out, "goes on\n");
}

}  // namespace
