// Test environment of the storage modules: a temporary flash file and
// file-system directories, console capture and a simulated reboot.
#pragma once

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "flash.h"
#include "nvram.h"
#include "sal.h"
#include "sal_fs.h"
#include "storage_host.h"

namespace storage_test {

struct TempDir {
    std::filesystem::path path;
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "storage_XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

struct ConsoleCapture {
    std::string out;
    sal_console_ops ops{this, write, nullptr};
    const sal_console_ops *prev;
    ConsoleCapture() : prev(sal_console_bind(&ops)) {}
    ~ConsoleCapture() { sal_console_bind(prev); }
    static int write(void *ctx, const char *buf, size_t len) {
        static_cast<ConsoleCapture *>(ctx)->out.append(buf, len);
        return static_cast<int>(len);
    }
    size_t count(const std::string &needle) const {
        size_t n = 0;
        for (size_t at = out.find(needle); at != std::string::npos; at = out.find(needle, at + 1))
            n++;
        return n;
    }
};

inline std::string read_file(const std::filesystem::path &p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write_file(const std::filesystem::path &p, const std::string &content) {
    std::ofstream(p, std::ios::binary) << content;
}

// Every variable of the NVRAM store.
inline std::map<std::string, std::string> nvram_all() {
    std::string buf(1 << 17, '\0');
    EXPECT_EQ(nvram_getall(buf.data(), buf.size()), 0);
    std::map<std::string, std::string> vars;
    for (const char *p = buf.c_str(); *p != '\0'; p += std::strlen(p) + 1) {
        std::string record = p;
        size_t eq = record.find('=');
        vars[record.substr(0, eq)] = record.substr(eq + 1);
    }
    return vars;
}

// A fresh flash file in a temporary directory, with the RAM file system
// beside it; the store is closed again at the end of the test.
class StorageTest : public ::testing::Test {
  protected:
    TempDir tmp;
    std::filesystem::path flash_file = tmp.path / "flash.bin";
    std::filesystem::path fs_root = tmp.path / "fs";
    std::filesystem::path tftp_root = tmp.path / "tftp";

    void SetUp() override {
        flash_host_fault_clear();
        ASSERT_EQ(flash_host_open(flash_file.c_str(), 1), 0) << flash_host_last_error();
        ASSERT_EQ(flashInit(), 0);
    }
    void TearDown() override {
        flash_host_fault_clear();
        nvram_host_close();
        flash_host_close();
    }

    // What a reboot keeps: the flash file. The RAM store is read again.
    void reboot() {
        flash_host_fault_clear();
        nvram_host_close();
        flash_host_close();
        ASSERT_EQ(flash_host_open(flash_file.c_str(), 0), 0) << flash_host_last_error();
        ASSERT_EQ(flashInit(), 0);
        nvram_init();
    }

    void use_fs() { ASSERT_EQ(sal_fs_host_init(fs_root.c_str(), tftp_root.c_str()), 0); }
};

}  // namespace storage_test
