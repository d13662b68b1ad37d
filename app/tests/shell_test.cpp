// The "ecos>" shell and the login, driven through a scripted console.
#include <cstdio>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <string>
#include <thread>

#include "../../platform/tests/script_console.h"
#include "app_test_env.h"
#include "ecos_shell.h"
#include "logger.h"
#include "sal.h"
#include "sal_host.h"

namespace {

using console_test::ScriptConsole;

std::atomic<int> loads{0}, clears{0};

// A flash file of its own: the login reads the account from the store, and a
// default flash file would be shared with other test programs running at once.
class ecos_shell : public app_test::FlashFixture {
  protected:
    ScriptConsole console;
    void SetUp() override {
        app_test::FlashFixture::SetUp();
        sal_console_bind(&console.ops);
        loads = 0;
        clears = 0;
        ecos_shell_init(nullptr);
    }
    void TearDown() override {
        sal_console_bind(nullptr);
        app_test::FlashFixture::TearDown();
    }
};

TEST_F(ecos_shell, RunsCommandsUntilExit) {
    console.lines = {"help", "bogus", "", "exit", "help"};
    ecos_shell_run();
    EXPECT_NE(console.out.find("ecos> "), std::string::npos);
    EXPECT_NE(console.out.find("reboot"), std::string::npos);
    EXPECT_NE(console.out.find("Unknown command 'bogus'"), std::string::npos);
    EXPECT_EQ(console.lines.size(), 1u);  // stopped at exit
}

TEST_F(ecos_shell, EndOfInputLeavesTheShell) {
    console.lines = {"help reboot"};
    ecos_shell_run();
    EXPECT_NE(console.out.find("Usage: reboot"), std::string::npos);
}

TEST_F(ecos_shell, LoadUsesTheSettingsAndClearsCounters) {
    ecos_shell_services s{};
    s.settings_load = [](char *, int) {
        loads++;
        return 1;
    };
    s.port_counters_clear_all = [] { clears++; };
    ecos_shell_init(&s);
    char line[] = "load";
    EXPECT_EQ(ecos_shell_execute(line), 0);
    EXPECT_EQ(loads.load(), 1);
    EXPECT_EQ(clears.load(), 1);
    EXPECT_NE(console.out.find("Settings loaded\n"), std::string::npos);
    // A load that fails leaves the counters.
    s.settings_load = [](char *, int) { return -1; };
    ecos_shell_init(&s);
    EXPECT_EQ(ecos_shell_execute(line), 0);
    EXPECT_EQ(clears.load(), 1);
    EXPECT_NE(console.out.find("Loading the settings failed: the port counters are kept\n"),
              std::string::npos);
}

TEST_F(ecos_shell, LoadNamesTheRowsItSkipped) {
    ecos_shell_services s{};
    s.settings_load = [](char *skipped, int size) {
        std::snprintf(skipped, static_cast<size_t>(size), "Port settings: port 2: busy\n");
        return 1;
    };
    ecos_shell_init(&s);
    char line[] = "load";
    EXPECT_EQ(ecos_shell_execute(line), 0);
    EXPECT_NE(console.out.find("Settings loaded, except:\nPort settings: port 2: busy\n"),
              std::string::npos);
}

TEST_F(ecos_shell, CountersAreShownAndCleared) {
    static uint32_t received;
    ecos_shell_services s{};
    s.end_counters_get = [](uint32_t *rx, uint32_t *tx, uint32_t *bc, uint32_t *mc, uint32_t *uc) {
        *rx = received, *tx = *bc = *mc = *uc = 0;
    };
    s.end_counters_clear = [] { received = 0; };
    ecos_shell_init(&s);
    received = 42;
    char show[] = "counters", clear[] = "counters CLEAR", bad[] = "counters now";
    ecos_shell_execute(show);
    EXPECT_NE(console.out.find("Received:  42\n"), std::string::npos) << console.out;
    ecos_shell_execute(bad);
    EXPECT_NE(console.out.find("Usage: counters [clear]"), std::string::npos);
    EXPECT_EQ(received, 42u);
    ecos_shell_execute(clear);
    EXPECT_EQ(received, 0u);
    EXPECT_NE(console.out.find("Interface counters cleared"), std::string::npos);
}

TEST_F(ecos_shell, MissingServicesAreReported) {
    char load[] = "LOAD", counters[] = "counters";
    ecos_shell_execute(load);
    ecos_shell_execute(counters);
    EXPECT_NE(console.out.find("Settings are not available"), std::string::npos);
    EXPECT_NE(console.out.find("counters are not available"), std::string::npos);
}

TEST_F(ecos_shell, RebootFromASessionIsAnnouncedOnTheBoardConsoleToo) {
    static sal_sem_t rebooted = sal_sem_create("rebooted", sal_sem_BINARY, 0);
    ScriptConsole board;
    const sal_console_ops *prev_board = sal_console_default_set(&board.ops);
    sal_reboot_delay_set(0);
    sal_reboot_hook_t prev = sal_reboot_hook_set([] { sal_sem_give(rebooted); });
    static ScriptConsole *script;
    script = &console;
    sal_thread_create(
        "shell", 0, 0,
        [](void *) {
            sal_console_bind(&script->ops);
            char line[] = "reboot";
            ecos_shell_execute(line);
        },
        nullptr);
    EXPECT_EQ(sal_sem_take(rebooted, 5000000), 0);
    sal_reboot_hook_set(prev);
    sal_console_default_set(prev_board);
    EXPECT_EQ(board.out, "Resetting...\n");
    EXPECT_EQ(console.out, "Resetting...\n");
}

// Runs a login on its own thread under the manual clock, moving the clock
// until it ends; gives its result.
int login_on_manual_clock(ScriptConsole &console, int tries) {
    sal_clock_manual(1000000);
    std::atomic<int> result{-2};
    std::thread t([&] {
        sal_console_bind(&console.ops);
        result = ecos_shell_login(tries);
    });
    bool ended = app_test::advance_until_real([&] { return result.load() != -2; }, 100000, 20);
    t.join();
    sal_clock_real();
    return ended ? result.load() : -2;
}

TEST_F(ecos_shell, LoginAcceptsTheFactoryAccountAndLogsFailures) {
    ASSERT_EQ(logger_init(), 0);
    logger *ram = logger_ram_get();
    ram->ops->clear(ram);
    console.lines = {"admin", "wrong", "admin", "qivor"};
    EXPECT_EQ(login_on_manual_clock(console, 3), 1);
    EXPECT_NE(console.out.find("Login incorrect"), std::string::npos);
    EXPECT_EQ(console.out.find("login: "), 0u) << console.out;
    uint32_t first = 0;
    ASSERT_EQ(ram->ops->count(&first, ram), 2);
    for (const char *want : {"Incorrect login username(admin) or password from console",
                             "User admin logined from console"}) {
        logger_record rec{first++, -1, -1, 0};
        char text[LOGGER_TEXT_MAX];
        ASSERT_GT(ram->ops->read(&rec, text, sizeof text, ram), 0);
        EXPECT_STREQ(text, want);
        EXPECT_EQ(rec.module, LOG_MOD_CONSOLE);
    }
}

TEST_F(ecos_shell, EachFailedLoginWaitsASecond) {
    console.lines = {"a", "b", "c", "d"};
    sal_clock_manual(1000000);
    std::atomic<int> result{-2};
    std::thread t([&] {
        sal_console_bind(&console.ops);
        result = ecos_shell_login(2);
    });
    // Two failures: nothing more happens until two seconds have passed.
    app_test::advance_steps(100000, 15);
    EXPECT_EQ(result.load(), -2);
    EXPECT_TRUE(app_test::advance_until_real([&] { return result.load() != -2; }, 100000, 20));
    t.join();
    sal_clock_real();
    EXPECT_EQ(result.load(), 0);
    console.lines = {"admin"};
    EXPECT_EQ(ecos_shell_login(3), -1);
}

// A console that hides input on request and records when it did.
struct EchoConsole : ScriptConsole {
    EchoConsole() {
        ops.echo_set = [](void *ctx, int on) {
            static_cast<EchoConsole *>(ctx)->out += on ? "<echo on>" : "<echo off>";
            return 0;
        };
    }
};

TEST_F(ecos_shell, PasswordIsReadWithTheEchoOff) {
    EchoConsole echo;
    sal_console_bind(&echo.ops);
    echo.lines = {"admin", "qivor"};
    EXPECT_EQ(ecos_shell_login(1), 1);
    EXPECT_EQ(echo.out, "login: <echo off>password: <echo on>\n");
}

TEST_F(ecos_shell, LoginUsesTheAccountService) {
    ecos_shell_services s{};
    s.username_get = [](char *buf, int size) -> int {
        return std::snprintf(buf, size, "root") < size;
    };
    s.password_get = [](char *buf, int size) -> int {
        return std::snprintf(buf, size, "s3cret") < size;
    };
    ecos_shell_init(&s);
    console.lines = {"admin", "qivor", "root", "s3cret"};
    EXPECT_EQ(login_on_manual_clock(console, 3), 1);
    EXPECT_NE(console.out.find("Login incorrect"), std::string::npos);
}

}  // namespace
