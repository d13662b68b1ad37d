// The FieldProcessor command over the chip model: rules built word by word
// at the console act on injected frames, and bad words change nothing.
#include <gtest/gtest.h>

#include <string>

#include "../../drv/tests/port_fixture.h"
#include "diag_console.h"
#include "diag_shell.h"
#include "dxp.h"
#include "dxp_tarn.h"
#include "sim/board.h"

namespace {

class diag_fp : public port_test::PortUnitTest {
  protected:
    void SetUp() override {
        startPorts(sim::ChipKind::DXP7101);
        ASSERT_EQ(soc_init(0), 0);
        ASSERT_EQ(dxp_dispatch_register(&dxp_tarn_dispatch), 0);
        ASSERT_EQ(dxp_init(0), 0);
        sh_set_mode(2);
        sh_set_unit(0);
        soc_test::PrintCapture::get().clear();
        run("init");
    }
    void TearDown() override {
        dxp_field_detach(0);
        dxp_linkscan_detach(0);
        dxp_detach(0);
        port_test::PortUnitTest::TearDown();
    }
    std::string run(const std::string &line, int expect = 0) {
        diag_test::ConsoleCapture cap;
        EXPECT_EQ(sh_process_command(0, ("FieldProcessor " + line).c_str()), expect) << line;
        std::string out = cap.take() + printed();
        soc_test::PrintCapture::get().clear();
        return out;
    }
    static bool has(const std::string &out, const std::string &text) {
        return out.find(text) != std::string::npos;
    }
    // Ports fe1-fe4 up and forwarding.
    void linksUp() {
        board->chip().poke("SWMODE", 0, 0x03);
        dxp_pbmp_t up{};
        for (int p = 1; p <= 4; p++) {
            board->port(p).linkUp();
            ASSERT_EQ(dxp_port_enable_set(0, p, 1), 0);
            dxp_pbmp_port_add(&up, p);
        }
        ASSERT_EQ(dxp_linkscan_update(0, up), 0);
    }
    // Frames each of fe2-fe4 sent for one broadcast from src arriving on fe1.
    std::vector<size_t> send(uint64_t src) {
        std::vector<size_t> before;
        for (int p = 2; p <= 4; p++)
            before.push_back(board->port(p).sent().size());
        board->port(1).inject(sim::FrameBuilder().src(src).build());
        std::vector<size_t> got;
        for (int p = 2; p <= 4; p++)
            got.push_back(board->port(p).sent().size() - before[p - 2]);
        return got;
    }
};

TEST_F(diag_fp, DispatchModuleAndControl) {
    EXPECT_TRUE(has(run("", -2), "Usage (FieldProcessor):  Where <cmd> is:\n\taction"));
    run("show", -2);
    run("ini", -2);
    EXPECT_EQ(run("INIT"), "dxp_field_init(unit=0) okay\n");
    EXPECT_TRUE(
        has(run("status"), "dxp_field_status_get(unit=0) okay\nfield_status={group_total="));

    EXPECT_TRUE(has(run("control 2 1"), "Control 2 unknown\n"));
    EXPECT_EQ(run("control Tivra0"), "Control 2 unknown\n");
    EXPECT_EQ(run("control -1"), "Control -1 unknown\n");
    EXPECT_EQ(run("control Bogus 1", -1), "Unknown control: Bogus\n");
    EXPECT_EQ(run("control stage Nowhere", -1), "Unknown stage: Nowhere\n");
    EXPECT_EQ(run("control Stage ingresslate"), "dxp_field_control_set(unit=0) okay\n");
    EXPECT_EQ(run("control dxpFieldControlStage"),
              "dxp_field_control_get(unit=0) okay\nFP element=0: status=2\n");
    run("control", -2);
}

TEST_F(diag_fp, GroupsAndEntries) {
    std::string out = run("group create 1");
    ASSERT_TRUE(has(out, "dxp_field_group_create(unit=0) okay\nGID ")) << out;
    const int gid = std::stoi(out.substr(out.find("GID ") + 4));
    EXPECT_TRUE(has(run("group get " + std::to_string(gid)), "okay\nqset={}")) << gid;
    EXPECT_EQ(run("group create 2 9 Sideways", -1), "Unknown mode: Sideways\n");
    EXPECT_TRUE(has(run("group mode " + std::to_string(gid)), "group mode="));
    EXPECT_EQ(run("group mode 77", -1), "dxp_field_group_mode_get() failed: Entry not found\n");
    out = run("group status " + std::to_string(gid));
    EXPECT_TRUE(has(out, "group_status={\tprio_min=")) << out;
    EXPECT_TRUE(has(out, "meters_free=")) << out;
    EXPECT_TRUE(has(run("group lookup " + std::to_string(gid)), "lookup=Enabled\n"));
    run("group lookup " + std::to_string(gid) + " maybe", -2);
    run("group frobnicate 1", -2);

    EXPECT_EQ(run("entry create " + std::to_string(gid) + " 7"),
              "dxp_field_entry_create_id(unit=0) okay\nEID 7 created!\n");
    EXPECT_EQ(run("entry prio 7 default"), "dxp_field_entry_prio_set(unit=0) okay\n");
    EXPECT_EQ(run("entry prio 7"), "dxp_field_entry_prio_get(unit=0) okay\nFP entry=7: prio=-2\n");
    run("entry prio 7 middling", -2);
    EXPECT_EQ(run("install 7"), "dxp_field_entry_install(unit=0, entry=7) okay\n");
    EXPECT_EQ(run("entry install 99", -1),
              "dxp_field_entry_install(unit=0, entry=99) failed: Entry not found\n");
    EXPECT_TRUE(has(run("entry copy 7"), "EID "));
    EXPECT_EQ(run("entry destroy"), "dxp_field_entry_destroy_all(unit=0) okay\n");
    EXPECT_EQ(dxp_field_entry_prio_set(0, 7, 1), DXP_E_NOT_FOUND);
    EXPECT_EQ(run("group destroy " + std::to_string(gid)),
              "dxp_field_group_destroy(unit=0) okay\n");
}

}  // namespace
