// Console output and input, the console switch, debug flags and the log file.
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "sal.h"
#include "sal_fs.h"
#include "sal_host.h"
#include "sal_console_keys.h"
#include "sal_console_output.h"
#include "sal_terminal.h"

namespace {

// Queued for the console's own writer: a terminal or pipe that is not read
// holds up no thread that prints.
int stdio_write(void *, const char *buf, size_t len) {
    sal_internal::console_output_queue(sal_internal::ConsoleSink::output, buf, len);
    if (sal_internal::terminal_sees_output()) sal_internal::terminal_output_seen(buf, len);
    return static_cast<int>(len);
}

// Set by a read that found the end of standard input: whether that end was
// final. Only the console thread reads standard input.
std::atomic<bool> stdin_closed{false};

// Breaks taken while the board's console waited for a line.
std::atomic<uint32_t> prompt_breaks{0};
// Reads of the board's console that ended (sal_console_lines_read).
std::atomic<uint32_t> lines_read{0};
// A break ends the waiting read (sal_console_break_ends_read).
std::atomic<bool> break_ends_read{false};

// Waits until standard input has a byte for fgetc: false when a break came
// first. Only a read that a break ends waits for the input here; stdio's
// own buffer counts as input. A terminal whose foreground is another job's
// (this program was started or put in the background) is not read at all
// until the program is brought to the foreground: a read would take the
// keys typed at the shell.
bool stdin_ready_or_break(uint32_t breaks) {
    for (;;) {
        const bool ends = break_ends_read.load();
        if (ends && prompt_breaks.load() != breaks) return false;
        if (sal_internal::terminal_elsewhere()) {
            poll(nullptr, 0, 100);
            continue;
        }
        if (!ends || stdin->_IO_read_ptr < stdin->_IO_read_end) return true;
        pollfd p{STDIN_FILENO, POLLIN, 0};
        if (poll(&p, 1, 100) != 0) return true;  // input, an end or an error: fgetc says
    }
}

// The prompt of the line the board's console waits for, shown again when a
// break drops what was typed; empty while no read waits. prompt_lock also
// orders a break against the end of a read: a break either comes while the
// read goes on, and the read drops what came before it, or after, and a
// command gets it.
pthread_mutex_t prompt_lock = PTHREAD_MUTEX_INITIALIZER;
bool board_reading = false;
uint32_t board_read_breaks = 0;  // prompt_breaks when the read was marked
std::string board_prompt;
std::string board_line_prompt;  // shown instead while a line goes on

// Ends a read of the board's console unless a break came since `breaks`
// (the count when the read last took a byte): then the read starts anew
// and false.
bool board_read_end(uint32_t *breaks) {
    pthread_mutex_lock(&prompt_lock);
    const uint32_t now = prompt_breaks.load();
    const bool ends = now == *breaks;
    if (ends) {
        board_reading = false;
        lines_read++;
    } else {
        *breaks = now;
    }
    pthread_mutex_unlock(&prompt_lock);
    return ends;
}

// A Ctrl-D at a terminal ends a read but not the terminal; a terminal that
// went away reports an error or a hang-up, and a pipe's end is final.
bool stdin_end_is_final() {
    if (std::ferror(stdin) != 0 || isatty(STDIN_FILENO) == 0) return true;
    pollfd p{STDIN_FILENO, POLLIN, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// The break count a read starts from: the one at its mark, so that a break
// between the mark and the first look at the input counts for the read.
uint32_t read_start_breaks() {
    pthread_mutex_lock(&prompt_lock);
    const uint32_t breaks = board_reading ? board_read_breaks : prompt_breaks.load();
    pthread_mutex_unlock(&prompt_lock);
    return breaks;
}

// Serialises lines written to the board's console and the log file.
pthread_mutex_t console_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;

// Keys echoed as the terminal's line is edited, between whole lines of
// output.
void terminal_echo(const std::string &text) {
    pthread_mutex_lock(&console_lock);
    sal_internal::terminal_write(text);
    pthread_mutex_unlock(&console_lock);
}

// What the console does with its signal keys: a break during a command
// stops it, the quit key ends the program (sal_host_console_keys_set).
std::atomic<void (*)(void)> command_break_hook{nullptr};
std::atomic<void (*)(void)> quit_hook{nullptr};

// A break, suspend or quit key: typed at the terminal, shown as its driver
// shows it, or its signal sent by another program, which shows nothing.
void console_key(int sig, bool typed) {
    // The key and the line it ends show together: a command's output comes
    // before them or after, never in between.
    pthread_mutex_lock(&console_lock);
    const std::string key = typed ? sal_internal::terminal_signal_key(sig) : "";
    if (!key.empty()) terminal_echo(key);
    bool at_prompt = false;
    if (sig != SIGQUIT) {
        at_prompt = sal_console_break_at_prompt() != 0;
        // During a command the break stops it and the suspend key stops
        // nothing; the line either key showed on ends. The key's echo went
        // to the terminal itself when the output goes elsewhere: its line
        // ends there too, as the command's output that a pipe's reader
        // shows later could come between the two.
        if (!at_prompt && !key.empty() && !sal_internal::terminal_shows_output())
            terminal_echo("\n");
        else if (!at_prompt && (sig == SIGINT || typed))
            sal_board_printf("\n");
    }
    pthread_mutex_unlock(&console_lock);
    if (sig == SIGQUIT) {
        if (auto quit = quit_hook.load(); quit != nullptr) quit();
    } else if (sig == SIGINT && !at_prompt) {
        if (auto stop = command_break_hook.load(); stop != nullptr) stop();
    }
}

void console_key_typed(int sig) {
    console_key(sig, true);
}

// Takes the terminal on standard input, when it is in this program's
// foreground, and reads its keys between lines from then on.
bool console_takes_terminal() {
    if (!sal_internal::terminal_edit_begin()) return false;
    sal_internal::terminal_keys_watch(console_key_typed);
    return true;
}

// Waits for a key of the terminal, or for a break that ends the read.
bool terminal_key_or_break(uint32_t breaks) {
    constexpr int kLookMs = 100;
    for (;;) {
        if (break_ends_read.load() && prompt_breaks.load() != breaks) return false;
        if (sal_internal::terminal_key_ready(kLookMs)) return true;
    }
}

// A line typed at a terminal, which the console edits itself: a break, an
// end and a line that ended as a break came are taken as the pipe's reader
// below takes them. Only this read takes the terminal's keys until the line
// has ended.
int terminal_read_line(char *buf, size_t size) {
    using Key = sal_internal::TerminalLine::Key;
    sal_internal::TerminalKeysHold hold;
    sal_internal::TerminalLine line(buf, size, terminal_echo, sal_internal::terminal_column());
    int c = EOF;
    Key key = Key::more;
    uint32_t breaks = read_start_breaks();
    for (;;) {
        while (terminal_key_or_break(breaks)) {
            c = sal_internal::terminal_key_take();
            if (c == sal_internal::kNoKey) continue;
            if (c == EOF) break;
            if (const uint32_t now = prompt_breaks.load(); now != breaks) {
                breaks = now;
                line.drop(sal_internal::terminal_column());
            }
            if ((key = line.take(c)) == Key::signal) {
                console_key_typed(line.signal());
                key = Key::more;
            }
            if (key != Key::more) break;
        }
        if (break_ends_read.load() && prompt_breaks.load() != breaks) {
            buf[0] = '\0';
            return -1;
        }
        if (board_read_end(&breaks)) break;
        line.drop(sal_internal::terminal_column());
        if (c == EOF || key == Key::end) break;
        key = Key::more;
    }
    buf[line.length()] = '\0';
    if (c == EOF) stdin_closed = stdin_end_is_final();  // the terminal went away
    if (key != Key::line && !line.handed_over()) return -1;
    return static_cast<int>(line.length());
}

int stdio_read_line(void *, char *buf, size_t size) {
    if (buf == nullptr || size == 0) return -1;
    // The terminal's keys may already wait with the console (read while a
    // command ran): the terminal's reader takes them first.
    if (console_takes_terminal()) return terminal_read_line(buf, size);
    // A terminal is taken once this program has its foreground.
    if (!stdin_ready_or_break(read_start_breaks())) {
        buf[0] = '\0';
        return -1;
    }
    if (console_takes_terminal()) return terminal_read_line(buf, size);
    size_t len = 0;
    int c = EOF;
    bool any = false;
    uint32_t breaks = read_start_breaks();
    for (;;) {
        while (stdin_ready_or_break(breaks) && (c = std::fgetc(stdin)) != EOF) {
            // A Ctrl-D hands the terminal's half line over before a break:
            // the break drops that part as the driver drops the rest.
            if (const uint32_t now = prompt_breaks.load(); now != breaks) {
                breaks = now;
                len = 0;
            }
            any = true;
            if (c == '\n') break;
            if (len + 1 < size) buf[len++] = static_cast<char>(c);  // excess is dropped
        }
        // A break that ends the read (the Stop-on-Error menu) answers nothing.
        if (break_ends_read.load() && prompt_breaks.load() != breaks) {
            buf[0] = '\0';
            return -1;
        }
        if (board_read_end(&breaks)) break;
        // A break after the last byte dropped the whole line, whatever key
        // ended the read: an end of input then comes on an empty line (a
        // Ctrl-D after the break at the prompt is one on its own), and a
        // line that ended meanwhile is read anew.
        len = 0;
        any = false;
        if (c == EOF) break;
    }
    buf[len] = '\0';
    // stdio keeps the end-of-file flag once set: a Ctrl-D on a terminal ends
    // one read (SAVE's text, an answer), not every read after it. A closed
    // pipe still ends each read at once.
    if (c == EOF) {
        stdin_closed = stdin_end_is_final();
        std::clearerr(stdin);
    }
    if (!any) return -1;
    if (len > 0 && buf[len - 1] == '\r') buf[--len] = '\0';
    return static_cast<int>(len);
}

int stdio_echo_set(void *, int on) {
    // In the background the terminal's modes are the foreground job's; the
    // console shows keys as asked once it edits there.
    if (console_takes_terminal() || sal_internal::terminal_elsewhere()) {
        sal_internal::terminal_echo_set(on != 0);
        return 0;
    }
    // Only a terminal echoes; a pipe or file has nothing to hide.
    termios t;
    if (isatty(STDIN_FILENO) == 0 || tcgetattr(STDIN_FILENO, &t) != 0) return -1;
    if (on) {
        t.c_lflag |= ECHO;
    } else {
        t.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    }
    return tcsetattr(STDIN_FILENO, TCSANOW, &t) == 0 ? 0 : -1;
}

int stdio_input_closed(void *) {
    return stdin_closed.load() ? 1 : 0;
}

const sal_console_ops stdio_console{.ctx = nullptr,
                                    .write = stdio_write,
                                    .read_line = stdio_read_line,
                                    .echo_set = stdio_echo_set,
                                    .input_closed = stdio_input_closed};

std::atomic<const sal_console_ops *> board_console{&stdio_console};

thread_local const sal_console_ops *bound_console = nullptr;

const sal_console_ops *current_console() {
    return bound_console != nullptr ? bound_console : board_console.load();
}

// Shared by the bound consoles that bring no lock of their own.
pthread_mutex_t shared_console_lock = PTHREAD_RECURSIVE_MUTEX_INITIALIZER_NP;

struct ConsoleLock {
    ConsoleLock() { pthread_mutex_lock(&console_lock); }
    ~ConsoleLock() { pthread_mutex_unlock(&console_lock); }
};

// The board's console, a console's own lock, or the shared one.
class OutputLock {
  public:
    explicit OutputLock(const sal_console_ops *c) {
        if (c != board_console.load() && c->lock != nullptr) {
            own_ = c->lock;
            sal_mutex_take(own_, sal_mutex_FOREVER);
        } else {
            shared_ = c == board_console.load() ? &console_lock : &shared_console_lock;
            pthread_mutex_lock(shared_);
        }
    }
    ~OutputLock() {
        if (own_ != nullptr) {
            sal_mutex_give(own_);
        } else {
            pthread_mutex_unlock(shared_);
        }
    }
    OutputLock(const OutputLock &) = delete;
    OutputLock &operator=(const OutputLock &) = delete;

  private:
    sal_mutex_t own_ = nullptr;
    pthread_mutex_t *shared_ = nullptr;
};

std::atomic<uint32_t> debug_flags{0};

void board_read_mark(bool reading, const std::string &prompt) {
    pthread_mutex_lock(&prompt_lock);
    board_reading = reading;
    board_read_breaks = prompt_breaks.load();
    board_prompt = prompt;
    pthread_mutex_unlock(&prompt_lock);
}

// The console switch and the log file belong to one console: a telnet
// session's "console off" or LOG leaves the board's console and the other
// sessions alone. Under console_lock.
struct ConsoleState {
    int enabled = 1;
    FILE *log_file = nullptr;
    bool log_on = false;
};
ConsoleState board_state;
std::map<const sal_console_ops *, ConsoleState> session_states;

ConsoleState &state_of(const sal_console_ops *c) {
    return c == board_console.load() ? board_state : session_states[c];
}

std::string format(const char *fmt, va_list ap) {
    va_list copy;
    va_copy(copy, ap);
    char small[512];
    int n = std::vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0) return {};
    if (static_cast<size_t>(n) < sizeof small) return std::string(small, static_cast<size_t>(n));
    std::string out(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(out.data(), out.size(), fmt, ap);
    out.resize(static_cast<size_t>(n));
    return out;
}

int write_to(const sal_console_ops *c, const char *buf, size_t len) {
    OutputLock g(c);
    return c->write(c->ctx, buf, len);
}

// Shown on the console unless it is switched off (always when forced), and
// written to its log file.
int emit(const std::string &text, const sal_console_ops *console, bool forced) {
    bool show;
    {
        ConsoleLock g;
        show = forced || state_of(console).enabled != 0;
    }
    if (show) write_to(console, text.data(), text.size());
    ConsoleLock g;
    const ConsoleState &st = state_of(console);
    if (st.log_on && st.log_file != nullptr) {
        std::fwrite(text.data(), 1, text.size(), st.log_file);
        std::fflush(st.log_file);
    }
    return static_cast<int>(text.size());
}

}  // namespace

const sal_console_ops *sal_console_bind(const sal_console_ops *ops) {
    const sal_console_ops *prev = bound_console;
    bound_console = ops;
    return prev;
}

const sal_console_ops *sal_console_bound(void) {
    return bound_console;
}

const sal_console_ops *sal_console_default(void) {
    return board_console.load();
}

const sal_console_ops *sal_console_default_set(const sal_console_ops *ops) {
    return board_console.exchange(ops != nullptr ? ops : &stdio_console);
}

int sal_console_write(const char *buf, size_t len) {
    return write_to(current_console(), buf, len);
}

int sal_console_read_line(char *buf, size_t size) {
    const sal_console_ops *c = current_console();
    return c->read_line(c->ctx, buf, size);
}

int sal_console_input_closed(void) {
    const sal_console_ops *c = current_console();
    return c->input_closed != nullptr ? c->input_closed(c->ctx) : 1;
}

int sal_console_echo_set(int on) {
    const sal_console_ops *c = current_console();
    return c->echo_set != nullptr ? c->echo_set(c->ctx, on) : -1;
}

int sal_vprintf(const char *fmt, va_list ap) {
    return emit(format(fmt, ap), current_console(), false);
}

int sal_printf(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    int n = sal_vprintf(fmt, ap);
    va_end(ap);
    return n;
}

int sal_console_printf(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string text = format(fmt, ap);
    va_end(ap);
    return emit(text, current_console(), true);
}

int sal_board_printf(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string text = format(fmt, ap);
    va_end(ap);
    return emit(text, board_console.load(), true);
}

int sal_printf_console(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::string text = format(fmt, ap);
    va_end(ap);
    return emit(text, current_console(), true);
}

int sal_debug_printf(uint32_t flags, const char *fmt, ...) {
    if ((debug_flags.load() & flags) != flags) return 0;
    va_list ap;
    va_start(ap, fmt);
    int n = sal_vprintf(fmt, ap);
    va_end(ap);
    return n;
}

uint32_t sal_debug_flags_set(uint32_t word) {
    return debug_flags.exchange(word);
}

uint32_t sal_debug_flags_add(uint32_t bits) {
    return debug_flags.fetch_or(bits);
}

int sal_console_enable_get(void) {
    ConsoleLock g;
    return state_of(current_console()).enabled;
}

int sal_board_console_enable_get(void) {
    ConsoleLock g;
    return board_state.enabled;
}

int sal_console_enable_set(int on) {
    ConsoleLock g;
    ConsoleState &st = state_of(current_console());
    int was = st.enabled;
    st.enabled = on ? 1 : 0;
    return was;
}

void sal_console_release(const sal_console_ops *ops) {
    FILE *log = nullptr;
    {
        ConsoleLock g;
        auto it = session_states.find(ops);
        if (it == session_states.end()) return;
        log = it->second.log_file;
        session_states.erase(it);
    }
    if (log != nullptr) sal_fclose(log);
}

void sal_host_terminal_edit(void) {
    console_takes_terminal();
}

void sal_host_console_keys_set(void (*command_break)(void), void (*quit)(void)) {
    command_break_hook = command_break;
    quit_hook = quit;
}

void sal_host_console_key(int sig, int typed) {
    console_key(sig, typed != 0);
}

int sal_console_break_at_prompt(void) {
    pthread_mutex_lock(&prompt_lock);
    const bool reading = board_reading;
    const std::string prompt = board_line_prompt.empty() ? board_prompt : board_line_prompt;
    if (reading) prompt_breaks++;
    pthread_mutex_unlock(&prompt_lock);
    if (!reading) return 0;
    // A break that ends the read shows a new line; otherwise the terminal's
    // driver has dropped the line typed so far, and the prompt shows again.
    emit(break_ends_read.load() ? "\n" : "\n" + prompt, board_console.load(), true);
    return 1;
}

uint32_t sal_console_prompt_breaks(void) {
    return prompt_breaks.load();
}

uint32_t sal_console_lines_read(void) {
    return lines_read.load();
}

int sal_console_output_flush(void) {
    return sal_internal::console_output_drain(sal_internal::kConsoleDrainAtExitUsecs) ? 0 : -1;
}

void sal_console_break_ends_read(int on) {
    break_ends_read.store(on != 0);
}

void sal_console_line_prompt_set(const char *prompt) {
    pthread_mutex_lock(&prompt_lock);
    board_line_prompt = prompt != nullptr ? prompt : "";
    pthread_mutex_unlock(&prompt_lock);
}

char *diag_readline(const char *prompt, char *buf, int size, const char *dflt) {
    if (buf == nullptr || size <= 0) return nullptr;
    std::string shown;
    if (prompt != nullptr)
        shown = dflt != nullptr ? std::string(prompt) + " [" + dflt + "] " : prompt;
    // The read is marked before its prompt shows: a break typed as soon as
    // the prompt is seen is the read's (it drops the line, or ends a read a
    // break ends), not a command's that no longer looks for one.
    const bool board = current_console() == board_console.load();
    int n;
    const char *refused = "";
    for (;;) {
        if (board) board_read_mark(true, shown);
        if (*refused != '\0' || !shown.empty()) sal_console_printf("%s%s", refused, shown.c_str());
        n = sal_console_read_line(buf, static_cast<size_t>(size));
        if (board) board_read_mark(false, std::string());
        if (n < 0) return nullptr;
        // Text after a NUL byte would be lost and the part before it taken
        // for the whole line: such a line is refused whole, as an overlong
        // one is, and read anew.
        if (std::strlen(buf) >= static_cast<size_t>(n)) break;
        refused = "Error: line holds a NUL byte: not taken\n";
    }
    if (n == 0 && dflt != nullptr) std::snprintf(buf, static_cast<size_t>(size), "%s", dflt);
    return buf;
}

int sal_readchar(const char *prompt) {
    char line[64];
    if (diag_readline(prompt, line, sizeof line, nullptr) == nullptr) return -1;
    return static_cast<unsigned char>(line[0]);
}

// The name is one of the file system's, never a host path. Files are opened
// and closed outside the console lock: the file system prints under its own.
int sal_log_file_set(const char *name, int append) {
    FILE *opened = name != nullptr ? sal_fopen(name, append ? "a" : "w") : nullptr;
    FILE *old;
    {
        ConsoleLock g;
        ConsoleState &st = state_of(current_console());
        old = st.log_file;
        st.log_file = opened;
        st.log_on = opened != nullptr;
    }
    if (old != nullptr) sal_fclose(old);
    return name != nullptr && opened == nullptr ? -1 : 0;
}

int sal_log_enable(int on) {
    ConsoleLock g;
    ConsoleState &st = state_of(current_console());
    if (st.log_file == nullptr) return -1;
    st.log_on = on != 0;
    return 0;
}

int sal_log_enabled(void) {
    ConsoleLock g;
    const ConsoleState &st = state_of(current_console());
    return st.log_file != nullptr && st.log_on ? 1 : 0;
}
