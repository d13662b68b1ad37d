// The simulated board's model clock and event worker: the model reads the
// platform's clock (so the manual test clock drives ageing too), and a
// platform thread runs the model's event queue.
#pragma once

namespace sim {
class Board;
}

// 0, or -1 when the worker thread cannot start.
int board_events_start(sim::Board &board);
// Stops the worker and unbinds the clock; a no-op when none runs.
void board_events_stop(void);
