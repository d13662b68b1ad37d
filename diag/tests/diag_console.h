// Captures what the code under test prints through sal_printf.
#pragma once

#include <cstddef>
#include <string>

#include "sal.h"

namespace diag_test {

class ConsoleCapture {
  public:
    ConsoleCapture() { prev_ = sal_console_bind(&ops_); }
    ~ConsoleCapture() { sal_console_bind(prev_); }
    std::string take() {
        std::string t = out_;
        out_.clear();
        return t;
    }

  private:
    static int write(void *ctx, const char *buf, size_t len) {
        static_cast<ConsoleCapture *>(ctx)->out_.append(buf, len);
        return static_cast<int>(len);
    }
    static int read_line(void *, char *, size_t) { return -1; }
    std::string out_;
    sal_console_ops ops_{this, write, read_line};
    const sal_console_ops *prev_;
};

}  // namespace diag_test
