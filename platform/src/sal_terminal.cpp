// The console's own line editing on a terminal (see sal_terminal.h).
#include "sal_terminal.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "sal_host.h"

namespace sal_internal {

namespace {

// The driver's usual editing keys, until a terminal is found.
termios usual_keys() {
    termios t{};
    t.c_cc[VEOF] = 0x04;
    t.c_cc[VERASE] = 0x7f;
    t.c_cc[VKILL] = 0x15;
    t.c_cc[VWERASE] = 0x17;
    t.c_cc[VREPRINT] = 0x12;
    t.c_cc[VLNEXT] = 0x16;
    return t;
}

// The terminal as it was found, and its editing keys.
termios found = usual_keys();
std::atomic<bool> changed{false};
std::atomic<bool> echo_on{true};

bool is_key(int c, int index) {
    const cc_t key = found.c_cc[index];
    return key != _POSIX_VDISABLE && c == key;
}

// How a key shows: a control key as ^X, as the driver echoes it.
std::string shown(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u == 0x7f) return "^?";
    if (u < 0x20 && c != '\t') return std::string{'^', static_cast<char>(u + 0x40)};
    return std::string(1, c);
}

}  // namespace

bool terminal_edit_begin() {
    static const bool editing = [] {
        if (isatty(STDIN_FILENO) == 0 || tcgetattr(STDIN_FILENO, &found) != 0) return false;
        termios keys = found;
        // The keys are shown as the line is edited, so the driver shows none.
        keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHOE | ECHOK | ECHONL);
        keys.c_cc[VMIN] = 1;
        keys.c_cc[VTIME] = 0;
        if (tcsetattr(STDIN_FILENO, TCSANOW, &keys) != 0) return false;
        // Byte by byte: keys typed ahead stay with the driver, which drops
        // them at a break as it did in its own line mode.
        std::setvbuf(stdin, nullptr, _IONBF, 0);
        echo_on = (found.c_lflag & ECHO) != 0;
        changed = true;
        std::atexit(terminal_restore);
        return true;
    }();
    return editing;
}

void terminal_restore() {
    if (changed.exchange(false)) tcsetattr(STDIN_FILENO, TCSANOW, &found);
}

void terminal_echo_set(bool on) {
    echo_on = on;
}

void terminal_write(const std::string &text) {
    // The driver echoes on the terminal, wherever the output goes.
    if (isatty(STDOUT_FILENO) != 0) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    } else if (write(STDIN_FILENO, text.data(), text.size()) < 0) {
        // Nothing to show it on.
    }
}

std::string terminal_signal_key(int sig) {
    const int index = sig == SIGINT ? VINTR : sig == SIGQUIT ? VQUIT : sig == SIGTSTP ? VSUSP : -1;
    constexpr tcflag_t kShowsKeys = ECHO | ECHOCTL;
    if (index < 0 || !changed.load() || !echo_on.load() ||
        (found.c_lflag & kShowsKeys) != kShowsKeys || found.c_cc[index] == _POSIX_VDISABLE)
        return "";
    return shown(static_cast<char>(found.c_cc[index]));
}

TerminalLine::Key TerminalLine::take(int c) {
    const char key = static_cast<char>(c);
    if (literal_) {
        literal_ = false;
        store(key);
        return Key::more;
    }
    if (c == '\n') {
        show("\n");
        handed_ = true;
        return Key::line;
    }
    if (is_key(c, VEOF)) {
        if (empty()) return Key::end;
        segment_ = len_;
        dropped_ = 0;
        handed_ = true;
        return Key::more;
    }
    if (is_key(c, VERASE) || c == 0x7f || c == '\b') {
        erase_one();
    } else if (is_key(c, VKILL)) {
        while (erase_one()) {
        }
    } else if (is_key(c, VWERASE)) {
        while (!empty() && (last() == ' ' || last() == '\t'))
            erase_one();
        while (!empty() && last() != ' ' && last() != '\t')
            erase_one();
    } else if (is_key(c, VREPRINT)) {
        show("^R\n" + std::string(buf_ + segment_, len_ - segment_));
    } else if (is_key(c, VLNEXT)) {
        literal_ = true;
    } else {
        store(key);
    }
    return Key::more;
}

void TerminalLine::drop() {
    len_ = segment_ = dropped_ = 0;
    handed_ = literal_ = false;
}

void TerminalLine::store(char c) {
    if (len_ + 1 < size_) {
        buf_[len_++] = c;
    } else {
        dropped_++;
    }
    show(shown(c));
}

bool TerminalLine::erase_one() {
    if (empty()) return false;
    size_t width = 1;
    if (dropped_ > 0) {
        dropped_--;
    } else {
        // A character of several bytes goes whole.
        size_t at = len_ - 1;
        while (at > segment_ && (static_cast<unsigned char>(buf_[at]) & 0xC0) == 0x80)
            at--;
        width = shown(buf_[at]).size();
        len_ = at;
    }
    std::string back;
    for (size_t k = 0; k < width; k++)
        back += "\b \b";
    show(back);
    return true;
}

void TerminalLine::show(const std::string &text) {
    if (echo_on.load() && echo_ != nullptr) echo_(text);
}

}  // namespace sal_internal

void sal_host_terminal_edit(void) {
    sal_internal::terminal_edit_begin();
}
