// Link scan, storm control and the port forwarding operations of the family
// on a unit over the chip model after a full dxp_init. The spanning-tree
// and VLAN lookups of the port info record are answered by the test.
#include <atomic>
#include <mutex>
#include <vector>

#include "../../drv/tests/port_fixture.h"
#include "drv_rate.h"
#include "dxp.h"
#include "dxp_tarn.h"
#include "dxpx.h"
#include "sal.h"

namespace {

struct LinkEvent {
    int port;
    int link;
};
std::mutex events_mutex;
std::vector<LinkEvent> events;
int speed_sets = 0;

void record_link(int, int port, dxp_port_info *info) {
    std::lock_guard<std::mutex> lock(events_mutex);
    events.push_back({port, info->linkstatus});
}

dxp_dispatch_t table{};

class tarn_link : public port_test::PortUnitTest {
  protected:
    void bringUp(sim::ChipKind chip) {
        startPorts(chip);
        ASSERT_EQ(soc_init(0), 0);
        table = dxp_tarn_dispatch;
        table.stg_default_get = [](int, int *stg) {
            *stg = 1;
            return 0;
        };
        table.stg_stp_get = [](int, int, int, int *state) {
            *state = 4;
            return 0;
        };
        table.vlan_list_by_pbmp = [](int, dxp_pbmp_t, dxp_vlan_data **list, int *count) {
            *list = nullptr;
            *count = 0;
            return 0;
        };
        table.vlan_list_destroy = [](int, dxp_vlan_data *, int) { return 0; };
        table.vlan_port_get = [](int, dxp_vlan_t, dxp_pbmp_t *member, dxp_pbmp_t *untagged) {
            *member = *untagged = dxp_pbmp_t{};
            return 0;
        };
        table.port_speed_set = [](int unit, int port, int speed) {
            speed_sets++;
            return dxp_tarn_port_speed_set(unit, port, speed);
        };
        ASSERT_EQ(dxp_dispatch_register(&table), 0);
        {
            std::lock_guard<std::mutex> lock(events_mutex);
            events.clear();
        }
        ASSERT_EQ(dxp_init(0), 0);
    }
    void TearDown() override {
        dxp_linkscan_detach(0);
        dxp_detach(0);
        dxp_dispatch_register(&dxp_tarn_dispatch);
        PortUnitTest::TearDown();
    }
    static std::vector<int> linkOf(int port) {
        std::lock_guard<std::mutex> lock(events_mutex);
        std::vector<int> out;
        for (const LinkEvent &e : events)
            if (e.port == port) out.push_back(e.link);
        return out;
    }
    // Polls until the port's reports are the expected ones (or 5 s passed).
    static bool reports(int port, const std::vector<int> &expected) {
        const uint32_t start = sal_time_usecs();
        while (static_cast<int32_t>(sal_time_usecs() - start) < 5000000) {
            if (linkOf(port) == expected) return true;
            sal_thread_yield();
        }
        return linkOf(port) == expected;
    }
    static dxp_pbmp_t pbmp(std::initializer_list<int> ports) {
        dxp_pbmp_t b{};
        for (int p : ports)
            dxp_pbmp_port_add(&b, p);
        return b;
    }
};

TEST_F(tarn_link, ThreadReportsEveryPortDownOnceThenItsRealState) {
    bringUp(sim::ChipKind::DXP7102A1);
    ASSERT_EQ(dxp_linkscan_enable_set(0, 0), 0);
    ASSERT_EQ(dxp_linkscan_register(0, record_link), 0);
    ASSERT_EQ(dxp_linkscan_register(0, record_link), 0);  // one node only
    board->chip().linkUp(3);
    ASSERT_EQ(dxp_linkscan_enable_set(0, 5000), 0);
    int interval = 0;
    EXPECT_EQ(dxp_linkscan_enable_get(0, &interval), 0);
    EXPECT_EQ(interval, 10000);

    EXPECT_TRUE(reports(3, {0, 1}));
    EXPECT_TRUE(reports(5, {0}));
    EXPECT_EQ(dxp_linkscan_enable_port_get(0, 3), 0);
    dxp_pbmp_t up = pbmp({3});
    EXPECT_EQ(dxp_link_wait(0, &up, 1000000), 0);

    // A re-check reports the port down and then up again.
    ASSERT_EQ(dxp_link_change(0, pbmp({3})), 0);
    EXPECT_TRUE(reports(3, {0, 1, 0, 1}));
    board->chip().linkDown(3);
    EXPECT_TRUE(reports(3, {0, 1, 0, 1, 0}));

    // Loopback forces the link up without a partner; ending it hands the
    // port back to the scan.
    ASSERT_EQ(dxp_port_loopback_set(0, 5, 2), 0);
    EXPECT_TRUE(reports(5, {0, 1}));
    ASSERT_EQ(dxp_port_loopback_set(0, 5, 0), 0);
    EXPECT_TRUE(reports(5, {0, 1, 0}));

    dxp_pbmp_t down = pbmp({5});
    EXPECT_EQ(dxp_link_wait(0, &down, 30000), DXP_E_TIMEOUT);
    EXPECT_TRUE(dxp_pbmp_member(down, 5));  // the port still without link
    EXPECT_EQ(dxp_linkscan_unregister(0, record_link), 0);
    EXPECT_EQ(dxp_linkscan_unregister(0, record_link), DXP_E_NOT_FOUND);
}

TEST_F(tarn_link, MultiUnitLayerGetsLogicalPortEvents) {
    bringUp(sim::ChipKind::DXP7106);
    static std::atomic<int> up_port{-1};
    up_port = -1;
    dxpx_linkscan_handler_t handler = [](int lport, dxp_port_info *info) {
        int unit = -1, port = -1;
        if (info->linkstatus && dxpx_lport_to_unit_port(lport, &unit, &port) == 0) up_port = port;
    };
    ASSERT_EQ(dxpx_unit_register(0), 0);
    ASSERT_EQ(dxpx_linkscan_register(handler), 0);
    board->chip().linkUp(26);
    const uint32_t start = sal_time_usecs();
    while (up_port != 26 && static_cast<int32_t>(sal_time_usecs() - start) < 5000000)
        sal_thread_yield();
    EXPECT_EQ(up_port, 26);
    EXPECT_EQ(dxpx_linkscan_unregister(handler), 0);
    EXPECT_EQ(dxpx_unit_unregister(0), 0);
}

TEST_F(tarn_link, FailingPortLeavesTheScanAfterItsMaximumErrors) {
    bringUp(sim::ChipKind::DXP7102A1);
    ASSERT_EQ(dxp_linkscan_enable_set(0, 0), 0);
    static int calls = 0;
    calls = 0;
    ASSERT_EQ(dxp_linkscan_port_register(0, 7,
                                         [](int, int, int *) {
                                             calls++;
                                             return static_cast<int>(DXP_E_PARAM);
                                         }),
              0);
    // The thread's start-up read the error limits; the first scan of the
    // port reports its re-check, later ones read the failing function.
    ASSERT_EQ(dxp_linkscan_enable_set(0, 25000), 0);
    ASSERT_EQ(dxp_linkscan_enable_set(0, 0), 0);
    const int before = calls;
    for (int pass = 0; pass < 8; pass++)
        EXPECT_EQ(dxp_linkscan_update(0, pbmp({7, 60})), 0);  // 60 is no port: masked out
    EXPECT_EQ(calls - before, 5 - before);
    EXPECT_EQ(dxp_linkscan_port_unregister(0, 7), 0);

    EXPECT_EQ(dxp_linkscan_mode_set(0, 30, 1), DXP_E_PARAM);  // no port 30 on this chip
    EXPECT_EQ(dxp_linkscan_port_register(0, 30, nullptr), DXP_E_PORT);
    EXPECT_EQ(dxp_linkscan_enable_port_get(0, 3), DXP_E_DISABLED);  // scanning stopped
}

TEST_F(tarn_link, StormLimitsShareOneLimitPerPort) {
    bringUp(sim::ChipKind::DXP7101);
    dxp_rate_limit_t rl{.dlf_rate = 300, .mcast_rate = 0, .bcast_rate = 800, .flags = 0x5};
    ASSERT_EQ(dxp_rate_type_set(0, &rl), 0);
    dxp_rate_limit_t got{.dlf_rate = -1, .mcast_rate = -1, .bcast_rate = -1, .flags = 0};
    ASSERT_EQ(dxp_rate_type_get(0, &got), 0);
    EXPECT_EQ(got.flags, 0x5);
    EXPECT_EQ(got.bcast_rate, 320);  // 300 in the chip's 64 kbit/s steps
    EXPECT_EQ(got.dlf_rate, 320);
    EXPECT_EQ(got.mcast_rate, -1);
    rl.mcast_rate = 100;  // a limit without its class
    EXPECT_EQ(dxp_rate_type_set(0, &rl), DXP_E_PARAM);

    int limit = 0, flags = 0x2;
    ASSERT_EQ(dxp_rate_bcast_get(0, &limit, &flags, 4), 0);
    EXPECT_EQ(flags, 0x6);
    ASSERT_EQ(dxp_rate_mcast_set(0, 5000, 0x2, 4), 0);
    ASSERT_EQ(dxp_rate_mcast_set(0, 64, 0x0, 4), 0);  // off, limit kept
    flags = 0;
    ASSERT_EQ(dxp_rate_mcast_get(0, &limit, &flags, 4), 0);
    EXPECT_EQ(flags, 0);
    EXPECT_EQ(limit, 4096);  // 5000 in 1024 kbit/s steps
    EXPECT_EQ(dxp_rate_dlfbc_get(0, &limit, &flags, 4), 0);
    EXPECT_EQ(flags, DXP_RATE_DLF);

    uint32_t kbits = 0, burst = 0;
    ASSERT_EQ(dxp_rate_bandwidth_set(0, 9, DXP_RATE_BCAST, 640, 100), 0);
    ASSERT_EQ(dxp_rate_bandwidth_get(0, 9, DXP_RATE_BCAST, &kbits, &burst), 0);
    EXPECT_EQ(kbits * 10000 + burst, 640u * 10000 + 144);
    EXPECT_EQ(dxp_rate_bandwidth_get(0, 9, 0x3, &kbits, &burst), DXP_E_PARAM);
    EXPECT_EQ(dxp_rate_bandwidth_get(0, 53, 0x1, &kbits, &burst), DXP_E_PORT);
    EXPECT_EQ(dxp_rate_bandwidth_set(0, 9, DXP_RATE_BCAST, 2000000, 0), DXP_E_PARAM);
    EXPECT_EQ(dxp_rate_bandwidth_set(0, 9, DXP_RATE_BCAST, 640, 2000), DXP_E_PARAM);
    EXPECT_EQ(dxp_rate_bcast_set(0, 640, DXP_RATE_BCAST, 60), DXP_E_PARAM);  // no limiter

    // A unit without Ethernet ports has no port to read the limit of. (The
    // port sets change under the API lock, as link scan's handlers read them.)
    DxpUnitLock hold(0);
    const soc_pbmp_t e = unit0()->e.bitmap;
    unit0()->e.bitmap = soc_pbmp_t{};
    EXPECT_EQ(dxp_rate_get(0, &limit, &flags), DXP_E_PORT);
    EXPECT_EQ(dxp_rate_type_get(0, &got), DXP_E_PORT);
    unit0()->e.bitmap = e;
}

TEST_F(tarn_link, PortForwardingSettingsAndTheirBadValues) {
    bringUp(sim::ChipKind::DXP7101);
    const int p = 40;  // in the second ingress-rate register
    int v = -1;
    EXPECT_EQ(dxp_port_untagged_priority_set(0, p, 8), DXP_E_PARAM);
    ASSERT_EQ(dxp_port_untagged_priority_set(0, p, 5), 0);
    EXPECT_EQ(dxp_port_untagged_priority_get(0, p, &v), 0);
    EXPECT_EQ(v, 5);
    dxp_vlan_t vid = 0;
    EXPECT_EQ(dxp_port_untagged_vlan_set(0, p, 0x1001), DXP_E_PARAM);
    ASSERT_EQ(dxp_port_untagged_vlan_set(0, p, 0xFFF), 0);
    EXPECT_EQ(dxp_port_untagged_vlan_get(0, p, &vid), 0);
    EXPECT_EQ(vid, 0xFFF);
    EXPECT_EQ(dxp_port_untagged_priority_get(0, p, &v), 0);
    EXPECT_EQ(v, 5);

    EXPECT_EQ(dxp_port_discard_set(0, p, 3), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_port_discard_set(0, p, 4), DXP_E_PARAM);
    ASSERT_EQ(dxp_port_discard_set(0, p, 1), 0);
    EXPECT_EQ(dxp_port_discard_get(0, p, &v), 0);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(get(p, PROP_ENABLE_RX), 0u);
    // Enabling the port keeps the discard; a disabled port does not start
    // receiving when its discard ends.
    ASSERT_EQ(dxp_port_enable_set(0, p, 1), 0);
    EXPECT_EQ(get(p, PROP_ENABLE_RX), 0u);
    ASSERT_EQ(dxp_port_enable_set(0, p, 0), 0);
    ASSERT_EQ(dxp_port_discard_set(0, p, 0), 0);
    EXPECT_EQ(get(p, PROP_ENABLE_RX), 0u);
    ASSERT_EQ(dxp_port_enable_set(0, p, 1), 0);
    EXPECT_EQ(get(p, PROP_ENABLE_RX), 1u);

    uint32_t learn = 0;
    EXPECT_EQ(dxp_port_learn_set(0, p, 6), DXP_E_UNAVAIL);  // the chip has no such mode
    for (uint32_t flags : {4u, 5u, 7u}) {
        ASSERT_EQ(dxp_port_learn_set(0, p, flags), 0) << flags;
        EXPECT_EQ(dxp_port_learn_get(0, p, &learn), 0);
        EXPECT_EQ(learn, flags);
    }
    EXPECT_EQ(dxp_port_learn_set(0, p, 1), DXP_E_UNAVAIL);  // changes nothing
    EXPECT_EQ(dxp_port_learn_get(0, p, &learn), 0);
    EXPECT_EQ(learn, 7u);
    ASSERT_EQ(dxp_port_learn_modify(0, p, 0, 0x2), 0);
    EXPECT_EQ(dxp_port_learn_get(0, p, &learn), 0);
    EXPECT_EQ(learn, 5u);

    dxp_pbmp_t all{};
    ASSERT_EQ(dxp_port_egress_get(0, p, &all), 0);
    EXPECT_EQ(dxp_port_egress_set(0, p, all), 0);
    dxp_pbmp_port_remove(&all, 3);
    EXPECT_EQ(dxp_port_egress_set(0, p, all), DXP_E_UNAVAIL);
    EXPECT_EQ(dxp_port_dtag_mode_set(0, p, 3), DXP_E_PARAM);
    ASSERT_EQ(dxp_port_dtag_mode_set(0, p, 1), 0);
    EXPECT_EQ(dxp_port_dtag_mode_get(0, p, &v), 0);
    EXPECT_EQ(v, 1);
    EXPECT_EQ(dxp_port_vlan_member_set(0, p, 4), DXP_E_PARAM);  // a 2-bit check mode
    EXPECT_EQ(dxp_port_dscp_map_set(0, -1, 64, 64, 0), DXP_E_PARAM);
    EXPECT_EQ(dxp_port_dscp_map_set(0, -1, -2, -2, 0), DXP_E_PARAM);

    uint32_t kbits = 0, burst = 0;
    ASSERT_EQ(dxp_port_rate_ingress_set(0, p, 1000, 100), 0);
    ASSERT_EQ(dxp_port_rate_ingress_get(0, p, &kbits, &burst), 0);
    EXPECT_EQ(kbits * 10000 + burst, 1024u * 10000 + 144);
    EXPECT_EQ(dxp_port_rate_egress_set(0, p, 1024001, 100), DXP_E_PARAM);
    ASSERT_EQ(dxp_port_rate_egress_set(0, p, 102400, 400), 0);
    ASSERT_EQ(dxp_port_rate_egress_get(0, p, &kbits, &burst), 0);
    EXPECT_EQ(kbits * 10000 + burst, 102400u * 10000 + 528);
}

TEST_F(tarn_link, InfoRestoreLeavesSpeedToAutonegotiation) {
    bringUp(sim::ChipKind::DXP7102A1);
    const int p = 2;
    dxp_port_info info{};
    info.action_mask = 0;
    info.speed = 1234;
    EXPECT_EQ(dxp_port_selective_get(0, p, &info), 0);
    EXPECT_EQ(info.speed, 1234);

    ASSERT_EQ(dxp_port_autoneg_set(0, p, 1), 0);
    ASSERT_EQ(dxp_port_info_save(0, p, &info), 0);
    // The station address, which the MAC lacks, stays out of the restore.
    EXPECT_EQ(info.action_mask, DXP_PORT_ATTR_AUTONEG_SAFE_MASK & ~DXP_PORT_ATTR_PAUSE_MAC_MASK);
    EXPECT_EQ(info.remote_advert_valid, 1);
    EXPECT_EQ(info.stp_state, 4);
    speed_sets = 0;
    ASSERT_EQ(dxp_port_info_restore(0, p, &info), 0);
    EXPECT_EQ(speed_sets, 0);
    info.action_mask = DXP_PORT_ATTR_SPEED_MASK;
    info.speed = 10;
    ASSERT_EQ(dxp_port_selective_set(0, p, &info), 0);
    EXPECT_EQ(speed_sets, 1);
    EXPECT_EQ(dxp_tarn_port_settings_init(0, p), 0);  // nothing configured
    EXPECT_EQ(speed_sets, 1);
}

}  // namespace
