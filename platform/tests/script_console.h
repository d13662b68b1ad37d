// A console that answers reads from scripted lines and keeps what is written.
#pragma once

#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "sal.h"

namespace console_test {

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

}  // namespace console_test
