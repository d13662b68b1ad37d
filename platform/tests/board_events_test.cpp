// The simulated board's model clock follows the platform's clock, and its
// event thread carries frames between ports.
#include <gtest/gtest.h>

#include <chrono>

#include "board_host.h"
#include "sal.h"
#include "sal_host.h"
#include "sim/board.h"
#include "sim/host_binding.h"

namespace {

constexpr sim::MacAddr kA = 0x02000000000aull;

TEST(board_events, ManualPlatformClockAgesTheAddressTable) {
    char error[200] = "";
    ASSERT_EQ(board_host_start("52", "direct", error, sizeof error), 0) << error;
    sim::Board &board = *sim::boundBoard();
    sim::Chip &chip = board.chip();
    sal_clock_manual(1000);
    chip.poke("SWMODE", 0, 0x02);
    chip.poke("SPTAGT", 0, 10);
    board.port(0).linkUp();
    board.port(1).linkUp();
    board.port(0).inject(sim::FrameBuilder().src(kA).build());
    EXPECT_EQ(board.port(1).waitSent(1, std::chrono::seconds(5)).size(), 1u);
    EXPECT_TRUE(chip.tables().lookup(kA, 1));

    // Two ageing passes; a clock that jumps further still runs one pass.
    for (int pass = 0; pass < 2; pass++) {
        EXPECT_TRUE(chip.tables().lookup(kA, 1)) << pass;
        sal_clock_advance(12'500'000);
        ASSERT_TRUE(board.fabric().settle(std::chrono::seconds(5)));
    }
    EXPECT_FALSE(chip.tables().lookup(kA, 1));
    sal_clock_real();
    board_host_stop();
}

// A backlog longer than one slice of the event thread is worked off under
// a manual clock that nobody steps: the thread's pauses to hand the model's
// lock to other threads run on the real clock.
TEST(board_events, ABacklogIsWorkedOffUnderAManualClock) {
    char error[200] = "";
    ASSERT_EQ(board_host_start("52", "direct", error, sizeof error), 0) << error;
    sim::Board &board = *sim::boundBoard();
    sal_clock_manual(1000);
    for (int port = 0; port < 8; port++)
        board.port(port).linkUp();
    for (int n = 0; n < 400; n++)
        board.port(0).inject(sim::FrameBuilder().src(kA + 1 + n % 50).dst(~0ull >> 16).build());
    sal_clock_advance(1'000'000);  // every frame's hops due at once
    EXPECT_TRUE(board.fabric().settle(std::chrono::seconds(20)));
    sal_clock_real();
    board_host_stop();
}

}  // namespace
