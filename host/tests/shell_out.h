// The output of a shell command, for tests that drive command-line clients.
#pragma once

#include <cstdio>
#include <string>

namespace system_fixture {

inline std::string sh_out(const std::string &cmd) {
    std::string out;
    if (FILE *p = popen(cmd.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p))
            out += buf;
        pclose(p);
    }
    return out;
}

}  // namespace system_fixture
