// The console's own line editing on a terminal. In canonical mode the host's
// line discipline keeps only 4095 characters of a line and drops the rest
// unseen, so a line cut there would run as if typed so; the console reads
// the terminal key by key instead and edits the line itself, as the driver
// would. The signal keys (break, quit, suspend) stay the driver's.
#pragma once

#include <cstddef>
#include <string>

namespace sal_internal {

// Puts standard input, when it is a terminal, into key-by-key mode on the
// first call: true when the console edits the terminal's lines itself.
bool terminal_edit_begin();
// Gives the terminal back as it was found, at the program's end.
void terminal_restore();
// Whether typed keys are shown (off while a password is typed).
void terminal_echo_set(bool on);
// Shows echoed keys on the terminal.
void terminal_write(const std::string &text);
// The key of a signal (SIGINT, SIGQUIT, SIGTSTP) as the driver echoes it in
// its own line mode ("^C"), or "" where it would echo nothing: no terminal
// edited here, echo off, or the key disabled.
std::string terminal_signal_key(int sig);

// One line typed at the terminal, edited as the driver edits in canonical
// mode: erase, kill, word erase, reprint and literal next act on the part
// not yet handed over; a Ctrl-D hands the part over, or ends the input when
// there is none; Enter ends the line. What does not fit the buffer is
// counted, not kept, so that the line reads as longer than the buffer holds.
class TerminalLine {
  public:
    enum class Key { more, line, end };
    using Echo = void (*)(const std::string &text);
    TerminalLine(char *buf, size_t size, Echo echo) : buf_(buf), size_(size), echo_(echo) {}
    Key take(int c);
    // A break dropped everything read so far.
    void drop();
    size_t length() const { return len_; }
    // Whether a line or a part of one was handed over, as a read of the
    // driver would have returned it.
    bool handed_over() const { return handed_; }

  private:
    void store(char c);
    bool erase_one();
    char last() const { return dropped_ > 0 ? 'x' : buf_[len_ - 1]; }
    bool empty() const { return len_ == segment_ && dropped_ == 0; }
    void show(const std::string &text);

    char *buf_;
    size_t size_;
    Echo echo_;
    size_t len_ = 0;
    size_t segment_ = 0;  // where the part not handed over starts
    size_t dropped_ = 0;  // typed past the buffer, in this part
    bool handed_ = false;
    bool literal_ = false;
};

}  // namespace sal_internal
