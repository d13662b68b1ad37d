// Included by a test program: the program runs in a fresh directory of its
// own, so that default relative paths (the flash file "var/flash.bin", the
// file system "var/fs") are never shared by test programs running at once.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace test_workdir {

inline const std::string &path() {
    // Never destroyed: the exit handler below still reads it.
    static const std::string &dir = *new std::string([] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "switchfw_test_XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr || ::chdir(pattern.c_str()) != 0) std::abort();
        // Best effort: threads that outlive the test may still write here.
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(path(), ec);
        });
        return pattern;
    }());
    return dir;
}

// Runs before main, in every program that includes this header.
inline const bool entered = !path().empty();

}  // namespace test_workdir
