// A console over a telnet connection: line input with the telnet protocol
// bytes taken out and a time limit on waiting for it, output with "\r\n"
// line ends under the session's own lock, and the client's echo taken over
// while a password is typed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sal.h"

class TelnetConsole {
  public:
    explicit TelnetConsole(int fd);
    ~TelnetConsole();
    TelnetConsole(const TelnetConsole &) = delete;
    TelnetConsole &operator=(const TelnetConsole &) = delete;

    const sal_console_ops *ops() const { return &ops_; }
    int write(const char *buf, size_t len);
    int read_line(char *buf, size_t size);
    int echo_set(int on);

    // Input ends (read_line gives -1) when none has come for this long;
    // Fixed counts from now, Idle from the latest input.
    enum class Limit { Fixed, Idle };
    void limit_set(Limit kind, uint32_t seconds);
    bool timed_out() const { return timed_out_; }

  private:
    enum class State { Data, Iac, Option, Sub, SubIac };
    int next_byte();  // -1 when the peer has gone or the time limit passed
    bool wait_readable();
    void answer_option(uint8_t command, uint8_t option);
    bool send_locked(const char *p, size_t n);

    int fd_;
    sal_mutex_t lock_;
    sal_console_ops ops_;
    State state_ = State::Data;
    uint8_t option_command_ = 0;
    bool skip_lf_ = false;  // a CR ended the last line; its LF or NUL follows
    // Options this side has agreed to (only while a password is typed).
    bool will_echo_ = false;
    bool will_sga_ = false;
    Limit limit_ = Limit::Idle;
    uint32_t limit_usecs_ = 0;  // 0: none
    uint32_t deadline_ = 0;     // sal_time_usecs() value
    bool timed_out_ = false;
    uint8_t in_[512];
    size_t in_len_ = 0, in_pos_ = 0;
};
