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

    sal_clock_advance(25'000'000);  // two ageing passes
    ASSERT_TRUE(board.fabric().settle(std::chrono::seconds(5)));
    EXPECT_FALSE(chip.tables().lookup(kA, 1));
    sal_clock_real();
    board_host_stop();
}

}  // namespace
