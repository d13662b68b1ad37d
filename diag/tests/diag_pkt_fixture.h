// The monitor over the whole packet path: a board whose switch (unit 0) is
// initialised as at start-up, with its CPU-port MAC attached, so that frames
// the monitor sends leave the front-panel ports and frames injected there
// reach the CPU. The console is thread-safe: the watcher and the receive
// service print from their own threads.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <cstdarg>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "../../drv/tests/port_fixture.h"
#include "../../soc/tests/unit_fixture.h"
#include "diag_shell.h"
#include "dxp.h"
#include "dxp_tarn.h"
#include "et_soc.h"
#include "sal.h"
#include "sim/board.h"
#include "sim/frame.h"
#include "sim/host_binding.h"
#include "storage_host.h"

namespace diag_test {

class LockedConsole {
  public:
    sal_console_ops ops{this, write, read_line};
    void feed(std::initializer_list<std::string> lines) {
        std::lock_guard<std::mutex> g(lock_);
        lines_.assign(lines.begin(), lines.end());
    }
    std::string out() {
        std::lock_guard<std::mutex> g(lock_);
        return out_;
    }
    void clear() {
        std::lock_guard<std::mutex> g(lock_);
        out_.clear();
    }

  private:
    static int write(void *ctx, const char *buf, size_t len) {
        auto *c = static_cast<LockedConsole *>(ctx);
        std::lock_guard<std::mutex> g(c->lock_);
        c->out_.append(buf, len);
        return static_cast<int>(len);
    }
    static int read_line(void *ctx, char *buf, size_t size) {
        auto *c = static_cast<LockedConsole *>(ctx);
        std::lock_guard<std::mutex> g(c->lock_);
        if (c->lines_.empty()) return -1;
        std::snprintf(buf, size, "%s", c->lines_.front().c_str());
        c->lines_.pop_front();
        return static_cast<int>(std::strlen(buf));
    }
    std::mutex lock_;
    std::string out_;
    std::deque<std::string> lines_;
};

class PktMonitor : public ::testing::Test {
  protected:
    static constexpr int kNic = 1;

    void SetUp() override {
        soc_test::forget_everything();
        drv_port_info_host_forget();
        // The host's board: its event thread carries frames between ports on
        // the platform clock.
        char error[200] = "";
        ASSERT_EQ(board_host_start("52", "direct", error, sizeof error), 0) << error;
        board = sim::boundBoard();
        sal_console_bind(&console.ops);
        soc_phy_layer_register(soc_phy_init);
        port_test::phy_hooks_register();
        pktio_register();
        static const soc_cm_init_t vectors = {print, nullptr, nullptr};
        ASSERT_EQ(soc_cm_init(&vectors), 0);
        ASSERT_EQ(sysconf_probe(), 0);
        ASSERT_EQ(sysconf_attach(0), 0);
        ASSERT_EQ(sysconf_attach(kNic), 0);
        ASSERT_EQ(phy_unit_init(0), 0);
        ASSERT_EQ(dxp_dispatch_register(&dxp_tarn_dispatch), 0);
        system_init(0);
        ASSERT_TRUE(soc_unit_attached(0)) << console.out();
        board->chip().poke("SWMODE", 0, 0x03);  // forwarding on
        dxp_pbmp_t up{};
        for (int p = 1; p <= 4; p++) {
            board->port(p).linkUp();
            ASSERT_EQ(dxp_port_enable_set(0, p, 1), 0) << console.out();
            dxp_pbmp_port_add(&up, p);
        }
        ASSERT_EQ(dxp_linkscan_update(0, up), 0);
        sh_set_unit(0);
        sh_set_mode(2);
    }
    void TearDown() override {
        if (!fs_dir.empty()) {
            flash_host_close();
            std::filesystem::remove_all(fs_dir);
        }
        dxp_rx_clear(0);
        if (et_soc_get()) {
            et_soc_stop(kNic);
            et_soc_detach(kNic);
        }
        dxp_linkscan_detach(0);
        dxp_detach(0);
        sal_console_bind(nullptr);
        soc_pktio_register(nullptr);
        port_test::phy_hooks_forget();
        soc_host_forget_units();
        sysconf_host_forget();
        board_host_forget_devices();
        board_host_stop();
        board = nullptr;
    }
    static int print(uint32_t mask, const char *format, va_list args) {
        return mask == 0 ? sal_vprintf(format, args) : 0;
    }
    // Runs the lines through a shell level; what the console holds after.
    std::string run(std::initializer_list<std::string> lines) {
        console.clear();
        console.feed(lines);
        diag_shell(-1, "DXP", 1);
        return console.out();
    }
    // Polls (real time, five seconds unless told) until the console shows text.
    bool shows(const std::string &text, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (console.out().find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::yield();
        }
        return true;
    }
    // A file in a RAM file system of the test's own.
    void fs_file(const std::string &name, const std::string &text) {
        if (fs_dir.empty()) {
            std::string pattern =
                (std::filesystem::temp_directory_path() / "diag_pkt_XXXXXX").string();
            fs_dir = ::mkdtemp(pattern.data());
            ASSERT_EQ(flash_host_open((fs_dir / "flash.bin").c_str(), 1), 0);
            ASSERT_EQ(sal_fs_host_init((fs_dir / "fs").c_str(), (fs_dir / "tftp").c_str()), 0);
        }
        std::ofstream(fs_dir / "fs" / name) << text;
    }
    // Waits until the CPU-port MAC has n receive buffers posted: the receive
    // service posts them at its next pass once a handler is registered.
    bool rx_posted(uint32_t n) {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (board->mac().peek(0x218) / 8 < n) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::yield();
        }
        return true;
    }
    static bool has(const std::string &out, const std::string &text) {
        return out.find(text) != std::string::npos;
    }

    LockedConsole console;
    std::filesystem::path fs_dir;
    sim::Board *board = nullptr;
};

}  // namespace diag_test
