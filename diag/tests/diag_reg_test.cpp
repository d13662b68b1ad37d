// The register commands on a unit over the chip model: values are checked in
// the model's registers, not read back through the firmware.
#include <gtest/gtest.h>

#include <string>

#include "../../soc/tests/unit_fixture.h"
#include "diag_console.h"
#include "diag_shell.h"
#include "diag_symtab.h"
#include "sal_mem.h"

namespace {

class diag_reg : public soc_test::UnitTest {
  protected:
    void SetUp() override {
        symtab_init();
        start(sim::ChipKind::DXP7101);
        sh_set_mode(2);
    }
    std::string run(const std::string &line, int expect = 0) {
        diag_test::ConsoleCapture cap;
        EXPECT_EQ(sh_process_command(0, line.c_str()), expect) << line;
        return cap.take();
    }
};

TEST_F(diag_reg, Explore) {
    std::printf("%s", run("Getreg DEFAULT_1Q_TAG.fe9").c_str());
    std::printf("%s", run("Getreg DEFAULT_1Q_TAG").c_str());
    std::printf("%s", run("Getreg GLOBAL_TRUNK_CTL").c_str());
    std::printf("%s", run("Getreg raw GLOBAL_TRUNK_CTL").c_str());
}

}  // namespace
