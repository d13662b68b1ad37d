// Test environment of the application core: a temporary flash file with the
// NVRAM store, console capture, a loopback UDP listener and polling helpers.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "../../platform/tests/private_workdir.h"
#include "flash.h"
#include "nvram.h"
#include "sal.h"
#include "sal_host.h"
#include "storage_host.h"

namespace app_test {

// Polls the condition for up to about two seconds of real time.
inline bool eventually(const std::function<bool()> &done) {
    for (int i = 0; i < 2000; i++) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

// Under the manual clock: moves it a step at a time, giving the threads real
// time to act, until the condition holds. A thread that starts a timed wait
// late still sees its time-out pass.
inline bool advance_until(const std::function<bool()> &done, uint64_t step_usecs, int steps) {
    for (int i = 0; i < steps; i++) {
        if (done()) return true;
        sal_clock_advance(step_usecs);
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    return eventually(done);
}

// Under the manual clock: moves it a step at a time until the condition holds
// or real_secs of real time have passed, for threads whose time-outs matter
// less than their finishing on a loaded machine (a slow flash write, say).
inline bool advance_until_real(const std::function<bool()> &done, uint64_t step_usecs,
                               int real_secs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(real_secs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (done()) return true;
        sal_clock_advance(step_usecs);
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    return done();
}

// Under the manual clock: moves it a fixed number of steps, giving the
// threads real time to act after each.
inline void advance_steps(uint64_t step_usecs, int steps) {
    for (int i = 0; i < steps; i++) {
        sal_clock_advance(step_usecs);
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
}

// Console output of this thread and the threads it starts.
class ConsoleCapture {
  public:
    ConsoleCapture() : prev_(sal_console_bind(&ops_)) {}
    ~ConsoleCapture() { sal_console_bind(prev_); }
    std::string text() {
        std::lock_guard<std::mutex> g(lock_);
        return out_;
    }

  private:
    static int write(void *ctx, const char *buf, size_t len) {
        auto *self = static_cast<ConsoleCapture *>(ctx);
        std::lock_guard<std::mutex> g(self->lock_);
        self->out_.append(buf, len);
        return static_cast<int>(len);
    }
    std::mutex lock_;
    std::string out_;
    sal_console_ops ops_{this, write, nullptr};
    const sal_console_ops *prev_;
};

// A fresh flash file with the NVRAM store open on it.
class FlashFixture : public ::testing::Test {
  protected:
    std::filesystem::path dir;
    std::filesystem::path flash_file;

    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "app_XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        flash_file = dir / "flash.bin";
        ASSERT_EQ(flash_host_open(flash_file.c_str(), 1), 0) << flash_host_last_error();
        ASSERT_EQ(flashInit(), 0);
        ASSERT_EQ(nvram_init(), 0);
    }
    void TearDown() override {
        nvram_host_close();
        flash_host_close();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    // What a reboot keeps: the flash file.
    void reopen_flash() {
        nvram_host_close();
        flash_host_close();
        ASSERT_EQ(flash_host_open(flash_file.c_str(), 0), 0) << flash_host_last_error();
        ASSERT_EQ(flashInit(), 0);
        ASSERT_EQ(nvram_init(), 0);
    }
};

// A UDP socket on 127.0.0.1 with a port of the kernel's choice.
struct UdpListener {
    int fd = -1;
    int port = 0;
    UdpListener() {
        fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
        port = ntohs(addr.sin_port);
        timeval tv{2, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    ~UdpListener() { close(fd); }
    // The next datagram, or "" after two seconds.
    std::string receive() {
        char buf[2048];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
    }
};

}  // namespace app_test
