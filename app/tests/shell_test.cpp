// The "ecos>" shell and the login, driven through a scripted console.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <string>
#include <thread>

#include "ecos_shell.h"
#include "sal.h"
#include "sal_host.h"

namespace {

struct ScriptConsole {
    std::string out;
    std::deque<std::string> lines;
    sal_console_ops ops{this, write, read_line};
    static int write(void *ctx, const char *buf, size_t len) {
        static_cast<ScriptConsole *>(ctx)->out.append(buf, len);
        return static_cast<int>(len);
    }
    static int read_line(void *ctx, char *buf, size_t size) {
        auto *c = static_cast<ScriptConsole *>(ctx);
        if (c->lines.empty()) return -1;
        std::snprintf(buf, size, "%s", c->lines.front().c_str());
        c->lines.pop_front();
        return static_cast<int>(std::strlen(buf));
    }
};

std::atomic<int> loads{0}, clears{0};

class shell_test : public ::testing::Test {
  protected:
    ScriptConsole console;
    void SetUp() override {
        sal_console_bind(&console.ops);
        loads = 0;
        clears = 0;
        ecos_shell_init(nullptr);
    }
    void TearDown() override { sal_console_bind(nullptr); }
};

TEST_F(shell_test, RunsCommandsUntilExit) {
    console.lines = {"help", "bogus", "", "exit", "help"};
    ecos_shell_run();
    EXPECT_NE(console.out.find("ecos> "), std::string::npos);
    EXPECT_NE(console.out.find("reboot"), std::string::npos);
    EXPECT_NE(console.out.find("Unknown command 'bogus'"), std::string::npos);
    EXPECT_EQ(console.lines.size(), 1u);  // stopped at exit
}

TEST_F(shell_test, EndOfInputLeavesTheShell) {
    console.lines = {"help reboot"};
    ecos_shell_run();
    EXPECT_NE(console.out.find("Usage: reboot"), std::string::npos);
}

TEST_F(shell_test, LoadUsesTheSettingsAndClearsCounters) {
    ecos_shell_services s{};
    s.settings_load = [] {
        loads++;
        return 1;
    };
    s.port_counters_clear_all = [] { clears++; };
    ecos_shell_init(&s);
    char line[] = "load";
    EXPECT_EQ(ecos_shell_execute(line), 0);
    EXPECT_EQ(loads.load(), 1);
    EXPECT_EQ(clears.load(), 1);
}

TEST_F(shell_test, MissingServicesAreReported) {
    char load[] = "LOAD", counters[] = "counters";
    ecos_shell_execute(load);
    ecos_shell_execute(counters);
    EXPECT_NE(console.out.find("Settings are not available"), std::string::npos);
    EXPECT_NE(console.out.find("counters are not available"), std::string::npos);
}

TEST_F(shell_test, RebootCallsTheRebootHook) {
    static std::atomic<int> reboots{0};
    sal_reboot_delay_set(0);
    sal_reboot_hook_t prev = sal_reboot_hook_set([] { reboots++; });
    static ScriptConsole *script = &console;
    sal_thread_create(
        "shell", 0, 0,
        [](void *) {
            sal_console_bind(&script->ops);
            char line[] = "reboot";
            ecos_shell_execute(line);
        },
        nullptr);
    for (int i = 0; i < 2000 && reboots.load() == 0; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(reboots.load(), 1);
    sal_reboot_hook_set(prev);
}

TEST_F(shell_test, LoginAcceptsTheFactoryAccount) {
    console.lines = {"admin", "wrong", "admin", "qivor"};
    EXPECT_EQ(ecos_shell_login(3), 1);
    EXPECT_NE(console.out.find("Login incorrect"), std::string::npos);
    EXPECT_EQ(console.out.find("login: "), 0u);
}

TEST_F(shell_test, LoginGivesUpAfterTheTriesAndAtEndOfInput) {
    console.lines = {"a", "b", "c", "d"};
    EXPECT_EQ(ecos_shell_login(2), 0);
    console.lines = {"admin"};
    EXPECT_EQ(ecos_shell_login(3), -1);
}

TEST_F(shell_test, LoginUsesTheAccountService) {
    ecos_shell_services s{};
    s.username_get = [](char *buf, int size) -> int {
        return std::snprintf(buf, size, "root") < size;
    };
    s.password_get = [](char *buf, int size) -> int {
        return std::snprintf(buf, size, "s3cret") < size;
    };
    ecos_shell_init(&s);
    console.lines = {"admin", "qivor", "root", "s3cret"};
    EXPECT_EQ(ecos_shell_login(3), 1);
}

}  // namespace
