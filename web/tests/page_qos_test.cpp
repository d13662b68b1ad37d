// The QoS pages through HTTP: priority map, scheduling and queue count in
// the chip, the enhanced maps in the QoS manager, and the saved "qos" item.
#include <string>

#include "drv_reg_rmw.h"
#include "fp_share.h"
#include "switch_pages_fixture.h"

namespace {

class page_qos : public switch_pages_test::SwitchPages {
  protected:
    static std::string queue_map() {
        std::string out;
        for (int p = 0; p < 8; p++) {
            int q = -1;
            dxpx_cosq_mapping_get(p, &q);
            out += std::to_string(q);
        }
        return out;
    }
    static std::string list(int count, int value) {
        std::string out;
        for (int i = 0; i < count; i++)
            out += (i == 0 ? "" : ",") + std::to_string(value);
        return out;
    }
};

TEST_F(page_qos, MapSchedulingAndQueueCountReachTheChip) {
    ASSERT_EQ(error_of(post("/queue_num.cgi", "queue_num=4")), "");
    std::string before = saved("qos");
    test_response r =
        post("/qos.cgi", "mode=3&p0=0&p1=0&p2=1&p3=1&p4=2&p5=2&p6=3&p7=3&w0=1&w1=2&w2=4&w3=8");
    ASSERT_TRUE(r.answered);
    EXPECT_EQ(error_of(r), "");
    EXPECT_EQ(queue_map(), "00112233");
    int mode = 0, delay = 0, weights[8] = {};
    ASSERT_EQ(dxpx_cosq_sched_get(&mode, weights, &delay), 0);
    EXPECT_EQ(mode, 3);
    EXPECT_EQ(std::to_string(weights[0]) + std::to_string(weights[1]) + std::to_string(weights[2]) +
                  std::to_string(weights[3]),
              "1248");
    EXPECT_NE(saved("qos"), before);
    EXPECT_NE(r.body.find("var qmap = [0,0,1,1,2,2,3,3];"), std::string::npos) << r.body;

    // Out-of-range names and values change nothing.
    for (const char *bad : {"mode=1&p8=0", "mode=3&w9=1", "mode=1&p0=4", "mode=2&p0=0"}) {
        EXPECT_NE(error_of(post("/qos.cgi", bad)), "") << bad;
        EXPECT_EQ(queue_map(), "00112233") << bad;
    }

    // Weights the switch refuses leave the map posted with them unapplied.
    std::string stored = saved("qos");
    EXPECT_NE(error_of(post("/qos.cgi", "mode=3&p0=3&p1=3&w0=0&w1=0&w2=4&w3=4")), "");
    EXPECT_EQ(queue_map(), "00112233");
    EXPECT_EQ(saved("qos"), stored);
    // A weight above the list (the monitor's) is taken back only as it runs.
    weights[0] = 20;
    ASSERT_EQ(dxpx_cosq_sched_set(3, weights, delay), 0);
    EXPECT_EQ(error_of(post("/qos.cgi", "mode=3&p0=0&w0=20&w1=2&w2=4&w3=8")), "");
    EXPECT_NE(error_of(post("/qos.cgi", "mode=3&p0=0&w0=21&w1=2&w2=4&w3=8")), "");

    // Fewer queues keep the map; the priorities of the queues gone go to
    // the highest queue left.
    ASSERT_EQ(error_of(post("/qos.cgi", "mode=1&p0=1&p1=0&p2=3&p3=1&p4=2&p5=0&p6=3&p7=1")), "");
    ASSERT_EQ(error_of(post("/queue_num.cgi", "queue_num=2")), "");
    int numq = 0;
    ASSERT_EQ(dxpx_cosq_config_get(&numq), 0);
    EXPECT_EQ(numq, 2);
    EXPECT_EQ(queue_map(), "10111011");
    EXPECT_NE(get("/qos.htm").body.find("var qmap = [1,0,1,1,1,0,1,1];"), std::string::npos);
    EXPECT_NE(error_of(post("/qos.cgi", "mode=1&p0=2")), "");
    EXPECT_EQ(error_of(post("/queue_num.cgi", "queue_num=5")), "Can&#39;t set cos queue number!");
    ASSERT_EQ(dxpx_cosq_config_get(&numq), 0);
    EXPECT_EQ(numq, 2);
}

TEST_F(page_qos, EnhancedMapsReachTheManager) {
    std::string before = saved("qos");
    ASSERT_EQ(error_of(post("/qos_enhance_mode.cgi", "mode=2")), "");
    int mode = 0;
    qosmgr_mode_get(&mode);
    EXPECT_EQ(mode, ENHANCE_MODE_DSCP_BASED_QOS);
    EXPECT_NE(saved("qos"), before);

    EXPECT_EQ(error_of(post("/qos_enhance_dscp.cgi", "values=" + list(64, 5))), "");
    int prio = 0;
    ASSERT_EQ(qosmgr_dscp_base_get_by_index(63, &prio), 1);
    EXPECT_EQ(prio, 5);
    EXPECT_EQ(error_of(post("/qos_enhance_dscp.cgi", "values=" + list(65, 6))),
              "index &gt;= MAX_QOS_DSCP_BASE_NUM");
    EXPECT_EQ(error_of(post("/qos_enhance_dscp.cgi", "values=8")),
              "qosmgr_dscp_base_set_by_index failed");
    qosmgr_dscp_base_get_by_index(0, &prio);
    EXPECT_EQ(prio, 5);
    // The page shows the DSCP map of the current mode.
    EXPECT_NE(get("/qos_enhance.htm").body.find("id=\"DSCPmap\""), std::string::npos);

    EXPECT_EQ(error_of(post("/qos_enhance_tos.cgi", "values=1,2,3")), "");
    ASSERT_EQ(qosmgr_tos_base_get_by_index(2, &prio), 1);
    EXPECT_EQ(prio, 3);
    EXPECT_EQ(error_of(post("/qos_enhance_port.cgi", "values=" + list(27, 1))),
              "index &gt;= webutil_show_error");
}

TEST_F(page_qos, DscpAndTosModesQueueFramesByTheirMaps) {
    using switch_pages_test::ChipPort;
    const ChipPort in = switch_pages_test::chip_port_of(1),
                   out = switch_pages_test::chip_port_of(2);
    dxp_pbmp_t linked{};
    for (const ChipPort &p : {in, out}) {
        board->port(p.port).linkUp();
        ASSERT_EQ(dxpx_port_enable_set(p.lport, 1), 0);
        dxp_pbmp_port_add(&linked, p.port);
    }
    ASSERT_EQ(drv_reg_field_write(0, R_SWMODE, 0, F_SW_FWDG_EN, 1), 0);
    ASSERT_EQ(dxp_linkscan_update(0, linked), 0);
    auto ip = [&](int dscp) {
        board->port(in.port).inject(
            sim::FrameBuilder()
                .src(0x02000000000aull)
                .ipv4(0x0a000001, 0x0a000002, 17, {}, static_cast<uint8_t>(dscp << 2))
                .build());
    };
    auto queued = [&](int queue) {
        board->fabric().drain();
        return board->fabric().queueCount(out.port, queue);
    };

    ASSERT_EQ(error_of(post("/queue_num.cgi", "queue_num=4")), "");
    ASSERT_EQ(error_of(post("/qos_enhance_mode.cgi", "mode=2")), "");
    std::string values;  // DSCP 46 gets priority 7, every other one 0
    for (int d = 0; d < 64; d++)
        values += (d == 0 ? "" : ",") + std::to_string(d == 46 ? 7 : 0);
    ASSERT_EQ(error_of(post("/qos_enhance_dscp.cgi", "values=" + values)), "");
    ip(46);
    ip(40);  // the same precedence, another DSCP
    EXPECT_EQ(queued(3), 1u);
    EXPECT_EQ(queued(0), 1u);

    // The ToS mode: precedence 2 gets priority 5, queue 2.
    ASSERT_EQ(error_of(post("/qos_enhance_mode.cgi", "mode=3")), "");
    ASSERT_EQ(error_of(post("/qos_enhance_tos.cgi", "values=0,0,5,0,0,0,0,0")), "");
    ip(18);  // precedence 2
    ip(46);
    EXPECT_EQ(queued(2), 1u);
    EXPECT_EQ(queued(0), 2u);

    ASSERT_EQ(error_of(post("/qos_enhance_mode.cgi", "mode=0")), "");
    ip(18);
    EXPECT_EQ(queued(2), 1u);
}

TEST_F(page_qos, IpEntriesAreCheckedAddedAndDeleted) {
    const std::string add = "/qos_enhance_ip_add.cgi";
    EXPECT_EQ(error_of(post(add, "ip=10.0.0.0&mask=255.0.255.0&priority=3")),
              "IP mask is wrong value");
    EXPECT_EQ(error_of(post(add, "ip=10.0.0&mask=255.0.0.0&priority=3")),
              "Expecting IP address in the format w.x.y.z");
    EXPECT_EQ(error_of(post(add, "ip=10.0.0.0&mask=255.255.255.255.0&priority=3")),
              "Expecting IP MASK in the format w.x.y.z");
    ASSERT_EQ(error_of(post(add, "ip=10.0.0.0&mask=255.0.0.0&priority=3")), "");
    EXPECT_EQ(error_of(post(add, "ip=10.0.0.0&mask=255.0.0.0&priority=4")),
              "The IP already existed");
    EXPECT_EQ(qosmgr_ip_base_cnt_get(), 1);

    EXPECT_EQ(error_of(post("/qos_enhance_ip.cgi", "values=6")), "");
    uint8_t ip[4], mask[4];
    int prio = 0;
    ASSERT_EQ(qosmgr_ip_base_get_by_index(0, ip, mask, &prio), 1);
    EXPECT_EQ(prio, 6);
    EXPECT_EQ(error_of(post("/qos_enhance_ip.cgi", "values=6,6")),
              "index &gt;= qosmgr_ip_base_cnt_get()");

    for (const char *entry : {"0", "2", "x"}) {
        EXPECT_EQ(error_of(post("/qos_enhance_ip_del.cgi", std::string("entry=") + entry)),
                  "qosmgr_ip_base_delete_by_index failed!")
            << entry;
    }
    EXPECT_EQ(error_of(post("/qos_enhance_ip_del.cgi", "entry=1")), "");
    EXPECT_EQ(qosmgr_ip_base_cnt_get(), 0);
}

// On the 52-port board's chip, whose field processor holds the port and IP
// address rules.
class page_qos_rules : public page_qos {
  protected:
    sim::ChipKind chip() const override { return sim::ChipKind::DXP7101; }
    void SetUp() override {
        page_qos::SetUp();
        ASSERT_EQ(qosmgr_init(), 1);
    }
};

// Port-based QoS refused for want of rows names the reason and keeps the
// mode that ran.
TEST_F(page_qos_rules, ARefusedModeNamesItsReason) {
    ASSERT_TRUE(fp_rows_shared_take(FP_ROWS_SHARED - 10));  // as Auto VoIP's calls would hold them
    const std::string answer = error_of(post("/qos_enhance_mode.cgi", "mode=1"));
    fp_rows_shared_give(FP_ROWS_SHARED - 10);
    EXPECT_NE(answer.find("remaining rows are kept for DoS prevention"), std::string::npos)
        << answer;
    int mode = -1;
    qosmgr_mode_get(&mode);
    EXPECT_EQ(mode, ENHANCE_MODE_DISABLED);
    EXPECT_EQ(error_of(post("/qos_enhance_mode.cgi", "mode=1")), "");
    EXPECT_EQ(error_of(post("/qos_enhance_mode.cgi", "mode=0")), "");
}

}  // namespace
