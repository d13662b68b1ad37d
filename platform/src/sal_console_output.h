// The board console's output, written by a thread of its own. A serial
// terminal paused with Ctrl-S, a pty nobody reads or a full pipe would
// otherwise block every thread that prints, the web server and the SNMP
// agent among them, while they hold their own locks. Text that cannot be
// written yet waits in a bounded queue; what the queue cannot hold is
// dropped, counted, and the count printed once there is room again, as the
// kernel's own console does.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sal_internal {

// Where queued text goes: the program's standard output, or the terminal
// its keys are typed at when standard output is elsewhere (their echo).
enum class ConsoleSink { output, terminal };

// Queues the text in order behind what was queued before; never waits for
// the output.
void console_output_queue(ConsoleSink sink, const char *text, size_t len);
// Waits up to `usecs` for everything queued to be written: true when it was.
// It gives up sooner once a write has taken nothing for kConsoleStalledUsecs.
bool console_output_drain(uint64_t usecs);
// How long the program's end waits for the queue: a reader that stopped for
// good cannot keep the program from ending.
constexpr uint64_t kConsoleDrainAtExitUsecs = 5000000;
// A write that took nothing for this long has a reader that stopped.
constexpr uint64_t kConsoleStalledUsecs = 1000000;

}  // namespace sal_internal
