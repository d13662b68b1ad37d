// A shell level driven line by line through a scripted console, over a
// fresh host RAM file system per test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "diag_shell.h"
#include "../../platform/tests/script_console.h"
#include "sal.h"
#include "storage_host.h"

namespace diag_test {

using console_test::ScriptConsole;

namespace fs = std::filesystem;

class monitor : public ::testing::Test {
  protected:
    ScriptConsole console;
    fs::path dir;

    static void SetUpTestSuite() {
        sal_assert_handler_t prev = sal_assert_set(nullptr);
        ScriptConsole quiet;
        sal_console_bind(&quiet.ops);
        diag_init();
        sal_console_bind(nullptr);
        sal_assert_set(prev);
    }
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "diag_XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        // A flash of its own, so that no file system comes back from another test.
        ASSERT_EQ(flash_host_open((dir / "flash.bin").c_str(), 1), 0);
        ASSERT_EQ(sal_fs_host_init((dir / "fs").c_str(), (dir / "tftp").c_str()), 0);
        var_set("path", "/ /scripts", 0, 0);
        sal_console_bind(&console.ops);
        sh_set_mode(2);
    }
    void TearDown() override {
        sal_console_bind(nullptr);
        diag_settings.rc_error = 1;
        diag_settings.loop_error = 1;
        flash_host_close();
        fs::remove_all(dir);
    }
    // Runs the lines through a shell level; what it printed.
    std::string run(std::initializer_list<std::string> lines) {
        console.lines.assign(lines.begin(), lines.end());
        console.out.clear();
        diag_shell(-1, "DXP", 1);
        return console.out;
    }
    void script(const std::string &name, const std::string &text) {
        fs::create_directories((dir / "fs" / name).parent_path());
        std::ofstream(dir / "fs" / name) << text;
    }
    static bool has(const std::string &out, const std::string &text) {
        return out.find(text) != std::string::npos;
    }
};

}  // namespace diag_test
