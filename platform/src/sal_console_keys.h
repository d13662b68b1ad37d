// The terminal's keys between lines. While the console edits the terminal
// its driver raises no signals (ISIG off): it would send them to the
// terminal's whole foreground process group, the script that restarts the
// program and the reader of a pipe it writes to among them, while the
// break, suspend and quit keys are the firmware's alone. So a thread reads
// the terminal while no line is read: a signal key acts at once, in the
// order it was typed after the line before it, and the other keys are kept
// for the next line's read, as the driver kept them.
#pragma once

namespace sal_internal {

// What the console does with a signal key typed at the terminal (SIGINT,
// SIGQUIT, SIGTSTP).
using SignalKeyAction = void (*)(int sig);
// Starts reading the terminal between lines; once, when the console takes
// the terminal.
void terminal_keys_watch(SignalKeyAction act);

// A line reader's hold on the terminal's keys: while it is held only the
// holder reads them. Taking it waits for a key being acted on.
class TerminalKeysHold {
  public:
    TerminalKeysHold();
    ~TerminalKeysHold();
    TerminalKeysHold(const TerminalKeysHold &) = delete;
    TerminalKeysHold &operator=(const TerminalKeysHold &) = delete;
};

// Waits up to `ms` for a key: true when one may be taken (a kept one, or
// the terminal has one while this program has its foreground; a terminal
// that went away counts, and the take finds its end).
bool terminal_key_ready(int ms);
// The next key (a byte), kNoKey when there was none after all, or EOF when
// the terminal went away.
constexpr int kNoKey = -2;
int terminal_key_take();

}  // namespace sal_internal
