// A console over a telnet connection: line input with the telnet protocol
// bytes taken out, output with "\r\n" line ends.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sal.h"

class TelnetConsole {
  public:
    explicit TelnetConsole(int fd);
    const sal_console_ops *ops() const { return &ops_; }
    int write(const char *buf, size_t len);
    int read_line(char *buf, size_t size);

  private:
    enum class State { Data, Iac, Option, Sub, SubIac };
    int next_byte();  // -1 when the peer has gone
    void refuse_option(uint8_t command, uint8_t option);

    int fd_;
    sal_console_ops ops_;
    State state_ = State::Data;
    uint8_t option_command_ = 0;
    bool skip_lf_ = false;  // a CR ended the last line; its LF or NUL follows
    uint8_t in_[512];
    size_t in_len_ = 0, in_pos_ = 0;
};
