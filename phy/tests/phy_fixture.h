// A unit over the chip model with the PHY layer wired as at start-up: unit
// init maps the PHY addresses, port attach probes each port's PHY.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "../../drv/tests/port_fixture.h"
#include "../../soc/tests/unit_fixture.h"
#include "drv_port.h"
#include "logger.h"
#include "phy.h"
#include "sal.h"
#include "sal_config.h"
#include "soc_error.h"
#include "soc_miim.h"

namespace phy_test {

class PhyTest : public soc_test::UnitTest {
  protected:
    // gigabit: what sits on the gigabit ports' PHY pages (the preset's when
    // not given).
    void startPhy(sim::ChipKind chip, std::optional<sim::PhyKind> gigabit = std::nullopt) {
        soc_test::forget_everything();
        sim::BoardConfig config = soc_test::board_for(chip);
        if (gigabit) config.gigabit_phy = *gigabit;
        board = std::make_unique<sim::Board>(config);
        sim::bindHost(*board);
        static const soc_cm_init_t vectors = {soc_test::PrintCapture::print, nullptr, nullptr};
        ASSERT_EQ(soc_cm_init(&vectors), 0);
        ASSERT_EQ(sysconf_probe(), 0);
        ASSERT_EQ(sysconf_attach(0), 0);
        soc_phy_layer_register(phy_unit_init);
        ASSERT_EQ(soc_init(0), 0);
        port_test::phy_hooks_register();
    }
    void TearDown() override {
        port_test::phy_hooks_forget();
        sal_boot_flags_set(0);
        soc_test::UnitTest::TearDown();
    }
    // Attaches the port; its PHY driver.
    const phy_driver_t *attach(int port) {
        int ok = 0;
        EXPECT_EQ(drv_port_attach(0, port, &ok), 0) << "port " << port;
        EXPECT_EQ(ok, 1);
        return static_cast<const phy_driver_t *>(drv_port_driver_get(0, port, 1));
    }
    sim::Chip &chip() { return board->chip(); }
    // Each (word, value) set alone into the medium's stored configuration
    // is refused, and the stored configuration stays as it was.
    void expectRefusedUnstored(const phy_driver_t *d, int port, int medium,
                               std::initializer_list<std::pair<int, uint32_t>> changes) {
        phy_medium_config_t before{};
        ASSERT_EQ(d->medium_config_get(0, port, medium, &before), 0);
        for (auto [word, value] : changes) {
            phy_medium_config_t bad = before, after{};
            bad.words[word] = value;
            EXPECT_EQ(d->medium_config_set(0, port, medium, &bad), SOC_E_CONFIG) << word;
            ASSERT_EQ(d->medium_config_get(0, port, medium, &after), 0);
            EXPECT_EQ(std::vector<uint32_t>(std::begin(after.words), std::end(after.words)),
                      std::vector<uint32_t>(std::begin(before.words), std::end(before.words)))
                << word;
        }
    }
    uint16_t reg(int port, int r) { return chip().phyPeek(port, r); }
    // (register, value) of every write (or read) of the port's PHY page since
    // the log was last cleared.
    std::vector<std::pair<int, uint16_t>> phyWrites(int port, sim::BusOp op = sim::BusOp::Write) {
        std::vector<std::pair<int, uint16_t>> out;
        const int page = chip().profile().phyPage(port);
        for (const sim::BusAccess &a : board->accessLog().entries()) {
            if (a.op == op && a.page == page)
                out.emplace_back(a.offset / 2, static_cast<uint16_t>(a.value));
        }
        return out;
    }
    void logAccesses() {
        board->accessLog().clear();
        board->accessLog().enable(true);
    }
    // The lines of the RAM log (logger_init first), oldest first.
    static std::vector<std::string> logged() {
        logger *ram = logger_ram_get();
        uint32_t first = 0;
        const int n = ram->ops->count(&first, ram);
        std::vector<std::string> lines;
        for (int i = 0; i < n; i++) {
            logger_record rec{first + static_cast<uint32_t>(i), -1, -1, 0};
            char text[LOGGER_TEXT_MAX];
            if (ram->ops->read(&rec, text, sizeof text, ram) > 0) lines.push_back(text);
        }
        return lines;
    }
    static void logClear() {
        ASSERT_EQ(logger_init(), 0);
        logger *ram = logger_ram_get();
        ram->ops->clear(ram);
    }
    int link(const phy_driver_t *d, int port) {
        int up = -1;
        EXPECT_EQ(d->link_get(0, port, &up), 0);
        return up;
    }
};

}  // namespace phy_test
