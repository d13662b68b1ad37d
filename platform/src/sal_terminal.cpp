// The console's own line editing on a terminal (see sal_terminal.h).
#include "sal_terminal.h"

#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "sal_console_output.h"

namespace sal_internal {

namespace {

// The driver's usual editing and signal keys, until a terminal is found.
termios usual_keys() {
    termios t{};
    t.c_iflag = ICRNL;
    t.c_lflag = ISIG;
    t.c_cc[VINTR] = 0x03;
    t.c_cc[VQUIT] = 0x1c;
    t.c_cc[VSUSP] = 0x1a;
    t.c_cc[VEOF] = 0x04;
    t.c_cc[VERASE] = 0x7f;
    t.c_cc[VKILL] = 0x15;
    t.c_cc[VWERASE] = 0x17;
    t.c_cc[VREPRINT] = 0x12;
    t.c_cc[VLNEXT] = 0x16;
    return t;
}

// The terminal as it was found, and its editing keys; written once, before
// `changed` is set, and only read after.
termios found = usual_keys();
termios editing{};  // found, key by key and without the driver's echo
std::atomic<bool> changed{false};
std::atomic<bool> echo_on{true};
std::atomic<bool> echo_chosen{false};  // set by terminal_echo_set before the terminal was taken
std::atomic<size_t> column{0};
// Orders taking the terminal and giving it back.
std::mutex terminal_lock;

// Set by the loop that restarts the program (tools/run-switch.sh), which
// keeps the driver's signal keys off for its whole life: "1" when the user
// had them on, so that they are the firmware's keys although the driver
// sends none, "0" when they were off. The program then leaves them off at its
// end too, and the loop gives the terminal back once it ends: a key typed
// while the firmware restarts waits for the next one and signals nobody.
const char *loop_signal_keys() {
    static const char *held = std::getenv("SWITCHFW_TERMINAL_ISIG");
    return held;
}

// The loop runs as this program's parent. Once it is gone (killed, or hung
// up with the firmware left running) nobody else gives the terminal the
// user's signal keys back.
const pid_t loop_parent = getppid();

bool signal_keys_on() {
    if (const char *held = loop_signal_keys()) return std::string(held) == "1";
    return (found.c_lflag & ISIG) != 0;
}

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

// The column after c shows at `at`; a byte inside a character of several
// takes none.
size_t column_after(size_t at, char c) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '\t') return (at | 7) + 1;
    if ((u & 0xC0) == 0x80) return at;
    return at + shown(c).size();
}

// The terminal's foreground is another process group's. A terminal that is
// not this program's controlling one has no foreground for it.
bool foreground_elsewhere() {
    const pid_t group = tcgetpgrp(STDIN_FILENO);
    return group > 0 && group != getpgrp();
}

// Sets the terminal's modes unless its foreground moved elsewhere meanwhile:
// the job that has it now owns them. Under terminal_lock.
int set_modes_locked(const termios &modes) {
    return foreground_elsewhere() ? -1 : tcsetattr(STDIN_FILENO, TCSANOW, &modes);
}

}  // namespace

bool terminal_edit_begin() {
    if (changed.load()) return true;
    static bool not_terminal = false;
    std::lock_guard<std::mutex> g(terminal_lock);
    if (changed.load()) return true;
    if (not_terminal) return false;
    termios now{};
    if (isatty(STDIN_FILENO) == 0 || tcgetattr(STDIN_FILENO, &now) != 0) {
        not_terminal = true;
        return false;
    }
    // In the background the terminal is the foreground job's.
    if (foreground_elsewhere()) return false;
    found = now;
    editing = now;
    // The keys are shown as the line is edited, so the driver shows none.
    editing.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHOE | ECHOK | ECHONL);
    // The signal keys are the program's: the driver would signal the
    // terminal's whole foreground process group with them.
    editing.c_lflag &= ~static_cast<tcflag_t>(ISIG);
    // Return is mapped here, as the driver did, so that the key after
    // Ctrl-V keeps it as typed.
    editing.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR);
    editing.c_cc[VMIN] = 1;
    editing.c_cc[VTIME] = 0;
    if (set_modes_locked(editing) != 0) {
        not_terminal = !foreground_elsewhere();
        return false;
    }
    // Byte by byte: keys typed ahead stay with the driver, which drops
    // them at a break as it did in its own line mode.
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    if (!echo_chosen.load()) echo_on = (found.c_lflag & ECHO) != 0;
    changed = true;
    static const bool restored_at_exit = std::atexit(terminal_restore) == 0;
    (void)restored_at_exit;
    return true;
}

bool terminal_elsewhere() {
    static const bool terminal = isatty(STDIN_FILENO) != 0;
    return terminal && foreground_elsewhere();
}

int terminal_signal_of(int c) {
    if (!signal_keys_on()) return 0;
    return is_key(c, VINTR) ? SIGINT : is_key(c, VQUIT) ? SIGQUIT : is_key(c, VSUSP) ? SIGTSTP : 0;
}

bool terminal_literal_next(int c) {
    return is_key(c, VLNEXT);
}

bool terminal_flushes_at_signal() {
    return (found.c_lflag & NOFLSH) == 0;
}

void terminal_restore() {
    std::lock_guard<std::mutex> g(terminal_lock);
    if (!changed.exchange(false)) return;
    termios back = found;
    // Off while the loop goes on, as the user had them once it is gone.
    if (const char *held = loop_signal_keys()) {
        if (getppid() == loop_parent) {
            back.c_lflag &= ~static_cast<tcflag_t>(ISIG);
        } else if (std::string(held) == "1") {
            back.c_lflag |= ISIG;
        }
    }
    set_modes_locked(back);
}

void terminal_echo_set(bool on) {
    echo_on = on;
    echo_chosen = true;
}

void terminal_output_seen(const char *text, size_t len) {
    size_t at = column.load();
    for (size_t i = 0; i < len; i++) {
        const char c = text[i];
        if (c == '\n' || c == '\r') {
            at = 0;
        } else if (c == '\b') {
            at = at > 0 ? at - 1 : 0;
        } else {
            at = column_after(at, c);
        }
    }
    column = at;
}

size_t terminal_column() {
    return column.load();
}

bool terminal_shows_output() {
    static const bool shows = isatty(STDOUT_FILENO) != 0;
    return shows;
}

bool terminal_sees_output() {
    static const bool sees = [] {
        struct stat st {};
        if (terminal_shows_output()) return true;
        return fstat(STDOUT_FILENO, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode));
    }();
    return sees;
}

void terminal_write(const std::string &text) {
    // The driver echoes on the terminal, wherever the output goes.
    console_output_queue(terminal_shows_output() ? ConsoleSink::output : ConsoleSink::terminal,
                         text.data(), text.size());
    terminal_output_seen(text.data(), text.size());
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
    if (literal_) {
        literal_ = false;
        store(static_cast<char>(c));
        return Key::more;
    }
    if (c == '\r') {
        if ((found.c_iflag & IGNCR) != 0) return Key::more;
        if ((found.c_iflag & ICRNL) != 0) c = '\n';
    } else if (c == '\n' && (found.c_iflag & INLCR) != 0) {
        c = '\r';
    }
    const char key = static_cast<char>(c);
    if ((signal_ = terminal_signal_of(c)) != 0) return Key::signal;
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
        start_at_ = segment_;
        start_column_ = 0;
    } else if (terminal_literal_next(c)) {
        literal_ = true;
    } else {
        store(key);
    }
    return Key::more;
}

void TerminalLine::drop(size_t column) {
    len_ = segment_ = dropped_ = start_at_ = 0;
    start_column_ = column;
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
        if (buf_[at] == '\t') {
            // A tab showed as blank space up to a tab stop: back up over it
            // to the column where it began.
            const size_t from = column_at(at);
            std::string back(column_at(len_) - from, '\b');
            len_ = at;
            show(back);
            return true;
        }
        width = shown(buf_[at]).size();
        len_ = at;
    }
    std::string back;
    for (size_t k = 0; k < width; k++)
        back += "\b \b";
    show(back);
    return true;
}

size_t TerminalLine::column_at(size_t end) const {
    size_t at = start_column_;
    for (size_t i = start_at_; i < end; i++)
        at = column_after(at, buf_[i]);
    return at;
}

void TerminalLine::show(const std::string &text) {
    if (echo_on.load() && echo_ != nullptr) echo_(text);
}

}  // namespace sal_internal
