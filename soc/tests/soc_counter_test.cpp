// The counter collector over the chip model's MIB counters, driven by syncs
// on the manual clock.
#include "drv_counter.h"
#include "sal_host.h"
#include "soc_error.h"
#include "unit_fixture.h"

namespace {

constexpr int kPort = 3;

class soc_counter : public soc_test::UnitTest {
  protected:
    void SetUp() override {
        sal_clock_manual(1000000);
        start(sim::ChipKind::DXP7102A1);
    }
    void TearDown() override {
        sal_clock_real();  // tear-down waits (the L2 thread's stop) run on the real clock
        soc_test::UnitTest::TearDown();
    }
    int startCollecting(int interval) {
        soc_pbmp_t bmp{};
        soc_pbmp_port_add(&bmp, kPort);
        return soc_tarn_counter_start(0, 0, interval, bmp);
    }
    uint64_t total(int reg) {
        uint64_t v = ~0ull;
        EXPECT_EQ(soc_tarn_counter_read(0, kPort, reg, &v), 0);
        return v;
    }
    sim::Chip &chip() { return board->chip(); }
};

TEST_F(soc_counter, TotalsGrowByTheHardwareDifferencesAcrossWraps) {
    chip().mibSet("RXOCTETS", kPort, 0x123456789ull);
    chip().mibSet("RXUNICASTPKTS", kPort, 0xfffffff0u);
    ASSERT_EQ(startCollecting(1000000), 0);
    ASSERT_EQ(soc_tarn_counter_sync(0), 0);
    EXPECT_EQ(total(R_RXOCTETS), 0u);  // the values before the start only prime
    EXPECT_EQ(total(R_RXUNICASTPKTS), 0u);

    chip().mibSet("RXUNICASTPKTS", kPort, 0x10);
    chip().mibAdd("RXOCTETS", kPort, 100);
    chip().mibAdd("TXPAUSEPKTS", kPort, 7);  // the port is not in full duplex
    ASSERT_EQ(soc_tarn_counter_sync(0), 0);
    EXPECT_EQ(total(R_RXUNICASTPKTS), 0x20u);
    EXPECT_EQ(total(R_RXOCTETS), 100u);
    EXPECT_EQ(total(R_TXPAUSEPKTS), 0u);

    uint64_t v = 0;
    EXPECT_EQ(soc_tarn_counter_read_clear(0, kPort, R_RXUNICASTPKTS, &v), 0);
    EXPECT_EQ(v, 0x20u);
    EXPECT_EQ(total(R_RXUNICASTPKTS), 0u);
    // Only the collector reads the chip; readers see the totals.
    chip().mibAdd("RXUNICASTPKTS", kPort, 5);
    EXPECT_EQ(total(R_RXUNICASTPKTS), 0u);
}

TEST_F(soc_counter, RateIsTheLastDifferencePerSecond) {
    ASSERT_EQ(startCollecting(10000000), 0);
    ASSERT_EQ(soc_tarn_counter_sync(0), 0);
    chip().mibAdd("TXUNICASTPKTS", kPort, 5000);
    sal_clock_advance(2000000);
    ASSERT_EQ(soc_tarn_counter_sync(0), 0);
    uint64_t rate = 0;
    EXPECT_EQ(soc_tarn_counter_rate_get(0, kPort, R_TXUNICASTPKTS, &rate), 0);
    EXPECT_EQ(rate, 2500u);
    // Within 100 microseconds of the last pass there is no rate.
    ASSERT_EQ(soc_tarn_counter_sync(0), 0);
    EXPECT_EQ(soc_tarn_counter_rate_get(0, kPort, R_TXUNICASTPKTS, &rate), 0);
    EXPECT_EQ(rate, 0u);

    ASSERT_EQ(soc_tarn_counter_stop(0), 0);
    EXPECT_EQ(soc_tarn_counter_sync(0), SOC_E_DISABLED);
    EXPECT_EQ(total(R_TXUNICASTPKTS), 5000u);  // stopping keeps the totals
}

TEST_F(soc_counter, ARegisterThatIsNoCounterIsReportedAndReadsZero) {
    uint64_t v = 7;
    EXPECT_EQ(soc_tarn_counter_get(0, kPort, R_GMNGCFG, 0, &v), 0);
    EXPECT_EQ(v, 0u);
    EXPECT_NE(printed().find("ctr_reg 299 (GMNGCFG) is not a counter"), std::string::npos);
    EXPECT_EQ(soc_tarn_counter_idx_get(0, R_RXOCTETS, 2), 2 * DRV_COUNTER_MAP_ROWS + 17);
}

TEST_F(soc_counter, ChipCountersAreWritableAndClearedByTheMibReset) {
    // The counter self-test loads a counter over the bus and reads it back.
    const uint32_t octets = drv_reg_addr(0, R_RXOCTETS, kPort, 0);
    const uint32_t frames = drv_reg_addr(0, R_RXUNICASTPKTS, kPort, 0);
    EXPECT_EQ(octets, 0x5350u);  // the port's own counter page
    uint32_t value[2] = {0x89abcdef, 0x01234567};
    ASSERT_EQ(drv_reg_write(0, octets, value, 8), 0);
    EXPECT_EQ(chip().mibGet("RXOCTETS", kPort), 0x0123456789abcdefull);
    chip().mibSet("RXUNICASTPKTS", kPort, 0xffffffff);
    chip().mibAdd("RXUNICASTPKTS", kPort, 2);  // 32-bit counters wrap
    uint32_t back[2] = {0, 0};
    ASSERT_EQ(drv_reg_read(0, frames, back, 4), 0);
    EXPECT_EQ(back[0], 1u);

    uint32_t cfg[2] = {0x1, 0};
    ASSERT_EQ(drv_reg_write(0, drv_reg_addr(0, R_GMNGCFG, 0, 0), cfg, 1), 0);
    EXPECT_EQ(chip().mibGet("RXOCTETS", kPort), 0u);
    EXPECT_EQ(chip().mibGet("RXUNICASTPKTS", kPort), 0u);
}

}  // namespace
