// The console's own line editing on a terminal. In canonical mode the host's
// line discipline keeps only 4095 characters of a line and drops the rest
// unseen, so a line cut there would run as if typed so; the console reads
// the terminal key by key instead and edits the line itself, as the driver
// would. The driver raises no signals meanwhile: the console takes the
// signal keys (break, quit, suspend) itself, so that they are the
// program's alone and a key after the literal-next key is taken as typed.
// A program whose process group is not the terminal's foreground one (started
// with "&") leaves the terminal alone: it neither reads it nor changes its
// settings until it is brought to the foreground.
#pragma once

#include <cstddef>
#include <string>

namespace sal_internal {

// Puts standard input, when it is a terminal in this program's foreground,
// into key-by-key mode: true when the console edits the terminal's lines
// itself (from then on).
bool terminal_edit_begin();
// True while standard input is a terminal whose foreground is another
// process group's (a shell's job control put this program in the background).
bool terminal_elsewhere();
// The signal a key stands for (SIGINT, SIGQUIT, SIGTSTP) where the driver
// found raised signals; 0 for any other key.
int terminal_signal_of(int c);
// Whether the key takes the key after it as typed.
bool terminal_literal_next(int c);
// Whether a signal key drops the keys typed before it, as the driver did.
bool terminal_flushes_at_signal();
// Gives the terminal back as it was found, at the program's end.
void terminal_restore();
// Whether typed keys are shown (off while a password is typed).
void terminal_echo_set(bool on);
// Shows echoed keys on the terminal.
void terminal_write(const std::string &text);
// Whether standard output shows on the terminal (not redirected to a file
// or a pipe): then the console's output moves the terminal's column too.
bool terminal_shows_output();
// Whether the terminal shows standard output where the console's column is
// concerned: a terminal does, and so does a pipe's reader such as `| tee`,
// whose copy of the prompt the typed line follows on the terminal (a file
// shows nothing there).
bool terminal_sees_output();
// Output written to the terminal, and the column it leaves the cursor in
// (the driver's own count: tabs to the next multiple of 8, a line ends at
// a newline or carriage return).
void terminal_output_seen(const char *text, size_t len);
size_t terminal_column();
// The key of a signal (SIGINT, SIGQUIT, SIGTSTP) as the driver echoes it in
// its own line mode ("^C"), or "" where it would echo nothing: no terminal
// edited here, echo off, or the key disabled.
std::string terminal_signal_key(int sig);

// One line typed at the terminal, edited as the driver edits in canonical
// mode: erase, kill, word erase, reprint and literal next act on the part
// not yet handed over; a Ctrl-D hands the part over, or ends the input when
// there is none; Enter ends the line; a signal key (after no literal next)
// is handed back to be raised. What does not fit the buffer is counted, not
// kept, so that the line reads as longer than the buffer holds. The line
// starts at a column of the screen: erasing a tab backs up to where it began.
class TerminalLine {
  public:
    enum class Key { more, line, end, signal };
    using Echo = void (*)(const std::string &text);
    TerminalLine(char *buf, size_t size, Echo echo, size_t column = 0)
        : buf_(buf), size_(size), echo_(echo), start_column_(column) {}
    Key take(int c);
    // The signal of the last key taken as Key::signal (SIGINT, SIGQUIT, SIGTSTP).
    int signal() const { return signal_; }
    // A break dropped everything read so far; the line starts anew at the column.
    void drop(size_t column = 0);
    size_t length() const { return len_; }
    // Whether a line or a part of one was handed over, as a read of the
    // driver would have returned it.
    bool handed_over() const { return handed_; }

  private:
    void store(char c);
    bool erase_one();
    char last() const { return dropped_ > 0 ? 'x' : buf_[len_ - 1]; }
    bool empty() const { return len_ == segment_ && dropped_ == 0; }
    // The screen column after buf_[0..end), as the driver counts it.
    size_t column_at(size_t end) const;
    void show(const std::string &text);

    char *buf_;
    size_t size_;
    Echo echo_;
    size_t len_ = 0;
    size_t segment_ = 0;  // where the part not handed over starts
    size_t dropped_ = 0;  // typed past the buffer, in this part
    bool handed_ = false;
    bool literal_ = false;
    int signal_ = 0;
    size_t start_column_;  // the screen column where buf_[start_at_] shows
    size_t start_at_ = 0;
};

}  // namespace sal_internal
