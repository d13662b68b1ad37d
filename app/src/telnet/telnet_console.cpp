#include "telnet_console.h"

#include <sys/socket.h>

#include <cerrno>
#include <string>

namespace {

constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                  kSe = 240;

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

TelnetConsole::TelnetConsole(int fd) : fd_(fd) {
    ops_.ctx = this;
    ops_.write = [](void *ctx, const char *buf, size_t len) {
        return static_cast<TelnetConsole *>(ctx)->write(buf, len);
    };
    ops_.read_line = [](void *ctx, char *buf, size_t size) {
        return static_cast<TelnetConsole *>(ctx)->read_line(buf, size);
    };
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
    if (!send_all(fd_, out.data(), out.size())) {
        // The client stopped reading (send time-out) or went away: end the
        // session, whose next read then sees the end of input.
        shutdown(fd_, SHUT_RDWR);
        return -1;
    }
    return static_cast<int>(len);
}

int TelnetConsole::next_byte() {
    if (in_pos_ == in_len_) {
        ssize_t n;
        do {
            n = recv(fd_, in_, sizeof in_, 0);
        } while (n < 0 && errno == EINTR);
        if (n <= 0) return -1;
        in_len_ = static_cast<size_t>(n);
        in_pos_ = 0;
    }
    return in_[in_pos_++];
}

void TelnetConsole::refuse_option(uint8_t command, uint8_t option) {
    // We offer no options: answer "do" with "won't" and "will" with "don't".
    uint8_t reply = command == kDo ? kWont : (command == kWill ? kDont : 0);
    if (reply == 0) return;
    const char msg[3] = {static_cast<char>(kIac), static_cast<char>(reply),
                         static_cast<char>(option)};
    send_all(fd_, msg, sizeof msg);
}

int TelnetConsole::read_line(char *buf, size_t size) {
    if (buf == nullptr || size == 0) return -1;
    size_t len = 0;
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
                    state_ = c == kSb ? State::Sub : State::Data;
                }
                continue;
            case State::Option:
                refuse_option(option_command_, c);
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
            buf[len] = '\0';
            return static_cast<int>(len);
        }
        if ((c == 0x08 || c == 0x7f) && len > 0) {
            len--;
        } else if (c >= 0x20 && c < 0x7f && len + 1 < size) {
            buf[len++] = static_cast<char>(c);  // beyond size-1 the rest is dropped
        }
    }
}
