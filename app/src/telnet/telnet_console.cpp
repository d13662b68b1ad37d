#include "telnet_console.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>

#include "sal_lock.h"

namespace {

constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                  kEl = 248, kIp = 244, kSe = 240;
// The interrupt key as a client in character mode sends it.
constexpr uint8_t kCtrlC = 0x03;
constexpr uint8_t kOptEcho = 1, kOptSuppressGoAhead = 3;

// A waiting session looks at the time limit at least this often, so that it
// follows the platform clock (which tests move by hand).
constexpr int kLimitCheckMs = 250;

bool send_all(int fd, const char *p, size_t n) {
    while (n > 0) {
        ssize_t w = send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

}  // namespace

TelnetConsole::TelnetConsole(int fd)
    : fd_(fd),
      lock_(sal_mutex_create("telnet output")),
      ops_{.ctx = this,
           .write = [](void *ctx, const char *buf,
                       size_t len) { return static_cast<TelnetConsole *>(ctx)->write(buf, len); },
           .read_line =
               [](void *ctx, char *buf, size_t size) {
                   return static_cast<TelnetConsole *>(ctx)->read_line(buf, size);
               },
           .echo_set = [](void *ctx,
                          int on) { return static_cast<TelnetConsole *>(ctx)->echo_set(on); },
           .lock = lock_} {}

TelnetConsole::~TelnetConsole() {
    sal_mutex_destroy(lock_);
}

bool TelnetConsole::send_locked(const char *p, size_t n) {
    SalLock hold(lock_);
    if (send_all(fd_, p, n)) return true;
    // The client stopped reading (send time-out) or went away: end the
    // session, whose next read then sees the end of input.
    shutdown(fd_, SHUT_RDWR);
    return false;
}

int TelnetConsole::write(const char *buf, size_t len) {
    std::string out;
    out.reserve(len + 16);
    for (size_t i = 0; i < len; i++) {
        char c = buf[i];
        if (c == '\n' && (i == 0 || buf[i - 1] != '\r')) out += '\r';
        if (static_cast<uint8_t>(c) == kIac) out += static_cast<char>(kIac);  // data byte 255
        out += c;
    }
    return send_locked(out.data(), out.size()) ? static_cast<int>(len) : -1;
}

int TelnetConsole::echo_set(int on) {
    // Offering to echo makes the client stop echoing; this side then echoes
    // nothing, so the password shows nowhere. Suppress-go-ahead comes with
    // it, as clients expect both before they leave line-by-line mode.
    uint8_t verb = on ? kWont : kWill;
    const char msg[6] = {static_cast<char>(kIac),     static_cast<char>(verb),
                         static_cast<char>(kOptEcho), static_cast<char>(kIac),
                         static_cast<char>(verb),     static_cast<char>(kOptSuppressGoAhead)};
    will_echo_ = will_sga_ = on == 0;
    return send_locked(msg, sizeof msg) ? 0 : -1;
}

void TelnetConsole::limit_set(Limit kind, uint32_t seconds) {
    limit_ = kind;
    limit_usecs_ = seconds * 1000000u;
    deadline_ = sal_time_usecs() + limit_usecs_;
}

bool TelnetConsole::wait_readable() {
    for (;;) {
        int wait_ms = -1;
        if (limit_usecs_ != 0) {
            auto left = static_cast<int32_t>(deadline_ - sal_time_usecs());
            if (left <= 0) {
                timed_out_ = true;
                return false;
            }
            wait_ms = std::min(left / 1000 + 1, kLimitCheckMs);
        }
        pollfd p{.fd = fd_, .events = POLLIN, .revents = 0};
        int n = poll(&p, 1, wait_ms);
        if (n > 0) return true;  // data, or the end that recv reports
        if (n < 0 && errno != EINTR) return false;
    }
}

int TelnetConsole::next_byte() {
    if (in_pos_ == in_len_) {
        ssize_t n;
        do {
            if (!wait_readable()) return -1;
            n = recv(fd_, in_, sizeof in_, MSG_DONTWAIT);
        } while (n < 0 && (errno == EINTR || errno == EAGAIN));
        if (n <= 0) return -1;
        in_len_ = static_cast<size_t>(n);
        in_pos_ = 0;
        if (limit_ == Limit::Idle && limit_usecs_ != 0) deadline_ = sal_time_usecs() + limit_usecs_;
    }
    return in_[in_pos_++];
}

void TelnetConsole::answer_option(uint8_t command, uint8_t option) {
    bool *agreed = option == kOptEcho              ? &will_echo_
                   : option == kOptSuppressGoAhead ? &will_sga_
                                                   : nullptr;
    uint8_t reply = 0;
    if (command == kDo) {
        // The answer to this side's own offer needs none; others are refused.
        if (agreed == nullptr || !*agreed) reply = kWont;
    } else if (command == kDont) {
        if (agreed != nullptr && *agreed) {
            *agreed = false;
            reply = kWont;
        }
    } else if (command == kWill) {
        reply = kDont;  // the client's options are all declined
    }
    if (reply == 0) return;
    const char msg[3] = {static_cast<char>(kIac), static_cast<char>(reply),
                         static_cast<char>(option)};
    send_locked(msg, sizeof msg);
}

int TelnetConsole::read_line(char *buf, size_t size) {
    if (buf == nullptr || size == 0) return -1;
    size_t len = 0;
    bool overlong = false;  // characters past size-1 came: the line is refused
    for (;;) {
        int b = next_byte();
        if (b < 0) return -1;
        auto c = static_cast<uint8_t>(b);
        switch (state_) {
            case State::Iac:
                if (c == kWill || c == kWont || c == kDo || c == kDont) {
                    option_command_ = c;
                    state_ = State::Option;
                } else {
                    // The client's interrupt or erase-line drops the line
                    // read so far for good, as the board console's break does.
                    if (c == kIp || c == kEl) len = 0, overlong = false;
                    state_ = c == kSb ? State::Sub : State::Data;
                }
                continue;
            case State::Option:
                answer_option(option_command_, c);
                state_ = State::Data;
                continue;
            case State::Sub:
                if (c == kIac) state_ = State::SubIac;
                continue;
            case State::SubIac:
                state_ = c == kSe ? State::Data : State::Sub;
                continue;
            case State::Data:
                break;
        }
        if (c == kIac) {
            state_ = State::Iac;
            continue;
        }
        if (skip_lf_) {
            skip_lf_ = false;
            if (c == '\n' || c == '\0') continue;
        }
        if (c == '\r' || c == '\n') {
            skip_lf_ = c == '\r';
            if (overlong) {
                // A cut line could run something other than what was typed:
                // nothing of it is taken, and the reader sees an empty line.
                char msg[80];
                const int n =
                    std::snprintf(msg, sizeof msg,
                                  "Error: line longer than %zu characters: not taken\n", size - 1);
                write(msg, static_cast<size_t>(n));
                len = 0;
            }
            buf[len] = '\0';
            return static_cast<int>(len);
        }
        if (c == kCtrlC) {
            len = 0;
            overlong = false;
        } else if ((c == 0x08 || c == 0x7f) && len > 0 && !overlong) {
            len--;
        } else if ((c >= 0x20 && c < 0x7f) || c == '\0') {
            // A NUL typed in the line (not the one after a CR) stays, so
            // that the line is refused whole.
            if (len + 1 < size)
                buf[len++] = static_cast<char>(c);
            else
                overlong = true;
        }
    }
}
