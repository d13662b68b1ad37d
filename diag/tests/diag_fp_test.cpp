// The FieldProcessor command over the chip model: rules built word by word
// at the console act on injected frames, and bad words change nothing.
#include <gtest/gtest.h>

#include <algorithm>
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
        board->fabric().drain();
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

TEST_F(diag_fp, QualifiersSelectTheFramesARuleActsOn) {
    linksUp();
    EXPECT_EQ(run("qset add dxpFieldQualifySrcMac"), "DXP_FIELD_QSET_ADD(SrcMac) okay\n");
    run("qset add SrcPort");
    EXPECT_TRUE(has(run("qset show"), "qset={SrcMac, SrcPort}"));
    run("group create 1 3");
    run("entry create 3 5");
    EXPECT_EQ(run("qual 5 SrcMac 00:10:20:30:40:5a ff:ff:ff:ff:ff:ff"),
              "dxp_field_qualify_SrcMac(unit=0) okay\n");
    EXPECT_EQ(run("qual 5 SrcPort 0 -1 fe1 -1"), "dxp_field_qualify_SrcPort(unit=0) okay\n");
    ASSERT_EQ(dxp_field_action_add(0, 5, dxpFieldActionDrop, 0, 0), 0);
    run("install 5");
    EXPECT_EQ(send(0x00102030405aull), (std::vector<size_t>{0, 0, 0}));
    EXPECT_EQ(send(0x00102030405bull), (std::vector<size_t>{1, 1, 1}));

    // Cleared, the entry matches every frame.
    EXPECT_EQ(run("qual 5 clear"), "dxp_field_qualify_clear(unit=0) okay\n");
    run("entry reinstall 5");
    EXPECT_EQ(send(0x00102030405bull), (std::vector<size_t>{0, 0, 0}));

    // Bad words: a message, no call.
    EXPECT_EQ(run("qual 5 SrcMac 00:10:zz ff:ff:ff:ff:ff:ff", -1),
              "ERROR: invalid mac string: \"00:10:zz\" (error=-1)\n");
    EXPECT_EQ(run("qual 5 DstIp 10.0.0.300 255.0.0.0", -1),
              "ERROR: invalid ip4 addr string: \"10.0.0.300\"\n");
    EXPECT_EQ(run("qual 5 InPorts nowhere", -1),
              "FieldProcessor: Error: unrecognized port bitmap: nowhere\n");
    EXPECT_EQ(run("qual 5 Snap 1 1", -1), "Unknown qualifier: Snap\n");
    EXPECT_EQ(run("qual 5 UserDefined3 1 1", -1), "Unknown qualifier: UserDefined3\n");
    EXPECT_EQ(run("qual 5 Stage Nowhere", -1), "Unknown Stage value: Nowhere\n");
    EXPECT_EQ(run("qual 5 Decap Nothing", -1), "Unknown decap value: Nothing\n");
    EXPECT_EQ(run("qual 5 IpType Ipx", -1), "Unknown IpType value: Ipx\n");
    EXPECT_EQ(run("qual 5 Ttl 64 255", -1), "dxp_field_qualify_TTL() failed: Entry not found\n");
    run("qual 5 Ttl 64", -2);
    run("qual 5", -2);

    EXPECT_EQ(run("qset add 1", -1), "Error: UDF0 and UDF1 are for internal use only.\n");
    EXPECT_EQ(run("qset add UserDefined1", -1),
              "Error: UDF0 and UDF1 are for internal use only.\n");
    EXPECT_EQ(run("qset add 84", -1), "Unknown qualifier: 84\n");
    EXPECT_EQ(run("qset add -1", -1), "Error: UDF0 and UDF1 are for internal use only.\n");
    EXPECT_EQ(run("qset clear"), "DXP_FIELD_QSET_INIT() okay\n");
    EXPECT_TRUE(has(run("qset show"), "qset={}"));
    run("qset", -2);
}

TEST_F(diag_fp, NegativeEntryIdsAreRefused) {
    run("qset add SrcMac");
    run("group create 1 2");
    EXPECT_TRUE(has(run("entry create 2 -5", -1), "failed")) << run("entry create 2 -5", -1);
    int prio = 0;
    EXPECT_LT(dxp_field_entry_prio_get(0, -5, &prio), 0);
    EXPECT_TRUE(has(run("entry create 2 5"), "okay"));
}

TEST_F(diag_fp, UserDefinedFields) {
    run("user init");
    EXPECT_EQ(run("user set 0 14"), "dxp_field_udf_spec_set(unit=0) okay\n");
    EXPECT_EQ(run("user create 0"), "dxp_field_udf_create(unit=0) okay\n");
    std::string out = run("user get 0");
    ASSERT_TRUE(has(out, "dxp_field_udf_get(unit=0) okay\nFP user get: udf_id=")) << out;
    const int udf = std::stoi(out.substr(out.find("udf_id=") + 7));
    EXPECT_EQ(run("qset add UserDefined 0", -1),
              "dxp_field_qset_add_udf() failed: " + std::string(dxp_errmsg(DXP_E_PARAM)) + "\n")
        << "0 names no field here";
    EXPECT_EQ(run("qset add UserDefined " + std::to_string(udf)),
              "dxp_field_qset_add_udf(unit=0) okay\n");
    run("group create 1 4");
    run("entry create 4 6");
    // A udf_id of 0 is the field just created.
    EXPECT_EQ(run("qual 6 UserDefined 0 0x1234 0xffff"),
              "dxp_field_qualify_UserDefined(unit=0) okay\n");
    EXPECT_EQ(run("user post_ethertype", -1), "FieldProcessor: Command not implemented\n");
    // A field some ports lack is refused before any port gets the offset.
    for (const char *id : {"9", "10"}) {
        EXPECT_TRUE(
            has(run(std::string("user create ") + id, -1), "dxp_field_udf_create_id() failed"))
            << id;
        for (int port = 0; port < 24; port++)
            EXPECT_EQ(board->chip().peek("UDF_OFFSET4_P", port), 0u) << id << " " << port;
    }
    run("user", -2);
}

TEST_F(diag_fp, ActionsAndCountersActOnFrames) {
    linksUp();
    run("qset add SrcMac");
    run("group create 1 2");
    run("entry create 2 7");
    run("qual 7 SrcMac 00:10:20:30:40:5a ff:ff:ff:ff:ff:ff");
    run("action add 7 RedirectPort 0", -2);
    EXPECT_EQ(run("action add 7 RedirectPort 0 fe3"), "dxp_field_action_add(unit=0) okay\n");
    EXPECT_EQ(
        run("action get 7 dxpFieldActionRedirectPort"),
        "dxp_field_action_get(unit=0) okay\nFP action get: action=RedirectPort, p0=0, p1=3\n");
    EXPECT_EQ(run("counter create 7"), "dxp_field_counter_create(unit=0) okay\n");
    run("install 7");
    EXPECT_EQ(send(0x00102030405aull), (std::vector<size_t>{0, 1, 0}));
    EXPECT_EQ(send(0x00102030405aull), (std::vector<size_t>{0, 1, 0}));
    EXPECT_EQ(run("counter get 7 0"),
              "dxp_field_counter_get(unit=0) okay\nFP counter get: eid=7, counter_num=0, val=2\n");
    EXPECT_EQ(run("counter set 7 0 0"), "dxp_field_counter_set(unit=0) okay\n");
    EXPECT_TRUE(has(run("counter get 7 0"), "val=0\n"));

    // Replaced by a drop, the same frames go nowhere.
    EXPECT_EQ(run("action remove 7"), "dxp_field_action_remove_all(unit=0) okay\n");
    EXPECT_EQ(run("action add 7 28 0 0"), "dxp_field_action_add(unit=0) okay\n");
    run("entry reinstall 7");
    EXPECT_EQ(send(0x00102030405aull), (std::vector<size_t>{0, 0, 0}));
    EXPECT_EQ(send(0x00102030405bull), (std::vector<size_t>{1, 1, 1}));
    EXPECT_EQ(run("action get 7 Drop"),
              "dxp_field_action_get(unit=0) okay\nFP action get: action=Drop, p0=0, p1=0\n");

    EXPECT_EQ(run("action add 7 Teleport 0 0", -1), "Unknown action: Teleport\n");
    EXPECT_TRUE(has(run("action get 7 GpOuterVlanPrioNew", -1), "dxp_field_action_get() failed"));
    run("action add 7 CosQNew 1", -2);
    run("action flip 7", -2);
    run("counter get 7", -2);
    run("counter", -2);
}

TEST_F(diag_fp, MetersAndRanges) {
    run("qset add SrcMac");
    run("group create 1 2");
    run("entry create 2 7");
    EXPECT_EQ(run("meter getc 7", -1), "dxp_field_meter_get() failed: Table empty\n");
    EXPECT_EQ(run("meter create 7"), "dxp_field_meter_create(unit=0) okay\n");
    EXPECT_EQ(run("meter setc 7 2048 0x5000"), "dxp_field_meter_set(unit=0) okay\n");
    EXPECT_EQ(run("meter getc 7"),
              "FP meter get committed eid=7: rate=2048, burst=16384\n"
              "dxp_field_meter_get(unit=0) okay\n");
    EXPECT_EQ(run("meter setp 7 1000 1024", -1),
              "dxp_field_meter_set() failed: Invalid parameter\n");
    run("meter setc 7 1000", -2);
    run("meter share 7", -2);

    std::string out = run("range create 1 0 1023");
    ASSERT_TRUE(has(out, "dxp_field_range_create(unit=0) okay\nRID ")) << out;
    const std::string rid =
        out.substr(out.find("RID ") + 4, out.find(" created") - out.find("RID ") - 4);
    EXPECT_EQ(run("range get " + rid), "dxp_field_range_get(unit=0) okay\nFP range get: rid=" +
                                           rid + ", min=0 max=1023 flags=0x1 SRCPORT\n");
    EXPECT_EQ(run("range destroy " + rid), "dxp_field_range_destroy(unit=0) okay\n");
    EXPECT_TRUE(has(run("range get " + rid, -1), "dxp_field_range_get() failed: "));
    run("range create 1 1024", -2);
    EXPECT_EQ(run("range create 5 0 0 1023"),
              "dxp_field_range_create_id(unit=0) okay\nRID 5 created!\n");
    run("range group make 1 2 3 4", -2);
}

TEST_F(diag_fp, ADestroyedMeterStopsMetering) {
    linksUp();
    run("qset add SrcMac");
    run("group create 1 2");
    run("entry create 2 8");
    run("qual 8 SrcMac 00:10:20:30:40:5a ff:ff:ff:ff:ff:ff");
    run("action add 8 RpDrop 0 0");
    const auto passed = [&](int frames) {
        size_t n = 0;
        for (int i = 0; i < frames; i++)
            n += send(0x00102030405aull)[0];
        return n;
    };
    for (const char *again : {"entry reinstall 8", "install 8"}) {
        run("meter create 8");
        run("meter setc 8 64 64");
        run("install 8");
        EXPECT_LT(passed(200), 200u) << again;
        EXPECT_EQ(run("meter destroy 8"), "dxp_field_meter_destroy(unit=0) okay\n");
        run(again);
        EXPECT_EQ(run("meter getc 8", -1), "dxp_field_meter_get() failed: Table empty\n");
        EXPECT_EQ(passed(200), 200u) << again;
    }
}

// The DOS command's types act on injected attack frames.
class diag_fp_dos : public diag_fp {
  protected:
    static constexpr uint32_t kHostA = 0x0a000001, kHostB = 0x0a000002;
    void SetUp() override {
        diag_fp::SetUp();
        linksUp();
    }
    void TearDown() override {
        dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 0);
        diag_fp::TearDown();
    }
    void monitor(const std::string &line) {
        diag_test::ConsoleCapture cap;
        EXPECT_EQ(sh_process_command(0, line.c_str()), 0) << line;
        EXPECT_EQ(cap.take(), "") << line;
    }
    // True when a broadcast frame entering `port` reaches another port.
    bool passes(int port, const sim::Frame &frame) {
        const int out = port == 1 ? 2 : 1;
        const size_t before = board->port(out).sent().size();
        board->port(port).inject(frame);
        board->fabric().drain();
        return board->port(out).sent().size() > before;
    }
    static sim::Frame blat() {
        return sim::FrameBuilder().tcp(kHostA, kHostB, 80, 80, 0x10).build();
    }
    // A TCP segment whose header is `words` 32-bit words long.
    static sim::Frame tcpHeader(int words) {
        std::vector<uint8_t> l4(std::max<size_t>(static_cast<size_t>(words) * 4, 20), 0);
        l4[1] = 80;
        l4[3] = 81;
        l4[12] = static_cast<uint8_t>(words << 4);
        l4[13] = 0x10;
        return sim::FrameBuilder().ipv4(kHostA, kHostB, 6, l4).build();
    }
};

TEST_F(diag_fp_dos, EnablingTwiceLeavesOneRuleThatDisableRemoves) {
    ASSERT_TRUE(passes(1, blat()));
    monitor("dos fe1 enable 2");
    monitor("dos fe1 enable 2");
    EXPECT_FALSE(passes(1, blat()));
    EXPECT_TRUE(passes(2, blat()));  // a per-port rule
    monitor("dos fe1 disable 2");
    EXPECT_TRUE(passes(1, blat()));

    // The master control removes what the types installed.
    monitor("dos fe1-fe3 enable 2");
    EXPECT_FALSE(passes(3, blat()));
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 0), 0);
    EXPECT_TRUE(passes(1, blat()));
    EXPECT_TRUE(passes(3, blat()));
}

TEST_F(diag_fp_dos, ShortTcpHeadersDropAndTheMinimumPasses) {
    monitor("dos fe1 enable 3");
    EXPECT_TRUE(passes(1, tcpHeader(5)));
    EXPECT_TRUE(passes(1, tcpHeader(6)));
    EXPECT_FALSE(passes(1, tcpHeader(4)));
    EXPECT_FALSE(passes(1, tcpHeader(1)));
    EXPECT_TRUE(passes(1, sim::FrameBuilder().udp(kHostA, kHostB, 53, 53).build()));
    // A new minimum applies to the installed rule.
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackMinTcpHdrSize, 7), 0);
    EXPECT_FALSE(passes(1, tcpHeader(6)));
    EXPECT_TRUE(passes(1, tcpHeader(7)));
}

TEST_F(diag_fp_dos, OnePortOffKeepsTheOthersProtected) {
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackToCpu, 1), 0);
    ASSERT_EQ(dxp_switch_control_set(0, dxpSwitchDosAttackL4Port, 1), 0);
    monitor("dos fe2 disable 2");
    EXPECT_TRUE(passes(2, blat()));
    for (int port : {1, 3, 4})
        EXPECT_FALSE(passes(port, blat())) << port;
    soc_test::PrintCapture::get().clear();
    ASSERT_EQ(sh_process_command(0, "dos fe1-fe2 show"), 0);
    const std::string out = printed();
    EXPECT_NE(out.find("Port fe1\nItem[ 0] is disabled\nItem[ 1] is disabled\nItem[ 2] is enabled"),
              std::string::npos)
        << out;
    EXPECT_NE(
        out.find("Port fe2\nItem[ 0] is disabled\nItem[ 1] is disabled\nItem[ 2] is disabled"),
        std::string::npos)
        << out;
}

}  // namespace
