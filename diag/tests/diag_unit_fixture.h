// A unit over the chip model with the monitor set to run its commands on it,
// for the tests of the monitor's chip and feature commands.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "../../drv/tests/port_fixture.h"
#include "diag_console.h"
#include "diag_shell.h"
#include "dxp.h"

namespace diag_test {

class MonitorUnitTest : public port_test::PortUnitTest {
  protected:
    virtual sim::ChipKind chip() const { return sim::ChipKind::DXP7101; }
    void SetUp() override {
        startPorts(chip());
        ASSERT_EQ(soc_init(0), 0);
        sh_set_mode(2);
        sh_set_unit(0);
        soc_test::PrintCapture::get().clear();
    }
    void TearDown() override {
        dxp_linkscan_detach(0);
        dxp_detach(0);
        port_test::PortUnitTest::TearDown();
    }
    // Runs one command line; its console and debug output.
    std::string run(const std::string &line, int expect = 0) {
        ConsoleCapture cap;
        EXPECT_EQ(sh_process_command(0, line.c_str()), expect) << line;
        std::string out = cap.take() + printed();
        soc_test::PrintCapture::get().clear();
        return out;
    }
    static bool has(const std::string &out, const std::string &text) {
        return out.find(text) != std::string::npos;
    }
};

}  // namespace diag_test
